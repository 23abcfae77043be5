// The input-method back end of a machine without an input method: no window has a
// context, so every call that needs one fails the way it does for a null context.
#include "platform/ime/backend.h"

namespace {

PlatImc GetContext(PlatWnd) { return 0; }
int ReleaseContext(PlatWnd, PlatImc) { return 0; }
int32_t GetCompositionString(PlatImc, uint32_t, void*, uint32_t) { return 0; }
int SetCompositionString(PlatImc, uint32_t, const void*, uint32_t, const void*, uint32_t) { return 0; }
int Notify(PlatImc, uint32_t, uint32_t, uint32_t) { return 0; }
uint32_t GetCandidateList(PlatImc, uint32_t, void*, uint32_t) { return 0; }
int GetOpenStatus(PlatImc) { return 0; }
int SetOpenStatus(PlatImc, int) { return 0; }

const PlatImeBackend kNone = {
    .name = "none",
    .getContext = GetContext,
    .releaseContext = ReleaseContext,
    .getCompositionString = GetCompositionString,
    .setCompositionString = SetCompositionString,
    .notify = Notify,
    .getCandidateList = GetCandidateList,
    .getOpenStatus = GetOpenStatus,
    .setOpenStatus = SetOpenStatus,
};

}  // namespace

const PlatImeBackend* PlatImeNoneBackend() { return &kNone; }
