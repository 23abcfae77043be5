// Between the files of the window layer's common part: window.cpp (classes, windows and
// geometry), messages.cpp (messages, timers and painting) and desktop.cpp (keyboard,
// cursor and desktop). The state they share and the helpers more than one of them uses.
//
// One mutex guards all of it. It is never held while a window procedure, the observer or
// a back end's drain runs, since those call back in.
#pragma once

#include "platform/kernel/kernel.h"
#include "platform/keys/keytaps.h"
#include "platform/window/backend.h"

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace wincore {

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
  PlatTimerProc proc;  // null: WM_TIMER goes to the window procedure
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
  // Whether the native window is shown. A style change that drops the visible bit leaves
  // the window on the screen, as the original system does, until it is shown or hidden:
  // unmapping it would hand the focus away for a moment, and a full-screen program takes
  // a focus loss as the user leaving it.
  bool shown = false;
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
  // Keys let go before a read of the whole key state showed them held.
  PlatKeyTaps<256> taps;
  // Characters of the key press taken last, for PlatTranslateMessage.
  uint32_t keySerial = 0;
  int keyCharsKnown = 0;
  std::string keyChars;
};

struct State {
  std::mutex mu;
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
State& S();

using Lock = std::unique_lock<std::mutex>;

// The back end in use (KR_PLATFORM, or the one chosen), whether or not the lock is held.
const PlatWindowBackend* Backend();

// The record of a live window, or null.
WindowRec* Find(State& s, PlatWnd handle);

// Runs f on the window's record under the lock; fallback for a bad handle.
template <typename R, typename F>
R WithWindow(PlatWnd window, R fallback, F f) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  return w ? f(*w) : fallback;
}

inline int32_t Width(const PlatRect& r) { return r.right - r.left; }
inline int32_t Height(const PlatRect& r) { return r.bottom - r.top; }

PlatLParam MakeLParam(int32_t low, int32_t high);
// The style as the window reports it: with the visible and minimised bits.
uint32_t ComposedStyle(const WindowRec& w);
// What the back end shows of the window.
PlatNativeState NativeOf(const WindowRec& w);

// A message stamped with the next serial, the time and the cursor position.
PlatMsg MakeMsg(State& s, PlatWnd window, uint32_t message, PlatWParam wParam,
                PlatLParam lParam);
// Queues input for the window's thread.
void PushInput(State& s, const WindowRec& w, uint32_t message, PlatWParam wParam,
               PlatLParam lParam);
// Adds a client rectangle (null: all of it) to the part that waits to be painted.
void InvalidateLocked(WindowRec& w, const PlatRect* rect);
// The thread's key state follows the input it takes from its queue (desktop.cpp).
void TakeInput(ThreadQueue& q, const Entry& e);
// Calls the window's procedure (after the observer), without the lock; 0 for a bad handle.
PlatLResult CallProc(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam);

// Ctrl+C and TERM ask the windows to close, as the user would, so the program ends through
// its own close path; caught from the first window on, where nobody else took them. A
// second signal takes its default course.
void CatchStopSignals();
// Queues the close of the calling thread's windows when a stop signal came (and the thread
// has windows to close).
void CloseOnStopSignal(State& s, uint32_t thread);

}  // namespace wincore
