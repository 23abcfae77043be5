// The soft rasteriser's rectangle road: two triangles that make a screen rectangle drawn
// as rows (rules in softraster.h).
#include "platform/d3d/soft/softraster.h"

#include "platform/d3d/soft/softsetup.h"
#include "platform/d3d/soft/softspan.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace soft {

namespace {

// One texture coordinate of a rectangle's two triangles along one side of it: each
// triangle's plane as a line along the side (its slope as dx) and the value its steps
// start from.
struct SideLine {
  Plane line;
  double start;
};

// The addresses both triangles give the pixels lo..hi of one side, the other coordinate
// lying in across0..across1: the stepper of the first, started at lo, when both step a texel
// a pixel from the same address, else a table of them (in `table`). False when the two
// differ at some pixel, which then takes the triangles one by one.
bool SideAddresses(const SideLine (&sides)[2], int32_t size, int64_t lo, int64_t hi, int64_t across0,
                   int64_t across1, std::vector<int64_t>& table, AddressStepper* out) {
  AddressStepper st[2];
  int64_t first[2];
  for (int k = 0; k < 2; k++) {
    st[k].Prepare(sides[k].line, size, lo, hi, across0, across1);
    st[k].Start(sides[k].start, lo);
  }
  // A step of exactly one texel keeps the fraction, so a sure first address is a sure row.
  if (st[0].Run(&first[0]) && st[1].Run(&first[1]) && first[0] == first[1]) {
    *out = st[0];
    return true;
  }
  table.resize(size_t(hi - lo + 1));
  for (int64_t& a : table) {
    a = st[0].Next();
    if (st[1].Next() != a) return false;
  }
  out->mode = AddressStepper::kTable;
  out->table = table.data();
  return true;
}

}  // namespace

bool DrawRectangle(const Draw& d, const Vertex (&first)[3], bool firstReversed, const Vertex (&second)[3],
                   bool secondReversed) {
  if (!d.spans.fetch || d.scissor.left >= d.scissor.right || d.scissor.top >= d.scissor.bottom) return false;
  const Vertex* const halves[2] = {first, second};
  const bool reversed[2] = {firstReversed, secondReversed};
  int64_t X[2][3], Y[2][3];
  double x[2][3], y[2][3];
  for (int t = 0; t < 2; t++)
    for (int i = 0; i < 3; i++) {
      const Vertex& v = halves[t][i];
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z) || std::fabs(v.x) > kFar ||
          std::fabs(v.y) > kFar)
        return false;
      Snap(v, &X[t][i], &Y[t][i], &x[t][i], &y[t][i]);
    }
  int64_t XL = X[0][0], XR = XL, YT = Y[0][0], YB = YT;
  for (int t = 0; t < 2; t++)
    for (int i = 0; i < 3; i++) {
      XL = std::min(XL, X[t][i]), XR = std::max(XR, X[t][i]);
      YT = std::min(YT, Y[t][i]), YB = std::max(YB, Y[t][i]);
    }
  if (XL == XR || YT == YB) return false;
  // Each half has three corners of the box, and the corners they lack are opposite: the
  // halves meet along a diagonal and cover the box once.
  unsigned missing[2];
  for (int t = 0; t < 2; t++) {
    unsigned corners = 0;
    for (int i = 0; i < 3; i++) {
      const bool l = X[t][i] == XL, r = X[t][i] == XR, top = Y[t][i] == YT, bottom = Y[t][i] == YB;
      if (!(l || r) || !(top || bottom)) return false;
      const unsigned bit = 1u << (unsigned(r) | unsigned(bottom) << 1);
      if (corners & bit) return false;
      corners |= bit;
    }
    missing[t] = unsigned(__builtin_ctz(~corners & 15u));
  }
  if ((missing[0] ^ missing[1]) != 3) return false;
  for (int t = 0; t < 2; t++)
    if (!Kept(d, Area(x[t], y[t]), reversed[t])) return false;
  if (first[0].diffuse != second[0].diffuse || first[0].specular != second[0].specular) return false;
  // The top-left rule keeps the box's left and top sides and drops its right and bottom:
  // the pixels whose centres lie in [XL, XR) x [YT, YB); the diagonal's go to one half.
  const int64_t left = std::max<int64_t>(CeilDiv(XL, 256), d.scissor.left);
  const int64_t right = std::min<int64_t>(CeilDiv(XR, 256) - 1, d.scissor.right - 1);
  const int64_t top = std::max<int64_t>(CeilDiv(YT, 256), d.scissor.top);
  const int64_t bottom = std::min<int64_t>(CeilDiv(YB, 256) - 1, d.scissor.bottom - 1);
  if (left > right || top > bottom) return true;

  // Without depth, only the stage's coordinates count.
  const int set = int(d.stages[0].coordSet);
  const Triangle tris[2] = {MakeTriangle(d, first[0], first[1], first[2], x[0], y[0], set),
                            MakeTriangle(d, second[0], second[1], second[2], x[1], y[1], set)};
  SpanJob job;
  PlanSpan(d, tris[0], &job);
  // A texture read through u along the rows and v down the columns: each pixel's texel is
  // its column's u address and its row's v address, which both halves must give alike.
  AddressStepper across, down;
  if (job.texture) {
    SideLine columns[2], rows[2];
    for (int t = 0; t < 2; t++) {
      const Plane &u = tris[t].u[set], &v = tris[t].v[set];
      if (u.dy != 0 || v.dx != 0) return false;
      columns[t] = {u, u.Row(double(top))};
      rows[t].line.base = v.base;
      rows[t].line.dx = v.dy;
      rows[t].line.x0 = v.y0;
      rows[t].start = v.base;
    }
    static thread_local std::vector<int64_t> tables[2];
    if (!SideAddresses(columns, job.texture->width, left, right, top, bottom, tables[0], &across) ||
        !SideAddresses(rows, job.texture->height, top, bottom, 0, 0, tables[1], &down))
      return false;
  }
  uint8_t* out = d.target.bits + size_t(top) * size_t(d.target.pitch) + size_t(left) * size_t(d.target.layout.bytes);
  // A fill, or a copy of a texel a pixel both ways within the texture, takes every row in
  // one call.
  const int32_t n = int32_t(right - left + 1), rows = int32_t(bottom - top + 1);
  SpanFn copy = d.spans.copy;
  bool block = rows > 1 && !job.texture;
  if (rows > 1 && job.texture && across.mode == AddressStepper::kStepped && down.mode == AddressStepper::kStepped) {
    int64_t u0 = 0, v0 = 0;
    across.Run(&u0);
    down.Run(&v0);
    if (d.spans.centredFetch && ((u0 - 128) & 255) == 0 && ((v0 - 128) & 255) == 0) copy = d.spans.centredCopy;
    block = u0 >> 8 >= 0 && (u0 >> 8) + n <= job.texture->width && v0 >> 8 >= 0 &&
            (v0 >> 8) + rows <= job.texture->height;
    job.u = across;
    job.v.mode = AddressStepper::kConstant;
    job.v.at = v0;
  }
  if (block && copy) {
    job.height = rows;
    job.rowPitch = d.target.pitch;
    job.out = out;
    copy(job, n);
    return true;
  }
  for (int64_t py = top; py <= bottom; py++, out += d.target.pitch) {
    if (job.texture) {
      job.u = across;
      job.v.mode = AddressStepper::kConstant;
      job.v.at = down.Next();
    }
    RunRow(job, left, right, out);
  }
  return true;
}

}  // namespace soft
