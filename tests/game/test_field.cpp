// The field on screen, read from the fake engine's recorded frame: the passes and their
// order, pop-ups, blinking, the core mech's size, players, the band, the heads-up texts and
// the pause lines.
#include "fieldfixture.h"
#include "game/hud.h"
#include "stagefixture.h"

#include <string>

namespace {

class Field : public FieldTest {
 protected:
  void SetUp() override {
    FieldTest::SetUp();
    LoadImages();
    g_Game->textColour = 0xFFFF;
    ClearFakeCalls();
  }

  static std::string Describe(const FakeDraw& d) {
    auto xy = [](int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); };
    switch (d.kind) {
      case FakeDraw::kClear: return "clear";
      case FakeDraw::kGraph: return d.sheetFile + ":" + std::to_string(d.cell) + "@" + xy(d.x1, d.y1);
      case FakeDraw::kStretched:
        return d.sheetFile + ":" + std::to_string(d.cell) + "@" + xy(d.x1, d.y1) + "-" + xy(d.x2, d.y2);
      case FakeDraw::kBox:
        return "box " + xy(d.x1, d.y1) + "-" + xy(d.x2, d.y2) + " " + std::to_string(d.color) +
               (d.fill ? " filled" : "");
      case FakeDraw::kText: return "text " + xy(d.x1, d.y1) + " " + d.text;
    }
    return "?";
  }

  // The last frame presented, without its texts, or only its texts.
  static std::vector<std::string> Drawn(bool texts = false) {
    std::vector<std::string> v;
    EXPECT_FALSE(Fake().frames.empty());
    if (Fake().frames.empty()) return v;
    for (const FakeDraw& d : Fake().frames.back().draws)
      if ((d.kind == FakeDraw::kText) == texts) v.push_back(Describe(d));
    return v;
  }

  static std::vector<std::string> Texts() { return Drawn(true); }

  static bool Shown(const std::string& what) {
    for (const std::string& s : Drawn())
      if (s == what) return true;
    return false;
  }
};

constexpr char kBand[] = "box 0,0-640,90 0 filled";

TEST_F(Field, ThePassesInOrderThenThePlayersThenTheBand) {
  CreateFloorTile(2, 3, 2, 3);
  FieldObject* walker = SpawnEnemy(3, 3, 0, 0);
  walker->sprite = 5;
  FieldObject* shot = CreateFieldObject("Tama", 0, 3, 4, 4, 8, 0, 0, 0, 0, 0, 2, 2, 0);
  shot->sprite = 1;
  Wall(2, 3)->sprite = 5;
  SoftBlock(3, 2)->sprite = 6;
  SpawnItem(5, 7, 5);
  FieldObject* burnt = SpawnItem(5, 8, 6);
  burnt->power = 0;
  burnt->timer = 15;
  CentreFlame(6, 6, 1)->sprite = 2;
  SpawnGoal(7, 7)->sprite = 1;
  StillBomb(8, 8)->sprite = 9;
  SpawnItem(9, 9, 9)->alive = 0;  // gone: not drawn
  P(1)->facing = 1;
  P(1)->animCounter = 0;
  DrawHud();
  EXPECT_EQ(Drawn(), (std::vector<std::string>{
                         "clear",
                         "u_yuka.png:3@144,144",
                         "u_Block.png:5@144,176",
                         "u_Block.png:6@176,144",
                         "u_Item.png:7@240,240",
                         "u_Block.png:3@272,240",  // an item burning away
                         "u_Bomb.png:2@272,272",
                         "u_yuka.png:1@304,304",
                         "u_Bomb.png:9@336,336",
                         "u_Tama.png:6@208,208",
                         "u_Enemy.png:5@176,176",
                         "u_Player.png:4@304,272",
                         kBand,
                     }));
  EXPECT_EQ(g_CurrentPlayer, P(1));
  EXPECT_EQ(FakeCallsNamed({"PresentScreen"}).size(), 1u);
}

TEST_F(Field, BurningItems) {
  struct Case {
    int32_t timer, image;
  } cases[] = {{40, 2}, {21, 2}, {20, 3}, {11, 3}, {10, 4}, {1, 4}, {0, 0}, {-3, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timer);
    ClearObjects();
    FieldObject* item = SpawnItem(5, 4, 5);
    item->power = 0;
    item->timer = c.timer;
    DrawField();
    g_Api->PresentScreen();
    EXPECT_TRUE(Shown("u_Block.png:" + std::to_string(c.image) + "@240,240"));
  }
}

TEST_F(Field, PopUpsRiseByTheirMultiplierAndBlink) {
  struct Case {
    int32_t timer, multiplier;
    bool shown;
  } cases[] = {
      {0, 3, true}, {39, 3, true}, {3, 1, true}, {40, 2, false}, {1, 3, false}, {-3, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timer);
    ClearObjects();
    CreateFieldObject("Score", 0, 0, 5, 5, 0, 0, c.multiplier, c.timer, 200, 0, 0, 0, 0);
    DrawHud();
    const std::string popUp = "text 240," + std::to_string(240 - 20 * c.multiplier) + " 200　×　" +
                              std::to_string(c.multiplier);
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), popUp), c.shown ? 1 : 0);
    for (const FakeDraw& d : Fake().frames.back().draws) {
      if (d.kind == FakeDraw::kText && d.y1 > 100) {
        EXPECT_EQ(d.color, 0xC800u);  // (200, 0, 0)
      }
    }
  }
}

TEST_F(Field, ShotsAndWoundedEnemiesBlink) {
  struct Case {
    const char* name;
    const char* kind;
    int32_t timer, power, alive;
    bool shown;
  } cases[] = {
      {"shot", "Tama", 0, 0, 1, true},
      {"shot, 3", "Tama", 3, 0, 1, true},
      {"shot, 2", "Tama", 2, 0, 1, false},
      {"a dead shot still shows", "Tama", 0, 0, 0, true},
      {"enemy", "Enemy", 0, 1, 1, true},
      {"wounded, 6", "Enemy", 6, 1, 1, true},
      {"wounded, 5", "Enemy", 5, 1, 1, false},
      {"shielded on arrival, 128", "Enemy", 128, 1, 1, false},
      {"dying, 5", "Enemy", 5, 0, 1, true},
      {"a dead enemy still shows", "Enemy", 0, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    FieldObject* o = CreateFieldObject(c.kind, 0, 0, 5, 5, 8, c.power, 0, c.timer, 0, 0, 0, 0, 0);
    o->alive = c.alive;
    DrawHud();
    EXPECT_EQ(Shown(std::string(IsKind(o, "Tama") ? "u_Tama.png" : "u_Enemy.png") + ":0@240,240"),
              c.shown);
  }
}

TEST_F(Field, TheCoreMechCoversThreeCellsEachWay) {
  SpawnEnemy(5, 5, 1, 0);
  DrawHud();
  EXPECT_TRUE(Shown("u_Enemy.png:20@208,176-304,272"));
}

TEST_F(Field, PlayersBlinkWhileInvulnerable) {
  struct Case {
    int32_t active, lives, invulnerable;
    bool shown;
  } cases[] = {
      {1, 1, 0, true},  {1, 1, 3, true},   {1, 1, 4, false}, {1, 1, 500, false},
      {1, 1, 498, true}, {1, 0, 4, true},  {0, 1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lives) + " lives, invulnerable " + std::to_string(c.invulnerable));
    P(1)->active = c.active;
    P(1)->lives = c.lives;
    P(1)->invulnerable = c.invulnerable;
    P(1)->animCounter = 0;
    P(1)->facing = 0;
    DrawHud();
    // Falling with 4 frames left shows the last falling image.
    const std::string image = c.lives ? "u_Player.png:0@304,272" : "u_Player.png:19@304,272";
    EXPECT_EQ(Shown(image), c.shown);
  }
  // Players 2-4 in number order after player 1.
  for (int32_t n = 1; n <= kPlayerCount; n++) {
    P(n)->active = P(n)->lives = 1;
    P(n)->invulnerable = 0;
    P(n)->facing = 0;
    P(n)->animCounter = 0;
    Put(P(n), 32 * n, 32);
  }
  DrawHud();
  EXPECT_EQ(Drawn(), (std::vector<std::string>{"clear", "u_Player.png:0@112,112",
                                               "u_Player.png:20@144,112", "u_Player.png:40@176,112",
                                               "u_Player.png:60@208,112", kBand}));
}

TEST_F(Field, ObjectsOffTheScreenAreSkipped) {
  struct Case {
    int32_t pixelX, pixelY;
    bool shown;
  } cases[] = {
      {-112, 0, true}, {-113, 0, false}, {0, -80, true}, {0, -81, false},
      {560, 0, true},  {561, 0, false},  {0, 400, true}, {0, 401, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pixelX) + "," + std::to_string(c.pixelY));
    ClearObjects();
    FieldObject* item = SpawnItem(5, 4, 5);
    item->pixelX = c.pixelX;
    item->pixelY = c.pixelY;
    DrawHud();
    EXPECT_EQ(Shown("u_Item.png:4@" + std::to_string(c.pixelX + 80) + "," +
                    std::to_string(c.pixelY + 80)),
              c.shown);
  }
}

TEST_F(Field, TheTextsOfEachMode) {
  g_Game->hiScore = 12345;
  g_Game->secondsLeft = 150;
  g_Game->stage = 2;
  g_Game->reach = 3;
  g_Game->coreCount = 1;
  P(1)->score = 500;
  P(1)->lives = 2;
  struct Case {
    const char* name;
    int32_t mode, stock, lives1, lives2;
    std::vector<int32_t> paused;
    std::vector<std::string> texts;
  } cases[] = {
      {"normal, both playing", 1, 2, 2, 1, {},
       {"text 10,10 ハイスコア　12345　残り時間　150　ステージ 2 到達度　3",
        "text 10,40 モード　1 人数　2 残りのコアメカ 1", "text 10,70 １P　500　体　2",
        "text 310,70 ２P　40　体　1"}},
      {"normal, both out with stock", 1, 1, 0, 0, {},
       {"text 10,10 ハイスコア　12345　残り時間　150　ステージ 2 到達度　3",
        "text 10,40 モード　1 人数　1 残りのコアメカ 1", "text 10,70 １P、途中参加OK",
        "text 310,70 ２P、途中参加OK"}},
      {"normal, both out, no stock, two paused", 1, 0, 0, 0, {1, 3},
       {"text 10,10 ハイスコア　12345　残り時間　150　ステージ 2 到達度　3",
        "text 10,40 モード　1 人数　0 残りのコアメカ 1", "text 10,70 １P、ちょっと待ってね",
        "text 310,70 ２P、ちょっと待ってね", "text 250,268 １Pポーズ", "text 250,268 ３Pポーズ"}},
      {"battle, player 4 paused", 3, 0, 1, 1, {4},
       {"text 10,10 残り時間　150　ステージ 2",
        "text 10,40 １P勝ち数　500　２P勝ち数　40 ３P勝ち数　0　４P勝ち数　1",
        "text 10,70 モード　3", "text 250,268 ４Pポーズ"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_Game->mode = c.mode;
    g_Game->stock = c.stock;
    P(1)->lives = c.lives1;
    P(2)->lives = c.lives2;
    P(2)->score = 40;
    P(3)->score = 0;
    P(4)->score = 1;
    for (int32_t n = 1; n <= kPlayerCount; n++)
      P(n)->pausedByMe = std::count(c.paused.begin(), c.paused.end(), n) > 0;
    DrawHud();
    EXPECT_EQ(Texts(), c.texts);
    for (const FakeDraw& d : Fake().frames.back().draws) {
      if (d.kind == FakeDraw::kText) {
        EXPECT_EQ(d.color, 0xFFFFu);
      }
    }
    // The band goes under the texts.
    EXPECT_EQ(Fake().frames.back().draws.at(Drawn().size() - 1).kind, FakeDraw::kBox);
  }
}

}  // namespace
