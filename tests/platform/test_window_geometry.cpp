#include "window_fixture.h"

#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/gdi.h"

namespace {

using WindowGeometry = HeadlessWindow;

constexpr uint32_t kWindowedStyle = 0x80CA0000u;  // popup, caption, system menu, minimise box
constexpr uint32_t kWindowedEx = 0x300u;          // window edge, client edge

bool Same(const PlatRect& a, const PlatRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(WindowGeometry, FrameOfOurOwnAroundTheClientArea) {
  struct Case {
    uint32_t style, exStyle;
    int menu;
    PlatRect window;  // for the client rectangle 0, 0, 640, 480
  };
  const Case cases[] = {
      {kWindowedStyle, kWindowedEx, 0, {-5, -25, 645, 485}},
      {PLAT_WS_POPUP, 0, 0, {0, 0, 640, 480}},
      {PLAT_WS_POPUP, PLAT_WS_EX_TOPMOST, 0, {0, 0, 640, 480}},
      {PLAT_WS_BORDER, 0, 0, {-1, -1, 641, 481}},
      {PLAT_WS_CAPTION | PLAT_WS_THICKFRAME, 0, 1, {-4, -44, 644, 484}},
  };
  for (const Case& c : cases) {
    PlatRect r{0, 0, 640, 480};
    PlatAdjustWindowRectEx(&r, c.style, c.menu, c.exStyle);
    EXPECT_TRUE(Same(r, c.window)) << std::hex << c.style << " " << r.left << "," << r.top << ","
                                   << r.right << "," << r.bottom;
  }
}

TEST_F(WindowGeometry, RectanglesOfAFramedWindow) {
  PlatWnd w = Create(187, 129, 650, 510, kWindowedStyle, kWindowedEx);
  PlatRect r;
  PlatGetWindowRect(w, &r);
  EXPECT_TRUE(Same(r, {187, 129, 837, 639}));
  PlatGetClientRect(w, &r);
  EXPECT_TRUE(Same(r, {0, 0, 640, 480}));
  PlatPoint p{0, 0};
  PlatClientToScreen(w, &p);
  EXPECT_EQ(p.x, 192);
  EXPECT_EQ(p.y, 154);
  PlatScreenToClient(w, &p);
  EXPECT_EQ(p.x, 0);
  EXPECT_EQ(PlatGetWindowLong(w, PLAT_GWL_STYLE), kWindowedStyle);
  EXPECT_EQ(PlatGetWindowLong(w, PLAT_GWL_EXSTYLE), kWindowedEx);
}

TEST_F(WindowGeometry, MoveAndSizeAreReportedOnlyWhenTheyChange) {
  PlatSetWindowPos(window, 0, 100, 100, 200, 150, PLAT_SWP_NOZORDER);
  EXPECT_TRUE(Received().empty());
  PlatSetWindowPos(window, 0, -5, 20, 0, 0, PLAT_SWP_NOSIZE | PLAT_SWP_NOZORDER);
  ASSERT_EQ(Messages(), (std::vector<uint32_t>{PLAT_WM_MOVE}));
  EXPECT_EQ(uint32_t(Received()[0].lParam), 0x0014FFFBu);  // (-5, 20) as two 16-bit words
  Clear();
  PlatMoveWindow(window, -5, 20, 320, 240, 1);
  ASSERT_EQ(Messages(), (std::vector<uint32_t>{PLAT_WM_SIZE}));
  EXPECT_EQ(Received()[0].wParam, PLAT_SIZE_RESTORED);
  EXPECT_EQ(Received()[0].lParam, 320 | (240 << 16));
}

TEST_F(WindowGeometry, PlacingTheWindowFromItsSizeMessageEnds) {
  // A procedure that keeps the client area at 640 x 480 whenever the size changes.
  int sizes = 0;
  Handler() = [&](PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) -> PlatLResult {
    if (m == PLAT_WM_SIZE && ++sizes < 10) {
      PlatRect wr, cr;
      PlatGetWindowRect(w, &wr);
      PlatGetClientRect(w, &cr);
      PlatMoveWindow(w, wr.left, wr.top, wr.right - wr.left - cr.right + 640,
                     wr.bottom - wr.top - cr.bottom + 480, 1);
    }
    return PlatDefWindowProc(w, m, wp, lp);
  };
  PlatMoveWindow(window, 0, 0, 300, 300, 1);
  EXPECT_EQ(sizes, 2);  // the size asked for, then the one the procedure set
  PlatRect r;
  PlatGetClientRect(window, &r);
  EXPECT_EQ(r.right, 640);
  EXPECT_EQ(r.bottom, 480);
}

TEST_F(WindowGeometry, MinimiseDeactivatesAndRestoreActivatesAgain) {
  PlatShowWindow(window, PLAT_SW_SHOW);
  ASSERT_EQ(PlatGetActiveWindow(), window);
  Clear();
  PlatShowWindow(window, PLAT_SW_MINIMIZE);
  std::vector<Got> got = Received();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].message, PLAT_WM_ACTIVATE);
  EXPECT_EQ(got[0].wParam, PLAT_WA_INACTIVE | (1u << 16));  // inactive, minimised
  EXPECT_EQ(got[1].message, PLAT_WM_ACTIVATEAPP);
  EXPECT_EQ(got[1].wParam, 0u);
  EXPECT_EQ(got[2].message, PLAT_WM_SIZE);
  EXPECT_EQ(got[2].wParam, PLAT_SIZE_MINIMIZED);
  EXPECT_EQ(PlatIsIconic(window), 1);
  PlatRect r;
  PlatGetClientRect(window, &r);
  EXPECT_EQ(r.right, 0);
  Clear();
  PlatShowWindow(window, PLAT_SW_RESTORE);
  EXPECT_EQ(Messages({PLAT_WM_SIZE, PLAT_WM_ACTIVATEAPP, PLAT_WM_ACTIVATE}),
            (std::vector<uint32_t>{PLAT_WM_SIZE, PLAT_WM_ACTIVATEAPP, PLAT_WM_ACTIVATE}));
  EXPECT_EQ(Received()[0].lParam, 200 | (150 << 16));
  EXPECT_EQ(PlatGetActiveWindow(), window);
}

TEST_F(WindowGeometry, ActivationMovesBetweenWindowsAndLeavesTheProgram) {
  PlatWnd second = Create(0, 0, 10, 10);
  Clear();
  PlatSetActiveWindow(window);
  PlatSetActiveWindow(second);
  PlatSetActiveWindow(0);
  std::vector<std::pair<PlatWnd, uint32_t>> seen;
  for (const Got& g : Received()) seen.push_back({g.window, g.message});
  using P = std::pair<PlatWnd, uint32_t>;
  EXPECT_EQ(seen, (std::vector<P>{{window, PLAT_WM_ACTIVATEAPP}, {window, PLAT_WM_ACTIVATE},
                                  {window, PLAT_WM_ACTIVATE}, {second, PLAT_WM_ACTIVATE},
                                  {second, PLAT_WM_ACTIVATE}, {second, PLAT_WM_ACTIVATEAPP}}));
}

TEST_F(WindowGeometry, UserActivationFromAnotherThreadIsQueuedForTheOwner) {
  TestThread user{[&] {
    PlatHeadlessActivate(window, 1);
    PlatHeadlessActivate(window, 0);
  }};
  user.RunToEnd();
  EXPECT_TRUE(Received().empty());
  std::vector<PlatMsg> taken = PumpAll();
  std::vector<std::pair<uint32_t, PlatWParam>> seen;
  for (const PlatMsg& m : taken) seen.push_back({m.message, m.wParam});
  using P = std::pair<uint32_t, PlatWParam>;
  EXPECT_EQ(seen, (std::vector<P>{{PLAT_WM_ACTIVATEAPP, 1}, {PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE},
                                  {PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE}, {PLAT_WM_ACTIVATEAPP, 0}}));
}

TEST_F(WindowGeometry, StylesShowHideAndTakeTheirFrameAtTheNextMove) {
  EXPECT_EQ(PlatSetWindowLong(window, PLAT_GWL_STYLE, kWindowedStyle | PLAT_WS_VISIBLE), PLAT_WS_POPUP);
  EXPECT_EQ(PlatIsWindowVisible(window), 1);
  PlatRect r;
  PlatGetClientRect(window, &r);
  EXPECT_EQ(r.right, 200);  // the client area keeps its size until the window moves
  PlatSetWindowLong(window, PLAT_GWL_EXSTYLE, kWindowedEx);
  PlatSetWindowPos(window, PLAT_HWND_TOPMOST, 0, 0, 650, 510, 0);
  PlatGetClientRect(window, &r);
  EXPECT_EQ(r.right, 640);
  EXPECT_EQ(r.bottom, 480);
  EXPECT_NE(PlatGetWindowLong(window, PLAT_GWL_EXSTYLE) & PLAT_WS_EX_TOPMOST, 0u);
  PlatSetWindowLong(window, PLAT_GWL_STYLE, PLAT_WS_POPUP);
  EXPECT_EQ(PlatIsWindowVisible(window), 0);
}

TEST_F(WindowGeometry, FillingTheClientAreaIsKeptForTheTest) {
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  const PlatRect r{-10, 140, 500, 500};  // clipped to the client area
  EXPECT_EQ(PlatFillRect(window, &r, 0x123456), 1);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 0, 149), 0x123456u);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 199, 140), 0x123456u);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 0, 139), 0xFFFFFFFFu);
  EXPECT_EQ(PlatHeadlessClientPixel(window, 200, 140), 0xFFFFFFFFu);
}

}  // namespace
