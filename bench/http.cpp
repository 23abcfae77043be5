// An HTTP download of 1 GiB from a peer on 127.0.0.1 that sends as fast as loopback takes
// it: the time of every message-pump call while the download runs (the longest, the
// median, the count of calls over 10 ms, and the most page faults one call took), into
// memory and into a file, beside a plain POSIX receive loop over the same bytes (the
// physical limit of the socket path). Each call is timed twice: on the wall clock, and on
// the calling thread's processor clock, which leaves out the time the thread waited for a
// processor on a loaded machine. A plain loop that writes 1 GiB into a new block a round's
// share at a time shows what the machine's page faults alone cost each step.
#include "engine/base/memory.h"
#include "engine/state/sysdata.h"
#include "engine/system/http.h"
#include "engine/system/network.h"
#include "engine/system/system.h"
#include "engine/system/wndproc.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"
#include "ratio.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t kBodyBytes = int64_t(1) << 30;
constexpr int kSendBlock = 1 << 20;
// A download that has not ended by then is stopped: the peer and the case end by
// themselves whatever happens.
constexpr double kGiveUpSeconds = 120;

// Seconds since a reading of the performance counter (<chrono> does not build with the
// Shift-JIS literals).
double Since(int64_t start) { return double(PlatPerfCounter() - start) / double(PlatPerfFrequency()); }

// The page faults the calling thread has taken: a first write to a fresh page can hold a
// virtual machine's guest for tens of milliseconds while its host backs the page, so a
// pump call should take none.
long PageFaults() {
  rusage r{};
  getrusage(RUSAGE_THREAD, &r);
  return r.ru_minflt + r.ru_majflt;
}

double ThreadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// A one-shot server: takes one connection, reads the request's header, answers 200 with
// a 1 GiB body and closes. Its sends time out, so a client that stops reading ends it.
class FloodServer {
 public:
  int port = 0;

  bool Start() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 1) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return false;
    port = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  ~FloodServer() {
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
  }

 private:
  void Serve() {
    const timeval limit{10, 0};
    setsockopt(listenFd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, size_t(n));
    }
    const std::string header = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(kBodyBytes) + "\r\n\r\n";
    bool ok = ::send(fd, header.data(), header.size(), MSG_NOSIGNAL) == ssize_t(header.size());
    const std::vector<char> block(kSendBlock, 'f');
    for (int64_t sent = 0; ok && sent < kBodyBytes;) {
      const ssize_t n = ::send(fd, block.data(), size_t(std::min<int64_t>(kSendBlock, kBodyBytes - sent)),
                               MSG_NOSIGNAL);
      ok = n > 0;
      sent += n;
    }
    ::close(fd);
  }

  int listenFd_ = -1;
  std::thread thread_;
};

bool Up() {
  static bool up = false;
  if (up) return true;
  PlatWindowSelectBackend("headless");
  PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  PlatRegisterClass(&wc);
  const PlatWnd window = PlatCreateWindow(0x300, "D123987X", "Kestr", 0x80CA0000, 0, 0, 650, 510);
  g_System.settings.windowed = 1;
  g_System.mainWindow = window;
  g_System.mainThreadId = PlatThreadId();
  g_System.windowActive = 1;
  if (InitNetwork() != 0) return false;
  ClearHttpTable();
  up = true;
  return true;
}

// The rate, and the longest and median call (or step) and the count over 10 ms, on the
// wall clock and on the thread's processor clock.
void Report(benchmark::State& state, double seconds, std::vector<double>& calls, std::vector<double>& work) {
  std::sort(calls.begin(), calls.end());
  std::sort(work.begin(), work.end());
  auto over10 = [](const std::vector<double>& ms) {
    return double(std::count_if(ms.begin(), ms.end(), [](double m) { return m > 10; }));
  };
  state.counters["MB/s"] = double(kBodyBytes) * double(state.iterations()) / seconds / 1e6;
  state.counters["calls"] = double(calls.size()) / double(state.iterations());
  state.counters["longest ms"] = calls.empty() ? 0 : calls.back();
  state.counters["median ms"] = calls.empty() ? 0 : calls[calls.size() / 2];
  state.counters["over 10 ms"] = over10(calls);
  state.counters["cpu longest ms"] = work.empty() ? 0 : work.back();
  state.counters["cpu median ms"] = work.empty() ? 0 : work[work.size() / 2];
  state.counters["cpu over 10 ms"] = over10(work);
}

// One whole download per iteration, every pump call timed.
void Download(benchmark::State& state, int destination) {
  if (!Up()) return state.SkipWithError("no network");
  const std::string file = PlatTempDirectory() + "/kr_bench_http_" + std::to_string(::getpid());
  std::vector<double> calls, work;
  double seconds = 0;
  bool whole = true;
  long mostFaults = 0;
  for (auto _ : state) {
    FloodServer server;
    if (!server.Start()) return state.SkipWithError("no server");
    void* body = nullptr;
    const int slot = StartHttpRequest(HTTP_GET, "127.0.0.1", server.port, "/", destination, file.c_str(), &body,
                                      nullptr, 0);
    if (slot < 0) return state.SkipWithError("no request");
    const int64_t start = PlatPerfCounter();
    while (GetHttpSlot(slot)->result == -1 && Since(start) < kGiveUpSeconds) {
      const long faults = PageFaults();
      const int64_t call = PlatPerfCounter();
      const double cpu = ThreadMs();
      PumpMessagesCore();
      const double cpuMs = ThreadMs() - cpu;
      const double wallMs = Since(call) * 1e3;
      mostFaults = std::max(mostFaults, PageFaults() - faults);
      work.push_back(cpuMs);
      calls.push_back(wallMs);
    }
    seconds += Since(start);
    whole = whole && GetHttpSlot(slot)->result == 0 && GetHttpSlot(slot)->received == kBodyBytes;
    TrackedFree(body);
    DeleteHttpSlot(slot);
  }
  ::unlink(file.c_str());
  if (!whole) state.SkipWithError("the download did not end whole");
  Report(state, seconds, calls, work);
  state.counters["most faults"] = double(mostFaults);
}

void BM_Http_FloodIntoMemory(benchmark::State& state) { Download(state, HTTP_TO_MEMORY); }
BENCHMARK(BM_Http_FloodIntoMemory)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

void BM_Http_FloodIntoFile(benchmark::State& state) { Download(state, HTTP_TO_FILE); }
BENCHMARK(BM_Http_FloodIntoFile)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// The floor of a memory body: 1 GiB written into a new block in steps of a round's share,
// each step timed as a pump call is.
void BM_Plain_FreshMemorySteps(benchmark::State& state) {
  std::vector<double> steps, work;
  double seconds = 0;
  for (auto _ : state) {
    char* block = static_cast<char*>(std::malloc(size_t(kBodyBytes)));
    if (!block) return state.SkipWithError("no memory");
    const int64_t start = PlatPerfCounter();
    for (int64_t at = 0; at < kBodyBytes; at += HTTP_BYTES_PER_ROUND) {
      const int64_t step = PlatPerfCounter();
      const double cpu = ThreadMs();
      std::memset(block + at, int(at), HTTP_BYTES_PER_ROUND);
      benchmark::ClobberMemory();
      work.push_back(ThreadMs() - cpu);
      steps.push_back(Since(step) * 1e3);
    }
    seconds += Since(start);
    std::free(block);
  }
  Report(state, seconds, steps, work);
}
BENCHMARK(BM_Plain_FreshMemorySteps)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

// The same answer taken by a plain blocking receive loop.
void BM_Plain_PosixReceive(benchmark::State& state) {
  double seconds = 0;
  std::vector<char> buffer(1 << 20);
  for (auto _ : state) {
    FloodServer server;
    if (!server.Start()) return state.SkipWithError("no server");
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(server.port));
    const timeval limit{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return state.SkipWithError("no connect");
    const int64_t start = PlatPerfCounter();
    const char request[] = "GET / HTTP/1.0\r\n\r\n";
    ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL);
    int64_t got = 0;
    for (ssize_t n; (n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;) got += n;
    seconds += Since(start);
    ::close(fd);
    benchmark::DoNotOptimize(got);
  }
  state.counters["MB/s"] = double(kBodyBytes) * double(state.iterations()) / seconds / 1e6;
}
BENCHMARK(BM_Plain_PosixReceive)->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Http_FloodIntoMemory/iterations:1/repeats:3", "BM_Plain_PosixReceive/iterations:1/repeats:3"},
                        {"BM_Http_FloodIntoMemory/iterations:1/repeats:3",
                         "BM_Plain_FreshMemorySteps/iterations:1/repeats:3"},
                        {"BM_Http_FloodIntoFile/iterations:1/repeats:3", "BM_Plain_PosixReceive/iterations:1/repeats:3"}},
                       "MB/s", "plain POSIX receive loop");
}
