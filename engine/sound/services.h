// What the engine start and end, the window procedure, the message pump and the public
// entry points ask of sound and music.
#pragma once

#include "engine/base/servicetable.h"

#include <cstdint>

// The functions of the table below.
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/sound/servicelist.h"
#undef KR_SERVICE

// Deletes every sound handle; 0. The word is passed on to each deletion.
int DeleteAllSounds(int32_t word);
// Deletes every music handle; 0.
int DeleteAllMusic();
// Removes the temporary MIDI file of the sequencer, if there is one.
void RemoveMusicTempFile();

// The listed functions as the rest of the engine reaches them: through this table, so
// that a test can watch a call or script its result. It holds the functions of the list
// unless a test changed it; sound itself calls its functions directly.
struct SoundServices {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/sound/servicelist.h"
#undef KR_SERVICE
};
extern SoundServices g_SoundServices;
// The table as it starts: the functions of the list.
extern const SoundServices kSoundServices;
