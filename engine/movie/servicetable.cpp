#include "engine/movie/services.h"

constexpr MovieServices kMovieServices = {
    .drawAllScreenMovies = DrawAllScreenMovies,
    .pauseAllMovieHandles = PauseAllMovieHandles,
    .resumeAllMovieHandles = ResumeAllMovieHandles,
    .releaseAllMovieObjects = ReleaseAllMovieObjects,
    .buildYuvTables = BuildYuvTables,
};

MovieServices g_MovieServices = kMovieServices;
