// The keyboard and the mouse buttons for the engine's queries. The key state is sampled
// on demand, at most once per millisecond unless the keyboard has signalled a change, and
// each fresh sample pumps the window's messages first.
#include "engine/system/input.h"

#include "engine/base/lock.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/system/placement.h"
#include "engine/system/system.h"
#include "platform/keys/keytable.h"
#include "platform/window/window.h"

#include <cstring>

namespace {

constexpr uint16_t kSeparator = 0xFFFE;
constexpr uint16_t kEnd = 0xFFFF;

bool KeyboardSignalled() {
  return g_InputState.keyboardEvent &&
         PlatEventWait(g_InputState.keyboardEvent, 0) == PLAT_WAIT_SIGNALED;
}

int SampleKeyboardDevices(uint32_t now) {
  InputState& in = g_InputState;
  if (now == in.keyboardSampleTime && !KeyboardSignalled()) return 0;
  if (PumpMessagesCore() != 0) return 0;
  if (!in.input || !in.keyboard) return 0;  // the pump has ended input
  if (PlatDeviceGetDeviceState(in.keyboard, 256, in.keyState) < 0) {
    if (PlatDeviceAcquire(in.keyboard) < 0) return 0;
    if (PlatDeviceGetDeviceState(in.keyboard, 256, in.keyState) < 0) return 0;
  }
  in.keyboardSampleTime = now;
  if (KeyboardSignalled()) PlatEventReset(in.keyboardEvent);
  // The window's own key state is the truer one for the keys it knows, where it can be
  // read: on the window's thread.
  if (PlatThreadId() == g_System.mainThreadId) {
    uint8_t windows[256];
    PlatGetKeyboardState(windows);
    for (const VirtualKeyPair* p = VirtualKeyTable; p->virtualKey != kSeparator; p++)
      in.keyState[p->deviceKey] = windows[p->virtualKey & 0xFF];
  }
  return 1;
}

int SampleKeyboardFallback(uint32_t now) {
  InputState& in = g_InputState;
  if (now == in.keyboardSampleTime) return 0;
  in.keyboardSampleTime = now;
  if (PumpMessagesCore() != 0) return 0;
  uint8_t windows[256];
  PlatGetKeyboardState(windows);
  std::memset(in.keyState, 0, sizeof in.keyState);
  for (const VirtualKeyPair* p = VirtualKeyTable; p->virtualKey != kEnd; p++)
    if (p->virtualKey != kSeparator) in.keyState[p->deviceKey] = windows[p->virtualKey & 0xFF];
  return 1;
}

// Starts input when a query finds it not started. True when the query must report the
// start's result (or 0 while a close is pending) instead of reading.
bool StartedLazily(int* result) {
  if (g_InputState.input) return false;
  *result = IsClosePending() ? 0 : StartInputDevices();
  return true;
}

bool Held(int code) { return (g_InputState.keyState[code] & 0x80) != 0; }

// A key the window's key state stands for, read at the device key code the platform's key
// table gives it (the first position of the key, or that of the extended flag given).
constexpr VirtualKeyPair Overlay(uint32_t vk, int extended = -1) {
  return {uint16_t(vk), PlatKeyByVk(vk, extended)->device};
}

}  // namespace

constexpr VirtualKeyPair VirtualKeyTable[82] = {
    // Group 1: both modes.
    Overlay('A'), Overlay('B'), Overlay('C'), Overlay('D'), Overlay('E'), Overlay('F'),
    Overlay('G'), Overlay('H'), Overlay('I'), Overlay('J'), Overlay('K'), Overlay('L'),
    Overlay('M'), Overlay('N'), Overlay('O'), Overlay('P'), Overlay('Q'), Overlay('R'),
    Overlay('S'), Overlay('T'), Overlay('U'), Overlay('V'), Overlay('W'), Overlay('X'),
    Overlay('Y'), Overlay('Z'),
    Overlay('0'), Overlay('1'), Overlay('2'), Overlay('3'), Overlay('4'), Overlay('5'),
    Overlay('6'), Overlay('7'), Overlay('8'), Overlay('9'),
    Overlay(PLAT_VK_OEM_PLUS), Overlay(PLAT_VK_OEM_1), Overlay(PLAT_VK_OEM_4),
    Overlay(PLAT_VK_OEM_6), Overlay(PLAT_VK_OEM_3),
    // The JP106 backslash key reads as the US backslash code here, not at the codes the
    // keyboard device gives its positions.
    {PLAT_VK_OEM_102, DIK_BACKSLASH},
    Overlay(PLAT_VK_OEM_COMMA), Overlay(PLAT_VK_OEM_MINUS), Overlay(PLAT_VK_OEM_5),
    Overlay(PLAT_VK_OEM_PERIOD), Overlay(PLAT_VK_OEM_2), Overlay(PLAT_VK_DELETE),
    Overlay(PLAT_VK_ESCAPE), Overlay(PLAT_VK_SPACE), Overlay(PLAT_VK_BACK),
    Overlay(PLAT_VK_TAB), Overlay(PLAT_VK_RETURN, 0),
    {kSeparator, 0},
    // Group 2: the fallback mode only.
    Overlay(PLAT_VK_RETURN, 1),  // the keypad's Enter
    Overlay(PLAT_VK_LSHIFT), Overlay(PLAT_VK_RSHIFT), Overlay(PLAT_VK_LCONTROL),
    Overlay(PLAT_VK_RCONTROL), Overlay(PLAT_VK_PRIOR), Overlay(PLAT_VK_NEXT),
    Overlay(PLAT_VK_END), Overlay(PLAT_VK_HOME), Overlay(PLAT_VK_INSERT),
    Overlay(PLAT_VK_LMENU), Overlay(PLAT_VK_RMENU), Overlay(PLAT_VK_SCROLL),
    Overlay(PLAT_VK_CAPITAL), Overlay(PLAT_VK_PAUSE),
    Overlay(PLAT_VK_F1 + 0), Overlay(PLAT_VK_F1 + 1), Overlay(PLAT_VK_F1 + 2),
    Overlay(PLAT_VK_F1 + 3), Overlay(PLAT_VK_F1 + 4), Overlay(PLAT_VK_F1 + 5),
    Overlay(PLAT_VK_F1 + 6), Overlay(PLAT_VK_F1 + 7), Overlay(PLAT_VK_F1 + 8),
    Overlay(PLAT_VK_F1 + 9), Overlay(PLAT_VK_F1 + 10), Overlay(PLAT_VK_F1 + 11),
    {kEnd, 0},
};

int SampleKeyboard() {
  const uint32_t now = PlatTimeMs();
  if (!g_InputState.directInputUnavailable && g_InputState.keyboard) return SampleKeyboardDevices(now);
  return SampleKeyboardFallback(now);
}

int IsKeyDownCore(int32_t key) {
  WaitWhileInactive();
  int result;
  if (StartedLazily(&result)) return result;
  // The key state has 256 entries; any other code names no key.
  if (key < 0 || key > 255) return 0;
  SampleKeyboard();
  return Held(key) ? 1 : 0;
}

int GetMouseButtonState() {
  InputState& in = g_InputState;
  if (!in.directInputUnavailable && in.mouse) {
    PlatMouseState2 m;
    if (PlatDeviceGetDeviceState(in.mouse, sizeof m, &m) < 0) {
      if (PlatDeviceAcquire(in.mouse) < 0) return 0;
      if (PlatDeviceGetDeviceState(in.mouse, sizeof m, &m) < 0) return 0;
    }
    int buttons = 0;
    for (int i = 0; i < 8; i++)
      if (m.buttons[i] & 0x80) buttons |= 1 << i;
    return buttons;
  }
  uint8_t windows[256];
  PlatGetKeyboardState(windows);
  int buttons = 0;
  if (windows[PLAT_VK_LBUTTON] & 0x80) buttons |= 1;
  if (windows[PLAT_VK_RBUTTON] & 0x80) buttons |= 2;
  if (windows[PLAT_VK_MBUTTON] & 0x80) buttons |= 4;
  return buttons;
}

int SetHookedF10Flag() {
  g_InputState.hookedF10 = 1;
  return 0;
}

int ClearHookedF10Flag() {
  g_InputState.hookedF10 = 0;
  return 0;
}

int GetFirstHeldInputCore(int32_t mask) {
  InputState& in = g_InputState;
  WaitWhileInactive();
  int result;
  if (StartedLazily(&result)) return result;
  if (mask & 1) {
    SampleKeyboard();
    for (int code = 0; code < 256; code++) {
      if (code == DIK_KANJI || code == DIK_CAPITAL || code == DIK_KANA) continue;
      if (Held(code)) return code;
    }
    if (in.hookedF10) return DIK_F10;
    for (int32_t pad = 1; pad <= in.padCount; pad++)
      if (ReadPadStateCore(pad) != 0) return -1;
  }
  if (mask & 4) {
    int32_t x = 0, y = 0;
    GetMousePosition(&x, &y);
    const PlatRect client = g_System.clientRectOnScreen;
    if (x >= 0 && y >= 0 && IsWindowActive() && x <= client.right - client.left &&
        y <= client.bottom - client.top && GetMouseButtonState() != 0)
      return -1;
  }
  return 0;
}

int WaitAnyInputCore() {
  // What is still held from before does not count: first everything is let go.
  int ended = PumpMessagesCore();
  while (ended == 0 && GetFirstHeldInputCore(7) != 0) {
    PlatSleep(1);
    ended = PumpMessagesCore();
  }
  if (PumpMessagesCore() != 0) return 0;
  for (;;) {
    const int held = GetFirstHeldInputCore(7);
    if (held != 0) return held;
    PlatSleep(1);
    if (PumpMessagesCore() != 0) return 0;
  }
}
