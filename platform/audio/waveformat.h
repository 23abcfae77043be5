// The wave format record of the audio layer: the little-endian header of a WAVE file's
// "fmt " chunk (18 bytes), which the codecs take with `extraSize` bytes of the format's own
// following it in the same block.
#pragma once

#include <cstdint>

// Format tags.
enum : uint16_t {
  PLAT_WAVE_FORMAT_PCM = 0x0001,
  PLAT_WAVE_FORMAT_MSADPCM = 0x0002,
  PLAT_WAVE_FORMAT_ALAW = 0x0006,
  PLAT_WAVE_FORMAT_MULAW = 0x0007,
  PLAT_WAVE_FORMAT_IMAADPCM = 0x0011,
  PLAT_WAVE_FORMAT_MPEGLAYER3 = 0x0055,
};

#pragma pack(push, 1)
struct PlatWaveFormat {
  uint16_t formatTag;
  uint16_t channels;
  uint32_t samplesPerSec;
  uint32_t avgBytesPerSec;
  uint16_t blockAlign;
  uint16_t bitsPerSample;
  uint16_t extraSize;  // bytes of the format's own that follow this record
};
#pragma pack(pop)
static_assert(sizeof(PlatWaveFormat) == 18, "the record is the 18-byte file layout");

// Bytes of the MPEG Layer III format's own fields after the record (ID, flags, block
// size, frames per block, codec delay).
enum { PLAT_MPEGLAYER3_EXTRA = 12 };
