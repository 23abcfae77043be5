// The players and the enemies: walking in four facings, four frames each, then four
// frames of losing a life or of being defeated.
#include "tools/makeassets/sprites.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace palette;

enum { kDown = 0, kUp = 1, kLeft = 2, kRight = 3 };

// A walk cycle of four frames: legs apart on 1 and 3 (one each way), together on 0 and
// 2, where the arms swing opposite ways; so no two frames are alike.
struct Step {
  double leg;  // -1 .. 1: which foot is forward or lifted
  double arm;  // -1 .. 1: arm swing
  double bob;  // pixels the body sinks on a stride
};

Step WalkStep(int frame) {
  static const double kLeg[4] = {0, 1, 0, -1};
  static const double kArm[4] = {1, 0, -1, 0};
  return {kLeg[frame], kArm[frame], std::fabs(kLeg[frame])};
}

void XEye(Canvas* c, double x, double y, double s, Rgb colour) {
  Stroke(c, x - s, y - s, x + s, y + s, 1.6, colour);
  Stroke(c, x - s, y + s, x + s, y - s, 1.6, colour);
}

// ---- players -----------------------------------------------------------------------

struct Suit {
  Rgb main, shade, glove, boot, pompom;
};

Suit SuitOf(Rgb main) {
  return {main, Scale(main, 0.72), {255, 238, 214}, {104, 64, 56}, {255, 120, 168}};
}

// The figure seen from the front or from behind, or struck (from the front, arms
// thrown up, eyes crossed out).
enum View { kFront, kBack, kStruck };

void FigureFacing(Canvas* c, const Suit& s, View view, const Step& st) {
  const double b = st.bob;
  // Legs: the lifted foot is drawn two pixels up.
  const double liftL = st.leg > 0 ? 2 : 0, liftR = st.leg < 0 ? 2 : 0;
  FillRect(c, 11, 24 + b, 15, 29 - liftL, s.shade);
  FillRect(c, 17, 24 + b, 21, 29 - liftR, s.shade);
  FillEllipse(c, 13, 29 - liftL, 3.2, 1.9, s.boot);
  FillEllipse(c, 19, 29 - liftR, 3.2, 1.9, s.boot);
  // Arms swing forward and back, which from the front is up and down.
  const Point handL = view == kStruck ? Point{6.5, 12.5} : Point{8, 23.5 + b + 1.5 * st.arm};
  const Point handR = view == kStruck ? Point{25.5, 12.5} : Point{24, 23.5 + b - 1.5 * st.arm};
  Stroke(c, 10.5, 19 + b, handL.x, handL.y, 3, s.shade);
  Stroke(c, 21.5, 19 + b, handR.x, handR.y, 3, s.shade);
  FillCircle(c, handL.x, handL.y, 2.1, s.glove);
  FillCircle(c, handR.x, handR.y, 2.1, s.glove);
  // Body with its belt; from behind a backpack.
  FillRoundRect(c, 9.5, 17 + b, 22.5, 27 + b, 3, s.main);
  FillRect(c, 10, 24 + b, 22, 25 + b, s.shade);
  if (view == kBack) FillRoundRect(c, 12, 18 + b, 20, 24 + b, 1.5, s.shade);
  // Head: a round helmet with a pompom; from the front a face with two eyes, from
  // behind a seam down the back of the helmet.
  Stroke(c, 16, 3.5 + b, 16, 5 + b, 1.5, s.shade);
  FillCircle(c, 16, 3.2 + b, 1.9, s.pompom);
  ShadeEllipse(c, 16, 11.5 + b, 9.5, 8.3, s.main);
  if (view == kBack) {
    FillRect(c, 15, 5 + b, 17, 19 + b, s.shade);
  } else if (view == kStruck) {
    FillEllipse(c, 16, 13, 6.5, 5, kSkin);
    XEye(c, 13.5, 12.5, 1.6, kEye);
    XEye(c, 18.5, 12.5, 1.6, kEye);
    FillEllipse(c, 16, 16, 1.6, 1.1, {200, 60, 80});
  } else {
    FillEllipse(c, 16, 13 + b, 6.5, 5, kSkin);
    FillRect(c, 12.5, 11 + b, 14.5, 14.5 + b, kEye);
    FillRect(c, 17.5, 11 + b, 19.5, 14.5 + b, kEye);
    FillRect(c, 12, 15.5 + b, 14, 16.5 + b, {255, 160, 160});
    FillRect(c, 18, 15.5 + b, 20, 16.5 + b, {255, 160, 160});
  }
}

// Facing right; the left facing is its mirror.
void FigureRight(Canvas* c, const Suit& s, const Step& st) {
  const double b = st.bob;
  // Back leg and arm in the shade colour behind the body, front ones in front.
  Stroke(c, 16, 24 + b, 16 - 3.5 * st.leg, 28.5, 3.4, Scale(s.shade, 0.85));
  FillEllipse(c, 17 - 3.5 * st.leg, 29, 2.8, 1.8, Scale(s.boot, 0.85));
  Stroke(c, 15, 19 + b, 15 - 3 * st.arm, 23.5 + b, 3, Scale(s.shade, 0.85));
  FillRoundRect(c, 11.5, 17 + b, 20.5, 27 + b, 3, s.main);
  FillRect(c, 12, 24 + b, 20, 25 + b, s.shade);
  Stroke(c, 16, 24 + b, 16 + 3.5 * st.leg, 28.5, 3.4, s.shade);
  FillEllipse(c, 17 + 3.5 * st.leg, 29, 2.8, 1.8, s.boot);
  // Head in profile: the face opening, one eye and the nose toward the facing.
  Stroke(c, 14, 3.5 + b, 14.5, 5 + b, 1.5, s.shade);
  FillCircle(c, 13.5, 3.2 + b, 1.9, s.pompom);
  ShadeEllipse(c, 15.5, 11.5 + b, 9, 8.3, s.main);
  FillEllipse(c, 20, 13 + b, 5, 5, kSkin);
  FillCircle(c, 25, 14 + b, 1.5, kSkin);
  FillRect(c, 20.5, 11 + b, 22.5, 14.5 + b, kEye);
  FillRect(c, 19, 15.5 + b, 21, 16.5 + b, {255, 160, 160});
  // A strip of helmet between the face and the back of the head.
  FillRect(c, 13, 9 + b, 15, 17 + b, s.shade);
  // Front arm over the body.
  Stroke(c, 16, 19 + b, 16 + 3 * st.arm, 23.5 + b, 3, s.shade);
  FillCircle(c, 16 + 3 * st.arm, 23.5 + b, 2.1, s.glove);
}

// Losing a life: hit, knocked flat, melting away, a ghost rising from what is left.
void FigureLost(Canvas* c, const Suit& s, int stage) {
  if (stage == 0) {
    FillStar(c, 16, 14, 8, 15, 8, 0.2, {255, 246, 150});
    FillStar(c, 16, 14, 5, 10, 8, 0.2, kWhite);
    FigureFacing(c, s, kStruck, {0, 0, 0});
  } else if (stage == 1) {
    // Squashed flat, with stars turning round the head.
    FillEllipse(c, 16, 27.5, 12, 3, s.shade);
    FillRoundRect(c, 7, 20, 25, 28, 3, s.main);
    ShadeEllipse(c, 16, 17, 11.5, 6.5, s.main);
    FillEllipse(c, 16, 18, 7.5, 3.8, kSkin);
    XEye(c, 13, 18, 1.5, kEye);
    XEye(c, 19, 18, 1.5, kEye);
    FillStar(c, 6, 8, 1.3, 3.5, 5, 0.0, {255, 230, 60});
    FillStar(c, 16, 5, 1.3, 3.5, 5, 0.6, {255, 230, 60});
    FillStar(c, 26, 8, 1.3, 3.5, 5, 1.2, {255, 230, 60});
  } else if (stage == 2) {
    // Melting into a puddle of the suit's colour.
    FillEllipse(c, 16, 27, 14, 4.5, s.shade);
    FillEllipse(c, 16, 26, 12, 3.5, s.main);
    ShadeEllipse(c, 16, 20, 9, 6.5, s.main);
    FillEllipse(c, 16, 21.5, 6, 3.5, kSkin);
    XEye(c, 13.5, 21.5, 1.4, kEye);
    XEye(c, 18.5, 21.5, 1.4, kEye);
    FillCircle(c, 6, 24, 1.6, s.main);
    FillCircle(c, 26, 23.5, 1.6, s.main);
    FillCircle(c, 16, 9, 2.2, s.pompom);
  } else {
    // What is left, and a pale ghost floating up out of it.
    FillEllipse(c, 16, 27.5, 14, 3.8, s.shade);
    FillEllipse(c, 16, 27, 11, 2.6, s.main);
    const Rgb ghost = {226, 226, 255};
    FillCircle(c, 16, 10, 6.5, ghost);
    FillPolygon(c, {{9.5, 10}, {22.5, 10}, {22.5, 19}, {20, 17}, {18, 20}, {16, 17}, {14, 20},
                    {12, 17}, {9.5, 19}},
                ghost);
    FillRect(c, 13, 8, 15, 11, {120, 120, 190});
    FillRect(c, 17, 8, 19, 11, {120, 120, 190});
  }
}

Canvas PlayerCell(const Suit& s, int index) {
  Canvas c = MakeCanvas(kCell, kCell);
  if (index >= 16) {
    FigureLost(&c, s, index - 16);
  } else {
    const int facing = index / 4;
    const Step st = WalkStep(index % 4);
    if (facing == kDown || facing == kUp) {
      FigureFacing(&c, s, facing == kUp ? kBack : kFront, st);
    } else {
      FigureRight(&c, s, st);
      if (facing == kLeft) c = MirrorX(c);
    }
  }
  Outline(&c);
  return c;
}

// ---- enemy kind 0: a round creature on two small feet ------------------------------

void CreatureBody(Canvas* c, double cx, double cy, double rx, double ry, Rgb body) {
  // Two feelers with balls on the ends, then the body with a paler belly.
  Stroke(c, cx - 4, cy - ry + 2, cx - 7, cy - ry - 3.5, 1.8, Scale(body, 0.75));
  Stroke(c, cx + 4, cy - ry + 2, cx + 7, cy - ry - 3.5, 1.8, Scale(body, 0.75));
  FillCircle(c, cx - 7, cy - ry - 3.5, 1.9, {255, 220, 90});
  FillCircle(c, cx + 7, cy - ry - 3.5, 1.9, {255, 220, 90});
  ShadeEllipse(c, cx, cy, rx, ry, body);
  FillEllipse(c, cx, cy + ry * 0.45, rx * 0.6, ry * 0.4, Mix(body, kWhite, 0.45));
}

// An eye at (x, y) looking (dx, dy); size 1 on the field, smaller on icons.
void CreatureEye(Canvas* c, double x, double y, double dx, double dy, double size = 1) {
  const double px = x + 1.6 * dx * size, py = y + 2 * dy * size;
  FillEllipse(c, x, y, 3.8 * size, 4.6 * size, kWhite);
  FillCircle(c, px, py, 2.2 * size, kEye);
  if (size >= 1) FillRect(c, px - 1, py - 1.5, px, py - 0.5, kWhite);
}

Canvas CreatureCell(int index) {
  Canvas c = MakeCanvas(kCell, kCell);
  const Rgb body = kCreature, feet = Scale(kCreature, 0.6);
  if (index < 16) {
    const int facing = index / 4, frame = index % 4;
    static const double kSquash[4] = {0, 1, 0, -1};
    static const double kFeet[4] = {1, 0, -1, 0};
    const double sq = kSquash[frame];
    const double rx = 11.5 + 0.8 * sq, ry = 10.2 - 0.8 * sq;
    const double cy = 28 - ry - 0.5;
    const bool side = facing == kLeft || facing == kRight;
    const double dir = facing == kLeft ? -1 : 1;
    // Feet step in turn: lifted from the front, forward and back from the side.
    if (side) {
      FillEllipse(&c, 16 - dir * (3.5 + 2 * kFeet[frame]), 28.5, 3.6, 2, Scale(feet, 0.85));
      FillEllipse(&c, 16 + dir * (3.5 + 2 * kFeet[frame]), 28.5, 3.6, 2, feet);
    } else {
      FillEllipse(&c, 10.5, 28.5 - (kFeet[frame] > 0 ? 1.5 : 0), 3.6, 2, feet);
      FillEllipse(&c, 21.5, 28.5 - (kFeet[frame] < 0 ? 1.5 : 0), 3.6, 2, feet);
    }
    CreatureBody(&c, 16, cy, rx, ry, body);
    const Rgb mouth = {120, 28, 64};
    if (facing == kDown) {
      CreatureEye(&c, 11.8, cy - 2.5, 0, 1);
      CreatureEye(&c, 20.2, cy - 2.5, 0, 1);
      FillEllipse(&c, 16, cy + 5, 3.2, 1.8, mouth);
      FillPolygon(&c, {{14.5, cy + 4}, {16.5, cy + 4}, {15.5, cy + 6.5}}, kWhite);
    } else if (facing == kUp) {
      CreatureEye(&c, 11.8, cy - 5, 0, -1);
      CreatureEye(&c, 20.2, cy - 5, 0, -1);
    } else {
      CreatureEye(&c, 16 + dir * 1, cy - 2.5, dir, 0.3);
      CreatureEye(&c, 16 + dir * 8.5, cy - 2.5, dir, 0.3);
      FillEllipse(&c, 16 + dir * 8, cy + 5, 2.4, 1.6, mouth);
    }
  } else if (index == 16) {
    // Just hit: squashed and pale, eyes crossed out.
    FillEllipse(&c, 10, 28.5, 3.6, 2, feet);
    FillEllipse(&c, 22, 28.5, 3.6, 2, feet);
    CreatureBody(&c, 16, 19.5, 13, 9, Mix(body, kWhite, 0.5));
    XEye(&c, 11.5, 17.5, 2, kEye);
    XEye(&c, 20.5, 17.5, 2, kEye);
  } else if (index == 17) {
    CreatureBody(&c, 16, 22, 14.5, 7, body);
    XEye(&c, 11, 21, 2, kEye);
    XEye(&c, 21, 21, 2, kEye);
    FillStar(&c, 8, 7, 1.3, 3.5, 5, 0.3, {255, 230, 60});
    FillStar(&c, 24, 7, 1.3, 3.5, 5, 0.9, {255, 230, 60});
  } else if (index == 18) {
    // A splat with drops thrown round it.
    FillEllipse(&c, 16, 25, 14.5, 5.5, Scale(body, 0.8));
    FillEllipse(&c, 16, 24, 11, 3.8, body);
    for (int i = 0; i < 6; i++) {
      const double a = M_PI * (0.1 + 0.16 * i) + M_PI;
      FillCircle(&c, 16 + 13 * std::cos(a), 20 + 11 * std::sin(a), 1.8, body);
    }
    XEye(&c, 12, 23.5, 1.4, kEye);
    XEye(&c, 20, 23.5, 1.4, kEye);
  } else {
    // Gone in a puff.
    const Rgb puff = {214, 204, 236}, puffShade = {172, 160, 204};
    FillCircle(&c, 11, 20, 6.5, puffShade);
    FillCircle(&c, 21, 20, 6.5, puffShade);
    FillCircle(&c, 16, 14, 7, puff);
    FillCircle(&c, 11, 19, 5.5, puff);
    FillCircle(&c, 21, 19, 5.5, puff);
    FillStar(&c, 5, 8, 1, 3, 4, 0.4, {255, 240, 140});
    FillStar(&c, 27, 10, 1, 3, 4, 0.1, {255, 240, 140});
  }
  Outline(&c);
  return c;
}

// ---- enemy kind 1: the core mech, a box on tracks with a glowing core --------------
// It is drawn three times larger on the field, so every part is two pixels or more.

constexpr Rgb kMetal = {150, 160, 178};
constexpr Rgb kTrack = {72, 74, 88};
constexpr Rgb kRidge = {128, 130, 146};
constexpr Rgb kVisor = {40, 42, 76};
constexpr Rgb kLamp = {255, 64, 56};

void MechTracks(Canvas* c, bool side, int frame) {
  if (side) {
    FillRoundRect(c, 4, 23, 28, 30, 3, kTrack);
    for (int x = 5 + frame % 4 - 4; x < 28; x += 4) FillRect(c, std::max(x, 5), 23, std::min(x + 2, 27), 25, kRidge);
    for (int i = 0; i < 3; i++) FillCircle(c, 9 + 7 * i, 26.5, 2.3, kRidge);
  } else {
    for (int right = 0; right < 2; right++) {
      const double x0 = right ? 19 : 4;
      FillRoundRect(c, x0, 23, x0 + 9, 30, 2, kTrack);
      for (int y = 23 + (frame % 4) - 4; y < 30; y += 4)
        FillRect(c, x0 + 1, std::max(y, 24), x0 + 8, std::min(y + 2, 29), kRidge);
    }
  }
}

void MechBody(Canvas* c, double x0, double y0, double x1, double y1) {
  FillRoundRect(c, x0, y0, x1, y1, 3, Scale(kMetal, 0.68));
  FillRoundRect(c, x0, y0, x1 - 1.5, y1 - 2, 3, Mix(kMetal, kWhite, 0.45));
  FillRoundRect(c, x0 + 2, y0 + 2, x1 - 2, y1 - 2, 2, kMetal);
}

void MechCore(Canvas* c, double cx, double cy, double r, Rgb glow) {
  FillCircle(c, cx, cy, r + 1.5, Scale(kMetal, 0.55));
  FillCircle(c, cx, cy, r, glow);
  FillCircle(c, cx, cy, r * 0.5, Mix(glow, kWhite, 0.8));
}

Canvas MechCell(int index) {
  Canvas c = MakeCanvas(kCell, kCell);
  static const double kPulse[4] = {3.6, 4.2, 4.8, 4.2};
  if (index < 16) {
    const int facing = index / 4, frame = index % 4;
    const bool side = facing == kLeft || facing == kRight;
    // Antenna with a lamp that blinks.
    Stroke(&c, 16, 9, 16, 4, 2, Scale(kMetal, 0.7));
    FillCircle(&c, 16, 3.5, 2.2, frame < 2 ? kLamp : Scale(kLamp, 0.45));
    MechTracks(&c, side, frame);
    MechBody(&c, 5, 8, 27, 25);
    MechCore(&c, 16, 17.5, kPulse[frame], kCore);
    if (facing == kDown) {
      FillRect(&c, 8, 10, 24, 14, kVisor);
      FillRect(&c, 10, 11, 13, 13, kLamp);
      FillRect(&c, 19, 11, 22, 13, kLamp);
    } else if (facing == kUp) {
      // From behind: exhaust vents instead of the visor.
      for (int i = 0; i < 3; i++) FillRect(&c, 9 + 5 * i, 10, 12 + 5 * i, 13, kVisor);
    } else {
      FillRect(&c, 18, 10, 27, 14, kVisor);
      FillRect(&c, 22, 11, 25, 13, kLamp);
      if (facing == kLeft) c = MirrorX(c);
    }
  } else if (index == 16) {
    // Hit: the core turns red and sparks fly.
    MechTracks(&c, false, 0);
    MechBody(&c, 5, 8, 27, 25);
    MechCore(&c, 16, 17.5, 5, {255, 90, 60});
    FillRect(&c, 8, 10, 24, 14, kVisor);
    FillStar(&c, 5, 6, 1.5, 4.5, 4, 0.3, {255, 236, 90});
    FillStar(&c, 27, 5, 1.5, 4.5, 4, 0.0, {255, 236, 90});
    FillStar(&c, 27, 20, 1.2, 3.5, 4, 0.5, {255, 236, 90});
  } else if (index == 17) {
    // Cracked and smoking.
    MechTracks(&c, false, 0);
    MechBody(&c, 5, 10, 27, 25);
    MechCore(&c, 16, 18.5, 3.5, {200, 70, 50});
    Stroke(&c, 9, 12, 13, 17, 2, kVisor);
    Stroke(&c, 13, 17, 11, 22, 2, kVisor);
    Stroke(&c, 24, 12, 20, 19, 2, kVisor);
    FillCircle(&c, 11, 6, 4, {150, 150, 160});
    FillCircle(&c, 18, 4.5, 3.5, {180, 180, 190});
  } else if (index == 18) {
    // Broken in two, burning.
    MechTracks(&c, false, 0);
    FillRoundRect(&c, 5, 17, 27, 25, 2, Scale(kMetal, 0.8));
    FillPolygon(&c, {{4, 12}, {20, 7}, {22, 13}, {6, 17}}, kMetal);
    FillCircle(&c, 16, 18, 3.2, {255, 140, 40});
    FillStar(&c, 20, 16, 2, 5, 6, 0.2, {255, 190, 50});
    FillCircle(&c, 24, 7, 4, {140, 140, 150});
  } else {
    // Smoke and scattered pieces.
    FillCircle(&c, 11, 18, 6.5, {120, 120, 134});
    FillCircle(&c, 20, 16, 7, {156, 156, 170});
    FillCircle(&c, 16, 11, 5.5, {186, 186, 198});
    FillRect(&c, 3, 26, 8, 29, kMetal);
    FillRect(&c, 23, 25, 29, 29, Scale(kMetal, 0.8));
    FillRect(&c, 13, 26, 18, 30, kTrack);
  }
  Outline(&c);
  return c;
}

}  // namespace

void DrawPlayerHead(Canvas* c, double cx, double cy, double r, Rgb suit) {
  ShadeEllipse(c, cx, cy, r, r * 0.9, suit);
  FillEllipse(c, cx, cy + r * 0.18, r * 0.68, r * 0.52, kSkin);
  FillRect(c, cx - r * 0.42, cy - r * 0.05, cx - r * 0.18, cy + r * 0.33, kEye);
  FillRect(c, cx + r * 0.18, cy - r * 0.05, cx + r * 0.42, cy + r * 0.33, kEye);
  FillCircle(c, cx, cy - r * 1.0, r * 0.22, {255, 120, 168});
}

void DrawCreatureFace(Canvas* c, double cx, double cy, double r) {
  CreatureBody(c, cx, cy, r, r * 0.9, kCreature);
  const double size = std::min(1.0, r / 10);
  CreatureEye(c, cx - r * 0.4, cy - r * 0.2, 0, 1, size);
  CreatureEye(c, cx + r * 0.4, cy - r * 0.2, 0, 1, size);
}

Canvas DrawPlayerSheet() {
  Canvas sheet = MakeSheet(4, 20);
  static const Rgb kSuits[4] = {{236, 236, 244}, {228, 56, 50}, {62, 112, 236}, {60, 196, 84}};
  for (int p = 0; p < 4; p++)
    for (int i = 0; i < 20; i++) PutCell(&sheet, 4, 20 * p + i, PlayerCell(SuitOf(kSuits[p]), i));
  return sheet;
}

Canvas DrawEnemySheet() {
  Canvas sheet = MakeSheet(20, 120);
  for (int i = 0; i < 20; i++) {
    PutCell(&sheet, 20, i, CreatureCell(i));
    PutCell(&sheet, 20, 20 + i, MechCell(i));
  }
  return sheet;
}
