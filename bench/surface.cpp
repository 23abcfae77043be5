// A 640 x 480 RGB888 picture written into a 2D surface of the display's 5:6:5 format
// (WriteImageToSurface2D: lock, convert, unlock) against SDL_ConvertSurfaceFormat of the
// same pixels into RGB565.
#include "ratio.h"

#include "engine/graphics/screen.h"
#include "engine/graphics/surface2d.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/screen.h"
#include "platform/ddraw/ddraw.h"

#include <SDL2/SDL.h>

namespace {

constexpr int kW = 640, kH = 480;

GraphImage Picture() {
  GraphImage image{};
  CreateGraphImageRGB8(kW, kH, &image);
  for (int y = 0; y < kH; y++)
    for (int x = 0; x < kW; x++) SetGraphImagePixel(&image, x, y, x & 0xFF, y & 0xFF, (x ^ y) & 0xFF, 255);
  return image;
}

void BM_Ours_WriteImageToSurface565(benchmark::State& state) {
  PlatDDraw dd = 0;
  PlatDDrawCreate(&dd);
  g_ScreenState.ddraw = dd;
  g_ScreenState.depth = 16;
  PixelFormatRecord rgb565{};
  MakeRgbPixelFormatCore(&rgb565, 16, 0xF800, 0x07E0, 0x001F, 0);
  ColorFormatFromPixelFormat(&rgb565, &g_ScreenState.colorFormat);
  SurfaceCreateFlags flags{};
  flags.bitDepth = 16;
  const int32_t piece = AddSurface2D(kW, kH, 0, 0, 0, nullptr, 0, 0, &flags);
  GraphImage picture = Picture();
  const Rect rect{0, 0, kW, kH};
  for (auto _ : state) {
    if (WriteImageToSurface2D(nullptr, 0, 0, &rect, 0, 0, piece, SURFACE2D_SOURCE_IMAGE, &picture, nullptr) != 0) {
      state.SkipWithError("the write failed");
      break;
    }
  }
  ReportPixels(state, double(kW) * kH);
  DeleteSurface2D(piece);
  FreeGraphImageCore(&picture);
  g_ScreenState = ScreenState{};
  PlatDDrawRelease(dd);
}
BENCHMARK(BM_Ours_WriteImageToSurface565);

void BM_SDL_ConvertSurfaceFormatTo565(benchmark::State& state) {
  GraphImage picture = Picture();
  SDL_Surface* source = SDL_CreateRGBSurfaceFrom(picture.pixels, kW, kH, 24, int(picture.pitch), 0xFF0000, 0x00FF00,
                                                 0x0000FF, 0);
  for (auto _ : state) {
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(source, SDL_PIXELFORMAT_RGB565, 0);
    benchmark::DoNotOptimize(converted);
    SDL_FreeSurface(converted);
  }
  ReportPixels(state, double(kW) * kH);
  SDL_FreeSurface(source);
  FreeGraphImageCore(&picture);
}
BENCHMARK(BM_SDL_ConvertSurfaceFormatTo565);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv, {{"BM_Ours_WriteImageToSurface565", "BM_SDL_ConvertSurfaceFormatTo565"}});
}
