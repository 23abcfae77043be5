// Arbitrary bytes as a movie file: the creator opens them through the file layer into a
// movie-fed graph (with the sound of their first Vorbis stream on the headless output),
// then 30 steps of the manual clock each update the movie, let the decoder thread make
// the frame and hand it to the graph, and freeing the graph closes everything. Nothing
// may crash, read outside a buffer, hang or leak, whatever the pages, headers and
// packets say.
//
// The engine starts once, headless and windowed, on the manual clock. The seeds are the
// movie writer's (seeds/movie_decoder.sh), and the mutator changes the Ogg pages from
// inside and makes their checksums anew, so that the picture decoder sees its packets.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/graphics/graph.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "engine/system/system.h"
#include "engine/engine.h"
#include "platform/kernel/kernel.h"
#include "moviefuzz.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

namespace {

std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = StartMovieFuzzing("kr_fuzz_movie");
  return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  return MutateOggPages(data, size, maxSize, seed);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(g_path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size) abort();
  std::fclose(f);
  const int32_t blocks = GetTrackedBlockCount();
  const int32_t graph = OpenMovieToGraph(g_path.c_str(), size % 2 ? 3 : 1, MOVIE_WAY_OWN_DECODER);
  if (graph != -1) {
    const int32_t movie = LookupGraph(graph)->movie;
    for (int step = 0; step < 30; step++) {
      PlatClockAdvance(uint32_t(17 + step * 37 % 150));
      UpdateMovieFrame(movie, 0);
      const MovieRecord* r = LookupMovie(movie);
      if (!r) abort();
      while (!IsMovieFrameReady(r->decoder)) std::this_thread::yield();
      UpdateMovieFrame(movie, 0);
    }
    if (FreeGraph(graph, 0) != 0 || LookupMovie(movie) != nullptr) abort();
  }
  if (GetMovieCount() != 0 || GetTrackedBlockCount() != blocks) abort();
  return 0;
}
