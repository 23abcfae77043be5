// The converter's common parts: the open that tries the kinds in order, reading through
// the PCM buffer, seeking, the sizes, the whole conversion and the close.
#include "engine/sound/converter.h"

#include "engine/base/memory.h"
#include "engine/sound/converterparts.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

// Source bytes converted at once: this much, or one whole block when a block is larger.
const uint32_t kCodecChunk = 2048;

// Bytes of the PCM buffer for an opened kind.
uint64_t BufferSizeFor(SoundConverter* c) {
  const uint64_t second = c->pcmFormat.avgBytesPerSec;
  if (c->kind == SOUND_CONVERTER_OGG) return 4096;
  if (c->kind == SOUND_CONVERTER_PCM) return second;
  if (c->totalSamples >= 0) return second * 4 / 3;  // MPEG audio
  // Compressed WAVE: at least what one chunk can make, so that a large block at a low
  // rate still fits.
  const uint32_t chunk = std::max<uint32_t>(kCodecChunk, c->sourceFormat->blockAlign);
  uint64_t chunkOut = 0;
  if (PlatCodecStreamSize(c->acmMain, chunk, &chunkOut, PLAT_CODEC_SIZE_SOURCE) != 0) return 0;
  return std::max(second, chunkOut);
}

void EmptyBuffer(SoundConverter* c) {
  c->pcmValid = 0;
  c->pcmReadOffset = 0;
}

int RefillPcm(SoundConverter* c) {
  const int64_t position = c->stream.tell(c->streamHandle) - c->dataStart;
  if (position < 0 || position >= c->dataSize) return -1;
  const uint32_t n = uint32_t(std::min<int64_t>(c->pcmBufferSize, c->dataSize - position));
  const uint32_t got = StreamReadBytes(c, c->pcmBuffer, n);
  if (got == 0) return -1;
  c->pcmValid = got;
  return 0;
}

// One chunk through the main stream. Taking source bytes without making PCM (a decoder
// gathering a frame) goes on to the next chunk; only a chunk that takes nothing and makes
// nothing ends the source.
int RefillCodec(SoundConverter* c) {
  if (!c->acmMain) return -1;
  const uint32_t chunkMax = std::max<uint32_t>(kCodecChunk, c->sourceFormat->blockAlign);
  while (c->sourcePosition < c->sourceSize) {
    const uint32_t chunk = std::min(chunkMax, c->sourceSize - c->sourcePosition);
    // The last chunk may end in a cut block, which is decoded as far as it goes.
    const uint32_t flags = c->sourcePosition + chunk == c->sourceSize
                               ? PLAT_CODEC_CONVERT_END
                               : PLAT_CODEC_CONVERT_BLOCKALIGN;
    PlatCodecStreamHeader h = {};
    h.source = c->sourceData + c->sourcePosition;
    h.sourceLength = chunk;
    h.destination = c->pcmBuffer;
    h.destinationLength = c->pcmBufferSize;
    if (PlatCodecStreamPrepareHeader(c->acmMain, &h) != 0) return -1;
    const int converted = PlatCodecStreamConvert(c->acmMain, &h, flags);
    if (PlatCodecStreamUnprepareHeader(c->acmMain, &h) != 0 || converted != 0) return -1;
    c->sourcePosition += std::min(h.sourceLengthUsed, chunk);
    c->pcmValid = std::min(h.destinationLengthUsed, c->pcmBufferSize);
    if (c->pcmValid > 0) return 0;
    if (h.sourceLengthUsed == 0) return -1;
  }
  return -1;
}

int Refill(SoundConverter* c) {
  EmptyBuffer(c);
  switch (c->kind) {
    case SOUND_CONVERTER_PCM:
      return RefillPcm(c);
    case SOUND_CONVERTER_ACM:
      return RefillCodec(c);
    default:
      return RefillOggVorbis(c);
  }
}

// Backward on codec data: the spare stream, which stands at the start, becomes the main
// one, and a new spare is opened. 0, or -1 when no stream can be had.
int RestartCodec(SoundConverter* c) {
  if (c->acmMain) PlatCodecStreamClose(c->acmMain);
  c->acmMain = c->acmSpare;
  c->acmSpare = nullptr;
  c->sourcePosition = 0;
  c->outputPosition = 0;
  EmptyBuffer(c);
  PlatCodecStream fresh = nullptr;
  if (PlatCodecStreamOpen(&fresh, c->sourceFormat, &c->pcmFormat, 0) != 0) fresh = nullptr;
  if (!c->acmMain) {
    c->acmMain = fresh;
    fresh = nullptr;
    if (PlatCodecStreamOpen(&fresh, c->sourceFormat, &c->pcmFormat, 0) != 0) fresh = nullptr;
  }
  c->acmSpare = fresh;
  return c->acmMain ? 0 : -1;
}

void SeekCodec(SoundConverter* c, int64_t target) {
  if (target < c->outputPosition) {
    if (RestartCodec(c) != 0) {
      c->ended = 1;
      return;
    }
  } else if (target - c->outputPosition < int64_t(c->pcmValid - c->pcmReadOffset)) {
    c->pcmReadOffset += uint32_t(target - c->outputPosition);
    c->outputPosition = target;
    return;
  } else {
    c->outputPosition += c->pcmValid - c->pcmReadOffset;
    EmptyBuffer(c);
  }
  // Convert and skip until the target lies in the buffer; when the source ends first the
  // buffer stays empty, so that the next read ends the source.
  while (Refill(c) == 0) {
    if (target - c->outputPosition < int64_t(c->pcmValid)) {
      c->pcmReadOffset = uint32_t(target - c->outputPosition);
      c->outputPosition = target;
      return;
    }
    c->outputPosition += c->pcmValid;
  }
  EmptyBuffer(c);
}

void CloseParts(SoundConverter* c) {
  TrackedFree(c->pcmBuffer);
  c->pcmBuffer = nullptr;
  ReleaseCodecParts(c);
  CloseOggVorbis(c);
}

}  // namespace

int IsPlayablePcm(const PlatWaveFormat* f) {
  return f->formatTag == PLAT_WAVE_FORMAT_PCM && (f->bitsPerSample == 8 || f->bitsPerSample == 16) &&
         (f->channels == 1 || f->channels == 2) && f->samplesPerSec >= 100 &&
         f->samplesPerSec <= 200000;
}

void SetPcmDerivedFields(PlatWaveFormat* f) {
  f->blockAlign = uint16_t(f->channels * f->bitsPerSample / 8);
  f->avgBytesPerSec = f->blockAlign * f->samplesPerSec;
}

int StreamSeekTo(SoundConverter* c, int64_t position) {
  if (position < 0 || position > INT32_MAX) return -1;
  return c->stream.seek(c->streamHandle, int32_t(position), FILE_SEEK_SET) == 0 ? 0 : -1;
}

uint32_t StreamReadBytes(SoundConverter* c, void* destination, uint32_t bytes) {
  if (bytes == 0) return 0;
  const int64_t got = c->stream.read(destination, 1, bytes, c->streamHandle);
  return got <= 0 ? 0 : uint32_t(std::min<int64_t>(got, bytes));
}

int OpenCodecStreams(SoundConverter* c) {
  if (PlatCodecStreamOpen(&c->acmMain, c->sourceFormat, &c->pcmFormat, 0) != 0) {
    c->acmMain = nullptr;
    return -1;
  }
  if (PlatCodecStreamOpen(&c->acmSpare, c->sourceFormat, &c->pcmFormat, 0) != 0) {
    c->acmSpare = nullptr;
    PlatCodecStreamClose(c->acmMain);
    c->acmMain = nullptr;
    return -1;
  }
  return 0;
}

void ReleaseCodecParts(SoundConverter* c) {
  if (c->acmMain) PlatCodecStreamClose(c->acmMain);
  if (c->acmSpare) PlatCodecStreamClose(c->acmSpare);
  c->acmMain = c->acmSpare = nullptr;
  TrackedFree(c->sourceFormat);
  TrackedFree(c->sourceData);
  c->sourceFormat = nullptr;
  c->sourceData = nullptr;
  c->sourceSize = c->sourcePosition = 0;
}

int OpenSoundConverter(const StreamFunctions* stream, StreamHandle handle, SoundConverter* c) {
  if (!c) return -1;
  std::memset(c, 0, sizeof *c);
  if (!stream) return -1;
  c->vorbisSelector = 0;
  c->stream = *stream;
  c->streamHandle = handle;
  c->totalSamples = -1;

  // The size, once: every try reads inside it, and positions stay within what a seek of
  // the stream row can reach.
  if (c->stream.seek(handle, 0, FILE_SEEK_END) != 0) return -1;
  const int64_t size = c->stream.tell(handle);
  if (size < 0 || size > INT32_MAX || StreamSeekTo(c, 0) != 0) return -1;

  int (*const tries[])(SoundConverter*, int64_t) = {
      TryPcmWave,
      TryCompressedWave,
      [](SoundConverter* s, int64_t) { return TryOggVorbis(s); },
      TryMpegAudio,
  };
  bool found = false;
  for (auto attempt : tries) {
    if (StreamSeekTo(c, 0) != 0) break;
    if (attempt(c, size) == 0) {
      found = true;
      break;
    }
  }
  if (!found) return -1;

  c->open = 0;
  c->ended = 0;
  const uint64_t bufferSize = BufferSizeFor(c);
  c->pcmBuffer = bufferSize > 0 && bufferSize <= UINT32_MAX
                     ? static_cast<unsigned char*>(TrackedAlloc(bufferSize, "", 0))
                     : nullptr;
  if (!c->pcmBuffer) {
    CloseParts(c);
    return -1;
  }
  c->pcmBufferSize = uint32_t(bufferSize);
  EmptyBuffer(c);
  c->outputPosition = 0;
  c->open = 1;
  return 0;
}

int32_t DecodeConverter(SoundConverter* c, void* destination, int32_t bytes) {
  if (!c || !c->open) return -1;
  if (c->ended || bytes <= 0) return 0;
  unsigned char* out = static_cast<unsigned char*>(destination);
  int32_t copied = 0;
  while (copied < bytes) {
    if (c->pcmReadOffset >= c->pcmValid && Refill(c) != 0) {
      c->ended = 1;
      break;
    }
    const uint32_t n = std::min<uint32_t>(uint32_t(bytes - copied), c->pcmValid - c->pcmReadOffset);
    std::memcpy(out + copied, c->pcmBuffer + c->pcmReadOffset, n);
    c->pcmReadOffset += n;
    c->outputPosition += n;
    copied += int32_t(n);
  }
  return copied;
}

int SeekConverter(SoundConverter* c, int64_t sample) {
  if (!c || !c->open) return 0;
  const int64_t target = std::max<int64_t>(sample, 0) * c->pcmFormat.blockAlign;
  if (target >= c->outputPosition - 16 && target <= c->outputPosition + 16) return 0;
  c->ended = 0;
  switch (c->kind) {
    case SOUND_CONVERTER_PCM: {
      const int64_t inData = std::min(target, c->dataSize);
      if (StreamSeekTo(c, c->dataStart + inData) != 0) c->ended = 1;
      c->outputPosition = inData;
      EmptyBuffer(c);
      break;
    }
    case SOUND_CONVERTER_OGG:
      if (SeekOggVorbis(c, target / c->pcmFormat.blockAlign) != 0) c->ended = 1;
      c->outputPosition = target;
      EmptyBuffer(c);
      break;
    default:
      SeekCodec(c, target);
      break;
  }
  return 0;
}

int64_t GetConvertedSize(SoundConverter* c) {
  if (!c || !c->open) return -1;
  switch (c->kind) {
    case SOUND_CONVERTER_PCM:
      return c->dataSize;
    case SOUND_CONVERTER_OGG:
      return c->pcmFormat.channels * (OggVorbisTotalSamples(c) + 44100) * 2;
    default: {
      if (c->totalSamples >= 0) return c->pcmFormat.blockAlign * c->totalSamples;
      PlatCodecStream s = c->acmMain ? c->acmMain : c->acmSpare;
      uint64_t out = 0;
      if (!s || PlatCodecStreamSize(s, c->sourceSize, &out, PLAT_CODEC_SIZE_SOURCE) != 0 ||
          out > uint64_t(INT64_MAX))
        return -1;
      return int64_t(out);
    }
  }
}

int ConvertWholeSound(SoundConverter* c, PlatWaveFormat* format, void** memory, int64_t* bytes) {
  if (!c || !c->open || !format || !memory || !bytes) return -1;
  const int64_t size = GetConvertedSize(c);
  if (size < 0 || size > SOUND_CONVERT_WHOLE_MAX) return -1;
  unsigned char* out = static_cast<unsigned char*>(TrackedAlloc(size_t(std::max<int64_t>(size, 1)), "", 0));
  if (!out) return -1;
  SeekConverter(c, 0);
  int64_t got = 0;
  if (c->kind == SOUND_CONVERTER_PCM) {
    if (StreamSeekTo(c, c->dataStart) == 0) got = StreamReadBytes(c, out, uint32_t(size));
    c->outputPosition = got;
    EmptyBuffer(c);
  } else {
    for (;;) {
      const int32_t n = DecodeConverter(c, out + got, int32_t(std::min<int64_t>(size - got, INT32_MAX)));
      if (n <= 0) break;
      got += n;
    }
  }
  *format = c->pcmFormat;
  *memory = out;
  *bytes = got;
  return 0;
}

int GetConverterFormat(SoundConverter* c, PlatWaveFormat* format) {
  if (!c || !format) return -1;
  *format = c->pcmFormat;
  return 0;
}

int CloseSoundConverter(SoundConverter* c) {
  if (!c || !c->open) return -1;
  CloseParts(c);
  c->open = 0;
  return 0;
}
