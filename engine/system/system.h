// Engine start and end, and the message pump: the cores behind the locked entry
// functions EngineInit, EngineEnd and PumpMessages.
#pragma once

// 0 on success, -1 on failure.
int EngineInitCore();
// 0.
int EngineEndCore();
// 0 to go on, -1 once the program must end.
int PumpMessagesCore();

// 1 while the engine is initialised (from a successful start until its end), else 0.
int IsEngineInitialised();
// Sets the flag directly, for tests of code that only reads it.
void SetEngineInitialisedForTest(int on);
