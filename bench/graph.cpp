// A sprite sheet into graph handles against the plainest SDL2 way to the same cells: the
// engine's LoadSplitGraph of a 128 x 640 PNG file into 80 cells of 32 x 32 (the load, the
// decode, the sheet's surface and its 80 sub-graphs, then freeing them) on the headless
// display of a 32-bit window, against libpng's simplified reader decoding the same file
// into BGRA, SDL_CreateRGBSurfaceWithFormatFrom over those pixels and 80 cell surfaces of
// the display's format filled by SDL_BlitSurface. Megapixels of sheet per second and the
// ratio.
#include "bench/ratio.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/services.h"
#include "engine/state/sysdata.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "tests/support/imagefiles.h"

#include <SDL.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

constexpr int32_t kCell = 32, kAcross = 4, kDown = 20, kCells = kAcross * kDown;
constexpr int32_t kWidth = kCell * kAcross, kHeight = kCell * kDown;

// A sheet with some texture, written once to a file of its own.
const std::string& SheetFile() {
  static const std::string path = [] {
    PngFields s;
    s.width = kWidth;
    s.height = kHeight;
    s.colorType = PNG_COLOR_TYPE_RGB;
    const Bytes pixels = PatternPixels(kWidth, kHeight, 3);
    s.samples.assign(pixels.begin(), pixels.end());
    const Bytes png = WritePng(s);
    char name[] = "/tmp/krbenchgraphXXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0 || write(fd, png.data(), png.size()) != ssize_t(png.size())) std::abort();
    close(fd);
    return std::string(name);
  }();
  return path;
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

// The engine's graphics on the headless display of a 32-bit desktop, in a window.
bool StartEngineGraphics() {
  static bool started = [] {
    if (PlatWindowSelectBackend("headless") != 0) return false;
    PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(1024, 768, 32, 60), 0);
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "GraphBench"};
    if (PlatRegisterClass(&wc) != 1) return false;
    const PlatWnd window = PlatCreateWindow(0, "GraphBench", "Kestr", 0x80CA0000, 0, 0, 640, 480);
    if (!window) return false;
    g_System.mainWindow = window;
    g_System.mainThreadId = PlatThreadId();
    g_System.windowActive = 1;
    g_System.settings.initialising = 1;
    g_System.settings.windowed = 1;
    return StartGraphicsWithFallback(window) == 0;
  }();
  return started;
}

void BM_Ours_LoadSplitGraph80Cells(benchmark::State& state) {
  if (!StartEngineGraphics()) {
    state.SkipWithError("the engine's graphics did not start");
    return;
  }
  int32_t handles[kCells];
  for (auto _ : state) {
    if (LoadSplitGraphCore(SheetFile().c_str(), kCells, kAcross, kDown, kCell, kCell, handles, 1) != 0) {
      state.SkipWithError("LoadSplitGraph refused the sheet");
      break;
    }
    benchmark::DoNotOptimize(handles[kCells - 1]);
    FreeAllGraphsCore(0);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

void BM_SDL_LibpngAndBlitSurface80Cells(benchmark::State& state) {
  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
  SDL_Surface* cells[kCells];
  for (auto _ : state) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, SheetFile().c_str())) {
      state.SkipWithError(image.message);
      break;
    }
    image.format = PNG_FORMAT_BGRA;
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
      state.SkipWithError(image.message);
      break;
    }
    SDL_Surface* sheet = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kWidth, kHeight, 32, kWidth * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
    SDL_SetSurfaceBlendMode(sheet, SDL_BLENDMODE_NONE);
    for (int32_t i = 0; i < kCells; i++) {
      cells[i] = SDL_CreateRGBSurfaceWithFormat(0, kCell, kCell, 32, SDL_PIXELFORMAT_RGB888);
      SDL_Rect from{i % kAcross * kCell, i / kAcross * kCell, kCell, kCell};
      SDL_BlitSurface(sheet, &from, cells[i], nullptr);
    }
    benchmark::DoNotOptimize(cells[kCells - 1]->pixels);
    for (SDL_Surface* cell : cells) SDL_FreeSurface(cell);
    SDL_FreeSurface(sheet);
  }
  ReportPixels(state, double(kWidth) * kHeight);
}

BENCHMARK(BM_Ours_LoadSplitGraph80Cells);
BENCHMARK(BM_SDL_LibpngAndBlitSurface80Cells);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  SDL_Init(SDL_INIT_VIDEO);
  const int result =
      RunWithRatios(argc, argv, {{"BM_Ours_LoadSplitGraph80Cells", "BM_SDL_LibpngAndBlitSurface80Cells"}});
  if (g_ScreenState.graphicsStarted) EndGraphics();
  std::remove(SheetFile().c_str());
  SDL_Quit();
  return result;
}
