// Movies of the stream way on the stream back end itself, made by the movie writer and
// played into graphs on the manual clock: the 18 ms rule, the pending frame that the
// stream's thread completes, the loop and the end, a lost surface, a display change in the
// middle of a movie, a movie inside an archive, and the own decoder where there is no
// DirectDraw object.
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/system/wndproc.h"
#include "moviefiles.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "streamfixture.h"

namespace {

class StreamPlay : public StreamMovieTest {
 protected:
  const char* Backend() const override { return "stream"; }

  void SetUp() override {
    StreamMovieTest::SetUp();
    BuildYuvTables();
  }

  static MovieWriterSpec TenFrames() {
    return MovieWriterSpec{.width = 50, .height = 30, .offsetX = 3, .offsetY = 5, .frames = 10};
  }

  // A draw of the graph in a new screen frame: the movie's update first.
  static void Draw(int32_t graph) {
    g_DrawState.frameCount++;
    UpdateMovieFrame(LookupGraph(graph)->movie, 0);
  }
  // Waits for the stream's thread to complete the pending update.
  static void WaitForPending(int32_t graph) {
    MovieRecord* r = MovieOf(graph);
    ASSERT_EQ(r->updatePending, 1);
    ASSERT_EQ(PlatEventWait(r->sampleEvent, PLAT_INFINITE), PLAT_WAIT_SIGNALED);
  }
  // Moves the clock to ms after start.
  static void At(uint32_t start, uint32_t ms) {
    if (start + ms > PlatTimeMs()) PlatClockAdvance(start + ms - PlatTimeMs());
  }
};

TEST_F(StreamPlay, FramesComeAtTheirTimesAtMostOneAScreenFrameAndThePendingOneIsPolled) {
  Start();
  const int32_t graph = OpenMovieToGraph(Write("ten.ogg", MovieBytes(TenFrames())).c_str(), 1, MOVIE_WAY_STREAM);
  ASSERT_NE(graph, -1) << log;
  const uint32_t start = PlatTimeMs();
  MovieRecord* r = MovieOf(graph);
  EXPECT_EQ(r->ownDecoder, 0);
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 0);
  EXPECT_EQ(r->updatePending, 0);

  // Within one screen frame and 18 ms nothing more is asked of the stream.
  UpdateMovieFrame(LookupGraph(graph)->movie, 0);
  At(start, 17);
  UpdateMovieFrame(LookupGraph(graph)->movie, 0);
  EXPECT_EQ(r->updatePending, 0);
  At(start, 18);
  UpdateMovieFrame(LookupGraph(graph)->movie, 0);
  EXPECT_EQ(r->updatePending, 1) << "frame 1 is not due before 1/15 s";

  // The stream's thread writes frame 1 when it is due; the next draw takes it.
  At(start, 67);
  WaitForPending(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 0);
  Draw(graph);
  EXPECT_EQ(r->updatePending, 0);
  EXPECT_EQ(GraphFrameNumber(graph), 1);

  // A late draw takes the frame due then.
  At(start, 420);
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 6);
}

TEST_F(StreamPlay, ALoopingMovieStartsAgainAtOnceAndAnotherEndsOnItsLastFrame) {
  Start();
  const std::string path = Write("ten.ogg", MovieBytes(TenFrames()));
  for (const int32_t playType : {3, 1}) {
    SCOPED_TRACE(playType == 3 ? "looping" : "once");
    const int32_t graph = OpenMovieToGraph(path.c_str(), playType, MOVIE_WAY_STREAM);
    ASSERT_NE(graph, -1);
    const uint32_t start = PlatTimeMs();
    MovieRecord* r = MovieOf(graph);
    At(start, 620);
    Draw(graph);
    EXPECT_EQ(GraphFrameNumber(graph), 9);
    Draw(graph);  // the end is pending until the whole movie's time has run
    At(start, 667);
    WaitForPending(graph);
    Draw(graph);  // takes what is there: frame 9 still
    Draw(graph);  // the end of the stream
    if (playType == 3) {
      EXPECT_EQ(r->playRequested, 1);
      EXPECT_EQ(r->lastFrameCount, -1);
      // The next update, in the same screen frame, takes frame 0 at once.
      UpdateMovieFrame(LookupGraph(graph)->movie, 0);
      EXPECT_EQ(GraphFrameNumber(graph), 0);
      EXPECT_EQ(r->updatePending, 0);
    } else {
      EXPECT_EQ(r->playRequested, 0);
      EXPECT_EQ(r->paused, 1);
      At(start, 2000);
      Draw(graph);
      EXPECT_EQ(GraphFrameNumber(graph), 9);
    }
    FreeGraph(graph, 0);
  }
}

TEST_F(StreamPlay, AMovieWithDamagedPicturesPlaysOnAndEndsOnTime) {
  Start();
  for (const DamagedMovieCase& c : DamagedMovieCases()) {
    SCOPED_TRACE(c.name);
    const int32_t graph =
        OpenMovieToGraph(Write("damaged.ogg", DamagedMovie(c.damaged)).c_str(), 1, MOVIE_WAY_STREAM);
    ASSERT_NE(graph, -1) << log;
    const uint32_t start = PlatTimeMs();
    MovieRecord* r = MovieOf(graph);
    for (const auto& [frame, shows] : c.shows) {
      At(start, uint32_t((frame * 1000 + 14) / 15));
      Draw(graph);
      EXPECT_EQ(GraphFrameNumber(graph), shows) << "frame " << frame;
    }
    Draw(graph);  // the end is pending until the whole movie's time has run
    At(start, 667);
    WaitForPending(graph);
    Draw(graph);
    Draw(graph);  // the end of the stream
    EXPECT_EQ(r->playRequested, 0);
    EXPECT_EQ(r->paused, 1);
    EXPECT_EQ(GraphFrameNumber(graph), c.shows.back().second);
    FreeGraph(graph, 0);
  }
  // A movie none of whose pictures decodes is not opened, and leaves nothing behind.
  const int32_t graphs = g_GraphTable.table.count;
  EXPECT_EQ(OpenMovieToGraph(Write("none.ogg", DamagedMovie({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})).c_str(), 1,
                             MOVIE_WAY_STREAM),
            -1);
  EXPECT_EQ(GetMovieCount(), 0);
  EXPECT_EQ(g_GraphTable.table.count, graphs);
}

TEST_F(StreamPlay, ALostSurfaceLeavesTheMovieWhereItWasUntilItIsRestored) {
  Start();
  const int32_t graph = OpenMovieToGraph(Write("ten.ogg", MovieBytes(TenFrames())).c_str(), 1, MOVIE_WAY_STREAM);
  ASSERT_NE(graph, -1);
  const uint32_t start = PlatTimeMs();
  MovieRecord* r = MovieOf(graph);
  Draw(graph);
  PlatDDrawFakeLoseSurface(r->surface);
  At(start, 140);
  Draw(graph);  // the stream cannot write: the update fails
  EXPECT_EQ(r->playRequested, 1);
  EXPECT_EQ(r->paused, 0);
  EXPECT_EQ(r->updatePending, 0);
  EXPECT_EQ(GraphFrameNumber(graph), 0);
  RestoreMovieSurfaces(LookupGraph(graph)->movie);
  At(start, 210);
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 3);
}

TEST_F(StreamPlay, ADisplayChangeInTheMiddleOfAMovieGoesOnFromItsTime) {
  Start();
  const int32_t graph = OpenMovieToGraph(Write("ten.ogg", MovieBytes(TenFrames())).c_str(), 1, MOVIE_WAY_STREAM);
  ASSERT_NE(graph, -1);
  const uint32_t start = PlatTimeMs();
  MovieRecord* r = MovieOf(graph);
  At(start, 270);
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 4);
  // The window is told of a display change: the release, the rebuild (which opens the
  // movie again, the time it had kept), the resume.
  SetGraphRestoreHandler(nullptr);
  int32_t width = 0, height = 0, depth = 0;
  QueryScreenFormat(&width, &height, &depth);
  MainWindowProc(window, PLAT_WM_DISPLAYCHANGE, PlatWParam(depth),
                 PlatLParam(uintptr_t(width + 160) | uintptr_t(height + 120) << 16));
  EXPECT_EQ(r->savedTime, 2700000);
  ASSERT_NE(r->surface4, 0u);
  int64_t time = 0;
  PlatMediaStreamGetTime(r->multiMediaStream, &time);
  EXPECT_EQ(time, 2700000) << "the manual clock stood still through the change";
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 4);
  PlatClockAdvance(140);
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 6);
}

TEST_F(StreamPlay, AMovieInsideAnArchivePlaysFromItsCopy) {
  Start();
  WriteArchive(dir + "/DATA.KRA", "MOVIE.OGG", MovieBytes(TenFrames()));
  const int32_t graph = OpenMovieToGraph((dir + "/DATA/MOVIE.OGG").c_str(), 1, MOVIE_WAY_STREAM);
  ASSERT_NE(graph, -1) << log;
  EXPECT_EQ(MovieOf(graph)->tempFile, 1);
  Draw(graph);
  EXPECT_EQ(GraphFrameNumber(graph), 0);
}

TEST_F(StreamPlay, WithoutADirectDrawObjectTheCreatorTakesTheOwnDecoder) {
  g_ScreenState.softwareRender = 1;
  g_ScreenState.noDirectDraw = 1;
  PlatDisplayHeadlessSetDesktop(HeadlessDesktop(32), 0);
  ASSERT_EQ(StartGraphicsWithFallback(window), 0);
  ASSERT_EQ(GetMovieDirectDraw(), 0u);
  const int32_t graph = OpenMovieToGraph(Write("ten.ogg", MovieBytes(TenFrames())).c_str(), 1, MOVIE_WAY_STREAM);
  ASSERT_NE(graph, -1) << log;
  EXPECT_EQ(MovieOf(graph)->ownDecoder, 1);
  EXPECT_EQ(PlatMediaFakeLiveObjects(), 0);
}

}  // namespace
