// The fonts and movies graphics tells about: the table of engine/graphics/clients.h
// filled from the layers above it.
#include "engine/font/services.h"
#include "engine/graphics/clients.h"
#include "engine/movie/movie.h"
#include "engine/movie/services.h"

GraphicsClients g_GraphicsClients = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/graphics/clientlist.h"
#undef KR_SERVICE
};
