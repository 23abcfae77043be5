// Everything on the field that is not a player: the FieldObject record, the fixed pool it
// comes from, and the lists a live record sits in: the active list, the bucket of its
// cell and, for bombs, the bomb list.
#pragma once

#include "game/gamestate.h"

#include <cstdint>

struct FieldObject;
// An object's current state, called once per frame with its record.
typedef void (*ObjectBehaviour)(FieldObject* object);

struct FieldObject {
  ObjectBehaviour behaviour;
  FieldObject* prevActive;  // circular through the active sentinel
  FieldObject* nextActive;  // also the free list's one link
  FieldObject* prevInCell;  // null for a bucket's first record
  FieldObject* nextInCell;
  FieldObject* prevBomb;    // the active sentinel for the first bomb
  FieldObject* nextBomb;    // in the active sentinel: the bomb list's head
  char kind[16];            // "Block", "Item", "Goal", "Enemy", "Tama", "Fire", "Score", "Yuka"
  int32_t stateTimer;
  int32_t tileX;
  int32_t tileY;
  int32_t tileSprite;
  int32_t cell;
  int32_t pixelX;
  int32_t pixelY;
  int32_t centreX;
  int32_t centreY;
  int32_t alive;
  int32_t owner;
  int32_t dirX;
  int32_t dirY;
  int32_t moving;
  int32_t stepCount;
  int32_t aiDirection;
  int32_t variant;
  int32_t subKind;
  int32_t cellX;
  int32_t cellY;
  int32_t facing;
  int32_t stepFrames;
  int32_t power;
  int32_t content;
  int32_t timer;
  int32_t turnChance;
  int32_t points;
  int32_t pattern;
  int32_t aimDirection;
  int32_t sprite;
  int32_t animCounter;
};

// Record 0 is the active sentinel, record 1 the free sentinel, then the usable objects.
constexpr int32_t kPoolObjects = 1000;
constexpr int32_t kPoolRecords = kPoolObjects + 2;

extern FieldObject* g_ObjectPool;
extern FieldObject* g_ActiveSentinel;
extern FieldObject* g_FreeSentinel;
// The cell buckets: heads of null-terminated lists, and the array and count in use.
extern FieldObject* g_CellHeads[kCellCount];
extern FieldObject** g_Buckets;
extern int32_t g_BucketCount;

// Empties the 195 bucket heads and makes them the buckets in use.
void ResetCellBuckets();
// The pool with every usable record on the free list and empty active and bomb lists.
FieldObject* CreateObjectPool();
void FreeObjectPool();
// The first free record, with its behaviour set, appended to the active list; null when
// none is free (nothing else is touched).
FieldObject* TakeFreeObject(ObjectBehaviour behaviour);
// A live object of a known kind on cell (column, row), or null: an unknown kind, a cell
// off the field or an empty pool.
FieldObject* CreateFieldObject(const char* kind, int32_t variant, int32_t subKind, int32_t column,
                               int32_t row, int32_t stepFrames, int32_t power, int32_t content,
                               int32_t timer, int32_t points, int32_t owner, int32_t turnChance,
                               int32_t pattern, int32_t sprite);
// A "Yuka" floor tile; the fields a tile does not use keep what the record last held.
FieldObject* CreateFloorTile(int32_t row, int32_t tileSprite, int32_t column,
                             int32_t shownSprite);
// Re-files the object in the bucket of its new cell; a cell off the field leaves it be.
void MoveObjectToCell(FieldObject* object, int32_t row, int32_t column);
// Every active record back to the free list; buckets and bomb list empty.
void ClearObjects();
// A removed record out of its bucket, off the bomb list when it is on it, off the active
// list and onto the front of the free list.
void ReleaseFieldObject(FieldObject* object, int32_t onBombList);

// The cell queries' reach: the bucket of (row, column) and its eight neighbours, taken in
// the order of these offsets from the cell index. An index past either end wraps round the
// buckets, so a cell on the border reads the far side of the field, where nothing it
// looks for can overlap it.
constexpr int32_t kAroundOffsets[9] = {-16, -15, -14, -1, 0, 1, 14, 15, 16};
FieldObject* BucketAround(int32_t row, int32_t column, int32_t offset);
// The objects filed in cell (column, row); null for a cell off the field.
FieldObject* CellObjects(int32_t row, int32_t column);

// Column and row steps by direction: 0 down, 1 up, 2 left, 3 right.
constexpr int32_t kStepX[4] = {0, 0, -1, 1};
constexpr int32_t kStepY[4] = {1, -1, 0, 0};

inline bool OnField(int32_t row, int32_t column) {
  return column >= 0 && column < kFieldColumns && row >= 0 && row < kFieldRows;
}
inline bool IsKind(const FieldObject* o, const char* kind) {
  for (int32_t i = 0; i < 16; i++) {
    if (o->kind[i] != kind[i]) return false;
    if (kind[i] == 0) return true;
  }
  return false;
}
// A live object stands on the cell when its own cell is that one.
inline bool StandsOn(const FieldObject* o, int32_t row, int32_t column) {
  return o->alive && o->cellX == column && o->cellY == row;
}
// The object's 32 x 32 square, both ends included, holds the point.
inline bool SquareHolds(const FieldObject* o, int32_t x, int32_t y) {
  return x >= o->pixelX && x <= o->pixelX + 32 && y >= o->pixelY && y <= o->pixelY + 32;
}

FieldObject* SpawnGoal(int32_t row, int32_t column);
FieldObject* SpawnItem(int32_t row, int32_t itemKind, int32_t column);
// Kind 0 walks, kind 1 is the core enemy, which counts in the game's coreCount.
FieldObject* SpawnEnemy(int32_t column, int32_t row, int32_t enemyKind, int32_t timer);
