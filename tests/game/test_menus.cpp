// The menus on the fake engine: every screen's lines, the cursor and the latches, the
// stage line, the selections, the reset question, the music, the save screen and the
// stage data screen.
#include "game/hiscore.h"
#include "game/menus.h"
#include "game/stages.h"
#include "gamefixture.h"
#include "stagefixture.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int32_t kDown = 1, kLeft = 2, kRight = 4, kUp = 8, kButton1 = 16, kButton2 = 32;

class Menus : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    SetGameStandIns(false);
    MakeRecords();
    LoadImages();
    LoadSounds();
    Fake().engineUp = 1;
    g_Game->musicOn = 1;
    g_Game->textColour = 0xF800;
    ASSERT_EQ(EnterMenuLoop(), 1);
    Fake().audio.clear();
    ClearFakeCalls();
  }

  // Player n (1 by default) holds bits in one pass, then lets go in another.
  static int32_t Press(int32_t bits, int32_t n = 1) {
    Hold(n, bits);
    const int32_t go = MenuPass();
    Hold(n, 0);
    return go && MenuPass();
  }
  static void Hold(int32_t n, int32_t bits) { Fake().input.held.pads[n] = bits; }

  // The texts drawn since the last present as "x,y,text", and the cursor as "cursor x,y".
  // Only what follows the last clear counts.
  static std::vector<std::string> Lines(const std::vector<FakeDraw>& draws) {
    std::vector<std::string> v;
    for (const FakeDraw& d : draws) {
      if (d.kind == FakeDraw::kClear) {
        v.clear();
        continue;
      }
      const std::string at = std::to_string(d.x1) + "," + std::to_string(d.y1);
      if (d.kind == FakeDraw::kText) {
        EXPECT_EQ(d.color, 0xF800u) << d.text;
        v.push_back(at + "," + d.text);
      } else if (d.kind == FakeDraw::kGraph && d.sheetFile == "u_Player.png" && d.cell == 3) {
        v.push_back("cursor " + at);
      } else {
        ADD_FAILURE() << "an unexpected draw at " << at;
      }
    }
    return v;
  }

  static std::vector<std::string> Music() {
    std::vector<std::string> v;
    for (const FakeAudioCall& a : Fake().audio)
      if (a.call.find("Music") != std::string::npos || a.call.find("worldend") != std::string::npos)
        v.push_back(a.call);
    return v;
  }

  static std::vector<std::string> Calls(const char* name) {
    return FakeCallsNamed({name});
  }
};

std::string L(int32_t line, const char* text) {
  return "200," + std::to_string(18 + 50 * line) + "," + text;
}
std::string At(int32_t x, int32_t y, const char* text) {
  return std::to_string(x) + "," + std::to_string(y) + "," + text;
}
std::string Cur(int32_t y) { return "cursor 140," + std::to_string(y); }

TEST_F(Menus, EveryScreen) {
  struct Case {
    const char* name;
    int32_t state, cursor, musicOn, effectsOn;
    int32_t lives[4], wins[4];
    std::vector<std::string> lines;
    int32_t stateAfter;
  } cases[] = {
      {"title", 0, 2, 1, 1, {}, {},
       {L(0, "どのモードで遊びますか？"), L(1, "ノーマルモード"), L(2, "バトルモード"),
        L(3, "オプション"), Cur(168)}, 0},
      {"options on", -1, 1, 1, 1, {}, {},
       {L(0, "オプションモード"), L(1, "戻る"), L(2, "音楽　ON"), L(3, "効果音　ON"),
        L(4, "設定を保存する"), Cur(118)}, -1},
      {"options off", -1, 3, 0, 0, {}, {},
       {L(0, "オプションモード"), L(1, "戻る"), L(2, "音楽　OFF"), L(3, "効果音　OFF"),
        L(4, "設定を保存する"), Cur(218)}, -1},
      {"stage select", 1, 3, 1, 1, {}, {},
       {L(0, "ノーマルモード"), L(1, "左右のキーでステージを選べます 最大 2 まで"),
        L(2, "ステージ 1　Zかパッド１ボタンで詳細情報"), L(3, "１人でプレイ"),
        L(4, "２人でプレイ"), L(5, "戻る"), Cur(268)}, 1},
      {"between stages", 2, 0, 1, 1, {}, {},
       {L(0, "ノーマルモード"), L(1, "左右のキーでステージを選べます 最大 2 まで"),
        L(2, "ステージ 1　Zかパッド１ボタンで詳細情報"), L(3, "スタート"), L(4, "戻る"),
        Cur(118)}, 2},
      {"game over", 3, 1, 1, 1, {}, {},
       {L(0, "ノーマルモード"), L(1, "ゲームオーバー"), L(2, "ゲームを続ける"),
        L(3, "ゲームを終わる"), Cur(168)}, 3},
      {"game clear", 4, 0, 1, 1, {}, {},
       {L(0, "ゲームクリアー"), L(1, "このゲームはこれで終わりです"),
        L(2, "遊んでくれてありがとう"), L(3, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る"),
        Cur(68)}, 4},
      {"battle select", 1001, 4, 1, 1, {}, {},
       {L(0, "バトルモード"), L(1, "左右のキーでステージを選べます 最大 1 まで"),
        L(2, "ステージ 1　Zかパッド１ボタンで詳細情報"), L(3, "２人でプレイ"),
        L(4, "３人でプレイ"), L(5, "４人でプレイ"), L(6, "戻る"), Cur(318)}, 1001},
      {"a draw", 1002, 0, 1, 1, {0, 0, 0, 0}, {1, 0, 1, 0},
       {L(0, "バトルモード"), L(1, "引き分け"), At(100, 118, "１P勝ち数 1"),
        At(100, 168, "２P勝ち数 0"), At(300, 118, "３P勝ち数 1"), At(300, 168, "４P勝ち数 0"),
        Cur(68)}, 1002},
      {"a winner", 1002, 0, 1, 1, {0, 0, 1, 0}, {1, 0, 1, 0},
       {L(0, "バトルモード"), L(1, "勝者 ３P"), At(100, 118, "１P勝ち数 1"),
        At(100, 168, "２P勝ち数 0"), At(300, 118, "３P勝ち数 1"), At(300, 168, "４P勝ち数 0"),
        Cur(68)}, 1002},
      {"a second win", 1002, 0, 1, 1, {0, 1, 0, 0}, {1, 2, 0, 0},
       {L(0, "バトルモード"), L(1, "勝者 ２P"), At(100, 118, "１P勝ち数 1"),
        At(100, 168, "２P勝ち数 2"), At(300, 118, "３P勝ち数 0"), At(300, 168, "４P勝ち数 0"),
        Cur(68)}, 1004},
      {"victory", 1004, 0, 1, 1, {0, 1, 0, 0}, {1, 2, 0, 0},
       {L(0, "VICTORY"), At(100, 68, "１P勝ち数 1"), At(100, 118, "２P勝ち数 2"),
        At(300, 68, "３P勝ち数 0"), At(300, 118, "４P勝ち数 0"), L(3, "勝利者が決定しました"),
        L(4, "勝者 ２P"), L(5, "遊んでくれてありがとう"),
        L(6, "Ｚ（パッドの１ボタン）を押すとタイトルに戻る"), Cur(268)}, 1004},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_Game->menuState = c.state;
    g_Game->cursor = c.cursor;
    g_Game->musicOn = c.musicOn;
    g_Game->effectsOn = c.effectsOn;
    g_Game->reach = 2;
    g_Game->stage = 1;
    g_Game->battlePlayers = 3;
    for (int32_t n = 1; n <= kPlayerCount; n++) {
      g_Players[n]->lives = c.lives[n - 1];
      g_Players[n]->score = c.wins[n - 1];
      g_Players[n]->active = 0;
    }
    Fake().current.draws.clear();
    DrawMenu();
    EXPECT_EQ(Lines(Fake().current.draws), c.lines);
    EXPECT_EQ(g_Game->menuState, c.stateAfter);
    if (c.state == 1002) {  // the players of the battle are back in for the next round
      for (int32_t n = 1; n <= kPlayerCount; n++) EXPECT_EQ(g_Players[n]->active, n <= 3) << n;
    }
  }
}

TEST_F(Menus, TheCursor) {
  // A direction held from play acts only once released and pressed again.
  Hold(1, kDown);
  ASSERT_EQ(MenuPass(), 1);
  ASSERT_EQ(MenuPass(), 1);
  EXPECT_EQ(g_Game->cursor, 0);
  Hold(1, 0);
  ASSERT_EQ(MenuPass(), 1);
  ASSERT_EQ(Press(kDown), 1);
  EXPECT_EQ(g_Game->cursor, 1);
  // Down on the last line and up on the first stay put.
  Press(kDown);
  Press(kDown);
  EXPECT_EQ(g_Game->cursor, 2);
  for (int32_t i = 0; i < 4; i++) Press(kUp);
  EXPECT_EQ(g_Game->cursor, 0);
  // A cursor left past the screen's last line is brought back to it.
  g_Game->cursor = 7;
  Press(kDown);
  EXPECT_EQ(g_Game->cursor, 2);
  g_Game->cursor = 7;
  Press(kUp);
  EXPECT_EQ(g_Game->cursor, 2);
}

TEST_F(Menus, TheStageLine) {
  struct Case {
    const char* name;
    int32_t state, cursor, reach, stage;
    int32_t pads[4];
    int32_t stageAfter;
  } cases[] = {
      {"right up to reach", 1, 0, 2, 1, {kRight}, 2},
      {"not past reach", 2, 0, 2, 2, {kRight}, 2},
      {"left down to 1", 1, 0, 3, 2, {kLeft}, 1},
      {"not below 1", 2, 0, 3, 1, {kLeft}, 1},
      {"battle stays at 1", 1001, 0, 3, 1, {kRight}, 1},
      {"the round result too", 1002, 0, 3, 1, {kRight}, 1},
      {"only on the stage line", 1, 1, 3, 1, {kRight}, 1},
      {"not on the title", 0, 0, 3, 1, {kRight}, 1},
      {"every player's held bits count", 1, 0, 3, 1, {kRight, kRight, 0, kRight}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_Game->menuState = c.state;
    g_Game->cursor = c.cursor;
    g_Game->reach = c.reach;
    g_Game->stage = c.stage;
    for (int32_t n = 1; n <= kPlayerCount; n++) g_Players[n]->padBits = c.pads[n - 1];
    ChangeStageNumber();
    EXPECT_EQ(g_Game->stage, c.stageAfter);
  }
}

TEST_F(Menus, StageThreeOnTheStageLineClearsTheGame) {
  for (int32_t line = 1; line <= 3; line++) {
    g_Game->menuState = 1;
    g_Game->stage = 3;
    g_Game->cursor = line;
    SelectMenuItem();
    EXPECT_EQ(g_Game->menuState, 4) << line;
    EXPECT_EQ(g_Game->cursor, 0);
    EXPECT_EQ(g_Game->playersInRound, 0);
  }
  EXPECT_TRUE(Calls("AskYesNo").empty());
}

TEST_F(Menus, TheResetQuestion) {
  const std::string question =
      "AskYesNo(タイトル画面に戻りますか？到達度とハイスコア以外のデータは全てリセットされます。,"
      "リセットの確認)";
  Fake().input.script.askYesNo = {0, 1};
  g_Game->mode = 1;
  g_Game->menuState = 2;
  g_Game->cursor = 1;
  g_Game->stage = 2;
  g_Game->reach = 2;
  g_Game->hiScore = 700;
  g_Players[1]->score = 300;
  g_Players[1]->fireRange = 5;
  // No: nothing changes.
  Press(kButton2);
  EXPECT_EQ(Calls("AskYesNo"), std::vector<std::string>{question});
  EXPECT_EQ(g_Game->menuState, 2);
  EXPECT_EQ(g_Game->cursor, 1);
  EXPECT_EQ(g_Game->stage, 2);
  EXPECT_EQ(g_Players[1]->score, 300);
  // Yes: the title, progress reset, the hi score and reach kept.
  Press(kButton2);
  EXPECT_EQ(Calls("AskYesNo").size(), 2u);
  EXPECT_EQ(g_Game->menuState, 0);
  EXPECT_EQ(g_Game->mode, 0);
  EXPECT_EQ(g_Game->cursor, 0);
  EXPECT_EQ(g_Game->stage, 1);
  EXPECT_EQ(g_Players[1]->score, 0);
  EXPECT_EQ(g_Players[1]->fireRange, 2);
  EXPECT_EQ(g_Game->hiScore, 700);
  EXPECT_EQ(g_Game->reach, 2);
}

TEST_F(Menus, PlayersActInPlayerOrderWithinAPass) {
  // Player 1 moves the cursor to battle mode, then player 2's button picks it.
  Hold(1, kDown);
  Hold(2, kButton1);
  for (int32_t n = 1; n <= 2; n++) g_Players[n]->upLatch = g_Players[n]->downLatch = 0;
  MenuPass();
  EXPECT_EQ(g_Game->menuState, 1001);
  EXPECT_EQ(g_Game->mode, 3);
}

TEST_F(Menus, BetweenStagesOnlyPlayersWithLivesGoBackIn) {
  struct Case {
    int32_t lives1, lives2;
    int32_t inRound;
  } cases[] = {{1, 1, 2}, {1, 0, 1}, {0, 2, 1}};
  for (const Case& c : cases) {
    g_Game->menuState = 2;
    g_Game->cursor = 1;
    g_Game->stage = 2;
    g_Game->playersInRound = 0;
    g_Players[1]->lives = c.lives1;
    g_Players[2]->lives = c.lives2;
    g_Players[1]->active = g_Players[2]->active = 0;
    SelectMenuItem();
    EXPECT_EQ(g_Game->playersInRound, c.inRound);
    EXPECT_EQ(g_Players[1]->active, c.lives1 > 0 ? 1 : 0);
    EXPECT_EQ(g_Players[2]->active, c.lives2 > 0 ? 1 : 0);
  }
}

TEST_F(Menus, TheMusic) {
  // The title music, only while none plays; it goes on into the stage select.
  MenuPass();
  MenuPass();
  EXPECT_EQ(Music(), std::vector<std::string>{"PlayMusicFile(dancers7.mid,3)"});
  Press(kButton1);
  EXPECT_EQ(g_Game->menuState, 1);
  EXPECT_EQ(Music().size(), 1u);
  // Back to the title, then to the options: stopped, and the options music.
  Fake().input.script.askYesNo = {1};
  Press(kButton2);
  Fake().audio.clear();
  g_Game->cursor = 2;
  Press(kButton1);
  EXPECT_EQ(Music(), (std::vector<std::string>{"StopMusicFile()", "PlayMusicFile(sunrise.mid,3)"}));
  // The way back stops it; the title starts its own.
  Fake().audio.clear();
  Press(kButton1);
  EXPECT_EQ(Music(), (std::vector<std::string>{"StopMusicFile()", "PlayMusicFile(dancers7.mid,3)"}));
  // Battle stops it.
  Fake().audio.clear();
  g_Game->cursor = 1;
  Press(kButton1);
  EXPECT_EQ(g_Game->menuState, 1001);
  EXPECT_EQ(Music(), std::vector<std::string>{"StopMusicFile()"});
  // The screens after a round are silent, and music off plays nothing.
  for (int32_t state : {2, 3, 4, 1002, 1004}) {
    Fake().audio.clear();
    Fake().musicPlaying = 0;
    g_Game->menuState = state;
    g_Game->battlePlayers = 2;
    MenuPass();
    EXPECT_TRUE(Music().empty()) << state;
  }
  g_Game->musicOn = 0;
  g_Game->menuState = 0;
  MenuPass();
  g_Game->menuState = -1;
  MenuPass();
  EXPECT_TRUE(Music().empty());
}

// A song that would not play is not asked for again on every pass (each attempt reads the
// file and logs); the other song still plays.
TEST_F(Menus, AMenuSongThatFailedIsNotAskedForAgain) {
  Fake().failingLoads = {kTitleMusicFile};
  for (int i = 0; i < 5; i++) MenuPass();
  EXPECT_EQ(Music(), std::vector<std::string>{"PlayMusicFile(dancers7.mid,3)"});
  Fake().audio.clear();
  g_Game->menuState = -1;
  for (int i = 0; i < 5; i++) MenuPass();
  g_Game->menuState = 0;
  Fake().musicPlaying = 0;
  for (int i = 0; i < 5; i++) MenuPass();
  EXPECT_EQ(Music(), std::vector<std::string>{"PlayMusicFile(sunrise.mid,3)"});
}

// A save that fails (here the temporary file's name is taken by a folder) says so on the
// same screen, keeps the old file, and tells the log and the user why.
TEST_F(Menus, ASaveThatFailsShowsIt) {
  { std::ofstream("HiScore.dat", std::ios::binary) << std::string(16, '\0'); }
  std::filesystem::create_directory("HiScore.dat.tmp");
  g_Game->menuState = -1;
  g_Game->cursor = 3;
  Fake().frames.clear();
  ClearFakeCalls();
  Press(kButton1);
  ASSERT_GE(Fake().frames.size(), 1u);
  EXPECT_EQ(Lines(Fake().frames[0].draws),
            (std::vector<std::string>{L(2, "音楽　ON"), L(3, "効果音　ON"), L(0, "設定を保存できませんでした"),
                                      L(4, "何かボタンを押すとオプション画面に戻ります"), Cur(218)}));
  EXPECT_EQ(FakeCallsNamed({"WriteLog", "TellUser"}),
            (std::vector<std::string>{
                "WriteLog(HiScore.dat の保存に失敗しました（Is a directory）\n)",
                "TellUser(Saving HiScore.dat failed (Is a directory): the hi score and options are not kept.\n)"}));
  std::ifstream kept("HiScore.dat", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), std::string(16, '\0'));
}

TEST_F(Menus, TheSaveScreenAndMusicOffAfterwards) {
  g_Game->menuState = -1;
  g_Game->effectsOn = 1;
  g_Game->hiScore = 120;
  g_Game->cursor = 1;
  Press(kButton1);  // music off
  EXPECT_EQ(g_Game->musicOn, 0);
  g_Game->cursor = 3;
  Fake().frames.clear();
  ClearFakeCalls();
  Press(kButton1);  // save
  const std::vector<std::string> saved = {L(2, "音楽　OFF"), L(3, "効果音　ON"),
                                          L(0, "設定を保存しました"),
                                          L(4, "何かボタンを押すとオプション画面に戻ります"),
                                          Cur(218)};
  std::vector<std::string> calls = FakeCallsNamed({"ClearDrawTarget", "PresentScreen", "WaitAnyInput"});
  // The options pass clears; the save screen clears, presents and waits; then the options.
  ASSERT_GE(calls.size(), 5u);
  EXPECT_EQ(calls[1], "ClearDrawTarget()");
  EXPECT_EQ(calls[2], "PresentScreen()");
  EXPECT_EQ(calls[3], "WaitAnyInput()");
  ASSERT_GE(Fake().frames.size(), 1u);
  EXPECT_EQ(Lines(Fake().frames[0].draws), saved);
  EXPECT_EQ(g_Game->menuState, -1);

  // A fresh game state reads music off.
  FreeGameState();
  CreateGameState();
  EXPECT_EQ(g_Game->musicOn, 0);
  EXPECT_EQ(g_Game->effectsOn, 1);
  EXPECT_EQ(g_Game->hiScore, 120);
}

TEST_F(Menus, TheStageDataOfStageOne) {
  g_Game->menuState = 1;
  g_Game->stage = 1;
  Fake().frames.clear();
  SelectMenuItem();
  ASSERT_EQ(Fake().frames.size(), 1u);
  std::vector<std::string> got;
  for (const FakeDraw& d : Fake().frames[0].draws) {
    const std::string at = std::to_string(d.x1) + "," + std::to_string(d.y1);
    if (d.kind == FakeDraw::kBox)
      got.push_back("box " + at + "-" + std::to_string(d.x2) + "," + std::to_string(d.y2) +
                    " " + std::to_string(d.color) + " " + std::to_string(d.fill));
    else if (d.kind == FakeDraw::kGraph)
      got.push_back(d.sheetFile + " " + std::to_string(d.cell) + " " + at);
    else if (d.kind == FakeDraw::kText)
      got.push_back(at + "," + d.text);
  }
  std::vector<std::string> want = {
      "box 0,118-640,150 " + std::to_string(g_Api->PackScreenColor(200, 240, 200)) + " 1",
      L(0, "ステージ 1 のデータ"), L(1, "登場する敵キャラ")};
  for (int32_t x : {10, 50, 90, 130}) want.push_back("u_Enemy.png 0 " + std::to_string(x) + ",118");
  const int32_t items[] = {4, 4, 4, 4, 5, 5, 5, 5, 11};
  for (int32_t line : {3, 5}) {
    want.push_back(L(line, line == 3 ? "１人プレイ時出現アイテム" : "２人プレイ時出現アイテム"));
    for (int32_t i = 0; i < 9; i++)
      want.push_back("u_Item.png " + std::to_string(items[i]) + " " + std::to_string(10 + 40 * i) +
                     "," + std::to_string(18 + 50 * (line + 1)));
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(Calls("WaitAnyInput").size(), 1u);
  EXPECT_EQ(g_Game->menuState, 1);
}

TEST_F(Menus, LeavingSetsARoundUp) {
  Press(kButton1);  // normal mode
  g_Game->cursor = 1;
  Hold(1, kButton1);
  EXPECT_EQ(MenuPass(), 1);  // one player: the round is chosen
  EXPECT_EQ(MenuPass(), 0);  // and the next pass leaves
  LeaveMenuLoop();
  EXPECT_EQ(g_Game->inPlay.load(), 1);
  EXPECT_EQ(g_Game->menuState, 2);
  EXPECT_EQ(g_Game->textColour, g_Api->PackScreenColor(255, 255, 255));
  EXPECT_EQ(g_Game->stock, 4);
  EXPECT_EQ(g_Players[1]->active, 1);
}

// Escape in the menus still sets a round up on the way out; the frame loop then ends.
TEST_F(Menus, EscapeLeavesThroughTheRoundSetUp) {
  Fake().input.held.keys = {1};
  RunMenuLoop();
  EXPECT_EQ(g_Game->quitRequested, 1);
  EXPECT_EQ(g_Game->inPlay.load(), 1);
  EXPECT_EQ(g_Game->secondsLeft.load(), 200);
  EXPECT_EQ(Objects("Block", 0).size(), 2u * 15 + 2 * 11 + 30);
}

}  // namespace
