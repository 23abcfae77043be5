// The soft-image table: removal by handle with the high-water index walked down, stale
// handles refused, and removing them all.
#include "engine/graphics/softimagetest.h"

#include "engine/base/memory.h"
#include "engine/graphics/services.h"

#include <gtest/gtest.h>

namespace {

struct SoftImages : ::testing::Test {
  int32_t blocksBefore = 0;
  void SetUp() override {
    RemoveAllSoftImagesCore();
    blocksBefore = GetTrackedBlockCount();
  }
  void TearDown() override {
    RemoveAllSoftImagesCore();
    EXPECT_EQ(SoftImageTableForTest()->count, 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "records or pixels left behind";
  }
  // A soft image owning a 2 x 2 picture of its own.
  static int32_t Add() {
    GraphImage image{};
    EXPECT_EQ(CreateGraphImageARGB8(2, 2, &image), 0);
    const int32_t handle = AddSoftImageForTest(&image);
    EXPECT_GE(handle, 0);
    return handle;
  }
};

TEST_F(SoftImages, RemovingTheTopOneWalksTheHighWaterIndexDown) {
  const HandleTable* table = SoftImageTableForTest();
  const int32_t only = Add();
  EXPECT_EQ(uint32_t(only) & HANDLE_TYPE_MASK, uint32_t(HANDLE_TYPE_SOFTIMAGE));
  EXPECT_EQ(table->highWater, 1);
  EXPECT_EQ(RemoveSoftImage(only), 0);
  EXPECT_EQ(table->highWater, 0);
  EXPECT_EQ(table->count, 0);

  // Slots 0, 1 (emptied) and 2: removing 2 leaves the index just above slot 0.
  const int32_t a = Add(), b = Add(), c = Add();
  EXPECT_EQ(HandleSlot(c), 2);
  EXPECT_EQ(RemoveSoftImage(b), 0);
  EXPECT_EQ(table->highWater, 3);
  EXPECT_EQ(RemoveSoftImage(c), 0);
  EXPECT_EQ(table->highWater, 1);
  EXPECT_EQ(table->count, 1);
  EXPECT_EQ(RemoveSoftImage(a), 0);
}

TEST_F(SoftImages, OnlyALiveHandleIsRemoved) {
  const int32_t handle = Add();
  EXPECT_EQ(RemoveSoftImage(handle), 0);
  EXPECT_EQ(RemoveSoftImage(handle), -1) << "a second removal";
  const int32_t again = Add();  // the same slot, another check value
  EXPECT_EQ(HandleSlot(again), HandleSlot(handle));
  const int32_t bad[] = {handle, -1, again ^ HANDLE_TYPE_SOFTIMAGE ^ HANDLE_TYPE_GRAPH,
                         MakeHandle(HANDLE_TYPE_SOFTIMAGE, 0, SOFT_IMAGE_SLOTS),
                         MakeHandle(HANDLE_TYPE_SOFTIMAGE, 0, 5)};
  for (int32_t h : bad) EXPECT_EQ(RemoveSoftImage(h), -1) << std::hex << h;
  EXPECT_EQ(SoftImageTableForTest()->count, 1);
  EXPECT_EQ(RemoveSoftImage(again), 0);
}

TEST_F(SoftImages, RemoveAllEmptiesTheTableWithGaps) {
  int32_t handles[6];
  for (int32_t& h : handles) h = Add();
  EXPECT_EQ(RemoveSoftImage(handles[1]), 0);
  EXPECT_EQ(RemoveSoftImage(handles[4]), 0);
  EXPECT_EQ(RemoveAllSoftImagesCore(), 0);
  EXPECT_EQ(SoftImageTableForTest()->count, 0);
  EXPECT_EQ(SoftImageTableForTest()->highWater, 0);
  for (int32_t h : handles) EXPECT_EQ(RemoveSoftImage(h), -1);
}

}  // namespace
