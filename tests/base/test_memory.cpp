#include "engine/base/memory.h"
#include "logfixture.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

MemBlockHeader* HeaderOf(void* block) { return (MemBlockHeader*)block - 1; }

std::string Addr(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llx", int(2 * sizeof(void*)),
                (unsigned long long)(uintptr_t)p);
  return buf;
}

const char kEmptyReport[] =
    "0:\r\n0:Alloc memory dump\r\n0:\tTotal size:0(0.000kb)  Alloc num:0\r\n0:\r\n";

// Serial numbers go on over the whole process: a block's is read from its header.
std::string Id(void* p) { return "ID:" + std::to_string(HeaderOf(p)->id); }

std::string AbcLine(void* p) {
  return "\tsize:20(0.020kb)  file:  line:0  " + Id(p) + "  addr:" + Addr(p) +
         "  data:<ABC.............> [41 42 43 00 00 00 00 00 00 00 00 00 00 00 00 00]\r\n";
}

std::vector<size_t> g_asked;
size_t g_refuseSize = 0;
int RefuseOne(size_t size) {
  g_asked.push_back(size);
  return size == g_refuseSize;
}

}  // namespace

TEST_F(LogFixture, LeakReportIsExact) {
  DumpAllocations();
  EXPECT_EQ(ReadLog(), kEmptyReport);

  OpenLogFile();
  char* p = (char*)TrackedCalloc(20, "", 0);
  ASSERT_NE(p, nullptr);
  std::memcpy(p, "ABC", 3);
  DumpAllocations();
  EXPECT_EQ(ReadLog(), "0:\r\n0:Alloc memory dump\r\n0:" + AbcLine(p) +
                           "0:\tTotal size:20(0.020kb)  Alloc num:1\r\n0:\r\n");
  TrackedFree(p);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
  EXPECT_EQ(GetTrackedTotalBytes(), 0);
}

TEST_F(LogFixture, EmptyBlockLineAndSwitches) {
  // The size filter starts at 0: only blocks of size 0 are logged, and their data part
  // closes right after the "<>" pair.
  void* zero = TrackedAlloc(0, "a.cpp", -1);
  void* five = TrackedAlloc(5, "", 0);
  ASSERT_EQ(HeaderOf(five)->id, uint16_t(HeaderOf(zero)->id + 1));
  const std::string fiveId = Id(five);
  std::string expected = "0:mem alloc  \tsize:0(0.000kb)  file:a.cpp  line:65535  " + Id(zero) +
                         "  addr:" + Addr(zero) + "  data:<> ]\r\n";
  EXPECT_EQ(ReadLog(), expected);

  // Every block, then the totals after each call.
  OpenLogFile();
  SetTrackerSizeFilter(-1);
  SetTrackerPrintTotals(1);
  TrackedFree(five);
  SetTrackerSizeFilter(0);
  std::string log = ReadLog();
  EXPECT_EQ(log.rfind("0:mem free  \tsize:5(0.005kb)  file:  line:0  " + fiveId + "  addr:", 0), 0u)
      << log;
  EXPECT_NE(log.find("\r\n0:\tTotal size:0(0.000kb)  Alloc num:1\r\n"), std::string::npos) << log;
  SetTrackerPrintTotals(0);
  TrackedFree(zero);
}

TEST(MemoryTracker, HeaderFieldsAndAlignment) {
  struct Case {
    const char* name;
    const char* stored;
  } cases[] = {
      {"abcdefghijklmnopqrst", "fghijklmnopqrst"},  // 20: the last 15 stay
      {"abcdefghijklmn", "abcdefghijklmn"},         // 14: whole
      {"abcdefghijklmnop", "bcdefghijklmnop"},     // 16
      {nullptr, ""},
      // The cut never leaves a trail byte at the front of the field.
      {"ab\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0x",
       "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0x"},
      {"abc\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0xy",
       "\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0xy"},
  };
  std::vector<void*> blocks;
  for (const Case& c : cases) {
    void* p = TrackedAlloc(7, c.name, 123);
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(HeaderOf(p)->file, c.stored) << (c.name ? c.name : "null");
    EXPECT_EQ(HeaderOf(p)->line, 123);
    EXPECT_EQ(uintptr_t(p) % 16, 0u);
    blocks.push_back(p);
  }
  EXPECT_EQ(GetTrackedBlockCount(), int32_t(blocks.size()));
  EXPECT_EQ(GetTrackedTotalBytes(), int64_t(7 * blocks.size()));
  for (void* p : blocks) TrackedFree(p);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
  TrackedFree(nullptr);
}

TEST(MemoryTracker, ListStaysLinkedThroughReleases) {
  void* a = TrackedAlloc(1, "", 0);
  void* b = TrackedAlloc(2, "", 0);
  void* c = TrackedAlloc(3, "", 0);
  MemBlockHeader* end = HeaderOf(a)->older;
  ASSERT_NE(end, nullptr);

  TrackedFree(b);  // the middle one
  EXPECT_EQ(HeaderOf(c)->older, HeaderOf(a));
  EXPECT_EQ(HeaderOf(a)->newer, HeaderOf(c));
  EXPECT_EQ(CheckAllocations(), 0);

  const uint16_t cId = HeaderOf(c)->id;
  TrackedFree(c);  // the newest: a becomes the newest
  EXPECT_EQ(HeaderOf(a)->newer, nullptr);
  EXPECT_EQ(CheckAllocations(), 0);

  TrackedFree(a);  // the last: only the end record is left
  EXPECT_EQ(end->newer, nullptr);
  EXPECT_EQ(CheckAllocations(), 0);
  void* d = TrackedAlloc(4, "", 0);
  EXPECT_EQ(HeaderOf(d)->older, end);
  EXPECT_EQ(end->newer, HeaderOf(d));
  EXPECT_EQ(HeaderOf(d)->id, uint16_t(cId + 1));  // serial numbers go on
  TrackedFree(d);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
}

TEST_F(LogFixture, DamagedHeaderIsReported) {
  void* older = TrackedAlloc(1, "", 0);
  char* p = (char*)TrackedCalloc(20, "", 0);
  std::memcpy(p, "ABC", 3);
  MemBlockHeader* h = HeaderOf(p);
  h->file[0] = 'Z';
  EXPECT_EQ(CheckAllocations(), -1);
  std::string line = AbcLine(p);
  line.replace(line.find("file:"), 5, "file:Z");
  EXPECT_EQ(ReadLog(), "0:以下のメモリ確保情報が破損しました" + line);

  // The leak report still walks past it (its links are intact), and the check made on
  // every call reports it again.
  OpenLogFile();
  DumpAllocations();
  EXPECT_NE(ReadLog().find(Id(older) + "  addr:" + Addr(older)), std::string::npos);
  OpenLogFile();
  SetTrackerCheckEachCall(1);
  void* q = TrackedAlloc(8, "", 0);
  EXPECT_EQ(ReadLog().rfind("0:以下のメモリ確保情報が破損しました", 0), 0u);
  SetTrackerCheckEachCall(0);

  h->file[0] = '\0';
  EXPECT_EQ(CheckAllocations(), 0);
  TrackedFree(q);
  TrackedFree(p);
  TrackedFree(older);
}

TEST_F(LogFixture, RefusedRequestReportsAndReturnsNull) {
  char* p = (char*)TrackedCalloc(20, "", 0);
  std::memcpy(p, "ABC", 3);
  g_refuseSize = sizeof(MemBlockHeader) + 64;
  PlatSetAllocFailHook(RefuseOne);
  EXPECT_EQ(TrackedAlloc(64, "", 0), nullptr);
  EXPECT_EQ(TrackedCalloc(64, "", 0), nullptr);
  PlatSetAllocFailHook(nullptr);
  EXPECT_EQ(g_asked, std::vector<size_t>(2, g_refuseSize));
  std::string report = "0:\r\n0:Alloc memory dump\r\n0:" + AbcLine(p) +
                       "0:\tTotal size:20(0.020kb)  Alloc num:1\r\n0:\r\n";
  EXPECT_EQ(ReadLog(), report + report);
  EXPECT_EQ(GetTrackedBlockCount(), 1);

  // A size whose header-padded total does not fit the 32-bit size is refused without
  // asking the heap.
  OpenLogFile();
  g_asked.clear();
  PlatSetAllocFailHook(RefuseOne);
  EXPECT_EQ(TrackedAlloc(0xFFFFFFFFu - sizeof(MemBlockHeader) + 1, "", 0), nullptr);
  EXPECT_EQ(TrackedAlloc(SIZE_MAX, "", 0), nullptr);
  PlatSetAllocFailHook(nullptr);
  EXPECT_TRUE(g_asked.empty());
  EXPECT_EQ(ReadLog(), report + report);
  EXPECT_EQ(GetTrackedTotalBytes(), 20);
  TrackedFree(p);
}

// A resizable block keeps its bytes and its place in the list through growing and
// shrinking, the totals follow its size, and a refused resize leaves it as it was. The
// background makes the pages asked for ready and says so; its writes never reach bytes
// written before.
TEST_F(LogFixture, ResizableBlocksKeepBytesListAndTotals) {
  void* older = TrackedAlloc(8, "", 0);
  char* block = static_cast<char*>(TrackedAllocResizable(100, "", 0));
  ASSERT_NE(block, nullptr);
  void* newer = TrackedAlloc(8, "", 0);
  const int64_t before = GetTrackedTotalBytes();
  for (int i = 0; i < 100; i++) block[i] = char(i + 1);

  const struct {
    size_t size;
    size_t kept;  // bytes of the pattern still there
  } steps[] = {{1 << 20, 100}, {64 << 20, 100}, {50, 50}, {3 << 20, 50}};
  size_t current = 100;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.size);
    const size_t grownFrom = current;
    block = static_cast<char*>(TrackedResize(block, step.size));
    ASSERT_NE(block, nullptr);
    current = step.size;
    EXPECT_EQ(GetTrackedTotalBytes(), before - 100 + int64_t(step.size));
    EXPECT_EQ(HeaderOf(block)->size, step.size);
    EXPECT_EQ(HeaderOf(block)->older, HeaderOf(older));
    EXPECT_EQ(HeaderOf(block)->newer, HeaderOf(newer));
    EXPECT_EQ(CheckAllocations(), 0);
    for (size_t i = 0; i < step.kept; i++) ASSERT_EQ(block[i], char(i + 1)) << i;
    if (step.size > grownFrom) {
      TrackedPrefault(block, grownFrom, step.size - grownFrom);
      while (TrackedReady(block) < step.size) {
      }
      // Whole pages past the old size are fresh; the bytes that shared a page with the
      // old end are whatever the block held there.
      const size_t firstPage = (grownFrom + sizeof(MemBlockHeader) + 4095) / 4096 * 4096 - sizeof(MemBlockHeader);
      for (size_t i = firstPage; i < step.size; i += 4096) ASSERT_EQ(block[i], 0) << i;
      block[step.size - 1] = 7;
    }
  }

  g_refuseSize = sizeof(MemBlockHeader) + (8 << 20);
  PlatSetAllocFailHook(RefuseOne);
  EXPECT_EQ(TrackedResize(block, 8 << 20), nullptr);
  PlatSetAllocFailHook(nullptr);
  EXPECT_EQ(g_asked, std::vector<size_t>{g_refuseSize});
  g_asked.clear();
  g_refuseSize = 0;
  EXPECT_EQ(HeaderOf(block)->size, current);
  for (size_t i = 0; i < 50; i++) ASSERT_EQ(block[i], char(i + 1)) << i;
  EXPECT_EQ(CheckAllocations(), 0);

  TrackedFree(block);
  TrackedFree(older);
  TrackedFree(newer);
  EXPECT_EQ(GetTrackedTotalBytes(), before - 100 - 16);
}
