// The stream back end of platform/media on movies from the movie writer, on the manual
// clock: the format, the frames due at their times (at once, or completed by the stream's
// thread), pause, seek and the end, every surface format a sample writes, the update taken
// back, and the tone on the sound device.
#include "moviefiles.h"
#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "streamfixture.h"

#include <SDL2/SDL.h>

#include <cmath>
#include <map>

namespace {

constexpr int64_t kFrameTime = 666666;  // 15 frames a second, in 100 ns

class MediaStream : public StreamMovieTest {
 protected:
  const char* Backend() const override { return "stream"; }

  PlatMediaRef graph = 0, stream = 0, video = 0, dd = 0, sample = 0;
  PlatDDSurface surface = 0;
  PlatRect rect{};
  PlatEvent* event = nullptr;

  // Releases what OpenStream and Bind made.
  void TearDownStream() {
    for (PlatMediaRef* r : {&sample, &dd, &video, &stream, &graph}) {
      if (*r) PlatMediaRelease(*r);
      *r = 0;
    }
    if (surface) PlatDDSurfaceRelease(surface);
    surface = 0;
    if (event) PlatEventDestroy(event);
    event = nullptr;
  }

  void TearDown() override {
    TearDownStream();
    StreamMovieTest::TearDown();
  }

  static MovieWriterSpec TenFrames(int32_t toneHz = 0) {
    return MovieWriterSpec{.width = 50, .height = 30, .offsetX = 3, .offsetY = 5, .frames = 10, .toneHz = toneHz};
  }

  // The stream over a graph, with its video (and audio) stream, opened on the file.
  int32_t OpenStream(const std::string& path) {
    EXPECT_EQ(PlatMediaCreateFilterGraph(&graph), PLAT_MEDIA_OK);
    EXPECT_EQ(PlatMediaCreateMultiMediaStream(&stream), PLAT_MEDIA_OK);
    EXPECT_EQ(PlatMediaStreamInitialize(stream, PLAT_STREAMTYPE_READ, PLAT_AMMSF_NOGRAPHTHREAD, graph), 0);
    EXPECT_EQ(PlatMediaStreamAddMediaStream(stream, GetMovieDirectDraw(), PLAT_MSPID_PRIMARY_VIDEO, 0), 0);
    EXPECT_EQ(PlatMediaStreamAddMediaStream(stream, 0, PLAT_MSPID_PRIMARY_AUDIO, PLAT_AMMSF_ADDDEFAULTRENDERER), 0);
    const int32_t opened = PlatMediaStreamOpenFile(stream, path.c_str(), 0);
    if (opened != PLAT_MEDIA_OK) return opened;
    EXPECT_EQ(PlatMediaStreamGetMediaStream(stream, PLAT_MSPID_PRIMARY_VIDEO, &video), 0);
    EXPECT_EQ(PlatMediaQueryInterface(video, PLAT_MEDIA_DDRAW_STREAM, &dd), 0);
    return opened;
  }

  // A sample on a surface of its own (the display's 32 bits) and the update's event.
  void Bind(PlatDDSurface on = 0) {
    ASSERT_EQ(PlatMediaDDStreamCreateSample(dd, on, nullptr, 0, &sample), PLAT_MEDIA_OK);
    ASSERT_EQ(PlatMediaSampleGetSurface(sample, &surface, &rect), PLAT_MEDIA_OK);
    event = PlatEventCreate(1, 0);
  }

  // What the sample's surface shows (PictureShows), through SDL for any format.
  int32_t Shown() {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    if (PlatDDSurfaceLock(surface, &rect, &desc, PLAT_DDLOCK_READONLY) != PLAT_DD_OK) return -100;
    const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
    std::vector<uint32_t> xrgb(size_t(w) * size_t(h));
    const PlatDDPixelFormat& f = desc.pixelFormat;
    uint32_t from = SDL_PIXELFORMAT_RGB888;
    if (f.flags & PLAT_DDPF_FOURCC) from = f.fourCC == 0x59565955u ? SDL_PIXELFORMAT_UYVY : SDL_PIXELFORMAT_YUY2;
    else if (f.bitCount == 16) from = f.gMask == 0x07E0 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_RGB555;
    else if (f.bitCount == 24) from = SDL_PIXELFORMAT_BGR24;
    const int converted =
        SDL_ConvertPixels(w, h, from, desc.surface, desc.pitch, SDL_PIXELFORMAT_RGB888, xrgb.data(), w * 4);
    PlatDDSurfaceUnlock(surface, &rect);
    return converted == 0 ? PictureShows(xrgb.data(), w, h, w * 4) : -101;
  }

  static int64_t Time(PlatMediaRef s) {
    int64_t t = -1;
    PlatMediaStreamGetTime(s, &t);
    return t;
  }

  // Moves the clock to the stream time (the stream ran from clock time start).
  static void ClockTo(uint32_t start, int64_t streamTime) {
    const uint64_t ns = uint64_t(start) * 1000000 + uint64_t(streamTime) * 100;
    const uint64_t now = uint64_t(PlatPerfCounter());
    if (ns > now) PlatClockAdvanceNs(ns - now);
  }
};

TEST_F(MediaStream, ItTellsTheMoviesSizeFrameTimeAndLength) {
  Start();
  ASSERT_EQ(OpenStream(Write("ten.ogg", MovieBytes(TenFrames()))), PLAT_MEDIA_OK);
  PlatDDSurfaceDesc desired{};
  ASSERT_EQ(PlatMediaDDStreamGetFormat(dd, &desired), PLAT_MEDIA_OK);
  EXPECT_EQ(desired.width, 50u);
  EXPECT_EQ(desired.height, 30u);
  EXPECT_EQ(desired.pixelFormat.bitCount, 32u);
  int64_t frameTime = 0, stop = 0;
  EXPECT_EQ(PlatMediaDDStreamGetTimePerFrame(dd, &frameTime), PLAT_MEDIA_OK);
  EXPECT_EQ(frameTime, kFrameTime);
  PlatMediaRef seeking = 0;
  ASSERT_EQ(PlatMediaQueryInterface(graph, PLAT_MEDIA_SEEKING, &seeking), PLAT_MEDIA_OK);
  EXPECT_EQ(PlatMediaSeekingGetStopPosition(seeking, &stop), PLAT_MEDIA_OK);
  EXPECT_EQ(stop, 10 * kFrameTime);
  PlatMediaRelease(seeking);
  uint32_t state = 9;
  EXPECT_EQ(PlatMediaStreamGetState(stream, &state), PLAT_MEDIA_OK);
  EXPECT_EQ(state, uint32_t(PLAT_STREAMSTATE_STOP));
  EXPECT_EQ(Time(stream), 0);
}

TEST_F(MediaStream, WhatItCannotReadFailsToOpen) {
  Start();
  const struct {
    const char* what;
    std::string path;
    int32_t result;
  } cases[] = {
      {"no such file", dir + "/none.ogg", PLAT_MEDIA_E_FILENOTFOUND},
      {"not Ogg", Write("text.ogg", std::string(3000, 'a')), PLAT_MEDIA_E_UNKNOWNFILE},
      {"an empty file", Write("empty.ogg", ""), PLAT_MEDIA_E_UNKNOWNFILE},
      {"no picture that decodes", Write("damaged.ogg", DamagedMovie({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})),
       PLAT_MEDIA_E_UNKNOWNFILE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(OpenStream(c.path), c.result);
    PlatMediaRelease(stream);
    PlatMediaRelease(graph);
    stream = graph = 0;
  }
}

TEST_F(MediaStream, EachUpdateDeliversTheFrameThatIsDue) {
  Start();
  ASSERT_EQ(OpenStream(Write("ten.ogg", MovieBytes(TenFrames()))), PLAT_MEDIA_OK);
  Bind();
  EXPECT_EQ(rect.right - rect.left, 50);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_E_NOTRUNNING);
  const uint32_t start = PlatTimeMs();
  ASSERT_EQ(PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN), PLAT_MEDIA_OK);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 0);

  // Frame 1 is due at 1/15 s: until then the update is pending, and the stream's thread
  // completes it.
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_S_PENDING);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_E_BUSY);
  ClockTo(start, kFrameTime - 10000);
  EXPECT_EQ(PlatMediaSampleCompletionStatus(sample, 0, 0), PLAT_MS_S_PENDING);
  EXPECT_EQ(Shown(), 0);
  ClockTo(start, kFrameTime);
  ASSERT_EQ(PlatEventWait(event, PLAT_INFINITE), PLAT_WAIT_SIGNALED);
  EXPECT_EQ(PlatMediaSampleCompletionStatus(sample, 0, 0), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 1);
  PlatEventReset(event);

  // Late: the newest frame that is due, the ones between dropped.
  ClockTo(start, 5 * kFrameTime + 100);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 5);

  // Paused, the time holds and no frame comes.
  PlatMediaRef control = 0;
  ASSERT_EQ(PlatMediaQueryInterface(graph, PLAT_MEDIA_CONTROL, &control), PLAT_MEDIA_OK);
  ASSERT_EQ(PlatMediaControlPause(control), PLAT_MEDIA_OK);
  PlatMediaRelease(control);
  const int64_t held = Time(stream);
  PlatClockAdvance(1000);
  EXPECT_EQ(Time(stream), held);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_E_NOTRUNNING);
  ASSERT_EQ(PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN), PLAT_MEDIA_OK);
  PlatClockAdvance(70);
  EXPECT_EQ(Time(stream), held + 700000);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 6);

  // A seek back: the frame due then, decoded from the start again.
  ASSERT_EQ(PlatMediaStreamSeek(stream, 2 * kFrameTime), PLAT_MEDIA_OK);
  EXPECT_EQ(Time(stream), 2 * kFrameTime);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 2);

  // The last frame, then the end once the whole movie's time has run.
  ASSERT_EQ(PlatMediaStreamSeek(stream, 9 * kFrameTime), PLAT_MEDIA_OK);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 9);
  PlatEventReset(event);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_S_PENDING);
  PlatClockAdvance(67);
  ASSERT_EQ(PlatEventWait(event, PLAT_INFINITE), PLAT_WAIT_SIGNALED);
  EXPECT_EQ(PlatMediaSampleCompletionStatus(sample, 0, 0), PLAT_MS_S_ENDOFSTREAM);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_S_ENDOFSTREAM);
  EXPECT_EQ(Shown(), 9);
}

TEST_F(MediaStream, AWaitingUpdateSleepsOnThePlatformClock) {
  Start();
  ASSERT_EQ(OpenStream(Write("ten.ogg", MovieBytes(TenFrames()))), PLAT_MEDIA_OK);
  Bind();
  const uint32_t start = PlatTimeMs();
  PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN);
  for (int32_t k = 0; k < 3; k++) {
    EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, nullptr), PLAT_MEDIA_OK);
    EXPECT_EQ(Shown(), k);
  }
  // The manual clock was moved on by the sleeps, to frame 2's time (rounded up to a ms).
  EXPECT_EQ(PlatTimeMs() - start, 134u);
}

TEST_F(MediaStream, APictureThatDoesNotDecodeLeavesTheLastGoodOneAndTheMovieItsLength) {
  Start();
  for (const DamagedMovieCase& c : DamagedMovieCases()) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(OpenStream(Write("damaged.ogg", DamagedMovie(c.damaged))), PLAT_MEDIA_OK);
    Bind();
    PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN);
    std::map<int32_t, int32_t> shown;
    for (int32_t k = 0; k < 10; k++) {
      ASSERT_EQ(PlatMediaSampleUpdate(sample, 0, nullptr), PLAT_MEDIA_OK) << "frame " << k;
      shown[k] = Shown();
    }
    for (const auto& [frame, shows] : c.shows) EXPECT_EQ(shown[frame], shows) << "frame " << frame;
    // The end comes when the whole movie's time has run, as for an undamaged one.
    PlatClockAdvance(67);
    EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, nullptr), PLAT_MS_S_ENDOFSTREAM);
    // Sought back, each frame is decoded from the first packet again; the decoder then
    // still holds a picture from before where the first one is missing.
    for (auto at = c.shows.rbegin(); at != c.shows.rend(); ++at) {
      if (at->second == kNoPicture) continue;
      ASSERT_EQ(PlatMediaStreamSeek(stream, at->first * kFrameTime), PLAT_MEDIA_OK);
      EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, nullptr), PLAT_MEDIA_OK);
      EXPECT_EQ(Shown(), at->second) << "sought to frame " << at->first;
    }
    TearDownStream();
  }
}

TEST_F(MediaStream, AnUpdateTakenBackIsNeverCompleted) {
  Start();
  ASSERT_EQ(OpenStream(Write("ten.ogg", MovieBytes(TenFrames()))), PLAT_MEDIA_OK);
  Bind();
  PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MS_S_PENDING);
  EXPECT_EQ(PlatMediaSampleCompletionStatus(sample, PLAT_COMPSTAT_ABORT | PLAT_COMPSTAT_WAIT, PLAT_INFINITE),
            PLAT_MS_S_NOUPDATE);
  PlatClockAdvance(500);
  // The thread has come round to wait again with nothing to do.
  PlatWaitForWaiters(1);
  EXPECT_EQ(PlatEventWait(event, 0), PLAT_WAIT_TIMEOUT);
  EXPECT_EQ(Shown(), 0);
  // The next update goes on with the frame due now.
  EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
  EXPECT_EQ(Shown(), 7);
}

TEST_F(MediaStream, ASampleTakesEveryFormatItCanWriteAndRefusesTheRest) {
  constexpr PlatDDPixelFormat kUyvy{32, PLAT_DDPF_FOURCC, 0x59565955u, 0, 0, 0, 0, 0};
  constexpr PlatDDPixelFormat kYuy2{32, PLAT_DDPF_FOURCC, 0x32595559u, 0, 0, 0, 0, 0};
  const struct {
    const char* what;
    PlatDDPixelFormat format;
    uint32_t caps;
    uint32_t width;
    int32_t bound;
  } cases[] = {
      {"R5G6B5", {32, PLAT_DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0}, PLAT_DDSCAPS_SYSTEMMEMORY, 50, PLAT_MEDIA_OK},
      {"X1R5G5B5", {32, PLAT_DDPF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0}, PLAT_DDSCAPS_SYSTEMMEMORY, 50, PLAT_MEDIA_OK},
      {"X8R8G8B8", {32, PLAT_DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}, PLAT_DDSCAPS_SYSTEMMEMORY, 50, PLAT_MEDIA_OK},
      {"24-bit RGB", {32, PLAT_DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0}, PLAT_DDSCAPS_SYSTEMMEMORY, 50,
       PLAT_MEDIA_OK},
      {"a UYVY overlay", kUyvy, PLAT_DDSCAPS_OVERLAY | PLAT_DDSCAPS_VIDEOMEMORY, 50, PLAT_MEDIA_OK},
      {"a YUY2 overlay", kYuy2, PLAT_DDSCAPS_OVERLAY | PLAT_DDSCAPS_VIDEOMEMORY, 50, PLAT_MEDIA_OK},
      {"8-bit indices", {32, PLAT_DDPF_RGB | PLAT_DDPF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0}, PLAT_DDSCAPS_SYSTEMMEMORY,
       50, PLAT_MS_E_INCOMPATIBLE},
      {"X8B8G8R8", {32, PLAT_DDPF_RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0}, PLAT_DDSCAPS_SYSTEMMEMORY, 50,
       PLAT_MS_E_INCOMPATIBLE},
      {"narrower than the movie", {32, PLAT_DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}, PLAT_DDSCAPS_SYSTEMMEMORY,
       49, PLAT_MEDIA_E_INVALIDARG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.caps & PLAT_DDSCAPS_OVERLAY) PlatDDrawFakeSetOverlayFormat(&c.format);
    Start();
    ASSERT_EQ(OpenStream(Write("ten.ogg", MovieBytes(TenFrames()))), PLAT_MEDIA_OK);
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    desc.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
    desc.caps = c.caps | ((c.caps & PLAT_DDSCAPS_OVERLAY) ? 0u : uint32_t(PLAT_DDSCAPS_OFFSCREENPLAIN));
    desc.width = c.width;
    desc.height = 30;
    desc.pixelFormat = c.format;
    PlatDDSurface made = 0;
    ASSERT_EQ(PlatDDrawCreateSurface(GetMovieDirectDraw(), &desc, &made), PLAT_DD_OK);
    EXPECT_EQ(PlatMediaDDStreamCreateSample(dd, made, nullptr, 0, &sample), c.bound);
    PlatDDSurfaceRelease(made);
    if (c.bound == PLAT_MEDIA_OK) {
      ASSERT_EQ(PlatMediaSampleGetSurface(sample, &surface, &rect), PLAT_MEDIA_OK);
      event = PlatEventCreate(1, 0);
      PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN);
      PlatClockAdvance(3 * 67);
      EXPECT_EQ(PlatMediaSampleUpdate(sample, 0, event), PLAT_MEDIA_OK);
      EXPECT_EQ(Shown(), 3);
    }
    TearDown();
    SetUp();
  }
}

TEST_F(MediaStream, TheToneGoesToTheNewestSoundDeviceWhileTheStreamRuns) {
  const std::string audioBackend = PlatAudioBackendName();
  ASSERT_EQ(PlatAudioSelectBackend("manual"), 0);
  PlatAudioDevice* device = nullptr;
  ASSERT_EQ(PlatAudioCreate(&device), PLAT_DS_OK);
  ASSERT_EQ(PlatAudioInitialize(device, nullptr), PLAT_DS_OK);
  Start();
  MovieWriterSpec spec = TenFrames(440);
  spec.audioRate = 22050;
  spec.audioSeconds = 2.0;
  ASSERT_EQ(OpenStream(Write("tone.ogg", MovieBytes(spec))), PLAT_MEDIA_OK);
  std::vector<int16_t> out(44100 * 2);
  auto pull = [&](uint32_t frames) {
    EXPECT_EQ(PlatAudioManualPull(frames, out.data()), int32_t(frames));
    int peak = 0, crossings = 0;
    bool low = false;
    for (uint32_t i = 0; i < frames; i++) {
      const int v = out[2 * i];
      peak = std::max(peak, std::abs(v));
      if (v < -1000) low = true;
      if (low && v > 1000) {
        crossings++;
        low = false;
      }
    }
    return std::make_pair(peak, crossings * 44100.0 / frames);
  };
  EXPECT_EQ(pull(4410).first, 0) << "stopped: silent";
  PlatMediaStreamSetState(stream, PLAT_STREAMSTATE_RUN);
  const auto [peak, hz] = pull(22050);
  EXPECT_GT(peak, 4000);
  EXPECT_NEAR(hz, 440, 10);
  PlatMediaRef control = 0;
  PlatMediaQueryInterface(graph, PLAT_MEDIA_CONTROL, &control);
  PlatMediaControlPause(control);
  PlatMediaRelease(control);
  EXPECT_EQ(pull(4410).first, 0) << "paused: silent";
  // Released, the stream leaves the device.
  PlatMediaRelease(dd);
  PlatMediaRelease(video);
  PlatMediaRelease(stream);
  dd = video = stream = 0;
  PlatAudioRelease(device);
  PlatAudioSelectBackend(audioBackend.c_str());
}

}  // namespace
