// What the rest of the engine asks of the graphics subsystem: the system layer (engine
// start and end, window procedure, message pump, window placement) and the public entry
// points through the table at the end; the 3D renderer, fonts and movies by direct call
// (graph records and sizes, the rendering mode, the DirectDraw object).
#pragma once

#include "engine/base/servicetable.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/maskscreen.h"
#include "engine/pixel/drawstate.h"
#include "platform/ddraw/ddraw.h"
#include "platform/window/window.h"

#include <cstdint>

struct GraphImage;

// The functions of the table at the end.
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/graphics/servicelist.h"
#undef KR_SERVICE

// ---- engine start and end -------------------------------------------------------------

// Switches 3D off for the screen (1) or on (0), which stays off without DirectDraw; 0.
// GetNo3DSetting is in the table's list.
int SetNo3DSetting(int32_t flag);
// 1 while the screens are software images drawn by the software renderer.
int IsSoftwareRendering();
// The size of a graph, or of the screen for DRAW_SCREEN_FRONT and DRAW_SCREEN_BACK; 0, or
// -1 for a dead graph. Either pointer may be null.
int QueryGraphSize(int32_t graph, int32_t* width, int32_t* height);
// 1 for a live graph handle, else 0.
int IsGraphHandleLive(int32_t graph);
struct GraphRecord;
// The record of a live graph, or null.
GraphRecord* LookupGraph(int32_t graph);

// ---- the table the other subsystems call through --------------------------------------

// The listed functions as the system layer and the public entry points reach them:
// through this table, so that a test can watch a call or script its result. It holds the
// functions of the list unless a test changed it; graphics itself calls its functions
// directly.
struct GraphicsServices {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/graphics/servicelist.h"
#undef KR_SERVICE
};
extern GraphicsServices g_GraphicsServices;
// The table as it starts: the functions of the list.
extern const GraphicsServices kGraphicsServices;
