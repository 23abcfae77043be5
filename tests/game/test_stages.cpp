// The stage table, building a stage in both modes from scripted and seeded random draws,
// the progress resets, and the set-up of a round.
#include "game/stages.h"
#include "fieldfixture.h"
#include "stagefixture.h"

#include <algorithm>
#include <set>
#include <string>

namespace {

// Normal mode with player 1 alone.
class Stages : public FieldTest {
 protected:

  // The round's set-up up to the field, as the menus run it.
  static void Build(int32_t stage) {
    g_Game->stage = stage;
    StartRound();
    BuildStage();
  }

  // What each soft block hides, in slot order.
  static std::vector<int32_t> Contents() {
    std::vector<int32_t> v;
    for (FieldObject* b : Objects("Block", 1)) v.push_back(b->content);
    return v;
  }

  static std::vector<Cell> Cells(const std::vector<FieldObject*>& objects) {
    std::vector<Cell> v;
    for (FieldObject* o : objects) v.push_back(CellOf(o));
    return v;
  }
};

TEST_F(Stages, TheTable) {
  auto row = [](int32_t sub, int32_t stage) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < kStageColumns; i++) v.push_back(StageEntry(sub, stage, i));
    return v;
  };
  using V = std::vector<int32_t>;
  EXPECT_EQ(row(kStageEnemies, 0), (V{3, 14, 19, 23, 4, 7, 6, 9, 26}));
  EXPECT_EQ(row(kStageEnemies, 1), (V{0, 0, 0, 0, 100, 100, 100, 100, 100}));
  EXPECT_EQ(row(kStageEnemies, 2), (V{1, 100, 100, 100, 100, 100, 100, 100, 100}));
  EXPECT_EQ(row(kStageEnemies, 3), V(9, 0));
  EXPECT_EQ(row(kStageItemsOnePlayer, 0), V(9, 100));
  EXPECT_EQ(row(kStageItemsOnePlayer, 1), (V{4, 4, 4, 4, 5, 5, 5, 5, 11}));
  EXPECT_EQ(row(kStageItemsOnePlayer, 2), (V{8, 9, 10, 13, 17, 18, 19, 20, 21}));
  EXPECT_EQ(row(kStageItemsOnePlayer, 3), (V{6, 100, 100, 100, 100, 100, 100, 100, 100}));
  for (int32_t stage = 0; stage < 50; stage++) {
    SCOPED_TRACE(stage);
    EXPECT_EQ(row(kStageItemsOnePlayer, stage), row(kStageItemsTwoPlayers, stage));
    for (int32_t i = 0; i < kStageColumns; i++) {
      const int32_t enemy = StageEntry(kStageEnemies, stage, i);
      const int32_t item = StageEntry(kStageItemsOnePlayer, stage, i);
      if (stage >= 42) {
        EXPECT_EQ(enemy, 100);
        EXPECT_EQ(item, 100);
      } else if (stage >= 4) {
        // Only kinds that move, and the power-ups.
        EXPECT_TRUE(enemy == 0 || enemy == 1 || enemy == 100) << enemy;
        EXPECT_TRUE((item >= 4 && item <= 21) || item == 100) << item;
      }
    }
  }
  // Outside the table every row is empty.
  for (int32_t stage : {-1, 50, 1000})
    for (int32_t sub : {kStageEnemies, kStageItemsOnePlayer, kStageItemsTwoPlayers})
      EXPECT_EQ(row(sub, stage), V(9, 100));
}

TEST_F(Stages, BattleBlocksBySlotWithPicksDrawnAgain) {
  g_Game->mode = 3;
  const std::vector<Cell> open = OpenCells();
  // Slot 0 draws a start and a cell kept open beside it, slot 1 the cell slot 0 took,
  // slot 30 a wall and slot 40 the border, before open cells.
  std::vector<Cell> script = {{1, 1}, {2, 1}, open[0], open[0], open[1]};
  for (int32_t k = 2; k < 60; k++) {
    if (k == 30) script.push_back({2, 2});
    if (k == 40) script.push_back({0, 5});
    script.push_back(open[k]);
  }
  ScriptCells(script);
  Build(1);
  std::vector<Cell> expected(open.begin(), open.begin() + 60);
  EXPECT_EQ(Cells(Objects("Block", 1)), expected);
  std::vector<int32_t> contents;
  for (int32_t k = 0; k < 60; k++) contents.push_back(k < 6 ? 6 : k < 13 ? 5 : k < 20 ? 4 : 100);
  EXPECT_EQ(Contents(), contents);
  for (Cell c : expected) EXPECT_EQ(g_Game->grid[c.row * 15 + c.column], 2);
  EXPECT_TRUE(Objects("Enemy").empty());
  EXPECT_EQ(g_Game->enemyCount, 0);
  EXPECT_EQ(g_Game->coreCount, 0);
  std::vector<uint32_t> maxes;
  for (size_t i = 0; i < script.size(); i++) maxes.insert(maxes.end(), {14, 12});
  EXPECT_EQ(Fake().randomMaxes, maxes);
  EXPECT_TRUE(Fake().randomValues.empty());
}

// Stage 1 with one player: walkers placed away from the starts and their lines, soft blocks
// on the open cells that are left, and slot 55 by its draw.
TEST_F(Stages, StageOneForOnePlayer) {
  struct Case {
    const char* name;
    std::vector<int32_t> slot55Draws;
    int32_t score1, score2;
    int32_t slot55, slots56to58;
  } cases[] = {
      {"55 draws 50", {50}, 0, 0, 100, 100},
      {"55 draws 51: a class, 0 below stage 10", {51, 2}, 0, 0, 600, 100},
      {"99999 points together", {0}, 50000, 49999, 100, 100},
      {"100000 points together", {0}, 50000, 50000, 100, 500},
      {"100000 points of player 1 alone", {0}, 100000, 0, 100, 500},
  };
  const std::vector<Cell> enemies = {{5, 5}, {7, 5}, {9, 3}, {3, 9}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    Fake().randomMaxes.clear();
    g_Players[1]->score = c.score1;
    g_Players[2]->score = c.score2;
    std::vector<Cell> script = {
        {1, 5}, {3, 3}, {5, 5},   // slot 0: column 1, then within 3 of player 1
        {5, 5}, {7, 5},           // slot 1: taken
        {7, 11}, {9, 3},          // slot 2: row 11
        {11, 9}, {3, 9},          // slot 3: within 3 of player 2's start
        {2, 2}, {3, 7},           // slot 4 is empty, but its cell is drawn: a wall, then open
        {3, 7}, {3, 7}, {3, 7}, {3, 7},
    };
    std::vector<Cell> blocks;
    for (Cell cell : OpenCells())
      if (std::find(enemies.begin(), enemies.end(), cell) == enemies.end()) blocks.push_back(cell);
    blocks.resize(60);
    ScriptCells(script);
    for (int32_t k = 0; k < 60; k++) {
      ScriptCells({blocks[k]});
      if (k == 55) {
        for (int32_t v : c.slot55Draws) Fake().randomValues.push_back(v);
      }
    }
    Build(1);
    const std::vector<FieldObject*> made = Objects("Enemy");
    EXPECT_EQ(Cells(made), enemies);
    for (FieldObject* e : made) EXPECT_EQ(e->subKind, 0);
    EXPECT_EQ(g_Game->enemyCount, 4);
    for (Cell e : enemies) EXPECT_EQ(g_Game->grid[e.row * 15 + e.column], 5);
    EXPECT_EQ(Cells(Objects("Block", 1)), blocks);
    std::vector<int32_t> contents(60, 100);
    const int32_t items[9] = {4, 4, 4, 4, 5, 5, 5, 5, 11};
    std::copy(items, items + 9, contents.begin());
    contents[50] = contents[51] = contents[52] = 700;
    contents[55] = c.slot55;
    contents[56] = contents[57] = contents[58] = c.slots56to58;
    contents[59] = 1000;
    EXPECT_EQ(Contents(), contents);
    EXPECT_EQ(g_Game->coreCount, 3);
    // Every cell drawn as a column then a row; slot 55 draws from 100, then maybe 3.
    std::vector<uint32_t> maxes;
    for (size_t i = 0; i < script.size() + 55; i++) maxes.insert(maxes.end(), {14, 12});
    maxes.insert(maxes.end(), {14, 12, 100});
    if (c.slot55Draws.size() == 2) maxes.push_back(3);
    for (int32_t k = 56; k < 60; k++) maxes.insert(maxes.end(), {14, 12});
    EXPECT_EQ(Fake().randomMaxes, maxes);
    EXPECT_TRUE(Fake().randomValues.empty());
  }
}

TEST_F(Stages, StageTwoHasOneCoreMechAndNoCoreBlocks) {
  ScriptCells({{5, 5}});
  for (int32_t i = 1; i < 9; i++) ScriptCells({{3, 7}});
  std::vector<Cell> blocks;
  for (Cell cell : OpenCells())
    if (!(cell == Cell{5, 5})) blocks.push_back(cell);
  for (int32_t k = 0; k < 60; k++) {
    ScriptCells({blocks[k]});
    if (k == 55) Fake().randomValues.insert(Fake().randomValues.end(), {80, 3});
  }
  Build(2);
  const std::vector<FieldObject*> enemies = Objects("Enemy");
  ASSERT_EQ(enemies.size(), 1u);
  EXPECT_EQ(enemies[0]->subKind, 1);
  EXPECT_EQ(CellOf(enemies[0]), (Cell{5, 5}));
  EXPECT_EQ(g_Game->enemyCount, 1);
  EXPECT_EQ(g_Game->coreCount, 1);  // the core mech itself
  std::vector<int32_t> contents = Contents();
  EXPECT_EQ(std::vector<int32_t>(contents.begin(), contents.begin() + 9),
            (std::vector<int32_t>{8, 9, 10, 13, 17, 18, 19, 20, 21}));
  EXPECT_EQ(std::count(contents.begin(), contents.end(), 700), 0);
  EXPECT_EQ(contents[55], 600);
  EXPECT_EQ(g_Game->floorStyle, 0);
}

// Whatever the draws, the cells around the four starts stay free, in both modes and with
// or without players 3 and 4.
TEST_F(Stages, StartsStayOpen) {
  for (int32_t mode : {1, 3}) {
    for (int32_t seed = 1; seed <= 6; seed++) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " seed " + std::to_string(seed));
      ClearObjects();
      Fake().seed = uint32_t(seed);
      Fake().seeded = false;
      g_Game->mode = mode;
      for (int32_t n = 1; n <= kPlayerCount; n++) g_Players[n]->active = n <= seed % 4 + 1;
      Build(1 + seed % 2);
      EXPECT_EQ(Objects("Block", 1).size(), 60u);
      for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive) {
        if (IsKind(o, "Enemy") || (IsKind(o, "Block") && o->subKind == 1)) {
          EXPECT_FALSE(NextToStart(CellOf(o))) << o->kind << " on " << o->cellX << "," << o->cellY;
        }
      }
    }
  }
}

TEST_F(Stages, FloorsComeFirstUnderTheirWallsAndUnderEveryBlock) {
  g_Game->stage = 20;
  StartRound();
  BuildStage();
  EXPECT_EQ(g_Game->floorStyle, 2);
  std::set<int32_t> floors;
  int32_t walls = 0, softBlocks = 0;
  for (FieldObject* o = g_ActiveSentinel->nextActive; o != g_ActiveSentinel; o = o->nextActive) {
    if (IsKind(o, "Yuka")) {
      floors.insert(o->tileY * 15 + o->tileX);
      EXPECT_EQ(o->tileSprite, 4);
      EXPECT_EQ(o->owner, 4);
    } else if (IsKind(o, "Block") && o->subKind == 0) {
      EXPECT_TRUE(floors.count(o->cellY * 15 + o->cellX)) << o->cellX << "," << o->cellY;
      const bool border = o->cellX == 0 || o->cellX == 14 || o->cellY == 0 || o->cellY == 12;
      EXPECT_TRUE(border || (o->cellX % 2 == 0 && o->cellY % 2 == 0));
      walls++;
    } else if (IsKind(o, "Block") && o->subKind == 1) {
      EXPECT_EQ(floors.size(), 195u);
      softBlocks++;
    }
  }
  EXPECT_EQ(floors.size(), 195u);
  EXPECT_EQ(walls, 2 * 15 + 2 * 11 + 30);
  EXPECT_EQ(softBlocks, 60);
}

TEST_F(Stages, ProgressResets) {
  struct Case {
    int32_t kind;
    int32_t stage, active, score, lives, stock;
    bool common;
  } cases[] = {
      {0, 1, 0, 0, 3, 5, true},    // new game: lives stay, the menus set them
      {1, 7, 1, 0, 3, 5, true},    // continue
      {2, 7, 1, 2, 1, 0, true},    // battle round: wins stay
      {3, 7, 1, 2, 3, 5, false},   // anything else: nothing
      {-1, 7, 1, 2, 3, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    g_Game->stage = 7;
    g_Game->stock = 5;
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      PlayerRecord* p = g_Players[n];
      p->active = 1;
      p->score = 2;
      p->lives = 3;
      p->fireRange = p->bombCapacity = p->bombsLeft = p->speed = 6;
      p->passAbility = p->bombType = p->fullFire = p->lineBomb = 1;
    }
    ResetProgress(c.kind);
    EXPECT_EQ(g_Game->stage, c.stage);
    EXPECT_EQ(g_Game->stock, c.stock);
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      const PlayerRecord* p = g_Players[n];
      EXPECT_EQ(p->active, c.active);
      EXPECT_EQ(p->score, c.score);
      EXPECT_EQ(p->lives, c.lives);
      const std::vector<int32_t> stats = {p->fireRange, p->bombCapacity, p->bombsLeft, p->speed,
                                          p->passAbility, p->bombType, p->fullFire, p->lineBomb};
      EXPECT_EQ(stats, c.common ? (std::vector<int32_t>{2, 1, 1, 2, 0, 0, 0, 0})
                                : (std::vector<int32_t>{6, 6, 6, 6, 1, 1, 1, 1}));
    }
  }
}

TEST_F(Stages, TheRoundSetUp) {
  struct Case {
    int32_t mode, musicOn;
    bool music;
    int32_t invulnerable;  // of the active players
  } cases[] = {
      {1, 1, true, 500}, {1, 0, false, 500}, {3, 1, true, 7}, {3, 0, false, 7}, {0, 1, false, 500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + " music " + std::to_string(c.musicOn));
    ClearObjects();
    Fake().audio.clear();
    g_Game->mode = c.mode;
    g_Game->musicOn = c.musicOn;
    g_Game->inPlay = 0;
    g_Game->menuState = 1;
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      PlayerRecord* p = g_Players[n];
      p->active = n <= 2;
      p->lives = 2;
      p->invulnerable = 7;
      p->bombCapacity = 3;
      p->bombsLeft = 0;
      p->facing = 0;
      p->moving = p->reserved = 1;
      p->bombLatch = p->pauseLatch = 0;
      Put(p, 100, 100);
    }
    StartStageMusic();
    StartRound();
    BuildStage();
    ResetPlayersForRound();
    std::vector<std::string> audio;
    for (const FakeAudioCall& a : Fake().audio) audio.push_back(a.call);
    std::vector<std::string> expected = {"StopMusicFile()"};
    if (c.music) expected.push_back("PlaySoundHandle(worldenddominator.ogg,3,1)");
    EXPECT_EQ(audio, expected);
    EXPECT_EQ(g_Game->inPlay.load(), 1);
    EXPECT_EQ(g_Game->secondsLeft.load(), 200);
    EXPECT_EQ(g_Game->menuState, 2);
    EXPECT_EQ(g_CurrentPlayer, g_Players[1]);
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      SCOPED_TRACE(n);
      const PlayerRecord* p = g_Players[n];
      const Cell start = kStartCells[n - 1];
      const Cell cell = n <= 2 ? start : Cell{1000, 1000};
      EXPECT_EQ((Cell{p->cellX, p->cellY}), cell);
      EXPECT_EQ(p->pixelX, cell.column * 32);
      EXPECT_EQ(p->centreY, cell.row * 32 + 16);
      EXPECT_EQ(p->lives, n <= 2 ? (c.mode == 3 ? 1 : 2) : 0);
      EXPECT_EQ(p->invulnerable, n <= 2 ? c.invulnerable : 0);
      EXPECT_EQ(p->bombsLeft, c.mode == 3 ? 1 : 3);
      EXPECT_EQ(p->facing, 1);
      EXPECT_EQ(p->moving + p->reserved, 0);
      EXPECT_EQ(p->bombLatch + p->pauseLatch, 2);
    }
  }
}

}  // namespace
