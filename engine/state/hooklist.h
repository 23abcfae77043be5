// The system hooks: what the subsystems below the system layer ask of it, one entry each
// (see engine/base/servicetable.h). Each function is declared by the system part that
// owns it. No include guard: read once for each thing made from it.

// The message pump and the wait while the main window is inactive.
KR_SERVICE(int, PumpMessagesCore, pumpMessages, ())
KR_SERVICE(void, WaitWhileInactive, waitWhileInactive, ())
// The end sequence, which the fatal exit runs unless it is what failed.
KR_SERVICE(int, EngineEndCore, endEngine, ())
KR_SERVICE(int, IsEngineEnding, isEngineEnding, ())
// The main window's style and size for the screen mode just set.
KR_SERVICE(int, ApplyWindowStyle, applyWindowStyle, ())
// Input's devices, let go in a graphics rebuild.
KR_SERVICE(int, ShutdownInput, shutdownInput, ())
// The on-screen log: set up by the screen mode change, drawn over the frame by the present
// while its flag is set.
KR_SERVICE(int, InitScreenLog, initScreenLog, ())
KR_SERVICE(int, GetScreenLogDrawFlag, getScreenLogDrawFlag, ())
KR_SERVICE(int, DrawScreenLog, drawScreenLog, ())
