// The graph table and its records: the manager's start and end, the settings that shape
// new graphs, making, freeing and looking graphs up, and where each graph's pixels came
// from. Graphs from pictures, cells and the restore are graphimage.cpp.
#include "engine/graphics/graph.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/file.h"
#include "engine/graphics/clients.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/lights.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/screen.h"
#include "engine/state/fatal.h"

#include <cstring>

GraphTable g_GraphTable = {
    .slots = {},
    .table = {HANDLE_TYPE_GRAPH, GRAPH_SLOTS, g_GraphTable.slots, 0, 0, 0},
    .available3D = 0,
};

namespace {

HandleTable& Graphs() { return g_GraphTable.table; }

}  // namespace

void CurrentDirectoryInto(char* out) {
  // Either file set leaves the buffer as it was when the directory does not fit.
  out[0] = '\0';
  FileGetCurrentDir(out, PATH_MAX);
  out[PATH_MAX - 1] = '\0';
}

// ---- the manager --------------------------------------------------------------------------

int StartGraphManager() {
  ScreenState& s = g_ScreenState;
  if (s.graphicsStarted) return 0;
  WriteLog("グラフィック管理系の初期化を行います\n");
  LogIndentIn();
  // Graphs a stop without the manager's end left behind go with their surfaces; the
  // tables are cleared only once nothing in them is held any more, so that no record is
  // lost while a piece still refers to it.
  for (int32_t slot = 0; slot < Graphs().highWater; slot++) {
    const int32_t graph = HandleTableHandleAt(&Graphs(), slot);
    if (graph != -1) FreeGraph(graph, 0);
  }
  HandleTableInit(&Graphs(), HANDLE_TYPE_GRAPH, g_GraphTable.slots, GRAPH_SLOTS);
  s.graphicsStarted = 1;
  DeleteAllSurfaces2DChecked();
  if (g_SurfaceDataTable.table.count == 0)
    HandleTableInit(&g_SurfaceDataTable.table, HANDLE_TYPE_SURFACE_DATA, g_SurfaceDataTable.slots,
                    SURFACE_DATA_SLOTS);
  g_GraphTable.available3D = g_Renderer3D.removeAllTexturesIfActive() != -1;
  WriteLog(g_GraphTable.available3D ? "３Ｄグラフィック描画機能を使用します\n"
                                    : "３Ｄグラフィック描画機能は使用しません\n");
  ResetDrawSettings();
  g_GraphicsClients.resetFontDefaults();
  LogIndentOut();
  WriteLog("グラフィック管理系の初期化は正常に終了しました\n");
  return 0;
}

int TerminateGraphManager() {
  ScreenState& s = g_ScreenState;
  if (!s.graphicsStarted) return 0;
  EndMaskScreen();
  DeleteAllType40Handles();
  FreeAllGraphsCore(0);
  DeleteAllLights();
  g_GraphicsClients.deleteAllFonts();
  s.graphicsStarted = 0;
  WriteLog("グラフィック管理系の終了処理は正常に終了しました\n");
  return 0;
}

int SetGraphSoftwareSurfaceMode(int32_t mode) {
  g_DrawState.graphMemory = IsDirectDrawUsed() ? (mode != 1) : 1;
  return 0;
}

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
  g_DrawState.restoreHandler = handler ? handler : RestoreFileGraphs;
  return 0;
}

int HasGraphRestoreHandler() { return g_DrawState.restoreHandler ? 1 : 0; }

int SetGraphCreateMode(int32_t mode) {
  g_DrawState.graphCreateMode = mode;
  return 0;
}

// ---- the settings that shape new graphs ---------------------------------------------------

int SetNewGraphBitDepth(int32_t depth) {
  g_DrawState.newGraphDepth = depth;
  return 0;
}
int GetNewGraphBitDepth() { return g_DrawState.newGraphDepth; }

int SetNewGraphColorKey(int32_t flag) {
  g_DrawState.newGraphColorKey = flag;
  return 0;
}
int GetNewGraphColorKey() { return g_DrawState.newGraphColorKey; }

int SetNewGraphAlpha(int32_t flag) {
  g_DrawState.newGraphAlpha = flag;
  return 0;
}
int GetNewGraphAlpha() { return g_DrawState.newGraphAlpha; }

// ---- records --------------------------------------------------------------------------------

int32_t AllocGraphRecord(int32_t width, int32_t height, int32_t want3D, GraphRecord** out,
                         int32_t alpha, int32_t palette) {
  const DrawState& d = g_DrawState;
  const int32_t slot = HandleTableNextSlot(&Graphs());
  if (slot == -1) FatalEngineExit("グラフィックの数が許容量を越えました終了します");
  GraphRecord* g = static_cast<GraphRecord*>(TrackedCalloc(sizeof(GraphRecord), __FILE__, __LINE__));
  if (!g) FatalEngineExit("メモリの確保に失敗しました");

  SurfaceCreateFlags& f = g->flags;
  f.texture = want3D && d.use3D && g_GraphTable.available3D && !g_ScreenState.softwareRender;
  g->createMode = d.graphCreateMode == 1 ? 1 : 0;
  if (d.graphCreateMode == 1) {
    f.drawValid = 1;
    f.alpha = 0;
    f.alphaTest = 0;
  } else {
    f.alpha = alpha ? 1 : 0;
    f.drawValid = 0;
    f.alphaTest = d.newGraphColorKey ? 1 : 0;
  }
  f.oneChannel = 0;
  const int32_t screenDepth = QueryScreenDepth();
  if (f.texture) {
    f.bitDepth = uint8_t(d.newGraphDepth ? d.newGraphDepth : (f.alpha ? 32 : screenDepth));
    f.systemMemory = 0;
    f.palette = 0;
  } else {
    const bool screenDepthRules = d.newGraphDepth == 0 || !IsDirectDrawUsed();
    f.bitDepth = uint8_t(screenDepthRules ? screenDepth : d.newGraphDepth);
    f.systemMemory = d.graphMemory ? 1 : 0;
    f.palette = palette ? 1 : 0;
    f.textureManageOff = 0;
  }

  g->width = width;
  g->height = height;
  g->movie = -1;
  g->handle = HandleTableAddAt(&Graphs(), g, slot);
  if (out) *out = g;
  return g->handle;
}

int32_t MakeGraphWithSurfaces(int32_t width, int32_t height, int32_t want3D, int32_t alpha,
                              int32_t palette) {
  GraphRecord* g = nullptr;
  const int32_t graph = AllocGraphRecord(width, height, want3D, &g, alpha, palette);
  const int made = g->flags.texture ? g_Renderer3D.splitGraphIntoTextures(g) : CreateGraphSurface2D(g);
  if (made != 0) {
    WriteLog("グラフィックの作成に失敗しました\n");
    // The caller never sees the handle: a record kept would only wait for the next
    // FreeAllGraphsCore.
    FreeGraph(graph, 0);
    return -1;
  }
  return graph;
}

int32_t MakeBlankGraph(int32_t width, int32_t height, int32_t not3D) {
  return MakeGraphWithSurfaces(width, height, !not3D, g_DrawState.newGraphAlpha, 0);
}

int FreeGraph(int32_t graph, int32_t logFlag) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  // A draw target left on this graph would keep its image or surface pointing into what
  // is freed here.
  if (g_DrawState.drawTarget == graph) SetDrawTargetCore(DRAW_SCREEN_BACK);
  g_GraphicsClients.closeMovieHandle(g->movie);
  if (g->flags.texture) {
    g_Renderer3D.removeGraphTextures(g);
  } else {
    for (int32_t i = 0; i < g->surfaceCount; i++) DeleteSurface2D(g->surfaces[i]);
  }
  g->surfaceCount = 0;
  if (logFlag) WriteLogFmt("グラフィック %s の削除", g->name);
  if (g->ownedMemory) TrackedFree(g->ownedMemory);
  HandleTableRemove(&Graphs(), graph);
  if (g->deletedFlag) *g->deletedFlag = 1;
  TrackedFree(g);
  return 0;
}

int FreeAllGraphsCore(int32_t logFlag) {
  if (!g_ScreenState.graphicsStarted) return 0;
  for (int32_t slot = 0; slot < Graphs().highWater; slot++) {
    const int32_t graph = HandleTableHandleAt(&Graphs(), slot);
    if (graph != -1) FreeGraph(graph, logFlag);
  }
  return 0;
}

int WatchGraphDeletion(int32_t graph, int32_t* flag) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  g->deletedFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

GraphRecord* LookupGraph(int32_t graph) {
  return static_cast<GraphRecord*>(HandleTableGet(&Graphs(), graph));
}

int IsGraphHandleLive(int32_t graph) { return LookupGraph(graph) ? 1 : 0; }

int QueryGraphSize(int32_t graph, int32_t* width, int32_t* height) {
  if (graph == DRAW_SCREEN_FRONT || graph == DRAW_SCREEN_BACK) return QueryScreenSize(width, height);
  const GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  if (width) *width = g->width;
  if (height) *height = g->height;
  return 0;
}

int SetGraphSourcePath(int32_t graph, const char* name, int32_t other) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  g->directory[0] = '\0';
  if (name) {
    const size_t length = std::strlen(name);
    if (length >= sizeof g->name) {
      WriteLogFmt("ファイル名が長すぎるため記録できません：%s\n", name);
      g->name[0] = '\0';
      CurrentDirectoryInto(g->directory);
      return -1;
    }
    // The restore passes the record's own name back in.
    std::memmove(g->name, name, length + 1);
    CurrentDirectoryInto(g->directory);
    return 0;
  }
  const GraphRecord* from = LookupGraph(other);
  if (from) {
    if (from->directory[0]) std::memmove(g->directory, from->directory, std::strlen(from->directory) + 1);
    else CurrentDirectoryInto(g->directory);
    std::memmove(g->name, from->name, std::strlen(from->name) + 1);
    return 0;
  }
  g->name[0] = '\0';
  CurrentDirectoryInto(g->directory);
  return 0;
}

// ---- colour and loss --------------------------------------------------------------------

int PaintGraphColor(int32_t graph, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  if (g->flags.texture) return g_Renderer3D.fillGraphTextures(g, red, green, blue, alpha);
  return PaintGraphSurfaces2D(g, red, green, blue, alpha);
}

int FlagAllGraphsLost() {
  for (int32_t slot = 0; slot < Graphs().highWater; slot++)
    if (GraphRecord* g = static_cast<GraphRecord*>(g_GraphTable.slots[slot])) g->lost = 1;
  if (g_DrawState.restoreHandler) g_DrawState.restoreHandler();
  g_GraphicsClients.refreshAllFontHandles();
  return 0;
}

int RestoreGraphSurfaces(int32_t graph) {
  GraphRecord* g = LookupGraph(graph);
  if (!g) return -1;
  if (g->flags.texture) g_Renderer3D.restoreGraphTextures(g);
  else RestoreGraphSurfaces2D(g);
  g_GraphicsClients.restoreMovieSurfaces(g->movie);
  return 0;
}

int RestoreAllGraphSurfaces() {
  if (!g_ScreenState.graphicsStarted) return 0;
  RestoreLostScreenSurfaces();
  for (int32_t slot = 0; slot < Graphs().highWater; slot++) {
    const int32_t graph = HandleTableHandleAt(&Graphs(), slot);
    if (graph != -1) RestoreGraphSurfaces(graph);
  }
  return 0;
}
