// The creator of movies: nothing else in the engine makes one. The stream way opens the
// record on the multimedia stream over the engine's DirectDraw object and starts it. The
// own decoder's way reads the file whole through the file layer (so archives work): its
// pictures go to the own decoder and its first Vorbis stream becomes a sound handle that
// times it.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/file.h"
#include "engine/graphics/graph.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "engine/movie/stream.h"
#include "engine/sound/services.h"
#include "engine/sound/soundhandle.h"
#include "engine/sound/soundsystem.h"
#include "engine/state/sysinfo.h"

#include <algorithm>
#include <cstring>

namespace {

// The largest movie file read into memory. A fuzzing build takes less, as with pictures.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int64_t kMaxMovieFileBytes = int64_t(1) << 24;
#else
constexpr int64_t kMaxMovieFileBytes = int64_t(1) << 30;
#endif

// The Ogg image of the sound's pages, grown in tracked memory.
struct AudioImage {
  uint8_t* bytes = nullptr;
  int64_t size = 0;
  int64_t capacity = 0;
  bool failed = false;
};

void AppendAudioPage(const ogg_page* page, void* context) {
  AudioImage* a = static_cast<AudioImage*>(context);
  const int64_t need = a->size + page->header_len + page->body_len;
  if (a->failed) return;
  if (need > kMaxMovieFileBytes) {
    a->failed = true;
    return;
  }
  if (need > a->capacity) {
    const int64_t capacity = std::max<int64_t>(need, a->capacity * 2 + 4096);
    uint8_t* grown = static_cast<uint8_t*>(TrackedAlloc(size_t(capacity), "", 0));
    if (!grown) {
      a->failed = true;
      return;
    }
    if (a->size) std::memcpy(grown, a->bytes, size_t(a->size));
    TrackedFree(a->bytes);
    a->bytes = grown;
    a->capacity = capacity;
  }
  std::memcpy(a->bytes + a->size, page->header, size_t(page->header_len));
  std::memcpy(a->bytes + a->size + page->header_len, page->body, size_t(page->body_len));
  a->size = need;
}

// The whole file through the file layer into tracked memory; null with a log line.
uint8_t* ReadWholeFile(const char* fileName, int64_t* size) {
  const FileHandle file = FileOpen(fileName, 0, 1, 0);
  if (!file) {
    WriteLogFmt("ムービーファイル %s が開けませんでした\n", fileName);
    return nullptr;
  }
  FileSeek(file, 0, FILE_SEEK_END);
  const int64_t bytes = FileTell(file);
  FileSeek(file, 0, FILE_SEEK_SET);
  uint8_t* data = nullptr;
  if (bytes < 1 || bytes > kMaxMovieFileBytes) {
    WriteLogFmt("ムービーファイル %s の大きさが扱えません\n", fileName);
  } else if (!(data = static_cast<uint8_t*>(TrackedAlloc(size_t(bytes), "", 0)))) {
    WriteLog("メモリの確保に失敗しました\n");
  } else if (FileRead(data, 1, uint32_t(bytes), file) != bytes) {
    WriteLogFmt("ムービーファイル %s を読み込めませんでした\n", fileName);
    TrackedFree(data);
    data = nullptr;
  }
  FileClose(file);
  *size = bytes;
  return data;
}

// The frame callback of a movie-fed graph: the newest frame into the graph.
int WriteFrame(const GraphImage* image, int32_t graph) {
  return ReloadGraphImage(nullptr, image, nullptr, 0, 0, graph, 0);
}
void WriteFrameToGraph(MovieRecord* movie, int32_t graph) { TakeMovieFrame(movie->decoder, WriteFrame, graph); }

// A sound handle of the Ogg image, read whole whatever the sound data type says: the
// movie's clock is the play position of one buffer. -1 without sound.
int32_t LoadMovieSound(const AudioImage& audio) {
  if (!audio.bytes || audio.failed || audio.size > INT32_MAX) return -1;
  const int32_t type = GetSoundDataType();
  SetSoundDataType(0);
  const int32_t sound = LoadSoundFromMemory(audio.bytes, int32_t(audio.size), 1, -1);
  SetSoundDataType(type);
  return sound;
}

// The frame callback of a stream movie's graph: the copied frame into the graph.
void WriteStreamFrameToGraph(MovieRecord* movie, int32_t graph) {
  if (movie->frameImage.pixels) ReloadGraphImage(nullptr, &movie->frameImage, nullptr, 0, 0, graph, 0);
}

int32_t OpenStreamMovieToGraph(PlatDDraw directDraw, const char* fileName, int32_t playType,
                               MovieSurfaceMode surfaceMode) {
  MovieRecord* r = nullptr;
  const int32_t movie = AddMovieRecord(&r);
  if (movie == -1) return -1;
  int32_t width = 0, height = 0;
  if (OpenMovieFile(directDraw, r, fileName, &width, &height, surfaceMode) != 0) {
    CloseMovieHandle(movie);
    return -1;
  }
  const int32_t graph = MakeGraphWithSurfaces(width, height, 1, 0, 0);
  if (graph == -1) {
    CloseMovieHandle(movie);
    return -1;
  }
  LookupGraph(graph)->movie = movie;
  // On the overlay the movie shows itself; in the other modes each frame goes into the graph.
  if (r->surfaceMode != MOVIE_SURFACE_OVERLAY) {
    r->frameCallback = WriteStreamFrameToGraph;
    r->callbackData = graph;
  }
  r->playType = playType;
  if (PlatMediaStreamSetState(r->multiMediaStream, PLAT_STREAMSTATE_RUN) != PLAT_MEDIA_OK) {
    WriteLogFmt("ムービーファイル %s の再生を開始できませんでした\n", fileName);
    FreeGraph(graph, 0);  // closes the movie
    return -1;
  }
  r->playRequested = 1;
  r->paused = 0;
  return graph;
}

}  // namespace

int32_t OpenMovieToGraph(const char* fileName, int32_t playType, int32_t way, MovieSurfaceMode surfaceMode) {
  if (!fileName) return -1;
  if (way != MOVIE_WAY_OWN_DECODER && way != MOVIE_WAY_STREAM) {
    WriteLogFmt("ムービーファイル %s の再生方法 %d には対応していません\n", fileName, way);
    return -1;
  }
  // Without a DirectDraw object (software rendering) the own decoder plays the movie.
  if (way == MOVIE_WAY_STREAM) {
    if (const PlatDDraw directDraw = GetMovieDirectDraw())
      return OpenStreamMovieToGraph(directDraw, fileName, playType, surfaceMode);
  }
  int64_t size = 0;
  uint8_t* file = ReadWholeFile(fileName, &size);
  if (!file) return -1;
  AudioImage audio;
  MovieDecoder* decoder = CreateMovieDecoder(file, size, AppendAudioPage, &audio);
  if (!decoder) {
    TrackedFree(audio.bytes);
    WriteLogFmt("ムービーファイル %s を開けませんでした\n", fileName);
    return -1;
  }
  MovieRecord* r = nullptr;
  const int32_t movie = AddMovieRecord(&r);
  if (movie == -1) {
    TrackedFree(audio.bytes);
    StopMovieDecoder(decoder);
    return -1;
  }
  r->ownDecoder = 1;
  r->decoder = decoder;
  r->decoderFile = 0;  // read whole: the thread never touches the file layer
  r->sound = LoadMovieSound(audio);
  TrackedFree(audio.bytes);
  const size_t nameLength = std::min(std::strlen(fileName), sizeof r->fileName - 1);
  std::memcpy(r->fileName, fileName, nameLength);
  r->fileName[nameLength] = '\0';
  r->width = int32_t(decoder->info.frame_width);
  r->height = int32_t(decoder->info.frame_height);

  const int32_t graph = MakeGraphWithSurfaces(r->width, r->height, 1, 0, 0);
  if (graph == -1) {
    CloseMovieHandle(movie);
    return -1;
  }
  LookupGraph(graph)->movie = movie;
  r->frameCallback = WriteFrameToGraph;
  r->callbackData = graph;

  r->startTime = int64_t(GetTimeMicroseconds(0));
  r->playType = playType;
  // A waiting play would hold the engine until the sound ended: the sound plays in the
  // background as the resume plays it.
  if (r->sound != -1) g_SoundServices.playSoundHandleCore(r->sound, playType == 0 ? 1 : playType, 1);
  if (StartMovieDecoder(decoder) != 0) {
    FreeGraph(graph, 0);  // closes the movie
    return -1;
  }
  r->playRequested = 1;
  r->paused = 0;
  return graph;
}
