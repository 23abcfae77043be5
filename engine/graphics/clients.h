// What graphics tells the layers above it: the fonts (made again, kept or dropped with the
// graph manager and the screen mode) and the movies that feed graphs. Graphics calls them
// through g_GraphicsClients, which the engine fills with the fonts' and movies' functions
// (engine/system/clients.cpp), so that graphics includes nothing above it.
#pragma once

#include "engine/base/servicetable.h"

#include <cstdint>

struct GraphicsClients {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/graphics/clientlist.h"
#undef KR_SERVICE
};
extern GraphicsClients g_GraphicsClients;
