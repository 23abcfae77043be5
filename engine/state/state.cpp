#include "engine/state/state.h"

#include "engine/state/sysdata.h"
#include "platform/display/display.h"

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

int IsEngineInitialised() { return LoadFlag(g_System.initialised); }
void SetEngineInitialisedForTest(int on) { StoreFlag(g_System.initialised, on ? 1 : 0); }

int GetDesktopSizeAndDepth(int32_t* width, int32_t* height, int32_t* depth) {
  int32_t w, h, d;
  if (IsEngineInitialised()) {
    w = g_System.desktopWidth;
    h = g_System.desktopHeight;
    d = g_System.desktopDepth;
  } else {
    PlatGetDesktopSize(&w, &h);
    d = PlatGetDesktopDepth();
  }
  if (width) *width = w;
  if (height) *height = h;
  if (depth) *depth = d;
  return 0;
}

int GetClientRectBelowToolbar(PlatRect* out) {
  if (out) *out = g_System.clientRectOnScreen;
  return 0;
}
