// The calls that the system layer's hub (the engine start and end, the message pump, the
// window procedure, the window start and the placement) makes into the system's other
// parts and into the layers below: through one table, so that a test can see the order of
// the steps, count a service or script a result. Calls into the later subsystems go
// through their own tables (g_GraphicsServices, g_SoundServices, g_MovieServices,
// g_D3dServices, g_FontServices). The table holds the engine's own functions unless a
// test changed it.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

struct FileFunctionTable;

struct SystemCalls {
  // The log, the tracker's leak report and the on-screen log.
  int (*openLogFile)();
  void (*dumpAllocations)();
  int (*initScreenLog)();
  // The file layer.
  int (*initArchiveTables)();
  int (*setFileFunctionTable)(const FileFunctionTable* table);
  void (*fillStreamFunctionRows)();
  int (*fileSetCurrentDir)(const char* path);
  int (*endArchives)();
  // The colour depth the screen mode asks for.
  int32_t (*queryScreenDepth)();
  // The window start, its end and the system information.
  int (*createMainWindow)();
  int (*destroyMainWindow)();
  int (*logSystemInfo)();
  // Input.
  int (*startInputDevices)();
  int (*shutdownInput)();
  int (*reacquireInputDevices)();
  int (*applyPadVibration)();
  int (*servicePadVibration)();
  int (*setHookedF10Flag)();
  int (*clearHookedF10Flag)();
  int (*updateKeyInput)();
  int (*deleteAllKeyInputHandles)();
  // Character input.
  int (*initCharCodeBuffer)();
  PlatLResult (*captureImeCandidates)(PlatWnd window, uint32_t message, PlatWParam wParam,
                                      PlatLParam lParam);
  // Network and HTTP.
  int (*onSocketEvent)(uintptr_t socket, uint32_t eventWord);
  int (*pumpNetworkMessages)(int mode);
  int (*endNetwork)();
  int (*clearHttpTable)();
  int (*stepAllHttpSlots)();
  int (*endHttp)();
  // Window placement and the cursor.
  int (*onWindowMoved)(PlatLParam lParam);
  int (*updateWindowPlacement)();
  int (*refreshFullScreenState)();
  int (*bringToForeground)(PlatWnd window, int32_t topmost);
  int (*setMouseCursorVisible)(int32_t visible);
};
extern SystemCalls g_SystemCalls;
// The table as it starts: the engine's own functions.
extern const SystemCalls kSystemCalls;
