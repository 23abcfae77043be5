// Which back end stands behind each family of the platform layer: window, display (whose
// store DirectDraw shares), input, the input method, audio, media, Direct3D and the GDI's
// fonts.
//
// KR_PLATFORM names the platform: "headless", or "sdl" (the default, also for an unset or
// unknown name). Each family lists its back ends with the platforms each one serves; on
// first use a family takes the back end of the current platform (its first back end when
// none serves it), unless the program or a test chose one by name before. A family is a
// list and one PlatBackendChoice:
//
//   const PlatBackendOption<PlatAudioBackend> kAudioBackends[] = {
//       {.table = PlatAudioSdlBackend, .platforms = PLAT_PLATFORM_SDL},
//       {.table = PlatAudioHeadlessBackend, .platforms = PLAT_PLATFORM_HEADLESS},
//   };
//   PlatBackendChoice<PlatAudioBackend> audioBackend(kAudioBackends, PLAT_BACKEND_FIXED);
//
// The table type needs a `const char* name` member: it is the name a program chooses by.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

enum PlatPlatform : uint32_t {
  PLAT_PLATFORM_SDL = 1u << 0,
  PLAT_PLATFORM_HEADLESS = 1u << 1,
};

// The platform KR_PLATFORM names (read at each call).
PlatPlatform PlatCurrentPlatform();

// Whether a family may change its back end once one is in use.
enum PlatBackendRule {
  // The back end holds the family's state (windows, devices): the one chosen or used
  // stays while the family holds any of that state, and choosing another fails.
  PLAT_BACKEND_FIXED,
  // Stateless between calls: a choice takes effect at the next call.
  PLAT_BACKEND_SWITCHABLE,
};

template <typename Table>
struct PlatBackendOption {
  // The back end's function table (a function, so that no table depends on the order in
  // which static data of other files is set up).
  const Table* (*table)();
  // PLAT_PLATFORM_* bits: the platforms whose default it is (0: only chosen by name).
  uint32_t platforms;
};

template <typename Table>
class PlatBackendChoice {
 public:
  template <size_t N>
  constexpr PlatBackendChoice(const PlatBackendOption<Table> (&options)[N], PlatBackendRule rule)
      : options_(options), count_(N), rule_(rule) {}

  // The back end in use, choosing the current platform's the first time.
  const Table* Get() {
    const Table* chosen = chosen_.load(std::memory_order_acquire);
    if (chosen) return chosen;
    const Table* fallback = ForPlatform(PlatCurrentPlatform());
    // Another thread may have chosen meanwhile: its choice stands.
    chosen_.compare_exchange_strong(chosen, fallback, std::memory_order_acq_rel);
    return chosen_.load(std::memory_order_acquire);
  }

  // Chooses by name; 0, or -1 for an unknown name or (PLAT_BACKEND_FIXED) when another
  // back end is in use and the family holds state of it (inUse; the family says so, and
  // keeps it from changing meanwhile).
  int Select(const char* name, bool inUse = true) {
    const Table* wanted = ByName(name);
    if (!wanted) return -1;
    if (rule_ == PLAT_BACKEND_SWITCHABLE || !inUse) {
      chosen_.store(wanted, std::memory_order_release);
      return 0;
    }
    const Table* current = nullptr;
    if (chosen_.compare_exchange_strong(current, wanted, std::memory_order_acq_rel)) return 0;
    return current == wanted ? 0 : -1;
  }

  const char* Name() { return Get()->name; }

 private:
  const Table* ForPlatform(PlatPlatform platform) const {
    for (size_t i = 0; i < count_; i++)
      if (options_[i].platforms & platform) return options_[i].table();
    return options_[0].table();
  }
  const Table* ByName(const char* name) const {
    if (!name) return nullptr;
    for (size_t i = 0; i < count_; i++) {
      const Table* t = options_[i].table();
      if (std::strcmp(t->name, name) == 0) return t;
    }
    return nullptr;
  }

  const PlatBackendOption<Table>* options_;
  size_t count_;
  PlatBackendRule rule_;
  std::atomic<const Table*> chosen_{nullptr};
};
