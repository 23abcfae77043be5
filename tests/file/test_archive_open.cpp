// One open archive: opening streaming and in memory, the keys tried, the name keys,
// directory changes, file records by path and the wildcard match.
#include "engine/file/archive.h"
#include "archivefixture.h"

#include <atomic>
#include <cstring>

namespace {

struct ArchiveOpen : ArchiveTestDir {
  ArchiveRecord a{};
  void TearDown() override {
    CloseArchiveRecord(&a);
    ArchiveTestDir::TearDown();
  }
  std::string Name(const ArchiveFileRecord& r) const {
    ArchiveNameRecord n{};
    EXPECT_EQ(ReadArchiveNameRecord(&a.header, a.info, r.nameOffset, &n), 0);
    return n.name;
  }
  // The name of the current directory's entry found as a file by path, or "".
  std::string Find(const char* path) {
    ArchiveFileRecord r{};
    return FindArchiveFileRecord(path, &a, &r) == 0 ? Name(r) : "";
  }
};

}  // namespace

TEST_F(ArchiveOpen, OpensWithEitherKeyInBothModes) {
  struct Case {
    const char* what;
    int version;
    int compress;
    const char* packKey;
    int fallbackKey;
    int opens;
  } cases[] = {
      {"version 0", 0, 0, nullptr, 0, 1},
      {"version 1", 1, 0, nullptr, 0, 1},
      {"version 2 compressed", 2, ARCHIVE_COMPRESS_ALWAYS, nullptr, 0, 1},
      {"version 3 compressed", 3, ARCHIVE_COMPRESS_ALWAYS, nullptr, 0, 1},
      {"fallback key", 3, 0, nullptr, 1, 1},
      {"another key string", 3, 0, "other", 0, 0},
  };
  for (const Case& c : cases) {
    Save("A.KRA", Pack(c.version, c.compress, c.packKey, c.fallbackKey));
    for (int mode = 0; mode < 3; mode++) {
      SCOPED_TRACE(testing::Message() << c.what << " mode " << mode);
      const int opened = mode == 0 ? OpenArchiveStreaming(&a, "a.kra", nullptr)
                                   : OpenArchiveInMemory(&a, "a.kra", nullptr, mode == 2);
      ASSERT_EQ(opened, c.opens ? 0 : -1);
      if (!c.opens) {
        EXPECT_EQ(a.info, nullptr);
        continue;
      }
      EXPECT_EQ(a.header.version, c.version);
      EXPECT_EQ(a.inMemory, mode != 0 ? 1 : 0);
      EXPECT_EQ(OpenArchiveStreaming(&a, "a.kra", nullptr), -1);  // the record is in use
      ArchiveFileRecord r{};
      ASSERT_EQ(FindArchiveFileRecord("IMG\\A.PNG", &a, &r), 0);
      EXPECT_EQ(r.size, big.size());
      EXPECT_EQ(ArchiveFileIsCompressed(&a.header, &r), c.compress ? 1 : 0);
      if (mode != 0 && !c.compress) {  // the image is unscrambled once loaded
        EXPECT_EQ(std::memcmp(a.image + ArchiveFileDataStart(&a.header, &r), big.data(), big.size()),
                  0);
      }
      CloseArchiveRecord(&a);
      EXPECT_EQ(a.info, nullptr);
      EXPECT_TRUE(NoLeaks());
    }
  }
}

TEST_F(ArchiveOpen, RefusesBadHeadersAndMissingFiles) {
  const std::vector<uint8_t> good = Pack(1, 0);
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"version 4", Edit(good, [](std::vector<uint8_t>& b) { b[2] = 4; })},
      {"no magic under either key", Edit(good, [](std::vector<uint8_t>& b) { b[0] = 'X'; })},
      {"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 23)},
      {"empty", {}},
      {"block past the end", Edit(good, [](std::vector<uint8_t>& b) { b[7] = 0x40; })},
  };
  for (const Case& c : cases) {
    Save("A.KRA", c.bytes);
    EXPECT_EQ(OpenArchiveStreaming(&a, "A.KRA", nullptr), -1) << c.what;
    EXPECT_EQ(OpenArchiveInMemory(&a, "A.KRA", nullptr, 1), -1) << c.what;
    EXPECT_EQ(a.info, nullptr) << c.what;
  }
  EXPECT_EQ(OpenArchiveStreaming(&a, "MISSING.KRA", nullptr), -1);
  EXPECT_TRUE(NoLeaks());
}

TEST_F(ArchiveOpen, AsynchronousLoadCompletesBeforeTheFirstLookup) {
  Save("A.KRA", Pack(3, ARCHIVE_COMPRESS_NONE));
  {
    ReadGate gate(2);  // header and block pass, the image is held
    ASSERT_EQ(OpenArchiveInMemory(&a, "A.KRA", nullptr, 1), 0);
    EXPECT_EQ(a.loading, 1);
    EXPECT_EQ(PollArchiveLoad(&a), 0);
    gate.Release();
    EXPECT_EQ(Find("readme.txt"), "readme.txt");  // waits for the image
    EXPECT_EQ(a.loading, 0);
    EXPECT_EQ(a.loadFailed, 0);
    EXPECT_EQ(PollArchiveLoad(&a), 1);
  }
  CloseArchiveRecord(&a);

  // The file shrinks while its image loads: the image holds no stale bytes and its files
  // do not open, but the archive closes cleanly.
  {
    ReadGate gate(2);
    ASSERT_EQ(OpenArchiveInMemory(&a, "A.KRA", nullptr, 1), 0);
    Save("A.KRA", std::vector<uint8_t>(100, 0));
    gate.Release();
    FinishArchiveLoad(&a);
  }
  EXPECT_EQ(a.loadFailed, 1);
  ArchiveFileEntry e;
  EXPECT_EQ(ArchiveFileOpen(&e, &a, "README.TXT", 0), -1);
  CloseArchiveRecord(&a);
  EXPECT_TRUE(NoLeaks());
}

TEST(ArchiveNames, SearchNameKeys) {
  SearchName s{}, t{};
  size_t length = 0;
  ASSERT_EQ(MakeSearchName("ABCD", &length, &s), 0);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(s.units, 2);  // exactly four bytes still get a terminating unit
  EXPECT_EQ(std::memcmp(s.name, "ABCD\0\0\0\0", 8), 0);
  EXPECT_EQ(s.sum, 'A' + 'B' + 'C' + 'D');

  ASSERT_EQ(MakeSearchName("img\\a.png", &length, &s), 0);
  ASSERT_EQ(MakeSearchName("IMG", nullptr, &t), 0);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(s.units, t.units);
  EXPECT_EQ(s.sum, t.sum);
  EXPECT_EQ(std::memcmp(s.name, t.name, 4), 0);

  // A double-byte character whose trail byte is a backslash belongs to the name.
  ASSERT_EQ(MakeSearchName("\x95\x5C" "a\\b", &length, &s), 0);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(std::memcmp(s.name, "\x95\x5C" "A", 3), 0);

  const std::string tooLong(2000, 'x');
  EXPECT_EQ(MakeSearchName(tooLong.c_str(), &length, &s), -1);
  EXPECT_EQ(s.units, 0);
  EXPECT_EQ(length, 2000u);
}

TEST_F(ArchiveOpen, ChangesDirectoriesByPath) {
  Save("A.KRA", Pack(3, ARCHIVE_COMPRESS_NONE));
  ASSERT_EQ(OpenArchiveStreaming(&a, "A.KRA", nullptr), 0);
  SearchName failed{};
  EXPECT_EQ(ChangeArchiveDir(&a, "..", 1, nullptr), -1);  // the root has no parent
  EXPECT_EQ(ChangeArchiveDir(&a, ".", 1, nullptr), 0);
  EXPECT_EQ(a.currentDir, 0u);

  ASSERT_EQ(ChangeArchiveDir(&a, "sub\\deep\\", 1, nullptr), 0);  // ends in the second one
  EXPECT_EQ(Find("X.BIN"), "x.bin");
  const uint32_t deep = a.currentDir;
  ASSERT_EQ(ChangeArchiveDir(&a, "..", 1, nullptr), 0);
  EXPECT_EQ(Find("DEEP\\X.BIN"), "x.bin");
  ASSERT_EQ(ChangeArchiveDir(&a, "\\", 1, nullptr), 0);
  EXPECT_EQ(a.currentDir, 0u);
  ASSERT_EQ(ChangeArchiveDir(&a, "Sub\\\\Img", 1, nullptr), 0);  // "\\" goes back to the root
  EXPECT_EQ(Find("B.PNG"), "b.png");

  ASSERT_EQ(ChangeArchiveDir(&a, "\\sub", 1, nullptr), 0);
  const uint32_t sub = a.currentDir;
  EXPECT_EQ(ChangeArchiveDir(&a, "deep\\none\\x", 1, &failed), -1);
  EXPECT_EQ(a.currentDir, sub);  // restored
  EXPECT_EQ(std::memcmp(failed.name, "NONE", 5), 0);
  EXPECT_EQ(ChangeArchiveDir(&a, "deep\\none", 0, nullptr), -1);
  EXPECT_EQ(a.currentDir, deep);  // left where the walk stopped
  EXPECT_EQ(ChangeArchiveDir(&a, "x.bin", 1, nullptr), -1);  // a file is no directory
  EXPECT_EQ(ChangeArchiveDir(&a, std::string(3000, 'd').c_str(), 1, nullptr), -1);
  EXPECT_EQ(a.currentDir, deep);
}

TEST_F(ArchiveOpen, FindsFileRecordsOnlyForFiles) {
  Save("A.KRA", Pack(1, ARCHIVE_COMPRESS_NONE));
  ASSERT_EQ(OpenArchiveStreaming(&a, "A.KRA", nullptr), 0);
  struct Case {
    const char* path;
    const char* found;  // "" when nothing is found
  } cases[] = {
      {"IMG\\A.PNG", "A.png"},  {"img\\b.PNG", "b.png"},  {"\\readme.txt", "readme.txt"},
      {"README.TXT", "readme.txt"}, {"Sub\\Deep\\X.bin", "x.bin"},
      {"IMG", ""},               // a directory
      {"Empty", ""},             // a directory, even without files
      {"Sub\\Deep", ""},         // a directory reached by walking
      {"IMG\\A.PNG\\X", ""},     // a file is no directory on the way
      {"README.TXT\\", ""},      // nor with a trailing separator
      {"IMG\\NONE\\A.PNG", ""},  // a missing directory
      {"IMG\\MISSING.PNG", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Find(c.path), c.found) << c.path;
    EXPECT_EQ(a.currentDir, 0u) << c.path;  // left where it was
  }
  const std::string tooLong = "IMG\\" + std::string(1500, 'n');
  EXPECT_EQ(Find(tooLong.c_str()), "");
}

TEST(ArchiveNames, MatchWildcard) {
  struct Case {
    const char* pattern;
    const char* name;
    int result;
  } cases[] = {
      {"*.PNG", "A.PNG", 0},
      {"*.PNG", "A.B.PNG", -1},  // the star stops at the first dot
      {"*.PNG", ".", -1},
      {"*.PNG", "..", -1},
      {"A?C", "ABC", 0},
      {"A?C", "AC", -1},
      {"A?C", "ABBC", -1},
      {"**.TXT", "README.TXT", 0},
      {"*", "ANYTHING", 0},
      {"A*", "A", 0},  // a star at the end takes an empty rest too
      {"A*B", "A", -1},
      {"ABC", "ABC", 0},
      {"ABC", "abc", -1},  // case matters: the layer upper-cases patterns
      {"ABC", "ABCD", -1},
      {"ABCD", "ABC", -1},
      {"\x95\x5C*", "\x95\x5C" "A", 0},
      {"\x95\x5C", "\x95\x5D", -1},
      {"", "", 0},
      {"", "A", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.result) << c.pattern << " " << c.name;
}
