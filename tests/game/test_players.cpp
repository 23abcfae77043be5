// Players: walking and its collisions, pause and join-in, touching items, hurts and the
// exit, losing lives, and the animation frame.
#include "fieldfixture.h"

#include <fstream>
#include <functional>

namespace {

using Players = FieldTest;

constexpr int32_t kDown = 1, kLeft = 2, kRight = 4, kUp = 8, kButton5 = 0x100;

struct Cell {
  int32_t column, row;
};

// Player 1 starts on cell (7, 6), pixel (224, 192), unless a case moves it.
TEST_F(Players, WalkingAndItsCollisions) {
  struct Case {
    const char* name;
    std::vector<Cell> walls, softBlocks;
    int32_t speed, passAbility, startX, startY, pad, frames;
    int32_t endX, endY, moving, facing;
  } cases[] = {
      {"left and down walk down", {}, {}, 1, 0, 224, 192, kLeft | kDown, 3, 224, 195, 1, 0},
      {"down beats up", {}, {}, 1, 0, 224, 192, kUp | kDown, 2, 224, 194, 1, 0},
      {"up beats right", {}, {}, 1, 0, 224, 192, kUp | kRight, 2, 224, 190, 1, 1},
      {"right beats left", {}, {}, 1, 0, 224, 192, kLeft | kRight, 2, 226, 192, 1, 3},
      {"speed 5", {}, {}, 5, 0, 224, 192, kLeft, 3, 209, 192, 1, 2},
      // Stopped at the wall's edge, the last 2 pixels of the step given up.
      {"a wall below", {{7, 7}}, {}, 5, 0, 224, 190, kDown, 3, 224, 192, 0, 0},
      {"a wall to the right", {{8, 6}}, {}, 5, 0, 222, 192, kRight, 3, 224, 192, 0, 3},
      {"a wall to the left", {{6, 6}}, {}, 5, 0, 226, 192, kLeft, 3, 224, 192, 0, 2},
      {"a wall above", {{7, 5}}, {}, 5, 0, 224, 194, kUp, 3, 224, 192, 0, 1},
      // Corner help, measured from the wall's centre line (240).
      {"3 px left of a wall's line", {{7, 7}}, {}, 1, 0, 221, 192, kDown, 3, 221, 192, 0, 0},
      {"3 px right of a wall's line", {{7, 7}}, {}, 1, 0, 227, 192, kDown, 3, 227, 192, 0, 0},
      {"6 px left slides left", {{7, 7}}, {}, 1, 0, 218, 192, kDown, 3, 215, 192, 0, 0},
      {"6 px right slides right", {{7, 7}}, {}, 1, 0, 230, 192, kDown, 3, 233, 192, 0, 0},
      {"6 px left at speed 5", {{7, 7}}, {}, 5, 0, 218, 192, kDown, 2, 208, 192, 0, 0},
      // 26 frames of sliding line the player up with the open column, then it walks on.
      {"round the corner", {{7, 7}}, {}, 1, 0, 218, 192, kDown, 30, 192, 196, 1, 0},
      {"6 px with a wall beside", {{7, 7}, {6, 7}}, {}, 1, 0, 218, 192, kDown, 3, 218, 192, 0, 0},
      {"6 px with a soft block beside", {{7, 7}}, {{6, 7}}, 1, 0, 218, 192, kDown, 3, 218, 192, 0,
       0},
      {"6 px below a wall's line walking right", {{8, 6}}, {}, 1, 0, 224, 198, kRight, 3, 224, 201,
       0, 3},
      {"6 px above a wall's line walking right", {{8, 6}}, {}, 1, 0, 224, 186, kRight, 3, 224, 183,
       0, 3},
      {"a soft block, pass 0", {}, {{7, 7}}, 1, 0, 224, 192, kDown, 3, 224, 192, 0, 0},
      {"a soft block, pass 1", {}, {{7, 7}}, 1, 1, 224, 192, kDown, 3, 224, 195, 1, 0},
      {"a soft block, pass 2", {}, {{7, 7}}, 1, 2, 224, 192, kDown, 3, 224, 192, 0, 0},
      {"a soft block, pass 3", {}, {{7, 7}}, 1, 3, 224, 192, kDown, 3, 224, 195, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    for (const Cell& w : c.walls) Wall(w.column, w.row);
    for (const Cell& s : c.softBlocks) SoftBlock(s.column, s.row);
    PlayerRecord* p = P(1);
    p->speed = c.speed;
    p->passAbility = c.passAbility;
    p->dirX = p->dirY = 0;
    Put(p, c.startX, c.startY);
    p->padBits = c.pad;
    for (int32_t i = 0; i < c.frames; i++) HandlePlayerMove(1);
    EXPECT_EQ(p->pixelX, c.endX);
    EXPECT_EQ(p->pixelY, c.endY);
    EXPECT_EQ(p->centreX, c.endX + 16);
    EXPECT_EQ(p->centreY, c.endY + 16);
    EXPECT_EQ(p->cellX, (c.endX + 16) / 32);
    EXPECT_EQ(p->cellY, (c.endY + 16) / 32);
    EXPECT_EQ(p->moving, c.moving);
    EXPECT_EQ(p->facing, c.facing);
  }
}

TEST_F(Players, LettingGoKeepsTheDirection) {
  PlayerRecord* p = P(1);
  p->padBits = kLeft;
  HandlePlayerMove(1);
  p->padBits = 0;
  HandlePlayerMove(1);
  HandlePlayerMove(1);
  EXPECT_EQ(p->pixelX, 223);
  EXPECT_EQ(p->moving, 0);
  EXPECT_EQ(p->facing, 2);
  EXPECT_EQ(p->dirX, -1);
  EXPECT_EQ(p->dirY, 0);
}

// From a bomb just laid the player walks 40 pixels away, then 40 back: the bomb now blocks
// it at its edge, unless the player walks through bombs.
TEST_F(Players, ABombJustLaidCanBeLeftAndThenBlocks) {
  struct Way {
    const char* name;
    int32_t out, back, dx, dy;
  } ways[] = {{"down", kDown, kUp, 0, 1},
              {"up", kUp, kDown, 0, -1},
              {"left", kLeft, kRight, -1, 0},
              {"right", kRight, kLeft, 1, 0}};
  for (const Way& w : ways) {
    for (int32_t pass : {0, 1, 2, 3}) {
      SCOPED_TRACE(std::string(w.name) + ", pass " + std::to_string(pass));
      ClearObjects();
      PlayerRecord* p = P(1);
      Put(p, 224, 192);
      p->passAbility = pass;
      p->bombsLeft = 1;
      p->padBits = 16;
      p->bombLatch = 0;
      HandlePlayerButtons(1);
      ASSERT_EQ(CellHasBlock(6, 7), 1);
      p->padBits = w.out;
      for (int i = 0; i < 40; i++) HandlePlayerMove(1);
      EXPECT_EQ(p->pixelX, 224 + 40 * w.dx);
      EXPECT_EQ(p->pixelY, 192 + 40 * w.dy);
      p->padBits = w.back;
      for (int i = 0; i < 40; i++) HandlePlayerMove(1);
      const int32_t gap = pass >= 2 ? 0 : 32;
      EXPECT_EQ(p->pixelX, 224 + gap * w.dx);
      EXPECT_EQ(p->pixelY, 192 + gap * w.dy);
    }
  }
}

TEST_F(Players, OnlyThePlayerWhoPausedResumes) {
  P(2)->lives = 1;
  P(2)->active = 1;
  auto press = [](int32_t n, int32_t bits) {
    P(n)->padBits = bits;
    HandlePlayerMove(n);
  };
  press(1, kButton5);
  EXPECT_EQ(g_Game->paused, 1);
  EXPECT_EQ(P(1)->pausedByMe, 1);
  press(1, kButton5);  // still held
  press(2, kButton5);  // not the one who paused
  press(2, 0);
  press(2, kButton5);
  EXPECT_EQ(g_Game->paused, 1);
  // Paused: the direction keys move nobody, but button 5 is still read.
  press(1, kRight);
  EXPECT_EQ(P(1)->pixelX, 224);
  press(1, kButton5);
  EXPECT_EQ(g_Game->paused, 0);
  EXPECT_EQ(P(1)->pausedByMe, 0);
  // Now player 2 may pause, and player 1 cannot resume.
  press(2, 0);
  press(2, kButton5);
  press(1, 0);
  press(1, kButton5);
  EXPECT_EQ(g_Game->paused, 1);
  EXPECT_EQ(P(2)->pausedByMe, 1);
}

TEST_F(Players, APlayerWithNoLivesJoinsInFromTheStock) {
  struct Case {
    const char* name;
    int32_t number, mode, stock, joins;
  } cases[] = {
      {"player 1, normal mode", 1, 1, 1, 1},
      {"player 2, normal mode", 2, 1, 2, 1},
      {"player 3", 3, 1, 1, 0},
      {"battle mode", 1, 3, 1, 0},
      {"no stock", 2, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlayerRecord* p = P(c.number);
    p->lives = 0;
    p->active = 0;
    p->invulnerable = 0;
    p->pauseLatch = 0;
    Put(p, 10000 * 32, 10000 * 32);
    g_Game->mode = c.mode;
    g_Game->stock = c.stock;
    g_Game->playersInRound = 1;
    p->padBits = kButton5;
    HandlePlayerMove(c.number);
    EXPECT_EQ(g_Game->paused, 0);
    EXPECT_EQ(p->active, c.joins);
    EXPECT_EQ(p->lives, c.joins);
    EXPECT_EQ(p->pauseLatch, c.joins);
    EXPECT_EQ(g_Game->stock, c.stock - c.joins);
    EXPECT_EQ(g_Game->playersInRound, 1 + c.joins);
    if (c.joins) {
      EXPECT_EQ(p->invulnerable, 500);
      const Cell start = c.number == 1 ? Cell{1, 1} : Cell{13, 11};
      EXPECT_EQ(p->cellX, start.column);
      EXPECT_EQ(p->cellY, start.row);
      EXPECT_EQ(p->pixelX, start.column * 32);
      EXPECT_EQ(p->centreY, start.row * 32 + 16);
    }
  }
}

TEST_F(Players, AJoinPressWaitsForStock) {
  PlayerRecord* p = P(2);
  p->padBits = kButton5;
  HandlePlayerMove(2);
  EXPECT_EQ(p->lives, 0);
  // The same press, still held, is looked at again once there is stock.
  g_Game->stock = 1;
  HandlePlayerMove(2);
  EXPECT_EQ(p->lives, 1);
  EXPECT_EQ(p->active, 1);
  EXPECT_EQ(g_Game->stock, 0);
}

TEST_F(Players, StartCells) {
  const Cell starts[] = {{1, 1}, {13, 11}, {13, 1}, {1, 11}};
  for (int32_t n = 1; n <= 4; n++) {
    PlacePlayerAtStart(P(n));
    EXPECT_EQ(P(n)->cellX, starts[n - 1].column) << n;
    EXPECT_EQ(P(n)->cellY, starts[n - 1].row) << n;
    EXPECT_EQ(P(n)->pixelX, starts[n - 1].column * 32) << n;
    EXPECT_EQ(P(n)->pixelY, starts[n - 1].row * 32) << n;
    EXPECT_EQ(P(n)->centreX, starts[n - 1].column * 32 + 16) << n;
    EXPECT_EQ(P(n)->centreY, starts[n - 1].row * 32 + 16) << n;
  }
}

// An item on the player's cell, taken by the touch.
TEST_F(Players, ItemsTheirEffectsAndSounds) {
  struct Case {
    int32_t kind;
    int32_t PlayerRecord::*field;
    int32_t before, after, sound;
  } cases[] = {
      {0, &PlayerRecord::score, 5, 105, 3},
      {1, &PlayerRecord::score, 5, 1005, 3},
      {2, &PlayerRecord::score, 5, 100005, 3},
      {3, &PlayerRecord::score, 5, 10005, 3},
      {4, &PlayerRecord::bombCapacity, 3, 4, 3},
      {4, &PlayerRecord::bombCapacity, 8, 8, 3},
      {5, &PlayerRecord::fireRange, 7, 8, 3},
      {5, &PlayerRecord::fireRange, 8, 8, 3},
      {6, &PlayerRecord::speed, 4, 5, 3},
      {6, &PlayerRecord::speed, 5, 5, 3},
      {7, nullptr, 0, 1, 3},
      {8, &PlayerRecord::passAbility, 0, 2, 3},
      {8, &PlayerRecord::passAbility, 1, 3, 3},
      {8, &PlayerRecord::passAbility, 2, 2, 3},
      {8, &PlayerRecord::passAbility, 3, 3, 3},
      {9, &PlayerRecord::passAbility, 0, 1, 3},
      {9, &PlayerRecord::passAbility, 2, 3, 3},
      {9, &PlayerRecord::passAbility, 1, 1, 3},
      {9, &PlayerRecord::passAbility, 3, 3, 3},
      {10, &PlayerRecord::invulnerable, 0, 500, 3},
      {11, &PlayerRecord::bombType, 4, 1, 3},
      {12, &PlayerRecord::lives, 1, 2, 3},
      {13, &PlayerRecord::bombType, 0, 2, 3},
      {14, &PlayerRecord::bombCapacity, 3, 2, 6},
      {14, &PlayerRecord::bombCapacity, 1, 1, 3},
      {15, &PlayerRecord::fireRange, 2, 1, 6},
      {15, &PlayerRecord::fireRange, 1, 1, 3},
      {16, &PlayerRecord::speed, 2, 1, 6},
      {16, &PlayerRecord::speed, 1, 1, 3},
      {17, &PlayerRecord::bombType, 0, 3, 3},
      {18, &PlayerRecord::fullFire, 0, 1, 3},
      {19, &PlayerRecord::lineBomb, 0, 1, 3},
      {20, &PlayerRecord::bombType, 0, 4, 3},
      {22, &PlayerRecord::score, 5, 5, 3},
      {99, &PlayerRecord::score, 5, 5, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("item " + std::to_string(c.kind) + " from " + std::to_string(c.before));
    ClearObjects();
    PlayerRecord* p = P(1);
    if (c.field)
      p->*c.field = c.before;
    else
      g_Game->stock = c.before;
    // As many bombs in hand as capacity: items 4 and 14 move both.
    p->bombsLeft = p->bombCapacity;
    FieldObject* item = SpawnItem(6, c.kind, 7);
    Fake().audio.clear();
    TouchCellObjects(6, 7);
    EXPECT_EQ(c.field ? p->*c.field : g_Game->stock, c.after);
    EXPECT_EQ(p->bombsLeft, p->bombCapacity);
    EXPECT_EQ(Sounds(), std::vector<int32_t>{c.sound});
    EXPECT_EQ(item->alive, 0);
    // Taken once: a second touch finds nothing.
    Fake().audio.clear();
    TouchCellObjects(6, 7);
    EXPECT_TRUE(Sounds().empty());
  }
}

TEST_F(Players, Item21WakesFourEnemies) {
  g_Game->enemyCount = -3;
  FieldObject* item = SpawnItem(6, 21, 7);
  TouchCellObjects(6, 7);
  EXPECT_EQ(Sounds(), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(item->alive, 0);
  EXPECT_EQ(g_Game->enemyCount, 4);
  const std::vector<FieldObject*> enemies = On(7, 6, "Enemy");
  ASSERT_EQ(enemies.size(), 4u);
  for (FieldObject* e : enemies) {
    EXPECT_EQ(e->subKind, 0);
    EXPECT_EQ(e->timer, 128);
  }
}

// What the touch finds on the player's cell, or by the square around its centre.
TEST_F(Players, WhatHurts) {
  struct Case {
    const char* name;
    std::function<void()> make;
    int32_t invulnerable, hurt;
  } cases[] = {
      {"an enemy", [] { SpawnEnemy(7, 6, 0, 0); }, 0, 1},
      {"a dying enemy", [] { SpawnEnemy(7, 6, 0, 0)->power = 0; }, 0, 0},
      {"a flame", [] { CentreFlame(7, 6, 2); }, 0, 1},
      {"a shot", [] { CreateFieldObject("Tama", 0, 3, 7, 6, 8, 0, 0, 0, 0, 0, 0, 2, 0); }, 0, 1},
      {"a flame in the next cell", [] { CentreFlame(8, 6, 2); }, 0, 0},
      {"a wall, a bomb, a closed exit",
       [] {
         Wall(7, 6);
         StillBomb(7, 6);
         SpawnGoal(6, 7);
       },
       0, 0},
      {"enemy, flame and shot at once",
       [] {
         SpawnEnemy(7, 6, 0, 0);
         CentreFlame(7, 6, 2);
         CreateFieldObject("Tama", 0, 3, 7, 6, 8, 0, 0, 0, 0, 0, 0, 2, 0);
       },
       0, 1},
      {"while invulnerable",
       [] {
         SpawnEnemy(7, 6, 0, 0);
         CentreFlame(7, 6, 2);
       },
       5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    P(1)->lives = 3;
    P(1)->invulnerable = c.invulnerable;
    c.make();
    TouchCellObjects(6, 7);
    EXPECT_EQ(P(1)->lives, 3 - c.hurt);
    EXPECT_EQ(P(1)->invulnerable, c.hurt ? 160 : c.invulnerable);
  }
}

TEST_F(Players, LosingLives) {
  struct Case {
    const char* name;
    int32_t mode, secondsLeft, lives;
    int32_t livesAfter, active, invulnerable, secondsAfter, inRoundAfter, cleared;
    std::vector<int32_t> sounds;
  } cases[] = {
      {"a hit with time left", 1, 50, 3, 2, 1, 160, 50, 2, 0, {}},
      {"the last life with time left", 1, 50, 1, 0, 1, 80, 200, 2, 1, {4}},
      {"time up", 1, 0, 3, 0, 0, 80, 0, 1, 1, {4}},
      {"time up in battle mode", 3, -1, 2, 0, 0, 80, -1, 1, 1, {4}},
      {"the last life in battle mode", 3, 50, 1, 0, 1, 80, 50, 2, 1, {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlayerRecord* p = P(1);
    g_Game->mode = c.mode;
    g_Game->secondsLeft = c.secondsLeft;
    g_Game->playersInRound = 2;
    p->lives = c.lives;
    p->active = 1;
    p->passAbility = 3;
    p->bombType = 2;
    p->fullFire = 1;
    p->lineBomb = 1;
    Fake().audio.clear();
    LosePlayerLife(p);
    EXPECT_EQ(p->lives, c.livesAfter);
    EXPECT_EQ(p->active, c.active);
    EXPECT_EQ(p->invulnerable, c.invulnerable);
    EXPECT_EQ(g_Game->secondsLeft, c.secondsAfter);
    EXPECT_EQ(g_Game->playersInRound, c.inRoundAfter);
    EXPECT_EQ(p->passAbility + p->bombType + p->fullFire + p->lineBomb, c.cleared ? 0 : 7);
    EXPECT_EQ(Sounds(), c.sounds);
  }
}

TEST_F(Players, TheLastLifeInBattleScattersPowerUpsOnFreeCells) {
  g_Game->mode = 3;
  PlayerRecord* p = P(1);
  p->bombCapacity = 3;
  p->fireRange = 3;
  p->speed = 3;
  Wall(2, 3);
  SpawnItem(9, 0, 9);
  // Column and row pairs: a wall's cell and an item's cell are drawn again.
  Fake().randomValues = {2, 3, 4, 4, 9, 9, 5, 5, 6, 6, 7, 7};
  LosePlayerLife(p);
  EXPECT_TRUE(Fake().randomValues.empty());
  struct Gift {
    Cell cell;
    int32_t kind;
  } gifts[] = {{{4, 4}, 4}, {{5, 5}, 4}, {{6, 6}, 5}, {{7, 7}, 6}};
  for (const Gift& g : gifts) {
    const std::vector<FieldObject*> items = On(g.cell.column, g.cell.row, "Item");
    ASSERT_EQ(items.size(), 1u) << g.cell.column;
    EXPECT_EQ(items[0]->subKind, g.kind);
    EXPECT_EQ(items[0]->power, 1);
    EXPECT_EQ(items[0]->timer, 80);
  }
  EXPECT_EQ(p->bombCapacity, 1);
  EXPECT_EQ(p->fireRange, 2);
  EXPECT_EQ(p->speed, 2);
}

TEST_F(Players, ScatteringGivesUpOnAFullField) {
  for (int32_t row = 0; row < kFieldRows; row++)
    for (int32_t column = 0; column < kFieldColumns; column++) Wall(column, row);
  g_Game->mode = 3;
  PlayerRecord* p = P(1);
  p->bombCapacity = 4;
  p->speed = 5;
  LosePlayerLife(p);
  // A thousand draws of a column and a row, then what is left is lost.
  EXPECT_EQ(Fake().randomMaxes.size(), 2000u);
  EXPECT_EQ(p->bombCapacity, 1);
  EXPECT_EQ(p->fireRange, 2);
  EXPECT_EQ(p->speed, 2);
  for (int32_t i = 0; i < kCellCount; i++)
    for (FieldObject* o = g_Buckets[i]; o; o = o->nextInCell) EXPECT_FALSE(IsKind(o, "Item"));
}

TEST_F(Players, TwoPlayersOnTheOpenExitTakeItOnce) {
  P(2)->active = 1;
  P(2)->lives = 1;
  FieldObject* exit = SpawnGoal(6, 7);
  exit->subKind = 1;
  P(1)->moving = P(1)->reserved = 1;
  for (int32_t n = 1; n <= 2; n++) {
    g_CurrentPlayer = P(n);
    TouchCellObjects(P(n)->cellY, P(n)->cellX);
  }
  EXPECT_EQ(g_Game->stage, 2);
  EXPECT_EQ(g_Game->reach, 2);
  EXPECT_EQ(g_Game->inPlay, 0);
  EXPECT_EQ(P(1)->moving, 0);
  EXPECT_EQ(P(1)->reserved, 0);
  char bytes[16] = {};
  std::ifstream("HiScore.dat", std::ios::binary).read(bytes, 16);
  EXPECT_EQ(bytes[4], 2);
}

TEST_F(Players, AClosedExitIsOnlyFloor) {
  SpawnGoal(6, 7);
  TouchCellObjects(6, 7);
  EXPECT_EQ(g_Game->stage, 1);
  EXPECT_EQ(g_Game->inPlay, 1);
  EXPECT_FALSE(std::ifstream("HiScore.dat").good());
}

TEST_F(Players, TheAnimationFrame) {
  struct Case {
    int32_t number, lives, facing, counter, invulnerable;
    int32_t counterAfter, frame;
  } cases[] = {
      {1, 1, 0, 0, 0, 1, 0},     {1, 1, 1, 9, 0, 10, 5},    {2, 2, 3, 19, 0, 20, 34},
      {1, 1, 2, 39, 0, 0, 8},    {4, 1, 1, 29, 500, 30, 67},
      // Losing: +16, +17, +18, +19 as the fall runs out, +16 again at the end.
      {3, 0, 0, 0, 80, 1, 56},   {3, 0, 0, 0, 31, 1, 56},   {3, 0, 0, 0, 30, 1, 57},
      {3, 0, 0, 0, 25, 1, 57},   {3, 0, 0, 0, 21, 1, 57},   {3, 0, 0, 0, 20, 1, 58},
      {3, 0, 0, 0, 15, 1, 58},   {3, 0, 0, 0, 11, 1, 58},   {3, 0, 0, 0, 10, 1, 59},
      {3, 0, 0, 0, 5, 1, 59},    {3, 0, 0, 0, 1, 1, 59},    {3, 0, 0, 0, 0, 1, 56},
      {3, 0, 0, 0, -1, 1, 56},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("player " + std::to_string(c.number) + ", lives " + std::to_string(c.lives) +
                 ", invulnerable " + std::to_string(c.invulnerable));
    g_CurrentPlayer = P(c.number);
    P(c.number)->lives = c.lives;
    P(c.number)->facing = c.facing;
    P(c.number)->animCounter = c.counter;
    P(c.number)->invulnerable = c.invulnerable;
    UpdatePlayerFrame();
    EXPECT_EQ(P(c.number)->animCounter, c.counterAfter);
    EXPECT_EQ(P(c.number)->spriteFrame, c.frame);
  }
}

}  // namespace
