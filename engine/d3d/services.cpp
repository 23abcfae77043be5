// Stubs until the Direct3D renderer lands.
#include "engine/d3d/services.h"

#include "engine/base/log.h"

int RestoreAllTextures() { return 0; }

int ReleaseDirect3DObject() {
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
  return 0;
}

int Is3DAvailable() { return 0; }
void* CurrentDevice3D() { return nullptr; }
int UpdateDrawVertexColor() { return 0; }
int ApplyTextureStage3D(int32_t) { return 0; }
int SetViewportFromRect(const Rect*) { return -1; }
int BindGraphTexture(GraphRecord*, int32_t, int32_t) { return 0; }
int SetWorldTransform3D(const Matrix4*, int32_t) { return 0; }
int SetViewTransform3D(const Matrix4*) { return 0; }
int SetProjectionTransform3D(const Matrix4*) { return 0; }
