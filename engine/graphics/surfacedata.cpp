// Surface records: the table, the records' surface objects, colour keys, locks, fills,
// loss and restore.
#include "engine/graphics/surfacedata.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"

#include <cstring>

// Set up before any code runs: the graph manager's start may clear it before any add.
SurfaceDataTable g_SurfaceDataTable = {
    .slots = {},
    .table = {HANDLE_TYPE_SURFACE_DATA, SURFACE_DATA_SLOTS, g_SurfaceDataTable.slots, 0, 0, 0},
};

namespace {

// The screen is drawn by the software renderer (an 8-bit screen never is).
bool ScreenSoftwareRendered() { return g_ScreenState.softwareRender && g_ScreenState.depth != 8; }

int32_t ScreenWidth() {
  int32_t width = 0;
  QueryScreenSize(&width, nullptr);
  return width;
}

bool HasObjects(const SurfaceData* r) {
  return r->softwareImage ? IsMemImgValid(&r->image) != 0 : r->surface != 0;
}

bool HasDepthBuffer(const SurfaceData* r) {
  return r->softwareImage ? IsMemImgValid(&r->depthImage) != 0 : r->depthSurface != 0;
}

PlatDDSurfaceDesc SizedDesc(uint32_t caps, const SurfaceData* r) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT;
  d.caps = caps;
  d.width = r->width;
  d.height = r->height;
  return d;
}

void ReleaseDepthBuffer(SurfaceData* r) {
  ReleaseMemImg(&r->depthImage);
  r->depthImage = MEMIMG{};
  if (r->depthSurface) {
    if (r->surface) PlatDDSurfaceDeleteAttachedSurface(r->surface, r->depthSurface);
    PlatDDSurfaceRelease(r->depthSurface);
    r->depthSurface = 0;
  }
}

int CreateSoftwareImage(SurfaceData* r) {
  const SurfaceCreateFlags& f = r->flags;
  const bool wide = f.bitDepth != 16;
  r->formatIndex = SURFACE_FORMAT_IMAGE16 + (wide ? 2 : 0) + (f.alpha ? 1 : 0);
  int result;
  if (f.oneChannel) {
    result = CreateMemImg(&r->image, r->width, r->height, -1, 0, MEMIMG_KIND_GRAY8, 0, 0, 0, nullptr);
  } else {
    const int32_t kind = wide ? MEMIMG_KIND_XRGB8888 : MEMIMG_KIND_RGB565;
    uint32_t transparent = 0xFFFF;
    if (!f.palette) {
      const uint32_t c = g_DrawState.transparentColor;
      transparent = ColorToPixelValue(GetMemImgColorFormat(kind, f.alpha, 0), int32_t(c >> 16 & 0xFF),
                                      int32_t(c >> 8 & 0xFF), int32_t(c & 0xFF), 255);
    }
    result = CreateMemImg(&r->image, r->width, r->height, -1, transparent, kind, f.palette, f.alpha, 1,
                          nullptr);
  }
  if (result != 0) {
    r->image = MEMIMG{};
    WriteLog("メモリイメージの作成に失敗しました\n");
    return -1;
  }
  return 0;
}

int CreatePlainSurface(SurfaceData* r) {
  r->formatIndex = SURFACE_FORMAT_PLAIN;
  uint32_t memory;
  if (r->flags.systemMemory || r->width > ScreenWidth() || ScreenSoftwareRendered())
    memory = PLAT_DDSCAPS_SYSTEMMEMORY;
  else
    memory = PLAT_DDSCAPS_VIDEOMEMORY | PLAT_DDSCAPS_3DDEVICE;
  PlatDDSurfaceDesc desc = SizedDesc(PLAT_DDSCAPS_OFFSCREENPLAIN | memory, r);
  if (PlatDDrawCreateSurface(g_ScreenState.ddraw, &desc, &r->surface) != PLAT_DD_OK) {
    // Video memory may be spent: system memory serves as well, only slower.
    desc = SizedDesc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, r);
    if (PlatDDrawCreateSurface(g_ScreenState.ddraw, &desc, &r->surface) != PLAT_DD_OK) {
      r->surface = 0;
      WriteLog("標準サーフェスの作成に失敗しました\n");
      return -1;
    }
  }
  uint32_t caps = 0;
  PlatDDSurfaceGetCaps(r->surface, &caps);
  r->flags.systemMemory = (caps & PLAT_DDSCAPS_VIDEOMEMORY) ? 0 : 1;
  r->flags.drawValid = 1;
  return 0;
}

int CreateTextureSurface(SurfaceData* r) {
  const SurfaceCreateFlags& f = r->flags;
  r->formatIndex = ChooseTextureFormatIndex(&f);
  const PixelFormatRecord* format = TextureFormatPixelFormat(r->formatIndex);
  bool made = false;
  if (format && format->bitCount) {
    PlatDDSurfaceDesc desc = SizedDesc(PLAT_DDSCAPS_TEXTURE | (f.drawValid ? PLAT_DDSCAPS_3DDEVICE : 0u), r);
    if (!f.drawValid && !f.textureManageOff) desc.caps2 = PLAT_DDSCAPS2_TEXTUREMANAGE;
    desc.flags |= PLAT_DDSD_PIXELFORMAT;
    std::memcpy(&desc.pixelFormat, format, sizeof desc.pixelFormat);
    made = PlatDDrawCreateSurface(g_ScreenState.ddraw, &desc, &r->surface) == PLAT_DD_OK;
  }
  if (!made) {
    r->surface = 0;
    WriteLog("テクスチャサーフェスの作成に失敗しました\n");
    WriteLogFmt("DrawValid:%d  AlphaChFlag%d  AlphaTestFlag:%d  ColorBitDepth:%d", f.drawValid, f.alpha,
                f.alphaTest, f.bitDepth);
    return -1;
  }
  PlatDDBltFx fx{};
  fx.size = sizeof fx;
  PlatDDSurfaceBlt(r->surface, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL | PLAT_DDBLT_WAIT, &fx);
  return 0;
}

// The format the record's pixels are in.
const ColorFormat* PixelsFormat(const SurfaceData* r) {
  if (r->softwareImage) return IsMemImgValid(&r->image) ? r->image.data->format : nullptr;
  if (r->flags.texture) return TextureFormatColorFormat(r->formatIndex);
  return GetScreenColorFormat();
}

// The nearest entry of a palette image's own palette (the lowest index on a tie).
uint32_t NearestImagePaletteIndex(const MemImgData* d, int32_t red, int32_t green, int32_t blue) {
  int64_t best = INT64_MAX;
  uint32_t index = 0;
  for (uint32_t i = 0; i < 256; i++) {
    int32_t r, g, b;
    if (d->kind == MEMIMG_KIND_RGB565) {
      const uint32_t v = ReadPixelValue(static_cast<const uint8_t*>(d->palette) + 2 * i, 2);
      r = int32_t(v >> 11 & 0x1F) * 255 / 31;
      g = int32_t(v >> 5 & 0x3F) * 255 / 63;
      b = int32_t(v & 0x1F) * 255 / 31;
    } else {
      const uint32_t v = ReadPixelValue(static_cast<const uint8_t*>(d->palette) + 4 * i, 4);
      r = int32_t(v >> 16 & 0xFF);
      g = int32_t(v >> 8 & 0xFF);
      b = int32_t(v & 0xFF);
    }
    const int64_t dr = r - red, dg = g - green, db = b - blue;
    const int64_t distance = dr * dr + dg * dg + db * db;
    if (distance < best) {
      best = distance;
      index = i;
    }
  }
  return index;
}

int FillSoftwareImage(SurfaceData* r, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  if (!IsMemImgValid(&r->image)) return -1;
  MemImgData* d = r->image.data;
  const uint32_t value = d->paletteFlag ? NearestImagePaletteIndex(d, red, green, blue)
                                        : ColorToPixelValue(d->format, red, green, blue, alpha);
  ClearMemImgRect(&r->image, nullptr, value);
  d->premultipliedValid = 0;
  d->runMapValid = 0;
  return 0;
}

}  // namespace

int32_t ChooseTextureFormatIndex(const SurfaceCreateFlags* flags) {
  const int32_t wide = flags->bitDepth != 16 ? 1 : 0;
  if (!flags->drawValid) {
    if (flags->alpha) return 2 + wide;
    if (flags->alphaTest) return 4 + wide;
    return wide;
  }
  if (flags->alpha == 1 || flags->alphaTest == 1) return 8;
  return 6 + wide;
}

int32_t AddSurfaceData(int32_t refCount, int32_t width, int32_t height, uint32_t colorKey,
                       const SurfaceCreateFlags* flags) {
  // The record keeps 16-bit sizes: a larger one would make a smaller surface than asked.
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
    WriteLogFmt("サーフェスのサイズが不正です %d x %d\n", width, height);
    return -1;
  }
  HandleTable& t = g_SurfaceDataTable.table;
  if (t.count >= SURFACE_DATA_SLOTS || HandleTableNextSlot(&t) < 0) {
    WriteLog("サーフェスのデータ数が許容量を越えました。\n");
    return -1;
  }
  SurfaceData* r = static_cast<SurfaceData*>(TrackedCalloc(sizeof(SurfaceData), __FILE__, __LINE__));
  if (!r) {
    WriteLog("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
    return -1;
  }
  if (flags) r->flags = *flags;
  r->width = uint16_t(width);
  r->height = uint16_t(height);
  r->refCount = refCount;
  r->colorKey = colorKey;

  SurfaceCreateFlags& f = r->flags;
  if (!f.texture) {
    if (f.alpha || f.oneChannel) f.systemMemory = 1;
    f.drawValid = 1;
    f.alphaTest = 0;
  } else {
    f.systemMemory = 0;
    if (f.drawValid || f.alpha) f.alphaTest = 0;
  }
  r->softwareImage = (f.systemMemory || ScreenSoftwareRendered()) ? 1 : 0;

  const int32_t handle = HandleTableAdd(&t, r);
  if (handle < 0) {
    TrackedFree(r);
    WriteLog("サーフェスのデータ数が許容量を越えました。\n");
    return -1;
  }
  if (CreateSurfaceObjects(handle) != 0) {
    RemoveSurfaceData(handle);
    return -1;
  }
  ApplySurfaceColorKey(handle);
  return handle;
}

int RemoveSurfaceData(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  ReleaseSurfaceObjects(handle);
  if (r->deletedFlag) *r->deletedFlag = 1;
  HandleTableRemove(&g_SurfaceDataTable.table, handle);
  TrackedFree(r);
  return 0;
}

SurfaceData* LookupSurfaceData(int32_t handle) {
  return static_cast<SurfaceData*>(HandleTableGet(&g_SurfaceDataTable.table, handle));
}

int AddSurfaceReference(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  return r ? ++r->refCount : -1;
}

int ReleaseSurfaceReference(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  return r ? --r->refCount : -1;
}

int CreateSurfaceObjects(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  if (HasObjects(r)) return 0;
  if (!r->softwareImage && !g_ScreenState.ddraw) return -1;
  int result;
  if (r->softwareImage)
    result = CreateSoftwareImage(r);
  else if (!r->flags.texture)
    result = CreatePlainSurface(r);
  else
    result = CreateTextureSurface(r);
  if (result != 0) {
    ReleaseSurfaceObjects(handle);
    return -1;
  }
  SetSurfaceDepthBuffer(handle, r->depthFlag);
  return 0;
}

int ReleaseSurfaceObjects(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  ReleaseDepthBuffer(r);
  ReleaseMemImg(&r->image);
  r->image = MEMIMG{};
  if (r->surface) PlatDDSurfaceRelease(r->surface);
  r->surface = 0;
  // A lock dies with its memory.
  r->lockCount = 0;
  r->lockPointer = nullptr;
  return 0;
}

int SetSurfaceDepthBuffer(int32_t handle, int32_t flag) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  if ((flag != 0) == HasDepthBuffer(r)) return 0;
  if (!r->flags.drawValid) return -1;
  if (!flag) {
    ReleaseDepthBuffer(r);
    r->depthFlag = 0;
    return 0;
  }
  bool made = false;
  if (r->softwareImage) {
    made = CreateDepthMemImg(&r->depthImage, r->width, r->height) == 0;
    if (!made) r->depthImage = MEMIMG{};
  } else if (r->surface) {
    PlatDDSurfaceDesc desc = SizedDesc(PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_VIDEOMEMORY, r);
    desc.flags |= PLAT_DDSD_PIXELFORMAT;
    std::memcpy(&desc.pixelFormat, DepthBufferPixelFormat(16), sizeof desc.pixelFormat);
    PlatDDSurface depth = 0;
    if (PlatDDrawCreateSurface(g_ScreenState.ddraw, &desc, &depth) == PLAT_DD_OK) {
      if (PlatDDSurfaceAddAttachedSurface(r->surface, depth) == PLAT_DD_OK) {
        r->depthSurface = depth;
        made = true;
      } else {
        PlatDDSurfaceRelease(depth);
      }
    }
  }
  if (!made) {
    WriteLog("Ｚバッファの作成に失敗しました");
    return -1;
  }
  r->depthFlag = 1;
  return 0;
}

int ApplySurfaceColorKey(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  if (!r->surface) return 0;
  const int32_t red = int32_t(r->colorKey >> 16 & 0xFF), green = int32_t(r->colorKey >> 8 & 0xFF),
                blue = int32_t(r->colorKey & 0xFF);
  PlatDDColorKey key{};
  if (!r->flags.texture) {
    const uint32_t value = r->flags.bitDepth == 8 ? 0 : PackScreenColorCore(red, green, blue);
    key = {value, value};
    if (PlatDDSurfaceSetColorKey(r->surface, PLAT_DDCKEY_SRCBLT, &key) != PLAT_DD_OK) {
      WriteLog("標準サーフェスのカラーキーの設定に失敗しました\n");
      return -1;
    }
    return 0;
  }
  const ColorFormat* format = TextureFormatColorFormat(r->formatIndex);
  if (format) {
    const uint32_t value =
        ColorToPixelValue(format, red, green, blue, 255) | format->alphaMask | format->noChannelMask;
    key = {value, value};
  }
  if (!format || PlatDDSurfaceSetColorKey(r->surface, PLAT_DDCKEY_SRCBLT, &key) != PLAT_DD_OK) {
    WriteLog("テクスチャサーフェスのカラーキーの設定に失敗しました\n");
    return -1;
  }
  return 0;
}

int RestoreSurfaceIfLost(int32_t handle) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  if (!r->surface) return 0;
  if (r->depthSurface && PlatDDSurfaceIsLost(r->depthSurface) == PLAT_DDERR_SURFACELOST)
    PlatDDSurfaceRestore(r->depthSurface);
  if (PlatDDSurfaceIsLost(r->surface) != PLAT_DDERR_SURFACELOST) return 0;
  PlatDDSurfaceRestore(r->surface);
  return -1;
}

int LockSurfaceData(int32_t handle, int32_t* pitch, uint8_t** pixels, int32_t writeOnly,
                    const Rect* rect, const ColorFormat** format) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  const Rect whole{0, 0, r->width, r->height};
  const Rect want = rect ? *rect : whole;
  if (r->lockCount > 0) {
    // The first lock's pointer is the corner of its own rectangle: for another one the
    // caller would write at the wrong place.
    if (std::memcmp(&want, &r->lockRect, sizeof want) != 0) {
      WriteLog("グラフィックのロックに失敗しました");
      return -1;
    }
    r->lockCount++;
    if (pitch) *pitch = r->lockPitch;
    if (pixels) *pixels = r->lockPointer;
    if (format) *format = PixelsFormat(r);
    return -2;
  }
  if (want.left < 0 || want.top < 0 || want.right > whole.right || want.bottom > whole.bottom ||
      want.left >= want.right || want.top >= want.bottom) {
    WriteLog("グラフィックのロックに失敗しました");
    return -1;
  }
  if (r->surface) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    const PlatRect area{want.left, want.top, want.right, want.bottom};
    const uint32_t flags = PLAT_DDLOCK_WAIT | (writeOnly == 1 ? PLAT_DDLOCK_WRITEONLY : 0u);
    if (PlatDDSurfaceLock(r->surface, rect ? &area : nullptr, &desc, flags) != PLAT_DD_OK) {
      WriteLog("グラフィックのロックに失敗しました");
      return -1;
    }
    r->lockPitch = desc.pitch;
    r->lockPointer = static_cast<uint8_t*>(desc.surface);
  } else if (IsMemImgValid(&r->image)) {
    const MemImgData* d = r->image.data;
    r->lockPitch = d->pitch;
    r->lockPointer = r->image.pixels + int64_t(d->pitch) * want.top + int64_t(d->format->bytesPerPixel) * want.left;
  } else {
    return -1;
  }
  r->lockRect = want;
  r->lockCount = 1;
  if (pitch) *pitch = r->lockPitch;
  if (pixels) *pixels = r->lockPointer;
  if (format) *format = PixelsFormat(r);
  return 0;
}

int UnlockSurfaceData(int32_t handle, const Rect* rect) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r || r->lockCount <= 0) return -1;
  if (--r->lockCount > 0) return 0;
  r->lockPointer = nullptr;
  if (r->surface) {
    const PlatRect area = rect ? PlatRect{rect->left, rect->top, rect->right, rect->bottom} : PlatRect{};
    PlatDDSurfaceUnlock(r->surface, rect ? &area : nullptr);
  }
  return 0;
}

int FillSurfaceData(int32_t handle, int32_t red, int32_t green, int32_t blue, int32_t alpha) {
  SurfaceData* r = LookupSurfaceData(handle);
  if (!r) return -1;
  // A graph in system memory is a software image: it is filled like any surface.
  if (r->softwareImage) return FillSoftwareImage(r, red, green, blue, alpha);
  if (!g_ScreenState.ddraw || !r->surface) return -1;
  PlatDDBltFx fx{};
  fx.size = sizeof fx;
  if (r->flags.texture) {
    const ColorFormat* format = TextureFormatColorFormat(r->formatIndex);
    if (!format) return -1;
    fx.fillColor = ColorToPixelValue(format, red, green, blue, alpha);
  } else {
    fx.fillColor = PackScreenColorCore(red, green, blue);
  }
  return PlatDDSurfaceBlt(r->surface, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL | PLAT_DDBLT_WAIT, &fx) == PLAT_DD_OK
             ? 0
             : -1;
}
