#include "engine/state/state.h"
#include "engine/system/placement.h"
#include "engine/system/system.h"
#include "engine_window.h"

namespace {

using SystemState = EngineWindow;

TEST_F(SystemState, CursorIsShownOnlyForOneAndOnlyWhenItsStateChanges) {
  struct Step {
    int32_t visible;
    int shown;        // the cursor on screen afterwards
    int posts;        // WM_SETCURSOR posted
  };
  const Step steps[] = {{1, 1, 1}, {1, 1, 0}, {2, 0, 1}, {0, 0, 0}, {-1, 0, 0}, {1, 1, 1}};
  for (const Step& s : steps) {
    SetMouseCursorVisible(s.visible);
    EXPECT_EQ(g_System.cursorShown, s.visible);
    EXPECT_EQ(PlatIsCursorVisible(), s.shown) << s.visible;
    EXPECT_EQ(g_System.cursorState, s.shown);
    EXPECT_EQ(Drain(PLAT_WM_SETCURSOR), s.posts) << s.visible;
  }
  // Showing twice did not raise the display count twice.
  EXPECT_EQ(PlatShowCursor(0), -1);
}

TEST_F(SystemState, CursorHiddenByTheWindowComesBackWhenShownAgain) {
  PlatHeadlessMouse(window, PLAT_WM_MOUSEMOVE, 1, 1);
  PumpMessagesCore();
  ASSERT_EQ(PlatIsCursorVisible(), 0);
  SetMouseCursorVisible(1);
  PumpMessagesCore();  // the WM_SETCURSOR it posted sets the arrow again
  EXPECT_EQ(PlatIsCursorVisible(), 1);
}

TEST_F(SystemState, MousePositionIsInClientCoordinatesWhenWindowed) {
  g_System.clientRectOnScreen = {100, 50, 740, 530};
  PlatSetCursorPos(110, 45);
  int32_t x = 0, y = 0;
  EXPECT_EQ(GetMousePosition(&x, &y), 0);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(y, -5);
  int32_t onlyY = 0;
  GetMousePosition(nullptr, &onlyY);
  EXPECT_EQ(onlyY, -5);

  PlatSetCursorPos(301, 250);
  g_System.settings.windowScale = 2.0;
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, 100);  // 201 / 2 truncated
  EXPECT_EQ(y, 100);
  g_System.settings.windowScale = 0.0;  // never divided by
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, 201);
  EXPECT_EQ(g_System.settings.windowScale, 1.0);

  g_System.settings.windowed = 0;
  GetMousePosition(&x, &y);
  EXPECT_EQ(x, 301);
  EXPECT_EQ(y, 250);
}

TEST_F(SystemState, WindowScaleIsOneInFullScreenAndRepairedWhenNotPositive) {
  g_System.settings.windowScale = 2.0;
  EXPECT_EQ(GetWindowScale(), 2.0);
  g_System.settings.windowed = 0;
  EXPECT_EQ(GetWindowScale(), 1.0);
  g_System.settings.windowScale = -3.0;
  EXPECT_EQ(GetWindowScale(), 1.0);
  EXPECT_EQ(g_System.settings.windowScale, 1.0);
}

}  // namespace
