// Sound handles: one record per sound, normal (PCM held whole, played from one of up to
// ten buffer copies in turn) or stream (decoded a little at a time into a ring of six
// seconds that the message pump tops up). Both kinds share the record and the table.
//
// Every operation returns -1 while the sound system is not started or for an invalid
// handle, without a log line. The operations take the engine lock: the game's clock
// thread pumps too, and its refill must not run while the main thread loads, plays or
// deletes a sound.
#pragma once

#include "engine/base/handle.h"
#include "engine/base/list.h"
#include "engine/file/file.h"
#include "engine/sound/converter.h"
#include "engine/sound/soundbuffer.h"
#include "platform/audio/waveformat.h"

#include <cstdint>

enum { SOUND_TABLE_SIZE = 4096 };

// Play types: wait until the sound ends, return at once, loop until stopped. Any value
// other than 3 plays once, any value other than 0 returns at once.
enum { SOUND_PLAY_WAIT = 0, SOUND_PLAY_BACKGROUND = 1, SOUND_PLAY_LOOP = 3 };

// How a stream source keeps its data: decoded whole into a RIFF WAVE image in memory (0),
// the file image kept in memory and decoded while playing (2), or decoded while playing
// straight from the caller's stream (3; from memory 3 is taken as 2).
enum { STREAM_DATA_WHOLE = 0, STREAM_DATA_MEMORY = 2, STREAM_DATA_STREAM = 3 };
enum { STREAM_MAX_SOURCES = 3, STREAM_REPEAT_FOREVER = 255 };
// The write cursor of a stream sound that has not been primed.
enum { STREAM_NOT_PRIMED = -800 };

struct StreamSource {
  uint8_t repeatCount;  // 0..254: plays count + 1 times; 255: loops from loopStart
  int32_t dataType;     // STREAM_DATA_*
  unsigned char* memory;  // tracked, owned; null for type 3
  int32_t memorySize;
  StreamFunctions stream;
  StreamHandle streamHandle;
  MemStream* memStream;  // over memory, when there is one
  int32_t loopStart;     // in samples; nothing sets it
  SoundConverter converter;
};

struct SoundRecord {
  uint32_t serial;  // the handle's check value
  SoundBufferCopy copies[SOUND_MAX_COPIES];
  PlatWaveFormat format;
  int32_t kind;  // SOUND_KIND_*
  int32_t streamPlayType;
  // ---- stream state ----
  int32_t bufferOwner;  // handle of the sound whose ring this one plays in, -1 = its own
  int32_t sharerCount;  // sounds playing in this one's ring
  int32_t currentUser;  // handle now playing in this ring, -1 = none
  int32_t deletePending;
  uint32_t ringBytes;     // 6 seconds
  int32_t writeCursor;    // where the next data goes; STREAM_NOT_PRIMED before priming
  int32_t windowStart;    // write cursor - 4 s, wrapped
  StreamSource sources[STREAM_MAX_SOURCES + 1];
  uint8_t sourceOpenedByAdder[STREAM_MAX_SOURCES + 1];
  int32_t sourceCount;
  int32_t currentSource;
  int32_t repeatCounter;
  int32_t bytesDecoded;  // from the current source
  int32_t totalSamples;
  uint32_t bytesPlayed;
  uint32_t lastPlayCursor;
  uint8_t playFlag;       // 1 once primed
  uint8_t endPhase;       // 1 while silence follows the last data
  uint8_t switchPending;  // 1 while a return to a source's start lies ahead of the cursor
  uint8_t finished;       // 1 once the last source has ended
  uint32_t playedBase;    // bytes played at the switch offset
  uint32_t endOffset;     // ring offset where the data ended
  uint32_t endPlayCursor;  // the play cursor when the end was written (+ ring when unwrapped)
  uint32_t switchOffset;
  ListNode node;  // on the list of stream sounds
  // ---- normal sounds ----
  int32_t pcmBytes;
  unsigned char* pcm;  // tracked, owned
  int32_t copyFilled[SOUND_MAX_COPIES];  // 1: not filled at load (never set here)
  int32_t copyCount;
  int32_t currentCopy;
};

// The record of a valid sound handle, or null (also while the system is not started).
SoundRecord* GetSoundRecord(int32_t sound);
// Handles in use and the high-water level of the table.
int32_t GetSoundCount();
int32_t GetSoundHighWater();

// A new zeroed record: -1 takes the next slot; a handle whose slot is free takes that
// slot with its check value (and -1 when the slot is taken).
int32_t AddSoundData(int32_t sound);
// Loads a sound file (copies capped at 10) or a file image in memory (more than 10
// copies refused). With a non-zero SoundDataType the sound is a primed stream sound.
// The handle, or -1.
int32_t LoadSoundFromMemory(const void* image, int32_t size, int32_t copies, int32_t share);
// Makes the copies of a normal sound (kind 0) or the ring of a stream sound (kind 1) of
// the sound's record; 0.
int CreateSoundBuffers(const PlatWaveFormat* format, uint32_t bytes, int32_t kind, int32_t copies,
                       int32_t sound);
int IsSoundPlaying(int32_t sound);
int32_t GetSoundLengthSamples(int32_t sound);
int32_t GetSoundLengthMs(int32_t sound);
int32_t GetSoundPositionMs(int32_t sound);
// Frees the record (a stream sound whose ring others still play in stays until they
// are deleted). The word is not used.
int DeleteSoundHandle(int32_t sound, int32_t word = 0);

// ---- stream sounds ----

// Adds a source to a sound: the stream row and handle, its repeat count, the data type
// and a stream sound whose ring to share (-1: a ring of its own). `copied` is set to 1
// when the source keeps its own copy of the data (the caller may close its stream).
int AddSreamSound(const StreamFunctions* stream, StreamHandle handle, int32_t repeatCount, int32_t sound,
                  int32_t dataType, int32_t* copied, int32_t share);
int AddStreamSourceFile(const char* fileName, int32_t repeatCount, int32_t sound, int32_t dataType,
                        int32_t share);
int AddStreamSourceMem(const void* image, int32_t size, int32_t repeatCount, int32_t sound, int32_t dataType,
                       int32_t share);
// Writes the first four seconds into the ring (nothing when it is primed or plays).
int PrimeStreamSoundHandle(int32_t sound);
int PlayStreamSoundHandle(int32_t sound, int32_t playType, int32_t fromTop);
int StopStreamSoundHandle(int32_t sound);
int IsStreamSoundPlaying(int32_t sound);
int32_t GetStreamPositionMs(int32_t sound);
// Tops one stream sound's ring up; 0, or -1 when its play cursor lies outside the last
// four seconds written (nothing is written then).
int RefillStreamSound(int32_t sound);
