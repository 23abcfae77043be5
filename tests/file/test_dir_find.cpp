#include "engine/file/dirfind.h"

#include "filefixture.h"

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <set>
#include <sys/time.h>
#include <unistd.h>

namespace {

std::set<std::string> FindAll(const std::string& pattern) {
  std::set<std::string> names;
  FindRecord r;
  FindHandle h = PlainFindFirst(pattern.c_str(), &r);
  if (h == -1) return names;
  do names.insert(r.name);
  while (PlainFindNext(h, &r) == 0);
  EXPECT_EQ(PlainFindClose(h), 0);
  return names;
}

std::string Backslashed(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

}  // namespace

struct DirFind : FileTestDir {
  void SetUp() override {
    FileTestDir::SetUp();
    for (const char* name : {"a.txt", "B.TXT", "c.png", "noext"}) MakeFile(name, 3);
    ASSERT_EQ(PlatMakeDirectory(Path("sub").c_str()), 0);
  }
};

TEST_F(DirFind, WildcardsMatchLikeWindows) {
  using Names = std::set<std::string>;
  const Names all = {".", "..", "a.txt", "B.TXT", "c.png", "noext", "sub"};
  struct Case {
    std::string pattern;
    Names names;
  } cases[] = {
      {Path("*.txt"), {"a.txt", "B.TXT"}},
      {Path("*.*"), all},
      {Path("*"), all},
      {Path("?.PNG"), {"c.png"}},
      {Path("s*"), {"sub"}},
      {Path("*."), {".", "..", "noext", "sub"}},
      {Path("*.none"), {}},
      {"C:" + Backslashed(Path("*.TXT")), {"a.txt", "B.TXT"}},
      {Path("sub/*"), {".", ".."}},
      {"/.", {}},  // the root has no "." entry
  };
  for (const Case& c : cases) EXPECT_EQ(FindAll(c.pattern), c.names) << c.pattern;

  // Relative to the current directory.
  ASSERT_EQ(PlainSetCurrentDir(dir.c_str()), 1);
  EXPECT_EQ(FindAll("*.png"), Names{"c.png"});
  EXPECT_EQ(FindAll("missingdir/*"), Names{});
  EXPECT_TRUE(NoLeaks());
}

TEST_F(DirFind, NullRecordStillAdvances) {
  FindHandle h = PlainFindFirst(Path("*.txt").c_str(), nullptr);
  ASSERT_NE(h, -1);
  EXPECT_EQ(PlainFindNext(h, nullptr), 0);
  EXPECT_EQ(PlainFindNext(h, nullptr), -1);
  EXPECT_EQ(PlainFindClose(h), 0);
  EXPECT_EQ(PlainFindClose(-1), -1);
  EXPECT_EQ(PlainFindNext(-1, nullptr), -1);
  EXPECT_TRUE(NoLeaks());
}

TEST_F(DirFind, RecordHoldsSizeKindAndLocalDates) {
  // A sparse file of 5 GB: nothing like 5 GB is written.
  const std::string big = Path("big.bin");
  int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 5ll << 30), 0);
  close(fd);
  // Last written at a known local time.
  struct tm local = {};
  local.tm_year = 2001 - 1900;
  local.tm_mon = 1;
  local.tm_mday = 3;
  local.tm_hour = 4;
  local.tm_min = 5;
  local.tm_sec = 6;
  local.tm_isdst = -1;
  const time_t when = mktime(&local);
  struct timeval times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimes(big.c_str(), times), 0);

  FindRecord r;
  FindHandle h = PlainFindFirst(Path("BIG.BIN").c_str(), &r);
  ASSERT_NE(h, -1);
  EXPECT_STREQ(r.name, "big.bin");
  EXPECT_EQ(r.directory, 0);
  EXPECT_EQ(uint32_t(r.size >> 32), 1u);
  EXPECT_EQ(uint32_t(r.size), 1u << 30);
  const DateTimeFields want = {2001, 2, 3, 4, 5, 6};
  EXPECT_EQ(std::memcmp(&r.written, &want, sizeof want), 0);
  EXPECT_EQ(PlainFindClose(h), 0);

  h = PlainFindFirst(Path("sub").c_str(), &r);
  ASSERT_NE(h, -1);
  EXPECT_EQ(r.directory, 1);
  EXPECT_EQ(r.size, 0u);
  PlainFindClose(h);
  EXPECT_TRUE(NoLeaks());
}

TEST(DirDates, FileTimesBecomeLocalDateFields) {
  // 100 ns ticks from 1601 to the same moment as seconds from 1970.
  const int64_t seconds = 981173106;
  DateTimeFields fromFileTime, fromSeconds;
  FileTimeToDateFields(uint64_t(seconds + 11644473600ll) * 10000000ull + 9999999, &fromFileTime);
  UnixTimeToDateFields(seconds, &fromSeconds);
  EXPECT_EQ(std::memcmp(&fromFileTime, &fromSeconds, sizeof fromSeconds), 0);
  EXPECT_EQ(fromSeconds.year, 2001);
}

TEST(DirMatch, PatternTable) {
  struct Case {
    const char* pattern;
    const char* name;
    int result;
  } cases[] = {
      {"*.txt", "README.TXT", 0},  {"a*b", "axxbxb", 0},   {"*.png", "a.b.png", 0},
      {"a?c", "abd", -1},          {"??", "表", -1},       {"?", "表", 0},
      {"*表", "x表", 0},           {"*\\", "表", -1},      {"a.*", "a", 0},
      {"*.*", "noext", 0},         {"*.", "a.b", -1},      {"abc.", "ABC", 0},
      {"", "", 0},                 {"*", "", 0},           {"x", "", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchFindPattern(c.pattern, c.name), c.result) << c.pattern << " " << c.name;
}

TEST(DirPath, ResolveFullPathTable) {
  struct Case {
    const char* path;
    const char* base;
    int result;
    const char* full;
  } cases[] = {
      // Windows forms.
      {"..\\a", "C:\\x\\y", 0, "C:\\x\\a"},
      {"..", "C:\\", 0, "C:"},
      {"..\\..\\..", "C:\\x\\y", 0, "C:"},
      {"a\\\\b", "C:\\x", -1, "C:\\x\\a"},
      {"D:\\z", "C:\\x", 0, "D:\\z"},
      {"D:z/w", "C:\\x", 0, "D:\\z\\w"},
      {"\\w", "C:\\x", 0, "C:\\w"},
      {".\\a/./b\\", "C:\\x\\", 0, "C:\\x\\a\\b"},
      {"", "C:\\x\\", 0, "C:\\x"},
      {nullptr, "C:\\x\\", 0, "C:\\x\\"},
      {"表\\b", "C:\\x", 0, "C:\\x\\表\\b"},  // the second byte of 表 is a backslash
      {"表\\..", "C:\\x", 0, "C:\\x"},
      // Linux forms: a leading separator is the root.
      {"a/b", "/home/u", 0, "/home/u/a/b"},
      {"../a", "/home/u/", 0, "/home/a"},
      {"..", "/", 0, "/"},
      {"../..", "/home", 0, "/"},
      {"/etc/x", "/home", 0, "/etc/x"},
      {"\\etc\\x", "/home", 0, "/etc/x"},
      {"/", "/home", 0, "/"},
      {"a//b", "/home", -1, "/home/a"},
  };
  for (const Case& c : cases) {
    char out[64];
    std::memset(out, 'Z', sizeof out);
    EXPECT_EQ(ResolveFullPath(c.path, out, sizeof out, c.base), c.result)
        << (c.path ? c.path : "(null)") << " on " << c.base;
    EXPECT_STREQ(out, c.full) << (c.path ? c.path : "(null)") << " on " << c.base;
  }
}

TEST(DirPath, ResolveFullPathNeverOverflows) {
  char out[12];
  std::memset(out, 'Z', sizeof out);
  EXPECT_EQ(ResolveFullPath("abcdef/ghijkl", out, 10, "/x"), -1);
  EXPECT_LT(std::strlen(out), size_t(10));
  EXPECT_EQ(out[10], 'Z');
  EXPECT_EQ(out[11], 'Z');
  out[0] = 'Z';
  EXPECT_EQ(ResolveFullPath("a", out, 0, "/x"), -1);
  EXPECT_EQ(out[0], 'Z');
}

TEST_F(DirFind, CurrentDirectoryIsTheBaseWithoutOne) {
  // The plain set's own results (the archive-aware set, the default, returns 0 from both).
  ASSERT_EQ(SetFileFunctionTable(&PlainFileFunctionSet), 0);
  ASSERT_EQ(FileSetCurrentDir(dir.c_str()), 1);
  EXPECT_EQ(FileSetCurrentDir(Path("missing").c_str()), 0);
  char cwd[FILE_PATH_MAX];
  const int n = FileGetCurrentDir(cwd, sizeof cwd);
  ASSERT_GT(n, 0);
  EXPECT_EQ(size_t(n), std::strlen(cwd));
  // Too small a buffer: left alone, the result is the size needed.
  char small[4] = "abc";
  EXPECT_EQ(FileGetCurrentDir(small, sizeof small), n + 1);
  EXPECT_STREQ(small, "abc");

  char full[FILE_PATH_MAX];
  ASSERT_EQ(ResolveFullPath("sub/../c.png", full, sizeof full, nullptr), 0);
  EXPECT_EQ(std::string(full), std::string(cwd) + "/c.png");
  PlatFileInfo info;
  EXPECT_EQ(PlatFileStat(full, &info), 0);
}

TEST_F(DirFind, TempFileIsMadeInTheTemporaryDirectory) {
  ASSERT_EQ(setenv("TMPDIR", dir.c_str(), 1), 0);
  char path[FILE_PATH_MAX];
  PlatFile* f = CreateTempFile(path, sizeof path);
  ASSERT_NE(f, nullptr);
  const std::string prefix = dir + "/tmp";
  EXPECT_EQ(std::string(path).compare(0, prefix.size(), prefix), 0) << path;
  EXPECT_EQ(PlatFileWrite(f, "abc", 3), 3);
  PlatFileClose(f);
  PlatFileInfo info;
  ASSERT_EQ(PlatFileStat(path, &info), 0);
  EXPECT_EQ(info.size, 3u);

  // Each call makes a file of its own; without an out buffer too.
  char second[FILE_PATH_MAX];
  f = CreateTempFile(second, sizeof second);
  ASSERT_NE(f, nullptr);
  EXPECT_STRNE(path, second);
  PlatFileClose(f);
  f = CreateTempFile(nullptr, 0);
  ASSERT_NE(f, nullptr);
  PlatFileClose(f);
  EXPECT_EQ(FindAll(Path("tmp*")).size(), 3u);

  // A path that does not fit: no file is left behind and the buffer is not touched.
  char tiny[8] = "keep";
  EXPECT_EQ(CreateTempFile(tiny, sizeof tiny), nullptr);
  EXPECT_STREQ(tiny, "keep");
  EXPECT_EQ(FindAll(Path("tmp*")).size(), 3u);
  EXPECT_TRUE(NoLeaks());
}
