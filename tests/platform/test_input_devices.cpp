// The input device layer on the headless back end: the interface and its devices, the
// rules of acquisition, axis ranges and dead zones, hats, notification, effects turned
// into motor speeds, and the plain joystick functions.
#include "platform/input/headless/headlessinput.h"
#include "platform/input/headless/headlesskeys.h"
#include "platform/input/input.h"
#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class InputDevices : public ::testing::Test {
 protected:
  PlatInput* input = nullptr;

  void SetUp() override {
    ASSERT_EQ(PlatInputSelectBackend("headless"), 0);
    PlatHeadlessInputReset();
    ASSERT_EQ(PlatInputCreate(PLAT_DINPUT8, &input), PLAT_DI_OK);
    ASSERT_EQ(PlatInputInitialize(input, PLAT_DINPUT8), PLAT_DI_OK);
  }
  void TearDown() override {
    for (PlatInputEffect* e : effects_) PlatEffectRelease(e);
    for (PlatInputDevice* d : devices_) PlatDeviceRelease(d);
    PlatInputRelease(input);
    PlatInputSetCallHook(nullptr, nullptr);
    EXPECT_EQ(PlatInputLiveObjects(), 0);
  }

  PlatInputDevice* Make(uint32_t guid, int format) {
    PlatInputDevice* d = nullptr;
    EXPECT_EQ(PlatInputCreateDevice(input, guid, &d), PLAT_DI_OK);
    if (d) {
      devices_.push_back(d);
      EXPECT_EQ(PlatDeviceSetDataFormat(d, format), PLAT_DI_OK);
    }
    return d;
  }
  // A pad set up the engine's way: -1000 to 1000 with a quarter of the travel dead.
  PlatInputDevice* MakePad(uint32_t guid = PLAT_DIGUID_PAD_BASE) {
    PlatInputDevice* d = Make(guid, PLAT_DIFMT_JOYSTICK);
    for (uint32_t offset : {PLAT_DIJOFS_X, PLAT_DIJOFS_Y}) {
      EXPECT_EQ(PlatDeviceSetProperty(d, PLAT_DIPROP_RANGE, PLAT_DIPH_BYOFFSET, offset, -1000, 1000), PLAT_DI_OK);
      EXPECT_EQ(PlatDeviceSetProperty(d, PLAT_DIPROP_DEADZONE, PLAT_DIPH_BYOFFSET, offset, 2500, 0), PLAT_DI_OK);
    }
    return d;
  }
  PlatInputEffect* Effect(PlatInputDevice* d, uint32_t kind, int32_t magnitude = 10000, uint32_t gain = 10000) {
    PlatEffectParams p{};
    p.duration = PLAT_INFINITE;
    p.gain = gain;
    p.magnitude = magnitude;
    PlatInputEffect* e = nullptr;
    EXPECT_EQ(PlatDeviceCreateEffect(d, kind, &p, &e), PLAT_DI_OK);
    if (e) effects_.push_back(e);
    return e;
  }
  void ReleaseEffect(PlatInputEffect* e) {
    std::erase(effects_, e);
    PlatEffectRelease(e);
  }
  static PlatJoyState Read(PlatInputDevice* d) {
    PlatJoyState s{};
    EXPECT_EQ(PlatDeviceGetDeviceState(d, sizeof s, &s), PLAT_DI_OK);
    return s;
  }
  static int Motors(int pad) {
    uint16_t low = 0, high = 0;
    PlatHeadlessInputPadMotors(pad, &low, &high);
    return (low ? 1 : 0) | (high ? 2 : 0);
  }

 private:
  std::vector<PlatInputDevice*> devices_;
  std::vector<PlatInputEffect*> effects_;
};

TEST(InputInterface, OnlyVersions7And8Exist) {
  ASSERT_EQ(PlatInputSelectBackend("headless"), 0);
  EXPECT_EQ(PlatInputSelectBackend("other"), -1);
  PlatInput* input = nullptr;
  EXPECT_EQ(PlatInputCreate(0x0500, &input), PLAT_DIERR_CLASSNOTREG);
  EXPECT_EQ(input, nullptr);
  ASSERT_EQ(PlatInputCreate(PLAT_DINPUT7, &input), PLAT_DI_OK);
  EXPECT_EQ(PlatInputSelectBackend("sdl"), -1);  // not while an interface of another lives
  EXPECT_EQ(PlatInputSelectBackend("headless"), 0);
  PlatInputDevice* d = nullptr;
  EXPECT_EQ(PlatInputCreateDevice(input, PLAT_DIGUID_SYSKEYBOARD, &d), PLAT_DIERR_NOTINITIALIZED);
  EXPECT_LT(PlatInputInitialize(input, PLAT_DINPUT8), 0);  // newer than the interface
  EXPECT_EQ(PlatInputInitialize(input, PLAT_DINPUT7), PLAT_DI_OK);
  EXPECT_EQ(PlatInputCreateDevice(input, PLAT_DIGUID_PAD_BASE + 5, &d), PLAT_DIERR_DEVICENOTREG);
  PlatInputRelease(input);
  EXPECT_EQ(PlatInputLiveObjects(), 0);
}

TEST_F(InputDevices, ADeviceReadsOnlyOnceAcquiredInItsOwnFormat) {
  PlatInputDevice* keyboard = nullptr;
  ASSERT_EQ(PlatInputCreateDevice(input, PLAT_DIGUID_SYSKEYBOARD, &keyboard), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceAcquire(keyboard), PLAT_DIERR_INVALIDPARAM);  // no format yet
  EXPECT_EQ(PlatDeviceSetDataFormat(keyboard, PLAT_DIFMT_JOYSTICK), PLAT_DIERR_INVALIDPARAM);
  EXPECT_EQ(PlatDeviceSetDataFormat(keyboard, PLAT_DIFMT_KEYBOARD), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceSetCooperativeLevel(keyboard, 0, PLAT_DISCL_EXCLUSIVE | PLAT_DISCL_NONEXCLUSIVE |
                                                           PLAT_DISCL_BACKGROUND),
            PLAT_DIERR_INVALIDPARAM);
  EXPECT_EQ(PlatDeviceSetCooperativeLevel(keyboard, 0, PLAT_DISCL_NONEXCLUSIVE | PLAT_DISCL_BACKGROUND), PLAT_DI_OK);
  uint8_t keys[256];
  EXPECT_EQ(PlatDeviceGetDeviceState(keyboard, 256, keys), PLAT_DIERR_NOTACQUIRED);
  EXPECT_EQ(PlatDeviceAcquire(keyboard), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceAcquire(keyboard), PLAT_DI_NOEFFECT);
  // Settings cannot change under an acquired device.
  EXPECT_EQ(PlatDeviceSetCooperativeLevel(keyboard, 0, PLAT_DISCL_NONEXCLUSIVE | PLAT_DISCL_FOREGROUND),
            PLAT_DIERR_ACQUIRED);
  EXPECT_EQ(PlatDeviceSetEventNotification(keyboard, nullptr), PLAT_DIERR_ACQUIRED);
  EXPECT_EQ(PlatDeviceGetDeviceState(keyboard, 255, keys), PLAT_DIERR_INVALIDPARAM);
  PlatHeadlessKey(0, PLAT_VK_LEFT, 1);
  ASSERT_EQ(PlatDeviceGetDeviceState(keyboard, 256, keys), PLAT_DI_OK);
  EXPECT_EQ(keys[0xCB], 0x80);
  EXPECT_EQ(keys[0xCD], 0);
  EXPECT_EQ(PlatDeviceUnacquire(keyboard), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceGetDeviceState(keyboard, 256, keys), PLAT_DIERR_NOTACQUIRED);
  PlatDeviceRelease(keyboard);
}

// A key pressed and let go between two reads shows held through the millisecond of the
// first read that shows it and in the first read of a later one (a game whose reads of a
// frame are spread over milliseconds would otherwise lose a press shorter than its
// frame); a key held across reads of one millisecond only and let go reads released in
// that millisecond and held once more in the first read of a later one; a key held across
// reads of two milliseconds and let go reads released at once.
TEST_F(InputDevices, TheKeyboardKeepsAPressThatEndedBetweenTwoReads) {
  PlatClockSetManual(1, 1000);
  PlatInputDevice* keyboard = Make(PLAT_DIGUID_SYSKEYBOARD, PLAT_DIFMT_KEYBOARD);
  ASSERT_EQ(PlatDeviceAcquire(keyboard), PLAT_DI_OK);
  uint8_t keys[256];
  auto read = [&](int code) {
    EXPECT_EQ(PlatDeviceGetDeviceState(keyboard, 256, keys), PLAT_DI_OK);
    return keys[code];
  };
  PlatHeadlessKey(0, PLAT_VK_LEFT, 1);
  PlatHeadlessKey(0, PLAT_VK_LEFT, 0);
  EXPECT_EQ(read(0xCB), 0x80);
  EXPECT_EQ(read(0xCB), 0x80);  // the same millisecond
  PlatClockAdvance(5);
  EXPECT_EQ(read(0xCB), 0x80);  // the first read of a later one
  EXPECT_EQ(read(0xCB), 0);
  PlatHeadlessKey(0, PLAT_VK_LEFT, 1);
  EXPECT_EQ(read(0xCB), 0x80);
  PlatHeadlessKey(0, PLAT_VK_LEFT, 0);
  EXPECT_EQ(read(0xCB), 0);
  PlatClockAdvance(1);
  EXPECT_EQ(read(0xCB), 0x80);
  EXPECT_EQ(read(0xCB), 0);
  PlatHeadlessKey(0, PLAT_VK_LEFT, 1);
  EXPECT_EQ(read(0xCB), 0x80);
  PlatClockAdvance(1);
  EXPECT_EQ(read(0xCB), 0x80);
  PlatHeadlessKey(0, PLAT_VK_LEFT, 0);
  EXPECT_EQ(read(0xCB), 0);
  // A reset lets go of a tapped key too.
  PlatHeadlessKey(0, PLAT_VK_RIGHT, 1);
  PlatHeadlessKey(0, PLAT_VK_RIGHT, 0);
  PlatHeadlessKeyboardReset();
  EXPECT_EQ(read(0xCD), 0);
  PlatClockSetManual(0);
}

TEST_F(InputDevices, TheMouseReportsButtonsAndMotionSinceTheLastRead) {
  PlatInputDevice* mouse = Make(PLAT_DIGUID_SYSMOUSE, PLAT_DIFMT_MOUSE2);
  ASSERT_EQ(PlatDeviceAcquire(mouse), PLAT_DI_OK);
  PlatMouseState2 m;
  PlatHeadlessInputMouseMove(5, 5, 0);
  ASSERT_EQ(PlatDeviceGetDeviceState(mouse, sizeof m, &m), PLAT_DI_OK);
  EXPECT_EQ(m.x, 0);  // the first read has nothing to compare with
  PlatHeadlessInputMouseButtons(0x5);
  PlatHeadlessInputMouseMove(3, -2, 120);
  ASSERT_EQ(PlatDeviceGetDeviceState(mouse, sizeof m, &m), PLAT_DI_OK);
  EXPECT_EQ(m.x, 3);
  EXPECT_EQ(m.y, -2);
  EXPECT_EQ(m.z, 120);
  EXPECT_EQ(std::vector<int>(m.buttons, m.buttons + 4), (std::vector<int>{0x80, 0, 0x80, 0}));
}

TEST_F(InputDevices, AxesSpreadBeyondTheDeadZoneOverTheirRange) {
  PlatHeadlessInputAttachPad({"Pad", "Pad", 8, 32, 4, 0});
  PlatInputDevice* pad = MakePad();
  ASSERT_EQ(PlatDeviceAcquire(pad), PLAT_DI_OK);
  struct Case {
    int raw;
    int32_t scaled;      // -1000 to 1000, dead zone 2500
    int32_t unscaled;    // the default 0 to 65535, no dead zone
  };
  for (const Case& c : {Case{0, 0, 32767}, Case{32767, 1000, 65535}, Case{-32768, -1000, 0},
                        Case{-32767, -1000, 0}, Case{8191, 0, 40958}, Case{-8191, 0, 24576},
                        Case{8200, 0, 40967}, Case{20479, 500, 53246}, Case{-20479, -500, 12288}}) {
    PlatHeadlessInputPadAxis(0, 0, c.raw);
    PlatHeadlessInputPadAxis(0, 2, c.raw);
    const PlatJoyState s = Read(pad);
    EXPECT_EQ(s.x, c.scaled) << c.raw;
    EXPECT_EQ(s.z, c.unscaled) << c.raw;
  }
  // A dead zone over the whole travel reads the centre, whatever the position.
  ASSERT_EQ(PlatDeviceUnacquire(pad), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceSetProperty(pad, PLAT_DIPROP_DEADZONE, PLAT_DIPH_BYOFFSET, PLAT_DIJOFS_X, 10000, 0), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceSetProperty(pad, PLAT_DIPROP_DEADZONE, PLAT_DIPH_BYOFFSET, PLAT_DIJOFS_X, 10001, 0),
            PLAT_DIERR_INVALIDPARAM);
  EXPECT_EQ(PlatDeviceSetProperty(pad, PLAT_DIPROP_RANGE, PLAT_DIPH_BYOFFSET, 2, 0, 10), PLAT_DIERR_INVALIDPARAM);
  EXPECT_EQ(PlatDeviceSetProperty(pad, PLAT_DIPROP_RANGE, PLAT_DIPH_BYOFFSET, PLAT_DIJOFS_Y, 10, 10),
            PLAT_DIERR_INVALIDPARAM);
  ASSERT_EQ(PlatDeviceAcquire(pad), PLAT_DI_OK);
  PlatHeadlessInputPadAxis(0, 0, 32767);
  EXPECT_EQ(Read(pad).x, 0);
}

TEST_F(InputDevices, HatsAndButtons) {
  PlatHeadlessInputAttachPad({"Pad", "Pad", 2, 32, 4, 0});
  PlatInputDevice* pad = MakePad();
  ASSERT_EQ(PlatDeviceAcquire(pad), PLAT_DI_OK);
  const uint8_t up = 1, right = 2, down = 4, left = 8;
  struct Case {
    uint8_t directions;
    uint32_t pov;
  };
  for (const Case& c : {Case{0, 0xFFFFFFFFu}, Case{up, 0}, Case{uint8_t(up | right), 4500}, Case{right, 9000},
                        Case{uint8_t(down | right), 13500}, Case{down, 18000}, Case{uint8_t(down | left), 22500},
                        Case{left, 27000}, Case{uint8_t(up | left), 31500}}) {
    PlatHeadlessInputPadHat(0, 3, c.directions);
    EXPECT_EQ(Read(pad).pov[3], c.pov) << int(c.directions);
  }
  PlatHeadlessInputPadButton(0, 0, 1);
  PlatHeadlessInputPadButton(0, 31, 1);
  const PlatJoyState s = Read(pad);
  EXPECT_EQ(s.buttons[0], 0x80);
  EXPECT_EQ(s.buttons[1], 0);
  EXPECT_EQ(s.buttons[31], 0x80);
  EXPECT_EQ(s.pov[0], 0xFFFFFFFFu);
}

TEST_F(InputDevices, AnAcquiredDeviceSignalsItsChanges) {
  PlatHeadlessInputAttachPad({"Pad", "Pad", 2, 4, 0, 0});
  PlatInputDevice* keyboard = Make(PLAT_DIGUID_SYSKEYBOARD, PLAT_DIFMT_KEYBOARD);
  PlatInputDevice* pad = MakePad();
  PlatEvent* keys = PlatEventCreate(1, 0);
  PlatEvent* moves = PlatEventCreate(1, 0);
  EXPECT_EQ(PlatDeviceSetEventNotification(keyboard, keys), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceSetEventNotification(pad, moves), PLAT_DI_POLLEDDEVICE);
  PlatHeadlessKey(0, 'A', 1);
  EXPECT_EQ(PlatEventWait(keys, 0), PLAT_WAIT_TIMEOUT);  // not acquired yet
  ASSERT_EQ(PlatDeviceAcquire(keyboard), PLAT_DI_OK);
  ASSERT_EQ(PlatDeviceAcquire(pad), PLAT_DI_OK);
  PlatHeadlessKey(0, 'A', 0);
  EXPECT_EQ(PlatEventWait(keys, 0), PLAT_WAIT_SIGNALED);
  EXPECT_EQ(PlatEventWait(moves, 0), PLAT_WAIT_TIMEOUT);
  PlatHeadlessInputPadButton(0, 1, 1);
  EXPECT_EQ(PlatEventWait(moves, 0), PLAT_WAIT_SIGNALED);
  PlatDeviceUnacquire(keyboard);
  PlatDeviceUnacquire(pad);
  PlatDeviceSetEventNotification(keyboard, nullptr);
  PlatDeviceSetEventNotification(pad, nullptr);
  PlatEventDestroy(keys);
  PlatEventDestroy(moves);
}

TEST_F(InputDevices, EffectsDriveTheMotorsWhileTheyRun) {
  PlatHeadlessInputAttachPad({"Shaker", "Shaker", 2, 4, 0, 1});
  PlatHeadlessInputAttachPad({"Still", "Still", 2, 4, 0, 0});
  PlatInputDevice* pad = MakePad();
  PlatInputDevice* still = MakePad(PLAT_DIGUID_PAD_BASE + 1);
  PlatInputDevice* keyboard = Make(PLAT_DIGUID_SYSKEYBOARD, PLAT_DIFMT_KEYBOARD);
  PlatEffectParams p{};
  PlatInputEffect* none = nullptr;
  EXPECT_EQ(PlatDeviceCreateEffect(still, PLAT_DIGUID_CONSTANTFORCE, &p, &none), PLAT_DIERR_UNSUPPORTED);
  EXPECT_EQ(PlatDeviceCreateEffect(keyboard, PLAT_DIGUID_SINE, &p, &none), PLAT_DIERR_UNSUPPORTED);
  EXPECT_EQ(none, nullptr);

  PlatInputEffect* constant = Effect(pad, PLAT_DIGUID_CONSTANTFORCE);
  PlatInputEffect* sine = Effect(pad, PLAT_DIGUID_SINE, 10000, 5000);
  EXPECT_EQ(PlatEffectStart(constant, 1, 0), PLAT_DIERR_NOTACQUIRED);
  ASSERT_EQ(PlatDeviceAcquire(pad), PLAT_DI_OK);
  EXPECT_EQ(PlatEffectStart(constant, 1, 0), PLAT_DI_OK);
  uint16_t low = 0, high = 0;
  PlatHeadlessInputPadMotors(0, &low, &high);
  EXPECT_EQ(low, 65535);
  EXPECT_EQ(high, 0);
  EXPECT_EQ(PlatEffectStart(sine, 1, 0), PLAT_DI_OK);
  PlatHeadlessInputPadMotors(0, &low, &high);
  EXPECT_EQ(high, 32767);  // half the gain
  EXPECT_EQ(PlatEffectStop(constant), PLAT_DI_OK);
  EXPECT_EQ(Motors(0), 2);
  // Effects stop with the acquisition, and with the device.
  PlatDeviceUnacquire(pad);
  EXPECT_EQ(Motors(0), 0);
  PlatDeviceAcquire(pad);
  PlatEffectStart(constant, 1, 0);
  EXPECT_EQ(Motors(0), 1);
  ReleaseEffect(constant);
  EXPECT_EQ(Motors(0), 0);
  PlatEffectStart(sine, 1, 0);
  EXPECT_EQ(Motors(0), 2);
}

TEST_F(InputDevices, AGonePadReadsAsLost) {
  PlatHeadlessInputAttachPad({"Pad", "Pad", 2, 4, 0, 0});
  PlatInputDevice* pad = MakePad();
  ASSERT_EQ(PlatDeviceAcquire(pad), PLAT_DI_OK);
  PlatHeadlessInputDetachPad(0);
  PlatJoyState s;
  EXPECT_EQ(PlatDeviceGetDeviceState(pad, sizeof s, &s), PLAT_DIERR_INPUTLOST);
  EXPECT_EQ(PlatDeviceAcquire(pad), PLAT_DIERR_INPUTLOST);
  PlatDeviceInstance info;
  EXPECT_EQ(PlatDeviceGetDeviceInfo(pad, &info), PLAT_DIERR_INPUTLOST);
}

TEST_F(InputDevices, EnumerationReportsThePadsInOrderUntilStopped) {
  PlatHeadlessInputAttachPad({"パッド", "製品", 2, 4, 0, 0});
  PlatHeadlessInputAttachPad({"Second", nullptr, 2, 4, 0, 0});
  PlatHeadlessInputAttachPad({"Third", nullptr, 2, 4, 0, 0});
  struct Seen {
    std::vector<PlatDeviceInstance> all;
  } seen;
  auto collect = [](const PlatDeviceInstance* i, void* context) {
    auto* s = static_cast<Seen*>(context);
    s->all.push_back(*i);
    return s->all.size() == 2 ? int(PLAT_DIENUM_STOP) : int(PLAT_DIENUM_CONTINUE);
  };
  EXPECT_EQ(PlatInputEnumDevices(input, PLAT_DIDEVTYPE_GAMECTRL, collect, &seen, PLAT_DIEDFL_ATTACHEDONLY), PLAT_DI_OK);
  ASSERT_EQ(seen.all.size(), 2u);
  EXPECT_EQ(seen.all[0].guidInstance, uint32_t(PLAT_DIGUID_PAD_BASE));
  EXPECT_EQ(std::string(seen.all[0].instanceName), PlatUtf8ToSjis("パッド"));
  EXPECT_EQ(std::string(seen.all[0].productName), PlatUtf8ToSjis("製品"));
  EXPECT_STREQ(seen.all[1].productName, "Second");
  EXPECT_EQ(seen.all[1].devType, uint32_t(PLAT_DIDEVTYPE_GAMECTRL));
  seen.all.clear();
  EXPECT_EQ(PlatInputEnumDevices(input, 1, collect, &seen, 0), PLAT_DI_OK);  // other kinds: none
  EXPECT_TRUE(seen.all.empty());
}

TEST_F(InputDevices, TheCallHookSeesCallsAndMakesThemFail) {
  static std::vector<std::string> seen;
  seen.clear();
  PlatInputSetCallHook(
      [](const PlatInputCall& c, void*) -> int32_t {
        seen.push_back(c.name);
        return std::strcmp(c.name, "SetDataFormat") == 0 && c.device == PLAT_DIGUID_SYSMOUSE ? PLAT_DIERR_GENERIC : 0;
      },
      nullptr);
  PlatInputDevice* mouse = nullptr;
  ASSERT_EQ(PlatInputCreateDevice(input, PLAT_DIGUID_SYSMOUSE, &mouse), PLAT_DI_OK);
  EXPECT_EQ(PlatDeviceSetDataFormat(mouse, PLAT_DIFMT_MOUSE2), PLAT_DIERR_GENERIC);
  EXPECT_EQ(seen, (std::vector<std::string>{"CreateDevice", "SetDataFormat"}));
  PlatDeviceRelease(mouse);
}

TEST_F(InputDevices, ThePlainJoystickFunctionsReadThePadsByNumber) {
  PlatJoyCaps caps;
  EXPECT_EQ(PlatJoyGetDevCaps(0, &caps), PLAT_JOYERR_UNPLUGGED);
  PlatHeadlessInputAttachPad({"First", nullptr, 6, 40, 1, 0});
  PlatHeadlessInputAttachPad({"Second", nullptr, 2, 4, 0, 0});
  ASSERT_EQ(PlatJoyGetDevCaps(1, &caps), PLAT_JOYERR_NOERROR);
  EXPECT_STREQ(caps.name, "Second");
  ASSERT_EQ(PlatJoyGetDevCaps(0, &caps), PLAT_JOYERR_NOERROR);
  EXPECT_EQ(caps.numButtons, 32u);
  EXPECT_EQ(caps.xMax, 65535u);
  EXPECT_EQ(PlatJoyGetDevCaps(2, &caps), PLAT_JOYERR_UNPLUGGED);

  PlatJoyInfoEx info{};
  info.size = 48;
  EXPECT_EQ(PlatJoyGetPosEx(0, &info), PLAT_JOYERR_PARMS);
  info.size = sizeof info;
  info.flags = PLAT_JOY_RETURNALL;
  PlatHeadlessInputPadAxis(0, 0, -32768);
  PlatHeadlessInputPadAxis(0, 1, 32767);
  PlatHeadlessInputPadAxis(0, 3, -1);
  PlatHeadlessInputPadButton(0, 0, 1);
  PlatHeadlessInputPadButton(0, 23, 1);
  PlatHeadlessInputPadHat(0, 0, 4);
  ASSERT_EQ(PlatJoyGetPosEx(0, &info), PLAT_JOYERR_NOERROR);
  EXPECT_EQ(info.xpos, 0u);
  EXPECT_EQ(info.ypos, 65535u);
  EXPECT_EQ(info.zpos, 32768u);
  EXPECT_EQ(info.rpos, 32767u);
  EXPECT_EQ(info.buttons, 0x800001u);
  EXPECT_EQ(info.buttonNumber, 2u);
  EXPECT_EQ(info.pov, 18000u);
  ASSERT_EQ(PlatJoyGetPosEx(1, &info), PLAT_JOYERR_NOERROR);
  EXPECT_EQ(info.pov, uint32_t(PLAT_JOY_POVCENTERED));
  EXPECT_EQ(PlatJoyGetPosEx(2, &info), PLAT_JOYERR_UNPLUGGED);
}

}  // namespace
