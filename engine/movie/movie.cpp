#include "engine/movie/movie.h"

#include "engine/base/handle.h"
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/file.h"
#include "engine/movie/decoder.h"
#include "engine/movie/stream.h"
#include "engine/sound/services.h"
#include "engine/sound/soundhandle.h"
#include "engine/state/sysinfo.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <cmath>
#include <new>

namespace {

void* g_movieSlots[MOVIE_TABLE_SIZE];
HandleTable g_movieTable = {HANDLE_TYPE_MOVIE, MOVIE_TABLE_SIZE, g_movieSlots, 0, 0, 0};

// Frames elapsed for t microseconds at the rate, truncated toward zero in 64 bits; a
// time before the start counts as frame 0.
int64_t FrameAt(int64_t microseconds, double rate) {
  const double f = double(microseconds) * rate * 0.000001;
  if (!(f > 0)) return 0;
  if (f >= 9.0e18) return INT64_MAX;
  return int64_t(f);
}

}  // namespace

MovieRecord* LookupMovie(int32_t movie) {
  return static_cast<MovieRecord*>(HandleTableGet(&g_movieTable, movie));
}

int MovieShowsOnOverlay(int32_t movie) {
  const MovieRecord* r = LookupMovie(movie);
  if (!r) return -1;
  return r->surfaceMode == MOVIE_SURFACE_OVERLAY ? 1 : 0;
}

int32_t GetMovieCount() { return g_movieTable.count; }

int32_t MovieHandleAt(int32_t slot) { return HandleTableHandleAt(&g_movieTable, slot); }

int32_t AddMovieRecord(MovieRecord** record) {
  if (g_movieTable.count >= MOVIE_TABLE_SIZE) {
    WriteLog("ムービーの数が許容量を越えました\n");
    return -1;
  }
  void* block = TrackedCalloc(sizeof(MovieRecord), "", 0);
  if (!block) {
    WriteLog("メモリの確保に失敗しました\n");
    return -1;
  }
  MovieRecord* r = new (block) MovieRecord{};
  r->sound = -1;
  const int32_t handle = HandleTableAdd(&g_movieTable, r);
  if (handle == -1) {
    TrackedFree(r);
    return -1;
  }
  if (record) *record = r;
  return handle;
}

int UpdateMovieFrame(int32_t movie, int32_t waitFlag) {
  MovieRecord* r = LookupMovie(movie);
  if (!r) return 0;
  if (!r->ownDecoder) {
    UpdateStreamMovie(r, waitFlag);
    return 0;
  }
  if (!r->decoder) return 0;
  MovieDecoder* d = r->decoder;
  MovieInfo info;
  QueryMovieInfo(d, &info);
  // The opening refuses a frame count or rate of 0, so nothing below divides by 0.
  const int64_t n = info.frameCount;
  if (!r->paused && n > 0) {
    const bool loops = (r->playType & MOVIE_LOOP) != 0;
    const int64_t c = CurrentMovieFrame(d);
    int64_t f;
    if (r->sound != -1) {
      const int32_t ms = GetSoundPositionMs(r->sound);
      if (ms == 0 && IsSoundPlaying(r->sound) == 0) {
        // A sound that played to its end reports position 0 again: the movie stays on
        // the frame it reached rather than going back to the first.
        f = c;
      } else {
        f = FrameAt(int64_t(ms) * 1000, info.frameRate);
        if (f >= n) f = n - 1;
      }
    } else {
      const int64_t t = int64_t(GetTimeMicroseconds(0)) - r->startTime;
      f = FrameAt(t, info.frameRate);
      if (f >= n) f = loops ? f % n : n - 1;
    }
    if (f == c) {
      if (f == n - 1 && !loops && r->sound == -1) {
        r->playRequested = 0;
        r->paused = 1;
      }
    } else if (f > c) {
      AdvanceMovieFrame(d, f - c);
    } else {
      AdvanceMovieFrame(d, n - c + f);
    }
  }
  if (r->frameCallback) {
    r->frameCallback(r, r->callbackData);
    r->frameReady = 1;
  }
  return 0;
}

int PauseMovieHandle(int32_t movie, int32_t keepRequest) {
  MovieRecord* r = LookupMovie(movie);
  if (!r) return -1;
  if (r->paused == 1) return 0;
  if (r->ownDecoder) {
    if (r->sound != -1) g_SoundServices.stopSoundHandleCore(r->sound);
    UpdateMovieFrame(movie, 0);
  } else if (!HoldsMovieSurface(r)) {
    return 0;
  } else {
    PlatMediaControlPause(r->mediaControl);
  }
  r->paused = 1;
  if (keepRequest == 0) r->playRequested = 0;
  return 0;
}

int PauseAllMovieHandles() {
  for (int32_t slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
    const int32_t handle = HandleTableHandleAt(&g_movieTable, slot);
    if (handle != -1) PauseMovieHandle(handle, 1);
  }
  return 0;
}

int ResumeAllMovieHandles() {
  for (int32_t slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
    const int32_t handle = HandleTableHandleAt(&g_movieTable, slot);
    MovieRecord* r = handle == -1 ? nullptr : LookupMovie(handle);
    if (!r || !r->paused || !r->playRequested) continue;
    const int32_t type = r->playType == 0 ? 1 : r->playType;
    if (r->ownDecoder) {
      MovieInfo info;
      QueryMovieInfo(r->decoder, &info);
      const double shown = double(CurrentMovieFrame(r->decoder)) / info.frameRate * 1000000.0;
      r->startTime = int64_t(GetTimeMicroseconds(0)) - int64_t(std::trunc(shown));
      if (r->sound != -1) g_SoundServices.playSoundHandleCore(r->sound, type, 0);
    } else if (!HoldsMovieSurface(r)) {
      continue;  // released: it is opened again first
    } else {
      PlatMediaStreamSetState(r->multiMediaStream, PLAT_STREAMSTATE_RUN);
    }
    r->paused = 0;
    r->playType = type;
    r->playRequested = 1;
  }
  return 0;
}

int CloseMovieHandle(int32_t movie) {
  MovieRecord* r = LookupMovie(movie);
  if (!r) return -1;
  if (r->ownDecoder) {
    if (r->decoderFile) {
      FileClose(FileHandle(r->decoderFile));
      r->decoderFile = 0;
    }
    StopMovieDecoder(r->decoder);
    DeleteSoundHandle(r->sound, 0);
    r->decoder = nullptr;
    r->sound = -1;
    r->ownDecoder = 0;
  }
  // The stream's thread lets go of the sample, its surface and its event first.
  AbortStreamUpdate(r);
  if (r->tempFile == 1) {
    // A copy that a failed opening deleted is not the movie's any more.
    if (!r->tempCopyDeleted) PlatFileDelete(r->fileName);
    r->tempFile = 0;
  }
  CloseStreamObjects(r);
  if (r->sampleEvent) {
    PlatEventDestroy(r->sampleEvent);
    r->sampleEvent = nullptr;
  }
  HandleTableRemove(&g_movieTable, movie);
  TrackedFree(r);
  return 0;
}
