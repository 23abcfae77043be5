// Key presses too short for the reader: a key pressed and let go with no read of the key
// state in between (a tap shorter than the reader's frame, or down and up taken in one
// pump of a slow frame) would never show held. Such a tap shows held in every read of the
// millisecond that first shows it and in the first read of a later one: the engine reads
// the state at most once per millisecond for any of its queries, so the query of the
// frame after the one whose read took the tap (the game's pad read) still sees it.
//
// Codes are the key state's own (scan codes, device key codes or virtual keys). Not
// locked: the key state's owner calls it under its own lock.
#pragma once

#include <cstdint>
#include <cstring>

template <int N>
struct PlatKeyTaps {
  enum : uint8_t { kNone, kUnshown, kShown };
  uint8_t pressedUnread[N] = {};  // pressed since the last read
  uint8_t tap[N] = {};
  uint32_t shownAt[N] = {};

  void Press(int code) { pressedUnread[code] = 1, tap[code] = kNone; }
  void Release(int code) {
    if (pressedUnread[code]) tap[code] = kUnshown;
  }
  // During a read at `now`, for each code: true while the code's tap must show held.
  bool ShowsHeld(int code, uint32_t now) {
    switch (tap[code]) {
      case kUnshown:
        tap[code] = kShown;
        shownAt[code] = now;
        return true;
      case kShown:
        if (now != shownAt[code]) tap[code] = kNone;
        return true;
      default:
        return false;
    }
  }
  // After a read: what was pressed has been seen.
  void ReadDone() { std::memset(pressedUnread, 0, sizeof pressedUnread); }
  void Reset() {
    std::memset(pressedUnread, 0, sizeof pressedUnread);
    std::memset(tap, 0, sizeof tap);
  }
};
