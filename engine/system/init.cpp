// Least bodies until engine start and end land.
#include "engine/system/system.h"

namespace {
int g_engineInitialised = 0;
}

int EngineInitCore() { return 0; }
int EngineEndCore() { return 0; }

int IsEngineInitialised() { return g_engineInitialised; }
void SetEngineInitialisedForTest(int on) { g_engineInitialised = on ? 1 : 0; }
