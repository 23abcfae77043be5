// Truncated and corrupted archives, made from the packer's: every one fails to open, or
// fails the lookups and opens that touch its damage, and reads nothing outside what was
// read (AddressSanitizer watches), leaking nothing.
#include "engine/file/archive.h"
#include "archivefixture.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace {

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Offsets in the unscrambled bytes of a packed archive.
struct Layout {
  ArchiveHeader header{};
  const std::vector<uint8_t>* bytes = nullptr;

  explicit Layout(const std::vector<uint8_t>& plain) : bytes(&plain) {
    ReadArchiveHeader(plain.data(), &header);
  }
  size_t InfoEnd() const { return header.infoOffset + size_t(header.infoSize); }
  size_t Dir(uint32_t offset) const { return header.infoOffset + header.dirTableOffset + offset; }
  // The file record of a '\' path from the root (names compared without regard to case).
  size_t Record(const std::string& path) const {
    const uint8_t* info = bytes->data() + header.infoOffset;
    uint32_t dirOffset = 0;
    size_t start = 0;
    for (;;) {
      const size_t end = std::min(path.find('\\', start), path.size());
      const std::string name = path.substr(start, end - start);
      ArchiveDirRecord dir{};
      EXPECT_EQ(ReadArchiveDirRecord(&header, info, dirOffset, &dir), 0);
      size_t found = 0;
      for (uint32_t i = 0; i < dir.fileCount && !found; i++) {
        ArchiveFileRecord r{};
        ArchiveNameRecord n{};
        EXPECT_EQ(ReadArchiveDirEntry(&header, info, &dir, i, &r), 0);
        EXPECT_EQ(ReadArchiveNameRecord(&header, info, r.nameOffset, &n), 0);
        if (strcasecmp(n.name, name.c_str()) == 0) {
          found = header.infoOffset + header.fileTableOffset + dir.firstFileOffset +
                  size_t(i) * ArchiveFileRecordSize(header.version);
          dirOffset = r.dataOffset;
        }
      }
      EXPECT_NE(found, 0u) << path;
      if (end == path.size()) return found;
      start = end + 1;
    }
  }
  size_t NameRecord(const std::string& path) const {
    return header.infoOffset + Get32(*bytes, Record(path));
  }
  // Where a file's stored bytes end.
  size_t DataEnd(const std::string& path) const {
    const size_t r = Record(path);
    const uint32_t stored = header.version >= 2 && Get32(*bytes, r + 40) != ARCHIVE_NONE
                                ? Get32(*bytes, r + 40)
                                : Get32(*bytes, r + 36);
    return header.dataOffset + size_t(Get32(*bytes, r + 32)) + stored;
  }
};

struct ArchiveCorrupt : ArchiveTestDir {
  // Every file of the tree read through the file table ("<none>" when it does not
  // open), with searches of every directory, from DATA.KRA opened streaming or in memory.
  std::map<std::string, std::string> Exercise(int inMemory) {
    std::map<std::string, std::string> seen;
    int preloaded = -1;
    if (inMemory) preloaded = OpenArchive(-1, FullUpper("DATA.KRA").c_str(), 1, 0);
    for (const Item& item : Tree()) {
      if (item.isDirectory) continue;
      const std::string path = std::string("DATA\\") + item.path;
      FileHandle f = FileOpen(path.c_str(), 0, 1, 0);
      seen[item.path] = f ? ReadAll(f, 1024) : "<none>";
      if (f) {
        EXPECT_EQ(FileSeek(f, 3, FILE_SEEK_SET), 0);
        EXPECT_EQ(FileClose(f), 0);
      }
    }
    for (const char* pattern : {"DATA\\*", "DATA\\IMG\\*", "DATA\\SUB\\DEEP\\*", "DATA\\EMPTY\\*"}) {
      FindRecord r;
      FindHandle h = ArchiveAwareFindFirst(pattern, &r);
      int entries = 0;
      if (h != -1) {
        while (ArchiveAwareFindNext(h, &r) == 0) entries++;
        ArchiveAwareFindClose(h);
      }
      EXPECT_LT(entries, 1000);
    }
    if (preloaded >= 0) ReleaseArchive(preloaded);
    EXPECT_EQ(GetOpenFileCount(), 0);
    EndArchives();
    EXPECT_EQ(GetOpenArchiveCount(), 0);
    EXPECT_TRUE(NoLeaks());
    return seen;
  }
  std::string Expected(const char* path) const {
    for (const Item& item : Tree())
      if (std::strcmp(item.path, path) == 0) return item.data;
    return "";
  }
  // The unscrambled bytes.
  static std::vector<uint8_t> Plain(std::vector<uint8_t> bytes) {
    uint8_t key[ARCHIVE_KEY_SIZE];
    BuildArchiveKey(nullptr, key);
    ApplyArchiveKey(bytes.size(), bytes.data(), 0, key);
    return bytes;
  }
};

}  // namespace

TEST_F(ArchiveCorrupt, TruncatedArchivesLoseOnlyWhatWasCut) {
  for (int compress : {ARCHIVE_COMPRESS_NONE, ARCHIVE_COMPRESS_ALWAYS}) {
    const std::vector<uint8_t> full = Pack(3, compress);
    const std::vector<uint8_t> plain = Plain(full);
    const Layout layout(plain);
    // Every cut through the header, a sample through the tables and the data, and the
    // cuts on each side of where the tables and every file end.
    std::set<size_t> cuts;
    for (size_t cut = 0; cut < full.size(); cut += cut < ARCHIVE_HEADER_SIZE + 8 ? 1 : 11)
      cuts.insert(cut);
    std::vector<size_t> ends = {layout.InfoEnd(), full.size()};
    for (const Item& item : Tree())
      if (!item.isDirectory) ends.push_back(layout.DataEnd(item.path));
    for (size_t end : ends)
      for (size_t cut : {end - 1, end, end + 1})
        if (cut < full.size()) cuts.insert(cut);
    for (size_t cut : cuts) {
      Save("DATA.KRA", std::vector<uint8_t>(full.begin(), full.begin() + long(cut)));
      for (int inMemory = 0; inMemory <= 1; inMemory++) {
        SCOPED_TRACE(testing::Message() << "compress " << compress << " cut " << cut
                                        << " in memory " << inMemory);
        const std::map<std::string, std::string> seen = Exercise(inMemory);
        for (const auto& [path, data] : seen) {
          const bool whole = cut >= layout.InfoEnd() &&
                             layout.DataEnd(std::string(path)) <= cut;
          EXPECT_EQ(data, whole ? Expected(path.c_str()) : "<none>") << path;
        }
        if (HasFailure()) return;
      }
    }
  }
}

TEST_F(ArchiveCorrupt, EveryByteOfTheTablesSpoiltReadsSafely) {
  for (int compress : {ARCHIVE_COMPRESS_NONE, ARCHIVE_COMPRESS_ALWAYS}) {
    const std::vector<uint8_t> full = Pack(compress ? 3 : 1, compress);
    const size_t infoEnd = Layout(Plain(full)).InfoEnd();
    const uint8_t values[] = {0x00, 0xFF, 0x80};
    for (size_t at = 0; at < full.size(); at += at < infoEnd ? 1 : 37) {
      for (size_t v = 0; v < std::size(values); v++) {
        if (at >= infoEnd && v > 0) break;
        SCOPED_TRACE(testing::Message() << "compress " << compress << " byte " << at
                                        << " value " << int(values[v]));
        Save("DATA.KRA", Edit(full, [&](std::vector<uint8_t>& b) {
               b[at] = b[at] == values[v] ? uint8_t(~values[v]) : values[v];
             }));
        Exercise(int((at + v) % 2));
        if (HasFailure()) return;
      }
    }
  }
}

TEST_F(ArchiveCorrupt, MalformedRecordsFailTheirLookupsOnly) {
  const std::vector<uint8_t> stored = Pack(1, ARCHIVE_COMPRESS_NONE);
  const std::vector<uint8_t> packed = Pack(3, ARCHIVE_COMPRESS_ALWAYS);
  const std::vector<uint8_t> storedPlain = Plain(stored), packedPlain = Plain(packed);
  const Layout s(storedPlain), p(packedPlain);
  using Bytes = std::vector<uint8_t>;
  struct Case {
    const char* what;
    const Bytes* archive;
    std::function<void(Bytes&)> spoil;
    std::vector<const char*> lost;  // files that no longer open ("*": all)
  } cases[] = {
      {"file size past the archive", &stored,
       [&](Bytes& b) { Put32(b, s.Record("readme.txt") + 36, 0xFFFFFFF0u); }, {"readme.txt"}},
      {"data offset past the archive", &stored,
       [&](Bytes& b) { Put32(b, s.Record("Img\\b.png") + 32, 0x7FFFFFFFu); }, {"Img\\b.png"}},
      {"data offset wrapping", &stored,
       [&](Bytes& b) { Put32(b, s.Record("Img\\b.png") + 32, 0xFFFFFFFFu); }, {"Img\\b.png"}},
      {"compressed size past the archive", &packed,
       [&](Bytes& b) { Put32(b, p.Record("Img\\A.png") + 40, 0xFFFFFF00u); }, {"Img\\A.png"}},
      {"compressed size cutting the block", &packed,
       [&](Bytes& b) { Put32(b, p.Record("Img\\A.png") + 40, 20); }, {"Img\\A.png"}},
      {"size other than the block's", &packed,
       [&](Bytes& b) { Put32(b, p.Record("Img\\A.png") + 36, 4999); }, {"Img\\A.png"}},
      {"size no block that short can hold", &packed,
       [&](Bytes& b) { Put32(b, p.Record("Img\\b.png") + 36, 0xFFFFFFFFu); }, {"Img\\b.png"}},
      {"block head with another size", &packed,
       [&](Bytes& b) { Put32(b, p.DataEnd("readme.txt") - Get32(b, p.Record("readme.txt") + 40), 11); },
       {"readme.txt"}},
      {"name units past the block", &stored,
       [&](Bytes& b) { b[s.NameRecord("readme.txt")] = 0xFF, b[s.NameRecord("readme.txt") + 1] = 0xFF; },
       {"readme.txt"}},
      {"directory record outside the table", &stored,
       [&](Bytes& b) { Put32(b, s.Record("Img") + 32, 0xFFFFFF00u); },
       {"Img\\A.png", "Img\\b.png", "Img\\c.dat"}},
      {"subdirectory that is the root", &stored,
       [&](Bytes& b) { Put32(b, s.Record("Sub") + 32, 0); }, {"Sub\\Deep\\x.bin"}},
      {"directory count running off the block", &stored,
       [&](Bytes& b) { Put32(b, s.Dir(0) + 8, 0xFFFFFFFFu); }, {}},
      {"information block past the end", &stored,
       [&](Bytes& b) { Put32(b, 4, Get32(b, 4) + 0x100000); }, {"*"}},
      {"file table past the block", &stored,
       [&](Bytes& b) { Put32(b, 16, 0xFFFFFFF0u); }, {"*"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Save("DATA.KRA", Edit(*c.archive, c.spoil));
    for (int inMemory = 0; inMemory <= 1; inMemory++) {
      const std::map<std::string, std::string> seen = Exercise(inMemory);
      for (const auto& [path, data] : seen) {
        bool lost = false;
        for (const char* l : c.lost) lost = lost || l == std::string("*") || path == l;
        EXPECT_EQ(data, lost ? "<none>" : Expected(path.c_str())) << path << " in memory " << inMemory;
      }
    }
  }
  // A block found bad only once it has loaded in the background reads as nothing.
  Save("DATA.KRA", Edit(packed, [&](Bytes& b) { Put32(b, p.Record("Img\\A.png") + 36, 4999); }));
  FileHandle f = FileOpen("DATA\\IMG\\A.PNG", 0, 1, 1);
  ASSERT_NE(f, FileHandle(0));
  char c;
  EXPECT_EQ(FileRead(&c, 1, 1, f), 0);
  EXPECT_EQ(FileEof(f), -1);
  EXPECT_EQ(FileClose(f), 0);
  EndArchives();

  // A directory that is its own parent's child: walking it again and again ends.
  Save("DATA.KRA", Edit(stored, [&](Bytes& b) { Put32(b, s.Record("Img") + 32, 0); }));
  f = FileOpen("DATA\\IMG\\IMG\\IMG\\README.TXT", 0, 1, 0);
  ASSERT_NE(f, FileHandle(0));
  EXPECT_EQ(ReadAll(f), ten);
  EXPECT_EQ(FileClose(f), 0);
  EndArchives();
  EXPECT_TRUE(NoLeaks());
}
