// 2D surface handles: the table's limits and walk, stale handles, sharing, the deletion
// flag, graphs' pieces, loss and restore, objects released and made again.
#include "graphics/surfacefixture.h"

#include "engine/softimage/blendtables.h"

#include <algorithm>

namespace {

class Surface2D : public SurfaceTest {
 protected:
  const SurfaceCreateFlags flags16 = Flags(16);

  int32_t Add(int32_t width = 8, int32_t height = 8, const Surface2DRecord* shared = nullptr, int32_t sx = 0,
              int32_t sy = 0) {
    return AddSurface2D(width, height, 0, 0, 0, shared, sx, sy, &flags16);
  }
  static const HandleTable& Table() { return g_Surface2DTable.table; }
};

}  // namespace

TEST_F(Surface2D, TheFullTable) {
  Start(0, 32);
  const int32_t base = Add();
  ASSERT_GE(base, 0);
  const Surface2DRecord* first = GetSurface2D(base);
  std::vector<int32_t> handles{base};
  for (int32_t i = 1; i < SURFACE2D_SLOTS; i++) {
    const int32_t h = Add(8, 8, first);
    ASSERT_GE(h, 0) << i;
    handles.push_back(h);
  }
  EXPECT_EQ(Table().count, SURFACE2D_SLOTS);
  EXPECT_EQ(LookupSurfaceData(first->surfaceData)->refCount, SURFACE2D_SLOTS);
  EXPECT_EQ(Add(8, 8, first), -1);
  EXPECT_TRUE(Logged("２Ｄグラフィックの量が許容量を越えました"));

  // A hole in a full table is the next slot taken.
  EXPECT_EQ(DeleteSurface2D(handles[5]), 0);
  const int32_t again = Add(8, 8, first);
  EXPECT_EQ(HandleSlot(again), 5);
  EXPECT_NE(again, handles[5]);
  EXPECT_EQ(DeleteAllSurfaces2D(), 0);
  EXPECT_EQ(Table().count, 0);
  EXPECT_EQ(Table().highWater, 0);
  EXPECT_EQ(g_SurfaceDataTable.table.count, 0);
}

TEST_F(Surface2D, TheHighWaterMarkWalksDown) {
  Start(0, 32);
  int32_t h[4];
  for (int32_t& handle : h) handle = Add();
  DeleteSurface2D(h[1]);
  DeleteSurface2D(h[2]);
  EXPECT_EQ(Table().highWater, 4);
  DeleteSurface2D(h[3]);
  EXPECT_EQ(Table().highWater, 1);
  DeleteSurface2D(h[0]);
  EXPECT_EQ(Table().highWater, 0);
  EXPECT_EQ(Table().count, 0);
}

TEST_F(Surface2D, AStaleHandleIsRefusedByEveryOperation) {
  Start(0, 32);
  const int32_t stale = Add();
  DeleteSurface2D(stale);
  // The slot is taken again and again, each time with the next check value.
  int32_t live = -1;
  for (int i = 0; i < 2047; i++) {
    if (live >= 0) DeleteSurface2D(live);
    live = Add();
    ASSERT_EQ(HandleSlot(live), HandleSlot(stale));
  }
  ASSERT_NE(live, stale);
  GraphImage image{};
  ASSERT_EQ(CreateGraphImageRGB8(8, 8, &image), 0);
  const Rect rect{0, 0, 8, 8};
  int32_t flag = 7;
  EXPECT_EQ(GetSurface2D(stale), nullptr);
  EXPECT_EQ(WatchSurface2DDeletion(stale, &flag), -1);
  EXPECT_EQ(flag, 7);
  EXPECT_EQ(WriteImageToSurface2D(nullptr, 0, 0, &rect, 0, 0, stale, SURFACE2D_SOURCE_IMAGE, &image, nullptr), -1);
  EXPECT_EQ(WriteImageToSurface2DAt(nullptr, 0, 0, 0, 0, stale, SURFACE2D_SOURCE_IMAGE, &image, nullptr), -1);
  EXPECT_EQ(DeleteSurface2D(stale), 0);
  EXPECT_NE(GetSurface2D(live), nullptr);
  EXPECT_EQ(Table().count, 1);
  FreeGraphImageCore(&image);
}

TEST_F(Surface2D, SharingAndTheDeletionFlag) {
  Start(0, 32);
  const int32_t a = Add(16, 16);
  const Surface2DRecord* first = GetSurface2D(a);
  const int32_t record = first->surfaceData;
  const int32_t b = Add(8, 8, first, 8, 8);
  ASSERT_GE(b, 0);
  EXPECT_EQ(GetSurface2D(b)->surfaceData, record);
  // A piece reaching outside the shared surface is refused.
  EXPECT_EQ(Add(8, 8, first, 9, 0), -1);

  int32_t flagA = 5, flagB = 5;
  EXPECT_EQ(WatchSurface2DDeletion(a, &flagA), 0);
  EXPECT_EQ(WatchSurface2DDeletion(b, &flagB), 0);
  EXPECT_EQ(flagA, 0);
  EXPECT_EQ(flagB, 0);
  DeleteSurface2D(a);
  EXPECT_EQ(flagA, 1);
  EXPECT_EQ(flagB, 0);
  ASSERT_NE(LookupSurfaceData(record), nullptr);
  EXPECT_EQ(LookupSurfaceData(record)->refCount, 1);
  DeleteSurface2D(b);
  EXPECT_EQ(flagB, 1);
  EXPECT_EQ(LookupSurfaceData(record), nullptr);
}

TEST_F(Surface2D, RefusalsWithTheirLines) {
  // Before graphics start.
  EXPECT_EQ(Add(), -1);
  EXPECT_TRUE(Logged("ＫＲライブラリが初期化されていません"));
  EXPECT_EQ(DeleteAllSurfaces2D(), -1);
  EXPECT_EQ(RestoreAllSurfaces2D(), -1);
  Start(0, 32);
  for (auto [w, h] : {std::pair{0, 8}, {8, -1}, {65536, 8}, {8, 65536}}) EXPECT_EQ(Add(w, h), -1) << w << " x " << h;
  EXPECT_EQ(AddSurface2D(8, 8, 65536, 0, 0, nullptr, 0, 0, &flags16), -1);
  EXPECT_EQ(Table().count, 0);
  EXPECT_EQ(g_SurfaceDataTable.table.count, 0);
}

TEST_F(Surface2D, GraphsPieces) {
  Start(0, 32);
  GraphRecord parent{};
  parent.width = 32;
  parent.height = 16;
  parent.handle = 0x08000001;
  parent.flags = flags16;
  ASSERT_EQ(CreateGraphSurface2D(&parent), 0);
  ASSERT_EQ(parent.surfaceCount, 1);
  const Surface2DRecord* p = GetSurface2D(parent.surfaces[0]);
  EXPECT_EQ(p->owner, parent.handle);
  EXPECT_EQ(p->width, 32);

  GraphRecord cell{};
  cell.handle = 0x08000002;
  ASSERT_EQ(CreateSharedSurface2D(&cell, 16, 0, 16, 16, &parent), 0);
  GraphRecord inner{};
  ASSERT_EQ(CreateSharedSurface2D(&inner, 4, 8, 8, 8, &cell), 0);
  // A sub-graph of a sub-graph lies at the sum of both offsets.
  const Surface2DRecord* in = GetSurface2D(inner.surfaces[0]);
  EXPECT_EQ(in->sourceX, 20);
  EXPECT_EQ(in->sourceY, 8);
  EXPECT_EQ(in->surfaceData, p->surfaceData);

  EXPECT_EQ(PaintGraphSurfaces2D(&inner, 0, 0, 255, 255), 0);
  EXPECT_EQ(RestoreGraphSurfaces2D(&parent), 0);
  GraphRecord dead{};
  dead.surfaceCount = 1;
  dead.surfaces[0] = 0x28001234;
  EXPECT_EQ(RestoreGraphSurfaces2D(&dead), -1);
  EXPECT_EQ(PaintGraphSurfaces2D(&dead, 0, 0, 0, 0), -1);
  EXPECT_EQ(CreateSharedSurface2D(&cell, 0, 0, 8, 8, &dead), -1);
}

TEST_F(Surface2D, LossIsReportedUntilRefilled) {
  Start(0, 32);
  // Three records in video memory, of which the first and the last are lost, and one
  // software image, which nothing loses.
  int32_t video[3];
  for (int32_t& piece : video) piece = Add();
  SurfaceCreateFlags system = flags16;
  system.systemMemory = 1;
  const int32_t image = AddSurface2D(8, 8, 0, 0, 0, nullptr, 0, 0, &system);
  ASSERT_GE(image, 0);
  EXPECT_EQ(RestoreAllSurfaces2D(), 0);
  auto record = [](int32_t piece) { return GetSurface2D(piece)->surfaceData; };
  auto poisoned = [](int32_t data) {
    int32_t pitch = 0;
    uint8_t* pixels = nullptr;
    if (LockSurfaceData(data, &pitch, &pixels, 0, nullptr, nullptr) != 0) return false;
    const bool poison = ReadPixelValue(pixels, 4) == PLAT_DD_POISON;
    UnlockSurfaceData(data, nullptr);
    return poison;
  };
  for (int32_t piece : video) ASSERT_EQ(FillSurfaceData(record(piece), 0, 0, 255, 0), 0);

  PlatDDrawFakeLoseSurface(LookupSurfaceData(record(video[0]))->surface);
  PlatDDrawFakeLoseSurface(LookupSurfaceData(record(video[2]))->surface);
  PlatDDrawFakeLogCalls(1);
  EXPECT_EQ(RestoreAllSurfaces2D(), -1);
  EXPECT_EQ(CallCount("Restore"), 2) << "each lost record restored once";
  PlatDDrawFakeLogCalls(0);
  // Restored, but poisoned: the caller refills; until then it stays poisoned.
  for (int32_t piece : video) EXPECT_EQ(RestoreSurfaceIfLost(record(piece)), 0);
  EXPECT_TRUE(poisoned(record(video[0])));
  EXPECT_FALSE(poisoned(record(video[1])));
  EXPECT_TRUE(poisoned(record(video[2])));
  EXPECT_EQ(RestoreSurfaceIfLost(record(image)), 0);

  // The whole of video memory lost, and each record answers for itself.
  PlatDDrawFakeLoseAll();
  for (int32_t piece : video) EXPECT_EQ(RestoreSurfaceIfLost(record(piece)), -1);
  EXPECT_EQ(RestoreAllSurfaces2D(), 0);
  EXPECT_TRUE(poisoned(record(video[1])));
}

TEST_F(Surface2D, ObjectsGoAndComeBackUnderTheirRecords) {
  Start(0, 32);
  const int32_t own = Add(16, 8);
  const int32_t shared = Add(8, 8, GetSurface2D(own), 8, 0);
  SurfaceCreateFlags system = flags16;
  system.systemMemory = 1;
  const int32_t image = AddSurface2D(8, 8, 0, 0, 0, nullptr, 0, 0, &system);
  ASSERT_GE(image, 0);
  const int32_t video = GetSurface2D(own)->surfaceData, soft = GetSurface2D(image)->surfaceData;
  EXPECT_EQ(ReleaseAllSurface2DObjects(), 0);
  EXPECT_EQ(LookupSurfaceData(video)->surface, 0u);
  EXPECT_FALSE(IsMemImgValid(&LookupSurfaceData(soft)->image));
  EXPECT_EQ(RecreateAllSurface2DObjects(), 0);
  // The pieces keep their records; the surfaces are new, with their colour keys.
  EXPECT_EQ(GetSurface2D(shared)->surfaceData, video);
  ASSERT_NE(LookupSurfaceData(video)->surface, 0u);
  EXPECT_TRUE(IsMemImgValid(&LookupSurfaceData(soft)->image));
  PlatDDColorKey key{};
  EXPECT_EQ(PlatDDSurfaceGetColorKey(LookupSurfaceData(video)->surface, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);

  // The blend graph's curve is the software images' own.
  uint8_t saved[256], expected[256];
  std::copy(std::begin(BlendGraphCurve), std::end(BlendGraphCurve), saved);
  BuildBlendGraphCurve(60, 200);
  std::copy(std::begin(BlendGraphCurve), std::end(BlendGraphCurve), expected);
  BuildBlendGraphCurve(0, 0);
  EXPECT_EQ(SetBlendGraphCurve(7, 60, 200), 0);
  EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), std::begin(BlendGraphCurve)));
  std::copy(std::begin(saved), std::end(saved), BlendGraphCurve);
}
