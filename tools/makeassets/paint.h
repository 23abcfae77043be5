// The pixel painter: 8-bit RGB canvases, shapes at sub-pixel coordinates (a pixel is
// covered when its centre is inside), shading and the outline pass. Pure black is the
// colour key: a canvas starts all key, and every colour painted is lifted so that at
// least one channel is 32 or more, which keeps it off the key after packing to 5:6:5.
#pragma once

#include "tools/makeassets/dice.h"

#include <cstdint>
#include <vector>

struct Rgb {
  uint8_t r, g, b;
};

constexpr Rgb kKey = {0, 0, 0};
// The dark outline every sprite carries: not black, so it stands out from any floor.
constexpr Rgb kOutline = {44, 30, 58};

struct Canvas {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;
};

struct Point {
  double x, y;
};

Canvas MakeCanvas(int width, int height);
bool IsKey(Rgb c);
// The colour as painted: the same colour, lifted to a channel of 32 or more when dark.
Rgb Ink(Rgb c);
Rgb Mix(Rgb a, Rgb b, double t);  // t 0 gives a, 1 gives b
Rgb Scale(Rgb c, double f);       // brighter above 1, darker below

Rgb Get(const Canvas& c, int x, int y);  // key outside
void Put(Canvas* c, int x, int y, Rgb colour);

// Shapes. Rectangles take their left-top and right-bottom corners in pixel units
// (x0 <= x < x1); everything else covers the pixels whose centres are inside.
void FillRect(Canvas* c, double x0, double y0, double x1, double y1, Rgb colour);
void FillEllipse(Canvas* c, double cx, double cy, double rx, double ry, Rgb colour);
void FillCircle(Canvas* c, double cx, double cy, double r, Rgb colour);
void FillPolygon(Canvas* c, const std::vector<Point>& points, Rgb colour);
// A round-ended stroke of the given width.
void Stroke(Canvas* c, double x0, double y0, double x1, double y1, double width, Rgb colour);
void FillRoundRect(Canvas* c, double x0, double y0, double x1, double y1, double radius, Rgb colour);
// A ball lit from the upper left: shadow, body and highlight bands.
void ShadeEllipse(Canvas* c, double cx, double cy, double rx, double ry, Rgb body);
// A star of `points` spikes between radii inner and outer, turned by `turn` radians.
void FillStar(Canvas* c, double cx, double cy, double inner, double outer, int points,
              double turn, Rgb colour);

// Every key pixel beside a painted one (left, right, above, below) takes the colour.
void Outline(Canvas* c, Rgb colour = kOutline);
// Copies the painted pixels of src onto dst at (x, y), scaled by an integer factor.
void Blit(Canvas* dst, const Canvas& src, int x, int y, int scale = 1);
// Copies a cell-sized rectangle of a sheet.
Canvas Crop(const Canvas& src, int x, int y, int width, int height);
Canvas MirrorX(const Canvas& src);

