// Input devices, start and end: the device interface (version 7, else 8), the mouse, the
// keyboard and up to eight pads with their effects; or, on a machine without the device
// interface, the plain key state and joystick functions.
#include "engine/system/input.h"

#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/state/fatal.h"
#include "engine/state/state.h"
#include "engine/system/system.h"
#include "platform/window/window.h"

#include <cstring>

InputState g_InputState;

namespace {

void ReleaseDevice(PlatInputDevice*& device) {
  if (!device) return;
  PlatDeviceUnacquire(device);
  PlatDeviceRelease(device);
  device = nullptr;
}

// A failure the engine cannot go on from: what exists of the devices and the interface
// is given back, then the program ends with the message.
[[noreturn]] void FailInputStart(const char* message) {
  InputState& in = g_InputState;
  ReleaseJoypads();
  ReleaseDevice(in.keyboard);
  if (in.keyboardEvent) {
    PlatEventDestroy(in.keyboardEvent);
    in.keyboardEvent = nullptr;
  }
  ReleaseDevice(in.mouse);
  PlatInputRelease(in.input);
  in.input = nullptr;
  FatalEngineExit(message);
}

// Tries to obtain and initialise the interface of one version; logs as it goes.
PlatInput* ObtainInterface(uint32_t version) {
  PlatInput* input = nullptr;
  const int32_t r = PlatInputCreate(version, &input);
  if (r < 0 || !input) {
    if (version == PLAT_DINPUT7) {
      WriteLog("取得に失敗。\n");
      WriteLogFmt("エラーコード 0x%x\n", uint32_t(r));
    } else {
      WriteLog("取得に失敗。");
    }
    return nullptr;
  }
  WriteLog("成功\n");
  LogIndentIn();
  WriteLog("引き続き初期化処理... ");
  if (PlatInputInitialize(input, version) < 0) {
    WriteLog("初期化に失敗。");
    // The indent raised above comes down on this way out too, or every later line of
    // the log would stand one step too far in.
    LogIndentOut();
    PlatInputRelease(input);
    return nullptr;
  }
  WriteLog("初期化成功\n");
  LogIndentOut();
  return input;
}

// Makes the system mouse or keyboard, shared in the background; the three messages are
// those of a failed creation, data format and cooperation level.
PlatInputDevice* MakeSystemDevice(uint32_t guid, int format, const char* const messages[3]) {
  PlatInputDevice*& device = guid == PLAT_DIGUID_SYSMOUSE ? g_InputState.mouse : g_InputState.keyboard;
  if (PlatInputCreateDevice(g_InputState.input, guid, &device) < 0) FailInputStart(messages[0]);
  if (PlatDeviceSetDataFormat(device, format) < 0) FailInputStart(messages[1]);
  if (PlatDeviceSetCooperativeLevel(device, GetEngineWindowHandle(),
                                    PLAT_DISCL_NONEXCLUSIVE | PLAT_DISCL_BACKGROUND) < 0)
    FailInputStart(messages[2]);
  return device;
}

void StartMouse() {
  static const char* const kMessages[3] = {
      "マウスデバイスの取得に失敗しました", "マウスデバイスのデータ形式の設定に失敗しました",
      "マウスデバイスの協調レベルの設定に失敗しました"};
  WriteLog("マウスデバイスの初期化... ");
  MakeSystemDevice(PLAT_DIGUID_SYSMOUSE, PLAT_DIFMT_MOUSE2, kMessages);
  // The first read acquires the mouse.
  WriteLog("初期化成功\n");
  g_InputState.keyboardSampleTime = PlatTimeMs();
}

void StartKeyboard() {
  static const char* const kMessages[3] = {
      "キーボードデバイスの取得に失敗しました", "キーボードデバイスのデータ形式の設定に失敗しました",
      "キーボードデバイスの協調レベルの設定に失敗しました"};
  InputState& in = g_InputState;
  WriteLog("キーボードデバイスの初期化... ");
  MakeSystemDevice(PLAT_DIGUID_SYSKEYBOARD, PLAT_DIFMT_KEYBOARD, kMessages);
  if (PlatDeviceSetProperty(in.keyboard, PLAT_DIPROP_BUFFERSIZE, PLAT_DIPH_DEVICE, 0, 100, 0) < 0)
    WriteLog("キーボードのプロパティ設定に失敗しました\n");
  PlatEvent* event = PlatEventCreate(1, 0);
  const int32_t r = PlatDeviceSetEventNotification(in.keyboard, event);
  if (r != PLAT_DI_OK && r != PLAT_DI_POLLEDDEVICE) {
    // Like the keyboard's other failures: a keyboard that cannot signal is no keyboard
    // the engine can go on with, and nothing is left half-started.
    PlatEventDestroy(event);
    FailInputStart("キーボードイベントのセットアップが失敗しました");
  }
  in.keyboardEvent = event;
  if (PlatDeviceAcquire(in.keyboard) < 0 && PlatDeviceAcquire(in.keyboard) < 0)
    FailInputStart("キーボードデバイスの取得に失敗しました");
  WriteLog("初期化成功\n");
  in.keyboardSampleTime = PlatTimeMs();
}

void StartFallback() {
  InputState& in = g_InputState;
  LogIndentIn();
  int found = 0;
  for (uint32_t id = 0; id < uint32_t(kMaxPads); id++) {
    PlatJoyCaps caps;
    std::memset(&caps, 0, sizeof caps);
    if (PlatJoyGetDevCaps(id, &caps) != PLAT_JOYERR_NOERROR) break;
    found++;
  }
  WriteLogFmt("パッドの数は %d 個です\n", found);
  LogIndentOut();
  in.input = InputFallbackValue();
  WriteLog("入力関連の初期化をしました\n");
  // Every pad is read by number; an absent one reads as released.
  in.padCount = kMaxPads;
}

// A pad's effects: both at full strength from their start until they are stopped; the
// sine swells in over half a second.
PlatEffectParams EffectParams(uint32_t kind) {
  static const PlatEffectEnvelope kEnvelope = {0, 500000, 0, 1000000};
  PlatEffectParams p{};
  p.flags = (kind == PLAT_DIGUID_SINE ? PLAT_DIEFF_POLAR : PLAT_DIEFF_CARTESIAN) | PLAT_DIEFF_OBJECTOFFSETS;
  p.duration = PLAT_INFINITE;
  p.gain = 10000;
  p.triggerButton = PLAT_DIEB_NOTRIGGER;
  p.axisCount = 2;
  p.axes[0] = PLAT_DIJOFS_X;
  p.axes[1] = PLAT_DIJOFS_Y;
  p.magnitude = 10000;
  if (kind == PLAT_DIGUID_SINE) {
    p.envelope = &kEnvelope;
    p.period = 1500000;
  }
  return p;
}

// Gives one slot's pad back and clears the slot.
void ReleaseSlot(PadRecord& pad) {
  if (pad.device) {
    PlatDeviceUnacquire(pad.device);
    PlatDeviceSetEventNotification(pad.device, nullptr);
  }
  if (pad.constantForce) {
    PlatEffectStop(pad.constantForce);
    PlatEffectRelease(pad.constantForce);
    pad.constantForce = nullptr;
  }
  if (pad.sine) {
    PlatEffectStop(pad.sine);
    PlatEffectRelease(pad.sine);
    pad.sine = nullptr;
  }
  if (pad.device) {
    PlatDeviceRelease(pad.device);
    pad.device = nullptr;
  }
  if (pad.event) PlatEventDestroy(pad.event);
  std::memset(&pad, 0, sizeof pad);
}

}  // namespace

void InstallDefaultPadKeyMap() {
  InputState& in = g_InputState;
  for (auto& row : in.PadKeyMap)
    for (auto& bit : row)
      for (int32_t& slot : bit) slot = -1;
  static const int32_t kDefaults[14][2] = {
      {0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8},  // down, left, right, up
      {0x2C, -1}, {0x2D, -1}, {0x2E, -1}, {0x1E, -1}, {0x1F, -1},  // Z X C A S
      {0x20, -1}, {0x10, -1}, {0x11, -1}, {0x01, -1}, {0x39, -1},  // D Q W Escape Space
  };
  for (int bit = 0; bit < 14; bit++) {
    in.PadKeyMap[0][bit][0] = kDefaults[bit][0];
    in.PadKeyMap[0][bit][1] = kDefaults[bit][1];
  }
}

int StartInputDevices() {
  InputState& in = g_InputState;
  if (in.input) return 0;
  const int32_t unavailable = in.directInputUnavailable;
  std::memset(&in, 0, sizeof in);
  in.directInputUnavailable = unavailable;

  if (in.directInputUnavailable) {
    StartFallback();
    InstallDefaultPadKeyMap();
    return 0;
  }

  WriteLog("DirectInput関係初期化処理\n");
  LogIndentIn();
  WriteLog("DirectInput7 の取得中... ");
  in.input = ObtainInterface(PLAT_DINPUT7);
  if (!in.input) {
    WriteLog("DirectInput8 の取得を試みます...");
    in.input = ObtainInterface(PLAT_DINPUT8);
    if (in.input) in.directInput8 = 1;
  }
  if (!in.input) {
    WriteLog("DirectInput を使用しません。\n");
    LogIndentOut();
    in.directInputUnavailable = 1;
    StartFallback();
    InstallDefaultPadKeyMap();
    return 0;
  }

  PlatBringWindowToTop(GetEngineWindowHandle());
  PumpMessagesCore();
  EnumerateJoypads();
  StartMouse();
  StartKeyboard();
  LogIndentOut();
  WriteLog("DirectInput 関連の初期化は正常に終了しました\n");
  InstallDefaultPadKeyMap();
  return 0;
}

int EnumerateJoypads() {
  InputState& in = g_InputState;
  if (!in.input) return -1;
  ReleaseJoypads();
  WriteLog("ジョイパッドの初期化... \n");
  in.padCount = 0;
  PlatInputEnumDevices(in.input, PLAT_DIDEVTYPE_GAMECTRL, AddJoypadDevice, nullptr,
                       PLAT_DIEDFL_ATTACHEDONLY);
  WriteLog("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

int AddJoypadDevice(const PlatDeviceInstance* instance, void*) {
  InputState& in = g_InputState;
  // The table has eight slots whoever calls.
  if (in.padCount < 0 || in.padCount >= kMaxPads) return PLAT_DIENUM_STOP;
  PadRecord& pad = in.pads[in.padCount];
  WriteLog("入力装置を見つけました\n");
  PlatInputDevice* device = nullptr;
  if (PlatInputCreateDevice(in.input, instance->guidInstance, &device) < 0) {
    WriteLog("入力装置の取得に失敗しました\n");
    return PLAT_DIENUM_CONTINUE;
  }
  PlatDeviceInstance info;
  std::memset(&info, 0, sizeof info);
  PlatDeviceGetDeviceInfo(device, &info);
  StrCopy(pad.instanceName, info.instanceName);
  StrCopy(pad.productName, info.productName);
  LogIndentIn();
  WriteLogFmt("デバイスの登録名:%s", pad.instanceName);
  WriteLogFmt("デバイスの製品登録名:%s", pad.productName);
  LogIndentOut();

  auto skip = [&](const char* message) {
    PlatDeviceRelease(device);
    WriteLog(message);
    // The names were copied into the slot the next controller will take.
    std::memset(&pad, 0, sizeof pad);
    return PLAT_DIENUM_CONTINUE;
  };
  if (PlatDeviceSetDataFormat(device, PLAT_DIFMT_JOYSTICK) < 0)
    return skip("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
  if (PlatDeviceSetCooperativeLevel(device, GetEngineWindowHandle(),
                                    PLAT_DISCL_EXCLUSIVE | PLAT_DISCL_FOREGROUND) < 0)
    return skip("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
  auto range = [&](uint32_t offset) {
    return PlatDeviceSetProperty(device, PLAT_DIPROP_RANGE, PLAT_DIPH_BYOFFSET, offset, -1000, 1000);
  };
  if (range(PLAT_DIJOFS_X) < 0) return skip("ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n");
  if (range(PLAT_DIJOFS_Y) < 0) return skip("ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
  range(PLAT_DIJOFS_Z);
  range(PLAT_DIJOFS_RZ);
  auto deadZone = [&](uint32_t offset) {
    return PlatDeviceSetProperty(device, PLAT_DIPROP_DEADZONE, PLAT_DIPH_BYOFFSET, offset, 2500, 0);
  };
  if (deadZone(PLAT_DIJOFS_X) < 0)
    return skip("ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n");
  if (deadZone(PLAT_DIJOFS_Y) < 0)
    return skip("ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
  deadZone(PLAT_DIJOFS_Z);
  deadZone(PLAT_DIJOFS_RZ);

  const PlatEffectParams sine = EffectParams(PLAT_DIGUID_SINE);
  pad.sine = nullptr;
  PlatDeviceCreateEffect(device, PLAT_DIGUID_SINE, &sine, &pad.sine);
  const PlatEffectParams constant = EffectParams(PLAT_DIGUID_CONSTANTFORCE);
  pad.constantForce = nullptr;
  if (PlatDeviceCreateEffect(device, PLAT_DIGUID_CONSTANTFORCE, &constant, &pad.constantForce) < 0)
    WriteLog("周期的エフェクトの作成に失敗しました。\n");

  pad.vibrationOn = 0;
  pad.vibrationPower = 10000;
  pad.constantForceRunning = 0;
  pad.sineRunning = 0;

  PlatEvent* event = PlatEventCreate(1, 0);
  const int32_t r = PlatDeviceSetEventNotification(device, event);
  if (r != PLAT_DI_OK && r != PLAT_DI_POLLEDDEVICE) {
    WriteLog("ジョイパッドイベントのセットアップが失敗しました\n");
    pad.device = device;
    pad.event = event;
    ReleaseSlot(pad);
    return PLAT_DIENUM_CONTINUE;
  }
  PlatDeviceAcquire(device);
  pad.event = event;
  pad.device = device;
  std::memset(&pad.state, 0, sizeof pad.state);
  in.padCount++;
  WriteLog("ジョイパッドの追加は正常に終了しました\n");
  return in.padCount == kMaxPads ? PLAT_DIENUM_STOP : PLAT_DIENUM_CONTINUE;
}

int ReleaseJoypads() {
  InputState& in = g_InputState;
  if (!in.input) return -1;
  for (int i = 0; i < in.padCount && i < kMaxPads; i++)
    if (in.pads[i].device) ReleaseSlot(in.pads[i]);
  in.padCount = 0;
  return 0;
}

int ShutdownInput() {
  InputState& in = g_InputState;
  if (!in.input) return 0;
  if (in.input == InputFallbackValue()) {
    WriteLog("入力関連の終了処理... 完了\n");
    in.input = nullptr;
    return 0;
  }
  WriteLog("DirectInput 関連の終了処理... 完了\n");
  ReleaseJoypads();
  if (in.keyboard) {
    ReleaseDevice(in.keyboard);
    PlatEventDestroy(in.keyboardEvent);
    in.keyboardEvent = nullptr;
  }
  ReleaseDevice(in.mouse);
  PlatInputRelease(in.input);
  in.input = nullptr;
  return 0;
}

int ReacquireInputDevices() {
  InputState& in = g_InputState;
  if (!InputDevicesRunning()) return 0;
  const uint32_t level = IsWindowActive() == 1 ? PLAT_DISCL_EXCLUSIVE | PLAT_DISCL_FOREGROUND
                                               : PLAT_DISCL_NONEXCLUSIVE | PLAT_DISCL_BACKGROUND;
  for (int i = 0; i < in.padCount && i < kMaxPads; i++) {
    PadRecord& pad = in.pads[i];
    if (!pad.device) continue;
    PlatDeviceUnacquire(pad.device);
    PlatDeviceSetCooperativeLevel(pad.device, GetEngineWindowHandle(), level);
    PlatDeviceAcquire(pad.device);
  }
  if (in.keyboard) {
    PlatDeviceUnacquire(in.keyboard);
    PlatDeviceAcquire(in.keyboard);
  }
  return 0;
}
