// Loopback TCP through the engine's socket commands next to plain POSIX
// sockets in the same process: throughput of 1 MiB sends and receives, the
// round trip of a 64-byte ping-pong, and the first receive of a process that
// offers room for 64 MiB to a 64-byte message.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tamblix.h"
#include "tests/common/resident_memory.h"

namespace {

enum class Role { kSink, kEcho, kSource };

// A plain peer on its own thread: a sink reads everything, an echo sends back
// what it gets, a source sends 1 MiB blocks until the client goes.
struct Peer {
  int listener = -1, port = 0;
  std::string buf = std::string(1 << 20, 'y');  // made before the peer runs, outside what a benchmark measures
  std::thread thread;
  explicit Peer(Role role) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 4);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread = std::thread([this, role] {
      int c = accept(listener, nullptr, nullptr);
      int one = 1;
      setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      if (role == Role::kSource) {
        while (send(c, buf.data(), buf.size(), MSG_NOSIGNAL) > 0) {
        }
      } else {
        for (ssize_t n; (n = read(c, buf.data(), buf.size())) > 0;)
          if (role == Role::kEcho) (void)!write(c, buf.data(), static_cast<size_t>(n));
      }
      close(c);
    });
  }
  ~Peer() {
    thread.join();
    close(listener);
  }
};

int plain_connect(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return s;  // the same options as the engine's sockets
}

void BM_PlainThroughput(benchmark::State& state) {
  Peer peer(Role::kSink);
  int s = plain_connect(peer.port);
  const std::string block(1 << 20, 'x');
  for (auto _ : state) {
    size_t sent = 0;
    while (sent < block.size())
      sent += static_cast<size_t>(send(s, block.data() + sent, block.size() - sent, MSG_NOSIGNAL));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
  close(s);
}

void BM_EngineThroughput(benchmark::State& state) {
  net_init();
  Peer peer(Role::kSink);
  const int s = net_tcp_connect("127.0.0.1", peer.port, 2000);
  const BasicString block(std::string(1 << 20, 'x').c_str());
  for (auto _ : state) benchmark::DoNotOptimize(net_send(s, block));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.length()));
  net_close(s);
  net_shutdown();
}

void BM_PlainPingPong(benchmark::State& state) {
  Peer peer(Role::kEcho);
  int s = plain_connect(peer.port);
  char ping[64] = {1}, pong[64];
  for (auto _ : state) {
    send(s, ping, sizeof ping, MSG_NOSIGNAL);
    size_t got = 0;
    while (got < sizeof pong) got += static_cast<size_t>(recv(s, pong + got, sizeof pong - got, 0));
  }
  close(s);
}

void BM_EnginePingPong(benchmark::State& state) {
  net_init();
  Peer peer(Role::kEcho);
  const int s = net_tcp_connect("127.0.0.1", peer.port, 2000);
  net_set_blocking(s, 1);  // the program's choice: wait in the receive
  const BasicString ping(std::string(64, 'p').c_str());
  BasicString pong;
  for (auto _ : state) {
    net_send(s, ping);
    int got = 0;
    while (got < 64) got += net_recv(s, pong, 64 - got);
  }
  net_close(s);
  net_shutdown();
}

void BM_PlainReceiveThroughput(benchmark::State& state) {
  Peer peer(Role::kSource);
  int s = plain_connect(peer.port);
  std::string block(1 << 20, 0);
  int64_t bytes = 0;
  for (auto _ : state) {
    const ssize_t n = recv(s, block.data(), block.size(), 0);
    if (n <= 0) break;
    bytes += n;
  }
  state.SetBytesProcessed(bytes);
  close(s);
}

void BM_EngineReceiveThroughput(benchmark::State& state) {
  net_init();
  Peer peer(Role::kSource);
  const int s = net_tcp_connect("127.0.0.1", peer.port, 2000);
  net_set_blocking(s, 1);
  BasicString block;
  int64_t bytes = 0;
  for (auto _ : state) {
    const int n = net_recv(s, block, 1 << 20);
    if (n <= 0) break;
    bytes += n;
  }
  state.SetBytesProcessed(bytes);
  net_close(s);
  net_shutdown();
}

// A program's first receive with room for 64 MiB; a 64-byte message waits.
// Only the first run of a process shows the first receive: run it alone
// (--benchmark_filter=FirstReceive) in fresh processes. The counters are the
// time of that receive and the resident memory it left after net_shutdown.
void BM_EngineFirstReceiveWithRoomFor64MiB(benchmark::State& state) {
  Peer peer(Role::kEcho);
  const double before = resident_mib();
  double ms = 0;
  for (auto _ : state) {
    net_init();
    const int s = net_tcp_connect("127.0.0.1", peer.port, 2000);
    net_set_blocking(s, 1);
    net_send(s, BasicString(std::string(64, 'p').c_str()));
    BasicString out;
    const auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(net_recv(s, out, 64 << 20));
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    net_close(s);
    net_shutdown();
  }
  state.counters["receive_ms"] = ms;
  state.counters["resident_after_MiB"] = resident_mib() - before;
}

}  // namespace

BENCHMARK(BM_PlainThroughput)->UseRealTime();
BENCHMARK(BM_EngineThroughput)->UseRealTime();
BENCHMARK(BM_PlainPingPong)->UseRealTime();
BENCHMARK(BM_EnginePingPong)->UseRealTime();
BENCHMARK(BM_PlainReceiveThroughput)->UseRealTime();
BENCHMARK(BM_EngineReceiveThroughput)->UseRealTime();
BENCHMARK(BM_EngineFirstReceiveWithRoomFor64MiB)->Iterations(1)->UseRealTime();
