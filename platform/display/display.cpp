// The display's common part: the modes, the store, the palette, the raster and the
// choice of back end. One mutex guards the state; it is held while a back end uploads,
// and never while the window layer is told of a mode change.
#include "platform/display/backend.h"

#include "platform/backend/chooser.h"
#include "platform/kernel/kernel.h"
#include "platform/window/backend.h"
#include "platform/window/hooks.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

const PlatBackendOption<PlatDisplayBackend> kBackends[] = {
    {.table = PlatDisplaySdlBackend, .platforms = PLAT_PLATFORM_SDL},
    {.table = PlatDisplayHeadlessBackend, .platforms = PLAT_PLATFORM_HEADLESS},
};

PlatBackendChoice<PlatDisplayBackend> displayBackend(kBackends, PLAT_BACKEND_FIXED);

const PlatDisplayBackend* Backend() {
  static std::once_flag followed;
  // Unchosen, the display stands behind the same platform as the windows it shows.
  std::call_once(followed, [] { displayBackend.Select(PlatWindowBackendName()); });
  return displayBackend.Get();
}

struct Display {
  std::mutex mu;
  bool started = false;
  PlatDisplayMode desktop{}, mode{};
  PlatPixelRef store;
  int32_t pitch = 0;
  uint32_t palette[256];
  PlatWnd owner = 0;
  PlatDisplayMode ownerMode{};
  bool ownerModeSet = false;  // the owner set a mode of its own
  bool ownerLeft = false;     // ... and its window was left, so the desktop's is in force
  uint32_t losses = 0;
  std::vector<PlatWnd> shown;
  bool pending = false;
  uint32_t uploads = 0;
};

Display& D() {
  static Display* d = new Display;
  return *d;
}

int32_t PitchOf(const PlatDisplayMode& m) { return (m.width * (m.depth / 8) + 3) & ~3; }

// A new store of the mode in force. The old memory stays with whoever still holds it.
void MakeStoreLocked(Display& d) {
  d.pitch = PitchOf(d.mode);
  auto memory = std::make_shared<PlatPixelMemory>();
  memory->bytes.assign(size_t(d.pitch) * size_t(std::max(d.mode.height, 0)),
                       d.mode.depth == 32 ? 0xFF : 0x00);
  d.store = std::move(memory);
  d.losses++;
}

void DefaultPalette(uint32_t* palette) {
  // 3:3:2 levels; entry 0 black and 255 white.
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t r = (i >> 5) * 255 / 7, g = ((i >> 2) & 7) * 255 / 7, b = (i & 3) * 255 / 3;
    palette[i] = r << 16 | g << 8 | b;
  }
}

Display& Started() {
  Display& d = D();
  if (!d.started) {
    d.started = true;
    // Before the start there is no owner whose full screen a switch could leave.
    PlatWindowSetActivationHook(PlatDisplayActivationChanged);
    Backend()->desktop(&d.desktop);
    d.mode = d.desktop;
    DefaultPalette(d.palette);
    MakeStoreLocked(d);
  }
  return d;
}

// Puts a mode in force; true when anything changed.
bool ApplyLocked(Display& d, const PlatDisplayMode& mode) {
  if (PlatDisplaySameFormat(mode, d.mode) && mode.refreshRate == d.mode.refreshRate) return false;
  d.mode = mode;
  MakeStoreLocked(d);
  d.pending = true;
  return true;
}

uint32_t Expand(uint32_t value, uint32_t mask) {
  if (!mask) return 0;
  uint32_t v = (value & mask) >> std::countr_zero(mask);
  int bits = std::popcount(mask);
  if (bits >= 8) return v >> (bits - 8);
  uint32_t out = 0;
  for (int shift = 8 - bits; shift > -bits; shift -= bits)
    out |= shift >= 0 ? v << shift : v >> -shift;
  return out & 0xFF;
}

uint32_t Pack(uint32_t channel, uint32_t mask) {
  if (!mask) return 0;
  int bits = std::popcount(mask);
  uint32_t v = bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
  return (v << std::countr_zero(mask)) & mask;
}

}  // namespace

PlatDisplayMode PlatDisplayModeOf(int32_t width, int32_t height, int32_t depth, int32_t refreshRate) {
  PlatDisplayMode m{width, height, depth, 0, 0, 0, refreshRate};
  if (depth == 16) {
    m.redMask = 0xF800;
    m.greenMask = 0x07E0;
    m.blueMask = 0x001F;
  } else if (depth == 32) {
    m.redMask = 0xFF0000;
    m.greenMask = 0xFF00;
    m.blueMask = 0xFF;
  }
  return m;
}

int PlatDisplaySameFormat(const PlatDisplayMode& a, const PlatDisplayMode& b) {
  return a.width == b.width && a.height == b.height && a.depth == b.depth &&
         a.redMask == b.redMask && a.greenMask == b.greenMask && a.blueMask == b.blueMask;
}

uint32_t PlatPixelToRgb(const uint8_t* p, const PlatDisplayMode& f, const uint32_t* palette) {
  uint32_t v = 0;
  switch (f.depth) {
    case 8: return palette[p[0]] & 0xFFFFFF;
    case 16: v = uint32_t(p[0]) | uint32_t(p[1]) << 8; break;
    case 32: std::memcpy(&v, p, 4); break;
    default: return 0;
  }
  return Expand(v, f.redMask) << 16 | Expand(v, f.greenMask) << 8 | Expand(v, f.blueMask);
}

uint32_t PlatRgbToPixel(uint32_t rgb, const PlatDisplayMode& f) {
  if (f.depth == 8) return rgb & 0xFF;
  return Pack((rgb >> 16) & 0xFF, f.redMask) | Pack((rgb >> 8) & 0xFF, f.greenMask) |
         Pack(rgb & 0xFF, f.blueMask);
}

// ---- back end ---------------------------------------------------------------------------

int PlatDisplaySelectBackend(const char* name) { return displayBackend.Select(name); }
const char* PlatDisplayBackendName() { return Backend()->name; }
const char* PlatDisplayDriverName() { return Backend()->name; }
const char* PlatDisplayDriverDescription() { return Backend()->description; }

// ---- modes ------------------------------------------------------------------------------

void PlatDisplayGetDesktopMode(PlatDisplayMode* mode) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  *mode = Started().desktop;
}

void PlatDisplayGetMode(PlatDisplayMode* mode) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  *mode = Started().mode;
}

void PlatGetDesktopSize(int32_t* width, int32_t* height) {
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  if (width) *width = mode.width;
  if (height) *height = mode.height;
}

int32_t PlatGetDesktopDepth() {
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  return mode.depth;
}

int PlatDisplayAcceptsMode(const PlatDisplayMode& mode) {
  if (mode.depth != 8 && mode.depth != 16 && mode.depth != 32) return 0;
  if (mode.width <= 0 || mode.height <= 0 || mode.refreshRate < 0) return 0;
  if (mode.depth != 8) {
    // Three channels that do not overlap and fit the pixel.
    const uint32_t all = mode.redMask | mode.greenMask | mode.blueMask;
    if (!mode.redMask || !mode.greenMask || !mode.blueMask) return 0;
    if ((mode.redMask & mode.greenMask) || (mode.redMask & mode.blueMask) || (mode.greenMask & mode.blueMask))
      return 0;
    if (mode.depth == 16 && all > 0xFFFF) return 0;
  }
  return Backend()->accepts(mode);
}

int PlatDisplaySetMode(PlatWnd owner, const PlatDisplayMode& mode) {
  if (!PlatDisplayAcceptsMode(mode)) return -1;
  Display& d = D();
  bool changed;
  {
    std::lock_guard<std::mutex> l(d.mu);
    Started();
    d.owner = owner;
    d.ownerMode = mode;
    d.ownerModeSet = true;
    d.ownerLeft = false;
    changed = ApplyLocked(d, mode);
  }
  if (changed) {
    PlatUserDisplayChanged(mode.width, mode.height, mode.depth);
    PlatDisplayUpload();
  }
  return 0;
}

int PlatDisplayRestoreMode() {
  Display& d = D();
  bool changed;
  PlatDisplayMode desktop;
  {
    std::lock_guard<std::mutex> l(d.mu);
    Started();
    d.ownerModeSet = false;
    d.ownerLeft = false;
    desktop = d.desktop;
    changed = ApplyLocked(d, desktop);
  }
  if (changed) {
    PlatUserDisplayChanged(desktop.width, desktop.height, desktop.depth);
    PlatDisplayUpload();
  }
  return 0;
}

void PlatDisplayDesktopChanged(int notify) {
  Display& d = D();
  PlatDisplayMode desktop;
  {
    std::lock_guard<std::mutex> l(d.mu);
    Started();
    Backend()->desktop(&d.desktop);
    desktop = d.desktop;
    d.owner = 0;
    d.ownerModeSet = false;
    d.ownerLeft = false;
    d.mode = desktop;
    MakeStoreLocked(d);
  }
  if (notify) PlatUserDisplayChanged(desktop.width, desktop.height, desktop.depth);
}

void PlatDisplaySetExclusiveOwner(PlatWnd window) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  d.owner = window;
}

PlatWnd PlatDisplayExclusiveOwner() {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  return d.owner;
}

int PlatDisplayIsOwnerModeSet() {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  return d.owner && d.ownerModeSet && !d.ownerLeft ? 1 : 0;
}

uint32_t PlatDisplayLossCount() {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  return Started().losses;
}

void PlatDisplayCountLoss() {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  Started().losses++;
}

void PlatDisplayActivationChanged(PlatWnd window, int active) {
  Display& d = D();
  {
    std::lock_guard<std::mutex> l(d.mu);
    if (!d.started || !window || window != d.owner || !d.ownerModeSet) return;
    if (!active && !d.ownerLeft) {
      d.ownerLeft = true;
      ApplyLocked(d, d.desktop);
    } else if (active && d.ownerLeft) {
      d.ownerLeft = false;
      ApplyLocked(d, d.ownerMode);
    } else {
      return;
    }
  }
  PlatDisplayUpload();
}

// ---- palette ----------------------------------------------------------------------------

int PlatDisplaySetPalette(int first, int count, const uint32_t* rgb) {
  if (first < 0 || count < 0 || first + count > 256 || (count && !rgb)) return -1;
  Display& d = D();
  {
    std::lock_guard<std::mutex> l(d.mu);
    Started();
    for (int i = 0; i < count; i++) d.palette[first + i] = rgb[i] & 0xFFFFFF;
    if (d.mode.depth == 8) d.pending = true;
  }
  PlatDisplayUpload();
  return 0;
}

int PlatDisplayGetPalette(int first, int count, uint32_t* rgb) {
  if (first < 0 || count < 0 || first + count > 256 || (count && !rgb)) return -1;
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  Started();
  std::memcpy(rgb, d.palette + first, size_t(count) * 4);
  return 0;
}

// ---- the store ----------------------------------------------------------------------------

PlatPixelRef PlatDisplayStoreMemory() {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  return Started().store;
}

PlatPixelRef PlatDisplaySwapStoreMemory(PlatPixelRef memory) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  Started();
  if (!memory || memory->bytes.size() != d.store->bytes.size()) return nullptr;
  std::swap(d.store, memory);
  d.pending = true;
  return memory;
}

void PlatDisplayGetStoreInfo(PlatDisplayStoreInfo* info) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  Started();
  info->mode = d.mode;
  info->pitch = d.pitch;
}

uint32_t PlatDisplayReadRgb(int32_t x, int32_t y) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  Started();
  if (x < 0 || y < 0 || x >= d.mode.width || y >= d.mode.height) return 0xFFFFFFFFu;
  const uint8_t* p = d.store->bytes.data() + size_t(y) * size_t(d.pitch) + size_t(x) * size_t(d.mode.depth / 8);
  if (d.mode.depth == 32) {
    uint32_t raw;
    std::memcpy(&raw, p, 4);
    if (raw == 0xFFFFFFFFu) return raw;
  }
  return PlatPixelToRgb(p, d.mode, d.palette);
}

int PlatDisplayReadRect(const PlatRect& r, uint32_t* rgb) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  Started();
  if (r.left < 0 || r.top < 0 || r.right > d.mode.width || r.bottom > d.mode.height ||
      r.left >= r.right || r.top >= r.bottom || !rgb)
    return -1;
  const size_t bytes = size_t(d.mode.depth / 8);
  for (int32_t y = r.top; y < r.bottom; y++) {
    const uint8_t* row = d.store->bytes.data() + size_t(y) * size_t(d.pitch);
    for (int32_t x = r.left; x < r.right; x++)
      *rgb++ = PlatPixelToRgb(row + size_t(x) * bytes, d.mode, d.palette);
  }
  return 0;
}

void PlatDisplayFillRgb(const PlatRect& rect, uint32_t rgb) {
  Display& d = D();
  {
    std::lock_guard<std::mutex> l(d.mu);
    Started();
    const int32_t left = std::max(rect.left, 0), top = std::max(rect.top, 0);
    const int32_t right = std::min(rect.right, d.mode.width), bottom = std::min(rect.bottom, d.mode.height);
    if (left >= right || top >= bottom) return;
    const uint32_t pixel = PlatRgbToPixel(rgb, d.mode);
    const size_t bytes = size_t(d.mode.depth / 8);
    for (int32_t y = top; y < bottom; y++) {
      uint8_t* p = d.store->bytes.data() + size_t(y) * size_t(d.pitch) + size_t(left) * bytes;
      for (int32_t x = left; x < right; x++, p += bytes) std::memcpy(p, &pixel, bytes);
    }
    d.pending = true;
  }
  PlatDisplayUpload();
}

// ---- upload ---------------------------------------------------------------------------------

void PlatDisplayShowWindow(PlatWnd window, int show) {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  auto it = std::find(d.shown.begin(), d.shown.end(), window);
  if (show && it == d.shown.end() && window) d.shown.push_back(window);
  if (!show && it != d.shown.end()) {
    d.shown.erase(it);
    Backend()->forget(window);
  }
  d.pending = true;
}

void PlatDisplayChanged() {
  Display& d = D();
  {
    std::lock_guard<std::mutex> l(d.mu);
    d.pending = true;
  }
  PlatDisplayUpload();
}

void PlatDisplayUpload() {
  Display& d = D();
  std::vector<PlatWnd> windows;
  {
    std::lock_guard<std::mutex> l(d.mu);
    if (!d.pending || d.shown.empty()) return;
    windows = d.shown;
  }
  // The window layer is asked without the display's lock (it may call in here).
  std::vector<PlatWnd> live, gone;
  for (PlatWnd w : windows) (PlatIsWindow(w) ? live : gone).push_back(w);
  if (live.empty() || PlatGetWindowThreadId(live[0]) != PlatThreadId()) {
    if (gone.empty()) return;
  }
  std::lock_guard<std::mutex> l(d.mu);
  for (PlatWnd w : gone) {
    d.shown.erase(std::remove(d.shown.begin(), d.shown.end(), w), d.shown.end());
    Backend()->forget(w);
  }
  if (live.empty() || PlatGetWindowThreadId(live[0]) != PlatThreadId() || !d.pending) return;
  d.pending = false;
  Started();
  PlatDisplayFrame frame{};
  frame.pixels = d.store->bytes.data();
  frame.mode = d.mode;
  frame.pitch = d.pitch;
  frame.palette = d.palette;
  frame.fullScreenWindow = (d.owner && d.ownerModeSet && !d.ownerLeft) ? d.owner : 0;
  frame.windows = live.data();
  frame.windowCount = int(live.size());
  Backend()->upload(frame);
  d.uploads++;
}

uint32_t PlatDisplayUploadCount() {
  Display& d = D();
  std::lock_guard<std::mutex> l(d.mu);
  return d.uploads;
}

// ---- the raster -------------------------------------------------------------------------------

void PlatDisplayGetRaster(PlatDisplayRaster* raster) {
  PlatDisplayMode m;
  PlatDisplayGetMode(&m);
  raster->rate = m.refreshRate > 0 ? m.refreshRate : 60;
  raster->frameNs = 1000000000LL / raster->rate;
  raster->visibleLines = std::max(m.height, 1);
  raster->lines = std::max(raster->visibleLines * 525 / 480, raster->visibleLines + 1);
}

namespace {

// Where the raster is: the time now, the time into the frame, the start of the blank.
struct RasterNow {
  PlatDisplayRaster r;
  int64_t now, intoFrame, blankStart;
};

RasterNow Measure() {
  RasterNow n;
  PlatDisplayGetRaster(&n.r);
  n.now = PlatPerfCounter();
  n.intoFrame = n.now % n.r.frameNs;
  // The first instant whose line is the first line of the blank.
  n.blankStart = (int64_t(n.r.visibleLines) * n.r.frameNs + n.r.lines - 1) / n.r.lines;
  return n;
}

// Polling costs time on the manual clock, as it would on a real one.
void Poll() {
  if (PlatClockIsManual()) PlatClockAdvanceNs(50000);
}

}  // namespace

int PlatDisplayScanLine(int32_t* line) {
  RasterNow n = Measure();
  const int32_t at = int32_t(n.intoFrame * n.r.lines / n.r.frameNs);
  Poll();
  if (line) *line = at;
  return at >= n.r.visibleLines ? 1 : 0;
}

int PlatDisplayInBlank() { return PlatDisplayScanLine(nullptr); }

void PlatDisplayWaitForBlank() {
  RasterNow n = Measure();
  int64_t target = n.now - n.intoFrame + n.blankStart;
  if (n.intoFrame >= n.blankStart) target += n.r.frameNs;
  if (PlatClockIsManual()) {
    PlatClockAdvanceNs(uint64_t(target - n.now));
    return;
  }
  for (int64_t now = n.now; now < target; now = PlatPerfCounter()) {
    const int64_t ms = (target - now) / 1000000;
    PlatSleep(ms > 1 ? uint32_t(ms - 1) : 0);
  }
}

// ---- PNG ----------------------------------------------------------------------------------------

namespace {

bool WriteRgbPng(FILE* file, int32_t w, int32_t h, const uint8_t* bytes) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < h; y++) png_write_row(png, bytes + size_t(y) * size_t(w) * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

int PlatDisplayWritePng(const char* path) {
  PlatDisplayStoreInfo info;
  PlatDisplayGetStoreInfo(&info);
  const int32_t w = info.mode.width, h = info.mode.height;
  std::vector<uint32_t> rgb(size_t(w) * size_t(h));
  if (!path || PlatDisplayReadRect({0, 0, w, h}, rgb.data()) != 0) return -1;
  std::vector<uint8_t> bytes(rgb.size() * 3);
  for (size_t i = 0; i < rgb.size(); i++) {
    bytes[i * 3] = uint8_t(rgb[i] >> 16);
    bytes[i * 3 + 1] = uint8_t(rgb[i] >> 8);
    bytes[i * 3 + 2] = uint8_t(rgb[i]);
  }
  FILE* file = std::fopen(path, "wb");
  if (!file) return -1;
  const bool written = WriteRgbPng(file, w, h, bytes.data());
  return std::fclose(file) == 0 && written ? 0 : -1;
}
