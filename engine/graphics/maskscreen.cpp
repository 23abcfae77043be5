// The mask screen and its draw bracket, and the removal of the type-0x40000000 records.
#include "engine/graphics/maskscreen.h"

#include "engine/base/handle.h"
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/rect.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/maskscreentest.h"
#include "engine/graphics/present.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/colorformat.h"
#include "engine/pixel/convert.h"
#include "engine/pixel/drawstate.h"
#include "engine/softimage/imgconvert.h"
#include "engine/state/fatal.h"
#include "engine/state/hooks.h"
#include "engine/state/state.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

struct MaskScreenState {
  uint8_t* mask;         // one byte per screen pixel, null while there is no mask
  int32_t pitch;         // row size: the width rounded up to a multiple of 4
  int32_t width, height;
  int32_t made;          // the mask is wanted
  int32_t use;           // switched on
  int32_t maskedDraw;    // made and switched on
  int32_t reverse;       // 1: drawing allowed where a byte is 0; 0: where it is not
  uint32_t keyColor;     // the work copy's transparent pixel value
  // The work copy: a software image on a software-rendered screen, else a surface; of
  // the screen's size when it was made.
  MEMIMG workImage;
  int32_t workImageMade;
  PlatDDSurface workSurface;
  int32_t workSurfaceInVideoMemory;
  int32_t workWidth, workHeight;
};

MaskScreenState g_Mask = {.mask = nullptr, .pitch = 0, .width = 0, .height = 0, .made = 0, .use = 0,
                          .maskedDraw = 0, .reverse = 0, .keyColor = 0, .workImage = {}, .workImageMade = 0,
                          .workSurface = 0, .workSurfaceInVideoMemory = 0, .workWidth = 0, .workHeight = 0};

Type40Record g_Type40[TYPE40_SLOTS];

static_assert(std::endian::native == std::endian::little, "the key colour is written as its low bytes");

bool ScreenDrawnAsImages() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

bool WorkCopyExists() {
  return ScreenDrawnAsImages() ? IsMemImgValid(&g_Mask.workImage) != 0 : g_Mask.workSurface != 0;
}

bool Empty(const Rect& r) { return r.left >= r.right || r.top >= r.bottom; }

// The rectangle both halves of the bracket work on, in the work copy's coordinates:
// clipped to the draw area, placed on the desktop for a front screen that DirectDraw shows,
// and kept on the mask and the work copy (a target larger than the screen, or a window's
// place on the desktop, would reach past both). False when nothing is left.
bool BracketRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const GraphImage* image, Rect* out) {
  g_Renderer3D.endSceneCurrent();
  Rect r{x1, y1, x2, y2};
  ClipRect(&r, &g_DrawState.drawArea);
  if (Empty(r)) return false;
  if (g_DrawState.drawTarget == DRAW_SCREEN_FRONT && !ScreenDrawnAsImages()) {
    PlatRect client{};
    GetClientRectBelowToolbar(&client);
    r = {r.left + client.left, r.top + client.top, r.right + client.left, r.bottom + client.top};
  }
  const Rect copy{0, 0, std::min(g_Mask.width, g_Mask.workWidth), std::min(g_Mask.height, g_Mask.workHeight)};
  ClipRect(&r, &copy);
  if (image) {
    const Rect picture{0, 0, int32_t(image->width), int32_t(image->height)};
    ClipRect(&r, &picture);
  }
  *out = r;
  return !Empty(r);
}

// The work surface locked whole; null when the lock is refused.
uint8_t* LockWorkSurface(uint32_t flags, int32_t* pitch, int32_t* bytesPerPixel) {
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  if (PlatDDSurfaceLock(g_Mask.workSurface, nullptr, &desc, flags) != PLAT_DD_OK) return nullptr;
  *pitch = desc.pitch;
  *bytesPerPixel = int32_t(desc.pixelFormat.bitCount / 8);
  return static_cast<uint8_t*>(desc.surface);
}

// Writes the key colour over every pixel of the rectangle whose mask byte allows drawing.
// Mask bytes are read a group of four at a time only where the whole group lies inside
// the row's run: the bytes before the first whole group and after the last go one by one.
void KeyOutAllowedPixels(uint8_t* pixels, int32_t pitch, int32_t bytesPerPixel, const Rect& r) {
  const MaskScreenState& m = g_Mask;
  const bool reverse = m.reverse != 0;
  const uint32_t key = m.keyColor;
  for (int32_t y = r.top; y < r.bottom; y++) {
    const uint8_t* mask = m.mask + size_t(y) * size_t(m.pitch);
    uint8_t* row = pixels + size_t(y) * size_t(pitch);
    const auto put = [&](int32_t x) { std::memcpy(row + size_t(x) * size_t(bytesPerPixel), &key, size_t(bytesPerPixel)); };
    const auto one = [&](int32_t x) {
      if ((mask[x] != 0) != reverse) put(x);
    };
    int32_t x = r.left;
    for (; x < r.right && (x & 3) != 0; x++) one(x);
    for (; x + 4 <= r.right; x += 4) {
      uint32_t group;
      std::memcpy(&group, mask + x, 4);
      if (group == 0) {
        if (reverse)
          for (int32_t k = 0; k < 4; k++) put(x + k);
        continue;
      }
      for (int32_t k = 0; k < 4; k++) one(x + k);
    }
    for (; x < r.right; x++) one(x);
  }
}

// The current target's software image described as a picture; false without a live one.
bool TargetImageAsPicture(GraphImage* out) {
  const MEMIMG* t = g_ScreenState.targetImage;
  if (!t || !IsMemImgValid(t)) return false;
  const ColorFormat* format = GetMemImgColorFormat(t->data->kind, t->data->alphaFlag, t->data->paletteFlag);
  if (!format) return false;
  out->format = *format;
  out->width = uint32_t(t->width);
  out->height = uint32_t(t->height);
  out->pitch = uint32_t(t->data->pitch);
  out->pixels = t->pixels;
  return true;
}

}  // namespace

// ---- making and switching --------------------------------------------------------------

int BuildMaskScreen(int32_t made) {
  if (!made) return 0;
  MaskScreenState& m = g_Mask;
  int32_t width = 0, height = 0;
  QueryScreenSize(&width, &height);
  if (!m.mask) {
    const int32_t pitch = (width + 3) / 4 * 4;
    m.mask = static_cast<uint8_t*>(TrackedCalloc(size_t(pitch) * size_t(height), "", 0));
    if (!m.mask) {
      // Without a mask there is nothing to draw through: drawing goes on unmasked.
      m.maskedDraw = 0;
      return WriteLog("マスク用のメモリの確保に失敗しました\n");
    }
    m.pitch = pitch;
    m.width = width;
    m.height = height;
  }
  if (ScreenDrawnAsImages()) {
    if (!m.workImageMade) {
      if (CreateScreenMemImg(&m.workImage, width, height, -1) < 0)
        FatalEngineExit("マスク用 MEMIMG の作成に失敗しました");
      m.workImageMade = 1;
      m.workWidth = width;
      m.workHeight = height;
    }
    return 0;
  }
  if (!m.workSurface) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    desc.flags = PLAT_DDSD_CAPS | PLAT_DDSD_HEIGHT | PLAT_DDSD_WIDTH;
    desc.width = uint32_t(width);
    desc.height = uint32_t(height);
    desc.caps = IsSoftwareRendering() ? PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY
                                      : PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_3DDEVICE;
    if (PlatDDrawCreateSurface(g_ScreenState.ddraw, &desc, &m.workSurface) != PLAT_DD_OK)
      FatalEngineExit("マスク用サーフェスの作成に失敗しました");
    m.workWidth = width;
    m.workHeight = height;
    const PlatDDColorKey key{m.keyColor, m.keyColor};
    PlatDDSurfaceSetColorKey(m.workSurface, PLAT_DDCKEY_SRCBLT, &key);
    uint32_t caps = 0;
    PlatDDSurfaceGetCaps(m.workSurface, &caps);
    m.workSurfaceInVideoMemory = (caps & PLAT_DDSCAPS_VIDEOMEMORY) ? 1 : 0;
  }
  return 0;
}

int ReleaseMaskScreen() {
  MaskScreenState& m = g_Mask;
  TrackedFree(m.mask);
  m.mask = nullptr;
  m.pitch = m.width = m.height = 0;
  if (m.workImageMade) ReleaseMemImg(&m.workImage);
  m.workImageMade = 0;
  if (m.workSurface) PlatDDSurfaceRelease(m.workSurface);
  m.workSurface = 0;
  m.workSurfaceInVideoMemory = 0;
  m.workWidth = m.workHeight = 0;
  return 0;
}

int SwitchMaskScreen(int32_t flag) {
  MaskScreenState& m = g_Mask;
  if (!m.mask) return -1;
  m.use = flag;
  m.maskedDraw = flag && m.made ? 1 : 0;
  const DrawState& d = g_DrawState;
  Rect rect{0, 0, 0, 0};
  if (!m.maskedDraw && d.drawTarget == DRAW_SCREEN_FRONT && !g_ScreenState.useTemporaryPrimary && IsWindowedMode() &&
      !ScreenDrawnAsImages()) {
    PlatRect client{};
    GetClientRectBelowToolbar(&client);
    rect = {client.left, client.top, client.right, client.bottom};
  } else {
    QueryGraphSize(d.drawTarget, &rect.right, &rect.bottom);
  }
  SetTargetRect(&rect);

  if (!g_Renderer3D.currentDevice3D()) return 0;
  g_Renderer3D.flushCurrentVertexBatch();
  g_Renderer3D.setCurrentRenderTarget(m.use ? m.workSurface : GetTargetSurface());
  const Rect& area = d.drawArea;
  if (IsTargetFrontSurface() && m.use) {
    const PlatD3DViewport viewport{uint32_t(area.left), uint32_t(area.top), uint32_t(area.right - area.left),
                                   uint32_t(area.bottom - area.top), 0.0f, 1.0f};
    if (g_Renderer3D.setCurrentViewport(&viewport) != 0) return WriteLog("ビューポートのセットに失敗しました\n");
  } else {
    g_Renderer3D.setViewportFromRect(&area);
  }
  return 0;
}

int RecreateMaskScreen() {
  BuildMaskScreen(g_Mask.made);
  if (g_Mask.use) SwitchMaskScreen(1);
  return 0;
}

int EndMaskScreen() {
  g_SystemHooks.waitWhileInactive();
  if (g_Mask.use) SwitchMaskScreen(0);
  ReleaseMaskScreen();
  g_Mask.made = 0;
  g_Mask.maskedDraw = 0;
  return 0;
}

void ResetMaskScreenFlags() {
  g_Mask.use = 1;
  g_Mask.maskedDraw = 0;
}

int IsMaskScreenEnabled() { return g_Mask.use; }
int IsMaskScreenMade() { return g_Mask.made; }
int IsMaskedDrawOn() { return g_Mask.maskedDraw; }
PlatDDSurface GetMaskSurface() { return g_Mask.workSurface; }
int IsMaskSurfaceInVideoMemory() { return g_Mask.workSurfaceInVideoMemory; }
MEMIMG* GetMaskMemImg() { return &g_Mask.workImage; }

// ---- the bracket -------------------------------------------------------------------------

int BeginMaskedDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  GraphImage picture{};
  if (TargetImageAsPicture(&picture)) return SaveMaskedRect(x1, y1, x2, y2, 0, &picture);
  return SaveMaskedRect(x1, y1, x2, y2, GetTargetSurface(), nullptr);
}

int EndMaskedDraw(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  GraphImage picture{};
  if (TargetImageAsPicture(&picture)) return RestoreOutsideMask(x1, y1, x2, y2, 0, &picture);
  return RestoreOutsideMask(x1, y1, x2, y2, GetTargetSurface(), nullptr);
}

int SaveMaskedRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, PlatDDSurface targetSurface,
                   const GraphImage* targetImage) {
  MaskScreenState& m = g_Mask;
  if (!m.mask || !WorkCopyExists()) return 0;
  Rect r{};
  if (!BracketRect(x1, y1, x2, y2, targetImage, &r)) return 0;
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (ScreenDrawnAsImages()) {
    if (targetImage) GraphImageToMemImgRect(targetImage, nullptr, &m.workImage, r.left, r.top, width, height, r.left, r.top, 0);
    return 0;
  }
  if (targetSurface) {
    const PlatRect from{r.left, r.top, r.right, r.bottom};
    PlatDDSurfaceBltFast(m.workSurface, r.left, r.top, targetSurface, &from,
                         PLAT_DDBLTFAST_NOCOLORKEY | PLAT_DDBLTFAST_WAIT);
    return 0;
  }
  if (!targetImage) return 0;
  int32_t pitch = 0, bytes = 0;
  uint8_t* work = LockWorkSurface(PLAT_DDLOCK_WAIT | PLAT_DDLOCK_WRITEONLY, &pitch, &bytes);
  if (!work) return 0;
  ConvertBlitRect(work, pitch, GetScreenColorFormat(), targetImage->pixels, int32_t(targetImage->pitch),
                  &targetImage->format, nullptr, 0, nullptr, r.left, r.top, &r, 0, 0, 0, 0, 0, 0, 0, 0);
  PlatDDSurfaceUnlock(m.workSurface, nullptr);
  return 0;
}

int RestoreOutsideMask(int32_t x1, int32_t y1, int32_t x2, int32_t y2, PlatDDSurface targetSurface,
                       const GraphImage* targetImage) {
  MaskScreenState& m = g_Mask;
  if (!m.maskedDraw || !m.mask || !WorkCopyExists()) return 0;
  Rect r{};
  if (!BracketRect(x1, y1, x2, y2, targetImage, &r)) return 0;
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (ScreenDrawnAsImages()) {
    const MemImgData* data = m.workImage.data;
    KeyOutAllowedPixels(m.workImage.pixels, data->pitch, data->format->bytesPerPixel, r);
    if (targetImage) {
      GraphImage destination = *targetImage;
      CopyScreenMemImgRect(&destination, &m.workImage, r.left, r.top, width, height, r.left, r.top, m.keyColor, 1);
    }
    return 0;
  }
  int32_t pitch = 0, bytes = 0;
  uint8_t* work = LockWorkSurface(PLAT_DDLOCK_WAIT, &pitch, &bytes);
  if (!work) return 0;
  KeyOutAllowedPixels(work, pitch, bytes, r);
  PlatDDSurfaceUnlock(m.workSurface, nullptr);
  const PlatRect from{r.left, r.top, r.right, r.bottom};
  if (targetSurface) {
    PlatDDSurfaceBltFast(targetSurface, r.left, r.top, m.workSurface, &from,
                         PLAT_DDBLTFAST_SRCCOLORKEY | PLAT_DDBLTFAST_WAIT);
    return 0;
  }
  if (!targetImage) return 0;
  // Reading video memory is slow: the rectangle is read from the screen's work surface
  // in system memory.
  PlatDDSurface source = m.workSurface;
  if (m.workSurfaceInVideoMemory) {
    source = GetWorkSurface();
    if (!source || CopySurfaceRect(source, m.workSurface, r.left, r.top, &from, -1) != 0) return 0;
  }
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  if (PlatDDSurfaceLock(source, nullptr, &desc, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_READONLY) != PLAT_DD_OK) return 0;
  ConvertBlitRect(targetImage->pixels, int32_t(targetImage->pitch), &targetImage->format, desc.surface, desc.pitch,
                  GetScreenColorFormat(), nullptr, 0, nullptr, r.left, r.top, &r, 0, 0, m.keyColor, 0, 0, 0, 1, 0);
  PlatDDSurfaceUnlock(source, nullptr);
  return 0;
}

// ---- the type-0x40000000 records -----------------------------------------------------------

int DeleteType40Handle(int32_t handle) {
  if (handle < 0 || (uint32_t(handle) & HANDLE_TYPE_MASK) != uint32_t(HANDLE_TYPE_TABLE512)) return -1;
  const int32_t slot = HandleSlot(handle);
  if (slot >= TYPE40_SLOTS) return -1;
  Type40Record& r = g_Type40[slot];
  if (!r.inUse || (r.check << 16) != (uint32_t(handle) & HANDLE_CHECK_MASK)) return -1;
  TrackedFree(r.buffer);
  r = Type40Record{};
  return 0;
}

int DeleteAllType40Handles() {
  for (int32_t slot = 0; slot < TYPE40_SLOTS; slot++)
    if (g_Type40[slot].inUse == 1) DeleteType40Handle(MakeHandle(HANDLE_TYPE_TABLE512, g_Type40[slot].check, slot));
  return 0;
}

// ---- test seam ---------------------------------------------------------------------------------

void SetMaskScreenForTest(int32_t made, int32_t reverse, uint32_t keyColor) {
  g_Mask.made = made;
  g_Mask.reverse = reverse;
  g_Mask.keyColor = keyColor;
}

uint8_t* MaskBytesForTest(int32_t* pitch, int32_t* width, int32_t* height) {
  if (pitch) *pitch = g_Mask.pitch;
  if (width) *width = g_Mask.width;
  if (height) *height = g_Mask.height;
  return g_Mask.mask;
}

Type40Record* Type40RecordForTest(int32_t slot) {
  return slot >= 0 && slot < TYPE40_SLOTS ? &g_Type40[slot] : nullptr;
}
