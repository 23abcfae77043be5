// Music handles: a MIDI file image in memory per handle, played through the sequencer
// device from a temporary file (music mode 0) or as a segment of the performance (music
// mode 1); and music files, which play as MIDI or else as a stream sound.
//
// Every handle operation returns -1 while the sound system is not started or for an
// invalid handle, without a log line. The operations take the engine lock, as the sound
// handles do.
#pragma once

#include "engine/file/dirfind.h"
#include "engine/file/file.h"
#include "platform/audio/midi.h"

#include <cstdint>

enum { MUSIC_TABLE_SIZE = 256 };

struct MusicRecord {
  uint32_t serial;  // the handle's check value
  int32_t playing;  // 1 from a successful play until stopped or seen ended
  int32_t started;  // performance mode: 1 once the segment has been seen playing
  unsigned char* image;  // tracked, owned copy of the file image
  int32_t imageSize;
  PlatDmSegment* segment;  // performance mode only
};

// The sequencer device's state: one device at a time.
struct SequencerMusicState {
  uint32_t deviceId;
  int32_t playing;
  int32_t loop;        // 1 while the current play loops
  int32_t lastHandle;  // the music played last
  int32_t tempFileFlag;  // 1 while the temporary MIDI file of the current play exists
  char tempPath[FILE_PATH_MAX];
};
extern SequencerMusicState g_SequencerMusic;

// What PlayMusicFileCore started: a music handle, or a sound handle when the file was
// not MIDI (0: nothing).
struct CurrentMusicFile {
  int32_t handle;
  int32_t isSound;
};
extern CurrentMusicFile g_CurrentMusicFile;

MusicRecord* GetMusicRecord(int32_t music);
int32_t GetMusicCount();
int32_t GetMusicHighWater();

int32_t AddMusicData();
int32_t LoadMusicMem(const char* fileName);
int32_t LoadMusicFromMemory(const void* image, int32_t size);
// Play types as for sounds: 0 waits until the end, 1 returns at once, 3 loops.
int PlayMusicHandle(int32_t music, int32_t playType);
int StopMusicHandle(int32_t music);
int IsMusicHandlePlaying(int32_t music);
int DeleteMusicHandle(int32_t music);
