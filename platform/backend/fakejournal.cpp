#include "platform/backend/fakejournal.h"

#include <atomic>
#include <mutex>

namespace {

struct Journal {
  std::mutex mu;
  std::atomic<bool> on{false};
  std::vector<std::string> entries;
};

Journal& J() {
  static Journal* j = new Journal;
  return *j;
}

}  // namespace

void PlatFakeJournal(int on) {
  Journal& j = J();
  std::lock_guard<std::mutex> lock(j.mu);
  j.entries.clear();
  j.on = on != 0;
}

std::vector<std::string> PlatFakeJournalEntries() {
  Journal& j = J();
  std::lock_guard<std::mutex> lock(j.mu);
  return j.entries;
}

void PlatFakeJournalAdd(const char* family, const char* operation) {
  Journal& j = J();
  if (!j.on.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> lock(j.mu);
  if (j.on) j.entries.push_back(std::string(family) + "." + operation);
}
