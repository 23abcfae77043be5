// Pads: PadBits from a pad's state and from the keys mapped to pad 1, sampling, failed
// reads, the fallback's joystick positions, and the vibration on the manual clock.
#include "input_fixture.h"

#include "engine/state/state.h"
#include "engine/system/system.h"

namespace {

int32_t ReadPad(int32_t n) { return ReadPadStateCore(n); }

TEST_F(InputTest, TheKeyboardStandsForPad1) {
  Press(PLAT_VK_ESCAPE);
  EXPECT_EQ(ReadPad(0x1001), 0);  // the start
  PlatClockAdvance(1);
  PressOutside(PLAT_VK_LEFT);
  Press('Z');
  const int32_t keys = PAD_LEFT | PAD_BUTTON1 | 0x1000;
  EXPECT_EQ(ReadPad(0x1001), keys);
  EXPECT_EQ(ReadPad(1), 0);
  EXPECT_EQ(ReadPad(0x1000), keys);  // pad 0 with the flag: pad 1's keys alone
  // Only pad 1 has keys, and only the rows of pads 1 to 8 exist.
  for (int32_t n : {0x1002, 0x1008, 0x1009, 0x3001, 0x11001, -1, INT32_MIN, INT32_MIN | 0x1001})
    EXPECT_EQ(ReadPad(n), 0) << std::hex << n;
}

TEST_F(InputTest, APadsAxesAndButtonsMakeItsBits) {
  AttachPad();
  Start();
  struct Case {
    int x, y;
    std::vector<int> buttons;
    int32_t expected;
  };
  for (const Case& c : {
           Case{-32768, 0, {}, PAD_LEFT},
           Case{32767, 0, {}, PAD_RIGHT},
           Case{0, -32768, {}, PAD_UP},
           Case{0, 32767, {}, PAD_DOWN},
           Case{8000, -8000, {}, 0},  // inside the dead zone
           Case{9000, 0, {}, PAD_RIGHT},
           Case{0, 0, {0, 23}, PAD_BUTTON1 | (PAD_BUTTON1 << 23)},
           Case{0, 0, {24, 31}, 0},  // buttons 25 and up set no bit
       }) {
    PlatHeadlessInputPadAxis(0, 0, c.x);
    PlatHeadlessInputPadAxis(0, 1, c.y);
    for (int b = 0; b < 32; b++) PlatHeadlessInputPadButton(0, b, 0);
    for (int b : c.buttons) PlatHeadlessInputPadButton(0, b, 1);
    PlatHeadlessInputPadAxis(0, 2, 32767);  // Z, Rz and the hat count for nothing
    PlatHeadlessInputPadAxis(0, 5, -32768);
    PlatHeadlessInputPadHat(0, 0, 1);
    EXPECT_EQ(ReadPad(1), c.expected) << c.x << "," << c.y;
  }
  PlatHeadlessInputPadAxis(0, 0, -32768);
  PlatHeadlessInputPadAxis(0, 1, 32767);
  ReadPad(1);
  EXPECT_EQ(g_InputState.pads[0].state.x, -1000);
  EXPECT_EQ(g_InputState.pads[0].state.y, 1000);
}

TEST_F(InputTest, APadBeyondTheCountReadsNothingButItsKeys) {
  AttachPad();
  AttachPad();
  Start();
  Press('Z');
  PlatHeadlessInputPadButton(0, 0, 1);
  ClearInputCalls();
  EXPECT_EQ(ReadPad(3), 0);
  EXPECT_EQ(ReadPad(0x1003), 0);  // pad 3's row is empty
  EXPECT_EQ(ReadPad(9), 0);
  EXPECT_EQ(InputCallCount("GetDeviceState(" + Pad(0) + ")"), 0);
  EXPECT_EQ(InputCallCount("GetDeviceState(" + Pad(1) + ")"), 0);
  EXPECT_EQ(ReadPad(0x1001), PAD_BUTTON1);
}

TEST_F(InputTest, APadIsSampledOncePerMillisecondUnlessItSignals) {
  AttachPad();
  Start();
  ClearInputCalls();
  EXPECT_EQ(ReadPad(1), 0);
  EXPECT_EQ(ReadPad(1), 0);
  EXPECT_EQ(InputCallCount("GetDeviceState(" + Pad(0) + ")"), 1);
  PlatHeadlessInputPadButton(0, 1, 1);  // signals its event
  EXPECT_EQ(ReadPad(1), PAD_BUTTON1 << 1);
  EXPECT_EQ(InputCallCount("GetDeviceState(" + Pad(0) + ")"), 2);
  EXPECT_EQ(ReadPad(1), PAD_BUTTON1 << 1);
  EXPECT_EQ(InputCallCount("GetDeviceState(" + Pad(0) + ")"), 2);
  EXPECT_EQ(InputCallCount("Poll(" + Pad(0) + ")"), 2);
}

TEST_F(InputTest, AFailedPadReadKeepsTheLastState) {
  AttachPad();
  Start();
  PlatHeadlessInputPadButton(0, 2, 1);
  EXPECT_EQ(ReadPad(1), PAD_BUTTON1 << 2);
  PlatHeadlessInputPadButton(0, 2, 0);
  PlatClockAdvance(1);
  fail = FailOn("GetDeviceState", PLAT_DIGUID_PAD_BASE);
  ClearInputCalls();
  ClearCalls();
  EXPECT_EQ(ReadPad(1), PAD_BUTTON1 << 2);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 2);  // a pump before and after re-acquiring
  EXPECT_EQ(InputCallCount("Acquire(" + Pad(0) + ")"), 1);
  EXPECT_EQ(InputCallCount("GetDeviceState(" + Pad(0) + ")"), 2);

  // A pump that ends the program stops the sample, and the old state still reports.
  PlatClockAdvance(1);
  Hook("UpdateKeyInput", [] { g_System.endRequested = 1; });
  ClearInputCalls();
  EXPECT_EQ(SamplePad(0), -1);
  EXPECT_EQ(InputCallCount("Acquire(" + Pad(0) + ")"), 0);
  EXPECT_EQ(SamplePad(8), -1);
  EXPECT_EQ(SamplePad(-1), -1);
}

class InputFallback : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    NoDevices();
  }
};

TEST_F(InputFallback, TheDirectionKeysNeverFire) {
  Start();
  PlatHeadlessKey(window, PLAT_VK_LEFT, 1);
  PlatHeadlessKey(window, PLAT_VK_NUMPAD0 + 8, 1);
  PlatHeadlessKey(window, 'X', 1);
  PlatHeadlessKey(window, PLAT_VK_SPACE, 1);
  EXPECT_EQ(ReadPad(0x1001), (PAD_BUTTON1 << 1) | 0x2000);
  EXPECT_EQ(g_InputState.padCount, 8);
  ClearInputCalls();
  EXPECT_EQ(ReadPad(5), 0);  // joystick id 4, absent
  EXPECT_EQ(InputCallCount("JoyGetPosEx(4)"), 1);
}

TEST_F(InputFallback, JoystickPositionsMapWithTheirOwnDeadZone) {
  AttachPad();
  Start();
  struct Case {
    int position;
    int32_t expected;
  };
  for (const Case& c : {Case{0, -1000}, Case{1, -999}, Case{0x3000, -500}, Case{24575, 0},
                        Case{24576, 0}, Case{0x7FFF, 0}, Case{40960, 0}, Case{40961, 0},
                        Case{0xC000, 333}, Case{0xFFFE, 999}, Case{0xFFFF, 1000}}) {
    PlatHeadlessInputPadAxis(0, 0, c.position - 32768);
    PlatHeadlessInputPadAxis(0, 1, -32768);
    PlatClockAdvance(1);
    EXPECT_EQ(SamplePad(0), 0);
    EXPECT_EQ(g_InputState.pads[0].state.x, c.expected) << c.position;
    EXPECT_EQ(g_InputState.pads[0].state.y, -1000);
  }
  PlatHeadlessInputPadButton(0, 5, 1);
  PlatHeadlessInputPadButton(0, 24, 1);
  PlatClockAdvance(1);
  EXPECT_EQ(ReadPad(1), PAD_RIGHT | PAD_UP | (PAD_BUTTON1 << 5));
  EXPECT_EQ(ReadPad(1), PAD_RIGHT | PAD_UP | (PAD_BUTTON1 << 5));  // the same millisecond
  // A joystick that stops answering reads as centred and released.
  PlatHeadlessInputDetachPad(0);
  PlatClockAdvance(1);
  EXPECT_EQ(ReadPad(1), 0);
  EXPECT_EQ(g_InputState.pads[0].state.x, 0);
}

class InputVibration : public InputTest {
 protected:
  PadRecord& pad = g_InputState.pads[0];

  void StartAt(uint32_t ms) {
    PlatClockSetManual(1, ms);
    AttachPad();
    AttachPad("Still", 0);
    ASSERT_EQ(StartInputDevices(), 0);
  }
  void Vibrate(int32_t power, int32_t limit) {
    pad.vibrationOn = 1;
    pad.vibrationPower = power;
    pad.vibrationLimit = limit;
    pad.vibrationElapsed = 0;
    pad.vibrationClock = PlatTimeMs();
  }
  // The pad's motors: 1 low (constant force), 2 high (sine).
  int Motors() {
    uint16_t low = 0, high = 0;
    PlatHeadlessInputPadMotors(0, &low, &high);
    return (low ? 1 : 0) | (high ? 2 : 0);
  }
  void Advance(uint32_t ms) {
    PlatClockAdvance(ms);
    ASSERT_EQ(PumpMessagesCore(), 0);
  }
};

TEST_F(InputVibration, RunsStopsWhileInactiveAndEndsAtItsLimitAcrossTheTimerWrap) {
  StartAt(0xFFFFFF00u);
  Vibrate(6000, 500);
  ASSERT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(Motors(), 3);
  EXPECT_EQ(pad.constantForceRunning, 1);
  EXPECT_EQ(pad.sineRunning, 1);

  g_System.windowActive = 0;
  ApplyPadVibration();
  EXPECT_EQ(Motors(), 0);
  EXPECT_EQ(pad.constantForceRunning + pad.sineRunning, 0);
  EXPECT_EQ(pad.vibrationOn, 1);
  g_System.windowActive = 1;
  ApplyPadVibration();
  EXPECT_EQ(Motors(), 3);

  Advance(0xF0);
  EXPECT_EQ(pad.vibrationElapsed, 0xF0);
  Advance(0x20);  // the timer wraps: this pass counts nothing
  EXPECT_LT(PlatTimeMs(), 0x100u);
  EXPECT_EQ(pad.vibrationElapsed, 0xF0);
  EXPECT_EQ(pad.vibrationClock, PlatTimeMs());
  Advance(500 - 0xF0 - 1);
  EXPECT_EQ(pad.vibrationOn, 1);
  EXPECT_EQ(Motors(), 3);
  Advance(1);
  EXPECT_EQ(pad.vibrationOn, 0);
  EXPECT_EQ(pad.vibrationPower, 10000);
  EXPECT_EQ(Motors(), 0);
}

TEST_F(InputVibration, HalfPowerRunsOnlyTheConstantForce) {
  StartAt(5000);
  Vibrate(5000, -1);
  Advance(100000);  // no limit
  EXPECT_EQ(Motors(), 1);
  EXPECT_EQ(pad.vibrationElapsed, 0);
  EXPECT_EQ(EndPadVibration(0x1001), 0);  // the flag is ignored
  EXPECT_EQ(pad.vibrationOn, 0);
  EXPECT_EQ(Motors(), 0);
  // Pads without the constant force, or beyond the count, are left alone.
  g_InputState.pads[1].vibrationOn = 1;
  EndPadVibration(2);
  EXPECT_EQ(g_InputState.pads[1].vibrationOn, 1);
  EXPECT_EQ(EndPadVibration(9), 0);
  EXPECT_EQ(EndPadVibration(0), 0);
}

// The service runs inside the pump: ending a vibration there must not wait for the
// window (which pumps) while the window is inactive and a close is pending.
TEST_F(InputVibration, EndingFromInsideThePumpNeverPumpsAgain) {
  StartAt(1000);
  Vibrate(6000, 10);
  g_System.closePending = 1;
  g_System.windowActive = 0;
  PlatClockAdvance(20);
  ClearCalls();
  PumpMessagesCore();
  EXPECT_EQ(pad.vibrationOn, 0);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 1);
  EXPECT_EQ(Motors(), 0);
}

TEST_F(InputVibration, EndingBeforeTheStartStartsInput) {
  PlatClockSetManual(1, 1000);
  AttachPad();
  EXPECT_EQ(EndPadVibration(1), 0);
  EXPECT_TRUE(InputDevicesRunning());
  EXPECT_EQ(g_InputState.padCount, 1);
}

TEST_F(InputVibration, TheFallbackHasNoVibration) {
  NoDevices();
  StartAt(1000);
  pad.vibrationOn = 1;
  EXPECT_EQ(ServicePadVibration(), 0);
  EXPECT_EQ(ApplyPadVibration(), 0);
  EXPECT_EQ(InputCallCount("Start(" + Pad(0) + ",1)"), 0);
}

}  // namespace
