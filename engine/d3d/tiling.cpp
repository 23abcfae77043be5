// Cutting graphs into texture tiles: the tile sizes along one length, the split of a new
// graph into a grid of tiles (cut into squares for devices that want them), and the
// records of a sub-graph that point into its parent's tiles.
#include "engine/base/log.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/services.h"

#include <algorithm>

namespace {

constexpr int32_t kTileFieldLimit = 65535;  // the records' positions are 16-bit

int TooManyTiles() { return WriteLogFmt("エラー：画像の分割数が最大数の %d を超えました", GRAPH_TILE_LIMIT); }

struct Tile {
  int32_t x, y, width, height;
};

void RemoveRecords(const int32_t* handles, int32_t count) {
  for (int32_t i = 0; i < count; i++) RemoveTexture3D(handles[i]);
}

// The grid of tiles, cut into squares on a device that wants them; tiles wholly outside
// the graph are left out. false (logged) when there would be more than the list holds or
// a tile would start where the records cannot say.
bool LayOutTiles(const GraphRecord* g, Tile* tiles, int32_t* count) {
  int32_t widths[GRAPH_TILE_LIMIT], heights[GRAPH_TILE_LIMIT];
  const int32_t single = g->createMode ? 1 : 0;
  const int32_t columns = ChooseTextureSize(g->width, widths, single);
  const int32_t rows = ChooseTextureSize(g->height, heights, single);
  if (columns > GRAPH_TILE_LIMIT || rows > GRAPH_TILE_LIMIT || columns * rows > GRAPH_TILE_LIMIT) {
    TooManyTiles();
    return false;
  }
  Tile grid[GRAPH_TILE_LIMIT];
  int32_t y = 0;
  for (int32_t r = 0; r < rows; r++) {
    int32_t x = 0;
    for (int32_t c = 0; c < columns; c++) {
      grid[r * columns + c] = {x, y, widths[c], heights[r]};
      x += widths[c];
    }
    y += heights[r];
  }
  const int32_t gridCount = columns * rows;
  const bool squareOnly = g_Direct3D.deviceDesc.triCaps.textureCaps & PLAT_D3DPTEXTURECAPS_SQUAREONLY;
  // Squares cut from a tall or wide tile follow every grid tile, in the order made.
  Tile appended[GRAPH_TILE_LIMIT];
  int32_t appendedCount = 0;
  int32_t n = 0;
  auto keep = [&](const Tile& t, Tile* list, int32_t* listCount) {
    if (t.x >= g->width || t.y >= g->height) return true;
    if (*listCount == GRAPH_TILE_LIMIT || t.x > kTileFieldLimit || t.y > kTileFieldLimit) return false;
    list[(*listCount)++] = t;
    return true;
  };
  for (int32_t i = 0; i < gridCount; i++) {
    Tile t = grid[i];
    if (squareOnly && t.width != t.height) {
      const int32_t side = std::min(t.width, t.height);
      const int32_t pieces = std::max(t.width, t.height) / side;
      for (int32_t k = 1; k < pieces; k++) {
        const Tile more =
            t.width > t.height ? Tile{t.x + k * side, t.y, side, side} : Tile{t.x, t.y + k * side, side, side};
        if (!keep(more, appended, &appendedCount)) return TooManyTiles(), false;
      }
      t.width = t.height = side;
    }
    if (!keep(t, tiles, &n)) return TooManyTiles(), false;
  }
  if (n + appendedCount > GRAPH_TILE_LIMIT) return TooManyTiles(), false;
  std::copy(appended, appended + appendedCount, tiles + n);
  *count = n + appendedCount;
  return true;
}

// The part of a parent tile [tile, tile + used) that the sub-graph's span [from, from +
// size) covers: where it starts in the sub-graph, its offset into the tile and its
// length; false when they do not overlap.
bool Overlap(int32_t tile, int32_t used, int32_t from, int32_t size, int32_t* at, int32_t* offset, int32_t* length) {
  if (tile >= from) {
    if (tile >= from + size) return false;
    *at = tile - from;
    *offset = 0;
    *length = tile + used >= from + size ? from + size - tile : used;
  } else {
    if (tile + used <= from) return false;
    *at = 0;
    *offset = from - tile;
    *length = tile + used < from + size ? tile + used - from : size;
  }
  return true;
}

}  // namespace

int32_t ChooseTextureSize(int32_t length, int32_t* sizes, int32_t singleTextureFlag) {
  const int32_t minSize = int32_t(g_Direct3D.minTextureSize), maxSize = int32_t(g_Direct3D.maxTextureSize);
  const int32_t m = minSize > 32 ? minSize : 32;
  int32_t s;
  if (length <= m) {
    s = m;
    while (minSize < s && s / 2 >= length) s >>= 1;
    sizes[0] = s;
    return 1;
  }
  int32_t screenWidth = 640;
  QueryScreenSize(&screenWidth, nullptr);
  int32_t cap;
  if (singleTextureFlag == 1 || screenWidth > maxSize) {
    cap = maxSize;
  } else {
    cap = 8;
    while (cap < screenWidth) cap <<= 1;
  }
  s = cap;
  if (cap > m) {
    while (s > length) {
      s >>= 1;
      if (s <= m) break;
    }
  }
  if ((singleTextureFlag == 1 || length < screenWidth) && 2 * s <= cap) {
    sizes[0] = s >= length ? s : 2 * s;
    return 1;
  }
  // The last two sizes are kept aside, so that the merge below sees them even past the
  // end of the list, which is never written beyond.
  int32_t k = 0, last = 0, beforeLast = 0;
  auto put = [&](int32_t index, int32_t value) {
    if (index < GRAPH_TILE_LIMIT) sizes[index] = value;
    last = value;
  };
  int32_t remaining = length;
  for (;;) {
    put(k, s);
    remaining -= s;
    if (remaining <= 0) break;
    if (remaining > (3 * s) / 4 && s < cap) {
      put(k, 2 * s);
      break;
    }
    while (remaining < s && s > m) s >>= 1;
    // Past this the merge cannot bring the count back within the list.
    if (k == GRAPH_TILE_LIMIT + 1) return k + 1;
    beforeLast = last;
    k++;
  }
  if (k > 0 && beforeLast == last && 2 * beforeLast <= cap) {
    k--;
    put(k, 2 * last);
  }
  return k + 1;
}

int SplitGraphIntoTextures(GraphRecord* graph) {
  if (!g_Direct3D.direct3D || !graph) return -1;
  Tile tiles[GRAPH_TILE_LIMIT];
  int32_t count = 0;
  if (!LayOutTiles(graph, tiles, &count)) return -1;
  for (int32_t i = 0; i < count; i++) {
    const Tile& t = tiles[i];
    const int32_t used[2] = {std::min(graph->width - t.x, t.width), std::min(graph->height - t.y, t.height)};
    const int32_t handle =
        AddSurface3DData(t.width, t.height, t.x, t.y, used[0], used[1], graph->handle, nullptr, 0, 0, &graph->flags);
    if (handle == -1) {
      // Nothing else would free them: the graph's tile count is not set.
      RemoveRecords(graph->surfaces, i);
      return -1;
    }
    graph->surfaces[i] = handle;
    SetCornerSides(LookupTexture3D(handle), graph->width, graph->height);
  }
  graph->surfaceCount = count;
  return 0;
}

int DeriveSubGraphTextures(GraphRecord* graph, int32_t x, int32_t y, int32_t width, int32_t height,
                           GraphRecord* parent) {
  const int32_t device = g_Direct3D.currentDevice;
  FlushVertexBatch(device);
  EndSceneOnDevice(device);
  graph->surfaceCount = 0;
  // Texel offsets made from a rectangle outside the parent would point outside its tiles.
  if (x < 0 || y < 0 || width <= 0 || height <= 0 || int64_t(x) + width > parent->width ||
      int64_t(y) + height > parent->height)
    return -1;

  if (parent->surfaceCount == 1) {
    const Surface3DData* tile = LookupTexture3D(parent->surfaces[0]);
    if (!tile) return -1;
    const int32_t handle = AddSurface3DData(0, 0, 0, 0, width, height, graph->handle, tile, x, y, nullptr);
    if (handle == -1) return -1;
    graph->surfaces[0] = handle;
    graph->surfaceCount = 1;
    SetCornerSides(LookupTexture3D(handle), width, height);
    return 0;
  }

  int32_t made = 0;
  auto fail = [&] {
    RemoveRecords(graph->surfaces, made);
    graph->surfaceCount = 0;
    return -1;
  };
  for (int32_t i = 0; i < parent->surfaceCount; i++) {
    const Surface3DData* tile = LookupTexture3D(parent->surfaces[i]);
    if (!tile) return fail();
    int32_t at[2], offset[2], length[2];
    if (!Overlap(tile->tileX, tile->usedWidth, x, width, &at[0], &offset[0], &length[0]) ||
        !Overlap(tile->tileY, tile->usedHeight, y, height, &at[1], &offset[1], &length[1]))
      continue;
    const int32_t handle =
        AddSurface3DData(0, 0, at[0], at[1], length[0], length[1], graph->handle, tile, offset[0], offset[1], nullptr);
    if (handle == -1) return fail();
    graph->surfaces[made++] = handle;
    SetCornerSides(LookupTexture3D(handle), width, height);
    graph->surfaceCount = made;
  }
  return 0;
}
