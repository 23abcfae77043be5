// The headless keyboard: one press reaches the window with the focus as a key message and
// the keyboard device at the key's device code, both from the same row of the key table.
#include "platform/input/headless/headlessinput.h"
#include "platform/input/input.h"
#include "window_fixture.h"

namespace {

class HeadlessKeys : public HeadlessWindow {
 protected:
  PlatInput* input = nullptr;
  PlatInputDevice* keyboard = nullptr;

  void SetUp() override {
    HeadlessWindow::SetUp();
    ASSERT_EQ(PlatInputSelectBackend("headless"), 0);
    PlatHeadlessInputReset();
    ASSERT_EQ(PlatInputCreate(PLAT_DINPUT8, &input), PLAT_DI_OK);
    ASSERT_EQ(PlatInputInitialize(input, PLAT_DINPUT8), PLAT_DI_OK);
    ASSERT_EQ(PlatInputCreateDevice(input, PLAT_DIGUID_SYSKEYBOARD, &keyboard), PLAT_DI_OK);
    ASSERT_EQ(PlatDeviceSetDataFormat(keyboard, PLAT_DIFMT_KEYBOARD), PLAT_DI_OK);
    ASSERT_EQ(PlatDeviceAcquire(keyboard), PLAT_DI_OK);
  }
  void TearDown() override {
    PlatDeviceRelease(keyboard);
    PlatInputRelease(input);
    HeadlessWindow::TearDown();
  }
  uint8_t DeviceByte(uint8_t code) {
    uint8_t keys[256] = {};
    EXPECT_EQ(PlatDeviceGetDeviceState(keyboard, 256, keys), PLAT_DI_OK);
    return keys[code];
  }
};

TEST_F(HeadlessKeys, OnePressReachesTheWindowAndTheDevice) {
  struct Case {
    uint32_t vk;
    uint32_t message;  // the code the key message carries
    uint32_t scan, extended;
    uint8_t device;
  };
  for (const Case& c : {Case{'A', 'A', 0x1E, 0, 0x1E},
                        Case{PLAT_VK_SHIFT, PLAT_VK_SHIFT, 0x2A, 0, 0x2A},
                        Case{PLAT_VK_RSHIFT, PLAT_VK_SHIFT, 0x36, 0, 0x36},
                        Case{PLAT_VK_RCONTROL, PLAT_VK_CONTROL, 0x1D, 1, 0x9D},
                        Case{PLAT_VK_LEFT, PLAT_VK_LEFT, 0x4B, 1, 0xCB},
                        Case{PLAT_VK_OEM_3, PLAT_VK_OEM_3, 0x1A, 0, 0x91}}) {
    PlatHeadlessKey(window, c.vk, 1);
    EXPECT_EQ(DeviceByte(c.device), 0x80) << c.vk;
    std::vector<PlatMsg> taken = PumpAll(false);
    ASSERT_EQ(taken.size(), 1u) << c.vk;
    EXPECT_EQ(taken[0].wParam, c.message) << c.vk;
    EXPECT_EQ((uint32_t(taken[0].lParam) >> 16) & 0xFF, c.scan) << c.vk;
    EXPECT_EQ((uint32_t(taken[0].lParam) >> 24) & 1, c.extended) << c.vk;
    PlatHeadlessKey(window, c.vk, 0);
    EXPECT_EQ(DeviceByte(c.device), 0) << c.vk;
    PumpAll(false);
  }
}

// With the focus elsewhere only the device, which reads in the background, hears the key.
TEST_F(HeadlessKeys, WithoutTheFocusOnlyTheDeviceHears) {
  PlatHeadlessKey(0, 'Q', 1);
  EXPECT_EQ(DeviceByte(0x10), 0x80);
  EXPECT_TRUE(PumpAll().empty());
  PlatHeadlessKey(0, 'Q', 0);
  EXPECT_EQ(DeviceByte(0x10), 0);
}

}  // namespace
