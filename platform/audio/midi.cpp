// The two faces of the MIDI layer: the MCI-like sequencer device and the DirectMusic-
// style loader, segment, performance and music object; and what the fake counts, fails
// and reports.
//
// Locks: the table of sequencer devices has its own mutex, taken before the sound
// device's; a player is touched only under the sound device's mutex once attached.
#include "platform/audio/midi.h"

#include "platform/audio/midifake.h"
#include "platform/audio/midiparts.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

struct PlatDmSegment {
  std::shared_ptr<const MidiSong> song;
  int32_t repeats = 0;
  int refs = 1;
  int setParams = 0, downloads = 0;
};

struct PlatDmLoader {
  std::vector<PlatDmSegment*> cache;  // one reference each
};

struct PlatDmPerformance {
  MidiPlayer player;
  PlatAudioDevice* device = nullptr;  // the caller's, once InitAudio made it
  PlatDmSegment* segment = nullptr;   // playing or played last
};

struct PlatDmMusic {
  int refs = 1;
};

namespace {

struct MciDevice {
  MidiPlayer player;
  PlatWnd notified = 0;  // the window of the last play with a notification
};

struct State {
  std::mutex mu;  // the sequencer devices, the performances
  std::map<uint32_t, std::unique_ptr<MciDevice>> devices;
  uint32_t nextId = 1;
  std::vector<PlatDmPerformance*> performances;
  std::atomic<int> counts[PLAT_MIDI_CALL_COUNT];
  std::atomic<int> failFrom[PLAT_MIDI_CALL_COUNT];
  std::atomic<int> live{0};
  std::atomic<uint32_t> port{PLAT_MCI_SEQ_MAPPER};
  std::string extraPort;  // under mu
};

State& S() {
  static State* s = new State;
  return *s;
}

bool Fails(PlatMidiCall call) {
  State& s = S();
  const int n = ++s.counts[call];
  const int from = s.failFrom[call];
  return from > 0 && n >= from;
}

uint64_t MsToFrames(uint32_t ms) { return uint64_t(ms) * PLAT_AUDIO_MIX_RATE / 1000; }

// Reads a whole file through the file system layer.
int32_t ReadSong(const char* path, std::shared_ptr<const MidiSong>* out) {
  PlatFile* f = PlatFileOpen(path, PLAT_FILE_READ, PLAT_OPEN_EXISTING);
  if (!f) return PLAT_MCIERR_FILE_NOT_FOUND;
  const int64_t size = PlatFileSize(f);
  std::vector<unsigned char> bytes;
  try {
    bytes.resize(size_t(std::max<int64_t>(size, 0)));
  } catch (const std::bad_alloc&) {
    PlatFileClose(f);
    return PLAT_MCIERR_OUTOFMEMORY;
  }
  const int64_t got = size > 0 ? PlatFileRead(f, bytes.data(), size) : 0;
  PlatFileClose(f);
  if (got != size) return PLAT_MCIERR_FILE_NOT_FOUND;
  auto song = std::make_shared<MidiSong>();
  if (MidiReadFile(bytes.data(), bytes.size(), song.get(), nullptr) != 0) return PLAT_MCIERR_INVALID_FILE;
  *out = std::move(song);
  return PLAT_MCI_OK;
}

MciDevice* Find(uint32_t id) {
  auto it = S().devices.find(id);
  return it == S().devices.end() ? nullptr : it->second.get();
}

void Withdraw(PlatWnd window, uint32_t id) {
  if (window) PlatWithdrawPostedMessages(window, PLAT_MM_MCINOTIFY, PlatLParam(id));
}

// Under the table's mutex. When its last holder lets go, where it still plays it stops.
void SegmentUnref(PlatDmSegment* segment) {
  if (--segment->refs > 0) return;
  for (PlatDmPerformance* p : S().performances) {
    if (p->segment != segment) continue;
    std::lock_guard<std::mutex> m(PlatAudioMutex());
    MidiPlayerStopLocked(&p->player, true);
    p->segment = nullptr;
  }
  delete segment;
  S().live--;
}

}  // namespace

// ---- the MCI-like sequencer -----------------------------------------------------------

int32_t PlatMciOpenSequencer(const char* path, uint32_t* deviceId) {
  if (!deviceId || !path) return PLAT_MCIERR_FILE_NOT_FOUND;
  *deviceId = 0;
  if (Fails(PLAT_MIDI_CALL_MCI_OPEN)) return PLAT_MCIERR_GENERIC;
  std::shared_ptr<const MidiSong> song;
  if (const int32_t read = ReadSong(path, &song); read != PLAT_MCI_OK) return read;
  if (MidiSynthReady() != 0) return PLAT_MCIERR_NO_SYNTHESIZER;
  auto device = std::make_unique<MciDevice>();
  MidiPlayerInit(&device->player);
  device->player.song = std::move(song);
  State& s = S();
  std::lock_guard<std::mutex> l(s.mu);
  const uint32_t id = s.nextId++;
  if (s.nextId == 0) s.nextId = 1;
  device->player.notifyId = id;
  s.devices[id] = std::move(device);
  s.live++;
  *deviceId = id;
  return PLAT_MCI_OK;
}

int32_t PlatMciStatusPort(uint32_t deviceId, uint32_t* port) {
  if (!port) return PLAT_MCIERR_INVALID_DEVICE_ID;
  if (Fails(PLAT_MIDI_CALL_MCI_STATUS)) return PLAT_MCIERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  if (!Find(deviceId)) return PLAT_MCIERR_INVALID_DEVICE_ID;
  *port = S().port;
  return PLAT_MCI_OK;
}

int32_t PlatMciPlay(uint32_t deviceId, PlatWnd notifyWindow, int hasFrom, uint32_t fromMs) {
  if (Fails(PLAT_MIDI_CALL_MCI_PLAY)) return PLAT_MCIERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  MciDevice* d = Find(deviceId);
  if (!d) return PLAT_MCIERR_INVALID_DEVICE_ID;
  {
    std::lock_guard<std::mutex> m(PlatAudioMutex());
    PlatAudioDevice* output = d->player.source.device ? d->player.source.device : PlatAudioNewestDeviceLocked();
    if (!output) return PLAT_MCIERR_NO_OUTPUT;
    PlatAudioAttachSourceLocked(output, &d->player.source);
    PlatAudioCatchUpLocked(output);
    // From the place it is at, unless a place is given.
    const uint64_t from = hasFrom ? MsToFrames(fromMs) : (d->player.playing ? d->player.frame : 0);
    MidiPlayerStartLocked(&d->player, from);
    d->player.repeats = 0;
    d->player.notifyWindow = notifyWindow;
  }
  // A notification of an earlier play that has not been taken yet is out of date.
  Withdraw(d->notified, deviceId);
  d->notified = notifyWindow;
  return PLAT_MCI_OK;
}

int32_t PlatMciClose(uint32_t deviceId) {
  if (Fails(PLAT_MIDI_CALL_MCI_CLOSE)) return PLAT_MCIERR_GENERIC;
  std::unique_ptr<MciDevice> d;
  {
    std::lock_guard<std::mutex> l(S().mu);
    auto it = S().devices.find(deviceId);
    if (it == S().devices.end()) return PLAT_MCIERR_INVALID_DEVICE_ID;
    d = std::move(it->second);
    S().devices.erase(it);
    std::lock_guard<std::mutex> m(PlatAudioMutex());
    MidiPlayerDetachLocked(&d->player);
  }
  // Detached, it posts nothing more; what it posted before is taken back.
  Withdraw(d->notified, deviceId);
  S().live--;
  return PLAT_MCI_OK;
}

int32_t PlatMciLengthMs(uint32_t deviceId, uint32_t* ms) {
  if (!ms) return PLAT_MCIERR_INVALID_DEVICE_ID;
  std::lock_guard<std::mutex> l(S().mu);
  MciDevice* d = Find(deviceId);
  if (!d) return PLAT_MCIERR_INVALID_DEVICE_ID;
  *ms = uint32_t(d->player.song->endFrame * 1000 / PLAT_AUDIO_MIX_RATE);
  return PLAT_MCI_OK;
}

int32_t PlatMciRunSilent(uint32_t deviceId) {
  std::lock_guard<std::mutex> l(S().mu);
  MciDevice* d = Find(deviceId);
  if (!d) return PLAT_MCIERR_INVALID_DEVICE_ID;
  if (d->player.source.device) return PLAT_MCIERR_GENERIC;  // it plays on a device
  MidiPlayerRunSilent(&d->player);
  return PLAT_MCI_OK;
}

// ---- the loader and its segments ------------------------------------------------------

int32_t PlatDmLoaderCreate(PlatDmLoader** out) {
  if (!out) return PLAT_DMERR_INVALIDARG;
  *out = nullptr;
  if (Fails(PLAT_MIDI_CALL_LOADER_CREATE)) return PLAT_DMERR_GENERIC;
  *out = new (std::nothrow) PlatDmLoader;
  if (!*out) return PLAT_DMERR_OUTOFMEMORY;
  S().live++;
  return PLAT_DM_OK;
}

int32_t PlatDmLoaderClearCache(PlatDmLoader* loader) {
  if (!loader) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_LOADER_CLEAR_CACHE)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  for (PlatDmSegment* s : loader->cache) SegmentUnref(s);
  loader->cache.clear();
  return PLAT_DM_OK;
}

int32_t PlatDmLoaderGetObject(PlatDmLoader* loader, const void* image, size_t size, PlatDmSegment** out) {
  if (!out) return PLAT_DMERR_INVALIDARG;
  *out = nullptr;
  if (!loader || (!image && size)) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_LOADER_GET_OBJECT)) return PLAT_DMERR_GENERIC;
  auto song = std::make_shared<MidiSong>();
  if (MidiReadFile(static_cast<const unsigned char*>(image), size, song.get(), nullptr) != 0)
    return PLAT_DMERR_UNSUPPORTED;
  if (MidiSynthReady() != 0) return PLAT_DMERR_NOT_INIT;
  PlatDmSegment* segment = new (std::nothrow) PlatDmSegment;
  if (!segment) return PLAT_DMERR_OUTOFMEMORY;
  segment->song = std::move(song);
  segment->refs = 2;  // the caller's and the loader's
  std::lock_guard<std::mutex> l(S().mu);
  loader->cache.push_back(segment);
  S().live++;
  *out = segment;
  return PLAT_DM_OK;
}

int32_t PlatDmLoaderReleaseObject(PlatDmLoader* loader, PlatDmSegment* segment) {
  if (!loader || !segment) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_LOADER_RELEASE_OBJECT)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  auto it = std::find(loader->cache.begin(), loader->cache.end(), segment);
  if (it == loader->cache.end()) return PLAT_DM_FALSE;
  loader->cache.erase(it);
  SegmentUnref(segment);
  return PLAT_DM_OK;
}

void PlatDmLoaderRelease(PlatDmLoader* loader) {
  if (!loader) return;
  {
    std::lock_guard<std::mutex> l(S().mu);
    for (PlatDmSegment* s : loader->cache) SegmentUnref(s);
  }
  delete loader;
  S().live--;
}

int32_t PlatDmSegmentSetRepeats(PlatDmSegment* segment, int32_t repeats) {
  if (!segment || repeats < PLAT_DM_REPEAT_INFINITE) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_SEGMENT_SET_REPEATS)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  segment->repeats = repeats;
  return PLAT_DM_OK;
}

int32_t PlatDmSegmentSetParamStandardMidi(PlatDmSegment* segment) {
  if (!segment) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_SEGMENT_SET_PARAM)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  segment->setParams++;
  return PLAT_DM_OK;
}

int32_t PlatDmSegmentDownload(PlatDmSegment* segment, PlatDmPerformance* performance) {
  if (!segment || !performance) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_SEGMENT_DOWNLOAD)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  segment->downloads++;
  return PLAT_DM_OK;
}

int32_t PlatDmSegmentUnload(PlatDmSegment* segment, PlatDmPerformance* performance) {
  if (!segment || !performance) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_SEGMENT_UNLOAD)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  if (segment->downloads == 0) return PLAT_DMERR_INVALIDARG;
  segment->downloads--;
  return PLAT_DM_OK;
}

void PlatDmSegmentRelease(PlatDmSegment* segment) {
  if (!segment) return;
  std::lock_guard<std::mutex> l(S().mu);
  SegmentUnref(segment);
}

// ---- the performance ------------------------------------------------------------------

int32_t PlatDmPerformanceCreate(PlatDmPerformance** out) {
  if (!out) return PLAT_DMERR_INVALIDARG;
  *out = nullptr;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_CREATE)) return PLAT_DMERR_GENERIC;
  PlatDmPerformance* p = new (std::nothrow) PlatDmPerformance;
  if (!p) return PLAT_DMERR_OUTOFMEMORY;
  MidiPlayerInit(&p->player);
  std::lock_guard<std::mutex> l(S().mu);
  S().performances.push_back(p);
  S().live++;
  *out = p;
  return PLAT_DM_OK;
}

int32_t PlatDmPerformanceInitAudio(PlatDmPerformance* p, PlatAudioDevice** device) {
  if (!device) return PLAT_DMERR_INVALIDARG;
  *device = nullptr;
  if (!p) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_INIT_AUDIO)) return PLAT_DMERR_GENERIC;
  if (p->device) return PLAT_DMERR_INVALIDARG;
  PlatAudioDevice* d = nullptr;
  if (PlatAudioCreate(&d) != PLAT_DS_OK) return PLAT_DMERR_GENERIC;
  if (PlatAudioInitialize(d, nullptr) != PLAT_DS_OK) {
    PlatAudioRelease(d);
    return PLAT_DMERR_GENERIC;
  }
  std::lock_guard<std::mutex> l(S().mu);
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  PlatAudioAttachSourceLocked(d, &p->player.source);
  p->device = d;
  *device = d;
  return PLAT_DM_OK;
}

int32_t PlatDmPerformancePlaySegmentEx(PlatDmPerformance* p, PlatDmSegment* segment) {
  if (!p || !segment) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_PLAY_SEGMENT)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  if (!p->device) return PLAT_DMERR_NOT_INIT;
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  if (!p->player.source.device) return PLAT_DMERR_NOT_INIT;  // its device is gone
  PlatAudioCatchUpLocked(p->player.source.device);
  // What played goes silent at once: the new segment takes its place.
  MidiPlayerStopLocked(&p->player, true);
  p->player.song = segment->song;
  p->player.repeats = segment->repeats;
  p->player.tag = segment;
  MidiPlayerStartLocked(&p->player, 0);
  p->segment = segment;
  return PLAT_DM_OK;
}

int32_t PlatDmPerformanceStopEx(PlatDmPerformance* p, PlatDmSegment* segment) {
  if (!p) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_STOP_EX)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  if (segment && p->segment != segment) return PLAT_DM_OK;
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  PlatAudioCatchUpLocked(p->player.source.device);
  MidiPlayerStopLocked(&p->player, true);
  return PLAT_DM_OK;
}

int32_t PlatDmPerformanceIsPlaying(PlatDmPerformance* p, PlatDmSegment* segment) {
  if (!p || !segment) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_IS_PLAYING)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  PlatAudioCatchUpLocked(p->player.source.device);
  return p->segment == segment && p->player.playing ? PLAT_DM_OK : PLAT_DM_FALSE;
}

int32_t PlatDmPerformanceStop(PlatDmPerformance* p) {
  if (!p) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_STOP)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  PlatAudioCatchUpLocked(p->player.source.device);
  MidiPlayerStopLocked(&p->player, true);
  return PLAT_DM_OK;
}

int32_t PlatDmPerformanceCloseDown(PlatDmPerformance* p) {
  if (!p) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_PERFORMANCE_CLOSE_DOWN)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  MidiPlayerDetachLocked(&p->player);
  p->device = nullptr;
  p->segment = nullptr;
  return PLAT_DM_OK;
}

void PlatDmPerformanceRelease(PlatDmPerformance* p) {
  if (!p) return;
  {
    std::lock_guard<std::mutex> l(S().mu);
    {
      std::lock_guard<std::mutex> m(PlatAudioMutex());
      MidiPlayerDetachLocked(&p->player);
    }
    auto& list = S().performances;
    list.erase(std::remove(list.begin(), list.end(), p), list.end());
  }
  delete p;
  S().live--;
}

// ---- the music object -----------------------------------------------------------------

int32_t PlatDmMusicCreate(PlatDmMusic** out) {
  if (!out) return PLAT_DMERR_INVALIDARG;
  *out = nullptr;
  if (Fails(PLAT_MIDI_CALL_MUSIC_CREATE)) return PLAT_DMERR_GENERIC;
  *out = new (std::nothrow) PlatDmMusic;
  if (!*out) return PLAT_DMERR_OUTOFMEMORY;
  S().live++;
  return PLAT_DM_OK;
}

int32_t PlatDmMusicQueryInterface8(PlatDmMusic* music, PlatDmMusic** out) {
  if (!out) return PLAT_DMERR_INVALIDARG;
  *out = nullptr;
  if (!music) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_MUSIC_QUERY_INTERFACE)) return PLAT_DMERR_GENERIC;
  std::lock_guard<std::mutex> l(S().mu);
  music->refs++;
  *out = music;
  return PLAT_DM_OK;
}

int32_t PlatDmMusicEnumPort(PlatDmMusic* music, uint32_t index, PlatDmPortCaps* caps) {
  if (!music || !caps) return PLAT_DMERR_INVALIDARG;
  if (Fails(PLAT_MIDI_CALL_MUSIC_ENUM_PORT)) return PLAT_DMERR_GENERIC;
  std::string description;
  uint32_t portClass = PLAT_DM_PORT_OUTPUT;
  {
    std::lock_guard<std::mutex> l(S().mu);
    if (index == 0) {
      description = "Software synthesizer (FluidSynth, General MIDI)";
    } else if (index == 1 && !S().extraPort.empty()) {
      description = S().extraPort;
      portClass = PLAT_DM_PORT_INPUT;
    } else {
      return PLAT_DM_FALSE;
    }
  }
  const std::string sjis = PlatUtf8ToSjis(description.c_str());
  std::memset(caps, 0, sizeof *caps);
  caps->portClass = portClass;
  std::memcpy(caps->description, sjis.data(), std::min(sjis.size(), sizeof caps->description - 1));
  return PLAT_DM_OK;
}

void PlatDmMusicRelease(PlatDmMusic* music) {
  if (!music) return;
  {
    std::lock_guard<std::mutex> l(S().mu);
    if (--music->refs > 0) return;
  }
  delete music;
  S().live--;
}

// ---- for tests ------------------------------------------------------------------------

void PlatMidiFakeReset() {
  State& s = S();
  for (int i = 0; i < PLAT_MIDI_CALL_COUNT; i++) {
    s.counts[i] = 0;
    s.failFrom[i] = 0;
  }
  s.port = PLAT_MCI_SEQ_MAPPER;
  std::lock_guard<std::mutex> l(s.mu);
  s.extraPort.clear();
}

void PlatMidiFakeFailFrom(PlatMidiCall call, int n) { S().failFrom[call] = n > 0 ? S().counts[call] + n : 0; }

int PlatMidiFakeCount(PlatMidiCall call) { return S().counts[call]; }

void PlatMidiFakeSetPort(uint32_t port) { S().port = port; }

void PlatMidiFakeAddPort(const char* description) {
  std::lock_guard<std::mutex> l(S().mu);
  S().extraPort = description ? description : "";
}

int PlatMidiLiveObjects() { return S().live; }
