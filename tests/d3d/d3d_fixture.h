// The Direct3D renderer over the headless display: graphics started full screen
// (640 x 480, 5:6:5) with Direct3D left off, the Direct3D-style layer on its recording
// fake (which forwards nothing unless a test asks), and the log captured. Tests bring
// Direct3D up themselves with Up().
#pragma once

#include "engine/base/log.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/d3d/texture3dtest.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/sysdata.h"
#include "platform/d3d/fake/d3dfake.h"
#include "platform/ddraw/fake/ddrawfake.h"
#include "platform/display/headless/headlessdisplay.h"
#include "platform/gdi/fake/gdifake.h"
#include "platform/headlessuser.h"
#include "platform/kernel/kernel.h"
#include "platform/window/headless/headlesswindow.h"
#include "support/no3ddevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

inline PlatDDPixelFormat Rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a = 0) {
  PlatDDPixelFormat f{sizeof(PlatDDPixelFormat), PLAT_DDPF_RGB, 0, bits, r, g, b, a};
  if (a) f.flags |= PLAT_DDPF_ALPHAPIXELS;
  return f;
}
inline PlatDDPixelFormat F565() { return Rgb(16, 0xF800, 0x07E0, 0x001F); }
inline PlatDDPixelFormat F555() { return Rgb(16, 0x7C00, 0x03E0, 0x001F); }
inline PlatDDPixelFormat F1555() { return Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000); }
inline PlatDDPixelFormat F4444() { return Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000); }
inline PlatDDPixelFormat F888() { return Rgb(32, 0xFF0000, 0xFF00, 0xFF); }
inline PlatDDPixelFormat F8888() { return Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u); }

inline PlatD3DFakeDevice FakeDevice(PlatD3DDeviceType type, const char* name) {
  PlatD3DFakeDevice d;
  d.description = name;
  d.name = name;
  d.desc = PlatD3DDeviceDesc{};
  d.desc.deviceType = type;
  d.desc.deviceRenderBitDepth = PLAT_DDBD_16 | PLAT_DDBD_32;
  d.desc.minTextureWidth = d.desc.minTextureHeight = 8;
  d.desc.maxTextureWidth = d.desc.maxTextureHeight = 1024;
  d.desc.maxTextureBlendStages = 8;
  d.desc.maxSimultaneousTextures = 8;
  return d;
}

// One call as the tests compare it: "SetRenderState(10,1)", "DrawPrimitive(...)" with the
// device argument left out.
inline std::string CallText(const PlatD3DFakeCall& c) {
  std::string s = c.operation + "(";
  static const std::vector<std::string> kWithDevice = {
      "SetRenderState", "SetTextureStageState", "SetTexture", "SetTransform", "SetViewport", "SetRenderTarget",
      "BeginScene", "EndScene", "DrawPrimitive", "DrawIndexedPrimitive", "DeviceRelease", "EnumTextureFormats"};
  size_t first = 0;
  for (const std::string& n : kWithDevice)
    if (n == c.operation) first = 1;
  // SetTransform's matrix and SetViewport's floats would make the text unreadable.
  size_t last = c.args.size();
  if (c.operation == "SetTransform") last = std::min<size_t>(last, 2);
  if (c.operation == "SetViewport") last = std::min<size_t>(last, 5);
  for (size_t i = first; i < last; i++) {
    if (i > first) s += ',';
    s += std::to_string(c.args[i]);
  }
  return s + ")";
}
inline std::string RS(uint32_t state, uint32_t value) {
  return "SetRenderState(" + std::to_string(state) + "," + std::to_string(value) + ")";
}
inline std::string TSS(uint32_t stage, uint32_t state, uint32_t value) {
  return "SetTextureStageState(" + std::to_string(stage) + "," + std::to_string(state) + "," + std::to_string(value) +
         ")";
}

class Direct3DTest : public ::testing::Test {
 protected:
  static constexpr char kClass[] = "Direct3DTest";
  PlatWnd window = 0;
  std::string log;
  DrawState savedDrawState{};

  // The lines as written, without the carriage returns of the line ends.
  static void Sink(const char* text, void* context) {
    for (const char* p = text; *p; p++)
      if (*p != '\r') static_cast<Direct3DTest*>(context)->log += *p;
  }
  static PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) {
    return PlatDefWindowProc(w, m, wp, lp);
  }

  static void ForgetRenderer() {
    g_Direct3D = Direct3DState{};
    std::memset(static_cast<void*>(g_Device3D), 0, sizeof g_Device3D);
    g_Renderer3DState = Renderer3DState{};
    g_Renderer3D = kNoRenderer3D;
  }

  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    PlatClockSetManual(1, 1000);
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatD3DFakeReset();
    ASSERT_EQ(PlatD3DSelectBackend("fake"), 0);
    PlatDisplayHeadlessSetModes(nullptr, 0);
    PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(1024, 768, 32, 60), 0);
    savedDrawState = g_DrawState;
    g_System = SystemData{};
    g_ScreenState = ScreenState{};
    ForgetRenderer();
    // The tests start the device themselves (Up), under their own script.
    PinNo3DDevice();
    SetLogDebuggerOnly(1);
    PlatSetDebugSink(Sink, this);
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, kClass};
    ASSERT_EQ(PlatRegisterClass(&wc), 1);
    window = PlatCreateWindow(0, kClass, "Kestr", 0x80CA0000, 0, 0, 640, 480);
    ASSERT_NE(window, 0u);
    g_System.mainWindow = window;
    g_System.mainThreadId = PlatThreadId();
    g_System.windowActive = 1;
    g_System.settings.initialising = 1;
    g_System.settings.osCode = 262;
    ASSERT_EQ(StartGraphicsWithFallback(window), 0);
    ASSERT_EQ(g_Direct3D.direct3D, 0u) << "the engine's own path leaves Direct3D off";
    PlatD3DFakeClearCalls();
    log.clear();
  }

  void TearDown() override {
    TerminateDirect3D();
    if (g_ScreenState.graphicsStarted) EndGraphics();
    ResetHeadlessUser();
    PlatSetDebugSink(nullptr, nullptr);
    SetLogDebuggerOnly(0);
    if (PlatIsWindow(window)) PlatDestroyWindow(window);
    PlatUnregisterClass(kClass);
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
    }
    ForgetRenderer();
    UnpinNo3DDevice();
    g_DrawState = savedDrawState;
    g_ScreenState = ScreenState{};
    g_System = SystemData{};
    PlatD3DFakeReset();
    PlatD3DSelectBackend("soft");
    PlatDDrawFakeReset();
    PlatGdiFakeReset();
    PlatDisplayHeadlessSetDesktop(PlatDisplayModeOf(1024, 768, 32, 60), 0);
    PlatClockSetManual(0);
  }

  // Direct3D on, its calls forgotten.
  void Up() {
    ASSERT_EQ(InitializeDirect3D(), 0) << log;
    PlatD3DFakeClearCalls();
    log.clear();
  }

  int32_t Current() const { return g_Direct3D.currentDevice; }
  Device3DRecord& Record() { return g_Device3D[g_Direct3D.currentDevice & 0xFFFF]; }

  bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }

  static std::vector<std::string> CallTexts() {
    std::vector<std::string> out;
    for (const PlatD3DFakeCall& c : PlatD3DFakeCalls()) out.push_back(CallText(c));
    return out;
  }
  static int CountOf(const std::string& operation) {
    int n = 0;
    for (const PlatD3DFakeCall& c : PlatD3DFakeCalls()) n += c.operation == operation;
    return n;
  }
  static const PlatD3DFakeCall* Last(const std::string& operation) {
    const PlatD3DFakeCall* found = nullptr;
    for (const PlatD3DFakeCall& c : PlatD3DFakeCalls())
      if (c.operation == operation) found = &c;
    return found;
  }
  static int RecordsInUse() {
    int n = 0;
    for (const Device3DRecord& r : g_Device3D) n += r.inUse ? 1 : 0;
    return n;
  }
  // A 16-bit texture surface record (a draw target when drawValid is 1) with the colour
  // key 0x00RRGGBB; its handle.
  static int32_t TextureSurface(uint8_t drawValid, uint32_t colorKey = 0) {
    SurfaceCreateFlags f{};
    f.texture = 1;
    f.drawValid = drawValid;
    f.bitDepth = 16;
    return AddSurfaceData(1, 32, 32, colorKey, &f);
  }
  // A graph record drawn from these tiles: 3D texture handles when texture is 1, else 2D
  // surface handles.
  static int32_t GraphOf(const std::vector<int32_t>& tiles, uint8_t texture) {
    GraphRecord* g = nullptr;
    const int32_t graph = AllocGraphRecord(32, 32, 0, &g, 0, 0);
    g->flags.texture = texture;
    for (int32_t tile : tiles) g->surfaces[g->surfaceCount++] = tile;
    return graph;
  }
  // The first pixel of a surface of 16 bits.
  static uint32_t FirstPixel16(PlatDDSurface surface) {
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    if (PlatDDSurfaceLock(surface, nullptr, &desc, PLAT_DDLOCK_WAIT) != PLAT_DD_OK) return 0xDEADBEEF;
    const uint32_t value = *static_cast<const uint16_t*>(desc.surface);
    PlatDDSurfaceUnlock(surface, nullptr);
    return value;
  }

  // count rectangles of two triangles each, untextured or of the texture record.
  static void AddRectangles(int count, const Surface3DData* texture = nullptr) {
    for (int i = 0; i < count; i++) ASSERT_NE(AddBatchVertices(texture, 0, PLAT_D3DPT_TRIANGLELIST, 6), nullptr);
  }
  // A 3D texture record over a new texture surface of 32 bits (so that texels go through
  // unchanged), with an alpha channel, an alpha test or neither, and the colour key
  // (0x00RRGGBB); null when it cannot be made. Termination removes it.
  enum TexelKind { PLAIN_TEXELS, ALPHA_CHANNEL_TEXELS, ALPHA_TEST_TEXELS };
  static Surface3DData* NewTexture(TexelKind kind, int32_t width, int32_t height, uint32_t colorKey = 0) {
    SurfaceCreateFlags flags{};
    flags.texture = 1;
    flags.alpha = kind == ALPHA_CHANNEL_TEXELS ? 1 : 0;
    flags.alphaTest = kind == ALPHA_TEST_TEXELS ? 1 : 0;
    flags.bitDepth = 32;
    const int32_t surface = AddSurfaceData(1, width, height, colorKey, &flags);
    if (surface < 0) return nullptr;
    const int32_t handle = AddTexture3DForTest(surface);
    if (handle < 0) RemoveSurfaceData(surface);
    return handle < 0 ? nullptr : LookupTexture3D(handle);
  }
  // The texture surface of a record.
  static PlatDDSurface SurfaceOf(const Surface3DData* texture) {
    const SurfaceData* s = texture ? LookupSurfaceData(texture->surface) : nullptr;
    return s ? s->surface : 0;
  }
};
