// End to end: the engine full screen on its SDL back ends (a real X display, SDL's disk
// audio driver) plays a 320 x 240 movie of 5 frames a second with a 440 Hz tone, made by
// the movie writer, into a movie-fed graph drawn at the centre of the 640 x 480 screen
// every frame, as the draw entry points do: the movie updated first, then the graph drawn.
//   movieplay <screen>   <screen> is the XWD file Xvfb keeps in its -fbdir
// At 0.7 s and 1.9 s the frame handed to the graph, and the screen's centre, show the
// frame number the time asks for (one frame either way: the sound times the movie); the
// disk file holds the tone from its first sample for as long as the movie played.
// Exit 0 passed, 1 failed, 77 where it cannot run (no engine start, no disk output) or
// where the graph draws are not there to put the movie on the screen.
#include "diskaudio.h"
#include "engine/graphics/graph.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "engine/pixel/colorformat.h"
#include "engine/sound/soundhandle.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "support/xwd.h"
#include "tools/krmovie/moviewriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace diskaudio;

constexpr int kScreenW = 640, kScreenH = 480, kMovieW = 320, kMovieH = 240, kFps = 5, kFrames = 20;
constexpr int kToneHz = 440;
constexpr int kCheckMs[2] = {700, 1900};

std::string MovieFile() {
  const MovieWriterSpec s{.width = kMovieW, .height = kMovieH, .frames = kFrames, .rateNumerator = kFps,
                          .toneHz = kToneHz, .audioRate = kDiskRate};
  std::string bytes;
  return WriteMovie(s, &bytes) == 0 ? bytes : "";
}

// The frame number of the picture at the centre of the screen dump (-1 when it shows
// none, -2 when there is no dump to read), whatever the dump's size: the screen is
// sampled as 640 x 480.
int32_t ScreenFrame(const char* path) {
  XwdImage screen;
  if (!ReadXwd(path, &screen)) return -2;
  std::vector<uint32_t> picture(size_t(kMovieW) * kMovieH);
  const int x0 = (kScreenW - kMovieW) / 2, y0 = (kScreenH - kMovieH) / 2;
  for (int y = 0; y < kMovieH; y++)
    for (int x = 0; x < kMovieW; x++)
      picture[size_t(y) * kMovieW + x] =
          screen.At((x0 + x) * screen.width / kScreenW, (y0 + y) * screen.height / kScreenH);
  return ReadMovieFrameNumber(picture.data(), kMovieW, kMovieH, kMovieW * 4);
}

// The frame handed to the graph.
int32_t HandedFrame(MovieDecoder* d) {
  PlatMutexHold hold(d->handover);
  return ReadMovieFrameNumber(d->decodedImage.pixels, int32_t(d->decodedImage.width),
                              int32_t(d->decodedImage.height), int32_t(d->decodedImage.pitch));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: movieplay <screen>\n");
    return 1;
  }
  const std::string dir = EnterNewDirectory("kr_movieplay");
  if (dir.empty()) return 77;
  const std::string raw = dir + "/mix.raw";
  const std::string movie = MovieFile();
  if (movie.empty() || !WriteBytes("movie.ogg", movie)) return 77;
  if (StartEngine(raw, 0) != 0) return 77;

  const uint32_t start = GetTickMs();
  const int32_t graph = OpenMovieToGraph("movie.ogg", 1, MOVIE_WAY_OWN_DECODER);
  if (graph == -1) {
    std::printf("FAIL the movie did not open\n");
    EngineEnd();
    return 1;
  }
  const int32_t handle = LookupGraph(graph)->movie;
  MovieDecoder* decoder = LookupMovie(handle)->decoder;
  Check(LookupMovie(handle)->sound != -1, "the movie has its sound (1 yes)", LookupMovie(handle)->sound != -1, 1);
  bool drawn = true;
  for (int check = 0; check < 2; check++) {
    // One screen frame: the movie first, then its graph at the centre, then the present.
    auto frame = [&] {
      PumpMessages();
      UpdateMovieFrame(handle, 0);
      if (DrawGraphAt((kScreenW - kMovieW) / 2, (kScreenH - kMovieH) / 2, graph, 0) != 0) drawn = false;
      PresentScreen();
      PlatDisplayChanged();
    };
    while (Now(start) < uint32_t(kCheckMs[check])) {
      frame();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // The frame the time asks for, made and handed over.
    const uint32_t at = Now(start);
    UpdateMovieFrame(handle, 0);
    while (!IsMovieFrameReady(decoder)) std::this_thread::yield();
    frame();
    const int32_t want = int32_t(at * kFps / 1000), handed = HandedFrame(decoder);
    std::printf("     the sound's position at %u ms: %d ms\n", at, GetSoundPositionMs(LookupMovie(handle)->sound));
    char what[96];
    std::snprintf(what, sizeof what, "frame handed to the graph at %u ms", at);
    Check(std::abs(handed - want) <= 1, what, handed, want);
    if (!drawn) continue;
    // The display shows it once the upload has reached the X server.
    int32_t shown = -2;
    for (int i = 0; i < 20 && shown != handed; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      PumpMessages();
      shown = ScreenFrame(argv[1]);
    }
    std::snprintf(what, sizeof what, "frame on the screen at %u ms", at);
    Check(shown == handed, what, shown, handed);
  }
  PumpUntil(start, 2300);
  const uint32_t closed = Now(start);
  FreeGraph(graph, 0);
  Check(LookupMovie(handle) == nullptr, "the movie closed with its graph (1 yes)", LookupMovie(handle) == nullptr, 1);
  EngineEnd();

  const std::vector<int16_t> pcm = ReadAndRemove(raw, dir);
  if (pcm.size() < size_t(kDiskRate)) {
    std::printf("no disk output (%zu bytes): skipped\n", pcm.size() * 2);
    return 77;
  }
  const long first = FirstAbove(pcm, 0, 1000), last = LastAbove(pcm, 1000);
  if (first < 0) {
    std::printf("FAIL the tone never sounds\n");
    return 1;
  }
  // The tone is there from its first sample, and lasts as long as the movie played: from
  // its opening to the close with its graph. The disk driver's file falls behind the
  // clock by the time each write takes, so its time may run slower, never faster.
  const double hz = CrossingsPerSecond(pcm, size_t(first), size_t(first) + kDiskRate * 35 / 100);
  Check(std::fabs(hz - kToneHz) < 10, "the tone from its first sample (Hz)", hz, kToneHz);
  const double played = double(last - first) * 1000.0 / kDiskRate;
  Check(played > 0.5 * closed && played < 1.03 * closed + 50, "the tone's length (ms)", played, closed);
  if (failures) return 1;
  if (!drawn) {
    std::printf("the graph draw entry points answer -1 (not there yet): the screen checks are skipped\n");
    return 77;
  }
  return 0;
}
