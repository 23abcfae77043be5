// The triangle set-up the triangle and the rectangle draws share: snapping, culling and
// the planes. Not for the device.
#pragma once

#include "platform/d3d/soft/softpixel.h"

#include <cstdint>

namespace soft {

constexpr double kFar = 4194304.0;  // 2^22 pixels

inline int64_t FloorDiv(int64_t a, int64_t b) {  // b > 0
  int64_t q = a / b;
  if ((a % b) != 0 && a < 0) q--;
  return q;
}
inline int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

// Whether the culling keeps a triangle of the area; on the screen (y down) a positive area
// winds clockwise.
inline bool Kept(const Draw& d, double area, bool reversed) {
  if (area == 0 || !std::isfinite(area)) return false;
  const bool clockwise = (area > 0) != reversed;
  return !(d.cull == PLAT_D3DCULL_CW && clockwise) && !(d.cull == PLAT_D3DCULL_CCW && !clockwise);
}

inline double Area(const double* x, const double* y) { return (x[1] - x[0]) * (y[2] - y[0]) - (x[2] - x[0]) * (y[1] - y[0]); }

// std::llround (halves away from zero) for |a| < 2^52, where a - trunc(a) is exact.
inline int64_t RoundNear(double a) {
  int64_t i = int64_t(a);
  const double f = a - double(i);
  if (f >= 0.5) i++;
  else if (f <= -0.5) i--;
  return i;
}

// A corner within kFar snapped to 1/256 pixel.
inline void Snap(const Vertex& v, int64_t* X, int64_t* Y, double* x, double* y) {
  *X = RoundNear(double(v.x) * 256.0);
  *Y = RoundNear(double(v.y) * 256.0);
  *x = double(*X) / 256.0;
  *y = double(*Y) / 256.0;
}

// The triangle's planes (only the coordinate set `only`'s, when 0 or 1) and flat inputs.
Triangle MakeTriangle(const Draw& d, const Vertex& a, const Vertex& b, const Vertex& c, const double* x,
                      const double* y, int only = -1);

}  // namespace soft
