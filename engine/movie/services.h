// What the engine start, the window procedure and the message pump ask of movie playback.
#pragma once

#include <cstdint>

// Redraws every movie that plays straight onto the screen (while the window is inactive).
int DrawAllScreenMovies();
// Pauses every playing movie, keeping its play request (on deactivation).
int PauseAllMovieHandles();  // engine/movie/movie.cpp
// Plays again every movie paused with its play request kept.
int ResumeAllMovieHandles();  // engine/movie/movie.cpp
// Stores each movie's position and releases its objects before a screen change.
int ReleaseAllMovieObjects();
// Opens every movie again after a graphics rebuild, at the time it had reached.
int ReopenAllMovies();
// Builds the decoder's YUV-to-RGB tables (every engine start); 0.
int BuildYuvTables();  // engine/movie/decoder.cpp

// ---- what the graph handles ask of movie playback ----------------------------------------

// Closes the movie; -1 for a handle that is not live (so a graph's -1 does nothing).
int CloseMovieHandle(int32_t movie);
// Restores the movie's lost surfaces; 0, and nothing for a handle that is not live.
int RestoreMovieSurfaces(int32_t movie);

// Everything above as the rest of the engine reaches it: through this table, so that a
// test can watch a call or script its result. It holds the functions above unless a test
// changed it; movie playback itself calls its functions directly.
struct MovieServices {
  int (*drawAllScreenMovies)();
  int (*pauseAllMovieHandles)();
  int (*resumeAllMovieHandles)();
  int (*releaseAllMovieObjects)();
  int (*buildYuvTables)();
};
extern MovieServices g_MovieServices;
// The table as it starts: the functions above.
extern const MovieServices kMovieServices;
