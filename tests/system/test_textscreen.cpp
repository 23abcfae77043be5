// Text on the screen of a started engine, on the headless back ends and FreeType: the
// default font's line in the presented frame, glyph by glyph as the font layer renders it;
// the on-screen log drawn over the frame; and the log's font across graphics rebuilds.
#include "engine/engine.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/system/screenlog.h"
#include "engine_start.h"
#include "platform/display/headless/headlessdisplay.h"
#include "support/backscreen.h"
#include "support/glyphcells.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kWidth = 640, kHeight = 480;

class TextOnScreen : public EngineStart {
 protected:
  void SetUp() override {
    EngineStart::SetUp();
    g_ScreenLog = ScreenLog{};
    ChangeWindowMode(1);
    ASSERT_EQ(EngineInitCore(), 0);
    window = GetEngineWindowHandle();
    ASSERT_EQ(SetDrawTarget(DRAW_SCREEN_BACK), 0);
  }
  void TearDown() override {
    g_ScreenLog.drawFlag = 0;
    EngineStart::TearDown();
    g_ScreenLog = ScreenLog{};
  }

  // The window's client area as the display's store holds it.
  std::vector<uint32_t> Frame() const {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++) out.push_back(PlatHeadlessClientPixel(window, x, y));
    return out;
  }

  // Each glyph of the string from its cache cell, placed where its entry puts it:
  // (x + x offset + pen, y + y offset). Ink takes ink(cache value), the rest stays.
  static void Place(std::vector<uint32_t>* frame, int32_t font, const char* text, int32_t x, int32_t y,
                    uint32_t (*ink)(uint32_t)) {
    ForEachCachedGlyphPixel(font, text, [&](const GlyphEntry* e, int32_t pen, int32_t i, int32_t j, uint32_t v) {
      const int32_t px = x + e->xOffset + pen + i, py = y + e->yOffset + j;
      if (v && px >= 0 && py >= 0 && px < kWidth && py < kHeight) (*frame)[size_t(py * kWidth + px)] = ink(v);
    });
  }

  PlatWnd window = 0;
};

// The line in the default font is white exactly where the font layer's bitmaps of its
// characters have ink, each where its cache entry places it; nothing else changes.
TEST_F(TextOnScreen, TheDefaultFontsLineIsTheLayersGlyphsInTheFrame) {
  const char* text = "日本語のソフト ABC";  // ソ is 83 5C: its second byte is a backslash
  ASSERT_EQ(PresentScreen(), 0);
  const std::vector<uint32_t> before = Frame();
  ASSERT_EQ(DrawTextDefaultFont(10, 10, text, PackScreenColor(255, 255, 255), 0), 0);
  ASSERT_EQ(PresentScreen(), 0);
  const std::vector<uint32_t> after = Frame();

  // The layer's own bitmaps, against the cache's: the same ink, the same placement.
  const int32_t font = QueryDefaultFont();
  const FontRecord* f = GetFontRecord(font);
  ASSERT_EQ(f->fontType, 0);
  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  const PlatGdiObj old = PlatGdiSelectObject(dc, f->gdiFont);
  PlatTextMetrics tm{};
  PlatGetTextMetrics(dc, &tm);
  const PlatMat2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
  std::vector<uint32_t> want = before;
  int32_t pen = 0, inked = 0;
  for (const char* p = text; *p;) {
    const bool two = (uint8_t(p[0]) >= 0x81 && uint8_t(p[0]) <= 0x9F) || uint8_t(p[0]) >= 0xE0;
    const uint32_t code = two ? uint32_t(uint8_t(p[0])) << 8 | uint8_t(p[1]) : uint8_t(p[0]);
    const uint16_t key = uint16_t(uint8_t(p[0]) | (two ? uint8_t(p[1]) << 8 : 0));
    p += two ? 2 : 1;
    PlatGlyphMetrics gm{};
    const uint32_t size = PlatGetGlyphOutline(dc, code, PLAT_GGO_BITMAP, &gm, 0, nullptr, &identity);
    ASSERT_NE(size, PLAT_GDI_GLYPH_ERROR);
    const GlyphEntry* e = f->chars[key].glyph;
    ASSERT_NE(e, nullptr);
    if (code != 0x20 && size > 0) {
      EXPECT_EQ(e->xOffset, gm.originX);
      EXPECT_EQ(e->yOffset, tm.ascent - gm.originY);
      std::vector<uint8_t> bits(size);
      ASSERT_NE(PlatGetGlyphOutline(dc, code, PLAT_GGO_BITMAP, &gm, size, bits.data(), &identity),
                PLAT_GDI_GLYPH_ERROR);
      const uint32_t pitch = size / gm.blackBoxY;
      for (uint32_t j = 0; j < gm.blackBoxY; j++)
        for (uint32_t i = 0; i < gm.blackBoxX; i++)
          if (bits[j * pitch + (i >> 3)] >> (7 - (i & 7)) & 1) {
            want[size_t((10 + e->yOffset + int32_t(j)) * kWidth + 10 + e->xOffset + pen + int32_t(i))] = 0xFFFFFF;
            inked++;
          }
    }
    pen += gm.cellIncX;
  }
  PlatGdiSelectObject(dc, old);
  PlatGdiDeleteDC(dc);
  EXPECT_GT(inked, 200);
  int32_t wrong = 0;
  for (size_t k = 0; k < want.size(); k++)
    if ((after[k] & 0xFFFFFF) != (want[k] & 0xFFFFFF) && wrong++ < 5)
      ADD_FAILURE() << "(" << k % kWidth << ", " << k / kWidth << "): " << std::hex << after[k] << ", want "
                    << want[k];
  EXPECT_EQ(wrong, 0);
}

// With its flag set, the present draws the log's lines at y = 16 x line, white with a
// black edge, from the cache cells of the log's font (16, thickness 4, type 1, no face).
TEST_F(TextOnScreen, TheLogIsDrawnOverThePresentedFrame) {
  ASSERT_EQ(g_ScreenLog.setUp, 1);
  const int32_t font = g_ScreenLog.fontHandle;
  const FontRecord* f = GetFontRecord(font);
  ASSERT_NE(f, nullptr);
  EXPECT_STREQ(f->faceName, "");
  EXPECT_EQ(f->size, 16);
  EXPECT_EQ(f->thickness, 4);
  EXPECT_EQ(f->fontType, 1);
  EXPECT_EQ(f->deletedFlag, &g_ScreenLog.fontMissing);

  ASSERT_TRUE(FillBackScreen([](int32_t, int32_t) { return 0x0000FFu; }));
  std::strcpy(g_ScreenLog.lines[0], "Log 0");
  std::strcpy(g_ScreenLog.lines[2], "日本語 2");
  std::strcpy(g_ScreenLog.lines[29], "last");
  g_ScreenLog.drawFlag = 1;
  ASSERT_EQ(PresentScreen(), 0);
  // The model's cells: the same font with its glyphs in memory (a texture cache's pixels
  // are the device's own).
  const int32_t use3D = g_DrawState.use3D;
  g_DrawState.use3D = 0;
  const int32_t twin = CreateFontToHandle(nullptr, f->size, f->thickness, f->fontType, f->charSet, f->edgeSize,
                                          f->italic, -1, -1);
  g_DrawState.use3D = use3D;
  ASSERT_NE(twin, -1);
  ASSERT_EQ(GetFontRecord(twin)->textureCache, 0);
  std::vector<uint32_t> want(size_t(kWidth) * kHeight, 0x0000FF);
  for (int32_t i : {0, 2, 29})
    Place(&want, twin, g_ScreenLog.lines[i], 0, 16 * i, [](uint32_t v) { return v == 1 ? 0xFFFFFFu : 0u; });
  DeleteFontHandle(twin);
  const std::vector<uint32_t> got = Frame();
  int32_t wrong = 0;
  for (size_t k = 0; k < want.size(); k++)
    if ((got[k] & 0xFFFFFF) != want[k] && wrong++ < 5)
      ADD_FAILURE() << "(" << k % kWidth << ", " << k / kWidth << "): " << std::hex << got[k] << ", want " << want[k];
  EXPECT_EQ(wrong, 0);
  EXPECT_NE(want, std::vector<uint32_t>(size_t(kWidth) * kHeight, 0x0000FF));
}

// Each rebuild makes every font again under its own handle; the log's font is made anew
// on the next present, the old one going first: two fonts live after fifty, the default
// font and the log's.
TEST_F(TextOnScreen, FiftyRebuildsLeaveTwoFonts) {
  std::strcpy(g_ScreenLog.lines[0], "x");
  g_ScreenLog.drawFlag = 1;
  for (int i = 0; i < 50; i++) {
    ASSERT_EQ(RebuildGraphicsSystem(), 0);
    ASSERT_EQ(PresentScreen(), 0);
  }
  EXPECT_EQ(g_FontSystem.table.count, 2);
  EXPECT_TRUE(IsFontHandleValid(g_ScreenLog.fontHandle));
  EXPECT_TRUE(IsFontHandleValid(QueryDefaultFont()));
}

}  // namespace
