// The stream way of playing movies: opening a record on the multimedia stream with its
// temporary copy, the frame update, the overlay, and the release and re-opening around a
// display change.
#include "engine/movie/stream.h"

#include "engine/base/handle.h"
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/file/dirfind.h"
#include "engine/file/file.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/movie/services.h"
#include "engine/pixel/screen.h"
#include "engine/softimage/memimg.h"
#include "engine/state/state.h"
#include "engine/state/sysinfo.h"
#include "platform/fs/fs.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace {

// The temporary copy is made in chunks of this many bytes.
constexpr int64_t kCopyChunk = 0x100000;

template <typename T>
void Drop(T& ref, int32_t (*release)(T)) {
  if (ref) release(ref);
  ref = 0;
}

int32_t ReleaseDDraw(PlatDDraw object) { return PlatDDrawRelease(object); }
int32_t ReleaseSurface(PlatDDSurface surface) { return PlatDDSurfaceRelease(surface); }

// Releases the record's stream objects in the order of the opening's failure and of the
// release before a display change; a failed opening also holds its multimedia stream in
// local, released after the DirectDraw object.
void ReleaseInOpeningOrder(MovieRecord* r, PlatMediaRef* local) {
  Drop(r->videoStream, PlatMediaRelease);
  Drop(r->ddStream, PlatMediaRelease);
  Drop(r->sample, PlatMediaRelease);
  Drop(r->surface, ReleaseSurface);
  Drop(r->surface4, ReleaseSurface);
  Drop(r->surface7, ReleaseSurface);
  Drop(r->amVideoStream, PlatMediaRelease);
  Drop(r->multiMediaStream, PlatMediaRelease);
  Drop(r->directDraw4, ReleaseDDraw);
  if (local) Drop(*local, PlatMediaRelease);
  Drop(r->graphBuilder, PlatMediaRelease);
  Drop(r->mediaControl, PlatMediaRelease);
  Drop(r->mediaSeeking, PlatMediaRelease);
  Drop(r->basicAudio, PlatMediaRelease);
}

// Releases what a failed opening holds and logs the line.
int FailOpening(MovieRecord* r, PlatMediaRef* local, const std::string& line) {
  ReleaseInOpeningOrder(r, local);
  WriteLog(line.c_str());
  return -1;
}

PlatDDPixelFormat ToPlatFormat(const PixelFormatRecord& f) {
  static_assert(sizeof(PixelFormatRecord) == sizeof(PlatDDPixelFormat), "32-byte pixel formats");
  PlatDDPixelFormat p;
  std::memcpy(&p, &f, sizeof p);
  return p;
}

PixelFormatRecord ToRecord(const PlatDDPixelFormat& f) {
  PixelFormatRecord r;
  std::memcpy(&r, &f, sizeof r);
  return r;
}

// The frame surface's pixel format in a surface mode.
PlatDDPixelFormat FrameFormat(MovieSurfaceMode mode) {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  switch (mode) {
    case MOVIE_SURFACE_OVERLAY:
      if (const PlatDDPixelFormat* overlay = GetOverlayPixelFormat()) f = *overlay;
      break;
    case MOVIE_SURFACE_RGB24:
      f.flags = PLAT_DDPF_RGB;
      f.bitCount = 24;
      f.rMask = 0xFF0000;
      f.gMask = 0xFF00;
      f.bMask = 0xFF;
      break;
    default: {
      const int32_t depth = QueryScreenDepth();
      const PixelFormatRecord* screen = IsSoftwareRendering() && depth != 8
                                            ? GetMemImgPixelFormat(depth != 16 ? 1 : 0, 0, 0)
                                            : GetScreenPixelFormatCore();
      if (screen) f = ToPlatFormat(*screen);
      break;
    }
  }
  return f;
}

// Step 10's copy: the file read through the file layer (archives too) into a temporary
// file whose path goes to the record's fileName. 0, or -1 with no file left behind (a copy
// begun is deleted, and the record says so).
int CopyToTemporaryFile(MovieRecord* r, const char* name) {
  const FileHandle in = FileOpen(name, 0, 1, 0);
  if (!in) return -1;
  FileSeek(in, 0, FILE_SEEK_END);
  const int64_t size = FileTell(in);
  FileSeek(in, 0, FILE_SEEK_SET);
  uint8_t* buffer = static_cast<uint8_t*>(TrackedAlloc(size_t(kCopyChunk), "", 0));
  if (!buffer) {
    FileClose(in);
    return -1;
  }
  PlatFile* out = CreateTempFile(r->fileName, sizeof r->fileName);
  if (!out) {
    TrackedFree(buffer);
    FileClose(in);
    return -1;
  }
  r->tempFile = 1;
  r->tempCopyDeleted = 0;
  // What was read is written; a short read or write ends the copy as a failure.
  bool whole = size >= 0;
  for (int64_t left = size; whole && left > 0;) {
    const int64_t chunk = std::min(left, kCopyChunk);
    const int64_t got = FileRead(buffer, 1, uint32_t(chunk), in);
    if (got > 0 && PlatFileWrite(out, buffer, got) != got) whole = false;
    if (got != chunk) whole = false;
    left -= chunk;
  }
  FileClose(in);
  PlatFileClose(out);
  TrackedFree(buffer);
  if (!whole) {
    PlatFileDelete(r->fileName);
    r->tempCopyDeleted = 1;
    return -1;
  }
  return 0;
}

// 64-bit rectangles for the overlay's arithmetic.
struct Box {
  int64_t left, top, right, bottom;
};

void Clamp(Box* a, const Box& b) {
  a->left = std::clamp(a->left, b.left, b.right);
  a->right = std::clamp(a->right, a->left, b.right);
  a->top = std::clamp(a->top, b.top, b.bottom);
  a->bottom = std::clamp(a->bottom, a->top, b.bottom);
}

bool Fits32(const Box& b) {
  for (int64_t v : {b.left, b.top, b.right, b.bottom})
    if (v < INT32_MIN || v > INT32_MAX) return false;
  return true;
}

PlatRect ToRect(const Box& b) { return {int32_t(b.left), int32_t(b.top), int32_t(b.right), int32_t(b.bottom)}; }

bool SameRect(const Rect& a, const PlatRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

Rect ToEngineRect(const PlatRect& p) { return {p.left, p.top, p.right, p.bottom}; }

// Step 7 of the update: the frame into frameImage, the callback, and the frame noted.
void TakeFrame(MovieRecord* r) {
  GraphImage& image = r->frameImage;
  if (image.pixels) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    if (PlatDDSurfaceLock(r->surface4, nullptr, &desc, PLAT_DDLOCK_WAIT | PLAT_DDLOCK_READONLY) == PLAT_DD_OK) {
      // From the frame's corner in the surface, never past the surface or the image.
      const Rect& f = r->sampleRect;
      const int64_t bpp = image.format.bytesPerPixel;
      const int64_t left = std::max(f.left, 0), top = std::max(f.top, 0);
      const int64_t rows =
          std::min({int64_t(r->height), int64_t(desc.height) - top, int64_t(image.height)});
      const int64_t bytes = std::min({bpp * r->width, (int64_t(desc.width) - left) * bpp, int64_t(image.pitch)});
      const uint8_t* from = static_cast<const uint8_t*>(desc.surface) + top * desc.pitch + left * bpp;
      uint8_t* to = static_cast<uint8_t*>(image.pixels);
      for (int64_t y = 0; y < rows && bytes > 0; y++)
        std::memcpy(to + y * int64_t(image.pitch), from + y * int64_t(desc.pitch), size_t(bytes));
      PlatDDSurfaceUnlock(r->surface4, nullptr);
    }
  }
  if (r->surfaceMode != MOVIE_SURFACE_OVERLAY && r->frameCallback) r->frameCallback(r, r->callbackData);
  r->lastFrameCount = int64_t(GetFrameCount());
  r->lastFrameMs = PlatTimeMs();
  PlatEventReset(r->sampleEvent);
  r->updatePending = 0;
  r->frameReady = 1;
}

// The end of the stream: a looping movie starts again, any other has ended.
void EndOfStream(MovieRecord* r) {
  if (r->playType & MOVIE_LOOP) {
    PlatMediaStreamSeek(r->multiMediaStream, 0);
    PlatMediaStreamSetState(r->multiMediaStream, PLAT_STREAMSTATE_RUN);
    r->lastFrameTime = -1;
    r->lastFrameCount = -1;
    r->lastFrameMs = 0xFFFFFFFFu;
    return;
  }
  r->playRequested = 0;
  r->paused = 1;
}

void ForEachMovie(void (*each)(int32_t handle, MovieRecord* r)) {
  for (int32_t slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
    const int32_t handle = MovieHandleAt(slot);
    if (MovieRecord* r = handle == -1 ? nullptr : LookupMovie(handle)) each(handle, r);
  }
}

}  // namespace

PlatDDraw GetMovieDirectDraw() { return IsDirectDrawUsed() ? GetDirectDrawObject() : 0; }

int OpenMovieFile(PlatDDraw directDraw, MovieRecord* r, const char* fileName, int32_t* widthOut, int32_t* heightOut,
                  MovieSurfaceMode surfaceMode) {
  r->frameImage.pixels = nullptr;
  r->screenX = r->screenY = r->screenScale = 0;
  r->overlayShown = 0;
  r->frameReady = 0;
  r->overlaySource = r->overlayDest = Rect{};

  MovieSurfaceMode mode = surfaceMode;
  if (mode == MOVIE_SURFACE_OVERLAY && !GetOverlayPixelFormat()) mode = MOVIE_SURFACE_RGB24;
  if (mode == MOVIE_SURFACE_RGB24 && QueryScreenDepth() == 32) mode = MOVIE_SURFACE_PLAIN;

  PlatMediaRef local = 0;
  if (PlatMediaCreateFilterGraph(&r->graphBuilder) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "CLSID_FilterGraph の作成に失敗しました");
  if (PlatMediaCreateMultiMediaStream(&local) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "IAMMultimediaインターフェイスを取得できませんでした！");
  if (PlatMediaStreamInitialize(local, PLAT_STREAMTYPE_READ, PLAT_AMMSF_NOGRAPHTHREAD, r->graphBuilder) !=
      PLAT_MEDIA_OK)
    return FailOpening(r, &local, "ストリームを読み取り用にセットアップできませんでした！");
  if (PlatMediaQueryInterface(r->graphBuilder, PLAT_MEDIA_CONTROL, &r->mediaControl) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "IID_IMediaControlインターフェイスの取得に失敗しました");
  // No DirectDraw object (the no-DirectDraw mode, or after its release): nothing to ask.
  if (!directDraw || PlatDDrawQueryFourthGeneration(directDraw, &r->directDraw4) != PLAT_DD_OK)
    return FailOpening(r, &local, "DirectDraw4オブジェクトを取得できませんでした");
  if (PlatMediaStreamAddMediaStream(local, r->directDraw4, PLAT_MSPID_PRIMARY_VIDEO, 0) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "プライマリビデオストリームを追加できませんでした！");
  if (PlatMediaStreamAddMediaStream(local, 0, PLAT_MSPID_PRIMARY_AUDIO, PLAT_AMMSF_ADDDEFAULTRENDERER) !=
      PLAT_MEDIA_OK)
    return FailOpening(r, &local, "デフォルトサウンドレンダラを追加できませんでした！\n");

  const std::string notOpened = std::string("ファイル:") + fileName + " が開けませんでした";
  // The name crosses into the stream in a buffer of 260 bytes with its terminator.
  const size_t length = std::strlen(fileName);
  if (length >= sizeof r->fileName) return FailOpening(r, &local, notOpened);
  if (fileName != r->fileName) std::memcpy(r->fileName, fileName, length + 1);
  if (PlatMediaStreamOpenFile(local, r->fileName, 0) != PLAT_MEDIA_OK) {
    // A copy that cannot be opened is not copied again.
    if (r->tempFile) return FailOpening(r, &local, notOpened);
    if (CopyToTemporaryFile(r, fileName) != 0) return FailOpening(r, &local, notOpened);
    if (PlatMediaStreamOpenFile(local, r->fileName, 0) != PLAT_MEDIA_OK) {
      PlatFileDelete(r->fileName);
      r->tempCopyDeleted = 1;
      return FailOpening(r, &local, notOpened);
    }
  }
  r->multiMediaStream = local;
  local = 0;

  if (PlatMediaQueryInterface(r->graphBuilder, PLAT_MEDIA_SEEKING, &r->mediaSeeking) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "メディアシーキングインターフェースの取得に失敗しました");
  int64_t stop = 0;
  if (PlatMediaSeekingGetStopPosition(r->mediaSeeking, &stop) == PLAT_MEDIA_OK) r->stopPosition = stop;
  if (PlatMediaQueryInterface(r->graphBuilder, PLAT_MEDIA_BASIC_AUDIO, &r->basicAudio) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "BasicAudio インターフェースの取得に失敗しました");
  if (PlatMediaStreamGetMediaStream(r->multiMediaStream, PLAT_MSPID_PRIMARY_VIDEO, &r->videoStream) !=
      PLAT_MEDIA_OK)
    return FailOpening(r, &local, "プライマリビデオストリームインターフェイスを取得できませんでした！");
  if (PlatMediaQueryInterface(r->videoStream, PLAT_MEDIA_AM_STREAM, &r->amVideoStream) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "AMMediaStreamインターフェイスの取得に失敗しました");
  if (PlatMediaQueryInterface(r->videoStream, PLAT_MEDIA_DDRAW_STREAM, &r->ddStream) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "DirectDrawメディアストリームインターフェイスを取得できませんでした！");

  PlatDDSurfaceDesc desired{};
  desired.size = sizeof desired;
  PlatMediaDDStreamGetFormat(r->ddStream, &desired);
  if (desired.width == 0 || desired.height == 0)
    return FailOpening(r, &local, "動画ファイルではない可能性があります！");

  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  desc.flags = PLAT_DDSD_CAPS | PLAT_DDSD_HEIGHT | PLAT_DDSD_WIDTH | PLAT_DDSD_PIXELFORMAT;
  desc.caps = mode == MOVIE_SURFACE_OVERLAY ? PLAT_DDSCAPS_OVERLAY | PLAT_DDSCAPS_VIDEOMEMORY
                                            : PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY;
  desc.width = desired.width;
  desc.height = desired.height;
  desc.pixelFormat = FrameFormat(mode);
  PlatDDraw first = 0;
  PlatDDSurface made = 0;
  const bool createdSurface = PlatDDrawQueryFirstGeneration(directDraw, &first) == PLAT_DD_OK &&
                              PlatDDrawCreateSurface(first, &desc, &made) == PLAT_DD_OK;
  Drop(first, ReleaseDDraw);
  if (!createdSurface) return FailOpening(r, &local, "DirectDrawSurface オブジェクトの作成に失敗しました");

  r->surfaceMode = mode;
  if (PlatMediaDDStreamCreateSample(r->ddStream, made, nullptr, PLAT_DDSFF_PROGRESSIVERENDER, &r->sample) !=
      PLAT_MEDIA_OK) {
    // The stream cannot write into that surface: it makes one of its own.
    Drop(made, ReleaseSurface);
    r->surfaceMode = MOVIE_SURFACE_PLAIN;
    if (PlatMediaDDStreamCreateSample(r->ddStream, 0, nullptr, 0, &r->sample) != PLAT_MEDIA_OK)
      return FailOpening(r, &local, "ストリームサンプルを作成できませんでした！");
  }
  Drop(made, ReleaseSurface);  // the sample keeps its own reference

  PlatRect rect{};
  if (PlatMediaSampleGetSurface(r->sample, &r->surface, &rect) != PLAT_MEDIA_OK)
    return FailOpening(r, &local, "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！");
  r->sampleRect = ToEngineRect(rect);
  r->width = rect.right - rect.left;
  r->height = rect.bottom - rect.top;
  if (widthOut) *widthOut = r->halfWidth ? r->width / 2 : r->width;
  if (heightOut) *heightOut = r->height;
  uint32_t caps = 0;
  PlatDDSurfaceGetCaps(r->surface, &caps);
  r->systemMemory = (caps & PLAT_DDSCAPS_SYSTEMMEMORY) ? 1 : 0;

  const char* const no7 = "IDirectDrawSurface7インターフェイスを取得できませんでした！";
  const char* const no4 = "IDirectDrawSurface4インターフェイスを取得できませんでした！";
  PlatDDSurfaceDesc frame{};
  frame.size = sizeof frame;
  if (r->surfaceMode == MOVIE_SURFACE_OVERLAY) {
    if (PlatDDSurfaceQueryGeneration(r->surface, 7, &r->surface7) != PLAT_DD_OK) return FailOpening(r, &local, no7);
    PlatDDSurfaceGetDesc(r->surface7, &frame);
    const PixelFormatRecord format = ToRecord(frame.pixelFormat);
    ColorFormatFromPixelFormat(&format, &r->frameImage.format);
  } else {
    if (PlatDDSurfaceQueryGeneration(r->surface, 4, &r->surface4) != PLAT_DD_OK) return FailOpening(r, &local, no4);
    if (PlatDDSurfaceQueryGeneration(r->surface, 7, &r->surface7) != PLAT_DD_OK) return FailOpening(r, &local, no7);
    PlatDDSurfaceGetDesc(r->surface4, &frame);
    const PixelFormatRecord format = ToRecord(frame.pixelFormat);
    ColorFormatFromPixelFormat(&format, &r->frameImage.format);
    GraphImage& image = r->frameImage;
    // Sizes from the stream, in 64 bits: a frame past the image limit gets no buffer, as a
    // failed allocation would leave it.
    const int64_t pitch = (int64_t(image.format.bytesPerPixel) * r->width + 3) & ~int64_t(3);
    const int64_t bytes = pitch * r->height;
    image.width = uint32_t(r->width);
    image.height = uint32_t(r->height);
    image.pitch = uint32_t(pitch);
    if (bytes > 0 && bytes <= IMAGE_MAX_BYTES) image.pixels = TrackedCalloc(size_t(bytes), "", 0);
  }

  r->sampleEvent = PlatEventCreate(1, 0);
  r->updatePending = 0;
  r->lastFrameTime = -1;
  r->lastFrameCount = -1;
  r->lastFrameMs = 0xFFFFFFFFu;
  r->openTime = GetTimeMicroseconds(0);
  PlatMediaDDStreamGetTimePerFrame(r->ddStream, &r->timePerFrame);
  return 0;
}

void UpdateStreamMovie(MovieRecord* r, int32_t waitFlag) {
  if (!HoldsMovieSurface(r)) return;
  uint32_t state = PLAT_STREAMSTATE_STOP;
  PlatMediaStreamGetState(r->multiMediaStream, &state);
  if (!waitFlag) {
    if (!r->playRequested || r->paused || state != PLAT_STREAMSTATE_RUN) return;
    // At most one frame a screen frame, or another once 18 ms have gone by.
    if (int64_t(GetFrameCount()) == r->lastFrameCount && int32_t(PlatTimeMs() - r->lastFrameMs) <= 17) return;
  }
  if (r->updatePending) {
    // Polled, never waited for.
    if (PlatEventWait(r->sampleEvent, 0) != PLAT_WAIT_SIGNALED) return;
    TakeFrame(r);
    if (!waitFlag) return;
  }
  // A waiting update (no caller of the engine asks for one) takes two frames in one call.
  for (int pass = 0; pass < (waitFlag ? 2 : 1); pass++) {
    const int32_t result = PlatMediaSampleUpdate(r->sample, 0, waitFlag ? nullptr : r->sampleEvent);
    if (result == PLAT_MEDIA_OK) {
      TakeFrame(r);
    } else if (result == PLAT_MS_S_PENDING) {
      r->updatePending = 1;
      return;
    } else {
      // Only the end of the stream ends or loops the movie; any other failure (a lost
      // surface) leaves it where it is for the next update.
      if (result == PLAT_MS_S_ENDOFSTREAM) EndOfStream(r);
      return;
    }
  }
}

void AbortStreamUpdate(MovieRecord* r) {
  if (r->updatePending && r->sample)
    PlatMediaSampleCompletionStatus(r->sample, PLAT_COMPSTAT_ABORT | PLAT_COMPSTAT_WAIT, PLAT_INFINITE);
  r->updatePending = 0;
}

void CloseStreamObjects(MovieRecord* r) {
  if (r->surfaceMode == MOVIE_SURFACE_OVERLAY && r->surface7)
    PlatDDSurfaceUpdateOverlay(r->surface7, nullptr, GetFrontSurface(), nullptr, PLAT_DDOVER_HIDE);
  FreeGraphImageCore(&r->frameImage);
  Drop(r->surface4, ReleaseSurface);
  Drop(r->surface7, ReleaseSurface);
  Drop(r->surface, ReleaseSurface);
  Drop(r->sample, PlatMediaRelease);
  Drop(r->ddStream, PlatMediaRelease);
  Drop(r->amVideoStream, PlatMediaRelease);
  Drop(r->videoStream, PlatMediaRelease);
  Drop(r->basicAudio, PlatMediaRelease);
  Drop(r->mediaSeeking, PlatMediaRelease);
  Drop(r->directDraw4, ReleaseDDraw);
  Drop(r->mediaControl, PlatMediaRelease);
  Drop(r->graphBuilder, PlatMediaRelease);
  Drop(r->multiMediaStream, PlatMediaRelease);
}

int DrawMovieToScreen(int32_t x, int32_t y, int32_t scale, int32_t movie, int32_t show) {
  MovieRecord* r = LookupMovie(movie);
  if (!r) return -1;
  if (r->surfaceMode != MOVIE_SURFACE_OVERLAY || !r->surface7 || !r->frameReady) return 0;
  Box source{0, 0, r->width, r->height};
  Box dest{x, y, x + int64_t(r->width) * scale, y + int64_t(r->height) * scale};
  if (scale < 1) {
    show = 0;
  } else {
    int64_t visibleWidth = r->width;
    Box clipped = dest;
    if (IsWindowedMode()) {
      const PlatWnd window = GetEngineWindowHandle();
      if (const PlatDC dc = PlatGdiGetDC(window)) {
        PlatRect box{};
        const int kind = PlatGdiGetClipBox(dc, &box);
        // Covered, or partly covered: an overlay cannot be cut to a region's shape.
        if (kind == PLAT_NULLREGION || kind == PLAT_COMPLEXREGION) show = 0;
        else if (kind == PLAT_SIMPLEREGION) Clamp(&clipped, Box{box.left, box.top, box.right, box.bottom});
        PlatGdiReleaseDC(window, dc);
      }
    }
    PlatRect client{};
    GetClientRectBelowToolbar(&client);
    for (Box* b : {&dest, &clipped}) {
      b->left += client.left;
      b->right += client.left;
      b->top += client.top;
      b->bottom += client.top;
    }
    Clamp(&clipped, Box{client.left, client.top, client.right, client.bottom});
    if (clipped.bottom == clipped.top || clipped.left == clipped.right) show = 0;
    // What was clipped off the destination, in source pixels.
    const int64_t cutLeft = (clipped.left - dest.left) / scale, cutRight = (dest.right - clipped.right) / scale;
    source.left += cutLeft;
    visibleWidth -= cutLeft;
    source.right -= cutRight;
    visibleWidth -= cutRight;
    source.top += (clipped.top - dest.top) / scale;
    source.bottom -= (dest.bottom - clipped.bottom) / scale;
    dest = clipped;
    PlatDDCaps caps{};
    CopyDirectDrawCaps(&caps);
    if ((caps.caps & PLAT_DDCAPS_ALIGNBOUNDARYSRC) && caps.alignBoundarySrc) {
      const int64_t rest = uint32_t(source.left) % caps.alignBoundarySrc;
      source.left -= rest;
      visibleWidth -= rest;
    }
    if ((caps.caps & PLAT_DDCAPS_ALIGNSIZESRC) && caps.alignSizeSrc)
      source.right -= uint32_t(visibleWidth) % caps.alignSizeSrc;
    int64_t destWidth = int64_t(r->width) * scale;
    if ((caps.caps & PLAT_DDCAPS_ALIGNBOUNDARYDEST) && caps.alignBoundaryDest) {
      const int64_t rest = uint32_t(dest.left) % caps.alignBoundaryDest;
      dest.left -= rest;
      destWidth -= rest;
    }
    if ((caps.caps & PLAT_DDCAPS_ALIGNSIZEDEST) && caps.alignSizeDest) {
      const int64_t rest = uint64_t(destWidth) % caps.alignSizeDest;
      dest.right -= rest;
      destWidth -= rest;
    }
    if (destWidth <= 0) show = 0;
    // Beyond the 32-bit range no overlay can be placed.
    if (!Fits32(dest) || !Fits32(source)) show = 0;
  }
  PlatRect s{}, d{};
  if (!show) {
    PlatDDSurfaceUpdateOverlay(r->surface7, nullptr, GetFrontSurface(), nullptr, PLAT_DDOVER_HIDE);
  } else {
    s = ToRect(source);
    d = ToRect(dest);
    if (!(r->overlayShown == show && SameRect(r->overlaySource, s) && SameRect(r->overlayDest, d)))
      PlatDDSurfaceUpdateOverlay(r->surface7, &s, GetFrontSurface(), &d, PLAT_DDOVER_SHOW);
  }
  r->screenX = x;
  r->screenY = y;
  r->screenScale = scale;
  r->overlayShown = show;
  r->overlaySource = ToEngineRect(s);
  r->overlayDest = ToEngineRect(d);
  return 0;
}

int DrawAllScreenMovies() {
  ForEachMovie([](int32_t handle, MovieRecord* r) {
    if (!r->ownDecoder && r->surfaceMode == MOVIE_SURFACE_OVERLAY)
      DrawMovieToScreen(r->screenX, r->screenY, r->screenScale, handle, r->overlayShown);
  });
  return 0;
}

int RestoreMovieSurfaces(int32_t movie) {
  MovieRecord* r = LookupMovie(movie);
  if (!r) return 0;
  for (PlatDDSurface s : {r->surface4, r->surface7})
    if (s && PlatDDSurfaceIsLost(s) != PLAT_DD_OK) PlatDDSurfaceRestore(s);
  return 0;
}

int ReleaseAllMovieObjects() {
  ForEachMovie([](int32_t, MovieRecord* r) {
    if (r->ownDecoder || !HoldsMovieSurface(r)) return;
    AbortStreamUpdate(r);
    int64_t time = 0;
    if (PlatMediaStreamGetTime(r->multiMediaStream, &time) == PLAT_MEDIA_OK) r->savedTime = time;
    ReleaseInOpeningOrder(r, nullptr);
    TrackedFree(r->frameImage.pixels);
    r->frameImage.pixels = nullptr;
    if (r->sampleEvent) PlatEventDestroy(r->sampleEvent);
    r->sampleEvent = nullptr;
  });
  return 0;
}

int ReopenAllMovies() {
  for (int32_t slot = 0; slot < MOVIE_TABLE_SIZE; slot++) {
    const int32_t handle = MovieHandleAt(slot);
    MovieRecord* r = handle == -1 ? nullptr : LookupMovie(handle);
    if (!r || r->ownDecoder || HoldsMovieSurface(r)) continue;
    // Later movies stay released: they can still be closed, and the rest skip them.
    if (OpenMovieFile(GetMovieDirectDraw(), r, r->fileName, nullptr, nullptr, r->surfaceMode) != 0) return -1;
    PlatMediaStreamSeek(r->multiMediaStream, r->savedTime);
    if (!r->paused) PlatMediaStreamSetState(r->multiMediaStream, PLAT_STREAMSTATE_RUN);
  }
  return 0;
}
