// Least bodies until the graph and 2D surface handles land: there are no graphs and no
// 2D surfaces, so there is nothing to start, end, release or make again.
#include "engine/graphics/screen.h"

int StartGraphManager() { return 0; }
int TerminateGraphManager() { return 0; }
int DeleteAllSurfaces2D() { return 0; }
int ReleaseAllSurface2DObjects() { return 0; }
int RecreateAllSurface2DObjects() { return 0; }
int SetGraphSoftwareSurfaceMode(int32_t) { return 0; }
