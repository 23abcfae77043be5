// Presenting the screen on the headless display and the manual clock: every road of the
// present lands the back screen in the display's store, the waits on the vertical blank,
// the front-screen updates, the surface copy and the temporary primary.
#include "engine/base/log.h"
#include "engine/system/screenlog.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/present.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/softimage/memimg.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/placement.h"
#include "engine/system/screenlog.h"
#include "engine/system/system.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/headlessuser.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "support/no3ddevice.h"
#include "tests/support/backscreen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kClass[] = "PresentTest";

PlatDisplayMode Desktop(int32_t depth, bool rgb555 = false) {
  PlatDisplayMode m = PlatDisplayModeOf(2048, 1536, depth, 60);
  if (rgb555) {
    m.redMask = 0x7C00;
    m.greenMask = 0x03E0;
    m.blueMask = 0x001F;
  }
  return m;
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

uint32_t Widen5(uint32_t c) { return c << 3 | c >> 2; }

// Colours every format here holds exactly, so that any road's conversion must keep them:
// 5 bits a channel, and for green only the levels whose 5 and 6 bits widen alike and
// which the converter's 5:5:5 to 5:6:5 step (the low bit repeated) keeps.
using Pattern = ScreenPattern;
uint32_t Green(uint32_t level) {
  static const uint32_t kLevels[4] = {0, 2, 29, 31};
  return Widen5(kLevels[level & 3]);
}
uint32_t Stripes(int32_t x, int32_t y) {
  return Widen5(uint32_t(x) & 31) << 16 | Green(uint32_t(y)) << 8 | Widen5(uint32_t(x / 32 + 3 * (y / 32)) & 31);
}
uint32_t Checks(int32_t x, int32_t y) {
  return ((x / 8 + y / 8) & 1) ? 0xFFFFFF : Widen5(uint32_t(x + y) & 31) << 16 | Green(uint32_t(x)) << 8;
}

// The back screen as the draws see it.
void FillBack(Pattern pattern) { ASSERT_TRUE(FillBackScreen(pattern)); }

PlatRect ClientOnStore() {
  PlatRect r{};
  GetClientRectBelowToolbar(&r);
  return r;
}

// Pixels of the store's rectangle that are not the pattern at (x - left) / scale; the
// first few are told.
int StoreDiffers(const PlatRect& at, Pattern pattern, double scale, const PlatRect& src = {0, 0, 0, 0}) {
  const int32_t w = at.right - at.left, h = at.bottom - at.top;
  std::vector<uint32_t> rgb(size_t(w) * size_t(h));
  if (PlatDisplayReadRect(at, rgb.data()) != 0) return -1;
  int bad = 0;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const uint32_t want = pattern(src.left + int32_t(x / scale), src.top + int32_t(y / scale));
      const uint32_t got = rgb[size_t(y) * size_t(w) + size_t(x)];
      if (got == want) continue;
      if (bad++ < 3) ADD_FAILURE() << "store " << at.left + x << "," << at.top + y << ": " << std::hex << got
                                   << " want " << want;
    }
  return bad;
}

int ImageDiffers(const MEMIMG* image, Pattern pattern) {
  int bad = 0;
  for (int32_t y = 0; y < image->height; y++)
    for (int32_t x = 0; x < image->width; x++) {
      uint32_t v = 0;
      std::memcpy(&v, image->pixels + size_t(y) * size_t(image->data->pitch) + size_t(x) * image->data->format->bytesPerPixel,
                  image->data->format->bytesPerPixel);
      const uint32_t want = pattern(x, y);
      if (v != ColorToPixelValue(image->data->format, int32_t(want >> 16), int32_t(want >> 8 & 0xFF),
                                 int32_t(want & 0xFF), 255))
        bad++;
    }
  return bad;
}

enum Mode { DIRECTDRAW, SOFTWARE, NO_DIRECTDRAW };

class Present : public ::testing::Test {
 protected:
  PlatWnd window = 0;

  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    PlatClockSetManual(1, 1000);
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(Desktop(32), 0);
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    UnpinNo3DDevice();
    SetLogDebuggerOnly(1);
    PlatSetDebugSink([](const char*, void*) {}, nullptr);
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, kClass};
    ASSERT_EQ(PlatRegisterClass(&wc), 1);
    window = PlatCreateWindow(0, kClass, "Kestr", 0x80CA0000, 0, 0, 640, 480);
    ASSERT_NE(window, 0u);
    g_System.mainWindow = window;
    g_System.mainThreadId = PlatThreadId();
    g_System.windowActive = 1;
    g_System.desktopWidth = 2048;
    g_System.desktopHeight = 1536;
    g_System.settings.initialising = 1;
    g_System.settings.osCode = 262;
    SetVBlankWait(1);
  }

  void TearDown() override {
    if (g_ScreenState.graphicsStarted) EndGraphics();
    ResetHeadlessUser();
    PlatSetDebugSink(nullptr, nullptr);
    SetLogDebuggerOnly(0);
    g_ScreenLog.drawFlag = 0;
    if (PlatIsWindow(window)) PlatDestroyWindow(window);
    PlatUnregisterClass(kClass);
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    g_DrawState.drawTarget = DRAW_SCREEN_FRONT;
    UnpinNo3DDevice();
    g_ScreenState = ScreenState{};
    g_System = SystemData{};
    SetVBlankWait(1);
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(1024, 768, 32, 60), 0);
    PlatClockSetManual(0);
  }

  void Start(Mode mode, int windowed, const PlatDisplayMode& desktop, double scale = 1.0) {
    PlatDisplayHeadlessSetDesktop(desktop, 0);
    g_System.settings.windowed = windowed;
    g_System.settings.windowScale = scale;
    if (mode != DIRECTDRAW) g_ScreenState.softwareRender = 1;
    if (mode == NO_DIRECTDRAW) g_ScreenState.noDirectDraw = 1;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  }

  // Where the screen shows on the store: the client area, or all of a full screen.
  static PlatRect Shown(double scale = 1.0) {
    if (!IsWindowedMode()) return {0, 0, 640, 480};
    const PlatRect c = ClientOnStore();
    return {c.left, c.top, c.left + int32_t(640 * scale), c.top + int32_t(480 * scale)};
  }

  static int CallCount(const char* name) {
    const std::vector<std::string> calls = PlatDDrawFakeCalls();
    return int(std::count(calls.begin(), calls.end(), std::string(name)));
  }
};

}  // namespace

TEST_F(Present, EveryRoadLandsTheBackScreenInTheStore) {
  struct Case {
    const char* what;
    Mode mode;
    int windowed;
    PlatDisplayMode desktop;
    double scale;
    bool backLocked;  // the software road over the locked back surface
  };
  const Case cases[] = {
      {"full-screen flip", DIRECTDRAW, 0, Desktop(32), 1.0, false},
      {"windowed blit", DIRECTDRAW, 1, Desktop(32), 1.0, false},
      {"software, locked back surface", SOFTWARE, 1, Desktop(16), 1.0, true},
      {"software, full screen", SOFTWARE, 0, Desktop(32), 1.0, true},
      {"software converted, 5:5:5 display", SOFTWARE, 1, Desktop(16, true), 1.0, false},
      {"GDI at equal size", NO_DIRECTDRAW, 1, Desktop(32), 1.0, false},
      {"GDI stretched", NO_DIRECTDRAW, 1, Desktop(32), 2.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Start(c.mode, c.windowed, c.desktop, c.scale);
    ASSERT_EQ(g_ScreenState.backLocked != 0, c.backLocked);
    // Twice: the second present runs over the back image made again after the re-lock.
    for (Pattern pattern : {Stripes, Checks}) {
      FillBack(pattern);
      const uint64_t frames = GetFrameCount();
      g_ScreenState.presented = 0;
      ASSERT_EQ(PresentScreenCore(), 0);
      EXPECT_EQ(GetFrameCount(), frames + 1);
      EXPECT_EQ(g_ScreenState.presented, c.mode == DIRECTDRAW ? 0 : 1);
      EXPECT_EQ(StoreDiffers(Shown(c.scale), pattern, c.scale), 0);
    }
    if (c.backLocked) {
      // The back image is the surface's memory under a lock the present took again.
      EXPECT_EQ(g_ScreenState.backLocked, 1);
      PlatDDSurfaceDesc d{};
      d.size = sizeof d;
      EXPECT_EQ(PlatDDSurfaceLock(g_ScreenState.back, nullptr, &d, 0), PLAT_DDERR_SURFACEBUSY);
    }
  }
}

TEST_F(Present, TheFrontScreenAsTargetOnlyWaitsForOneBlank) {
  struct Case {
    const char* what;
    Mode mode;
    int windowed;
    int wait;
    bool flips;
  };
  const Case cases[] = {
      {"flip road, wait on", DIRECTDRAW, 0, 1, false},
      {"flip road, wait off", DIRECTDRAW, 0, 0, true},
      {"windowed, wait off", DIRECTDRAW, 1, 0, false},
      {"software, wait off", SOFTWARE, 1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Start(c.mode, c.windowed, Desktop(32));
    FillBack(Stripes);
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), 0);
    SetVBlankWait(c.wait);
    PlatDDrawFakeLogCalls(1);
    const uint64_t frames = GetFrameCount();
    EXPECT_EQ(PresentScreenCore(), 0);
    EXPECT_EQ(GetFrameCount(), frames + 1);
    EXPECT_EQ(CallCount("Flip"), c.flips ? 1 : 0);
    EXPECT_EQ(CallCount("Blt"), 0);
    if (!c.flips) {
      // Left at the start of a blank.
      EXPECT_GT(CallCount("GetVerticalBlankStatus"), 0);
      int blank = 0;
      PlatDDrawGetVerticalBlankStatus(g_ScreenState.ddraw, &blank);
      EXPECT_EQ(blank, 1);
    }
  }
}

TEST_F(Present, TheFlipWaitsForTheBlankAndSleepsOnlyWhileTheWaitIsOn) {
  Start(DIRECTDRAW, 0, Desktop(32));
  // 2000 ms is the start of a frame of 16.67 ms; its blank begins 15.24 ms in.
  PlatClockSetManual(1, 2000);
  SetVBlankWait(0);
  ASSERT_EQ(PresentScreenCore(), 0);
  EXPECT_EQ(PlatPerfCounter(), 2000 * 1000000LL);  // NOVSYNC, and no sleep after
  SetVBlankWait(1);
  ASSERT_EQ(PresentScreenCore(), 0);
  // The next blank's start, then 1 ms.
  const int64_t frameNs = 1000000000LL / 60, now = 2000 * 1000000LL;
  const int64_t blankStart = (480 * frameNs + 524) / 525;
  EXPECT_EQ(PlatPerfCounter(), now - now % frameNs + blankStart + 1000000);
}

TEST_F(Present, ThePacingWaitSleepsOutTheBudgetBeforeItWaitsForTheBlank) {
  Start(DIRECTDRAW, 1, Desktop(32));
  struct Case {
    const char* what;
    int32_t budget;
    uint32_t lastBlank, now;
    uint32_t blankAfter;  // the last blank time the present leaves
    int statusPolls;
  };
  // Frames start at 2000, 2016.67 and 2033.33 ms; their blanks at 2015.24, 2031.90 ms.
  const Case cases[] = {
      // 6 ms of sleep pass the blank at 2015: the wait ends at the next one.
      {"budget 9, 3 ms after the blank", 9, 2008, 2011, 2031, 0},
      {"budget spent", 9, 1990, 2011, 2015, 1},
      {"budget unknown", -1, 2010, 2011, 2015, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlatClockSetManual(1, c.now);
    g_ScreenState.pacingBudgetMs = c.budget;
    g_ScreenState.lastBlankMs = c.lastBlank;
    PlatDDrawFakeLogCalls(1);
    PlatDDrawFakeClearCalls();
    ASSERT_EQ(PresentScreenCore(), 0);
    EXPECT_EQ(g_ScreenState.lastBlankMs, c.blankAfter);
    EXPECT_EQ(CallCount("GetVerticalBlankStatus"), c.statusPolls);
    EXPECT_EQ(CallCount("WaitForVerticalBlank"), 1);
  }
}

TEST_F(Present, AWindowScaleOfTwoDoublesTheScreenAndARepaintShowsItsSource) {
  struct Case {
    const char* what;
    Mode mode;
    PlatDisplayMode desktop;
  };
  // Through GDI the repaint shows its own part of the frame too, where a stretch of the
  // whole frame into the repaint's size at the client's corner would show the frame
  // shrunk in the wrong place.
  const Case cases[] = {
      {"windowed blit", DIRECTDRAW, Desktop(32)},
      {"software, locked back surface", SOFTWARE, Desktop(16)},
      {"software converted", SOFTWARE, Desktop(16, true)},
      {"GDI", NO_DIRECTDRAW, Desktop(32)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Start(c.mode, 1, c.desktop, 2.0);
    const PlatRect client = ClientOnStore();
    ASSERT_EQ(client.right - client.left, 1280);
    ASSERT_EQ(client.bottom - client.top, 960);
    FillBack(Stripes);
    ASSERT_EQ(PresentScreenCore(), 0);
    EXPECT_EQ(StoreDiffers(Shown(2.0), Stripes, 2.0), 0);

    // The repaint's rectangle alone shows the new frame, from its coordinates halved.
    FillBack(Checks);
    const PlatRect paint{100, 100, 300, 200};
    ASSERT_EQ(PresentSoftwareImage(&paint), 0);
    const PlatRect on{client.left + 100, client.top + 100, client.left + 300, client.top + 200};
    EXPECT_EQ(StoreDiffers(on, Checks, 2.0, {50, 50, 150, 100}), 0);
    const PlatRect left{client.left, client.top, client.left + 100, client.top + 960};
    EXPECT_EQ(StoreDiffers(left, Stripes, 2.0), 0);
  }
}

TEST_F(Present, TheLogOverlayPutsTheDrawSettingsBack) {
  for (Mode mode : {DIRECTDRAW, SOFTWARE}) {
    SCOPED_TRACE(mode);
    TearDown();
    SetUp();
    Start(mode, 0, Desktop(32));
    g_ScreenLog.drawFlag = 1;
    ASSERT_EQ(SetClipArea(10, 20, 110, 220), 0);
    SetBlendState(BLEND_MIX, 128);
    SetBrightness(10, 20, 30);
    EXPECT_EQ(PresentScreenCore(), 0);
    const DrawState& after = g_DrawState;
    EXPECT_EQ(after.drawArea.left, 10);
    EXPECT_EQ(after.drawArea.top, 20);
    EXPECT_EQ(after.drawArea.right, 110);
    EXPECT_EQ(after.drawArea.bottom, 220);
    EXPECT_EQ(after.blendMode, BLEND_MIX);
    EXPECT_EQ(after.blendParam, 128);
    EXPECT_EQ(after.brightRed, 10);
    EXPECT_EQ(after.brightGreen, 20);
    EXPECT_EQ(after.brightBlue, 30);
  }
}

TEST_F(Present, PresentsAndFrontUpdatesWithoutScreenSurfacesFail) {
  for (Mode mode : {DIRECTDRAW, SOFTWARE, NO_DIRECTDRAW}) {
    SCOPED_TRACE(mode);
    TearDown();
    SetUp();
    Start(mode, 1, Desktop(32));
    // What a failed mode change leaves.
    ReleaseScreenSurfaces();
    g_ScreenState.presented = 1;
    const Rect r{0, 0, 10, 10};
    EXPECT_EQ(PresentScreenCore(), -1);
    EXPECT_EQ(PresentSoftwareImage(nullptr), -1);
    EXPECT_EQ(UpdateFrontRect(&r), -1);
    EXPECT_EQ(ReloadFrontImageFromScreen(), mode == DIRECTDRAW ? 0 : -1);
  }
}

TEST_F(Present, BlankWaitsEndOnAStuckRasterAndOnThePumpsEnd) {
  Start(DIRECTDRAW, 1, Desktop(32));
  for (int held : {0, 1}) {
    SCOPED_TRACE(held);
    PlatDDrawFakeHoldRaster(held);
    const uint32_t start = PlatTimeMs();
    EXPECT_EQ(WaitBlanks(1), 0);
    EXPECT_EQ(WaitBlanks(0), 0);
    EXPECT_LE(PlatTimeMs() - start, 250u);
  }
  PlatDDrawFakeHoldRaster(-1);
  EXPECT_EQ(WaitBlanks(-1), 0);
  EXPECT_EQ(WaitBlanks(3), 0);
  // The program told to end: the pump reports it after the blank.
  PlatPostQuitMessage(0);
  EXPECT_EQ(WaitBlanks(1), -1);
}

TEST_F(Present, UpdateFrontRectThroughGdiLandsExactlyItsRows) {
  Start(NO_DIRECTDRAW, 1, Desktop(32));
  const PlatRect client = ClientOnStore();
  FillImage(g_ScreenState.primaryImage, Checks);
  // Clipped to the screen: rows 20 to 69 of columns 600 to 639.
  const Rect r{600, 20, 700, 70};
  ASSERT_EQ(UpdateFrontRect(&r), 0);
  EXPECT_EQ(StoreDiffers({client.left + 600, client.top + 20, client.left + 640, client.top + 70}, Checks, 1.0,
                         {600, 20, 0, 0}),
            0);
  // The rows above and below keep the background.
  for (int32_t y : {19, 70}) {
    const uint32_t around = PlatDisplayReadRgb(client.left + 610, client.top + y);
    EXPECT_NE(around, Checks(610, y)) << y;
    EXPECT_EQ(around, PlatDisplayReadRgb(client.left + 10, client.top + y)) << y;
  }
  const Rect outside{700, 500, 800, 600};
  EXPECT_EQ(UpdateFrontRect(&outside), 0);
}

TEST_F(Present, UpdateFrontRectOnTheWindowedPrimary) {
  Start(SOFTWARE, 1, Desktop(16, true));
  const PlatRect client = ClientOnStore();
  FillImage(g_ScreenState.primaryImage, Stripes);
  const Rect r{10, 20, 110, 70};
  ASSERT_EQ(UpdateFrontRect(&r), 0);
  EXPECT_EQ(StoreDiffers({client.left + 10, client.top + 20, client.left + 110, client.top + 70}, Stripes, 1.0,
                         {10, 20, 0, 0}),
            0);
  PlatDDrawFakeFailNext("Lock", 1, PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(UpdateFrontRect(&r), -1);
}

TEST_F(Present, TheFrontImageReloadsWhatTheWindowShows) {
  struct Case {
    const char* what;
    Mode mode;
    PlatDisplayMode desktop;
    std::vector<const char*> refused;  // calls whose failure fails the reload
  };
  const Case cases[] = {
      {"locked back surface", SOFTWARE, Desktop(16), {"Lock"}},
      {"converted, 5:5:5", SOFTWARE, Desktop(16, true), {"Lock"}},
      {"GDI", NO_DIRECTDRAW, Desktop(32), {"GetDC", "CreateCompatibleBitmap", "BitBlt", "GetDIBits"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    Start(c.mode, 1, c.desktop);
    FillBack(Stripes);
    ASSERT_EQ(PresentScreenCore(), 0);
    ASSERT_EQ(g_ScreenState.presented, 1);
    MEMIMG* front = g_ScreenState.primaryImage;
    // A refused read leaves the front image older than the window, says so, and gives
    // back what it took.
    const int dcs = PlatGdiFakeLiveDCs(), objects = PlatGdiFakeLiveObjects();
    for (const char* refused : c.refused) {
      SCOPED_TRACE(refused);
      if (c.mode == NO_DIRECTDRAW) PlatGdiFakeFailNext(refused, 1);
      else PlatDDrawFakeFailNext(refused, 1, PLAT_DDERR_SURFACELOST);
      EXPECT_EQ(ReloadFrontImageFromScreen(), -1);
      EXPECT_EQ(g_ScreenState.presented, 1);
    }
    EXPECT_EQ(PlatGdiFakeLiveDCs(), dcs);
    EXPECT_EQ(PlatGdiFakeLiveObjects(), objects);
    ClearMemImgRect(front, nullptr, 0);
    ASSERT_EQ(ReloadFrontImageFromScreen(), 0);
    EXPECT_EQ(g_ScreenState.presented, 0);
    EXPECT_EQ(ImageDiffers(front, Stripes), 0);
    // Nothing newer on the window: nothing is read.
    ClearMemImgRect(front, nullptr, 0);
    ASSERT_EQ(ReloadFrontImageFromScreen(), 0);
    EXPECT_NE(ImageDiffers(front, Stripes), 0);
  }
}

TEST_F(Present, BothSurfaceCopiesGiveTheSamePixels) {
  Start(DIRECTDRAW, 1, Desktop(32));
  const ScreenState& s = g_ScreenState;
  ASSERT_TRUE(FillSurface(s.back, Stripes));
  ASSERT_TRUE(FillSurface(s.work1, Checks));
  ASSERT_TRUE(FillSurface(s.work2, Checks));
  const PlatRect from{30, 40, 230, 140};
  ASSERT_EQ(CopySurfaceRect(s.work1, s.back, 5, 7, &from, 0), 0);
  ASSERT_EQ(CopySurfaceRect(s.work2, s.back, 5, 7, &from, 1), 0);
  PlatDDSurfaceDesc a{}, b{};
  a.size = b.size = sizeof a;
  ASSERT_EQ(PlatDDSurfaceLock(s.work1, nullptr, &a, 0), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceLock(s.work2, nullptr, &b, 0), PLAT_DD_OK);
  int differ = 0;
  for (uint32_t y = 0; y < a.height; y++)
    differ += std::memcmp(static_cast<uint8_t*>(a.surface) + y * uint32_t(a.pitch),
                          static_cast<uint8_t*>(b.surface) + y * uint32_t(b.pitch), a.width * 4) != 0;
  const uint32_t copied = *reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(a.surface) + 7 * a.pitch + 5 * 4);
  PlatDDSurfaceUnlock(s.work1, nullptr);
  PlatDDSurfaceUnlock(s.work2, nullptr);
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(copied & 0xFFFFFF, Stripes(30, 40));
  // -1 takes the method the mode change chose; a refused copy is -1 on both.
  EXPECT_EQ(CopySurfaceRect(s.work1, s.back, 0, 0, &from, -1), 0);
  const PlatRect outside{600, 400, 700, 500};
  EXPECT_EQ(CopySurfaceRect(s.work1, s.back, 0, 0, &outside, 0), -1);
  PlatGdiFakeFailNext("BitBlt", 1);
  EXPECT_EQ(CopySurfaceRect(s.work1, s.back, 0, 0, &from, 1), -1);
}

TEST_F(Present, TheTemporaryPrimaryIsShownByItsTimer) {
  ASSERT_EQ(SetUseTemporaryPrimary(1), 0);
  Start(DIRECTDRAW, 1, Desktop(32));
  const ScreenState& s = g_ScreenState;
  ASSERT_NE(s.temporaryPrimary, 0u);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), 0);
  for (Pattern pattern : {Stripes, Checks}) {
    ASSERT_TRUE(FillSurface(s.temporaryPrimary, pattern));
    PlatMsg m{};
    EXPECT_EQ(PlatPeekMessage(&m, window, PLAT_WM_TIMER, PLAT_WM_TIMER, PLAT_PM_REMOVE), 0);
    PlatClockAdvance(FRONT_REFRESH_MS);
    ASSERT_EQ(PlatPeekMessage(&m, window, PLAT_WM_TIMER, PLAT_WM_TIMER, PLAT_PM_REMOVE), 1);
    EXPECT_EQ(m.wParam, FRONT_REFRESH_TIMER);
    PlatDispatchMessage(&m);
    EXPECT_EQ(StoreDiffers(Shown(), pattern, 1.0), 0);
  }
  // Leaving the front screen stops the timer.
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  PlatClockAdvance(100);
  PlatMsg m{};
  EXPECT_EQ(PlatPeekMessage(&m, window, PLAT_WM_TIMER, PLAT_WM_TIMER, PLAT_PM_REMOVE), 0);
}

TEST_F(Present, TheGdiSurfaceModeActsOnlyOnAChange) {
  Start(DIRECTDRAW, 0, Desktop(32));
  g_ScreenState.gdiSurfaceState = -1;
  PlatDDrawFakeLogCalls(1);
  EXPECT_EQ(SetGdiSurfaceMode(1), 0);
  EXPECT_EQ(GetGdiSurfaceMode(), 1);
  EXPECT_EQ(g_ScreenState.gdiSurfaceState, 1);
  EXPECT_EQ(CallCount("FlipToGDISurface"), 1);
  EXPECT_EQ(GetDrawTargetHandle(), DRAW_SCREEN_BACK);
  // The full screen with the GDI surface blits instead of flipping.
  FillBack(Stripes);
  ASSERT_EQ(PresentScreenCore(), 0);
  EXPECT_EQ(CallCount("Flip"), 0);
  EXPECT_EQ(StoreDiffers(Shown(), Stripes, 1.0), 0);
  EXPECT_EQ(SetGdiSurfaceMode(1), 0);
  EXPECT_EQ(CallCount("FlipToGDISurface"), 1);
  EXPECT_EQ(SetGdiSurfaceMode(0), 0);
  EXPECT_EQ(g_ScreenState.gdiSurfaceState, 0);
  EXPECT_EQ(GetGdiSurfaceMode(), 0);
}
