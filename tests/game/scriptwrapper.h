// A table wrapped around another, real or fake, that answers the pads, the keys,
// WaitAnyInput and the start-up question from a script, and runs the round clock on the
// main thread: at every 1000 ms of the wrapped table's clock it calls RoundClockTick. The
// clock thread, when WinMain starts one, only waits for its stop. So a whole game replays
// the same way every time.
#pragma once

#include "game/gameapi.h"
#include "inputscript.h"

// Wraps inner from now on, the clock counted from inner's clock at this moment.
const GameApi* ScriptWrapper(const GameApi* inner, const InputScript& script);
ScriptedInput& ScriptWrapperInput();
