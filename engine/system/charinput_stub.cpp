// Least bodies until character input and the input method land: the ring takes bytes
// (nothing drains it yet) and the input-method messages are ignored.
#include "engine/system/charinput.h"

CharCodeBuffer g_CharCodeBuffer;
ImeState g_ImeState;

const KeyControlCode KeyControlCodeTable[] = {
    {0x2E, 0x10},  // Delete
    {0x25, 0x1D},  // Left
    {0x27, 0x1C},  // Right
    {0x26, 0x1E},  // Up
    {0x28, 0x1F},  // Down
    {0, 0},
};

int InitCharCodeBuffer() {
  g_CharCodeBuffer = CharCodeBuffer{};
  return 0;
}

int IsCharCodeBufferFull() {
  const CharCodeBuffer& b = g_CharCodeBuffer;
  return (b.writePos + 1 == b.readPos || (b.readPos == 0 && b.writePos == 1024)) ? 1 : 0;
}

int PushCharCode(uint8_t code) {
  if (IsCharCodeBufferFull()) return -1;
  CharCodeBuffer& b = g_CharCodeBuffer;
  b.data[b.writePos] = code;
  b.writePos = b.writePos + 1 == 1025 ? 0 : b.writePos + 1;
  return 0;
}

PlatLResult CaptureImeCandidates(PlatWnd, uint32_t, PlatWParam, PlatLParam) { return 0; }
