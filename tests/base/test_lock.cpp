#include "base/lockwaiter.h"
#include "engine/base/lock.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <atomic>

// Every test starts with an empty order list.
class EngineLock : public ::testing::Test {
 protected:
  void SetUp() override { g_order.clear(); }
};

TEST_F(EngineLock, WaitersAreServedInArrivalOrder) {
  LockEngine();
  Waiter w[3];
  for (int i = 0; i < 3; i++) StartQueued(&w[i], i + 1, i);
  UnlockEngine();
  for (Waiter& x : w) PlatThreadJoin(x.thread);
  EXPECT_EQ(g_order, (std::vector<int>{1, 2, 3}));
}

TEST_F(EngineLock, ReleaserThatRelocksWaitsBehindTheWokenWaiter) {
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

TEST_F(EngineLock, RecursiveTakesFreeAtDepthZero) {
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

TEST_F(EngineLock, UnpairedUnlockIsIgnored) {
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
