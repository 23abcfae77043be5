// Input devices, start and end: the interface versions and the fallback, the order of the
// devices, the pads that are skipped, the failures that end the program, the end and the
// re-acquisition.
#include "input_fixture.h"

#include "engine/base/log.h"
#include "platform/text/text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int Index(const std::vector<std::string>& calls, const std::string& call) {
  auto it = std::find(calls.begin(), calls.end(), call);
  return it == calls.end() ? -1 : int(it - calls.begin());
}

TEST_F(InputTest, StartsPadsThenMouseThenKeyboard) {
  AttachPad("First");
  AttachPad("Second", 0);
  // The window is brought to the front before the pads are looked for.
  PlatSetActiveWindow(0);
  PlatWnd frontAtEnumeration = 0;
  fail = [&](const PlatInputCall& c) -> int32_t {
    if (std::string(c.name) == "EnumDevices") frontAtEnumeration = PlatGetForegroundWindow();
    return 0;
  };
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(frontAtEnumeration, window);

  const InputState& in = g_InputState;
  EXPECT_TRUE(InputDevicesRunning());
  EXPECT_EQ(in.directInput8, 0);
  EXPECT_EQ(in.padCount, 2);
  EXPECT_STREQ(in.pads[0].instanceName, "First");
  EXPECT_STREQ(in.pads[1].productName, "Second");
  EXPECT_NE(in.pads[0].constantForce, nullptr);
  EXPECT_NE(in.pads[0].sine, nullptr);
  EXPECT_EQ(in.pads[1].constantForce, nullptr);  // no motors
  EXPECT_EQ(in.pads[1].sine, nullptr);
  EXPECT_EQ(in.pads[0].vibrationPower, 10000);
  EXPECT_NE(in.keyboard, nullptr);
  EXPECT_NE(in.mouse, nullptr);
  EXPECT_EQ(in.keyboardSampleTime, PlatTimeMs());

  const auto calls = InputCalls();
  const int mouse = Index(calls, "CreateDevice(1)");
  const int keyboard = Index(calls, "CreateDevice(2)");
  EXPECT_LT(Index(calls, "CreateDevice(" + Pad(1) + ")"), mouse);
  EXPECT_LT(mouse, keyboard);
  // The pads' axes: ranges on X, Y, Z and Rz, then their dead zones; exclusive use in the
  // foreground. Mouse and keyboard are shared in the background; only the keyboard is
  // acquired at start.
  for (uint32_t offset : {0u, 4u, 8u, 20u}) {
    EXPECT_EQ(InputCallCount("SetProperty(" + Pad(0) + ",4," + std::to_string(offset) + ")"), 1);
    EXPECT_EQ(InputCallCount("SetProperty(" + Pad(0) + ",5," + std::to_string(offset) + ")"), 1);
  }
  EXPECT_EQ(InputCallCount("SetCooperativeLevel(" + Pad(0) + ",5)"), 1);
  EXPECT_EQ(InputCallCount("SetCooperativeLevel(1,10)"), 1);
  EXPECT_EQ(InputCallCount("SetCooperativeLevel(2,10)"), 1);
  EXPECT_EQ(InputCallCount("Acquire(1)"), 0);
  EXPECT_EQ(InputCallCount("Acquire(2)"), 1);
  EXPECT_EQ(InputCallCount("SetProperty(2,1,0)"), 1);  // a buffer of 100 events

  for (const char* line : {"DirectInput関係初期化処理", "DirectInput7 の取得中... 成功",
                           "引き続き初期化処理... 初期化成功", "ジョイパッドの初期化... ",
                           "入力装置を見つけました", "デバイスの登録名:First",
                           "デバイスの製品登録名:First", "ジョイパッドの追加は正常に終了しました",
                           "周期的エフェクトの作成に失敗しました。",
                           "ジョイパッドの初期化は正常に終了しました",
                           "マウスデバイスの初期化... 初期化成功",
                           "キーボードデバイスの初期化... 初期化成功",
                           "DirectInput 関連の初期化は正常に終了しました"})
    EXPECT_TRUE(LogHas(line)) << PlatSjisToUtf8(line);
  // The default keys of pad 1, and no other row.
  EXPECT_EQ(in.PadKeyMap[0][0][0], 0x50);
  EXPECT_EQ(in.PadKeyMap[0][0][1], 0xD0);
  EXPECT_EQ(in.PadKeyMap[0][13][0], 0x39);
  EXPECT_EQ(in.PadKeyMap[0][14][0], -1);
  EXPECT_EQ(in.PadKeyMap[1][0][0], -1);
}

struct ProbeCase {
  const char* name;
  std::vector<std::string> failing;  // "Create(7)", "Initialize(8)", ...
  int directInput8;                  // -1: fallback
  std::vector<const char*> lines;
};

void PrintTo(const ProbeCase& c, std::ostream* os) { *os << c.name; }

class InputProbe : public InputTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(InputProbe, TriesVersion7ThenVersion8ThenFallsBack) {
  const ProbeCase& c = GetParam();
  fail = [&](const PlatInputCall& call) -> int32_t {
    const std::string name = std::string(call.name) + "(" + std::to_string(call.version >> 8) + ")";
    return std::find(c.failing.begin(), c.failing.end(), name) != c.failing.end() ? PLAT_DIERR_CLASSNOTREG : 0;
  };
  AttachPad("First");
  AttachPad("Second");
  ASSERT_EQ(StartInputDevices(), 0);
  for (const char* line : c.lines) EXPECT_TRUE(LogHas(line)) << PlatSjisToUtf8(line);
  if (c.directInput8 >= 0) {
    EXPECT_TRUE(InputDevicesRunning());
    EXPECT_EQ(g_InputState.directInput8, c.directInput8);
    EXPECT_EQ(g_InputState.directInputUnavailable, 0);
    EXPECT_EQ(g_InputState.padCount, 2);
  } else {
    EXPECT_EQ(g_InputState.input, InputFallbackValue());
    EXPECT_EQ(g_InputState.directInputUnavailable, 1);
    EXPECT_EQ(g_InputState.padCount, 8);
    EXPECT_EQ(g_InputState.keyboard, nullptr);
    EXPECT_EQ(g_InputState.PadKeyMap[0][4][0], 0x2C);
    EXPECT_EQ(PlatInputLiveObjects(), 0);  // no interface is kept
  }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, InputProbe,
    ::testing::Values(
        ProbeCase{"NoVersion7", {"Create(7)"}, 1,
                  {"DirectInput7 の取得中... 取得に失敗。", "エラーコード 0x80040154",
                   "DirectInput8 の取得を試みます...成功", "引き続き初期化処理... 初期化成功"}},
        ProbeCase{"Version7DoesNotInitialise", {"Initialize(7)"}, 1,
                  {"引き続き初期化処理... 初期化に失敗。DirectInput8 の取得を試みます...成功"}},
        ProbeCase{"NeitherVersion", {"Create(7)", "Create(8)"}, -1,
                  {"エラーコード 0x80040154",
                   "DirectInput8 の取得を試みます...取得に失敗。DirectInput を使用しません。",
                   "パッドの数は 2 個です", "入力関連の初期化をしました"}},
        ProbeCase{"Version8DoesNotInitialise", {"Create(7)", "Initialize(8)"}, -1,
                  {"引き続き初期化処理... 初期化に失敗。DirectInput を使用しません。",
                   "パッドの数は 2 個です"}}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) { return info.param.name; });

// Each failed interface initialisation raised the log's indent without bringing it down.
TEST_F(InputTest, FailedInitialisationsLeaveTheLogIndentAsItWas) {
  fail = [](const PlatInputCall& c) { return std::string(c.name) == "Initialize" ? PLAT_DIERR_GENERIC : 0; };
  ASSERT_EQ(StartInputDevices(), 0);
  ASSERT_TRUE(LogHas("入力関連の初期化をしました"));
  std::string raw;
  PlatSetDebugSink(
      [](const char* text, void* out) { *static_cast<std::string*>(out) += text; }, &raw);
  WriteLog("next\n");
  PlatSetDebugSink(nullptr, nullptr);
  EXPECT_EQ(raw, "next\r\n");  // no indent tab in front
}

TEST_F(InputTest, ASecondStartChangesNothing) {
  AttachPad();
  ASSERT_EQ(StartInputDevices(), 0);
  PlatInputDevice* keyboard = g_InputState.keyboard;
  ClearInputCalls();
  EXPECT_EQ(StartInputDevices(), 0);
  EXPECT_TRUE(InputCalls().empty());
  EXPECT_EQ(g_InputState.keyboard, keyboard);
}

TEST_F(InputTest, AfterAFallbackEveryStartFallsBackAtOnce) {
  fail = [](const PlatInputCall& c) { return std::string(c.name) == "Create" ? PLAT_DIERR_CLASSNOTREG : 0; };
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(StartInputDevices(), 0);  // already running: nothing
  EXPECT_EQ(ShutdownInput(), 0);
  EXPECT_TRUE(LogHas("入力関連の終了処理... 完了"));
  EXPECT_EQ(g_InputState.input, nullptr);
  EXPECT_EQ(g_InputState.padCount, 8);
  EXPECT_EQ(g_InputState.directInputUnavailable, 1);

  fail = nullptr;
  CaptureLog();
  ClearInputCalls();
  ResetFakes();
  CaptureLog();
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(g_InputState.input, InputFallbackValue());
  EXPECT_EQ(InputCallCount("Create(7)"), 0);
  EXPECT_FALSE(LogHas("DirectInput関係初期化処理"));
  EXPECT_TRUE(LogHas("入力関連の初期化をしました"));
}

TEST_F(InputTest, ANinthControllerIsNotEnumerated) {
  for (int i = 0; i < 9; i++) AttachPad();
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(g_InputState.padCount, 8);
  EXPECT_EQ(InputCallCount("CreateDevice(" + Pad(7) + ")"), 1);
  EXPECT_EQ(InputCallCount("CreateDevice(" + Pad(8) + ")"), 0);
}

struct PadFailure {
  const char* name;
  const char* call;
  uint32_t value, object;  // SetProperty's property and offset (0, ~0u: any)
  const char* message;     // null: the step is not checked and the pad is kept
};

void PrintTo(const PadFailure& f, std::ostream* os) {
  *os << f.call << "(" << f.value << "," << f.object << ")";
}

class InputPadFailure : public InputTest, public ::testing::WithParamInterface<PadFailure> {};

TEST_P(InputPadFailure, SkipsTheControllerAndTheNextTakesItsSlot) {
  const PadFailure& f = GetParam();
  fail = [&](const PlatInputCall& c) -> int32_t {
    if (std::string(c.name) != f.call || c.device != PLAT_DIGUID_PAD_BASE) return 0;
    if (f.value && (c.value != f.value || c.object != f.object)) return 0;
    return PLAT_DIERR_GENERIC;
  };
  AttachPad("First");
  AttachPad("Second");
  ASSERT_EQ(StartInputDevices(), 0);
  if (f.message) {
    EXPECT_TRUE(LogHas(f.message)) << PlatSjisToUtf8(f.message);
    ASSERT_EQ(g_InputState.padCount, 1);
    EXPECT_STREQ(g_InputState.pads[0].instanceName, "Second");
    EXPECT_EQ(g_InputState.pads[1].device, nullptr);
  } else {
    EXPECT_EQ(g_InputState.padCount, 2);
    EXPECT_STREQ(g_InputState.pads[0].instanceName, "First");
  }
  // Whatever was made of the skipped controller has been given back.
  const int live = PlatInputLiveObjects();
  ShutdownInput();
  EXPECT_EQ(PlatInputLiveObjects(), 0) << live;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, InputPadFailure,
    ::testing::Values(
        PadFailure{"Device", "CreateDevice", 0, 0, "入力装置の取得に失敗しました"},
        PadFailure{"DataFormat", "SetDataFormat", 0, 0,
                   "ジョイパッドデバイスではありませんでした、又は設定に失敗しました"},
        PadFailure{"Cooperation", "SetCooperativeLevel", 0, 0,
                   "ジョイパッドデバイスの協調レベルの設定に失敗しました"},
        PadFailure{"XRange", "SetProperty", 4, 0, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました"},
        PadFailure{"YRange", "SetProperty", 4, 4, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました"},
        PadFailure{"XDeadZone", "SetProperty", 5, 0,
                   "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました"},
        PadFailure{"YDeadZone", "SetProperty", 5, 4,
                   "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました"},
        PadFailure{"Notification", "SetEventNotification", 0, 0,
                   "ジョイパッドイベントのセットアップが失敗しました"},
        PadFailure{"ZRangeKeepsThePad", "SetProperty", 4, 8, nullptr},
        PadFailure{"RzDeadZoneKeepsThePad", "SetProperty", 5, 20, nullptr},
        PadFailure{"SineEffectKeepsThePad", "CreateEffect", PLAT_DIGUID_SINE, ~0u, nullptr},
        PadFailure{"AcquireKeepsThePad", "Acquire", 0, 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InputTest, AFailedConstantForceIsLoggedAndThePadKept) {
  fail = [](const PlatInputCall& c) -> int32_t {
    return std::string(c.name) == "CreateEffect" && c.value == PLAT_DIGUID_CONSTANTFORCE ? PLAT_DIERR_GENERIC : 0;
  };
  AttachPad();
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_TRUE(LogHas("周期的エフェクトの作成に失敗しました。"));
  EXPECT_EQ(g_InputState.padCount, 1);
  EXPECT_EQ(g_InputState.pads[0].constantForce, nullptr);
  EXPECT_NE(g_InputState.pads[0].sine, nullptr);
}

TEST_F(InputTest, AKeyboardBufferFailureIsLoggedAndStartGoesOn) {
  fail = FailOn("SetProperty", PLAT_DIGUID_SYSKEYBOARD);
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_TRUE(LogHas("キーボードデバイスの初期化... キーボードのプロパティ設定に失敗しました"));
  EXPECT_NE(g_InputState.keyboardEvent, nullptr);
}

TEST_F(InputTest, TheKeyboardIsAcquiredASecondTimeWhenTheFirstFails) {
  int acquires = 0;
  fail = [&](const PlatInputCall& c) -> int32_t {
    return std::string(c.name) == "Acquire" && c.device == PLAT_DIGUID_SYSKEYBOARD && ++acquires == 1
               ? PLAT_DIERR_GENERIC
               : 0;
  };
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_EQ(InputCallCount("Acquire(2)"), 2);
  EXPECT_TRUE(LogHas("キーボードデバイスの初期化... 初期化成功"));
}

struct FatalCase {
  const char* call;
  uint32_t device;
  const char* message;
};

void PrintTo(const FatalCase& f, std::ostream* os) { *os << f.call << "(" << f.device << ")"; }

class InputFatal : public InputTest, public ::testing::WithParamInterface<FatalCase> {};

// The process ends with the message in the log; by then every device, event and the
// interface have been given back.
TEST_P(InputFatal, EndsTheProgramWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const FatalCase& c = GetParam();
  fail = FailOn(c.call, c.device);
  AttachPad();
  const std::string expected = PlatSjisToUtf8(c.message);
  EXPECT_EXIT(
      {
        PlatSetDebugSink(nullptr, nullptr);  // the log to stderr
        setenv("KR_DEBUG_OUTPUT", "1", 1);
        PlatSetExitHook([] { std::fprintf(stderr, "live=%d\n", PlatInputLiveObjects()); });
        StartInputDevices();
      },
      ::testing::ExitedWithCode(255), expected + ".*live=0");
}

INSTANTIATE_TEST_SUITE_P(
    MouseAndKeyboard, InputFatal,
    ::testing::Values(
        FatalCase{"CreateDevice", PLAT_DIGUID_SYSMOUSE, "マウスデバイスの取得に失敗しました"},
        FatalCase{"SetDataFormat", PLAT_DIGUID_SYSMOUSE, "マウスデバイスのデータ形式の設定に失敗しました"},
        FatalCase{"SetCooperativeLevel", PLAT_DIGUID_SYSMOUSE, "マウスデバイスの協調レベルの設定に失敗しました"},
        FatalCase{"CreateDevice", PLAT_DIGUID_SYSKEYBOARD, "キーボードデバイスの取得に失敗しました"},
        FatalCase{"SetDataFormat", PLAT_DIGUID_SYSKEYBOARD, "キーボードデバイスのデータ形式の設定に失敗しました"},
        FatalCase{"SetCooperativeLevel", PLAT_DIGUID_SYSKEYBOARD, "キーボードデバイスの協調レベルの設定に失敗しました"},
        FatalCase{"Acquire", PLAT_DIGUID_SYSKEYBOARD, "キーボードデバイスの取得に失敗しました"},
        FatalCase{"SetEventNotification", PLAT_DIGUID_SYSKEYBOARD, "キーボードイベントのセットアップが失敗しました"}),
    [](const auto& info) {
      return std::string(info.param.device == PLAT_DIGUID_SYSMOUSE ? "Mouse" : "Keyboard") +
             info.param.call;
    });

TEST_F(InputTest, TheEndGivesEverythingBack) {
  AttachPad();
  AttachPad();
  EXPECT_EQ(ShutdownInput(), 0);  // not started: nothing
  EXPECT_EQ(ReleaseJoypads(), -1);
  EXPECT_EQ(EnumerateJoypads(), -1);
  ASSERT_EQ(StartInputDevices(), 0);
  EXPECT_GT(PlatInputLiveObjects(), 0);
  EXPECT_EQ(ShutdownInput(), 0);
  EXPECT_TRUE(LogHas("DirectInput 関連の終了処理... 完了"));
  EXPECT_EQ(PlatInputLiveObjects(), 0);
  EXPECT_EQ(g_InputState.input, nullptr);
  EXPECT_EQ(g_InputState.keyboard, nullptr);
  EXPECT_EQ(g_InputState.keyboardEvent, nullptr);
  EXPECT_EQ(g_InputState.padCount, 0);
  EXPECT_EQ(g_InputState.pads[0].device, nullptr);
}

TEST_F(InputTest, ReacquiringSetsThePadsCooperationForTheWindowState) {
  AttachPad();
  ASSERT_EQ(StartInputDevices(), 0);
  ClearInputCalls();
  g_System.windowActive = 0;
  EXPECT_EQ(ReacquireInputDevices(), 0);
  EXPECT_EQ(InputCalls(), (std::vector<std::string>{"Unacquire(" + Pad(0) + ")",
                                                    "SetCooperativeLevel(" + Pad(0) + ",10)",
                                                    "Acquire(" + Pad(0) + ")", "Unacquire(2)",
                                                    "Acquire(2)"}));
  ClearInputCalls();
  g_System.windowActive = 1;
  ReacquireInputDevices();
  EXPECT_EQ(InputCallCount("SetCooperativeLevel(" + Pad(0) + ",5)"), 1);
}

TEST_F(InputTest, ReacquiringInTheFallbackDoesNothing) {
  fail = [](const PlatInputCall& c) { return std::string(c.name) == "Create" ? PLAT_DIERR_CLASSNOTREG : 0; };
  ASSERT_EQ(StartInputDevices(), 0);
  ClearInputCalls();
  EXPECT_EQ(ReacquireInputDevices(), 0);
  EXPECT_TRUE(InputCalls().empty());
}

}  // namespace
