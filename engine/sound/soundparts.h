// What the sound handles and the stream sounds share inside the subsystem.
#pragma once

#include "engine/base/lock.h"
#include "engine/sound/soundhandle.h"

// Holds the engine lock for the scope of a sound operation.
struct SoundLockHold {
  SoundLockHold() { LockEngine(); }
  ~SoundLockHold() { UnlockEngine(); }
  SoundLockHold(const SoundLockHold&) = delete;
  SoundLockHold& operator=(const SoundLockHold&) = delete;
};

// Puts a stream sound on the list of stream sounds (in order of creation).
void AddToStreamList(SoundRecord* record, int32_t sound);
// The stream part of a deletion: 1 when the record must stay (others still play in its
// ring; it is then flagged delete pending), else 0 with everything of it released but
// the record.
int ReleaseStreamSound(int32_t sound, SoundRecord* record);
// Reads a whole stream from position 0 into a new tracked block; 0, or -1 with the
// message given logged when memory fails.
int ReadWholeStream(const StreamFunctions* stream, StreamHandle handle, unsigned char** memory, int32_t* size,
                    const char* noMemoryMessage);
