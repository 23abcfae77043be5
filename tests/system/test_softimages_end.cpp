// Engine end removes every soft image, their pictures with them.
#include "engine/base/memory.h"
#include "engine/engine.h"
#include "engine/graphics/softimagetest.h"
#include "engine_start.h"

namespace {

using SoftImagesAtEnd = EngineStart;

TEST_F(SoftImagesAtEnd, EngineEndEmptiesTheTable) {
  ChangeWindowMode(1);
  ASSERT_EQ(EngineInitCore(), 0);
  const int32_t blocks = GetTrackedBlockCount();
  for (int i = 0; i < 3; i++) {
    GraphImage image{};
    ASSERT_EQ(CreateGraphImageRGB8(3, 2, &image), 0);
    ASSERT_GE(AddSoftImageForTest(&image), 0);
  }
  EXPECT_EQ(GetTrackedBlockCount(), blocks + 6);
  EXPECT_EQ(EngineEndCore(), 0);
  EXPECT_EQ(SoftImageTableForTest()->count, 0);
  EXPECT_EQ(SoftImageTableForTest()->highWater, 0);
  // Nothing of them is in the leak report the end writes.
  EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
}

}  // namespace
