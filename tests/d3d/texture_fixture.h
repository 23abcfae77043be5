// Texture graphs over the Direct3D renderer: Direct3D up on the fake device (which
// forwards Load and draws to the soft device, so that pixels move), graphs made as
// texture graphs, and helpers that read texels and make pictures.
#pragma once

#include "engine/d3d/texture3d.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/graphrecord.h"
#include "engine/pixel/colorformat.h"
#include "tests/d3d/d3d_fixture.h"

#include <functional>
#include <vector>

// A picture in memory the test owns.
struct Picture {
  GraphImage image{};
  std::vector<uint32_t> pixels;
};

// A 32-bit picture (alpha mask 0: XRGB) whose pixel (x, y) is pixel(x, y).
inline Picture MakePicture(int32_t width, int32_t height, uint32_t alphaMask,
                           const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  Picture p;
  p.pixels.resize(size_t(width) * size_t(height));
  for (int32_t y = 0; y < height; y++)
    for (int32_t x = 0; x < width; x++) p.pixels[size_t(y) * size_t(width) + size_t(x)] = pixel(x, y);
  SetupFormatFromMasksCore(&p.image.format, 32, 0xFF0000, 0xFF00, 0xFF, alphaMask);
  p.image.width = uint32_t(width);
  p.image.height = uint32_t(height);
  p.image.pitch = uint32_t(width) * 4;
  p.image.pixels = p.pixels.data();
  return p;
}

// Every pixel different from its neighbours: red from x, green from y, blue from both.
inline uint32_t Pattern(int32_t x, int32_t y) {
  return uint32_t(x * 7 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | uint32_t((x + y) * 3 & 0xFF);
}

class TextureTest : public Direct3DTest {
 protected:
  std::vector<int32_t> graphs;

  void SetUp() override {
    Direct3DTest::SetUp();
    if (HasFatalFailure()) return;
    PlatD3DFakeForward(1);
    Up();
    // As the graph manager's start decides with Direct3D on.
    g_GraphTable.available3D = RemoveAllTexturesIfActive() != -1;
    // Plain graphs take the screen's own format (the colour key would give them alpha).
    g_DrawState.newGraphColorKey = 0;
  }
  void TearDown() override {
    for (int32_t g : graphs) FreeGraph(g, 0);
    g_GraphTable.available3D = 0;
    Direct3DTest::TearDown();
  }

  // A new texture graph; its record (null when it could not be made).
  GraphRecord* NewGraph(int32_t width, int32_t height, int32_t alpha = 0) {
    const int32_t handle = MakeGraphWithSurfaces(width, height, 1, alpha, 0);
    if (handle == -1) return nullptr;
    graphs.push_back(handle);
    return LookupGraph(handle);
  }
  // A sub-graph of a graph made here; its record or null.
  GraphRecord* SubGraph(const GraphRecord* parent, int32_t x, int32_t y, int32_t width, int32_t height) {
    const int32_t handle = CreateSubGraph(x, y, width, height, parent->handle);
    if (handle == -1) return nullptr;
    graphs.push_back(handle);
    return LookupGraph(handle);
  }


 public:
  // What the texture graphs hold.
  static const Surface3DData* Tile(const GraphRecord* g, int32_t i) { return LookupTexture3D(g->surfaces[i]); }
  static const SurfaceData* Texture(const Surface3DData* tile) { return LookupSurfaceData(tile->surface); }
  static const ColorFormat* FormatOf(const Surface3DData* tile) {
    return TextureFormatColorFormat(Texture(tile)->formatIndex);
  }

  // Every texel of the tile's texture, row by row (TW x TH raw values).
  static std::vector<uint32_t> Texels(const Surface3DData* tile) {
    const SurfaceData* t = Texture(tile);
    std::vector<uint32_t> out;
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    if (PlatDDSurfaceLock(t->surface, nullptr, &d, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return out;
    const int bytes = int(d.pixelFormat.bitCount / 8);
    for (uint32_t y = 0; y < d.height; y++)
      for (uint32_t x = 0; x < d.width; x++)
        out.push_back(ReadPixelValue(static_cast<uint8_t*>(d.surface) + size_t(y) * size_t(d.pitch) + x * bytes,
                                     bytes));
    PlatDDSurfaceUnlock(t->surface, nullptr);
    return out;
  }
  // The texel at (x, y) of the graph, as its tile holds it.
  static uint32_t GraphTexel(const GraphRecord* g, int32_t x, int32_t y) {
    for (int32_t i = 0; i < g->surfaceCount; i++) {
      const Surface3DData* tile = Tile(g, i);
      if (x < tile->tileX || y < tile->tileY || x >= tile->tileX + tile->usedWidth ||
          y >= tile->tileY + tile->usedHeight)
        continue;
      const SurfaceData* t = Texture(tile);
      PlatDDSurfaceDesc d{};
      d.size = sizeof d;
      if (PlatDDSurfaceLock(t->surface, nullptr, &d, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return 0xBADBAD;
      const int bytes = int(d.pixelFormat.bitCount / 8);
      const int32_t tx = tile->texelX + x - tile->tileX, ty = tile->texelY + y - tile->tileY;
      const uint32_t v = ReadPixelValue(static_cast<uint8_t*>(d.surface) + size_t(ty) * size_t(d.pitch) + tx * bytes,
                                        bytes);
      PlatDDSurfaceUnlock(t->surface, nullptr);
      return v;
    }
    return 0xBADBAD;
  }
  // What a texture of the tile's format holds for the picture's pixel.
  static uint32_t Expected(const Surface3DData* tile, const Picture& p, int32_t x, int32_t y) {
    return ConvertPixelValue(FormatOf(tile), &p.image.format, p.pixels[size_t(y) * p.image.width + size_t(x)]);
  }
  static int32_t LiveRecords() { return g_Direct3D.textures.count; }
  static int32_t LiveSurfaces() { return g_SurfaceDataTable.table.count; }
};
