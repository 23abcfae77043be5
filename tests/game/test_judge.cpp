// The end of a round: the clock running out, the last life's fall, game over, game clear
// and the battle result, judged on a field of the fake engine.
#include "fieldfixture.h"
#include "game/hiscore.h"
#include "game/judge.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

class Judge : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    g_Game->menuState = 2;
    g_Game->stage = 1;
    g_Game->reach = 1;
    g_Game->hiScore = 50;
    g_Game->playersInRound = 1;
  }

  // HiScore.dat as saved, or nothing when no save was made.
  static std::optional<HiScoreValues> Saved() {
    std::ifstream in("HiScore.dat", std::ios::binary);
    if (!in) return std::nullopt;
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    return ParseHiScore(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }

  static void Join(int32_t n) {
    P(n)->active = P(n)->lives = 1;
    g_Game->playersInRound++;
  }
};

TEST_F(Judge, TheClockRunningOutInNormalMode) {
  struct Case {
    int32_t stock, score;
    int32_t menuState, lives1, stockAfter, hiScore;
    bool saved;
  } cases[] = {
      {2, 300, 2, 1, 1, 50, false},   // a life back for player 1 alone, the same stage
      {0, 300, 3, 0, 0, 300, true},   // game over, the score above the hi score saved
      {0, 40, 3, 0, 0, 50, false},    // game over, nothing to record
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stock * 1000 + c.score);
    std::filesystem::remove("HiScore.dat");
    Fake().audio.clear();
    g_Game->inPlay = 1;
    g_Game->menuState = 2;
    g_Game->hiScore = 50;
    g_Game->stage = 2;
    g_Game->playersInRound = 0;
    g_Game->stock = c.stock;
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      P(n)->active = P(n)->lives = 0;
      P(n)->invulnerable = 7;
      P(n)->score = 0;
    }
    Join(1);
    Join(2);
    P(1)->score = c.score;
    P(1)->lives = 2;
    P(3)->lives = 0;  // out of the round: nothing may happen to it
    g_Game->secondsLeft = 0;
    JudgeRound();

    EXPECT_EQ(g_Game->inPlay.load(), 0);
    EXPECT_EQ(g_Game->secondsLeft.load(), 200);
    EXPECT_EQ(g_Game->playersInRound, 0);
    for (int32_t n = 1; n <= kPlayerCount; n++) EXPECT_EQ(P(n)->active, 0) << n;
    EXPECT_EQ(Sounds(), (std::vector<int32_t>{4, 4}));  // the two in the round fall
    EXPECT_EQ(P(3)->invulnerable, 7);
    EXPECT_EQ(P(4)->invulnerable, 7);
    EXPECT_EQ(P(2)->lives, 0);
    EXPECT_EQ(P(1)->lives, c.lives1);
    EXPECT_EQ(g_Game->stock, c.stockAfter);
    EXPECT_EQ(g_Game->menuState, c.menuState);
    EXPECT_EQ(g_Game->stage, 2);
    EXPECT_EQ(g_Game->hiScore, c.hiScore);
    ASSERT_EQ(Saved().has_value(), c.saved);
    if (c.saved) {
      EXPECT_EQ(Saved()->hiScore, c.score);
      EXPECT_EQ(Saved()->reach, 2);
    }
  }
}

TEST_F(Judge, TheLastLifeFallsForEightyFramesThenLeaves) {
  struct Case {
    int32_t stock, score, stage, reach;
    int32_t hiScore, reachAfter, scoreAfter, menuState;
  } cases[] = {
      // No stock: a new hi score, with reach set to the stage even though it is lower.
      {0, 500, 1, 2, 500, 1, 0, 3},
      {0, 30, 1, 2, 50, 2, 0, 3},
      // Stock left: parked, nothing recorded, player 1 back with a life on the same stage.
      {1, 500, 1, 2, 50, 2, 500, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stock * 1000 + c.score);
    std::filesystem::remove("HiScore.dat");
    g_Game->inPlay = 1;
    g_Game->menuState = 2;
    g_Game->hiScore = 50;
    g_Game->playersInRound = 1;
    g_Game->stock = c.stock;
    g_Game->stage = c.stage;
    g_Game->reach = c.reach;
    P(1)->active = P(1)->lives = 1;
    P(1)->score = c.score;
    Put(P(1), 3 * 32, 5 * 32);
    LosePlayerLife(P(1));
    ASSERT_EQ(P(1)->invulnerable, 80);
    for (int32_t f = 0; f < 79; f++) JudgeRound();
    EXPECT_EQ(P(1)->active, 1);
    EXPECT_EQ(P(1)->cellX, 3);
    EXPECT_EQ(g_Game->inPlay.load(), 1);
    JudgeRound();
    EXPECT_EQ(P(1)->active, 0);
    EXPECT_EQ(P(1)->cellX, 10000);
    EXPECT_EQ(P(1)->cellY, 10000);
    EXPECT_EQ(g_Game->playersInRound, 0);
    EXPECT_EQ(g_Game->inPlay.load(), 0);
    EXPECT_EQ(g_Game->hiScore, c.hiScore);
    EXPECT_EQ(g_Game->reach, c.reachAfter);
    EXPECT_EQ(Saved().has_value(), c.hiScore != 50);
    EXPECT_EQ(P(1)->score, c.scoreAfter);
    EXPECT_EQ(g_Game->menuState, c.menuState);
  }
}

// The exit is taken and judged in the same frame, as the frame loop does.
TEST_F(Judge, TakingTheExit) {
  struct Case {
    int32_t stage, hiScore, scores[4];
    int32_t hiScoreAfter, reach, menuState;
  } cases[] = {
      {2, 50, {10, 900, 0, 400}, 900, 3, 4},     // game clear: the best of the four
      {2, 5000, {10, 900, 0, 400}, 5000, 3, 4},  // only when higher
      {1, 50, {10, 900, 0, 400}, 50, 2, 2},      // reach 2 saved at once; the next stage
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stage * 10000 + c.hiScore);
    std::filesystem::remove("HiScore.dat");
    ClearObjects();
    g_Game->inPlay = 1;
    g_Game->menuState = 2;
    g_Game->hiScore = c.hiScore;
    g_Game->stage = c.stage;
    g_Game->reach = c.stage;
    for (int32_t n = 1; n <= kPlayerCount; n++) P(n)->score = c.scores[n - 1];
    P(1)->active = P(1)->lives = 1;
    Put(P(1), 4 * 32, 4 * 32);
    SpawnGoal(4, 4)->subKind = 1;  // open
    g_CurrentPlayer = P(1);
    TouchCellObjects(4, 4);
    ASSERT_TRUE(Saved().has_value());
    EXPECT_EQ(Saved()->reach, c.stage + 1);
    JudgeRound();
    EXPECT_EQ(g_Game->inPlay.load(), 0);
    EXPECT_EQ(g_Game->stage, c.stage + 1);
    EXPECT_EQ(g_Game->hiScore, c.hiScoreAfter);
    EXPECT_EQ(g_Game->reach, c.reach);
    EXPECT_EQ(g_Game->menuState, c.menuState);
    EXPECT_EQ(Saved()->reach, c.reach);
    EXPECT_EQ(Saved()->hiScore, c.hiScoreAfter);
  }
}

TEST_F(Judge, BattleRounds) {
  struct Case {
    const char* name;
    int32_t lives[4];
    int32_t active[4];
    int32_t playersInRound, secondsLeft;
    int32_t wins[4];
  } cases[] = {
      {"the last two fall at once", {0, 0, 0, 0}, {0, 0, 0, 0}, 0, 200, {1, 0, 1, 0}},
      {"one survivor", {0, 1, 0, 0}, {0, 1, 0, 0}, 1, 200, {1, 1, 1, 0}},
      {"the clock runs out", {1, 1, 1, 0}, {1, 1, 1, 0}, 3, 0, {1, 0, 1, 0}},
      {"two still in", {1, 1, 0, 0}, {1, 1, 0, 0}, 2, 200, {1, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_Game->mode = 3;
    g_Game->inPlay = 1;
    g_Game->menuState = 2;
    g_Game->playersInRound = c.playersInRound;
    g_Game->secondsLeft = c.secondsLeft;
    const int32_t winsBefore[4] = {1, 0, 1, 0};
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      P(n)->lives = c.lives[n - 1];
      P(n)->active = c.active[n - 1];
      P(n)->score = winsBefore[n - 1];
      P(n)->invulnerable = 0;
    }
    JudgeRound();
    const bool over = std::string(c.name) != "two still in";
    EXPECT_EQ(g_Game->inPlay.load(), over ? 0 : 1);
    EXPECT_EQ(g_Game->menuState, over ? 1002 : 2);
    EXPECT_GE(g_Game->playersInRound, 0);
    for (int32_t n = 1; n <= kPlayerCount; n++) EXPECT_EQ(P(n)->score, c.wins[n - 1]) << n;
  }
}

// The hi-score rule of a fall runs in battle mode too, on the wins; they are kept.
TEST_F(Judge, ABattleFallRecordsTheWinsAsAHiScore) {
  std::filesystem::remove("HiScore.dat");
  g_Game->mode = 3;
  g_Game->inPlay = 1;
  g_Game->stock = 0;
  g_Game->hiScore = 2;
  g_Game->stage = 1;
  g_Game->reach = 2;
  g_Game->playersInRound = 2;
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    P(n)->active = P(n)->lives = n <= 2;
    P(n)->invulnerable = 0;
    P(n)->score = 0;
  }
  P(2)->lives = 0;
  P(2)->invulnerable = 1;
  P(2)->score = 3;
  JudgeRound();
  EXPECT_EQ(P(2)->active, 0);
  EXPECT_EQ(P(2)->score, 3);
  EXPECT_EQ(g_Game->hiScore, 3);
  EXPECT_EQ(g_Game->reach, 1);
  ASSERT_TRUE(Saved().has_value());
  EXPECT_EQ(Saved()->hiScore, 3);
  // Player 1 is left alone in the round and wins it.
  EXPECT_EQ(g_Game->menuState, 1002);
  EXPECT_EQ(P(1)->score, 1);
}

}  // namespace
