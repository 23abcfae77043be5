// The inputs of a game as a script: what is held on the pads and keys in each pass (a pass
// ends at each PumpMessages on the main thread), and the answers of WaitAnyInput and of
// the start-up question. The fake engine and the script wrapper both answer from one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

struct InputPass {
  int32_t pads[5] = {};          // PadBits by pad number 1-4 ([0] unused)
  std::vector<int32_t> keys;     // key codes held (1 is Escape)
};

struct InputScript {
  std::vector<InputPass> passes;  // passes[0] is held until the first pump
  std::deque<int32_t> waitAnyInput;  // answers; once they run out, 0 (the end)
  std::deque<int32_t> askYesNo;      // 1 Yes, 0 No; once they run out, Yes
};

// A script being played. Past its last pass nothing is held, unless a test sets `held`
// between steps.
struct ScriptedInput {
  InputScript script;
  InputPass held;
  size_t pass = 0;

  void Start(const InputScript& s);
  // The pump closed the current pass.
  void EndPass();
  // The pad's bits; a pad number carrying the keyboard flag (0x1001) reads that pad.
  int32_t Pad(int32_t pad) const;
  int32_t Key(int32_t key) const;
  int32_t NextWaitAnyInput();
  int32_t NextAskYesNo();
};

// A pass holding only these keys, or only these pad bits on pad 1.
InputPass Keys(std::vector<int32_t> keys);
InputPass Pad1(int32_t bits);
