// A 640 x 480 XRGB picture uploaded into a texture graph of two R5G6B5 tiles (512 and
// 128 wide) with UploadImageToGraphTextures, on the soft Direct3D-style device of a
// headless full screen of 5:6:5, against SDL2 converting the same picture with
// SDL_ConvertPixels and handing it to an RGB565 streaming texture of the software
// renderer with SDL_UpdateTexture. Megapixels per second and the ratio.
#include "bench/ratio.h"
#include "engine/d3d/d3d.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/services.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/sysdata.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#include <SDL.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int32_t kW = 640, kH = 480;

std::vector<uint32_t> PicturePixels() {
  std::vector<uint32_t> pixels(size_t(kW) * kH);
  for (int32_t y = 0; y < kH; y++)
    for (int32_t x = 0; x < kW; x++)
      pixels[size_t(y) * kW + size_t(x)] =
          uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | uint32_t((x ^ y) & 0xFF);
  return pixels;
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

// The engine's graphics full screen at 640 x 480 x 16 on the headless display, with
// Direct3D up and graphs made as texture graphs of the screen's format.
bool StartEngineDirect3D() {
  static bool started = [] {
    if (PlatWindowSelectBackend("headless") != 0) return false;
    PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(1024, 768, 32, 60), 0);
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "UploadBench"};
    if (PlatRegisterClass(&wc) != 1) return false;
    const PlatWnd window = PlatCreateWindow(0, "UploadBench", "Kestr", 0x80CA0000, 0, 0, kW, kH);
    if (!window) return false;
    g_System.mainWindow = window;
    g_System.mainThreadId = PlatThreadId();
    g_System.windowActive = 1;
    g_System.settings.initialising = 1;
    if (StartGraphicsWithFallback(window) != 0) return false;
    // The start brings Direct3D up itself on this display; asked again, it would refuse.
    if (!g_Direct3D.direct3D && InitializeDirect3D() != 0) return false;
    g_GraphTable.available3D = RemoveAllTexturesIfActive() != -1;
    g_DrawState.newGraphColorKey = 0;
    return g_GraphTable.available3D != 0;
  }();
  return started;
}

void BM_Ours_UploadImageToGraphTextures(benchmark::State& state) {
  if (!StartEngineDirect3D()) {
    state.SkipWithError("no Direct3D on the headless display");
    return;
  }
  std::vector<uint32_t> pixels = PicturePixels();
  GraphImage picture{};
  SetupFormatFromMasksCore(&picture.format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  picture.width = kW;
  picture.height = kH;
  picture.pitch = kW * 4;
  picture.pixels = pixels.data();
  const int32_t handle = MakeGraphWithSurfaces(kW, kH, 1, 0, 0);
  GraphRecord* graph = LookupGraph(handle);
  if (!graph || graph->surfaceCount != 2 ||
      TextureFormatColorFormat(LookupSurfaceData(LookupTexture3D(graph->surfaces[0])->surface)->formatIndex)
              ->bitDepth != 16) {
    state.SkipWithError("no graph of two 16-bit tiles");
    return;
  }
  for (auto _ : state) {
    if (UploadImageToGraphTextures(0, 0, graph, &picture, nullptr) != 0) {
      state.SkipWithError("the upload failed");
      break;
    }
  }
  ReportPixels(state, double(kW) * kH);
  FreeGraph(handle, 0);
}
BENCHMARK(BM_Ours_UploadImageToGraphTextures);

void BM_SDL_ConvertPixelsAndUpdateTexture565(benchmark::State& state) {
  std::vector<uint32_t> pixels = PicturePixels();
  std::vector<uint16_t> converted(size_t(kW) * kH);
  SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Renderer* renderer = target ? SDL_CreateSoftwareRenderer(target) : nullptr;
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, kW, kH) : nullptr;
  if (!texture) {
    state.SkipWithError(SDL_GetError());
  } else {
    for (auto _ : state) {
      SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_RGB888, pixels.data(), kW * 4, SDL_PIXELFORMAT_RGB565, converted.data(),
                        kW * 2);
      SDL_UpdateTexture(texture, nullptr, converted.data(), kW * 2);
      benchmark::ClobberMemory();
    }
    ReportPixels(state, double(kW) * kH);
  }
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (target) SDL_FreeSurface(target);
}
BENCHMARK(BM_SDL_ConvertPixelsAndUpdateTexture565);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  SDL_Init(SDL_INIT_VIDEO);
  const int result =
      RunWithRatios(argc, argv, {{"BM_Ours_UploadImageToGraphTextures", "BM_SDL_ConvertPixelsAndUpdateTexture565"}});
  if (g_ScreenState.graphicsStarted) {
    TerminateDirect3D();
    EndGraphics();
  }
  SDL_Quit();
  return result;
}
