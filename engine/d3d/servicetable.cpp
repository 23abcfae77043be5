#include "engine/d3d/services.h"

constexpr D3dServices kD3dServices = {
    .restoreAllTextures = RestoreAllTextures,
    .releaseDirect3DObject = ReleaseDirect3DObject,
    .initializeDirect3D = LeaveDirect3DOff,
};

D3dServices g_D3dServices = kD3dServices;
