#include "game/players.h"

#include "game/behaviours.h"
#include "game/bombs.h"
#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/hiscore.h"
#include "game/objectpool.h"

namespace {

// PadBits.
constexpr int32_t kPadDown = 1;
constexpr int32_t kPadLeft = 2;
constexpr int32_t kPadRight = 4;
constexpr int32_t kPadUp = 8;
constexpr int32_t kButton1 = 16;
constexpr int32_t kButton2 = 32;
constexpr int32_t kButton5 = 0x100;

constexpr int32_t kJoinInvulnerable = 500;
constexpr int32_t kHitInvulnerable = 160;
constexpr int32_t kFallFrames = 80;
constexpr int32_t kRoundSeconds = 200;
// Draws of a free cell that ScatterPlayerItems makes before the field counts as full.
constexpr int32_t kScatterDraws = 1000;

struct StartCell {
  int32_t column, row;
};
constexpr StartCell kStarts[kPlayerCount + 1] = {{0, 0}, {1, 1}, {13, 11}, {13, 1}, {1, 11}};

bool Within(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

bool PassesSoftBlocks(const PlayerRecord* p) { return p->passAbility == 1 || p->passAbility == 3; }
bool PassesBombs(const PlayerRecord* p) { return p->passAbility == 2 || p->passAbility == 3; }

// Of the blocks around, walls stop a player, and soft blocks unless it passes them; bombs are
// judged apart, on the cell the player walks into.
bool StopsWalk(const PlayerRecord* p, const FieldObject* b) {
  return b->subKind == 0 || (b->subKind == 1 && !PassesSoftBlocks(p));
}

// Slides the player one pixel at a time by `step` (-1 or 1), `speed` times, never past
// `goal`, the centre line of the open cell beside the block.
void Slide(int32_t& centre, int32_t& pixel, int32_t step, int32_t goal, int32_t speed) {
  for (int32_t i = 0; i < speed; i++)
    if (step < 0 ? centre > goal : centre < goal) centre += step;
  pixel = centre - 16;
}

// Against a block on one axis: the edge of the step's box that lies within the block's span
// puts the player beside the block on that side.
void Snap(int32_t& pixel, int32_t& centre, int32_t boxLow, int32_t boxHigh, int32_t blockPixel) {
  if (Within(boxLow, blockPixel, blockPixel + 32)) {
    pixel = blockPixel + 32;
    centre = blockPixel + 48;
  } else if (Within(boxHigh, blockPixel, blockPixel + 32)) {
    pixel = blockPixel - 32;
    centre = blockPixel - 16;
  }
}

// Corner help across the walk: a player well off the block's line slides round its corner
// into the open cell on its side; one nearly on the line is just stopped.
void HelpRound(const PlayerRecord* p, int32_t& centre, int32_t& pixel, int32_t blockCentre,
               int32_t rowBefore, int32_t columnBefore, int32_t rowAfter, int32_t columnAfter) {
  if (centre + 4 < blockCentre && CellBlocksPlayer(rowBefore, p, columnBefore) == 0)
    Slide(centre, pixel, -1, blockCentre - 32, p->speed);
  else if (centre - 4 > blockCentre && CellBlocksPlayer(rowAfter, p, columnAfter) == 0)
    Slide(centre, pixel, 1, blockCentre + 32, p->speed);
}

// A wall, or a soft block the player cannot pass, that the step's box runs into.
void AgainstBlock(PlayerRecord* p, const FieldObject* b, const int32_t (&box)[4]) {
  if (p->dirY != 0) Snap(p->pixelY, p->centreY, box[2], box[3], b->pixelY);
  if (p->dirX != 0) Snap(p->pixelX, p->centreX, box[0], box[1], b->pixelX);
  if (p->dirY != 0)
    HelpRound(p, p->centreX, p->pixelX, b->centreX, b->cellY, b->cellX - 1, b->cellY, b->cellX + 1);
  else if (p->dirX != 0)
    HelpRound(p, p->centreY, p->pixelY, b->centreY, b->cellY - 1, b->cellX, b->cellY + 1, b->cellX);
  p->moving = 0;
}

// A bomb on the cell walked into: pulled up to its edge, and passed only while the player
// still overlaps it (stepping off a bomb just laid).
void AgainstBomb(PlayerRecord* p, const FieldObject* b) {
  if (p->pixelX > b->pixelX + 32 && p->dirX == -1) p->pixelX = b->pixelX + 32;
  if (p->pixelX < b->pixelX - 32 && p->dirX == 1) p->pixelX = b->pixelX - 32;
  if (p->pixelY > b->pixelY + 32 && p->dirY == -1) p->pixelY = b->pixelY + 32;
  if (p->pixelY < b->pixelY - 32 && p->dirY == 1) p->pixelY = b->pixelY - 32;
  const bool across = Within(p->centreX - 12, b->pixelX, b->pixelX + 32) ||
                      Within(p->centreX + 12, b->pixelX, b->pixelX + 32);
  const bool down = Within(p->centreY - 12, b->pixelY, b->pixelY + 32) ||
                    Within(p->centreY + 12, b->pixelY, b->pixelY + 32);
  if (!(across && down)) p->moving = 0;
}

// A raised stat, held to its cap: sound 3 whether or not it changed.
void Raise(int32_t& stat, int32_t cap) {
  if (stat < cap) stat++;
}

// A lowered stat, held to its floor: sound 6 when it fell, 3 when it could not.
int32_t Lower(int32_t& stat, int32_t floor) {
  if (stat <= floor) return 3;
  stat--;
  return 6;
}

// The item's effect on the player or the game; the sound it takes.
int32_t ItemEffect(PlayerRecord* p, FieldObject* item) {
  switch (item->subKind) {
    case 0: p->score += 100; break;
    case 1: p->score += 1000; break;
    case 2: p->score += 100000; break;
    case 3: p->score += 10000; break;
    case 4:
      if (p->bombCapacity < 8) {
        p->bombCapacity++;
        p->bombsLeft++;
      }
      break;
    case 5: Raise(p->fireRange, 8); break;
    case 6: Raise(p->speed, 5); break;
    case 7: g_Game->stock++; break;
    case 8:
      if (!PassesBombs(p)) p->passAbility += 2;
      break;
    case 9:
      if (!PassesSoftBlocks(p)) p->passAbility += 1;
      break;
    case 10: p->invulnerable = 500; break;
    case 11: p->bombType = 1; break;
    case 12: p->lives++; break;
    case 13: p->bombType = 2; break;
    case 14:
      if (p->bombCapacity <= 1) return 3;
      p->bombCapacity--;
      p->bombsLeft--;
      return 6;
    case 15: return Lower(p->fireRange, 1);
    case 16: return Lower(p->speed, 1);
    case 17: p->bombType = 3; break;
    case 18: p->fullFire = 1; break;
    case 19: p->lineBomb = 1; break;
    case 20: p->bombType = 4; break;
    case 21: SpawnFourWalkers(item); return 6;
    default: break;
  }
  return 3;
}

void TakeExit(PlayerRecord* p) {
  p->moving = 0;
  p->reserved = 0;
  g_Game->stage++;
  g_Game->inPlay = 0;
  if (g_Game->reach <= g_Game->stage) g_Game->reach = g_Game->stage;
  SaveHiScore();
}

}  // namespace

void HandlePlayerMove(int32_t number) {
  PlayerRecord* p = g_Players[number];
  const int32_t pad = p->padBits;
  if (!(pad & kButton5)) {
    p->pauseLatch = 0;
  } else if (p->pauseLatch == 0) {
    if (p->lives >= 1) {
      p->pauseLatch = 1;
      // Only the player who paused can resume.
      if (g_Game->paused.load() == 0) {
        g_Game->paused = 1;
        p->pausedByMe = 1;
      } else if (p->pausedByMe == 1) {
        g_Game->paused = 0;
        p->pausedByMe = 0;
      }
    } else if ((number == 1 || number == 2) && g_Game->mode == 1 && g_Game->stock >= 1) {
      p->active = 1;
      p->pauseLatch = 1;
      g_Game->playersInRound++;
      g_Game->stock--;
      p->lives = 1;
      p->invulnerable = kJoinInvulnerable;
      PlacePlayerAtStart(p);
    }
    // Otherwise the press is looked at again next frame.
  }
  if (p->lives < 1 || g_Game->paused.load() != 0) return;

  // Down beats up beats right beats left; with nothing held the last direction stays.
  struct Key {
    int32_t bit, dirX, dirY;
  };
  constexpr Key kKeys[] = {{kPadLeft, -1, 0}, {kPadRight, 1, 0}, {kPadUp, 0, -1}, {kPadDown, 0, 1}};
  p->moving = 0;
  for (const Key& k : kKeys) {
    if (!(pad & k.bit)) continue;
    p->moving = 1;
    p->dirX = k.dirX;
    p->dirY = k.dirY;
  }
  if (p->dirY == -1)
    p->facing = 1;
  else if (p->dirY == 1)
    p->facing = 0;
  else if (p->dirX == -1)
    p->facing = 2;
  else if (p->dirX == 1)
    p->facing = 3;

  MovePlayer(p, p->cellY, p->cellX);
  if (p->moving == 1) {
    p->pixelX += p->dirX * p->speed;
    p->pixelY += p->dirY * p->speed;
  }
  p->centreX = p->pixelX + 16;
  p->centreY = p->pixelY + 16;
  p->cellX = p->centreX / 32;
  p->cellY = p->centreY / 32;
}

void HandlePlayerButtons(int32_t number) {
  PlayerRecord* p = g_Players[number];
  if (p->lives < 1 || g_Game->paused.load() != 0) return;
  if (!(p->padBits & kButton1)) {
    p->bombLatch = 0;
  } else if (p->bombLatch == 0) {
    p->bombLatch = 1;
    const int32_t under = CellHasBlock(p->cellY, p->cellX);
    if (p->bombsLeft >= 1 && under == 0) {
      PlaySe(1);
      LayBomb(p, p->cellX, p->cellY);
    } else if (p->lineBomb == 1 && p->bombsLeft >= 1 && under == 1) {
      LayBombLine(p, p->cellX, p->cellY, 0);
    }
  }
  if (!(p->padBits & kButton2)) {
    p->remoteLatch = 0;
  } else if (p->remoteLatch == 0) {
    p->remoteLatch = 1;
    if (p->bombType == 1) DetonateOldestBomb(number);
  }
}

void MovePlayer(PlayerRecord* p, int32_t row, int32_t column) {
  const int32_t stepX = p->dirX * p->speed, stepY = p->dirY * p->speed;
  // The box the step would take the player to: left, right, top, bottom.
  const int32_t box[4] = {p->centreX + stepX - 15, p->centreX + stepX + 15,
                          p->centreY + stepY - 15, p->centreY + stepY + 15};
  for (int32_t i = 0; i < 9; i++) {
    for (FieldObject* b = CellObjects(row - 1 + i / 3, column - 1 + i % 3); b; b = b->nextInCell) {
      if (!b->alive || !IsKind(b, "Block") || !StopsWalk(p, b)) continue;
      const bool hit = SquareHolds(b, box[0], box[2]) || SquareHolds(b, box[1], box[2]) ||
                       SquareHolds(b, box[0], box[3]) || SquareHolds(b, box[1], box[3]);
      if (hit) AgainstBlock(p, b, box);
    }
  }
  if (PassesBombs(p)) return;
  for (FieldObject* b = CellObjects(row + p->dirY, column + p->dirX); b; b = b->nextInCell) {
    if (b->alive && IsKind(b, "Block") && b->subKind == 2 && b->cellX == p->cellX + p->dirX &&
        b->cellY == p->cellY + p->dirY)
      AgainstBomb(p, b);
  }
}

void TouchCellObjects(int32_t row, int32_t column) {
  PlayerRecord* p = g_CurrentPlayer;
  if (!p) return;
  for (int32_t offset : kAroundOffsets) {
    for (FieldObject* o = BucketAround(row, column, offset); o; o = o->nextInCell) {
      if (!o->alive || !SquareHolds(o, p->centreX, p->centreY)) continue;
      // A second player on the exit in the same frame finds the round already over.
      if (IsKind(o, "Goal") && o->subKind == 1 && g_Game->inPlay.load() == 1) {
        TakeExit(p);
      } else if (IsKind(o, "Item")) {
        PlaySe(ItemEffect(p, o));
        o->alive = 0;
      }
      // Each hit makes the player invulnerable, so one frame costs one life at most.
      const bool hurts = (IsKind(o, "Enemy") && o->power > 0) || IsKind(o, "Fire") ||
                         IsKind(o, "Tama");
      if (p->invulnerable == 0 && hurts) LosePlayerLife(p);
    }
  }
}

void LosePlayerLife(PlayerRecord* p) {
  p->lives--;
  if (g_Game->secondsLeft.load() <= 0) {
    p->lives = 0;
    p->active = 0;
    g_Game->playersInRound--;
  }
  p->invulnerable = kHitInvulnerable;
  if (p->lives != 0) return;
  PlaySe(4);
  if (g_Game->secondsLeft.load() >= 1 && g_Game->mode != 3) g_Game->secondsLeft = kRoundSeconds;
  p->invulnerable = kFallFrames;
  p->passAbility = p->bombType = p->fullFire = p->lineBomb = 0;
  if (g_Game->mode == 3) ScatterPlayerItems(p);
}

void ScatterPlayerItems(PlayerRecord* p) {
  struct Gift {
    int32_t PlayerRecord::*stat;
    int32_t floor;
    int32_t itemKind;
  };
  const Gift gifts[] = {{&PlayerRecord::bombCapacity, 1, 4},
                        {&PlayerRecord::fireRange, 2, 5},
                        {&PlayerRecord::speed, 2, 6}};
  // Draws since a free cell was last found; once a field with no free cell has used them
  // up, what is left is lost.
  int32_t misses = 0;
  for (const Gift& g : gifts) {
    while (p->*g.stat > g.floor) {
      if (misses >= kScatterDraws) {
        p->*g.stat = g.floor;
        break;
      }
      const int32_t column = g_Api->RandomInt(14);
      const int32_t row = g_Api->RandomInt(12);
      if (!CellFreeForItem(row, column)) {
        misses++;
        continue;
      }
      misses = 0;
      SpawnItem(row, g.itemKind, column);
      p->*g.stat -= 1;
    }
  }
}

void PlacePlayerAtStart(PlayerRecord* p) {
  const StartCell& s = kStarts[p->number >= 1 && p->number <= kPlayerCount ? p->number : 1];
  p->cellX = s.column;
  p->cellY = s.row;
  p->pixelX = s.column * 32;
  p->pixelY = s.row * 32;
  p->centreX = p->pixelX + 16;
  p->centreY = p->pixelY + 16;
}

void UpdatePlayerFrame() {
  PlayerRecord* p = g_CurrentPlayer;
  if (!p) return;
  if (++p->animCounter >= 40) p->animCounter = 0;
  const int32_t base = (p->number - 1) * 20;
  if (p->lives >= 1) {
    p->spriteFrame = base + p->animCounter / 10 + p->facing * 4;
    return;
  }
  // The losing animation, timed by the fall's invulnerable frames.
  const int32_t t = p->invulnerable;
  if (t >= 31 || t <= 0)
    p->spriteFrame = base + 16;
  else if (t >= 21)
    p->spriteFrame = base + 17;
  else if (t >= 11)
    p->spriteFrame = base + 18;
  else
    p->spriteFrame = base + 19;
}

int32_t CellBlocksPlayer(int32_t row, const PlayerRecord* p, int32_t column) {
  if (!OnField(row, column)) return 1;
  for (const FieldObject* o = CellObjects(row, column); o; o = o->nextInCell) {
    if (!o->alive || !IsKind(o, "Block")) continue;
    if (StopsWalk(p, o) || (o->subKind == 2 && !PassesBombs(p))) return 1;
  }
  return 0;
}

int32_t CellFreeForItem(int32_t row, int32_t column) {
  if (!OnField(row, column)) return 0;
  for (const FieldObject* o = CellObjects(row, column); o; o = o->nextInCell)
    if (o->alive && (IsKind(o, "Block") || IsKind(o, "Item"))) return 0;
  return 1;
}
