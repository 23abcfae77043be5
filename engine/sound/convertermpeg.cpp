// MPEG audio files: the frames are found by their headers, and the data from the first
// frame to the end of the last whole one is decoded through the codec streams.
#include "engine/base/memory.h"
#include "engine/sound/converterparts.h"
#include "engine/sound/mpegaudio.h"

#include <algorithm>
#include <cstring>

namespace {

// The Layer III format's own fields after the wave format record.
void PutLayer3Fields(unsigned char* p, const MpegFrameHeader& h) {
  auto put16 = [&](int at, uint32_t v) {
    p[at] = uint8_t(v);
    p[at + 1] = uint8_t(v >> 8);
  };
  put16(0, 1);                                   // ID: MPEG
  put16(2, uint32_t(h.padding));                 // flags, low word
  put16(4, 0);                                   // flags, high word
  put16(6, uint32_t(h.frameLength));             // block size
  put16(8, 1);                                   // frames per block
  put16(10, 700);                                // codec delay
}

}  // namespace

int TryMpegAudio(SoundConverter* c, int64_t streamSize) {
  if (streamSize <= 0) return -1;
  unsigned char* data = static_cast<unsigned char*>(TrackedAlloc(size_t(streamSize), "", 0));
  if (!data) return -1;
  MpegFrameScan scan;
  MpegFrameHeader first;
  if (StreamSeekTo(c, 0) != 0 || StreamReadBytes(c, data, uint32_t(streamSize)) != streamSize ||
      ScanMpegAudioFrames(data, streamSize, &scan) != 0 ||
      ParseMpegAudioHeader(data + scan.firstFrame, &first) != 0) {
    TrackedFree(data);
    return -1;
  }

  uint32_t formatSize = 0;
  if (PlatCodecMaxFormatSize(&formatSize) != 0) formatSize = 0;
  formatSize = std::max<uint32_t>(formatSize, sizeof(PlatWaveFormat) + PLAT_MPEGLAYER3_EXTRA);
  c->sourceFormat = static_cast<PlatWaveFormat*>(TrackedCalloc(formatSize, "", 0));
  if (!c->sourceFormat) {
    TrackedFree(data);
    return -1;
  }
  PlatWaveFormat* f = c->sourceFormat;
  f->formatTag = PLAT_WAVE_FORMAT_MPEGLAYER3;
  f->channels = uint16_t(first.channels);
  f->samplesPerSec = uint32_t(first.sampleRate);
  f->avgBytesPerSec = uint32_t(first.bitRate * 1000 / 8);
  f->blockAlign = 1;
  f->bitsPerSample = 0;
  f->extraSize = PLAT_MPEGLAYER3_EXTRA;
  PutLayer3Fields(reinterpret_cast<unsigned char*>(f + 1), first);

  // Only the frames are kept, at the front of the block read.
  c->sourceSize = uint32_t(scan.dataEnd - scan.firstFrame);
  std::memmove(data, data + scan.firstFrame, c->sourceSize);
  c->sourceData = data;

  PlatWaveFormat pcm = {};
  pcm.formatTag = PLAT_WAVE_FORMAT_PCM;
  if (PlatCodecFormatSuggest(f, &pcm, sizeof pcm, PLAT_CODEC_SUGGEST_TAG) != 0 ||
      !IsPlayablePcm(&pcm)) {
    ReleaseCodecParts(c);
    return -1;
  }
  c->pcmFormat = pcm;
  if (OpenCodecStreams(c) != 0) {
    ReleaseCodecParts(c);
    c->pcmFormat = PlatWaveFormat{};
    return -1;
  }
  c->dataStart = scan.firstFrame;
  c->dataSize = c->sourceSize;
  c->totalSamples = scan.totalSamples;
  c->kind = SOUND_CONVERTER_ACM;
  return 0;
}
