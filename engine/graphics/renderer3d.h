// The seam between graphics and the 3D renderer above it. Graphics and fonts reach the
// renderer only through g_Renderer3D, a table of functions: while no Direct3D device is
// started it holds the "no 3D" answers (namespace no3d: nothing drawn, -1 or 0 as the
// renderer gives with Direct3D off); the renderer's start fills it with its own functions
// and its end puts the "no 3D" ones back. The screen mode change starts the renderer
// through g_Renderer3DStart.
//
// What the renderer finds out about the device and graphics' surface records use past its
// end (the texture and depth formats it enumerated, whether it can draw to its target)
// lives here too, in g_Renderer3DState, so that both read it from below.
#pragma once

#include "engine/base/servicetable.h"
#include "engine/pixel/colorformat.h"
#include "platform/d3d/d3d.h"

#include <cstdint>

struct GraphImage;
struct GraphRecord;
struct Matrix4;
struct Rect;

// ---- the table ---------------------------------------------------------------------------

struct Renderer3D {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/graphics/renderer3dlist.h"
#undef KR_SERVICE
};
// What graphics and fonts call.
extern Renderer3D g_Renderer3D;
// The "no 3D" filling, the table's first.
extern const Renderer3D kNoRenderer3D;

namespace no3d {
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/graphics/renderer3dlist.h"
#undef KR_SERVICE
}  // namespace no3d

// A table filling that names the no3d function of each entry.
#define KR_SERVICE_NO3D(result, function, member, parameters) .member = no3d::function,

// Sets the renderer up on the DirectDraw object and its front surface, filling
// g_Renderer3D; 0, or -1 on failure with the table left "no 3D". The renderer's own start
// unless a test changed it.
extern int (*g_Renderer3DStart)();

// ---- the texture and depth formats -------------------------------------------------------

// Index 2 x kind + (1 for 32 bits): plain, alpha channel, alpha test, draw target, and
// one entry of draw targets with alpha for both depths.
enum : int32_t {
  TEXTURE_FORMAT_PLAIN16 = 0,
  TEXTURE_FORMAT_PLAIN32 = 1,
  TEXTURE_FORMAT_ALPHA16 = 2,
  TEXTURE_FORMAT_ALPHA32 = 3,
  TEXTURE_FORMAT_ALPHATEST16 = 4,
  TEXTURE_FORMAT_ALPHATEST32 = 5,
  TEXTURE_FORMAT_TARGET16 = 6,
  TEXTURE_FORMAT_TARGET32 = 7,
  TEXTURE_FORMAT_TARGET_ALPHA = 8,
  TEXTURE_FORMAT_COUNT = 9,
};

// An entry is empty while its colour format's bit depth is 0.
struct TextureFormatEntry {
  PixelFormatRecord pixelFormat;
  ColorFormat colorFormat;
};

struct TextureFormatTable {
  TextureFormatEntry entries[TEXTURE_FORMAT_COUNT];
};

// Cleared by the renderer's start, written by its enumeration, kept past its end.
struct Renderer3DState {
  TextureFormatTable textureFormats;
  PixelFormatRecord depthFormat;  // all zero when enumeration found none
  int32_t targetUnavailable;      // the device cannot draw to its render target
};

inline Renderer3DState g_Renderer3DState;

// The colour format of the texture format for graphs with those flags (any depth flag
// counts as 32 bits).
const ColorFormat* TextureFormatFor(int32_t alphaChannel, int32_t alphaTest, int32_t is32Bit, int32_t drawTarget);
// Entry n (0 to 8) of the texture formats; null past the table and while the entry is
// empty (no device has enumerated its formats, or it offered none of that kind).
const PixelFormatRecord* TextureFormatPixelFormat(int32_t n);
const ColorFormat* TextureFormatColorFormat(int32_t n);
// The entry index the creation flags choose (any depth but 16 counts as 32 bits).
int32_t SelectTextureFormatIndex(int32_t alphaChannel, int32_t drawValid, int32_t alphaTest, int32_t colorBitDepth);
const ColorFormat* SelectTextureFormatEntry(int32_t alphaChannel, int32_t drawValid, int32_t alphaTest,
                                            int32_t colorBitDepth);
// The Z-buffer format the set-up enumerated; the plain 16-bit one (0xFFFF) before a
// set-up or when none was found.
const PixelFormatRecord* DepthBufferPixelFormat(int32_t bits);
