// The engine as a program starts it, on the headless back ends and the manual clock: a
// 1024 x 768 desktop of 32 bits, the log captured, every neighbouring call recorded.
#pragma once

#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "fakes.h"
#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"
#include "platform/com/com.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

class EngineStart : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    ASSERT_EQ(PlatAudioSelectBackend("headless"), 0);
    PlatAudioFakeReset();
    PlatClockSetManual(1, 1000);
    PlatHeadlessSetDesktop(1024, 768, 32, 0);
    // A program that has not started the engine yet: full screen, no screen depth asked.
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    savedDrawState = g_DrawState;
    CaptureLog();
  }

  void TearDown() override {
    if (IsEngineInitialised()) EngineEndCore();
    PlatAudioFakeReset();
    // A test may have made the main window without starting the engine.
    if (GetEngineWindowHandle()) DestroyMainWindow();
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    // A test may have started the component runtime without the engine.
    if (g_System.settings.comStarted) PlatComUninitialize();
    g_System.settings.comStarted = 0;
    EXPECT_EQ(PlatComStartCount(), 0);
    PlatClockSetManual(0);
    // The draw target and the settings a run left are no start for the next test.
    g_DrawState = savedDrawState;
  }

  DrawState savedDrawState{};

  // The recorded calls whose name (the part before any argument list) is among names.
  static std::vector<std::string> CallsNamed(const std::set<std::string>& names) {
    std::vector<std::string> out;
    for (const std::string& c : Calls())
      if (names.count(c.substr(0, c.find('(')))) out.push_back(c);
    return out;
  }
};
