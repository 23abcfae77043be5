// The 3D texture records: one tile of a texture-backed graph in one texture surface,
// behind handles of type 0x30000000 in the table of the Direct3D state block. Here: the
// record, the table's walk and removal, which the device's release, restore and
// termination use.
#pragma once

#include "platform/d3d/d3d.h"

#include <cstdint>

struct Surface3DData {
  uint32_t check;
  int32_t* deletionWatcher;  // set to 1 when the record goes
  uint16_t tileX, tileY;     // the tile's corner in its graph
  uint16_t texelX, texelY;   // where its pixels start in the texture
  uint16_t usedWidth, usedHeight;
  PlatD3DTexturedVertex vertices[4];  // top-left, top-right, bottom-left, bottom-right
  uint8_t cornerSide[4];
  int32_t ownerGraph;
  int32_t surface;  // the SurfaceData handle of the texture, shared with derived records
};

// The record of a valid handle, or null (whether Direct3D is on or not).
Surface3DData* LookupTexture3D(int32_t handle);
// Removes the record, and its texture surface when no other record shares it; 0, or -1
// for a handle that is not valid.
int RemoveTexture3D(int32_t handle);
// Removes every record; 0.
int RemoveAllTextures();
// Calls visit with the surface handle of every record, slot by slot up to the slots in
// use (read again after each slot).
void ForEachTextureSurface(void (*visit)(int32_t surface));
