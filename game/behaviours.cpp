#include "game/behaviours.h"

#include "game/bombs.h"
#include "game/enemyai.h"
#include "game/gameapi.h"
#include "game/gamestate.h"
#include "game/objectpool.h"
#include "game/players.h"

namespace {

constexpr int32_t kAppearFrames = 8;
constexpr int32_t kRemovalFrames = 7;
constexpr int32_t kCoreMech = 4;
constexpr int32_t kPopUpFrames = 40;
constexpr int32_t kShieldFrames = 128;
constexpr int32_t kGoalShield = 80;

// Soft-block contents beyond the item kinds.
constexpr int32_t kNothing = 100;
constexpr int32_t kEnemyOnDemand = 500;
constexpr int32_t kItemClass = 600;
constexpr int32_t kCore = 700;
constexpr int32_t kExit = 1000;

bool IsSoftBlock(const FieldObject* o) { return IsKind(o, "Block") && o->subKind == 1; }

void Appear(FieldObject* o, int32_t frames, ObjectBehaviour next) {
  if (++o->stateTimer < frames) return;
  o->stateTimer = 0;
  o->behaviour = next;
}

void AppendToBombList(FieldObject* bomb) {
  FieldObject* last = g_ActiveSentinel;
  while (last->nextBomb) last = last->nextBomb;
  last->nextBomb = bomb;
  bomb->prevBomb = last;
  bomb->nextBomb = nullptr;
}

void CheckHitsOnBeat(FieldObject* o) {
  if (g_Game->frameCount % 8 == 0) CheckObjectHits(o, o->cellY, o->cellX, 1);
}

void Remove(FieldObject* o, int32_t onBombList) {
  if (++o->stateTimer == kRemovalFrames) ReleaseFieldObject(o, onBombList);
}

// A core is freed: sound 8 while cores are left, 9 for the last.
void FreeCore() {
  g_Game->coreCount--;
  PlaySe(g_Game->coreCount > 0 ? 8 : 9);
}

void WakeEnemy(const FieldObject* at, int32_t kind) {
  if (SpawnEnemy(at->cellX, at->cellY, kind, kShieldFrames)) g_Game->enemyCount++;
}

void RaiseEnemyCountToZero() {
  if (g_Game->enemyCount < 0) g_Game->enemyCount = 0;
}

int32_t EnemySprite(const FieldObject* e) {
  const int32_t base = e->subKind * 20;
  if (e->power >= 1) return base + e->animCounter / 10 + e->facing * 4;
  const int32_t t = e->timer;
  if (t >= 31 || t < 1) return base + 16;
  if (t >= 21) return base + 17;
  if (t >= 11) return base + 18;
  return base + 19;
}

// The defeated enemy's score: its points times the chain in force, shown in a pop-up.
void ScoreDefeat(FieldObject* e) {
  PlaySe(7);
  CreateFieldObject("Score", 0, 0, e->cellX, e->cellY, 0, 0, g_Game->scoreChain, kPopUpFrames,
                    e->points, 0, 0, 0, 0);
  e->points *= g_Game->scoreChain;
  if (e->owner >= 1 && e->owner <= kPlayerCount) g_Players[e->owner]->score += e->points;
  g_Game->scoreChain--;
}

int32_t SoftBlockSprite(const FieldObject* b) {
  const int32_t style = g_Game->floorStyle * 5;
  if (b->timer > 0) return style + (b->timer >= 21 ? 2 : b->timer >= 11 ? 3 : 4);
  switch (b->content) {
    case kEnemyOnDemand: return 25;
    case kItemClass + 0: return 26;
    case kItemClass + 1: return 27;
    case kItemClass + 2: return 28;
    case kItemClass + 3: return 29;
    case kCore: return 30;
    default: break;
  }
  // Hidden items blink once the enemies are gone.
  const bool blink = g_Game->mode != 3 && g_Game->enemyCount < 1 && b->content < kNothing &&
                     g_Game->frameCount % 4 != 0;
  return style + 1 + (blink ? 2 : 0);
}

void Release(const FieldObject* b) {
  const int32_t content = b->content;
  if (content >= 0 && content <= 99) {
    SpawnItem(b->cellY, content, b->cellX);
  } else if (content == kEnemyOnDemand) {
    SpawnEnemiesOnDemand(1, b);
  } else if (content >= kItemClass && content <= kItemClass + 3) {
    PlaySe(8);
    DropItem(content - kItemClass, b);
  } else if (content == kCore) {
    FreeCore();
  } else if (content == kExit) {
    SpawnGoal(b->cellY, b->cellX);
  }
}

// A burnt exit brings an enemy and gives way to a fresh closed exit. When no record is left
// for the fresh one, the burnt one stays, closed and shielded, so the stage keeps its exit.
void ReplaceGoal(FieldObject* g) {
  SpawnEnemiesOnDemand(0, g);
  if (SpawnGoal(g->cellY, g->cellX)) return;
  g->alive = 1;
  g->subKind = 0;
  g->sprite = 0;
  g->power = 1;
  g->timer = kGoalShield;
}

}  // namespace

void ActEnemyAppear(FieldObject* o) { Appear(o, kAppearFrames, ActEnemy); }
void ActPickupAppear(FieldObject* o) { Appear(o, kAppearFrames, ActBlockOrPickup); }
void ActTamaAppear(FieldObject* o) { Appear(o, kAppearFrames, ActTama); }
void ActFloorTileAppear(FieldObject* o) { Appear(o, kAppearFrames, ActFloorTile); }
void ActFloorTile(FieldObject* o) { o->owner = o->tileSprite; }

void ActEnemy(FieldObject* o) {
  RunEnemyMove(o);
  CheckHitsOnBeat(o);
  if (++o->animCounter >= 40) o->animCounter = 0;
  o->sprite = EnemySprite(o);
  if (o->alive == 1 && o->timer > 0) {
    o->timer--;
    if (o->power < 1 && o->timer == 0) {
      o->alive = 0;
      if (o->owner != 0) ScoreDefeat(o);
      // Whoever defeated it, the core mech leaves its core behind.
      if (o->pattern == kCoreMech) DropItemNearby(o);
      g_Game->enemyCount--;
    }
  }
  if (o->alive == 0) o->behaviour = ActRemove;
}

void ActEnemyShoot(FieldObject* o) {
  CheckHitsOnBeat(o);
  if (o->stateTimer >= 0 && o->stateTimer <= 3) {
    SpawnTama(o, o->cellX, o->cellY);
    if (o->stateTimer == 0) o->behaviour = ActEnemy;
  }
  o->stateTimer--;
}

void ActTama(FieldObject* o) {
  StepTama(o);
  CheckHitsOnBeat(o);
  if (o->alive && o->timer > 0) {
    o->timer--;
    if (o->power <= 0 && o->timer == 0) o->alive = 0;
  }
  if (o->alive == 0) o->behaviour = ActRemove;
}

void ActBlockOrPickup(FieldObject* o) {
  if (IsSoftBlock(o)) o->sprite = SoftBlockSprite(o);
  CheckHitsOnBeat(o);
  if (o->alive) {
    if (o->timer > 0) o->timer--;
    if (o->power < 1 && o->timer <= 0) {
      o->alive = 0;
      if (IsKind(o, "Goal"))
        ReplaceGoal(o);
      else if (IsSoftBlock(o))
        Release(o);
    }
  }
  if (IsKind(o, "Goal") && o->subKind == 0 && g_Game->coreCount == 0) {
    o->subKind = 1;
    o->sprite = 1;
  }
  if (o->alive == 0) o->behaviour = ActRemove;
}

void SpawnEnemiesOnDemand(int32_t mode, const FieldObject* o) {
  PlaySe(5);
  RaiseEnemyCountToZero();
  // Of the kinds that move, the block's enemy is the core mech.
  WakeEnemy(o, mode == 0 ? 0 : 1);
}

void DropItem(int32_t itemClass, const FieldObject* b) {
  int32_t kind = 0;
  switch (itemClass) {
    case 0:
      kind = g_Api->RandomInt(6);
      if (kind == 2 || kind == 3) kind -= 2;
      break;
    case 1: kind = 7 + g_Api->RandomInt(14); break;
    case 2:
      kind = g_Api->RandomInt(21);
      if (kind == 2 || kind == 3 || kind == 14 || kind == 15 || kind == 16 || kind == 20 ||
          kind == 21)
        kind = g_Api->RandomInt(1);
      break;
    case 3: SpawnFourWalkers(b); return;
    default: return;
  }
  SpawnItem(b->cellY, kind, b->cellX);
}

void DropItemNearby(const FieldObject* e) {
  struct Offset {
    int32_t column, row;
  };
  constexpr Offset kTried[] = {{0, 0}, {0, 1}, {0, -1}, {1, 0}, {-1, 0}};
  for (const Offset& t : kTried) {
    const int32_t column = e->cellX + t.column, row = e->cellY + t.row;
    if (!CellFreeForItem(row, column)) continue;
    if (CreateFieldObject("Block", 0, 1, column, row, 0, 1, kCore, 0, 0, 0, 0, 0, 0)) return;
    break;
  }
  // Nowhere to put the core: it counts as freed at once, or the exit would never open.
  FreeCore();
}

void SpawnFourWalkers(const FieldObject* o) {
  PlaySe(5);
  RaiseEnemyCountToZero();
  for (int32_t i = 0; i < 4; i++) WakeEnemy(o, 0);
}

void ActBlockAppear(FieldObject* o) {
  if (o->subKind == 2 && o->stateTimer == 1) AppendToBombList(o);
  Appear(o, kAppearFrames,
         o->subKind == 0 ? ActWall : o->subKind == 2 ? ActBombOrFire : ActBlockOrPickup);
}

void ActFireAppear(FieldObject* o) { Appear(o, 1, ActBombOrFire); }

void ActBombOrFire(FieldObject* o) {
  CheckHitsOnBeat(o);
  if (o->owner >= 1 && o->owner <= kPlayerCount && o->timer < 0 &&
      g_Players[o->owner]->bombType != 1)
    o->timer = 150;
  g_CurrentFire = o;
  if (o->alive) ExplodeBomb();
  if (o->timer % 10 == 0) o->sprite += o->sprite % 4 == 3 ? -3 : 1;
  if (o->alive == 0) o->behaviour = IsKind(o, "Block") ? ActRemoveBomb : ActRemove;
}

void ActWall(FieldObject* o) {
  o->sprite = g_Game->floorStyle * 5;
  if (o->alive == 0) o->behaviour = ActRemove;
}

void ActRemove(FieldObject* o) { Remove(o, 0); }
void ActRemoveBomb(FieldObject* o) { Remove(o, 1); }
