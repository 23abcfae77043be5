// What the window procedure asks of the Direct3D renderer.
#pragma once

// Restores the lost surfaces of every 3D texture record (on re-activation).
int RestoreAllTextures();
// Releases the Direct3D object (on deactivation of a full-screen program).
int ReleaseDirect3DObject();
