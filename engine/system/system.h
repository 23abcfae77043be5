// Engine start and end, and the message pump: the cores behind the locked entry
// functions EngineInit, EngineEnd and PumpMessages.
#pragma once

// 0 on success, -1 on failure.
int EngineInitCore();
// 0.
int EngineEndCore();
// 0 to go on, -1 once the program must end.
int PumpMessagesCore();
