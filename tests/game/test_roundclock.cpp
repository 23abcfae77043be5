// The round clock: the tick, the script wrapper's clock on the main thread, and the real
// clock thread on the engine's table and the manual clock.
#include "gamefixture.h"
#include "platform/kernel/kernel.h"
#include "scriptwrapper.h"

namespace {

using RoundClock = GameTest;

TEST_F(RoundClock, TicksOnlyWhileARoundRunsUnpaused) {
  MakeRecords();
  struct Case {
    int32_t inPlay, paused, secondsLeft;
  } cases[] = {{1, 0, 199}, {1, 1, 200}, {0, 0, 200}, {0, 1, 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "inPlay " << c.inPlay << " paused " << c.paused);
    g_Game->inPlay = c.inPlay;
    g_Game->paused = c.paused;
    g_Game->secondsLeft = 200;
    RoundClockTick();
    EXPECT_EQ(g_Game->secondsLeft.load(), c.secondsLeft);
  }
}

// Three seconds of frames under the script wrapper: the wrapper's clock does the ticking.
TEST_F(RoundClock, TheScriptWrapperTicksEverySecondOfItsClock) {
  struct Case {
    const char* name;
    int32_t inPlay, paused, secondsLeft;
  } cases[] = {
      {"play", 1, 0, 197},
      {"paused", 1, 1, 200},
      {"menus", 0, 0, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeRecords();
    ResetFakeEngine();
    Fake().engineUp = 1;
    g_Api = ScriptWrapper(FakeEngineApi(), {});
    g_Game->inPlay = c.inPlay;
    g_Game->paused = c.paused;
    g_Game->secondsLeft = 200;
    int frames = 0;
    while (FakeClock() < 3000) {
      ASSERT_EQ(StepFrame(), 1);
      frames++;
    }
    EXPECT_EQ(frames, 177);  // 17 ms each
    EXPECT_EQ(g_Game->secondsLeft.load(), c.secondsLeft);
    FreePathWork();
    FreePlayers();
    FreeGameState();
    FreeStageTable();
    FreeObjectPool();
  }
}

class RealClockThread : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    PlatClockSetManual(1, 5000);
    g_Api = EngineGameApi();
    MakeRecords();
    g_Game->inPlay = 1;
    g_Game->secondsLeft = 200;
  }
  void TearDown() override {
    GameTest::TearDown();
    PlatClockSetManual(0);
  }
};

TEST_F(RealClockThread, TicksOnceAWholeSecondHasPassed) {
  StartRoundClock();
  PlatWaitForWaiters(1);
  PlatClockAdvance(999);
  EXPECT_EQ(PlatWaitingThreadCount(), 1);  // still in the same wait
  EXPECT_EQ(g_Game->secondsLeft.load(), 200);
  PlatClockAdvance(1);
  PlatWaitForWaiters(1);  // ticked and waiting again
  EXPECT_EQ(g_Game->secondsLeft.load(), 199);
  g_Game->paused = 1;
  PlatClockAdvance(1000);
  PlatWaitForWaiters(1);
  EXPECT_EQ(g_Game->secondsLeft.load(), 199);
  g_Game->paused = 0;
  PlatClockAdvance(2500);  // one wait runs out however far the clock jumps
  PlatWaitForWaiters(1);
  EXPECT_EQ(g_Game->secondsLeft.load(), 198);
  StopRoundClock();
}

// The stop wakes the thread in its wait: shut-down neither waits out the second nor
// leaves the thread behind.
TEST_F(RealClockThread, StopWakesTheWaitAndJoins) {
  StartRoundClock();
  PlatWaitForWaiters(1);
  const uint32_t before = PlatTimeMs();
  StopRoundClock();
  EXPECT_EQ(PlatTimeMs(), before);
  EXPECT_EQ(PlatWaitingThreadCount(), 0);
  EXPECT_EQ(g_Game->secondsLeft.load(), 200);
  // A new start clears the stop: the clock ticks again.
  StartRoundClock();
  PlatWaitForWaiters(1);
  PlatClockAdvance(1000);
  PlatWaitForWaiters(1);
  EXPECT_EQ(g_Game->secondsLeft.load(), 199);
  StopRoundClock();
  // A stop signalled before the thread has reached its wait is seen there.
  StartRoundClock();
  StopRoundClock();
  EXPECT_EQ(PlatTimeMs(), before + 1000);
}

}  // namespace
