// Fonts on the Direct3D renderer: with the device up they take the texture glyph cache on
// their own, its graph cut into textures of the two 16-bit formats with alpha, and without
// 3D drawing they keep their glyphs in memory.
#include "tests/d3d/texture_fixture.h"

#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/drawsettings.h"

namespace {

using FontsOnTheDevice = TextureTest;

TEST_F(FontsOnTheDevice, TakeTheTextureCacheOnTheirOwn) {
  ASSERT_EQ(IsHardware3DActive(), 1);
  for (int32_t type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    const int32_t font = CreateFontToHandle(nullptr, 16, -1, type, -1, type & 1 ? 2 : -1, 0, -1, -1);
    ASSERT_NE(font, -1) << log;
    const FontRecord* f = GetFontRecord(font);
    ASSERT_EQ(f->textureCache, 1);
    const GraphRecord* g = LookupGraph(f->cacheGraph);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->flags.texture, 1u);
    // 4:4:4:4 for anti-aliased glyphs, 1:5:5:5 for the others.
    const ColorFormat* format = FormatOf(Tile(g, 0));
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->bitDepth, 16);
    EXPECT_EQ(format->alphaMask, type & 2 ? 0xF000u : 0x8000u);
    EXPECT_EQ(GraphTexel(g, 0, 0), format->redMask | format->greenMask | format->blueMask);  // white, alpha 0
    // A glyph reaches the texture: white with alpha somewhere in its cell.
    const GlyphEntry* e = RenderGlyphsToCache(font, 1, reinterpret_cast<const GlyphCell*>("W\0\0"));
    ASSERT_NE(e, nullptr);
    int32_t cx = 0, cy = 0, opaque = 0;
    GlyphCellPosition(f, e->cell, &cx, &cy);
    for (int32_t y = 0; y < e->height; y++)
      for (int32_t x = 0; x < e->width; x++) opaque += (GraphTexel(g, cx + x, cy + y) & format->alphaMask) != 0;
    EXPECT_GT(opaque, 10);
    DeleteFontHandle(font);
  }
  // Without 3D drawing, memory.
  g_DrawState.use3D = 0;
  const int32_t font = CreateFontToHandle(nullptr, 16, -1, 0, -1, -1, 0, -1, -1);
  ASSERT_NE(font, -1);
  EXPECT_EQ(GetFontRecord(font)->textureCache, 0);
  DeleteFontHandle(font);
  g_DrawState.use3D = 1;
}

}  // namespace
