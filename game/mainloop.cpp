#include "game/mainloop.h"

#include "game/enemyai.h"
#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/hud.h"
#include "game/judge.h"
#include "game/menus.h"
#include "game/objectpool.h"
#include "game/players.h"

#include "engine/engine.h"  // the key and pad constants

#include <mutex>
#include <system_error>
#include <thread>

namespace {

constexpr uint32_t kFrameMs = 17;
constexpr uint32_t kClockMs = 1000;

// Taken by the clock thread around its wait and tick; no other code takes it.
std::mutex g_clockMutex;
std::thread g_clockThread;

// Each successor is taken before the behaviour runs: a behaviour may free its own record.
void RunBehaviours() {
  FieldObject* o = g_ActiveSentinel->nextActive;
  while (o != g_ActiveSentinel) {
    FieldObject* next = o->nextActive;
    o->behaviour(o);
    o = next;
  }
}

void PlayFrame() {
  for (int32_t n = 1; n <= kPlayerCount; n++) HandlePlayerMove(n);
  // Player 1 or player 2, at random, lays bombs first; the others follow with wrap-around.
  const int32_t first = 1 + g_Api->RandomInt(1);
  for (int32_t i = 0; i < kPlayerCount; i++)
    HandlePlayerButtons((first - 1 + i) % kPlayerCount + 1);
  if (g_Game->paused.load() == 0) {
    RunBehaviours();
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      g_CurrentPlayer = g_Players[n];
      if (g_CurrentPlayer->active == 1)
        TouchCellObjects(g_CurrentPlayer->cellY, g_CurrentPlayer->cellX);
    }
    g_Game->frameCount++;
    JudgeRound();
  }
  DrawHud();
}

void StopAndFreeEverything() {
  StopRoundClock();
  g_Api->Sleep(kFrameMs);
  g_Api->FreeAllGraphs(0);
  FreePathWork();
  FreePlayers();
  g_Api->EngineEnd();
  FreeGameState();
  FreeStageTable();
  FreeObjectPool();
}

}  // namespace

void ReadPads() {
  g_Players[1]->padBits = g_Api->ReadPadState(PAD_KEYBOARD_FLAG | 1);
  for (int32_t n = 2; n <= kPlayerCount; n++) g_Players[n]->padBits = g_Api->ReadPadState(n);
}

void CreateRecords() {
  ResetCellBuckets();
  CreateGameState();
  CreatePlayers();
  CreateStageTable();
  CreateObjectPool();
  CreatePathWork();
}

int WinMain(const GameApi* api) {
  g_Api = api;
  if (g_Api->AskYesNo("フルスクリーンモードで起動しますか？", "スクリーン設定") == 0)
    g_Api->ChangeWindowMode(1);
  if (g_Api->EngineInit() == -1) return -1;
  g_Api->SetScreenMode(640, 480, 16, 60);
  CreateRecords();
  StartRoundClock();
  g_Api->SetDrawTarget(-2);
  // Without its own files the game would run with invisible walls or players, or silent:
  // it ends at once instead, having named them.
  const int32_t missing = LoadImages() + LoadSounds() + CheckMenuMusic();
  if (missing > 0) {
    const bool ending = g_Api->PumpMessages() != 0;
    if (!ending) TellHowToRestoreFiles();
    StopAndFreeEverything();
    return ending ? 0 : -1;
  }
  RunMainLoop();
  StopAndFreeEverything();
  return 0;
}

void RunMainLoop() {
  if (g_Api->PumpMessages() != 0) return;
  while (StepFrame()) {
  }
}

int StepFrame() {
  if (g_Game->quitRequested == 1) return 0;
  const uint32_t frameStart = g_Api->GetTickMs();
  ReadPads();
  if (g_Api->IsKeyDown(KEY_ESCAPE) == 1) g_Game->quitRequested = 1;
  if (g_Game->inPlay.load() == 1) PlayFrame();
  if (g_Game->inPlay.load() == 0) RunMenuLoop();
  if (g_Api->IsKeyDown(KEY_ESCAPE) == 1) return 0;
  // Sleeping rather than spinning: a spin holds a core, and on a manual clock never ends.
  while (int32_t(g_Api->GetTickMs() - frameStart) < int32_t(kFrameMs)) g_Api->Sleep(1);
  return g_Api->PumpMessages() == 0 ? 1 : 0;
}

void RoundClockTick() {
  if (!g_Game) return;
  if (g_Game->inPlay.load() == 1 && g_Game->paused.load() == 0) g_Game->secondsLeft.fetch_sub(1);
}

void RoundClockThread() {
  for (;;) {
    std::lock_guard<std::mutex> hold(g_clockMutex);
    if (g_Api->WaitClockStop(kClockMs)) return;
    RoundClockTick();
  }
}

void StartRoundClock() {
  g_Api->SignalClockStop(0);
  try {
    g_clockThread = std::thread(RoundClockThread);
  } catch (const std::system_error&) {
    // Without a thread the round clock stands still; play goes on.
  }
}

void StopRoundClock() {
  g_Api->SignalClockStop(1);
  if (g_clockThread.joinable()) g_clockThread.join();
}
