// End to end: lines of Japanese text drawn by the engine on the back screen of a 640 x 480
// window and presented, frame after frame, until Escape:
//   - in the default font, an edged font, an anti-aliased font and an anti-aliased edged one;
//   - a vertical line, a line at half brightness and a line in subtract blend.
// One line holds ソ, whose second byte is a backslash.
//   textlines headless <frame>
//       on the headless back ends: one frame, its client area written to <frame> (0xRRGGBB,
//       4 bytes a pixel, row by row) and to <frame>.png
//   textlines window <frame> <screen> <png>
//       on the SDL back ends (a real X display): the client area of <screen> (the XWD file
//       Xvfb keeps in its -fbdir), reduced to 5:6:5, is compared with <frame> reduced the
//       same way; once they are equal the screenshot goes to <png> and "matches" is
//       printed; Escape ends the program. Exit 0 when it matched, 1 when not (within
//       30 s), 77 where the engine cannot start.
#include "engine/engine.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/drawsettings.h"
#include "engine/system/sysdata.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"
#include "support/backscreen.h"
#include "support/screenshot.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kW = 640, kH = 480;

// Dark blue above, a light band at the bottom for the subtracted line.
uint32_t Background(int32_t, int32_t y) { return y >= 400 ? 0xE0E0C0u : 0x102040u; }

struct Fonts {
  int32_t edged = -1, smooth = -1, smoothEdged = -1;
};

// One frame: every line drawn on the back screen, then presented.
bool DrawFrame(const Fonts& f) {
  if (!FillBackScreen(Background)) return false;
  const uint32_t white = PackScreenColor(255, 255, 255), black = PackScreenColor(0, 0, 0);
  bool ok = DrawTextDefaultFont(16, 16, "既定のフォント：日本語のソフト ABC", white, 0) == 0;
  ok &= DrawStringWithFont(16, 56, "縁付きフォント：ソース表示", PackScreenColor(255, 224, 64), f.edged,
                           PackScreenColor(160, 0, 0), 0) == 0;
  ok &= DrawStringWithFont(16, 100, "アンチエイリアス：漢字とかな", white, f.smooth, 0, 0) == 0;
  ok &= DrawStringWithFont(16, 144, "縁付きアンチエイリアス：字形", PackScreenColor(128, 255, 160), f.smoothEdged,
                           black, 0) == 0;
  ok &= DrawStringWithFont(580, 16, "縦書きの行です", white, f.edged, PackScreenColor(0, 0, 160), 1) == 0;
  SetBrightness(128, 128, 128);
  ok &= DrawTextDefaultFont(16, 200, "明るさ半分の行：ソフトウェア", white, 0) == 0;
  SetBrightness(255, 255, 255);
  SetBlendState(BLEND_SUBTRACT, 255);
  ok &= DrawStringWithFont(16, 420, "減算ブレンドの行：ソ", PackScreenColor(0, 160, 160), f.smooth, 0, 0) == 0;
  SetBlendState(BLEND_COPY, 0);
  return ok && PresentScreen() == 0;
}

std::vector<uint32_t> HeadlessClient() {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++) out.push_back(PlatHeadlessClientPixel(g_System.mainWindow, x, y));
  return out;
}

bool WriteFrame(const char* path, const std::vector<uint32_t>& frame) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(frame.data(), sizeof frame[0], frame.size(), file) == frame.size();
  return std::fclose(file) == 0 && written;
}

bool ReadFrame(const char* path, std::vector<uint32_t>* frame) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  frame->assign(size_t(kW) * kH, 0);
  const bool read = std::fread(frame->data(), sizeof (*frame)[0], frame->size(), file) == frame->size();
  std::fclose(file);
  return read;
}

// Pixels of the client area on the X screen that differ from the frame in 5:6:5 (-1: the
// screen cannot be read yet).
long Differences(const char* screenPath, const std::vector<uint32_t>& frame, std::vector<uint32_t>* shot,
                 bool report) {
  PlatPoint origin{0, 0};
  PlatClientToScreen(g_System.mainWindow, &origin);
  if (!ScreenshotArea(screenPath, origin.x, origin.y, kW, kH, shot)) return -1;
  long bad = 0;
  for (size_t k = 0; k < frame.size(); k++)
    if (ReduceTo565((*shot)[k]) != ReduceTo565(frame[k]) && bad++ < 10 && report)
      std::fprintf(stderr, "(%zu, %zu): %06X on the screen, %06X headless\n", k % kW, k / kW, (*shot)[k], frame[k]);
  return bad;
}

}  // namespace

int main(int argc, char** argv) {
  const bool headless = argc == 3 && std::strcmp(argv[1], "headless") == 0;
  const bool window = argc == 5 && std::strcmp(argv[1], "window") == 0;
  if (!headless && !window) {
    std::fprintf(stderr, "usage: textlines headless <frame> | window <frame> <screen> <png>\n");
    return 1;
  }
  std::vector<uint32_t> frame;
  if (window && !ReadFrame(argv[2], &frame)) {
    std::fprintf(stderr, "no headless frame in %s\n", argv[2]);
    return 1;
  }
  ChangeWindowMode(1);
  if (EngineInit() != 0) {
    std::fprintf(stderr, "the engine did not start\n");
    return 77;
  }
  int result = 1;
  // The game's screen (a window takes the desktop's depth, as the game lets it); a mode
  // change deletes every font, so the fonts come after it.
  SetScreenMode(kW, kH, 16, 60);
  const bool screen = SetDrawTarget(DRAW_SCREEN_BACK) == 0;
  Fonts f;
  f.edged = CreateFontToHandle(nullptr, 24, -1, 1, -1, 2, 0, -1, -1);
  f.smooth = CreateFontToHandle(nullptr, 24, -1, 2, -1, -1, 0, -1, -1);
  f.smoothEdged = CreateFontToHandle(nullptr, 24, -1, 3, -1, 2, 0, -1, -1);
  if (!screen) {
    std::fprintf(stderr, "no back screen to draw on\n");
  } else if (f.edged == -1 || f.smooth == -1 || f.smoothEdged == -1) {
    std::fprintf(stderr, "the fonts could not be made\n");
  } else if (headless) {
    const std::string png = std::string(argv[2]) + ".png";
    if (!DrawFrame(f)) std::fprintf(stderr, "a line was not drawn\n");
    else if (!WriteFrame(argv[2], HeadlessClient()) || !WriteRgbPng(png.c_str(), kW, kH, HeadlessClient()))
      std::fprintf(stderr, "the frame could not be written\n");
    else result = 0;
  } else {
    bool matched = false, drawn = true;
    std::vector<uint32_t> shot;
    const uint32_t start = PlatTimeMs();
    for (int i = 0; drawn; i++) {
      if (PumpMessages() != 0 || IsKeyDown(KEY_ESCAPE)) break;
      drawn = DrawFrame(f);
      // A read of the screen is slow: every fifth frame until it shows the lines.
      if (!matched && i % 5 == 4 && Differences(argv[3], frame, &shot, false) == 0) {
        matched = WriteRgbPng(argv[4], kW, kH, shot);
        std::printf("matches the headless frame\n");
        std::fflush(stdout);
      }
      if (!matched && PlatTimeMs() - start > 30000) break;
      PlatSleep(20);
    }
    if (!drawn) std::fprintf(stderr, "a line was not drawn\n");
    if (!matched) {
      const long bad = Differences(argv[3], frame, &shot, true);
      if (bad < 0) std::fprintf(stderr, "no screen to read in %s\n", argv[3]);
      else std::fprintf(stderr, "%ld pixels differ\n", bad);
    }
    result = matched && drawn ? 0 : 1;
  }
  EngineEnd();
  return result;
}
