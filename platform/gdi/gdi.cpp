// The GDI-like layer over the display: device contexts of windows, memory and surfaces,
// bitmaps, device caps and display settings, with the recording fake's switches.
#include "platform/gdi/gdi.h"

#include "platform/gdi/fake/gdifake.h"
#include "platform/gdi/gdistate.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace gdicore {

Gdi& G() {
  static Gdi* g = [] {
    Gdi* made = new Gdi;
    made->fake.family = "gdi";
    return made;
  }();
  return *g;
}

DC* FindDC(Gdi& g, PlatDC handle) {
  auto it = g.dcs.find(handle);
  return it == g.dcs.end() ? nullptr : &it->second;
}

Bitmap* FindBitmap(Gdi& g, PlatGdiObj handle) {
  auto it = g.bitmaps.find(handle);
  return it == g.bitmaps.end() ? nullptr : &it->second;
}

Font* FindFont(Gdi& g, PlatGdiObj handle) {
  auto it = g.fonts.find(handle);
  return it == g.fonts.end() ? nullptr : &it->second;
}

// Bitmaps beyond this are refused rather than left to fail the allocator: a header from a
// file may ask for 32767 x 32767 at 32 bits.
constexpr size_t kMostBitmapBytes = size_t(512) << 20;

PlatGdiObj MakeBitmap(Gdi& g, Dib dib, bool section) {
  const size_t bytes = size_t(dib.stride) * size_t(dib.height);
  if (bytes > kMostBitmapBytes) return 0;
  Bitmap b;
  b.memory = std::make_shared<PlatPixelMemory>();
  b.memory->bytes.assign(bytes, 0);
  b.dib = std::move(dib);
  b.section = section;
  const PlatGdiObj handle = NewHandle(g, KIND_BITMAP);
  g.bitmaps[handle] = std::move(b);
  return handle;
}

Picture PictureOfBitmap(const Bitmap& b) {
  Picture p;
  p.format = b.dib.format;
  // Palettised compatible bitmaps follow the display's palette.
  if (!b.section && p.format.bits == 8) p.format.colors = DisplayPalette();
  p.width = b.dib.width;
  p.height = b.dib.height;
  p.bandBottom = p.height;
  p.hold = b.memory;
  uint8_t* bytes = b.memory->bytes.data();
  if (b.dib.topDown) {
    p.base = bytes;
    p.pitch = b.dib.stride;
  } else {
    p.base = bytes + ptrdiff_t(b.dib.height - 1) * b.dib.stride;
    p.pitch = -ptrdiff_t(b.dib.stride);
  }
  return p;
}

bool Alive(const DC& dc) {
  if (dc.kind != KIND_SURFACE) return true;
  return PlatDDSurfaceIsLost(dc.surface) == PLAT_DD_OK;
}

// The target of a live device context; false when it has none to draw on.
bool TargetOf(Gdi& g, const DC& dc, Target* t) {
  switch (dc.kind) {
    case KIND_WINDOW: {
      PlatDisplayStoreInfo info;
      PlatDisplayGetStoreInfo(&info);
      t->picture.format = FormatOfMode(info.mode);
      t->picture.width = info.mode.width;
      t->picture.height = info.mode.height;
      t->picture.bandBottom = info.mode.height;
      t->picture.hold = PlatDisplayStoreMemory();
      t->picture.base = t->picture.hold->bytes.data();
      t->picture.pitch = info.pitch;
      PlatRect store{0, 0, info.mode.width, info.mode.height};
      PlatRect area = store;
      if (dc.window) {
        PlatRect client;
        PlatPoint origin{0, 0};
        if (!PlatGetClientRect(dc.window, &client) || !PlatClientToScreen(dc.window, &origin)) return false;
        t->originX = origin.x;
        t->originY = origin.y;
        area = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
        t->shows = dc.window;
      }
      t->clip = {std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, store.right),
                 std::min(area.bottom, store.bottom)};
      t->screen = true;
      return true;
    }
    case KIND_MEMORY: {
      const Bitmap* b = FindBitmap(g, dc.bitmap);
      if (!b) return false;
      t->picture = PictureOfBitmap(*b);
      t->clip = {0, 0, b->dib.width, b->dib.height};
      return true;
    }
    case KIND_SURFACE: {
      if (!Alive(dc)) return false;
      const PlatDDPixelFormat& pf = dc.desc.pixelFormat;
      Picture& p = t->picture;
      p.format.bits = int(pf.bitCount);
      p.format.masks[0] = pf.rMask;
      p.format.masks[1] = pf.gMask;
      p.format.masks[2] = pf.bMask;
      if (pf.bitCount == 8) p.format.colors = DisplayPalette();
      p.width = int32_t(dc.desc.width);
      p.height = int32_t(dc.desc.height);
      p.bandBottom = p.height;
      p.base = static_cast<uint8_t*>(dc.desc.surface);
      p.pitch = dc.desc.pitch;
      t->clip = {0, 0, p.width, p.height};
      return true;
    }
    default: return false;
  }
}

// After a draw on the store: the windows shown take it up.
void Drawn(const Target& t) {
  if (!t.screen) return;
  if (t.shows) PlatDisplayShowWindow(t.shows, 1);
  PlatDisplayChanged();
}

}  // namespace gdicore

using namespace gdicore;

namespace {

bool FontSelected(Gdi& g, PlatGdiObj handle) {
  for (auto& [h, dc] : g.dcs)
    if (dc.font == handle) return true;
  return false;
}

Dib TopDown(int32_t width, int32_t height, Format format) {
  Dib d;
  d.width = width;
  d.height = height;
  d.topDown = true;
  d.stride = StrideOf(width, format.bits);
  d.format = std::move(format);
  return d;
}

}  // namespace

// ---- device contexts --------------------------------------------------------------------------

PlatDC PlatGdiGetDC(PlatWnd window) {
  ENTER("GetDC", 0);
  if (window && !PlatIsWindow(window)) return 0;
  const PlatDC handle = NewHandle(g, KIND_WINDOW);
  DC dc{KIND_WINDOW};
  dc.window = window;
  g.dcs[handle] = dc;
  return handle;
}

int PlatGdiReleaseDC(PlatWnd window, PlatDC handle) {
  ENTER("ReleaseDC", 0);
  DC* dc = FindDC(g, handle);
  if (!dc || dc->kind != KIND_WINDOW || dc->window != window) return 0;
  g.dcs.erase(handle);
  return 1;
}

PlatDC PlatGdiCreateCompatibleDC(PlatDC other) {
  ENTER("CreateCompatibleDC", 0);
  Format format;
  if (other) {
    DC* dc = FindDC(g, other);
    Target t;
    if (!dc || !TargetOf(g, *dc, &t)) return 0;
    format = t.picture.format;
  } else {
    PlatDisplayMode mode;
    PlatDisplayGetMode(&mode);
    format = FormatOfMode(mode);
  }
  const PlatDC handle = NewHandle(g, KIND_MEMORY);
  DC dc{KIND_MEMORY};
  dc.own = MakeBitmap(g, TopDown(1, 1, format), false);
  dc.bitmap = dc.own;
  g.bitmaps[dc.own].ownedBy = handle;
  g.bitmaps[dc.own].selectedIn = handle;
  g.dcs[handle] = dc;
  return handle;
}

int PlatGdiDeleteDC(PlatDC handle) {
  ENTER("DeleteDC", 0);
  DC* dc = FindDC(g, handle);
  if (!dc || dc->kind != KIND_MEMORY) return 0;
  if (Bitmap* b = FindBitmap(g, dc->bitmap)) b->selectedIn = 0;
  g.bitmaps.erase(dc->own);
  g.dcs.erase(handle);
  return 1;
}

int32_t PlatGdiGetSurfaceDC(PlatDDSurface surface, PlatDC* out) {
  ENTER("GetSurfaceDC", PLAT_DDERR_SURFACELOST);
  if (!out) return PLAT_DDERR_INVALIDPARAMS;
  *out = 0;
  DC dc{KIND_SURFACE};
  dc.surface = surface;
  dc.desc.size = sizeof dc.desc;
  if (int32_t e = PlatDDSurfaceGetDC(surface, &dc.desc)) return e;
  const PlatDDPixelFormat& pf = dc.desc.pixelFormat;
  const bool drawable = (pf.flags & PLAT_DDPF_RGB) && !(pf.flags & (PLAT_DDPF_ZBUFFER | PLAT_DDPF_FOURCC)) &&
                        (pf.bitCount == 8 || pf.bitCount == 16 || pf.bitCount == 32);
  if (!drawable || !dc.desc.surface) {
    PlatDDSurfaceReleaseDC(surface);
    return PLAT_DDERR_INVALIDPIXELFORMAT;
  }
  *out = NewHandle(g, KIND_SURFACE);
  g.dcs[*out] = dc;
  return PLAT_DD_OK;
}

int32_t PlatGdiReleaseSurfaceDC(PlatDDSurface surface, PlatDC handle) {
  ENTER("ReleaseSurfaceDC", PLAT_DDERR_INVALIDPARAMS);
  DC* dc = FindDC(g, handle);
  if (!dc || dc->kind != KIND_SURFACE || dc->surface != surface) return PLAT_DDERR_INVALIDPARAMS;
  g.dcs.erase(handle);
  return PlatDDSurfaceReleaseDC(surface);
}

// ---- objects -------------------------------------------------------------------------------

PlatGdiObj PlatGdiCreateCompatibleBitmap(PlatDC handle, int32_t width, int32_t height) {
  ENTER("CreateCompatibleBitmap", 0);
  DC* dc = FindDC(g, handle);
  Target t;
  if (!dc || !TargetOf(g, *dc, &t)) return 0;
  if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return 0;
  return MakeBitmap(g, TopDown(width, height, t.picture.format), false);
}

PlatGdiObj PlatGdiCreateDIBSection(PlatDC handle, const PlatBitmapInfo* info, uint32_t usage, void** bits) {
  ENTER("CreateDIBSection", 0);
  if (bits) *bits = nullptr;
  if (handle && !FindDC(g, handle)) return 0;
  Dib dib;
  if (!ParseDib(info, usage, &dib)) return 0;
  const PlatGdiObj made = MakeBitmap(g, std::move(dib), true);
  if (made && bits) *bits = g.bitmaps[made].memory->bytes.data();
  return made;
}

PlatGdiObj PlatGdiSelectObject(PlatDC handle, PlatGdiObj object) {
  ENTER("SelectObject", 0);
  DC* dc = FindDC(g, handle);
  if (dc && (object == PLAT_STOCK_FONT || FindFont(g, object))) {
    const PlatGdiObj previous = dc->font;
    dc->font = object;
    return previous;
  }
  Bitmap* b = FindBitmap(g, object);
  if (!dc || !b || dc->kind != KIND_MEMORY) return 0;
  if (b->selectedIn && b->selectedIn != handle) return 0;
  if (b->ownedBy && b->ownedBy != handle) return 0;
  const PlatGdiObj previous = dc->bitmap;
  if (Bitmap* old = FindBitmap(g, previous)) old->selectedIn = 0;
  b->selectedIn = handle;
  dc->bitmap = object;
  return previous;
}

int PlatGdiDeleteObject(PlatGdiObj object) {
  ENTER("DeleteObject", 0);
  if (Font* f = FindFont(g, object)) {
    // A selected font stays: its device context would read a closed face.
    if (FontSelected(g, object)) return 0;
    f->backend->close(f->face);
    g.fonts.erase(object);
    return 1;
  }
  Bitmap* b = FindBitmap(g, object);
  // A selected bitmap stays: its device context would draw into freed memory.
  if (!b || b->selectedIn || b->ownedBy) return 0;
  g.bitmaps.erase(object);
  return 1;
}

int PlatGdiGetObject(PlatGdiObj object, int bytes, void* out) {
  ENTER("GetObject", 0);
  Bitmap* b = FindBitmap(g, object);
  if (!b) return 0;
  if (!out) return int(sizeof(PlatBitmap));
  if (bytes <= 0) return 0;
  PlatBitmap bm{};
  bm.width = b->dib.width;
  bm.height = b->dib.height;
  bm.widthBytes = b->dib.stride;
  bm.planes = 1;
  bm.bitsPixel = uint16_t(b->dib.format.bits);
  bm.bits = b->section ? b->memory->bytes.data() : nullptr;
  const int n = std::min(bytes, int(sizeof bm));
  std::memcpy(out, &bm, size_t(n));
  return n;
}

// ---- device caps -------------------------------------------------------------------------------

int PlatGdiGetDeviceCaps(PlatDC handle, int index) {
  ENTER("GetDeviceCaps", 0);
  DC* dc = FindDC(g, handle);
  if (!dc) return 0;
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  switch (index) {
    case PLAT_BITSPIXEL:
      // A surface's own depth; windows and memory share the display's format.
      if (dc->kind == KIND_SURFACE) return int(dc->desc.pixelFormat.bitCount);
      return mode.depth;
    case PLAT_PLANES: return 1;
    case PLAT_HORZRES: return mode.width;
    case PLAT_VERTRES: return mode.height;
    case PLAT_VREFRESH: return mode.refreshRate > 0 ? mode.refreshRate : 60;
    default: return 0;
  }
}

// ---- display settings ------------------------------------------------------------------------

int32_t PlatChangeDisplaySettings(const PlatDevMode* devMode, uint32_t flags) {
  ENTER("ChangeDisplaySettings", PLAT_DISP_CHANGE_FAILED);
  if (flags & ~PLAT_CDS_FULLSCREEN) return PLAT_DISP_CHANGE_FAILED;
  if (!devMode) {
    PlatDisplayRestoreMode();
    return PLAT_DISP_CHANGE_SUCCESSFUL;
  }
  if (devMode->size != sizeof(PlatDevMode)) return PLAT_DISP_CHANGE_FAILED;
  PlatDisplayMode now;
  PlatDisplayGetMode(&now);
  const uint32_t f = devMode->fields;
  const uint32_t width = f & PLAT_DM_PELSWIDTH ? devMode->pelsWidth : uint32_t(now.width);
  const uint32_t height = f & PLAT_DM_PELSHEIGHT ? devMode->pelsHeight : uint32_t(now.height);
  const uint32_t depth = f & PLAT_DM_BITSPERPEL ? devMode->bitsPerPel : uint32_t(now.depth);
  const uint32_t rate = f & PLAT_DM_DISPLAYFREQUENCY ? devMode->displayFrequency : 0;
  if (width > 65536 || height > 65536 || depth > 32 || rate > 1000) return PLAT_DISP_CHANGE_BADMODE;
  PlatDisplayMode mode = PlatDisplayModeOf(int32_t(width), int32_t(height), int32_t(depth), int32_t(rate));
  if (!PlatDisplayAcceptsMode(mode) && depth == 16) {
    // A display of 5:5:5 pixels offers its 16 bits that way.
    mode.redMask = 0x7C00;
    mode.greenMask = 0x03E0;
  }
  if (!PlatDisplayAcceptsMode(mode)) return PLAT_DISP_CHANGE_BADMODE;
  PlatWnd owner = PlatDisplayExclusiveOwner();
  if (!owner) owner = PlatGetForegroundWindow();
  if (PlatDisplaySetMode(owner, mode) != 0) return PLAT_DISP_CHANGE_FAILED;
  return PLAT_DISP_CHANGE_SUCCESSFUL;
}

// ---- the fake's switches ------------------------------------------------------------------------

void PlatGdiFakeReset() {
  Gdi& g = G();
  Lock lock(g.mu);
  for (auto& [handle, dc] : g.dcs)
    if (dc.kind == KIND_SURFACE) PlatDDSurfaceReleaseDC(dc.surface);
  g.dcs.clear();
  g.bitmaps.clear();
  for (auto& [handle, f] : g.fonts) f.backend->close(f.face);
  g.fonts.clear();
  g_generalCopies = false;
  g.fake.Reset();
  g.clipKind = 0;
}

void PlatGdiFakeGeneralCopies(int on) {
  Gdi& g = G();
  Lock lock(g.mu);
  g_generalCopies = on != 0;
}

void PlatGdiFakeSetClipBox(int kind, const PlatRect* box) {
  Gdi& g = G();
  Lock lock(g.mu);
  g.clipKind = kind;
  g.clipBox = box ? *box : PlatRect{0, 0, 0, 0};
}

void PlatGdiFakeFailNext(const char* operation, int count) {
  Gdi& g = G();
  Lock lock(g.mu);
  g.fake.FailNext(operation, count, 1);
}

void PlatGdiFakeFailNth(const char* operation, int n) {
  Gdi& g = G();
  Lock lock(g.mu);
  g.fake.FailNth(operation, n, 1);
}

void PlatGdiFakeLogCalls(int on) {
  Gdi& g = G();
  Lock lock(g.mu);
  g.fake.logging = on != 0;
}

std::vector<std::string> PlatGdiFakeCalls() {
  Gdi& g = G();
  Lock lock(g.mu);
  return g.fake.calls;
}

int PlatGdiFakeLiveDCs() {
  Gdi& g = G();
  Lock lock(g.mu);
  return int(g.dcs.size());
}

int PlatGdiFakeLiveObjects() {
  Gdi& g = G();
  Lock lock(g.mu);
  int n = 0;
  for (auto& [handle, b] : g.bitmaps) n += b.ownedBy ? 0 : 1;
  return n + int(g.fonts.size());
}
