// Direct3D set-up over the recording fake: the device and texture-format enumerations
// as tables, every failing step, termination and the dropped state.
#include "d3d_fixture.h"

#include "engine/pixel/colorformat.h"

#include <algorithm>
#include <functional>

namespace {

using Direct3DSetUp = Direct3DTest;

const TextureFormatEntry& Entry(int32_t n) { return g_Renderer3DState.textureFormats.entries[n]; }

PlatDDPixelFormat With(PlatDDPixelFormat f, uint32_t flags, uint32_t fourCC = 0) {
  f.flags |= flags;
  f.fourCC = fourCC;
  return f;
}

TEST_F(Direct3DSetUp, EveryFailingStepLeavesDirect3DOff) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    const char* line;  // null: the step logs nothing of its own
  };
  const Case cases[] = {
      {"no 3D device on the machine", [] { PlatD3DSetAvailable(0); }, "Direct3Dオブジェクトの作成に失敗しました\n"},
      {"an 8-bit screen", [] { g_ScreenState.requestedDepth = 8; },
       "現在の画面モードで使用できる描画デバイスが見つかりませんでした\n"},
      {"a 24-bit screen", [] { g_ScreenState.requestedDepth = 24; },
       "現在の画面モードで使用できる描画デバイスが見つかりませんでした\n"},
      {"a software device only", [] { PlatD3DFakeSetDevices({FakeDevice(PLAT_D3DDEVTYPE_SOFTWARE, "sw")}); },
       "現在の画面モードで使用できる描画デバイスが見つかりませんでした\n"},
      {"enumeration refused", [] { PlatD3DFakeFailNth("EnumDevices", 1, PLAT_DDERR_INVALIDPARAMS); },
       "現在の画面モードで使用できる描画デバイスが見つかりませんでした\n"},
      {"the device refused", [] { PlatD3DFakeFailNth("CreateDevice", 1, PLAT_DDERR_INVALIDPARAMS); },
       "３Ｄデバイスの作成に失敗しました\n"},
      {"only 32-bit plain formats", [] { PlatD3DFakeSetTextureFormats({F888(), F8888(), F4444()}); },
       "使用可能なテクスチャフォーマットが見つかりませんでした\n"},
      {"texture formats refused", [] { PlatD3DFakeFailNth("EnumTextureFormats", 1, PLAT_DDERR_INVALIDPARAMS); },
       "使用可能なテクスチャフォーマットが見つかりませんでした\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PlatD3DFakeReset();
    ASSERT_EQ(PlatD3DSelectBackend("fake"), 0);
    g_ScreenState.requestedDepth = 16;
    log.clear();
    c.arrange();
    EXPECT_EQ(InitializeDirect3D(), -1);
    EXPECT_TRUE(Logged(c.line)) << log;
    EXPECT_EQ(g_Direct3D.direct3D, 0u);
    EXPECT_EQ(g_Direct3D.initialised, 0);
    EXPECT_EQ(RecordsInUse(), 0);
    EXPECT_FALSE(Logged("Direct3D 関連の初期化は正常に終了しました"));
    // Off means off: a second try finds nothing half made.
    EXPECT_EQ(TerminateDirect3D(), -1);
  }
}

TEST_F(Direct3DSetUp, TheStageZeroAddressRefusedFailsWithoutALine) {
  // Find which texture-stage call sets stage 0's address after the render target.
  Up();
  ASSERT_EQ(TerminateDirect3D(), 0);
  PlatD3DFakeClearCalls();
  ASSERT_EQ(InitializeDirect3D(), 0);
  int nth = 0, stageCalls = 0;
  bool targetSent = false;
  for (const PlatD3DFakeCall& c : PlatD3DFakeCalls()) {
    if (c.operation == "SetRenderTarget") targetSent = true;
    if (c.operation != "SetTextureStageState") continue;
    stageCalls++;
    if (targetSent && c.args[1] == 0 && c.args[2] == PLAT_D3DTSS_ADDRESS && !nth) nth = stageCalls;
  }
  ASSERT_GT(nth, 0);
  ASSERT_EQ(TerminateDirect3D(), 0);
  log.clear();
  PlatD3DFakeFailNth("SetTextureStageState", nth, PLAT_D3DERR_INVALIDSTATE);
  EXPECT_EQ(InitializeDirect3D(), -1);
  EXPECT_EQ(g_Direct3D.direct3D, 0u);
  EXPECT_EQ(RecordsInUse(), 0);
  EXPECT_TRUE(Logged("３Ｄデバイスの削除は正常に終了しました\n"));
  EXPECT_FALSE(Logged("見つかりませんでした"));
}

TEST_F(Direct3DSetUp, TheTextureFormatTableWithItsFallbacks) {
  struct Case {
    const char* what;
    std::vector<PlatDDPixelFormat> offered;
    uint32_t screenRed;  // 0xF800: a 5:6:5 screen, 0x7C00: 5:5:5, 0xFF0000: 32 bits
    // Expected masks of entries 0 to 8: the alpha mask with alpha, else the red mask;
    // 0 for an empty entry.
    uint32_t masks[9];
  };
  const Case cases[] = {
      {"every kind offered", {F565(), F888(), F4444(), F1555(), F8888()}, 0xF800,
       {0xF800, 0xFF0000, 0xF000, 0xFF000000u, 0x8000, 0xFF000000u, 0xF800, 0xFF0000, 0xFF000000u}},
      // Entry 2 stays empty, and 3, 5 and 8 copy it; entry 4 keeps its own.
      {"0x8000 without 0xF000", {F565(), F1555()}, 0xF800, {0xF800, 0xF800, 0, 0, 0x8000, 0, 0xF800, 0xF800, 0}},
      {"no 32-bit formats", {F565(), F4444()}, 0xF800,
       {0xF800, 0xF800, 0xF000, 0xF000, 0xF000, 0xF000, 0xF800, 0xF800, 0xF000}},
      {"two 16-bit plains, the second the screen's", {F565(), F555()}, 0x7C00,
       {0x7C00, 0x7C00, 0, 0, 0, 0, 0x7C00, 0x7C00, 0}},
      {"two 16-bit plains, the first the screen's", {F555(), F565()}, 0x7C00,
       {0x7C00, 0x7C00, 0, 0, 0, 0, 0x7C00, 0x7C00, 0}},
      {"two 16-bit plains, neither the screen's", {F555(), F565()}, 0xFF0000,
       {0x7C00, 0x7C00, 0, 0, 0, 0, 0x7C00, 0x7C00, 0}},
      // Taken, each would have replaced entry 0 (the screen's format) or filled an alpha
      // entry or entry 1.
      {"kinds that are skipped",
       {F565(), With(F555(), PLAT_DDPF_LUMINANCE), With(F555(), PLAT_DDPF_BUMPLUMINANCE),
        With(F555(), PLAT_DDPF_BUMPDUDV), With(F555(), 0, 0x32595559), With(F4444(), PLAT_DDPF_ALPHA),
        Rgb(16, 0xF000, 0x0F00, 0x00F0, 0x000F), Rgb(24, 0xFF0000, 0xFF00, 0xFF)},
       0x7C00,
       {0xF800, 0xF800, 0, 0, 0, 0, 0xF800, 0xF800, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ColorFormat screen{};
    if (c.screenRed == 0xFF0000)
      SetupFormatFromMasksCore(&screen, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    else
      SetupFormatFromMasksCore(&screen, 16, c.screenRed, c.screenRed == 0x7C00 ? 0x03E0 : 0x07E0, 0x001F, 0);
    g_ScreenState.colorFormat = screen;
    PlatD3DFakeSetTextureFormats(c.offered);
    ASSERT_EQ(InitializeDirect3D(), 0) << log;
    for (int n = 0; n < 9; n++) {
      const ColorFormat& f = Entry(n).colorFormat;
      EXPECT_EQ(f.alphaMask ? f.alphaMask : f.redMask, c.masks[n]) << "entry " << n;
      EXPECT_EQ(f.bitDepth == 0, c.masks[n] == 0) << "entry " << n;
      EXPECT_EQ(Entry(n).pixelFormat.bitCount, f.bitDepth) << "entry " << n;
    }
    ASSERT_EQ(TerminateDirect3D(), 0);
  }
  // A later format of one alpha mask replaces the earlier one.
  PlatD3DFakeSetTextureFormats({F565(), F8888(), Rgb(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u)});
  ASSERT_EQ(InitializeDirect3D(), 0);
  EXPECT_EQ(Entry(TEXTURE_FORMAT_ALPHA32).colorFormat.redMask, 0xFFu);
  EXPECT_EQ(Entry(TEXTURE_FORMAT_ALPHATEST32).colorFormat.redMask, 0xFFu);
}

TEST_F(Direct3DSetUp, TheDeviceEnumerationKeepsTheLastHalAndStopsAtTnl) {
  struct Case {
    const char* what;
    std::vector<PlatD3DFakeDevice> devices;
    PlatD3DDeviceType chosen;
    bool halLine, tnlLine;
  };
  PlatD3DFakeDevice hal = FakeDevice(PLAT_D3DDEVTYPE_HAL, "hal");
  PlatD3DFakeDevice tnl = FakeDevice(PLAT_D3DDEVTYPE_TNLHAL, "tnl");
  PlatD3DFakeDevice hal16 = hal;
  hal16.desc.deviceRenderBitDepth = PLAT_DDBD_32;  // no 16-bit rendering: skipped
  const Case cases[] = {
      {"HAL then T&L", {hal, tnl}, PLAT_D3DDEVTYPE_TNLHAL, true, true},
      {"T&L then HAL", {tnl, hal}, PLAT_D3DDEVTYPE_TNLHAL, false, true},
      {"HAL only", {hal}, PLAT_D3DDEVTYPE_HAL, true, false},
      {"one HAL that cannot render 16 bits", {hal16, FakeDevice(PLAT_D3DDEVTYPE_SOFTWARE, "sw"), hal},
       PLAT_D3DDEVTYPE_HAL, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.clear();
    PlatD3DFakeSetDevices(c.devices);
    ASSERT_EQ(InitializeDirect3D(), 0) << log;
    EXPECT_EQ(g_Direct3D.deviceDesc.deviceType, c.chosen);
    EXPECT_EQ(Logged("ＨＡＬデバイスを発見しました\n"), c.halLine);
    EXPECT_EQ(Logged("ハードウエアＴ＆Ｌデバイスを発見しました\n"), c.tnlLine);
    // The device is made of the type chosen; the Z formats are always asked of the HAL.
    const PlatD3DFakeCall* create = Last("CreateDevice");
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create->args[1], uint32_t(c.chosen));
    EXPECT_EQ(Last("EnumZBufferFormats")->args[1], uint32_t(PLAT_D3DDEVTYPE_HAL));
    ASSERT_EQ(TerminateDirect3D(), 0);
  }
}

TEST_F(Direct3DSetUp, TextureSizeLimitsAndTheZFormat) {
  PlatD3DFakeDevice d = FakeDevice(PLAT_D3DDEVTYPE_HAL, "hal");
  struct Case {
    uint32_t minW, minH, maxW, maxH;
    uint16_t stages;
    uint32_t min, max;
    const char* sizeLine;
    bool warned;  // fewer than 4 blend stages
  };
  const Case cases[] = {
      {0, 0, 0, 0, 8, 32, 256, "テクスチャ最大幅:256 最小幅:32 \n", false},
      {8, 16, 2048, 512, 4, 8, 512, "テクスチャ最大幅:512 最小幅:8 \n", false},
      {0, 4, 0, 64, 3, 32, 256, "テクスチャ最大幅:256 最小幅:32 \n", true},
  };
  for (const Case& c : cases) {
    d.desc.minTextureWidth = c.minW;
    d.desc.minTextureHeight = c.minH;
    d.desc.maxTextureWidth = c.maxW;
    d.desc.maxTextureHeight = c.maxH;
    d.desc.maxTextureBlendStages = c.stages;
    PlatD3DFakeSetDevices({d});
    log.clear();
    ASSERT_EQ(InitializeDirect3D(), 0);
    EXPECT_EQ(g_Direct3D.minTextureSize, c.min);
    EXPECT_EQ(g_Direct3D.maxTextureSize, c.max);
    EXPECT_TRUE(Logged(c.sizeLine)) << log;
    EXPECT_EQ(Logged("使用可能テクスチャステージが 4 以下なので DrawBlendGraph は正常に機能しない可能性があります\n"),
              c.warned);
    ASSERT_EQ(TerminateDirect3D(), 0);
  }

  // The first plain 16-bit Z format; a missing one is no failure.
  PlatDDPixelFormat stencil{sizeof(PlatDDPixelFormat), PLAT_DDPF_ZBUFFER | PLAT_DDPF_STENCILBUFFER, 0, 16, 0xFFFF, 0, 0, 0};
  PlatDDPixelFormat z24{sizeof(PlatDDPixelFormat), PLAT_DDPF_ZBUFFER, 0, 24, 0xFFFFFF, 0, 0, 0};
  PlatDDPixelFormat z16{sizeof(PlatDDPixelFormat), PLAT_DDPF_ZBUFFER, 0, 16, 0xFFFF, 0, 0, 0};
  PlatD3DFakeSetZFormats({stencil, z24, z16});
  ASSERT_EQ(InitializeDirect3D(), 0);
  EXPECT_EQ(DepthBufferPixelFormat(16), &g_Renderer3DState.depthFormat);
  EXPECT_EQ(DepthBufferPixelFormat(16)->flags, uint32_t(PLAT_DDPF_ZBUFFER));
  ASSERT_EQ(TerminateDirect3D(), 0);
  log.clear();
  PlatD3DFakeSetZFormats({stencil, z24});
  ASSERT_EQ(InitializeDirect3D(), 0);
  EXPECT_TRUE(Logged("使用可能なＺバッファが見つかりませんでした\n"));
  EXPECT_EQ(g_Renderer3DState.depthFormat.bitCount, 0u);
  EXPECT_EQ(DepthBufferPixelFormat(16)->bitCount, 16u);
}

TEST_F(Direct3DSetUp, ADeviceIsMadeWithItsStatesInOrder) {
  Up();
  // A second set-up while Direct3D is on changes nothing.
  const Direct3DState before = g_Direct3D;
  EXPECT_EQ(InitializeDirect3D(), -1);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(PlatD3DFakeCalls().empty());
  EXPECT_EQ(std::memcmp(&before, &g_Direct3D, sizeof before), 0);

  const PlatDDSurface front = GetFrontSurface();
  const int32_t d = CreateDevice3D(front);
  ASSERT_EQ(d, 1);
  EXPECT_EQ(log, "３Ｄデバイスを作成します... ３Ｄデバイスの作成に成功しました\n");
  std::vector<std::string> expected = {"CreateDevice(" + std::to_string(g_Direct3D.direct3D) + "," +
                                       std::to_string(PLAT_D3DDEVTYPE_HAL) + "," + std::to_string(front) + ")"};
  // Every stage clamps and samples by point (the mip filter's point is 2).
  for (uint32_t stage = 0; stage < 8; stage++)
    for (const std::string& t : {TSS(stage, PLAT_D3DTSS_ADDRESS, PLAT_D3DTADDRESS_CLAMP),
                                 TSS(stage, PLAT_D3DTSS_MAGFILTER, 1), TSS(stage, PLAT_D3DTSS_MINFILTER, 1),
                                 TSS(stage, PLAT_D3DTSS_MIPFILTER, 2)})
      expected.push_back(t);
  const std::vector<std::string> defaults = {
      RS(PLAT_D3DRS_COLORKEYBLENDENABLE, 0), RS(PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE), RS(PLAT_D3DRS_LIGHTING, 0),
      RS(PLAT_D3DRS_TEXTUREPERSPECTIVE, 0), RS(PLAT_D3DRS_SHADEMODE, PLAT_D3DSHADE_FLAT),
      RS(PLAT_D3DRS_COLORKEYENABLE, 0), RS(PLAT_D3DRS_DITHERENABLE, 0)};
  expected.insert(expected.end(), defaults.begin(), defaults.end());
  // Then the whole cache and the draw states, forced (their order is the draw states' own
  // test); no viewport yet, since no render target was set.
  const std::vector<std::string> calls = CallTexts();
  ASSERT_GT(calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + expected.size()), expected);
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& t) { return t.rfind("SetViewport", 0) == 0; }),
            0);
  const Device3DRecord& r = g_Device3D[d];
  EXPECT_EQ(r.ownRenderTarget, front);
  EXPECT_EQ(r.renderTarget, 0u);
  EXPECT_EQ(r.forceStates, 0u);
  // What the forced apply did not send is unknown, so that the next apply sends it.
  EXPECT_EQ(r.stageCache[7].colorOp, uint16_t(0xFFFF));
  // No texture was bound: the batch is the untextured kind's.
  EXPECT_EQ(r.batchWrite, r.vertexBuffers[r.batchKind]);
}

TEST_F(Direct3DSetUp, TheFormatChoiceByFlags) {
  Up();
  struct Case {
    int32_t alphaChannel, alphaTest, is32, drawTarget;
    int32_t entry;
  };
  const Case cases[] = {
      {1, 1, 0, 1, 8}, {0, 1, 1, 0, 5}, {0, 0, 0, 0, 0}, {0, 0, 1, 0, 1}, {1, 0, 0, 0, 2}, {1, 1, 1, 0, 3},
      {0, 1, 0, 0, 4}, {0, 0, 0, 1, 6}, {0, 0, 1, 1, 7}, {1, 0, 1, 1, 8},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TextureFormatFor(c.alphaChannel, c.alphaTest, c.is32, c.drawTarget), TextureFormatColorFormat(c.entry))
        << c.alphaChannel << c.alphaTest << c.is32 << c.drawTarget;
  // Any depth but 16 counts as 32 bits; a draw-valid flag of 2 is no alpha request.
  EXPECT_EQ(SelectTextureFormatEntry(0, 0, 0, 24), TextureFormatColorFormat(1));
  EXPECT_EQ(SelectTextureFormatEntry(1, 0, 0, 8), TextureFormatColorFormat(3));
  EXPECT_EQ(SelectTextureFormatEntry(2, 1, 0, 16), TextureFormatColorFormat(6));
  EXPECT_EQ(TextureFormatPixelFormat(9), nullptr);
  EXPECT_EQ(TextureFormatColorFormat(-1), nullptr);
}

}  // namespace
