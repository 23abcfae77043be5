// Texture graphs drawn by the device onto the back screen: Direct3D up on the fake (which
// forwards draws to `soft`), the back screen (640 x 480, 5:6:5) as the draw target, graphs
// filled with a picture whose every pixel differs from its neighbours, and helpers that
// read the batch and the back screen's pixels.
#pragma once

#include "engine/graphics/drawsettings.h"
#include "tests/d3d/texture_fixture.h"

#include <cstdio>
#include <functional>

class GraphDrawTest : public TextureTest {
 public:
  static constexpr uint16_t kBackground = 0x0841;  // no pattern pixel is drawn in it
  // Pattern as the screen holds it.
  static uint16_t Pattern565(int32_t x, int32_t y) {
    const uint32_t c = Pattern(x, y);
    return uint16_t((c >> 8 & 0xF800) | (c >> 5 & 0x07E0) | (c >> 3 & 0x001F));
  }

 protected:
  void SetUp() override {
    TextureTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0) << log;
    ASSERT_EQ(g_Renderer3DState.targetUnavailable, 0);
    ClearBack();
    PlatD3DFakeClearCalls();
  }

  // A texture graph holding Pattern (in the screen's 5:6:5, so that what the device
  // copies is exact); null when it cannot be made.
  GraphRecord* PatternGraph(int32_t width, int32_t height) {
    GraphRecord* g = NewGraph(width, height);
    if (!g) return nullptr;
    const Picture p = MakePicture(width, height, 0, Pattern);
    if (UploadImageToGraphTextures(0, 0, g, &p.image, nullptr) != 0) return nullptr;
    return g;
  }
  static void ClearBack() {
    PlatDDBltFx fx{sizeof(PlatDDBltFx), kBackground, 0};
    PlatDDSurfaceBlt(GetBackSurface(), nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL | PLAT_DDBLT_WAIT, &fx);
  }

  // Every back-screen pixel, after the batch was drawn.
  static std::vector<uint16_t> BackPixels() {
    FlushCurrentVertexBatch();
    std::vector<uint16_t> out;
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    if (PlatDDSurfaceLock(GetBackSurface(), nullptr, &d, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_READONLY) != PLAT_DD_OK)
      return out;
    for (uint32_t y = 0; y < d.height; y++) {
      const uint16_t* row = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(d.surface) + size_t(y) * d.pitch);
      out.insert(out.end(), row, row + d.width);
    }
    PlatDDSurfaceUnlock(GetBackSurface(), nullptr);
    return out;
  }

  // Every back-screen pixel as want(x, y) says; the first few that differ are reported.
  static void ExpectBack(const std::function<uint16_t(int32_t x, int32_t y)>& want, const std::string& what) {
    const std::vector<uint16_t> pixels = BackPixels();
    ASSERT_EQ(pixels.size(), size_t(640 * 480));
    int wrong = 0;
    for (int32_t y = 0; y < 480; y++)
      for (int32_t x = 0; x < 640; x++) {
        const uint16_t got = pixels[size_t(y) * 640 + size_t(x)], expected = want(x, y);
        if (got != expected && wrong++ < 4) {
          char text[96];
          std::snprintf(text, sizeof text, "pixel %d,%d: %04x not %04x", x, y, got, expected);
          ADD_FAILURE() << what << ": " << text;
        }
      }
    EXPECT_EQ(wrong, 0) << what;
  }

  // The batch's vertices of kind 1 and kind 2.
  PlatD3DTexturedVertex* Batch1() { return Record().buffer1; }
  PlatD3DBlendVertex* Batch2() { return Record().buffer2; }
  uint32_t Batched() { return Record().batchCount; }
};
