// The locked entry functions against the engine lock.
#include "base/lockwaiter.h"
#include "engine/engine.h"
#include "engine/state/state.h"
#include "engine/system/system.h"
#include "engine_start.h"

#include <gtest/gtest.h>

// Every test starts with an empty order list, and an engine that a test starts is ended
// after it.
class LockedEntry : public EngineStart {
 protected:
  void SetUp() override {
    EngineStart::SetUp();
    g_order.clear();
  }
};

TEST_F(LockedEntry, ThreadQueuedDuringEndIsServedAfterIt) {
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

TEST_F(LockedEntry, WrappersSkipTheLockWhenThereIsNothingToDo) {
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
