#include "engine/d3d/services.h"

constexpr D3dServices kD3dServices = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/d3d/servicelist.h"
#undef KR_SERVICE
};

D3dServices g_D3dServices = kD3dServices;
