// Sockets on the loopback: echo with a Python peer both ways, partial sends,
// idle, closed and reset peers, refused and timed-out connects, UDP request
// and answer, the slot table's limits, and a load of 1000 connections and
// 100 000 datagrams with every descriptor given back.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/net.h"
#include "tamblix.h"
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
    if (n > 0) got.append(piece.c_str(), static_cast<size_t>(n));
    else if (n == -2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    else break;
  }
  return got;
}

// Waits for a result other than "nothing waiting".
int recv_wait(int slot, BasicString& out, int seconds = 5) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  int n = -2;
  while ((n = net_recv(slot, out, 65536)) == -2 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return n;
}

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
)", std::to_string(port));
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
)", reset ? "1" : "0");
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
  // A port nobody listens on: refused at once.
  PythonPeer closed("import socket\ns = socket.socket(); s.bind(('127.0.0.1', 0))\nprint(s.getsockname()[1])\ns.close()\nimport time; time.sleep(5)");
  auto t0 = Clock::now();
  EXPECT_EQ(net_tcp_connect("127.0.0.1", closed.port(), 20000), -1);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
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
  t0 = Clock::now();
  EXPECT_EQ(net_tcp_connect("127.0.0.1", full.port(), 400), -1);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(350));
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
)", std::to_string(port));
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
  // A free slot reports the platform's error for no socket.
  EXPECT_EQ(net_send(900, "x"), -1);
  EXPECT_EQ(net_close(900), 0);
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
)", std::to_string(net_remote_port(l)));

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
)", std::to_string(port));
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
