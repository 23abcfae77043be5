#include "engine/movie/services.h"

constexpr MovieServices kMovieServices = {
#define KR_SERVICE KR_SERVICE_DEFAULT
#include "engine/movie/servicelist.h"
#undef KR_SERVICE
};

MovieServices g_MovieServices = kMovieServices;
