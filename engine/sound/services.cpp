// Least bodies of the music services whose subsystem has not landed yet: no music plays.
// The sound system's start and end are in soundsystem.cpp, the sound handles in
// soundhandle.cpp and the stream sounds in streamsound.cpp.
#include "engine/sound/services.h"

int UpdateMusicPlayStates() { return 0; }
int OnMciNotify() { return 0; }

int DeleteAllMusic() { return 0; }
void RemoveMusicTempFile() {}

int PlayMusicFileCore(const char*, int32_t) { return -1; }
int StopMusicFileCore() { return 0; }
int IsMusicFilePlayingCore() { return 0; }
