// The SDL input back end with SDL's virtual pads: plain joysticks and game controllers
// through the device layer and the plain joystick functions, and rumble.
#include "platform/input/input.h"
#include "platform/input/sdl/sdlinput.h"
#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class SdlInput : public ::testing::Test {
 protected:
  PlatInput* input = nullptr;
  std::vector<int> virtuals;

  void SetUp() override {
    ASSERT_EQ(PlatInputSelectBackend("sdl"), 0);
    ASSERT_EQ(PlatInputCreate(PLAT_DINPUT8, &input), PLAT_DI_OK);
    ASSERT_EQ(PlatInputInitialize(input, PLAT_DINPUT8), PLAT_DI_OK);
  }
  void TearDown() override {
    for (PlatInputEffect* e : effects_) PlatEffectRelease(e);
    for (PlatInputDevice* d : devices_) PlatDeviceRelease(d);
    PlatInputRelease(input);
    for (auto it = virtuals.rbegin(); it != virtuals.rend(); ++it) PlatSdlDetachVirtualPad(*it);
    EXPECT_EQ(PlatInputLiveObjects(), 0);
  }

  int Attach(const char* name, int gameController, int rumble = 0) {
    const int index = PlatSdlAttachVirtualPad({name, gameController, 6, 16, 1, rumble});
    EXPECT_GE(index, 0);
    virtuals.push_back(index);
    return index;
  }
  std::vector<PlatDeviceInstance> Enumerate() {
    std::vector<PlatDeviceInstance> all;
    PlatInputEnumDevices(
        input, PLAT_DIDEVTYPE_GAMECTRL,
        [](const PlatDeviceInstance* i, void* c) {
          static_cast<std::vector<PlatDeviceInstance>*>(c)->push_back(*i);
          return int(PLAT_DIENUM_CONTINUE);
        },
        &all, PLAT_DIEDFL_ATTACHEDONLY);
    return all;
  }
  // The pad made and acquired the engine's way: -1000 to 1000 with a quarter dead.
  PlatInputDevice* Open(uint32_t guid) {
    PlatInputDevice* d = nullptr;
    EXPECT_EQ(PlatInputCreateDevice(input, guid, &d), PLAT_DI_OK);
    if (!d) return nullptr;
    devices_.push_back(d);
    EXPECT_EQ(PlatDeviceSetDataFormat(d, PLAT_DIFMT_JOYSTICK), PLAT_DI_OK);
    EXPECT_EQ(PlatDeviceSetCooperativeLevel(d, 0, PLAT_DISCL_EXCLUSIVE | PLAT_DISCL_FOREGROUND), PLAT_DI_OK);
    for (uint32_t offset : {PLAT_DIJOFS_X, PLAT_DIJOFS_Y}) {
      PlatDeviceSetProperty(d, PLAT_DIPROP_RANGE, PLAT_DIPH_BYOFFSET, offset, -1000, 1000);
      PlatDeviceSetProperty(d, PLAT_DIPROP_DEADZONE, PLAT_DIPH_BYOFFSET, offset, 2500, 0);
    }
    EXPECT_EQ(PlatDeviceAcquire(d), PLAT_DI_OK);
    return d;
  }
  PlatInputEffect* Effect(PlatInputDevice* d, uint32_t kind) {
    PlatEffectParams p{};
    p.gain = 10000;
    p.magnitude = 10000;
    p.duration = PLAT_INFINITE;
    PlatInputEffect* e = nullptr;
    EXPECT_EQ(PlatDeviceCreateEffect(d, kind, &p, &e), PLAT_DI_OK);
    if (e) effects_.push_back(e);
    return e;
  }
  static PlatJoyState Read(PlatInputDevice* d) {
    PlatJoyState s{};
    EXPECT_EQ(PlatDevicePoll(d), PLAT_DI_OK);
    EXPECT_EQ(PlatDeviceGetDeviceState(d, sizeof s, &s), PLAT_DI_OK);
    return s;
  }

 private:
  std::vector<PlatInputDevice*> devices_;
  std::vector<PlatInputEffect*> effects_;
};

TEST_F(SdlInput, APlainJoystickReadsItsAxesButtonsAndHat) {
  const int index = Attach("Stick", 0);
  const auto pads = Enumerate();
  ASSERT_EQ(pads.size(), 1u);
  EXPECT_STREQ(pads[0].instanceName, "Stick");
  PlatInputDevice* pad = Open(pads[0].guidInstance);
  ASSERT_NE(pad, nullptr);
  struct Case {
    int raw;
    int32_t scaled;
  };
  for (const Case& c : {Case{0, 0}, Case{32767, 1000}, Case{-32768, -1000}, Case{8000, 0}, Case{-20479, -500}}) {
    ASSERT_EQ(PlatSdlSetVirtualPadAxis(index, 0, c.raw), 1);
    ASSERT_EQ(PlatSdlSetVirtualPadAxis(index, 1, -c.raw), 1);
    const PlatJoyState s = Read(pad);
    EXPECT_EQ(s.x, c.scaled) << c.raw;
    EXPECT_EQ(s.y, -c.scaled) << c.raw;
  }
  PlatSdlSetVirtualPadButton(index, 0, 1);
  PlatSdlSetVirtualPadButton(index, 15, 1);
  PlatSdlSetVirtualPadHat(index, 0, 2 | 4);
  const PlatJoyState s = Read(pad);
  EXPECT_EQ(s.buttons[0], 0x80);
  EXPECT_EQ(s.buttons[1], 0);
  EXPECT_EQ(s.buttons[15], 0x80);
  EXPECT_EQ(s.pov[0], 13500u);

  // Gone: the device reports it.
  ASSERT_EQ(PlatSdlDetachVirtualPad(index), 1);
  virtuals.clear();
  PlatJoyState gone;
  PlatDevicePoll(pad);
  EXPECT_EQ(PlatDeviceGetDeviceState(pad, sizeof gone, &gone), PLAT_DIERR_INPUTLOST);
  EXPECT_TRUE(Enumerate().empty());
}

TEST_F(SdlInput, AGameControllerReadsItsSticksButtonsAndPad) {
  const int index = Attach("Controller", 1);
  const auto pads = Enumerate();
  ASSERT_EQ(pads.size(), 1u);
  PlatInputDevice* pad = Open(pads[0].guidInstance);
  ASSERT_NE(pad, nullptr);
  // SDL's game-controller axes: 0 left x, 1 left y; buttons: 0 A, 1 B, 11 d-pad up.
  PlatSdlSetVirtualPadAxis(index, 0, -32768);
  PlatSdlSetVirtualPadAxis(index, 1, 32767);
  PlatSdlSetVirtualPadButton(index, 1, 1);
  PlatSdlSetVirtualPadButton(index, 11, 1);
  const PlatJoyState s = Read(pad);
  EXPECT_EQ(s.x, -1000);
  EXPECT_EQ(s.y, 1000);
  EXPECT_EQ(s.buttons[0], 0);
  EXPECT_EQ(s.buttons[1], 0x80);
  EXPECT_EQ(s.pov[0], 0u);
}

TEST_F(SdlInput, EffectsRumbleThePad) {
  const int index = Attach("Shaker", 0, 1);
  Attach("Still", 0, 0);
  const auto pads = Enumerate();
  ASSERT_EQ(pads.size(), 2u);
  PlatInputDevice* pad = Open(pads[0].guidInstance);
  PlatInputDevice* still = Open(pads[1].guidInstance);
  PlatEffectParams p{};
  PlatInputEffect* none = nullptr;
  EXPECT_EQ(PlatDeviceCreateEffect(still, PLAT_DIGUID_SINE, &p, &none), PLAT_DIERR_UNSUPPORTED);
  PlatInputEffect* constant = Effect(pad, PLAT_DIGUID_CONSTANTFORCE);
  PlatInputEffect* sine = Effect(pad, PLAT_DIGUID_SINE);
  uint16_t low = 1, high = 1;
  ASSERT_EQ(PlatEffectStart(constant, 1, 0), PLAT_DI_OK);
  PlatSdlVirtualPadMotors(index, &low, &high);
  EXPECT_EQ(low, 65535);
  EXPECT_EQ(high, 0);
  ASSERT_EQ(PlatEffectStart(sine, 1, 0), PLAT_DI_OK);
  PlatSdlVirtualPadMotors(index, &low, &high);
  EXPECT_EQ(high, 65535);
  PlatEffectStop(constant);
  PlatEffectStop(sine);
  PlatSdlVirtualPadMotors(index, &low, &high);
  EXPECT_EQ(low + high, 0);
}

TEST_F(SdlInput, ThePlainJoystickFunctionsReadTheSameDevices) {
  const int index = Attach("Stick", 0);
  PlatJoyCaps caps;
  ASSERT_EQ(PlatJoyGetDevCaps(0, &caps), PLAT_JOYERR_NOERROR);
  EXPECT_STREQ(caps.name, "Stick");
  EXPECT_EQ(caps.numButtons, 16u);
  EXPECT_EQ(PlatJoyGetDevCaps(1, &caps), PLAT_JOYERR_UNPLUGGED);
  PlatSdlSetVirtualPadAxis(index, 0, -32768);
  PlatSdlSetVirtualPadAxis(index, 1, 0x3000 - 32768);
  PlatSdlSetVirtualPadButton(index, 2, 1);
  PlatJoyInfoEx info{};
  info.size = sizeof info;
  info.flags = PLAT_JOY_RETURNALL;
  ASSERT_EQ(PlatJoyGetPosEx(0, &info), PLAT_JOYERR_NOERROR);
  EXPECT_EQ(info.xpos, 0u);
  EXPECT_EQ(info.ypos, 0x3000u);
  EXPECT_EQ(info.buttons, 4u);
  EXPECT_EQ(PlatJoyGetPosEx(1, &info), PLAT_JOYERR_UNPLUGGED);
}

}  // namespace
