// Stubs until the box entry points and the string drawing land: nothing is drawn.
#include "engine/graphics/cores.h"

int DrawColorBoxCore(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
int DrawTextWithFontCore(int32_t, int32_t, const char*, uint32_t, int32_t, uint32_t, int32_t) { return -1; }
