// Between the files of the DirectDraw-style layer: ddraw.cpp (the object, the fake's
// switches and the device's access), ddrawsurface.cpp (surfaces, their locks and chains),
// ddrawblit.cpp (fills and copies) and ddrawpalette.cpp (clippers and palettes). The
// records they share and the helpers more than one of them uses.
//
// One recursive mutex guards every record; it is held while the display is called (the
// display never calls back here).
#pragma once

#include "platform/backend/fakecalls.h"
#include "platform/ddraw/ddraw.h"
#include "platform/display/backend.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace ddcore {

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

// Never destroyed, so calls made while the program exits still find it.
DD& G();

typedef std::lock_guard<std::recursive_mutex> Lock;

inline uint32_t NewHandle(DD& g, Kind kind) { return NextKindHandle(g.next, kind); }

// The fake's view of a call: logged, and answering an injected failure.
inline int32_t Enter(DD& g, const char* operation) {
  return g.fake.Enter(operation);
}

#define ENTER(name)              \
  DD& g = G();                   \
  Lock lock(g.mu);               \
  if (int32_t injected = Enter(g, name)) return injected

Object* FindObject(DD& g, PlatDDraw handle);
PlatDDraw ObjectHandle(DD& g, PlatDDraw handle);
// The surface a handle or a view of it names.
PlatDDSurface Resolve(DD& g, PlatDDSurface handle);
Surface* FindSurface(DD& g, PlatDDSurface handle);
PlatDDPixelFormat FormatOfMode(const PlatDisplayMode& m);
PlatDDPixelFormat DepthFormat16();
bool SameFormat(const PlatDDPixelFormat& a, const PlatDDPixelFormat& b);
bool Lost(DD& g, const Surface& s, int depth = 0);
// A live surface that may be used now: SURFACELOST for a lost one.
int32_t Usable(DD& g, PlatDDSurface handle, Surface** out);
// After a change of the primary's pixels: the display takes them up.
void Changed(const Surface& s);
// Drops a reference to a surface (or a view of it), freeing it with its attachments at
// the last one.
void ReleaseSurfaceLocked(DD& g, PlatDDSurface handle);

inline PlatRect Whole(const Surface& s) { return {0, 0, s.width, s.height}; }

inline bool Empty(const PlatRect& r) { return r.left >= r.right || r.top >= r.bottom; }

inline bool Inside(const PlatRect& r, const Surface& s) {
  return !Empty(r) && r.left >= 0 && r.top >= 0 && r.right <= s.width && r.bottom <= s.height;
}

inline PlatRect Intersect(const PlatRect& a, const PlatRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

inline uint8_t* At(const Surface& s, int32_t x, int32_t y) {
  return s.memory->bytes.data() + size_t(y) * size_t(s.pitch) + size_t(x) * size_t(s.bytes);
}

// The tests' switch (under the layer's lock): every copy through the general loop.
extern bool g_generalCopies;

}  // namespace ddcore
