// The texture glyph cache: its sizes and staging image, the writers of every font type,
// the cache graph and the settings around its making, and strings drawn from it on 2D
// graphs by the software renderer, against the memory cache and per-pixel models.
#include "font/fontfixture.h"

#include "engine/font/font.h"
#include "engine/font/fonttest.h"
#include "engine/font/services.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/softimage/memimg.h"
#include "platform/gdi/fake/fontfake.h"
#include "support/backscreen.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// A software-rendered screen with the fonts' texture cache on 2D graphs, the block-glyph
// fake selected (a test may make fonts on FreeType too).
class TextureCache : public SurfaceTest {
 protected:
  void SetUp() override {
    SurfaceTest::SetUp();
    PlatFontFakeReset();
    ASSERT_EQ(PlatGdiSelectFontBackend("fake"), 0);
    SetFontTextureCacheOn2DForTest(1);
  }
  void TearDown() override {
    DeleteAllFonts();
    SetFontTextureCacheOn2DForTest(0);
    FailNextFontCacheGraphForTest(0);
    PlatGdiSelectFontBackend("freetype");
    PlatFontFakeReset();
    SurfaceTest::TearDown();
  }
  void StartScreen(int32_t depth) {
    g_ScreenState = ScreenState{};
    g_ScreenState.depth = uint32_t(depth);
    SetRequestedScreenDepth(depth);
    Start(1, depth, 1);
    ResetFontDefaults();
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  }
  static uint32_t g_fill;
  static void FillBack(uint32_t rgb) {
    g_fill = rgb;
    ASSERT_TRUE(FillBackScreen([](int32_t, int32_t) { return g_fill; }));
  }
  // The back screen (a software image) as 0xRRGGBB, row by row.
  static std::vector<uint32_t> Back() {
    const MEMIMG* image = g_ScreenState.backImage;
    const ColorFormat* format = image->data->format;
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < image->height; y++)
      for (int32_t x = 0; x < image->width; x++) {
        const uint32_t v = ReadPixelValue(image->pixels + y * image->data->pitch + x * format->bytesPerPixel,
                                          format->bytesPerPixel);
        int32_t r = 0, g = 0, b = 0;
        PixelValueToColor(format, v, &r, &g, &b, nullptr);
        out.push_back(uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b));
      }
    return out;
  }
  static int32_t Width() { return g_ScreenState.backImage->width; }
  static int32_t Height() { return g_ScreenState.backImage->height; }
  // The cache graph's pixel as 0xAARRGGBB.
  static uint32_t CachePixel(const FontRecord* f, int32_t x, int32_t y) {
    const GraphRecord* g = LookupGraph(f->cacheGraph);
    const MEMIMG* image = &LookupSurfaceData(GetSurface2D(g->surfaces[0])->surfaceData)->image;
    const ColorFormat* format = image->data->format;
    const uint32_t v = ReadPixelValue(image->pixels + y * image->data->pitch + x * format->bytesPerPixel,
                                      format->bytesPerPixel);
    int32_t r = 0, gr = 0, b = 0, a = 0;
    PixelValueToColor(format, v, &r, &gr, &b, &a);
    return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(gr) << 8 | uint32_t(b);
  }
  static uint16_t Staged(const FontRecord* f, int32_t x, int32_t y) {
    return static_cast<const uint16_t*>(f->staging.pixels)[y * int32_t(f->staging.pitch) / 2 + x];
  }
};
uint32_t TextureCache::g_fill = 0;

// The size-2 edge brush.
bool Brush2(int32_t dx, int32_t dy) {
  if (dx < -2 || dx > 2 || dy < -2 || dy > 2) return false;
  return (dy >= -1 && dy <= 1) || (dx >= -1 && dx <= 1);
}

TEST_F(TextureCache, TheCacheAndTheStagingImageFollowTheCell) {
  StartScreen(32);
  struct Case {
    const char* name;
    int32_t height, maxWidth, type, edge;
    int32_t cell, width, height2, capacity, perColumn;
    int32_t stagingWidth, stagingHeight;
    bool blended;  // 4:4:4:4, else 1:5:5:5
  } cases[] = {
      {"24-pixel cell", 24, 20, 0, -1, 24, 512, 512, 441, 21, 24, 24, false},
      {"200-pixel cell", 200, 180, 2, -1, 200, 1024, 512, 10, 2, 200, 200, true},
      {"edged, edge 2", 24, 20, 1, 2, 32, 512, 512, 256, 16, 64, 36, false},
      {"anti-aliased with edge 3", 24, 20, 3, 3, 32, 512, 512, 256, 16, 64, 38, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlatFontFakeSetMetrics(c.height, {c.height, c.height * 3 / 4, c.height / 4, c.maxWidth / 2, c.maxWidth});
    const int32_t font = CreateFontToHandle(nullptr, c.height, -1, c.type, -1, c.edge, 0, -1, -1);
    ASSERT_NE(font, -1);
    const FontRecord* f = GetFontRecord(font);
    ASSERT_EQ(f->textureCache, 1);
    EXPECT_EQ(f->cellWidth, c.cell);
    EXPECT_EQ(f->cacheWidth, c.width);
    EXPECT_EQ(f->cacheHeight, c.height2);
    EXPECT_EQ(f->capacity, c.capacity);
    EXPECT_EQ(f->glyphsPerColumn, c.perColumn);
    EXPECT_EQ(f->cacheMemory, nullptr);
    EXPECT_EQ(f->drawingScreen, -1);
    EXPECT_EQ(int32_t(f->staging.width), c.stagingWidth);
    EXPECT_EQ(int32_t(f->staging.height), c.stagingHeight);
    EXPECT_EQ(f->staging.pitch, f->staging.width * 2);
    ColorFormat format{};
    StagingFormat(c.blended, &format);
    EXPECT_TRUE(SameColorFormat(&f->staging.format, &format));
    EXPECT_EQ(f->staging.format.alphaMask, c.blended ? 0xF000u : 0x8000u);
    // The cache graph, twice as wide for edge fonts, whose right half is the edge graph.
    const GraphRecord* g = LookupGraph(f->cacheGraph);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->width, c.edge > 0 ? 2 * c.width : c.width);
    EXPECT_EQ(g->height, c.height2);
    const GraphRecord* edge = LookupGraph(f->edgeCacheGraph);
    EXPECT_EQ(edge != nullptr, c.edge > 0);
    if (edge) {
      EXPECT_EQ(edge->width, c.width);
      EXPECT_EQ(edge->sourceX, c.width);
    }
    EXPECT_EQ(CachePixel(f, g->width - 1, g->height - 1), 0x00FFFFFFu);
    const int32_t cacheGraph = f->cacheGraph, edgeGraph = f->edgeCacheGraph;
    ASSERT_EQ(DeleteFontHandle(font), 0);
    EXPECT_EQ(LookupGraph(cacheGraph), nullptr);
    EXPECT_EQ(LookupGraph(edgeGraph), nullptr);
  }
}

// The staging image of one block glyph of each type: white in every colour bit, the
// coverage as alpha; the cell written into the cache graph.
TEST_F(TextureCache, TheWritersGiveWhiteWithTheCoverageAsAlpha) {
  StartScreen(32);
  PlatFontFakeSetMetrics(24, {24, 18, 6, 10, 20});
  const int32_t blockX = 2, blockY = 2;
  struct Level {
    uint8_t level;
    uint16_t pixel;
  };
  // The 4-bit-alpha format: level 16 is full alpha, level 1 none (the pixel 0x0FFF).
  for (const Level& l : {Level{16, 0xFFFF}, Level{1, 0x0FFF}, Level{8, 0x7FFF}}) {
    SCOPED_TRACE(int(l.level));
    PlatFontFakeSetGlyph('A', {3, 4, 0, 18, 8, l.level});
    const int32_t font = CreateFontToHandle(nullptr, 24, -1, 2, -1, -1, 0, -1, -1);
    const FontRecord* f = GetFontRecord(font);
    ASSERT_NE(RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("A\0\0")), nullptr);
    for (int32_t y = 0; y < f->cellWidth; y++)
      for (int32_t x = 0; x < f->cellWidth; x++)
        ASSERT_EQ(Staged(f, x, y), x < 3 && y < 4 ? l.pixel : 0) << x << "," << y;
    EXPECT_EQ(CachePixel(f, 0, 0) >> 28, uint32_t(l.pixel >> 12));
    DeleteFontHandle(font);
  }

  // Type 0: white with full alpha on the ink, in 1:5:5:5.
  PlatFontFakeSetGlyph('A', {3, 4, 0, 18, 8, 16});
  int32_t font = CreateFontToHandle(nullptr, 24, -1, 0, -1, -1, 0, -1, -1);
  const FontRecord* f = GetFontRecord(font);
  RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("A\0\0"));
  EXPECT_EQ(Staged(f, 0, 0), 0xFFFF);
  EXPECT_EQ(Staged(f, 2, 3), 0xFFFF);
  EXPECT_EQ(Staged(f, 3, 3), 0);
  EXPECT_EQ(CachePixel(f, 2, 3), 0xFFFFFFFFu);
  EXPECT_EQ(CachePixel(f, 3, 3) >> 24, 0u);
  DeleteFontHandle(font);

  // Types 1 and 3 with edge 2 on a 2 x 2 block: the body at (2, 2) on the left, the edge
  // in the right half, the brushes of both rows and columns meeting.
  for (int32_t type : {1, 3}) {
    SCOPED_TRACE(type);
    const uint32_t level = 8;
    PlatFontFakeSetGlyph('A', {2, 2, 0, 18, 8, uint8_t(level)});
    font = CreateFontToHandle(nullptr, 24, -1, type, -1, 2, 0, -1, -1);
    f = GetFontRecord(font);
    RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("A\0\0"));
    const int32_t side = f->cellWidth;
    auto body = [&](int32_t x, int32_t y) {
      return x >= blockX && x < blockX + 2 && y >= blockY && y < blockY + 2;
    };
    auto covers = [&](int32_t x, int32_t y) {
      int32_t n = 0;
      for (int32_t by = blockY; by < blockY + 2; by++)
        for (int32_t bx = blockX; bx < blockX + 2; bx++) n += Brush2(x - bx, y - by) ? 1 : 0;
      return n;
    };
    for (int32_t y = 0; y < int32_t(f->staging.height); y++)
      for (int32_t x = 0; x < side; x++) {
        uint16_t left = 0, right = 0;
        if (type == 1) {
          left = body(x, y) ? 0xFFFF : 0;
          // Only where no alpha is set yet: once, whatever the number of brushes.
          right = covers(x, y) ? 0xFFFF : 0;
        } else {
          // (256 - (16 - e)(16 - L)) >> 4 for each brush over the pixel, from 0.
          uint32_t e = 0;
          for (int32_t n = covers(x, y); n > 0; n--) e = (256 - (16 - e) * (16 - level)) >> 4;
          const bool inside = x < 2 + 4 && y < 2 + 4;
          auto colour = [&](uint32_t v) { return uint16_t(!inside ? 0 : v ? ((v << 12) - 1) | 0x0FFF : 0x0FFF); };
          left = colour(body(x, y) ? level : 0);
          right = colour(e);
        }
        ASSERT_EQ(Staged(f, x, y), left) << "body " << x << "," << y;
        ASSERT_EQ(Staged(f, side + x, y), right) << "edge " << x << "," << y;
      }
    if (type == 3) {
      // Two brushes over (0, 2): 8, then (256 - 8 x 8) >> 4 = 12; four over (1, 2): 15.
      EXPECT_EQ(Staged(f, side + 0, 2), uint16_t(((12u << 12) - 1) | 0x0FFF));
      EXPECT_EQ(Staged(f, side + 1, 2), uint16_t(((15u << 12) - 1) | 0x0FFF));
    }
    // The edge went to the same cell of the graph's right half.
    EXPECT_EQ(CachePixel(f, f->cacheWidth + blockX, blockY - 1) >> 24, type == 1 ? 0xFFu : 0xEEu);
    DeleteFontHandle(font);
  }
}

// A glyph wider and taller than its cell: the staging writes stay in the image and each
// half, the entry and the upload in the cell; the cells beside and below stay empty.
TEST_F(TextureCache, AGlyphLargerThanItsCellStaysInIt) {
  StartScreen(32);
  PlatFontFakeSetMetrics(24, {24, 18, 6, 10, 20});
  PlatFontFakeSetGlyph('A', {60, 60, 0, 18, 8, 16});
  for (int32_t type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    const int32_t font = CreateFontToHandle(nullptr, 24, -1, type, -1, type & 1 ? 3 : -1, 0, -1, -1);
    const FontRecord* f = GetFontRecord(font);
    const GlyphEntry* e = RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("A\0\0"));
    ASSERT_NE(e, nullptr);
    const int32_t side = f->cellWidth;
    EXPECT_EQ(e->width, side);
    EXPECT_EQ(e->height, side);
    EXPECT_EQ(CachePixel(f, side - 1, side - 1) >> 24, 0xFFu);
    EXPECT_EQ(CachePixel(f, side, 0), 0x00FFFFFFu);  // the cell to the right
    EXPECT_EQ(CachePixel(f, 0, side), 0x00FFFFFFu);  // the cell below
    if (type & 1) {
      EXPECT_EQ(CachePixel(f, f->cacheWidth + side - 1, side - 1) >> 24, 0xFFu);
      EXPECT_EQ(CachePixel(f, f->cacheWidth + side, 0), 0x00FFFFFFu);
      EXPECT_EQ(CachePixel(f, f->cacheWidth, side), 0x00FFFFFFu);
    }
    DeleteFontHandle(font);
  }
}

// A cell taken again for an empty glyph (not a space) keeps nothing of the glyph it held:
// the whole cell goes up, both halves, and an empty glyph's too (an edged one is drawn
// over its edges' extent).
TEST_F(TextureCache, ACellTakenAgainKeepsNothingOfItsOldGlyph) {
  StartScreen(32);
  PlatFontFakeSetMetrics(24, {24, 18, 6, 10, 20});
  PlatFontFakeSetGlyph('A', {20, 20, 0, 18, 8, 16});
  PlatFontFakeSetGlyph('B', {0, 0, 0, 0, 8, 16});
  const int32_t font = CreateFontToHandle(nullptr, 24, -1, 1, -1, 2, 0, -1, -1);
  FontRecord* f = GetFontRecord(font);
  ASSERT_NE(RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("A\0\0")), nullptr);
  ASSERT_EQ(CachePixel(f, 10, 10) >> 24, 0xFFu);
  f->nextEntry = 0;
  const GlyphEntry* e = RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("B\0\0"));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->cell, 0);
  EXPECT_EQ(e->width, 4);
  for (int32_t y = 0; y < f->cellWidth; y++)
    for (int32_t x = 0; x < f->cellWidth; x++) {
      ASSERT_EQ(CachePixel(f, x, y) >> 24, 0u) << x << "," << y;
      ASSERT_EQ(CachePixel(f, f->cacheWidth + x, y) >> 24, 0u) << x << "," << y;
    }
}

// The settings for new graphs are the program's again after the cache graph was made, and
// after it failed at either step; a failure falls back to the memory cache with its line.
TEST_F(TextureCache, TheNewGraphSettingsComeBackOnEveryPath) {
  StartScreen(32);
  for (int32_t failure : {0, 1, 2}) {
    SCOPED_TRACE(failure);
    SetNewGraphAlpha(0);
    SetNewGraphColorKey(1);
    SetNewGraphBitDepth(32);
    g_DrawState.use3D = 0;
    const int32_t graphs = g_GraphTable.table.count;
    log.clear();
    FailNextFontCacheGraphForTest(failure);
    const int32_t font = CreateFontToHandle(nullptr, 16, -1, 3, -1, 2, 0, -1, -1);
    ASSERT_NE(font, -1);
    const FontRecord* f = GetFontRecord(font);
    EXPECT_EQ(GetNewGraphAlpha(), 0);
    EXPECT_EQ(GetNewGraphColorKey(), 1);
    EXPECT_EQ(GetNewGraphBitDepth(), 32);
    EXPECT_EQ(g_DrawState.use3D, 0);
    EXPECT_EQ(f->textureCache, failure == 0 ? 1 : 0);
    EXPECT_EQ(Logged("テクスチャ文字キャッシュの作成に失敗しました"), failure != 0);
    EXPECT_EQ(g_GraphTable.table.count, graphs + (failure == 0 ? 2 : 0));
    if (failure) {
      EXPECT_EQ(f->cacheGraph, -1);
      EXPECT_NE(f->cacheMemory, nullptr);
      EXPECT_EQ(DrawStringWithFont(0, 0, "AB", PackScreenColorCore(255, 255, 255), font, 0, 0), 0);
    }
    DeleteFontHandle(font);
    EXPECT_EQ(g_GraphTable.table.count, graphs);
  }
  SetNewGraphBitDepth(0);
}

// Horizontal text of types 0 and 1 draws, through the cache graph and the brightness as
// tint, the pixels the memory cache writes: IPA Gothic at 16 and 32 bits, dimmed too.
TEST_F(TextureCache, HorizontalTextDrawsWhatTheMemoryCacheDraws) {
  PlatGdiSelectFontBackend("freetype");
  for (int32_t depth : {32, 16})
    for (int32_t type : {0, 1})
      for (int32_t bright : {255, 128}) {
        SCOPED_TRACE(testing::Message() << depth << " bits, type " << type << ", brightness " << bright);
        std::vector<uint32_t> frames[2];
        size_t width = 0;
        for (int32_t texture : {1, 0}) {
          SetFontTextureCacheOn2DForTest(texture);
          StartScreen(depth);
          const int32_t font = CreateFontToHandle(nullptr, 24, -1, type, -1, type ? 2 : -1, 0, -1, -1);
          ASSERT_EQ(GetFontRecord(font)->textureCache, texture);
          FillBack(0x204060);
          SetBrightness(bright, bright, bright);
          ASSERT_EQ(DrawStringWithFont(7, 9, "漢字かなAg", PackScreenColorCore(255, 128, 32), font,
                                       PackScreenColorCore(16, 64, 200), 0),
                    0);
          // Cut at the draw area's right edge.
          ASSERT_EQ(DrawStringWithFont(560, 60, "漢字かなAg", PackScreenColorCore(255, 255, 255), font,
                                       PackScreenColorCore(255, 0, 0), 0),
                    0);
          SetBrightness(255, 255, 255);
          frames[texture] = Back();
          width = size_t(Width());
          DeleteFontHandle(font);
          EndGraphics();
        }
        size_t inked = 0;
        for (size_t k = 0; k < frames[0].size(); k++) {
          const uint32_t want = frames[0][k], got = frames[1][k];
          inked += want != 0x204060 ? 1 : 0;
          SCOPED_TRACE(testing::Message() << "at " << k % width << "," << k / width << std::hex << ": " << got
                                          << " for " << want);
          // At 16 bits the cores tint white's 5:6:5 fields by the brightness, which may
          // land one step below the colour packed directly; the ink is the same.
          ASSERT_EQ(got == 0x204060, want == 0x204060);
          for (int shift : {0, 8, 16}) {
            const int32_t a = int32_t(got >> shift & 0xFF), b = int32_t(want >> shift & 0xFF);
            ASSERT_LE(std::abs(a - b), depth == 16 ? 8 : 0);
          }
        }
        EXPECT_GT(inked, 300u);
      }
}

// Scaled and vertical strings against a model that places each cache pixel of the glyph
// (the edge half first, then the body) by the texture path's geometry: scaled twice, one
// cell pixel covers two by two; turned, glyph pixel (i, j) goes to column X - 1 - j. The
// 2D cores truncate the quad's corners (X - 0.5 to X - 1), which puts the turned glyph one
// row up; the draw area of each glyph cuts away the row above its line. The draw area,
// the blend graph and the brightness are as they were after every draw.
TEST_F(TextureCache, ScaledAndVerticalTextFollowTheirModels) {
  PlatGdiSelectFontBackend("freetype");
  StartScreen(32);
  const uint32_t background = 0x204060, text = 0xFF8020, edge = 0x1040C8;
  const int32_t blend = MakeBlankGraph(640, 480, 1);
  ASSERT_NE(blend, -1);
  struct Case {
    const char* name;
    int32_t type, vertical;
    uint8_t scaled;
  } cases[] = {
      {"horizontal scaled", 0, 0, 1}, {"vertical", 0, 1, 0},         {"vertical scaled", 0, 1, 1},
      {"edged horizontal scaled", 1, 0, 1}, {"edged vertical", 1, 1, 0}, {"edged vertical scaled", 1, 1, 1},
  };
  const char* line = "漢字かなAg";
  const int32_t x0 = 31, y0 = 17;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t font = CreateFontToHandle(nullptr, 20, -1, c.type, -1, c.type ? 1 : -1, 0, -1, -1);
    const FontRecord* f = GetFontRecord(font);
    ASSERT_EQ(f->textureCache, 1);
    ASSERT_EQ(PrepareStringGlyphs(nullptr, line, font, -1, nullptr), 0);
    FillBack(background);
    SetClipArea(5, 6, 600, 470);
    SetBlendGraphState(blend, 10, 20);
    SetBrightness(255, 255, 255);
    const DrawState before = g_DrawState;
    const int32_t graphs = g_GraphTable.table.count;
    const double scale = c.scaled ? 2.0 : 1.0;
    const int advance = DrawStringThroughCache(TEXT_DRAW, x0, y0, c.scaled, scale, scale, line,
                                               PackScreenColorCore(255, 128, 32), nullptr, nullptr, 1, font,
                                               PackScreenColorCore(16, 64, 200), -1, c.vertical, nullptr);
    EXPECT_GT(advance, 0);
    EXPECT_EQ(std::memcmp(&g_DrawState.drawArea, &before.drawArea, sizeof before.drawArea), 0);
    EXPECT_EQ(std::memcmp(g_DrawState.drawAreaF, before.drawAreaF, sizeof before.drawAreaF), 0);
    EXPECT_EQ(g_DrawState.areaEmpty, before.areaEmpty);
    EXPECT_EQ(g_DrawState.blendGraph, blend);
    EXPECT_EQ(g_DrawState.blendGraphParam[0], 10);
    EXPECT_EQ(g_DrawState.blendGraphParam[1], 20);
    EXPECT_EQ(BrightnessWord(g_DrawState), 0xFFFFFFu);
    EXPECT_EQ(g_GraphTable.table.count, graphs);
    SetBlendGraphState(-1, 0, 0);

    // The model.
    std::vector<uint32_t> model(size_t(Width()) * size_t(Height()), background);
    const Rect area{5, 6, 600, 470};
    auto put = [&](int64_t px, int64_t py, const Rect& clip, uint32_t colour) {
      Rect r = clip;
      ClipRect(&r, &area);
      if (px >= r.left && px < r.right && py >= r.top && py < r.bottom) model[size_t(py) * size_t(Width()) + size_t(px)] = colour;
    };
    auto t = [](double v) { return int64_t(v); };
    double pen = 0;
    int32_t count = 0;
    PrepareStringGlyphs(nullptr, line, font, -1, &count);
    const std::vector<GlyphCell> cells(FontScratchCells(), FontScratchCells() + count);
    for (const GlyphCell& cell : cells) {
      const GlyphEntry* e = f->chars[GlyphCellKey(cell)].glyph;
      int32_t cx, cy;
      GlyphCellPosition(f, e->cell, &cx, &cy);
      const int32_t w = e->width, h = e->height;
      for (int pass = c.type ? 0 : 1; pass < 2; pass++) {
        const int32_t from = pass == 0 ? f->cacheWidth : 0;
        const uint32_t colour = pass == 0 ? edge : text;
        auto ink = [&](int64_t i, int64_t j) {
          return i >= 0 && j >= 0 && i < w && j < h && (CachePixel(f, int32_t(from + cx + i), int32_t(cy + j)) >> 24) != 0;
        };
        if (!c.vertical) {
          const int64_t left = x0 + t(e->xOffset * scale + pen), top = y0 + t(e->yOffset * scale);
          const int64_t W = t(w * scale), H = t(h * scale);
          const Rect clip{int32_t(left), int32_t(top), int32_t(left + W), int32_t(top + H)};
          for (int64_t v = 0; v < H; v++)
            for (int64_t u = 0; u < W; u++)
              if (ink(u * w / W, v * h / H)) put(left + u, top + v, clip, colour);
        } else {
          const int64_t X = x0 + t((f->cellHeight - e->yOffset) * scale), Y = y0 + t(e->xOffset * scale + pen);
          const int64_t W = t(w * scale), H = t(h * scale);
          const Rect clip{int32_t(X - H - 1), int32_t(Y), int32_t(X + 1), int32_t(Y + W)};
          for (int64_t v = 0; v < H; v++)
            for (int64_t u = 0; u < W; u++)
              if (ink(u * w / W, v * h / H)) put(X - 1 - v, Y - 1 + u, clip, colour);
        }
      }
      pen += (e->advance + f->extraAdvance) * scale;
    }
    const std::vector<uint32_t> got = Back();
    size_t inked = 0;
    for (size_t k = 0; k < model.size(); k++) {
      inked += model[k] != background ? 1 : 0;
      ASSERT_EQ(got[k], model[k]) << std::hex << got[k] << " for " << model[k] << std::dec << " at "
                                  << k % size_t(Width()) << "," << k / size_t(Width());
    }
    EXPECT_GT(inked, 300u);
    DeleteFontHandle(font);
  }
}

// With the cache graph gone, every glyph draw fails: each form still puts the draw area,
// the blend graph and the brightness back and leaves no sub-graph. The string draw makes
// the lost graphs again before it draws.
TEST_F(TextureCache, FailedDrawsPutEverythingBackAndALostCacheIsMadeAgain) {
  StartScreen(32);
  PlatFontFakeSetGlyph('A', {6, 9, 1, 12, 8, 16});
  const int32_t blend = MakeBlankGraph(640, 480, 1);
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 1, -1, 2, 0, -1, -1);
  FontRecord* f = GetFontRecord(font);
  ASSERT_EQ(f->textureCache, 1);
  ASSERT_EQ(FreeGraph(f->cacheGraph, 0), 0);
  ASSERT_EQ(f->cacheGraphLost, 1);
  FillBack(0);
  SetClipArea(3, 4, 300, 200);
  SetBlendGraphState(blend, 7, 9);
  SetBrightness(200, 100, 50);
  const DrawState before = g_DrawState;
  const int32_t graphs = g_GraphTable.table.count;
  for (int32_t vertical : {0, 1})
    for (uint8_t scaled : {uint8_t(0), uint8_t(1)}) {
      SCOPED_TRACE(testing::Message() << "vertical " << vertical << ", scaled " << int(scaled));
      EXPECT_EQ(DrawStringThroughCache(TEXT_DRAW, 10, 10, scaled, 1.5, 1.5, "AAA", PackScreenColorCore(255, 255, 255),
                                       nullptr, nullptr, 1, font, 0, -1, vertical, nullptr),
                scaled ? 54 : 36);  // advances of 8 + twice the edge
      EXPECT_EQ(std::memcmp(&g_DrawState.drawArea, &before.drawArea, sizeof before.drawArea), 0);
      EXPECT_EQ(std::memcmp(g_DrawState.drawAreaF, before.drawAreaF, sizeof before.drawAreaF), 0);
      EXPECT_EQ(g_DrawState.blendGraph, blend);
      EXPECT_EQ(g_DrawState.blendGraphParam[0], 7);
      EXPECT_EQ(g_DrawState.blendGraphParam[1], 9);
      EXPECT_EQ(BrightnessWord(g_DrawState), BrightnessWord(before));
      EXPECT_EQ(g_GraphTable.table.count, graphs);
    }
  std::vector<uint32_t> back = Back();
  EXPECT_EQ(std::count(back.begin(), back.end(), 0u), std::ptrdiff_t(back.size()));

  SetBlendGraphState(-1, 0, 0);
  SetBrightness(255, 255, 255);
  ASSERT_EQ(DrawStringWithFont(10, 10, "A", PackScreenColorCore(255, 255, 255), font, PackScreenColorCore(255, 0, 0), 0),
            0);
  EXPECT_EQ(f->cacheGraphLost, 0);
  ASSERT_NE(LookupGraph(f->cacheGraph), nullptr);
  ASSERT_NE(LookupGraph(f->edgeCacheGraph), nullptr);
  // The old edge graph went with the new one's making: one graph and its edge graph.
  EXPECT_EQ(g_GraphTable.table.count, graphs + 1);
  back = Back();
  const int32_t w = Width();
  // The glyph's box at (10 + 1, 10), its body 2 in.
  EXPECT_EQ(back[size_t(10 + 2) * size_t(w) + size_t(11 + 2)], 0xFFFFFFu);
  EXPECT_EQ(back[size_t(10 + 1) * size_t(w) + size_t(11 + 2)], 0xFF0000u);
  EXPECT_EQ(back[size_t(10) * size_t(w) + size_t(11)], 0u);
}

}  // namespace
