// Movies opened by the creator into graphs on the headless display, on the manual clock
// and the manual sound output: the graph holds frame k at time k / rate, or at the
// sound's position; movies come out of archives too; freeing the graph closes the movie
// and gives everything back; what cannot be played leaves nothing behind.
#include "engine/base/memory.h"
#include "engine/file/archivefile.h"
#include "engine/file/file.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/movie/movie.h"
#include "engine/sound/services.h"
#include "engine/sound/soundhandle.h"
#include "engine/sound/soundsystem.h"
#include "graphics/screenfixture.h"
#include "moviefiles.h"
#include "platform/audio/audio.h"
#include "platform/audio/audiofake.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class MovieGraphs : public HeadlessScreenTest {
 protected:
  std::string dir;
  int32_t blocksBefore = 0;

  void SetUp() override {
    HeadlessScreenTest::SetUp();
    blocksBefore = GetTrackedBlockCount();
    BuildYuvTables();
    char tmpl[] = "/tmp/krmovieXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    InitArchiveTables();
    SetFileFunctionTable(&ArchiveAwareFileFunctionSet);
    PlatAudioFakeReset();
    g_System.settings.windowed = 1;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
  }
  void TearDown() override {
    HeadlessScreenTest::TearDown();  // ends the graphics, which frees every graph
    EXPECT_EQ(GetMovieCount(), 0);
    EndSoundSystem();
    PlatAudioFakeReset();
    EndArchives();
    SetFileFunctionTable(nullptr);
    std::filesystem::remove_all(dir);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left";
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }

  static MovieRecord* MovieOf(int32_t graph) {
    const GraphRecord* g = LookupGraph(graph);
    return g ? LookupMovie(g->movie) : nullptr;
  }

  // What a draw of the graph does first: update its movie. The decoder works on its own
  // thread, so the test waits for it and updates once more, which hands the frame over.
  static void Update(int32_t graph) {
    const int32_t movie = LookupGraph(graph)->movie;
    UpdateMovieFrame(movie, 0);
    WaitForFrame(LookupMovie(movie)->decoder);
    UpdateMovieFrame(movie, 0);
  }

  static int32_t GraphFrame(int32_t graph) { return GraphFrameNumber(graph); }

  static MovieWriterSpec TenFrames(int32_t toneHz = 0) {
    return MovieWriterSpec{.width = 50, .height = 30, .offsetX = 3, .offsetY = 5, .frames = 10, .toneHz = toneHz};
  }
};

TEST_F(MovieGraphs, AMovieFedGraphHoldsFrameKAtTimeKOverTheRate) {
  const std::string path = Write("ten.ogg", MovieBytes(TenFrames()));
  const uint32_t start = PlatTimeMs();
  const int32_t graph = OpenMovieToGraph(path.c_str(), 1, MOVIE_WAY_OWN_DECODER);
  ASSERT_NE(graph, -1);
  int32_t width = 0, height = 0;
  QueryGraphSize(graph, &width, &height);
  EXPECT_EQ(width, 50);
  EXPECT_EQ(height, 30);
  MovieRecord* r = MovieOf(graph);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->sound, -1) << "no sound system: the clock times the movie";
  EXPECT_EQ(r->playRequested, 1);
  EXPECT_EQ(r->paused, 0);
  const int32_t movie = LookupGraph(graph)->movie;

  for (int32_t k = 0; k < 10; k++) {
    // k / 15 s, rounded up to the next millisecond.
    const uint32_t due = start + uint32_t((k * 1000 + 14) / 15);
    PlatClockAdvance(due - PlatTimeMs());
    Update(graph);
    EXPECT_EQ(GraphFrame(graph), k) << "at " << due - start << " ms";
  }
  // Past the end the movie has ended on its last frame.
  PlatClockAdvance(500);
  Update(graph);
  EXPECT_EQ(GraphFrame(graph), 9);
  EXPECT_EQ(r->playRequested, 0);
  EXPECT_EQ(r->paused, 1);

  EXPECT_EQ(FreeGraph(graph, 0), 0);
  EXPECT_EQ(LookupMovie(movie), nullptr);
  EXPECT_EQ(GetMovieCount(), 0);
}

TEST_F(MovieGraphs, ALoopingMovieComesRoundAgain) {
  const std::string path = Write("loop.ogg", MovieBytes(TenFrames()));
  const uint32_t start = PlatTimeMs();
  const int32_t graph = OpenMovieToGraph(path.c_str(), 3, MOVIE_WAY_OWN_DECODER);
  ASSERT_NE(graph, -1);
  for (const int32_t k : {8, 12, 25}) {
    PlatClockAdvance(start + uint32_t((k * 1000 + 14) / 15) - PlatTimeMs());
    Update(graph);
    EXPECT_EQ(GraphFrame(graph), k % 10) << k;
  }
  EXPECT_EQ(MovieOf(graph)->playRequested, 1);
}

TEST_F(MovieGraphs, AMovieWithDamagedPicturesPlaysOnAndEndsOnTime) {
  for (const DamagedMovieCase& c : DamagedMovieCases()) {
    SCOPED_TRACE(c.name);
    const int32_t graph = OpenMovieToGraph(Write("damaged.ogg", DamagedMovie(c.damaged)).c_str(), 1,
                                           MOVIE_WAY_OWN_DECODER);
    ASSERT_NE(graph, -1) << log;
    const uint32_t start = PlatTimeMs();
    for (const auto& [frame, shows] : c.shows) {
      PlatClockAdvance(start + uint32_t((frame * 1000 + 14) / 15) - PlatTimeMs());
      Update(graph);
      EXPECT_EQ(GraphFrame(graph), shows) << "frame " << frame;
    }
    PlatClockAdvance(500);
    Update(graph);
    EXPECT_EQ(GraphFrame(graph), c.shows.back().second);
    EXPECT_EQ(MovieOf(graph)->playRequested, 0);
    EXPECT_EQ(MovieOf(graph)->paused, 1);
    EXPECT_EQ(FreeGraph(graph, 0), 0);
  }
}

TEST_F(MovieGraphs, AMovieInsideAnArchiveOpens) {
  WriteArchive(dir + "/DATA.KRA", "MOVIE.OGG", MovieBytes(TenFrames()));
  ASSERT_FALSE(std::filesystem::exists(dir + "/DATA/MOVIE.OGG"));

  const int32_t graph = OpenMovieToGraph((dir + "/DATA/MOVIE.OGG").c_str(), 1, MOVIE_WAY_OWN_DECODER);
  ASSERT_NE(graph, -1);
  Update(graph);
  EXPECT_EQ(GraphFrame(graph), 0);
  EXPECT_EQ(GetOpenFileCount(), 0) << "the file was read whole and closed";
}

TEST_F(MovieGraphs, WithItsToneTheMovieFollowsTheSoundAndStaysOnItsLastFrame) {
  ASSERT_EQ(PlatAudioSelectBackend("manual"), 0);
  ASSERT_EQ(InitSoundSystem(), 0);
  MovieWriterSpec spec = TenFrames(440);
  spec.audioRate = 44100;
  spec.audioSeconds = 1.0;  // longer than the pictures (0.67 s)
  const std::string path = Write("tone.ogg", MovieBytes(spec));
  const int32_t graph = OpenMovieToGraph(path.c_str(), 1, MOVIE_WAY_OWN_DECODER);
  ASSERT_NE(graph, -1);
  MovieRecord* r = MovieOf(graph);
  ASSERT_NE(r->sound, -1);
  EXPECT_EQ(IsSoundPlaying(r->sound), 1);

  // The clock stands still: only the sound's position moves the pictures.
  std::vector<int16_t> out;
  int32_t pulledMs = 0;
  auto pullTo = [&](int32_t ms) {
    if (ms == pulledMs) return;
    std::vector<int16_t> part(size_t(ms - pulledMs) * 441 / 10 * 2);
    ASSERT_EQ(PlatAudioManualPull(uint32_t(part.size() / 2), part.data()), int32_t(part.size() / 2));
    out.insert(out.end(), part.begin(), part.end());
    pulledMs = ms;
  };
  const struct { int32_t ms, frame; } steps[] = {{0, 0}, {100, 1}, {340, 5}, {610, 9}, {800, 9}, {1300, 9}};
  for (auto s : steps) {
    pullTo(s.ms);
    Update(graph);
    EXPECT_EQ(GraphFrame(graph), s.frame) << "at " << s.ms << " ms of sound";
  }
  EXPECT_EQ(IsSoundPlaying(r->sound), 0) << "the sound has ended";
  EXPECT_EQ(r->playRequested, 1) << "a movie with sound never ends by itself";
  // The tone is there from the start: the first 50 ms are far from silent.
  int peak = 0;
  for (size_t i = 0; i < 4410; i++) peak = std::max(peak, std::abs(int(out[i])));
  EXPECT_GT(peak, 4000);
}

TEST_F(MovieGraphs, AWaitingPlayStartsTheSoundInTheBackground) {
  // A waiting play of the sound would hold the creator until the sound ended, and the
  // manual output never ends it unless pulled.
  ASSERT_EQ(PlatAudioSelectBackend("manual"), 0);
  ASSERT_EQ(InitSoundSystem(), 0);
  const std::string path = Write("wait.ogg", MovieBytes(TenFrames(440)));
  const int32_t graph = OpenMovieToGraph(path.c_str(), 0, MOVIE_WAY_OWN_DECODER);
  ASSERT_NE(graph, -1);
  MovieRecord* r = MovieOf(graph);
  EXPECT_EQ(IsSoundPlaying(r->sound), 1);
  EXPECT_EQ(r->playType, 0) << "the movie keeps its play type; the resume makes it 1";
}

TEST_F(MovieGraphs, WhatCannotBePlayedLeavesNothingBehind) {
  const std::string movie = Write("ok.ogg", MovieBytes(TenFrames()));
  const std::string text = Write("text.ogg", std::string(3000, 'a'));
  const std::string damaged = Write("damaged.ogg", DamagedMovie({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  const int32_t graphsBefore = g_GraphTable.table.count;
  const struct {
    const char* name;
    std::string path;
    int32_t way;
  } cases[] = {
      {"no such file", dir + "/none.ogg", MOVIE_WAY_OWN_DECODER},
      {"not a movie", text, MOVIE_WAY_OWN_DECODER},
      {"no picture that decodes", damaged, MOVIE_WAY_OWN_DECODER},
      {"a way there is not", movie, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    EXPECT_EQ(OpenMovieToGraph(c.path.c_str(), 1, c.way), -1);
    EXPECT_TRUE(Logged("ムービーファイル")) << log;
    EXPECT_EQ(GetMovieCount(), 0);
    EXPECT_EQ(g_GraphTable.table.count, graphsBefore);
  }
}

}  // namespace
