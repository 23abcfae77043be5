// Least bodies of what the graphics layer asks of the renderer, until the texture
// records and the draw state reach the device.
#include "engine/d3d/direct3d.h"

int RestoreAllTextures() { return 0; }

int Is3DAvailable() { return LiveDeviceRecord(g_Direct3D.currentDevice) ? 1 : 0; }
int UpdateDrawVertexColor() { return 0; }
int ApplyTextureStage3D(int32_t) { return 0; }
int BindGraphTexture(GraphRecord*, int32_t, int32_t) { return 0; }

int LeaveDirect3DOff() { return 0; }
