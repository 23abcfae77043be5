// Key positions, virtual keys and PC scan codes. The scan codes are the ones a PC
// keyboard sends (set 1), so the input layer can tell keys by position whatever the
// layout; virtual keys follow the JP106 layout, the one the engine's tables assume.
#include "platform/window/backend.h"

namespace {

struct KeyRow {
  uint8_t hid;   // USB HID usage
  uint8_t vk;
  uint8_t scan;
  uint8_t extended;
};

constexpr KeyRow kKeys[] = {
    {41, PLAT_VK_ESCAPE, 0x01, 0},
    {30, '1', 0x02, 0}, {31, '2', 0x03, 0}, {32, '3', 0x04, 0}, {33, '4', 0x05, 0},
    {34, '5', 0x06, 0}, {35, '6', 0x07, 0}, {36, '7', 0x08, 0}, {37, '8', 0x09, 0},
    {38, '9', 0x0A, 0}, {39, '0', 0x0B, 0},
    {45, PLAT_VK_OEM_MINUS, 0x0C, 0},
    {46, PLAT_VK_OEM_7, 0x0D, 0},       // ^
    {42, PLAT_VK_BACK, 0x0E, 0},
    {43, PLAT_VK_TAB, 0x0F, 0},
    {20, 'Q', 0x10, 0}, {26, 'W', 0x11, 0}, {8, 'E', 0x12, 0}, {21, 'R', 0x13, 0},
    {23, 'T', 0x14, 0}, {28, 'Y', 0x15, 0}, {24, 'U', 0x16, 0}, {12, 'I', 0x17, 0},
    {18, 'O', 0x18, 0}, {19, 'P', 0x19, 0},
    {47, PLAT_VK_OEM_3, 0x1A, 0},       // @
    {48, PLAT_VK_OEM_4, 0x1B, 0},       // [
    {40, PLAT_VK_RETURN, 0x1C, 0},
    {224, PLAT_VK_LCONTROL, 0x1D, 0},
    {4, 'A', 0x1E, 0}, {22, 'S', 0x1F, 0}, {7, 'D', 0x20, 0}, {9, 'F', 0x21, 0},
    {10, 'G', 0x22, 0}, {11, 'H', 0x23, 0}, {13, 'J', 0x24, 0}, {14, 'K', 0x25, 0},
    {15, 'L', 0x26, 0},
    {51, PLAT_VK_OEM_PLUS, 0x27, 0},    // ;
    {52, PLAT_VK_OEM_1, 0x28, 0},       // :
    {53, PLAT_VK_KANJI, 0x29, 0},       // hankaku / zenkaku
    {225, PLAT_VK_LSHIFT, 0x2A, 0},
    {50, PLAT_VK_OEM_6, 0x2B, 0},       // ] (non-US #)
    {49, PLAT_VK_OEM_6, 0x2B, 0},       // ] (US \)
    {29, 'Z', 0x2C, 0}, {27, 'X', 0x2D, 0}, {6, 'C', 0x2E, 0}, {25, 'V', 0x2F, 0},
    {5, 'B', 0x30, 0}, {17, 'N', 0x31, 0}, {16, 'M', 0x32, 0},
    {54, PLAT_VK_OEM_COMMA, 0x33, 0},
    {55, PLAT_VK_OEM_PERIOD, 0x34, 0},
    {56, PLAT_VK_OEM_2, 0x35, 0},
    {229, PLAT_VK_RSHIFT, 0x36, 0},
    {85, PLAT_VK_MULTIPLY, 0x37, 0},
    {226, PLAT_VK_LMENU, 0x38, 0},
    {44, PLAT_VK_SPACE, 0x39, 0},
    {57, PLAT_VK_CAPITAL, 0x3A, 0},
    {58, 0x70, 0x3B, 0}, {59, 0x71, 0x3C, 0}, {60, 0x72, 0x3D, 0}, {61, 0x73, 0x3E, 0},
    {62, 0x74, 0x3F, 0}, {63, 0x75, 0x40, 0}, {64, 0x76, 0x41, 0}, {65, 0x77, 0x42, 0},
    {66, 0x78, 0x43, 0}, {67, 0x79, 0x44, 0},
    {83, PLAT_VK_NUMLOCK, 0x45, 1},
    {71, PLAT_VK_SCROLL, 0x46, 0},
    {95, PLAT_VK_NUMPAD0 + 7, 0x47, 0}, {96, PLAT_VK_NUMPAD0 + 8, 0x48, 0},
    {97, PLAT_VK_NUMPAD0 + 9, 0x49, 0}, {86, PLAT_VK_SUBTRACT, 0x4A, 0},
    {92, PLAT_VK_NUMPAD0 + 4, 0x4B, 0}, {93, PLAT_VK_NUMPAD0 + 5, 0x4C, 0},
    {94, PLAT_VK_NUMPAD0 + 6, 0x4D, 0}, {87, PLAT_VK_ADD, 0x4E, 0},
    {89, PLAT_VK_NUMPAD0 + 1, 0x4F, 0}, {90, PLAT_VK_NUMPAD0 + 2, 0x50, 0},
    {91, PLAT_VK_NUMPAD0 + 3, 0x51, 0}, {98, PLAT_VK_NUMPAD0 + 0, 0x52, 0},
    {99, PLAT_VK_DECIMAL, 0x53, 0},
    {100, PLAT_VK_OEM_102, 0x56, 0},    // non-US backslash
    {68, 0x7A, 0x57, 0}, {69, 0x7B, 0x58, 0},
    {136, PLAT_VK_KANA, 0x70, 0},       // katakana / hiragana
    {135, PLAT_VK_OEM_102, 0x73, 0},    // ro (\ _)
    {138, PLAT_VK_CONVERT, 0x79, 0},    // henkan
    {139, PLAT_VK_NONCONVERT, 0x7B, 0}, // muhenkan
    {137, PLAT_VK_OEM_5, 0x7D, 0},      // yen
    {88, PLAT_VK_RETURN, 0x1C, 1},      // keypad Enter
    {228, PLAT_VK_RCONTROL, 0x1D, 1},
    {84, PLAT_VK_DIVIDE, 0x35, 1},
    {70, PLAT_VK_SNAPSHOT, 0x37, 1},
    {230, PLAT_VK_RMENU, 0x38, 1},
    {72, PLAT_VK_PAUSE, 0x45, 0},
    {74, PLAT_VK_HOME, 0x47, 1},
    {82, PLAT_VK_UP, 0x48, 1},
    {75, PLAT_VK_PRIOR, 0x49, 1},
    {80, PLAT_VK_LEFT, 0x4B, 1},
    {79, PLAT_VK_RIGHT, 0x4D, 1},
    {77, PLAT_VK_END, 0x4F, 1},
    {81, PLAT_VK_DOWN, 0x50, 1},
    {78, PLAT_VK_NEXT, 0x51, 1},
    {73, PLAT_VK_INSERT, 0x52, 1},
    {76, PLAT_VK_DELETE, 0x53, 1},
    {227, PLAT_VK_LWIN, 0x5B, 1},
    {231, PLAT_VK_RWIN, 0x5C, 1},
    {101, PLAT_VK_APPS, 0x5D, 1},
};

const KeyRow* RowOfVk(uint32_t vk) {
  // The plain modifiers stand for their left key.
  if (vk == PLAT_VK_SHIFT) vk = PLAT_VK_LSHIFT;
  if (vk == PLAT_VK_CONTROL) vk = PLAT_VK_LCONTROL;
  if (vk == PLAT_VK_MENU) vk = PLAT_VK_LMENU;
  for (const KeyRow& r : kKeys)
    if (r.vk == vk) return &r;
  return nullptr;
}

bool Held(const uint8_t keys[256], uint32_t vk) { return (keys[vk & 0xFF] & 0x80) != 0; }

}  // namespace

uint32_t PlatKeyFromHid(int hid, uint32_t* scan, int* extended) {
  for (const KeyRow& r : kKeys) {
    if (r.hid == hid) {
      if (scan) *scan = r.scan;
      if (extended) *extended = r.extended;
      return r.vk;
    }
  }
  return 0;
}

uint32_t PlatKeyScan(uint32_t vk, int* extended) {
  const KeyRow* r = RowOfVk(vk);
  if (extended) *extended = r ? r->extended : 0;
  return r ? r->scan : 0;
}

int PlatKeyHid(uint32_t vk) {
  const KeyRow* r = RowOfVk(vk);
  return r ? r->hid : 0;
}

int PlatDefaultKeyChar(uint32_t vk, const uint8_t keys[256]) {
  const bool shift = Held(keys, PLAT_VK_SHIFT);
  const bool ctrl = Held(keys, PLAT_VK_CONTROL);
  switch (vk) {
    case PLAT_VK_RETURN: return 13;
    case PLAT_VK_BACK: return 8;
    case PLAT_VK_TAB: return 9;
    case PLAT_VK_ESCAPE: return 27;
    case PLAT_VK_SPACE: return ' ';
    default: break;
  }
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return int(vk - 'A' + 1);
    const bool upper = shift != ((keys[PLAT_VK_CAPITAL] & 1) != 0);
    return upper ? int(vk) : int(vk - 'A' + 'a');
  }
  if (ctrl) return -1;
  if (vk >= '0' && vk <= '9') {
    static const char kShifted[] = "\0!\"#$%&'()";
    if (!shift) return int(vk);
    char c = kShifted[vk - '0'];
    return c ? c : -1;
  }
  if (vk >= PLAT_VK_NUMPAD0 && vk <= PLAT_VK_NUMPAD0 + 9) return int('0' + vk - PLAT_VK_NUMPAD0);
  struct Oem {
    uint8_t vk;
    char plain, shifted;
  };
  static const Oem kOem[] = {
      {PLAT_VK_OEM_MINUS, '-', '='}, {PLAT_VK_OEM_7, '^', '~'},   {PLAT_VK_OEM_5, '\\', '|'},
      {PLAT_VK_OEM_3, '@', '`'},     {PLAT_VK_OEM_4, '[', '{'},   {PLAT_VK_OEM_PLUS, ';', '+'},
      {PLAT_VK_OEM_1, ':', '*'},     {PLAT_VK_OEM_6, ']', '}'},   {PLAT_VK_OEM_COMMA, ',', '<'},
      {PLAT_VK_OEM_PERIOD, '.', '>'}, {PLAT_VK_OEM_2, '/', '?'},  {PLAT_VK_OEM_102, '\\', '_'},
      {PLAT_VK_MULTIPLY, '*', '*'},  {PLAT_VK_ADD, '+', '+'},     {PLAT_VK_SUBTRACT, '-', '-'},
      {PLAT_VK_DECIMAL, '.', '.'},   {PLAT_VK_DIVIDE, '/', '/'},
  };
  for (const Oem& o : kOem)
    if (o.vk == vk) return shift ? o.shifted : o.plain;
  return -1;
}
