// The socket slots and the socket commands.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "net/net.h"
#include "platform/sockets.h"
#include "tamblix/errors.h"
#include "tamblix/net.h"

namespace {

constexpr int kSlots = 1024;
// The largest receive a program may ask for at once.
constexpr int kMaxReceive = 64 * 1024 * 1024;
// A stream receive first offers this much room (or the text's own, when it
// has more); what else is ready then gets room by its size.
constexpr int64_t kFirstRoom = 64 * 1024;
// Room for the largest datagram IPv4 carries.
constexpr int kMaxDatagram = 65536;
// A send gives up when the peer takes nothing for this long.
constexpr int kSendStallMs = 5000;
constexpr int kErrNoSlot = 8;
constexpr int kErrWouldBlock = 10035;
constexpr int kErrTimeout = 10036;
constexpr int kErrNotASlot = 10038;
constexpr int kErrNoPeer = 10039;
constexpr int kErrBadSize = 10040;
constexpr int kErrBadAddress = 10049;
constexpr int kErrReset = 10054;
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
  platform_socket_set_error(kErrNotASlot, "no socket slot has that number (0..1023)");
  return false;
}

// Port numbers are refused, not wrapped, outside 0..65535.
bool valid_port(int port) {
  if (port >= 0 && port <= 65535) return true;
  platform_socket_set_error(kErrBadAddress, "port number outside 0..65535");
  return false;
}

int free_slot() {
  for (int i = 0; i < kSlots; ++i)
    if (g_slots[static_cast<size_t>(i)].handle == -1) return i;
  platform_socket_set_error(kErrNoSlot, "no free socket slot");
  return -1;
}

// Closes a socket on a failure path; the failure's error stays the last one.
void discard(int handle) {
  const PlatformSocketError e = platform_socket_last_error();
  platform_socket_close_hard(handle);
  platform_socket_restore_error(e);
}

void discard_slot(int slot) {
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  if (s.handle != -1) discard(s.handle);
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
// block is waited for, but not for ever. An empty text still makes one call:
// a datagram socket sends an empty datagram, and a slot without a socket
// reports it.
int send_all(int handle, const BasicString& text, bool to, uint32_t address, int port) {
  const char* p = text.c_str();
  const int64_t total = text.length();
  int64_t sent = 0;
  do {
    const int64_t n = platform_socket_send(handle, p + sent, total - sent, to, address, port);
    if (n >= 0) {
      sent += n;
      continue;
    }
    if (platform_socket_error() != kErrWouldBlock) return -1;
    if (!platform_socket_wait_writable(handle, kSendStallMs)) {
      platform_socket_set_error(kErrStalled, "the peer took nothing for 5 seconds");
      return -1;
    }
  } while (sent < total);
  return static_cast<int>(sent);
}

// After a stream receive filled its first room: takes what else is ready,
// without waiting, in room sized by it, up to `size` bytes in all.
int64_t take_ready(int handle, BasicString& out, int64_t got, int64_t size) {
  const PlatformSocketError first = platform_socket_last_error();
  while (got < size) {
    const int64_t ready = std::min(platform_socket_ready(handle), size - got);
    if (ready <= 0) break;
    string_set_length(out, static_cast<uint32_t>(got));  // the bytes so far move with the room
    string_reserve(out, static_cast<uint32_t>(got + ready), true);
    const int64_t n = platform_socket_recv(handle, out.data() + got, ready, false);
    if (n <= 0) break;
    got += n;
  }
  platform_socket_restore_error(first);  // the receive succeeded
  return got;
}

// The result of a failed receive.
int failed_receive() {
  const int e = platform_socket_error();
  if (e == kErrWouldBlock) return -2;
  if (e == kErrReset) return 0;
  return -1;
}

}  // namespace

void net_release_all() {
  // The result is the first close that failed, else no error.
  platform_socket_clear_error();
  PlatformSocketError failed;
  for (SocketSlot& s : g_slots) {
    if (s.handle == -1) continue;
    const int h = s.handle;
    s = SocketSlot{};
    if (!platform_socket_close_hard(h) && failed.code == 0) failed = platform_socket_last_error();
  }
  platform_socket_restore_error(failed);
  g_init_count = 0;
}

int net_init() {
  if (g_init_count++ == 0) {
    // The table starts free. Sockets a program opened before its first
    // net_init are closed rather than forgotten, so none leaks.
    int closed = 0;
    for (int i = 0; i < kSlots; ++i) {
      if (g_slots[static_cast<size_t>(i)].handle == -1) continue;
      discard_slot(i);
      ++closed;
    }
    if (closed > 0) {
      char line[96];
      std::snprintf(line, sizeof line, "net_init closed %d socket(s) opened before it\n", closed);
      log_append(line);
    }
  }
  return 1;
}

int net_shutdown() {
  if (g_init_count > 1) return --g_init_count;
  net_release_all();
  return platform_socket_error();
}

int net_tcp_listen(int port) {
  if (!valid_port(port)) return -1;
  const int slot = free_slot();
  if (slot < 0) return -1;
  const int h = platform_socket_open(false);
  if (h < 0) return -1;
  if (!platform_socket_reuse_address(h) || !platform_socket_bind(h, 0, port) || !platform_socket_listen(h, 10) ||
      !platform_socket_blocking(h, false)) {
    discard(h);
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
    platform_socket_clear_error();
    return -1;
  }
  uint32_t a = 0;
  int port = 0;
  const int h = platform_socket_accept(l.handle, a, port);
  if (h < 0) return -1;
  const int n = free_slot();
  if (n < 0) {
    discard(h);
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
  if (!valid_port(port)) return -1;
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
      discard_slot(slot);
      platform_socket_set_error(kErrTimeout, "the connection was not made within the time-out");
      return -1;
    }
    r = r == 1 ? 0 : -1;
  }
  if (r != 0) {
    discard_slot(slot);
    return -1;
  }
  platform_socket_blocking(h, true);
  platform_socket_blocking(h, false);
  return slot;
}

int net_udp_open(int port) {
  if (!valid_port(port)) return -1;
  const int slot = free_slot();
  if (slot < 0) return -1;
  const int h = platform_socket_open(true);
  if (h < 0) return -1;
  bool ok = platform_socket_reuse_address(h);
  if (ok && port != 0) ok = platform_socket_bind(h, 0, port);
  ok = ok && platform_socket_broadcast(h) && platform_socket_blocking(h, false);
  if (!ok) {
    discard(h);
    return -1;
  }
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  s.handle = h;
  s.udp = true;
  return slot;
}

int net_send(int slot, const BasicString& text) {
  if (!valid(slot)) return -1;
  const SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  if (s.udp) {
    // A datagram slot sends to the sender it last heard from.
    if (s.address == 0 && s.port == 0) {
      platform_socket_set_error(kErrNoPeer, "the datagram slot has no peer yet (net_udp_send names one)");
      return -1;
    }
    return send_all(s.handle, text, true, s.address, s.port);
  }
  return send_all(s.handle, text, false, 0, 0);
}

int net_udp_send(int slot, const BasicString& text, int64_t address, int port) {
  if (!valid(slot) || !valid_port(port)) return -1;
  if (address < 0 || address > 0xFFFFFFFFll) {
    platform_socket_set_error(kErrBadAddress, "address outside 0..4294967295");
    return -1;
  }
  return send_all(g_slots[static_cast<size_t>(slot)].handle, text, true, static_cast<uint32_t>(address), port);
}

int net_recv(int slot, BasicString& out, int size) {
  rt_truncate(out, 0);  // empty, keeping its room
  if (!valid(slot)) return -1;
  if (size <= 0 || size > kMaxReceive) {
    platform_socket_set_error(kErrBadSize, "receive size outside 1..67108864");
    return -1;
  }
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  // The bytes go straight into the text. Its room follows what arrives, never
  // the size alone, so a large size costs nothing until the bytes come.
  if (s.udp) {
    const int room = std::min(size, kMaxDatagram);
    string_reserve(out, static_cast<uint32_t>(room), false);
    uint32_t from = 0;
    int from_port = 0;
    bool taken = false;
    const int64_t n = platform_socket_recv_datagram(s.handle, out.data(), room, from, from_port, taken);
    if (taken) {  // an empty or a cut datagram has a sender too
      s.address = from;
      s.port = from_port;
    }
    if (n < 0) return failed_receive();
    string_set_length(out, static_cast<uint32_t>(n));
    return static_cast<int>(n);
  }
  const int64_t first = std::min<int64_t>(size, std::max<int64_t>(kFirstRoom, int64_t{out.capacity()} - 1));
  string_reserve(out, static_cast<uint32_t>(first), false);
  int64_t n = platform_socket_recv(s.handle, out.data(), first, true);
  if (n < 0) return failed_receive();
  if (n == first && n < size) n = take_ready(s.handle, out, n, size);
  string_set_length(out, static_cast<uint32_t>(n));
  return static_cast<int>(n);
}

int net_close(int slot) {
  if (!valid(slot)) return 0;
  SocketSlot& s = g_slots[static_cast<size_t>(slot)];
  const int h = s.handle;
  s = SocketSlot{};
  // A free slot's handle goes to the platform too, which reports no socket.
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
  const std::string text = std::to_string(code) + " " + platform_socket_error_text();
  return BasicString(text.c_str());
}
