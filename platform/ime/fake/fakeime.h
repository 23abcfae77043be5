// The fake input method: the "fake" back end of platform/ime, which tests script. Every
// window has one context (its handle), made on first use. What the user does arrives
// at the window as queued input; what the program asks of the input method is recorded.
#pragma once

#include "platform/ime/ime.h"

#include <string>
#include <vector>

// Forgets every context, script and recorded call.
void PlatImeFakeReset();

// The user composes sjis, the cursor at byte cursor (-1: at the end), the whole text one
// clause. The window gets WM_IME_STARTCOMPOSITION when no composition was under way, then
// WM_IME_COMPOSITION with PLAT_GCS_COMPSTR | PLAT_GCS_CURSORPOS | PLAT_GCS_COMPCLAUSE.
void PlatImeFakeCompose(PlatWnd window, const std::string& sjis, int cursor = -1);
// The user commits: the composition becomes the result and empties; the window gets
// WM_IME_COMPOSITION with PLAT_GCS_RESULTSTR | PLAT_GCS_COMPSTR, then
// WM_IME_ENDCOMPOSITION.
void PlatImeFakeCommit(PlatWnd window);
// The candidates the input method offers as list 0 (none when empty); nothing is sent.
void PlatImeFakeSetCandidates(PlatWnd window, const std::vector<std::string>& candidates);
// From now on copying a candidate list fails (its size is still reported).
void PlatImeFakeFailCandidateCopy(int fail);
// From now on no window has a context.
void PlatImeFakeSetNoContext(int none);
// Opens or closes the input method as the user would, without a notification.
void PlatImeFakeSetOpen(PlatWnd window, int open);

std::string PlatImeFakeComposition(PlatWnd window);
int PlatImeFakeIsOpen(PlatWnd window);
// The calls that act on the input method, in order: "Notify(21,4)",
// "SetCompositionString(9,<text>)", "SetOpenStatus(1)".
std::vector<std::string> PlatImeFakeCalls();
void PlatImeFakeClearCalls();
// Contexts got and not yet released.
int PlatImeFakeContextsHeld();
