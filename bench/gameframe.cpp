// The game's busiest play frames: eight spreading bombs of range 12 bursting on an open
// field while nine enemies think, run through the frame loop's own StepFrame on an engine
// table that draws nothing. Reported in microseconds per frame and as a share of the 17 ms
// a frame may take.
#include "game/bombs.h"
#include "game/enemyai.h"
#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/mainloop.h"
#include "game/objectpool.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <cstdint>

namespace {

constexpr int32_t kFrameBudgetUs = 17000;
constexpr int32_t kFramesPerBurst = 48;  // the bursts, the spread and the flames dying

uint32_t g_clock = 0;
uint32_t g_random = 1;

int Ok() { return 0; }
int Ok1(int32_t) { return 0; }
int Draw4(int32_t, int32_t, int32_t, int32_t) { return 0; }
int DrawGraph(int32_t, int32_t, int32_t, int32_t) { return 0; }
int Stretched(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) { return 0; }
int Box(int32_t, int32_t, int32_t, int32_t, uint32_t, int32_t) { return 0; }
uint32_t Pack(int32_t r, int32_t g, int32_t b) { return uint32_t(r << 16 | g << 8 | b); }
int Text(int32_t, int32_t, const char*, uint32_t, uint32_t) { return 0; }
int Formatted(int32_t, int32_t, uint32_t, const char*, ...) { return 0; }
int LoadGraphs(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t*, int32_t) {
  return 0;
}
int LoadSound(const char*, int32_t, int32_t) { return 0; }
int PlaySound(int32_t, int32_t, int32_t) { return 0; }
int PlayMusic(const char*, int32_t) { return 0; }
int32_t Random(uint32_t max) {
  g_random = g_random * 1103515245u + 12345u;
  return int32_t((g_random >> 16) % (max + 1));
}
uint32_t Tick() { return g_clock; }
void Sleep(uint32_t ms) { g_clock += ms; }
int Ask(const char*, const char*) { return 0; }
int WaitStop(uint32_t) { return 1; }
void SignalStop(int32_t) {}

const GameApi kSilentEngine = {
    .EngineInit = Ok,
    .EngineEnd = Ok,
    .PumpMessages = Ok,
    .ChangeWindowMode = Ok1,
    .SetScreenMode = Draw4,
    .PresentScreen = Ok,
    .SetDrawTarget = Ok1,
    .ClearDrawTarget = Ok,
    .LoadSplitGraph = LoadGraphs,
    .FreeAllGraphs = Ok1,
    .DrawGraphAt = DrawGraph,
    .DrawGraphStretched = Stretched,
    .DrawColorBox = Box,
    .PackScreenColor = Pack,
    .DrawTextDefaultFont = Text,
    .DrawTextFormatted = Formatted,
    .LoadSoundFile = LoadSound,
    .PlaySoundHandle = PlaySound,
    .StopSoundHandle = Ok1,
    .PlayMusicFile = PlayMusic,
    .StopMusicFile = Ok,
    .IsMusicFilePlaying = Ok,
    .ReadPadState = Ok1,
    .IsKeyDown = Ok1,
    .WaitAnyInput = Ok,
    .RandomInt = Random,
    .GetTickMs = Tick,
    .Sleep = Sleep,
    .AskYesNo = Ask,
    .WaitClockStop = WaitStop,
    .SignalClockStop = SignalStop,
};

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

void FreeRound() {
  FreePathWork();
  FreePlayers();
  FreeGameState();
  FreeStageTable();
  FreeObjectPool();
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
