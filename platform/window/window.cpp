// The part of the window layer that every back end shares: classes, windows, one message
// queue per thread, sending and posting, translation, timers, paint regions, the key
// state, the cursor count and the rectangles. The back end only shows windows and turns
// the user's actions into queued input (backend.h).
//
// One mutex guards all of it. It is never held while a window procedure, the observer or
// a back end's drain runs, since those call back in.
#include "platform/window/window.h"

#include "platform/kernel/kernel.h"
#include "platform/window/backend.h"
#include "platform/window/classlock.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct ClassRec {
  std::string key;  // name with ASCII letters upper-cased
  uint32_t style;
  PlatWndProc proc;
  int32_t cursor;
  int windows;
  int lockFd = -1;  // the shared hold while the class has windows (classlock.h)
};

struct TimerRec {
  uintptr_t id;
  uint32_t interval;
  uint32_t last;
};

struct WindowRec {
  bool used = false;
  uint16_t generation = 0;
  PlatWnd handle = 0;
  uint32_t thread = 0;
  std::string classKey;
  PlatWndProc proc = nullptr;
  uint32_t classStyle = 0;
  int32_t classCursor = PLAT_CURSOR_ARROW;
  std::string title;
  uint32_t style = 0;  // without the visible and minimised bits, which the flags hold
  uint32_t exStyle = 0;
  PlatRect client{};  // client area on screen (the restored one while minimised)
  bool visible = false, minimized = false, destroying = false, ime = true;
  bool fullScreen = false;
  bool updatePending = false;
  PlatRect update{};
  std::vector<TimerRec> timers;
};

struct Entry {
  PlatMsg msg;
  int charsKnown;  // see PlatQueueKey
  std::string chars;
};

// A message sent from another thread, waiting for the owner's next peek.
struct SentRec {
  PlatWnd window;
  uint32_t message;
  PlatWParam wParam;
  PlatLParam lParam;
  PlatLResult result;
  PlatEvent* done;
};

struct ThreadQueue {
  std::deque<Entry> posted;  // posted messages and translated characters
  std::deque<Entry> input;   // the user's keys, mouse, activation, moves and closes
  std::deque<SentRec*> sent;
  bool quit = false;
  int quitCode = 0;
  uint8_t keys[256] = {};
  // Characters of the key press taken last, for PlatTranslateMessage.
  uint32_t keySerial = 0;
  int keyCharsKnown = 0;
  std::string keyChars;
};

struct State {
  std::mutex mu;
  const PlatWindowBackend* backend = nullptr;
  std::vector<ClassRec> classes;
  std::vector<WindowRec> windows;
  std::unordered_map<uint32_t, ThreadQueue> queues;
  PlatWnd active = 0, foreground = 0;
  uint32_t serial = 0;
  int cursorCount = 0;
  int32_t cursorShape = PLAT_CURSOR_ARROW;
  int cursorShown = 1;
  PlatPoint cursorPos{};
  uint8_t asyncKeys[256] = {};  // keys as queued (the queues' states lag behind)
  int screenSaverActive = 1;
  uint32_t foregroundLockTimeout = 200000;
  PlatMessageObserver observer = nullptr;
  void* observerContext = nullptr;
  bool lockDirectorySet = false;
  std::string lockDirectory;
};

// Never destroyed: threads the program does not join may still post at exit.
State& S() {
  static State* s = new State;
  return *s;
}

using Lock = std::unique_lock<std::mutex>;

const PlatWindowBackend* BackendLocked(State& s) {
  if (!s.backend) {
    const char* env = PlatGetEnv("KR_PLATFORM");
    s.backend = (env && std::strcmp(env, "headless") == 0) ? PlatHeadlessBackend() : PlatSdlBackend();
  }
  return s.backend;
}

// The directory of class locks, or empty when classes stay private to the process.
std::string LockDirectoryLocked(State& s) {
  if (s.lockDirectorySet) return s.lockDirectory;
  return BackendLocked(s)->sharesClassNames ? PlatClassLockDefaultDirectory() : std::string();
}

const PlatWindowBackend* Backend() {
  State& s = S();
  Lock l(s.mu);
  return BackendLocked(s);
}

std::string ClassKey(const char* name) {
  std::string key;
  for (const unsigned char* p = (const unsigned char*)name; *p; p++) {
    // Leave both bytes of a double-byte character alone.
    if (((*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC)) && p[1]) {
      key += char(p[0]);
      key += char(p[1]);
      p++;
      continue;
    }
    key += char((*p >= 'a' && *p <= 'z') ? *p - 32 : *p);
  }
  return key;
}

ClassRec* FindClass(State& s, const std::string& key) {
  for (ClassRec& c : s.classes)
    if (c.key == key) return &c;
  return nullptr;
}

WindowRec* Find(State& s, PlatWnd handle) {
  if (handle == 0 || handle == PLAT_WND_THREAD) return nullptr;
  uint32_t index = handle & 0xFFFF;
  if (index == 0 || index > s.windows.size()) return nullptr;
  WindowRec& w = s.windows[index - 1];
  return (w.used && w.handle == handle) ? &w : nullptr;
}

// Runs f on the window's record under the lock; fallback for a bad handle.
template <typename R, typename F>
R WithWindow(PlatWnd window, R fallback, F f) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  return w ? f(*w) : fallback;
}

int32_t Width(const PlatRect& r) { return r.right - r.left; }
int32_t Height(const PlatRect& r) { return r.bottom - r.top; }

PlatLParam MakeLParam(int32_t low, int32_t high) {
  return PlatLParam(uint32_t(low & 0xFFFF) | (uint32_t(high & 0xFFFF) << 16));
}

PlatRect FrameInsets(uint32_t style, uint32_t exStyle, int hasMenu) {
  int32_t b = 0;
  if (style & PLAT_WS_THICKFRAME) b = 4;
  else if (style & PLAT_WS_DLGFRAME) b = 3;
  else if (style & PLAT_WS_BORDER) b = 1;
  PlatRect f{b, b, b, b};
  if ((style & PLAT_WS_CAPTION) == PLAT_WS_CAPTION) f.top += 20;
  if (exStyle & PLAT_WS_EX_CLIENTEDGE) {
    f.left += 2;
    f.top += 2;
    f.right += 2;
    f.bottom += 2;
  }
  if (hasMenu) f.top += 20;
  return f;
}

PlatRect WindowRectOf(const WindowRec& w) {
  PlatRect f = FrameInsets(w.style, w.exStyle, 0);
  return {w.client.left - f.left, w.client.top - f.top, w.client.right + f.right,
          w.client.bottom + f.bottom};
}

uint32_t ComposedStyle(const WindowRec& w) {
  return w.style | (w.visible ? uint32_t(PLAT_WS_VISIBLE) : 0u) |
         (w.minimized ? uint32_t(PLAT_WS_MINIMIZE) : 0u);
}

PlatNativeState NativeOf(const WindowRec& w) {
  return {w.title, w.client, ComposedStyle(w), w.exStyle, w.visible, w.minimized, w.fullScreen};
}

PlatMsg MakeMsg(State& s, PlatWnd window, uint32_t message, PlatWParam wParam,
                PlatLParam lParam) {
  if (++s.serial == 0) s.serial = 1;
  return PlatMsg{window, message, wParam, lParam, PlatTimeMs(), s.cursorPos, s.serial};
}

void PushInput(State& s, const WindowRec& w, uint32_t message, PlatWParam wParam,
               PlatLParam lParam) {
  s.queues[w.thread].input.push_back({MakeMsg(s, w.handle, message, wParam, lParam), 1, {}});
}

void InvalidateLocked(WindowRec& w, const PlatRect* rect) {
  PlatRect all{0, 0, Width(w.client), Height(w.client)};
  PlatRect r = rect ? *rect : all;
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, all.right);
  r.bottom = std::min(r.bottom, all.bottom);
  if (r.left >= r.right || r.top >= r.bottom) return;
  if (!w.updatePending) {
    w.update = r;
    w.updatePending = true;
    return;
  }
  w.update.left = std::min(w.update.left, r.left);
  w.update.top = std::min(w.update.top, r.top);
  w.update.right = std::max(w.update.right, r.right);
  w.update.bottom = std::max(w.update.bottom, r.bottom);
}

bool InRange(uint32_t message, uint32_t low, uint32_t high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

bool WindowMatches(PlatWnd window, PlatWnd filter) {
  if (filter == PLAT_WND_THREAD) return window == 0;
  return filter == 0 || window == filter;
}

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

// The thread's key state follows the input it takes from its queue.
void TakeInput(ThreadQueue& q, const Entry& e) {
  const PlatMsg& m = e.msg;
  switch (m.message) {
    case PLAT_WM_KEYDOWN:
    case PLAT_WM_SYSKEYDOWN:
      SetKey(q.keys, SideOf(m), true);
      q.keySerial = m.serial;
      q.keyCharsKnown = e.charsKnown;
      q.keyChars = e.chars;
      break;
    case PLAT_WM_KEYUP:
    case PLAT_WM_SYSKEYUP: SetKey(q.keys, SideOf(m), false); break;
    case PLAT_WM_LBUTTONDOWN: SetKey(q.keys, PLAT_VK_LBUTTON, true); break;
    case PLAT_WM_LBUTTONUP: SetKey(q.keys, PLAT_VK_LBUTTON, false); break;
    case PLAT_WM_RBUTTONDOWN: SetKey(q.keys, PLAT_VK_RBUTTON, true); break;
    case PLAT_WM_RBUTTONUP: SetKey(q.keys, PLAT_VK_RBUTTON, false); break;
    case PLAT_WM_MBUTTONDOWN: SetKey(q.keys, PLAT_VK_MBUTTON, true); break;
    case PLAT_WM_MBUTTONUP: SetKey(q.keys, PLAT_VK_MBUTTON, false); break;
    default: break;
  }
}

PlatLResult CallProc(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam) {
  State& s = S();
  PlatWndProc proc;
  PlatMessageObserver observer;
  void* context;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    proc = w->proc;
    observer = s.observer;
    context = s.observerContext;
  }
  if (observer) observer(window, message, wParam, lParam, context);
  return proc(window, message, wParam, lParam);
}

void SyncNative(PlatWnd window) {
  State& s = S();
  PlatNativeState state;
  const PlatWindowBackend* b;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return;
    state = NativeOf(*w);
    b = BackendLocked(s);
  }
  b->sync(window, state);
}

void DeliverSent(uint32_t thread) {
  State& s = S();
  for (;;) {
    SentRec* rec;
    {
      Lock l(s.mu);
      ThreadQueue& q = s.queues[thread];
      if (q.sent.empty()) return;
      rec = q.sent.front();
      q.sent.pop_front();
    }
    PlatLResult result = CallProc(rec->window, rec->message, rec->wParam, rec->lParam);
    PlatEvent* done = rec->done;
    rec->result = result;
    PlatEventSet(done);  // the sender may free rec from here on
  }
}

int IconicFlag(PlatWnd window) {
  return WithWindow(window, 0, [](WindowRec& w) { return w.minimized ? 1 : 0; });
}

// The messages of an activation change from `from` to `to` (either may be 0).
void SendActivation(PlatWnd from, PlatWnd to) {
  if (from) {
    PlatSendMessage(from, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE | (IconicFlag(from) << 16), to);
    if (!to) PlatSendMessage(from, PLAT_WM_ACTIVATEAPP, 0, 0);
  }
  if (to) {
    if (!from) PlatSendMessage(to, PLAT_WM_ACTIVATEAPP, 1, 0);
    PlatSendMessage(to, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE | (IconicFlag(to) << 16), from);
  }
}

int DefaultAnswer(uint32_t type) {
  bool second = (type & 0xF00) == PLAT_MB_DEFBUTTON2;
  switch (type & 0xF) {
    case PLAT_MB_OKCANCEL: return second ? PLAT_IDCANCEL : PLAT_IDOK;
    case PLAT_MB_YESNO: return second ? PLAT_IDNO : PLAT_IDYES;
    default: return PLAT_IDOK;
  }
}

}  // namespace

// ---- back end ---------------------------------------------------------------------------

int PlatWindowSelectBackend(const char* name) {
  if (!name) return -1;
  const PlatWindowBackend* wanted = nullptr;
  if (std::strcmp(name, "headless") == 0) wanted = PlatHeadlessBackend();
  else if (std::strcmp(name, "sdl") == 0) wanted = PlatSdlBackend();
  if (!wanted) return -1;
  State& s = S();
  Lock l(s.mu);
  if (s.backend && s.backend != wanted) return -1;
  s.backend = wanted;
  return 0;
}

const char* PlatWindowBackendName() { return Backend()->name; }

void PlatSetClassLockDirectory(const char* directory) {
  State& s = S();
  Lock l(s.mu);
  s.lockDirectorySet = true;
  s.lockDirectory = directory ? directory : "";
}

// ---- classes ----------------------------------------------------------------------------

int PlatRegisterClass(const PlatWndClass* wc) {
  if (!wc || !wc->proc || !wc->className || !wc->className[0]) return 0;
  State& s = S();
  Lock l(s.mu);
  std::string key = ClassKey(wc->className);
  if (FindClass(s, key)) return 0;
  s.classes.push_back({key, wc->style, wc->proc, wc->cursor, 0});
  return 1;
}

int PlatUnregisterClass(const char* className) {
  if (!className) return 0;
  State& s = S();
  Lock l(s.mu);
  std::string key = ClassKey(className);
  for (size_t i = 0; i < s.classes.size(); i++) {
    if (s.classes[i].key != key) continue;
    if (s.classes[i].windows > 0) return 0;
    s.classes.erase(s.classes.begin() + long(i));
    return 1;
  }
  return 0;
}

PlatWnd PlatFindWindow(const char* className, const char* title) {
  State& s = S();
  Lock l(s.mu);
  std::string key = className ? ClassKey(className) : std::string();
  for (const WindowRec& w : s.windows) {
    if (!w.used || w.destroying) continue;
    if (className && w.classKey != key) continue;
    if (title && w.title != title) continue;
    return w.handle;
  }
  if (!className || title) return 0;
  const std::string directory = LockDirectoryLocked(s);
  if (directory.empty()) return 0;
  return PlatClassLockHeldElsewhere(PlatClassLockPath(directory, key)) ? PLAT_WND_OTHER_PROCESS : 0;
}

// ---- windows ----------------------------------------------------------------------------

PlatWnd PlatCreateWindow(uint32_t exStyle, const char* className, const char* title,
                         uint32_t style, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!className) return 0;
  State& s = S();
  if (!Backend()->available()) return 0;  // no display to show it on
  PlatWnd handle;
  {
    Lock l(s.mu);
    ClassRec* c = FindClass(s, ClassKey(className));
    if (!c) return 0;
    size_t index = 0;
    while (index < s.windows.size() && s.windows[index].used) index++;
    if (index >= 0xFFFF) return 0;
    if (index == s.windows.size()) s.windows.emplace_back();
    WindowRec& w = s.windows[index];
    uint16_t generation = uint16_t((w.generation + 1) & 0x7FFF);
    if (generation == 0) generation = 1;
    w = WindowRec{};
    w.used = true;
    w.generation = generation;
    w.handle = (uint32_t(generation) << 16) | uint32_t(index + 1);
    w.thread = PlatThreadId();
    w.classKey = c->key;
    w.proc = c->proc;
    w.classStyle = c->style;
    w.classCursor = c->cursor;
    w.title = title ? title : "";
    w.style = style & ~(PLAT_WS_VISIBLE | PLAT_WS_MINIMIZE);
    w.exStyle = exStyle;
    PlatRect f = FrameInsets(w.style, exStyle, 0);
    w.client = {x + f.left, y + f.top, x + std::max(width, 0) - f.right,
                y + std::max(height, 0) - f.bottom};
    w.client.right = std::max(w.client.right, w.client.left);
    w.client.bottom = std::max(w.client.bottom, w.client.top);
    InvalidateLocked(w, nullptr);
    if (c->windows++ == 0) {
      const std::string directory = LockDirectoryLocked(s);
      if (!directory.empty()) c->lockFd = PlatClassLockHold(PlatClassLockPath(directory, c->key));
    }
    handle = w.handle;
  }
  if (CallProc(handle, PLAT_WM_CREATE, 0, 0) == -1) {
    PlatDestroyWindow(handle);
    return 0;
  }
  if (style & PLAT_WS_VISIBLE) {
    {
      Lock l(s.mu);
      if (WindowRec* w = Find(s, handle)) w->visible = true;
    }
    SyncNative(handle);
  }
  return handle;
}

int PlatDestroyWindow(PlatWnd window) {
  State& s = S();
  const uint32_t me = PlatThreadId();
  bool wasActive;
  int minimized;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w || w->thread != me || w->destroying) return 0;
    w->destroying = true;
    wasActive = s.active == window;
    if (wasActive) s.active = 0;
    if (s.foreground == window) s.foreground = 0;
    minimized = w->minimized;
  }
  if (wasActive) {
    CallProc(window, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE | (minimized << 16), 0);
    CallProc(window, PLAT_WM_ACTIVATEAPP, 0, 0);
  }
  {
    Lock l(s.mu);
    if (WindowRec* w = Find(s, window)) w->visible = false;
  }
  SyncNative(window);
  CallProc(window, PLAT_WM_DESTROY, 0, 0);
  CallProc(window, PLAT_WM_NCDESTROY, 0, 0);

  std::vector<SentRec*> unanswered;
  const PlatWindowBackend* b;
  {
    Lock l(s.mu);
    b = BackendLocked(s);
    WindowRec* w = Find(s, window);
    ThreadQueue& q = s.queues[me];
    auto mine = [window](const Entry& e) { return e.msg.window == window; };
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), mine), q.posted.end());
    q.input.erase(std::remove_if(q.input.begin(), q.input.end(), mine), q.input.end());
    for (auto it = q.sent.begin(); it != q.sent.end();) {
      if ((*it)->window == window) {
        unanswered.push_back(*it);
        it = q.sent.erase(it);
      } else {
        ++it;
      }
    }
    if (w) {
      if (ClassRec* c = FindClass(s, w->classKey)) {
        if (--c->windows == 0) {
          PlatClassLockRelease(c->lockFd);
          c->lockFd = -1;
        }
      }
      uint16_t generation = w->generation;
      *w = WindowRec{};
      w->generation = generation;
    }
  }
  b->destroy(window);
  for (SentRec* rec : unanswered) PlatEventSet(rec->done);  // result stays 0
  return 1;
}

int PlatIsWindow(PlatWnd window) {
  return WithWindow(window, 0, [](WindowRec&) { return 1; });
}

uint32_t PlatGetWindowThreadId(PlatWnd window) {
  return WithWindow(window, 0u, [](WindowRec& w) { return w.thread; });
}

int PlatShowWindow(PlatWnd window, int command) {
  State& s = S();
  int previous;
  bool activate = false, deactivate = false, sized = false;
  PlatWParam sizeKind = 0;
  PlatLParam sizeValue = 0;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    previous = w->visible ? 1 : 0;
    switch (command) {
      case PLAT_SW_HIDE:
        w->visible = false;
        deactivate = s.active == window;
        break;
      case PLAT_SW_SHOWMINIMIZED:
      case PLAT_SW_MINIMIZE:
      case PLAT_SW_SHOWMINNOACTIVE:
        w->visible = true;
        if (!w->minimized) {
          w->minimized = true;
          sized = true;
          sizeKind = PLAT_SIZE_MINIMIZED;
        }
        deactivate = command == PLAT_SW_MINIMIZE && s.active == window;
        activate = command == PLAT_SW_SHOWMINIMIZED;
        break;
      default: {
        bool wasMinimized = w->minimized;
        w->visible = true;
        w->minimized = false;
        if (wasMinimized) {
          sized = true;
          sizeKind = PLAT_SIZE_RESTORED;
          sizeValue = MakeLParam(Width(w->client), Height(w->client));
        }
        if (!previous || wasMinimized) InvalidateLocked(*w, nullptr);
        activate = command != PLAT_SW_SHOWNOACTIVATE && command != PLAT_SW_SHOWNA;
        break;
      }
    }
  }
  SyncNative(window);
  if (deactivate) PlatSetActiveWindow(0);
  if (sized) PlatSendMessage(window, PLAT_WM_SIZE, sizeKind, sizeValue);
  if (activate) PlatSetActiveWindow(window);
  return previous;
}

int PlatIsWindowVisible(PlatWnd window) {
  return WithWindow(window, 0, [](WindowRec& w) { return w.visible ? 1 : 0; });
}

int PlatIsIconic(PlatWnd window) { return IconicFlag(window); }

int PlatUpdateWindow(PlatWnd window) {
  State& s = S();
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    if (!w->updatePending || !w->visible || w->minimized) return 1;
  }
  PlatSendMessage(window, PLAT_WM_PAINT, 0, 0);
  return 1;
}

int PlatSetWindowPos(PlatWnd window, PlatWnd insertAfter, int32_t x, int32_t y, int32_t cx,
                     int32_t cy, uint32_t flags) {
  State& s = S();
  bool moved, sized, minimized, activate;
  PlatRect client;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    PlatRect f = FrameInsets(w->style, w->exStyle, 0);
    PlatRect r = WindowRectOf(*w);
    if (!(flags & PLAT_SWP_NOMOVE)) {
      r = {x, y, x + Width(r), y + Height(r)};
    }
    if (!(flags & PLAT_SWP_NOSIZE)) {
      r.right = r.left + std::max(cx, 0);
      r.bottom = r.top + std::max(cy, 0);
    }
    if (!(flags & PLAT_SWP_NOZORDER)) {
      if (insertAfter == PLAT_HWND_TOPMOST) w->exStyle |= PLAT_WS_EX_TOPMOST;
      if (insertAfter == PLAT_HWND_NOTOPMOST) w->exStyle &= ~PLAT_WS_EX_TOPMOST;
    }
    client = {r.left + f.left, r.top + f.top, r.right - f.right, r.bottom - f.bottom};
    client.right = std::max(client.right, client.left);
    client.bottom = std::max(client.bottom, client.top);
    moved = client.left != w->client.left || client.top != w->client.top;
    sized = Width(client) != Width(w->client) || Height(client) != Height(w->client);
    w->client = client;
    if (sized && !(flags & PLAT_SWP_NOREDRAW)) InvalidateLocked(*w, nullptr);
    if (flags & PLAT_SWP_SHOWWINDOW) w->visible = true;
    if (flags & PLAT_SWP_HIDEWINDOW) w->visible = false;
    minimized = w->minimized;
    activate = !(flags & (PLAT_SWP_NOACTIVATE | PLAT_SWP_NOZORDER)) && w->visible && !minimized;
  }
  SyncNative(window);
  if (moved) PlatSendMessage(window, PLAT_WM_MOVE, 0, MakeLParam(client.left, client.top));
  if (sized && !minimized)
    PlatSendMessage(window, PLAT_WM_SIZE, PLAT_SIZE_RESTORED,
                    MakeLParam(Width(client), Height(client)));
  if (activate) PlatSetActiveWindow(window);
  return 1;
}

int PlatMoveWindow(PlatWnd window, int32_t x, int32_t y, int32_t width, int32_t height,
                   int repaint) {
  return PlatSetWindowPos(window, 0, x, y, width, height,
                          PLAT_SWP_NOZORDER | PLAT_SWP_NOACTIVATE |
                              (repaint ? 0u : uint32_t(PLAT_SWP_NOREDRAW)));
}

uint32_t PlatGetWindowLong(PlatWnd window, int index) {
  return WithWindow(window, 0u, [index](WindowRec& w) {
    return index == PLAT_GWL_STYLE ? ComposedStyle(w) : index == PLAT_GWL_EXSTYLE ? w.exStyle : 0u;
  });
}

uint32_t PlatSetWindowLong(PlatWnd window, int index, uint32_t value) {
  State& s = S();
  uint32_t previous;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    if (index == PLAT_GWL_STYLE) {
      previous = ComposedStyle(*w);
      w->style = value & ~(PLAT_WS_VISIBLE | PLAT_WS_MINIMIZE);
      w->visible = (value & PLAT_WS_VISIBLE) != 0;
    } else if (index == PLAT_GWL_EXSTYLE) {
      previous = w->exStyle;
      w->exStyle = value;
    } else {
      return 0;
    }
  }
  SyncNative(window);
  return previous;
}

int PlatSetWindowText(PlatWnd window, const char* text) {
  State& s = S();
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    w->title = text ? text : "";
  }
  SyncNative(window);
  return 1;
}

int PlatGetWindowText(PlatWnd window, char* text, int size) {
  if (!text || size <= 0) return 0;
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  text[0] = '\0';
  if (!w) return 0;
  size_t n = std::min(w->title.size(), size_t(size - 1));
  std::memcpy(text, w->title.data(), n);
  text[n] = '\0';
  return int(n);
}

int PlatSetWindowFullScreen(PlatWnd window, int on) {
  State& s = S();
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    w->fullScreen = on != 0;
  }
  SyncNative(window);
  return 1;
}

int PlatIsWindowFullScreen(PlatWnd window) {
  return WithWindow(window, 0, [](WindowRec& w) { return w.fullScreen ? 1 : 0; });
}

// ---- rectangles -------------------------------------------------------------------------

int PlatGetClientRect(PlatWnd window, PlatRect* rect) {
  if (!rect) return 0;
  return WithWindow(window, 0, [rect](WindowRec& w) {
    *rect = w.minimized ? PlatRect{0, 0, 0, 0} : PlatRect{0, 0, Width(w.client), Height(w.client)};
    return 1;
  });
}

int PlatGetWindowRect(PlatWnd window, PlatRect* rect) {
  if (!rect) return 0;
  return WithWindow(window, 0, [rect](WindowRec& w) {
    *rect = WindowRectOf(w);
    return 1;
  });
}

// sign 1 client to screen, -1 back.
static int ShiftPoint(PlatWnd window, PlatPoint* point, int32_t sign) {
  if (!point) return 0;
  return WithWindow(window, 0, [point, sign](WindowRec& w) {
    point->x += sign * w.client.left;
    point->y += sign * w.client.top;
    return 1;
  });
}

int PlatClientToScreen(PlatWnd window, PlatPoint* point) { return ShiftPoint(window, point, 1); }
int PlatScreenToClient(PlatWnd window, PlatPoint* point) { return ShiftPoint(window, point, -1); }

int PlatAdjustWindowRectEx(PlatRect* rect, uint32_t style, int hasMenu, uint32_t exStyle) {
  if (!rect) return 0;
  PlatRect f = FrameInsets(style, exStyle, hasMenu);
  rect->left -= f.left;
  rect->top -= f.top;
  rect->right += f.right;
  rect->bottom += f.bottom;
  return 1;
}

// ---- activation -------------------------------------------------------------------------

PlatWnd PlatSetActiveWindow(PlatWnd window) {
  State& s = S();
  PlatWnd previous;
  {
    Lock l(s.mu);
    if (window && !Find(s, window)) return 0;
    previous = s.active;
    if (previous == window) return previous;
    s.active = window;
    if (window) s.foreground = window;
    else if (s.foreground == previous) s.foreground = 0;
  }
  SendActivation(previous, window);
  return previous;
}

PlatWnd PlatGetActiveWindow() {
  State& s = S();
  Lock l(s.mu);
  return s.active;
}

int PlatSetForegroundWindow(PlatWnd window) {
  if (!PlatIsWindow(window)) return 0;
  PlatSetActiveWindow(window);
  return 1;
}

PlatWnd PlatGetForegroundWindow() {
  State& s = S();
  Lock l(s.mu);
  return s.foreground;
}

int PlatBringWindowToTop(PlatWnd window) { return PlatSetForegroundWindow(window); }

// ---- messages ---------------------------------------------------------------------------

int PlatPostMessage(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam) {
  if (window == 0) return PlatPostThreadMessage(PlatThreadId(), message, wParam, lParam);
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w || w->destroying) return 0;
  s.queues[w->thread].posted.push_back({MakeMsg(s, window, message, wParam, lParam), 0, {}});
  return 1;
}

int PlatPostThreadMessage(uint32_t threadId, uint32_t message, PlatWParam wParam,
                          PlatLParam lParam) {
  if (threadId == 0) return 0;
  State& s = S();
  Lock l(s.mu);
  s.queues[threadId].posted.push_back({MakeMsg(s, 0, message, wParam, lParam), 0, {}});
  return 1;
}

void PlatPostQuitMessage(int exitCode) {
  State& s = S();
  Lock l(s.mu);
  ThreadQueue& q = s.queues[PlatThreadId()];
  q.quit = true;
  q.quitCode = exitCode;
}

PlatLResult PlatSendMessage(PlatWnd window, uint32_t message, PlatWParam wParam,
                            PlatLParam lParam) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return 0;
  if (w->thread == PlatThreadId()) {
    l.unlock();
    return CallProc(window, message, wParam, lParam);
  }
  SentRec rec{window, message, wParam, lParam, 0, PlatEventCreate(1, 0)};
  if (!rec.done) return 0;
  s.queues[w->thread].sent.push_back(&rec);
  l.unlock();
  PlatEventWait(rec.done, PLAT_INFINITE);
  PlatEventDestroy(rec.done);
  return rec.result;
}

int PlatPeekMessage(PlatMsg* msg, PlatWnd filter, uint32_t minMessage, uint32_t maxMessage,
                    uint32_t remove) {
  State& s = S();
  const uint32_t me = PlatThreadId();
  DeliverSent(me);
  Backend()->drain();

  Lock l(s.mu);
  ThreadQueue& q = s.queues[me];
  const bool take = (remove & PLAT_PM_REMOVE) != 0;
  auto found = [&](const PlatMsg& m) {
    if (msg) *msg = m;
    return 1;
  };
  for (std::deque<Entry>* queue : {&q.posted, &q.input}) {
    for (auto it = queue->begin(); it != queue->end(); ++it) {
      if (!WindowMatches(it->msg.window, filter) || !InRange(it->msg.message, minMessage, maxMessage))
        continue;
      PlatMsg m = it->msg;
      if (take) {
        if (queue == &q.input) TakeInput(q, *it);
        queue->erase(it);
      }
      return found(m);
    }
  }
  if (q.quit && (filter == 0 || filter == PLAT_WND_THREAD) &&
      InRange(PLAT_WM_QUIT, minMessage, maxMessage)) {
    PlatMsg m = MakeMsg(s, 0, PLAT_WM_QUIT, PlatWParam(q.quitCode), 0);
    if (take) q.quit = false;
    return found(m);
  }
  if (filter != PLAT_WND_THREAD && InRange(PLAT_WM_PAINT, minMessage, maxMessage)) {
    for (const WindowRec& w : s.windows) {
      if (w.used && w.thread == me && !w.destroying && w.updatePending && w.visible &&
          !w.minimized && WindowMatches(w.handle, filter))
        return found(MakeMsg(s, w.handle, PLAT_WM_PAINT, 0, 0));
    }
  }
  if (filter != PLAT_WND_THREAD && InRange(PLAT_WM_TIMER, minMessage, maxMessage)) {
    const uint32_t now = PlatTimeMs();
    for (WindowRec& w : s.windows) {
      if (!w.used || w.thread != me || w.destroying || !WindowMatches(w.handle, filter)) continue;
      for (TimerRec& t : w.timers) {
        if (now - t.last < t.interval) continue;
        if (take) t.last = now;
        return found(MakeMsg(s, w.handle, PLAT_WM_TIMER, t.id, 0));
      }
    }
  }
  return 0;
}

int PlatTranslateMessage(const PlatMsg* msg) {
  if (!msg || (msg->message != PLAT_WM_KEYDOWN && msg->message != PLAT_WM_SYSKEYDOWN)) return 0;
  State& s = S();
  std::string chars;
  {
    Lock l(s.mu);
    ThreadQueue& q = s.queues[PlatThreadId()];
    if (msg->serial != 0 && msg->serial == q.keySerial && q.keyCharsKnown) {
      chars = q.keyChars;
    } else {
      int c = PlatDefaultKeyChar(uint32_t(msg->wParam) & 0xFF, q.keys);
      if (c >= 0) chars = char(c);
    }
  }
  if (chars.empty()) return 0;
  const uint32_t message = msg->message == PLAT_WM_SYSKEYDOWN ? PLAT_WM_SYSCHAR : PLAT_WM_CHAR;
  for (char c : chars) PlatPostMessage(msg->window, message, uint8_t(c), msg->lParam);
  return 1;
}

PlatLResult PlatDispatchMessage(const PlatMsg* msg) {
  if (!msg || msg->window == 0) return 0;
  PlatLResult result = CallProc(msg->window, msg->message, msg->wParam, msg->lParam);
  // A procedure that leaves its paint undone would get WM_PAINT for ever.
  if (msg->message == PLAT_WM_PAINT) PlatValidateRect(msg->window, nullptr);
  return result;
}

PlatLResult PlatDefWindowProc(PlatWnd window, uint32_t message, PlatWParam wParam,
                              PlatLParam lParam) {
  State& s = S();
  switch (message) {
    case PLAT_WM_CLOSE: PlatDestroyWindow(window); return 0;
    case PLAT_WM_PAINT: PlatValidateRect(window, nullptr); return 0;
    case PLAT_WM_SETCURSOR: {
      // The class cursor over the client area, the arrow anywhere else.
      const bool client = (uint32_t(lParam) & 0xFFFF) == PLAT_HTCLIENT;
      int32_t cursor = WithWindow(window, int32_t(-1), [client](WindowRec& w) {
        return client ? w.classCursor : int32_t(PLAT_CURSOR_ARROW);
      });
      if (cursor < 0) return 0;
      PlatSetCursor(cursor);
      return 1;
    }
    case PLAT_WM_SYSCOMMAND:
      switch (uint32_t(wParam) & 0xFFF0) {
        case PLAT_SC_CLOSE: PlatSendMessage(window, PLAT_WM_CLOSE, 0, 0); break;
        case PLAT_SC_MINIMIZE: PlatShowWindow(window, PLAT_SW_MINIMIZE); break;
        case PLAT_SC_RESTORE: PlatShowWindow(window, PLAT_SW_RESTORE); break;
        case PLAT_SC_SCREENSAVE: {
          const PlatWindowBackend* b;
          {
            Lock l(s.mu);
            if (!s.screenSaverActive) break;
            b = BackendLocked(s);
          }
          b->startScreenSaver();
          break;
        }
        default: break;
      }
      return 0;
    case PLAT_WM_SYSKEYDOWN:
      if (wParam == PLAT_VK_F4 && (uint32_t(lParam) & (1u << 29)))
        PlatSendMessage(window, PLAT_WM_SYSCOMMAND, PLAT_SC_CLOSE, 0);
      return 0;
    default: return 0;
  }
}

// ---- painting ---------------------------------------------------------------------------

int PlatInvalidateRect(PlatWnd window, const PlatRect* rect) {
  return WithWindow(window, 0, [rect](WindowRec& w) {
    InvalidateLocked(w, rect);
    return 1;
  });
}

int PlatValidateRect(PlatWnd window, const PlatRect* rect) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return 0;
  // The region is kept as one rectangle: it goes when the rectangle given covers it.
  if (!rect || (rect->left <= w->update.left && rect->top <= w->update.top &&
                rect->right >= w->update.right && rect->bottom >= w->update.bottom))
    w->updatePending = false;
  return 1;
}

int PlatBeginPaint(PlatWnd window, PlatPaint* paint) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return 0;
  PlatRect r = w->updatePending ? w->update : PlatRect{0, 0, 0, 0};
  w->updatePending = false;
  if (paint) paint->paintRect = r;
  return 1;
}

int PlatEndPaint(PlatWnd window, const PlatPaint*) { return PlatIsWindow(window); }

int PlatFillRect(PlatWnd window, const PlatRect* rect, uint32_t rgb) {
  if (!rect) return 0;
  State& s = S();
  PlatNativeState state;
  const PlatWindowBackend* b;
  PlatRect r = *rect;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return 0;
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, Width(w->client));
    r.bottom = std::min(r.bottom, Height(w->client));
    if (r.left >= r.right || r.top >= r.bottom) return 1;
    state = NativeOf(*w);
    b = BackendLocked(s);
  }
  b->fillRect(window, state, r, rgb & 0xFFFFFF);
  return 1;
}

// ---- timers -----------------------------------------------------------------------------

uintptr_t PlatSetTimer(PlatWnd window, uintptr_t id, uint32_t ms) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return 0;
  const uint32_t now = PlatTimeMs();
  for (TimerRec& t : w->timers) {
    if (t.id == id) {
      t.interval = ms;
      t.last = now;
      return id;
    }
  }
  w->timers.push_back({id, ms, now});
  return id;
}

int PlatKillTimer(PlatWnd window, uintptr_t id) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return 0;
  for (size_t i = 0; i < w->timers.size(); i++) {
    if (w->timers[i].id == id) {
      w->timers.erase(w->timers.begin() + long(i));
      return 1;
    }
  }
  return 0;
}

// ---- keyboard ---------------------------------------------------------------------------

int PlatGetKeyboardState(uint8_t state[256]) {
  if (!state) return 0;
  State& s = S();
  Lock l(s.mu);
  std::memcpy(state, s.queues[PlatThreadId()].keys, 256);
  return 1;
}

uint8_t PlatGetKeyState(uint32_t vk) {
  State& s = S();
  Lock l(s.mu);
  return s.queues[PlatThreadId()].keys[vk & 0xFF];
}

// ---- cursor -----------------------------------------------------------------------------

namespace {
void ApplyCursorLocked(State& s) {
  int shown = (s.cursorCount >= 0 && s.cursorShape != PLAT_CURSOR_NONE) ? 1 : 0;
  if (shown == s.cursorShown) return;
  s.cursorShown = shown;
  BackendLocked(s)->setCursorVisible(shown);
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
  if (BackendLocked(s)->getCursorPos(&p)) s.cursorPos = p;
  *point = s.cursorPos;
  return 1;
}

int PlatSetCursorPos(int32_t x, int32_t y) {
  State& s = S();
  Lock l(s.mu);
  s.cursorPos = {x, y};
  BackendLocked(s)->setCursorPos(x, y);
  return 1;
}

// ---- desktop and system -----------------------------------------------------------------

void PlatGetDesktopSize(int32_t* width, int32_t* height) {
  int32_t w = 0, h = 0, d = 0;
  Backend()->getDesktop(&w, &h, &d);
  if (width) *width = w;
  if (height) *height = h;
}

int32_t PlatGetDesktopDepth() {
  int32_t w = 0, h = 0, d = 0;
  Backend()->getDesktop(&w, &h, &d);
  return d;
}

int PlatSetScreenSaverActive(int active) {
  State& s = S();
  Lock l(s.mu);
  int previous = s.screenSaverActive;
  s.screenSaverActive = active ? 1 : 0;
  BackendLocked(s)->allowScreenSaver(s.screenSaverActive);
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
  if (const char* answer = PlatGetEnv("KR_MESSAGEBOX_ANSWER")) {
    if (std::strcmp(answer, "yes") == 0) return kind == PLAT_MB_YESNO ? PLAT_IDYES : PLAT_IDOK;
    if (std::strcmp(answer, "no") == 0)
      return kind == PLAT_MB_YESNO ? PLAT_IDNO : kind == PLAT_MB_OKCANCEL ? PLAT_IDCANCEL : PLAT_IDOK;
  }
  int answer = Backend()->messageBox(owner, text ? text : "", caption ? caption : "", type);
  return answer ? answer : DefaultAnswer(type);
}

// ---- observation ------------------------------------------------------------------------

void PlatSetMessageObserver(PlatMessageObserver observer, void* context) {
  State& s = S();
  Lock l(s.mu);
  s.observer = observer;
  s.observerContext = context;
}

// ---- input from back ends ---------------------------------------------------------------

void PlatQueueKey(PlatWnd window, uint32_t vk, int down, int charsKnown, const std::string& chars) {
  int extended = 0;
  uint32_t scan = PlatKeyScan(vk, &extended);
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
  uint32_t lParam = 1u | (scan << 16) | (uint32_t(extended) << 24) | (alt ? 1u << 29 : 0) |
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

void PlatQueueMouse(PlatWnd window, uint32_t message, int32_t x, int32_t y, uint32_t keyFlags) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return;
  s.cursorPos = {w->client.left + x, w->client.top + y};
  PushInput(s, *w, PLAT_WM_SETCURSOR, window, MakeLParam(PLAT_HTCLIENT, int32_t(message)));
  PushInput(s, *w, message, keyFlags, MakeLParam(x, y));
}

void PlatQueueInput(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (w) PushInput(s, *w, message, wParam, lParam);
}

void PlatUserActivate(PlatWnd window, int active) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return;
  const PlatWParam minimized = w->minimized ? 1u << 16 : 0;
  if (active) {
    if (s.active == window) return;
    PlatWnd previous = s.active;
    s.active = window;
    s.foreground = window;
    if (WindowRec* p = Find(s, previous)) PushInput(s, *p, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, window);
    w = Find(s, window);
    if (!previous) PushInput(s, *w, PLAT_WM_ACTIVATEAPP, 1, 0);
    PushInput(s, *w, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE | minimized, previous);
  } else {
    if (s.active != window) return;
    s.active = 0;
    if (s.foreground == window) s.foreground = 0;
    PushInput(s, *w, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE | minimized, 0);
    PushInput(s, *w, PLAT_WM_ACTIVATEAPP, 0, 0);
  }
}

void PlatUserMoved(PlatWnd window, int32_t x, int32_t y) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w || w->minimized) return;
  if (x == w->client.left && y == w->client.top) return;
  w->client = {x, y, x + Width(w->client), y + Height(w->client)};
  PushInput(s, *w, PLAT_WM_MOVE, 0, MakeLParam(x, y));
}

void PlatUserResized(PlatWnd window, int32_t width, int32_t height) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w || w->minimized) return;
  if (width == Width(w->client) && height == Height(w->client)) return;
  w->client.right = w->client.left + std::max(width, 0);
  w->client.bottom = w->client.top + std::max(height, 0);
  InvalidateLocked(*w, nullptr);
  PushInput(s, *w, PLAT_WM_SIZE, PLAT_SIZE_RESTORED, MakeLParam(width, height));
}

void PlatUserMinimized(PlatWnd window, int minimized) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w || w->minimized == (minimized != 0)) return;
  w->minimized = minimized != 0;
  if (minimized) {
    PushInput(s, *w, PLAT_WM_SIZE, PLAT_SIZE_MINIMIZED, 0);
  } else {
    InvalidateLocked(*w, nullptr);
    PushInput(s, *w, PLAT_WM_SIZE, PLAT_SIZE_RESTORED,
              MakeLParam(Width(w->client), Height(w->client)));
  }
}

void PlatUserClose(PlatWnd window) { PlatQueueInput(window, PLAT_WM_SYSCOMMAND, PLAT_SC_CLOSE, 0); }

void PlatUserExposed(PlatWnd window, const PlatRect* rect) { PlatInvalidateRect(window, rect); }

void PlatUserDisplayChanged(int32_t width, int32_t height, int32_t depth) {
  State& s = S();
  Lock l(s.mu);
  for (const WindowRec& w : s.windows)
    if (w.used && !w.destroying)
      PushInput(s, w, PLAT_WM_DISPLAYCHANGE, PlatWParam(depth), MakeLParam(width, height));
}
