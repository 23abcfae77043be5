// DirectDraw-style surfaces in host memory over the display, with the recording fake's
// switches. One recursive mutex guards every record; it is held while the display is
// called (the display never calls back here).
#include "platform/ddraw/ddraw.h"

#include "platform/backend/fakecalls.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/ddraw/surfacememory.h"
#include "platform/display/backend.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

enum Kind : uint32_t {
  KIND_OBJECT = 1,
  KIND_VIEW = 2,
  KIND_SURFACE = 3,
  KIND_CLIPPER = 4,
  KIND_PALETTE = 5,
  KIND_SURFACE_VIEW = 6,
};

// Another generation's interface on an object or a surface: its own handle, released on
// its own, that reaches the same object.
struct View {
  uint32_t base = 0;
  int generation = 0;
};

// One call of UpdateOverlay as the fake keeps it.
struct OverlayCall {
  PlatDDSurface surface, dest;
  PlatRect source, destination;
  uint32_t flags;
};

struct Object {
  uint32_t level = PLAT_DDSCL_NORMAL;
  PlatWnd window = 0;
  PlatDDSurface primary = 0;
};

struct Surface {
  PlatDDraw owner = 0;
  uint32_t caps = 0, caps2 = 0;
  int32_t width = 0, height = 0, pitch = 0, bytes = 0;
  PlatDDPixelFormat format{};
  PlatPixelRef memory;
  uint32_t videoBytes = 0;   // counted against the budget
  uint32_t losses = 0;       // the display's loss count when made or restored
  bool lostByTest = false;
  PlatDisplayMode mode{};    // a primary: the mode it shows
  bool locked = false, dc = false;
  PlatPixelRef lockMemory;   // keeps a lock's pointer valid until unlock or release
  bool keyed = false;
  PlatDDColorKey key{};
  PlatDDClipper clipper = 0;
  PlatDDPalette palette = 0;
  std::vector<PlatDDSurface> attached;  // each holds a reference
  PlatDDSurface front = 0;   // a back buffer: the front of its chain
  int refs = 1;
};

struct Palette {
  PlatDDPaletteEntry entries[256];
};

constexpr uint32_t kDefaultBudget = 256u << 20;

struct DD {
  std::recursive_mutex mu;
  uint32_t next = 1;
  std::map<uint32_t, Object> objects;
  std::map<uint32_t, View> views;
  std::map<uint32_t, View> surfaceViews;  // each holds a reference to its surface
  std::map<uint32_t, Surface> surfaces;
  std::map<uint32_t, PlatWnd> clippers;
  std::map<uint32_t, Palette> palettes;
  uint32_t budget = kDefaultBudget, used = 0;
  bool forceSystem = false;
  FakeCalls fake;
  bool overlay = false;
  PlatDDPixelFormat overlayFormat{};
  uint32_t alignCaps = 0, alignBoundarySrc = 0, alignSizeSrc = 0, alignBoundaryDest = 0, alignSizeDest = 0;
  std::vector<OverlayCall> overlayCalls;
  int heldRaster = -1;  // 0 or 1: the blank status every query answers
};

DD& G() {
  static DD* g = [] {
    DD* made = new DD;
    made->fake.family = "ddraw";
    return made;
  }();
  return *g;
}

typedef std::lock_guard<std::recursive_mutex> Lock;

uint32_t NewHandle(DD& g, Kind kind) { return NextKindHandle(g.next, kind); }

// The fake's view of a call: logged, and answering an injected failure.
int32_t Enter(DD& g, const char* operation) {
  return g.fake.Enter(operation);
}

#define ENTER(name)              \
  DD& g = G();                   \
  Lock lock(g.mu);               \
  if (int32_t injected = Enter(g, name)) return injected

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

bool Lost(DD& g, const Surface& s, int depth = 0) {
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

PlatRect Whole(const Surface& s) { return {0, 0, s.width, s.height}; }

bool Empty(const PlatRect& r) { return r.left >= r.right || r.top >= r.bottom; }

bool Inside(const PlatRect& r, const Surface& s) {
  return !Empty(r) && r.left >= 0 && r.top >= 0 && r.right <= s.width && r.bottom <= s.height;
}

PlatRect Intersect(const PlatRect& a, const PlatRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

uint8_t* At(const Surface& s, int32_t x, int32_t y) {
  return s.memory->bytes.data() + size_t(y) * size_t(s.pitch) + size_t(x) * size_t(s.bytes);
}

void Poison(PlatPixelMemory& memory) {
  for (size_t i = 0; i < memory.bytes.size(); i++) memory.bytes[i] = uint8_t(PLAT_DD_POISON >> (8 * (i & 3)));
}

// ---- pixel loops ------------------------------------------------------------------------

template <int B>
uint32_t Read(const uint8_t* p) {
  if constexpr (B == 1) return p[0];
  if constexpr (B == 2) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  if constexpr (B == 3) return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
  if constexpr (B == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
}

template <int B>
void Write(uint8_t* p, uint32_t v) {
  if constexpr (B == 1) p[0] = uint8_t(v);
  if constexpr (B == 2) {
    uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
  }
  if constexpr (B == 3) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
  }
  if constexpr (B == 4) std::memcpy(p, &v, 4);
}

struct Copy {
  uint8_t* dst;
  int32_t dstPitch;
  const uint8_t* src;
  int32_t srcPitch;
  int32_t width, height;  // of the destination region
  // Nearest stretch: the source pixel of region pixel (x, y) is
  // (x + offsetX) * srcW / dstW, (y + offsetY) * srcH / dstH from src.
  int32_t srcW, srcH, dstW, dstH, offsetX, offsetY;
  bool keyed;
  uint32_t low, high;
};

// The tests' switch (under the layer's lock): every copy through CopyLoopGeneral.
bool g_generalCopies = false;

// The general loop, pixel by pixel.
template <int B>
void CopyLoopGeneral(const Copy& c) {
  const bool stretched = c.srcW != c.dstW || c.srcH != c.dstH;
  // The source byte of each destination column, worked out once: a division per pixel
  // made stretches several times slower than the copy itself.
  std::vector<size_t> columns;
  if (stretched) {
    columns.resize(size_t(c.width));
    for (int32_t x = 0; x < c.width; x++)
      columns[size_t(x)] = size_t(int64_t(x + c.offsetX) * c.srcW / c.dstW) * B;
  }
  for (int32_t y = 0; y < c.height; y++) {
    const int32_t sy = stretched ? int32_t(int64_t(y + c.offsetY) * c.srcH / c.dstH) : y + c.offsetY;
    const uint8_t* srow = c.src + size_t(sy) * size_t(c.srcPitch);
    uint8_t* drow = c.dst + size_t(y) * size_t(c.dstPitch);
    if (!stretched && !c.keyed) {
      std::memmove(drow, srow + size_t(c.offsetX) * B, size_t(c.width) * B);
      continue;
    }
    for (int32_t x = 0; x < c.width; x++) {
      const size_t at = stretched ? columns[size_t(x)] : size_t(x + c.offsetX) * B;
      const uint32_t v = Read<B>(srow + at);
      if (c.keyed && v >= c.low && v <= c.high) continue;
      Write<B>(drow + size_t(x) * B, v);
    }
  }
}

// What CopyLoopGeneral gives, by rows: an unstretched keyed row selects between the
// source and what the destination holds, which vectorises; a stretch works out its
// source columns once and copies a repeated source row's destination row again. The
// source never shares memory with the destination here (CopyRect copies it first).
template <int B>
void CopyLoop(const Copy& c) {
  if (g_generalCopies) return CopyLoopGeneral<B>(c);
  const bool stretched = c.srcW != c.dstW || c.srcH != c.dstH;
  // An empty key range keys nothing.
  const bool keyed = c.keyed && c.low <= c.high;
  const uint32_t low = c.low, span = c.high - c.low;
  const int32_t width = c.width;
  std::vector<size_t> columns;
  if (stretched) {
    columns.resize(size_t(width));
    for (int32_t x = 0; x < width; x++)
      columns[size_t(x)] = size_t(int64_t(x + c.offsetX) * c.srcW / c.dstW) * B;
  }
  int32_t lastSy = -1;
  for (int32_t y = 0; y < c.height; y++) {
    const int32_t sy = stretched ? int32_t(int64_t(y + c.offsetY) * c.srcH / c.dstH) : y + c.offsetY;
    const uint8_t* srow = c.src + size_t(sy) * size_t(c.srcPitch);
    uint8_t* drow = c.dst + size_t(y) * size_t(c.dstPitch);
    if (!stretched) srow += size_t(c.offsetX) * B;
    if (!keyed && (!stretched || (sy == lastSy && y > 0))) {
      std::memmove(drow, stretched ? drow - c.dstPitch : srow, size_t(width) * B);
      continue;
    }
    lastSy = sy;
    if (!stretched) {
      for (int32_t x = 0; x < width; x++) {
        const uint32_t v = Read<B>(srow + size_t(x) * B), old = Read<B>(drow + size_t(x) * B);
        Write<B>(drow + size_t(x) * B, v - low <= span ? old : v);
      }
    } else if (keyed) {
      for (int32_t x = 0; x < width; x++) {
        const uint32_t v = Read<B>(srow + columns[size_t(x)]);
        if (v - low > span) Write<B>(drow + size_t(x) * B, v);
      }
    } else {
      for (int32_t x = 0; x < width; x++) Write<B>(drow + size_t(x) * B, Read<B>(srow + columns[size_t(x)]));
    }
  }
}

template <int B>
void FillLoop(uint8_t* dst, int32_t pitch, int32_t width, int32_t height, uint32_t value) {
  // A value of one repeated byte (black, white, the far depth) fills as bytes; any other
  // fills the first row and copies it down.
  const size_t rowBytes = size_t(width) * B;
  bool bytewise = true;
  for (int i = 1; i < B; i++) bytewise = bytewise && (value >> (8 * i) & 0xFF) == (value & 0xFF);
  if (bytewise || (B != 3 && height > 1)) {
    if (!bytewise) FillLoop<B>(dst, pitch, width, 1, value);
    for (int32_t y = bytewise ? 0 : 1; y < height; y++) {
      uint8_t* row = dst + size_t(y) * size_t(pitch);
      if (bytewise) std::memset(row, int(value & 0xFF), rowBytes);
      else std::memcpy(row, dst, rowBytes);
    }
    return;
  }
  for (int32_t y = 0; y < height; y++) {
    uint8_t* row = dst + size_t(y) * size_t(pitch);
    // Rows start 4-byte aligned (pitches are multiples of 4), so they fill as arrays.
    if constexpr (B == 1) std::memset(row, int(value & 0xFF), size_t(width));
    if constexpr (B == 2) std::fill_n(reinterpret_cast<uint16_t*>(row), width, uint16_t(value));
    if constexpr (B == 3)
      for (int32_t x = 0; x < width; x++) Write<3>(row + size_t(x) * 3, value);
    if constexpr (B == 4) std::fill_n(reinterpret_cast<uint32_t*>(row), width, value);
  }
}

void Fill(Surface& s, const PlatRect& r, uint32_t value) {
  const int32_t w = r.right - r.left, h = r.bottom - r.top;
  switch (s.bytes) {
    case 1: FillLoop<1>(At(s, r.left, r.top), s.pitch, w, h, value); break;
    case 2: FillLoop<2>(At(s, r.left, r.top), s.pitch, w, h, value); break;
    case 3: FillLoop<3>(At(s, r.left, r.top), s.pitch, w, h, value); break;
    default: FillLoop<4>(At(s, r.left, r.top), s.pitch, w, h, value); break;
  }
}

// Copies src's srcRect onto dst's dstRect (stretched when the sizes differ), only where
// region (within dstRect and dst) lies.
void CopyRect(Surface& dst, const PlatRect& dstRect, const PlatRect& region, const Surface& src,
              const PlatRect& srcRect, bool keyed) {
  // A copy within one memory reads from a copy of the source rectangle.
  std::vector<uint8_t> scratch;
  const uint8_t* from = At(src, srcRect.left, srcRect.top);
  int32_t fromPitch = src.pitch;
  if (src.memory == dst.memory) {
    const size_t row = size_t(srcRect.right - srcRect.left) * size_t(src.bytes);
    scratch.resize(row * size_t(srcRect.bottom - srcRect.top));
    for (int32_t y = srcRect.top; y < srcRect.bottom; y++)
      std::memcpy(scratch.data() + size_t(y - srcRect.top) * row, At(src, srcRect.left, y), row);
    from = scratch.data();
    fromPitch = int32_t(row);
  }
  Copy c{At(dst, region.left, region.top), dst.pitch, from, fromPitch,
         region.right - region.left, region.bottom - region.top,
         srcRect.right - srcRect.left, srcRect.bottom - srcRect.top,
         dstRect.right - dstRect.left, dstRect.bottom - dstRect.top,
         region.left - dstRect.left, region.top - dstRect.top,
         keyed, src.key.low, src.key.high};
  switch (dst.bytes) {
    case 1: CopyLoop<1>(c); break;
    case 2: CopyLoop<2>(c); break;
    case 3: CopyLoop<3>(c); break;
    default: CopyLoop<4>(c); break;
  }
}

void Changed(const Surface& s) {
  if (IsStore(s)) PlatDisplayChanged();
}

void ReleaseSurfaceLocked(DD& g, PlatDDSurface handle);

void FreeSurface(DD& g, PlatDDSurface handle) {
  auto it = g.surfaces.find(handle);
  if (it == g.surfaces.end()) return;
  std::vector<PlatDDSurface> attached = std::move(it->second.attached);
  g.used -= std::min(g.used, it->second.videoBytes);
  for (auto& [h, o] : g.objects)
    if (o.primary == handle) o.primary = 0;
  g.surfaces.erase(it);
  for (PlatDDSurface a : attached) ReleaseSurfaceLocked(g, a);
}

void ReleaseSurfaceLocked(DD& g, PlatDDSurface handle) {
  auto view = g.surfaceViews.find(handle);
  if (view != g.surfaceViews.end()) {
    handle = view->second.base;
    g.surfaceViews.erase(view);
  }
  Surface* s = FindSurface(g, handle);
  if (s && --s->refs <= 0) FreeSurface(g, handle);
}

PlatDDSurfaceDesc DescOf(const Surface& s) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PITCH | PLAT_DDSD_PIXELFORMAT;
  d.width = uint32_t(s.width);
  d.height = uint32_t(s.height);
  d.pitch = s.pitch;
  d.pixelFormat = s.format;
  d.caps = s.caps;
  d.caps2 = s.caps2;
  if (!s.attached.empty() && (s.caps & PLAT_DDSCAPS_FLIP)) {
    d.flags |= PLAT_DDSD_BACKBUFFERCOUNT;
    d.backBufferCount = 1;
  }
  return d;
}

// Places a new surface's memory: video memory when asked (or, unasked, while it fits),
// else system memory.
int32_t Place(DD& g, Surface& s, bool primaryChain) {
  const uint32_t size = uint32_t(std::min<size_t>(size_t(s.pitch) * size_t(s.height), 0xFFFFFFFFu));
  const bool managed = (s.caps2 & PLAT_DDSCAPS2_TEXTUREMANAGE) != 0;
  const bool askedVideo = (s.caps & PLAT_DDSCAPS_VIDEOMEMORY) != 0;
  const bool askedSystem = (s.caps & PLAT_DDSCAPS_SYSTEMMEMORY) != 0;
  s.caps &= ~(PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_SYSTEMMEMORY);
  bool video = !managed && !askedSystem && !g.forceSystem;
  if (video && (g.used > g.budget || size > g.budget - g.used)) {
    if (askedVideo || primaryChain) return PLAT_DDERR_OUTOFVIDEOMEMORY;
    video = false;
  }
  if (video) {
    s.caps |= PLAT_DDSCAPS_VIDEOMEMORY;
    s.videoBytes = size;
    g.used += size;
  } else if (!managed) {
    s.caps |= PLAT_DDSCAPS_SYSTEMMEMORY;
  }
  s.memory = std::make_shared<PlatPixelMemory>();
  s.memory->bytes.assign(size_t(s.pitch) * size_t(s.height), 0);
  return PLAT_DD_OK;
}

void Size(Surface& s, int32_t width, int32_t height, const PlatDDPixelFormat& format) {
  s.width = width;
  s.height = height;
  s.format = format;
  s.bytes = int32_t(format.bitCount / 8);
  s.pitch = (width * s.bytes + 3) & ~3;
}

bool UsableFormat(const PlatDDPixelFormat& f, uint32_t caps) {
  if (f.size != sizeof(PlatDDPixelFormat)) return false;
  if (f.flags & PLAT_DDPF_FOURCC) return f.bitCount == 16 || f.bitCount == 0;
  // 24-bit RGB only in system memory, where movie frames are written by the processor.
  if (f.bitCount == 24) return (f.flags & PLAT_DDPF_RGB) && (caps & PLAT_DDSCAPS_SYSTEMMEMORY);
  return f.bitCount == 8 || f.bitCount == 16 || f.bitCount == 32;
}

int32_t CreatePrimary(DD& g, PlatDDraw owner, Object& o, const PlatDDSurfaceDesc& d, PlatDDSurface* out) {
  if (o.primary && g.surfaces.count(o.primary)) return PLAT_DDERR_PRIMARYSURFACEALREADYEXISTS;
  const bool chain = (d.caps & PLAT_DDSCAPS_FLIP) != 0;
  if (chain) {
    if (!(d.caps & PLAT_DDSCAPS_COMPLEX) || !(d.flags & PLAT_DDSD_BACKBUFFERCOUNT) || d.backBufferCount != 1)
      return PLAT_DDERR_INVALIDPARAMS;
    if (!(o.level & PLAT_DDSCL_EXCLUSIVE)) return PLAT_DDERR_NOEXCLUSIVEMODE;
  }
  PlatDisplayStoreInfo info;
  PlatDisplayGetStoreInfo(&info);
  Surface front;
  front.owner = owner;
  front.caps = (d.caps & ~PLAT_DDSCAPS_SYSTEMMEMORY) | PLAT_DDSCAPS_VIDEOMEMORY |
               (chain ? uint32_t(PLAT_DDSCAPS_FRONTBUFFER) : 0u);
  Size(front, info.mode.width, info.mode.height, FormatOfMode(info.mode));
  front.pitch = info.pitch;
  front.mode = info.mode;
  front.memory = PlatDisplayStoreMemory();
  front.losses = PlatDisplayLossCount();
  PlatDDSurface backHandle = 0;
  if (chain) {
    Surface back;
    back.owner = owner;
    back.caps = (d.caps & (PLAT_DDSCAPS_3DDEVICE | PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_SYSTEMMEMORY)) |
                PLAT_DDSCAPS_BACKBUFFER | PLAT_DDSCAPS_FLIP | PLAT_DDSCAPS_COMPLEX;
    Size(back, front.width, front.height, front.format);
    back.pitch = front.pitch;
    if (int32_t e = Place(g, back, true)) return e;
    back.losses = front.losses;
    backHandle = NewHandle(g, KIND_SURFACE);
    front.attached.push_back(backHandle);
    g.surfaces[backHandle] = std::move(back);
  }
  const PlatDDSurface handle = NewHandle(g, KIND_SURFACE);
  if (backHandle) g.surfaces[backHandle].front = handle;
  g.surfaces[handle] = std::move(front);
  o.primary = handle;
  *out = handle;
  return PLAT_DD_OK;
}

}  // namespace

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

// ---- surfaces ----------------------------------------------------------------------------

int32_t PlatDDrawCreateSurface(PlatDDraw object, const PlatDDSurfaceDesc* desc, PlatDDSurface* surface) {
  ENTER("CreateSurface");
  Object* o = FindObject(g, object);
  if (!o) return PLAT_DDERR_INVALIDOBJECT;
  if (!desc || !surface || desc->size != sizeof *desc || !(desc->flags & PLAT_DDSD_CAPS))
    return PLAT_DDERR_INVALIDPARAMS;
  const PlatDDraw owner = ObjectHandle(g, object);
  const PlatDDSurfaceDesc& d = *desc;
  if (d.caps & PLAT_DDSCAPS_PRIMARYSURFACE) return CreatePrimary(g, owner, *o, d, surface);
  if (!(d.flags & PLAT_DDSD_WIDTH) || !(d.flags & PLAT_DDSD_HEIGHT) || d.width == 0 || d.height == 0 ||
      d.width > 16384 || d.height > 16384)
    return PLAT_DDERR_INVALIDPARAMS;
  if ((d.caps & PLAT_DDSCAPS_VIDEOMEMORY) && (d.caps & PLAT_DDSCAPS_SYSTEMMEMORY)) return PLAT_DDERR_INVALIDPARAMS;
  PlatDisplayMode mode;
  PlatDisplayGetMode(&mode);
  PlatDDPixelFormat format = FormatOfMode(mode);
  if (d.flags & PLAT_DDSD_PIXELFORMAT) format = d.pixelFormat;
  if (d.caps & PLAT_DDSCAPS_ZBUFFER) {
    if (!(d.flags & PLAT_DDSD_PIXELFORMAT)) format = DepthFormat16();
    if (!SameFormat(format, DepthFormat16())) return PLAT_DDERR_INVALIDPIXELFORMAT;
  }
  if (d.caps & PLAT_DDSCAPS_OVERLAY) {
    if (!g.overlay || !SameFormat(format, g.overlayFormat) || (d.caps & PLAT_DDSCAPS_SYSTEMMEMORY))
      return PLAT_DDERR_NOOVERLAYHW;
    if (format.bitCount == 0) format.bitCount = 16;
  }
  if (!UsableFormat(format, d.caps)) return PLAT_DDERR_INVALIDPIXELFORMAT;
  Surface s;
  s.owner = owner;
  s.caps = d.caps;
  s.caps2 = (d.caps & PLAT_DDSCAPS_TEXTURE) ? (d.caps2 & PLAT_DDSCAPS2_TEXTUREMANAGE) : 0;
  Size(s, int32_t(d.width), int32_t(d.height), format);
  if (int32_t e = Place(g, s, false)) return e;
  s.losses = PlatDisplayLossCount();
  const PlatDDSurface handle = NewHandle(g, KIND_SURFACE);
  g.surfaces[handle] = std::move(s);
  *surface = handle;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceRelease(PlatDDSurface surface) {
  DD& g = G();
  Lock lock(g.mu);
  const auto view = g.surfaceViews.find(surface);
  const std::string name =
      "SurfaceRelease" + (view != g.surfaceViews.end() ? std::to_string(view->second.generation) : std::string());
  if (int32_t injected = Enter(g, name.c_str())) return injected;
  if (!FindSurface(g, surface)) return PLAT_DDERR_INVALIDOBJECT;
  ReleaseSurfaceLocked(g, surface);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceQueryGeneration(PlatDDSurface surface, int generation, PlatDDSurface* view) {
  DD& g = G();
  Lock lock(g.mu);
  const std::string name = "QuerySurface" + std::to_string(generation);
  if (int32_t injected = Enter(g, name.c_str())) return injected;
  if (generation != 4 && generation != 7) return PLAT_DDERR_INVALIDPARAMS;
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!view) return PLAT_DDERR_INVALIDPARAMS;
  s->refs++;
  *view = NewHandle(g, KIND_SURFACE_VIEW);
  g.surfaceViews[*view] = View{Resolve(g, surface), generation};
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceUpdateOverlay(PlatDDSurface surface, const PlatRect* source, PlatDDSurface dest,
                                   const PlatRect* destination, uint32_t flags) {
  ENTER("UpdateOverlay");
  Surface* s = nullptr;
  if (int32_t e = Usable(g, surface, &s)) return e;
  if (!(s->caps & PLAT_DDSCAPS_OVERLAY)) return PLAT_DDERR_NOTAOVERLAYSURFACE;
  Surface* d = nullptr;
  if (int32_t e = Usable(g, dest, &d)) return e;
  if (!(d->caps & PLAT_DDSCAPS_PRIMARYSURFACE)) return PLAT_DDERR_INVALIDPARAMS;
  const bool show = (flags & PLAT_DDOVER_SHOW) != 0, hide = (flags & PLAT_DDOVER_HIDE) != 0;
  if (show == hide) return PLAT_DDERR_INVALIDPARAMS;
  OverlayCall call{Resolve(g, surface), Resolve(g, dest), {}, {}, flags};
  if (show) {
    call.source = source ? *source : Whole(*s);
    call.destination = destination ? *destination : Whole(*d);
    if (!Inside(call.source, *s) || Empty(call.destination)) return PLAT_DDERR_INVALIDRECT;
  }
  g.overlayCalls.push_back(call);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceAddRef(PlatDDSurface surface) {
  ENTER("SurfaceAddRef");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  s->refs++;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetDesc(PlatDDSurface surface, PlatDDSurfaceDesc* desc) {
  ENTER("GetSurfaceDesc");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!desc) return PLAT_DDERR_INVALIDPARAMS;
  *desc = DescOf(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetCaps(PlatDDSurface surface, uint32_t* caps) {
  ENTER("GetSurfaceCaps");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!caps) return PLAT_DDERR_INVALIDPARAMS;
  *caps = s->caps;
  return PLAT_DD_OK;
}

namespace {

int32_t LockLike(DD& g, PlatDDSurface surface, const PlatRect* rect, PlatDDSurfaceDesc* desc, bool dc) {
  Surface* s = nullptr;
  if (int32_t e = Usable(g, surface, &s)) return e;
  if (!desc) return PLAT_DDERR_INVALIDPARAMS;
  if (s->locked || s->dc) return PLAT_DDERR_SURFACEBUSY;
  const PlatRect r = rect ? *rect : Whole(*s);
  if (!Inside(r, *s)) return PLAT_DDERR_INVALIDRECT;
  *desc = DescOf(*s);
  desc->flags |= PLAT_DDSD_SURFACE;
  desc->surface = At(*s, r.left, r.top);
  (dc ? s->dc : s->locked) = true;
  s->lockMemory = s->memory;
  return PLAT_DD_OK;
}

}  // namespace

int32_t PlatDDSurfaceLock(PlatDDSurface surface, const PlatRect* rect, PlatDDSurfaceDesc* desc, uint32_t) {
  ENTER("Lock");
  return LockLike(g, surface, rect, desc, false);
}

int32_t PlatDDSurfaceUnlock(PlatDDSurface surface, const PlatRect*) {
  ENTER("Unlock");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!s->locked) return PLAT_DDERR_NOTLOCKED;
  s->locked = false;
  s->lockMemory.reset();
  Changed(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetDC(PlatDDSurface surface, PlatDDSurfaceDesc* desc) {
  ENTER("GetDC");
  return LockLike(g, surface, nullptr, desc, true);
}

int32_t PlatDDSurfaceReleaseDC(PlatDDSurface surface) {
  ENTER("ReleaseDC");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!s->dc) return PLAT_DDERR_NOTLOCKED;
  s->dc = false;
  s->lockMemory.reset();
  Changed(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceBlt(PlatDDSurface dstHandle, const PlatRect* dstRect, PlatDDSurface srcHandle,
                         const PlatRect* srcRect, uint32_t flags, const PlatDDBltFx* fx) {
  ENTER("Blt");
  Surface* dst = nullptr;
  if (int32_t e = Usable(g, dstHandle, &dst)) return e;
  if (dst->locked || dst->dc) return PLAT_DDERR_SURFACEBUSY;
  const PlatRect to = dstRect ? *dstRect : Whole(*dst);
  // A clipper cuts a rectangle down to the window, but one wider or taller than any
  // surface (its size overflows 32 bits) would make the stretch's arithmetic overflow.
  const int64_t toWidth = int64_t(to.right) - to.left, toHeight = int64_t(to.bottom) - to.top;
  if (Empty(to) || toWidth > INT32_MAX || toHeight > INT32_MAX) return PLAT_DDERR_INVALIDRECT;
  // Only a clipper clips; without one the rectangle must lie on the surface.
  PlatRect region = to;
  auto clipper = g.clippers.find(dst->clipper);
  if (clipper != g.clippers.end()) {
    region = Intersect(region, Whole(*dst));
    PlatRect client;
    PlatPoint origin{0, 0};
    if ((dst->caps & PLAT_DDSCAPS_PRIMARYSURFACE) && clipper->second && PlatGetClientRect(clipper->second, &client) &&
        PlatClientToScreen(clipper->second, &origin))
      region = Intersect(region, {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom});
  } else if (!Inside(to, *dst)) {
    return PLAT_DDERR_INVALIDRECT;
  }
  if (flags & (PLAT_DDBLT_COLORFILL | PLAT_DDBLT_DEPTHFILL)) {
    if (!fx || fx->size != sizeof *fx) return PLAT_DDERR_INVALIDPARAMS;
    const bool depth = (flags & PLAT_DDBLT_DEPTHFILL) != 0;
    if (depth != ((dst->format.flags & PLAT_DDPF_ZBUFFER) != 0)) return PLAT_DDERR_INVALIDPARAMS;
    if (!Empty(region)) Fill(*dst, region, depth ? fx->fillDepth : fx->fillColor);
    if (!Empty(region)) Changed(*dst);
    return PLAT_DD_OK;
  }
  Surface* src = nullptr;
  if (int32_t e = Usable(g, srcHandle, &src)) return e;
  if (src->locked || src->dc) return PLAT_DDERR_SURFACEBUSY;
  const PlatRect from = srcRect ? *srcRect : Whole(*src);
  if (!Inside(from, *src)) return PLAT_DDERR_INVALIDRECT;
  if (!SameFormat(src->format, dst->format)) return PLAT_DDERR_INVALIDPIXELFORMAT;
  const bool keyed = (flags & PLAT_DDBLT_KEYSRC) != 0;
  if (keyed && !src->keyed) return PLAT_DDERR_NOCOLORKEY;
  if (Empty(region)) return PLAT_DD_OK;
  CopyRect(*dst, to, region, *src, from, keyed);
  Changed(*dst);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceBltFast(PlatDDSurface dstHandle, int32_t x, int32_t y, PlatDDSurface srcHandle,
                             const PlatRect* srcRect, uint32_t flags) {
  ENTER("BltFast");
  Surface *dst = nullptr, *src = nullptr;
  if (int32_t e = Usable(g, dstHandle, &dst)) return e;
  if (int32_t e = Usable(g, srcHandle, &src)) return e;
  if (dst->locked || dst->dc || src->locked || src->dc) return PLAT_DDERR_SURFACEBUSY;
  const PlatRect from = srcRect ? *srcRect : Whole(*src);
  if (!Inside(from, *src)) return PLAT_DDERR_INVALIDRECT;
  const int64_t right = int64_t(x) + (from.right - from.left), bottom = int64_t(y) + (from.bottom - from.top);
  if (x < 0 || y < 0 || right > dst->width || bottom > dst->height) return PLAT_DDERR_INVALIDRECT;
  if (!SameFormat(src->format, dst->format)) return PLAT_DDERR_INVALIDPIXELFORMAT;
  const bool keyed = (flags & PLAT_DDBLTFAST_SRCCOLORKEY) != 0;
  if (keyed && !src->keyed) return PLAT_DDERR_NOCOLORKEY;
  const PlatRect to{x, y, int32_t(right), int32_t(bottom)};
  CopyRect(*dst, to, to, *src, from, keyed);
  Changed(*dst);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceSetColorKey(PlatDDSurface surface, uint32_t flags, const PlatDDColorKey* key) {
  ENTER("SetColorKey");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (flags != PLAT_DDCKEY_SRCBLT) return PLAT_DDERR_INVALIDPARAMS;
  s->keyed = key != nullptr;
  if (key) s->key = *key;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetColorKey(PlatDDSurface surface, uint32_t flags, PlatDDColorKey* key) {
  ENTER("GetColorKey");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (flags != PLAT_DDCKEY_SRCBLT || !key) return PLAT_DDERR_INVALIDPARAMS;
  if (!s->keyed) return PLAT_DDERR_NOCOLORKEY;
  *key = s->key;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceFlip(PlatDDSurface frontHandle, PlatDDSurface target, uint32_t flags) {
  ENTER("Flip");
  Surface* front = nullptr;
  if (int32_t e = Usable(g, frontHandle, &front)) return e;
  if (!(front->caps & PLAT_DDSCAPS_FRONTBUFFER) || front->attached.empty()) return PLAT_DDERR_NOTFLIPPABLE;
  const PlatDDSurface backHandle = front->attached.front();
  if (target && target != backHandle) return PLAT_DDERR_INVALIDPARAMS;
  Surface* back = nullptr;
  if (int32_t e = Usable(g, backHandle, &back)) return e;
  if (front->locked || front->dc || back->locked || back->dc) return PLAT_DDERR_SURFACEBUSY;
  if ((flags & PLAT_DDFLIP_WAIT) && !(flags & PLAT_DDFLIP_NOVSYNC)) PlatDisplayWaitForBlank();
  PlatPixelRef shown = PlatDisplaySwapStoreMemory(back->memory);
  if (!shown) return PLAT_DDERR_SURFACELOST;
  back->memory = shown;
  front->memory = PlatDisplayStoreMemory();
  PlatDisplayChanged();
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceGetAttachedSurface(PlatDDSurface surface, uint32_t caps, PlatDDSurface* attached) {
  ENTER("GetAttachedSurface");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!attached || !caps) return PLAT_DDERR_INVALIDPARAMS;
  for (PlatDDSurface a : s->attached) {
    Surface* candidate = FindSurface(g, a);
    if (candidate && (candidate->caps & caps) == caps) {
      candidate->refs++;
      *attached = a;
      return PLAT_DD_OK;
    }
  }
  return PLAT_DDERR_NOTFOUND;
}

int32_t PlatDDSurfaceAddAttachedSurface(PlatDDSurface surface, PlatDDSurface attached) {
  ENTER("AddAttachedSurface");
  Surface *s = FindSurface(g, surface), *a = FindSurface(g, attached);
  if (!s || !a || surface == attached) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner) || !g.objects.count(a->owner)) return PLAT_DDERR_SURFACELOST;
  if (!(a->caps & PLAT_DDSCAPS_ZBUFFER) || a->width != s->width || a->height != s->height)
    return PLAT_DDERR_INVALIDPARAMS;
  if (std::find(s->attached.begin(), s->attached.end(), attached) != s->attached.end())
    return PLAT_DDERR_ALREADYATTACHED;
  s->attached.push_back(attached);
  a->refs++;
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceDeleteAttachedSurface(PlatDDSurface surface, PlatDDSurface attached) {
  ENTER("DeleteAttachedSurface");
  surface = Resolve(g, surface);
  attached = Resolve(g, attached);
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  auto it = std::find(s->attached.begin(), s->attached.end(), attached);
  if (it == s->attached.end()) return PLAT_DDERR_NOTATTACHED;
  Surface* a = FindSurface(g, attached);
  if (a && a->front == surface) return PLAT_DDERR_INVALIDPARAMS;  // a chain stays whole
  s->attached.erase(it);
  ReleaseSurfaceLocked(g, attached);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceEnumAttachedSurfaces(PlatDDSurface surface, void* context, PlatDDEnumSurfaces callback) {
  ENTER("EnumAttachedSurfaces");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!callback) return PLAT_DDERR_INVALIDPARAMS;
  const std::vector<PlatDDSurface> attached = s->attached;
  for (PlatDDSurface a : attached) {
    Surface* each = FindSurface(g, a);
    if (!each) continue;
    each->refs++;
    const PlatDDSurfaceDesc desc = DescOf(*each);
    if (!callback(a, &desc, context)) break;
  }
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceIsLost(PlatDDSurface surface) {
  ENTER("IsLost");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  return Lost(g, *s) ? PLAT_DDERR_SURFACELOST : PLAT_DD_OK;
}

int32_t PlatDDSurfaceRestore(PlatDDSurface surface) {
  ENTER("Restore");
  surface = Resolve(g, surface);
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (!Lost(g, *s)) return PLAT_DD_OK;
  if (s->front) return PlatDDSurfaceRestore(s->front);  // a chain comes back whole
  const uint32_t losses = PlatDisplayLossCount();
  if (s->caps & PLAT_DDSCAPS_PRIMARYSURFACE) {
    PlatDisplayStoreInfo info;
    PlatDisplayGetStoreInfo(&info);
    if (!PlatDisplaySameFormat(info.mode, s->mode)) return PLAT_DDERR_WRONGMODE;
    // The store was made again with the mode; the primary shows the new one.
    s->memory = PlatDisplayStoreMemory();
  }
  std::vector<Surface*> chain{s};
  for (PlatDDSurface a : s->attached)
    if (Surface* each = FindSurface(g, a); each && each->front == surface) chain.push_back(each);
  for (Surface* each : chain) {
    each->losses = losses;
    each->lostByTest = false;
    Poison(*each->memory);
  }
  Changed(*s);
  return PLAT_DD_OK;
}

int32_t PlatDDSurfaceSetClipper(PlatDDSurface surface, PlatDDClipper clipper) {
  ENTER("SetClipper");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (!g.objects.count(s->owner)) return PLAT_DDERR_SURFACELOST;
  if (clipper && !g.clippers.count(clipper)) return PLAT_DDERR_INVALIDOBJECT;
  s->clipper = clipper;
  return PLAT_DD_OK;
}

namespace {

void ShowPalette(const Palette& p) {
  uint32_t rgb[256];
  for (int i = 0; i < 256; i++)
    rgb[i] = uint32_t(p.entries[i].red) << 16 | uint32_t(p.entries[i].green) << 8 | p.entries[i].blue;
  PlatDisplaySetPalette(0, 256, rgb);
}

bool OnPrimary(DD& g, PlatDDPalette palette) {
  for (auto& [h, s] : g.surfaces)
    if (s.palette == palette && (s.caps & PLAT_DDSCAPS_PRIMARYSURFACE) && !Lost(g, s)) return true;
  return false;
}

}  // namespace

int32_t PlatDDSurfaceSetPalette(PlatDDSurface surface, PlatDDPalette palette) {
  ENTER("SetPalette");
  Surface* s = FindSurface(g, surface);
  if (!s) return PLAT_DDERR_INVALIDOBJECT;
  if (Lost(g, *s)) return PLAT_DDERR_SURFACELOST;
  auto p = g.palettes.find(palette);
  if (palette && p == g.palettes.end()) return PLAT_DDERR_INVALIDOBJECT;
  s->palette = palette;
  if (palette && (s->caps & PLAT_DDSCAPS_PRIMARYSURFACE)) ShowPalette(p->second);
  return PLAT_DD_OK;
}

// ---- clippers and palettes -----------------------------------------------------------------

int32_t PlatDDrawCreateClipper(PlatDDraw object, uint32_t flags, PlatDDClipper* clipper) {
  ENTER("CreateClipper");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (flags || !clipper) return PLAT_DDERR_INVALIDPARAMS;
  *clipper = NewHandle(g, KIND_CLIPPER);
  g.clippers[*clipper] = 0;
  return PLAT_DD_OK;
}

int32_t PlatDDClipperSetHWnd(PlatDDClipper clipper, uint32_t flags, PlatWnd window) {
  ENTER("SetHWnd");
  auto it = g.clippers.find(clipper);
  if (it == g.clippers.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (flags || (window && !PlatIsWindow(window))) return PLAT_DDERR_INVALIDPARAMS;
  it->second = window;
  if (window) PlatDisplayShowWindow(window, 1);
  return PLAT_DD_OK;
}

int32_t PlatDDClipperGetHWnd(PlatDDClipper clipper, PlatWnd* window) {
  ENTER("GetHWnd");
  auto it = g.clippers.find(clipper);
  if (it == g.clippers.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (!window) return PLAT_DDERR_INVALIDPARAMS;
  *window = it->second;
  return PLAT_DD_OK;
}

int32_t PlatDDClipperRelease(PlatDDClipper clipper) {
  ENTER("ClipperRelease");
  if (!g.clippers.erase(clipper)) return PLAT_DDERR_INVALIDOBJECT;
  for (auto& [h, s] : g.surfaces)
    if (s.clipper == clipper) s.clipper = 0;
  return PLAT_DD_OK;
}

int32_t PlatDDrawCreatePalette(PlatDDraw object, uint32_t flags, const PlatDDPaletteEntry* entries,
                               PlatDDPalette* palette) {
  ENTER("CreatePalette");
  if (!FindObject(g, object)) return PLAT_DDERR_INVALIDOBJECT;
  if (!(flags & PLAT_DDPCAPS_8BIT) || !entries || !palette) return PLAT_DDERR_INVALIDPARAMS;
  *palette = NewHandle(g, KIND_PALETTE);
  std::memcpy(g.palettes[*palette].entries, entries, sizeof(Palette::entries));
  return PLAT_DD_OK;
}

int32_t PlatDDPaletteSetEntries(PlatDDPalette palette, uint32_t, uint32_t first, uint32_t count,
                                const PlatDDPaletteEntry* entries) {
  ENTER("SetEntries");
  auto it = g.palettes.find(palette);
  if (it == g.palettes.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (!entries || first > 256 || count > 256 - first) return PLAT_DDERR_INVALIDPARAMS;
  std::memcpy(it->second.entries + first, entries, count * sizeof *entries);
  if (OnPrimary(g, palette)) ShowPalette(it->second);
  return PLAT_DD_OK;
}

int32_t PlatDDPaletteGetEntries(PlatDDPalette palette, uint32_t, uint32_t first, uint32_t count,
                                PlatDDPaletteEntry* entries) {
  ENTER("GetEntries");
  auto it = g.palettes.find(palette);
  if (it == g.palettes.end()) return PLAT_DDERR_INVALIDOBJECT;
  if (!entries || first > 256 || count > 256 - first) return PLAT_DDERR_INVALIDPARAMS;
  std::memcpy(entries, it->second.entries + first, count * sizeof *entries);
  return PLAT_DD_OK;
}

int32_t PlatDDPaletteRelease(PlatDDPalette palette) {
  ENTER("PaletteRelease");
  if (!g.palettes.erase(palette)) return PLAT_DDERR_INVALIDOBJECT;
  for (auto& [h, s] : g.surfaces)
    if (s.palette == palette) s.palette = 0;
  return PLAT_DD_OK;
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
