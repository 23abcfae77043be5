#include "engine/d3d/services.h"

constexpr D3dServices kD3dServices = {
    .restoreAllTextures = RestoreAllTextures,
    .releaseDirect3DObject = ReleaseDirect3DObject,
    .initializeDirect3D = InitializeDirect3D,
};

D3dServices g_D3dServices = kD3dServices;
