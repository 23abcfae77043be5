// The screen as the rest of the engine asks about it.
#pragma once

#include <cstdint>

// The colour depth in bits that the screen mode asks for: 16 until a depth is set.
int32_t QueryScreenDepth();
// Records the requested depth (8, 16 or 32; 0 or less goes back to 16).
void SetRequestedScreenDepth(int32_t depth);
