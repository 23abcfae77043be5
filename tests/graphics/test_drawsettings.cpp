// The draw state's setters, its reset, the light table and the matrix builders.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/lights.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/system.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// Every test starts from a fresh reset (which leaves one default light) and leaves no
// light behind.
class DrawSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEngineInitialisedForTest(1);
    g_System.desktopWidth = 1024;
    g_System.desktopHeight = 768;
    g_System.clientRectOnScreen = {0, 0, 640, 480};
    ResetDrawSettings();
  }
  void TearDown() override {
    DeleteAllLights();
    SetEngineInitialisedForTest(0);
  }
};

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST_F(DrawSettings, ClipAreaIsOrderedAndClampedToTheTarget) {
  struct Case {
    int32_t target;
    Rect client;  // the front screen's client rectangle on the 1024 x 768 desktop
    Rect asked;
    Rect area;
    int32_t empty;
  } cases[] = {
      {DRAW_SCREEN_BACK, {0, 0, 640, 480}, {100, 100, 50, 50}, {50, 50, 100, 100}, 0},
      {DRAW_SCREEN_BACK, {0, 0, 640, 480}, {0, 0, 1000, 1000}, {0, 0, 640, 480}, 0},
      {DRAW_SCREEN_BACK, {0, 0, 640, 480}, {10, 10, 10, 20}, {10, 10, 10, 20}, 1},
      {DRAW_SCREEN_BACK, {0, 0, 640, 480}, {-5, -5, 700, 20}, {0, 0, 640, 20}, 0},
      // A window partly left of and above the desktop starts the area at what shows.
      {DRAW_SCREEN_FRONT, {-100, -50, 540, 430}, {0, 0, 640, 480}, {100, 50, 640, 480}, 0},
      // A window reaching past the right edge keeps what is on the desktop.
      {DRAW_SCREEN_FRONT, {600, 0, 1240, 480}, {0, 0, 640, 480}, {0, 0, 424, 480}, 0},
      // Wholly past the right or the bottom edge: nothing to draw on, never a negative size.
      {DRAW_SCREEN_FRONT, {1100, 0, 1740, 480}, {0, 0, 640, 480}, {0, 0, 0, 480}, 1},
      {DRAW_SCREEN_FRONT, {0, 900, 640, 1380}, {10, 10, 640, 480}, {10, 0, 640, 0}, 1},
  };
  for (const Case& c : cases) {
    g_System.clientRectOnScreen = {c.client.left, c.client.top, c.client.right, c.client.bottom};
    g_DrawState.drawTarget = c.target;
    EXPECT_EQ(SetClipArea(c.asked.left, c.asked.top, c.asked.right, c.asked.bottom), 0);
    Rect area{};
    QueryClipArea(&area);
    EXPECT_TRUE(SameRect(area, c.area))
        << c.asked.left << "," << c.asked.top << "," << c.asked.right << "," << c.asked.bottom
        << " -> " << area.left << "," << area.top << "," << area.right << "," << area.bottom;
    EXPECT_EQ(g_DrawState.areaEmpty, c.empty);
    EXPECT_EQ(g_DrawState.drawAreaF[2], float(c.area.right));
    EXPECT_TRUE(SameRect(g_DrawState.requestedArea, c.asked));
  }
}

TEST_F(DrawSettings, AFreedGraphTargetKeepsTheArea) {
  g_DrawState.drawTarget = 0x08000001;  // no such graph
  const Rect before = g_DrawState.drawArea;
  EXPECT_EQ(SetClipArea(1, 2, 3, 4), 0);
  EXPECT_TRUE(SameRect(g_DrawState.drawArea, before));
}

TEST_F(DrawSettings, SettersClampAndStore) {
  SetBlendState(1, 300);
  EXPECT_EQ(g_DrawState.blendMode, 1);
  EXPECT_EQ(g_DrawState.blendParam, 255);
  SetBlendState(1, 300);  // compared before clamping, so it runs again, to the same end
  EXPECT_EQ(g_DrawState.blendParam, 255);
  SetBlendState(3, -7);
  EXPECT_EQ(g_DrawState.blendParam, 0);

  SetBrightness(300, -1, 128);
  EXPECT_EQ(BrightnessWord(g_DrawState), 0xFF0080u);
  SetBrightnessPacked(0xAB123456);
  EXPECT_EQ(BrightnessWord(g_DrawState), 0x123456u);
  EXPECT_EQ(g_DrawState.brightRed, 0x12);
  EXPECT_EQ(g_DrawState.brightBlue, 0x56);

  EXPECT_EQ(SetBlendGraphState(0x08000005, 1, 2), -1);  // not a live graph
  EXPECT_EQ(g_DrawState.blendGraph, -1);
  EXPECT_EQ(SetBlendGraphState(-1, 300, -3), 0);
  EXPECT_EQ(g_DrawState.blendGraphParam[0], 255);
  EXPECT_EQ(g_DrawState.blendGraphParam[1], 0);

  SetFilterMode(1);
  EXPECT_EQ(GetFilterMode(), 1);

  SetVBlankWait(0);
  EXPECT_EQ(GetVBlankWait(), 0);
  EXPECT_EQ(g_DrawState.vblankWaitOff, 1);
  SetVBlankWait(1);
  EXPECT_EQ(GetVBlankWait(), 1);
  EXPECT_EQ(g_DrawState.vblankWaitOff, 0);

  g_DrawState.frameCount = 0xFFFFFFFFu;
  CountFrame();
  EXPECT_EQ(GetFrameCount(), 0x100000000ull);
  ResetFrameCount();
  EXPECT_EQ(GetFrameCount(), 0u);
}

TEST_F(DrawSettings, ResetPutsEveryDefaultBack) {
  static void (*const handler)() = [] {};
  g_DrawState.restoreHandler = handler;
  SetBlendState(2, 99);
  SetBrightness(1, 2, 3);
  g_DrawState.blendGraph = 7;
  g_DrawState.frameCount = 5;
  g_DrawState.newGraphDepth = 32;
  g_DrawState.use3D = 0;
  g_DrawState.drawTarget = DRAW_SCREEN_BACK;
  AddDirectionalLight(0, 1, 0);
  AddDirectionalLight(0, 0, 1);

  EXPECT_EQ(ResetDrawSettings(), 0);
  const DrawState& s = g_DrawState;
  EXPECT_EQ(s.restoreHandler, handler);
  // The front screen it selects needs started graphics: test_drawtarget.cpp sees it there.
  EXPECT_EQ(BrightnessWord(s), 0xFFFFFFu);
  EXPECT_EQ(s.blendMode, 0);
  EXPECT_EQ(s.blendGraph, -1);
  EXPECT_EQ(s.frameCount, 0u);
  EXPECT_EQ(s.newGraphDepth, 0);
  EXPECT_EQ(s.use3D, 1);
  EXPECT_EQ(s.newGraphColorKey, 1);
  const int32_t d3d[7] = {0, 0, 4, 0, 0, 3, 0};
  EXPECT_EQ(std::memcmp(s.direct3DSettings, d3d, sizeof d3d), 0);
  EXPECT_EQ(s.direct3DDepth2D, 0.2f);
  EXPECT_TRUE(SameRect(s.drawArea, {0, 0, 640, 480}));
  // The lights made before are gone, with their memory; the default one is new.
  EXPECT_EQ(GetLightCount(), 1);
  const LightRecord* light = GetLightRecord(s.defaultLight);
  ASSERT_NE(light, nullptr);
  EXPECT_EQ(light->light.type, LIGHT_DIRECTIONAL);
  g_DrawState.restoreHandler = nullptr;
}

TEST_F(DrawSettings, ResetLosesNoLightMemory) {
  const int32_t blocks = GetTrackedBlockCount();
  for (int i = 0; i < 3; i++) ResetDrawSettings();
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

TEST_F(DrawSettings, LightsNormaliseTheirDirectionAndKeepTheTableTidy) {
  DeleteAllLights();
  EXPECT_EQ(GetLightHighWater(), 0);

  const int32_t a = AddDirectionalLight(1, -1, 1);
  ASSERT_GE(a, 0);
  EXPECT_EQ(uint32_t(a) & 0x78000000u, 0x60000000u);
  const LightRecord* r = GetLightRecord(a);
  const float third = float(1.0 / std::sqrt(3.0));
  EXPECT_EQ(r->light.direction[0], third);
  EXPECT_EQ(r->light.direction[1], -third);
  EXPECT_EQ(r->light.direction[2], third);
  EXPECT_EQ(r->light.diffuse[3], 1.0f);
  EXPECT_EQ(r->light.ambient[0], 0.33f);
  EXPECT_EQ(r->deviceSlot, -1);
  EXPECT_EQ(r->enabled, 1);
  EXPECT_EQ(AddDirectionalLight(0, 0, 0), -1);  // no direction to normalise

  // The only light gone: the mark drops to 0.
  g_LightsChanged = 0;
  EXPECT_EQ(DeleteLightRecord(a), 0);
  EXPECT_EQ(g_LightsChanged, 1);
  EXPECT_EQ(GetLightHighWater(), 0);
  EXPECT_EQ(DeleteLightRecord(a), -1);

  // The highest of several gone: the mark walks down past the empty slots below it.
  int32_t l[4];
  for (int32_t& h : l) h = AddDirectionalLight(0, 1, 0);
  DeleteLightRecord(l[1]);
  DeleteLightRecord(l[2]);
  EXPECT_EQ(GetLightHighWater(), 4);
  DeleteLightRecord(l[3]);
  EXPECT_EQ(GetLightHighWater(), 1);
  EXPECT_EQ(GetLightCount(), 1);
}

TEST_F(DrawSettings, AFullLightTableRefuses) {
  DeleteAllLights();
  for (int i = 0; i < LIGHT_TABLE_SIZE; i++) ASSERT_GE(AddLightRecord(), 0) << i;
  EXPECT_EQ(AddLightRecord(), -1);
  EXPECT_EQ(GetLightCount(), LIGHT_TABLE_SIZE);
}

TEST(Matrices, LookAtAndPerspective) {
  Matrix4 m;
  const float eye[3] = {0, 0, -1}, at[3] = {0, 0, 0}, up[3] = {0, 1, 0};
  EXPECT_EQ(BuildLookAtMatrix(&m, eye, at, up), 0);
  const float expected[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 1, 1}};
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_EQ(m.m[r][c], expected[r][c]) << r << "," << c;

  Matrix4 untouched;
  std::memset(&untouched, 0x5A, sizeof untouched);
  Matrix4 p = untouched;
  EXPECT_EQ(BuildPerspectiveMatrix(&p, 1.0471976f, 10.0f, 10.0f, 1.0f), -1);
  EXPECT_EQ(std::memcmp(&p, &untouched, sizeof p), 0);
  EXPECT_EQ(BuildPerspectiveMatrix(&p, 0.0f, 1.0f, 10.0f, 1.0f), -1);

  // Aspect below 0: the screen's own (480 / 640).
  ASSERT_EQ(BuildPerspectiveMatrix(&p, 1.0471976f, 1.0f, 11.0f, -1.0f), 0);
  const double cot = 1.0 / std::tan(1.0471976 / 2);
  EXPECT_FLOAT_EQ(p.m[0][0], float(0.75 * cot));
  EXPECT_FLOAT_EQ(p.m[1][1], float(cot));
  EXPECT_FLOAT_EQ(p.m[2][2], 1.1f);
  EXPECT_EQ(p.m[2][3], 1.0f);
  EXPECT_FLOAT_EQ(p.m[3][2], -1.1f);
  EXPECT_EQ(p.m[3][3], 0.0f);

  Matrix4 id;
  GetIdentityMatrix(&id);
  StoreWorldMatrix(&id, 0);
  EXPECT_EQ(std::memcmp(&g_DrawState.world, &id, sizeof id), 0);
}
