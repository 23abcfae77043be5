// The window layer's keyboard (the key state each thread's input leaves), the cursor, the
// desktop and the message box.
#include "platform/window/window.h"

#include "platform/text/text.h"
#include "platform/window/windowstate.h"

#include <cstdio>
#include <cstring>

using namespace wincore;

namespace {

bool IsSideKey(uint32_t vk) { return vk >= PLAT_VK_LSHIFT && vk <= PLAT_VK_RMENU; }
uint32_t PlainOfSide(uint32_t vk) { return PLAT_VK_SHIFT + (vk - PLAT_VK_LSHIFT) / 2; }

void SetKey(uint8_t keys[256], uint32_t vk, bool down) {
  vk &= 0xFF;
  if (down) {
    if (!(keys[vk] & 0x80)) keys[vk] ^= 1;
    keys[vk] |= 0x80;
  } else {
    keys[vk] &= 0x7F;
  }
  if (IsSideKey(vk)) {
    uint32_t plain = PlainOfSide(vk);
    uint32_t left = PLAT_VK_LSHIFT + (plain - PLAT_VK_SHIFT) * 2;
    bool held = ((keys[left] | keys[left + 1]) & 0x80) != 0;
    if (held && !(keys[plain] & 0x80)) keys[plain] ^= 1;
    keys[plain] = uint8_t((keys[plain] & 0x7F) | (held ? 0x80 : 0));
  }
}

// The side a key message stands for: the scan code tells the shifts apart, the extended
// bit the controls and menus.
uint32_t SideOf(const PlatMsg& m) {
  uint32_t vk = uint32_t(m.wParam) & 0xFF;
  uint32_t scan = (uint32_t(m.lParam) >> 16) & 0xFF;
  bool extended = (uint32_t(m.lParam) >> 24) & 1;
  if (vk == PLAT_VK_SHIFT) return scan == 0x36 ? PLAT_VK_RSHIFT : PLAT_VK_LSHIFT;
  if (vk == PLAT_VK_CONTROL) return extended ? PLAT_VK_RCONTROL : PLAT_VK_LCONTROL;
  if (vk == PLAT_VK_MENU) return extended ? PLAT_VK_RMENU : PLAT_VK_LMENU;
  return vk;
}

int DefaultAnswer(uint32_t type) {
  bool second = (type & 0xF00) == PLAT_MB_DEFBUTTON2;
  switch (type & 0xF) {
    case PLAT_MB_OKCANCEL: return second ? PLAT_IDCANCEL : PLAT_IDOK;
    case PLAT_MB_YESNO: return second ? PLAT_IDNO : PLAT_IDYES;
    default: return PLAT_IDOK;
  }
}

int NoAnswer(uint32_t kind) {
  return kind == PLAT_MB_YESNO ? PLAT_IDNO : kind == PLAT_MB_OKCANCEL ? PLAT_IDCANCEL : PLAT_IDOK;
}

// A question asked while no window is up is the program's start-up question: the only one
// an automated run may answer for the user, and the only one a virtual display may skip.
bool AnyWindowLive() {
  State& s = S();
  Lock l(s.mu);
  for (const WindowRec& w : s.windows)
    if (w.used && !w.destroying) return true;
  return false;
}

}  // namespace

// The thread's key state follows the input it takes from its queue.
void wincore::TakeInput(ThreadQueue& q, const Entry& e) {
  const PlatMsg& m = e.msg;
  switch (m.message) {
    case PLAT_WM_KEYDOWN:
    case PLAT_WM_SYSKEYDOWN:
      SetKey(q.keys, SideOf(m), true);
      q.taps.Press(int(SideOf(m) & 0xFF));
      q.keySerial = m.serial;
      q.keyCharsKnown = e.charsKnown;
      q.keyChars = e.chars;
      break;
    case PLAT_WM_KEYUP:
    case PLAT_WM_SYSKEYUP: {
      const uint32_t side = SideOf(m) & 0xFF;
      SetKey(q.keys, side, false);
      q.taps.Release(int(side));
      break;
    }
    case PLAT_WM_LBUTTONDOWN: SetKey(q.keys, PLAT_VK_LBUTTON, true); break;
    case PLAT_WM_LBUTTONUP: SetKey(q.keys, PLAT_VK_LBUTTON, false); break;
    case PLAT_WM_RBUTTONDOWN: SetKey(q.keys, PLAT_VK_RBUTTON, true); break;
    case PLAT_WM_RBUTTONUP: SetKey(q.keys, PLAT_VK_RBUTTON, false); break;
    case PLAT_WM_MBUTTONDOWN: SetKey(q.keys, PLAT_VK_MBUTTON, true); break;
    case PLAT_WM_MBUTTONUP: SetKey(q.keys, PLAT_VK_MBUTTON, false); break;
    default: break;
  }
}

// ---- keyboard ---------------------------------------------------------------------------

int PlatGetKeyboardState(uint8_t state[256]) {
  if (!state) return 0;
  State& s = S();
  Lock l(s.mu);
  ThreadQueue& q = s.queues[PlatThreadId()];
  std::memcpy(state, q.keys, 256);
  const uint32_t now = PlatTimeMs();
  for (uint32_t vk = 0; vk < 256; vk++) {
    if (!q.taps.ShowsHeld(int(vk), now)) continue;
    state[vk] |= 0x80;
    if (IsSideKey(vk)) state[PlainOfSide(vk)] |= 0x80;
  }
  return 1;
}

uint8_t PlatGetKeyState(uint32_t vk) {
  State& s = S();
  Lock l(s.mu);
  return s.queues[PlatThreadId()].keys[vk & 0xFF];
}

// ---- keys from back ends -----------------------------------------------------------------

void PlatQueueKey(PlatWnd window, uint32_t vk, int down, int charsKnown, const std::string& chars) {
  const PlatKeyRow* row = PlatKeyByVk(vk);
  const uint32_t scan = row ? row->scan : 0;
  const uint32_t extended = row ? row->extended : 0;
  uint32_t side = vk;
  if (vk == PLAT_VK_SHIFT || vk == PLAT_VK_CONTROL || vk == PLAT_VK_MENU)
    side = PLAT_VK_LSHIFT + (vk - PLAT_VK_SHIFT) * 2;
  uint32_t plain = IsSideKey(side) ? PlainOfSide(side) : vk;

  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return;
  bool wasDown = (s.asyncKeys[side & 0xFF] & 0x80) != 0;
  SetKey(s.asyncKeys, side, down != 0);
  bool alt = (s.asyncKeys[PLAT_VK_MENU] & 0x80) != 0;
  bool ctrl = (s.asyncKeys[PLAT_VK_CONTROL] & 0x80) != 0;
  bool system = (alt && !ctrl) || plain == PLAT_VK_F10 || (!down && plain == PLAT_VK_MENU);
  uint32_t message = down ? (system ? PLAT_WM_SYSKEYDOWN : PLAT_WM_KEYDOWN)
                          : (system ? PLAT_WM_SYSKEYUP : PLAT_WM_KEYUP);
  uint32_t lParam = 1u | (scan << 16) | (extended << 24) | (alt ? 1u << 29 : 0) |
                    ((wasDown || !down) ? 1u << 30 : 0) | (down ? 0 : 1u << 31);
  s.queues[w->thread].input.push_back(
      {MakeMsg(s, window, message, plain, PlatLParam(lParam)), charsKnown, chars});
}

void PlatQueueText(PlatWnd window, const std::string& sjis) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w || sjis.empty()) return;
  ThreadQueue& q = s.queues[w->thread];
  for (auto it = q.input.rbegin(); it != q.input.rend(); ++it) {
    if (it->msg.window != window) continue;
    if (it->msg.message != PLAT_WM_KEYDOWN && it->msg.message != PLAT_WM_SYSKEYDOWN) continue;
    if (it->charsKnown == 2) {
      it->chars += sjis;
      it->charsKnown = 1;
      return;
    }
    break;
  }
  for (char c : sjis) PushInput(s, *w, PLAT_WM_CHAR, uint8_t(c), 1);
}

// ---- cursor -----------------------------------------------------------------------------

namespace {
void ApplyCursorLocked(State& s) {
  int shown = (s.cursorCount >= 0 && s.cursorShape != PLAT_CURSOR_NONE) ? 1 : 0;
  if (shown == s.cursorShown) return;
  s.cursorShown = shown;
  Backend()->setCursorVisible(shown);
}
}  // namespace

int PlatShowCursor(int show) {
  State& s = S();
  Lock l(s.mu);
  s.cursorCount += show ? 1 : -1;
  ApplyCursorLocked(s);
  return s.cursorCount;
}

int32_t PlatSetCursor(int32_t cursor) {
  State& s = S();
  Lock l(s.mu);
  int32_t previous = s.cursorShape;
  s.cursorShape = cursor;
  ApplyCursorLocked(s);
  return previous;
}

int PlatIsCursorVisible() {
  State& s = S();
  Lock l(s.mu);
  return s.cursorShown;
}

int PlatGetCursorPos(PlatPoint* point) {
  if (!point) return 0;
  State& s = S();
  Lock l(s.mu);
  PlatPoint p;
  if (Backend()->getCursorPos(&p)) s.cursorPos = p;
  *point = s.cursorPos;
  return 1;
}

int PlatSetCursorPos(int32_t x, int32_t y) {
  State& s = S();
  Lock l(s.mu);
  s.cursorPos = {x, y};
  Backend()->setCursorPos(x, y);
  return 1;
}

// ---- desktop and system -----------------------------------------------------------------

int PlatSetScreenSaverActive(int active) {
  State& s = S();
  Lock l(s.mu);
  int previous = s.screenSaverActive;
  s.screenSaverActive = active ? 1 : 0;
  Backend()->allowScreenSaver(s.screenSaverActive);
  return previous;
}

int PlatGetScreenSaverActive() {
  State& s = S();
  Lock l(s.mu);
  return s.screenSaverActive;
}

uint32_t PlatGetForegroundLockTimeout() {
  State& s = S();
  Lock l(s.mu);
  return s.foregroundLockTimeout;
}

void PlatSetForegroundLockTimeout(uint32_t ms) {
  State& s = S();
  Lock l(s.mu);
  s.foregroundLockTimeout = ms;
}

int PlatEnableWindowIme(PlatWnd window, int enable) {
  return WithWindow(window, 0, [enable](WindowRec& w) {
    int previous = w.ime ? 1 : 0;
    w.ime = enable != 0;
    return previous;
  });
}

int PlatMessageBox(PlatWnd owner, const char* text, const char* caption, uint32_t type) {
  const uint32_t kind = type & 0xF;
  if (!AnyWindowLive()) {
    if (const char* answer = PlatGetEnv("KR_MESSAGEBOX_ANSWER")) {
      if (std::strcmp(answer, "yes") == 0) return kind == PLAT_MB_YESNO ? PLAT_IDYES : PLAT_IDOK;
      if (std::strcmp(answer, "no") == 0) return NoAnswer(kind);
    }
    const char* virtualDisplay = PlatGetEnv("KR_VIRTUAL_DISPLAY");
    if (virtualDisplay && std::strcmp(virtualDisplay, "1") == 0) {
      std::fprintf(stderr,
                   "On a virtual display nobody sees the start-up question \"%s\": answered No "
                   "(the game starts in a window; KR_MESSAGEBOX_ANSWER=yes|no answers it)\n",
                   PlatSjisToUtf8(caption ? caption : "").c_str());
      return NoAnswer(kind);
    }
  }
  int answer = Backend()->messageBox(owner, text ? text : "", caption ? caption : "", type);
  return answer ? answer : DefaultAnswer(type);
}
