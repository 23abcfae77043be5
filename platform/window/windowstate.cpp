// The window layer's shared state and helpers, and its choice of back end.
#include "platform/window/windowstate.h"

#include "platform/backend/chooser.h"
#include "platform/window/window.h"

#include <algorithm>

namespace wincore {

namespace {

const PlatBackendOption<PlatWindowBackend> kBackends[] = {
    {.table = PlatSdlBackend, .platforms = PLAT_PLATFORM_SDL},
    {.table = PlatHeadlessBackend, .platforms = PLAT_PLATFORM_HEADLESS},
};

PlatBackendChoice<PlatWindowBackend> windowBackend(kBackends, PLAT_BACKEND_FIXED);

}  // namespace

State& S() {
  static State* s = new State;
  return *s;
}

const PlatWindowBackend* Backend() { return windowBackend.Get(); }

WindowRec* Find(State& s, PlatWnd handle) {
  if (handle == 0 || handle == PLAT_WND_THREAD) return nullptr;
  uint32_t index = handle & 0xFFFF;
  if (index == 0 || index > s.windows.size()) return nullptr;
  WindowRec& w = s.windows[index - 1];
  return (w.used && w.handle == handle) ? &w : nullptr;
}

PlatLParam MakeLParam(int32_t low, int32_t high) {
  return PlatLParam(uint32_t(low & 0xFFFF) | (uint32_t(high & 0xFFFF) << 16));
}

uint32_t ComposedStyle(const WindowRec& w) {
  return w.style | (w.visible ? uint32_t(PLAT_WS_VISIBLE) : 0u) |
         (w.minimized ? uint32_t(PLAT_WS_MINIMIZE) : 0u);
}

PlatNativeState NativeOf(const WindowRec& w) {
  return {w.title, w.client, ComposedStyle(w), w.exStyle, w.shown, w.minimized, w.fullScreen};
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

}  // namespace wincore

int PlatWindowSelectBackend(const char* name) {
  using namespace wincore;
  State& s = S();
  Lock l(s.mu);  // no window is made while the choice is made
  // A window belongs to the back end that made it: another takes over only once every
  // window is destroyed.
  const bool windows = std::any_of(s.windows.begin(), s.windows.end(),
                                   [](const WindowRec& w) { return w.used; });
  return windowBackend.Select(name, windows);
}

const char* PlatWindowBackendName() { return wincore::windowBackend.Name(); }

const char* PlatWindowUnavailableReason() {
  const PlatWindowBackend* backend = wincore::Backend();
  if (backend->available()) return nullptr;
  const char* reason = backend->unavailableReason ? backend->unavailableReason() : nullptr;
  return reason ? reason : "No window can be made.";
}
