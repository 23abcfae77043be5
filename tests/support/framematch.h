// The two runs of an end-to-end frame program: on the headless back ends it draws one frame
// and writes the window's client area to a file (0xRRGGBB, 4 bytes a pixel, row by row)
// and a PNG beside it; on a real X display it draws frame after frame until the client
// area of the screen Xvfb keeps in its -fbdir, reduced to 5:6:5, equals that frame reduced
// the same way, saves the screenshot and prints "matches the headless frame", and goes on
// until Escape.
//   <program> headless <frame>
//   <program> window <frame> <screen> <png>
// Exit 0 when the frame was written or matched, 1 when not (within 30 s), 77 where the
// engine cannot start.
#pragma once

#include "engine/engine.h"
#include "engine/state/sysdata.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"
#include "support/screenshot.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace framematch {

constexpr int32_t kW = 640, kH = 480;

inline std::vector<uint32_t> HeadlessClient() {
  std::vector<uint32_t> out;
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++) out.push_back(PlatHeadlessClientPixel(g_System.mainWindow, x, y));
  return out;
}

inline bool WriteFrame(const char* path, const std::vector<uint32_t>& frame) {
  FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(frame.data(), sizeof frame[0], frame.size(), file) == frame.size();
  return std::fclose(file) == 0 && written;
}

inline bool ReadFrame(const char* path, std::vector<uint32_t>* frame) {
  FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  frame->assign(size_t(kW) * kH, 0);
  const bool read = std::fread(frame->data(), sizeof (*frame)[0], frame->size(), file) == frame->size();
  std::fclose(file);
  return read;
}

// Pixels of the client area on the X screen that differ from the frame in 5:6:5 (-1: the
// screen cannot be read yet).
inline long Differences(const char* screenPath, const std::vector<uint32_t>& frame, std::vector<uint32_t>* shot,
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

// The program's main: the engine started in a 640 x 480 window, prepare() once (false:
// nothing to draw, with its own message), then drawFrame() for each frame (false: a draw
// failed). The engine is ended before it returns.
inline int Run(int argc, char** argv, const std::function<bool()>& prepare, const std::function<bool()>& drawFrame) {
  const bool headless = argc == 3 && std::strcmp(argv[1], "headless") == 0;
  const bool window = argc == 5 && std::strcmp(argv[1], "window") == 0;
  if (!headless && !window) {
    std::fprintf(stderr, "usage: %s headless <frame> | window <frame> <screen> <png>\n", argv[0]);
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
  if (!prepare()) {
  } else if (headless) {
    const std::string png = std::string(argv[2]) + ".png";
    if (!drawFrame()) std::fprintf(stderr, "a draw failed\n");
    else if (!WriteFrame(argv[2], HeadlessClient()) || !WriteRgbPng(png.c_str(), kW, kH, HeadlessClient()))
      std::fprintf(stderr, "the frame could not be written\n");
    else result = 0;
  } else {
    bool matched = false, drawn = true;
    std::vector<uint32_t> shot;
    const uint32_t start = PlatTimeMs();
    for (int i = 0; drawn; i++) {
      if (PumpMessages() != 0 || IsKeyDown(KEY_ESCAPE)) break;
      drawn = drawFrame();
      // A read of the screen is slow: every fifth frame until it shows the frame.
      if (!matched && i % 5 == 4 && Differences(argv[3], frame, &shot, false) == 0) {
        matched = WriteRgbPng(argv[4], kW, kH, shot);
        std::printf("matches the headless frame\n");
        std::fflush(stdout);
      }
      if (!matched && PlatTimeMs() - start > 30000) break;
      PlatSleep(20);
    }
    if (!drawn) std::fprintf(stderr, "a draw failed\n");
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

}  // namespace framematch
