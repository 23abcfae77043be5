#include "game/behaviours.h"

#include "game/bombs.h"
#include "game/gamestate.h"
#include "game/objectpool.h"

namespace {

constexpr int32_t kAppearFrames = 8;
constexpr int32_t kRemovalFrames = 7;

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

}  // namespace

// Stubs until the enemies, shots, pick-ups and floor land: they stay in their first state.
void ActEnemyAppear(FieldObject*) {}
void ActPickupAppear(FieldObject*) {}
void ActTamaAppear(FieldObject*) {}
void ActFloorTileAppear(FieldObject*) {}
void ActBlockOrPickup(FieldObject*) {}

void ActBlockAppear(FieldObject* o) {
  if (o->subKind == 2 && o->stateTimer == 1) AppendToBombList(o);
  if (++o->stateTimer < kAppearFrames) return;
  o->stateTimer = 0;
  if (o->subKind == 0)
    o->behaviour = ActWall;
  else if (o->subKind == 2)
    o->behaviour = ActBombOrFire;
  else
    o->behaviour = ActBlockOrPickup;
}

void ActFireAppear(FieldObject* o) {
  if (++o->stateTimer < 1) return;
  o->stateTimer = 0;
  o->behaviour = ActBombOrFire;
}

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
