#include "engine/engine.h"
#include "engine/system/input.h"
#include "engine_window.h"
#include "platform/input/headless/headlessinput.h"
#include "platform/input/input.h"

#include <string>

namespace {

using Entry = EngineWindow;

TEST_F(Entry, FormattedTextIsCutToItsBufferAtACharacterBoundary) {
  const std::string long2000(2000, 'x');
  // Without graphics there is no default font to draw with.
  EXPECT_EQ(DrawTextFormatted(3, 4, 0xFFFF, "%s", long2000.c_str()), -1);
  EXPECT_EQ(LastDrawnText(), std::string(1023, 'x'));
  EXPECT_EQ(CallCount("DrawTextDefaultFontCore(3,4,65535,0)"), 1);  // no edge colour

  // A double-byte character that would straddle the end is left out whole.
  const std::string straddling = std::string(1022, 'y') + "あ";
  DrawTextFormatted(0, 0, 0, "%s", straddling.c_str());
  EXPECT_EQ(LastDrawnText(), std::string(1022, 'y'));

  DrawTextFormatted(0, 0, 0, "点数 %d", 1200);
  EXPECT_EQ(LastDrawnText(), "点数 1200");
}

// A key press reaches the window (its key state) and the keyboard device alike.
TEST_F(Entry, EscapeReachesIsKeyDown) {
  ASSERT_EQ(PlatInputSelectBackend("headless"), 0);
  PlatHeadlessInputReset();
  auto press = [&](int down) {
    PlatHeadlessKey(window, PLAT_VK_ESCAPE, down);
    PumpMessages();
    PlatClockAdvance(1);
  };
  EXPECT_EQ(IsKeyDown(KEY_ESCAPE), 0);  // this query starts input
  press(1);
  EXPECT_EQ(IsKeyDown(KEY_ESCAPE), 1);
  PlatClockAdvance(1);  // held through reads of two milliseconds: let go, it reads so
  EXPECT_EQ(IsKeyDown(KEY_ESCAPE), 1);
  press(0);
  EXPECT_EQ(IsKeyDown(KEY_ESCAPE), 0);
  ShutdownInput();
}

TEST_F(Entry, TheTickIsTheMillisecondTimer) {
  EXPECT_EQ(GetTickMs(), 1000u);
  PlatClockAdvance(17);
  EXPECT_EQ(GetTickMs(), 1017u);
}

}  // namespace
