// Soft images: GraphImage records owned by handles of their own kind, emptied at engine
// end. Nothing in the engine makes one yet; tests make them through softimagetest.h.
#pragma once

#include "engine/base/handle.h"
#include "engine/pixel/colorformat.h"

#include <cstdint>

enum : int32_t { SOFT_IMAGE_SLOTS = 8192 };

// The generic table keeps each record's check value in its first field, so the check
// word stands before the picture.
struct SoftImage {
  uint32_t check;
  GraphImage image;
};

// Frees the picture and the record of a live handle; 0, or -1 for any other handle
// (without a log line).
int RemoveSoftImage(int32_t handle);
// RemoveAllSoftImagesCore (graphics/services.h) removes every one.
