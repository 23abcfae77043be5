// WinMain on the fake engine: the question, the engine start, the screen, the loads in
// their tables' order, and a shut-down that joins the clock thread before anything is freed.
#include "gamefixture.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Startup = GameTest;

const std::vector<std::pair<std::string, std::string>> kLoads = {
    {"u_Player.png", "LoadSplitGraph(u_Player.png,80,4,20,32,32,0)"},
    {"u_Enemy.png", "LoadSplitGraph(u_Enemy.png,2400,20,120,32,32,0)"},
    {"u_Item.png", "LoadSplitGraph(u_Item.png,40,4,10,32,32,0)"},
    {"u_Block.png", "LoadSplitGraph(u_Block.png,50,5,10,32,32,0)"},
    {"u_Tama.png", "LoadSplitGraph(u_Tama.png,40,4,10,32,32,0)"},
    {"u_Bomb.png", "LoadSplitGraph(u_Bomb.png,40,4,10,32,32,0)"},
    {"u_yuka.png", "LoadSplitGraph(u_yuka.png,40,4,10,32,32,0)"},
    {"bom09.wav", "LoadSoundFile(bom09.wav,3,-1)"},
    {"buble01.wav", "LoadSoundFile(buble01.wav,3,-1)"},
    {"fm000.wav", "LoadSoundFile(fm000.wav,3,-1)"},
    {"power09.wav", "LoadSoundFile(power09.wav,3,-1)"},
    {"fall00.wav", "LoadSoundFile(fall00.wav,3,-1)"},
    {"animal02.wav", "LoadSoundFile(animal02.wav,3,-1)"},
    {"beep15.wav", "LoadSoundFile(beep15.wav,3,-1)"},
    {"byoro01_a.wav", "LoadSoundFile(byoro01_a.wav,3,-1)"},
    {"power10.wav", "LoadSoundFile(power10.wav,3,-1)"},
    {"power37.wav", "LoadSoundFile(power37.wav,3,-1)"},
    {"worldenddominator.ogg", "LoadSoundFile(worldenddominator.ogg,3,-1)"},
};

// The whole log of a run whose first pump reports the end: each file that fails is named
// as it fails, and a start with any missing ends before the first frame. A file that fails
// while the engine is already ending (stopped: Ctrl+C or a closed window during the loads)
// is not named, and the start ends as any stop does.
std::vector<std::string> Expected(bool windowed, bool engineStarts, const std::set<std::string>& failing,
                                  bool stopped) {
  std::vector<std::string> v = {"AskYesNo(フルスクリーンモードで起動しますか？,スクリーン設定)"};
  if (windowed) v.push_back("ChangeWindowMode(1)");
  v.push_back("EngineInit()");
  if (!engineStarts) return v;
  v.insert(v.end(), {"SetScreenMode(640,480,16,60)", "SignalClockStop(0)", "SetDrawTarget(-2)"});
  auto named = [&](const std::string& file) {
    v.push_back("PumpMessages()");
    if (stopped) return;
    v.push_back("WriteLog(ゲームのファイル " + file + " がないか、読み込めません\n)");
    v.push_back("TellUser(The game's file " + file + " is missing or cannot be loaded.\n)");
  };
  for (const auto& [file, call] : kLoads) {
    v.push_back(call);
    if (failing.count(file)) named(file);
  }
  for (const char* song : {kTitleMusicFile, kOptionsMusicFile})
    if (failing.count(song)) named(song);
  v.push_back("PumpMessages()");
  if (!failing.empty() && !stopped) {
    v.push_back("WriteLog(ゲームのファイルが揃っていないので終了します\n)");
    v.push_back(
        "TellUser(The game's files are made by the build: run ./play.sh, which copies them back "
        "into the game's folder (run/).\n)");
  }
  // Shut-down: the clock thread has seen the stop before anything is slept or freed.
  v.insert(v.end(), {"SignalClockStop(1)", "WaitClockStop->1", "Sleep(17)", "FreeAllGraphs(0)",
                     "EngineEnd()"});
  return v;
}

TEST_F(Startup, CallsInOrderFromTheQuestionToTheEnd) {
  struct Case {
    const char* name;
    int32_t answer;  // 1 Yes (full screen), 0 No (a window)
    int32_t initResult;
    std::set<std::string> failing;
    int expectedResult;
    bool stopped = false;  // the engine is ending while the files load
  } cases[] = {
      {"full screen", 1, 0, {}, 0},
      {"window", 0, 0, {}, 0},
      {"engine fails", 1, -1, {}, -1},
      {"engine fails in a window", 0, -1, {}, -1},
      {"failed loads end the program", 1, 0,
       {"u_Player.png", "u_yuka.png", "bom09.wav", "worldenddominator.ogg"}, -1},
      {"one sheet missing", 0, 0, {"u_Block.png"}, -1},
      {"a menu song missing", 1, 0, {kOptionsMusicFile}, -1},
      {"a menu song that is no MIDI file", 1, 0, {kTitleMusicFile}, -1},
      {"a stop during the loads", 1, 0, {"u_Enemy.png", "u_Item.png", kTitleMusicFile}, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputScript script;
    script.askYesNo = {c.answer};
    ResetFakeEngine(script);
    Fake().engineInitResult = c.initResult;
    Fake().failingLoads = c.failing;
    Fake().endPass = c.failing.empty() || c.stopped ? 0 : -1;
    std::filesystem::remove(kOptionsMusicFile);
    std::ofstream(kTitleMusicFile) << (c.failing.count(kTitleMusicFile) ? "RIFF" : "MThd");
    if (!c.failing.count(kOptionsMusicFile)) std::ofstream(kOptionsMusicFile) << "MThd";
    EXPECT_EQ(WinMain(FakeEngineApi()), c.expectedResult);
    EXPECT_EQ(FakeCalls(), Expected(c.answer == 0, c.initResult == 0, c.failing, c.stopped));
    EXPECT_EQ(g_Game, nullptr);
    EXPECT_EQ(g_ObjectPool, nullptr);
    EXPECT_EQ(g_Players[1], nullptr);
  }
}

// A round running when Escape ends the program: the clock thread is waiting in its second
// and still leaves before anything is freed.
TEST_F(Startup, EscapeInARoundEndsTheProgramThroughTheSameShutDown) {
  StandInHook("RunMenuLoop", [] {
    g_Game->inPlay = 1;
    g_Game->secondsLeft = 200;
  });
  InputScript script;
  script.passes = {{}, {}, {}, Keys({1})};  // the menus, a frame of play, Escape
  ResetFakeEngine(script, 5000);
  EXPECT_EQ(WinMain(FakeEngineApi()), 0);
  const std::vector<std::string> calls = FakeCalls();
  const std::vector<std::string> tail(calls.end() - 7, calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"DrawHud()", "IsKeyDown(1)", "SignalClockStop(1)",
                                            "WaitClockStop->1", "Sleep(17)", "FreeAllGraphs(0)",
                                            "EngineEnd()"}));
  EXPECT_EQ(FakeCallsNamed({"DrawHud"}).size(), 2u);
}

}  // namespace
