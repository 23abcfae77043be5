// Headless back end: windows exist only as records; what they show is their client
// rectangle of the display's store, which a test can read; the user is whatever the test
// scripts.
#include "platform/window/headless/headlesswindow.h"

#include "platform/window/backend.h"

#include <mutex>

namespace {

struct Headless {
  std::mutex mu;
  int answer = 0;
  int lastType = -1;
  std::string lastText, lastCaption;
  int screenSaverStarts = 0;
};

Headless& H() {
  static Headless* h = new Headless;
  return *h;
}

int Available() { return 1; }
void Sync(PlatWnd, const PlatNativeState&) {}

void Destroy(PlatWnd) {}

void Drain() {}
void SetCursorVisible(int) {}
int GetCursorPos(PlatPoint*) { return 0; }
void SetCursorPos(int32_t, int32_t) {}

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
    .allowScreenSaver = AllowScreenSaver,
    .startScreenSaver = StartScreenSaver,
    .messageBox = MessageBox,
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
