// Ogg Vorbis files through vorbisfile, which reads the converter's stream through
// callbacks of our own.
#include "engine/base/memory.h"
#include "engine/sound/converterparts.h"

#include <vorbis/vorbisfile.h>

#include <climits>

namespace {

size_t OggRead(void* destination, size_t size, size_t count, void* source) {
  SoundConverter* c = static_cast<SoundConverter*>(source);
  if (size == 0 || count == 0) return 0;
  const uint64_t bytes = uint64_t(size) * count;
  if (bytes > UINT32_MAX) return 0;
  return StreamReadBytes(c, destination, uint32_t(bytes)) / size;
}

// Offsets a 32-bit seek cannot reach fail, rather than landing elsewhere.
int OggSeek(void* source, ogg_int64_t offset, int origin) {
  SoundConverter* c = static_cast<SoundConverter*>(source);
  if (offset < INT32_MIN || offset > INT32_MAX) return -1;
  return c->stream.seek(c->streamHandle, int32_t(offset), origin) == 0 ? 0 : -1;
}

int OggClose(void*) { return 0; }

long OggTell(void* source) {
  SoundConverter* c = static_cast<SoundConverter*>(source);
  return long(c->stream.tell(c->streamHandle));
}

}  // namespace

int TryOggVorbis(SoundConverter* c) {
  OggVorbis_File* vf = static_cast<OggVorbis_File*>(TrackedCalloc(sizeof(OggVorbis_File), "", 0));
  if (!vf) return -1;
  const ov_callbacks callbacks = {OggRead, OggSeek, OggClose, OggTell};
  if (ov_open_callbacks(c, vf, nullptr, 0, callbacks) != 0) {
    ov_clear(vf);  // a failed open has cleared the state already; this is harmless
    TrackedFree(vf);
    return -1;
  }
  const vorbis_info* info = ov_info(vf, -1);
  const ogg_int64_t total = ov_pcm_total(vf, -1);
  PlatWaveFormat f = {};
  if (info) {
    f.formatTag = PLAT_WAVE_FORMAT_PCM;
    f.channels = uint16_t(info->channels > 0 && info->channels <= 2 ? info->channels : 0);
    f.samplesPerSec = uint32_t(info->rate > 0 && info->rate <= INT32_MAX ? info->rate : 0);
    f.bitsPerSample = 16;
    SetPcmDerivedFields(&f);
  }
  // A length from the granule positions that no size could hold fails like a missing one.
  if (!info || !IsPlayablePcm(&f) || total < 0 || total > INT64_MAX / 8) {
    ov_clear(vf);
    TrackedFree(vf);
    return -1;
  }
  c->vorbis = vf;
  c->bytesPerSample = 2;
  c->pcmFormat = f;
  c->dataSize = int64_t(f.channels) * total * 2;
  c->kind = SOUND_CONVERTER_OGG;
  return 0;
}

int RefillOggVorbis(SoundConverter* c) {
  for (;;) {
    int link = 0;
    const long got = ov_read(c->vorbis, reinterpret_cast<char*>(c->pcmBuffer),
                             int(c->pcmBufferSize), 0, 2, 1, &link);
    // A hole (lost or damaged pages) is passed over; any other failure ends the source.
    if (got == OV_HOLE) continue;
    if (got <= 0) return -1;
    // A later link in another layout ends the sound: its PCM cannot be read as ours.
    const vorbis_info* info = ov_info(c->vorbis, link);
    if (!info || info->channels != c->pcmFormat.channels || info->rate != long(c->pcmFormat.samplesPerSec))
      return -1;
    c->pcmValid = uint32_t(got);
    return 0;
  }
}

int SeekOggVorbis(SoundConverter* c, int64_t sample) {
  return ov_pcm_seek(c->vorbis, sample) == 0 ? 0 : -1;
}

int64_t OggVorbisTotalSamples(SoundConverter* c) { return ov_pcm_total(c->vorbis, -1); }

void CloseOggVorbis(SoundConverter* c) {
  if (!c->vorbis) return;
  ov_clear(c->vorbis);
  TrackedFree(c->vorbis);
  c->vorbis = nullptr;
}
