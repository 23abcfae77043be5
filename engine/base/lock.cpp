// Least body until the engine lock with its first-come-first-served queue lands: a
// recursive platform mutex that lives as long as the process.
#include "engine/base/lock.h"

#include "platform/kernel/kernel.h"

namespace {
PlatMutex* EngineMutex() {
  static PlatMutex* mutex = PlatMutexCreate(1);
  return mutex;
}
}  // namespace

void LockEngine() { PlatMutexLock(EngineMutex()); }
void UnlockEngine() { PlatMutexUnlock(EngineMutex()); }
