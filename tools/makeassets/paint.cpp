#include "tools/makeassets/paint.h"

#include <algorithm>
#include <cmath>

Canvas MakeCanvas(int width, int height) {
  Canvas c;
  c.width = width;
  c.height = height;
  c.pixels.assign(size_t(width) * size_t(height), kKey);
  return c;
}

bool IsKey(Rgb c) { return c.r == 0 && c.g == 0 && c.b == 0; }

Rgb Ink(Rgb c) {
  if (std::max({c.r, c.g, c.b}) >= 32) return c;
  // Keep the hue: the strongest channel is raised to 32 and the others with it.
  const int top = std::max({int(c.r), int(c.g), int(c.b), 1});
  auto lift = [&](uint8_t v) { return uint8_t(std::min(255, (int(v) * 32 + top - 1) / top)); };
  Rgb out = {lift(c.r), lift(c.g), lift(c.b)};
  if (std::max({out.r, out.g, out.b}) < 32) out = {32, 32, 32};
  return out;
}

Rgb Mix(Rgb a, Rgb b, double t) {
  auto m = [t](uint8_t x, uint8_t y) { return uint8_t(std::lround(x + (double(y) - x) * t)); };
  return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

Rgb Scale(Rgb c, double f) {
  auto s = [f](uint8_t v) { return uint8_t(std::clamp(std::lround(v * f), 0L, 255L)); };
  return {s(c.r), s(c.g), s(c.b)};
}

Rgb Get(const Canvas& c, int x, int y) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height) return kKey;
  return c.pixels[size_t(y) * size_t(c.width) + size_t(x)];
}

void Put(Canvas* c, int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= c->width || y >= c->height) return;
  c->pixels[size_t(y) * size_t(c->width) + size_t(x)] = Ink(colour);
}

namespace {

// Calls paint(x, y) for every pixel of the box around a shape whose centre test passes.
template <typename Inside>
void Cover(Canvas* c, double x0, double y0, double x1, double y1, Rgb colour, Inside inside) {
  const int ix0 = std::max(0, int(std::floor(x0)));
  const int iy0 = std::max(0, int(std::floor(y0)));
  const int ix1 = std::min(c->width - 1, int(std::ceil(x1)));
  const int iy1 = std::min(c->height - 1, int(std::ceil(y1)));
  for (int y = iy0; y <= iy1; y++)
    for (int x = ix0; x <= ix1; x++)
      if (inside(x + 0.5, y + 0.5)) Put(c, x, y, colour);
}

double SegmentDistance(double px, double py, double x0, double y0, double x1, double y1) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

}  // namespace

void FillRect(Canvas* c, double x0, double y0, double x1, double y1, Rgb colour) {
  for (int y = int(std::lround(y0)); y < int(std::lround(y1)); y++)
    for (int x = int(std::lround(x0)); x < int(std::lround(x1)); x++) Put(c, x, y, colour);
}

void FillEllipse(Canvas* c, double cx, double cy, double rx, double ry, Rgb colour) {
  if (rx <= 0 || ry <= 0) return;
  Cover(c, cx - rx, cy - ry, cx + rx, cy + ry, colour, [&](double x, double y) {
    const double u = (x - cx) / rx, v = (y - cy) / ry;
    return u * u + v * v <= 1.0;
  });
}

void FillCircle(Canvas* c, double cx, double cy, double r, Rgb colour) {
  FillEllipse(c, cx, cy, r, r, colour);
}

void FillPolygon(Canvas* c, const std::vector<Point>& points, Rgb colour) {
  if (points.size() < 3) return;
  double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
  for (const Point& p : points) {
    x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
    y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
  }
  Cover(c, x0, y0, x1, y1, colour, [&](double x, double y) {
    bool in = false;
    for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
      const Point& a = points[i];
      const Point& b = points[j];
      if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
  });
}

void Stroke(Canvas* c, double x0, double y0, double x1, double y1, double width, Rgb colour) {
  const double r = width / 2;
  Cover(c, std::min(x0, x1) - r, std::min(y0, y1) - r, std::max(x0, x1) + r,
        std::max(y0, y1) + r, colour,
        [&](double x, double y) { return SegmentDistance(x, y, x0, y0, x1, y1) <= r; });
}

void FillRoundRect(Canvas* c, double x0, double y0, double x1, double y1, double radius,
                   Rgb colour) {
  Cover(c, x0, y0, x1, y1, colour, [&](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double dx = std::max({x0 + radius - x, 0.0, x - (x1 - radius)});
    const double dy = std::max({y0 + radius - y, 0.0, y - (y1 - radius)});
    return dx * dx + dy * dy <= radius * radius;
  });
}

void ShadeEllipse(Canvas* c, double cx, double cy, double rx, double ry, Rgb body) {
  if (rx <= 0 || ry <= 0) return;
  const Rgb shadow = Scale(body, 0.7), light = Mix(body, {255, 255, 255}, 0.45);
  const int x0 = std::max(0, int(std::floor(cx - rx))), x1 = std::min(c->width - 1, int(std::ceil(cx + rx)));
  const int y0 = std::max(0, int(std::floor(cy - ry))), y1 = std::min(c->height - 1, int(std::ceil(cy + ry)));
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) {
      const double u = (x + 0.5 - cx) / rx, v = (y + 0.5 - cy) / ry;
      if (u * u + v * v > 1.0) continue;
      // Lit from the upper left: the far lower-right crescent is in shadow, a spot
      // toward the light is the highlight.
      const double su = u - 0.25, sv = v - 0.3, lu = u + 0.35, lv = v + 0.4;
      Rgb colour = body;
      if (su * su + sv * sv > 0.75) colour = shadow;
      if (lu * lu + lv * lv < 0.09) colour = light;
      Put(c, x, y, colour);
    }
}

void FillStar(Canvas* c, double cx, double cy, double inner, double outer, int points,
              double turn, Rgb colour) {
  std::vector<Point> p;
  for (int i = 0; i < 2 * points; i++) {
    const double a = turn + M_PI * i / points - M_PI / 2;
    const double r = i % 2 ? inner : outer;
    p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
  }
  FillPolygon(c, p, colour);
}

void Outline(Canvas* c, Rgb colour) {
  const Canvas before = *c;
  for (int y = 0; y < c->height; y++)
    for (int x = 0; x < c->width; x++) {
      if (!IsKey(Get(before, x, y))) continue;
      if (!IsKey(Get(before, x - 1, y)) || !IsKey(Get(before, x + 1, y)) ||
          !IsKey(Get(before, x, y - 1)) || !IsKey(Get(before, x, y + 1)))
        Put(c, x, y, colour);
    }
}

void Blit(Canvas* dst, const Canvas& src, int x, int y, int scale) {
  for (int sy = 0; sy < src.height; sy++)
    for (int sx = 0; sx < src.width; sx++) {
      const Rgb p = Get(src, sx, sy);
      if (IsKey(p)) continue;
      for (int j = 0; j < scale; j++)
        for (int i = 0; i < scale; i++) Put(dst, x + sx * scale + i, y + sy * scale + j, p);
    }
}

Canvas Crop(const Canvas& src, int x, int y, int width, int height) {
  Canvas out = MakeCanvas(width, height);
  for (int j = 0; j < height; j++)
    for (int i = 0; i < width; i++) out.pixels[size_t(j) * width + i] = Get(src, x + i, y + j);
  return out;
}

Canvas MirrorX(const Canvas& src) {
  Canvas out = MakeCanvas(src.width, src.height);
  for (int y = 0; y < src.height; y++)
    for (int x = 0; x < src.width; x++)
      out.pixels[size_t(y) * src.width + x] = Get(src, src.width - 1 - x, y);
  return out;
}
