// The sound device's common part: devices, buffers with their shared PCM, locks, play
// state and cursors, the mixer's schedule, and the counting and failing tests ask for.
//
// One mutex guards every device's list of buffers and every buffer's play state; the
// SDL back end's callback takes it to mix. It is never held while a back end opens or
// closes an output (closing waits for the callback, which may be waiting for it).
#include "platform/audio/audio.h"

#include "platform/audio/audiofake.h"
#include "platform/audio/backend.h"
#include "platform/backend/chooser.h"
#include "platform/kernel/kernel.h"
#include "platform/text/text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

struct PlatAudioBuffer {
  PlatAudioDevice* device = nullptr;  // null once the device is gone
  bool primary = false;
  uint32_t flags = 0;
  PlatWaveFormat format{};
  std::shared_ptr<std::vector<unsigned char>> pcm;  // shared with duplicates
  PlatAudioVoice voice{};
};

struct PlatAudioDevice {
  const PlatAudioBackend* backend = nullptr;
  bool initialized = false;
  PlatWnd window = 0;
  uint32_t level = 0;
  PlatAudioBuffer* primary = nullptr;
  std::vector<PlatAudioBuffer*> buffers;  // secondary buffers, in creation order
  std::vector<PlatAudioSource*> sources;  // music, in order of attachment
  std::vector<int32_t> sums;              // the mixer's scratch
  // The clocked back end: the clock's reading when the mixer started, and frames mixed.
  int64_t clockStart = 0;
  uint64_t clockFrames = 0;
  uintptr_t backendData = 0;
};

namespace {

const PlatBackendOption<PlatAudioBackend> kBackends[] = {
    {.table = PlatAudioSdlBackend, .platforms = PLAT_PLATFORM_SDL},
    {.table = PlatAudioHeadlessBackend, .platforms = PLAT_PLATFORM_HEADLESS},
    {.table = PlatAudioManualBackend, .platforms = 0},
};
PlatBackendChoice<PlatAudioBackend> backend(kBackends, PLAT_BACKEND_SWITCHABLE);

struct State {
  std::mutex mu;
  std::vector<PlatAudioDevice*> devices;  // initialised devices
  std::atomic<int> counts[PLAT_AUDIO_CALL_COUNT];
  std::atomic<int> failFrom[PLAT_AUDIO_CALL_COUNT];
  std::atomic<int> live{0};
};

State& S() {
  static State* s = new State;
  return *s;
}

// Counts the use; true when the plan says this use fails.
bool Fails(PlatAudioCall call) {
  State& s = S();
  const int n = ++s.counts[call];
  const int from = s.failFrom[call];
  return from > 0 && n >= from;
}

constexpr uint32_t kMixChunk = 4096;

// Adds the device's playing buffers into sums and steps them (only steps them when sums
// is null). Under the mutex.
void MixLocked(PlatAudioDevice* d, int32_t* sums, uint32_t frames) {
  for (PlatAudioBuffer* b : d->buffers) PlatAudioMixVoice(&b->voice, sums, frames);
  for (PlatAudioSource* s : d->sources) s->mix(s, sums, frames);
}

// The clocked back end's mixer catches up with the clock. Under the mutex.
void CatchUpLocked(PlatAudioDevice* d) {
  if (!d || !d->initialized || d->backend->movement != PLAT_AUDIO_MOVE_CLOCKED) return;
  const uint64_t target = PlatAudioFramesSince(d->clockStart);
  while (d->clockFrames < target) {
    const uint32_t n = uint32_t(std::min<uint64_t>(target - d->clockFrames, 0x40000000u));
    MixLocked(d, nullptr, n);
    d->clockFrames += n;
  }
}

bool PcmFormatOk(const PlatWaveFormat& f, bool secondary) {
  if (f.formatTag != PLAT_WAVE_FORMAT_PCM) return false;
  if (f.channels != 1 && f.channels != 2) return false;
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return false;
  if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
  if (secondary && (f.samplesPerSec < PLAT_DSBFREQUENCY_MIN || f.samplesPerSec > PLAT_DSBFREQUENCY_MAX))
    return false;
  return f.samplesPerSec > 0;
}

PlatAudioBuffer* NewBuffer(PlatAudioDevice* d) {
  PlatAudioBuffer* b = new (std::nothrow) PlatAudioBuffer;
  if (!b) return nullptr;
  b->device = d;
  S().live++;
  return b;
}

// Secondary buffers only: primary buffers have nothing to play.
bool Secondary(const PlatAudioBuffer* b) { return b && !b->primary; }

// Falls back to the clocked output: the device plays nowhere but keeps time.
void RunSilent(PlatAudioDevice* d, const char* why) {
  std::string line = "audio: the sound output would not open (";
  line += why ? why : "unknown reason";
  line += "); running silent\n";
  PlatDebugOutput(line.c_str());
  // The player hears nothing and should know why.
  PlatUserNotice(("No sound output could be opened (" + std::string(why ? why : "unknown reason") +
                  "): the game runs silent.\n").c_str());
  d->backend = PlatAudioHeadlessBackend();
}

}  // namespace

uintptr_t& PlatAudioBackendData(PlatAudioDevice* device) { return device->backendData; }

std::mutex& PlatAudioMutex() { return S().mu; }

void PlatAudioCatchUpLocked(PlatAudioDevice* device) { CatchUpLocked(device); }

PlatAudioDevice* PlatAudioNewestDeviceLocked() {
  const auto& list = S().devices;
  return list.empty() ? nullptr : list.back();
}

void PlatAudioAttachSourceLocked(PlatAudioDevice* device, PlatAudioSource* source) {
  if (source->device == device) return;
  PlatAudioDetachSourceLocked(source);
  if (!device) return;
  CatchUpLocked(device);
  device->sources.push_back(source);
  source->device = device;
}

void PlatAudioDetachSourceLocked(PlatAudioSource* source) {
  PlatAudioDevice* d = source->device;
  if (!d) return;
  CatchUpLocked(d);
  d->sources.erase(std::remove(d->sources.begin(), d->sources.end(), source), d->sources.end());
  source->device = nullptr;
}

int PlatAudioSelectBackend(const char* name) { return backend.Select(name); }
const char* PlatAudioBackendName() { return backend.Name(); }

// ---- the device -----------------------------------------------------------------------

int32_t PlatAudioCreate(PlatAudioDevice** out) {
  if (!out) return PLAT_DSERR_INVALIDPARAM;
  *out = nullptr;
  if (Fails(PLAT_AUDIO_CALL_CREATE)) return PLAT_DSERR_GENERIC;
  PlatAudioDevice* d = new (std::nothrow) PlatAudioDevice;
  if (!d) return PLAT_DSERR_OUTOFMEMORY;
  d->backend = backend.Get();
  S().live++;
  *out = d;
  return PLAT_DS_OK;
}

int32_t PlatAudioInitialize(PlatAudioDevice* d, const PlatAudioGuid*) {
  if (!d) return PLAT_DSERR_INVALIDPARAM;
  if (d->initialized) return PLAT_DSERR_ALREADYINITIALIZED;
  if (Fails(PLAT_AUDIO_CALL_INITIALIZE)) return PLAT_DSERR_NODRIVER;
  const char* why = nullptr;
  if (d->backend->open(d, &why) != 0) RunSilent(d, why);
  std::lock_guard<std::mutex> l(S().mu);
  d->clockStart = PlatPerfCounter();
  d->clockFrames = 0;
  d->initialized = true;
  S().devices.push_back(d);
  return PLAT_DS_OK;
}

int32_t PlatAudioSetCooperativeLevel(PlatAudioDevice* d, PlatWnd window, uint32_t level) {
  if (!d || level < PLAT_DSSCL_NORMAL || level > PLAT_DSSCL_EXCLUSIVE) return PLAT_DSERR_INVALIDPARAM;
  if (!d->initialized) return PLAT_DSERR_UNINITIALIZED;
  if (Fails(PLAT_AUDIO_CALL_COOPERATIVE_LEVEL)) return PLAT_DSERR_GENERIC;
  d->window = window;
  d->level = level;
  return PLAT_DS_OK;
}

int32_t PlatAudioGetCaps(PlatAudioDevice* d, PlatAudioCaps* caps) {
  if (!d || !caps) return PLAT_DSERR_INVALIDPARAM;
  if (!d->initialized) return PLAT_DSERR_UNINITIALIZED;
  caps->flags = PLAT_DSCAPS_PRIMARYMONO | PLAT_DSCAPS_PRIMARYSTEREO | PLAT_DSCAPS_PRIMARY8BIT |
                PLAT_DSCAPS_PRIMARY16BIT | PLAT_DSCAPS_CONTINUOUSRATE | PLAT_DSCAPS_SECONDARYMONO |
                PLAT_DSCAPS_SECONDARYSTEREO | PLAT_DSCAPS_SECONDARY8BIT | PLAT_DSCAPS_SECONDARY16BIT;
  caps->minSecondaryRate = PLAT_DSBFREQUENCY_MIN;
  caps->maxSecondaryRate = PLAT_DSBFREQUENCY_MAX;
  caps->totalHwMemBytes = 0;
  caps->freeHwMemBytes = 0;
  return PLAT_DS_OK;
}

int32_t PlatAudioCreateBuffer(PlatAudioDevice* d, const PlatAudioBufferDesc* desc,
                              PlatAudioBuffer** out) {
  if (!out) return PLAT_DSERR_INVALIDPARAM;
  *out = nullptr;
  if (!d || !desc) return PLAT_DSERR_INVALIDPARAM;
  if (!d->initialized) return PLAT_DSERR_UNINITIALIZED;
  if (desc->flags & PLAT_DSBCAPS_PRIMARYBUFFER) {
    if (Fails(PLAT_AUDIO_CALL_CREATE_PRIMARY)) return PLAT_DSERR_GENERIC;
    if (desc->bytes != 0 || desc->format) return PLAT_DSERR_INVALIDPARAM;
    if (d->primary) return PLAT_DSERR_INVALIDCALL;
    PlatAudioBuffer* b = NewBuffer(d);
    if (!b) return PLAT_DSERR_OUTOFMEMORY;
    b->primary = true;
    b->flags = desc->flags;
    b->format = {PLAT_WAVE_FORMAT_PCM, 2, 22050, 22050 * 2, 2, 8, 0};
    d->primary = b;
    *out = b;
    return PLAT_DS_OK;
  }
  if (Fails(PLAT_AUDIO_CALL_CREATE_BUFFER)) return PLAT_DSERR_GENERIC;
  if (!desc->format || !PcmFormatOk(*desc->format, true)) return PLAT_DSERR_INVALIDPARAM;
  if (desc->bytes < PLAT_DSBSIZE_MIN || desc->bytes > PLAT_DSBSIZE_MAX || desc->bytes < desc->format->blockAlign)
    return PLAT_DSERR_INVALIDPARAM;
  auto pcm = std::make_shared<std::vector<unsigned char>>();
  try {
    pcm->assign(desc->bytes, desc->format->bitsPerSample == 8 ? 0x80 : 0);
  } catch (const std::bad_alloc&) {
    return PLAT_DSERR_OUTOFMEMORY;
  }
  PlatAudioBuffer* b = NewBuffer(d);
  if (!b) return PLAT_DSERR_OUTOFMEMORY;
  b->flags = desc->flags;
  b->format = *desc->format;
  b->format.extraSize = 0;
  b->pcm = std::move(pcm);
  const PlatWaveFormat& f = b->format;
  b->voice = {b->pcm->data(), desc->bytes / f.blockAlign, f.channels, f.bitsPerSample, f.samplesPerSec, 0, 0, 0};
  std::lock_guard<std::mutex> l(S().mu);
  d->buffers.push_back(b);
  *out = b;
  return PLAT_DS_OK;
}

int32_t PlatAudioDuplicateBuffer(PlatAudioDevice* d, PlatAudioBuffer* source, PlatAudioBuffer** out) {
  if (!out) return PLAT_DSERR_INVALIDPARAM;
  *out = nullptr;
  if (!d || !Secondary(source) || source->device != d) return PLAT_DSERR_INVALIDPARAM;
  if (!d->initialized) return PLAT_DSERR_UNINITIALIZED;
  if (Fails(PLAT_AUDIO_CALL_DUPLICATE)) return PLAT_DSERR_GENERIC;
  PlatAudioBuffer* b = NewBuffer(d);
  if (!b) return PLAT_DSERR_OUTOFMEMORY;
  b->flags = source->flags;
  b->format = source->format;
  b->pcm = source->pcm;
  std::lock_guard<std::mutex> l(S().mu);  // the source's play state may be moving
  b->voice = source->voice;
  b->voice.position = 0;
  b->voice.playing = 0;
  b->voice.looping = 0;
  d->buffers.push_back(b);
  *out = b;
  return PLAT_DS_OK;
}

void PlatAudioRelease(PlatAudioDevice* d) {
  if (!d) return;
  if (d->initialized) d->backend->close(d);  // outside the mutex: the callback may wait on it
  {
    std::lock_guard<std::mutex> l(S().mu);
    auto& list = S().devices;
    list.erase(std::remove(list.begin(), list.end(), d), list.end());
    for (PlatAudioBuffer* b : d->buffers) b->device = nullptr;
    for (PlatAudioSource* src : d->sources) src->device = nullptr;
    if (d->primary) d->primary->device = nullptr;
  }
  delete d;
  S().live--;
}

const char* PlatAudioDeviceOutputName(PlatAudioDevice* d) { return d ? d->backend->name : ""; }

namespace {

struct Listing {
  PlatAudioListCallback callback;
  void* context;
  uint32_t index;
  bool stopped;
};

void ListOne(const char* module, const char* description, void* context) {
  Listing& l = *static_cast<Listing*>(context);
  if (l.stopped) return;
  const std::string sjisModule = PlatUtf8ToSjis(module);
  const std::string sjisDescription = PlatUtf8ToSjis(description);
  // The first output is the default one, as a listing reports it.
  PlatAudioGuid guid{l.index};
  const PlatAudioGuid* id = l.index == 0 ? nullptr : &guid;
  l.index++;
  if (!l.callback(id, sjisDescription.c_str(), sjisModule.c_str(), l.context)) l.stopped = true;
}

}  // namespace

int32_t PlatAudioListOutputs(PlatAudioListCallback callback, void* context) {
  if (Fails(PLAT_AUDIO_CALL_LIST_LOAD)) return PLAT_AUDIO_LIST_NOLOAD;
  if (Fails(PLAT_AUDIO_CALL_LIST_LOOKUP)) return PLAT_AUDIO_LIST_NOLOOKUP;
  if (!callback) return PLAT_DSERR_INVALIDPARAM;
  Listing l{callback, context, 0, false};
  backend.Get()->list(ListOne, &l);
  return PLAT_AUDIO_LIST_OK;
}

void PlatAudioService() {
  std::lock_guard<std::mutex> l(S().mu);
  for (PlatAudioDevice* d : S().devices) CatchUpLocked(d);
}

void PlatAudioMix(PlatAudioDevice* d, int16_t* out, uint32_t frames) {
  std::lock_guard<std::mutex> l(S().mu);
  while (frames > 0) {
    const uint32_t n = std::min(frames, kMixChunk);
    d->sums.assign(size_t(n) * 2, 0);
    MixLocked(d, d->sums.data(), n);
    PlatAudioClipMix(d->sums.data(), out, n);
    out += size_t(n) * 2;
    frames -= n;
  }
}

int32_t PlatAudioManualPull(uint32_t frames, int16_t* out) {
  PlatAudioDevice* d = nullptr;
  {
    std::lock_guard<std::mutex> l(S().mu);
    for (PlatAudioDevice* each : S().devices)
      if (each->backend == PlatAudioManualBackend()) d = each;
  }
  if (!d || !out) return -1;
  PlatAudioMix(d, out, frames);
  return int32_t(frames);
}

// ---- buffers --------------------------------------------------------------------------

int32_t PlatAudioBufferSetFormat(PlatAudioBuffer* b, const PlatWaveFormat* format) {
  if (!b || !format) return PLAT_DSERR_INVALIDPARAM;
  if (!b->primary) return PLAT_DSERR_INVALIDCALL;
  if (Fails(PLAT_AUDIO_CALL_SET_FORMAT)) return PLAT_DSERR_GENERIC;
  if (!PcmFormatOk(*format, false)) return PLAT_DSERR_INVALIDPARAM;
  b->format = *format;
  b->format.extraSize = 0;
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferLock(PlatAudioBuffer* b, uint32_t offset, uint32_t bytes, void** part1,
                            uint32_t* bytes1, void** part2, uint32_t* bytes2) {
  if (!Secondary(b) || !part1 || !bytes1) return PLAT_DSERR_INVALIDPARAM;
  *part1 = nullptr;
  *bytes1 = 0;
  if (part2) *part2 = nullptr;
  if (bytes2) *bytes2 = 0;
  if (Fails(PLAT_AUDIO_CALL_LOCK)) return PLAT_DSERR_GENERIC;
  const uint32_t size = uint32_t(b->pcm->size());
  if (bytes == 0 || bytes > size || offset >= size) return PLAT_DSERR_INVALIDPARAM;
  unsigned char* base = b->pcm->data();
  const uint32_t first = std::min(bytes, size - offset);
  if (first < bytes && (!part2 || !bytes2)) return PLAT_DSERR_INVALIDPARAM;
  *part1 = base + offset;
  *bytes1 = first;
  if (first < bytes) {
    *part2 = base;
    *bytes2 = bytes - first;
  }
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferUnlock(PlatAudioBuffer* b, void* part1, uint32_t bytes1, void* part2,
                              uint32_t bytes2) {
  if (!Secondary(b)) return PLAT_DSERR_INVALIDPARAM;
  if (Fails(PLAT_AUDIO_CALL_UNLOCK)) return PLAT_DSERR_GENERIC;
  const unsigned char* base = b->pcm->data();
  const size_t size = b->pcm->size();
  auto inside = [&](const void* p, uint32_t n) {
    if (!p) return n == 0;
    const auto* c = static_cast<const unsigned char*>(p);
    return c >= base && size_t(c - base) + n <= size;
  };
  if (!inside(part1, bytes1) || !inside(part2, bytes2)) return PLAT_DSERR_INVALIDPARAM;
  // Taking the mutex orders the caller's writes before the mixer's next reads.
  std::lock_guard<std::mutex> l(S().mu);
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferPlay(PlatAudioBuffer* b, uint32_t flags) {
  if (!b) return PLAT_DSERR_INVALIDPARAM;
  if (Fails(PLAT_AUDIO_CALL_PLAY)) return PLAT_DSERR_GENERIC;
  if (b->primary) return PLAT_DS_OK;
  std::lock_guard<std::mutex> l(S().mu);
  CatchUpLocked(b->device);
  b->voice.playing = 1;
  b->voice.looping = (flags & PLAT_DSBPLAY_LOOPING) ? 1 : 0;
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferStop(PlatAudioBuffer* b) {
  if (!b) return PLAT_DSERR_INVALIDPARAM;
  if (b->primary) return PLAT_DS_OK;
  std::lock_guard<std::mutex> l(S().mu);
  CatchUpLocked(b->device);
  b->voice.playing = 0;
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferGetStatus(PlatAudioBuffer* b, uint32_t* status) {
  if (!b || !status) return PLAT_DSERR_INVALIDPARAM;
  *status = 0;
  if (b->primary) return PLAT_DS_OK;
  std::lock_guard<std::mutex> l(S().mu);
  CatchUpLocked(b->device);
  if (b->voice.playing) *status = PLAT_DSBSTATUS_PLAYING | (b->voice.looping ? PLAT_DSBSTATUS_LOOPING : 0u);
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferGetCurrentPosition(PlatAudioBuffer* b, uint32_t* play, uint32_t* write) {
  if (!Secondary(b)) return PLAT_DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> l(S().mu);
  CatchUpLocked(b->device);
  const uint32_t bytes = uint32_t(b->voice.position >> 32) * b->format.blockAlign;
  if (play) *play = bytes;
  if (write) *write = bytes;
  return PLAT_DS_OK;
}

int32_t PlatAudioBufferSetCurrentPosition(PlatAudioBuffer* b, uint32_t bytes) {
  if (!Secondary(b)) return PLAT_DSERR_INVALIDPARAM;
  const uint32_t frame = bytes / b->format.blockAlign;
  if (frame >= b->voice.frames) return PLAT_DSERR_INVALIDPARAM;
  std::lock_guard<std::mutex> l(S().mu);
  CatchUpLocked(b->device);
  b->voice.position = uint64_t(frame) << 32;
  return PLAT_DS_OK;
}

void PlatAudioBufferRelease(PlatAudioBuffer* b) {
  if (!b) return;
  {
    std::lock_guard<std::mutex> l(S().mu);
    if (PlatAudioDevice* d = b->device) {
      if (d->primary == b) d->primary = nullptr;
      auto& list = d->buffers;
      list.erase(std::remove(list.begin(), list.end(), b), list.end());
    }
  }
  delete b;
  S().live--;
}

// ---- for tests ------------------------------------------------------------------------

void PlatAudioFakeReset() {
  for (int i = 0; i < PLAT_AUDIO_CALL_COUNT; i++) {
    S().counts[i] = 0;
    S().failFrom[i] = 0;
  }
}

void PlatAudioFakeFailFrom(PlatAudioCall call, int n) {
  S().failFrom[call] = n > 0 ? S().counts[call] + n : 0;
}

int PlatAudioFakeCount(PlatAudioCall call) { return S().counts[call]; }

int PlatAudioLiveObjects() { return S().live; }
