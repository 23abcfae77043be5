// Item icons on panels coloured by their nature: gold for points, yellow for power-ups,
// blue for abilities, green for lives and red for what hurts. Each shows its effect.
#include "tools/makeassets/sprites.h"

#include <cmath>
#include <functional>

namespace {

using namespace palette;

constexpr Rgb kGold = {222, 156, 34};
constexpr Rgb kYellow = {250, 228, 74};
constexpr Rgb kBlue = {72, 128, 232};
constexpr Rgb kGreen = {70, 186, 90};
constexpr Rgb kRed = {222, 56, 56};

void Panel(Canvas* c, Rgb colour) {
  FillRoundRect(c, 1.5, 1.5, 30.5, 30.5, 5, Scale(colour, 0.6));
  FillRoundRect(c, 1.5, 1.5, 29, 29, 5, Mix(colour, kWhite, 0.55));
  FillRoundRect(c, 3, 3, 29, 29, 4, colour);
}

// Icons are painted apart and outlined, so they stand out from their panel.
using Icon = std::function<void(Canvas*)>;

Canvas Item(Rgb panel, const Icon& icon) {
  Canvas c = MakeCanvas(kCell, kCell);
  Panel(&c, panel);
  Canvas layer = MakeCanvas(kCell, kCell);
  icon(&layer);
  Outline(&layer);
  Blit(&c, layer, 0, 0);
  Outline(&c);
  return c;
}

void Coin(Canvas* c, double cx, double cy, double r, Rgb metal) {
  FillEllipse(c, cx, cy, r, r, Scale(metal, 0.7));
  FillEllipse(c, cx - 0.6, cy - 0.6, r - 1.2, r - 1.2, metal);
  FillEllipse(c, cx - 0.6, cy - 0.6, r * 0.5, r * 0.5, Scale(metal, 0.85));
  FillRect(c, cx - r * 0.55, cy - r * 0.55, cx - r * 0.3, cy - r * 0.1, Mix(metal, kWhite, 0.7));
}

void Gem(Canvas* c, double cx, double cy, double s, Rgb stone) {
  FillPolygon(c, {{cx - s, cy - s * 0.35}, {cx - s * 0.5, cy - s * 0.85}, {cx + s * 0.5, cy - s * 0.85},
                  {cx + s, cy - s * 0.35}, {cx, cy + s}},
              stone);
  FillPolygon(c, {{cx - s * 0.5, cy - s * 0.35}, {cx + s * 0.5, cy - s * 0.35}, {cx, cy + s * 0.8}},
              Scale(stone, 0.8));
  FillPolygon(c, {{cx - s * 0.5, cy - s * 0.85}, {cx, cy - s * 0.85}, {cx - s * 0.5, cy - s * 0.35},
                  {cx - s, cy - s * 0.35}},
              Mix(stone, kWhite, 0.6));
}

void Sparkle(Canvas* c, double x, double y, double s) { FillStar(c, x, y, s * 0.3, s, 4, 0, kWhite); }

// An arrow in the upper-right corner: up for more, down for less.
void Arrow(Canvas* c, bool up) {
  const double x = 23.5, top = 5, bottom = 15;
  const Rgb colour = up ? Rgb{90, 230, 90} : Rgb{255, 236, 236};
  if (up) {
    FillPolygon(c, {{x, top}, {x + 5, top + 5}, {x - 5, top + 5}}, colour);
    FillRect(c, x - 2, top + 5, x + 2, bottom, colour);
  } else {
    FillPolygon(c, {{x, bottom}, {x + 5, bottom - 5}, {x - 5, bottom - 5}}, colour);
    FillRect(c, x - 2, top, x + 2, bottom - 5, colour);
  }
}

// A small bomb, a flame and a boot: what the power-ups raise or lower.
void SmallBomb(Canvas* c) { DrawBomb(c, 13.5, 18.5, 7.5, kBombBody, 0); }
void SmallFlame(Canvas* c) { DrawFlameDrop(c, 13.5, 17.5, 10); }
void Boot(Canvas* c) {
  const Rgb leather = {200, 70, 40};
  FillPolygon(c, {{9, 9}, {17, 9}, {17, 18}, {24, 20}, {24, 25}, {9, 25}}, leather);
  FillRect(c, 9, 23, 24, 25.5, {250, 250, 250});
  FillRect(c, 9, 9, 17, 11, Mix(leather, kWhite, 0.4));
  for (int i = 0; i < 3; i++) FillRect(c, 3, 13 + 4 * i, 7 - i, 14.5 + 4 * i, {250, 250, 250});
}

// Walking through something: a dashed arrow crossing it.
void Through(Canvas* c) {
  for (int i = 0; i < 3; i++) FillRect(c, 4 + 7 * i, 15, 8.5 + 7 * i, 18, kWhite);
  FillPolygon(c, {{25, 11.5}, {29, 16.5}, {25, 21.5}}, kWhite);
}

Canvas ItemCell(int kind) {
  switch (kind) {
    case 0:  // +100: a copper coin
      return Item(kGold, [](Canvas* c) { Coin(c, 16, 16, 7, {226, 140, 76}); });
    case 1:  // +1000: a stack of silver coins
      return Item(kGold, [](Canvas* c) {
        for (int i = 0; i < 3; i++) FillEllipse(c, 16, 23 - 3 * i, 8, 3.2, i % 2 ? Rgb{170, 176, 196} : Rgb{214, 220, 236});
        Coin(c, 16, 11, 6.5, {226, 230, 244});
      });
    case 2:  // +100000: a great diamond with sparkles
      return Item(kGold, [](Canvas* c) {
        Gem(c, 16, 17, 10, {170, 236, 255});
        Sparkle(c, 7, 7, 4);
        Sparkle(c, 25, 24, 3.5);
      });
    case 3:  // +10000: an emerald
      return Item(kGold, [](Canvas* c) { Gem(c, 16, 16.5, 8, {60, 220, 120}); });
    case 4:
      return Item(kYellow, [](Canvas* c) { SmallBomb(c); Arrow(c, true); });
    case 5:
      return Item(kYellow, [](Canvas* c) { SmallFlame(c); Arrow(c, true); });
    case 6:
      return Item(kYellow, [](Canvas* c) { Boot(c); Arrow(c, true); });
    case 7:  // one more player in the stock
      return Item(kGreen, [](Canvas* c) {
        DrawPlayerHead(c, 13, 17, 8, {236, 236, 244});
        FillRect(c, 21, 20, 29, 23, kWhite);
        FillRect(c, 23.5, 17.5, 26.5, 25.5, kWhite);
      });
    case 8:  // walk through bombs
      return Item(kBlue, [](Canvas* c) { DrawBomb(c, 15, 17.5, 7.5, kBombBody, 1); Through(c); });
    case 9:  // walk through soft blocks
      return Item(kBlue, [](Canvas* c) {
        DrawBricks(c, 8, 8, 24, 25, kBrick);
        Through(c);
      });
    case 10:  // invulnerable: a shield
      return Item(kBlue, [](Canvas* c) {
        const std::vector<Point> shield = {{6, 6}, {26, 6}, {26, 15}, {16, 27}, {6, 15}};
        FillPolygon(c, shield, {206, 214, 232});
        FillPolygon(c, {{9, 9}, {23, 9}, {23, 15}, {16, 23.5}, {9, 15}}, {255, 214, 64});
        FillStar(c, 16, 14.5, 2, 4.5, 5, 0, kWhite);
      });
    case 11:  // remote bombs: a handset with its button and a signal
      return Item(kBlue, [](Canvas* c) {
        FillRoundRect(c, 8, 12, 18, 27, 2, {70, 74, 96});
        FillCircle(c, 13, 17, 2.6, {255, 60, 50});
        FillRect(c, 10, 21.5, 16, 23.5, {160, 166, 190});
        Stroke(c, 16, 12, 19, 6, 1.5, {200, 206, 220});
        Stroke(c, 22, 9, 24, 12, 1.4, kWhite);
        Stroke(c, 24, 5.5, 27.5, 11, 1.4, kWhite);
      });
    case 12:  // one more life: a heart
      return Item(kGreen, [](Canvas* c) {
        const Rgb heart = {240, 50, 80};
        FillCircle(c, 11.5, 13, 5.2, heart);
        FillCircle(c, 20.5, 13, 5.2, heart);
        FillPolygon(c, {{6.5, 14.5}, {25.5, 14.5}, {16, 26}}, heart);
        FillCircle(c, 10, 11.5, 1.6, {255, 190, 200});
      });
    case 13:  // piercing: a flame lance through a brick
      return Item(kBlue, [](Canvas* c) {
        DrawBricks(c, 12, 9, 21, 24, kBrick);
        FillPolygon(c, {{3, 14}, {24, 14}, {29, 16.5}, {24, 19}, {3, 19}}, kFlameMid);
        FillPolygon(c, {{3, 15.5}, {24, 15.5}, {27, 16.5}, {24, 17.5}, {3, 17.5}}, kFlameCore);
      });
    case 14:
      return Item(kRed, [](Canvas* c) { SmallBomb(c); Arrow(c, false); });
    case 15:
      return Item(kRed, [](Canvas* c) { SmallFlame(c); Arrow(c, false); });
    case 16:
      return Item(kRed, [](Canvas* c) { Boot(c); Arrow(c, false); });
    case 17:  // full-power piercing bomb: the red bomb with its spikes and star
      return Item(kBlue, [](Canvas* c) {
        const Rgb steel = {206, 212, 226};
        FillPolygon(c, {{3, 18.5}, {8, 16}, {8, 21}}, steel);
        FillPolygon(c, {{26, 18.5}, {21, 16}, {21, 21}}, steel);
        DrawBomb(c, 14.5, 18.5, 7.5, {128, 38, 48}, 2);
        FillStar(c, 14.5, 19, 1.8, 4, 5, 0, {255, 214, 60});
      });
    case 18:  // full fire: a flame at the top of a full gauge
      return Item(kYellow, [](Canvas* c) {
        FillRect(c, 22, 5, 27, 27, {110, 60, 30});
        FillRect(c, 23, 6, 26, 26, {255, 90, 30});
        FillRect(c, 23, 6, 26, 10, {255, 230, 90});
        DrawFlameDrop(c, 12, 16.5, 11);
      });
    case 19:  // a line of bombs
      return Item(kBlue, [](Canvas* c) {
        for (int i = 0; i < 3; i++) DrawBomb(c, 7 + 8.5 * i, 19, 4.6, kBombBody, i);
      });
    case 20:  // spreading bombs: arrows out of a bomb every way
      return Item(kBlue, [](Canvas* c) {
        const Rgb a = {255, 240, 140};
        FillPolygon(c, {{16, 2.5}, {19.5, 6.5}, {12.5, 6.5}}, a);
        FillPolygon(c, {{16, 29.5}, {19.5, 25.5}, {12.5, 25.5}}, a);
        FillPolygon(c, {{2.5, 16}, {6.5, 12.5}, {6.5, 19.5}}, a);
        FillPolygon(c, {{29.5, 16}, {25.5, 12.5}, {25.5, 19.5}}, a);
        DrawBomb(c, 15, 17, 6.5, {48, 88, 72}, 3);
      });
    default:  // 21: enemies appear, more than one
      return Item(kRed, [](Canvas* c) {
        Canvas back = MakeCanvas(kCell, kCell);
        DrawCreatureFace(&back, 21.5, 13, 6);
        Outline(&back);
        Blit(c, back, 0, 0);
        DrawCreatureFace(c, 12.5, 19.5, 7.5);
      });
  }
}

}  // namespace

Canvas DrawItemSheet() {
  Canvas sheet = MakeSheet(4, 10);
  for (int kind = 0; kind <= 21; kind++) PutCell(&sheet, 4, kind, ItemCell(kind));
  return sheet;
}
