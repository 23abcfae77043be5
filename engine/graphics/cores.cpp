// Stubs until the draw cores land: nothing is drawn on the screen.
#include "engine/graphics/cores.h"

#include "engine/pixel/colorformat.h"


int ClearDrawTargetCore() { return 0; }
int DrawColorBoxCore(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
int DrawLinesCore(const LineRecord*, int32_t) { return 0; }
