// The engine's input on SDL: keys typed into a real SDL engine window (SDL's dummy video
// driver in process; a real X display under Xvfb in a child, typed through XTest when
// xdotool is there), and SDL's virtual pads read and rumbled through the engine.
#include "engine/base/strutil.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/input.h"
#include "engine/system/system.h"
#include "engine/system/wndproc.h"
#include "engine_window.h"
#include "platform/input/sdl/sdlinput.h"
#include "platform/kernel/kernel.h"
#include "platform/window/sdl/sdlwindow.h"

#include "sdl_engine_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

constexpr int32_t kLeft = 0xCB;

// Asks until the key reads as wanted; each try is a fresh millisecond. With a real
// display the key comes from another process, so a few real milliseconds may pass.
bool KeyBecomes(int32_t code, int held, bool waitForDisplay) {
  for (int i = 0; i < 2000; i++) {
    PlatClockAdvance(1);
    if (IsKeyDownCore(code) == held) return true;
    if (waitForDisplay) usleep(1000);
  }
  return false;
}

bool HaveXdotool() { return std::system("command -v xdotool >/dev/null 2>&1") == 0; }

// The engine's window and input on SDL. What a test made is given back at its end, so
// the tests after it find the back ends free to choose again.
class SdlEngineInput : public ::testing::Test {
 protected:
  PlatWnd window = 0;

  void SetUp() override {
    std::memset(&g_InputState, 0, sizeof g_InputState);
    ASSERT_EQ(PlatInputSelectBackend("sdl"), 0);
  }
  void TearDown() override {
    ShutdownInput();
    EXPECT_EQ(PlatInputLiveObjects(), 0);
    CloseSdlEngineWindow(window);
  }

  // Opens the engine's window on SDL and types into it, through SDL's queue and, on a
  // real display, through the display server.
  void TypeIntoTheEngineWindow(bool realDisplay) {
    window = OpenSdlEngineWindow();
    ASSERT_NE(window, 0u);

    EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 0);  // starts input
    ASSERT_TRUE(InputDevicesRunning());

    // A key the device alone reads (an arrow), and one the window's key state stands for.
    ASSERT_EQ(PlatSdlPushKey(window, PLAT_VK_LEFT, 1), 1);
    ASSERT_EQ(PlatSdlPushKey(window, 'A', 1), 1);
    EXPECT_TRUE(KeyBecomes(kLeft, 1, false));
    EXPECT_EQ(IsKeyDownCore(DIK_A), 1);
    EXPECT_EQ(ReadPadStateCore(0x1001), PAD_LEFT | (PAD_BUTTON1 << 3));
    ASSERT_EQ(PlatSdlPushKey(window, PLAT_VK_LEFT, 0), 1);
    ASSERT_EQ(PlatSdlPushKey(window, 'A', 0), 1);
    EXPECT_TRUE(KeyBecomes(kLeft, 0, false));
    EXPECT_EQ(IsKeyDownCore(DIK_A), 0);

    // Pressed and let go between two reads, the frame's last query (Escape) taking them
    // in: the pad read of the next frame still sees both keys, the one after it neither.
    for (uint32_t vk : {uint32_t(PLAT_VK_LEFT), uint32_t('A')}) {
      ASSERT_EQ(PlatSdlPushKey(window, vk, 1), 1);
      ASSERT_EQ(PlatSdlPushKey(window, vk, 0), 1);
    }
    PlatClockAdvance(1);
    EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 0);
    PlatClockAdvance(16);
    EXPECT_EQ(ReadPadStateCore(0x1001), PAD_LEFT | (PAD_BUTTON1 << 3));
    PlatClockAdvance(16);
    EXPECT_EQ(ReadPadStateCore(0x1001), 0);

    if (realDisplay && HaveXdotool()) {
      // Through the display server, as a person's keyboard would.
      const char* focus = "xdotool search --sync --onlyvisible --name '^Kestr$' windowfocus --sync";
      ASSERT_EQ(std::system(focus), 0);
      ASSERT_EQ(std::system("xdotool keydown Left keydown z"), 0);
      EXPECT_TRUE(KeyBecomes(kLeft, 1, true));
      EXPECT_TRUE(KeyBecomes(DIK_Z, 1, true));
      ASSERT_EQ(std::system("xdotool keyup Left keyup z"), 0);
      EXPECT_TRUE(KeyBecomes(kLeft, 0, true));
      EXPECT_TRUE(KeyBecomes(DIK_Z, 0, true));
      std::printf("typed through the display server\n");
    }
  }
};

TEST_F(SdlEngineInput, KeysPushedIntoTheWindowAreSeen) {
  const ScopedEnv driver("SDL_VIDEODRIVER", "dummy");
  TypeIntoTheEngineWindow(false);
}

// The same on a real X display, in a child under Xvfb.
TEST_F(SdlEngineInput, KeysTypedOnARealXDisplayAreSeen) {
  if (InXvfbChild()) {
    TypeIntoTheEngineWindow(true);
    return;
  }
  const XvfbRun run = RunInXvfbChild("SdlEngineInput.KeysTypedOnARealXDisplayAreSeen");
  if (!run.available) GTEST_SKIP() << "no Xvfb";
  if (!run.ran) GTEST_SKIP() << "no X server could start:\n" << run.log;
  EXPECT_EQ(run.status, 0) << run.log;
  EXPECT_NE(run.log.find("[  PASSED  ] 1 test"), std::string::npos) << run.log;
  if (HaveXdotool()) {
    EXPECT_NE(run.log.find("typed through the display server"), std::string::npos) << run.log;
  }
}

// The engine's window stays headless here; the pads are SDL's virtual ones.
class SdlEnginePads : public EngineWindow {
 protected:
  std::vector<int> virtuals;
  void SetUp() override {
    EngineWindow::SetUp();
    ASSERT_EQ(PlatInputSelectBackend("sdl"), 0);
  }
  void TearDown() override {
    ShutdownInput();
    for (auto it = virtuals.rbegin(); it != virtuals.rend(); ++it) PlatSdlDetachVirtualPad(*it);
    EXPECT_EQ(PlatInputLiveObjects(), 0);
    EngineWindow::TearDown();
  }
  int Attach(const char* name, int gameController, int rumble) {
    const int index = PlatSdlAttachVirtualPad({name, gameController, 6, 16, 1, rumble});
    EXPECT_GE(index, 0);
    virtuals.push_back(index);
    return index;
  }
};

TEST_F(SdlEnginePads, AVirtualPadReadsAsPadBits) {
  const int stick = Attach("Stick", 0, 0);
  const int controller = Attach("Controller", 1, 0);
  EXPECT_EQ(ReadPadStateCore(1), 0);  // the start
  ASSERT_EQ(g_InputState.padCount, 2);
  EXPECT_STREQ(g_InputState.pads[0].instanceName, "Stick");
  PlatSdlSetVirtualPadAxis(stick, 0, -32768);
  PlatSdlSetVirtualPadAxis(stick, 1, 6000);  // inside the dead zone
  PlatSdlSetVirtualPadButton(stick, 0, 1);
  PlatSdlSetVirtualPadButton(stick, 9, 1);
  PlatSdlSetVirtualPadAxis(controller, 1, -32768);
  PlatSdlSetVirtualPadButton(controller, 0, 1);  // A
  PlatClockAdvance(1);
  EXPECT_EQ(ReadPadStateCore(1), PAD_LEFT | PAD_BUTTON1 | (PAD_BUTTON1 << 9));
  EXPECT_EQ(ReadPadStateCore(2), PAD_UP | PAD_BUTTON1);
  EXPECT_EQ(GetFirstHeldInputCore(1), -1);
}

TEST_F(SdlEnginePads, VibrationRumblesAVirtualPad) {
  const int index = Attach("Shaker", 0, 1);
  ASSERT_EQ(StartInputDevices(), 0);
  PadRecord& pad = g_InputState.pads[0];
  ASSERT_NE(pad.constantForce, nullptr);
  pad.vibrationOn = 1;
  pad.vibrationPower = 8000;
  pad.vibrationLimit = 100;
  pad.vibrationClock = PlatTimeMs();
  ASSERT_EQ(PumpMessagesCore(), 0);
  uint16_t low = 0, high = 0;
  PlatSdlVirtualPadMotors(index, &low, &high);
  EXPECT_EQ(low, 65535);
  EXPECT_EQ(high, 65535);
  PlatClockAdvance(100);
  ASSERT_EQ(PumpMessagesCore(), 0);
  PlatSdlVirtualPadMotors(index, &low, &high);
  EXPECT_EQ(low + high, 0);
}

}  // namespace
