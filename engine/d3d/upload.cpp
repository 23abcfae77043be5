// Pictures into texture tiles: one tile's piece (written in place, or through a temporary
// texture and Load when the texture cannot be locked), a whole picture over every tile of
// a graph, a rectangle over the tiles it covers, and one colour over every tile.
#include "engine/base/log.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/services.h"
#include "engine/pixel/convert.h"
#include "engine/state/fatal.h"

#include <algorithm>

namespace {

// Cuts the source rectangle to the picture and the alpha picture, and its destination at
// (x, y) to width x height, moving each with the other; false when nothing is left.
bool ClipPiece(const GraphImage* image, const GraphImage* alpha, int32_t width, int32_t height, Rect* rect, int32_t* x,
               int32_t* y) {
  int64_t pictureWidth = image->width, pictureHeight = image->height;
  if (alpha) {
    pictureWidth = std::min<int64_t>(pictureWidth, alpha->width);
    pictureHeight = std::min<int64_t>(pictureHeight, alpha->height);
  }
  int64_t left = rect->left, top = rect->top, toX = *x, toY = *y;
  const int64_t shiftX = std::max({int64_t(0), -left, -toX}), shiftY = std::max({int64_t(0), -top, -toY});
  left += shiftX;
  toX += shiftX;
  top += shiftY;
  toY += shiftY;
  const int64_t right = std::min({int64_t(rect->right), pictureWidth, left + (width - toX)});
  const int64_t bottom = std::min({int64_t(rect->bottom), pictureHeight, top + (height - toY)});
  if (right <= left || bottom <= top) return false;
  *rect = Rect{int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)};
  *x = int32_t(toX);
  *y = int32_t(toY);
  return true;
}

// The conversion of one piece into memory whose (toX, toY) is where the piece goes.
void ConvertPiece(void* pixels, int32_t pitch, const ColorFormat* format, int32_t toX, int32_t toY, const Rect& rect,
                  const GraphImage* image, const GraphImage* alpha, uint32_t colorKey) {
  // Without alpha of its own, a picture gives an alpha texture its colour key as holes.
  const int32_t keyToAlpha = format->alphaWidth != 0 && !alpha && image->format.alphaWidth == 0;
  ConvertBlitRect(pixels, pitch, format, image->pixels, int32_t(image->pitch), &image->format,
                  alpha ? alpha->pixels : nullptr, alpha ? int32_t(alpha->pitch) : 0, alpha ? &alpha->format : nullptr,
                  toX, toY, &rect, 0, keyToAlpha, colorKey, 0, 0, 0, 0, 0);
}

// The texture cannot be locked: the piece goes into a system-memory copy of it first.
void UploadThroughTemporary(const SurfaceData* texture, const ColorFormat* format, const Rect& to, const Rect& rect,
                            const GraphImage* image, const GraphImage* alpha) {
  PlatDDSurface temporary = 0;
  if (CreateWorkTexture(texture, &temporary) != PLAT_DD_OK)
    FatalEngineExit("テンポラリテクスチャサーフェスの作成に失敗しました");
  PlatDDSurfaceDesc locked{};
  locked.size = sizeof locked;
  if (PlatDDSurfaceLock(temporary, nullptr, &locked, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_WRITEONLY) == PLAT_DD_OK) {
    ConvertPiece(locked.surface, locked.pitch, format, to.left, to.top, rect, image, alpha, texture->colorKey);
    PlatDDSurfaceUnlock(temporary, nullptr);
  }
  PlatDDSurfaceRestore(texture->surface);
  const PlatPoint point{to.left, to.top};
  const PlatRect area{to.left, to.top, to.right, to.bottom};
  if (PlatD3DDeviceLoad(CurrentDevice3D(), texture->surface, &point, temporary, &area, 0) != PLAT_D3D_OK) {
    PlatDDSurfaceRelease(temporary);
    FatalEngineExit("作業用テクスチャサーフェスから描画用テクスチャサーフェスへの画像転送に失敗しました");
  }
  PlatDDSurfaceRelease(temporary);
}

template <typename Visit>
int ForEachTile(const GraphRecord* graph, Visit visit) {
  for (int32_t i = 0; i < graph->surfaceCount; i++) {
    const Surface3DData* tile = LookupTexture3D(graph->surfaces[i]);
    if (!tile || visit(graph->surfaces[i], *tile) != 0) return -1;
  }
  return 0;
}

}  // namespace

int UploadImageToTextures(int32_t handle, const Rect* sourceRect, int32_t x, int32_t y, const GraphImage* image,
                          const GraphImage* alphaImage) {
  if (!g_Direct3D.direct3D) return -1;
  FlushVertexBatch(g_Direct3D.currentDevice);
  const Surface3DData* tile = LookupTexture3D(handle);
  const SurfaceData* texture = tile ? LookupSurfaceData(tile->surface) : nullptr;
  if (!texture || !sourceRect || !image || !image->pixels) return -1;
  const ColorFormat* format = TextureFormatColorFormat(texture->formatIndex);
  if (!format) return -1;
  const GraphImage* alpha = alphaImage && alphaImage->pixels ? alphaImage : nullptr;
  Rect rect = *sourceRect;
  // Nothing outside the picture is read, nothing outside the tile written.
  if (!ClipPiece(image, alpha, tile->usedWidth, tile->usedHeight, &rect, &x, &y)) return 0;
  const Rect to{tile->texelX + x, tile->texelY + y, tile->texelX + x + (rect.right - rect.left),
                tile->texelY + y + (rect.bottom - rect.top)};

  int32_t pitch = 0;
  uint8_t* pixels = nullptr;
  if (LockSurfaceData(tile->surface, &pitch, &pixels, 1, &to, nullptr) != -1) {
    ConvertPiece(pixels, pitch, format, 0, 0, rect, image, alpha, texture->colorKey);
    UnlockTexture3D(handle, &to);
  } else {
    UploadThroughTemporary(texture, format, to, rect, image, alpha);
  }
  ApplySurfaceColorKey(tile->surface);
  return 0;
}

int UploadImageToGraphTextures(int32_t sourceX, int32_t sourceY, GraphRecord* graph, const GraphImage* image,
                               const GraphImage* alpha) {
  if (!g_Direct3D.direct3D || !graph) return -1;
  return ForEachTile(graph, [&](int32_t handle, const Surface3DData& tile) {
    const Rect rect{tile.tileX + sourceX, tile.tileY + sourceY, tile.tileX + sourceX + tile.usedWidth,
                    tile.tileY + sourceY + tile.usedHeight};
    return UploadImageToTextures(handle, &rect, 0, 0, image, alpha);
  });
}

int UploadImageRectToGraphTextures(const Rect* sourceRect, int32_t x, int32_t y, GraphRecord* graph,
                                   const GraphImage* image, const GraphImage* alpha) {
  if (!g_Direct3D.direct3D || !graph || !sourceRect) return -1;
  const int64_t w = int64_t(sourceRect->right) - sourceRect->left, h = int64_t(sourceRect->bottom) - sourceRect->top;
  return ForEachTile(graph, [&](int32_t handle, const Surface3DData& tile) {
    const int64_t tx = tile.tileX, ty = tile.tileY;
    if (!(tx < x + w && tx + tile.usedWidth > x && ty < y + h && ty + tile.usedHeight > y)) return 0;
    Rect piece = *sourceRect;
    int32_t atX = 0, atY = 0;
    if (x < tx)
      piece.left += int32_t(tx - x);
    else
      atX = int32_t(x - tx);
    if (y < ty)
      piece.top += int32_t(ty - y);
    else
      atY = int32_t(y - ty);
    piece.right = std::min(piece.right, piece.left + (tile.usedWidth - atX));
    piece.bottom = std::min(piece.bottom, piece.top + (tile.usedHeight - atY));
    if (piece.right <= piece.left || piece.bottom <= piece.top) return 0;
    return UploadImageToTextures(handle, &piece, atX, atY, image, alpha);
  });
}

int FillGraphTextures(GraphRecord* graph, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  if (!g_Direct3D.direct3D || !graph) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  // Draws already batched show the tiles as they were.
  FlushVertexBatch(g_Direct3D.currentDevice);
  int result = 0;
  if (ForEachTile(graph, [&](int32_t, const Surface3DData& tile) {
        result |= FillSurfaceData(tile.surface, red, green, blue, alpha);
        return 0;
      }) != 0)
    return -1;
  return result;
}
