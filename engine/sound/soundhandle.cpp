// The table of sound handles, loading normal sounds into their buffer copies, playing
// them in turn over the copies, and their lengths, positions and deletion.
#include "engine/sound/soundhandle.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/sound/services.h"
#include "engine/sound/soundparts.h"
#include "engine/sound/soundsystem.h"
#include "engine/state/hooks.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void* g_soundSlots[SOUND_TABLE_SIZE];
HandleTable g_soundTable = {HANDLE_TYPE_SOUND, SOUND_TABLE_SIZE, g_soundSlots, 0, 0, 0};

SoundRecord* Record(int32_t sound) {
  if (!IsSoundSystemStarted()) return nullptr;
  return static_cast<SoundRecord*>(HandleTableGet(&g_soundTable, sound));
}

// Takes the slot of a given handle with its check value; -1 when the slot is taken.
// A slot above the high-water level raises the level past it, so that the level's rule
// never hands the slot out again.
int32_t AddAtGivenHandle(SoundRecord* record, int32_t sound) {
  HandleTable& t = g_soundTable;
  const int32_t slot = HandleSlot(sound);
  if ((uint32_t(sound) & HANDLE_TYPE_MASK) != uint32_t(HANDLE_TYPE_SOUND) || slot >= t.size || t.slots[slot])
    return -1;
  record->serial = (uint32_t(sound) & HANDLE_CHECK_MASK) >> 16;
  t.slots[slot] = record;
  t.count++;
  t.highWater = std::max(t.highWater, slot + 1);
  return sound;
}

// Reads a whole file through the file layer; the bytes actually read count.
int ReadWholeFile(const char* fileName, unsigned char** memory, int32_t* size) {
  const FileHandle file = FileOpen(fileName, 0, 1, 0);
  if (!file) {
    WriteLogFmt("右記のファイルのオープンに失敗しました：%s", fileName);
    return -1;
  }
  char noMemory[FILE_PATH_MAX + 128];
  std::snprintf(noMemory, sizeof noMemory, "右記のファイルのロードに必要なメモリの確保に失敗しました：%s\n", fileName);
  const int result = ReadWholeStream(GetFileStreamFunctions(), StreamHandle(file), memory, size, noMemory);
  FileClose(file);
  return result;
}

// Writes the PCM into every copy to be filled; -1 with the message logged on failure.
int FillCopies(SoundRecord* r) {
  const SoundBufferOps* ops = GetSoundBufferOps();
  for (int32_t i = 0; i < r->copyCount; i++) {
    if (r->copyFilled[i] == 1) continue;
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (ops->lock(&r->copies[i], 0, uint32_t(r->pcmBytes), &p1, &n1, &p2, &n2) != 0) {
      WriteLog("サウンドデータの転送に失敗しました_1");
      return -1;
    }
    std::memcpy(p1, r->pcm, n1);
    if (p2 && n2) std::memcpy(p2, r->pcm + n1, std::min<uint32_t>(n2, uint32_t(r->pcmBytes) - n1));
    if (ops->unlock(&r->copies[i], p1, n1, p2, n2) != 0) {
      WriteLog("サウンドデータの転送に失敗しました_2");
      return -1;
    }
  }
  return 0;
}

// The unlocked body of a deletion.
int DeleteLocked(int32_t sound) {
  SoundRecord* r = Record(sound);
  if (!r) return -1;
  const SoundBufferOps* ops = GetSoundBufferOps();
  if (r->kind == SOUND_KIND_STREAM) {
    if (ReleaseStreamSound(sound, r)) return 0;
  } else {
    if (r->copies[0].created) StopSoundHandleCore(sound);
    for (SoundBufferCopy& c : r->copies)
      if (c.created) ops->release(&c);
    if (r->pcm) TrackedFree(r->pcm);
  }
  HandleTableRemove(&g_soundTable, sound);
  TrackedFree(r);
  return 0;
}

}  // namespace

SoundRecord* GetSoundRecord(int32_t sound) { return Record(sound); }
int32_t GetSoundCount() { return g_soundTable.count; }
int32_t GetSoundHighWater() { return g_soundTable.highWater; }

int32_t AddSoundData(int32_t sound) {
  SoundLockHold hold;
  if (!IsSoundSystemStarted()) return -1;
  HandleTable& t = g_soundTable;
  if (sound == -1 && t.count >= t.size) {
    WriteLog("サウンドの数が許容量を越えました\n");
    return -1;
  }
  SoundRecord* r = static_cast<SoundRecord*>(TrackedCalloc(sizeof(SoundRecord), "", 0));
  if (!r) {
    WriteLog("メモリ領域の確保に失敗しました in AddSoundData");
    return -1;
  }
  r->sourceCount = 0;
  r->bufferOwner = -1;
  r->currentUser = -1;
  r->writeCursor = STREAM_NOT_PRIMED;
  const int32_t handle = sound != -1 ? AddAtGivenHandle(r, sound) : HandleTableAdd(&t, r);
  if (handle == -1) TrackedFree(r);
  return handle;
}

int LoadSoundFileCore(const char* fileName, int32_t copies, int32_t share) {
  SoundLockHold hold;
  if (!IsSoundSystemStarted() || !fileName) return -1;
  if (GetSoundDataType() != 0) {
    const int32_t sound = AddSoundData(-1);
    if (sound == -1) return -1;
    if (AddStreamSourceFile(fileName, 0, sound, GetSoundDataType(), share) != 0) {
      DeleteSoundHandle(sound);
      return -1;
    }
    PrimeStreamSoundHandle(sound);
    return sound;
  }
  unsigned char* image = nullptr;
  int32_t size = 0;
  if (ReadWholeFile(fileName, &image, &size) != 0) {
    WriteLogFmt("右記の音声ファイルのロードに失敗しました_1：%s", fileName);
    return -1;
  }
  const int32_t sound = LoadSoundFromMemory(image, size, std::min(copies, int32_t(SOUND_MAX_COPIES)), -1);
  TrackedFree(image);
  if (sound == -1) WriteLogFmt("右記の音声ファイルのロードに失敗しました_2：%s", fileName);
  return sound;
}

int32_t LoadSoundFromMemory(const void* image, int32_t size, int32_t copies, int32_t share) {
  SoundLockHold hold;
  if (!IsSoundSystemStarted() || !image || size < 0) return -1;
  if (copies > SOUND_MAX_COPIES) return -1;
  const int32_t sound = AddSoundData(-1);
  if (sound == -1) return -1;
  if (GetSoundDataType() != 0) {
    const int32_t type = GetSoundDataType() == STREAM_DATA_STREAM ? STREAM_DATA_MEMORY : GetSoundDataType();
    if (AddStreamSourceMem(image, size, 0, sound, type, share) != 0) {
      DeleteSoundHandle(sound);
      return -1;
    }
    PrimeStreamSoundHandle(sound);
    return sound;
  }
  SoundRecord* r = Record(sound);
  MemStream* stream = MemStreamOpen(image, uint32_t(size));
  SoundConverter converter;
  if (!stream || OpenSoundConverter(GetMemStreamFunctions(), StreamHandle(stream), &converter) != 0) {
    WriteLog("音声ファイルのＰＣＭへの変換に失敗しました");
    if (stream) MemStreamClose(stream);
    DeleteSoundHandle(sound);
    return -1;
  }
  PlatWaveFormat format{};
  void* pcm = nullptr;
  int64_t bytes = 0;
  const int converted = ConvertWholeSound(&converter, &format, &pcm, &bytes);
  CloseSoundConverter(&converter);
  MemStreamClose(stream);
  if (converted != 0) {
    WriteLog("音声ファイルを格納するメモリ領域の確保に失敗しました");
    DeleteSoundHandle(sound);
    return -1;
  }
  // A sound without PCM (or shorter than the smallest buffer) is a failed load: the
  // device would refuse its buffer, and that refusal ends the engine.
  if (bytes < int64_t(PLAT_DSBSIZE_MIN) || bytes > int64_t(PLAT_DSBSIZE_MAX)) {
    WriteLog("音声ファイルのＰＣＭへの変換に失敗しました");
    TrackedFree(pcm);
    DeleteSoundHandle(sound);
    return -1;
  }
  r->pcm = static_cast<unsigned char*>(pcm);
  r->pcmBytes = int32_t(bytes);
  CreateSoundBuffers(&format, uint32_t(bytes), SOUND_KIND_NORMAL, copies, sound);
  r->format = format;
  if (FillCopies(r) != 0) {
    DeleteSoundHandle(sound);
    return -1;
  }
  return sound;
}

int CreateSoundBuffers(const PlatWaveFormat* format, uint32_t bytes, int32_t kind, int32_t copies, int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = Record(sound);
  if (!r || !format) return -1;
  r->copyCount = CreateSoundBufferCopies(format, bytes, kind, copies, r->copies);
  std::fill(std::begin(r->copyFilled), std::end(r->copyFilled), 0);
  r->kind = kind;
  if (kind == SOUND_KIND_STREAM) {
    r->ringBytes = 6 * format->avgBytesPerSec;
    AddToStreamList(r, sound);
  }
  return 0;
}

int PlaySoundHandleCore(int32_t sound, int32_t playType, int32_t fromTop) {
  {
    SoundLockHold hold;
    SoundRecord* r = Record(sound);
    if (!r) return -1;
    if (r->kind == SOUND_KIND_STREAM) return PlayStreamSoundHandle(sound, playType, fromTop);
    // A sound without copies has nothing to play, and its turn stays where it is.
    if (r->copyCount < 1) return -1;
    const SoundBufferOps* ops = GetSoundBufferOps();
    uint32_t cursor = 0;
    if (r->copies[r->currentCopy].created) ops->getPosition(&r->copies[r->currentCopy], &cursor);
    r->currentCopy = r->currentCopy + 1 >= r->copyCount ? 0 : r->currentCopy + 1;
    SoundBufferCopy* next = &r->copies[r->currentCopy];
    uint32_t status = 0;
    if (ops->status(next, &status) != 0) return -1;
    if (status & PLAT_DSBSTATUS_PLAYING) {
      if (fromTop == 0) return 0;
      ops->stop(next);
    }
    ops->setPosition(next, fromTop == 1 ? 0 : cursor);
    ops->play(next, playType == SOUND_PLAY_LOOP);
  }
  if (playType != SOUND_PLAY_WAIT) return 0;
  // The wait leaves the lock free between its passes, so the clock thread's pump runs.
  if (g_SystemHooks.pumpMessages() != 0) return 0;
  while (IsSoundPlaying(sound) == 1) {
    PlatSleep(1);
    if (g_SystemHooks.pumpMessages() != 0) break;
  }
  return 0;
}

int StopSoundHandleCore(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = Record(sound);
  if (!r) return -1;
  if (r->kind == SOUND_KIND_STREAM) return StopStreamSoundHandle(sound);
  const SoundBufferOps* ops = GetSoundBufferOps();
  for (int32_t i = 0; i < r->copyCount; i++) {
    uint32_t status = 0;
    if (ops->status(&r->copies[i], &status) != 0) return -1;
    if (status & PLAT_DSBSTATUS_PLAYING) ops->stop(&r->copies[i]);
  }
  return 0;
}

int IsSoundPlaying(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = Record(sound);
  if (!r) return -1;
  if (r->kind == SOUND_KIND_STREAM) return IsStreamSoundPlaying(sound);
  const SoundBufferOps* ops = GetSoundBufferOps();
  for (int32_t i = 0; i < r->copyCount; i++) {
    uint32_t status = 0;
    if (ops->status(&r->copies[i], &status) == 0 && (status & PLAT_DSBSTATUS_PLAYING)) return 1;
  }
  return 0;
}

int32_t GetSoundLengthSamples(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = Record(sound);
  if (!r) return -1;
  if (r->kind == SOUND_KIND_STREAM) return r->totalSamples;
  if (r->kind != SOUND_KIND_NORMAL || r->format.blockAlign == 0) return 0;
  return r->pcmBytes / r->format.blockAlign;
}

// In 64 bits: samples x 1000 passes 32 bits after 13 hours of 44.1 kHz.
int32_t GetSoundLengthMs(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = Record(sound);
  if (!r) return -1;
  const int64_t samples = GetSoundLengthSamples(sound);
  if (samples <= 0 || r->format.samplesPerSec == 0) return 0;
  return int32_t(samples * 1000 / r->format.samplesPerSec);
}

int32_t GetSoundPositionMs(int32_t sound) {
  SoundLockHold hold;
  SoundRecord* r = Record(sound);
  if (!r) return -1;
  if (r->kind == SOUND_KIND_STREAM) return GetStreamPositionMs(sound);
  SoundBufferCopy* c = &r->copies[r->currentCopy];
  const int64_t perSecond = int64_t(r->format.blockAlign) * r->format.samplesPerSec;
  uint32_t cursor = 0;
  if (!c->created || perSecond == 0 || GetSoundBufferOps()->getPosition(c, &cursor) != 0) return 0;
  return int32_t(int64_t(cursor) * 1000 / perSecond);
}

int DeleteSoundHandle(int32_t sound, int32_t) {
  SoundLockHold hold;
  return DeleteLocked(sound);
}

int DeleteAllSounds(int32_t word) {
  SoundLockHold hold;
  for (int32_t slot = 0; slot < SOUND_TABLE_SIZE; slot++) {
    const int32_t sound = HandleTableHandleAt(&g_soundTable, slot);
    if (sound != -1) DeleteSoundHandle(sound, word);
  }
  return 0;
}
