#include "engine/base/random.h"
#include "engine/base/strutil.h"
#include "engine/state/state.h"
#include "engine_start.h"
#include "platform/display/headless/headlessdisplay.h"

#include <cstdlib>
#include <vector>

namespace {

using WindowStart = EngineStart;

// How the two clocks move while the timer test runs: each read of the counter moves the
// manual clock on by the step first.
struct TimerCase {
  const char* what;
  uint64_t stepNs;
  bool counterStopped;
  const char* counts;
  int perfUsable;
};

TEST_F(WindowStart, TheTimerTestKeepsTheClockThatMovesMoreOften) {
  const TimerCase cases[] = {
      {"the counter moves every pass", 1000, false,
       "精度結果 更新回数 マルチメディアタイマー：0  パフォーマンスカウンター：60", 1},
      {"the counter never moves", 400000000, true,
       "精度結果 更新回数 マルチメディアタイマー：3  パフォーマンスカウンター：0", 0},
      // Neither moves by itself: each idle pass gives a millisecond away, which moves both.
      {"equal counts", 0, false,
       "精度結果 更新回数 マルチメディアタイマー：60  パフォーマンスカウンター：60", 1},
  };
  for (const TimerCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetFakes();
    CaptureLog();
    g_System.settings.windowed = 1;
    const uint64_t step = c.stepNs;
    Hook("PlatPerfCounter", [step] { PlatClockAdvanceNs(step); });
    if (c.counterStopped) Script("PlatPerfCounter", 5);
    ASSERT_EQ(CreateMainWindow(), 0);
    EXPECT_TRUE(LogHas(c.counts));
    EXPECT_EQ(g_System.perfUsable, c.perfUsable);
    EXPECT_EQ(LogHas(" マルチメディアタイマーを使用します タイマー分解能 : 1.00 ms "), c.perfUsable == 0);
    EXPECT_EQ(LogHas(" パフォーマンスカウンターを使用します タイマー分解能 : 1000000.000000 KHz "),
              c.perfUsable == 1);
    DestroyMainWindow();
  }
}

TEST_F(WindowStart, WithoutAPerformanceCounterThereIsNoTimerTest) {
  Script("PlatPerfFrequency", 0);
  ASSERT_EQ(CreateMainWindow(), 0);
  EXPECT_FALSE(LogHas("タイマーの精度を検査します"));
  EXPECT_EQ(g_System.perfUsable, 0);
}

TEST_F(WindowStart, SettingsSurviveAndEverythingElseStartsAfresh) {
  g_System.settings.windowed = 1;
  StrCopy(g_System.settings.className, "OtherClass");
  StrCopy(g_System.settings.windowText, "Other title");
  g_System.settings.comStarted = 1;
  g_System.endRequested = 1;
  g_System.styleApplied = 1;
  ASSERT_EQ(CreateMainWindow(), 0);
  EXPECT_EQ(g_System.settings.windowed, 1);
  EXPECT_EQ(g_System.settings.comStarted, 1);
  EXPECT_EQ(PlatFindWindow("OtherClass", "Other title"), GetEngineWindowHandle());
  EXPECT_EQ(IsEndRequested(), 0u);
  EXPECT_EQ(g_System.styleApplied, 1);  // applied again by this start's placement
  EXPECT_EQ(g_System.windowCreating, 0);
  EXPECT_EQ(g_System.charSet, 1);
  EXPECT_EQ(g_System.mainThreadId, PlatThreadId());
}

TEST_F(WindowStart, TheWindowSettlesForTwoHundredMilliseconds) {
  Script("PlatPerfFrequency", 0);  // no timer test, so the time is all the settling
  uint32_t shown = 0;
  Hook("UpdateWindowPlacement", [&shown] { shown = PlatTimeMs(); });
  const uint32_t start = PlatTimeMs();
  ASSERT_EQ(CreateMainWindow(), 0);
  EXPECT_GE(shown - start, 200u);
  EXPECT_LT(shown - start, 210u);
  EXPECT_GT(CallCount("UpdateKeyInput"), 100);  // the window's messages were pumped all along
}

// KR_SEED, a whole number, fixes where the random numbers start (a test plays the same
// stage every run); anything else leaves them to the clock.
TEST_F(WindowStart, KrSeedFixesTheRandomNumbersOfAStart) {
  auto draws = [] {
    std::vector<int32_t> d;
    for (int i = 0; i < 4; i++) d.push_back(RandomNext());
    return d;
  };
  SeedRandom(1234);
  const std::vector<int32_t> seeded = draws();
  struct Case {
    const char* value;  // null: not set
    bool fixed;
  };
  const Case cases[] = {{"1234", true}, {"1234x", false}, {"", false}, {nullptr, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "unset");
    if (c.value) setenv("KR_SEED", c.value, 1);
    else unsetenv("KR_SEED");
    ASSERT_EQ(CreateMainWindow(), 0);
    EXPECT_EQ(draws() == seeded, c.fixed);
    DestroyMainWindow();
  }
  unsetenv("KR_SEED");
}

TEST_F(WindowStart, TheDesktopIsMeasuredNowUntilTheEngineIsUp) {
  EXPECT_EQ(GetDesktopSizeAndDepth(nullptr, nullptr, nullptr), 0);
  int32_t w = 0, h = 0, d = 0;
  GetDesktopSizeAndDepth(&w, &h, &d);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  EXPECT_EQ(d, 32);
  ASSERT_EQ(EngineInitCore(), 0);
  PlatHeadlessSetDesktop(800, 600, 16, 0);
  GetDesktopSizeAndDepth(&w, &h, &d);
  EXPECT_EQ(w, 1024);  // as the start measured it
  EXPECT_EQ(d, 32);
  EngineEndCore();
  GetDesktopSizeAndDepth(&w, nullptr, &d);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(d, 16);
}

}  // namespace
