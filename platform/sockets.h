// IPv4 TCP and UDP sockets (POSIX). Addresses are host-order integers with
// the first octet in the top byte; errors are the numbers programs of the
// command set know (see platform_socket_error), never raw errno values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The last error of this thread's socket calls: the number programs see and
// the cause it came from, so its message is the cause's own.
struct PlatformSocketError {
  int code = 0;                // 0: no error
  int sys = 0;                 // the errno (or host-lookup code) behind it; 0 when the engine set it
  bool lookup = false;         // sys is a host-lookup code
  const char* text = nullptr;  // the engine's own message, for a number it set itself
};

// The number of the last error: the classic socket numbers (10035
// would-block, 10036 in progress, 10054 reset, ...; 10038 for a descriptor
// that is no socket), 11001..11003 for host lookups, and 20000 + errno for a
// system failure with no classic counterpart.
int platform_socket_error();
// The message of the last error: the system's for a failed call, the
// engine's own for a number it set ("" for no error).
std::string platform_socket_error_text();
// A failure found by the engine itself; `text` must live for ever (a literal).
void platform_socket_set_error(int code, const char* text);
void platform_socket_clear_error();
// Saves and puts back the last error around clean-up calls that would
// overwrite it.
PlatformSocketError platform_socket_last_error();
void platform_socket_restore_error(const PlatformSocketError& e);

// A new socket (close-on-exec), or -1.
int platform_socket_open(bool udp);
bool platform_socket_reuse_address(int s);
bool platform_socket_broadcast(int s);
bool platform_socket_blocking(int s, bool blocking);
bool platform_socket_bind(int s, uint32_t address, int port);
bool platform_socket_listen(int s, int backlog);
// The bound address and port.
bool platform_socket_local(int s, uint32_t& address, int& port);
// A pending connection (close-on-exec) and its peer, or -1.
int platform_socket_accept(int s, uint32_t& address, int& port);
// 0 connected, 1 in progress, -1 failed.
int platform_socket_connect(int s, uint32_t address, int port);
// Waits for a connect in progress: 1 connected, 0 time-out, -1 failed.
int platform_socket_connect_wait(int s, int timeout_ms);
// One send (to the address when `to` is set); bytes sent, or -1. Never
// raises SIGPIPE. With `to`, 0 bytes send an empty datagram.
int64_t platform_socket_send(int s, const void* bytes, int64_t n, bool to, uint32_t address, int port);
// Waits up to timeout_ms until the socket can take more bytes: true then.
bool platform_socket_wait_writable(int s, int timeout_ms);
// One receive from a stream socket; bytes received (0: the peer closed), or
// -1. `wait` false never waits, even on a blocking socket.
int64_t platform_socket_recv(int s, void* buffer, int64_t n, bool wait);
// The bytes a stream socket holds ready to be received (0 when unknown).
int64_t platform_socket_ready(int s);
// One datagram: its length, or -1. A datagram longer than n is taken and
// dropped with error 10040 (message too long). `taken` tells whether a
// datagram was taken; its sender is then in from and from_port.
int64_t platform_socket_recv_datagram(int s, void* buffer, int64_t n, uint32_t& from, int& from_port, bool& taken);
// Zero linger (the connection is reset), both directions shut, closed.
bool platform_socket_close_hard(int s);
// The first IPv4 address of a name (dotted text too); false when none.
bool platform_resolve_host(const std::string& name, uint32_t& address);
// The local host's IPv4 addresses other than 127.0.0.1.
std::vector<uint32_t> platform_local_addresses();
