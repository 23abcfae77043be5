// Pixels of the soft device under a draw state: Direct3D up over the recording fake, which
// forwards every draw to `soft`; a 32-bit render target of kWidth x kHeight pixels
// (X8R8G8B8, made the engine's way as a draw-valid texture); textures filled texel by
// texel; and one quad over the whole target drawn with the states that
// ChooseTextureStates and ApplyDrawStates give the draw state and the texture.
//
// Texel (x, y) of a texture as large as the target lands on pixel (x, y), under point and
// linear filtering alike; so does texel (x, y) of a blend texture of that size.
#pragma once

#include "d3d_fixture.h"

#include <functional>

// The draw state of a quad.
struct QuadDrawState {
  int32_t blendMode = BLEND_COPY;
  int32_t blendParam = 0;
  uint8_t red = 255, green = 255, blue = 255;
  int32_t filterMode = 0;
};

class SoftQuadTest : public Direct3DTest {
 protected:
  static constexpr int32_t kWidth = 16, kHeight = 2;
  PlatDDSurface target = 0;

  void SetUp() override {
    Direct3DTest::SetUp();
    if (HasFatalFailure()) return;
    Up();
    if (HasFatalFailure()) return;
    PlatD3DFakeForward(1);
    SurfaceCreateFlags flags{};
    flags.texture = 1;
    flags.drawValid = 1;
    flags.bitDepth = 32;
    const int32_t handle = AddSurfaceData(1, kWidth, kHeight, 0, &flags);
    ASSERT_GE(handle, 0) << log;
    targetRecord = handle;
    target = LookupSurfaceData(handle)->surface;
    ASSERT_EQ(SetDeviceRenderTarget(target, Current()), 0);
    // As the first draw without depth leaves it, so that every quad sees the same.
    SetDeviceZEnable(Current(), 0);
    PlatD3DFakeClearCalls();
  }

  void TearDown() override {
    if (targetRecord >= 0) RemoveSurfaceData(targetRecord);
    targetRecord = -1;
    Direct3DTest::TearDown();
  }

  // Writes texel(x, y) as the raw 32-bit value of every pixel of the surface.
  static void Fill(PlatDDSurface surface, const std::function<uint32_t(int32_t x, int32_t y)>& texel) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    ASSERT_EQ(PlatDDSurfaceLock(surface, nullptr, &desc, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
    ASSERT_EQ(desc.pixelFormat.bitCount, 32u);
    for (uint32_t y = 0; y < desc.height; y++) {
      uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(desc.surface) + int64_t(y) * desc.pitch);
      for (uint32_t x = 0; x < desc.width; x++) row[x] = texel(int32_t(x), int32_t(y));
    }
    PlatDDSurfaceUnlock(surface, nullptr);
  }
  static void Fill(const Surface3DData* texture, const std::function<uint32_t(int32_t x, int32_t y)>& texel) {
    Fill(SurfaceOf(texture), texel);
  }
  static void FillWith(PlatDDSurface surface, uint32_t value) {
    Fill(surface, [value](int32_t, int32_t) { return value; });
  }

  // The raw 32-bit value of a pixel.
  static uint32_t PixelOf(PlatDDSurface surface, int32_t x, int32_t y) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    uint32_t value = 0xDEADBEEF;
    if (PlatDDSurfaceLock(surface, nullptr, &desc, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_READONLY) != PLAT_DD_OK) return value;
    if (x >= 0 && y >= 0 && uint32_t(x) < desc.width && uint32_t(y) < desc.height)
      value = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(desc.surface) + int64_t(y) * desc.pitch)[x];
    PlatDDSurfaceUnlock(surface, nullptr);
    return value;
  }
  // The target's colour at (x, y), 0x00RRGGBB.
  uint32_t Pixel(int32_t x, int32_t y) const { return PixelOf(target, x, y) & 0xFFFFFF; }

  // The draw state as the draw-state layer sets it, vertex colour included.
  static void SetDrawState(const QuadDrawState& s) {
    g_DrawState.blendMode = s.blendMode;
    g_DrawState.blendParam = s.blendParam;
    g_DrawState.brightRed = s.red;
    g_DrawState.brightGreen = s.green;
    g_DrawState.brightBlue = s.blue;
    g_DrawState.filterMode = s.filterMode;
    UpdateDrawVertexColor();
  }

  // The blend graph's texture, threshold and range, as binding a blend graph sets them
  // (null: none).
  void SetBlendTexture(const Surface3DData* blend, int32_t threshold, int32_t range) {
    SetDeviceBlendTexture(Current(), SurfaceOf(blend), threshold, range);
  }

  // One quad over the whole target with the states for the texture (null: untextured)
  // and the draw-state flags, sent at once.
  void DrawQuad(const Surface3DData* texture, uint32_t flags) {
    void* at = AddBatchVertices(texture, flags, PLAT_D3DPT_TRIANGLELIST, 6);
    ASSERT_NE(at, nullptr);
    const float left = -0.5f, top = -0.5f, right = kWidth - 0.5f, bottom = kHeight - 0.5f;
    const float x[6] = {left, right, left, right, left, right}, y[6] = {top, top, bottom, bottom, bottom, top};
    const float u[6] = {0, 1, 0, 1, 0, 1}, v[6] = {0, 0, 1, 1, 1, 0};
    const uint32_t color = g_Direct3D.vertexColor;
    for (int i = 0; i < 6; i++) {
      switch (Record().batchKind) {
        case VERTEX_KIND_COLOR:
          static_cast<PlatD3DColorVertex*>(at)[i] = {x[i], y[i], 0.0f, 1.0f, color};
          break;
        case VERTEX_KIND_TEXTURED:
          static_cast<PlatD3DTexturedVertex*>(at)[i] = {x[i], y[i], 0.0f, 1.0f, color, u[i], v[i]};
          break;
        default: {
          // The specular colour stays as the buffer was made (0xFFFFFFFF).
          PlatD3DBlendVertex& b = static_cast<PlatD3DBlendVertex*>(at)[i];
          b.x = x[i];
          b.y = y[i];
          b.diffuse = color;
          b.u0 = b.u1 = u[i];
          b.v0 = b.v1 = v[i];
        }
      }
    }
    ASSERT_EQ(FlushVertexBatch(Current()), 0);
  }

 private:
  int32_t targetRecord = -1;
};
