// MPEG audio frames: the 4-byte frame header, and the walk over a file's frames that
// finds the first frame, the end of the last whole one and the samples in between.
#pragma once

#include <cstdint>

struct MpegFrameHeader {
  int32_t mpeg1;            // 1 for MPEG-1, 0 for MPEG-2
  int32_t layer;            // 0 Layer I, 1 Layer II, 2 Layer III
  int32_t bitRate;          // kbit/s
  int32_t sampleRate;       // Hz
  int32_t padding;          // 0 or 1
  int32_t channels;         // 1 or 2
  int32_t frameLength;      // bytes, header included
  int32_t samplesPerFrame;  // per channel
};

// 0 and the header's fields, or -1: no sync (0xFF, then a byte with its top four bits
// set, so MPEG 2.5 is not taken), a reserved layer, bit-rate index 0 (free format) or 15,
// or sample-rate index 3.
int ParseMpegAudioHeader(const unsigned char* bytes, MpegFrameHeader* header);

struct MpegFrameScan {
  int64_t firstFrame;    // offset of the first frame
  int64_t dataEnd;       // offset just past the last whole frame
  int64_t frames;
  int64_t totalSamples;  // per channel
};

// Walks the frames of a whole file in memory: past an ID3v2 tag at the start (its
// footer too), without an ID3v1 "TAG" trailer, from frame to frame by their lengths,
// scanning for the next sync after each. A frame cut short by the end is not counted.
// 0, or -1 when no frame is found, a found sync has no valid header, or an ID3v2 tag
// runs past the end.
int ScanMpegAudioFrames(const unsigned char* data, int64_t size, MpegFrameScan* scan);
