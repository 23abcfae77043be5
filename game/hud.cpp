#include "game/hud.h"

#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/objectpool.h"
#include "game/players.h"

#include <cstring>
#include <iterator>

namespace {

// Blinking things show on frames whose counter is 0 or a positive multiple of 3.
bool ShowsOn(int32_t counter) { return counter == 0 || (counter > 0 && counter % 3 == 0); }

// A sprite index outside its table draws nothing.
template <size_t N>
void Draw(const int32_t (&images)[N], int32_t index, int32_t x, int32_t y) {
  if (index >= 0 && size_t(index) < N) g_Api->DrawGraphAt(x, y, images[index], 1);
}

bool OffScreen(int32_t x, int32_t y) { return x + 32 < 0 || y < 0 || x > 640 || y > 480; }

int32_t BurningItemImage(int32_t timer) {
  if (timer > 20) return 2;
  if (timer >= 11) return 3;
  if (timer >= 1) return 4;
  return 0;
}

// Everything but enemies and shots, in creation order: floors under blocks, later objects
// over both.
void DrawGround(const FieldObject* o, int32_t x, int32_t y) {
  if (IsKind(o, "Fire")) {
    Draw(g_BombImages, o->sprite, x, y);
  } else if (IsKind(o, "Yuka")) {
    Draw(g_FloorImages, o->owner, x, y);
  } else if (IsKind(o, "Goal")) {
    Draw(g_FloorImages, o->sprite, x, y);
  } else if (IsKind(o, "Block")) {
    if (o->subKind == 2)
      Draw(g_BombImages, o->sprite, x, y);
    else if (o->subKind == 0 || o->subKind == 1)
      Draw(g_BlockImages, o->sprite, x, y);
  } else if (IsKind(o, "Item")) {
    if (o->power >= 1)
      Draw(g_ItemImages, o->subKind, x, y);
    else
      Draw(g_BlockImages, BurningItemImage(o->timer), x, y);
  } else if (IsKind(o, "Score")) {
    // Raised a row's worth of text for each step of the multiplier.
    if (ShowsOn(o->timer))
      g_Api->DrawTextFormatted(x, y - 20 * o->content, g_Api->PackScreenColor(200, 0, 0),
                               "%d　×　%d", o->points, o->content);
  }
}

void DrawEnemy(const FieldObject* o, int32_t x, int32_t y) {
  // A wounded enemy blinks while its shield runs down.
  if (o->timer != 0 && o->power != 0 && !(o->timer > 0 && o->timer % 3 == 0)) return;
  if (o->subKind == 1) {
    // The core mech stands over three cells each way, its feet on its own cell.
    if (o->sprite >= 0 && o->sprite < int32_t(std::size(g_EnemyImages)))
      g_Api->DrawGraphStretched(x - 32, y - 64, x + 64, y + 32, g_EnemyImages[o->sprite], 1);
    return;
  }
  Draw(g_EnemyImages, o->sprite, x, y);
}

enum Pass { kGround, kShots, kEnemies };

void DrawPass(Pass pass) {
  for (const FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel;
       o = o->nextActive) {
    const int32_t x = o->pixelX + kFieldScreenX, y = o->pixelY + kFieldScreenY;
    if (OffScreen(x, y)) continue;
    const bool enemy = IsKind(o, "Enemy"), shot = IsKind(o, "Tama");
    if (pass == kGround && o->alive == 1 && !enemy && !shot) DrawGround(o, x, y);
    if (pass == kShots && shot && ShowsOn(o->timer))
      Draw(g_TamaImages, o->facing + 4 * o->sprite, x, y);
    if (pass == kEnemies && enemy) DrawEnemy(o, x, y);
  }
}

void DrawPlayers() {
  for (PlayerRecord* p = g_Players[1]; p; p = p->nextRecord) {
    if (std::strcmp(p->name, "Player") != 0 || p->active != 1) continue;
    g_CurrentPlayer = p;
    UpdatePlayerFrame();
    // Blinking while invulnerable; a player with no lives left shows steadily as it falls.
    if (p->invulnerable == 0 || p->lives == 0 ||
        (p->invulnerable > 0 && p->invulnerable % 3 == 0))
      Draw(g_PlayerImages, p->spriteFrame, p->pixelX + kFieldScreenX, p->pixelY + kFieldScreenY);
  }
}

// A player's line in normal mode: its score and lives, or whether it may join in.
struct PlayerLine {
  int32_t x;
  const char* playing;  // with the score and the lives
  const char* canJoin;
  const char* waiting;
};

void DrawPlayerLine(const PlayerLine& line, const PlayerRecord* p) {
  const uint32_t c = g_Game->textColour;
  if (p->lives >= 1)
    g_Api->DrawTextFormatted(line.x, 70, c, line.playing, p->score, p->lives);
  else
    g_Api->DrawTextFormatted(line.x, 70, c, "%s", g_Game->stock >= 1 ? line.canJoin : line.waiting);
}

void DrawNormalTexts() {
  const GameState* g = g_Game;
  const uint32_t c = g->textColour;
  g_Api->DrawTextFormatted(10, 10, c, "ハイスコア　%d　残り時間　%d　ステージ %d 到達度　%d",
                           g->hiScore, g->secondsLeft.load(), g->stage, g->reach);
  g_Api->DrawTextFormatted(10, 40, c, "モード　%d 人数　%d 残りのコアメカ %d", g->mode,
                           g->stock, g->coreCount);
  DrawPlayerLine({10, "１P　%d　体　%d", "１P、途中参加OK", "１P、ちょっと待ってね"},
                 g_Players[1]);
  DrawPlayerLine({310, "２P　%d　体　%d", "２P、途中参加OK", "２P、ちょっと待ってね"},
                 g_Players[2]);
}

void DrawBattleTexts() {
  const GameState* g = g_Game;
  const uint32_t c = g->textColour;
  g_Api->DrawTextFormatted(10, 10, c, "残り時間　%d　ステージ %d", g->secondsLeft.load(),
                           g->stage);
  g_Api->DrawTextFormatted(10, 40, c,
                           "１P勝ち数　%d　２P勝ち数　%d ３P勝ち数　%d　４P勝ち数　%d",
                           g_Players[1]->score, g_Players[2]->score, g_Players[3]->score,
                           g_Players[4]->score);
  g_Api->DrawTextFormatted(10, 70, c, "モード　%d", g->mode);
}

void DrawPauseLines() {
  const char* const kLines[kPlayerCount + 1] = {"", "１Pポーズ", "２Pポーズ", "３Pポーズ",
                                                "４Pポーズ"};
  for (int32_t n = 1; n <= kPlayerCount; n++)
    if (g_Players[n]->pausedByMe == 1)
      g_Api->DrawTextFormatted(250, 268, g_Game->textColour, "%s", kLines[n]);
}

}  // namespace

void DrawHud() {
  g_CurrentPlayer = g_Players[1];
  g_Api->ClearDrawTarget();
  DrawField();
  if (g_Game->mode == 1) DrawNormalTexts();
  if (g_Game->mode == 3) DrawBattleTexts();
  DrawPauseLines();
  g_Api->PresentScreen();
}

void DrawField() {
  DrawPass(kGround);
  DrawPass(kShots);
  DrawPass(kEnemies);
  DrawPlayers();
  g_CurrentPlayer = g_Players[1];
  g_Api->DrawColorBox(0, 0, 640, 90, g_Api->PackScreenColor(0, 0, 0), 1);
}
