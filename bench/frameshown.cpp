// Whole frames of the game drawn and shown: the recorded play frame and a busy battle
// frame (bench/recordedframe.h) drawn through the engine and presented into its SDL window
// at 640 x 480, on the default road (the Direct3D-style device) and on the 2D road (what
// KR_D3D=0 falls back to: software rendering shown through the GDI-like layer), against
// SDL2's software renderer drawing the same frame in a window of its own and presenting it.
// All on SDL's dummy video driver unless another is set, the vertical-blank wait off, in
// CPU time. Milliseconds and frames per second; the ratios are SDL's time over ours.
#include "bench/ratio.h"
#include "bench/recordedframe.h"
#include "bench/sdlengine.h"
#include "engine/engine.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/screen.h"
#include "engine/pixel/screen.h"
#include "engine/state/sysdata.h"
#include "platform/d3d/d3d.h"
#include "platform/display/display.h"
#include "platform/window/window.h"

#include <SDL.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const std::vector<RecordedDraw>& Frame(RecordedFrame kind) {
  static std::vector<RecordedDraw> frames[2];
  // Both kinds load the same sheets, which the engine and SDL load again from g_sheetFiles.
  if (frames[kind].empty()) frames[kind] = RecordFrame(kind);
  return frames[kind];
}

void ReportFrames(benchmark::State& state) {
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void Ours(benchmark::State& state, RecordedFrame kind, bool device) {
  if (std::strcmp(PlatWindowBackendName(), "sdl") != 0) return state.SkipWithError("the engine's windows are not SDL's");
  const std::vector<RecordedDraw>& draws = Frame(kind);
  const bool withText = std::filesystem::exists(kFace);
  PlatD3DSetAvailable(device ? 1 : 0);
  // A 2D run's fallback leaves the engine off DirectDraw and 3D; the next run starts as a
  // program does.
  g_ScreenState.softwareRender = 0;
  g_ScreenState.noDirectDraw = 0;
  EnableHardware3D(1);
  SetGraphSoftwareSurfaceMode(1);
  ChangeWindowMode(1);
  if (EngineInit() != 0) {
    PlatD3DSetAvailable(1);
    return state.SkipWithError("the engine did not start");
  }
  // The dummy driver may never give the window the focus; a present would wait for it.
  g_System.windowActive = 1;
  SetScreenMode(640, 480, 16, 60);
  SetDrawTarget(DRAW_SCREEN_BACK);
  SetVBlankWait(0);
  std::vector<std::vector<int32_t>> handles;
  // The device road draws with DirectDraw and 3D; the 2D road has fallen back to software
  // rendering without DirectDraw.
  if ((g_ScreenState.softwareRender == 0) != device || (g_ScreenState.noDirectDraw != 0) == device) {
    state.SkipWithError(device ? "Direct3D did not start" : "Direct3D started");
  } else if (!LoadSheetsIntoEngine(&handles)) {
    state.SkipWithError("no generated sheets");
  } else {
    const uint32_t before = PlatDisplayUploadCount();
    for (auto _ : state) {
      DrawThroughEngine(draws, handles, withText);
      if (PresentScreen() != 0) {
        state.SkipWithError("PresentScreen failed");
        break;
      }
    }
    if (PlatDisplayUploadCount() == before) state.SkipWithError("nothing reached the window");
    ReportFrames(state);
    state.SetLabel(FrameLabel(draws, withText));
  }
  EngineEnd();
  PlatD3DSetAvailable(1);
}

void Sdl(benchmark::State& state, RecordedFrame kind) {
  const std::vector<RecordedDraw>& draws = Frame(kind);
  const bool withText = std::filesystem::exists(kFace);
  SDL_Window* window = SDL_CreateWindow("bench", 0, 0, 640, 480, 0);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  SDL_Surface* screen = renderer ? SDL_GetWindowSurface(window) : nullptr;
  if (!screen) {
    state.SkipWithError("no SDL software renderer");
  } else {
    SdlFrameKit kit;
    if (!kit.Load(renderer, withText)) {
      state.SkipWithError("no generated sheets");
    } else {
      const std::vector<std::string> lines = TextLines(draws);
      for (auto _ : state) {
        DrawThroughSdl(renderer, screen, draws, kit, lines);
        SDL_RenderPresent(renderer);
      }
      ReportFrames(state);
      state.SetLabel(FrameLabel(draws, kit.font != nullptr));
    }
  }
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
}

void BM_PlayFrameDevice(benchmark::State& s) { Ours(s, kPlayFrame, true); }
void BM_PlayFrame2D(benchmark::State& s) { Ours(s, kPlayFrame, false); }
void BM_PlayFrameSdlSoftware(benchmark::State& s) { Sdl(s, kPlayFrame); }
void BM_BattleFrameDevice(benchmark::State& s) { Ours(s, kBattleFrame, true); }
void BM_BattleFrame2D(benchmark::State& s) { Ours(s, kBattleFrame, false); }
void BM_BattleFrameSdlSoftware(benchmark::State& s) { Sdl(s, kBattleFrame); }
BENCHMARK(BM_PlayFrameDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayFrame2D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayFrameSdlSoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BattleFrameDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BattleFrame2D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BattleFrameSdlSoftware)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  StartEngineOnSdl(640, 480);
  const int result = RunWithRatios(argc, argv,
                                   {{"BM_PlayFrameDevice", "BM_PlayFrameSdlSoftware"},
                                    {"BM_PlayFrame2D", "BM_PlayFrameSdlSoftware"},
                                    {"BM_BattleFrameDevice", "BM_BattleFrameSdlSoftware"},
                                    {"BM_BattleFrame2D", "BM_BattleFrameSdlSoftware"}},
                                   "frames/s", "SDL2's software renderer");
  SDL_Quit();
  return result;
}
