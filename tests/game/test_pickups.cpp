// The states of enemies, pick-ups, soft blocks, the exit, pop-ups and floor tiles: appearing
// and removal, what a burnt block releases, the exit, the score chain, the core a defeated
// core mech leaves, and the images they pick.
#include "fieldfixture.h"
#include "game/enemyai.h"
#include "stagefixture.h"

#include <functional>
#include <string>

namespace {

// Frame 1, so no hit check runs unless a test moves on.
class Pickups : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    PlayersAside();
    g_Game->frameCount = 1;
  }

  static void Script(std::initializer_list<int32_t> values) {
    Fake().randomValues.insert(Fake().randomValues.end(), values);
  }

  // The objects made since `mark` (the last record of the active list then), as
  // "Kind subKind".
  static std::vector<std::string> MadeSince(FieldObject* mark) {
    std::vector<std::string> v;
    for (FieldObject* o = mark->nextActive; o != g_ActiveSentinel; o = o->nextActive)
      v.push_back(std::string(o->kind) + " " + std::to_string(o->subKind));
    return v;
  }

  // A soft block on (5, 5) in its last burning frame.
  static FieldObject* BurntBlock(int32_t content) {
    FieldObject* b = CreateFieldObject("Block", 0, 1, 5, 5, 0, 1, content, 0, 0, 0, 0, 0, 0);
    b->behaviour = ActBlockOrPickup;
    b->power = 0;
    b->timer = 1;
    return b;
  }
};

TEST_F(Pickups, AppearingTakesEightFramesOneForFlames) {
  struct Case {
    const char* name;
    std::function<FieldObject*()> make;
    int32_t frames;
    ObjectBehaviour next;
  } cases[] = {
      {"enemy", [] { return SpawnEnemy(5, 5, 0, 0); }, 8, ActEnemy},
      {"exit", [] { return SpawnGoal(5, 5); }, 8, ActBlockOrPickup},
      {"item", [] { return SpawnItem(5, 4, 5); }, 8, ActBlockOrPickup},
      {"pop-up", [] { return CreateFieldObject("Score", 0, 0, 5, 5, 0, 0, 1, 40, 200, 0, 0, 0, 0); },
       8, ActBlockOrPickup},
      {"shot", [] { return CreateFieldObject("Tama", 0, 3, 5, 5, 8, 0, 0, 0, 0, 0, 1, 2, 0); }, 8,
       ActTama},
      {"floor", [] { return CreateFloorTile(5, 3, 5, 3); }, 8, ActFloorTile},
      {"flame", [] { return CentreFlame(5, 5, 1); }, 1, ActBombOrFire},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    FieldObject* o = c.make();
    const ObjectBehaviour first = o->behaviour;
    for (int32_t i = 1; i < c.frames; i++) o->behaviour(o);
    EXPECT_EQ(o->behaviour, first);
    o->behaviour(o);
    EXPECT_EQ(o->behaviour, c.next);
    EXPECT_EQ(o->stateTimer, 0);
  }
  // The floor then shows its own image every frame.
  FieldObject* floor = CreateFloorTile(5, 3, 5, 3);
  floor->behaviour = ActFloorTile;
  floor->owner = 9;
  floor->behaviour(floor);
  EXPECT_EQ(floor->owner, 3);
}

TEST_F(Pickups, RemovalTakesSevenFramesAndLongerFromAbove) {
  struct Case {
    int32_t stateTimer, frames;
  } cases[] = {{0, 7}, {-1, 8}, {8, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stateTimer);
    ClearObjects();
    FieldObject* o = SpawnItem(5, 4, 5);
    o->behaviour = ActRemove;
    o->stateTimer = c.stateTimer;
    const int32_t limit = c.frames < 0 ? 50 : c.frames;
    for (int32_t i = 1; i <= limit; i++) {
      EXPECT_EQ(FreeRecords(), kPoolObjects - 1) << "frame " << i;
      o->behaviour(o);
    }
    EXPECT_EQ(FreeRecords(), c.frames < 0 ? kPoolObjects - 1 : kPoolObjects);
  }
}

TEST_F(Pickups, WhatABurntBlockReleases) {
  struct Case {
    int32_t content;
    std::initializer_list<int32_t> draws;
    int32_t coreCount;
    std::vector<int32_t> sounds;
    std::vector<std::string> made;
    int32_t coreCountAfter, enemyCountAfter;
  } cases[] = {
      {100, {}, 2, {}, {}, 2, 0},
      {7, {}, 2, {}, {"Item 7"}, 2, 0},
      {0, {}, 2, {}, {"Item 0"}, 2, 0},
      {500, {}, 2, {5}, {"Enemy 1"}, 3, 1},
      {600, {4}, 2, {8}, {"Item 4"}, 2, 0},
      {601, {3}, 2, {8}, {"Item 10"}, 2, 0},
      {602, {5}, 2, {8}, {"Item 5"}, 2, 0},
      {603, {}, 2, {8, 5}, {"Enemy 0", "Enemy 0", "Enemy 0", "Enemy 0"}, 2, 4},
      {700, {}, 2, {8}, {}, 1, 0},
      {700, {}, 1, {9}, {}, 0, 0},
      {1000, {}, 2, {}, {"Goal 0"}, 2, 0},
      {250, {}, 2, {}, {}, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    ClearObjects();
    Fake().audio.clear();
    g_Game->coreCount = c.coreCount;
    g_Game->enemyCount = 0;
    Script(c.draws);
    FieldObject* b = BurntBlock(c.content);
    b->behaviour(b);
    EXPECT_EQ(b->alive, 0);
    EXPECT_EQ(b->behaviour, ActRemove);
    EXPECT_EQ(Sounds(), c.sounds);
    EXPECT_EQ(MadeSince(b), c.made);
    for (FieldObject* o = b->nextActive; o != g_ActiveSentinel; o = o->nextActive) {
      EXPECT_EQ(CellOf(o), (Cell{5, 5}));
      // Enemies released from blocks are shielded while they appear.
      if (IsKind(o, "Enemy")) {
        EXPECT_EQ(o->timer, 128);
      }
    }
    EXPECT_EQ(g_Game->coreCount, c.coreCountAfter);
    EXPECT_EQ(g_Game->enemyCount, c.enemyCountAfter);
    EXPECT_TRUE(Fake().randomValues.empty());
  }
}

TEST_F(Pickups, TheExit) {
  FieldObject* goal = SpawnGoal(5, 5);
  goal->behaviour = ActBlockOrPickup;
  g_Game->coreCount = 1;
  goal->behaviour(goal);
  EXPECT_EQ(goal->subKind, 0);
  g_Game->coreCount = 0;
  goal->behaviour(goal);
  EXPECT_EQ(goal->subKind, 1);
  EXPECT_EQ(goal->sprite, 1);

  // Burnt: an enemy, and a fresh closed exit in its place.
  g_Game->coreCount = 1;
  goal->power = 0;
  goal->timer = 1;
  goal->behaviour(goal);
  EXPECT_EQ(goal->alive, 0);
  EXPECT_EQ(MadeSince(goal), (std::vector<std::string>{"Enemy 0", "Goal 0"}));
  EXPECT_EQ(Sounds(), std::vector<int32_t>{5});
  EXPECT_EQ(g_Game->enemyCount, 1);

  // With the pool full the burnt exit stays, closed and shielded.
  ClearObjects();
  Fake().audio.clear();
  g_Game->enemyCount = 0;
  goal = SpawnGoal(5, 5);
  goal->behaviour = ActBlockOrPickup;
  goal->subKind = goal->sprite = 1;
  goal->power = 0;
  goal->timer = 1;
  while (TakeFreeObject(Idle)) {
  }
  goal->behaviour(goal);
  EXPECT_EQ(goal->alive, 1);
  EXPECT_EQ(goal->behaviour, ActBlockOrPickup);
  EXPECT_EQ(goal->subKind, 0);
  EXPECT_EQ(goal->sprite, 0);
  EXPECT_EQ(goal->power, 1);
  EXPECT_EQ(goal->timer, 80);
  EXPECT_EQ(g_Game->enemyCount, 0);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{5});
}

// Three walkers in one bomb's flames: the centre one is hit first, the others a beat later.
TEST_F(Pickups, OneBombsChain) {
  g_Game->frameCount = 0;
  g_Game->enemyCount = 3;
  g_Game->scoreChain = 0;
  std::vector<FieldObject*> enemies;
  for (int32_t column : {4, 3, 5}) {
    enemies.push_back(SpawnEnemy(column, 5, 0, 0));
    enemies.back()->behaviour = ActEnemy;
  }
  CentreFlame(4, 5, 1);
  Frames(9);
  EXPECT_EQ(g_Game->scoreChain, 3);
  auto popUps = [] {
    std::vector<std::pair<int32_t, int32_t>> v;  // multiplier, points
    for (FieldObject* s : Objects("Score")) v.push_back({s->content, s->points});
    return v;
  };
  // The centre one goes first (its 40 frames from the first frame), x3.
  Frames(32);
  EXPECT_EQ(P(1)->score, 600);
  EXPECT_EQ(popUps(), (std::vector<std::pair<int32_t, int32_t>>{{3, 200}}));
  // The other two, a beat later in list order, x2 and x1.
  Frames(10);
  EXPECT_EQ(P(1)->score, 600 + 400 + 200);
  EXPECT_EQ(popUps(), (std::vector<std::pair<int32_t, int32_t>>{{3, 200}, {2, 200}, {1, 200}}));
  EXPECT_EQ(g_Game->scoreChain, 0);
  EXPECT_EQ(g_Game->enemyCount, 0);
  const std::vector<int32_t> sounds = Sounds();
  EXPECT_EQ(std::count(sounds.begin(), sounds.end(), 7), 3);
  // The pop-ups go after their 40 frames.
  Frames(50);
  EXPECT_TRUE(Objects("Score").empty());
}

TEST_F(Pickups, DropItemByClass) {
  struct Case {
    int32_t itemClass;
    std::initializer_list<int32_t> draws;
    std::vector<uint32_t> maxes;
    int32_t kind;
  } cases[] = {
      {0, {0}, {6}, 0},   {0, {1}, {6}, 1},   {0, {2}, {6}, 0},   {0, {3}, {6}, 1},
      {0, {4}, {6}, 4},   {0, {5}, {6}, 5},   {0, {6}, {6}, 6},   {1, {0}, {14}, 7},
      {1, {14}, {14}, 21}, {2, {5}, {21}, 5}, {2, {13}, {21}, 13}, {2, {2, 1}, {21, 1}, 1},
      {2, {3, 0}, {21, 1}, 0}, {2, {14, 1}, {21, 1}, 1}, {2, {15, 0}, {21, 1}, 0},
      {2, {16, 1}, {21, 1}, 1}, {2, {20, 0}, {21, 1}, 0}, {2, {21, 1}, {21, 1}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.itemClass) + " drawing " + std::to_string(*c.draws.begin()));
    ClearObjects();
    Fake().randomMaxes.clear();
    Script(c.draws);
    FieldObject* b = SoftBlock(5, 5);
    DropItem(c.itemClass, b);
    const std::vector<FieldObject*> items = On(5, 5, "Item");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->subKind, c.kind);
    EXPECT_EQ(items[0]->timer, 80);
    EXPECT_EQ(items[0]->power, 1);
    EXPECT_EQ(Fake().randomMaxes, c.maxes);
  }
  // Class 3: four walkers instead, counted from 0 when the count had gone negative.
  ClearObjects();
  Fake().audio.clear();
  Fake().randomMaxes.clear();
  g_Game->enemyCount = -2;
  DropItem(3, SoftBlock(5, 5));
  EXPECT_EQ(On(5, 5, "Enemy").size(), 4u);
  EXPECT_TRUE(On(5, 5, "Item").empty());
  EXPECT_EQ(g_Game->enemyCount, 4);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{5});
  EXPECT_TRUE(Fake().randomMaxes.empty());
}

// The core mech defeated on (5, 5).
TEST_F(Pickups, TheCoreGoesOnTheFirstFreeCellAround) {
  struct Case {
    const char* name;
    std::vector<Cell> taken;
    Cell core;  // {-1, -1}: none placed
    int32_t coreCount;
    std::vector<int32_t> sounds;
    int32_t coreCountAfter;
  } cases[] = {
      {"its own cell", {}, {5, 5}, 2, {}, 2},
      {"below", {{5, 5}}, {5, 6}, 2, {}, 2},
      {"above", {{5, 5}, {5, 6}}, {5, 4}, 2, {}, 2},
      {"right", {{5, 5}, {5, 6}, {5, 4}}, {6, 5}, 2, {}, 2},
      {"left", {{5, 5}, {5, 6}, {5, 4}, {6, 5}}, {4, 5}, 2, {}, 2},
      {"none: freed at once", {{5, 5}, {5, 6}, {5, 4}, {6, 5}, {4, 5}}, {-1, -1}, 2, {8}, 1},
      {"none, the last core", {{5, 5}, {5, 6}, {5, 4}, {6, 5}, {4, 5}}, {-1, -1}, 1, {9}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    Fake().audio.clear();
    g_Game->coreCount = c.coreCount;
    // Items and blocks, alternately, take the cells; a dead item frees its cell.
    for (size_t i = 0; i < c.taken.size(); i++) {
      const Cell t = c.taken[i];
      if (i % 2) {
        SoftBlock(t.column, t.row);
      } else {
        SpawnItem(t.row, 4, t.column);
      }
    }
    SpawnItem(5, 4, 7)->alive = 0;
    FieldObject* e = SpawnEnemy(5, 5, 1, 0);
    g_Game->coreCount = c.coreCount;
    DropItemNearby(e);
    std::vector<Cell> cores;
    for (FieldObject* b : Objects("Block", 1))
      if (b->content == 700) cores.push_back(CellOf(b));
    EXPECT_EQ(cores, c.core.column < 0 ? std::vector<Cell>{} : std::vector<Cell>{c.core});
    EXPECT_EQ(g_Game->coreCount, c.coreCountAfter);
    EXPECT_EQ(Sounds(), c.sounds);
  }
  // No record for the block: the core is freed too.
  ClearObjects();
  Fake().audio.clear();
  g_Game->coreCount = 1;
  FieldObject* e = SpawnEnemy(5, 5, 0, 0);
  while (TakeFreeObject(Idle)) {
  }
  g_Game->coreCount = 1;
  DropItemNearby(e);
  EXPECT_EQ(g_Game->coreCount, 0);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{9});
}

TEST_F(Pickups, ADefeatedCoreMechScoresAndLeavesItsCore) {
  g_Game->enemyCount = 1;
  g_Game->scoreChain = 1;
  FieldObject* e = SpawnEnemy(5, 5, 1, 0);
  e->behaviour = ActEnemy;
  e->power = 0;
  e->timer = 1;
  e->owner = 1;
  e->behaviour(e);
  EXPECT_EQ(e->alive, 0);
  EXPECT_EQ(e->behaviour, ActRemove);
  EXPECT_EQ(MadeSince(e), (std::vector<std::string>{"Score 0", "Block 1"}));
  EXPECT_EQ(Objects("Block", 1).at(0)->content, 700);
  EXPECT_EQ(P(1)->score, 10000);
  EXPECT_EQ(g_Game->enemyCount, 0);
  EXPECT_EQ(g_Game->scoreChain, 0);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{7});
}

TEST_F(Pickups, SoftBlockImages) {
  struct Case {
    const char* name;
    int32_t mode, enemyCount, content, frame, timer, sprite;
  } cases[] = {
      // Floor style 1: plain block image 6.
      {"an item, no enemies, frame 1", 1, 0, 4, 1, 0, 8},
      {"frame 2", 1, 0, 4, 2, 0, 8},
      {"frame 4", 1, 0, 4, 4, 0, 6},
      {"an enemy left", 1, 1, 4, 1, 0, 6},
      {"battle", 3, 0, 4, 1, 0, 6},
      {"nothing hidden", 1, 0, 100, 1, 0, 6},
      {"the exit", 1, 0, 1000, 1, 0, 6},
      {"500", 1, 0, 500, 1, 0, 25},
      {"600", 1, 0, 600, 1, 0, 26},
      {"601", 1, 0, 601, 1, 0, 27},
      {"602", 1, 0, 602, 1, 0, 28},
      {"603", 1, 0, 603, 1, 0, 29},
      {"a core", 1, 0, 700, 1, 0, 30},
      {"burning 21", 1, 0, 700, 1, 21, 7},
      {"burning 20", 1, 0, 4, 1, 20, 8},
      {"burning 11", 1, 0, 4, 1, 11, 8},
      {"burning 10", 1, 0, 100, 1, 10, 9},
      {"burning 1", 1, 0, 100, 1, 1, 9},
  };
  g_Game->floorStyle = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    g_Game->mode = c.mode;
    g_Game->enemyCount = c.enemyCount;
    g_Game->frameCount = c.frame;
    FieldObject* b = SoftBlock(5, 5);
    b->behaviour = ActBlockOrPickup;
    b->content = c.content;
    b->timer = c.timer;
    b->behaviour(b);
    EXPECT_EQ(b->sprite, c.sprite);
  }
}

TEST_F(Pickups, EnemyImages) {
  struct Case {
    const char* name;
    int32_t kind, power, timer, animCounter, facing, sprite;
  } cases[] = {
      {"walker, first step frame", 0, 1, 0, 0, 1, 4},
      {"walker, second", 0, 1, 0, 9, 1, 5},
      {"walker facing right, last", 0, 1, 0, 38, 3, 15},
      {"counter back to 0 at 40", 0, 1, 0, 39, 0, 0},
      {"core mech facing left", 1, 10, 0, 19, 2, 30},
      {"dying, 40", 0, 0, 40, 0, 1, 16},
      {"dying, 31", 0, 0, 31, 0, 1, 16},
      {"dying, 30", 0, 0, 30, 0, 1, 17},
      {"dying, 21", 0, 0, 21, 0, 1, 17},
      {"dying, 20", 0, 0, 20, 0, 1, 18},
      {"dying, 11", 0, 0, 11, 0, 1, 18},
      {"dying, 10", 0, 0, 10, 0, 1, 19},
      {"dying, 1", 0, 0, 1, 0, 1, 19},
      {"core mech dying, 25", 1, 0, 25, 0, 1, 37},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    FieldObject* e = SpawnEnemy(5, 5, c.kind, 0);
    e->behaviour = ActEnemy;
    e->power = c.power;
    e->timer = c.timer;
    e->animCounter = c.animCounter;
    e->facing = c.facing;
    e->behaviour(e);
    EXPECT_EQ(e->sprite, c.sprite);
  }
}

}  // namespace
