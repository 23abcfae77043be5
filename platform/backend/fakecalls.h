// What the platform families' test fakes share: a log of the operations called, failures
// injected by operation name, and handles that carry their kind in the top byte.
#pragma once

#include "platform/backend/fakejournal.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct FakeCalls {
  // The family's name in the shared journal (platform/backend/fakejournal.h).
  const char* family = "";
  struct Failure {
    int count = 0;
    int32_t error = 0;
    int skip = 0;  // calls let through before the failing ones
  };
  bool logging = false;
  std::vector<std::string> calls;
  std::map<std::string, Failure> failures;

  // Logs the operation and answers the error injected into this call of it, or 0.
  int32_t Enter(const char* operation) {
    if (logging) calls.push_back(operation);
    PlatFakeJournalAdd(family, operation);
    // Every call of a running program comes here: without failures to look up, no key is
    // made from the name.
    if (failures.empty()) return 0;
    auto it = failures.find(operation);
    if (it == failures.end() || it->second.count <= 0) return 0;
    if (it->second.skip > 0) {
      it->second.skip--;
      return 0;
    }
    const int32_t error = it->second.error;
    if (--it->second.count == 0) failures.erase(it);
    return error;
  }
  // The next count calls of the operation answer error.
  void FailNext(const char* operation, int count, int32_t error) {
    if (operation) failures[operation] = Failure{count, error};
  }
  // The nth call of the operation from now (1: the next) answers error, once.
  void FailNth(const char* operation, int n, int32_t error) {
    if (operation && n > 0) failures[operation] = Failure{1, error, n - 1};
  }
  void Reset() {
    failures.clear();
    logging = false;
    calls.clear();
  }
};

// A handle of the given kind: the kind in the top byte, below it a serial that never is 0,
// so that no handle of any kind is 0.
inline uint32_t NextKindHandle(uint32_t& next, uint32_t kind) {
  uint32_t serial = next++ & 0x00FFFFFFu;
  if (!serial) serial = next++ & 0x00FFFFFFu;
  return kind << 24 | serial;
}
