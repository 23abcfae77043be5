// Reading 1 MB in 4 KB elements: from memory, from a direct plain file, and through the
// reading thread with and without its cache.
#include "engine/file/file.h"
#include "engine/file/plainfile.h"
#include "platform/fs/fs.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const uint32_t kFileSize = 1 << 20;
const uint32_t kChunk = 4096;

// A 1 MB file in the temporary directory.
std::string MakeTestFile() {
  std::string path;
  PlatFile* f = PlatCreateTempFile(PlatTempDirectory().c_str(), "kr_bench", &path);
  std::vector<char> data(kFileSize, 'x');
  PlatFileWrite(f, data.data(), kFileSize);
  PlatFileClose(f);
  return path;
}

void BM_MemStream(benchmark::State& state) {
  std::vector<char> data(kFileSize, 'x');
  std::vector<char> out(kChunk);
  for (auto _ : state) {
    MemStream* s = MemStreamOpen(data.data(), kFileSize);
    while (MemStreamRead(out.data(), kChunk, 1, s) == 1) {
    }
    MemStreamClose(s);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kFileSize);
}
BENCHMARK(BM_MemStream);

void BM_PlainFile(benchmark::State& state) {
  const int useCache = int(state.range(0)), asynchronous = int(state.range(1));
  const std::string path = MakeTestFile();
  std::vector<char> out(kChunk);
  for (auto _ : state) {
    FileHandle h = PlainFileOpen(path.c_str(), useCache, 1, asynchronous);
    while (PlainFileRead(out.data(), kChunk, 1, h) == 1) {
      while (!PlainFileIdleCheck(h)) {
      }
    }
    PlainFileClose(h);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kFileSize);
  PlatFileDelete(path.c_str());
}
BENCHMARK(BM_PlainFile)->Args({0, 0})->Args({1, 0})->Args({0, 1});

}  // namespace
