// The FreeType font back end of the GDI-like layer, for sdl and headless alike: glyphs
// need no display. Faces come from our own table of names and files (no fontconfig), and
// metrics are derived from the OS/2 table the way GDI derives them, not from FreeType's
// size metrics, which read other tables and give other numbers.
#include "platform/gdi/fontbackend.h"
#include "platform/text/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr const char* kGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
constexpr const char* kProportionalGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";

// Face names (UTF-8) with a file of their own; every other name, the empty one included,
// takes the fixed-pitch gothic, as GDI's mapper substitutes a face rather than failing.
struct FaceRow {
  const char* name;
  const char* file;
};
const FaceRow kFaces[] = {
    {"ＭＳ ゴシック", kGothic},
    {"ＭＳ Ｐゴシック", kProportionalGothic},
    {"IPAPGothic", kProportionalGothic},
    {"IPAPゴシック", kProportionalGothic},
};

const char* FileOfFace(const std::string& sjis) {
  const std::string name = PlatSjisToUtf8(sjis.c_str());
  for (const FaceRow& row : kFaces)
    if (name == row.name) return row.file;
  return kGothic;
}

// Made on first use under the layer's lock and kept for the process.
FT_Library Library() {
  static FT_Library library = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) {
      std::fprintf(stderr, "platform/gdi: FreeType does not start\n");
      return FT_Library(nullptr);
    }
    return l;
  }();
  return library;
}

// One face a file, opened on first use and kept for the process: opening reads and parses
// the file's tables, which costs more than all the glyphs of a line. Each font object has
// a size object of its own on the shared face.
FT_Face SharedFace(const char* file) {
  static std::map<std::string, FT_Face> faces;
  const auto found = faces.find(file);
  if (found != faces.end()) return found->second;
  FT_Face face = nullptr;
  if (FT_New_Face(Library(), file, 0, &face) != 0) return nullptr;
  faces.emplace(file, face);
  return face;
}

struct FtFace {
  FT_Face face = nullptr;
  FT_Size size = nullptr;
  FT_Fixed scale = 0;  // the size requested, 16.16
  PlatTextMetrics tm{};
  uint32_t charSet = 0;
  bool bold = false;
  bool italic = false;
  bool mono = false;
};

void* Open(const PlatFontRequest& request) {
  FT_Library library = Library();
  if (!library) return nullptr;
  FT_Face face = SharedFace(FileOfFace(request.face));
  if (!face) return nullptr;
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const TT_HoriHeader* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (!os2 || !hhea || os2->version == 0xFFFF || face->units_per_EM == 0 ||
      os2->usWinAscent + os2->usWinDescent == 0)
    return nullptr;
  const int64_t winAscent = os2->usWinAscent, winDescent = os2->usWinDescent;
  const int64_t winHeight = winAscent + winDescent;
  const int32_t asked = request.height == 0 ? 16 : request.height;
  // Font units to 26.6 pixels in 16.16: a positive height is the cell, a negative the em.
  const FT_Long units = asked > 0 ? FT_Long(winHeight) : FT_Long(face->units_per_EM);
  const FT_Long pixels = asked > 0 ? asked : -int64_t(asked);
  const double scale = double(pixels) / double(units);
  FT_Size_RequestRec sizeRequest{};
  sizeRequest.type = FT_SIZE_REQUEST_TYPE_SCALES;
  sizeRequest.width = sizeRequest.height = FT_DivFix(pixels * 64, units);
  FT_Size ownSize = nullptr;
  if (FT_New_Size(face, &ownSize) != 0) return nullptr;
  if (FT_Activate_Size(ownSize) != 0 || FT_Request_Size(face, &sizeRequest) != 0) {
    FT_Done_Size(ownSize);
    return nullptr;
  }
  FtFace* f = new FtFace;
  f->face = face;
  f->size = ownSize;
  f->scale = sizeRequest.height;
  f->charSet = request.charSet;
  f->bold = request.weight >= 600 && !(face->style_flags & FT_STYLE_FLAG_BOLD);
  f->italic = request.italic != 0;
  f->mono = request.quality == PLAT_NONANTIALIASED_QUALITY;
  PlatTextMetrics& tm = f->tm;
  tm.ascent = int32_t(std::lround(double(winAscent) * scale));
  tm.descent = asked > 0 ? asked - tm.ascent : int32_t(std::lround(double(winDescent) * scale));
  tm.height = tm.ascent + tm.descent;
  tm.internalLeading = tm.height - int32_t(std::lround(double(face->units_per_EM) * scale));
  const int64_t gap = int64_t(hhea->Line_Gap) - (winHeight - (int64_t(hhea->Ascender) - hhea->Descender));
  tm.externalLeading = gap > 0 ? int32_t(std::lround(double(gap) * scale)) : 0;
  tm.aveCharWidth = int32_t(std::lround(double(os2->xAvgCharWidth) * scale));
  tm.maxCharWidth = int32_t(std::lround(double(hhea->advance_Width_Max) * scale)) + (f->bold ? 1 : 0);
  tm.weight = request.weight == 0 ? 400 : request.weight;
  tm.italic = f->italic ? 1 : 0;
  tm.charSet = uint8_t(request.charSet);
  return f;
}

void Close(void* face) {
  FtFace* f = static_cast<FtFace*>(face);
  FT_Done_Size(f->size);
  delete f;
}

void TextMetrics(void* face, PlatTextMetrics* out) { *out = static_cast<FtFace*>(face)->tm; }

// The code's character in the font's code page, or 0 (no character) when it does not
// convert to exactly one.
char32_t Unicode(uint32_t code, uint32_t charSet) {
  char bytes[2];
  size_t n = 0;
  if (code > 0xFF) bytes[n++] = char(code >> 8);
  bytes[n++] = char(code);
  std::u32string text;
  const int bad = charSet == PLAT_HANGEUL_CHARSET ? PlatHangulToUtf32(bytes, n, &text) : PlatSjisToUtf32(bytes, n, &text);
  return bad == 0 && text.size() == 1 ? text[0] : 0;
}

FT_Fixed ToFixed(PlatFixed f) { return FT_Fixed(int32_t(uint32_t(uint16_t(f.value)) << 16 | f.fract)); }

bool IsIdentity(const PlatMat2& m) {
  return ToFixed(m.m11) == 0x10000 && ToFixed(m.m12) == 0 && ToFixed(m.m21) == 0 && ToFixed(m.m22) == 0x10000;
}

// A glyph as GlyphOutline hands it out: its metrics, and its data in the asked format
// (empty for a glyph without data).
struct RenderedGlyph {
  PlatGlyphMetrics metrics{};
  std::vector<uint8_t> data;
};

// Renders the glyph of the code into *out; false when FreeType fails.
bool RenderGlyph(FtFace* f, uint32_t code, uint32_t format, const PlatMat2& matrix, RenderedGlyph* out) {
  FT_Face face = f->face;
  if (FT_Activate_Size(f->size) != 0) return false;
  const bool mono = format == PLAT_GGO_BITMAP;
  const char32_t c = Unicode(code, f->charSet);
  // Index 0 is the face's .notdef glyph.
  FT_UInt index = c ? FT_Get_Char_Index(face, FT_ULong(c)) : 0;
  const FT_Int32 load = FT_LOAD_NO_BITMAP | (mono && f->mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  if (FT_Load_Glyph(face, index, load) != 0) {
    index = 0;
    if (FT_Load_Glyph(face, index, load) != 0) return false;
  }
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  // FreeType renders an outline without points (a space) as one blank pixel; GDI gives
  // such a glyph no data.
  const bool noOutline = slot->outline.n_points == 0;
  FT_Vector advance = slot->advance;
  if (f->bold) {
    // One pixel across: the outline grows by 64 units of 26.6 in x, and so does the advance.
    FT_Outline_EmboldenXY(&slot->outline, 64, 0);
    advance.x += 64;
  }
  if (f->italic) FT_GlyphSlot_Oblique(slot);
  if (!IsIdentity(matrix)) {
    FT_Matrix m{ToFixed(matrix.m11), ToFixed(matrix.m21), ToFixed(matrix.m12), ToFixed(matrix.m22)};
    FT_Outline_Transform(&slot->outline, &m);
    FT_Vector_Transform(&advance, &m);
  }
  if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
  const FT_Bitmap& bm = slot->bitmap;
  const bool empty = noOutline || bm.width == 0 || bm.rows == 0;
  const uint32_t pitch = PlatGlyphPitch(format, bm.width);
  PlatGlyphMetrics& metrics = out->metrics;
  metrics.blackBoxX = empty ? 1 : bm.width;
  metrics.blackBoxY = empty ? 1 : bm.rows;
  metrics.originX = slot->bitmap_left;
  metrics.originY = slot->bitmap_top;
  metrics.cellIncX = int16_t((advance.x + 32) >> 6);
  metrics.cellIncY = int16_t((advance.y + 32) >> 6);
  out->data.assign(empty ? 0 : size_t(pitch) * bm.rows, 0);
  // FreeType's rows run downward by the pitch from the top row, wherever that lies.
  const uint8_t* top = bm.buffer + (bm.pitch < 0 ? ptrdiff_t(bm.rows - 1) * -bm.pitch : 0);
  for (uint32_t y = 0; y < (empty ? 0u : bm.rows); y++) {
    const uint8_t* src = top + ptrdiff_t(y) * bm.pitch;
    uint8_t* dst = out->data.data() + size_t(y) * pitch;
    if (mono) {
      std::memcpy(dst, src, (bm.width + 7) / 8);
    } else {
      for (uint32_t x = 0; x < bm.width; x++) dst[x] = uint8_t((uint32_t(src[x]) * 16 + 127) / 255);
    }
  }
  return true;
}

// Glyphs at the identity matrix, rendered once for the process and shared by every font
// object of the same face, size and style: a caller asks for a glyph's size and then for
// its data, and a program makes new fonts of the sizes it used before. Emptied whenever it
// would pass its cap.
using GlyphKey = std::tuple<FT_Face, FT_Fixed, uint32_t, bool, bool, bool, uint32_t, uint32_t>;
struct GlyphStore {
  std::map<GlyphKey, RenderedGlyph> glyphs;
  size_t bytes = 0;
};
constexpr size_t kGlyphStoreBytes = 8 << 20;

const RenderedGlyph* StoredGlyph(FtFace* f, uint32_t code, uint32_t format, const PlatMat2& matrix) {
  static GlyphStore store;
  const GlyphKey key{f->face, f->scale, f->charSet, f->bold, f->italic, f->mono, format, code};
  const auto found = store.glyphs.find(key);
  if (found != store.glyphs.end()) return &found->second;
  RenderedGlyph glyph;
  if (!RenderGlyph(f, code, format, matrix, &glyph)) return nullptr;
  const size_t bytes = glyph.data.size() + sizeof(RenderedGlyph) + sizeof(GlyphKey);
  if (store.bytes + bytes > kGlyphStoreBytes) {
    store.glyphs.clear();
    store.bytes = 0;
  }
  store.bytes += bytes;
  return &store.glyphs.emplace(key, std::move(glyph)).first->second;
}

uint32_t GlyphOutline(void* handle, uint32_t code, uint32_t format, PlatGlyphMetrics* metrics, uint32_t bufferSize,
                      void* buffer, const PlatMat2& matrix) {
  FtFace* f = static_cast<FtFace*>(handle);
  RenderedGlyph transformed;
  const RenderedGlyph* glyph = nullptr;
  if (IsIdentity(matrix)) glyph = StoredGlyph(f, code, format, matrix);
  else if (RenderGlyph(f, code, format, matrix, &transformed)) glyph = &transformed;
  if (!glyph) return PLAT_GDI_GLYPH_ERROR;
  const uint32_t size = uint32_t(glyph->data.size());
  if (metrics) *metrics = glyph->metrics;
  if (!buffer || bufferSize == 0) return size;
  if (bufferSize < size) return PLAT_GDI_GLYPH_ERROR;
  if (size) std::memcpy(buffer, glyph->data.data(), size);
  return size;
}

const PlatFontBackend kFreeType = {
    .name = "freetype",
    .open = Open,
    .close = Close,
    .textMetrics = TextMetrics,
    .glyphOutline = GlyphOutline,
};

}  // namespace

const PlatFontBackend* PlatFontFreeTypeBackend() { return &kFreeType; }
