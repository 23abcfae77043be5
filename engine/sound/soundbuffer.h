// The playable buffer copies of a sound and their two back ends: buffers of the sound
// device, or software buffers that keep their PCM in memory and are stepped (and, while
// a WAV recording is open, mixed into it) by the pump's refill. SoftwareBufferMode
// chooses the back end; the sounds of one mode are released before it changes.
#pragma once

#include "platform/audio/audio.h"
#include "platform/audio/waveformat.h"

#include <cstdint>

struct SoundBufferCopy;

// The software back end of one copy.
struct SoftwareSoundBuffer {
  unsigned char* memory;  // tracked; length x block align bytes
  int32_t playing;
  int32_t position;   // in samples
  int32_t looping;
  uint32_t fraction;  // the step's part of a sample not yet played (0 at creation)
  // Two settings for a mixer with level and pan, 255 and -1 at creation; this mixer has
  // neither and keeps them only.
  int32_t mixLevel;
  int32_t mixPan;
  int32_t length;  // in samples
  PlatWaveFormat format;
  // The list of created software copies that the refill steps.
  SoundBufferCopy* nextSoftware;
  SoundBufferCopy* prevSoftware;
};

struct SoundBufferCopy {
  int32_t created;  // 1 while the buffer exists
  PlatAudioBuffer* buffer;  // the device back end's
  SoftwareSoundBuffer software;
};

// The operations on one copy. Each returns -1 when the copy is not created (create: when
// it already is) or the device refuses, else 0.
struct SoundBufferOps {
  const char* name;
  int (*create)(SoundBufferCopy* copy, const PlatAudioBufferDesc* desc);
  // A copy that plays the source's PCM (device), or a copy of its length and format
  // whose memory is its own and still to be filled (software).
  int (*duplicate)(SoundBufferCopy* source, SoundBufferCopy* copy);
  int (*release)(SoundBufferCopy* copy);
  int (*play)(SoundBufferCopy* copy, int32_t looping);
  int (*stop)(SoundBufferCopy* copy);
  // Bit 0 (PLAT_DSBSTATUS_PLAYING) while it plays.
  int (*status)(SoundBufferCopy* copy, uint32_t* status);
  // Two parts for offset and bytes; a range longer than the buffer is refused.
  int (*lock)(SoundBufferCopy* copy, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
              void** part2, uint32_t* bytes2);
  int (*unlock)(SoundBufferCopy* copy, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);
  // The play cursor in bytes.
  int (*setPosition)(SoundBufferCopy* copy, uint32_t bytes);
  int (*getPosition)(SoundBufferCopy* copy, uint32_t* bytes);
};

extern const SoundBufferOps g_DeviceSoundBufferOps;
extern const SoundBufferOps g_SoftwareSoundBufferOps;
// The back end SoftwareBufferMode chooses.
const SoundBufferOps* GetSoundBufferOps();

// Creation flags of the copies: a normal sound (and again without frequency control when
// that fails), a stream sound's ring.
enum : uint32_t {
  SOUND_BUFFER_FLAGS_NORMAL = 0x80E2,
  SOUND_BUFFER_FLAGS_PLAIN = 0xC2,
  SOUND_BUFFER_FLAGS_STREAM = 0x180E2,
};
enum { SOUND_KIND_NORMAL = 0, SOUND_KIND_STREAM = 1, SOUND_MAX_COPIES = 10 };

// Makes a sound's copies in copies[0..9] (cleared first): kind 0 `count` copies of `bytes`
// (copy 0 made, the others duplicates of it; the first duplicate that fails ends the
// loop), kind 1 one ring of 6 seconds of the format. The number of copies made (0 when
// count is 0 or less). When copy 0 cannot be made the engine ends with a message.
int32_t CreateSoundBufferCopies(const PlatWaveFormat* format, uint32_t bytes, int32_t kind, int32_t count,
                                SoundBufferCopy* copies);

// Software copies: steps every playing one by the frames that have passed on the platform
// clock since the last step, mixing them into the WAV recording while one is open. The
// start of the count is set by SetSoftwareBufferMode and InitSoundSystem.
void StepSoftwareBuffers();
void RestartSoftwareClock();
