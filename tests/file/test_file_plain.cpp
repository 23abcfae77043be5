#include "engine/file/plainfile.h"

#include "filefixture.h"

#include <cstring>
#include <unistd.h>

namespace {

struct Mode {
  const char* name;
  int useCache;
  int asynchronous;
};
const Mode kModes[] = {
    {"direct", 0, 0},
    {"cached", 1, 0},
    {"asynchronous", 0, 1},
    {"cached asynchronous", 1, 1},
};

// Waits until an asynchronous read has landed, polling as the engine's callers do.
void WaitIdle(FileHandle h) {
  while (PlainFileIdleCheck(h) == 0) PlatSleep(0);
}

}  // namespace

// On the manual clock, so that no read-ahead happens unless a test moves the clock.
struct PlainFile : FileTestDir {
  void SetUp() override {
    FileTestDir::SetUp();
    PlatClockSetManual(1, 0);
  }
};

TEST_F(PlainFile, ReadsWholeElementsOnlyInEveryMode) {
  const std::string path = MakeFile("ten", 10);
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    FileHandle h = PlainFileOpen(path.c_str(), m.useCache, 1, m.asynchronous);
    ASSERT_NE(h, FileHandle(0));
    EXPECT_EQ(PlainFileIdleCheck(h), 1);
    unsigned char out[16];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(PlainFileRead(out, 4, 3, h), 2);
    WaitIdle(h);
    EXPECT_EQ(PlainFileTell(h), 8);
    for (int i = 0; i < 8; i++) EXPECT_EQ(out[i], Byte(size_t(i)));
    EXPECT_EQ(out[8], 0xEE);
    EXPECT_EQ(PlainFileEof(h), 0);
    // Two bytes are left: not a whole element, so nothing is delivered.
    EXPECT_EQ(PlainFileRead(out, 4, 1, h), 0);
    EXPECT_EQ(PlainFileEof(h), -1);
    EXPECT_EQ(PlainFileTell(h), 8);
    // 2 x 0x80000000 bytes would wrap to 0 in 32 bits and "succeed" with nothing read.
    ASSERT_EQ(PlainFileSeek(h, 0, FILE_SEEK_SET), 0);
    EXPECT_EQ(PlainFileEof(h), 0);
    EXPECT_EQ(PlainFileRead(out, 2, 0x80000000u, h), 5);
    WaitIdle(h);
    EXPECT_EQ(PlainFileTell(h), 10);
    EXPECT_EQ(out[9], Byte(9));
    EXPECT_EQ(PlainFileClose(h), 0);
  }
  EXPECT_TRUE(NoLeaks());
}

TEST_F(PlainFile, SeeksPastTheEndReadNothingAndSeeksBeforeTheStartFail) {
  const std::string path = MakeFile("ten", 10);
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    FileHandle h = PlainFileOpen(path.c_str(), m.useCache, 1, m.asynchronous);
    ASSERT_NE(h, FileHandle(0));
    struct Case {
      int32_t offset;
      int origin;
      int result;
      int64_t position;
    } cases[] = {
        {3, FILE_SEEK_SET, 0, 3},   {4, FILE_SEEK_CUR, 0, 7},     {-2, FILE_SEEK_END, 0, 8},
        {-9, FILE_SEEK_CUR, -1, 8}, {-11, FILE_SEEK_END, -1, 8},  {-1, FILE_SEEK_SET, -1, 8},
        {1, 9, -1, 8},              {10, FILE_SEEK_END, 0, 20},
    };
    for (const Case& c : cases) {
      EXPECT_EQ(PlainFileSeek(h, c.offset, c.origin), c.result) << c.offset << " " << c.origin;
      EXPECT_EQ(PlainFileTell(h), c.position) << c.offset << " " << c.origin;
    }
    // Past the end: nothing is written, however much is asked for.
    unsigned char out[8];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(PlainFileRead(out, 1, 8, h), 0);
    WaitIdle(h);
    for (unsigned char c : out) EXPECT_EQ(c, 0xEE);
    EXPECT_EQ(PlainFileEof(h), -1);
    EXPECT_EQ(PlainFileTell(h), 20);
    EXPECT_EQ(PlainFileClose(h), 0);
  }
  EXPECT_TRUE(NoLeaks());
}

TEST_F(PlainFile, ReadsAdvanceByTheBytesActuallyRead) {
  // The file loses half its bytes after the open took its size.
  for (const Mode& m : kModes) {
    SCOPED_TRACE(m.name);
    const std::string path = MakeFile("shrinks", 10);
    FileHandle h = PlainFileOpen(path.c_str(), m.useCache, 1, m.asynchronous);
    ASSERT_NE(h, FileHandle(0));
    ASSERT_EQ(truncate(path.c_str(), 5), 0);
    unsigned char out[10] = {};
    const int64_t n = PlainFileRead(out, 1, 10, h);
    WaitIdle(h);
    EXPECT_EQ(n, m.asynchronous ? 10 : 5);  // an asynchronous read cannot know yet
    EXPECT_EQ(PlainFileTell(h), 5);
    EXPECT_EQ(PlainFileEof(h), -1);
    EXPECT_EQ(out[4], Byte(4));
    EXPECT_EQ(PlainFileClose(h), 0);
  }
  EXPECT_TRUE(NoLeaks());
}

TEST_F(PlainFile, MissingFileFailsQuietlyInEveryMode) {
  for (const Mode& m : kModes)
    EXPECT_EQ(PlainFileOpen(Path("missing").c_str(), m.useCache, 1, m.asynchronous), FileHandle(0));
  EXPECT_EQ(PlainFileOpen(dir.c_str(), 0, 1, 0), FileHandle(0));  // a directory is no file
  EXPECT_TRUE(logLines.empty());
  EXPECT_TRUE(NoLeaks());
  EXPECT_EQ(PlainFileClose(0), -1);
}

namespace {

int RefuseCache(size_t size) {
  return size >= PLAIN_FILE_CACHE_SIZE && size < PLAIN_FILE_CACHE_SIZE + 4096;
}

}  // namespace

TEST_F(PlainFile, CacheThatCannotBeHadIsLogged) {
  const std::string path = MakeFile("ten", 10);
  PlatSetAllocFailHook(RefuseCache);
  EXPECT_EQ(PlainFileOpen(path.c_str(), 1, 1, 0), FileHandle(0));
  PlatSetAllocFailHook(nullptr);
  EXPECT_TRUE(Logged("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n"));
  EXPECT_TRUE(NoLeaks());
}

namespace {

// Holds every read that reaches the system until the gate opens.
void HoldAtGate(void* gate) { PlatEventWait(static_cast<PlatEvent*>(gate), PLAT_INFINITE); }

}  // namespace

TEST_F(PlainFile, AsynchronousReadReturnsAtOnceAndLandsLater) {
  const std::string path = MakeFile("ten", 10);
  FileHandle h = PlainFileOpen(path.c_str(), 0, 1, 1);
  ASSERT_NE(h, FileHandle(0));
  PlatWaitForWaiters(1);  // the reading thread waits for a command

  PlatEvent* gate = PlatEventCreate(1, 0);
  PlatFsSetReadHook(HoldAtGate, gate);
  unsigned char out[10] = {};
  EXPECT_EQ(PlainFileRead(out, 1, 10, h), 10);
  EXPECT_EQ(PlainFileTell(h), 10);
  EXPECT_EQ(PlainFileIdleCheck(h), 0);
  PlatWaitForWaiters(1);  // the thread holds the read at the gate
  EXPECT_EQ(PlainFileIdleCheck(h), 0);

  PlatEventSet(gate);
  PlatWaitForWaiters(1);  // read done, the thread waits for the next command
  EXPECT_EQ(PlainFileIdleCheck(h), 1);
  for (int i = 0; i < 10; i++) EXPECT_EQ(out[i], Byte(size_t(i)));
  PlatFsSetReadHook(nullptr, nullptr);
  PlatEventDestroy(gate);

  EXPECT_EQ(PlainFileClose(h), 0);
  EXPECT_TRUE(NoLeaks());
}

TEST_F(PlainFile, CacheReadsAheadWhenIdleAndServesSequentialReads) {
  const size_t size = PLAIN_FILE_CACHE_SIZE + 70000;
  const std::string path = MakeFile("big", size);
  std::vector<unsigned char> out(PLAIN_FILE_CACHE_SIZE + 16);
  auto expectBytes = [&](size_t from, size_t count) {
    for (size_t i = 0; i < count; i++)
      if (out[i] != Byte(from + i)) return ::testing::AssertionFailure() << "byte " << from + i;
    return ::testing::AssertionSuccess();
  };

  FileHandle h = PlainFileOpen(path.c_str(), 1, 1, 0);
  ASSERT_NE(h, FileHandle(0));
  PlatWaitForWaiters(1);
  uint64_t reads = PlatFsReadCount();
  PlatClockAdvance(99);
  EXPECT_EQ(PlatWaitingThreadCount(), 1);  // not yet idle for 100 ms
  EXPECT_EQ(PlatFsReadCount(), reads);
  PlatClockAdvance(1);
  PlatWaitForWaiters(1);  // read ahead, waiting again
  EXPECT_EQ(PlatFsReadCount(), reads + 1);

  // The start comes from the cache.
  reads = PlatFsReadCount();
  EXPECT_EQ(PlainFileRead(out.data(), 1, 1000, h), 1000);
  EXPECT_TRUE(expectBytes(0, 1000));
  EXPECT_EQ(PlatFsReadCount(), reads);

  // A read reaching past the cache takes what is cached and the rest from the file.
  EXPECT_EQ(PlainFileRead(out.data(), 1, PLAIN_FILE_CACHE_SIZE, h), PLAIN_FILE_CACHE_SIZE);
  EXPECT_TRUE(expectBytes(1000, PLAIN_FILE_CACHE_SIZE));
  EXPECT_EQ(PlatFsReadCount(), reads + 1);

  // The cache starts again after that read: the next idle spell fills it from there, up
  // to the end of the file, and further idle spells read nothing more.
  PlatWaitForWaiters(1);
  reads = PlatFsReadCount();
  for (int i = 0; i < 3; i++) {
    PlatClockAdvance(100);
    PlatWaitForWaiters(1);
  }
  EXPECT_EQ(PlatFsReadCount(), reads + 1);
  reads = PlatFsReadCount();
  const size_t next = 1000 + PLAIN_FILE_CACHE_SIZE;
  EXPECT_EQ(PlainFileRead(out.data(), 1, uint32_t(size - next), h), int64_t(size - next));
  EXPECT_TRUE(expectBytes(next, size - next));
  EXPECT_EQ(PlatFsReadCount(), reads);

  // A seek empties the cache and read-ahead restarts at its target.
  ASSERT_EQ(PlainFileSeek(h, 1000, FILE_SEEK_SET), 0);
  PlatWaitForWaiters(1);
  PlatClockAdvance(100);
  PlatWaitForWaiters(1);
  reads = PlatFsReadCount();
  EXPECT_EQ(PlainFileRead(out.data(), 1, 10, h), 10);
  EXPECT_TRUE(expectBytes(1000, 10));
  EXPECT_EQ(PlatFsReadCount(), reads);
  // Even a seek to the very bytes the cache holds empties it.
  ASSERT_EQ(PlainFileSeek(h, 1010, FILE_SEEK_SET), 0);
  EXPECT_EQ(PlainFileRead(out.data(), 1, 10, h), 10);
  EXPECT_TRUE(expectBytes(1010, 10));
  EXPECT_EQ(PlatFsReadCount(), reads + 1);

  EXPECT_EQ(PlainFileClose(h), 0);
  EXPECT_EQ(PlatWaitingThreadCount(), 0);  // the thread has ended
  EXPECT_TRUE(NoLeaks());
}
