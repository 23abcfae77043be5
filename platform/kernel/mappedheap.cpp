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
constexpr size_t kPrefaultStep = 64 << 10;
// A tracked block's size is 32 bits: no resizable block grows past this.
constexpr size_t kReserve = size_t(1) << 32;

struct Job {
  char* base;
  size_t from, to;  // page-aligned offsets still to make present
  size_t unmapLength;  // non-zero: the pages to release, the block gone
};

struct MappedHeap {
  std::mutex mu;
  std::condition_variable work, stepDone;
  struct Block {
    size_t length;    // usable
    size_t reserved;  // address space held for it (0: none beyond its length)
    size_t ready;     // the pages below have no work pending
  };
  std::map<char*, Block> blocks;
  std::atomic<size_t> count{0};
  std::deque<Job> jobs;
  char* busy = nullptr;  // the block a step is working on
  pid_t threadProcess = 0;  // the process the thread was started in: a forked child has none
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
  return (size + page - 1) / page * page;
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
    const bool last = job.from >= job.to;
    if (last) h.jobs.pop_front();
    h.busy = base;
    lock.unlock();
    // The page tables first, then a write to each page: a virtual machine's host may
    // back a page only once it is written. The owner writes only below the ready mark,
    // which these pages are not, and they are still zero.
    madvise(base + from, to - from, MADV_POPULATE_WRITE);
    for (size_t at = from; at < to; at += PageSize()) *static_cast<volatile char*>(base + at) = 0;
    lock.lock();
    const auto it = h.blocks.find(base);
    if (it != h.blocks.end()) it->second.ready = last ? it->second.length : to;
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
  if (h.threadProcess != getpid()) {
    h.threadProcess = getpid();
    std::thread(Worker).detach();
  }
  h.work.notify_one();
}

}  // namespace

void* PlatHeapAllocResizable(size_t size) {
  if (PlatHeapRefused(size)) return nullptr;
  const size_t length = RoundToPages(size ? size : 1);
  // Address space for the largest block, so that growing only opens more of it: moving a
  // large block's pages costs as much as the faults saved. Where address space is short,
  // the block has only its length and moves when it grows.
  size_t reserved = length <= kReserve ? kReserve : 0;
  void* base = reserved ? mmap(nullptr, reserved, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)
                        : MAP_FAILED;
  if (base != MAP_FAILED && mprotect(base, length, PROT_READ | PROT_WRITE) != 0) {
    munmap(base, reserved);
    base = MAP_FAILED;
  }
  if (base == MAP_FAILED) {
    reserved = 0;
    base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
  }
  MappedHeap& h = Heap();
  std::lock_guard<std::mutex> lock(h.mu);
  h.blocks[static_cast<char*>(base)] = MappedHeap::Block{length, reserved, length};
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
  const size_t length = RoundToPages(size ? size : 1);
  MappedHeap::Block& b = it->second;
  if (length == b.length) return block;
  StopWork(h, lock, base);
  if (length <= b.reserved) {
    if (length > b.length) {
      if (mprotect(base + b.length, length - b.length, PROT_READ | PROT_WRITE) != 0) return nullptr;
    } else {
      madvise(base + length, b.length - length, MADV_DONTNEED);
      mprotect(base + length, b.length - length, PROT_NONE);
    }
    b = MappedHeap::Block{length, b.reserved, length};
    return block;
  }
  if (b.reserved) return nullptr;  // past the largest block
  void* moved = mremap(base, b.length, length, MREMAP_MAYMOVE);
  if (moved == MAP_FAILED) return nullptr;
  h.blocks.erase(it);
  h.blocks[static_cast<char*>(moved)] = MappedHeap::Block{length, 0, length};
  return moved;
}

void PlatHeapPrefault(void* block, size_t offset, size_t length) {
  MappedHeap& h = Heap();
  std::lock_guard<std::mutex> lock(h.mu);
  char* base = static_cast<char*>(block);
  const auto it = h.blocks.find(base);
  if (it == h.blocks.end()) return;
  // A page the range only begins inside has been written by the owner already.
  const size_t from = RoundToPages(offset);
  const size_t to = std::min(it->second.length, RoundToPages(offset + length));
  if (from >= to) return;
  it->second.ready = std::min(it->second.ready, from);
  Post(h, Job{base, from, to, 0});
}

size_t PlatHeapReady(void* block) {
  MappedHeap& h = Heap();
  std::lock_guard<std::mutex> lock(h.mu);
  const auto it = h.blocks.find(static_cast<char*>(block));
  return it == h.blocks.end() ? 0 : it->second.ready;
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
  Post(h, Job{base, 0, 0, it->second.reserved ? it->second.reserved : it->second.length});
  h.blocks.erase(it);
  h.count--;
  return true;
}
