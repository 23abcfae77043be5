// The engine's main window with the fake input method behind it, character input freshly
// initialised, and helpers to see the character ring.
#pragma once

#include "engine/base/memory.h"
#include "engine/system/charinput.h"
#include "engine/system/keyinput.h"
#include "engine/system/system.h"
#include "engine_window.h"
#include "platform/ime/fake/fakeime.h"

#include <string>
#include <vector>

class ImeWindow : public EngineWindow {
 protected:
  void SetUp() override {
    EngineWindow::SetUp();
    ASSERT_EQ(PlatImeSelectBackend("fake"), 0);
    PlatImeFakeReset();
    InitCharCodeBuffer();
    ClearCalls();
  }
  void TearDown() override {
    EXPECT_EQ(PlatImeFakeContextsHeld(), 0) << "every context got is released";
    PlatImeSelectBackend("none");
    EngineWindow::TearDown();
  }
};

// The bytes waiting in the ring, oldest first.
inline std::string RingText() {
  std::string bytes;
  const CharCodeBuffer& b = g_CharCodeBuffer;
  for (int32_t p = b.readPos; p != b.writePos; p = (p + 1) % 1025) bytes.push_back(char(b.data[p]));
  return bytes;
}

// Pushes each byte as the window procedure does with typed characters.
inline void PushText(const std::string& bytes) {
  for (char c : bytes) PushCharCode(uint8_t(c));
}
