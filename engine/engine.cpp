// The public entry points: thirty forward to their cores unchanged, without the lock;
// the three locked ones at the end take the engine lock around their cores.
#include "engine/engine.h"

#include "engine/base/lock.h"
#include "engine/base/random.h"
#include "engine/base/strutil.h"
#include "engine/font/services.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/services.h"
#include "engine/pixel/colorformat.h"
#include "engine/sound/services.h"
#include "engine/state/state.h"
#include "engine/system/input.h"
#include "engine/system/placement.h"
#include "engine/system/system.h"
#include "platform/kernel/kernel.h"

#include <cstdarg>

int ChangeWindowMode(int32_t windowed) { return ChangeWindowModeCore(windowed); }
uint32_t GetTickMs() { return PlatTimeMs(); }
int32_t RandomInt(uint32_t max) { return RandomIntCore(int32_t(max)); }

int WaitAnyInput() { return WaitAnyInputCore(); }
int IsKeyDown(int32_t key) { return IsKeyDownCore(key); }
int GetFirstHeldInput(int32_t typeMask) { return GetFirstHeldInputCore(typeMask); }
int ReadPadState(int32_t pad) { return ReadPadStateCore(pad); }

const PixelFormatRecord* GetScreenPixelFormat() { return GetScreenPixelFormatCore(); }

uint32_t PackScreenColor(int32_t red, int32_t green, int32_t blue) {
  return PackScreenColorCore(red, green, blue);
}

int SetupFormatFromMasks(ColorFormat* format, int32_t bitDepth, uint32_t redMask,
                         uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
  return SetupFormatFromMasksCore(format, bitDepth, redMask, greenMask, blueMask, alphaMask);
}

int MakeRgbPixelFormat(PixelFormatRecord* record, uint32_t bitCount, uint32_t redMask,
                       uint32_t greenMask, uint32_t blueMask, uint32_t alphaMask) {
  return MakeRgbPixelFormatCore(record, bitCount, redMask, greenMask, blueMask, alphaMask);
}

int PresentScreen() { return PresentScreenCore(); }

int SetScreenMode(int32_t width, int32_t height, int32_t depth, int32_t rate) {
  return SetScreenModeCore(width, height, depth, rate);
}

int FreeAllGraphs(int32_t logFlag) { return FreeAllGraphsCore(logFlag); }

int LoadSplitGraph(const char* fileName, int32_t total, int32_t across, int32_t down,
                   int32_t cellWidth, int32_t cellHeight, int32_t* handles, int32_t flag) {
  return LoadSplitGraphCore(fileName, total, across, down, cellWidth, cellHeight, handles, flag);
}

int ClearDrawTarget() { return ClearDrawTargetCore(); }

int DrawGraphAt(int32_t x, int32_t y, int32_t graph, int32_t transparent) {
  return g_GraphicsServices.drawGraphAtCore(x, y, graph, transparent);
}

int DrawGraphStretched(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t graph,
                       int32_t transparent) {
  return g_GraphicsServices.drawGraphStretchedCore(x1, y1, x2, y2, graph, transparent);
}

int DrawColorBox(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color, int32_t fill) {
  return DrawColorBoxCore(x1, y1, x2, y2, color, fill);
}

int DrawTextDefaultFont(int32_t x, int32_t y, const char* text, uint32_t color, uint32_t edgeColor) {
  return g_FontServices.drawTextDefaultFontCore(x, y, text, color, edgeColor);
}

int DrawTextFormatted(int32_t x, int32_t y, uint32_t color, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatTextV(text, sizeof text, format, args);
  va_end(args);
  return g_FontServices.drawTextDefaultFontCore(x, y, text, color, 0);
}

int SetDrawTarget(int32_t target) { return g_GraphicsServices.setDrawTargetCore(target); }
int RemoveAllSoftImages() { return g_GraphicsServices.removeAllSoftImagesCore(); }
int FreeGraphImage(GraphImage* image) { return FreeGraphImageCore(image); }

int LoadSoundFile(const char* fileName, int32_t copies, int32_t stream) {
  return g_SoundServices.loadSoundFileCore(fileName, copies, stream);
}

int PlaySoundHandle(int32_t sound, int32_t playType, int32_t fromTop) {
  return g_SoundServices.playSoundHandleCore(sound, playType, fromTop);
}

int StopSoundHandle(int32_t sound) { return g_SoundServices.stopSoundHandleCore(sound); }

int PlayMusicFile(const char* fileName, int32_t playType) {
  return g_SoundServices.playMusicFileCore(fileName, playType);
}

int StopMusicFile() { return g_SoundServices.stopMusicFileCore(); }
int IsMusicFilePlaying() { return g_SoundServices.isMusicFilePlayingCore(); }

// ---- locked entry functions ----

int EngineInit() {
  if (IsEngineInitialised()) return 0;
  LockEngine();
  int result = EngineInitCore();
  UnlockEngine();
  return result;
}

int EngineEnd() {
  if (!IsEngineInitialised()) return 0;
  LockEngine();
  int result = EngineEndCore();
  UnlockEngine();
  DestroyEngineLock();
  return result;
}

// The pump core takes the lock itself (see engine.h), so this adds no second take.
int PumpMessages() { return PumpMessagesCore(); }
