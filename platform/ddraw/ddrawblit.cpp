// Fills and copies between DirectDraw-style surfaces: Blt and BltFast, keyed and
// stretched, over the pixel loops.
#include "platform/ddraw/ddraw.h"

#include "platform/ddraw/ddrawstate.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ddcore {

bool g_generalCopies = false;

}  // namespace ddcore

using namespace ddcore;

namespace {

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
  if (bytewise || height > 1) {
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

}  // namespace

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

