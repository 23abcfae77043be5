// End to end: the engine's default road, graphs as textures drawn by the Direct3D-style
// device, on the back screen of a 640 x 480 window, presented frame after frame until
// Escape:
//   - a sprite sheet of eight keyed 32 x 32 sprites over a striped band, once per blend
//     mode (copy, keyed, mix, add, subtract, multiply, invert, multiply-mix, half
//     brightness);
//   - a sprite turned on four corners, a trapezoid, stretched, mirrored and upside down;
//   - filled boxes, outlines and text.
// It fails when the device did not start. The runs are those of support/framematch.h.
#include "engine/d3d/d3d.h"
#include "engine/engine.h"
#include "engine/graphics/drawentry.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/drawstate.h"
#include "support/framematch.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int32_t kSprite = 32, kSprites = 8;

// Sprite k at (x, y) of its cell: a disc, a ring, a diamond, stripes... in its own colour,
// black (the key) around it.
void SpritePixel(int32_t k, int32_t x, int32_t y, int32_t* r, int32_t* g, int32_t* b) {
  const int32_t dx = x - 15, dy = y - 15, d2 = dx * dx + dy * dy;
  bool on = false;
  switch (k) {
    case 0: on = d2 < 196; break;
    case 1: on = d2 < 225 && d2 > 64; break;
    case 2: on = std::abs(dx) + std::abs(dy) < 15; break;
    case 3: on = (x / 4) % 2 == 0 && y > 2 && y < 29; break;
    case 4: on = std::abs(dx) < 3 || std::abs(dy) < 3; break;
    case 5: on = y > 4 && std::abs(dx) * 2 < y; break;
    case 6: on = (x / 8 + y / 8) % 2 == 0; break;
    default: on = x > 2 && x < 29 && y > 2 && y < 29 && !(x > 8 && x < 23 && y > 8 && y < 23); break;
  }
  const int32_t shade = 128 + (x + y) * 2;
  const int32_t colours[kSprites][3] = {{255, 64, 64}, {64, 255, 64}, {64, 128, 255}, {255, 224, 0},
                                        {255, 0, 255}, {0, 224, 224}, {255, 255, 255}, {255, 128, 0}};
  *r = on ? colours[k][0] * shade / 255 : 0;
  *g = on ? colours[k][1] * shade / 255 : 0;
  *b = on ? colours[k][2] * shade / 255 : 0;
}

struct Graphs {
  int32_t sheet = -1;   // the eight sprites in a row
  int32_t sprite = -1;  // a 64 x 64 picture for the four-corner draws
};

int32_t GraphOf(int32_t width, int32_t height, void (*pixel)(int32_t, int32_t, int32_t*, int32_t*, int32_t*)) {
  GraphImage image{};
  if (CreateGraphImageRGB8(width, height, &image) != 0) return -1;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      int32_t r, g, b;
      pixel(x, y, &r, &g, &b);
      SetGraphImagePixel(&image, x, y, r, g, b, 255);
    }
  const int32_t graph = BuildGraphFromGraphImage(&image, nullptr, 1, 0, 0);
  FreeGraphImageCore(&image);
  return graph;
}

struct Blend {
  const char* name;
  int32_t mode, param, brightness, transparent;
};
constexpr Blend kBlends[] = {
    {"copy", BLEND_COPY, 0, 255, 0},       {"keyed", BLEND_COPY, 0, 255, 1},
    {"mix 128", BLEND_MIX, 128, 255, 1},   {"add", BLEND_ADD, 255, 255, 1},
    {"subtract", BLEND_SUBTRACT, 255, 255, 1}, {"multiply", BLEND_MULTIPLY, 255, 255, 1},
    {"invert", BLEND_INVERT, 255, 255, 1}, {"multiply-mix", BLEND_MULTIPLY_MIX, 200, 255, 1},
    {"bright 128", BLEND_COPY, 0, 128, 1},
};

bool DrawFrame(const Graphs& g) {
  const uint32_t white = PackScreenColor(255, 255, 255);
  bool ok = ClearDrawTarget() == 0;
  // A band of stripes under the sheet rows, so that every blend has something to meet.
  for (int32_t i = 0; i < 16; i++)
    ok &= DrawColorBox(i * 40, 0, i * 40 + 40, 9 * 36 + 4,
                       PackScreenColor(i * 16, 255 - i * 12, 96 + (i % 3) * 48), 1) == 0;
  for (size_t row = 0; row < std::size(kBlends); row++) {
    const Blend& b = kBlends[row];
    const int32_t y = 4 + int32_t(row) * 36;
    ok &= DrawTextDefaultFont(4, y + 8, b.name, white, 0) == 0;
    SetBlendState(b.mode, b.param);
    SetBrightness(uint8_t(b.brightness), uint8_t(b.brightness), uint8_t(b.brightness));
    ok &= DrawGraphAt(120, y, g.sheet, b.transparent) == 0;
    SetBlendState(BLEND_COPY, 0);
    SetBrightness(255, 255, 255);
  }
  // The four-corner draws, stretched, mirrored and upside down, over a dark field.
  const int32_t top = 9 * 36 + 8;
  ok &= DrawColorBox(0, top - 4, 640, 480, PackScreenColor(24, 24, 48), 1) == 0;
  const float cx = 60, cy = float(top) + 60;
  const double turn = 0.5;
  auto corner = [&](double ax, double ay, float* x, float* y) {
    *x = cx + float(ax * std::cos(turn) - ay * std::sin(turn));
    *y = cy + float(ax * std::sin(turn) + ay * std::cos(turn));
  };
  float x[4], y[4];
  corner(-40, -40, &x[0], &y[0]);
  corner(40, -40, &x[1], &y[1]);
  corner(40, 40, &x[2], &y[2]);
  corner(-40, 40, &x[3], &y[3]);
  ok &= DrawGraphQuad(x[0], y[0], x[1], y[1], x[2], y[2], x[3], y[3], g.sprite, 1) == 0;
  ok &= DrawGraphQuad(140, float(top) + 20, 240, float(top) + 20, 270, float(top) + 110, 110, float(top) + 110,
                      g.sprite, 1) == 0;
  ok &= DrawGraphStretched(290, top + 10, 410, top + 70, g.sprite, 1) == 0;
  ok &= DrawGraphStretched(540, top + 10, 420, top + 70, g.sprite, 1) == 0;  // mirrored
  ok &= DrawGraphStretched(420, top + 140, 540, top + 80, g.sprite, 1) == 0;  // upside down
  ok &= DrawGraphMirrored(290, top + 80, g.sprite, 1) == 0;
  // Boxes and outlines, and text.
  ok &= DrawColorBox(560, top + 10, 630, top + 50, PackScreenColor(255, 96, 0), 1) == 0;
  ok &= DrawColorBox(560, top + 60, 630, top + 100, PackScreenColor(0, 255, 128), 0) == 0;
  ok &= DrawColorBox(565, top + 65, 625, top + 95, white, 0) == 0;
  SetBlendState(BLEND_MIX, 128);
  ok &= DrawColorBox(540, top + 40, 600, top + 80, PackScreenColor(0, 64, 255), 1) == 0;
  SetBlendState(BLEND_COPY, 0);
  ok &= DrawTextDefaultFont(110, top + 124, "Direct3D: 四隅・拡大・反転・箱・文字", white,
                            PackScreenColor(0, 0, 0)) == 0;
  return ok && PresentScreen() == 0;
}

void SheetPixel(int32_t x, int32_t y, int32_t* r, int32_t* g, int32_t* b) {
  SpritePixel(x / kSprite, x % kSprite, y, r, g, b);
}
void BigPixel(int32_t x, int32_t y, int32_t* r, int32_t* g, int32_t* b) {
  // A picture whose corners differ, so that a turn or a mirror shows: a gradient with a
  // white frame and a key-coloured hole.
  const bool frame = x < 3 || y < 3 || x > 60 || y > 60;
  const bool hole = x > 24 && x < 40 && y > 24 && y < 40;
  *r = frame ? 255 : hole ? 0 : x * 4;
  *g = frame ? 255 : hole ? 0 : y * 4;
  *b = frame ? 255 : hole ? 0 : 255 - x * 2;
}

}  // namespace

int main(int argc, char** argv) {
  Graphs g;
  auto prepare = [&] {
    SetScreenMode(framematch::kW, framematch::kH, 16, 60);
    if (Is3DAvailable() != 1) {
      std::fprintf(stderr, "the engine did not start its Direct3D device\n");
      return false;
    }
    if (SetDrawTarget(DRAW_SCREEN_BACK) != 0) {
      std::fprintf(stderr, "no back screen to draw on\n");
      return false;
    }
    g.sheet = GraphOf(kSprite * kSprites, kSprite, SheetPixel);
    g.sprite = GraphOf(64, 64, BigPixel);
    if (g.sheet == -1 || g.sprite == -1) {
      std::fprintf(stderr, "the graphs could not be made\n");
      return false;
    }
    return true;
  };
  return framematch::Run(argc, argv, prepare, [&] { return DrawFrame(g); });
}
