// Buffer copies over the sound device or in memory, and the software mixer's step.
#include "engine/sound/soundbuffer.h"

#include "engine/base/memory.h"
#include "engine/sound/soundsystem.h"
#include "engine/state/fatal.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "the recording's samples are written as they lie");

namespace {

// ---- the device back end ---------------------------------------------------------------

int DeviceCreate(SoundBufferCopy* c, const PlatAudioBufferDesc* desc) {
  if (c->created) return -1;
  if (PlatAudioCreateBuffer(g_Sound.device, desc, &c->buffer) != PLAT_DS_OK) return -1;
  c->created = 1;
  return 0;
}

int DeviceDuplicate(SoundBufferCopy* source, SoundBufferCopy* c) {
  if (!source->created || c->created) return -1;
  if (PlatAudioDuplicateBuffer(g_Sound.device, source->buffer, &c->buffer) != PLAT_DS_OK) return -1;
  c->created = 1;
  return 0;
}

int DeviceRelease(SoundBufferCopy* c) {
  if (!c->created) return -1;
  PlatAudioBufferRelease(c->buffer);
  c->buffer = nullptr;
  c->created = 0;
  return 0;
}

int DevicePlay(SoundBufferCopy* c, int32_t looping) {
  if (!c->created) return -1;
  return PlatAudioBufferPlay(c->buffer, looping ? PLAT_DSBPLAY_LOOPING : 0u) == PLAT_DS_OK ? 0 : -1;
}

int DeviceStop(SoundBufferCopy* c) {
  if (!c->created) return -1;
  return PlatAudioBufferStop(c->buffer) == PLAT_DS_OK ? 0 : -1;
}

int DeviceStatus(SoundBufferCopy* c, uint32_t* status) {
  if (!c->created) return -1;
  return PlatAudioBufferGetStatus(c->buffer, status) == PLAT_DS_OK ? 0 : -1;
}

int DeviceLock(SoundBufferCopy* c, uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
               uint32_t* n2) {
  if (!c->created) return -1;
  return PlatAudioBufferLock(c->buffer, offset, bytes, p1, n1, p2, n2) == PLAT_DS_OK ? 0 : -1;
}

int DeviceUnlock(SoundBufferCopy* c, void* p1, uint32_t n1, void* p2, uint32_t n2) {
  if (!c->created) return -1;
  return PlatAudioBufferUnlock(c->buffer, p1, n1, p2, n2) == PLAT_DS_OK ? 0 : -1;
}

int DeviceSetPosition(SoundBufferCopy* c, uint32_t bytes) {
  if (!c->created) return -1;
  return PlatAudioBufferSetCurrentPosition(c->buffer, bytes) == PLAT_DS_OK ? 0 : -1;
}

int DeviceGetPosition(SoundBufferCopy* c, uint32_t* bytes) {
  if (!c->created) return -1;
  return PlatAudioBufferGetCurrentPosition(c->buffer, bytes, nullptr) == PLAT_DS_OK ? 0 : -1;
}

// ---- the software back end -------------------------------------------------------------

// Formats the mixer plays.
bool SoftwareFormatOk(const PlatWaveFormat* f) {
  return f && f->formatTag == PLAT_WAVE_FORMAT_PCM && (f->channels == 1 || f->channels == 2) &&
         (f->bitsPerSample == 8 || f->bitsPerSample == 16) && f->blockAlign == f->channels * f->bitsPerSample / 8 &&
         f->samplesPerSec >= PLAT_DSBFREQUENCY_MIN && f->samplesPerSec <= PLAT_DSBFREQUENCY_MAX;
}

// A created software copy: its memory (zeroed), settings, and a place in the list.
int SoftwareMake(SoundBufferCopy* c, const PlatWaveFormat* format, int32_t length) {
  SoftwareSoundBuffer& s = c->software;
  if (length <= 0) return -1;
  unsigned char* memory = static_cast<unsigned char*>(
      TrackedCalloc(size_t(length) * format->blockAlign, __FILE__, __LINE__));
  if (!memory) return -1;
  if (format->bitsPerSample == 8) std::memset(memory, 0x80, size_t(length) * format->blockAlign);
  s = SoftwareSoundBuffer{};
  s.memory = memory;
  s.mixLevel = 255;
  s.mixPan = -1;
  s.length = length;
  s.format = *format;
  s.format.extraSize = 0;
  s.nextSoftware = g_Sound.softwareCopies;
  if (s.nextSoftware) s.nextSoftware->software.prevSoftware = c;
  g_Sound.softwareCopies = c;
  c->created = 1;
  return 0;
}

int SoftwareCreate(SoundBufferCopy* c, const PlatAudioBufferDesc* desc) {
  if (c->created) return -1;
  if (!desc || !SoftwareFormatOk(desc->format)) return -1;
  return SoftwareMake(c, desc->format, int32_t(desc->bytes / desc->format->blockAlign));
}

int SoftwareDuplicate(SoundBufferCopy* source, SoundBufferCopy* c) {
  if (!source->created || c->created) return -1;
  return SoftwareMake(c, &source->software.format, source->software.length);
}

int SoftwareRelease(SoundBufferCopy* c) {
  if (!c->created) return -1;
  SoftwareSoundBuffer& s = c->software;
  if (s.prevSoftware) s.prevSoftware->software.nextSoftware = s.nextSoftware;
  else g_Sound.softwareCopies = s.nextSoftware;
  if (s.nextSoftware) s.nextSoftware->software.prevSoftware = s.prevSoftware;
  TrackedFree(s.memory);
  s = SoftwareSoundBuffer{};
  c->created = 0;
  return 0;
}

// Every software call first brings the mix up to now, as the device's calls do.
int SoftwarePlay(SoundBufferCopy* c, int32_t looping) {
  if (!c->created) return -1;
  StepSoftwareBuffers();
  c->software.playing = 1;
  c->software.looping = looping ? 1 : 0;
  return 0;
}

int SoftwareStop(SoundBufferCopy* c) {
  if (!c->created) return -1;
  StepSoftwareBuffers();
  c->software.playing = 0;
  return 0;
}

int SoftwareStatus(SoundBufferCopy* c, uint32_t* status) {
  if (!c->created) return -1;
  StepSoftwareBuffers();
  *status = c->software.playing ? PLAT_DSBSTATUS_PLAYING : 0u;
  return 0;
}

// The range, and where it runs past the end its rest from the start. A range longer than
// the memory is refused: its second part would run past the memory too.
int SoftwareLock(SoundBufferCopy* c, uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
                 uint32_t* n2) {
  if (!c->created) return -1;
  const SoftwareSoundBuffer& s = c->software;
  const uint32_t size = uint32_t(s.length) * s.format.blockAlign;
  if (bytes > size || offset >= size) return -1;
  const uint32_t first = std::min(bytes, size - offset);
  *p1 = s.memory + offset;
  *n1 = first;
  *p2 = first < bytes ? s.memory : nullptr;
  *n2 = bytes - first;
  return 0;
}

int SoftwareUnlock(SoundBufferCopy* c, void*, uint32_t, void*, uint32_t) { return c->created ? 0 : -1; }

int SoftwareSetPosition(SoundBufferCopy* c, uint32_t bytes) {
  if (!c->created) return -1;
  StepSoftwareBuffers();
  c->software.position = int32_t(bytes / c->software.format.blockAlign);
  c->software.fraction = 0;
  return 0;
}

int SoftwareGetPosition(SoundBufferCopy* c, uint32_t* bytes) {
  if (!c->created) return -1;
  StepSoftwareBuffers();
  *bytes = uint32_t(c->software.position) * c->software.format.blockAlign;
  return 0;
}

// Frames of the software mix stepped at once while nothing is recorded.
constexpr uint32_t kRecordChunk = 4096;
int32_t g_mixSums[kRecordChunk * 2];
int16_t g_mixFrames[kRecordChunk * 2];

void StepCopies(int32_t* sums, uint32_t frames) {
  for (SoundBufferCopy* c = g_Sound.softwareCopies; c; c = c->software.nextSoftware) {
    SoftwareSoundBuffer& s = c->software;
    if (!s.playing) continue;
    PlatAudioVoice v{s.memory,
                     uint32_t(s.length),
                     s.format.channels,
                     s.format.bitsPerSample,
                     s.format.samplesPerSec,
                     (uint64_t(uint32_t(s.position)) << 32) | s.fraction,
                     s.playing,
                     s.looping};
    PlatAudioMixVoice(&v, sums, frames);
    s.playing = v.playing;
    s.position = int32_t(v.position >> 32);
    s.fraction = uint32_t(v.position);
  }
}

}  // namespace

const SoundBufferOps g_DeviceSoundBufferOps = {
    .name = "device",
    .create = DeviceCreate,
    .duplicate = DeviceDuplicate,
    .release = DeviceRelease,
    .play = DevicePlay,
    .stop = DeviceStop,
    .status = DeviceStatus,
    .lock = DeviceLock,
    .unlock = DeviceUnlock,
    .setPosition = DeviceSetPosition,
    .getPosition = DeviceGetPosition,
};

const SoundBufferOps g_SoftwareSoundBufferOps = {
    .name = "software",
    .create = SoftwareCreate,
    .duplicate = SoftwareDuplicate,
    .release = SoftwareRelease,
    .play = SoftwarePlay,
    .stop = SoftwareStop,
    .status = SoftwareStatus,
    .lock = SoftwareLock,
    .unlock = SoftwareUnlock,
    .setPosition = SoftwareSetPosition,
    .getPosition = SoftwareGetPosition,
};

const SoundBufferOps* GetSoundBufferOps() {
  return g_Sound.softwareBufferMode ? &g_SoftwareSoundBufferOps : &g_DeviceSoundBufferOps;
}

int32_t CreateSoundBufferCopies(const PlatWaveFormat* format, uint32_t bytes, int32_t kind, int32_t count,
                                SoundBufferCopy* copies) {
  std::memset(static_cast<void*>(copies), 0, sizeof(SoundBufferCopy) * SOUND_MAX_COPIES);
  const SoundBufferOps* ops = GetSoundBufferOps();
  if (kind == SOUND_KIND_STREAM) {
    const PlatAudioBufferDesc desc{SOUND_BUFFER_FLAGS_STREAM, 6 * format->avgBytesPerSec, format};
    if (ops->create(&copies[0], &desc) != 0) FatalEngineExit("ストリーム風サウンドバッファの作成に失敗しました");
    return 1;
  }
  if (count <= 0) return 0;
  count = std::min<int32_t>(count, SOUND_MAX_COPIES);
  PlatAudioBufferDesc desc{SOUND_BUFFER_FLAGS_NORMAL, bytes, format};
  if (ops->create(&copies[0], &desc) != 0) {
    desc.flags = SOUND_BUFFER_FLAGS_PLAIN;
    if (ops->create(&copies[0], &desc) != 0) FatalEngineExit("DirectSoundBuffer の作成に失敗しました");
  }
  int32_t made = 1;
  while (made < count && ops->duplicate(&copies[0], &copies[made]) == 0) made++;
  return made;
}

void RestartSoftwareClock() {
  g_Sound.softwareClockStart = PlatPerfCounter();
  g_Sound.softwareFrames = 0;
}

void StepSoftwareBuffers() {
  SoundSystemState& s = g_Sound;
  if (!s.softwareBufferMode) return;
  const uint64_t target = PlatAudioFramesSince(s.softwareClockStart);
  while (s.softwareFrames < target) {
    const uint64_t left = target - s.softwareFrames;
    if (!s.recording) {
      const uint32_t n = uint32_t(std::min<uint64_t>(left, 0x40000000u));
      StepCopies(nullptr, n);
      s.softwareFrames += n;
      continue;
    }
    const uint32_t n = uint32_t(std::min<uint64_t>(left, kRecordChunk));
    std::fill_n(g_mixSums, size_t(n) * 2, 0);
    StepCopies(g_mixSums, n);
    PlatAudioClipMix(g_mixSums, g_mixFrames, n);
    const int64_t bytes = int64_t(n) * PLAT_AUDIO_MIX_FRAME_BYTES;
    if (PlatFileWrite(s.recordFile, g_mixFrames, bytes) == bytes) s.recordedFrames += n;
    s.softwareFrames += n;
  }
}
