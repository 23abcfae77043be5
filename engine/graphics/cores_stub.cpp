// A stub until the string drawing lands: nothing is drawn.
#include "engine/graphics/cores.h"

int DrawTextWithFontCore(int32_t, int32_t, const char*, uint32_t, int32_t, uint32_t, int32_t) { return -1; }
