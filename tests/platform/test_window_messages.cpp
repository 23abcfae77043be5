#include "window_fixture.h"

#include <atomic>
#include <csignal>

namespace {

using WindowMessages = HeadlessWindow;

TEST_F(WindowMessages, PostedMessagesReachOnlyTheThreadThatOwnsTheWindow) {
  PlatPostMessage(window, PLAT_WM_USER + 1, 11, 0);
  PlatPostMessage(window, PLAT_WM_USER + 2, 22, 0);
  int found = -1;
  TestThread other{[&] {
    PlatMsg m;
    found = PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE) + PlatPeekMessage(&m, window, 0, 0, PLAT_PM_REMOVE);
  }};
  other.RunToEnd();
  EXPECT_EQ(found, 0);
  std::vector<PlatMsg> taken = PumpAll();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, PLAT_WM_USER + 1u);
  EXPECT_EQ(taken[1].wParam, 22u);
  EXPECT_EQ(Received().back().thread, PlatThreadId());
}

TEST_F(WindowMessages, PeekFiltersByWindowThreadAndRange) {
  PlatWnd second = Create(0, 0, 10, 10);
  PlatPostMessage(window, PLAT_WM_USER + 1, 0, 0);
  PlatPostThreadMessage(PlatThreadId(), PLAT_WM_USER + 2, 0, 0);
  PlatPostMessage(second, PLAT_WM_USER + 3, 0, 0);
  PlatPostMessage(window, PLAT_WM_USER + 4, 0, 0);
  PlatMsg m;
  ASSERT_EQ(PlatPeekMessage(&m, PLAT_WND_THREAD, 0, 0, PLAT_PM_NOREMOVE), 1);
  EXPECT_EQ(m.message, PLAT_WM_USER + 2u);
  EXPECT_EQ(m.window, 0u);
  ASSERT_EQ(PlatPeekMessage(&m, second, 0, 0, PLAT_PM_REMOVE), 1);
  EXPECT_EQ(m.message, PLAT_WM_USER + 3u);
  ASSERT_EQ(PlatPeekMessage(&m, 0, PLAT_WM_USER + 4, PLAT_WM_USER + 4, PLAT_PM_REMOVE), 1);
  EXPECT_EQ(m.message, PLAT_WM_USER + 4u);
  // What was not removed is still there, in order.
  std::vector<PlatMsg> rest = PumpAll();
  ASSERT_EQ(rest.size(), 2u);
  EXPECT_EQ(rest[0].message, PLAT_WM_USER + 1u);
  EXPECT_EQ(rest[1].message, PLAT_WM_USER + 2u);
}

TEST_F(WindowMessages, PostedComeBeforeInputThenQuitThenPaintThenTimers) {
  PlatShowWindow(window, PLAT_SW_SHOWNA);  // leaves a paint waiting
  PlatSetTimer(window, 9, 10);
  PlatClockAdvance(10);
  PlatPostQuitMessage(3);
  PlatHeadlessKey(window, 'A', 1);
  PlatPostMessage(window, PLAT_WM_USER, 0, 0);
  std::vector<uint32_t> order;
  PlatMsg m;
  for (int i = 0; i < 5 && PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE); i++) {
    order.push_back(m.message);
    if (m.message == PLAT_WM_QUIT) {
      EXPECT_EQ(m.wParam, 3u);
    }
    if (m.message == PLAT_WM_PAINT) PlatValidateRect(window, nullptr);
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{PLAT_WM_USER, PLAT_WM_KEYDOWN, PLAT_WM_QUIT, PLAT_WM_PAINT,
                                          PLAT_WM_TIMER}));
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
}

TEST_F(WindowMessages, QuitComesOnlyWithoutAWindowFilter) {
  PlatPostQuitMessage(0);
  PlatMsg m;
  EXPECT_EQ(PlatPeekMessage(&m, window, 0, 0, PLAT_PM_REMOVE), 0);
  EXPECT_EQ(PlatPeekMessage(&m, PLAT_WND_THREAD, 0, 0, PLAT_PM_REMOVE), 1);
  EXPECT_EQ(m.message, PLAT_WM_QUIT);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);  // taken once
}

TEST_F(WindowMessages, SendFromAnotherThreadWaitsUntilTheOwnerPeeks) {
  Handler() = [](PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) -> PlatLResult {
    return m == PLAT_WM_USER + 5 ? PlatLResult(wp * 2) : PlatDefWindowProc(w, m, wp, lp);
  };
  EXPECT_EQ(PlatSendMessage(window, PLAT_WM_USER + 5, 4, 0), 8);  // same thread: at once
  std::atomic<PlatLResult> result{-1};
  TestThread sender{[&] { result = PlatSendMessage(window, PLAT_WM_USER + 5, 21, 0); }};
  sender.Start();
  PlatWaitForWaiters(1);
  EXPECT_EQ(result.load(), -1);
  PlatMsg m;
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);  // delivered, not queued
  sender.Join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(Received().back().thread, PlatThreadId());
}

TEST_F(WindowMessages, DestroySendsItsMessagesAtOnceAndDropsWhatWasQueued) {
  PlatSetActiveWindow(window);
  PlatPostMessage(window, PLAT_WM_USER, 0, 0);
  PlatSetTimer(window, 1, 1);
  Clear();
  int fromOther = -1;
  TestThread other{[&] { fromOther = PlatDestroyWindow(window); }};
  other.RunToEnd();
  EXPECT_EQ(fromOther, 0);  // only the owner may destroy
  EXPECT_EQ(PlatDestroyWindow(window), 1);
  EXPECT_EQ(Messages(), (std::vector<uint32_t>{PLAT_WM_ACTIVATE, PLAT_WM_ACTIVATEAPP, PLAT_WM_DESTROY,
                                               PLAT_WM_NCDESTROY}));
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(PlatGetActiveWindow(), 0u);
  PlatClockAdvance(5);
  PlatMsg m;
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
  EXPECT_EQ(PlatPostMessage(window, PLAT_WM_USER, 0, 0), 0);
  EXPECT_EQ(PlatDestroyWindow(window), 0);
  PlatWnd again = Create(100, 100, 200, 150);
  EXPECT_NE(again, window);  // the old handle does not name the new window
}

TEST_F(WindowMessages, DestroyFromTheDestroyMessageIsRefused) {
  int inner = -1;
  Handler() = [&](PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) -> PlatLResult {
    if (m == PLAT_WM_DESTROY) inner = PlatDestroyWindow(w);
    return PlatDefWindowProc(w, m, wp, lp);
  };
  EXPECT_EQ(PlatDestroyWindow(window), 1);
  EXPECT_EQ(inner, 0);
}

TEST_F(WindowMessages, TimersComeWhenDueAndRestartWhenTaken) {
  PlatSetTimer(window, 7, 100);
  PlatMsg m;
  PlatClockAdvance(99);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
  PlatClockAdvance(1);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_NOREMOVE), 1);
  ASSERT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 1);
  EXPECT_EQ(m.message, PLAT_WM_TIMER);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
  PlatClockAdvance(350);  // late timers do not pile up
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 1);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
  PlatClockAdvance(100);
  EXPECT_EQ(PlatKillTimer(window, 7), 1);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
}

TEST_F(WindowMessages, PaintWaitsUntilPaintedAndAnUnhandledPaintIsValidated) {
  PlatMsg m;
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);  // hidden: nothing to paint
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  const PlatRect a{10, 10, 20, 20};
  PlatValidateRect(window, nullptr);
  PlatInvalidateRect(window, &a);
  const PlatRect b{50, 5, 60, 15};
  PlatInvalidateRect(window, &b);
  ASSERT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 1);
  EXPECT_EQ(m.message, PLAT_WM_PAINT);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 1);  // still waiting
  PlatPaint paint;
  Handler() = [&](PlatWnd w, uint32_t msg, PlatWParam, PlatLParam) -> PlatLResult {
    if (msg == PLAT_WM_PAINT) {
      PlatBeginPaint(w, &paint);
      PlatEndPaint(w, &paint);
    }
    return 0;
  };
  PlatDispatchMessage(&m);
  EXPECT_EQ(paint.paintRect.left, 10);
  EXPECT_EQ(paint.paintRect.top, 5);
  EXPECT_EQ(paint.paintRect.right, 60);
  EXPECT_EQ(paint.paintRect.bottom, 20);
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
  Handler() = [](PlatWnd, uint32_t, PlatWParam, PlatLParam) -> PlatLResult { return 0; };
  PlatInvalidateRect(window, nullptr);
  ASSERT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 1);
  PlatDispatchMessage(&m);  // the procedure ignored it
  EXPECT_EQ(PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE), 0);
}

TEST_F(WindowMessages, DefaultProcedureClosesMinimisesAndStartsTheScreenSaver) {
  PlatShowWindow(window, PLAT_SW_SHOWNOACTIVATE);
  PlatDefWindowProc(window, PLAT_WM_SYSCOMMAND, PLAT_SC_MINIMIZE, 0);
  EXPECT_EQ(PlatIsIconic(window), 1);
  const int starts = PlatHeadlessScreenSaverStarts();
  PlatDefWindowProc(window, PLAT_WM_SYSCOMMAND, PLAT_SC_SCREENSAVE, 0);
  PlatSetScreenSaverActive(0);
  PlatDefWindowProc(window, PLAT_WM_SYSCOMMAND, PLAT_SC_SCREENSAVE, 0);
  EXPECT_EQ(PlatHeadlessScreenSaverStarts(), starts + 1);
  PlatSetScreenSaverActive(1);
  // Alt+F4 through the queue: WM_SYSKEYDOWN, then the default closes.
  PlatHeadlessKey(window, PLAT_VK_LMENU, 1);
  PlatHeadlessKey(window, PLAT_VK_F4, 1);
  PumpAll();
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(Messages({PLAT_WM_SYSKEYDOWN, PLAT_WM_SYSCOMMAND, PLAT_WM_CLOSE, PLAT_WM_DESTROY}),
            (std::vector<uint32_t>{PLAT_WM_SYSKEYDOWN, PLAT_WM_SYSKEYDOWN, PLAT_WM_SYSCOMMAND,
                                   PLAT_WM_CLOSE, PLAT_WM_DESTROY}));
}

TEST_F(WindowMessages, CloseBoxArrivesAsCloseCommand) {
  PlatHeadlessClose(window);
  std::vector<PlatMsg> taken = PumpAll();
  ASSERT_FALSE(taken.empty());
  EXPECT_EQ(taken[0].message, PLAT_WM_SYSCOMMAND);
  EXPECT_EQ(taken[0].wParam, PLAT_SC_CLOSE);
  EXPECT_FALSE(PlatIsWindow(window));
}

// Ctrl+C and TERM close the windows as the close box would, on the thread that has them:
// a thread without windows peeking first does not swallow the request.
TEST_F(WindowMessages, StopSignalsCloseTheWindowsOfTheThreadThatHasThem) {
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    PlatWnd w = Create(0, 0, 10, 10);  // a window made catches the signals again
    struct sigaction now{};
    ASSERT_EQ(sigaction(signal, nullptr, &now), 0);
    ASSERT_NE(now.sa_handler, SIG_DFL);  // else raising it would end the test program
    ASSERT_EQ(raise(signal), 0);
    int otherFound = -1;
    TestThread other{[&] {
      PlatMsg m;
      otherFound = PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE);
    }};
    other.RunToEnd();
    EXPECT_EQ(otherFound, 0);
    std::vector<PlatMsg> taken = PumpAll();
    int closes = 0;
    for (const PlatMsg& m : taken)
      if (m.message == PLAT_WM_SYSCOMMAND && m.wParam == PLAT_SC_CLOSE) closes++;
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(PlatIsWindow(w));
    EXPECT_FALSE(PlatIsWindow(window));
    window = Create(100, 100, 200, 150);
  }
}

TEST_F(WindowMessages, ClassesAreNamedWithoutRegardToCase) {
  PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "testwindow"};
  EXPECT_EQ(PlatRegisterClass(&wc), 0);
  EXPECT_EQ(PlatFindWindow("TESTWINDOW", nullptr), window);
  EXPECT_EQ(PlatFindWindow("TestWindow", "other"), 0u);
  EXPECT_EQ(PlatFindWindow("Nothing", nullptr), 0u);
  EXPECT_EQ(PlatUnregisterClass("testWINDOW"), 0);  // it still has a window
  EXPECT_EQ(PlatCreateWindow(0, "Nothing", "", 0, 0, 0, 1, 1), 0u);
}

}  // namespace
