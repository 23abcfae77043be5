// Test seam of the soft-image table: nothing in the engine makes a soft image, so tests
// make them here.
#pragma once

#include "engine/graphics/softimages.h"

// A new soft image that takes over the picture (its pixels belong to the record from
// then on); the handle, or -1 when the table is full or no record can be had.
int32_t AddSoftImageForTest(const GraphImage* image);
// The table itself, to read its count and high-water index.
const HandleTable* SoftImageTableForTest();
