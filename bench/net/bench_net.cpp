// Loopback TCP through the engine's socket commands next to plain POSIX
// sockets in the same process: throughput of 1 MiB sends and the round trip
// of a 64-byte ping-pong.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "tamblix.h"

namespace {

// A plain echo/sink peer on its own thread: `echo` sends back what it gets.
struct Peer {
  int listener = -1, port = 0;
  std::thread thread;
  explicit Peer(bool echo) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 4);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread = std::thread([this, echo] {
      int c = accept(listener, nullptr, nullptr);
      int one = 1;
      setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::string buf(1 << 20, 0);
      for (ssize_t n; (n = read(c, buf.data(), buf.size())) > 0;)
        if (echo) (void)!write(c, buf.data(), static_cast<size_t>(n));
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
  Peer peer(false);
  int s = plain_connect(peer.port);
  const std::string block(1 << 20, 'x');
  for (auto _ : state) {
    size_t sent = 0;
    while (sent < block.size()) sent += static_cast<size_t>(send(s, block.data() + sent, block.size() - sent, MSG_NOSIGNAL));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
  close(s);
}

void BM_EngineThroughput(benchmark::State& state) {
  net_init();
  Peer peer(false);
  const int s = net_tcp_connect("127.0.0.1", peer.port, 2000);
  const BasicString block(std::string(1 << 20, 'x').c_str());
  for (auto _ : state) benchmark::DoNotOptimize(net_send(s, block));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.length()));
  net_close(s);
  net_shutdown();
}

void BM_PlainPingPong(benchmark::State& state) {
  Peer peer(true);
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
  Peer peer(true);
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

}  // namespace

BENCHMARK(BM_PlainThroughput)->UseRealTime();
BENCHMARK(BM_EngineThroughput)->UseRealTime();
BENCHMARK(BM_PlainPingPong)->UseRealTime();
BENCHMARK(BM_EnginePingPong)->UseRealTime();
