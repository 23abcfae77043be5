#include "game/stages.h"

#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/objectpool.h"
#include "game/players.h"

#include <cstdlib>

namespace {

constexpr int32_t kSubTableRows = 50;
constexpr int32_t kRoundSeconds = 200;
constexpr int32_t kAfterNormalRound = 2;  // the between-stages screen
constexpr int32_t kJoinInvulnerable = 500;
constexpr int32_t kParked = 1000;
constexpr int32_t kSoftBlocks = 60;
constexpr int32_t kEnemySlots = 9;

// The plan's cell values.
constexpr int32_t kOpen = 0;
constexpr int32_t kWall = 1;
constexpr int32_t kSoft = 2;
constexpr int32_t kEnemyStart = 5;
constexpr int32_t kKeptOpen = 6;

// Soft-block contents beyond the item kinds.
constexpr int32_t kNothing = 100;
constexpr int32_t kEnemyOnDemand = 500;
constexpr int32_t kItemClass = 600;
constexpr int32_t kCore = 700;
constexpr int32_t kExit = 1000;

using Row = int32_t[kStageColumns];
constexpr int32_t E = kStageEmpty;

// Stages 0-3 as played: row 0 belongs to no stage, stages 1 and 2 are played, stage 3 is
// only shown on the stage data screen.
constexpr Row kEnemyRows[4] = {
    {3, 14, 19, 23, 4, 7, 6, 9, 26},
    {0, 0, 0, 0, E, E, E, E, E},
    {1, E, E, E, E, E, E, E, E},
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
};
constexpr Row kItemRows[4] = {
    {E, E, E, E, E, E, E, E, E},
    {4, 4, 4, 4, 5, 5, 5, 5, 11},
    {8, 9, 10, 13, 17, 18, 19, 20, 21},
    {6, E, E, E, E, E, E, E, E},
};
// Stages 4-41 are never reached by play; they hold walkers, now and then a core mech, and
// the power-ups 4-21. Stages 42-49 are empty.
constexpr int32_t kLastFilledStage = 41;

int32_t LaterEnemy(int32_t stage, int32_t column) {
  if (column >= 3 + stage % 5) return E;
  return column == 0 && stage % 3 == 0 ? 1 : 0;
}

int32_t LaterItem(int32_t stage, int32_t column) {
  if (column >= 6 + stage % 4) return E;
  return 4 + (stage * 5 + column * 7) % 18;
}

int32_t& Plan(int32_t column, int32_t row) { return g_Game->grid[row * kFieldColumns + column]; }

bool Near(int32_t column, int32_t row, const PlayerRecord* p, int32_t reach) {
  return std::abs(column - p->cellX) <= reach && std::abs(row - p->cellY) <= reach;
}

struct Cell {
  int32_t column, row;
};

// Columns 0-14 and rows 0-12, drawn until the plan shows an open cell.
Cell PickOpenCell() {
  for (;;) {
    const int32_t column = g_Api->RandomInt(14);
    const int32_t row = g_Api->RandomInt(12);
    if (Plan(column, row) == kOpen) return {column, row};
  }
}

FieldObject* PlaceSoftBlock(Cell c, int32_t content) {
  Plan(c.column, c.row) = kSoft;
  return CreateFieldObject("Block", 0, 1, c.column, c.row, 0, 1, content, 0, 0, 0, 0, 0, 0);
}

void PlaceWallsAndFloor() {
  for (int32_t row = 0; row < kFieldRows; row++) {
    for (int32_t column = 0; column < kFieldColumns; column++) {
      const bool wall = row == 0 || row == kFieldRows - 1 || column == 0 ||
                        column == kFieldColumns - 1 || (row % 2 == 0 && column % 2 == 0);
      CreateFloorTile(row, g_Game->floorStyle + 2, column, g_Game->floorStyle + 2);
      Plan(column, row) = wall ? kWall : kOpen;
      if (wall) CreateFieldObject("Block", 0, 0, column, row, 0, 1, 0, 0, 0, 0, 0, 0, 0);
    }
  }
}

void KeepStartsOpen() {
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    const PlayerRecord* p = g_Players[n];
    if (OnField(p->cellY, p->cellX)) Plan(p->cellX, p->cellY) = kKeptOpen;
  }
  for (int32_t row = 0; row < kFieldRows; row++)
    for (int32_t column = 0; column < kFieldColumns; column++)
      for (int32_t n = 1; n <= kPlayerCount; n++)
        if (Plan(column, row) == kOpen && Near(column, row, g_Players[n], 1))
          Plan(column, row) = kKeptOpen;
}

void PlaceBattleBlocks() {
  for (int32_t k = 0; k < kSoftBlocks; k++) {
    const int32_t content = k < 6 ? 6 : k < 13 ? 5 : k < 20 ? 4 : kNothing;
    PlaceSoftBlock(PickOpenCell(), content);
  }
}

void PlaceEnemies() {
  const PlayerRecord* p1 = g_Players[1];
  const PlayerRecord* p2 = g_Players[2];
  for (int32_t i = 0; i < kEnemySlots; i++) {
    for (;;) {
      const int32_t column = g_Api->RandomInt(14);
      const int32_t row = g_Api->RandomInt(12);
      if (Plan(column, row) != kOpen || Near(column, row, p1, 3) || Near(column, row, p2, 3))
        continue;
      const int32_t kind = StageEntry(kStageEnemies, g_Game->stage, i);
      if (kind == kStageEmpty) break;
      // Not on the lines the players walk out along.
      if (column == 1 || column == 13 || row == 1 || row == 11) continue;
      if (SpawnEnemy(column, row, kind, 0)) g_Game->enemyCount++;
      Plan(column, row) = kEnemyStart;
      break;
    }
  }
}

int32_t SoftBlockContent(int32_t k) {
  const int32_t stage = g_Game->stage;
  if (k == 59) return kExit;
  const int64_t pairScore = int64_t(g_Players[1]->score) + g_Players[2]->score;
  if (k >= 56 && k <= 58 && pairScore >= 100000) return kEnemyOnDemand;
  if (k == 55) {
    if (g_Api->RandomInt(100) <= 50) return kNothing;
    int32_t r = g_Api->RandomInt(3);
    if (stage < 10) r = 0;
    return kItemClass + r;
  }
  if (stage != 2 && k >= 50 && k <= stage / 15 + 52) {
    g_Game->coreCount++;
    return kCore;
  }
  if (k <= 8) {
    const bool pair = g_Players[1]->active == 1 && g_Players[2]->active == 1;
    return StageEntry(pair ? kStageItemsTwoPlayers : kStageItemsOnePlayer, stage, k);
  }
  return kNothing;
}

void PlaceNormalBlocks() {
  for (int32_t k = 0; k < kSoftBlocks; k++) {
    const Cell c = PickOpenCell();
    PlaceSoftBlock(c, SoftBlockContent(k));
  }
}

void CommonReset(PlayerRecord* p) {
  p->fireRange = 2;
  p->bombCapacity = 1;
  p->bombsLeft = p->bombCapacity;
  p->speed = 2;
  p->passAbility = p->bombType = p->fullFire = p->lineBomb = 0;
}

}  // namespace

void FillStageTable() {
  for (int32_t stage = 0; stage < kSubTableRows; stage++) {
    for (int32_t column = 0; column < kStageColumns; column++) {
      int32_t enemy = E, item = E;
      if (stage < 4) {
        enemy = kEnemyRows[stage][column];
        item = kItemRows[stage][column];
      } else if (stage <= kLastFilledStage) {
        enemy = LaterEnemy(stage, column);
        item = LaterItem(stage, column);
      }
      g_StageTable->rows[kStageEnemies + stage][column] = enemy;
      g_StageTable->rows[kStageItemsOnePlayer + stage][column] = item;
      g_StageTable->rows[kStageItemsTwoPlayers + stage][column] = item;
    }
  }
}

int32_t StageEntry(int32_t subTable, int32_t stage, int32_t column) {
  if (stage < 0 || stage >= kSubTableRows || column < 0 || column >= kStageColumns)
    return kStageEmpty;
  return g_StageTable->rows[subTable + stage][column];
}

void StartStageMusic() {
  g_Api->StopMusicFile();
  if (g_Game->musicOn == 1 && (g_Game->mode == 1 || g_Game->mode == 3)) PlayStageMusic();
}

void StartRound() {
  g_Game->inPlay = 1;
  g_Game->secondsLeft = kRoundSeconds;
  g_Game->menuState = kAfterNormalRound;
  g_CurrentPlayer = g_Players[1];
  for (int32_t n = 1; n <= kPlayerCount; n++) PlacePlayerAtStart(g_Players[n]);
}

void BuildStage() {
  g_Game->floorStyle = g_Game->stage / 9;
  g_Game->scoreChain = g_Game->enemyCount = g_Game->coreCount = 0;
  PlaceWallsAndFloor();
  KeepStartsOpen();
  if (g_Game->mode == 3) {
    PlaceBattleBlocks();
    return;
  }
  PlaceEnemies();
  PlaceNormalBlocks();
}

void ResetPlayersForRound() {
  if (g_Game->mode == 3) ResetProgress(2);
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    PlayerRecord* p = g_Players[n];
    p->moving = p->reserved = 0;
    // A button still held from the menus neither lays a bomb nor pauses.
    p->bombLatch = p->pauseLatch = 1;
    if (p->active == 1) {
      if (g_Game->mode != 3) p->invulnerable = kJoinInvulnerable;
    } else {
      p->lives = p->invulnerable = 0;
      p->cellX = p->cellY = kParked;
    }
    p->pixelX = p->cellX * 32;
    p->pixelY = p->cellY * 32;
    p->centreX = p->pixelX + 16;
    p->centreY = p->pixelY + 16;
    p->bombsLeft = p->bombCapacity;
    p->facing = 1;
  }
}

void ResetProgress(int32_t kind) {
  if (kind < 0 || kind > 2) return;
  if (kind == 0) g_Game->stage = 1;
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    PlayerRecord* p = g_Players[n];
    if (kind == 0) p->active = 0;
    if (kind <= 1) p->score = 0;
    if (kind == 2) p->lives = 1;
    CommonReset(p);
  }
  if (kind == 2) g_Game->stock = 0;
}
