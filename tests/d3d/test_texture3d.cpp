// The 3D texture records and the cutting of graphs into tiles: the table's slots and
// checks, shared textures, derived offsets, restores, the blend texture, the tile sizes
// of one length, splits and sub-graph derivations.
#include "engine/graphics/drawsettings.h"
#include "tests/d3d/texture_fixture.h"

#include <algorithm>

namespace {

using Texture3D = TextureTest;

constexpr SurfaceCreateFlags kPlain16{1, 0, 0, 0, 0, 0, 16, 0, 0};

// A tile of its own texture, and count records derived from it (each at the table's next
// slot); the handles, the tile first.
std::vector<int32_t> TileAndDerived(int32_t count) {
  std::vector<int32_t> handles{AddSurface3DData(64, 64, 0, 0, 64, 64, 0, nullptr, 0, 0, &kPlain16)};
  for (int32_t i = 0; i < count; i++)
    handles.push_back(AddSurface3DData(0, 0, 0, 0, 8, 8, 0, LookupTexture3D(handles[0]), 1, 1, nullptr));
  return handles;
}

TEST_F(Texture3D, TheSlotsInUseFollowTheTopRecordDownOverEmptySlots) {
  const std::vector<int32_t> h = TileAndDerived(4);  // slots 0 to 4
  const HandleTable& t = g_Direct3D.textures;
  ASSERT_EQ(t.highWater, 5);
  for (int32_t i = 0; i < 5; i++) EXPECT_EQ(HandleSlot(h[size_t(i)]), i);
  ASSERT_EQ(RemoveTexture3D(h[2]), 0);
  EXPECT_EQ(t.highWater, 5) << "a slot below the top leaves the count";
  ASSERT_EQ(RemoveTexture3D(h[3]), 0);
  ASSERT_EQ(RemoveTexture3D(h[4]), 0);
  EXPECT_EQ(t.highWater, 2) << "down past the empty slots 3 and 2";
  EXPECT_EQ(RemoveTexture3D(h[1]), 0);
  EXPECT_EQ(RemoveTexture3D(h[0]), 0);
  EXPECT_EQ(t.highWater, 0);
  EXPECT_EQ(t.count, 0);
}

TEST_F(Texture3D, AFullTableRefusesWithItsLineAndThenFillsTheLowestEmptySlot) {
  const int32_t surfaces = LiveSurfaces();
  const std::vector<int32_t> h = TileAndDerived(TEXTURE3D_TABLE_SIZE - 1);
  ASSERT_EQ(LiveRecords(), TEXTURE3D_TABLE_SIZE);
  ASSERT_EQ(std::count(h.begin(), h.end(), -1), 0);
  log.clear();
  EXPECT_EQ(AddSurface3DData(0, 0, 0, 0, 8, 8, 0, LookupTexture3D(h[0]), 0, 0, nullptr), -1);
  EXPECT_EQ(log, "３Ｄグラフィックの数が許容量を越えました。\n");
  ASSERT_EQ(RemoveTexture3D(h[900]), 0);
  ASSERT_EQ(RemoveTexture3D(h[7]), 0);
  const int32_t again = AddSurface3DData(0, 0, 0, 0, 8, 8, 0, LookupTexture3D(h[0]), 0, 0, nullptr);
  EXPECT_EQ(HandleSlot(again), 7);
  EXPECT_EQ(Texture(LookupTexture3D(h[0]))->refCount, TEXTURE3D_TABLE_SIZE - 1);
  EXPECT_EQ(RemoveAllTextures(), 0);
  EXPECT_EQ(LiveRecords(), 0);
  EXPECT_EQ(LiveSurfaces(), surfaces) << "the shared texture went with its last record";
}

TEST_F(Texture3D, ASharedTextureLivesUntilItsLastRecordGoes) {
  const std::vector<int32_t> h = TileAndDerived(1);
  const int32_t surface = LookupTexture3D(h[0])->surface;
  ASSERT_EQ(LookupTexture3D(h[1])->surface, surface);
  ASSERT_EQ(RemoveTexture3D(h[0]), 0);
  ASSERT_NE(LookupSurfaceData(surface), nullptr);
  EXPECT_EQ(LookupSurfaceData(surface)->refCount, 1);
  ASSERT_EQ(RemoveTexture3D(h[1]), 0);
  EXPECT_EQ(LookupSurfaceData(surface), nullptr);
}

TEST_F(Texture3D, ADerivedRecordOfADerivedRecordCountsFromTheTexturesCorner) {
  const int32_t tile = AddSurface3DData(128, 64, 0, 0, 100, 60, 0, nullptr, 0, 0, &kPlain16);
  const int32_t first = AddSurface3DData(0, 0, 0, 0, 50, 30, 0, LookupTexture3D(tile), 10, 20, nullptr);
  const int32_t second = AddSurface3DData(0, 0, 4, 2, 16, 8, 0, LookupTexture3D(first), 3, 4, nullptr);
  const Surface3DData* r = LookupTexture3D(second);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->texelX, 13);
  EXPECT_EQ(r->texelY, 24);
  // The quad sits at the record's place, its texels from (13, 24) over 128 x 64.
  const float expected[4][4] = {{4, 2, 13.0f / 128, 24.0f / 64},
                                {20, 2, 29.0f / 128, 24.0f / 64},
                                {4, 10, 13.0f / 128, 32.0f / 64},
                                {20, 10, 29.0f / 128, 32.0f / 64}};
  for (int i = 0; i < 4; i++) {
    const PlatD3DTexturedVertex& v = r->vertices[i];
    EXPECT_EQ(v.x, expected[i][0]) << i;
    EXPECT_EQ(v.y, expected[i][1]) << i;
    EXPECT_FLOAT_EQ(v.u, expected[i][2]) << i;
    EXPECT_FLOAT_EQ(v.v, expected[i][3]) << i;
    EXPECT_EQ(v.z, 0.0f);
    EXPECT_EQ(v.rhw, 1.0f);
    EXPECT_EQ(v.diffuse, 0xFFFFFFFFu);
  }
}

TEST_F(Texture3D, AStaleHandleIsRefusedEverywhere) {
  const std::vector<int32_t> h = TileAndDerived(1);
  ASSERT_EQ(RemoveTexture3D(h[1]), 0);
  const int32_t reused = AddSurface3DData(0, 0, 0, 0, 8, 8, 0, LookupTexture3D(h[0]), 0, 0, nullptr);
  ASSERT_EQ(HandleSlot(reused), HandleSlot(h[1])) << "the slot is taken again";
  const Rect r{0, 0, 1, 1};
  EXPECT_EQ(LookupTexture3D(h[1]), nullptr);
  EXPECT_EQ(RemoveTexture3D(h[1]), -1);
  EXPECT_EQ(UnlockTexture3D(h[1], &r), -1);
  EXPECT_NE(LookupTexture3D(reused), nullptr);
  EXPECT_EQ(LookupTexture3D((h[1] & ~0x30000000) | 0x38000000), nullptr) << "another kind of handle";
}

TEST_F(Texture3D, ATextureThatCannotBeMadeLeavesTheTableAndItsCheckCounterAlone) {
  const uint32_t check = g_Direct3D.textures.nextCheck;
  PlatDDrawFakeFailNext("CreateSurface", 1, PLAT_DDERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(AddSurface3DData(64, 64, 0, 0, 64, 64, 0, nullptr, 0, 0, &kPlain16), -1);
  EXPECT_EQ(g_Direct3D.textures.nextCheck, check);
  EXPECT_EQ(LiveRecords(), 0);
  EXPECT_EQ(g_Direct3D.textures.highWater, 0);
}

TEST_F(Texture3D, WithDirect3DOffRecordsAreRefused) {
  TerminateDirect3D();
  log.clear();
  EXPECT_EQ(AddSurface3DData(64, 64, 0, 0, 64, 64, 0, nullptr, 0, 0, &kPlain16), -1);
  EXPECT_EQ(log, "３Ｄグラフィックエンジンが初期化されていません\n");
  EXPECT_EQ(RemoveAllTexturesIfActive(), -1);
  EXPECT_EQ(RestoreAllTextures(), -1);
}

TEST_F(Texture3D, RestoringAGraphReportsALostTileAndStopsAtARemovedHandle) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 2);
  const PlatDDSurface second = Texture(Tile(g, 1))->surface;
  EXPECT_EQ(RestoreGraphTextures(g), 0) << "nothing lost";

  PlatDDrawFakeLoseSurface(second);
  EXPECT_EQ(RestoreGraphTextures(g), -1) << "one tile must be filled again";
  EXPECT_EQ(PlatDDSurfaceIsLost(second), PLAT_DD_OK);

  PlatDDrawFakeLoseSurface(second);
  ASSERT_EQ(RemoveTexture3D(g->surfaces[0]), 0);
  EXPECT_EQ(RestoreGraphTextures(g), -1);
  EXPECT_EQ(PlatDDSurfaceIsLost(second), PLAT_DDERR_SURFACELOST) << "the walk stopped at the removed handle";
  EXPECT_EQ(RestoreAllTextures(), 0);
  EXPECT_EQ(PlatDDSurfaceIsLost(second), PLAT_DD_OK);
}

TEST_F(Texture3D, TheBlendGraphsFirstTileBecomesTheBlendTexture) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(BindGraphTexture(g, 10, 20), 0);
  EXPECT_EQ(Record().blendTexture, Texture(Tile(g, 0))->surface);
  EXPECT_EQ(Record().blendThreshold, 10);
  EXPECT_EQ(Record().blendRange, 20);
  EXPECT_EQ(g_Direct3D.blendTextureSize[0], 512.0f);
  EXPECT_EQ(g_Direct3D.blendTextureReciprocal[1], 1.0f / 512.0f);

  Record().statesDirty = 0;
  EXPECT_EQ(BindGraphTexture(nullptr, -1, 30), 0);
  EXPECT_EQ(Record().blendTexture, 0u);
  EXPECT_EQ(Record().blendThreshold, 10) << "-1 keeps it";
  EXPECT_EQ(Record().blendRange, 30);
  EXPECT_EQ(Record().statesDirty, 1u);

  GraphRecord empty{};
  EXPECT_EQ(BindGraphTexture(&empty, 0, 0), -1) << "no valid first tile";
  EXPECT_EQ(ApplyTextureStage3D(1), 0);
  EXPECT_EQ(Record().filterMode, 1u);
}

TEST_F(Texture3D, ARestoredDeviceBindsTheBlendGraphsNewTextureAgain) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  g_DrawState.blendGraph = g->handle;
  g_DrawState.blendGraphParam[0] = 12;
  g_DrawState.blendGraphParam[1] = 34;
  ASSERT_EQ(BindGraphTexture(g, 12, 34), 0);
  ASSERT_EQ(ReleaseDirect3DObject(), 0);
  ASSERT_EQ(AcquireDirect3DObject(), 0);
  const PlatDDSurface remade = Texture(Tile(g, 0))->surface;
  ASSERT_NE(remade, 0u);
  EXPECT_EQ(Record().blendTexture, remade);
  EXPECT_EQ(Record().blendThreshold, 12);
  EXPECT_EQ(Record().blendRange, 34);
}

// ---- tile sizes ------------------------------------------------------------------------

struct SizeCase {
  int32_t length;
  int32_t single;
  uint32_t maxSize;
  std::vector<int32_t> sizes;
};

TEST_F(Texture3D, TileSizesOfOneLength) {
  const SizeCase cases[] = {
      {10, 0, 2048, {16}},          {20, 0, 2048, {32}},         {100, 0, 2048, {128}},
      {480, 0, 2048, {512}},        {640, 0, 2048, {512, 128}},  {700, 0, 2048, {512, 128, 64}},
      {1000, 0, 2048, {1024}},      {1064, 0, 2048, {1024, 64}}, {1500, 0, 2048, {1024, 512}},
      {2048, 0, 2048, {1024, 1024}}, {3000, 1, 2048, {2048, 1024}}, {700, 1, 2048, {1024}},
  };
  g_Direct3D.minTextureSize = 1;
  for (const SizeCase& c : cases) {
    g_Direct3D.maxTextureSize = c.maxSize;
    int32_t sizes[GRAPH_TILE_LIMIT] = {};
    const int32_t n = ChooseTextureSize(c.length, sizes, c.single);
    EXPECT_EQ(std::vector<int32_t>(sizes, sizes + n), c.sizes) << c.length << " single " << c.single;
  }
}

TEST_F(Texture3D, ALengthOfMoreThanSixtyFourTilesIsReportedWithoutWritingPastTheList) {
  g_Direct3D.minTextureSize = 1;
  g_Direct3D.maxTextureSize = 2048;
  int32_t sizes[GRAPH_TILE_LIMIT + 16];
  std::fill(std::begin(sizes), std::end(sizes), -7);
  EXPECT_GT(ChooseTextureSize(70000, sizes, 0), GRAPH_TILE_LIMIT);
  EXPECT_TRUE(std::all_of(sizes + GRAPH_TILE_LIMIT, std::end(sizes), [](int32_t v) { return v == -7; }));
  EXPECT_EQ(sizes[GRAPH_TILE_LIMIT - 1], 1024);
}

// ---- splits ----------------------------------------------------------------------------

TEST_F(Texture3D, AScreenSizedGraphSplitsIntoTwoTiles) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 2);
  const Surface3DData* a = Tile(g, 0);
  const Surface3DData* b = Tile(g, 1);
  EXPECT_EQ(Texture(a)->width, 512);
  EXPECT_EQ(Texture(a)->height, 512);
  EXPECT_EQ(Texture(b)->width, 128);
  EXPECT_EQ(Texture(b)->height, 512);
  EXPECT_EQ(b->tileX, 512);
  EXPECT_EQ(b->tileY, 0);
  EXPECT_EQ(b->usedWidth, 128);
  EXPECT_EQ(b->usedHeight, 480);
  EXPECT_EQ(a->usedWidth, 512);
  EXPECT_EQ(b->ownerGraph, g->handle);
  EXPECT_EQ(b->vertices[3].x, 640.0f);
  EXPECT_EQ(b->vertices[3].y, 480.0f);
  EXPECT_FLOAT_EQ(b->vertices[3].v, 480.0f / 512.0f);
}

// The corners of a tile on or above the rising diagonal of a 640 x 480 graph
// (y <= 480 - x * 0.75): top-left, top-right, bottom-left, bottom-right.
TEST_F(Texture3D, CornerSidesFollowTheRisingDiagonal) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  const uint8_t left[4] = {1, 1, 1, 0};   // (0,0) (512,0) (0,480) (512,480)
  const uint8_t right[4] = {1, 1, 0, 0};  // (512,0) (640,0), on the line, (512,480) (640,480)
  EXPECT_TRUE(std::equal(left, left + 4, Tile(g, 0)->cornerSide));
  EXPECT_TRUE(std::equal(right, right + 4, Tile(g, 1)->cornerSide));
  GraphRecord* sub = SubGraph(g, 100, 100, 200, 100);
  ASSERT_NE(sub, nullptr);
  const uint8_t own[4] = {1, 1, 1, 0};  // against the sub-graph's own diagonal
  EXPECT_TRUE(std::equal(own, own + 4, Tile(sub, 0)->cornerSide));
}

TEST_F(Texture3D, TooManyTilesAreRefusedWithTheLineAndLeaveNoRecord) {
  const int32_t surfaces = LiveSurfaces();
  log.clear();
  EXPECT_EQ(NewGraph(9000, 8000), nullptr);  // 9 x 8 tiles of at most 1024
  EXPECT_NE(log.find("エラー：画像の分割数が最大数の 64 を超えました"), std::string::npos) << log;
  EXPECT_EQ(LiveRecords(), 0);
  EXPECT_EQ(LiveSurfaces(), surfaces);
}

TEST_F(Texture3D, ATileThatCannotBeMadeTakesTheSplitsEarlierTilesWithIt) {
  const int32_t surfaces = LiveSurfaces();
  PlatDDrawFakeFailNth("CreateSurface", 2, PLAT_DDERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(NewGraph(640, 480), nullptr);
  EXPECT_EQ(LiveRecords(), 0);
  EXPECT_EQ(LiveSurfaces(), surfaces);
}

TEST_F(Texture3D, TilesThatWouldStartPastSixteenBitsAreRefused) {
  // Tiles of up to 2048 for graphs made in create mode 1: 33 columns, the last at 65,536.
  g_Direct3D.maxTextureSize = 2048;
  SetGraphCreateMode(1);
  log.clear();
  EXPECT_EQ(NewGraph(66000, 16), nullptr);
  SetGraphCreateMode(0);
  EXPECT_NE(log.find("エラー：画像の分割数が最大数の 64 を超えました"), std::string::npos) << log;
  EXPECT_EQ(LiveRecords(), 0);
}

class SquareOnlyTexture3D : public TextureTest {
 protected:
  void SetUp() override {
    Direct3DTest::SetUp();
    if (HasFatalFailure()) return;
    PlatD3DFakeDevice square = FakeDevice(PLAT_D3DDEVTYPE_HAL, "square");
    square.desc.triCaps.textureCaps = PLAT_D3DPTEXTURECAPS_POW2 | PLAT_D3DPTEXTURECAPS_SQUAREONLY;
    PlatD3DFakeSetDevices({square});
    PlatD3DFakeForward(1);
    Up();
    g_GraphTable.available3D = 1;
  }
};

struct Placed {
  int32_t x, y, w, h, usedW, usedH;
  bool operator==(const Placed&) const = default;
};

std::vector<Placed> Layout(const GraphRecord* g) {
  std::vector<Placed> out;
  for (int32_t i = 0; i < g->surfaceCount; i++) {
    const Surface3DData* t = LookupTexture3D(g->surfaces[i]);
    const SurfaceData* s = LookupSurfaceData(t->surface);
    out.push_back({t->tileX, t->tileY, s->width, s->height, t->usedWidth, t->usedHeight});
  }
  return out;
}

TEST_F(SquareOnlyTexture3D, TallTilesBecomeSquaresAppendedAtTheEnd) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  const std::vector<Placed> expected = {{0, 0, 512, 512, 512, 480},       {512, 0, 128, 128, 128, 128},
                                        {512, 128, 128, 128, 128, 128},   {512, 256, 128, 128, 128, 128},
                                        {512, 384, 128, 128, 128, 96}};
  EXPECT_EQ(Layout(g), expected);
}

TEST_F(SquareOnlyTexture3D, SquaresWhollyOutsideTheGraphAreNotMade) {
  GraphRecord* g = NewGraph(640, 300);  // one row of 512: the square at y 384 lies below
  ASSERT_NE(g, nullptr);
  const std::vector<Placed> expected = {{0, 0, 512, 512, 512, 300},
                                        {512, 0, 128, 128, 128, 128},
                                        {512, 128, 128, 128, 128, 128},
                                        {512, 256, 128, 128, 128, 44}};
  EXPECT_EQ(Layout(g), expected);
}

TEST_F(SquareOnlyTexture3D, MoreThanSixtyFourSquaresAreRefusedWithTheLine) {
  log.clear();
  EXPECT_EQ(NewGraph(3000, 32), nullptr);  // three 1024 x 32 tiles: 96 squares
  EXPECT_NE(log.find("エラー：画像の分割数が最大数の 64 を超えました"), std::string::npos) << log;
  EXPECT_EQ(LiveRecords(), 0);
}

// ---- derivation --------------------------------------------------------------------------

TEST_F(Texture3D, ASubGraphAcrossATileBorderGetsOneRecordPerTileItTouches) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  GraphRecord* sub = SubGraph(g, 500, 40, 100, 50);
  ASSERT_NE(sub, nullptr);
  ASSERT_EQ(sub->surfaceCount, 2);
  const Surface3DData* a = Tile(sub, 0);
  const Surface3DData* b = Tile(sub, 1);
  EXPECT_EQ(a->surface, Tile(g, 0)->surface);
  EXPECT_EQ(b->surface, Tile(g, 1)->surface);
  EXPECT_EQ(std::vector<int>({a->tileX, a->tileY, a->usedWidth, a->usedHeight, a->texelX, a->texelY}),
            std::vector<int>({0, 0, 12, 50, 500, 40}));
  EXPECT_EQ(std::vector<int>({b->tileX, b->tileY, b->usedWidth, b->usedHeight, b->texelX, b->texelY}),
            std::vector<int>({12, 0, 88, 50, 0, 40}));

  // A cell of the cell: one parent tile, offsets that add up.
  GraphRecord* inner = SubGraph(sub, 20, 5, 30, 10);
  ASSERT_NE(inner, nullptr);
  ASSERT_EQ(inner->surfaceCount, 1);
  EXPECT_EQ(Tile(inner, 0)->texelX, 8);
  EXPECT_EQ(Tile(inner, 0)->texelY, 45);
  // One wholly inside the first tile touches only that one.
  GraphRecord* left = SubGraph(g, 0, 0, 32, 32);
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->surfaceCount, 1);
}

TEST_F(Texture3D, AFailedDerivationRemovesItsPartialRecords) {
  GraphRecord* g = NewGraph(640, 480);
  ASSERT_NE(g, nullptr);
  const int32_t records = LiveRecords();
  // The parent's second tile is gone: the walk fails after the first record.
  ASSERT_EQ(RemoveTexture3D(g->surfaces[1]), 0);
  GraphRecord sub{};
  EXPECT_EQ(DeriveSubGraphTextures(&sub, 500, 0, 100, 10, g), -1);
  EXPECT_EQ(LiveRecords(), records - 1);
  EXPECT_EQ(sub.surfaceCount, 0);
}

TEST_F(Texture3D, ARectangleOutsideTheParentIsRefused) {
  GraphRecord* g = NewGraph(100, 100);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 1);
  const int32_t records = LiveRecords();
  GraphRecord sub{};
  const Rect refused[] = {{90, 0, 20, 10}, {0, 95, 10, 10}, {-1, 0, 10, 10}, {0, 0, 0, 10}};
  for (const Rect& r : refused)
    EXPECT_EQ(DeriveSubGraphTextures(&sub, r.left, r.top, r.right, r.bottom, g), -1) << r.left << "," << r.top;
  EXPECT_EQ(LiveRecords(), records);
}

}  // namespace
