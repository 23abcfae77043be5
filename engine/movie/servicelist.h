// The movie services: the functions of movie playback that the rest of the engine reaches
// through g_MovieServices, one entry each (see engine/base/servicetable.h).
// No include guard: read once for each thing made from it.

// Redraws every movie that plays straight onto the screen (while the window is inactive).
KR_SERVICE(int, DrawAllScreenMovies, drawAllScreenMovies, ())
// Pauses every playing movie, keeping its play request (on deactivation).
KR_SERVICE(int, PauseAllMovieHandles, pauseAllMovieHandles, ())  // engine/movie/movie.cpp
// Plays again every movie paused with its play request kept.
KR_SERVICE(int, ResumeAllMovieHandles, resumeAllMovieHandles, ())  // engine/movie/movie.cpp
// Stores each movie's position and releases its objects before a screen change.
KR_SERVICE(int, ReleaseAllMovieObjects, releaseAllMovieObjects, ())
// Builds the decoder's YUV-to-RGB tables (every engine start); 0.
KR_SERVICE(int, BuildYuvTables, buildYuvTables, ())  // engine/movie/decoder.cpp
