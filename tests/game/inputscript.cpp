#include "inputscript.h"

#include <algorithm>

void ScriptedInput::Start(const InputScript& s) {
  script = s;
  pass = 0;
  held = script.passes.empty() ? InputPass{} : script.passes[0];
}

void ScriptedInput::EndPass() {
  pass++;
  if (pass < script.passes.size())
    held = script.passes[pass];
  else if (pass == script.passes.size())
    held = InputPass{};
}

int32_t ScriptedInput::Pad(int32_t pad) const {
  const int32_t n = pad & 0xFFF;
  return n >= 1 && n <= 4 ? held.pads[n] : 0;
}

int32_t ScriptedInput::Key(int32_t key) const {
  return std::find(held.keys.begin(), held.keys.end(), key) != held.keys.end() ? 1 : 0;
}

int32_t ScriptedInput::NextWaitAnyInput() {
  if (script.waitAnyInput.empty()) return 0;
  const int32_t answer = script.waitAnyInput.front();
  script.waitAnyInput.pop_front();
  return answer;
}

int32_t ScriptedInput::NextAskYesNo() {
  if (script.askYesNo.empty()) return 1;
  const int32_t answer = script.askYesNo.front();
  script.askYesNo.pop_front();
  return answer;
}

InputPass Keys(std::vector<int32_t> keys) {
  InputPass p;
  p.keys = std::move(keys);
  return p;
}

InputPass Pad1(int32_t bits) {
  InputPass p;
  p.pads[1] = bits;
  return p;
}
