// Engine start and end, the window start and the message pump: the cores behind the
// locked entry functions EngineInit, EngineEnd and PumpMessages, and their companions.
#pragma once

#include <cstdint>

// Brings every engine service up in order; 0 (also when the engine is already up), or
// -1 after undoing what this start had done, so that a later start can succeed.
int EngineInitCore();
// Takes every service down in order and writes the leak report; 0 (also when the engine
// is not up: then nothing happens).
int EngineEndCore();
// Delivers the main window's waiting messages, holds the main thread while the window is
// inactive and runs the per-call services; 0 to go on, -1 once the program must end.
// Takes the engine lock itself.
int PumpMessagesCore();

// Starts the component runtime for the engine: 0, or -1 when it was started already (no
// log line) or its start failed.
int InitCom();
// Writes the message to the log, runs the end sequence (unless it is the end sequence
// that failed) and ends the process with exit code -1 (255 as the shell sees it).
[[noreturn]] void FatalEngineExit(const char* message);
// As FatalEngineExit with a printf-style message of at most 1023 bytes, cut at a
// character boundary.
[[noreturn]] void FatalEngineExitFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The window step of the start: resets the system data but the settings, measures the
// machine, chooses the fine timer, refuses a second copy of the program, registers the
// class, creates the main window and lets it settle for 200 ms. 0 or -1 (with the end
// requested; what it had set up is undone).
int CreateMainWindow();
// The desktop's size and colour depth (bytes per pixel x 8) as the window start measured
// them, or measured now before the engine is up. Any pointer may be null; 0.
int GetDesktopSizeAndDepth(int32_t* width, int32_t* height, int32_t* depth);

// 1 while the engine is initialised (from a successful start until its end), else 0.
int IsEngineInitialised();
// Sets the flag directly, for tests of code that only reads it.
void SetEngineInitialisedForTest(int on);
// 1 while the engine's end sequence runs, else 0.
int IsEngineEnding();
// Holds the caller while the main window is inactive, then restores the graphs; returns
// at once while the engine is ending (the end sequence itself waits on no window).
void WaitWhileInactive();
// Tears the main window down (engine end); 0.
int DestroyMainWindow();

