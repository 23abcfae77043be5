// Compressed-audio codecs: streams that turn a compressed wave format into 16-bit PCM.
//
// Decoders: MS ADPCM, IMA ADPCM, A-law and mu-law are our own; MPEG audio goes through
// libmpg123 in feed mode. Every call returns 0 on success and -1 on failure.
//
// A stream converts in calls of its caller's choosing: each takes a piece of the source
// and a destination, and reports the source bytes it took and the PCM bytes it made. A
// conversion never writes past the destination. A stream may keep a piece of the source
// between calls (MPEG audio holds a partial frame), but it keeps no decoded PCM once the
// whole source has been taken: while PCM is still owed it reports the last source byte as
// not taken, so the caller comes back for it.
#pragma once

#include "platform/audio/waveformat.h"

#include <cstdint>

typedef struct PlatCodecState* PlatCodecStream;

// PlatCodecFormatSuggest: the destination's format tag is given (the only tag offered is
// PCM).
enum : uint32_t { PLAT_CODEC_SUGGEST_TAG = 0x00010000 };
// PlatCodecStreamSize: the size given is of the source.
enum : uint32_t { PLAT_CODEC_SIZE_SOURCE = 0x00000000 };
// PlatCodecStreamConvert: take whole source blocks only; or, on the last piece of the
// source, decode a cut last block as far as it goes.
enum : uint32_t { PLAT_CODEC_CONVERT_BLOCKALIGN = 0x00000004, PLAT_CODEC_CONVERT_END = 0x00000020 };
// PlatCodecStreamHeader.status bits.
enum : uint32_t { PLAT_CODEC_HEADER_DONE = 0x00010000, PLAT_CODEC_HEADER_PREPARED = 0x00020000 };

// One conversion's buffers. The caller fills source, sourceLength, destination and
// destinationLength; the conversion fills the two Used fields.
struct PlatCodecStreamHeader {
  uint32_t status;
  const unsigned char* source;
  uint32_t sourceLength;
  uint32_t sourceLengthUsed;
  unsigned char* destination;
  uint32_t destinationLength;
  uint32_t destinationLengthUsed;
};

// The PCM format that the source decodes to: 16-bit at the source's rate and channels.
// `destination` comes with its formatTag set (PLAT_CODEC_SUGGEST_TAG) and room for
// `destinationBytes` bytes (at least 18). -1 when no decoder takes the source.
int PlatCodecFormatSuggest(const PlatWaveFormat* source, PlatWaveFormat* destination,
                           uint32_t destinationBytes, uint32_t flags);
// A stream from `source` (with its extra bytes) to the PCM format `destination`, which
// must be the one suggested. The formats are copied. -1 for a source its decoder refuses:
// MS ADPCM with fewer than 7 coefficient pairs, ADPCM of other than 1 or 2 channels or
// 4 bits, or samples per block that disagree with the block align.
int PlatCodecStreamOpen(PlatCodecStream* stream, const PlatWaveFormat* source,
                        const PlatWaveFormat* destination, uint32_t flags);
// An upper bound of the PCM bytes that one conversion makes from `bytes` source bytes
// (PLAT_CODEC_SIZE_SOURCE).
int PlatCodecStreamSize(PlatCodecStream stream, uint32_t bytes, uint64_t* output, uint32_t flags);
// Bookkeeping around a conversion: prepare marks the header prepared, unprepare clears it.
int PlatCodecStreamPrepareHeader(PlatCodecStream stream, PlatCodecStreamHeader* header);
int PlatCodecStreamUnprepareHeader(PlatCodecStream stream, PlatCodecStreamHeader* header);
// Converts through a prepared header (flags PLAT_CODEC_CONVERT_*), and marks it done.
int PlatCodecStreamConvert(PlatCodecStream stream, PlatCodecStreamHeader* header, uint32_t flags);
int PlatCodecStreamClose(PlatCodecStream stream);

// The size of the largest source format a decoder takes: 50 bytes (MS ADPCM with its 7
// coefficient pairs).
int PlatCodecMaxFormatSize(uint32_t* bytes);
