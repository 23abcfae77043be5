// The sound system's module state and settings: the device and its two buffers of our
// own, the music mode, the sound data type, the software-buffer mode and the WAV
// recording of that mode. Start and end are InitSoundSystem and EndSoundSystem
// (services.h).
#pragma once

#include "engine/sound/soundbuffer.h"
#include "platform/audio/audio.h"
#include "platform/audio/midi.h"

#include <cstdint>

struct PlatFile;

enum { MUSIC_MODE_SEQUENCER = 0, MUSIC_MODE_PERFORMANCE = 1 };

struct SoundSystemState {
  int32_t started;  // every sound and music operation needs it
  PlatAudioDevice* device;
  PlatAudioBuffer* primary;  // sequencer mode only
  PlatAudioBuffer* silent;   // looping, keeps the output running; null when it failed
  int32_t musicMode;         // MUSIC_MODE_*
  // The performance mode's music objects.
  PlatDmLoader* loader;
  PlatDmPerformance* performance;
  int32_t soundDataType;     // 0: sounds are decoded whole; else stream sounds of that type
  int32_t vorbisBytesPerSample;
  int32_t softwareBufferMode;
  // Software copies: the list the refill steps, and its clock (the counter's reading at
  // the start and the frames stepped since).
  SoundBufferCopy* softwareCopies;
  int64_t softwareClockStart;
  uint64_t softwareFrames;
  // The WAV recording of the software mix.
  int32_t recording;
  uint32_t recordedFrames;
  PlatFile* recordFile;
};

extern SoundSystemState g_Sound;

// Every sound and music operation returns -1 while this is 0.
int IsSoundSystemStarted();

// Writes one device of the listing to the log; 1 (go on).
int LogSoundDevice(const PlatAudioGuid* output, const char* description, const char* module, void* context);
// Completes the recording's header and closes it; 0, or -1 when none is open.
int CloseWavRecording();

// Settings nothing in the system changes; engine code and tests reach them here.
int SetMusicMode(int32_t mode);
int GetMusicMode();
int SetSoundDataType(int32_t type);
int GetSoundDataType();
// Software buffers: set before any sound is made (the copies of one mode are not the
// other's). Turning it on starts the software clock.
int SetSoftwareBufferMode(int32_t on);
int GetSoftwareBufferMode();
// Opens (replaces) a WAV recording of the software mix at `path`: 44100 Hz 16-bit
// stereo frames from offset 46, the header written by CloseWavRecording. 0, or -1 when
// one is open or the file cannot be made.
int StartWavRecording(const char* path);
// 44100 Hz 16-bit stereo frames written to the recording.
uint32_t GetWavRecordingFrames();
