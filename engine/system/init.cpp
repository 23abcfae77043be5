// Least bodies until engine start and end land.
#include "engine/system/system.h"

int EngineInitCore() { return 0; }
int EngineEndCore() { return 0; }
