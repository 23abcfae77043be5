#include "engine/movie/decoder.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "platform/kernel/kernel.h"
#include "platform/media/theora.h"

#include <immintrin.h>

#include <climits>
#include <cstring>
#include <new>

uint8_t YuvClampTable[1280];
int32_t YuvCoefficientTables[YUV_TABLE_COUNT][256];

namespace {

// Step (coefficient x 16384, truncated) and first entry of each coefficient table.
constexpr int32_t kYuvStep[YUV_TABLE_COUNT] = {26148, -6406, -13320, 33062, 19070};
constexpr int32_t kYuvFirst[YUV_TABLE_COUNT] = {-3346944, 819968, 1704960, -4231936, -305120};

// The decoder thread reports 3 within a frame's decode; a thread that has not after this
// many polls of a millisecond is taken as hung, and what it may still touch is kept.
constexpr int kStopPolls = 10000;

// The largest picture side the decoder takes.
constexpr int64_t kMaxPictureSide = 4096;
// The coded frame lies around the picture: at most 255 more on each side, rounded to
// whole 16-pixel blocks.
constexpr int64_t kMaxFrameSide = kMaxPictureSide + 256 + 16;

// The frame the thread should show: currentFrame read modulo frameCount, so that a value
// that ran past the end still names a frame.
int64_t TargetFrame(const MovieDecoder* d) {
  const int64_t n = d->frameCount;
  const int64_t f = int64_t(d->currentFrame.load()) % n;
  return f < 0 ? f + n : f;
}

// Converts the decoder's newest picture into the work picture and swaps it into
// decodedImage as frame `frame`. A packet that did not decode left libtheora's last good
// picture in place, and before any did there is none: decodedImage then keeps what it
// shows, as the work picture may be older.
void HandOver(MovieDecoder* d, int64_t frame) {
  yuv_buffer yuv;
  const bool picture = d->decodedFrame >= 0 && PlatTheoraPicture(&d->state, d->pictureDecoded, &yuv);
  if (picture) {
    const theora_info& i = d->info;
    ConvertYuvPicture(yuv.y, yuv.y_stride, yuv.u, yuv.v, yuv.uv_stride, d->chromaShiftX, d->chromaShiftY,
                      int32_t(i.offset_x), int32_t(i.offset_y), int32_t(i.frame_width), int32_t(i.frame_height),
                      d->workBuffers[1], int32_t(d->decodedImage.pitch));
  }
  PlatMutexHold hold(d->handover);
  if (picture) {
    uint8_t* fresh = d->workBuffers[1];
    d->workBuffers[1] = static_cast<uint8_t*>(d->decodedImage.pixels);
    d->decodedImage.pixels = fresh;
  }
  d->handedFrame = frame;
  d->frameValid[1].store(0);
}

void DecoderThread(void* arg) {
  MovieDecoder* d = static_cast<MovieDecoder*>(arg);
  d->stateWord.store(1);
  PlatOggSource source{d->workBuffers[0], d->fileSize, d->readPosition};
  while (!d->stopRequest.load()) {
    const int64_t target = TargetFrame(d);
    if (d->handedFrame == target) {
      // Nothing to make; the flag is set again when the frame came back to the one
      // handed over (a whole round, or a move undone while this frame was made).
      if (!d->frameValid[0].load()) {
        d->frameValid[0].store(1);
        if (TargetFrame(d) != target) d->frameValid[0].store(0);
      }
      d->stateWord.store(2);
      PlatEventWait(d->wake, 1);
      continue;
    }
    d->stateWord.store(1);
    if (target < d->decodedFrame || d->decodedFrame < 0) {
      // A wrap, or the start: every frame is decoded from the first keyframe on.
      PlatTheoraRewind(&d->sync, &d->stream, &source, d->dataStart);
      d->decodedFrame = -1;
    }
    // Decoded in order; only the frame asked for is converted. A file whose pictures end
    // early shows its last one for the frames it lacks, and a packet that does not decode
    // still takes its frame's place, so that the movie keeps its time and its end.
    ogg_packet packet;
    while (d->decodedFrame < target && !d->stopRequest.load() &&
           PlatTheoraNextPacket(&d->sync, &d->stream, &source, &packet)) {
      PlatTheoraDecodePacket(&d->state, &packet, &d->pictureDecoded);
      d->decodedFrame++;
    }
    d->readPosition = source.position;
    if (d->stopRequest.load()) break;
    HandOver(d, target);
    d->frameValid[0].store(1);
    // The engine may have moved on while this frame was made; its clear then came first.
    if (TargetFrame(d) != target) d->frameValid[0].store(0);
  }
  PlatEvent* finished = d->finished;
  d->stateWord.store(3);  // the last access to the decoder; the stop joins before it frees
  PlatEventSet(finished);
}

// Frees what CreateMovieDecoder made so far and logs why the file was refused.
MovieDecoder* Refuse(MovieDecoder* d, const char* why) {
  WriteLogFmt("ムービーを再生できません：%s\n", why);
  StopMovieDecoder(d);
  return nullptr;
}

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
      WriteLog("ムービーのデコードスレッドが終了しないため、デコーダを解放しません\n");
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

MovieDecoder* CreateMovieDecoder(uint8_t* file, int64_t size, MoviePageSink vorbisPages, void* context) {
  void* block = TrackedCalloc(sizeof(MovieDecoder), "", 0);
  if (!block) {
    TrackedFree(file);
    WriteLog("メモリの確保に失敗しました\n");
    return nullptr;
  }
  MovieDecoder* d = new (block) MovieDecoder{};
  ogg_sync_init(&d->sync);
  ogg_stream_init(&d->stream, 0);
  theora_info_init(&d->info);
  theora_comment_init(&d->comment);
  d->workBuffers[0] = file;
  d->fileSize = size;
  d->decodedFrame = -1;
  d->handedFrame = -1;

  PlatOggSource source{file, file ? size : 0, 0};
  PlatTheoraLayout layout;
  if (PlatTheoraOpen(&d->sync, &d->stream, &d->info, &d->comment, &source, &layout, vorbisPages, context) != 0)
    return Refuse(d, "Theora の映像がないか、そのヘッダが読めません");
  d->serial = layout.theoraSerial;
  d->dataStart = layout.dataStart;
  d->readPosition = layout.dataStart;
  const theora_info& i = d->info;
  if (i.fps_numerator == 0 || i.fps_denominator == 0) return Refuse(d, "フレームレートが 0 です");
  switch (i.pixelformat) {
    case OC_PF_420: d->chromaShiftX = 1, d->chromaShiftY = 1; break;
    case OC_PF_422: d->chromaShiftX = 1, d->chromaShiftY = 0; break;
    case OC_PF_444: d->chromaShiftX = 0, d->chromaShiftY = 0; break;
    default: return Refuse(d, "対応していない色差の配置です");
  }
  // Everything in 64 bits before the decoder or a picture is allocated.
  const int64_t pw = i.frame_width, ph = i.frame_height, fw = i.width, fh = i.height;
  if (pw < 1 || ph < 1 || pw > kMaxPictureSide || ph > kMaxPictureSide || pw * ph * 4 > IMAGE_MAX_BYTES ||
      fw > kMaxFrameSide || fh > kMaxFrameSide || fw * fh * 3 > IMAGE_MAX_BYTES ||
      int64_t(i.offset_x) + pw > fw || int64_t(i.offset_y) + ph > fh)
    return Refuse(d, "映像の大きさが扱えません");
  if (theora_decode_init(&d->state, &d->info) != 0) return Refuse(d, "デコーダを初期化できません");
  // Header pages carry granule position 0, which names no frame.
  d->frameCount = layout.lastGranule < 0 ? 0 : int64_t(theora_granule_frame(&d->state, layout.lastGranule)) + 1;
  if (d->frameCount < 1) return Refuse(d, "フレームがありません");
  if (d->frameCount > INT32_MAX) return Refuse(d, "フレーム数が扱えません");
  if (!PlatTheoraAnyPictureDecodes(&d->sync, &d->stream, &source, &d->info, d->dataStart))
    return Refuse(d, "デコードできるフレームがありません");

  if (CreateGraphImageARGB8(int32_t(pw), int32_t(ph), &d->decodedImage) != 0 ||
      !(d->workBuffers[1] = static_cast<uint8_t*>(TrackedCalloc(size_t(d->decodedImage.pitch) * size_t(ph), "", 0))))
    return Refuse(d, "メモリの確保に失敗しました");
  SetupFormatFromMasksCore(&d->decodedImage.format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
  std::memset(d->decodedImage.pixels, 0, size_t(d->decodedImage.pitch) * size_t(ph));
  d->handover = PlatMutexCreate(0);
  d->wake = PlatEventCreate(0, 0);
  d->finished = PlatEventCreate(1, 0);
  if (!d->handover || !d->wake || !d->finished) return Refuse(d, "同期オブジェクトを作成できません");
  return d;
}

int StartMovieDecoder(MovieDecoder* d) {
  d->thread = PlatThreadStart(DecoderThread, d);
  if (!d->thread) {
    WriteLog("ムービーのデコードスレッドを開始できません\n");
    return -1;
  }
  return 0;
}

int IsMovieFrameReady(const MovieDecoder* d) {
  if (!d || !d->handover || !d->frameValid[0].load()) return 0;
  PlatMutexHold hold(d->handover);
  return d->handedFrame == TargetFrame(d) ? 1 : 0;
}

int TakeMovieFrame(MovieDecoder* d, int (*write)(const GraphImage* image, int32_t data), int32_t data) {
  if (!d || !d->handover) return -2;
  PlatMutexHold hold(d->handover);
  // The flag may stand for a moment after the frame moved on (the thread clears it again
  // once it sees the move): the frame number decides.
  if (!d->frameValid[0].load() || d->frameValid[1].load() || d->handedFrame != TargetFrame(d)) return -2;
  const int result = write(&d->decodedImage, data);
  d->frameValid[1].store(1);
  return result;
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

namespace {

// One pixel through the tables: rounded to the nearest step, every sum inside the clamp
// table.
inline uint32_t YuvPixel(int32_t cy, int32_t cu, int32_t cv) {
  const uint8_t* clamp = YuvClampTable + 512;
  const int32_t l = YuvCoefficientTables[YUV_LUMA][cy] + 8192;
  const uint32_t r = clamp[(l + YuvCoefficientTables[YUV_V_RED][cv]) >> 14];
  const uint32_t g = clamp[(l + YuvCoefficientTables[YUV_U_GREEN][cu] + YuvCoefficientTables[YUV_V_GREEN][cv]) >> 14];
  const uint32_t b = clamp[(l + YuvCoefficientTables[YUV_U_BLUE][cu]) >> 14];
  return 0xFF000000u | r << 16 | g << 8 | b;
}

// Sixteen pixels at once with AVX2, to the same values as the tables: each table entry
// is its step times the centred component exactly, so pairs of 16-bit products summed
// into 32 bits (vpmaddwd) give the same sums. The steps of U for blue and V for red are
// even, and go in as two halves, since 33062 does not fit 16 bits. The two saturating
// packs are the clamp to 0-255. The unpacks and packs work inside each 128-bit half,
// which leaves the halves holding pixels 0-3 and 8-11, then 4-7 and 12-15, put back in
// order at the store. yv, uv and vv hold the pixels' components as 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i YuvChannel16(__m256i a, __m256i b, __m256i pair, __m256i lumaLow,
                                                             __m256i lumaHigh) {
  const __m256i low = _mm256_add_epi32(lumaLow, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), pair));
  const __m256i high = _mm256_add_epi32(lumaHigh, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), pair));
  return _mm256_packs_epi32(_mm256_srai_epi32(low, 14), _mm256_srai_epi32(high, 14));
}

__attribute__((target("avx2"))) inline void YuvSixteen(__m256i yv, __m256i uv, __m256i vv, uint8_t* out) {
  const __m256i lumaPair = _mm256_set1_epi32(int32_t(uint32_t(8192) << 16 | uint32_t(kYuvStep[YUV_LUMA])));
  const __m256i redPair = _mm256_set1_epi16(int16_t(kYuvStep[YUV_V_RED] / 2));
  const __m256i bluePair = _mm256_set1_epi16(int16_t(kYuvStep[YUV_U_BLUE] / 2));
  const __m256i greenPair =
      _mm256_set1_epi32(int32_t(uint32_t(uint16_t(kYuvStep[YUV_V_GREEN])) << 16 | uint16_t(kYuvStep[YUV_U_GREEN])));
  yv = _mm256_sub_epi16(yv, _mm256_set1_epi16(16));
  uv = _mm256_sub_epi16(uv, _mm256_set1_epi16(128));
  vv = _mm256_sub_epi16(vv, _mm256_set1_epi16(128));
  const __m256i one = _mm256_set1_epi16(1);
  const __m256i lumaLow = _mm256_madd_epi16(_mm256_unpacklo_epi16(yv, one), lumaPair);
  const __m256i lumaHigh = _mm256_madd_epi16(_mm256_unpackhi_epi16(yv, one), lumaPair);
  const __m256i r = YuvChannel16(vv, vv, redPair, lumaLow, lumaHigh);
  const __m256i g = YuvChannel16(uv, vv, greenPair, lumaLow, lumaHigh);
  const __m256i b = YuvChannel16(uv, uv, bluePair, lumaLow, lumaHigh);
  const __m256i bg = _mm256_unpacklo_epi8(_mm256_packus_epi16(b, b), _mm256_packus_epi16(g, g));
  const __m256i ra = _mm256_unpacklo_epi8(_mm256_packus_epi16(r, r), _mm256_set1_epi8(-1));
  const __m256i low = _mm256_unpacklo_epi16(bg, ra), high = _mm256_unpackhi_epi16(bg, ra);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(low, high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_permute2x128_si256(low, high, 0x31));
}

// The runs of sixteen of one row from col on; the column after the last run.
__attribute__((target("avx2"))) int32_t YuvRunsOfSixteen(const uint8_t* yRow, const uint8_t* uRow,
                                                         const uint8_t* vRow, int32_t xShift, int32_t originX,
                                                         int32_t col, int32_t width, uint8_t* o) {
  for (; col + 16 <= width; col += 16) {
    const int32_t fx = originX + col;
    __m256i uv, vv;
    if (xShift) {
      const __m128i u8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(uRow + (fx >> 1)));
      const __m128i v8 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(vRow + (fx >> 1)));
      uv = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(u8, u8));
      vv = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(v8, v8));
    } else {
      uv = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(uRow + fx)));
      vv = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(vRow + fx)));
    }
    YuvSixteen(_mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(yRow + fx))), uv, vv,
               o + int64_t(col) * 4);
  }
  return col;
}

// Thirty-two pixels of one or two rows that share a chroma row, for chroma halved across
// (x even), in 16-bit lanes. A channel's sum through the tables is
//   19070 y + step c (+ step' c') + the tables' first entries + 8192,
// and each of its terms is split into whole steps (floor of / 2^14) and the rest
// (mod 2^14): the products come from 16-bit multiplies of the sample times 4, whose high
// halves are the whole steps and low halves four times the rest, and the constant is
// split once. Every rest sum stays below 2^16, so its top two bits are the carry of the
// 32-bit sum, and the channel is the tables' to the bit.
//
// A register holds the even pixels of sixteen pairs and another their odd pixels, so
// that the sixteen chroma samples meet their pairs without being doubled. The pairs go
// 0,1,4,5,8,9,12,13 | 2,3,6,7,10,11,14,15, the order in which the final interleave,
// which works inside each 128-bit half, puts the pixels back in a row.
struct YuvChromaTerms {
  __m256i whole[3], rest[3];  // blue, green, red
};

__attribute__((target("avx2"))) inline __m256i YuvPairOrder(const uint8_t* samples) {
  const __m128i order = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
  return _mm256_cvtepu8_epi16(_mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples)), order));
}

// The high and low halves of the product, the low one brought down to the rest.
__attribute__((target("avx2"))) inline void YuvSplitProduct(__m256i times4, int32_t step, __m256i* whole,
                                                             __m256i* rest) {
  const __m256i s = _mm256_set1_epi16(int16_t(step));
  *whole = _mm256_mulhi_epi16(times4, s);
  *rest = _mm256_srli_epi16(_mm256_mullo_epi16(times4, s), 2);
}

// The constant of a channel's sum: the first entries of its tables, and the rounding.
constexpr int32_t YuvConstant(int chroma, int second = -1) {
  return kYuvFirst[YUV_LUMA] + kYuvFirst[chroma] + (second < 0 ? 0 : kYuvFirst[second]) + 8192;
}

// The terms of the sixteen chroma samples at u and v, the constants included.
__attribute__((target("avx2"))) inline YuvChromaTerms YuvChroma16(const uint8_t* u, const uint8_t* v) {
  const __m256i u4 = _mm256_slli_epi16(YuvPairOrder(u), 2);
  const __m256i v4 = _mm256_slli_epi16(YuvPairOrder(v), 2);
  YuvChromaTerms t;
  // Blue's step is past 16 bits but even: half of it, on the sample times 8.
  YuvSplitProduct(_mm256_add_epi16(u4, u4), kYuvStep[YUV_U_BLUE] / 2, &t.whole[0], &t.rest[0]);
  // Green's two rests and its constant's add to less than 2^16 - 2^14 and stay unbrought.
  __m256i wholeU, restU, wholeV, restV;
  YuvSplitProduct(u4, kYuvStep[YUV_U_GREEN], &wholeU, &restU);
  YuvSplitProduct(v4, kYuvStep[YUV_V_GREEN], &wholeV, &restV);
  t.whole[1] = _mm256_add_epi16(wholeU, wholeV);
  t.rest[1] = _mm256_add_epi16(restU, restV);
  YuvSplitProduct(v4, kYuvStep[YUV_V_RED], &t.whole[2], &t.rest[2]);
  constexpr int32_t constants[3] = {YuvConstant(YUV_U_BLUE), YuvConstant(YUV_U_GREEN, YUV_V_GREEN),
                                    YuvConstant(YUV_V_RED)};
  for (int c = 0; c < 3; c++) {
    t.whole[c] = _mm256_add_epi16(t.whole[c], _mm256_set1_epi16(int16_t(constants[c] >> 14)));
    t.rest[c] = _mm256_add_epi16(t.rest[c], _mm256_set1_epi16(int16_t(constants[c] & 0x3FFF)));
  }
  return t;
}

// One channel of sixteen pixels, clamped by the saturating pack that follows.
__attribute__((target("avx2"))) inline __m256i YuvSum(__m256i lumaWhole, __m256i lumaRest, __m256i chromaWhole,
                                                       __m256i chromaRest) {
  return _mm256_add_epi16(_mm256_add_epi16(lumaWhole, chromaWhole),
                          _mm256_srli_epi16(_mm256_add_epi16(lumaRest, chromaRest), 14));
}

__attribute__((target("avx2"))) inline void YuvThirtyTwo(const uint8_t* yRow, const YuvChromaTerms& c,
                                                          uint8_t* out) {
  const __m256i pairs =
      _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(yRow)),
                                  _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
  const __m256i even4 = _mm256_slli_epi16(_mm256_and_si256(pairs, _mm256_set1_epi16(0xFF)), 2);
  const __m256i odd4 = _mm256_slli_epi16(_mm256_srli_epi16(pairs, 8), 2);
  __m256i evenWhole, evenRest, oddWhole, oddRest;
  YuvSplitProduct(even4, kYuvStep[YUV_LUMA], &evenWhole, &evenRest);
  YuvSplitProduct(odd4, kYuvStep[YUV_LUMA], &oddWhole, &oddRest);
  // Each 128-bit half of a pack holds eight even pixels then their eight odd ones; the
  // shuffle puts them in turn.
  const __m256i inTurn = _mm256_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15,  //
                                          0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
  __m256i channel[3];
  for (int k = 0; k < 3; k++)
    channel[k] = _mm256_shuffle_epi8(
        _mm256_packus_epi16(YuvSum(evenWhole, evenRest, c.whole[k], c.rest[k]),
                            YuvSum(oddWhole, oddRest, c.whole[k], c.rest[k])),
        inTurn);
  const __m256i alpha = _mm256_set1_epi8(-1);
  const __m256i bgLow = _mm256_unpacklo_epi8(channel[0], channel[1]);
  const __m256i bgHigh = _mm256_unpackhi_epi8(channel[0], channel[1]);
  const __m256i raLow = _mm256_unpacklo_epi8(channel[2], alpha), raHigh = _mm256_unpackhi_epi8(channel[2], alpha);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_unpacklo_epi16(bgLow, raLow));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), _mm256_unpackhi_epi16(bgLow, raLow));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64), _mm256_unpacklo_epi16(bgHigh, raHigh));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 96), _mm256_unpackhi_epi16(bgHigh, raHigh));
}

// The runs of thirty-two of `rows` rows (1 or 2) over one chroma row halved across, from
// col on, where originX + col is even; the column after the last run.
__attribute__((target("avx2"))) int32_t YuvRunsOfThirtyTwo(const uint8_t* const* yRows, int32_t rows,
                                                           const uint8_t* uRow, const uint8_t* vRow, int32_t originX,
                                                           int32_t col, int32_t width, uint8_t* const* outs) {
  for (; col + 32 <= width; col += 32) {
    const int32_t fx = originX + col;
    const YuvChromaTerms terms = YuvChroma16(uRow + (fx >> 1), vRow + (fx >> 1));
    YuvThirtyTwo(yRows[0] + fx, terms, outs[0] + int64_t(col) * 4);
    if (rows == 2) YuvThirtyTwo(yRows[1] + fx, terms, outs[1] + int64_t(col) * 4);
  }
  return col;
}

const bool g_hasAvx2 = __builtin_cpu_supports("avx2");

}  // namespace

void ConvertYuvPicture(const uint8_t* y, int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t uvStride,
                       int32_t xShift, int32_t yShift, int32_t originX, int32_t originY, int32_t width,
                       int32_t height, uint8_t* out, int32_t outPitch) {
  for (int32_t row = 0; row < height;) {
    const int32_t fy = originY + row;
    // Two rows that share a chroma row go together, so that its terms are worked out once.
    const int32_t rows = yShift && !(fy & 1) && row + 1 < height ? 2 : 1;
    const uint8_t* yRows[2] = {y + int64_t(fy) * yStride, nullptr};
    uint8_t* outs[2] = {out + int64_t(row) * outPitch, nullptr};
    if (rows == 2) {
      yRows[1] = yRows[0] + yStride;
      outs[1] = outs[0] + outPitch;
    }
    const uint8_t* uRow = u + int64_t(fy >> yShift) * uvStride;
    const uint8_t* vRow = v + int64_t(fy >> yShift) * uvStride;
    auto one = [&](int32_t r, int32_t col) {
      const int32_t fx = originX + col;
      const uint32_t pixel = YuvPixel(yRows[r][fx], uRow[fx >> xShift], vRow[fx >> xShift]);
      std::memcpy(outs[r] + int64_t(col) * 4, &pixel, 4);
    };
    int32_t start = 0;
    // A pixel that shares its chroma sample with the one before the picture goes alone,
    // so that each run starts on a sample of its own.
    if (xShift && (originX & 1) && width > 0) {
      for (int32_t r = 0; r < rows; r++) one(r, 0);
      start = 1;
    }
    // Machines without AVX2 take every pixel through the tables.
    if (g_hasAvx2 && xShift) start = YuvRunsOfThirtyTwo(yRows, rows, uRow, vRow, originX, start, width, outs);
    for (int32_t r = 0; r < rows; r++) {
      int32_t col = start;
      if (g_hasAvx2) col = YuvRunsOfSixteen(yRows[r], uRow, vRow, xShift, originX, col, width, outs[r]);
      for (; col < width; col++) one(r, col);
    }
    row += rows;
  }
}
