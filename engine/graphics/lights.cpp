
#include "engine/base/handle.h"
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/graphics/lights.h"
#include "engine/graphics/renderer3d.h"
#include "engine/graphics/services.h"
#include "engine/state/fatal.h"

#include <cmath>
#include <cstring>

int32_t g_LightsChanged = 0;

namespace {

void* lightSlots[LIGHT_TABLE_SIZE];
HandleTable lightTable = {HANDLE_TYPE_LIGHT, LIGHT_TABLE_SIZE, lightSlots, 0, 0, 0};

void Cross(const float* a, const float* b, float* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

void Normalise(float* v) {
  const double length = std::sqrt(DotProduct3(v, v));
  if (length == 0.0) return;  // a degenerate camera stays degenerate rather than NaN
  for (int i = 0; i < 3; i++) v[i] = float(v[i] / length);
}

}  // namespace

int32_t AddLightRecord() {
  // Every slot taken: the table cannot grow, so the caller gets a plain failure.
  if (HandleTableNextSlot(&lightTable) < 0) {
    WriteLog("ライトハンドルの数が上限に達しました\n");
    return -1;
  }
  LightRecord* r = static_cast<LightRecord*>(TrackedCalloc(sizeof(LightRecord), "", 0));
  if (!r) FatalEngineExit("ライト用のメモリの確保に失敗しました");
  for (int i = 0; i < 4; i++) {
    r->light.diffuse[i] = 1.0f;
    r->light.specular[i] = 1.0f;
    r->light.ambient[i] = 0.33f;
  }
  r->deviceSlot = -1;
  r->handle = HandleTableAdd(&lightTable, r);
  r->enabled = 1;
  r->changed = 1;
  g_LightsChanged = 1;
  return r->handle;
}

int32_t AddDirectionalLight(float x, float y, float z) {
  const float d[3] = {x, y, z};
  const double lengthSquared = DotProduct3(d, d);
  // A zero direction has no length to divide by.
  if (lengthSquared == 0.0) return -1;
  const int32_t handle = AddLightRecord();
  if (handle < 0) return -1;
  LightRecord* r = GetLightRecord(handle);
  const double inverse = 1.0 / std::sqrt(lengthSquared);
  r->light.type = LIGHT_DIRECTIONAL;
  for (int i = 0; i < 3; i++) r->light.direction[i] = float(d[i] * inverse);
  return handle;
}

LightRecord* GetLightRecord(int32_t light) {
  return static_cast<LightRecord*>(HandleTableGet(&lightTable, light));
}

int DeleteLightRecord(int32_t light) {
  LightRecord* r = GetLightRecord(light);
  if (!r) return -1;
  if (r->deviceSlot >= 0) g_LightsChanged = 1;
  HandleTableRemove(&lightTable, light);
  TrackedFree(r);
  g_LightsChanged = 1;
  return 0;
}

int DeleteAllLights() {
  for (int32_t slot = lightTable.highWater - 1; slot >= 0; slot--) {
    const int32_t handle = HandleTableHandleAt(&lightTable, slot);
    if (handle >= 0) DeleteLightRecord(handle);
  }
  return 0;
}

int32_t GetLightCount() { return lightTable.count; }
int32_t GetLightHighWater() { return lightTable.highWater; }

int StoreWorldMatrix(const Matrix4* matrix, int32_t flag) {
  g_DrawState.world = *matrix;
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.setWorldTransform3D(matrix, flag);
  return 0;
}

int StoreViewMatrix(const Matrix4* matrix) {
  g_DrawState.view = *matrix;
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.setViewTransform3D(matrix);
  return 0;
}

int StoreProjectionMatrix(const Matrix4* matrix) {
  g_DrawState.projection = *matrix;
  if (g_Renderer3D.is3DAvailable()) g_Renderer3D.setProjectionTransform3D(matrix);
  return 0;
}

int GetIdentityMatrix(Matrix4* out) {
  *out = {};
  for (int i = 0; i < 4; i++) out->m[i][i] = 1.0f;
  return 0;
}

double DotProduct3(const float* a, const float* b) {
  return double(a[0]) * b[0] + double(a[1]) * b[1] + double(a[2]) * b[2];
}

int BuildLookAtMatrix(Matrix4* out, const float* eye, const float* target, const float* up) {
  float z[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
  float x[3], y[3];
  Cross(up, z, x);
  Cross(z, x, y);
  Normalise(x);
  Normalise(y);
  Normalise(z);
  *out = {{{x[0], y[0], z[0], 0.0f},
           {x[1], y[1], z[1], 0.0f},
           {x[2], y[2], z[2], 0.0f},
           {float(-DotProduct3(x, eye)), float(-DotProduct3(y, eye)), float(-DotProduct3(z, eye)),
            1.0f}}};
  return 0;
}

int BuildPerspectiveMatrix(Matrix4* out, float fov, float nearZ, float farZ, float aspect) {
  if (aspect < 0.0f) {
    int32_t width = 640, height = 480;
    QueryScreenSize(&width, &height);
    aspect = float(height) / float(width);
  }
  const double s = std::sin(fov * 0.5), c = std::cos(fov * 0.5);
  if (std::fabs(farZ - nearZ) < 0.01 || std::fabs(s) < 0.01) return -1;
  const double cot = c / s;
  const double q = farZ / (farZ - nearZ);
  *out = {};
  out->m[0][0] = float(aspect * cot);
  out->m[1][1] = float(cot);
  out->m[2][2] = float(q);
  out->m[2][3] = 1.0f;
  out->m[3][2] = float(-q * nearZ);
  return 0;
}
