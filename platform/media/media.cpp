// The filter graphs, multimedia streams and samples, their references, the stream clock
// and the stream's thread; the fake's script. One recursive mutex guards the objects and
// references; each stream has a mutex of its own for what its thread shares (the
// decoder, the clock and the pending update). The thread takes only its stream's mutex,
// so a stream can be ended (its thread joined) under the objects' mutex.
#include "platform/media/media.h"

#include "platform/backend/chooser.h"
#include "platform/backend/fakecalls.h"
#include "platform/ddraw/surfacememory.h"
#include "platform/fs/fs.h"
#include "platform/media/fake/mediafake.h"
#include "platform/media/mediafile.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct PlatMediaBackend {
  const char* name;
  bool fake;
};
const PlatMediaBackend kStreamBackend{"stream", false};
const PlatMediaBackend kFakeBackend{"fake", true};
const PlatMediaBackend* StreamBackend() { return &kStreamBackend; }
const PlatMediaBackend* FakeBackend() { return &kFakeBackend; }
const PlatBackendOption<PlatMediaBackend> kBackends[] = {
    {.table = StreamBackend, .platforms = PLAT_PLATFORM_SDL | PLAT_PLATFORM_HEADLESS},
    {.table = FakeBackend, .platforms = 0},
};
PlatBackendChoice<PlatMediaBackend> backend(kBackends, PLAT_BACKEND_SWITCHABLE);

const char* const kIidNames[] = {"",           "GraphBuilder",  "MediaControl",          "MediaSeeking",
                                 "BasicAudio", "MultiMediaStream", "MediaStream", "AMMediaStream",
                                 "DirectDrawMediaStream", "StreamSample"};

struct Sample {
  int refs = 1;
  PlatDDSurface surface = 0;
  PlatRect rect{};
  bool pending = false;
  PlatEvent* event = nullptr;        // the caller's, signalled when the pending update ends
  PlatEvent* done = nullptr;         // ours, set whenever no update is pending
  int32_t status = PLAT_MEDIA_OK;    // how the last update ended
};

struct Graph {
  int refs = 0;
};

struct Stream {
  int refs = 0;
  bool fake = false;
  uint32_t graph = 0;  // a reference is held while initialised
  bool initialised = false;
  bool video = false, audio = false;
  PlatDDraw directDraw = 0;
  bool open = false;
  MediaFile file;
  std::map<uint32_t, std::unique_ptr<Sample>> samples;

  // Shared with the thread, under mu.
  std::mutex mu;
  uint32_t state = PLAT_STREAMSTATE_STOP;
  int64_t base = 0;        // stream time when the clock last started or was held
  int64_t runStartNs = 0;  // platform clock then
  int64_t nextFrame = 0;
  Sample* pending = nullptr;
  bool stop = false;
  PlatThread* thread = nullptr;
  PlatEvent* wake = nullptr;
};

struct Ref {
  PlatMediaIid iid;
  uint32_t object;  // a graph or a stream
  uint32_t part;    // a media stream's purpose, or a sample's id
};

struct Media {
  std::recursive_mutex mu;
  uint32_t next = 1;
  std::map<uint32_t, Graph> graphs;
  std::map<uint32_t, std::unique_ptr<Stream>> streams;
  std::map<uint32_t, Ref> refs;
  FakeCalls fake;
  PlatMediaFakeScript script;
  std::deque<int32_t> updates;
  std::map<std::string, std::vector<int64_t>> arguments;
};

Media& M() {
  static Media* m = [] {
    Media* made = new Media;
    made->fake.family = "media";
    return made;
  }();
  return *m;
}

typedef std::lock_guard<std::recursive_mutex> Lock;

enum Kind : uint32_t { KIND_REF = 0x4D, KIND_OBJECT = 0x4E };

#define ENTER(name)               \
  Media& m = M();                 \
  Lock lock(m.mu);                \
  if (int32_t injected = m.fake.Enter(name)) return injected

const Ref* FindRef(Media& m, PlatMediaRef ref) {
  auto it = m.refs.find(ref);
  return it == m.refs.end() ? nullptr : &it->second;
}

bool IsGraphIid(PlatMediaIid iid) { return iid >= PLAT_MEDIA_GRAPH_BUILDER && iid <= PLAT_MEDIA_BASIC_AUDIO; }
bool IsMediaStreamIid(PlatMediaIid iid) { return iid >= PLAT_MEDIA_STREAM && iid <= PLAT_MEDIA_DDRAW_STREAM; }

// The stream a reference of the given interface reaches, or null.
Stream* StreamOf(Media& m, PlatMediaRef ref, PlatMediaIid iid, const Ref** out = nullptr) {
  const Ref* r = FindRef(m, ref);
  if (!r || r->iid != iid) return nullptr;
  auto it = m.streams.find(r->object);
  if (it == m.streams.end()) return nullptr;
  if (out) *out = r;
  return it->second.get();
}

Sample* SampleOf(Media& m, PlatMediaRef ref, Stream** stream) {
  const Ref* r = nullptr;
  Stream* s = StreamOf(m, ref, PLAT_MEDIA_SAMPLE, &r);
  if (!s) return nullptr;
  auto it = s->samples.find(r->part);
  if (it == s->samples.end()) return nullptr;
  *stream = s;
  return it->second.get();
}

PlatMediaRef NewRef(Media& m, PlatMediaIid iid, uint32_t object, uint32_t part) {
  const PlatMediaRef ref = NextKindHandle(m.next, KIND_REF);
  m.refs[ref] = Ref{iid, object, part};
  return ref;
}

void Record(Media& m, const char* operation, int64_t argument) { m.arguments[operation].push_back(argument); }

// ---- the clock ----------------------------------------------------------------------------

int64_t NowNs() {
  const int64_t frequency = PlatPerfFrequency();
  const int64_t counter = PlatPerfCounter();
  if (frequency == 1000000000) return counter;
  return frequency > 0 ? int64_t((__int128)counter * 1000000000 / frequency) : counter;
}

// Under the stream's mutex: the stream's time now.
int64_t StreamTime(const Stream& s) {
  if (s.state != PLAT_STREAMSTATE_RUN) return s.base;
  return s.base + (NowNs() - s.runStartNs) / 100;
}

void HoldClock(Stream& s) {
  if (s.state != PLAT_STREAMSTATE_RUN) return;
  s.base = StreamTime(s);
  s.state = PLAT_STREAMSTATE_STOP;
}

// How long until an update can end (0: now), in stream time.
int64_t TimeUntilDue(const Stream& s, int64_t now) {
  const MediaFile& f = s.file;
  const int64_t due = s.nextFrame >= f.frameCount ? f.frameCount * f.timePerFrame : s.nextFrame * f.timePerFrame;
  return now >= due ? 0 : due - now;
}

// Under the stream's mutex, once an update can end: the newest frame that is due into
// the sample's surface, or the end of the stream.
int32_t Deliver(Stream& s, Sample& sample, int64_t now) {
  MediaFile& f = s.file;
  if (s.nextFrame >= f.frameCount) return PLAT_MS_S_ENDOFSTREAM;
  const int64_t frame = std::min(std::max(s.nextFrame, now / f.timePerFrame), f.frameCount - 1);
  MediaFileDecode(&f, frame);
  s.nextFrame = frame + 1;
  return MediaFileWrite(&f, sample.surface, sample.rect);
}

// Under the stream's mutex: ends the sample's pending update with the status.
void Finish(Stream& s, Sample& sample, int32_t status) {
  PlatEvent* event = sample.event;
  sample.pending = false;
  sample.event = nullptr;
  sample.status = status;
  if (s.pending == &sample) s.pending = nullptr;
  if (event) PlatEventSet(event);
  PlatEventSet(sample.done);
}

void StreamThread(void* arg) {
  Stream& s = *static_cast<Stream*>(arg);
  std::unique_lock<std::mutex> lock(s.mu);
  while (!s.stop) {
    int64_t deadlineNs = -1;
    if (s.pending && s.state == PLAT_STREAMSTATE_RUN) {
      const int64_t now = StreamTime(s);
      const int64_t left = TimeUntilDue(s, now);
      if (left == 0) {
        Sample& sample = *s.pending;
        Finish(s, sample, Deliver(s, sample, now));
        continue;
      }
      // When the frame is due on the platform clock: a deadline that holds however late
      // the wait begins.
      deadlineNs = s.runStartNs + (now + left - s.base) * 100;
    }
    lock.unlock();
    if (deadlineNs < 0) PlatEventWait(s.wake, PLAT_INFINITE);
    else PlatEventWaitUntil(s.wake, deadlineNs);
    lock.lock();
  }
}

// ---- ending objects -----------------------------------------------------------------------

// Under the stream's mutex: the sample's update is taken back; the thread has let go of it.
void AbortLocked(Stream& s, Sample& sample) {
  if (!sample.pending) return;
  sample.pending = false;
  sample.event = nullptr;
  sample.status = PLAT_MS_S_NOUPDATE;
  if (s.pending == &sample) s.pending = nullptr;
  PlatEventSet(sample.done);
}

void ReleaseGraph(Media& m, uint32_t id) {
  auto it = m.graphs.find(id);
  if (it != m.graphs.end() && --it->second.refs <= 0) m.graphs.erase(it);
}

void EndStream(Media& m, uint32_t id) {
  auto it = m.streams.find(id);
  if (it == m.streams.end()) return;
  std::unique_ptr<Stream> s = std::move(it->second);
  m.streams.erase(it);
  if (s->thread) {
    {
      std::lock_guard<std::mutex> hold(s->mu);
      s->stop = true;
    }
    PlatEventSet(s->wake);
    PlatThreadJoin(s->thread);
  }
  for (auto& [sampleId, sample] : s->samples) {
    if (sample->surface) PlatDDSurfaceRelease(sample->surface);
    PlatEventDestroy(sample->done);
  }
  MediaFileClose(&s->file);
  if (s->wake) PlatEventDestroy(s->wake);
  if (s->initialised) ReleaseGraph(m, s->graph);
}

void ReleaseStream(Media& m, uint32_t id) {
  auto it = m.streams.find(id);
  if (it != m.streams.end() && --it->second->refs <= 0) EndStream(m, id);
}

void ReleaseSample(Media& m, Stream& s, uint32_t sampleId, uint32_t streamId) {
  auto it = s.samples.find(sampleId);
  if (it == s.samples.end()) return;
  Sample& sample = *it->second;
  if (--sample.refs > 0) return;
  {
    std::lock_guard<std::mutex> hold(s.mu);
    AbortLocked(s, sample);
  }
  if (sample.surface) PlatDDSurfaceRelease(sample.surface);
  PlatEventDestroy(sample.done);
  s.samples.erase(it);
  ReleaseStream(m, streamId);
}

PlatDDPixelFormat Xrgb8888() {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_RGB;
  f.bitCount = 32;
  f.rMask = 0xFF0000;
  f.gMask = 0xFF00;
  f.bMask = 0xFF;
  return f;
}

}  // namespace

// ---- back end ---------------------------------------------------------------------------------

int PlatMediaSelectBackend(const char* name) { return backend.Select(name); }
const char* PlatMediaBackendName() { return backend.Name(); }

// ---- objects and references -----------------------------------------------------------------

int32_t PlatMediaCreateFilterGraph(PlatMediaRef* graphBuilder) {
  ENTER("CreateFilterGraph");
  if (!graphBuilder) return PLAT_MEDIA_E_POINTER;
  const uint32_t id = NextKindHandle(m.next, KIND_OBJECT);
  m.graphs[id].refs = 1;
  *graphBuilder = NewRef(m, PLAT_MEDIA_GRAPH_BUILDER, id, 0);
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaCreateMultiMediaStream(PlatMediaRef* stream) {
  ENTER("CreateMultiMediaStream");
  if (!stream) return PLAT_MEDIA_E_POINTER;
  const uint32_t id = NextKindHandle(m.next, KIND_OBJECT);
  auto s = std::make_unique<Stream>();
  s->refs = 1;
  s->fake = backend.Get()->fake;
  m.streams[id] = std::move(s);
  *stream = NewRef(m, PLAT_MEDIA_MULTIMEDIA_STREAM, id, 0);
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaQueryInterface(PlatMediaRef ref, PlatMediaIid iid, PlatMediaRef* out) {
  Media& m = M();
  Lock lock(m.mu);
  const bool known = iid >= PLAT_MEDIA_GRAPH_BUILDER && iid <= PLAT_MEDIA_SAMPLE;
  const std::string name = std::string("Query") + (known ? kIidNames[iid] : "Unknown");
  if (int32_t injected = m.fake.Enter(name.c_str())) return injected;
  const Ref* r = FindRef(m, ref);
  if (!r) return PLAT_MEDIA_E_HANDLE;
  if (!out) return PLAT_MEDIA_E_POINTER;
  *out = 0;
  const Ref from = *r;
  if (IsGraphIid(from.iid)) {
    if (!IsGraphIid(iid)) return PLAT_MEDIA_E_NOINTERFACE;
    m.graphs[from.object].refs++;
  } else {
    auto it = m.streams.find(from.object);
    if (it == m.streams.end()) return PLAT_MEDIA_E_HANDLE;
    Stream& s = *it->second;
    bool ok = iid == from.iid;
    if (IsMediaStreamIid(from.iid))
      ok = iid == PLAT_MEDIA_STREAM || iid == PLAT_MEDIA_AM_STREAM ||
           (iid == PLAT_MEDIA_DDRAW_STREAM && from.part == PLAT_MSPID_PRIMARY_VIDEO);
    if (!ok) return PLAT_MEDIA_E_NOINTERFACE;
    if (from.iid == PLAT_MEDIA_SAMPLE) s.samples[from.part]->refs++;
    else s.refs++;
  }
  *out = NewRef(m, iid, from.object, from.part);
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaRelease(PlatMediaRef ref) {
  Media& m = M();
  Lock lock(m.mu);
  auto it = m.refs.find(ref);
  const std::string name =
      std::string("Release") + (it != m.refs.end() ? kIidNames[it->second.iid] : "Unknown");
  if (int32_t injected = m.fake.Enter(name.c_str())) return injected;
  if (it == m.refs.end()) return PLAT_MEDIA_E_HANDLE;
  const Ref r = it->second;
  m.refs.erase(it);
  if (IsGraphIid(r.iid)) {
    ReleaseGraph(m, r.object);
  } else if (r.iid == PLAT_MEDIA_SAMPLE) {
    auto s = m.streams.find(r.object);
    if (s != m.streams.end()) ReleaseSample(m, *s->second, r.part, r.object);
  } else {
    ReleaseStream(m, r.object);
  }
  return PLAT_MEDIA_OK;
}

// ---- the filter graph ----------------------------------------------------------------------

int32_t PlatMediaControlPause(PlatMediaRef control) {
  ENTER("Pause");
  const Ref* r = FindRef(m, control);
  if (!r || r->iid != PLAT_MEDIA_CONTROL) return PLAT_MEDIA_E_HANDLE;
  Record(m, "Pause", 0);
  for (auto& [id, s] : m.streams) {
    if (!s->initialised || s->graph != r->object) continue;
    std::lock_guard<std::mutex> hold(s->mu);
    HoldClock(*s);
    if (s->open && !s->fake) {
      std::lock_guard<std::mutex> audio(PlatAudioMutex());
      MediaAudioRunLocked(&s->file, false);
    }
  }
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaSeekingGetStopPosition(PlatMediaRef seeking, int64_t* position) {
  ENTER("GetStopPosition");
  const Ref* r = FindRef(m, seeking);
  if (!r || r->iid != PLAT_MEDIA_SEEKING) return PLAT_MEDIA_E_HANDLE;
  if (!position) return PLAT_MEDIA_E_POINTER;
  *position = 0;
  for (auto& [id, s] : m.streams) {
    if (!s->initialised || s->graph != r->object || !s->open) continue;
    *position = s->fake ? m.script.stopPosition : s->file.frameCount * s->file.timePerFrame;
    break;
  }
  return PLAT_MEDIA_OK;
}

// ---- the multimedia stream ------------------------------------------------------------------

int32_t PlatMediaStreamInitialize(PlatMediaRef stream, uint32_t type, uint32_t, PlatMediaRef graph) {
  ENTER("Initialize");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  const Ref* g = FindRef(m, graph);
  if (!g || !IsGraphIid(g->iid)) return PLAT_MEDIA_E_INVALIDARG;
  if (type != PLAT_STREAMTYPE_READ) return PLAT_MEDIA_E_INVALIDARG;
  if (s->initialised) return PLAT_MEDIA_E_WRONGSTATE;
  s->initialised = true;
  s->graph = g->object;
  m.graphs[g->object].refs++;
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaStreamAddMediaStream(PlatMediaRef stream, PlatDDraw directDraw, uint32_t purpose, uint32_t flags) {
  ENTER("AddMediaStream");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!s->initialised) return PLAT_MS_E_NOTINIT;
  if (s->open) return PLAT_MEDIA_E_WRONGSTATE;
  if (purpose == PLAT_MSPID_PRIMARY_VIDEO) {
    if (s->video) return PLAT_MS_E_PURPOSEID;
    if (!PlatDDrawIsObject(directDraw)) return PLAT_MEDIA_E_INVALIDARG;
    s->video = true;
    s->directDraw = directDraw;
    return PLAT_MEDIA_OK;
  }
  if (purpose == PLAT_MSPID_PRIMARY_AUDIO) {
    if (s->audio) return PLAT_MS_E_PURPOSEID;
    if (!(flags & PLAT_AMMSF_ADDDEFAULTRENDERER) || directDraw) return PLAT_MEDIA_E_INVALIDARG;
    s->audio = true;
    return PLAT_MEDIA_OK;
  }
  return PLAT_MS_E_PURPOSEID;
}

int32_t PlatMediaStreamOpenFile(PlatMediaRef stream, const char* fileName, uint32_t) {
  ENTER("OpenFile");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!fileName) return PLAT_MEDIA_E_POINTER;
  if (!s->initialised || !s->video) return PLAT_MS_E_NOTINIT;
  if (s->open) return PLAT_MEDIA_E_WRONGSTATE;
  if (s->fake) {
    PlatFileInfo info;
    if (PlatFileStat(fileName, &info) != 0 || info.isDirectory) return PLAT_MEDIA_E_FILENOTFOUND;
    s->file.width = m.script.width;
    s->file.height = m.script.height;
    s->file.timePerFrame = m.script.timePerFrame;
  } else {
    const int32_t opened = MediaFileOpen(&s->file, fileName);
    if (opened != PLAT_MEDIA_OK) {
      MediaFileClose(&s->file);
      s->file = MediaFile{};
      return opened;
    }
    if (!s->audio) s->file.audio.usable = false;
    s->wake = PlatEventCreate(0, 0);
    s->thread = s->wake ? PlatThreadStart(StreamThread, s) : nullptr;
    if (!s->thread) {
      if (s->wake) PlatEventDestroy(s->wake);
      s->wake = nullptr;
      MediaFileClose(&s->file);
      s->file = MediaFile{};
      return PLAT_MEDIA_E_OUTOFMEMORY;
    }
  }
  s->open = true;
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaStreamGetMediaStream(PlatMediaRef stream, uint32_t purpose, PlatMediaRef* mediaStream) {
  ENTER("GetMediaStream");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!mediaStream) return PLAT_MEDIA_E_POINTER;
  *mediaStream = 0;
  if (!(purpose == PLAT_MSPID_PRIMARY_VIDEO && s->video) && !(purpose == PLAT_MSPID_PRIMARY_AUDIO && s->audio))
    return PLAT_MS_E_NOSTREAM;
  s->refs++;
  *mediaStream = NewRef(m, PLAT_MEDIA_STREAM, m.refs[stream].object, purpose);
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaStreamSetState(PlatMediaRef stream, uint32_t state) {
  ENTER("SetState");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (state != PLAT_STREAMSTATE_STOP && state != PLAT_STREAMSTATE_RUN) return PLAT_MEDIA_E_INVALIDARG;
  if (!s->open) return PLAT_MS_E_NOTINIT;
  Record(m, "SetState", state);
  {
    std::lock_guard<std::mutex> hold(s->mu);
    if (state == PLAT_STREAMSTATE_RUN && s->state != PLAT_STREAMSTATE_RUN) {
      s->runStartNs = NowNs();
      s->state = PLAT_STREAMSTATE_RUN;
    } else if (state == PLAT_STREAMSTATE_STOP) {
      HoldClock(*s);
    }
    if (!s->fake) {
      std::lock_guard<std::mutex> audio(PlatAudioMutex());
      MediaAudioRunLocked(&s->file, state == PLAT_STREAMSTATE_RUN);
    }
  }
  if (s->wake) PlatEventSet(s->wake);
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaStreamGetState(PlatMediaRef stream, uint32_t* state) {
  ENTER("GetState");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!state) return PLAT_MEDIA_E_POINTER;
  std::lock_guard<std::mutex> hold(s->mu);
  *state = s->state;
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaStreamGetTime(PlatMediaRef stream, int64_t* time) {
  ENTER("GetTime");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!time) return PLAT_MEDIA_E_POINTER;
  if (s->fake) {
    *time = m.script.time;
    return PLAT_MEDIA_OK;
  }
  std::lock_guard<std::mutex> hold(s->mu);
  *time = StreamTime(*s);
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaStreamSeek(PlatMediaRef stream, int64_t time) {
  ENTER("Seek");
  Stream* s = StreamOf(m, stream, PLAT_MEDIA_MULTIMEDIA_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!s->open) return PLAT_MS_E_NOTINIT;
  Record(m, "Seek", time);
  if (s->fake) return PLAT_MEDIA_OK;
  const int64_t to = std::max<int64_t>(time, 0);
  {
    std::lock_guard<std::mutex> hold(s->mu);
    s->base = to;
    s->runStartNs = NowNs();
    s->nextFrame = std::min(to / s->file.timePerFrame, s->file.frameCount);
    std::lock_guard<std::mutex> audio(PlatAudioMutex());
    MediaAudioSeekLocked(&s->file, to);
  }
  PlatEventSet(s->wake);
  return PLAT_MEDIA_OK;
}

// ---- the video stream ---------------------------------------------------------------------------

int32_t PlatMediaDDStreamGetFormat(PlatMediaRef ddStream, PlatDDSurfaceDesc* desired) {
  ENTER("GetFormat");
  Stream* s = StreamOf(m, ddStream, PLAT_MEDIA_DDRAW_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!desired) return PLAT_MEDIA_E_POINTER;
  if (!s->open) return PLAT_MS_E_NOTINIT;
  PlatDDSurfaceDesc mode{};
  mode.size = sizeof mode;
  const bool displayed = PlatDDrawGetDisplayMode(s->directDraw, &mode) == PLAT_DD_OK;
  *desired = PlatDDSurfaceDesc{};
  desired->size = sizeof *desired;
  desired->flags = PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
  desired->width = uint32_t(s->file.width);
  desired->height = uint32_t(s->file.height);
  desired->pixelFormat = displayed && MediaFormatWritable(mode.pixelFormat) ? mode.pixelFormat : Xrgb8888();
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaDDStreamGetTimePerFrame(PlatMediaRef ddStream, int64_t* time) {
  ENTER("GetTimePerFrame");
  Stream* s = StreamOf(m, ddStream, PLAT_MEDIA_DDRAW_STREAM);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!time) return PLAT_MEDIA_E_POINTER;
  if (!s->open) return PLAT_MS_E_NOTINIT;
  *time = s->file.timePerFrame;
  return PLAT_MEDIA_OK;
}

int32_t PlatMediaDDStreamCreateSample(PlatMediaRef ddStream, PlatDDSurface surface, const PlatRect* rect,
                                      uint32_t, PlatMediaRef* out) {
  ENTER("CreateSample");
  const Ref* r = nullptr;
  Stream* s = StreamOf(m, ddStream, PLAT_MEDIA_DDRAW_STREAM, &r);
  if (!s) return PLAT_MEDIA_E_HANDLE;
  if (!out) return PLAT_MEDIA_E_POINTER;
  *out = 0;
  if (!s->open) return PLAT_MS_E_NOTINIT;
  const int32_t w = s->file.width, h = s->file.height;
  if (w < 1 || h < 1) return PLAT_MS_E_INCOMPATIBLE;
  auto sample = std::make_unique<Sample>();
  PlatRect frame{0, 0, w, h};
  if (surface) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    if (int32_t e = PlatDDSurfaceGetDesc(surface, &desc)) return e;
    if (!s->fake && !MediaFormatWritable(desc.pixelFormat)) return PLAT_MS_E_INCOMPATIBLE;
    if (rect) frame = *rect;
    if (frame.right - frame.left != w || frame.bottom - frame.top != h || frame.left < 0 || frame.top < 0 ||
        frame.right > int32_t(desc.width) || frame.bottom > int32_t(desc.height))
      return PLAT_MEDIA_E_INVALIDARG;
    if (int32_t e = PlatDDSurfaceAddRef(surface)) return e;
    sample->surface = surface;
  } else {
    // A surface of the sample's own: the display's format where it can be written.
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    desc.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
    desc.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY;
    desc.width = uint32_t(w);
    desc.height = uint32_t(h);
    PlatDDSurfaceDesc mode{};
    mode.size = sizeof mode;
    desc.pixelFormat = PlatDDrawGetDisplayMode(s->directDraw, &mode) == PLAT_DD_OK &&
                               MediaFormatWritable(mode.pixelFormat)
                           ? mode.pixelFormat
                           : Xrgb8888();
    if (s->fake) {
      const PlatMediaFakeScript& f = m.script;
      if (f.ownWidth > 0 && f.ownHeight > 0) {
        desc.width = uint32_t(f.ownWidth);
        desc.height = uint32_t(f.ownHeight);
      }
      desc.pixelFormat = f.ownFormat.size ? f.ownFormat : Xrgb8888();
      if (f.ownRect.right > f.ownRect.left && f.ownRect.bottom > f.ownRect.top) frame = f.ownRect;
    }
    if (int32_t e = PlatDDrawCreateSurface(s->directDraw, &desc, &sample->surface)) return e;
  }
  sample->rect = frame;
  sample->done = PlatEventCreate(1, 1);
  if (!sample->done) {
    PlatDDSurfaceRelease(sample->surface);
    return PLAT_MEDIA_E_OUTOFMEMORY;
  }
  const uint32_t id = NextKindHandle(m.next, KIND_OBJECT);
  s->samples[id] = std::move(sample);
  s->refs++;
  *out = NewRef(m, PLAT_MEDIA_SAMPLE, r->object, id);
  return PLAT_MEDIA_OK;
}

// ---- stream samples -------------------------------------------------------------------------------

int32_t PlatMediaSampleUpdate(PlatMediaRef ref, uint32_t flags, PlatEvent* event) {
  ENTER("Update");
  Stream* s = nullptr;
  Sample* sample = SampleOf(m, ref, &s);
  if (!sample) return PLAT_MEDIA_E_HANDLE;
  Record(m, "Update", flags);
  const bool async = event || (flags & PLAT_SSUPDATE_ASYNC);
  std::unique_lock<std::mutex> hold(s->mu);
  if (sample->pending) return PLAT_MS_E_BUSY;
  if (s->fake) {
    int32_t result = PLAT_MEDIA_OK;
    if (!m.updates.empty()) {
      result = m.updates.front();
      m.updates.pop_front();
    }
    if (result == PLAT_MS_S_PENDING) {
      sample->pending = true;
      sample->event = event;
      PlatEventReset(sample->done);
    }
    sample->status = result;
    return result;
  }
  if (s->state != PLAT_STREAMSTATE_RUN) return PLAT_MS_E_NOTRUNNING;
  for (;;) {
    const int64_t now = StreamTime(*s);
    const int64_t left = TimeUntilDue(*s, now);
    if (left == 0) {
      sample->status = Deliver(*s, *sample, now);
      return sample->status;
    }
    if (async) {
      sample->pending = true;
      sample->event = event;
      sample->status = PLAT_MS_S_PENDING;
      s->pending = sample;
      PlatEventReset(sample->done);
      PlatEventSet(s->wake);
      return PLAT_MS_S_PENDING;
    }
    // A waiting update sleeps on the platform clock (which the manual clock moves on).
    hold.unlock();
    PlatSleep(uint32_t(std::min<int64_t>((left + 9999) / 10000, 1000)));
    hold.lock();
    if (s->state != PLAT_STREAMSTATE_RUN) return PLAT_MS_E_NOTRUNNING;
  }
}

int32_t PlatMediaSampleCompletionStatus(PlatMediaRef ref, uint32_t flags, uint32_t timeoutMs) {
  ENTER("CompletionStatus");
  Stream* s = nullptr;
  Sample* sample = SampleOf(m, ref, &s);
  if (!sample) return PLAT_MEDIA_E_HANDLE;
  std::unique_lock<std::mutex> hold(s->mu);
  if (!sample->pending) return sample->status;
  if (flags & PLAT_COMPSTAT_ABORT) {
    AbortLocked(*s, *sample);
    return PLAT_MS_S_NOUPDATE;
  }
  if ((flags & PLAT_COMPSTAT_WAIT) && timeoutMs) {
    hold.unlock();
    PlatEventWait(sample->done, timeoutMs);
    hold.lock();
  }
  return sample->pending ? PLAT_MS_S_PENDING : sample->status;
}

int32_t PlatMediaSampleGetSurface(PlatMediaRef ref, PlatDDSurface* surface, PlatRect* rect) {
  ENTER("GetSurface");
  Stream* s = nullptr;
  Sample* sample = SampleOf(m, ref, &s);
  if (!sample) return PLAT_MEDIA_E_HANDLE;
  if (surface) {
    if (int32_t e = PlatDDSurfaceAddRef(sample->surface)) return e;
    *surface = sample->surface;
  }
  if (rect) *rect = sample->rect;
  return PLAT_MEDIA_OK;
}

// ---- the fake's script ----------------------------------------------------------------------------

void PlatMediaFakeReset() {
  Media& m = M();
  Lock lock(m.mu);
  std::vector<uint32_t> ids;
  for (auto& [id, s] : m.streams) ids.push_back(id);
  for (uint32_t id : ids) EndStream(m, id);
  m.graphs.clear();
  m.refs.clear();
  m.fake.Reset();
  m.script = PlatMediaFakeScript{};
  m.updates.clear();
  m.arguments.clear();
}

void PlatMediaFakeSetScript(const PlatMediaFakeScript& script) {
  Media& m = M();
  Lock lock(m.mu);
  m.script = script;
}

void PlatMediaFakeFailNext(const char* operation, int count, int32_t error) {
  Media& m = M();
  Lock lock(m.mu);
  m.fake.FailNext(operation, count, error);
}

void PlatMediaFakeFailNth(const char* operation, int n, int32_t error) {
  Media& m = M();
  Lock lock(m.mu);
  m.fake.FailNth(operation, n, error);
}

void PlatMediaFakeLogCalls(int on) {
  Media& m = M();
  Lock lock(m.mu);
  m.fake.logging = on != 0;
}

std::vector<std::string> PlatMediaFakeCalls() {
  Media& m = M();
  Lock lock(m.mu);
  return m.fake.calls;
}

void PlatMediaFakeClearCalls() {
  Media& m = M();
  Lock lock(m.mu);
  m.fake.calls.clear();
  m.arguments.clear();
}

std::vector<int64_t> PlatMediaFakeArguments(const char* operation) {
  Media& m = M();
  Lock lock(m.mu);
  auto it = m.arguments.find(operation);
  return it == m.arguments.end() ? std::vector<int64_t>{} : it->second;
}

void PlatMediaFakeQueueUpdates(const std::vector<int32_t>& results) {
  Media& m = M();
  Lock lock(m.mu);
  m.updates.insert(m.updates.end(), results.begin(), results.end());
}

int PlatMediaFakeComplete(int32_t status) {
  Media& m = M();
  Lock lock(m.mu);
  for (auto it = m.streams.rbegin(); it != m.streams.rend(); ++it) {
    Stream& s = *it->second;
    std::lock_guard<std::mutex> hold(s.mu);
    for (auto sample = s.samples.rbegin(); sample != s.samples.rend(); ++sample)
      if (sample->second->pending) {
        Finish(s, *sample->second, status);
        return 0;
      }
  }
  return -1;
}

int PlatMediaFakeLiveObjects() {
  Media& m = M();
  Lock lock(m.mu);
  size_t n = m.graphs.size() + m.streams.size();
  for (auto& [id, s] : m.streams) n += s->samples.size();
  return int(n);
}

int PlatMediaFakeLiveReferences() {
  Media& m = M();
  Lock lock(m.mu);
  return int(m.refs.size());
}
