// Headless back end: windows exist only as records; the client area is a pixel store a
// test can read; the user is whatever the test scripts.
#include "platform/window/headless/headlesswindow.h"

#include "platform/window/backend.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

namespace {

struct Frame {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

struct Headless {
  std::mutex mu;
  int32_t desktopWidth = 1024, desktopHeight = 768, desktopDepth = 32;
  int answer = 0;
  int lastType = -1;
  std::string lastText, lastCaption;
  int screenSaverStarts = 0;
  std::map<PlatWnd, Frame> frames;
};

Headless& H() {
  static Headless* h = new Headless;
  return *h;
}

int Available() { return 1; }
void Sync(PlatWnd, const PlatNativeState&) {}

void Destroy(PlatWnd window) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  h.frames.erase(window);
}

void Drain() {}
void SetCursorVisible(int) {}
int GetCursorPos(PlatPoint*) { return 0; }
void SetCursorPos(int32_t, int32_t) {}

void GetDesktop(int32_t* width, int32_t* height, int32_t* depth) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  *width = h.desktopWidth;
  *height = h.desktopHeight;
  *depth = h.desktopDepth;
}

void AllowScreenSaver(int) {}

void StartScreenSaver() {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  h.screenSaverStarts++;
}

int MessageBox(PlatWnd, const char* text, const char* caption, uint32_t type) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  h.lastType = int(type);
  h.lastText = text;
  h.lastCaption = caption;
  return h.answer;
}

void FillRect(PlatWnd window, const PlatNativeState& state, const PlatRect& r, uint32_t rgb) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  Frame& f = h.frames[window];
  int32_t width = state.client.right - state.client.left;
  int32_t height = state.client.bottom - state.client.top;
  if (f.width != width || f.height != height) {
    f.width = width;
    f.height = height;
    f.pixels.assign(size_t(width) * size_t(height), 0xFFFFFFFFu);
  }
  for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, height); y++)
    for (int32_t x = std::max(r.left, 0); x < std::min(r.right, width); x++)
      f.pixels[size_t(y) * size_t(width) + size_t(x)] = rgb;
}

const PlatWindowBackend kHeadless = {
    .name = "headless",
    .available = Available,
    .unavailableReason = nullptr,
    .sync = Sync,
    .destroy = Destroy,
    .drain = Drain,
    .setCursorVisible = SetCursorVisible,
    .getCursorPos = GetCursorPos,
    .setCursorPos = SetCursorPos,
    .getDesktop = GetDesktop,
    .allowScreenSaver = AllowScreenSaver,
    .startScreenSaver = StartScreenSaver,
    .messageBox = MessageBox,
    .fillRect = FillRect,
    .sharesClassNames = 0,
};

}  // namespace

const PlatWindowBackend* PlatHeadlessBackend() { return &kHeadless; }

void PlatHeadlessType(PlatWnd window, const char* sjis) {
  if (sjis) PlatQueueText(window, sjis);
}

void PlatHeadlessMouse(PlatWnd window, uint32_t message, int32_t x, int32_t y, uint32_t keyFlags) {
  PlatQueueMouse(window, message, x, y, keyFlags);
}

void PlatHeadlessActivate(PlatWnd window, int active) { PlatUserActivate(window, active); }

void PlatHeadlessClose(PlatWnd window) { PlatUserClose(window); }

void PlatHeadlessMinimize(PlatWnd window, int minimized) {
  if (minimized) {
    PlatUserMinimized(window, 1);
    PlatUserActivate(window, 0);
  } else {
    PlatUserMinimized(window, 0);
    PlatUserActivate(window, 1);
  }
}

void PlatHeadlessMove(PlatWnd window, int32_t x, int32_t y) { PlatUserMoved(window, x, y); }

void PlatHeadlessSetDesktop(int32_t width, int32_t height, int32_t depth, int notify) {
  {
    Headless& h = H();
    std::lock_guard<std::mutex> l(h.mu);
    h.desktopWidth = width;
    h.desktopHeight = height;
    h.desktopDepth = depth;
  }
  if (notify) PlatUserDisplayChanged(width, height, depth);
}

void PlatHeadlessSetMessageBoxAnswer(int answer) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  h.answer = answer;
}

int PlatHeadlessLastMessageBox(std::string* text, std::string* caption) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  if (text) *text = h.lastText;
  if (caption) *caption = h.lastCaption;
  return h.lastType;
}

int PlatHeadlessScreenSaverStarts() {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  return h.screenSaverStarts;
}

uint32_t PlatHeadlessClientPixel(PlatWnd window, int32_t x, int32_t y) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  auto it = h.frames.find(window);
  if (it == h.frames.end()) return 0xFFFFFFFFu;
  const Frame& f = it->second;
  if (x < 0 || y < 0 || x >= f.width || y >= f.height) return 0xFFFFFFFFu;
  return f.pixels[size_t(y) * size_t(f.width) + size_t(x)];
}
