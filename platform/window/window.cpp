// The window layer's classes, windows and their geometry, and activation: the part every
// back end shares (windowstate.h), which only asks the back end to show what it keeps.
#include "platform/window/window.h"

#include "platform/window/classlock.h"
#include "platform/window/windowstate.h"

#include <algorithm>
#include <cstring>

using namespace wincore;

namespace {

// The directory of class locks, or empty when classes stay private to the process.
std::string LockDirectoryLocked(State& s) {
  if (s.lockDirectorySet) return s.lockDirectory;
  return Backend()->sharesClassNames ? PlatClassLockDefaultDirectory() : std::string();
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

void SyncNative(PlatWnd window) {
  State& s = S();
  PlatNativeState state;
  const PlatWindowBackend* b;
  {
    Lock l(s.mu);
    WindowRec* w = Find(s, window);
    if (!w) return;
    state = NativeOf(*w);
    b = Backend();
  }
  b->sync(window, state);
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

}  // namespace

// ---- class locks ------------------------------------------------------------------------

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
  CatchStopSignals();
  if (style & PLAT_WS_VISIBLE) {
    {
      Lock l(s.mu);
      if (WindowRec* w = Find(s, handle)) w->visible = w->shown = true;
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
    if (WindowRec* w = Find(s, window)) w->visible = w->shown = false;
  }
  SyncNative(window);
  CallProc(window, PLAT_WM_DESTROY, 0, 0);
  CallProc(window, PLAT_WM_NCDESTROY, 0, 0);

  std::vector<SentRec*> unanswered;
  const PlatWindowBackend* b;
  {
    Lock l(s.mu);
    b = Backend();
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
    w->shown = w->visible;
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
    if (flags & PLAT_SWP_SHOWWINDOW) w->visible = w->shown = true;
    if (flags & PLAT_SWP_HIDEWINDOW) w->visible = w->shown = false;
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
      if (w->visible) w->shown = true;
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
namespace {
int ShiftPoint(PlatWnd window, PlatPoint* point, int32_t sign) {
  if (!point) return 0;
  return WithWindow(window, 0, [point, sign](WindowRec& w) {
    point->x += sign * w.client.left;
    point->y += sign * w.client.top;
    return 1;
  });
}

}  // namespace

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
