#include "engine/pixel/screen.h"

namespace {
int32_t g_requestedDepth = 0;  // 0: not set
}  // namespace

int32_t QueryScreenDepth() { return g_requestedDepth > 0 ? g_requestedDepth : 16; }

void SetRequestedScreenDepth(int32_t depth) { g_requestedDepth = depth > 0 ? depth : 0; }
