// The constants behind the archive scrambling key. An archive only opens with the values
// it was written with, so these are part of the file format: changing any of them makes
// every archive written so far unreadable (the packer and the engine share this header).
//
// A key is built in two steps: 12 source bytes (the key string repeated, or the filler
// byte), then a fixed change per position: optional inversion, a left rotation of the
// byte's bits, and an exclusive-or with a constant. The fallback key starts from its own
// 12 seed bytes and goes through the same per-position changes.
#pragma once

#include <cstdint>

enum { ARCHIVE_KEY_SIZE = 12 };

struct ArchiveKeyStep {
  uint8_t invert;   // 1: the byte's bits are inverted first
  uint8_t rotate;   // then rotated left by this many bits (0-7)
  uint8_t mask;     // then combined by exclusive-or with this byte
};

// Source byte of every position when no key string is in use.
constexpr uint8_t kArchiveKeyFiller = 0xA7;

constexpr ArchiveKeyStep kArchiveKeySteps[ARCHIVE_KEY_SIZE] = {
    {1, 0, 0x00}, {0, 3, 0x00}, {0, 0, 0x5C}, {1, 5, 0x00},
    {1, 0, 0x93}, {0, 1, 0x2E}, {1, 6, 0xC1}, {0, 0, 0x7B},
    {0, 4, 0x00}, {1, 2, 0x4D}, {0, 7, 0xE8}, {1, 3, 0x16},
};

// Source bytes of the second key tried when the header does not show the magic.
constexpr uint8_t kArchiveFallbackSeed[ARCHIVE_KEY_SIZE] = {
    0x3C, 0xD1, 0x08, 0x7F, 0xB2, 0x65, 0xEA, 0x19, 0x94, 0x4E, 0xC7, 0x2B,
};
