// What lies on the field: walls and soft blocks, bombs and flames, the enemies' shots,
// the floor and the exit.
#include "tools/makeassets/sprites.h"

#include <algorithm>
#include <cmath>

using namespace palette;

Canvas MakeSheet(int across, int down) { return MakeCanvas(across * kCell, down * kCell); }

void PutCell(Canvas* sheet, int across, int index, const Canvas& cell) {
  Blit(sheet, cell, (index % across) * kCell, (index / across) * kCell);
}

Canvas GetCell(const Canvas& sheet, int across, int index) {
  return Crop(sheet, (index % across) * kCell, (index / across) * kCell, kCell, kCell);
}

void DrawBricks(Canvas* c, double x0, double y0, double x1, double y1, Rgb brick) {
  FillRect(c, x0, y0, x1, y1, kMortar);
  Dice dice = {0x51A7B00Bu};
  const double rowHeight = (y1 - y0) / 4, brickWidth = (x1 - x0) / 2;
  for (int row = 0; row < 4; row++) {
    const double top = y0 + row * rowHeight;
    const double shift = row % 2 ? brickWidth / 2 : 0;
    for (int k = -1; k < 3; k++) {
      const double left = std::max(x0, x0 + k * brickWidth + shift);
      const double right = std::min(x1, x0 + (k + 1) * brickWidth + shift - 1);
      if (right - left < 1) continue;
      const Rgb tone = Scale(brick, 0.9 + 0.2 * Unit(&dice));
      FillRect(c, left, top, right, top + rowHeight - 1, Scale(tone, 0.75));
      FillRect(c, left, top, right - 1, top + rowHeight - 2, tone);
      FillRect(c, left, top, right - 1, top + 1, Mix(tone, kWhite, 0.3));
    }
  }
}

namespace {

// `count` pixels in the square from (first, first), `span` wide, a little darker or
// lighter than `base`, at places fixed by the seed.
void Speckle(Canvas* c, uint32_t seed, int count, int first, int span, Rgb base, double dark, double light) {
  Dice dice = {seed};
  for (int i = 0; i < count; i++) {
    const int x = first + int(Roll(&dice) % uint32_t(span)), y = first + int(Roll(&dice) % uint32_t(span));
    Put(c, x, y, Roll(&dice) % 2 ? Scale(base, dark) : Scale(base, light));
  }
}

// ---- blocks ------------------------------------------------------------------------

Canvas Wall() {
  Canvas c = MakeCanvas(kCell, kCell);
  const Rgb face = {150, 152, 162}, light = {206, 208, 216}, dark = {92, 94, 108};
  FillRect(&c, 0, 0, 32, 32, dark);
  FillPolygon(&c, {{0, 0}, {32, 0}, {28, 4}, {4, 4}, {4, 28}, {0, 32}}, light);
  FillRect(&c, 4, 4, 28, 28, face);
  // Grain and a few chips, the same every build.
  Speckle(&c, 0x0057A11u, 60, 5, 22, face, 0.86, 1.1);
  Stroke(&c, 9, 8, 12, 12, 1, Scale(face, 0.7));
  Stroke(&c, 21, 19, 24, 24, 1, Scale(face, 0.7));
  return c;
}

Canvas SoftBlock() {
  Canvas c = MakeCanvas(kCell, kCell);
  DrawBricks(&c, 0, 0, 32, 32, kBrick);
  FillRect(&c, 0, 31, 32, 32, Scale(kBrick, 0.45));
  FillRect(&c, 31, 0, 32, 32, Scale(kBrick, 0.45));
  return c;
}

// A tongue of fire standing on (x, base), height h, half-width w.
void Tongue(Canvas* c, double x, double base, double h, double w) {
  for (int i = 0; i < 4; i++) {
    const double s = 1.0 - 0.24 * i;
    const double hw = w * s, hh = h * s;
    FillPolygon(c, {{x - hw, base}, {x - hw * 0.8, base - hh * 0.5}, {x, base - hh},
                    {x + hw * 0.8, base - hh * 0.5}, {x + hw, base}},
                kFlameLayers[i]);
    FillEllipse(c, x, base, hw, hw * 0.6, kFlameLayers[i]);
  }
}

Canvas Burning(int stage) {
  Canvas c = MakeCanvas(kCell, kCell);
  if (stage == 0) {
    // Caught: the bricks still stand, fire climbs their face.
    DrawBricks(&c, 0, 0, 32, 32, Scale(kBrick, 0.8));
    Tongue(&c, 8, 31, 20, 6);
    Tongue(&c, 23, 31, 24, 7);
    Tongue(&c, 15.5, 31, 14, 5);
  } else if (stage == 1) {
    // Ablaze: charred bricks behind a wall of fire.
    DrawBricks(&c, 0, 0, 32, 32, {96, 52, 40});
    Tongue(&c, 6, 31, 28, 7);
    Tongue(&c, 26, 31, 27, 7);
    Tongue(&c, 16, 31, 31, 10);
  } else {
    // Burnt down: a heap of ash and embers, a last wisp of smoke.
    FillEllipse(&c, 16, 27, 14.5, 6, {84, 76, 78});
    FillEllipse(&c, 14, 25, 10, 4.5, {112, 102, 102});
    const Point embers[5] = {{8, 27}, {13, 29}, {19, 26}, {24, 28}, {16, 24}};
    for (const Point& p : embers) FillCircle(&c, p.x, p.y, 1.4, {255, 120, 30});
    FillCircle(&c, 16, 15, 3.5, {150, 146, 150});
    FillCircle(&c, 19, 10, 3, {172, 168, 172});
    FillCircle(&c, 17, 5.5, 2.5, {196, 192, 196});
    Outline(&c);
  }
  return c;
}

// A soft block with a round plaque naming what it hides.
Canvas MarkedBlock(int mark) {
  Canvas c = SoftBlock();
  const Rgb plaque = {246, 232, 196};
  FillCircle(&c, 16, 16, 9, Scale(kBrick, 0.45));
  FillCircle(&c, 16, 16, 8, plaque);
  if (mark == 0) {
    Canvas icon = MakeCanvas(kCell, kCell);
    DrawCreatureFace(&icon, 16, 17.5, 5.5);
    Outline(&icon);
    Blit(&c, icon, 0, 0);
  } else if (mark <= 4) {
    static const Point kSpots[4][4] = {{{16, 16}},
                                       {{12.5, 16}, {19.5, 16}},
                                       {{16, 12}, {12, 19}, {20, 19}},
                                       {{12.5, 12.5}, {19.5, 12.5}, {12.5, 19.5}, {19.5, 19.5}}};
    for (int i = 0; i < mark; i++) {
      const Point p = kSpots[mark - 1][i];
      FillPolygon(&c, {{p.x, p.y - 3.6}, {p.x + 3, p.y}, {p.x, p.y + 3.6}, {p.x - 3, p.y}},
                  {150, 96, 10});
      FillPolygon(&c, {{p.x, p.y - 2.6}, {p.x + 2, p.y}, {p.x, p.y + 2.6}, {p.x - 2, p.y}},
                  {255, 208, 40});
    }
  } else {
    FillCircle(&c, 16, 16, 6, {60, 90, 120});
    FillCircle(&c, 16, 16, 4.5, kCore);
    FillCircle(&c, 16, 16, 2.2, {230, 255, 255});
  }
  return c;
}

// ---- flames and bombs --------------------------------------------------------------

// One frame of the flame: a cross whose arms reach the middle of every edge at the same
// width in every frame, so neighbouring flames join whatever frames they show; inside
// the cell the arms and the centre flicker.
Canvas Flame(int frame) {
  Canvas c = MakeCanvas(kCell, kCell);
  const double phase = frame * 1.7;
  auto armWidth = [&](double t, double k) {
    // t runs along the arm from 0 to 32: no flicker in the last three pixels before
    // either end, so every frame meets the cell's edge alike.
    const double bulge = std::clamp((std::min(t, 32 - t) - 3) / 6, 0.0, 1.0);
    return 6.5 + bulge * (1.6 + 1.4 * std::sin(2 * M_PI * t / 11 + phase + k) +
                          0.8 * std::sin(2 * M_PI * t / 5 + 2.3 * phase + k));
  };
  const double centre = 10.5 + 1.2 * std::sin(phase + 0.6);
  for (int y = 0; y < kCell; y++)
    for (int x = 0; x < kCell; x++) {
      const double px = x + 0.5, py = y + 0.5, dx = px - 16, dy = py - 16;
      const double h = 1 - std::fabs(dy) / armWidth(px, 0.0);
      const double v = 1 - std::fabs(dx) / armWidth(py, 2.1);
      const double ang = std::atan2(dy, dx);
      const double ring = centre + 1.3 * std::sin(5 * ang + phase * 2);
      const double b = 1 - std::hypot(dx, dy) / ring;
      const double heat = std::max({h, v, b});
      if (heat <= 0) continue;
      Put(&c, x, y,
          heat > 0.72   ? kFlameCore
          : heat > 0.48 ? kFlameInner
          : heat > 0.22 ? kFlameMid
                        : kFlameOuter);
    }
  Outline(&c, kFlameEdge);
  return c;
}

enum { kNormal, kRemote, kPiercing, kFullPower, kSpreading };

Canvas Bomb(int type, int frame) {
  Canvas c = MakeCanvas(kCell, kCell);
  static const double kSwell[4] = {0, 0.6, 1.1, 0.6};
  static const Rgb kBody[5] = {kBombBody, kBombBody, {92, 56, 124}, {128, 38, 48}, {48, 88, 72}};
  const double r = 9.8 + kSwell[frame], cx = 15, cy = 18;
  const Rgb steel = {206, 212, 226};
  if (type == kPiercing || type == kFullPower) {
    // Spikes out of the shell.
    FillPolygon(&c, {{cx - r - 4, cy}, {cx - r + 2, cy - 3}, {cx - r + 2, cy + 3}}, steel);
    FillPolygon(&c, {{cx + r + 4, cy}, {cx + r - 2, cy - 3}, {cx + r - 2, cy + 3}}, steel);
    FillPolygon(&c, {{cx, cy + r + 4}, {cx - 3, cy + r - 2}, {cx + 3, cy + r - 2}}, steel);
  }
  if (type == kSpreading) {
    // Little bomblets clinging to it.
    for (int i = 0; i < 3; i++) {
      const double a = M_PI * (0.65 + 0.35 * i);
      ShadeEllipse(&c, cx + (r + 1) * std::cos(a), cy + (r + 1) * std::sin(a), 3.6, 3.6,
                   kBody[kSpreading]);
    }
  }
  if (type == kRemote) {
    // An aerial with a lamp that blinks instead of a fuse.
    const bool lit = frame < 2;
    Stroke(&c, cx + 4, cy - r + 2, cx + 9, cy - r - 6, 1.6, steel);
    FillCircle(&c, cx + 9.5, cy - r - 6.5, lit ? 2.6 : 2.0, lit ? Rgb{255, 60, 50} : Rgb{120, 36, 40});
    if (lit) {
      Stroke(&c, cx + 14, cy - r - 10, cx + 15.5, cy - r - 6, 1.3, {255, 200, 190});
      Stroke(&c, cx + 5, cy - r - 11, cx + 9, cy - r - 12.5, 1.3, {255, 200, 190});
    }
    ShadeEllipse(&c, cx, cy, r, r, kBody[type]);
    FillRoundRect(&c, cx - 3.5, cy - 2, cx + 3.5, cy + 3, 1, {60, 60, 80});
    FillCircle(&c, cx, cy + 0.5, 1.8, lit ? Rgb{255, 70, 60} : Rgb{110, 40, 44});
  } else {
    DrawBomb(&c, cx, cy, r, kBody[type], frame);
    if (type == kFullPower) FillStar(&c, cx, cy + 1, 2.2, 5, 5, 0, {255, 214, 60});
  }
  Outline(&c);
  return c;
}

// ---- shots -------------------------------------------------------------------------

Canvas Shot(int direction) {
  Canvas c = MakeCanvas(kCell, kCell);
  static const Point kStep[4] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0}};
  const Point d = kStep[direction];
  const double x = 16 + 4 * d.x, y = 16 + 4 * d.y;
  // A tail tapering away behind the ball, then the ball, hot at its leading side.
  const Point side = {-d.y, d.x};
  auto tail = [&](double half, double length, Rgb colour) {
    FillPolygon(&c, {{x + half * side.x, y + half * side.y}, {x - length * d.x, y - length * d.y},
                     {x - half * side.x, y - half * side.y}},
                colour);
  };
  tail(6, 15, {150, 56, 200});
  tail(3.5, 12, {214, 110, 236});
  FillCircle(&c, x, y, 7.5, {226, 70, 200});
  FillCircle(&c, x + 0.6 * d.x, y + 0.6 * d.y, 5.2, {255, 150, 236});
  FillCircle(&c, x + 1.2 * d.x, y + 1.2 * d.y, 2.8, {255, 246, 255});
  Outline(&c);
  return c;
}

// ---- floor and exit ----------------------------------------------------------------

Canvas Floor() {
  Canvas c = MakeCanvas(kCell, kCell);
  FillRect(&c, 0, 0, 32, 32, kFloor);
  // A tile seam on two sides, so that a field of tiles shows a fine grid, and a few
  // specks; flat, unlike the bevelled wall.
  FillRect(&c, 0, 0, 32, 1, Scale(kFloor, 0.82));
  FillRect(&c, 0, 0, 1, 32, Scale(kFloor, 0.82));
  Speckle(&c, 0xF1002u, 26, 2, 29, kFloor, 0.88, 1.12);
  return c;
}

Canvas Exit(bool open) {
  Canvas c = MakeCanvas(kCell, kCell);
  const Rgb rim = {96, 102, 120}, plate = {150, 158, 176};
  FillRoundRect(&c, 2, 2, 30, 30, 5, rim);
  if (!open) {
    // Two doors shut, barred and bolted.
    FillRoundRect(&c, 4.5, 4.5, 27.5, 27.5, 3, plate);
    FillRect(&c, 15, 4.5, 17, 27.5, Scale(rim, 0.7));
    FillRect(&c, 6, 10, 26, 12, Scale(plate, 0.75));
    FillRect(&c, 6, 20, 26, 22, Scale(plate, 0.75));
    const Point bolts[4] = {{7.5, 7.5}, {24.5, 7.5}, {7.5, 24.5}, {24.5, 24.5}};
    for (const Point& p : bolts) FillCircle(&c, p.x, p.y, 1.5, Mix(plate, kWhite, 0.5));
  } else {
    // The doors drawn back on a glowing way out.
    FillRoundRect(&c, 4.5, 4.5, 27.5, 27.5, 3, {40, 80, 120});
    const Rgb rings[4] = {{60, 150, 220}, {90, 210, 255}, {170, 240, 255}, {250, 255, 255}};
    for (int i = 0; i < 4; i++) FillCircle(&c, 16, 16, 11 - 2.7 * i, rings[i]);
    for (int i = 0; i < 4; i++) {
      const double a = M_PI / 2 * i + 0.4;
      Stroke(&c, 16 + 4 * std::cos(a), 16 + 4 * std::sin(a), 16 + 10 * std::cos(a + 0.7),
             16 + 10 * std::sin(a + 0.7), 1.5, {40, 120, 200});
    }
    FillRect(&c, 2, 4, 4.5, 28, plate);
    FillRect(&c, 27.5, 4, 30, 28, plate);
  }
  Outline(&c);
  return c;
}

}  // namespace

void DrawBomb(Canvas* c, double cx, double cy, double r, Rgb body, int frame) {
  // Cap, fuse and its spark, then the shell lit from the upper left.
  const double capX = cx + r * 0.45, capY = cy - r * 0.85;
  Stroke(c, capX + 1, capY - 1, capX + 3.5, capY - 5, 1.8, kFuse);
  Stroke(c, capX + 3.5, capY - 5, capX + 6.5, capY - 6.5, 1.8, kFuse);
  const double sparkSize[4] = {5.0, 3.8, 5.6, 4.3};
  const double s = sparkSize[frame % 4] * std::min(1.0, r / 9.8);
  FillStar(c, capX + 7.5, capY - 7, s * 0.45, s, 4 + frame % 2, 0.35 * frame, kSparkOuter);
  FillCircle(c, capX + 7.5, capY - 7, s * 0.35, kSparkInner);
  ShadeEllipse(c, cx, cy, r, r, body);
  FillRoundRect(c, capX - 2.5, capY - 1.8, capX + 2.5, capY + 2, 1, {140, 144, 160});
}

void DrawFlameDrop(Canvas* c, double cx, double cy, double size) {
  for (int i = 0; i < 4; i++) {
    const double s = size * (1.0 - 0.22 * i);
    const double by = cy + size * 0.45;  // the drop's round bottom sits low
    FillCircle(c, cx, by - s * 0.35, s * 0.55, kFlameLayers[i]);
    FillPolygon(c, {{cx - s * 0.52, by - s * 0.5}, {cx - s * 0.15, by - s * 1.25}, {cx + s * 0.1, by - s * 1.55},
                    {cx + s * 0.3, by - s * 1.05}, {cx + s * 0.52, by - s * 0.5}},
                kFlameLayers[i]);
  }
}

Canvas DrawBlockSheet() {
  Canvas sheet = MakeSheet(5, 10);
  PutCell(&sheet, 5, 0, Wall());
  PutCell(&sheet, 5, 1, SoftBlock());
  for (int i = 0; i < 3; i++) PutCell(&sheet, 5, 2 + i, Burning(i));
  for (int i = 0; i < 6; i++) PutCell(&sheet, 5, 25 + i, MarkedBlock(i));
  return sheet;
}

Canvas DrawBombSheet() {
  Canvas sheet = MakeSheet(4, 10);
  for (int i = 0; i < 4; i++) PutCell(&sheet, 4, i, Flame(i));
  for (int type = 0; type < 5; type++)
    for (int f = 0; f < 4; f++) PutCell(&sheet, 4, 4 + 4 * type + f, Bomb(type, f));
  return sheet;
}

Canvas DrawShotSheet() {
  Canvas sheet = MakeSheet(4, 10);
  for (int d = 0; d < 4; d++) PutCell(&sheet, 4, d, Shot(d));
  return sheet;
}

Canvas DrawFloorSheet() {
  Canvas sheet = MakeSheet(4, 10);
  PutCell(&sheet, 4, 0, Exit(false));
  PutCell(&sheet, 4, 1, Exit(true));
  PutCell(&sheet, 4, 2, Floor());
  return sheet;
}
