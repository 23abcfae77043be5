// Sound format converters: PCM out of a sound file read through a stream row. Four kinds
// of file, tried in this order: PCM WAVE, compressed WAVE (through the codec streams),
// Ogg Vorbis (vorbisfile) and MPEG audio frames (through the codec streams).
//
// Every converter's output is a format the sound device plays: 8- or 16-bit PCM, 1 or 2
// channels, 100 to 200000 Hz; a file of any other format does not open.
#pragma once

#include "engine/file/file.h"
#include "platform/audio/codec.h"
#include "platform/audio/waveformat.h"

#include <cstdint>

struct OggVorbis_File;

enum { SOUND_CONVERTER_PCM = 0, SOUND_CONVERTER_ACM = 1, SOUND_CONVERTER_OGG = 2 };

// The largest whole conversion: past this ConvertWholeSound fails.
const int64_t SOUND_CONVERT_WHOLE_MAX = int64_t(1) << 30;

// The caller provides the memory (inside a stream source, or on its stack);
// OpenSoundConverter clears it.
struct SoundConverter {
  int32_t open;   // 1 after a successful open
  int32_t ended;  // 1 once the source gave no more data
  int32_t kind;   // SOUND_CONVERTER_*
  StreamFunctions stream;
  StreamHandle streamHandle;
  // WAVE kinds: the "fmt " chunk.
  int64_t fmtPosition;
  int32_t fmtSize;
  // Where the sound data starts in the stream, and its bytes; for MPEG audio the first
  // frame and the bytes up to the end of the last whole frame.
  int64_t dataStart;
  int64_t dataSize;
  PlatWaveFormat pcmFormat;
  // Compressed WAVE and MPEG audio: the source format with its extra bytes (tracked),
  // two codec streams (the spare always stands at the start of the data), the data in
  // memory (tracked), the read position in it, and the total samples (-1: not known).
  PlatWaveFormat* sourceFormat;
  PlatCodecStream acmMain;
  PlatCodecStream acmSpare;
  unsigned char* sourceData;
  uint32_t sourceSize;
  uint32_t sourcePosition;
  int64_t totalSamples;
  // Ogg Vorbis: the vorbisfile state (tracked; non-null while open) and the bytes per
  // sample (2).
  OggVorbis_File* vorbis;
  int32_t bytesPerSample;
  // The PCM buffer (tracked): one second for WAVE kinds, 4/3 s for MPEG audio, 4096 bytes
  // for Ogg Vorbis; the bytes valid in it, the read offset and the bytes of PCM delivered
  // since the start of the sound.
  unsigned char* pcmBuffer;
  uint32_t pcmBufferSize;
  uint32_t pcmValid;
  uint32_t pcmReadOffset;
  int64_t outputPosition;
  int32_t vorbisSelector;  // 0: there is one vorbisfile build
};

// Opens the file at the stream's position 0, trying the four kinds in order. 0, or -1
// when no kind fits or memory fails (the record is then left closed).
int OpenSoundConverter(const StreamFunctions* stream, StreamHandle handle,
                       SoundConverter* converter);
// Copies up to `bytes` bytes of the next PCM into `destination`; the bytes written (0 at
// the end of the sound or for 0 bytes asked; -1 when not open).
int32_t DecodeConverter(SoundConverter* converter, void* destination, int32_t bytes);
// Makes `sample` the next sample read. 0.
int SeekConverter(SoundConverter* converter, int64_t sample);
// PCM bytes of the whole sound (for Ogg Vorbis one second of room beyond its length;
// compressed WAVE: an upper bound).
int64_t GetConvertedSize(SoundConverter* converter);
// Converts the whole sound into a new tracked block (the caller frees it with
// TrackedFree): its PCM format, the block and the bytes delivered. 0, or -1 (nothing is
// left allocated) when the sound would pass SOUND_CONVERT_WHOLE_MAX or memory fails.
int ConvertWholeSound(SoundConverter* converter, PlatWaveFormat* format, void** memory,
                      int64_t* bytes);
// The PCM format. 0.
int GetConverterFormat(SoundConverter* converter, PlatWaveFormat* format);
// Releases what the converter holds. 0, -1 when not open.
int CloseSoundConverter(SoundConverter* converter);
