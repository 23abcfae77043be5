// Font handles and the glyph cache in memory, on the headless screen: the default font's
// geometry on IPA Gothic, and on the block-glyph fake the arguments, retries, limits,
// refreshes, the cache ring and the bytes each font type writes into its cells.
#include "font/fontfixture.h"

#include "engine/base/memory.h"
#include "engine/d3d/direct3d.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "platform/gdi/fake/fontfake.h"

#include <cstring>

namespace {

class Fonts : public FakeFontTest {
 protected:
  static int32_t Make(int32_t size, int32_t type = 0, int32_t edge = -1, const char* face = "") {
    return CreateFontToHandle(face, size, -1, type, -1, edge, 0, -1, -1);
  }
  // The cache cell of a character as rows of bytes (8-bit caches).
  static std::vector<std::vector<uint8_t>> Cell(int32_t font, uint16_t key, int32_t rows, int32_t cols) {
    const FontRecord* f = GetFontRecord(font);
    const GlyphEntry* e = f->chars[key].glyph;
    int32_t x, y;
    GlyphCellPosition(f, e->cell, &x, &y);
    std::vector<std::vector<uint8_t>> out(size_t(rows), std::vector<uint8_t>(size_t(cols), 0));
    for (int32_t r = 0; r < rows; r++)
      for (int32_t c = 0; c < cols; c++) out[size_t(r)][size_t(c)] = f->cacheMemory[size_t(y + r) * f->cachePitch + x + c];
    return out;
  }
};

TEST_F(Fonts, TheDefaultAndTheLogFontOnIpaGothic) {
  ASSERT_EQ(PlatGdiSelectFontBackend("freetype"), 0);
  struct Case {
    int32_t thickness, type, cellWidth, cellHeight, capacity;
  } cases[] = {{6, 0, 24, 16, 568}, {4, 1, 24, 18, 568}};
  for (const Case& c : cases) {
    const int32_t font = CreateFontToHandle(nullptr, 16, c.thickness, c.type, -1, -1, 0, -1, -1);
    const FontRecord* f = GetFontRecord(font);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->cellWidth, c.cellWidth);
    EXPECT_EQ(f->cellHeight, c.cellHeight);
    EXPECT_EQ(f->capacity, c.capacity);
    EXPECT_NE(f->drawingScreen, -1);
    EXPECT_EQ(DeleteFontHandle(font), 0);
  }
}

TEST_F(Fonts, ArgumentsAreNormalised) {
  const size_t before = PlatFontFakeCreates().size();
  const int32_t font = CreateFontToHandle(nullptr, -1, -1, -1, -1, -1, 0, -1, -1);
  ASSERT_NE(font, -1);
  const PlatFontFakeCreate made = PlatFontFakeCreates()[before];
  EXPECT_EQ(made.height, 16);
  EXPECT_EQ(made.weight, 600);
  EXPECT_EQ(made.quality, 3u);
  EXPECT_EQ(made.pitchAndFamily, 1u);
  EXPECT_EQ(GetFontRecord(Make(16, 0, 2))->fontType, 1);

  char face[FONT_FACE_BYTES] = "x";
  int32_t size = 0, thickness = 0;
  EXPECT_EQ(QueryFontSettings(face, &size, &thickness, Make(20, 0, -1, "Face")), 0);
  EXPECT_STREQ(face, "Face");
  EXPECT_EQ(size, 20);
  EXPECT_EQ(thickness, 6);
  EXPECT_EQ(QueryFontSettings(nullptr, nullptr, nullptr, font), 0);
  EXPECT_EQ(QueryFontSettings(face, &size, &thickness, font + 1), -1);
}

TEST_F(Fonts, ArgumentsPastTheTablesAndFieldsAreRefused) {
  const std::string longFace(300, 'a');
  const std::string longestFace(FONT_FACE_BYTES - 1, 'a');
  // A 65,536-pixel cell: its square wraps to 0 in 32 bits.
  PlatFontFakeSetMetrics(64000, {64000, 48000, 16000, 100, 65534});
  struct Case {
    const char* face;
    int32_t size, type, charSet, edge, slot;
    const char* message;  // null: made
    bool reachesTheLayer;
  } cases[] = {
      {"", 16, 0, 3, -1, -1, "文字セット 3 には対応していません", false},
      {"", 16, 0, -2, -1, -1, "文字セット -2 には対応していません", false},
      {"", 16, 0, -1, -1, 40, "フォントハンドルの番号 40 は範囲外です", false},
      {"", 16, 1, -1, 0, -1, "縁の太さ 0 の縁付きフォントは作成できません", false},
      {longFace.c_str(), 16, 0, -1, -1, -1, "フォント名が長すぎます", false},
      {"", 64000, 0, -1, -1, -1, "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle", true},
      {longestFace.c_str(), 16, 0, -1, -1, -1, nullptr, true},
      {"", 16, 0, 2, -1, 39, nullptr, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message ? c.message : "made");
    log.clear();
    const size_t creates = PlatFontFakeCreates().size();
    const int32_t blocks = GetTrackedBlockCount();
    const int objects = PlatGdiFakeLiveObjects();
    const int32_t font = CreateFontToHandle(c.face, c.size, 6, c.type, c.charSet, c.edge, 0, c.slot, -1);
    EXPECT_EQ(PlatFontFakeCreates().size() > creates, c.reachesTheLayer);
    if (!c.message) {
      EXPECT_NE(font, -1);
      EXPECT_EQ(DeleteFontHandle(font), 0);
      continue;
    }
    EXPECT_EQ(font, -1);
    EXPECT_TRUE(Logged(c.message));
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
    EXPECT_EQ(PlatGdiFakeLiveObjects(), objects);
  }
}

TEST_F(Fonts, AntiAliasingIsDroppedOnAn8BitScreen) {
  g_ScreenState.depth = 8;
  SetRequestedScreenDepth(8);
  const int32_t font = Make(16, 3);
  ASSERT_NE(font, -1);
  EXPECT_EQ(GetFontRecord(font)->fontType, 1);
}

TEST_F(Fonts, FortyFontsAndStaleHandles) {
  std::vector<int32_t> fonts{QueryDefaultFont()};
  while (fonts.size() < 40) fonts.push_back(Make(16));
  log.clear();
  EXPECT_EQ(Make(16), -1);
  EXPECT_TRUE(Logged("作成できるフォントハンドル数 40 の限界を超えました"));
  const int32_t old = fonts[5];
  EXPECT_EQ(DeleteFontHandle(old), 0);
  const int32_t reused = Make(16);
  EXPECT_EQ(HandleSlot(reused), HandleSlot(old));
  EXPECT_EQ(IsFontHandleValid(old), 0);
  EXPECT_EQ(DeleteFontHandle(old), -1);
  EXPECT_EQ(IsFontHandleValid(reused), 1);
}

TEST_F(Fonts, RefreshKeepsHandlesAndAdvancesAndSetsTheWatchedFlag) {
  const int32_t a = Make(16), b = Make(20, 1, 2);
  SetFontExtraAdvance(3, b);
  int32_t flag = 7;
  ASSERT_EQ(WatchFontDeletion(a, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(RefreshAllFontHandles(), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(IsFontHandleValid(a), 1);
  EXPECT_EQ(IsFontHandleValid(b), 1);
  EXPECT_EQ(IsFontHandleValid(QueryDefaultFont()), 1);
  EXPECT_EQ(GetFontRecord(b)->extraAdvance, 3);
  EXPECT_EQ(GetFontRecord(b)->edgeSize, 2);
  EXPECT_EQ(QueryFontSize(b), 20);
}

TEST_F(Fonts, FaceRetriesAndTheirMessages) {
  const char kGothic[] = "ＭＳ ゴシック";
  struct Case {
    const char* face;
    std::vector<std::pair<std::string, uint32_t>> tries;  // face, char set
    std::vector<uint32_t> italics;
    const char* message;
  } cases[] = {
      {"Face", {{"Face", 128}, {"Face", 1}, {"Face", 128}}, {1, 1, 1}, "指定のフォントの作成に失敗しました"},
      {"", {{kGothic, 128}, {kGothic, 1}, {"", 1}}, {1, 0, 0}, "フォントの作成に失敗しました"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.face);
    PlatFontFakeReset();
    for (const auto& t : c.tries) PlatFontFakeFailFace(t.first.c_str());
    log.clear();
    const int32_t live = GetTrackedBlockCount();
    EXPECT_EQ(CreateFontToHandle(c.face, 16, 6, 0, -1, -1, 1, -1, -1), -1);
    const std::vector<PlatFontFakeCreate> creates = PlatFontFakeCreates();
    ASSERT_EQ(creates.size(), c.tries.size());
    for (size_t i = 0; i < creates.size(); i++) {
      EXPECT_EQ(creates[i].face, c.tries[i].first);
      EXPECT_EQ(creates[i].charSet, c.tries[i].second);
      EXPECT_EQ(creates[i].italic, c.italics[i]);
    }
    EXPECT_TRUE(Logged(c.message));
    EXPECT_EQ(GetTrackedBlockCount(), live);
  }
}

TEST_F(Fonts, ADeviceContextFailureDeletesTheFontOnce) {
  const int objects = PlatGdiFakeLiveObjects();
  PlatGdiFakeFailNext("CreateCompatibleDC", 1);
  PlatGdiFakeLogCalls(1);
  EXPECT_EQ(Make(16), -1);
  const std::vector<std::string> calls = PlatGdiFakeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "DeleteObject"), 1);
  EXPECT_TRUE(Logged("ＤＣの取得に失敗しました"));
  EXPECT_EQ(PlatGdiFakeLiveObjects(), objects);
}

TEST_F(Fonts, ALostDrawingScreenIsMadeAgainTheScreensSize) {
  for (int32_t type : {0, 2}) {
    SCOPED_TRACE(type);
    const int32_t font = Make(16, type);
    FontRecord* f = GetFontRecord(font);
    const int32_t lost = f->drawingScreen;
    ASSERT_EQ(DeleteSurface2D(lost), 0);
    EXPECT_EQ(f->drawingScreenLost, 1);
    ASSERT_EQ(RestoreFontCacheGraphs(font), 0);
    EXPECT_EQ(f->drawingScreenLost, 0);
    const Surface2DRecord* screen = GetSurface2D(f->drawingScreen);
    ASSERT_NE(screen, nullptr);
    int32_t width = 0, height = 0;
    QueryScreenSize(&width, &height);
    EXPECT_EQ(screen->width, width);
    EXPECT_EQ(screen->height, height);
    EXPECT_EQ(LookupSurfaceData(screen->surfaceData)->flags.alpha, type == 2 ? 1 : 0);
    const int32_t made = f->drawingScreen;
    EXPECT_EQ(DeleteFontHandle(font), 0);
    EXPECT_EQ(GetSurface2D(made), nullptr);
  }
}

TEST_F(Fonts, CacheCapacityFollowsTheCell) {
  PlatFontFakeSetMetrics(200, {200, 150, 50, 100, 198});
  EXPECT_EQ(GetFontRecord(Make(16))->capacity, 1280);
  EXPECT_EQ(GetFontRecord(Make(200))->capacity, 20);
}

TEST_F(Fonts, TheCacheIsARing) {
  PlatFontFakeSetMetrics(200, {200, 150, 50, 100, 198});
  const int32_t font = Make(200);
  const FontRecord* f = GetFontRecord(font);
  ASSERT_EQ(f->capacity, 20);
  std::string text;
  for (int i = 0; i < 21; i++) text += char('A' + i);
  const int renders = PlatFontFakeRenders();
  ASSERT_EQ(PrepareStringGlyphs(nullptr, text.c_str(), font, -1, nullptr), 0);
  EXPECT_EQ(PlatFontFakeRenders() - renders, 20);  // a batch never passes the capacity
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "U", font, -1, nullptr), 0);
  EXPECT_EQ(f->chars[uint8_t{'A'}].cached, 0u);
  EXPECT_EQ(f->chars[uint8_t{'U'}].cached, 1u);
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", font, -1, nullptr), 0);
  EXPECT_EQ(f->chars[uint8_t{'A'}].cached, 1u);
  EXPECT_EQ(PlatFontFakeRenders() - renders, 22);
}

TEST_F(Fonts, SpacesAndEmptyGlyphsTakeAnEmptyEntryWithTheirAdvance) {
  PlatFontFakeSetGlyph(0x20, {0, 0, 0, 0, 5, 0});
  PlatFontFakeSetGlyph(0x8140, {0, 0, 0, 0, 11, 0});
  // Any other glyph without data keeps its origin; nothing is fetched or written.
  PlatFontFakeSetGlyph('B', {0, 0, 2, 5, 6, 0});
  struct Case {
    int32_t type, edge, side;
  } cases[] = {{0, -1, 0}, {1, 2, 4}};
  for (const Case& c : cases) {
    const int32_t font = Make(16, c.type, c.edge);
    const int renders = PlatFontFakeRenders();
    ASSERT_EQ(PrepareStringGlyphs(nullptr, " \x81\x40" "B", font, -1, nullptr), 0);
    EXPECT_EQ(PlatFontFakeRenders(), renders);
    const FontRecord* f = GetFontRecord(font);
    for (auto [key, advance] : {std::pair<uint16_t, int>{0x20, 5}, {0x4081, 11}, {'B', 6}}) {
      const GlyphEntry* e = f->chars[key].glyph;
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->width, c.side);
      EXPECT_EQ(e->height, c.side);
      EXPECT_EQ(e->advance, advance + c.side);
    }
    EXPECT_EQ(f->chars[uint8_t{'B'}].glyph->xOffset, 2);
    EXPECT_EQ(f->chars[uint8_t{'B'}].glyph->yOffset, 12 - 5);  // the fake's ascent at 16 is 12
  }
}

TEST_F(Fonts, AnEdgedBlockHasItsBodyAndTheSize2Ring) {
  PlatFontFakeSetGlyph('A', {2, 2, 0, 12, 4, 16});
  const int32_t font = Make(16, 1, 2);
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", font, -1, nullptr), 0);
  // The body at (2, 2); the brush reaches two rows up and down over three columns, one
  // row up and down over five.
  const std::vector<std::vector<uint8_t>> want = {
      {0, 2, 2, 2, 2, 0, 0},
      {2, 2, 2, 2, 2, 2, 0},
      {2, 2, 1, 1, 2, 2, 0},
      {2, 2, 1, 1, 2, 2, 0},
      {2, 2, 2, 2, 2, 2, 0},
      {0, 2, 2, 2, 2, 0, 0},
      {0, 0, 0, 0, 0, 0, 0},
  };
  EXPECT_EQ(Cell(font, 'A', 7, 7), want);
  const GlyphEntry* e = GetFontRecord(font)->chars[uint8_t{'A'}].glyph;
  EXPECT_EQ(e->width, 6);
  EXPECT_EQ(e->height, 6);
  EXPECT_EQ(e->advance, 8);
}

TEST_F(Fonts, AntiAliasedTypesStoreTheLevelLessOne) {
  PlatFontFakeSetGlyph('A', {2, 1, 0, 12, 4, 9});
  const int32_t plain = Make(16, 2);
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", plain, -1, nullptr), 0);
  EXPECT_EQ(Cell(plain, 'A', 2, 3), (std::vector<std::vector<uint8_t>>{{8, 8, 0}, {0, 0, 0}}));
  const int32_t edged = Make(16, 3, 1);
  ASSERT_EQ(PrepareStringGlyphs(nullptr, "A", edged, -1, nullptr), 0);
  EXPECT_EQ(Cell(edged, 'A', 3, 4),
            (std::vector<std::vector<uint8_t>>{{0, 0x80, 0x80, 0}, {0x80, 0x88, 0x88, 0x80}, {0, 0x80, 0x80, 0}}));
}

TEST_F(Fonts, StringsAreCutIntoCells) {
  const int32_t font = Make(16);
  std::vector<GlyphCell> cells(8);
  int32_t count = 0;
  ASSERT_EQ(PrepareStringGlyphs(cells.data(), "\x8A\xBF\x8E\x9A", font, 3, &count), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(cells[1].bytes[0], 0x8E);
  EXPECT_EQ(cells[1].bytes[1], 0x9A);
  const std::string longText(600, 'x');
  ASSERT_EQ(PrepareStringGlyphs(nullptr, (longText + "\x8A\xBF").c_str(), font, -1, &count), 0);
  EXPECT_EQ(count, 601);
  EXPECT_EQ(FontScratchCells()[600].bytes[0], 0x8A);
  EXPECT_EQ(GetFontRecord(font)->chars[0xBF8A].cached, 1u);
}

TEST_F(Fonts, AGlyphLargerThanItsCellStaysInside) {
  PlatFontFakeSetGlyph('W', {100, 90, -3, 30, 100, 16});
  PlatFontFakeSetGlyph('V', {100, 90, -3, 30, 100, 16});
  for (int32_t type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    const int32_t font = Make(16, type, type & 1 ? 2 : -1);
    const FontRecord* f = GetFontRecord(font);
    // The first cell: the one below it stays blank.
    ASSERT_EQ(PrepareStringGlyphs(nullptr, "W", font, -1, nullptr), 0);
    const size_t cellBytes = size_t(f->cachePitch) * size_t(f->cellWidth);
    const std::vector<uint8_t> blank(cellBytes, 0);
    EXPECT_EQ(std::vector<uint8_t>(f->cacheMemory + cellBytes, f->cacheMemory + 2 * cellBytes), blank);
    const GlyphEntry* e = f->chars[uint8_t{'W'}].glyph;
    EXPECT_EQ(e->width, f->cellWidth);
    EXPECT_EQ(e->height, f->cellWidth);
    // The last cell: a glyph running out of it would pass the cache's end.
    const std::vector<GlyphCell> others(size_t(f->capacity - 2), GlyphCell{{0x81, 0x41, 0}});
    ASSERT_NE(RenderGlyphsToCache(font, int32_t(others.size()), others.data()), nullptr);
    ASSERT_EQ(PrepareStringGlyphs(nullptr, "V", font, -1, nullptr), 0);
    EXPECT_EQ(f->chars[uint8_t{'V'}].glyph->cell, f->capacity - 1);
  }
}

TEST_F(Fonts, NothingIsRenderedWhileDrawingIsSuspended) {
  const int32_t font = Make(16);
  const GlyphCell a{{'A', 0, 0}};
  const int renders = PlatFontFakeRenders();
  g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = 1;
  EXPECT_EQ(RenderGlyphsToCache(font, 1, &a), nullptr);
  g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED] = 0;
  EXPECT_EQ(PlatFontFakeRenders(), renders);
  EXPECT_EQ(GetFontRecord(font)->chars[uint8_t{'A'}].cached, 0u);
  EXPECT_NE(RenderGlyphsToCache(font, 1, &a), nullptr);
  EXPECT_EQ(GetFontRecord(font)->chars[uint8_t{'A'}].cached, 1u);
}

TEST_F(Fonts, TheStartAndEndLogAndLeaveNothing) {
  DeleteAllFonts();
  const int32_t live = GetTrackedBlockCount();
  log.clear();
  ResetFontDefaults();
  EXPECT_TRUE(Logged("フォントの初期化を行います"));
  EXPECT_TRUE(Logged("フォントの初期化は正常に終了しました"));
  EXPECT_EQ(IsFontHandleValid(QueryDefaultFont()), 1);
  Make(16);
  PrepareStringGlyphs(nullptr, std::string(300, 'y').c_str(), QueryDefaultFont(), -1, nullptr);
  DeleteAllFonts();
  EXPECT_EQ(IsFontHandleValid(QueryDefaultFont()), 0);
  EXPECT_EQ(GetTrackedBlockCount(), live);
  EXPECT_EQ(PlatFontFakeLiveFaces(), 0);
}

}  // namespace
