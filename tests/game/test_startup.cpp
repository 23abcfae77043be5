// WinMain on the fake engine: the question, the engine start, the screen, the loads in
// their tables' order, and a shut-down that joins the clock thread before anything is freed.
#include "gamefixture.h"

#include <string>
#include <vector>

namespace {

using Startup = GameTest;

const std::vector<std::string> kLoads = {
    "LoadSplitGraph(u_Player.png,80,4,20,32,32,0)",
    "LoadSplitGraph(u_Enemy.png,2400,20,120,32,32,0)",
    "LoadSplitGraph(u_Item.png,40,4,10,32,32,0)",
    "LoadSplitGraph(u_Block.png,50,5,10,32,32,0)",
    "LoadSplitGraph(u_Tama.png,40,4,10,32,32,0)",
    "LoadSplitGraph(u_Bomb.png,40,4,10,32,32,0)",
    "LoadSplitGraph(u_yuka.png,40,4,10,32,32,0)",
    "LoadSoundFile(bom09.wav,3,-1)",
    "LoadSoundFile(buble01.wav,3,-1)",
    "LoadSoundFile(fm000.wav,3,-1)",
    "LoadSoundFile(power09.wav,3,-1)",
    "LoadSoundFile(fall00.wav,3,-1)",
    "LoadSoundFile(animal02.wav,3,-1)",
    "LoadSoundFile(beep15.wav,3,-1)",
    "LoadSoundFile(byoro01_a.wav,3,-1)",
    "LoadSoundFile(power10.wav,3,-1)",
    "LoadSoundFile(power37.wav,3,-1)",
    "LoadSoundFile(worldenddominator.ogg,3,-1)",
};

// The whole log of a run whose first pump reports the end.
std::vector<std::string> Expected(bool windowed, bool engineStarts) {
  std::vector<std::string> v = {"AskYesNo(フルスクリーンモードで起動しますか？,スクリーン設定)"};
  if (windowed) v.push_back("ChangeWindowMode(1)");
  v.push_back("EngineInit()");
  if (!engineStarts) return v;
  v.insert(v.end(), {"SetScreenMode(640,480,16,60)", "SignalClockStop(0)", "SetDrawTarget(-2)"});
  v.insert(v.end(), kLoads.begin(), kLoads.end());
  // Shut-down: the clock thread has seen the stop before anything is slept or freed.
  v.insert(v.end(), {"PumpMessages()", "SignalClockStop(1)", "WaitClockStop->1", "Sleep(17)",
                     "FreeAllGraphs(0)", "EngineEnd()"});
  return v;
}

TEST_F(Startup, CallsInOrderFromTheQuestionToTheEnd) {
  struct Case {
    const char* name;
    int32_t answer;  // 1 Yes (full screen), 0 No (a window)
    int32_t initResult;
    std::set<std::string> failing;
    int expectedResult;
  } cases[] = {
      {"full screen", 1, 0, {}, 0},
      {"window", 0, 0, {}, 0},
      {"engine fails", 1, -1, {}, -1},
      {"engine fails in a window", 0, -1, {}, -1},
      {"failed loads", 1, 0, {"u_Player.png", "u_yuka.png", "bom09.wav", "worldenddominator.ogg"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputScript script;
    script.askYesNo = {c.answer};
    ResetFakeEngine(script);
    Fake().engineInitResult = c.initResult;
    Fake().failingLoads = c.failing;
    Fake().endPass = 0;
    EXPECT_EQ(WinMain(FakeEngineApi()), c.expectedResult);
    EXPECT_EQ(FakeCalls(), Expected(c.answer == 0, c.initResult == 0));
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
