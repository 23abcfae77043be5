// Stubs until the draw cores land. The screen itself is engine/graphics/screen.cpp, the
// presents present.cpp, the draw target drawtarget.cpp, the rebuild rebuild.cpp, the mask
// screen maskscreen.cpp.
#include "engine/graphics/services.h"

int DrawGraphAtCore(int32_t, int32_t, int32_t, int32_t) { return -1; }
int DrawGraphStretchedCore(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return -1; }
