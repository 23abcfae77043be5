// The frame loop on the fake engine: the order of one frame's work, what a pause leaves
// out, how the loop ends, the 17 ms pacing and the walk of the active list.
#include "gamefixture.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

class FrameLoop : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    MakeRecords();
    Fake().engineUp = 1;
    g_Game->inPlay = 1;
  }
};

// The frame's wait from a clock that has not moved since the frame began: 1 ms sleeps
// until 17 ms have passed.
std::vector<std::string> Wait17() {
  std::vector<std::string> v;
  for (int i = 0; i < 17; i++) v.insert(v.end(), {"GetTickMs()", "Sleep(1)"});
  v.push_back("GetTickMs()");
  return v;
}

void Append(std::vector<std::string>& v, const std::vector<std::string>& more) {
  v.insert(v.end(), more.begin(), more.end());
}

// Marks its record's turn in the log; `sprite` names the record.
void Note(FieldObject* o) { FakeLog("Act(" + std::to_string(o->sprite) + ")"); }

FieldObject* Object(int32_t name, ObjectBehaviour behaviour = Note) {
  FieldObject* o = CreateFieldObject("Item", 0, 0, 1, 1, 0, 1, 0, 80, 0, 0, 0, 0, name);
  o->behaviour = behaviour;
  return o;
}

TEST_F(FrameLoop, OneFrameDoesItsWorkInOrder) {
  struct Case {
    const char* name;
    int32_t randomAnswer;
    int32_t paused;
    std::vector<std::string> buttons;
  } cases[] = {
      {"player 1 first", 0, 0, {"HandlePlayerButtons(1)", "HandlePlayerButtons(2)",
                                "HandlePlayerButtons(3)", "HandlePlayerButtons(4)"}},
      {"player 2 first", 1, 0, {"HandlePlayerButtons(2)", "HandlePlayerButtons(3)",
                                "HandlePlayerButtons(4)", "HandlePlayerButtons(1)"}},
      {"paused", 1, 1, {"HandlePlayerButtons(2)", "HandlePlayerButtons(3)",
                        "HandlePlayerButtons(4)", "HandlePlayerButtons(1)"}},
  };
  Object(7);
  Object(8);
  // Players 2 and 4 are out of the round: only 1 and 3 touch, each on its own cell.
  g_Players[2]->active = g_Players[4]->active = 0;
  g_Players[1]->cellX = 1, g_Players[1]->cellY = 2;
  g_Players[3]->cellX = 13, g_Players[3]->cellY = 11;
  // Touches see the count before the frame's increment, the judgement after it.
  auto noteCount = [] { FakeLog("frameCount=" + std::to_string(g_Game->frameCount)); };
  StandInHook("TouchCellObjects", noteCount);
  StandInHook("JudgeRound", noteCount);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_Game->frameCount = 10;
    g_Game->paused = c.paused;
    g_CurrentPlayer = nullptr;
    ClearFakeCalls();
    Fake().randomValues = {c.randomAnswer};
    const uint32_t start = FakeClock();
    EXPECT_EQ(StepFrame(), 1);

    std::vector<std::string> expected = {
        "GetTickMs()",      "ReadPadState(4097)", "ReadPadState(2)",    "ReadPadState(3)",
        "ReadPadState(4)",  "IsKeyDown(1)",       "HandlePlayerMove(1)", "HandlePlayerMove(2)",
        "HandlePlayerMove(3)", "HandlePlayerMove(4)", "RandomInt(1)"};
    Append(expected, c.buttons);
    if (!c.paused)
      Append(expected, {"Act(7)", "Act(8)", "TouchCellObjects(2,1)", "frameCount=10",
                        "TouchCellObjects(11,13)", "frameCount=10", "JudgeRound()",
                        "frameCount=11"});
    Append(expected, {"DrawHud()", "IsKeyDown(1)"});
    Append(expected, Wait17());
    expected.push_back("PumpMessages()");
    EXPECT_EQ(FakeCalls(), expected);
    EXPECT_EQ(g_Game->frameCount, c.paused ? 10 : 11);
    EXPECT_EQ(g_CurrentPlayer, c.paused ? nullptr : g_Players[4]);
    EXPECT_EQ(FakeClock() - start, 17u);
  }
}

TEST_F(FrameLoop, PadsReachTheirPlayers) {
  InputPass pass;
  pass.pads[1] = 0x11, pass.pads[2] = 0x2, pass.pads[3] = 0x104, pass.pads[4] = 0x8;
  Fake().input.held = pass;
  StepFrame();
  for (int n = 1; n <= 4; n++) EXPECT_EQ(g_Players[n]->padBits, pass.pads[n]) << n;
}

// The menus take over in the frame where the round ends, after its drawing.
TEST_F(FrameLoop, TheMenusRunInTheFrameThatLeavesPlay) {
  StandInHook("JudgeRound", [] { g_Game->inPlay = 0; });
  StepFrame();
  EXPECT_EQ(FakeCallsNamed({"JudgeRound", "DrawHud", "RunMenuLoop"}),
            (std::vector<std::string>{"JudgeRound()", "DrawHud()", "RunMenuLoop()"}));
  ClearFakeCalls();
  StepFrame();
  EXPECT_EQ(FakeCallsNamed({"HandlePlayerMove", "RandomInt", "DrawHud", "RunMenuLoop"}),
            (std::vector<std::string>{"RunMenuLoop()"}));
}

TEST_F(FrameLoop, HowTheLoopEnds) {
  struct Case {
    const char* name;
    std::vector<InputPass> passes;
    int32_t endPass;
    bool menusQuit;
    size_t frames;  // frames drawn
    uint32_t clock;  // where the clock stands at the end
  } cases[] = {
      // Escape in the first frame's pass: the frame is drawn, then no wait.
      {"Escape", {{}, Keys({1})}, -1, false, 1, 0},
      {"Escape in the third frame", {{}, {}, {}, Keys({1})}, -1, false, 3, 34},
      {"the opening pump", {}, 0, false, 0, 0},
      {"the second frame's pump", {}, 2, false, 2, 34},
      {"the menus ask to quit", {}, -1, true, 1, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InputScript script;
    script.passes = c.passes;
    ResetFakeEngine(script);
    Fake().engineUp = 1;
    Fake().endPass = c.endPass;
    SetGameStandIns(true);
    if (c.menusQuit)
      StandInHook("JudgeRound", [] {
        g_Game->inPlay = 0;
        g_Game->quitRequested = 1;
      });
    g_Game->inPlay = 1;
    g_Game->quitRequested = 0;
    RunMainLoop();
    EXPECT_EQ(FakeCallsNamed({"DrawHud"}).size(), c.frames);
    EXPECT_EQ(FakeClock(), c.clock);
  }
}

TEST_F(FrameLoop, AFrameIsPacedTo17Ms) {
  struct Case {
    uint32_t start;
    uint32_t took;
    uint32_t sleeps;
  } cases[] = {
      {1000, 0, 17},
      {1000, 5, 12},
      {1000, 17, 0},
      {1000, 30, 0},
      {0xFFFFFFF8u, 5, 12},   // the frame ends past the wrap
      {0xFFFFFFF0u, 30, 0},
      {0xFFFFFFFFu, 16, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << " + " << c.took);
    ResetFakeEngine({}, c.start);
    Fake().engineUp = 1;
    const uint32_t took = c.took;
    StandInHook("DrawHud", [took] { FakeAdvanceClock(took); });
    EXPECT_EQ(StepFrame(), 1);
    EXPECT_EQ(FakeCallsNamed({"Sleep"}).size(), c.sleeps);
    EXPECT_EQ(FakeClock() - c.start, std::max(took, 17u));
  }
}

// Removal frees the record the walk is on; its successor was taken already.
void NoteAndRemove(FieldObject* o) {
  Note(o);
  ReleaseFieldObject(o, 0);
}

TEST_F(FrameLoop, TheWalkGoesOnPastARecordThatFreesItself) {
  Object(1);
  Object(2, NoteAndRemove);
  Object(3);
  StepFrame();
  StepFrame();
  EXPECT_EQ(FakeCallsNamed({"Act"}),
            (std::vector<std::string>{"Act(1)", "Act(2)", "Act(3)", "Act(1)", "Act(3)"}));
}

// Makes record 9 once.
void NoteAndSpawn(FieldObject* o) {
  Note(o);
  if (o->content == 0) Object(9);
  o->content = 1;
}

TEST_F(FrameLoop, ARecordMadeDuringTheWalkActsWhenTheWalkReachesIt) {
  struct Case {
    const char* name;
    std::vector<ObjectBehaviour> objects;
    std::vector<std::string> acts;  // over two frames
  } cases[] = {
      {"made by the first", {NoteAndSpawn, Note},
       {"Act(0)", "Act(1)", "Act(9)", "Act(0)", "Act(1)", "Act(9)"}},
      // The last record's successor was the sentinel before it made the new one.
      {"made by the last", {Note, NoteAndSpawn},
       {"Act(0)", "Act(1)", "Act(0)", "Act(1)", "Act(9)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearObjects();
    for (size_t i = 0; i < c.objects.size(); i++) Object(int32_t(i), c.objects[i])->content = 0;
    ClearFakeCalls();
    StepFrame();
    StepFrame();
    EXPECT_EQ(FakeCallsNamed({"Act"}), c.acts);
  }
}

}  // namespace
