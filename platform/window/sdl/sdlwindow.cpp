// SDL back end of the window layer. A real SDL window stands behind each window once it
// is first shown; SDL's events become queued messages, drained only on the thread that
// made the first window, which owns SDL's event pump (platform/sdl/sdlstart.h).
#include "platform/window/sdl/sdlwindow.h"

#include "platform/keys/keytable.h"
#include "platform/sdl/sdlstart.h"
#include "platform/text/text.h"
#include "platform/window/backend.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Native {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  uint32_t id = 0;
  PlatNativeState applied;  // what SDL was last told
};

struct Sdl {
  std::mutex mu;  // guards the maps; SDL itself is called outside it
  bool videoTried = false, videoOk = false;
  std::map<PlatWnd, Native> windows;
  std::map<uint32_t, PlatWnd> byId;
  int cursorVisible = 1;
  int screenSaver = 1;
};

Sdl& G() {
  static Sdl* g = new Sdl;
  return *g;
}

bool InitVideo() {
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  if (!g.videoTried) {
    g.videoTried = true;
    g.videoOk = PlatSdlStart(PLAT_SDL_VIDEO) != 0;
    if (g.videoOk) {
      SDL_ShowCursor(g.cursorVisible ? SDL_ENABLE : SDL_DISABLE);
      if (g.screenSaver) SDL_EnableScreenSaver();
      else SDL_DisableScreenSaver();
    }
  }
  return g.videoOk;
}

int InitVideoOk() { return InitVideo() ? 1 : 0; }

const char* NoDisplayReason() {
  static std::string reason;
  static std::once_flag once;
  std::call_once(once, [] {
    reason = std::string("No display could be opened (") + PlatSdlStartError(PLAT_SDL_VIDEO) +
             "). Run the game on an X or Wayland desktop, under a virtual X display "
             "(./play.sh --xvfb), or without a window (KR_PLATFORM=headless).";
  });
  return reason.c_str();
}

Native* FindNative(PlatWnd window) {
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  auto it = g.windows.find(window);
  return it == g.windows.end() ? nullptr : &it->second;
}

PlatWnd ById(uint32_t id) {
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  auto it = g.byId.find(id);
  return it == g.byId.end() ? 0 : it->second;
}

bool Captioned(uint32_t style) { return (style & PLAT_WS_CAPTION) == PLAT_WS_CAPTION; }
int32_t W(const PlatRect& r) { return std::max(r.right - r.left, 1); }
int32_t H(const PlatRect& r) { return std::max(r.bottom - r.top, 1); }

// Whether a window manager that follows the desktop conventions runs on the display: it
// is what makes a window full screen when asked. Without one (a bare X server, Xvfb) the
// request is a property nobody reads.
bool HasWindowManager(Display* display) {
  Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool found = XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False,
                                        XA_WINDOW, &type, &format, &count, &after, &data) == Success &&
                     type == XA_WINDOW && count == 1;
  if (data) XFree(data);
  return found;
}

// Where no window manager honours the full-screen request, the window is placed over the
// whole display (or back on its windowed rectangle) by hand. SDL already counts a
// full-screen window as the display's size, so only the X window itself is moved.
void PlaceWithoutWindowManager(SDL_Window* window, bool fullScreen, const PlatRect& client) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  if (HasWindowManager(display)) return;
  SDL_Rect r{client.left, client.top, W(client), H(client)};
  if (fullScreen && SDL_GetDisplayBounds(std::max(SDL_GetWindowDisplayIndex(window), 0), &r) != 0) return;
  XMoveResizeWindow(display, info.info.x11.window, r.x, r.y, unsigned(r.w), unsigned(r.h));
  if (fullScreen) XRaiseWindow(display, info.info.x11.window);
  XFlush(display);
}

void Sync(PlatWnd window, const PlatNativeState& state) {
  Native* n = FindNative(window);
  if (!n) {
    if (!state.visible || !InitVideo()) return;
    std::string title = PlatSjisToUtf8(state.title.c_str());
    uint32_t flags = SDL_WINDOW_HIDDEN | (Captioned(state.style) ? 0 : SDL_WINDOW_BORDERLESS) |
                     (state.fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    // Full screen starts over the whole display, so that it covers it also where no
    // window manager makes it so.
    SDL_Rect at{state.client.left, state.client.top, W(state.client), H(state.client)};
    if (state.fullScreen) SDL_GetDisplayBounds(0, &at);
    SDL_Window* sw = SDL_CreateWindow(title.c_str(), at.x, at.y, at.w, at.h, flags);
    if (!sw) return;
    Sdl& g = G();
    std::lock_guard<std::mutex> l(g.mu);
    Native& fresh = g.windows[window];
    fresh.window = sw;
    fresh.id = SDL_GetWindowID(sw);
    fresh.applied = state;
    fresh.applied.visible = 0;
    fresh.applied.minimized = 0;
    g.byId[fresh.id] = window;
    PlatSdlClaimPump();
    n = &fresh;
  }
  PlatNativeState& a = n->applied;
  if (state.title != a.title) SDL_SetWindowTitle(n->window, PlatSjisToUtf8(state.title.c_str()).c_str());
  if (Captioned(state.style) != Captioned(a.style))
    SDL_SetWindowBordered(n->window, Captioned(state.style) ? SDL_TRUE : SDL_FALSE);
  if ((state.exStyle ^ a.exStyle) & PLAT_WS_EX_TOPMOST)
    SDL_SetWindowAlwaysOnTop(n->window, (state.exStyle & PLAT_WS_EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
  if (state.fullScreen != a.fullScreen) {
    SDL_Rect at{state.client.left, state.client.top, W(state.client), H(state.client)};
    if (state.fullScreen) {
      SDL_GetDisplayBounds(0, &at);
      SDL_SetWindowPosition(n->window, at.x, at.y);
      SDL_SetWindowSize(n->window, at.w, at.h);
    }
    SDL_SetWindowFullscreen(n->window, state.fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!state.fullScreen) {
      SDL_SetWindowPosition(n->window, at.x, at.y);
      SDL_SetWindowSize(n->window, at.w, at.h);
    }
    if (a.visible) PlaceWithoutWindowManager(n->window, state.fullScreen, state.client);
  }
  if (state.client.left != a.client.left || state.client.top != a.client.top)
    SDL_SetWindowPosition(n->window, state.client.left, state.client.top);
  if (W(state.client) != W(a.client) || H(state.client) != H(a.client))
    SDL_SetWindowSize(n->window, W(state.client), H(state.client));
  // Full screen shows the client area scaled; windowed, pixel for pixel.
  if (n->renderer && (state.fullScreen != a.fullScreen || W(state.client) != W(a.client) ||
                      H(state.client) != H(a.client)))
    SDL_RenderSetLogicalSize(n->renderer, state.fullScreen ? W(state.client) : 0,
                             state.fullScreen ? H(state.client) : 0);
  if (!state.visible) {
    if (a.visible) SDL_HideWindow(n->window);
  } else {
    if (!a.visible) {
      SDL_ShowWindow(n->window);
      if (state.fullScreen) PlaceWithoutWindowManager(n->window, true, state.client);
    }
    if (state.minimized && !a.minimized) SDL_MinimizeWindow(n->window);
    if (!state.minimized && a.minimized) SDL_RestoreWindow(n->window);
  }
  a = state;
}

void Destroy(PlatWnd window) {
  Native n;
  {
    Sdl& g = G();
    std::lock_guard<std::mutex> l(g.mu);
    auto it = g.windows.find(window);
    if (it == g.windows.end()) return;
    n = it->second;
    g.byId.erase(n.id);
    g.windows.erase(it);
  }
  if (n.renderer) SDL_DestroyRenderer(n.renderer);
  SDL_DestroyWindow(n.window);
}

uint32_t MouseFlags(uint32_t buttons) {
  uint32_t flags = 0;
  if (buttons & SDL_BUTTON_LMASK) flags |= PLAT_MK_LBUTTON;
  if (buttons & SDL_BUTTON_RMASK) flags |= PLAT_MK_RBUTTON;
  if (buttons & SDL_BUTTON_MMASK) flags |= PLAT_MK_MBUTTON;
  SDL_Keymod mod = SDL_GetModState();
  if (mod & KMOD_SHIFT) flags |= PLAT_MK_SHIFT;
  if (mod & KMOD_CTRL) flags |= PLAT_MK_CONTROL;
  return flags;
}

void OnWindowEvent(const SDL_WindowEvent& e) {
  PlatWnd w = ById(e.windowID);
  if (!w) return;
  Native* n = FindNative(w);
  // A full-screen window covers the desktop while the engine keeps its own geometry.
  const bool fullScreen = n && n->applied.fullScreen;
  switch (e.event) {
    case SDL_WINDOWEVENT_EXPOSED: PlatUserExposed(w, nullptr); break;
    case SDL_WINDOWEVENT_MOVED:
      if (fullScreen) break;
      if (n) {
        int32_t width = n->applied.client.right - n->applied.client.left;
        int32_t height = n->applied.client.bottom - n->applied.client.top;
        n->applied.client = {e.data1, e.data2, e.data1 + width, e.data2 + height};
      }
      PlatUserMoved(w, e.data1, e.data2);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      if (fullScreen) break;
      if (n) {
        n->applied.client.right = n->applied.client.left + e.data1;
        n->applied.client.bottom = n->applied.client.top + e.data2;
      }
      PlatUserResized(w, e.data1, e.data2);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      if (n) n->applied.minimized = 1;
      PlatUserMinimized(w, 1);
      break;
    case SDL_WINDOWEVENT_RESTORED:
      if (n) n->applied.minimized = 0;
      PlatUserMinimized(w, 0);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED: PlatUserActivate(w, 1); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: PlatUserActivate(w, 0); break;
    case SDL_WINDOWEVENT_CLOSE: PlatUserClose(w); break;
    default: break;
  }
}

void OnKey(const SDL_KeyboardEvent& e) {
  PlatWnd w = ById(e.windowID);
  const PlatKeyRow* key = PlatKeyBySdl(int(e.keysym.scancode));
  const uint32_t vk = key ? key->vk : 0;
  if (!w || !vk) return;
  const bool down = e.type == SDL_KEYDOWN;
  int known = 1;
  std::string chars;
  if (down) {
    static const uint8_t kNone[256] = {};
    int plain = PlatDefaultKeyChar(vk, kNone);
    if ((e.keysym.mod & KMOD_CTRL) && vk >= 'A' && vk <= 'Z') {
      chars = char(vk - 'A' + 1);
    } else if (plain >= 0 && plain < 32) {
      chars = char(plain);  // Enter, Back Space, Tab, Escape type no text in SDL
    } else if (plain >= 32) {
      known = 2;  // the text comes as SDL_TEXTINPUT, in the layout of the user's keyboard
    }
  }
  PlatQueueKey(w, vk, down, known, chars);
}

void Convert(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT: OnWindowEvent(e.window); break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: OnKey(e.key); break;
    case SDL_TEXTINPUT: {
      PlatWnd w = ById(e.text.windowID);
      std::string sjis;
      PlatUtf8ToSjis(e.text.text, std::strlen(e.text.text), &sjis);
      if (w) PlatQueueText(w, sjis);
      break;
    }
    case SDL_MOUSEMOTION: {
      PlatWnd w = ById(e.motion.windowID);
      if (w) PlatQueueMouse(w, PLAT_WM_MOUSEMOVE, e.motion.x, e.motion.y, MouseFlags(e.motion.state));
      break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      PlatWnd w = ById(e.button.windowID);
      const bool down = e.type == SDL_MOUSEBUTTONDOWN;
      uint32_t message = 0;
      if (e.button.button == SDL_BUTTON_LEFT) message = down ? PLAT_WM_LBUTTONDOWN : PLAT_WM_LBUTTONUP;
      if (e.button.button == SDL_BUTTON_RIGHT) message = down ? PLAT_WM_RBUTTONDOWN : PLAT_WM_RBUTTONUP;
      if (e.button.button == SDL_BUTTON_MIDDLE) message = down ? PLAT_WM_MBUTTONDOWN : PLAT_WM_MBUTTONUP;
      if (w && message)
        PlatQueueMouse(w, message, e.button.x, e.button.y, MouseFlags(SDL_GetMouseState(nullptr, nullptr)));
      break;
    }
    default: break;
  }
}

void Drain() {
  PlatSdlPump(Convert);
}

void SetCursorVisible(int visible) {
  Sdl& g = G();
  bool ok;
  {
    std::lock_guard<std::mutex> l(g.mu);
    g.cursorVisible = visible;
    ok = g.videoOk;
  }
  if (ok) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool VideoReady() {
  Sdl& g = G();
  std::lock_guard<std::mutex> l(g.mu);
  return g.videoOk;
}

int GetCursorPos(PlatPoint* point) {
  if (!VideoReady()) return 0;
  int x = 0, y = 0;
  SDL_GetGlobalMouseState(&x, &y);
  *point = {x, y};
  return 1;
}

void SetCursorPos(int32_t x, int32_t y) {
  if (VideoReady()) SDL_WarpMouseGlobal(x, y);
}

void AllowScreenSaver(int allow) {
  Sdl& g = G();
  bool ok;
  {
    std::lock_guard<std::mutex> l(g.mu);
    g.screenSaver = allow;
    ok = g.videoOk;
  }
  if (!ok) return;
  if (allow) SDL_EnableScreenSaver();
  else SDL_DisableScreenSaver();
}

void StartScreenSaver() {}

// SDL's X11 message box draws with X core fonts in the locale the environment names; in
// the C locale, or one the system lacks, the font set has no kana or kanji and the
// question shows blank. Such an environment is lent a UTF-8 locale while the box shows
// (on X only: nothing else draws with core fonts).
class Utf8LocaleForMessageBox {
 public:
  Utf8LocaleForMessageBox() {
    // Before video is up SDL puts the box straight on the X display, if one is named.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* display = std::getenv("DISPLAY");
    if (driver ? std::strcmp(driver, "x11") != 0 : !display || !*display) return;
    if (Utf8(LC_CTYPE_MASK, "") || !Utf8(LC_CTYPE_MASK, "C.UTF-8")) return;
    const char* old = std::getenv("LC_ALL");
    hadOld_ = old != nullptr;
    if (old) old_ = old;
    lent_ = setenv("LC_ALL", "C.UTF-8", 1) == 0;
  }
  ~Utf8LocaleForMessageBox() {
    if (!lent_) return;
    if (hadOld_) setenv("LC_ALL", old_.c_str(), 1);
    else unsetenv("LC_ALL");
  }
  Utf8LocaleForMessageBox(const Utf8LocaleForMessageBox&) = delete;
  Utf8LocaleForMessageBox& operator=(const Utf8LocaleForMessageBox&) = delete;

 private:
  static bool Utf8(int mask, const char* name) {
    locale_t l = newlocale(mask, name, locale_t(0));
    if (!l) return false;
    const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, l), "UTF-8") == 0;
    freelocale(l);
    return utf8;
  }
  bool lent_ = false, hadOld_ = false;
  std::string old_;
};

int MessageBox(PlatWnd owner, const char* text, const char* caption, uint32_t type) {
  // Without a display nobody can see the question, and SDL would hand it to a helper
  // program whose complaints only bury the line the start prints next: no display.
  if (!InitVideo()) return 0;
  std::string body = PlatSjisToUtf8(text), title = PlatSjisToUtf8(caption);
  const bool second = (type & 0xF00) == PLAT_MB_DEFBUTTON2;
  SDL_MessageBoxButtonData buttons[2];
  int count = 0;
  auto add = [&](int id, const char* label, bool isDefault) {
    buttons[count++] = {isDefault ? uint32_t(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT) : 0u, id, label};
  };
  switch (type & 0xF) {
    case PLAT_MB_YESNO:
      add(PLAT_IDYES, "はい", !second);
      add(PLAT_IDNO, "いいえ", second);
      break;
    case PLAT_MB_OKCANCEL:
      add(PLAT_IDOK, "OK", !second);
      add(PLAT_IDCANCEL, "キャンセル", second);
      break;
    default: add(PLAT_IDOK, "OK", true); break;
  }
  Native* n = FindNative(owner);
  SDL_MessageBoxData data{};
  data.flags = SDL_MESSAGEBOX_INFORMATION;
  data.window = n ? n->window : nullptr;
  data.title = title.c_str();
  data.message = body.c_str();
  data.numbuttons = count;
  data.buttons = buttons;
  int pressed = -1;
  Utf8LocaleForMessageBox locale;
  // SDL shows the box from a child process on X, which now and then fails before anything
  // is drawn (seen on a loaded machine); one more try, and the reason on stderr, beat
  // taking the default answer without the user ever seeing the question.
  for (int attempt = 0; attempt < 2; attempt++) {
    if (SDL_ShowMessageBox(&data, &pressed) == 0) return pressed < 0 ? 0 : pressed;
    std::fprintf(stderr, "The question \"%s\" could not be shown: %s\n", title.c_str(),
                 SDL_GetError());
  }
  return 0;
}

SDL_Renderer* RendererOf(Native* n) {
  if (!n || !n->window) return nullptr;
  if (!n->renderer) {
    n->renderer = SDL_CreateRenderer(n->window, -1, 0);
    if (!n->renderer) n->renderer = SDL_CreateRenderer(n->window, -1, SDL_RENDERER_SOFTWARE);
    if (n->renderer && n->applied.fullScreen)
      SDL_RenderSetLogicalSize(n->renderer, W(n->applied.client), H(n->applied.client));
  }
  return n->renderer;
}

const PlatWindowBackend kSdl = {
    .name = "sdl",
    .available = InitVideoOk,
    .unavailableReason = NoDisplayReason,
    .sync = Sync,
    .destroy = Destroy,
    .drain = Drain,
    .setCursorVisible = SetCursorVisible,
    .getCursorPos = GetCursorPos,
    .setCursorPos = SetCursorPos,
    .allowScreenSaver = AllowScreenSaver,
    .startScreenSaver = StartScreenSaver,
    .messageBox = MessageBox,
    .sharesClassNames = 1,
};

}  // namespace

const PlatWindowBackend* PlatSdlBackend() { return &kSdl; }

void* PlatSdlWindow(PlatWnd window) {
  Native* n = FindNative(window);
  return n ? n->window : nullptr;
}

void* PlatSdlRenderer(PlatWnd window) { return RendererOf(FindNative(window)); }

int PlatSdlIsShown(PlatWnd window) {
  Native* n = FindNative(window);
  return (n && (SDL_GetWindowFlags(n->window) & SDL_WINDOW_SHOWN)) ? 1 : 0;
}

int PlatSdlIsFullScreen(PlatWnd window) {
  Native* n = FindNative(window);
  return (n && (SDL_GetWindowFlags(n->window) & SDL_WINDOW_FULLSCREEN_DESKTOP) ==
                   SDL_WINDOW_FULLSCREEN_DESKTOP)
             ? 1
             : 0;
}

int PlatSdlPushKey(PlatWnd window, uint32_t vk, int down) {
  Native* n = FindNative(window);
  const PlatKeyRow* key = PlatKeyByVk(vk);
  const int hid = key ? key->sdl : 0;
  if (!n || !hid) return 0;
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.timestamp = SDL_GetTicks();
  e.key.windowID = n->id;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.scancode = SDL_Scancode(hid);
  e.key.keysym.sym = SDL_GetKeyFromScancode(SDL_Scancode(hid));
  return SDL_PushEvent(&e) == 1 ? 1 : 0;
}

int PlatSdlPushText(PlatWnd window, const char* utf8) {
  Native* n = FindNative(window);
  if (!n || !utf8) return 0;
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  e.text.timestamp = SDL_GetTicks();
  e.text.windowID = n->id;
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  return SDL_PushEvent(&e) == 1 ? 1 : 0;
}

namespace {

int PushWindowEvent(PlatWnd window, SDL_WindowEventID event) {
  Native* n = FindNative(window);
  if (!n) return 0;
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.timestamp = SDL_GetTicks();
  e.window.windowID = n->id;
  e.window.event = Uint8(event);
  return SDL_PushEvent(&e) == 1 ? 1 : 0;
}

}  // namespace

int PlatSdlPushClose(PlatWnd window) { return PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }

int PlatSdlPushFocus(PlatWnd window, int gained) {
  return PushWindowEvent(window, gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}
