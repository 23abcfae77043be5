// Pads: each read as PadBits, optionally merged with the keys that stand for its bits,
// sampled on demand at most once per millisecond unless the pad has signalled a change;
// and their vibration, two effects per pad started and stopped to match the wanted state,
// stopped while the window is inactive and ended when a time limit runs out.
#include "engine/system/input.h"

#include "engine/engine.h"
#include "engine/state/state.h"
#include "engine/system/system.h"

#include <cstring>

namespace {

bool PadSignalled(const PadRecord& pad) {
  return pad.event && PlatEventWait(pad.event, 0) == PLAT_WAIT_SIGNALED;
}

// A plain joystick position (0 to 65535) in -1000 to 1000, with a dead zone from 24576
// to 40960.
int32_t FallbackAxis(uint32_t v) {
  if (v == 0) return -1000;
  if (v == 0x7FFF) return 0;
  if (v == 0xFFFF) return 1000;  // the formula alone would stop one short
  if (v < 0x6000) return (int32_t(v) - 24576) * 1000 / 24576;
  if (v > 0xA000) return (int32_t(v) - 40960) * 1000 / 24576;
  return 0;
}

int SamplePadFallback(PadRecord& pad, uint32_t id) {
  const uint32_t now = PlatTimeMs();
  if (now == pad.sampleTime) return 0;
  pad.sampleTime = now;
  PlatJoyInfoEx info;
  std::memset(&info, 0, sizeof info);
  info.size = sizeof info;
  info.flags = PLAT_JOY_RETURNALL;
  if (PlatJoyGetPosEx(id, &info) != PLAT_JOYERR_NOERROR) {
    std::memset(&pad.state, 0, sizeof pad.state);
    return 0;
  }
  pad.state.x = FallbackAxis(info.xpos);
  pad.state.y = FallbackAxis(info.ypos);
  for (int k = 0; k < 24; k++) pad.state.buttons[k] = (info.buttons >> k) & 1 ? 0x80 : 0;
  return 0;
}

// The pump may end the program, or end input under the caller's feet.
bool PumpEndedInput() { return PumpMessagesCore() != 0 || !g_InputState.input; }

int SamplePadDevice(PadRecord& pad) {
  const uint32_t now = PlatTimeMs();
  if (now == pad.sampleTime && !PadSignalled(pad)) return 0;
  pad.sampleTime = now;
  if (!pad.device) return 0;  // an empty slot reads as it stands
  PlatDevicePoll(pad.device);
  PlatJoyState fresh;
  if (PlatDeviceGetDeviceState(pad.device, sizeof fresh, &fresh) >= 0) {
    pad.state = fresh;
  } else {
    if (PumpEndedInput()) return -1;
    if (PlatDeviceAcquire(pad.device) >= 0) {
      if (PumpEndedInput()) return -1;
      if (PlatDeviceGetDeviceState(pad.device, sizeof fresh, &fresh) >= 0) pad.state = fresh;
    }
  }
  if (PadSignalled(pad)) PlatEventReset(pad.event);
  return 0;
}

// Ends one slot's vibration. Reached from the pump's service too, so it never waits for
// the window nor starts input: either would pump again from inside the pump.
int EndSlotVibration(int64_t i) {
  InputState& in = g_InputState;
  if (i < 0 || i >= in.padCount || i >= kMaxPads) return 0;
  PadRecord& pad = in.pads[i];
  if (!pad.device || !pad.constantForce || pad.vibrationOn == 0) return 0;
  pad.vibrationOn = 0;
  pad.vibrationPower = 10000;
  ApplyPadVibration();
  return 0;
}

}  // namespace

int SamplePad(int32_t index) {
  if (index < 0 || index >= kMaxPads) return -1;
  PadRecord& pad = g_InputState.pads[index];
  if (g_InputState.directInputUnavailable) return SamplePadFallback(pad, uint32_t(index));
  return SamplePadDevice(pad);
}

int32_t ReadPadStateCore(int32_t n) {
  InputState& in = g_InputState;
  const bool keys = (n & PAD_KEYBOARD_FLAG) != 0;
  const int64_t i = int64_t(n & ~PAD_KEYBOARD_FLAG) - 1;
  WaitWhileInactive();
  if (!in.input && !IsClosePending()) return StartInputDevices();
  if (in.padCount != 0 && (i < -1 || i > in.padCount - 1) && !keys) return 0;
  int32_t result = 0;
  if (i >= 0 && i < in.padCount && i < kMaxPads) {
    SamplePad(int32_t(i));
    const PlatJoyState& s = in.pads[i].state;
    if (s.x < 0) result |= PAD_LEFT;
    if (s.x > 0) result |= PAD_RIGHT;
    if (s.y < 0) result |= PAD_UP;
    if (s.y > 0) result |= PAD_DOWN;
    for (int k = 0; k < 24; k++)
      if (s.buttons[k] & 0x80) result |= PAD_BUTTON1 << k;
  }
  // Only the rows of pads 1 to 8 exist: another number, or stray high bits, merge no key.
  const int64_t row = i < 0 ? 0 : i;
  if (keys && i >= -1 && row < kMaxPads) {
    SampleKeyboard();
    for (int b = 0; b < 32; b++) {
      for (int32_t code : in.PadKeyMap[row][b]) {
        if (code >= 0 && code < 256 && (in.keyState[code] & 0x80)) {
          result |= int32_t(1u << b);
          break;
        }
      }
    }
  }
  return result;
}

int ApplyPadVibration() {
  InputState& in = g_InputState;
  if (!InputDevicesRunning()) return 0;
  const bool active = IsWindowActive() == 1;
  for (int i = 0; i < in.padCount && i < kMaxPads; i++) {
    PadRecord& pad = in.pads[i];
    if (!pad.device) continue;
    if (active) {
      if (pad.constantForce && pad.vibrationOn != pad.constantForceRunning) {
        if (pad.vibrationOn == 1) PlatEffectStart(pad.constantForce, 1, 0);
        else PlatEffectStop(pad.constantForce);
        pad.constantForceRunning = pad.vibrationOn;
      }
      const int32_t sineWanted = pad.vibrationOn == 1 && pad.vibrationPower > 5000 ? 1 : 0;
      if (pad.sine && sineWanted != pad.sineRunning) {
        if (sineWanted) PlatEffectStart(pad.sine, 1, 0);
        else PlatEffectStop(pad.sine);
        pad.sineRunning = sineWanted;
      }
    } else {
      if (pad.constantForce && pad.constantForceRunning) PlatEffectStop(pad.constantForce);
      if (pad.sine && pad.sineRunning) PlatEffectStop(pad.sine);
      pad.constantForceRunning = 0;
      pad.sineRunning = 0;
    }
  }
  return 0;
}

int ServicePadVibration() {
  InputState& in = g_InputState;
  if (!InputDevicesRunning()) return 0;
  const uint32_t now = PlatTimeMs();
  for (int i = 0; i < in.padCount && i < kMaxPads; i++) {
    PadRecord& pad = in.pads[i];
    if (!pad.vibrationOn || !pad.device) continue;
    if (pad.vibrationLimit < 0 || now == pad.vibrationClock) continue;
    if (now < pad.vibrationClock) pad.vibrationClock = now;  // the timer wrapped
    pad.vibrationElapsed += int32_t(now - pad.vibrationClock);
    pad.vibrationClock = now;
    if (pad.vibrationElapsed >= pad.vibrationLimit) EndSlotVibration(i);
  }
  ApplyPadVibration();
  return 0;
}

int EndPadVibration(int32_t n) {
  const int64_t i = int64_t(n & ~PAD_KEYBOARD_FLAG) - 1;
  WaitWhileInactive();
  if (!g_InputState.input && !IsClosePending()) return StartInputDevices();
  return EndSlotVibration(i);
}
