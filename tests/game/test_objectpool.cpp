// The object pool and its lists: taking and freeing records, creation kind by kind, the
// cell buckets and clearing.
#include "game/behaviours.h"
#include "gamefixture.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

class Pool : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    MakeRecords();
  }
};

void Idle(FieldObject*) {}

std::vector<FieldObject*> Bucket(int32_t cell) {
  std::vector<FieldObject*> v;
  for (FieldObject* o = g_Buckets[cell]; o; o = o->nextInCell) {
    EXPECT_EQ(o->prevInCell, v.empty() ? nullptr : v.back());
    v.push_back(o);
  }
  return v;
}

std::vector<FieldObject*> ActiveList() {
  std::vector<FieldObject*> v;
  FieldObject* prev = g_ActiveSentinel;
  for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive) {
    EXPECT_EQ(o->prevActive, prev);
    prev = o;
    v.push_back(o);
  }
  EXPECT_EQ(g_ActiveSentinel->prevActive, prev);
  return v;
}

TEST_F(Pool, HoldsAThousandRecordsHandedOutLastFreedFirst) {
  std::vector<FieldObject*> taken;
  for (int i = 0; i < kPoolObjects; i++) {
    FieldObject* o = TakeFreeObject(Idle);
    ASSERT_NE(o, nullptr) << i;
    // In address order at first, behind the two sentinels.
    EXPECT_EQ(o, &g_ObjectPool[2 + i]);
    EXPECT_EQ(o->behaviour, Idle);
    taken.push_back(o);
  }
  EXPECT_EQ(TakeFreeObject(Idle), nullptr);
  EXPECT_EQ(CreateFieldObject("Item", 0, 0, 1, 1, 0, 1, 0, 80, 0, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(ActiveList(), taken);  // in order of taking

  ReleaseFieldObject(taken[500], 0);
  ReleaseFieldObject(taken[7], 0);
  EXPECT_EQ(TakeFreeObject(Idle), taken[7]);
  EXPECT_EQ(TakeFreeObject(Idle), taken[500]);
  EXPECT_EQ(TakeFreeObject(Idle), nullptr);
}

// What each maker passes, and the fields every creation sets.
TEST_F(Pool, CreationSetsEachKindsParameters) {
  struct Case {
    const char* name;
    FieldObject* (*make)();
    const char* kind;
    ObjectBehaviour first;
    int32_t variant, subKind, stepFrames, power, content, timer, points, owner, turnChance,
        pattern, sprite, facing, coreAdded;
  } cases[] = {
      {"goal", [] { return SpawnGoal(4, 3); }, "Goal", ActPickupAppear,
       0, 0, 0, 1, 0, 80, 0, 0, 0, 0, 0, 1, 0},
      {"item", [] { return SpawnItem(4, 21, 3); }, "Item", ActPickupAppear,
       0, 21, 0, 1, 0, 80, 0, 0, 0, 0, 0, 1, 0},
      {"enemy 0", [] { return SpawnEnemy(3, 4, 0, 55); }, "Enemy", ActEnemyAppear,
       0, 0, 32, 1, 1, 55, 200, 0, 0, 0, 0, 1, 0},
      {"core enemy", [] { return SpawnEnemy(3, 4, 1, 56); }, "Enemy", ActEnemyAppear,
       1, 1, 16, 10, 1, 56, 10000, 0, 20, 4, 20, 1, 1},
      {"enemy 7", [] { return SpawnEnemy(3, 4, 7, 57); }, "Enemy", ActEnemyAppear,
       0, 0, 0, 0, 0, 57, 0, 0, 0, 0, 0, 1, 0},
      {"wall", [] { return CreateFieldObject("Block", 0, 0, 3, 4, 0, 1, 0, 0, 0, 0, 0, 0, 0); },
       "Block", ActBlockAppear, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0},
      {"bomb", [] { return CreateFieldObject("Block", 1, 2, 3, 4, 0, 5, 0, 150, 0, 2, 0, 1, 12); },
       "Block", ActBlockAppear, 1, 2, 0, 5, 0, 150, 0, 2, 0, 1, 12, 1, 0},
      {"fire", [] { return CreateFieldObject("Fire", 0, 3, 3, 4, 0, 2, 0, 32, 0, 4, 0, 1, 1); },
       "Fire", ActFireAppear, 0, 3, 0, 2, 0, 32, 0, 4, 0, 1, 1, 1, 0},
      {"score", [] { return CreateFieldObject("Score", 0, 0, 3, 4, 0, 0, 3, 40, 800, 0, 0, 0, 0); },
       "Score", ActPickupAppear, 0, 0, 0, 0, 3, 40, 800, 0, 0, 0, 0, 1, 0},
      // A shot faces the direction given as its twelfth argument.
      {"tama", [] { return CreateFieldObject("Tama", 0, 3, 3, 4, 8, 0, 0, 0, 0, 0, 2, 2, 0); },
       "Tama", ActTamaAppear, 0, 3, 8, 0, 0, 0, 0, 0, 2, 2, 0, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The record last held something else: creation sets every field it owns.
    FieldObject* reused = SpawnItem(12, 0, 14);
    ReleaseFieldObject(reused, 0);
    std::memset(reused->kind, 0x5A, sizeof *reused - offsetof(FieldObject, kind));
    const int32_t cores = g_Game->coreCount;
    FieldObject* o = c.make();
    ASSERT_EQ(o, reused);
    EXPECT_STREQ(o->kind, c.kind);
    EXPECT_EQ(o->behaviour, c.first);
    EXPECT_EQ(o->variant, c.variant);
    EXPECT_EQ(o->subKind, c.subKind);
    EXPECT_EQ(o->stepFrames, c.stepFrames);
    EXPECT_EQ(o->power, c.power);
    EXPECT_EQ(o->content, c.content);
    EXPECT_EQ(o->timer, c.timer);
    EXPECT_EQ(o->points, c.points);
    EXPECT_EQ(o->owner, c.owner);
    EXPECT_EQ(o->turnChance, c.turnChance);
    EXPECT_EQ(o->pattern, c.pattern);
    EXPECT_EQ(o->sprite, c.sprite);
    EXPECT_EQ(o->facing, c.facing);
    EXPECT_EQ(g_Game->coreCount - cores, c.coreAdded);
    // Column 3, row 4.
    EXPECT_EQ(o->cellX, 3);
    EXPECT_EQ(o->cellY, 4);
    EXPECT_EQ(o->cell, 63);
    EXPECT_EQ(o->pixelX, 96);
    EXPECT_EQ(o->pixelY, 128);
    EXPECT_EQ(o->centreX, 112);
    EXPECT_EQ(o->centreY, 144);
    EXPECT_EQ(o->stateTimer, 0);
    EXPECT_EQ(o->alive, 1);
    EXPECT_EQ(o->dirX | o->dirY | o->moving | o->stepCount | o->animCounter, 0);
    EXPECT_EQ(o->aimDirection, 4);
    EXPECT_EQ(Bucket(63).front(), o);
    EXPECT_EQ(ActiveList().back(), o);
  }
}

TEST_F(Pool, AFloorTileSetsOnlyWhatATileUses) {
  FieldObject* reused = TakeFreeObject(Idle);
  reused->cellX = 77;
  reused->variant = 66;
  std::strcpy(reused->kind, "Enemy");
  ReleaseFieldObject(reused, 0);
  FieldObject* t = CreateFloorTile(12, 5, 14, 6);
  ASSERT_EQ(t, reused);
  EXPECT_EQ(t->behaviour, ActFloorTileAppear);
  EXPECT_EQ(std::memcmp(t->kind, "Yuka\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
  EXPECT_EQ(t->tileX, 14);
  EXPECT_EQ(t->tileY, 12);
  EXPECT_EQ(t->tileSprite, 5);
  EXPECT_EQ(t->owner, 6);
  EXPECT_EQ(t->cell, 194);
  EXPECT_EQ(t->pixelX, 448);
  EXPECT_EQ(t->centreY, 400);
  EXPECT_EQ(t->alive, 1);
  EXPECT_EQ(t->cellX, 77);
  EXPECT_EQ(t->variant, 66);
  EXPECT_EQ(Bucket(194), std::vector<FieldObject*>{t});
}

// Nothing is taken for what cannot be made: the next take is the record that was first.
TEST_F(Pool, WhatCannotBeMadeTakesNoRecord) {
  struct Case {
    const char* name;
    FieldObject* (*make)();
  } cases[] = {
      {"unknown kind", [] { return CreateFieldObject("Bomb", 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0); }},
      {"a longer name", [] { return CreateFieldObject("Items", 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0); }},
      {"empty name", [] { return CreateFieldObject("", 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0); }},
      {"column -1", [] { return SpawnItem(1, 0, -1); }},
      {"column 15", [] { return SpawnGoal(1, 15); }},
      {"row -1", [] { return SpawnEnemy(1, -1, 1, 0); }},
      {"row 13", [] { return CreateFieldObject("Fire", 0, 0, 1, 13, 0, 0, 0, 0, 0, 0, 0, 0, 0); }},
      {"tile row 13", [] { return CreateFloorTile(13, 2, 0, 2); }},
      {"tile column -1", [] { return CreateFloorTile(0, 2, -1, 2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.make(), nullptr);
    EXPECT_TRUE(ActiveList().empty());
    EXPECT_EQ(g_FreeSentinel->nextActive, &g_ObjectPool[2]);
  }
  EXPECT_EQ(g_Game->coreCount, 0);
  for (FieldObject* head : g_CellHeads) EXPECT_EQ(head, nullptr);
}

TEST_F(Pool, MovingKeepsBothBucketsLinked) {
  FieldObject* a = SpawnItem(1, 0, 1);
  FieldObject* b = SpawnItem(1, 0, 1);
  FieldObject* c = SpawnItem(1, 0, 1);
  ASSERT_EQ(Bucket(16), (std::vector<FieldObject*>{c, b, a}));
  FieldObject* d = SpawnItem(2, 0, 1);

  MoveObjectToCell(c, 2, 1);  // the head
  EXPECT_EQ(Bucket(16), (std::vector<FieldObject*>{b, a}));
  EXPECT_EQ(Bucket(31), (std::vector<FieldObject*>{c, d}));
  EXPECT_EQ(c->cell, 31);

  MoveObjectToCell(d, 12, 14);  // the tail
  EXPECT_EQ(Bucket(31), std::vector<FieldObject*>{c});
  EXPECT_EQ(Bucket(194), std::vector<FieldObject*>{d});

  SpawnItem(1, 0, 1);
  MoveObjectToCell(b, 0, 0);  // the middle
  EXPECT_EQ(Bucket(16).size(), 2u);
  EXPECT_EQ(Bucket(16).back(), a);
  EXPECT_EQ(Bucket(0), std::vector<FieldObject*>{b});

  // Off the field: it stays where it was.
  MoveObjectToCell(b, 13, 0);
  MoveObjectToCell(b, 0, -1);
  EXPECT_EQ(b->cell, 0);
  EXPECT_EQ(Bucket(0), std::vector<FieldObject*>{b});
}

// Three bombs on the bomb list, as their second frame links them.
std::vector<FieldObject*> LayBombs() {
  std::vector<FieldObject*> bombs;
  FieldObject* last = g_ActiveSentinel;
  for (int i = 0; i < 3; i++) {
    FieldObject* b = CreateFieldObject("Block", 0, 2, 2 + i, 1, 0, 2, 0, 150, 0, 1, 0, 0, 0);
    b->prevBomb = last;
    b->nextBomb = nullptr;
    last->nextBomb = b;
    last = b;
    bombs.push_back(b);
  }
  return bombs;
}

TEST_F(Pool, ARemovedRecordLeavesEveryList) {
  std::vector<FieldObject*> bombs = LayBombs();
  FieldObject* item = SpawnItem(1, 0, 3);  // shares the middle bomb's cell
  ReleaseFieldObject(bombs[1], 1);
  EXPECT_EQ(g_ActiveSentinel->nextBomb, bombs[0]);
  EXPECT_EQ(bombs[0]->nextBomb, bombs[2]);
  EXPECT_EQ(bombs[2]->prevBomb, bombs[0]);
  EXPECT_EQ(Bucket(18), std::vector<FieldObject*>{item});
  EXPECT_EQ(ActiveList(), (std::vector<FieldObject*>{bombs[0], bombs[2], item}));
  ReleaseFieldObject(bombs[0], 1);  // the head of the bomb list
  EXPECT_EQ(g_ActiveSentinel->nextBomb, bombs[2]);
  EXPECT_EQ(bombs[2]->prevBomb, g_ActiveSentinel);
  ReleaseFieldObject(bombs[2], 1);
  EXPECT_EQ(g_ActiveSentinel->nextBomb, nullptr);
  EXPECT_EQ(g_FreeSentinel->nextActive, bombs[2]);
}

TEST_F(Pool, ClearingFreesEveryRecord) {
  std::vector<FieldObject*> bombs = LayBombs();
  for (int row = 0; row < kFieldRows; row++) CreateFloorTile(row, 2, 7, 2);
  SpawnEnemy(5, 5, 1, 0);
  ClearObjects();
  EXPECT_TRUE(ActiveList().empty());
  EXPECT_EQ(g_ActiveSentinel->nextBomb, nullptr);
  for (FieldObject* head : g_CellHeads) EXPECT_EQ(head, nullptr);
  // The whole pool can be had again, the records freed last first.
  EXPECT_EQ(TakeFreeObject(Idle), g_ObjectPool + 2 + 16);
  for (int i = 1; i < kPoolObjects; i++) ASSERT_NE(TakeFreeObject(Idle), nullptr) << i;
  EXPECT_EQ(TakeFreeObject(Idle), nullptr);
}

}  // namespace
