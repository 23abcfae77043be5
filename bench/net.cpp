// Framed messages over loopback: our network handles against a plain POSIX socket loop
// moving the same bytes (the physical limit of the socket path), and the cost of one
// NetWorkSend while a peer that never reads has 1, 4 or 16 MiB queued (flat, not growing
// with the queue).
#include "engine/system/network.h"
#include "platform/window/window.h"
#include "ratio.h"
#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kMessage = 64 << 10;
constexpr int kMessages = 64;  // 4 MiB an iteration

int g_port = -1;

bool Up() {
  if (g_port > 0) return true;
  PlatWindowSelectBackend("headless");
  if (InitNetwork() != 0) return false;
  const int listener = ListenNetWork(0);
  g_port = listener < 0 ? -1 : GetNetWorkLocalPort(listener);
  return g_port > 0;
}


// A peer connected to the engine, and the engine's handle for it.
int AcceptPeer(int* peer, int receiveBuffer = 0) {
  const int before = GetNewestNetWorkHandle();
  *peer = ConnectLoopback(g_port, receiveBuffer);
  int handle = before;
  for (int i = 0; i < 100000 && handle == before; i++) {
    PumpNetworkMessages(1);
    handle = GetNewestNetWorkHandle();
  }
  return handle;
}

std::string Stream() {
  std::string one(4 + kMessage, 'x');
  const uint32_t n = kMessage;
  std::memcpy(one.data(), &n, 4);  // little-endian machine
  std::string all;
  for (int i = 0; i < kMessages; i++) all += one;
  return all;
}

void SendSome(int fd, const std::string& data, size_t* at) {
  while (*at < data.size()) {
    const ssize_t n = ::send(fd, data.data() + *at, data.size() - *at, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) return;
    *at += size_t(n);
  }
}

void ReportBytes(benchmark::State& state, double bytesPerIteration) {
  state.counters["MB/s"] = benchmark::Counter(bytesPerIteration * double(state.iterations()) / 1e6,
                                              benchmark::Counter::kIsRate);
}

// The peer sends framed messages; the engine takes them with only its pump and reads.
void BM_NetWork_FramedMessages(benchmark::State& state) {
  if (!Up()) return state.SkipWithError("no network");
  int peer;
  const int h = AcceptPeer(&peer);
  const std::string stream = Stream();
  std::string buffer(kMessage, '\0');
  for (auto _ : state) {
    size_t at = 0;
    int read = 0;
    while (read < kMessages) {
      SendSome(peer, stream, &at);
      PumpNetworkMessages(1);
      while (read < kMessages && GetSocketData(h)->dataLength >= kMessage &&
             NetWorkRecv(h, buffer.data(), kMessage) == 0)
        read++;
    }
  }
  ReportBytes(state, double(stream.size()));
  ::close(peer);
  CloseNetHandle(h);
}
BENCHMARK(BM_NetWork_FramedMessages)->Unit(benchmark::kMillisecond);

// The same bytes between two plain non-blocking sockets, the reader parsing the lengths
// and handing each message whole to the program in a buffer of its own, as NetWorkRecv
// does: a reader that only counted the bytes would leave out the copy every framed
// receive API makes.
void BM_Plain_PosixSocketLoop(benchmark::State& state) {
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener, 4);
  socklen_t len = sizeof a;
  getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
  const int peer = ConnectLoopback(ntohs(a.sin_port));
  const int in = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  const std::string stream = Stream();
  std::string buffer(1 << 20, '\0');
  std::string message(kMessage, '\0');
  for (auto _ : state) {
    size_t at = 0, got = 0, messages = 0, inMessage = 0, prefix = 0;
    while (messages < size_t(kMessages)) {
      SendSome(peer, stream, &at);
      const ssize_t n = ::recv(in, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n <= 0) continue;
      got += size_t(n);
      for (ssize_t i = 0; i < n;) {  // walk the frames
        if (inMessage == 0) {
          const size_t take = std::min<size_t>(4 - prefix, size_t(n - i));
          prefix += take;
          i += ssize_t(take);
          if (prefix == 4) inMessage = kMessage, prefix = 0;
          continue;
        }
        const size_t take = std::min<size_t>(inMessage, size_t(n - i));
        std::memcpy(message.data() + (kMessage - inMessage), buffer.data() + i, take);
        inMessage -= take;
        i += ssize_t(take);
        if (inMessage == 0) messages++;
      }
    }
    benchmark::DoNotOptimize(got);
    benchmark::DoNotOptimize(message.data());
  }
  ReportBytes(state, double(stream.size()));
  ::close(peer);
  ::close(in);
  ::close(listener);
}
BENCHMARK(BM_Plain_PosixSocketLoop)->Unit(benchmark::kMillisecond);

// One 1 KiB send with n MiB already queued for a peer that never reads.
void BM_NetWork_SendWithQueued(benchmark::State& state) {
  if (!Up()) return state.SkipWithError("no network");
  int peer;
  const int h = AcceptPeer(&peer, 4096);
  const std::string mib(1 << 20, 'q');
  const SocketData* d = GetSocketData(h);
  while (d->sendRing.length < int32_t(state.range(0)) << 20) NetWorkSend(h, mib.data(), int(mib.size()));
  state.counters["MiB queued"] = double(d->sendRing.length) / double(1 << 20);
  const char kib[1024] = {};
  for (auto _ : state) benchmark::DoNotOptimize(NetWorkSend(h, kib, sizeof kib));
  ::close(peer);
  SetNetWorkKeepLost(0);
  CloseNetHandle(h);
}
BENCHMARK(BM_NetWork_SendWithQueued)->Arg(1)->Arg(4)->Arg(16)->Iterations(4000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv, {{"BM_NetWork_FramedMessages", "BM_Plain_PosixSocketLoop"}}, "MB/s",
                       "plain POSIX loop");
}
