// The block-glyph font back end and its switches.
#include "platform/gdi/fake/fontfake.h"

#include "platform/gdi/fontbackend.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

namespace {

struct FakeFonts {
  std::mutex mu;
  std::map<int32_t, PlatFontFakeMetrics> metrics;
  std::map<uint32_t, PlatFontFakeGlyph> glyphs;
  std::set<std::string> failFaces;
  std::set<uint32_t> failCharSets;
  std::set<uint32_t> failGlyphs;
  std::vector<PlatFontFakeCreate> creates;
  int renders = 0;
  int live = 0;
};

FakeFonts& F() {
  static FakeFonts* f = new FakeFonts;
  return *f;
}

typedef std::lock_guard<std::mutex> Lock;

struct FakeFace {
  PlatTextMetrics tm;
};

PlatFontFakeMetrics MetricsFor(FakeFonts& f, int32_t asked) {
  auto it = f.metrics.find(asked);
  if (it != f.metrics.end()) return it->second;
  const int32_t h = asked == 0 ? 16 : asked < 0 ? -asked : asked;
  return {h, h - h / 4, h / 4, std::max(h - 2, 1), std::max(h - 2, 1)};
}

void* Open(const PlatFontRequest& request) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  const bool refused = f.failFaces.count(request.face) || f.failCharSets.count(request.charSet);
  f.creates.push_back({request.height, request.weight, request.italic, request.charSet, request.quality,
                       request.pitchAndFamily, request.face, !refused});
  if (refused) return nullptr;
  const PlatFontFakeMetrics m = MetricsFor(f, request.height);
  FakeFace* face = new FakeFace{};
  face->tm.height = m.height;
  face->tm.ascent = m.ascent;
  face->tm.descent = m.descent;
  face->tm.aveCharWidth = m.aveCharWidth;
  face->tm.maxCharWidth = m.maxCharWidth;
  face->tm.weight = request.weight;
  face->tm.italic = request.italic ? 1 : 0;
  face->tm.charSet = uint8_t(request.charSet);
  f.live++;
  return face;
}

void Close(void* face) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  delete static_cast<FakeFace*>(face);
  f.live--;
}

void TextMetrics(void* face, PlatTextMetrics* out) { *out = static_cast<FakeFace*>(face)->tm; }

uint32_t GlyphOutline(void* handle, uint32_t code, uint32_t format, PlatGlyphMetrics* metrics, uint32_t bufferSize,
                      void* buffer, const PlatMat2&) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  const PlatTextMetrics& tm = static_cast<FakeFace*>(handle)->tm;
  if (f.failGlyphs.count(code)) return PLAT_GDI_GLYPH_ERROR;
  PlatFontFakeGlyph g;
  auto it = f.glyphs.find(code);
  if (it != f.glyphs.end()) {
    g = it->second;
  } else {
    const uint32_t w = uint32_t(std::max(tm.height / 2, 1));
    g = {w, uint32_t(tm.ascent), 0, tm.ascent, int16_t(w), 16};
  }
  const bool empty = g.width == 0 || g.height == 0;
  const uint32_t pitch = PlatGlyphPitch(format, g.width);
  const uint32_t size = empty ? 0 : pitch * g.height;
  if (metrics) {
    metrics->blackBoxX = empty ? 1 : g.width;
    metrics->blackBoxY = empty ? 1 : g.height;
    metrics->originX = g.originX;
    metrics->originY = g.originY;
    metrics->cellIncX = g.advance;
    metrics->cellIncY = 0;
  }
  if (!buffer || bufferSize == 0) return size;
  f.renders++;
  if (bufferSize < size) return PLAT_GDI_GLYPH_ERROR;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, size);
  for (uint32_t y = 0; y < (empty ? 0 : g.height); y++) {
    uint8_t* row = out + size_t(y) * pitch;
    for (uint32_t x = 0; x < g.width; x++) {
      if (format == PLAT_GGO_BITMAP)
        row[x / 8] |= uint8_t(0x80 >> (x % 8));
      else
        row[x] = g.level;
    }
  }
  return size;
}

const PlatFontBackend kFake = {
    .name = "fake",
    .open = Open,
    .close = Close,
    .textMetrics = TextMetrics,
    .glyphOutline = GlyphOutline,
};

}  // namespace

const PlatFontBackend* PlatFontFakeBackend() { return &kFake; }

void PlatFontFakeReset() {
  FakeFonts& f = F();
  Lock lock(f.mu);
  f.metrics.clear();
  f.glyphs.clear();
  f.failFaces.clear();
  f.failCharSets.clear();
  f.failGlyphs.clear();
  f.creates.clear();
  f.renders = 0;
}

void PlatFontFakeSetMetrics(int32_t askedHeight, const PlatFontFakeMetrics& metrics) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  f.metrics[askedHeight] = metrics;
}

void PlatFontFakeSetGlyph(uint32_t code, const PlatFontFakeGlyph& glyph) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  f.glyphs[code] = glyph;
}

void PlatFontFakeFailFace(const char* face) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  f.failFaces.insert(face ? face : "");
}

void PlatFontFakeFailCharSet(uint32_t charSet) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  f.failCharSets.insert(charSet);
}

void PlatFontFakeFailGlyph(uint32_t code) {
  FakeFonts& f = F();
  Lock lock(f.mu);
  f.failGlyphs.insert(code);
}

std::vector<PlatFontFakeCreate> PlatFontFakeCreates() {
  FakeFonts& f = F();
  Lock lock(f.mu);
  return f.creates;
}

int PlatFontFakeRenders() {
  FakeFonts& f = F();
  Lock lock(f.mu);
  return f.renders;
}

int PlatFontFakeLiveFaces() {
  FakeFonts& f = F();
  Lock lock(f.mu);
  return f.live;
}
