// Engine start and end, and the message pump: the cores behind the locked entry
// functions EngineInit, EngineEnd and PumpMessages, and the pump's two companions.
#pragma once

// 0 on success, -1 on failure.
int EngineInitCore();
// 0.
int EngineEndCore();
// Delivers the main window's waiting messages, holds the main thread while the window is
// inactive and runs the per-call services; 0 to go on, -1 once the program must end.
// Takes the engine lock itself.
int PumpMessagesCore();

// 1 while the engine is initialised (from a successful start until its end), else 0.
int IsEngineInitialised();
// Sets the flag directly, for tests of code that only reads it.
void SetEngineInitialisedForTest(int on);
// Holds the caller while the main window is inactive, then restores the graphs.
void WaitWhileInactive();
// Tears the main window down (engine end); 0.
int DestroyMainWindow();

// Writes the message to the log, ends the engine and ends the process with exit code -1.
[[noreturn]] void FatalEngineExit(const char* message);
