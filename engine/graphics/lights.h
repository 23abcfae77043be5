// Light handles and the transforms: the world, view and projection matrices kept in the
// draw state and handed to the Direct3D device, and the matrix builders the draw-target
// change uses.
#pragma once

#include "engine/pixel/drawstate.h"

#include <cstdint>

// The light as the Direct3D device takes it.
struct LightValues {
  int32_t type;  // 3 directional
  float diffuse[4];
  float specular[4];
  float ambient[4];
  float position[3];
  float direction[3];
  float range;
  float falloff;
  float attenuation[3];
  float theta;
  float phi;
};

struct LightRecord {
  uint32_t check;
  int32_t handle;
  LightValues light;
  int32_t deviceSlot;  // the light's index on the device, -1 while it has none
  int32_t enabled;
  int32_t changed;     // the device must be told
};

enum : int32_t { LIGHT_TABLE_SIZE = 4096, LIGHT_DIRECTIONAL = 3 };

// A new enabled light with the default colours: its handle, or -1 when every slot is taken.
int32_t AddLightRecord();
// A directional light along (x, y, z), normalised; -1 for a zero direction.
int32_t AddDirectionalLight(float x, float y, float z);
int DeleteLightRecord(int32_t light);
int DeleteAllLights();
// The record of a live light, or null.
LightRecord* GetLightRecord(int32_t light);
// Live lights, and one past the highest slot handed out.
int32_t GetLightCount();
int32_t GetLightHighWater();
// Set whenever a light is added, enabled or deleted; the Direct3D renderer clears it.
extern int32_t g_LightsChanged;

int StoreWorldMatrix(const Matrix4* matrix, int32_t flag);
int StoreViewMatrix(const Matrix4* matrix);
int StoreProjectionMatrix(const Matrix4* matrix);
int GetIdentityMatrix(Matrix4* out);
double DotProduct3(const float* a, const float* b);
// A view matrix looking from eye at target with the given up direction; 0.
int BuildLookAtMatrix(Matrix4* out, const float* eye, const float* target, const float* up);
// A perspective projection; an aspect below 0 takes the screen's height / width. -1 and
// the output untouched when near and far (or the half angle's sine) are too close to 0.
int BuildPerspectiveMatrix(Matrix4* out, float fov, float nearZ, float farZ, float aspect);
