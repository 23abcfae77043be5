// Stubs until movie playback lands: there are no movies.
#include "engine/movie/services.h"

int DrawAllScreenMovies() { return 0; }
int PauseAllMovieHandles() { return 0; }
int ResumeAllMovieHandles() { return 0; }
int ReleaseAllMovieObjects() { return 0; }
int BuildYuvTables() { return 0; }
int CloseMovieHandle(int32_t) { return -1; }
int RestoreMovieSurfaces(int32_t) { return 0; }
