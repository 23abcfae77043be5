// The engine's graphics started for a benchmark: a window on the headless display with a
// desktop of the format given, DirectDraw or software-rendered, the back screen the target.
#pragma once

#include "engine/graphics/drawsettings.h"
#include "engine/graphics/services.h"
#include "engine/pixel/screen.h"
#include "engine/state/sysdata.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

inline PlatLResult BenchWindowProc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) {
  return PlatDefWindowProc(w, m, wp, lp);
}

// false when the window or the graphics would not start.
inline bool StartBenchGraphics(const PlatDisplayMode& desktop, bool software) {
  static PlatWnd window = [] {
    if (PlatWindowSelectBackend("headless") != 0) return PlatWnd(0);
    PlatWndClass wc{0, BenchWindowProc, PLAT_CURSOR_ARROW, "EngineBench"};
    if (PlatRegisterClass(&wc) != 1) return PlatWnd(0);
    return PlatCreateWindow(0, "EngineBench", "Kestr", 0x80CA0000, 0, 0, 640, 480);
  }();
  if (!window) return false;
  if (g_ScreenState.graphicsStarted) EndGraphics();
  PlatDisplayHeadlessSetDesktop(desktop, 0);
  g_ScreenState.softwareRender = software ? 1 : 0;
  g_ScreenState.depth = uint32_t(desktop.depth);
  g_System.mainWindow = window;
  g_System.mainThreadId = PlatThreadId();
  g_System.windowActive = 1;
  g_System.settings.initialising = 1;
  g_System.settings.windowed = 1;
  if (StartGraphicsWithFallback(window) != 0 || SetDrawTargetCore(DRAW_SCREEN_BACK) != 0) return false;
  // The copies between surfaces by BltFast, as the start's timing chooses in a started
  // engine (here its clock is not set up, and the timing cannot tell).
  g_ScreenState.copyMethod = 0;
  return true;
}
