// The soft device's rasteriser: the general path of a pixel, the triangle's cover and its
// clipping (rules in softraster.h).
#include "platform/d3d/soft/softraster.h"

#include "platform/d3d/soft/softsetup.h"
#include "platform/d3d/soft/softspan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace soft {

namespace {

// The stage's texel at (u, v); false when the colour key drops the pixel.
bool Sample(const Draw& d, const Stage& s, double u, double v, Color* out) {
  const Surface& t = *s.texture;
  const int64_t au = Address(u, t.width), av = Address(v, t.height);
  const int bytes = t.layout.bytes;
  if (!s.linear || (d.colorKey && t.keyed)) {
    const uint32_t raw = Load(TexelAt(t, ClampIndex(au >> 8, t.width), ClampIndex(av >> 8, t.height)), bytes);
    if (d.colorKey && t.keyed && (raw & t.layout.colorMask) == t.keyBits) return false;
    if (!s.linear) {
      *out = Decode(t.layout, raw);
      return true;
    }
  }
  const int64_t bu = au - 128, bv = av - 128;
  const int fu = int(bu & 255), fv = int(bv & 255);
  const int32_t x0 = ClampIndex(bu >> 8, t.width), x1 = ClampIndex((bu >> 8) + 1, t.width);
  const int32_t y0 = ClampIndex(bv >> 8, t.height), y1 = ClampIndex((bv >> 8) + 1, t.height);
  const Color c00 = Decode(t.layout, Load(TexelAt(t, x0, y0), bytes));
  const Color c10 = Decode(t.layout, Load(TexelAt(t, x1, y0), bytes));
  const Color c01 = Decode(t.layout, Load(TexelAt(t, x0, y1), bytes));
  const Color c11 = Decode(t.layout, Load(TexelAt(t, x1, y1), bytes));
  const int w00 = (256 - fu) * (256 - fv), w10 = fu * (256 - fv), w01 = (256 - fu) * fv, w11 = fu * fv;
  auto mix = [&](int a, int b, int c, int e) { return (a * w00 + b * w10 + c * w01 + e * w11 + 32768) >> 16; };
  *out = {mix(c00.r, c10.r, c01.r, c11.r), mix(c00.g, c10.g, c01.g, c11.g), mix(c00.b, c10.b, c01.b, c11.b),
          mix(c00.a, c10.a, c01.a, c11.a)};
  return true;
}

// The planes' values at the start of one row.
struct RowValues {
  double z, u[2], v[2];
};

// Rounds to the nearest integer, halves up, for values the callers keep in range.
inline int64_t RoundHalfUp(double a) {
  const double t = a + 0.5;
  int64_t i = int64_t(t);
  if (double(i) > t) i--;
  return i;
}

// The alpha test, the blend and the store of a shaded colour; false when the test drops it.
inline bool WriteColor(const Draw& d, Color c, uint8_t* pixel) {
  if (d.alphaTest && !Compare(d.alphaFunc, uint32_t(c.a), d.alphaRef)) return false;
  const Layout& l = d.target.layout;
  const uint32_t old = Load(pixel, l.bytes);
  if (d.blend) {
    const Color dst = Decode(l, old);
    const int sa = c.a;
    c = {BlendChannel(d, c.r, sa, dst.r), BlendChannel(d, c.g, sa, dst.g), BlendChannel(d, c.b, sa, dst.b),
         BlendChannel(d, c.a, sa, dst.a)};
  }
  Store(pixel, l.bytes, Encode(l, c, old));
  return true;
}

inline void ShadePixel(const Draw& d, const Triangle& tri, const RowValues& row, int32_t px, uint8_t* pixel,
                       uint8_t* depth) {
  uint32_t z16 = 0;
  if (depth) {
    double z = tri.z.At(row.z, px);
    z = z == z ? std::clamp(z, 0.0, 1.0) : 0.0;
    z16 = uint32_t(RoundHalfUp(z * 65535.0));
    if (d.zTest) {
      uint16_t old;
      std::memcpy(&old, depth, 2);
      if (!Compare(d.zFunc, z16, old)) return;
    }
  }
  Inputs in = tri.flat;
  in.current = in.diffuse;
  for (int i = 0; i < d.stageCount; i++) {
    const Stage& s = d.stages[i];
    if (tri.reads[i]) {
      if (s.texture) {
        const uint32_t set = s.coordSet;
        if (!Sample(d, s, tri.u[set].At(row.u[set], px), tri.v[set].At(row.v[set], px), &in.texture)) return;
      } else {
        in.texture = {255, 255, 255, 255};
      }
    }
    const int da = in.diffuse.a, ca = in.current.a;
    const int alpha = s.alphaOp == PLAT_D3DTOP_DISABLE
                          ? ca
                          : Operate(s.alphaOp, Argument(s.alphaArg1, in).a, Argument(s.alphaArg2, in).a, da, ca);
    in.current = OperateColor(s.colorOp, Argument(s.colorArg1, in), Argument(s.colorArg2, in), da, ca, alpha);
  }
  if (!WriteColor(d, in.current, pixel)) return;
  if (depth && d.zWrite) {
    const uint16_t w = uint16_t(z16);
    std::memcpy(depth, &w, 2);
  }
}

Plane MakePlane(const double* x, const double* y, double a0, double a1, double a2) {
  Plane p;
  const double det = (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]);
  p.base = a0;
  p.x0 = x[0];
  p.y0 = y[0];
  if (det != 0 && std::isfinite(det)) {
    p.dx = ((a1 - a0) * (y[2] - y[0]) - (a2 - a0) * (y[1] - y[0])) / det;
    p.dy = ((a2 - a0) * (x[1] - x[0]) - (a1 - a0) * (x[2] - x[0])) / det;
  }
  return p;
}

// floor((n0 + dn i) / d) for i = 0, 1, ... in turn (d > 0), without dividing again.
struct FloorSteps {
  int64_t q = 0, r = 0, dq = 0, dr = 0, d = 1;
  void Start(int64_t n0, int64_t dn, int64_t divisor) {
    d = divisor;
    q = FloorDiv(n0, d);
    r = n0 - q * d;
    dq = FloorDiv(dn, d);
    dr = dn - dq * d;
  }
  void Next() {
    q += dq;
    r += dr;
    if (r >= d) {
      r -= d;
      q++;
    }
  }
};

// Covers the pixels of one snapped triangle (1/256-pixel coordinates, |X|, |Y| <= 2^30).
void Cover(const Draw& d, const Triangle& tri, int64_t X[3], int64_t Y[3]) {
  const int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
  if (area == 0) return;
  if (area < 0) {
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
  }
  const int64_t minX = std::min({X[0], X[1], X[2]}), maxX = std::max({X[0], X[1], X[2]});
  const int64_t minY = std::min({Y[0], Y[1], Y[2]}), maxY = std::max({Y[0], Y[1], Y[2]});
  const int64_t left = std::max<int64_t>(CeilDiv(minX, 256), d.scissor.left);
  const int64_t right = std::min<int64_t>(FloorDiv(maxX, 256), d.scissor.right - 1);
  const int64_t top = std::max<int64_t>(CeilDiv(minY, 256), d.scissor.top);
  const int64_t bottom = std::min<int64_t>(FloorDiv(maxY, 256), d.scissor.bottom - 1);
  if (left > right || top > bottom) return;
  int64_t ex[3], ey[3], bias[3];
  for (int i = 0; i < 3; i++) {
    const int j = (i + 1) % 3;
    ex[i] = X[j] - X[i];
    ey[i] = Y[j] - Y[i];
    const bool topLeft = ey[i] < 0 || (ey[i] == 0 && ex[i] > 0);
    bias[i] = topLeft ? 0 : -1;
  }
  const int bpp = d.target.layout.bytes;
  SpanJob job;
  const bool span = PlanSpan(d, tri, &job);
  // A coordinate without slope across takes one address a row: its plane's row value,
  // which is the plane (base, dy, y0) evaluated across py, stepped down the rows.
  Plane downPlanes[2];
  AddressStepper downSteps[2];
  if (span && job.texture) {
    const uint32_t set = d.stages[0].coordSet;
    job.planes[0] = &tri.u[set];
    job.planes[1] = &tri.v[set];
    AddressStepper* steppers[2] = {&job.u, &job.v};
    const int32_t sizes[2] = {job.texture->width, job.texture->height};
    for (int c = 0; c < 2; c++) {
      const Plane& p = *job.planes[c];
      steppers[c]->Prepare(p, sizes[c], left, right, top, bottom);
      job.stepsDown[c] = steppers[c]->mode == AddressStepper::kConstant;
      if (!job.stepsDown[c]) continue;
      downPlanes[c].base = p.base;
      downPlanes[c].dx = p.dy;
      downPlanes[c].x0 = p.y0;
      downSteps[c].Prepare(downPlanes[c], sizes[c], top, bottom, 0, 0);
      downSteps[c].Start(p.base, top);
    }
  }
  // E(px) = ex (256 py - Yi) - ey (256 px - Xi) + bias >= 0 is k - step px >= 0 with
  // k = ex (256 py - Yi) + ey Xi + bias and step = 256 ey: px >= ceil(-k / -step) for a
  // negative step, px <= floor(k / step) for a positive one. k grows by 256 ex a row, and
  // the quotients are stepped with their remainders.
  FloorSteps edges[3];
  int64_t k[3], dk[3], step[3];
  for (int i = 0; i < 3; i++) {
    k[i] = ex[i] * (256 * top - Y[i]) + ey[i] * X[i] + bias[i];
    dk[i] = 256 * ex[i];
    step[i] = -ey[i] * 256;
    if (step[i] != 0) edges[i].Start(k[i], dk[i], step[i] > 0 ? step[i] : -step[i]);
  }
  const bool down = span && job.texture;
  for (int64_t py = top; py <= bottom; py++) {
    int64_t downAt[2] = {0, 0};
    if (down)
      for (int c = 0; c < 2; c++)
        if (job.stepsDown[c]) downAt[c] = downSteps[c].Next();
    int64_t lo = left, hi = right;
    for (int i = 0; i < 3; i++) {
      if (step[i] == 0) {
        if (k[i] < 0) hi = lo - 1;
        k[i] += dk[i];
      } else {
        if (step[i] > 0) lo = std::max(lo, -edges[i].q);
        else hi = std::min(hi, edges[i].q);
        edges[i].Next();
      }
    }
    if (lo > hi) continue;
    uint8_t* row = d.target.bits + size_t(py) * size_t(d.target.pitch);
    uint8_t* zrow = d.depth && (d.zTest || d.zWrite) ? d.depth + size_t(py) * size_t(d.depthPitch) : nullptr;
    const double y = double(py);
    if (span) {
      RunSpan(job, downAt, y, lo, hi, row + size_t(lo) * size_t(bpp));
      continue;
    }
    const RowValues values{tri.z.Row(y), {tri.u[0].Row(y), tri.u[1].Row(y)}, {tri.v[0].Row(y), tri.v[1].Row(y)}};
    for (int64_t px = lo; px <= hi; px++)
      ShadePixel(d, tri, values, int32_t(px), row + size_t(px) * size_t(bpp), zrow ? zrow + size_t(px) * 2 : nullptr);
  }
}

struct Point {
  double x, y;
};

// Sutherland-Hodgman against one side: keeps where sign * (coord - limit) <= 0. A crossing
// lies on the side exactly, and its other coordinate is worked out from the end nearer
// the side, so that ends far away do not cancel into noise.
int ClipSide(const Point* in, int n, Point* out, bool vertical, double limit, double sign) {
  int m = 0;
  for (int i = 0; i < n; i++) {
    const Point& a = in[i];
    const Point& b = in[(i + 1) % n];
    const double da = sign * ((vertical ? a.x : a.y) - limit), db = sign * ((vertical ? b.x : b.y) - limit);
    if (da <= 0) out[m++] = a;
    if ((da <= 0) != (db <= 0)) {
      const bool fromA = std::fabs(da) <= std::fabs(db);
      const Point& near = fromA ? a : b;
      const Point& other = fromA ? b : a;
      const double t = (fromA ? da : db) / ((fromA ? da : db) - (fromA ? db : da));
      if (vertical) out[m++] = {limit, near.y + (other.y - near.y) * t};
      else out[m++] = {near.x + (other.x - near.x) * t, limit};
    }
  }
  return m;
}

}  // namespace

uint8_t Widen(uint32_t value, int bits) { return kWiden.t[bits][value & ((1u << bits) - 1)]; }

bool LayoutOf(const PlatDDPixelFormat& f, Layout* l) {
  if (f.flags & (PLAT_DDPF_ZBUFFER | PLAT_DDPF_FOURCC | PLAT_DDPF_PALETTEINDEXED8)) return false;
  for (const FormatMasks& m : kFormats) {
    if (m.bits != f.bitCount || m.r != f.rMask || m.g != f.gMask || m.b != f.bMask || m.a != f.aMask) continue;
    l->format = int(&m - kFormats);
    l->bytes = int(m.bits / 8);
    const uint32_t masks[4] = {m.r, m.g, m.b, m.a};
    for (int i = 0; i < 4; i++) {
      l->mask[i] = masks[i];
      l->shift[i] = uint8_t(masks[i] ? __builtin_ctz(masks[i]) : 0);
      l->bits[i] = uint8_t(__builtin_popcount(masks[i]));
    }
    l->colorMask = m.r | m.g | m.b;
    l->keep = ~(m.r | m.g | m.b | m.a) & (m.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu);
    return true;
  }
  return false;
}

Triangle MakeTriangle(const Draw& d, const Vertex& a, const Vertex& b, const Vertex& c, const double* x,
                      const double* y, int only) {
  Triangle tri;
  if (only < 0) tri.z = MakePlane(x, y, a.z, b.z, c.z);
  for (int s = 0; s < 2; s++) {
    if (only >= 0 && s != only) continue;
    tri.u[s] = MakePlane(x, y, a.u[s], b.u[s], c.u[s]);
    tri.v[s] = MakePlane(x, y, a.v[s], b.v[s], c.v[s]);
  }
  tri.flat.diffuse = FromArgb(a.diffuse);
  tri.flat.specular = FromArgb(a.specular);
  tri.flat.factor = FromArgb(d.textureFactor);
  tri.flat.texture = {255, 255, 255, 255};
  for (int i = 0; i < d.stageCount; i++) {
    const Stage& s = d.stages[i];
    tri.reads[i] = Uses(s.colorOp, s.colorArg1, s.colorArg2, PLAT_D3DTA_TEXTURE) ||
                   Uses(s.alphaOp, s.alphaArg1, s.alphaArg2, PLAT_D3DTA_TEXTURE);
  }
  return tri;
}

void DrawTriangle(const Draw& d, const Vertex& a, const Vertex& b, const Vertex& c, bool reversed) {
  const Vertex* v[3] = {&a, &b, &c};
  for (const Vertex* p : v)
    if (!std::isfinite(p->x) || !std::isfinite(p->y) || !std::isfinite(p->z)) return;
  if (d.scissor.left >= d.scissor.right || d.scissor.top >= d.scissor.bottom) return;
  bool far = false;
  for (const Vertex* p : v) far = far || std::fabs(p->x) > kFar || std::fabs(p->y) > kFar;

  double x[3], y[3];
  int64_t X[3], Y[3];
  for (int i = 0; i < 3; i++) {
    if (far) {
      x[i] = v[i]->x;
      y[i] = v[i]->y;
    } else {
      Snap(*v[i], &X[i], &Y[i], &x[i], &y[i]);
    }
  }
  if (!Kept(d, Area(x, y), reversed)) return;
  const Triangle tri = MakeTriangle(d, a, b, c, x, y);

  if (!far) {
    Cover(d, tri, X, Y);
    return;
  }
  // Clipped a pixel outside the scissor, so that its own edges decide nothing.
  Point poly[2][12];
  int n = 3;
  for (int i = 0; i < 3; i++) poly[0][i] = {x[i], y[i]};
  int cur = 0;
  const double bounds[4] = {double(d.scissor.left) - 1, double(d.scissor.right) + 1, double(d.scissor.top) - 1,
                            double(d.scissor.bottom) + 1};
  n = ClipSide(poly[cur], n, poly[1 - cur], true, bounds[0], -1), cur = 1 - cur;
  n = ClipSide(poly[cur], n, poly[1 - cur], true, bounds[1], 1), cur = 1 - cur;
  n = ClipSide(poly[cur], n, poly[1 - cur], false, bounds[2], -1), cur = 1 - cur;
  n = ClipSide(poly[cur], n, poly[1 - cur], false, bounds[3], 1), cur = 1 - cur;
  for (int i = 1; i + 1 < n; i++) {
    const Point* q[3] = {&poly[cur][0], &poly[cur][i], &poly[cur][i + 1]};
    int64_t PX[3], PY[3];
    for (int k = 0; k < 3; k++) {
      PX[k] = std::llround(q[k]->x * 256.0);
      PY[k] = std::llround(q[k]->y * 256.0);
    }
    Cover(d, tri, PX, PY);
  }
}

}  // namespace soft
