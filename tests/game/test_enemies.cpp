// Enemies and shots on fields built by hand: stepping, turning, the straight-line probes
// toward players 1 and 2, tries when blocked, the core mech's shooting, and shots meeting
// blocks.
#include "fieldfixture.h"
#include "game/enemyai.h"
#include "stagefixture.h"

#include <string>

namespace {

class Enemies : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    PlayersAside();
    g_Game->frameCount = 0;
  }

  static FieldObject* Walker(int32_t column, int32_t row) { return SpawnEnemy(column, row, 0, 0); }
  static FieldObject* CoreMech(int32_t column, int32_t row) { return SpawnEnemy(column, row, 1, 0); }

  // Frames of movement alone, as the states call it.
  static void Move(FieldObject* o, int32_t frames) {
    for (int32_t i = 0; i < frames; i++) {
      if (IsKind(o, "Tama"))
        StepTama(o);
      else
        RunEnemyMove(o);
      g_Game->frameCount++;
    }
  }

  static void Script(std::initializer_list<int32_t> values) {
    Fake().randomValues.insert(Fake().randomValues.end(), values);
  }

  static int32_t Think(FieldObject* o) {
    g_CurrentAiObject = o;
    ThinkEnemy();
    return o->aiDirection;
  }
};

TEST_F(Enemies, StepsAreOnePixelTwoOrFourByTheStepLength) {
  struct Case {
    const char* name;
    FieldObject* (*make)();
    int32_t stepFrames, pixels;
  } cases[] = {
      {"walker", [] { return Walker(3, 4); }, 32, 1},
      {"core mech", [] { return CoreMech(3, 4); }, 16, 2},
      {"shot", [] { return CreateFieldObject("Tama", 0, 3, 3, 4, 8, 0, 0, 0, 0, 0, 1, 2, 0); }, 8, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    g_Game->frameCount = 0;
    FieldObject* o = c.make();
    ASSERT_EQ(o->stepFrames, c.stepFrames);
    // Not near a player: straight on, up, the way it faces.
    Move(o, 1);
    EXPECT_EQ(o->pixelY, 4 * 32 - c.pixels);
    EXPECT_EQ(o->moving, 1);
    Move(o, c.stepFrames - 1);
    EXPECT_EQ(o->pixelY, 3 * 32);
    EXPECT_EQ((Cell{o->cellX, o->cellY}), (Cell{3, 3}));
    EXPECT_EQ(o->moving, 0);
    EXPECT_EQ(On(3, 3, IsKind(o, "Tama") ? "Tama" : "Enemy").size(), 1u);
    Move(o, c.stepFrames);
    EXPECT_EQ(o->cellY, 2);
  }
}

TEST_F(Enemies, KindsWithoutMovementStandStill) {
  FieldObject* e = SpawnEnemy(3, 3, 5, 0);
  ASSERT_EQ(e->stepFrames, 0);
  Move(e, 40);
  EXPECT_EQ(e->moving, 0);
  EXPECT_EQ(e->pixelY, 3 * 32);
  EXPECT_TRUE(Fake().randomMaxes.empty());
}

// On crossing (3, 3), with nothing near: the walker never turns by itself; the core mech
// draws a direction when its 20 beats the draw from 100.
TEST_F(Enemies, TurningAtACrossing) {
  struct Case {
    const char* name;
    bool core, wallAhead;
    std::initializer_list<int32_t> draws;
    std::vector<uint32_t> maxes;
    int32_t facing;
  } cases[] = {
      {"walker, open", false, false, {99, 1}, {100, 1}, 1},
      {"walker, blocked", false, true, {0, 2, 1}, {100, 3, 1}, 2},
      {"core mech, 19", true, false, {19, 3, 1}, {100, 3, 3}, 3},
      {"core mech, 20", true, false, {20, 1}, {100, 3}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    Fake().randomMaxes.clear();
    g_Game->frameCount = 0;
    FieldObject* e = c.core ? CoreMech(3, 3) : Walker(3, 3);
    if (c.wallAhead) Wall(3, 2);
    Script(c.draws);
    Move(e, 1);
    EXPECT_EQ(Fake().randomMaxes, c.maxes);
    EXPECT_EQ(e->facing, c.facing);
    EXPECT_EQ(e->moving, 1);
    EXPECT_TRUE(Fake().randomValues.empty());
  }
}

// The walker on (3, 5) and where players 1 and 2 stand.
TEST_F(Enemies, LinesToPlayers) {
  struct Case {
    const char* name;
    Cell p1, p2;
    std::vector<Cell> walls, softBlocks;
    int32_t direction;
  } cases[] = {
      {"next to it", {4, 5}, {1000, 1000}, {}, {}, 3},
      {"9 open cells, then the player", {13, 5}, {1000, 1000}, {}, {}, 3},
      {"10 open cells", {14, 5}, {1000, 1000}, {}, {}, 4},
      {"left", {1, 5}, {1000, 1000}, {}, {}, 2},
      {"down", {3, 9}, {1000, 1000}, {}, {}, 0},
      {"up", {3, 1}, {1000, 1000}, {}, {}, 1},
      {"player 2", {11, 11}, {8, 5}, {}, {}, 3},
      {"in the band, the next row", {8, 6}, {1000, 1000}, {}, {}, 4},
      {"not near", {8, 8}, {1000, 1000}, {}, {}, 4},
      {"a wall between", {8, 5}, {1000, 1000}, {{6, 5}}, {}, 4},
      {"a soft block between", {8, 5}, {1000, 1000}, {}, {{6, 5}}, 4},
      {"a soft block on the first cell", {8, 5}, {1000, 1000}, {}, {{4, 5}}, 4},
      {"a wall behind the player", {8, 5}, {1000, 1000}, {{9, 5}}, {}, 3},
      {"equal: down before up", {3, 8}, {3, 2}, {}, {}, 0},
      {"equal: up before right", {6, 5}, {3, 2}, {}, {}, 1},
      {"equal: right before left", {6, 5}, {0, 5}, {}, {}, 3},
      {"a later shorter line wins", {3, 9}, {1, 5}, {}, {}, 2},
      {"an earlier shorter line stays", {3, 7}, {7, 5}, {}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    Put(P(1), c.p1.column * 32, c.p1.row * 32);
    Put(P(2), c.p2.column * 32, c.p2.row * 32);
    for (Cell w : c.walls) Wall(w.column, w.row);
    for (Cell s : c.softBlocks) SoftBlock(s.column, s.row);
    FieldObject* e = Walker(3, 5);
    EXPECT_EQ(Think(e), c.direction);
    EXPECT_EQ(e->aimDirection, 4);  // walkers never aim
  }
}

// The core mech walks through soft blocks, so they hide no one from it; a walker's aim would
// see through them, though it never aims.
TEST_F(Enemies, SoftBlocksAndTheCoreMech) {
  Put(P(1), 8 * 32, 5 * 32);
  SoftBlock(6, 5);
  FieldObject* core = CoreMech(3, 5);
  EXPECT_EQ(Think(core), 3);
  EXPECT_EQ(core->aimDirection, 3);
  FieldObject* walker = Walker(3, 5);
  LookForPlayer(walker);
  AimAtPlayer(walker);
  EXPECT_EQ(walker->aiDirection, 4);
  EXPECT_EQ(walker->aimDirection, 3);
  Wall(7, 5);
  AimAtPlayer(walker);
  EXPECT_EQ(walker->aimDirection, 4);
  EXPECT_EQ(Think(core), 4);
  EXPECT_EQ(core->aimDirection, 4);
}

// The walker on (5, 5) (a crossing: the first draw is the turn draw from 100), nothing near,
// facing up.
TEST_F(Enemies, ABlockedEnemyTriesEightTimes) {
  struct Case {
    const char* name;
    std::vector<Cell> walls, bombs;
    std::initializer_list<int32_t> draws;
    std::vector<uint32_t> maxes;
    int32_t moving, facing;
  } cases[] = {
      {"the third random try is open", {{5, 4}, {5, 6}, {4, 5}}, {}, {0, 0, 2, 3, 1},
       {100, 3, 3, 3, 1}, 1, 3},
      {"four random tries, then the next directions", {{5, 4}, {5, 6}, {4, 5}}, {},
       {0, 0, 1, 2, 0, 1}, {100, 3, 3, 3, 3, 1}, 1, 3},
      {"walled in: it stands", {{5, 4}, {5, 6}, {4, 5}, {6, 5}}, {}, {0, 0, 2, 3, 1, 1},
       {100, 3, 3, 3, 3, 1}, 0, 0},
      {"a bomb stops it too", {{5, 4}, {5, 6}, {4, 5}}, {{6, 5}}, {0, 0, 2, 3, 1, 1},
       {100, 3, 3, 3, 3, 1}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    Fake().randomMaxes.clear();
    g_Game->frameCount = 0;
    for (Cell w : c.walls) Wall(w.column, w.row);
    for (Cell b : c.bombs) StillBomb(b.column, b.row);
    FieldObject* e = Walker(5, 5);
    Script(c.draws);
    Move(e, 1);
    EXPECT_EQ(Fake().randomMaxes, c.maxes);
    EXPECT_EQ(e->moving, c.moving);
    EXPECT_EQ(e->facing, c.facing);
    EXPECT_TRUE(Fake().randomValues.empty());
  }
}

// The core mech on (5, 4), player 1 four cells below; the shooting draw is from 3.
TEST_F(Enemies, TheCoreMechShoots) {
  struct Case {
    const char* name;
    int32_t draw;
    Cell p1;
    const char* under;
    bool shoots;
  } cases[] = {
      {"aimed, drawn 0", 0, {5, 8}, "", true},
      {"aimed, drawn 1", 1, {5, 8}, "", false},
      {"no aim", 0, {9, 9}, "", false},
      {"a bomb on its cell", 0, {5, 8}, "bomb", false},
      {"a soft block on its cell", 0, {5, 8}, "soft", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    Fake().audio.clear();
    g_Game->frameCount = 0;
    Put(P(1), c.p1.column * 32, c.p1.row * 32);
    if (std::string(c.under) == "bomb") StillBomb(5, 4);
    if (std::string(c.under) == "soft") SoftBlock(5, 4);
    FieldObject* e = CoreMech(5, 4);
    e->behaviour = ActEnemy;
    Script({c.draw});
    Move(e, 1);
    EXPECT_EQ(e->behaviour == ActEnemyShoot, c.shoots);
    EXPECT_EQ(Sounds(), c.shoots ? std::vector<int32_t>{2} : std::vector<int32_t>{});
    if (!c.shoots) continue;
    EXPECT_EQ(e->stateTimer, 32);
    EXPECT_EQ(e->facing, 0);
    EXPECT_EQ(e->moving, 0);
    EXPECT_EQ(e->pixelY, 4 * 32);
  }
  // Its 32 frames, the shots in the last four, then back to walking.
  ClearObjects();
  g_Game->frameCount = 0;
  Put(P(1), 5 * 32, 8 * 32);
  FieldObject* e = CoreMech(5, 4);
  Script({0});
  Move(e, 1);
  ASSERT_EQ(e->behaviour, ActEnemyShoot);
  g_Game->frameCount = 1;
  std::vector<int32_t> shotFrames, shotDirections;
  for (int32_t frame = 0; frame < 33; frame++) {
    const size_t before = Objects("Tama").size();
    e->behaviour(e);
    if (Objects("Tama").size() > before) {
      FieldObject* shot = Objects("Tama").back();
      shotFrames.push_back(frame);
      shotDirections.push_back(shot->facing);
      EXPECT_EQ(CellOf(shot), (Cell{5, 4}));
      EXPECT_EQ(shot->subKind, 3);
      EXPECT_EQ(shot->stepFrames, 8);
      EXPECT_EQ(shot->pattern, 2);
      EXPECT_EQ(shot->turnChance, shot->facing);
    }
  }
  EXPECT_EQ(shotFrames, (std::vector<int32_t>{29, 30, 31, 32}));
  EXPECT_EQ(shotDirections, (std::vector<int32_t>{3, 2, 1, 0}));
  EXPECT_EQ(e->behaviour, ActEnemy);
  EXPECT_EQ(e->stateTimer, -1);
}

// A shot from (3, 5) flying right, through the frame loop.
TEST_F(Enemies, ShotsMeetingBlocks) {
  struct Case {
    const char* name;
    std::function<void()> put;
    Cell diesOn;
  } cases[] = {
      {"a wall", [] { Wall(6, 5); }, {5, 5}},
      {"a bomb", [] { StillBomb(6, 5); }, {5, 5}},
      {"the edge of the field", [] {}, {14, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    g_Game->frameCount = 0;
    c.put();
    FieldObject* shot = CreateFieldObject("Tama", 0, 3, 3, 5, 8, 0, 0, 0, 0, 0, 3, 2, 0);
    Frames(120);
    EXPECT_TRUE(On(c.diesOn.column, c.diesOn.row, "Tama").empty());
    EXPECT_EQ(shot->alive, 0);
    EXPECT_EQ(CellOf(shot), c.diesOn);
    EXPECT_TRUE(Objects("Tama").empty());
  }
  // Over a soft block, which becomes a walker.
  ClearObjects();
  g_Game->frameCount = 0;
  g_Game->enemyCount = 0;
  FieldObject* block = SoftBlock(5, 5);
  FieldObject* shot = CreateFieldObject("Tama", 0, 3, 3, 5, 8, 0, 0, 0, 0, 0, 3, 2, 0);
  Wall(7, 5);
  for (int32_t i = 0; i < 40 && shot->alive; i++) Frames(1);
  EXPECT_EQ(shot->alive, 0);
  EXPECT_EQ(CellOf(shot), (Cell{5, 5}));
  EXPECT_EQ(block->power, 0);
  EXPECT_EQ(On(5, 5, "Enemy").size(), 1u);
  EXPECT_EQ(g_Game->enemyCount, 1);
}

}  // namespace
