#include "engine/d3d/services.h"

#include "engine/d3d/d3d.h"

constexpr D3dServices kD3dServices = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/d3d/servicelist.h"
#undef KR_SERVICE
};

D3dServices g_D3dServices = kD3dServices;

constexpr Renderer3D kDirect3DRenderer = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/graphics/renderer3dlist.h"
#undef KR_SERVICE
};

int (*g_Renderer3DStart)() = InitializeDirect3D;
