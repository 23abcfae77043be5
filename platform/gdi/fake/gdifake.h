// The recording fake of platform/gdi: test switches over the one implementation.
// PlatGdiFakeReset puts everything back and deletes every device context and object
// still there (surfaces' device contexts are given back to their surfaces).
#pragma once

#include "platform/gdi/gdi.h"

#include <string>
#include <vector>

void PlatGdiFakeReset();
// The next count calls of the operation (its name without the prefix: "GetDC",
// "CreateCompatibleDC", "CreateCompatibleBitmap", "CreateDIBSection", "SelectObject",
// "BitBlt", "SetDIBitsToDevice", "StretchDIBits", "GetDIBits", "ChangeDisplaySettings",
// ...) fail as that call fails, doing nothing.
void PlatGdiFakeFailNext(const char* operation, int count);
// The nth call of the operation from now (1: the next one) fails, once.
void PlatGdiFakeFailNth(const char* operation, int n);
// Records each call's operation name while on (off at start).
void PlatGdiFakeLogCalls(int on);
std::vector<std::string> PlatGdiFakeCalls();
// Device contexts and objects alive now.
int PlatGdiFakeLiveDCs();
int PlatGdiFakeLiveObjects();
// What GetClipBox answers for a window's dc from now on: PLAT_NULLREGION,
// PLAT_SIMPLEREGION or PLAT_COMPLEXREGION with the box (dc coordinates), as a window that
// is covered, clipped or partly covered; 0 goes back to the real answer.
void PlatGdiFakeSetClipBox(int kind, const PlatRect* box);
// While on, every DIB and bitmap copy goes through the general per-pixel loops instead of
// the row converters of the common formats, which must give the same pixels.
void PlatGdiFakeGeneralCopies(int on);
