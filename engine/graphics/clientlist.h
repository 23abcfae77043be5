// What graphics tells the fonts and movies above it, one entry each (see
// engine/base/servicetable.h and engine/graphics/clients.h). No include guard: read once
// for each thing made from it.

// ---- fonts: the graph manager and the screen mode change ---------------------------------

// Puts the default font's settings back (the graph manager's start); 0.
KR_SERVICE(int, ResetFontDefaults, resetFontDefaults, ())
// Deletes every font handle (the graph manager's end); 0.
KR_SERVICE(int, DeleteAllFonts, deleteAllFonts, ())
// Makes every font's glyph cache again under its own handle (after the graphs were lost); 0.
KR_SERVICE(int, RefreshAllFontHandles, refreshAllFontHandles, ())
// The default font's handle, or -1 while there is none.
KR_SERVICE(int, QueryDefaultFont, queryDefaultFont, ())
// 1 for a live font handle.
KR_SERVICE(int, IsFontHandleValid, isFontHandleValid, (int32_t font))
// A font's face name (into 256 bytes), size and thickness, each out pointer may be null;
// 0, or -1 for a bad handle.
KR_SERVICE(int, QueryFontSettings, queryFontSettings, (char* face, int32_t* size, int32_t* thickness, int32_t font))
// Makes the default font again with this size and thickness; 0.
KR_SERVICE(int, ApplyDefaultFontSize, applyDefaultFontSize, (int32_t size, int32_t thickness))

// ---- movies: movie-fed graphs ------------------------------------------------------------

// Opens every movie again after a graphics rebuild, at the time it had reached.
KR_SERVICE(int, ReopenAllMovies, reopenAllMovies, ())
// Closes the movie; -1 for a handle that is not live (so a graph's -1 does nothing).
KR_SERVICE(int, CloseMovieHandle, closeMovieHandle, (int32_t movie))
// Restores the movie's lost surfaces; 0, and nothing for a handle that is not live.
KR_SERVICE(int, RestoreMovieSurfaces, restoreMovieSurfaces, (int32_t movie))
// 1 for a live movie that shows itself on the overlay, 0 for another live one, -1 for a
// handle that is not live.
KR_SERVICE(int, MovieShowsOnOverlay, movieShowsOnOverlay, (int32_t movie))
// Moves the movie to the frame its clock or sound asks for and tells its callback; 0.
KR_SERVICE(int, UpdateMovieFrame, updateMovieFrame, (int32_t movie, int32_t waitFlag))
// Shows the movie of surface mode 1 on the overlay at (x, y) in the window's client area,
// magnified by scale, or hides it (show 0). 0, or -1 for a handle that is not live.
KR_SERVICE(int, DrawMovieToScreen, drawMovieToScreen, (int32_t x, int32_t y, int32_t scale, int32_t movie, int32_t show))
