// Test seam of the 3D texture table: a record over a surface record a test made itself,
// for tests of the device that want a tile without a graph around it.
#pragma once

#include "engine/d3d/texture3d.h"

// A new record of the table whose texture is the surface record (the record takes one
// of its references over); the handle, or -1 when the table is full or no record can be
// had.
int32_t AddTexture3DForTest(int32_t surface);
