#include "engine/base/handle.h"

#include <gtest/gtest.h>

namespace {
struct Rec {
  HandleRecordHead head;
  int value;
};
}  // namespace

TEST(HandleTable, LayoutAndValidation) {
  void* slots[4];
  HandleTable t;
  HandleTableInit(&t, HANDLE_TYPE_GRAPH, slots, 4);
  Rec a{}, b{};
  int32_t ha = HandleTableAdd(&t, &a);
  int32_t hb = HandleTableAdd(&t, &b);
  EXPECT_EQ(ha, 0x08000000);
  EXPECT_EQ(hb, 0x08010001);
  EXPECT_EQ(HandleTableGet(&t, ha), &a);
  EXPECT_EQ(HandleTableGet(&t, hb), &b);
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(t.highWater, 2);

  // Wrong kind, slot past the table, unused slot, negative, stale check value.
  EXPECT_EQ(HandleTableGet(&t, (ha & ~0x78000000) | HANDLE_TYPE_SOUND), nullptr);
  EXPECT_EQ(HandleTableGet(&t, 0x08000004), nullptr);
  EXPECT_EQ(HandleTableGet(&t, 0x08020002), nullptr);
  EXPECT_EQ(HandleTableGet(&t, -1), nullptr);
  EXPECT_EQ(HandleTableGet(&t, ha | 0x00050000), nullptr);
  EXPECT_EQ(HandleTableRemove(&t, ha | 0x00050000), nullptr);
}

TEST(HandleTable, HighWaterWalksDownAndSlotsAreReused) {
  void* slots[4];
  HandleTable t;
  HandleTableInit(&t, HANDLE_TYPE_LIGHT, slots, 4);
  Rec r[5]{};
  int32_t h[4];
  for (int i = 0; i < 4; i++) h[i] = HandleTableAdd(&t, &r[i]);
  EXPECT_EQ(HandleTableNextSlot(&t), -1);
  EXPECT_EQ(HandleTableAdd(&t, &r[4]), -1);  // full

  // Removing slot 1 then the top slot 3 walks the mark down over the empty slots.
  EXPECT_EQ(HandleTableRemove(&t, h[1]), &r[1]);
  EXPECT_EQ(t.highWater, 4);
  EXPECT_EQ(HandleTableRemove(&t, h[3]), &r[3]);
  EXPECT_EQ(t.highWater, 3);
  EXPECT_EQ(HandleTableRemove(&t, h[2]), &r[2]);
  EXPECT_EQ(t.highWater, 1);
  EXPECT_EQ(HandleTableGet(&t, h[2]), nullptr);  // removed handles are refused

  // Below the size the high-water slot is taken; at the size, the first empty slot.
  int32_t n1 = HandleTableAdd(&t, &r[1]);
  EXPECT_EQ(HandleSlot(n1), 1);
  HandleTableAdd(&t, &r[2]);
  HandleTableAdd(&t, &r[3]);
  EXPECT_EQ(t.highWater, 4);
  HandleTableRemove(&t, n1);
  EXPECT_EQ(HandleTableNextSlot(&t), 1);
  int32_t reused = HandleTableAdd(&t, &r[4]);
  EXPECT_EQ(HandleSlot(reused), 1);
  EXPECT_NE(reused, n1);
  EXPECT_EQ(HandleTableGet(&t, n1), nullptr);  // the old handle to the slot is stale
  EXPECT_EQ(HandleTableGet(&t, reused), &r[4]);

  HandleTableRemove(&t, h[0]);
  HandleTableRemove(&t, reused);
  for (int s = 2; s < 4; s++) HandleTableRemove(&t, HandleTableHandleAt(&t, s));
  EXPECT_EQ(t.count, 0);
  EXPECT_EQ(t.highWater, 0);
}

TEST(HandleTable, CheckValueWrapsFrom2047To0) {
  void* slots[1];
  HandleTable t;
  HandleTableInit(&t, HANDLE_TYPE_SOFTIMAGE, slots, 1);
  Rec r{};
  int32_t first = HandleTableAdd(&t, &r);
  int32_t last = first;
  for (int i = 1; i < 2048; i++) {
    HandleTableRemove(&t, last);
    last = HandleTableAdd(&t, &r);
  }
  EXPECT_EQ(r.head.check, 2047u);
  EXPECT_EQ(last, 0x77FF0000);
  HandleTableRemove(&t, last);
  int32_t wrapped = HandleTableAdd(&t, &r);
  EXPECT_EQ(wrapped, first);
  EXPECT_EQ(r.head.check, 0u);
  EXPECT_EQ(HandleTableGet(&t, last), nullptr);
}

// A slot the owner chooses: the next check value goes with it, the high-water mark follows,
// and a refused slot uses up no check value.
TEST(HandleTable, AddAtTakesTheChosenSlot) {
  void* slots[4];
  HandleTable t;
  HandleTableInit(&t, HANDLE_TYPE_NETWORK, slots, 4);
  Rec a{}, b{}, c{};
  EXPECT_EQ(HandleTableAddAt(&t, &a, 3), 0x48000003);
  EXPECT_EQ(t.highWater, 4);
  for (int32_t refused : {3, 4, -1}) EXPECT_EQ(HandleTableAddAt(&t, &b, refused), -1) << refused;
  EXPECT_EQ(HandleTableAddAt(&t, nullptr, 0), -1);
  EXPECT_EQ(HandleTableAddAt(&t, &b, 1), 0x48010001);
  EXPECT_EQ(HandleTableGet(&t, 0x48010001), &b);
  EXPECT_EQ(t.count, 2);
  EXPECT_EQ(HandleTableRemove(&t, 0x48000003), &a);
  EXPECT_EQ(t.highWater, 2);
  EXPECT_EQ(HandleTableAdd(&t, &c), 0x48020002);  // the ordinary rule again
}
