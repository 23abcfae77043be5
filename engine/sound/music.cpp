// The music table, playing music handles on the sequencer device or the performance, the
// sequencer's end notification, and music files with their fallback to stream sounds.
#include "engine/sound/music.h"

#include "engine/base/handle.h"
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/file.h"
#include "engine/sound/services.h"
#include "engine/sound/soundparts.h"
#include "engine/sound/soundsystem.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <cstdint>
#include <cstring>

SequencerMusicState g_SequencerMusic = {};
CurrentMusicFile g_CurrentMusicFile = {};

namespace {

void* g_musicSlots[MUSIC_TABLE_SIZE];
HandleTable g_musicTable = {HANDLE_TYPE_MUSIC, MUSIC_TABLE_SIZE, g_musicSlots, 0, 0, 0};

MusicRecord* Record(int32_t music) {
  if (!IsSoundSystemStarted()) return nullptr;
  return static_cast<MusicRecord*>(HandleTableGet(&g_musicTable, music));
}

bool PerformanceMode() { return GetMusicMode() == MUSIC_MODE_PERFORMANCE; }

// Closes the sequencer device of the current play.
void CloseSequencer() {
  SequencerMusicState& m = g_SequencerMusic;
  PlatMciClose(m.deviceId);
  m.deviceId = 0;
}

// Writes the image into a new temporary file; 0, or -1 with no file left behind.
int WriteTempFile(const MusicRecord* r) {
  SequencerMusicState& m = g_SequencerMusic;
  char path[FILE_PATH_MAX];
  PlatFile* f = CreateTempFile(path, sizeof path);
  if (!f) return -1;
  const bool written = PlatFileWrite(f, r->image, r->imageSize) == int64_t(r->imageSize);
  PlatFileClose(f);
  if (!written) {
    PlatFileDelete(path);
    return -1;
  }
  std::memcpy(m.tempPath, path, sizeof path);
  return 0;
}

// The sequencer part of a play: the file, the device, its port, the play with the end
// notification. Every failure takes the temporary file away again.
int PlayOnSequencer(const MusicRecord* r) {
  SequencerMusicState& m = g_SequencerMusic;
  RemoveMusicTempFile();
  if (WriteTempFile(r) != 0) return -1;
  auto fail = [&](const char* line) {
    if (line) WriteLog(line);
    RemoveMusicTempFile();
    return -1;
  };
  // The flag first, so that every way out below removes the file.
  m.tempFileFlag = 1;
  uint32_t id = 0;
  if (PlatMciOpenSequencer(m.tempPath, &id) != PLAT_MCI_OK) return fail(nullptr);
  m.deviceId = id;
  uint32_t port = 0;
  if (PlatMciStatusPort(id, &port) != PLAT_MCI_OK) {
    CloseSequencer();
    return fail("ＭＩＤＩ演奏開始処理でエラーが起きました１\n");
  }
  if (port < PLAT_MCI_SEQ_MAPPER) {
    CloseSequencer();
    return fail("ＭＩＤＩ演奏開始処理でエラーが起きました２\n");
  }
  if (PlatMciPlay(id, GetEngineWindowHandle(), 0, 0) != PLAT_MCI_OK) {
    CloseSequencer();
    return fail("ＭＩＤＩ演奏に失敗しました\n");
  }
  return 0;
}

int DeleteLocked(int32_t music) {
  MusicRecord* r = Record(music);
  if (!r) return -1;
  if (IsMusicHandlePlaying(music) == 1) StopMusicHandle(music);
  if (r->segment) {
    PlatDmSegmentUnload(r->segment, g_Sound.performance);
    PlatDmLoaderReleaseObject(g_Sound.loader, r->segment);
    PlatDmSegmentRelease(r->segment);
    r->segment = nullptr;
  }
  if (r->image) {
    std::memset(r->image, 0, size_t(r->imageSize));
    TrackedFree(r->image);
  }
  HandleTableRemove(&g_musicTable, music);
  TrackedFree(r);
  return 0;
}

void DeleteCurrentMusicFile() {
  CurrentMusicFile& c = g_CurrentMusicFile;
  if (c.handle == 0) return;
  if (c.isSound)
    DeleteSoundHandle(c.handle);
  else
    DeleteMusicHandle(c.handle);
  c = {};
}

}  // namespace

MusicRecord* GetMusicRecord(int32_t music) { return Record(music); }
int32_t GetMusicCount() { return g_musicTable.count; }
int32_t GetMusicHighWater() { return g_musicTable.highWater; }

int32_t AddMusicData() {
  SoundLockHold hold;
  if (!IsSoundSystemStarted()) return -1;
  HandleTable& t = g_musicTable;
  if (t.count >= t.size) {
    WriteLog("ミュージックデータの数が許容量を越えました終了します");
    return -1;
  }
  MusicRecord* r = static_cast<MusicRecord*>(TrackedCalloc(sizeof(MusicRecord), "", 0));
  if (!r) {
    WriteLog("メモリ領域の確保に失敗しました in AddMusicData");
    return -1;
  }
  const int32_t music = HandleTableAdd(&t, r);
  if (music == -1) TrackedFree(r);
  return music;
}

int32_t LoadMusicMem(const char* fileName) {
  SoundLockHold hold;
  if (!IsSoundSystemStarted() || !fileName) return -1;
  const FileHandle file = FileOpen(fileName, 0, 1, 0);
  if (!file) {
    WriteLogFmt("ミュージックファイル %s の読み込みに失敗しました in LoadMusicMem", fileName);
    return -1;
  }
  FileSeek(file, 0, PLAT_SEEK_END);
  const int64_t size = FileTell(file);
  FileSeek(file, 0, PLAT_SEEK_SET);
  // A music file must fit the record's 32-bit size.
  void* image = size >= 0 && size <= INT32_MAX ? TrackedAlloc(size_t(size) + 1, "", 0) : nullptr;
  if (!image) {
    WriteLogFmt("ミュージックファイル %s を読み込むメモリ領域の確保に失敗しました in LoadMusicMem", fileName);
    FileClose(file);
    return -1;
  }
  const int64_t got = size > 0 ? FileRead(image, 1, uint32_t(size), file) : 0;
  FileClose(file);
  // What could be read is what is loaded.
  const int32_t music = LoadMusicFromMemory(image, int32_t(got > 0 ? got : 0));
  TrackedFree(image);
  return music;
}

int32_t LoadMusicFromMemory(const void* image, int32_t size) {
  SoundLockHold hold;
  if (!IsSoundSystemStarted() || (!image && size > 0) || size < 0) return -1;
  const int32_t music = AddMusicData();
  if (music == -1) return -1;
  MusicRecord* r = Record(music);
  r->image = static_cast<unsigned char*>(TrackedAlloc(size_t(size) + 1, "", 0));
  if (!r->image) {
    WriteLog("ミュージックデータを一時的に保存しておくメモリ領域の確保に失敗しました\n");
    DeleteLocked(music);
    return -1;
  }
  if (size > 0) std::memcpy(r->image, image, size_t(size));
  r->imageSize = size;
  if (!PerformanceMode()) return music;
  PlatDmLoaderClearCache(g_Sound.loader);
  if (PlatDmLoaderGetObject(g_Sound.loader, r->image, size_t(size), &r->segment) != PLAT_DM_OK) {
    r->segment = nullptr;
    WriteLog("ミュージックデータから DirectMusicSegment8 を取得する処理が失敗しました\n");
    DeleteLocked(music);
    return -1;
  }
  PlatDmSegmentSetParamStandardMidi(r->segment);
  PlatDmSegmentDownload(r->segment, g_Sound.performance);
  r->playing = 0;
  return music;
}

int PlayMusicHandle(int32_t music, int32_t playType) {
  {
    SoundLockHold hold;
    MusicRecord* r = Record(music);
    if (!r) return -1;
    SequencerMusicState& m = g_SequencerMusic;
    StopMusicHandle(m.lastHandle);
    if (PerformanceMode()) {
      PlatDmSegmentSetRepeats(r->segment, playType == SOUND_PLAY_LOOP ? PLAT_DM_REPEAT_INFINITE : 0);
      // A segment that did not start would count as playing and never be seen to end.
      if (PlatDmPerformancePlaySegmentEx(g_Sound.performance, r->segment) != PLAT_DM_OK)
        return WriteLog("ＭＩＤＩ演奏に失敗しました\n");
      m.tempFileFlag = 0;
    } else if (PlayOnSequencer(r) != 0) {
      return -1;
    }
    m.playing = 1;
    m.lastHandle = music;
    m.loop = playType == SOUND_PLAY_LOOP ? 1 : 0;
    r->playing = 1;
    r->started = 0;
  }
  if (playType != SOUND_PLAY_WAIT) return 0;
  // The wait leaves the lock free between its passes and lets the clock move. Without a
  // window no end would ever be told.
  while (GetEngineWindowHandle() && g_SystemHooks.pumpMessages() == 0 && IsMusicHandlePlaying(music) == 1) PlatSleep(1);
  SoundLockHold hold;
  if (g_SequencerMusic.tempFileFlag == 1) RemoveMusicTempFile();
  return 0;
}

int OnMciNotify() {
  SoundLockHold hold;
  SequencerMusicState& m = g_SequencerMusic;
  if (m.loop == 1) {
    PlatMciPlay(m.deviceId, GetEngineWindowHandle(), 1, 0);
    m.playing = 1;
  } else if (m.playing == 1) {
    CloseSequencer();
    m.playing = 0;
  }
  return 0;
}

int StopMusicHandle(int32_t music) {
  SoundLockHold hold;
  MusicRecord* r = Record(music);
  if (!r) return -1;
  SequencerMusicState& m = g_SequencerMusic;
  m.loop = 0;
  if (PerformanceMode()) {
    PlatDmPerformanceStopEx(g_Sound.performance, r->segment);
  } else {
    OnMciNotify();
    for (int i = 0; i < 5; i++) g_SystemHooks.pumpMessages();
  }
  if (m.tempFileFlag == 1) RemoveMusicTempFile();
  r->playing = 0;
  r->started = 0;
  return 0;
}

int IsMusicHandlePlaying(int32_t music) {
  SoundLockHold hold;
  MusicRecord* r = Record(music);
  if (!r) return -1;
  return PerformanceMode() ? r->playing : g_SequencerMusic.playing;
}

int UpdateMusicPlayStates() {
  SoundLockHold hold;
  if (!IsSoundSystemStarted()) return -1;
  if (!PerformanceMode()) return 0;
  for (int32_t slot = 0; slot < g_musicTable.highWater; slot++) {
    MusicRecord* r = static_cast<MusicRecord*>(g_musicTable.slots[slot]);
    if (!r || r->playing != 1) continue;
    const int playing = PlatDmPerformanceIsPlaying(g_Sound.performance, r->segment) != PLAT_DM_FALSE ? 1 : 0;
    if (r->started)
      r->playing = playing;
    else if (playing)
      r->started = 1;
  }
  return 0;
}

int DeleteMusicHandle(int32_t music) {
  SoundLockHold hold;
  return DeleteLocked(music);
}

int DeleteAllMusic() {
  SoundLockHold hold;
  for (int32_t slot = 0; slot < MUSIC_TABLE_SIZE; slot++) {
    const int32_t music = HandleTableHandleAt(&g_musicTable, slot);
    if (music != -1) DeleteMusicHandle(music);
  }
  return 0;
}

void RemoveMusicTempFile() {
  SequencerMusicState& m = g_SequencerMusic;
  if (m.tempPath[0]) PlatFileDelete(m.tempPath);
  m.tempPath[0] = 0;
  m.tempFileFlag = 0;
}

// The lock is not held across the play: a waiting play lets the clock thread's pump in.
int PlayMusicFileCore(const char* fileName, int32_t playType) {
  CurrentMusicFile& c = g_CurrentMusicFile;
  int32_t music;
  {
    SoundLockHold hold;
    if (!IsSoundSystemStarted()) return -1;
    DeleteCurrentMusicFile();
    music = LoadMusicMem(fileName);
    if (music == -1) return -1;
    c = {music, 0};
  }
  if (PlayMusicHandle(music, playType) == 0) return 0;
  int32_t sound;
  {
    SoundLockHold hold;
    DeleteMusicHandle(music);
    c = {};
    const int32_t type = GetSoundDataType();
    SetSoundDataType(STREAM_DATA_MEMORY);
    sound = LoadSoundFileCore(fileName, 1, -1);
    SetSoundDataType(type);
    if (sound == -1) return -1;
    c = {sound, 1};
  }
  PlaySoundHandleCore(sound, playType, 1);
  return 0;
}

int StopMusicFileCore() {
  SoundLockHold hold;
  CurrentMusicFile& c = g_CurrentMusicFile;
  if (c.handle == 0) return 0;
  if (c.isSound) {
    StopSoundHandleCore(c.handle);
    DeleteSoundHandle(c.handle);
  } else {
    StopMusicHandle(c.handle);
    DeleteMusicHandle(c.handle);
  }
  c = {};
  return 0;
}

int IsMusicFilePlayingCore() {
  SoundLockHold hold;
  const CurrentMusicFile& c = g_CurrentMusicFile;
  if (c.handle == 0) return 0;
  return c.isSound ? IsSoundPlaying(c.handle) : IsMusicHandlePlaying(c.handle);
}
