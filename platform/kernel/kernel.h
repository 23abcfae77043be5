// Kernel services: clocks, sleeping, thread ids, events, mutexes, threads, the heap,
// the debugger output, temporary files and facts about the machine.
//
// Every wait and every clock reading goes through here, so that tests can run the whole
// engine on a manual clock: while it is on, time moves only when a test moves it (or a
// thread sleeps on it, which advances it instead of waiting).
#pragma once

#include <cstddef>
#include <cstdint>

// ---- clocks -------------------------------------------------------------------------

// Milliseconds of the system timer; unsigned and wrapping, callers take differences.
uint32_t PlatTimeMs();
// High-resolution counter in nanoseconds; PlatPerfFrequency() is its rate (1e9 per second).
int64_t PlatPerfCounter();
int64_t PlatPerfFrequency();
// Sleeps this many milliseconds; 0 gives up the rest of the time slice. On the manual
// clock the clock is advanced by the time instead.
void PlatSleep(uint32_t ms);

// Manual clock for tests. Turning it on freezes time at startMs (milliseconds of
// PlatTimeMs; the performance counter reads startMs * 1e6 ns).
void PlatClockSetManual(int on, uint32_t startMs = 0);
int PlatClockIsManual();
void PlatClockAdvance(uint32_t ms);
void PlatClockAdvanceNs(uint64_t ns);

// ---- threads ------------------------------------------------------------------------

// Non-zero id of the calling thread, stable for its life; never 0 or 0xFFFFFFFF.
uint32_t PlatThreadId();

struct PlatThread;
typedef void (*PlatThreadFunc)(void* arg);
// Starts a thread running fn(arg); null on failure.
PlatThread* PlatThreadStart(PlatThreadFunc fn, void* arg);
// Waits for the thread to end and frees its record.
void PlatThreadJoin(PlatThread* thread);
// Id (as PlatThreadId reports it inside the thread) of a started thread; 0 until it runs.
uint32_t PlatThreadGetId(PlatThread* thread);

// ---- events -------------------------------------------------------------------------

struct PlatEvent;
enum : uint32_t { PLAT_INFINITE = 0xFFFFFFFFu };
enum { PLAT_WAIT_SIGNALED = 0, PLAT_WAIT_TIMEOUT = 258, PLAT_WAIT_FAILED = -1 };

// A manual-reset event stays signalled until reset; an auto-reset one releases one
// waiter and turns unsignalled again.
PlatEvent* PlatEventCreate(int manualReset, int initialState);
void PlatEventDestroy(PlatEvent* event);
void PlatEventSet(PlatEvent* event);
void PlatEventReset(PlatEvent* event);
// Waits up to timeoutMs (PLAT_INFINITE: no limit, 0: poll). Returns PLAT_WAIT_SIGNALED,
// PLAT_WAIT_TIMEOUT, or PLAT_WAIT_FAILED for a null event.
int PlatEventWait(PlatEvent* event, uint32_t timeoutMs);
// Waits until the platform clock (as PlatPerfCounter reads it, in nanoseconds) reaches
// deadlineNs: as PlatEventWait, with a deadline that does not move however late the wait
// begins.
int PlatEventWaitUntil(PlatEvent* event, int64_t deadlineNs);
// Waits until any of count events is signalled: returns its index, PLAT_WAIT_TIMEOUT or
// PLAT_WAIT_FAILED. The lowest signalled index wins.
int PlatEventWaitAny(PlatEvent* const* events, int count, uint32_t timeoutMs);
// Number of threads blocked in an event wait that nothing has released yet: a waiter
// stops counting as soon as one of its events is signalled or its time limit has passed,
// even before it has woken up. Tests use it to know that a thread has reached its wait
// before they move the clock or set the event, and, after releasing it, that the thread
// has done its work and come back to wait again.
int PlatWaitingThreadCount();
// Spins (in real time) until at least `count` threads are blocked in unreleased waits.
void PlatWaitForWaiters(int count);

// ---- mutexes ------------------------------------------------------------------------

struct PlatMutex;
PlatMutex* PlatMutexCreate(int recursive);
void PlatMutexDestroy(PlatMutex* mutex);
void PlatMutexLock(PlatMutex* mutex);
int PlatMutexTryLock(PlatMutex* mutex);  // 1 when taken
void PlatMutexUnlock(PlatMutex* mutex);

// Holds a mutex for the rest of the scope it is declared in.
class PlatMutexHold {
 public:
  explicit PlatMutexHold(PlatMutex* mutex) : mutex_(mutex) { PlatMutexLock(mutex_); }
  ~PlatMutexHold() { PlatMutexUnlock(mutex_); }
  PlatMutexHold(const PlatMutexHold&) = delete;
  PlatMutexHold& operator=(const PlatMutexHold&) = delete;

 private:
  PlatMutex* mutex_;
};

// ---- heap ---------------------------------------------------------------------------

// The process heap. A test can make requests fail through the hook (return non-zero to
// refuse a request of that size).
void* PlatHeapAlloc(size_t size);
void PlatHeapFree(void* block);
typedef int (*PlatAllocFailHook)(size_t size);
void PlatSetAllocFailHook(PlatAllocFailHook hook);
// A block that can grow to many megabytes without its bytes being copied: its pages are
// moved, not the data. PlatHeapFree frees it like any other block; releasing its pages
// is left to a background thread, so a free never holds the caller.
void* PlatHeapAllocResizable(size_t size);
// A resizable block at its new size, its bytes kept and its address perhaps changed; null
// (the block as it was) when the memory is refused.
void* PlatHeapResize(void* block, size_t size);
// Asks a background thread to make the pages of a resizable block from offset on, length
// bytes, present (written once, as a virtual machine's host may back a page only then),
// so that the first writes there cost the writer no page faults. A resize or free of the
// block stops that work first.
void PlatHeapPrefault(void* block, size_t offset, size_t length);
// The offset below which that work is done (or none was asked for): the owner writes
// there without faults, and must not write past it while work is pending.
size_t PlatHeapReady(void* block);

// ---- debugger output ----------------------------------------------------------------

// Receives Shift-JIS text meant for a debugger. By default it goes to stderr as UTF-8, and
// only while a debugger (a tracer) is attached or KR_DEBUG_OUTPUT=1; a sink set here receives the Shift-JIS bytes instead (null restores the default).
typedef void (*PlatDebugSink)(const char* sjisText, void* context);
void PlatDebugOutput(const char* sjisText);
void PlatSetDebugSink(PlatDebugSink sink, void* context);
// A line the user must read (ours, in English; a path in it may be Shift-JIS): always on
// stderr as UTF-8, whether or not anyone watches the debugger output.
void PlatUserNotice(const char* sjisText);

// ---- machine facts ------------------------------------------------------------------

struct PlatMemoryStatus {
  uint32_t loadPercent;
  uint64_t totalPhys, availPhys;
  uint64_t totalPageFile, availPageFile;
  uint64_t totalVirtual, availVirtual;
};
void PlatGetMemoryStatus(PlatMemoryStatus* status);

// The processor identification instruction: eax, ebx, ecx, edx for the leaf; all zero
// where the machine has none.
void PlatCpuid(uint32_t leaf, uint32_t regs[4]);
// The processor's time-stamp counter (0 where the machine has none).
uint64_t PlatReadTsc();
int PlatProcessorCount();

// Stand-ins for the machine's answers, for tests that need a machine other than the one
// they run on. Each entry either fills in the answer and returns 1, or returns 0 to let
// the machine answer; a null entry always lets the machine answer. The table is kept by
// pointer (the caller keeps it alive) and applies to every thread; null removes it.
struct PlatOsVersion;
struct PlatMachineHooks {
  int (*hasCpuid)(int* answer);
  int (*cpuid)(uint32_t leaf, uint32_t regs[4]);
  int (*readTsc)(uint64_t* answer);
  int (*perfCounter)(int64_t* answer);
  int (*perfFrequency)(int64_t* answer);
  int (*osVersion)(PlatOsVersion* answer);
  int (*memoryStatus)(PlatMemoryStatus* answer);
};
void PlatSetMachineHooks(const PlatMachineHooks* hooks);
// The table set, or null.
const PlatMachineHooks* PlatGetMachineHooks();

struct PlatDateTime {
  int year, month, day, hour, minute, second, milliseconds, dayOfWeek;
};
// Local date and time (on the manual clock: a fixed date advanced by the manual time).
void PlatGetLocalTime(PlatDateTime* out);
// The local date and time of a moment given in seconds since 1970 (UTC); milliseconds 0.
void PlatSecondsToLocalTime(int64_t seconds, PlatDateTime* out);

// An environment variable, or null.
const char* PlatGetEnv(const char* name);

// ---- process ------------------------------------------------------------------------

// Ends the process at once with the exit code's low 8 bits (-1 is seen as 255): open
// streams are flushed, but no destructor, exit handler or other thread runs any further.
[[noreturn]] void PlatExitProcess(int exitCode);
// A function PlatExitProcess calls just before the process ends (null: none); tests use
// it to look at what was given back by then.
void PlatSetExitHook(void (*hook)());
