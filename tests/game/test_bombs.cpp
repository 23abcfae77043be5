// Bombs, flames and hits: laying bombs and bomb lines, remote detonation, the bomb types,
// the fuse and the spreading of flames, the hit rules, and the states of bombs, flames and
// walls.
#include "fieldfixture.h"

#include <functional>
#include <map>

namespace {

constexpr int32_t kButton1 = 16, kButton2 = 32;

// Flames do not hurt player 1 here: its invulnerable frames outlast every test.
class Bombs : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    P(1)->invulnerable = 1000000;
  }
};

// The live bombs laid by player `owner`, in the order they were made.
std::vector<FieldObject*> BombsOf(int32_t owner) {
  std::vector<FieldObject*> v;
  for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive)
    if (o->alive && IsKind(o, "Block") && o->subKind == 2 && o->owner == owner) v.push_back(o);
  return v;
}

// Consecutive cells from (column, row) stepping by (dx, dy) with a live flame.
int32_t Reach(int32_t column, int32_t row, int32_t dx, int32_t dy) {
  int32_t n = 0;
  while (!On(column + (n + 1) * dx, row + (n + 1) * dy, "Fire").empty()) n++;
  return n;
}

TEST_F(Bombs, AHeldButtonLaysOneBomb) {
  P(1)->bombCapacity = P(1)->bombsLeft = 3;
  P(1)->padBits = kButton1;
  for (int i = 0; i < 3; i++) HandlePlayerButtons(1);
  EXPECT_EQ(BombsOf(1).size(), 1u);
  EXPECT_EQ(P(1)->bombsLeft, 2);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{1});
}

TEST_F(Bombs, WhenNoBombIsLaid) {
  struct Case {
    const char* name;
    std::function<void()> set;
  } cases[] = {
      {"no bombs left", [] { g_Players[1]->bombsLeft = 0; }},
      {"on a soft block, walking through", [] {
         g_Players[1]->passAbility = 1;
         SoftBlock(7, 6);
       }},
      {"on a bomb, without the line", [] { StillBomb(7, 6); }},
      {"no lives", [] { g_Players[1]->lives = 0; }},
      {"paused", [] { g_Game->paused = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    PlayerRecord* p = P(1);
    p->lives = p->bombsLeft = 1;
    p->passAbility = 0;
    p->bombLatch = 0;
    g_Game->paused = 0;
    c.set();
    const int32_t left = p->bombsLeft;
    Fake().audio.clear();
    p->padBits = kButton1;
    HandlePlayerButtons(1);
    EXPECT_TRUE(BombsOf(1).empty());
    EXPECT_EQ(p->bombsLeft, left);
    EXPECT_TRUE(Sounds().empty());
  }
}

// Player 1 on (5, 6) lays a bomb, lets go, and presses again on it.
TEST_F(Bombs, TheBombLine) {
  struct Case {
    const char* name;
    int32_t facing, capacity;
    std::function<void()> obstacle;  // on (8, 6)
    std::vector<int32_t> columns;     // of the bombs, row 6
    int32_t steps;
  } cases[] = {
      {"open to the right", 3, 4, [] {}, {5, 6, 7, 8}, 4},
      {"open to the left", 2, 4, [] {}, {5, 4, 3, 2}, 4},
      {"two bombs", 3, 2, [] {}, {5, 6}, 2},
      {"a wall", 3, 4, [] { Wall(8, 6); }, {5, 6, 7}, 3},
      {"a soft block", 3, 4, [] { SoftBlock(8, 6); }, {5, 6, 7}, 3},
      {"a bomb", 3, 4, [] { StillBomb(8, 6); }, {5, 6, 7}, 3},
      {"an enemy", 3, 4, [] { SpawnEnemy(8, 6, 0, 0); }, {5, 6, 7}, 3},
      {"an item", 3, 4, [] { SpawnItem(6, 0, 8); }, {5, 6, 7}, 3},
      {"the exit", 3, 4, [] { SpawnGoal(6, 8); }, {5, 6, 7}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    PlayerRecord* p = P(1);
    Put(p, 5 * 32, 6 * 32);
    p->facing = c.facing;
    p->bombCapacity = p->bombsLeft = c.capacity;
    p->lineBomb = 1;
    p->bombLatch = 0;
    c.obstacle();
    for (int32_t bits : {kButton1, 0}) {
      p->padBits = bits;
      HandlePlayerButtons(1);
    }
    Fake().audio.clear();
    p->padBits = kButton1;
    HandlePlayerButtons(1);
    std::vector<int32_t> columns;
    for (FieldObject* b : BombsOf(1)) {
      EXPECT_EQ(b->cellY, 6);
      EXPECT_EQ(b->timer, 149);  // each had its first tick
      columns.push_back(b->cellX);
    }
    EXPECT_EQ(columns, c.columns);
    EXPECT_EQ(p->bombsLeft, c.capacity - int32_t(c.columns.size()));
    EXPECT_EQ(Sounds(), std::vector<int32_t>(c.steps, 1));
  }
}

TEST_F(Bombs, OnePressSetsOffTheOldestLiveRemoteBomb) {
  PlayerRecord* p = P(1);
  p->bombType = 1;
  p->bombCapacity = p->bombsLeft = 2;
  for (int32_t cell : {3, 9}) {
    Put(p, cell * 32, cell * 32);
    Hold(1, kButton1);
    Frames(1);
    Hold(1, 0);
    Frames(1);
  }
  Frames(10);
  FieldObject* older = On(3, 3, "Block").at(0);
  FieldObject* newer = On(9, 9, "Block").at(0);
  ASSERT_EQ(BombList(), (std::vector<FieldObject*>{older, newer}));
  EXPECT_LT(older->timer, 0);

  Fake().audio.clear();
  Hold(1, kButton2);
  Frames(1);
  EXPECT_EQ(older->alive, 0);
  EXPECT_EQ(newer->alive, 1);
  EXPECT_EQ(Sounds(), (std::vector<int32_t>{1, 0}));
  // Pressed again within the burst bomb's removal frames, while it is still on the list.
  Hold(1, 0);
  Frames(1);
  Hold(1, kButton2);
  Frames(1);
  EXPECT_EQ(BombList(), (std::vector<FieldObject*>{older, newer}));
  EXPECT_EQ(newer->alive, 0);
  EXPECT_EQ(p->bombsLeft, 2);
}

TEST_F(Bombs, BombTypes) {
  struct Case {
    const char* name;
    int32_t bombType, fullFire, left;
    int32_t variant, fuse, sprite, range, pattern;
  } cases[] = {
      {"normal", 0, 0, 2, 0, 150, 4, 3, 0},
      {"normal, full fire", 0, 1, 2, 0, 150, 4, 12, 0},
      {"remote", 1, 0, 2, 0, -1, 8, 3, 0},
      {"piercing", 2, 0, 2, 1, 150, 12, 3, 0},
      {"type 3, every bomb in hand", 3, 0, 2, 1, 150, 16, 12, 0},
      {"type 3, a bomb out", 3, 0, 1, 0, 150, 4, 3, 0},
      {"type 3, a bomb out, full fire", 3, 1, 1, 0, 150, 4, 12, 0},
      {"spreading", 4, 0, 2, 0, 150, 20, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    PlayerRecord* p = P(1);
    p->bombType = c.bombType;
    p->fullFire = c.fullFire;
    p->fireRange = 3;
    p->bombCapacity = 2;
    p->bombsLeft = c.left;
    FieldObject* b = LayBomb(p, 4, 4);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b->kind, "Block");
    EXPECT_EQ(b->subKind, 2);
    EXPECT_EQ(b->behaviour, ActBlockAppear);
    EXPECT_EQ(b->variant, c.variant);
    EXPECT_EQ(b->timer, c.fuse - 1);  // the first tick comes with the laying
    EXPECT_EQ(b->sprite, c.sprite);
    EXPECT_EQ(b->power, c.range);
    EXPECT_EQ(b->pattern, c.pattern);
    EXPECT_EQ(b->owner, 1);
    EXPECT_EQ(p->bombsLeft, c.left - 1);
  }
}

// With every record in use a bomb is not laid, and the player keeps it.
TEST_F(Bombs, AFullPoolLaysNothing) {
  while (TakeFreeObject(Idle)) {
  }
  PlayerRecord* p = P(1);
  p->padBits = kButton1;
  HandlePlayerButtons(1);
  EXPECT_EQ(p->bombsLeft, 1);
  EXPECT_EQ(LayBomb(p, 3, 3), nullptr);
  EXPECT_EQ(p->bombsLeft, 1);
  // The line stops at the first bomb it cannot lay.
  Fake().audio.clear();
  p->bombCapacity = p->bombsLeft = 3;
  p->facing = 3;
  LayBombLine(p, 7, 6, 0);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{1});
  EXPECT_EQ(p->bombsLeft, 3);
}

TEST_F(Bombs, ABombLaidInFrameLBurstsInFrameLPlus157) {
  Hold(1, kButton1);
  Frames(1);  // frame L
  Hold(1, 0);
  ASSERT_EQ(BombsOf(1).size(), 1u);
  FieldObject* bomb = BombsOf(1)[0];
  EXPECT_EQ(bomb->timer, 149);
  EXPECT_EQ(P(1)->bombsLeft, 0);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{1});
  Fake().audio.clear();
  int32_t frames = 0;
  while (bomb->alive && frames < 200) {
    Frames(1);
    frames++;
  }
  EXPECT_EQ(frames, 157);
  EXPECT_EQ(Sounds(), std::vector<int32_t>{0});
  EXPECT_EQ(P(1)->bombsLeft, 1);
  const std::vector<FieldObject*> centre = On(7, 6, "Fire");
  ASSERT_EQ(centre.size(), 1u);
  EXPECT_EQ(centre[0]->subKind, 4);
  EXPECT_EQ(centre[0]->power, 2);
  EXPECT_EQ(centre[0]->timer, 32);
  EXPECT_EQ(centre[0]->owner, 1);
  EXPECT_EQ(centre[0]->variant, 0);
  EXPECT_EQ(centre[0]->sprite, 1);
}

// A record made by the last one on the active list first acts in the next frame's walk; the
// wall after the flame keeps it from being the last, as the floor and the field's other
// objects mostly do.
TEST_F(Bombs, FlamesReachOneCellFurtherAFrame) {
  for (int32_t range : {1, 3}) {
    SCOPED_TRACE("range " + std::to_string(range));
    ClearObjects();
    CentreFlame(7, 6, range);
    Wall(1, 1);
    Frames(1);  // the flame's appear frame
    for (int32_t k = 1; k <= range + 2; k++) {
      Frames(1);
      const int32_t want = std::min(k, range);
      EXPECT_EQ(Reach(7, 6, 0, 1), want) << k;
      EXPECT_EQ(Reach(7, 6, 0, -1), want) << k;
      EXPECT_EQ(Reach(7, 6, -1, 0), want) << k;
      EXPECT_EQ(Reach(7, 6, 1, 0), want) << k;
    }
    // The cross and nothing else.
    int32_t flames = 0;
    for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive)
      flames += IsKind(o, "Fire") && o->alive;
    EXPECT_EQ(flames, 1 + 4 * range);
  }
}

// A range-3 flame with something on the cell to its right, or two cells to its right.
TEST_F(Bombs, WhatStopsFlames) {
  struct Case {
    const char* name;
    std::function<void()> make;
    int32_t plainReach, piercingReach;
  } cases[] = {
      {"nothing", [] {}, 3, 3},
      {"a wall", [] { Wall(8, 6); }, 0, 0},
      {"a wall further on", [] { Wall(9, 6); }, 1, 1},
      {"a soft block", [] { SoftBlock(8, 6); }, 1, 3},
      {"an item", [] { SpawnItem(6, 3, 8); }, 1, 3},
      {"a bomb", [] { StillBomb(8, 6); }, 1, 3},
      {"an enemy", [] { SpawnEnemy(8, 6, 0, 0); }, 3, 3},
  };
  for (const Case& c : cases) {
    for (int32_t variant : {0, 1}) {
      SCOPED_TRACE(std::string(c.name) + (variant ? ", piercing" : ""));
      ClearObjects();
      c.make();
      CentreFlame(7, 6, 3, variant);
      Frames(6);
      EXPECT_EQ(Reach(7, 6, 1, 0), variant ? c.piercingReach : c.plainReach);
      EXPECT_EQ(Reach(7, 6, -1, 0), 3);
    }
  }
}

TEST_F(Bombs, TheSpreadingBombThrowsSmallCrosses) {
  struct Case {
    int32_t column, row, plain, spreading;
  } cells[] = {
      {8, 6, 1, 1},  {9, 6, 1, 1},  {10, 6, 0, 0}, {8, 7, 0, 1},
      {6, 5, 0, 1},  {9, 7, 0, 0},  {7, 7, 1, 1},  {8, 8, 0, 0},
  };
  for (int32_t pattern : {0, 1}) {
    SCOPED_TRACE(pattern ? "spreading" : "plain");
    ClearObjects();
    CentreFlame(7, 6, 2, 0, pattern);
    Frames(6);
    for (const Case& c : cells) {
      EXPECT_EQ(int32_t(!On(c.column, c.row, "Fire").empty()), pattern ? c.spreading : c.plain)
          << c.column << "," << c.row;
      // The crosses' centres spread no crosses of their own.
      for (FieldObject* f : On(c.column, c.row, "Fire")) {
        if (f->subKind == 4) {
          EXPECT_EQ(f->pattern, 0);
        }
      }
    }
  }
}

// Each flame of a spreading bomb's whole spread, counted over the frames it burns: from the
// end of its appear frame to its last.
TEST_F(Bombs, EveryFlameBurns32Frames) {
  CentreFlame(7, 6, 3, 0, 1);
  std::map<FieldObject*, int32_t> run;
  std::vector<int32_t> lengths;
  for (int32_t frame = 0; frame < 60; frame++) {
    Frames(1);
    for (int32_t i = 2; i < kPoolRecords; i++) {
      FieldObject* o = &g_ObjectPool[i];
      if (IsKind(o, "Fire") && o->alive && o->behaviour == ActBombOrFire) {
        run[o]++;
      } else if (run[o] > 0) {
        lengths.push_back(run[o]);
        run[o] = 0;
      }
    }
  }
  EXPECT_GT(lengths.size(), 20u);
  for (int32_t n : lengths) EXPECT_EQ(n, 32);
  for (const auto& [o, n] : run) EXPECT_EQ(n, 0);
}

// A remote bomb two cells from a bomb about to burst goes off at the first hit check, on
// a frame whose count is a multiple of 8, after the flame reaches it.
TEST_F(Bombs, AFlameSetsOffABombAtTheNextHitCheck) {
  P(2)->bombType = 1;
  FieldObject* reached = LayBomb(P(2), 9, 6);
  FieldObject* first = LayBomb(P(1), 7, 6);
  first->timer = 3;
  int32_t flameFrame = -1, burstFrame = -1;
  for (int32_t frame = 0; frame < 60 && burstFrame < 0; frame++) {
    const int32_t count = g_Game->frameCount;
    Frames(1);
    if (flameFrame < 0 && !On(9, 6, "Fire").empty()) flameFrame = count;
    if (!reached->alive) burstFrame = count;
  }
  ASSERT_GE(flameFrame, 0);
  ASSERT_GE(burstFrame, 0);
  // The flame comes after the reached bomb in the walk: it is found from the next frame on.
  EXPECT_EQ(burstFrame, (flameFrame / 8 + 1) * 8);
  EXPECT_EQ(P(2)->bombsLeft, 1);
}

TEST_F(Bombs, WhatAFlameDoesToWhatItReaches) {
  struct Case {
    const char* name;
    std::function<FieldObject*()> make;
    int32_t flameOwner;
    int32_t power, timer, owner, stateTimer, flameSprite, chain, walkers;
  } cases[] = {
      {"a shielded item", [] { return SpawnItem(5, 3, 5); }, 2, 1, 80, 0, 0, 1, 0, 0},
      {"a shielded exit", [] { return SpawnGoal(5, 5); }, 2, 1, 80, 0, 0, 1, 0, 0},
      {"an item", [] {
         FieldObject* o = SpawnItem(5, 3, 5);
         o->timer = 0;
         return o;
       }, 2, 0, 40, 2, 6, 1, 0, 0},
      {"a soft block", [] { return SoftBlock(5, 5); }, 2, 0, 40, 2, 6, 0, 0, 0},
      {"an enemy, a player's flame", [] { return SpawnEnemy(5, 5, 0, 0); }, 2, 0, 40, 2, 6, 1, 1,
       0},
      {"an enemy, nobody's flame", [] { return SpawnEnemy(5, 5, 0, 0); }, 0, 0, 40, 0, 6, 1, 0,
       0},
      {"a shielded enemy", [] { return SpawnEnemy(5, 5, 0, 40); }, 2, 1, 40, 0, 0, 1, 0, 0},
      {"the core mech", [] { return SpawnEnemy(5, 5, 1, 0); }, 2, 9, 80, 2, 6, 1, 0, 1},
      {"a bomb", [] { return StillBomb(5, 5); }, 2, 2, 0, 0, 6, 1, 0, 0},
      {"a wall", [] { return Wall(5, 5); }, 2, 1, 0, 0, 6, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    g_Game->scoreChain = 0;
    g_Game->enemyCount = 1;
    FieldObject* s = c.make();
    s->stateTimer = 6;
    FieldObject* flame = CentreFlame(5, 5, 2, 0, 0, c.flameOwner);
    EXPECT_EQ(CheckObjectHits(s, 5, 5, 1), 0);
    EXPECT_EQ(s->power, c.power);
    EXPECT_EQ(s->timer, c.timer);
    EXPECT_EQ(s->owner, c.owner);
    EXPECT_EQ(s->stateTimer, c.stateTimer);
    EXPECT_EQ(flame->sprite, c.flameSprite);
    EXPECT_EQ(g_Game->scoreChain, c.chain);
    int32_t walkers = 0;
    for (FieldObject* e : On(5, 5, "Enemy")) {
      if (e == s) continue;
      EXPECT_EQ(e->subKind, 0);
      EXPECT_EQ(e->timer, 128);
      walkers++;
    }
    EXPECT_EQ(walkers, c.walkers);
    EXPECT_EQ(g_Game->enemyCount, 1 + c.walkers);
  }
}

TEST_F(Bombs, AShotOnASoftBlockBringsAWalker) {
  FieldObject* block = SoftBlock(5, 5);
  block->timer = 30;  // burning already: a shot is not held off
  FieldObject* shot = CreateFieldObject("Tama", 0, 3, 5, 5, 8, 0, 0, 0, 0, 0, 3, 2, 0);
  shot->moving = 1;
  FieldObject* item = SpawnItem(5, 0, 6);
  item->timer = 0;
  CreateFieldObject("Tama", 0, 3, 6, 5, 8, 0, 0, 0, 0, 0, 3, 2, 0);
  CheckObjectHits(block, 5, 5, 1);
  CheckObjectHits(item, 5, 6, 1);
  EXPECT_EQ(block->power, 0);
  EXPECT_EQ(block->timer, 40);
  EXPECT_EQ(shot->alive, 0);
  EXPECT_EQ(shot->moving, 0);
  EXPECT_EQ(On(5, 5, "Enemy").size(), 1u);
  EXPECT_EQ(g_Game->enemyCount, 1);
  // A shot does nothing to an item.
  EXPECT_EQ(item->power, 1);
  EXPECT_EQ(On(6, 5, "Tama").size(), 1u);
}

TEST_F(Bombs, ABombLaidUnderAnEnemyTurnsItBack) {
  // Walking right from (6, 5), 10 frames into its step: it overlaps (7, 5).
  FieldObject* walking = SpawnEnemy(6, 5, 0, 0);
  walking->pixelX += 10;
  walking->dirX = 1;
  walking->moving = 1;
  walking->stepCount = 10;
  // Walking up from (7, 6), 5 frames in.
  FieldObject* climbing = SpawnEnemy(7, 6, 0, 0);
  climbing->pixelY -= 5;
  climbing->dirY = -1;
  climbing->moving = 1;
  climbing->stepCount = 5;
  // Two cells off.
  FieldObject* away = SpawnEnemy(9, 5, 0, 0);
  away->dirX = -1;
  away->stepCount = 4;

  FieldObject* bomb = LayBomb(P(1), 7, 5);
  EXPECT_EQ(walking->dirX, -1);
  EXPECT_EQ(walking->stepCount, 22);
  EXPECT_EQ(climbing->dirY, 1);
  EXPECT_EQ(climbing->stepCount, 27);
  EXPECT_EQ(away->dirX, -1);
  EXPECT_EQ(away->stepCount, 4);
  // The hit checks of every eighth frame turn nobody.
  CheckObjectHits(bomb, 5, 7, 1);
  EXPECT_EQ(walking->dirX, -1);
  EXPECT_EQ(walking->stepCount, 22);
}

TEST_F(Bombs, NoHitsOnTheOuterRowsAndColumns) {
  struct Case {
    const char* name;
    int32_t column, row;          // of the item and the flame
    int32_t argColumn, argRow;    // as passed
    int32_t hit;
  } cases[] = {
      {"row 0", 5, 0, 5, 0, 0},      {"column 0", 0, 5, 0, 5, 0},
      {"row 13", 5, 12, 5, 13, 0},   {"column 15", 14, 5, 15, 5, 0},
      {"row 12", 5, 12, 5, 12, 1},   {"column 14", 14, 5, 14, 5, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    FieldObject* item = SpawnItem(c.row, 0, c.column);
    item->timer = 0;
    CentreFlame(c.column, c.row, 2);
    CheckObjectHits(item, c.argRow, c.argColumn, 1);
    EXPECT_EQ(item->power, 1 - c.hit);
  }
}

TEST_F(Bombs, ABombJoinsTheBombListOnItsSecondFrame) {
  P(1)->bombCapacity = P(1)->bombsLeft = 2;
  FieldObject* a = LayBomb(P(1), 3, 3);
  Frames(1);
  EXPECT_TRUE(BombList().empty());
  FieldObject* b = LayBomb(P(1), 5, 5);
  Frames(1);
  EXPECT_EQ(BombList(), std::vector<FieldObject*>{a});
  Frames(1);
  EXPECT_EQ(BombList(), (std::vector<FieldObject*>{a, b}));
  Frames(5);
  EXPECT_EQ(a->behaviour, ActBombOrFire);
  EXPECT_EQ(b->behaviour, ActBlockAppear);
  Frames(1);
  EXPECT_EQ(b->behaviour, ActBombOrFire);
}

TEST_F(Bombs, TheBombsFourFramesTurnEvery10Ticks) {
  FieldObject* b = LayBomb(P(1), 3, 3);  // fuse 149
  Frames(8);
  ASSERT_EQ(b->behaviour, ActBombOrFire);
  struct Step {
    int32_t ticks, sprite;
  } steps[] = {{8, 4}, {9, 5}, {19, 6}, {29, 7}, {39, 4}, {49, 5}};
  int32_t done = 0;
  for (const Step& s : steps) {
    Frames(s.ticks - done);
    done = s.ticks;
    EXPECT_EQ(b->timer, 149 - s.ticks);
    EXPECT_EQ(b->sprite, s.sprite) << s.ticks;
  }
}

TEST_F(Bombs, ARemoteBombGetsAFuseOnceItsOwnerLosesTheRemote) {
  P(1)->bombType = 1;
  FieldObject* b = LayBomb(P(1), 3, 3);
  Frames(20);
  EXPECT_LT(b->timer, 0);
  EXPECT_EQ(b->alive, 1);
  P(1)->bombType = 0;
  Frames(1);
  EXPECT_EQ(b->timer, 149);
  Frames(149);
  EXPECT_EQ(b->alive, 1);
  Frames(1);
  EXPECT_EQ(b->alive, 0);
}

// A burst bomb and a broken wall leave after 7 frames of removal.
TEST_F(Bombs, RemovalTakesSevenFrames) {
  FieldObject* bomb = LayBomb(P(1), 3, 3);
  FieldObject* wall = Wall(9, 9);
  Frames(8);
  EXPECT_EQ(wall->behaviour, ActWall);
  g_Game->floorStyle = 2;
  Frames(1);
  EXPECT_EQ(wall->sprite, 10);
  bomb->timer = 0;
  wall->alive = 0;
  Frames(1);
  EXPECT_EQ(bomb->behaviour, ActRemoveBomb);
  EXPECT_EQ(wall->behaviour, ActRemove);
  Frames(6);
  EXPECT_EQ(BombList(), std::vector<FieldObject*>{bomb});
  EXPECT_EQ(CellObjects(9, 9), wall);
  Frames(1);
  EXPECT_TRUE(BombList().empty());
  EXPECT_EQ(CellObjects(9, 9), nullptr);
  for (FieldObject* o = CellObjects(3, 3); o; o = o->nextInCell) EXPECT_NE(o, bomb);
  // Freed last first: the wall, then the bomb, are the next records handed out.
  EXPECT_EQ(TakeFreeObject(Idle), wall);
  EXPECT_EQ(TakeFreeObject(Idle), bomb);
}

}  // namespace
