// What the engine start and end, the window procedure, the message pump and the public
// entry points ask of sound and music.
#pragma once

#include <cstdint>

// Refills every playing stream sound from its source (every pump call).
int RefillAllStreamSounds();
// Updates the play state of every music handle (every pump call).
int UpdateMusicPlayStates();
// The MIDI sequencer's notification (window message 953): a looping play starts again,
// any other play is closed.
int OnMciNotify();

// Starts the sound device (and in the performance music mode the music objects); 0, or
// -1 when already started or the device cannot be had (the engine start goes on either
// way, and without a device that opens the engine runs silent on the clock).
int InitSoundSystem();
// Deletes every sound and music and ends the device; 0, or -1 when not started.
int EndSoundSystem();
// Deletes every sound handle; 0. The word is passed on to each deletion.
int DeleteAllSounds(int32_t word);
// Deletes every music handle; 0.
int DeleteAllMusic();
// Removes the temporary MIDI file of the sequencer, if there is one.
void RemoveMusicTempFile();

// Cores of the public entry points.
int LoadSoundFileCore(const char* fileName, int32_t copies, int32_t stream);
int PlaySoundHandleCore(int32_t sound, int32_t playType, int32_t fromTop);
int StopSoundHandleCore(int32_t sound);
int PlayMusicFileCore(const char* fileName, int32_t playType);
int StopMusicFileCore();
int IsMusicFilePlayingCore();

// Everything above as the rest of the engine reaches it: through this table, so that a
// test can watch a call or script its result. It holds the functions above unless a test
// changed it; sound itself calls its functions directly.
struct SoundServices {
  int (*refillAllStreamSounds)();
  int (*updateMusicPlayStates)();
  int (*onMciNotify)();
  int (*initSoundSystem)();
  int (*endSoundSystem)();
  int (*loadSoundFileCore)(const char* fileName, int32_t copies, int32_t stream);
  int (*playSoundHandleCore)(int32_t sound, int32_t playType, int32_t fromTop);
  int (*stopSoundHandleCore)(int32_t sound);
  int (*playMusicFileCore)(const char* fileName, int32_t playType);
  int (*stopMusicFileCore)();
  int (*isMusicFilePlayingCore)();
};
extern SoundServices g_SoundServices;
// The table as it starts: the functions above.
extern const SoundServices kSoundServices;
