#include "standins.h"

#include "fake_engine.h"

#include <cstdint>
#include <map>

namespace {

bool g_on = false;
std::map<std::string, std::function<void()>> g_hooks;

// True when the stand-in took the call.
bool StandIn(const char* name, const std::string& entry) {
  if (!g_on) return false;
  FakeLog(entry);
  auto hook = g_hooks.find(name);
  if (hook != g_hooks.end()) hook->second();
  return true;
}

std::string Entry(const char* name, std::initializer_list<int32_t> args) {
  std::string s = name;
  s += '(';
  for (const int32_t* a = args.begin(); a != args.end(); a++) {
    if (a != args.begin()) s += ',';
    s += std::to_string(*a);
  }
  s += ')';
  return s;
}

}  // namespace

void SetGameStandIns(bool on) {
  g_on = on;
  g_hooks.clear();
}

void StandInHook(const std::string& name, std::function<void()> hook) { g_hooks[name] = hook; }

#define KR_STAND_IN(sym, name, params, args, ...)                       \
  extern "C" void __real_##sym params;                                  \
  extern "C" void __wrap_##sym params {                                 \
    if (!StandIn(name, Entry(name, {__VA_ARGS__}))) __real_##sym args;  \
  }

KR_STAND_IN(_Z16HandlePlayerMovei, "HandlePlayerMove", (int32_t n), (n), n)
KR_STAND_IN(_Z19HandlePlayerButtonsi, "HandlePlayerButtons", (int32_t n), (n), n)
KR_STAND_IN(_Z16TouchCellObjectsii, "TouchCellObjects", (int32_t row, int32_t column),
            (row, column), row, column)
KR_STAND_IN(_Z10JudgeRoundv, "JudgeRound", (), ())
KR_STAND_IN(_Z7DrawHudv, "DrawHud", (), ())
KR_STAND_IN(_Z11RunMenuLoopv, "RunMenuLoop", (), ())
