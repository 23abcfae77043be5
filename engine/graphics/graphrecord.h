// The record behind a graph handle. The graph table and the operations over graphs are
// the graph manager's; the 2D surface operations (surface2d.h) walk a graph's list of
// surfaces, so the record stands on its own here.
#pragma once

#include "engine/graphics/surfacedata.h"

#include <climits>
#include <cstdint>

enum : int32_t { GRAPH_SURFACE_LIMIT = 64 };

struct GraphRecord {
  uint32_t check;           // first, as the handle table wants
  int32_t* deletedFlag;     // set to 1 when the graph is freed; null when none
  int32_t handle;           // the graph's own handle
  // Handed to the surface creation as they stand: the texture flag draws from textures,
  // the alpha-test byte is the graph's colour-key flag, the one-channel byte is unused.
  SurfaceCreateFlags flags;
  uint8_t createMode;       // 1: made while the graph create mode was 1 (larger texture tiles)
  uint32_t loadMirror;      // the loader's mirror flag when the graph is reloaded
  int32_t surfaces[GRAPH_SURFACE_LIMIT];  // 2D surface handles (or 3D texture handles)
  int32_t surfaceCount;
  char name[PATH_MAX];      // the file it was loaded from, "" when none
  char directory[PATH_MAX]; // the directory current when it was loaded
  int32_t sourceX, sourceY; // its offset inside its file's image
  int32_t width, height;
  int32_t movie;            // the movie feeding it, -1 when none
  int32_t lost;             // 1 while it waits to be restored
  void* ownedMemory;        // freed with the record, null when none
};
