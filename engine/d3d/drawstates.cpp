// The engine's draw state as Direct3D states: the vertex colour, the requests a draw
// makes of its device (texture, alpha kind, modulation, depth, filters) and the render
// and texture-stage states that carry them out, sent only where they differ from the
// device's cache. A blend graph arrives as a second texture whose alpha cuts the drawn
// image at a threshold, with a soft edge as wide as the range.
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"

#include <array>
#include <initializer_list>

const BlendFactorRow kBlendFactorTable[BLEND_FACTOR_ROWS] = {
    {BLEND_FACTOR_KEEP, BLEND_FACTOR_KEEP, 0},
    {PLAT_D3DBLEND_INVSRCALPHA, PLAT_D3DBLEND_SRCALPHA, 0},
    {PLAT_D3DBLEND_ONE, PLAT_D3DBLEND_SRCALPHA, 0},
    {PLAT_D3DBLEND_ZERO, PLAT_D3DBLEND_INVDESTCOLOR, 0},
    {PLAT_D3DBLEND_SRCCOLOR, PLAT_D3DBLEND_ZERO, 0},
    {PLAT_D3DBLEND_ONE, PLAT_D3DBLEND_SRCALPHA, 0},
    {BLEND_FACTOR_KEEP, BLEND_FACTOR_KEEP, 0},
    {BLEND_FACTOR_KEEP, BLEND_FACTOR_KEEP, 0},
    {PLAT_D3DBLEND_ONE, PLAT_D3DBLEND_ZERO, 0},
    {PLAT_D3DBLEND_ZERO, PLAT_D3DBLEND_INVDESTCOLOR, 0},
    {PLAT_D3DBLEND_INVSRCALPHA, PLAT_D3DBLEND_SRCALPHA, 2},
    {PLAT_D3DBLEND_SRCCOLOR, PLAT_D3DBLEND_ZERO, 1},
};

int UpdateDrawVertexColor() {
  const DrawState& s = g_DrawState;
  const uint32_t alpha = s.blendMode != BLEND_COPY ? uint32_t(s.blendParam) & 0xFF : 255;
  g_Direct3D.vertexColor = alpha << 24 | BrightnessWord(s);
  return 0;
}

namespace {

// ---- the stage rows --------------------------------------------------------------------

constexpr int32_t KEEP = STAGE_VALUE_KEEP;
constexpr int32_t DIFFUSE = PLAT_D3DTA_DIFFUSE, CURRENT = PLAT_D3DTA_CURRENT, TEXTURE = PLAT_D3DTA_TEXTURE,
                  TFACTOR = PLAT_D3DTA_TFACTOR, SPECULAR = PLAT_D3DTA_SPECULAR,
                  COMPLEMENT = PLAT_D3DTA_COMPLEMENT;
constexpr int32_t DISABLE = PLAT_D3DTOP_DISABLE, SELECTARG1 = PLAT_D3DTOP_SELECTARG1,
                  SELECTARG2 = PLAT_D3DTOP_SELECTARG2, MODULATE = PLAT_D3DTOP_MODULATE, ADD = PLAT_D3DTOP_ADD;

constexpr StageEntry kKeepEntry{KEEP, KEEP, KEEP, KEEP, KEEP, KEEP};

constexpr StageEntry Alpha(int32_t op, int32_t arg1, int32_t arg2) { return {arg1, arg2, op, KEEP, KEEP, KEEP}; }

constexpr StageEntry WithColor(StageEntry e, int32_t op, int32_t arg1, int32_t arg2) {
  e.colorOp = op;
  e.colorArg1 = arg1;
  e.colorArg2 = arg2;
  return e;
}

// The texture colour, as is or times the vertex colour (inverted for blend kind 2).
constexpr StageEntry WithTextureColor(StageEntry e, uint32_t k, uint32_t c) {
  const int32_t texture = k == 2 ? TEXTURE | COMPLEMENT : TEXTURE;
  return c ? WithColor(e, MODULATE, texture, DIFFUSE) : WithColor(e, SELECTARG1, texture, KEEP);
}

// A stage without a texture that scales the alpha so far and passes the colour on.
constexpr StageEntry ScaleAlpha(int32_t by) {
  return WithColor(Alpha(MODULATE, by, CURRENT), SELECTARG1, CURRENT, KEEP);
}

constexpr StageRow Row(std::initializer_list<StageEntry> stages) {
  StageRow row{};
  for (StageEntry& e : row.stages) e = kKeepEntry;
  for (const StageEntry& e : stages) row.stages[row.count++] = e;
  row.stages[row.count] = {KEEP, KEEP, DISABLE, KEEP, KEEP, DISABLE};
  return row;
}

constexpr StageRow RecipeRow(uint32_t k, uint32_t b, uint32_t c, uint32_t a, uint32_t s) {
  if (!b) {
    const StageEntry alpha = s == 0 ? Alpha(SELECTARG2, KEEP, DIFFUSE)
                             : a == 0 ? Alpha(SELECTARG1, TEXTURE, KEEP)
                                      : Alpha(MODULATE, TEXTURE, DIFFUSE);
    const StageEntry texture = WithTextureColor(alpha, k, c);
    if (k != 1) return Row({texture});
    return Row({texture, WithColor(Alpha(SELECTARG1, CURRENT, KEEP), PLAT_D3DTOP_BLENDCURRENTALPHA, CURRENT, TFACTOR)});
  }
  // Stage 0 reads the blend graph: its alpha plus the texture factor's (minus it, where
  // the cut says so).
  const StageEntry blend = WithColor(Alpha(ADD, TEXTURE, TFACTOR), SELECTARG2, KEEP, DIFFUSE);
  const StageEntry textureTimesSoFar = WithTextureColor(Alpha(MODULATE, TEXTURE, CURRENT), 0, c);
  switch (s) {
    case 0: {
      const StageEntry alpha = a ? Alpha(MODULATE, DIFFUSE, CURRENT) : Alpha(MODULATE, CURRENT, DIFFUSE);
      return Row({blend, WithTextureColor(alpha, 0, c)});
    }
    case 1:
      // The texture goes to stage 2, behind a stage without one that passes the blend
      // alpha on (times the vertices' specular alpha, always 255).
      if (a) return Row({blend, ScaleAlpha(SPECULAR), textureTimesSoFar, ScaleAlpha(DIFFUSE)});
      return Row({blend, ScaleAlpha(SPECULAR), textureTimesSoFar});
    default:
      if (a) return Row({blend, textureTimesSoFar, ScaleAlpha(DIFFUSE)});
      return Row({blend, textureTimesSoFar});
  }
}

// Rows of blend kind k without a blend texture at ((k * 2 + c) * 2 + a) * 3 + s, then the
// rows with one (blend kind 0 only) at 36 + (c * 2 + a) * 3 + s.
constexpr size_t kPlainRows = 36;
constexpr std::array<StageRow, 48> kStageRecipeTable = [] {
  std::array<StageRow, 48> table{};
  for (uint32_t c = 0; c < 2; c++)
    for (uint32_t a = 0; a < 2; a++)
      for (uint32_t s = 0; s < 3; s++) {
        for (uint32_t k = 0; k < 3; k++) table[((k * 2 + c) * 2 + a) * 3 + s] = RecipeRow(k, 0, c, a, s);
        table[kPlainRows + (c * 2 + a) * 3 + s] = RecipeRow(0, 1, c, a, s);
      }
  return table;
}();

// The row of an untextured draw: the vertex colour, plain, mixed toward the texture factor
// or inverted, with the vertex alpha.
StageRow UntexturedRow(int32_t mode, uint32_t blendKind) {
  const StageEntry alpha = Alpha(SELECTARG2, KEEP, DIFFUSE);
  if (mode == BLEND_SUBTRACT) return Row({WithColor(alpha, SELECTARG1, DIFFUSE, KEEP)});
  switch (blendKind) {
    case 1: return Row({WithColor(alpha, PLAT_D3DTOP_BLENDDIFFUSEALPHA, DIFFUSE, TFACTOR)});
    case 2: return Row({WithColor(alpha, SELECTARG1, DIFFUSE | COMPLEMENT, KEEP)});
    default: return Row({WithColor(alpha, SELECTARG2, KEEP, DIFFUSE)});
  }
}

// ---- what ApplyDrawStates sends ----------------------------------------------------------

struct WantedStates {
  uint32_t states[RS_CACHE_COUNT];
  StageRow row;
  PlatDDSurface textures[DEVICE3D_STAGES];
};

// The render states in the order they are sent.
constexpr struct {
  uint32_t cache;
  PlatD3DRenderState state;
} kSendOrder[RS_CACHE_COUNT] = {
    {RS_CACHE_DIFFUSEMATERIALSOURCE, PLAT_D3DRS_DIFFUSEMATERIALSOURCE},
    {RS_CACHE_SPECULARMATERIALSOURCE, PLAT_D3DRS_SPECULARMATERIALSOURCE},
    {RS_CACHE_SPECULARENABLE, PLAT_D3DRS_SPECULARENABLE},
    {RS_CACHE_ALPHAFUNC, PLAT_D3DRS_ALPHAFUNC},
    {RS_CACHE_ALPHAREF, PLAT_D3DRS_ALPHAREF},
    {RS_CACHE_ALPHATESTENABLE, PLAT_D3DRS_ALPHATESTENABLE},
    {RS_CACHE_ALPHABLENDENABLE, PLAT_D3DRS_ALPHABLENDENABLE},
    {RS_CACHE_TEXTUREFACTOR, PLAT_D3DRS_TEXTUREFACTOR},
    {RS_CACHE_SRCBLEND, PLAT_D3DRS_SRCBLEND},
    {RS_CACHE_DESTBLEND, PLAT_D3DRS_DESTBLEND},
};

// A stage value the cache does not know: no wanted value equals it.
constexpr uint16_t kUnknownStageValue = 0xFFFF;

uint32_t AlphaKind(const Device3DRecord& r) { return r.textureAlphaChannel ? 1 : r.textureAlphaTest ? 2 : 0; }

void SetAlphaTest(WantedStates& w, uint32_t ref, uint32_t func) {
  w.states[RS_CACHE_ALPHATESTENABLE] = 1;
  w.states[RS_CACHE_ALPHAREF] = ref;
  w.states[RS_CACHE_ALPHAFUNC] = func;
}

void SetAlphaFactors(WantedStates& w) {
  w.states[RS_CACHE_DESTBLEND] = PLAT_D3DBLEND_INVSRCALPHA;
  w.states[RS_CACHE_SRCBLEND] = PLAT_D3DBLEND_SRCALPHA;
}

// The blend graph's cut: with a range of 1 a hard alpha test at the threshold; wider, the
// blend alpha moved by the texture factor's and scaled by 4, 2 or 1 in stage 1, so that
// the edge runs over about range / 255 of the blend graph's alpha.
void CutByBlendGraph(WantedStates& w, const Device3DRecord& r) {
  const int32_t t = r.blendThreshold, range = r.blendRange;
  if (range <= 1) {
    SetAlphaTest(w, uint32_t(t == 0 && AlphaKind(r) != 0 ? 1 : t), PLAT_D3DCMP_GREATEREQUAL);
    w.states[RS_CACHE_ALPHABLENDENABLE] = 0;
    w.states[RS_CACHE_TEXTUREFACTOR] = 0x00FFFFFF;
    return;
  }
  w.states[RS_CACHE_ALPHATESTENABLE] = 0;
  w.states[RS_CACHE_ALPHABLENDENABLE] = 1;
  const int32_t scale = range <= 64 ? 1280 : range <= 128 ? 768 : 512;
  const int32_t top = range <= 64 ? 1024 : range <= 128 ? 512 : 256;
  const int32_t width = range <= 64 ? 64 : range <= 128 ? 128 : 255;
  w.row.stages[1].alphaOp = range <= 64   ? PLAT_D3DTOP_MODULATE4X
                            : range <= 128 ? PLAT_D3DTOP_MODULATE2X
                                           : PLAT_D3DTOP_MODULATE;
  const int32_t s = scale - t * scale / 255;
  if (s < top) {
    const int32_t v = s * 255 / top;
    w.states[RS_CACHE_TEXTUREFACTOR] = uint32_t(255 - v) << 24 | 0xFFFFFF;
    w.row.stages[0].alphaOp = PLAT_D3DTOP_SUBTRACT;
  } else {
    const int32_t v = (s - top) * width / 256;
    w.states[RS_CACHE_TEXTUREFACTOR] = uint32_t(v) << 24 | 0xFFFFFF;
  }
}

// The states the requests stand for; sets batchKind (on an empty batch) and suppressDraw.
void ChooseWantedStates(Device3DRecord& r, WantedStates& w) {
  for (uint32_t i = 0; i < RS_CACHE_COUNT; i++) w.states[i] = r.renderStates[i];
  // A mode without a row draws nothing, as in the software renderer; its factors stay.
  const bool known = r.blendMode >= 0 && r.blendMode < BLEND_FACTOR_ROWS;
  const BlendFactorRow factors = known ? kBlendFactorTable[r.blendMode] : BlendFactorRow{};
  const bool blending = r.blendMode != BLEND_COPY && r.blendMode != 6;
  if (factors.destBlend != BLEND_FACTOR_KEEP) w.states[RS_CACHE_DESTBLEND] = factors.destBlend;
  if (factors.srcBlend != BLEND_FACTOR_KEEP) w.states[RS_CACHE_SRCBLEND] = factors.srcBlend;
  w.states[RS_CACHE_DIFFUSEMATERIALSOURCE] = PLAT_D3DMCS_COLOR1;
  w.states[RS_CACHE_SPECULARMATERIALSOURCE] = PLAT_D3DMCS_COLOR2;
  w.states[RS_CACHE_SPECULARENABLE] = 0;
  for (PlatDDSurface& t : w.textures) t = 0;
  r.suppressDraw = known ? 0 : 1;

  if (!r.texture) {
    SetBatchKind(&r, VERTEX_KIND_COLOR);
    w.row = UntexturedRow(r.blendMode, factors.blendKind);
    // The mix toward the texture factor takes its colour, white in every factor sent; only
    // the cache of a new device holds another (0), which would mix toward black.
    if (factors.blendKind == 1 && (w.states[RS_CACHE_TEXTUREFACTOR] & 0xFFFFFF) != 0xFFFFFF)
      w.states[RS_CACHE_TEXTUREFACTOR] = 0xFFFFFFFF;
    w.states[RS_CACHE_ALPHATESTENABLE] = 0;
    w.states[RS_CACHE_ALPHABLENDENABLE] = blending ? 1 : 0;
    return;
  }
  const uint32_t alphaKind = AlphaKind(r);
  if (!r.blendTexture) {
    SetBatchKind(&r, VERTEX_KIND_TEXTURED);
    w.textures[0] = r.texture;
    w.row = StageRecipe(factors.blendKind, 0, r.modulateColor, r.modulateAlpha, alphaKind);
    w.states[RS_CACHE_TEXTUREFACTOR] = 0xFFFFFFFF;
    if (r.textureAlphaTest) {
      SetAlphaTest(w, 16, PLAT_D3DCMP_GREATER);
    } else {
      // With depth on, fully transparent texels must not write depth.
      if (r.zEnable) SetAlphaTest(w, 0, PLAT_D3DCMP_GREATER);
      else w.states[RS_CACHE_ALPHATESTENABLE] = 0;
      if (r.textureAlphaChannel && !blending) SetAlphaFactors(w);
    }
    w.states[RS_CACHE_ALPHABLENDENABLE] = r.textureAlphaChannel || blending ? 1 : 0;
    return;
  }
  SetBatchKind(&r, VERTEX_KIND_BLEND);
  if (r.blendThreshold == 255) r.suppressDraw = 1;
  w.textures[0] = r.blendTexture;
  w.textures[r.textureAlphaChannel ? 2 : 1] = r.texture;
  w.row = StageRecipe(0, 1, r.modulateColor, r.modulateAlpha, alphaKind);
  w.states[RS_CACHE_TEXTUREFACTOR] = 0xFFFFFFFF;
  if (!blending) SetAlphaFactors(w);
  CutByBlendGraph(w, r);
}

void SendRenderStates(Device3DRecord& r, const WantedStates& w) {
  for (const auto& [cache, state] : kSendOrder) {
    if (!r.forceStates && r.renderStates[cache] == w.states[cache]) continue;
    PlatD3DDeviceSetRenderState(r.device, state, w.states[cache]);
    r.renderStates[cache] = w.states[cache];
  }
}

void SendStages(Device3DRecord& r, const WantedStates& w) {
  const StageRow& row = w.row;
  const uint32_t entries = row.count < DEVICE3D_STAGES ? row.count + 1 : DEVICE3D_STAGES;
  uint32_t s = 0;
  for (; s < entries; s++) {
    if (s >= 2 && row.stages[s - 1].alphaOp == DISABLE) break;
    StageCacheEntry& cache = r.stageCache[s];
    if (r.forceStates || cache.texture != w.textures[s]) {
      PlatD3DDeviceSetTexture(r.device, s, w.textures[s]);
      cache.texture = w.textures[s];
    }
    const StageEntry& e = row.stages[s];
    const struct {
      int32_t value;
      uint16_t* cached;
      PlatD3DTextureStageState state;
    } values[] = {
        {e.alphaOp, &cache.alphaOp, PLAT_D3DTSS_ALPHAOP},       {e.alphaArg1, &cache.alphaArg1, PLAT_D3DTSS_ALPHAARG1},
        {e.alphaArg2, &cache.alphaArg2, PLAT_D3DTSS_ALPHAARG2}, {e.colorOp, &cache.colorOp, PLAT_D3DTSS_COLOROP},
        {e.colorArg1, &cache.colorArg1, PLAT_D3DTSS_COLORARG1}, {e.colorArg2, &cache.colorArg2, PLAT_D3DTSS_COLORARG2},
    };
    for (const auto& v : values) {
      if (v.value == KEEP) {
        // A forced send meets a device made anew, whose value here is its own default
        // rather than what the cache remembers.
        if (r.forceStates) *v.cached = kUnknownStageValue;
        continue;
      }
      if (!r.forceStates && *v.cached == uint16_t(v.value)) continue;
      PlatD3DDeviceSetTextureStageState(r.device, s, v.state, uint32_t(v.value));
      *v.cached = uint16_t(v.value);
    }
  }
  if (!r.forceStates) return;
  for (; s < DEVICE3D_STAGES; s++) {
    StageCacheEntry& cache = r.stageCache[s];
    for (uint16_t* v : {&cache.alphaArg1, &cache.alphaArg2, &cache.alphaOp, &cache.colorArg1, &cache.colorArg2,
                        &cache.colorOp})
      *v = kUnknownStageValue;
  }
}

}  // namespace

const StageRow& StageRecipe(uint32_t blendKind, uint32_t blendTexture, uint32_t modulateColor,
                            uint32_t modulateAlpha, uint32_t alphaKind) {
  const uint32_t c = modulateColor ? 1 : 0, a = modulateAlpha ? 1 : 0, s = alphaKind < 2 ? alphaKind : 2;
  if (blendTexture) return kStageRecipeTable[kPlainRows + (c * 2 + a) * 3 + s];
  const uint32_t k = blendKind < 2 ? blendKind : 2;
  return kStageRecipeTable[((k * 2 + c) * 2 + a) * 3 + s];
}

void ChooseTextureStates(const Surface3DData* texture, uint32_t flags) {
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return;
  const DrawState& ds = g_DrawState;
  if (r->lighting == 1) {
    PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_LIGHTING, 0);
    r->lighting = 0;
  }
  if (r->texturePerspective != 0) SetDeviceTexturePerspective(device, 0);

  const SurfaceData* surface = texture ? LookupSurfaceData(texture->surface) : nullptr;
  uint32_t colorKey = 0, alphaChannel = 0, alphaTest = 0;
  if (surface && (flags & DRAW_STATE_TEXTURE_ALPHA)) {
    const uint32_t ownChannel = surface->flags.alpha ? 1 : 0, ownTest = surface->flags.alphaTest ? 1 : 0;
    if (!ownChannel && !ownTest) {
      colorKey = 1;
    } else if (ds.blendMode == BLEND_MULTIPLY && !ownChannel) {
      // Multiply's factors never read the source alpha, so blending cannot hide the key
      // texels (black, alpha 0) as it does in the other modes: they would multiply the
      // target to black. The alpha test drops them, as the software renderer skips them.
      alphaTest = 1;
    } else if (ds.blendMode != BLEND_COPY && ds.blendMode != 8) {
      alphaChannel = 1;
    } else if (!(flags & DRAW_STATE_KEEP_ALPHA_TEST) && ds.filterMode == 1) {
      // A hard alpha test would show the filter's blurred edge as a fringe.
      alphaChannel = 1;
    } else {
      alphaChannel = ownChannel;
      alphaTest = ownTest;
    }
  }
  const uint32_t modulateColor = (flags & DRAW_STATE_MODULATE_COLOR) || BrightnessWord(ds) != 0xFFFFFF ? 1 : 0;
  // Multiply ignores its parameter (as in software); the key's alpha test must see the
  // texture's alpha alone, not scaled by the parameter in the vertex alpha.
  const uint32_t modulateAlpha = ds.blendMode != BLEND_COPY && !(ds.blendMode == BLEND_MULTIPLY && alphaTest) ? 1 : 0;
  SetDeviceModulateColor(device, modulateColor);
  SetDeviceModulateAlpha(device, modulateAlpha);
  SetDeviceTexture(device, surface ? surface->surface : 0);
  SetDeviceBlendRequest(device, ds.blendMode, alphaChannel, alphaTest);
  if (r->statesDirty || r->textureDirty) ApplyDrawStates(device);

  SetDeviceColorKeyEnable(device, colorKey);
  SetDeviceShadeMode(device, PLAT_D3DSHADE_FLAT);
  SetDeviceFilterMode(device, uint32_t(ds.filterMode));
  SetDeviceCullMode(device, uint32_t(ds.direct3DSettings[D3D_SETTING_CULL]));
  if (flags & DRAW_STATE_DEPTH) {
    SetDeviceZEnable(device, uint32_t(ds.direct3DSettings[D3D_SETTING_DEPTH_ENABLE]));
    SetDeviceZWriteEnable(device, uint32_t(ds.direct3DSettings[D3D_SETTING_DEPTH_WRITE]));
    SetDeviceZFunc(device, uint32_t(ds.direct3DSettings[D3D_SETTING_DEPTH_FUNC]));
    SetDeviceZBias(device, uint32_t(ds.direct3DSettings[D3D_SETTING_DEPTH_BIAS]));
  } else if (r->zEnable != 0) {
    FlushVertexBatch(device);
    PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_ZENABLE, PLAT_D3DZB_FALSE);
    r->zEnable = 0;
  }
  if (r->fogEnable != 0) SetDeviceFogEnable(device, 0);
}

int ApplyDrawStates(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates && !r->statesDirty && !r->textureDirty) return -1;
  // Batched vertices are drawn with the states, texture and vertex kind they were added
  // under, whoever changed the requests since.
  if (r->batchCount > 0 || r->asideCount > 0) FlushVertexBatch(device);
  if (!r->forceStates && !r->statesDirty) {
    // Only the drawn texture moved: rebind its stage, leave the chain alone.
    const uint32_t stage = !r->blendTexture ? 0 : r->textureAlphaChannel ? 2 : 1;
    PlatD3DDeviceSetTexture(r->device, stage, r->texture);
    r->stageCache[stage].texture = r->texture;
    r->textureDirty = 0;
    return 0;
  }
  r->statesDirty = 0;
  r->textureDirty = 0;
  WantedStates wanted;
  ChooseWantedStates(*r, wanted);
  if (wanted.row.count != r->stagesInUse) {
    // The filters reach every stage now in use.
    r->stagesInUse = wanted.row.count;
    const uint32_t forced = r->forceStates;
    r->forceStates = 1;
    SetDeviceFilterMode(device, r->filterMode);
    r->forceStates = forced;
  }
  SendRenderStates(*r, wanted);
  SendStages(*r, wanted);
  return 0;
}
