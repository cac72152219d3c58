// Sockets on the loopback: echo with a Python peer both ways, partial sends,
// idle, closed and reset peers, refused and timed-out connects, UDP request
// and answer, whole datagrams and their senders, the error numbers and their
// messages, the slot table's limits, and a load of 1000 connections and
// 100 000 datagrams with every descriptor given back.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "net/net.h"
#include "tamblix.h"
#include "tests/common/resident_memory.h"
#include "tests/net/peer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kLoopback = 0x7F000001;

int open_fds() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d)) ++n;
  closedir(d);
  return n;
}

// Receives until `want` bytes came or `seconds` passed.
std::string recv_all(int slot, size_t want, int seconds = 10) {
  std::string got;
  BasicString piece;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (got.size() < want && Clock::now() < end) {
    const int n = net_recv(slot, piece, 65536);
    if (n > 0)
      got.append(piece.c_str(), static_cast<size_t>(n));
    else if (n == -2)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    else
      break;
  }
  return got;
}

// Waits for a result other than "nothing waiting".
int recv_wait(int slot, BasicString& out, int seconds = 5, int size = 65536) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  int n = -2;
  while ((n = net_recv(slot, out, size)) == -2 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return n;
}

std::string last_error() { return net_last_error_text().c_str(); }

// The last error as the system words the failure of that errno.
std::string system_error(int number, int e) { return std::to_string(number) + " " + std::strerror(e); }

const char* kEchoServer = R"(
import socket
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(5)
print(s.getsockname()[1])
c, _ = s.accept()
while True:
    d = c.recv(65536)
    if not d: break
    c.sendall(d)
)";

// A port nobody listens on: bound, printed and closed again.
const char* kClosedPort = R"(
import socket, time
s = socket.socket(); s.bind(('127.0.0.1', 0))
print(s.getsockname()[1])
s.close()
time.sleep(5)
)";

class Net : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(net_init(), 1);
    fds_ = open_fds();
  }
  void TearDown() override {
    net_release_all();
    EXPECT_EQ(open_fds(), fds_) << "a descriptor was not given back";
  }
  int fds_ = 0;
};

}  // namespace

TEST(NetAddresses, TextAndNumberAreExactInverses) {
  for (int64_t a : {int64_t{0}, int64_t{1}, int64_t{3232235521}, kLoopback, int64_t{4294967295}, int64_t{167772161}}) {
    const BasicString text = net_ip_text(a);
    EXPECT_EQ(net_host_ip(text), a) << text.c_str();
  }
  EXPECT_STREQ(net_ip_text(3232235521).c_str(), "192.168.0.1");
  EXPECT_EQ(net_host_ip("localhost"), kLoopback);
}

TEST_F(Net, EchoWithAPythonServer) {
  PythonPeer peer(kEchoServer);
  const int s = net_tcp_connect("127.0.0.1", peer.port(), 2000);
  ASSERT_GE(s, 0) << net_last_error_text().c_str();
  EXPECT_EQ(net_remote_ip(s), kLoopback);
  EXPECT_EQ(net_remote_port(s), peer.port());
  // Nothing waiting on a connected socket: -2 at once.
  BasicString out;
  EXPECT_EQ(net_recv(s, out, 100), -2);
  EXPECT_EQ(out.length(), 0u);
  EXPECT_EQ(net_send(s, "hello, peer"), 11);
  EXPECT_EQ(recv_all(s, 11), "hello, peer");
  EXPECT_EQ(net_send(s, ""), 0);
  EXPECT_EQ(net_close(s), 1);
}

TEST_F(Net, EchoForAPythonClient) {
  const int l = net_tcp_listen(0);
  ASSERT_GE(l, 0);
  const int port = net_remote_port(l);
  ASSERT_GT(port, 0);
  PythonPeer peer(R"(
import socket, sys
print(0)
c = socket.create_connection(('127.0.0.1', int(sys.argv[1])))
c.sendall(b'ping from python')
print(c.recv(100).decode())
)",
                  std::to_string(port));
  int64_t address = 0;
  int c = -1;
  for (int i = 0; i < 5000 && c < 0; ++i) {
    c = net_tcp_accept(l, address);
    if (c < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(c, 0);
  EXPECT_EQ(address, kLoopback);
  const std::string got = recv_all(c, 16);
  EXPECT_EQ(got, "ping from python");
  EXPECT_EQ(net_send(c, BasicString(got.c_str())), 16);
  EXPECT_EQ(peer.line(), "ping from python");
}

TEST_F(Net, SixteenMiBGoOutWholeThroughPartialSends) {
  PythonPeer peer(R"(
import socket, time
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(1)
print(s.getsockname()[1])
c, _ = s.accept()
n = 0
while n < 16 * 1024 * 1024:
    d = c.recv(65536)
    if not d: break
    n += len(d)
    if n < 1024 * 1024: time.sleep(0.001)
print(n)
)");
  const int s = net_tcp_connect("127.0.0.1", peer.port(), 2000);
  ASSERT_GE(s, 0);
  std::string big(16 * 1024 * 1024, 'x');
  for (size_t i = 0; i < big.size(); i += 4096) big[i] = static_cast<char>('a' + (i / 4096) % 26);
  EXPECT_EQ(net_send(s, BasicString(big.c_str())), 16 * 1024 * 1024);
  EXPECT_EQ(peer.line(), std::to_string(16 * 1024 * 1024));
}

TEST_F(Net, ClosedAndResetPeersGiveZero) {
  for (bool reset : {false, true}) {
    PythonPeer peer(R"(
import socket, struct, sys
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(1)
print(s.getsockname()[1])
c, _ = s.accept()
c.recv(10)
if sys.argv[1] == '1': c.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
c.close()
print('closed')
)",
                    reset ? "1" : "0");
    const int s = net_tcp_connect("127.0.0.1", peer.port(), 2000);
    ASSERT_GE(s, 0);
    EXPECT_EQ(net_send(s, "go"), 2);
    EXPECT_EQ(peer.line(), "closed");
    BasicString out;
    EXPECT_EQ(recv_wait(s, out), 0) << reset;
    EXPECT_EQ(out.length(), 0u);
    // Sending to the gone peer is an error, never SIGPIPE.
    int last = 0;
    for (int i = 0; i < 5; ++i) last = net_send(s, "more");
    EXPECT_EQ(last, -1);
    net_close(s);
  }
}

TEST_F(Net, ConnectRefusedAndTimedOut) {
  // A port nobody listens on: refused (a time-out would be 10036).
  PythonPeer closed(kClosedPort);
  EXPECT_EQ(net_tcp_connect("127.0.0.1", closed.port(), 20000), -1);
  EXPECT_EQ(std::string(net_last_error_text().c_str()).substr(0, 6), "10061 ");

  // A listener that never accepts, its backlog full: the connect waits and
  // times out.
  PythonPeer full(R"(
import socket, time
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(0)
port = s.getsockname()[1]
held = []
for i in range(4):
    c = socket.socket(); c.setblocking(False)
    try: c.connect(('127.0.0.1', port))
    except BlockingIOError: pass
    held.append(c)
time.sleep(0.3)
print(port)
time.sleep(30)
)");
  EXPECT_EQ(net_tcp_connect("127.0.0.1", full.port(), 400), -1);
  EXPECT_EQ(std::string(net_last_error_text().c_str()).substr(0, 6), "10036 ");
}

TEST_F(Net, UdpRequestAndAnswer) {
  PythonPeer server(R"(
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(('127.0.0.1', 0))
print(s.getsockname()[1])
d, a = s.recvfrom(100)
s.sendto(b'answer:' + d, a)
)");
  const int u = net_udp_open(0);
  ASSERT_GE(u, 0);
  EXPECT_EQ(net_send(u, "no target yet"), -1);
  EXPECT_EQ(net_udp_send(u, "question", kLoopback, server.port()), 8);
  BasicString out;
  ASSERT_EQ(recv_wait(u, out), 15);
  EXPECT_STREQ(out.c_str(), "answer:question");
  EXPECT_EQ(net_remote_ip(u), kLoopback);
  EXPECT_EQ(net_remote_port(u), server.port());
}

TEST_F(Net, UdpAnswerThroughRemoteIpAndPort) {
  const int l = net_tcp_listen(0);  // a free port number, borrowed for UDP
  const int port = net_remote_port(l);
  net_close(l);
  const int u = net_udp_open(port);
  ASSERT_GE(u, 0) << net_last_error_text().c_str();
  PythonPeer client(R"(
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.settimeout(5)
print(0)
s.sendto(b'hi', ('127.0.0.1', int(sys.argv[1])))
print(s.recvfrom(100)[0].decode())
)",
                    std::to_string(port));
  BasicString out;
  ASSERT_EQ(recv_wait(u, out), 2);
  EXPECT_EQ(net_udp_send(u, "hello back", net_remote_ip(u), net_remote_port(u)), 10);
  EXPECT_EQ(client.line(), "hello back");
}

TEST_F(Net, BadSlotsAndSizesAreErrors) {
  BasicString out;
  for (int slot : {-1, 1024, 1 << 30}) {
    EXPECT_EQ(net_recv(slot, out, 10), -1);
    EXPECT_EQ(net_send(slot, "x"), -1);
    EXPECT_EQ(net_close(slot), 0);
    EXPECT_EQ(std::string(net_last_error_text().c_str()).substr(0, 6), "10038 ");
  }
  const int u = net_udp_open(0);
  for (int size : {0, -5, 64 * 1024 * 1024 + 1}) {
    EXPECT_EQ(net_recv(u, out, size), -1) << size;
    EXPECT_EQ(std::string(net_last_error_text().c_str()).substr(0, 6), "10040 ");
  }
  // A free slot passes no socket to the system, which says so: 10038 with
  // the system's message, whatever the command.
  const std::string no_socket = system_error(10038, EBADF);
  int64_t address = 0;
  const std::pair<const char*, std::function<int()>> on_free_slot[] = {
      {"send", [] { return net_send(900, "x"); }},
      {"empty send", [] { return net_send(900, ""); }},
      {"udp send", [] { return net_udp_send(900, "x", kLoopback, 9); }},
      {"empty udp send", [] { return net_udp_send(900, "", kLoopback, 9); }},
      {"recv", [&] { return net_recv(900, out, 10); }},
      {"accept", [&] { return net_tcp_accept(900, address); }},
  };
  for (const auto& [what, command] : on_free_slot) {
    EXPECT_EQ(command(), -1) << what;
    EXPECT_EQ(last_error(), no_socket) << what;
  }
  EXPECT_EQ(net_close(900), 0);
  EXPECT_EQ(last_error(), no_socket);
  EXPECT_EQ(net_set_blocking(900, 1), 10038);
}

TEST_F(Net, ErrorMessagesBelongToTheFailureThatSetTheNumber) {
  // Failures of system calls: the system's own message.
  PythonPeer closed(kClosedPort);
  EXPECT_EQ(net_tcp_connect("127.0.0.1", closed.port(), 2000), -1);
  EXPECT_EQ(last_error(), system_error(10061, ECONNREFUSED));
  const int l = net_tcp_listen(0);
  ASSERT_GE(l, 0);
  EXPECT_EQ(net_tcp_listen(net_remote_port(l)), -1);
  EXPECT_EQ(last_error(), system_error(10048, EADDRINUSE));

  // Failures the engine finds itself: its own message, naming the cause.
  BasicString out;
  const int u = net_udp_open(0);
  const struct {
    const char* what;
    std::function<int()> command;
    int number;
    const char* cause;
  } own[] = {
      {"slot number", [&] { return net_recv(-1, out, 10); }, 10038, "slot"},
      {"receive size", [&] { return net_recv(u, out, 0); }, 10040, "size"},
      {"port", [] { return net_tcp_listen(70000); }, 10049, "port"},
      {"no peer", [&] { return net_send(u, "x"); }, 10039, "peer"},
  };
  for (const auto& c : own) {
    EXPECT_EQ(c.command(), -1) << c.what;
    const std::string text = last_error();
    const std::string number = std::to_string(c.number) + " ";
    EXPECT_EQ(text.substr(0, number.size()), number) << c.what;
    EXPECT_NE(text.find(c.cause), std::string::npos) << c.what << ": " << text;
  }
}

TEST_F(Net, TheLastShutdownReportsItsOwnOutcome) {
  // An earlier failure does not come back as the shutdown's result.
  PythonPeer closed(kClosedPort);
  EXPECT_EQ(net_tcp_connect("127.0.0.1", closed.port(), 2000), -1);
  ASSERT_EQ(std::string(last_error()).substr(0, 6), "10061 ");
  EXPECT_EQ(net_shutdown(), 0);
  EXPECT_EQ(last_error(), "");
  // Nor with sockets to close.
  ASSERT_EQ(net_init(), 1);
  ASSERT_GE(net_udp_open(0), 0);
  BasicString out;
  EXPECT_EQ(net_recv(-1, out, 1), -1);
  EXPECT_EQ(net_shutdown(), 0);
}

TEST_F(Net, OnlyTheFirstInitFreesTheSlotsAndItClosesWhatTheyHeld) {
  // Sockets opened while no net_init counts (before the first, or after
  // the last shutdown) are closed by the next first net_init, not forgotten.
  net_shutdown();
  const int fds = open_fds();
  const int u = net_udp_open(0);
  ASSERT_GE(u, 0);
  const int l = net_tcp_listen(0);
  ASSERT_GE(l, 0);
  ASSERT_EQ(net_init(), 1);
  EXPECT_EQ(open_fds(), fds);
  EXPECT_EQ(net_udp_open(0), u);  // the slots are free again

  // A later net_init only counts: the socket stays open and usable.
  ASSERT_EQ(net_init(), 1);
  BasicString out;
  EXPECT_EQ(net_recv(u, out, 10), -2);
  EXPECT_EQ(open_fds(), fds + 1);
}

TEST_F(Net, PortsAndAddressesOutOfRangeAreRefusedNotWrapped) {
  const int u = net_udp_open(0);
  ASSERT_GE(u, 0);
  const int fds = open_fds();
  // 69857 would wrap to 4321, -1 to 65535.
  for (int port : {-1, 65536, 69857, 1 << 30}) {
    const std::pair<const char*, std::function<int()>> commands[] = {
        {"listen", [&] { return net_tcp_listen(port); }},
        {"udp open", [&] { return net_udp_open(port); }},
        {"connect", [&] { return net_tcp_connect("127.0.0.1", port, 100); }},
        {"udp send", [&] { return net_udp_send(u, "x", kLoopback, port); }},
    };
    for (const auto& [what, command] : commands) {
      EXPECT_EQ(command(), -1) << what << " " << port;
      EXPECT_EQ(last_error().substr(0, 6), "10049 ") << what << " " << port;
    }
  }
  // An address that is no IPv4 address (-1 is net_host_ip's "not found",
  // which would wrap to the broadcast address).
  for (int64_t address : {int64_t{-1}, int64_t{1} << 32}) {
    EXPECT_EQ(net_udp_send(u, "x", address, 9), -1) << address;
    EXPECT_EQ(last_error().substr(0, 6), "10049 ") << address;
  }
  EXPECT_EQ(open_fds(), fds) << "no socket was made";
}

TEST_F(Net, DatagramsArriveWholeWithTheirSenders) {
  // Two sockets of one peer answer the engine's "go": a datagram longer than
  // the engine's receive size from the first, an empty one from the second,
  // then "ok" from the first.
  PythonPeer peer(R"(
import socket
a = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); a.bind(('127.0.0.1', 0)); a.settimeout(5)
b = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); b.bind(('127.0.0.1', 0))
print(a.getsockname()[1])
print(b.getsockname()[1])
d, to = a.recvfrom(100)
a.sendto(b'0123456789', to)
b.sendto(b'', to)
a.sendto(b'ok', to)
)");
  const int port_b = std::stoi(peer.line());
  const int u = net_udp_open(0);
  ASSERT_GE(u, 0);
  ASSERT_EQ(net_udp_send(u, "go", kLoopback, peer.port()), 2);
  BasicString out;

  // Too long for 4 bytes: dropped with 10040, the text empty.
  EXPECT_EQ(recv_wait(u, out, 5, 4), -1);
  EXPECT_EQ(last_error(), system_error(10040, EMSGSIZE));
  EXPECT_EQ(out.length(), 0u);
  EXPECT_EQ(net_remote_port(u), peer.port());

  // The empty datagram names its sender too.
  EXPECT_EQ(recv_wait(u, out), 0);
  EXPECT_EQ(out.length(), 0u);
  EXPECT_EQ(net_remote_ip(u), kLoopback);
  EXPECT_EQ(net_remote_port(u), port_b);

  // The next datagram is whole: the long one is gone, nothing of it left.
  EXPECT_EQ(recv_wait(u, out), 2);
  EXPECT_STREQ(out.c_str(), "ok");
  EXPECT_EQ(net_remote_port(u), peer.port());
}

TEST_F(Net, EmptySendsSendEmptyDatagrams) {
  PythonPeer peer(R"(
import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(('127.0.0.1', 0)); s.settimeout(5)
print(s.getsockname()[1])
for i in range(2):
    try: d, to = s.recvfrom(100); print(len(d)); s.sendto(b'x', to)
    except socket.timeout: print('nothing')
)");
  const int u = net_udp_open(0);
  ASSERT_GE(u, 0);
  EXPECT_EQ(net_udp_send(u, "", kLoopback, peer.port()), 0);
  EXPECT_EQ(peer.line(), "0");
  BasicString out;
  ASSERT_EQ(recv_wait(u, out), 1);
  // Now the slot has a peer, and net_send's empty text goes to it.
  EXPECT_EQ(net_send(u, ""), 0);
  EXPECT_EQ(peer.line(), "0");
}

TEST_F(Net, StreamReceivesTakeAtMostTheSizeInOrder) {
  // 3 MiB of a pattern that shows a lost, doubled or moved block; the
  // receive sizes change from call to call.
  PythonPeer peer(R"(
import socket
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(1)
print(s.getsockname()[1])
c, _ = s.accept()
c.sendall(bytes((i * 131 + (i >> 8) * 7) & 255 for i in range(3 << 20)))
c.recv(1)
)");
  const int s = net_tcp_connect("127.0.0.1", peer.port(), 2000);
  ASSERT_GE(s, 0);
  const size_t total = 3u << 20;
  std::string want(total, 0);
  for (size_t i = 0; i < total; ++i) want[i] = static_cast<char>((i * 131 + (i >> 8) * 7) & 255);
  const int sizes[] = {100, 65536, 70000, 1 << 20, 64 << 20, 1};
  std::string got;
  BasicString piece;
  bool within_size = true;
  const auto end = Clock::now() + std::chrono::seconds(20);
  for (size_t call = 0; got.size() < total && Clock::now() < end; ++call) {
    const int size = sizes[call % std::size(sizes)];
    const int n = net_recv(s, piece, size);
    if (n == -2) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    ASSERT_GT(n, 0) << last_error();
    within_size = within_size && n <= size && piece.length() == static_cast<uint32_t>(n);
    got.append(piece.c_str(), static_cast<size_t>(n));
  }
  EXPECT_TRUE(within_size);
  ASSERT_EQ(got.size(), total);
  EXPECT_TRUE(got == want) << "the bytes came out of order";
}

TEST_F(Net, ALargeReceiveSizeCostsNoMemoryUntilBytesCome) {
  PythonPeer peer(kEchoServer);
  const int s = net_tcp_connect("127.0.0.1", peer.port(), 2000);
  ASSERT_GE(s, 0);
  const double before = resident_mib();
  {
    BasicString out;
    EXPECT_EQ(net_recv(s, out, 64 << 20), -2);
    ASSERT_EQ(net_send(s, "hello"), 5);
    ASSERT_EQ(recv_wait(s, out, 5, 64 << 20), 5);
    EXPECT_STREQ(out.c_str(), "hello");
    EXPECT_LT(out.capacity(), 1u << 20);
  }
  net_shutdown();
  ASSERT_EQ(net_init(), 1);
  EXPECT_LT(resident_mib() - before, 16.0) << "MiB stay resident after the receive";
}

TEST_F(Net, TheSlotTableRunsOutWithError8) {
  rlimit rl{};
  getrlimit(RLIMIT_NOFILE, &rl);
  const rlimit old = rl;
  rl.rlim_cur = rl.rlim_max < 4096 ? rl.rlim_max : 4096;
  setrlimit(RLIMIT_NOFILE, &rl);
  getrlimit(RLIMIT_NOFILE, &rl);
  if (rl.rlim_cur < 1100) GTEST_SKIP() << "needs 1100 descriptors";
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(net_udp_open(0), i);
  EXPECT_EQ(net_udp_open(0), -1);
  EXPECT_EQ(std::string(net_last_error_text().c_str()).substr(0, 2), "8 ");
  EXPECT_EQ(net_tcp_listen(0), -1);
  net_close(500);
  EXPECT_EQ(net_udp_open(0), 500);  // the lowest free slot
  net_release_all();
  setrlimit(RLIMIT_NOFILE, &old);
}

TEST_F(Net, InitAndShutdownCount) {
  ASSERT_EQ(net_init(), 1);  // the fixture's first, and this second
  const int u = net_udp_open(0);
  ASSERT_GE(u, 0);
  EXPECT_EQ(net_shutdown(), 1);
  BasicString out;
  EXPECT_EQ(net_recv(u, out, 10), -2);  // still open
  net_shutdown();                       // the last one closes every slot
  EXPECT_EQ(net_recv(u, out, 10), -1);
  ASSERT_EQ(net_init(), 1);
}

TEST_F(Net, ASendToAPeerThatStopsReadingGivesUp) {
  PythonPeer peer(R"(
import socket, time
s = socket.socket(); s.bind(('127.0.0.1', 0)); s.listen(1)
print(s.getsockname()[1])
c, _ = s.accept()
time.sleep(60)
)");
  const int s = net_tcp_connect("127.0.0.1", peer.port(), 2000);
  ASSERT_GE(s, 0);
  const std::string big(64 * 1024 * 1024, 'z');
  EXPECT_EQ(net_send(s, BasicString(big.c_str())), -1);
  EXPECT_EQ(std::string(net_last_error_text().c_str()).substr(0, 6), "10060 ");
}

TEST_F(Net, AThousandConnectionsAndAHundredThousandDatagrams) {
  rlimit rl{};
  getrlimit(RLIMIT_NOFILE, &rl);
  const rlimit old = rl;
  rl.rlim_cur = rl.rlim_max < 4096 ? rl.rlim_max : 4096;
  setrlimit(RLIMIT_NOFILE, &rl);
  getrlimit(RLIMIT_NOFILE, &rl);
  if (rl.rlim_cur < 1100) GTEST_SKIP() << "needs 1100 descriptors";

  const int l = net_tcp_listen(0);
  ASSERT_GE(l, 0);
  PythonPeer clients(R"(
import resource, selectors, socket, sys
resource.setrlimit(resource.RLIMIT_NOFILE, (2048, resource.getrlimit(resource.RLIMIT_NOFILE)[1]))
port = int(sys.argv[1]); print(0)
# All 1000 connections are made first and held open together; then each
# sends its 1 KiB and waits for the echo.
conns = []
def connect():
    # A SYN lost on the busy loopback is sent again, as a client would.
    for attempt in range(5):
        try: return socket.create_connection(('127.0.0.1', port), timeout=5)
        except (TimeoutError, ConnectionError) as e: sys.stderr.write('connect %d attempt %d: %r\n' % (len(conns), attempt, e))
    raise SystemExit('no connection')
for i in range(1000):
    c = connect()
    c.setblocking(False)
    conns.append(c)
sel = selectors.DefaultSelector(); want = {}
for i, c in enumerate(conns):
    msg = (b'%04d' % i) * 256
    c.setblocking(True); c.sendall(msg); c.setblocking(False)
    want[c] = [msg, b'']
    sel.register(c, selectors.EVENT_READ)
ok = 0
while want:
    events = sel.select(30)
    if not events: break
    for key, mask in events:
        c = key.fileobj; w = want[c]
        try: d = c.recv(4096)
        except OSError: d = b''
        w[1] += d
        if len(w[1]) >= 1024 or not d:
            ok += w[1] == w[0]; sel.unregister(c); c.close(); del want[c]
print(ok)
)",
                     std::to_string(net_remote_port(l)));

  // Accept and echo until every client has its answer back.
  int echoed = 0;
  std::vector<std::pair<int, std::string>> open;
  const auto end = Clock::now() + std::chrono::seconds(60);
  int64_t address = 0;
  BasicString piece;
  // The listener's backlog is 10: pending connections are taken between
  // every few receives, as a server loop with many clients must.
  auto take_pending = [&] {
    bool any = false;
    for (int c; (c = net_tcp_accept(l, address)) >= 0;) {
      open.emplace_back(c, "");
      any = true;
    }
    return any;
  };
  while (echoed < 1000 && Clock::now() < end) {
    bool idle = !take_pending();
    size_t visited = 0;
    for (size_t i = 0; i < open.size();) {
      if (++visited % 32 == 0 && take_pending()) idle = false;
      auto& [slot, text] = open[i];
      const int n = net_recv(slot, piece, 2048);
      if (n > 0) {
        text.append(piece.c_str(), static_cast<size_t>(n));
        idle = false;
      }
      if (text.size() >= 1024) {
        net_send(slot, BasicString(text.c_str()));
        net_close(slot);
        ++echoed;
        open[i] = open.back();
        open.pop_back();
      } else if (n == 0 || n == -1) {
        net_close(slot);
        open[i] = open.back();
        open.pop_back();
      } else {
        ++i;
      }
    }
    if (idle) std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  EXPECT_EQ(echoed, 1000) << open.size() << " still open";
  EXPECT_EQ(clients.line(), "1000");
  for (auto& [slot, text] : open) net_close(slot);
  net_close(l);

  // 100 000 datagrams to one slot, bounded in time.
  const int lp = net_tcp_listen(0);
  const int port = net_remote_port(lp);
  net_close(lp);
  const int r = net_udp_open(port);
  ASSERT_GE(r, 0);
  PythonPeer sender(R"(
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); print(0)
for i in range(100000):
    s.sendto(b'%06d' % i, ('127.0.0.1', int(sys.argv[1])))
    if i % 500 == 0: time.sleep(0.001)
print('sent')
)",
                    std::to_string(port));
  int got = 0;
  bool well_formed = true;
  auto last = Clock::now();
  const auto stop = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < stop && Clock::now() - last < std::chrono::seconds(2)) {
    const int n = net_recv(r, piece, 64);
    if (n > 0) {
      ++got;
      well_formed = well_formed && n == 6;
      last = Clock::now();
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }
  EXPECT_TRUE(well_formed);
  EXPECT_GT(got, 50000) << "of 100000 datagrams";
  std::printf("datagrams received: %d of 100000\n", got);
  net_release_all();
  setrlimit(RLIMIT_NOFILE, &old);
}
