// Presenting a 640 x 480 frame: PresentScreen on each of its roads against SDL2 showing the
// same frame the plain way (SDL_UpdateTexture, SDL_RenderCopy and SDL_RenderPresent of a
// streaming texture on SDL's software renderer, vsync off) in a window of the size ours
// shows it at. Both run on SDL's dummy video driver unless another is set; ours includes
// the display's upload of what changed into its window, with the vertical-blank wait off.
//   flip            full screen 640 x 480 x 16 (shown scaled to the desktop): one flip
//   window blit     a 32-bit window: the back surface blitted into the client area
//   software locked software rendering, the back image in the locked back surface
//   software 16->32 software rendering of a 16-bit screen in a 32-bit window: the back
//                   image converted into the back surface; against SDL showing 5:6:5
//                   pixels in a 32-bit window, which converts them as well
//   GDI 1:1, 2:1    no DirectDraw: the back image through SetDIBitsToDevice, and through
//                   StretchDIBits into a window scaled 2.0
// Megapixels of frame per second and the ratios.
#include "bench/ratio.h"
#include "bench/sdlengine.h"
#include "engine/engine.h"
#include "engine/graphics/drawsettings.h"
#include "engine/pixel/screen.h"
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "tests/support/backscreen.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kW = 640, kH = 480;

enum Mode { DIRECTDRAW, SOFTWARE, NO_DIRECTDRAW };

struct Road {
  Mode mode;
  int32_t windowed;
  int32_t depth;
  double scale;
  bool backLocked;
};

uint32_t Pattern(int32_t x, int32_t y) { return uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | (uint32_t(x ^ y) & 0xFF); }

// The engine up on the road, the back screen drawn, and the wait off; false when it could
// not be made.
bool StartEngine(const Road& road) {
  g_System.settings.windowed = road.windowed;
  g_System.settings.windowScale = road.scale;
  g_ScreenState.softwareRender = road.mode != DIRECTDRAW;
  g_ScreenState.noDirectDraw = road.mode == NO_DIRECTDRAW;
  if (EngineInit() != 0) return false;
  // The dummy driver may never give the window the focus; a present would wait for it.
  g_System.windowActive = 1;
  // A window keeps the desktop's depth: a 16-bit screen there is not the mode asked for.
  SetScreenMode(kW, kH, road.depth, 60);
  if (SetDrawTarget(DRAW_SCREEN_BACK) != 0 || !FillBackScreen(Pattern)) return false;
  // Still on the road asked for: the back image in the locked back surface only when the
  // screen's depth is the display's.
  const ScreenState& s = g_ScreenState;
  if (QueryScreenDepth() != road.depth || (road.mode == DIRECTDRAW) != (s.softwareRender == 0) ||
      (road.mode == NO_DIRECTDRAW) != (s.noDirectDraw != 0) || (s.backLocked != 0) != road.backLocked)
    return false;
  SetVBlankWait(0);
  return true;
}

void BM_Ours_Present(benchmark::State& state, Road road) {
  if (std::strcmp(PlatWindowBackendName(), "sdl") != 0) {
    state.SkipWithError("the engine's windows are not SDL's");
    return;
  }
  if (!StartEngine(road)) {
    state.SkipWithError("the engine did not start on this road");
    EngineEnd();
    return;
  }
  const uint32_t before = PlatDisplayUploadCount();
  for (auto _ : state)
    if (PresentScreen() != 0) {
      state.SkipWithError("PresentScreen failed");
      break;
    }
  const uint32_t uploads = PlatDisplayUploadCount() - before;
  if (uploads == 0) state.SkipWithError("nothing reached the window");
  state.counters["uploads"] = double(uploads) / double(state.iterations());
  ReportPixels(state, double(kW) * kH);
  EngineEnd();
}

// The frame in a streaming texture of the format, copied into a window of the size.
void BM_SDL_Present(benchmark::State& state, uint32_t format, int32_t width, int32_t height) {
  SDL_Window* window = SDL_CreateWindow("bench", 0, 0, width, height, 0);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING, kW, kH) : nullptr;
  if (!texture) {
    state.SkipWithError("no SDL renderer");
  } else {
    SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
    const int bytes = SDL_BYTESPERPIXEL(format);
    std::vector<uint8_t> pixels(size_t(kW) * kH * size_t(bytes));
    for (int32_t y = 0; y < kH; y++)
      for (int32_t x = 0; x < kW; x++) {
        const uint32_t rgb = Pattern(x, y);
        const uint32_t v = bytes == 2 ? (rgb >> 19 & 0x1F) << 11 | (rgb >> 10 & 0x3F) << 5 | (rgb >> 3 & 0x1F) : rgb;
        std::memcpy(pixels.data() + (size_t(y) * kW + size_t(x)) * size_t(bytes), &v, size_t(bytes));
      }
    for (auto _ : state) {
      SDL_UpdateTexture(texture, nullptr, pixels.data(), kW * bytes);
      SDL_RenderCopy(renderer, texture, nullptr, nullptr);
      SDL_RenderPresent(renderer);
    }
    ReportPixels(state, double(kW) * kH);
  }
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  const SDL_DisplayMode desktop = StartEngineOnSdl(kW, kH);

  benchmark::RegisterBenchmark("BM_Ours_PresentFlipFullScreen16", BM_Ours_Present, Road{DIRECTDRAW, 0, 16, 1.0, false});
  benchmark::RegisterBenchmark("BM_Ours_PresentWindowBlit32", BM_Ours_Present, Road{DIRECTDRAW, 1, 32, 1.0, false});
  benchmark::RegisterBenchmark("BM_Ours_PresentSoftwareLocked32", BM_Ours_Present, Road{SOFTWARE, 1, 32, 1.0, true});
  benchmark::RegisterBenchmark("BM_Ours_PresentSoftware16To32", BM_Ours_Present, Road{SOFTWARE, 1, 16, 1.0, false});
  benchmark::RegisterBenchmark("BM_Ours_PresentGdiEqual32", BM_Ours_Present, Road{NO_DIRECTDRAW, 1, 32, 1.0, false});
  benchmark::RegisterBenchmark("BM_Ours_PresentGdiStretched32", BM_Ours_Present, Road{NO_DIRECTDRAW, 1, 32, 2.0, false});
  benchmark::RegisterBenchmark("BM_SDL_Present565ToDesktop", BM_SDL_Present, SDL_PIXELFORMAT_RGB565, desktop.w,
                               desktop.h);
  benchmark::RegisterBenchmark("BM_SDL_Present8888", BM_SDL_Present, SDL_PIXELFORMAT_RGB888, kW, kH);
  benchmark::RegisterBenchmark("BM_SDL_Present565", BM_SDL_Present, SDL_PIXELFORMAT_RGB565, kW, kH);
  benchmark::RegisterBenchmark("BM_SDL_Present8888To2x", BM_SDL_Present, SDL_PIXELFORMAT_RGB888, 2 * kW, 2 * kH);
  const int result = RunWithRatios(argc, argv,
                                   {{"BM_Ours_PresentFlipFullScreen16", "BM_SDL_Present565ToDesktop"},
                                    {"BM_Ours_PresentWindowBlit32", "BM_SDL_Present8888"},
                                    {"BM_Ours_PresentSoftwareLocked32", "BM_SDL_Present8888"},
                                    {"BM_Ours_PresentSoftware16To32", "BM_SDL_Present565"},
                                    {"BM_Ours_PresentGdiEqual32", "BM_SDL_Present8888"},
                                    {"BM_Ours_PresentGdiStretched32", "BM_SDL_Present8888To2x"}});
  SDL_Quit();
  return result;
}
