// Key inputs: one-line text fields held by the engine, edited from the character ring.
// Exactly one of them, the active one, receives what the user types.
#pragma once

#include "engine/base/handle.h"

#include <cstdint>

// The check value comes first: the generic handle table validates through it.
struct KeyInputRecord {
  uint32_t check;     // 0 to 2047, bits 16-26 of the handle
  int32_t inUse;
  int32_t ended;      // finished by Enter, or by Escape when cancelling is allowed
  int32_t cancelled;  // finished by Escape
  int32_t length;     // bytes of text, without the terminator
  int32_t maxLength;  // bytes the text may hold
  int32_t cursor;     // byte position, 0 to length, always on a character boundary
  char* text;         // tracked block of maxLength + 2 bytes, zero-terminated
  int32_t cancelAllowed;
  int32_t singleByteOnly;
  int32_t numbersOnly;  // digits, and '-' at position 0
};

enum : int32_t { KEY_INPUT_SLOTS = 256 };

// The table, the active key input and the two settings that bound a composition while a
// key input is active (no operation of the engine changes them).
struct KeyInputState {
  KeyInputRecord records[KEY_INPUT_SLOTS];  // slot i's record, held in place
  void* slots[KEY_INPUT_SLOTS];
  HandleTable table;
  int32_t active = -1;              // ActiveKeyInput: the handle edited, or -1 (none)
  int32_t limitImeToRoom;           // keep a composition within the room left
  int32_t maxImeCompositionLength;  // bytes; 0 is no limit
};
extern KeyInputState g_KeyInput;

// Drains the character ring into the active key input (once per pump call); 0, or -1
// when the active handle is not valid.
int UpdateKeyInput();
// 0, or -1 for an invalid handle. The last one gone switches the input method off.
int DeleteKeyInputHandle(int32_t handle);
// Deletes every key input (when the main window goes); 0.
int DeleteAllKeyInputHandles();

// Empties the table (every text freed) and the settings; no key input is active.
void ResetKeyInputTable();
// A key input with an empty text of at most maxLength bytes and the given options; its
// handle, or -1 when the table is full or maxLength is negative. Not made active.
int32_t MakeKeyInput(int32_t maxLength, int32_t cancelAllowed, int32_t singleByteOnly,
                     int32_t numbersOnly);
// The record of a valid handle, or null.
KeyInputRecord* GetKeyInputRecord(int32_t handle);
