// Keyboard and mouse: the lazy start, sampling once per millisecond, the window's key
// state over the device's, the first held input, the mouse buttons, the fallback mode and
// the wait for any input.
#include "input_fixture.h"

#include "engine/state/state.h"
#include "engine/system/system.h"

namespace {

constexpr int32_t kLeft = 0xCB, kSpace = 0x39;

TEST_F(InputTest, TheFirstQueryStartsInputAndReportsZero) {
  Press(PLAT_VK_ESCAPE);
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 0);
  EXPECT_TRUE(InputDevicesRunning());
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 0);  // the start took this millisecond's sample
  PlatClockAdvance(1);
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 1);

  // Ended (as by a screen-mode change): the next query starts again and reports 0.
  ShutdownInput();
  PlatClockAdvance(1);
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 0);
  PlatClockAdvance(1);
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 1);
}

TEST_F(InputTest, NoStartWhileACloseIsPending) {
  g_System.closePending = 1;
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 0);
  EXPECT_EQ(GetFirstHeldInputCore(7), 0);
  EXPECT_EQ(g_InputState.input, nullptr);
}

TEST_F(InputTest, QueriesInOneMillisecondSampleOnce) {
  Start();
  ClearCalls();
  PressOutside(PLAT_VK_LEFT);  // before the sample: the event is not signalled yet
  ClearInputCalls();
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  EXPECT_EQ(InputCallCount("GetDeviceState(2)"), 1);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 1);  // one pump
  PressOutside(PLAT_VK_LEFT, 0);
  PressOutside(PLAT_VK_LEFT);
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);  // the change in this millisecond is signalled
  EXPECT_EQ(InputCallCount("GetDeviceState(2)"), 2);
  // Nothing signalled since: the same state, no sample, no pump.
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  EXPECT_EQ(IsKeyDownCore(kSpace), 0);
  EXPECT_EQ(InputCallCount("GetDeviceState(2)"), 2);
  EXPECT_EQ(CallCount("UpdateKeyInput"), 2);
  PlatClockAdvance(1);
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  EXPECT_EQ(InputCallCount("GetDeviceState(2)"), 3);
}

TEST_F(InputTest, KeyCodesOutsideTheKeyStateAreNotHeld) {
  Start();
  Press(PLAT_VK_ESCAPE);
  for (int32_t code : {DIK_ESCAPE + 256, -255, -1, 0x10001, INT32_MIN}) EXPECT_EQ(IsKeyDownCore(code), 0) << code;
  EXPECT_EQ(IsKeyDownCore(DIK_ESCAPE), 1);
}

// On the window's thread the window's key state stands for the keys it knows; another
// thread sees the device alone.
TEST_F(InputTest, TheWindowsKeyStateOverridesTheDeviceOnItsThread) {
  Start();
  PressOutside('A');            // the device says A, the window has not heard of it
  PressOutside(PLAT_VK_LEFT);  // a key the window's table does not carry
  EXPECT_EQ(IsKeyDownCore(DIK_A), 0);
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  PlatClockAdvance(1);
  static int seen = -1;
  PlatThread* t = PlatThreadStart([](void*) { seen = IsKeyDownCore(DIK_A); }, nullptr);
  PlatThreadJoin(t);
  EXPECT_EQ(seen, 1);
}

TEST_F(InputTest, AFailedKeyboardReadKeepsTheOldState) {
  Start();
  PressOutside(PLAT_VK_LEFT);
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  PlatClockAdvance(1);  // held through reads of two milliseconds: let go, it reads so
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  const uint32_t sampled = g_InputState.keyboardSampleTime;
  PlatClockAdvance(1);
  PressOutside(PLAT_VK_LEFT, 0);
  fail = FailOn("GetDeviceState", PLAT_DIGUID_SYSKEYBOARD);
  ClearInputCalls();
  EXPECT_EQ(IsKeyDownCore(kLeft), 1);
  EXPECT_EQ(g_InputState.keyboardSampleTime, sampled);
  EXPECT_EQ(InputCalls(), (std::vector<std::string>{"GetDeviceState(2)", "Acquire(2)", "GetDeviceState(2)"}));
  fail = nullptr;
  EXPECT_EQ(IsKeyDownCore(kLeft), 0);  // the same millisecond: it tries again
}

struct LoneKeyCase {
  const char* name;
  uint32_t vk;
  int hooked;
  int expected;
};

void PrintTo(const LoneKeyCase& c, std::ostream* os) { *os << c.name; }

class InputLoneKey : public InputTest, public ::testing::WithParamInterface<LoneKeyCase> {};

TEST_P(InputLoneKey, LockKeysAloneCountAsNothing) {
  Start();
  const LoneKeyCase& c = GetParam();
  PressOutside(c.vk);
  // Through the window procedure, as the outside hook would send it.
  PlatSendMessage(window, PLAT_WM_HOOKED_F10, c.hooked ? 1 : 0, 0);
  EXPECT_EQ(g_InputState.hookedF10, c.hooked);
  EXPECT_EQ(GetFirstHeldInputCore(1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, InputLoneKey,
                         ::testing::Values(LoneKeyCase{"Kanji", PLAT_VK_KANJI, 0, 0},
                                           LoneKeyCase{"CapsLock", PLAT_VK_CAPITAL, 0, 0},
                                           LoneKeyCase{"Kana", PLAT_VK_KANA, 0, 0},
                                           LoneKeyCase{"KanjiWithF10Hooked", PLAT_VK_KANJI, 1, DIK_F10},
                                           LoneKeyCase{"KanaWithF10Hooked", PLAT_VK_KANA, 1, DIK_F10},
                                           LoneKeyCase{"LeftWithF10Hooked", PLAT_VK_LEFT, 1, kLeft}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InputTest, TheLowestHeldKeyComesFirst) {
  Start();
  Press('Z');
  Press('A');
  EXPECT_EQ(GetFirstHeldInputCore(1), DIK_A);
  EXPECT_EQ(GetFirstHeldInputCore(4), 0);  // keys are not mouse buttons
}

TEST_F(InputTest, AKeyBeforeAPadAndAPadAsMinusOne) {
  AttachPad();
  AttachPad();
  Start();
  PlatHeadlessInputPadButton(1, 3, 1);
  PressOutside(PLAT_VK_LEFT);
  EXPECT_EQ(GetFirstHeldInputCore(1), kLeft);
  PlatClockAdvance(1);  // held through reads of two milliseconds: let go, it reads so
  EXPECT_EQ(GetFirstHeldInputCore(1), kLeft);
  PressOutside(PLAT_VK_LEFT, 0);
  PlatClockAdvance(1);
  EXPECT_EQ(GetFirstHeldInputCore(1), -1);
  EXPECT_EQ(GetFirstHeldInputCore(2), 0);  // 2 alone reads nothing
  PlatHeadlessInputPadButton(1, 3, 0);
  PlatClockAdvance(1);
  EXPECT_EQ(GetFirstHeldInputCore(7), 0);
}

TEST_F(InputTest, AMouseButtonCountsOnlyOverTheActiveClientArea) {
  Start();
  g_System.clientRectOnScreen = {100, 50, 740, 530};
  PlatHeadlessInputMouseButtons(2);
  EXPECT_EQ(GetMouseButtonState(), 2);
  struct Case {
    int32_t x, y;
    int expected;
  };
  for (const Case& c : {Case{100, 50, -1}, Case{740, 530, -1}, Case{741, 60, 0}, Case{99, 60, 0},
                        Case{200, 531, 0}, Case{200, 49, 0}}) {
    PlatSetCursorPos(c.x, c.y);
    EXPECT_EQ(GetFirstHeldInputCore(4), c.expected) << c.x << "," << c.y;
  }
  PlatSetCursorPos(200, 200);
  // Inactive: the query does not wait while a paint is under way.
  g_System.painting = 1;
  g_System.windowActive = 0;
  EXPECT_EQ(GetFirstHeldInputCore(4), 0);
  g_System.windowActive = 1;
  PlatHeadlessInputMouseButtons(0);
  EXPECT_EQ(GetFirstHeldInputCore(4), 0);
}

TEST_F(InputTest, TheMouseIsAcquiredByItsFirstRead) {
  Start();
  PlatHeadlessInputMouseButtons(0x81);
  ClearInputCalls();
  EXPECT_EQ(GetMouseButtonState(), 0x81);
  EXPECT_EQ(InputCalls(), (std::vector<std::string>{"GetDeviceState(1)", "Acquire(1)", "GetDeviceState(1)"}));
  EXPECT_EQ(GetMouseButtonState(), 0x81);
  EXPECT_EQ(InputCallCount("Acquire(1)"), 1);
  fail = FailOn("GetDeviceState", PLAT_DIGUID_SYSMOUSE);
  EXPECT_EQ(GetMouseButtonState(), 0);
}

TEST_F(InputTest, TheFallbackReadsTheWindowsKeyStateThroughTheTable) {
  NoDevices();
  Start();
  PlatHeadlessKey(window, PLAT_VK_LEFT, 1);
  PlatHeadlessKey(window, PLAT_VK_RETURN, 1);
  PlatHeadlessKey(window, 'Q', 1);
  PlatHeadlessKey(window, PLAT_VK_F12, 1);
  PressOutside(PLAT_VK_LEFT);  // no device is read
  EXPECT_EQ(IsKeyDownCore(kLeft), 0);
  EXPECT_EQ(IsKeyDownCore(DIK_RETURN), 1);
  EXPECT_EQ(IsKeyDownCore(DIK_NUMPADENTER), 1);
  EXPECT_EQ(IsKeyDownCore(0x10), 1);  // Q
  EXPECT_EQ(IsKeyDownCore(0x58), 1);  // F12
  PlatHeadlessMouse(window, PLAT_WM_RBUTTONDOWN, 10, 10, PLAT_MK_RBUTTON);
  Pump();
  EXPECT_EQ(GetMouseButtonState(), 2);
}

TEST_F(InputTest, WaitingForAnyInputFirstWaitsForTheRelease) {
  Start();
  Press(PLAT_VK_ESCAPE);
  int pumps = 0;
  Hook("UpdateKeyInput", [&] {
    ++pumps;
    if (pumps == 5) Press(PLAT_VK_ESCAPE, 0);
    if (pumps == 12) Press(PLAT_VK_SPACE);
    if (pumps == 1000) g_System.endRequested = 1;  // a wait that never ends fails, not hangs
  });
  EXPECT_EQ(WaitAnyInputCore(), kSpace);
  EXPECT_GE(pumps, 12);
}

TEST_F(InputTest, WaitingForAnyInputEndsWithTheProgram) {
  Start();
  int pumps = 0;
  Hook("UpdateKeyInput", [&] {
    if (++pumps == 4) g_System.endRequested = 1;
  });
  EXPECT_EQ(WaitAnyInputCore(), 0);
}

}  // namespace
