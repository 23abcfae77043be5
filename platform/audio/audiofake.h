// What tests see of the sound device and can make fail: each step is counted, and any
// step can be made to fail from its n-th use on (with PLAT_DSERR_GENERIC, or for the
// listing with its own failure).
#pragma once

#include <cstdint>

enum PlatAudioCall {
  PLAT_AUDIO_CALL_CREATE,
  PLAT_AUDIO_CALL_INITIALIZE,
  PLAT_AUDIO_CALL_COOPERATIVE_LEVEL,
  PLAT_AUDIO_CALL_CREATE_PRIMARY,
  PLAT_AUDIO_CALL_SET_FORMAT,
  PLAT_AUDIO_CALL_CREATE_BUFFER,
  PLAT_AUDIO_CALL_DUPLICATE,
  PLAT_AUDIO_CALL_LOCK,
  PLAT_AUDIO_CALL_UNLOCK,
  PLAT_AUDIO_CALL_PLAY,
  PLAT_AUDIO_CALL_LIST_LOAD,    // the listing's library does not load
  PLAT_AUDIO_CALL_LIST_LOOKUP,  // the listing function is not found in it
  PLAT_AUDIO_CALL_COUNT
};

// Clears the counts and every planned failure.
void PlatAudioFakeReset();
// The step fails on its n-th use from now (1 = the next one) and every use after; 0
// cancels the plan.
void PlatAudioFakeFailFrom(PlatAudioCall call, int n);
// Uses of a step since the last reset.
int PlatAudioFakeCount(PlatAudioCall call);
// Devices and buffers not yet released.
int PlatAudioLiveObjects();
