#include "engine/softimage/memimg.h"

#include "engine/base/memory.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/blendtables.h"

#include <cstddef>
#include <cstring>

namespace {

enum : size_t { PALETTE_BLOCK_BYTES = 2048, PALETTE_HALF_BYTES = 1024 };

struct FormatCache {
  bool built[4][2][2];
  ColorFormat formats[4][2][2];
  bool pixelBuilt[4][2][2];
  PixelFormatRecord pixelFormats[4][2][2];
};
FormatCache g_formatCache;

struct KindMasks {
  uint32_t depth, red, green, blue, alpha;
};

// Kinds 0 and 1: plain, with the alpha flag, with the palette flag (which wins).
KindMasks MasksOf(int32_t kind, int alpha, int palette) {
  if (kind == MEMIMG_KIND_RGB565) {
    if (palette) return {8, 0xF800, 0x07E0, 0x001F, 0};
    if (alpha) return {32, 0xF800, 0x07E0, 0x001F, 0x00FF0000};
    return {16, 0xF800, 0x07E0, 0x001F, 0};
  }
  if (palette) return {8, 0x00FF0000, 0x0000FF00, 0x000000FF, 0};
  if (alpha) return {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  return {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0};
}

// The cache slot of a combination; kinds 2 and 3 ignore the flags.
bool CacheIndex(int32_t kind, int32_t alphaFlag, int32_t paletteFlag, int* a, int* p) {
  if (kind < 0 || kind > 3) return false;
  *a = kind <= 1 && alphaFlag ? 1 : 0;
  *p = kind <= 1 && paletteFlag ? 1 : 0;
  return true;
}

int BytesPerPixel(int32_t kind, int32_t paletteFlag, int32_t alphaFlag) {
  static const int kBytes[4] = {2, 4, 1, 2};
  if (paletteFlag) return 1;
  if (alphaFlag && kind == MEMIMG_KIND_RGB565) return 4;
  return kBytes[kind];
}

void FreeData(MemImgData* d) {
  if (!d->callerOwnedPixels) TrackedFree(d->pixelMemory);
  TrackedFree(d->premultipliedCopy);
  TrackedFree(d->runMap);
  TrackedFree(d->palette);
  d->pixelMemory = d->premultipliedCopy = d->runMap = nullptr;
  d->palette = d->paletteCopy = nullptr;
  TrackedFree(d);
}

}  // namespace

const ColorFormat* GetMemImgColorFormat(int32_t kind, int32_t alphaFlag, int32_t paletteFlag) {
  int a, p;
  if (!CacheIndex(kind, alphaFlag, paletteFlag, &a, &p)) return nullptr;
  ColorFormat* f = &g_formatCache.formats[kind][a][p];
  if (!g_formatCache.built[kind][a][p]) {
    std::memset(f, 0, sizeof *f);
    if (kind <= MEMIMG_KIND_XRGB8888) {
      KindMasks m = MasksOf(kind, a, p);
      SetupFormatFromMasksCore(f, int32_t(m.depth), m.red, m.green, m.blue, m.alpha);
    } else {
      // One channel read as red, green, blue and alpha at once.
      uint8_t bits = kind == MEMIMG_KIND_GRAY8 ? 8 : 16;
      uint32_t mask = kind == MEMIMG_KIND_GRAY8 ? 0xFF : 0xFFFF;
      f->bitDepth = bits;
      f->bytesPerPixel = bits / 8;
      f->redWidth = f->greenWidth = f->blueWidth = f->alphaWidth = bits;
      f->redMask = f->greenMask = f->blueMask = f->alphaMask = mask;
    }
    g_formatCache.built[kind][a][p] = true;
  }
  return f;
}

const PixelFormatRecord* GetMemImgPixelFormat(int32_t kind, int32_t alphaFlag,
                                              int32_t paletteFlag) {
  int a, p;
  if (!CacheIndex(kind, alphaFlag, paletteFlag, &a, &p)) return nullptr;
  PixelFormatRecord* r = &g_formatCache.pixelFormats[kind][a][p];
  if (!g_formatCache.pixelBuilt[kind][a][p]) {
    if (kind <= MEMIMG_KIND_XRGB8888) {
      KindMasks m = MasksOf(kind, a, p);
      MakeRgbPixelFormatCore(r, m.depth, m.red, m.green, m.blue, m.alpha);
    } else {
      uint32_t mask = kind == MEMIMG_KIND_GRAY8 ? 0xFF : 0xFFFF;
      std::memset(r, 0, sizeof *r);
      r->bitCount = kind == MEMIMG_KIND_GRAY8 ? 8 : 16;
      r->redMask = r->greenMask = r->blueMask = r->alphaMask = mask;
    }
    g_formatCache.pixelBuilt[kind][a][p] = true;
  }
  return r;
}

int CreateMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t pitch,
                 uint32_t transparentColor, int32_t kind, int32_t paletteFlag, int32_t alphaFlag,
                 int32_t extraBuffers, void* pixelMemory) {
  if (img->magic == MEMIMG_MAGIC) return -1;
  if (kind < 0 || kind > 3 || width <= 0 || height <= 0) return -1;
  paletteFlag = paletteFlag ? 1 : 0;
  alphaFlag = alphaFlag && !paletteFlag ? 1 : 0;
  if (kind >= MEMIMG_KIND_GRAY8) paletteFlag = alphaFlag = 0;

  // Sizes in 64 bits before anything is taken.
  int bytes = BytesPerPixel(kind, paletteFlag, alphaFlag);
  int64_t rowBytes = int64_t(bytes) * width;
  int64_t stride = pitch == -1 ? (rowBytes + 15) / 16 * 16 : pitch;
  if (stride < rowBytes || stride * height > IMAGE_MAX_BYTES) return -1;
  bool wantRunMap = extraBuffers && kind != MEMIMG_KIND_GRAY8;
  bool wantPremultiplied = extraBuffers && alphaFlag;
  int64_t runMapBytes = (int64_t(width) + 5) * height;
  if (wantRunMap && runMapBytes > IMAGE_MAX_BYTES) return -1;

  MemImgData* d = static_cast<MemImgData*>(TrackedCalloc(sizeof(MemImgData), "", 0));
  img->data = d;
  if (!d) return -1;
  d->refCount = 1;
  d->width = width;
  d->height = height;
  d->transparentColor = transparentColor;
  d->kind = kind;
  d->paletteFlag = paletteFlag;
  d->alphaFlag = alphaFlag;
  d->pitch = int32_t(stride);

  // The row shift, found by doubling up to the row's size (or the given pitch).
  int64_t wanted = pitch == -1 ? rowBytes : pitch;
  int64_t power = 1;
  int32_t exponent = 0;
  while (power < wanted) {
    power *= 2;
    exponent++;
  }
  d->rowShift = power == stride ? exponent : -1;
  d->format = GetMemImgColorFormat(kind, alphaFlag, paletteFlag);

  bool ok = true;
  if (paletteFlag) {
    d->palette = TrackedCalloc(PALETTE_BLOCK_BYTES, "", 0);
    d->paletteCopy = d->palette ? static_cast<uint8_t*>(d->palette) + PALETTE_HALF_BYTES : nullptr;
    ok = d->palette != nullptr;
  }
  if (ok && pixelMemory) {
    d->pixelMemory = static_cast<uint8_t*>(pixelMemory);
    d->callerOwnedPixels = 1;
  } else if (ok) {
    d->pixelMemory = static_cast<uint8_t*>(TrackedAlloc(size_t(stride * height), "", 0));
    ok = d->pixelMemory != nullptr;
  }
  if (ok && wantPremultiplied) {
    d->premultipliedCopy = static_cast<uint8_t*>(TrackedAlloc(size_t(stride * height), "", 0));
    ok = d->premultipliedCopy != nullptr;
  }
  if (ok && wantRunMap) {
    d->runMap = static_cast<uint8_t*>(TrackedAlloc(size_t(runMapBytes), "", 0));
    ok = d->runMap != nullptr;
  }
  if (!ok) {
    FreeData(d);
    img->data = nullptr;
    return -1;
  }

  img->magic = MEMIMG_MAGIC;
  img->width = width;
  img->height = height;
  img->pixels = d->pixelMemory;
  img->premultiplied = d->premultipliedCopy;
  return 0;
}

int CreateScreenMemImg(MEMIMG* img, int32_t width, int32_t height, int32_t kind) {
  std::memset(img, 0, sizeof *img);
  if (kind == -1) kind = QueryScreenDepth() == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888;
  return CreateMemImg(img, width, height, -1, 0, kind, 0, 0, 0, nullptr);
}

int CreateDepthMemImg(MEMIMG* img, int32_t width, int32_t height) {
  std::memset(img, 0, sizeof *img);
  return CreateMemImg(img, width, height, -1, 0, MEMIMG_KIND_GRAY16, 0, 0, 0, nullptr);
}

void DeriveMemImg(MEMIMG* view, const MEMIMG* source, int32_t x, int32_t y, int32_t width,
                  int32_t height) {
  if (!IsMemImgValid(source)) return;
  if (x < 0 || y < 0 || width < 0 || height < 0) return;
  if (int64_t(x) + width > source->width || int64_t(y) + height > source->height) return;
  MemImgData* d = source->data;
  size_t offset = size_t(d->format->bytesPerPixel) * size_t(x) + size_t(d->pitch) * size_t(y);
  uint8_t* pixels = source->pixels + offset;
  uint8_t* premultiplied = d->premultipliedCopy ? source->premultiplied + offset : nullptr;
  // Take the new reference before letting go of the old, in case both are the same data.
  d->refCount++;
  ReleaseMemImg(view);
  view->magic = MEMIMG_MAGIC;
  view->width = width;
  view->height = height;
  view->pixels = pixels;
  view->premultiplied = premultiplied;
  view->data = d;
}

void ReleaseMemImg(MEMIMG* img) {
  if (img->magic != MEMIMG_MAGIC) return;
  MemImgData* d = img->data;
  if (d && --d->refCount <= 0) FreeData(d);
  img->data = nullptr;
  img->magic = 0;
}

int IsMemImgValid(const MEMIMG* img) {
  return img && img->magic == MEMIMG_MAGIC && img->data != nullptr ? 1 : 0;
}

int IsMemImgWholeImage(const MEMIMG* img) {
  if (!IsMemImgValid(img)) return 0;
  const MemImgData* d = img->data;
  return img->pixels == d->pixelMemory && img->width == d->width && img->height == d->height;
}

void ClearMemImgRect(MEMIMG* img, const Rect* rect, uint32_t value) {
  if (!IsMemImgValid(img)) return;
  Rect whole = {0, 0, img->width, img->height};
  Rect r = whole;
  if (rect) {
    r = *rect;
    ClipRect(&r, &whole);
  }
  int bytes = img->data->format->bytesPerPixel;
  if (bytes != 1 && bytes != 2 && bytes != 4) return;
  if (r.left >= r.right || r.top >= r.bottom) return;
  // The first row pixel by pixel, the others copies of it.
  const int32_t pitch = img->data->pitch;
  const size_t rowBytes = size_t(r.right - r.left) * size_t(bytes);
  uint8_t* first = img->pixels + ptrdiff_t(r.top) * pitch + ptrdiff_t(r.left) * bytes;
  auto fill = [&](auto pixel) {
    for (size_t at = 0; at < rowBytes; at += sizeof pixel) std::memcpy(first + at, &pixel, sizeof pixel);
  };
  if (bytes == 4) fill(uint32_t(value));
  else if (bytes == 2) fill(uint16_t(value));
  else std::memset(first, int(value & 0xFF), rowBytes);
  for (int32_t y = r.top + 1; y < r.bottom; y++) std::memcpy(first + ptrdiff_t(y - r.top) * pitch, first, rowBytes);
}
