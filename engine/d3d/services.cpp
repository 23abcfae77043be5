// What the graphics layer asks of the renderer that belongs to no other part of it.
#include "engine/d3d/direct3d.h"

int Is3DAvailable() { return LiveDeviceRecord(g_Direct3D.currentDevice) ? 1 : 0; }
