// The two 4-bit ADPCM decoders of WAVE files: MS ADPCM (predictor coefficients from the
// format) and IMA ADPCM. A block starts with a header per channel; a block whose header
// names a predictor or step outside the tables decodes as silence.
#include "platform/audio/codecdecoders.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

int16_t Clamp16(int64_t v) { return int16_t(std::clamp<int64_t>(v, INT16_MIN, INT16_MAX)); }

void Silence(const PlatCodecState* s, uint32_t frames, unsigned char* out) {
  std::memset(out, 0, size_t(frames) * s->channels * 2);
}

// Channels and bits every ADPCM format shares.
bool AdpcmBasics(const PlatWaveFormat* f) {
  return (f->channels == 1 || f->channels == 2) && f->bitsPerSample == 4 && f->samplesPerSec > 0;
}

const unsigned char* Extra(const PlatWaveFormat* f) {
  return reinterpret_cast<const unsigned char*>(f) + sizeof(PlatWaveFormat);
}

uint64_t BlockSize(const PlatCodecState* s, uint32_t bytes) {
  const uint64_t blocks = (uint64_t(bytes) + s->blockAlign - 1) / s->blockAlign;
  return blocks * s->samplesPerBlock * s->channels * 2;
}

// ---- MS ADPCM -------------------------------------------------------------------------

const int32_t kMsAdapt[16] = {230, 230, 230, 230, 307, 409, 512, 614,
                              768, 614, 512, 409, 307, 230, 230, 230};
// Past this the next adaptation would overflow; no encoder gets near it.
const int32_t kMsMaxDelta = INT32_MAX / 768;

int MsCheck(const PlatWaveFormat* f, PlatCodecState* s) {
  if (!AdpcmBasics(f) || f->extraSize < 4) return -1;
  const uint32_t ch = f->channels, align = f->blockAlign;
  if (align < 7 * ch) return -1;
  const unsigned char* extra = Extra(f);
  const uint32_t samplesPerBlock = uint16_t(PlatLoadS16(extra));
  const uint32_t pairs = uint16_t(PlatLoadS16(extra + 2));
  if (pairs < 7 || f->extraSize < 4 + 4 * pairs) return -1;
  if (samplesPerBlock != (align - 7 * ch) * 2 / ch + 2) return -1;
  s->channels = uint16_t(ch);
  s->rate = f->samplesPerSec;
  s->blockAlign = align;
  s->samplesPerBlock = samplesPerBlock;
  s->coefficients.resize(2 * pairs);
  for (uint32_t i = 0; i < 2 * pairs; i++) s->coefficients[i] = PlatLoadS16(extra + 4 + 2 * i);
  return 0;
}

uint32_t MsFramesIn(const PlatCodecState* s, uint32_t bytes) {
  if (bytes < 7u * s->channels) return 0;
  return std::min(2 + (bytes - 7 * s->channels) * 2 / s->channels, s->samplesPerBlock);
}

void MsDecodeBlock(const PlatCodecState* s, const unsigned char* b, uint32_t frames,
                   unsigned char* out) {
  const uint32_t ch = s->channels;
  int32_t c1[2], c2[2], delta[2], s1[2], s2[2];
  for (uint32_t c = 0; c < ch; c++) {
    const uint32_t predictor = b[c];
    if (predictor * 2 >= s->coefficients.size()) return Silence(s, frames, out);
    c1[c] = s->coefficients[2 * predictor];
    c2[c] = s->coefficients[2 * predictor + 1];
    delta[c] = PlatLoadS16(b + ch + 2 * c);
    s1[c] = PlatLoadS16(b + 3 * ch + 2 * c);
    s2[c] = PlatLoadS16(b + 5 * ch + 2 * c);
  }
  // The header's older sample comes out first.
  for (uint32_t c = 0; c < ch && frames > 0; c++) PlatStoreS16(out + 2 * c, int16_t(s2[c]));
  for (uint32_t c = 0; c < ch && frames > 1; c++) PlatStoreS16(out + 2 * (ch + c), int16_t(s1[c]));
  const unsigned char* nibbles = b + 7 * ch;
  uint32_t k = 0;
  for (uint32_t f = 2; f < frames; f++) {
    for (uint32_t c = 0; c < ch; c++, k++) {
      const int32_t n = (k & 1) ? nibbles[k >> 1] & 0x0F : nibbles[k >> 1] >> 4;
      // The prediction shifts right (rounds toward minus infinity), as the format's
      // reference decoder does.
      const int64_t predicted = (int64_t(s1[c]) * c1[c] + int64_t(s2[c]) * c2[c]) >> 8;
      const int16_t v = Clamp16(predicted + int64_t(n - ((n & 8) << 1)) * delta[c]);
      PlatStoreS16(out + 2 * (f * ch + c), v);
      s2[c] = s1[c];
      s1[c] = v;
      delta[c] = std::clamp((kMsAdapt[n] * delta[c]) >> 8, 16, kMsMaxDelta);
    }
  }
}

int MsConvert(PlatCodecState* s, PlatCodecWork* w, uint32_t flags) {
  return PlatConvertBlocks(s, w, flags, MsDecodeBlock, MsFramesIn);
}

// ---- IMA ADPCM ------------------------------------------------------------------------

const int16_t kImaStep[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

int ImaCheck(const PlatWaveFormat* f, PlatCodecState* s) {
  if (!AdpcmBasics(f)) return -1;
  const uint32_t ch = f->channels, align = f->blockAlign, group = 4 * ch;
  if (align <= group || (align - group) % group != 0) return -1;
  const uint32_t samplesPerBlock = (align - group) / group * 8 + 1;
  if (f->extraSize >= 2 && uint16_t(PlatLoadS16(Extra(f))) != samplesPerBlock) return -1;
  s->channels = uint16_t(ch);
  s->rate = f->samplesPerSec;
  s->blockAlign = align;
  s->samplesPerBlock = samplesPerBlock;
  return 0;
}

uint32_t ImaFramesIn(const PlatCodecState* s, uint32_t bytes) {
  const uint32_t group = 4u * s->channels;
  if (bytes < group) return 0;
  return std::min(1 + (bytes - group) / group * 8, s->samplesPerBlock);
}

void ImaDecodeBlock(const PlatCodecState* s, const unsigned char* b, uint32_t frames,
                    unsigned char* out) {
  const uint32_t ch = s->channels;
  for (uint32_t c = 0; c < ch; c++)
    if (b[4 * c + 2] > 88) return Silence(s, frames, out);
  for (uint32_t c = 0; c < ch; c++) {
    int32_t predicted = PlatLoadS16(b + 4 * c);
    int32_t index = b[4 * c + 2];
    PlatStoreS16(out + 2 * c, int16_t(predicted));
    // Groups of 4 bytes per channel in turn, 8 samples each, low nibble first.
    for (uint32_t g = 0; 1 + g * 8 < frames; g++) {
      const unsigned char* d = b + 4 * ch + (g * ch + c) * 4;
      for (uint32_t j = 0; j < 8; j++) {
        const int32_t n = (j & 1) ? d[j >> 1] >> 4 : d[j >> 1] & 0x0F;
        const int32_t step = kImaStep[index];
        int32_t diff = step >> 3;
        if (n & 4) diff += step;
        if (n & 2) diff += step >> 1;
        if (n & 1) diff += step >> 2;
        predicted = Clamp16(n & 8 ? predicted - diff : predicted + diff);
        index = std::clamp(index + kImaIndex[n], 0, 88);
        PlatStoreS16(out + 2 * ((1 + g * 8 + j) * ch + c), int16_t(predicted));
      }
    }
  }
}

int ImaConvert(PlatCodecState* s, PlatCodecWork* w, uint32_t flags) {
  return PlatConvertBlocks(s, w, flags, ImaDecodeBlock, ImaFramesIn);
}

}  // namespace

const PlatCodecDecoder PlatMsAdpcmDecoder = {
    .formatTag = PLAT_WAVE_FORMAT_MSADPCM,
    .check = MsCheck,
    .open = nullptr,
    .close = nullptr,
    .size = BlockSize,
    .convert = MsConvert,
};

const PlatCodecDecoder PlatImaAdpcmDecoder = {
    .formatTag = PLAT_WAVE_FORMAT_IMAADPCM,
    .check = ImaCheck,
    .open = nullptr,
    .close = nullptr,
    .size = BlockSize,
    .convert = ImaConvert,
};
