// Graphs from pictures in memory: whole pictures, sub-graphs sharing a parent's pixels, a
// picture cut into cells, sprite sheets loaded from files, and the restore that reloads
// lost graphs from the files they came from.
#include "engine/graphics/graph.h"

#include "engine/base/log.h"
#include "engine/file/file.h"
#include "engine/graphics/imageload.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/surface2d.h"
#include "engine/state/hooks.h"

#include <algorithm>
#include <cstring>

namespace {

// Each 2D surface of the graph receives the part of the picture under it: its own place
// inside the graph, moved by the graph's offset inside the picture.
int WriteImageToGraphSurfaces2D(const GraphRecord* g, const GraphImage* image, const GraphImage* alpha) {
  for (int32_t i = 0; i < g->surfaceCount; i++) {
    const Surface2DRecord* piece = GetSurface2D(g->surfaces[i]);
    if (!piece) return -1;
    if (WriteImageToSurface2DAt(&image->format, 0, 0, g->sourceX + piece->x, g->sourceY + piece->y,
                                g->surfaces[i], SURFACE2D_SOURCE_IMAGE, image, alpha) != 0)
      return -1;
  }
  return 0;
}

// Mirrors the picture and its alpha picture left to right (again, to undo it).
void MirrorBoth(GraphImage* image, GraphImage* alpha) {
  MirrorImageRows(image);
  if (alpha) MirrorImageRows(alpha);
}

}  // namespace

// ---- graphs from pictures ---------------------------------------------------------------

int32_t MakeGraphForImage(const GraphImage* image, const GraphImage* alpha, int32_t want3D) {
  if (alpha && (alpha->width != image->width || alpha->height != image->height)) return -1;
  const bool alphaBits = image->format.alphaWidth != 0;
  const int32_t hasAlpha = alphaBits || alpha;
  const int32_t palette = image->format.bytesPerPixel == 1 && !alphaBits && !alpha;
  return MakeGraphWithSurfaces(int32_t(image->width), int32_t(image->height), want3D, hasAlpha, palette);
}

int32_t BuildGraphFromGraphImage(GraphImage* image, GraphImage* alpha, int32_t want3D,
                                 int32_t turn, int32_t mirror) {
  RecomputeNoChannelMask(&image->format);
  if (alpha) RecomputeNoChannelMask(&alpha->format);
  g_Renderer3D.endSceneCurrent();
  const bool mirrored = turn == 1 && mirror == 1;
  if (mirrored) MirrorBoth(image, alpha);
  int32_t graph = MakeGraphForImage(image, alpha, want3D);
  // A graph whose pixels could not be written is not handed out as if it held them.
  if (graph != -1 && ReloadGraphImage(nullptr, image, alpha, 0, 0, graph, 0) != 0) {
    FreeGraph(graph, 0);
    graph = -1;
  }
  if (mirrored) MirrorBoth(image, alpha);
  return graph;
}

int MakeGraphFromGraphImage(GraphImage* image) { return BuildGraphFromGraphImage(image, nullptr, 1, 0, 1); }

int ReloadGraphImage(const char* name, const GraphImage* image, const GraphImage* alpha,
                     int32_t sourceX, int32_t sourceY, int32_t graph, int32_t loadMirror) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  SetGraphSourcePath(graph, name, -1);
  g->loadMirror = uint32_t(loadMirror);
  g->sourceX = sourceX;
  g->sourceY = sourceY;
  if (g->flags.texture) return g_Renderer3D.uploadImageToGraphTextures(sourceX, sourceY, g, image, alpha);
  return WriteImageToGraphSurfaces2D(g, image, alpha);
}

int FillGraphFromImage(const char* name, const GraphImage* image, const GraphImage* alpha,
                       const Rect* rect, int32_t x, int32_t y, int32_t graph, int32_t loadMirror) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  SetGraphSourcePath(graph, name ? name : "", -1);
  g->loadMirror = uint32_t(loadMirror);
  if (g->flags.texture) return g_Renderer3D.uploadImageRectToGraphTextures(rect, x, y, g, image, alpha);
  return FillGraphSurfacesFromImage(&image->format, 0, 0, rect, x, y, g, SURFACE2D_SOURCE_IMAGE,
                                    image, alpha);
}

// ---- cells ----------------------------------------------------------------------------------

int32_t CreateSubGraph(int32_t x, int32_t y, int32_t width, int32_t height, int32_t parent) {
  GraphRecord* p = LookupGraph(parent);
  if (!p) return -1;
  // Only a rectangle that starts inside the parent and has pixels can share them.
  if (x < 0 || y < 0 || x >= p->width || y >= p->height || width <= 0 || height <= 0) return -1;
  width = std::min(width, p->width - x);
  height = std::min(height, p->height - y);

  GraphRecord* g = nullptr;
  const int32_t graph = AllocGraphRecord(width, height, p->flags.texture, &g, p->flags.alpha, p->flags.palette);
  g->movie = p->movie;
  // Only the strings: the fields are mostly empty room.
  std::memcpy(g->name, p->name, std::strlen(p->name) + 1);
  std::memcpy(g->directory, p->directory, std::strlen(p->directory) + 1);
  g->sourceX = p->sourceX + x;
  g->sourceY = p->sourceY + y;
  g->flags = p->flags;
  g->loadMirror = p->loadMirror;

  const int made = g->flags.texture ? g_Renderer3D.deriveSubGraphTextures(g, x, y, width, height, p)
                                    : CreateSharedSurface2D(g, x, y, width, height, p);
  if (made != 0) {
    WriteLog("グラフィックの派生に失敗しました終了します");
    // As for a graph whose surfaces failed: nobody receives the handle.
    FreeGraph(graph, 0);
    return -1;
  }
  return graph;
}

int CreateDivGraphFromGraphImage(GraphImage* image, GraphImage* alpha, int32_t count,
                                 int32_t xCount, int32_t yCount, int32_t cellWidth,
                                 int32_t cellHeight, int32_t* handles, int32_t want3D,
                                 int32_t turn, int32_t mirror) {
  const int32_t base = BuildGraphFromGraphImage(image, alpha, want3D, turn, mirror);
  if (base == -1) return -1;
  const int32_t xStart = turn == 1 ? (xCount - 1) * cellWidth : 0;
  const int32_t xStep = turn == 1 ? -cellWidth : cellWidth;
  if (count < 1) {
    FreeGraph(base, 0);
    return 0;
  }
  int32_t made = 0;
  for (int32_t row = 0, y = 0; row < yCount && made < count; row++, y += cellHeight) {
    for (int32_t column = 0, x = xStart; column < xCount && made < count; column++, x += xStep) {
      const int32_t cell = CreateSubGraph(x, y, cellWidth, cellHeight, base);
      if (cell == -1) {
        WriteLog("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
        for (int32_t i = 0; i < made; i++) FreeGraph(handles[i], 0);
        FreeGraph(base, 0);
        return -1;
      }
      handles[made++] = cell;
    }
  }
  // The cells keep the shared surfaces.
  FreeGraph(base, 0);
  return 0;
}

int LoadSplitGraphFromFile(const char* fileName, int32_t count, int32_t xCount, int32_t yCount,
                           int32_t cellWidth, int32_t cellHeight, int32_t* handles,
                           int32_t want3D, int32_t turn) {
  g_Renderer3D.endSceneCurrent();
  g_SystemHooks.waitWhileInactive();
  GraphImage image{}, alpha{};
  const int loaded = LoadImageFileData(fileName, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha, 0);
  if (loaded == -1) {
    WriteLogFmt("右記のグラフィックファイルのロードに失敗しました：%s", fileName ? fileName : "");
    return -1;
  }
  GraphImage* alphaImage = loaded == 0 ? &alpha : nullptr;
  if (turn == 1) MirrorBoth(&image, alphaImage);
  const int result = CreateDivGraphFromGraphImage(&image, alphaImage, count, xCount, yCount, cellWidth,
                                                  cellHeight, handles, want3D, turn, 0);
  if (result == 0) {
    // Only the handles made here: the entries past them are the caller's, and may hold
    // other graphs that would then be reloaded from this file.
    const int64_t made = std::min<int64_t>(std::max(count, 0), int64_t(std::max(xCount, 0)) * std::max(yCount, 0));
    for (int64_t i = 0; i < made; i++) {
      // The first cell reads the current directory; the others copy its name and
      // directory rather than each read it again.
      SetGraphSourcePath(handles[i], i == 0 ? fileName : nullptr, i == 0 ? -1 : handles[0]);
      // The cells' offsets are places in the mirrored picture: a reload mirrors it too.
      if (GraphRecord* g = LookupGraph(handles[i])) g->loadMirror = turn == 1 ? 1 : 0;
    }
  }
  FreeGraphImageCore(&image);
  FreeGraphImageCore(&alpha);
  return result;
}

int LoadSplitGraphCore(const char* fileName, int32_t count, int32_t xCount, int32_t yCount,
                       int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t not3D) {
  return LoadSplitGraphFromFile(fileName, count, xCount, yCount, cellWidth, cellHeight, handles, !not3D, 0);
}

// ---- the restore ----------------------------------------------------------------------------

void RestoreFileGraphs() {
  WriteLog("グラフィックを復帰します\n");
  char remembered[PATH_MAX], now[PATH_MAX];
  CurrentDirectoryInto(remembered);
  GraphImage image{}, alpha{};
  bool loaded = false, alphaLoaded = false;
  const GraphRecord* previous = nullptr;
  for (int32_t slot = 0; slot < g_GraphTable.table.highWater; slot++) {
    GraphRecord* g = static_cast<GraphRecord*>(g_GraphTable.slots[slot]);
    if (!g || g->lost != 1 || g->name[0] == '\0') continue;
    const bool sameSheet = previous && loaded && std::strcmp(g->name, previous->name) == 0 &&
                           std::strcmp(g->directory, previous->directory) == 0 &&
                           g->loadMirror == previous->loadMirror;
    if (!sameSheet) {
      FreeGraphImageCore(&image);
      FreeGraphImageCore(&alpha);
      // A directory that has gone counts as a failed load: a file of the same name in
      // whatever directory is current is not this graph's. (The file sets answer the
      // change differently, so the directory is read back.)
      FileSetCurrentDir(g->directory);
      CurrentDirectoryInto(now);
      const int result = std::strcmp(now, g->directory) != 0
                             ? -1
                             : LoadImageFileData(g->name, nullptr, 0, 0, nullptr, 0, 0, &image, &alpha,
                                                 int32_t(g->loadMirror));
      loaded = result != -1;
      alphaLoaded = result == 0;
    }
    if (loaded) ReloadGraphImage(g->name, &image, alphaLoaded ? &alpha : nullptr, g->sourceX, g->sourceY,
                                 g->handle, int32_t(g->loadMirror));
    g->lost = 0;
    previous = g;
  }
  FreeGraphImageCore(&image);
  FreeGraphImageCore(&alpha);
  if (remembered[0]) FileSetCurrentDir(remembered);
}
