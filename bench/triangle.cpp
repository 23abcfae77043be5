// Textured triangles against SDL2's software renderer on the same work: a 256 x 256
// texture on a quad turned 30 degrees in the middle of a 640 x 480 image, drawn as two
// triangles (ours, with the corners a four-corner draw gives) and by SDL_RenderGeometry
// on a software renderer over a surface. RGB565 and ARGB8888; copy, mix at 128 (SDL:
// blend with alpha mod 128) and add (SDL: additive blend). Each case reports megapixels
// per second of the pixels the quad covers; the ratios (ours / SDL) follow the run.
#include "engine/softimage/triangle.h"
#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/memimg.h"
#include "ratio.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kScreenW = 640, kScreenH = 480, kTexture = 256;

uint32_t Noise(int i) { return uint32_t(i) * 2654435761u ^ uint32_t(i >> 7) * 40503u; }
// Opaque texels (SDL's blend and add weigh by the texel's alpha).
uint32_t Texel(int kind, int i) { return kind ? Noise(i) | 0xFF000000 : Noise(i) & 0xFFFF; }

// The quad's corners in the order of a four-corner draw: top-left, top-right,
// bottom-left, bottom-right, turned 30 degrees about the image's centre.
struct Quad {
  float x[4], y[4];
  Quad() {
    const double angle = 30.0 * 3.14159265358979323846 / 180.0;
    const double c = std::cos(angle), s = std::sin(angle);
    const double dx[4] = {-128, 128, -128, 128}, dy[4] = {-128, -128, 128, 128};
    for (int i = 0; i < 4; i++) {
      x[i] = float(std::lround(kScreenW / 2 + dx[i] * c - dy[i] * s));
      y[i] = float(std::lround(kScreenH / 2 + dx[i] * s + dy[i] * c));
    }
  }
};

struct Ours {
  MEMIMG screen{}, texture{};
  TriangleVertex first[3], second[3];
  explicit Ours(int kind) {
    CreateMemImg(&screen, kScreenW, kScreenH, -1, 0, kind, 0, 0, 0, nullptr);
    CreateMemImg(&texture, kTexture, kTexture, -1, 0, kind, 0, 0, 0, nullptr);
    int bytes = kind ? 4 : 2;
    for (int y = 0; y < kScreenH; y++)
      std::memset(screen.pixels + y * screen.data->pitch, 0x55, size_t(kScreenW) * bytes);
    for (int y = 0; y < kTexture; y++) {
      for (int x = 0; x < kTexture; x++) {
        uint32_t v = Texel(kind, y * kTexture + x);
        std::memcpy(texture.pixels + y * texture.data->pitch + x * bytes, &v, size_t(bytes));
      }
    }
    Quad q;
    auto at = [&](int i, int u, int v) {
      return TriangleVertex{int32_t(q.x[i]), int32_t(q.y[i]), u, v};
    };
    first[0] = at(0, 0, 0), first[1] = at(1, kTexture, 0), first[2] = at(2, 0, kTexture);
    second[0] = at(1, kTexture, 0), second[1] = at(2, 0, kTexture);
    second[2] = at(3, kTexture, kTexture);
  }
  ~Ours() {
    ReleaseMemImg(&screen);
    ReleaseMemImg(&texture);
  }
  void Draw() {
    DrawMemImgTriangle(&screen, &texture, first, 0, nullptr, 0);
    DrawMemImgTriangle(&screen, &texture, second, 0, nullptr, 0);
  }
};

// The pixels one quad covers (the shared diagonal once).
double CoveredPixels() {
  static double covered = [] {
    BuildBlendTables();
    DrawState saved = g_DrawState;
    g_DrawState.drawArea = {0, 0, kScreenW, kScreenH};
    g_DrawState.blendMode = BLEND_COPY;
    g_DrawState.brightRed = g_DrawState.brightGreen = g_DrawState.brightBlue = 255;
    Ours ours(1);
    for (int y = 0; y < kScreenH; y++)
      std::memset(ours.screen.pixels + y * ours.screen.data->pitch, 0, kScreenW * 4);
    ours.Draw();
    int count = 0;
    for (int y = 0; y < kScreenH; y++) {
      const uint8_t* row = ours.screen.pixels + y * ours.screen.data->pitch;
      for (int x = 0; x < kScreenW; x++) {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        count += v != 0;
      }
    }
    g_DrawState = saved;
    return double(count);
  }();
  return covered;
}

void RunOurs(benchmark::State& state, int kind, int mode, int param) {
  double covered = CoveredPixels();
  BuildBlendTables();
  g_DrawState.drawArea = {0, 0, kScreenW, kScreenH};
  g_DrawState.blendMode = mode;
  g_DrawState.blendParam = param;
  g_DrawState.brightRed = g_DrawState.brightGreen = g_DrawState.brightBlue = 255;
  Ours ours(kind);
  for (auto _ : state) {
    ours.Draw();
    benchmark::DoNotOptimize(ours.screen.pixels);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, covered);
}

void RunSdl(benchmark::State& state, int kind, SDL_BlendMode mode, int alphaMod) {
  double covered = CoveredPixels();
  uint32_t format = kind ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
  SDL_Surface* screen =
      SDL_CreateRGBSurfaceWithFormat(0, kScreenW, kScreenH, kind ? 32 : 16, format);
  SDL_FillRect(screen, nullptr, kind ? 0x55555555 : 0x5555);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(screen);
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STATIC, kTexture, kTexture)
               : nullptr;
  if (!texture) {
    state.SkipWithError(SDL_GetError());
    if (renderer) SDL_DestroyRenderer(renderer);
    SDL_FreeSurface(screen);
    return;
  }
  int bytes = kind ? 4 : 2;
  std::vector<uint8_t> pixels(size_t(kTexture) * kTexture * bytes);
  for (int i = 0; i < kTexture * kTexture; i++) {
    uint32_t v = Texel(kind, i);
    std::memcpy(&pixels[size_t(i) * bytes], &v, size_t(bytes));
  }
  SDL_UpdateTexture(texture, nullptr, pixels.data(), kTexture * bytes);
  SDL_SetTextureBlendMode(texture, mode);
  SDL_SetTextureAlphaMod(texture, uint8_t(alphaMod));
  SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);

  Quad q;
  const float u[4] = {0, 1, 0, 1}, v[4] = {0, 0, 1, 1};
  SDL_Vertex vertices[4];
  // The geometry path weighs by the vertex colour's alpha; the texture's alpha mod alone
  // leaves it a copy.
  for (int i = 0; i < 4; i++) {
    vertices[i] = {{q.x[i], q.y[i]}, {255, 255, 255, uint8_t(alphaMod)}, {u[i], v[i]}};
  }
  const int indices[6] = {0, 1, 2, 1, 2, 3};
  for (auto _ : state) {
    SDL_RenderGeometry(renderer, texture, vertices, 4, indices, 6);
    SDL_RenderFlush(renderer);
    benchmark::DoNotOptimize(screen->pixels);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, covered);
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(screen);
}

void BM_Ours_Copy565(benchmark::State& s) { RunOurs(s, 0, BLEND_COPY, 0); }
void BM_SDL_Copy565(benchmark::State& s) { RunSdl(s, 0, SDL_BLENDMODE_NONE, 255); }
void BM_Ours_Mix128_565(benchmark::State& s) { RunOurs(s, 0, BLEND_MIX, 128); }
void BM_SDL_Mix128_565(benchmark::State& s) { RunSdl(s, 0, SDL_BLENDMODE_BLEND, 128); }
void BM_Ours_Add565(benchmark::State& s) { RunOurs(s, 0, BLEND_ADD, 255); }
void BM_SDL_Add565(benchmark::State& s) { RunSdl(s, 0, SDL_BLENDMODE_ADD, 255); }
void BM_Ours_CopyArgb(benchmark::State& s) { RunOurs(s, 1, BLEND_COPY, 0); }
void BM_SDL_CopyArgb(benchmark::State& s) { RunSdl(s, 1, SDL_BLENDMODE_NONE, 255); }
void BM_Ours_Mix128Argb(benchmark::State& s) { RunOurs(s, 1, BLEND_MIX, 128); }
void BM_SDL_Mix128Argb(benchmark::State& s) { RunSdl(s, 1, SDL_BLENDMODE_BLEND, 128); }
void BM_Ours_AddArgb(benchmark::State& s) { RunOurs(s, 1, BLEND_ADD, 255); }
void BM_SDL_AddArgb(benchmark::State& s) { RunSdl(s, 1, SDL_BLENDMODE_ADD, 255); }

BENCHMARK(BM_Ours_Copy565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Copy565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix128_565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Mix128_565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Add565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Add565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_CopyArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_CopyArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix128Argb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Mix128Argb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_AddArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_AddArgb)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_Copy565", "BM_SDL_Copy565"},
                        {"BM_Ours_Mix128_565", "BM_SDL_Mix128_565"},
                        {"BM_Ours_Add565", "BM_SDL_Add565"},
                        {"BM_Ours_CopyArgb", "BM_SDL_CopyArgb"},
                        {"BM_Ours_Mix128Argb", "BM_SDL_Mix128Argb"},
                        {"BM_Ours_AddArgb", "BM_SDL_AddArgb"}});
}
