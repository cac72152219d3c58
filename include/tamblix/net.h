// TCP and UDP sockets over IPv4 in 1024 numbered slots. Sockets are
// non-blocking unless the program asks otherwise. Addresses are integers
// (int64_t) with the first octet in the top byte: 192.168.0.1 is 3232235521.
//
// The last error (net_last_error_text) uses the classic socket numbers:
// 8 no free slot, 10035 would block, 10036 connect time-out / in progress,
// 10054 connection reset, 10061 refused, 10048 address in use, 10038 not a
// slot, 10040 bad receive size, 10060 a send the peer took nothing of for
// too long, 11001 host not found.
#pragma once
#include <cstdint>

#include "tamblix/string.h"

int net_init();
int net_shutdown();
int net_tcp_listen(int port);
int net_tcp_accept(int slot, int64_t& address);
int net_tcp_connect(const BasicString& host, int port, int timeout_ms);
int net_udp_open(int port);
int net_send(int slot, const BasicString& text);
int net_udp_send(int slot, const BasicString& text, int64_t address, int port);
// Bytes received (the text holds them), 0 when the peer closed or reset the
// connection, -2 when nothing is waiting, -1 on other errors (a size of 0
// or less, or above 64 MiB, included).
int net_recv(int slot, BasicString& out, int size);
int net_close(int slot);
int net_set_blocking(int slot, int blocking);
int64_t net_host_ip(const BasicString& host);
BasicString net_ip_text(int64_t address);
int64_t net_remote_ip(int slot);
int net_remote_port(int slot);
BasicString net_last_error_text();
