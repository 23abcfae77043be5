// Codec streams: the choice of decoder, the header bookkeeping, the block stepping every
// block decoder shares, and the counting and failing that tests ask for.
#include "platform/audio/codec.h"

#include "platform/audio/codecdecoders.h"
#include "platform/audio/codecfake.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <new>

static_assert(std::endian::native == std::endian::little, "PCM is written in host order");

namespace {

const PlatCodecDecoder* const kDecoders[] = {
    &PlatMsAdpcmDecoder, &PlatImaAdpcmDecoder, &PlatALawDecoder,
    &PlatMuLawDecoder,   &PlatMpegAudioDecoder,
};

std::atomic<int> g_counts[PLAT_CODEC_CALL_COUNT];
std::atomic<int> g_failFrom[PLAT_CODEC_CALL_COUNT];
std::atomic<int> g_live;

// Counts the use; true when the plan says this use fails.
bool Use(PlatCodecCall call) {
  const int n = ++g_counts[call];
  const int from = g_failFrom[call];
  return from > 0 && n >= from;
}

const PlatCodecDecoder* FindDecoder(uint16_t tag) {
  for (const PlatCodecDecoder* d : kDecoders)
    if (d->formatTag == tag) return d;
  return nullptr;
}

// The decoder that takes the source, with the facts it found; null when none does.
const PlatCodecDecoder* Check(const PlatWaveFormat* source, PlatCodecState* state) {
  if (!source) return nullptr;
  const PlatCodecDecoder* d = FindDecoder(source->formatTag);
  if (!d || d->check(source, state) != 0) return nullptr;
  return d;
}

void PcmOf(const PlatCodecState& s, PlatWaveFormat* pcm) {
  pcm->formatTag = PLAT_WAVE_FORMAT_PCM;
  pcm->channels = s.channels;
  pcm->samplesPerSec = s.rate;
  pcm->blockAlign = uint16_t(s.channels * 2);
  pcm->avgBytesPerSec = s.rate * s.channels * 2;
  pcm->bitsPerSample = 16;
  pcm->extraSize = 0;
}

}  // namespace

int PlatCodecFormatSuggest(const PlatWaveFormat* source, PlatWaveFormat* destination,
                           uint32_t destinationBytes, uint32_t flags) {
  if (Use(PLAT_CODEC_CALL_SUGGEST)) return -1;
  if (!destination || destinationBytes < sizeof(PlatWaveFormat)) return -1;
  if ((flags & PLAT_CODEC_SUGGEST_TAG) && destination->formatTag != PLAT_WAVE_FORMAT_PCM)
    return -1;
  PlatCodecState s{};
  if (!Check(source, &s)) return -1;
  PcmOf(s, destination);
  return 0;
}

int PlatCodecStreamOpen(PlatCodecStream* stream, const PlatWaveFormat* source,
                        const PlatWaveFormat* destination, uint32_t) {
  if (!stream) return -1;
  *stream = nullptr;
  if (Use(PLAT_CODEC_CALL_OPEN)) return -1;
  PlatCodecState* s = new (std::nothrow) PlatCodecState{};
  if (!s) return -1;
  s->decoder = Check(source, s);
  PlatWaveFormat pcm{};
  if (s->decoder) PcmOf(*s, &pcm);
  if (!s->decoder || !destination || std::memcmp(&pcm, destination, sizeof pcm) != 0 ||
      (s->decoder->open && s->decoder->open(s) != 0)) {
    delete s;
    return -1;
  }
  ++g_live;
  *stream = s;
  return 0;
}

int PlatCodecStreamSize(PlatCodecStream stream, uint32_t bytes, uint64_t* output, uint32_t flags) {
  if (Use(PLAT_CODEC_CALL_SIZE)) return -1;
  if (!stream || !output || flags != PLAT_CODEC_SIZE_SOURCE) return -1;
  *output = stream->decoder->size(stream, bytes);
  return 0;
}

int PlatCodecStreamPrepareHeader(PlatCodecStream stream, PlatCodecStreamHeader* header) {
  if (Use(PLAT_CODEC_CALL_PREPARE)) return -1;
  if (!stream || !header || (header->status & PLAT_CODEC_HEADER_PREPARED)) return -1;
  header->status = PLAT_CODEC_HEADER_PREPARED;
  return 0;
}

int PlatCodecStreamUnprepareHeader(PlatCodecStream stream, PlatCodecStreamHeader* header) {
  if (Use(PLAT_CODEC_CALL_UNPREPARE)) return -1;
  if (!stream || !header || !(header->status & PLAT_CODEC_HEADER_PREPARED)) return -1;
  header->status &= ~PLAT_CODEC_HEADER_PREPARED;
  return 0;
}

int PlatCodecStreamConvert(PlatCodecStream stream, PlatCodecStreamHeader* header, uint32_t flags) {
  if (Use(PLAT_CODEC_CALL_CONVERT)) return -1;
  if (!stream || !header || !(header->status & PLAT_CODEC_HEADER_PREPARED)) return -1;
  if ((header->sourceLength && !header->source) ||
      (header->destinationLength && !header->destination))
    return -1;
  header->status &= ~PLAT_CODEC_HEADER_DONE;
  PlatCodecWork work = {header->source, header->sourceLength, header->destination,
                        header->destinationLength, 0, 0};
  const int result = stream->decoder->convert(stream, &work, flags);
  header->sourceLengthUsed = work.taken;
  header->destinationLengthUsed = work.made;
  header->status |= PLAT_CODEC_HEADER_DONE;
  return result;
}

int PlatCodecStreamClose(PlatCodecStream stream) {
  if (Use(PLAT_CODEC_CALL_CLOSE)) return -1;
  if (!stream) return -1;
  if (stream->decoder->close) stream->decoder->close(stream);
  delete stream;
  --g_live;
  return 0;
}

int PlatCodecMaxFormatSize(uint32_t* bytes) {
  if (Use(PLAT_CODEC_CALL_METRICS) || !bytes) return -1;
  *bytes = sizeof(PlatWaveFormat) + 4 + 7 * 4;
  return 0;
}

int PlatConvertBlocks(PlatCodecState* s, PlatCodecWork* w, uint32_t flags,
                      void (*decodeBlock)(const PlatCodecState*, const unsigned char*, uint32_t,
                                          unsigned char*),
                      uint32_t (*framesIn)(const PlatCodecState*, uint32_t)) {
  const uint32_t frameBytes = uint32_t(s->channels) * 2;
  const uint64_t blockOut = uint64_t(s->samplesPerBlock) * frameBytes;
  const uint32_t whole = w->sourceLength / s->blockAlign;
  const uint64_t fit = w->destinationLength / blockOut;
  const uint32_t n = uint32_t(std::min<uint64_t>(whole, fit));
  for (uint32_t i = 0; i < n; i++) {
    decodeBlock(s, w->source + uint64_t(i) * s->blockAlign, s->samplesPerBlock,
                w->destination + i * blockOut);
  }
  w->taken = n * s->blockAlign;
  w->made = uint32_t(n * blockOut);
  const uint32_t rest = w->sourceLength - w->taken;
  if (n == whole && rest > 0 && !(flags & PLAT_CODEC_CONVERT_BLOCKALIGN)) {
    const uint32_t frames = framesIn(s, rest);
    if (uint64_t(frames) * frameBytes <= w->destinationLength - w->made) {
      if (frames) {
        decodeBlock(s, w->source + w->taken, frames,
                    w->destination + w->made);
      }
      w->taken += rest;
      w->made += frames * frameBytes;
    }
  }
  return 0;
}

void PlatCodecFakeReset() {
  for (auto& c : g_counts) c = 0;
  for (auto& f : g_failFrom) f = 0;
}

void PlatCodecFakeFailFrom(PlatCodecCall call, int n) {
  if (call >= 0 && call < PLAT_CODEC_CALL_COUNT) g_failFrom[call] = n > 0 ? g_counts[call] + n : 0;
}

int PlatCodecFakeCount(PlatCodecCall call) {
  return call >= 0 && call < PLAT_CODEC_CALL_COUNT ? g_counts[call].load() : 0;
}

int PlatCodecLiveStreams() { return g_live; }
