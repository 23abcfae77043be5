#include "engine/movie/decoder.h"

#include "engine/base/memory.h"
#include "platform/kernel/kernel.h"

uint8_t YuvClampTable[1280];
int32_t YuvCoefficientTables[YUV_TABLE_COUNT][256];

namespace {

// Step (coefficient x 16384, truncated) and first entry of each coefficient table.
constexpr int32_t kYuvStep[YUV_TABLE_COUNT] = {26148, -6406, -13320, 33062, 19070};
constexpr int32_t kYuvFirst[YUV_TABLE_COUNT] = {-3346944, 819968, 1704960, -4231936, -305120};

// The decoder thread reports 3 within a frame's decode; a thread that has not after this
// many polls of a millisecond is taken as hung, and what it may still touch is kept.
constexpr int kStopPolls = 10000;

}  // namespace

int BuildYuvTables() {
  for (int v = -512; v < 768; v++) YuvClampTable[v + 512] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
  int32_t running[YUV_TABLE_COUNT];
  for (int t = 0; t < YUV_TABLE_COUNT; t++) running[t] = kYuvFirst[t];
  for (int i = 0; i < 256; i++)
    for (int t = 0; t < YUV_TABLE_COUNT; t++) {
      YuvCoefficientTables[t][i] = running[t];
      running[t] += kYuvStep[t];
    }
  return 0;
}

int StopMovieDecoder(MovieDecoder* d) {
  if (!d) return 0;
  if (d->thread) {
    d->stopRequest.store(1);
    if (d->wake) PlatEventSet(d->wake);
    int polls = 0;
    while (d->stateWord.load() != 3 && polls < kStopPolls) {
      PlatEventWait(d->finished, 1);
      polls++;
    }
    if (d->stateWord.load() != 3) {
      // Freeing under a running thread would be worse than keeping its memory.
      return 0;
    }
    PlatThreadJoin(d->thread);
    d->thread = nullptr;
  }
  if (d->frameBuffers) {
    for (int32_t i = 0; i < d->frameBufferCount; i++)
      for (uint8_t*& plane : d->frameBuffers[i].planes) {
        TrackedFree(plane);
        plane = nullptr;
      }
    TrackedFree(d->frameBuffers);
    d->frameBuffers = nullptr;
  }
  if (d->iface) {
    d->iface->release(d->iface);
    d->iface = nullptr;
  }
  for (uint8_t*& buffer : d->workBuffers) {
    TrackedFree(buffer);
    buffer = nullptr;
  }
  FreeGraphImageCore(&d->decodedImage);
  ogg_stream_clear(&d->stream);
  theora_clear(&d->state);
  theora_comment_clear(&d->comment);
  theora_info_clear(&d->info);
  ogg_sync_clear(&d->sync);
  if (d->handover) PlatMutexDestroy(d->handover);
  if (d->wake) PlatEventDestroy(d->wake);
  if (d->finished) PlatEventDestroy(d->finished);
  d->~MovieDecoder();
  TrackedFree(d);
  return 0;
}

int AdvanceMovieFrame(MovieDecoder* d, int64_t n) {
  if (n <= 0) return 0;
  // 64 bits: no sum overflows; one subtraction, as the frame clock expects.
  int64_t frame = int64_t(d->currentFrame.load()) + n;
  if (frame >= d->frameCount) frame -= d->frameCount;
  d->currentFrame.store(int32_t(uint32_t(uint64_t(frame))));
  d->frameValid[0].store(0);
  d->frameValid[1].store(0);
  if (d->wake) PlatEventSet(d->wake);
  return 0;
}

int QueryMovieInfo(const MovieDecoder* d, MovieInfo* info) {
  info->frameRate = double(d->info.fps_numerator) / double(d->info.fps_denominator);
  info->frameCount = int32_t(uint32_t(uint64_t(d->frameCount)));
  info->width = d->info.width;
  info->height = d->info.height;
  return 0;
}

int32_t CurrentMovieFrame(const MovieDecoder* d) { return d->currentFrame.load(); }

void ConvertYuvPicture(const uint8_t* y, int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t uvStride,
                       int32_t xShift, int32_t yShift, int32_t originX, int32_t originY, int32_t width,
                       int32_t height, uint8_t* out, int32_t outPitch) {
  const uint8_t* clamp = YuvClampTable + 512;
  const int32_t* vr = YuvCoefficientTables[YUV_V_RED];
  const int32_t* ug = YuvCoefficientTables[YUV_U_GREEN];
  const int32_t* vg = YuvCoefficientTables[YUV_V_GREEN];
  const int32_t* ub = YuvCoefficientTables[YUV_U_BLUE];
  const int32_t* luma = YuvCoefficientTables[YUV_LUMA];
  for (int32_t row = 0; row < height; row++) {
    const int32_t fy = originY + row;
    const uint8_t* yRow = y + int64_t(fy) * yStride;
    const uint8_t* uRow = u + int64_t(fy >> yShift) * uvStride;
    const uint8_t* vRow = v + int64_t(fy >> yShift) * uvStride;
    uint32_t* o = reinterpret_cast<uint32_t*>(out + int64_t(row) * outPitch);
    for (int32_t col = 0; col < width; col++) {
      const int32_t fx = originX + col;
      const int32_t cu = uRow[fx >> xShift], cv = vRow[fx >> xShift];
      // Rounded to the nearest step; every sum stays inside the clamp table.
      const int32_t l = luma[yRow[fx]] + 8192;
      const uint32_t r = clamp[(l + vr[cv]) >> 14];
      const uint32_t g = clamp[(l + ug[cu] + vg[cv]) >> 14];
      const uint32_t b = clamp[(l + ub[cu]) >> 14];
      o[col] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  }
}
