// The engine's main window (engine_window.h) with input on the headless devices: nothing
// held, no pads, input not started. Every call into the device layer is recorded and a
// test may make any of them fail.
#pragma once

#include "engine/system/input.h"
#include "engine_window.h"
#include "platform/input/headless/headlessinput.h"
#include "platform/input/headless/headlesskeys.h"
#include "platform/input/input.h"

#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

class InputTest : public EngineWindow {
 protected:
  // Decides a call's fate: 0 lets it through, anything else is its result.
  std::function<int32_t(const PlatInputCall&)> fail;

  void SetUp() override {
    EngineWindow::SetUp();
    PlatInputSetCallHook(OnCall, this);
  }

  void TearDown() override {
    ShutdownInput();
    PlatInputSetCallHook(nullptr, nullptr);
    EngineWindow::TearDown();
  }

  // "Name" or "Name(device)" for the device calls, with the value where it says more:
  // "SetProperty(256,4,4)" is a range (4) on the Y axis (offset 4) of the first pad.
  std::vector<std::string> InputCalls() {
    std::lock_guard<std::mutex> l(callsMu_);
    return calls_;
  }
  int InputCallCount(const std::string& record) {
    int n = 0;
    for (const std::string& c : InputCalls()) n += c == record;
    return n;
  }
  void ClearInputCalls() {
    std::lock_guard<std::mutex> l(callsMu_);
    calls_.clear();
  }
  static std::string Pad(int n) { return std::to_string(PLAT_DIGUID_PAD_BASE + n); }

  // A pad with motors and the usual controls.
  static int AttachPad(const char* name = "Pad", int rumble = 1) {
    return PlatHeadlessInputAttachPad({name, name, 6, 32, 1, rumble});
  }
  // Pumps every key press typed into the window so far into its key state.
  void Pump() {
    PlatMsg m;
    while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) {
      PlatTranslateMessage(&m);
      PlatDispatchMessage(&m);
    }
  }
  // The user presses or lets go of a key in the window: the window hears of it and the
  // keyboard device reads it.
  void Press(uint32_t vk, int down = 1) { PlatHeadlessKey(window, vk, down); }
  // A key the keyboard device alone reads: none of the program's windows has the focus.
  static void PressOutside(uint32_t vk, int down = 1) { PlatHeadlessKey(0, vk, down); }
  // Makes the interface versions unobtainable, so input starts in the fallback mode.
  void NoDevices() {
    fail = [](const PlatInputCall& c) -> int32_t {
      return std::string(c.name) == "Create" ? PLAT_DIERR_CLASSNOTREG : 0;
    };
  }
  // Starts input and moves to a fresh millisecond, so the next query samples.
  void Start() {
    ASSERT_EQ(StartInputDevices(), 0);
    PlatClockAdvance(1);
  }

 private:
  void Record(const std::string& s) {
    std::lock_guard<std::mutex> l(callsMu_);
    calls_.push_back(s);
  }
  static int32_t OnCall(const PlatInputCall& call, void* self) {
    InputTest* t = static_cast<InputTest*>(self);
    std::string s = call.name;
    const std::string name = call.name;
    auto args = [&s](std::initializer_list<uint32_t> values) {
      char separator = '(';
      for (uint32_t v : values) {
        s += separator;
        s += std::to_string(v);
        separator = ',';
      }
      s += ')';
    };
    if (name == "Create" || name == "Initialize") {
      args({call.version >> 8});
    } else if (name == "SetProperty") {
      args({call.device, call.value, call.object});
    } else if (name == "SetCooperativeLevel" || name == "CreateEffect" || name == "Start" ||
               name == "Stop") {
      args({call.device, call.value});
    } else if (name != "EnumDevices") {
      args({call.device});
    }
    t->Record(s);
    return t->fail ? t->fail(call) : 0;
  }
  std::mutex callsMu_;
  std::vector<std::string> calls_;
};

// A failure on one call: name and device (0: any device).
inline std::function<int32_t(const PlatInputCall&)> FailOn(std::string name, uint32_t device = 0,
                                                           uint32_t object = ~0u) {
  return [=](const PlatInputCall& c) -> int32_t {
    if (name != c.name || (device && c.device != device)) return 0;
    if (object != ~0u && c.object != object) return 0;
    return PLAT_DIERR_GENERIC;
  };
}
