// Pixels of the draw states on the soft device: every blend mode over a texture, the
// untextured rows, and the blend graph's cut over an alpha ramp. The expected values are
// worked out from the blend factor rows, the stage rows and the device's arithmetic:
// mul(a, b) = (a b + 127) / 255, and blending out = min(255, (s Fs + d Fd + 127) / 255).
#include "quad_fixture.h"

namespace {

using DrawPixels = SoftQuadTest;

// Texel (192, 128, 64) over destination (64, 96, 128).
constexpr uint32_t kTexel = 0xFFC08040, kDestination = 0x406080;

TEST_F(DrawPixels, EveryBlendModeOverATexture) {
  const Surface3DData* texture = NewTexture(PLAIN_TEXELS, kWidth, kHeight);
  ASSERT_NE(texture, nullptr);
  Fill(texture, [](int32_t, int32_t) { return kTexel; });
  struct Case {
    QuadDrawState state;
    uint32_t result;
  };
  // In order: mode 7 keeps the factors that mode 5 left (mode 6 sends none).
  const Case cases[] = {
      // Copy: the texel, unblended.
      {{0, 0}, 0xC08040},
      // Copy at brightness (128, 255, 64): the texel times the vertex colour,
      // mul(192, 128) = 96, mul(128, 255) = 128, mul(64, 64) = 16.
      {{0, 0, 128, 255, 64}, 0x608010},
      // Mix by 128: (s 128 + d 127 + 127) / 255.
      {{1, 128}, 0x807060},
      // Mix by 255: the texel.
      {{1, 255}, 0xC08040},
      // Add: (s 128 + d 255 + 127) / 255 = 160, 160, 160.
      {{2, 128}, 0xA0A0A0},
      // Add by 0: the destination.
      {{2, 0}, 0x406080},
      // Inverted destination times the texel: (s (255 - d) + 127) / 255.
      {{3, 128}, 0x905020},
      // Multiply: (d s + 127) / 255 = 48, 48, 32.
      {{4, 128}, 0x303020},
      // Multiply at brightness (255, 128, 0): the texel (192, 64, 0) times the destination.
      {{4, 128, 255, 128, 0}, 0x301800},
      {{5, 128}, 0xA0A0A0},
      // Not blending: the texel.
      {{6, 128}, 0xC08040},
      // Blending with what mode 5 left: an add.
      {{7, 128}, 0xA0A0A0},
      // The destination unchanged.
      {{8, 128}, 0x406080},
      {{9, 128}, 0x905020},
      // The inverted texel (63, 127, 191) mixed by 128.
      {{10, 128}, 0x3F70A0},
      // The texel toward white by 127 / 255 ((c 128 + 255 127 + 127) / 255 = 223, 191,
      // 159), times the destination.
      {{11, 128}, 0x384850},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.state.blendMode << " parameter " << c.state.blendParam);
    FillWith(target, kDestination);
    SetDrawState(c.state);
    DrawQuad(texture, 0);
    EXPECT_EQ(Pixel(0, 0), c.result) << std::hex << Pixel(0, 0);
    EXPECT_EQ(Pixel(kWidth - 1, kHeight - 1), c.result);
  }
}

// A keyed graph (alpha-test texels: key texels black with alpha 0) multiplied over the
// target leaves the key pixels as they were, whatever the parameter and the filter, and
// multiplies the others in.
TEST_F(DrawPixels, KeyedTextureMultipliedKeepsTheKeyPixels) {
  const Surface3DData* texture = NewTexture(ALPHA_TEST_TEXELS, kWidth, kHeight);
  ASSERT_NE(texture, nullptr);
  auto key = [](int32_t x, int32_t y) { return (x + y) % 3 == 0; };
  Fill(texture, [&](int32_t x, int32_t y) { return key(x, y) ? 0u : kTexel; });
  const QuadDrawState states[] = {{4, 255}, {4, 0}, {4, 128, 255, 128, 0}, {4, 255, 255, 255, 255, 1}};
  for (const QuadDrawState& state : states) {
    SCOPED_TRACE(testing::Message() << "parameter " << state.blendParam << " filter " << state.filterMode);
    FillWith(target, kDestination);
    SetDrawState(state);
    DrawQuad(texture, DRAW_STATE_TEXTURE_ALPHA);
    const uint32_t multiplied = state.green == 128 ? 0x301800 : 0x303020;
    for (int32_t y = 0; y < kHeight; y++)
      for (int32_t x = 0; x < kWidth; x++)
        EXPECT_EQ(Pixel(x, y), key(x, y) ? kDestination : multiplied) << x << "," << y;
  }
}

TEST_F(DrawPixels, UntexturedRows) {
  struct Case {
    const char* what;
    QuadDrawState state;
    uint32_t result;
  };
  const Case cases[] = {
      // First on the new device, whose cached texture factor is 0: the vertex colour
      // (128, 128, 128) toward white by 127 / 255 is 191, times the destination.
      {"mode 11", {11, 128, 128, 128, 128}, 0x304860},
      // White: 255 - d.
      {"mode 3, white", {3, 255}, 0xBF9F7F},
      // The inverted vertex colour (0, 255, 191) mixed by 128.
      {"mode 10", {10, 128, 255, 0, 64}, 0x20B0A0},
      {"mode 8", {8, 128, 10, 20, 30}, 0x406080},
      {"copy", {0, 0, 10, 20, 30}, 0x0A141E},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FillWith(target, kDestination);
    SetDrawState(c.state);
    DrawQuad(nullptr, DRAW_STATE_MODULATE_COLOR);
    EXPECT_EQ(Pixel(3, 1), c.result) << std::hex << Pixel(3, 1);
  }
}

// The ramp: blend alpha 17 x at column x, under a white texture over a black target.
class BlendGraphRamp : public SoftQuadTest {
 protected:
  const Surface3DData* blend = nullptr;
  const Surface3DData* texture = nullptr;

  void SetUp() override {
    SoftQuadTest::SetUp();
    if (HasFatalFailure()) return;
    blend = NewTexture(ALPHA_CHANNEL_TEXELS, kWidth, kHeight);
    texture = NewTexture(PLAIN_TEXELS, kWidth, kHeight);
    ASSERT_TRUE(blend && texture);
    Fill(blend, [](int32_t x, int32_t) { return uint32_t(17 * x) << 24 | 0x123456; });
    Fill(texture, [](int32_t, int32_t) { return 0xFFFFFFFFu; });
    SetDrawState({});
  }

  void Draw(int32_t threshold, int32_t range) {
    FillWith(target, 0);
    SetBlendTexture(blend, threshold, range);
    DrawQuad(texture, 0);
  }
};

TEST_F(BlendGraphRamp, RangeOneShowsThePixelsThatReachTheThreshold) {
  for (int32_t threshold : {0, 128, 136, 255}) {
    SCOPED_TRACE(threshold);
    Draw(threshold, 1);
    for (int32_t x = 0; x < kWidth; x++)
      EXPECT_EQ(Pixel(x, 0), 17 * x >= threshold && threshold != 255 ? 0xFFFFFFu : 0u) << "x " << x;
  }
}

TEST_F(BlendGraphRamp, WiderRangesFollowTheTextureFactorAndTheStageOps) {
  // White over black under SRCALPHA / INVSRCALPHA: the pixel is the drawn alpha, that is
  // the blend alpha plus or minus the factor's alpha f, times 4, 2 or 1 (vertex alpha
  // 255), at blend alphas 0, 68, 119, 170, 255.
  struct Case {
    int32_t range, threshold;
    uint8_t alpha[5];
  };
  const Case cases[] = {
      // s = 1280 - 642 = 638: v = 158, f = 97 subtracted, times 4.
      {64, 128, {0, 0, 88, 255, 255}},
      // s = 1280 - 803 = 477: v = 118, f = 137 subtracted, times 4.
      {64, 160, {0, 0, 0, 132, 255}},
      // s = 768 - 192 = 576 from 512: v = 64 x 128 / 256 = 32 added, times 2.
      {128, 64, {64, 200, 255, 255, 255}},
      // s = 768 - 385 = 383: v = 190, f = 65 subtracted, times 2.
      {128, 128, {0, 6, 108, 210, 255}},
      // s = 512: v = 255 added.
      {255, 0, {255, 255, 255, 255, 255}},
      // s = 255: v = 254, f = 1 subtracted.
      {255, 128, {0, 67, 118, 169, 254}},
  };
  const int32_t columns[5] = {0, 4, 7, 10, 15};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "range " << c.range << " threshold " << c.threshold);
    Draw(c.threshold, c.range);
    for (int i = 0; i < 5; i++) {
      const uint32_t a = c.alpha[i];
      EXPECT_EQ(Pixel(columns[i], 1), a << 16 | a << 8 | a) << "x " << columns[i];
    }
  }
}

}  // namespace
