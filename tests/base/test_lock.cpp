#include "engine/base/lock.h"
#include "engine/system/system.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

// Each waiter appends its number while it holds the lock, so the order needs no guard
// of its own.
std::vector<int> g_order;

struct Waiter {
  int number;
  PlatThread* thread;
};

void TakeAndRecord(void* arg) {
  LockEngine();
  g_order.push_back(((Waiter*)arg)->number);
  UnlockEngine();
}

// Starts a thread that queues on the held lock and returns once it waits there.
void StartQueued(Waiter* w, int number, int waitersSoFar) {
  w->number = number;
  w->thread = PlatThreadStart(TakeAndRecord, w);
  ASSERT_NE(w->thread, nullptr);
  PlatWaitForWaiters(waitersSoFar + 1);
}

}  // namespace

TEST(EngineLock, WaitersAreServedInArrivalOrder) {
  LockEngine();
  Waiter w[3];
  for (int i = 0; i < 3; i++) StartQueued(&w[i], i + 1, i);
  UnlockEngine();
  for (Waiter& x : w) PlatThreadJoin(x.thread);
  EXPECT_EQ(g_order, (std::vector<int>{1, 2, 3}));
}

TEST(EngineLock, ReleaserThatRelocksWaitsBehindTheWokenWaiter) {
  LockEngine();
  Waiter w;
  StartQueued(&w, 1, 0);
  UnlockEngine();
  LockEngine();
  g_order.push_back(0);
  UnlockEngine();
  PlatThreadJoin(w.thread);
  EXPECT_EQ(g_order, (std::vector<int>{1, 0}));
}

TEST(EngineLock, RecursiveTakesFreeAtDepthZero) {
  LockEngine();
  LockEngine();
  Waiter w;
  StartQueued(&w, 1, 0);
  UnlockEngine();
  EXPECT_EQ(PlatWaitingThreadCount(), 1);
  EXPECT_TRUE(g_order.empty());
  UnlockEngine();
  PlatThreadJoin(w.thread);
  EXPECT_EQ(g_order, (std::vector<int>{1}));
}

TEST(EngineLock, UnpairedUnlockIsIgnored) {
  UnlockEngine();
  UnlockEngine();
  LockEngine();
  UnlockEngine();
  // Had the stray releases counted, the lock would still be held here and this would
  // never finish.
  Waiter w{1, nullptr};
  w.thread = PlatThreadStart(TakeAndRecord, &w);
  PlatThreadJoin(w.thread);
  EXPECT_EQ(g_order, (std::vector<int>{1}));
}

TEST(EngineLock, ThreadQueuedDuringEndIsServedAfterIt) {
  SetEngineInitialisedForTest(1);
  LockEngine();
  Waiter w;
  StartQueued(&w, 1, 0);
  EXPECT_EQ(EngineEnd(), 0);  // takes the lock again, releases it and ends the lock
  UnlockEngine();             // wakes the waiter, whose event must still exist
  PlatThreadJoin(w.thread);
  EXPECT_EQ(g_order, (std::vector<int>{1}));
  EXPECT_EQ(PumpMessages(), 0);
}

namespace {
PlatEvent* g_release;
void HoldUntilReleased(void*) {
  LockEngine();
  PlatEventWait(g_release, PLAT_INFINITE);
  UnlockEngine();
}
}  // namespace

TEST(EngineLock, WrappersSkipTheLockWhenThereIsNothingToDo) {
  g_release = PlatEventCreate(1, 0);
  PlatThread* holder = PlatThreadStart(HoldUntilReleased, nullptr);
  PlatWaitForWaiters(1);
  // The lock is held elsewhere: these return at once only because they leave it alone.
  SetEngineInitialisedForTest(1);
  EXPECT_EQ(EngineInit(), 0);
  SetEngineInitialisedForTest(0);
  EXPECT_EQ(EngineEnd(), 0);
  PlatEventSet(g_release);
  PlatThreadJoin(holder);
  PlatEventDestroy(g_release);

  EXPECT_EQ(EngineInit(), 0);
  EXPECT_EQ(PumpMessages(), 0);
}
