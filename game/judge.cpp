#include "game/judge.h"

#include "game/gamestate.h"
#include "game/hiscore.h"
#include "game/objectpool.h"
#include "game/players.h"

namespace {

constexpr int32_t kRoundSeconds = 200;
constexpr int32_t kParkedCell = 10000;
constexpr int32_t kClearStage = 3;
constexpr int32_t kNormalMode = 1;
constexpr int32_t kBattleMode = 3;

// A higher score becomes the hi score, with the stage it was made on as the reach.
void RecordHiScore(int32_t score) {
  if (score <= g_Game->hiScore) return;
  g_Game->hiScore = score;
  g_Game->reach = g_Game->stage;
  SaveHiScore();
}

int32_t BestScore() {
  int32_t best = g_Players[1]->score;
  for (int32_t n = 2; n <= kPlayerCount; n++)
    if (g_Players[n]->score > best) best = g_Players[n]->score;
  return best;
}

void TimeOut() {
  if (g_Game->secondsLeft.load() >= 1) return;
  // Only players in the round can be taken out of it: one that is not would push
  // playersInRound below 0 and sound a fall.
  for (int32_t n = 1; n <= kPlayerCount; n++)
    if (g_Players[n]->active == 1) LosePlayerLife(g_Players[n]);
  g_Game->secondsLeft = kRoundSeconds;
}

// A player whose last life is gone leaves the round once its fall is over.
void EndFalls() {
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    PlayerRecord* p = g_CurrentPlayer = g_Players[n];
    if (p->active != 1 || p->invulnerable <= 0) continue;
    p->invulnerable--;
    if (p->invulnerable != 0 || p->lives != 0 || g_Game->playersInRound < 1) continue;
    p->active = 0;
    g_Game->playersInRound--;
    p->cellX = p->cellY = kParkedCell;
    if (g_Game->stock > 0) continue;
    RecordHiScore(p->score);
    if (g_Game->mode != kBattleMode) p->score = 0;
  }
}

bool RoundOver() {
  if (g_Game->mode == kNormalMode) {
    for (int32_t n = 1; n <= kPlayerCount; n++)
      if (g_Players[n]->active != 0) return false;
    return true;
  }
  if (g_Game->mode == kBattleMode) return g_Game->playersInRound <= 1;
  return false;
}

bool AllLivesGone() {
  for (int32_t n = 1; n <= kPlayerCount; n++)
    if (g_Players[n]->lives != 0) return false;
  return true;
}

void EndNormalRound() {
  if (AllLivesGone()) {
    if (g_Game->stock == 0) {
      // Players taken out by the clock never pass through the falls' hi-score check.
      RecordHiScore(BestScore());
      g_Game->menuState = 3;
    } else {
      g_Players[1]->lives = 1;
      g_Game->stock--;
      g_Game->menuState = 2;
    }
  } else if (g_Game->stage == kClearStage) {
    if (BestScore() > g_Game->hiScore) g_Game->hiScore = BestScore();
    g_Game->reach = g_Game->stage;
    SaveHiScore();
    g_Game->menuState = 4;
  }
  ClearObjects();
}

void EndBattleRound() {
  if (!AllLivesGone()) {
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      if (g_Players[n]->lives == 1) {
        g_Players[n]->score++;
        break;
      }
    }
  }
  g_Game->menuState = 1002;
  ClearObjects();
}

}  // namespace

void JudgeRound() {
  TimeOut();
  EndFalls();
  // Taking the exit has already ended the round.
  if (RoundOver()) g_Game->inPlay = 0;
  if (g_Game->inPlay.load() == 1) return;
  if (g_Game->mode == kNormalMode) EndNormalRound();
  if (g_Game->mode == kBattleMode) EndBattleRound();
}
