// Character input: the ring of typed Shift-JIS bytes and control codes that the window
// procedure fills and key input drains, the keys that put control codes into it, and the
// engine's view of the input method.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// 1025 slots, one always free: at most 1024 bytes wait. Empty when the positions are
// equal; both wrap from 1025 to 0.
struct CharCodeBuffer {
  uint8_t data[1025];
  int32_t readPos;
  int32_t writePos;
};
extern CharCodeBuffer g_CharCodeBuffer;

// Virtual key and the control code its key press puts into the ring; ended by vk 0.
struct KeyControlCode {
  uint8_t vk;
  uint8_t code;
};
extern const KeyControlCode KeyControlCodeTable[];

struct ImeState {
  int32_t enabled;     // the input method is allowed for the main window
  int32_t openStatus;  // as last read after an open-status change
  int32_t composing;
  int32_t refreshStep;  // ImeRefreshStep: 1 to 4 while a refresh is pending
  int32_t openStatusGuard;
};
extern ImeState g_ImeState;

// Empties the ring (every engine start); 0.
int InitCharCodeBuffer();
// Appends a byte: 0, or -1 when the ring is full (the byte is dropped).
int PushCharCode(uint8_t code);
int IsCharCodeBufferFull();
// The handler of the input-method messages; the window procedure returns its result.
PlatLResult CaptureImeCandidates(PlatWnd window, uint32_t message, PlatWParam wParam,
                                 PlatLParam lParam);
