// Reading a rectangle of the screen back into a texture graph. Drivers differ in which
// road works, so there are five; the dispatch tries them in a fixed order and remembers
// the first that worked, apart for textures with alpha and without.
#include "engine/base/log.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/present.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/convert.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/state/state.h"
#include "platform/display/display.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#include <algorithm>
#include <iterator>

namespace {

// Where the rectangle is read from: the current draw target (or the desktop), its size,
// and the origin its coordinates count from on the surface.
struct Source {
  PlatDDSurface surface;
  int32_t width, height;
  int32_t ox, oy;
};

// The source of a method, or false (silently) when the method cannot read the rectangle
// into the graph.
bool PrepareSource(int method, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                   int32_t targetCoordinates, Source* out) {
  const int32_t target = GetDrawTargetHandle();
  const bool desktop = targetCoordinates == 0 && IsWindowedMode() && target == DRAW_SCREEN_FRONT &&
                       (method != 1 || IsTargetFrontSurface());
  if (desktop) {
    if (method == 5) return false;
    PlatGetDesktopSize(&out->width, &out->height);
    out->ox = out->oy = 0;
  } else {
    if (QueryGraphSize(target, &out->width, &out->height) != 0) return false;
    out->ox = g_DrawState.targetRect.left;
    out->oy = g_DrawState.targetRect.top;
  }
  if (!graph || x1 < 0 || x1 >= x2 || y1 < 0 || y1 >= y2 || x1 > out->width || y1 > out->height ||
      graph->width < int64_t(x2) - x1 || graph->height < int64_t(y2) - y1)
    return false;
  out->surface = GetTargetSurface();
  return true;
}

// One tile's share of the copy: w x h from the screen at `screen` to the texture at the
// tile's texels.
struct Piece {
  const Surface3DData* tile;
  const SurfaceData* texture;
  int32_t w, h;
  PlatRect screen;
  PlatRect texels;
};

// Calls copy with each tile's piece (as far as the source reaches) and colour-keys each
// tile written. A tile without its records fails the walk when missingFails, else is
// skipped. 0, or -1 at the first failing copy.
template <typename Copy>
int EachPiece(const GraphRecord* graph, const Source& src, int32_t x1, int32_t y1, bool missingFails, Copy copy) {
  for (int32_t i = 0; i < graph->surfaceCount; i++) {
    const Surface3DData* tile = LookupTexture3D(graph->surfaces[i]);
    const SurfaceData* texture = tile ? LookupSurfaceData(tile->surface) : nullptr;
    if (!texture) {
      if (missingFails) return -1;
      continue;
    }
    const int64_t left = int64_t(x1) + tile->tileX, top = int64_t(y1) + tile->tileY;
    if (src.width < left || src.height < top) continue;
    const int32_t w = int32_t(std::min<int64_t>(tile->usedWidth, src.width - left));
    const int32_t h = int32_t(std::min<int64_t>(tile->usedHeight, src.height - top));
    if (w <= 0 || h <= 0) continue;
    Piece p{tile, texture, w, h, {}, {}};
    p.screen = {int32_t(src.ox + left), int32_t(src.oy + top), int32_t(src.ox + left + w), int32_t(src.oy + top + h)};
    p.texels = {tile->texelX, tile->texelY, tile->texelX + w, tile->texelY + h};
    if (copy(p) != 0) return -1;
    ApplySurfaceColorKey(tile->surface);
  }
  return 0;
}

// Every converting copy here gives an alpha texture its colour key as holes.
void ConvertInto(void* dst, int32_t dstPitch, const ColorFormat* dstFormat, int32_t toX, int32_t toY, const void* src,
                 int32_t srcPitch, const ColorFormat* srcFormat, const Rect& rect, uint32_t colorKey) {
  ConvertBlitRect(dst, dstPitch, dstFormat, src, srcPitch, srcFormat, nullptr, 0, nullptr, toX, toY, &rect, 0,
                  dstFormat->alphaWidth != 0, colorKey, 0, 0, 0, 0, 0);
}

// The source surface's device context, held over the tile walk of methods 2 to 4.
struct SourceDC {
  PlatDDSurface surface = 0;
  PlatDC dc = 0;
  ~SourceDC() {
    if (dc) PlatGdiReleaseSurfaceDC(surface, dc);
  }
};

// A system-memory texture of the tile texture's size and format, for the GDI copy.
struct WorkTexture {
  PlatDDSurface surface = 0;
  ~WorkTexture() {
    if (surface) PlatDDSurfaceRelease(surface);
  }
  int32_t Create(const SurfaceData* texture) { return CreateWorkTexture(texture, &surface); }
};

PlatDDSurfaceDesc LockDesc() {
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  return desc;
}

constexpr uint32_t kWriteLock = PLAT_DDLOCK_WAIT | PLAT_DDLOCK_WRITEONLY;

// The failure lines of the copies through device contexts, each with the method's number
// before its result: method 2 writes into the tile's texture, 3 and 4 into a work texture.
struct GdiLines {
  const char* sourceDC;
  const char* getDC;
  const char* bitBlt;
  const char* releaseDC;
  const char* create;  // the work texture (3 and 4)
};

// The same for all three.
constexpr char kBitBltLine[] =
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスへのイメージ転送に失敗しました  BitBlt  "
    "ErrorCode:%x";

const GdiLines kTextureDCLines = {
    "Error  G_D3D_GetDrawScreenGraphFunction%d  ＤＣ取得に失敗しました  GetDC ReturnValue:%d",
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC "
    "ReturnValue:%d",
    kBitBltLine,
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC "
    "ReturnValue:%d",
    nullptr,
};
const GdiLines kWorkTextureLines = {
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　ＤＣ取得に失敗しました  GetDC  ReturnValue:%d",
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスのＤＣ取得に失敗しました  GetDC  "
    "ReturnValue:%d",
    kBitBltLine,
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスのＤＣ解放に失敗しました  ReleaseDC  "
    "ReturnValue:%d",
    "Error  G_D3D_GetDrawScreenGraphFunction%d 　作業用テクスチャサーフェスの作成に失敗しました  CreateSurface  "
    "ReturnValue:%d",
};

// The screen's piece to the tile's texels of `to`, through device contexts.
int CopyThroughDC(int method, const GdiLines& lines, PlatDC from, const Piece& p, PlatDDSurface to) {
  PlatDC dc = 0;
  if (const int32_t r = PlatGdiGetSurfaceDC(to, &dc); r != PLAT_DD_OK) return WriteLogFmt(lines.getDC, method, r);
  if (!PlatGdiBitBlt(dc, p.texels.left, p.texels.top, p.w, p.h, from, p.screen.left, p.screen.top, PLAT_SRCCOPY)) {
    const uint32_t error = PlatGdiGetLastError();
    PlatGdiReleaseSurfaceDC(to, dc);
    return WriteLogFmt(lines.bitBlt, method, error);
  }
  if (const int32_t r = PlatGdiReleaseSurfaceDC(to, dc); r != PLAT_DD_OK)
    return WriteLogFmt(lines.releaseDC, method, r);
  return 0;
}

// Methods 2 to 4: the source's device context is held over the tile walk, in which copy
// writes each piece; -1 (logged when the device context is refused) when the method
// cannot go on.
template <typename Copy>
int ThroughDC(int method, const GdiLines& lines, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
              const GraphRecord* graph, int32_t targetCoordinates, Copy copy) {
  Source src;
  if (!PrepareSource(method, x1, y1, x2, y2, graph, targetCoordinates, &src)) return -1;
  SourceDC from;
  if (const int32_t r = PlatGdiGetSurfaceDC(src.surface, &from.dc); r != PLAT_DD_OK) {
    from.dc = 0;
    return WriteLogFmt(lines.sourceDC, method, r);
  }
  from.surface = src.surface;
  return EachPiece(graph, src, x1, y1, method == 2, [&](const Piece& p) { return copy(from.dc, p, src); });
}

// Methods 3 and 4: each piece goes into a work texture first, and finish takes it from
// there into the tile's texture.
template <typename Finish>
int ThroughWorkTexture(int method, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                       int32_t targetCoordinates, Finish finish) {
  const GdiLines& lines = kWorkTextureLines;
  return ThroughDC(method, lines, x1, y1, x2, y2, graph, targetCoordinates,
                   [&](PlatDC from, const Piece& p, const Source& src) {
                     WorkTexture work;
                     if (const int32_t r = work.Create(p.texture); r != PLAT_DD_OK)
                       return WriteLogFmt(lines.create, method, r);
                     if (CopyThroughDC(method, lines, from, p, work.surface) != 0) return -1;
                     return finish(p, work.surface, src);
                   });
}

typedef int (*ReadBackMethod)(int32_t, int32_t, int32_t, int32_t, const GraphRecord*, int32_t);
// In the order the dispatch tries them; a remembered method is an index here.
constexpr ReadBackMethod kMethods[] = {
    G_D3D_GetDrawScreenGraphFunction5, G_D3D_GetDrawScreenGraphFunction1, G_D3D_GetDrawScreenGraphFunction3,
    G_D3D_GetDrawScreenGraphFunction2, G_D3D_GetDrawScreenGraphFunction4,
};
constexpr int32_t kMethodCount = int32_t(std::size(kMethods));

}  // namespace

int G_D3D_GetDrawScreenGraphFunction1(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates) {
  Source src;
  if (!PrepareSource(1, x1, y1, x2, y2, graph, targetCoordinates, &src)) return -1;
  return EachPiece(graph, src, x1, y1, true, [&](const Piece& p) {
    // No colour key in the copy: the texture is keyed afterwards.
    const int32_t r = PlatDDSurfaceBltFast(p.texture->surface, p.texels.left, p.texels.top, src.surface, &p.screen, 0);
    return r == PLAT_DD_OK ? 0 : WriteLogFmt("Error G_D3D_GetDrawScreenGraphFunction1  BltFast ReturnValue:%d", r);
  });
}

int G_D3D_GetDrawScreenGraphFunction2(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates) {
  return ThroughDC(2, kTextureDCLines, x1, y1, x2, y2, graph, targetCoordinates,
                   [](PlatDC from, const Piece& p, const Source&) {
                     return CopyThroughDC(2, kTextureDCLines, from, p, p.texture->surface);
                   });
}

int G_D3D_GetDrawScreenGraphFunction3(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates) {
  return ThroughWorkTexture(
      3, x1, y1, x2, y2, graph, targetCoordinates, [](const Piece& p, PlatDDSurface work, const Source&) {
        PlatDDSurfaceDesc to = LockDesc(), from = LockDesc();
        if (const int32_t r = PlatDDSurfaceLock(p.texture->surface, nullptr, &to, kWriteLock); r != PLAT_DD_OK)
          return WriteLogFmt(
              "Error  G_D3D_GetDrawScreenGraphFunction3 　転送先テクスチャサーフェスのロックに失敗しました  Lock  "
              "ReturnValue:%d",
              r);
        if (const int32_t r = PlatDDSurfaceLock(work, nullptr, &from, kWriteLock); r != PLAT_DD_OK) {
          PlatDDSurfaceUnlock(p.texture->surface, nullptr);
          return WriteLogFmt(
              "Error  G_D3D_GetDrawScreenGraphFunction3 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
              "ReturnValue:%d",
              r);
        }
        // Only the tile's own texels: sub-graphs share the texture around them.
        const ColorFormat* format = TextureFormatColorFormat(p.texture->formatIndex);
        const Rect rect{p.texels.left, p.texels.top, p.texels.right, p.texels.bottom};
        ConvertInto(to.surface, to.pitch, format, rect.left, rect.top, from.surface, from.pitch, format, rect,
                    p.texture->colorKey);
        PlatDDSurfaceUnlock(p.texture->surface, nullptr);
        PlatDDSurfaceUnlock(work, nullptr);
        return 0;
      });
}

int G_D3D_GetDrawScreenGraphFunction4(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates) {
  return ThroughWorkTexture(
      4, x1, y1, x2, y2, graph, targetCoordinates, [&](const Piece& p, PlatDDSurface work, const Source& src) {
        // Only the tile's own texels: sub-graphs share the texture around them.
        const PlatPoint point{p.texels.left, p.texels.top};
        int32_t result = PLAT_D3D_OK;
        for (int call = 1;; call++) {
          result = PlatD3DDeviceLoad(CurrentDevice3D(), p.texture->surface, &point, work, &p.texels, 0);
          if (result != PLAT_DDERR_SURFACEBUSY || call == 10) break;
          PlatDDSurfaceRestore(p.texture->surface);
          PlatSleep(1);
        }
        if (result == PLAT_D3D_OK) return 0;
        int32_t screenWidth = 0, screenHeight = 0;
        QueryScreenSize(&screenWidth, &screenHeight);
        WriteLogFmt("hr:%d  W:%d  H:%d  FullMode:%d  Point x:%d y:%d   Rect top:%d bottom:%d left:%d right:%d", result,
                    screenWidth, screenHeight, IsWindowedMode() ? 0 : 1, point.x, point.y, p.texels.top,
                    p.texels.bottom, p.texels.left, p.texels.right);
        WriteLogFmt("AlphaCh:%d  AlphaTest:%d  ColorBitDepth:%d", p.texture->flags.alpha, p.texture->flags.alphaTest,
                    p.texture->flags.bitDepth);
        return WriteLogFmt(
            "ScreenColor:%d  SizeX:%d  SizeY:%d  DrawPointX:%d  DrawPointY:%d  WndRect.left:%d  WndRect.top:%d  "
            "left:%d  top:%d",
            QueryScreenDepth(), p.w, p.h, p.tile->tileX, p.tile->tileY, src.ox, src.oy, x1, y1);
      });
}

int G_D3D_GetDrawScreenGraphFunction5(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphRecord* graph,
                                      int32_t targetCoordinates) {
  Source src;
  if (!PrepareSource(5, x1, y1, x2, y2, graph, targetCoordinates, &src)) return -1;
  const PlatDDSurface work = GetWorkSurface();
  // The copy stops where the source does, so that every texel read below was copied.
  const PlatRect copied{src.ox + x1, src.oy + y1, src.ox + std::min(x2, src.width), src.oy + std::min(y2, src.height)};
  CopySurfaceRect(work, src.surface, 0, 0, &copied, -1);
  const PlatRect area{0, 0, x2 - x1, y2 - y1};
  PlatDDSurfaceDesc from = LockDesc();
  if (const int32_t r = PlatDDSurfaceLock(work, &area, &from, kWriteLock); r != PLAT_DD_OK)
    return WriteLogFmt(
        "Error  G_D3D_GetDrawScreenGraphFunction5 　作業用テクスチャサーフェスのロックに失敗しました  Lock  "
        "ReturnValue:%d",
        r);
  const int result = EachPiece(graph, src, x1, y1, false, [&](Piece p) {
    // Only what was copied to the work surface is read from it.
    p.w = std::min(p.w, area.right - p.tile->tileX);
    p.h = std::min(p.h, area.bottom - p.tile->tileY);
    if (p.w <= 0 || p.h <= 0) return 0;
    const PlatRect texels{p.texels.left, p.texels.top, p.texels.left + p.w, p.texels.top + p.h};
    PlatDDSurfaceDesc to = LockDesc();
    if (const int32_t r = PlatDDSurfaceLock(p.texture->surface, &texels, &to, kWriteLock); r != PLAT_DD_OK) {
      PlatDDSurfaceUnlock(work, &area);
      return WriteLogFmt(
          "Error  G_D3D_GetDrawScreenGraphFunction5 　転送先テクスチャサーフェスのロックに失敗しました  Lock  "
          "ReturnValue:%d",
          r);
    }
    const Rect rect{p.tile->tileX, p.tile->tileY, p.tile->tileX + p.w, p.tile->tileY + p.h};
    ConvertInto(to.surface, to.pitch, TextureFormatColorFormat(p.texture->formatIndex), 0, 0, from.surface, from.pitch,
                GetScreenColorFormat(), rect, p.texture->colorKey);
    PlatDDSurfaceUnlock(p.texture->surface, &texels);
    return 0;
  });
  if (result != 0) return -1;
  PlatDDSurfaceUnlock(work, &area);
  return 0;
}

int ReadBackScreenDispatch(int32_t x1, int32_t y1, int32_t x2, int32_t y2, GraphRecord* graph,
                           int32_t targetCoordinates) {
  Direct3DState& s = g_Direct3D;
  if (!s.direct3D) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  // The screen holds everything drawn so far.
  FlushVertexBatch(s.currentDevice);
  EndSceneOnDevice(s.currentDevice);
  const Surface3DData* first = graph && graph->surfaceCount > 0 ? LookupTexture3D(graph->surfaces[0]) : nullptr;
  const SurfaceData* texture = first ? LookupSurfaceData(first->surface) : nullptr;
  if (!texture) return -1;
  int32_t& slot = texture->flags.alpha || texture->flags.alphaTest ? s.alphaReadBackMethod : s.plainReadBackMethod;
  if (slot >= 0 && slot < kMethodCount) {
    const int result = kMethods[slot](x1, y1, x2, y2, graph, targetCoordinates);
    if (result >= 0) return result;
  }
  int result = -1;
  for (slot = 0; slot < kMethodCount; slot++) {
    result = kMethods[slot](x1, y1, x2, y2, graph, targetCoordinates);
    if (result == 0) return 0;
  }
  slot = -1;
  return result;
}
