// Stubs until the Direct3D renderer lands.
#include "engine/d3d/services.h"

#include "engine/base/log.h"
#include "engine/pixel/colorformat.h"
#include "platform/ddraw/ddraw.h"

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

int InitializeDirect3D() { return 0; }
int TerminateDirect3D() { return 0; }
int AcquireDirect3DObject() { return 0; }
int EndSceneCurrent() { return 0; }
int FlushCurrentVertexBatch() { return 0; }

const ColorFormat* TextureFormatFor(int32_t, int32_t, int32_t, int32_t) { return nullptr; }
const PixelFormatRecord* TextureFormatPixelFormat(int32_t) { return nullptr; }
const ColorFormat* TextureFormatColorFormat(int32_t) { return nullptr; }

const PixelFormatRecord* DepthBufferPixelFormat(int32_t bits) {
  static PixelFormatRecord record;
  record = PixelFormatRecord{};
  record.size = sizeof record;
  record.flags = PLAT_DDPF_ZBUFFER;
  record.bitCount = uint32_t(bits);
  record.redMask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
  return &record;
}
