// The window layer's messages: posting, sending, the queue each thread peeks at,
// translation and dispatch, what the back ends queue as the user's input; painting and
// timers.
#include "platform/window/window.h"

#include "platform/window/hooks.h"
#include "platform/window/windowstate.h"

#include <algorithm>
#include <atomic>
#include <csignal>

using namespace wincore;

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

std::atomic<PlatWindowActivationHook> g_activationHook{nullptr};

void OnStopSignal(int) { g_stopRequested = 1; }

bool InRange(uint32_t message, uint32_t low, uint32_t high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

bool WindowMatches(PlatWnd window, PlatWnd filter) {
  if (filter == PLAT_WND_THREAD) return window == 0;
  return filter == 0 || window == filter;
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

// The procedure of the window's live timer id when it is the one a WM_TIMER carries:
// nothing else that a message says is called.
PlatTimerProc TimerProcOf(PlatWnd window, uintptr_t id, PlatLParam carried) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return nullptr;
  for (const TimerRec& t : w->timers)
    if (t.id == id && t.proc && PlatLParam(reinterpret_cast<intptr_t>(t.proc)) == carried) return t.proc;
  return nullptr;
}

}  // namespace

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

int PlatWithdrawPostedMessages(PlatWnd window, uint32_t message, PlatLParam lParam) {
  State& s = S();
  Lock l(s.mu);
  int taken = 0;
  for (auto& entry : s.queues) {
    std::deque<Entry>& posted = entry.second.posted;
    const auto before = posted.size();
    posted.erase(std::remove_if(posted.begin(), posted.end(),
                                  [&](const Entry& e) {
                                    return e.msg.window == window && e.msg.message == message &&
                                           e.msg.lParam == lParam;
                                  }),
                 posted.end());
    taken += int(before - posted.size());
  }
  return taken;
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
  CloseOnStopSignal(s, me);
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
        return found(MakeMsg(s, w.handle, PLAT_WM_TIMER, t.id, PlatLParam(reinterpret_cast<intptr_t>(t.proc))));
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
  // Only a WM_TIMER of a live timer carries its procedure: a posted one with any other
  // lParam still goes to the window procedure.
  if (msg->message == PLAT_WM_TIMER && msg->lParam) {
    if (PlatTimerProc proc = TimerProcOf(msg->window, msg->wParam, msg->lParam)) {
      proc(msg->window, msg->message, msg->wParam, msg->time);
      return 0;
    }
  }
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
            b = Backend();
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

// ---- timers -----------------------------------------------------------------------------

uintptr_t PlatSetTimer(PlatWnd window, uintptr_t id, uint32_t ms, PlatTimerProc proc) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return 0;
  const uint32_t now = PlatTimeMs();
  for (TimerRec& t : w->timers) {
    if (t.id == id) {
      t.interval = ms;
      t.last = now;
      t.proc = proc;
      return id;
    }
  }
  w->timers.push_back({id, ms, now, proc});
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

// ---- observation ------------------------------------------------------------------------

void PlatSetMessageObserver(PlatMessageObserver observer, void* context) {
  State& s = S();
  Lock l(s.mu);
  s.observer = observer;
  s.observerContext = context;
}

// ---- input from back ends ---------------------------------------------------------------

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

namespace {

// Activation as the user makes it; false when nothing changed. left: the window that was
// active before another was activated.
bool UserActivateLocked(PlatWnd window, int active, PlatWnd* left) {
  State& s = S();
  Lock l(s.mu);
  WindowRec* w = Find(s, window);
  if (!w) return false;
  const PlatWParam minimized = w->minimized ? 1u << 16 : 0;
  if (active) {
    if (s.active == window) return false;
    PlatWnd previous = s.active;
    *left = previous;
    s.active = window;
    s.foreground = window;
    if (WindowRec* p = Find(s, previous)) PushInput(s, *p, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE, window);
    w = Find(s, window);
    if (!previous) PushInput(s, *w, PLAT_WM_ACTIVATEAPP, 1, 0);
    PushInput(s, *w, PLAT_WM_ACTIVATE, PLAT_WA_ACTIVE | minimized, previous);
  } else {
    if (s.active != window) return false;
    s.active = 0;
    if (s.foreground == window) s.foreground = 0;
    PushInput(s, *w, PLAT_WM_ACTIVATE, PLAT_WA_INACTIVE | minimized, 0);
    PushInput(s, *w, PLAT_WM_ACTIVATEAPP, 0, 0);
  }
  return true;
}

}  // namespace

void PlatWindowSetActivationHook(PlatWindowActivationHook hook) {
  g_activationHook.store(hook, std::memory_order_release);
}

void PlatUserActivate(PlatWnd window, int active) {
  PlatWnd left = 0;
  if (!UserActivateLocked(window, active, &left)) return;
  // The listener hears of it after the window layer's lock is let go (it calls back in).
  const PlatWindowActivationHook hook = g_activationHook.load(std::memory_order_acquire);
  if (!hook) return;
  if (left) hook(left, 0);
  hook(window, active);
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

namespace wincore {

void CatchStopSignals() {
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction old{};
    if (sigaction(signal, nullptr, &old) != 0) continue;
    if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
    struct sigaction sa{};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(signal, &sa, nullptr);
  }
}

void CloseOnStopSignal(State& s, uint32_t thread) {
  if (!g_stopRequested) return;
  std::vector<PlatWnd> windows;
  {
    Lock l(s.mu);
    for (const WindowRec& w : s.windows)
      if (w.used && !w.destroying && w.thread == thread) windows.push_back(w.handle);
  }
  // A thread without windows leaves the request to the one that has them.
  if (windows.empty()) return;
  g_stopRequested = 0;
  for (PlatWnd w : windows) PlatUserClose(w);
}

}  // namespace wincore
