// The draw target: its selection (surface, software image, offset, the clipper and the
// temporary primary) and its change with the draw area and the camera that come with it.
#include "engine/graphics/drawtarget.h"

#include "engine/base/log.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/lights.h"
#include "engine/graphics/present.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/convert.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/boxline.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"

#include <algorithm>

namespace {

// The views the target image and its depth image are when a graph is a piece of a larger
// software image; live only while such a graph is the target.
MEMIMG g_targetView, g_targetZView;

// What a selection puts in place, found before anything changes.
struct TargetPick {
  PlatDDSurface surface = 0;
  MEMIMG* image = nullptr;
  MEMIMG* zImage = nullptr;
  // A piece of part of a software image: the image and depth image it is a view of.
  MEMIMG* imageParent = nullptr;
  MEMIMG* zParent = nullptr;
  Rect piece{};
  int32_t offsetX = 0, offsetY = 0;
};

bool ScreenDrawnAsImages() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

bool TemporaryPrimaryInUse() {
  const ScreenState& s = g_ScreenState;
  return s.useTemporaryPrimary && s.temporaryPrimary;
}

// The screens exist only while a mode change has made them.
bool PickScreen(int32_t target, TargetPick* p) {
  const ScreenState& s = g_ScreenState;
  if (target == DRAW_SCREEN_FRONT) {
    p->surface = TemporaryPrimaryInUse() ? s.temporaryPrimary : s.primary;
    p->image = s.primaryImage;
  } else {
    p->surface = s.back;
    p->image = s.backImage;
    p->zImage = s.zImage;
  }
  if (ScreenDrawnAsImages()) return p->image && IsMemImgValid(p->image);
  return p->surface != 0;
}

// The surface record a graph draws from and the piece's place in it: the first 2D piece,
// or the first texture tile of a texture graph. Null when a handle on the way is not valid.
SurfaceData* GraphTargetRecord(int32_t graph, const Surface2DRecord** piece, int32_t* x, int32_t* y) {
  const GraphRecord* g = LookupGraph(graph);
  if (!g || g->surfaceCount < 1) return nullptr;
  if (g->flags.texture) {
    int32_t texelX = 0, texelY = 0;
    const int32_t surface = g_Renderer3D.tileSurfaceData(g->surfaces[0], &texelX, &texelY);
    if (surface == -1) return nullptr;
    *piece = nullptr;
    *x = texelX;
    *y = texelY;
    return LookupSurfaceData(surface);
  }
  const Surface2DRecord* p = GetSurface2D(g->surfaces[0]);
  if (!p) return nullptr;
  *piece = p;
  *x = p->sourceX;
  *y = p->sourceY;
  return LookupSurfaceData(p->surfaceData);
}

bool PickGraph(int32_t graph, TargetPick* p) {
  const Surface2DRecord* piece = nullptr;
  int32_t x = 0, y = 0;
  SurfaceData* r = GraphTargetRecord(graph, &piece, &x, &y);
  if (!r) return false;
  if (r->softwareImage) {
    if (!piece || !IsMemImgValid(&r->image)) return false;
    MEMIMG* z = IsMemImgValid(&r->depthImage) ? &r->depthImage : nullptr;
    // The image's (0, 0) must be the target's: a piece of part of the record is a view.
    if (x == 0 && y == 0 && piece->width == r->width && piece->height == r->height) {
      p->image = &r->image;
      p->zImage = z;
    } else {
      p->imageParent = &r->image;
      p->zParent = z;
      p->piece = {x, y, x + piece->width, y + piece->height};
    }
    return true;
  }
  if (!r->surface) return false;
  p->surface = r->surface;
  p->offsetX = x;
  p->offsetY = y;
  return true;
}

bool PickTarget(int32_t target, TargetPick* p) {
  if (target == DRAW_SCREEN_FRONT || target == DRAW_SCREEN_BACK) return PickScreen(target, p);
  return PickGraph(target, p);
}

void ReleaseTargetViews() {
  ReleaseMemImg(&g_targetView);
  ReleaseMemImg(&g_targetZView);
  g_targetView = MEMIMG{};
  g_targetZView = MEMIMG{};
}

MEMIMG* ViewOf(MEMIMG* view, MEMIMG* parent, const Rect& r) {
  if (!parent) return nullptr;
  DeriveMemImg(view, parent, r.left, r.top, r.right - r.left, r.bottom - r.top);
  return IsMemImgValid(view) ? view : nullptr;
}

// The window's clipper goes on the primary for blits into a window (not in full screen,
// where it would cut the flip's blits to nothing more than the window).
bool ClipperRoad() {
  const ScreenState& s = g_ScreenState;
  return !s.noDirectDraw && s.primary && (IsWindowedMode() || s.gdiSurfaceRequest || IsMenuInUse());
}

void PutClipperOn() {
  const ScreenState& s = g_ScreenState;
  if (ClipperRoad() && s.clipper) PlatDDSurfaceSetClipper(s.primary, s.clipper);
}

}  // namespace

int SelectDrawTargetSurface(int32_t target, int32_t previous) {
  TargetPick pick;
  if (!PickTarget(target, &pick)) return -1;
  ScreenState& s = g_ScreenState;
  ReleaseTargetViews();
  s.targetImage = nullptr;
  s.targetZImage = nullptr;
  if (previous == DRAW_SCREEN_FRONT && TemporaryPrimaryInUse()) {
    PlatKillTimer(s.window, FRONT_REFRESH_TIMER);
    ShowTemporaryPrimary();
  }
  s.drawingSuspended = 0;
  s.targetSurface = pick.surface;
  s.targetImage = pick.imageParent ? ViewOf(&g_targetView, pick.imageParent, pick.piece) : pick.image;
  s.targetZImage = pick.imageParent ? ViewOf(&g_targetZView, pick.zParent, pick.piece) : pick.zImage;
  s.targetOffsetX = pick.offsetX;
  s.targetOffsetY = pick.offsetY;
  if (target == DRAW_SCREEN_FRONT) {
    if (ClipperRoad()) PlatDDSurfaceSetClipper(s.primary, 0);
    if (TemporaryPrimaryInUse()) {
      if (s.clipper) PlatDDSurfaceSetClipper(s.primary, s.clipper);
      CaptureWindowToTemporaryPrimary();
      PlatSetTimer(s.window, FRONT_REFRESH_TIMER, FRONT_REFRESH_MS, RefreshFrontScreenTimerProc);
    }
  } else {
    PutClipperOn();
  }
  uint32_t caps = 0;
  if (s.targetSurface) PlatDDSurfaceGetCaps(s.targetSurface, &caps);
  g_DrawState.targetInVideoMemory = (caps & PLAT_DDSCAPS_VIDEOMEMORY) ? 1 : 0;
  return 0;
}

int ReleaseDrawTargetSurface() {
  ScreenState& s = g_ScreenState;
  ReleaseTargetViews();
  s.targetSurface = 0;
  s.targetImage = nullptr;
  s.targetZImage = nullptr;
  s.targetOffsetX = s.targetOffsetY = 0;
  g_DrawState.targetInVideoMemory = 0;
  return 0;
}

// ---- the target change --------------------------------------------------------------------

namespace {

// The camera every target gets: a 60-degree view from straight in front, far enough that
// one unit at z = 0 is one pixel, (0, 0) the target's top-left corner.
void SetTargetCamera(int32_t width, int32_t height) {
  Matrix4 m;
  GetIdentityMatrix(&m);
  StoreWorldMatrix(&m, 0);
  const float d = float(height / 2) * 1.7320509f;
  const float eye[3] = {float(width) * 0.5f, float(height) * 0.5f, -d};
  const float at[3] = {eye[0], eye[1], -d + 1.0f};
  const float up[3] = {0.0f, 1.0f, 0.0f};
  BuildLookAtMatrix(&m, eye, at, up);
  StoreViewMatrix(&m);
  if (BuildPerspectiveMatrix(&m, 1.0471976f, d * 0.01f, d + 1000.0f, -1.0f) == 0) StoreProjectionMatrix(&m);
}

// One attempt at the change; the surface switch decides it. -1 leaves the mask off.
int ChangeDrawTarget(int32_t target, int32_t previous) {
  const ScreenState& s = g_ScreenState;
  DrawState& d = g_DrawState;
  const int32_t maskUse = IsMaskScreenEnabled();
  SwitchMaskScreen(0);
  d.drawTarget = target;
  Rect rect{0, 0, 0, 0};
  if (target == DRAW_SCREEN_FRONT && !(maskUse && IsMaskScreenMade()) && !s.useTemporaryPrimary &&
      IsWindowedMode() && !ScreenDrawnAsImages()) {
    PlatRect client{};
    GetClientRectBelowToolbar(&client);
    rect = {client.left, client.top, client.right, client.bottom};
  }
  SetTargetRect(&rect);
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.switchRenderTarget3D(target);
  if (SelectDrawTargetSurface(target, previous) != 0) return -1;

  int32_t width = 0, height = 0;
  QueryGraphSize(target, &width, &height);
  const bool sameSize = width == d.targetWidth && height == d.targetHeight;
  d.targetWidth = width;
  d.targetHeight = height;
  if (sameSize) {
    const Rect area = d.drawArea;
    SetClipArea(area.left, area.top, area.right, area.bottom);
  } else {
    SetClipArea(0, 0, width, height);
  }
  SetTargetCamera(width, height);
  SwitchMaskScreen(maskUse);
  return 0;
}

}  // namespace

int SetDrawTargetCore(int32_t target) {
  if (!g_ScreenState.graphicsStarted) return -1;
  g_SystemHooks.waitWhileInactive();
  if (target != DRAW_SCREEN_FRONT && target != DRAW_SCREEN_BACK) {
    const Surface2DRecord* piece = nullptr;
    int32_t x = 0, y = 0;
    if (!GraphTargetRecord(target, &piece, &x, &y)) {
      WriteLog("描画先に指定されたグラフィックが無効です\n");
      return -1;
    }
  }
  const int32_t previous = g_DrawState.drawTarget;
  if (ChangeDrawTarget(target, previous) == 0) return 0;
  // Once back to where drawing went, else to the back screen; never round again.
  WriteLog("描画先の変更に失敗しました\n");
  if (previous != target && ChangeDrawTarget(previous, previous) == 0) return -1;
  if (previous != DRAW_SCREEN_BACK && target != DRAW_SCREEN_BACK) ChangeDrawTarget(DRAW_SCREEN_BACK, previous);
  return -1;
}

// ---- work-image draws ---------------------------------------------------------------------

namespace {

PlatRect Moved(const Rect& r, int32_t dx, int32_t dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

bool Within(const Rect& r, int32_t width, int32_t height) {
  return r.left >= 0 && r.top >= 0 && r.right <= width && r.bottom <= height;
}

bool SurfaceSize(PlatDDSurface surface, int32_t* width, int32_t* height) {
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  if (PlatDDSurfaceGetDesc(surface, &desc) != PLAT_DD_OK) return false;
  *width = int32_t(desc.width);
  *height = int32_t(desc.height);
  return true;
}

// A draw that reads the pixels under it. Brightness alone does not: it only scales the
// source.
bool BlendingDraw(const SurfaceData* source) {
  const DrawState& d = g_DrawState;
  const bool plain = d.blendMode == BLEND_COPY || (d.blendMode == BLEND_MIX && d.blendParam == 255);
  return !plain || (source && source->flags.alpha) || d.blendGraph != -1;
}

bool WhiteBrightness() {
  const DrawState& d = g_DrawState;
  return d.brightRed == 255 && d.brightGreen == 255 && d.brightBlue == 255;
}

// A rectangle of pixels converted where it lies (both formats have the same pixel size).
void ConvertInPlace(uint8_t* pixels, int32_t pitch, const Rect& r, const ColorFormat* from, const ColorFormat* to) {
  ConvertBlitRect(pixels, pitch, to, pixels, pitch, from, nullptr, 0, nullptr, r.left, r.top, &r, 0, 0, 0,
                  CONVERT_DITHER_NONE, 0, 0, 0, 0);
}

// One pixel value converted as the rectangles are, so that it matches them bit for bit.
uint32_t ConvertValue(uint32_t value, const ColorFormat* from, const ColorFormat* to) {
  uint8_t in[4] = {}, out[4] = {};
  WritePixelValue(in, from->bytesPerPixel, value);
  const Rect one{0, 0, 1, 1};
  ConvertBlitRect(out, 4, to, in, 4, from, nullptr, 0, nullptr, 0, 0, &one, 0, 0, 0, CONVERT_DITHER_NONE, 0, 0,
                  0, 0);
  return ReadPixelValue(out, to->bytesPerPixel);
}

bool LockRect(PlatDDSurface surface, const PlatRect& rect, uint8_t** pixels, int32_t* pitch) {
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  if (PlatDDSurfaceLock(surface, &rect, &desc, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return false;
  *pixels = static_cast<uint8_t*>(desc.surface);
  *pitch = desc.pitch;
  return true;
}

// The bracket given up with nothing to draw: locks back, nothing copied back.
int NothingToDraw() {
  g_WorkDraw.throughWork1 = 0;
  g_WorkDraw.convert = 0;
  return EndWorkDraw();
}

// Where the draw goes: into the target image, through work surface 1, or locked in place.
enum DestinationRoad { INTO_IMAGE, THROUGH_WORK1, IN_PLACE };

}  // namespace

int BeginWorkDraw(const Surface2DRecord* piece, int32_t blitAllowed, const Rect* sourceRect,
                  const Rect* box, int32_t covers, uint32_t* colour, uint32_t* colour2) {
  EndWorkDraw();
  WorkDrawState& w = g_WorkDraw;
  const ScreenState& s = g_ScreenState;
  const DrawState& d = g_DrawState;
  if (!box) return -1;
  // A software-rendered screen is drawn straight into the target image.
  if (ScreenDrawnAsImages()) return s.targetImage && IsMemImgValid(s.targetImage) ? 0 : -1;
  if (!s.ddraw || !s.primary || !s.back || !s.work1 || !s.work2) return -1;

  // A masked draw goes to the target as any other: the mask's bracket around it saved the
  // pixels there and puts them back where the mask allows no drawing.
  const PlatDDSurface target = s.targetSurface;
  SurfaceData* from = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  if (piece && !from) return -1;
  const bool blending = BlendingDraw(from);
  const bool video = d.targetInVideoMemory != 0;
  const int32_t originX = s.targetOffsetX + d.targetRect.left, originY = s.targetOffsetY + d.targetRect.top;

  const bool sameMemory = from && (video ? from->flags.systemMemory == 0 : from->flags.systemMemory == 1);
  if (blitAllowed && sourceRect && from && !from->softwareImage && from->surface && target && !blending &&
      WhiteBrightness() && sameMemory) {
    w.directBlit = 1;
    w.blitSource = from->surface;
    w.blitSourceRect = Moved(*sourceRect, piece->sourceX, piece->sourceY);
    w.blitDestination = target;
    w.blitDestinationRect = Moved(*box, originX, originY);
    return 0;
  }

  Rect clipped = *box;
  ClipRect(&clipped, &d.drawArea);
  if (clipped.left >= clipped.right || clipped.top >= clipped.bottom) return -1;
  const ColorFormat* screen = GetScreenColorFormat();
  const int32_t kind = QueryScreenDepth() == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888;
  const ColorFormat* viewFormat = GetMemImgColorFormat(kind, 0, 0);
  const bool convert = s.formatCode == SCREEN_FORMAT_RGB555 || s.formatCode == SCREEN_FORMAT_OTHER;
  const bool surfacePiece = from && !from->softwareImage;

  // Views over locked display memory must have its pixel size (an 8-bit screen has no
  // format the renderer draws).
  DestinationRoad road = INTO_IMAGE;
  if (!s.targetImage || !IsMemImgValid(s.targetImage)) road = IN_PLACE;
  if ((road != INTO_IMAGE || surfacePiece) && viewFormat->bytesPerPixel != screen->bytesPerPixel) return -1;
  int32_t viewWidth = 0, viewHeight = 0;
  if (road != INTO_IMAGE) {
    int32_t width = 0, height = 0;
    if (!target || !SurfaceSize(target, &width, &height)) return -1;
    // The view covers the target from its (0, 0), as far as its surface reaches; a
    // target whose origin lies off its surface (a window partly off the desktop) can only
    // be reached through a copy.
    viewWidth = std::min(d.targetWidth, width - originX);
    viewHeight = std::min(d.targetHeight, height - originY);
    const bool fits = originX >= 0 && originY >= 0 && Within(clipped, viewWidth, viewHeight);
    // A draw that covers its box with given colours writes them as they are; brightness
    // scales them in the renderer's format, so it converts like a blending draw.
    if ((video && blending) || (convert && (blending || !covers || !WhiteBrightness())) || !fits) {
      road = THROUGH_WORK1;
      // Work surface 1 holds the box at its own place: it is the screen's size.
      if (!SurfaceSize(s.work1, &width, &height)) return -1;
      viewWidth = std::min(d.targetWidth, width);
      viewHeight = std::min(d.targetHeight, height);
      if (!Within(clipped, viewWidth, viewHeight)) return -1;
    }
  }
  PlatRect pieceRect{};
  bool viaWork2 = false;
  if (surfacePiece) {
    if (!from->surface) return -1;
    pieceRect = {piece->sourceX, piece->sourceY, piece->sourceX + piece->width, piece->sourceY + piece->height};
    // A piece of the surface about to be locked in place is read from a copy too.
    viaWork2 = from->flags.systemMemory == 0 || convert || from->surface == target;
    int32_t width = 0, height = 0;
    const Rect whole{0, 0, piece->width, piece->height};
    if (viaWork2 && (!SurfaceSize(s.work2, &width, &height) || !Within(whole, width, height))) return -1;
  }

  w.box = clipped;
  w.convert = convert ? 1 : 0;
  w.viewFormat = viewFormat;
  w.targetSurface = target;
  w.boxOnTarget = Moved(clipped, originX, originY);
  // The piece is copied before the target is locked: it may be a piece of the target.
  const bool pieceCopied = viaWork2 && CopySurfaceRect(s.work2, from->surface, 0, 0, &pieceRect, -1) == 0;

  if (road == INTO_IMAGE) {
    w.destination = s.targetImage;
  } else {
    PlatDDSurface lockOn = target;
    PlatRect lockRect{originX, originY, originX + viewWidth, originY + viewHeight};
    if (road == THROUGH_WORK1) {
      if (CopySurfaceRect(s.work1, target, clipped.left, clipped.top, &w.boxOnTarget, -1) != 0) return NothingToDraw();
      lockOn = s.work1;
      lockRect = {0, 0, viewWidth, viewHeight};
    }
    if (!LockRect(lockOn, lockRect, &w.lockedPixels, &w.lockedPitch)) return NothingToDraw();
    w.destinationLocked = 1;
    w.lockedSurface = lockOn;
    w.lockedRect = lockRect;
    w.throughWork1 = road == THROUGH_WORK1 ? 1 : 0;
    if (w.throughWork1 && convert) ConvertInPlace(w.lockedPixels, w.lockedPitch, clipped, screen, viewFormat);
    if (CreateMemImg(&w.destinationView, viewWidth, viewHeight, w.lockedPitch, 0, kind, 0, 0, 0, w.lockedPixels) != 0)
      return NothingToDraw();
    w.destination = &w.destinationView;
  }
  if (colour) *colour = WorkDrawColour(*colour);
  if (colour2) *colour2 = WorkDrawColour(*colour2);

  if (!from) return 0;
  if (from->softwareImage) {
    if (IsMemImgValid(&from->image)) {
      if (piece->sourceX == 0 && piece->sourceY == 0 && piece->width == from->width && piece->height == from->height) {
        w.source = &from->image;
      } else {
        DeriveMemImg(&w.sourceView, &from->image, piece->sourceX, piece->sourceY, piece->width, piece->height);
        if (IsMemImgValid(&w.sourceView)) w.source = &w.sourceView;
      }
    }
    return w.source ? 0 : NothingToDraw();
  }
  const PlatDDSurface lockOn = viaWork2 ? s.work2 : from->surface;
  const PlatRect lockRect = viaWork2 ? PlatRect{0, 0, piece->width, piece->height} : pieceRect;
  uint8_t* pixels = nullptr;
  int32_t pitch = 0;
  if ((viaWork2 && !pieceCopied) || !LockRect(lockOn, lockRect, &pixels, &pitch)) return NothingToDraw();
  w.sourceLocked = 1;
  w.sourceLockedSurface = lockOn;
  w.sourceLockedRect = lockRect;
  w.sourceCopied = viaWork2 ? 1 : 0;
  const Rect whole{0, 0, piece->width, piece->height};
  if (viaWork2 && convert) ConvertInPlace(pixels, pitch, whole, screen, viewFormat);
  const uint32_t key = from->colorKey;
  uint32_t transparent = PackScreenColorCore(int32_t(key >> 16 & 0xFF), int32_t(key >> 8 & 0xFF), int32_t(key & 0xFF));
  if (convert) transparent = ConvertValue(transparent, screen, viewFormat);
  if (CreateMemImg(&w.sourceView, piece->width, piece->height, pitch, transparent, kind, 0, 0, 0, pixels) != 0)
    return NothingToDraw();
  w.source = &w.sourceView;
  return 0;
}

int EndWorkDraw() {
  WorkDrawState& w = g_WorkDraw;
  // A graph's software image that was drawn into no longer matches its run map and its
  // premultiplied copy, which a draw from it would otherwise use.
  if (w.destination && w.destination == g_ScreenState.targetImage && IsMemImgValid(w.destination)) {
    w.destination->data->runMapValid = 0;
    w.destination->data->premultipliedValid = 0;
  }
  ReleaseMemImg(&w.destinationView);
  ReleaseMemImg(&w.sourceView);
  if (w.destinationLocked && w.throughWork1 && w.convert)
    ConvertInPlace(w.lockedPixels, w.lockedPitch, w.box, w.viewFormat, GetScreenColorFormat());
  if (w.destinationLocked) PlatDDSurfaceUnlock(w.lockedSurface, nullptr);
  if (w.sourceLocked) PlatDDSurfaceUnlock(w.sourceLockedSurface, nullptr);
  if (w.destinationLocked && w.throughWork1) {
    const PlatRect from{w.box.left, w.box.top, w.box.right, w.box.bottom};
    CopySurfaceRect(w.targetSurface, g_ScreenState.work1, w.boxOnTarget.left, w.boxOnTarget.top, &from, -1);
  }
  w = WorkDrawState{};
  return 0;
}

uint32_t WorkDrawColour(uint32_t colour) {
  const WorkDrawState& w = g_WorkDraw;
  if (!w.destination || !IsMemImgValid(w.destination)) return colour;
  const ColorFormat* screen = GetScreenColorFormat();
  // Locked display memory holds the display's own values, unless it was converted.
  if (w.destinationLocked) return w.throughWork1 && w.convert ? ConvertValue(colour, screen, w.viewFormat) : colour;
  const ColorFormat* own = w.destination->data->format;
  const bool same = own->bytesPerPixel == screen->bytesPerPixel && own->redMask == screen->redMask &&
                    own->greenMask == screen->greenMask && own->blueMask == screen->blueMask;
  return same ? colour : ConvertValue(colour, screen, own);
}

MEMIMG* GetBlendMemImg() {
  const int32_t graph = g_DrawState.blendGraph;
  if (graph == -1) return nullptr;
  const GraphRecord* g = LookupGraph(graph);
  if (!g || g->flags.texture || g->surfaceCount < 1) return nullptr;
  const Surface2DRecord* piece = GetSurface2D(g->surfaces[0]);
  SurfaceData* r = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
  return r && IsMemImgValid(&r->image) ? &r->image : nullptr;
}

int DrawBoxOutlineCore(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
  const int32_t p = g_DrawState.blendParam;
  const LineRecord lines[4] = {
      {x1, y1, x2 - 1, y1, colour, p},
      {x2 - 1, y1, x2 - 1, y2 - 1, colour, p},
      {x2 - 1, y2 - 1, x1, y2 - 1, colour, p},
      {x1, y2 - 1, x1, y1, colour, p},
  };
  return DrawLinesCore(lines, 4);
}
