// Throughput of the archive layer's byte work: unscrambling, decoding and encoding.
#include "engine/file/archiveformat.h"
#include "engine/file/writer/archivewriter.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// Text-like data: words from a small vocabulary, so that matches are common.
std::vector<uint8_t> Sample(size_t size) {
  static const char* words[] = {"sprite ", "bomb ", "flame ", "enemy ", "stage\n", "block ",
                                "item ", "player ", "round ", "score "};
  std::mt19937 rng(1);
  std::vector<uint8_t> data;
  while (data.size() < size) {
    for (const char* w = words[rng() % 10]; *w; w++) data.push_back(uint8_t(*w));
  }
  data.resize(size);
  return data;
}

void BM_ApplyArchiveKey(benchmark::State& state) {
  std::vector<uint8_t> data = Sample(size_t(state.range(0)));
  uint8_t key[ARCHIVE_KEY_SIZE];
  BuildArchiveKey(nullptr, key);
  for (auto _ : state) {
    ApplyArchiveKey(data.size(), data.data(), 5, key);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ApplyArchiveKey)->Arg(1 << 20);

void BM_DecodeArchiveData(benchmark::State& state) {
  std::vector<uint8_t> data = Sample(size_t(state.range(0)));
  std::vector<uint8_t> block(ArchiveEncodeBound(data.size()));
  block.resize(size_t(EncodeArchiveData(data.data(), data.size(), block.data(), block.size())));
  std::vector<uint8_t> out(data.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecodeArchiveData(block.data(), block.size(), out.data(), out.size()));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
  state.counters["ratio"] = double(block.size()) / double(data.size());
}
BENCHMARK(BM_DecodeArchiveData)->Arg(1 << 20);

void BM_EncodeArchiveData(benchmark::State& state) {
  std::vector<uint8_t> data = Sample(size_t(state.range(0)));
  std::vector<uint8_t> block(ArchiveEncodeBound(data.size()));
  for (auto _ : state) {
    benchmark::DoNotOptimize(EncodeArchiveData(data.data(), data.size(), block.data(), block.size()));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_EncodeArchiveData)->Arg(1 << 20);

}  // namespace
