// MPEG audio (Layers I to III) through libmpg123 in feed mode. The output is fixed to
// 16-bit at the format's rate and channels; gapless trimming is off and an information
// frame decodes as the silent frame it is, so every frame gives its whole samples.
//
// The source is fed a piece at a time, only while the decoder has no whole frame, and
// decoding stops when the destination is full. The frame that did not fit waits in the
// state for the next call; when that happens on the last piece of the source, the last
// byte is reported as not taken, so that the caller comes back for the rest.
#include "platform/audio/codecdecoders.h"

#include <mpg123.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Bytes fed to the decoder at once.
const uint32_t kPiece = 4096;
// The largest frame of a fixed bit rate (Layer II, 384 kbit/s at 32000 Hz), and the most
// samples a byte of fixed-bit-rate data holds (576 in 24 bytes).
const uint64_t kLargestFrame = 1728;
const uint64_t kSamplesPerByte = 24;

struct Mpeg {
  mpg123_handle* handle;
  const unsigned char* pending;  // decoded PCM not yet delivered, in the decoder's buffer
  size_t pendingBytes;
  uint32_t owed;  // source bytes fed but not reported as taken
};

int Check(const PlatWaveFormat* f, PlatCodecState* s) {
  if ((f->channels != 1 && f->channels != 2) || f->samplesPerSec == 0) return -1;
  s->channels = f->channels;
  s->rate = f->samplesPerSec;
  s->blockAlign = 1;
  s->samplesPerBlock = 1;
  return 0;
}

int Open(PlatCodecState* s) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  int error = 0;
  mpg123_handle* h = mpg123_new(nullptr, &error);
  if (!h) return -1;
  const long add = MPG123_QUIET | MPG123_IGNORE_INFOFRAME;
  // Without resampling, a frame of another rate ends the decoding instead of changing
  // the length.
  const long remove = MPG123_GAPLESS | MPG123_AUTO_RESAMPLE;
  if (mpg123_param(h, MPG123_ADD_FLAGS, add, 0) != MPG123_OK ||
      mpg123_param(h, MPG123_REMOVE_FLAGS, remove, 0) != MPG123_OK ||
      mpg123_format_none(h) != MPG123_OK ||
      mpg123_format(h, long(s->rate), s->channels == 1 ? MPG123_MONO : MPG123_STEREO,
                    MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(h) != MPG123_OK) {
    mpg123_delete(h);
    return -1;
  }
  Mpeg* m = new (std::nothrow) Mpeg{h, nullptr, 0, 0};
  if (!m) {
    mpg123_delete(h);
    return -1;
  }
  s->own = m;
  return 0;
}

void Close(PlatCodecState* s) {
  Mpeg* m = static_cast<Mpeg*>(s->own);
  if (!m) return;
  mpg123_delete(m->handle);
  delete m;
  s->own = nullptr;
}

uint64_t Size(const PlatCodecState* s, uint32_t bytes) {
  // A frame waiting from the last call, and whatever the input still held then and the
  // new bytes decode to.
  const uint64_t samples = 1152 + (bytes + kPiece + kLargestFrame) * kSamplesPerByte;
  return samples * s->channels * 2;
}

int Convert(PlatCodecState* s, PlatCodecWork* w, uint32_t) {
  Mpeg* m = static_cast<Mpeg*>(s->own);
  const uint32_t skip = std::min(m->owed, w->sourceLength);
  m->owed -= skip;
  uint32_t fed = skip;
  int result = 0;
  for (;;) {
    if (m->pendingBytes) {
      const size_t n = std::min<size_t>(m->pendingBytes, w->destinationLength - w->made);
      std::memcpy(w->destination + w->made, m->pending, n);
      w->made += uint32_t(n);
      m->pending += n;
      m->pendingBytes -= n;
      if (m->pendingBytes) break;
    }
    off_t frame = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int r = mpg123_decode_frame(m->handle, &frame, &audio, &bytes);
    if (r == MPG123_OK) {
      m->pending = audio;
      m->pendingBytes = bytes;
      if (bytes && w->made == w->destinationLength) break;
    } else if (r == MPG123_NEW_FORMAT) {
      continue;
    } else if (r == MPG123_NEED_MORE) {
      if (w->made == w->destinationLength || fed == w->sourceLength) break;
      const uint32_t n = std::min(kPiece, w->sourceLength - fed);
      if (mpg123_feed(m->handle, w->source + fed, n) != MPG123_OK) {
        result = -1;
        break;
      }
      fed += n;
    } else {
      result = -1;
      break;
    }
  }
  w->taken = fed;
  if (m->pendingBytes && fed == w->sourceLength && fed > 0) {
    w->taken--;
    m->owed++;
  }
  return result;
}

}  // namespace

const PlatCodecDecoder PlatMpegAudioDecoder = {
    .formatTag = PLAT_WAVE_FORMAT_MPEGLAYER3,
    .check = Check,
    .open = Open,
    .close = Close,
    .size = Size,
    .convert = Convert,
};
