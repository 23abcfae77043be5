// The packer's archives read back through the format's record readers: header, tables,
// name lookups by walking the records, stored and compressed file contents.
#include "engine/base/memory.h"
#include "engine/file/archiveformat.h"
#include "engine/file/writer/archivewriter.h"
#include "platform/fs/fs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

// An archive unscrambled and checked, with lookups by path.
struct Unpacked {
  std::vector<uint8_t> bytes;
  ArchiveHeader header{};
  const uint8_t* info = nullptr;

  // 0 when the key shows the magic and the header fits the archive.
  int Open(const ArchiveBytes& packed, const uint8_t key[ARCHIVE_KEY_SIZE]) {
    bytes.assign(packed.data, packed.data + packed.size);
    ApplyArchiveKey(bytes.size(), bytes.data(), 0, key);
    if (bytes.size() < ARCHIVE_HEADER_SIZE) return -1;
    ReadArchiveHeader(bytes.data(), &header);
    if (CheckArchiveHeader(&header, bytes.size()) != 0) return -1;
    info = bytes.data() + header.infoOffset;
    return 0;
  }

  ArchiveDirRecord Root() {
    ArchiveDirRecord root{};
    EXPECT_EQ(ReadArchiveDirRecord(&header, info, 0, &root), 0);
    return root;
  }

  // Walks a '\' path from the root; 0 with the last component's record.
  int Find(const std::string& path, ArchiveFileRecord* record) {
    ArchiveDirRecord dir = Root();
    size_t start = 0;
    for (;;) {
      size_t end = path.find('\\', start);
      bool last = end == std::string::npos;
      std::string name = path.substr(start, last ? std::string::npos : end - start);
      uint8_t key[ARCHIVE_MAX_KEY_NAME];
      uint16_t units, sum;
      if (BuildArchiveKeyName(name.data(), name.size(), key, sizeof key, &units, &sum) < 0) return -1;
      if (FindArchiveDirEntry(&header, info, &dir, key, units, sum, last ? 0 : 1, record,
                              nullptr) != 0) {
        if (!last) return -1;
        if (FindArchiveDirEntry(&header, info, &dir, key, units, sum, 1, record, nullptr) != 0)
          return -1;
      }
      if (last) return 0;
      if (ReadArchiveDirRecord(&header, info, record->dataOffset, &dir) != 0) return -1;
      start = end + 1;
    }
  }

  std::string Contents(const ArchiveFileRecord& record) {
    EXPECT_EQ(CheckArchiveFileData(&header, &record, bytes.size()), 0);
    const uint8_t* stored = bytes.data() + ArchiveFileDataStart(&header, &record);
    if (!ArchiveFileIsCompressed(&header, &record)) return std::string((const char*)stored, record.size);
    std::string out(record.size, '\0');
    char none;
    EXPECT_EQ(DecodeArchiveData(stored, record.compressedSize, record.size ? &out[0] : &none,
                                record.size),
              int64_t(record.size));
    return out;
  }

  std::string Name(const ArchiveFileRecord& record) {
    ArchiveNameRecord name{};
    EXPECT_EQ(ReadArchiveNameRecord(&header, info, record.nameOffset, &name), 0);
    return name.name;
  }
};

const uint8_t* DefaultKey() {
  static uint8_t key[ARCHIVE_KEY_SIZE];
  BuildArchiveKey(nullptr, key);
  return key;
}

const std::string kLongName(260, 'n');

const uint64_t kTime1 = FileTimeFromUnixSeconds(1000000000);
const uint64_t kTime2 = FileTimeFromUnixSeconds(1200000000);

std::string Text(size_t n, unsigned seed) {
  std::string s;
  for (size_t i = 0; i < n; i++) s += char("the quick brown fox "[(i * seed / 7 + i) % 20]);
  return s;
}

}  // namespace

TEST(ArchiveWriter, ListReadsBackInEveryVersion) {
  const std::string png = Text(3000, 3), txt = "hello", empty;
  const ArchiveWriteItem items[] = {
      {"Data\\Img\\A.png", 0, png.data(), png.size(), kTime1, kTime2},
      {"Data/readme.txt", 0, txt.data(), txt.size(), kTime2, kTime1},
      {"Data\\Empty", 1, nullptr, 0, kTime2, kTime2},
      {"Data\\Img\\zero.bin", 0, empty.data(), 0, 0, 0},
      {"top.dat", 0, txt.data(), txt.size(), 0, 0},
  };
  for (int version = 0; version <= 3; version++) {
    for (int compress : {ARCHIVE_COMPRESS_NONE, ARCHIVE_COMPRESS_ALWAYS}) {
      if (compress && version < 2) continue;
      SCOPED_TRACE(testing::Message() << "version " << version << " compress " << compress);
      ArchiveWriteOptions options = {version, compress, nullptr, 0};
      ArchiveBytes packed = {nullptr, 0};
      ASSERT_EQ(PackArchive(items, std::size(items), &options, &packed), 0);
      Unpacked a;
      ASSERT_EQ(a.Open(packed, DefaultKey()), 0);
      FreeArchiveBytes(&packed);
      EXPECT_EQ(GetTrackedBlockCount(), 0);
      EXPECT_EQ(a.header.version, version);
      EXPECT_EQ(a.header.dirTableOffset - a.header.fileTableOffset,
                7 * ArchiveFileRecordSize(uint32_t(version)));  // 7 entries below the root

      ArchiveDirRecord root = a.Root();
      EXPECT_EQ(root.parentOffset, ARCHIVE_NONE);
      EXPECT_EQ(root.fileCount, 2u);

      ArchiveFileRecord r{};
      ASSERT_EQ(a.Find("DATA\\IMG\\A.PNG", &r), 0);  // lookups ignore letter case
      EXPECT_EQ(a.Name(r), "A.png");
      EXPECT_EQ(r.size, png.size());
      EXPECT_EQ(r.createTime, kTime1);
      EXPECT_EQ(r.writeTime, kTime2);
      EXPECT_EQ(ArchiveFileIsCompressed(&a.header, &r), compress ? 1 : 0);
      if (compress) {
        EXPECT_LT(r.compressedSize, png.size());
      }
      EXPECT_EQ(a.Contents(r), png);

      ASSERT_EQ(a.Find("data\\README.TXT", &r), 0);
      EXPECT_EQ(a.Contents(r), txt);
      ASSERT_EQ(a.Find("data\\img\\zero.bin", &r), 0);
      EXPECT_EQ(a.Contents(r), "");
      ASSERT_EQ(a.Find("TOP.DAT", &r), 0);
      EXPECT_EQ(a.Contents(r), txt);

      // Directories: the attribute, the parent links and an empty one with its times.
      ASSERT_EQ(a.Find("Data\\Empty", &r), 0);
      EXPECT_EQ(r.attributes & ARCHIVE_ATTR_DIRECTORY, ARCHIVE_ATTR_DIRECTORY);
      EXPECT_EQ(r.createTime, kTime2);
      ArchiveDirRecord emptyDir{}, dataDir{};
      ASSERT_EQ(ReadArchiveDirRecord(&a.header, a.info, r.dataOffset, &emptyDir), 0);
      EXPECT_EQ(emptyDir.fileCount, 0u);
      ASSERT_EQ(a.Find("Data", &r), 0);
      EXPECT_EQ(emptyDir.parentOffset, r.dataOffset);
      ASSERT_EQ(ReadArchiveDirRecord(&a.header, a.info, r.dataOffset, &dataDir), 0);
      EXPECT_EQ(dataDir.parentOffset, 0u);
      EXPECT_EQ(dataDir.fileCount, 3u);

      // A directory is not found as a file, nor a file as a directory.
      uint8_t key[8];
      uint16_t units, sum;
      BuildArchiveKeyName("DATA", 4, key, sizeof key, &units, &sum);
      EXPECT_EQ(FindArchiveDirEntry(&a.header, a.info, &root, key, units, sum, 0, &r, nullptr), -1);
      EXPECT_EQ(a.Find("TOP.DAT\\X", &r), -1);
      EXPECT_EQ(a.Find("Data\\missing.png", &r), -1);
    }
  }
}

TEST(ArchiveWriter, KeyStringAndFallbackKey) {
  const ArchiveWriteItem item = {"a.txt", 0, "abc", 3, 0, 0};
  uint8_t defaultKey[ARCHIVE_KEY_SIZE], fallback[ARCHIVE_KEY_SIZE], custom[ARCHIVE_KEY_SIZE];
  BuildArchiveKey(nullptr, defaultKey);
  BuildArchiveFallbackKey(fallback);
  BuildArchiveKey("secret", custom);
  struct Case {
    const char* keyString;
    int fallbackKey;
    const uint8_t* opens;
  } cases[] = {{nullptr, 0, defaultKey}, {nullptr, 1, fallback}, {"secret", 0, custom}};
  for (const Case& c : cases) {
    ArchiveWriteOptions options = {3, ARCHIVE_COMPRESS_NONE, c.keyString, c.fallbackKey};
    ArchiveBytes packed = {nullptr, 0};
    ASSERT_EQ(PackArchive(&item, 1, &options, &packed), 0);
    for (const uint8_t* key : {defaultKey, fallback, custom}) {
      Unpacked a;
      EXPECT_EQ(a.Open(packed, key), key == c.opens ? 0 : -1);
    }
    FreeArchiveBytes(&packed);
  }
}

TEST(ArchiveWriter, RefusesBadItemsAndOptions) {
  struct Case {
    const char* what;
    std::vector<ArchiveWriteItem> items;
    ArchiveWriteOptions options;
  } cases[] = {
      {"empty component", {{"a\\\\b", 0, "x", 1, 0, 0}}, {1, 0, nullptr, 0}},
      {"leading separator", {{"\\a", 0, "x", 1, 0, 0}}, {1, 0, nullptr, 0}},
      {"dot dot", {{"a\\..\\b", 0, "x", 1, 0, 0}}, {1, 0, nullptr, 0}},
      {"same name in another case", {{"a.txt", 0, "x", 1, 0, 0}, {"A.TXT", 0, "y", 1, 0, 0}},
       {1, 0, nullptr, 0}},
      {"a file and a directory of one name", {{"a", 0, "x", 1, 0, 0}, {"A\\b", 0, "y", 1, 0, 0}},
       {1, 0, nullptr, 0}},
      {"name too long", {{kLongName.c_str(), 0, "x", 1, 0, 0}}, {1, 0, nullptr, 0}},
      {"data missing", {{"a", 0, nullptr, 4, 0, 0}}, {1, 0, nullptr, 0}},
      {"compression before version 2", {{"a", 0, "x", 1, 0, 0}}, {1, 1, nullptr, 0}},
      {"version 4", {{"a", 0, "x", 1, 0, 0}}, {4, 0, nullptr, 0}},
  };
  for (const Case& c : cases) {
    ArchiveBytes packed = {nullptr, 0};
    EXPECT_EQ(PackArchive(c.items.data(), c.items.size(), &c.options, &packed), -1) << c.what;
    EXPECT_EQ(packed.data, nullptr) << c.what;
  }
  // A double-byte character whose trail byte is a backslash is one name, not two.
  const ArchiveWriteItem sjis = {"\x95\x5C.txt", 0, "x", 1, 0, 0};
  ArchiveWriteOptions options = {1, 0, nullptr, 0};
  ArchiveBytes packed = {nullptr, 0};
  ASSERT_EQ(PackArchive(&sjis, 1, &options, &packed), 0);
  Unpacked a;
  ASSERT_EQ(a.Open(packed, DefaultKey()), 0);
  FreeArchiveBytes(&packed);
  EXPECT_EQ(a.Root().fileCount, 1u);
}

TEST(ArchiveWriter, MalformedTablesFailLookups) {
  const ArchiveWriteItem item = {"dir\\a.txt", 0, "abc", 3, 0, 0};
  ArchiveWriteOptions options = {2, ARCHIVE_COMPRESS_NONE, nullptr, 0};
  ArchiveBytes packed = {nullptr, 0};
  ASSERT_EQ(PackArchive(&item, 1, &options, &packed), 0);
  Unpacked a;
  ASSERT_EQ(a.Open(packed, DefaultKey()), 0);
  FreeArchiveBytes(&packed);

  // Header fields pointing outside the archive.
  struct HeaderCase {
    const char* what;
    void (*spoil)(ArchiveHeader*);
  } headerCases[] = {
      {"magic", [](ArchiveHeader* h) { h->magic[1] = 'X'; }},
      {"version 4", [](ArchiveHeader* h) { h->version = 4; }},
      {"block past the end", [](ArchiveHeader* h) { h->infoSize += 1000; }},
      {"block offset wraps", [](ArchiveHeader* h) { h->infoOffset = 0xFFFFFFF0u; }},
      {"file table past the block", [](ArchiveHeader* h) { h->fileTableOffset = h->infoSize + 1; }},
      {"no room for the root", [](ArchiveHeader* h) { h->dirTableOffset = h->infoSize - 8; }},
      {"data area past the end", [](ArchiveHeader* h) { h->dataOffset = 0x7FFFFFFF; }},
  };
  for (const HeaderCase& c : headerCases) {
    ArchiveHeader h = a.header;
    c.spoil(&h);
    EXPECT_EQ(CheckArchiveHeader(&h, a.bytes.size()), -1) << c.what;
  }

  // Records read past the information block fail, and a lookup through them fails.
  ArchiveFileRecord r{};
  ArchiveDirRecord d{};
  ArchiveNameRecord n{};
  EXPECT_EQ(ReadArchiveDirRecord(&a.header, a.info, a.header.infoSize, &d), -1);
  EXPECT_EQ(ReadArchiveDirRecord(&a.header, a.info, 0xFFFFFFFFFFFFFFF0ull, &d), -1);
  EXPECT_EQ(ReadArchiveFileRecord(&a.header, a.info, a.header.infoSize - a.header.fileTableOffset - 43, &r), -1);
  EXPECT_EQ(ReadArchiveNameRecord(&a.header, a.info, a.header.infoSize - 3, &n), -1);
  ArchiveDirRecord root = a.Root();
  ArchiveDirRecord huge = root;
  huge.fileCount = 0xFFFFFFFFu;  // records run off the block: the walk stops, not found
  uint8_t key[8];
  uint16_t units, sum;
  BuildArchiveKeyName("zzz", 3, key, sizeof key, &units, &sum);
  EXPECT_EQ(FindArchiveDirEntry(&a.header, a.info, &huge, key, units, sum, 0, &r, nullptr), -1);

  // A name record whose unit count runs past the block, or whose written name has no
  // terminator inside it.
  ASSERT_EQ(ReadArchiveDirEntry(&a.header, a.info, &root, 0, &r), 0);
  std::vector<uint8_t> info(a.info, a.info + a.header.infoSize);
  info[r.nameOffset] = 0xFF;
  info[r.nameOffset + 1] = 0xFF;
  EXPECT_EQ(ReadArchiveNameRecord(&a.header, info.data(), r.nameOffset, &n), -1);
  ArchiveHeader cut = a.header;
  cut.infoSize = uint32_t(r.nameOffset + 4 + 4 + 2);  // inside the written name "dir"
  EXPECT_EQ(ReadArchiveNameRecord(&cut, a.info, r.nameOffset, &n), -1);

  // File data outside the archive.
  ASSERT_EQ(a.Find("dir\\a.txt", &r), 0);
  EXPECT_EQ(CheckArchiveFileData(&a.header, &r, a.bytes.size()), 0);
  ArchiveFileRecord spoilt = r;
  spoilt.size = 0xFFFFFFFFu;
  EXPECT_EQ(CheckArchiveFileData(&a.header, &spoilt, a.bytes.size()), -1);
  spoilt = r;
  spoilt.compressedSize = 8;  // too short for a block head
  EXPECT_EQ(CheckArchiveFileData(&a.header, &spoilt, a.bytes.size()), -1);
}

namespace {

struct FolderFixture : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/kr_pack_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf " + dir;
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  // Straight to the disk: the platform's case-insensitive match would take A.TXT for an
  // existing a.txt.
  void Write(const std::string& path, const std::string& data) {
    std::FILE* f = std::fopen((dir + "/" + path).c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
    std::fclose(f);
  }
};

}  // namespace

TEST_F(FolderFixture, PacksAFolderTree) {
  ASSERT_EQ(PlatMakeDirectory((dir + "/DATA").c_str()), 0);
  ASSERT_EQ(PlatMakeDirectory((dir + "/DATA/img").c_str()), 0);
  ASSERT_EQ(PlatMakeDirectory((dir + "/DATA/empty").c_str()), 0);
  const std::string big = Text(20000, 5);
  Write("DATA/img/b.png", big);
  Write("DATA/img/a.png", "A");
  Write("DATA/x.txt", "");
  ArchiveWriteOptions options = {3, ARCHIVE_COMPRESS_SMALLER, nullptr, 0};
  ArchiveBytes packed = {nullptr, 0};
  ASSERT_EQ(PackArchiveFolder((dir + "/DATA").c_str(), &options, &packed), 0);
  std::string out = dir + "/DATA.KRA";
  ASSERT_EQ(SaveArchiveBytes(out.c_str(), &packed), 0);
  FreeArchiveBytes(&packed);

  // Read the file back from disk.
  PlatFile* f = PlatFileOpen(out.c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING);
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> disk(size_t(PlatFileSize(f)));
  ASSERT_EQ(PlatFileRead(f, disk.data(), int64_t(disk.size())), int64_t(disk.size()));
  PlatFileClose(f);
  ArchiveBytes view = {disk.data(), disk.size()};
  Unpacked a;
  ASSERT_EQ(a.Open(view, DefaultKey()), 0);

  ArchiveDirRecord root = a.Root();
  ASSERT_EQ(root.fileCount, 3u);  // empty, img, x.txt in name order
  const char* names[] = {"empty", "img", "x.txt"};
  for (uint32_t i = 0; i < 3; i++) {
    ArchiveFileRecord r{};
    ASSERT_EQ(ReadArchiveDirEntry(&a.header, a.info, &root, i, &r), 0);
    EXPECT_EQ(a.Name(r), names[i]);
  }
  ArchiveFileRecord r{};
  ASSERT_EQ(a.Find("IMG\\B.PNG", &r), 0);
  EXPECT_EQ(ArchiveFileIsCompressed(&a.header, &r), 1);  // text shrinks
  EXPECT_EQ(a.Contents(r), big);
  PlatFileInfo info;
  ASSERT_EQ(PlatFileStat((dir + "/DATA/img/b.png").c_str(), &info), 0);
  EXPECT_EQ(r.writeTime, FileTimeFromUnixSeconds(info.writeTime));
  ASSERT_EQ(a.Find("img\\a.png", &r), 0);
  EXPECT_EQ(ArchiveFileIsCompressed(&a.header, &r), 0);  // one byte does not shrink
  EXPECT_EQ(a.Contents(r), "A");
  ASSERT_EQ(a.Find("X.TXT", &r), 0);
  EXPECT_EQ(r.size, 0u);
}

TEST_F(FolderFixture, RefusesNamesDifferingOnlyInCaseAndMissingFolders) {
  ASSERT_EQ(PlatMakeDirectory((dir + "/d").c_str()), 0);
  Write("d/a.txt", "1");
  Write("d/A.TXT", "2");
  ArchiveWriteOptions options = {1, ARCHIVE_COMPRESS_NONE, nullptr, 0};
  ArchiveBytes packed = {nullptr, 0};
  EXPECT_EQ(PackArchiveFolder((dir + "/d").c_str(), &options, &packed), -1);
  EXPECT_EQ(PackArchiveFolder((dir + "/none").c_str(), &options, &packed), -1);
  EXPECT_EQ(PackArchiveFolder((dir + "/d/a.txt").c_str(), &options, &packed), -1);
  EXPECT_EQ(GetTrackedBlockCount(), 0);
}

TEST(ArchiveWriter, FileTimeFromUnixSeconds) {
  EXPECT_EQ(FileTimeFromUnixSeconds(0), 116444736000000000ull);
  EXPECT_EQ(FileTimeFromUnixSeconds(1), 116444736010000000ull);
  EXPECT_EQ(FileTimeFromUnixSeconds(-11644473600), 0u);
  EXPECT_EQ(FileTimeFromUnixSeconds(-11644473601), 0u);
}
