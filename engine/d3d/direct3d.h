// The Direct3D renderer's state and its device records: the one global block (the
// object, the chosen device, the texture formats, the 3D texture table), the four device
// records with their state cache and vertex batch, and the operations of set-up, devices,
// the cache, scenes, viewport and render targets.
//
// Every operation tests first that Direct3D is on and that its device record holds a
// device; a record in use whose interface was lost (a failed restore) counts as off.
#pragma once

#include "engine/base/handle.h"
#include "engine/d3d/d3d.h"
#include "engine/graphics/renderer3d.h"
#include "engine/pixel/colorformat.h"
#include "platform/d3d/d3d.h"

#include <cstdint>

struct Rect;
struct Surface3DData;

// ---- the state block ---------------------------------------------------------------------

constexpr int32_t TEXTURE3D_TABLE_SIZE = 65536;

struct Direct3DState {
  PlatD3D direct3D;  // non-zero: Direct3D is on
  int32_t currentDevice;
  PlatD3DDeviceDesc deviceDesc;  // its type is what devices are made as
  uint32_t minTextureSize;
  uint32_t maxTextureSize;
  HandleTable textures;  // the 3D texture records (slots outside the block)
  float blendTextureSize[2];
  float blendTextureReciprocal[2];
  uint32_t vertexColor;
  int32_t endSceneAfterDraw;
  int32_t plainReadBackMethod;
  int32_t alphaReadBackMethod;
  int32_t initialised;
};

inline Direct3DState g_Direct3D;

// ---- the device records ------------------------------------------------------------------

enum VertexKind : uint32_t {
  VERTEX_KIND_COLOR = 0,     // untextured: FVF 0x44
  VERTEX_KIND_TEXTURED = 1,  // one texture: FVF 0x144
  VERTEX_KIND_BLEND = 2,     // a blend texture (set 0) and the drawn texture (set 1): FVF 0x2C4
};
constexpr uint32_t VERTEX_KIND_COUNT = 3;
constexpr uint32_t kVertexKindFvf[VERTEX_KIND_COUNT] = {PLAT_D3DFVF_COLORVERTEX, PLAT_D3DFVF_TEXTUREDVERTEX,
                                                        PLAT_D3DFVF_BLENDVERTEX};
constexpr uint32_t kVertexKindSize[VERTEX_KIND_COUNT] = {20, 28, 40};
constexpr uint32_t kVertexKindCapacity[VERTEX_KIND_COUNT] = {3225, 2340, 1638};

constexpr int32_t DEVICE3D_COUNT = 4;
// The quads a lane of the batch keeps the pixels of (see Device3DRecord::aside).
constexpr uint32_t kLaneRects = 512;
constexpr uint32_t kLaneUntracked = 0xFFFFFFFFu;
constexpr uint32_t DEVICE3D_STAGES = 8;

// The render states the draw-state layer sends, cached in this order.
enum : uint32_t {
  RS_CACHE_ALPHATESTENABLE,
  RS_CACHE_ALPHAREF,
  RS_CACHE_ALPHAFUNC,
  RS_CACHE_ALPHABLENDENABLE,
  RS_CACHE_DIFFUSEMATERIALSOURCE,
  RS_CACHE_SPECULARMATERIALSOURCE,
  RS_CACHE_SPECULARENABLE,
  RS_CACHE_TEXTUREFACTOR,
  RS_CACHE_SRCBLEND,
  RS_CACHE_DESTBLEND,
  RS_CACHE_COUNT
};

struct StageCacheEntry {
  PlatDDSurface texture;
  uint16_t alphaArg1, alphaArg2, alphaOp;
  uint16_t colorArg1, colorArg2, colorOp;
};

struct Device3DRecord {
  uint32_t inUse;
  PlatD3DDevice device;
  PlatDDSurface ownRenderTarget;  // the surface the device was made on
  PlatDDSurface renderTarget;     // the last one sent; 0 = none since creation
  PlatDDSurface texture;          // requested for the next draws
  PlatDDSurface blendTexture;
  uint32_t modulateColor;
  uint32_t modulateAlpha;
  int32_t blendMode;
  int32_t blendThreshold;
  int32_t blendRange;
  uint32_t textureAlphaChannel;
  uint32_t textureAlphaTest;
  uint32_t statesDirty;
  uint32_t textureDirty;
  uint32_t suppressDraw;
  uint32_t forceStates;
  uint32_t renderStates[RS_CACHE_COUNT];
  uint32_t stagesInUse;
  StageCacheEntry stageCache[DEVICE3D_STAGES];
  uint32_t sceneOpen;
  uint32_t filterMode;
  // Filter kinds per stage (the filter tables turn them into the device's numbers).
  uint32_t magFilter[DEVICE3D_STAGES];
  uint32_t minFilter[DEVICE3D_STAGES];
  uint32_t mipFilter[DEVICE3D_STAGES];
  uint32_t zEnable;  // the request as given; only 1 sends TRUE
  uint32_t zWriteEnable;
  uint32_t zFunc;
  uint32_t zBias;
  uint32_t shadeMode;
  uint32_t cullFlag;  // 0 none, else counter-clockwise
  uint32_t textureAddress;
  uint32_t fogEnable;
  uint32_t texturePerspective;
  uint32_t lighting;
  uint32_t colorKeyEnable;
  // Always the start of buffer batchKind plus batchCount vertices of that kind.
  uint8_t* batchWrite;
  uint32_t batchCount;
  uint32_t batchKind;
  uint32_t batchPrimitive;
  PlatD3DViewport viewport;
  uint8_t* vertexBuffers[VERTEX_KIND_COUNT];
  // A second batch of kind-1 triangle lists that differs from the batch in its texture
  // only, set aside while the batch takes another texture's quads (DrawTiles: the cells
  // of two sheets drawn in turn). It goes out with the batch, first while asideFirst, each
  // with its own texture bound; a quad joins the earlier of the two only where the later
  // covers none of its pixels, so the pixels are those of the draws in their order.
  PlatDDSurface asideTexture;
  uint32_t asideCount;
  uint32_t asideFirst;
  uint8_t* asideBuffer;
  // The pixel rectangles (left, top, right, bottom) of each lane's quads; kLaneUntracked
  // when the batch holds vertices that were added without one.
  int32_t (*batchRects)[4];
  uint32_t batchRectCount;
  int32_t (*asideRects)[4];
  uint32_t asideRectCount;
  int32_t laneRects[2][kLaneRects][4];
  PlatD3DColorVertex buffer0[3225];
  PlatD3DTexturedVertex buffer1[2340];
  PlatD3DTexturedVertex buffer1Aside[2340];
  PlatD3DBlendVertex buffer2[1638];
};

inline Device3DRecord g_Device3D[DEVICE3D_COUNT];

// The record of a device index (its low 16 bits), or null past the table.
Device3DRecord* DeviceRecordAt(int32_t device);
// The record when Direct3D is on and the record holds a device, else null.
Device3DRecord* LiveDeviceRecord(int32_t device);

// ---- set-up (the object, enumeration, texture formats) --------------------------------

// InitializeDirect3D, TerminateDirect3D, ReleaseDirect3DObject and AcquireDirect3DObject:
// d3d.h; the texture-format lookups and DepthBufferPixelFormat, with the formats they read:
// engine/graphics/renderer3d.h.
int EnumDeviceCallback(const char* description, const char* name, const PlatD3DDeviceDesc* desc, void* context);
int EnumDepthFormatCallback(const PlatDDPixelFormat* format, void* context);
int EnumTextureFormatCallback(const PlatDDPixelFormat* format, void* context);

// ---- devices -------------------------------------------------------------------------------

// Filter tables by filter kind 0 to 5.
extern const uint32_t kMagFilterTable[6];
extern const uint32_t kMinFilterTable[6];
extern const uint32_t kMipFilterTable[6];

int32_t CreateDevice3D(PlatDDSurface surface);
int CreateDeviceDefaults(int32_t device);
int ReleaseDevice3DObject(int32_t device);
int DeleteDevice3D();

// ---- the state cache and the batch -------------------------------------------------------

// FlushCurrentVertexBatch and CurrentDevice3D: d3d.h.
int FlushVertexBatch(int32_t device);
// Moves the batch to another vertex kind; the batch must be empty (flushed), and the
// write position follows to the new kind's buffer.
void SetBatchKind(Device3DRecord* record, uint32_t kind);

int SetDeviceTexturePerspective(int32_t device, uint32_t value);
int SetDeviceColorKeyEnable(int32_t device, uint32_t value);
int SetDeviceZEnable(int32_t device, uint32_t value);
int SetDeviceZWriteEnable(int32_t device, uint32_t value);
int SetDeviceZFunc(int32_t device, uint32_t value);
int SetDeviceZBias(int32_t device, uint32_t value);
int SetDeviceCullMode(int32_t device, uint32_t value);
int SetDeviceShadeMode(int32_t device, uint32_t value);
int SetDeviceFogEnable(int32_t device, uint32_t value);
int SetDeviceFilterMode(int32_t device, uint32_t mode);

int SetDeviceTexture(int32_t device, PlatDDSurface surface);
int SetDeviceBlendTexture(int32_t device, PlatDDSurface surface, int32_t threshold, int32_t range);
int SetDeviceBlendRequest(int32_t device, int32_t mode, uint32_t alphaChannel, uint32_t alphaTest);
int SetDeviceModulateAlpha(int32_t device, uint32_t flag);
int SetDeviceModulateColor(int32_t device, uint32_t flag);

// Makes room for count vertices of the primitive in the batch of the device, as it stands:
// the batch is sent first when the primitive type changes or count more vertices would
// fill it. Where the count vertices go (in the layout of its batchKind), counted in the
// batch already; null when Direct3D is off or count does not fit an empty buffer.
void* ReserveBatchVertices(int32_t device, uint32_t primitive, uint32_t count);
// A quad of six kind-1 list vertices (as ReserveBatchVertices) that covers no pixel
// outside rect (left, top, right, bottom): the batch keeps the rectangle, so that quads
// of another texture may be batched beside it (TakeBatchLane). Sends what is batched
// first when a lane set aside would be drawn after it and covers any of its pixels.
void* ReserveBatchQuad(int32_t device, const int32_t (&rect)[4]);
// Makes texture the batch's without sending the batch, when only the texture differs: the
// batch is set aside, or the one set aside (of that texture) becomes the batch again.
// false (nothing changed) where it cannot be; the texture is then set as usual.
bool TakeBatchLane(Device3DRecord* record, PlatDDSurface texture);
// Adding vertices, as every batched draw does: brings the states up to date for the
// texture record (null: untextured) with the draw-state flags, sends the batch when the
// primitive type changes or count more vertices would fill it, and returns where the
// count vertices go (in the layout of the record's batchKind), counted in the batch
// already. Null when Direct3D is off or count does not fit an empty buffer.
void* AddBatchVertices(const Surface3DData* texture, uint32_t flags, uint32_t primitive, uint32_t count);

// ---- the draw state as device states -----------------------------------------------------

// What a draw asks of ChooseTextureStates besides the draw state.
enum : uint32_t {
  DRAW_STATE_TEXTURE_ALPHA = 1,     // the texture's alpha kind counts (a transparent draw)
  DRAW_STATE_KEEP_ALPHA_TEST = 2,   // an alpha-test texture stays one under linear filtering
  DRAW_STATE_DEPTH = 4,             // depth test with the draw state's depth settings
  DRAW_STATE_MODULATE_COLOR = 32,   // texture colour times vertex colour even at full brightness
};

// A blend mode's alpha-blend factors (BLEND_FACTOR_KEEP: not sent, the device keeps the
// last one) and its blend kind: 0 plain, 1 the texel mixed toward the texture factor by
// its alpha, 2 the texture colour inverted.
constexpr uint32_t BLEND_FACTOR_KEEP = 0;
struct BlendFactorRow {
  uint32_t destBlend, srcBlend, blendKind;
};
constexpr int32_t BLEND_FACTOR_ROWS = 12;
extern const BlendFactorRow kBlendFactorTable[BLEND_FACTOR_ROWS];

// One texture stage of a stage row; STAGE_VALUE_KEEP leaves a value as the device has it.
constexpr int32_t STAGE_VALUE_KEEP = -1;
struct StageEntry {
  int32_t alphaArg1, alphaArg2, alphaOp;
  int32_t colorArg1, colorArg2, colorOp;
};
// count stages, then one entry that disables both ops (its arguments kept).
struct StageRow {
  uint32_t count;
  StageEntry stages[DEVICE3D_STAGES];
};
// The stage row of a textured draw by blend kind (0-2), blend texture (0, 1: then the
// blend kind counts as 0), modulate colour, modulate alpha and the texture's alpha kind
// (0 none, 1 alpha channel, 2 alpha test). Arguments out of range count as their last
// value.
const StageRow& StageRecipe(uint32_t blendKind, uint32_t blendTexture, uint32_t modulateColor,
                            uint32_t modulateAlpha, uint32_t alphaKind);

// UpdateDrawVertexColor: d3d.h. Prepares the current device for a draw of the
// texture record (null: untextured) with the DRAW_STATE_* flags.
void ChooseTextureStates(const Surface3DData* texture, uint32_t flags);
// Turns the device's requests into render and texture-stage states, sending what differs
// from the cache (everything under forceStates); 0, or -1 when Direct3D is off, the record
// is free, or nothing is to be done.
int ApplyDrawStates(int32_t device);

// ---- scenes, transforms, viewport, render targets -----------------------------------------

int BeginSceneOnDevice(int32_t device);
int EndSceneOnDevice(int32_t device);
int SetDeviceWorldTransform(int32_t device, int32_t index, const PlatD3DMatrix* matrix);
// EndSceneCurrent, the transforms, SetDeviceRenderTarget, SetDeviceViewport,
// SetViewportFromRect, SwitchRenderTarget3D and ClearDrawTargetTexture: d3d.h.
// Vertices of kind 1, row r column c at r x columns + c.
int DrawVertexGrid3D(int32_t device, int32_t columns, const PlatD3DTexturedVertex* vertices, int32_t rows);
int ReapplyFixedStates(int32_t device);
void ReapplyDeviceStates(int32_t device);


// ---- graph draws ----------------------------------------------------------------------------
// DrawGraphAt3D, DrawGraphStretched3D, DrawGraphQuad3D and DrawGraphQuadTiles3D:
// d3d.h.

// The graph's first tile when its handle and its texture's record are valid, else null.
const Surface3DData* FirstTile(const GraphRecord* graph);
// One tile on the quadrilateral of its top-left, top-right, bottom-left and bottom-right
// points (screen space, the draw origin added): a parallelogram goes into the batch as two
// triangles, any other shape is drawn at once as an 8 x 8 grid so that the texture follows
// the bilinear map inside the tile too. Nothing for a tile handle that is not valid.
void DrawTexturedQuads3D(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4,
                         int32_t tile);
