// The one display of the process: its pixels in host memory (the store), the desktop
// mode and the mode in force, the modes it accepts, the 8-bit palette, the virtual
// raster with its vertical blank, and the upload of the store to the windows shown.
//
// The store is what the screen shows. In a window the store has the desktop's size and
// format and a window shows its client rectangle of it (so the store is addressed in
// desktop coordinates). A mode set for full screen is virtual: the store takes the
// mode's size and format, and the exclusive owner's window shows the whole store scaled
// to the display, nearest.
//
// The back end follows the window layer's (KR_PLATFORM=headless|sdl, or
// PlatWindowSelectBackend): `sdl` takes SDL's desktop and copies the store into a
// streaming texture of each shown window; `headless` keeps the store for tests to read
// (platform/display/headless/headlessdisplay.h). platform/ddraw sits on this family.
//
// All calls may come from any thread; the upload itself runs on the thread that owns the
// windows (a change made elsewhere waits for the next upload there).
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// A display mode. 8 bits are palette indices (the masks are 0); 16 bits are 5:6:5 or
// 5:5:5; 32 bits are X8:R8:G8:B8. 24 bits never.
struct PlatDisplayMode {
  int32_t width, height;
  int32_t depth;
  uint32_t redMask, greenMask, blueMask;
  int32_t refreshRate;  // Hz; 0 is the display's own rate (60)
};

// The mode of that size and depth in its usual layout (16 bits: 5:6:5).
PlatDisplayMode PlatDisplayModeOf(int32_t width, int32_t height, int32_t depth,
                                  int32_t refreshRate = 0);
// 1 when both modes have the same size, depth and masks (the rate is not compared).
int PlatDisplaySameFormat(const PlatDisplayMode& a, const PlatDisplayMode& b);

// ---- back end -------------------------------------------------------------------------

// Chooses the back end ("headless" or "sdl") before the first call; 0, or -1 for an
// unknown name or when another is in use. Unchosen, the display takes the window
// layer's back end.
int PlatDisplaySelectBackend(const char* name);
const char* PlatDisplayBackendName();
// What the back end calls its driver, and a line about it (for a device identifier).
const char* PlatDisplayDriverName();
const char* PlatDisplayDriverDescription();

// ---- modes ----------------------------------------------------------------------------

void PlatDisplayGetDesktopMode(PlatDisplayMode* mode);
// The mode in force (the desktop's unless a program set another).
void PlatDisplayGetMode(PlatDisplayMode* mode);
// The desktop's size and depth as programs see them: the mode in force, as after a mode
// change. Depth is bytes per pixel x 8 (32 for 24 colour bits in 4-byte pixels).
void PlatGetDesktopSize(int32_t* width, int32_t* height);
int32_t PlatGetDesktopDepth();
// 1 when the display can take the mode (depth 24 never; rate 0 or one it lists).
int PlatDisplayAcceptsMode(const PlatDisplayMode& mode);
// Sets the mode for the owner's window: 0, or -1 when the mode is not accepted (nothing
// changes). A real change makes a new store, counts a loss (PlatDisplayLossCount) and
// posts WM_DISPLAYCHANGE to every window.
int PlatDisplaySetMode(PlatWnd owner, const PlatDisplayMode& mode);
// Back to the desktop mode, as PlatDisplaySetMode; the owner keeps the display, without
// a mode of its own.
int PlatDisplayRestoreMode();
// The window that holds the display exclusively (0: none). Its window shows the whole
// store while a mode of its own is in force.
void PlatDisplaySetExclusiveOwner(PlatWnd window);
PlatWnd PlatDisplayExclusiveOwner();
// 1 while the owner's own mode is in force (full screen, virtual).
int PlatDisplayIsOwnerModeSet();
// Goes up by one at each mode change, explicit or not: what lived in video memory, and
// every view of the store, is lost when the count moved since it was made.
uint32_t PlatDisplayLossCount();
// Counts a loss without a mode change (a test losing every surface).
void PlatDisplayCountLoss();
// The window layer's news of a window the user activated or left. When the exclusive
// owner's window is left, the display goes back to the desktop mode with a loss but
// without WM_DISPLAYCHANGE (a program that reads its format while inactive would come
// back in the desktop's); when it is activated again, the owner's mode returns, also
// without the message.
void PlatDisplayActivationChanged(PlatWnd window, int active);

// ---- palette (8-bit modes) ------------------------------------------------------------

// Entries as 0xRRGGBB; first + count must lie within 256.
int PlatDisplaySetPalette(int first, int count, const uint32_t* rgb);
int PlatDisplayGetPalette(int first, int count, uint32_t* rgb);

// ---- the store --------------------------------------------------------------------------

struct PlatDisplayStoreInfo {
  PlatDisplayMode mode;  // the store's size and format
  int32_t pitch;         // bytes per row
};
void PlatDisplayGetStoreInfo(PlatDisplayStoreInfo* info);
// A pixel of the store as 0xRRGGBB (8 bits through the palette); 0xFFFFFFFF outside the
// store, and for a 32-bit pixel nothing wrote since the store was made (a new 32-bit
// store holds all-ones bytes, which no colour of ours has).
uint32_t PlatDisplayReadRgb(int32_t x, int32_t y);
// Copies a rectangle of the store as 0xRRGGBB rows of width (right - left); 0, or -1 when
// the rectangle does not lie within the store (nothing is written).
int PlatDisplayReadRect(const PlatRect& rect, uint32_t* rgb);
// Fills a rectangle (clipped to the store) with a colour 0xRRGGBB in the store's format,
// and marks it for upload.
void PlatDisplayFillRgb(const PlatRect& rect, uint32_t rgb);

// ---- upload -----------------------------------------------------------------------------

// A window whose client rectangle the upload shows (1), or no longer (0). Windows are
// forgotten when destroyed.
void PlatDisplayShowWindow(PlatWnd window, int show);
// The store changed where it shows: uploads now on the windows' thread, else at the next
// upload there.
void PlatDisplayChanged();
// Uploads what waits (on the windows' thread; elsewhere nothing happens).
void PlatDisplayUpload();
// Uploads made so far (each is one texture update and present per window shown).
uint32_t PlatDisplayUploadCount();
// Writes the store as an RGB PNG; 0 or -1.
int PlatDisplayWritePng(const char* path);

// ---- the raster -------------------------------------------------------------------------

// The raster runs on the platform clock at the mode's rate (60 Hz when 0): each frame has
// height x 525 / 480 scan lines, the last of them the vertical blank. On the manual
// clock every query moves the clock on by 50 us, so that a loop polling it ends.
struct PlatDisplayRaster {
  int32_t rate;            // Hz
  int64_t frameNs;         // length of one frame
  int32_t lines;           // scan lines per frame
  int32_t visibleLines;    // the lines before the blank (the mode's height)
};
void PlatDisplayGetRaster(PlatDisplayRaster* raster);
// The scan line now; 1 while it is in the blank, else 0.
int PlatDisplayScanLine(int32_t* line);
// 1 while the raster is in the blank.
int PlatDisplayInBlank();
// Returns at the start of the next blank (the manual clock moves there).
void PlatDisplayWaitForBlank();
