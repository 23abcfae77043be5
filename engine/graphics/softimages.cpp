#include "engine/graphics/softimages.h"

#include "engine/base/memory.h"
#include "engine/graphics/services.h"
#include "engine/graphics/softimagetest.h"

namespace {

struct SoftImageState {
  void* slots[SOFT_IMAGE_SLOTS];
  HandleTable table;
};
// Set up before any code runs: engine end may remove all before anything was added.
SoftImageState g_SoftImages = {
    .slots = {},
    .table = {HANDLE_TYPE_SOFTIMAGE, SOFT_IMAGE_SLOTS, g_SoftImages.slots, 0, 0, 0},
};

}  // namespace

int RemoveSoftImage(int32_t handle) {
  SoftImage* record = static_cast<SoftImage*>(HandleTableRemove(&g_SoftImages.table, handle));
  if (!record) return -1;
  FreeGraphImageCore(&record->image);
  TrackedFree(record);
  return 0;
}

int RemoveAllSoftImagesCore() {
  HandleTable& t = g_SoftImages.table;
  // The mark falls as the top records go, so it is read again each time round.
  for (int32_t slot = 0; slot < t.highWater; slot++)
    if (t.slots[slot]) RemoveSoftImage(HandleTableHandleAt(&t, slot));
  return 0;
}

int32_t AddSoftImageForTest(const GraphImage* image) {
  if (HandleTableNextSlot(&g_SoftImages.table) < 0) return -1;
  SoftImage* record = static_cast<SoftImage*>(TrackedCalloc(sizeof(SoftImage), "", 0));
  if (!record) return -1;
  record->image = *image;
  return HandleTableAdd(&g_SoftImages.table, record);
}

const HandleTable* SoftImageTableForTest() { return &g_SoftImages.table; }
