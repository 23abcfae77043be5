// Headless back end of the display: a desktop and a list of modes set by the test.
#include "platform/display/headless/headlessdisplay.h"

#include "platform/display/backend.h"

#include <mutex>
#include <vector>

namespace {

struct Headless {
  std::mutex mu;
  PlatDisplayMode desktop = PlatDisplayModeOf(1024, 768, 32, 60);
  std::vector<PlatDisplayMode> modes;  // empty: the default ranges
};

Headless& H() {
  static Headless* h = new Headless;
  return *h;
}

void Desktop(PlatDisplayMode* mode) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  *mode = h.desktop;
}

int Accepts(const PlatDisplayMode& mode) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  if (h.modes.empty()) {
    const bool sized = mode.width >= 320 && mode.height >= 200 && mode.width <= 2048 && mode.height <= 1536;
    return sized && (mode.refreshRate == 0 || mode.refreshRate == 60) ? 1 : 0;
  }
  for (const PlatDisplayMode& m : h.modes)
    if (PlatDisplaySameFormat(m, mode) && (mode.refreshRate == 0 || mode.refreshRate == m.refreshRate))
      return 1;
  return 0;
}

void Upload(const PlatDisplayFrame&) {}
void Forget(PlatWnd) {}

const PlatDisplayBackend kHeadless = {
    .name = "headless",
    .description = "Display in host memory, shown nowhere",
    .desktop = Desktop,
    .accepts = Accepts,
    .upload = Upload,
    .forget = Forget,
};

}  // namespace

const PlatDisplayBackend* PlatDisplayHeadlessBackend() { return &kHeadless; }

void PlatDisplayHeadlessSetDesktop(const PlatDisplayMode& mode, int notify) {
  {
    Headless& h = H();
    std::lock_guard<std::mutex> l(h.mu);
    h.desktop = mode;
  }
  PlatDisplayDesktopChanged(notify);
}

void PlatDisplayHeadlessSetModes(const PlatDisplayMode* modes, int count) {
  Headless& h = H();
  std::lock_guard<std::mutex> l(h.mu);
  h.modes.assign(modes, modes + (count > 0 ? count : 0));
}

void PlatHeadlessSetDesktop(int32_t width, int32_t height, int32_t depth, int notify) {
  PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(width, height, depth, 60), notify);
}

uint32_t PlatHeadlessClientPixel(PlatWnd window, int32_t x, int32_t y) {
  PlatRect client;
  PlatPoint origin{0, 0};
  if (!PlatGetClientRect(window, &client) || !PlatClientToScreen(window, &origin)) return 0xFFFFFFFFu;
  if (x < 0 || y < 0 || x >= client.right || y >= client.bottom) return 0xFFFFFFFFu;
  return PlatDisplayReadRgb(origin.x + x, origin.y + y);
}
