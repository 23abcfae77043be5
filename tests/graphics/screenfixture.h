// A window on the headless display and the manual clock, with the screen state, the
// display fakes and the draw state put back after each test, and the log gathered; the
// graphics started by a test are ended, and every surface record still there removed.
#pragma once

#include "engine/base/log.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/sysdata.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/headlessuser.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "support/no3ddevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

inline PlatDisplayMode HeadlessDesktop(int32_t depth) { return PlatDisplayModeOf(1024, 768, depth, 60); }

class HeadlessScreenTest : public ::testing::Test {
 protected:
  static constexpr const char* kClass = "HeadlessScreenTest";
  PlatWnd window = 0;
  std::string log;
  DrawState savedDrawState = g_DrawState;

  static void Sink(const char* text, void* context) { static_cast<HeadlessScreenTest*>(context)->log += text; }
  static PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) {
    return PlatDefWindowProc(w, m, wp, lp);
  }

  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    PlatClockSetManual(1, 1000);
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(HeadlessDesktop(32), 0);
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    // Texture formats a renderer of an earlier test enumerated are not this test's.
    g_Renderer3DState = Renderer3DState{};
    // The 2D cores' pixels; a test that wants the device sets InitializeDirect3D itself.
    PinNo3DDevice();
    savedDrawState = g_DrawState;
    SetLogDebuggerOnly(1);
    PlatSetDebugSink(Sink, this);
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, kClass};
    ASSERT_EQ(PlatRegisterClass(&wc), 1);
    window = PlatCreateWindow(0, kClass, "Kestr", 0x80CA0000, 0, 0, 640, 480);
    ASSERT_NE(window, 0u);
    g_System.mainWindow = window;
    g_System.mainThreadId = PlatThreadId();
    g_System.windowActive = 1;
    g_System.settings.initialising = 1;
    g_System.settings.osCode = 262;
  }

  void TearDown() override {
    if (g_ScreenState.graphicsStarted) EndGraphics();
    RemoveAllSurfaceData();
    ResetHeadlessUser();
    PlatSetDebugSink(nullptr, nullptr);
    SetLogDebuggerOnly(0);
    if (PlatIsWindow(window)) PlatDestroyWindow(window);
    PlatUnregisterClass(kClass);
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    g_DrawState = savedDrawState;
    UnpinNo3DDevice();
    g_ScreenState = ScreenState{};
    g_System = SystemData{};
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(HeadlessDesktop(32), 0);
    PlatClockSetManual(0);
  }

  static void RemoveAllSurfaceData() {
    HandleTable& t = g_SurfaceDataTable.table;
    for (int32_t slot = 0; slot < t.highWater; slot++)
      if (t.slots[slot]) RemoveSurfaceData(HandleTableHandleAt(&t, slot));
  }

  bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }

  static int CallCount(const char* name) {
    const std::vector<std::string> calls = PlatDDrawFakeCalls();
    return int(std::count(calls.begin(), calls.end(), std::string(name)));
  }
};
