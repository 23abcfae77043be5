// Between the window layer's common part (window.cpp, messages.cpp, desktop.cpp: windows,
// queues, messages) and its back ends (headless/, sdl/). Not for the engine.
#pragma once

#include "platform/window/window.h"

#include <string>

// What a back end shows for one window.
struct PlatNativeState {
  std::string title;  // Shift-JIS
  PlatRect client;    // client area on screen
  uint32_t style, exStyle;
  int visible, minimized;
  int fullScreen;  // shown over the whole desktop, the client area scaled to fill it
};

// A back end. Every operation but drain runs on the caller's thread and must not call
// back into the common part; drain turns waiting OS events into queued input through the
// PlatUser* and PlatQueue* functions below.
struct PlatWindowBackend {
  const char* name;
  // 1 when windows can be made (the display could be opened); asked by each creation.
  int (*available)();
  // When available says 0: a line for the user on why, and what to do (null: none).
  const char* (*unavailableReason)();
  // Makes the real window match state (made at its first showing); owning thread.
  void (*sync)(PlatWnd window, const PlatNativeState& state);
  void (*destroy)(PlatWnd window);
  // Called at every peek; a back end drains only on the thread that owns its windows.
  void (*drain)();
  void (*setCursorVisible)(int visible);
  // Cursor on screen; 0 when the back end has no pointer of its own (the common part
  // then keeps the last position it saw).
  int (*getCursorPos)(PlatPoint* point);
  void (*setCursorPos)(int32_t x, int32_t y);
  void (*allowScreenSaver)(int allow);
  void (*startScreenSaver)();
  // The answer, or 0 when no box could be shown (the default button then stands).
  int (*messageBox)(PlatWnd owner, const char* text, const char* caption, uint32_t type);
  // 1 when other processes on the machine see this back end's window classes (through
  // the class locks); the headless back end keeps its windows to the process.
  int sharesClassNames;
};

const PlatWindowBackend* PlatHeadlessBackend();
const PlatWindowBackend* PlatSdlBackend();

// ---- user input, from any thread, into the queue of the window's thread ---------------

// A key press or release. vk may name a side (PLAT_VK_LSHIFT...): the message carries the
// plain code and the side goes into the scan code and extended bit of lParam.
// charsKnown 0: PlatTranslateMessage maps the key itself; 1: chars are what the key
// types (possibly nothing); 2: the characters follow through PlatQueueText.
void PlatQueueKey(PlatWnd window, uint32_t vk, int down, int charsKnown, const std::string& chars);
// Typed text (Shift-JIS): becomes the characters of the latest key press still waiting
// for its text, else WM_CHAR messages of its own.
void PlatQueueText(PlatWnd window, const std::string& sjis);
// A mouse message at client coordinates; WM_SETCURSOR goes ahead of it.
void PlatQueueMouse(PlatWnd window, uint32_t message, int32_t x, int32_t y, uint32_t keyFlags);
void PlatQueueInput(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam);
// The user activated (1) or left (0) the window.
void PlatUserActivate(PlatWnd window, int active);
// The client area moved on screen / changed size / was minimised or restored; each is
// reported (WM_MOVE, WM_SIZE) only when it differs from what the window has.
void PlatUserMoved(PlatWnd window, int32_t x, int32_t y);
void PlatUserResized(PlatWnd window, int32_t width, int32_t height);
void PlatUserMinimized(PlatWnd window, int minimized);
// The close box: WM_SYSCOMMAND SC_CLOSE.
void PlatUserClose(PlatWnd window);
// Part of the window must be painted again (null: all).
void PlatUserExposed(PlatWnd window, const PlatRect* rect);
// WM_DISPLAYCHANGE to every window: wParam depth, lParam width | height << 16.
void PlatUserDisplayChanged(int32_t width, int32_t height, int32_t depth);
