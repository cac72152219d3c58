// The socket slots and the socket commands.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "net/net.h"
#include "platform/sockets.h"
#include "tamblix/net.h"

namespace {

constexpr int kSlots = 1024;
// The largest receive a program may ask for at once.
constexpr int kMaxReceive = 64 * 1024 * 1024;
// A send gives up when the peer takes nothing for this long.
constexpr int kSendStallMs = 5000;
constexpr int kErrNoSlot = 8;
constexpr int kErrTimeout = 10036;
constexpr int kErrNotASlot = 10038;
constexpr int kErrBadSize = 10040;
constexpr int kErrStalled = 10060;

struct SocketSlot {
  int handle = -1;
  uint32_t address = 0;
  int port = 0;
  bool udp = false;
};

std::array<SocketSlot, kSlots> g_slots;
int g_init_count = 0;

bool valid(int slot) {
  if (slot >= 0 && slot < kSlots) return true;
  platform_socket_set_error(kErrNotASlot);
  return false;
}

int free_slot() {
  for (int i = 0; i < kSlots; ++i)
    if (g_slots[static_cast<size_t>(i)].handle == -1) return i;
  platform_socket_set_error(kErrNoSlot);
  return -1;
}

void close_slot(int slot) {
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  if (s.handle != -1) platform_socket_close_hard(s.handle);
  s = SocketSlot{};
}

bool resolve(const std::string& name, uint32_t& address) {
  if (!name.empty()) return platform_resolve_host(name, address);
  // The local host: its first address other than the loopback's, then the
  // loopback, then the local name.
  const std::vector<uint32_t> local = platform_local_addresses();
  if (!local.empty()) {
    address = local.front();
    return true;
  }
  return platform_resolve_host("127.0.0.1", address) || platform_resolve_host("localhost.local", address);
}

// Sends every byte, continuing after partial sends; a socket that would
// block is waited for, but not for ever.
int send_all(SocketSlot& s, const BasicString& text, bool to, uint32_t address, int port) {
  const char* p = text.c_str();
  int64_t left = text.length();
  int64_t sent = 0;
  while (left > 0) {
    const int64_t n = platform_socket_send(s.handle, p + sent, left, to, address, port);
    if (n >= 0) {
      sent += n;
      left -= n;
      continue;
    }
    if (platform_socket_error() != 10035) return -1;
    if (!platform_socket_wait_writable(s.handle, kSendStallMs)) {
      platform_socket_set_error(kErrStalled);
      return -1;
    }
  }
  return static_cast<int>(sent);
}

}  // namespace

void net_release_all() {
  for (int i = 0; i < kSlots; ++i) close_slot(i);
  g_init_count = 0;
}

int net_init() {
  if (g_init_count++ == 0)
    for (SocketSlot& s : g_slots) s = SocketSlot{};
  return 1;
}

int net_shutdown() {
  if (g_init_count > 0) --g_init_count;
  if (g_init_count > 0) return g_init_count;
  net_release_all();
  return platform_socket_error();
}

int net_tcp_listen(int port) {
  const int slot = free_slot();
  if (slot < 0) return -1;
  const int h = platform_socket_open(false);
  if (h < 0) return -1;
  if (!platform_socket_reuse_address(h) || !platform_socket_bind(h, 0, port) || !platform_socket_listen(h, 10) ||
      !platform_socket_blocking(h, false)) {
    const int e = platform_socket_error();
    platform_socket_close_hard(h);
    platform_socket_set_error(e);
    return -1;
  }
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  s.handle = h;
  platform_socket_local(h, s.address, s.port);
  return slot;
}

int net_tcp_accept(int slot, int64_t& address) {
  if (!valid(slot)) return -1;
  SocketSlot& l = g_slots[static_cast<size_t>(slot)];
  if (l.udp) {
    platform_socket_set_error(0);
    return -1;
  }
  uint32_t a = 0;
  int port = 0;
  const int h = platform_socket_accept(l.handle, a, port);
  if (h < 0) return -1;
  const int n = free_slot();
  if (n < 0) {
    platform_socket_close_hard(h);
    platform_socket_set_error(kErrNoSlot);
    return -1;
  }
  platform_socket_blocking(h, false);
  SocketSlot& s = g_slots[static_cast<size_t>(n)];
  s.handle = h;
  s.address = a;
  s.port = port;
  s.udp = l.udp;
  address = a;
  return n;
}

int net_tcp_connect(const BasicString& host, int port, int timeout_ms) {
  uint32_t address = 0;
  if (!resolve(host.c_str(), address)) return -1;
  const int slot = free_slot();
  if (slot < 0) return -1;
  const int h = platform_socket_open(false);
  if (h < 0) return -1;
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  s.handle = h;
  s.address = address;
  s.port = port;
  platform_socket_blocking(h, false);
  int r = platform_socket_connect(h, address, port);
  if (r == 1) {
    if (timeout_ms <= 0 || timeout_ms > 30000) timeout_ms = 30000;
    r = platform_socket_connect_wait(h, timeout_ms);
    if (r == 0) {
      close_slot(slot);
      platform_socket_set_error(kErrTimeout);
      return -1;
    }
    r = r == 1 ? 0 : -1;
  }
  if (r != 0) {
    const int e = platform_socket_error();
    close_slot(slot);
    platform_socket_set_error(e);
    return -1;
  }
  platform_socket_blocking(h, true);
  platform_socket_blocking(h, false);
  return slot;
}

int net_udp_open(int port) {
  const int slot = free_slot();
  if (slot < 0) return -1;
  const int h = platform_socket_open(true);
  if (h < 0) return -1;
  bool ok = platform_socket_reuse_address(h);
  if (ok && port != 0) ok = platform_socket_bind(h, 0, port);
  ok = ok && platform_socket_broadcast(h) && platform_socket_blocking(h, false);
  if (!ok) {
    const int e = platform_socket_error();
    platform_socket_close_hard(h);
    platform_socket_set_error(e);
    return -1;
  }
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  s.handle = h;
  s.udp = true;
  return slot;
}

int net_send(int slot, const BasicString& text) {
  if (!valid(slot)) return -1;
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  if (s.udp) {
    // A datagram slot sends to the sender it last heard from.
    if (s.address == 0 && s.port == 0) return -1;
    return send_all(s, text, true, s.address, s.port);
  }
  return send_all(s, text, false, 0, 0);
}

int net_udp_send(int slot, const BasicString& text, int64_t address, int port) {
  if (!valid(slot)) return -1;
  return send_all(g_slots[static_cast<size_t>(slot)], text, true, static_cast<uint32_t>(address), port);
}

int net_recv(int slot, BasicString& out, int size) {
  rt_truncate(out, 0);  // empty, keeping its room
  if (!valid(slot)) return -1;
  if (size <= 0 || size > kMaxReceive) {
    platform_socket_set_error(kErrBadSize);
    return -1;
  }
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  // Room for what may come, and no more: a receive never allocates on the
  // peer's word. The room is kept for the next receive.
  static std::string buffer;
  if (buffer.size() < static_cast<size_t>(size)) buffer.resize(static_cast<size_t>(size));
  uint32_t from = 0;
  int from_port = 0;
  const int64_t n = platform_socket_recv(s.handle, buffer.data(), size, s.udp ? &from : nullptr, &from_port);
  if (n > 0) {
    if (s.udp) {
      s.address = from;
      s.port = from_port;
    }
    out.append(buffer.data(), static_cast<uint32_t>(n));
    return static_cast<int>(n);
  }
  if (n == 0) return s.udp ? 0 : 0;
  const int e = platform_socket_error();
  if (e == 10035) return -2;
  if (e == 10054) return 0;
  return -1;
}

int net_close(int slot) {
  if (!valid(slot)) return 0;
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  const int h = s.handle;
  s = SocketSlot{};
  if (h == -1) {
    platform_socket_set_error(10009);
    return 0;
  }
  return platform_socket_close_hard(h) ? 1 : 0;
}

int net_set_blocking(int slot, int blocking) {
  if (!valid(slot)) return platform_socket_error();
  platform_socket_blocking(g_slots[static_cast<size_t>(slot)].handle, blocking != 0);
  return platform_socket_error();
}

int64_t net_host_ip(const BasicString& host) {
  uint32_t address = 0;
  if (!resolve(host.c_str(), address)) return -1;
  return address;
}

BasicString net_ip_text(int64_t address) {
  const uint32_t a = static_cast<uint32_t>(address);
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
  return BasicString(text);
}

int64_t net_remote_ip(int slot) { return valid(slot) ? g_slots[static_cast<size_t>(slot)].address : 0; }

int net_remote_port(int slot) { return valid(slot) ? g_slots[static_cast<size_t>(slot)].port : 0; }

BasicString net_last_error_text() {
  const int code = platform_socket_error();
  if (code == 0) return BasicString();
  char text[160];
  std::snprintf(text, sizeof text, "%d %s", code, platform_socket_error_text(code).c_str());
  return BasicString(text);
}
