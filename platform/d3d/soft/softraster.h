// The soft device's rasteriser: pre-transformed triangles into host-memory surfaces, with
// the states of one draw gathered in a SoftDraw. Not for the engine.
//
// The rules, which the tests take their tables from:
// - pixel (px, py) is covered when its centre (px, py) lies inside the triangle, positions
//   snapped to 1/256 pixel, 64-bit edge functions, top-left rule; zero area draws nothing;
// - a non-finite vertex drops its triangle; a vertex beyond +-2^22 pixels has the triangle
//   clipped in double against the scissor before it is snapped;
// - diffuse and specular come from the triangle's first vertex;
// - attributes are planes in double evaluated at the pixel centre; a texture address is
//   coordinate x size rounded to 1/256 texel;
// - channels are 8 bits inside; n-bit channels widen by
//   (c << (8 - n)) + c * (2^(8-n) - 1) / (2^n - 1) and narrow by truncation.
#pragma once

#include "platform/d3d/d3d.h"

#include <cstdint>

namespace soft {

// One of the six formats the device reads and writes.
struct Layout {
  int format;                         // the row of the device's format table
  int bytes;                          // 2 or 4
  uint32_t mask[4];                   // r, g, b, a (a 0: no alpha, reads 255)
  uint8_t shift[4], bits[4];
  uint32_t colorMask;                 // r | g | b
  uint32_t keep;                      // bits of no channel, kept on writes
};
// false for a format the device cannot use.
bool LayoutOf(const PlatDDPixelFormat& format, Layout* layout);

struct Surface {
  uint8_t* bits = nullptr;
  int32_t width = 0, height = 0, pitch = 0;
  Layout layout{};
  bool keyed = false;
  uint32_t keyBits = 0;  // the key's colour-channel bits
};

struct Stage {
  uint32_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
  uint32_t coordSet;   // 0 or 1
  bool linear;
  const Surface* texture;  // null: TEXTURE reads 0xFFFFFFFF
};

struct SpanJob;
using SpanFn = void (*)(SpanJob& job, int32_t count);
enum SpanAlphaKind : uint8_t { kSpanAlphaConstant, kSpanAlphaTexel, kSpanAlphaGeneral };

// The span functions of a draw of one stage without depth, chosen once per draw for its
// formats, filter, ops, alpha test and blend; without a fetch every pixel takes the
// general path.
struct Spans {
  SpanFn fetch = nullptr, write = nullptr, copy = nullptr;
  SpanFn centredFetch = nullptr, centredCopy = nullptr;  // filtered rows at texel centres
  uint8_t alphaKind = kSpanAlphaGeneral;
  bool alphaPass[256] = {};  // by the combiner's alpha
  bool passAll = false;      // every alpha passes
};

struct Draw {
  Surface target;
  uint8_t* depth = nullptr;  // 16-bit values, same size as the target
  int32_t depthPitch = 0;
  PlatRect scissor{};        // within the target
  bool zTest = false, zWrite = false;
  uint32_t zFunc = PLAT_D3DCMP_LESSEQUAL;
  bool alphaTest = false;
  uint32_t alphaFunc = PLAT_D3DCMP_ALWAYS, alphaRef = 0;
  bool blend = false;
  uint32_t srcBlend = PLAT_D3DBLEND_ONE, destBlend = PLAT_D3DBLEND_ZERO;
  uint32_t cull = PLAT_D3DCULL_NONE;
  uint32_t textureFactor = 0xFFFFFFFFu;
  bool colorKey = false;
  int stageCount = 0;  // stages before the first whose COLOROP is DISABLE
  Stage stages[PLAT_D3D_STAGES]{};
  Spans spans;  // ChooseSpans fills them in once the states above are set
};

struct Vertex {
  float x, y, z;
  uint32_t diffuse, specular;
  float u[2], v[2];
};

// Draws one triangle; reversed: the winding counts reversed for culling (odd triangles of
// a strip).
void DrawTriangle(const Draw& draw, const Vertex& a, const Vertex& b, const Vertex& c, bool reversed);

// Draws two triangles that make a rectangle on the screen, each of three of its corners,
// as rows when the span path takes the draw and the texture's u runs along the rows and v
// down the columns alike in both: the pixels DrawTriangle gives them, one at a time. False
// when it drew nothing, the triangles being left to DrawTriangle.
bool DrawRectangle(const Draw& draw, const Vertex (&first)[3], bool firstReversed, const Vertex (&second)[3],
                   bool secondReversed);

// Chooses the draw's span functions from its states and surfaces.
void ChooseSpans(Draw* draw);

// Whether the draws of one stage without depth take the span path, which gives the general
// path's pixels faster; on unless a test compares the two.
void SetSpanPath(bool on);

// Widening and narrowing of one n-bit channel (n 1..8).
uint8_t Widen(uint32_t value, int bits);
inline uint32_t Narrow(uint32_t value8, int bits) { return value8 >> (8 - bits); }

}  // namespace soft
