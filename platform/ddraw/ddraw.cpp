// The DirectDraw-style object: cooperative level, display modes, the vertical blank; the
// recording fake's switches and the Direct3D-style device's access to surface memory.
#include "platform/ddraw/ddraw.h"

#include "platform/ddraw/ddrawstate.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/ddraw/surfacememory.h"

#include <cstdio>
#include <string>

namespace ddcore {

DD& G() {
  static DD* g = [] {
    DD* made = new DD;
    made->fake.family = "ddraw";
    return made;
  }();
  return *g;
}

Object* FindObject(DD& g, PlatDDraw handle) {
  auto view = g.views.find(handle);
  if (view != g.views.end()) handle = view->second.base;
  auto it = g.objects.find(handle);
  return it == g.objects.end() ? nullptr : &it->second;
}

PlatDDraw ObjectHandle(DD& g, PlatDDraw handle) {
  auto view = g.views.find(handle);
  return view != g.views.end() ? view->second.base : handle;
}

// The surface a handle or a view of it names.
PlatDDSurface Resolve(DD& g, PlatDDSurface handle) {
  auto view = g.surfaceViews.find(handle);
  return view != g.surfaceViews.end() ? view->second.base : handle;
}

Surface* FindSurface(DD& g, PlatDDSurface handle) {
  auto it = g.surfaces.find(Resolve(g, handle));
  return it == g.surfaces.end() ? nullptr : &it->second;
}

PlatDDPixelFormat FormatOfMode(const PlatDisplayMode& m) {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.bitCount = uint32_t(m.depth);
  if (m.depth == 8) {
    f.flags = PLAT_DDPF_RGB | PLAT_DDPF_PALETTEINDEXED8;
  } else {
    f.flags = PLAT_DDPF_RGB;
    f.rMask = m.redMask;
    f.gMask = m.greenMask;
    f.bMask = m.blueMask;
  }
  return f;
}

PlatDDPixelFormat DepthFormat16() {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_ZBUFFER;
  f.bitCount = 16;
  f.rMask = 0xFFFF;
  return f;
}

bool SameFormat(const PlatDDPixelFormat& a, const PlatDDPixelFormat& b) {
  return a.flags == b.flags && a.fourCC == b.fourCC && a.bitCount == b.bitCount && a.rMask == b.rMask &&
         a.gMask == b.gMask && a.bMask == b.bMask && a.aMask == b.aMask;
}

bool Lost(DD& g, const Surface& s, int depth) {
  if (!g.objects.count(s.owner) || s.lostByTest) return true;
  if (s.front && depth == 0) {
    const Surface* front = FindSurface(g, s.front);
    if (front && Lost(g, *front, 1)) return true;
  }
  const bool displayBound = (s.caps & (PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_PRIMARYSURFACE)) != 0 &&
                            !(s.caps2 & PLAT_DDSCAPS2_TEXTUREMANAGE);
  return displayBound && s.losses != PlatDisplayLossCount();
}

// A live surface that may be used now: SURFACELOST for a lost one.
int32_t Usable(DD& g, PlatDDSurface handle, Surface** out) {
  Surface* s = FindSurface(g, handle);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (Lost(g, *s)) return PLAT_DDERR_SURFACELOST;
  *out = s;
  return PLAT_DD_OK;
}

bool IsStore(const Surface& s) { return (s.caps & PLAT_DDSCAPS_PRIMARYSURFACE) && s.memory == PlatDisplayStoreMemory(); }

void Changed(const Surface& s) {
  if (IsStore(s)) PlatDisplayChanged();
}

}  // namespace ddcore

using namespace ddcore;

// ---- the object -------------------------------------------------------------------------------

int32_t PlatDDrawCreate(PlatDDraw* object) {
  ENTER("Create");
  if (!object) return PLAT_DDERR_INVALIDPARAMS;
  const PlatDDraw handle = NewHandle(g, KIND_OBJECT);
  g.objects[handle] = Object{};
  *object = handle;
  return PLAT_DD_OK;
}

int32_t PlatDDrawRelease(PlatDDraw object) {
  DD& g = G();
  Lock lock(g.mu);
  const auto view = g.views.find(object);
  if (view != g.views.end()) {
    const std::string name = "Release" + std::to_string(view->second.generation);
    if (int32_t injected = Enter(g, name.c_str())) return injected;
    g.views.erase(view);
    return PLAT_DD_OK;
  }
  if (int32_t injected = Enter(g, "Release")) return injected;
  auto it = g.objects.find(object);
  if (it == g.objects.end()) return PLAT_DDERR_INVALIDOBJECT;
  const bool exclusive = (it->second.level & PLAT_DDSCL_EXCLUSIVE) != 0;
  g.objects.erase(it);
  for (auto v = g.views.begin(); v != g.views.end();) v = v->second.base == object ? g.views.erase(v) : std::next(v);
  if (exclusive) {
    PlatDisplaySetExclusiveOwner(0);
    PlatDisplayRestoreMode();
  }
  return PLAT_DD_OK;
}

int32_t PlatDDrawSetCooperativeLevel(PlatDDraw object, PlatWnd window, uint32_t flags) {
  ENTER("SetCooperativeLevel");
  Object* o = FindObject(g, object);
  if (!o) return PLAT_DDERR_INVALIDOBJECT;
  const uint32_t exclusive = PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE;
  if (flags != PLAT_DDSCL_NORMAL && flags != exclusive) return PLAT_DDERR_INVALIDPARAMS;
  if (window && !PlatIsWindow(window)) return PLAT_DDERR_INVALIDPARAMS;
  const PlatDDraw self = ObjectHandle(g, object);
  for (auto& [handle, other] : g.objects) {
    if (handle == self || !(other.level & PLAT_DDSCL_EXCLUSIVE)) continue;
    if (flags == exclusive) return PLAT_DDERR_EXCLUSIVEMODEALREADYSET;
    if (other.window == window) return PLAT_DDERR_HWNDSUBCLASSED;
  }
  if (flags == exclusive) {
    if (!window) return PLAT_DDERR_INVALIDPARAMS;
    if ((o->level & PLAT_DDSCL_EXCLUSIVE) && o->window != window) return PLAT_DDERR_HWNDALREADYSET;
    PlatDisplaySetExclusiveOwner(window);
  } else if (o->level & PLAT_DDSCL_EXCLUSIVE) {
    PlatDisplaySetExclusiveOwner(0);
  }
  o->level = flags;
  o->window = window;
  if (window) PlatDisplayShowWindow(window, 1);
  return PLAT_DD_OK;
}

int32_t PlatDDrawSetDisplayMode(PlatDDraw object, uint32_t width, uint32_t height, uint32_t bitCount,
                                uint32_t refreshRate) {
  ENTER("SetDisplayMode");
  Object* o = FindObject(g, object);
  if (!o) return PLAT_DDERR_INVALIDOBJECT;
  if (width > 65536 || height > 65536 || refreshRate > 1000) return PLAT_DDERR_INVALIDPARAMS;
  PlatDisplayMode mode = PlatDisplayModeOf(int32_t(width), int32_t(height), int32_t(bitCount), int32_t(refreshRate));
  if (!PlatDisplayAcceptsMode(mode) && bitCount == 16) {
    // A display of 5:5:5 pixels offers its 16 bits that way.
    mode.redMask = 0x7C00;
    mode.greenMask = 0x03E0;
  }
  if (PlatDisplaySetMode(o->window, mode) != 0) return PLAT_DDERR_UNSUPPORTEDMODE;
  return PLAT_DD_OK;
}

int32_t PlatDDrawRestoreDisplayMode(PlatDDraw object) {
  ENTER("RestoreDisplayMode");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  PlatDisplayRestoreMode();
  return PLAT_DD_OK;
}

int32_t PlatDDrawGetDisplayMode(PlatDDraw object, PlatDDSurfaceDesc* desc) {
  ENTER("GetDisplayMode");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!desc) return PLAT_DDERR_INVALIDPARAMS;
  PlatDisplayMode m;
  PlatDisplayGetMode(&m);
  *desc = PlatDDSurfaceDesc{};
  desc->size = sizeof *desc;
  desc->flags = PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PITCH | PLAT_DDSD_PIXELFORMAT | PLAT_DDSD_REFRESHRATE;
  desc->width = uint32_t(m.width);
  desc->height = uint32_t(m.height);
  desc->pitch = (m.width * (m.depth / 8) + 3) & ~3;
  desc->refreshRate = uint32_t(m.refreshRate);
  desc->pixelFormat = FormatOfMode(m);
  return PLAT_DD_OK;
}

int32_t PlatDDrawGetDeviceIdentifier(PlatDDraw object, PlatDDDeviceIdentifier* id) {
  ENTER("GetDeviceIdentifier");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!id) return PLAT_DDERR_INVALIDPARAMS;
  *id = PlatDDDeviceIdentifier{};
  std::snprintf(id->driver, sizeof id->driver, "%s", PlatDisplayDriverName());
  std::snprintf(id->description, sizeof id->description, "%s", PlatDisplayDriverDescription());
  return PLAT_DD_OK;
}

int32_t PlatDDrawGetAvailableVidMem(PlatDDraw object, const PlatDDSurfaceDesc*, uint32_t* total, uint32_t* free) {
  ENTER("GetAvailableVidMem");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (total) *total = g.budget;
  if (free) *free = g.budget - std::min(g.used, g.budget);
  return PLAT_DD_OK;
}

int32_t PlatDDrawGetCaps(PlatDDraw object, PlatDDCaps* driver, PlatDDCaps* hel) {
  ENTER("GetCaps");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!driver && !hel) return PLAT_DDERR_INVALIDPARAMS;
  if (driver) {
    *driver = PlatDDCaps{};
    driver->size = sizeof *driver;
    driver->videoMemoryTotal = g.budget;
    driver->videoMemoryFree = g.budget - std::min(g.used, g.budget);
    driver->surfaceCaps = PLAT_DDSCAPS_PRIMARYSURFACE | PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_FLIP |
                          PLAT_DDSCAPS_TEXTURE | PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_3DDEVICE |
                          PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_SYSTEMMEMORY | (g.overlay ? uint32_t(PLAT_DDSCAPS_OVERLAY) : 0u);
    driver->maxVisibleOverlays = g.overlay ? 1 : 0;
    // Limits no overlay of ours meets, unless the fake offers one.
    driver->minOverlayStretch = g.overlay ? 100 : 1000;
    driver->maxOverlayStretch = g.overlay ? 20000 : 2000;
    driver->caps = g.overlay ? g.alignCaps : 0;
    driver->alignBoundarySrc = g.alignBoundarySrc;
    driver->alignSizeSrc = g.alignSizeSrc;
    driver->alignBoundaryDest = g.alignBoundaryDest;
    driver->alignSizeDest = g.alignSizeDest;
  }
  if (hel) {
    *hel = PlatDDCaps{};
    hel->size = sizeof *hel;
  }
  return PLAT_DD_OK;
}

namespace {

int32_t QueryGeneration(DD& g, PlatDDraw object, int generation, PlatDDraw* view) {
  if (!g.objects.count(object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!view) return PLAT_DDERR_INVALIDPARAMS;
  *view = NewHandle(g, KIND_VIEW);
  g.views[*view] = View{object, generation};
  return PLAT_DD_OK;
}

}  // namespace

int32_t PlatDDrawQueryFirstGeneration(PlatDDraw object, PlatDDraw* view) {
  ENTER("QueryFirstGeneration");
  return QueryGeneration(g, object, 1, view);
}

int32_t PlatDDrawQueryFourthGeneration(PlatDDraw object, PlatDDraw* view) {
  ENTER("QueryFourthGeneration");
  return QueryGeneration(g, object, 4, view);
}

int32_t PlatDDrawFlipToGDISurface(PlatDDraw object) {
  ENTER("FlipToGDISurface");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  PlatDisplayChanged();
  return PLAT_DD_OK;
}

int32_t PlatDDrawWaitForVerticalBlank(PlatDDraw object, uint32_t flags) {
  ENTER("WaitForVerticalBlank");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (flags != PLAT_DDWAITVB_BLOCKBEGIN) return PLAT_DDERR_INVALIDPARAMS;
  PlatDisplayWaitForBlank();
  return PLAT_DD_OK;
}

int32_t PlatDDrawGetVerticalBlankStatus(PlatDDraw object, int* inBlank) {
  ENTER("GetVerticalBlankStatus");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!inBlank) return PLAT_DDERR_INVALIDPARAMS;
  *inBlank = PlatDisplayInBlank();
  if (g.heldRaster >= 0) *inBlank = g.heldRaster;
  return PLAT_DD_OK;
}

int32_t PlatDDrawGetScanLine(PlatDDraw object, uint32_t* line) {
  ENTER("GetScanLine");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!line) return PLAT_DDERR_INVALIDPARAMS;
  int32_t at = 0;
  int blank = PlatDisplayScanLine(&at);
  if (g.heldRaster >= 0) {
    PlatDisplayRaster raster;
    PlatDisplayGetRaster(&raster);
    blank = g.heldRaster;
    at = blank ? raster.visibleLines : 0;
  }
  *line = uint32_t(at);
  return blank ? PLAT_DDERR_VERTICALBLANKINPROGRESS : PLAT_DD_OK;
}

// ---- the fake's switches ------------------------------------------------------------------------

void PlatDDrawFakeReset() {
  DD& g = G();
  Lock lock(g.mu);
  bool exclusive = false;
  for (auto& [h, o] : g.objects) exclusive = exclusive || (o.level & PLAT_DDSCL_EXCLUSIVE);
  g.objects.clear();
  g.views.clear();
  g.surfaceViews.clear();
  g.overlayCalls.clear();
  g.alignCaps = g.alignBoundarySrc = g.alignSizeSrc = g.alignBoundaryDest = g.alignSizeDest = 0;
  g.surfaces.clear();
  g.clippers.clear();
  g.palettes.clear();
  g.budget = kDefaultBudget;
  g.used = 0;
  g.forceSystem = false;
  g.fake.Reset();
  g.overlay = false;
  g.heldRaster = -1;
  g_generalCopies = false;
  if (exclusive) {
    PlatDisplaySetExclusiveOwner(0);
    PlatDisplayRestoreMode();
  }
}

void PlatDDrawFakeGeneralCopies(int on) {
  DD& g = G();
  Lock lock(g.mu);
  g_generalCopies = on != 0;
}

void PlatDDrawFakeFailNext(const char* operation, int count, int32_t error) {
  DD& g = G();
  Lock lock(g.mu);
  g.fake.FailNext(operation, count, error);
}

void PlatDDrawFakeFailNth(const char* operation, int n, int32_t error) {
  DD& g = G();
  Lock lock(g.mu);
  g.fake.FailNth(operation, n, error);
}

void PlatDDrawFakeLogCalls(int on) {
  DD& g = G();
  Lock lock(g.mu);
  g.fake.logging = on != 0;
}

std::vector<std::string> PlatDDrawFakeCalls() {
  DD& g = G();
  Lock lock(g.mu);
  return g.fake.calls;
}

void PlatDDrawFakeClearCalls() {
  DD& g = G();
  Lock lock(g.mu);
  g.fake.calls.clear();
}

void PlatDDrawFakeSetVideoMemory(uint32_t bytes) {
  DD& g = G();
  Lock lock(g.mu);
  g.budget = bytes;
}

void PlatDDrawFakeForceSystemMemory(int on) {
  DD& g = G();
  Lock lock(g.mu);
  g.forceSystem = on != 0;
}

void PlatDDrawFakeLoseSurface(PlatDDSurface surface) {
  DD& g = G();
  Lock lock(g.mu);
  surface = Resolve(g, surface);
  Surface* s = FindSurface(g, surface);
  if (!s) return;
  s->lostByTest = true;
  for (PlatDDSurface a : s->attached)
    if (Surface* each = FindSurface(g, a); each && each->front == surface) each->lostByTest = true;
}

void PlatDDrawFakeLoseAll() { PlatDisplayCountLoss(); }

void PlatDDrawFakeHoldRaster(int blank) {
  DD& g = G();
  Lock lock(g.mu);
  g.heldRaster = blank < 0 ? -1 : blank != 0;
}

void PlatDDrawFakeSetOverlayFormat(const PlatDDPixelFormat* format) {
  DD& g = G();
  Lock lock(g.mu);
  g.overlay = format != nullptr;
  if (format) g.overlayFormat = *format;
}

void PlatDDrawFakeSetOverlayAlignment(uint32_t caps, uint32_t boundarySrc, uint32_t sizeSrc, uint32_t boundaryDest,
                                      uint32_t sizeDest) {
  DD& g = G();
  Lock lock(g.mu);
  g.alignCaps = caps;
  g.alignBoundarySrc = boundarySrc;
  g.alignSizeSrc = sizeSrc;
  g.alignBoundaryDest = boundaryDest;
  g.alignSizeDest = sizeDest;
}

std::vector<PlatDDFakeOverlayCall> PlatDDrawFakeOverlayCalls() {
  DD& g = G();
  Lock lock(g.mu);
  std::vector<PlatDDFakeOverlayCall> out;
  for (const OverlayCall& c : g.overlayCalls) out.push_back({c.surface, c.dest, c.source, c.destination, c.flags});
  return out;
}

void PlatDDrawFakeClearOverlayCalls() {
  DD& g = G();
  Lock lock(g.mu);
  g.overlayCalls.clear();
}

// ---- the Direct3D-style device's access ------------------------------------------------------

int32_t PlatDDSurfaceGetMemory(PlatDDSurface surface, PlatDDSurfaceMemory* memory) {
  DD& g = G();
  Lock lock(g.mu);
  Surface* s = nullptr;
  if (int32_t e = Usable(g, surface, &s)) return e;
  if (s->locked || s->dc) return PLAT_DDERR_SURFACEBUSY;
  memory->bits = s->memory->bytes.data();
  memory->width = s->width;
  memory->height = s->height;
  memory->pitch = s->pitch;
  memory->format = s->format;
  memory->caps = s->caps;
  memory->keyed = s->keyed;
  memory->key = s->key;
  memory->depth = 0;
  for (PlatDDSurface a : s->attached) {
    const Surface* z = FindSurface(g, a);
    if (z && (z->caps & PLAT_DDSCAPS_ZBUFFER)) {
      memory->depth = a;
      break;
    }
  }
  return PLAT_DD_OK;
}

bool PlatDDrawIsObject(PlatDDraw object) {
  DD& g = G();
  Lock lock(g.mu);
  return FindObject(g, object) != nullptr;
}

void PlatDDSurfaceDrawn(PlatDDSurface surface) {
  DD& g = G();
  Lock lock(g.mu);
  if (const Surface* s = FindSurface(g, surface)) Changed(*s);
}

PlatDDPixelFormat PlatDDDepthFormat16() { return DepthFormat16(); }
bool PlatDDSameFormat(const PlatDDPixelFormat& a, const PlatDDPixelFormat& b) { return SameFormat(a, b); }
