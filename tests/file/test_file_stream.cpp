#include "engine/file/file.h"

#include "filefixture.h"

#include <cstring>

namespace {

const unsigned char kTen[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

}  // namespace

TEST(MemStream, ReadsWholeElementsThenThePartialLastOneThenTheEnd) {
  const int32_t blocks = GetTrackedBlockCount();
  MemStream* s = MemStreamOpen(kTen, 10);
  ASSERT_NE(s, nullptr);
  struct Step {
    uint32_t size, count;
    int64_t result;
    int copied;  // bytes written to the destination
    int eof;
    int64_t tell;
  } steps[] = {
      {4, 3, 2, 8, 0, 8},
      {4, 0, 0, 0, 0, 8},   // zero elements: nothing, not the partial-element path
      {0, 3, 0, 0, 0, 8},   // zero-sized elements
      {4, 1, 1, 2, 0, 10},  // the last 2 bytes count as one element; no end flag yet
      {4, 1, 0, 0, 1, 10},
  };
  for (const Step& st : steps) {
    unsigned char out[16];
    std::memset(out, 0xEE, sizeof out);
    const int64_t start = MemStreamTell(s);
    EXPECT_EQ(MemStreamRead(out, st.size, st.count, s), st.result) << st.size << "x" << st.count;
    EXPECT_EQ(std::memcmp(out, kTen + start, size_t(st.copied)), 0);
    for (size_t i = size_t(st.copied); i < sizeof out; i++) ASSERT_EQ(out[i], 0xEE) << i;
    EXPECT_EQ(MemStreamEof(s), st.eof);
    EXPECT_EQ(MemStreamTell(s), st.tell);
  }
  EXPECT_EQ(MemStreamIdleCheck(s), 1);
  EXPECT_EQ(MemStreamClose(s), 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
  EXPECT_EQ(kTen[9], 9);  // the caller's block is untouched
}

TEST(MemStream, ElementCountTimesSizeDoesNotWrap) {
  // 2 x 0x80000000 is 2^32: in 32 bits it would wrap to 0 and "succeed" with nothing read.
  MemStream* s = MemStreamOpen(kTen, 10);
  unsigned char out[10] = {};
  EXPECT_EQ(MemStreamRead(out, 2, 0x80000000u, s), 5);
  EXPECT_EQ(std::memcmp(out, kTen, 10), 0);
  MemStreamClose(s);
}

TEST(MemStream, EmptyStreamEndsAtOnce) {
  MemStream* s = MemStreamOpen(kTen, 0);
  unsigned char out[4] = {};
  EXPECT_EQ(MemStreamRead(out, 1, 4, s), 0);
  EXPECT_EQ(MemStreamEof(s), 1);
  EXPECT_EQ(MemStreamTell(s), 0);
  MemStreamClose(s);
}

TEST(MemStream, SeeksStayInsideTheBlockAndClearTheEndFlag) {
  MemStream* s = MemStreamOpen(kTen, 10);
  struct Case {
    int32_t from;
    int32_t offset;
    int origin;
    int64_t position;
  } cases[] = {
      {0, -5, FILE_SEEK_SET, 0},
      {0, 10, FILE_SEEK_END, 10},
      {0, -3, FILE_SEEK_END, 7},
      {4, 3, FILE_SEEK_CUR, 7},
      {8, INT32_MIN, FILE_SEEK_CUR, 0},     // a 32-bit target would wrap to a large value
      {0, INT32_MAX, FILE_SEEK_END, 10},    // ... or to a negative one
      {2, 100, FILE_SEEK_SET, 10},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(MemStreamSeek(s, c.from, FILE_SEEK_SET), 0);
    unsigned char out[16];
    MemStreamSeek(s, 0, FILE_SEEK_END);
    MemStreamRead(out, 1, 1, s);  // sets the end flag
    ASSERT_EQ(MemStreamEof(s), 1);
    MemStreamSeek(s, c.from, FILE_SEEK_SET);
    EXPECT_EQ(MemStreamSeek(s, c.offset, c.origin), 0);
    EXPECT_EQ(MemStreamTell(s), c.position) << c.from << " " << c.offset << " " << c.origin;
    EXPECT_EQ(MemStreamEof(s), 0);
  }
  EXPECT_EQ(MemStreamSeek(s, 1, 7), -1);
  EXPECT_EQ(MemStreamTell(s), 10);
  MemStreamClose(s);
}

namespace {

int g_fakeOpens = 0;
FileHandle FakeOpen(const char*, int, int, int) {
  g_fakeOpens++;
  return 1234;
}
FileHandle OtherOpen(const char*, int, int, int) { return 99; }

}  // namespace

// The default table again after each test, whatever it installed.
struct FileTable : FileTestDir {
  void SetUp() override {
    FileTestDir::SetUp();
    g_fakeOpens = 0;
  }
  void TearDown() override {
    PlainFilesOnly = 0;
    SetFileFunctionTable(nullptr);
    FileTestDir::TearDown();
  }
};

TEST_F(FileTable, CallerTableIsCopiedAndNullInstallsTheDefault) {
  FileFunctionTable fake = PlainFileFunctionSet;
  fake.open = FakeOpen;
  ASSERT_EQ(SetFileFunctionTable(&fake), 0);
  fake.open = OtherOpen;  // the engine keeps its own copy
  EXPECT_EQ(FileOpen("anything", 0, 1, 0), FileHandle(1234));
  EXPECT_EQ(g_fakeOpens, 1);

  PlainFilesOnly = 1;
  ASSERT_EQ(SetFileFunctionTable(nullptr), 0);
  EXPECT_EQ(FileOpen(Path("missing").c_str(), 0, 1, 0), FileHandle(0));
  FileHandle h = FileOpen(MakeFile("f", 10).c_str(), 0, 1, 0);
  ASSERT_NE(h, FileHandle(0));
  EXPECT_EQ(g_fakeOpens, 1);
  EXPECT_EQ(FileClose(h), 0);
  PlainFilesOnly = 0;
  EXPECT_TRUE(NoLeaks());
}

TEST_F(FileTable, StreamRowsReadFilesAndMemoryAlike) {
  FillStreamFunctionRows();
  FileHandle file = FileOpen(MakeFile("f", 10).c_str(), 0, 1, 0);
  MemStream* mem = MemStreamOpen(kTen, 10);
  unsigned char expected[10];
  for (int i = 0; i < 10; i++) expected[i] = Byte(size_t(i));
  struct Source {
    const StreamFunctions* row;
    StreamHandle handle;
    const unsigned char* bytes;
    int eofValue;
  } sources[] = {
      {GetFileStreamFunctions(), file, expected, -1},
      {GetMemStreamFunctions(), StreamHandle(mem), kTen, 1},
  };
  for (const Source& src : sources) {
    const StreamFunctions row = *src.row;
    unsigned char out[10] = {};
    EXPECT_EQ(row.seek(src.handle, -4, FILE_SEEK_END), 0);
    EXPECT_EQ(row.tell(src.handle), 6);
    EXPECT_EQ(row.read(out, 2, 2, src.handle), 2);
    EXPECT_EQ(std::memcmp(out, src.bytes + 6, 4), 0);
    EXPECT_EQ(row.eof(src.handle), 0);
    EXPECT_EQ(row.read(out, 2, 1, src.handle), 0);
    EXPECT_EQ(row.eof(src.handle), src.eofValue);
    EXPECT_EQ(row.idleCheck(src.handle), 1);
    EXPECT_EQ(row.close(src.handle), 0);
  }
  EXPECT_TRUE(NoLeaks());
}
