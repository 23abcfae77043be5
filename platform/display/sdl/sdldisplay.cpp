// SDL back end of the display: SDL's desktop mode, and the upload of the store into one
// streaming texture per shown window, in the store's own format (8 bits are turned into
// XRGB8888 through the palette), presented at once; on SDL's software renderer, a window
// shown pixel for pixel takes the store straight into its framebuffer instead. No renderer
// vsync: the program paces itself on the raster.
#include "platform/display/backend.h"

#include "platform/sdl/sdlstart.h"
#include "platform/window/sdl/sdlwindow.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace {

struct Texture {
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  uint32_t format = 0;
  int width = 0, height = 0;
};

// SDL's software renderer copies a streaming texture into the window's framebuffer, so
// the texture costs a copy of the frame and gives nothing: a window it shows pixel for
// pixel takes the store straight into that framebuffer (SDL_GetWindowSurface hands out the
// one the renderer draws on), by rows when the formats agree, else by SDL_BlitSurface
// from a surface over the store, as the renderer's copy would. A scaled window (full
// screen) keeps the texture. False when the window is not shown that way.
bool CopyToFramebuffer(SDL_Renderer* renderer, PlatWnd window, int width, int height, uint32_t format,
                       const uint8_t* first, int pitch, const SDL_Rect& at, bool blackFirst) {
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(renderer, &info) != 0 || !(info.flags & SDL_RENDERER_SOFTWARE)) return false;
  int logicalW = 0, logicalH = 0;
  SDL_RenderGetLogicalSize(renderer, &logicalW, &logicalH);
  SDL_Window* sdlWindow = static_cast<SDL_Window*>(PlatSdlWindow(window));
  if (logicalW || logicalH || !sdlWindow) return false;
  SDL_Surface* framebuffer = SDL_GetWindowSurface(sdlWindow);
  if (!framebuffer || framebuffer->w != width || framebuffer->h != height || SDL_MUSTLOCK(framebuffer))
    return false;
  if (blackFirst) SDL_FillRect(framebuffer, nullptr, SDL_MapRGB(framebuffer->format, 0, 0, 0));
  if (at.w > 0 && at.h > 0) {
    if (framebuffer->format->format == format) {
      const size_t bytes = size_t(SDL_BYTESPERPIXEL(format));
      uint8_t* to = static_cast<uint8_t*>(framebuffer->pixels) + size_t(at.y) * size_t(framebuffer->pitch) +
                    size_t(at.x) * bytes;
      for (int y = 0; y < at.h; y++)
        std::memcpy(to + size_t(y) * size_t(framebuffer->pitch), first + size_t(y) * size_t(pitch), size_t(at.w) * bytes);
    } else {
      SDL_Surface* store = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(first), at.w, at.h,
                                                              SDL_BITSPERPIXEL(format), pitch, format);
      if (!store) return false;
      SDL_Rect to = at;
      SDL_BlitSurface(store, nullptr, framebuffer, &to);
      SDL_FreeSurface(store);
    }
  }
  SDL_UpdateWindowSurface(sdlWindow);
  return true;
}

// Touched only on the windows' thread, under the display's lock.
std::map<PlatWnd, Texture>& Textures() {
  static auto* t = new std::map<PlatWnd, Texture>;
  return *t;
}

void Desktop(PlatDisplayMode* mode) {
  SDL_DisplayMode m;
  if (PlatSdlStart(PLAT_SDL_VIDEO) && SDL_GetDesktopDisplayMode(0, &m) == 0) {
    // SDL says 24 bits for 4-byte pixels; the display counts the bytes.
    const int depth = SDL_BYTESPERPIXEL(m.format) * 8;
    *mode = PlatDisplayModeOf(m.w, m.h, depth == 16 ? 16 : 32, m.refresh_rate > 0 ? m.refresh_rate : 60);
    if (depth == 16) {
      int bpp;
      Uint32 r, g, b, a;
      if (SDL_PixelFormatEnumToMasks(m.format, &bpp, &r, &g, &b, &a)) {
        mode->redMask = r;
        mode->greenMask = g;
        mode->blueMask = b;
      }
    }
    return;
  }
  *mode = PlatDisplayModeOf(640, 480, 32, 60);
}

int Accepts(const PlatDisplayMode& mode) {
  const bool sized = mode.width >= 320 && mode.height >= 200 && mode.width <= 2048 && mode.height <= 1536;
  const bool rate = mode.refreshRate == 0 || mode.refreshRate == 60;
  const PlatDisplayMode usual = PlatDisplayModeOf(mode.width, mode.height, mode.depth);
  return sized && rate && PlatDisplaySameFormat(usual, mode) ? 1 : 0;
}

uint32_t SdlFormat(const PlatDisplayMode& mode) {
  if (mode.depth == 16) return mode.greenMask == 0x03E0 ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565;
  return SDL_PIXELFORMAT_RGB888;  // 32 bits, and 8 bits after the palette
}

void UploadWindow(const PlatDisplayFrame& f, PlatWnd window, std::vector<uint32_t>& rows) {
  SDL_Renderer* renderer = static_cast<SDL_Renderer*>(PlatSdlRenderer(window));
  if (!renderer) return;
  PlatRect src{0, 0, f.mode.width, f.mode.height};
  if (f.fullScreenWindow != window) {
    PlatRect client;
    PlatPoint origin{0, 0};
    if (!PlatGetClientRect(window, &client) || !PlatClientToScreen(window, &origin)) return;
    src = {origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
  }
  const int width = src.right - src.left, height = src.bottom - src.top;
  if (width <= 0 || height <= 0) return;
  const uint32_t format = SdlFormat(f.mode);
  const int bytes = SDL_BYTESPERPIXEL(format);
  // What lies off the store shows black.
  const PlatRect in{std::max(src.left, 0), std::max(src.top, 0), std::min(src.right, f.mode.width),
                    std::min(src.bottom, f.mode.height)};
  const bool offStore = in.left != src.left || in.top != src.top || in.right != src.right || in.bottom != src.bottom;
  SDL_Rect at{0, 0, 0, 0};
  const uint8_t* first = nullptr;
  int pitch = f.pitch;
  if (in.left < in.right && in.top < in.bottom) {
    at = {in.left - src.left, in.top - src.top, in.right - in.left, in.bottom - in.top};
    const size_t storeBytes = size_t(f.mode.depth / 8);
    first = f.pixels + size_t(in.top) * size_t(f.pitch) + size_t(in.left) * storeBytes;
    if (f.mode.depth == 8) {
      rows.resize(size_t(at.w) * size_t(at.h));
      for (int y = 0; y < at.h; y++)
        for (int x = 0; x < at.w; x++)
          rows[size_t(y) * size_t(at.w) + size_t(x)] = f.palette[first[size_t(y) * size_t(f.pitch) + size_t(x)]];
      first = reinterpret_cast<const uint8_t*>(rows.data());
      pitch = at.w * 4;
    }
  }
  if (CopyToFramebuffer(renderer, window, width, height, format, first, pitch, at, offStore)) return;
  Texture& t = Textures()[window];
  if (t.renderer != renderer || t.width != width || t.height != height || t.format != format) {
    if (t.texture && t.renderer == renderer) SDL_DestroyTexture(t.texture);
    t = Texture{renderer, SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height),
                format, width, height};
    if (!t.texture) return;
    SDL_SetTextureScaleMode(t.texture, SDL_ScaleModeNearest);
  }
  if (offStore) {
    std::vector<uint32_t> black(size_t(width) * size_t(height) * size_t(bytes) / 4 + 1, 0);
    SDL_UpdateTexture(t.texture, nullptr, black.data(), width * bytes);
  }
  if (first) SDL_UpdateTexture(t.texture, &at, first, pitch);
  // The opaque texture covers the whole window, so nothing is cleared under it first.
  SDL_RenderCopy(renderer, t.texture, nullptr, nullptr);
  SDL_RenderPresent(renderer);
}

void Upload(const PlatDisplayFrame& f) {
  std::vector<uint32_t> rows;
  for (int i = 0; i < f.windowCount; i++) UploadWindow(f, f.windows[i], rows);
}

void Forget(PlatWnd window) {
  auto& textures = Textures();
  auto it = textures.find(window);
  if (it == textures.end()) return;
  // A texture dies with its renderer; only a window still shown has one to free.
  if (it->second.texture && PlatSdlWindow(window) && PlatSdlRenderer(window) == it->second.renderer)
    SDL_DestroyTexture(it->second.texture);
  textures.erase(it);
}

const PlatDisplayBackend kSdl = {
    .name = "sdl",
    .description = "Display in host memory, uploaded to SDL windows",
    .desktop = Desktop,
    .accepts = Accepts,
    .upload = Upload,
    .forget = Forget,
};

}  // namespace

const PlatDisplayBackend* PlatDisplaySdlBackend() { return &kSdl; }
