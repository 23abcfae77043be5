// Reading the screen back into texture graphs: the five ways alone, the dispatch's sweep
// and the ways it remembers, the desktop of a window, the edges of the source, shared
// textures, and every failure line.
#include "engine/graphics/services.h"
#include "engine/state/state.h"
#include "tests/d3d/texture_fixture.h"

#include <cstdio>

namespace {

typedef int (*Method)(int32_t, int32_t, int32_t, int32_t, const GraphRecord*, int32_t);
constexpr Method kMethods[6] = {nullptr,
                                G_D3D_GetDrawScreenGraphFunction1,
                                G_D3D_GetDrawScreenGraphFunction2,
                                G_D3D_GetDrawScreenGraphFunction3,
                                G_D3D_GetDrawScreenGraphFunction4,
                                G_D3D_GetDrawScreenGraphFunction5};

// The surface's format as the engine reads it.
ColorFormat FormatOfSurface(PlatDDSurface surface) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  PlatDDSurfaceGetDesc(surface, &d);
  ColorFormat f{};
  const PlatDDPixelFormat& p = d.pixelFormat;
  SetupFormatFromMasksCore(&f, int32_t(p.bitCount), p.rMask, p.gMask, p.bMask, p.aMask);
  return f;
}

class ReadBack : public TextureTest {
 protected:
  void SetUp() override {
    TextureTest::SetUp();
    if (HasFatalFailure()) return;
    SetDrawTargetCore(DRAW_SCREEN_BACK);
    g_ScreenState.copyMethod = 0;
    PaintScreen(Pattern);
    log.clear();
  }

  // Writes rgb(x, y) into every pixel of the surface draws go to.
  static void PaintScreen(uint32_t (*rgb)(int32_t, int32_t)) {
    const PlatDDSurface s = GetTargetSurface();
    const ColorFormat f = FormatOfSurface(s);
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    ASSERT_EQ(PlatDDSurfaceLock(s, nullptr, &d, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
    for (uint32_t y = 0; y < d.height; y++)
      for (uint32_t x = 0; x < d.width; x++) {
        const uint32_t c = rgb(int32_t(x), int32_t(y));
        WritePixelValue(static_cast<uint8_t*>(d.surface) + size_t(y) * size_t(d.pitch) + x * f.bytesPerPixel,
                        f.bytesPerPixel, ColorToPixelValue(&f, int32_t(c >> 16), int32_t(c >> 8 & 0xFF),
                                                           int32_t(c & 0xFF), 255));
      }
    PlatDDSurfaceUnlock(s, nullptr);
  }
  // The raw pixel (x, y) of a surface.
  static uint32_t SurfacePixel(PlatDDSurface s, int32_t x, int32_t y) {
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    if (PlatDDSurfaceLock(s, nullptr, &d, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return 0xBADBAD;
    const int bytes = int(d.pixelFormat.bitCount / 8);
    const uint32_t v = ReadPixelValue(static_cast<uint8_t*>(d.surface) + size_t(y) * size_t(d.pitch) + x * bytes,
                                      bytes);
    PlatDDSurfaceUnlock(s, nullptr);
    return v;
  }
  // Every texel of the graph's textures: the screen at (x + dx, y + dy) where the graph
  // pixel (x, y) lies inside `copied` (graph coordinates), else `rest`.
  void ExpectScreenIn(const GraphRecord* g, const Rect& copied, int32_t dx, int32_t dy, uint32_t rest) {
    std::vector<uint32_t> screen;
    const PlatDDSurface s = GetTargetSurface();
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    ASSERT_EQ(PlatDDSurfaceGetDesc(s, &d), PLAT_DD_OK);
    for (uint32_t y = 0; y < d.height; y++)
      for (uint32_t x = 0; x < d.width; x++) screen.push_back(SurfacePixel(s, int32_t(x), int32_t(y)));
    for (int32_t i = 0; i < g->surfaceCount; i++) {
      const Surface3DData* tile = Tile(g, i);
      const int32_t tw = Texture(tile)->width;
      const std::vector<uint32_t> texels = Texels(tile);
      int wrong = 0;
      for (size_t at = 0; at < texels.size(); at++) {
        const int32_t x = int32_t(at % size_t(tw)) - tile->texelX + tile->tileX;
        const int32_t y = int32_t(at / size_t(tw)) - tile->texelY + tile->tileY;
        const bool shown = x >= tile->tileX && y >= tile->tileY && x < tile->tileX + tile->usedWidth &&
                           y < tile->tileY + tile->usedHeight;
        const bool read = shown && x >= copied.left && x < copied.right && y >= copied.top && y < copied.bottom;
        const uint32_t want = read ? screen[size_t(y + dy) * d.width + size_t(x + dx)] : rest;
        if (texels[at] != want && wrong++ < 3)
          ADD_FAILURE() << "tile " << i << " at graph " << x << "," << y << ": " << std::hex << texels[at]
                        << " not " << want;
      }
      EXPECT_EQ(wrong, 0) << "tile " << i;
    }
  }
  // A 640 x 480 graph of two tiles, painted with the colour (raw 0x1234 in 5:6:5).
  GraphRecord* Painted(int32_t width = 640, int32_t height = 480, int32_t alpha = 0) {
    GraphRecord* g = NewGraph(width, height, alpha);
    if (g) FillGraphTextures(g, 0x10, 0x44, 0xA0, 255);
    return g;
  }
  uint32_t PaintedTexel(const GraphRecord* g) { return ColorToPixelValue(FormatOf(Tile(g, 0)), 0x10, 0x44, 0xA0, 255); }
};

TEST_F(ReadBack, EachMethodAloneCopiesTheSameTexels) {
  for (int m = 1; m <= 5; m++) {
    SCOPED_TRACE(m);
    GraphRecord* g = Painted();
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->surfaceCount, 2);
    ASSERT_EQ(kMethods[m](20, 10, 640, 480, g, 1), 0) << log;
    ExpectScreenIn(g, Rect{0, 0, 620, 470}, 20, 10, PaintedTexel(g));
  }
  EXPECT_EQ(log, "");
}

TEST_F(ReadBack, TheDispatchRemembersTheFirstWayThatWorked) {
  GraphRecord* g = Painted();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, -1);
  // Method 5 cannot lock its work surface: method 1, next in the sweep, works.
  PlatDDrawFakeFailNth("Lock", 1, PLAT_DDERR_SURFACEBUSY);
  ASSERT_EQ(ReadBackScreenDispatch(0, 0, 640, 480, g, 1), 0);
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, 1);
  EXPECT_TRUE(Logged("G_D3D_GetDrawScreenGraphFunction5"));
  ExpectScreenIn(g, Rect{0, 0, 640, 480}, 0, 0, PaintedTexel(g));

  // Remembered: method 1 goes first and alone.
  PlatDDrawFakeLogCalls(1);
  PlatDDrawFakeClearCalls();
  ASSERT_EQ(ReadBackScreenDispatch(0, 0, 640, 480, g, 1), 0);
  std::vector<std::string> calls = PlatDDrawFakeCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "BltFast"), 2);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Lock"), 0);

  // It fails: the sweep starts again from method 5 and remembers it.
  PlatDDrawFakeFailNth("BltFast", 1, PLAT_DDERR_SURFACELOST);
  ASSERT_EQ(ReadBackScreenDispatch(0, 0, 640, 480, g, 1), 0);
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, 0);
  PlatDDrawFakeLogCalls(0);

  // A graph with alpha keeps its own: its first read-back sweeps from method 5.
  g_Direct3D.plainReadBackMethod = 1;
  GraphRecord* a = Painted(64, 64, 1);
  ASSERT_NE(a, nullptr);
  PlatDDrawFakeFailNth("Lock", 1, PLAT_DDERR_SURFACEBUSY);  // method 5's work surface
  log.clear();
  ASSERT_EQ(ReadBackScreenDispatch(0, 0, 64, 64, a, 1), 0);
  EXPECT_TRUE(Logged("G_D3D_GetDrawScreenGraphFunction5")) << "method 5 was tried first";
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, 1);
  // BltFast cannot convert 5:6:5 to 8:8:8:8: the sweep goes on to method 3.
  EXPECT_EQ(g_Direct3D.alphaReadBackMethod, 2);
}

TEST_F(ReadBack, NothingToCopySweepsEveryMethodSilently) {
  GraphRecord* g = Painted();
  ASSERT_NE(g, nullptr);
  g_Direct3D.plainReadBackMethod = 3;
  const std::vector<uint32_t> before = Texels(Tile(g, 0));
  EXPECT_EQ(ReadBackScreenDispatch(100, 10, 100, 20, g, 1), -1);
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, -1);
  EXPECT_EQ(ReadBackScreenDispatch(10, 20, 30, 20, g, 1), -1);
  // A graph narrower than the rectangle.
  GraphRecord* narrow = Painted(32, 32);
  ASSERT_NE(narrow, nullptr);
  EXPECT_EQ(ReadBackScreenDispatch(0, 0, 33, 10, narrow, 1), -1);
  EXPECT_EQ(ReadBackScreenDispatch(0, 0, 10, 33, narrow, 1), -1);
  EXPECT_EQ(log, "");
  EXPECT_EQ(Texels(Tile(g, 0)), before);
}

TEST_F(ReadBack, ATileOutsideTheSourceIsLeftUntouched) {
  GraphRecord* g = Painted();
  ASSERT_NE(g, nullptr);
  for (int m = 1; m <= 5; m++) {
    SCOPED_TRACE(m);
    ASSERT_EQ(FillGraphTextures(g, 0x10, 0x44, 0xA0, 255), 0);
    ASSERT_EQ(kMethods[m](600, 0, 640, 480, g, 1), 0);
    // The first tile takes the 40 columns left of the screen's edge; the second, at
    // 512, would start past it.
    ExpectScreenIn(g, Rect{0, 0, 40, 480}, 600, 0, PaintedTexel(g));
  }
}

TEST_F(ReadBack, WhileTheTargetIsUnavailableNothingIsFlushedOrRead) {
  GraphRecord* g = Painted();
  ASSERT_NE(g, nullptr);
  AddRectangles(1);
  BeginSceneOnDevice(Current());
  PlatD3DFakeClearCalls();
  g_Renderer3DState.targetUnavailable = 1;
  EXPECT_EQ(ReadBackScreenDispatch(0, 0, 640, 480, g, 1), 0);
  g_Renderer3DState.targetUnavailable = 0;
  EXPECT_EQ(Record().batchCount, 6u);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, -1);
  // Available: the batch is drawn and the scene ended before the screen is read.
  EXPECT_EQ(ReadBackScreenDispatch(0, 0, 640, 480, g, 1), 0);
  const std::vector<std::string> names = PlatD3DFakeCallNames();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "DrawPrimitive");
  EXPECT_EQ(names[1], "EndScene");
}

TEST_F(ReadBack, MethodsThreeAndFourLeaveASiblingsTexelsIntact) {
  GraphRecord* parent = Painted();
  ASSERT_NE(parent, nullptr);
  for (int m : {3, 4}) {
    SCOPED_TRACE(m);
    ASSERT_EQ(FillGraphTextures(parent, 0x10, 0x44, 0xA0, 255), 0);
    GraphRecord* left = SubGraph(parent, 0, 0, 100, 100);
    GraphRecord* right = SubGraph(parent, 100, 0, 100, 100);
    ASSERT_TRUE(left && right);
    ASSERT_EQ(kMethods[m](50, 60, 150, 160, left, 1), 0) << log;
    // Only the left cell's texels hold the screen; the rest of the shared texture keeps
    // its colour, the right cell's included.
    ExpectScreenIn(parent, Rect{0, 0, 100, 100}, 50, 60, PaintedTexel(parent));
  }
}

TEST_F(ReadBack, MethodFiveOnAGraphWiderThanTheScreenReadsOnlyWhatItCopied) {
  GraphRecord* g = Painted(1000, 480);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->surfaceCount, 1);
  EXPECT_EQ(Tile(g, 0)->usedWidth, 1000);
  ASSERT_EQ(G_D3D_GetDrawScreenGraphFunction5(0, 0, 640, 480, g, 1), 0);
  ExpectScreenIn(g, Rect{0, 0, 640, 480}, 0, 0, PaintedTexel(g));
  // A rectangle narrower than the tile: the rest of the tile keeps its texels.
  ASSERT_EQ(FillGraphTextures(g, 0x10, 0x44, 0xA0, 255), 0);
  ASSERT_EQ(G_D3D_GetDrawScreenGraphFunction5(10, 5, 110, 405, g, 1), 0);
  ExpectScreenIn(g, Rect{0, 0, 100, 400}, 10, 5, PaintedTexel(g));
}

TEST_F(ReadBack, TheLoadOfMethodFourIsRepeatedWhileTheTextureIsBusy) {
  GraphRecord* g = Painted(64, 64);
  ASSERT_NE(g, nullptr);
  const uint32_t start = PlatTimeMs();
  PlatD3DFakeLoadBusy(9);
  EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction4(0, 0, 64, 64, g, 1), 0);
  EXPECT_EQ(CountOf("Load"), 10);
  EXPECT_EQ(PlatTimeMs() - start, 9u) << "1 ms after each busy answer";
  ExpectScreenIn(g, Rect{0, 0, 64, 64}, 0, 0, PaintedTexel(g));
  PlatD3DFakeClearCalls();
  PlatD3DFakeLoadBusy(10);
  EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction4(0, 0, 64, 64, g, 1), -1);
  EXPECT_EQ(CountOf("Load"), 10);
  char hr[32];
  std::snprintf(hr, sizeof hr, "hr:%d ", PLAT_DDERR_SURFACEBUSY);
  EXPECT_TRUE(Logged(hr)) << log;
}

// ---- failures ---------------------------------------------------------------------------

struct Failure {
  int method;
  const char* layer;  // "dd", "gdi" or "d3d"
  const char* operation;
  int nth;
  int32_t error;  // the injected result (GDI: the call simply fails)
  std::string line;
};

// The line of the format with the method's number (when it takes one) and the result.
std::string Line(const char* format, int32_t value, int method = 0) {
  char text[512];
  if (method) std::snprintf(text, sizeof text, format, method, value);
  else std::snprintf(text, sizeof text, format, value);
  return text;
}

TEST_F(ReadBack, EveryFailureWritesItsLine) {
  const int32_t busy = PLAT_DDERR_SURFACEBUSY, lost = PLAT_DDERR_SURFACELOST, params = PLAT_DDERR_INVALIDPARAMS;
  const int32_t memory = PLAT_DDERR_OUTOFMEMORY;
  std::vector<Failure> cases = {
      {1, "dd", "BltFast", 1, lost, Line("Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:%d", lost)},
      {2, "gdi", "GetSurfaceDC", 1, 0,
       Line("Error  G_D3D_GetDrawScreenGraphFunction2  ＤＣ取得に失敗しました  GetDC ReturnValue:%d", lost)},
      {2, "gdi", "GetSurfaceDC", 2, 0,
       Line("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC "
            "ReturnValue:%d",
            lost)},
      {2, "gdi", "BitBlt", 1, 0,
       "Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  "
       "ErrorCode:1f"},
      {2, "dd", "ReleaseDC", 1, busy,
       Line("Error  G_D3D_GetDrawScreenGraphFunction2 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC "
            "ReturnValue:%d",
            busy)},
      {3, "dd", "Lock", 1, busy,
       Line("Error  G_D3D_GetDrawScreenGraphFunction3 　転送先テクスチャサーフェスのロックに失敗しました  Lock  "
            "ReturnValue:%d",
            busy)},
      {3, "dd", "Lock", 2, busy,
       Line("Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
            "ReturnValue:%d",
            busy)},
      {4, "d3d", "Load", 1, params,
       Line("hr:%d  W:640  H:480  FullMode:1  Point x:0 y:0   Rect top:0 bottom:40 left:0 right:50", params) +
           "\nAlphaCh:0  AlphaTest:0  ColorBitDepth:16\nScreenColor:16  SizeX:50  SizeY:40  DrawPointX:0  "
           "DrawPointY:0  WndRect.left:0  WndRect.top:0  left:7  top:9"},
      {5, "dd", "Lock", 1, busy,
       Line("Error  G_D3D_GetDrawScreenGraphFunction5 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
            "ReturnValue:%d",
            busy)},
      {5, "dd", "Lock", 2, busy,
       Line("Error  G_D3D_GetDrawScreenGraphFunction5 　転送先テクスチャサーフェスのロックに失敗しました  Lock  "
            "ReturnValue:%d",
            busy)},
  };
  // Methods 3 and 4 share their way to the work texture, and its lines.
  for (int m : {3, 4}) {
    const std::vector<Failure> shared = {
        {m, "dd", "GetDC", 1, busy,
         Line("Error  G_D3D_GetDrawScreenGraphFunction%d 　ＤＣ取得に失敗しました  GetDC  ReturnValue:%d", busy, m)},
        {m, "dd", "CreateSurface", 1, memory,
         Line("Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスの作成に失敗しました  "
              "CreateSurface  ReturnValue:%d",
              memory, m)},
        {m, "dd", "GetDC", 2, busy,
         Line("Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC  "
              "ReturnValue:%d",
              busy, m)},
        {m, "gdi", "BitBlt", 1, 0,
         Line("Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  "
              "BitBlt  ErrorCode:%x",
              0x1f, m)},
        {m, "dd", "ReleaseDC", 1, busy,
         Line("Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  "
              "ReleaseDC  ReturnValue:%d",
              busy, m)},
    };
    cases.insert(cases.end(), shared.begin(), shared.end());
  }
  for (const Failure& c : cases) {
    SCOPED_TRACE(std::to_string(c.method) + " " + c.operation + " " + std::to_string(c.nth));
    GraphRecord* g = Painted(50, 40);
    ASSERT_NE(g, nullptr);
    const std::string layer = c.layer;
    if (layer == "dd") PlatDDrawFakeFailNth(c.operation, c.nth, c.error);
    if (layer == "gdi") PlatGdiFakeFailNth(c.operation, c.nth);
    if (layer == "d3d") PlatD3DFakeFailNth(c.operation, c.nth, c.error);
    log.clear();
    EXPECT_EQ(kMethods[c.method](7, 9, 57, 49, g, 1), -1);
    EXPECT_EQ(log, c.line + "\n");
    // Whatever failed, nothing is left locked or out.
    EXPECT_EQ(PlatGdiFakeLiveDCs(), 0);
    // A texture whose device context could not be given back stays locked: the next
    // read-back goes to a graph of its own.
    EXPECT_EQ(kMethods[c.method](7, 9, 57, 49, Painted(50, 40), 1), 0) << log;
  }
}

// ---- the desktop of a window -----------------------------------------------------------------

class WindowReadBack : public ReadBack {
 protected:
  void SetUp() override {
    Direct3DTest::SetUp();
    if (HasFatalFailure()) return;
    EndGraphics();
    g_System.settings.windowed = 1;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
    PlatD3DFakeForward(1);
    Up();
    g_GraphTable.available3D = 1;
    g_DrawState.newGraphColorKey = 0;
    g_ScreenState.copyMethod = 0;
    SetDrawTargetCore(DRAW_SCREEN_FRONT);
    log.clear();
  }
};

TEST_F(WindowReadBack, TheDesktopIsReadByMethodOneOnlyWhileTheFrontSurfaceIsTheTarget) {
  ASSERT_EQ(IsWindowedMode(), 1u);
  ASSERT_EQ(IsTargetFrontSurface(), 1);
  PaintScreen(Pattern);  // the whole desktop
  GraphRecord* g = NewGraph(200, 100);
  ASSERT_NE(g, nullptr);
  // Past the window's 640 columns, inside the desktop's 1024.
  EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction5(700, 300, 900, 400, g, 0), -1) << "method 5 has no desktop";
  ASSERT_EQ(ReadBackScreenDispatch(700, 300, 900, 400, g, 0), 0);
  EXPECT_EQ(g_Direct3D.plainReadBackMethod, 1);
  ExpectScreenIn(g, Rect{0, 0, 200, 100}, 700, 300, 0);
  EXPECT_EQ(log, "");

  // Drawn elsewhere, the front screen counts in the target's own coordinates: 700 lies
  // past its 640 columns.
  g_ScreenState.targetSurface = g_ScreenState.back;
  EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction1(700, 300, 900, 400, g, 0), -1);
  // The engine's own callers ask for target coordinates.
  g_ScreenState.targetSurface = g_ScreenState.primary;
  EXPECT_EQ(G_D3D_GetDrawScreenGraphFunction1(700, 300, 900, 400, g, 1), -1);
}

}  // namespace
