// A headless window of class "TestWindow" whose procedure records every message and
// then does what a test asks (or the default), on the manual clock.
#pragma once

#include "platform/display/headless/headlessdisplay.h"
#include "platform/headlessuser.h"
#include "platform/input/headless/headlesskeys.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

struct Got {
  PlatWnd window;
  uint32_t message;
  PlatWParam wParam;
  PlatLParam lParam;
  uint32_t thread;
};

class HeadlessWindow : public ::testing::Test {
 public:
  // What the procedure does after recording; the default procedure when empty.
  static std::function<PlatLResult(PlatWnd, uint32_t, PlatWParam, PlatLParam)>& Handler() {
    static std::function<PlatLResult(PlatWnd, uint32_t, PlatWParam, PlatLParam)> h;
    return h;
  }
  static std::vector<Got>& Log() {
    static std::vector<Got> log;
    return log;
  }
  static std::mutex& LogMutex() {
    static std::mutex mu;
    return mu;
  }
  static PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) {
    {
      std::lock_guard<std::mutex> l(LogMutex());
      Log().push_back({w, m, wp, lp, PlatThreadId()});
    }
    if (Handler()) return Handler()(w, m, wp, lp);
    return PlatDefWindowProc(w, m, wp, lp);
  }

 protected:
  PlatWnd window = 0;

  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    ResetHeadlessUser();
    PlatClockSetManual(1, 1000);
    // A key an earlier test tapped without reading shows held in this thread's next reads
    // of two milliseconds: they are made here.
    uint8_t keys[256];
    PlatGetKeyboardState(keys);
    PlatClockAdvance(1);
    PlatGetKeyboardState(keys);
    PlatHeadlessSetDesktop(1024, 768, 32, 0);  // a fresh store, whatever a test left
    PlatWndClass wc{PLAT_CS_HREDRAW | PLAT_CS_VREDRAW, Proc, PLAT_CURSOR_ARROW, "TestWindow"};
    ASSERT_EQ(PlatRegisterClass(&wc), 1);
    window = Create(100, 100, 200, 150);
    Clear();
  }

  void TearDown() override {
    Handler() = nullptr;
    ResetHeadlessUser();
    for (PlatWnd w : made_)
      if (PlatIsWindow(w)) PlatDestroyWindow(w);
    PlatUnregisterClass("TestWindow");
    PlatSetActiveWindow(0);
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    PlatHeadlessKeyboardReset();  // keys pressed in the window stay held on the device
    Clear();
    PlatClockSetManual(0);
  }

  // A hidden popup window (no frame) with this rectangle.
  PlatWnd Create(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t style = PLAT_WS_POPUP,
                 uint32_t exStyle = 0) {
    PlatWnd made = PlatCreateWindow(exStyle, "TestWindow", "test", style, x, y, w, h);
    made_.push_back(made);
    return made;
  }

  static void Clear() {
    std::lock_guard<std::mutex> l(LogMutex());
    Log().clear();
  }
  static std::vector<Got> Received() {
    std::lock_guard<std::mutex> l(LogMutex());
    return Log();
  }
  // The messages received, as numbers, leaving out those not in keep (all when empty).
  static std::vector<uint32_t> Messages(std::vector<uint32_t> keep = {}) {
    std::vector<uint32_t> out;
    for (const Got& g : Received()) {
      if (!keep.empty() && std::find(keep.begin(), keep.end(), g.message) == keep.end()) continue;
      out.push_back(g.message);
    }
    return out;
  }
  // Takes every waiting message of this thread, dispatching each.
  static std::vector<PlatMsg> PumpAll(bool translate = true) {
    std::vector<PlatMsg> taken;
    PlatMsg m;
    for (int guard = 0; guard < 1000 && PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE); guard++) {
      taken.push_back(m);
      if (m.message == PLAT_WM_QUIT) continue;
      if (translate) PlatTranslateMessage(&m);
      PlatDispatchMessage(&m);
    }
    return taken;
  }

 private:
  std::vector<PlatWnd> made_;
};

struct TestThread {
  std::function<void()> body;
  PlatThread* thread = nullptr;
  static void Run(void* self) { static_cast<TestThread*>(self)->body(); }
  void Start() { thread = PlatThreadStart(Run, this); }
  void Join() { PlatThreadJoin(thread); }
  void RunToEnd() {
    Start();
    Join();
  }
};
