// Least bodies of what the graphics layer asks of the renderer, until the texture
// records reach the device.
#include "engine/d3d/direct3d.h"

int RestoreAllTextures() { return 0; }

int Is3DAvailable() { return LiveDeviceRecord(g_Direct3D.currentDevice) ? 1 : 0; }
int ApplyTextureStage3D(int32_t) { return 0; }
int BindGraphTexture(GraphRecord*, int32_t, int32_t) { return 0; }

int RemoveAllTexturesIfActive() { return -1; }
int SplitGraphIntoTextures(GraphRecord*) { return -1; }
int DeriveSubGraphTextures(GraphRecord*, int32_t, int32_t, int32_t, int32_t, GraphRecord*) {
  return -1;
}
int RemoveGraphTextures(GraphRecord*) { return 0; }
int RestoreGraphTextures(GraphRecord*) { return 0; }
int UploadImageToGraphTextures(int32_t, int32_t, GraphRecord*, const GraphImage*,
                               const GraphImage*) {
  return -1;
}
int UploadImageRectToGraphTextures(const Rect*, int32_t, int32_t, GraphRecord*,
                                   const GraphImage*, const GraphImage*) {
  return -1;
}
int FillGraphTextures(GraphRecord*, int32_t, int32_t, int32_t, int32_t) { return -1; }

int LeaveDirect3DOff() { return 0; }
