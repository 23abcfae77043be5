// The stream way of playing is not here yet: no movie of it exists.
#include "engine/movie/movie.h"
#include "engine/movie/services.h"

int DrawAllScreenMovies() { return 0; }
int ReleaseAllMovieObjects() { return 0; }
int ReopenAllMovies() { return 0; }
int RestoreMovieSurfaces(int32_t) { return 0; }
int DrawMovieToScreen(int32_t, int32_t, int32_t, int32_t movie, int32_t) { return LookupMovie(movie) ? 0 : -1; }
