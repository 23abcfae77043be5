// Pictures into texture graphs: in place and through a temporary texture, into derived
// tiles and across tile borders, the colour key as alpha, colour fills, and pictures that
// do not cover the graph.
#include "engine/graphics/graph.h"
#include "engine/system/system.h"
#include "tests/d3d/texture_fixture.h"

namespace {

using Uploads = TextureTest;

// Every texel of every texture of the graph as want(graph x, graph y) says, where the
// texel shows a graph pixel; texels no tile shows hold `rest`.
void ExpectTexels(const GraphRecord* g, const std::function<uint32_t(int32_t, int32_t)>& want, uint32_t rest) {
  for (int32_t i = 0; i < g->surfaceCount; i++) {
    const Surface3DData* tile = TextureTest::Tile(g, i);
    const int32_t tw = TextureTest::Texture(tile)->width;
    const std::vector<uint32_t> texels = TextureTest::Texels(tile);
    int wrong = 0;
    for (size_t at = 0; at < texels.size(); at++) {
      const int32_t tx = int32_t(at % size_t(tw)), ty = int32_t(at / size_t(tw));
      const int32_t x = tx - tile->texelX, y = ty - tile->texelY;
      const bool shown = x >= 0 && y >= 0 && x < tile->usedWidth && y < tile->usedHeight;
      const uint32_t expected = shown ? want(tile->tileX + x, tile->tileY + y) : rest;
      if (texels[at] != expected && wrong++ < 3)
        ADD_FAILURE() << "tile " << i << " texel " << tx << "," << ty << ": " << std::hex << texels[at] << " not "
                      << expected;
    }
    EXPECT_EQ(wrong, 0) << "tile " << i;
  }
}

TEST_F(Uploads, TheTemporaryTextureGivesTheSameTexelsAsTheDirectWrite) {
  const Picture p = MakePicture(640, 480, 0, Pattern);
  GraphRecord* direct = NewGraph(640, 480);
  GraphRecord* through = NewGraph(640, 480);
  ASSERT_TRUE(direct && through);
  ASSERT_EQ(UploadImageToGraphTextures(0, 0, direct, &p.image, nullptr), 0);
  PlatD3DFakeClearCalls();
  for (int32_t i = 0; i < through->surfaceCount; i++) {
    PlatDDrawFakeFailNth("Lock", 1, PLAT_DDERR_SURFACEBUSY);  // the texture's own lock
    const Surface3DData* tile = Tile(through, i);
    const Rect rect{tile->tileX, tile->tileY, tile->tileX + tile->usedWidth, tile->tileY + tile->usedHeight};
    ASSERT_EQ(UploadImageToTextures(through->surfaces[i], &rect, 0, 0, &p.image, nullptr), 0);
  }
  EXPECT_EQ(CountOf("Load"), 2);
  EXPECT_TRUE(Logged("グラフィックのロックに失敗しました"));
  for (int32_t i = 0; i < 2; i++) EXPECT_EQ(Texels(Tile(through, i)), Texels(Tile(direct, i))) << i;
  ExpectTexels(direct, [&](int32_t x, int32_t y) { return Expected(Tile(direct, 0), p, x, y); }, 0);
}

TEST_F(Uploads, APictureBuildsATextureGraph) {
  Picture p = MakePicture(300, 200, 0, Pattern);
  const int32_t handle = BuildGraphFromGraphImage(&p.image, nullptr, 1, 0, 0);
  ASSERT_NE(handle, -1);
  graphs.push_back(handle);
  const GraphRecord* g = LookupGraph(handle);
  ASSERT_EQ(g->flags.texture, 1);
  ExpectTexels(g, [&](int32_t x, int32_t y) { return Expected(Tile(g, 0), p, x, y); }, 0);
}

TEST_F(Uploads, ADerivedTileWritesOnlyItsOwnRectangle) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(FillGraphTextures(g, 255, 0, 0, 255), 0);
  const uint32_t red = ColorToPixelValue(FormatOf(Tile(g, 0)), 255, 0, 0, 255);
  GraphRecord* sub = SubGraph(g, 500, 40, 100, 50);
  ASSERT_NE(sub, nullptr);
  const Picture p = MakePicture(100, 50, 0, Pattern);
  ASSERT_EQ(UploadImageToGraphTextures(0, 0, sub, &p.image, nullptr), 0);
  ExpectTexels(
      g,
      [&](int32_t x, int32_t y) {
        const bool inside = x >= 500 && x < 600 && y >= 40 && y < 90;
        return inside ? Expected(Tile(g, 0), p, x - 500, y - 40) : red;
      },
      red);
}

TEST_F(Uploads, ARectangleAcrossTilesWritesOnlyEachTilesPart) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(FillGraphTextures(g, 0, 0, 255, 255), 0);
  const uint32_t blue = ColorToPixelValue(FormatOf(Tile(g, 0)), 0, 0, 255, 255);
  const Picture p = MakePicture(200, 100, 0, Pattern);
  const Rect rect{10, 20, 110, 70};
  ASSERT_EQ(UploadImageRectToGraphTextures(&rect, 480, 100, g, &p.image, nullptr), 0);
  ExpectTexels(
      g,
      [&](int32_t x, int32_t y) {
        const bool inside = x >= 480 && x < 580 && y >= 100 && y < 150;
        return inside ? Expected(Tile(g, 0), p, x - 480 + 10, y - 100 + 20) : blue;
      },
      blue);
  // Wholly inside the second tile: the first keeps its texels.
  const std::vector<uint32_t> first = Texels(Tile(g, 0));
  const Rect small{0, 0, 8, 8};
  ASSERT_EQ(UploadImageRectToGraphTextures(&small, 600, 0, g, &p.image, nullptr), 0);
  EXPECT_EQ(Texels(Tile(g, 0)), first);
  EXPECT_EQ(GraphTexel(g, 607, 7), Expected(Tile(g, 1), p, 7, 7));
}

TEST_F(Uploads, ThePicturesColourKeyBecomesAlphaUnlessTheAlphaComesFromAPicture) {
  g_DrawState.transparentColor = 0x00FF00FF;
  GraphRecord* g = NewGraph(64, 32, 1);
  ASSERT_NE(g, nullptr);
  const ColorFormat* f = FormatOf(Tile(g, 0));
  ASSERT_NE(f->alphaWidth, 0);
  auto keyed = [](int32_t x, int32_t y) { return (x + y) % 3 == 0 ? 0xFF00FFu : Pattern(x, y); };
  const Picture plain = MakePicture(64, 32, 0, keyed);
  ASSERT_EQ(UploadImageToGraphTextures(0, 0, g, &plain.image, nullptr), 0);
  ExpectTexels(
      g,
      [&](int32_t x, int32_t y) {
        const uint32_t rgb = keyed(x, y);
        return ColorToPixelValue(f, int32_t(rgb >> 16), int32_t(rgb >> 8 & 0xFF), int32_t(rgb & 0xFF),
                                 rgb == 0xFF00FF ? 0 : 255);
      },
      0);

  // An alpha picture gives the alpha, key or not.
  const Picture alpha = MakePicture(64, 32, 0, [](int32_t x, int32_t) { return uint32_t(x * 4) << 16; });
  ASSERT_EQ(UploadImageToGraphTextures(0, 0, g, &plain.image, &alpha.image), 0);
  EXPECT_EQ(GraphTexel(g, 0, 0), ColorToPixelValue(f, 255, 0, 255, 0));
  EXPECT_EQ(GraphTexel(g, 30, 0), ColorToPixelValue(f, 255, 0, 255, 120));
  // So does a picture with alpha of its own.
  const Picture argb = MakePicture(64, 32, 0xFF000000u, [](int32_t, int32_t) { return 0x80FF00FFu; });
  ASSERT_EQ(UploadImageToGraphTextures(0, 0, g, &argb.image, nullptr), 0);
  EXPECT_EQ(GraphTexel(g, 5, 5), ColorToPixelValue(f, 255, 0, 255, 0x80));
}

TEST_F(Uploads, APaintWhileTheTargetIsUnavailableChangesNothing) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  const std::vector<uint32_t> before = Texels(Tile(g, 1));
  g_Renderer3DState.targetUnavailable = 1;
  EXPECT_EQ(PaintGraphColor(g->handle, 255, 255, 255, 255), 0);
  g_Renderer3DState.targetUnavailable = 0;
  EXPECT_EQ(Texels(Tile(g, 1)), before);
  EXPECT_EQ(PaintGraphColor(g->handle, 255, 255, 255, 255), 0);
  EXPECT_NE(Texels(Tile(g, 1)), before);
}

TEST_F(Uploads, APaintDrawsTheBatchFirstAndReportsAFailedFill) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  AddRectangles(1, Tile(g, 0));
  PlatD3DFakeClearCalls();
  ASSERT_EQ(FillGraphTextures(g, 1, 2, 3, 255), 0);
  EXPECT_EQ(CountOf("DrawPrimitive"), 1) << "what was batched shows the tiles as they were";
  EXPECT_EQ(Record().batchCount, 0u);
  // The second tile cannot be filled: the first is painted all the same.
  PlatDDrawFakeFailNth("Blt", 2, PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(FillGraphTextures(g, 255, 255, 255, 255), -1);
  EXPECT_EQ(GraphTexel(g, 0, 0), ColorToPixelValue(FormatOf(Tile(g, 0)), 255, 255, 255, 255));
}

TEST_F(Uploads, APictureSmallerThanTheGraphIsNeverReadOutside) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  // A picture of 100 x 50, its alpha picture smaller still: what they do not cover stays.
  const Picture p = MakePicture(100, 50, 0, Pattern);
  const Picture a = MakePicture(60, 50, 0, [](int32_t, int32_t) { return 0u; });
  ASSERT_EQ(UploadImageToGraphTextures(0, 0, g, &p.image, nullptr), 0);
  ExpectTexels(g, [&](int32_t x, int32_t y) { return x < 100 && y < 50 ? Expected(Tile(g, 0), p, x, y) : 0; }, 0);
  ASSERT_EQ(FillGraphTextures(g, 0, 0, 0, 0), 0);
  ASSERT_EQ(UploadImageToGraphTextures(20, 10, g, &p.image, &a.image), 0);
  ExpectTexels(g, [&](int32_t x, int32_t y) { return x < 40 && y < 40 ? Expected(Tile(g, 0), p, x + 20, y + 10) : 0; },
               0);
  // A rectangle reaching past the picture, and one that starts left of it.
  const Rect past{90, 40, 200, 100}, before{-30, -30, 10, 10};
  ASSERT_EQ(FillGraphTextures(g, 0, 0, 0, 0), 0);
  EXPECT_EQ(UploadImageRectToGraphTextures(&past, 0, 0, g, &p.image, nullptr), 0);
  EXPECT_EQ(UploadImageRectToGraphTextures(&before, 600, 0, g, &p.image, nullptr), 0);
  ExpectTexels(
      g,
      [&](int32_t x, int32_t y) {
        if (x < 10 && y < 10) return Expected(Tile(g, 0), p, x + 90, y + 40);
        if (x >= 630 && y >= 30 && y < 40) return Expected(Tile(g, 0), p, x - 630, y - 30);
        return 0u;
      },
      0);
}

TEST_F(Uploads, RefusalsWriteNothing) {
  GraphRecord* g = NewGraph(64, 64);
  ASSERT_NE(g, nullptr);
  const Picture p = MakePicture(64, 64, 0, Pattern);
  const Rect rect{0, 0, 64, 64};
  constexpr int32_t kNoRecord = 0x30000000 | 0x7FF0000 | 9;
  EXPECT_EQ(UploadImageToTextures(kNoRecord, &rect, 0, 0, &p.image, nullptr), -1);
  GraphRecord stale = *g;
  stale.surfaces[0] = kNoRecord;
  EXPECT_EQ(UploadImageToGraphTextures(0, 0, &stale, &p.image, nullptr), -1);
  EXPECT_EQ(UploadImageRectToGraphTextures(&rect, 0, 0, &stale, &p.image, nullptr), -1);
  EXPECT_EQ(FillGraphTextures(&stale, 1, 2, 3, 4), -1);
  GraphRecord none{};
  EXPECT_EQ(UploadImageToGraphTextures(0, 0, &none, &p.image, nullptr), 0) << "no tiles: nothing to do";
  TerminateDirect3D();
  EXPECT_EQ(UploadImageToGraphTextures(0, 0, &none, &p.image, nullptr), -1);
  EXPECT_EQ(FillGraphTextures(&none, 1, 2, 3, 4), -1);
}

using UploadsDeathTest = Uploads;

TEST_F(UploadsDeathTest, ATemporaryTextureThatCannotBeMadeEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  GraphRecord* g = NewGraph(64, 64);
  ASSERT_NE(g, nullptr);
  const Picture p = MakePicture(64, 64, 0, Pattern);
  EXPECT_EXIT(
      {
        PlatDDrawFakeFailNext("Lock", 1, PLAT_DDERR_SURFACEBUSY);
        PlatDDrawFakeFailNext("CreateSurface", 1, PLAT_DDERR_OUTOFMEMORY);
        UploadImageToGraphTextures(0, 0, g, &p.image, nullptr);
      },
      ::testing::ExitedWithCode(255), "");
  EXPECT_EXIT(
      {
        PlatDDrawFakeFailNext("Lock", 1, PLAT_DDERR_SURFACEBUSY);
        PlatD3DFakeFailNth("Load", 1, PLAT_DDERR_INVALIDRECT);
        UploadImageToGraphTextures(0, 0, g, &p.image, nullptr);
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
