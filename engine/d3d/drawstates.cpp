// The draw state as device states. Until that layer lands: nothing is chosen, and
// applying sends nothing but takes the requests as applied.
#include "engine/d3d/direct3d.h"

void ChooseTextureStates(const Surface3DData*, uint32_t) {}

int ApplyDrawStates(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates && !r->statesDirty && !r->textureDirty) return -1;
  r->statesDirty = 0;
  r->textureDirty = 0;
  return 0;
}
