// The textured triangle against a slow model written from its formulas: 64-bit edges,
// the slope comparison in double, texture coordinates from the reference vertex at every
// pixel, and the blend modes channel by channel in plain integers (the saturating add and
// subtract by their per-channel rules, not the packed recipes). The sweep covers random
// triangles, draw areas, modes, parameters, brightness, alpha, palettes, keys, blend
// images and both kinds of image.
#include "trianglefixture.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <sstream>

namespace {

struct Params {
  int kind;     // 0 16-bit, 1 32-bit
  char texels;  // 'd', 'p', 'a'
  int trans;
  int mode;
  int p;
  uint8_t bright[3];  // blue, green, red
  bool blend;
  Rect area;
  Corners corners;
  std::string Describe() const {
    std::ostringstream o;
    o << "kind " << kind << " texels " << texels << " trans " << trans << " mode " << mode << " p "
      << p << " bright " << int(bright[0]) << "," << int(bright[1]) << "," << int(bright[2])
      << " blend " << blend << " area " << area.left << "," << area.top << "," << area.right << ","
      << area.bottom << " corners";
    for (const TriangleVertex& v : corners) {
      o << " (" << v.x << "," << v.y << " / " << v.u << "," << v.v << ")";
    }
    return o.str();
  }
};

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return q * b != a && (a < 0) != (b < 0) ? q - 1 : q;
}
int64_t Mix(int64_t d, int64_t t, int64_t w, int n) {
  return d + FloorDiv((t - d) * w, int64_t(1) << n);
}
int64_t Product(int64_t a, int64_t b) { return a * b / 255; }

int32_t TruncateToInt(double x) {
  if (!(x > -2147483649.0 && x < 2147483648.0)) return INT32_MIN;
  return int32_t(std::trunc(x));
}

// Saturating add and subtract of one pixel, channel by channel (0 blue, 1 green, 2 red),
// with their low-bit rules; byte 3 of a 32-bit result is the add's carry out of red.
uint32_t ChannelAdd(int kind, const int64_t d[3], const int64_t q[3]) {
  const int64_t top = kind ? 255 : 31, half[3] = {0, kind ? 127 : 31, kind ? 127 : 15};
  int64_t out[3];
  out[0] = std::min(top, d[0] + q[0]);
  int64_t carry = d[0] + q[0] > top;
  for (int c = 1; c < 3; c++) {
    int64_t sum = (d[c] >> 1) + (q[c] >> 1);
    int64_t low = (d[c] | q[c] | carry) & 1;
    bool saturated = sum > half[c];
    if (!saturated)
      out[c] = 2 * sum + low;
    else
      out[c] = kind == 0 && c == 1 ? 62 + low : kind ? 255 : 31;
    carry = saturated;
  }
  if (kind) return uint32_t(out[0] | out[1] << 8 | out[2] << 16 | carry << 24);
  return uint32_t(out[0] | out[1] << 5 | out[2] << 11);
}
uint32_t ChannelSubtract(int kind, const int64_t d[3], const int64_t q[3]) {
  int64_t out[3];
  out[0] = std::max<int64_t>(0, d[0] - q[0]);
  bool noBorrow = d[0] >= q[0];
  for (int c = 1; c < 3; c++) {
    bool fits = (d[c] >> 1) >= (q[c] >> 1);
    // The 16-bit green ends in 0 whatever happened to blue.
    int64_t low = kind == 0 && c == 1 ? 0 : noBorrow;
    out[c] = fits ? 2 * ((d[c] >> 1) - (q[c] >> 1)) + low : 0;
    noBorrow = fits;
  }
  if (kind) return uint32_t(out[0] | out[1] << 8 | out[2] << 16);
  return uint32_t(out[0] | out[1] << 5 | out[2] << 11);
}

// One pixel: the new destination value, or d itself when the texel is skipped.
uint32_t ModelPixel(const Params& c, int mode, int p, uint32_t raw, uint32_t entry, uint32_t key,
                    int64_t f, uint32_t d) {
  const bool is32 = c.kind == 1;
  const int shift[3] = {0, is32 ? 8 : 5, is32 ? 16 : 11};
  const int bits[3] = {is32 ? 8 : 5, is32 ? 8 : 6, is32 ? 8 : 5};
  const bool white = c.bright[0] == 255 && c.bright[1] == 255 && c.bright[2] == 255;

  uint32_t colour = raw;
  int64_t a = 255;
  bool alphaFormula = false;
  if (c.texels == 'p') {
    if (c.trans && raw == key) return d;
    colour = entry;
  } else if (c.texels == 'd') {
    if (c.trans && raw == key) return d;
  } else {
    a = is32 ? raw >> 24 : (raw >> 16) & 0xFF;
    colour = is32 ? raw : raw & 0xFFFF;
    bool skips = mode <= 3 || (!is32 && mode == 10);
    if (c.trans && a == 0 && skips) return d;
    alphaFormula = !c.trans || a != 255;
  }

  int64_t s[3], sp[3], dc[3];
  for (int i = 0; i < 3; i++) {
    int64_t max = (1 << bits[i]) - 1;
    s[i] = colour >> shift[i] & max;
    dc[i] = d >> shift[i] & max;
    sp[i] = mode == 10 ? max - s[i] : s[i];
    if (!white) sp[i] = Product(c.bright[i], sp[i]);
  }
  const uint32_t kept = is32 ? d & 0xFF000000 : 0;
  auto pack = [&](const int64_t* r) {
    uint32_t v = kept;
    for (int i = 0; i < 3; i++) v |= uint32_t(r[i]) << shift[i];
    return v;
  };
  int64_t r[3];
  const int64_t w = (c.blend ? f : 1) * (alphaFormula ? a : 1);
  const int n = 8 * (int(c.blend) + int(alphaFormula));
  switch (mode) {
    case 0:
      if (n == 0) {
        if (white) return is32 ? colour : colour & 0xFFFF;
        return pack(sp);
      }
      for (int i = 0; i < 3; i++) r[i] = Mix(dc[i], sp[i], w, n);
      return pack(r);
    case 1:
    case 10:
    case 11:
      for (int i = 0; i < 3; i++) {
        int64_t t = mode == 11 ? sp[i] * dc[i] >> bits[i] : sp[i];
        if (n > 0)
          r[i] = Mix(dc[i], t, w * p, n + 8);
        else if (is32)
          r[i] = Mix(dc[i], t, p, 8);
        else
          r[i] = dc[i] + p * (t - dc[i]) / 255;
      }
      if (mode == 11 && !is32 && alphaFormula && !c.blend && white) {
        r[1] = Mix(32 * dc[1], s[1] * dc[1] / 2, a * p, 16) / 32;
      }
      return pack(r);
    case 4:
      for (int i = 0; i < 3; i++) r[i] = sp[i] * dc[i] * w >> (bits[i] + n);
      return pack(r);
    default: {
      int64_t q[3];
      for (int i = 0; i < 3; i++) {
        if (n == 0) {
          q[i] = Product(p, sp[i]);
        } else if (is32) {
          q[i] = sp[i] * w * p >> (n + 8);
        } else if (!c.blend) {
          int64_t x = s[i] * a >> 8;  // alpha before brightness
          q[i] = Product(p, white ? x : Product(c.bright[i], x));
        } else {
          q[i] = Product(p, sp[i] * w >> n);
        }
      }
      return mode == 2 ? ChannelAdd(c.kind, dc, q) : ChannelSubtract(c.kind, dc, q);
    }
  }
}

struct ModelSegment {
  int64_t x, step, rows, row;
};
ModelSegment Segment(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  int64_t rows = (y1 - y0) >> 18;
  return {x0, (x1 - x0) / rows, rows, FloorDiv(y0, 1 << 18)};
}

// The whole triangle into the model's copy of the destination.
void ModelTriangle(const Params& c, const TestImage& src, const TestImage* blend,
                   std::vector<uint32_t>& out, int width, int height) {
  const MemImgData* sd = src.img.data;
  int p = std::clamp(c.p, 0, 255);
  int mode = c.mode;
  if (mode == 1 && p == 255) mode = 0;
  if (mode < 0 || (mode > 4 && mode != 10 && mode != 11)) return;
  if ((mode == 1 || mode == 2) && p == 0) return;
  if (mode == 3 && p == 0 && c.texels != 'p') return;
  for (const TriangleVertex& v : c.corners) {
    for (int32_t value : {v.x, v.y, v.u, v.v}) {
      if (value < -8192 || value > 8191) return;
    }
  }
  Rect area = {std::max(c.area.left, 0), std::max(c.area.top, 0), std::min(c.area.right, width),
               std::min(c.area.bottom, height)};

  int64_t X[3], Y[3];
  for (int i = 0; i < 3; i++) {
    X[i] = int64_t(c.corners[size_t(i)].x) * 262144 + 131072;
    Y[i] = int64_t(c.corners[size_t(i)].y) * 262144 + 131072;
  }
  auto sorted = [](const int64_t* key) {
    std::array<int, 3> o = {0, 1, 2};
    for (int i = 0; i < 2; i++) {
      for (int j = i + 1; j < 3; j++) {
        if (key[o[size_t(i)]] > key[o[size_t(j)]]) std::swap(o[size_t(i)], o[size_t(j)]);
      }
    }
    return o;
  };
  std::array<int, 3> A = sorted(X), B = sorted(Y);
  const TriangleVertex& v0 = c.corners[size_t(A[0])];
  const TriangleVertex& v1 = c.corners[size_t(A[1])];
  const TriangleVertex& v2 = c.corners[size_t(A[2])];
  int64_t ax = v1.x - v0.x, ay = v1.y - v0.y, au = v1.u - v0.u, av = v1.v - v0.v;
  int64_t bx = v2.x - v0.x, by = v2.y - v0.y, bu = v2.u - v0.u, bv = v2.v - v0.v;
  int64_t D = ay * bx - by * ax;
  if (D == 0) return;
  auto grad = [D](int64_t num) {
    return uint32_t(TruncateToInt(double(num) * 262144.0 / double(D)));
  };
  uint32_t Ux = grad(ay * bu - by * au), Uy = grad(au * bx - ax * bu);
  uint32_t Vx = grad(ay * bv - av * by), Vy = grad(av * bx - bv * ax);
  int64_t Rx = v0.x, Ry = v0.y;
  uint32_t Ru = uint32_t(v0.u) << 18, Rv = uint32_t(v0.v) << 18;

  int t = B[0], m = B[1], b = B[2];
  std::vector<ModelSegment> left, right;
  if (Y[t] == Y[m]) {
    int rt = X[m] > X[t] ? m : t, lt = rt == m ? t : m;
    left = {Segment(X[lt], Y[lt], X[b], Y[b])};
    right = {Segment(X[rt], Y[rt], X[b], Y[b])};
  } else if (Y[m] == Y[b]) {
    int rb = X[b] > X[m] ? b : m, lb = rb == b ? m : b;
    left = {Segment(X[t], Y[t], X[lb], Y[lb])};
    right = {Segment(X[t], Y[t], X[rb], Y[rb])};
  } else {
    double s2 = double(X[b] - X[t]) / (double(Y[b] - Y[t]) / 262144.0);
    double s1 = double(X[m] - X[t]) / (double(Y[m] - Y[t]) / 262144.0);
    if (s2 > s1) {
      left = {Segment(X[t], Y[t], X[m], Y[m]), Segment(X[m], Y[m], X[b], Y[b])};
      right = {Segment(X[t], Y[t], X[b], Y[b])};
    } else {
      left = {Segment(X[t], Y[t], X[b], Y[b])};
      right = {Segment(X[t], Y[t], X[m], Y[m]), Segment(X[m] + 1, Y[m], X[b], Y[b])};
    }
  }

  size_t li = 0, ri = 0;
  ModelSegment l = left[0], r = right[0];
  int64_t row = l.row;
  for (;;) {
    int64_t first = FloorDiv(l.x, 262144), last = FloorDiv(r.x, 262144);
    first = std::max<int64_t>(first, area.left);
    for (int64_t x = first; x <= last && x < area.right; x++) {
      if (row < area.top || row >= area.bottom) break;
      uint32_t u = Ru + uint32_t(x - Rx) * Ux + uint32_t(row - Ry) * Uy;
      uint32_t v = Rv + uint32_t(x - Rx) * Vx + uint32_t(row - Ry) * Vy;
      if (u >= uint32_t(src.img.width) << 18 || v >= uint32_t(src.img.height) << 18) continue;
      int tx = int(u >> 18), ty = int(v >> 18);
      uint32_t raw = src.Get(tx, ty);
      uint32_t entry = 0;
      if (c.texels == 'p') {
        entry = c.kind ? static_cast<const uint32_t*>(sd->palette)[raw]
                       : static_cast<const uint16_t*>(sd->palette)[raw];
      }
      int64_t f = blend ? BlendGraphCurve[blend->Get(tx, ty)] : 0;
      uint32_t& at = out[size_t(row * width + x)];
      at = ModelPixel(c, mode, p, raw, entry, sd->transparentColor, f, at);
    }
    l.x += l.step;
    r.x += r.step;
    row++;
    if (--l.rows == 0) {
      if (++li == left.size()) return;
      l = left[li];
      row = l.row;
    }
    if (--r.rows == 0) {
      if (++ri == right.size()) return;
      r = right[ri];
    }
  }
}

class TriangleModelTest : public TriangleTest {
 protected:
  std::mt19937 rng{20240601};
  int Range(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
  uint32_t Word() { return uint32_t(rng()); }
  bool Chance(int percent) { return Range(0, 99) < percent; }

  // A texel value that the key often matches.
  uint32_t Pick(const std::vector<uint32_t>& pool) {
    return pool[size_t(Range(0, int(pool.size()) - 1))];
  }

  Params RandomParams(int width, int height, int srcW, int srcH) {
    Params c{};
    c.kind = Range(0, 1);
    c.texels = "dpa"[Range(0, 2)];
    c.trans = Chance(50) ? 0 : Chance(80) ? 1 : 7;
    const int modes[] = {0, 1, 2, 3, 4, 10, 11, 0, 1, 2, 3, 4, 10, 11, 5, 12, -1};
    c.mode = modes[Range(0, 16)];
    const int ps[] = {0, 1, 128, 254, 255, -5, 300};
    c.p = Chance(60) ? Range(0, 255) : ps[Range(0, 6)];
    if (!Chance(40)) {
      for (uint8_t& b : c.bright) b = Chance(15) ? 0 : uint8_t(Range(0, 255));
    } else {
      c.bright[0] = c.bright[1] = c.bright[2] = 255;
    }
    c.blend = Chance(40);
    c.area = {0, 0, width, height};
    if (Chance(40)) {
      c.area = {Range(-5, width), Range(-5, height), 0, 0};
      c.area.right = Range(c.area.left, width + 5);
      c.area.bottom = Range(c.area.top, height + 5);
    }
    // Mostly small triangles over the destination and the source; some that reach far
    // off it or scale the texture; some on one line; a few across the whole range.
    int kindOfShape = Range(0, 19);
    for (TriangleVertex& v : c.corners) {
      if (kindOfShape == 0) {
        v = {Range(-8192, 8191), Range(-8192, 8191), Range(-8192, 8191), Range(-8192, 8191)};
      } else {
        v = {Range(-12, width + 12), Range(-12, height + 12), Range(-4, srcW + 4),
             Range(-4, srcH + 4)};
        if (kindOfShape == 1) v.u *= 7, v.v *= -3;
      }
    }
    if (kindOfShape == 2)
      c.corners[2] = {2 * c.corners[1].x - c.corners[0].x, 2 * c.corners[1].y - c.corners[0].y, 3,
                      3};
    if (kindOfShape == 3) c.corners[1].y = c.corners[0].y;
    if (kindOfShape == 4) c.corners[2].y = c.corners[1].y;
    return c;
  }
};

TEST_F(TriangleModelTest, SweepMatchesTheModel) {
  constexpr int kWidth = 40, kHeight = 30;
  int drawnPixels = 0;
  for (int round = 0; round < 4000; round++) {
    const int srcW = Range(1, 20), srcH = Range(1, 20);
    Params c = RandomParams(kWidth, kHeight, srcW, srcH);
    SCOPED_TRACE(c.Describe());

    const bool is32 = c.kind == 1;
    std::vector<uint32_t> pool;
    for (int i = 0; i < 4; i++) {
      uint32_t w = Word();
      if (c.texels == 'p')
        w &= Chance(70) ? 7 : 0xFF;
      else if (c.texels == 'a')
        w = is32 ? w : (w & 0x00FFFFFF);
      else
        w = is32 ? w : w & 0xFFFF;
      if (c.texels == 'a') {
        // Alpha 0, 255 and between, in byte 3 (32-bit) or byte 2 (16-bit).
        uint32_t a = Chance(33) ? 0 : Chance(50) ? 255 : uint32_t(Range(1, 254));
        w = is32 ? (w & 0x00FFFFFF) | a << 24 : (w & 0xFFFF) | a << 16;
      }
      pool.push_back(w);
    }
    uint32_t key = Pick(pool);
    if (Chance(10)) key |= c.texels == 'p' ? 0x100 : is32 ? 0 : 0x10000;
    TestImage src(c.kind, srcW, srcH, key, c.texels == 'p', c.texels == 'a');
    for (int y = 0; y < srcH; y++) {
      for (int x = 0; x < srcW; x++)
        src.Set(x, y,
                Chance(50) ? Pick(pool)
                           : Pick(pool) ^ (Word() & (c.texels == 'p' ? 0xFF
                                                     : is32          ? 0xFFFFFFFF
                                                                     : 0xFFFF)));
    }
    if (c.texels == 'p') {
      for (int i = 0; i < 256; i++) src.SetPalette(i, is32 ? Word() : Word() & 0xFFFF);
    }
    std::optional<TestImage> blend;
    if (c.blend) {
      blend.emplace(MEMIMG_KIND_GRAY8, srcW + Range(0, 3), srcH + Range(0, 3));
      for (int y = 0; y < blend->img.height; y++) {
        for (int x = 0; x < blend->img.width; x++) blend->Set(x, y, uint32_t(Range(0, 255)));
      }
      BuildBlendGraphCurve(Range(0, 255), Range(0, 255));
      if (Chance(30)) {
        for (uint8_t& w : BlendGraphCurve) w = uint8_t(Range(0, 255));
      }
    }

    TestImage dst(c.kind, kWidth, kHeight);
    for (int y = 0; y < kHeight; y++) {
      for (int x = 0; x < kWidth; x++) dst.Set(x, y, is32 ? Word() : Word() & 0xFFFF);
    }
    std::vector<uint32_t> want = dst.All();
    ModelTriangle(c, src, blend ? &*blend : nullptr, want, kWidth, kHeight);

    g_DrawState.drawArea = c.area;
    g_DrawState.blendMode = c.mode;
    g_DrawState.blendParam = c.p;
    g_DrawState.brightBlue = c.bright[0];
    g_DrawState.brightGreen = c.bright[1];
    g_DrawState.brightRed = c.bright[2];
    std::vector<uint32_t> before = dst.All();
    DrawMemImgTriangle(&dst.img, &src.img, c.corners.data(), c.trans, blend ? &blend->img : nullptr,
                       0);
    std::vector<uint32_t> got = dst.All();
    for (size_t i = 0; i < got.size(); i++) drawnPixels += got[i] != before[i];
    for (size_t i = 0; i < got.size(); i++) {
      ASSERT_EQ(got[i], want[i]) << std::hex << "pixel " << std::dec << i % kWidth << ", "
                                 << i / kWidth << " round " << round;
    }
  }
  // The sweep must draw, not only refuse.
  EXPECT_GT(drawnPixels, 4000 * 20);
}

}  // namespace
