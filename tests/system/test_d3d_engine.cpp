// The engine with Direct3D asked for, on the headless back ends and the soft device: the
// start sets it up, and the window procedure drops and makes again its interfaces around
// a lost or changed display.
#include "engine/base/memory.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/services.h"
#include "engine/d3d/texture3dtest.h"
#include "engine/engine.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/colorformat.h"
#include "engine_start.h"
#include "platform/d3d/d3d.h"
#include "platform/display/display.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/window/headless/headlesswindow.h"
#include "support/no3ddevice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <utility>
#include <vector>

namespace {

class Direct3DEngine : public EngineStart {
 protected:
  void SetUp() override {
    EngineStart::SetUp();
    g_Renderer3DStart = InitializeDirect3D;
  }
  void TearDown() override {
    EngineStart::TearDown();
    g_D3dServices = found_;
    g_Renderer3DStart = foundStart_;
  }
  // The table as the test found it: the program's recorders stay for the tests after.
  const D3dServices found_ = g_D3dServices;
  int (*const foundStart_)() = g_Renderer3DStart;

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
    g_Renderer3DStart = road == NO_DEVICE ? StartNo3DDevice : InitializeDirect3D;
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

// Parity of the two roads, in full screen at 16 bits and in a window on a 32-bit desktop
// (compared there once reduced to 5:6:5): a destination picture (a graph
// without colour key, an R5G6B5 texture on the device) and a source picture drawn over it
// in each blend mode, on the device and in software. The source is a keyed graph (on the
// device an A1R5G5B5 texture, whose green has 5 bits) except in the copy row and in the
// last cell, where a graph without key subtracts. The table holds the largest difference
// of any channel between the roads, in the 8-bit values the display shows; unkeyed copies
// and boxes are equal, and on the device the subtract of an R5G6B5 source gives
// destination minus source field by field. In the window a line of anti-aliased text is
// drawn too; its blended edges may differ between the roads by the amount printed.
TEST_F(Direct3DEngine, BlendModesOnBothRoads) {
  struct Blend {
    const char* name;
    int32_t mode, param, brightness, transparent, keyed;
    int largest[2];  // the largest difference between the roads: full screen, window
  };
  const Blend blends[] = {
      {"copy", BLEND_COPY, 0, 255, 0, 0, {0, 0}},
      // At 16 bits one step of a 6-bit green where its low bit is set: the keyed texture
      // (A1R5G5B5) drops it.
      {"keyed copy", BLEND_COPY, 0, 255, 1, 1, {4, 0}},
      {"mix 128", BLEND_MIX, 128, 255, 1, 1, {9, 8}},
      {"add 200", BLEND_ADD, 200, 255, 1, 1, {17, 8}},
      {"subtract 255", BLEND_SUBTRACT, 255, 255, 1, 1, {17, 0}},
      // The key pixels keep the destination on both roads; the rest rounds apart.
      {"multiply", BLEND_MULTIPLY, 255, 255, 1, 1, {17, 8}},
      {"brightness 128", BLEND_COPY, 0, 128, 1, 1, {9, 8}},
      {"subtract, no key", BLEND_SUBTRACT, 255, 255, 0, 0, {17, 0}},
  };
  constexpr int32_t kSide = 64, kCell = 76;
  auto picture = [&](bool source, bool keyed) {
    SetNewGraphColorKey(keyed ? 1 : 0);
    GraphImage image{};
    CreateGraphImageRGB8(kSide, kSide, &image);
    for (int32_t y = 0; y < kSide; y++)
      for (int32_t x = 0; x < kSide; x++) {
        // The source keeps black (the key) on one band and covers the whole range.
        const bool key = source && (x + y) % 9 == 0;
        const int32_t r = source ? 255 - y * 4 : x * 4, g = source ? x * 4 : y * 4, b = source ? (x ^ y) * 4 : 255 - x * 2;
        SetGraphImagePixel(&image, x, y, key ? 0 : r, key ? 0 : g, key ? 0 : b, 255);
      }
    const int32_t graph = BuildGraphFromGraphImage(&image, nullptr, 1, 0, 0);
    FreeGraphImageCore(&image);
    SetNewGraphColorKey(1);
    return graph;
  };
  auto cellOf = [&](size_t i) { return std::pair<int32_t, int32_t>{int32_t(i % 8) * kCell + 8, 8}; };
  const int32_t aloneY = 8 + kCell;  // the pictures alone, and a box
  const int32_t kTextY = 8 + 2 * kCell;
  for (const bool windowed : {false, true}) {
    SCOPED_TRACE(windowed ? "window" : "full screen");
    std::vector<std::vector<uint32_t>> screens;
    for (const bool direct3D : {true, false}) {
      SCOPED_TRACE(direct3D);
      // A software run's fallback leaves the engine off DirectDraw and 3D; each run starts
      // as a program does.
      g_ScreenState = ScreenState{};
      EnableHardware3D(1);
      SetGraphSoftwareSurfaceMode(1);
      PlatD3DSetAvailable(direct3D ? 1 : 0);
      ChangeWindowMode(windowed ? 1 : 0);
      SetRequestedScreenDepth(16);
      const int started = EngineInitCore();
      PlatD3DSetAvailable(1);
      ASSERT_EQ(started, 0);
      ASSERT_EQ(Is3DAvailable(), direct3D ? 1 : 0);
      ASSERT_EQ(g_ScreenState.depth, windowed ? 32u : 16u);
      SetDrawTarget(DRAW_SCREEN_BACK);
      ClearDrawTarget();
      const int32_t destination = picture(false, false), keyed = picture(true, true), plain = picture(true, false);
      ASSERT_NE(destination, -1);
      ASSERT_NE(keyed, -1);
      ASSERT_NE(plain, -1);
      for (size_t i = 0; i < std::size(blends); i++) {
        const Blend& b = blends[i];
        const auto [x, y] = cellOf(i);
        DrawGraphAt(x, y, destination, 0);
        SetBlendState(b.mode, b.param);
        SetBrightness(uint8_t(b.brightness), uint8_t(b.brightness), uint8_t(b.brightness));
        DrawGraphAt(x, y, b.keyed ? keyed : plain, b.transparent);
        SetBlendState(BLEND_COPY, 0);
        SetBrightness(255, 255, 255);
      }
      DrawGraphAt(8, aloneY, destination, 0);
      DrawGraphAt(8 + kCell, aloneY, plain, 0);
      DrawColorBox(8 + 2 * kCell, aloneY, 8 + 2 * kCell + kSide, aloneY + kSide, PackScreenColor(0, 255, 0), 1);
      const int32_t smooth = CreateFontToHandle(nullptr, 24, -1, 2, -1, -1, 0, -1, -1);
      ASSERT_NE(smooth, -1);
      DrawStringWithFont(8, kTextY, "Antialiased 漢字とかな", PackScreenColor(255, 240, 160), smooth, 0, 0);
      PresentScreen();
      std::vector<uint32_t> client;
      for (int32_t y = 0; y < 480; y++)
        for (int32_t x = 0; x < 640; x++) client.push_back(PlatHeadlessClientPixel(GetEngineWindowHandle(), x, y) & 0xFFFFFF);
      screens.push_back(client);
      EXPECT_EQ(EngineEndCore(), 0);
    }
    const std::vector<uint32_t>&device = screens[0], &software = screens[1];
    auto at = [](const std::vector<uint32_t>& screen, int32_t x, int32_t y) { return screen[size_t(y) * 640 + size_t(x)]; };
    // In the window the pixels are compared reduced to 5:6:5, but for the text.
    auto largestIn = [&](int32_t left, int32_t top, int32_t width = 64, int32_t height = 64, bool reduce = true) {
      const uint32_t mask = windowed && reduce ? 0xF8FCF8u : 0xFFFFFFu;
      int largest = 0;
      for (int32_t y = top; y < top + height; y++)
        for (int32_t x = left; x < left + width; x++)
          for (int shift : {0, 8, 16})
            largest = std::max(largest, std::abs(int((at(device, x, y) & mask) >> shift & 0xFF) -
                                                 int((at(software, x, y) & mask) >> shift & 0xFF)));
      return largest;
    };
    for (size_t i = 0; i < std::size(blends); i++) {
      const auto [x, y] = cellOf(i);
      const int largest = largestIn(x, y);
      std::printf("largest difference, %s, %-18s %d\n", windowed ? "window" : "full screen", blends[i].name, largest);
      EXPECT_LE(largest, blends[i].largest[windowed]) << blends[i].name;
    }
    EXPECT_EQ(largestIn(8, aloneY), 0) << "the destination";
    EXPECT_EQ(largestIn(8 + kCell, aloneY), 0) << "the source";
    EXPECT_EQ(largestIn(8 + 2 * kCell, aloneY), 0) << "the box";
    // The text goes through the font's texture cache on the device and its memory cache in
    // software: the anti-aliased shades blend 16 alpha levels of a 4:4:4:4 texture on one
    // road and mix in the drawing screen on the other.
    const int text = largestIn(0, kTextY, 640, 40, false);
    EXPECT_LE(text, 17);
    EXPECT_NE(std::count(device.begin() + kTextY * 640, device.begin() + (kTextY + 40) * 640, 0u), 640 * 40)
        << "no text drawn";
    std::printf("largest difference, %s, text               %d\n", windowed ? "window" : "full screen", text);
    if (windowed) continue;
    int wrong = 0;
    const auto [sx, sy] = cellOf(std::size(blends) - 1);
    for (int32_t y = 0; y < kSide; y++)
      for (int32_t x = 0; x < kSide; x++) {
        const uint32_t d = at(device, 8 + x, aloneY + y), s = at(device, 8 + kCell + x, aloneY + y);
        const uint32_t got = at(device, sx + x, sy + y);
        const int fields[3][2] = {{16, 3}, {8, 2}, {0, 3}};
        for (const auto& f : fields) {
          const int dv = int(d >> f[0] & 0xFF) >> f[1], sv = int(s >> f[0] & 0xFF) >> f[1];
          const int gv = int(got >> f[0] & 0xFF) >> f[1];
          if (gv != std::max(0, dv - sv) && wrong++ < 4)
            ADD_FAILURE() << "subtract at " << x << "," << y << " field " << f[0] << ": " << gv << " not " << dv << " - " << sv;
        }
      }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
