// A 40-character line of kanji, kana and ASCII drawn onto the 640 x 480 16-bit back image
// of a software-rendered screen: DrawStringWithFont with a 16-pixel IPA Gothic font of
// regular weight, 1,000 lines from a warm glyph cache, against SDL_ttf on the same font file
// at the same em size (TTF_RenderUTF8_Solid, then SDL_BlitSurface onto a 640 x 480 RGB565
// surface). Beside them our cold-cache rate: a fresh font for each line. Lines per second
// and the ratios.
#include "bench/enginegraphics.h"
#include "bench/ratio.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/cores.h"
#include "engine/softimage/memimg.h"

#include <SDL.h>
#include <SDL_ttf.h>

namespace {

constexpr int32_t kLines = 1000, kX = 8, kY = 200;
constexpr const char kFace[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
// The same line in Shift-JIS (the engine's) and in UTF-8 (SDL_ttf's).
constexpr const char kLine[] = "日本語の文字列を毎秒何行描けるか測ります。Text line 1234 かな漢字";
constexpr const char8_t kLineUtf8[] = u8"日本語の文字列を毎秒何行描けるか測ります。Text line 1234 かな漢字";

void ReportLines(benchmark::State& state) {
  state.counters["lines/s"] = benchmark::Counter(double(state.iterations()) * kLines, benchmark::Counter::kIsRate);
}

// The engine on a 16-bit software-rendered screen; the font's em size in pixels, or 0.
int32_t StartEngine() {
  if (!StartBenchGraphics(PlatDisplayModeOf(1024, 768, 16, 60), true)) return 0;
  const int32_t font = CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, -1, -1);
  const FontRecord* f = GetFontRecord(font);
  if (!f) return 0;
  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  const PlatGdiObj old = PlatGdiSelectObject(dc, f->gdiFont);
  PlatTextMetrics tm{};
  PlatGetTextMetrics(dc, &tm);
  PlatGdiSelectObject(dc, old);
  PlatGdiDeleteDC(dc);
  DeleteFontHandle(font);
  return tm.height - tm.internalLeading;
}

void BM_Ours_TextWarmCache(benchmark::State& state) {
  if (!StartEngine()) return state.SkipWithError("the engine's graphics did not start");
  const int32_t font = CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, -1, -1);
  const uint32_t white = PackScreenColorCore(255, 255, 255);
  // A line that draws nothing would time nothing.
  MEMIMG* back = g_ScreenState.backImage;
  ClearMemImgRect(back, nullptr, 0);
  DrawStringWithFont(kX, kY, kLine, white, font, 0, 0);  // the cache warmed
  int32_t inked = 0;
  for (int32_t y = 0; y < back->height; y++)
    for (int32_t x = 0; x < back->width; x++)
      inked += ReadPixelValue(back->pixels + y * back->data->pitch + x * 2, 2) != 0;
  if (inked < 1000) return state.SkipWithError("the line drew next to nothing");
  for (auto _ : state)
    for (int32_t i = 0; i < kLines; i++)
      if (DrawStringWithFont(kX, kY, kLine, white, font, 0, 0) != 0) return state.SkipWithError("a line failed");
  ReportLines(state);
  DeleteFontHandle(font);
}

void BM_Ours_TextColdCache(benchmark::State& state) {
  if (!StartEngine()) return state.SkipWithError("the engine's graphics did not start");
  const uint32_t white = PackScreenColorCore(255, 255, 255);
  for (auto _ : state)
    for (int32_t i = 0; i < kLines; i++) {
      const int32_t font = CreateFontToHandle(nullptr, 16, 4, 0, -1, -1, 0, -1, -1);
      if (DrawStringWithFont(kX, kY, kLine, white, font, 0, 0) != 0) return state.SkipWithError("a line failed");
      DeleteFontHandle(font);
    }
  ReportLines(state);
}

void BM_SDL_ttfSolidBlit565(benchmark::State& state) {
  const int32_t em = StartEngine();
  if (!em || TTF_Init() != 0) return state.SkipWithError("no em size or no SDL_ttf");
  TTF_Font* font = TTF_OpenFont(kFace, em);
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  if (!font || !screen) return state.SkipWithError("SDL_ttf could not open the face");
  const SDL_Color white{255, 255, 255, 255};
  const char* line = reinterpret_cast<const char*>(kLineUtf8);
  SDL_FreeSurface(TTF_RenderUTF8_Solid(font, line, white));  // its cache warmed
  for (auto _ : state)
    for (int32_t i = 0; i < kLines; i++) {
      SDL_Surface* text = TTF_RenderUTF8_Solid(font, line, white);
      SDL_Rect at{kX, kY, 0, 0};
      if (!text || SDL_BlitSurface(text, nullptr, screen, &at) != 0) return state.SkipWithError("a line failed");
      SDL_FreeSurface(text);
    }
  ReportLines(state);
  SDL_FreeSurface(screen);
  TTF_CloseFont(font);
  TTF_Quit();
}

BENCHMARK(BM_Ours_TextWarmCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_TextColdCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_ttfSolidBlit565)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_TextWarmCache", "BM_SDL_ttfSolidBlit565"},
                        {"BM_Ours_TextColdCache", "BM_SDL_ttfSolidBlit565"}},
                       "lines/s", "SDL_ttf");
}
