// The component runtime that the DirectX-style services are created through. Nothing on
// Linux needs starting; the stand-in counts starts and ends so that an unbalanced end
// shows, and lets a test make a start fail.
#pragma once

#include <cstdint>

enum : int32_t {
  PLAT_COM_OK = 0,
  PLAT_COM_FALSE = 1,  // already started on this thread: a success that must be ended too
  PLAT_COM_E_FAIL = int32_t(0x80004005u),
};

// Starts the runtime for the calling thread: PLAT_COM_OK, PLAT_COM_FALSE when this thread
// has started it already, or a negative code on failure (nothing to end then).
int32_t PlatComInitialize();
// Ends one successful start of the calling thread; an end without a start is ignored.
void PlatComUninitialize();
// Starts not yet ended, over all threads.
int PlatComStartCount();
// The next `count` starts fail with `code` (a negative value); count 0 cancels.
void PlatComFailNextStarts(int count, int32_t code);
// Sees every start and end as it is asked for, before it is carried out: the call's name
// ("PlatComInitialize" or "PlatComUninitialize") and the context. For tests that check
// where in a sequence the runtime starts and ends; null removes it.
typedef void (*PlatComObserver)(const char* call, void* context);
void PlatComSetObserver(PlatComObserver observer, void* context);
