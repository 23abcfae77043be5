// The Direct3D renderer's table for the window procedure: the textures' restore and the
// object's release on activation changes go through it, so that a test can watch a call or
// script its result. The renderer's own interface: engine/d3d/d3d.h.
#pragma once

#include "engine/base/servicetable.h"

#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/d3d/servicelist.h"
#undef KR_SERVICE

// It holds the functions of the list unless a test changed it.
struct D3dServices {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/d3d/servicelist.h"
#undef KR_SERVICE
};
extern D3dServices g_D3dServices;
// The table as it starts: the functions of the list.
extern const D3dServices kD3dServices;
