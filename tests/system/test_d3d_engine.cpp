// The engine with Direct3D asked for, on the headless back ends and the soft device: the
// start sets it up, and the window procedure drops and makes again its interfaces around
// a lost or changed display.
#include "engine/base/memory.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/services.h"
#include "engine/d3d/texture3dtest.h"
#include "engine/engine.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/surfacedata.h"
#include "engine_start.h"
#include "platform/d3d/d3d.h"
#include "platform/display/display.h"
#include "support/no3ddevice.h"

#include <vector>

namespace {

class Direct3DEngine : public EngineStart {
 protected:
  void SetUp() override {
    EngineStart::SetUp();
    g_D3dServices.initializeDirect3D = InitializeDirect3D;
  }
  void TearDown() override {
    EngineStart::TearDown();
    g_D3dServices.initializeDirect3D = kD3dServices.initializeDirect3D;
  }

  static int LineCount(const std::string& line) {
    int n = 0;
    for (const std::string& l : LogLines()) n += l == line;
    return n;
  }
  // The index of the first line from `from` on that holds the text, or -1.
  static int LineAt(const std::string& text, int from = 0) {
    const std::vector<std::string> lines = LogLines();
    for (int i = from; i < int(lines.size()); i++)
      if (lines[size_t(i)].find(text) != std::string::npos) return i;
    return -1;
  }
  static std::vector<uint32_t> Screen() {
    PlatDisplayStoreInfo info;
    PlatDisplayGetStoreInfo(&info);
    std::vector<uint32_t> rgb(size_t(info.mode.width) * info.mode.height);
    PlatDisplayReadRect(PlatRect{0, 0, info.mode.width, info.mode.height}, rgb.data());
    return rgb;
  }
};

TEST_F(Direct3DEngine, TheStartSetsDirect3DUp) {
  ASSERT_EQ(EngineInitCore(), 0);
  EXPECT_TRUE(LogHas("Direct3D 関連の初期化を行います"));
  EXPECT_TRUE(LogHas("ＨＡＬデバイスを発見しました"));
  EXPECT_TRUE(LogHas("３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました"));
  EXPECT_TRUE(LogHas("テクスチャピクセルフォーマット"));
  EXPECT_TRUE(LogHas("Direct3D 関連の初期化は正常に終了しました"));
  EXPECT_EQ(Is3DAvailable(), 1);
  EXPECT_NE(CurrentDevice3D(), 0u);
  // The device renders where the screen shows, the viewport the draw area.
  const Device3DRecord& r = g_Device3D[g_Direct3D.currentDevice];
  EXPECT_EQ(r.renderTarget, GetFrontSurface());
  EXPECT_EQ(r.viewport.width, 640u);
  EXPECT_EQ(r.viewport.height, 480u);
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_TRUE(LogHas("Direct3D 関連の終了処理は正常に終了しました"));
  EXPECT_EQ(g_Direct3D.direct3D, 0u);
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

TEST_F(Direct3DEngine, FullScreenDeactivationAndActivationDropAndMakeTheInterfaces) {
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  const std::string made = "３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました";
  const int madeAtStart = LineCount(made);
  const int start = int(LogLines().size());
  PlatPostMessage(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, 0);
  PlatPostMessage(window, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE, 0);
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(CallCount("RebuildGraphicsSystem"), 1);
  // Dropped on the deactivation, dropped again (already) and made again on the rebuild.
  const int deviceGone = LineAt("Ｄｉｒｅｃｔ３Ｄデバイスを削除しました", start);
  const int released = LineAt("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました", start);
  const int already = LineAt("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています", start);
  const int acquired = LineAt("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました", start);
  const int remade = LineAt(made, start);
  EXPECT_GE(deviceGone, 0);
  EXPECT_LT(deviceGone, released);
  EXPECT_LT(released, already);
  EXPECT_LT(already, acquired);
  EXPECT_LT(acquired, remade);
  EXPECT_EQ(LineCount(made), madeAtStart + 1);
  EXPECT_EQ(Is3DAvailable(), 1);
  EXPECT_EQ(g_Device3D[g_Direct3D.currentDevice].ownRenderTarget, GetFrontSurface());
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

TEST_F(Direct3DEngine, ADisplayChangeInAWindowDropsAndMakesTheInterfaces) {
  ChangeWindowMode(1);
  ASSERT_EQ(EngineInitCore(), 0);
  const std::string made = "３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました";
  const int madeAtStart = LineCount(made);
  PlatHeadlessSetDesktop(1280, 1024, 32, 0);
  PlatPostMessage(GetEngineWindowHandle(), PLAT_WM_DISPLAYCHANGE, 32, 1280 | (1024 << 16));
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(CallCount("RebuildGraphicsSystem"), 1);
  EXPECT_TRUE(LogHas("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました"));
  EXPECT_TRUE(LogHas("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました"));
  EXPECT_EQ(LineCount(made), madeAtStart + 1);
  EXPECT_EQ(Is3DAvailable(), 1);
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

TEST_F(Direct3DEngine, AFullScreenProgramClosedWhileInactiveLeavesNothingBehind) {
  ASSERT_EQ(EngineInitCore(), 0);
  SurfaceCreateFlags flags{};
  flags.texture = 1;
  flags.bitDepth = 16;
  ASSERT_GE(AddTexture3DForTest(AddSurfaceData(1, 32, 32, 0, &flags)), 0);
  PlatSendMessage(GetEngineWindowHandle(), PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, 0);
  ASSERT_EQ(g_Direct3D.direct3D, 0u);
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_EQ(g_Direct3D.initialised, 0);
  for (const Device3DRecord& r : g_Device3D) EXPECT_EQ(r.inUse, 0u);
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

TEST_F(Direct3DEngine, ModeChangesAfterEachDropStillMakeADevice) {
  ASSERT_EQ(EngineInitCore(), 0);
  for (int i = 0; i < 5; i++) {
    SCOPED_TRACE(i);
    ASSERT_EQ(ReleaseDirect3DObject(), 0);
    ASSERT_EQ(SetScreenMode(640, 480, i % 2 ? 16 : 32, 60), 0);
    EXPECT_EQ(Is3DAvailable(), 1);
    int inUse = 0;
    for (const Device3DRecord& r : g_Device3D) inUse += r.inUse ? 1 : 0;
    EXPECT_EQ(inUse, 1);
  }
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

// The three roads a program can find: the device (the default), DirectDraw without a 3D
// device, and a machine without Direct3D, where the engine renders in software and shows
// its frames through the GDI-like layer. Boxes come out the same on all three.
TEST_F(Direct3DEngine, WhatIsDrawnDoesNotChange) {
  enum Road { DEVICE, NO_DEVICE, NO_DIRECT3D };
  std::vector<std::vector<uint32_t>> screens;
  for (const Road road : {DEVICE, NO_DEVICE, NO_DIRECT3D}) {
    SCOPED_TRACE(road);
    const int switched = LineCount("ソフトウエアレンダリングモードに変更します");
    g_D3dServices.initializeDirect3D = road == NO_DEVICE ? StartNo3DDevice : InitializeDirect3D;
    PlatD3DSetAvailable(road == NO_DIRECT3D ? 0 : 1);
    ChangeWindowMode(1);
    const int started = EngineInitCore();
    PlatD3DSetAvailable(1);
    ASSERT_EQ(started, 0);
    EXPECT_EQ(Is3DAvailable(), road == DEVICE ? 1 : 0);
    EXPECT_EQ(g_ScreenState.softwareRender, road == NO_DIRECT3D ? 1 : 0);
    EXPECT_EQ(LineCount("ソフトウエアレンダリングモードに変更します") - switched, road == NO_DIRECT3D ? 1 : 0);
    SetDrawTarget(DRAW_SCREEN_BACK);
    ClearDrawTarget();
    DrawColorBox(10, 10, 100, 50, 0xF800, 1);
    DrawColorBox(20, 20, 200, 60, 0x07E0, 0);
    PresentScreen();
    screens.push_back(Screen());
    EXPECT_EQ(EngineEndCore(), 0);
  }
  EXPECT_TRUE(screens[0] == screens[1]);
  EXPECT_TRUE(screens[0] == screens[2]);
}

}  // namespace
