// The draw state as device states, over the recording fake: the vertex colour, colour
// keys and alpha kinds, the blend graph's cut, the stage rows, what a forced apply sends
// and in which order, and the batch the states find pending. The fake keeps its states
// in `soft` underneath, so the device's getters tell what a draw would be drawn with.
#include "d3d_fixture.h"

#include "engine/graphics/drawsettings.h"

namespace {

using DrawStates = Direct3DTest;

constexpr int32_t _ = STAGE_VALUE_KEEP;
constexpr int32_t DIF = PLAT_D3DTA_DIFFUSE, CUR = PLAT_D3DTA_CURRENT, TEX = PLAT_D3DTA_TEXTURE,
                  TFA = PLAT_D3DTA_TFACTOR, SPE = PLAT_D3DTA_SPECULAR, NTEX = TEX | PLAT_D3DTA_COMPLEMENT,
                  NDIF = DIF | PLAT_D3DTA_COMPLEMENT;
constexpr int32_t DIS = PLAT_D3DTOP_DISABLE, S1 = PLAT_D3DTOP_SELECTARG1, S2 = PLAT_D3DTOP_SELECTARG2,
                  MOD = PLAT_D3DTOP_MODULATE, MOD2 = PLAT_D3DTOP_MODULATE2X, MOD4 = PLAT_D3DTOP_MODULATE4X,
                  ADD = PLAT_D3DTOP_ADD, SUB = PLAT_D3DTOP_SUBTRACT, BDA = PLAT_D3DTOP_BLENDDIFFUSEALPHA,
                  BCA = PLAT_D3DTOP_BLENDCURRENTALPHA;

uint32_t DeviceState(PlatD3DRenderState state) {
  uint32_t value = 0xDEADBEEF;
  PlatD3DDeviceGetRenderState(CurrentDevice3D(), state, &value);
  return value;
}
uint32_t StageState(uint32_t stage, PlatD3DTextureStageState state) {
  uint32_t value = 0xDEADBEEF;
  PlatD3DDeviceGetTextureStageState(CurrentDevice3D(), stage, state, &value);
  return value;
}
PlatDDSurface StageTexture(uint32_t stage) {
  PlatDDSurface texture = 0xDEADBEEF;
  PlatD3DDeviceGetTexture(CurrentDevice3D(), stage, &texture);
  return texture;
}

// Whether a call since the last clear sent the render state.
bool Sends(PlatD3DRenderState state) {
  const std::string prefix = "SetRenderState(" + std::to_string(state) + ",";
  for (const PlatD3DFakeCall& c : PlatD3DFakeCalls())
    if (CallText(c).rfind(prefix, 0) == 0) return true;
  return false;
}

void SetDraw(int32_t mode, int32_t param = 0, int32_t filter = 0) {
  g_DrawState.blendMode = mode;
  g_DrawState.blendParam = param;
  g_DrawState.filterMode = filter;
  UpdateDrawVertexColor();
}

// The device holds every stage value the cache knows, so that what is skipped as equal
// really is.
void ExpectDeviceHoldsTheStageCache(const Device3DRecord& r) {
  for (uint32_t s = 0; s < DEVICE3D_STAGES; s++) {
    SCOPED_TRACE(s);
    const StageCacheEntry& c = r.stageCache[s];
    const std::pair<uint16_t, PlatD3DTextureStageState> values[] = {
        {c.alphaArg1, PLAT_D3DTSS_ALPHAARG1}, {c.alphaArg2, PLAT_D3DTSS_ALPHAARG2},
        {c.alphaOp, PLAT_D3DTSS_ALPHAOP},     {c.colorArg1, PLAT_D3DTSS_COLORARG1},
        {c.colorArg2, PLAT_D3DTSS_COLORARG2}, {c.colorOp, PLAT_D3DTSS_COLOROP}};
    for (const auto& [cached, state] : values)
      if (cached != 0xFFFF) {
        EXPECT_EQ(StageState(s, state), cached) << "state " << state;
      }
    EXPECT_EQ(StageTexture(s), c.texture);
  }
}

TEST_F(DrawStates, TheVertexColorFollowsBlendAndBrightness) {
  Up();
  struct Case {
    int32_t mode, param, red, green, blue;
    uint32_t color;
  };
  const Case cases[] = {
      {0, 0, 255, 255, 255, 0xFFFFFFFF},
      {1, 128, 255, 0, 0, 0x80FF0000},
      {0, 77, 1, 2, 3, 0xFF010203},  // copy: opaque whatever the parameter
      {11, 0, 16, 32, 64, 0x00102040},
      {3, 300, 255, 255, 255, 0xFFFFFFFF},  // the parameter as the draw state clamps it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    SetBlendState(c.mode, c.param);
    SetBrightness(c.red, c.green, c.blue);
    EXPECT_EQ(g_Direct3D.vertexColor, c.color);
  }
}

TEST_F(DrawStates, ColorKeysAndAlphaKinds) {
  Up();
  Surface3DData* textures[3] = {NewTexture(PLAIN_TEXELS, 8, 8), NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8),
                                NewTexture(ALPHA_TEST_TEXELS, 8, 8)};
  for (Surface3DData* t : textures) ASSERT_NE(t, nullptr);
  constexpr uint32_t NONE = 0, SA = PLAT_D3DBLEND_SRCALPHA, ISA = PLAT_D3DBLEND_INVSRCALPHA,
                     ONE = PLAT_D3DBLEND_ONE, ZERO = PLAT_D3DBLEND_ZERO, GT = PLAT_D3DCMP_GREATER,
                     SC = PLAT_D3DBLEND_SRCCOLOR;
  struct Case {
    const char* what;
    TexelKind kind;
    int32_t mode, filter;
    uint32_t flags, zEnable;
    uint32_t colorKey, alphaChannel, alphaTest;  // the requests
    uint32_t alphaTestOn, ref, func, blend, src, dest;  // the device (ref, func: with the test; factors: with blending)
  };
  const Case cases[] = {
      {"colour-keyed, transparent", PLAIN_TEXELS, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, NONE, NONE},
      {"colour-keyed, opaque", PLAIN_TEXELS, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, NONE, NONE},
      {"alpha test, copy, linear", ALPHA_TEST_TEXELS, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0, 1, SA, ISA},
      {"alpha test, copy, point", ALPHA_TEST_TEXELS, 0, 0, 1, 0, 0, 0, 1, 1, 16, GT, 0, NONE, NONE},
      {"alpha test, copy, linear, kept", ALPHA_TEST_TEXELS, 0, 1, 3, 0, 0, 0, 1, 1, 16, GT, 0, NONE, NONE},
      {"alpha test, mode 8, point", ALPHA_TEST_TEXELS, 8, 0, 1, 0, 0, 0, 1, 1, 16, GT, 1, ZERO, ONE},
      {"alpha test, mixed", ALPHA_TEST_TEXELS, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, SA, ISA},
      // Multiply's factors ignore the source alpha: only the test can drop the key texels,
      // under either filter.
      {"alpha test, multiplied, linear", ALPHA_TEST_TEXELS, 4, 1, 1, 0, 0, 0, 1, 1, 16, GT, 1, ZERO, SC},
      {"alpha channel, multiplied", ALPHA_CHANNEL_TEXELS, 4, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, ZERO, SC},
      {"alpha test, opaque", ALPHA_TEST_TEXELS, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, NONE, NONE},
      {"alpha channel, copy", ALPHA_CHANNEL_TEXELS, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, SA, ISA},
      {"alpha channel, mode 8", ALPHA_CHANNEL_TEXELS, 8, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, ZERO, ONE},
      {"alpha channel, added", ALPHA_CHANNEL_TEXELS, 2, 0, 1, 0, 0, 1, 0, 0, 0, 0, 1, SA, ONE},
      // With depth on, transparent texels must write no depth.
      {"alpha channel, copy, depth", ALPHA_CHANNEL_TEXELS, 0, 0, 1, 1, 0, 1, 0, 1, 0, GT, 1, SA, ISA},
      {"colour-keyed, depth", PLAIN_TEXELS, 0, 0, 1, 1, 1, 0, 0, 1, 0, GT, 0, NONE, NONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetDraw(c.mode, 128, c.filter);
    SetDeviceZEnable(Current(), c.zEnable);
    Record().statesDirty = 1;  // as after any request
    ChooseTextureStates(textures[c.kind], c.flags);
    const Device3DRecord& r = Record();
    EXPECT_EQ(r.textureAlphaChannel, c.alphaChannel);
    EXPECT_EQ(r.textureAlphaTest, c.alphaTest);
    EXPECT_EQ(r.texture, SurfaceOf(textures[c.kind]));
    EXPECT_EQ(StageTexture(0), r.texture);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_COLORKEYENABLE), c.colorKey);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHATESTENABLE), c.alphaTestOn);
    if (c.alphaTestOn) {
      EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHAREF), c.ref);
      EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHAFUNC), c.func);
    }
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHABLENDENABLE), c.blend);
    if (c.blend) {
      EXPECT_EQ(DeviceState(PLAT_D3DRS_SRCBLEND), c.src);
      EXPECT_EQ(DeviceState(PLAT_D3DRS_DESTBLEND), c.dest);
    }
    // No depth flag: the draw leaves depth off.
    EXPECT_EQ(r.zEnable, 0u);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ZENABLE), uint32_t(PLAT_D3DZB_FALSE));
  }
}

TEST_F(DrawStates, TheFixedStatesOfADraw) {
  Up();
  const int32_t d = Current();
  Device3DRecord& r = Record();
  PlatD3DDeviceSetRenderState(r.device, PLAT_D3DRS_LIGHTING, 1);
  r.lighting = 1;
  SetDeviceTexturePerspective(d, 1);
  SetDeviceShadeMode(d, PLAT_D3DSHADE_GOURAUD);
  SetDeviceFogEnable(d, 1);
  g_DrawState.filterMode = 1;
  int32_t* settings = g_DrawState.direct3DSettings;
  settings[D3D_SETTING_CULL] = 1;
  settings[D3D_SETTING_DEPTH_ENABLE] = 1;
  settings[D3D_SETTING_DEPTH_WRITE] = 1;
  settings[D3D_SETTING_DEPTH_FUNC] = PLAT_D3DCMP_GREATEREQUAL;
  settings[D3D_SETTING_DEPTH_BIAS] = 2;
  ChooseTextureStates(nullptr, DRAW_STATE_DEPTH);
  const std::pair<PlatD3DRenderState, uint32_t> states[] = {
      {PLAT_D3DRS_LIGHTING, 0},     {PLAT_D3DRS_TEXTUREPERSPECTIVE, 0},
      {PLAT_D3DRS_SHADEMODE, PLAT_D3DSHADE_FLAT}, {PLAT_D3DRS_FOGENABLE, 0},
      {PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_CCW},    {PLAT_D3DRS_ZENABLE, PLAT_D3DZB_TRUE},
      {PLAT_D3DRS_ZWRITEENABLE, 1}, {PLAT_D3DRS_ZFUNC, PLAT_D3DCMP_GREATEREQUAL},
      {PLAT_D3DRS_ZBIAS, 2},
  };
  for (const auto& [state, value] : states) EXPECT_EQ(DeviceState(state), value) << state;
  EXPECT_EQ(r.filterMode, 1u);
  EXPECT_EQ(StageState(0, PLAT_D3DTSS_MAGFILTER), uint32_t(PLAT_D3DTFG_LINEAR));
  // The same draw again sends nothing.
  PlatD3DFakeClearCalls();
  ChooseTextureStates(nullptr, DRAW_STATE_DEPTH);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
  // Without the depth flag depth goes off, after the batch.
  ASSERT_NE(AddBatchVertices(nullptr, DRAW_STATE_DEPTH, PLAT_D3DPT_TRIANGLELIST, 6), nullptr);
  PlatD3DFakeClearCalls();
  ChooseTextureStates(nullptr, 0);
  EXPECT_EQ(CallTexts(), (std::vector<std::string>{CallText(*Last("DrawPrimitive")), RS(PLAT_D3DRS_ZENABLE, 0)}));
  EXPECT_EQ(r.zEnable, 0u);
}

TEST_F(DrawStates, AnotherTextureOfTheSameKindRebindsOneStage) {
  Up();
  struct Case {
    const char* what;
    TexelKind kind;
    bool blendGraph;
    uint32_t stage;
  };
  const Case cases[] = {
      {"plain", PLAIN_TEXELS, false, 0},
      {"alpha channel", ALPHA_CHANNEL_TEXELS, false, 0},
      {"plain over a blend graph", PLAIN_TEXELS, true, 1},
      {"alpha channel over a blend graph", ALPHA_CHANNEL_TEXELS, true, 2},
  };
  const Surface3DData* blend = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  ASSERT_NE(blend, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Surface3DData* first = NewTexture(c.kind, 8, 8);
    const Surface3DData* second = NewTexture(c.kind, 8, 8);
    ASSERT_TRUE(first && second);
    SetDraw(0);
    SetDeviceBlendTexture(Current(), c.blendGraph ? SurfaceOf(blend) : 0, 0, 1);
    ASSERT_NE(AddBatchVertices(first, DRAW_STATE_TEXTURE_ALPHA, PLAT_D3DPT_TRIANGLELIST, 6), nullptr);
    FlushVertexBatch(Current());
    PlatD3DFakeClearCalls();
    ChooseTextureStates(second, DRAW_STATE_TEXTURE_ALPHA);
    EXPECT_EQ(CallTexts(), (std::vector<std::string>{"SetTexture(" + std::to_string(c.stage) + "," +
                                                     std::to_string(SurfaceOf(second)) + ")"}));
    EXPECT_EQ(StageTexture(c.stage), SurfaceOf(second));
    EXPECT_EQ(Record().textureDirty, 0u);
    ExpectDeviceHoldsTheStageCache(Record());
  }
}

TEST_F(DrawStates, TheBlendGraphCut) {
  Up();
  const Surface3DData* blend = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  const Surface3DData* plain = NewTexture(PLAIN_TEXELS, 8, 8);
  const Surface3DData* alpha = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  ASSERT_TRUE(blend && plain && alpha);
  constexpr uint32_t GE = PLAT_D3DCMP_GREATEREQUAL;
  struct Case {
    int32_t range, threshold;
    const Surface3DData* texture;
    uint32_t alphaTestOn, ref, func, blending, factor;
    int32_t op0, op1;
  };
  const Case cases[] = {
      {1, 0, alpha, 1, 1, GE, 0, 0x00FFFFFF, ADD, MOD},
      {1, 0, plain, 1, 0, GE, 0, 0x00FFFFFF, ADD, MOD},
      {0, 128, plain, 1, 128, GE, 0, 0x00FFFFFF, ADD, MOD},
      // s = 512, v = 255.
      {255, 0, plain, 0, 0, 0, 1, 0xFFFFFFFF, ADD, MOD},
      // s = 512 - 257 = 255 below 256: v = 254, subtracted.
      {255, 128, plain, 0, 0, 0, 1, 0x01FFFFFF, SUB, MOD},
      // s = 512 - 128 = 384: v = 128 x 255 / 256 = 127.
      {255, 64, alpha, 0, 0, 0, 1, 0x7FFFFFFF, ADD, MOD},
      // s = 1280 - 642 = 638: v = 638 x 255 / 1024 = 158, 255 - 158 = 97.
      {64, 128, plain, 0, 0, 0, 1, 0x61FFFFFF, SUB, MOD4},
      // s = 1280: v = 256 x 64 / 256.
      {2, 0, plain, 0, 0, 0, 1, 0x40FFFFFF, ADD, MOD4},
      // s = 768: v = 256 x 128 / 256.
      {128, 0, alpha, 0, 0, 0, 1, 0x80FFFFFF, ADD, MOD2},
      // s = 768 - 602 = 166: v = 166 x 255 / 512 = 82, 255 - 82 = 173.
      {65, 200, plain, 0, 0, 0, 1, 0xADFFFFFF, SUB, MOD2},
  };
  SetDraw(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.range << " " << c.threshold);
    SetDeviceBlendTexture(Current(), SurfaceOf(blend), c.threshold, c.range);
    ChooseTextureStates(c.texture, DRAW_STATE_TEXTURE_ALPHA);
    const Device3DRecord& r = Record();
    EXPECT_EQ(r.batchKind, uint32_t(VERTEX_KIND_BLEND));
    EXPECT_EQ(r.suppressDraw, 0u);
    EXPECT_EQ(StageTexture(0), SurfaceOf(blend));
    EXPECT_EQ(StageTexture(c.texture == alpha ? 2 : 1), SurfaceOf(c.texture));
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHATESTENABLE), c.alphaTestOn);
    if (c.alphaTestOn) {
      EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHAREF), c.ref);
      EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHAFUNC), c.func);
    }
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHABLENDENABLE), c.blending);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_TEXTUREFACTOR), c.factor);
    EXPECT_EQ(StageState(0, PLAT_D3DTSS_ALPHAOP), uint32_t(c.op0));
    EXPECT_EQ(StageState(1, PLAT_D3DTSS_ALPHAOP), uint32_t(c.op1));
    // Copy mode blends by the cut's alpha.
    EXPECT_EQ(DeviceState(PLAT_D3DRS_SRCBLEND), uint32_t(PLAT_D3DBLEND_SRCALPHA));
    EXPECT_EQ(DeviceState(PLAT_D3DRS_DESTBLEND), uint32_t(PLAT_D3DBLEND_INVSRCALPHA));
  }
}

TEST_F(DrawStates, WhatDrawsNothingEmptiesItsBatches) {
  Up();
  const Surface3DData* blend = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  const Surface3DData* texture = NewTexture(PLAIN_TEXELS, 8, 8);
  ASSERT_TRUE(blend && texture);
  // Mix mode first: its factors stay where a mode without a row leaves them.
  SetDraw(1, 128);
  AddRectangles(1, texture);
  FlushVertexBatch(Current());
  struct Case {
    const char* what;
    int32_t mode, threshold;
  };
  // Modes outside the factor table draw nothing, as in the software renderer.
  const Case cases[] = {{"threshold 255", 1, 255}, {"mode 12", 12, -1}, {"mode -1", -1, -1}, {"mode 255", 255, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetDraw(c.mode, 128);
    SetDeviceBlendTexture(Current(), c.threshold == -1 ? 0 : SurfaceOf(blend), c.threshold, 1);
    PlatD3DFakeClearCalls();
    AddRectangles(3, texture);
    EXPECT_EQ(Record().suppressDraw, 1u);
    EXPECT_EQ(FlushVertexBatch(Current()), 0);
    EXPECT_EQ(CountOf("DrawPrimitive"), 0);
    EXPECT_EQ(Record().batchCount, 0u);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_SRCBLEND), uint32_t(PLAT_D3DBLEND_SRCALPHA));
    EXPECT_EQ(DeviceState(PLAT_D3DRS_DESTBLEND), uint32_t(PLAT_D3DBLEND_INVSRCALPHA));
  }
  // Back in a mode with a row and below the threshold, the quads are drawn.
  SetDraw(1, 128);
  SetDeviceBlendTexture(Current(), SurfaceOf(blend), 254, 1);
  PlatD3DFakeClearCalls();
  AddRectangles(1, texture);
  FlushVertexBatch(Current());
  EXPECT_EQ(Record().suppressDraw, 0u);
  EXPECT_EQ(CountOf("DrawPrimitive"), 1);
}

TEST_F(DrawStates, UntexturedRows) {
  Up();
  struct Case {
    int32_t mode;
    int32_t colorOp, colorArg1, colorArg2;
    uint32_t blending, src, dest;
  };
  constexpr uint32_t KEEP = 0;
  const Case cases[] = {
      {0, S2, TEX, DIF, 0, KEEP, KEEP},
      {1, S2, TEX, DIF, 1, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_INVSRCALPHA},
      // The plain vertex colour: white inverts the destination.
      {3, S1, DIF, DIF, 1, PLAT_D3DBLEND_INVDESTCOLOR, PLAT_D3DBLEND_ZERO},
      {9, S2, DIF, DIF, 1, PLAT_D3DBLEND_INVDESTCOLOR, PLAT_D3DBLEND_ZERO},
      {10, S1, NDIF, DIF, 1, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_INVSRCALPHA},
      {11, BDA, DIF, TFA, 1, PLAT_D3DBLEND_ZERO, PLAT_D3DBLEND_SRCCOLOR},
      {6, S2, DIF, DIF, 0, KEEP, KEEP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    SetDraw(c.mode, 64);
    PlatD3DFakeClearCalls();
    AddRectangles(1);
    EXPECT_EQ(Record().batchKind, uint32_t(VERTEX_KIND_COLOR));
    EXPECT_EQ(StageState(0, PLAT_D3DTSS_ALPHAOP), uint32_t(S2));
    EXPECT_EQ(StageState(0, PLAT_D3DTSS_ALPHAARG2), uint32_t(DIF));
    EXPECT_EQ(StageState(0, PLAT_D3DTSS_COLOROP), uint32_t(c.colorOp));
    EXPECT_EQ(StageState(0, PLAT_D3DTSS_COLORARG1), uint32_t(c.colorArg1));
    EXPECT_EQ(StageState(0, PLAT_D3DTSS_COLORARG2), uint32_t(c.colorArg2));
    EXPECT_EQ(StageState(1, PLAT_D3DTSS_COLOROP), uint32_t(DIS));
    EXPECT_EQ(StageTexture(0), 0u);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHATESTENABLE), 0u);
    EXPECT_EQ(DeviceState(PLAT_D3DRS_ALPHABLENDENABLE), c.blending);
    if (c.src != KEEP) {
      EXPECT_EQ(DeviceState(PLAT_D3DRS_SRCBLEND), c.src);
      EXPECT_EQ(DeviceState(PLAT_D3DRS_DESTBLEND), c.dest);
    }
    // Kept factors are not sent.
    if (c.src == KEEP) {
      EXPECT_FALSE(Sends(PLAT_D3DRS_SRCBLEND));
      EXPECT_FALSE(Sends(PLAT_D3DRS_DESTBLEND));
    }
    FlushVertexBatch(Current());
  }
}

// A table written from the recipe rule: per row the stages as
// {ALPHAARG1, ALPHAARG2, ALPHAOP, COLORARG1, COLORARG2, COLOROP}.
struct RecipeCase {
  uint32_t k, b, c, a, s;
  std::vector<StageEntry> stages;
};
const std::vector<RecipeCase>& RecipeTable() {
  // Stage 1 of blend kind 1: the texel toward the texture factor by the alpha so far.
  constexpr StageEntry K1 = {CUR, _, S1, CUR, TFA, BCA};
  // The stage of the blend graph, and the stages that scale alpha by specular or diffuse.
  constexpr StageEntry BG = {TEX, TFA, ADD, _, DIF, S2};
  constexpr StageEntry SP = {SPE, CUR, MOD, CUR, _, S1};
  constexpr StageEntry DF = {DIF, CUR, MOD, CUR, _, S1};
  static const std::vector<RecipeCase> table = {
      // k, b, c, a, s
      {0, 0, 0, 0, 0, {{_, DIF, S2, TEX, _, S1}}},
      {0, 0, 0, 0, 1, {{TEX, _, S1, TEX, _, S1}}},
      {0, 0, 0, 0, 2, {{TEX, _, S1, TEX, _, S1}}},
      {0, 0, 0, 1, 0, {{_, DIF, S2, TEX, _, S1}}},
      {0, 0, 0, 1, 1, {{TEX, DIF, MOD, TEX, _, S1}}},
      {0, 0, 0, 1, 2, {{TEX, DIF, MOD, TEX, _, S1}}},
      {0, 0, 1, 0, 0, {{_, DIF, S2, TEX, DIF, MOD}}},
      {0, 0, 1, 0, 1, {{TEX, _, S1, TEX, DIF, MOD}}},
      {0, 0, 1, 0, 2, {{TEX, _, S1, TEX, DIF, MOD}}},
      {0, 0, 1, 1, 0, {{_, DIF, S2, TEX, DIF, MOD}}},
      {0, 0, 1, 1, 1, {{TEX, DIF, MOD, TEX, DIF, MOD}}},
      {0, 0, 1, 1, 2, {{TEX, DIF, MOD, TEX, DIF, MOD}}},
      {1, 0, 0, 0, 0, {{_, DIF, S2, TEX, _, S1}, K1}},
      {1, 0, 0, 0, 1, {{TEX, _, S1, TEX, _, S1}, K1}},
      {1, 0, 0, 0, 2, {{TEX, _, S1, TEX, _, S1}, K1}},
      {1, 0, 0, 1, 0, {{_, DIF, S2, TEX, _, S1}, K1}},
      {1, 0, 0, 1, 1, {{TEX, DIF, MOD, TEX, _, S1}, K1}},
      {1, 0, 0, 1, 2, {{TEX, DIF, MOD, TEX, _, S1}, K1}},
      {1, 0, 1, 0, 0, {{_, DIF, S2, TEX, DIF, MOD}, K1}},
      {1, 0, 1, 0, 1, {{TEX, _, S1, TEX, DIF, MOD}, K1}},
      {1, 0, 1, 0, 2, {{TEX, _, S1, TEX, DIF, MOD}, K1}},
      {1, 0, 1, 1, 0, {{_, DIF, S2, TEX, DIF, MOD}, K1}},
      {1, 0, 1, 1, 1, {{TEX, DIF, MOD, TEX, DIF, MOD}, K1}},
      {1, 0, 1, 1, 2, {{TEX, DIF, MOD, TEX, DIF, MOD}, K1}},
      {2, 0, 0, 0, 0, {{_, DIF, S2, NTEX, _, S1}}},
      {2, 0, 0, 0, 1, {{TEX, _, S1, NTEX, _, S1}}},
      {2, 0, 0, 0, 2, {{TEX, _, S1, NTEX, _, S1}}},
      {2, 0, 0, 1, 0, {{_, DIF, S2, NTEX, _, S1}}},
      {2, 0, 0, 1, 1, {{TEX, DIF, MOD, NTEX, _, S1}}},
      {2, 0, 0, 1, 2, {{TEX, DIF, MOD, NTEX, _, S1}}},
      {2, 0, 1, 0, 0, {{_, DIF, S2, NTEX, DIF, MOD}}},
      {2, 0, 1, 0, 1, {{TEX, _, S1, NTEX, DIF, MOD}}},
      {2, 0, 1, 0, 2, {{TEX, _, S1, NTEX, DIF, MOD}}},
      {2, 0, 1, 1, 0, {{_, DIF, S2, NTEX, DIF, MOD}}},
      {2, 0, 1, 1, 1, {{TEX, DIF, MOD, NTEX, DIF, MOD}}},
      {2, 0, 1, 1, 2, {{TEX, DIF, MOD, NTEX, DIF, MOD}}},
      {0, 1, 0, 0, 0, {BG, {CUR, DIF, MOD, TEX, _, S1}}},
      {0, 1, 0, 0, 1, {BG, SP, {TEX, CUR, MOD, TEX, _, S1}}},
      {0, 1, 0, 0, 2, {BG, {TEX, CUR, MOD, TEX, _, S1}}},
      {0, 1, 0, 1, 0, {BG, {DIF, CUR, MOD, TEX, _, S1}}},
      {0, 1, 0, 1, 1, {BG, SP, {TEX, CUR, MOD, TEX, _, S1}, DF}},
      {0, 1, 0, 1, 2, {BG, {TEX, CUR, MOD, TEX, _, S1}, DF}},
      {0, 1, 1, 0, 0, {BG, {CUR, DIF, MOD, TEX, DIF, MOD}}},
      {0, 1, 1, 0, 1, {BG, SP, {TEX, CUR, MOD, TEX, DIF, MOD}}},
      {0, 1, 1, 0, 2, {BG, {TEX, CUR, MOD, TEX, DIF, MOD}}},
      {0, 1, 1, 1, 0, {BG, {DIF, CUR, MOD, TEX, DIF, MOD}}},
      {0, 1, 1, 1, 1, {BG, SP, {TEX, CUR, MOD, TEX, DIF, MOD}, DF}},
      {0, 1, 1, 1, 2, {BG, {TEX, CUR, MOD, TEX, DIF, MOD}, DF}},
  };
  return table;
}

bool SameEntry(const StageEntry& x, const StageEntry& y) {
  return x.alphaArg1 == y.alphaArg1 && x.alphaArg2 == y.alphaArg2 && x.alphaOp == y.alphaOp &&
         x.colorArg1 == y.colorArg1 && x.colorArg2 == y.colorArg2 && x.colorOp == y.colorOp;
}

TEST(StageRecipe, EveryRowMatchesTheRule) {
  for (const RecipeCase& c : RecipeTable()) {
    SCOPED_TRACE(testing::Message() << "k " << c.k << " b " << c.b << " c " << c.c << " a " << c.a << " s " << c.s);
    const StageRow& row = StageRecipe(c.k, c.b, c.c, c.a, c.s);
    ASSERT_EQ(row.count, c.stages.size());
    for (size_t i = 0; i < c.stages.size(); i++) EXPECT_TRUE(SameEntry(row.stages[i], c.stages[i])) << "stage " << i;
    EXPECT_TRUE(SameEntry(row.stages[row.count], StageEntry{_, _, DIS, _, _, DIS}));
  }
  // With a blend texture the blend kind of the mode does not count.
  for (uint32_t k = 1; k < 3; k++) EXPECT_EQ(&StageRecipe(k, 1, 1, 0, 2), &StageRecipe(0, 1, 1, 0, 2));
}

TEST_F(DrawStates, AForcedApplySendsTheWholeSetInOrder) {
  Up();
  const Surface3DData* blend = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  const Surface3DData* texture = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  ASSERT_TRUE(blend && texture);
  const std::string B = std::to_string(SurfaceOf(blend)), T = std::to_string(SurfaceOf(texture));
  Device3DRecord& r = Record();
  const int32_t d = Current();
  // From one stage to four (mix mode, alpha channel, blend graph): the filters reach
  // every stage now in use before the states go.
  SetDraw(1, 128, 1);
  ChooseTextureStates(nullptr, 0);
  ASSERT_EQ(r.stagesInUse, 1u);
  SetDeviceBlendTexture(d, SurfaceOf(blend), 0, 255);
  PlatD3DFakeClearCalls();
  ChooseTextureStates(texture, DRAW_STATE_TEXTURE_ALPHA);
  EXPECT_EQ(r.stagesInUse, 4u);
  std::vector<std::string> calls = CallTexts();
  ASSERT_GE(calls.size(), 8u);
  calls.resize(8);
  std::vector<std::string> filters;
  for (uint32_t s = 0; s < 4; s++)
    for (PlatD3DTextureStageState f : {PLAT_D3DTSS_MAGFILTER, PLAT_D3DTSS_MINFILTER}) filters.push_back(TSS(s, f, 2));
  EXPECT_EQ(calls, filters);
  ExpectDeviceHoldsTheStageCache(r);

  PlatD3DFakeClearCalls();
  r.forceStates = 1;
  EXPECT_EQ(ApplyDrawStates(d), 0);
  r.forceStates = 0;
  const auto stage = [](uint32_t s, std::vector<std::pair<PlatD3DTextureStageState, int32_t>> values) {
    std::vector<std::string> out;
    for (const auto& [state, value] : values) out.push_back(TSS(s, state, uint32_t(value)));
    return out;
  };
  std::vector<std::string> expected = {
      RS(PLAT_D3DRS_DIFFUSEMATERIALSOURCE, PLAT_D3DMCS_COLOR1),
      RS(PLAT_D3DRS_SPECULARMATERIALSOURCE, PLAT_D3DMCS_COLOR2),
      RS(PLAT_D3DRS_SPECULARENABLE, 0),
      RS(PLAT_D3DRS_ALPHAFUNC, r.renderStates[RS_CACHE_ALPHAFUNC]),
      RS(PLAT_D3DRS_ALPHAREF, r.renderStates[RS_CACHE_ALPHAREF]),
      RS(PLAT_D3DRS_ALPHATESTENABLE, 0),
      RS(PLAT_D3DRS_ALPHABLENDENABLE, 1),
      RS(PLAT_D3DRS_TEXTUREFACTOR, 0xFFFFFFFF),
      RS(PLAT_D3DRS_SRCBLEND, PLAT_D3DBLEND_SRCALPHA),
      RS(PLAT_D3DRS_DESTBLEND, PLAT_D3DBLEND_INVSRCALPHA),
      "SetTexture(0," + B + ")"};
  for (const std::vector<std::string>& part : std::initializer_list<std::vector<std::string>>{
           stage(0, {{PLAT_D3DTSS_ALPHAOP, ADD}, {PLAT_D3DTSS_ALPHAARG1, TEX}, {PLAT_D3DTSS_ALPHAARG2, TFA},
                  {PLAT_D3DTSS_COLOROP, S2}, {PLAT_D3DTSS_COLORARG2, DIF}}),
        {"SetTexture(1,0)"},
        stage(1, {{PLAT_D3DTSS_ALPHAOP, MOD}, {PLAT_D3DTSS_ALPHAARG1, SPE}, {PLAT_D3DTSS_ALPHAARG2, CUR},
                  {PLAT_D3DTSS_COLOROP, S1}, {PLAT_D3DTSS_COLORARG1, CUR}}),
        {"SetTexture(2," + T + ")"},
        stage(2, {{PLAT_D3DTSS_ALPHAOP, MOD}, {PLAT_D3DTSS_ALPHAARG1, TEX}, {PLAT_D3DTSS_ALPHAARG2, CUR},
                  {PLAT_D3DTSS_COLOROP, S1}, {PLAT_D3DTSS_COLORARG1, TEX}}),
        {"SetTexture(3,0)"},
        stage(3, {{PLAT_D3DTSS_ALPHAOP, MOD}, {PLAT_D3DTSS_ALPHAARG1, DIF}, {PLAT_D3DTSS_ALPHAARG2, CUR},
                  {PLAT_D3DTSS_COLOROP, S1}, {PLAT_D3DTSS_COLORARG1, CUR}}),
        {"SetTexture(4,0)"}, stage(4, {{PLAT_D3DTSS_ALPHAOP, DIS}, {PLAT_D3DTSS_COLOROP, DIS}})})
    expected.insert(expected.end(), part.begin(), part.end());
  EXPECT_EQ(CallTexts(), expected);

  // Copy mode without a texture keeps the blend factors: not sent, but sent again from
  // the cache when forced.
  SetDraw(0);
  SetDeviceBlendTexture(d, 0, -1, -1);
  ChooseTextureStates(nullptr, 0);
  PlatD3DFakeClearCalls();
  r.statesDirty = 1;
  ApplyDrawStates(d);
  EXPECT_EQ(CountOf("SetRenderState"), 0);
  r.forceStates = 1;
  ApplyDrawStates(d);
  r.forceStates = 0;
  calls = CallTexts();
  ASSERT_GE(calls.size(), 10u);
  EXPECT_EQ(calls[8], RS(PLAT_D3DRS_SRCBLEND, PLAT_D3DBLEND_SRCALPHA));
  EXPECT_EQ(calls[9], RS(PLAT_D3DRS_DESTBLEND, PLAT_D3DBLEND_INVSRCALPHA));
}

TEST_F(DrawStates, TheDeviceHoldsWhatTheCacheSaysAfterItIsMadeAgain) {
  Up();
  Surface3DData* blend = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  Surface3DData* plain = NewTexture(PLAIN_TEXELS, 8, 8);
  Surface3DData* alpha = NewTexture(ALPHA_CHANNEL_TEXELS, 8, 8);
  ASSERT_TRUE(blend && plain && alpha);
  const int32_t d = Current();
  struct Case {
    const char* what;
    Surface3DData* texture;
    int32_t mode;
    bool madeAgain;  // the device released and made again first
  };
  const Case cases[] = {
      // Stage 1 modulates by the diffuse alpha, which a new device has as its default
      // second argument in no stage.
      {"a new device, plain texture", plain, 0, false},
      {"four stages", alpha, 1, false},
      {"four stages on a device made again", alpha, 1, true},
      {"two stages", plain, 0, false},
      {"then four on a device made again", alpha, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.madeAgain) {
      ASSERT_EQ(ReleaseDirect3DObject(), 0);
      ASSERT_EQ(AcquireDirect3DObject(), 0);
    }
    SetDraw(c.mode, 128);
    SetDeviceBlendTexture(d, SurfaceOf(blend), 0, 255);
    ChooseTextureStates(c.texture, DRAW_STATE_TEXTURE_ALPHA);
    ExpectDeviceHoldsTheStageCache(Record());
    const StageRow& row = StageRecipe(0, 1, 0, c.mode != 0, c.texture == alpha ? 1 : 0);
    for (uint32_t s = 0; s < row.count; s++)
      if (row.stages[s].alphaArg2 != _) {
        EXPECT_EQ(StageState(s, PLAT_D3DTSS_ALPHAARG2), uint32_t(row.stages[s].alphaArg2)) << "stage " << s;
      }
  }
}

TEST_F(DrawStates, APendingBatchIsSentBeforeTheStatesChange) {
  Up();
  const Surface3DData* texture = NewTexture(PLAIN_TEXELS, 8, 8);
  ASSERT_NE(texture, nullptr);
  AddRectangles(2, texture);
  Device3DRecord& r = Record();
  ASSERT_EQ(r.batchKind, uint32_t(VERTEX_KIND_TEXTURED));
  // Requests changed behind the recorders' back, which would have sent the batch.
  r.texture = 0;
  r.statesDirty = 1;
  PlatD3DFakeClearCalls();
  EXPECT_EQ(ApplyDrawStates(Current()), 0);
  const PlatD3DFakeCall* draw = Last("DrawPrimitive");
  ASSERT_NE(draw, nullptr);
  EXPECT_EQ(CallTexts().front(), CallText(*draw));
  EXPECT_EQ(draw->args[2], PLAT_D3DFVF_TEXTUREDVERTEX);
  EXPECT_EQ(draw->args[3], 12u);
  EXPECT_EQ(r.batchKind, uint32_t(VERTEX_KIND_COLOR));
  EXPECT_EQ(r.batchCount, 0u);
  EXPECT_EQ(r.batchWrite, r.vertexBuffers[VERTEX_KIND_COLOR]);
  // Nothing to do: -1, nothing sent.
  PlatD3DFakeClearCalls();
  EXPECT_EQ(ApplyDrawStates(Current()), -1);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
}

}  // namespace
