// The draw target and the work-image draws on the headless display: the target's surface,
// clipper, area and camera, the fallback of a failed change, the direct blit, the roads of
// a software draw (through work surface 1, converted, in place, the source through work
// surface 2) compared bit for bit with the same draw made on software images, failed locks,
// and the target kept across a rebuild.
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/lights.h"
#include "engine/pixel/convert.h"
#include "engine/softimage/blit.h"
#include "engine/state/state.h"
#include "engine/system/placement.h"
#include "graphics/drawfixture.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

class DrawTarget : public DrawFixture {
 protected:
  void TearDown() override {
    EndWorkDraw();
    DrawFixture::TearDown();
  }

  // The draw of the source piece at (x, y) of the target piece, made on software images
  // in the renderer's format and written back into the target's sheet where it drew.
  static Pixels Expected(const Pixels& sheet, const Rect& target, const Pixels& from, const Rect& piece, int32_t x,
                         int32_t y, int32_t trans) {
    const int32_t kind = QueryScreenDepth() == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888;
    const ColorFormat* view = GetMemImgColorFormat(kind, 0, 0);
    const int32_t tw = target.right - target.left, th = target.bottom - target.top;
    const int32_t pw = piece.right - piece.left, ph = piece.bottom - piece.top;
    MEMIMG dst{}, src{};
    EXPECT_EQ(CreateMemImg(&dst, tw, th, -1, 0, kind, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(CreateMemImg(&src, pw, ph, -1, ColorToPixelValue(view, 0, 0, 0, 255), kind, 0, 0, 0, nullptr), 0);
    ConvertBlitRect(dst.pixels, dst.data->pitch, view, sheet.bytes.data(), sheet.pitch, sheet.format, nullptr, 0,
                    nullptr, 0, 0, &target, 0, 0, 0, 0, 0, 0, 0, 0);
    ConvertBlitRect(src.pixels, src.data->pitch, view, from.bytes.data(), from.pitch, from.format, nullptr, 0,
                    nullptr, 0, 0, &piece, 0, 0, 0, 0, 0, 0, 0, 0);
    BlitMemImg(&dst, &src, x, y, trans, nullptr);
    Rect drawn{x, y, x + pw, y + ph};
    ClipRect(&drawn, &g_DrawState.drawArea);
    Pixels out = sheet;
    ConvertBlitRect(out.bytes.data(), out.pitch, sheet.format, dst.pixels, dst.data->pitch, view, nullptr, 0, nullptr,
                    target.left + drawn.left, target.top + drawn.top, &drawn, 0, 0, 0, 0, 0, 0, 0, 0);
    ReleaseMemImg(&dst);
    ReleaseMemImg(&src);
    return out;
  }
};

bool SameRect(const Rect& a, const Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

// ---- the target -----------------------------------------------------------------------

TEST_F(DrawTarget, SelectingTheBackScreenAgainTouchesTheClipperOnlyInAWindow) {
  for (int windowed : {0, 1}) {
    SCOPED_TRACE(windowed);
    StartOn(HeadlessDesktop(32), windowed);
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
    PlatDDrawFakeLogCalls(1);
    PlatDDrawFakeClearCalls();
    ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
    EXPECT_EQ(CallCount("SetClipper"), windowed);
    EXPECT_EQ(g_ScreenState.targetSurface, g_ScreenState.back);
    EXPECT_EQ(g_DrawState.drawTarget, DRAW_SCREEN_BACK);
    PlatDDrawFakeLogCalls(0);
    EndGraphics();
  }
}

TEST_F(DrawTarget, TheStartAndTheResetLeaveTheFrontScreenSelected) {
  Start(1, 32);
  EXPECT_EQ(g_DrawState.drawTarget, DRAW_SCREEN_FRONT);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  ASSERT_EQ(ResetDrawSettings(), 0);
  EXPECT_EQ(g_DrawState.drawTarget, DRAW_SCREEN_FRONT);
  EXPECT_EQ(g_ScreenState.targetSurface, g_ScreenState.primary);
  // Drawing straight into the window: the target lies at the client area on the desktop.
  PlatRect client{};
  GetClientRectBelowToolbar(&client);
  EXPECT_TRUE(SameRect(g_DrawState.targetRect, {client.left, client.top, client.right, client.bottom}));
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  EXPECT_TRUE(SameRect(g_DrawState.targetRect, {0, 0, 0, 0}));
}

TEST_F(DrawTarget, AGraphOfTheScreensSizeKeepsTheAreaAnotherResetsIt) {
  Start(0, 32);
  const int32_t big = MakeBlankGraph(640, 480, 1), small = MakeBlankGraph(32, 32, 1);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  SetClipArea(10, 20, 300, 200);
  ASSERT_EQ(SetDrawTargetCore(big), 0);
  EXPECT_TRUE(SameRect(g_DrawState.drawArea, {10, 20, 300, 200}));
  EXPECT_EQ(g_ScreenState.targetSurface, RecordOf(big)->surface);
  EXPECT_EQ(g_DrawState.targetInVideoMemory, 1);
  ASSERT_EQ(SetDrawTargetCore(small), 0);
  EXPECT_TRUE(SameRect(g_DrawState.drawArea, {0, 0, 32, 32}));
  EXPECT_EQ(g_DrawState.targetWidth, 32);
  EXPECT_EQ(g_DrawState.targetHeight, 32);
}

TEST_F(DrawTarget, TheCameraLooksAtTheTargetFromStraightInFront) {
  Start(0, 32);
  const int32_t graph = MakeBlankGraph(100, 51, 1);
  ASSERT_EQ(SetDrawTargetCore(graph), 0);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  // The view matrix's fourth row is minus the eye for these axes.
  const float* row = g_DrawState.view.m[3];
  EXPECT_FLOAT_EQ(-row[0], 320.0f);
  EXPECT_FLOAT_EQ(-row[1], 240.0f);
  EXPECT_FLOAT_EQ(-row[2], -(240 * 1.7320509f));
  EXPECT_FLOAT_EQ(g_DrawState.world.m[3][3], 1.0f);
  EXPECT_FLOAT_EQ(g_DrawState.world.m[0][1], 0.0f);
  // One unit at z = 0 is one pixel, the target's middle the screen's.
  const Matrix4 &v = g_DrawState.view, &p = g_DrawState.projection;
  for (auto [x, y] : {std::pair{0.0f, 0.0f}, {640.0f, 480.0f}, {160.0f, 360.0f}}) {
    float eye[4], clip[4];
    for (int c = 0; c < 4; c++) eye[c] = x * v.m[0][c] + y * v.m[1][c] + v.m[3][c];
    for (int c = 0; c < 4; c++)
      clip[c] = eye[0] * p.m[0][c] + eye[1] * p.m[1][c] + eye[2] * p.m[2][c] + eye[3] * p.m[3][c];
    EXPECT_NEAR(clip[0] / clip[3] * 320.0f, x - 320.0f, 0.01f);
    EXPECT_NEAR(clip[1] / clip[3] * 240.0f, y - 240.0f, 0.01f);
  }
}

TEST_F(DrawTarget, AFailedChangeFallsBackOnceAndNeverRoundAgain) {
  Start(0, 32);
  const int32_t graph = MakeBlankGraph(64, 64, 1), freed = MakeBlankGraph(16, 16, 1);
  FreeGraph(freed, 0);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  SetClipArea(5, 5, 50, 50);

  // Not a graph any more: refused before anything changes.
  EXPECT_EQ(SetDrawTargetCore(freed), -1);
  EXPECT_EQ(g_DrawState.drawTarget, DRAW_SCREEN_BACK);
  EXPECT_TRUE(SameRect(g_DrawState.drawArea, {5, 5, 50, 50}));

  // A graph without its surface: the change fails and the back screen is selected again.
  ReleaseSurfaceObjects(PieceOf(graph)->surfaceData);
  EXPECT_EQ(SetDrawTargetCore(graph), -1);
  EXPECT_EQ(g_DrawState.drawTarget, DRAW_SCREEN_BACK);
  EXPECT_EQ(g_ScreenState.targetSurface, g_ScreenState.back);
  EXPECT_TRUE(SameRect(g_DrawState.drawArea, {5, 5, 50, 50}));
  EXPECT_EQ(g_DrawState.targetWidth, 640);

  // Without screen surfaces every selection fails, and the change still ends.
  ReleaseScreenSurfaces();
  EXPECT_EQ(SetDrawTargetCore(DRAW_SCREEN_FRONT), -1);
  EXPECT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), -1);
  EXPECT_EQ(g_ScreenState.targetSurface, 0u);
  const Rect box{0, 0, 10, 10};
  EXPECT_EQ(BeginWorkDraw(nullptr, 0, nullptr, &box, 1, nullptr, nullptr), -1);
  EndWorkDraw();
}

TEST_F(DrawTarget, TheTargetIsTheSameAfterARebuild) {
  Start(1, 32);
  const int32_t sheet = PatternGraph(64, 48, 1, VIDEO);
  const int32_t cell = CreateSubGraph(16, 8, 32, 24, sheet);
  ASSERT_EQ(SetDrawTargetCore(cell), 0);
  SetClipArea(2, 3, 20, 21);
  ASSERT_EQ(RebuildGraphicsSystem(), 0);
  EXPECT_EQ(g_DrawState.drawTarget, cell);
  EXPECT_NE(g_ScreenState.targetSurface, 0u);
  EXPECT_EQ(g_ScreenState.targetSurface, RecordOf(cell)->surface);
  EXPECT_EQ(g_ScreenState.targetOffsetX, 16);
  EXPECT_EQ(g_ScreenState.targetOffsetY, 8);
  EXPECT_TRUE(SameRect(g_DrawState.drawArea, {2, 3, 20, 21}));
}

// ---- work draws -----------------------------------------------------------------------

TEST_F(DrawTarget, ADrawOutsideTheAreaGetsMinusOneAndTouchesNothing) {
  Start(0, 32);
  const int32_t target = PatternGraph(64, 48, 2, VIDEO), from = PatternGraph(16, 16, 3, VIDEO);
  ASSERT_EQ(SetDrawTargetCore(target), 0);
  SetClipArea(10, 10, 30, 30);
  SetBlendState(BLEND_MIX, 128);
  const Pixels before = Read(target);
  PlatDDrawFakeLogCalls(1);
  const Rect source{0, 0, 16, 16};
  for (Rect box : {Rect{30, 10, 46, 26}, Rect{-16, 0, 0, 16}, Rect{12, 30, 28, 46}}) {
    EXPECT_EQ(BeginWorkDraw(PieceOf(from), 0, &source, &box, 0, nullptr, nullptr), -1);
    EXPECT_EQ(g_WorkDraw.destination, nullptr);
    EndWorkDraw();
  }
  EXPECT_EQ(Road(), "");
  PlatDDrawFakeLogCalls(0);
  EXPECT_EQ(Read(target).bytes, before.bytes);
  EXPECT_EQ(g_DrawState.drawTarget, target);
}

TEST_F(DrawTarget, APlainDrawInTheSameMemoryIsOfferedAsADirectBlit) {
  Start(0, 32);
  const int32_t from = PatternGraph(16, 16, 4, VIDEO);
  const int32_t cell = CreateSubGraph(4, 2, 8, 8, from);
  ASSERT_EQ(SetDrawTargetCore(DRAW_SCREEN_BACK), 0);
  SetBlendState(BLEND_MIX, 255);
  PlatDDrawFakeLogCalls(1);
  const Rect source{1, 1, 7, 7}, box{100, 50, 106, 56};
  ASSERT_EQ(BeginWorkDraw(PieceOf(cell), 1, &source, &box, 0, nullptr, nullptr), 0);
  const WorkDrawState& w = g_WorkDraw;
  ASSERT_EQ(w.directBlit, 1);
  EXPECT_EQ(w.blitSource, RecordOf(cell)->surface);
  EXPECT_EQ(w.blitDestination, g_ScreenState.back);
  EXPECT_EQ(w.blitSourceRect.left, 5);
  EXPECT_EQ(w.blitSourceRect.bottom, 9);
  EXPECT_EQ(w.blitDestinationRect.left, 100);
  EXPECT_EQ(w.blitDestinationRect.top, 50);
  EXPECT_EQ(PlatDDSurfaceBltFast(w.blitDestination, w.blitDestinationRect.left, w.blitDestinationRect.top,
                                 w.blitSource, &w.blitSourceRect, PLAT_DDBLTFAST_SRCCOLORKEY),
            PLAT_DD_OK);
  EXPECT_EQ(Road(), "BltFast");
  PlatDDrawFakeLogCalls(0);

  // Anything the blit cannot do takes the software road.
  for (auto change : {+[] { SetBlendState(BLEND_MIX, 254); }, +[] { SetBrightness(255, 254, 255); }}) {
    SetBlendState(BLEND_COPY, 0);
    SetBrightness(255, 255, 255);
    change();
    ASSERT_EQ(BeginWorkDraw(PieceOf(cell), 1, &source, &box, 0, nullptr, nullptr), 0);
    EXPECT_EQ(g_WorkDraw.directBlit, 0);
    EXPECT_NE(g_WorkDraw.destination, nullptr);
    EndWorkDraw();
  }
}

TEST_F(DrawTarget, WorkDrawsMatchTheSameDrawOnSoftwareImages) {
  struct Case {
    const char* name;
    PlatDisplayMode desktop;
    Memory targetMemory, sourceMemory;
    int32_t mode, param, trans;
    // The target: the whole graph, or a piece at (16, 24) of a 96 x 80 sheet.
    bool sheet;
    int32_t x, y;
    const char* road;
    int32_t throughWork1, convert, sourceCopied;
  };
  const PlatDisplayMode d32 = HeadlessDesktop(32), d16 = HeadlessDesktop(16), d555 = Desktop555();
  const Case cases[] = {
      {"video target, blending", d32, VIDEO, SYSTEM, BLEND_MIX, 128, 0, false, 5, 3,
       "BltFast Lock Lock Unlock Unlock BltFast", 1, 0, 0},
      {"video target, 5:6:5", d16, VIDEO, SYSTEM, BLEND_ADD, 90, 1, false, 20, 9,
       "BltFast Lock Lock Unlock Unlock BltFast", 1, 0, 0},
      {"5:5:5 display", d555, VIDEO, VIDEO, BLEND_MIX, 128, 1, false, 7, 11,
       "BltFast BltFast Lock Lock Unlock Unlock BltFast", 1, 1, 1},
      {"system-memory target", d32, SYSTEM, SYSTEM, BLEND_SUBTRACT, 200, 0, false, 30, 20, "Lock Lock Unlock Unlock",
       0, 0, 0},
      {"video source", d32, VIDEO, VIDEO, BLEND_COPY, 0, 1, false, 12, 0, "BltFast Lock Lock Unlock Unlock", 0, 0, 1},
      {"software-image cell of a sheet as source", d32, SYSTEM, IMAGE, BLEND_MIX, 77, 1, false, 3, 4,
       "Lock Unlock", 0, 0, 0},
      {"sheet, top-left", d32, VIDEO, SYSTEM, BLEND_MIX, 100, 1, true, -8, -5,
       "BltFast Lock Lock Unlock Unlock BltFast", 1, 0, 0},
      {"sheet, top-right", d32, VIDEO, SYSTEM, BLEND_MIX, 100, 1, true, 40, -5,
       "BltFast Lock Lock Unlock Unlock BltFast", 1, 0, 0},
      {"sheet, bottom-left", d32, VIDEO, SYSTEM, BLEND_MIX, 100, 1, true, -8, 25,
       "BltFast Lock Lock Unlock Unlock BltFast", 1, 0, 0},
      {"sheet, bottom-right", d32, VIDEO, SYSTEM, BLEND_MIX, 100, 1, true, 40, 25,
       "BltFast Lock Lock Unlock Unlock BltFast", 1, 0, 0},
      {"system-memory sheet, bottom-right", d32, SYSTEM, VIDEO, BLEND_ADD, 255, 0, true, 41, 26,
       "BltFast Lock Lock Unlock Unlock", 0, 0, 1},
      {"software-image sheet, top-left", d16, IMAGE, SYSTEM, BLEND_MIX, 128, 1, true, -9, -4, "Lock Unlock", 0, 0, 0},
      {"software-image sheet, bottom-right", d32, IMAGE, IMAGE, BLEND_MIX, 128, 0, true, 40, 25, "", 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartOn(c.desktop, 1);
    int32_t target = c.sheet ? PatternGraph(96, 80, 5, c.targetMemory) : PatternGraph(48, 32, 5, c.targetMemory);
    if (c.sheet) target = CreateSubGraph(16, 24, 48, 32, target);
    // A source that is a cell at (0, 0) of a larger sheet for the software-image sources.
    int32_t from = PatternGraph(c.sourceMemory == IMAGE ? 40 : 16, 16, 6, c.sourceMemory);
    if (c.sourceMemory == IMAGE) from = CreateSubGraph(0, 0, 16, 16, from);
    ASSERT_GE(target, 0);
    ASSERT_GE(from, 0);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
    SetBlendState(c.mode, c.param);
    const Pixels sheet = Read(target), source = Read(from);
    const Pixels expected = Expected(sheet, PieceRect(target), source, PieceRect(from), c.x, c.y, c.trans);

    PlatDDrawFakeLogCalls(1);
    PlatDDrawFakeClearCalls();
    const Rect piece{0, 0, 16, 16}, box{c.x, c.y, c.x + 16, c.y + 16};
    ASSERT_EQ(BeginWorkDraw(PieceOf(from), 0, &piece, &box, 0, nullptr, nullptr), 0);
    const WorkDrawState& w = g_WorkDraw;
    EXPECT_EQ(w.directBlit, 0);
    EXPECT_EQ(w.throughWork1, c.throughWork1);
    EXPECT_EQ(w.convert, c.convert);
    EXPECT_EQ(w.sourceCopied, c.sourceCopied);
    ASSERT_NE(w.destination, nullptr);
    ASSERT_NE(w.source, nullptr);
    BlitMemImg(w.destination, w.source, c.x, c.y, c.trans, nullptr);
    EXPECT_EQ(EndWorkDraw(), 0);
    EXPECT_EQ(Road(), c.road);
    PlatDDrawFakeLogCalls(0);

    EXPECT_TRUE(Read(target).bytes == expected.bytes);
    if (c.targetMemory == IMAGE) {
      EXPECT_EQ(RecordOf(target)->image.data->runMapValid, 0);
    }
    EXPECT_TRUE(Read(from).bytes == source.bytes) << "the source is left as it was";
    EndGraphics();
    RemoveAllSurfaceData();
  }
}

TEST_F(DrawTarget, ColoursComeBackInTheViewsFormat) {
  StartOn(Desktop555(), 1);
  const int32_t target = PatternGraph(32, 32, 7, VIDEO);
  ASSERT_EQ(SetDrawTargetCore(target), 0);
  SetBlendState(BLEND_MIX, 128);
  uint32_t red = PackScreenColorCore(255, 0, 0), green = PackScreenColorCore(0, 255, 0);
  EXPECT_EQ(red, 0xFC00u);  // 5:5:5 with its no-channel bit
  const Rect box{4, 4, 12, 12};
  ASSERT_EQ(BeginWorkDraw(nullptr, 0, nullptr, &box, 1, &red, &green), 0);
  EXPECT_EQ(g_WorkDraw.throughWork1, 1);
  EXPECT_EQ(red, 0xF800u);
  EXPECT_EQ(green, 0x07E0u);
  EndWorkDraw();

  // A plain box takes its colour as the display packs it, in place; one with brightness
  // is scaled in the renderer's format, so it is converted too.
  SetBlendState(BLEND_COPY, 0);
  for (int32_t bright : {255, 128}) {
    SetBrightness(255, bright, 255);
    uint32_t colour = PackScreenColorCore(255, 0, 0);
    ASSERT_EQ(BeginWorkDraw(nullptr, 0, nullptr, &box, 1, &colour, nullptr), 0);
    EXPECT_EQ(g_WorkDraw.throughWork1, bright == 255 ? 0 : 1);
    EXPECT_EQ(colour, bright == 255 ? 0xFC00u : 0xF800u);
    EndWorkDraw();
  }
}

TEST_F(DrawTarget, AFailedLockDrawsNothingAndLeavesNothingLocked) {
  struct Case {
    const char* name;
    Memory targetMemory;
  };
  for (const Case& c : {Case{"the target's lock", VIDEO}, Case{"the source's lock", IMAGE}}) {
    SCOPED_TRACE(c.name);
    Start(0, 32);
    const int32_t target = PatternGraph(48, 32, 8, c.targetMemory), from = PatternGraph(16, 16, 9, SYSTEM);
    ASSERT_EQ(SetDrawTargetCore(target), 0);
    SetBlendState(BLEND_MIX, 128);
    const Pixels before = Read(target);
    const Rect piece{0, 0, 16, 16}, box{3, 3, 19, 19};
    PlatDDrawFakeFailNext("Lock", 1, PLAT_DDERR_SURFACEBUSY);
    EXPECT_EQ(BeginWorkDraw(PieceOf(from), 0, &piece, &box, 0, nullptr, nullptr), 0);
    EXPECT_EQ(g_WorkDraw.destination, nullptr);
    EXPECT_EQ(g_WorkDraw.source, nullptr);
    EXPECT_EQ(EndWorkDraw(), 0);
    EXPECT_TRUE(Read(target).bytes == before.bytes);
    // Nothing was left locked: both surfaces lock again.
    for (int32_t graph : {target, from}) {
      const PlatDDSurface surface = RecordOf(graph)->surface;
      if (!surface) continue;
      PlatDDSurfaceDesc desc{};
      desc.size = sizeof desc;
      EXPECT_EQ(PlatDDSurfaceLock(surface, nullptr, &desc, 0), PLAT_DD_OK);
      PlatDDSurfaceUnlock(surface, nullptr);
    }
    EndGraphics();
    RemoveAllSurfaceData();
  }
}

TEST_F(DrawTarget, ABoxThatDoesNotFitTheWorkSurfaceIsRefused) {
  Start(0, 32);
  // Taller than the screen: its lower part has no room in work surface 1.
  const int32_t target = MakeBlankGraph(64, 600, 1);
  ASSERT_EQ(SetDrawTargetCore(target), 0);
  SetBlendState(BLEND_MIX, 128);
  const Rect low{0, 500, 16, 516}, high{0, 400, 16, 416};
  EXPECT_EQ(BeginWorkDraw(nullptr, 0, nullptr, &low, 1, nullptr, nullptr), -1);
  EndWorkDraw();
  ASSERT_EQ(BeginWorkDraw(nullptr, 0, nullptr, &high, 1, nullptr, nullptr), 0);
  EXPECT_EQ(g_WorkDraw.throughWork1, 1);
  EXPECT_NE(g_WorkDraw.destination, nullptr);
  EndWorkDraw();
}
