#include "engine/sound/services.h"

constexpr SoundServices kSoundServices = {
    .refillAllStreamSounds = RefillAllStreamSounds,
    .updateMusicPlayStates = UpdateMusicPlayStates,
    .onMciNotify = OnMciNotify,
    .initSoundSystem = InitSoundSystem,
    .endSoundSystem = EndSoundSystem,
    .loadSoundFileCore = LoadSoundFileCore,
    .playSoundHandleCore = PlaySoundHandleCore,
    .stopSoundHandleCore = StopSoundHandleCore,
    .playMusicFileCore = PlayMusicFileCore,
    .stopMusicFileCore = StopMusicFileCore,
    .isMusicFilePlayingCore = IsMusicFilePlayingCore,
};

SoundServices g_SoundServices = kSoundServices;
