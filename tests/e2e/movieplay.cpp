// End to end: the engine on its SDL back ends (a real X display, SDL's disk audio driver)
// plays a 320 x 240 movie of 5 frames a second with a 440 Hz tone, made by the movie
// writer, into a movie-fed graph drawn at the centre of the 640 x 480 screen every frame,
// as the draw entry points do: the movie updated first, then the graph drawn.
//   movieplay [stream] <screen>   <screen> is the XWD file Xvfb keeps in its -fbdir
// By default the own decoder plays the movie, full screen: the sound times it. With
// `stream` the multimedia stream plays it in DirectDraw mode, in a window: the platform
// clock times it, and at 1.2 s a display change is posted to the window, after which the
// movie goes on from the time it had reached.
// At 0.7 s and 1.9 s the frame handed to the graph, and the screen at the graph's place,
// show the frame number the time asks for (one frame either way); the disk file holds the
// tone from its first sample for as long as the movie played. With KR_E2E_KEEP set, the
// dumped display at each check is kept there as movie-<way>-<ms>.png.
// Exit 0 passed, 1 failed, 77 where it cannot run (no engine start, no disk output).
#include "diskaudio.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/services.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "engine/pixel/colorformat.h"
#include "engine/sound/soundhandle.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/media/media.h"
#include "platform/window/window.h"
#include "support/screenshot.h"
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
// none). Full screen the dump is sampled as 640 x 480 whatever its size; in a window the
// client area lies at its place on the display.
int32_t ScreenFrame(const XwdImage& screen, bool windowed) {
  const PlatRect client = g_System.clientRectOnScreen;
  std::vector<uint32_t> picture(size_t(kMovieW) * kMovieH);
  const int x0 = (kScreenW - kMovieW) / 2, y0 = (kScreenH - kMovieH) / 2;
  for (int y = 0; y < kMovieH; y++)
    for (int x = 0; x < kMovieW; x++)
      picture[size_t(y) * kMovieW + x] =
          windowed ? screen.At(client.left + x0 + x, client.top + y0 + y)
                   : screen.At((x0 + x) * screen.width / kScreenW, (y0 + y) * screen.height / kScreenH);
  return ReadMovieFrameNumber(picture.data(), kMovieW, kMovieH, kMovieW * 4);
}

// The dumped displays of the checks as <KR_E2E_KEEP>/movie-<way>-<ms>.png, when that is
// set (written after the run, so that the checks' timing does not pay for them).
void KeepScreens(const std::vector<XwdImage>& screens, bool stream) {
  const char* keep = std::getenv("KR_E2E_KEEP");
  if (!keep || !*keep) return;
  for (size_t i = 0; i < screens.size(); i++) {
    const XwdImage& s = screens[i];
    const std::string png =
        std::string(keep) + "/movie-" + (stream ? "stream" : "own") + "-" + std::to_string(kCheckMs[i]) + ".png";
    if (s.width > 0 && WriteRgbPng(png.c_str(), s.width, s.height, s.rgb)) std::printf("     kept %s\n", png.c_str());
  }
}

// The frame handed to the graph: the own decoder's newest picture, or the stream's frame
// copied into the movie's frame image.
int32_t HandedFrame(const MovieRecord* r) {
  if (r->ownDecoder) {
    const MovieDecoder* d = r->decoder;
    PlatMutexHold hold(d->handover);
    return ReadMovieFrameNumber(d->decodedImage.pixels, int32_t(d->decodedImage.width),
                                int32_t(d->decodedImage.height), int32_t(d->decodedImage.pitch));
  }
  const GraphImage& image = r->frameImage;
  if (!image.pixels) return -3;
  std::vector<uint32_t> xrgb(size_t(image.width) * image.height);
  for (uint32_t y = 0; y < image.height; y++)
    for (uint32_t x = 0; x < image.width; x++) {
      const uint8_t* at = static_cast<const uint8_t*>(image.pixels) + y * image.pitch + x * image.format.bytesPerPixel;
      int32_t red = 0, green = 0, blue = 0;
      PixelValueToColor(&image.format, ReadPixelValue(at, image.format.bytesPerPixel), &red, &green, &blue, nullptr);
      xrgb[y * image.width + x] = uint32_t(red) << 16 | uint32_t(green) << 8 | uint32_t(blue);
    }
  return ReadMovieFrameNumber(xrgb.data(), int32_t(image.width), int32_t(image.height), int32_t(image.width) * 4);
}

// The frame the time asks for: the sound's position or the clock since the start for the
// own decoder, the stream's time for the stream.
int32_t WantedFrame(const MovieRecord* r, uint32_t sinceStart) {
  if (r->ownDecoder || !r->multiMediaStream) return int32_t(sinceStart * kFps / 1000);
  int64_t time = 0;
  PlatMediaStreamGetTime(r->multiMediaStream, &time);
  return int32_t(time * kFps / 10000000);
}

}  // namespace

int main(int argc, char** argv) {
  const bool stream = argc == 3 && std::string(argv[1]) == "stream";
  if (argc != 2 && !stream) {
    std::fprintf(stderr, "usage: movieplay [stream] <screen>\n");
    return 1;
  }
  const char* screenDump = argv[argc - 1];
  const std::string dir = EnterNewDirectory("kr_movieplay");
  if (dir.empty()) return 77;
  const std::string raw = dir + "/mix.raw";
  const std::string bytes = MovieFile();
  if (bytes.empty() || !WriteBytes("movie.ogg", bytes)) return 77;
  if (StartEngine(raw, stream ? 1 : 0) != 0) return 77;
  // A display change is followed only with graphs that can be made again.
  SetGraphRestoreHandler(nullptr);

  const uint32_t start = GetTickMs();
  const int32_t graph = OpenMovieToGraph("movie.ogg", 1, stream ? MOVIE_WAY_STREAM : MOVIE_WAY_OWN_DECODER);
  if (graph == -1) {
    std::printf("FAIL the movie did not open\n");
    EngineEnd();
    return 1;
  }
  const int32_t handle = LookupGraph(graph)->movie;
  MovieRecord* movie = LookupMovie(handle);
  if (stream) {
    std::printf("     DirectDraw mode: %d; the stream plays the movie: %d\n", IsDirectDrawUsed(), !movie->ownDecoder);
    Check(!movie->ownDecoder, "the multimedia stream plays the movie (1 yes)", !movie->ownDecoder, 1);
    if (movie->ownDecoder) {
      EngineEnd();
      return 1;
    }
  } else {
    Check(movie->sound != -1, "the movie has its sound (1 yes)", movie->sound != -1, 1);
  }
  bool drawn = true;
  std::vector<XwdImage> screens(2);
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
    if (movie->ownDecoder) {
      UpdateMovieFrame(handle, 0);
      while (!IsMovieFrameReady(movie->decoder)) std::this_thread::yield();
      std::printf("     the sound's position at %u ms: %d ms\n", at, GetSoundPositionMs(movie->sound));
    } else {
      // A frame not due yet is pending: the next screen frames take it.
      for (int i = 0; i < 50 && movie->updatePending; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        frame();
      }
    }
    frame();
    const int32_t want = WantedFrame(movie, at), handed = HandedFrame(movie);
    char what[96];
    std::snprintf(what, sizeof what, "frame handed to the graph at %u ms", at);
    Check(std::abs(handed - want) <= 1, what, handed, want);
    Check(drawn, "every draw of the graph answered 0 (1 yes)", drawn, 1);
    // The display shows it once the upload has reached the X server.
    int32_t shown = -2;
    XwdImage& screen = screens[size_t(check)];
    for (int i = 0; i < 20 && shown != handed; i++) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      PumpMessages();
      shown = ReadXwd(screenDump, &screen) ? ScreenFrame(screen, stream) : -2;
    }
    std::snprintf(what, sizeof what, "frame on the screen at %u ms", at);
    Check(shown == handed, what, shown, handed);
    std::printf("     the screen read back by %u ms\n", Now(start));
    if (!stream || check != 0) continue;

    // A display change while the movie plays, as the window is told of one: the movie's
    // objects are released with its time kept and made again by the graphics rebuild.
    PumpUntil(start, 1200);
    int32_t width = 0, height = 0, depth = 0;
    g_GraphicsServices.queryScreenFormat(&width, &height, &depth);
    const uint32_t changedAt = Now(start);
    int64_t before = 0;
    PlatMediaStreamGetTime(movie->multiMediaStream, &before);
    PlatPostMessage(GetEngineWindowHandle(), PLAT_WM_DISPLAYCHANGE, PlatWParam(depth == 24 ? 32 : depth),
                    PlatLParam(uintptr_t(width + 160) | uintptr_t(height + 120) << 16));
    PumpMessages();
    const int64_t saved = movie->savedTime;
    std::printf("     the display change at %u ms: the movie's time kept %lld ms\n", changedAt,
                (long long)(saved / 10000));
    Check(saved >= before && saved < before + 10000 * 100, "the time kept at the change (ms)", double(saved / 10000),
          double(before / 10000));
    const bool reopened = movie->surface4 || movie->surface7;
    Check(reopened, "the graphics rebuild opened the movie again (1 yes)", reopened, 1);
    if (!reopened) break;
    int64_t now = 0;
    PlatMediaStreamGetTime(movie->multiMediaStream, &now);
    Check(now >= saved && now < saved + 10000 * 200, "the movie's time right after the change (ms)",
          double(now / 10000), double(saved / 10000));
  }
  PumpUntil(start, 2300);
  const uint32_t closed = Now(start);
  FreeGraph(graph, 0);
  Check(LookupMovie(handle) == nullptr, "the movie closed with its graph (1 yes)", LookupMovie(handle) == nullptr, 1);
  EngineEnd();
  KeepScreens(screens, stream);

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
  return failures ? 1 : 0;
}
