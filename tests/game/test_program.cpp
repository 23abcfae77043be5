// The whole program on the engine's own table, over the headless back ends and the manual
// clock, with the inputs from a script: the same start, frames and end as the real thing.
#include "gamefixture.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/input/input.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"
#include "scriptwrapper.h"

#include <fstream>
#include <iterator>
#include <string>

namespace {

class Program : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    CopyAssets();
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    ASSERT_EQ(PlatInputSelectBackend("headless"), 0);
    PlatClockSetManual(1, 20000);
    PlatHeadlessSetDesktop(1024, 768, 32, 0);
  }
  void TearDown() override {
    PlatClockSetManual(0);
    GameTest::TearDown();
  }
};

TEST_F(Program, RunsOnTheEngineUntilEscapeAndLeavesNothingBehind) {
  InputScript script;
  script.askYesNo = {0};
  script.passes = {{}, {}, {}, {}, Keys({1})};
  EXPECT_EQ(WinMain(ScriptWrapper(EngineGameApi(), script)), 0);
  EXPECT_EQ(FakeCallsNamed({"RunMenuLoop"}).size(), 4u);  // Escape came in the fourth frame

  std::ifstream in("Log.txt", std::ios::binary);
  const std::string log(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(log.find("Alloc memory dump"), std::string::npos) << log;
  EXPECT_NE(log.find("Total size:0(0.000kb)  Alloc num:0"), std::string::npos) << log;
  EXPECT_EQ(g_Game, nullptr);
}

}  // namespace
