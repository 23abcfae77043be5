// The GDI-like layer over the display (platform/display): device contexts of windows, of
// memory and of DirectDraw-style surfaces; bitmaps and DIB sections; copies between any
// two device contexts with format conversion; DIBs drawn from caller memory; device caps;
// fonts with their text metrics and glyph outlines; and display settings. One
// implementation serves both display back ends; the recording fake
// (platform/gdi/fake/gdifake.h) injects failures and logs calls. Fonts have back ends of
// their own (FreeType for sdl and headless, block glyphs for tests: fake/fontfake.h).
//
// Device contexts and objects are integer handles (0 is none) that each call checks.
//
// Coordinates. A window's device context has its origin at the client area's top-left
// and draws into the display's store there, clipped to the client area and to the store;
// a draw marks the store for upload. The screen's (PlatGdiGetDC(0)) is the whole store.
// A memory device context draws into the bitmap selected into it; a surface's into the
// surface's pixels, which stay locked while its device context is out.
//
// Colours. Pixels are converted through 0xRRGGBB: channels narrower than 8 bits widen by
// repeating their bits, and wider ones keep their top 8. Into 8 bits or fewer the nearest
// colour-table entry is taken (squared distance, the lowest index on a tie). Palettised
// windows, screens, surfaces and compatible bitmaps use the display's palette.
//
// DIBs. Every call that reads or writes DIB bits takes their size in bytes and refuses a
// header that does not fit them: a header size below 40; bit counts other than 1, 4, 8,
// 16, 24 and 32; compressions other than RGB and BITFIELDS (16 and 32 bits only); colour
// tables longer than the bit count allows (or than 256); widths of 0 or less, heights of
// 0, or either past 32767 in magnitude (a negative height is a top-down picture); rows
// that need more bytes than the buffer holds. Rows are padded to 4 bytes. The source y of
// a DIB copy counts from the bottom of the picture, for top-down pictures too.
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/window/window.h"

#include <cstddef>
#include <cstdint>

typedef uint32_t PlatDC;
typedef uint32_t PlatGdiObj;  // a bitmap or a font

// ---- DIB records ---------------------------------------------------------------------------

enum : uint32_t {  // PlatBitmapInfoHeader.compression
  PLAT_BI_RGB = 0,
  PLAT_BI_BITFIELDS = 3,
};

// 40 bytes.
struct PlatBitmapInfoHeader {
  uint32_t size;    // 40 (larger headers are taken as their first 40 bytes)
  int32_t width;
  int32_t height;   // negative: top-down rows
  uint16_t planes;
  uint16_t bitCount;
  uint32_t compression;
  uint32_t sizeImage;
  int32_t xPelsPerMeter, yPelsPerMeter;
  uint32_t clrUsed;  // colour-table entries (0: all the bit count allows)
  uint32_t clrImportant;
};
static_assert(sizeof(PlatBitmapInfoHeader) == 40, "the DIB header is 40 bytes");

// The header and what follows it: the colour table (0x00RRGGBB, which is a DIB's blue,
// green, red, zero in memory), or with BITFIELDS the red, green and blue masks.
struct PlatBitmapInfo {
  PlatBitmapInfoHeader header;
  uint32_t colors[256];
};

enum : uint32_t {  // DIB colour use
  PLAT_DIB_RGB_COLORS = 0,
};

// What PlatGdiGetObject gives of a bitmap.
struct PlatBitmap {
  int32_t type;        // 0
  int32_t width, height;
  int32_t widthBytes;  // row bytes, padded to 4
  uint16_t planes;     // 1
  uint16_t bitsPixel;
  void* bits;          // a DIB section's pixels; null for a compatible bitmap
};

enum : uint32_t {  // raster operations
  PLAT_SRCCOPY = 0x00CC0020u,
};

// ---- device contexts -----------------------------------------------------------------------

// The device context of a window's client area, or of the whole screen (window 0); 0 for
// a window that is not there.
PlatDC PlatGdiGetDC(PlatWnd window);
// 1, or 0 when dc is not that window's.
int PlatGdiReleaseDC(PlatWnd window, PlatDC dc);
// A memory device context in the display's format (dc 0) or dc's, holding its own 1 x 1
// bitmap until another is selected; 0 for a bad dc.
PlatDC PlatGdiCreateCompatibleDC(PlatDC dc);
// Deletes a memory device context (its bitmap is let go, not deleted); 1 or 0.
int PlatGdiDeleteDC(PlatDC dc);

// The device context of a surface, which stays locked until PlatGdiReleaseSurfaceDC. The
// surface's refusals stand (PLAT_DDERR_SURFACELOST, PLAT_DDERR_SURFACEBUSY, ...); a depth
// buffer or a FOURCC surface answers PLAT_DDERR_INVALIDPIXELFORMAT. A device context whose
// surface was released or lost meanwhile draws nothing and answers failure.
int32_t PlatGdiGetSurfaceDC(PlatDDSurface surface, PlatDC* dc);
int32_t PlatGdiReleaseSurfaceDC(PlatDDSurface surface, PlatDC dc);

// ---- objects -------------------------------------------------------------------------------

// A bitmap in dc's format (a memory dc: its selected bitmap's), top-down; 0 when refused.
PlatGdiObj PlatGdiCreateCompatibleBitmap(PlatDC dc, int32_t width, int32_t height);
// A DIB section as info describes it, zero-filled; *bits gets its pixels. dc may be 0.
PlatGdiObj PlatGdiCreateDIBSection(PlatDC dc, const PlatBitmapInfo* info, uint32_t usage, void** bits);
// Selects a bitmap into a memory device context: the previous one, or 0 when refused
// (not a memory dc, or the bitmap is selected into another). Selects a font into any
// device context (a font may be in several): the previous font, which for a device
// context that never had one is the stock font PLAT_STOCK_FONT.
PlatGdiObj PlatGdiSelectObject(PlatDC dc, PlatGdiObj object);
// 1, or 0 for a bad handle, an object selected into a device context, a memory device
// context's own bitmap, or the stock font.
int PlatGdiDeleteObject(PlatGdiObj object);
// Copies the object's record (PlatBitmap for a bitmap) into out, at most bytes of it;
// answers the bytes written, 0 for a bad handle. out null answers the record's size.
int PlatGdiGetObject(PlatGdiObj object, int bytes, void* out);

// ---- fonts -----------------------------------------------------------------------------------
//
// A face name is Shift-JIS and goes through the back end's own table; an unknown name is
// substituted rather than refused, so a font fails only when its face file is missing.
// A positive height is the cell height (ascent + descent), a negative one the em height;
// 0 takes a cell height of 16.

enum : uint32_t {
  PLAT_DEFAULT_CHARSET = 1,
  PLAT_SHIFTJIS_CHARSET = 128,
  PLAT_HANGEUL_CHARSET = 129,
  PLAT_NONANTIALIASED_QUALITY = 3,  // mono hinting and rendering for the one-bit format
  PLAT_FIXED_PITCH = 1,
};

// The font every device context holds until another is selected; it has no glyphs.
constexpr PlatGdiObj PLAT_STOCK_FONT = 0x05000000u;

// A font object, or 0.
PlatGdiObj PlatCreateFont(int32_t height, int32_t weight, uint32_t italic, uint32_t charSet, uint32_t quality,
                          uint32_t pitchAndFamily, const char* face);

struct PlatTextMetrics {
  int32_t height;  // ascent + descent
  int32_t ascent, descent;
  int32_t internalLeading, externalLeading;
  int32_t aveCharWidth, maxCharWidth;
  int32_t weight;
  uint8_t italic;
  uint8_t charSet;
};
// The metrics of the font selected into dc; 1, or 0 for a bad dc or the stock font.
int PlatGetTextMetrics(PlatDC dc, PlatTextMetrics* out);

enum : uint32_t {  // PlatGetGlyphOutline formats
  PLAT_GGO_BITMAP = 1,        // one bit a pixel, most significant first, 1 = ink
  PLAT_GGO_GRAY4_BITMAP = 5,  // one byte a pixel, levels 0 to 16
};
constexpr uint32_t PLAT_GDI_GLYPH_ERROR = 0xFFFFFFFFu;

struct PlatGlyphMetrics {
  uint32_t blackBoxX, blackBoxY;  // the bitmap's size; 1 x 1 for an empty glyph
  int32_t originX, originY;       // left bearing, top above the baseline
  int16_t cellIncX, cellIncY;     // the advance
};
// 16.16 fixed point, as GDI's MAT2: the transform applied to the outline.
struct PlatFixed {
  uint16_t fract;
  int16_t value;
};
struct PlatMat2 {
  PlatFixed m11, m12, m21, m22;
};
// The glyph of a character code (first byte x 256 + second, or the one byte) in the font
// selected into dc, in the given format. Rows run top first, each padded to 4 bytes; an
// empty glyph has data size 0. With buffer null (or size 0) only the metrics and the data
// size come back. A code that does not convert, or that the face lacks, gives the face's
// .notdef glyph. Answers the data size, or PLAT_GDI_GLYPH_ERROR for a bad dc, the stock
// font, a bad format or matrix, or a buffer smaller than the data.
uint32_t PlatGetGlyphOutline(PlatDC dc, uint32_t code, uint32_t format, PlatGlyphMetrics* metrics,
                             uint32_t bufferSize, void* buffer, const PlatMat2* matrix);

// ---- copies ----------------------------------------------------------------------------------

// Copies a rectangle between any two device contexts (SRCCOPY only), converting formats,
// clipped to both; 1, or 0 when refused (PlatGdiGetLastError says why).
int PlatGdiBitBlt(PlatDC dst, int32_t x, int32_t y, int32_t width, int32_t height, PlatDC src, int32_t xSrc,
                  int32_t ySrc, uint32_t rop);
// Draws rows of a DIB at (x, y): the source rectangle has its lower-left corner at
// (xSrc, ySrc) counted from the picture's bottom-left; bits hold the rows counted from the
// bottom startScan to startScan + lines (top-down pictures keep them top first). Answers
// the rows drawn from, 0 when refused.
int PlatGdiSetDIBitsToDevice(PlatDC dc, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t xSrc,
                             int32_t ySrc, uint32_t startScan, uint32_t lines, const void* bits, size_t bitsBytes,
                             const PlatBitmapInfo* info, uint32_t usage);
// Stretches a DIB's source rectangle onto a destination rectangle, nearest (SRCCOPY). A
// negative width or height walks backwards from its start: source columns xSrc,
// xSrc - 1, ... so that (width - 1, -width) is the exact mirror, and likewise for the
// destination. The source y counts from the picture's bottom. Answers |heightSrc|, 0
// when refused.
int PlatGdiStretchDIBits(PlatDC dc, int32_t xDst, int32_t yDst, int32_t widthDst, int32_t heightDst, int32_t xSrc,
                         int32_t ySrc, int32_t widthSrc, int32_t heightSrc, const void* bits, size_t bitsBytes,
                         const PlatBitmapInfo* info, uint32_t usage, uint32_t rop);
// Reads rows of a bitmap into bits in the DIB format info describes (top-down for a
// negative height); the rows are counted from the bottom, startScan to startScan + lines,
// and come out whole (padding, and pixels past the bitmap, are 0). Into 8 bits or fewer the colour table
// given is used. Answers the rows copied, 0 when refused.
int PlatGdiGetDIBits(PlatDC dc, PlatGdiObj bitmap, uint32_t startScan, uint32_t lines, void* bits,
                     size_t bitsBytes, const PlatBitmapInfo* info, uint32_t usage);
enum : uint32_t {  // PlatGdiGetLastError
  PLAT_ERROR_INVALID_HANDLE = 6,      // a device context that is not there, or draws nothing
  PLAT_ERROR_GEN_FAILURE = 31,        // the device failed (the fake's injected failure)
  PLAT_ERROR_INVALID_PARAMETER = 87,  // a raster operation other than SRCCOPY
};
// Why this thread's last refused PlatGdiBitBlt was refused; a copy that succeeds leaves
// it as it was.
uint32_t PlatGdiGetLastError();
// Drawing is never deferred: 1.
int PlatGdiFlush();
// Fills a rectangle (dc coordinates, clipped) with 0xRRGGBB; 1 or 0.
int PlatGdiFillRect(PlatDC dc, const PlatRect* rect, uint32_t rgb);
// Fills a client rectangle of the window with a colour 0xRRGGBB, through its device
// context; 1 or 0.
int PlatFillRect(PlatWnd window, const PlatRect* rect, uint32_t rgb);

enum : int {  // PlatGdiGetClipBox
  PLAT_GDI_ERROR = 0,
  PLAT_NULLREGION = 1,
  PLAT_SIMPLEREGION = 2,
  PLAT_COMPLEXREGION = 3,  // only the fake answers it: a window partly covered
};
// The rectangle drawing is clipped to, in dc coordinates, and the region's kind. Nothing
// covers a window here: a window's dc answers a simple region, its client area within
// the display.
int PlatGdiGetClipBox(PlatDC dc, PlatRect* rect);

// ---- device caps -------------------------------------------------------------------------------

enum : int {
  PLAT_BITSPIXEL = 12,  // bytes per pixel x 8 of the dc's format
  PLAT_PLANES = 14,     // 1
  PLAT_HORZRES = 100,   // the display's width
  PLAT_VERTRES = 101,   // the display's height
  PLAT_VREFRESH = 102,  // the display's refresh rate (60 unless set)
};
// 0 for a bad dc or index.
int PlatGdiGetDeviceCaps(PlatDC dc, int index);

// ---- display settings ------------------------------------------------------------------------

enum : uint32_t {  // PlatDevMode.fields
  PLAT_DM_BITSPERPEL = 0x1,
  PLAT_DM_PELSWIDTH = 0x2,
  PLAT_DM_PELSHEIGHT = 0x4,
  PLAT_DM_DISPLAYFREQUENCY = 0x8,
};
struct PlatDevMode {
  uint32_t size;    // sizeof (PlatDevMode)
  uint32_t fields;  // which of the values below are set; the others stay as they are
  uint32_t bitsPerPel, pelsWidth, pelsHeight, displayFrequency;
};
enum : uint32_t {  // PlatChangeDisplaySettings flags
  PLAT_CDS_FULLSCREEN = 0x4,
};
enum : int32_t {
  PLAT_DISP_CHANGE_SUCCESSFUL = 0,
  PLAT_DISP_CHANGE_FAILED = -1,
  PLAT_DISP_CHANGE_BADMODE = -2,
};
// Sets the display mode for the program's window (the display's exclusive owner, else the
// foreground window), or with mode null returns to the desktop mode. The display's mode
// list decides; a real change posts WM_DISPLAYCHANGE as the DirectDraw-style layer's does.
int32_t PlatChangeDisplaySettings(const PlatDevMode* mode, uint32_t flags);
