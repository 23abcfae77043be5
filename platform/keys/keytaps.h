// Key presses too short for the reader: a key pressed and let go with no read of the key
// state in between (a tap shorter than the reader's frame, or down and up taken in one
// pump of a slow frame) would never show held. Such a tap shows held in every read of the
// millisecond that first shows it and in the first read of a later one: the engine reads
// the state at most once per millisecond for any of its queries, so the query of the
// frame after the one whose read took the tap (the game's pad read) still sees it.
// Likewise a key that reads of only one millisecond showed held before it was let go (the
// press taken in by a query late in a slow frame, the release just before the next
// frame's pad read) shows held once more, in the first read of a later millisecond.
//
// Codes are the key state's own (scan codes, device key codes or virtual keys). Not
// locked: the key state's owner calls it under its own lock.
#pragma once

#include <cstdint>
#include <cstring>

template <int N>
struct PlatKeyTaps {
  enum : uint8_t {
    kNone,
    kDown,       // pressed, no read since
    kDownShown,  // pressed, shown by reads of the millisecond shownAt only
    kTapped,     // pressed and let go, no read since
    kTapShown,   // a tap shown by reads of the millisecond shownAt
    kOwed,       // let go while kDownShown: one more read, of a later millisecond, shows it
  };
  uint8_t state[N] = {};
  uint32_t shownAt[N] = {};

  void Press(int code) { state[code] = kDown; }
  void Release(int code) {
    if (state[code] == kDown) state[code] = kTapped;
    else if (state[code] == kDownShown) state[code] = kOwed;
  }
  // During a read at `now`, for each code: true while the code must show held though it
  // is let go (a key still down shows held by its own state).
  bool ShowsHeld(int code, uint32_t now) {
    switch (state[code]) {
      case kDown:
        state[code] = kDownShown;
        shownAt[code] = now;
        return false;
      case kDownShown:
        if (now != shownAt[code]) state[code] = kNone;
        return false;
      case kTapped:
        state[code] = kTapShown;
        shownAt[code] = now;
        return true;
      case kTapShown:
        if (now != shownAt[code]) state[code] = kNone;
        return true;
      case kOwed:
        if (now == shownAt[code]) return false;
        state[code] = kNone;
        return true;
      default:
        return false;
    }
  }
  void Reset() { std::memset(state, 0, sizeof state); }
};
