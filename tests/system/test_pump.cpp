#include "engine/state/state.h"
#include "engine/system/placement.h"
#include "engine/system/system.h"
#include "engine_window.h"
#include "platform/kernel/osinfo.h"

#include <atomic>
#include <thread>

namespace {

const std::vector<std::string> kPerCall = {
    "RefreshFullScreenState", "RefillAllStreamSounds", "UpdateMusicPlayStates",
    "ServicePadVibration",    "PumpNetworkMessages(1)", "StepAllHttpSlots",
    "UpdateKeyInput"};
const std::vector<std::string> kInactivePass = {"PumpNetworkMessages(1)", "StepAllHttpSlots",
                                                "RefillAllStreamSounds", "DrawAllScreenMovies"};

using Pump = EngineWindow;

struct Thread {
  std::function<void()> body;
  static void Run(void* self) { static_cast<Thread*>(self)->body(); }
  void Join() {
    PlatThread* t = PlatThreadStart(Run, this);
    PlatThreadJoin(t);
  }
};

// Posts an activation to the window from another thread when told to, and says when it
// has: the main thread, held inside the pump, tells it from a service hook, so the number
// of passes does not depend on how the two threads are scheduled.
struct LateActivation {
  PlatWnd window;
  PlatEvent* go = PlatEventCreate(1, 0);
  PlatEvent* posted = PlatEventCreate(1, 0);
  PlatThread* thread = nullptr;
  static void Run(void* self) {
    LateActivation* a = static_cast<LateActivation*>(self);
    PlatEventWait(a->go, PLAT_INFINITE);
    PlatPostMessage(a->window, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE, 0);
    PlatEventSet(a->posted);
  }
  void Start() { thread = PlatThreadStart(Run, this); }
  // Called on the main thread: lets the other thread post and waits until it has.
  void PostNow() {
    PlatEventSet(go);
    PlatEventWait(posted, PLAT_INFINITE);
  }
  void Join() {
    PlatThreadJoin(thread);
    PlatEventDestroy(go);
    PlatEventDestroy(posted);
  }
};

TEST_F(Pump, EmptyQueueWithActiveWindowRunsTheServicesOnce) {
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(Calls(), kPerCall);
  EXPECT_TRUE(SeenMessages().empty());
  EXPECT_EQ(PlatTimeMs(), 1000u);  // an active window costs no sleep
}

TEST_F(Pump, TwelveWaitingMessagesAreAllDispatchedInOneCall) {
  for (uint32_t i = 0; i < 12; i++) PlatPostMessage(window, PLAT_WM_USER + i, i, 0);
  EXPECT_EQ(PumpMessagesCore(), 0);
  std::vector<Seen> seen = SeenMessages();
  ASSERT_EQ(seen.size(), 12u);
  for (uint32_t i = 0; i < 12; i++) EXPECT_EQ(seen[i].message, PLAT_WM_USER + i);
  EXPECT_EQ(Calls(), kPerCall);
}

TEST_F(Pump, AnotherThreadDispatchesOnePassOfFivePerCall) {
  std::vector<size_t> seenAfter;
  uint32_t other = 0;
  Thread t{[&] {
    other = PlatThreadId();
    PlatWnd own = PlatCreateWindow(0, "D123987X", "", 0x80000000, 0, 0, 10, 10);
    for (uint32_t i = 0; i < 12; i++) PlatPostMessage(own, PLAT_WM_USER + i, 0, 0);
    for (int call = 0; call < 3; call++) {
      EXPECT_EQ(PumpMessagesCore(), 0);
      size_t user = 0;
      for (const Seen& m : SeenMessages()) user += m.message >= PLAT_WM_USER;
      seenAfter.push_back(user);
    }
    PlatDestroyWindow(own);
  }};
  t.Join();
  EXPECT_EQ(seenAfter, (std::vector<size_t>{5, 10, 12}));
  // Another thread never re-applies the full-screen state.
  EXPECT_EQ(CallCount("RefreshFullScreenState"), 0);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 3);
}

TEST_F(Pump, QuitMakesEveryLaterCallReturnMinusOne) {
  PlatPostQuitMessage(0);
  EXPECT_EQ(PumpMessagesCore(), -1);
  EXPECT_EQ(IsEndRequested(), 1u);
  EXPECT_EQ(PumpMessagesCore(), -1);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 2);  // the services still run on each call
}

TEST_F(Pump, MessageTakenAfterTheEndIsDropped) {
  PlatPostMessage(window, PLAT_WM_CLOSE, 0, 0);
  PlatPostThreadMessage(PlatThreadId(), PLAT_WM_USER + 1, 0, 0);
  EXPECT_EQ(PumpMessagesCore(), -1);
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(Drain(PLAT_WM_USER + 1), 0);  // taken and dropped
  EXPECT_EQ(Drain(PLAT_WM_QUIT), 1);       // left behind when the loop was left
}

TEST_F(Pump, AnotherThreadSeesNoneOfTheWindowsMessages) {
  for (uint32_t i = 0; i < 3; i++) PlatPostMessage(window, PLAT_WM_USER + i, 0, 0);
  int result = 99;
  Thread t{[&] { result = PumpMessagesCore(); }};
  t.Join();
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(SeenMessages().empty());
  EXPECT_EQ(PumpMessagesCore(), 0);
  std::vector<Seen> seen = SeenMessages();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].thread, PlatThreadId());
}

TEST_F(Pump, InactiveWindowHoldsTheMainThreadUntilAnActivationIsPosted) {
  PlatSendMessage(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, 0);
  ASSERT_EQ(IsWindowActive(), 0u);
  ClearCalls();
  LateActivation a{window};
  int passes = 0;
  Hook("DrawAllScreenMovies", [&] {
    if (++passes == 25) a.PostNow();
  });
  a.Start();
  EXPECT_EQ(PumpMessagesCore(), 0);
  a.Join();
  EXPECT_EQ(IsWindowActive(), 1u);
  std::vector<std::string> calls = Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4), kInactivePass);
  // The pass that saw the activation posted is the last to run the services; each pass
  // sleeps 1 ms at its start and at its end, and the pass that finds the window active
  // has slept at its start.
  EXPECT_EQ(CallCount("DrawAllScreenMovies"), 25);
  EXPECT_EQ(PlatTimeMs(), 1000u + 2 * 25 + 1);
}

TEST_F(Pump, AnotherThreadMakesOnePassWhileTheWindowIsInactive) {
  g_System.windowActive = 0;
  int result = 99;
  Thread t{[&] { result = PumpMessagesCore(); }};
  t.Join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(CallCount("DrawAllScreenMovies"), 1);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 1);
}

TEST_F(Pump, BeforeTheWindowExistsOnlyTheEndFlagIsReported) {
  g_System.mainWindow = 0;
  EXPECT_EQ(PumpMessagesCore(), 0);
  g_System.endRequested = 1;
  EXPECT_EQ(PumpMessagesCore(), -1);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Pump, CallFromInsideTheKeyInputStepReturnsAtOnce) {
  int inner = 99;
  Hook("UpdateKeyInput", [&] { inner = PumpMessagesCore(); });
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(inner, 0);
  EXPECT_EQ(CallCount("RefillAllStreamSounds"), 1);
}

TEST_F(Pump, TwoThreadsNeverRunTheServicesAtOnce) {
  std::atomic<int> inside{0}, overlaps{0};
  Hook("RefillAllStreamSounds", [&] {
    if (++inside > 1) overlaps++;
    for (int i = 0; i < 20; i++) std::this_thread::yield();
    --inside;
  });
  Thread t{[] {
    for (int i = 0; i < 200; i++) PumpMessagesCore();
  }};
  PlatThread* clock = PlatThreadStart(Thread::Run, &t);
  for (int i = 0; i < 200; i++) PumpMessagesCore();
  PlatThreadJoin(clock);
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(CallCount("RefillAllStreamSounds"), 400);
}

TEST_F(Pump, WaitWhileInactiveReturnsAtOnceWhenPaintingActiveOrWithoutWindow) {
  WaitWhileInactive();  // active
  g_System.windowActive = 0;
  g_System.painting = 1;
  WaitWhileInactive();
  g_System.painting = 0;
  g_System.mainWindow = 0;
  WaitWhileInactive();  // no window could ever become active
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Pump, WaitWhileInactivePumpsUntilActiveThenRestoresTheGraphs) {
  PlatSendMessage(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, 0);
  ClearCalls();
  LateActivation a{window};
  int passes = 0;
  Hook("DrawAllScreenMovies", [&] {
    if (++passes == 10) a.PostNow();
  });
  a.Start();
  WaitWhileInactive();
  a.Join();
  EXPECT_EQ(IsWindowActive(), 1u);
  EXPECT_EQ(Calls().back(), "RestoreAllGraphSurfaces");
}

TEST_F(Pump, DestroyMainWindowClosesThroughTheProcedureAndTidiesUp) {
  PlatSetScreenSaverActive(0);
  PlatTimerBeginPeriod(PlatTimerMinPeriod());
  const int periods = PlatTimerPeriodCount();
  EXPECT_EQ(DestroyMainWindow(), 0);
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(GetEngineWindowHandle(), 0u);
  EXPECT_EQ(IsEndRequested(), 1u);
  EXPECT_EQ(IsClosePending(), 1u);
  EXPECT_TRUE(LogHas("ウインドウを閉じようとしています"));
  EXPECT_TRUE(LogHas("ソフトを終了する準備が整いました"));
  EXPECT_EQ(PlatGetScreenSaverActive(), 1);
  EXPECT_EQ(PlatTimerPeriodCount(), periods - 1);
  EXPECT_EQ(CallCount("SetMouseCursorVisible(1)"), 1);
  EXPECT_EQ(CallCount("DeleteAllKeyInputHandles"), 1);
  PlatWndClass wc{0, MainWindowProc, PLAT_CURSOR_ARROW, "D123987X"};
  EXPECT_EQ(PlatRegisterClass(&wc), 1);  // the class was unregistered

  ClearCalls();
  EXPECT_EQ(DestroyMainWindow(), 0);  // nothing left to tear down
  EXPECT_TRUE(Calls().empty());
}

TEST_F(Pump, DestroyMainWindowAfterTheUserClosedItDoesNotWait) {
  PlatHeadlessClose(window);
  EXPECT_EQ(PumpMessagesCore(), -1);
  EXPECT_FALSE(PlatIsWindow(window));
  EXPECT_EQ(DestroyMainWindow(), 0);
  EXPECT_EQ(GetEngineWindowHandle(), 0u);
}

}  // namespace
