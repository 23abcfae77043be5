// 2D surface handles and the operations over a graph's pieces: making them, writing
// pictures into them on the three roads (the GDI-like layer for an 8-bit screen, a locked
// surface, a software image), restoring and filling them.
#include "engine/graphics/surface2d.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/graphics/dib.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/convert.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/imgconvert.h"

#include <algorithm>
#include <cstdlib>

Surface2DTable g_Surface2DTable = {
    .slots = {},
    .table = {HANDLE_TYPE_SURFACE2D, SURFACE2D_SLOTS, g_Surface2DTable.slots, 0, 0, 0},
};

namespace {

bool GraphicsReady() { return g_ScreenState.ddraw != 0 || g_ScreenState.noDirectDraw != 0; }

bool Fits16(int32_t value, int32_t low) { return value >= low && value <= 65535; }

// The picture a write reads: the colour image and the alpha image (null when none).
struct WriteSource {
  GraphImage color;
  GraphImage alpha;
  bool hasAlpha;
};

// A GraphImage view over a bitmap's pixels, rows padded to 4 bytes. The format must have
// the bitmap's own pixel size: a wider one would read the rows past the bitmap's end.
bool BitmapView(PlatGdiObj bitmap, const ColorFormat* format, GraphImage* view) {
  PlatBitmap b{};
  if (!bitmap || !format || PlatGdiGetObject(bitmap, sizeof b, &b) <= 0 || !b.bits) return false;
  if (b.bitsPixel != format->bitDepth) return false;
  *view = GraphImage{};
  view->format = *format;
  view->width = uint32_t(std::abs(b.width));
  view->height = uint32_t(std::abs(b.height));
  view->pitch = uint32_t((int64_t(view->width) * format->bitDepth + 31) / 32 * 4);
  view->pixels = b.bits;
  return true;
}

bool GatherSource(const ColorFormat* format, PlatGdiObj colorBitmap, PlatGdiObj alphaBitmap,
                  int32_t kind, const GraphImage* image, const GraphImage* alpha, WriteSource* out) {
  out->hasAlpha = false;
  if (kind == SURFACE2D_SOURCE_BITMAP) {
    if (!BitmapView(colorBitmap, format, &out->color)) return false;
    if (!alphaBitmap) return true;
    out->hasAlpha = BitmapView(alphaBitmap, format, &out->alpha);
    return out->hasAlpha;
  }
  if (!image || !image->pixels) return false;
  out->color = *image;
  if (alpha && alpha->pixels) {
    out->alpha = *alpha;
    out->hasAlpha = true;
  }
  return true;
}

// Clips the source rectangle to the picture and the destination at (x, y) to the area;
// false when nothing is left.
bool ClipWrite(const WriteSource& source, const Rect& area, Rect* rect, int32_t* x, int32_t* y) {
  int64_t width = source.color.width, height = source.color.height;
  if (source.hasAlpha) {
    width = std::min<int64_t>(width, source.alpha.width);
    height = std::min<int64_t>(height, source.alpha.height);
  }
  int64_t left = rect->left, top = rect->top, right = rect->right, bottom = rect->bottom;
  int64_t toX = *x, toY = *y;
  // Each edge that moves in the source moves the destination with it, and back.
  auto cut = [](int64_t& from, int64_t& to, int64_t limitFrom, int64_t limitTo) {
    const int64_t shift = std::max({int64_t(0), limitFrom - from, limitTo - to});
    from += shift;
    to += shift;
  };
  cut(left, toX, 0, area.left);
  cut(top, toY, 0, area.top);
  right = std::min({right, width, left + (int64_t(area.right) - toX)});
  bottom = std::min({bottom, height, top + (int64_t(area.bottom) - toY)});
  if (right <= left || bottom <= top) return false;
  *rect = Rect{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  *x = int32_t(toX);
  *y = int32_t(toY);
  return true;
}

// The 8-bit screen's road: the picture as a bitmap of the GDI-like layer, copied into the
// surface's device context.
int WriteThroughGdi(const SurfaceData* record, int32_t kind, PlatGdiObj colorBitmap,
                    const GraphImage* image, const Rect& rect, int32_t x, int32_t y) {
  PlatDC memory = PlatGdiCreateCompatibleDC(0);
  if (!memory) return -1;
  PlatGdiObj bitmap = colorBitmap;
  bool made = false;
  if (kind == SURFACE2D_SOURCE_IMAGE) {
    PlatBitmapInfo info{};
    void* bits = nullptr;
    const int dib = GraphImageToDib(image, &info, &bits, 0, 0);
    if (dib < 0) {
      WriteLog("GraphImage を BMP に変換する処理が失敗しました");
      PlatGdiDeleteDC(memory);
      return -1;
    }
    bitmap = CreateDIBGraph(&info, bits, 0, nullptr);
    if (dib == 1) TrackedFree(bits);
    if (!bitmap) {
      WriteLog("ＢＭＰデータからＢＭＰハンドルを作成する処理が失敗しました");
      PlatGdiDeleteDC(memory);
      return -1;
    }
    made = true;
  }
  int result = -1;
  const PlatGdiObj previous = PlatGdiSelectObject(memory, bitmap);
  PlatDC target = 0;
  if (previous && PlatGdiGetSurfaceDC(record->surface, &target) == PLAT_DD_OK) {
    if (PlatGdiBitBlt(target, x, y, rect.right - rect.left, rect.bottom - rect.top, memory, rect.left,
                      rect.top, PLAT_SRCCOPY))
      result = 0;
    PlatGdiReleaseSurfaceDC(record->surface, target);
  }
  if (previous) PlatGdiSelectObject(memory, previous);
  PlatGdiDeleteDC(memory);
  if (made) PlatGdiDeleteObject(bitmap);
  return result;
}

int WriteThroughLock(const SurfaceData* record, const WriteSource& source, const Rect& rect, int32_t x,
                     int32_t y) {
  const PlatRect area{x, y, x + rect.right - rect.left, y + rect.bottom - rect.top};
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  if (PlatDDSurfaceLock(record->surface, &area, &desc, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_WRITEONLY) != PLAT_DD_OK) {
    WriteLog("２Ｄサーフェスのロックに失敗しました");
    return -1;
  }
  // The lock gives the rectangle's corner, which is (0, 0) of what is written.
  ConvertBlitRect(desc.surface, desc.pitch, GetScreenColorFormat(), source.color.pixels,
                  int32_t(source.color.pitch), &source.color.format, nullptr, 0, nullptr, 0, 0, &rect, 0,
                  0, 0, 0, 0, 0, 0, 0);
  PlatDDSurfaceUnlock(record->surface, &area);
  return 0;
}

// The transparent colour's index in a palette image's palette: the first entry equal to
// it in the image's layout, 0 when none is.
uint32_t TransparentPaletteIndex(const MemImgData* d, uint32_t key) {
  const ColorFormat* format = GetMemImgColorFormat(d->kind, 0, 0);
  const uint32_t value =
      ColorToPixelValue(format, int32_t(key >> 16 & 0xFF), int32_t(key >> 8 & 0xFF), int32_t(key & 0xFF), 255);
  const int bytes = d->kind == MEMIMG_KIND_RGB565 ? 2 : 4;
  for (uint32_t i = 0; i < 256; i++) {
    const uint32_t entry = ReadPixelValue(static_cast<const uint8_t*>(d->palette) + bytes * i, bytes);
    if (bytes == 4 ? (entry & 0xFFFFFF) == (value & 0xFFFFFF) : entry == value) return i;
  }
  return 0;
}

int WriteIntoImage(SurfaceData* record, const WriteSource& source, const Rect& rect, int32_t x, int32_t y) {
  if (!IsMemImgValid(&record->image)) return -1;
  const int32_t keyToAlpha = g_DrawState.newGraphColorKey ? 1 : 0;
  GraphImageToMemImgRect(&source.color, source.hasAlpha ? &source.alpha : nullptr, &record->image, rect.left,
                         rect.top, rect.right - rect.left, rect.bottom - rect.top, x, y, keyToAlpha);
  MemImgData* d = record->image.data;
  if (d->paletteFlag && d->palette) d->transparentColor = TransparentPaletteIndex(d, record->colorKey);
  return 0;
}

template <typename F>
int ForEachPiece(GraphRecord* graph, F step) {
  if (!graph) return -1;
  for (int32_t i = 0; i < graph->surfaceCount && i < GRAPH_SURFACE_LIMIT; i++) {
    Surface2DRecord* piece = GetSurface2D(graph->surfaces[i]);
    if (!piece) return -1;
    if (step(graph->surfaces[i], piece) != 0) return -1;
  }
  return 0;
}

}  // namespace

int32_t AddSurface2D(int32_t width, int32_t height, int32_t x, int32_t y, int32_t owner,
                     const Surface2DRecord* shared, int32_t sourceX, int32_t sourceY,
                     const SurfaceCreateFlags* flags) {
  if (!GraphicsReady()) {
    WriteLog("ＫＲライブラリが初期化されていません\n");
    return -1;
  }
  // The record keeps 16-bit sizes and places: a larger one would be drawn from a smaller
  // surface than the graph.
  if (!Fits16(width, 1) || !Fits16(height, 1) || !Fits16(x, 0) || !Fits16(y, 0) || !Fits16(sourceX, 0) ||
      !Fits16(sourceY, 0)) {
    WriteLogFmt("２Ｄサーフェスのサイズが不正です %d x %d\n", width, height);
    return -1;
  }
  HandleTable& t = g_Surface2DTable.table;
  if (t.count >= SURFACE2D_SLOTS || HandleTableNextSlot(&t) < 0) {
    WriteLog("２Ｄグラフィックの量が許容量を越えました\n");
    return -1;
  }
  Surface2DRecord* record =
      static_cast<Surface2DRecord*>(TrackedCalloc(sizeof(Surface2DRecord), __FILE__, __LINE__));
  int32_t surfaceData = -1;
  if (record) {
    if (shared) {
      const SurfaceData* sd = LookupSurfaceData(shared->surfaceData);
      // A piece outside the shared surface would be drawn from outside it.
      if (sd && int64_t(sourceX) + width <= sd->width && int64_t(sourceY) + height <= sd->height &&
          AddSurfaceReference(shared->surfaceData) >= 0)
        surfaceData = shared->surfaceData;
    } else {
      surfaceData = AddSurfaceData(1, width, height, g_DrawState.transparentColor, flags);
    }
  }
  if (surfaceData < 0) {
    WriteLog("メモリの確保に失敗しました in AddSurface2D \n");
    TrackedFree(record);
    return -1;
  }
  record->x = uint16_t(x);
  record->y = uint16_t(y);
  record->sourceX = uint16_t(sourceX);
  record->sourceY = uint16_t(sourceY);
  record->width = uint16_t(width);
  record->height = uint16_t(height);
  record->owner = owner;
  record->surfaceData = surfaceData;
  return HandleTableAdd(&t, record);
}

Surface2DRecord* GetSurface2D(int32_t handle) {
  return static_cast<Surface2DRecord*>(HandleTableGet(&g_Surface2DTable.table, handle));
}

int WatchSurface2DDeletion(int32_t handle, int32_t* flag) {
  Surface2DRecord* record = GetSurface2D(handle);
  if (!record) return -1;
  record->deletedFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

int DeleteSurface2D(int32_t handle) {
  Surface2DRecord* record = GetSurface2D(handle);
  if (!record) return 0;
  if (ReleaseSurfaceReference(record->surfaceData) == 0) RemoveSurfaceData(record->surfaceData);
  // The watcher (the font cache) learns that its drawing surface is gone.
  if (record->deletedFlag) *record->deletedFlag = 1;
  HandleTableRemove(&g_Surface2DTable.table, handle);
  TrackedFree(record);
  return 0;
}

int DeleteAllSurfaces2D() {
  if (!GraphicsReady()) return -1;
  HandleTable& t = g_Surface2DTable.table;
  // The mark falls as the top records go, so it is read again each time round.
  for (int32_t slot = 0; slot < t.highWater; slot++)
    if (t.slots[slot]) DeleteSurface2D(HandleTableHandleAt(&t, slot));
  return 0;
}

int DeleteAllSurfaces2DChecked() { return DeleteAllSurfaces2D(); }

int ReleaseAllSurface2DObjects() {
  const HandleTable& t = g_Surface2DTable.table;
  for (int32_t slot = 0; slot < t.highWater; slot++)
    if (t.slots[slot]) ReleaseSurfaceObjects(static_cast<Surface2DRecord*>(t.slots[slot])->surfaceData);
  return 0;
}

int RecreateAllSurface2DObjects() {
  const HandleTable& t = g_Surface2DTable.table;
  for (int32_t slot = 0; slot < t.highWater; slot++) {
    if (!t.slots[slot]) continue;
    const int32_t surfaceData = static_cast<Surface2DRecord*>(t.slots[slot])->surfaceData;
    CreateSurfaceObjects(surfaceData);
    ApplySurfaceColorKey(surfaceData);
  }
  return 0;
}

int CreateGraphSurface2D(GraphRecord* graph) {
  if (!graph || !GraphicsReady()) return -1;
  const int32_t handle =
      AddSurface2D(graph->width, graph->height, 0, 0, graph->handle, nullptr, 0, 0, &graph->flags);
  if (handle < 0) return -1;
  graph->surfaces[0] = handle;
  graph->surfaceCount = 1;
  return 0;
}

int CreateSharedSurface2D(GraphRecord* graph, int32_t sourceX, int32_t sourceY, int32_t width,
                          int32_t height, GraphRecord* parent) {
  if (!graph || !parent || parent->surfaceCount < 1) return -1;
  const Surface2DRecord* first = GetSurface2D(parent->surfaces[0]);
  if (!first) return -1;
  // The offset is inside the parent, whose own piece may lie at an offset of the surface
  // (a sub-graph of a sub-graph).
  const int32_t handle = AddSurface2D(width, height, 0, 0, graph->handle, first, first->sourceX + sourceX,
                                      first->sourceY + sourceY, &graph->flags);
  if (handle < 0) return -1;
  graph->surfaces[0] = handle;
  graph->surfaceCount = 1;
  return 0;
}

int FillGraphSurfacesFromImage(const ColorFormat* sourceFormat, PlatGdiObj colorBitmap,
                               PlatGdiObj alphaBitmap, const Rect* sourceRect, int32_t x,
                               int32_t y, GraphRecord* graph, int32_t sourceKind,
                               const GraphImage* image, const GraphImage* alpha) {
  if (!sourceRect) return -1;
  const int64_t right = int64_t(x) + sourceRect->right - sourceRect->left;
  const int64_t bottom = int64_t(y) + sourceRect->bottom - sourceRect->top;
  return ForEachPiece(graph, [&](int32_t handle, Surface2DRecord* piece) {
    const int64_t pieceRight = int64_t(piece->x) + piece->width, pieceBottom = int64_t(piece->y) + piece->height;
    if (right <= piece->x || bottom <= piece->y || x >= pieceRight || y >= pieceBottom) return 0;
    const int32_t skipX = std::max(0, piece->x - x), skipY = std::max(0, piece->y - y);
    Rect rect{sourceRect->left + skipX, sourceRect->top + skipY,
              sourceRect->right - int32_t(std::max<int64_t>(0, right - pieceRight)),
              sourceRect->bottom - int32_t(std::max<int64_t>(0, bottom - pieceBottom))};
    const int32_t toX = piece->sourceX + std::max(0, x - piece->x);
    const int32_t toY = piece->sourceY + std::max(0, y - piece->y);
    return WriteImageToSurface2D(sourceFormat, colorBitmap, alphaBitmap, &rect, toX, toY, handle, sourceKind,
                                 image, alpha);
  });
}

int WriteImageToSurface2D(const ColorFormat* sourceFormat, PlatGdiObj colorBitmap,
                          PlatGdiObj alphaBitmap, const Rect* sourceRect, int32_t x, int32_t y,
                          int32_t handle, int32_t sourceKind, const GraphImage* image,
                          const GraphImage* alpha) {
  if (!GraphicsReady() || !sourceRect) return -1;
  const Surface2DRecord* piece = GetSurface2D(handle);
  if (!piece) return -1;
  SurfaceData* record = LookupSurfaceData(piece->surfaceData);
  if (!record) return -1;
  WriteSource source{};
  if (!GatherSource(sourceFormat, colorBitmap, alphaBitmap, sourceKind, image, alpha, &source)) return -1;
  // Nothing outside the picture is read, nothing outside the piece written.
  const Rect area{piece->sourceX, piece->sourceY, std::min<int32_t>(piece->sourceX + piece->width, record->width),
                  std::min<int32_t>(piece->sourceY + piece->height, record->height)};
  Rect rect = *sourceRect;
  if (!ClipWrite(source, area, &rect, &x, &y)) return 0;

  int result;
  if (record->surface && g_ScreenState.depth == 8)
    result = WriteThroughGdi(record, sourceKind, colorBitmap, image, rect, x, y);
  else if (record->surface)
    result = WriteThroughLock(record, source, rect, x, y);
  else
    result = WriteIntoImage(record, source, rect, x, y);
  if (result != 0) return -1;
  ApplySurfaceColorKey(piece->surfaceData);
  return 0;
}

int WriteImageToSurface2DAt(const ColorFormat* sourceFormat, PlatGdiObj colorBitmap,
                            PlatGdiObj alphaBitmap, int32_t x, int32_t y, int32_t handle,
                            int32_t sourceKind, const GraphImage* image, const GraphImage* alpha) {
  const Surface2DRecord* piece = GetSurface2D(handle);
  if (!piece) return -1;
  const Rect rect{x, y, x + piece->width, y + piece->height};
  return WriteImageToSurface2D(sourceFormat, colorBitmap, alphaBitmap, &rect, piece->sourceX, piece->sourceY,
                               handle, sourceKind, image, alpha);
}

int RestoreGraphSurfaces2D(GraphRecord* graph) {
  int result = 0;
  if (ForEachPiece(graph, [&](int32_t, Surface2DRecord* piece) {
        result |= RestoreSurfaceIfLost(piece->surfaceData);
        return 0;
      }) != 0)
    return -1;
  return result;
}

int RestoreAllSurfaces2D() {
  if (!GraphicsReady()) return -1;
  RestoreLostScreenSurfaces();
  int result = 0;
  const HandleTable& t = g_Surface2DTable.table;
  for (int32_t slot = 0; slot < t.highWater; slot++)
    if (t.slots[slot]) result |= RestoreSurfaceIfLost(static_cast<Surface2DRecord*>(t.slots[slot])->surfaceData);
  return result;
}

int PaintGraphSurfaces2D(GraphRecord* graph, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  if (!GraphicsReady()) return -1;
  if (g_ScreenState.screenReady) g_Renderer3D.endSceneCurrent();
  g_Renderer3D.flushCurrentVertexBatch();
  return ForEachPiece(graph, [&](int32_t, Surface2DRecord* piece) {
    return FillSurfaceData(piece->surfaceData, red, green, blue, alpha);
  });
}

int SetBlendGraphCurve(int32_t, int32_t first, int32_t second) {
  BuildBlendGraphCurve(first, second);
  return 0;
}
