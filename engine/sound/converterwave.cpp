// RIFF WAVE files: PCM read straight from the stream, and compressed data decoded through
// the codec streams. Every size and position taken from the file is checked against the
// stream's size in 64 bits before it is used.
#include "engine/base/memory.h"
#include "engine/sound/converterparts.h"

#include <algorithm>
#include <cstring>

namespace {

// The fmt chunk's size: below 14 bytes it lacks fields every format has; above 64 KiB it
// is no format anyone wrote.
const uint32_t kFmtMin = 14;
const uint32_t kFmtMax = 64 * 1024;

uint16_t U16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

struct WaveChunks {
  unsigned char* fmt;  // tracked
  uint32_t fmtSize;
  int64_t dataStart;
  int64_t dataSize;
};

// Reads the RIFF and WAVE marks, the fmt chunk that must follow them, and walks the
// chunks to "data". 0 (the caller frees w->fmt), or -1 with nothing allocated.
int ReadWaveChunks(SoundConverter* c, int64_t streamSize, WaveChunks* w) {
  unsigned char head[20];
  if (StreamSeekTo(c, 0) != 0 || StreamReadBytes(c, head, 20) != 20) return -1;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0 ||
      std::memcmp(head + 12, "fmt ", 4) != 0)
    return -1;
  w->fmtSize = U32(head + 16);
  if (w->fmtSize < kFmtMin || w->fmtSize > kFmtMax) return -1;
  w->fmt = static_cast<unsigned char*>(TrackedAlloc(w->fmtSize, "", 0));
  if (!w->fmt) return -1;
  if (StreamReadBytes(c, w->fmt, w->fmtSize) != w->fmtSize) {
    TrackedFree(w->fmt);
    return -1;
  }
  // Every chunk, the fmt chunk too, is padded to an even size.
  int64_t at = 20 + int64_t(w->fmtSize) + (w->fmtSize & 1);
  while (at + 8 <= streamSize) {
    unsigned char chunk[8];
    if (StreamSeekTo(c, at) != 0 || StreamReadBytes(c, chunk, 8) != 8) break;
    const int64_t size = U32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      w->dataStart = at + 8;
      // A truncated file, or a "streaming" size of 0xFFFFFFFF, holds only what is there.
      w->dataSize = std::min(size, streamSize - w->dataStart);
      return 0;
    }
    const int64_t next = at + 8 + size + (size & 1);
    if (next <= at || next > streamSize) break;
    at = next;
  }
  TrackedFree(w->fmt);
  return -1;
}

// The fields of a fmt chunk. A chunk without the bits field (14 bytes), or a 16-byte
// PCM chunk, takes its bits from the block align. -1 for 0 channels.
int FmtFields(const unsigned char* fmt, uint32_t size, PlatWaveFormat* f) {
  f->formatTag = U16(fmt);
  f->channels = U16(fmt + 2);
  f->samplesPerSec = U32(fmt + 4);
  f->avgBytesPerSec = U32(fmt + 8);
  f->blockAlign = U16(fmt + 12);
  if (f->channels == 0) return -1;
  if (size >= 18) {
    f->bitsPerSample = U16(fmt + 14);
    f->extraSize = uint16_t(std::min<uint32_t>(U16(fmt + 16), size - 18));
  } else {
    f->bitsPerSample = size >= 16 && f->formatTag != PLAT_WAVE_FORMAT_PCM
                           ? U16(fmt + 14)
                           : uint16_t(f->blockAlign / f->channels * 8);
    f->extraSize = 0;
  }
  return 0;
}

}  // namespace

int TryPcmWave(SoundConverter* c, int64_t streamSize) {
  WaveChunks w = {};
  if (ReadWaveChunks(c, streamSize, &w) != 0) return -1;
  PlatWaveFormat f = {};
  const int fields = FmtFields(w.fmt, w.fmtSize, &f);
  TrackedFree(w.fmt);
  if (fields != 0 || f.formatTag != PLAT_WAVE_FORMAT_PCM) return -1;
  f.extraSize = 0;
  if (!IsPlayablePcm(&f)) return -1;
  SetPcmDerivedFields(&f);
  if (StreamSeekTo(c, w.dataStart) != 0) return -1;
  c->fmtPosition = 20;
  c->fmtSize = int32_t(w.fmtSize);
  c->dataStart = w.dataStart;
  c->dataSize = w.dataSize;
  c->pcmFormat = f;
  c->kind = SOUND_CONVERTER_PCM;
  return 0;
}

int TryCompressedWave(SoundConverter* c, int64_t streamSize) {
  WaveChunks w = {};
  if (ReadWaveChunks(c, streamSize, &w) != 0) return -1;
  PlatWaveFormat f = {};
  int result = FmtFields(w.fmt, w.fmtSize, &f);
  if (result == 0) {
    c->sourceFormat = static_cast<PlatWaveFormat*>(
        TrackedAlloc(sizeof(PlatWaveFormat) + f.extraSize, "", 0));
    if (c->sourceFormat) {
      *c->sourceFormat = f;
      if (f.extraSize) std::memcpy(c->sourceFormat + 1, w.fmt + 18, f.extraSize);
    } else {
      result = -1;
    }
  }
  TrackedFree(w.fmt);

  PlatWaveFormat pcm = {};
  pcm.formatTag = PLAT_WAVE_FORMAT_PCM;
  if (result == 0 && (PlatCodecFormatSuggest(c->sourceFormat, &pcm, sizeof pcm,
                                             PLAT_CODEC_SUGGEST_TAG) != 0 ||
                      !IsPlayablePcm(&pcm)))
    result = -1;
  if (result == 0) {
    c->sourceSize = uint32_t(w.dataSize);
    c->sourceData = static_cast<unsigned char*>(TrackedAlloc(std::max<uint32_t>(c->sourceSize, 1), "", 0));
    if (!c->sourceData || StreamSeekTo(c, w.dataStart) != 0 ||
        StreamReadBytes(c, c->sourceData, c->sourceSize) != c->sourceSize ||
        StreamSeekTo(c, w.dataStart) != 0)
      result = -1;
  }
  c->pcmFormat = pcm;
  if (result == 0) result = OpenCodecStreams(c);
  if (result != 0) {
    ReleaseCodecParts(c);
    c->pcmFormat = PlatWaveFormat{};
    return -1;
  }
  c->fmtPosition = 20;
  c->fmtSize = int32_t(w.fmtSize);
  c->dataStart = w.dataStart;
  c->dataSize = w.dataSize;
  c->totalSamples = -1;
  c->kind = SOUND_CONVERTER_ACM;
  return 0;
}
