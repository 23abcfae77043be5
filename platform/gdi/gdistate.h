// Between the files of the GDI-like layer: gdi.cpp (device contexts, bitmaps, device caps,
// display settings and the fake's switches), gdicopy.cpp (DIB and bitmap copies, fills)
// and gdifont.cpp (fonts). The records they share and the helpers more than one of them
// uses.
//
// One recursive mutex guards every record; it is held while the display, the window layer
// and the DirectDraw-style layer are called (none of them calls back here).
#pragma once

#include "platform/backend/fakecalls.h"
#include "platform/display/backend.h"
#include "platform/gdi/fontbackend.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdipixels.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace gdicore {

enum Kind : uint32_t { KIND_WINDOW = 1, KIND_MEMORY = 2, KIND_SURFACE = 3, KIND_BITMAP = 4, KIND_FONT = 5 };
static_assert(PLAT_STOCK_FONT == uint32_t(KIND_FONT) << 24, "the stock font is the font kind's serial 0");

struct Bitmap {
  Dib dib;              // size, format, stride and row order
  bool section = false; // a DIB section (its bits are handed out)
  PlatPixelRef memory;
  PlatDC selectedIn = 0;
  PlatDC ownedBy = 0;   // a memory dc's own 1 x 1 bitmap
};

struct DC {
  Kind kind;
  PlatWnd window = 0;         // KIND_WINDOW (0: the screen)
  PlatGdiObj bitmap = 0;      // KIND_MEMORY: selected
  PlatGdiObj own = 0;         // KIND_MEMORY: its 1 x 1 bitmap
  PlatDDSurface surface = 0;  // KIND_SURFACE
  PlatDDSurfaceDesc desc{};
  PlatGdiObj font = PLAT_STOCK_FONT;
};

// A font object: its back end's face instance.
struct Font {
  const PlatFontBackend* backend = nullptr;
  void* face = nullptr;
};

struct Gdi {
  std::recursive_mutex mu;
  uint32_t next = 1;
  std::map<uint32_t, DC> dcs;
  std::map<uint32_t, Bitmap> bitmaps;
  std::map<uint32_t, Font> fonts;
  FakeCalls fake;
  int clipKind = 0;  // the fake's answer of GetClipBox for a window's dc, 0: none
  PlatRect clipBox{};
};

// Never destroyed, so calls made while the program exits still find it.
Gdi& G();

typedef std::lock_guard<std::recursive_mutex> Lock;

inline uint32_t NewHandle(Gdi& g, Kind kind) { return NextKindHandle(g.next, kind); }

inline bool Injected(Gdi& g, const char* operation) {
  return g.fake.Enter(operation) != 0;
}

#define ENTER(name, failed)      \
  Gdi& g = G();                  \
  Lock lock(g.mu);               \
  if (Injected(g, name)) return failed

DC* FindDC(Gdi& g, PlatDC handle);
Bitmap* FindBitmap(Gdi& g, PlatGdiObj handle);
Font* FindFont(Gdi& g, PlatGdiObj handle);

// A new bitmap's record: 0 when it would be too large.
PlatGdiObj MakeBitmap(Gdi& g, Dib dib, bool section);
Picture PictureOfBitmap(const Bitmap& b);

// What a device context draws on: the picture, where the dc's origin lies on it and the
// rectangle drawing is clipped to (picture coordinates).
struct Target {
  Picture picture;
  int32_t originX = 0, originY = 0;
  PlatRect clip{};
  PlatWnd shows = 0;     // a window dc: the window shown
  bool screen = false;   // draws on the store
};

// The target of a live device context; false when it has none to draw on.
bool TargetOf(Gdi& g, const DC& dc, Target* t);

inline bool Empty(const PlatRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// After a draw on the store: the windows shown take it up.
void Drawn(const Target& t);

inline PlatRect Intersect(const PlatRect& a, const PlatRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// The tests' switch (under the layer's lock): every copy through the general loops.
extern bool g_generalCopies;

}  // namespace gdicore
