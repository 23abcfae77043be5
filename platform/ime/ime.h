// The input method of a window: its context, the composition the user is typing, the
// conversion result, the candidate list and whether the input method is open.
//
// Typed text never comes through here: whatever the user commits reaches the window as
// character messages, one per Shift-JIS byte (platform/window). Whether the input method
// may be used at all for a window is PlatEnableWindowIme (platform/window).
//
// The back end is chosen with PlatImeSelectBackend: "none" (the default on every
// platform) answers every call as a machine without an input method does (no context,
// nothing composed, closed); "fake" is an input method that tests script through
// platform/ime/fake/fakeime.h. Text given and returned is Shift-JIS.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

// An input context; 0 is none.
typedef uint32_t PlatImc;

// Parts of the composition (PlatImeGetCompositionString) and the message lParam flags of
// WM_IME_COMPOSITION that say which parts changed.
enum : uint32_t {
  PLAT_GCS_COMPREADSTR = 0x0001,
  PLAT_GCS_COMPSTR = 0x0008,
  PLAT_GCS_COMPCLAUSE = 0x0020,
  PLAT_GCS_CURSORPOS = 0x0080,
  PLAT_GCS_RESULTSTR = 0x0800,
};
// PlatImeSetCompositionString: replace the composition (and its reading).
enum : uint32_t { PLAT_SCS_SETSTR = PLAT_GCS_COMPREADSTR | PLAT_GCS_COMPSTR };
// PlatImeNotify: act on the composition; cancel it.
enum : uint32_t { PLAT_NI_COMPOSITIONSTR = 0x0015, PLAT_CPS_CANCEL = 0x0004 };
// WM_IME_NOTIFY commands (wParam).
enum : uint32_t {
  PLAT_IMN_CHANGECANDIDATE = 3,
  PLAT_IMN_CLOSECANDIDATE = 4,
  PLAT_IMN_OPENCANDIDATE = 5,
  PLAT_IMN_SETOPENSTATUS = 8,
  PLAT_IMN_SETCANDIDATEPOS = 9,
};
// Negative results of PlatImeGetCompositionString.
enum : int32_t { PLAT_IMM_ERROR_NODATA = -1, PLAT_IMM_ERROR_GENERAL = -2 };

// The head of a candidate list as PlatImeGetCandidateList copies it: the head, then
// `count` 32-bit offsets from the start of the list, then the candidates as
// zero-terminated texts. All fields little-endian 32-bit.
struct PlatCandidateListHead {
  uint32_t size;  // of the whole list, in bytes
  uint32_t style;
  uint32_t count;
  uint32_t selection;
  uint32_t pageStart;
  uint32_t pageSize;
};

// "none" or "fake"; 0, or -1 for an unknown name. May be switched at any time.
int PlatImeSelectBackend(const char* name);
const char* PlatImeBackendName();

// The window's context, or 0 when it has none. Each context got is released.
PlatImc PlatImeGetContext(PlatWnd window);
int PlatImeReleaseContext(PlatWnd window, PlatImc context);
// A part of the composition (PLAT_GCS_COMPSTR, _RESULTSTR, _COMPCLAUSE): copies at most
// size bytes (no terminator is added) and returns the bytes copied; size 0 returns the
// bytes the part holds. PLAT_GCS_CURSORPOS returns the cursor as a byte position in the
// composition. Without a context 0; negative (PLAT_IMM_ERROR_*) for an unknown part.
int32_t PlatImeGetCompositionString(PlatImc context, uint32_t index, void* buffer, uint32_t size);
// PLAT_SCS_SETSTR: the composition becomes compLength bytes of comp (the reading may be
// null). 1 when done, else 0.
int PlatImeSetCompositionString(PlatImc context, uint32_t index, const void* comp,
                                uint32_t compLength, const void* read, uint32_t readLength);
// PLAT_NI_COMPOSITIONSTR with PLAT_CPS_CANCEL throws the composition away. 1 / 0.
int PlatImeNotify(PlatImc context, uint32_t action, uint32_t index, uint32_t value);
// Candidate list number index: with size 0 the bytes it takes (0 when there is none),
// else the bytes copied (the whole list, which must fit), 0 on failure.
uint32_t PlatImeGetCandidateList(PlatImc context, uint32_t index, void* buffer, uint32_t size);
// 1 while the input method is open (converting what is typed), else 0.
int PlatImeGetOpenStatus(PlatImc context);
// Opens (1) or closes (0) it; a change is announced to the window by WM_IME_NOTIFY
// PLAT_IMN_SETOPENSTATUS, sent before this returns. 1 / 0.
int PlatImeSetOpenStatus(PlatImc context, int open);
