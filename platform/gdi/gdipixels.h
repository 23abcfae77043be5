// The GDI-like layer's pixels: formats, the codec that reads and writes them, the
// pictures a copy walks and the DIB headers callers hand in.
#pragma once

#include "platform/gdi/gdi.h"

#include <bit>
#include <cstring>
#include <map>
#include <vector>

namespace gdicore {

// One pixel layout: 1, 4 and 8 bits index a colour table; 16 and 32 bits carry masks;
// 24 bits are blue, green, red bytes.
struct Format {
  int bits = 32;
  uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
  std::vector<uint32_t> colors;  // 0xRRGGBB, for 8 bits or fewer
};

bool SameFormat(const Format& a, const Format& b);
// The display's colour table now.
std::vector<uint32_t> DisplayPalette();
Format FormatOfMode(const PlatDisplayMode& m);

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

inline int32_t StrideOf(int32_t width, int bits) { return int32_t(((int64_t(width) * bits + 31) / 32) * 4); }

// A DIB header, checked.
struct Dib {
  Format format;
  int32_t width = 0, height = 0;  // height positive
  bool topDown = false;
  int32_t stride = 0;
};

bool ParseDib(const PlatBitmapInfo* info, uint32_t usage, Dib* out);
// The picture over caller memory that holds the rows counted from the bottom
// [startScan, startScan + lines); false when the memory is too small for them.
bool DibPicture(const Dib& d, uint8_t* bits, size_t bytes, uint32_t startScan, uint32_t lines, Picture* p);

}  // namespace gdicore
