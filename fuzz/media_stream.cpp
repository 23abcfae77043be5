// Arbitrary bytes as a movie file for the multimedia stream's stand-in (platform/media):
// it opens them, tells their format and time per frame, binds a sample to a surface of its
// own, runs, and takes 30 updates on the manual clock (completed by its thread, taken back,
// run past the end and sought back, paused and run again); then every reference is
// released. Nothing may crash, read outside a buffer, hang or leak, and no stream object
// may be left.
//
// The engine starts once, headless and windowed, on the manual clock: its DirectDraw object
// makes the surfaces and its sound device takes the Vorbis tracks. The seeds are the movie
// writer's (seeds/media_stream.sh), and the mutator changes the Ogg pages from inside and
// makes their checksums anew, so that the picture decoder sees its packets.
#include "engine/base/log.h"
#include "engine/engine.h"
#include "engine/movie/movie.h"
#include "engine/system/system.h"
#include "platform/kernel/kernel.h"
#include "platform/media/fake/mediafake.h"
#include "platform/media/media.h"
#include "moviefuzz.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string g_path;

void Release(PlatMediaRef* ref) {
  if (*ref && PlatMediaRelease(*ref) != PLAT_MEDIA_OK) abort();
  *ref = 0;
}

// The 30 updates of an open stream, as a movie's draws would ask for them.
void Play(PlatMediaRef graph, PlatMediaRef stream, PlatMediaRef sample, int64_t frameTime, uint32_t seed) {
  PlatEvent* event = PlatEventCreate(1, 0);
  if (!event) abort();
  PlatMediaRef control = 0;
  if (PlatMediaQueryInterface(graph, PLAT_MEDIA_CONTROL, &control) != PLAT_MEDIA_OK) abort();
  if (PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN) != PLAT_MEDIA_OK) abort();
  // A frame time past ten seconds is not waited for: its updates are taken back.
  const uint32_t frameMs = uint32_t(std::min<int64_t>(frameTime / 10000 + 1, 10000));
  for (int step = 0; step < 30; step++) {
    PlatClockAdvance(uint32_t(1 + (seed + uint32_t(step) * 37) % 90));
    PlatEventReset(event);
    const int32_t result = PlatMediaSampleUpdate(sample, 0, event);
    if (result == PLAT_MS_S_PENDING) {
      if (step % 3 == 0) {
        if (PlatMediaSampleCompletionStatus(sample, PLAT_COMPSTAT_ABORT | PLAT_COMPSTAT_WAIT, PLAT_INFINITE) !=
            PLAT_MS_S_NOUPDATE)
          abort();
        continue;
      }
      PlatClockAdvance(frameMs);
      if (frameMs < 10000) {
        if (PlatEventWait(event, PLAT_INFINITE) != PLAT_WAIT_SIGNALED) abort();
      } else {
        PlatMediaSampleCompletionStatus(sample, PLAT_COMPSTAT_ABORT | PLAT_COMPSTAT_WAIT, PLAT_INFINITE);
      }
    } else if (result == PLAT_MS_S_ENDOFSTREAM) {
      PlatMediaStreamSeek(stream, 0);
    }
    if (step == 10) {
      PlatMediaControlPause(control);
      int64_t time = 0;
      PlatMediaStreamGetTime(stream, &time);
      PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN);
    }
  }
  Release(&control);
  PlatEventDestroy(event);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = StartMovieFuzzing("kr_fuzz_media");
  if (!GetMovieDirectDraw()) abort();
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  return MutateOggPages(data, size, maxSize, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(g_path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
  PlatMediaRef graph = 0, stream = 0, video = 0, dd = 0, sample = 0;
  if (PlatMediaCreateFilterGraph(&graph) != PLAT_MEDIA_OK || PlatMediaCreateMultiMediaStream(&stream) != PLAT_MEDIA_OK ||
      PlatMediaStreamInitialize(stream, PLAT_STREAMTYPE_READ, PLAT_AMMSF_NOGRAPHTHREAD, graph) != PLAT_MEDIA_OK ||
      PlatMediaStreamAddMediaStream(stream, GetMovieDirectDraw(), PLAT_MSPID_PRIMARY_VIDEO, 0) != PLAT_MEDIA_OK ||
      PlatMediaStreamAddMediaStream(stream, 0, PLAT_MSPID_PRIMARY_AUDIO, PLAT_AMMSF_ADDDEFAULTRENDERER) !=
          PLAT_MEDIA_OK)
    abort();
  if (PlatMediaStreamOpenFile(stream, g_path.c_str(), 0) == PLAT_MEDIA_OK) {
    if (PlatMediaStreamGetMediaStream(stream, PLAT_MSPID_PRIMARY_VIDEO, &video) != PLAT_MEDIA_OK ||
        PlatMediaQueryInterface(video, PLAT_MEDIA_DDRAW_STREAM, &dd) != PLAT_MEDIA_OK)
      abort();
    PlatDDSurfaceDesc desired{};
    int64_t frameTime = 0;
    if (PlatMediaDDStreamGetFormat(dd, &desired) != PLAT_MEDIA_OK || desired.width == 0 || desired.height == 0 ||
        PlatMediaDDStreamGetTimePerFrame(dd, &frameTime) != PLAT_MEDIA_OK || frameTime < 1)
      abort();
    if (PlatMediaDDStreamCreateSample(dd, 0, nullptr, 0, &sample) == PLAT_MEDIA_OK)
      Play(graph, stream, sample, frameTime, uint32_t(size));
  }
  for (PlatMediaRef* ref : {&sample, &dd, &video, &stream, &graph}) Release(ref);
  if (PlatMediaFakeLiveObjects() != 0 || PlatMediaFakeLiveReferences() != 0) abort();
  return 0;
}
