// Direct3D set-up and termination: the object of the DirectDraw object, the one hardware
// device chosen by enumeration, the Z-buffer format, the texture-format table with its
// fallbacks, and the dropping and re-making of the interfaces around a lost display.
#include "engine/base/log.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"
#include "engine/pixel/screen.h"

#include <algorithm>
#include <cstring>

namespace {

void* g_texture3DSlots[TEXTURE3D_TABLE_SIZE];

PixelFormatRecord ToRecord(const PlatDDPixelFormat& f) {
  static_assert(sizeof(PixelFormatRecord) == sizeof(PlatDDPixelFormat), "32-byte pixel formats");
  PixelFormatRecord r;
  std::memcpy(&r, &f, sizeof r);
  return r;
}

bool EntryEmpty(int32_t n) { return g_Renderer3DState.textureFormats.entries[n].colorFormat.bitDepth == 0; }

void StoreEntry(int32_t n, const PixelFormatRecord& pixelFormat, const ColorFormat& colorFormat) {
  TextureFormatEntry& e = g_Renderer3DState.textureFormats.entries[n];
  e.pixelFormat = pixelFormat;
  e.colorFormat = colorFormat;
}

// An empty entry takes a copy of another; later copies see the earlier ones.
void ApplyTextureFormatFallbacks() {
  static constexpr int32_t kFallbacks[][2] = {
      {TEXTURE_FORMAT_PLAIN32, TEXTURE_FORMAT_PLAIN16},     {TEXTURE_FORMAT_ALPHA32, TEXTURE_FORMAT_ALPHA16},
      {TEXTURE_FORMAT_ALPHATEST16, TEXTURE_FORMAT_ALPHA16}, {TEXTURE_FORMAT_ALPHATEST32, TEXTURE_FORMAT_ALPHA32},
      {TEXTURE_FORMAT_TARGET16, TEXTURE_FORMAT_PLAIN16},    {TEXTURE_FORMAT_TARGET32, TEXTURE_FORMAT_PLAIN32},
      {TEXTURE_FORMAT_TARGET_ALPHA, TEXTURE_FORMAT_ALPHA32},
  };
  TextureFormatEntry* entries = g_Renderer3DState.textureFormats.entries;
  for (const auto& [to, from] : kFallbacks)
    if (EntryEmpty(to)) entries[to] = entries[from];
}

void ReleaseObject() {
  PlatD3DRelease(g_Direct3D.direct3D);
  g_Direct3D.direct3D = 0;
}

void WriteCapabilityLines() {
  const Direct3DState& s = g_Direct3D;
  const PlatD3DDeviceDesc& d = s.deviceDesc;
  LogIndentIn();
  WriteLogFmt("テクスチャ最大幅:%u 最小幅:%u ", s.maxTextureSize, s.minTextureSize);
  WriteLogFmt("描画制限: D_D3DPTEXTURECAPS_POW2 = %d  D_D3DPTEXTURECAPS_SQUAREONLY = %d ",
              (d.triCaps.textureCaps & PLAT_D3DPTEXTURECAPS_POW2) ? 1 : 0,
              (d.triCaps.textureCaps & PLAT_D3DPTEXTURECAPS_SQUAREONLY) ? 1 : 0);
  WriteLogFmt("最大テクスチャステージ数 = %d   最大テクスチャブレンド数 = %d ", d.maxTextureBlendStages,
              d.maxSimultaneousTextures);
  if (d.maxTextureBlendStages < 4)
    WriteLog("使用可能テクスチャステージが 4 以下なので DrawBlendGraph は正常に機能しない可能性があります\n");
  WriteLog("テクスチャピクセルフォーマット\n");
  WriteLog("\t通常グラフィック用\n");
  for (int32_t n : {TEXTURE_FORMAT_PLAIN16, TEXTURE_FORMAT_PLAIN32}) {
    const ColorFormat& f = g_Renderer3DState.textureFormats.entries[n].colorFormat;
    WriteLogFmt("\t\t BIT:%u  RED:%u  GREEN:%u  BLUE:%u ", f.bitDepth, f.redWidth, f.greenWidth, f.blueWidth);
    WriteLogFmt("\t\t RED:%06x GREEN:%06x BLUE:%06x \n", f.redMask, f.greenMask, f.blueMask);
  }
  WriteLog("\tアルファチャンネル付きグラフィック用\n");
  for (int32_t n : {TEXTURE_FORMAT_ALPHA16, TEXTURE_FORMAT_ALPHA32}) {
    const ColorFormat& f = g_Renderer3DState.textureFormats.entries[n].colorFormat;
    WriteLogFmt("\t\t BIT:%u  ALPHA:%u  RED:%u  GREEN:%u  BLUE:%u ", f.bitDepth, f.alphaWidth, f.redWidth,
                f.greenWidth, f.blueWidth);
    WriteLogFmt("\t\t ALPHA:%08x RED:%08x GREEN:%08x BLUE:%08x \n", f.alphaMask, f.redMask, f.greenMask,
                f.blueMask);
  }
  LogIndentOut();
}

// The dropped state's termination: the records must go, or they leak and the device
// records stay taken. Only a record other than the current one can still hold an
// interface.
void ForgetDroppedRecords() {
  RemoveAllTextures();
  for (Device3DRecord& r : g_Device3D) {
    if (!r.inUse) continue;
    if (r.device) PlatD3DDeviceRelease(r.device);
    std::memset(&r, 0, sizeof r);
  }
  g_Direct3D.initialised = 0;
  g_Renderer3D = kNoRenderer3D;
}

}  // namespace

int EnumDeviceCallback(const char*, const char*, const PlatD3DDeviceDesc* desc, void* context) {
  if (!desc) return PLAT_D3DENUMRET_OK;
  const bool tnl = desc->deviceType == PLAT_D3DDEVTYPE_TNLHAL;
  if (!tnl && desc->deviceType != PLAT_D3DDEVTYPE_HAL) return PLAT_D3DENUMRET_OK;
  const int32_t depth = QueryScreenDepth();
  const uint32_t bit = depth == 16 ? uint32_t(PLAT_DDBD_16) : depth == 32 ? uint32_t(PLAT_DDBD_32) : 0u;
  if (!bit || !(desc->deviceRenderBitDepth & bit)) return PLAT_D3DENUMRET_OK;
  *static_cast<int32_t*>(context) = 1;
  g_Direct3D.deviceDesc = *desc;
  if (tnl) {
    WriteLog("ハードウエアＴ＆Ｌデバイスを発見しました\n");
    return PLAT_D3DENUMRET_CANCEL;
  }
  WriteLog("ＨＡＬデバイスを発見しました\n");
  return PLAT_D3DENUMRET_OK;
}

int EnumDepthFormatCallback(const PlatDDPixelFormat* format, void* context) {
  if (!format) return PLAT_D3DENUMRET_CANCEL;
  if (format->flags != PLAT_DDPF_ZBUFFER || format->fourCC != 0 || format->bitCount != 16)
    return PLAT_D3DENUMRET_OK;
  g_Renderer3DState.depthFormat = ToRecord(*format);
  *static_cast<int32_t*>(context) = 1;
  return PLAT_D3DENUMRET_CANCEL;
}

int EnumTextureFormatCallback(const PlatDDPixelFormat* format, void* context) {
  if (!format) return PLAT_D3DENUMRET_OK;
  if (format->flags & (PLAT_DDPF_LUMINANCE | PLAT_DDPF_BUMPLUMINANCE | PLAT_DDPF_BUMPDUDV | PLAT_DDPF_ALPHA) ||
      format->fourCC != 0)
    return PLAT_D3DENUMRET_OK;
  const PixelFormatRecord pixelFormat = ToRecord(*format);
  ColorFormat colorFormat{};
  if (ColorFormatFromPixelFormat(&pixelFormat, &colorFormat) != 0) return PLAT_D3DENUMRET_OK;
  if (colorFormat.alphaWidth != 0) {
    switch (colorFormat.alphaMask) {
      case 0xF000: StoreEntry(TEXTURE_FORMAT_ALPHA16, pixelFormat, colorFormat); break;
      case 0xFF000000u:
        StoreEntry(TEXTURE_FORMAT_ALPHA32, pixelFormat, colorFormat);
        StoreEntry(TEXTURE_FORMAT_ALPHATEST32, pixelFormat, colorFormat);
        break;
      case 0x8000: StoreEntry(TEXTURE_FORMAT_ALPHATEST16, pixelFormat, colorFormat); break;
      default: break;
    }
    return PLAT_D3DENUMRET_OK;
  }
  const int32_t n = colorFormat.bitDepth == 16 ? TEXTURE_FORMAT_PLAIN16
                    : colorFormat.bitDepth == 32 ? TEXTURE_FORMAT_PLAIN32
                                                 : -1;
  if (n < 0) return PLAT_D3DENUMRET_OK;
  // The screen's own format wins; else the first one offered stays.
  if (!EntryEmpty(n) && !SameColorFormat(&colorFormat, GetScreenColorFormat())) return PLAT_D3DENUMRET_OK;
  StoreEntry(n, pixelFormat, colorFormat);
  if (n == TEXTURE_FORMAT_PLAIN16) *static_cast<int32_t*>(context) = 1;
  return PLAT_D3DENUMRET_OK;
}

int InitializeDirect3D() {
  Direct3DState& s = g_Direct3D;
  if (s.direct3D) return -1;
  WriteLog("Direct3D 関連の初期化を行います\n");
  std::memset(&s, 0, sizeof s);
  g_Renderer3DState = Renderer3DState{};
  // The clear took the vertex colour of the draw state that stays.
  UpdateDrawVertexColor();
  HandleTableInit(&s.textures, HANDLE_TYPE_TEXTURE3D, g_texture3DSlots, TEXTURE3D_TABLE_SIZE);
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  if (PlatDDrawQueryDirect3D(GetDirectDrawObject(), &s.direct3D) != PLAT_D3D_OK) {
    s.direct3D = 0;
    return WriteLog("Direct3Dオブジェクトの作成に失敗しました\n");
  }
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得しました\n");

  int32_t found = 0;
  if (PlatD3DEnumDevices(s.direct3D, EnumDeviceCallback, &found) != PLAT_D3D_OK || !found) {
    WriteLog("現在の画面モードで使用できる描画デバイスが見つかりませんでした\n");
    ReleaseObject();
    return -1;
  }

  found = 0;
  g_Renderer3DState.depthFormat = PixelFormatRecord{};
  if (PlatD3DEnumZBufferFormats(s.direct3D, PLAT_D3DDEVTYPE_HAL, EnumDepthFormatCallback, &found) != PLAT_D3D_OK ||
      !found)
    WriteLog("使用可能なＺバッファが見つかりませんでした\n");

  const PlatDDSurface front = GetFrontSurface();
  const int32_t device = CreateDevice3D(front);
  if (device == -1) {
    ReleaseObject();
    return -1;
  }
  s.currentDevice = device;
  SetDeviceRenderTarget(front, device);

  int32_t& address = g_DrawState.direct3DSettings[D3D_SETTING_TEXTURE_ADDRESS];
  if (address == 0) address = PLAT_D3DTADDRESS_CLAMP;
  const PlatD3DDevice d = DeviceRecordAt(device)->device;
  int32_t result = 0;
  for (uint32_t stage : {3u, 2u, 1u, 0u})
    result = PlatD3DDeviceSetTextureStageState(d, stage, PLAT_D3DTSS_ADDRESS, uint32_t(address));
  if (result != PLAT_D3D_OK) {
    DeleteDevice3D();
    ReleaseObject();
    return -1;
  }

  g_Renderer3DState.textureFormats = TextureFormatTable{};
  found = 0;
  if (PlatD3DDeviceEnumTextureFormats(d, EnumTextureFormatCallback, &found) != PLAT_D3D_OK || !found) {
    WriteLog("使用可能なテクスチャフォーマットが見つかりませんでした\n");
    DeleteDevice3D();
    ReleaseObject();
    return -1;
  }
  ApplyTextureFormatFallbacks();
  s.endSceneAfterDraw = 1;

  const PlatD3DDeviceDesc& desc = s.deviceDesc;
  s.minTextureSize = std::min(desc.minTextureWidth, desc.minTextureHeight);
  if (s.minTextureSize == 0) s.minTextureSize = 32;
  s.maxTextureSize = std::min(desc.maxTextureWidth, desc.maxTextureHeight);
  if (s.maxTextureSize == 0) s.maxTextureSize = 256;
  s.plainReadBackMethod = -1;
  s.alphaReadBackMethod = -1;

  WriteCapabilityLines();
  WriteLog("Direct3D 関連の初期化は正常に終了しました\n");
  s.initialised = 1;
  g_Renderer3D = kDirect3DRenderer;
  return 0;
}

int TerminateDirect3D() {
  Direct3DState& s = g_Direct3D;
  if (!s.direct3D) {
    if (s.initialised) ForgetDroppedRecords();
    return -1;
  }
  WriteLog("Direct3D 関連の終了処理を行います\n");
  EndSceneOnDevice(s.currentDevice);
  s.endSceneAfterDraw = 0;
  Device3DRecord* r = LiveDeviceRecord(s.currentDevice);
  if (r && (r->texture || r->forceStates)) {
    FlushVertexBatch(s.currentDevice);
    r->textureDirty = 1;
    if (r->texture) r->statesDirty = 1;
    r->texture = 0;
  }
  RemoveAllTextures();
  DeleteDevice3D();
  ReleaseObject();
  WriteLog("Direct3D 関連の終了処理は正常に終了しました\n");
  s.initialised = 0;
  g_Renderer3D = kNoRenderer3D;
  return 0;
}

int ReleaseDirect3DObject() {
  Direct3DState& s = g_Direct3D;
  if (!s.initialised) return -1;
  ReleaseDevice3DObject(s.currentDevice);
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放します\n");
  if (s.direct3D) {
    ReleaseObject();
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを解放しました\n");
  } else {
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に解放されています\n");
  }
  return 0;
}

int AcquireDirect3DObject() {
  Direct3DState& s = g_Direct3D;
  if (!s.initialised) return 0;
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  if (s.direct3D) {
    WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは既に取得されています\n");
    return 0;
  }
  if (PlatDDrawQueryDirect3D(GetDirectDrawObject(), &s.direct3D) != PLAT_D3D_OK) {
    s.direct3D = 0;
    return WriteLog("Direct3Dオブジェクトの作成に失敗しました\n");
  }
  WriteLog("Ｄｉｒｅｃｔ３Ｄオブジェクトは正常に取得されました\n");
  Device3DRecord* r = DeviceRecordAt(s.currentDevice);
  r->ownRenderTarget = GetFrontSurface();
  r->renderTarget = GetTargetSurface();
  CreateDeviceDefaults(s.currentDevice);
  return 0;
}
