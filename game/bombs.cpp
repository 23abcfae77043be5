#include "game/bombs.h"

#include "game/gamestate.h"
#include "game/objectpool.h"

FieldObject* g_CurrentFire = nullptr;

namespace {

constexpr int32_t kFuse = 150;
constexpr int32_t kRemoteFuse = -1;
constexpr int32_t kFullFireRange = 12;
constexpr int32_t kFlameFrames = 32;
constexpr int32_t kCentre = 4;


struct BombMake {
  int32_t variant, fuse, sprite, range, spreading;
};

BombMake BombFor(const PlayerRecord* p) {
  const int32_t range = p->fullFire ? kFullFireRange : p->fireRange;
  switch (p->bombType) {
    case 1: return {0, kRemoteFuse, 8, range, 0};
    case 2: return {1, kFuse, 12, range, 0};
    // Piercing and full range only while every bomb is in hand.
    case 3:
      if (p->bombsLeft == p->bombCapacity) return {1, kFuse, 16, kFullFireRange, 0};
      return {0, kFuse, 4, range, 0};
    case 4: return {0, kFuse, 20, range, 1};
    default: return {0, kFuse, 4, range, 0};
  }
}

bool IsBomb(const FieldObject* o) { return IsKind(o, "Block") && o->subKind == 2; }
bool IsSoftBlock(const FieldObject* o) { return IsKind(o, "Block") && o->subKind == 1; }

PlayerRecord* OwnerOf(const FieldObject* o) {
  return o->owner >= 1 && o->owner <= kPlayerCount ? g_Players[o->owner] : nullptr;
}

FieldObject* Flame(const FieldObject* from, int32_t variant, int32_t direction, int32_t column,
                   int32_t row, int32_t range, int32_t pattern) {
  return CreateFieldObject("Fire", variant, direction, column, row, 0, range, 0, kFlameFrames, 0,
                           from->owner, 0, pattern, 1);
}

void BurnDown(FieldObject* f) {
  if (--f->timer == 0) f->alive = 0;
}

void TickFuse(FieldObject* bomb) {
  if (bomb->timer == 0) {
    PlaySe(0);
    bomb->alive = 0;
    if (PlayerRecord* owner = OwnerOf(bomb)) owner->bombsLeft++;
    Flame(bomb, bomb->variant, kCentre, bomb->cellX, bomb->cellY, bomb->power, bomb->pattern);
  }
  // A remote bomb's -1 keeps falling and never meets 0 by itself.
  bomb->timer--;
}

void Spread(FieldObject* f) {
  if (f->power < 1) {
    BurnDown(f);
    return;
  }
  // Every flame of a spreading bomb throws a small cross of its own.
  if (f->pattern == 1) Flame(f, 0, kCentre, f->cellX, f->cellY, 1, 0);
  for (int32_t d = 0; d < 4; d++) {
    if (f->subKind != d && f->subKind != kCentre) continue;
    f->dirX = kStepX[d];
    f->dirY = kStepY[d];
    const int32_t column = f->cellX + f->dirX, row = f->cellY + f->dirY;
    const int32_t meets = QueryCellForFire(row, column);
    if (meets == 2) continue;
    Flame(f, f->variant, d, column, row, meets == 0 ? f->power - 1 : 0, f->pattern);
  }
  f->power = 0;
  BurnDown(f);
}

// A flame reaches an item, an enemy, the exit or a soft block that is no longer shielded.
void Burn(FieldObject* s, FieldObject* flame, int32_t row, int32_t column) {
  if (IsKind(s, "Enemy") && s->pattern == 4) {
    // The core mech sheds a walker with every hit.
    if (SpawnEnemy(column, row, 0, 128)) g_Game->enemyCount++;
  }
  s->power--;
  s->owner = flame->owner;
  s->timer = 40;
  if (IsKind(s, "Block")) flame->sprite = 0;
  if (s->power < 1) {
    if (IsKind(s, "Enemy") && flame->owner != 0) g_Game->scoreChain++;
  } else {
    s->timer = 80;
  }
}

bool Overlap(const FieldObject* a, const FieldObject* b) {
  const int32_t xs[2] = {a->pixelX, a->pixelX + 32}, ys[2] = {a->pixelY, a->pixelY + 32};
  for (int32_t x : xs)
    for (int32_t y : ys)
      if (SquareHolds(b, x, y)) return true;
  return false;
}

}  // namespace

FieldObject* LayBomb(PlayerRecord* player, int32_t column, int32_t row) {
  const BombMake m = BombFor(player);
  FieldObject* bomb = CreateFieldObject("Block", m.variant, 2, column, row, 0, m.range, 0, m.fuse,
                                        0, player->number, 0, m.spreading, m.sprite);
  // With every record in use the bomb is simply not laid.
  if (!bomb) return nullptr;
  CheckObjectHits(bomb, row, column, 2);
  g_CurrentFire = bomb;
  if (bomb->alive) ExplodeBomb();
  player->bombsLeft--;
  return bomb;
}

void LayBombLine(PlayerRecord* player, int32_t column, int32_t row, int32_t stop) {
  const int32_t facing = player->facing >= 0 && player->facing < 4 ? player->facing : 0;
  for (;;) {
    PlaySe(1);
    column += kStepX[facing];
    row += kStepY[facing];
    if (player->bombsLeft <= 0 || CellBlocksBombLine(row, column) != 0) return;
    if (!LayBomb(player, column, row) || stop != 0) return;
  }
}

void DetonateOldestBomb(int32_t number) {
  for (FieldObject* b = g_ActiveSentinel->nextBomb; b; b = b->nextBomb) {
    // A burst bomb stays on the list through its removal frames with its fuse run past 0.
    if (b->owner == number && b->timer < 0 && b->alive) {
      b->timer = 0;
      PlaySe(1);
      return;
    }
  }
}

void ExplodeBomb() {
  FieldObject* f = g_CurrentFire;
  if (!f) return;
  if (IsBomb(f))
    TickFuse(f);
  else if (IsKind(f, "Fire") && f->alive)
    Spread(f);
}

int32_t QueryCellForFire(int32_t row, int32_t column) {
  const FieldObject* f = g_CurrentFire;
  const int32_t onColumn = f ? f->cellX + f->dirX : column;
  const int32_t onRow = f ? f->cellY + f->dirY : row;
  if (!OnField(row, column)) return 2;
  int32_t meets = 0;
  for (FieldObject* o = CellObjects(row, column); o; o = o->nextInCell) {
    if (!StandsOn(o, onRow, onColumn)) continue;
    if (IsKind(o, "Block"))
      meets = o->subKind > 0 ? 1 : 2;
    else if (IsKind(o, "Item"))
      meets = 1;
  }
  if (meets == 1 && f && f->variant == 1) meets = 0;
  return meets;
}

int32_t CellHasBlock(int32_t row, int32_t column) {
  int32_t found = 0;
  for (FieldObject* o = CellObjects(row, column); o; o = o->nextInCell)
    if (o->alive && IsKind(o, "Block")) found = o->subKind == 2 ? 1 : 2;
  return found;
}

int32_t CellBlocksBombLine(int32_t row, int32_t column) {
  if (!OnField(row, column)) return 2;
  int32_t found = 0;
  for (FieldObject* o = CellObjects(row, column); o; o = o->nextInCell) {
    if (!o->alive) continue;
    if (IsKind(o, "Block"))
      found = o->subKind == 2 ? 1 : 2;
    else if (IsKind(o, "Enemy") || IsKind(o, "Item") || IsKind(o, "Goal"))
      found = 3;
  }
  return found;
}

int32_t CheckObjectHits(FieldObject* s, int32_t row, int32_t column, int32_t mode) {
  if (row == 0 || column == 0 || row == 13 || column == 15) return 0;
  const bool burns = IsKind(s, "Item") || IsKind(s, "Enemy") || IsKind(s, "Goal") ||
                     IsSoftBlock(s);
  for (int32_t offset : kAroundOffsets) {
    for (FieldObject* o = BucketAround(row, column, offset); o; o = o->nextInCell) {
      if (!o->alive) continue;
      if (SquareHolds(o, s->centreX, s->centreY)) {
        if (IsKind(o, "Fire")) {
          if (burns) {
            // Shielded: the flame that uncovers an item or the exit does not burn it.
            if (s->timer < 1)
              Burn(s, o, row, column);
            else
              s->stateTimer = 0;
          }
          if (IsBomb(s)) s->timer = 0;
        } else if (IsKind(o, "Tama") && IsSoftBlock(s) && s->alive) {
          s->power--;
          s->timer = 40;
          o->moving = 0;
          o->alive = 0;
          if (SpawnEnemy(column, row, 0, 128)) g_Game->enemyCount++;
        }
      }
      // A bomb laid under an enemy sends it back to the cell it came from.
      if (mode == 2 && IsKind(o, "Enemy") && (Overlap(o, s) || Overlap(s, o))) {
        o->dirX = -o->dirX;
        o->dirY = -o->dirY;
        o->stepCount = o->stepFrames - o->stepCount;
      }
    }
  }
  return 0;
}
