// The stream way over the fake multimedia stream: the opening's steps, lines and release
// order, the surface modes, the temporary copy, the frame update, the overlay, and the
// movies across pauses and display changes.
#include "moviefiles.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/system/wndproc.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/gdi/fake/gdifake.h"
#include "streamfixture.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

constexpr PlatDDPixelFormat kUyvy{32, PLAT_DDPF_FOURCC, 0x59565955u, 0, 0, 0, 0, 0};

class MovieStreams : public StreamMovieTest {
 protected:
  std::string onDisk;

  void SetUp() override {
    StreamMovieTest::SetUp();
    onDisk = Write("movie.mpg", std::string(1000, 'm'));
  }

  // A record opened on the fake stream from the file on disk; -1 when the opening failed.
  int32_t Open(MovieSurfaceMode mode = MOVIE_SURFACE_PLAIN, MovieRecord** out = nullptr,
               const std::string& name = "") {
    MovieRecord* r = nullptr;
    const int32_t movie = NewMovie(&r);
    if (out) *out = r;
    if (OpenMovieFile(GetMovieDirectDraw(), r, (name.empty() ? onDisk : name).c_str(), nullptr, nullptr, mode) != 0)
      return -1;
    return movie;
  }

  // A movie that plays: opened and run, as the creator starts one.
  int32_t Playing(int32_t playType = 1, MovieSurfaceMode mode = MOVIE_SURFACE_PLAIN) {
    MovieRecord* r = nullptr;
    const int32_t movie = Open(mode, &r);
    if (movie == -1) return -1;
    PlatMediaStreamSetState(r->multiMediaStream, PLAT_STREAMSTATE_RUN);
    r->playType = playType;
    r->playRequested = 1;
    r->paused = 0;
    return movie;
  }

  static int Updates() { return int(PlatMediaFakeArguments("Update").size()); }
  static void NextScreenFrame() { g_DrawState.frameCount++; }
};

// ---- opening ------------------------------------------------------------------------------

TEST_F(MovieStreams, EveryFailingStepLogsItsLineAndReleasesInTheOpeningsOrder) {
  PlatDDrawFakeSetOverlayFormat(&kUyvy);
  Start(16);
  // The opening's release order, each as the fakes name its release.
  const struct {
    const char* code;
    const char* release;
  } order[] = {
      {"V", "media.ReleaseMediaStream"},          {"D", "media.ReleaseDirectDrawMediaStream"},
      {"S", "media.ReleaseStreamSample"},         {"Su", "ddraw.SurfaceRelease"},
      {"S4", "ddraw.SurfaceRelease4"},            {"S7", "ddraw.SurfaceRelease7"},
      {"AM", "media.ReleaseAMMediaStream"},       {"MM", "media.ReleaseMultiMediaStream"},
      {"DD4", "ddraw.Release4"},                  {"L", "media.ReleaseMultiMediaStream"},
      {"GB", "media.ReleaseGraphBuilder"},        {"MC", "media.ReleaseMediaControl"},
      {"MS", "media.ReleaseMediaSeeking"},        {"BA", "media.ReleaseBasicAudio"},
  };
  const std::string file = "ファイル:" + onDisk + " が開けませんでした";
  const struct {
    const char* family;  // where the failure is injected
    const char* operation;
    int nth;
    MovieSurfaceMode mode;
    std::string line;
    const char* before;  // releases of the steps that went well: the first generation's view
                         // (16) and the surface the sample does not keep (17)
    const char* held;    // what the failure releases, by code
  } cases[] = {
      {"media", "CreateFilterGraph", 1, MOVIE_SURFACE_PLAIN, "CLSID_FilterGraph の作成に失敗しました", "", ""},
      {"media", "CreateMultiMediaStream", 1, MOVIE_SURFACE_PLAIN,
       "IAMMultimediaインターフェイスを取得できませんでした！", "", "GB"},
      {"media", "Initialize", 1, MOVIE_SURFACE_PLAIN, "ストリームを読み取り用にセットアップできませんでした！", "",
       "L GB"},
      {"media", "QueryMediaControl", 1, MOVIE_SURFACE_PLAIN, "IID_IMediaControlインターフェイスの取得に失敗しました",
       "", "L GB"},
      {"ddraw", "QueryFourthGeneration", 1, MOVIE_SURFACE_PLAIN, "DirectDraw4オブジェクトを取得できませんでした", "",
       "L GB MC"},
      {"media", "AddMediaStream", 1, MOVIE_SURFACE_PLAIN, "プライマリビデオストリームを追加できませんでした！", "",
       "DD4 L GB MC"},
      {"media", "AddMediaStream", 2, MOVIE_SURFACE_PLAIN, "デフォルトサウンドレンダラを追加できませんでした！\n", "",
       "DD4 L GB MC"},
      {"media", "OpenFile", 1, MOVIE_SURFACE_PLAIN, file, "", "DD4 L GB MC"},
      {"media", "QueryMediaSeeking", 1, MOVIE_SURFACE_PLAIN, "メディアシーキングインターフェースの取得に失敗しました",
       "", "MM DD4 GB MC"},
      {"media", "QueryBasicAudio", 1, MOVIE_SURFACE_PLAIN, "BasicAudio インターフェースの取得に失敗しました", "",
       "MM DD4 GB MC MS"},
      {"media", "GetMediaStream", 1, MOVIE_SURFACE_PLAIN,
       "プライマリビデオストリームインターフェイスを取得できませんでした！", "", "MM DD4 GB MC MS BA"},
      {"media", "QueryAMMediaStream", 1, MOVIE_SURFACE_PLAIN, "AMMediaStreamインターフェイスの取得に失敗しました", "",
       "V MM DD4 GB MC MS BA"},
      {"media", "QueryDirectDrawMediaStream", 1, MOVIE_SURFACE_PLAIN,
       "DirectDrawメディアストリームインターフェイスを取得できませんでした！", "", "V AM MM DD4 GB MC MS BA"},
      {"media", "GetFormat", 1, MOVIE_SURFACE_PLAIN, "動画ファイルではない可能性があります！", "",
       "V D AM MM DD4 GB MC MS BA"},
      {"ddraw", "CreateSurface", 1, MOVIE_SURFACE_PLAIN, "DirectDrawSurface オブジェクトの作成に失敗しました",
       "ddraw.Release1", "V D AM MM DD4 GB MC MS BA"},
      {"media", "CreateSample", 2, MOVIE_SURFACE_PLAIN, "ストリームサンプルを作成できませんでした！",
       "ddraw.Release1 ddraw.SurfaceRelease", "V D AM MM DD4 GB MC MS BA"},
      {"media", "GetSurface", 1, MOVIE_SURFACE_PLAIN,
       "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！",
       "ddraw.Release1 ddraw.SurfaceRelease", "V D S AM MM DD4 GB MC MS BA"},
      {"ddraw", "QuerySurface4", 1, MOVIE_SURFACE_PLAIN, "IDirectDrawSurface4インターフェイスを取得できませんでした！",
       "ddraw.Release1 ddraw.SurfaceRelease", "V D S Su AM MM DD4 GB MC MS BA"},
      {"ddraw", "QuerySurface7", 1, MOVIE_SURFACE_PLAIN, "IDirectDrawSurface7インターフェイスを取得できませんでした！",
       "ddraw.Release1 ddraw.SurfaceRelease", "V D S Su S4 AM MM DD4 GB MC MS BA"},
      {"ddraw", "QuerySurface7", 1, MOVIE_SURFACE_OVERLAY,
       "IDirectDrawSurface7インターフェイスを取得できませんでした！", "ddraw.Release1 ddraw.SurfaceRelease",
       "V D S Su AM MM DD4 GB MC MS BA"},
  };
  auto words = [](const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " #" + std::to_string(c.nth));
    MovieRecord* r = nullptr;
    const int32_t movie = NewMovie(&r);
    const int32_t error = int32_t(0x80004005u);
    if (std::string(c.family) == "ddraw") PlatDDrawFakeFailNext(c.operation, c.nth, error);
    else if (std::string(c.operation) == "OpenFile" || std::string(c.operation) == "CreateSample")
      PlatMediaFakeFailNext(c.operation, 2, error);  // both tries
    else if (std::string(c.operation) == "GetFormat") PlatMediaFakeSetScript({.width = 0});
    else PlatMediaFakeFailNth(c.operation, c.nth, error);
    log.clear();
    PlatFakeJournal(1);
    EXPECT_EQ(OpenMovieFile(GetMovieDirectDraw(), r, onDisk.c_str(), nullptr, nullptr, c.mode), -1);
    std::vector<std::string> releases;
    for (const std::string& e : PlatFakeJournalEntries())
      if (e.find("Release") != std::string::npos) releases.push_back(e);
    PlatFakeJournal(0);
    // The debugger output ends its lines as Windows does.
    std::string logged = log;
    for (size_t at; (at = logged.find("\r\n")) != std::string::npos;) logged.erase(at, 1);
    EXPECT_EQ(logged, c.line);

    std::vector<std::string> want = words(c.before);
    const std::vector<std::string> held = words(c.held);
    for (const auto& o : order) {
      if (std::find(held.begin(), held.end(), o.code) == held.end()) continue;
      want.push_back(o.release);
      // The sample's last reference lets go of its own reference to the surface.
      if (std::string(o.code) == "S") want.push_back("ddraw.SurfaceRelease");
    }
    EXPECT_EQ(releases, want);
    for (PlatMediaRef ref : {r->multiMediaStream, r->videoStream, r->amVideoStream, r->ddStream, r->sample,
                             r->graphBuilder, r->mediaControl, r->mediaSeeking, r->basicAudio})
      EXPECT_EQ(ref, 0u);
    EXPECT_EQ(r->surface | r->surface4 | r->surface7 | r->directDraw4, 0u);
    EXPECT_EQ(r->sampleEvent, nullptr);
    EXPECT_EQ(r->frameImage.pixels, nullptr);
    EXPECT_EQ(PlatMediaFakeLiveObjects(), 0);
    EXPECT_EQ(CloseMovieHandle(movie), 0);
    PlatMediaFakeReset();
    PlatDDrawFakeFailNext("CreateSurface", 0, 0);
  }
}

TEST_F(MovieStreams, WithoutADirectDrawObjectTheOpeningFailsAtStepSeven) {
  Start();
  MovieRecord* r = nullptr;
  const int32_t movie = NewMovie(&r);
  log.clear();
  EXPECT_EQ(OpenMovieFile(0, r, onDisk.c_str(), nullptr, nullptr, MOVIE_SURFACE_PLAIN), -1);
  EXPECT_EQ(log, "DirectDraw4オブジェクトを取得できませんでした");
  EXPECT_EQ(PlatMediaFakeLiveObjects(), 0);
  CloseMovieHandle(movie);
}

TEST_F(MovieStreams, TheSurfaceModeSettles) {
  struct Case {
    const char* what;
    int32_t depth;
    bool overlay;
    MovieSurfaceMode asked;
    bool sampleRefusesTheSurface;
    MovieSurfaceMode settled;
    uint32_t caps;  // of the frame surface
    uint32_t bitCount;
  } cases[] = {
      {"an overlay", 16, true, MOVIE_SURFACE_OVERLAY, false, MOVIE_SURFACE_OVERLAY, PLAT_DDSCAPS_OVERLAY, 16},
      {"no overlay format: 24-bit RGB", 16, false, MOVIE_SURFACE_OVERLAY, false, MOVIE_SURFACE_RGB24,
       PLAT_DDSCAPS_SYSTEMMEMORY, 24},
      {"24-bit RGB on 16 bits", 16, false, MOVIE_SURFACE_RGB24, false, MOVIE_SURFACE_RGB24, PLAT_DDSCAPS_SYSTEMMEMORY,
       24},
      {"24-bit RGB on 32 bits: the screen's", 32, false, MOVIE_SURFACE_RGB24, false, MOVIE_SURFACE_PLAIN,
       PLAT_DDSCAPS_SYSTEMMEMORY, 32},
      {"no overlay on 32 bits: the screen's", 32, false, MOVIE_SURFACE_OVERLAY, false, MOVIE_SURFACE_PLAIN,
       PLAT_DDSCAPS_SYSTEMMEMORY, 32},
      {"the screen's", 16, false, MOVIE_SURFACE_PLAIN, false, MOVIE_SURFACE_PLAIN, PLAT_DDSCAPS_SYSTEMMEMORY, 16},
      // The stream's own surface: X8R8G8B8 in the fake.
      {"a sample refusing the surface", 16, false, MOVIE_SURFACE_RGB24, true, MOVIE_SURFACE_PLAIN,
       PLAT_DDSCAPS_SYSTEMMEMORY, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.overlay) PlatDDrawFakeSetOverlayFormat(&kUyvy);
    Start(c.depth);
    if (c.sampleRefusesTheSurface) PlatMediaFakeFailNext("CreateSample", 1, int32_t(0x80040409u));
    MovieRecord* r = nullptr;
    const int32_t movie = Open(c.asked, &r);
    ASSERT_NE(movie, -1) << log;
    EXPECT_EQ(r->surfaceMode, c.settled);
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    ASSERT_EQ(PlatDDSurfaceGetDesc(r->surface, &desc), PLAT_DD_OK);
    EXPECT_EQ(desc.caps & c.caps, c.caps);
    EXPECT_EQ(desc.pixelFormat.bitCount, c.bitCount);
    EXPECT_EQ(r->frameImage.format.bitDepth, c.bitCount);
    // Surface mode 1 gets no frame buffer and holds no fourth-generation view.
    const bool overlay = c.settled == MOVIE_SURFACE_OVERLAY;
    EXPECT_EQ(r->frameImage.pixels == nullptr, overlay);
    EXPECT_EQ(r->surface4 == 0, overlay);
    EXPECT_NE(r->surface7, 0u);
    EXPECT_EQ(r->systemMemory, overlay ? 0 : 1);
    CloseMovieHandle(movie);
    TearDown();
    SetUp();
  }
}

TEST_F(MovieStreams, TheFrameSizeComesFromTheSample) {
  Start(16);
  const struct {
    int32_t width, height, halfWidth;
    MovieSurfaceMode mode;
    bool opens;
    int32_t widthOut, pitch;
  } cases[] = {
      {0, 48, 0, MOVIE_SURFACE_PLAIN, false, 0, 0},
      {64, 0, 0, MOVIE_SURFACE_PLAIN, false, 0, 0},
      {640, 480, 1, MOVIE_SURFACE_PLAIN, true, 320, 1280},
      {641, 480, 1, MOVIE_SURFACE_PLAIN, true, 320, 1284},
      {321, 20, 0, MOVIE_SURFACE_RGB24, true, 321, 964},
      {321, 20, 0, MOVIE_SURFACE_PLAIN, true, 321, 644},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    PlatMediaFakeSetScript({.width = c.width, .height = c.height});
    MovieRecord* r = nullptr;
    const int32_t movie = NewMovie(&r);
    r->halfWidth = c.halfWidth;
    int32_t width = -1, height = -1;
    log.clear();
    const int opened = OpenMovieFile(GetMovieDirectDraw(), r, onDisk.c_str(), &width, &height, c.mode);
    EXPECT_EQ(opened, c.opens ? 0 : -1);
    if (!c.opens) {
      EXPECT_EQ(log, "動画ファイルではない可能性があります！");
      EXPECT_EQ(width, -1);
    } else {
      EXPECT_EQ(width, c.widthOut);
      EXPECT_EQ(height, c.height);
      EXPECT_EQ(r->width, c.width);
      EXPECT_EQ(r->frameImage.pitch, uint32_t(c.pitch));
      EXPECT_EQ(r->frameImage.width, uint32_t(c.width));
      EXPECT_NE(r->frameImage.pixels, nullptr);
      EXPECT_EQ(r->lastFrameCount, -1);
      EXPECT_EQ(r->lastFrameMs, 0xFFFFFFFFu);
      EXPECT_EQ(r->timePerFrame, 666666);
      EXPECT_EQ(r->stopPosition, 6666660);
      EXPECT_NE(r->sampleEvent, nullptr);
    }
    CloseMovieHandle(movie);
  }
}

// ---- the temporary copy --------------------------------------------------------------------

// The archive-aware file functions, with each read's size noted and reads made short at will.
std::vector<uint32_t> g_reads;
int64_t g_readLimit = -1;  // bytes a read may give, -1: all
int64_t CountingRead(void* destination, uint32_t size, uint32_t count, FileHandle file) {
  g_reads.push_back(size * count);
  uint32_t n = count;
  if (g_readLimit >= 0) n = uint32_t(std::min<int64_t>(count, g_readLimit));
  return ArchiveAwareFileFunctionSet.read(destination, size, n, file);
}

class MovieCopies : public MovieStreams {
 protected:
  FileFunctionTable counting = ArchiveAwareFileFunctionSet;
  void SetUp() override {
    MovieStreams::SetUp();
    counting.read = CountingRead;
    SetFileFunctionTable(&counting);
    g_reads.clear();
    g_readLimit = -1;
  }
  // A movie of bytes inside DATA.KRA: the stream cannot open it, the file layer can.
  std::string InArchive(size_t bytes) {
    WriteArchive(dir + "/DATA.KRA", "MOVIE.MPG", std::string(bytes, 'v'));
    return dir + "/DATA/MOVIE.MPG";
  }
  static std::vector<uint32_t> CopyReads() {
    std::vector<uint32_t> chunks;
    for (uint32_t n : g_reads)
      if (n >= 0x1000) chunks.push_back(n);
    return chunks;
  }
};

TEST_F(MovieCopies, AMovieInsideAnArchiveIsCopiedInChunksOfAMegabyteAndReopenedFromTheCopy) {
  Start();
  const std::string name = InArchive(0x280000);  // 2.5 MB
  MovieRecord* r = nullptr;
  const int32_t movie = Open(MOVIE_SURFACE_PLAIN, &r, name);
  ASSERT_NE(movie, -1) << log;
  EXPECT_EQ(CopyReads(), (std::vector<uint32_t>{0x100000, 0x100000, 0x80000}));
  EXPECT_EQ(r->tempFile, 1);
  const std::string copy = r->fileName;
  EXPECT_NE(copy, name);
  std::string bytes;
  {
    std::ifstream in(copy, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  EXPECT_EQ(bytes, std::string(0x280000, 'v'));
  EXPECT_EQ(GetOpenFileCount(), 0);

  // A display change: the movie opens again from its copy, and nothing is copied again.
  g_reads.clear();
  const std::vector<std::string> temps = TemporaryFiles();
  ReleaseAllMovieObjects();
  EXPECT_EQ(ReopenAllMovies(), 0);
  EXPECT_TRUE(CopyReads().empty());
  EXPECT_EQ(r->fileName, copy);
  EXPECT_EQ(TemporaryFiles(), temps);

  // A copy the stream cannot open fails at once, with no second copy.
  ReleaseAllMovieObjects();
  PlatMediaFakeFailNext("OpenFile", 1, PLAT_MEDIA_E_UNKNOWNFILE);
  log.clear();
  EXPECT_EQ(ReopenAllMovies(), -1);
  EXPECT_EQ(log, "ファイル:" + copy + " が開けませんでした");
  EXPECT_TRUE(CopyReads().empty());
  EXPECT_EQ(TemporaryFiles(), temps);
  EXPECT_EQ(CloseMovieHandle(movie), 0);
  EXPECT_FALSE(std::filesystem::exists(copy)) << "the close deletes the movie's copy";
}

TEST_F(MovieCopies, AMovieOnDiskIsNeverCopied) {
  Start();
  MovieRecord* r = nullptr;
  ASSERT_NE(Open(MOVIE_SURFACE_PLAIN, &r), -1);
  EXPECT_EQ(r->tempFile, 0);
  EXPECT_EQ(r->fileName, onDisk);
  EXPECT_TRUE(g_reads.empty());
}

TEST_F(MovieCopies, AFailedOpeningLeavesTheNameAsItWasAndNoFileBehind) {
  Start();
  const std::string archived = InArchive(0x180000);  // 1.5 MB
  const std::string tmpdir = PlatGetEnv("TMPDIR") ? PlatGetEnv("TMPDIR") : "";
  struct Case {
    const char* what;
    std::string name;
    void (*arrange)(const std::string& dir);
    int32_t tempFile;  // as left
    bool nameIsTheCopy;
  } cases[] = {
      {"no such file", dir + "/NONE.MPG", nullptr, 0, false},
      {"no memory for the copy", archived,
       [](const std::string&) { PlatSetAllocFailHook([](size_t size) { return size >= 0x100000 ? 1 : 0; }); }, 0,
       false},
      {"no temporary file", archived, [](const std::string& d) { setenv("TMPDIR", (d + "/gone").c_str(), 1); }, 0,
       false},
      {"a short read", archived, [](const std::string&) { g_readLimit = 0x80000; }, 1, true},
      {"a short write", archived,
       [](const std::string&) {
         std::signal(SIGXFSZ, SIG_IGN);
         const rlimit limit{0x100000 + 0x40000, RLIM_INFINITY};
         setrlimit(RLIMIT_FSIZE, &limit);
       },
       1, true},
      {"the copy the stream cannot open", archived,
       [](const std::string&) { PlatMediaFakeFailNth("OpenFile", 2, PLAT_MEDIA_E_UNKNOWNFILE); }, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MovieRecord* r = nullptr;
    const int32_t movie = NewMovie(&r);
    if (c.arrange) c.arrange(dir);
    log.clear();
    const int opened = OpenMovieFile(GetMovieDirectDraw(), r, c.name.c_str(), nullptr, nullptr, MOVIE_SURFACE_PLAIN);
    PlatSetAllocFailHook(nullptr);
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, SIG_DFL);
    if (tmpdir.empty()) unsetenv("TMPDIR");
    else setenv("TMPDIR", tmpdir.c_str(), 1);
    g_readLimit = -1;
    EXPECT_EQ(opened, -1);
    // The line ends the log (a failed allocation writes its memory dump before it).
    const std::string line = "ファイル:" + c.name + " が開けませんでした";
    EXPECT_TRUE(log.size() >= line.size() && log.compare(log.size() - line.size(), line.size(), line) == 0) << log;
    EXPECT_EQ(r->tempFile, c.tempFile);
    EXPECT_EQ(std::string(r->fileName) != c.name, c.nameIsTheCopy) << r->fileName;
    EXPECT_EQ(TemporaryFiles(), tempsBefore) << "a copy was left";
    EXPECT_EQ(GetOpenFileCount(), 0);
    if (c.nameIsTheCopy) {
      // The deleted copy's name may be another file's by now: the close leaves it.
      std::ofstream(r->fileName) << "someone else's";
      const std::string other = r->fileName;
      EXPECT_EQ(CloseMovieHandle(movie), 0);
      EXPECT_TRUE(std::filesystem::exists(other));
      std::filesystem::remove(other);
    } else {
      EXPECT_EQ(CloseMovieHandle(movie), 0);
    }
  }
}

TEST_F(MovieCopies, ANameTooLongForTheStreamFailsWithTheFilesLine) {
  Start();
  MovieRecord* r = nullptr;
  const int32_t movie = NewMovie(&r);
  const std::string name = dir + "/" + std::string(260 - dir.size() - 1, 'n');
  ASSERT_EQ(name.size(), 260u);
  log.clear();
  EXPECT_EQ(OpenMovieFile(GetMovieDirectDraw(), r, name.c_str(), nullptr, nullptr, MOVIE_SURFACE_PLAIN), -1);
  EXPECT_EQ(log, "ファイル:" + name + " が開けませんでした");
  EXPECT_EQ(r->fileName[0], '\0');
  EXPECT_TRUE(g_reads.empty()) << "nothing was copied";
  CloseMovieHandle(movie);
}

// ---- the frame update ------------------------------------------------------------------------

TEST_F(MovieStreams, TwoUpdatesInOneScreenFrameTakeOneFrameUnless18MsLieBetween) {
  Start();
  const int32_t movie = Playing();
  ASSERT_NE(movie, -1);
  MovieRecord* r = LookupMovie(movie);
  const struct {
    uint32_t advanceMs;
    bool nextScreenFrame;
    int updates;  // Update calls so far
  } steps[] = {{0, false, 1}, {0, false, 1}, {17, false, 1}, {1, false, 2}, {5, false, 2}, {0, true, 3}, {0, true, 4}};
  for (const auto& s : steps) {
    PlatClockAdvance(s.advanceMs);
    if (s.nextScreenFrame) NextScreenFrame();
    UpdateMovieFrame(movie, 0);
    EXPECT_EQ(Updates(), s.updates) << "at " << PlatTimeMs();
  }
  EXPECT_EQ(r->frameReady, 1);
  EXPECT_EQ(r->lastFrameCount, int64_t(g_DrawState.frameCount));
  EXPECT_EQ(r->lastFrameMs, PlatTimeMs());
}

TEST_F(MovieStreams, APendingUpdateIsPolledUntilItsEventIsSignalled) {
  Start();
  const int32_t movie = Playing();
  MovieRecord* r = LookupMovie(movie);
  static int frames;
  frames = 0;
  r->frameCallback = [](MovieRecord*, int32_t) { frames++; };
  PlatMediaFakeQueueUpdates({PLAT_MS_S_PENDING});
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(r->updatePending, 1);
  for (int i = 0; i < 3; i++) {
    NextScreenFrame();
    UpdateMovieFrame(movie, 0);
  }
  EXPECT_EQ(Updates(), 1) << "only the event is polled";
  EXPECT_EQ(r->frameReady, 0);
  EXPECT_EQ(frames, 0);
  ASSERT_EQ(PlatMediaFakeComplete(PLAT_MEDIA_OK), 0);
  NextScreenFrame();
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(Updates(), 1) << "the frame is taken without a new update";
  EXPECT_EQ(r->updatePending, 0);
  EXPECT_EQ(r->frameReady, 1);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(PlatEventWait(r->sampleEvent, 0), PLAT_WAIT_TIMEOUT) << "the event is reset";
  NextScreenFrame();
  UpdateMovieFrame(movie, 0);
  EXPECT_EQ(Updates(), 2);
}

TEST_F(MovieStreams, TheEndOfTheStreamLoopsOrEndsAndNoOtherFailureDoes) {
  Start();
  struct Case {
    const char* what;
    int32_t playType;
    int32_t result;
    std::vector<int64_t> seeks;
    int32_t playRequested, paused;
    int updatesAfter;  // two more draws in the same screen frame
  } cases[] = {
      // The loop's restart clears the 18 ms rule: the next draw takes a frame at once.
      {"a looping movie at its end", 3, PLAT_MS_S_ENDOFSTREAM, {0}, 1, 0, 2},
      {"a movie at its end", 1, PLAT_MS_S_ENDOFSTREAM, {}, 0, 1, 1},
      {"a lost surface", 1, PLAT_DDERR_SURFACELOST, {}, 1, 0, 2},
      {"a stream that does not run", 3, PLAT_MS_E_NOTRUNNING, {}, 1, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int32_t movie = Playing(c.playType);
    MovieRecord* r = LookupMovie(movie);
    NextScreenFrame();
    UpdateMovieFrame(movie, 0);  // a frame
    PlatMediaFakeClearCalls();
    NextScreenFrame();
    PlatMediaFakeQueueUpdates({c.result});
    UpdateMovieFrame(movie, 0);
    EXPECT_EQ(PlatMediaFakeArguments("Seek"), c.seeks);
    EXPECT_EQ(PlatMediaFakeArguments("SetState").size(), c.seeks.size()) << "run again after the seek";
    EXPECT_EQ(r->playRequested, c.playRequested);
    EXPECT_EQ(r->paused, c.paused);
    if (c.playType == 3 && c.result == PLAT_MS_S_ENDOFSTREAM) {
      EXPECT_EQ(r->lastFrameCount, -1);
      EXPECT_EQ(r->lastFrameMs, 0xFFFFFFFFu);
      EXPECT_EQ(r->lastFrameTime, -1);
    }
    UpdateMovieFrame(movie, 0);
    UpdateMovieFrame(movie, 0);
    EXPECT_EQ(Updates(), c.updatesAfter);
    CloseMovieHandle(movie);
  }
}

TEST_F(MovieStreams, TheFrameIsCopiedFromItsCornerInTheSurface) {
  Start(16);
  // The stream's own surface (the made one refused) is larger, the frame at (8, 4) in it.
  PlatMediaFakeSetScript({.width = 20,
                          .height = 10,
                          .ownWidth = 40,
                          .ownHeight = 30,
                          .ownFormat = {32, PLAT_DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0},
                          .ownRect = {8, 4, 28, 14}});
  PlatMediaFakeFailNext("CreateSample", 1, int32_t(0x80040409u));
  const int32_t movie = Playing();
  ASSERT_NE(movie, -1);
  MovieRecord* r = LookupMovie(movie);
  EXPECT_EQ(r->sampleRect.left, 8);
  EXPECT_EQ(r->width, 20);
  EXPECT_EQ(r->frameImage.pitch, 40u);
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  ASSERT_EQ(PlatDDSurfaceLock(r->surface, nullptr, &desc, 0), PLAT_DD_OK);
  for (int32_t y = 0; y < 30; y++)
    for (int32_t x = 0; x < 40; x++) {
      const uint16_t v = uint16_t(y * 100 + x);
      std::memcpy(static_cast<uint8_t*>(desc.surface) + y * desc.pitch + x * 2, &v, 2);
    }
  PlatDDSurfaceUnlock(r->surface, nullptr);
  UpdateMovieFrame(movie, 0);
  const uint8_t* image = static_cast<const uint8_t*>(r->frameImage.pixels);
  for (int32_t y = 0; y < 10; y++)
    for (int32_t x = 0; x < 20; x++) {
      uint16_t v;
      std::memcpy(&v, image + y * 40 + x * 2, 2);
      ASSERT_EQ(v, uint16_t((y + 4) * 100 + x + 8)) << x << ", " << y;
    }
}

TEST_F(MovieStreams, AWaitingUpdateTakesTwoFramesInOneCall) {
  Start();
  const int32_t movie = Playing();
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(PlatMediaFakeArguments("Update"), (std::vector<int64_t>{0, 0}));
  // No event goes with them: they are synchronous.
  UpdateMovieFrame(movie, 1);
  EXPECT_EQ(Updates(), 4) << "nor does the 18 ms rule hold them back";
}

// ---- the overlay -----------------------------------------------------------------------------------

class MovieOverlays : public MovieStreams {
 protected:
  int32_t movie = -1;
  MovieRecord* r = nullptr;
  PlatRect client{100, 50, 740, 530};

  void Arrange(uint32_t alignCaps = 0) {
    PlatDDrawFakeSetOverlayFormat(&kUyvy);
    PlatDDrawFakeSetOverlayAlignment(alignCaps, 4, 8, 16, 32);
    Start(16);
    g_System.clientRectOnScreen = client;
    movie = Playing(1, MOVIE_SURFACE_OVERLAY);
    ASSERT_NE(movie, -1);
    r = LookupMovie(movie);
    ASSERT_EQ(r->surfaceMode, MOVIE_SURFACE_OVERLAY);
    // Nothing shows until a frame has been taken.
    EXPECT_EQ(DrawMovieToScreen(0, 0, 1, movie, 1), 0);
    EXPECT_TRUE(PlatDDrawFakeOverlayCalls().empty());
    UpdateMovieFrame(movie, 0);
    ASSERT_EQ(r->frameReady, 1);
  }

  static std::string Text(const PlatRect& p) {
    return std::to_string(p.left) + "," + std::to_string(p.top) + "," + std::to_string(p.right) + "," +
           std::to_string(p.bottom);
  }
  // The overlay calls as "show S D" or "hide".
  static std::vector<std::string> Calls() {
    std::vector<std::string> out;
    for (const PlatDDFakeOverlayCall& c : PlatDDrawFakeOverlayCalls())
      out.push_back(c.flags == PLAT_DDOVER_HIDE ? "hide" : "show " + Text(c.source) + " " + Text(c.destination));
    PlatDDrawFakeClearOverlayCalls();
    return out;
  }
};

TEST_F(MovieOverlays, TheOverlayIsClippedToTheWindowAndItsRegion) {
  Arrange();
  const PlatRect whole{0, 0, 640, 480};
  const struct {
    const char* what;
    int region;
    PlatRect box;
    int32_t x, y, scale;
    std::string call;
  } cases[] = {
      {"inside", PLAT_SIMPLEREGION, whole, 10, 20, 1, "show 0,0,64,48 110,70,174,118"},
      {"past the right edge", PLAT_SIMPLEREGION, whole, 600, 20, 1, "show 0,0,40,48 700,70,740,118"},
      {"clipped by the region", PLAT_SIMPLEREGION, {0, 0, 620, 40}, 600, 20, 1, "show 0,0,20,20 700,70,720,90"},
      {"partly left at scale 2", PLAT_SIMPLEREGION, whole, -11, 0, 2, "show 5,0,64,48 100,50,217,146"},
      {"partly above at scale 3", PLAT_SIMPLEREGION, whole, 0, -7, 3, "show 0,2,64,48 100,50,292,187"},
      {"a complex region", PLAT_COMPLEXREGION, whole, 10, 20, 1, "hide"},
      {"a covered window", PLAT_NULLREGION, whole, 10, 20, 1, "hide"},
      {"outside the window", PLAT_SIMPLEREGION, whole, 700, 20, 1, "hide"},
      {"scale 0", PLAT_SIMPLEREGION, whole, 10, 20, 0, "hide"},
      // 64 x 2^31 - 1 is far past 32 bits: the visible part is one source column.
      {"a scale past 32 bits", PLAT_SIMPLEREGION, whole, 0, 0, INT32_MAX, "show 0,0,1,1 100,50,740,530"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PlatGdiFakeSetClipBox(c.region, &c.box);
    EXPECT_EQ(DrawMovieToScreen(c.x, c.y, c.scale, movie, 1), 0);
    EXPECT_EQ(Calls(), std::vector<std::string>{c.call});
    const bool shown = c.call != "hide";
    EXPECT_EQ(r->overlayShown, shown ? 1 : 0);
    EXPECT_EQ(r->screenX, c.x);
    EXPECT_EQ(r->screenScale, c.scale);
    if (!shown) {
      EXPECT_EQ(r->overlayDest.right | r->overlaySource.right, 0);
    }
  }
}

TEST_F(MovieOverlays, TheAlignmentLimitsApplyInTheirOrder) {
  Arrange(PLAT_DDCAPS_ALIGNBOUNDARYSRC | PLAT_DDCAPS_ALIGNSIZESRC | PLAT_DDCAPS_ALIGNBOUNDARYDEST |
          PLAT_DDCAPS_ALIGNSIZEDEST);
  const PlatRect whole{0, 0, 640, 480};
  PlatGdiFakeSetClipBox(PLAT_SIMPLEREGION, &whole);
  // Clipped: S (5, 0, 64, 48), D (100, 50, 218, 146), visible width 59. Source left 5 to
  // 4 (visible 58), source right 64 - 58 % 8 = 62; destination left 100 to 96, the width
  // 128 - 4 = 124, right 218 - 124 % 32 = 190.
  DrawMovieToScreen(-10, 0, 2, movie, 1);
  EXPECT_EQ(Calls(), std::vector<std::string>{"show 4,0,62,48 96,50,190,146"});
}

TEST_F(MovieOverlays, TheSamePlacementAgainCallsNothingAndTheMessagePumpKeepsItPlaced) {
  Arrange();
  const PlatRect whole{0, 0, 640, 480};
  PlatGdiFakeSetClipBox(PLAT_SIMPLEREGION, &whole);
  DrawMovieToScreen(10, 20, 1, movie, 1);
  DrawMovieToScreen(10, 20, 1, movie, 1);
  DrawAllScreenMovies();
  EXPECT_EQ(Calls().size(), 1u);
  DrawMovieToScreen(11, 20, 1, movie, 1);
  EXPECT_EQ(Calls().size(), 1u);
  // Hidden, the overlay stays hidden until its graph is drawn again.
  DrawMovieToScreen(11, 20, 1, movie, 0);
  DrawAllScreenMovies();
  EXPECT_EQ(Calls(), (std::vector<std::string>{"hide", "hide"}));
  EXPECT_EQ(DrawMovieToScreen(0, 0, 1, 0x1234, 1), -1);
  // The close hides it.
  CloseMovieHandle(movie);
  EXPECT_EQ(Calls(), std::vector<std::string>{"hide"});
}

// ---- pauses and display changes --------------------------------------------------------------------

TEST_F(MovieStreams, DeactivationAndReactivationResumeOnlyTheMoviesThatPlayed) {
  Start();
  const int32_t playing = Playing(0);
  const int32_t byRequest = Playing();
  const int32_t ended = Playing();
  PauseMovieHandle(byRequest, 0);
  PlatMediaFakeQueueUpdates({PLAT_MS_S_ENDOFSTREAM});
  UpdateMovieFrame(ended, 0);
  ASSERT_EQ(LookupMovie(ended)->playRequested, 0);
  PlatMediaFakeClearCalls();
  PlatMediaFakeLogCalls(1);

  // The window procedure is told the window lost the focus, then got it back.
  MainWindowProc(window, PLAT_WM_ACTIVATE, 0, 0);
  EXPECT_EQ(PlatMediaFakeArguments("Pause").size(), 1u) << "the movies paused already stay as they are";
  for (int32_t m : {playing, byRequest, ended}) EXPECT_EQ(LookupMovie(m)->paused, 1);
  EXPECT_EQ(LookupMovie(playing)->playRequested, 1);
  MainWindowProc(window, PLAT_WM_ACTIVATE, 1, 0);
  EXPECT_EQ(PlatMediaFakeArguments("SetState"), (std::vector<int64_t>{PLAT_STREAMSTATE_RUN}));
  EXPECT_EQ(LookupMovie(playing)->paused, 0);
  EXPECT_EQ(LookupMovie(playing)->playType, 1) << "a waiting play resumes in the background";
  EXPECT_EQ(LookupMovie(byRequest)->paused, 1);
  EXPECT_EQ(LookupMovie(ended)->paused, 1);
}

TEST_F(MovieStreams, ADisplayChangeReopensEachMovieAtItsTimeAndAPausedOneStaysPaused) {
  Start();
  const int32_t playing = Playing(1, MOVIE_SURFACE_RGB24);
  const int32_t paused = Playing();
  PauseMovieHandle(paused, 1);
  PlatMediaFakeSetScript({.time = 12345678});
  const MovieSurfaceMode settled = LookupMovie(playing)->surfaceMode;
  PlatMediaFakeClearCalls();

  // Released before a display change, the records keep their time and the rest.
  g_MovieServices.releaseAllMovieObjects();
  for (int32_t m : {playing, paused}) {
    const MovieRecord* r = LookupMovie(m);
    EXPECT_EQ(r->savedTime, 12345678);
    EXPECT_FALSE(r->surface || r->surface4 || r->surface7 || r->sample || r->multiMediaStream || r->graphBuilder);
    EXPECT_EQ(r->frameImage.pixels, nullptr);
    EXPECT_EQ(r->sampleEvent, nullptr);
  }
  EXPECT_EQ(PlatMediaFakeLiveObjects(), 0);
  // Released movies are skipped by everything but the close.
  UpdateMovieFrame(playing, 0);
  PauseMovieHandle(playing, 1);
  EXPECT_EQ(LookupMovie(playing)->paused, 0);
  EXPECT_EQ(Updates(), 0);

  EXPECT_EQ(ReopenAllMovies(), 0);
  EXPECT_EQ(PlatMediaFakeArguments("Seek"), (std::vector<int64_t>{12345678, 12345678}));
  EXPECT_EQ(PlatMediaFakeArguments("SetState"), (std::vector<int64_t>{PLAT_STREAMSTATE_RUN}))
      << "only the movie that played runs again";
  EXPECT_EQ(LookupMovie(playing)->surfaceMode, settled);
  EXPECT_EQ(LookupMovie(playing)->frameReady, 0);
  EXPECT_EQ(LookupMovie(paused)->paused, 1);

  // The whole display change as the window procedure follows it: the release, the
  // screen's format, the rebuild of the graphics (which opens the movies again) and the
  // resume, which runs the paused movie too, its request being kept.
  SetGraphRestoreHandler(nullptr);
  PlatMediaFakeClearCalls();
  PlatMediaFakeSetScript({.time = 23456789});
  int32_t width = 0, height = 0, depth = 0;
  QueryScreenFormat(&width, &height, &depth);
  MainWindowProc(window, PLAT_WM_DISPLAYCHANGE, PlatWParam(depth), PlatLParam(uintptr_t(width + 160) | uintptr_t(height + 120) << 16));
  EXPECT_EQ(PlatMediaFakeArguments("Seek"), (std::vector<int64_t>{23456789, 23456789}));
  EXPECT_EQ(PlatMediaFakeArguments("SetState"), (std::vector<int64_t>{PLAT_STREAMSTATE_RUN, PLAT_STREAMSTATE_RUN}));
  EXPECT_TRUE(LookupMovie(playing)->surface4 && LookupMovie(paused)->surface4);
  EXPECT_EQ(LookupMovie(paused)->paused, 0);
}

TEST_F(MovieStreams, ReopeningStopsAtTheFirstFailureAndTheRestCanStillBeClosed) {
  Start();
  const std::string gone = Write("gone.mpg", "x");
  int32_t movies[3];
  for (int i = 0; i < 3; i++) {
    MovieRecord* r = nullptr;
    movies[i] = Open(MOVIE_SURFACE_PLAIN, &r, i == 1 ? gone : onDisk);
    ASSERT_NE(movies[i], -1);
  }
  ReleaseAllMovieObjects();
  // The second movie's file is gone: neither the stream nor the file layer finds it.
  std::filesystem::remove(gone);
  log.clear();
  EXPECT_EQ(ReopenAllMovies(), -1);
  EXPECT_EQ(log, "ファイル:" + gone + " が開けませんでした");
  EXPECT_TRUE(LookupMovie(movies[0])->surface4);
  EXPECT_FALSE(LookupMovie(movies[1])->surface4);
  EXPECT_FALSE(LookupMovie(movies[2])->surface4) << "not tried";
  for (int32_t m : movies) EXPECT_EQ(CloseMovieHandle(m), 0);
  EXPECT_EQ(GetMovieCount(), 0);
}

TEST_F(MovieStreams, APendingUpdateIsTakenBackBeforeTheSampleIsReleased) {
  Start();
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "the close" : "the release");
    const int32_t movie = Playing();
    PlatMediaFakeQueueUpdates({PLAT_MS_S_PENDING});
    UpdateMovieFrame(movie, 0);
    ASSERT_EQ(LookupMovie(movie)->updatePending, 1);
    PlatFakeJournal(1);
    if (close) CloseMovieHandle(movie);
    else ReleaseAllMovieObjects();
    const std::vector<std::string> journal = PlatFakeJournalEntries();
    PlatFakeJournal(0);
    auto at = [&](const char* entry) { return std::find(journal.begin(), journal.end(), entry) - journal.begin(); };
    EXPECT_LT(at("media.CompletionStatus"), at("media.ReleaseStreamSample"));
    EXPECT_LT(at("media.CompletionStatus"), at("ddraw.SurfaceRelease"));
    EXPECT_EQ(PlatMediaFakeComplete(PLAT_MEDIA_OK), -1) << "nothing is pending any more";
    if (!close) {
      EXPECT_EQ(LookupMovie(movie)->updatePending, 0);
      CloseMovieHandle(movie);
    }
  }
}

TEST_F(MovieStreams, RestoringAGraphsSurfacesRestoresItsMoviesSurface) {
  Start();
  const int32_t movie = Playing();
  MovieRecord* r = LookupMovie(movie);
  PlatDDrawFakeLoseSurface(r->surface);
  ASSERT_EQ(PlatDDSurfaceIsLost(r->surface4), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(RestoreMovieSurfaces(movie), 0);
  EXPECT_EQ(PlatDDSurfaceIsLost(r->surface4), PLAT_DD_OK);
  EXPECT_EQ(RestoreMovieSurfaces(-1), 0);
}

// ---- the creator ---------------------------------------------------------------------------------------

TEST_F(MovieStreams, TheCreatorsStreamWayRunsTheStreamAndWritesEachFrameIntoTheGraph) {
  Start();
  PlatMediaFakeSetScript({.width = 8, .height = 4});
  const int32_t graph = OpenMovieToGraph(onDisk.c_str(), 3, MOVIE_WAY_STREAM);
  ASSERT_NE(graph, -1) << log;
  MovieRecord* r = MovieOf(graph);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ownDecoder, 0);
  EXPECT_EQ(r->playRequested, 1);
  EXPECT_EQ(r->paused, 0);
  EXPECT_EQ(PlatMediaFakeArguments("SetState"), (std::vector<int64_t>{PLAT_STREAMSTATE_RUN}));
  int32_t w = 0, h = 0;
  QueryGraphSize(graph, &w, &h);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 4);

  // A frame of the screen's format (32 bits) into the sample's surface, then the update.
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  ASSERT_EQ(PlatDDSurfaceLock(r->surface, nullptr, &desc, 0), PLAT_DD_OK);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 8; x++) {
      const uint32_t v = uint32_t(x * 30) << 16 | uint32_t(y * 60) << 8 | 0x55;
      std::memcpy(static_cast<uint8_t*>(desc.surface) + y * desc.pitch + x * 4, &v, 4);
    }
  PlatDDSurfaceUnlock(r->surface, nullptr);
  UpdateMovieFrame(LookupGraph(graph)->movie, 0);

  const GraphRecord* g = LookupGraph(graph);
  const Surface2DRecord* piece = GetSurface2D(g->surfaces[0]);
  int32_t pitch = 0;
  uint8_t* pixels = nullptr;
  const ColorFormat* format = nullptr;
  ASSERT_EQ(LockSurfaceData(piece->surfaceData, &pitch, &pixels, 0, nullptr, &format), 0);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 8; x++) {
      int32_t red = 0, green = 0, blue = 0;
      const uint8_t* at = pixels + int64_t(piece->sourceY + y) * pitch + (piece->sourceX + x) * format->bytesPerPixel;
      PixelValueToColor(format, ReadPixelValue(at, format->bytesPerPixel), &red, &green, &blue, nullptr);
      EXPECT_EQ(red, x * 30);
      EXPECT_EQ(green, y * 60);
      EXPECT_EQ(blue, 0x55);
    }
  UnlockSurfaceData(piece->surfaceData, nullptr);
  const int32_t movie = g->movie;
  EXPECT_EQ(FreeGraph(graph, 0), 0);
  EXPECT_EQ(LookupMovie(movie), nullptr);
}

TEST_F(MovieStreams, AnOverlayMovieFeedsNoGraph) {
  PlatDDrawFakeSetOverlayFormat(&kUyvy);
  Start(16);
  const int32_t graph = OpenMovieToGraph(onDisk.c_str(), 1, MOVIE_WAY_STREAM, MOVIE_SURFACE_OVERLAY);
  ASSERT_NE(graph, -1);
  EXPECT_EQ(MovieOf(graph)->surfaceMode, MOVIE_SURFACE_OVERLAY);
  EXPECT_EQ(MovieOf(graph)->frameCallback, nullptr);
}

TEST_F(MovieStreams, AFailedOpeningLeavesNoMovieAndNoGraph) {
  Start();
  PlatMediaFakeFailNext("CreateFilterGraph", 1, int32_t(0x80004005u));
  const int32_t graphs = g_GraphTable.table.count;
  EXPECT_EQ(OpenMovieToGraph(onDisk.c_str(), 1, MOVIE_WAY_STREAM), -1);
  EXPECT_EQ(GetMovieCount(), 0);
  EXPECT_EQ(g_GraphTable.table.count, graphs);
}

}  // namespace
