#include "game/objectpool.h"

#include "game/behaviours.h"

#include <cstring>

FieldObject* g_ObjectPool = nullptr;
FieldObject* g_ActiveSentinel = nullptr;
FieldObject* g_FreeSentinel = nullptr;
FieldObject* g_CellHeads[kCellCount];
FieldObject** g_Buckets = g_CellHeads;
int32_t g_BucketCount = kCellCount;

namespace {

// The first state of each kind, looked up in this order.
struct KindStart {
  const char* kind;
  ObjectBehaviour behaviour;
};
const KindStart kKindStarts[] = {
    {"Enemy", ActEnemyAppear}, {"Goal", ActPickupAppear}, {"Item", ActPickupAppear},
    {"Block", ActBlockAppear}, {"Tama", ActTamaAppear},   {"Fire", ActFireAppear},
    {"Score", ActPickupAppear},
};

int32_t BucketOf(int32_t row, int32_t column) {
  return (row * kFieldColumns + column) % g_BucketCount;
}

void PushInCell(FieldObject* o) {
  FieldObject*& head = g_Buckets[o->cell];
  o->prevInCell = nullptr;
  o->nextInCell = head;
  if (head) head->prevInCell = o;
  head = o;
}

void UnlinkFromCell(FieldObject* o) {
  if (o->nextInCell) o->nextInCell->prevInCell = o->prevInCell;
  if (o->prevInCell)
    o->prevInCell->nextInCell = o->nextInCell;
  else if (g_Buckets[o->cell] == o)
    g_Buckets[o->cell] = o->nextInCell;
}

void PushFree(FieldObject* o) {
  o->nextActive = g_FreeSentinel->nextActive;
  g_FreeSentinel->nextActive = o;
}

void PlaceOnCell(FieldObject* o, int32_t row, int32_t column) {
  o->cell = BucketOf(row, column);
  o->pixelX = column * 32;
  o->pixelY = row * 32;
  o->centreX = o->pixelX + 16;
  o->centreY = o->pixelY + 16;
}

}  // namespace

void ResetCellBuckets() {
  for (FieldObject*& head : g_CellHeads) head = nullptr;
  g_Buckets = g_CellHeads;
  g_BucketCount = kCellCount;
}

FieldObject* CreateObjectPool() {
  g_ObjectPool = new FieldObject[kPoolRecords]();
  g_ActiveSentinel = &g_ObjectPool[0];
  g_FreeSentinel = &g_ObjectPool[1];
  g_ActiveSentinel->prevActive = g_ActiveSentinel;
  g_ActiveSentinel->nextActive = g_ActiveSentinel;
  g_ActiveSentinel->nextBomb = nullptr;
  // Records 2 to 1001 in address order, circular through the free sentinel.
  for (int32_t i = 1; i < kPoolRecords; i++)
    g_ObjectPool[i].nextActive = i + 1 < kPoolRecords ? &g_ObjectPool[i + 1] : g_FreeSentinel;
  return g_ObjectPool;
}

void FreeObjectPool() {
  delete[] g_ObjectPool;
  g_ObjectPool = g_ActiveSentinel = g_FreeSentinel = nullptr;
}

FieldObject* TakeFreeObject(ObjectBehaviour behaviour) {
  FieldObject* o = g_FreeSentinel->nextActive;
  if (o == g_FreeSentinel) return nullptr;
  g_FreeSentinel->nextActive = o->nextActive;
  o->behaviour = behaviour;
  o->prevActive = g_ActiveSentinel->prevActive;
  o->nextActive = g_ActiveSentinel;
  g_ActiveSentinel->prevActive->nextActive = o;
  g_ActiveSentinel->prevActive = o;
  return o;
}

FieldObject* CreateFieldObject(const char* kind, int32_t variant, int32_t subKind, int32_t column,
                               int32_t row, int32_t stepFrames, int32_t power, int32_t content,
                               int32_t timer, int32_t points, int32_t owner, int32_t turnChance,
                               int32_t pattern, int32_t sprite) {
  ObjectBehaviour first = nullptr;
  for (const KindStart& k : kKindStarts) {
    if (std::strcmp(kind, k.kind) == 0) {
      first = k.behaviour;
      break;
    }
  }
  // The bucket index would fall outside the array for a cell off the field.
  if (!first || !OnField(row, column)) return nullptr;
  FieldObject* o = TakeFreeObject(first);
  if (!o) return nullptr;
  std::strncpy(o->kind, kind, sizeof o->kind - 1);
  o->kind[sizeof o->kind - 1] = 0;
  o->stateTimer = 0;
  o->variant = variant;
  o->subKind = subKind;
  o->cellX = column;
  o->cellY = row;
  o->stepFrames = stepFrames;
  o->power = power;
  o->content = content;
  o->timer = timer;
  o->points = points;
  o->owner = owner;
  o->turnChance = turnChance;
  o->pattern = pattern;
  o->sprite = sprite;
  PlaceOnCell(o, row, column);
  o->alive = 1;
  o->dirX = o->dirY = o->moving = o->stepCount = 0;
  // A shot faces the way it flies.
  o->facing = std::strcmp(kind, "Tama") == 0 ? turnChance : 1;
  o->aimDirection = 4;
  o->animCounter = 0;
  PushInCell(o);
  return o;
}

FieldObject* CreateFloorTile(int32_t row, int32_t tileSprite, int32_t column,
                             int32_t shownSprite) {
  if (!OnField(row, column)) return nullptr;
  FieldObject* o = TakeFreeObject(ActFloorTileAppear);
  if (!o) return nullptr;
  std::memset(o->kind, 0, sizeof o->kind);
  std::strcpy(o->kind, "Yuka");
  o->stateTimer = 0;
  o->tileX = column;
  o->tileY = row;
  o->tileSprite = tileSprite;
  o->owner = shownSprite;
  PlaceOnCell(o, row, column);
  o->alive = 1;
  o->dirX = 0;
  PushInCell(o);
  return o;
}

void MoveObjectToCell(FieldObject* object, int32_t row, int32_t column) {
  if (!OnField(row, column)) return;
  UnlinkFromCell(object);
  object->cell = BucketOf(row, column);
  PushInCell(object);
}

void ClearObjects() {
  FieldObject* o = g_ActiveSentinel->nextActive;
  while (o != g_ActiveSentinel) {
    FieldObject* next = o->nextActive;
    PushFree(o);
    o = next;
  }
  g_ActiveSentinel->prevActive = g_ActiveSentinel->nextActive = g_ActiveSentinel;
  for (int32_t i = 0; i < g_BucketCount; i++) g_Buckets[i] = nullptr;
  g_ActiveSentinel->nextBomb = nullptr;
}

void ReleaseFieldObject(FieldObject* object, int32_t onBombList) {
  UnlinkFromCell(object);
  if (onBombList) {
    object->prevBomb->nextBomb = object->nextBomb;
    if (object->nextBomb) object->nextBomb->prevBomb = object->prevBomb;
  }
  object->prevActive->nextActive = object->nextActive;
  object->nextActive->prevActive = object->prevActive;
  PushFree(object);
}

FieldObject* BucketAround(int32_t row, int32_t column, int32_t offset) {
  const int32_t index = (row * kFieldColumns + column + offset) % g_BucketCount;
  return g_Buckets[index < 0 ? index + g_BucketCount : index];
}

FieldObject* CellObjects(int32_t row, int32_t column) {
  return OnField(row, column) ? g_Buckets[BucketOf(row, column)] : nullptr;
}

FieldObject* SpawnGoal(int32_t row, int32_t column) {
  return CreateFieldObject("Goal", 0, 0, column, row, 0, 1, 0, 80, 0, 0, 0, 0, 0);
}

FieldObject* SpawnItem(int32_t row, int32_t itemKind, int32_t column) {
  return CreateFieldObject("Item", 0, itemKind, column, row, 0, 1, 0, 80, 0, 0, 0, 0, 0);
}

FieldObject* SpawnEnemy(int32_t column, int32_t row, int32_t enemyKind, int32_t timer) {
  if (enemyKind == 0)
    return CreateFieldObject("Enemy", 0, 0, column, row, 32, 1, 1, timer, 200, 0, 0, 0, 0);
  if (enemyKind != 1)
    return CreateFieldObject("Enemy", 0, 0, column, row, 0, 0, 0, timer, 0, 0, 0, 0, 0);
  FieldObject* core =
      CreateFieldObject("Enemy", 1, 1, column, row, 16, 10, 1, timer, 10000, 0, 20, 4, 20);
  // A core that could not be made must not keep the exit shut.
  if (core) g_Game->coreCount++;
  return core;
}
