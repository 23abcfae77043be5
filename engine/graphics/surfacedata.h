// Surface records: the pixels that graphs draw from. A record holds one DirectDraw-style
// surface (a plain off-screen surface or a texture), or a software image when the screen
// is software-rendered or the pixels must stay in system memory, and optionally a depth
// buffer. 2D surface handles (surface2d.h) and the 3D texture records share a record
// through its reference count.
#pragma once

#include "engine/base/handle.h"
#include "engine/base/rect.h"
#include "engine/pixel/colorformat.h"
#include "engine/softimage/memimg.h"
#include "platform/ddraw/ddraw.h"

#include <cstdint>

enum : int32_t { SURFACE_DATA_SLOTS = 65536 };

// The surface format indexes: 0-8 texture formats (even 16-bit, odd 32-bit: 0/1 plain,
// 2/3 alpha, 4/5 alpha test, 6/7 draw-valid, 8 draw-valid with alpha or alpha test),
// 9 a plain surface, 10-13 software images.
enum : int32_t {
  SURFACE_FORMAT_TEXTURE_LAST = 8,
  SURFACE_FORMAT_PLAIN = 9,
  SURFACE_FORMAT_IMAGE16 = 10,
  SURFACE_FORMAT_IMAGE16_ALPHA = 11,
  SURFACE_FORMAT_IMAGE32 = 12,
  SURFACE_FORMAT_IMAGE32_ALPHA = 13,
};

// The nine creation bytes a graph (or a texture record) hands over, in this order; a
// graph keeps the same nine bytes.
struct SurfaceCreateFlags {
  uint8_t texture;           // a texture for the 3D renderer
  uint8_t alpha;             // the pixels carry alpha
  uint8_t drawValid;         // may be a draw target
  uint8_t systemMemory;      // keep the pixels in system memory
  uint8_t textureManageOff;  // textures: ask for no texture management
  uint8_t alphaTest;         // the colour key works as an alpha test (a graph's colour-key flag)
  uint8_t bitDepth;          // 16 or 32
  uint8_t oneChannel;        // software image of one 8-bit channel
  uint8_t palette;           // software image with a palette
};
static_assert(sizeof(SurfaceCreateFlags) == 9, "the creation flags are nine bytes");

struct SurfaceData {
  uint32_t check;            // first, as the handle table wants
  int32_t* deletedFlag;      // set to 1 when the record goes; null when none
  SurfaceCreateFlags flags;  // as normalised by AddSurfaceData
  int32_t softwareImage;     // 1: the pixels are image, not surface
  int32_t formatIndex;       // SURFACE_FORMAT_* or a texture format
  int32_t depthFlag;         // a depth buffer is wanted
  PlatDDSurface surface;     // the colour surface, or 0
  MEMIMG image;              // the colour software image (valid or not)
  PlatDDSurface depthSurface;  // the 16-bit depth surface attached, or 0
  MEMIMG depthImage;         // the software depth image (one 16-bit channel)
  uint32_t colorKey;         // 0x00RRGGBB
  uint16_t width, height;
  int32_t refCount;
  // The nested lock: what the first lock gave, and how deep it is.
  int32_t lockPitch;
  uint8_t* lockPointer;
  int32_t lockCount;
  Rect lockRect;             // the first lock's rectangle (the whole surface for none)
};

// The table of records (the generic handle table over its slots); StartGraphManager
// clears it with the graph table.
struct SurfaceDataTable {
  void* slots[SURFACE_DATA_SLOTS];
  HandleTable table;
};
extern SurfaceDataTable g_SurfaceDataTable;

// A new record of width x height (1 to 65535 each) with its surface objects made and its
// colour key applied; the handle, or -1 with a log line.
int32_t AddSurfaceData(int32_t refCount, int32_t width, int32_t height, uint32_t colorKey,
                       const SurfaceCreateFlags* flags);
// Releases the objects, sets the deleted flag and frees the record; 0, or -1 for a bad
// handle.
int RemoveSurfaceData(int32_t handle);
// The record of a valid handle, or null.
SurfaceData* LookupSurfaceData(int32_t handle);
// The reference count after adding or taking one, or -1 for a bad handle. Removing the
// record at 0 is the caller's step.
int AddSurfaceReference(int32_t handle);
int ReleaseSurfaceReference(int32_t handle);

// Makes the record's surface or image (and depth buffer when wanted); 0 when it already
// exists, -1 with a log line.
int CreateSurfaceObjects(int32_t handle);
// Releases the surface and depth buffer, or the images; the record stays. 0 or -1.
int ReleaseSurfaceObjects(int32_t handle);
// Gives the record a depth buffer (flag 1) or takes it away (0); 0, or -1 when the record
// cannot draw or the buffer cannot be made.
int SetSurfaceDepthBuffer(int32_t handle, int32_t flag);
// Sets the record's colour key on its surface (nothing without one); 0 or -1.
int ApplySurfaceColorKey(int32_t handle);
// 0 when there is no surface or it is not lost; a lost surface is restored (its pixels
// are poisoned) and -1 tells the caller to refill it. -1 for a bad handle.
int RestoreSurfaceIfLost(int32_t handle);

// Locks the rectangle (the whole surface for null): *pitch and *pixels give its top-left
// pixel, *format (when not null) the pixels' format. 0 for a new lock; -2 for a nested
// lock of the same rectangle (the first lock's pitch and pointer, one level deeper);
// -1 for a bad handle, a failed lock, or a nested lock of another rectangle.
int LockSurfaceData(int32_t handle, int32_t* pitch, uint8_t** pixels, int32_t writeOnly,
                    const Rect* rect, const ColorFormat** format);
// One level less; the surface is unlocked at 0. 0, or -1 when not locked.
int UnlockSurfaceData(int32_t handle, const Rect* rect);
// Fills the whole surface or image with the colour in its format; 0 or -1.
int FillSurfaceData(int32_t handle, int32_t red, int32_t green, int32_t blue, int32_t alpha);

// The texture format index (0-8) that the flags choose.
int32_t ChooseTextureFormatIndex(const SurfaceCreateFlags* flags);
