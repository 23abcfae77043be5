// A main window as the window start leaves it, on the headless back end and the manual
// clock: class "D123987X" with MainWindowProc, windowed, hidden, active, this thread the
// main thread; input not started, on the headless devices with nothing held. Tests see
// every message that reaches a procedure.
#pragma once

#include "engine/base/strutil.h"
#include "engine/pixel/screen.h"
#include "engine/state/sysdata.h"
#include "engine/system/charinput.h"
#include "engine/system/input.h"
#include "engine/system/wndproc.h"
#include "fakes.h"
#include "platform/headlessuser.h"
#include "platform/input/headless/headlessinput.h"
#include "platform/input/headless/headlesskeys.h"
#include "platform/input/input.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "support/enginewindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

struct Seen {
  PlatWnd window;
  uint32_t message;
  PlatWParam wParam;
  PlatLParam lParam;
  uint32_t thread;
};

class EngineWindow : public ::testing::Test {
 protected:
  PlatWnd window = 0;

  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    ResetHeadlessUser();
    ASSERT_EQ(PlatInputSelectBackend("headless"), 0);
    PlatHeadlessInputReset();
    PlatClockSetManual(1, 1000);
    CaptureLog();
    PlatSetMessageObserver(Observe, this);
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    g_CharCodeBuffer = CharCodeBuffer{};
    g_ImeState = ImeState{};
    // Not started, and no fallback remembered from an earlier start.
    std::memset(&g_InputState, 0, sizeof g_InputState);
    window = MakeEngineMainWindow();
    ASSERT_NE(window, 0u);
    ClearCalls();
    ClearSeen();
  }

  // Leaves nothing behind for a next test in the same process.
  void TearDown() override {
    ShutdownInput();  // a query may have started it
    EXPECT_EQ(PlatInputLiveObjects(), 0);
    PlatSetMessageObserver(nullptr, nullptr);
    ResetHeadlessUser();
    if (PlatIsWindow(window)) PlatDestroyWindow(window);
    PlatUnregisterClass("D123987X");
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    PlatClockSetManual(0);
  }

  std::vector<Seen> SeenMessages() {
    std::lock_guard<std::mutex> l(mu_);
    return seen_;
  }
  int SeenCount(uint32_t message) {
    int n = 0;
    for (const Seen& s : SeenMessages()) n += s.message == message;
    return n;
  }
  void ClearSeen() {
    std::lock_guard<std::mutex> l(mu_);
    seen_.clear();
  }
  // Removes and counts the queued messages of this thread in the range.
  static int Drain(uint32_t message) {
    PlatMsg m;
    int n = 0;
    while (PlatPeekMessage(&m, 0, message, message, PLAT_PM_REMOVE)) n++;
    return n;
  }

 private:
  static void Observe(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp, void* self) {
    EngineWindow* t = static_cast<EngineWindow*>(self);
    std::lock_guard<std::mutex> l(t->mu_);
    t->seen_.push_back({w, m, wp, lp, PlatThreadId()});
  }
  std::mutex mu_;
  std::vector<Seen> seen_;
};
