// Least bodies of what the graphics layer asks of the renderer, until the draw state
// reaches the device.
#include "engine/d3d/direct3d.h"

int Is3DAvailable() { return LiveDeviceRecord(g_Direct3D.currentDevice) ? 1 : 0; }
int UpdateDrawVertexColor() { return 0; }

int LeaveDirect3DOff() { return 0; }
