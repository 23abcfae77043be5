// Whole conversions of 10 s sounds through our converter against what a program would
// otherwise call: SDL2's WAVE loader (which decodes IMA and MS ADPCM, A-law and mu-law
// itself), a plain ov_read loop, and a plain mpg123 feed loop. Each case reports PCM
// megabytes made per second.
#include "bench/ratio.h"
#include "engine/file/file.h"
#include "engine/base/memory.h"
#include "engine/sound/converter.h"
#include "tests/sound/soundfiles.h"

#include <SDL.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int kRate = 44100, kSeconds = 10;

std::vector<int16_t> TenSeconds() { return soundfiles::Tone(kRate, 2, kRate * kSeconds, 440); }

const std::string& Wav(const std::string& encoding) {
  static std::string ima, ms, alaw, mulaw;
  std::string& s = encoding == "ima-adpcm" ? ima : encoding == "ms-adpcm" ? ms : encoding == "a-law" ? alaw : mulaw;
  if (s.empty()) s = soundfiles::SoxEncode(soundfiles::PcmWav(2, kRate, 16, soundfiles::Bytes(TenSeconds())), encoding);
  if (s.empty()) std::abort();
  return s;
}

const std::string& Ogg() {
  static const std::string s = soundfiles::OggVorbis(TenSeconds(), 2, kRate, 0.4f);
  return s;
}

const std::string& Mp3() {
  static const std::string s = soundfiles::Mp3(TenSeconds(), 2, kRate, 192, false);
  return s;
}

void ReportPcm(benchmark::State& state, int64_t bytesPerIteration) {
  state.counters["PCM MB/s"] = benchmark::Counter(double(state.iterations()) * double(bytesPerIteration) / 1e6,
                                                  benchmark::Counter::kIsRate);
}

// Ours: a memory stream, the converter, the whole conversion.
void Ours(benchmark::State& state, const std::string& file) {
  FillStreamFunctionRows();
  int64_t bytes = 0;
  for (auto _ : state) {
    MemStream* ms = MemStreamOpen(file.data(), uint32_t(file.size()));
    SoundConverter c;
    if (OpenSoundConverter(GetMemStreamFunctions(), StreamHandle(ms), &c) != 0) std::abort();
    PlatWaveFormat f;
    void* memory = nullptr;
    if (ConvertWholeSound(&c, &f, &memory, &bytes) != 0) std::abort();
    benchmark::DoNotOptimize(memory);
    TrackedFree(memory);
    CloseSoundConverter(&c);
    MemStreamClose(ms);
  }
  ReportPcm(state, bytes);
}

void Sdl(benchmark::State& state, const std::string& file) {
  int64_t bytes = 0;
  for (auto _ : state) {
    SDL_AudioSpec format;
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(SDL_RWFromConstMem(file.data(), int(file.size())), 1, &format, &buffer, &length))
      std::abort();
    benchmark::DoNotOptimize(buffer);
    bytes = length;
    SDL_FreeWAV(buffer);
  }
  ReportPcm(state, bytes);
}

void BM_Ours_ImaAdpcm(benchmark::State& s) { Ours(s, Wav("ima-adpcm")); }
void BM_SDL_ImaAdpcm(benchmark::State& s) { Sdl(s, Wav("ima-adpcm")); }
void BM_Ours_MsAdpcm(benchmark::State& s) { Ours(s, Wav("ms-adpcm")); }
void BM_SDL_MsAdpcm(benchmark::State& s) { Sdl(s, Wav("ms-adpcm")); }
void BM_Ours_ALaw(benchmark::State& s) { Ours(s, Wav("a-law")); }
void BM_SDL_ALaw(benchmark::State& s) { Sdl(s, Wav("a-law")); }
void BM_Ours_MuLaw(benchmark::State& s) { Ours(s, Wav("u-law")); }
void BM_SDL_MuLaw(benchmark::State& s) { Sdl(s, Wav("u-law")); }
BENCHMARK(BM_Ours_ImaAdpcm);
BENCHMARK(BM_SDL_ImaAdpcm);
BENCHMARK(BM_Ours_MsAdpcm);
BENCHMARK(BM_SDL_MsAdpcm);
BENCHMARK(BM_Ours_ALaw);
BENCHMARK(BM_SDL_ALaw);
BENCHMARK(BM_Ours_MuLaw);
BENCHMARK(BM_SDL_MuLaw);

struct MemoryFile {
  const std::string* bytes;
  size_t at;
};

size_t MemRead(void* out, size_t size, size_t count, void* source) {
  MemoryFile* m = static_cast<MemoryFile*>(source);
  const size_t n = std::min(size * count, m->bytes->size() - m->at);
  std::memcpy(out, m->bytes->data() + m->at, n);
  m->at += n;
  return n / size;
}
int MemSeek(void* source, ogg_int64_t offset, int origin) {
  MemoryFile* m = static_cast<MemoryFile*>(source);
  const int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? int64_t(m->at) : int64_t(m->bytes->size());
  m->at = size_t(std::clamp<int64_t>(base + offset, 0, int64_t(m->bytes->size())));
  return 0;
}
long MemTell(void* source) { return long(static_cast<MemoryFile*>(source)->at); }

void BM_Ours_OggVorbis(benchmark::State& s) { Ours(s, Ogg()); }
void BM_Plain_OvRead(benchmark::State& state) {
  std::vector<char> out(size_t(kRate) * kSeconds * 4 + 4096);
  int64_t bytes = 0;
  for (auto _ : state) {
    MemoryFile m = {&Ogg(), 0};
    OggVorbis_File vf;
    if (ov_open_callbacks(&m, &vf, nullptr, 0, {MemRead, MemSeek, nullptr, MemTell}) != 0) std::abort();
    bytes = 0;
    for (long n; (n = ov_read(&vf, out.data() + bytes, 4096, 0, 2, 1, nullptr)) > 0;) bytes += n;
    ov_clear(&vf);
  }
  ReportPcm(state, bytes);
}
BENCHMARK(BM_Ours_OggVorbis);
BENCHMARK(BM_Plain_OvRead);

void BM_Ours_Mp3(benchmark::State& s) { Ours(s, Mp3()); }
void BM_Plain_Mpg123Feed(benchmark::State& state) {
  mpg123_init();
  std::vector<unsigned char> out(size_t(kRate) * (kSeconds + 1) * 4);
  int64_t bytes = 0;
  for (auto _ : state) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(h);
    mpg123_format(h, kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    mpg123_open_feed(h);
    mpg123_feed(h, reinterpret_cast<const unsigned char*>(Mp3().data()), Mp3().size());
    bytes = 0;
    for (;;) {
      size_t done = 0;
      const int r = mpg123_read(h, out.data() + bytes, out.size() - size_t(bytes), &done);
      bytes += int64_t(done);
      if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    mpg123_delete(h);
  }
  ReportPcm(state, bytes);
}
BENCHMARK(BM_Ours_Mp3);
BENCHMARK(BM_Plain_Mpg123Feed);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_ImaAdpcm", "BM_SDL_ImaAdpcm"},
                        {"BM_Ours_MsAdpcm", "BM_SDL_MsAdpcm"},
                        {"BM_Ours_ALaw", "BM_SDL_ALaw"},
                        {"BM_Ours_MuLaw", "BM_SDL_MuLaw"},
                        {"BM_Ours_OggVorbis", "BM_Plain_OvRead"},
                        {"BM_Ours_Mp3", "BM_Plain_Mpg123Feed"}},
                       "PCM MB/s", "theirs");
}
