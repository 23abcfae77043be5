#include "engine/engine.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/state.h"
#include "engine/system/placement.h"
#include "engine_start.h"
#include "platform/display/headless/headlessdisplay.h"
#include "support/no3ddevice.h"

namespace {

class Placement : public EngineStart {
 protected:
  void TearDown() override {
    EngineStart::TearDown();
    g_D3dServices = found_;
    g_Renderer3DStart = foundStart_;
  }
  // The table as the test found it: the program's recorders stay for the tests after.
  const D3dServices found_ = g_D3dServices;
  int (*const foundStart_)() = g_Renderer3DStart;
};

PlatRect ClientOnScreen(PlatWnd window) {
  PlatRect r{};
  PlatGetClientRect(window, &r);
  PlatPoint origin{0, 0};
  PlatClientToScreen(window, &origin);
  return {origin.x, origin.y, origin.x + r.right, origin.y + r.bottom};
}

void ExpectRect(const PlatRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right, right);
  EXPECT_EQ(r.bottom, bottom);
}

TEST_F(Placement, ChangeWindowModeBeforeTheStartOnlyRecordsTheChoice) {
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"ChangeWindowMode実行 ",
                                                  "ウインドウモードフラグが立てられました"}));
  EXPECT_EQ(IsWindowedMode(), 1u);
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(LogLines().size(), 3u);  // the mode in force: only the first line again
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_TRUE(LogHas("ウインドウモードフラグが倒されました"));
  EXPECT_EQ(IsWindowedMode(), 0u);
}

// The frame rectangle (5 pixels on three sides and 25 on top around the client area)
// is moved by half the free space, truncated: an odd free space leaves the extra pixel
// right and below.
TEST_F(Placement, AWindowedScreenIsCentredWithItsExactClientSize) {
  struct Case {
    int32_t desktopWidth, desktopHeight, clientLeft, clientTop;
  } cases[] = {{1024, 768, 187, 129}, {1023, 767, 186, 128}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.desktopWidth);
    PlatHeadlessSetDesktop(c.desktopWidth, c.desktopHeight, 32, 0);
    ChangeWindowMode(1);
    ASSERT_EQ(EngineInitCore(), 0);
    const PlatWnd window = GetEngineWindowHandle();
    PlatRect frame{};
    PlatGetWindowRect(window, &frame);
    ExpectRect(frame, c.clientLeft - 5, c.clientTop - 25, c.clientLeft + 645, c.clientTop + 485);
    ExpectRect(ClientOnScreen(window), c.clientLeft, c.clientTop, c.clientLeft + 640,
               c.clientTop + 480);
    PlatRect kept{};
    GetClientRectBelowToolbar(&kept);
    ExpectRect(kept, c.clientLeft, c.clientTop, c.clientLeft + 640, c.clientTop + 480);
    EXPECT_EQ(PlatGetWindowLong(window, PLAT_GWL_STYLE), 0x80CA0000u | PLAT_WS_VISIBLE);
    EXPECT_EQ(PlatGetWindowLong(window, PLAT_GWL_EXSTYLE), 0x300u);
    EXPECT_EQ(PlatIsWindowFullScreen(window), 0);
    EXPECT_EQ(PlatIsCursorVisible(), 1);
    EXPECT_EQ(PlatFindWindow("D123987X", "Kestr"), window);
    EngineEndCore();
  }
}

TEST_F(Placement, AClientAreaLargerThanTheDesktopStartsAtTheScreenOrigin) {
  ChangeWindowMode(1);
  g_System.settings.windowScale = 2.0;  // 1280 x 960 on a 1024 x 768 desktop
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  ExpectRect(ClientOnScreen(window), 0, 0, 1280, 960);
  ExpectRect(g_System.clientRectOnScreen, 0, 0, 1280, 960);
}

TEST_F(Placement, AMoveKeepsTheClientRectangleAndTheFrontScreenTarget) {
  ChangeWindowMode(1);
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  ASSERT_EQ(GetDrawTargetHandle(), -4);
  g_DrawState.drawArea = {10, 20, 300, 200};
  const PlatLParam origin = PlatLParam(uint32_t(-5 & 0xFFFF) | (20u << 16));
  PlatSendMessage(window, PLAT_WM_MOVE, 0, origin);
  ExpectRect(g_System.clientRectOnScreen, -5, 20, 635, 500);
  const Rect target = g_DrawState.targetRect;
  EXPECT_EQ(target.left, -5);
  EXPECT_EQ(target.top, 20);
  EXPECT_EQ(target.right, 635);
  EXPECT_EQ(target.bottom, 500);
  EXPECT_EQ(g_DrawState.drawArea.right, 300);  // the draw area is applied again
}

TEST_F(Placement, FullScreenIsAScreenSizedWindowShownOverTheDesktop) {
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  ExpectRect(ClientOnScreen(window), 0, 0, 640, 480);
  EXPECT_EQ(PlatGetWindowLong(window, PLAT_GWL_STYLE) & ~PLAT_WS_VISIBLE, 0x80000000u);
  EXPECT_EQ(PlatIsWindowFullScreen(window), 1);
  EXPECT_EQ(PlatIsCursorVisible(), 0);
  EXPECT_TRUE(LogHas("フルスクリーンモード用のウインドウを作成します"));
  EXPECT_TRUE(LogHas("カーソルを不可視にしました"));

  // Once per pump the hidden cursor is asked for again; a window leaves it alone.
  ClearCalls();
  PumpMessagesCore();
  EXPECT_EQ(CallCount("SetMouseCursorVisible(0)"), 1);
  g_System.settings.windowed = 1;
  ClearCalls();
  PumpMessagesCore();
  EXPECT_EQ(CallCount("SetMouseCursorVisible(0)"), 0);
}

TEST_F(Placement, ApplyingTheStyleSwitchesBetweenTheModes) {
  // The style alone changes here, under the full-screen surfaces: a device made for them
  // would find its viewport outside them once the client area moves (a mode change makes
  // the surfaces and the device again after the style).
  PinNo3DDevice();
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  g_System.settings.windowed = 1;
  EXPECT_EQ(ApplyWindowStyle(), 0);
  EXPECT_TRUE(LogHas("ウインドウスタイルをウインドウモード用に変更します... 完了"));
  EXPECT_EQ(PlatIsWindowFullScreen(window), 0);
  ExpectRect(ClientOnScreen(window), 187, 129, 827, 609);
  PumpMessagesCore();  // the posted WM_SETCURSOR gives the cursor its shape back
  EXPECT_EQ(PlatIsCursorVisible(), 1);
  g_System.settings.windowed = 0;
  EXPECT_EQ(ApplyWindowStyle(), 0);
  EXPECT_TRUE(LogHas("ウインドウスタイルをフルスクリーンモード用に変更します... 完了"));
  EXPECT_EQ(PlatIsWindowFullScreen(window), 1);
  ExpectRect(ClientOnScreen(window), 0, 0, 640, 480);
  ExpectRect(g_System.clientRectOnScreen, 0, 0, 640, 480);
  EXPECT_EQ(PlatIsCursorVisible(), 0);
}

TEST_F(Placement, BringingToTheForegroundPutsTheLockTimeoutBack) {
  ChangeWindowMode(1);
  ASSERT_EQ(EngineInitCore(), 0);
  const PlatWnd window = GetEngineWindowHandle();
  PlatSetActiveWindow(0);
  PlatSetForegroundLockTimeout(12345);
  BringToForeground(window, 0);
  EXPECT_EQ(PlatGetForegroundWindow(), window);
  EXPECT_EQ(PlatGetForegroundLockTimeout(), 12345u);
  EXPECT_EQ(PlatGetWindowLong(window, PLAT_GWL_EXSTYLE) & PLAT_WS_EX_TOPMOST, 0u);
  BringToForeground(window, 1);
  EXPECT_NE(PlatGetWindowLong(window, PLAT_GWL_EXSTYLE) & PLAT_WS_EX_TOPMOST, 0u);
}

}  // namespace
