// Font handles: creation with the face retries, measuring, the memory cache, deletion,
// the queries, and the default font that follows the default settings.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/font/font.h"
#include "engine/font/fonttest.h"
#include "engine/font/services.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surface2d.h"
#include "platform/kernel/osinfo.h"

#include <algorithm>
#include <cstring>

FontSystem g_FontSystem;

const uint32_t kFontCharSets[3] = {PLAT_DEFAULT_CHARSET, PLAT_SHIFTJIS_CHARSET, PLAT_HANGEUL_CHARSET};

namespace {

int32_t g_TextureCacheOn2D = 0;

}  // namespace

void SetFontTextureCacheOn2DForTest(int32_t on) { g_TextureCacheOn2D = on ? 1 : 0; }
int32_t FontTextureCacheOn2DForTest() { return g_TextureCacheOn2D; }

namespace {
int32_t g_CacheGraphFailure = 0;
}  // namespace

void FailNextFontCacheGraphForTest(int32_t step) { g_CacheGraphFailure = step; }
int32_t TakeFontCacheGraphFailure() {
  const int32_t step = g_CacheGraphFailure;
  g_CacheGraphFailure = 0;
  return step;
}

namespace {

constexpr char kGothicFace[] = "ＭＳ ゴシック";

// The settings a font is made from, as RefreshAllFontHandles and the default font keep them.
struct FontSettings {
  char face[FONT_FACE_BYTES];
  int32_t size, thickness, fontType, charSet, edgeSize, italic;
};

HandleTable& Table() {
  FontSystem& fs = g_FontSystem;
  if (!fs.table.slots) HandleTableInit(&fs.table, HANDLE_TYPE_FONT, fs.slots, FONT_SLOTS);
  return fs.table;
}

// DirectDraw in use without its object: nothing can be made or drawn yet.
bool DirectDrawMissing() { return IsDirectDrawUsed() && !GetDirectDrawObject(); }

// Frees the cache graph and its edge graph; a lost one is gone already, with its edge graph.
void FreeCacheGraphs(FontRecord* f) {
  if (f->cacheGraph != -1 && !f->cacheGraphLost) {
    if (f->edgeCacheGraph != -1) FreeGraph(f->edgeCacheGraph, 0);
    FreeGraph(f->cacheGraph, 0);
  }
  f->cacheGraph = f->edgeCacheGraph = -1;
}

// Frees what the record owns and the record, clearing its slot. The watched flag turns 1.
void DestroyFont(FontRecord* f, int32_t handle) {
  if (f->gdiFont) PlatGdiDeleteObject(f->gdiFont);
  if (f->cacheMemory) TrackedFree(f->cacheMemory);
  // A lost drawing screen is gone already: once the check values have wrapped, its old
  // handle could name another font's surface.
  if (f->drawingScreen != -1 && !f->drawingScreenLost) DeleteSurface2D(f->drawingScreen);
  FreeCacheGraphs(f);
  if (f->staging.pixels) TrackedFree(f->staging.pixels);
  f->staging.pixels = nullptr;
  if (f->deletedFlag) *f->deletedFlag = 1;
  HandleTableRemove(&Table(), handle);
  TrackedFree(f);
}

FontSettings SettingsOf(const FontRecord* f) {
  FontSettings s{};
  std::memcpy(s.face, f->faceName, sizeof s.face);
  s.size = f->size;
  s.thickness = f->thickness;
  s.fontType = f->fontType;
  s.charSet = f->charSet;
  s.edgeSize = f->edgeSize;
  s.italic = f->italic;
  return s;
}

int32_t CreateFrom(const FontSettings& s, int32_t slot, int32_t check) {
  return CreateFontToHandle(s.face, s.size, s.thickness, s.fontType, s.charSet, s.edgeSize, s.italic, slot, check);
}

// The font object with the face retries, or 0 after the failure's log line.
PlatGdiObj MakeGdiFont(const char* face, int32_t size, int32_t thickness, int32_t italic, uint32_t charSet) {
  auto make = [&](const char* name, uint32_t set, uint32_t slant) {
    return PlatCreateFont(size, thickness * 100, slant, set, PLAT_NONANTIALIASED_QUALITY, PLAT_FIXED_PITCH, name);
  };
  PlatGdiObj font = 0;
  if (face && *face) {
    font = make(face, charSet, uint32_t(italic));
    if (!font) font = make(face, PLAT_DEFAULT_CHARSET, uint32_t(italic));
    if (!font) font = make(face, PLAT_SHIFTJIS_CHARSET, uint32_t(italic));
    if (!font) WriteLog("指定のフォントの作成に失敗しました\n");
  } else {
    font = make(kGothicFace, charSet, uint32_t(italic));
    if (!font) font = make(kGothicFace, PLAT_DEFAULT_CHARSET, 0);
    if (!font) font = make(nullptr, PLAT_DEFAULT_CHARSET, 0);
    if (!font) WriteLog("フォントの作成に失敗しました\n");
  }
  return font;
}

// The arguments the tables and fields cannot hold are refused before anything is made.
bool ArgumentsFit(const char* face, int32_t fontType, int32_t charSet, int32_t wantedSlot, int32_t wantedCheck) {
  if (wantedSlot < -1 || wantedSlot >= FONT_SLOTS) {
    WriteLogFmt("フォントハンドルの番号 %d は範囲外です\n", wantedSlot);
    return false;
  }
  if (wantedCheck < -1 || wantedCheck >= int32_t(HANDLE_CHECK_LIMIT)) {
    WriteLogFmt("フォントハンドルのチェック値 %d は範囲外です\n", wantedCheck);
    return false;
  }
  if (fontType < -1 || fontType > (FONT_TYPE_EDGE | FONT_TYPE_ANTIALIAS)) {
    WriteLogFmt("フォントタイプ %d には対応していません\n", fontType);
    return false;
  }
  if (charSet < -1 || charSet > 2) {
    WriteLogFmt("文字セット %d には対応していません\n", charSet);
    return false;
  }
  if (face && std::strlen(face) >= size_t(FONT_FACE_BYTES)) {
    WriteLog("フォント名が長すぎます\n");
    return false;
  }
  return true;
}

// The cell's side and height from the text metrics, in 64 bits so that a huge font cannot
// wrap them.
void CellSize(const FontRecord* f, const PlatTextMetrics& tm, int64_t* side, int64_t* height) {
  const bool edge = f->fontType & FONT_TYPE_EDGE;
  const int64_t edges = edge ? 2 * int64_t(f->edgeSize) : 0;
  int64_t cellWidth = (int64_t(tm.maxCharWidth) + 2 + edges + 7) / 8 * 8;
  int64_t cellHeight = int64_t(tm.height) + edges;
  if (cellHeight & 1) cellHeight++;
  if (cellWidth < cellHeight) cellWidth = cellHeight;
  *side = cellWidth;
  *height = cellHeight;
}

// Cell and cache sizes of the memory cache; false after the cache-memory message when the
// cache would pass IMAGE_MAX_BYTES.
bool LayOutMemoryCache(FontRecord* f, const PlatTextMetrics& tm) {
  int64_t cellWidth = 0, cellHeight = 0;
  CellSize(f, tm, &cellWidth, &cellHeight);
  const int64_t bitsPerPixel = f->fontType == 0 ? 1 : 8;
  int64_t capacity = cellWidth > 0 ? 0x50000 / (cellWidth * cellWidth) : 0;
  if (capacity < 20) capacity = 20;
  if (capacity > FONT_CACHE_MAX_GLYPHS) capacity = FONT_CACHE_MAX_GLYPHS;
  const int64_t pitch = (cellWidth * bitsPerPixel + 7) / 8;
  const int64_t bytes = pitch * capacity * cellWidth;
  if (cellHeight < 1 || bytes > IMAGE_MAX_BYTES) {
    WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    return false;
  }
  f->cellWidth = int32_t(cellWidth);
  f->cellHeight = int32_t(cellHeight);
  f->cacheBitsPerPixel = int32_t(bitsPerPixel);
  f->capacity = int32_t(capacity);
  f->cacheWidth = f->cellWidth;
  f->cacheHeight = int32_t(capacity * cellWidth);
  f->glyphsPerColumn = f->capacity;
  f->cachePitch = int32_t(pitch);
  f->cacheMemory = static_cast<uint8_t*>(TrackedCalloc(size_t(bytes), __FILE__, __LINE__));
  if (!f->cacheMemory) {
    WriteLog("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    return false;
  }
  return true;
}

// The texture cache needs the Direct3D renderer drawing with a device, and its two 16-bit
// texture formats with alpha: 4:4:4:4 for anti-aliased glyphs, 1:5:5:5 for the others.
bool TextureCacheWanted() {
  if (g_TextureCacheOn2D) return true;
  if (!g_DrawState.use3D || !g_Renderer3D.currentDevice3D() || IsSoftwareRendering()) return false;
  ColorFormat blended{}, tested{};
  StagingFormat(true, &blended);
  StagingFormat(false, &tested);
  const ColorFormat* a = TextureFormatFor(1, 0, 0, 0);
  const ColorFormat* t = TextureFormatFor(0, 1, 0, 0);
  return a && t && SameColorFormat(a, &blended) && SameColorFormat(t, &tested);
}

// The texture cache's size: 512 x 512, doubled (width first) until ten cells fit, at most
// 2024 glyphs; false when the cache graph (twice as wide for edge fonts, 16 bits) or the
// staging image would pass IMAGE_MAX_BYTES.
bool LayOutTextureCache(FontRecord* f, const PlatTextMetrics& tm) {
  int64_t side = 0, cellHeight = 0;
  CellSize(f, tm, &side, &cellHeight);
  if (side < 1 || cellHeight < 1) return false;
  int64_t width = 512, height = 512;
  int64_t capacity = (width / side) * (height / side);
  while (capacity < 10) {
    if (width <= height) width *= 2;
    else height *= 2;
    if (width * height * 4 > IMAGE_MAX_BYTES) return false;
    capacity = (width / side) * (height / side);
  }
  if (width * height * 4 > IMAGE_MAX_BYTES) return false;
  f->cellWidth = int32_t(side);
  f->cellHeight = int32_t(cellHeight);
  f->capacity = int32_t(std::min<int64_t>(capacity, FONT_CACHE_MAX_GLYPHS));
  f->cacheWidth = int32_t(width);
  f->cacheHeight = int32_t(height);
  f->glyphsPerColumn = int32_t(height / side);
  return true;
}

// The staging image of one cell: the cell's side (doubled for edge fonts, the edges on the
// right) by the side plus both edges, in the texture's 16-bit format, zero-filled; false
// when its pixels cannot be had.
bool MakeStagingImage(FontRecord* f) {
  const bool edge = f->fontType & FONT_TYPE_EDGE;
  GraphImage& s = f->staging;
  StagingFormat((f->fontType & FONT_TYPE_ANTIALIAS) != 0, &s.format);
  s.width = uint32_t(edge ? 2 * f->cellWidth : f->cellWidth);
  s.height = uint32_t(edge ? f->cellWidth + 2 * f->edgeSize : f->cellWidth);
  s.pitch = s.width * s.format.bytesPerPixel;
  s.pixels = TrackedCalloc(size_t(s.pitch) * s.height, __FILE__, __LINE__);
  return s.pixels != nullptr;
}

}  // namespace

void StagingFormat(bool antiAliased, ColorFormat* format) {
  *format = ColorFormat{};
  if (antiAliased) SetupFormatFromMasksCore(format, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
  else SetupFormatFromMasksCore(format, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
}

int32_t CreateFontToHandle(const char* face, int32_t size, int32_t thickness, int32_t fontType, int32_t charSet,
                           int32_t edgeSize, int32_t italic, int32_t wantedSlot, int32_t wantedCheck) {
  if (DirectDrawMissing()) return -1;
  if (!ArgumentsFit(face, fontType, charSet, wantedSlot, wantedCheck)) return -1;
  if (fontType == -1) fontType = 0;
  if (edgeSize > 1) fontType |= FONT_TYPE_EDGE;
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  if (edgeSize == -1) edgeSize = 1;
  if (charSet == -1) charSet = PlatGetOemCodePage() == 949 ? 2 : 1;
  // The edge brushes are indexed by the edge size.
  if ((fontType & FONT_TYPE_EDGE) && edgeSize < 1) {
    WriteLogFmt("縁の太さ %d の縁付きフォントは作成できません\n", edgeSize);
    return -1;
  }

  FontSystem& fs = g_FontSystem;
  HandleTable& table = Table();
  int32_t slot = wantedSlot;
  if (slot != -1) {
    if (fs.slots[slot]) return -1;
  } else {
    for (slot = 0; slot < FONT_SLOTS && fs.slots[slot]; slot++) {
    }
    if (slot == FONT_SLOTS) {
      WriteLogFmt("作成できるフォントハンドル数 %d の限界を超えました", int(FONT_SLOTS));
      return -1;
    }
  }

  FontRecord* f = static_cast<FontRecord*>(TrackedCalloc(sizeof(FontRecord), __FILE__, __LINE__));
  if (!f) {
    WriteLog("フォント管理用メモリの確保に失敗しました\n");
    return -1;
  }
  f->drawingScreen = -1;
  f->cacheGraph = -1;
  f->edgeCacheGraph = -1;
  const uint32_t counter = table.nextCheck;
  int32_t handle = HandleTableAddAt(&table, f, slot);
  if (wantedCheck != -1) {
    // A font made again keeps its handle; the counter is not used.
    f->check = uint32_t(wantedCheck);
    table.nextCheck = counter;
    handle = MakeHandle(HANDLE_TYPE_FONT, f->check, slot);
  }

  if (QueryScreenDepth() == 8) fontType &= ~FONT_TYPE_ANTIALIAS;
  f->edgeSize = edgeSize;
  f->fontType = fontType;
  f->size = size;
  f->thickness = thickness;
  f->italic = italic;
  f->extraAdvance = 0;
  f->textureCache = TextureCacheWanted() ? 1 : 0;
  if (face) StrCopy(f->faceName, face);

  f->gdiFont = MakeGdiFont(face, size, thickness, italic, kFontCharSets[charSet]);
  if (!f->gdiFont) {
    DestroyFont(f, handle);
    return -1;
  }

  const PlatDC dc = PlatGdiCreateCompatibleDC(0);
  if (!dc) {
    WriteLog("ＤＣの取得に失敗しました\n");
    // Deleted here once: the record no longer holds it.
    PlatGdiDeleteObject(f->gdiFont);
    f->gdiFont = 0;
    DestroyFont(f, handle);
    return -1;
  }
  PlatTextMetrics tm{};
  const PlatGdiObj old = PlatGdiSelectObject(dc, f->gdiFont);
  const int measured = PlatGetTextMetrics(dc, &tm);
  PlatGdiSelectObject(dc, old);
  PlatGdiDeleteDC(dc);
  if (!measured) {
    WriteLog("ＤＣの取得に失敗しました\n");
    DestroyFont(f, handle);
    return -1;
  }

  if (f->textureCache) {
    if (!LayOutTextureCache(f, tm)) {
      f->textureCache = 0;
    } else {
      f->cacheGraphLost = 1;
      if (RestoreFontCacheGraphs(handle) != 0) f->textureCache = 0;
    }
    if (!f->textureCache) {
      // What was made of the texture cache goes; the glyphs live in memory instead.
      WriteLog("テクスチャ文字キャッシュの作成に失敗しました\n");
      FreeCacheGraphs(f);
      f->cacheGraphLost = 0;
    } else if (!MakeStagingImage(f)) {
      WriteLog("文字キャッシュ処理用メモリの確保に失敗しました\n");
      DestroyFont(f, handle);
      return -1;
    }
  }
  if (!f->textureCache) {
    if (!LayOutMemoryCache(f, tm)) {
      DestroyFont(f, handle);
      return -1;
    }
    f->drawingScreenLost = 1;
    if (RestoreFontCacheGraphs(handle) != 0) {
      WriteLog("フォント用描画スクリーンの作成に失敗しました\n");
      DestroyFont(f, handle);
      return -1;
    }
  }

  ClearFontGlyphCache(handle);
  f->charSet = charSet;
  f->deletedFlag = nullptr;
  return handle;
}

int DeleteFontHandle(int32_t font) {
  FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  DestroyFont(f, font);
  return 0;
}

FontRecord* GetFontRecord(int32_t font) { return static_cast<FontRecord*>(HandleTableGet(&Table(), font)); }

int IsFontHandleValid(int32_t font) { return GetFontRecord(font) ? 1 : 0; }

int QueryFontSize(int32_t font) {
  const FontRecord* f = GetFontRecord(font);
  return f ? f->size : -1;
}

int QueryFontSettings(char* face, int32_t* size, int32_t* thickness, int32_t font) {
  const FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  if (face) std::memcpy(face, f->faceName, sizeof f->faceName);
  if (size) *size = f->size;
  if (thickness) *thickness = f->thickness;
  return 0;
}

int QueryDefaultFont() { return g_FontSystem.defaultFont; }

int SetFontExtraAdvance(int32_t extraAdvance, int32_t font) {
  FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  f->extraAdvance = extraAdvance;
  return 0;
}

int WatchFontDeletion(int32_t font, int32_t* flag) {
  FontRecord* f = GetFontRecord(font);
  if (!f) return -1;
  f->deletedFlag = flag;
  if (flag) *flag = 0;
  return 0;
}

int RefreshAllFontHandles() {
  for (int32_t slot = 0; slot < FONT_SLOTS; slot++) {
    const int32_t font = HandleTableHandleAt(&Table(), slot);
    const FontRecord* f = GetFontRecord(font);
    if (!f) continue;
    const FontSettings s = SettingsOf(f);
    const uint32_t check = f->check;
    const int32_t extraAdvance = f->extraAdvance;
    DeleteFontHandle(font);
    const int32_t made = CreateFrom(s, slot, int32_t(check));
    SetFontExtraAdvance(extraAdvance, made);
  }
  return 0;
}

int RefreshDefaultFont() {
  FontSystem& fs = g_FontSystem;
  const FontRecord* f = GetFontRecord(fs.defaultFont);
  if (f && StrCompare(f->faceName, fs.defaultFace) == 0 && f->fontType == fs.defaultType &&
      f->size == fs.defaultSize && f->thickness == fs.defaultThickness && f->charSet == fs.defaultCharSet &&
      f->edgeSize == fs.defaultEdgeSize && f->italic == fs.defaultItalic)
    return 0;
  DeleteFontHandle(fs.defaultFont);
  fs.defaultFont = CreateFontToHandle(fs.defaultFace, fs.defaultSize, fs.defaultThickness, fs.defaultType,
                                      fs.defaultCharSet, (fs.defaultType & FONT_TYPE_EDGE) ? fs.defaultEdgeSize : -1,
                                      fs.defaultItalic, -1, -1);
  SetFontExtraAdvance(fs.defaultExtraAdvance, fs.defaultFont);
  return 0;
}

int ApplyDefaultFontSize(int32_t size, int32_t thickness) {
  if (DirectDrawMissing()) return -1;
  g_FontSystem.defaultSize = size == -1 ? 16 : size;
  g_FontSystem.defaultThickness = thickness == -1 ? 6 : thickness;
  RefreshDefaultFont();
  return 0;
}

namespace {

void DeleteEveryFont() {
  for (int32_t slot = 0; slot < FONT_SLOTS; slot++) {
    const int32_t font = HandleTableHandleAt(&Table(), slot);
    if (font != -1) DeleteFontHandle(font);
  }
}

}  // namespace

int InitializeFontSystem() {
  if (DirectDrawMissing()) return -1;
  FontSystem& fs = g_FontSystem;
  WriteLog("フォントの初期化を行います\n");
  LogIndentIn();
  const FontRecord* f = GetFontRecord(fs.defaultFont);
  const bool remembered = f != nullptr;
  const FontSettings s = remembered ? SettingsOf(f) : FontSettings{};
  DeleteEveryFont();
  fs.defaultFont = remembered ? CreateFrom(s, -1, -1) : CreateFontToHandle("", 16, 6, -1, -1, -1, 0, -1, -1);
  LogIndentOut();
  WriteLog("フォントの初期化は正常に終了しました\n");
  return 0;
}

int ResetFontDefaults() {
  FontSystem& fs = g_FontSystem;
  // Fonts still alive would be lost with their slots: they go first.
  DeleteEveryFont();
  if (fs.scratchCells) TrackedFree(fs.scratchCells);
  fs = FontSystem{};
  fs.defaultType = 0;
  fs.defaultSize = 16;
  fs.defaultThickness = 6;
  fs.defaultCharSet = 1;
  fs.defaultEdgeSize = 1;
  fs.defaultItalic = 0;
  fs.defaultExtraAdvance = 0;
  InitializeFontSystem();
  return 0;
}

int DeleteAllFonts() {
  FontSystem& fs = g_FontSystem;
  InitializeFontSystem();
  // Every font, not only the default one: without a DirectDraw object the start above
  // deleted none of them.
  DeleteEveryFont();
  fs.defaultFont = -1;
  if (fs.scratchCells) TrackedFree(fs.scratchCells);
  fs.scratchCells = nullptr;
  fs.scratchCapacity = 0;
  return 0;
}
