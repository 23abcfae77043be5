// What the engine start, the window procedure and the message pump ask of movie playback.
#pragma once

#include "engine/base/servicetable.h"

#include <cstdint>

// The functions of the table below.
#define KR_SERVICE KR_SERVICE_DECLARATION
#include "engine/movie/servicelist.h"
#undef KR_SERVICE

// Opens every movie again after a graphics rebuild, at the time it had reached.
int ReopenAllMovies();

// ---- what the graph handles ask of movie playback ----------------------------------------

// Closes the movie; -1 for a handle that is not live (so a graph's -1 does nothing).
int CloseMovieHandle(int32_t movie);
// Restores the movie's lost surfaces; 0, and nothing for a handle that is not live.
int RestoreMovieSurfaces(int32_t movie);

// The listed functions as the rest of the engine reaches them: through this table, so
// that a test can watch a call or script its result. It holds the functions of the list
// unless a test changed it; movie playback itself calls its functions directly.
struct MovieServices {
#define KR_SERVICE KR_SERVICE_MEMBER
#include "engine/movie/servicelist.h"
#undef KR_SERVICE
};
extern MovieServices g_MovieServices;
// The table as it starts: the functions of the list.
extern const MovieServices kMovieServices;
