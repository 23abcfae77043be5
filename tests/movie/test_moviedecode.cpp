// The own decoder over the movie writer's files: every frame decodes to its number in any
// order the clock asks for, files it cannot play are refused before anything is
// allocated for them, the thread stops whatever it is doing, and the conversion agrees
// with SDL2's BT.601 conversion.
#include "engine/base/memory.h"
#include "engine/movie/decoder.h"
#include "engine/movie/movie.h"
#include "engine/sound/writer/soundwriter.h"
#include "moviefiles.h"
#include "platform/kernel/kernel.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct MovieDecoding : MovieFixture {
  static MovieDecoder* Create(const std::string& bytes) {
    return CreateMovieDecoder(TrackedCopy(bytes), int64_t(bytes.size()), nullptr, nullptr);
  }
  // Moves the decoder to frame k the way the frame clock does (forward, through the end
  // when k lies behind) and reads the number the picture shows.
  static int32_t Show(MovieDecoder* d, int64_t k) {
    const int64_t c = CurrentMovieFrame(d);
    if (k > c) AdvanceMovieFrame(d, k - c);
    if (k < c) AdvanceMovieFrame(d, d->frameCount - c + k);
    WaitForFrame(d);
    PlatMutexHold hold(d->handover);
    return FrameNumberOf(&d->decodedImage);
  }
};

MovieWriterSpec Spec(int32_t width, int32_t height, int32_t offsetX, int32_t offsetY, int32_t frames,
                     int32_t chroma = 420, int32_t keyframe = 8) {
  return MovieWriterSpec{.width = width, .height = height, .offsetX = offsetX, .offsetY = offsetY, .frames = frames,
                         .keyframeInterval = keyframe, .chroma = chroma};
}

TEST_F(MovieDecoding, EveryFrameShowsItsNumberInTheOrderTheClockAsks) {
  const struct {
    const char* name;
    MovieWriterSpec spec;
    std::vector<int64_t> order;
  } cases[] = {
      {"aligned", Spec(64, 48, 0, 0, 10), {0, 1, 2, 5, 9, 3, 4, 0}},
      {"unaligned picture at an uneven offset", Spec(50, 30, 3, 5, 10), {0, 1, 6, 7, 9, 2}},
      {"one frame", Spec(32, 32, 0, 0, 1), {0}},
      {"seven frames", Spec(48, 32, 1, 0, 7), {0, 6, 1, 3}},
      {"forty frames, a keyframe every 8", Spec(64, 32, 0, 3, 40), {0, 7, 8, 9, 20, 39, 2, 17, 16}},
      {"4:2:2", Spec(40, 24, 1, 1, 6, 422), {0, 3, 5, 1}},
      {"4:4:4", Spec(40, 24, 7, 2, 6, 444), {0, 3, 5, 1}},
      {"the widest picture", Spec(4096, 16, 0, 0, 2), {0, 1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MovieDecoder* d = Create(MovieBytes(c.spec));
    ASSERT_NE(d, nullptr);
    MovieInfo info{};
    QueryMovieInfo(d, &info);
    EXPECT_EQ(info.frameCount, c.spec.frames);
    EXPECT_DOUBLE_EQ(info.frameRate, 15.0);
    // The Theora info's size is the coded frame, whole 16-pixel blocks around the picture.
    EXPECT_EQ(info.width, uint32_t((c.spec.offsetX + c.spec.width + 15) & ~15));
    EXPECT_EQ(info.height, uint32_t((c.spec.offsetY + c.spec.height + 15) & ~15));
    EXPECT_EQ(d->decodedImage.width, uint32_t(c.spec.width));
    EXPECT_EQ(d->decodedImage.height, uint32_t(c.spec.height));
    ASSERT_EQ(StartMovieDecoder(d), 0);
    for (int64_t k : c.order) EXPECT_EQ(Show(d, k), k) << "frame " << k;
    EXPECT_EQ(StopMovieDecoder(d), 0);
  }
}

TEST_F(MovieDecoding, AFrameNumberPastTheEndShowsItsRemainder) {
  // The single subtraction of an advance can leave the number past the end (95 + 250 is
  // 245 of 100); the thread reads it modulo the frame count.
  MovieDecoder* d = Create(MovieBytes(Spec(32, 32, 0, 0, 10)));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(StartMovieDecoder(d), 0);
  WaitForFrame(d);
  AdvanceMovieFrame(d, 27);
  EXPECT_EQ(CurrentMovieFrame(d), 17);
  WaitForFrame(d);
  PlatMutexLock(d->handover);
  EXPECT_EQ(FrameNumberOf(&d->decodedImage), 7);
  PlatMutexUnlock(d->handover);
  StopMovieDecoder(d);
}

TEST_F(MovieDecoding, TheConsumerTakesEachPictureOnce) {
  MovieDecoder* d = Create(MovieBytes(Spec(64, 48, 0, 0, 5)));
  ASSERT_NE(d, nullptr);
  ASSERT_EQ(StartMovieDecoder(d), 0);
  static std::vector<int32_t> taken;
  taken.clear();
  auto take = [](const GraphImage* image, int32_t data) {
    taken.push_back(FrameNumberOf(image));
    return data;
  };
  WaitForFrame(d);
  EXPECT_EQ(TakeMovieFrame(d, take, 7), 7);
  EXPECT_EQ(TakeMovieFrame(d, take, 7), -2) << "taken already";
  AdvanceMovieFrame(d, 2);
  WaitForFrame(d);
  EXPECT_EQ(TakeMovieFrame(d, take, 0), 0);
  EXPECT_EQ(taken, (std::vector<int32_t>{0, 2}));
  StopMovieDecoder(d);
}

TEST_F(MovieDecoding, AStopEndsTheThreadInTheMiddleOfItsWork) {
  const std::string bytes = MovieBytes(Spec(128, 96, 0, 0, 40));
  for (int round = 0; round < 5; round++) {
    MovieDecoder* d = Create(bytes);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(StartMovieDecoder(d), 0);
    AdvanceMovieFrame(d, 39 - round);
    EXPECT_EQ(StopMovieDecoder(d), 0);
  }
}

TEST_F(MovieDecoding, AThreadThatNeverReportsKeepsTheDecoderInsteadOfHangingTheStop) {
  MovieDecoder* d = Create(MovieBytes(Spec(32, 32, 0, 0, 2)));
  ASSERT_NE(d, nullptr);
  // A stand-in thread that never reports 3 until it is let go; its sleeps move the
  // manual clock, on which the stop's polls run out.
  static std::atomic<int> letGo;
  letGo = 0;
  d->thread = PlatThreadStart(
      [](void* arg) {
        MovieDecoder* self = static_cast<MovieDecoder*>(arg);
        while (!letGo.load()) PlatSleep(1);
        self->stateWord.store(3);
        PlatEventSet(self->finished);
      },
      d);
  ASSERT_NE(d->thread, nullptr);
  const int32_t blocks = GetTrackedBlockCount();
  EXPECT_EQ(StopMovieDecoder(d), 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks) << "nothing freed under a running thread";
  EXPECT_NE(ReadLog().find("ムービーのデコードスレッドが終了しない"), std::string::npos);
  letGo = 1;
  EXPECT_EQ(StopMovieDecoder(d), 0);
}

TEST_F(MovieDecoding, FilesItCannotPlayAreRefusedWithALogLine) {
  const std::string movie = MovieBytes(Spec(32, 32, 0, 0, 3));
  std::vector<float> tone(4410);
  for (size_t i = 0; i < tone.size(); i++) tone[i] = float(i % 50) / 100.0f;
  std::string vorbis;
  ASSERT_EQ(OggVorbisEncode(tone.data(), tone.size(), 1, 22050, 0.3f, 5, 0, &vorbis), 0);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"no bytes", ""},
      {"no Ogg", std::string(5000, 'x')},
      {"sound only", vorbis},
      {"headers only, no frame", MovieBytes(Spec(32, 32, 0, 0, 0))},
      {"cut inside the headers", movie.substr(0, 200)},
      // The identification header: rate numerator at bytes 22-25, denominator at 26-29,
      // the pixel format in bits 4-3 of byte 41 (1 is reserved).
      {"rate numerator 0", PatchOggPage(movie, 0, [](unsigned char* p, size_t) { std::fill(p + 22, p + 26, 0); })},
      {"rate denominator 0", PatchOggPage(movie, 0, [](unsigned char* p, size_t) { std::fill(p + 26, p + 30, 0); })},
      {"reserved chroma layout", PatchOggPage(movie, 0, [](unsigned char* p, size_t) { p[41] = (p[41] & ~0x18) | 0x08; })},
      {"a picture wider than 4096", MovieBytes(Spec(4097, 16, 0, 0, 1))},
      {"a picture taller than 4096", MovieBytes(Spec(16, 4097, 0, 0, 1))},
      {"no picture that decodes", DamagedMovie({0, 1, 2, 3, 4, 5, 6, 7, 8, 9})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = ReadLog();
    EXPECT_EQ(Create(c.bytes), nullptr);
    EXPECT_NE(ReadLog().substr(before.size()).find("ムービーを再生できません"), std::string::npos);
  }
  // The same file unpatched plays.
  MovieDecoder* d = Create(movie);
  ASSERT_NE(d, nullptr);
  StopMovieDecoder(d);
}

TEST_F(MovieDecoding, APictureThatDoesNotDecodeLeavesTheLastGoodOneAndTheMovieItsLength) {
  for (const DamagedMovieCase& c : DamagedMovieCases()) {
    SCOPED_TRACE(c.name);
    MovieDecoder* d = Create(DamagedMovie(c.damaged));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->frameCount, 10);
    ASSERT_EQ(StartMovieDecoder(d), 0);
    // In order, then round again from the start: the wrap decodes from the first packet.
    for (int round = 0; round < 2; round++)
      for (const auto& [frame, shows] : c.shows) {
        // After the wrap the decoder still holds the last picture of the round before.
        if (round == 1 && shows == kNoPicture) continue;
        EXPECT_EQ(Show(d, frame), shows) << "frame " << frame << ", round " << round;
      }
    EXPECT_EQ(StopMovieDecoder(d), 0);
  }
}

// Random planes through our conversion and through SDL_ConvertPixels (IYUV to ARGB8888
// with the BT.601 matrix), an independent oracle. The samples stay in the studio range
// the matrix is made for: past it SDL's own conversion wraps (Y, U and V at 255 give a
// blue of 0), and a width of whole 32-pixel runs keeps SDL on one code path.
TEST(MovieConversion, StaysWithinThreeOfSdlsBt601ConversionOnRandomPlanes) {
  BuildYuvTables();
  constexpr int kW = 256, kH = 128;
  std::mt19937 random(1234);
  std::vector<uint8_t> iyuv(size_t(kW) * kH * 3 / 2);
  uint8_t* y = iyuv.data();
  uint8_t* u = y + kW * kH;
  uint8_t* v = u + (kW / 2) * (kH / 2);
  for (uint8_t* p = y; p < u; p++) *p = uint8_t(16 + random() % 220);
  for (uint8_t* p = u; p < iyuv.data() + iyuv.size(); p++) *p = uint8_t(16 + random() % 225);
  // The studio range's corners too.
  const uint8_t corners[][3] = {{16, 16, 16}, {235, 240, 240}, {16, 128, 128}, {235, 128, 128}, {16, 240, 16}, {235, 16, 240}};
  for (int i = 0; i < int(std::size(corners)); i++) {
    for (int dy = 0; dy < 2; dy++)
      for (int dx = 0; dx < 2; dx++) y[dy * kW + 2 * i + dx] = corners[i][0];
    u[i] = corners[i][1];
    v[i] = corners[i][2];
  }
  std::vector<uint32_t> ours(size_t(kW) * kH), theirs(size_t(kW) * kH);
  ConvertYuvPicture(y, kW, u, v, kW / 2, 1, 1, 0, 0, kW, kH, reinterpret_cast<uint8_t*>(ours.data()), kW * 4);
  SDL_SetYUVConversionMode(SDL_YUV_CONVERSION_BT601);
  ASSERT_EQ(SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_IYUV, iyuv.data(), kW, SDL_PIXELFORMAT_ARGB8888, theirs.data(),
                              kW * 4),
            0)
      << SDL_GetError();
  int largest = 0;
  for (size_t i = 0; i < ours.size(); i++)
    for (int shift : {0, 8, 16}) {
      const int a = int(ours[i] >> shift & 0xFF), b = int(theirs[i] >> shift & 0xFF);
      largest = std::max(largest, std::abs(a - b));
    }
  RecordProperty("LargestDifference", largest);
  std::printf("largest difference from SDL's conversion: %d\n", largest);
  EXPECT_LE(largest, 3);
}

// One pixel through the tables, the way the conversion is defined.
uint32_t TablePixel(int cy, int cu, int cv) {
  const uint8_t* clamp = YuvClampTable + 512;
  const int32_t l = YuvCoefficientTables[YUV_LUMA][cy] + 8192;
  return 0xFF000000u | uint32_t(clamp[(l + YuvCoefficientTables[YUV_V_RED][cv]) >> 14]) << 16 |
         uint32_t(clamp[(l + YuvCoefficientTables[YUV_U_GREEN][cu] + YuvCoefficientTables[YUV_V_GREEN][cv]) >> 14])
             << 8 |
         uint32_t(clamp[(l + YuvCoefficientTables[YUV_U_BLUE][cu]) >> 14]);
}

// The conversion runs pixels thirty-two or sixteen at a time, two rows at once where they
// share a chroma row, and the rest one by one: every width, height, odd start and chroma
// layout gives exactly what the tables give pixel by pixel.
TEST(MovieConversion, EveryRunLengthGivesWhatTheTablesGive) {
  BuildYuvTables();
  constexpr int kStride = 112, kRows = 8;
  std::mt19937 random(99);
  std::vector<uint8_t> y(kStride * kRows), u(kStride * kRows), v(kStride * kRows);
  for (auto* plane : {&y, &u, &v})
    for (uint8_t& b : *plane) b = uint8_t(random());
  const int shifts[][2] = {{1, 1}, {1, 0}, {0, 0}};
  for (const auto& sh : shifts)
    for (int originX : {0, 1, 2, 3})
      for (int originY : {0, 1})
        for (int height : {1, 2, 3, 4})
          for (int width = 1; width <= 100; width++) {
            // A pitch past the row, whose gap must stay as it was.
            const int pitch = width + 3;
            std::vector<uint32_t> out(size_t(pitch) * height, 0x12345678u);
            ConvertYuvPicture(y.data(), kStride, u.data(), v.data(), kStride, sh[0], sh[1], originX, originY, width,
                              height, reinterpret_cast<uint8_t*>(out.data()), pitch * 4);
            std::vector<uint32_t> want(out.size(), 0x12345678u);
            for (int row = 0; row < height; row++)
              for (int col = 0; col < width; col++) {
                const int fx = originX + col, fy = originY + row;
                const size_t c = size_t(fy >> sh[1]) * kStride + size_t(fx >> sh[0]);
                want[size_t(row) * pitch + col] = TablePixel(y[size_t(fy) * kStride + fx], u[c], v[c]);
              }
            const auto differs = std::mismatch(out.begin(), out.end(), want.begin());
            ASSERT_TRUE(differs.first == out.end())
                << "shift " << sh[0] << "," << sh[1] << " origin " << originX << "," << originY << " size " << width
                << "x" << height << " at " << (differs.first - out.begin()) % pitch << ","
                << (differs.first - out.begin()) / pitch;
          }
}

// Every Y, U and V through the runs that share chroma: a 4:2:2 picture whose rows are
// every U and V pair, each over Y from 0 to 255, gives what the tables give.
TEST(MovieConversion, EveryComponentTripleGivesWhatTheTablesGive) {
  BuildYuvTables();
  constexpr int kW = 256, kH = 65536;
  std::vector<uint8_t> y(size_t(kW) * kH), u(size_t(kW / 2) * kH), v(size_t(kW / 2) * kH);
  for (size_t row = 0; row < kH; row++) {
    for (int col = 0; col < kW; col++) y[row * kW + col] = uint8_t(col);
    std::memset(&u[row * (kW / 2)], int(row & 0xFF), kW / 2);
    std::memset(&v[row * (kW / 2)], int(row >> 8), kW / 2);
  }
  std::vector<uint32_t> out(size_t(kW) * kH);
  ConvertYuvPicture(y.data(), kW, u.data(), v.data(), kW / 2, 1, 0, 0, 0, kW, kH,
                    reinterpret_cast<uint8_t*>(out.data()), kW * 4);
  int wrong = 0;
  for (size_t row = 0; row < kH; row++)
    for (int col = 0; col < kW; col++)
      if (out[row * kW + col] != TablePixel(col, int(row & 0xFF), int(row >> 8)) && wrong++ < 5)
        ADD_FAILURE() << "Y " << col << " U " << (row & 0xFF) << " V " << (row >> 8);
  EXPECT_EQ(wrong, 0);
}

// Over the whole cube, out-of-gamut corners included, each channel is the BT.601 formula
// rounded and clamped, give or take the truncated coefficients.
TEST(MovieConversion, FollowsTheFormulaOverTheWholeRange) {
  BuildYuvTables();
  int largest = 0;
  for (int cy = 0; cy < 256; cy += 3)
    for (int cu = 0; cu < 256; cu += 3)
      for (int cv = 0; cv < 256; cv += 3) {
        const uint8_t py = uint8_t(cy), pu = uint8_t(cu), pv = uint8_t(cv);
        uint32_t out = 0;
        ConvertYuvPicture(&py, 1, &pu, &pv, 1, 0, 0, 0, 0, 1, 1, reinterpret_cast<uint8_t*>(&out), 4);
        const double l = 1.164 * (cy - 16);
        const double exact[3] = {l + 2.018 * (cu - 128), l - 0.391 * (cu - 128) - 0.813 * (cv - 128),
                                 l + 1.596 * (cv - 128)};
        for (int c = 0; c < 3; c++) {
          const int want = int(std::clamp(std::lround(exact[c]), 0L, 255L));
          largest = std::max(largest, std::abs(int(out >> (8 * c) & 0xFF) - want));
        }
      }
  EXPECT_LE(largest, 1);
}

}  // namespace
