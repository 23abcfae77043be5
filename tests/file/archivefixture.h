// Archives for the tests of the archive layer, made by the packer: a small tree of
// files, written into the test's temporary directory, and edits of their unscrambled
// bytes for the malformed cases.
#pragma once

#include "engine/file/archivefile.h"
#include "engine/file/archiveformat.h"
#include "engine/file/writer/archivewriter.h"
#include "filefixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct ArchiveTestDir : FileTestDir {
  // The tree every test archive holds (paths inside the archive).
  static std::string BigText() {
    std::string s;
    for (size_t i = 0; i < 5000; i++) s += char("the quick brown fox "[(i * 3 / 7 + i) % 20]);
    return s;
  }
  const std::string big = BigText();
  const std::string ten = "0123456789";
  struct Item {
    const char* path;
    std::string data;
    int isDirectory;
  };
  std::vector<Item> Tree() const {
    return {
        {"Img\\A.png", big, 0},
        {"Img\\b.png", "bee", 0},
        {"Img\\c.dat", ten, 0},
        {"readme.txt", ten, 0},
        {"Empty", "", 1},
        {"Sub\\Deep\\x.bin", "xyz", 0},
    };
  }

  void SetUp() override {
    FileTestDir::SetUp();
    InitArchiveTables();
    SetFileFunctionTable(nullptr);
    ASSERT_EQ(PlatSetCurrentDir(dir.c_str()), 0);
  }

  // The packed bytes (scrambled, as on disk) of the tree.
  std::vector<uint8_t> Pack(int version, int compress, const char* keyString = nullptr,
                            int fallbackKey = 0) const {
    std::vector<Item> tree = Tree();
    std::vector<ArchiveWriteItem> items;
    for (const Item& i : tree)
      items.push_back({i.path, i.isDirectory, i.data.data(), i.data.size(), 0, 0});
    ArchiveWriteOptions options = {version, compress, keyString, fallbackKey};
    ArchiveBytes packed = {nullptr, 0};
    EXPECT_EQ(PackArchive(items.data(), items.size(), &options, &packed), 0);
    std::vector<uint8_t> bytes(packed.data, packed.data + packed.size);
    FreeArchiveBytes(&packed);
    return bytes;
  }

  void Save(const std::string& name, const std::vector<uint8_t>& bytes) {
    PlatFile* f = PlatFileOpen(Path(name).c_str(), PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(PlatFileWrite(f, bytes.data(), int64_t(bytes.size())), int64_t(bytes.size()));
    PlatFileClose(f);
  }

  // Edits the unscrambled bytes of an archive made with the default key.
  static std::vector<uint8_t> Edit(std::vector<uint8_t> bytes,
                                   const std::function<void(std::vector<uint8_t>&)>& edit) {
    uint8_t key[ARCHIVE_KEY_SIZE];
    BuildArchiveKey(nullptr, key);
    ApplyArchiveKey(bytes.size(), bytes.data(), 0, key);
    edit(bytes);
    ApplyArchiveKey(bytes.size(), bytes.data(), 0, key);
    return bytes;
  }

  // The full upper-case path of a name in the test directory, as the tables hold it.
  std::string FullUpper(const char* name) const {
    char full[FILE_PATH_MAX];
    EXPECT_EQ(MakeFullUpperPath(name, full, sizeof full), 0);
    return full;
  }

  // Everything a file handle reads, in chunks of `chunk` bytes, waiting for each read.
  static std::string ReadAll(FileHandle file, uint32_t chunk = 7) {
    std::string out;
    std::vector<char> buffer(chunk);
    for (;;) {
      int64_t n = FileRead(buffer.data(), 1, chunk, file);
      if (n <= 0) break;
      while (FileIdleCheck(file) != 1) {
      }
      out.append(buffer.data(), size_t(n));
    }
    return out;
  }
};

// Holds the reads of the reading threads from the one numbered `hold` (0 the first read
// after the gate is made) until Release, so that a test sees a load or a read in flight.
// The test lets every held read finish before the gate goes.
struct ReadGate {
  std::atomic<int> reads{0};
  const int hold;
  PlatEvent* release = PlatEventCreate(1, 0);
  static void Hook(void* context) {
    ReadGate* g = static_cast<ReadGate*>(context);
    if (g->reads.fetch_add(1) >= g->hold) PlatEventWait(g->release, PLAT_INFINITE);
  }
  explicit ReadGate(int holdFrom) : hold(holdFrom) { PlatFsSetReadHook(Hook, this); }
  void Release() { PlatEventSet(release); }
  ~ReadGate() {
    PlatFsSetReadHook(nullptr, nullptr);
    PlatEventSet(release);
    PlatEventDestroy(release);
  }
};
