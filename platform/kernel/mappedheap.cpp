// Resizable heap blocks: each its own mapping, grown or shrunk by moving its pages, and a
// background thread that makes their pages present ahead of the writer and releases the
// pages of freed blocks.
//
// A first write to a fresh page can cost tens of microseconds on a virtual machine whose
// host hands memory out lazily; a buffer that takes a megabyte a frame would spend
// milliseconds of the frame on faults, and an unmap of a gigabyte as long again.
#include "platform/kernel/kernel.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

int PlatHeapRefused(size_t size);  // kernel.cpp

namespace {

// The pages one step of the thread makes present: a resize or free that has to wait for
// the step waits no longer than this takes.
constexpr size_t kPrefaultStep = 256 << 10;

struct Job {
  char* base;
  size_t from, to;  // page-aligned offsets still to make present
  size_t unmapLength;  // non-zero: the pages to release, the block gone
};

struct MappedHeap {
  std::mutex mu;
  std::condition_variable work, stepDone;
  std::map<char*, size_t> blocks;  // base and mapped length
  std::atomic<size_t> count{0};
  std::deque<Job> jobs;
  char* busy = nullptr;  // the block a step is working on
  bool threadStarted = false;
};

MappedHeap& Heap() {
  static MappedHeap* heap = new MappedHeap;  // lives as long as its thread
  return *heap;
}

size_t PageSize() {
  static const size_t page = size_t(sysconf(_SC_PAGESIZE));
  return page;
}

size_t RoundToPages(size_t size) {
  const size_t page = PageSize();
  return (size ? (size + page - 1) : page) / page * page;
}

void Worker() {
  MappedHeap& h = Heap();
  std::unique_lock<std::mutex> lock(h.mu);
  for (;;) {
    h.work.wait(lock, [&] { return !h.jobs.empty(); });
    Job& job = h.jobs.front();
    if (job.unmapLength) {
      const Job done = job;
      h.jobs.pop_front();
      lock.unlock();
      munmap(done.base, done.unmapLength);
      lock.lock();
      continue;
    }
    char* base = job.base;
    const size_t from = job.from;
    const size_t to = std::min(job.to, from + kPrefaultStep);
    job.from = to;
    if (job.from >= job.to) h.jobs.pop_front();
    h.busy = base;
    lock.unlock();
    // Faults the pages in as a write would, without writing: the owner may be writing
    // to them at the same time.
    madvise(base + from, to - from, MADV_POPULATE_WRITE);
    lock.lock();
    h.busy = nullptr;
    h.stepDone.notify_all();
  }
}

// Drops the block's pending work and waits out a step under way on it; the lock held.
void StopWork(MappedHeap& h, std::unique_lock<std::mutex>& lock, char* base) {
  for (auto it = h.jobs.begin(); it != h.jobs.end();)
    it = it->base == base && !it->unmapLength ? h.jobs.erase(it) : it + 1;
  h.stepDone.wait(lock, [&] { return h.busy != base; });
}

void Post(MappedHeap& h, const Job& job) {
  h.jobs.push_back(job);
  if (!h.threadStarted) {
    h.threadStarted = true;
    std::thread(Worker).detach();
  }
  h.work.notify_one();
}

}  // namespace

void* PlatHeapAllocResizable(size_t size) {
  if (PlatHeapRefused(size)) return nullptr;
  const size_t length = RoundToPages(size);
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  MappedHeap& h = Heap();
  std::lock_guard<std::mutex> lock(h.mu);
  h.blocks[static_cast<char*>(base)] = length;
  h.count++;
  return base;
}

void* PlatHeapResize(void* block, size_t size) {
  if (PlatHeapRefused(size)) return nullptr;
  MappedHeap& h = Heap();
  std::unique_lock<std::mutex> lock(h.mu);
  char* base = static_cast<char*>(block);
  const auto it = h.blocks.find(base);
  if (it == h.blocks.end()) return nullptr;
  const size_t length = RoundToPages(size);
  if (length == it->second) return block;
  StopWork(h, lock, base);
  void* moved = mremap(base, it->second, length, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) return nullptr;
  h.blocks.erase(it);
  h.blocks[static_cast<char*>(moved)] = length;
  return moved;
}

void PlatHeapPrefault(void* block, size_t offset, size_t length) {
  MappedHeap& h = Heap();
  std::lock_guard<std::mutex> lock(h.mu);
  char* base = static_cast<char*>(block);
  const auto it = h.blocks.find(base);
  if (it == h.blocks.end()) return;
  const size_t page = PageSize();
  const size_t from = offset / page * page;
  const size_t to = std::min(it->second, RoundToPages(offset + length));
  if (from < to) Post(h, Job{base, from, to, 0});
}

// Frees a resizable block: true, or false for a block of the ordinary heap.
bool PlatHeapFreeMapped(void* block) {
  MappedHeap& h = Heap();
  if (h.count.load() == 0 || !block) return false;
  std::unique_lock<std::mutex> lock(h.mu);
  char* base = static_cast<char*>(block);
  const auto it = h.blocks.find(base);
  if (it == h.blocks.end()) return false;
  StopWork(h, lock, base);
  // The range stays mapped until the thread releases it, so nothing else is placed there
  // while a step could still name it.
  Post(h, Job{base, 0, 0, it->second});
  h.blocks.erase(it);
  h.count--;
  return true;
}
