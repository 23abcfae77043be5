// Character input: the ring of typed Shift-JIS bytes and control codes that the window
// procedure fills and key input drains, the keys that put control codes into it, and the
// engine's view of the input method.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// How the next byte pushed is taken: the trail byte of a double-byte character follows
// its lead byte whatever its value, and is dropped with it when the pair did not fit.
enum : int32_t { CHAR_PAIR_NONE = 0, CHAR_PAIR_TRAIL_DUE = 1, CHAR_PAIR_TRAIL_DROP = 2 };

// 1025 slots, one always free: at most 1024 bytes wait. Empty when the positions are
// equal; both wrap from 1025 to 0.
struct CharCodeBuffer {
  uint8_t data[1025];
  int32_t readPos;
  int32_t writePos;
  int32_t pairState;  // CHAR_PAIR_*
};
extern CharCodeBuffer g_CharCodeBuffer;

// Virtual key and the control code its key press puts into the ring; ended by vk 0.
struct KeyControlCode {
  uint8_t vk;
  uint8_t code;
};
extern const KeyControlCode KeyControlCodeTable[];

// What the engine knows of the input method, for a program that shows the composition.
struct ImeState {
  int32_t enabled;     // the input method is allowed for the main window
  int32_t openStatus;  // as last read after an open-status change
  int32_t composing;
  char compositionString[1025];  // at most 1024 bytes are read: always terminated
  int32_t compositionCursor;     // in characters
  uint8_t clauseData[1024];      // 32-bit clause offsets as the input method gives them
  int32_t clauseCount;
  void* candidateList;  // tracked copy of candidate list 0, or null
  int32_t candidateListSize;
  char savedComposition[1025];  // kept across the refresh's close and reopen
  int32_t refreshStep;          // ImeRefreshStep: 1 to 4 while a refresh is pending
  int32_t openStatusGuard;      // set while the handler waits after an open-status change
};
extern ImeState g_ImeState;

// Clears the ring, the input-method state and the key-input table and settings; 0.
int InitCharCodeBuffer();
// Appends a byte: 0, or -1 when the ring is full (the byte is dropped). A lead byte is
// taken only when its trail byte fits too; the trail byte of a refused lead is dropped.
int PushCharCode(uint8_t code);
int IsCharCodeBufferFull();
// The next whole character: 0 when none waits (a lead byte waits for its trail), else
// its length (1 or 2) with its bytes in out (both zeroed first). consume 0 peeks.
int TakeCharCode(uint8_t out[2], int consume);
// Characters that start within the first n bytes of text (0 when n < 1).
int CountCharsInBytes(const char* text, int32_t n);
// 1 when the byte is the control code of a key of the KeyControlCodeTable.
int IsCharControlCode(uint8_t code);
// Allows (1) or forbids (0) the input method for the main window; forbidding it forgets
// the candidates and the composition. 0.
int SetImeEnabled(int32_t flag);
// The handler of the input-method messages; the window procedure returns its result.
PlatLResult CaptureImeCandidates(PlatWnd window, uint32_t message, PlatWParam wParam,
                                 PlatLParam lParam);
// Runs the pending steps of an input-method refresh (ImeRefreshStep), if any.
void RunImeRefresh();
// The character set of the lead-byte test of typed text (CHARSET_*).
int32_t CurrentCharSet();
