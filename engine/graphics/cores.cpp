// The draw cores: 2D surfaces, graphs plain, stretched and on triangles, boxes, lines, the
// clear of the target and the copy of the target into a graph. A software-rendered screen
// is drawn straight into the target image; a DirectDraw screen through the work-image
// bracket (drawtarget.h), which may hand a plain draw to one BltFast.
#include "engine/graphics/cores.h"

#include "engine/base/strutil.h"
#include "engine/graphics/corestest.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/present.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/convert.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/blit.h"
#include "engine/softimage/boxline.h"
#include "engine/softimage/imgconvert.h"
#include "engine/softimage/scaledblit.h"
#include "engine/softimage/triangle.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"

#include <algorithm>
#include <climits>

namespace {

void (*g_workDrawWatch)(const WorkDrawOpening*) = nullptr;

// Every core needs the display objects, or the mode that runs without them.
bool CanDraw() { return g_ScreenState.ddraw != 0 || g_ScreenState.noDirectDraw; }

bool SoftwarePath() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

// The image a software-path core draws into, or null.
MEMIMG* SoftwareTarget() {
  MEMIMG* t = g_ScreenState.targetImage;
  return t && IsMemImgValid(t) ? t : nullptr;
}

// A target image drawn into without the bracket no longer matches its run map and its
// premultiplied copy.
void SoftwareTargetDrawn() {
  if (MEMIMG* t = SoftwareTarget()) {
    t->data->runMapValid = 0;
    t->data->premultipliedValid = 0;
  }
}

int32_t Clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

Rect RectOf(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  return {Clamp32(left), Clamp32(top), Clamp32(right), Clamp32(bottom)};
}

const Surface2DRecord* FirstPiece(const GraphRecord* graph) {
  return graph && graph->surfaceCount >= 1 ? GetSurface2D(graph->surfaces[0]) : nullptr;
}

// The piece's pixels as a software image: its record's image when it covers all of it,
// else a view of its rectangle made in view (released by the caller); null when the
// record holds no image.
MEMIMG* PieceImage(const Surface2DRecord* piece, SurfaceData* record, MEMIMG* view) {
  if (!IsMemImgValid(&record->image)) return nullptr;
  if (piece->sourceX == 0 && piece->sourceY == 0 && piece->width == record->width &&
      piece->height == record->height)
    return &record->image;
  DeriveMemImg(view, &record->image, piece->sourceX, piece->sourceY, piece->width, piece->height);
  return IsMemImgValid(view) ? view : nullptr;
}

// Opens the work draw of a DirectDraw-path core, once the open scene and the pending
// vertices are out of the way; false when the bracket refused.
bool OpenWorkDraw(const Surface2DRecord* piece, int32_t blitAllowed, const Rect* source, const Rect* box,
                  int32_t covers, uint32_t* colour) {
  g_Renderer3D.endSceneCurrent();
  g_Renderer3D.flushCurrentVertexBatch();
  if (g_workDrawWatch) {
    const WorkDrawOpening o{blitAllowed, source ? 1 : 0, source ? *source : Rect{}, *box, covers};
    g_workDrawWatch(&o);
  }
  return BeginWorkDraw(piece, blitAllowed, source, box, covers, colour, nullptr) == 0;
}

// The work draw has somewhere to draw into (and something to draw from, for a piece).
bool WorkDrawReady(bool withSource) {
  return g_WorkDraw.destination && (!withSource || g_WorkDraw.source);
}

// The software path of a draw of a piece: draw(target image, the piece's image) straight
// into the target image; 0.
template <typename Draw>
int DrawPieceInTargetImage(const Surface2DRecord* piece, SurfaceData* record, Draw draw) {
  MEMIMG view{};
  draw(SoftwareTarget(), PieceImage(piece, record, &view));
  ReleaseMemImg(&view);
  SoftwareTargetDrawn();
  return 0;
}

// The DirectDraw path of a draw of a piece that is no plain blit: draw(work image, work
// source) inside the bracket; 0, or -1 when the bracket refused.
template <typename Draw>
int DrawPieceInWorkImage(const Surface2DRecord* piece, const Rect& source, const Rect& box, Draw draw) {
  if (!OpenWorkDraw(piece, 0, &source, &box, 0, nullptr)) return -1;
  if (WorkDrawReady(true)) draw(g_WorkDraw.destination, g_WorkDraw.source);
  EndWorkDraw();
  return 0;
}

}  // namespace

void SetWorkDrawWatchForTest(void (*watch)(const WorkDrawOpening*)) { g_workDrawWatch = watch; }

// ---- surfaces and graphs --------------------------------------------------------------------

int DrawSurface2DCore(int32_t x, int32_t y, int32_t surface2D, int32_t transparent) {
  if (!CanDraw()) return -1;
  const Surface2DRecord* piece = GetSurface2D(surface2D);
  SurfaceData* record = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!record) return -1;
  if (SoftwarePath())
    return DrawPieceInTargetImage(piece, record, [&](MEMIMG* to, const MEMIMG* from) {
      BlitMemImg(to, from, x, y, transparent, GetBlendMemImg());
    });
  const Rect& area = g_DrawState.drawArea;
  const int64_t left = std::max<int64_t>(x, area.left), top = std::max<int64_t>(y, area.top);
  const int64_t right = std::min<int64_t>(int64_t(x) + piece->width, area.right);
  const int64_t bottom = std::min<int64_t>(int64_t(y) + piece->height, area.bottom);
  if (left >= right || top >= bottom) return 0;
  const Rect box = RectOf(left, top, right, bottom);
  const Rect source = RectOf(left - x, top - y, right - x, bottom - y);
  if (!OpenWorkDraw(piece, 1, &source, &box, 0, nullptr)) return -1;
  const WorkDrawState& w = g_WorkDraw;
  if (w.directBlit) {
    PlatDDSurfaceBltFast(w.blitDestination, w.blitDestinationRect.left, w.blitDestinationRect.top, w.blitSource,
                         &w.blitSourceRect, transparent ? PLAT_DDBLTFAST_SRCCOLORKEY : PLAT_DDBLTFAST_NOCOLORKEY);
    EndWorkDraw();
    return 0;
  }
  if (WorkDrawReady(true)) BlitMemImg(w.destination, w.source, x, y, transparent, GetBlendMemImg());
  EndWorkDraw();
  return 0;
}

int DrawGraphSurfaceCore(int32_t x, int32_t y, const GraphRecord* graph, int32_t transparent) {
  if (!CanDraw() || !graph || graph->surfaceCount < 1) return -1;
  g_Renderer3D.flushCurrentVertexBatch();
  DrawSurface2DCore(x, y, graph->surfaces[0], transparent);
  return 0;
}

int DrawStretchedCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                      int32_t transparent) {
  if (!CanDraw()) return -1;
  const Surface2DRecord* piece = FirstPiece(graph);
  SurfaceData* record = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!record || graph->width <= 0 || graph->height <= 0) return -1;
  const Rect corners{x1, y1, x2, y2};
  auto draw = [&](MEMIMG* to, const MEMIMG* from) {
    BlitMemImgScaled(to, from, &corners, transparent, GetBlendMemImg());
  };
  if (SoftwarePath()) return DrawPieceInTargetImage(piece, record, draw);
  const bool mirrorX = x1 > x2, mirrorY = y1 > y2;
  // In 64 bits: the sides and their 16.16 scales pass 32 bits from a side of 32768.
  const int64_t left = std::min(x1, x2), right = std::max(x1, x2);
  const int64_t top = std::min(y1, y2), bottom = std::max(y1, y2);
  const int64_t width = right - left, height = bottom - top;
  if (width == 0 || height == 0) return -1;
  if (width == graph->width && height == graph->height && !mirrorX && !mirrorY)
    return DrawGraphSurfaceCore(int32_t(left), int32_t(top), graph, transparent);
  const int64_t scaleX = (width << 16) / graph->width, scaleY = (height << 16) / graph->height;
  const Rect& area = g_DrawState.drawArea;
  const int64_t clippedLeft = std::max<int64_t>(left, area.left), clippedRight = std::min<int64_t>(right, area.right);
  const int64_t clippedTop = std::max<int64_t>(top, area.top), clippedBottom = std::min<int64_t>(bottom, area.bottom);
  if (clippedLeft >= clippedRight || clippedTop >= clippedBottom) return -1;
  // The source columns and rows the clipped rectangle shows, the end rounded up.
  auto range = [](int64_t start, int64_t clippedStart, int64_t clippedSize, int64_t scale, int64_t size,
                  bool mirror, int32_t* from, int32_t* to) {
    const int64_t first = clippedStart > start ? ((clippedStart - start) << 16) / scale : 0;
    const int64_t last = first + ((clippedSize << 16) + scale - 1) / scale;
    *from = Clamp32(mirror ? size - last : first);
    *to = Clamp32(mirror ? size - first : last);
  };
  Rect source{};
  range(left, clippedLeft, clippedRight - clippedLeft, scaleX, graph->width, mirrorX, &source.left, &source.right);
  range(top, clippedTop, clippedBottom - clippedTop, scaleY, graph->height, mirrorY, &source.top, &source.bottom);
  return DrawPieceInWorkImage(piece, source, RectOf(clippedLeft, clippedTop, clippedRight, clippedBottom), draw);
}

int DrawGraphTriangleCore(const TriangleVertex* vertices, const GraphRecord* graph, int32_t transparent) {
  if (!CanDraw() || !vertices) return -1;
  const Surface2DRecord* piece = FirstPiece(graph);
  SurfaceData* record = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!record) return -1;
  auto draw = [&](MEMIMG* to, const MEMIMG* from) {
    DrawMemImgTriangle(to, from, vertices, transparent, GetBlendMemImg(), 0);
  };
  if (SoftwarePath()) return DrawPieceInTargetImage(piece, record, draw);
  int64_t minX = 1000000, minY = 1000000, maxX = -1000000, maxY = -1000000;
  int64_t minU = 1000000, minV = 1000000, maxU = -1000000, maxV = -1000000;
  for (int i = 0; i < 3; i++) {
    const TriangleVertex& v = vertices[i];
    minX = std::min<int64_t>(minX, v.x), maxX = std::max<int64_t>(maxX, v.x);
    minY = std::min<int64_t>(minY, v.y), maxY = std::max<int64_t>(maxY, v.y);
    minU = std::min<int64_t>(minU, v.u), maxU = std::max<int64_t>(maxU, v.u);
    minV = std::min<int64_t>(minV, v.v), maxV = std::max<int64_t>(maxV, v.v);
  }
  // The renderer fills each row up to and including the column of its right edge, so the
  // rightmost vertex's own column belongs to the box; the bottom vertex's row never does.
  return DrawPieceInWorkImage(piece, RectOf(minU, minV, maxU, maxV), RectOf(minX, minY, maxX + 1, maxY), draw);
}

int DrawQuadCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4, int32_t y4,
                 const GraphRecord* graph, int32_t transparent) {
  if (!CanDraw() || !graph) return -1;
  const int32_t w = graph->width, h = graph->height;
  const TriangleVertex first[3] = {{x1, y1, 0, 0}, {x2, y2, w, 0}, {x3, y3, 0, h}};
  const TriangleVertex second[3] = {{x2, y2, w, 0}, {x3, y3, 0, h}, {x4, y4, w, h}};
  DrawGraphTriangleCore(first, graph, transparent);
  DrawGraphTriangleCore(second, graph, transparent);
  return 0;
}

int DrawQuadCoreF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                  const GraphRecord* graph, int32_t transparent) {
  if (!CanDraw()) return -1;
  DrawQuadCore(FloatToInt(x1), FloatToInt(y1), FloatToInt(x2), FloatToInt(y2), FloatToInt(x3), FloatToInt(y3),
               FloatToInt(x4), FloatToInt(y4), graph, transparent);
  return 0;
}

// ---- boxes and lines ------------------------------------------------------------------------

int DrawFilledBoxCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  if (!CanDraw()) return -1;
  // In order here too: the bracket would take a box given right to left for an empty one.
  Rect box{x1, y1, x2, y2};
  NormalizeRect(&box);
  if (SoftwarePath()) {
    FillMemImgBox(SoftwareTarget(), &box, colour);
    SoftwareTargetDrawn();
    return 0;
  }
  if (!OpenWorkDraw(nullptr, 0, nullptr, &box, 1, &colour)) return -1;
  if (WorkDrawReady(false)) FillMemImgBox(g_WorkDraw.destination, &box, colour);
  EndWorkDraw();
  return 0;
}

int DrawLinesCore(const LineRecord* lines, int32_t count) {
  if (!CanDraw()) return -1;
  if (SoftwarePath()) {
    DrawMemImgLines(SoftwareTarget(), lines, count);
    SoftwareTargetDrawn();
    return 0;
  }
  if (!lines || count <= 0) return 0;
  // Every end point inside; a line never draws its end point, so maxima + 1 are enough.
  int64_t minX = 1000000, minY = 1000000, maxX = -1000000, maxY = -1000000;
  auto take = [](int64_t v, int64_t* min, int64_t* max) {
    if (v < *min) *min = v;
    if (v >= *max) *max = v + 1;
  };
  for (int32_t i = 0; i < count; i++) {
    take(lines[i].x1, &minX, &maxX);
    take(lines[i].x2, &minX, &maxX);
    take(lines[i].y1, &minY, &maxY);
    take(lines[i].y2, &minY, &maxY);
  }
  const Rect box = RectOf(minX, minY, maxX, maxY);
  if (!OpenWorkDraw(nullptr, 0, nullptr, &box, 0, nullptr)) return -1;
  if (WorkDrawReady(false)) {
    // Each colour as the work image holds them (converted on a 5:5:5 display).
    for (int32_t i = 0; i < count; i++) {
      LineRecord line = lines[i];
      line.colour = WorkDrawColour(line.colour);
      DrawMemImgLines(g_WorkDraw.destination, &line, 1);
    }
  }
  EndWorkDraw();
  return 0;
}

// ---- the clear ------------------------------------------------------------------------------

namespace {

// A software target and its depth image cleared as the software path clears them.
void FillImagesWithBackground(MEMIMG* image, MEMIMG* depth) {
  const SystemSettings& set = g_System.settings;
  if (image && IsMemImgValid(image)) {
    ClearMemImgRect(image, nullptr,
                    ColorToPixelValue(image->data->format, set.backgroundRed, set.backgroundGreen,
                                      set.backgroundBlue, 255));
    image->data->runMapValid = 0;
    image->data->premultipliedValid = 0;
  }
  if (depth && IsMemImgValid(depth)) ClearMemImgRect(depth, nullptr, 0xFFFF);
}

int32_t FillSurface(PlatDDSurface surface, const PlatRect& rect, uint32_t flags, uint32_t value) {
  PlatDDBltFx fx{};
  fx.size = sizeof fx;
  fx.fillColor = value;
  fx.fillDepth = value;
  return PlatDDSurfaceBlt(surface, &rect, 0, nullptr, flags | PLAT_DDBLT_WAIT, &fx);
}

}  // namespace

int FillTargetBackgroundCore() {
  if (!CanDraw()) return -1;
  const ScreenState& s = g_ScreenState;
  const DrawState& d = g_DrawState;
  if (SoftwarePath()) {
    FillImagesWithBackground(s.targetImage, s.targetZImage);
    return 0;
  }
  const SystemSettings& set = g_System.settings;
  const uint32_t colour = PackScreenColorCore(set.backgroundRed, set.backgroundGreen, set.backgroundBlue);
  g_Renderer3D.endSceneCurrent();
  if (d.drawTarget == DRAW_SCREEN_FRONT || d.drawTarget == DRAW_SCREEN_BACK) {
    int32_t width = 0, height = 0;
    QueryScreenSize(&width, &height);
    const PlatRect screen{0, 0, width, height};
    Rect at{0, 0, width, height};
    if (d.drawTarget == DRAW_SCREEN_FRONT) GetScreenRectOnPrimary(&at);
    if (s.targetSurface) FillSurface(s.targetSurface, {at.left, at.top, at.right, at.bottom}, PLAT_DDBLT_COLORFILL, colour);
    if (s.zBuffer) FillSurface(s.zBuffer, screen, PLAT_DDBLT_DEPTHFILL, 0xFFFF);
    return 0;
  }
  const GraphRecord* graph = LookupGraph(d.drawTarget);
  const Surface2DRecord* piece = FirstPiece(graph);
  SurfaceData* record = piece && !graph->flags.texture ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!record) return 0;
  if (record->softwareImage) {
    // The target image is the graph's own rectangle of the record.
    FillImagesWithBackground(s.targetImage, s.targetZImage);
    return 0;
  }
  // Only the graph's rectangle: a sub-graph shares its surface with the rest of the sheet.
  const PlatRect rect{s.targetOffsetX, s.targetOffsetY, s.targetOffsetX + d.targetWidth,
                      s.targetOffsetY + d.targetHeight};
  if (record->depthSurface) FillSurface(record->depthSurface, rect, PLAT_DDBLT_DEPTHFILL, 0xFFFF);
  if (record->surface) FillSurface(record->surface, rect, PLAT_DDBLT_COLORFILL, colour);
  return 0;
}

int ClearDrawTargetCore() {
  if (!CanDraw()) return -1;
  g_SystemHooks.waitWhileInactive();
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.clearDrawTargetTexture();
  FillTargetBackgroundCore();
  if (SoftwarePath() && g_DrawState.drawTarget == DRAW_SCREEN_FRONT) {
    int32_t width = 0, height = 0;
    QueryScreenSize(&width, &height);
    const Rect all{0, 0, width, height};
    UpdateFrontRect(&all);
  }
  return 0;
}

// ---- the copy into a graph ------------------------------------------------------------------

void FillNoChannelBits(const Rect* rect, int32_t pitch, uint8_t* pixels, const ColorFormat* format, uint8_t alpha) {
  if (!rect || !pixels || !format) return;
  const uint32_t mask = format->noChannelMask;
  const int32_t bytes = format->bytesPerPixel;
  if (!mask || (bytes != 2 && bytes != 4)) return;
  const uint32_t bits = bytes == 4 && mask == 0xFF000000u ? uint32_t(alpha) << 24 : mask;
  for (int32_t y = rect->top; y < rect->bottom; y++) {
    uint8_t* at = pixels + ptrdiff_t(y) * pitch + ptrdiff_t(rect->left) * bytes;
    for (int32_t x = rect->left; x < rect->right; x++, at += bytes)
      WritePixelValue(at, bytes, ReadPixelValue(at, bytes) | bits);
  }
}

namespace {

bool LockForCapture(PlatDDSurface surface, const PlatRect& rect, uint32_t flags, PlatDDSurfaceDesc* desc) {
  *desc = PlatDDSurfaceDesc{};
  desc->size = sizeof *desc;
  return PlatDDSurfaceLock(surface, &rect, desc, PLAT_DDLOCK_WAIT | flags) == PLAT_DD_OK;
}

// After a copy into a software image: what the image kept about its pixels is stale.
void ImageChanged(MEMIMG* image) {
  image->data->runMapValid = 0;
  image->data->premultipliedValid = 0;
}

}  // namespace

int CaptureScreenRectCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph, int32_t alphaFlag) {
  (void)alphaFlag;
  if (!CanDraw() || !graph) return -1;
  const ScreenState& s = g_ScreenState;
  const DrawState& d = g_DrawState;
  const int64_t width = int64_t(x2) - x1, height = int64_t(y2) - y1;
  if (width <= 0 || height <= 0 || width != graph->width || height != graph->height || x1 < 0 || y1 < 0 ||
      x2 > d.targetWidth || y2 > d.targetHeight)
    return -1;
  const Surface2DRecord* piece = FirstPiece(graph);
  SurfaceData* record = piece && !graph->flags.texture ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (!record) return -1;
  const Rect rect{x1, y1, x2, y2};
  // The copy goes to the graph's place in its record (a sub-graph shares a sheet).
  const int32_t px = piece->sourceX, py = piece->sourceY;
  const Rect inGraph{px, py, px + int32_t(width), py + int32_t(height)};
  const PlatRect graphRect{inGraph.left, inGraph.top, inGraph.right, inGraph.bottom};
  MEMIMG* targetImage = SoftwareTarget();
  MEMIMG* graphImage = record->softwareImage && IsMemImgValid(&record->image) ? &record->image : nullptr;

  if (SoftwarePath() || (targetImage && graphImage)) {
    if (d.drawTarget == DRAW_SCREEN_FRONT) ReloadFrontImageFromScreen();
    if (!targetImage || !graphImage) return -1;
    ConvertMemImgRect(graphImage, targetImage, &rect, px, py);
    ImageChanged(graphImage);
    return 0;
  }
  g_Renderer3D.endSceneCurrent();
  const ColorFormat* screen = GetScreenColorFormat();
  const int32_t ox = s.targetOffsetX + d.targetRect.left, oy = s.targetOffsetY + d.targetRect.top;
  const PlatRect onTarget{x1 + ox, y1 + oy, x2 + ox, y2 + oy};
  const Rect local{0, 0, int32_t(width), int32_t(height)};
  PlatDDSurfaceDesc locked{};

  if (s.targetSurface && record->surface) {
    if (PlatDDSurfaceBlt(record->surface, &graphRect, s.targetSurface, &onTarget, PLAT_DDBLT_WAIT, nullptr) !=
        PLAT_DD_OK)
      return -1;
    if (!screen->noChannelMask) return 0;
    if (!LockForCapture(record->surface, graphRect, PLAT_DDLOCK_WRITEONLY, &locked)) return -1;
    FillNoChannelBits(&local, locked.pitch, static_cast<uint8_t*>(locked.surface), screen, 255);
    PlatDDSurfaceUnlock(record->surface, nullptr);
    return 0;
  }
  if (targetImage && record->surface) {
    if (!LockForCapture(record->surface, graphRect, PLAT_DDLOCK_WRITEONLY, &locked)) return -1;
    ConvertBlitRect(locked.surface, locked.pitch, screen, targetImage->pixels, targetImage->data->pitch,
                    targetImage->data->format, nullptr, 0, nullptr, 0, 0, &rect, 0, 0, 0, CONVERT_DITHER_NONE, 0, 0,
                    0, 0);
    FillNoChannelBits(&local, locked.pitch, static_cast<uint8_t*>(locked.surface), screen, 255);
    PlatDDSurfaceUnlock(record->surface, nullptr);
    return 0;
  }
  if (s.targetSurface && graphImage) {
    if (CopySurfaceRect(s.work1, s.targetSurface, 0, 0, &onTarget, -1) != 0) return -1;
    if (!LockForCapture(s.work1, {0, 0, local.right, local.bottom}, PLAT_DDLOCK_READONLY, &locked)) return -1;
    ConvertBlitRect(graphImage->pixels, graphImage->data->pitch, graphImage->data->format, locked.surface,
                    locked.pitch, screen, nullptr, 0, nullptr, px, py, &local, 0, 0, 0, CONVERT_DITHER_NONE, 0, 0, 0,
                    0);
    FillNoChannelBits(&inGraph, graphImage->data->pitch, graphImage->pixels, graphImage->data->format, 255);
    PlatDDSurfaceUnlock(s.work1, nullptr);
    ImageChanged(graphImage);
    return 0;
  }
  return -1;
}

int CaptureScreenIntoGraph(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph, int32_t alphaFlag) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  g_SystemHooks.waitWhileInactive();
  g_Renderer3D.endSceneCurrent();
  if (g->flags.texture) return g_Renderer3D.readBackScreenDispatch(x1, y1, x2, y2, g, alphaFlag);
  return CaptureScreenRectCore(x1, y1, x2, y2, g, alphaFlag);
}
