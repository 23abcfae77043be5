#include "engine/pixel/screen.h"

int32_t QueryScreenDepth() {
  return g_ScreenState.requestedDepth ? int32_t(g_ScreenState.requestedDepth) : 16;
}

void SetRequestedScreenDepth(int32_t depth) {
  g_ScreenState.requestedDepth = depth > 0 ? uint32_t(depth) : 0;
}
