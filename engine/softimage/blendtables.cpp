#include "engine/softimage/blendtables.h"

#include <algorithm>

uint32_t BlendMulTable[256][256];
int32_t BlendDiffTable[256][512];
uint8_t BlendMix6Table[64][64][64];
uint8_t BlendGraphCurve[256];

namespace {
bool g_tablesBuilt = false;
}  // namespace

int BuildBlendTables() {
  if (g_tablesBuilt) return 0;
  for (int r = 0; r < 256; r++) {
    for (int d = -255; d <= 255; d++) BlendDiffTable[r][d + 256] = r * d / 255;
  }
  for (int r = 0; r < 256; r++) {
    for (int c = 0; c < 256; c++) BlendMulTable[r][c] = uint32_t(r * c / 255);
  }
  for (int k = 0; k < 64; k++) {
    for (int i = 0; i < 64; i++) {
      for (int j = 0; j < 64; j++) BlendMix6Table[k][i][j] = uint8_t((k * i + (63 - k) * j) / 63);
    }
  }
  g_tablesBuilt = true;
  return 0;
}

void BuildBlendGraphCurve(int32_t p, int32_t r) {
  // Clamped here as well as by the setter, so no argument can make r + 1 zero.
  p = std::clamp(p, 0, 255);
  r = std::clamp(r, 0, 255);
  int32_t step = 65536 / (r + 1);
  int32_t base = 256 - (step + 256) * p / 256;
  for (int32_t i = 0; i < 256; i++) {
    BlendGraphCurve[i] = uint8_t(std::clamp(256 * i / (r + 1) + base, 0, 255));
  }
}
