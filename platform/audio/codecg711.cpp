// A-law and mu-law: one byte a sample, expanded through a 256-entry table.
#include "platform/audio/codecdecoders.h"

#include <algorithm>

namespace {

struct Tables {
  int16_t alaw[256], mulaw[256];
  Tables() {
    for (int i = 0; i < 256; i++) {
      const int a = i ^ 0x55;
      const int segment = (a & 0x70) >> 4;
      int t = (a & 0x0F) << 4;
      t = segment == 0 ? t + 8 : (t + 0x108) << (segment - 1);
      alaw[i] = int16_t(a & 0x80 ? t : -t);

      const int u = ~i & 0xFF;
      const int m = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
      mulaw[i] = int16_t(u & 0x80 ? 0x84 - m : m - 0x84);
    }
  }
};

const Tables& T() {
  static const Tables t;
  return t;
}

int Check(const PlatWaveFormat* f, PlatCodecState* s) {
  if ((f->channels != 1 && f->channels != 2) || f->bitsPerSample != 8 || f->samplesPerSec == 0)
    return -1;
  // The block is one frame whatever the file says.
  s->channels = f->channels;
  s->rate = f->samplesPerSec;
  s->blockAlign = f->channels;
  s->samplesPerBlock = 1;
  return 0;
}

uint64_t Size(const PlatCodecState*, uint32_t bytes) { return uint64_t(bytes) * 2; }

int Expand(const int16_t* table, const PlatCodecState* s, PlatCodecWork* w, uint32_t flags) {
  const uint32_t frames = std::min(w->sourceLength / s->channels,
                                   w->destinationLength / (2u * s->channels));
  const uint32_t samples = frames * s->channels;
  for (uint32_t i = 0; i < samples; i++) PlatStoreS16(w->destination + 2 * i, table[w->source[i]]);
  w->taken = samples;
  w->made = samples * 2;
  // A cut last frame (one byte of a stereo pair) is taken and makes nothing.
  if (!(flags & PLAT_CODEC_CONVERT_BLOCKALIGN) && frames == w->sourceLength / s->channels)
    w->taken = w->sourceLength;
  return 0;
}

int ALawConvert(PlatCodecState* s, PlatCodecWork* w, uint32_t flags) {
  return Expand(T().alaw, s, w, flags);
}
int MuLawConvert(PlatCodecState* s, PlatCodecWork* w, uint32_t flags) {
  return Expand(T().mulaw, s, w, flags);
}

}  // namespace

const PlatCodecDecoder PlatALawDecoder = {
    .formatTag = PLAT_WAVE_FORMAT_ALAW,
    .check = Check,
    .open = nullptr,
    .close = nullptr,
    .size = Size,
    .convert = ALawConvert,
};

const PlatCodecDecoder PlatMuLawDecoder = {
    .formatTag = PLAT_WAVE_FORMAT_MULAW,
    .check = Check,
    .open = nullptr,
    .close = nullptr,
    .size = Size,
    .convert = MuLawConvert,
};
