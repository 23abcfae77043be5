// Stream sounds: up to three sources played one after another into a ring of six seconds,
// which the message pump tops up ahead of the play cursor; several stream sounds of one
// format may share a ring, one playing at a time.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/sound/services.h"
#include "engine/sound/soundhandle.h"
#include "engine/sound/soundparts.h"
#include "engine/sound/soundsystem.h"
#include "engine/state/hooks.h"
#include "platform/audio/audio.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

ListNode g_streamHead, g_streamTail;
bool g_streamListReady = false;

void ReadyStreamList() {
  if (g_streamListReady) return;
  ListInit(&g_streamHead, &g_streamTail);
  g_streamListReady = true;
}

// A log line with the name in it; the text carries its own line feed.
void LogWithName(const char* format, const char* name) {
  char text[FILE_PATH_MAX + 256];
  std::snprintf(text, sizeof text, format, name);
  WriteLog(text);
}

const SoundBufferOps* Ops() { return GetSoundBufferOps(); }

// The record whose ring the sound plays in (its own, or its owner's), or null.
SoundRecord* RingRecord(SoundRecord* r) {
  return r->bufferOwner == -1 ? r : GetSoundRecord(r->bufferOwner);
}

// The ring's current user, a deleted user counting as none.
int32_t RingUser(SoundRecord* ring) {
  const int32_t user = ring->currentUser;
  return user != -1 && GetSoundRecord(user) ? user : -1;
}

bool RingIsOurs(int32_t sound, SoundRecord* r) {
  SoundRecord* ring = RingRecord(r);
  return ring && ring->copies[0].created && RingUser(ring) == sound;
}

// Takes the ring for the sound: free or already its own, or (steal) taken from the sound
// using it, which is stopped and will prime afresh at its next play: the ring holds
// another sound's data from then on. A normal sound yields its copy 0.
int AcquireStreamBuffer(int32_t sound, SoundRecord* r, SoundBufferCopy** copy, int steal) {
  if (r->kind != SOUND_KIND_STREAM) {
    *copy = &r->copies[0];
    return 0;
  }
  SoundRecord* ring = RingRecord(r);
  if (!ring || !ring->copies[0].created) return -1;
  const int32_t user = RingUser(ring);
  if (user != -1 && user != sound) {
    if (!steal) return -1;
    StopStreamSoundHandle(user);
    GetSoundRecord(user)->playFlag = 0;
  }
  ring->currentUser = sound;
  *copy = &ring->copies[0];
  return 0;
}

uint32_t Distance(uint32_t from, uint32_t to, uint32_t ring) { return (to + ring - from) % ring; }

// Brings the bytes played up to the play cursor (or the cursor given).
void UpdateStreamPlayed(int32_t sound, SoundRecord* r, int64_t cursor = -1) {
  if (!r->playFlag || !RingIsOurs(sound, r) || r->ringBytes == 0) return;
  uint32_t p = 0;
  if (cursor >= 0) p = uint32_t(cursor);
  else if (Ops()->getPosition(&RingRecord(r)->copies[0], &p) != 0) return;
  if (p == r->lastPlayCursor) return;
  const uint32_t ring = r->ringBytes;
  if (r->switchPending && Distance(r->lastPlayCursor, r->switchOffset, ring) <= Distance(r->lastPlayCursor, p, ring)) {
    r->bytesPlayed = r->playedBase + Distance(r->switchOffset, p, ring);
    r->switchPending = 0;
  } else {
    r->bytesPlayed += Distance(r->lastPlayCursor, p, ring);
  }
  r->lastPlayCursor = p;
}

// The play cursor lies in the last four seconds written.
bool InWindow(const SoundRecord* r, uint32_t p) {
  const int64_t w = r->writeCursor, start = r->windowStart;
  if (w < start) return !(p > w && p < start);
  return !(p < start || p > w);
}

uint32_t WholeBlocks(uint64_t bytes, uint32_t blockAlign) {
  return blockAlign ? uint32_t(bytes / blockAlign * blockAlign) : 0;
}

// Silence of the format: the middle of the range for 8-bit data, else 0.
unsigned char SilenceByte(const SoundRecord* r) { return r->format.bitsPerSample == 8 ? 0x80 : 0; }

// The locked range of one refill, written from its start.
struct RingWrite {
  unsigned char* part1;
  uint32_t bytes1;
  unsigned char* part2;
  uint32_t bytes2;
  uint32_t written;
  uint32_t Total() const { return bytes1 + bytes2; }
  // Where the next bytes go and how many fit there without crossing into part 2.
  unsigned char* At(uint32_t* room) const {
    if (written < bytes1) {
      *room = bytes1 - written;
      return part1 + written;
    }
    *room = Total() - written;
    return part2 + (written - bytes1);
  }
  void FillRest(unsigned char value) {
    while (written < Total()) {
      uint32_t room = 0;
      unsigned char* at = At(&room);
      std::memset(at, value, room);
      written += room;
    }
  }
};

int32_t PassLength(const SoundRecord* r) {
  int32_t n = 0;
  for (int32_t i = 0; i < r->sourceCount; i++)
    n += r->sources[i].repeatCount == STREAM_REPEAT_FOREVER ? 1 : r->sources[i].repeatCount + 1;
  return n;
}

// The data has ended: silence to the end of the range, and the end phase starts.
void StartEndPhase(SoundRecord* r, RingWrite* w, uint32_t offset, uint32_t cursorUsed) {
  r->finished = 1;
  r->endPhase = 1;
  r->endOffset = (offset + w->written) % r->ringBytes;
  r->endPlayCursor = cursorUsed;
  w->FillRest(SilenceByte(r));
}

// A source gave no more bytes: the next repeat, the next source, the loop or the end.
void SourceEnded(SoundRecord* r, RingWrite* w, uint32_t offset, uint32_t cursorUsed) {
  const uint32_t reached = (offset + w->written) % r->ringBytes;
  const StreamSource& s = r->sources[r->currentSource];
  r->repeatCounter++;
  if (s.repeatCount < STREAM_REPEAT_FOREVER) {
    if (r->repeatCounter > s.repeatCount) {
      r->repeatCounter = 0;
      r->currentSource++;
      if (r->currentSource >= r->sourceCount) {
        r->finished = 1;
        if (r->streamPlayType != SOUND_PLAY_LOOP) {
          StartEndPhase(r, w, offset, cursorUsed);
          return;
        }
        r->currentSource = 0;
        r->switchPending = 1;
        r->playedBase = 0;
        r->switchOffset = reached;
      }
    }
    r->bytesDecoded = 0;
  } else {
    r->bytesDecoded = s.loopStart * r->format.blockAlign;
    r->playedBase = uint32_t(r->bytesDecoded);
    r->switchPending = 1;
    r->switchOffset = reached;
  }
  SeekConverter(&r->sources[r->currentSource].converter, r->bytesDecoded / r->format.blockAlign);
}

void ResetStreamPlay(SoundRecord* r) {
  r->finished = 0;
  r->bytesDecoded = 0;
  r->bytesPlayed = 0;
  r->switchPending = 0;
  r->repeatCounter = 0;
  r->currentSource = 0;
  r->playFlag = 0;
}

// Everything a source holds; the caller's stream of a type 3 source only when the adder
// opened it.
void CloseSource(StreamSource* s, bool closeCallerStream) {
  if (s->converter.open) CloseSoundConverter(&s->converter);
  if (closeCallerStream && s->dataType == STREAM_DATA_STREAM) s->stream.close(s->streamHandle);
  if (s->memStream) MemStreamClose(s->memStream);
  if (s->memory) TrackedFree(s->memory);
  std::memset(static_cast<void*>(s), 0, sizeof *s);
}

void PutLe32(unsigned char* at, uint32_t v) {
  for (int i = 0; i < 4; i++) at[i] = uint8_t(v >> (8 * i));
}

// Decodes the stream whole into a RIFF WAVE image of its PCM (type 0). 0 or -1 (logged).
int WholeWaveImage(const StreamFunctions* stream, StreamHandle handle, unsigned char** image, int32_t* size) {
  unsigned char* data = nullptr;
  int32_t dataSize = 0;
  if (ReadWholeStream(stream, handle, &data, &dataSize, "ストリームの読み込みに必要なメモリの確保に失敗しました") != 0) {
    WriteLog("音声データの読み込みに失敗しました");
    return -1;
  }
  MemStream* ms = MemStreamOpen(data, uint32_t(dataSize));
  SoundConverter c;
  PlatWaveFormat format{};
  void* pcm = nullptr;
  int64_t bytes = 0;
  const bool opened = ms && OpenSoundConverter(GetMemStreamFunctions(), StreamHandle(ms), &c) == 0;
  const bool converted = opened && ConvertWholeSound(&c, &format, &pcm, &bytes) == 0;
  if (opened) CloseSoundConverter(&c);
  if (ms) MemStreamClose(ms);
  TrackedFree(data);
  if (!converted || bytes > INT32_MAX - 46) {
    if (converted) TrackedFree(pcm);
    WriteLog("音声データの変換に失敗しました");
    return -1;
  }
  const uint32_t total = 46 + uint32_t(bytes);
  unsigned char* out = static_cast<unsigned char*>(TrackedAlloc(total, "", 0));
  if (!out) {
    TrackedFree(pcm);
    return -1;
  }
  std::memcpy(out, "RIFF", 4);
  PutLe32(out + 4, total - 8);
  std::memcpy(out + 8, "WAVEfmt ", 8);
  PutLe32(out + 16, 18);
  std::memcpy(out + 20, &format, 18);
  std::memcpy(out + 38, "data", 4);
  PutLe32(out + 42, uint32_t(bytes));
  std::memcpy(out + 46, pcm, size_t(bytes));
  TrackedFree(pcm);
  *image = out;
  *size = int32_t(total);
  return 0;
}

// Opens a source's converter over its memory image.
int OpenOverMemory(StreamSource* s) {
  s->memStream = MemStreamOpen(s->memory, uint32_t(s->memorySize));
  if (!s->memStream) return -1;
  s->stream = *GetMemStreamFunctions();
  s->streamHandle = StreamHandle(s->memStream);
  return OpenSoundConverter(&s->stream, s->streamHandle, &s->converter);
}

}  // namespace

int ReadWholeStream(const StreamFunctions* stream, StreamHandle handle, unsigned char** memory, int32_t* size,
                    const char* noMemoryMessage) {
  stream->seek(handle, 0, FILE_SEEK_END);
  const int64_t end = stream->tell(handle);
  stream->seek(handle, 0, FILE_SEEK_SET);
  unsigned char* data = end >= 0 && end < INT32_MAX
                            ? static_cast<unsigned char*>(TrackedAlloc(size_t(std::max<int64_t>(end, 1)), "", 0))
                            : nullptr;
  if (!data) {
    WriteLog(noMemoryMessage);
    return -1;
  }
  const int64_t got = end > 0 ? stream->read(data, 1, uint32_t(end), handle) : 0;
  *memory = data;
  *size = int32_t(std::clamp<int64_t>(got, 0, end));
  return 0;
}

void AddToStreamList(SoundRecord* r, int32_t sound) {
  ReadyStreamList();
  ListInsertAfter(g_streamTail.prev, &r->node, sound, uintptr_t(r));
}

int ReleaseStreamSound(int32_t sound, SoundRecord* r) {
  StopStreamSoundHandle(sound);
  int32_t pendingOwner = -1;
  if (r->bufferOwner != -1) {
    if (SoundRecord* owner = GetSoundRecord(r->bufferOwner)) {
      owner->sharerCount--;
      if (owner->currentUser == sound) owner->currentUser = -1;
      if (owner->deletePending) pendingOwner = r->bufferOwner;
    }
    r->bufferOwner = -1;
  }
  if (r->sharerCount > 0) {
    r->deletePending = 1;
    return 1;
  }
  ListUnlink(&r->node);
  for (int32_t i = 0; i < r->sourceCount; i++) CloseSource(&r->sources[i], r->sourceOpenedByAdder[i] == 1);
  r->sourceCount = 0;
  // A sharer never made a ring: only its own is released.
  if (r->copies[0].created) Ops()->release(&r->copies[0]);
  if (pendingOwner != -1) DeleteSoundHandle(pendingOwner);
  return 0;
}

int AddSreamSound(const StreamFunctions* stream, StreamHandle handle, int32_t repeatCount, int32_t sound,
                  int32_t dataType, int32_t* copied, int32_t share) {
  SoundLockHold hold;
  SoundRecord* r = GetSoundRecord(sound);
  if (!r || !stream) return -1;
  // A normal sound with PCM of its own has no room for sources either.
  if ((r->sourceCount > 0 || r->copyCount > 0 || r->pcm) && r->kind != SOUND_KIND_STREAM) {
    WriteLog("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
    return -1;
  }
  if (r->sourceCount > 0) {
    if (IsStreamSoundPlaying(sound) == 1) {
      WriteLog("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
      return -1;
    }
    if (r->sourceCount >= STREAM_MAX_SOURCES) {
      WriteLog("ストリーム風サウンドの制御データ領域がいっぱいです\n");
      return -1;
    }
  }
  StreamSource* s = &r->sources[r->sourceCount];
  std::memset(static_cast<void*>(s), 0, sizeof *s);
  s->dataType = dataType;
  stream->seek(handle, 0, FILE_SEEK_SET);
  int32_t keptCopy = 0;
  if (dataType == STREAM_DATA_WHOLE) {
    if (WholeWaveImage(stream, handle, &s->memory, &s->memorySize) != 0) return -1;
    if (OpenOverMemory(s) != 0) {
      CloseSource(s, false);
      WriteLog("音声データの変換に失敗しました");
      return -1;
    }
    keptCopy = 1;
  } else if (dataType == STREAM_DATA_MEMORY) {
    if (ReadWholeStream(stream, handle, &s->memory, &s->memorySize,
                        "ストリームの読み込みに必要なメモリの確保に失敗しました") != 0) {
      WriteLog("音声データの読み込みに失敗しました");
      return -1;
    }
    if (OpenOverMemory(s) != 0) {
      CloseSource(s, false);
      WriteLog("音声データのオープンに失敗しました");
      return -1;
    }
    keptCopy = 1;
  } else {
    s->stream = *stream;
    s->streamHandle = handle;
    if (dataType != STREAM_DATA_STREAM || OpenSoundConverter(stream, handle, &s->converter) != 0) {
      std::memset(static_cast<void*>(s), 0, sizeof *s);
      WriteLog("音声データのオープンに失敗しました");
      return -1;
    }
  }
  PlatWaveFormat format{};
  GetConverterFormat(&s->converter, &format);
  if (r->sourceCount > 0 && std::memcmp(&format, &r->format, sizeof format) != 0) {
    CloseSource(s, false);
    WriteLog("フォーマットの違う音声データは同時に使うことは出来ません");
    return -1;
  }
  if (r->sourceCount == 0) {
    r->format = format;
    SoundRecord* owner = share != -1 ? GetSoundRecord(share) : nullptr;
    if (owner && owner != r && owner->kind == SOUND_KIND_STREAM && owner->bufferOwner == -1 &&
        owner->copies[0].created && std::memcmp(&owner->format, &format, sizeof format) == 0) {
      r->kind = SOUND_KIND_STREAM;
      r->copyCount = 1;
      r->ringBytes = 6 * format.avgBytesPerSec;
      AddToStreamList(r, sound);
      r->bufferOwner = share;
      owner->sharerCount++;
    } else {
      CreateSoundBuffers(&format, 6 * format.avgBytesPerSec, SOUND_KIND_STREAM, 1, sound);
      r->bufferOwner = -1;
    }
    r->sharerCount = 0;
    r->currentUser = -1;
    r->deletePending = 0;
  }
  s->repeatCount = uint8_t(repeatCount);
  r->sourceCount++;
  int64_t total = 0;
  for (int32_t i = 0; i < r->sourceCount; i++)
    total += GetConvertedSize(&r->sources[i].converter) / std::max<int32_t>(r->format.blockAlign, 1);
  r->totalSamples = int32_t(std::min<int64_t>(total, INT32_MAX));
  if (copied) *copied = keptCopy;
  return 0;
}

int AddStreamSourceFile(const char* fileName, int32_t repeatCount, int32_t sound, int32_t dataType, int32_t share) {
  SoundLockHold hold;
  if (!GetSoundRecord(sound) || !fileName) return -1;
  const FileHandle file = FileOpen(fileName, 0, 1, 0);
  if (!file) {
    LogWithName("右記のＷＡＶファイルのロードに失敗しました：%s \n", fileName);
    return -1;
  }
  int32_t copied = 0;
  if (AddSreamSound(GetFileStreamFunctions(), StreamHandle(file), repeatCount, sound, dataType, &copied, share) != 0) {
    FileClose(file);
    LogWithName("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", fileName);
    return -1;
  }
  if (copied) FileClose(file);
  SoundRecord* r = GetSoundRecord(sound);
  r->sourceOpenedByAdder[r->sourceCount - 1] = 1;
  return 0;
}

int AddStreamSourceMem(const void* image, int32_t size, int32_t repeatCount, int32_t sound, int32_t dataType,
                       int32_t share) {
  SoundLockHold hold;
  if (!GetSoundRecord(sound) || !image || size < 0) return -1;
  MemStream* ms = MemStreamOpen(image, uint32_t(size));
  if (!ms) {
    WriteLog("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    return -1;
  }
  if (dataType == STREAM_DATA_STREAM) dataType = STREAM_DATA_MEMORY;
  int32_t copied = 0;
  if (AddSreamSound(GetMemStreamFunctions(), StreamHandle(ms), repeatCount, sound, dataType, &copied, share) != 0) {
    MemStreamClose(ms);
    WriteLog("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    return -1;
  }
  if (copied) MemStreamClose(ms);
  SoundRecord* r = GetSoundRecord(sound);
  r->sourceOpenedByAdder[r->sourceCount - 1] = 1;
  return 0;
}

int PrimeStreamSoundHandle(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = GetSoundRecord(sound);
  if (!r) return -1;
  if (r->kind != SOUND_KIND_STREAM || IsStreamSoundPlaying(sound) == 1) return 0;
  SoundBufferCopy* ring = nullptr;
  if (AcquireStreamBuffer(sound, r, &ring, 0) != 0 || r->playFlag) return 0;
  Ops()->setPosition(ring, 0);
  r->writeCursor = STREAM_NOT_PRIMED;
  r->windowStart = -1;
  r->lastPlayCursor = 0;
  r->endPhase = 0;
  if (r->currentSource < r->sourceCount)
    SeekConverter(&r->sources[r->currentSource].converter, r->bytesDecoded / r->format.blockAlign);
  r->playFlag = 1;
  RefillStreamSound(sound);
  return 0;
}

int PlayStreamSoundHandle(int32_t sound, int32_t playType, int32_t fromTop) {
  {
    SoundLockHold hold;
    SoundRecord* r = GetSoundRecord(sound);
    if (!r) return -1;
    SoundBufferCopy* ring = nullptr;
    if (AcquireStreamBuffer(sound, r, &ring, 1) != 0) return -1;
    uint32_t status = 0;
    if (fromTop == 0 && Ops()->status(ring, &status) == 0 && (status & PLAT_DSBSTATUS_PLAYING)) return 0;
    Ops()->stop(ring);
    bool reset = ((playType ^ r->streamPlayType) & 2) && r->finished;
    // A sound that ended has no source left to go on from: it starts again, as a normal
    // sound played again does.
    if (r->finished && r->currentSource >= r->sourceCount) reset = true;
    if (fromTop == 1) {
      r->finished = 0;
      if (r->bytesPlayed > 0) reset = true;
    }
    if (reset) ResetStreamPlay(r);
    r->streamPlayType = playType;
    PrimeStreamSoundHandle(sound);
    Ops()->play(ring, 1);
  }
  if (playType != SOUND_PLAY_WAIT) return 0;
  // Sleeping a millisecond per pass, as the normal sound's wait does: the clock moves and
  // the machine is not kept busy.
  if (g_SystemHooks.pumpMessages() != 0) return 0;
  while (IsStreamSoundPlaying(sound) == 1) {
    PlatSleep(1);
    if (g_SystemHooks.pumpMessages() != 0) break;
  }
  return 0;
}

int StopStreamSoundHandle(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = GetSoundRecord(sound);
  if (!r) return -1;
  UpdateStreamPlayed(sound, r);
  SoundBufferCopy* ring = nullptr;
  if (AcquireStreamBuffer(sound, r, &ring, 0) != 0) return 0;
  if (r->bufferOwner != -1) {
    if (SoundRecord* owner = GetSoundRecord(r->bufferOwner)) owner->currentUser = -1;
  }
  uint32_t status = 0;
  if (Ops()->status(ring, &status) == 0 && (status & PLAT_DSBSTATUS_PLAYING)) Ops()->stop(ring);
  return 0;
}

int IsStreamSoundPlaying(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = GetSoundRecord(sound);
  if (!r) return -1;
  SoundRecord* ring = r->kind == SOUND_KIND_STREAM ? RingRecord(r) : r;
  if (!ring || !ring->copies[0].created) return 0;
  const int32_t user = RingUser(ring);
  if (r->kind == SOUND_KIND_STREAM && user != -1 && user != sound) return 0;
  uint32_t status = 0;
  if (Ops()->status(&ring->copies[0], &status) != 0) return 0;
  return (status & PLAT_DSBSTATUS_PLAYING) ? 1 : 0;
}

// In 64 bits: bytes played x 1000 passes 32 bits after 24 s of 44.1 kHz stereo.
int32_t GetStreamPositionMs(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = GetSoundRecord(sound);
  if (!r) return -1;
  UpdateStreamPlayed(sound, r);
  if (r->format.avgBytesPerSec == 0) return 0;
  const int64_t ms = int64_t(r->bytesPlayed) * 1000 / r->format.avgBytesPerSec;
  return int32_t(std::min<int64_t>(ms, GetSoundLengthMs(sound)));
}

int RefillStreamSound(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = GetSoundRecord(sound);
  if (!r) return -1;
  if (r->kind != SOUND_KIND_STREAM || !r->playFlag || !RingIsOurs(sound, r) || r->format.blockAlign == 0) return 0;
  SoundBufferCopy* ring = &RingRecord(r)->copies[0];
  const SoundBufferOps* ops = Ops();
  UpdateStreamPlayed(sound, r);
  const uint32_t ringBytes = r->ringBytes, avg = r->format.avgBytesPerSec, align = r->format.blockAlign;
  const uint32_t step = WholeBlocks(avg / 8, align);
  const uint32_t fourSeconds = WholeBlocks(uint64_t(avg) * 4, align);
  const unsigned char silence = SilenceByte(r);
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;

  if (r->endPhase) {
    uint32_t p = 0;
    ops->getPosition(ring, &p);
    // Passed the end of the data: the cursor is beyond the end offset, and it either was
    // at or before it when the end was written or has wrapped since.
    if (r->endOffset < p && (r->endPlayCursor <= r->endOffset || r->endPlayCursor > p)) {
      ops->stop(ring);
      r->endPhase = 0;
      return 0;
    }
    if (!InWindow(r, p)) return -1;
    if (step == 0 || ops->lock(ring, uint32_t(r->writeCursor), step, &p1, &n1, &p2, &n2) != 0) return 0;
    RingWrite w{static_cast<unsigned char*>(p1), n1, static_cast<unsigned char*>(p2), n2, 0};
    w.FillRest(silence);
    ops->unlock(ring, p1, n1, p2, n2);
    r->writeCursor = int32_t((uint32_t(r->writeCursor) + step) % ringBytes);
    r->windowStart = int32_t((uint32_t(r->writeCursor) + ringBytes - fourSeconds) % ringBytes);
    return 0;
  }

  uint32_t status = 0;
  ops->status(ring, &status);
  const bool priming = !(status & PLAT_DSBSTATUS_PLAYING);
  uint32_t offset = 0, bytes = 0, cursorUsed = 0;
  if (!priming) {
    uint32_t p = 0;
    ops->getPosition(ring, &p);
    if (!InWindow(r, p)) return -1;
    // The window may wrap past the ring's end: then the write cursor and a play cursor
    // in the window's lower part (at or below the write cursor) are a ring further on.
    int64_t write = r->writeCursor, play = p;
    if (r->writeCursor < r->windowStart) {
      if (play <= write) play += ringBytes;
      write += ringBytes;
    }
    const int64_t lead = (write - play) * 128 / avg;
    bytes = lead < 384 ? WholeBlocks(uint64_t(384 - lead) * avg / 128, align) : step;
    offset = uint32_t(r->writeCursor);
    cursorUsed = uint32_t(play);
  } else {
    if (r->writeCursor != STREAM_NOT_PRIMED) return 0;
    bytes = fourSeconds;
  }
  bytes = std::min(bytes, ringBytes);
  if (bytes > 0) {
    if (ops->lock(ring, offset, bytes, &p1, &n1, &p2, &n2) != 0) return 0;
    RingWrite w{static_cast<unsigned char*>(p1), n1, static_cast<unsigned char*>(p2), n2, 0};
    // Ends that decode nothing for a whole pass over the sources: nothing is left to
    // play, and going round again would never end.
    const int32_t passLength = PassLength(r);
    int32_t emptyEnds = 0;
    while (w.written < w.Total() && !r->endPhase) {
      if (r->currentSource >= r->sourceCount || emptyEnds > passLength) {
        StartEndPhase(r, &w, offset, cursorUsed);
        break;
      }
      uint32_t room = 0;
      unsigned char* at = w.At(&room);
      const int32_t got = DecodeConverter(&r->sources[r->currentSource].converter, at, int32_t(room));
      if (got > 0) {
        w.written += uint32_t(got);
        r->bytesDecoded += got;
        emptyEnds = 0;
        continue;
      }
      emptyEnds++;
      SourceEnded(r, &w, offset, cursorUsed);
    }
    ops->unlock(ring, p1, n1, p2, n2);
  }
  if (priming) {
    r->windowStart = 0;
    r->writeCursor = int32_t(fourSeconds);
    return 0;
  }
  r->writeCursor = int32_t((offset + bytes) % ringBytes);
  r->windowStart = int32_t((uint32_t(r->writeCursor) + ringBytes - fourSeconds) % ringBytes);
  return 0;
}

int RefillAllStreamSounds() {
  SoundLockHold hold;
  if (!IsSoundSystemStarted()) return -1;
  // The pump's pass also keeps the device's clock and the software copies moving.
  PlatAudioService();
  StepSoftwareBuffers();
  ReadyStreamList();
  for (ListNode* n = g_streamHead.next; n && n->next; n = n->next) RefillStreamSound(n->key);
  return 0;
}
