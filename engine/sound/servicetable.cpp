#include "engine/sound/services.h"

constexpr SoundServices kSoundServices = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/sound/servicelist.h"
#undef KR_SERVICE
};

SoundServices g_SoundServices = kSoundServices;
