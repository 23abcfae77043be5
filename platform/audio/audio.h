// The sound device: an output with its abilities, the cooperative level and the primary
// buffer's format (both only recorded), and secondary buffers of PCM that one mixer plays.
//
// The mixer makes 44100 Hz 16-bit signed stereo, with fixed arithmetic so that what it
// makes is the same on every machine:
//   - an 8-bit sample becomes (v - 128) << 8, and a mono buffer feeds both channels;
//   - a buffer at another rate is stepped in 32.32 fixed point, with linear interpolation
//     between neighbouring frames in integers: s0 + ((s1 - s0) * f16 >> 16);
//   - every source is summed in 32 bits and the sum clipped once to 16 bits;
//   - a one-shot buffer that reaches its end stops with its play cursor at 0, and a
//     looping one wraps without a gap.
// There is no volume, pan or frequency control; the creation flags asking for them are
// accepted.
//
// Where the mix goes is the back end's (chosen by KR_PLATFORM, or PlatAudioSelectBackend;
// a device keeps the one in use at its creation):
//   - "sdl": an SDL audio device at 44100 Hz, 16-bit stereo, 1024-frame periods; SDL's
//     callback thread mixes. When the device will not open, the device runs on the
//     "headless" output instead, and says so on the debugger output;
//   - "headless": no output and no thread. The mixer is brought up to the platform
//     clock's now at every call on the device (PlatAudioService does it between calls), so
//     on the manual clock it is deterministic;
//   - "manual": only PlatAudioManualPull moves the mixer.
//
// The mixer's thread (SDL's callback) reads buffers under one mutex. The bytes between a
// lock and its unlock belong to the caller: a caller that writes into a playing buffer
// keeps ahead of its play cursor.
//
// Results are 32-bit codes: PLAT_DS_OK or a negative failure code. Text handed out is
// Shift-JIS.
#pragma once

#include "platform/audio/waveformat.h"
#include "platform/window/window.h"

#include <cstdint>

// ---- results --------------------------------------------------------------------------

constexpr int32_t PLAT_DS_OK = 0;
constexpr int32_t PLAT_DSERR_GENERIC = int32_t(0x80004005u);
constexpr int32_t PLAT_DSERR_OUTOFMEMORY = int32_t(0x8007000Eu);
constexpr int32_t PLAT_DSERR_INVALIDPARAM = int32_t(0x80070057u);
constexpr int32_t PLAT_DSERR_UNINITIALIZED = int32_t(0x889000AAu);
constexpr int32_t PLAT_DSERR_ALREADYINITIALIZED = int32_t(0x88780082u);
constexpr int32_t PLAT_DSERR_INVALIDCALL = int32_t(0x88780032u);
constexpr int32_t PLAT_DSERR_NODRIVER = int32_t(0x88780078u);

// ---- numbers --------------------------------------------------------------------------

// The rate, sample size and channels the mixer makes.
enum : uint32_t { PLAT_AUDIO_MIX_RATE = 44100, PLAT_AUDIO_MIX_FRAME_BYTES = 4 };

// Ability flags (PlatAudioCaps.flags).
enum : uint32_t {
  PLAT_DSCAPS_PRIMARYMONO = 0x00000001,
  PLAT_DSCAPS_PRIMARYSTEREO = 0x00000002,
  PLAT_DSCAPS_PRIMARY8BIT = 0x00000004,
  PLAT_DSCAPS_PRIMARY16BIT = 0x00000008,
  PLAT_DSCAPS_CONTINUOUSRATE = 0x00000010,
  PLAT_DSCAPS_SECONDARYMONO = 0x00000100,
  PLAT_DSCAPS_SECONDARYSTEREO = 0x00000200,
  PLAT_DSCAPS_SECONDARY8BIT = 0x00000400,
  PLAT_DSCAPS_SECONDARY16BIT = 0x00000800,
};

// Cooperative levels.
enum : uint32_t { PLAT_DSSCL_NORMAL = 1, PLAT_DSSCL_PRIORITY = 2, PLAT_DSSCL_EXCLUSIVE = 3 };

// Buffer creation flags. Only PRIMARYBUFFER changes anything: the others are accepted.
enum : uint32_t {
  PLAT_DSBCAPS_PRIMARYBUFFER = 0x00000001,
  PLAT_DSBCAPS_STATIC = 0x00000002,
  PLAT_DSBCAPS_CTRLFREQUENCY = 0x00000020,
  PLAT_DSBCAPS_CTRLPAN = 0x00000040,
  PLAT_DSBCAPS_CTRLVOLUME = 0x00000080,
  PLAT_DSBCAPS_GLOBALFOCUS = 0x00008000,
  PLAT_DSBCAPS_GETCURRENTPOSITION2 = 0x00010000,
};

// Play flags and status bits.
constexpr uint32_t PLAT_DSBPLAY_LOOPING = 0x1;
constexpr uint32_t PLAT_DSBSTATUS_PLAYING = 0x1;
constexpr uint32_t PLAT_DSBSTATUS_LOOPING = 0x4;

// A secondary buffer's rates and size.
enum : uint32_t {
  PLAT_DSBFREQUENCY_MIN = 100,
  PLAT_DSBFREQUENCY_MAX = 200000,
  PLAT_DSBSIZE_MIN = 4,
  PLAT_DSBSIZE_MAX = 0x0FFFFFFF,
};

// ---- records --------------------------------------------------------------------------

struct PlatAudioCaps {
  uint32_t flags;  // PLAT_DSCAPS_*
  uint32_t minSecondaryRate, maxSecondaryRate;
  uint32_t totalHwMemBytes, freeHwMemBytes;  // the mixer keeps buffers in host memory: 0
};

struct PlatAudioBufferDesc {
  uint32_t flags;                // PLAT_DSBCAPS_*
  uint32_t bytes;                // 0 for the primary buffer
  const PlatWaveFormat* format;  // null for the primary buffer
};

// An output as the listing names it: null for the default output.
struct PlatAudioGuid {
  uint32_t id;
};

struct PlatAudioDevice;
struct PlatAudioBuffer;

// ---- back end -------------------------------------------------------------------------

// Chooses the back end ("sdl", "headless" or "manual") for the devices created from now
// on; 0, or -1 for an unknown name.
int PlatAudioSelectBackend(const char* name);
const char* PlatAudioBackendName();

// ---- the device -----------------------------------------------------------------------

// A device object; it does nothing until initialised.
int32_t PlatAudioCreate(PlatAudioDevice** out);
// Opens the output (null: the default one). A back end whose output will not open leaves
// the device on the "headless" output, and the call still succeeds.
int32_t PlatAudioInitialize(PlatAudioDevice* device, const PlatAudioGuid* output);
// Recorded; nothing depends on it.
int32_t PlatAudioSetCooperativeLevel(PlatAudioDevice* device, PlatWnd window, uint32_t level);
int32_t PlatAudioGetCaps(PlatAudioDevice* device, PlatAudioCaps* caps);
// The primary buffer (PLAT_DSBCAPS_PRIMARYBUFFER, one per device) or a secondary buffer
// of PCM (8 or 16 bits, 1 or 2 channels, PLAT_DSBFREQUENCY_MIN to _MAX, a block align of
// channels x bytes per sample, PLAT_DSBSIZE_MIN to _MAX bytes), filled with silence.
int32_t PlatAudioCreateBuffer(PlatAudioDevice* device, const PlatAudioBufferDesc* desc,
                              PlatAudioBuffer** out);
// A buffer that shares the source's PCM and has a play state of its own, stopped at 0.
int32_t PlatAudioDuplicateBuffer(PlatAudioDevice* device, PlatAudioBuffer* source,
                                 PlatAudioBuffer** out);
// Closes the output. Buffers still held stay valid to release, and play no more.
void PlatAudioRelease(PlatAudioDevice* device);
// The back end the device actually plays on: "sdl", "headless" (also for an sdl device
// whose output would not open) or "manual".
const char* PlatAudioDeviceOutputName(PlatAudioDevice* device);

// Lists the outputs: the back end's driver as module, the device's name as description.
// A listing that cannot start fails in one of two ways, as a program that first loads the
// library that lists and then looks up its listing function does.
enum : int32_t { PLAT_AUDIO_LIST_OK = 0, PLAT_AUDIO_LIST_NOLOAD = -1, PLAT_AUDIO_LIST_NOLOOKUP = -2 };
// The callback goes on (non-zero) or stops (0).
typedef int (*PlatAudioListCallback)(const PlatAudioGuid* output, const char* description,
                                     const char* module, void* context);
int32_t PlatAudioListOutputs(PlatAudioListCallback callback, void* context);

// Brings every clocked ("headless") device's mixer up to the platform clock's now. The
// engine calls it once per message pump, so that sounds end on time while it makes no
// other audio call.
void PlatAudioService();

// ---- buffers --------------------------------------------------------------------------

// The primary buffer's format (PCM, 1 or 2 channels, 8 or 16 bits); recorded.
int32_t PlatAudioBufferSetFormat(PlatAudioBuffer* buffer, const PlatWaveFormat* format);
// Two parts of the buffer from offset for bytes: the second part, from the buffer's start,
// holds what runs past its end (null and 0 when nothing does). A range longer than the
// buffer, or an offset outside it, is refused.
int32_t PlatAudioBufferLock(PlatAudioBuffer* buffer, uint32_t offset, uint32_t bytes,
                            void** part1, uint32_t* bytes1, void** part2, uint32_t* bytes2);
int32_t PlatAudioBufferUnlock(PlatAudioBuffer* buffer, void* part1, uint32_t bytes1,
                              void* part2, uint32_t bytes2);
// Plays from the play cursor (PLAT_DSBPLAY_LOOPING: wraps at the end, else stops there
// and goes back to 0). Playing a playing buffer changes only its looping.
int32_t PlatAudioBufferPlay(PlatAudioBuffer* buffer, uint32_t flags);
int32_t PlatAudioBufferStop(PlatAudioBuffer* buffer);
int32_t PlatAudioBufferGetStatus(PlatAudioBuffer* buffer, uint32_t* status);
// The play cursor in bytes (whole blocks); the write cursor is where writing is safe
// from, which for this mixer is the play cursor. Either may be null.
int32_t PlatAudioBufferGetCurrentPosition(PlatAudioBuffer* buffer, uint32_t* play,
                                          uint32_t* write);
// Moves the play cursor (rounded down to a whole block); past the end is refused.
int32_t PlatAudioBufferSetCurrentPosition(PlatAudioBuffer* buffer, uint32_t bytes);
void PlatAudioBufferRelease(PlatAudioBuffer* buffer);

// ---- the mixer's arithmetic, for mixers of PCM kept elsewhere --------------------------

// One source as the mixer steps it. position is in frames, 32.32 fixed point.
struct PlatAudioVoice {
  const unsigned char* pcm;
  uint32_t frames;  // whole frames of pcm
  uint16_t channels, bitsPerSample;
  uint32_t rate;
  uint64_t position;
  int playing, looping;
};
// Adds the next `frames` output frames of the voice into mix (interleaved stereo sums),
// or only steps it when mix is null; a one-shot voice that ends stops at position 0.
void PlatAudioMixVoice(PlatAudioVoice* voice, int32_t* mix, uint32_t frames);
// Clips stereo sums to 16 bits.
void PlatAudioClipMix(const int32_t* mix, int16_t* out, uint32_t frames);
// The mixer's frames in the time from a reading of PlatPerfCounter to now (0 before it).
uint64_t PlatAudioFramesSince(int64_t perfCounterStart);

// ---- for tests ------------------------------------------------------------------------

// Mixes exactly `frames` frames of the newest device on the "manual" back end into out
// (interleaved stereo); the frames made, or -1 when there is no such device.
int32_t PlatAudioManualPull(uint32_t frames, int16_t* out);
