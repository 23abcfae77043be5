// Fonts of the GDI-like layer: on FreeType with IPA Gothic, metrics as GDI derives them
// from the OS/2 table, glyphs equal to FreeType's own rendering at the same scale, the
// grey levels, .notdef for codes that do not convert, spaces; and the block-glyph fake.
#include "ddraw_fixture.h"

#include "platform/gdi/fake/fontfake.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/gdi/gdi.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <string>
#include <vector>

namespace {

constexpr const char* kIpaGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
const PlatMat2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
// "ＭＳ ゴシック" and "ＭＳ Ｐゴシック" in Shift-JIS (this file's literals are UTF-8).
const char kGothicSjis[] = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";
const char kProportionalSjis[] = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

struct Glyph {
  uint32_t size = 0;
  PlatGlyphMetrics gm{};
  std::vector<uint8_t> data;
};

// FreeType's own rendering of a character at the cell height, laid out as the layer lays
// it out: one bit a pixel (mono hinting) or, grey, one byte a pixel in FreeType's 0-255
// coverage; rows padded to 4 bytes.
struct FreeTypeGlyph {
  uint32_t width = 0, rows = 0;
  int32_t left = 0, top = 0, advance = 0;
  std::vector<uint8_t> data;
};

FreeTypeGlyph RenderWithFreeType(FT_ULong charCode, bool byIndex, int32_t cellHeight, bool mono = true) {
  FreeTypeGlyph out;
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  EXPECT_EQ(FT_Init_FreeType(&library), 0);
  EXPECT_EQ(FT_New_Face(library, kIpaGothic, 0, &face), 0);
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  FT_Size_RequestRec req{};
  req.type = FT_SIZE_REQUEST_TYPE_SCALES;
  req.width = req.height = FT_DivFix(cellHeight * 64, os2->usWinAscent + os2->usWinDescent);
  EXPECT_EQ(FT_Request_Size(face, &req), 0);
  const FT_UInt index = byIndex ? FT_UInt(charCode) : FT_Get_Char_Index(face, charCode);
  EXPECT_EQ(FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL)), 0);
  EXPECT_EQ(FT_Render_Glyph(face->glyph, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL), 0);
  const FT_Bitmap& bm = face->glyph->bitmap;
  out.width = bm.width;
  out.rows = bm.rows;
  out.left = face->glyph->bitmap_left;
  out.top = face->glyph->bitmap_top;
  out.advance = int32_t((face->glyph->advance.x + 32) >> 6);
  const uint32_t pitch = mono ? (bm.width + 31) / 32 * 4 : (bm.width + 3) / 4 * 4;
  out.data.assign(size_t(pitch) * bm.rows, 0);
  for (uint32_t y = 0; y < bm.rows; y++)
    std::memcpy(out.data.data() + y * pitch, bm.buffer + ptrdiff_t(y) * bm.pitch, mono ? (bm.width + 7) / 8 : bm.width);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return out;
}

class GdiFonts : public DDrawTest {
 protected:
  PlatDC dc = 0;
  void SetUp() override {
    DDrawTest::SetUp();
    PlatGdiFakeReset();
    PlatFontFakeReset();
    ASSERT_EQ(PlatGdiSelectFontBackend("freetype"), 0);
    dc = PlatGdiCreateCompatibleDC(0);
    ASSERT_NE(dc, 0u);
  }
  void TearDown() override {
    PlatGdiFakeReset();
    PlatFontFakeReset();
    PlatGdiSelectFontBackend("freetype");
    DDrawTest::TearDown();
  }
  PlatGdiObj Select(int32_t height, int32_t weight = 400, uint32_t italic = 0, const char* face = kGothicSjis,
                    uint32_t charSet = PLAT_SHIFTJIS_CHARSET) {
    const PlatGdiObj font = PlatCreateFont(height, weight, italic, charSet, PLAT_NONANTIALIASED_QUALITY,
                                           PLAT_FIXED_PITCH, face);
    EXPECT_NE(font, 0u);
    EXPECT_NE(PlatGdiSelectObject(dc, font), 0u);
    return font;
  }
  Glyph Get(uint32_t code, uint32_t format) {
    Glyph g;
    g.size = PlatGetGlyphOutline(dc, code, format, &g.gm, 0, nullptr, &kIdentity);
    if (g.size == PLAT_GDI_GLYPH_ERROR) return g;
    g.data.assign(g.size, 0xCD);
    PlatGlyphMetrics again{};
    EXPECT_EQ(PlatGetGlyphOutline(dc, code, format, &again, g.size, g.data.data(), &kIdentity), g.size);
    return g;
  }
};

TEST_F(GdiFonts, IpaGothicMetricsComeFromTheOs2Table) {
  struct Case {
    int32_t height, weight;
    int32_t tmHeight, ascent, descent, maxCharWidth;
  } cases[] = {
      {16, 400, 16, 13, 3, 15},
      {16, 600, 16, 13, 3, 16},  // emboldened one pixel across
      {32, 400, 32, 26, 6, 30},
      {-16, 400, 17, 14, 3, 16},  // the em: ascent and descent each scaled by 16 / unitsPerEm
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.height << " at " << c.weight);
    const PlatGdiObj font = Select(c.height, c.weight);
    PlatTextMetrics tm{};
    ASSERT_EQ(PlatGetTextMetrics(dc, &tm), 1);
    EXPECT_EQ(tm.height, c.tmHeight);
    EXPECT_EQ(tm.ascent, c.ascent);
    EXPECT_EQ(tm.descent, c.descent);
    EXPECT_EQ(tm.maxCharWidth, c.maxCharWidth);
    EXPECT_EQ(tm.weight, c.weight);
    PlatGdiSelectObject(dc, PLAT_STOCK_FONT);
    EXPECT_EQ(PlatGdiDeleteObject(font), 1);
  }
}

TEST_F(GdiFonts, OneBitGlyphsEqualFreeTypesMonoRendering) {
  Select(16);
  struct Case {
    uint32_t code;
    FT_ULong unicode;
  } cases[] = {{0x8ABF, 0x6F22}, {0x41, 0x41}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const Glyph g = Get(c.code, PLAT_GGO_BITMAP);
    const FreeTypeGlyph ft = RenderWithFreeType(c.unicode, false, 16);
    ASSERT_GT(ft.width, 0u);
    EXPECT_EQ(g.gm.blackBoxX, ft.width);
    EXPECT_EQ(g.gm.blackBoxY, ft.rows);
    EXPECT_EQ(g.gm.originX, ft.left);
    EXPECT_EQ(g.gm.originY, ft.top);
    EXPECT_EQ(g.gm.cellIncX, ft.advance);
    EXPECT_EQ(g.size, (ft.width + 31) / 32 * 4 * ft.rows);
    EXPECT_EQ(g.data, ft.data);
  }
}

TEST_F(GdiFonts, FontsOfOtherSizesAndKindsBetweenTwoAsksChangeNoGlyph) {
  // Font objects share the face and what was rendered: a glyph asked again after fonts of
  // other sizes, weights and char sets were made, used and deleted is still FreeType's own.
  const FT_ULong kanji = 0x6F22;
  const FreeTypeGlyph want16 = RenderWithFreeType(kanji, false, 16), want24 = RenderWithFreeType(kanji, false, 24);
  struct Step {
    int32_t height, weight;
    uint32_t charSet;
    const FreeTypeGlyph* want;  // null: only made and used
  } steps[] = {
      {16, 400, PLAT_SHIFTJIS_CHARSET, &want16}, {24, 400, PLAT_SHIFTJIS_CHARSET, &want24},
      {16, 700, PLAT_SHIFTJIS_CHARSET, nullptr}, {16, 400, PLAT_HANGEUL_CHARSET, nullptr},
      {16, 400, PLAT_SHIFTJIS_CHARSET, &want16}, {24, 400, PLAT_SHIFTJIS_CHARSET, &want24},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << s.height << " at " << s.weight << " in char set " << s.charSet);
    const PlatGdiObj font = Select(s.height, s.weight, 0, kGothicSjis, s.charSet);
    const Glyph g = Get(0x8ABF, PLAT_GGO_BITMAP);
    if (s.want) {
      EXPECT_EQ(g.gm.blackBoxX, s.want->width);
      EXPECT_EQ(g.gm.blackBoxY, s.want->rows);
      EXPECT_EQ(g.gm.originX, s.want->left);
      EXPECT_EQ(g.gm.originY, s.want->top);
      EXPECT_EQ(g.gm.cellIncX, s.want->advance);
      EXPECT_EQ(g.data, s.want->data);
    }
    PlatGdiSelectObject(dc, PLAT_STOCK_FONT);
    EXPECT_EQ(PlatGdiDeleteObject(font), 1);
  }
}

TEST_F(GdiFonts, GreyLevelsAreFreeTypesCoverageIn17Steps) {
  Select(32);
  for (auto [code, unicode] : {std::pair<uint32_t, FT_ULong>{0x8ABF, 0x6F22}, {0x41, 0x41}}) {
    SCOPED_TRACE(code);
    const Glyph g = Get(code, PLAT_GGO_GRAY4_BITMAP);
    const FreeTypeGlyph ft = RenderWithFreeType(unicode, false, 32, false);
    ASSERT_EQ(g.gm.blackBoxX, ft.width);
    ASSERT_EQ(g.gm.blackBoxY, ft.rows);
    ASSERT_EQ(g.data.size(), ft.data.size());
    int full = 0;
    for (size_t i = 0; i < g.data.size(); i++) {
      // Full coverage is 16, none 0, and the levels between round to the nearest step.
      EXPECT_EQ(g.data[i], (ft.data[i] * 16 + 127) / 255) << "byte " << i;
      full += ft.data[i] == 255;
    }
    EXPECT_GT(full, 0);
  }
}

TEST_F(GdiFonts, TheHangulCharSetReadsCodesAsCodePage949) {
  // 0xF9D3 is 漢 in code page 949 and a user-defined code in Shift-JIS.
  Select(16);
  const Glyph sjis = Get(0x8ABF, PLAT_GGO_BITMAP);
  const Glyph notdef = Get(0xF9D3, PLAT_GGO_BITMAP);
  Select(16, 400, 0, kGothicSjis, PLAT_HANGEUL_CHARSET);
  const Glyph hangul = Get(0xF9D3, PLAT_GGO_BITMAP);
  EXPECT_EQ(hangul.data, sjis.data);
  EXPECT_NE(hangul.data, notdef.data);
}

TEST_F(GdiFonts, CodesThatDoNotConvertGiveTheNotdefGlyph) {
  Select(16);
  const FreeTypeGlyph notdef = RenderWithFreeType(0, true, 16);
  for (uint32_t code : {0x81u, 0x8100u, 0x81FFu}) {
    SCOPED_TRACE(code);
    const Glyph g = Get(code, PLAT_GGO_BITMAP);
    ASSERT_NE(g.size, PLAT_GDI_GLYPH_ERROR);
    EXPECT_EQ(g.gm.blackBoxX, notdef.width ? notdef.width : 1);
    EXPECT_EQ(g.data, notdef.data);
  }
}

TEST_F(GdiFonts, ASpaceHasItsAdvanceAndNoData) {
  Select(16);
  for (uint32_t code : {0x20u, 0x8140u}) {
    SCOPED_TRACE(code);
    PlatGlyphMetrics gm{};
    EXPECT_EQ(PlatGetGlyphOutline(dc, code, PLAT_GGO_BITMAP, &gm, 0, nullptr, &kIdentity), 0u);
    EXPECT_EQ(gm.blackBoxX, 1u);
    EXPECT_EQ(gm.blackBoxY, 1u);
    EXPECT_EQ(gm.cellIncX, code == 0x20 ? 8 : 15);  // the em is a little below the cell
  }
}

TEST_F(GdiFonts, BoldAndItalicChangeTheGlyph) {
  Select(16, 400);
  const Glyph regular = Get(0x41, PLAT_GGO_BITMAP);
  Select(16, 700);
  const Glyph bold = Get(0x41, PLAT_GGO_BITMAP);
  EXPECT_EQ(bold.gm.cellIncX, regular.gm.cellIncX + 1);
  EXPECT_EQ(bold.gm.blackBoxX, regular.gm.blackBoxX + 1);
  Select(16, 400, 1);
  const Glyph italic = Get(0x49, PLAT_GGO_BITMAP);
  Select(16, 400, 0);
  const Glyph upright = Get(0x49, PLAT_GGO_BITMAP);
  EXPECT_GT(italic.gm.blackBoxX, upright.gm.blackBoxX);  // the shear leans the stroke
}

TEST_F(GdiFonts, TheProportionalFaceHasNarrowLetters) {
  Select(16, 400, 0, kGothicSjis);
  const Glyph fixed = Get(0x69, PLAT_GGO_BITMAP);
  Select(16, 400, 0, kProportionalSjis);
  const Glyph proportional = Get(0x69, PLAT_GGO_BITMAP);
  EXPECT_EQ(fixed.gm.cellIncX, 8);
  EXPECT_LT(proportional.gm.cellIncX, 8);
  // Unknown names are substituted, the empty one too.
  for (const char* face : {"", "No Such Face"}) {
    Select(16, 400, 0, face);
    EXPECT_EQ(Get(0x69, PLAT_GGO_BITMAP).gm.cellIncX, 8);
  }
}

TEST_F(GdiFonts, RefusalsOfTheFontCalls) {
  PlatTextMetrics tm{};
  // The stock font has no glyphs.
  EXPECT_EQ(PlatGetTextMetrics(dc, &tm), 0);
  EXPECT_EQ(PlatGetGlyphOutline(dc, 0x41, PLAT_GGO_BITMAP, nullptr, 0, nullptr, &kIdentity), PLAT_GDI_GLYPH_ERROR);
  const PlatGdiObj font = Select(16);
  EXPECT_EQ(PlatGetGlyphOutline(dc, 0x41, 2, nullptr, 0, nullptr, &kIdentity), PLAT_GDI_GLYPH_ERROR);
  EXPECT_EQ(PlatGetGlyphOutline(dc, 0x41, PLAT_GGO_BITMAP, nullptr, 0, nullptr, nullptr), PLAT_GDI_GLYPH_ERROR);
  uint8_t small[4];
  EXPECT_EQ(PlatGetGlyphOutline(dc, 0x8ABF, PLAT_GGO_BITMAP, nullptr, sizeof small, small, &kIdentity),
            PLAT_GDI_GLYPH_ERROR);
  EXPECT_EQ(PlatGetTextMetrics(0, &tm), 0);
  // A selected font stays; once let go it is deleted, and its handle is dead.
  EXPECT_EQ(PlatGdiDeleteObject(font), 0);
  EXPECT_EQ(PlatGdiSelectObject(dc, PLAT_STOCK_FONT), font);
  EXPECT_EQ(PlatGdiDeleteObject(PLAT_STOCK_FONT), 0);
  EXPECT_EQ(PlatGdiDeleteObject(font), 1);
  EXPECT_EQ(PlatGdiSelectObject(dc, font), 0u);
  PlatGdiFakeFailNext("CreateFont", 1);
  EXPECT_EQ(PlatCreateFont(16, 400, 0, 1, 3, 1, ""), 0u);
}

TEST_F(GdiFonts, TheFakeGivesBlockGlyphsAndRecordsAndRefuses) {
  ASSERT_EQ(PlatGdiSelectFontBackend("fake"), 0);
  PlatFontFakeSetGlyph(0x42, {3, 2, 1, 5, 7, 9});
  PlatFontFakeFailFace("bad");
  PlatFontFakeFailCharSet(PLAT_HANGEUL_CHARSET);
  PlatFontFakeFailGlyph(0x43);
  EXPECT_EQ(PlatCreateFont(16, 400, 0, PLAT_SHIFTJIS_CHARSET, 3, 1, "bad"), 0u);
  EXPECT_EQ(PlatCreateFont(16, 400, 0, PLAT_HANGEUL_CHARSET, 3, 1, "good"), 0u);
  const PlatGdiObj font = PlatCreateFont(16, 600, 1, PLAT_SHIFTJIS_CHARSET, 3, 1, "good");
  ASSERT_NE(font, 0u);
  const std::vector<PlatFontFakeCreate> creates = PlatFontFakeCreates();
  ASSERT_EQ(creates.size(), 3u);
  EXPECT_FALSE(creates[0].made);
  EXPECT_FALSE(creates[1].made);
  EXPECT_TRUE(creates[2].made);
  EXPECT_EQ(creates[2].weight, 600);
  EXPECT_EQ(creates[2].italic, 1u);
  EXPECT_EQ(creates[2].face, "good");

  PlatGdiSelectObject(dc, font);
  PlatTextMetrics tm{};
  ASSERT_EQ(PlatGetTextMetrics(dc, &tm), 1);
  EXPECT_EQ(tm.height, 16);
  EXPECT_EQ(tm.ascent, 12);
  EXPECT_EQ(tm.maxCharWidth, 14);
  const Glyph b = Get(0x42, PLAT_GGO_GRAY4_BITMAP);
  EXPECT_EQ(b.size, 8u);
  EXPECT_EQ(b.data, (std::vector<uint8_t>{9, 9, 9, 0, 9, 9, 9, 0}));
  EXPECT_EQ(b.gm.cellIncX, 7);
  const Glyph a = Get(0x41, PLAT_GGO_BITMAP);  // the default block: 8 x 12 on the baseline
  EXPECT_EQ(a.gm.blackBoxX, 8u);
  EXPECT_EQ(a.gm.blackBoxY, 12u);
  EXPECT_EQ(a.data[0], 0xFF);
  EXPECT_EQ(a.data[1], 0);
  EXPECT_EQ(PlatGetGlyphOutline(dc, 0x43, PLAT_GGO_BITMAP, nullptr, 0, nullptr, &kIdentity), PLAT_GDI_GLYPH_ERROR);
  EXPECT_EQ(PlatFontFakeRenders(), 2);
  PlatGdiSelectObject(dc, PLAT_STOCK_FONT);
  EXPECT_EQ(PlatGdiDeleteObject(font), 1);
  EXPECT_EQ(PlatFontFakeLiveFaces(), 0);
}

}  // namespace
