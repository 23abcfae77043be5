// The recording fake of platform/d3d (the back end "fake"): every call is recorded with
// its arguments (vertices and indices copied); the enumerations come from a script; the
// nth call of an operation can fail with a chosen result, doing nothing; and it can
// forward drawing to `soft`, so that one test sees both the calls and the pixels.
//
// Objects, devices and their states live in `soft` underneath (ids are soft's), so that
// the getters answer what was set. Without forwarding, DrawPrimitive,
// DrawIndexedPrimitive and Load are recorded and answer PLAT_D3D_OK without drawing.
// A device of any scripted type is made as soft's one type.
#pragma once

#include "platform/d3d/d3d.h"

#include <string>
#include <vector>

struct PlatD3DFakeCall {
  std::string operation;       // the call's name without the prefix: "SetRenderState", "DrawPrimitive", ...
  std::vector<uint32_t> args;  // its scalar arguments in order (floats by their bits, rectangles by fields)
  std::vector<uint8_t> vertices;  // the draws' vertices, copied
  std::vector<uint16_t> indices;  // DrawIndexedPrimitive's indices, copied
  int32_t result = 0;
};

struct PlatD3DFakeDevice {
  std::string description, name;
  PlatD3DDeviceDesc desc;
};

// Back to the start: soft's own enumerations as the script, no failures, no forwarding,
// an empty record, every object and device of both back ends released, Direct3D
// available. The back end chosen stays.
void PlatD3DFakeReset();
// The script: devices in order, Z formats and texture formats in order.
void PlatD3DFakeSetDevices(const std::vector<PlatD3DFakeDevice>& devices);
void PlatD3DFakeSetZFormats(const std::vector<PlatDDPixelFormat>& formats);
void PlatD3DFakeSetTextureFormats(const std::vector<PlatDDPixelFormat>& formats);
// The nth call of the operation from now (1: the next one) answers error.
void PlatD3DFakeFailNth(const char* operation, int n, int32_t error);
// The next count Loads answer PLAT_DDERR_SURFACEBUSY.
void PlatD3DFakeLoadBusy(int count);
// Draws and Loads go on to `soft` while on (off at start).
void PlatD3DFakeForward(int on);
const std::vector<PlatD3DFakeCall>& PlatD3DFakeCalls();
// The operations recorded, in order.
std::vector<std::string> PlatD3DFakeCallNames();
void PlatD3DFakeClearCalls();
