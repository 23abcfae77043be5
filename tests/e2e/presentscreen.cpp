// End to end: a back screen filled with a test pattern through the screen state shows on a
// real X screen after PresentScreen.
//   presentscreen window <screen>      a 640 x 480 x 32 window: the client area equals
//                                      the pattern exactly
//   presentscreen fullscreen <screen>  640 x 480 x 16 full screen, scaled to the display:
//                                      the centres of the pattern's blocks show their
//                                      colours within what 5:6:5 loses
// <screen> is the XWD file Xvfb keeps in its -fbdir; the check is retried for 10 s while
// the window maps. Exit 0 shown, 1 failed, 77 where the engine cannot start.
#include "engine/engine.h"
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "support/backscreen.h"
#include "support/xwd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kW = 640, kH = 480, kBlock = 40;

// Every bit of every channel, and where on the screen a pixel came from: red and green
// are x and y modulo 256, blue says which 256-pixel band of each and a diagonal.
uint32_t Fine(int32_t x, int32_t y) {
  const uint32_t band = uint32_t(x >> 8) | uint32_t(y >> 8) << 2;
  return uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | band << 5 | (uint32_t(x + y) & 31);
}

// Blocks of 40 x 40 whose colours differ by more than 5:6:5 loses.
uint32_t Blocks(int32_t x, int32_t y) {
  const uint32_t bx = uint32_t(x / kBlock), by = uint32_t(y / kBlock);
  return bx * 16 << 16 | by * 20 << 8 | ((bx + by) & 1) * 0xF8;
}

bool Near(uint32_t got, uint32_t want) {
  for (int shift : {16, 8, 0}) {
    const int g = int(got >> shift & 0xFF), w = int(want >> shift & 0xFF);
    if (std::abs(g - w) > 8) return false;
  }
  return true;
}

// Pixels that differ (-1: no screen to read yet). In a window, every pixel of the client
// area; in full screen, the centre of every block, scaled to the screen.
long Differences(const char* screenPath, bool window, bool report) {
  XwdImage screen;
  if (!ReadXwd(screenPath, &screen)) return -1;
  long bad = 0;
  auto check = [&](int32_t sx, int32_t sy, uint32_t want, bool exact) {
    if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height) return bad++, void();
    const uint32_t got = screen.At(sx, sy);
    if (exact ? got == want : Near(got, want)) return;
    if (report && bad < 10) std::fprintf(stderr, "screen %d,%d: %06X, want %06X\n", sx, sy, got, want);
    bad++;
  };
  if (window) {
    PlatPoint origin{0, 0};
    PlatClientToScreen(g_System.mainWindow, &origin);
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++) check(origin.x + x, origin.y + y, Fine(x, y), true);
  } else {
    for (int32_t y = kBlock / 2; y < kH; y += kBlock)
      for (int32_t x = kBlock / 2; x < kW; x += kBlock)
        check(x * screen.width / kW, y * screen.height / kH, Blocks(x, y), false);
  }
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  const bool window = argc == 3 && std::strcmp(argv[1], "window") == 0;
  if (argc != 3 || (!window && std::strcmp(argv[1], "fullscreen") != 0)) {
    std::fprintf(stderr, "usage: presentscreen window|fullscreen <screen>\n");
    return 1;
  }
  g_System.settings.windowed = window ? 1 : 0;
  if (EngineInitCore() != 0) {
    std::fprintf(stderr, "the engine did not start\n");
    return 77;
  }
  int result = 1;
  if (SetScreenMode(kW, kH, window ? 32 : 16, 60) != 0) {
    std::fprintf(stderr, "no %s mode\n", window ? "32-bit window" : "16-bit full-screen");
  } else if (SetDrawTarget(DRAW_SCREEN_BACK) != 0 || !FillBackScreen(window ? Fine : Blocks)) {
    std::fprintf(stderr, "the back screen could not be filled\n");
  } else if (PresentScreen() != 0) {
    std::fprintf(stderr, "PresentScreen failed\n");
  } else {
    // Once presented, the frame is the display's: uploads go on while the window maps.
    long bad = -1;
    for (int i = 0; i < 100 && bad != 0; i++) {
      if (PumpMessages() != 0) break;
      PlatDisplayChanged();
      PlatSleep(100);
      if (i % 5 == 4) bad = Differences(argv[2], window, false);  // a read of the screen is slow
    }
    if (bad == 0) {
      result = 0;
    } else {
      Differences(argv[2], window, true);
      if (bad < 0) std::fprintf(stderr, "no screen to read in %s\n", argv[2]);
      else std::fprintf(stderr, "%ld pixels differ\n", bad);
    }
  }
  EngineEndCore();
  return result;
}
