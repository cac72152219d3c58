// TCP and UDP sockets over IPv4 in 1024 numbered slots. Sockets are
// non-blocking unless the program asks otherwise. Addresses are integers
// (int64_t) with the first octet in the top byte: 192.168.0.1 is 3232235521.
//
// The last error: net_last_error_text gives "<number> <message>" ("" for
// none). The numbers are the classic socket numbers; the message is the
// system's own for the call that failed, or the engine's for a failure it
// found itself. The numbers a program meets:
//   8            no free slot
//   10013        permission denied
//   10022        invalid argument
//   10024        too many open descriptors
//   10035        would block
//   10036        connect time-out (also a connect in progress)
//   10038        not a socket: a slot number outside 0..1023, or a free slot
//   10039        net_send on a UDP slot that has heard no peer yet
//   10040        a receive size outside 1..64 MiB, or a datagram longer than
//                the size asked for
//   10048        address in use
//   10049        address not available; also a port outside 0..65535 or an
//                address outside 0..4294967295, refused before any system call
//   10050-10065  network down or unreachable, connection aborted, 10054 reset
//                (also a broken pipe), 10055 no buffer space, 10056/10057
//                (not) connected, 10060 timed out (also a send the peer took
//                nothing of for 5 seconds), 10061 refused, 10065 no route
//   11001        host not found (11002: lookup failed for now, 11003: failed)
//   20000 + e    a system failure with no classic number, e being the C
//                library's errno; clear of every classic number
#pragma once
#include <cstdint>

#include "tamblix/string.h"

// The first call marks every slot free, closing any socket a program opened
// before it; later calls only count.
int net_init();
// The remaining count; at the last call every slot is closed and the result
// is 0, or the error of a close that failed.
int net_shutdown();
int net_tcp_listen(int port);
int net_tcp_accept(int slot, int64_t& address);
int net_tcp_connect(const BasicString& host, int port, int timeout_ms);
int net_udp_open(int port);
// Bytes sent, or -1. An empty text gives 0 (a UDP slot sends an empty
// datagram); a free slot is an error (10038) even then. A UDP slot sends to
// the sender of its last datagram (10039 before it heard one).
int net_send(int slot, const BasicString& text);
int net_udp_send(int slot, const BasicString& text, int64_t address, int port);
// Bytes received (the text holds them), 0 when the peer closed or reset the
// connection or an empty datagram came, -2 when nothing is waiting, -1 on
// other errors (a size of 0 or less, or above 64 MiB, included). A datagram
// longer than size is dropped: -1 with error 10040. A UDP receive stores the
// sender for net_remote_ip and net_remote_port, also for an empty or dropped
// datagram. The text's room follows what arrives, not the size asked for.
int net_recv(int slot, BasicString& out, int size);
int net_close(int slot);
int net_set_blocking(int slot, int blocking);
int64_t net_host_ip(const BasicString& host);
BasicString net_ip_text(int64_t address);
int64_t net_remote_ip(int slot);
int net_remote_port(int slot);
BasicString net_last_error_text();
