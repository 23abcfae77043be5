#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct ManualClock : ::testing::Test {
  void SetUp() override { PlatClockSetManual(1, 1000); }
  void TearDown() override { PlatClockSetManual(0); }
};

struct Waiter {
  PlatEvent* event;
  uint32_t timeout;
  std::atomic<int> result{-100};
};

void WaitThread(void* arg) {
  Waiter* w = static_cast<Waiter*>(arg);
  w->result = PlatEventWait(w->event, w->timeout);
}


}  // namespace

TEST_F(ManualClock, TimeMovesOnlyWhenMoved) {
  EXPECT_EQ(PlatTimeMs(), 1000u);
  EXPECT_EQ(PlatPerfCounter(), 1000000000);
  EXPECT_EQ(PlatPerfFrequency(), 1000000000);
  PlatClockAdvance(5);
  EXPECT_EQ(PlatTimeMs(), 1005u);
  PlatSleep(100);  // advances instead of waiting
  EXPECT_EQ(PlatTimeMs(), 1105u);
  PlatSleep(0);
  EXPECT_EQ(PlatTimeMs(), 1105u);
}

TEST_F(ManualClock, MillisecondClockWraps) {
  PlatClockSetManual(1, 0xFFFFFFFEu);
  PlatClockAdvance(3);
  EXPECT_EQ(PlatTimeMs(), 1u);
}

TEST_F(ManualClock, TimedWaitEndsWhenTheClockPassesTheDeadline) {
  PlatEvent* e = PlatEventCreate(1, 0);
  Waiter w{e, 100};
  PlatThread* t = PlatThreadStart(WaitThread, &w);
  PlatWaitForWaiters(1);
  PlatClockAdvance(99);
  for (int i = 0; i < 100; i++) PlatSleep(0);
  EXPECT_EQ(w.result.load(), -100);  // still waiting at 99 ms
  EXPECT_EQ(PlatWaitingThreadCount(), 1);
  PlatClockAdvance(1);
  PlatThreadJoin(t);
  EXPECT_EQ(w.result.load(), PLAT_WAIT_TIMEOUT);
  PlatEventDestroy(e);
}

// A deadline on the clock holds however late the wait begins: a thread that starts to
// wait after the clock passed it does not wait again from there.
TEST_F(ManualClock, AWaitUntilADeadlineEndsWhenTheClockReachesIt) {
  PlatEvent* e = PlatEventCreate(1, 0);
  const int64_t deadline = PlatPerfCounter() + 2500000;  // 2.5 ms on
  PlatClockAdvance(3);
  EXPECT_EQ(PlatEventWaitUntil(e, deadline), PLAT_WAIT_TIMEOUT);
  struct Until {
    PlatEvent* e;
    int64_t deadline;
    std::atomic<int> result{-100};
  } u{e, PlatPerfCounter() + 1500000};
  PlatThread* t = PlatThreadStart(
      [](void* arg) {
        Until* w = static_cast<Until*>(arg);
        w->result = PlatEventWaitUntil(w->e, w->deadline);
      },
      &u);
  PlatWaitForWaiters(1);
  PlatClockAdvance(1);
  for (int i = 0; i < 100; i++) PlatSleep(0);
  EXPECT_EQ(u.result.load(), -100);
  PlatClockAdvanceNs(500000);
  PlatThreadJoin(t);
  EXPECT_EQ(u.result.load(), PLAT_WAIT_TIMEOUT);
  PlatEventSet(e);
  EXPECT_EQ(PlatEventWaitUntil(e, deadline), PLAT_WAIT_SIGNALED);
  PlatEventDestroy(e);
}

TEST_F(ManualClock, TimedWaitEndsWhenSignalled) {
  PlatEvent* e = PlatEventCreate(0, 0);
  Waiter w{e, 100};
  PlatThread* t = PlatThreadStart(WaitThread, &w);
  PlatWaitForWaiters(1);
  PlatEventSet(e);
  PlatThreadJoin(t);
  EXPECT_EQ(w.result.load(), PLAT_WAIT_SIGNALED);
  // Auto reset: the wait consumed the signal.
  EXPECT_EQ(PlatEventWait(e, 0), PLAT_WAIT_TIMEOUT);
  PlatEventDestroy(e);
}

TEST(Kernel, EventsPollAndReset) {
  PlatEvent* manual = PlatEventCreate(1, 1);
  EXPECT_EQ(PlatEventWait(manual, 0), PLAT_WAIT_SIGNALED);
  EXPECT_EQ(PlatEventWait(manual, 0), PLAT_WAIT_SIGNALED);  // stays set
  PlatEventReset(manual);
  EXPECT_EQ(PlatEventWait(manual, 0), PLAT_WAIT_TIMEOUT);
  EXPECT_EQ(PlatEventWait(nullptr, 0), PLAT_WAIT_FAILED);

  PlatEvent* two[2] = {PlatEventCreate(1, 0), PlatEventCreate(1, 1)};
  EXPECT_EQ(PlatEventWaitAny(two, 2, 0), 1);
  PlatEventSet(two[0]);
  EXPECT_EQ(PlatEventWaitAny(two, 2, 0), 0);
  for (PlatEvent* e : two) PlatEventDestroy(e);
  PlatEventDestroy(manual);
}

TEST(Kernel, ThreadIdsAreDistinctAndNonZero) {
  uint32_t mine = PlatThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_EQ(PlatThreadId(), mine);
  struct Arg {
    uint32_t id;
  } arg{0};
  PlatThread* t = PlatThreadStart([](void* a) { static_cast<Arg*>(a)->id = PlatThreadId(); }, &arg);
  PlatThreadJoin(t);
  EXPECT_NE(arg.id, 0u);
  EXPECT_NE(arg.id, mine);
}

TEST(Kernel, RecursiveMutexReenters) {
  PlatMutex* m = PlatMutexCreate(1);
  PlatMutexLock(m);
  EXPECT_EQ(PlatMutexTryLock(m), 1);
  PlatMutexUnlock(m);
  PlatMutexUnlock(m);
  PlatMutexDestroy(m);
}

TEST(Kernel, AllocFailHookRefusesRequests) {
  PlatSetAllocFailHook([](size_t size) { return size == 12345 ? 1 : 0; });
  EXPECT_EQ(PlatHeapAlloc(12345), nullptr);
  void* p = PlatHeapAlloc(16);
  EXPECT_NE(p, nullptr);
  PlatHeapFree(p);
  PlatSetAllocFailHook(nullptr);
}

TEST(Kernel, DebugOutputGoesToTheSink) {
  std::string got;
  PlatSetDebugSink([](const char* text, void* ctx) { *static_cast<std::string*>(ctx) += text; }, &got);
  PlatDebugOutput("abc\x83\x8D");
  PlatSetDebugSink(nullptr, nullptr);
  EXPECT_EQ(got, "abc\x83\x8D");
}

// The terminal shows the debugger output only when asked, or while a debugger listens.
TEST(Kernel, DebugOutputReachesStderrOnlyWhenWatched) {
  std::ifstream status("/proc/self/status");
  std::string line;
  bool traced = false;
  while (std::getline(status, line))
    if (line.rfind("TracerPid:", 0) == 0) traced = std::stol(line.substr(10)) != 0;
  struct Case {
    const char* asked;
    bool shown;
  } cases[] = {{"1", true}, {"0", traced}, {nullptr, traced}};
  for (const Case& c : cases) {
    if (c.asked) setenv("KR_DEBUG_OUTPUT", c.asked, 1);
    else unsetenv("KR_DEBUG_OUTPUT");
    testing::internal::CaptureStderr();
    PlatDebugOutput("abc\x83\x8D\n");
    const std::string got = testing::internal::GetCapturedStderr();
    EXPECT_EQ(got, c.shown ? "abc\xe3\x83\xad\n" : "") << (c.asked ? c.asked : "unset");
  }
  unsetenv("KR_DEBUG_OUTPUT");
}

TEST(Kernel, MachineFacts) {
  PlatMemoryStatus m;
  PlatGetMemoryStatus(&m);
  EXPECT_GT(m.totalPhys, 0u);
  EXPECT_LE(m.availPhys, m.totalPhys);
  uint32_t regs[4];
  PlatCpuid(0, regs);
#if defined(__x86_64__)
  EXPECT_GT(regs[0], 0u);  // highest standard leaf
#endif
  PlatDateTime dt;
  PlatClockSetManual(1, 61500);
  PlatGetLocalTime(&dt);
  PlatClockSetManual(0);
  EXPECT_EQ(dt.year, 2026);
  EXPECT_EQ(dt.month, 1);
  EXPECT_EQ(dt.day, 1);
  EXPECT_EQ(dt.minute, 1);
  EXPECT_EQ(dt.second, 1);
  EXPECT_EQ(dt.milliseconds, 500);
}
