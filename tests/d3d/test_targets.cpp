// The render target following a graph as draw target, and the clear of a texture draw
// target, over graphs whose tiles the tests make by hand (the texture tiling of graphs
// comes later).
#include "d3d_fixture.h"

#include "engine/graphics/surface2d.h"

#include <functional>

namespace {

using Targets = Direct3DTest;

PlatDDSurface SurfaceRecordSurface(int32_t surfaceData) {
  const SurfaceData* s = LookupSurfaceData(surfaceData);
  return s ? s->surface : 0;
}

PlatDDSurface Surface2DOf(int32_t graph) {
  const Surface2DRecord* piece = GetSurface2D(LookupGraph(graph)->surfaces[0]);
  return piece ? SurfaceRecordSurface(piece->surfaceData) : 0;
}

TEST_F(Targets, TheRenderTargetFollowsAGraph) {
  Up();
  const int32_t targetSurface = TextureSurface(1);
  const int32_t plainSurface = TextureSurface(0);
  ASSERT_GE(targetSurface, 0);
  ASSERT_GE(plainSurface, 0);
  const int32_t targetTile = AddTexture3DForTest(targetSurface);
  const int32_t plainTile = AddTexture3DForTest(plainSurface);
  std::vector<int32_t> fourTiles;
  for (int i = 0; i < 4; i++) fourTiles.push_back(AddTexture3DForTest(TextureSurface(1)));
  const int32_t goneTile = AddTexture3DForTest(TextureSurface(1));
  ASSERT_EQ(RemoveTexture3D(goneTile), 0);
  const int32_t video = MakeGraphWithSurfaces(32, 32, 0, 0, 0);
  PlatDDrawFakeForceSystemMemory(1);
  const int32_t system = MakeGraphWithSurfaces(32, 32, 0, 0, 0);
  PlatDDrawFakeForceSystemMemory(0);
  ASSERT_GE(video, 0);
  ASSERT_GE(system, 0);
  const PlatDDSurface own = Record().ownRenderTarget;

  struct Case {
    const char* what;
    int32_t graph;
    int result;
    PlatDDSurface renderTarget;
    int32_t endSceneAfterDraw, targetUnavailable;  // from the front screen's 1 and 0
  };
  const Case cases[] = {
      {"a texture that may be drawn into", GraphOf({targetTile}, 1), 0, SurfaceRecordSurface(targetSurface), 0, 0},
      {"a texture that may not", GraphOf({plainTile}, 1), -1, own, 1, 0},
      {"a tile that is gone", GraphOf({goneTile}, 1), -1, own, 1, 0},
      // Drawing on would land on the surface the device was made on.
      {"four tiles", GraphOf(fourTiles, 1), 0, own, 1, 1},
      {"a 2D surface in video memory", video, 0, Surface2DOf(video), 0, 0},
      {"a 2D surface in system memory", system, -1, own, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(SwitchRenderTarget3D(DRAW_SCREEN_FRONT), 0);
    ASSERT_EQ(g_Direct3D.endSceneAfterDraw, 1);
    SetDeviceTexture(Current(), 0x55);
    AddRectangles(1);
    PlatD3DFakeClearCalls();
    EXPECT_EQ(SwitchRenderTarget3D(c.graph), c.result);
    EXPECT_EQ(Record().renderTarget, c.renderTarget);
    EXPECT_EQ(g_Direct3D.endSceneAfterDraw, c.endSceneAfterDraw);
    EXPECT_EQ(g_Renderer3DState.targetUnavailable, c.targetUnavailable);
    // Whatever the target, the batch went to the old one and the texture was dropped.
    EXPECT_EQ(CountOf("DrawPrimitive"), 1);
    EXPECT_EQ(Record().texture, 0u);
    PlatDDSurface onDevice = 0;
    PlatD3DDeviceGetRenderTarget(Record().device, &onDevice);
    EXPECT_EQ(onDevice, c.renderTarget);
  }
  // A screen makes the target available again.
  ASSERT_EQ(g_Renderer3DState.targetUnavailable, 1);
  EXPECT_EQ(SwitchRenderTarget3D(DRAW_SCREEN_BACK), 0);
  EXPECT_EQ(g_Renderer3DState.targetUnavailable, 0);
}

TEST_F(Targets, ClearingATextureDrawTarget) {
  Up();
  g_System.settings.backgroundRed = 255;
  g_System.settings.backgroundGreen = 128;
  g_System.settings.backgroundBlue = 8;
  const int32_t surface = TextureSurface(1);
  ASSERT_EQ(SetSurfaceDepthBuffer(surface, 1), 0);
  const int32_t tile = AddTexture3DForTest(surface);
  const int32_t textureGraph = GraphOf({tile}, 1);
  const int32_t goneTile = AddTexture3DForTest(TextureSurface(1));
  ASSERT_EQ(RemoveTexture3D(goneTile), 0);
  const int32_t goneGraph = GraphOf({goneTile}, 1);
  const int32_t plainGraph = MakeGraphWithSurfaces(32, 32, 0, 0, 0);
  const SurfaceData& data = *LookupSurfaceData(surface);
  const uint32_t background = ColorToPixelValue(TextureFormatColorFormat(data.formatIndex), 255, 128, 8, 0);
  ASSERT_NE(background, 0xFFFFu);

  struct Case {
    const char* what;
    int32_t target;
    int32_t suspended;
    int result;
    bool cleared;
    bool sceneEnded;
  };
  const Case cases[] = {
      {"the texture graph", textureGraph, 0, 0, true, true},
      {"drawing suspended", textureGraph, 1, 0, false, false},
      {"the back screen", DRAW_SCREEN_BACK, 0, 0, false, true},
      {"the front screen", DRAW_SCREEN_FRONT, 0, 0, false, true},
      {"a 2D graph", plainGraph, 0, 0, false, true},
      {"a graph whose tile is gone", goneGraph, 0, -1, false, true},
      {"no graph", 0x08000005, 0, 0, false, true},
  };
  const int32_t savedTarget = g_DrawState.drawTarget;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FillSurfaceData(surface, 255, 255, 255, 255);
    PlatDDBltFx fx{sizeof(PlatDDBltFx), 0, 0};
    PlatDDSurfaceBlt(data.depthSurface, nullptr, 0, nullptr, PLAT_DDBLT_DEPTHFILL | PLAT_DDBLT_WAIT, &fx);
    const uint32_t white = FirstPixel16(data.surface);
    ASSERT_EQ(FirstPixel16(data.depthSurface), 0u);
    g_DrawState.drawTarget = c.target;
    g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = c.suspended;
    BeginSceneOnDevice(Current());
    AddRectangles(1);
    PlatD3DFakeClearCalls();
    EXPECT_EQ(ClearDrawTargetTexture(), c.result);
    EXPECT_EQ(FirstPixel16(data.surface), c.cleared ? background : white);
    EXPECT_EQ(FirstPixel16(data.depthSurface), c.cleared ? 0xFFFFu : 0u);
    EXPECT_EQ(CountOf("DrawPrimitive"), c.sceneEnded ? 1 : 0);
    EXPECT_EQ(CountOf("EndScene"), c.sceneEnded ? 1 : 0);
    g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = 0;
    EndSceneCurrent();
  }
  g_DrawState.drawTarget = savedTarget;
}

}  // namespace
