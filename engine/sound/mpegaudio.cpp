#include "engine/sound/mpegaudio.h"

#include <cstring>

namespace {

// kbit/s by [MPEG-2][layer][index]; index 0 (free format) and 15 are refused before.
const int16_t kBitRates[2][3][16] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    },
};
const int32_t kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

// Offset of the first sync at or after `from` with a whole header before `end`, or -1.
// A byte after 0xFF that does not complete the sync is passed over with it.
int64_t FindSync(const unsigned char* data, int64_t from, int64_t end) {
  int64_t p = from;
  while (p + 1 < end) {
    if (data[p] != 0xFF) {
      p++;
    } else if ((data[p + 1] & 0xF0) == 0xF0) {
      return p + 4 <= end ? p : -1;
    } else {
      p += 2;
    }
  }
  return -1;
}

}  // namespace

int ParseMpegAudioHeader(const unsigned char* b, MpegFrameHeader* h) {
  if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -1;
  const int mpeg1 = (b[1] >> 3) & 1;
  const int layer = 3 - ((b[1] >> 1) & 3);
  const int rateIndex = b[2] >> 4;
  const int srIndex = (b[2] >> 2) & 3;
  if (layer == 3 || rateIndex == 0 || rateIndex == 15 || srIndex == 3) return -1;
  h->mpeg1 = mpeg1;
  h->layer = layer;
  h->bitRate = kBitRates[mpeg1 ? 0 : 1][layer][rateIndex];
  h->sampleRate = kSampleRates[mpeg1 ? 0 : 1][srIndex];
  h->padding = (b[2] >> 1) & 1;
  h->channels = (b[3] & 0xC0) == 0xC0 ? 1 : 2;
  if (layer == 0) {
    h->frameLength = (h->bitRate * 12000 / h->sampleRate + h->padding) * 4;
    h->samplesPerFrame = 384;
  } else if (layer == 1) {
    // A Layer II frame holds 1152 samples in MPEG-2 as well, so its length takes the
    // MPEG-1 factor.
    h->frameLength = h->bitRate * 144000 / h->sampleRate + h->padding;
    h->samplesPerFrame = 1152;
  } else {
    h->frameLength = h->bitRate * (mpeg1 ? 144000 : 72000) / h->sampleRate + h->padding;
    h->samplesPerFrame = mpeg1 ? 1152 : 576;
  }
  return 0;
}

int ScanMpegAudioFrames(const unsigned char* data, int64_t size, MpegFrameScan* scan) {
  int64_t start = 0;
  if (size >= 3 && std::memcmp(data, "ID3", 3) == 0) {
    if (size < 10) return -1;
    const int64_t tag = (int64_t(data[6] & 0x7F) << 21) | ((data[7] & 0x7F) << 14) |
                        ((data[8] & 0x7F) << 7) | (data[9] & 0x7F);
    const bool footer = data[3] == 4 && (data[5] & 0x10);
    start = 10 + tag + (footer ? 10 : 0);
    if (start > size) return -1;
  }
  int64_t end = size;
  if (size > 128 && std::memcmp(data + size - 128, "TAG", 3) == 0) end = size - 128;

  scan->firstFrame = -1;
  scan->dataEnd = start;
  scan->frames = 0;
  scan->totalSamples = 0;
  for (int64_t p = start;;) {
    const int64_t at = FindSync(data, p, end);
    if (at < 0) break;
    MpegFrameHeader h;
    if (ParseMpegAudioHeader(data + at, &h) != 0) return -1;
    if (at + h.frameLength > end) break;
    if (scan->firstFrame < 0) scan->firstFrame = at;
    scan->frames++;
    scan->totalSamples += h.samplesPerFrame;
    p = at + h.frameLength;
    scan->dataEnd = p;
  }
  return scan->firstFrame < 0 ? -1 : 0;
}
