// The display and its surfaces on SDL, each case in a child process of its own (the back
// end is chosen once per process): under the dummy video driver the upload reaches the
// window; under Xvfb the X screen, read back from its frame-buffer file, shows
// exactly what was blitted, in a window and scaled in full screen, and what a window's
// device context drew.
#include "platform/ddraw/ddraw.h"
#include "platform/display/display.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/window/sdl/sdlwindow.h"
#include "platform/window/window.h"
#include "support/virtualdisplay.h"
#include "support/xwd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char* ChildMarker() { return std::getenv("KR_DISPLAY_CHILD"); }

struct ChildRun {
  bool ran = false;
  int status = -1;
  std::string log;
};

std::string ReadFile(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
  }
  return out;
}

// Runs the test again in a child: prefix goes before the program (a server wrapper), env
// into its environment.
ChildRun RunChild(const std::string& test, const std::string& prefix, const std::string& env) {
  ChildRun run;
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return run;
  exe[n] = '\0';
  const std::string marker = std::string(P_tmpdir) + "/kr_display_" + std::to_string(getpid());
  std::remove(marker.c_str());
  const std::string command = prefix + " env KR_DISPLAY_CHILD='" + marker + "' KR_PLATFORM=sdl " + env +
                              " ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 '" + exe +
                              "' --gtest_filter=" + test + " >'" + marker + ".out' 2>&1";
  run.status = std::system(command.c_str());
  run.ran = ReadFile(marker) == "ran";
  run.log = ReadFile(marker + ".out");
  std::remove(marker.c_str());
  std::remove((marker + ".out").c_str());
  return run;
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

PlatWnd OpenWindow(int32_t x, int32_t y, int32_t w, int32_t h, bool fullScreen) {
  std::FILE* f = std::fopen(ChildMarker(), "w");
  if (f) {
    std::fputs("ran", f);
    std::fclose(f);
  }
  if (PlatWindowSelectBackend("sdl") != 0) return 0;
  PlatSetClassLockDirectory(nullptr);
  PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "DisplayTest"};
  if (!PlatRegisterClass(&wc)) return 0;
  PlatWnd window = PlatCreateWindow(0, "DisplayTest", "display", PLAT_WS_POPUP, x, y, w, h);
  if (!window) return 0;
  if (fullScreen) PlatSetWindowFullScreen(window, 1);
  PlatShowWindow(window, PLAT_SW_SHOW);
  return window;
}

void Pump() {
  PlatMsg m;
  while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) PlatDispatchMessage(&m);
}

// Draws until the screen shows what it should (the window may be mapped late), reading
// the screen from the frame-buffer file when there is one; true when it matched.
template <typename Draw, typename Check>
bool DrawUntilShown(Draw draw, Check check) {
  const char* dir = std::getenv("KR_FBDIR");
  for (int attempt = 0; attempt < 60; attempt++) {
    draw();
    Pump();
    if (!dir) return true;
    usleep(50000);
    XwdImage screen;
    if (ReadXwd(std::string(dir) + "/Xvfb_screen0", &screen) && check(screen)) return true;
  }
  return false;
}

uint32_t Pattern(int32_t x, int32_t y) { return uint32_t(x * 7 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | uint32_t((x + y) & 0xFF); }

// The screen shows the pattern at the test window's client area, (100, 80) to (300, 230).
bool PatternAtTheClientArea(const XwdImage& screen) {
  for (int32_t y = 0; y < 150; y++)
    for (int32_t x = 0; x < 200; x++)
      if (screen.At(100 + x, 80 + y) != Pattern(x, y)) return false;
  return true;
}

// A window at (100, 80) of 200 x 150: a pattern blitted onto the primary at its client
// rectangle reaches the window and, on a real screen, the same pixels of the screen.
void PatternInAWindow() {
  const PlatWnd window = OpenWindow(100, 80, 200, 150, false);
  ASSERT_NE(window, 0u);
  PlatDDraw dd = 0;
  ASSERT_EQ(PlatDDrawCreate(&dd), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  PlatDisplayMode desktop;
  PlatDisplayGetDesktopMode(&desktop);
  ASSERT_EQ(desktop.depth, 32);
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS;
  d.caps = PLAT_DDSCAPS_PRIMARYSURFACE;
  PlatDDSurface primary = 0, back = 0;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &primary), PLAT_DD_OK);
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT;
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN;
  d.width = 200;
  d.height = 150;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &back), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceLock(back, nullptr, &d, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
  for (int32_t y = 0; y < 150; y++)
    for (int32_t x = 0; x < 200; x++)
      reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x] = Pattern(x, y);
  ASSERT_EQ(PlatDDSurfaceUnlock(back, nullptr), PLAT_DD_OK);
  PlatDDClipper clipper = 0;
  ASSERT_EQ(PlatDDrawCreateClipper(dd, 0, &clipper), PLAT_DD_OK);
  ASSERT_EQ(PlatDDClipperSetHWnd(clipper, 0, window), PLAT_DD_OK);
  ASSERT_EQ(PlatDDSurfaceSetClipper(primary, clipper), PLAT_DD_OK);

  const uint32_t uploads = PlatDisplayUploadCount();
  const PlatRect client{100, 80, 300, 230};
  const bool shown = DrawUntilShown(
      [&] { ASSERT_EQ(PlatDDSurfaceBlt(primary, &client, back, nullptr, PLAT_DDBLT_WAIT, nullptr), PLAT_DD_OK); },
      PatternAtTheClientArea);
  EXPECT_TRUE(shown);
  EXPECT_GT(PlatDisplayUploadCount(), uploads);
  EXPECT_EQ(PlatDisplayReadRgb(100 + 13, 80 + 17), Pattern(13, 17));
  PlatDDrawRelease(dd);
  PlatDestroyWindow(window);
}

// Full screen at 640 x 480 x 16: blocks of colour on the primary fill the 1024 x 768
// screen, scaled by nearest; each block's centre is compared within what 5:6:5 loses.
void BlocksInFullScreen() {
  const PlatWnd window = OpenWindow(0, 0, 640, 480, true);
  ASSERT_NE(window, 0u);
  PlatDDraw dd = 0;
  ASSERT_EQ(PlatDDrawCreate(&dd), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE), PLAT_DD_OK);
  ASSERT_EQ(PlatDDrawSetDisplayMode(dd, 640, 480, 16, 60), PLAT_DD_OK);
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS;
  d.caps = PLAT_DDSCAPS_PRIMARYSURFACE;
  PlatDDSurface primary = 0;
  ASSERT_EQ(PlatDDrawCreateSurface(dd, &d, &primary), PLAT_DD_OK);
  auto block = [](int bx, int by) { return uint32_t((bx * 4 + 3) << 11 | (by * 10 + 5) << 5 | ((bx + by) * 2 + 1)); };
  const bool shown = DrawUntilShown(
      [&] {
        for (int by = 0; by < 6; by++)
          for (int bx = 0; bx < 8; bx++) {
            const PlatRect r{bx * 80, by * 80, bx * 80 + 80, by * 80 + 80};
            PlatDDBltFx fx{sizeof fx, block(bx, by), 0};
            ASSERT_EQ(PlatDDSurfaceBlt(primary, &r, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
          }
      },
      [&](const XwdImage& screen) {
        if (screen.width != 1024 || screen.height != 768) return false;
        for (int by = 0; by < 6; by++)
          for (int bx = 0; bx < 8; bx++) {
            const uint32_t got = screen.At((bx * 80 + 40) * 1024 / 640, (by * 80 + 40) * 768 / 480);
            const uint32_t v = block(bx, by);
            const int want[3] = {int(v >> 11) << 3, int((v >> 5) & 63) << 2, int(v & 31) << 3};
            const int have[3] = {int(got >> 16), int((got >> 8) & 0xFF), int(got & 0xFF)};
            for (int c = 0; c < 3; c++)
              if (have[c] < want[c] || have[c] > want[c] + (c == 1 ? 3 : 7)) return false;
          }
        return true;
      });
  EXPECT_TRUE(shown);
  PlatDDrawRelease(dd);
  PlatDestroyWindow(window);
}

void ExpectChildPassed(const ChildRun& run) {
  EXPECT_TRUE(run.ran) << run.log;
  EXPECT_EQ(run.status, 0) << run.log;
}

}  // namespace

TEST(DisplaySdl, ABlitOntoThePrimaryReachesTheWindowUnderTheDummyDriver) {
  if (ChildMarker()) return PatternInAWindow();
  ExpectChildPassed(RunChild("DisplaySdl.ABlitOntoThePrimaryReachesTheWindowUnderTheDummyDriver", "",
                             "SDL_VIDEODRIVER=dummy"));
}

namespace {

ChildRun RunUnderXvfb(const std::string& test, bool* available, const std::string& env = "") {
  *available = HaveVirtualDisplay();
  if (!*available) return {};
  char dir[] = "/tmp/kr_fb_XXXXXX";
  if (!mkdtemp(dir)) return {};
  ChildRun run = RunChild(test, OnVirtualDisplay(std::string("-fbdir ") + dir),
                          std::string("KR_FBDIR=") + dir + " SDL_VIDEODRIVER=x11 " + env);
  std::remove((std::string(dir) + "/Xvfb_screen0").c_str());
  rmdir(dir);
  return run;
}

// Runs the test in a child under Xvfb and expects it to pass; skipped without an X server.
void ExpectPassedUnderXvfb(const std::string& test, const std::string& env = "") {
  bool available = false;
  const ChildRun run = RunUnderXvfb(test, &available, env);
  if (!available || !run.ran) GTEST_SKIP() << "no X server could start";
  ExpectChildPassed(run);
}

}  // namespace

TEST(DisplaySdl, TheXScreenShowsThePatternInTheWindowsClientArea) {
  if (ChildMarker()) return PatternInAWindow();
  ExpectPassedUnderXvfb("DisplaySdl.TheXScreenShowsThePatternInTheWindowsClientArea");
}

// SDL's software renderer takes the store into the window's framebuffer without its
// texture: the screen shows the same pixels.
TEST(DisplaySdl, TheSoftwareRenderersFramebufferShowsTheSamePixels) {
  if (ChildMarker()) return PatternInAWindow();
  ExpectPassedUnderXvfb("DisplaySdl.TheSoftwareRenderersFramebufferShowsTheSamePixels", "SDL_RENDER_DRIVER=software");
}

TEST(DisplaySdl, AFullScreenStoreFillsTheXScreenScaled) {
  if (ChildMarker()) return BlocksInFullScreen();
  ExpectPassedUnderXvfb("DisplaySdl.AFullScreenStoreFillsTheXScreenScaled");
}

namespace {

// The same window: a bottom-up 24-bit DIB drawn on its device context shows at the client
// area, exactly.
void DibOnTheWindowDC() {
  const PlatWnd window = OpenWindow(100, 80, 200, 150, false);
  ASSERT_NE(window, 0u);
  const PlatDC dc = PlatGdiGetDC(window);
  ASSERT_NE(dc, 0u);
  PlatBitmapInfo info{};
  info.header = {40, 200, 150, 1, 24, PLAT_BI_RGB, 0, 0, 0, 0, 0};
  const size_t stride = 600;
  std::vector<uint8_t> bits(stride * 150);
  for (int32_t y = 0; y < 150; y++)
    for (int32_t x = 0; x < 200; x++) {
      uint8_t* p = bits.data() + size_t(149 - y) * stride + size_t(x) * 3;
      const uint32_t v = Pattern(x, y);
      p[0] = uint8_t(v);
      p[1] = uint8_t(v >> 8);
      p[2] = uint8_t(v >> 16);
    }
  const bool shown = DrawUntilShown(
      [&] {
        ASSERT_EQ(PlatGdiSetDIBitsToDevice(dc, 0, 0, 200, 150, 0, 0, 0, 150, bits.data(), bits.size(), &info, 0), 150);
      },
      PatternAtTheClientArea);
  EXPECT_TRUE(shown);
  EXPECT_EQ(PlatDisplayReadRgb(100 + 13, 80 + 17), Pattern(13, 17));
  PlatGdiReleaseDC(window, dc);
  PlatDestroyWindow(window);
}

}  // namespace

TEST(DisplaySdl, ADibOnTheWindowsDeviceContextShowsOnTheXScreen) {
  if (ChildMarker()) return DibOnTheWindowDC();
  ExpectPassedUnderXvfb("DisplaySdl.ADibOnTheWindowsDeviceContextShowsOnTheXScreen");
}
