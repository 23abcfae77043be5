// Stubs until the draw cores and the graph handles land: nothing is drawn
// on the screen, and no image file can be loaded.
#include "engine/graphics/cores.h"

#include "engine/pixel/colorformat.h"

int FreeAllGraphsCore(int32_t) { return 0; }

int LoadSplitGraphCore(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t*,
                       int32_t) {
  return -1;
}

int ClearDrawTargetCore() { return 0; }
int DrawColorBoxCore(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
