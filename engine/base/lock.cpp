#include "engine/base/lock.h"

#include "platform/kernel/kernel.h"

#include <cstdint>

namespace {

constexpr int kQueueSize = 4096;
constexpr uint32_t kNoOwner = 0xFFFFFFFFu;

struct EngineLockQueueEntry {
  uint32_t threadId;
  PlatEvent* event;  // manual reset; each waiting thread waits on its own
};

struct EngineLockRecord {
  int32_t depth;
  int held;
  uint32_t owner;
  EngineLockQueueEntry queue[kQueueSize];  // waiting threads, head first
  int created;
  int32_t length;
  PlatMutex* guard;
};
EngineLockRecord g_engineLock;

// Creates the events and the guard on first use, once for the whole process (the
// creation is thread-safe, so no caller has to be first).
EngineLockRecord& EngineLockState() {
  static const int created = [] {
    EngineLockRecord& l = g_engineLock;
    for (int i = 0; i < kQueueSize; i++) {
      l.queue[i].threadId = 0;
      l.queue[i].event = PlatEventCreate(1, 0);
    }
    l.guard = PlatMutexCreate(0);
    l.created = 1;
    return 1;
  }();
  (void)created;
  return g_engineLock;
}

// Removes the head entry; its event goes to the entry freed at the tail.
void LeaveQueue(EngineLockRecord& l) {
  PlatEvent* headEvent = l.queue[0].event;
  for (int i = 1; i < l.length; i++) l.queue[i - 1] = l.queue[i];
  l.queue[l.length - 1].threadId = 0;
  l.queue[l.length - 1].event = headEvent;
  l.length--;
}

}  // namespace

void LockEngine() {
  EngineLockRecord& l = EngineLockState();
  const uint32_t me = PlatThreadId();
  for (;;) {
    PlatMutexLock(l.guard);
    bool take = false;
    if (l.held) {
      take = l.owner == me;
    } else if (l.length == 0 || l.owner == me) {
      take = true;
    } else if (l.queue[0].threadId == me) {
      LeaveQueue(l);
      take = true;
    }
    if (take) {
      l.depth++;
      l.held = 1;
      l.owner = me;
      PlatMutexUnlock(l.guard);
      return;
    }
    if (l.length == kQueueSize) {
      PlatMutexUnlock(l.guard);
      PlatSleep(1);
      continue;
    }
    PlatEvent* event = l.queue[l.length].event;
    l.queue[l.length].threadId = me;
    l.length++;
    PlatMutexUnlock(l.guard);
    PlatEventWait(event, PLAT_INFINITE);
    PlatEventReset(event);
  }
}

void UnlockEngine() {
  EngineLockRecord& l = EngineLockState();
  PlatEvent* wake = nullptr;
  PlatMutexLock(l.guard);
  if (l.depth <= 0) {
    PlatMutexUnlock(l.guard);
    return;
  }
  if (l.depth == 1) {
    l.held = 0;
    l.owner = kNoOwner;
    if (l.length >= 1) wake = l.queue[0].event;
  }
  l.depth--;
  PlatMutexUnlock(l.guard);
  if (wake) {
    // The head cannot leave the queue before this event is set, so it is still its own.
    PlatEventSet(wake);
    PlatSleep(0);
  }
}

void DestroyEngineLock() {
  // Nothing is freed: a thread that queued while the end sequence ran is woken by the
  // end sequence's release and must still find its event and the guard in place.
}
