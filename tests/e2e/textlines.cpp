// End to end: lines of Japanese text drawn by the engine on the back screen of a 640 x 480
// window and presented, frame after frame, until Escape:
//   - in the default font, an edged font, an anti-aliased font and an anti-aliased edged one;
//   - a vertical line, a line at half brightness and a line in subtract blend.
// One line holds ソ, whose second byte is a backslash. The fonts' glyph caches are
// textures while the Direct3D renderer draws, and in memory otherwise.
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
#include "engine/state/sysdata.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"
#include "support/backscreen.h"
#include "support/framematch.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using framematch::kH;
using framematch::kW;

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

}  // namespace

int main(int argc, char** argv) {
  Fonts f;
  auto prepare = [&] {
    // The game's screen (a window takes the desktop's depth, as the game lets it); a mode
    // change deletes every font, so the fonts come after it.
    SetScreenMode(kW, kH, 16, 60);
    if (SetDrawTarget(DRAW_SCREEN_BACK) != 0) {
      std::fprintf(stderr, "no back screen to draw on\n");
      return false;
    }
    f.edged = CreateFontToHandle(nullptr, 24, -1, 1, -1, 2, 0, -1, -1);
    f.smooth = CreateFontToHandle(nullptr, 24, -1, 2, -1, -1, 0, -1, -1);
    f.smoothEdged = CreateFontToHandle(nullptr, 24, -1, 3, -1, 2, 0, -1, -1);
    if (f.edged == -1 || f.smooth == -1 || f.smoothEdged == -1) {
      std::fprintf(stderr, "the fonts could not be made\n");
      return false;
    }
    // While the Direct3D renderer draws, every font keeps its glyphs in a texture, the
    // default font too; otherwise in memory.
    RefreshDefaultFont();
    const int32_t texture = IsHardware3DActive();
    for (int32_t font : {QueryDefaultFont(), f.edged, f.smooth, f.smoothEdged}) {
      const FontRecord* record = GetFontRecord(font);
      if (!record || record->textureCache != texture) {
        std::fprintf(stderr, "font %d: texture cache %d with 3D drawing %d\n", font,
                     record ? record->textureCache : -1, texture);
        return false;
      }
    }
    std::printf("glyph caches: %s\n", texture ? "texture" : "memory");
    return true;
  };
  return framematch::Run(argc, argv, prepare, [&] { return DrawFrame(f); });
}
