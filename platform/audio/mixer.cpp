// The mixer's arithmetic: one voice added into stereo 32-bit sums, and the one clip.
#include "platform/audio/audio.h"

#include "platform/kernel/kernel.h"

#include <algorithm>
#include <cstring>

namespace {

template <int Bits>
inline int32_t Sample(const unsigned char* p) {
  if constexpr (Bits == 8) {
    return (int32_t(p[0]) - 128) * 256;
  } else {
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
  }
}

// Left and right of frame i.
template <int Bits, int Channels>
inline void Frame(const unsigned char* pcm, uint32_t i, int32_t* left, int32_t* right) {
  constexpr int kBytes = Bits / 8 * Channels;
  const unsigned char* p = pcm + size_t(i) * kBytes;
  *left = Sample<Bits>(p);
  *right = Channels == 2 ? Sample<Bits>(p + Bits / 8) : *left;
}

// Frames at the buffer's own rate: every output frame is one frame of the buffer.
template <int Bits, int Channels>
void MixSameRate(PlatAudioVoice* v, int32_t* mix, uint32_t frames) {
  uint32_t i = uint32_t(v->position >> 32);
  while (frames > 0) {
    const uint32_t run = std::min(frames, v->frames - i);
    for (uint32_t n = 0; n < run; n++) {
      int32_t l, r;
      Frame<Bits, Channels>(v->pcm, i + n, &l, &r);
      mix[0] += l;
      mix[1] += r;
      mix += 2;
    }
    i += run;
    frames -= run;
    if (i == v->frames) {
      i = 0;
      if (!v->looping) {
        v->playing = 0;
        break;
      }
    }
  }
  v->position = uint64_t(i) << 32;
}

// Frames at another rate: stepped in 32.32, each output frame between two neighbours.
template <int Bits, int Channels>
void MixStepped(PlatAudioVoice* v, int32_t* mix, uint32_t frames, uint64_t step) {
  const uint64_t end = uint64_t(v->frames) << 32;
  uint64_t pos = v->position;
  for (uint32_t n = 0; n < frames; n++) {
    const uint32_t i = uint32_t(pos >> 32);
    const int64_t f16 = int64_t((pos >> 16) & 0xFFFF);
    int32_t l0, r0;
    Frame<Bits, Channels>(v->pcm, i, &l0, &r0);
    if (f16 != 0) {
      // The last frame of a one-shot buffer has no neighbour after it: it holds.
      uint32_t j = i + 1;
      if (j == v->frames) j = v->looping ? 0 : i;
      int32_t l1, r1;
      Frame<Bits, Channels>(v->pcm, j, &l1, &r1);
      l0 += int32_t((int64_t(l1 - l0) * f16) >> 16);
      r0 += int32_t((int64_t(r1 - r0) * f16) >> 16);
    }
    mix[2 * n] += l0;
    mix[2 * n + 1] += r0;
    pos += step;
    if (pos >= end) {
      if (!v->looping) {
        v->playing = 0;
        pos = 0;
        break;
      }
      pos %= end;
    }
  }
  v->position = pos;
}

template <int Bits, int Channels>
void MixAny(PlatAudioVoice* v, int32_t* mix, uint32_t frames, uint64_t step) {
  if (step == uint64_t(1) << 32 && (v->position & 0xFFFFFFFFu) == 0)
    MixSameRate<Bits, Channels>(v, mix, frames);
  else
    MixStepped<Bits, Channels>(v, mix, frames, step);
}

}  // namespace

void PlatAudioMixVoice(PlatAudioVoice* v, int32_t* mix, uint32_t frames) {
  if (!v->playing) return;
  const uint64_t end = uint64_t(v->frames) << 32;
  if (v->frames == 0 || v->position >= end) {  // nothing to play from here
    v->playing = 0;
    v->position = 0;
    return;
  }
  const uint64_t step = (uint64_t(v->rate) << 32) / PLAT_AUDIO_MIX_RATE;
  if (!mix) {
    // The same stepping as the mix, in one move.
    const unsigned __int128 to = (unsigned __int128)v->position + (unsigned __int128)step * frames;
    if (to < end) {
      v->position = uint64_t(to);
    } else if (v->looping) {
      v->position = uint64_t(to % end);
    } else {
      v->playing = 0;
      v->position = 0;
    }
    return;
  }
  const bool stereo = v->channels == 2;
  if (v->bitsPerSample == 8)
    stereo ? MixAny<8, 2>(v, mix, frames, step) : MixAny<8, 1>(v, mix, frames, step);
  else
    stereo ? MixAny<16, 2>(v, mix, frames, step) : MixAny<16, 1>(v, mix, frames, step);
}

void PlatAudioClipMix(const int32_t* mix, int16_t* out, uint32_t frames) {
  for (uint32_t i = 0; i < frames * 2; i++) out[i] = int16_t(std::clamp(mix[i], -32768, 32767));
}

uint64_t PlatAudioFramesSince(int64_t start) {
  const int64_t elapsed = PlatPerfCounter() - start;
  const int64_t perSecond = PlatPerfFrequency();
  if (elapsed <= 0 || perSecond <= 0) return 0;
  return uint64_t(elapsed / perSecond) * PLAT_AUDIO_MIX_RATE +
         uint64_t(elapsed % perSecond) * PLAT_AUDIO_MIX_RATE / uint64_t(perSecond);
}
