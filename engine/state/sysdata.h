// The engine's system data: the state of the window, the message pump and the window
// procedure, the machine's measurements and the system information. One zero-initialised
// block; the window start clears everything in it but the settings at every
// initialisation (the log, the tracker and the engine lock keep their own state).
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// The values that survive the window start's clear.
// The main window's class unless the program names its own.
constexpr char kDefaultClassName[] = "D123987X";

struct SystemSettings {
  int32_t windowed;      // 1 window, 0 full screen (ChangeWindowMode before initialisation)
  int32_t initialising;  // an initialisation is running
  int32_t comStarted;
  int32_t plainFilesOnly;
  char startDirectory[4096];
  // System information (LogSystemInfo).
  int32_t osCode;
  int32_t mmxUsable;
  int32_t tscUsable;
  uint64_t tscTicksPerSecond;
  char osDescription[512];
  // The video card, as the DirectDraw start found it (with Shift held; else empty, and
  // 16 MB in total).
  char videoDriverName[256];
  char videoDriverDescription[256];
  uint32_t videoMemoryFree;
  uint32_t videoMemoryTotal;
  char className[256];  // kDefaultClassName when the program named none
  char windowText[256];
  double windowScale;  // 0 or less reads as 1.0 (GetWindowScale)
  // What new screen surfaces and draw targets are cleared with (black unless set).
  int32_t backgroundRed, backgroundGreen, backgroundBlue;
  int32_t noGraphics;  // 1: no screen surfaces are made
};

struct SystemData {
  SystemSettings settings;

  int32_t initialised;  // the engine is up
  uint32_t mainThreadId;  // the thread that ran the window start
  PlatWnd mainWindow;

  // Machine measurements of the window start.
  int32_t desktopWidth, desktopHeight, desktopDepth;
  int64_t perfFrequency;
  int32_t perfUsable;  // GetTimeMicroseconds reads the performance counter
  uint32_t timerMinPeriod;
  int32_t charSet;  // 1 Shift-JIS, 2 when the OEM code page is 949

  // Window state (written by the window procedure and the pump, read by any thread).
  int32_t windowActive;
  int32_t endRequested;
  int32_t closePending;  // the engine has posted WM_CLOSE to its own window (at most once)
  int32_t painting;      // a windowed WM_PAINT is being handled
  int32_t windowCreating;
  int32_t keyInputGuard;  // the pump is running the key-input step

  int32_t cursorShown;  // the visibility last asked for
  int32_t cursorState;  // 1 while the engine has the cursor shown
  int32_t styleApplied;
  PlatRect clientRectOnScreen;
};

extern SystemData g_System;

// The window flags are written on the window's thread and read on others without a lock;
// these keep each read and write whole.
inline int32_t LoadFlag(const int32_t& flag) { return __atomic_load_n(&flag, __ATOMIC_RELAXED); }
inline void StoreFlag(int32_t& flag, int32_t value) {
  __atomic_store_n(&flag, value, __ATOMIC_RELAXED);
}
