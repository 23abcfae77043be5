// Direct3D's life on the soft device (through the recording fake where the calls are
// looked at): the set-up's log block, dropping and re-making the interfaces, a failed
// restore and the batch after a restore.
#include "d3d_fixture.h"

#include "engine/base/memory.h"
#include "platform/fs/fs.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

namespace {

using Lifecycle = Direct3DTest;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST_F(Lifecycle, TheSetUpLogBlockOnTheSoftDevice) {
  ASSERT_EQ(PlatD3DSelectBackend("soft"), 0);
  char dir[] = "/tmp/krd3dlogXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  SetLogDebuggerOnly(0);
  ASSERT_EQ(SetLogStartDirectory(dir), 0);
  OpenLogFile();
  // The manual clock stands still: every line is stamped 0 ms.
  ASSERT_EQ(InitializeDirect3D(), 0);
  const std::string written = ReadFile(std::string(dir) + "/Log.txt");
  SetLogStartDirectory("");
  SetLogDebuggerOnly(1);
  std::remove((std::string(dir) + "/Log.txt").c_str());
  rmdir(dir);

  const std::string expected = CrLf(
      "0:Direct3D 関連の初期化を行います\n"
      "0:Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n"
      "0:Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\n"
      "0:ＨＡＬデバイスを発見しました\n"
      "0:３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました\n"
      "0:\tテクスチャ最大幅:2048 最小幅:1 \n"
      "0:\t描画制限: D_D3DPTEXTURECAPS_POW2 = 0  D_D3DPTEXTURECAPS_SQUAREONLY = 0 \n"
      "0:\t最大テクスチャステージ数 = 8   最大テクスチャブレンド数 = 8 \n"
      "0:\tテクスチャピクセルフォーマット\n"
      "0:\t\t通常グラフィック用\n"
      "0:\t\t\t BIT:16  RED:5  GREEN:6  BLUE:5 \n"
      "0:\t\t\t RED:00f800 GREEN:0007e0 BLUE:00001f \n\n"
      "0:\t\t\t BIT:32  RED:8  GREEN:8  BLUE:8 \n"
      "0:\t\t\t RED:ff0000 GREEN:00ff00 BLUE:0000ff \n\n"
      "0:\t\tアルファチャンネル付きグラフィック用\n"
      "0:\t\t\t BIT:16  ALPHA:4  RED:4  GREEN:4  BLUE:4 \n"
      "0:\t\t\t ALPHA:0000f000 RED:00000f00 GREEN:000000f0 BLUE:0000000f \n\n"
      "0:\t\t\t BIT:32  ALPHA:8  RED:8  GREEN:8  BLUE:8 \n"
      "0:\t\t\t ALPHA:ff000000 RED:00ff0000 GREEN:0000ff00 BLUE:000000ff \n\n"
      "0:Direct3D 関連の初期化は正常に終了しました\n");
  EXPECT_EQ(written, expected);
}

TEST_F(Lifecycle, DroppedAndMadeAgainTheDeviceGetsEveryCachedState) {
  Up();
  const int32_t d = Current();
  Device3DRecord& r = Record();
  r.stagesInUse = 2;
  SetDeviceZFunc(d, PLAT_D3DCMP_GREATEREQUAL);
  SetDeviceZWriteEnable(d, 1);
  SetDeviceCullMode(d, 1);
  SetDeviceColorKeyEnable(d, 1);
  SetDeviceFilterMode(d, 1);
  SetDeviceTexturePerspective(d, 1);
  SetDeviceShadeMode(d, PLAT_D3DSHADE_GOURAUD);
  const PlatDDSurface front = GetFrontSurface(), back = GetBackSurface();
  g_ScreenState.targetSurface = back;

  log.clear();
  ASSERT_EQ(ReleaseDirect3DObject(), 0);
  EXPECT_EQ(log,
            "Ｄｉｒｅｃｔ３Ｄデバイスを削除しました\n"
            "Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n"
            "Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました\n");
  EXPECT_EQ(g_Direct3D.direct3D, 0u);
  EXPECT_EQ(r.inUse, 1u);
  EXPECT_EQ(r.device, 0u);
  EXPECT_EQ(Is3DAvailable(), 0);
  log.clear();
  EXPECT_EQ(ReleaseDirect3DObject(), 0);
  EXPECT_EQ(log,
            "Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n"
            "Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n");

  PlatD3DFakeClearCalls();
  log.clear();
  ASSERT_EQ(AcquireDirect3DObject(), 0);
  EXPECT_EQ(log,
            "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n"
            "Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました\n"
            "３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました\n");
  std::vector<std::string> calls = CallTexts();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].rfind("QueryDirect3D(", 0), 0u);
  EXPECT_EQ(calls[1], "CreateDevice(" + std::to_string(g_Direct3D.direct3D) + "," +
                          std::to_string(PLAT_D3DDEVTYPE_HAL) + "," + std::to_string(front) + ")");
  calls.erase(calls.begin(), calls.begin() + 2);
  const std::vector<std::string> filters = {TSS(0, PLAT_D3DTSS_MAGFILTER, 2), TSS(0, PLAT_D3DTSS_MINFILTER, 2),
                                            TSS(1, PLAT_D3DTSS_MAGFILTER, 2), TSS(1, PLAT_D3DTSS_MINFILTER, 2)};
  const std::string viewport = "SetViewport(0,0,640,480)";
  std::vector<std::string> expected = {RS(PLAT_D3DRS_DITHERENABLE, 0),
                                       "SetRenderTarget(" + std::to_string(back) + ",0)",
                                       RS(PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_CCW)};
  expected.insert(expected.end(), filters.begin(), filters.end());
  for (const std::string& s : std::vector<std::string>{
           RS(PLAT_D3DRS_COLORKEYENABLE, 1), viewport,
           // The whole cache again, forced.
           viewport, RS(PLAT_D3DRS_COLORKEYENABLE, 1), RS(PLAT_D3DRS_COLORKEYENABLE, 0),
           TSS(0, PLAT_D3DTSS_ADDRESS, 3), TSS(1, PLAT_D3DTSS_ADDRESS, 3), TSS(2, PLAT_D3DTSS_ADDRESS, 3),
           TSS(3, PLAT_D3DTSS_ADDRESS, 3), TSS(0, PLAT_D3DTSS_TEXCOORDINDEX, 0), TSS(1, PLAT_D3DTSS_TEXCOORDINDEX, 1),
           TSS(2, PLAT_D3DTSS_TEXCOORDINDEX, 1), TSS(3, PLAT_D3DTSS_TEXCOORDINDEX, 0),
           RS(PLAT_D3DRS_TEXTUREPERSPECTIVE, 1), RS(PLAT_D3DRS_SHADEMODE, 2), RS(PLAT_D3DRS_COLORKEYENABLE, 0),
           RS(PLAT_D3DRS_LIGHTING, 0), RS(PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE), RS(PLAT_D3DRS_DITHERENABLE, 0)})
    expected.push_back(s);
  expected.insert(expected.end(), filters.begin(), filters.end());
  // The draw states of no texture in copy mode: one stage (whose filters go out again),
  // every render state from the cache, kept blend factors and texture factor included.
  for (const std::string& s : std::vector<std::string>{
           TSS(0, PLAT_D3DTSS_MAGFILTER, 2), TSS(0, PLAT_D3DTSS_MINFILTER, 2),
           RS(PLAT_D3DRS_DIFFUSEMATERIALSOURCE, PLAT_D3DMCS_COLOR1),
           RS(PLAT_D3DRS_SPECULARMATERIALSOURCE, PLAT_D3DMCS_COLOR2), RS(PLAT_D3DRS_SPECULARENABLE, 0),
           RS(PLAT_D3DRS_ALPHAFUNC, 0), RS(PLAT_D3DRS_ALPHAREF, 0), RS(PLAT_D3DRS_ALPHATESTENABLE, 0),
           RS(PLAT_D3DRS_ALPHABLENDENABLE, 0), RS(PLAT_D3DRS_TEXTUREFACTOR, 0), RS(PLAT_D3DRS_SRCBLEND, 0),
           RS(PLAT_D3DRS_DESTBLEND, 0), "SetTexture(0,0)", TSS(0, PLAT_D3DTSS_ALPHAOP, PLAT_D3DTOP_SELECTARG2),
           TSS(0, PLAT_D3DTSS_ALPHAARG2, PLAT_D3DTA_DIFFUSE), TSS(0, PLAT_D3DTSS_COLOROP, PLAT_D3DTOP_SELECTARG2),
           TSS(0, PLAT_D3DTSS_COLORARG2, PLAT_D3DTA_DIFFUSE), "SetTexture(1,0)",
           TSS(1, PLAT_D3DTSS_ALPHAOP, PLAT_D3DTOP_DISABLE), TSS(1, PLAT_D3DTSS_COLOROP, PLAT_D3DTOP_DISABLE)})
    expected.push_back(s);
  for (const std::string& s : std::vector<std::string>{
           RS(PLAT_D3DRS_ZENABLE, 1), RS(PLAT_D3DRS_ZWRITEENABLE, 1), RS(PLAT_D3DRS_ZFUNC, 7),
           RS(PLAT_D3DRS_ZBIAS, 0), RS(PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_CCW), RS(PLAT_D3DRS_TEXTUREPERSPECTIVE, 1),
           RS(PLAT_D3DRS_SHADEMODE, 2)})
    expected.push_back(s);
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(r.forceStates, 0u);
  EXPECT_EQ(Is3DAvailable(), 1);
  // The device itself holds what the cache says.
  uint32_t value = 0;
  PlatD3DDeviceGetRenderState(r.device, PLAT_D3DRS_ZFUNC, &value);
  EXPECT_EQ(value, 7u);
  PlatDDSurface target = 0;
  PlatD3DDeviceGetRenderTarget(r.device, &target);
  EXPECT_EQ(target, back);

  // A second acquire finds the object there.
  log.clear();
  EXPECT_EQ(AcquireDirect3DObject(), 0);
  EXPECT_EQ(log,
            "Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n"
            "Ｄｉｒｅｃｔ３Ｄオブジェクトは既に取得されています\n");
}

TEST_F(Lifecycle, BeforeASetUpReleaseAndAcquireDoNothing) {
  EXPECT_EQ(ReleaseDirect3DObject(), -1);
  EXPECT_EQ(AcquireDirect3DObject(), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
}

TEST_F(Lifecycle, AFailedRestoreLeavesEveryCallRefused) {
  struct Failure {
    const char* what;
    std::function<void()> arrange;
    int acquired;      // what AcquireDirect3DObject answers
    const char* line;
  };
  // The device refused leaves the record in use without an interface (and nobody reads
  // the result); the object refused leaves Direct3D dropped.
  const Failure failures[] = {
      {"the device refused", [] { PlatD3DFakeFailNth("CreateDevice", 1, PLAT_DDERR_INVALIDPARAMS); }, 0,
       "３Ｄデバイスの作成に失敗しました\n"},
      {"the object refused", [] { PlatD3DSetAvailable(0); }, -1, "Direct3Dオブジェクトの作成に失敗しました\n"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.what);
    Up();
    AddRectangles(2);
    ASSERT_EQ(ReleaseDirect3DObject(), 0);
    f.arrange();
    log.clear();
    EXPECT_EQ(AcquireDirect3DObject(), f.acquired);
    EXPECT_TRUE(Logged(f.line)) << log;
    ASSERT_EQ(Record().inUse, 1u);
    ASSERT_EQ(Record().device, 0u);

    PlatD3DFakeClearCalls();
    const int32_t d = Current();
    const Rect area{0, 0, 10, 10};
    const PlatD3DViewport viewport{0, 0, 10, 10, 0, 1};
    Matrix4 m{};
    std::vector<PlatD3DTexturedVertex> grid(4);
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"flush", [&] { return FlushVertexBatch(d); }},
        {"flush current", [] { return FlushCurrentVertexBatch(); }},
        {"a setter", [&] { return SetDeviceZFunc(d, 7); }},
        {"perspective", [&] { return SetDeviceTexturePerspective(d, 1); }},
        {"filter", [&] { return SetDeviceFilterMode(d, 1); }},
        {"a recorder", [&] { return SetDeviceTexture(d, 0x44); }},
        {"blend texture", [&] { return SetDeviceBlendTexture(d, 0x44, 1, 1); }},
        {"begin scene", [&] { return BeginSceneOnDevice(d); }},
        {"end scene", [] { return EndSceneCurrent(); }},
        {"render target", [&] { return SetDeviceRenderTarget(GetBackSurface(), d); }},
        {"viewport", [&] { return SetDeviceViewport(&viewport, d); }},
        {"viewport from the area", [&] { return SetViewportFromRect(&area); }},
        {"clear", [] { return ClearDrawTargetTexture(); }},
        {"grid", [&] { return DrawVertexGrid3D(d, 2, grid.data(), 2); }},
        {"world", [&] { return SetWorldTransform3D(&m, 0); }},
        {"view", [&] { return SetViewTransform3D(&m); }},
        {"fixed states", [&] { return ReapplyFixedStates(d); }},
        {"draw states", [&] { return ApplyDrawStates(d); }},
    };
    for (const auto& [what, call] : calls) EXPECT_EQ(call(), -1) << what;
    EXPECT_EQ(SwitchRenderTarget3D(DRAW_SCREEN_BACK), 0) << "as with Direct3D off";
    EXPECT_EQ(AddBatchVertices(nullptr, 0, PLAT_D3DPT_TRIANGLELIST, 6), nullptr);
    ReapplyDeviceStates(d);
    EXPECT_EQ(Is3DAvailable(), 0);
    EXPECT_EQ(CurrentDevice3D(), 0u);
    EXPECT_TRUE(PlatD3DFakeCalls().empty());

    // The next restore works, and termination frees the record.
    PlatD3DSetAvailable(1);
    if (g_Direct3D.direct3D)
      EXPECT_EQ(CreateDeviceDefaults(d), 0);
    else
      EXPECT_EQ(AcquireDirect3DObject(), 0);
    EXPECT_NE(Record().device, 0u);
    EXPECT_EQ(Record().batchCount, 0u);
    EXPECT_EQ(TerminateDirect3D(), 0);
    EXPECT_EQ(RecordsInUse(), 0);
  }
}

TEST_F(Lifecycle, TextureRecordsLoseAndGetBackTheirSurfacesWithTheDevice) {
  Up();
  const int blocks = GetTrackedBlockCount();
  // Magenta keys: 0xF81F in the 5:6:5 texture formats.
  const int32_t plain = TextureSurface(0, 0xFF00FF), target = TextureSurface(1, 0xFF00FF);
  const int32_t tiles[] = {AddTexture3DForTest(plain), AddTexture3DForTest(target)};
  ASSERT_GE(tiles[0], 0);
  ASSERT_GE(tiles[1], 0);
  Device3DRecord& r = Record();
  SetDeviceTexture(Current(), LookupSurfaceData(plain)->surface);
  SetDeviceBlendTexture(Current(), LookupSurfaceData(target)->surface, 10, 20);
  r.stageCache[0].texture = LookupSurfaceData(plain)->surface;
  r.stageCache[1].texture = LookupSurfaceData(target)->surface;

  ASSERT_EQ(ReleaseDirect3DObject(), 0);
  for (int32_t s : {plain, target}) EXPECT_EQ(LookupSurfaceData(s)->surface, 0u);
  for (int32_t t : tiles) EXPECT_NE(LookupTexture3D(t), nullptr);

  ASSERT_EQ(AcquireDirect3DObject(), 0);
  for (int32_t s : {plain, target}) {
    const PlatDDSurface surface = LookupSurfaceData(s)->surface;
    ASSERT_NE(surface, 0u);
    PlatDDColorKey key{};
    EXPECT_EQ(PlatDDSurfaceGetColorKey(surface, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    EXPECT_EQ(key.low, 0xF81Fu);
  }
  // Nothing may bind the surfaces released with the old device.
  EXPECT_EQ(r.texture, 0u);
  EXPECT_EQ(r.blendTexture, 0u);
  for (const StageCacheEntry& stage : r.stageCache) EXPECT_EQ(stage.texture, 0u);

  ASSERT_EQ(TerminateDirect3D(), 0);
  for (int32_t t : tiles) EXPECT_EQ(LookupTexture3D(t), nullptr);
  for (int32_t s : {plain, target}) EXPECT_EQ(LookupSurfaceData(s), nullptr);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

TEST_F(Lifecycle, ABatchAfterARestoreStartsAtItsBuffer) {
  Up();
  PlatD3DFakeForward(1);
  const Surface3DData* texture = NewTexture(PLAIN_TEXELS, 8, 8);
  ASSERT_NE(texture, nullptr);
  AddRectangles(100, texture);
  Device3DRecord& r = Record();
  ASSERT_EQ(r.batchCount, 600u);
  ASSERT_EQ(ReleaseDirect3DObject(), 0);
  ASSERT_EQ(AcquireDirect3DObject(), 0);
  EXPECT_EQ(r.batchCount, 0u);
  EXPECT_EQ(r.batchWrite, r.vertexBuffers[r.batchKind]);
  PlatD3DFakeClearCalls();
  AddRectangles(390, texture);
  ASSERT_EQ(CountOf("DrawPrimitive"), 1);
  EXPECT_EQ(Last("DrawPrimitive")->args[3], 2334u);
  EXPECT_EQ(Last("DrawPrimitive")->result, PLAT_D3D_OK);
  EXPECT_EQ(r.batchWrite, r.vertexBuffers[r.batchKind] + r.batchCount * 28);
  EXPECT_LE(r.batchWrite + 6 * 28, r.vertexBuffers[1] + sizeof r.buffer1);
}

TEST_F(Lifecycle, TerminationOnAndInTheDroppedState) {
  Up();
  log.clear();
  ASSERT_EQ(TerminateDirect3D(), 0);
  EXPECT_EQ(log,
            "Direct3D 関連の終了処理を行います\n"
            "３Ｄデバイスの削除は正常に終了しました\n"
            "Direct3D 関連の終了処理は正常に終了しました\n");
  EXPECT_EQ(g_Direct3D.initialised, 0);
  EXPECT_EQ(TerminateDirect3D(), -1);

  // Dropped: -1 still, but nothing stays taken, so four mode changes in that state do
  // not use the records up, and the texture records do not leak.
  const int blocks = GetTrackedBlockCount();
  for (int i = 0; i < 5; i++) {
    SCOPED_TRACE(i);
    ASSERT_EQ(InitializeDirect3D(), 0);
    ASSERT_GE(AddTexture3DForTest(TextureSurface(0)), 0);
    // A second record keeps its interface through the drop of the current one.
    const int32_t other = i == 0 ? CreateDevice3D(GetFrontSurface()) : -1;
    ASSERT_EQ(ReleaseDirect3DObject(), 0);
    log.clear();
    PlatD3DFakeClearCalls();
    EXPECT_EQ(TerminateDirect3D(), -1);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(CountOf("DeviceRelease"), other == -1 ? 0 : 1);
    EXPECT_EQ(RecordsInUse(), 0);
    EXPECT_EQ(g_Direct3D.textures.count, 0);
    EXPECT_EQ(g_Direct3D.initialised, 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocks);
  }
}

}  // namespace
