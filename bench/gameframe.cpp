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
#include "game/stages.h"
#include "engine/engine.h"
#include "engine/pixel/screen.h"
#include "engine/base/log.h"
#include "bench/ratio.h"
#include "platform/kernel/kernel.h"
#include "tests/support/pngread.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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
int Log(const char*) { return -1; }
void Tell(const char*) {}
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
    .WriteLog = Log,
    .TellUser = Tell,
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

// ---- one play frame drawn -----------------------------------------------------------------
// A frame of stage 1 as the game draws it (recorded from the game's own DrawHud, with a
// core mech standing on the field for the 96 x 96 stretch), drawn from the generated sheets
// through the real engine (headless, software rendering, 640 x 480 at 16 bits), against the
// same cells at the same places through SDL2's software renderer on a 5:6:5 surface: 32 x 32
// colour-keyed textures, the stretch, the band and a cleared screen; the texts through
// SDL_ttf with the same IPA face when it is installed, else on neither side. Frames per
// second; the ratio is SDL's time over ours.

namespace {

constexpr char kFace[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

struct RecordedDraw {
  enum Kind { kGraph, kStretched, kBox, kText } kind;
  int32_t x1, y1, x2, y2;
  int32_t sheet, cell;  // graphs
  uint32_t color;       // boxes: 0xRRGGBB
  std::string text;     // Shift-JIS
};

std::vector<std::string> g_sheetFiles;
std::vector<int32_t> g_sheetAcross;
std::vector<RecordedDraw> g_draws;

int RecLoadGraphs(const char* file, int32_t total, int32_t across, int32_t, int32_t, int32_t,
                  int32_t* handles, int32_t) {
  const int32_t sheet = int32_t(g_sheetFiles.size());
  g_sheetFiles.push_back(file);
  g_sheetAcross.push_back(across);
  for (int32_t i = 0; i < total; i++) handles[i] = (sheet + 1) << 16 | i;
  return 0;
}
int RecClear() {
  g_draws.clear();
  return 0;
}
int RecGraph(int32_t x, int32_t y, int32_t graph, int32_t) {
  g_draws.push_back({RecordedDraw::kGraph, x, y, x + 32, y + 32, (graph >> 16) - 1, graph & 0xFFFF, 0, {}});
  return 0;
}
int RecStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph, int32_t) {
  g_draws.push_back({RecordedDraw::kStretched, x1, y1, x2, y2, (graph >> 16) - 1, graph & 0xFFFF, 0, {}});
  return 0;
}
int RecBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t) {
  g_draws.push_back({RecordedDraw::kBox, x1, y1, x2, y2, -1, -1, color, {}});
  return 0;
}
int RecText(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t) {
  g_draws.push_back({RecordedDraw::kText, x, y, 0, 0, -1, -1, color, text});
  return 0;
}
__attribute__((format(printf, 4, 5))) int RecFormatted(int32_t x, int32_t y, uint32_t color,
                                                       const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return RecText(x, y, text, color, 0);
}

// The draws of one play frame of stage 1, a few seconds into the round.
void RecordPlayFrame() {
  if (!g_draws.empty()) return;
  GameApi rec = kSilentEngine;
  rec.LoadSplitGraph = RecLoadGraphs;
  rec.ClearDrawTarget = RecClear;
  rec.DrawGraphAt = RecGraph;
  rec.DrawGraphStretched = RecStretched;
  rec.DrawColorBox = RecBox;
  rec.DrawTextDefaultFont = RecText;
  rec.DrawTextFormatted = RecFormatted;
  g_Api = &rec;
  CreateRecords();
  LoadImages();
  g_Game->mode = 1;
  g_Game->stock = 4;
  g_Game->textColour = Pack(255, 255, 255);
  g_Players[1]->active = g_Players[1]->lives = 1;
  g_Game->playersInRound = 1;
  StartRound();
  BuildStage();
  ResetPlayersForRound();
  SpawnEnemy(7, 7, 1, 0);
  for (int32_t f = 0; f < 120; f++) StepFrame();
  FreeRound();
  g_Api = nullptr;
}

std::string Utf8(const std::string& sjis) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == iconv_t(-1)) return {};
  std::string out(sjis.size() * 3 + 1, '\0');
  char* in = const_cast<char*>(sjis.data());
  size_t inLeft = sjis.size(), outLeft = out.size();
  char* o = out.data();
  iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

void ReportFrames(benchmark::State& state) {
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// What the frame holds, for the label.
std::string FrameLabel(bool texts) {
  int32_t counts[4] = {};
  for (const RecordedDraw& d : g_draws) counts[d.kind]++;
  return std::to_string(counts[0]) + " cells, " + std::to_string(counts[1]) + " stretched, " +
         std::to_string(counts[2]) + " boxes, " + (texts ? std::to_string(counts[3]) + " texts" : "no texts");
}

bool g_withText = false;

void BM_Game_PlayFrameOurs(benchmark::State& state) {
  RecordPlayFrame();
  g_withText = std::filesystem::exists(kFace);
  setenv("KR_PLATFORM", "headless", 1);
  // The engine's log would go to Log.txt in the working directory, and its lines to stderr.
  SetLogDebuggerOnly(1);
  PlatSetDebugSink([](const char*, void*) {}, nullptr);
  ChangeWindowMode(1);
  g_ScreenState.softwareRender = 1;
  if (EngineInit() != 0) return state.SkipWithError("the engine did not start");
  SetScreenMode(640, 480, 16, 60);
  SetDrawTarget(-2);
  std::vector<std::vector<int32_t>> handles(g_sheetFiles.size());
  for (size_t s = 0; s < g_sheetFiles.size(); s++) {
    handles[s].resize(size_t(g_sheetAcross[s]) * 120);
    const std::string path = std::string(KR_ASSET_DIR) + "/" + g_sheetFiles[s];
    RgbImage sheet;
    if (!ReadRgbPng(path, &sheet)) return state.SkipWithError("no generated sheets");
    const int32_t cells = (sheet.width / 32) * (sheet.height / 32);
    if (LoadSplitGraph(path.c_str(), cells, g_sheetAcross[s], sheet.height / 32, 32, 32, handles[s].data(), 0) != 0)
      return state.SkipWithError("a sheet did not load");
  }
  for (auto _ : state) {
    ClearDrawTarget();
    for (const RecordedDraw& d : g_draws) {
      switch (d.kind) {
        case RecordedDraw::kGraph: DrawGraphAt(d.x1, d.y1, handles[size_t(d.sheet)][size_t(d.cell)], 1); break;
        case RecordedDraw::kStretched:
          DrawGraphStretched(d.x1, d.y1, d.x2, d.y2, handles[size_t(d.sheet)][size_t(d.cell)], 1);
          break;
        case RecordedDraw::kBox:
          DrawColorBox(d.x1, d.y1, d.x2, d.y2, PackScreenColor(int32_t(d.color >> 16), int32_t(d.color >> 8 & 0xFF),
                                                               int32_t(d.color & 0xFF)), 1);
          break;
        case RecordedDraw::kText:
          if (g_withText) DrawTextDefaultFont(d.x1, d.y1, d.text.c_str(), PackScreenColor(255, 255, 255), 0);
          break;
      }
    }
  }
  EngineEnd();
  ReportFrames(state);
  state.SetLabel(FrameLabel(g_withText));
}
BENCHMARK(BM_Game_PlayFrameOurs)->Unit(benchmark::kMicrosecond);

void BM_Game_PlayFrameSdlSoftware(benchmark::State& state) {
  RecordPlayFrame();
  g_withText = std::filesystem::exists(kFace);
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Renderer* renderer = screen ? SDL_CreateSoftwareRenderer(screen) : nullptr;
  if (!renderer) return state.SkipWithError("no SDL software renderer");
  // One texture per cell, colour-keyed on black, as the engine keeps one graph per cell.
  std::vector<std::vector<SDL_Texture*>> textures(g_sheetFiles.size());
  for (size_t s = 0; s < g_sheetFiles.size(); s++) {
    RgbImage sheet;
    if (!ReadRgbPng(std::string(KR_ASSET_DIR) + "/" + g_sheetFiles[s], &sheet))
      return state.SkipWithError("no generated sheets");
    for (int32_t cy = 0; cy + 32 <= sheet.height; cy += 32)
      for (int32_t cx = 0; cx + 32 <= sheet.width; cx += 32) {
        SDL_Surface* cell = SDL_CreateRGBSurfaceWithFormatFrom(
            sheet.rgb.data() + size_t(cy) * size_t(sheet.width) + size_t(cx), 32, 32, 32,
            sheet.width * 4, SDL_PIXELFORMAT_RGB888);
        SDL_SetColorKey(cell, SDL_TRUE, SDL_MapRGB(cell->format, 0, 0, 0));
        textures[s].push_back(SDL_CreateTextureFromSurface(renderer, cell));
        SDL_FreeSurface(cell);
      }
  }
  TTF_Font* font = nullptr;
  if (g_withText && TTF_Init() == 0) font = TTF_OpenFont(kFace, 16);
  std::vector<std::string> lines;
  for (const RecordedDraw& d : g_draws) lines.push_back(d.kind == RecordedDraw::kText ? Utf8(d.text) : "");
  const SDL_Color white{255, 255, 255, 255};
  for (auto _ : state) {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (size_t i = 0; i < g_draws.size(); i++) {
      const RecordedDraw& d = g_draws[i];
      const SDL_Rect to{d.x1, d.y1, d.x2 - d.x1, d.y2 - d.y1};
      switch (d.kind) {
        case RecordedDraw::kGraph:
        case RecordedDraw::kStretched:
          SDL_RenderCopy(renderer, textures[size_t(d.sheet)][size_t(d.cell)], nullptr, &to);
          break;
        case RecordedDraw::kBox:
          SDL_SetRenderDrawColor(renderer, uint8_t(d.color >> 16), uint8_t(d.color >> 8), uint8_t(d.color), 255);
          SDL_RenderFillRect(renderer, &to);
          break;
        case RecordedDraw::kText:
          if (font && !lines[i].empty()) {
            SDL_RenderFlush(renderer);
            SDL_Surface* text = TTF_RenderUTF8_Solid(font, lines[i].c_str(), white);
            SDL_Rect at{d.x1, d.y1, 0, 0};
            if (text) SDL_BlitSurface(text, nullptr, screen, &at);
            SDL_FreeSurface(text);
          }
          break;
      }
    }
    SDL_RenderFlush(renderer);
  }
  if (font) TTF_CloseFont(font);
  if (g_withText) TTF_Quit();
  for (auto& sheet : textures)
    for (SDL_Texture* t : sheet) SDL_DestroyTexture(t);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(screen);
  ReportFrames(state);
  state.SetLabel(FrameLabel(font != nullptr));
}
BENCHMARK(BM_Game_PlayFrameSdlSoftware)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv, {{"BM_Game_PlayFrameOurs", "BM_Game_PlayFrameSdlSoftware"}}, "frames/s",
                       "SDL2's software renderer");
}
