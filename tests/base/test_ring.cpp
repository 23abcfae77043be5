#include "engine/base/list.h"
#include "engine/base/memory.h"
#include "engine/base/ring.h"
#include "logfixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Bytes 0, 1, 2, ... from `first`, so order and position show in every read.
std::vector<unsigned char> Run(int first, int count) {
  std::vector<unsigned char> v(static_cast<size_t>(count));
  for (int i = 0; i < count; i++) v[size_t(i)] = (unsigned char)(first + i);
  return v;
}

void Add(RingBuffer* r, int first, int count) {
  ASSERT_EQ(RingBufferAdd(r, Run(first, count).data(), count), 0);
}

void ExpectRead(RingBuffer* r, int first, int count) {
  std::vector<unsigned char> out(static_cast<size_t>(count));
  ASSERT_EQ(RingBufferRead(r, count, out.data(), 0), 0);
  EXPECT_EQ(out, Run(first, count));
}

int RefuseAll(size_t) { return 1; }

}  // namespace

TEST(RingBuffer, GrowthSizesAndOrder) {
  RingBuffer r{};
  Add(&r, 0, 10);
  EXPECT_EQ(r.capacity, 1010);
  EXPECT_EQ(GetTrackedTotalBytes(), 1010);
  Add(&r, 10, 1001);
  EXPECT_EQ(r.capacity, 2020);  // twice the storage: more than 10 + 1001 + 1000
  EXPECT_EQ(GetTrackedTotalBytes(), 2020);  // the old storage went back
  ExpectRead(&r, 0, 1011);
  Add(&r, 1011, 5000);
  EXPECT_EQ(r.capacity, 6000);  // the wanted length with the slack: more than twice
  ExpectRead(&r, 1011, 5000);
  EXPECT_EQ(r.length, 0);
  RingBufferTerminate(&r);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
  EXPECT_EQ(r.data, nullptr);
  EXPECT_EQ(r.capacity, 0);
}

// A queue fed in small pieces grows a few times, not once per piece (each growth copies
// everything stored).
TEST(RingBuffer, SmallAddsGrowGeometrically) {
  RingBuffer r{};
  int growths = 0;
  for (int i = 0; i < 20000; i++) {
    const int32_t before = r.capacity;
    Add(&r, i * 100, 100);
    if (r.capacity != before) growths++;
  }
  EXPECT_EQ(r.length, 2000000);
  EXPECT_LE(growths, 12);
  ExpectRead(&r, 0, 2000000);
  RingBufferTerminate(&r);
}

TEST(RingBuffer, FullStorageAndWrappedGrowth) {
  RingBuffer r{};
  Add(&r, 0, 10);
  Add(&r, 10, 1000);  // exactly the free space
  EXPECT_EQ(r.writePos, r.capacity);
  ExpectRead(&r, 0, 10);
  Add(&r, 1010, 5);  // the write position starts again at 0
  EXPECT_EQ(r.writePos, 5);
  ExpectRead(&r, 10, 990);
  EXPECT_EQ(r.readPos, 1000);

  // 25 bytes stored from position 1000 round the end; growth puts them first in order.
  Add(&r, 1015, 10);
  EXPECT_GT(r.readPos + r.length, r.capacity);
  Add(&r, 1025, 2000);
  EXPECT_EQ(r.capacity, 25 + 2000 + 1000);
  EXPECT_EQ(r.readPos, 0);
  ExpectRead(&r, 1000, 2025);
  RingBufferTerminate(&r);
}

TEST(RingBuffer, PeekShortReadAndBadLengths) {
  RingBuffer r{};
  EXPECT_EQ(RingBufferAdd(&r, nullptr, 0), 0);  // an empty ring stays without storage
  EXPECT_EQ(r.data, nullptr);
  EXPECT_EQ(RingBufferRead(&r, 0, nullptr, 0), 0);

  Add(&r, 7, 4);
  unsigned char a[5] = {}, b[5] = {};
  EXPECT_EQ(RingBufferRead(&r, 4, a, 1), 0);
  EXPECT_EQ(RingBufferRead(&r, 4, b, 1), 0);
  EXPECT_EQ(std::memcmp(a, b, 4), 0);
  EXPECT_EQ(r.length, 4);
  EXPECT_EQ(RingBufferRead(&r, 5, a, 0), -1);
  EXPECT_EQ(RingBufferRead(&r, -1, a, 0), -1);
  EXPECT_EQ(r.length, 4);
  EXPECT_EQ(RingBufferAdd(&r, a, -1), -1);
  EXPECT_EQ(RingBufferReserve(&r, 0x7FFFFFFF), -1);
  EXPECT_EQ(r.length, 4);
  EXPECT_EQ(r.capacity, 1004);
  ExpectRead(&r, 7, 4);
  RingBufferTerminate(&r);
}

TEST_F(LogFixture, RingGrowthFailureEmptiesTheRingAndLogs) {
  RingBuffer r{};
  Add(&r, 0, 4);
  PlatSetAllocFailHook(RefuseAll);
  unsigned char big[2000] = {};
  EXPECT_EQ(RingBufferAdd(&r, big, 2000), -1);
  PlatSetAllocFailHook(nullptr);
  EXPECT_EQ(r.data, nullptr);
  EXPECT_EQ(r.length, 0);
  EXPECT_EQ(r.capacity, 0);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
  std::string log = ReadLog();
  EXPECT_NE(log.find("0:リングバッファの再確保に失敗しました(確保しようとしたサイズ 3004 byte)\r\n"
                     "0:リングバッファへのデータの追加に失敗しました(追加する長さ 2000 byte)\r\n"),
            std::string::npos);

  // A bad size is refused with the same lines and leaves the stored bytes alone.
  Add(&r, 0, 3);
  OpenLogFile();
  EXPECT_EQ(RingBufferAdd(&r, big, -5), -1);
  EXPECT_EQ(ReadLog(),
            "0:リングバッファの再確保に失敗しました(確保しようとしたサイズ 998 byte)\r\n"
            "0:リングバッファへのデータの追加に失敗しました(追加する長さ -5 byte)\r\n");
  ExpectRead(&r, 0, 3);
  RingBufferTerminate(&r);
}

TEST(List, InsertAfterHeadPutsNewestFirstAndUnlinkKeepsFields) {
  ListNode head, tail, n[3];
  ListInit(&head, &tail);
  EXPECT_EQ(head.key, -1);
  EXPECT_EQ(head.prev, nullptr);
  EXPECT_EQ(tail.next, nullptr);
  for (int i = 0; i < 3; i++) ListInsertAfter(&head, &n[i], 10 + i, uintptr_t(&n[i]));

  auto walk = [&] {
    std::vector<int> keys;
    for (ListNode* p = head.next; p != &tail; p = p->next) {
      EXPECT_EQ(p->next->prev, p);
      keys.push_back(p->key);
    }
    return keys;
  };
  EXPECT_EQ(walk(), (std::vector<int>{12, 11, 10}));
  EXPECT_EQ(n[1].data, uintptr_t(&n[1]));

  ListUnlink(&n[1]);
  EXPECT_EQ(walk(), (std::vector<int>{12, 10}));
  EXPECT_EQ(n[1].prev, &n[2]);  // the unlinked node is left as it was
  EXPECT_EQ(n[1].next, &n[0]);
  ListUnlink(&n[2]);
  ListUnlink(&n[0]);
  EXPECT_EQ(head.next, &tail);
  EXPECT_EQ(tail.prev, &head);
}
