// The graphics of a started engine on the headless back ends: the rebuild as the window
// procedure runs it, after a display change in a window and after a full-screen program
// was left and came back (graphs from files are loaded again, the fonts made again, and
// the screen draws in the display's format), and a target change that waits for the
// window while the pump applies the GDI-surface request.
#include "engine/engine.h"
#include "engine/font/font.h"
#include "engine/font/services.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/surface2d.h"
#include "engine/softimage/boxline.h"
#include "engine_start.h"
#include "platform/display/display.h"
#include "platform/display/headless/headlessdisplay.h"
#include "tests/support/imagefiles.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

class GraphicsInEngine : public EngineStart {
 protected:
  std::string dir;

  void SetUp() override {
    EngineStart::SetUp();
    char name[] = "/tmp/kr_rebuild_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
  }
  void TearDown() override {
    EngineStart::TearDown();
    std::filesystem::remove_all(dir);
  }

  std::string SheetFile() const {
    PngFields s = PatternPng(24, 16, PNG_COLOR_TYPE_RGB, 8);
    const std::string path = dir + "/sheet.png";
    const Bytes bytes = WritePng(s);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  // The pixels of a graph's surface as its format holds them.
  static std::vector<uint8_t> GraphBytes(int32_t graph) {
    const GraphRecord* g = LookupGraph(graph);
    const int32_t record = GetSurface2D(g->surfaces[0])->surfaceData;
    uint8_t* at = nullptr;
    int32_t pitch = 0;
    const ColorFormat* format = nullptr;
    std::vector<uint8_t> out;
    if (LockSurfaceData(record, &pitch, &at, 0, nullptr, &format) != 0) {
      ADD_FAILURE() << "the graph's surface does not lock";
      return out;
    }
    const int32_t row = g->width * format->bytesPerPixel;
    for (int32_t y = 0; y < g->height; y++) out.insert(out.end(), at + y * pitch, at + y * pitch + row);
    UnlockSurfaceData(record, nullptr);
    return out;
  }

  static void Drain() {
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) PlatDispatchMessage(&m);
  }
};

}  // namespace

TEST_F(GraphicsInEngine, GraphsFontsAndTheScreenComeBackAfterAChange) {
  struct Case {
    const char* name;
    int windowed;
  };
  for (const Case& c : {Case{"display change in a window", 1}, Case{"full screen left and back", 0}}) {
    SCOPED_TRACE(c.name);
    ClearCalls();
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    PlatHeadlessSetDesktop(1024, 768, 32, 0);
    if (c.windowed) ChangeWindowMode(1);
    ASSERT_EQ(EngineInitCore(), 0);
    const PlatWnd window = GetEngineWindowHandle();
    const std::string file = SheetFile();
    int32_t graph = -1;
    ASSERT_EQ(LoadSplitGraph(file.c_str(), 1, 1, 1, 24, 16, &graph, 1), 0);
    const int32_t font = QueryDefaultFont();
    ASSERT_TRUE(IsFontHandleValid(font));
    int32_t fontGone = 0;
    ASSERT_EQ(WatchFontDeletion(font, &fontGone), 0);

    if (c.windowed) {
      PlatHeadlessSetDesktop(1280, 1024, 16, 1);
      Drain();
    } else {
      PlatHeadlessActivate(window, 0);
      Drain();
      PlatHeadlessActivate(window, 1);
      Drain();
    }
    EXPECT_EQ(CallCount("RebuildGraphicsSystem"), 1);

    // The graph holds its file's pixels again, as a load now makes them.
    int32_t fresh = -1;
    ASSERT_EQ(LoadSplitGraph(file.c_str(), 1, 1, 1, 24, 16, &fresh, 1), 0);
    EXPECT_EQ(LookupGraph(graph)->lost, 0);
    EXPECT_TRUE(GraphBytes(graph) == GraphBytes(fresh));
    // The font was made again under its own handle.
    EXPECT_EQ(fontGone, 1);
    EXPECT_TRUE(IsFontHandleValid(font));

    // The screen is in the display's format, and draws show in it.
    PlatDisplayMode mode;
    PlatDisplayGetMode(&mode);
    const ColorFormat& f = g_ScreenState.colorFormat;
    EXPECT_EQ(int32_t(f.bitDepth), mode.depth);
    EXPECT_EQ(f.redMask, mode.redMask);
    EXPECT_EQ(f.greenMask, mode.greenMask);
    EXPECT_EQ(f.blueMask, mode.blueMask);
    ASSERT_EQ(SetDrawTarget(DRAW_SCREEN_BACK), 0);
    uint32_t red = PackScreenColor(255, 0, 0);
    const Rect box{100, 100, 140, 120};
    ASSERT_EQ(BeginWorkDraw(nullptr, 0, nullptr, &box, 1, &red, nullptr), 0);
    ASSERT_NE(g_WorkDraw.destination, nullptr);
    FillMemImgBox(g_WorkDraw.destination, &box, red);
    EndWorkDraw();
    ASSERT_EQ(PresentScreen(), 0);
    const uint32_t shown = c.windowed ? PlatHeadlessClientPixel(window, 110, 110) : PlatDisplayReadRgb(110, 110);
    EXPECT_EQ(shown, 0xFF0000u);
    EXPECT_EQ(EngineEndCore(), 0);
    EXPECT_TRUE(LogHas("Total size:0(0.000kb)  Alloc num:0"));
  }
}

TEST_F(GraphicsInEngine, ATargetChangeWaitingForAnInactiveWindowDoesNotRecurse) {
  // A full-screen program whose window is not active yet when it is closed: the change
  // pumps while it waits, the pump applies the GDI-surface request (unknown after a mode
  // change), which changes the target again.
  ASSERT_EQ(EngineInitCore(), 0);
  g_System.windowActive = 0;
  g_ScreenState.gdiSurfaceState = -1;
  g_System.closePending = 1;
  PlatPostMessage(GetEngineWindowHandle(), PLAT_WM_CLOSE, 0, 0);
  SetDrawTarget(DRAW_SCREEN_BACK);
  EXPECT_TRUE(IsEndRequested());
  EXPECT_EQ(g_ScreenState.gdiSurfaceState, 0);
}
