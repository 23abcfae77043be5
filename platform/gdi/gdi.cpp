// The GDI-like layer over the display, with the recording fake's switches. One recursive
// mutex guards every record; it is held while the display, the window layer and the
// DirectDraw-style layer are called (none of them calls back here).
#include "platform/gdi/gdi.h"

#include "platform/backend/fakecalls.h"
#include "platform/display/backend.h"
#include "platform/backend/chooser.h"
#include "platform/gdi/fake/fontfake.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/gdi/fontbackend.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

enum Kind : uint32_t { KIND_WINDOW = 1, KIND_MEMORY = 2, KIND_SURFACE = 3, KIND_BITMAP = 4, KIND_FONT = 5 };
static_assert(PLAT_STOCK_FONT == uint32_t(KIND_FONT) << 24, "the stock font is the font kind's serial 0");

// ---- pixel formats ------------------------------------------------------------------------

// One pixel layout: 1, 4 and 8 bits index a colour table; 16 and 32 bits carry masks;
// 24 bits are blue, green, red bytes.
struct Format {
  int bits = 32;
  uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
  std::vector<uint32_t> colors;  // 0xRRGGBB, for 8 bits or fewer
};

bool SameFormat(const Format& a, const Format& b) {
  if (a.bits != b.bits) return false;
  if (a.bits == 16 || a.bits == 32)
    return a.masks[0] == b.masks[0] && a.masks[1] == b.masks[1] && a.masks[2] == b.masks[2];
  if (a.bits <= 8) return a.colors == b.colors;
  return true;
}

std::vector<uint32_t> DisplayPalette() {
  std::vector<uint32_t> p(256);
  PlatDisplayGetPalette(0, 256, p.data());
  return p;
}

Format FormatOfMode(const PlatDisplayMode& m) {
  Format f;
  f.bits = m.depth;
  f.masks[0] = m.redMask;
  f.masks[1] = m.greenMask;
  f.masks[2] = m.blueMask;
  if (m.depth == 8) f.colors = DisplayPalette();
  return f;
}

// One channel of a masked pixel, widened to 8 bits. A mask with gaps counts as wide as
// the span from its lowest to its highest bit, so every value it can give has its entry.
struct Channel {
  uint32_t mask = 0;
  int shift = 0, width = 0;
  uint8_t widen[256] = {};
  void Set(uint32_t m) {
    mask = m;
    shift = m ? std::countr_zero(m) : 0;
    width = m ? 32 - std::countl_zero(m) - shift : 0;
    for (uint32_t v = 0; width > 0 && width <= 8 && v < (1u << width); v++) {
      uint32_t out = 0;
      for (int s = 8 - width; s > -width; s -= width) out |= s >= 0 ? v << s : v >> -s;
      widen[v] = uint8_t(out);
    }
  }
  uint32_t Get(uint32_t pixel) const {
    if (!mask) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    return width <= 8 ? widen[v] : (v >> (width - 8)) & 0xFF;
  }
  uint32_t Put(uint32_t c) const {
    if (!mask) return 0;
    const uint32_t v = width >= 8 ? c << (width - 8) : c >> (8 - width);
    return (v << shift) & mask;
  }
};

// Reads and writes pixels of one format as 0xRRGGBB.
struct Codec {
  const Format* f;
  Channel r, g, b;
  // Nearest colour-table entries already found.
  std::map<uint32_t, uint32_t> nearest;

  explicit Codec(const Format& format) : f(&format) {
    r.Set(format.masks[0]);
    g.Set(format.masks[1]);
    b.Set(format.masks[2]);
  }

  uint32_t Raw(const uint8_t* row, int32_t x) const {
    switch (f->bits) {
      case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
      case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
      case 8: return row[x];
      case 16: return uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
      case 24: {
        const uint8_t* p = row + 3 * size_t(x);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
      }
      default: {
        uint32_t v;
        std::memcpy(&v, row + 4 * size_t(x), 4);
        return v;
      }
    }
  }
  void PutRaw(uint8_t* row, int32_t x, uint32_t v) const {
    switch (f->bits) {
      case 1: {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = uint8_t((row[x >> 3] & ~bit) | (v & 1 ? bit : 0));
        break;
      }
      case 4: {
        uint8_t& p = row[x >> 1];
        p = (x & 1) ? uint8_t((p & 0xF0) | (v & 15)) : uint8_t((p & 0x0F) | (v & 15) << 4);
        break;
      }
      case 8: row[x] = uint8_t(v); break;
      case 16:
        row[2 * x] = uint8_t(v);
        row[2 * x + 1] = uint8_t(v >> 8);
        break;
      case 24: {
        uint8_t* p = row + 3 * size_t(x);
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        break;
      }
      default: std::memcpy(row + 4 * size_t(x), &v, 4); break;
    }
  }
  uint32_t ToRgb(uint32_t raw) const {
    if (f->bits <= 8) return raw < f->colors.size() ? f->colors[raw] & 0xFFFFFF : 0;
    if (f->bits == 24) return raw & 0xFFFFFF;
    return r.Get(raw) << 16 | g.Get(raw) << 8 | b.Get(raw);
  }
  uint32_t FromRgb(uint32_t rgb) {
    if (f->bits == 24) return rgb & 0xFFFFFF;
    if (f->bits > 8) return r.Put((rgb >> 16) & 0xFF) | g.Put((rgb >> 8) & 0xFF) | b.Put(rgb & 0xFF);
    auto it = nearest.find(rgb);
    if (it != nearest.end()) return it->second;
    uint32_t best = 0;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < f->colors.size(); i++) {
      const int64_t dr = int64_t((rgb >> 16) & 0xFF) - int64_t((f->colors[i] >> 16) & 0xFF);
      const int64_t dg = int64_t((rgb >> 8) & 0xFF) - int64_t((f->colors[i] >> 8) & 0xFF);
      const int64_t db = int64_t(rgb & 0xFF) - int64_t(f->colors[i] & 0xFF);
      const int64_t d = dr * dr + dg * dg + db * db;
      if (d < bestDistance) {
        bestDistance = d;
        best = uint32_t(i);
      }
    }
    nearest.emplace(rgb, best);
    return best;
  }
};

// ---- pictures ----------------------------------------------------------------------------

// Pixels a copy reads or writes: rows from the top, each possibly missing (a DIB band).
struct Picture {
  Format format;
  int32_t width = 0, height = 0;
  uint8_t* base = nullptr;  // the top row
  ptrdiff_t pitch = 0;      // negative for bottom-up memory
  // Rows [bandTop, bandBottom) are present; all when the band is the whole picture.
  int32_t bandTop = 0, bandBottom = 0;
  PlatPixelRef hold;  // keeps the memory alive for the copy

  uint8_t* Row(int32_t y) const {
    if (y < bandTop || y >= bandBottom) return nullptr;
    return base + ptrdiff_t(y) * pitch;
  }
};

int32_t StrideOf(int32_t width, int bits) { return int32_t(((int64_t(width) * bits + 31) / 32) * 4); }

// A DIB header, checked.
struct Dib {
  Format format;
  int32_t width = 0, height = 0;  // height positive
  bool topDown = false;
  int32_t stride = 0;
};

bool ParseDib(const PlatBitmapInfo* info, uint32_t usage, Dib* out) {
  if (!info || usage != PLAT_DIB_RGB_COLORS) return false;
  const PlatBitmapInfoHeader& h = info->header;
  if (h.size < 40) return false;
  const int bits = h.bitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (h.compression != PLAT_BI_RGB && !(h.compression == PLAT_BI_BITFIELDS && (bits == 16 || bits == 32)))
    return false;
  if (h.width <= 0 || h.width > 32767 || h.height == 0 || h.height < -32767 || h.height > 32767) return false;
  const uint32_t most = bits <= 8 ? 1u << bits : 256u;
  if (h.clrUsed > most) return false;
  Dib d;
  d.width = h.width;
  d.height = h.height < 0 ? -h.height : h.height;
  d.topDown = h.height < 0;
  d.stride = StrideOf(d.width, bits);
  d.format.bits = bits;
  if (bits <= 8) {
    const uint32_t count = h.clrUsed ? h.clrUsed : most;
    d.format.colors.assign(info->colors, info->colors + count);
    for (uint32_t& c : d.format.colors) c &= 0xFFFFFF;
  } else if (h.compression == PLAT_BI_BITFIELDS) {
    for (int i = 0; i < 3; i++) d.format.masks[i] = info->colors[i];
    if (bits == 16)
      for (uint32_t& m : d.format.masks) m &= 0xFFFF;
  } else if (bits == 16) {
    d.format.masks[0] = 0x7C00;
    d.format.masks[1] = 0x03E0;
    d.format.masks[2] = 0x001F;
  }
  *out = std::move(d);
  return true;
}

// The picture over caller memory that holds the rows counted from the bottom
// [startScan, startScan + lines); false when the memory is too small for them.
bool DibPicture(const Dib& d, uint8_t* bits, size_t bytes, uint32_t startScan, uint32_t lines, Picture* p) {
  if (!bits || startScan >= uint32_t(d.height) || lines == 0) return false;
  lines = std::min<uint32_t>(lines, uint32_t(d.height) - startScan);
  if (uint64_t(d.stride) * lines > bytes) return false;
  p->format = d.format;
  p->width = d.width;
  p->height = d.height;
  // Top-counted rows of the band.
  p->bandTop = d.height - int32_t(startScan + lines);
  p->bandBottom = d.height - int32_t(startScan);
  if (d.topDown) {
    p->pitch = d.stride;
    p->base = bits - ptrdiff_t(p->bandTop) * d.stride;
  } else {
    p->pitch = -ptrdiff_t(d.stride);
    p->base = bits + ptrdiff_t(p->bandBottom - 1) * d.stride;
  }
  return true;
}

// ---- records -------------------------------------------------------------------------------

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

const PlatBackendOption<PlatFontBackend> kFontBackends[] = {
    {.table = PlatFontFreeTypeBackend, .platforms = PLAT_PLATFORM_SDL | PLAT_PLATFORM_HEADLESS},
    {.table = PlatFontFakeBackend, .platforms = 0},
};
// Each font keeps the back end it was made with, so a choice applies to the next font.
PlatBackendChoice<PlatFontBackend> fontBackend(kFontBackends, PLAT_BACKEND_SWITCHABLE);

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

Gdi& G() {
  static Gdi* g = [] {
    Gdi* made = new Gdi;
    made->fake.family = "gdi";
    return made;
  }();
  return *g;
}

typedef std::lock_guard<std::recursive_mutex> Lock;

uint32_t NewHandle(Gdi& g, Kind kind) { return NextKindHandle(g.next, kind); }

bool Injected(Gdi& g, const char* operation) {
  return g.fake.Enter(operation) != 0;
}

#define ENTER(name, failed)      \
  Gdi& g = G();                  \
  Lock lock(g.mu);               \
  if (Injected(g, name)) return failed

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

bool FontSelected(Gdi& g, PlatGdiObj handle) {
  for (auto& [h, dc] : g.dcs)
    if (dc.font == handle) return true;
  return false;
}

// The font selected into a device context, or null for a bad dc or the stock font.
Font* FontOfDC(Gdi& g, PlatDC handle) {
  DC* dc = FindDC(g, handle);
  return dc ? FindFont(g, dc->font) : nullptr;
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

// What a device context draws on: the picture, where the dc's origin lies on it and the
// rectangle drawing is clipped to (picture coordinates).
struct Target {
  Picture picture;
  int32_t originX = 0, originY = 0;
  PlatRect clip{};
  PlatWnd shows = 0;     // a window dc: the window shown
  bool screen = false;   // draws on the store
};

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

bool Empty(const PlatRect& r) { return r.left >= r.right || r.top >= r.bottom; }

// After a draw on the store: the windows shown take it up.
void Drawn(const Target& t) {
  if (!t.screen) return;
  if (t.shows) PlatDisplayShowWindow(t.shows, 1);
  PlatDisplayChanged();
}

// Source coordinate of destination step i (0-based) along one axis: start walks forward
// for a positive size and backward for a negative one; the destination's count steps
// cover the source's |size| by nearest.
struct Axis {
  int64_t srcStart, srcSize, dstCount;
  int64_t At(int64_t i) const {
    const int64_t n = srcSize < 0 ? -srcSize : srcSize;
    const int64_t offset = i * n / dstCount;
    return srcSize < 0 ? srcStart - offset : srcStart + offset;
  }
};

// The converting loop between two direct-colour formats, one instance per pair of pixel
// sizes: a present's DIB goes through here for every pixel of the screen.
template <int SB, int DB>
void ConvertRunOf(const Codec& in, const Codec& out, const uint8_t* from, uint8_t* to, const int32_t* columns,
                  int32_t w) {
  for (int32_t i = 0; i < w; i++, to += DB) {
    const int32_t sx = columns[i];
    if (sx < 0) continue;
    const uint8_t* p = from + size_t(sx) * SB;
    uint32_t rgb;
    if constexpr (SB == 3) {
      rgb = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    } else {
      uint32_t raw = 0;
      std::memcpy(&raw, p, SB);
      rgb = in.r.Get(raw) << 16 | in.g.Get(raw) << 8 | in.b.Get(raw);
    }
    if constexpr (DB == 3) {
      to[0] = uint8_t(rgb);
      to[1] = uint8_t(rgb >> 8);
      to[2] = uint8_t(rgb >> 16);
    } else {
      const uint32_t v = out.r.Put(rgb >> 16) | out.g.Put((rgb >> 8) & 0xFF) | out.b.Put(rgb & 0xFF);
      std::memcpy(to, &v, DB);
    }
  }
}

void ConvertRun(const Codec& in, const Codec& out, const uint8_t* from, uint8_t* to, const int32_t* columns,
                int32_t w) {
  typedef void (*Run)(const Codec&, const Codec&, const uint8_t*, uint8_t*, const int32_t*, int32_t);
  static const Run runs[3][3] = {
      {ConvertRunOf<2, 2>, ConvertRunOf<2, 3>, ConvertRunOf<2, 4>},
      {ConvertRunOf<3, 2>, ConvertRunOf<3, 3>, ConvertRunOf<3, 4>},
      {ConvertRunOf<4, 2>, ConvertRunOf<4, 3>, ConvertRunOf<4, 4>},
  };
  runs[in.f->bits / 8 - 2][out.f->bits / 8 - 2](in, out, from, to, columns, w);
}

// ---- row converters of the common copies ---------------------------------------------------
// A present copies the whole screen every frame, mostly a 5:6:5 or 5:5:5 picture into an
// 8:8:8:8 store, or a picture into a store of its own format stretched. These rows do that
// with the formats fixed at compile time, so that the loops have no table to reload and
// vectorise; each gives what the general loops give, bit for bit. columns holds the source
// column of each destination pixel, -1 where it lies off the source; straight says the
// columns run one by one from columns[0].

// The tests' switch (under the layer's lock): every copy through the general loops.
bool g_generalCopies = false;

typedef void (*RowCopy)(const uint8_t* from, uint8_t* to, const int32_t* columns, int32_t w, bool straight);

// One 16-bit pixel of the layout (green's width given; red and blue 5 bits) widened to
// 0xRRGGBB as Channel widens it: the bits repeated downward.
template <int G>
inline uint32_t Widen16(uint32_t p) {
  const uint32_t r = p >> (5 + G) & 0x1F, g = p >> 5 & ((1u << G) - 1), b = p & 0x1F;
  return (r << 3 | r >> 2) << 16 | (g << (8 - G) | g >> (2 * G - 8)) << 8 | (b << 3 | b >> 2);
}

template <int G>
void Row16To8888(const uint8_t* from, uint8_t* to, const int32_t* columns, int32_t w, bool straight) {
  uint16_t in;
  uint32_t out;
  if (straight) {
    from += size_t(columns[0]) * 2;
    for (int32_t i = 0; i < w; i++) {
      std::memcpy(&in, from + size_t(i) * 2, 2);
      out = Widen16<G>(in);
      std::memcpy(to + size_t(i) * 4, &out, 4);
    }
    return;
  }
  for (int32_t i = 0; i < w; i++) {
    if (columns[i] < 0) continue;
    std::memcpy(&in, from + size_t(columns[i]) * 2, 2);
    out = Widen16<G>(in);
    std::memcpy(to + size_t(i) * 4, &out, 4);
  }
}

// A stretched or mirrored row between pictures of one format (a straight one is a memcpy).
template <int B>
void RowGather(const uint8_t* from, uint8_t* to, const int32_t* columns, int32_t w, bool) {
  for (int32_t i = 0; i < w; i++)
    if (columns[i] >= 0) std::memcpy(to + size_t(i) * B, from + size_t(columns[i]) * B, B);
}

bool Masks(const Format& f, uint32_t r, uint32_t g, uint32_t b) {
  return f.masks[0] == r && f.masks[1] == g && f.masks[2] == b;
}

// The row converter of a copy from one format into another, or null for the general loops.
RowCopy RowCopyFor(const Format& in, const Format& out, bool same) {
  if (g_generalCopies) return nullptr;
  if (same) {
    switch (in.bits) {
      case 16: return RowGather<2>;
      case 24: return RowGather<3>;
      case 32: return RowGather<4>;
      default: return nullptr;
    }
  }
  if (in.bits != 16 || out.bits != 32 || !Masks(out, 0xFF0000, 0xFF00, 0xFF)) return nullptr;
  if (Masks(in, 0xF800, 0x07E0, 0x001F)) return Row16To8888<6>;
  if (Masks(in, 0x7C00, 0x03E0, 0x001F)) return Row16To8888<5>;
  return nullptr;
}

// Copies into dst's region (picture coordinates) from src: destination pixel (x, y) takes
// source pixel (xs.At(step x), ys.At(step y)), where a step counts from the region's
// first destination column or row (walking backwards when flipped); source pixels outside
// src (or its band) leave the destination as it was.
struct Mapping {
  Axis xs, ys;
  int64_t dstX0, dstY0;  // destination position of step 0
  bool flipX, flipY;     // destination steps walk left / up
};

void Transfer(Picture& dst, const PlatRect& region, const Picture& src, const Mapping& m) {
  if (Empty(region)) return;
  Codec in(src.format), out(dst.format);
  const bool same = SameFormat(src.format, dst.format);
  const int32_t w = region.right - region.left;
  std::vector<int32_t> columns(static_cast<size_t>(w));
  bool straight = !m.flipX;
  for (int32_t i = 0; i < w; i++) {
    const int64_t x = region.left + i;
    const int64_t step = m.flipX ? m.dstX0 - x : x - m.dstX0;
    const int64_t sx = m.xs.At(step);
    columns[size_t(i)] = sx < 0 || sx >= src.width ? -1 : int32_t(sx);
    if (columns[size_t(i)] < 0 || (i && columns[size_t(i)] != columns[size_t(i) - 1] + 1)) straight = false;
  }
  // A copy within one memory reads each source row before it is overwritten: it walks
  // up when the source lies above, and reads from a copy of the row it needs.
  std::vector<uint8_t> scratch;
  const bool shared = src.hold && src.hold == dst.hold;
  const bool upward = shared && m.ys.At(m.flipY ? m.dstY0 - region.top : region.top - m.dstY0) < region.top;
  const RowCopy rowCopy = RowCopyFor(src.format, dst.format, same);
  // A row that takes every pixel from the source row the last one took is that row again
  // (a stretch's repeated rows), unless the copy reads the memory it writes.
  const bool whole = std::find(columns.begin(), columns.end(), -1) == columns.end();
  const size_t dstBytes = size_t(dst.format.bits / 8);
  const uint8_t* lastTo = nullptr;
  int64_t lastSy = -1;
  for (int32_t n = 0; n < region.bottom - region.top; n++) {
    const int32_t y = upward ? region.bottom - 1 - n : region.top + n;
    const int64_t step = m.flipY ? m.dstY0 - y : y - m.dstY0;
    const int64_t sy = m.ys.At(step);
    if (sy < 0 || sy >= src.height) continue;
    const uint8_t* from = src.Row(int32_t(sy));
    uint8_t* to = dst.Row(y);
    if (!from || !to) continue;
    if (rowCopy && whole && !shared && sy == lastSy && lastTo) {
      std::memcpy(to + size_t(region.left) * dstBytes, lastTo + size_t(region.left) * dstBytes, size_t(w) * dstBytes);
      continue;
    }
    if (shared) {
      const size_t rowBytes = size_t(StrideOf(src.width, src.format.bits));
      scratch.assign(from, from + rowBytes);
      from = scratch.data();
    }
    lastSy = sy;
    lastTo = to;
    if (same && straight && dst.format.bits >= 8) {
      const size_t bytes = size_t(dst.format.bits / 8);
      std::memcpy(to + size_t(region.left) * bytes, from + size_t(columns[0]) * bytes, size_t(w) * bytes);
      continue;
    }
    if (rowCopy) {
      rowCopy(from, to + size_t(region.left) * dstBytes, columns.data(), w, straight);
      continue;
    }
    if (!same && in.f->bits >= 16 && out.f->bits >= 16) {
      ConvertRun(in, out, from, to + size_t(region.left) * size_t(out.f->bits / 8), columns.data(), w);
      continue;
    }
    for (int32_t i = 0; i < w; i++) {
      const int32_t sx = columns[size_t(i)];
      if (sx < 0) continue;
      const uint32_t raw = in.Raw(from, sx);
      out.PutRaw(to, region.left + i, same ? raw : out.FromRgb(in.ToRgb(raw)));
    }
  }
}

PlatRect Intersect(const PlatRect& a, const PlatRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

// A destination extent along one axis: from start, count pixels forward (or backward for
// a negative count), as a half-open range in picture coordinates, clipped to [lo, hi).
void Span(int64_t start, int64_t count, int32_t lo, int32_t hi, int32_t* from, int32_t* to) {
  int64_t a = count < 0 ? start + count + 1 : start, b = count < 0 ? start + 1 : start + count;
  a = std::max<int64_t>(a, lo);
  b = std::min<int64_t>(b, hi);
  *from = int32_t(a);
  *to = int32_t(std::max(a, b));
}

// Draws a DIB picture on a device context: the common part of SetDIBitsToDevice and
// StretchDIBits. Source x from xSrc, source y counted from the picture's bottom.
int DrawDib(Gdi& g, PlatDC dcHandle, int64_t xDst, int64_t yDst, int64_t wDst, int64_t hDst, int64_t xSrc,
            int64_t ySrc, int64_t wSrc, int64_t hSrc, const Picture& src) {
  DC* dc = FindDC(g, dcHandle);
  Target t;
  if (!dc || !TargetOf(g, *dc, &t)) return 0;
  if (wDst == 0 || hDst == 0 || wSrc == 0 || hSrc == 0) return 1;
  // Rows: a positive height takes the bottom-counted rows ySrc to ySrc + hSrc - 1, the
  // highest of them at the destination's first row and walking down the picture; a
  // negative one takes ySrc + hSrc + 1 to ySrc, the lowest first, walking up (a mirror).
  Mapping m;
  m.xs = {xSrc, wSrc, wDst < 0 ? -wDst : wDst};
  m.ys = {hSrc > 0 ? src.height - ySrc - hSrc : src.height - 2 - ySrc - hSrc, hSrc, hDst < 0 ? -hDst : hDst};
  m.dstX0 = t.originX + xDst;
  m.dstY0 = t.originY + yDst;
  m.flipX = wDst < 0;
  m.flipY = hDst < 0;
  PlatRect region;
  Span(m.dstX0, wDst, t.clip.left, t.clip.right, &region.left, &region.right);
  Span(m.dstY0, hDst, t.clip.top, t.clip.bottom, &region.top, &region.bottom);
  Transfer(t.picture, region, src, m);
  if (!Empty(region)) Drawn(t);
  return 1;
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

// ---- fonts -----------------------------------------------------------------------------------

PlatGdiObj PlatCreateFont(int32_t height, int32_t weight, uint32_t italic, uint32_t charSet, uint32_t quality,
                          uint32_t pitchAndFamily, const char* face) {
  ENTER("CreateFont", 0);
  const PlatFontBackend* backend = fontBackend.Get();
  const PlatFontRequest request{height, weight, italic, charSet, quality, pitchAndFamily, face ? face : ""};
  void* made = backend->open(request);
  if (!made) return 0;
  const PlatGdiObj handle = NewHandle(g, KIND_FONT);
  g.fonts[handle] = Font{backend, made};
  return handle;
}

int PlatGetTextMetrics(PlatDC dc, PlatTextMetrics* out) {
  ENTER("GetTextMetrics", 0);
  Font* f = FontOfDC(g, dc);
  if (!f || !out) return 0;
  f->backend->textMetrics(f->face, out);
  return 1;
}

uint32_t PlatGetGlyphOutline(PlatDC dc, uint32_t code, uint32_t format, PlatGlyphMetrics* metrics,
                             uint32_t bufferSize, void* buffer, const PlatMat2* matrix) {
  ENTER("GetGlyphOutline", PLAT_GDI_GLYPH_ERROR);
  Font* f = FontOfDC(g, dc);
  if (!f || !matrix || (format != PLAT_GGO_BITMAP && format != PLAT_GGO_GRAY4_BITMAP)) return PLAT_GDI_GLYPH_ERROR;
  return f->backend->glyphOutline(f->face, code, format, metrics, bufferSize, buffer, *matrix);
}

int PlatGdiSelectFontBackend(const char* name) { return fontBackend.Select(name); }
const char* PlatGdiFontBackendName() { return fontBackend.Name(); }

// ---- copies ----------------------------------------------------------------------------------

namespace {
thread_local uint32_t t_lastError = 0;
}  // namespace

uint32_t PlatGdiGetLastError() { return t_lastError; }

int PlatGdiBitBlt(PlatDC dstHandle, int32_t x, int32_t y, int32_t width, int32_t height, PlatDC srcHandle,
                  int32_t xSrc, int32_t ySrc, uint32_t rop) {
  Gdi& g = G();
  Lock lock(g.mu);
  if (Injected(g, "BitBlt")) return t_lastError = PLAT_ERROR_GEN_FAILURE, 0;
  if (rop != PLAT_SRCCOPY) return t_lastError = PLAT_ERROR_INVALID_PARAMETER, 0;
  DC* dst = FindDC(g, dstHandle);
  DC* src = FindDC(g, srcHandle);
  Target d, s;
  if (!dst || !src || !TargetOf(g, *dst, &d) || !TargetOf(g, *src, &s)) return t_lastError = PLAT_ERROR_INVALID_HANDLE, 0;
  if (width <= 0 || height <= 0) return 1;
  // Both rectangles in their pictures' coordinates, cut to what both allow.
  const int64_t dx = int64_t(d.originX) + x, dy = int64_t(d.originY) + y;
  const int64_t sx = int64_t(s.originX) + xSrc, sy = int64_t(s.originY) + ySrc;
  int64_t left = std::max<int64_t>(dx, d.clip.left), top = std::max<int64_t>(dy, d.clip.top);
  int64_t right = std::min<int64_t>(dx + width, d.clip.right), bottom = std::min<int64_t>(dy + height, d.clip.bottom);
  // The source's clip, moved onto the destination.
  left = std::max(left, s.clip.left - sx + dx);
  top = std::max(top, s.clip.top - sy + dy);
  right = std::min(right, s.clip.right - sx + dx);
  bottom = std::min(bottom, s.clip.bottom - sy + dy);
  if (left >= right || top >= bottom) return 1;
  const PlatRect region{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  Mapping m;
  m.xs = {sx, width, width};
  m.ys = {sy, height, height};
  m.dstX0 = dx;
  m.dstY0 = dy;
  m.flipX = m.flipY = false;
  Transfer(d.picture, region, s.picture, m);
  Drawn(d);
  return 1;
}

int PlatGdiSetDIBitsToDevice(PlatDC dc, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t xSrc,
                             int32_t ySrc, uint32_t startScan, uint32_t lines, const void* bits, size_t bitsBytes,
                             const PlatBitmapInfo* info, uint32_t usage) {
  ENTER("SetDIBitsToDevice", 0);
  Dib dib;
  Picture src;
  if (!ParseDib(info, usage, &dib) ||
      !DibPicture(dib, static_cast<uint8_t*>(const_cast<void*>(bits)), bitsBytes, startScan, lines, &src))
    return 0;
  if (width > 32767 || height > 32767) return 0;
  if (!DrawDib(g, dc, x, y, width, height, xSrc, ySrc, width, height, src)) return 0;
  return int(std::min<uint32_t>(lines, uint32_t(dib.height) - startScan));
}

int PlatGdiStretchDIBits(PlatDC dc, int32_t xDst, int32_t yDst, int32_t widthDst, int32_t heightDst, int32_t xSrc,
                         int32_t ySrc, int32_t widthSrc, int32_t heightSrc, const void* bits, size_t bitsBytes,
                         const PlatBitmapInfo* info, uint32_t usage, uint32_t rop) {
  ENTER("StretchDIBits", 0);
  Dib dib;
  Picture src;
  if (rop != PLAT_SRCCOPY || !ParseDib(info, usage, &dib) ||
      !DibPicture(dib, static_cast<uint8_t*>(const_cast<void*>(bits)), bitsBytes, 0, uint32_t(dib.height), &src))
    return 0;
  if (!DrawDib(g, dc, xDst, yDst, widthDst, heightDst, xSrc, ySrc, widthSrc, heightSrc, src)) return 0;
  return int(std::clamp<int64_t>(heightSrc < 0 ? -int64_t(heightSrc) : heightSrc, 1, INT32_MAX));
}

int PlatGdiGetDIBits(PlatDC dcHandle, PlatGdiObj bitmap, uint32_t startScan, uint32_t lines, void* bits,
                     size_t bitsBytes, const PlatBitmapInfo* info, uint32_t usage) {
  ENTER("GetDIBits", 0);
  Bitmap* b = FindBitmap(g, bitmap);
  Dib dib;
  Picture dst;
  if (!FindDC(g, dcHandle) || !b || !ParseDib(info, usage, &dib) ||
      !DibPicture(dib, static_cast<uint8_t*>(bits), bitsBytes, startScan, lines, &dst))
    return 0;
  const Picture src = PictureOfBitmap(*b);
  // Rows come out whole: padding, and pixels the bitmap does not cover, are 0.
  for (int32_t y = dst.bandTop; y < dst.bandBottom; y++) std::memset(dst.Row(y), 0, size_t(dib.stride));
  // The picture's rows are the bitmap's, from the top.
  const PlatRect region{0, dst.bandTop, std::min(dst.width, src.width), std::min(dst.bandBottom, src.height)};
  Mapping m;
  m.xs = {0, dst.width, dst.width};
  m.ys = {0, dst.height, dst.height};
  m.dstX0 = m.dstY0 = 0;
  m.flipX = m.flipY = false;
  Transfer(dst, region, src, m);
  return int(std::min<uint32_t>(lines, uint32_t(dib.height) - startScan));
}

int PlatGdiFlush() { return 1; }

int PlatGdiFillRect(PlatDC handle, const PlatRect* rect, uint32_t rgb) {
  ENTER("FillRect", 0);
  DC* dc = FindDC(g, handle);
  Target t;
  if (!dc || !rect || !TargetOf(g, *dc, &t)) return 0;
  const PlatRect moved{int32_t(std::clamp<int64_t>(int64_t(rect->left) + t.originX, INT32_MIN, INT32_MAX)),
                       int32_t(std::clamp<int64_t>(int64_t(rect->top) + t.originY, INT32_MIN, INT32_MAX)),
                       int32_t(std::clamp<int64_t>(int64_t(rect->right) + t.originX, INT32_MIN, INT32_MAX)),
                       int32_t(std::clamp<int64_t>(int64_t(rect->bottom) + t.originY, INT32_MIN, INT32_MAX))};
  const PlatRect region = Intersect(moved, t.clip);
  if (Empty(region)) return 1;
  Codec out(t.picture.format);
  const uint32_t pixel = out.FromRgb(rgb & 0xFFFFFF);
  for (int32_t y = region.top; y < region.bottom; y++) {
    uint8_t* row = t.picture.Row(y);
    for (int32_t x = region.left; x < region.right; x++) out.PutRaw(row, x, pixel);
  }
  Drawn(t);
  return 1;
}

int PlatGdiGetClipBox(PlatDC handle, PlatRect* rect) {
  ENTER("GetClipBox", PLAT_GDI_ERROR);
  DC* dc = FindDC(g, handle);
  Target t;
  if (!dc || !rect || !TargetOf(g, *dc, &t)) return PLAT_GDI_ERROR;
  if (g.clipKind && dc->kind == KIND_WINDOW && dc->window) {
    *rect = g.clipKind == PLAT_NULLREGION ? PlatRect{0, 0, 0, 0} : g.clipBox;
    return g.clipKind;
  }
  if (Empty(t.clip)) {
    *rect = {0, 0, 0, 0};
    return PLAT_NULLREGION;
  }
  *rect = {t.clip.left - t.originX, t.clip.top - t.originY, t.clip.right - t.originX, t.clip.bottom - t.originY};
  return PLAT_SIMPLEREGION;
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
