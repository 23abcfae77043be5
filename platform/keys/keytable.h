// The keys of the keyboard, one row per key position: how SDL numbers it, the virtual
// key the window layer reports, the PC scan code and extended flag that go with the key
// messages, and the device key code the input layer reads it by.
//
// Virtual keys follow the JP106 layout, the one the engine's tables assume. Scan codes
// are the ones a PC keyboard sends (set 1), so keys can be told apart by position
// whatever the layout. Device key codes are the scan codes with 0x80 added for extended
// keys, except where the JP106 layout gives a key a code of its own (the keys right of
// P and L, the one left of 1, the kana, conversion and yen keys), and for Pause (0xC5)
// and Num Lock (0x45), which the key messages flag the other way round.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// Virtual-key codes. Keys are named by the JP106 layout at their position.
enum : uint32_t {
  PLAT_VK_LBUTTON = 0x01, PLAT_VK_RBUTTON = 0x02, PLAT_VK_MBUTTON = 0x04,
  PLAT_VK_BACK = 0x08, PLAT_VK_TAB = 0x09, PLAT_VK_RETURN = 0x0D,
  PLAT_VK_SHIFT = 0x10, PLAT_VK_CONTROL = 0x11, PLAT_VK_MENU = 0x12,
  PLAT_VK_PAUSE = 0x13, PLAT_VK_CAPITAL = 0x14, PLAT_VK_KANA = 0x15, PLAT_VK_KANJI = 0x19,
  PLAT_VK_ESCAPE = 0x1B, PLAT_VK_CONVERT = 0x1C, PLAT_VK_NONCONVERT = 0x1D,
  PLAT_VK_SPACE = 0x20, PLAT_VK_PRIOR = 0x21, PLAT_VK_NEXT = 0x22, PLAT_VK_END = 0x23,
  PLAT_VK_HOME = 0x24, PLAT_VK_LEFT = 0x25, PLAT_VK_UP = 0x26, PLAT_VK_RIGHT = 0x27,
  PLAT_VK_DOWN = 0x28, PLAT_VK_SNAPSHOT = 0x2C, PLAT_VK_INSERT = 0x2D, PLAT_VK_DELETE = 0x2E,
  // '0'-'9' and 'A'-'Z' are their ASCII codes.
  PLAT_VK_LWIN = 0x5B, PLAT_VK_RWIN = 0x5C, PLAT_VK_APPS = 0x5D,
  PLAT_VK_NUMPAD0 = 0x60,  // to 0x69
  PLAT_VK_MULTIPLY = 0x6A, PLAT_VK_ADD = 0x6B, PLAT_VK_SUBTRACT = 0x6D,
  PLAT_VK_DECIMAL = 0x6E, PLAT_VK_DIVIDE = 0x6F,
  PLAT_VK_F1 = 0x70,  // to PLAT_VK_F12 = 0x7B
  PLAT_VK_F4 = 0x73, PLAT_VK_F10 = 0x79, PLAT_VK_F12 = 0x7B,
  PLAT_VK_NUMLOCK = 0x90, PLAT_VK_SCROLL = 0x91,
  PLAT_VK_LSHIFT = 0xA0, PLAT_VK_RSHIFT = 0xA1, PLAT_VK_LCONTROL = 0xA2,
  PLAT_VK_RCONTROL = 0xA3, PLAT_VK_LMENU = 0xA4, PLAT_VK_RMENU = 0xA5,
  PLAT_VK_OEM_1 = 0xBA, PLAT_VK_OEM_PLUS = 0xBB, PLAT_VK_OEM_COMMA = 0xBC,
  PLAT_VK_OEM_MINUS = 0xBD, PLAT_VK_OEM_PERIOD = 0xBE, PLAT_VK_OEM_2 = 0xBF,
  PLAT_VK_OEM_3 = 0xC0, PLAT_VK_OEM_4 = 0xDB, PLAT_VK_OEM_5 = 0xDC, PLAT_VK_OEM_6 = 0xDD,
  PLAT_VK_OEM_7 = 0xDE, PLAT_VK_OEM_102 = 0xE2,
};

struct PlatKeyRow {
  uint8_t sdl;       // SDL scancode: the USB HID usage of the position
  uint8_t vk;        // virtual key; 0 for a key the window layer does not report
  uint8_t scan;      // PC scan code (set 1)
  uint8_t extended;  // 1 for a key sent with the E0 prefix
  uint8_t device;    // device key code
};

// Where a virtual key has two positions, the first row is the one it stands for.
inline constexpr PlatKeyRow kPlatKeys[] = {
    // sdl  virtual key          scan  ext device
    { 41, PLAT_VK_ESCAPE,      0x01, 0, 0x01},  // Escape
    { 30, '1',                 0x02, 0, 0x02},
    { 31, '2',                 0x03, 0, 0x03},
    { 32, '3',                 0x04, 0, 0x04},
    { 33, '4',                 0x05, 0, 0x05},
    { 34, '5',                 0x06, 0, 0x06},
    { 35, '6',                 0x07, 0, 0x07},
    { 36, '7',                 0x08, 0, 0x08},
    { 37, '8',                 0x09, 0, 0x09},
    { 38, '9',                 0x0A, 0, 0x0A},
    { 39, '0',                 0x0B, 0, 0x0B},
    { 45, PLAT_VK_OEM_MINUS,   0x0C, 0, 0x0C},  // -
    { 46, PLAT_VK_OEM_7,       0x0D, 0, 0x90},  // ^
    { 42, PLAT_VK_BACK,        0x0E, 0, 0x0E},  // Back Space
    { 43, PLAT_VK_TAB,         0x0F, 0, 0x0F},  // Tab
    { 20, 'Q',                 0x10, 0, 0x10},
    { 26, 'W',                 0x11, 0, 0x11},
    {  8, 'E',                 0x12, 0, 0x12},
    { 21, 'R',                 0x13, 0, 0x13},
    { 23, 'T',                 0x14, 0, 0x14},
    { 28, 'Y',                 0x15, 0, 0x15},
    { 24, 'U',                 0x16, 0, 0x16},
    { 12, 'I',                 0x17, 0, 0x17},
    { 18, 'O',                 0x18, 0, 0x18},
    { 19, 'P',                 0x19, 0, 0x19},
    { 47, PLAT_VK_OEM_3,       0x1A, 0, 0x91},  // @
    { 48, PLAT_VK_OEM_4,       0x1B, 0, 0x1A},  // [
    { 40, PLAT_VK_RETURN,      0x1C, 0, 0x1C},  // Enter
    {224, PLAT_VK_LCONTROL,    0x1D, 0, 0x1D},  // left Control
    {  4, 'A',                 0x1E, 0, 0x1E},
    { 22, 'S',                 0x1F, 0, 0x1F},
    {  7, 'D',                 0x20, 0, 0x20},
    {  9, 'F',                 0x21, 0, 0x21},
    { 10, 'G',                 0x22, 0, 0x22},
    { 11, 'H',                 0x23, 0, 0x23},
    { 13, 'J',                 0x24, 0, 0x24},
    { 14, 'K',                 0x25, 0, 0x25},
    { 15, 'L',                 0x26, 0, 0x26},
    { 51, PLAT_VK_OEM_PLUS,    0x27, 0, 0x27},  // ;
    { 52, PLAT_VK_OEM_1,       0x28, 0, 0x92},  // :
    { 53, PLAT_VK_KANJI,       0x29, 0, 0x94},  // hankaku / zenkaku
    {225, PLAT_VK_LSHIFT,      0x2A, 0, 0x2A},  // left Shift
    { 50, PLAT_VK_OEM_6,       0x2B, 0, 0x1B},  // ] (non-US #)
    { 49, PLAT_VK_OEM_6,       0x2B, 0, 0x1B},  // ] (US \)
    { 29, 'Z',                 0x2C, 0, 0x2C},
    { 27, 'X',                 0x2D, 0, 0x2D},
    {  6, 'C',                 0x2E, 0, 0x2E},
    { 25, 'V',                 0x2F, 0, 0x2F},
    {  5, 'B',                 0x30, 0, 0x30},
    { 17, 'N',                 0x31, 0, 0x31},
    { 16, 'M',                 0x32, 0, 0x32},
    { 54, PLAT_VK_OEM_COMMA,   0x33, 0, 0x33},  // ,
    { 55, PLAT_VK_OEM_PERIOD,  0x34, 0, 0x34},  // .
    { 56, PLAT_VK_OEM_2,       0x35, 0, 0x35},  // /
    {229, PLAT_VK_RSHIFT,      0x36, 0, 0x36},  // right Shift
    { 85, PLAT_VK_MULTIPLY,    0x37, 0, 0x37},  // keypad *
    {226, PLAT_VK_LMENU,       0x38, 0, 0x38},  // left Alt
    { 44, PLAT_VK_SPACE,       0x39, 0, 0x39},  // Space
    { 57, PLAT_VK_CAPITAL,     0x3A, 0, 0x3A},  // Caps Lock (eisu)
    { 58, PLAT_VK_F1,          0x3B, 0, 0x3B},  // F1
    { 59, PLAT_VK_F1 + 1,      0x3C, 0, 0x3C},  // F2
    { 60, PLAT_VK_F1 + 2,      0x3D, 0, 0x3D},  // F3
    { 61, PLAT_VK_F1 + 3,      0x3E, 0, 0x3E},  // F4
    { 62, PLAT_VK_F1 + 4,      0x3F, 0, 0x3F},  // F5
    { 63, PLAT_VK_F1 + 5,      0x40, 0, 0x40},  // F6
    { 64, PLAT_VK_F1 + 6,      0x41, 0, 0x41},  // F7
    { 65, PLAT_VK_F1 + 7,      0x42, 0, 0x42},  // F8
    { 66, PLAT_VK_F1 + 8,      0x43, 0, 0x43},  // F9
    { 67, PLAT_VK_F1 + 9,      0x44, 0, 0x44},  // F10
    { 83, PLAT_VK_NUMLOCK,     0x45, 1, 0x45},  // Num Lock
    { 71, PLAT_VK_SCROLL,      0x46, 0, 0x46},  // Scroll Lock
    { 95, PLAT_VK_NUMPAD0 + 7, 0x47, 0, 0x47},  // keypad 7
    { 96, PLAT_VK_NUMPAD0 + 8, 0x48, 0, 0x48},  // keypad 8
    { 97, PLAT_VK_NUMPAD0 + 9, 0x49, 0, 0x49},  // keypad 9
    { 86, PLAT_VK_SUBTRACT,    0x4A, 0, 0x4A},  // keypad -
    { 92, PLAT_VK_NUMPAD0 + 4, 0x4B, 0, 0x4B},  // keypad 4
    { 93, PLAT_VK_NUMPAD0 + 5, 0x4C, 0, 0x4C},  // keypad 5
    { 94, PLAT_VK_NUMPAD0 + 6, 0x4D, 0, 0x4D},  // keypad 6
    { 87, PLAT_VK_ADD,         0x4E, 0, 0x4E},  // keypad +
    { 89, PLAT_VK_NUMPAD0 + 1, 0x4F, 0, 0x4F},  // keypad 1
    { 90, PLAT_VK_NUMPAD0 + 2, 0x50, 0, 0x50},  // keypad 2
    { 91, PLAT_VK_NUMPAD0 + 3, 0x51, 0, 0x51},  // keypad 3
    { 98, PLAT_VK_NUMPAD0 + 0, 0x52, 0, 0x52},  // keypad 0
    { 99, PLAT_VK_DECIMAL,     0x53, 0, 0x53},  // keypad .
    {100, PLAT_VK_OEM_102,     0x56, 0, 0x56},  // non-US backslash
    { 68, PLAT_VK_F1 + 10,     0x57, 0, 0x57},  // F11
    { 69, PLAT_VK_F1 + 11,     0x58, 0, 0x58},  // F12
    {136, PLAT_VK_KANA,        0x70, 0, 0x70},  // katakana / hiragana
    {135, PLAT_VK_OEM_102,     0x73, 0, 0x73},  // ro (\ _)
    {138, PLAT_VK_CONVERT,     0x79, 0, 0x79},  // henkan
    {139, PLAT_VK_NONCONVERT,  0x7B, 0, 0x7B},  // muhenkan
    {137, PLAT_VK_OEM_5,       0x7D, 0, 0x7D},  // yen
    { 88, PLAT_VK_RETURN,      0x1C, 1, 0x9C},  // keypad Enter
    {228, PLAT_VK_RCONTROL,    0x1D, 1, 0x9D},  // right Control
    { 84, PLAT_VK_DIVIDE,      0x35, 1, 0xB5},  // keypad /
    { 70, PLAT_VK_SNAPSHOT,    0x37, 1, 0xB7},  // Print Screen
    {230, PLAT_VK_RMENU,       0x38, 1, 0xB8},  // right Alt
    { 72, PLAT_VK_PAUSE,       0x45, 0, 0xC5},  // Pause
    { 74, PLAT_VK_HOME,        0x47, 1, 0xC7},  // Home
    { 82, PLAT_VK_UP,          0x48, 1, 0xC8},  // Up
    { 75, PLAT_VK_PRIOR,       0x49, 1, 0xC9},  // Page Up
    { 80, PLAT_VK_LEFT,        0x4B, 1, 0xCB},  // Left
    { 79, PLAT_VK_RIGHT,       0x4D, 1, 0xCD},  // Right
    { 77, PLAT_VK_END,         0x4F, 1, 0xCF},  // End
    { 81, PLAT_VK_DOWN,        0x50, 1, 0xD0},  // Down
    { 78, PLAT_VK_NEXT,        0x51, 1, 0xD1},  // Page Down
    { 73, PLAT_VK_INSERT,      0x52, 1, 0xD2},  // Insert
    { 76, PLAT_VK_DELETE,      0x53, 1, 0xD3},  // Delete
    {227, PLAT_VK_LWIN,        0x5B, 1, 0xDB},  // left Windows
    {231, PLAT_VK_RWIN,        0x5C, 1, 0xDC},  // right Windows
    {101, PLAT_VK_APPS,        0x5D, 1, 0xDD},  // Application
    {103, 0,                   0x00, 0, 0x8D},  // keypad = (the window never hears of it)
    {104, 0,                   0x00, 0, 0x64},  // F13
    {105, 0,                   0x00, 0, 0x65},  // F14
    {106, 0,                   0x00, 0, 0x66},  // F15
};

// The row of an SDL scancode, or null.
constexpr const PlatKeyRow* PlatKeyBySdl(int scancode) {
  for (const PlatKeyRow& r : kPlatKeys)
    if (r.sdl == scancode) return &r;
  return nullptr;
}

// The first row of a virtual key (plain Shift, Control and Menu stand for their left
// keys), of that extended flag when it is 0 or 1; null when there is none.
constexpr const PlatKeyRow* PlatKeyByVk(uint32_t vk, int extended = -1) {
  if (vk == PLAT_VK_SHIFT) vk = PLAT_VK_LSHIFT;
  if (vk == PLAT_VK_CONTROL) vk = PLAT_VK_LCONTROL;
  if (vk == PLAT_VK_MENU) vk = PLAT_VK_LMENU;
  if (vk == 0 || vk > 0xFF) return nullptr;
  for (const PlatKeyRow& r : kPlatKeys)
    if (r.vk == vk && (extended < 0 || r.extended == extended)) return &r;
  return nullptr;
}

// A position listed twice would leave its second row unread.
static_assert([] {
  for (size_t i = 0; i < std::size(kPlatKeys); i++)
    for (size_t j = i + 1; j < std::size(kPlatKeys); j++)
      if (kPlatKeys[i].sdl == kPlatKeys[j].sdl) return false;
  return true;
}());

// The character a key types with this key state, or -1: ASCII by the JP106 layout,
// control codes for Enter, Back Space, Tab, Escape and Ctrl+letter.
int PlatDefaultKeyChar(uint32_t vk, const uint8_t keyState[256]);
