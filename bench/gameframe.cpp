// The game's busiest play frames: eight spreading bombs of range 12 bursting on an open
// field while nine enemies think, run through the frame loop's own StepFrame on an engine
// table that draws nothing. Reported in microseconds per frame and as a share of the 17 ms
// a frame may take.
#include "game/enemyai.h"
#include "game/gamestate.h"
#include "game/mainloop.h"
#include "game/objectpool.h"
#include "engine/engine.h"
#include "engine/pixel/screen.h"
#include "engine/base/log.h"
#include "bench/ratio.h"
#include "bench/recordedframe.h"
#include "platform/kernel/kernel.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace {

constexpr int32_t kFrameBudgetUs = 17000;
constexpr int32_t kFramesPerBurst = 48;  // the bursts, the spread and the flames dying

// A round of normal mode on an open field: player 1 in it, kept from harm, the others out.
void MakeRound() {
  g_Api = &kSilentEngine;
  CreateRecords();
  g_Game->inPlay = 1;
  g_Game->mode = 1;
  g_Game->secondsLeft = 200;
  g_Game->playersInRound = 1;
  for (int32_t n = 1; n <= kPlayerCount; n++) g_Players[n]->active = g_Players[n]->lives = n == 1;
}

// Eight spreading bombs about to burst, and nine walkers in player 1's row, so that every
// one of them probes its line toward the player when it thinks.
void LayTheBusiestField() {
  ClearObjects();
  PlayerRecord* p = g_Players[1];
  p->invulnerable = 1000;
  p->cellX = 13;
  p->cellY = 6;
  p->pixelX = p->cellX * 32;
  p->pixelY = p->cellY * 32;
  p->centreX = p->pixelX + 16;
  p->centreY = p->pixelY + 16;
  p->fireRange = 12;
  p->bombType = 4;
  for (int32_t i = 0; i < 8; i++) {
    FieldObject* bomb = LayBomb(p, 1 + (i % 4) * 4, 1 + (i / 4) * 10);
    if (bomb) bomb->timer = 1;
  }
  for (int32_t i = 0; i < 9; i++) SpawnEnemy(1 + i + (i >= 4), 6, 0, 0);
}

// Seconds of the monotonic clock (<chrono> does not build with the Shift-JIS literals).
double Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_Game_BusiestFrames(benchmark::State& state) {
  MakeRound();
  int64_t frames = 0;
  double seconds = 0;
  for (auto _ : state) {
    LayTheBusiestField();
    const double start = Now();
    for (int32_t f = 0; f < kFramesPerBurst; f++) benchmark::DoNotOptimize(StepFrame());
    const double elapsed = Now() - start;
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    frames += kFramesPerBurst;
  }
  const double usPerFrame = frames ? seconds * 1e6 / double(frames) : 0;
  state.counters["us/frame"] = usPerFrame;
  state.counters["budget%"] = usPerFrame * 100.0 / kFrameBudgetUs;
  FreeRound();
}
BENCHMARK(BM_Game_BusiestFrames)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

// ---- one play frame drawn -----------------------------------------------------------------
// A frame of stage 1 as the game draws it (recorded from the game's own DrawHud, with a
// core mech standing on the field for the 96 x 96 stretch), drawn from the generated sheets
// through the real engine (headless, 640 x 480 at 16 bits) on the software renderer and on
// the soft device, against the same cells at the same places through SDL2's software
// renderer on a 5:6:5 surface: 32 x 32 colour-keyed textures, the stretch, the band and a
// cleared screen; the texts through SDL_ttf with the same IPA face when it is installed,
// else on neither side. Frames per second; the ratio is SDL's time over ours.

namespace {

std::vector<RecordedDraw> g_draws;

void RecordPlayFrame() {
  if (g_draws.empty()) g_draws = RecordFrame(kPlayFrame);
}

void ReportFrames(benchmark::State& state) {
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

bool g_withText = false;

// The frame on the 2D road (the software renderer), or on the default road (the soft
// Direct3D-style device).
void PlayFrameOurs(benchmark::State& state, bool device) {
  RecordPlayFrame();
  g_withText = std::filesystem::exists(kFace);
  setenv("KR_PLATFORM", "headless", 1);
  // The engine's log would go to Log.txt in the working directory, and its lines to stderr.
  SetLogDebuggerOnly(1);
  PlatSetDebugSink([](const char*, void*) {}, nullptr);
  ChangeWindowMode(1);
  g_ScreenState.softwareRender = device ? 0 : 1;
  if (EngineInit() != 0) return state.SkipWithError("the engine did not start");
  SetScreenMode(640, 480, 16, 60);
  SetDrawTarget(-2);
  std::vector<std::vector<int32_t>> handles;
  if (!LoadSheetsIntoEngine(&handles)) return state.SkipWithError("no generated sheets");
  for (auto _ : state) DrawThroughEngine(g_draws, handles, g_withText);
  EngineEnd();
  ReportFrames(state);
  state.SetLabel(FrameLabel(g_draws, g_withText));
}
void BM_Game_PlayFrameOurs(benchmark::State& state) { PlayFrameOurs(state, false); }
void BM_Game_PlayFrameDevice(benchmark::State& state) { PlayFrameOurs(state, true); }
BENCHMARK(BM_Game_PlayFrameOurs)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Game_PlayFrameDevice)->Unit(benchmark::kMicrosecond);

void BM_Game_PlayFrameSdlSoftware(benchmark::State& state) {
  RecordPlayFrame();
  g_withText = std::filesystem::exists(kFace);
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Renderer* renderer = screen ? SDL_CreateSoftwareRenderer(screen) : nullptr;
  if (!renderer) return state.SkipWithError("no SDL software renderer");
  {
    SdlFrameKit kit;
    if (!kit.Load(renderer, g_withText)) return state.SkipWithError("no generated sheets");
    const std::vector<std::string> lines = TextLines(g_draws);
    for (auto _ : state) DrawThroughSdl(renderer, screen, g_draws, kit, lines);
    state.SetLabel(FrameLabel(g_draws, kit.font != nullptr));
  }
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(screen);
  ReportFrames(state);
}
BENCHMARK(BM_Game_PlayFrameSdlSoftware)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Game_PlayFrameOurs", "BM_Game_PlayFrameSdlSoftware"},
                        {"BM_Game_PlayFrameDevice", "BM_Game_PlayFrameSdlSoftware"},
                        {"BM_Game_PlayFrameDevice", "BM_Game_PlayFrameOurs"}},
                       "frames/s",
                       "SDL2's software renderer");
}
