// The input-method calls and the back end without an input method.
#include "platform/ime/backend.h"

#include <atomic>
#include <cstring>

namespace {

// A machine without an input method: no window has a context, so every call that needs
// one fails the way it does for a null context.
PlatImc NoneGetContext(PlatWnd) { return 0; }
int NoneReleaseContext(PlatWnd, PlatImc) { return 0; }
int32_t NoneGetCompositionString(PlatImc, uint32_t, void*, uint32_t) { return 0; }
int NoneSetCompositionString(PlatImc, uint32_t, const void*, uint32_t, const void*, uint32_t) {
  return 0;
}
int NoneNotify(PlatImc, uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t NoneGetCandidateList(PlatImc, uint32_t, void*, uint32_t) { return 0; }
int NoneGetOpenStatus(PlatImc) { return 0; }
int NoneSetOpenStatus(PlatImc, int) { return 0; }

const PlatImeBackend kNone = {
    "none",
    NoneGetContext,
    NoneReleaseContext,
    NoneGetCompositionString,
    NoneSetCompositionString,
    NoneNotify,
    NoneGetCandidateList,
    NoneGetOpenStatus,
    NoneSetOpenStatus,
};

std::atomic<const PlatImeBackend*> g_backend{&kNone};

const PlatImeBackend* B() { return g_backend.load(std::memory_order_acquire); }

}  // namespace

int PlatImeSelectBackend(const char* name) {
  if (!name) return -1;
  const PlatImeBackend* wanted = nullptr;
  if (std::strcmp(name, "none") == 0) wanted = &kNone;
  else if (std::strcmp(name, "fake") == 0) wanted = PlatImeFakeBackend();
  if (!wanted) return -1;
  g_backend.store(wanted, std::memory_order_release);
  return 0;
}

const char* PlatImeBackendName() { return B()->name; }

PlatImc PlatImeGetContext(PlatWnd window) { return B()->getContext(window); }
int PlatImeReleaseContext(PlatWnd window, PlatImc context) {
  return B()->releaseContext(window, context);
}
int32_t PlatImeGetCompositionString(PlatImc context, uint32_t index, void* buffer, uint32_t size) {
  return B()->getCompositionString(context, index, buffer, size);
}
int PlatImeSetCompositionString(PlatImc context, uint32_t index, const void* comp,
                                uint32_t compLength, const void* read, uint32_t readLength) {
  return B()->setCompositionString(context, index, comp, compLength, read, readLength);
}
int PlatImeNotify(PlatImc context, uint32_t action, uint32_t index, uint32_t value) {
  return B()->notify(context, action, index, value);
}
uint32_t PlatImeGetCandidateList(PlatImc context, uint32_t index, void* buffer, uint32_t size) {
  return B()->getCandidateList(context, index, buffer, size);
}
int PlatImeGetOpenStatus(PlatImc context) { return B()->getOpenStatus(context); }
int PlatImeSetOpenStatus(PlatImc context, int open) { return B()->setOpenStatus(context, open); }
