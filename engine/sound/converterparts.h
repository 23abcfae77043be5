// Between the parts of the sound converter: the four tries and what they share. Not for
// callers of the converter.
#pragma once

#include "engine/sound/converter.h"

// Each try fills the converter's format, data and kind fields and returns 0, or releases
// everything it made and returns -1. `streamSize` is the stream's size in bytes.
int TryPcmWave(SoundConverter* c, int64_t streamSize);
int TryCompressedWave(SoundConverter* c, int64_t streamSize);
int TryOggVorbis(SoundConverter* c);
int TryMpegAudio(SoundConverter* c, int64_t streamSize);

// Ogg Vorbis: the next PCM into the buffer (0, or -1 at the end of the source), a seek to
// a sample (0 / -1), the samples of all links, and the release of the vorbisfile state.
int RefillOggVorbis(SoundConverter* c);
int SeekOggVorbis(SoundConverter* c, int64_t sample);
int64_t OggVorbisTotalSamples(SoundConverter* c);
void CloseOggVorbis(SoundConverter* c);

// 1 when the device plays the PCM format: 8 or 16 bits, 1 or 2 channels, 100 to 200000 Hz.
int IsPlayablePcm(const PlatWaveFormat* f);
// Block align and average rate made to agree with the channels, bits and rate.
void SetPcmDerivedFields(PlatWaveFormat* f);

// The stream, through the converter's row: a move to a position from the start (0 / -1),
// and a read of up to `bytes` bytes (the bytes read, 0 at the end or on failure).
int StreamSeekTo(SoundConverter* c, int64_t position);
uint32_t StreamReadBytes(SoundConverter* c, void* destination, uint32_t bytes);

// Codec-stream kinds (compressed WAVE, MPEG audio), once the source format, the data and
// the PCM format are set: opens the main and the spare stream. 0 / -1 (nothing opened).
int OpenCodecStreams(SoundConverter* c);
// Frees the source format and the data and closes both streams.
void ReleaseCodecParts(SoundConverter* c);
