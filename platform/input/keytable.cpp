// Key positions (USB HID usages, as SDL numbers its scancodes) to device key codes. The
// codes are the PC keyboard's scan codes, extended keys with 0x80 added, except where the
// JP106 layout gives a key a code of its own: the keys right of P and L, the one left of
// 1 and the kana, conversion and yen keys.
#include "platform/input/backend.h"

namespace {

struct Row {
  uint8_t hid;
  uint8_t code;
};

constexpr Row kRows[] = {
    // Letters.
    {4, 0x1E}, {5, 0x30}, {6, 0x2E}, {7, 0x20}, {8, 0x12}, {9, 0x21}, {10, 0x22},
    {11, 0x23}, {12, 0x17}, {13, 0x24}, {14, 0x25}, {15, 0x26}, {16, 0x32}, {17, 0x31},
    {18, 0x18}, {19, 0x19}, {20, 0x10}, {21, 0x13}, {22, 0x1F}, {23, 0x14}, {24, 0x16},
    {25, 0x2F}, {26, 0x11}, {27, 0x2D}, {28, 0x15}, {29, 0x2C},
    // Digits 1 to 9, then 0.
    {30, 0x02}, {31, 0x03}, {32, 0x04}, {33, 0x05}, {34, 0x06}, {35, 0x07}, {36, 0x08},
    {37, 0x09}, {38, 0x0A}, {39, 0x0B},
    {40, 0x1C},  // Enter
    {41, 0x01},  // Escape
    {42, 0x0E},  // Back Space
    {43, 0x0F},  // Tab
    {44, 0x39},  // Space
    {45, 0x0C},  // -
    {46, 0x90},  // ^ (JP106)
    {47, 0x91},  // @ (JP106)
    {48, 0x1A},  // [ (JP106)
    {49, 0x1B},  // ] (JP106, where US keyboards have \)
    {50, 0x1B},  // ] (the same key as the non-US # position)
    {51, 0x27},  // ;
    {52, 0x92},  // : (JP106)
    {53, 0x94},  // hankaku / zenkaku (kanji)
    {54, 0x33},  // ,
    {55, 0x34},  // .
    {56, 0x35},  // /
    {57, 0x3A},  // Caps Lock (eisu)
    // F1 to F12.
    {58, 0x3B}, {59, 0x3C}, {60, 0x3D}, {61, 0x3E}, {62, 0x3F}, {63, 0x40}, {64, 0x41},
    {65, 0x42}, {66, 0x43}, {67, 0x44}, {68, 0x57}, {69, 0x58},
    {70, 0xB7},  // Print Screen (SysRq)
    {71, 0x46},  // Scroll Lock
    {72, 0xC5},  // Pause
    {73, 0xD2},  // Insert
    {74, 0xC7},  // Home
    {75, 0xC9},  // Page Up
    {76, 0xD3},  // Delete
    {77, 0xCF},  // End
    {78, 0xD1},  // Page Down
    {79, 0xCD},  // Right
    {80, 0xCB},  // Left
    {81, 0xD0},  // Down
    {82, 0xC8},  // Up
    {83, 0x45},  // Num Lock
    // The keypad.
    {84, 0xB5},  // /
    {85, 0x37},  // *
    {86, 0x4A},  // -
    {87, 0x4E},  // +
    {88, 0x9C},  // Enter
    {89, 0x4F}, {90, 0x50}, {91, 0x51}, {92, 0x4B}, {93, 0x4C}, {94, 0x4D}, {95, 0x47},
    {96, 0x48}, {97, 0x49}, {98, 0x52},  // 1 to 9, then 0
    {99, 0x53},   // .
    {100, 0x56},  // the non-US backslash position
    {101, 0xDD},  // Application
    {103, 0x8D},  // keypad =
    {104, 0x64}, {105, 0x65}, {106, 0x66},  // F13 to F15
    // The Japanese keys.
    {135, 0x73},  // ro (\ _)
    {136, 0x70},  // katakana / hiragana (kana)
    {137, 0x7D},  // yen
    {138, 0x79},  // henkan (convert)
    {139, 0x7B},  // muhenkan (no convert)
    // Modifiers: left, then right.
    {224, 0x1D}, {225, 0x2A}, {226, 0x38}, {227, 0xDB},
    {228, 0x9D}, {229, 0x36}, {230, 0xB8}, {231, 0xDC},
};

}  // namespace

uint8_t PlatDeviceKeyFromHid(int hid) {
  for (const Row& r : kRows)
    if (r.hid == hid) return r.code;
  return 0;
}
