// Between the codec streams (codec.cpp) and the decoders. Not for the engine.
#pragma once

#include "platform/audio/codec.h"

#include <cstdint>
#include <vector>

struct PlatCodecDecoder;

// A stream: its decoder, the source format's facts and the decoder's own state.
struct PlatCodecState {
  const PlatCodecDecoder* decoder;
  uint16_t channels;
  uint32_t rate;
  uint32_t blockAlign;       // source bytes of one block
  uint32_t samplesPerBlock;  // frames of PCM one whole block makes
  std::vector<int16_t> coefficients;  // MS ADPCM: pairs, from the format
  void* own;                 // MPEG audio: its decoder
};

// One conversion: the source piece and the destination, with what was taken and made.
struct PlatCodecWork {
  const unsigned char* source;
  uint32_t sourceLength;
  unsigned char* destination;
  uint32_t destinationLength;
  uint32_t taken;
  uint32_t made;
};

struct PlatCodecDecoder {
  uint16_t formatTag;
  // 0 when the decoder takes the source format (extra bytes included); fills the facts of
  // the state it will run with.
  int (*check)(const PlatWaveFormat* source, PlatCodecState* state);
  int (*open)(PlatCodecState* state);   // may be null
  void (*close)(PlatCodecState* state);  // may be null
  uint64_t (*size)(const PlatCodecState* state, uint32_t sourceBytes);
  int (*convert)(PlatCodecState* state, PlatCodecWork* work, uint32_t flags);
};

extern const PlatCodecDecoder PlatMsAdpcmDecoder;
extern const PlatCodecDecoder PlatImaAdpcmDecoder;
extern const PlatCodecDecoder PlatALawDecoder;
extern const PlatCodecDecoder PlatMuLawDecoder;
extern const PlatCodecDecoder PlatMpegAudioDecoder;

// Block decoders share this: whole blocks that fit the destination, then (unless
// PLAT_CODEC_CONVERT_BLOCKALIGN) a cut last block. `decodeBlock` decodes `frames` frames
// of one block of `bytes` source bytes; `framesIn` says how many frames `bytes` bytes of a
// cut block hold.
int PlatConvertBlocks(PlatCodecState* state, PlatCodecWork* work, uint32_t flags,
                      void (*decodeBlock)(const PlatCodecState* state, const unsigned char* block,
                                          uint32_t frames, unsigned char* out),
                      uint32_t (*framesIn)(const PlatCodecState* state, uint32_t bytes));
// Reads a little-endian 16-bit value.
inline int16_t PlatLoadS16(const unsigned char* p) { return int16_t(uint16_t(p[0] | (p[1] << 8))); }
// Writes a sample in host order; the destination need not be aligned.
inline void PlatStoreS16(unsigned char* p, int16_t v) { __builtin_memcpy(p, &v, 2); }
