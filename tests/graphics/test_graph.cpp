// Graph handles on the headless display: the table and its records, the flags new graphs
// take, sub-graphs and sheets cut into cells (PNG sheets written here with libpng), the
// restore of lost graphs from their files, and the surfaces graphs get on each display.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/archivefile.h"
#include "engine/file/file.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/state/sysdata.h"
#include "engine/system/system.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/headlessuser.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "tests/support/imagefiles.h"
#include "tests/support/no3ddevice.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr char kClass[] = "GraphTest";

PlatDisplayMode Desktop(int32_t depth) { return PlatDisplayModeOf(1024, 768, depth, 60); }

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

// The colour of pixel (x, y) of every sheet: each position differs, so a cell shows which
// part of the sheet it holds and which way round.
uint32_t SheetColor(int32_t x, int32_t y, int32_t tint) {
  return uint32_t(x * 3 + tint) << 16 | uint32_t(y * 3) << 8 | uint32_t(x + y * 5 + tint);
}

Bytes SheetPng(int32_t width, int32_t height, int32_t tint, bool alpha = false) {
  PngFields s;
  s.width = uint32_t(width);
  s.height = uint32_t(height);
  s.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const uint32_t c = SheetColor(x, y, tint);
      s.samples.push_back(uint16_t(c >> 16 & 0xFF));
      s.samples.push_back(uint16_t(c >> 8 & 0xFF));
      s.samples.push_back(uint16_t(c & 0xFF));
      if (alpha) s.samples.push_back(uint16_t(x * 7 & 0xFF));
    }
  return WritePng(s);
}

// Every open through the file table, by the name it was asked for.
std::vector<std::string> g_opens;
FileHandle CountingOpen(const char* path, int useCache, int reserved, int asynchronous) {
  g_opens.push_back(path ? path : "");
  return ArchiveAwareFileFunctionSet.open(path, useCache, reserved, asynchronous);
}

class Graphs : public ::testing::Test {
 protected:
  PlatWnd window = 0;
  std::string dir;
  std::string startDir;
  int32_t blocksBefore = 0;

  void SetUp() override {
    blocksBefore = GetTrackedBlockCount();
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    PlatClockSetManual(1, 1000);
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(Desktop(32), 0);
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    // Graphs as surfaces: the flags and pixels of 2D graphs.
    PinNo3DDevice();
    SetLogDebuggerOnly(1);
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, kClass};
    ASSERT_EQ(PlatRegisterClass(&wc), 1);
    window = PlatCreateWindow(0, kClass, "Kestr", 0x80CA0000, 0, 0, 640, 480);
    ASSERT_NE(window, 0u);
    g_System.mainWindow = window;
    g_System.mainThreadId = PlatThreadId();
    g_System.windowActive = 1;
    g_System.settings.initialising = 1;
    g_System.settings.osCode = 262;
    SetGraphRestoreHandler(nullptr);

    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    startDir = here;
    char tmpl[] = "/tmp/krgraphXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    FileFunctionTable counting = ArchiveAwareFileFunctionSet;
    counting.open = CountingOpen;
    SetFileFunctionTable(&counting);
    g_opens.clear();
  }

  void TearDown() override {
    if (g_ScreenState.graphicsStarted) EndGraphics();
    UnpinNo3DDevice();
    SetFileFunctionTable(nullptr);
    ASSERT_EQ(chdir(startDir.c_str()), 0);
    std::filesystem::remove_all(dir);
    ResetHeadlessUser();
    SetLogDebuggerOnly(0);
    if (PlatIsWindow(window)) PlatDestroyWindow(window);
    PlatUnregisterClass(kClass);
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    g_DrawState.restoreHandler = nullptr;
    g_ScreenState = ScreenState{};
    g_System = SystemData{};
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetDesktop(Desktop(32), 0);
    PlatClockSetManual(0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksBefore) << "tracked blocks left behind";
  }

  void Start(int windowed, int32_t depth) {
    PlatDisplayHeadlessSetDesktop(Desktop(depth), 0);
    g_System.settings.windowed = windowed;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
  }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    return path;
  }

  static int32_t LiveGraphs() { return g_GraphTable.table.count; }

  static int Opens(const std::string& name) {
    return int(std::count(g_opens.begin(), g_opens.end(), name));
  }
};

// The surface record a graph's first piece draws from.
SurfaceData* DataOf(int32_t graph) {
  const GraphRecord* g = LookupGraph(graph);
  if (!g || g->surfaceCount < 1) return nullptr;
  const Surface2DRecord* piece = GetSurface2D(g->surfaces[0]);
  return piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
}

// Pixel (x, y) of a graph as 0xRRGGBB, read through its piece's surface record.
uint32_t GraphPixel(int32_t graph, int32_t x, int32_t y) {
  const GraphRecord* g = LookupGraph(graph);
  if (!g || g->surfaceCount < 1) return 0xDEADBEEF;
  const Surface2DRecord* piece = GetSurface2D(g->surfaces[0]);
  int32_t pitch = 0;
  uint8_t* pixels = nullptr;
  const ColorFormat* format = nullptr;
  if (!piece || LockSurfaceData(piece->surfaceData, &pitch, &pixels, 0, nullptr, &format) != 0)
    return 0xDEADBEEF;
  const int bytes = format->bytesPerPixel;
  const uint32_t value =
      ReadPixelValue(pixels + int64_t(piece->sourceY + y) * pitch + (piece->sourceX + x) * bytes, bytes);
  UnlockSurfaceData(piece->surfaceData, nullptr);
  int32_t r = 0, gr = 0, b = 0;
  PixelValueToColor(format, value, &r, &gr, &b, nullptr);
  return uint32_t(r) << 16 | uint32_t(gr) << 8 | uint32_t(b);
}

// Every pixel of a cell equals the sheet's at (originX + x, originY + y), or at
// (originX + width - 1 - x, ...) when mirrored.
::testing::AssertionResult CellShows(int32_t graph, int32_t originX, int32_t originY, int32_t tint,
                                     bool mirrored) {
  int32_t width = 0, height = 0;
  if (QueryGraphSize(graph, &width, &height) != 0) return ::testing::AssertionFailure() << "dead graph";
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const int32_t sx = originX + (mirrored ? width - 1 - x : x);
      const uint32_t want = SheetColor(sx, originY + y, tint), got = GraphPixel(graph, x, y);
      if (got != want)
        return ::testing::AssertionFailure() << "pixel " << x << "," << y << ": " << std::hex << got
                                             << " instead of " << want;
    }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(Graphs, TheScreenSizeStandsForTheScreensBeforeAnyMode) {
  int32_t width = 0, height = 0;
  EXPECT_EQ(QueryGraphSize(DRAW_SCREEN_BACK, &width, &height), 0);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(QueryGraphSize(DRAW_SCREEN_FRONT, nullptr, &height), 0);
  EXPECT_EQ(QueryGraphSize(0x08000000, &width, &height), -1);
}

TEST_F(Graphs, HandlesAreCheckedAndTheHighWaterMarkWalksDown) {
  Start(1, 32);
  const int32_t a = MakeBlankGraph(8, 8, 1), b = MakeBlankGraph(8, 8, 1), c = MakeBlankGraph(8, 6, 1);
  ASSERT_NE(c, -1);
  EXPECT_EQ(a & 0x78000000, 0x08000000);
  EXPECT_EQ(g_GraphTable.table.highWater, 3);
  int32_t width = 0, height = 0;
  EXPECT_EQ(QueryGraphSize(c, &width, &height), 0);
  EXPECT_EQ(height, 6);

  EXPECT_EQ(FreeGraph(b, 0), 0);
  EXPECT_EQ(g_GraphTable.table.highWater, 3);
  EXPECT_EQ(FreeGraph(c, 1), 0);
  EXPECT_EQ(g_GraphTable.table.highWater, 1) << "the top slot's free walks down past the empty one";
  // The freed handles and handles of other kinds, or with another check value, are dead.
  for (int32_t dead : {b, c, -1, a ^ 0x00010000, (a & 0x07FFFFFF) | 0x10000000}) {
    EXPECT_EQ(IsGraphHandleLive(dead), 0);
    EXPECT_EQ(LookupGraph(dead), nullptr);
    EXPECT_EQ(FreeGraph(dead, 0), -1);
    EXPECT_EQ(QueryGraphSize(dead, &width, &height), -1);
  }
  EXPECT_EQ(FreeGraph(a, 0), 0);
  EXPECT_EQ(g_GraphTable.table.highWater, 0);
  EXPECT_EQ(LiveGraphs(), 0);
}

TEST_F(Graphs, AWatchedFlagIsZeroedThenSetByTheFree) {
  Start(1, 32);
  const int32_t graph = MakeBlankGraph(4, 4, 1);
  int32_t flag = 7;
  EXPECT_EQ(WatchGraphDeletion(graph, &flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(FreeGraph(graph, 0), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(WatchGraphDeletion(graph, &flag), -1);
}

TEST_F(Graphs, FreeingTheDrawTargetSelectsTheBackScreenFirst) {
  Start(1, 32);
  const int32_t graph = MakeBlankGraph(4, 4, 1);
  g_DrawState.drawTarget = graph;
  EXPECT_EQ(FreeGraph(graph, 0), 0);
  EXPECT_EQ(g_DrawState.drawTarget, DRAW_SCREEN_BACK);
}

TEST_F(Graphs, AGraphWhoseSurfacesFailLeavesNoRecord) {
  Start(1, 32);
  // A piece of 70000 pixels across cannot be made.
  EXPECT_EQ(MakeBlankGraph(70000, 4, 1), -1);
  EXPECT_EQ(LiveGraphs(), 0);
  EXPECT_EQ(g_GraphTable.table.highWater, 0);
}

TEST_F(Graphs, NewGraphsTakeTheirFlagsFromTheSettings) {
  Start(1, 32);
  struct Case {
    const char* what;
    int32_t createMode, colorKey, depth, softwareSurfaceMode, alpha, palette;
    // Expected.
    uint8_t drawValid, alphaFlag, alphaTest, bitDepth, systemMemory, paletteFlag;
  } cases[] = {
      {"defaults", 0, 1, 0, 1, 0, 0, 0, 0, 1, 32, 0, 0},
      {"alpha and palette as asked", 0, 1, 0, 1, 1, 1, 0, 1, 1, 32, 0, 1},
      {"no colour key", 0, 0, 0, 1, 0, 0, 0, 0, 0, 32, 0, 0},
      {"create mode 1: draw-valid, no alpha, no key", 1, 1, 0, 1, 1, 0, 1, 0, 0, 32, 0, 0},
      {"a depth of its own", 0, 1, 16, 1, 0, 0, 0, 0, 1, 16, 0, 0},
      {"software images", 0, 1, 0, 0, 0, 0, 0, 0, 1, 32, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetGraphCreateMode(c.createMode);
    SetNewGraphColorKey(c.colorKey);
    SetNewGraphBitDepth(c.depth);
    SetGraphSoftwareSurfaceMode(c.softwareSurfaceMode);
    GraphRecord* g = nullptr;
    const int32_t graph = AllocGraphRecord(10, 20, 1, &g, c.alpha, c.palette);
    ASSERT_EQ(LookupGraph(graph), g);
    EXPECT_EQ(g->flags.texture, 0) << "no texture while no device is up";
    EXPECT_EQ(g->flags.drawValid, c.drawValid);
    EXPECT_EQ(g->flags.alpha, c.alphaFlag);
    EXPECT_EQ(g->flags.alphaTest, c.alphaTest);
    EXPECT_EQ(g->flags.bitDepth, c.bitDepth);
    EXPECT_EQ(g->flags.systemMemory, c.systemMemory);
    EXPECT_EQ(g->flags.palette, c.paletteFlag);
    EXPECT_EQ(g->movie, -1);
    EXPECT_EQ(g->width, 10);
    FreeGraph(graph, 0);
  }
  SetGraphCreateMode(0);
  SetNewGraphColorKey(1);
  SetNewGraphBitDepth(0);
  SetGraphSoftwareSurfaceMode(1);
  // Without DirectDraw every 2D graph takes the screen's depth, and system memory
  // whatever it was asked.
  g_ScreenState.noDirectDraw = 1;
  SetNewGraphBitDepth(16);
  SetGraphSoftwareSurfaceMode(1);
  GraphRecord* g = nullptr;
  const int32_t graph = AllocGraphRecord(4, 4, 0, &g, 0, 0);
  EXPECT_EQ(g->flags.bitDepth, QueryScreenDepth());
  EXPECT_EQ(g->flags.systemMemory, 1);
  FreeGraph(graph, 0);
  g_ScreenState.noDirectDraw = 0;
  SetNewGraphBitDepth(0);
}

TEST_F(Graphs, SubGraphsAreClampedAndRefuseRectanglesOutsideTheParent) {
  Start(1, 32);
  const std::string sheet = Write("sub.png", SheetPng(40, 30, 0));
  int32_t parent = -1;
  ASSERT_EQ(LoadSplitGraphCore(sheet.c_str(), 1, 1, 1, 40, 30, &parent, 1), 0);
  struct Case {
    int32_t x, y, width, height;
    int32_t wantWidth, wantHeight;  // 0: refused
  } cases[] = {
      {0, 0, 40, 30, 40, 30},
      {30, 20, 16, 16, 10, 10},   // past the right and bottom edges: clamped
      {39, 29, 5, 5, 1, 1},
      {40, 0, 4, 4, 0, 0},        // at the right edge
      {0, 30, 4, 4, 0, 0},        // at the bottom edge
      {41, 0, 4, 4, 0, 0},        // past it
      {0, 99, 4, 4, 0, 0},
      {-1, 0, 4, 4, 0, 0},        // before the parent
      {0, -8, 4, 4, 0, 0},
      {3, 3, 0, 4, 0, 0},         // no pixels
      {3, 3, 4, -2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " " << c.width << "x" << c.height);
    const int32_t live = LiveGraphs();
    const int32_t sub = CreateSubGraph(c.x, c.y, c.width, c.height, parent);
    if (c.wantWidth == 0) {
      EXPECT_EQ(sub, -1);
      EXPECT_EQ(LiveGraphs(), live);
      continue;
    }
    int32_t width = 0, height = 0;
    ASSERT_EQ(QueryGraphSize(sub, &width, &height), 0);
    EXPECT_EQ(width, c.wantWidth);
    EXPECT_EQ(height, c.wantHeight);
    EXPECT_TRUE(CellShows(sub, c.x, c.y, 0, false));
    EXPECT_STREQ(LookupGraph(sub)->name, sheet.c_str());
    // A sub-graph of the sub-graph is a view of the same pixels at the sum of the offsets.
    const int32_t inner = CreateSubGraph(c.wantWidth - 1, 0, 1, 1, sub);
    EXPECT_EQ(GraphPixel(inner, 0, 0), SheetColor(c.x + c.wantWidth - 1, c.y, 0));
    EXPECT_EQ(LookupGraph(inner)->sourceX, c.x + c.wantWidth - 1);
    FreeGraph(inner, 0);
    FreeGraph(sub, 0);
  }
  EXPECT_EQ(CreateSubGraph(0, 0, 1, 1, -1), -1);
  FreeGraph(parent, 0);
}

TEST_F(Graphs, SplitLoadsCutTheSheetRowByRow) {
  Start(1, 32);
  // A sheet of 4 x 2 cells of 8 x 6 pixels.
  const std::string sheet = Write("cells.png", SheetPng(32, 12, 0));
  constexpr int32_t kSentinel = 0x5A5A5A5A;
  struct Case {
    const char* what;
    int32_t count, turn;
    int32_t made;  // handles written
  } cases[] = {
      {"every cell", 8, 0, 8},
      {"fewer handles than cells", 3, 0, 3},
      {"more handles than cells", 11, 0, 8},
      {"no handles", 0, 0, 0},
      {"turned", 8, 1, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int32_t handles[12];
    std::fill(std::begin(handles), std::end(handles), kSentinel);
    ASSERT_EQ(LoadSplitGraphFromFile(sheet.c_str(), c.count, 4, 2, 8, 6, handles, 0, c.turn), 0);
    EXPECT_EQ(LiveGraphs(), c.made) << "the base graph is freed";
    for (int32_t i = 0; i < 12; i++) {
      if (i >= c.made) {
        EXPECT_EQ(handles[i], kSentinel) << i;
        continue;
      }
      // With turn, handle i still holds the file's cell i, mirrored: it was cut from the
      // place in the mirrored sheet where that cell went.
      EXPECT_TRUE(CellShows(handles[i], i % 4 * 8, i / 4 * 6, 0, c.turn == 1)) << "cell " << i;
      EXPECT_STREQ(LookupGraph(handles[i])->name, sheet.c_str());
    }
    if (c.turn == 1) {
      EXPECT_EQ(LookupGraph(handles[0])->sourceX, 24) << "the rightmost cell of the top row";
    }
    FreeAllGraphsCore(0);
  }
  int32_t handle = kSentinel;
  EXPECT_EQ(LoadSplitGraphCore((dir + "/missing.png").c_str(), 1, 1, 1, 8, 8, &handle, 1), -1);
  EXPECT_EQ(handle, kSentinel);
}

TEST_F(Graphs, ASplitLoadNamesOnlyTheHandlesItMade) {
  Start(1, 32);
  const std::string mine = Write("mine.png", SheetPng(16, 8, 0));
  const std::string other = Write("other.png", SheetPng(16, 8, 9));
  int32_t handles[4];
  ASSERT_EQ(LoadSplitGraphCore(other.c_str(), 1, 1, 1, 16, 8, &handles[3], 1), 0);
  const int32_t foreign = handles[3];
  // Four entries for two cells: the last holds a graph of another file.
  ASSERT_EQ(LoadSplitGraphCore(mine.c_str(), 4, 2, 1, 8, 8, handles, 1), 0);
  EXPECT_EQ(handles[3], foreign);
  EXPECT_STREQ(LookupGraph(foreign)->name, other.c_str());
  EXPECT_STREQ(LookupGraph(handles[1])->name, mine.c_str());
  FreeAllGraphsCore(0);
}

TEST_F(Graphs, TheRestoreReloadsEachSheetOnceFromItsOwnDirectory) {
  Start(1, 32);
  // Two sheets of the same name in two directories, loaded by that name from each.
  Write("a/sheet.png", SheetPng(32, 16, 0));
  Write("b/sheet.png", SheetPng(32, 16, 40, true));
  Write("b/sheet_a.png", SheetPng(32, 16, 1));
  int32_t a[8], b[8], turned[8];
  ASSERT_EQ(chdir((dir + "/a").c_str()), 0);
  ASSERT_EQ(LoadSplitGraphCore("sheet.png", 8, 4, 2, 8, 8, a, 1), 0);
  ASSERT_EQ(LoadSplitGraphFromFile("sheet.png", 8, 4, 2, 8, 8, turned, 0, 1), 0);
  ASSERT_EQ(chdir((dir + "/b").c_str()), 0);
  ASSERT_EQ(LoadSplitGraphCore("sheet.png", 8, 4, 2, 8, 8, b, 1), 0);
  Write("elsewhere/sheet.png", SheetPng(32, 16, 80));
  const std::string elsewhere = dir + "/elsewhere";
  ASSERT_EQ(chdir(elsewhere.c_str()), 0);

  auto paintAll = [&] {
    for (int32_t i = 0; i < 8; i++)
      for (int32_t graph : {a[i], b[i], turned[i]}) ASSERT_EQ(PaintGraphColor(graph, 1, 2, 3, 255), 0);
  };
  auto here = [] {
    char now[PATH_MAX];
    return std::string(getcwd(now, sizeof now) ? now : "");
  };

  paintAll();
  g_opens.clear();
  EXPECT_EQ(FlagAllGraphsLost(), 0);
  EXPECT_EQ(Opens("sheet.png"), 3) << "one load for each run of cells of one sheet";
  EXPECT_EQ(here(), elsewhere);
  for (int32_t i = 0; i < 8; i++) {
    EXPECT_TRUE(CellShows(a[i], i % 4 * 8, i / 4 * 8, 0, false)) << "a " << i;
    EXPECT_TRUE(CellShows(b[i], i % 4 * 8, i / 4 * 8, 40, false)) << "b " << i;
    EXPECT_TRUE(CellShows(turned[i], i % 4 * 8, i / 4 * 8, 0, true)) << "turned " << i;
    EXPECT_EQ(LookupGraph(a[i])->lost, 0);
  }

  // A vanished file leaves its graphs as they are, no longer lost.
  std::filesystem::remove(dir + "/b/sheet.png");
  paintAll();
  EXPECT_EQ(FlagAllGraphsLost(), 0);
  for (int32_t i = 0; i < 8; i++) {
    EXPECT_EQ(GraphPixel(b[i], 0, 0), 0x010203u);
    EXPECT_EQ(LookupGraph(b[i])->lost, 0);
    EXPECT_TRUE(CellShows(a[i], i % 4 * 8, i / 4 * 8, 0, false));
  }
  EXPECT_EQ(here(), elsewhere);

  // A sheet that shrank on disk fills what it still has and reads nothing past its end.
  Write("a/sheet.png", SheetPng(12, 4, 0));
  Write("b/sheet.png", SheetPng(12, 4, 40, true));
  Write("b/sheet_a.png", SheetPng(4, 12, 1));
  paintAll();
  EXPECT_EQ(FlagAllGraphsLost(), 0);
  EXPECT_EQ(GraphPixel(a[0], 7, 3), SheetColor(7, 3, 0));
  EXPECT_EQ(GraphPixel(a[1], 3, 3), SheetColor(11, 3, 0));
  EXPECT_EQ(LookupGraph(a[7])->lost, 0);

  // A vanished directory too: the sheet of the same name in the directory left current
  // by the cells before is not these graphs' file.
  std::filesystem::remove_all(dir + "/b");
  paintAll();
  EXPECT_EQ(FlagAllGraphsLost(), 0);
  for (int32_t i = 0; i < 8; i++) EXPECT_EQ(GraphPixel(b[i], 0, 0), 0x010203u) << i;
  EXPECT_EQ(here(), elsewhere);
  FreeAllGraphsCore(0);
}

TEST_F(Graphs, GraphsTakeTheDisplaysFormatAndAlphaGraphsAreImagesOfTheScreenDepth) {
  struct Case {
    const char* what;
    int windowed;
    int32_t desktop;
    int32_t depth;
  } cases[] = {
      {"32-bit window", 1, 32, 32},
      {"16-bit full screen", 0, 32, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    const std::string opaque = Write("opaque.png", SheetPng(8, 8, 0));
    const std::string alpha = Write("alpha.png", SheetPng(8, 8, 0, true));
    Start(c.windowed, c.desktop);
    ASSERT_EQ(QueryScreenDepth(), c.depth);
    int32_t plain = -1, withAlpha = -1;
    ASSERT_EQ(LoadSplitGraphCore(opaque.c_str(), 1, 1, 1, 8, 8, &plain, 1), 0);
    ASSERT_EQ(LoadSplitGraphCore(alpha.c_str(), 1, 1, 1, 8, 8, &withAlpha, 1), 0);
    const SurfaceData* p = DataOf(plain);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->softwareImage, 0);
    ASSERT_NE(p->surface, 0u);
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    ASSERT_EQ(PlatDDSurfaceGetDesc(p->surface, &desc), 0);
    PlatDisplayMode mode;
    PlatDisplayGetMode(&mode);
    EXPECT_EQ(int32_t(desc.pixelFormat.bitCount), c.depth);
    EXPECT_EQ(desc.pixelFormat.rMask, mode.redMask);
    EXPECT_EQ(desc.pixelFormat.gMask, mode.greenMask);

    const SurfaceData* a = DataOf(withAlpha);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->softwareImage, 1);
    EXPECT_EQ(a->flags.bitDepth, c.depth);
    EXPECT_EQ(a->formatIndex, c.depth == 16 ? SURFACE_FORMAT_IMAGE16_ALPHA : SURFACE_FORMAT_IMAGE32_ALPHA);
    EndGraphics();
    EXPECT_EQ(LiveGraphs(), 0) << "the graph manager's end frees every graph";
  }
}

// A picture of the sheet colours (tint 0), RGB888 or with alpha bits.
GraphImage SheetPicture(int32_t width, int32_t height, bool alphaBits) {
  GraphImage image{};
  if (alphaBits) CreateGraphImageARGB8(width, height, &image);
  else CreateGraphImageRGB8(width, height, &image);
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) {
      const uint32_t c = SheetColor(x, y, 0);
      SetGraphImagePixel(&image, x, y, int32_t(c >> 16), int32_t(c >> 8 & 0xFF), int32_t(c & 0xFF), 255);
    }
  return image;
}

TEST_F(Graphs, GraphsFromPictures) {
  Start(1, 32);
  GraphImage rgb = SheetPicture(6, 4, false), argb = SheetPicture(6, 4, true), alpha = SheetPicture(6, 4, false);
  GraphImage narrow = SheetPicture(5, 4, false);
  GraphImage palette{};
  SetupPalette8Format(&palette.format);
  palette.width = 6;
  palette.height = 4;
  palette.pitch = 8;
  palette.pixels = TrackedCalloc(8 * 4, __FILE__, __LINE__);
  struct Case {
    const char* what;
    const GraphImage* image;
    const GraphImage* alpha;
    int32_t alphaFlag, paletteFlag;  // -1: refused
  } cases[] = {
      {"RGB888", &rgb, nullptr, 0, 0},
      {"alpha bits", &argb, nullptr, 1, 0},
      {"an alpha picture", &rgb, &alpha, 1, 0},
      {"one byte a pixel", &palette, nullptr, 0, 1},
      {"one byte a pixel with an alpha picture", &palette, &alpha, 1, 0},
      {"an alpha picture of another size", &rgb, &narrow, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int32_t graph = MakeGraphForImage(c.image, c.alpha, 0);
    if (c.alphaFlag == -1) {
      EXPECT_EQ(graph, -1);
      EXPECT_EQ(LiveGraphs(), 0);
      continue;
    }
    ASSERT_NE(LookupGraph(graph), nullptr);
    EXPECT_EQ(LookupGraph(graph)->flags.alpha, c.alphaFlag);
    EXPECT_EQ(LookupGraph(graph)->flags.palette, c.paletteFlag);
    FreeGraph(graph, 0);
  }

  // Turned and mirrored, the graph holds the picture right to left, and the picture is
  // given back as it came; turned alone, or mirrored alone, nothing is mirrored.
  const std::vector<uint8_t> before(static_cast<uint8_t*>(rgb.pixels),
                                    static_cast<uint8_t*>(rgb.pixels) + rgb.pitch * rgb.height);
  for (auto [turn, mirror] : {std::pair{1, 1}, {1, 0}, {0, 1}}) {
    SCOPED_TRACE(::testing::Message() << "turn " << turn << " mirror " << mirror);
    const int32_t graph = BuildGraphFromGraphImage(&rgb, nullptr, 0, turn, mirror);
    EXPECT_TRUE(CellShows(graph, 0, 0, 0, turn == 1 && mirror == 1));
    EXPECT_EQ(std::memcmp(rgb.pixels, before.data(), before.size()), 0);
    EXPECT_STREQ(LookupGraph(graph)->name, "");
    FreeGraph(graph, 0);
  }
  const int32_t whole = MakeGraphFromGraphImage(&rgb);
  EXPECT_TRUE(CellShows(whole, 0, 0, 0, false));
  FreeGraph(whole, 0);
  // A graph whose pixels cannot be written is not handed out.
  PlatDDrawFakeFailNext("Lock", 1, PLAT_DDERR_SURFACEBUSY);
  EXPECT_EQ(MakeGraphFromGraphImage(&rgb), -1);
  EXPECT_EQ(LiveGraphs(), 0);

  // A rectangle of a picture into a blank graph: what lies outside the picture or the
  // graph is left out, and the graph records the name ("" for none) and the mirror flag.
  const int32_t blank = MakeBlankGraph(4, 4, 1);
  ASSERT_EQ(PaintGraphColor(blank, 1, 2, 3, 255), 0);
  const Rect rect{3, 1, 20, 20};
  EXPECT_EQ(FillGraphFromImage(nullptr, &rgb, nullptr, &rect, 1, 2, blank, 1), 0);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 4; x++) {
      const bool written = x >= 1 && y >= 2;
      EXPECT_EQ(GraphPixel(blank, x, y), written ? SheetColor(x + 2, y - 1, 0) : 0x010203u) << x << "," << y;
    }
  EXPECT_STREQ(LookupGraph(blank)->name, "");
  EXPECT_EQ(LookupGraph(blank)->loadMirror, 1u);
  FreeGraph(blank, 0);

  for (GraphImage* image : {&rgb, &argb, &alpha, &narrow, &palette}) FreeGraphImageCore(image);
}

TEST_F(Graphs, ALostGraphsSurfacesAreRestored) {
  Start(1, 32);
  const int32_t graph = MakeBlankGraph(8, 8, 1);
  const PlatDDSurface surface = DataOf(graph)->surface;
  ASSERT_NE(surface, 0u);
  PlatDDrawFakeLoseAll();
  EXPECT_EQ(PlatDDSurfaceIsLost(surface), PLAT_DDERR_SURFACELOST);
  EXPECT_EQ(RestoreAllGraphSurfaces(), 0);
  EXPECT_EQ(PlatDDSurfaceIsLost(surface), PLAT_DD_OK);
  EXPECT_EQ(RestoreGraphSurfaces(graph), 0);
  EXPECT_EQ(RestoreGraphSurfaces(-1), -1);
  FreeGraph(graph, 0);
}

TEST_F(Graphs, TheManagersStartFreesGraphsAStopLeftBehind) {
  Start(1, 32);
  const int32_t records = g_SurfaceDataTable.table.count;
  const int32_t graph = MakeBlankGraph(8, 8, 1);
  ASSERT_EQ(g_SurfaceDataTable.table.count, records + 1);
  // The graphics stopped without the manager's end: its start finds the graph still there.
  g_ScreenState.graphicsStarted = 0;
  EXPECT_EQ(StartGraphManager(), 0);
  EXPECT_EQ(LookupGraph(graph), nullptr);
  EXPECT_EQ(LiveGraphs(), 0);
  EXPECT_LE(g_SurfaceDataTable.table.count, records) << "the graph's surface record went with it";
}

TEST_F(Graphs, TheRestoreHandlerDefaultsToTheFileRestore) {
  EXPECT_EQ(SetGraphRestoreHandler(nullptr), 0);
  EXPECT_EQ(g_DrawState.restoreHandler, &RestoreFileGraphs);
  EXPECT_EQ(HasGraphRestoreHandler(), 1);
  static int calls;
  calls = 0;
  SetGraphRestoreHandler([] { calls++; });
  FlagAllGraphsLost();
  EXPECT_EQ(calls, 1);
}

using GraphsDeathTest = Graphs;

TEST_F(GraphsDeathTest, AFullTableEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        g_GraphTable.table.count = GRAPH_SLOTS;
        AllocGraphRecord(1, 1, 0, nullptr, 0, 0);
      },
      ::testing::ExitedWithCode(255), "");
}
