// IPv4 TCP and UDP sockets (POSIX). Addresses are host-order integers with
// the first octet in the top byte; errors are the numbers programs of the
// command set know (see platform_socket_error), never raw errno values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The error of the last socket call of this thread, as the command set's
// number (10035 would-block, 10036 in progress, 10054 reset, ...).
int platform_socket_error();
// The readable message of such a number ("" for 0).
std::string platform_socket_error_text(int code);
void platform_socket_set_error(int code);

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
// raises SIGPIPE.
int64_t platform_socket_send(int s, const void* bytes, int64_t n, bool to, uint32_t address, int port);
// Waits up to timeout_ms until the socket can take more bytes: true then.
bool platform_socket_wait_writable(int s, int timeout_ms);
// One receive; bytes received (0: the peer closed), or -1. The sender is
// stored for datagram sockets.
int64_t platform_socket_recv(int s, void* buffer, int64_t n, uint32_t* from, int* from_port);
// Zero linger (the connection is reset), both directions shut, closed.
bool platform_socket_close_hard(int s);
// The first IPv4 address of a name (dotted text too); false when none.
bool platform_resolve_host(const std::string& name, uint32_t& address);
// The local host's IPv4 addresses other than 127.0.0.1.
std::vector<uint32_t> platform_local_addresses();
