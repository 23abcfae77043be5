// The mask screen on the headless display: switching it without a mask, masked drawing
// only while it is wanted, the mask's rows, a mask that cannot be had, the bracket of a
// draw on a software-rendered screen, a DirectDraw surface and a software-image graph
// (with the work surface in video or system memory), narrow rectangles on the last rows,
// the rebuild and the end, and the removal of the type-0x40000000 records.
#include "engine/base/handle.h"
#include "engine/base/memory.h"
#include "engine/d3d/direct3d.h"
#include "engine/graphics/maskscreentest.h"
#include "graphics/surfacefixture.h"

#include <cstring>
#include <vector>

namespace {

// Where a masked draw goes.
enum Road { SOFTWARE, SURFACE, IMAGE_VIDEO_MASK, IMAGE_SYSTEM_MASK };
const char* RoadName(Road road) {
  static const char* const kNames[] = {"software-rendered back screen", "back surface",
                                       "software-image graph, mask in video memory",
                                       "software-image graph, mask in system memory"};
  return kNames[road];
}

// Pixels of a target or of the work copy, locked while open.
struct View {
  uint8_t* pixels = nullptr;
  int32_t pitch = 0, bytes = 0, width = 0, height = 0;
  const ColorFormat* format = nullptr;
  PlatDDSurface locked = 0;

  uint32_t Get(int32_t x, int32_t y) const {
    uint32_t v = 0;
    std::memcpy(&v, pixels + size_t(y) * pitch + size_t(x) * bytes, size_t(bytes));
    return v;
  }
  void Put(int32_t x, int32_t y, uint32_t v) { std::memcpy(pixels + size_t(y) * pitch + size_t(x) * bytes, &v, size_t(bytes)); }
  std::vector<uint32_t> All() const {
    std::vector<uint32_t> out;
    out.reserve(size_t(width) * height);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < width; x++) out.push_back(Get(x, y));
    return out;
  }
};

View ImageView(const MEMIMG* image) {
  View v;
  v.pixels = image->pixels;
  v.pitch = image->data->pitch;
  v.bytes = image->data->format->bytesPerPixel;
  v.width = image->width;
  v.height = image->height;
  v.format = image->data->format;
  return v;
}

View SurfaceView(PlatDDSurface surface, const ColorFormat* format) {
  View v;
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  EXPECT_EQ(PlatDDSurfaceLock(surface, nullptr, &desc, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
  v.pixels = static_cast<uint8_t*>(desc.surface);
  v.pitch = desc.pitch;
  v.bytes = int32_t(desc.pixelFormat.bitCount / 8);
  v.width = int32_t(desc.width);
  v.height = int32_t(desc.height);
  v.format = format;
  v.locked = surface;
  return v;
}

void Close(View& v) {
  if (v.locked) PlatDDSurfaceUnlock(v.locked, nullptr);
  v.locked = 0;
}

// A colour of every pixel its own, never the key (never black).
uint32_t PatternPixel(const ColorFormat* format, int32_t x, int32_t y, uint32_t seed) {
  const uint32_t h = (uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u ^ seed) * 2246822519u;
  return ColorToPixelValue(format, int32_t(32 + (h & 0xBF)), int32_t(32 + ((h >> 8) & 0xBF)),
                           int32_t(32 + ((h >> 16) & 0xBF)), 255);
}

void FillPattern(View& v, const Rect& r, uint32_t seed) {
  for (int32_t y = r.top; y < r.bottom; y++)
    for (int32_t x = r.left; x < r.right; x++) v.Put(x, y, PatternPixel(v.format, x, y, seed));
}

// Mask patterns, each byte 0 or not.
enum MaskPattern { ALL_ZERO, CHECKER, GROUPS };
uint8_t MaskByte(MaskPattern pattern, int32_t x, int32_t y) {
  switch (pattern) {
    case ALL_ZERO: return 0;
    case CHECKER: return uint8_t((x + y) & 1);
    // Whole groups of four zero (odd groups), the others mixed: both ways through a group.
    case GROUPS: return (x / 4) % 2 ? 0 : uint8_t(((x * 7 + y * 3) % 5) < 2 ? 0 : 0x80);
  }
  return 0;
}

bool Inside(const Rect& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

class MaskScreen : public SurfaceTest {
 protected:
  int32_t graph = -1;
  // The screen of the pixel tests: small, so that whole targets compare quickly.
  int32_t W = 640, H = 480;

  void SetUp() override {
    SurfaceTest::SetUp();
    SetMaskScreenForTest(0, 0, 0);
  }
  void TearDown() override {
    if (g_ScreenState.graphicsStarted) EndMaskScreen();
    ReleaseMaskScreen();
    SetMaskScreenForTest(0, 0, 0);
    PlatSetAllocFailHook(nullptr);
    PlatDDrawFakeForceSystemMemory(0);
    g_DrawState.graphMemory = 0;
    SurfaceTest::TearDown();
    ForgetRenderer();
  }

  // The renderer a test started keeps its texture formats past its end.
  static void ForgetRenderer() {
    g_Direct3D = Direct3DState{};
    std::memset(static_cast<void*>(g_Device3D), 0, sizeof g_Device3D);
    g_Renderer3DState = Renderer3DState{};
    g_Renderer3D = kNoRenderer3D;
  }

  // The screen started for the road with its target selected; the mask wanted, built and
  // switched on, with drawing allowed by (byte != 0) != reverse and the key colour.
  // A graph of its own size is the target when one is given (W x H then being the
  // graph's size), else a graph of the screen's size on the image roads.
  void StartMasked(Road road, int32_t reverse, uint32_t key, int32_t width = 640, int32_t height = 480,
                   int32_t graphWidth = 0, int32_t graphHeight = 0) {
    W = graphWidth ? graphWidth : width;
    H = graphWidth ? graphHeight : height;
    g_ScreenState.width = uint32_t(width);
    g_ScreenState.height = uint32_t(height);
    Start(1, 32, road == SOFTWARE ? 1 : 0);
    if (road == IMAGE_VIDEO_MASK || road == IMAGE_SYSTEM_MASK || graphWidth) {
      g_DrawState.graphMemory = 1;
      graph = MakeBlankGraph(W, H, 1);
      g_DrawState.graphMemory = 0;
      ASSERT_GE(graph, 0);
      ASSERT_EQ(SetDrawTargetCore(graph), 0);
    } else {
      ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
    }
    SetMaskScreenForTest(1, reverse, key);
    PlatDDrawFakeForceSystemMemory(road == IMAGE_SYSTEM_MASK);
    ASSERT_EQ(BuildMaskScreen(1), 0);
    PlatDDrawFakeForceSystemMemory(0);
    ASSERT_EQ(SwitchMaskScreen(1), 0);
    ASSERT_EQ(IsMaskedDrawOn(), 1);
    if (road != SOFTWARE) {
      ASSERT_EQ(IsMaskSurfaceInVideoMemory(), road == IMAGE_SYSTEM_MASK ? 0 : 1);
    }
  }

  static void SetMask(MaskPattern pattern) {
    int32_t pitch = 0, width = 0, height = 0;
    uint8_t* mask = MaskBytesForTest(&pitch, &width, &height);
    ASSERT_NE(mask, nullptr);
    for (int32_t y = 0; y < height; y++)
      for (int32_t x = 0; x < pitch; x++) mask[y * pitch + x] = MaskByte(pattern, x, y);
  }

  static View Target() {
    const ScreenState& s = g_ScreenState;
    if (s.targetImage && IsMemImgValid(s.targetImage)) return ImageView(s.targetImage);
    return SurfaceView(s.targetSurface, GetScreenColorFormat());
  }
  static const ColorFormat* TargetFormat() {
    const MEMIMG* image = g_ScreenState.targetImage;
    return image && IsMemImgValid(image) ? image->data->format : GetScreenColorFormat();
  }
  static View Work() {
    if (IsMemImgValid(GetMaskMemImg())) return ImageView(GetMaskMemImg());
    return SurfaceView(GetMaskSurface(), GetScreenColorFormat());
  }
  std::vector<uint32_t> TargetPixels() const {
    View v = Target();
    std::vector<uint32_t> out = v.All();
    EXPECT_EQ(out.size(), size_t(W) * H);
    Close(v);
    return out;
  }

  // A bracketed draw of the second pattern over the rectangle; the target before it.
  std::vector<uint32_t> BracketedDraw(const Rect& r, uint32_t seed) {
    const std::vector<uint32_t> before = TargetPixels();
    EXPECT_EQ(BeginMaskedDraw(r.left, r.top, r.right, r.bottom), 0);
    View v = Target();
    Rect drawn = r;
    ClipRect(&drawn, &g_DrawState.drawArea);
    FillPattern(v, drawn, seed);
    Close(v);
    EXPECT_EQ(EndMaskedDraw(r.left, r.top, r.right, r.bottom), 0);
    return before;
  }

  // Target pixels that are not what a draw of the pattern of that seed over r leaves where
  // stays(x, y) holds, and the target as it was (before) elsewhere.
  template <typename Stays>
  int32_t WrongPixels(const Rect& r, const std::vector<uint32_t>& before, uint32_t seed, Stays stays) const {
    View v = Target();
    int32_t wrong = 0;
    for (int32_t y = 0; y < H; y++)
      for (int32_t x = 0; x < W; x++) {
        const bool drawn = Inside(r, x, y) && stays(x, y);
        wrong += v.Get(x, y) != (drawn ? PatternPixel(v.format, x, y, seed) : before[size_t(y) * W + x]);
      }
    Close(v);
    return wrong;
  }

  // Ends what a round of a table started, for the next round to start afresh.
  void EndRound() {
    EndMaskScreen();
    if (graph >= 0) FreeGraph(graph, 0);
    graph = -1;
    EndGraphics();
    ForgetRenderer();
    g_ScreenState = ScreenState{};
  }
};

}  // namespace

TEST_F(MaskScreen, SwitchingWithoutAMaskFailsAndChangesNothing) {
  Start(1, 32);
  ASSERT_EQ(IsMaskScreenEnabled(), 1);  // as the start's draw-state reset left it
  const Rect origin = g_DrawState.targetRect;
  // A mask that is not wanted is not built.
  EXPECT_EQ(BuildMaskScreen(0), 0);
  EXPECT_EQ(MaskBytesForTest(nullptr, nullptr, nullptr), nullptr);
  for (int32_t flag : {0, 1}) {
    SCOPED_TRACE(flag);
    EXPECT_EQ(SwitchMaskScreen(flag), -1);
    EXPECT_EQ(IsMaskScreenEnabled(), 1);
    EXPECT_EQ(IsMaskedDrawOn(), 0);
    EXPECT_EQ(std::memcmp(&g_DrawState.targetRect, &origin, sizeof origin), 0);
  }
}

TEST_F(MaskScreen, MaskedDrawingIsOnOnlyWhileTheMaskIsWantedAndSwitchedOn) {
  struct Case {
    int32_t made, flag, masked;
  };
  const Case cases[] = {{0, 1, 0}, {0, 0, 0}, {1, 1, 1}, {1, 0, 0}};
  for (int32_t mode : {0, 1}) {
    Start(1, 32, mode);
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
    ASSERT_EQ(BuildMaskScreen(1), 0);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " made " << c.made << " switch " << c.flag);
      SetMaskScreenForTest(c.made, 0, 0);
      EXPECT_EQ(SwitchMaskScreen(c.flag), 0);
      EXPECT_EQ(IsMaskScreenEnabled(), c.flag);
      EXPECT_EQ(IsMaskedDrawOn(), c.masked);
      if (!c.masked) {
        // A bracket without masked drawing leaves the draw as it was.
        BracketedDraw({10, 10, 50, 30}, 7);
        View v = Target();
        EXPECT_EQ(v.Get(10, 10), PatternPixel(v.format, 10, 10, 7));
        Close(v);
      }
    }
    EndRound();
  }
}

TEST_F(MaskScreen, MaskedDrawingTakesTheFrontScreensOriginOffTheDesktop) {
  Start(1, 32);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), 0);
  g_System.clientRectOnScreen = {100, 50, 740, 530};
  SetMaskScreenForTest(1, 0, 0);
  ASSERT_EQ(BuildMaskScreen(1), 0);
  const Rect& r = g_DrawState.targetRect;
  ASSERT_EQ(SwitchMaskScreen(1), 0);
  EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{0, 0, 640, 480}));
  ASSERT_EQ(SwitchMaskScreen(0), 0);
  EXPECT_EQ((std::vector<int32_t>{r.left, r.top, r.right, r.bottom}), (std::vector<int32_t>{100, 50, 740, 530}));
}

TEST_F(MaskScreen, TheRenderTargetIsTheWorkSurfaceWhileTheMaskIsSwitchedOn) {
  g_Renderer3DStart = InitializeDirect3D;
  for (int32_t target : {DRAW_SCREEN_FRONT, DRAW_SCREEN_BACK}) {
    SCOPED_TRACE(target);
    Start(1, 32);
    const PlatD3DDevice device = CurrentDevice3D();
    ASSERT_NE(device, 0u);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
    ASSERT_EQ(BuildMaskScreen(1), 0);
    PlatDDSurface renderTarget = 0;
    ASSERT_EQ(SwitchMaskScreen(1), 0);
    PlatD3DDeviceGetRenderTarget(device, &renderTarget);
    EXPECT_EQ(renderTarget, GetMaskSurface());
    ASSERT_EQ(SwitchMaskScreen(0), 0);
    PlatD3DDeviceGetRenderTarget(device, &renderTarget);
    EXPECT_EQ(renderTarget, g_ScreenState.targetSurface);
    EndRound();
  }
}

TEST_F(MaskScreen, TheMaskIsClearedInRowsOfTheWidthRoundedUpToFour) {
  struct Case {
    uint32_t width, pitch;
  };
  const Case cases[] = {{637, 640}, {638, 640}, {639, 640}, {640, 640}, {641, 644}};
  for (int32_t mode : {0, 1}) {
    Start(1, 32, mode);
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << " width " << c.width);
      g_ScreenState.width = c.width;
      ASSERT_EQ(BuildMaskScreen(1), 0);
      int32_t pitch = 0, width = 0, height = 0;
      const uint8_t* mask = MaskBytesForTest(&pitch, &width, &height);
      ASSERT_NE(mask, nullptr);
      EXPECT_EQ(pitch, int32_t(c.pitch));
      EXPECT_EQ(width, int32_t(c.width));
      EXPECT_EQ(height, 480);
      EXPECT_EQ(std::vector<uint8_t>(mask, mask + size_t(pitch) * height), std::vector<uint8_t>(size_t(pitch) * height, 0));
      View work = Work();
      EXPECT_EQ(work.width, int32_t(c.width));
      EXPECT_EQ(work.height, 480);
      Close(work);
      ReleaseMaskScreen();
      EXPECT_EQ(MaskBytesForTest(nullptr, nullptr, nullptr), nullptr);
      EXPECT_EQ(GetMaskSurface(), 0u);
      EXPECT_EQ(IsMemImgValid(GetMaskMemImg()), 0);
    }
    EndRound();
  }
}

TEST_F(MaskScreen, AMaskThatCannotBeHadIsReportedAndNeverUsed) {
  StartMasked(SURFACE, 0, 0);
  // The rebuild releases the mask and makes it again; this time its memory is refused.
  ReleaseMaskScreen();
  PlatSetAllocFailHook([](size_t size) { return size >= 640 * 480 && size < 640 * 480 + 256 ? 1 : 0; });
  EXPECT_EQ(RecreateMaskScreen(), 0);
  EXPECT_EQ(BuildMaskScreen(1), -1);
  PlatSetAllocFailHook(nullptr);
  EXPECT_TRUE(Logged("マスク用のメモリの確保に失敗しました"));
  EXPECT_EQ(MaskBytesForTest(nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(IsMaskedDrawOn(), 0);
  EXPECT_EQ(SwitchMaskScreen(1), -1);
  EXPECT_EQ(GetMaskSurface(), 0u);
  // Drawing goes on unmasked.
  BracketedDraw({0, 0, 640, 480}, 3);
  View v = Target();
  EXPECT_EQ(v.Get(639, 479), PatternPixel(v.format, 639, 479, 3));
  Close(v);
  // Made again once memory is there.
  EXPECT_EQ(RecreateMaskScreen(), 0);
  EXPECT_EQ(IsMaskedDrawOn(), 1);
}

TEST_F(MaskScreen, ARectangleThatClipsToNothingChangesNoPixel) {
  const Rect rects[] = {{300, 300, 400, 400}, {-50, -50, 50, 50}, {150, 150, 150, 170}, {180, 180, 120, 120}};
  for (Road road : {SOFTWARE, SURFACE}) {
    SCOPED_TRACE(RoadName(road));
    StartMasked(road, 0, 0, 320, 240);
    SetMask(ALL_ZERO);
    // The work copy holds the first pattern everywhere; the target gets the second.
    View v = Target();
    FillPattern(v, {0, 0, W, H}, 1);
    Close(v);
    ASSERT_EQ(BeginMaskedDraw(0, 0, W, H), 0);
    v = Target();
    FillPattern(v, {0, 0, W, H}, 2);
    Close(v);
    const std::vector<uint32_t> drawn = TargetPixels();
    SetClipArea(100, 100, 200, 200);
    for (const Rect& r : rects) {
      SCOPED_TRACE(testing::Message() << r.left << "," << r.top << "," << r.right << "," << r.bottom);
      EXPECT_EQ(EndMaskedDraw(r.left, r.top, r.right, r.bottom), 0);
      EXPECT_TRUE(TargetPixels() == drawn);
    }
    EndRound();
  }
}

TEST_F(MaskScreen, ADrawStaysWhereTheMaskAllowsItAndIsPutBackElsewhere) {
  struct Case {
    MaskPattern pattern;
    int32_t reverse;
  };
  // Reverse 0 with an all-zero mask puts back every pixel of the draw.
  const Case cases[] = {{ALL_ZERO, 0}, {ALL_ZERO, 1}, {CHECKER, 0}, {CHECKER, 1}, {GROUPS, 0}, {GROUPS, 1}};
  const Rect r{37, 21, 301, 250};
  for (Road road : {SOFTWARE, SURFACE, IMAGE_VIDEO_MASK, IMAGE_SYSTEM_MASK}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << RoadName(road) << ", pattern " << c.pattern << ", reverse " << c.reverse);
      StartMasked(road, c.reverse, 0, 320, 256);
      SetMask(c.pattern);
      View v = Target();
      FillPattern(v, {0, 0, W, H}, 1);
      Close(v);
      const std::vector<uint32_t> before = BracketedDraw(r, 2);
      EXPECT_EQ(WrongPixels(r, before, 2,
                            [&](int32_t x, int32_t y) { return (MaskByte(c.pattern, x, y) != 0) != (c.reverse != 0); }),
                0);
      EndRound();
    }
  }
}

// The mask is read a group of four bytes at a time only inside the rectangle: rectangles
// of widths 1 to 7 at every alignment, on the last rows and against the right edge, where
// a group from an unaligned edge would reach past the rectangle and past the mask.
TEST_F(MaskScreen, NarrowRectanglesOnTheLastRowsChangeOnlyTheirOwnPixels) {
  // A screen as wide as its mask rows: the last row's bytes end the mask.
  constexpr int32_t kW = 40, kH = 8;
  std::vector<Rect> rects;
  for (int32_t width = 1; width <= 7; width++) {
    for (int32_t align = 0; align < 4; align++)
      rects.push_back({kW - 12 + align, kH - 3, kW - 12 + align + width, kH});
    rects.push_back({kW - width, kH - 1, kW, kH});
  }
  for (Road road : {SOFTWARE, SURFACE}) {
    for (int32_t reverse : {0, 1}) {
      StartMasked(road, reverse, 0x1234, kW, kH);
      SetMask(GROUPS);
      View v = Target();
      FillPattern(v, {0, 0, W, H}, 1);
      Close(v);
      ASSERT_EQ(BeginMaskedDraw(0, 0, W, H), 0);
      uint32_t seed = 2;
      for (const Rect& r : rects) {
        SCOPED_TRACE(testing::Message() << RoadName(road) << ", reverse " << reverse << ", " << r.left << "-"
                                        << r.right << " rows " << r.top << "-" << r.bottom);
        View work = Work();
        std::vector<uint32_t> wantWork = work.All();
        Close(work);
        std::vector<uint32_t> wantTarget = BracketedDraw(r, ++seed);
        const ColorFormat* format = TargetFormat();
        for (int32_t y = r.top; y < r.bottom; y++)
          for (int32_t x = r.left; x < r.right; x++) {
            const size_t at = size_t(y) * W + x;
            const bool allowed = (MaskByte(GROUPS, x, y) != 0) != (reverse != 0);
            wantWork[at] = allowed ? 0x1234 : wantTarget[at];
            if (allowed) wantTarget[at] = PatternPixel(format, x, y, seed);
          }
        EXPECT_TRUE(TargetPixels() == wantTarget);
        work = Work();
        EXPECT_TRUE(work.All() == wantWork);
        Close(work);
      }
      EndRound();
    }
  }
}

// The mask and the work copy are the screen's size: of a larger target, only the part they
// cover is masked, and nothing past them is read or written.
TEST_F(MaskScreen, ATargetLargerThanTheScreenIsMaskedWhereTheMaskReaches) {
  const Rect r{20, 10, 96, 64};
  for (Road road : {SOFTWARE, IMAGE_VIDEO_MASK, IMAGE_SYSTEM_MASK}) {
    SCOPED_TRACE(RoadName(road));
    StartMasked(road, 0, 0, 64, 32, 96, 64);
    ASSERT_EQ(W, 96);
    SetMask(ALL_ZERO);
    View v = Target();
    FillPattern(v, {0, 0, W, H}, 1);
    Close(v);
    const std::vector<uint32_t> before = BracketedDraw(r, 2);
    EXPECT_EQ(WrongPixels(r, before, 2, [](int32_t x, int32_t y) { return x >= 64 || y >= 32; }), 0);
    EndRound();
  }
}

TEST_F(MaskScreen, ARebuildMakesTheMaskAgainAndTheEndReleasesIt) {
  StartMasked(SURFACE, 0, 0);
  SetMask(CHECKER);
  ASSERT_EQ(RebuildGraphicsSystem(), 0);
  int32_t pitch = 0, width = 0, height = 0;
  const uint8_t* mask = MaskBytesForTest(&pitch, &width, &height);
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask[1], 0);  // made afresh
  EXPECT_NE(GetMaskSurface(), 0u);
  EXPECT_EQ(IsMaskScreenMade(), 1);
  EXPECT_EQ(IsMaskScreenEnabled(), 1);
  EXPECT_EQ(IsMaskedDrawOn(), 1);

  EXPECT_EQ(EndMaskScreen(), 0);
  EXPECT_EQ(MaskBytesForTest(nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetMaskSurface(), 0u);
  EXPECT_EQ(IsMaskScreenMade(), 0);
  EXPECT_EQ(IsMaskScreenEnabled(), 0);
  EXPECT_EQ(IsMaskedDrawOn(), 0);
}

TEST_F(MaskScreen, OnlyALiveRecordOfTheType40TableIsDeleted) {
  const int32_t blocks = GetTrackedBlockCount();
  Type40Record* r = Type40RecordForTest(5);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(Type40RecordForTest(TYPE40_SLOTS), nullptr);
  *r = {.check = 77, .buffer = TrackedAlloc(16, "", 0), .inUse = 1};
  struct Case {
    const char* what;
    int32_t handle;
  };
  const Case refused[] = {
      {"negative", -1},
      {"another type", MakeHandle(HANDLE_TYPE_GRAPH, 77, 5)},
      {"slot 512", MakeHandle(HANDLE_TYPE_TABLE512, 77, 512)},
      {"slot not in use", MakeHandle(HANDLE_TYPE_TABLE512, 77, 6)},
      {"check mismatch", MakeHandle(HANDLE_TYPE_TABLE512, 78, 5)},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DeleteType40Handle(c.handle), -1);
    EXPECT_EQ(r->inUse, 1);
  }
  EXPECT_EQ(DeleteType40Handle(MakeHandle(HANDLE_TYPE_TABLE512, 77, 5)), 0);
  EXPECT_EQ(r->inUse, 0);
  EXPECT_EQ(r->buffer, nullptr);
  EXPECT_EQ(r->check, 0u);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
  EXPECT_EQ(DeleteType40Handle(MakeHandle(HANDLE_TYPE_TABLE512, 77, 5)), -1);

  // All: every record in use, first and last slot included.
  for (int32_t slot : {0, 200, TYPE40_SLOTS - 1})
    *Type40RecordForTest(slot) = {.check = uint32_t(slot % 2048), .buffer = TrackedAlloc(8, "", 0), .inUse = 1};
  EXPECT_EQ(DeleteAllType40Handles(), 0);
  for (int32_t slot : {0, 200, TYPE40_SLOTS - 1}) EXPECT_EQ(Type40RecordForTest(slot)->inUse, 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}
