#include "engine/pixel/convert.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

int32_t g_mmxUsable = 0;

uint32_t LowBits(unsigned n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1; }
uint32_t Shl(uint32_t v, unsigned s) { return s < 32 ? v << s : 0; }
uint32_t Shr(uint32_t v, unsigned s) { return s < 32 ? v >> s : 0; }

bool IsLayout(const ColorFormat* f, int depth, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return f->bitDepth == depth && f->bytesPerPixel == depth / 8 && f->redMask == r &&
         f->greenMask == g && f->blueMask == b && f->alphaMask == a;
}
bool IsRgb565(const ColorFormat* f) { return IsLayout(f, 16, 0xF800, 0x07E0, 0x001F, 0); }
bool IsX1Rgb555(const ColorFormat* f) { return IsLayout(f, 16, 0x7C00, 0x03E0, 0x001F, 0); }
bool IsA1Rgb555(const ColorFormat* f) { return IsLayout(f, 16, 0x7C00, 0x03E0, 0x001F, 0x8000); }
bool IsRgb888(const ColorFormat* f) { return IsLayout(f, 24, 0xFF0000, 0xFF00, 0xFF, 0); }
bool IsXrgb8888(const ColorFormat* f) { return IsLayout(f, 32, 0xFF0000, 0xFF00, 0xFF, 0); }
bool IsArgb8888(const ColorFormat* f) {
  return IsLayout(f, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
}
bool Is32BitRgb(const ColorFormat* f) {
  return IsLayout(f, 32, 0xFF0000, 0xFF00, 0xFF, f->alphaMask);
}
bool IsPalette(const ColorFormat* f) { return IsPaletteColorFormat(f) != 0; }

// The source rectangle's top-left pixel, the destination's landing pixel and the size;
// rows are walked by pitch, columns right to left on the destination when mirroring.
struct Walk {
  uint8_t* dst;
  ptrdiff_t dstPitch;
  int dstBytes;
  const uint8_t* src;
  ptrdiff_t srcPitch;
  int srcBytes;
  int width;
  int height;
  bool mirror;
};

bool Overlaps(const void* a, size_t aBytes, const void* b, size_t bBytes) {
  uintptr_t pa = reinterpret_cast<uintptr_t>(a), pb = reinterpret_cast<uintptr_t>(b);
  return pa < pb + bBytes && pb < pa + aBytes;
}

// Calls f(source row, destination row, row) for every row. A source row that shares
// memory with its destination row (an image copied onto itself) is read from a copy, so a
// mirrored or converted row never reads what it has just written.
template <typename F>
void EachRow(const Walk& w, F f) {
  std::vector<uint8_t> rowCopy;
  const size_t srcRowBytes = size_t(w.width) * w.srcBytes;
  const size_t dstRowBytes = size_t(w.width) * w.dstBytes;
  for (int y = 0; y < w.height; y++) {
    const uint8_t* s = w.src + y * w.srcPitch;
    uint8_t* d = w.dst + y * w.dstPitch;
    if (Overlaps(s, srcRowBytes, d, dstRowBytes)) {
      rowCopy.assign(s, s + srcRowBytes);
      s = rowCopy.data();
    }
    f(s, d, y);
  }
}

// Calls f(source pixel, destination pixel, column, row) for every pixel, as EachRow reads.
template <typename F>
void EachPixel(const Walk& w, F f) {
  const ptrdiff_t step = w.mirror ? -w.dstBytes : w.dstBytes;
  EachRow(w, [&](const uint8_t* s, uint8_t* d, int y) {
    if (w.mirror) d += ptrdiff_t(w.width - 1) * w.dstBytes;
    for (int x = 0; x < w.width; x++, s += w.srcBytes, d += step) f(s, d, x, y);
  });
}

// Each pixel replaced through a table of 256 values (palette sources).
void CopyThroughTable(const Walk& w, const uint32_t table[256]) {
  EachPixel(w, [&](const uint8_t* s, uint8_t* d, int, int) {
    WritePixelValue(d, w.dstBytes, table[*s]);
  });
}

// 5:6:5 <-> 1:5:5:5 on one pixel, or on a word of several: the masks keep each pixel's
// bits inside its own part of the word.
template <typename T>
T ToX555(T v, T highMask, T lowMask) {
  return T((v & highMask) >> 1) | (v & lowMask);
}
template <typename T>
T To565(T v, T highMask, T lowMask) {
  return T((v & highMask) << 1) | (v & lowMask);
}

// One row between 5:6:5 and 1:5:5:5, eight pixels a step as one vector: the compiler
// would widen a pixel loop only at its highest level, and not at all for a row converted
// where it lies (a work surface's box), for fear that source and target overlap. Each
// step reads its pixels before it writes them, so s may be d; the pixels are
// independent, so the width of the step never changes the values.
template <bool kTo555>
void Convert16Row(const uint8_t* s, uint8_t* d, int n) {
  using Eight = uint16_t __attribute__((vector_size(16)));
  const uint16_t high = kTo555 ? 0xFFC0 : 0x7FE0, low = kTo555 ? 0x001F : 0x003F;
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    Eight v;
    std::memcpy(&v, s + 2 * x, sizeof v);
    if constexpr (kTo555)
      v = ((v & high) >> 1) | (v & low);
    else
      v = ((v & high) << 1) | (v & low);
    std::memcpy(d + 2 * x, &v, sizeof v);
  }
  for (; x < n; x++) {
    uint16_t v;
    std::memcpy(&v, s + 2 * x, 2);
    v = kTo555 ? ToX555<uint16_t>(v, high, low) : To565<uint16_t>(v, high, low);
    std::memcpy(d + 2 * x, &v, 2);
  }
}

// One row of 5:6:5 pixels widened by shifting into 8:8:8:8. A function of its own, kept
// out of line, with rows that never overlap (EachRow reads an overlapping row from a
// copy), so that the compiler widens the loop: inlined into its caller it stayed a pixel
// at a time.
[[gnu::noinline]] void Rgb565ToXrgbRow(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
  for (int x = 0; x < width; x++) {
    uint16_t v;
    std::memcpy(&v, s + 2 * x, 2);
    const uint32_t out = ((v & 0x1Fu) << 3) | ((v & 0x7E0u) << 5) | ((v & 0xF800u) << 8);
    std::memcpy(d + 4 * x, &out, 4);
  }
}

uint32_t Key555(uint32_t key) {
  uint32_t r = key >> 16 & 0xFF, g = key >> 8 & 0xFF, b = key & 0xFF;
  return ((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3);
}

// The conversions common enough to have loops of their own. They widen by shifting,
// without the full-range scaling of the general rule. Returns false when none applies.
bool FastPath(const Walk& w, const ColorFormat* df, const ColorFormat* sf, bool keyToAlpha,
              uint32_t key) {
  uint32_t key24 = key & 0xFFFFFF;
  uint32_t key555 = Key555(key);
  if (IsPalette(sf)) {
    uint32_t table[256];
    bool found = true;
    for (int i = 0; i < 256; i++) {
      uint32_t e = PaletteEntryValue(sf, i);
      uint32_t v555 = ((e >> 9) & 0x7C00) | ((e >> 6) & 0x3E0) | ((e >> 3) & 0x1F);
      bool keyed = (e & 0xFFFFFF) == key24;
      if (!keyToAlpha && IsRgb565(df)) {
        table[i] = ((e >> 8) & 0xF800) | ((e >> 5) & 0x7E0) | ((e >> 3) & 0x1F);
      } else if (!keyToAlpha && IsX1Rgb555(df)) {
        table[i] = v555 | 0x8000;
      } else if (!keyToAlpha && IsXrgb8888(df)) {
        table[i] = e | 0xFF000000;
      } else if (keyToAlpha && IsA1Rgb555(df)) {
        table[i] = v555 | (keyed ? 0 : 0x8000);
      } else if (keyToAlpha && IsArgb8888(df)) {
        table[i] = (e & 0xFFFFFF) | (keyed ? 0 : 0xFF000000);
      } else {
        found = false;
        break;
      }
    }
    if (!found) return false;
    CopyThroughTable(w, table);
    return true;
  }
  auto each = [&](auto f) {
    EachPixel(w, [&](const uint8_t* s, uint8_t* d, int, int) { f(s, d); });
    return true;
  };
  if (IsRgb888(sf)) {
    auto rgb = [](const uint8_t* s, uint32_t* r, uint32_t* g, uint32_t* b) {
      *b = s[0];
      *g = s[1];
      *r = s[2];
    };
    auto to555 = [](uint32_t r, uint32_t g, uint32_t b) {
      return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    };
    if (!keyToAlpha && IsRgb565(df)) {
      return each([&](const uint8_t* s, uint8_t* d) {
        uint32_t r, g, b;
        rgb(s, &r, &g, &b);
        WritePixelValue(d, 2, ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
      });
    }
    if (!keyToAlpha && IsX1Rgb555(df)) {
      return each([&](const uint8_t* s, uint8_t* d) {
        uint32_t r, g, b;
        rgb(s, &r, &g, &b);
        WritePixelValue(d, 2, to555(r, g, b) | 0x8000);
      });
    }
    if (!keyToAlpha && Is32BitRgb(df)) {
      // Every loaded 24-bit picture comes this way into a 32-bit graph: a fixed step of
      // three bytes in and four out, which the compiler widens, unlike EachPixel's steps.
      std::vector<uint8_t> rowCopy;
      const size_t srcRowBytes = size_t(w.width) * 3, dstRowBytes = size_t(w.width) * 4;
      for (int y = 0; y < w.height; y++) {
        const uint8_t* s = w.src + ptrdiff_t(y) * w.srcPitch;
        uint8_t* d = w.dst + ptrdiff_t(y) * w.dstPitch;
        if (Overlaps(s, srcRowBytes, d, dstRowBytes)) {
          rowCopy.assign(s, s + srcRowBytes);
          s = rowCopy.data();
        }
        // Four bytes read for each pixel but the last, whose fourth is the next pixel's
        // blue and becomes the alpha byte: a word a pixel on a little-endian machine.
        static_assert(std::endian::native == std::endian::little, "pixels are read as little-endian words");
        int x = 0;
        for (; x + 1 < w.width; x++) {
          uint32_t v;
          std::memcpy(&v, s + 3 * x, 4);
          v |= 0xFF000000u;
          std::memcpy(d + 4 * x, &v, 4);
        }
        for (; x < w.width; x++) {
          d[4 * x] = s[3 * x];
          d[4 * x + 1] = s[3 * x + 1];
          d[4 * x + 2] = s[3 * x + 2];
          d[4 * x + 3] = 0xFF;
        }
      }
      return true;
    }
    if (keyToAlpha && IsA1Rgb555(df)) {
      return each([&](const uint8_t* s, uint8_t* d) {
        uint32_t r, g, b;
        rgb(s, &r, &g, &b);
        uint32_t v = to555(r, g, b);
        WritePixelValue(d, 2, v | (v == key555 ? 0 : 0x8000));
      });
    }
    if (keyToAlpha && IsArgb8888(df)) {
      return each([&](const uint8_t* s, uint8_t* d) {
        uint32_t c = ReadPixelValue(s, 3);
        WritePixelValue(d, 4, c | (c == key24 ? 0 : 0xFF000000));
      });
    }
    return false;
  }
  if (IsXrgb8888(sf) && !keyToAlpha && IsRgb565(df)) {
    return each([&](const uint8_t* s, uint8_t* d) {
      uint32_t v = ReadPixelValue(s, 4);
      WritePixelValue(d, 2, ((v & 0xF8) >> 3) | ((v & 0xFC00) >> 5) | ((v >> 8) & 0xF800));
    });
  }
  if (IsRgb565(sf)) {
    if (!keyToAlpha && IsRgb888(df)) {
      return each([&](const uint8_t* s, uint8_t* d) {
        uint32_t v = ReadPixelValue(s, 2);
        d[0] = uint8_t((v & 0x1F) << 3);
        d[1] = uint8_t((v & 0x7E0) >> 3);
        d[2] = uint8_t((v >> 8) & 0xF8);
      });
    }
    if (!keyToAlpha && IsXrgb8888(df)) {
      // A 16-bit screen shown on a 32-bit one goes through here whole every frame.
      const int width = w.width;
      EachRow(w, [width](const uint8_t* s, uint8_t* d, int) { Rgb565ToXrgbRow(s, d, width); });
      return true;
    }
    if (keyToAlpha && IsA1Rgb555(df)) {
      return each([&](const uint8_t* s, uint8_t* d) {
        uint32_t v = ToX555<uint32_t>(ReadPixelValue(s, 2), 0xFFC0, 0x1F);
        WritePixelValue(d, 2, v | (v == key555 ? 0 : 0x8000));
      });
    }
  }
  bool to555 = IsRgb565(sf) && IsX1Rgb555(df);
  bool to565 = IsX1Rgb555(sf) && IsRgb565(df);
  if (!keyToAlpha && (to555 || to565)) {
    std::vector<uint8_t> rowCopy;
    size_t rowBytes = size_t(w.width) * 2;
    for (int y = 0; y < w.height; y++) {
      const uint8_t* s = w.src + y * w.srcPitch;
      uint8_t* d = w.dst + y * w.dstPitch;
      if (s != d && Overlaps(s, rowBytes, d, rowBytes)) {
        rowCopy.assign(s, s + rowBytes);
        s = rowCopy.data();
      }
      to555 ? Convert16Row<true>(s, d, w.width) : Convert16Row<false>(s, d, w.width);
    }
    return true;
  }
  return false;
}

// One channel moved from one width to another: a narrower one loses its low bits
// (reported through lost), a wider one is scaled over the full range.
uint32_t ScaleChannel(uint32_t c, unsigned from, unsigned to, uint32_t* lost) {
  *lost = 0;
  if (from > 32) from = 32;
  if (to > 32) to = 32;
  if (from == 0) return 0;
  if (to < from) {
    *lost = c & LowBits(from - to);
    return Shr(c, from - to);
  }
  if (to > from) {
    unsigned d = to - from;
    uint64_t wide =
        (uint64_t(c) << d) + uint64_t(c) * ((uint64_t(1) << d) - 1) / ((uint64_t(1) << from) - 1);
    return uint32_t(wide);
  }
  return c;
}

// A channel of a pixel value scaled to 0-255.
int32_t ChannelAsByte(uint32_t value, uint32_t mask, unsigned shift, unsigned width) {
  uint32_t lost;
  return int32_t(ScaleChannel(Shr(value & mask, shift), width, 8, &lost));
}

const uint8_t kDitherThreshold[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

struct GeneralPlan {
  const ColorFormat* df;
  const ColorFormat* sf;
  const ColorFormat* af;
  const uint8_t* alpha;  // the alpha image's pixel under the rectangle's corner, or null
  ptrdiff_t alphaPitch;
  bool srcPalette;
  bool alphaPalette;
  bool alphaFromImage;
  bool keyToAlpha;
  bool skipKey;
  uint32_t skipValue;
  uint32_t keyPixel;  // the key packed in the destination format
  int dither;         // 0 when the formats keep every bit
  bool colourOff;
  bool alphaFromRed;
};

void ConvertGeneral(const Walk& w, const GeneralPlan& p) {
  const ColorFormat* df = p.df;
  const ColorFormat* sf = p.sf;
  unsigned dstA = df->alphaWidth;
  uint32_t carry[4] = {0, 0, 0, 0};
  uint32_t skipMask =
      p.srcPalette ? 0xFFFFFF : (p.keyToAlpha ? 0xFFFFFFFF : LowBits(8 * w.srcBytes));
  uint32_t skipValue = p.skipValue & skipMask;
  uint32_t keyR = Shr(p.keyPixel & df->redMask, df->redShift);
  uint32_t keyG = Shr(p.keyPixel & df->greenMask, df->greenShift);
  uint32_t keyB = Shr(p.keyPixel & df->blueMask, df->blueShift);
  EachPixel(w, [&](const uint8_t* s, uint8_t* d, int x, int y) {
    uint32_t v = ReadPixelValue(s, w.srcBytes);
    if (p.srcPalette) v = PaletteEntryValue(sf, int(v));
    if (p.skipKey && (v & skipMask) == skipValue) return;

    uint32_t c[4], lost[4], from[4];
    unsigned to[4] = {df->redWidth, df->greenWidth, df->blueWidth, dstA};
    from[0] = sf->redWidth;
    from[1] = sf->greenWidth;
    from[2] = sf->blueWidth;
    c[0] = ScaleChannel(Shr(v & sf->redMask, sf->redShift), from[0], to[0], &lost[0]);
    c[1] = ScaleChannel(Shr(v & sf->greenMask, sf->greenShift), from[1], to[1], &lost[1]);
    c[2] = ScaleChannel(Shr(v & sf->blueMask, sf->blueShift), from[2], to[2], &lost[2]);
    from[3] = 0;
    lost[3] = 0;
    if (p.alphaFromImage) {
      const uint8_t* a = p.alpha + y * p.alphaPitch + ptrdiff_t(x) * p.af->bytesPerPixel;
      uint32_t av = ReadPixelValue(a, p.af->bytesPerPixel);
      if (p.alphaPalette) av = PaletteEntryValue(p.af, int(av));
      from[3] = p.af->redWidth;
      c[3] = ScaleChannel(Shr(av & p.af->redMask, p.af->redShift), from[3], dstA, &lost[3]);
    } else if (sf->alphaWidth == 0) {
      c[3] = LowBits(dstA);
    } else if (dstA == 0) {
      c[3] = 0;
    } else {
      from[3] = sf->alphaWidth;
      c[3] = ScaleChannel(Shr(v & sf->alphaMask, sf->alphaShift), from[3], dstA, &lost[3]);
    }
    if (p.alphaFromRed) {
      from[3] = from[0];
      c[3] = ScaleChannel(Shr(v & sf->redMask, sf->redShift), from[0], dstA, &lost[3]);
    }
    if (p.colourOff) {
      for (int k = 0; k < 3; k++) c[k] = lost[k] = 0;
    }
    if (p.dither) {
      for (int k = 0; k < 4; k++) {
        if (from[k] <= to[k] || (p.colourOff && k < 3)) continue;
        unsigned bits = from[k] - to[k] > 32 ? 32 : from[k] - to[k];
        uint32_t lostMask = LowBits(bits);
        if (p.dither == CONVERT_DITHER_ORDERED) {
          uint64_t threshold = (uint64_t(kDitherThreshold[(x & 3) + 4 * (y & 3)]) << bits) / 16;
          if (lost[k] > threshold) c[k]++;
        } else {
          carry[k] += lost[k];
          if (carry[k] > lostMask) {
            c[k]++;
            carry[k] -= lostMask + 1;
          }
        }
        if (c[k] > LowBits(to[k])) c[k] = LowBits(to[k]);
      }
    }
    if (p.keyToAlpha) c[3] = (c[0] == keyR && c[1] == keyG && c[2] == keyB) ? 0 : LowBits(dstA);

    uint32_t out = Shl(c[0], df->redShift) | Shl(c[1], df->greenShift) | Shl(c[2], df->blueShift) |
                   Shl(c[3], df->alphaShift);
    if (w.dstBytes == 2 || w.dstBytes == 4) out |= df->noChannelMask;
    WritePixelValue(d, w.dstBytes, out);
  });
}

}  // namespace

void SetConvertBlitMmxUsable(int32_t usable) { g_mmxUsable = usable ? 1 : 0; }
int32_t GetConvertBlitMmxUsable() { return g_mmxUsable; }

int ConvertBlitRect(void* dstPixels, int32_t dstPitch, const ColorFormat* dstFormat,
                    const void* srcPixels, int32_t srcPitch, const ColorFormat* srcFormat,
                    const void* alphaPixels, int32_t alphaPitch, const ColorFormat* alphaFormat,
                    int32_t dstX, int32_t dstY, const Rect* srcRect, int32_t mirror,
                    int32_t keyToAlpha, uint32_t key, int32_t dither, int32_t colourOff,
                    int32_t alphaFromRed, int32_t skipKey, int32_t paletteRemap) {
  if (!dstPixels || !dstFormat || !srcPixels || !srcFormat || !srcRect) return -1;
  int64_t width = int64_t(srcRect->right) - srcRect->left;
  int64_t height = int64_t(srcRect->bottom) - srcRect->top;
  if (width <= 0 || height <= 0) return -1;
  const ColorFormat* df = dstFormat;
  const ColorFormat* sf = srcFormat;
  int dstBytes = df->bytesPerPixel, srcBytes = sf->bytesPerPixel;
  if (dstBytes < 1 || dstBytes > 4 || srcBytes < 1 || srcBytes > 4) return -1;
  static const ColorFormat kNoFormat{};
  const ColorFormat* af = alphaFormat ? alphaFormat : &kNoFormat;

  // Settle which options can take effect.
  unsigned dstA = df->alphaWidth, srcA = sf->alphaWidth;
  bool haveAlphaImage = alphaPixels != nullptr;
  bool alphaCarried = dstA > 0 && (haveAlphaImage || srcA > 0);
  bool alphaFromImage = alphaCarried && haveAlphaImage && srcA == 0;
  bool keyed = keyToAlpha && !alphaCarried && dstA > 0 && !alphaFromRed;
  bool skip = skipKey && !alphaCarried && !mirror;

  Walk w;
  w.dst =
      static_cast<uint8_t*>(dstPixels) + ptrdiff_t(dstY) * dstPitch + ptrdiff_t(dstX) * dstBytes;
  w.dstPitch = dstPitch;
  w.dstBytes = dstBytes;
  w.src = static_cast<const uint8_t*>(srcPixels) + ptrdiff_t(srcRect->top) * srcPitch +
          ptrdiff_t(srcRect->left) * srcBytes;
  w.srcPitch = srcPitch;
  w.srcBytes = srcBytes;
  w.width = int(width);
  w.height = int(height);
  w.mirror = mirror != 0;

  // Indexes between two different palettes.
  if (paletteRemap && dstBytes == 1 && srcBytes == 1 &&
      std::memcmp(df->palette, sf->palette, sizeof df->palette) != 0) {
    uint32_t table[256];
    for (int i = 0; i < 256; i++) {
      const PaletteEntry& e = sf->palette[i];
      table[i] = ColorToPixelValue(df, e.red, e.green, e.blue, 0);
    }
    CopyThroughTable(w, table);
    return 0;
  }

  // Colours into a palette image: the nearest entry for each.
  if (IsPalette(df) && srcBytes >= 2 && !colourOff && !alphaFromRed) {
    uint32_t lastValue = 0, lastIndex = 0;
    bool haveLast = false;
    EachPixel(w, [&](const uint8_t* s, uint8_t* d, int, int) {
      uint32_t v = ReadPixelValue(s, srcBytes);
      if (!haveLast || v != lastValue) {
        int32_t r = ChannelAsByte(v, sf->redMask, sf->redShift, sf->redWidth);
        int32_t g = ChannelAsByte(v, sf->greenMask, sf->greenShift, sf->greenWidth);
        int32_t b = ChannelAsByte(v, sf->blueMask, sf->blueShift, sf->blueWidth);
        int32_t a = ChannelAsByte(v, sf->alphaMask, sf->alphaShift, sf->alphaWidth);
        lastIndex = ColorToPixelValue(df, r, g, b, a);
        lastValue = v;
        haveLast = true;
      }
      *d = uint8_t(lastIndex);
    });
    return 0;
  }

  // Bytes between two 8-bit images, as they are.
  if (dstBytes == 1 && srcBytes == 1 && !colourOff && !skip) {
    uint8_t highest = 0;
    EachPixel(w, [&](const uint8_t* s, uint8_t* d, int, int) {
      if (*s > highest) highest = *s;
      *d = *s;
    });
    return highest;
  }

  bool sameLayout = df->bitDepth == sf->bitDepth && dstBytes == srcBytes &&
                    df->redMask == sf->redMask && df->greenMask == sf->greenMask &&
                    df->blueMask == sf->blueMask;
  if (sameLayout && df->alphaMask == sf->alphaMask && !keyed && !alphaFromImage && !colourOff &&
      !alphaFromRed) {
    if (!w.mirror && !skip) {
      size_t rowBytes = size_t(w.width) * srcBytes;
      for (int y = 0; y < w.height; y++) {
        std::memmove(w.dst + y * w.dstPitch, w.src + y * w.srcPitch, rowBytes);
      }
      return 0;
    }
    uint32_t skipValue = key & LowBits(8 * srcBytes);
    EachPixel(w, [&](const uint8_t* s, uint8_t* d, int, int) {
      uint32_t v = ReadPixelValue(s, srcBytes);
      if (!skip || v != skipValue) WritePixelValue(d, dstBytes, v);
    });
    return 0;
  }

  // The same colour layout into one with alpha: alpha from the colour key.
  if (sameLayout && dstA > 0 && keyed && !colourOff && !alphaFromRed && !skip) {
    uint32_t rgbMask = df->redMask | df->greenMask | df->blueMask;
    uint32_t keyPixel = ColorToPixelValue(df, key >> 16 & 0xFF, key >> 8 & 0xFF, key & 0xFF, 255);
    EachPixel(w, [&](const uint8_t* s, uint8_t* d, int, int) {
      uint32_t v = ReadPixelValue(s, srcBytes) & ~df->alphaMask;
      v |= (v & rgbMask) == (keyPixel & rgbMask) ? 0 : df->alphaMask;
      WritePixelValue(d, dstBytes, v);
    });
    return 0;
  }

  if (!dither && !colourOff && !alphaFromRed && !w.mirror && !skip && !haveAlphaImage &&
      FastPath(w, df, sf, keyed, key)) {
    return 0;
  }

  GeneralPlan p;
  p.df = df;
  p.sf = sf;
  p.af = af;
  p.alpha = haveAlphaImage
                ? static_cast<const uint8_t*>(alphaPixels) + ptrdiff_t(srcRect->top) * alphaPitch +
                      ptrdiff_t(srcRect->left) * af->bytesPerPixel
                : nullptr;
  p.alphaPitch = alphaPitch;
  p.srcPalette = srcBytes == 1 && IsPalette(sf);
  p.alphaPalette = af->bytesPerPixel == 1 && IsPalette(af);
  p.alphaFromImage = alphaFromImage;
  p.keyToAlpha = keyed;
  p.skipKey = skip;
  p.skipValue = key;
  p.keyPixel =
      keyed ? ColorToPixelValue(df, key >> 16 & 0xFF, key >> 8 & 0xFF, key & 0xFF, 255) : 0;
  bool lossy = sf->redWidth != df->redWidth || sf->greenWidth != df->greenWidth ||
               (alphaFromImage && af->redWidth != dstA);
  p.dither =
      (dither == CONVERT_DITHER_ORDERED || dither == CONVERT_DITHER_CARRY) && lossy ? dither : 0;
  p.colourOff = colourOff != 0;
  p.alphaFromRed = alphaFromRed != 0;
  ConvertGeneral(w, p);
  return 0;
}
