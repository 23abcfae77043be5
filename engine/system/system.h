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

// The window step of the start: resets the system data but the settings, measures the
// machine, chooses the fine timer, refuses a second copy of the program, registers the
// class, creates the main window and lets it settle for 200 ms. 0 or -1 (with the end
// requested; what it had set up is undone).
int CreateMainWindow();

// 1 while the engine's end sequence runs, else 0.
int IsEngineEnding();
// Holds the caller while the main window is inactive, then restores the graphs; returns
// at once while the engine is ending (the end sequence itself waits on no window).
void WaitWhileInactive();
// Tears the main window down (engine end); 0.
int DestroyMainWindow();

