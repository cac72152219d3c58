#include "platform/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

thread_local PlatformSocketError t_last;

// Numbers of system failures with no classic counterpart: 20000 + errno,
// clear of every classic number (10004..11031).
constexpr int kUnmappedBase = 20000;

// errno to the numbers a program written for the command set expects (the
// values of the classic socket interface it was made on).
// clang-format off
int map_errno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return 10004;
    case EPERM: case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EAGAIN: return 10035;  // EWOULDBLOCK is the same number here
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case EBADF: case ENOTSOCK: return 10038;  // no socket behind the handle (a free slot)
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: case EPIPE: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return kUnmappedBase + e;
  }
}
// clang-format on

// The outcome of a system call: its errno (0 for success) becomes the last
// error, number and cause together.
void record(int e) {
  t_last.code = map_errno(e);
  t_last.sys = e;
  t_last.lookup = false;
  t_last.text = nullptr;
}

sockaddr_in make_addr(uint32_t address, int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(address);
  return a;
}

}  // namespace

int platform_socket_error() { return t_last.code; }

void platform_socket_set_error(int code, const char* text) {
  t_last.code = code;
  t_last.sys = 0;
  t_last.lookup = false;
  t_last.text = text;
}

void platform_socket_clear_error() { platform_socket_set_error(0, nullptr); }

PlatformSocketError platform_socket_last_error() { return t_last; }

void platform_socket_restore_error(const PlatformSocketError& e) { t_last = e; }

std::string platform_socket_error_text() {
  if (t_last.code == 0) return "";
  if (t_last.text != nullptr) return t_last.text;
  if (t_last.lookup) return ::gai_strerror(t_last.sys);
  if (t_last.sys != 0) {
    char buffer[256];
    return ::strerror_r(t_last.sys, buffer, sizeof buffer);  // the GNU form: the message, maybe not in buffer
  }
  return "unknown error";
}

int platform_socket_open(bool udp) {
  int s = ::socket(AF_INET, (udp ? SOCK_DGRAM : SOCK_STREAM) | SOCK_CLOEXEC, 0);
  record(s < 0 ? errno : 0);
  return s;
}

bool platform_socket_reuse_address(int s) {
  int on = 1;
  const bool ok = ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
  record(ok ? 0 : errno);
  return ok;
}

bool platform_socket_broadcast(int s) {
  int on = 1;
  const bool ok = ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
  record(ok ? 0 : errno);
  return ok;
}

bool platform_socket_blocking(int s, bool blocking) {
  const int fl = ::fcntl(s, F_GETFL);
  const bool ok = fl >= 0 && ::fcntl(s, F_SETFL, blocking ? (fl & ~O_NONBLOCK) : (fl | O_NONBLOCK)) == 0;
  record(ok ? 0 : errno);
  return ok;
}

bool platform_socket_bind(int s, uint32_t address, int port) {
  sockaddr_in a = make_addr(address, port);
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  record(ok ? 0 : errno);
  return ok;
}

bool platform_socket_listen(int s, int backlog) {
  const bool ok = ::listen(s, backlog) == 0;
  record(ok ? 0 : errno);
  return ok;
}

bool platform_socket_local(int s, uint32_t& address, int& port) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return false;
  address = ntohl(a.sin_addr.s_addr);
  port = ntohs(a.sin_port);
  return true;
}

int platform_socket_accept(int s, uint32_t& address, int& port) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  int c;
  do {
    c = ::accept4(s, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
  } while (c < 0 && errno == EINTR);
  record(c < 0 ? errno : 0);
  if (c >= 0) {
    address = ntohl(a.sin_addr.s_addr);
    port = ntohs(a.sin_port);
  }
  return c;
}

int platform_socket_connect(int s, uint32_t address, int port) {
  sockaddr_in a = make_addr(address, port);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    record(0);
    return 0;
  }
  record(errno);
  return (errno == EINPROGRESS || errno == EAGAIN || errno == EINTR) ? 1 : -1;
}

int platform_socket_connect_wait(int s, int timeout_ms) {
  pollfd p{s, POLLOUT, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return 0;
  if (r < 0) {
    record(errno);
    return -1;
  }
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  record(err);
  return err == 0 ? 1 : -1;
}

int64_t platform_socket_send(int s, const void* bytes, int64_t n, bool to, uint32_t address, int port) {
  ssize_t r;
  if (to) {
    sockaddr_in a = make_addr(address, port);
    r = ::sendto(s, bytes, static_cast<size_t>(n), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    r = ::send(s, bytes, static_cast<size_t>(n), MSG_NOSIGNAL);
  }
  record(r < 0 ? errno : 0);
  return r;
}

bool platform_socket_wait_writable(int s, int timeout_ms) {
  pollfd p{s, POLLOUT, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

int64_t platform_socket_recv(int s, void* buffer, int64_t n, bool wait) {
  ssize_t r;
  do {
    r = ::recv(s, buffer, static_cast<size_t>(n), wait ? 0 : MSG_DONTWAIT);
  } while (r < 0 && errno == EINTR);
  record(r < 0 ? errno : 0);
  return r;
}

int64_t platform_socket_ready(int s) {
  int n = 0;
  return ::ioctl(s, FIONREAD, &n) == 0 && n > 0 ? n : 0;
}

int64_t platform_socket_recv_datagram(int s, void* buffer, int64_t n, uint32_t& from, int& from_port, bool& taken) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ssize_t r;
  // MSG_TRUNC: the result is the datagram's whole length, even when only
  // its first n bytes fit.
  do {
    r = ::recvfrom(s, buffer, static_cast<size_t>(n), MSG_TRUNC, reinterpret_cast<sockaddr*>(&a), &len);
  } while (r < 0 && errno == EINTR);
  taken = r >= 0;
  if (taken && len >= sizeof a && a.sin_family == AF_INET) {
    from = ntohl(a.sin_addr.s_addr);
    from_port = ntohs(a.sin_port);
  }
  if (r > n) {
    record(EMSGSIZE);
    return -1;
  }
  record(r < 0 ? errno : 0);
  return r;
}

bool platform_socket_close_hard(int s) {
  linger l{1, 0};
  ::setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  ::shutdown(s, SHUT_RDWR);
  const bool ok = ::close(s) == 0;
  record(ok ? 0 : errno);
  return ok;
}

bool platform_resolve_host(const std::string& name, uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* res = nullptr;
  const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &res);
  if (rc != 0 || res == nullptr) {
    if (rc == 0) {
      platform_socket_set_error(11001, "the name has no IPv4 address");
    } else if (rc == EAI_SYSTEM) {
      record(errno);
    } else {
      t_last.code = rc == EAI_AGAIN ? 11002 : (rc == EAI_NONAME || rc == EAI_NODATA) ? 11001 : 11003;
      t_last.sys = rc;
      t_last.lookup = true;
      t_last.text = nullptr;
    }
    return false;
  }
  address = ntohl(reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(res);
  record(0);
  return true;
}

std::vector<uint32_t> platform_local_addresses() {
  std::vector<uint32_t> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
    const uint32_t a = ntohl(reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    if (a != 0x7F000001u) out.push_back(a);
  }
  ::freeifaddrs(list);
  return out;
}
