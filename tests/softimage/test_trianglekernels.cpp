// The textured triangle's pixel arithmetic, one texel over one destination pixel: the
// parameter shortcuts, the key and alpha rules, and the results the blend modes are known
// to give, for 32-bit and 16-bit images.
#include "trianglefixture.h"

namespace {

struct KernelCase {
  const char* name;
  int kind = 1;         // 0 16-bit, 1 32-bit
  char texels = 'd';    // 'd' plain, 'p' palette index, 'a' with alpha
  uint32_t texel = 0;   // the raw texel: an index, a colour, or a colour with alpha
  uint32_t entry = 0;   // the palette entry of the index
  uint32_t key = 0;     // the source's transparent colour
  int trans = 0;
  uint32_t dst = 0;
  int mode = 0;
  int p = 255;
  int weight = -1;      // the blend weight of the texel; -1: no blend image
  uint8_t bright[3] = {255, 255, 255};  // red, green, blue
  uint32_t want = 0;
};

// One triangle over pixel (0, 0) of a 1 x 1 destination, every corner on texel (0, 0).
uint32_t DrawOne(const KernelCase& k) {
  TestImage src(k.kind, 1, 1, k.key, k.texels == 'p', k.texels == 'a');
  src.Set(0, 0, k.texel);
  if (k.texels == 'p') src.SetPalette(int(k.texel), k.entry);
  TestImage dst(k.kind, 1, 1);
  dst.Set(0, 0, k.dst);
  TestImage blend(MEMIMG_KIND_GRAY8, 1, 1);
  blend.Set(0, 0, 7);
  if (k.weight >= 0) BlendGraphCurve[7] = uint8_t(k.weight);
  g_DrawState.blendMode = k.mode;
  g_DrawState.blendParam = k.p;
  g_DrawState.brightRed = k.bright[0];
  g_DrawState.brightGreen = k.bright[1];
  g_DrawState.brightBlue = k.bright[2];
  const TriangleVertex corners[3] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}};
  DrawMemImgTriangle(&dst.img, &src.img, corners, k.trans, k.weight >= 0 ? &blend.img : nullptr,
                     0);
  return dst.Get(0, 0);
}

void RunTable(std::initializer_list<KernelCase> cases) {
  for (const KernelCase& k : cases) {
    EXPECT_EQ(DrawOne(k), k.want) << k.name << std::hex << ": got 0x" << DrawOne(k) << ", want 0x"
                                  << k.want;
  }
}

TEST_F(TriangleTest, ParameterShortcuts) {
  RunTable({
      // 32-bit images.
      {.name = "mode 1 at 255 copies the whole word", .texel = 0xAB123456, .dst = 0x11000000,
       .mode = 1, .p = 255, .want = 0xAB123456},
      {.name = "mode 1 at 255 with brightness is mode 0", .texel = 0xAB0080FF, .dst = 0x11000000,
       .mode = 1, .p = 255, .bright = {255, 128, 0}, .want = 0x11004000},
      {.name = "mode 1 at 0", .texel = 0x00FFFFFF, .dst = 0x11223344, .mode = 1, .p = 0,
       .want = 0x11223344},
      {.name = "mode 2 at 0", .texel = 0x00FFFFFF, .dst = 0x11223344, .mode = 2, .p = 0,
       .want = 0x11223344},
      {.name = "mode 2 at 0, palette", .texels = 'p', .texel = 3, .entry = 0x00FFFFFF,
       .dst = 0x11223344, .mode = 2, .p = 0, .want = 0x11223344},
      {.name = "mode 3 at 0, 32-bit texels", .texel = 0x00FFFFFF, .dst = 0xFF102030, .mode = 3,
       .p = 0, .want = 0xFF102030},
      {.name = "mode 3 at 0, palette: a source term of 0", .texels = 'p', .texel = 3,
       .entry = 0x00FFFFFF, .dst = 0xFF102030, .mode = 3, .p = 0, .want = 0x00112130},
      {.name = "mode 10 at 0 runs and leaves the pixel", .texel = 0x00FFFFFF, .dst = 0x11223344,
       .mode = 10, .p = 0, .want = 0x11223344},
      {.name = "mode 11 at 0 runs and leaves the pixel", .texel = 0x00FFFFFF, .dst = 0x11223344,
       .mode = 11, .p = 0, .want = 0x11223344},
      {.name = "mode 4 ignores the parameter", .texel = 0x00808080, .dst = 0x00FF40FF, .mode = 4,
       .p = 0, .want = 0x007F207F},
      // 16-bit images.
      {.name = "16: mode 1 at 255", .kind = 0, .texel = 0xABCD, .dst = 0x1234, .mode = 1,
       .p = 255, .want = 0xABCD},
      {.name = "16: mode 1 at 0", .kind = 0, .texel = 0xFFFF, .dst = 0x1234, .mode = 1, .p = 0,
       .want = 0x1234},
      {.name = "16: mode 2 at 0, palette", .kind = 0, .texels = 'p', .texel = 9, .entry = 0xFFFF,
       .dst = 0x1234, .mode = 2, .p = 0, .want = 0x1234},
      {.name = "16: mode 3 at 0, 16-bit texels", .kind = 0, .texel = 0xFFFF, .dst = 0x1234,
       .mode = 3, .p = 0, .want = 0x1234},
      {.name = "16: mode 3 at 0, palette over white", .kind = 0, .texels = 'p', .texel = 9,
       .entry = 0xFFFF, .dst = 0xFFFF, .mode = 3, .p = 0, .want = 0xFFDF},
      {.name = "16: mode 3 at 0, palette", .kind = 0, .texels = 'p', .texel = 9, .entry = 0xFFFF,
       .dst = 0x1234, .mode = 3, .p = 0, .want = 0x1A14},
  });
}

TEST_F(TriangleTest, KeyAndAlphaRules) {
  RunTable({
      {.name = "index equal to the key, trans on", .texels = 'p', .texel = 5, .entry = 0x00ABCDEF,
       .key = 5, .trans = 1, .dst = 0x11223344, .want = 0x11223344},
      {.name = "index equal to the key, trans off", .texels = 'p', .texel = 5, .entry = 0x00ABCDEF,
       .key = 5, .dst = 0x11223344, .want = 0x00ABCDEF},
      {.name = "key above 255 against an index", .texels = 'p', .texel = 5, .entry = 0x00ABCDEF,
       .key = 0x105, .trans = 1, .dst = 0x11223344, .want = 0x00ABCDEF},
      {.name = "texel equal to the key", .texel = 0x00123456, .key = 0x00123456, .trans = 1,
       .dst = 0x11223344, .want = 0x11223344},
      {.name = "texel differing in the fourth byte", .texel = 0x01123456, .key = 0x00123456,
       .trans = 1, .dst = 0x11223344, .want = 0x01123456},
      {.name = "alpha source ignores the key", .texels = 'a', .texel = 0x80FFFFFF,
       .key = 0x80FFFFFF, .trans = 1, .dst = 0, .want = 0x007F7F7F},
      {.name = "alpha 255, trans off: mixed, fourth byte kept", .texels = 'a',
       .texel = 0xFFFFFFFF, .dst = 0x33000000, .want = 0x33FEFEFE},
      {.name = "alpha 255, trans on: copied whole", .texels = 'a', .texel = 0xFFFFFFFF,
       .trans = 1, .dst = 0x33000000, .want = 0xFFFFFFFF},
      {.name = "alpha 0 under trans skips mode 3", .texels = 'a', .texel = 0x00FFFFFF,
       .trans = 1, .dst = 0xFFFFFFFF, .mode = 3, .want = 0xFFFFFFFF},
      {.name = "alpha 0 without trans subtracts nothing", .texels = 'a', .texel = 0x00FFFFFF,
       .dst = 0xFFFFFFFF, .mode = 3, .want = 0x00FFFFFF},
      {.name = "alpha 0 in mode 10", .texels = 'a', .texel = 0x00FFFFFF, .trans = 1,
       .dst = 0x11223344, .mode = 10, .p = 200, .want = 0x11223344},
      {.name = "alpha 0 in mode 11", .texels = 'a', .texel = 0x00FFFFFF, .trans = 1,
       .dst = 0x11223344, .mode = 11, .p = 200, .want = 0x11223344},
      // 16-bit images.
      {.name = "16: index equal to the key, trans on", .kind = 0, .texels = 'p', .texel = 5,
       .entry = 0xABCD, .key = 5, .trans = 1, .dst = 0x1234, .want = 0x1234},
      {.name = "16: index equal to the key, trans off", .kind = 0, .texels = 'p', .texel = 5,
       .entry = 0xABCD, .key = 5, .dst = 0x1234, .want = 0xABCD},
      {.name = "16: key above 255 against an index", .kind = 0, .texels = 'p', .texel = 5,
       .entry = 0xABCD, .key = 0x205, .trans = 1, .dst = 0x1234, .want = 0xABCD},
      {.name = "16: texel equal to the key", .kind = 0, .texel = 0xABCD, .key = 0xABCD,
       .trans = 1, .dst = 0x1234, .want = 0x1234},
      {.name = "16: key above 0xFFFF", .kind = 0, .texel = 0xABCD, .key = 0x1ABCD, .trans = 1,
       .dst = 0x1234, .want = 0xABCD},
      {.name = "16: alpha source ignores the key", .kind = 0, .texels = 'a', .texel = 0x00FFFFFF,
       .key = 0x00FFFFFF, .trans = 1, .dst = 0x1234, .want = 0xFFFF},
      {.name = "16: alpha 255, trans off", .kind = 0, .texels = 'a', .texel = 0x00FFFFFF,
       .dst = 0, .want = 0xF7DE},
      {.name = "16: alpha 0 under trans skips mode 3", .kind = 0, .texels = 'a',
       .texel = 0x0000FFFF, .trans = 1, .dst = 0xFFFF, .mode = 3, .want = 0xFFFF},
      {.name = "16: alpha 0 without trans", .kind = 0, .texels = 'a', .texel = 0x0000FFFF,
       .dst = 0xFFFF, .mode = 3, .want = 0xFFDF},
      {.name = "16: alpha 0 in mode 11", .kind = 0, .texels = 'a', .texel = 0x0000FFFF,
       .trans = 1, .dst = 0x1234, .mode = 11, .p = 200, .want = 0x1234},
  });
}

TEST_F(TriangleTest, MultiplyScalesTheProductByItsWeights) {
  RunTable({
      {.name = "white by white", .texel = 0x00FFFFFF, .dst = 0x44FFFFFF, .mode = 4,
       .want = 0x44FEFEFE},
      {.name = "alpha 0, trans on", .texels = 'a', .texel = 0x00FFFFFF, .trans = 1,
       .dst = 0xAAFFFFFF, .mode = 4, .want = 0xAA000000},
      {.name = "alpha 0, trans off", .texels = 'a', .texel = 0x00FFFFFF, .dst = 0xAAFFFFFF,
       .mode = 4, .want = 0xAA000000},
      {.name = "blend weight 0", .texel = 0x00FFFFFF, .dst = 0x00FFFFFF, .mode = 4, .weight = 0,
       .want = 0},
      {.name = "16: white by white", .kind = 0, .texel = 0xFFFF, .dst = 0xFFFF, .mode = 4,
       .want = 0xF7DE},
      {.name = "16: alpha 0, trans on", .kind = 0, .texels = 'a', .texel = 0x0000FFFF,
       .trans = 1, .dst = 0xFFFF, .mode = 4, .want = 0},
      {.name = "16: alpha 0, trans off", .kind = 0, .texels = 'a', .texel = 0x0000FFFF,
       .dst = 0xFFFF, .mode = 4, .want = 0},
      {.name = "16: blend weight 0", .kind = 0, .texel = 0xFFFF, .dst = 0xFFFF, .mode = 4,
       .weight = 0, .want = 0},
  });
}

TEST_F(TriangleTest, SaturatingAddAndSubtract) {
  RunTable({
      {.name = "200 + 100 saturates, fourth byte 1", .texel = 0x00646464, .dst = 0x00C8C8C8,
       .mode = 2, .want = 0x01FFFFFF},
      {.name = "green 1 + 1 gives 1", .texel = 0x00000100, .dst = 0x00000100, .mode = 2,
       .want = 0x00000100},
      {.name = "100 - 50 gives 50, 51, 51", .texel = 0x00323232, .dst = 0xEE646464, .mode = 3,
       .want = 0x00333332},
      {.name = "16: green 1 + 1", .kind = 0, .texel = 0x0020, .dst = 0x0020, .mode = 2,
       .want = 0x0020},
      {.name = "16: blue 31 + 1 carries", .kind = 0, .texel = 0x0001, .dst = 0x001F, .mode = 2,
       .want = 0x003F},
      {.name = "16: white + white", .kind = 0, .texel = 0xFFFF, .dst = 0xFFFF, .mode = 2,
       .want = 0xFFFF},
      {.name = "16: black - blue 1", .kind = 0, .texel = 0x0001, .dst = 0, .mode = 3,
       .want = 0x0800},
      {.name = "16: white - white", .kind = 0, .texel = 0xFFFF, .dst = 0xFFFF, .mode = 3,
       .want = 0x0800},
      // Without a blend image alpha scales the 16-bit texel before brightness: blue 11 at
      // alpha 128 is 5, at brightness 100 that is 1 (brightness first would give 2).
      {.name = "16: add takes alpha before brightness", .kind = 0, .texels = 'a',
       .texel = 0x0080000B, .dst = 0, .mode = 2, .bright = {100, 100, 100}, .want = 0x0001},
      // On 32 bits brightness comes first: blue 46 at brightness 100 is 18, at alpha 100
      // that is 7 (alpha first would give 6).
      {.name = "add takes brightness before alpha", .texels = 'a', .texel = 0x6400002E,
       .dst = 0, .mode = 2, .bright = {100, 100, 100}, .want = 0x00000007},
  });
}

TEST_F(TriangleTest, MixesAndInversion) {
  RunTable({
      {.name = "mode 10 at 255, black over black", .texel = 0, .dst = 0, .mode = 10,
       .want = 0x00FEFEFE},
      // Brightness scales the inverted texel: red 255 - 0 at brightness 128 is 128.
      {.name = "mode 10 brightens after inverting", .texel = 0, .dst = 0, .mode = 10,
       .bright = {128, 255, 255}, .want = 0x007FFEFE},
      {.name = "blend weight mixes", .texel = 0x00FFFFFF, .dst = 0x66000000, .weight = 128,
       .want = 0x667F7F7F},
      {.name = "16: mix at 128, white over black", .kind = 0, .texel = 0xFFFF, .dst = 0,
       .mode = 1, .p = 128, .want = 0x7BEF},
      {.name = "16: mix at 128, black over white", .kind = 0, .texel = 0, .dst = 0xFFFF,
       .mode = 1, .p = 128, .want = 0x8410},
      {.name = "16: mode 10 at 255, black over black", .kind = 0, .texel = 0, .dst = 0,
       .mode = 10, .want = 0xFFFF},
      {.name = "16: mode 10 at brightness 0 mixes toward black", .kind = 0, .texel = 0,
       .dst = 0xFFFF, .mode = 10, .bright = {0, 0, 0}, .want = 0},
      // Green 9 under green 7 at alpha 64: 7 with the five extra bits, 6 without.
      {.name = "16: mode 11 green keeps five more bits", .kind = 0, .texels = 'a',
       .texel = 0x004000E0, .dst = 0x0120, .mode = 11, .want = 0x00E0},
      {.name = "16: mode 11 green rule needs white", .kind = 0, .texels = 'a',
       .texel = 0x004000E0, .dst = 0x0120, .mode = 11, .bright = {255, 254, 255},
       .want = 0x00C0},
  });
}

}  // namespace
