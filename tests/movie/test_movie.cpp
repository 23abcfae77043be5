// The movie table, the own decoder's frame clock, pausing, resuming and closing, on the
// manual clock.
#include "engine/base/memory.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "moviefiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace {

struct MovieTest : MovieFixture {
  static MovieDecoder* NewDecoder(int64_t frames, uint32_t num, uint32_t den) {
    MovieDecoder* d = new (TrackedCalloc(sizeof(MovieDecoder), "", 0)) MovieDecoder{};
    theora_info_init(&d->info);
    d->info.fps_numerator = num;
    d->info.fps_denominator = den;
    d->frameCount = frames;
    return d;
  }
  // An own-decoder movie without sound, started now.
  static int32_t NewMovie(int64_t frames, uint32_t rate, int32_t playType, MovieRecord** out = nullptr) {
    MovieRecord* r = nullptr;
    const int32_t h = AddMovieRecord(&r);
    EXPECT_NE(h, -1);
    r->ownDecoder = 1;
    r->decoder = NewDecoder(frames, rate, 1);
    r->playType = playType;
    r->startTime = int64_t(PlatTimeMs()) * 1000;
    r->playRequested = 1;
    r->paused = 0;
    if (out) *out = r;
    return h;
  }
  static void AdvanceMs(uint32_t ms) { PlatClockAdvance(ms); }
};

TEST_F(MovieTest, ClampAndCoefficientTablesHoldThePartsValues) {
  struct { int v; int expected; } clamp[] = {{-512, 0}, {-1, 0}, {0, 0}, {128, 128}, {255, 255}, {767, 255}};
  for (auto c : clamp) EXPECT_EQ(YuvClampTable[c.v + 512], c.expected) << c.v;
  EXPECT_EQ(YuvCoefficientTables[YUV_LUMA][16], 0);
  EXPECT_EQ(YuvCoefficientTables[YUV_LUMA][235], 4176330);
  for (int t = YUV_V_RED; t <= YUV_U_BLUE; t++) EXPECT_EQ(YuvCoefficientTables[t][128], 0) << t;
  const int32_t ends[YUV_TABLE_COUNT][2] = {{-3346944, 3320796}, {819968, -813562}, {1704960, -1691640},
                                            {-4231936, 4198874}, {-305120, 4557730}};
  for (int t = 0; t < YUV_TABLE_COUNT; t++) {
    EXPECT_EQ(YuvCoefficientTables[t][0], ends[t][0]) << t;
    EXPECT_EQ(YuvCoefficientTables[t][255], ends[t][1]) << t;
  }
}

TEST_F(MovieTest, ConversionTakesStudioBlackAndWhiteToTheFullRange) {
  // Grey 128 stays grey; black and white of studio range reach 0 and 255.
  const struct { uint8_t y, u, v; uint32_t rgb; } cases[] = {
      {16, 128, 128, 0x000000}, {235, 128, 128, 0xFFFFFF}, {126, 128, 128, 0x808080}};
  for (auto c : cases) {
    uint32_t out = 0;
    ConvertYuvPicture(&c.y, 1, &c.u, &c.v, 1, 0, 0, 0, 0, 1, 1, reinterpret_cast<uint8_t*>(&out), 4);
    EXPECT_EQ(out & 0xFFFFFF, c.rgb) << int(c.y);
  }
}

TEST_F(MovieTest, AdvanceWrapsOnceAndLeavesTheFrameAloneForNoSteps) {
  MovieDecoder* d = NewDecoder(100, 15, 1);
  const struct { int32_t from; int64_t n; int32_t to; bool cleared; } cases[] = {
      {95, 10, 5, true}, {95, 250, 245, true}, {95, 0, 95, false}, {95, -3, 95, false}, {3, 4, 7, true}};
  for (auto c : cases) {
    d->currentFrame = c.from;
    d->frameValid[0] = 1;
    d->frameValid[1] = 1;
    EXPECT_EQ(AdvanceMovieFrame(d, c.n), 0);
    EXPECT_EQ(CurrentMovieFrame(d), c.to) << c.from << " + " << c.n;
    EXPECT_EQ(d->frameValid[0].load(), c.cleared ? 0 : 1);
    EXPECT_EQ(d->frameValid[1].load(), c.cleared ? 0 : 1);
  }
  StopMovieDecoder(d);
}

TEST_F(MovieTest, InfoGivesTheRateAsADivisionOfDoubles) {
  MovieDecoder* d = NewDecoder(7, 30000, 1001);
  d->info.width = 112;
  d->info.height = 64;
  MovieInfo info{};
  EXPECT_EQ(QueryMovieInfo(d, &info), 0);
  EXPECT_DOUBLE_EQ(info.frameRate, 30000.0 / 1001.0);
  EXPECT_NEAR(info.frameRate, 29.97002997, 1e-8);
  EXPECT_EQ(info.frameCount, 7);
  EXPECT_EQ(info.width, 112u);
  EXPECT_EQ(info.height, 64u);
  StopMovieDecoder(d);
}

struct Released : MovieDecoderInterface {
  int calls = 0;
};

TEST_F(MovieTest, AStopWithoutAThreadFreesItsBuffersAtOnce) {
  MovieDecoder* d = NewDecoder(5, 15, 1);
  d->frameBufferCount = 2;
  d->frameBuffers = static_cast<MovieFrameBuffer*>(TrackedCalloc(2 * sizeof(MovieFrameBuffer), "", 0));
  for (int i = 0; i < 2; i++)
    for (auto& p : d->frameBuffers[i].planes) p = static_cast<uint8_t*>(TrackedAlloc(64, "", 0));
  d->workBuffers[0] = static_cast<uint8_t*>(TrackedAlloc(32, "", 0));
  ASSERT_EQ(CreateGraphImageARGB8(4, 4, &d->decodedImage), 0);
  static Released released;
  released.calls = 0;
  released.release = [](MovieDecoderInterface* self) { static_cast<Released*>(self)->calls++; };
  d->iface = &released;
  const uint32_t before = PlatTimeMs();
  EXPECT_EQ(StopMovieDecoder(d), 0);
  EXPECT_EQ(PlatTimeMs(), before) << "no waiting without a thread";
  EXPECT_EQ(released.calls, 1);
}

TEST_F(MovieTest, LookupRefusesEveryHandleThatIsNotALiveMovie) {
  const int32_t h = NewMovie(10, 15, 1);
  ASSERT_NE(LookupMovie(h), nullptr);
  EXPECT_EQ(h & 0x78000000, 0x18000000);
  const int32_t slot = h & 0xFFFF;
  const int32_t refused[] = {-1, (h & ~0x78000000) | 0x08000000, (h & ~0xFFFF) | 100, (h & ~0xFFFF) | (slot + 1),
                             h ^ 0x00010000};
  for (int32_t bad : refused) EXPECT_EQ(LookupMovie(bad), nullptr) << std::hex << bad;
  EXPECT_EQ(CloseMovieHandle(h), 0);
  EXPECT_EQ(LookupMovie(h), nullptr);
  EXPECT_EQ(CloseMovieHandle(h), -1);
  EXPECT_EQ(CloseMovieHandle(-1), -1);
}

TEST_F(MovieTest, WithoutSoundTheFramesFollowTheClockAndAMovieThatDoesNotLoopEnds) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(10, 15, 1, &r);
  // 15 fps: frame k is due at k x 66.67 ms.
  const struct { uint32_t atMs; int32_t frame; } steps[] = {{0, 0}, {66, 0}, {67, 1}, {200, 3}, {600, 9}};
  uint32_t now = 0;
  for (auto s : steps) {
    AdvanceMs(s.atMs - now);
    now = s.atMs;
    EXPECT_EQ(UpdateMovieFrame(h, 0), 0);
    EXPECT_EQ(CurrentMovieFrame(r->decoder), s.frame) << s.atMs;
    EXPECT_EQ(r->playRequested, 1);
  }
  // Past the end it stays on the last frame and the movie has ended.
  AdvanceMs(1000);
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 9);
  EXPECT_EQ(r->playRequested, 0);
  EXPECT_EQ(r->paused, 1);
  // An ended movie is not resumed.
  ResumeAllMovieHandles();
  EXPECT_EQ(r->paused, 1);
  CloseMovieHandle(h);
}

TEST_F(MovieTest, ALoopingMovieWrapsByTheRemainderAndAdvancesThroughTheEnd) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(10, 15, 3, &r);
  AdvanceMs(600);  // frame 9
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 9);
  AdvanceMs(200);  // 800 ms: frame 12, which is 2 of the second round: 10 - 9 + 2 = 3 steps
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 2);
  EXPECT_EQ(r->playRequested, 1);
  EXPECT_EQ(r->paused, 0);
  CloseMovieHandle(h);
}

TEST_F(MovieTest, AClockBehindTheStartShowsFrameZero) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(10, 15, 1, &r);
  r->startTime += 5000000;
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 0);
  CloseMovieHandle(h);
}

TEST_F(MovieTest, APausedMovieResumesAtTheFrameItShows) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(100, 15, 0, &r);
  AdvanceMs(2000);  // frame 30
  EXPECT_EQ(PauseAllMovieHandles(), 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 30);
  EXPECT_EQ(r->paused, 1);
  EXPECT_EQ(r->playRequested, 1);
  // A second pause, even one that drops the request, changes nothing.
  EXPECT_EQ(PauseMovieHandle(h, 0), 0);
  EXPECT_EQ(r->playRequested, 1);
  AdvanceMs(5000);
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 30) << "a paused movie keeps its frame";
  EXPECT_EQ(ResumeAllMovieHandles(), 0);
  EXPECT_EQ(r->startTime, int64_t(PlatTimeMs()) * 1000 - 2000000);
  EXPECT_EQ(r->playType, 1) << "play type 0 resumes as 1";
  EXPECT_EQ(r->paused, 0);
  EXPECT_EQ(r->playRequested, 1);
  AdvanceMs(67);
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(CurrentMovieFrame(r->decoder), 31);
  CloseMovieHandle(h);
}

TEST_F(MovieTest, AMoviePausedByRequestIsNotResumed) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(10, 15, 1, &r);
  EXPECT_EQ(PauseMovieHandle(h, 0), 0);
  EXPECT_EQ(r->playRequested, 0);
  ResumeAllMovieHandles();
  EXPECT_EQ(r->paused, 1);
  EXPECT_EQ(PauseMovieHandle(-1, 1), -1);
  CloseMovieHandle(h);
}

TEST_F(MovieTest, TheFrameCallbackRunsOnEveryUpdateAlsoWhilePaused) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(10, 15, 1, &r);
  static int calls;
  static int32_t seen;
  calls = 0;
  r->frameCallback = [](MovieRecord*, int32_t data) {
    calls++;
    seen = data;
  };
  r->callbackData = 77;
  UpdateMovieFrame(h, 0);
  PauseMovieHandle(h, 1);  // updates once more
  UpdateMovieFrame(h, 0);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(seen, 77);
  EXPECT_EQ(r->frameReady, 1);
  CloseMovieHandle(h);
}

TEST_F(MovieTest, ACloseDeletesTheTemporaryCopyAndTheSampleEvent) {
  MovieRecord* r = nullptr;
  const int32_t h = NewMovie(1, 15, 1, &r);
  const std::string copy = dir + "/copy.tmp";
  PlatFile* f = PlatFileOpen(copy.c_str(), PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
  ASSERT_NE(f, nullptr);
  PlatFileClose(f);
  std::snprintf(r->fileName, sizeof r->fileName, "%s", copy.c_str());
  r->tempFile = 1;
  r->sampleEvent = PlatEventCreate(1, 0);
  EXPECT_EQ(CloseMovieHandle(h), 0);
  EXPECT_EQ(PlatFileOpen(copy.c_str(), PLAT_FILE_READ, PLAT_OPEN_EXISTING), nullptr);
}

TEST_F(MovieTest, TheTableHoldsAHundredMovies) {
  std::vector<int32_t> handles;
  for (int i = 0; i < MOVIE_TABLE_SIZE; i++) handles.push_back(NewMovie(1, 15, 1));
  EXPECT_EQ(AddMovieRecord(nullptr), -1);
  for (int32_t h : handles) EXPECT_EQ(CloseMovieHandle(h), 0);
}

}  // namespace
