// Presenting the screen: the full-screen flip, the windowed blit, the software presents
// and the GDI present, the waits on the vertical blank, the front-screen updates, the
// surface copy, the GDI-surface mode and the temporary primary.
#include "engine/graphics/present.h"

#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/rasterpoll.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/convert.h"
#include "engine/softimage/imgconvert.h"
#include "engine/softimage/memimg.h"
#include "engine/state/fatal.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"

#include <cstring>
#include <vector>

namespace {

struct ScreenRect {
  Rect src;  // of the back screen
  Rect dst;  // on the primary (window client coordinates for GDI)
};

Rect ScreenBounds() {
  int32_t width = 640, height = 480;
  QueryScreenSize(&width, &height);
  return {0, 0, width, height};
}

PlatRect ToPlat(const Rect& r) { return {r.left, r.top, r.right, r.bottom}; }

PlatPoint ClientOrigin() {
  PlatRect client{};
  GetClientRectBelowToolbar(&client);
  return {client.left, client.top};
}

bool WaitOn() { return GetVBlankWait() != 0; }

// The log drawn over the frame with the whole screen as the area, a plain copy and full
// brightness; the settings in force come back after it.
void DrawLogOverlay() {
  if (!g_SystemHooks.getScreenLogDrawFlag()) return;
  const DrawState& d = g_DrawState;
  const Rect area = d.drawArea;
  const int32_t mode = d.blendMode, param = d.blendParam;
  const uint8_t red = d.brightRed, green = d.brightGreen, blue = d.brightBlue;
  const Rect screen = ScreenBounds();
  SetClipArea(screen.left, screen.top, screen.right, screen.bottom);
  SetBlendState(BLEND_COPY, 0);
  SetBrightness(255, 255, 255);
  g_SystemHooks.drawScreenLog();
  SetClipArea(area.left, area.top, area.right, area.bottom);
  SetBlendState(mode, param);
  SetBrightness(red, green, blue);
}

// Source and destination of a present. Windowed: the client origin plus the screen size
// times the window scale; a repaint rectangle (client coordinates) is shown from its
// coordinates divided by the scale. clientRelative leaves the client origin out (GDI
// draws in client coordinates).
ScreenRect PresentRects(const PlatRect* rect, bool clientRelative) {
  const Rect screen = ScreenBounds();
  ScreenRect r{screen, screen};
  if (!IsWindowedMode()) return r;
  const PlatPoint origin = clientRelative ? PlatPoint{0, 0} : ClientOrigin();
  const double scale = GetWindowScale();
  if (rect) {
    r.dst = {rect->left + origin.x, rect->top + origin.y, rect->right + origin.x, rect->bottom + origin.y};
    r.src = {DoubleToInt(rect->left / scale), DoubleToInt(rect->top / scale), DoubleToInt(rect->right / scale),
             DoubleToInt(rect->bottom / scale)};
  } else {
    r.dst = {origin.x, origin.y, origin.x + DoubleToInt(screen.right * scale),
             origin.y + DoubleToInt(screen.bottom * scale)};
  }
  return r;
}

bool SameSize(const Rect& a, const Rect& b) {
  return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

void BlitBackToPrimary(const ScreenRect& r) {
  const ScreenState& s = g_ScreenState;
  const PlatRect dst = ToPlat(r.dst), src = ToPlat(r.src);
  PlatDDSurfaceBlt(s.primary, &dst, s.back, &src, PLAT_DDBLT_WAIT, nullptr);
}

// Locked surface memory described for the converting copy.
GraphImage LockedImage(const PlatDDSurfaceDesc& locked, int32_t width, int32_t height) {
  GraphImage image{};
  image.format = *GetScreenColorFormat();
  image.width = uint32_t(width);
  image.height = uint32_t(height);
  image.pitch = uint32_t(locked.pitch);
  image.pixels = locked.surface;
  return image;
}

PlatDDSurfaceDesc EmptyDesc() {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  return d;
}

const char kBackLockFatal[] = "バックサーフェスのロックに失敗しました";

// The back image lives in the locked back surface: one unlock, one blit, one lock. The
// old view goes before the new one is made over the new pointer and pitch: a live view
// refuses to be made again, and its pointer is no longer the lock's.
void PresentLockedBack(const ScreenRect& r) {
  ScreenState& s = g_ScreenState;
  PlatDDSurfaceUnlock(s.back, nullptr);
  s.backLocked = 0;
  if (WaitOn()) PaceVerticalBlank();
  BlitBackToPrimary(r);
  PlatDDSurfaceDesc locked = EmptyDesc();
  if (PlatDDSurfaceLock(s.back, nullptr, &locked, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) FatalEngineExit(kBackLockFatal);
  s.backLocked = 1;
  const Rect screen = ScreenBounds();
  ReleaseMemImg(s.backImage);
  std::memset(s.backImage, 0, sizeof *s.backImage);
  if (CreateMemImg(s.backImage, screen.right, screen.bottom, locked.pitch, 0,
                   s.depth == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888, 0, 0, 0, locked.surface) != 0)
    FatalEngineExit("バックサーフェス用の MEMIMG の作成に失敗しました\n");
}

// Any other display format: the back image is converted into the back surface.
void PresentConvertedBack(const ScreenRect& r) {
  const ScreenState& s = g_ScreenState;
  PlatDDSurfaceDesc locked = EmptyDesc();
  if (PlatDDSurfaceLock(s.back, nullptr, &locked, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) FatalEngineExit(kBackLockFatal);
  const Rect screen = ScreenBounds();
  GraphImage view = LockedImage(locked, screen.right, screen.bottom);
  CopyScreenMemImgRect(&view, s.backImage, 0, 0, screen.right, screen.bottom, 0, 0, 0, 0);
  PlatDDSurfaceUnlock(s.back, nullptr);
  if (WaitOn()) PaceVerticalBlank();
  BlitBackToPrimary(r);
}

// A software image as a top-down bitfields DIB. Its rows are the image's pitch apart, so
// the DIB is as wide as the pitch holds pixels and a draw takes the image's width of it.
PlatBitmapInfo DescribeImage(const MEMIMG* image) {
  const ColorFormat& f = *image->data->format;
  PlatBitmapInfo info{};
  info.header.size = sizeof info.header;
  info.header.width = image->data->pitch / f.bytesPerPixel;
  info.header.height = -image->data->height;
  info.header.planes = 1;
  info.header.bitCount = f.bitDepth;
  info.header.compression = PLAT_BI_BITFIELDS;
  info.colors[0] = f.redMask;
  info.colors[1] = f.greenMask;
  info.colors[2] = f.blueMask;
  return info;
}

size_t ImageBytes(const MEMIMG* image) { return size_t(image->data->pitch) * size_t(image->data->height); }

// Without DirectDraw: the back image through GDI, pixel for pixel when the sizes agree.
void PresentThroughGdi(const ScreenRect& r) {
  const ScreenState& s = g_ScreenState;
  const MEMIMG* image = s.backImage;
  if (!image->data->pixelMemory) return;
  if (WaitOn()) PaceVerticalBlank();
  const PlatBitmapInfo info = DescribeImage(image);
  const PlatDC dc = PlatGdiGetDC(s.window);
  if (!dc) return;
  const int32_t height = image->data->height;
  const void* bits = image->data->pixelMemory;
  if (SameSize(r.dst, r.src) && r.src.left == 0 && r.src.top == 0 && SameSize(r.src, ScreenBounds())) {
    PlatGdiSetDIBitsToDevice(dc, 0, 0, uint32_t(r.src.right), uint32_t(r.src.bottom), 0, 0, 0, uint32_t(height),
                             bits, ImageBytes(image), &info, PLAT_DIB_RGB_COLORS);
  } else {
    const int32_t srcHeight = r.src.bottom - r.src.top;
    PlatGdiStretchDIBits(dc, r.dst.left, r.dst.top, r.dst.right - r.dst.left, r.dst.bottom - r.dst.top, r.src.left,
                         height - r.src.bottom, r.src.right - r.src.left, srcHeight, bits, ImageBytes(image), &info,
                         PLAT_DIB_RGB_COLORS, PLAT_SRCCOPY);
  }
  PlatGdiReleaseDC(s.window, dc);
}

// The surfaces a present writes to: none after a failed mode change.
bool ScreenSurfacesThere() {
  const ScreenState& s = g_ScreenState;
  if (s.softwareRender && s.depth != 8 && (!s.backImage || !IsMemImgValid(s.backImage))) return false;
  if (!s.noDirectDraw && (!s.primary || !s.back)) return false;
  return true;
}

int NoSurfaces() {
  WriteLog("表示する画面のサーフェスがありません\n");
  return -1;
}

// The surface the front screen shows on.
PlatDDSurface VisibleSurface() {
  const ScreenState& s = g_ScreenState;
  return s.useTemporaryPrimary ? s.temporaryPrimary : s.primary;
}

bool FrontImageThere() {
  const ScreenState& s = g_ScreenState;
  if (!s.primaryImage || !IsMemImgValid(s.primaryImage)) return false;
  return s.noDirectDraw || VisibleSurface() != 0;
}

}  // namespace

// ---- presents ----------------------------------------------------------------------------

int PresentScreenCore() {
  const ScreenState& s = g_ScreenState;
  if (!s.ddraw && !s.noDirectDraw) return -1;
  g_SystemHooks.waitWhileInactive();
  const bool flipRoad = !s.softwareRender && s.gdiSurfaceRequest == 0 && !s.noDirectDraw && !IsWindowedMode() &&
                        !IsMenuInUse();
  if (!flipRoad) return PresentSoftwareImage(nullptr);
  if (!ScreenSurfacesThere()) return NoSurfaces();
  DrawLogOverlay();
  const bool wait = WaitOn();
  if (GetDrawTargetHandle() == DRAW_SCREEN_FRONT && wait) {
    CountFrame();
    return WaitBlanks(1);
  }
  g_Renderer3D.flushCurrentVertexBatch();
  g_Renderer3D.endSceneCurrent();
  PlatDDSurfaceFlip(s.primary, 0, wait ? PLAT_DDFLIP_WAIT : PLAT_DDFLIP_WAIT | PLAT_DDFLIP_NOVSYNC);
  if (wait) PlatSleep(1);
  CountFrame();
  return 0;
}

int PresentSoftwareImage(const PlatRect* rect) {
  ScreenState& s = g_ScreenState;
  if (!s.ddraw && !s.noDirectDraw) return -1;
  if (!ScreenSurfacesThere()) return NoSurfaces();
  DrawLogOverlay();
  if (GetDrawTargetHandle() == DRAW_SCREEN_FRONT) {
    CountFrame();
    return WaitBlanks(1);
  }
  if (s.softwareRender && s.depth != 8) {
    s.presentStartMs = PlatTimeMs();
    if (s.noDirectDraw) PresentThroughGdi(PresentRects(rect, true));
    else if (s.backLocked) PresentLockedBack(PresentRects(rect, false));
    else PresentConvertedBack(PresentRects(rect, false));
    s.presentDurationMs = PlatTimeMs() - s.presentStartMs;
    s.presented = 1;
    CountFrame();
    return 0;
  }
  g_Renderer3D.flushCurrentVertexBatch();
  g_Renderer3D.endSceneCurrent();
  if (IsWindowedMode()) {
    if (WaitOn()) PaceVerticalBlank();
    BlitBackToPrimary(PresentRects(rect, false));
  } else if (s.gdiSurfaceRequest || IsMenuInUse()) {
    if (WaitOn()) PaceVerticalBlank();
    PlatDDSurfaceBlt(s.primary, nullptr, s.back, nullptr, PLAT_DDBLT_WAIT, nullptr);
  }
  CountFrame();
  return 0;
}

// ---- the vertical blank ----------------------------------------------------------------

int WaitBlanks(int32_t count) {
  const ScreenState& s = g_ScreenState;
  if (!s.ddraw) return -1;
  g_SystemHooks.waitWhileInactive();
  RasterPoll poll{s.ddraw};
  if (count == 0) {
    poll.Until([&] { return poll.InBlank(); }, [] { return g_SystemHooks.pumpMessages() != 0; });
    return 0;
  }
  if (count < 0) return 0;
  auto pump = [] {
    g_SystemHooks.pumpMessages();
    return false;
  };
  for (int32_t i = 0; i < count; i++) {
    poll.Until([&] { return !poll.InBlank(); }, pump);
    if (!poll.Until([&] { return poll.InBlank(); }, pump)) return 0;
    if (g_SystemHooks.pumpMessages() < 0) return -1;
  }
  return 0;
}

uint32_t PaceVerticalBlank() {
  ScreenState& s = g_ScreenState;
  const int32_t budget = s.pacingBudgetMs;
  if (budget < 0 || PlatTimeMs() - s.lastBlankMs >= uint32_t(budget)) {
    PlatSleep(0);
    int blank = 0;
    PlatDDrawGetVerticalBlankStatus(s.ddraw, &blank);
    if (!blank) PlatDDrawWaitForVerticalBlank(s.ddraw, PLAT_DDWAITVB_BLOCKBEGIN);
  } else {
    while (PlatTimeMs() - s.lastBlankMs < uint32_t(budget)) PlatSleep(1);
    PlatDDrawWaitForVerticalBlank(s.ddraw, PLAT_DDWAITVB_BLOCKBEGIN);
  }
  s.lastBlankMs = PlatTimeMs();
  return s.lastBlankMs;
}

// ---- the front screen --------------------------------------------------------------------

int UpdateFrontRect(const Rect* rect) {
  const ScreenState& s = g_ScreenState;
  if (!rect) return -1;
  if (!FrontImageThere()) return NoSurfaces();
  Rect r = *rect;
  const Rect screen = ScreenBounds();
  ClipRect(&r, &screen);
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return 0;
  if (!s.noDirectDraw) {
    const PlatDDSurface surface = VisibleSurface();
    PlatRect at = ToPlat(r);
    if (IsWindowedMode() && !s.useTemporaryPrimary) {
      const PlatPoint origin = ClientOrigin();
      at = {at.left + origin.x, at.top + origin.y, at.right + origin.x, at.bottom + origin.y};
    }
    PlatDDSurfaceDesc locked = EmptyDesc();
    if (PlatDDSurfaceLock(surface, &at, &locked, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_WRITEONLY) != PLAT_DD_OK) {
      WriteLog("表画面のロックに失敗しました\n");
      return -1;
    }
    GraphImage view = LockedImage(locked, width, height);
    CopyScreenMemImgRect(&view, s.primaryImage, r.left, r.top, width, height, 0, 0, 0, 0);
    PlatDDSurfaceUnlock(surface, nullptr);
    return 0;
  }
  const MEMIMG* image = s.primaryImage;
  const PlatBitmapInfo info = DescribeImage(image);
  const PlatDC dc = PlatGdiGetDC(s.window);
  if (!dc) return -1;
  PlatGdiStretchDIBits(dc, r.left, r.top, width, height, r.left, image->data->height - r.bottom, width, height,
                       image->data->pixelMemory, ImageBytes(image), &info, PLAT_DIB_RGB_COLORS, PLAT_SRCCOPY);
  PlatGdiReleaseDC(s.window, dc);
  return 0;
}

namespace {

// The compatible bitmap's rows into the front image (a top-down DIB in its format), row
// by row when the image's pitch is not the DIB's; false when GDI refuses.
bool ReadBitmapIntoImage(PlatDC dc, PlatGdiObj bitmap, MEMIMG* image, const Rect& screen) {
  PlatBitmapInfo info = DescribeImage(image);
  info.header.width = screen.right;
  info.header.height = -screen.bottom;
  const ColorFormat& f = *image->data->format;
  const size_t row = (size_t(screen.right) * f.bytesPerPixel + 3) & ~size_t(3);
  const size_t pitch = size_t(image->data->pitch);
  if (row == pitch)
    return PlatGdiGetDIBits(dc, bitmap, 0, uint32_t(screen.bottom), image->data->pixelMemory, ImageBytes(image),
                            &info, PLAT_DIB_RGB_COLORS) != 0;
  std::vector<uint8_t> rows(row * size_t(screen.bottom));
  if (!PlatGdiGetDIBits(dc, bitmap, 0, uint32_t(screen.bottom), rows.data(), rows.size(), &info,
                        PLAT_DIB_RGB_COLORS))
    return false;
  const size_t bytes = size_t(screen.right) * f.bytesPerPixel;
  for (int32_t y = 0; y < screen.bottom; y++)
    std::memcpy(image->data->pixelMemory + size_t(y) * pitch, rows.data() + size_t(y) * row, bytes);
  return true;
}

// Without DirectDraw: the window's picture through a compatible bitmap into the front
// image; -1 when a GDI object or a copy is refused, for the front image then is not what
// the window shows.
int ReloadThroughGdi() {
  ScreenState& s = g_ScreenState;
  const Rect screen = ScreenBounds();
  const PlatDC window = PlatGdiGetDC(s.window);
  if (!window) return -1;
  const PlatDC memory = PlatGdiCreateCompatibleDC(window);
  const PlatGdiObj bitmap = memory ? PlatGdiCreateCompatibleBitmap(window, screen.right, screen.bottom) : 0;
  const PlatGdiObj old = bitmap ? PlatGdiSelectObject(memory, bitmap) : 0;
  bool read = false;
  if (old) {
    const int copied = PlatGdiBitBlt(memory, 0, 0, screen.right, screen.bottom, window, 0, 0, PLAT_SRCCOPY);
    PlatGdiSelectObject(memory, old);
    read = copied && ReadBitmapIntoImage(window, bitmap, s.primaryImage, screen);
  }
  if (bitmap) PlatGdiDeleteObject(bitmap);
  if (memory) PlatGdiDeleteDC(memory);
  PlatGdiReleaseDC(s.window, window);
  if (read) return 0;
  WriteLog("ウインドウの画像を読み込めませんでした\n");
  return -1;
}

}  // namespace

int ReloadFrontImageFromScreen() {
  ScreenState& s = g_ScreenState;
  if (!s.softwareRender || !s.presented) return 0;
  if (!FrontImageThere()) return NoSurfaces();
  if (s.noDirectDraw) {
    if (ReloadThroughGdi() != 0) return -1;
  } else {
    Rect on{};
    GetScreenRectOnPrimary(&on);
    const PlatRect at = ToPlat(on);
    const PlatDDSurface surface = VisibleSurface();
    PlatDDSurfaceDesc locked = EmptyDesc();
    if (PlatDDSurfaceLock(surface, &at, &locked, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_READONLY) != PLAT_DD_OK) {
      WriteLog("表画面のロックに失敗しました\n");
      return -1;
    }
    const Rect screen = ScreenBounds();
    MEMIMG* image = s.primaryImage;
    ConvertBlitRect(image->pixels, image->data->pitch, image->data->format, locked.surface, locked.pitch,
                    GetScreenColorFormat(), nullptr, 0, nullptr, 0, 0, &screen, 0, 0, 0, CONVERT_DITHER_NONE, 0, 0,
                    0, 0);
    PlatDDSurfaceUnlock(surface, nullptr);
  }
  s.presented = 0;
  return 0;
}

int GetScreenRectOnPrimary(Rect* out) {
  Rect r = ScreenBounds();
  if (!g_ScreenState.useTemporaryPrimary) {
    const PlatPoint origin = ClientOrigin();
    r = {r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
  }
  if (out) *out = r;
  return 0;
}

// ---- copies between surfaces ------------------------------------------------------------

int CopySurfaceRect(PlatDDSurface dst, PlatDDSurface src, int32_t x, int32_t y, const PlatRect* srcRect,
                    int32_t method) {
  if (method == -1) method = g_ScreenState.copyMethod;
  if (method == 1) {
    if (!srcRect) return -1;
    PlatDC to = 0, from = 0;
    if (PlatGdiGetSurfaceDC(dst, &to) != PLAT_DD_OK) return -1;
    if (PlatGdiGetSurfaceDC(src, &from) != PLAT_DD_OK) {
      PlatGdiReleaseSurfaceDC(dst, to);
      return -1;
    }
    const int copied = PlatGdiBitBlt(to, x, y, srcRect->right - srcRect->left, srcRect->bottom - srcRect->top, from,
                                     srcRect->left, srcRect->top, PLAT_SRCCOPY);
    PlatGdiFlush();
    PlatGdiReleaseSurfaceDC(src, from);
    PlatGdiReleaseSurfaceDC(dst, to);
    return copied ? 0 : -1;
  }
  if (method == 0)
    return PlatDDSurfaceBltFast(dst, x, y, src, srcRect, PLAT_DDBLTFAST_NOCOLORKEY) == PLAT_DD_OK ? 0 : -1;
  return 0;
}

// ---- the GDI surface -----------------------------------------------------------------------

int SetGdiSurfaceMode(int32_t mode) {
  ScreenState& s = g_ScreenState;
  const int32_t wanted = mode == 1 || IsMenuInUse() ? 1 : 0;
  if (wanted == s.gdiSurfaceState) return 0;
  s.gdiSurfaceRequest = mode;
  if (!s.ddraw) return 0;
  if (wanted == 1) PlatDDrawFlipToGDISurface(s.ddraw);
  // The state is the wanted one before the targets are selected again: a selection waits
  // for an inactive window by pumping messages, and the pump applies the request again,
  // which would otherwise select the targets again, and so on without end.
  s.gdiSurfaceState = wanted;
  const Rect area = g_DrawState.drawArea;
  const int32_t target = GetDrawTargetHandle();
  SetDrawTargetCore(DRAW_SCREEN_BACK);
  SetDrawTargetCore(DRAW_SCREEN_FRONT);
  SetDrawTargetCore(target);
  SetClipArea(area.left, area.top, area.right, area.bottom);
  return 0;
}

// ---- the temporary primary ----------------------------------------------------------------

namespace {

// The window's client area on the primary, the screen's size.
PlatRect ClientOnPrimary() {
  const Rect screen = ScreenBounds();
  const PlatPoint origin = ClientOrigin();
  return {origin.x, origin.y, origin.x + screen.right, origin.y + screen.bottom};
}

}  // namespace

int CaptureWindowToTemporaryPrimary() {
  const ScreenState& s = g_ScreenState;
  if (!s.primary || !s.temporaryPrimary) return 0;
  const PlatRect from = ClientOnPrimary(), to = ToPlat(ScreenBounds());
  PlatDDSurfaceBlt(s.temporaryPrimary, &to, s.primary, &from, PLAT_DDBLT_WAIT, nullptr);
  return 0;
}

int ShowTemporaryPrimary() {
  const ScreenState& s = g_ScreenState;
  if (!s.primary || !s.temporaryPrimary) return 0;
  const PlatRect to = ClientOnPrimary(), from = ToPlat(ScreenBounds());
  PlatDDSurfaceBlt(s.primary, &to, s.temporaryPrimary, &from, PLAT_DDBLT_WAIT, nullptr);
  return 0;
}

void RefreshFrontScreenTimerProc(PlatWnd window, uint32_t, uintptr_t, uint32_t) {
  PlatKillTimer(window, FRONT_REFRESH_TIMER);
  if (!g_ScreenState.primary) return;
  ShowTemporaryPrimary();
  PlatSetTimer(window, FRONT_REFRESH_TIMER, FRONT_REFRESH_MS, RefreshFrontScreenTimerProc);
}
