#include "engine/system/state.h"

#include "engine/base/strutil.h"
#include "engine/system/sysdata.h"

SystemData g_System;

uint32_t IsEndRequested() { return uint32_t(LoadFlag(g_System.endRequested)); }
uint32_t IsWindowActive() { return uint32_t(LoadFlag(g_System.windowActive)); }
PlatWnd GetEngineWindowHandle() { return __atomic_load_n(&g_System.mainWindow, __ATOMIC_RELAXED); }
uint32_t IsWindowedMode() { return uint32_t(LoadFlag(g_System.settings.windowed)); }
uint32_t IsMmxUsable() { return uint32_t(g_System.settings.mmxUsable); }
uint32_t IsClosePending() { return uint32_t(LoadFlag(g_System.closePending)); }
uint32_t IsWindowRgnSet() { return 0; }
const char* GetOSVersionText() { return g_System.settings.osDescription; }
uint32_t IsMenuInUse() { return 0; }

double GetWindowScale() {
  if (g_System.settings.windowScale <= 0.0) g_System.settings.windowScale = 1.0;
  return IsWindowedMode() ? g_System.settings.windowScale : 1.0;
}

int SetMouseCursorVisible(int32_t visible) {
  g_System.cursorShown = visible;
  const int32_t show = visible == 1 ? 1 : 0;
  if (show == g_System.cursorState) return 0;
  if (show) {
    while (PlatShowCursor(1) < 0) {
    }
  } else {
    while (PlatShowCursor(0) >= 0) {
    }
  }
  PlatWnd window = GetEngineWindowHandle();
  PlatPostMessage(window, PLAT_WM_SETCURSOR, window, 0);
  g_System.cursorState = show;
  return 0;
}

int GetMousePosition(int32_t* x, int32_t* y) {
  PlatPoint p{};
  PlatGetCursorPos(&p);
  int32_t mx = p.x, my = p.y;
  if (IsWindowedMode()) {
    // Through GetWindowScale, which never leaves a scale of 0 to divide by.
    const double scale = GetWindowScale();
    mx = DoubleToInt(double(p.x - g_System.clientRectOnScreen.left) / scale);
    my = DoubleToInt(double(p.y - g_System.clientRectOnScreen.top) / scale);
  }
  if (x) *x = mx;
  if (y) *y = my;
  return 0;
}
