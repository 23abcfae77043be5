// Copies of the GDI-like layer: DIBs onto device contexts (1:1 and stretched), bitmaps
// between device contexts and back into DIBs, and fills; with the pixel formats they
// convert between.
#include "platform/gdi/gdi.h"

#include "platform/gdi/gdistate.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace gdicore {

bool g_generalCopies = false;

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

}  // namespace gdicore

using namespace gdicore;

namespace {

// Source coordinate of destination step i (0-based) along one axis: start walks forward
// for a positive size and backward for a negative one; the destination's count steps
// cover the source's |size| by nearest.
struct Axis {
  int64_t srcStart, srcSize, dstCount;
  int64_t At(int64_t i) const {
    const int64_t n = srcSize < 0 ? -srcSize : srcSize;
    // An unstretched axis needs no division, which would cost more than the copy per pixel.
    const int64_t offset = n == dstCount ? i : i * n / dstCount;
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
  // The codecs' tables only for the loops that read them.
  std::optional<Codec> in, out;
  if (!rowCopy && !(same && straight && dst.format.bits >= 8)) {
    in.emplace(src.format);
    out.emplace(dst.format);
  }
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
    if (!same && src.format.bits >= 16 && dst.format.bits >= 16) {
      ConvertRun(*in, *out, from, to + size_t(region.left) * size_t(dst.format.bits / 8), columns.data(), w);
      continue;
    }
    for (int32_t i = 0; i < w; i++) {
      const int32_t sx = columns[size_t(i)];
      if (sx < 0) continue;
      const uint32_t raw = in->Raw(from, sx);
      out->PutRaw(to, region.left + i, same ? raw : out->FromRgb(in->ToRgb(raw)));
    }
  }
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

// Paints through the window's device context: its client rectangle of the display's
// store, which the window shows.
int PlatFillRect(PlatWnd window, const PlatRect* rect, uint32_t rgb) {
  if (!rect) return 0;
  const PlatDC dc = PlatGdiGetDC(window);
  if (!dc) return 0;
  const int filled = PlatGdiFillRect(dc, rect, rgb & 0xFFFFFF);
  PlatGdiReleaseDC(window, dc);
  return filled;
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
