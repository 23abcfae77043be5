// The "no 3D" answers of the renderer's table and the formats the renderer leaves behind.
#include "engine/graphics/renderer3d.h"

#include "engine/graphics/graphrecord.h"

namespace no3d {

int Is3DAvailable() { return 0; }
PlatD3DDevice CurrentDevice3D() { return 0; }
// The device's start computes the colour afresh.
int UpdateDrawVertexColor() { return 0; }
int ApplyTextureStage3D(int32_t) { return 0; }
int SetViewportFromRect(const Rect*) { return -1; }
// No graph has a texture tile without the renderer.
int BindGraphTexture(GraphRecord* graph, int32_t, int32_t) { return graph ? -1 : 0; }
int SetWorldTransform3D(const Matrix4*, int32_t) { return -1; }
int SetViewTransform3D(const Matrix4*) { return -1; }
int SetProjectionTransform3D(const Matrix4*) { return -1; }
int SetCurrentRenderTarget(PlatDDSurface) { return -1; }
int SetCurrentViewport(const PlatD3DViewport*) { return -1; }
int SwitchRenderTarget3D(int32_t) { return 0; }
int ClearDrawTargetTexture() { return -1; }

int TerminateDirect3D() { return -1; }
int ReleaseDirect3DObject() { return -1; }
int AcquireDirect3DObject() { return 0; }
int EndSceneCurrent() { return -1; }
int FlushCurrentVertexBatch() { return -1; }

int RemoveAllTexturesIfActive() { return -1; }
int SplitGraphIntoTextures(GraphRecord*) { return -1; }
// The sub-graph is left with no tile; a parent with tiles has none the renderer knows.
int DeriveSubGraphTextures(GraphRecord* graph, int32_t x, int32_t y, int32_t width, int32_t height,
                           GraphRecord* parent) {
  graph->surfaceCount = 0;
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || int64_t(x) + width > parent->width ||
      int64_t(y) + height > parent->height)
    return -1;
  return parent->surfaceCount == 0 ? 0 : -1;
}
int RemoveGraphTextures(GraphRecord*) { return -1; }
int RestoreGraphTextures(GraphRecord*) { return -1; }
int32_t TileSurfaceData(int32_t, int32_t*, int32_t*) { return -1; }
int UploadImageToGraphTextures(int32_t, int32_t, GraphRecord*, const GraphImage*, const GraphImage*) { return -1; }
int UploadImageRectToGraphTextures(const Rect*, int32_t, int32_t, GraphRecord*, const GraphImage*, const GraphImage*) {
  return -1;
}
int FillGraphTextures(GraphRecord*, int32_t, int32_t, int32_t, int32_t) { return -1; }
int ReadBackScreenDispatch(int32_t, int32_t, int32_t, int32_t, GraphRecord*, int32_t) { return -1; }

int DrawGraphAt3D(int32_t, int32_t, float, float, GraphRecord*, int32_t, int32_t) { return -1; }
int DrawGraphStretched3D(int32_t, int32_t, int32_t, int32_t, float, float, float, float, GraphRecord*, int32_t,
                         int32_t) {
  return -1;
}
int DrawGraphQuad3D(float, float, float, float, float, float, float, float, GraphRecord*, int32_t) { return -1; }
int FillBox3D(int32_t, int32_t, int32_t, int32_t, uint32_t) { return -1; }
int DrawBoxOutline3D(int32_t, int32_t, int32_t, int32_t, uint32_t) { return -1; }

}  // namespace no3d

constexpr Renderer3D kNoRenderer3D = {
#define KR_SERVICE KR_SERVICE_NO3D
#include "engine/graphics/renderer3dlist.h"
#undef KR_SERVICE
};

Renderer3D g_Renderer3D = kNoRenderer3D;

// ---- the formats -------------------------------------------------------------------------

namespace {

bool EntryEmpty(int32_t n) { return g_Renderer3DState.textureFormats.entries[n].colorFormat.bitDepth == 0; }

}  // namespace

int32_t SelectTextureFormatIndex(int32_t alphaChannel, int32_t drawValid, int32_t alphaTest, int32_t colorBitDepth) {
  const int32_t is32 = colorBitDepth == 16 ? 0 : 1;
  if (!drawValid) {
    if (alphaChannel) return TEXTURE_FORMAT_ALPHA16 + is32;
    if (alphaTest) return TEXTURE_FORMAT_ALPHATEST16 + is32;
    return TEXTURE_FORMAT_PLAIN16 + is32;
  }
  if (alphaChannel == 1 || alphaTest == 1) return TEXTURE_FORMAT_TARGET_ALPHA;
  return TEXTURE_FORMAT_TARGET16 + is32;
}

const ColorFormat* SelectTextureFormatEntry(int32_t alphaChannel, int32_t drawValid, int32_t alphaTest,
                                            int32_t colorBitDepth) {
  return TextureFormatColorFormat(SelectTextureFormatIndex(alphaChannel, drawValid, alphaTest, colorBitDepth));
}

const ColorFormat* TextureFormatFor(int32_t alphaChannel, int32_t alphaTest, int32_t is32Bit, int32_t drawTarget) {
  return SelectTextureFormatEntry(alphaChannel, drawTarget, alphaTest, is32Bit ? 32 : 16);
}

const PixelFormatRecord* TextureFormatPixelFormat(int32_t n) {
  if (n < 0 || n >= TEXTURE_FORMAT_COUNT || EntryEmpty(n)) return nullptr;
  return &g_Renderer3DState.textureFormats.entries[n].pixelFormat;
}

const ColorFormat* TextureFormatColorFormat(int32_t n) {
  if (n < 0 || n >= TEXTURE_FORMAT_COUNT || EntryEmpty(n)) return nullptr;
  return &g_Renderer3DState.textureFormats.entries[n].colorFormat;
}

const PixelFormatRecord* DepthBufferPixelFormat(int32_t) {
  // Before (or without) an enumerated format, the plain 16-bit one every Z surface of
  // the screen and of 2D surfaces is made in.
  static const PixelFormatRecord kPlain16{sizeof(PixelFormatRecord), PLAT_DDPF_ZBUFFER, 0, 16, 0xFFFF, 0, 0, 0};
  const Renderer3DState& s = g_Renderer3DState;
  return s.depthFormat.bitCount ? &s.depthFormat : &kPlain16;
}
