// The sound services: the functions of sound and music that the rest of the engine
// reaches through g_SoundServices, one entry each (see engine/base/servicetable.h).
// No include guard: read once for each thing made from it.

// Refills every playing stream sound from its source (every pump call).
KR_SERVICE(int, RefillAllStreamSounds, refillAllStreamSounds, ())
// Updates the play state of every music handle (every pump call).
KR_SERVICE(int, UpdateMusicPlayStates, updateMusicPlayStates, ())
// The MIDI sequencer's notification (window message 953): a looping play starts again,
// any other play is closed.
KR_SERVICE(int, OnMciNotify, onMciNotify, ())

// Starts the sound device (and in the performance music mode the music objects); 0, or
// -1 when already started or the device cannot be had (the engine start goes on either
// way, and without a device that opens the engine runs silent on the clock).
KR_SERVICE(int, InitSoundSystem, initSoundSystem, ())
// Deletes every sound and music and ends the device; 0, or -1 when not started.
KR_SERVICE(int, EndSoundSystem, endSoundSystem, ())

// Cores of the public entry points.
KR_SERVICE(int, LoadSoundFileCore, loadSoundFileCore,
           (const char* fileName, int32_t copies, int32_t stream))
KR_SERVICE(int, PlaySoundHandleCore, playSoundHandleCore,
           (int32_t sound, int32_t playType, int32_t fromTop))
KR_SERVICE(int, StopSoundHandleCore, stopSoundHandleCore, (int32_t sound))
KR_SERVICE(int, PlayMusicFileCore, playMusicFileCore, (const char* fileName, int32_t playType))
KR_SERVICE(int, StopMusicFileCore, stopMusicFileCore, ())
KR_SERVICE(int, IsMusicFilePlayingCore, isMusicFilePlayingCore, ())
