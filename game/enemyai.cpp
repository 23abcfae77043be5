#include "game/enemyai.h"

#include "game/behaviours.h"
#include "game/bombs.h"
#include "game/gameapi.h"
#include "game/objectpool.h"

#include <algorithm>
#include <cstdlib>

PathWork* g_PathWork = nullptr;
FieldObject* g_CurrentAiObject = nullptr;

namespace {

constexpr int32_t kNone = 4;
constexpr int32_t kNoLine = 100;
// A probe reaches at most 9 cells from the searcher.
constexpr int32_t kProbeCells = 10;
constexpr int32_t kMoveTries = 8;
constexpr int32_t kRandomTries = 4;
constexpr int32_t kShootFrames = 32;
constexpr int32_t kCoreMech = 4;

// The order in which first directions are tried: of equal lines the earlier wins.
constexpr int32_t kProbeOrder[4] = {0, 1, 3, 2};

int32_t FloorDiv32(int32_t v) { return v >= 0 ? v / 32 : -((31 - v) / 32); }

int32_t& Search(int32_t column, int32_t row) {
  return g_PathWork->searchGrid[column * kFieldRows + row];
}

bool IsShot(const FieldObject* o) { return IsKind(o, "Tama"); }

// Near in a line: within one column or within one row of the player.
bool NearInLine(const FieldObject* o, const PlayerRecord* p) {
  return std::abs(o->cellX - p->cellX) <= 1 || std::abs(o->cellY - p->cellY) <= 1;
}

bool OnPlayer(int32_t column, int32_t row) {
  for (int32_t n = 1; n <= 2; n++)
    if (g_Players[n]->cellX == column && g_Players[n]->cellY == row) return true;
  return false;
}

// Whether a player lies ahead in direction d within the band of one row or column.
bool PlayerAhead(const FieldObject* o, const PlayerRecord* p, int32_t d) {
  const int32_t dx = p->cellX - o->cellX, dy = p->cellY - o->cellY;
  switch (d) {
    case 0: return dy > 0 && std::abs(dx) <= 1;
    case 1: return dy < 0 && std::abs(dx) <= 1;
    case 2: return dx < 0 && std::abs(dy) <= 1;
    default: return dx > 0 && std::abs(dy) <= 1;
  }
}

int32_t Blocked(FieldObject* o, bool throughBlocks, int32_t column, int32_t row) {
  return throughBlocks ? PathBlockedByWall(column, row) : PathBlocked(o, column, row);
}

// One probe step on (column, row) going in direction f; the probe grows cell by cell until
// it reaches a player, meets a blocked or visited cell, can no longer beat the best line, or
// has reached its length.
int32_t ProbeStep(FieldObject* o, bool throughBlocks, int32_t column, int32_t row, int32_t f) {
  PathWork& w = *g_PathWork;
  Search(column, row) = 1;
  w.pathColumns[w.depth] = column;
  w.pathRows[w.depth] = row;
  const int32_t n = ++w.depth;
  if (OnPlayer(column, row)) {
    w.lineHits++;
    if (n < w.bestLength) {
      w.bestLength = n;
      w.found = 1;
    }
  }
  const int32_t nextColumn = column + kStepX[f], nextRow = row + kStepY[f];
  if (w.lineHits == 0 && OnField(nextRow, nextColumn) && Search(nextColumn, nextRow) == 0 &&
      w.lowerBound != w.bestLength && n < kProbeCells &&
      !Blocked(o, throughBlocks, nextColumn, nextRow))
    ProbeStep(o, throughBlocks, nextColumn, nextRow, f);
  w.depth--;
  if (Search(column, row) != 2) Search(column, row) = 0;
  if (w.found == 1) (throughBlocks ? w.aimResult : w.bestDirection) = f;
  return w.found;
}

// The first directions toward players 1 and 2 whose first cell is open, each probed; the
// direction of the shortest line, or none.
int32_t BestLine(FieldObject* o, bool throughBlocks) {
  if (!g_PathWork) return kNone;
  PathWork& w = *g_PathWork;
  ResetPathWork(o);
  for (int32_t d : kProbeOrder) {
    if (!PlayerAhead(o, g_Players[1], d) && !PlayerAhead(o, g_Players[2], d)) continue;
    const int32_t column = o->cellX + kStepX[d], row = o->cellY + kStepY[d];
    if (!OnField(row, column) || Blocked(o, throughBlocks, column, row)) continue;
    // Each success adds at least 1, so a later direction wins only with a shorter line.
    w.found += ProbeStep(o, throughBlocks, column, row, d);
    w.lineHits = 0;
  }
  if (w.found == 0) return kNone;
  return throughBlocks ? w.aimResult : w.bestDirection;
}

void Step(FieldObject* o) {
  if (!o->moving) return;
  o->stepCount++;
  o->pixelX += o->dirX * 32 / o->stepFrames;
  o->pixelY += o->dirY * 32 / o->stepFrames;
  o->centreX = o->pixelX + 16;
  o->centreY = o->pixelY + 16;
  if (o->stepCount != o->stepFrames) return;
  o->cellX = FloorDiv32(o->centreX);
  o->cellY = FloorDiv32(o->centreY);
  o->moving = 0;
  MoveObjectToCell(o, o->cellY, o->cellX);
}

bool AtBoundary(const FieldObject* o) {
  return !o->moving && g_Game->frameCount % o->stepFrames == 0;
}

// The chance of starting to shoot at a cell boundary: one in 2, 4 or 6 by the step length.
int32_t ShootDraw(int32_t stepFrames) {
  switch (stepFrames) {
    case 32: return g_Api->RandomInt(1);
    case 16: return g_Api->RandomInt(3);
    case 8: return g_Api->RandomInt(5);
    default: return 1;
  }
}

}  // namespace

void CreatePathWork() {
  g_PathWork = new PathWork();
  g_PathWork->bestDirection = kNone;
}

void FreePathWork() {
  delete g_PathWork;
  g_PathWork = nullptr;
}

void RunEnemyMove(FieldObject* e) {
  // A kind without movement parameters would divide by its step length of 0: it stands.
  if (!e->alive || e->stepFrames <= 0) return;
  if (AtBoundary(e)) {
    g_CurrentAiObject = e;
    ThinkEnemy();
    int32_t d = e->aiDirection;
    if (d == kNone) {
      d = e->facing;
      const bool crossing = e->cellX % 2 == 1 && e->cellY % 2 == 1;
      if (crossing && e->turnChance > g_Api->RandomInt(100)) d = g_Api->RandomInt(3);
    }
    for (int32_t tries = 1; tries <= kMoveTries && !e->moving; tries++) {
      SetDirectionDelta(e, d);
      CellHasBlockOrTama(e, e->cellY + e->dirY, e->cellX + e->dirX);
      if (!e->moving) d = tries <= kRandomTries ? g_Api->RandomInt(3) : (d + 1) % 4;
    }
    e->stepCount = 0;
    const int32_t r = ShootDraw(e->stepFrames);
    if (r == 0 && CellHasBlock(e->cellY, e->cellX) == 0 && e->aimDirection != kNone) {
      PlaySe(2);
      e->moving = 0;
      e->behaviour = ActEnemyShoot;
      e->stateTimer = kShootFrames;
      e->facing = e->aimDirection;
    }
  }
  if (e->power <= 0) e->moving = 0;
  Step(e);
}

void StepTama(FieldObject* s) {
  if (s->stepFrames <= 0) return;
  if (AtBoundary(s)) {
    g_CurrentAiObject = s;
    if (s->alive) ThinkEnemy();
    const int32_t d = s->aiDirection == kNone ? s->facing : s->aiDirection;
    SetDirectionDelta(s, d);
    CellHasBlockOrTama(s, s->cellY + s->dirY, s->cellX + s->dirX);
    s->stepCount = 0;
  }
  Step(s);
}

void SetDirectionDelta(FieldObject* o, int32_t direction) {
  const bool known = direction >= 0 && direction < 4;
  o->dirX = known ? kStepX[direction] : 0;
  o->dirY = known ? kStepY[direction] : 0;
  o->facing = direction;
  o->moving = 1;
}

int32_t CellHasBlockOrTama(FieldObject* m, int32_t row, int32_t column) {
  // The border is all walls on a real stage; past it nothing goes on.
  if (!OnField(row, column)) {
    if (IsShot(m)) m->alive = 0;
    m->moving = 0;
    return 1;
  }
  int32_t stopped = 0;
  for (FieldObject* o = CellObjects(row, column); o; o = o->nextInCell) {
    if (!StandsOn(o, row, column) || !IsKind(o, "Block")) continue;
    if (o->subKind == 1 && m->variant == 1) continue;
    // A shot flies on over a soft block, where the block's hit check catches it.
    if (IsShot(m) && o->subKind == 1) continue;
    if (IsShot(m)) m->alive = 0;
    m->moving = 0;
    stopped = 1;
  }
  return stopped;
}

void ThinkEnemy() {
  FieldObject* o = g_CurrentAiObject;
  if (!o) return;
  if (IsShot(o)) {
    o->aiDirection = kNone;
    return;
  }
  if (!NearInLine(o, g_Players[1]) && !NearInLine(o, g_Players[2])) {
    o->aimDirection = o->aiDirection = kNone;
    return;
  }
  LookForPlayer(o);
  if (o->pattern != kCoreMech) return;
  if (o->aiDirection != kNone)
    o->aimDirection = o->aiDirection;
  else
    AimAtPlayer(o);
}

FieldObject* SpawnTama(FieldObject* enemy, int32_t column, int32_t row) {
  return CreateFieldObject("Tama", 0, 3, column, row, 8, 0, 0, 0, 0, 0, enemy->stateTimer, 2, 0);
}

void LookForPlayer(FieldObject* o) { o->aiDirection = BestLine(o, false); }
void AimAtPlayer(FieldObject* o) { o->aimDirection = BestLine(o, true); }

void ResetPathWork(FieldObject* o) {
  PathWork& w = *g_PathWork;
  w.found = w.depth = w.lineHits = 0;
  w.aimResult = kNone;
  int64_t nearest = INT32_MAX;
  for (int32_t n = 1; n <= 2; n++) {
    const PlayerRecord* p = g_Players[n];
    nearest = std::min(nearest, std::abs(int64_t(o->cellX) - p->cellX) +
                                    std::abs(int64_t(o->cellY) - p->cellY));
  }
  w.lowerBound = int32_t(nearest);
  w.bestLength = kNoLine;
  std::fill(std::begin(w.searchGrid), std::end(w.searchGrid), 0);
  if (OnField(o->cellY, o->cellX)) Search(o->cellX, o->cellY) = 2;
}

int32_t PathBlocked(FieldObject* o, int32_t column, int32_t row) {
  if (!OnField(row, column)) return 1;
  const int32_t cell = row * kFieldColumns + column;
  for (const FieldObject* b = CellObjects(row, column); b; b = b->nextInCell) {
    if (b->cell != cell || !IsKind(b, "Block")) continue;
    if (b->subKind == 0 || (b->subKind == 1 && o->variant != 1)) {
      Search(column, row) = 2;
      return 1;
    }
  }
  return 0;
}

int32_t PathBlockedByWall(int32_t column, int32_t row) {
  if (!OnField(row, column)) return 1;
  const int32_t cell = row * kFieldColumns + column;
  for (const FieldObject* b = CellObjects(row, column); b; b = b->nextInCell) {
    if (b->cell == cell && IsKind(b, "Block") && b->subKind == 0) {
      Search(column, row) = 2;
      return 1;
    }
  }
  return 0;
}

int32_t ProbeLineToPlayer(FieldObject* o, int32_t column, int32_t row, int32_t direction) {
  if (!OnField(row, column) || direction < 0 || direction > 3) return g_PathWork->found;
  return ProbeStep(o, false, column, row, direction);
}

int32_t ProbeLineToPlayerThroughBlocks(int32_t column, int32_t row, int32_t direction) {
  if (!OnField(row, column) || direction < 0 || direction > 3) return g_PathWork->found;
  return ProbeStep(nullptr, true, column, row, direction);
}
