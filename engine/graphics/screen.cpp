// The screen model: the DirectDraw object, the clipper, the screen surfaces or their
// software images, the palette, the overlay probe and the accessors.
#include "engine/graphics/screen.h"

#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/services.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/memimg.h"
#include "engine/state/fatal.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "platform/keys/keytable.h"

#include <cstring>

namespace {

// The records behind the screen images; ScreenState points at them while they exist.
MEMIMG g_primaryImage, g_backImage, g_zImage;

struct OverlayFormat {
  PlatDDPixelFormat format;
  const char* name;
};

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
         uint32_t(uint8_t(d)) << 24;
}

const OverlayFormat kOverlayFormats[4] = {
    {{32, PLAT_DDPF_FOURCC, FourCC('U', 'Y', 'V', 'Y'), 0, 0, 0, 0, 0}, " UYVY"},
    {{32, PLAT_DDPF_FOURCC, FourCC('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0}, " YUY2"},
    {{32, PLAT_DDPF_RGB, 0, 16, 0x7C00, 0x03E0, 0x001F, 0}, " 16-bit RGB 5:5:5 "},
    {{32, PLAT_DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0}, " 16-bit RGB 5:6:5 "},
};

void ScreenSize(uint32_t* width, uint32_t* height) {
  const ScreenState& s = g_ScreenState;
  *width = s.width ? s.width : 640;
  *height = s.height ? s.height : 480;
}

PlatDDSurfaceDesc SurfaceDesc(uint32_t caps, uint32_t width, uint32_t height) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS;
  d.caps = caps;
  if (width) {
    d.flags |= PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT;
    d.width = width;
    d.height = height;
  }
  return d;
}

// A surface or the end of the process with the message.
PlatDDSurface MakeSurface(const PlatDDSurfaceDesc& desc, const char* fatal) {
  PlatDDSurface surface = 0;
  if (PlatDDrawCreateSurface(g_ScreenState.ddraw, &desc, &surface) != PLAT_DD_OK) FatalEngineExit(fatal);
  return surface;
}

void FillWithBackground(PlatDDSurface surface) {
  const SystemSettings& set = g_System.settings;
  PlatDDBltFx fx{};
  fx.size = sizeof fx;
  fx.fillColor = PackScreenColorCore(set.backgroundRed, set.backgroundGreen, set.backgroundBlue);
  PlatDDSurfaceBlt(surface, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL | PLAT_DDBLT_WAIT, &fx);
}

PlatDDSurface MakeFilledOffscreen(uint32_t width, uint32_t height, const char* fatal) {
  const PlatDDSurface surface =
      MakeSurface(SurfaceDesc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_3DDEVICE, width, height), fatal);
  FillWithBackground(surface);
  return surface;
}

void ClearImageToBackground(MEMIMG* img) {
  const SystemSettings& set = g_System.settings;
  ClearMemImgRect(img, nullptr,
                  ColorToPixelValue(img->data->format, set.backgroundRed, set.backgroundGreen,
                                    set.backgroundBlue, 255));
}

// The screen images of the software-rendered modes.
void CreateScreenImages(uint32_t width, uint32_t height) {
  ScreenState& s = g_ScreenState;
  const int32_t kind = QueryScreenDepth() == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888;
  if (CreateScreenMemImg(&g_primaryImage, int32_t(width), int32_t(height), kind) != 0)
    FatalEngineExit("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  s.primaryImage = &g_primaryImage;

  const bool shareable = s.formatCode == SCREEN_FORMAT_XRGB8888 || s.formatCode == SCREEN_FORMAT_RGB565;
  if (!s.noDirectDraw && s.requestedDepth == s.depth && shareable) {
    PlatDDSurfaceDesc locked{};
    locked.size = sizeof locked;
    if (PlatDDSurfaceLock(s.back, nullptr, &locked, PLAT_DDLOCK_WAIT) != PLAT_DD_OK)
      FatalEngineExit("バックサーフェスのロックに失敗しました");
    s.backLocked = 1;
    std::memset(&g_backImage, 0, sizeof g_backImage);
    if (CreateMemImg(&g_backImage, int32_t(width), int32_t(height), locked.pitch, 0,
                     s.depth == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888, 0, 0, 0,
                     locked.surface) != 0)
      FatalEngineExit("バックサーフェス用の MEMIMG の作成に失敗しました\n");
  } else if (CreateScreenMemImg(&g_backImage, int32_t(width), int32_t(height), kind) != 0) {
    FatalEngineExit("バックサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  s.backImage = &g_backImage;

  if (CreateDepthMemImg(&g_zImage, int32_t(width), int32_t(height)) != 0)
    FatalEngineExit("Ｚバッファサーフェス用の MEMIMG の作成に失敗しました\n");
  s.zImage = &g_zImage;
  ClearImageToBackground(s.primaryImage);
  ClearImageToBackground(s.backImage);
}

void CreateDirectDrawSurfaces(uint32_t width, uint32_t height) {
  ScreenState& s = g_ScreenState;
  if (IsWindowedMode()) {
    s.primary = MakeSurface(SurfaceDesc(PLAT_DDSCAPS_PRIMARYSURFACE | PLAT_DDSCAPS_3DDEVICE, 0, 0),
                            "プライマリサーフェスの作成に失敗しました");
    s.back = MakeFilledOffscreen(width, height, "バックサーフェスの作成に失敗しました");
  } else {
    PlatDDSurfaceDesc chain = SurfaceDesc(PLAT_DDSCAPS_PRIMARYSURFACE | PLAT_DDSCAPS_FLIP |
                                              PLAT_DDSCAPS_COMPLEX | PLAT_DDSCAPS_3DDEVICE,
                                          0, 0);
    chain.flags |= PLAT_DDSD_BACKBUFFERCOUNT;
    chain.backBufferCount = 1;
    s.primary = MakeSurface(chain, "プライマリサーフェスの作成に失敗しました");
    if (PlatDDSurfaceGetAttachedSurface(s.primary, PLAT_DDSCAPS_BACKBUFFER, &s.back) != PLAT_DD_OK)
      FatalEngineExit("バックバッファのポインタ取得に失敗しました");
    // Both buffers start with the background, whichever the chain shows first.
    for (int i = 0; i < 3; i++) {
      FillWithBackground(s.back);
      PlatDDSurfaceFlip(s.primary, 0, PLAT_DDFLIP_NOVSYNC);
    }
  }
  if (s.useTemporaryPrimary)
    s.temporaryPrimary = MakeFilledOffscreen(width, height, "テンポラリプライマリサーフェスの作成に失敗しました");
  if (g_System.settings.osCode == 264)
    s.temporaryPrimary320 = MakeFilledOffscreen(320, 240, "320x240用テンポラリプライマリサーフェスの作成に失敗しました");

  const PlatDDColorKey black{0, 0};
  s.work1 = MakeSurface(SurfaceDesc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, width, height),
                        "作業用サーフェスの作成に失敗しました");
  PlatDDSurfaceSetColorKey(s.work1, PLAT_DDCKEY_SRCBLT, &black);
  s.work2 = MakeSurface(SurfaceDesc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, width, height),
                        "作業用サーフェス２の作成に失敗しました");
  PlatDDSurfaceSetColorKey(s.work2, PLAT_DDCKEY_SRCBLT, &black);

  PlatDDSurfaceDesc z = SurfaceDesc(PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_VIDEOMEMORY, width, height);
  z.flags |= PLAT_DDSD_PIXELFORMAT;
  std::memcpy(&z.pixelFormat, DepthBufferPixelFormat(16), sizeof z.pixelFormat);
  PlatDDSurface zBuffer = 0;
  if (PlatDDrawCreateSurface(s.ddraw, &z, &zBuffer) != PLAT_DD_OK) {
    WriteLog("Ｚバッファの作成に失敗しました\n");
  } else if (PlatDDSurfaceAddAttachedSurface(s.back, zBuffer) != PLAT_DD_OK) {
    // A Z buffer the back surface does not take serves nothing: go on without it.
    PlatDDSurfaceRelease(zBuffer);
    WriteLog("Ｚバッファの作成に失敗しました\n");
  } else {
    s.zBuffer = zBuffer;
  }
}

const char* MemoryName(PlatDDSurface surface) {
  uint32_t caps = 0;
  PlatDDSurfaceGetCaps(surface, &caps);
  return caps & PLAT_DDSCAPS_VIDEOMEMORY ? "VIDEOMEMORY" : "SYSTEMMEMORY";
}

void ReleaseSurface(PlatDDSurface* surface) {
  if (*surface) PlatDDSurfaceRelease(*surface);
  *surface = 0;
}

void ProbeOverlay() {
  ScreenState& s = g_ScreenState;
  s.overlayFormatIndex = -1;
  PlatDDraw first = 0;
  if (PlatDDrawQueryFirstGeneration(s.ddraw, &first) != PLAT_DD_OK) return;
  s.driverCaps = PlatDDCaps{};
  s.driverCaps.size = sizeof s.driverCaps;
  PlatDDrawGetCaps(first, &s.driverCaps, nullptr);
  if (!(s.driverCaps.minOverlayStretch >= 1000 && s.driverCaps.maxOverlayStretch >= 2000)) {
    for (int row = 0; row < 4 && s.overlayFormatIndex < 0; row++) {
      PlatDDSurfaceDesc desc = SurfaceDesc(PLAT_DDSCAPS_OVERLAY | PLAT_DDSCAPS_VIDEOMEMORY, 16, 16);
      desc.flags |= PLAT_DDSD_PIXELFORMAT;
      desc.pixelFormat = kOverlayFormats[row].format;
      PlatDDSurface test = 0;
      if (PlatDDrawCreateSurface(first, &desc, &test) != PLAT_DD_OK) continue;
      uint32_t caps = 0;
      PlatDDSurfaceGetCaps(test, &caps);
      if (!(caps & PLAT_DDSCAPS_SYSTEMMEMORY)) s.overlayFormatIndex = row;
      PlatDDSurfaceRelease(test);
    }
  }
  if (s.overlayFormatIndex >= 0)
    WriteLogFmt("オーバーレイサーフェスを使用します　　　%s", kOverlayFormats[s.overlayFormatIndex].name);
  else
    WriteLog("オーバーレイサーフェスは使用しません\n");
  PlatDDrawRelease(first);
}

void ReleasePalette() {
  ScreenState& s = g_ScreenState;
  if (s.palette) PlatDDPaletteRelease(s.palette);
  s.palette = 0;
}

int SetPaletteOnAttached(PlatDDSurface surface, const PlatDDSurfaceDesc*, void*) {
  PlatDDSurfaceSetPalette(surface, g_ScreenState.palette);
  PlatDDSurfaceRelease(surface);
  return 1;
}

}  // namespace

// ---- start and end ------------------------------------------------------------------------

int StartDirectDraw() {
  ScreenState& s = g_ScreenState;
  if (s.ddraw) return -1;
  WriteLog("DirectDraw 関連の初期化を行います\n");
  LogIndentIn();
  if (s.noDirectDraw) {
    EnableHardware3D(0);
    SetGraphSoftwareSurfaceMode(0);
    SetHardwareRendering(0);
  }
  if (AcquireDirectDraw(&s.ddraw) != 0) FatalEngineExit("DirectDrawオブジェクトの作成に失敗しました");
  if (!s.noDirectDraw && CreateWindowClipper(s.ddraw, &s.clipper, s.window) != 0)
    FatalEngineExit("DirectDrawClipperオブジェクトの作成時にエラーが発生しました");
  if (!s.width) s.width = 640;
  if (!s.height) s.height = 480;
  if (!s.depth) s.depth = 16;
  s.requestedDepth = s.depth;
  if (ApplyScreenMode(-1, -1, -1, 1, -1) == -1) {
    LogIndentOut();
    ShutdownDirectDraw();
    return -1;
  }
  if (!IsWindowRgnSet()) {
    SetDrawTargetCore(DRAW_SCREEN_BACK);
    ClearDrawTargetCore();
    SetDrawTargetCore(DRAW_SCREEN_FRONT);
  }
  s.screenReady = 1;
  s.mmxUsable = int32_t(IsMmxUsable());
  if (g_System.settings.osCode == 264) s.overlayFormatIndex = -1;
  else ProbeOverlay();
  LogIndentOut();
  WriteLog("DirectDraw 関連の初期化は正常に終了しました\n");
  BuildBlendTables();
  s.directDrawStarted = 1;
  return 0;
}

int ShutdownDirectDraw() {
  ScreenState& s = g_ScreenState;
  PlatKillTimer(s.window, 32767);
  if (s.noDirectDraw) {
    WriteLog("DirectDraw 関連の終了処理をおこないます\n");
    LogIndentIn();
    TerminateGraphManager();
    DeleteAllSurfaces2D();
    ReleaseScreenSurfaces();
    WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
    if (s.ddraw) PlatDDrawRelease(s.ddraw);
  } else {
    if (!s.ddraw) return 0;
    WriteLog("DirectDraw 関連の終了処理をおこないます\n");
    LogIndentIn();
    ReleasePalette();
    TerminateGraphManager();
    DeleteAllSurfaces2D();
    g_Renderer3D.terminateDirect3D();
    ReleaseScreenSurfaces();
    ReleaseClipper();
    WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
    PlatDDrawRelease(s.ddraw);
  }
  s.ddraw = 0;
  WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
  RestoreDesktopDisplayMode();
  LogIndentOut();
  WriteLog("DirectDraw 関連の終了処理は正常に終了しました\n");
  s.directDrawStarted = 0;
  s.screenReady = 0;
  return 0;
}

// ---- the DirectDraw object -------------------------------------------------------------

int AcquireDirectDraw(PlatDDraw* object) {
  WriteLog("DirectDraw オブジェクトの取得を行います....  ");
  PlatDDraw created = 0;
  if (PlatDDrawCreate(&created) != PLAT_DD_OK) {
    WriteLog("オブジェクトの取得に失敗しました\n");
    return -1;
  }
  WriteLog("成功\n");
  WriteLog("引き続き初期化処理... ");
  WriteLog("初期化に成功しました\n");

  SystemSettings& set = g_System.settings;
  WriteLog("ビデオカードの情報\n");
  LogIndentIn();
  if (PlatGetKeyState(PLAT_VK_SHIFT) & 0x80) {
    PlatDDDeviceIdentifier id{};
    PlatDDrawGetDeviceIdentifier(created, &id);
    id.driver[sizeof id.driver - 1] = '\0';
    id.description[sizeof id.description - 1] = '\0';
    const uint64_t v = id.driverVersion;
    WriteLogFmt("ビデオカードドライバ:%s バージョン:%u.%u.%u.%u ", id.driver, unsigned(v >> 48 & 0xFFFF),
                unsigned(v >> 32 & 0xFFFF), unsigned(v >> 16 & 0xFFFF), unsigned(v & 0xFFFF));
    WriteLogFmt("ドライバ記述:%s \n", id.description);
    FormatText(set.videoDriverName, sizeof set.videoDriverName, "%s", id.driver);
    FormatText(set.videoDriverDescription, sizeof set.videoDriverDescription, "%s", id.description);
    PlatDDSurfaceDesc caps = SurfaceDesc(PLAT_DDSCAPS_VIDEOMEMORY, 0, 0);
    uint32_t total = 0, free = 0;
    PlatDDrawGetAvailableVidMem(created, &caps, &total, &free);
    WriteLogFmt("ビデオメモリ総量:%.2fMB ビデオメモリ空き容量:%.2fMB", total / 1048576.0, free / 1048576.0);
    set.videoMemoryFree = free;
    set.videoMemoryTotal = total;
  } else {
    set.videoDriverName[0] = '\0';
    set.videoDriverDescription[0] = '\0';
    set.videoMemoryFree = 0;
    set.videoMemoryTotal = 0x1000000;
  }
  LogIndentOut();
  PlatDDrawSetCooperativeLevel(created, GetEngineWindowHandle(), PLAT_DDSCL_NORMAL);
  *object = created;
  return 0;
}

int CreateWindowClipper(PlatDDraw object, PlatDDClipper* clipper, PlatWnd window) {
  PlatDDClipper made = 0;
  if (PlatDDrawCreateClipper(object, 0, &made) != PLAT_DD_OK ||
      PlatDDClipperSetHWnd(made, 0, window) != PLAT_DD_OK) {
    if (made) PlatDDClipperRelease(made);
    WriteLog("ＤｉｒｅｃｔＤｒａｗＣｌｉｐｐｅｒオブジェクトの作成に失敗しました\n");
    return -1;
  }
  *clipper = made;
  return 0;
}

int ReleaseClipper() {
  ScreenState& s = g_ScreenState;
  if (s.clipper) PlatDDClipperRelease(s.clipper);
  s.clipper = 0;
  return 0;
}

int RecreateClipper() {
  ScreenState& s = g_ScreenState;
  // Without DirectDraw rendering the window has no clipper (the object only sets modes).
  if (!s.ddraw || s.noDirectDraw) return 0;
  ReleaseClipper();
  if (CreateWindowClipper(s.ddraw, &s.clipper, s.window) != 0)
    FatalEngineExit("クリッパーオブジェクトの作成失敗しました");
  return 0;
}

int ReleaseDirectDraw() {
  ScreenState& s = g_ScreenState;
  WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\n");
  if (!s.ddraw && !s.noDirectDraw) {
    WriteLog("既に解放されています\n");
    return 0;
  }
  ReleaseAllSurface2DObjects();
  if (!IsWindowedMode() && s.displayModeChanged) LeaveFullScreenDisplayMode();
  ReleasePalette();
  ReleaseClipper();
  if (s.ddraw) PlatDDrawRelease(s.ddraw);
  s.ddraw = 0;
  WriteLog("ＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\n");
  return 0;
}

int ReacquireDirectDraw() {
  ScreenState& s = g_ScreenState;
  if (!s.ddraw && AcquireDirectDraw(&s.ddraw) != 0)
    FatalEngineExit("DirectDraw オブジェクトの作成処理時にエラーが発生しました");
  ReapplyDisplayMode();
  RecreateAllSurface2DObjects();
  RecreateClipper();
  return 0;
}

// ---- surfaces, format, palette ---------------------------------------------------------

int SetupScreenColorFormat() {
  ScreenState& s = g_ScreenState;
  if (s.noDirectDraw) {
    if (s.depth != 16 && s.depth != 32) s.depth = 16;
    s.colorFormat = *GetMemImgColorFormat(s.depth == 16 ? MEMIMG_KIND_RGB565 : MEMIMG_KIND_XRGB8888, 0, 0);
    return 0;
  }
  if (!s.ddraw) return 0;
  PlatDDSurfaceDesc mode{};
  mode.size = sizeof mode;
  if (PlatDDrawGetDisplayMode(s.ddraw, &mode) != PLAT_DD_OK) return 0;
  std::memcpy(&s.pixelFormat, &mode.pixelFormat, sizeof s.pixelFormat);
  ColorFormatFromPixelFormat(&s.pixelFormat, &s.colorFormat);
  const PixelFormatRecord& f = s.pixelFormat;
  WriteLog("カラー情報\n");
  LogIndentIn();
  WriteLogFmt("A:%08x  B:%08x  G:%08x  B:%08x", f.alphaMask, f.redMask, f.greenMask, f.blueMask);
  LogIndentOut();
  s.depth = f.bitCount;
  if (f.redMask == 0xF800 && f.greenMask == 0x07E0 && f.blueMask == 0x001F) s.formatCode = SCREEN_FORMAT_RGB565;
  else if (f.redMask == 0x7C00 && f.greenMask == 0x03E0 && f.blueMask == 0x001F) s.formatCode = SCREEN_FORMAT_RGB555;
  else if (f.redMask == 0xFF0000 && f.greenMask == 0xFF00 && f.blueMask == 0xFF) s.formatCode = SCREEN_FORMAT_XRGB8888;
  else s.formatCode = SCREEN_FORMAT_OTHER;
  return 0;
}

int CreateScreenSurfaces() {
  ScreenState& s = g_ScreenState;
  if (g_System.settings.noGraphics) return 0;
  if (!s.noDirectDraw && (!s.ddraw || s.primary)) return -1;
  WriteLog("出力画面用の DirectDrawSurface を作成します\n");
  LogIndentIn();
  uint32_t width, height;
  ScreenSize(&width, &height);
  if (s.softwareRender && s.depth != 8) {
    s.screenImages = 1;
    if (!s.noDirectDraw) {
      s.primary = MakeSurface(SurfaceDesc(PLAT_DDSCAPS_PRIMARYSURFACE | PLAT_DDSCAPS_SYSTEMMEMORY, 0, 0),
                              "プライマリサーフェスの作成に失敗しました");
      s.back = MakeSurface(SurfaceDesc(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY, width, height),
                           "バックサーフェスの作成に失敗しました");
      FillWithBackground(s.back);
    }
    CreateScreenImages(width, height);
  } else {
    s.screenImages = 0;
    s.requestedDepth = s.depth;
    CreateDirectDrawSurfaces(width, height);
  }
  WriteLog("各スクリーンメモリの配置位置\n");
  LogIndentIn();
  if (s.screenImages) {
    WriteLog("PrimaryBuffer : SYSTEMMEMORY( MEMIMG ) ");
    WriteLog("BaskBuffer : SYSTEMMEMORY( MEMIMG ) ");
  } else {
    WriteLogFmt("PrimaryBuffer : %s  ", MemoryName(s.primary));
    WriteLogFmt("BaskBuffer : %s  ", MemoryName(s.back));
  }
  LogIndentOut();
  LogIndentOut();
  WriteLog("出力画面用の DirectDrawSurface の作成は正常に終了しました\n");
  return 0;
}

int ReleaseScreenSurfaces() {
  ScreenState& s = g_ScreenState;
  if (!s.noDirectDraw && !s.ddraw) return -1;
  // Only a lock that the creation took is given back (a 5:5:5 display never had one).
  if (s.backLocked && s.back) PlatDDSurfaceUnlock(s.back, nullptr);
  s.backLocked = 0;
  if (s.zBuffer) {
    if (s.back) PlatDDSurfaceDeleteAttachedSurface(s.back, s.zBuffer);
    ReleaseSurface(&s.zBuffer);
  }
  if (s.primary) {
    WriteLog("メインサーフェスを破棄をします... 完了しました\n");
    PlatDDSurfaceSetClipper(s.primary, 0);
  }
  ReleaseSurface(&s.back);
  ReleaseSurface(&s.primary);
  ReleaseSurface(&s.temporaryPrimary);
  ReleaseSurface(&s.temporaryPrimary320);
  ReleaseSurface(&s.work1);
  ReleaseSurface(&s.work2);
  ReleaseDrawTargetSurface();
  if (s.screenImages || s.primaryImage || s.backImage || s.zImage) {
    s.primaryImage = s.backImage = s.zImage = nullptr;
    ReleaseMemImg(&g_primaryImage);
    ReleaseMemImg(&g_backImage);
    ReleaseMemImg(&g_zImage);
    std::memset(&g_primaryImage, 0, sizeof g_primaryImage);
    std::memset(&g_backImage, 0, sizeof g_backImage);
    std::memset(&g_zImage, 0, sizeof g_zImage);
    s.screenImages = 0;
  }
  return 0;
}

int RestoreLostScreenSurfaces() {
  ScreenState& s = g_ScreenState;
  if (!s.ddraw) return -1;
  for (PlatDDSurface surface : {s.primary, s.temporaryPrimary, s.temporaryPrimary320, s.back, s.zBuffer})
    if (surface && PlatDDSurfaceIsLost(surface) == PLAT_DDERR_SURFACELOST) PlatDDSurfaceRestore(surface);
  return 0;
}

const uint32_t* DefaultScreenPalette() {
  // A 3:3:2 cube: index 0 is black and index 255 white.
  static uint32_t entries[256];
  if (entries[255] == 0) {
    for (uint32_t i = 0; i < 256; i++) {
      const uint32_t r = (i >> 5) * 255 / 7, g = (i >> 2 & 7) * 255 / 7, b = (i & 3) * 255 / 3;
      entries[i] = r << 16 | g << 8 | b;
    }
  }
  return entries;
}

int CreateScreenPalette() {
  ScreenState& s = g_ScreenState;
  if (!s.ddraw || s.palette || s.depth != 8) return 0;
  PlatDDPaletteEntry entries[256];
  const uint32_t* rgb = DefaultScreenPalette();
  for (int i = 0; i < 256; i++)
    entries[i] = {uint8_t(rgb[i] >> 16), uint8_t(rgb[i] >> 8), uint8_t(rgb[i]), 0};
  if (PlatDDrawCreatePalette(s.ddraw, PLAT_DDPCAPS_8BIT, entries, &s.palette) != PLAT_DD_OK)
    FatalEngineExit("パレットの作成に失敗しました");
  if (s.primary) PlatDDSurfaceSetPalette(s.primary, s.palette);
  if (IsWindowedMode()) {
    if (s.back) PlatDDSurfaceSetPalette(s.back, s.palette);
  } else if (s.primary) {
    PlatDDSurfaceEnumAttachedSurfaces(s.primary, nullptr, SetPaletteOnAttached);
  }
  return 0;
}

int RebuildScreenPalette() {
  ScreenState& s = g_ScreenState;
  if (s.requestedDepth != 8) return 0;
  PlatDDPaletteEntry kept[256];
  const bool had = s.palette && PlatDDPaletteGetEntries(s.palette, 0, 0, 256, kept) == PLAT_DD_OK;
  // The palette is made anew: the old one belongs to the display objects that went.
  ReleasePalette();
  CreateScreenPalette();
  if (had && s.palette) {
    PlatDDPaletteSetEntries(s.palette, 0, 0, 256, kept);
    PlatDDPaletteGetEntries(s.palette, 0, 0, 256, kept);
  }
  return 0;
}

// ---- settings and accessors ------------------------------------------------------------

int SetNo3DSetting(int32_t flag) {
  ScreenState& s = g_ScreenState;
  s.no3D = s.noDirectDraw ? 1 : flag;
  return 0;
}

int SetUseTemporaryPrimary(int32_t flag) {
  ScreenState& s = g_ScreenState;
  if (!s.ddraw) s.useTemporaryPrimary = flag;
  return 0;
}

int GetUseTemporaryPrimary() { return g_ScreenState.useTemporaryPrimary; }

int QueryScreenSize(int32_t* width, int32_t* height) {
  uint32_t w, h;
  ScreenSize(&w, &h);
  if (width) *width = int32_t(w);
  if (height) *height = int32_t(h);
  return 0;
}

int QueryScreenFormat(int32_t* width, int32_t* height, int32_t* depth) {
  QueryScreenSize(width, height);
  if (depth) *depth = g_ScreenState.depth ? int32_t(g_ScreenState.depth) : 16;
  return 0;
}

const ColorFormat* GetScreenColorFormat() { return &g_ScreenState.colorFormat; }
const PixelFormatRecord* GetScreenPixelFormatCore() { return &g_ScreenState.pixelFormat; }
PlatDDraw GetDirectDrawObject() { return g_ScreenState.ddraw; }
int IsDirectDrawUsed() { return g_ScreenState.noDirectDraw ? 0 : 1; }
int IsSoftwareRendering() { return g_ScreenState.softwareRender; }
int GetNo3DSetting() { return g_ScreenState.no3D; }
int IsDisplayModeChanged() { return g_ScreenState.displayModeChanged; }
PlatDDSurface GetTargetSurface() { return g_ScreenState.targetSurface; }

PlatDDSurface GetFrontSurface() {
  const ScreenState& s = g_ScreenState;
  return s.useTemporaryPrimary ? s.temporaryPrimary : s.primary;
}

PlatDDSurface GetBackSurface() { return g_ScreenState.back; }
PlatDDSurface GetWorkSurface() { return g_ScreenState.work1; }

int IsTargetFrontSurface() {
  const ScreenState& s = g_ScreenState;
  return IsWindowedMode() && s.targetSurface && s.targetSurface == s.primary ? 1 : 0;
}

const PlatDDPixelFormat* GetOverlayPixelFormat() {
  const ScreenState& s = g_ScreenState;
  uint32_t width, height;
  ScreenSize(&width, &height);
  if (width < 640 || height < 400 || s.overlayFormatIndex < 0 || s.overlayFormatIndex > 3) return nullptr;
  return &kOverlayFormats[s.overlayFormatIndex].format;
}

PlatDDCaps* CopyDirectDrawCaps(PlatDDCaps* out) {
  if (out) *out = g_ScreenState.driverCaps;
  return out;
}

int GetGdiSurfaceMode() { return g_ScreenState.gdiSurfaceRequest; }

// ---- graphics start and end ------------------------------------------------------------

int StartGraphicsWithFallback(PlatWnd window) {
  ScreenState& s = g_ScreenState;
  if (s.graphicsStarted) return -1;
  s.window = window;
  // A window closed while the engine was starting takes no display objects: the start
  // goes on to its end instead of dying on a clipper or a level for a window that is gone.
  if (IsEndRequested() || !PlatIsWindow(window)) {
    WriteLog("ウインドウが閉じられたため画面は作成しません\n");
    s.graphicsStarted = 1;
    return 0;
  }
  if (StartDirectDraw() != 0) {
    if (IsSoftwareRendering()) FatalEngineExit("DirectDraw の初期化に失敗しました");
    WriteLog("ソフトウエアレンダリングモードに変更します\n");
    SetHardwareRendering(0);
    if (StartDirectDraw() != 0) FatalEngineExit("DirectDraw の初期化に失敗しました");
  }
  s.graphicsStarted = 1;
  return 0;
}

int EndGraphics() {
  ShutdownDirectDraw();
  g_ScreenState.graphicsStarted = 0;
  return 0;
}
