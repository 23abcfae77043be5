// Between the sound device's common part (audio.cpp: devices, buffers, the mixer) and its
// back ends (sdl/, headless/, manual/). Not for the engine.
#pragma once

#include "platform/audio/audio.h"

#include <cstdint>
#include <mutex>

// How a device's mixer moves on.
enum PlatAudioMovement {
  PLAT_AUDIO_MOVE_PULLED,   // the back end pulls the mix (SDL's callback, a test's pull)
  PLAT_AUDIO_MOVE_CLOCKED,  // caught up with the platform clock at every call
};

struct PlatAudioBackend {
  const char* name;
  PlatAudioMovement movement;
  // Opens the device's output; 0, or -1 (the device then runs on the headless back end).
  // `why` receives a reason on failure (UTF-8).
  int (*open)(PlatAudioDevice* device, const char** why);
  // Closes it; PlatAudioMix is not running for the device once this returns.
  void (*close)(PlatAudioDevice* device);
  // Lists the outputs (UTF-8 module and description); the count.
  int (*list)(void (*each)(const char* module, const char* description, void* context),
              void* context);
};

const PlatAudioBackend* PlatAudioSdlBackend();
const PlatAudioBackend* PlatAudioHeadlessBackend();
const PlatAudioBackend* PlatAudioManualBackend();

// The back end's private word for the device (the SDL device id).
uintptr_t& PlatAudioBackendData(PlatAudioDevice* device);

// Mixes the device's next `frames` frames into out (interleaved 16-bit stereo). Any
// thread; takes the mixer's mutex.
void PlatAudioMix(PlatAudioDevice* device, int16_t* out, uint32_t frames);

// ---- sources: music rendered into the mix ------------------------------------------------

// A source the mixer calls for each stretch it mixes, under the mutex, after the buffers:
// it adds its frames into the stereo sums, or only steps its time when sums is null (the
// clocked back end catching up).
struct PlatAudioSource {
  void (*mix)(PlatAudioSource* source, int32_t* sums, uint32_t frames);
  PlatAudioDevice* device;  // attached to, or null
  void* context;            // the owner's
};

// The mutex of every device's buffers, sources and play state.
std::mutex& PlatAudioMutex();
// Under the mutex: brings a clocked device's mixer up to the clock's now (others: nothing).
void PlatAudioCatchUpLocked(PlatAudioDevice* device);
// Under the mutex: the newest initialised device, or null.
PlatAudioDevice* PlatAudioNewestDeviceLocked();
// Under the mutex: attaches (after catching the device up, so the source starts now) and
// detaches. Releasing a device detaches its sources.
void PlatAudioAttachSourceLocked(PlatAudioDevice* device, PlatAudioSource* source);
void PlatAudioDetachSourceLocked(PlatAudioSource* source);
