// The device records over the recording fake: the cached setters, the request
// recorders, the vertex batch, devices, render targets, viewports, grids and scenes.
#include "d3d_fixture.h"

#include <functional>

namespace {

using Cache = Direct3DTest;

TEST_F(Cache, SettersSendOnlyChangesAndFlushFirst) {
  Up();
  struct Case {
    const char* what;
    std::function<int(int32_t, uint32_t)> set;
    uint32_t first, second;          // two calls
    std::vector<std::string> sent;   // what reaches the device, in order
    bool flushes;                    // the first call sends a pending batch
  };
  const uint32_t Z = PLAT_D3DRS_ZENABLE, CULL = PLAT_D3DRS_CULLMODE;
  const Case cases[] = {
      {"the same value twice", SetDeviceZWriteEnable, 1, 1, {RS(PLAT_D3DRS_ZWRITEENABLE, 1)}, true},
      {"Z enable 2, then 1", SetDeviceZEnable, 2, 1, {RS(Z, 0), RS(Z, 1)}, true},
      {"cull 5, then 1", SetDeviceCullMode, 5, 1, {RS(CULL, PLAT_D3DCULL_CCW), RS(CULL, PLAT_D3DCULL_CCW)}, true},
      {"Z function", SetDeviceZFunc, 7, 7, {RS(PLAT_D3DRS_ZFUNC, 7)}, true},
      {"Z bias", SetDeviceZBias, 3, 3, {RS(PLAT_D3DRS_ZBIAS, 3)}, true},
      {"shade mode", SetDeviceShadeMode, 2, 2, {RS(PLAT_D3DRS_SHADEMODE, 2)}, true},
      {"fog", SetDeviceFogEnable, 1, 1, {RS(PLAT_D3DRS_FOGENABLE, 1)}, true},
      {"colour key", SetDeviceColorKeyEnable, 1, 1, {RS(PLAT_D3DRS_COLORKEYENABLE, 1)}, true},
      // Perspective changes without a flush: the batched vertices take it too.
      {"perspective", SetDeviceTexturePerspective, 1, 1, {RS(PLAT_D3DRS_TEXTUREPERSPECTIVE, 1)}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AddRectangles(2);
    PlatD3DFakeClearCalls();
    EXPECT_EQ(c.set(Current(), c.first), 0);
    EXPECT_EQ(CountOf("DrawPrimitive"), c.flushes ? 1 : 0);
    EXPECT_EQ(Record().batchCount, c.flushes ? 0u : 12u);
    EXPECT_EQ(c.set(Current(), c.second), 0);
    std::vector<std::string> sent;
    for (const std::string& t : CallTexts())
      if (t.rfind("SetRenderState", 0) == 0) sent.push_back(t);
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(CountOf("DrawPrimitive"), c.flushes ? 1 : 0);
    // Forced, both calls send.
    PlatD3DFakeClearCalls();
    Record().forceStates = 1;
    c.set(Current(), c.second);
    c.set(Current(), c.second);
    Record().forceStates = 0;
    EXPECT_EQ(CountOf("SetRenderState"), 2);
    FlushVertexBatch(Current());
  }
}

TEST_F(Cache, TheFilterSetterWorksOnTheStagesInUse) {
  Up();
  Device3DRecord& r = Record();
  r.stagesInUse = 2;
  EXPECT_EQ(SetDeviceFilterMode(Current(), 1), 0);
  EXPECT_EQ(CallTexts(), (std::vector<std::string>{TSS(0, PLAT_D3DTSS_MAGFILTER, 2), TSS(0, PLAT_D3DTSS_MINFILTER, 2),
                                                   TSS(1, PLAT_D3DTSS_MAGFILTER, 2), TSS(1, PLAT_D3DTSS_MINFILTER, 2)}));
  EXPECT_EQ(r.filterMode, 1u);
  // A stage whose own cache already holds the kind is not sent again.
  r.stagesInUse = 3;
  r.minFilter[2] = 2;
  PlatD3DFakeClearCalls();
  EXPECT_EQ(SetDeviceFilterMode(Current(), 0), 0);
  EXPECT_EQ(CountOf("SetTextureStageState"), 5);
  // Mode 2 sends the batch and nothing else, and the mode stays.
  AddRectangles(1);
  PlatD3DFakeClearCalls();
  EXPECT_EQ(SetDeviceFilterMode(Current(), 2), -1);
  EXPECT_EQ(CallTexts().size(), 1u);
  EXPECT_EQ(CountOf("DrawPrimitive"), 1);
  EXPECT_EQ(r.filterMode, 0u);
}

TEST_F(Cache, RequestRecordersFlagTheDrawStates) {
  Up();
  Device3DRecord& r = Record();
  const PlatDDSurface a = 0x101, b = 0x202;
  struct Case {
    const char* what;
    std::function<void()> act;
    uint32_t statesDirty, textureDirty;
  };
  const Case cases[] = {
      {"none to a texture", [&] { SetDeviceTexture(Current(), a); }, 1, 1},
      {"a texture to another", [&] { SetDeviceTexture(Current(), b); }, 0, 1},
      {"the same texture", [&] { SetDeviceTexture(Current(), b); }, 0, 0},
      {"a texture to none", [&] { SetDeviceTexture(Current(), 0); }, 1, 1},
      {"no blend texture to none", [&] { SetDeviceBlendTexture(Current(), 0, 10, 20); }, 0, 0},
      {"a blend texture", [&] { SetDeviceBlendTexture(Current(), a, 10, 20); }, 1, 0},
      {"the same blend texture", [&] { SetDeviceBlendTexture(Current(), a, 10, 20); }, 0, 0},
      {"a blend request", [&] { SetDeviceBlendRequest(Current(), 1, 0, 1); }, 1, 0},
      {"the same blend request", [&] { SetDeviceBlendRequest(Current(), 1, 0, 1); }, 0, 0},
      {"modulate colour", [&] { SetDeviceModulateColor(Current(), 1); }, 1, 0},
      {"modulate alpha again", [&] { SetDeviceModulateAlpha(Current(), 0); }, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    r.statesDirty = r.textureDirty = 0;
    PlatD3DFakeClearCalls();
    c.act();
    EXPECT_EQ(r.statesDirty, c.statesDirty);
    EXPECT_EQ(r.textureDirty, c.textureDirty);
    EXPECT_TRUE(PlatD3DFakeCalls().empty()) << "recorders send nothing";
  }
  // -1 keeps the stored threshold and range.
  SetDeviceBlendTexture(Current(), b, -1, -1);
  EXPECT_EQ(r.blendTexture, b);
  EXPECT_EQ(r.blendThreshold, 10);
  EXPECT_EQ(r.blendRange, 20);
}

TEST_F(Cache, TheBatchIsSentWhenItWouldFillUp) {
  Up();
  Device3DRecord& r = Record();
  const Surface3DData* texture = NewTexture(PLAIN_TEXELS, 8, 8);
  ASSERT_NE(texture, nullptr);
  AddRectangles(389, texture);
  EXPECT_EQ(CountOf("DrawPrimitive"), 0);
  AddRectangles(1, texture);
  ASSERT_EQ(CountOf("DrawPrimitive"), 1);
  const PlatD3DFakeCall* draw = Last("DrawPrimitive");
  EXPECT_EQ(draw->args[1], uint32_t(PLAT_D3DPT_TRIANGLELIST));
  EXPECT_EQ(draw->args[2], PLAT_D3DFVF_TEXTUREDVERTEX);
  EXPECT_EQ(draw->args[3], 2334u);
  EXPECT_EQ(r.batchCount, 6u);
  EXPECT_EQ(r.batchWrite, r.vertexBuffers[1] + 6 * 28);
  // Another primitive type sends what is there first.
  ASSERT_NE(AddBatchVertices(texture, 0, PLAT_D3DPT_TRIANGLESTRIP, 4), nullptr);
  EXPECT_EQ(Last("DrawPrimitive")->args[3], 6u);
  EXPECT_EQ(r.batchPrimitive, uint32_t(PLAT_D3DPT_TRIANGLESTRIP));
  // More than an empty buffer holds is refused.
  EXPECT_EQ(AddBatchVertices(texture, 0, PLAT_D3DPT_TRIANGLELIST, 2340), nullptr);
  EXPECT_EQ(r.batchCount, 4u);
}

TEST_F(Cache, FlushesDropWhatMayNotBeDrawn) {
  Up();
  Device3DRecord& r = Record();
  const Surface3DData* texture = NewTexture(PLAIN_TEXELS, 8, 8);
  ASSERT_NE(texture, nullptr);
  struct Case {
    const char* what;
    uint32_t suppress;
    bool ending;
  };
  for (const Case& c : {Case{"suppressed", 1, false}, Case{"the end requested", 0, true}}) {
    SCOPED_TRACE(c.what);
    AddRectangles(3, texture);
    r.suppressDraw = c.suppress;
    g_System.endRequested = c.ending ? 1 : 0;
    PlatD3DFakeClearCalls();
    EXPECT_EQ(FlushVertexBatch(Current()), 0);
    EXPECT_EQ(CountOf("DrawPrimitive"), 0);
    EXPECT_EQ(r.batchCount, 0u);
    EXPECT_EQ(r.batchWrite, r.vertexBuffers[r.batchKind]);
    // A batch that fills up is dropped the same way.
    AddRectangles(390, texture);
    EXPECT_EQ(CountOf("DrawPrimitive"), 0);
    r.suppressDraw = 0;
    g_System.endRequested = 0;
    FlushVertexBatch(Current());
  }
  // A kind change moves the write position along.
  FlushVertexBatch(Current());
  SetBatchKind(&r, VERTEX_KIND_BLEND);
  EXPECT_EQ(r.batchWrite, r.vertexBuffers[2]);
  SetBatchKind(&r, VERTEX_KIND_TEXTURED);
}

TEST_F(Cache, DevicesAndTheirRecords) {
  Up();
  Device3DRecord& r = Record();
  // The buffers' rhw and specular were written once at creation.
  EXPECT_EQ(r.buffer0[3224].rhw, 1.0f);
  EXPECT_EQ(r.buffer1[0].rhw, 1.0f);
  EXPECT_EQ(r.buffer2[1637].specular, 0xFFFFFFFFu);
  // Made with batch kind 1, then the draw states applied for no texture.
  EXPECT_EQ(r.batchKind, uint32_t(VERTEX_KIND_COLOR));
  EXPECT_EQ(r.blendThreshold, -1);
  // Four records, then none.
  const PlatDDSurface front = GetFrontSurface();
  EXPECT_EQ(CreateDevice3D(front), 1);
  EXPECT_EQ(CreateDevice3D(front), 2);
  EXPECT_EQ(CreateDevice3D(front), 3);
  log.clear();
  EXPECT_EQ(CreateDevice3D(front), -1);
  EXPECT_TRUE(log.empty());
  // A restore of a live device sends nothing.
  PlatD3DFakeClearCalls();
  EXPECT_EQ(CreateDeviceDefaults(Current()), 0);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
  // Released twice: the second time is silent; deleting it then releases nothing again.
  EXPECT_EQ(ReleaseDevice3DObject(2), 0);
  log.clear();
  EXPECT_EQ(ReleaseDevice3DObject(2), 0);
  EXPECT_TRUE(log.empty());
  PlatD3DFakeClearCalls();
  EXPECT_EQ(DeleteDevice3D(), 0);
  EXPECT_EQ(CountOf("DeviceRelease"), 3);
  EXPECT_EQ(RecordsInUse(), 0);
  EXPECT_EQ(ReleaseDevice3DObject(0), -1);
}

TEST_F(Cache, RenderTargetsAndViewports) {
  Up();
  // A fresh record: no target yet.
  const int32_t d = CreateDevice3D(GetFrontSurface());
  ASSERT_GT(d, 0);
  Device3DRecord& r = g_Device3D[d];
  PlatD3DFakeClearCalls();
  const PlatD3DViewport whole{0, 0, 640, 480, 0.0f, 1.0f};
  EXPECT_EQ(SetDeviceViewport(&whole, d), -1);
  EXPECT_EQ(r.viewport.width, 0u);
  EXPECT_EQ(SetDeviceRenderTarget(0, d), 0);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
  EXPECT_EQ(r.renderTarget, 0u);
  // Another target, then 0 twice: both send the device's own surface.
  SetDeviceRenderTarget(GetBackSurface(), d);
  SetDeviceRenderTarget(0, d);
  SetDeviceRenderTarget(0, d);
  const std::string own = "SetRenderTarget(" + std::to_string(r.ownRenderTarget) + ",0)";
  EXPECT_EQ(CallTexts(), (std::vector<std::string>{"SetRenderTarget(" + std::to_string(GetBackSurface()) + ",0)", own,
                                                   own}));
  // MinZ and MaxZ alone make no new viewport.
  PlatD3DFakeClearCalls();
  EXPECT_EQ(SetDeviceViewport(&whole, d), 0);
  const PlatD3DViewport deeper{0, 0, 640, 480, 0.5f, 0.75f};
  EXPECT_EQ(SetDeviceViewport(&deeper, d), 0);
  EXPECT_EQ(CountOf("SetViewport"), 1);
  // A refused viewport is logged and the cache stays.
  const PlatD3DViewport outside{600, 0, 640, 480, 0.0f, 1.0f};
  EXPECT_EQ(SetDeviceViewport(&outside, d), -1);
  EXPECT_TRUE(Logged("ビューポートのセットに失敗しました ErrorCode 8876f103\n"));
  EXPECT_EQ(r.viewport.x, 0u);
  // A new target gets the device's whole-target viewport, so the cached one goes out again.
  SetDeviceRenderTarget(GetBackSurface(), d);
  PlatD3DFakeClearCalls();
  EXPECT_EQ(SetDeviceViewport(&whole, d), 0);
  EXPECT_EQ(CountOf("SetViewport"), 1);
}

TEST_F(Cache, ViewportsFromTheDrawArea) {
  Up();
  struct Case {
    Rect area;
    Rect origin;
    int result;
    std::vector<uint32_t> sent;  // x, y, width, height; empty: nothing sent
  };
  const Case cases[] = {
      {{10, 20, 110, 220}, {0, 0, 0, 0}, 0, {10, 20, 100, 200}},
      {{10, 20, 110, 220}, {5, 7, 0, 0}, 0, {15, 27, 100, 200}},
      {{10, 20, 10, 220}, {0, 0, 0, 0}, -1, {}},
      {{10, 20, 110, 20}, {0, 0, 0, 0}, -1, {}},
      // A negative width went out as a huge unsigned one.
      {{110, 20, 10, 220}, {0, 0, 0, 0}, -1, {}},
  };
  for (const Case& c : cases) {
    PlatD3DFakeClearCalls();
    g_DrawState.targetRect = c.origin;
    EXPECT_EQ(SetViewportFromRect(&c.area), c.result);
    const PlatD3DFakeCall* sent = Last("SetViewport");
    if (c.sent.empty()) {
      EXPECT_EQ(sent, nullptr);
      continue;
    }
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(std::vector<uint32_t>(sent->args.begin() + 1, sent->args.begin() + 5), c.sent);
  }
  g_DrawState.targetRect = {};
  // While the target is unavailable nothing reaches the device.
  g_Renderer3DState.targetUnavailable = 1;
  PlatD3DFakeClearCalls();
  const Rect area{0, 0, 50, 50};
  EXPECT_EQ(SetViewportFromRect(&area), 0);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
}

TEST_F(Cache, RenderTargetSwitchesForTheScreens) {
  Up();
  SetDeviceTexture(Current(), 0x55);
  AddRectangles(1);
  PlatD3DFakeClearCalls();
  EXPECT_EQ(SwitchRenderTarget3D(DRAW_SCREEN_BACK), 0);
  EXPECT_EQ(CountOf("DrawPrimitive"), 1);
  EXPECT_EQ(Record().renderTarget, GetBackSurface());
  EXPECT_EQ(Record().texture, 0u);
  EXPECT_EQ(g_Direct3D.endSceneAfterDraw, 0);
  EXPECT_EQ(SwitchRenderTarget3D(DRAW_SCREEN_FRONT), 0);
  EXPECT_EQ(Record().renderTarget, GetFrontSurface());
  EXPECT_EQ(g_Direct3D.endSceneAfterDraw, 1);
  EXPECT_EQ(g_Renderer3DState.targetUnavailable, 0);
  // No such graph.
  EXPECT_EQ(SwitchRenderTarget3D(0x08000005), -1);
  // Off: nothing to follow.
  ASSERT_EQ(TerminateDirect3D(), 0);
  EXPECT_EQ(SwitchRenderTarget3D(DRAW_SCREEN_BACK), 0);
}

TEST_F(Cache, GridsAreOneIndexedStrip) {
  Up();
  struct Case {
    int32_t columns, rows;
    int result;
    std::vector<size_t> lists;  // index counts of the draws
  };
  const Case cases[] = {
      {8, 8, 0, {124}},
      {3, 3, 0, {14}},
      {2, 2, 0, {4}},
      {499, 2, 0, {998}},
      // Two strips of 2 x 300 + 2 places do not fit one list of 1000.
      {300, 3, 0, {601, 600}},
      {1, 8, -1, {}},
      {8, 1, -1, {}},
      {500, 2, -1, {}},  // one strip would overflow the list
      {256, 257, -1, {}},  // indices past 16 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.columns) + " x " + std::to_string(c.rows));
    std::vector<PlatD3DTexturedVertex> grid(size_t(c.columns) * c.rows);
    AddRectangles(1);
    PlatD3DFakeClearCalls();
    EXPECT_EQ(DrawVertexGrid3D(Current(), c.columns, grid.data(), c.rows), c.result);
    std::vector<size_t> lists;
    for (const PlatD3DFakeCall& call : PlatD3DFakeCalls())
      if (call.operation == "DrawIndexedPrimitive") {
        lists.push_back(call.indices.size());
        for (uint16_t i : call.indices) EXPECT_LT(i, grid.size());
      }
    EXPECT_EQ(lists, c.lists);
    // A refused grid does not even send the batch.
    EXPECT_EQ(CountOf("DrawPrimitive"), c.result == 0 ? 1 : 0);
    FlushVertexBatch(Current());
  }
  std::vector<PlatD3DTexturedVertex> grid(9);
  PlatD3DFakeClearCalls();
  DrawVertexGrid3D(Current(), 3, grid.data(), 3);
  EXPECT_EQ(Last("DrawIndexedPrimitive")->indices,
            (std::vector<uint16_t>{3, 0, 4, 1, 5, 2, 2, 6, 6, 3, 7, 4, 8, 5}));
  EXPECT_EQ(Last("DrawIndexedPrimitive")->args[1], uint32_t(PLAT_D3DPT_TRIANGLESTRIP));
}

TEST_F(Cache, ScenesAndTransforms) {
  Up();
  // No scene: no flush and no EndScene.
  AddRectangles(1);
  PlatD3DFakeClearCalls();
  EXPECT_EQ(EndSceneOnDevice(Current()), 0);
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
  EXPECT_EQ(BeginSceneOnDevice(Current()), 0);
  EXPECT_EQ(BeginSceneOnDevice(Current()), 0);
  EXPECT_EQ(EndSceneCurrent(), 0);
  EXPECT_EQ(CallTexts(), (std::vector<std::string>{"BeginScene()", CallText(*Last("DrawPrimitive")), "EndScene()"}));

  Matrix4 m{};
  for (int i = 0; i < 4; i++) m.m[i][i] = 2.0f;
  struct Case {
    std::function<int()> set;
    int result;
    int transforms;  // SetTransform calls
    uint32_t state;
  };
  const Case cases[] = {
      {[&] { return SetWorldTransform3D(&m, 0); }, 0, 1, PLAT_D3DTRANSFORMSTATE_WORLD},
      {[&] { return SetWorldTransform3D(&m, 3); }, 0, 1, PLAT_D3DTRANSFORMSTATE_WORLD3},
      {[&] { return SetWorldTransform3D(&m, 4); }, 0, 0, 0},
      {[&] { return SetViewTransform3D(&m); }, 0, 1, PLAT_D3DTRANSFORMSTATE_VIEW},
      {[&] { return SetProjectionTransform3D(&m); }, 0, 1, PLAT_D3DTRANSFORMSTATE_PROJECTION},
  };
  for (const Case& c : cases) {
    AddRectangles(1);
    PlatD3DFakeClearCalls();
    EXPECT_EQ(c.set(), c.result);
    EXPECT_EQ(CountOf("DrawPrimitive"), 1) << "the batch goes first";
    EXPECT_EQ(CountOf("SetTransform"), c.transforms);
    if (c.transforms) {
      EXPECT_EQ(Last("SetTransform")->args[1], c.state);
    }
  }
  PlatD3DMatrix kept{};
  PlatD3DDeviceGetTransform(CurrentDevice3D(), PLAT_D3DTRANSFORMSTATE_VIEW, &kept);
  EXPECT_EQ(kept.m[1][1], 2.0f);
}

}  // namespace
