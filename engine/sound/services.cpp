// Least bodies of the sound and music services whose subsystems have not landed yet:
// nothing plays and no sound can be loaded. The sound system's start and end are in
// soundsystem.cpp.
#include "engine/sound/services.h"

#include "engine/sound/soundbuffer.h"
#include "engine/sound/soundsystem.h"
#include "platform/audio/audio.h"

// Stream sounds come with the sound handles; the pump's pass already keeps the device's
// clock and the software copies moving.
int RefillAllStreamSounds() {
  if (!IsSoundSystemStarted()) return -1;
  PlatAudioService();
  StepSoftwareBuffers();
  return 0;
}

int UpdateMusicPlayStates() { return 0; }
int OnMciNotify() { return 0; }

int DeleteAllSounds(int32_t) { return 0; }
int DeleteAllMusic() { return 0; }
void RemoveMusicTempFile() {}

int LoadSoundFileCore(const char*, int32_t, int32_t) { return -1; }
int PlaySoundHandleCore(int32_t, int32_t, int32_t) { return -1; }
int StopSoundHandleCore(int32_t) { return -1; }
int PlayMusicFileCore(const char*, int32_t) { return -1; }
int StopMusicFileCore() { return 0; }
int IsMusicFilePlayingCore() { return 0; }
