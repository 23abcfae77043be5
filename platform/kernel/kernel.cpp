#include "platform/kernel/kernel.h"

#include "platform/text/text.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>

#include <sys/sysinfo.h>
#include <sys/time.h>
#include <sys/resource.h>
#include <unistd.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace {

// All events share one mutex and one condition variable: waits must wake when the manual
// clock moves as well as when an event is set, and the engine has only a few threads.
std::mutex g_waitMutex;
std::condition_variable g_waitCond;

// One record per thread blocked in an event wait, linked while it waits (guarded by
// g_waitMutex), so that the count of waiters can leave out those already released.
struct WaitRecord {
  PlatEvent* const* events;
  int count;
  bool infinite;
  uint64_t deadlineNs;
  WaitRecord* next;
};
WaitRecord* g_waits = nullptr;

struct ClockState {
  std::atomic<int> manual{0};
  std::atomic<uint64_t> manualNs{0};
};
ClockState g_clock;

uint64_t RealMonotonicNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

uint64_t NowNs() {
  return g_clock.manual.load() ? g_clock.manualNs.load() : RealMonotonicNs();
}

std::atomic<const PlatMachineHooks*> g_machineHooks{nullptr};

// The hook's answer when there is a hook for the call and it gives one.
template <typename... Args>
bool Hooked(int (*PlatMachineHooks::*entry)(Args...), std::type_identity_t<Args>... args) {
  const PlatMachineHooks* hooks = g_machineHooks.load(std::memory_order_acquire);
  return hooks && hooks->*entry && (hooks->*entry)(args...) != 0;
}

}  // namespace

void PlatSetMachineHooks(const PlatMachineHooks* hooks) {
  g_machineHooks.store(hooks, std::memory_order_release);
}

const PlatMachineHooks* PlatGetMachineHooks() {
  return g_machineHooks.load(std::memory_order_acquire);
}

// ---- clocks -------------------------------------------------------------------------

uint32_t PlatTimeMs() { return uint32_t(NowNs() / 1000000ull); }

int64_t PlatPerfCounter() {
  int64_t answer;
  if (Hooked(&PlatMachineHooks::perfCounter, &answer)) return answer;
  return int64_t(NowNs() & 0x7FFFFFFFFFFFFFFFull);
}

int64_t PlatPerfFrequency() {
  int64_t answer;
  if (Hooked(&PlatMachineHooks::perfFrequency, &answer)) return answer;
  return 1000000000;
}

void PlatClockSetManual(int on, uint32_t startMs) {
  {
    std::lock_guard<std::mutex> lock(g_waitMutex);
    g_clock.manualNs = uint64_t(startMs) * 1000000ull;
    g_clock.manual = on ? 1 : 0;
  }
  g_waitCond.notify_all();
}

int PlatClockIsManual() { return g_clock.manual.load(); }

void PlatClockAdvanceNs(uint64_t ns) {
  {
    std::lock_guard<std::mutex> lock(g_waitMutex);
    g_clock.manualNs += ns;
  }
  g_waitCond.notify_all();
}

void PlatClockAdvance(uint32_t ms) { PlatClockAdvanceNs(uint64_t(ms) * 1000000ull); }

void PlatSleep(uint32_t ms) {
  if (g_clock.manual.load()) {
    if (ms != 0) PlatClockAdvance(ms);
    std::this_thread::yield();
    return;
  }
  if (ms == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// ---- threads ------------------------------------------------------------------------

namespace {
std::atomic<uint32_t> g_nextThreadId{1};
thread_local uint32_t t_threadId = 0;
}  // namespace

uint32_t PlatThreadId() {
  if (t_threadId == 0) {
    uint32_t id = g_nextThreadId.fetch_add(1);
    if (id == 0 || id == 0xFFFFFFFFu) id = g_nextThreadId.fetch_add(2);
    t_threadId = id;
  }
  return t_threadId;
}

struct PlatThread {
  std::thread thread;
  std::atomic<uint32_t> id{0};
  PlatThreadFunc fn;
  void* arg;
};

PlatThread* PlatThreadStart(PlatThreadFunc fn, void* arg) {
  if (!fn) return nullptr;
  PlatThread* t = new (std::nothrow) PlatThread;
  if (!t) return nullptr;
  t->fn = fn;
  t->arg = arg;
  try {
    t->thread = std::thread([t] {
      t->id = PlatThreadId();
      t->fn(t->arg);
    });
  } catch (...) {
    delete t;
    return nullptr;
  }
  return t;
}

void PlatThreadJoin(PlatThread* thread) {
  if (!thread) return;
  if (thread->thread.joinable()) thread->thread.join();
  delete thread;
}

uint32_t PlatThreadGetId(PlatThread* thread) { return thread ? thread->id.load() : 0; }

// ---- events -------------------------------------------------------------------------

struct PlatEvent {
  int manualReset;
  int signaled;
};

PlatEvent* PlatEventCreate(int manualReset, int initialState) {
  PlatEvent* e = new (std::nothrow) PlatEvent;
  if (!e) return nullptr;
  e->manualReset = manualReset ? 1 : 0;
  e->signaled = initialState ? 1 : 0;
  return e;
}

void PlatEventDestroy(PlatEvent* event) {
  if (!event) return;
  std::lock_guard<std::mutex> lock(g_waitMutex);
  delete event;
}

void PlatEventSet(PlatEvent* event) {
  if (!event) return;
  {
    std::lock_guard<std::mutex> lock(g_waitMutex);
    event->signaled = 1;
  }
  g_waitCond.notify_all();
}

void PlatEventReset(PlatEvent* event) {
  if (!event) return;
  std::lock_guard<std::mutex> lock(g_waitMutex);
  event->signaled = 0;
}

int PlatEventWait(PlatEvent* event, uint32_t timeoutMs) {
  return PlatEventWaitAny(&event, 1, timeoutMs);
}

namespace {

int WaitAny(PlatEvent* const* events, int count, bool poll, bool infinite, uint64_t deadlineNs);

}  // namespace

int PlatEventWaitAny(PlatEvent* const* events, int count, uint32_t timeoutMs) {
  if (timeoutMs == 0 || timeoutMs == PLAT_INFINITE) return WaitAny(events, count, timeoutMs == 0, timeoutMs != 0, 0);
  // The deadline is kept on whichever clock is running when the wait starts; a test that
  // switches clocks in the middle of a wait re-evaluates on the next wake-up.
  return WaitAny(events, count, false, false, NowNs() + uint64_t(timeoutMs) * 1000000ull);
}

int PlatEventWaitUntil(PlatEvent* event, int64_t deadlineNs) {
  return WaitAny(&event, 1, false, false, deadlineNs < 0 ? 0 : uint64_t(deadlineNs));
}

namespace {

int WaitAny(PlatEvent* const* events, int count, bool poll, bool infinite, uint64_t deadlineNs) {
  if (!events || count <= 0) return PLAT_WAIT_FAILED;
  for (int i = 0; i < count; i++)
    if (!events[i]) return PLAT_WAIT_FAILED;

  std::unique_lock<std::mutex> lock(g_waitMutex);
  auto takeSignaled = [&]() -> int {
    for (int i = 0; i < count; i++) {
      if (events[i]->signaled) {
        if (!events[i]->manualReset) events[i]->signaled = 0;
        return i;
      }
    }
    return -1;
  };

  int index = takeSignaled();
  if (index >= 0) return index;
  if (poll || (!infinite && NowNs() >= deadlineNs)) return PLAT_WAIT_TIMEOUT;

  struct Registered {
    WaitRecord record;
    Registered(PlatEvent* const* events, int count, bool infinite, uint64_t deadlineNs)
        : record{events, count, infinite, deadlineNs, g_waits} {
      g_waits = &record;
    }
    ~Registered() {
      for (WaitRecord** p = &g_waits; *p; p = &(*p)->next) {
        if (*p == &record) {
          *p = record.next;
          break;
        }
      }
    }
  } registered(events, count, infinite, deadlineNs);
  for (;;) {
    if (infinite) {
      g_waitCond.wait(lock);
    } else if (g_clock.manual.load()) {
      if (g_clock.manualNs.load() >= deadlineNs) return PLAT_WAIT_TIMEOUT;
      g_waitCond.wait(lock);
    } else {
      uint64_t now = RealMonotonicNs();
      if (now >= deadlineNs) return PLAT_WAIT_TIMEOUT;
      g_waitCond.wait_for(lock, std::chrono::nanoseconds(deadlineNs - now));
    }
    index = takeSignaled();
    if (index >= 0) return index;
    if (!infinite && NowNs() >= deadlineNs) return PLAT_WAIT_TIMEOUT;
  }
}

}  // namespace

int PlatWaitingThreadCount() {
  std::lock_guard<std::mutex> lock(g_waitMutex);
  const uint64_t now = NowNs();
  int n = 0;
  for (const WaitRecord* w = g_waits; w; w = w->next) {
    if (!w->infinite && now >= w->deadlineNs) continue;
    bool released = false;
    for (int i = 0; i < w->count && !released; i++) released = w->events[i]->signaled != 0;
    if (!released) n++;
  }
  return n;
}

void PlatWaitForWaiters(int count) {
  while (PlatWaitingThreadCount() < count) std::this_thread::yield();
}

// ---- mutexes ------------------------------------------------------------------------

struct PlatMutex {
  int recursive;
  std::mutex plain;
  std::recursive_mutex rec;
};

PlatMutex* PlatMutexCreate(int recursive) {
  PlatMutex* m = new (std::nothrow) PlatMutex;
  if (m) m->recursive = recursive ? 1 : 0;
  return m;
}

void PlatMutexDestroy(PlatMutex* mutex) { delete mutex; }

void PlatMutexLock(PlatMutex* mutex) {
  if (!mutex) return;
  if (mutex->recursive)
    mutex->rec.lock();
  else
    mutex->plain.lock();
}

int PlatMutexTryLock(PlatMutex* mutex) {
  if (!mutex) return 0;
  return (mutex->recursive ? mutex->rec.try_lock() : mutex->plain.try_lock()) ? 1 : 0;
}

void PlatMutexUnlock(PlatMutex* mutex) {
  if (!mutex) return;
  if (mutex->recursive)
    mutex->rec.unlock();
  else
    mutex->plain.unlock();
}

// ---- heap ---------------------------------------------------------------------------

namespace {
std::atomic<PlatAllocFailHook> g_allocFailHook{nullptr};
}

void* PlatHeapAlloc(size_t size) {
  PlatAllocFailHook hook = g_allocFailHook.load();
  if (hook && hook(size)) return nullptr;
  return std::malloc(size ? size : 1);
}

bool PlatHeapFreeMapped(void* block);  // mappedheap.cpp

void PlatHeapFree(void* block) {
  if (!PlatHeapFreeMapped(block)) std::free(block);
}

int PlatHeapRefused(size_t size) {
  PlatAllocFailHook hook = g_allocFailHook.load();
  return hook && hook(size);
}

void PlatSetAllocFailHook(PlatAllocFailHook hook) { g_allocFailHook = hook; }

// ---- debugger output ----------------------------------------------------------------

namespace {
std::mutex g_debugMutex;
PlatDebugSink g_debugSink = nullptr;
void* g_debugContext = nullptr;

// On the original platform the debugger output is seen only under a debugger: ours reaches
// the terminal only when a tracer is attached or the user asks (KR_DEBUG_OUTPUT=1). Log.txt
// has every line either way. Asked again each time, as a debugger may attach at any moment.
bool DebugOutputWatched() {
  const char* asked = PlatGetEnv("KR_DEBUG_OUTPUT");
  if (asked && std::strcmp(asked, "1") == 0) return true;
  FILE* status = std::fopen("/proc/self/status", "r");
  if (!status) return false;
  char line[256];
  long tracer = 0;
  while (std::fgets(line, sizeof line, status))
    if (std::sscanf(line, "TracerPid: %ld", &tracer) == 1) break;
  std::fclose(status);
  return tracer != 0;
}

void WriteStderr(const char* sjisText) {
  std::string utf8;
  PlatSjisToUtf8(sjisText, std::char_traits<char>::length(sjisText), &utf8);
  std::fwrite(utf8.data(), 1, utf8.size(), stderr);
}
}  // namespace

void PlatSetDebugSink(PlatDebugSink sink, void* context) {
  std::lock_guard<std::mutex> lock(g_debugMutex);
  g_debugSink = sink;
  g_debugContext = context;
}

void PlatDebugOutput(const char* sjisText) {
  if (!sjisText) return;
  PlatDebugSink sink;
  void* context;
  {
    std::lock_guard<std::mutex> lock(g_debugMutex);
    sink = g_debugSink;
    context = g_debugContext;
  }
  if (sink) {
    sink(sjisText, context);
    return;
  }
  if (DebugOutputWatched()) WriteStderr(sjisText);
}

void PlatUserNotice(const char* sjisText) {
  if (sjisText) WriteStderr(sjisText);
}

// ---- machine facts ------------------------------------------------------------------

void PlatGetMemoryStatus(PlatMemoryStatus* status) {
  if (!status) return;
  *status = PlatMemoryStatus{};
  if (Hooked(&PlatMachineHooks::memoryStatus, status)) return;
  struct sysinfo si;
  if (sysinfo(&si) == 0) {
    uint64_t unit = si.mem_unit ? si.mem_unit : 1;
    status->totalPhys = uint64_t(si.totalram) * unit;
    status->availPhys = uint64_t(si.freeram + si.bufferram) * unit;
    status->totalPageFile = uint64_t(si.totalswap) * unit + status->totalPhys;
    status->availPageFile = uint64_t(si.freeswap) * unit + status->availPhys;
    if (status->totalPhys)
      status->loadPercent =
          uint32_t(100 - (status->availPhys * 100) / status->totalPhys);
  }
  // A process's address space: what the user half of a 64-bit space offers.
  status->totalVirtual = 0x7FFFFFFEFFFFull;
  status->availVirtual = status->totalVirtual;
  struct rlimit rl;
  if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
    status->totalVirtual = rl.rlim_cur;
    status->availVirtual = rl.rlim_cur;
  }
}

void PlatCpuid(uint32_t leaf, uint32_t regs[4]) {
  regs[0] = regs[1] = regs[2] = regs[3] = 0;
  if (Hooked(&PlatMachineHooks::cpuid, leaf, regs)) return;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a, b, c, d;
  if (unsigned(__get_cpuid_max(leaf & 0x80000000u, nullptr)) < leaf) return;
  __cpuid_count(leaf, 0, a, b, c, d);
  regs[0] = a;
  regs[1] = b;
  regs[2] = c;
  regs[3] = d;
#else
  (void)leaf;
#endif
}

uint64_t PlatReadTsc() {
  uint64_t answer;
  if (Hooked(&PlatMachineHooks::readTsc, &answer)) return answer;
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  return 0;
#endif
}

int PlatProcessorCount() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? int(n) : 1;
}

void PlatGetLocalTime(PlatDateTime* out) {
  if (!out) return;
  time_t seconds;
  int ms;
  if (g_clock.manual.load()) {
    // A fixed local date (2026-01-01 00:00:00) moved on by the manual time.
    uint64_t ns = g_clock.manualNs.load();
    struct tm base = {};
    base.tm_year = 2026 - 1900;
    base.tm_mon = 0;
    base.tm_mday = 1;
    base.tm_isdst = -1;
    seconds = mktime(&base) + time_t(ns / 1000000000ull);
    ms = int((ns / 1000000ull) % 1000);
  } else {
    timeval tv;
    gettimeofday(&tv, nullptr);
    seconds = tv.tv_sec;
    ms = int(tv.tv_usec / 1000);
  }
  PlatSecondsToLocalTime(int64_t(seconds), out);
  out->milliseconds = ms;
}

void PlatSecondsToLocalTime(int64_t seconds, PlatDateTime* out) {
  if (!out) return;
  time_t t = time_t(seconds);
  struct tm lt = {};
  localtime_r(&t, &lt);
  out->year = lt.tm_year + 1900;
  out->month = lt.tm_mon + 1;
  out->day = lt.tm_mday;
  out->hour = lt.tm_hour;
  out->minute = lt.tm_min;
  out->second = lt.tm_sec;
  out->milliseconds = 0;
  out->dayOfWeek = lt.tm_wday;
}

const char* PlatGetEnv(const char* name) { return name ? std::getenv(name) : nullptr; }

namespace {
std::atomic<void (*)()> g_exitHook{nullptr};
}

void PlatSetExitHook(void (*hook)()) { g_exitHook = hook; }

void PlatExitProcess(int exitCode) {
  if (void (*hook)() = g_exitHook.load()) hook();
  std::fflush(nullptr);
  _exit(exitCode & 0xFF);
}
