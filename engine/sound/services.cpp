// Stubs until sound and music land: nothing plays, no sound can be loaded.
#include "engine/sound/services.h"

#include "engine/base/log.h"

int RefillAllStreamSounds() { return 0; }
int UpdateMusicPlayStates() { return 0; }
int OnMciNotify() { return 0; }

int InitSoundSystem() { return 0; }

int EndSoundSystem() {
  WriteLog("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}

int LoadSoundFileCore(const char*, int32_t, int32_t) { return -1; }
int PlaySoundHandleCore(int32_t, int32_t, int32_t) { return -1; }
int StopSoundHandleCore(int32_t) { return -1; }
int PlayMusicFileCore(const char*, int32_t) { return -1; }
int StopMusicFileCore() { return 0; }
int IsMusicFilePlayingCore() { return 0; }
