// End to end: what a game draws each frame, through the engine's public entry points, on a
// real X display (Xvfb): a clear, filled and outlined boxes, a keyed graph, a mirrored
// stretched graph and graphs mixed, added and subtracted at 128, from a sprite sheet the
// program writes as a PNG file and loads with LoadSplitGraph; then the same after a change
// of the screen mode to 800 x 600 and, in full screen, after the window lost and regained
// the focus (every surface lost, the graphs reloaded from their file).
//   draw_screen run window|fullscreen|gdi <dir>
//       runs in <dir>. At each stage it draws, writes the expected picture (the display
//       store's client area as the layer holds it) to <dir>/expected-N.bin and a line
//       describing the stage to <dir>/stage-N.txt, then keeps drawing frames until
//       <dir>/go-N appears (the script's cue, within 60 s). "gdi" is a window in the mode
//       without DirectDraw. Exit 0, 1 failed, 77 where the engine cannot start.
//   draw_screen check <dir> <N> <screen> [<png>]
//       compares stage N's expected picture with <screen> (the XWD file Xvfb keeps in its
//       -fbdir): a window exactly on its client area, full screen (scaled) at the centres
//       of even areas within what 5:6:5 loses; and both against the colours the layout
//       must show, so that a black or stale screen cannot pass. The shown area goes to
//       <png>. Exit 0 shown, 1 not (yet), 2 the expected picture itself is wrong.
#include "engine/engine.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/services.h"
#include "engine/state/sysdata.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/window/sdl/sdlwindow.h"
#include "platform/window/window.h"
#include "support/screenshot.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr int32_t kCell = 32, kCells = 4;
constexpr const char* kSheet = "drawsheet.png";

// ---- the sheet and the layout -------------------------------------------------------------

constexpr uint32_t kOrange = 0xFF8000, kGreen = 0x00C800, kYellow = 0xF8F800, kBlendSource = 0xC8A050;

// Cell 0: orange inside a 4-pixel frame of the colour key (black). Cell 1: green on the
// left, yellow on the right, to show a mirror. Cell 2: one colour for the blends. Cell 3:
// a gradient, unused but loaded.
uint32_t SheetPixel(int32_t x, int32_t y) {
  const int32_t cell = x / kCell, cx = x % kCell, cy = y;
  switch (cell) {
    case 0: return cx < 4 || cy < 4 || cx >= kCell - 4 || cy >= kCell - 4 ? 0 : kOrange;
    case 1: return cx < kCell / 2 ? kGreen : kYellow;
    case 2: return kBlendSource;
    default: return uint32_t(cx * 8) << 16 | uint32_t(cy * 8) << 8 | 0x40;
  }
}

bool WriteSheet() {
  std::vector<uint32_t> rgb;
  for (int32_t y = 0; y < kCell; y++)
    for (int32_t x = 0; x < kCell * kCells; x++) rgb.push_back(SheetPixel(x, y));
  return WriteRgbPng(kSheet, kCell * kCells, kCell, rgb);
}

// One picture per stage: the variant moves everything and changes the backdrop, so that a
// screen still showing the stage before does not pass.
struct Layout {
  int32_t width, height, ox, oy;
  uint32_t backdrop;
};

Layout LayoutOf(int32_t width, int32_t height, int32_t variant) {
  static constexpr uint32_t kBackdrops[] = {0x283C68, 0x602848, 0x205840};
  return {width, height, variant * 70, variant * 50, kBackdrops[variant % 3]};
}

constexpr int32_t kBlendModes[] = {BLEND_MIX, BLEND_ADD, BLEND_SUBTRACT};
constexpr int32_t kBlendParam = 128;

uint32_t Pack(uint32_t rgb) { return PackScreenColor(int32_t(rgb >> 16), int32_t(rgb >> 8 & 0xFF), int32_t(rgb & 0xFF)); }

bool DrawFrame(const Layout& l, const int32_t* cells) {
  const int32_t x = l.ox, y = l.oy;
  bool ok = ClearDrawTarget() == 0;
  // The bottom band keeps the clear's black.
  ok &= DrawColorBox(0, 0, l.width, l.height - 40, Pack(l.backdrop), 1) == 0;
  ok &= DrawColorBox(x + 40, y + 40, x + 200, y + 140, Pack(0xFF0000), 1) == 0;
  ok &= DrawColorBox(x + 240, y + 40, x + 400, y + 140, Pack(0x00FF00), 0) == 0;
  ok &= DrawGraphAt(x + 440, y + 40, cells[0], 1) == 0;
  ok &= DrawGraphStretched(x + 40 + 128, y + 180, x + 40, y + 180 + 128, cells[1], 0) == 0;
  for (int i = 0; i < 3; i++) {
    SetBlendState(kBlendModes[i], kBlendParam);
    ok &= DrawGraphStretched(x + 240 + i * 80, y + 200, x + 240 + i * 80 + 64, y + 264, cells[2], 0) == 0;
  }
  SetBlendState(BLEND_COPY, 0);
  return ok && PresentScreen() == 0;
}

// A colour the picture must hold at a point; thin ones (a line one pixel wide) are not
// looked for on a scaled screen.
struct Probe {
  int32_t x, y;
  uint32_t rgb;
  const char* what;
  bool thin;
};

uint32_t Blend(int32_t mode, uint32_t dst, uint32_t src) {
  uint32_t out = 0;
  for (int shift : {16, 8, 0}) {
    const int32_t d = int32_t(dst >> shift & 0xFF), s = int32_t(src >> shift & 0xFF);
    int32_t v = mode == BLEND_MIX   ? d + (s - d) * kBlendParam / 255
                : mode == BLEND_ADD ? d + s * kBlendParam / 255
                                    : d - s * kBlendParam / 255;
    out |= uint32_t(std::clamp(v, 0, 255)) << shift;
  }
  return out;
}

std::vector<Probe> ProbesOf(const Layout& l) {
  const int32_t x = l.ox, y = l.oy;
  std::vector<Probe> p = {
      {l.width / 2, l.height - 20, 0x000000, "the clear's band", false},
      {10, 10, l.backdrop, "the backdrop", false},
      {x + 120, y + 90, 0xFF0000, "the filled red box", false},
      {x + 240, y + 90, 0x00FF00, "the outline's left edge", true},
      {x + 320, y + 40, 0x00FF00, "the outline's top edge", true},
      {x + 320, y + 90, l.backdrop, "inside the outline", false},
      {x + 456, y + 56, kOrange, "the keyed graph", false},
      {x + 442, y + 42, l.backdrop, "the keyed graph's key", false},
      {x + 72, y + 244, kYellow, "the mirrored graph's left", false},
      {x + 136, y + 244, kGreen, "the mirrored graph's right", false},
  };
  static const char* kNames[] = {"the graph mixed at 128", "the graph added at 128", "the graph subtracted at 128"};
  for (int i = 0; i < 3; i++)
    p.push_back({x + 272 + i * 80, y + 232, Blend(kBlendModes[i], l.backdrop, kBlendSource), kNames[i], false});
  return p;
}

bool Near(uint32_t got, uint32_t want, int tolerance) {
  for (int shift : {16, 8, 0})
    if (std::abs(int(got >> shift & 0xFF) - int(want >> shift & 0xFF)) > tolerance) return false;
  return true;
}

// ---- a stage ------------------------------------------------------------------------------

struct Stage {
  int32_t window, width, height, variant, left, top;
};

std::string StageFile(const char* dir, int n, const char* kind) { return std::string(dir) + "/" + kind + "-" + std::to_string(n); }

bool WriteStage(const char* dir, int n, const Stage& s, const std::vector<uint32_t>& expected) {
  const std::string bin = StageFile(dir, n, "expected") + ".bin", txt = StageFile(dir, n, "stage") + ".txt";
  FILE* f = std::fopen(bin.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(expected.data(), sizeof expected[0], expected.size(), f) == expected.size();
  ok &= std::fclose(f) == 0;
  const std::string tmp = txt + ".tmp";
  f = std::fopen(tmp.c_str(), "w");
  if (!f) return false;
  ok &= std::fprintf(f, "%d %d %d %d %d %d\n", s.window, s.width, s.height, s.variant, s.left, s.top) > 0;
  ok &= std::fclose(f) == 0;
  return ok && std::rename(tmp.c_str(), txt.c_str()) == 0;
}

bool ReadStage(const char* dir, int n, Stage* s, std::vector<uint32_t>* expected) {
  FILE* f = std::fopen((StageFile(dir, n, "stage") + ".txt").c_str(), "r");
  if (!f) return false;
  const bool read = std::fscanf(f, "%d %d %d %d %d %d", &s->window, &s->width, &s->height, &s->variant, &s->left,
                                &s->top) == 6;
  std::fclose(f);
  if (!read || s->width <= 0 || s->height <= 0 || s->width > 4096 || s->height > 4096) return false;
  f = std::fopen((StageFile(dir, n, "expected") + ".bin").c_str(), "rb");
  if (!f) return false;
  expected->assign(size_t(s->width) * size_t(s->height), 0);
  const bool all = std::fread(expected->data(), sizeof (*expected)[0], expected->size(), f) == expected->size();
  std::fclose(f);
  return all;
}

// Draws the stage's picture, writes it as the layer holds it, and draws on until the cue.
bool RunStage(const char* dir, int n, bool window, int32_t width, int32_t height, int32_t variant,
              const int32_t* cells) {
  const Layout l = LayoutOf(width, height, variant);
  if (!DrawFrame(l, cells)) {
    std::fprintf(stderr, "stage %d: a draw failed\n", n);
    return false;
  }
  Stage s{window ? 1 : 0, width, height, variant, 0, 0};
  if (window) {
    PlatPoint origin{0, 0};
    PlatClientToScreen(g_System.mainWindow, &origin);
    s.left = origin.x, s.top = origin.y;
  }
  std::vector<uint32_t> expected(size_t(width) * size_t(height));
  const PlatRect client{s.left, s.top, s.left + width, s.top + height};
  if (PlatDisplayReadRect(client, expected.data()) != 0 || !WriteStage(dir, n, s, expected)) {
    std::fprintf(stderr, "stage %d: the expected picture could not be kept\n", n);
    return false;
  }
  std::printf("stage %d drawn: %dx%d at %d,%d; %u uploads so far\n", n, width, height, s.left, s.top,
              PlatDisplayUploadCount());
  std::fflush(stdout);
  const std::string cue = StageFile(dir, n, "go");
  for (const uint32_t start = PlatTimeMs(); access(cue.c_str(), F_OK) != 0;) {
    if (PumpMessages() != 0) {
      std::fprintf(stderr, "stage %d: the window ended\n", n);
      return false;
    }
    if (!DrawFrame(l, cells)) {
      std::fprintf(stderr, "stage %d: a draw failed\n", n);
      return false;
    }
    if (PlatTimeMs() - start > 60000) {
      std::fprintf(stderr, "stage %d: no cue\n", n);
      return false;
    }
    PlatSleep(20);
  }
  return true;
}

// The window loses the focus and gets it back, as the user switching away and back. The
// events go through SDL's queue from a thread of their own: once inactive, the main thread
// waits in the pump until the window is active again. The loss of the full-screen display
// says the focus really left.
bool LoseAndRegainFocus() {
  const PlatWnd window = g_System.mainWindow;
  const uint32_t losses = PlatDisplayLossCount();
  std::atomic<bool> back{false};
  std::thread user([window, &back] {
    PlatSdlPushFocus(window, 0);
    PlatSleep(800);
    PlatSdlPushFocus(window, 1);
    back = true;
  });
  for (const uint32_t start = PlatTimeMs(); (!back || g_System.windowActive == 0) && PlatTimeMs() - start < 10000;
       PlatSleep(10))
    if (PumpMessages() != 0) break;
  user.join();
  const uint32_t lost = PlatDisplayLossCount() - losses;
  std::printf("focus lost and %s; %u display losses\n", g_System.windowActive ? "regained" : "not regained", lost);
  return lost != 0 && g_System.windowActive != 0;
}

// The game's screen: 16 bits asked for, and not checked, since a window keeps the
// desktop's depth (the mode then is not the one asked for). A mode change deletes every
// graph: the sheet is loaded after it.
bool ScreenAndSheet(int32_t width, int32_t height, int32_t* cells) {
  SetScreenMode(width, height, 16, 60);
  int32_t w = 0, h = 0, depth = 0;
  QueryScreenFormat(&w, &h, &depth);
  std::printf("screen %dx%dx%d\n", w, h, depth);
  if (w != width || h != height || SetDrawTarget(DRAW_SCREEN_BACK) != 0) {
    std::fprintf(stderr, "no %dx%d screen to draw on\n", width, height);
    return false;
  }
  if (LoadSplitGraph(kSheet, kCells, kCells, 1, kCell, kCell, cells, 0) != 0) {
    std::fprintf(stderr, "the sheet did not load\n");
    return false;
  }
  return true;
}

int Run(const char* kind, const char* dir) {
  const bool gdi = std::strcmp(kind, "gdi") == 0, window = gdi || std::strcmp(kind, "window") == 0;
  if (!window && std::strcmp(kind, "fullscreen") != 0) return 2;
  if (!WriteSheet()) {
    std::fprintf(stderr, "the sheet could not be written\n");
    return 1;
  }
  if (gdi) SetHardwareRendering(0);
  ChangeWindowMode(window ? 1 : 0);
  if (EngineInit() != 0) {
    std::fprintf(stderr, "the engine did not start\n");
    return 77;
  }
  int32_t cells[kCells];
  bool ok = ScreenAndSheet(640, 480, cells);
  if (gdi && IsDirectDrawUsed()) {
    std::fprintf(stderr, "the GDI run renders through DirectDraw\n");
    ok = false;
  }
  ok = ok && RunStage(dir, 0, window, 640, 480, 0, cells);
  ok = ok && ScreenAndSheet(800, 600, cells);
  ok = ok && RunStage(dir, 1, window, 800, 600, 1, cells);
  if (ok && !window) ok = LoseAndRegainFocus() && RunStage(dir, 2, window, 800, 600, 2, cells);
  EngineEnd();
  return ok ? 0 : 1;
}

// ---- the check ----------------------------------------------------------------------------

int Check(const char* dir, int n, const char* screenPath, const char* png) {
  Stage s{};
  std::vector<uint32_t> expected;
  if (!ReadStage(dir, n, &s, &expected)) {
    std::fprintf(stderr, "stage %d: nothing to check\n", n);
    return 2;
  }
  const int32_t w = s.width, h = s.height;
  auto at = [&](const std::vector<uint32_t>& v, int32_t x, int32_t y) { return v[size_t(y) * size_t(w) + size_t(x)]; };
  const std::vector<Probe> probes = ProbesOf(LayoutOf(w, h, s.variant));
  int wrong = 0;
  for (const Probe& p : probes)
    if (!Near(at(expected, p.x, p.y), p.rgb, 12)) {
      std::fprintf(stderr, "the layer holds %06X at %d,%d for %s, want %06X\n", at(expected, p.x, p.y), p.x, p.y, p.what,
                   p.rgb);
      wrong++;
    }
  if (wrong) return 2;

  XwdImage screen;
  if (!ReadXwd(screenPath, &screen)) return 1;
  long bad = 0;
  auto report = [&](const char* what, int32_t x, int32_t y, uint32_t got, uint32_t want) {
    if (bad++ < 10) std::fprintf(stderr, "%s at %d,%d: %06X on the screen, want %06X\n", what, x, y, got, want);
  };
  std::vector<uint32_t> shown;
  if (s.window) {
    if (!ScreenshotArea(screenPath, s.left, s.top, w, h, &shown)) return 1;
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++)
        if (at(shown, x, y) != at(expected, x, y)) report("pixel", x, y, at(shown, x, y), at(expected, x, y));
    for (const Probe& p : probes)
      if (!Near(at(shown, p.x, p.y), p.rgb, 12)) report(p.what, p.x, p.y, at(shown, p.x, p.y), p.rgb);
  } else {
    shown = screen.rgb;
    // The store scaled, nearest, to the whole screen: where a pixel lands.
    auto mapped = [&](int32_t x, int32_t y) {
      return screen.At(int32_t((int64_t(x) * 2 + 1) * screen.width / (2 * w)),
                       int32_t((int64_t(y) * 2 + 1) * screen.height / (2 * h)));
    };
    // Xvfb keeps its pointer, and draws it, at the centre of the screen.
    auto underPointer = [&](int32_t x, int32_t y) {
      const int64_t sx = (int64_t(x) * 2 + 1) * screen.width / (2 * w), sy = (int64_t(y) * 2 + 1) * screen.height / (2 * h);
      return std::abs(sx - screen.width / 2) < 20 && std::abs(sy - screen.height / 2) < 20;
    };
    auto even = [&](int32_t x, int32_t y) {
      if (underPointer(x, y)) return false;
      for (int32_t dy = -2; dy <= 2; dy++)
        for (int32_t dx = -2; dx <= 2; dx++)
          if (at(expected, x + dx, y + dy) != at(expected, x, y)) return false;
      return true;
    };
    for (int32_t y = 4; y < h - 4; y += 8)
      for (int32_t x = 4; x < w - 4; x += 8)
        if (even(x, y) && !Near(mapped(x, y), at(expected, x, y), 8)) report("area", x, y, mapped(x, y), at(expected, x, y));
    for (const Probe& p : probes)
      if (!p.thin && !underPointer(p.x, p.y) && !Near(mapped(p.x, p.y), p.rgb, 12)) report(p.what, p.x, p.y, mapped(p.x, p.y), p.rgb);
  }
  if (png) {
    const int32_t pw = s.window ? w : screen.width, ph = s.window ? h : screen.height;
    if (!WriteRgbPng(png, pw, ph, shown)) std::fprintf(stderr, "%s could not be written\n", png);
  }
  if (bad) std::fprintf(stderr, "stage %d: %ld differences\n", n, bad);
  return bad ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "run") == 0) return Run(argv[2], argv[3]);
  if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "check") == 0)
    return Check(argv[2], std::atoi(argv[3]), argv[4], argc == 6 ? argv[5] : nullptr);
  std::fprintf(stderr, "usage: draw_screen run window|fullscreen|gdi <dir> | check <dir> <N> <screen> [<png>]\n");
  return 2;
}
