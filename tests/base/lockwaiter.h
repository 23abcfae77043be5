// Threads that queue on the engine lock and record the order in which they got it.
#pragma once

#include "engine/base/lock.h"
#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>

#include <vector>

// Each waiter appends its number while it holds the lock, so the order needs no guard
// of its own.
inline std::vector<int> g_order;

struct Waiter {
  int number;
  PlatThread* thread;
};

inline void TakeAndRecord(void* arg) {
  LockEngine();
  g_order.push_back(((Waiter*)arg)->number);
  UnlockEngine();
}

// Starts a thread that queues on the held lock and returns once it waits there.
inline void StartQueued(Waiter* w, int number, int waitersSoFar) {
  w->number = number;
  w->thread = PlatThreadStart(TakeAndRecord, w);
  ASSERT_NE(w->thread, nullptr);
  PlatWaitForWaiters(waitersSoFar + 1);
}
