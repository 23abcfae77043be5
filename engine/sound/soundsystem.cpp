// Sound system start and end, its settings, and the WAV recording's file.
#include "engine/sound/soundsystem.h"

#include "engine/base/log.h"
#include "engine/sound/services.h"
#include "platform/fs/fs.h"
#include "platform/window/window.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

SoundSystemState g_Sound = {
    .started = 0,
    .device = nullptr,
    .primary = nullptr,
    .silent = nullptr,
    .musicMode = MUSIC_MODE_SEQUENCER,
    .loader = nullptr,
    .performance = nullptr,
    .soundDataType = 0,
    .vorbisBytesPerSample = 2,
    .softwareBufferMode = 0,
    .softwareCopies = nullptr,
    .softwareClockStart = 0,
    .softwareFrames = 0,
    .recording = 0,
    .recordedFrames = 0,
    .recordFile = nullptr,
};

namespace {

constexpr uint32_t kRecordHeaderBytes = 46;

const char* OkNo(uint32_t flags, uint32_t flag) { return (flags & flag) ? "OK" : "NO"; }

// Formats a log text that carries its own line feeds (or none, to go on on the same line).
void WriteLogText(const char* format, ...) __attribute__((format(printf, 1, 2)));
void WriteLogText(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  WriteLog(text);
}

void StopAndRelease(PlatAudioBuffer** buffer) {
  if (!*buffer) return;
  PlatAudioBufferStop(*buffer);
  PlatAudioBufferRelease(*buffer);
  *buffer = nullptr;
}

void ReleaseDevice() {
  PlatAudioRelease(g_Sound.device);
  g_Sound.device = nullptr;
}

// The silent buffer keeps the output running between sounds; the start goes on without
// it when it cannot be had.
void StartSilentBuffer() {
  SoundSystemState& s = g_Sound;
  const PlatWaveFormat format = {PLAT_WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  const PlatAudioBufferDesc desc = {PLAT_DSBCAPS_STATIC | PLAT_DSBCAPS_GLOBALFOCUS, 400, &format};
  if (PlatAudioCreateBuffer(s.device, &desc, &s.silent) != PLAT_DS_OK) {
    s.silent = nullptr;
    WriteLog("無音バッファの作成に失敗しました");
    return;
  }
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (PlatAudioBufferLock(s.silent, 0, 400, &p1, &n1, &p2, &n2) != PLAT_DS_OK) {
    WriteLog("無音バッファのロックに失敗しました");
    PlatAudioBufferRelease(s.silent);
    s.silent = nullptr;
    return;
  }
  std::memset(p1, 0, n1);
  if (p2) std::memset(p2, 0, n2);
  PlatAudioBufferUnlock(s.silent, p1, n1, p2, n2);
  PlatAudioBufferPlay(s.silent, PLAT_DSBPLAY_LOOPING);
}

void LogAbilities() {
  PlatAudioCaps caps{};
  PlatAudioGetCaps(g_Sound.device, &caps);
  WriteLog("DirectSound デバイスを列挙します\n");
  LogIndentIn();
  const int32_t listed = PlatAudioListOutputs(LogSoundDevice, nullptr);
  if (listed == PLAT_AUDIO_LIST_NOLOAD || listed == PLAT_AUDIO_LIST_NOLOOKUP) {
    WriteLog(listed == PLAT_AUDIO_LIST_NOLOAD ? "DSOUND.DLL のロードに失敗しました\n"
                                              : "DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    LogIndentOut();
    LogIndentOut();
    return;
  }
  LogIndentOut();
  WriteLogText("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ", caps.maxSecondaryRate / 1000.0,
               caps.minSecondaryRate / 1000.0);
  WriteLogText("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.totalHwMemBytes / 1024.0,
               caps.freeHwMemBytes / 1024.0);
  WriteLog("利用可能サンプリング精度\n");
  WriteLogText(" プライマリ １６bit = %s  ８bit = %s ", OkNo(caps.flags, PLAT_DSCAPS_PRIMARY16BIT),
               OkNo(caps.flags, PLAT_DSCAPS_PRIMARY8BIT));
  WriteLogText(" セカンダリ １６bit = %s  ８bit = %s \n", OkNo(caps.flags, PLAT_DSCAPS_SECONDARY16BIT),
               OkNo(caps.flags, PLAT_DSCAPS_SECONDARY8BIT));
  WriteLog("利用可能チャンネル\n");
  WriteLogText(" プライマリ MONO = %s  STEREO = %s ", OkNo(caps.flags, PLAT_DSCAPS_PRIMARYMONO),
               OkNo(caps.flags, PLAT_DSCAPS_PRIMARYSTEREO));
  WriteLogText(" セカンダリ MONO = %s  STEREO = %s \n", OkNo(caps.flags, PLAT_DSCAPS_SECONDARYMONO),
               OkNo(caps.flags, PLAT_DSCAPS_SECONDARYSTEREO));
  LogIndentOut();
}

void ReleaseMusicObjects() {
  SoundSystemState& s = g_Sound;
  PlatDmPerformanceRelease(s.performance);
  s.performance = nullptr;
  PlatDmLoaderRelease(s.loader);
  s.loader = nullptr;
}

// Writes the music object's ports to the log; the listing ends at the first index that
// is not a port (a failure too, so that a broken listing cannot go on for ever).
void LogMusicPorts(PlatDmMusic* music) {
  for (uint32_t index = 0;; index++) {
    PlatDmPortCaps caps{};
    if (PlatDmMusicEnumPort(music, index, &caps) != PLAT_DM_OK) break;
    caps.description[sizeof caps.description - 1] = 0;
    WriteLogFmt("%s  Device%d:%s ", caps.portClass == PLAT_DM_PORT_OUTPUT ? "出力ポート" : "入力ポート", int(index),
                caps.description);
  }
}

// The performance branch (music mode 1): the loader, the performance, the music object's
// ports, and the device made by the performance. Without a loader the start goes on in
// sequencer mode. A later failure releases what was made (ending the sound system would
// do nothing here: it is not started yet).
int StartWithPerformance() {
  SoundSystemState& s = g_Sound;
  WriteLog("DirectSound8 の初期化を行います\n");
  if (PlatDmLoaderCreate(&s.loader) != PLAT_DM_OK) {
    s.loader = nullptr;
    WriteLog("DirectMusicLoader8 オブジェクトの作成に失敗しました\n");
    WriteLog("前バージョンでの初期化処理に移ります\n");
    s.musicMode = MUSIC_MODE_SEQUENCER;
    return InitSoundSystem();
  }
  if (PlatDmPerformanceCreate(&s.performance) != PLAT_DM_OK) {
    s.performance = nullptr;
    WriteLog("DirectMusicPerformance オブジェクトの作成に失敗しました\n");
    ReleaseMusicObjects();
    return -1;
  }
  PlatDmMusic* music = nullptr;
  if (PlatDmMusicCreate(&music) != PLAT_DM_OK) {
    WriteLog("DirectMusic オブジェクトの取得に失敗しました\n");
    ReleaseMusicObjects();
    return -1;
  }
  PlatDmMusic* music8 = nullptr;
  if (PlatDmMusicQueryInterface8(music, &music8) != PLAT_DM_OK) {
    PlatDmMusicRelease(music);
    WriteLog("DirectMusic8 オブジェクトの取得に失敗しました\n");
    ReleaseMusicObjects();
    return -1;
  }
  LogMusicPorts(music8);
  PlatDmMusicRelease(music8);
  PlatDmMusicRelease(music);
  s.device = nullptr;
  if (PlatDmPerformanceInitAudio(s.performance, &s.device) != PLAT_DM_OK) {
    s.device = nullptr;
    WriteLog("DirectMusicPerformanceオブジェクトの初期化に失敗しました\n");
    ReleaseMusicObjects();
    return -1;
  }
  return 0;
}

// Sequencer mode: the device, its cooperative level and the primary buffer's format.
int StartDevice() {
  SoundSystemState& s = g_Sound;
  WriteLog("DirectSound の初期化を行います\n");
  WriteLog("DirectSound インターフェースの取得を行います....  ");
  if (PlatAudioCreate(&s.device) != PLAT_DS_OK) {
    s.device = nullptr;
    WriteLog("DirectSoundインターフェースの作成に失敗しました\n");
    return -1;
  }
  WriteLog("成功\n");
  WriteLog("引き続きインターフェースの初期化処理...  ");
  if (PlatAudioInitialize(s.device, nullptr) != PLAT_DS_OK) {
    WriteLog("初期化に失敗しました\n");
    ReleaseDevice();
    return -1;
  }
  WriteLog("成功\n");
  if (PlatAudioSetCooperativeLevel(s.device, PLAT_WND_DESKTOP, PLAT_DSSCL_PRIORITY) != PLAT_DS_OK) {
    WriteLog("DirectSoundの協調レベルの設定に失敗しました\n");
    ReleaseDevice();
    return -1;
  }
  const PlatAudioBufferDesc primary = {PLAT_DSBCAPS_PRIMARYBUFFER, 0, nullptr};
  if (PlatAudioCreateBuffer(s.device, &primary, &s.primary) != PLAT_DS_OK) {
    s.primary = nullptr;
    WriteLog("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    ReleaseDevice();
    return -1;
  }
  PlatAudioCaps caps{};
  PlatAudioGetCaps(s.device, &caps);
  PlatWaveFormat format{};
  format.formatTag = PLAT_WAVE_FORMAT_PCM;
  format.channels = (caps.flags & PLAT_DSCAPS_PRIMARYSTEREO) ? 2 : 1;
  format.bitsPerSample = (caps.flags & PLAT_DSCAPS_PRIMARY16BIT) ? 16 : 8;
  format.samplesPerSec = caps.maxSecondaryRate < 44100 ? caps.maxSecondaryRate : 44100;
  format.blockAlign = uint16_t(format.bitsPerSample / 8 * format.channels);
  format.avgBytesPerSec = format.blockAlign * format.samplesPerSec;
  if (PlatAudioBufferSetFormat(s.primary, &format) != PLAT_DS_OK)
    WriteLog("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
  return 0;
}

}  // namespace

int IsSoundSystemStarted() { return g_Sound.started; }

int InitSoundSystem() {
  SoundSystemState& s = g_Sound;
  if (s.started) return -1;
  if (s.musicMode == MUSIC_MODE_PERFORMANCE) {
    // Without a loader the start has gone on in sequencer mode, and is done.
    const int performance = StartWithPerformance();
    if (performance != 0 || s.musicMode != MUSIC_MODE_PERFORMANCE) return performance;
  } else if (StartDevice() != 0) {
    return -1;
  }
  s.started = 1;
  StartSilentBuffer();
  s.soundDataType = 0;
  s.vorbisBytesPerSample = 2;
  RestartSoftwareClock();
  if (s.device) {
    LogIndentIn();
    LogAbilities();
  }
  WriteLog("DirectSound の初期化は正常に終了しました\n");
  DeleteAllSounds(0);
  return 0;
}

int LogSoundDevice(const PlatAudioGuid*, const char* description, const char* module, void*) {
  WriteLogFmt("モジュール名:%15s  ドライバ記述:%s ", module, description);
  return 1;
}

int EndSoundSystem() {
  SoundSystemState& s = g_Sound;
  if (!s.started) return -1;
  CloseWavRecording();
  DeleteAllSounds(0);
  DeleteAllMusic();
  RemoveMusicTempFile();
  if (s.musicMode == MUSIC_MODE_PERFORMANCE) {
    PlatDmPerformanceStop(s.performance);
    PlatDmPerformanceCloseDown(s.performance);
    ReleaseMusicObjects();
  }
  // Only what exists is stopped and released: the primary buffer is missing in the
  // performance mode, and the silent one when it could not be made.
  StopAndRelease(&s.primary);
  StopAndRelease(&s.silent);
  if (s.device) ReleaseDevice();
  s.started = 0;
  WriteLog("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}

int CloseWavRecording() {
  SoundSystemState& s = g_Sound;
  if (!s.recording) return -1;
  StepSoftwareBuffers();
  const uint32_t data = s.recordedFrames * PLAT_AUDIO_MIX_FRAME_BYTES;
  unsigned char h[kRecordHeaderBytes];
  auto put16 = [&](int at, uint32_t v) {
    h[at] = uint8_t(v);
    h[at + 1] = uint8_t(v >> 8);
  };
  auto put32 = [&](int at, uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  std::memcpy(h, "RIFF", 4);
  put32(4, 38 + data);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put32(16, 18);
  put16(20, PLAT_WAVE_FORMAT_PCM);
  put16(22, 2);
  put32(24, 44100);
  put32(28, 176400);
  put16(32, 4);
  put16(34, 16);
  put16(36, 0);
  std::memcpy(h + 38, "data", 4);
  put32(42, data);
  PlatFileSeek(s.recordFile, 0, PLAT_SEEK_SET);
  PlatFileWrite(s.recordFile, h, sizeof h);
  PlatFileClose(s.recordFile);
  s.recordFile = nullptr;
  s.recording = 0;
  return 0;
}

int SetMusicMode(int32_t mode) {
  g_Sound.musicMode = mode == MUSIC_MODE_PERFORMANCE ? MUSIC_MODE_PERFORMANCE : MUSIC_MODE_SEQUENCER;
  return 0;
}
int GetMusicMode() { return g_Sound.musicMode; }

int SetSoundDataType(int32_t type) {
  g_Sound.soundDataType = type;
  return 0;
}
int GetSoundDataType() { return g_Sound.soundDataType; }

int SetSoftwareBufferMode(int32_t on) {
  SoundSystemState& s = g_Sound;
  if (s.softwareCopies) return -1;  // the copies made stay with their back end
  s.softwareBufferMode = on ? 1 : 0;
  RestartSoftwareClock();
  return 0;
}
int GetSoftwareBufferMode() { return g_Sound.softwareBufferMode; }

int StartWavRecording(const char* path) {
  SoundSystemState& s = g_Sound;
  if (s.recording || !path) return -1;
  PlatFile* file = PlatFileOpen(path, PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
  if (!file) return -1;
  // The header's room; CloseWavRecording writes it once the sizes are known.
  const unsigned char room[kRecordHeaderBytes] = {};
  if (PlatFileWrite(file, room, sizeof room) != int64_t(sizeof room)) {
    PlatFileClose(file);
    return -1;
  }
  StepSoftwareBuffers();  // what played before the recording is not in it
  s.recordFile = file;
  s.recordedFrames = 0;
  s.recording = 1;
  return 0;
}

uint32_t GetWavRecordingFrames() { return g_Sound.recordedFrames; }
