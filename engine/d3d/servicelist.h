// The Direct3D services: the functions of the renderer that the window procedure reaches
// through g_D3dServices, one entry each (see engine/base/servicetable.h). No include
// guard: read once for each thing made from it.

// Restores the lost surfaces of every 3D texture record (on re-activation); 0, or -1
// while Direct3D is off.
KR_SERVICE(int, RestoreAllTextures, restoreAllTextures, ())
// Releases the Direct3D object (on deactivation of a full-screen program).
KR_SERVICE(int, ReleaseDirect3DObject, releaseDirect3DObject, ())
