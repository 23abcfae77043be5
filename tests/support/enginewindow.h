// The engine's main window as the window start leaves it, for tests on the headless
// window back end: class "D123987X" with MainWindowProc, windowed, hidden, active, this
// thread the main thread. The caller has cleared the system data it wants cleared.
#pragma once

#include "engine/base/strutil.h"
#include "engine/state/sysdata.h"
#include "engine/system/wndproc.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

// The window, or 0 when it cannot be made.
inline PlatWnd MakeEngineMainWindow() {
  g_System.settings.windowed = 1;
  StrCopy(g_System.settings.className, "D123987X");
  PlatWndClass wc{PLAT_CS_HREDRAW | PLAT_CS_VREDRAW, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  if (PlatRegisterClass(&wc) != 1) return 0;
  const PlatWnd window = PlatCreateWindow(0x300, "D123987X", "Kestr", 0x80CA0000, 187, 129, 650, 510);
  if (!window) return 0;
  g_System.mainWindow = window;
  g_System.mainThreadId = PlatThreadId();
  g_System.windowActive = 1;
  g_System.styleApplied = 1;  // the start's placement applied the windowed style
  return window;
}
