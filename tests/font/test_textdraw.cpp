// Strings through the glyph cache: the layout on the block-glyph fake, the memory path's
// pixels against a model read from the cache cells (IPA Gothic, every font type, every
// pixel size), the type-3 mix, and DrawStringWithFont on the screens and graphs.
#include "font/fontfixture.h"

#include "engine/d3d/direct3d.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/maskscreentest.h"
#include "engine/softimage/memimg.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/fontfake.h"
#include "support/backscreen.h"
#include "support/glyphcells.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// A destination image and what the colours of the tests are in its format.
struct Dest {
  const char* name;
  int32_t kind, alpha;
  uint32_t text, edge;  // the text and edge colours below, as written (opaque)
};

// Text (255, 128, 32), edge (16, 64, 200); 1-byte images take the low byte of the
// screen's (32-bit) packed value.
constexpr Dest kDests[] = {
    {"8-bit", MEMIMG_KIND_GRAY8, 0, 0x20, 0xC8},
    {"5:6:5", MEMIMG_KIND_RGB565, 0, 0xFC04, 0x1219},
    {"5:6:5 with alpha", MEMIMG_KIND_RGB565, 1, 0xFFFC04, 0xFF1219},
    {"8:8:8", MEMIMG_KIND_XRGB8888, 0, 0xFF8020, 0x1040C8},
    {"8:8:8 with alpha", MEMIMG_KIND_XRGB8888, 1, 0xFFFF8020, 0xFF1040C8},
};

struct Field {
  uint32_t mask;
  int shift;
};

// What a cache value s (a bit for type 0) writes, as the memory path's table says: blank
// (0) off the ink; the colours of types 0 and 1; type 2's colour with alpha 16v; type 3's
// edge, text or mix (each field of the format from the edge's toward the text's by
// b x 4096 / alpha, the step shifted down so that it floors). Alpha goes where the format
// keeps it.
uint32_t ModelValue(const Dest& d, int32_t type, uint32_t s) {
  if (s == 0) return 0;
  std::vector<Field> fields;
  uint32_t alphaMask = 0;
  int alphaShift = 0;
  if (d.kind == MEMIMG_KIND_GRAY8) {
    fields = {{0xFF, 0}};
  } else if (d.kind == MEMIMG_KIND_RGB565) {
    fields = {{0xF800, 11}, {0x07E0, 5}, {0x001F, 0}};
    if (d.alpha) alphaMask = 0xFF0000, alphaShift = 16;
  } else {
    fields = {{0xFF0000, 16}, {0xFF00, 8}, {0xFF, 0}};
    if (d.alpha) alphaMask = 0xFF000000, alphaShift = 24;
  }
  const uint32_t c = d.text & ~alphaMask, e = d.edge & ~alphaMask;
  auto alpha = [&](uint32_t a) { return alphaMask ? a << alphaShift : 0; };
  switch (type) {
    case 0: return d.text;
    case 1: return s == 1 ? d.text : d.edge;
    case 2: return c | alpha(s * 16);
    default: {
      const int32_t b = int32_t(s & 15), el = int32_t(s >> 4);
      if (b == 0) return e | alpha(uint32_t(el) * 16);
      if (b == 15) return c | alpha(255);
      const int32_t a = el * (15 - b) + 16 * b, t = b * 4096 / a;
      uint32_t out = 0;
      for (const Field& f : fields) {
        const int32_t from = int32_t((e & f.mask) >> f.shift), to = int32_t((c & f.mask) >> f.shift);
        out |= uint32_t(from + ((to - from) * t >> 8)) << f.shift;
      }
      return out | alpha(uint32_t(a));
    }
  }
}

struct Image {
  MEMIMG img{};
  int32_t bytes = 0;
  Image(int32_t width, int32_t height, int32_t kind, int32_t alpha) {
    EXPECT_EQ(CreateMemImg(&img, width, height, -1, 0, kind, 0, alpha, 0, nullptr), 0);
    bytes = img.data->format->bytesPerPixel;
  }
  ~Image() { ReleaseMemImg(&img); }
  uint8_t* At(int32_t x, int32_t y) const { return img.pixels + ptrdiff_t(y) * img.data->pitch + ptrdiff_t(x) * bytes; }
  uint32_t Get(int32_t x, int32_t y) const { return ReadPixelValue(At(x, y), bytes); }
  void Set(int32_t x, int32_t y, uint32_t v) { WritePixelValue(At(x, y), bytes, v); }
  // A background no glyph writes: every pixel differs from its neighbours.
  void Pattern() {
    for (int32_t y = 0; y < img.height; y++)
      for (int32_t x = 0; x < img.width; x++) Set(x, y, uint32_t(x * 7 + y * 131 + 0x5A5A5A5A) | 1u);
  }
  std::vector<uint32_t> All() const {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < img.height; y++)
      for (int32_t x = 0; x < img.width; x++) out.push_back(Get(x, y));
    return out;
  }
};

class TextDraw : public FakeFontTest {
 protected:
  static uint32_t Text() { return PackScreenColorCore(255, 128, 32); }
  static uint32_t Edge() { return PackScreenColorCore(16, 64, 200); }

  // The string drawn by the model: each glyph's cache cell placed by the layout's rules
  // (horizontally at pen + x offset, y offset; vertically a quarter turn clockwise, its
  // row j at column x + cell height - y offset - j), inside the clip and the image.
  static std::vector<uint32_t> Model(const Image& before, const Dest& d, int32_t font, const char* text, int32_t x,
                                     int32_t y, const Rect& clip, int32_t transparent, int32_t vertical) {
    Image out(before.img.width, before.img.height, d.kind, d.alpha);
    for (int32_t yy = 0; yy < out.img.height; yy++)
      for (int32_t xx = 0; xx < out.img.width; xx++) out.Set(xx, yy, before.Get(xx, yy));
    const FontRecord* f = GetFontRecord(font);
    ForEachCachedGlyphPixel(font, text, [&](const GlyphEntry* e, int32_t pen, int32_t i, int32_t j, uint32_t s) {
      const int32_t px = vertical ? x + f->cellHeight - e->yOffset - j : x + e->xOffset + pen + i;
      const int32_t py = vertical ? y + e->xOffset + pen + i : y + e->yOffset + j;
      if (px < clip.left || px >= clip.right || py < clip.top || py >= clip.bottom) return;
      if (px < 0 || py < 0 || px >= out.img.width || py >= out.img.height) return;
      if (s == 0 && transparent) return;
      out.Set(px, py, ModelValue(d, f->fontType, s));
    });
    return out.All();
  }
};

// ---- layout ----------------------------------------------------------------------------

TEST_F(TextDraw, TwoLettersOfAdvanceEightWithAnExtraTwoMeasureTwenty) {
  PlatFontFakeSetGlyph('A', {6, 10, 1, 10, 8, 16});
  PlatFontFakeSetGlyph('B', {6, 10, 1, 10, 8, 16});
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  ASSERT_EQ(SetFontExtraAdvance(2, font), 0);
  const int32_t cellHeight = GetFontRecord(font)->cellHeight;
  struct Case {
    int32_t vertical, width, height;
  } cases[] = {{0, 20, cellHeight}, {1, cellHeight, 20}};
  for (const Case& c : cases) {
    int32_t size[2] = {-1, -1};
    EXPECT_EQ(DrawStringThroughCache(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, "AB", 0, nullptr, nullptr, 0, font, 0, -1,
                                     c.vertical, size),
              20);
    EXPECT_EQ(size[0], c.width);
    EXPECT_EQ(size[1], c.height);
  }
  // Scales are a texture cache's: a memory font measures and draws one pixel for one.
  EXPECT_EQ(DrawStringThroughCache(TEXT_MEASURE, 0, 0, 1, 3.0, 3.0, "AB", 0, nullptr, nullptr, 0, font, 0, -1, 0,
                                   nullptr),
            20);
  EXPECT_EQ(DrawStringThroughCache(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, "", 0, nullptr, nullptr, 0, font, 0, -1, 0,
                                   nullptr),
            0);
  EXPECT_EQ(DrawStringThroughCache(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, nullptr, 0, nullptr, nullptr, 0, font, 0, -1, 0,
                                   nullptr),
            0);
  EXPECT_EQ(DrawStringThroughCache(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, "AB", 0, nullptr, nullptr, 0, font + 1, 0, -1,
                                   0, nullptr),
            -1);
  g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = 1;
  EXPECT_EQ(DrawStringThroughCache(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, "AB", 0, nullptr, nullptr, 0, font, 0, -1, 0,
                                   nullptr),
            -1);
}

TEST_F(TextDraw, SpacesDrawNothingAndAdvance) {
  PlatFontFakeSetGlyph(0x20, {0, 0, 0, 0, 5, 16});
  PlatFontFakeSetGlyph(0x8140, {0, 0, 0, 0, 16, 16});
  struct Case {
    int32_t type, edge, advance;
  } cases[] = {{0, -1, 5 + 5 + 16}, {1, 2, 9 + 9 + 20}, {3, 3, 11 + 11 + 22}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const int32_t font = CreateFontToHandle(nullptr, 16, -1, c.type, -1, c.edge, 0, -1, -1);
    Image img(64, 32, MEMIMG_KIND_XRGB8888, 1);
    img.Pattern();
    const std::vector<uint32_t> before = img.All();
    // Even the whole-rectangle write leaves a space alone.
    EXPECT_EQ(DrawStringThroughCache(TEXT_DRAW, 0, 0, 0, 1.0, 1.0, "  \x81\x40", Text(), &img.img, nullptr, 0, font,
                                     Edge(), -1, 0, nullptr),
              c.advance);
    EXPECT_EQ(img.All(), before);
    DeleteFontHandle(font);
  }
}

TEST_F(TextDraw, AShorterLengthDrawsTheFirstCharactersWhole) {
  for (uint32_t code : {0x41u, 0x42u, 0x43u, 0x8ABFu}) PlatFontFakeSetGlyph(code, {4, 8, 0, 8, 5, 16});
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  struct Case {
    int32_t length, advance;
  } cases[] = {{-1, 20}, {0, 0}, {1, 5}, {2, 10}, {3, 15}, {4, 15}, {5, 20}, {9, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Image img(40, 20, MEMIMG_KIND_RGB565, 0);
    ClearMemImgRect(&img.img, nullptr, 0);
    // "AB" then the double-byte 漢 (8A BF) then "C": a length ending inside 漢 takes it
    // whole.
    EXPECT_EQ(DrawStringThroughCache(TEXT_DRAW, 0, 0, 0, 1.0, 1.0, "AB\x8A\xBF" "C", Text(), &img.img, nullptr, 1,
                                     font, 0, c.length, 0, nullptr),
              c.advance);
    // The ink reaches exactly as far as the characters drawn.
    int32_t inked = 0;
    for (int32_t x = 0; x < 40; x++)
      if (img.Get(x, 8)) inked = x + 1;
    EXPECT_EQ(inked, c.advance ? c.advance - 1 : 0);
  }
}

TEST_F(TextDraw, ALineFeedStaysOnTheLineWithTheNotdefGlyphsAdvance) {
  ASSERT_EQ(PlatGdiSelectFontBackend("freetype"), 0);
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  const FontRecord* f = GetFontRecord(font);
  // The layer's own answer for the line feed: the face's .notdef box.
  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  const PlatGdiObj old = PlatGdiSelectObject(dc, f->gdiFont);
  const PlatMat2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  PlatGlyphMetrics feed{}, notdef{};
  ASSERT_NE(PlatGetGlyphOutline(dc, 0x0A, PLAT_GGO_BITMAP, &feed, 0, nullptr, &identity), PLAT_GDI_GLYPH_ERROR);
  ASSERT_NE(PlatGetGlyphOutline(dc, 0x8100, PLAT_GGO_BITMAP, &notdef, 0, nullptr, &identity), PLAT_GDI_GLYPH_ERROR);
  PlatGdiSelectObject(dc, old);
  PlatGdiDeleteDC(dc);
  EXPECT_EQ(feed.blackBoxX, notdef.blackBoxX);
  EXPECT_EQ(feed.cellIncX, notdef.cellIncX);

  Image img(80, 40, MEMIMG_KIND_RGB565, 0);
  ClearMemImgRect(&img.img, nullptr, 0);
  int32_t size[2] = {0, 0};
  const int32_t a = DrawStringThroughCache(TEXT_MEASURE, 0, 0, 0, 1.0, 1.0, "A", 0, nullptr, nullptr, 0, font, 0, -1,
                                           0, nullptr);
  EXPECT_EQ(DrawStringThroughCache(TEXT_DRAW, 0, 0, 0, 1.0, 1.0, "A\nA", Text(), &img.img, nullptr, 1, font, 0, -1, 0,
                                   size),
            2 * a + feed.cellIncX);
  EXPECT_EQ(size[1], f->cellHeight);
  // The feed's box is drawn between the two letters, on the same rows; nothing below.
  const GlyphEntry* boxEntry = f->chars[0x0A].glyph;
  ASSERT_NE(boxEntry, nullptr);
  EXPECT_GT(boxEntry->width, 0);
  int32_t feedInk = 0;
  for (int32_t y = 0; y < 40; y++)
    for (int32_t x = a; x < a + feed.cellIncX; x++) feedInk += img.Get(x, y) != 0;
  EXPECT_GT(feedInk, 0);
  for (int32_t y = f->cellHeight; y < 40; y++)
    for (int32_t x = 0; x < 80; x++) EXPECT_EQ(img.Get(x, y), 0u) << x << "," << y;
}

// ---- pixels -----------------------------------------------------------------------------

TEST_F(TextDraw, MemoryPixelsFollowTheCacheCellsForEveryTypeAndPixelSize) {
  ASSERT_EQ(PlatGdiSelectFontBackend("freetype"), 0);
  const char* text = "\x8A\xBF" "Ag\x8E\x9A";  // 漢Ag字
  struct Placement {
    const char* name;
    int32_t x, y;
    Rect clip;
  } placements[] = {
      {"cut by the clip", 1, 2, {3, 5, 40, 36}},
      {"off the image's top left", -7, -6, {-100, -100, 1000, 1000}},
      {"off the image's bottom right", 70, 50, {-100, -100, 1000, 1000}},
  };
  for (int32_t type = 0; type < 4; type++) {
    const int32_t font = CreateFontToHandle(nullptr, 16, -1, type, -1, (type & 1) ? 2 : -1, 0, -1, -1);
    ASSERT_EQ(GetFontRecord(font)->fontType, type);
    for (const Dest& d : kDests)
      for (int32_t transparent : {0, 1})
        for (int32_t vertical : {0, 1})
          for (const Placement& p : placements) {
            SCOPED_TRACE(testing::Message() << "type " << type << ", " << d.name << ", transparent " << transparent
                                            << (vertical ? ", vertical, " : ", horizontal, ") << p.name);
            Image img(96, 72, d.kind, d.alpha);
            img.Pattern();
            const std::vector<uint32_t> before = img.All();
            const std::vector<uint32_t> want = Model(img, d, font, text, p.x, p.y, p.clip, transparent, vertical);
            // Scale factors change nothing for a memory font.
            DrawStringThroughCache(TEXT_DRAW, p.x, p.y, 1, 2.0, 3.0, text, Text(), &img.img, &p.clip, transparent,
                                   font, Edge(), -1, vertical, nullptr);
            const std::vector<uint32_t> got = img.All();
            int32_t wrong = 0;
            for (size_t k = 0; k < got.size(); k++)
              if (got[k] != want[k] && wrong++ < 3)
                ADD_FAILURE() << "(" << k % 96 << ", " << k / 96 << "): " << std::hex << got[k] << ", want "
                              << want[k];
            EXPECT_EQ(wrong, 0);
            EXPECT_NE(want, before);  // some of the string lands in the image
          }
    DeleteFontHandle(font);
  }
}

TEST_F(TextDraw, TheTypeThreeMixFloorsItsStep) {
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 3, -1, 1, 0, -1, -1);
  const FontRecord* f = GetFontRecord(font);
  const uint32_t white = PackScreenColorCore(255, 255, 255), black = PackScreenColorCore(0, 0, 0);
  struct Case {
    uint32_t b, e, text, edge;
    uint32_t at32, at16;  // 8:8:8 and 5:6:5 images with alpha
  } cases[] = {
      {0, 0, Text(), Edge(), 0, 0},  // blank
      {0, 5, Text(), Edge(), 0x501040C8, 0x501219},
      {15, 9, Text(), Edge(), 0xFFFF8020, 0xFFFC04},
      {15, 0, Text(), Edge(), 0xFFFF8020, 0xFFFC04},
      {7, 9, white, black, 0xB89A9A9A, 0xB894D2},  // alpha 184; 154 = 255 x 155 >> 8
      {7, 9, black, white, 0xB8646464, 0xB8630C},  // 100 = 255 + (-255 x 155 >> 8); 101 truncated
      {7, 0, white, black, 0x70FFFFFF, 0x70FFFF},  // no edge: the text colour at alpha 16b
  };
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", font, -1, nullptr), 0);
  const GlyphEntry* e = f->chars[uint8_t{'A'}].glyph;
  int32_t cx, cy;
  GlyphCellPosition(f, e->cell, &cx, &cy);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "b " << c.b << ", e " << c.e);
    for (int32_t y = 0; y < e->height; y++)
      std::memset(f->cacheMemory + size_t(cy + y) * f->cachePitch, int(c.b | c.e << 4), size_t(e->width));
    for (int32_t kind : {MEMIMG_KIND_XRGB8888, MEMIMG_KIND_RGB565}) {
      Image img(32, 32, kind, 1);
      img.Pattern();
      DrawStringThroughCache(TEXT_DRAW, 0, 0, 0, 1.0, 1.0, "A", c.text, &img.img, nullptr, 0, font, c.edge, -1, 0,
                             nullptr);
      EXPECT_EQ(img.Get(e->xOffset, e->yOffset), kind == MEMIMG_KIND_XRGB8888 ? c.at32 : c.at16) << std::hex;
    }
  }
}

TEST_F(TextDraw, TheBrightnessScalesBothColours) {
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 1, -1, 1, 0, -1, -1);
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", font, -1, nullptr), 0);
  const FontRecord* f = GetFontRecord(font);
  const GlyphEntry* e = f->chars[uint8_t{'A'}].glyph;
  SetBrightness(128, 128, 128);
  struct Case {
    int32_t kind;
    uint32_t text, edge;  // white and (255, 0, 255) at brightness 128
  } cases[] = {{MEMIMG_KIND_XRGB8888, 0x808080, 0x800080}, {MEMIMG_KIND_RGB565, 0x8410, 0x8010}};
  for (const Case& c : cases) {
    Image img(32, 32, c.kind, 0);
    DrawStringThroughCache(TEXT_DRAW, 0, 0, 0, 1.0, 1.0, "A", PackScreenColorCore(255, 255, 255), &img.img, nullptr, 0,
                           font, PackScreenColorCore(255, 0, 255), -1, 0, nullptr);
    EXPECT_EQ(img.Get(e->xOffset, e->yOffset + 1), c.edge) << std::hex;  // the edge's top row, left corner cut
    EXPECT_EQ(img.Get(e->xOffset + 1, e->yOffset + 1), c.text) << std::hex;
  }
}

// ---- drawing with a font handle ------------------------------------------------------------

// The screen started in a mode (0 DirectDraw, 1 software-rendered) at a depth, with the
// back screen selected and filled with a colour.
class FontDraw : public TextDraw {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    PlatFontFakeReset();
    ASSERT_EQ(PlatGdiSelectFontBackend("fake"), 0);
  }
  void StartScreen(int mode, int32_t depth, int32_t target = DRAW_SCREEN_BACK) {
    g_ScreenState = ScreenState{};
    g_ScreenState.depth = uint32_t(depth);
    SetRequestedScreenDepth(depth);
    Start(1, depth, mode);
    ResetFontDefaults();
    ASSERT_EQ(QueryScreenDepth(), depth);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
  }
  static uint32_t g_fill;
  static void FillBack(uint32_t rgb) {
    g_fill = rgb;
    ASSERT_TRUE(FillBackScreen([](int32_t, int32_t) { return g_fill; }));
  }
  // The back screen's pixel as 0xRRGGBB.
  static uint32_t BackPixel(int32_t x, int32_t y) {
    const ScreenState& s = g_ScreenState;
    const ColorFormat* format = s.backImage ? s.backImage->data->format : GetScreenColorFormat();
    uint32_t v = 0;
    if (s.backImage) {
      v = ReadPixelValue(s.backImage->pixels + y * s.backImage->data->pitch + x * format->bytesPerPixel,
                         format->bytesPerPixel);
    } else {
      PlatDDSurfaceDesc d{};
      d.size = sizeof d;
      EXPECT_EQ(PlatDDSurfaceLock(s.back, nullptr, &d, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
      v = ReadPixelValue(static_cast<uint8_t*>(d.surface) + y * d.pitch + x * format->bytesPerPixel,
                         format->bytesPerPixel);
      PlatDDSurfaceUnlock(s.back, nullptr);
    }
    int32_t r = 0, g = 0, b = 0;
    PixelValueToColor(format, v, &r, &g, &b, nullptr);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
  }
  static MEMIMG* DrawingScreen(int32_t font) {
    const Surface2DRecord* piece = GetSurface2D(GetFontRecord(font)->drawingScreen);
    return piece ? &LookupSurfaceData(piece->surfaceData)->image : nullptr;
  }
};
uint32_t FontDraw::g_fill = 0;

TEST_F(FontDraw, NothingToDrawGivesZeroAndABadHandleMinusOne) {
  StartScreen(1, 16);
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  FillBack(0xFFFFFF);
  struct Case {
    const char* name;
    const char* text;
    int32_t font;
    void (*setUp)();
    int result;
  } cases[] = {
      {"null string", nullptr, font, [] {}, 0},
      {"empty string", "", font, [] {}, 0},
      {"suspended", "A", font, [] { g_ScreenState.drawingSuspended = 1; }, 0},
      {"suspended (3D)", "A", font, [] { g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = 1; }, 0},
      {"empty area", "A", font, [] { SetClipArea(5, 5, 5, 40); }, 0},
      {"bad handle", "A", font + 1, [] {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect area = g_DrawState.drawArea;
    c.setUp();
    log.clear();
    EXPECT_EQ(DrawStringWithFont(0, 0, c.text, 0, c.font, 0, 0), c.result);
    EXPECT_EQ(Logged("フォントハンドル値が異常です"), c.result == -1);
    EXPECT_EQ(BackPixel(1, 1), 0xFFFFFFu);
    g_ScreenState.drawingSuspended = 0;
    g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = 0;
    SetClipArea(area.left, area.top, area.right, area.bottom);
  }
}

// Black text on white: drawn straight for a plain draw of a plain font; through the
// font's drawing screen, over a key raised past black, for a blend or anti-aliasing. The
// DirectDraw road and the software-rendered one give the same pixels.
TEST_F(FontDraw, BlendsAndAntiAliasingGoThroughTheDrawingScreen) {
  struct Case {
    const char* name;
    int32_t type, mode, param;
    uint8_t grey;  // the text colour
    bool throughScreen;
  } cases[] = {
      {"plain", 0, BLEND_COPY, 0, 0, false},
      {"mix at 255", 0, BLEND_MIX, 255, 0, false},
      {"mix at 128", 0, BLEND_MIX, 128, 0, true},
      {"subtract", 1, BLEND_SUBTRACT, 255, 255, true},
      {"anti-aliased", 2, BLEND_COPY, 0, 0, true},
  };
  for (int32_t depth : {16, 32}) {
    std::vector<uint32_t> ink[2];
    for (int mode : {0, 1}) {
      SCOPED_TRACE(testing::Message() << depth << " bits, " << (mode ? "software" : "DirectDraw"));
      StartScreen(mode, depth);
      for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int32_t font = CreateFontToHandle(nullptr, 16, -1, c.type, -1, -1, 0, -1, -1);
        const GlyphEntry* e = nullptr;
        ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", font, -1, nullptr), 0);
        e = GetFontRecord(font)->chars[uint8_t{'A'}].glyph;
        MEMIMG* screen = DrawingScreen(font);
        ASSERT_NE(screen, nullptr);
        ClearMemImgRect(screen, nullptr, 0x1234);
        FillBack(0xFFFFFF);
        SetBlendState(c.mode, c.param);
        EXPECT_EQ(DrawStringWithFont(10, 20, "A", PackScreenColorCore(c.grey, c.grey, c.grey), font,
                                     PackScreenColorCore(255, 0, 0), 0),
                  0);
        SetBlendState(BLEND_COPY, 0);
        const uint32_t got = BackPixel(10 + e->xOffset + 1, 20 + e->yOffset + 1);
        ink[mode].push_back(got);
        EXPECT_NE(got, 0xFFFFFFu);
        if (!c.throughScreen) {
          EXPECT_EQ(got, 0u);
        }
        // Around the glyph nothing changed.
        EXPECT_EQ(BackPixel(9, 19), 0xFFFFFFu);
        EXPECT_EQ(BackPixel(10 + e->xOffset + e->width + 2, 20 + e->yOffset), 0xFFFFFFu);
        const MemImgData* data = screen->data;
        const uint32_t written = ReadPixelValue(
            screen->pixels + (e->yOffset + 1) * data->pitch + (e->xOffset + 1) * data->format->bytesPerPixel,
            data->format->bytesPerPixel);
        if (!c.throughScreen) {
          EXPECT_EQ(written, 0x1234u);
        } else if (data->alphaFlag) {
          EXPECT_NE(written & data->format->alphaMask, 0u);
        } else if (c.grey == 0) {
          // Black ink over a key raised past black.
          EXPECT_EQ(written, 0u);
          EXPECT_NE(data->transparentColor, 0u);
        }
        DeleteFontHandle(font);
      }
      EndGraphics();
    }
    EXPECT_EQ(ink[0], ink[1]);
  }
}

// A graph of 16 bits on a 32-bit screen takes two-byte pixels in its own format, up to its
// last row.
TEST_F(FontDraw, ASixteenBitGraphOnAThirtyTwoBitScreen) {
  StartScreen(1, 32);
  SetNewGraphBitDepth(16);
  const int32_t graph = MakeBlankGraph(40, 24, 1);
  SetNewGraphBitDepth(0);
  ASSERT_NE(graph, -1);
  const GraphRecord* g = LookupGraph(graph);
  MEMIMG* image = &LookupSurfaceData(GetSurface2D(g->surfaces[0])->surfaceData)->image;
  ASSERT_EQ(image->data->kind, MEMIMG_KIND_RGB565);
  ASSERT_EQ(image->data->format->bytesPerPixel, 2);
  ClearMemImgRect(image, nullptr, 0x1234);
  ASSERT_EQ(SetDrawTargetCore(graph), 0);
  PlatFontFakeSetGlyph('A', {8, 12, 0, 12, 8, 16});
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  // The glyphs' last rows are the graph's last row.
  ASSERT_EQ(DrawStringWithFont(0, 24 - 12, "AAAAAA", PackScreenColorCore(255, 255, 255), font, 0, 0), 0);
  for (int32_t y = 0; y < 24; y++)
    for (int32_t x = 0; x < 40; x++) {
      const uint16_t v = uint16_t(ReadPixelValue(image->pixels + y * image->data->pitch + x * 2, 2));
      EXPECT_EQ(v, y >= 12 ? 0xFFFF : 0x1234) << x << "," << y;
    }
}

// With masked drawing on, the line's rectangle is saved before the draw and put back where
// the mask allows no drawing: the ink stays only in the allowed columns.
TEST_F(FontDraw, MaskedTextKeepsItsInkWhereTheMaskAllows) {
  StartScreen(1, 16);
  SetMaskScreenForTest(1, 0, 0);
  ASSERT_EQ(BuildMaskScreen(1), 0);
  ASSERT_EQ(SwitchMaskScreen(1), 0);
  ASSERT_EQ(IsMaskedDrawOn(), 1);
  int32_t pitch = 0, width = 0, height = 0;
  uint8_t* mask = MaskBytesForTest(&pitch, &width, &height);
  ASSERT_NE(mask, nullptr);
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) mask[y * pitch + x] = x < 20 ? 1 : 0;
  // Not black: saved pixels of the key colour (0) would count as drawn.
  FillBack(0x204080);
  const uint32_t background = BackPixel(0, 25);
  PlatFontFakeSetGlyph('A', {8, 12, 0, 12, 8, 16});
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  ASSERT_EQ(DrawStringWithFont(4, 20, "AAAA", PackScreenColorCore(255, 255, 255), font, 0, 0), 0);
  for (int32_t x = 0; x < 40; x++) EXPECT_EQ(BackPixel(x, 25), x >= 4 && x < 20 ? 0xFFFFFFu : background) << x;
  SwitchMaskScreen(0);
  SetMaskScreenForTest(0, 0, 0);
}

// On a software-rendered front screen the window is brought up to date over the line's
// whole cell, edges included.
TEST_F(FontDraw, AnEdgedLineOnTheFrontScreenReachesTheWindowWhole) {
  StartScreen(1, 32, DRAW_SCREEN_FRONT);
  PlatFontFakeSetGlyph('A', {8, 12, 0, 12, 8, 16});
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 1, -1, 4, 0, -1, -1);
  const FontRecord* f = GetFontRecord(font);
  ASSERT_EQ(f->cellHeight, 24);
  const uint32_t red = PackScreenColorCore(255, 0, 0);
  for (int32_t vertical : {0, 1}) {
    SCOPED_TRACE(vertical);
    ASSERT_EQ(DrawStringWithFont(100, 100, "A", PackScreenColorCore(255, 255, 255), font, red, vertical), 0);
    // The edge's far side: 4 below the body's last row, or 4 right of its first row turned.
    const int32_t x = vertical ? 100 + f->cellHeight - 1 : 100 + 6, y = vertical ? 100 + 6 : 100 + 12 + 2 * 4 - 1;
    EXPECT_EQ(PlatHeadlessClientPixel(window, x, y), 0xFF0000u);
  }
}

}  // namespace
