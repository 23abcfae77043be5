// Least bodies until the window mode and placement land: the window stays where the
// window start put it.
#include "engine/system/placement.h"

int UpdateWindowPlacement() { return 0; }
int OnWindowMoved(PlatLParam) { return 0; }
int RefreshFullScreenState() { return 0; }
