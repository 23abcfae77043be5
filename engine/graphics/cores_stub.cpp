// Stubs until the box entry points land: nothing is drawn.
#include "engine/graphics/cores.h"

int DrawColorBoxCore(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
