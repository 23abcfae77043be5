// The soft device's own switches, for the recording fake and the tests. Not for the engine.
#pragma once

#include "platform/d3d/d3d.h"

// Releases every object and device of the soft back end.
void PlatD3DSoftReset();
// What the soft back end reports: its one device, its Z format and its texture formats
// in order.
const PlatD3DDeviceDesc& PlatD3DSoftDeviceDesc();
PlatDDPixelFormat PlatD3DSoftZFormat();
int PlatD3DSoftTextureFormats(const PlatDDPixelFormat** formats);
