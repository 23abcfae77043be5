// Least bodies until the graph handles land: there are no graphs, so there is nothing to
// start or end.
#include "engine/graphics/screen.h"

int StartGraphManager() { return 0; }
int TerminateGraphManager() { return 0; }
int SetGraphSoftwareSurfaceMode(int32_t) { return 0; }
