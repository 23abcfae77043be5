// Opens arbitrary bytes as an archive and reads every file in it, through the engine's
// file table: streaming and loaded into memory, synchronously and asynchronously, with
// searches of every directory reached. The input is the archive unscrambled (the target
// scrambles it before writing), so mutations act on the records themselves. Any leak of
// the tracked allocator aborts.
//
// With an empty corpus directory the first run writes seeds made by the packer into it.
#include "engine/base/memory.h"
#include "engine/file/archivefile.h"
#include "engine/file/archiveformat.h"
#include "engine/file/writer/archivewriter.h"
#include "platform/fs/fs.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string g_dir;

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
}

void WriteSeeds(const std::string& corpus) {
  std::error_code ec;
  if (!std::filesystem::is_directory(corpus, ec) || !std::filesystem::is_empty(corpus, ec)) return;
  const std::string text = "the quick brown fox jumps over the lazy dog, the quick brown fox";
  const ArchiveWriteItem items[] = {
      {"Img\\A.png", 0, text.data(), text.size(), 0, 0},
      {"Img\\b.png", 0, "bee", 3, 0, 0},
      {"readme.txt", 0, "0123456789", 10, 0, 0},
      {"Empty", 1, nullptr, 0, 0, 0},
      {"Sub\\Deep\\x.bin", 0, "xyz", 3, 0, 0},
  };
  const ArchiveWriteOptions forms[] = {
      {1, ARCHIVE_COMPRESS_NONE, nullptr, 0},
      {3, ARCHIVE_COMPRESS_NONE, nullptr, 0},
      {3, ARCHIVE_COMPRESS_ALWAYS, nullptr, 0},
  };
  uint8_t key[ARCHIVE_KEY_SIZE];
  BuildArchiveKey(nullptr, key);
  int n = 0;
  for (const ArchiveWriteOptions& options : forms) {
    ArchiveBytes packed = {nullptr, 0};
    if (PackArchive(items, sizeof items / sizeof items[0], &options, &packed) != 0) abort();
    ApplyArchiveKey(packed.size, packed.data, 0, key);
    WriteFile(corpus + "/seed" + std::to_string(n++), packed.data, packed.size);
    FreeArchiveBytes(&packed);
  }
}

int g_opened = 0;

void ReadFile(const std::string& path, int asynchronous) {
  if (g_opened++ > 64) return;
  FileHandle f = FileOpen(path.c_str(), 0, 1, asynchronous);
  if (!f) return;
  static uint8_t buffer[4096];
  for (int chunk = 0; chunk < 64; chunk++) {
    if (FileRead(buffer, 1, 1000, f) <= 0) break;
    while (FileIdleCheck(f) != 1) {
    }
  }
  FileSeek(f, -5, FILE_SEEK_END);
  FileRead(buffer, 4, 3, f);
  FileTell(f);
  FileEof(f);
  FileClose(f);
}

// Every entry of a directory inside the archive: files read, subdirectories entered
// (a few levels: a malformed archive may loop).
void Walk(const std::string& directory, int depth, int asynchronous) {
  FindRecord r;
  FindHandle h = ArchiveAwareFindFirst((directory + "\\*").c_str(), &r);
  if (h == -1) return;
  int entries = 0;
  do {
    const std::string name = r.name;
    if (name == "." || name == "..") continue;
    const std::string path = directory + "\\" + name;
    if (r.directory) {
      if (depth < 3) Walk(path, depth + 1, asynchronous);
    } else {
      ReadFile(path, asynchronous);
    }
  } while (++entries < 32 && ArchiveAwareFindNext(h, &r) == 0);
  ArchiveAwareFindClose(h);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  char tmpl[] = "/tmp/kr_fuzz_archive_XXXXXX";
  if (!mkdtemp(tmpl)) abort();
  g_dir = tmpl;  // absolute paths throughout: libFuzzer reads relative corpus paths later
  for (int i = 1; i < *argc; i++)
    if ((*argv)[i][0] != '-') WriteSeeds((*argv)[i]);
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  uint8_t key[ARCHIVE_KEY_SIZE];
  BuildArchiveKey(nullptr, key);
  ApplyArchiveKey(bytes.size(), bytes.data(), 0, key);
  WriteFile(g_dir + "/FUZZ.KRA", bytes.data(), bytes.size());

  const int32_t blocks = GetTrackedBlockCount();
  InitArchiveTables();
  char full[FILE_PATH_MAX];
  if (MakeFullUpperPath((g_dir + "/FUZZ.KRA").c_str(), full, sizeof full) != 0) abort();
  for (int mode = 0; mode < 4; mode++) {
    const int inMemory = mode >= 2, asynchronous = mode & 1;
    int slot = -1;
    if (inMemory) slot = OpenArchive(-1, full, 1, asynchronous);
    g_opened = 0;
    Walk(g_dir + "/FUZZ", 0, asynchronous);
    ReadFile(g_dir + "/FUZZ\\README.TXT", asynchronous);
    if (slot >= 0) ReleaseArchive(slot);
    if (GetOpenFileCount() != 0) abort();
    EndArchives();
    if (GetOpenArchiveCount() != 0 || GetTrackedBlockCount() != blocks) abort();
  }
  return 0;
}
