// The screen model on the headless display and the manual clock: the three rendering
// modes, the DirectDraw start and end, the screen colours and the screen mode change.
#include "engine/base/log.h"
#include "engine/d3d/d3d.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/softimage/memimg.h"
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/headlessuser.h"
#include "platform/input/headless/headlesskeys.h"
#include "platform/kernel/kernel.h"
#include "platform/keys/keytable.h"
#include "platform/window/headless/headlesswindow.h"

#include "graphics/screenfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

PlatDisplayMode Desktop(int32_t depth, bool rgb555 = false, int32_t rate = 60) {
  PlatDisplayMode m = PlatDisplayModeOf(1024, 768, depth, rate);
  if (rgb555) {
    m.redMask = 0x7C00;
    m.greenMask = 0x03E0;
    m.blueMask = 0x001F;
  }
  return m;
}

class Screen : public HeadlessScreenTest {
 protected:
  void Start(int windowed, const PlatDisplayMode& desktop) {
    PlatDisplayHeadlessSetDesktop(desktop, 0);
    g_System.settings.windowed = windowed;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
  }

  static PlatDisplayMode ModeInForce() {
    PlatDisplayMode m;
    PlatDisplayGetMode(&m);
    return m;
  }
};

// Death tests read the log on stderr, where the debugger output goes without a sink, in
// UTF-8.
void LogToStderr() {
  PlatSetDebugSink(nullptr, nullptr);
  setenv("KR_DEBUG_OUTPUT", "1", 1);
}
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

using ScreenDeathTest = Screen;

}  // namespace

TEST_F(Screen, TheThreeModesOverHeadlessStarts) {
  enum Mode { DIRECTDRAW, SOFTWARE, NO_DIRECTDRAW };
  struct Case {
    const char* what;
    int windowed;
    PlatDisplayMode desktop;
    Mode mode;
    // Expected.
    bool surfaces, images, backLocked;
    int32_t formatCode;
    uint32_t depth;
    int32_t screenDepth;
    uint32_t white;
  };
  const Case cases[] = {
      {"full screen, nothing set", 0, Desktop(32), DIRECTDRAW, true, false, false, SCREEN_FORMAT_RGB565, 16, 16, 0xFFFF},
      {"window, 32-bit desktop", 1, Desktop(32), DIRECTDRAW, true, false, false, SCREEN_FORMAT_XRGB8888, 32, 32, 0xFFFFFFFF},
      {"window, 5:6:5 desktop", 1, Desktop(16), DIRECTDRAW, true, false, false, SCREEN_FORMAT_RGB565, 16, 16, 0xFFFF},
      // The no-channel top bit is part of every packed colour.
      {"window, 5:5:5 desktop", 1, Desktop(16, true), DIRECTDRAW, true, false, false, SCREEN_FORMAT_RGB555, 16, 16, 0xFFFF},
      {"software, window, 5:6:5", 1, Desktop(16), SOFTWARE, true, true, true, SCREEN_FORMAT_RGB565, 16, 16, 0xFFFF},
      {"software, window, 5:5:5", 1, Desktop(16, true), SOFTWARE, true, true, false, SCREEN_FORMAT_RGB555, 16, 16, 0xFFFF},
      {"software, window, 32-bit", 1, Desktop(32), SOFTWARE, true, true, false, SCREEN_FORMAT_XRGB8888, 32, 16, 0xFFFF},
      {"software, full screen", 0, Desktop(32), SOFTWARE, true, true, true, SCREEN_FORMAT_RGB565, 16, 16, 0xFFFF},
      {"no DirectDraw, window, 32-bit", 1, Desktop(32), NO_DIRECTDRAW, false, true, false, -1, 32, 16, 0xFFFF},
      {"no DirectDraw, full screen", 0, Desktop(32), NO_DIRECTDRAW, false, true, false, -1, 16, 16, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    if (c.mode != DIRECTDRAW) g_ScreenState.softwareRender = 1;
    if (c.mode == NO_DIRECTDRAW) g_ScreenState.noDirectDraw = 1;
    Start(c.windowed, c.desktop);
    const ScreenState& s = g_ScreenState;
    EXPECT_EQ(s.primary != 0, c.surfaces);
    EXPECT_EQ(s.back != 0, c.surfaces);
    EXPECT_EQ(s.work1 != 0 && s.work2 != 0 && s.zBuffer != 0, c.surfaces && !c.images);
    EXPECT_EQ(s.primaryImage != nullptr && s.backImage != nullptr && s.zImage != nullptr, c.images);
    EXPECT_EQ(s.backLocked != 0, c.backLocked);
    if (c.formatCode >= 0) {
      EXPECT_EQ(s.formatCode, c.formatCode);
    }
    EXPECT_EQ(s.depth, c.depth);
    EXPECT_EQ(QueryScreenDepth(), c.screenDepth);
    EXPECT_EQ(PackScreenColorCore(255, 255, 255), c.white);
    if (!c.windowed) {
      const PlatDisplayMode m = ModeInForce();
      EXPECT_EQ(m.width, 640);
      EXPECT_EQ(m.height, 480);
      EXPECT_EQ(m.depth, 16);
    }
    if (c.backLocked) {
      // The back image's pixels are the locked back surface's memory.
      PlatDDSurfaceDesc d{};
      d.size = sizeof d;
      EXPECT_EQ(PlatDDSurfaceLock(s.back, nullptr, &d, 0), PLAT_DDERR_SURFACEBUSY);
      ASSERT_EQ(PlatDDSurfaceUnlock(s.back, nullptr), PLAT_DD_OK);
      ASSERT_EQ(PlatDDSurfaceLock(s.back, nullptr, &d, 0), PLAT_DD_OK);
      EXPECT_EQ(static_cast<void*>(s.backImage->pixels), d.surface);
    } else if (c.images && s.back) {
      EXPECT_EQ(s.backImage->data->callerOwnedPixels, 0);
    }
    // The end gives back exactly the lock the start took.
    PlatDDrawFakeLogCalls(1);
    EndGraphics();
    EXPECT_EQ(CallCount("Unlock"), c.backLocked ? 1 : 0);
    EXPECT_EQ(s.primary, 0u);
    EXPECT_EQ(s.backImage, nullptr);
    EXPECT_EQ(s.ddraw, 0u);
  }
}

TEST_F(Screen, ScreenColoursOnTheFormatsOfTheDisplay) {
  Start(1, Desktop(16));
  int32_t r = 0, g = 0, b = 0;
  EXPECT_EQ(UnpackScreenColor(0xFFFF, &r, &g, &b), 0);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 255);
  EXPECT_EQ(PackScreenColorCore(255, 0, 0), 0xF800u);
  EXPECT_EQ(UnpackScreenColor(0x07E0, &r, &g, &b), 0);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(g, 255);

  // A channel the format lacks reads 0 instead of dividing by zero.
  PixelFormatRecord noBlue{};
  MakeRgbPixelFormatCore(&noBlue, 16, 0xF800, 0x07E0, 0, 0);
  ColorFormatFromPixelFormat(&noBlue, &g_ScreenState.colorFormat);
  EXPECT_EQ(g_ScreenState.colorFormat.noChannelMask, 0x001Fu);
  EXPECT_EQ(UnpackScreenColor(0xFFFF, &r, &g, &b), 0);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(r, 255);
}

TEST_F(Screen, TheOverlayProbe) {
  // The layer's caps put both stretch limits at their thresholds: nothing is probed.
  PlatDDrawFakeLogCalls(1);
  Start(1, Desktop(32));
  EXPECT_EQ(g_ScreenState.overlayFormatIndex, -1);
  EXPECT_EQ(GetOverlayPixelFormat(), nullptr);
  EXPECT_TRUE(Logged("オーバーレイサーフェスは使用しません"));
  const std::vector<std::string> calls = PlatDDrawFakeCalls();
  auto caps = std::find(calls.begin(), calls.end(), "GetCaps");
  ASSERT_NE(caps, calls.end());
  EXPECT_EQ(std::count(caps, calls.end(), "CreateSurface"), 0);

  struct Case {
    uint32_t width, height;
    bool shown;
  };
  for (const Case& c : {Case{640, 480, true}, Case{640, 399, false}, Case{639, 480, false}}) {
    TearDown();
    SetUp();
    PlatDDPixelFormat rgb565{32, PLAT_DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};
    PlatDDrawFakeSetOverlayFormat(&rgb565);
    g_ScreenState.width = c.width;
    g_ScreenState.height = c.height;
    Start(1, Desktop(32));
    EXPECT_EQ(g_ScreenState.overlayFormatIndex, 3) << c.height;
    EXPECT_EQ(GetOverlayPixelFormat() != nullptr, c.shown) << c.width << " x " << c.height;
  }
}

TEST_F(Screen, TheVideoReportOnlyWithShiftHeld) {
  Start(1, Desktop(32));
  EXPECT_STREQ(g_System.settings.videoDriverName, "");
  EXPECT_EQ(g_System.settings.videoMemoryTotal, 0x1000000u);
  EXPECT_FALSE(Logged("ビデオカードドライバ:"));

  TearDown();
  SetUp();
  PlatHeadlessKey(window, PLAT_VK_SHIFT, 1);
  PlatMsg m;
  while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) PlatDispatchMessage(&m);
  ASSERT_TRUE(PlatGetKeyState(PLAT_VK_SHIFT) & 0x80);
  Start(1, Desktop(32));
  EXPECT_TRUE(Logged(std::string("ビデオカードドライバ:") + PlatDisplayDriverName()));
  EXPECT_STREQ(g_System.settings.videoDriverName, PlatDisplayDriverName());
  EXPECT_NE(g_System.settings.videoMemoryTotal, 0x1000000u);
  ResetHeadlessUser();
}

TEST_F(Screen, AZBufferTheLayerRefusesLeavesAUsableScreen) {
  PlatDDrawFakeSetVideoMemory(0);  // the Z buffer must be in video memory
  Start(1, Desktop(32));
  EXPECT_TRUE(Logged("Ｚバッファの作成に失敗しました"));
  EXPECT_EQ(g_ScreenState.zBuffer, 0u);
  ASSERT_NE(g_ScreenState.back, 0u);
  PlatDDBltFx fx{sizeof fx, 0x123456, 0};
  EXPECT_EQ(PlatDDSurfaceBlt(g_ScreenState.back, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
}

TEST_F(Screen, TheFallbackToTheNoDirectDrawMode) {
  g_Renderer3DStart = [] { return -1; };
  Start(0, Desktop(32));
  EXPECT_TRUE(Logged("ソフトウエアレンダリングモードに変更します"));
  const ScreenState& s = g_ScreenState;
  EXPECT_EQ(s.noDirectDraw, 1);
  EXPECT_EQ(s.softwareRender, 1);
  EXPECT_EQ(s.no3D, 1);
  EXPECT_EQ(IsDirectDrawUsed(), 0);
  EXPECT_EQ(s.primary, 0u);
  EXPECT_NE(s.backImage, nullptr);
  EXPECT_EQ(s.displayModeChanged, 1);
  EXPECT_EQ(ModeInForce().width, 640);
  EndGraphics();
  const PlatDisplayMode m = ModeInForce();
  EXPECT_EQ(m.width, 1024);
  EXPECT_EQ(m.depth, 32);
  EXPECT_EQ(s.displayModeChanged, 0);
}

TEST_F(Screen, TheModeInForceWithoutForceMakesNothing) {
  Start(0, Desktop(32));
  PlatDDrawFakeLogCalls(1);
  EXPECT_EQ(SetScreenModeCore(640, 480, 16, -1), 0);
  EXPECT_EQ(CallCount("CreateSurface"), 0);
  EXPECT_EQ(CallCount("SetDisplayMode"), 0);
}

TEST_F(Screen, ModeChangesLieAtLeast2060MsApart) {
  g_ScreenState.lastModeChangeMs = PlatTimeMs();
  PlatClockAdvance(500);
  const uint32_t before = PlatTimeMs();
  EXPECT_EQ(SpaceModeChange(), 1560u);
  EXPECT_EQ(PlatTimeMs() - before, 1560u);
  PlatClockAdvance(2000);
  EXPECT_EQ(SpaceModeChange(), 60u);
  g_ScreenState.lastModeChangeMs = 0;  // no change before
  EXPECT_EQ(SpaceModeChange(), 60u);
}

TEST_F(Screen, RefusedModesFallBack) {
  const PlatDisplayMode modes[] = {PlatDisplayModeOf(640, 480, 16), PlatDisplayModeOf(800, 600, 16)};
  PlatDisplayHeadlessSetModes(modes, 2);
  Start(0, Desktop(32));
  EXPECT_EQ(SetScreenModeCore(800, 600, 32, 0), -1);
  EXPECT_EQ(ModeInForce().width, 640);
  EXPECT_EQ(g_ScreenState.width, 640u);
  EXPECT_EQ(g_ScreenState.depth, 16u);

  EXPECT_EQ(SetScreenModeCore(800, 600, 16, 0), 0);
  EXPECT_EQ(ModeInForce().width, 800);
  const PlatDisplayMode fewer[] = {PlatDisplayModeOf(640, 480, 16)};
  PlatDisplayHeadlessSetModes(fewer, 1);
  EXPECT_EQ(SetScreenModeCore(1024, 768, 32, 0), -2);
  EXPECT_EQ(ModeInForce().width, 640);
  EXPECT_EQ(g_ScreenState.height, 480u);
  EXPECT_NE(g_ScreenState.primary, 0u);
}

TEST_F(Screen, BadArgumentsAreRefused) {
  Start(0, Desktop(32));
  struct Case {
    int32_t width, height, depth;
  };
  for (const Case& c : {Case{640, 480, 24}, Case{0, 480, 16}, Case{640, 0, 16}, Case{640, 480, 15}}) {
    EXPECT_EQ(SetScreenModeCore(c.width, c.height, c.depth, 0), -1) << c.width << "x" << c.height << "x" << c.depth;
    EXPECT_EQ(g_ScreenState.width, 640u);
    EXPECT_EQ(g_ScreenState.depth, 16u);
  }
}

TEST_F(Screen, ADisplayOf59HzIsMeasured) {
  Start(1, Desktop(32, false, 59));
  EXPECT_EQ(g_ScreenState.measuredRate, 59);
  EXPECT_TRUE(Logged("Tri19:"));  // 20 samples a pass
  EXPECT_GE(g_ScreenState.frameTimeMs, 16);
  EXPECT_LE(g_ScreenState.frameTimeMs, 17);
  EXPECT_EQ(g_ScreenState.pacingBudgetMs, PacingBudgetFor(g_ScreenState.frameTimeMs));
}

TEST_F(Screen, ADisplayOf60HzTakesFourSamplesAPass) {
  Start(1, Desktop(32));
  EXPECT_EQ(g_ScreenState.measuredRate, 60);
  EXPECT_TRUE(Logged("Tri03:"));
  EXPECT_FALSE(Logged("Tri04:"));
  EXPECT_GE(g_ScreenState.frameTimeMs, 16);
  EXPECT_LE(g_ScreenState.frameTimeMs, 17);
}

TEST_F(Screen, TheFrameTimeSearchAndTheBudget) {
  struct Case {
    std::vector<int32_t> samples;
    int32_t frameTime, budget;
  };
  const Case cases[] = {
      {{16, 17, 16, 17}, 16, 9},
      {{17, 16, 16, 17}, 17, 10},
      {{16, 17, 18, 19}, -1, -1},
      {{33, 34, 34, 33}, 33, 20},
      {{}, -1, -1},
  };
  for (const Case& c : cases) {
    const int32_t found = FindRepeatedSample(c.samples.data(), int32_t(c.samples.size()));
    EXPECT_EQ(found, c.frameTime);
    EXPECT_EQ(PacingBudgetFor(found), c.budget);
  }
  struct Rate {
    int64_t microseconds, samples;
    int32_t rate;
  };
  for (const Rate& r : {Rate{16667 * 4, 4, 60}, Rate{16949 * 20, 20, 59}, Rate{14285 * 4, 4, 70},
                        Rate{0, 4, -1}, Rate{3, 4, -1}, Rate{100, 0, -1}})
    EXPECT_EQ(RefreshRateFromTotals(r.microseconds, r.samples), r.rate) << r.microseconds;
}

TEST_F(Screen, TheThreeToleratedCooperativeErrorsCountAsSuccess) {
  Start(0, Desktop(32));
  for (int32_t error : {PLAT_DDERR_EXCLUSIVEMODEALREADYSET, PLAT_DDERR_HWNDALREADYSET, PLAT_DDERR_HWNDSUBCLASSED}) {
    PlatDDrawFakeFailNext("SetCooperativeLevel", 1, error);
    uint32_t cooperative = 0;
    EXPECT_EQ(SwitchDisplayMode(g_ScreenState.ddraw, 1024, 768, 640, 480, 16, nullptr, &cooperative, 0,
                                &g_ScreenState.displayModeChanged, window),
              0);
    EXPECT_EQ(cooperative, uint32_t(PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE));
  }
}

TEST_F(ScreenDeathTest, FatalMessages) {
  EXPECT_EXIT(
      {
        LogToStderr();
        PlatDDrawFakeFailNext("SetCooperativeLevel", 1, PLAT_DDERR_INVALIDPARAMS);
        SwitchDisplayMode(0, 1024, 768, 640, 480, 16, nullptr, nullptr, 0, nullptr, window);
      },
      testing::ExitedWithCode(255), Utf8(u8"DirectDrawの協調レベルの設定に失敗しました"));
  EXPECT_EXIT(
      {
        LogToStderr();
        PlatDDrawFakeFailNext("CreateSurface", 1, PLAT_DDERR_OUTOFMEMORY);
        g_System.settings.windowed = 1;
        StartGraphicsWithFallback(window);
      },
      testing::ExitedWithCode(255), Utf8(u8"プライマリサーフェスの作成に失敗しました"));
  EXPECT_EXIT(
      {
        LogToStderr();
        g_System.settings.windowed = 1;
        SwitchDisplayMode(0, 1024, 768, 1280, 768, 16, nullptr, nullptr, 1, nullptr, window);
      },
      testing::ExitedWithCode(255), Utf8(u8"デスクトップ画面のサイズが足りません"));
  EXPECT_EXIT(
      {
        Start(0, Desktop(32));
        LogToStderr();
        const PlatDisplayMode none[] = {PlatDisplayModeOf(320, 200, 8)};
        PlatDisplayHeadlessSetModes(none, 1);
        SetScreenModeCore(800, 600, 32, 0);
      },
      testing::ExitedWithCode(255), Utf8(u8"予期せぬ画面モード変更不能現象が起きました2"));
}

TEST_F(Screen, AWindowClosedDuringTheStartTakesNoDisplayObjects) {
  // Before graphics start: nothing is made, and the start still succeeds.
  PlatDestroyWindow(window);
  g_System.settings.windowed = 0;
  EXPECT_EQ(StartGraphicsWithFallback(window), 0);
  EXPECT_EQ(g_ScreenState.ddraw, 0u);
  EXPECT_EQ(g_ScreenState.primary, 0u);
  EndGraphics();

  // After it: a mode change only records the mode instead of dying on the window.
  TearDown();
  SetUp();
  Start(0, Desktop(32));
  g_System.endRequested = 1;
  PlatDestroyWindow(window);
  EXPECT_EQ(SetScreenModeCore(800, 600, 16, 0), 0);
  EXPECT_EQ(g_ScreenState.width, 800u);
}
