// The filled box, and the mode table as both the box and the line draw it: bit-exact
// vectors for both pixel kinds, the brightness by / 256, clipping and refusals.
#include "blitfixture.h"
#include "engine/softimage/boxline.h"

#include <climits>

namespace {

// ---- The mode table, through a one-pixel box and a one-pixel line ----

struct ModeCase {
  int kind;
  int mode;
  int p;
  uint32_t colour;
  uint32_t dst;
  uint32_t expected;
  const char* what;
};

const ModeCase kModeCases[] = {
    // 32-bit: the copy stores byte 3 too; the arithmetic keeps the destination's.
    {1, 0, 0, 0xAB123456, 0x11223344, 0xAB123456, "copy stores the whole word"},
    {1, 1, 255, 0xAB123456, 0x11223344, 0xAB123456, "mix at 255 is the copy"},
    {1, 1, 0, 0xAB123456, 0x11223344, 0x11223344, "mix at 0 draws nothing"},
    // Blue (1 + 254) x 128 / 256 = 127.5 -> 127, green (0x20 + 0x80) / 2, red 0x80 / 2.
    {1, 1, 128, 0x000080FE, 0x77802001, 0x7740507F, "mix rounds down by / 256"},
    // At 255 the scaled add puts the lowest green and red bits back; byte 3 is the carry.
    {1, 2, 255, 0x00000000, 0xFF010100, 0x00010100, "add at 255 keeps the low bits"},
    {1, 2, 255, 0xFFFFFFFF, 0xFFFFFFFF, 0x01FFFFFF, "add of white on white"},
    // s' = 128 per byte: 0xF0 + 0x80 saturates, red's carry lands in byte 3.
    {1, 2, 128, 0x00FFFFFF, 0x00F0F0F0, 0x01FFFFFF, "add scales the colour"},
    {1, 2, 0, 0x00FFFFFF, 0x00102030, 0x00102030, "add at 0 draws nothing"},
    {1, 3, 255, 0xFFFFFFFF, 0xFFFFFFFF, 0x00010100, "subtract of white from white"},
    // s' = 0x40 per byte: blue 0x50 - 0x40; green and red keep their forced lowest bit.
    {1, 3, 128, 0x00808080, 0x33505050, 0x00111110, "subtract clears byte 3"},
    {1, 3, 0, 0x00FFFFFF, 0x00102030, 0x00102030, "subtract at 0 draws nothing"},
    {1, 4, 0, 0x00FFFFFF, 0x12FFFFFF, 0x12FEFEFE, "multiply maps 255 to 254"},
    {1, 4, 77, 0x00804020, 0x00FF8040, 0x007F2008, "multiply ignores the parameter"},
    {1, 10, 0, 0x00000000, 0x55123456, 0x55123456, "invert at 0 changes nothing"},
    {1, 10, 255, 0x00000000, 0xAA000000, 0xAAFEFEFE, "invert mixes toward 255 - s"},
    {1, 11, 0, 0x00FFFFFF, 0x55123456, 0x55123456, "multiply-mix at 0 changes nothing"},
    // m = 254; (255 x 1 + 254 x 255) / 256 = 254.
    {1, 11, 255, 0x00FFFFFF, 0x00FFFFFF, 0x00FEFEFE, "multiply-mix at 255"},
    {1, 5, 128, 0x00FFFFFF, 0x00102030, 0x00102030, "mode 5 draws nothing"},
    {1, 9, 128, 0x00FFFFFF, 0x00102030, 0x00102030, "mode 9 draws nothing"},
    {1, 12, 128, 0x00FFFFFF, 0x00102030, 0x00102030, "mode 12 draws nothing"},
    {1, -1, 128, 0x00FFFFFF, 0x00102030, 0x00102030, "a negative mode draws nothing"},

    // 16-bit, in each field's own units.
    {0, 0, 0, 0xFFFF1234, 0xFFFF, 0x1234, "copy stores the low half"},
    {0, 1, 255, 0x1234, 0xFFFF, 0x1234, "mix at 255 is the copy"},
    {0, 1, 0, 0x1234, 0xFFFF, 0xFFFF, "mix at 0 draws nothing"},
    // Through the difference table, truncated toward zero: 31 - 128 x 31 / 255 = 31 - 15.
    {0, 1, 128, 0x0000, 0xFFFF, 0x8410, "mix downward truncates toward zero"},
    {0, 1, 128, 0xFFFF, 0x0841, 0x8410, "mix upward"},
    {0, 2, 255, 0x0000, 0x0820, 0x0820, "add at 255 keeps the low bits"},
    {0, 2, 255, 0xFFFF, 0xFFFF, 0xFFFF, "add saturates"},
    // s' = 15, 31, 15: 16 + 15 and 32 + 31 fit, blue 20 + 15 saturates.
    {0, 2, 128, 0xFFFF, 0x8414, 0xFFFF, "add scales the colour"},
    {0, 3, 255, 0xFFFF, 0xFFFF, 0x0800, "subtract of white from white"},
    {0, 3, 0, 0xFFFF, 0x1234, 0x1234, "subtract at 0 draws nothing"},
    {0, 4, 0, 0xFFFF, 0xFFFF, 0xF7DE, "multiply maps each field's top down one"},
    {0, 10, 255, 0x0000, 0x0000, 0xFFFF, "invert mixes toward max - s"},
    {0, 10, 0, 0x0000, 0x1234, 0x1234, "invert at 0 changes nothing"},
    // m = 30, 62, 30; 31 + 128 x (30 - 31) / 255 = 31.
    {0, 11, 128, 0xFFFF, 0xFFFF, 0xFFFF, "multiply-mix through the difference table"},
    {0, 7, 128, 0xFFFF, 0x1234, 0x1234, "mode 7 draws nothing"},
};

class BoxLineModes : public BlitTest, public ::testing::WithParamInterface<bool> {
 protected:
  // Draws one pixel at (1, 1) of a 3 x 3 image, by a box or by a line.
  static uint32_t DrawOne(int kind, uint32_t colour, uint32_t dst, std::vector<uint32_t>* all) {
    TestImage img(kind, 3, 3);
    img.Fill(dst);
    if (GetParam()) {
      DrawMemImgLine(&img.img, 1, 1, 2, 1, colour);
    } else {
      Rect r = {1, 1, 2, 2};
      FillMemImgBox(&img.img, &r, colour);
    }
    *all = img.All();
    return img.Get(1, 1);
  }
};

TEST_P(BoxLineModes, EachModeOnEachKind) {
  for (const ModeCase& c : kModeCases) {
    SetBlend(c.mode, c.p);
    std::vector<uint32_t> all;
    EXPECT_EQ(DrawOne(c.kind, c.colour, c.dst, &all), c.expected)
        << "kind " << c.kind << " mode " << c.mode << " p " << c.p << ": " << c.what;
    int changed = 0;
    for (uint32_t v : all) changed += v != c.dst;
    EXPECT_LE(changed, 1) << c.what;
  }
}

TEST_P(BoxLineModes, BrightnessScalesTheColourByA256th) {
  std::vector<uint32_t> all;
  SetBright(255, 128, 0);
  // Red 255 x 255 / 256 = 254 (the tables would keep 255), green 127, blue 0; byte 3 kept.
  EXPECT_EQ(DrawOne(1, 0x40FFFFFF, 0, &all), 0x40FE7F00u);
  // Red 31 -> 30, green 63 -> 31, blue 0.
  EXPECT_EQ(DrawOne(0, 0xFFFF, 0, &all), 0xF3E0u);
  // Any channel off white scales all three: 255 x 255 / 256 = 254, 255 x 254 / 256 = 253.
  SetBright(255, 255, 254);
  EXPECT_EQ(DrawOne(1, 0x00FFFFFF, 0, &all), 0x00FEFEFDu);
  // Invert takes the tinted colour: 255 x 128 / 256 = 127, inverted 128, mixed at 255
  // from 0 gives 127 (inverting first would give 0).
  SetBright(128, 128, 128);
  SetBlend(BLEND_INVERT, 255);
  EXPECT_EQ(DrawOne(1, 0x00FFFFFF, 0, &all), 0x007F7F7Fu);
  // The add scales the tinted colour: 127 x 128 / 255 = 63. Blue 1 + 63 = 64; green and
  // red add with their lowest bits cleared and put back, so 1 + 63 comes out 63.
  SetBlend(BLEND_ADD, 128);
  EXPECT_EQ(DrawOne(1, 0x00FFFFFF, 0x00010101, &all), 0x003F3F40u);
}

INSTANTIATE_TEST_SUITE_P(BoxAndLine, BoxLineModes, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Line" : "Box"; });

// ---- The box ----

// Which pixels of an image differ from fill.
std::vector<std::pair<int, int>> Changed(const TestImage& img, uint32_t fill) {
  std::vector<std::pair<int, int>> out;
  for (int y = 0; y < img.img.height; y++) {
    for (int x = 0; x < img.img.width; x++) {
      if (img.Get(x, y) != fill) out.push_back({x, y});
    }
  }
  return out;
}
std::vector<std::pair<int, int>> Cells(int left, int top, int right, int bottom) {
  std::vector<std::pair<int, int>> out;
  for (int y = top; y < bottom; y++) {
    for (int x = left; x < right; x++) out.push_back({x, y});
  }
  return out;
}

TEST_F(BlitTest, BoxIsSortedAndClippedToTheDrawArea) {
  struct Case {
    Rect area;
    bool nullRect;
    Rect rect;
    Rect expected;  // the pixels drawn; empty for none
  } cases[] = {
      {{0, 0, 20, 20}, false, {10, 10, 0, 0}, {0, 0, 10, 10}},
      {{0, 0, 20, 20}, false, {10, 3, 2, 7}, {2, 3, 10, 7}},
      {{0, 0, 20, 20}, false, {2, 9, 10, 4}, {2, 4, 10, 9}},
      {{5, 5, 15, 15}, false, {0, 0, 20, 20}, {5, 5, 15, 15}},
      {{5, 5, 15, 15}, true, {}, {5, 5, 15, 15}},
      {{0, 0, 20, 20}, true, {}, {0, 0, 20, 20}},
      {{5, 5, 15, 15}, false, {15, 0, 25, 20}, {}},      // right of the area
      {{5, 5, 15, 15}, false, {-10, -10, 5, 5}, {}},     // ends on the area's corner
      {{5, 5, 15, 15}, false, {8, 8, 8, 12}, {}},        // no width
      {{5, 5, 5, 15}, false, {0, 0, 20, 20}, {}},        // an area of no width
      {{0, 0, 640, 480}, false, {15, 15, 30, 30}, {15, 15, 20, 20}},  // the image clips too
      {{0, 0, 20, 20}, false, {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 20, 20}},
  };
  for (int kind : {MEMIMG_KIND_RGB565, MEMIMG_KIND_XRGB8888}) {
    for (const Case& c : cases) {
      TestImage img(kind, 20, 20);
      g_DrawState.drawArea = c.area;
      FillMemImgBox(&img.img, c.nullRect ? nullptr : &c.rect, 0x1234);
      const Rect& e = c.expected;
      EXPECT_EQ(Changed(img, 0), Cells(e.left, e.top, e.right, e.bottom))
          << "kind " << kind << " rect " << c.rect.left << "," << c.rect.top << ","
          << c.rect.right << "," << c.rect.bottom;
    }
  }
}

TEST_F(BlitTest, BoxCopyFillsEveryWidthAndOffsetExactly) {
  // Rows filled by whole words: blocks, single words and the odd pixels at the end.
  for (int kind : {MEMIMG_KIND_RGB565, MEMIMG_KIND_XRGB8888}) {
    const uint32_t colour = kind ? 0xC0FFEE11u : 0xBEEFu;
    for (int left = 0; left < 4; left++) {
      for (int width = 1; width <= 40; width++) {
        TestImage img(kind, 48, 3);
        img.Fill(kind ? 0x01010101u : 0x0101u);
        Rect r = {left, 1, left + width, 2};
        FillMemImgBox(&img.img, &r, colour);
        for (int y = 0; y < 3; y++) {
          for (int x = 0; x < 48; x++) {
            bool inside = y == 1 && x >= left && x < left + width;
            ASSERT_EQ(img.Get(x, y), inside ? colour : (kind ? 0x01010101u : 0x0101u))
                << "kind " << kind << " left " << left << " width " << width << " x " << x;
          }
        }
      }
    }
  }
}

TEST_F(BlitTest, BoxLeavesPalettedAlphaAndOneChannelImagesAlone) {
  TestImage paletted(MEMIMG_KIND_XRGB8888, 4, 4, 0, 1);
  TestImage alpha32(MEMIMG_KIND_XRGB8888, 4, 4, 0, 0, 1), alpha16(MEMIMG_KIND_RGB565, 4, 4, 0, 0, 1);
  TestImage gray(MEMIMG_KIND_GRAY8, 4, 4), depth(MEMIMG_KIND_GRAY16, 4, 4);
  for (TestImage* img : {&paletted, &alpha32, &alpha16, &gray, &depth}) {
    FillMemImgBox(&img->img, nullptr, 0xFF);
    EXPECT_EQ(img->All(), std::vector<uint32_t>(16, 0));
  }
  MEMIMG gone{};
  FillMemImgBox(&gone, nullptr, 0xFF);
}

TEST_F(BlitTest, BoxBlendsEveryPixelOfTheRectangle) {
  // A wider box than one pixel in an arithmetic mode, on a sub-image.
  TestImage parent(MEMIMG_KIND_XRGB8888, 10, 6);
  parent.Fill(0x80102030);
  MEMIMG view{};
  DeriveMemImg(&view, &parent.img, 2, 1, 6, 4);
  SetBlend(BLEND_ADD, 255);
  Rect r = {1, 1, 5, 3};
  FillMemImgBox(&view, &r, 0x00010101);
  ReleaseMemImg(&view);
  EXPECT_EQ(Changed(parent, 0x80102030), Cells(3, 2, 7, 4));
  EXPECT_EQ(parent.Get(3, 2), 0x00112131u);
  EXPECT_EQ(parent.Get(6, 3), 0x00112131u);
}

}  // namespace
