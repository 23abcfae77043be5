// The stream way of playing movies, as the table's operations (engine/movie/movie.cpp)
// reach it for a record whose ownDecoder is 0. Movie playback's own.
#pragma once

#include "engine/movie/movie.h"

// Whether the record holds its surface (it is open, not released).
inline bool HoldsMovieSurface(const MovieRecord* r) { return r->surface4 || r->surface7; }

// UpdateMovieFrame of a stream movie.
void UpdateStreamMovie(MovieRecord* r, int32_t waitFlag);
// Takes back a pending update and waits until the stream's thread lets go of the sample,
// its surface and its event.
void AbortStreamUpdate(MovieRecord* r);
// The close's steps 3 and 5 (the overlay hidden, then every object released); the
// pending update must have been taken back.
void CloseStreamObjects(MovieRecord* r);
