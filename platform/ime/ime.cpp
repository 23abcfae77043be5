// The input-method calls, each handed to the back end in use.
#include "platform/ime/backend.h"

#include "platform/backend/chooser.h"

namespace {

// No platform has an input method of its own yet: every platform starts without one.
const PlatBackendOption<PlatImeBackend> kBackends[] = {
    {.table = PlatImeNoneBackend, .platforms = PLAT_PLATFORM_SDL | PLAT_PLATFORM_HEADLESS},
    {.table = PlatImeFakeBackend, .platforms = 0},
};
PlatBackendChoice<PlatImeBackend> backend(kBackends, PLAT_BACKEND_SWITCHABLE);

const PlatImeBackend* B() { return backend.Get(); }

}  // namespace

int PlatImeSelectBackend(const char* name) { return backend.Select(name); }

const char* PlatImeBackendName() { return backend.Name(); }

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
