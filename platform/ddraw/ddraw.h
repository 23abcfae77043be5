// DirectDraw-style surfaces in host memory, over the display (platform/display): the
// object with its cooperative level and display modes, surfaces (the primary, which is
// the display's store; a flipping chain; off-screen plain surfaces, textures and 16-bit
// Z buffers), locks, blits, flips, colour keys, palettes, clippers, loss and restore,
// and the vertical blank. One implementation serves both display back ends; the
// recording fake (platform/ddraw/fake/ddrawfake.h) injects failures and logs calls.
//
// Every object is an integer handle (0 is none) that each call checks, never trusts.
// Every call answers PLAT_DD_OK (0) or an error number (negative as a 32-bit value).
//
// Memory. A surface asked for in video memory counts against the video memory budget
// (256 MB unless a test sets another; running out is PLAT_DDERR_OUTOFVIDEOMEMORY) and
// carries PLAT_DDSCAPS_VIDEOMEMORY; otherwise it lives in system memory. Both are host
// memory. A pointer from Lock stays valid until Unlock or the surface's release, whatever
// happens meanwhile (a mode change, a restore, the release of the object).
//
// Loss. A display-mode change, or the exclusive owner's window being left (the display
// then returns to the desktop mode), loses every video-memory surface and every primary
// with its chain, of every object; managed textures are not lost. A lost surface answers
// PLAT_DDERR_SURFACELOST to locks, blits, flips and device contexts until Restore, which
// keeps its memory and fills it with PLAT_DD_POISON so that a refill can be seen. A
// primary whose mode has gone answers PLAT_DDERR_WRONGMODE to Restore. A surface of a
// released object answers PLAT_DDERR_SURFACELOST to everything but its release.
//
// Rectangles are checked against their surface and a bad one is refused whole
// (PLAT_DDERR_INVALIDRECT): nothing is written and nothing is read outside. Only a
// destination clipper clips. Blits between different pixel formats are refused
// (PLAT_DDERR_INVALIDPIXELFORMAT): the caller converts for itself.
//
// In a window the primary is the whole store, addressed in desktop coordinates.
//
// Generations. The object and its surfaces answer for the older interface generations the
// movie streams use: a view of the fourth (or first) generation of the object, and views of
// the fourth and seventh generation of a surface. A view is a handle of its own that
// reaches the same object; it is released on its own, and a surface view holds a
// reference to its surface.
//
// Overlays. Overlay surfaces exist only when the recording fake offers an overlay format;
// UpdateOverlay checks and records its calls there, and nothing is composed onto the
// display.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

typedef uint32_t PlatDDraw;        // the object, or its first-generation view
typedef uint32_t PlatDDSurface;
typedef uint32_t PlatDDClipper;
typedef uint32_t PlatDDPalette;

// ---- results ---------------------------------------------------------------------------

enum : int32_t {
  PLAT_DD_OK = 0,
  PLAT_DDERR_SURFACELOST = int32_t(0x887601C2u),
  PLAT_DDERR_EXCLUSIVEMODEALREADYSET = int32_t(0x88760245u),  // another object holds the display
  PLAT_DDERR_HWNDALREADYSET = int32_t(0x8876023Bu),  // the object is exclusive with another window
  PLAT_DDERR_HWNDSUBCLASSED = int32_t(0x8876023Au),  // the window is exclusive through another object
  PLAT_DDERR_INVALIDPARAMS = int32_t(0x8876F001u),
  PLAT_DDERR_INVALIDOBJECT = int32_t(0x8876F002u),   // not a live handle of the kind
  PLAT_DDERR_INVALIDRECT = int32_t(0x8876F003u),
  PLAT_DDERR_SURFACEBUSY = int32_t(0x8876F004u),     // locked
  PLAT_DDERR_NOTLOCKED = int32_t(0x8876F005u),
  PLAT_DDERR_OUTOFVIDEOMEMORY = int32_t(0x8876F006u),
  PLAT_DDERR_WRONGMODE = int32_t(0x8876F007u),
  PLAT_DDERR_VERTICALBLANKINPROGRESS = int32_t(0x8876F008u),
  PLAT_DDERR_INVALIDPIXELFORMAT = int32_t(0x8876F009u),
  PLAT_DDERR_UNSUPPORTEDMODE = int32_t(0x8876F00Au),
  PLAT_DDERR_NOTFOUND = int32_t(0x8876F00Bu),
  PLAT_DDERR_NOTFLIPPABLE = int32_t(0x8876F00Cu),
  PLAT_DDERR_NOCOLORKEY = int32_t(0x8876F00Du),
  PLAT_DDERR_NOOVERLAYHW = int32_t(0x8876F00Eu),
  PLAT_DDERR_PRIMARYSURFACEALREADYEXISTS = int32_t(0x8876F00Fu),
  PLAT_DDERR_NOEXCLUSIVEMODE = int32_t(0x8876F010u),
  PLAT_DDERR_ALREADYATTACHED = int32_t(0x8876F011u),
  PLAT_DDERR_NOTATTACHED = int32_t(0x8876F012u),
  PLAT_DDERR_OUTOFMEMORY = int32_t(0x8876F013u),
  PLAT_DDERR_NOTAOVERLAYSURFACE = int32_t(0x8876F014u),
};

// What Restore writes into a surface's bytes, repeated (little-endian).
constexpr uint32_t PLAT_DD_POISON = 0xDEADBEEFu;

// ---- records ---------------------------------------------------------------------------

enum : uint32_t {  // PlatDDPixelFormat.flags
  PLAT_DDPF_PALETTEINDEXED8 = 0x1,
  PLAT_DDPF_ZBUFFER = 0x2,
  PLAT_DDPF_FOURCC = 0x4,
  PLAT_DDPF_ALPHAPIXELS = 0x8,
  PLAT_DDPF_RGB = 0x40,
  // Kinds that only a device's format lists show (the engine skips them).
  PLAT_DDPF_ALPHA = 0x80,
  PLAT_DDPF_LUMINANCE = 0x100,
  PLAT_DDPF_BUMPLUMINANCE = 0x200,
  PLAT_DDPF_BUMPDUDV = 0x400,
  PLAT_DDPF_STENCILBUFFER = 0x800,
};

// 32 bytes. RGB: bitCount and the masks; Z buffer: bitCount and rMask as the depth mask;
// FOURCC: the code.
struct PlatDDPixelFormat {
  uint32_t size;  // 32
  uint32_t flags;
  uint32_t fourCC;
  uint32_t bitCount;
  uint32_t rMask, gMask, bMask, aMask;
};

enum : uint32_t {  // PlatDDSurfaceDesc.caps
  PLAT_DDSCAPS_PRIMARYSURFACE = 0x1,
  PLAT_DDSCAPS_BACKBUFFER = 0x2,
  PLAT_DDSCAPS_FRONTBUFFER = 0x4,
  PLAT_DDSCAPS_COMPLEX = 0x8,
  PLAT_DDSCAPS_FLIP = 0x10,
  PLAT_DDSCAPS_OFFSCREENPLAIN = 0x40,
  PLAT_DDSCAPS_OVERLAY = 0x80,
  PLAT_DDSCAPS_TEXTURE = 0x100,
  PLAT_DDSCAPS_VIDEOMEMORY = 0x200,
  PLAT_DDSCAPS_SYSTEMMEMORY = 0x800,
  PLAT_DDSCAPS_3DDEVICE = 0x2000,
  PLAT_DDSCAPS_ZBUFFER = 0x4000,
};
enum : uint32_t {  // PlatDDSurfaceDesc.caps2
  PLAT_DDSCAPS2_TEXTUREMANAGE = 0x1,
};
enum : uint32_t {  // PlatDDSurfaceDesc.flags: which fields are given / filled
  PLAT_DDSD_CAPS = 0x1,
  PLAT_DDSD_HEIGHT = 0x2,
  PLAT_DDSD_WIDTH = 0x4,
  PLAT_DDSD_PITCH = 0x10,
  PLAT_DDSD_BACKBUFFERCOUNT = 0x20,
  PLAT_DDSD_PIXELFORMAT = 0x40,
  PLAT_DDSD_SURFACE = 0x80,
  PLAT_DDSD_REFRESHRATE = 0x100,
};

struct PlatDDSurfaceDesc {
  uint32_t size;  // sizeof (PlatDDSurfaceDesc)
  uint32_t flags;
  uint32_t width, height;
  int32_t pitch;
  uint32_t backBufferCount;  // a flipping chain: 1
  uint32_t refreshRate;
  void* surface;             // Lock: the pixel at the rectangle's top-left
  PlatDDPixelFormat pixelFormat;
  uint32_t caps, caps2;
};

struct PlatDDColorKey {
  uint32_t low, high;  // pixel values, both ends included
};

struct PlatDDBltFx {
  uint32_t size;       // sizeof (PlatDDBltFx)
  uint32_t fillColor;  // PLAT_DDBLT_COLORFILL: a pixel value of the destination
  uint32_t fillDepth;  // PLAT_DDBLT_DEPTHFILL
};

struct PlatDDPaletteEntry {
  uint8_t red, green, blue, flags;
};

enum : uint32_t {  // PlatDDCaps.caps: the overlay's alignment limits in force
  PLAT_DDCAPS_ALIGNBOUNDARYDEST = 0x2,
  PLAT_DDCAPS_ALIGNSIZEDEST = 0x4,
  PLAT_DDCAPS_ALIGNBOUNDARYSRC = 0x8,
  PLAT_DDCAPS_ALIGNSIZESRC = 0x10,
};

// The driver caps record: 380 bytes. No overlay while both stretch limits are at or
// above 1000 and 2000.
struct PlatDDCaps {
  uint32_t size;  // 380
  uint32_t caps, caps2, colorKeyCaps, paletteCaps;
  uint32_t videoMemoryTotal, videoMemoryFree;
  uint32_t maxVisibleOverlays, currentVisibleOverlays;
  uint32_t minOverlayStretch, maxOverlayStretch;
  uint32_t surfaceCaps;
  // An overlay's source left edge and width, and its destination left edge and width,
  // are multiples of these (when the caps bit is set).
  uint32_t alignBoundarySrc, alignSizeSrc, alignBoundaryDest, alignSizeDest;
  uint32_t reserved[79];
};
static_assert(sizeof(PlatDDCaps) == 380, "the driver caps record is 380 bytes");

struct PlatDDDeviceIdentifier {
  char driver[512];       // the display back end's name
  char description[512];
  uint64_t driverVersion; // 0
};

// ---- flags -------------------------------------------------------------------------------

enum : uint32_t {  // cooperative levels
  PLAT_DDSCL_FULLSCREEN = 0x1,
  PLAT_DDSCL_NORMAL = 0x8,
  PLAT_DDSCL_EXCLUSIVE = 0x10,
};
enum : uint32_t {  // Lock
  PLAT_DDLOCK_WAIT = 0x1,
  PLAT_DDLOCK_READONLY = 0x10,
  PLAT_DDLOCK_WRITEONLY = 0x20,
};
enum : uint32_t {  // Blt
  PLAT_DDBLT_COLORFILL = 0x1,
  PLAT_DDBLT_DEPTHFILL = 0x2,
  PLAT_DDBLT_KEYSRC = 0x4,
  PLAT_DDBLT_WAIT = 0x8,
};
enum : uint32_t {  // BltFast
  PLAT_DDBLTFAST_NOCOLORKEY = 0x0,
  PLAT_DDBLTFAST_SRCCOLORKEY = 0x1,
  PLAT_DDBLTFAST_WAIT = 0x10,
};
enum : uint32_t {  // Flip
  PLAT_DDFLIP_WAIT = 0x1,
  PLAT_DDFLIP_NOVSYNC = 0x8,
};
enum : uint32_t {  // SetColorKey
  PLAT_DDCKEY_SRCBLT = 0x8,
};
enum : uint32_t {  // WaitForVerticalBlank
  PLAT_DDWAITVB_BLOCKBEGIN = 0x1,
};
enum : uint32_t {  // UpdateOverlay
  PLAT_DDOVER_HIDE = 0x200,
  PLAT_DDOVER_SHOW = 0x4000,
};
enum : uint32_t {  // CreatePalette
  PLAT_DDPCAPS_8BIT = 0x4,
};

// ---- the object --------------------------------------------------------------------------

// A new object for the one display.
int32_t PlatDDrawCreate(PlatDDraw* object);
// Releases the object (or a first-generation view). Its surfaces stay (they answer
// surface-lost); clippers are not tied to it. An exclusive object gives the display back
// (the desktop mode returns).
int32_t PlatDDrawRelease(PlatDDraw object);
// PLAT_DDSCL_NORMAL, or PLAT_DDSCL_FULLSCREEN | PLAT_DDSCL_EXCLUSIVE (the window becomes
// the display's exclusive owner). Exclusive while another object is:
// EXCLUSIVEMODEALREADYSET; exclusive again with another window: HWNDALREADYSET; normal
// for a window another object holds exclusively: HWNDSUBCLASSED.
int32_t PlatDDrawSetCooperativeLevel(PlatDDraw object, PlatWnd window, uint32_t flags);
// Sets the display mode (rate 0: the display's own) for the object's window.
int32_t PlatDDrawSetDisplayMode(PlatDDraw object, uint32_t width, uint32_t height, uint32_t bitCount,
                                uint32_t refreshRate);
int32_t PlatDDrawRestoreDisplayMode(PlatDDraw object);
// The mode in force: size, pitch, pixel format and rate.
int32_t PlatDDrawGetDisplayMode(PlatDDraw object, PlatDDSurfaceDesc* desc);
int32_t PlatDDrawGetDeviceIdentifier(PlatDDraw object, PlatDDDeviceIdentifier* id);
// Video memory in bytes (caps may be null).
int32_t PlatDDrawGetAvailableVidMem(PlatDDraw object, const PlatDDSurfaceDesc* caps, uint32_t* total,
                                    uint32_t* free);
// The driver's caps record; hel (the emulation's) may be null, and is zeroed but sized.
int32_t PlatDDrawGetCaps(PlatDDraw object, PlatDDCaps* driver, PlatDDCaps* hel);
// The first-generation view of the object: serves GetCaps and CreateSurface (the overlay
// probe) and is released with PlatDDrawRelease.
int32_t PlatDDrawQueryFirstGeneration(PlatDDraw object, PlatDDraw* view);
// The fourth-generation view of the object (the movie streams make their surfaces
// through it), released with PlatDDrawRelease.
int32_t PlatDDrawQueryFourthGeneration(PlatDDraw object, PlatDDraw* view);
// The primary's chain shows the GDI surface again (the primary always is the store).
int32_t PlatDDrawFlipToGDISurface(PlatDDraw object);
int32_t PlatDDrawWaitForVerticalBlank(PlatDDraw object, uint32_t flags);
int32_t PlatDDrawGetVerticalBlankStatus(PlatDDraw object, int* inBlank);
// PLAT_DDERR_VERTICALBLANKINPROGRESS while in the blank (line still written).
int32_t PlatDDrawGetScanLine(PlatDDraw object, uint32_t* line);

// ---- surfaces --------------------------------------------------------------------------

// desc gives caps (and width and height, but for the primary; the pixel format unless
// the display's is wanted; a back buffer count of 1 with PRIMARYSURFACE | FLIP | COMPLEX).
// Pixel formats of 8, 16 and 32 bits, 24-bit RGB in system memory, and FOURCC overlays.
// Kinds: PRIMARYSURFACE (the store, one per object), OFFSCREENPLAIN, TEXTURE (caps2
// TEXTUREMANAGE: managed), ZBUFFER (16-bit format), OVERLAY (only a format the display
// offers). VIDEOMEMORY or SYSTEMMEMORY may be asked; unasked, a surface goes to video
// memory while it fits the budget, else to system memory (but an unasked back buffer of
// the primary's chain fails instead).
int32_t PlatDDrawCreateSurface(PlatDDraw object, const PlatDDSurfaceDesc* desc, PlatDDSurface* surface);
// Releases a reference; the last one frees the surface (a chain's front frees its back
// buffer, an attached Z buffer is let go). Memory handed out by a live lock goes with it.
int32_t PlatDDSurfaceRelease(PlatDDSurface surface);
int32_t PlatDDSurfaceAddRef(PlatDDSurface surface);
// A view of the fourth or seventh generation (generation 4 or 7) of the surface: one more
// reference, released with PlatDDSurfaceRelease.
int32_t PlatDDSurfaceQueryGeneration(PlatDDSurface surface, int generation, PlatDDSurface* view);
// Places the overlay surface on dest (a primary): PLAT_DDOVER_SHOW with source (null: the
// whole overlay) onto destination (null: the whole primary), or PLAT_DDOVER_HIDE (the
// rectangles are not read). NOTAOVERLAYSURFACE for any other surface.
int32_t PlatDDSurfaceUpdateOverlay(PlatDDSurface surface, const PlatRect* source, PlatDDSurface dest,
                                   const PlatRect* destination, uint32_t flags);
// Size, pitch, pixel format and caps.
int32_t PlatDDSurfaceGetDesc(PlatDDSurface surface, PlatDDSurfaceDesc* desc);
int32_t PlatDDSurfaceGetCaps(PlatDDSurface surface, uint32_t* caps);
// rect null: the whole surface. One lock at a time: a second answers SURFACEBUSY.
int32_t PlatDDSurfaceLock(PlatDDSurface surface, const PlatRect* rect, PlatDDSurfaceDesc* desc, uint32_t flags);
int32_t PlatDDSurfaceUnlock(PlatDDSurface surface, const PlatRect* rect);
// Colour fill, depth fill, or a copy from src (nearest stretch, KEYSRC: the source's key);
// a destination clipper clips to its window's client rectangle (on the primary). Null
// rectangles are whole surfaces.
int32_t PlatDDSurfaceBlt(PlatDDSurface dst, const PlatRect* dstRect, PlatDDSurface src, const PlatRect* srcRect,
                         uint32_t flags, const PlatDDBltFx* fx);
// A copy to (x, y) without clipper or stretch; SRCCOLORKEY skips the source's key.
int32_t PlatDDSurfaceBltFast(PlatDDSurface dst, int32_t x, int32_t y, PlatDDSurface src, const PlatRect* srcRect,
                             uint32_t flags);
// PLAT_DDCKEY_SRCBLT with a key, or with null to take it off.
int32_t PlatDDSurfaceSetColorKey(PlatDDSurface surface, uint32_t flags, const PlatDDColorKey* key);
int32_t PlatDDSurfaceGetColorKey(PlatDDSurface surface, uint32_t flags, PlatDDColorKey* key);
// Swaps the memories of the chain's front (the store) and back buffer. WAIT waits on the
// raster for the next blank unless NOVSYNC is given.
int32_t PlatDDSurfaceFlip(PlatDDSurface front, PlatDDSurface target, uint32_t flags);
// The attached surface whose caps hold caps (another reference to it).
int32_t PlatDDSurfaceGetAttachedSurface(PlatDDSurface surface, uint32_t caps, PlatDDSurface* attached);
// Attaches a Z buffer of the same size.
int32_t PlatDDSurfaceAddAttachedSurface(PlatDDSurface surface, PlatDDSurface attached);
int32_t PlatDDSurfaceDeleteAttachedSurface(PlatDDSurface surface, PlatDDSurface attached);
// Calls back with each attached surface (a reference the callback releases) until it
// answers 0.
typedef int (*PlatDDEnumSurfaces)(PlatDDSurface surface, const PlatDDSurfaceDesc* desc, void* context);
int32_t PlatDDSurfaceEnumAttachedSurfaces(PlatDDSurface surface, void* context, PlatDDEnumSurfaces callback);
// PLAT_DD_OK or PLAT_DDERR_SURFACELOST.
int32_t PlatDDSurfaceIsLost(PlatDDSurface surface);
int32_t PlatDDSurfaceRestore(PlatDDSurface surface);
int32_t PlatDDSurfaceSetClipper(PlatDDSurface surface, PlatDDClipper clipper);  // 0 takes it off
int32_t PlatDDSurfaceSetPalette(PlatDDSurface surface, PlatDDPalette palette);  // 0 takes it off
// A device context's view of the pixels (for the GDI-like layer): as a lock of the whole
// surface, textures included; ReleaseDC marks a primary's change for upload.
int32_t PlatDDSurfaceGetDC(PlatDDSurface surface, PlatDDSurfaceDesc* desc);
int32_t PlatDDSurfaceReleaseDC(PlatDDSurface surface);

// ---- clippers and palettes ------------------------------------------------------------------

int32_t PlatDDrawCreateClipper(PlatDDraw object, uint32_t flags, PlatDDClipper* clipper);
int32_t PlatDDClipperSetHWnd(PlatDDClipper clipper, uint32_t flags, PlatWnd window);
int32_t PlatDDClipperGetHWnd(PlatDDClipper clipper, PlatWnd* window);
int32_t PlatDDClipperRelease(PlatDDClipper clipper);

// PLAT_DDPCAPS_8BIT with 256 entries.
int32_t PlatDDrawCreatePalette(PlatDDraw object, uint32_t flags, const PlatDDPaletteEntry* entries,
                               PlatDDPalette* palette);
int32_t PlatDDPaletteSetEntries(PlatDDPalette palette, uint32_t flags, uint32_t first, uint32_t count,
                                const PlatDDPaletteEntry* entries);
int32_t PlatDDPaletteGetEntries(PlatDDPalette palette, uint32_t flags, uint32_t first, uint32_t count,
                                PlatDDPaletteEntry* entries);
int32_t PlatDDPaletteRelease(PlatDDPalette palette);
