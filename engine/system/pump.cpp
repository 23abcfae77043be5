// The message pump, the wait while the window is inactive, and the window teardown.
#include "engine/base/lock.h"
#include "engine/graphics/services.h"
#include "engine/movie/services.h"
#include "engine/sound/services.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/calls.h"
#include "engine/system/system.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/osinfo.h"

namespace {

// At most this many messages per pass; the end flag is looked at between passes.
constexpr int kMessagesPerPass = 5;

bool TakeMessage(PlatWnd window, PlatMsg* msg) {
  if (PlatPeekMessage(msg, 0, 0, 0, PLAT_PM_NOREMOVE)) return PlatPeekMessage(msg, 0, 0, 0, PLAT_PM_REMOVE);
  return PlatPeekMessage(msg, PLAT_WND_THREAD, 0, 0, PLAT_PM_REMOVE) ||
         PlatPeekMessage(msg, window, 0, 0, PLAT_PM_REMOVE);
}

void RunInactiveServices() {
  g_SystemCalls.pumpNetworkMessages(1);
  g_SystemCalls.stepAllHttpSlots();
  g_SoundServices.refillAllStreamSounds();
  g_MovieServices.drawAllScreenMovies();
  PlatSleep(1);
}

int PumpLocked() {
  SystemData& s = g_System;
  if (s.keyInputGuard == 1) return 0;
  const PlatWnd window = GetEngineWindowHandle();
  if (!window) return IsEndRequested() ? -1 : 0;

  const bool onMainThread = PlatThreadId() == s.mainThreadId;
  int idle = 0;
  int dispatched = 0;
  bool leave = false;
  while (!leave) {
    // While the window is inactive and no close is pending, the main thread stays.
    if ((IsClosePending() || IsWindowActive()) && (idle || IsEndRequested())) break;
    idle = 1;
    if (!IsWindowActive()) PlatSleep(1);
    PlatMsg msg;
    while (TakeMessage(window, &msg)) {
      if (msg.message == PLAT_WM_ACTIVATEAPP && IsWindowedMode())
        StoreFlag(s.windowActive, int32_t(msg.wParam & 0xFFFF));
      if (IsEndRequested()) {  // a message taken after the end is dropped
        leave = true;
        break;
      }
      if (msg.message == PLAT_WM_QUIT) StoreFlag(s.endRequested, 1);
      PlatTranslateMessage(&msg);
      PlatDispatchMessage(&msg);
      // The fifth message closes the pass without counting as work done.
      if (++dispatched == kMessagesPerPass) {
        dispatched = 0;
        break;
      }
      idle = 0;
    }
    if (leave) break;
    if (!IsWindowActive()) RunInactiveServices();
    if (IsEndRequested()) break;
    if (!onMainThread) break;  // another thread never waits for the window
  }

  if (onMainThread) g_SystemCalls.refreshFullScreenState();
  g_SoundServices.refillAllStreamSounds();
  g_SoundServices.updateMusicPlayStates();
  g_SystemCalls.servicePadVibration();
  g_SystemCalls.pumpNetworkMessages(1);
  g_SystemCalls.stepAllHttpSlots();
  s.keyInputGuard = 1;
  g_SystemCalls.updateKeyInput();
  s.keyInputGuard = 0;
  return IsEndRequested() ? -1 : 0;
}

}  // namespace

// The lock is taken here and not only by the locked entry: engine code pumps directly
// (input queries, waits), and the clock thread's pump must never run the services
// alongside the main thread's.
int PumpMessagesCore() {
  LockEngine();
  int result = PumpLocked();
  UnlockEngine();
  return result;
}

void WaitWhileInactive() {
  // Without a window nothing could ever activate it: waiting would never end.
  if (!GetEngineWindowHandle()) return;
  if (LoadFlag(g_System.painting) || IsWindowActive() || IsEngineEnding()) return;
  while (PumpMessagesCore() == 0 && !IsWindowActive()) {
  }
  g_GraphicsServices.restoreAllGraphSurfaces();
}

int DestroyMainWindow() {
  const PlatWnd window = GetEngineWindowHandle();
  if (!window) return 0;
  PlatSetScreenSaverActive(1);
  PlatEnableWindowIme(window, 1);
  g_SystemCalls.setMouseCursorVisible(1);
  if (!IsClosePending()) {
    StoreFlag(g_System.closePending, 1);
    PlatPostMessage(window, PLAT_WM_CLOSE, 0, 0);
  }
  while (PumpMessagesCore() == 0) {
  }
  PlatUnregisterClass(g_System.settings.className);
  g_SystemCalls.deleteAllKeyInputHandles();
  PlatTimerEndPeriod(PlatTimerMinPeriod());
  __atomic_store_n(&g_System.mainWindow, PlatWnd(0), __ATOMIC_RELAXED);
  return 0;
}
