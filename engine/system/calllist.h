// The system calls: what the system layer's hub reaches through g_SystemCalls, one entry
// each (see engine/base/servicetable.h). Each function is declared by the part that owns
// it. No include guard: read once for each thing made from it.

// The log, the tracker's leak report and the on-screen log.
KR_SERVICE(int, OpenLogFile, openLogFile, ())
KR_SERVICE(void, DumpAllocations, dumpAllocations, ())
KR_SERVICE(int, InitScreenLog, initScreenLog, ())
// The file layer.
KR_SERVICE(int, InitArchiveTables, initArchiveTables, ())
KR_SERVICE(int, SetFileFunctionTable, setFileFunctionTable, (const FileFunctionTable* table))
KR_SERVICE(void, FillStreamFunctionRows, fillStreamFunctionRows, ())
KR_SERVICE(int, FileSetCurrentDir, fileSetCurrentDir, (const char* path))
KR_SERVICE(int, EndArchives, endArchives, ())
// The colour depth the screen mode asks for.
KR_SERVICE(int32_t, QueryScreenDepth, queryScreenDepth, ())
// The window start, its end and the system information.
KR_SERVICE(int, CreateMainWindow, createMainWindow, ())
KR_SERVICE(int, DestroyMainWindow, destroyMainWindow, ())
KR_SERVICE(int, LogSystemInfo, logSystemInfo, ())
// Input.
KR_SERVICE(int, StartInputDevices, startInputDevices, ())
KR_SERVICE(int, ShutdownInput, shutdownInput, ())
KR_SERVICE(int, ReacquireInputDevices, reacquireInputDevices, ())
KR_SERVICE(int, ApplyPadVibration, applyPadVibration, ())
KR_SERVICE(int, ServicePadVibration, servicePadVibration, ())
KR_SERVICE(int, SetHookedF10Flag, setHookedF10Flag, ())
KR_SERVICE(int, ClearHookedF10Flag, clearHookedF10Flag, ())
KR_SERVICE(int, UpdateKeyInput, updateKeyInput, ())
KR_SERVICE(int, DeleteAllKeyInputHandles, deleteAllKeyInputHandles, ())
// Character input.
KR_SERVICE(int, InitCharCodeBuffer, initCharCodeBuffer, ())
KR_SERVICE(PlatLResult, CaptureImeCandidates, captureImeCandidates,
           (PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam))
// Network and HTTP.
KR_SERVICE(int, OnSocketEvent, onSocketEvent, (uintptr_t socket, uint32_t eventWord))
KR_SERVICE(int, PumpNetworkMessages, pumpNetworkMessages, (int mode))
KR_SERVICE(int, EndNetwork, endNetwork, ())
KR_SERVICE(int, ClearHttpTable, clearHttpTable, ())
KR_SERVICE(int, StepAllHttpSlots, stepAllHttpSlots, ())
KR_SERVICE(int, EndHttp, endHttp, ())
// Window placement and the cursor.
KR_SERVICE(int, OnWindowMoved, onWindowMoved, (PlatLParam lParam))
KR_SERVICE(int, UpdateWindowPlacement, updateWindowPlacement, ())
KR_SERVICE(int, RefreshFullScreenState, refreshFullScreenState, ())
KR_SERVICE(int, BringToForeground, bringToForeground, (PlatWnd window, int32_t topmost))
KR_SERVICE(int, SetMouseCursorVisible, setMouseCursorVisible, (int32_t visible))
