// Movie handles: the movie table, its records and what plays them.
#pragma once

#include "engine/base/rect.h"
#include "engine/pixel/colorformat.h"
#include "platform/ddraw/ddraw.h"
#include "platform/kernel/kernel.h"
#include "platform/media/media.h"

#include <cstdint>

struct MovieDecoder;
struct MovieRecord;

enum { MOVIE_TABLE_SIZE = 100, MOVIE_LOOP = 2 };
// How a movie is played: by the multimedia stream (platform/media) into a surface, or by
// the own decoder.
enum MoviePlayWay : int32_t { MOVIE_WAY_STREAM = 0, MOVIE_WAY_OWN_DECODER = 1 };

// Called after each new frame with the record and its callbackData.
typedef void (*MovieFrameCallback)(MovieRecord* movie, int32_t callbackData);

enum MovieSurfaceMode : int32_t { MOVIE_SURFACE_PLAIN = 0, MOVIE_SURFACE_OVERLAY = 1, MOVIE_SURFACE_RGB24 = 2 };

struct MovieRecord {
  uint32_t checkValue;
  int32_t playType;    // bit value 2: loops; also the sound's play type
  int32_t ownDecoder;  // 1: played by `decoder`
  MovieDecoder* decoder;
  int64_t startTime;   // microseconds at which frame 0 counts as shown (no sound)
  intptr_t decoderFile;
  int32_t sound;       // -1 for none
  Rect sampleRect;
  // The stream way of playing: 0 while not held. surface, surface7 and surface4 are views
  // of one surface.
  PlatMediaRef multiMediaStream;
  PlatMediaRef videoStream;
  PlatMediaRef amVideoStream;
  PlatMediaRef ddStream;
  PlatMediaRef sample;
  PlatDDSurface surface;
  PlatDDSurface surface7;
  PlatDDSurface surface4;
  PlatDDraw directDraw4;
  PlatMediaRef graphBuilder;
  PlatMediaRef mediaControl;
  PlatMediaRef mediaSeeking;
  PlatMediaRef basicAudio;
  int64_t timePerFrame;
  int64_t lastFrameTime;
  uint64_t openTime;
  int64_t lastFrameCount;
  uint32_t lastFrameMs;
  int64_t stopPosition;
  int32_t systemMemory;
  int32_t width, height;
  int32_t halfWidth;
  int32_t playRequested;
  int32_t paused;
  int32_t frameReady;
  MovieSurfaceMode surfaceMode;
  int64_t savedTime;
  int32_t tempFile;
  char fileName[260];
  PlatEvent* sampleEvent;
  int32_t updatePending;
  GraphImage frameImage;
  int32_t screenX, screenY, screenScale;
  int32_t overlayShown;
  Rect overlaySource, overlayDest;
  MovieFrameCallback frameCallback;
  int32_t callbackData;
  // 1 once a failed opening deleted the temporary copy that fileName names: it belongs to
  // the movie no more (the name may be another file's by now), so the close leaves it.
  int32_t tempCopyDeleted;
};

// The record of a valid movie handle, or null.
MovieRecord* LookupMovie(int32_t movie);
// 1 for a live movie of surface mode 1 (the overlay), 0 for another live one, -1 for a
// handle that is not live.
int MovieShowsOnOverlay(int32_t movie);
// A zero-filled record in a free slot with its check value, sound -1 and the live count
// raised; the handle, or -1 with a log line when the table is full or memory runs out.
int32_t AddMovieRecord(MovieRecord** record);
// Movies in the table.
int32_t GetMovieCount();
// The handle of the record in the slot, or -1 for an empty slot.
int32_t MovieHandleAt(int32_t slot);

// Opens a movie file and starts it playing into a new graph of its picture size, which the
// movie feeds: each update of the movie writes its newest frame into the graph (in surface
// mode 1 the movie shows on the overlay instead), and freeing the graph closes the movie.
// playType: bit value 2 loops; it is also the play type of the movie's sound (a waiting
// play, 0, starts the sound in the background). way: MOVIE_WAY_STREAM (the multimedia
// stream on the engine's DirectDraw object, in surfaceMode; without a DirectDraw object
// the own decoder plays the movie instead) or MOVIE_WAY_OWN_DECODER (the file is read
// through the file layer, so also inside an archive). The graph handle, or -1 with a log
// line.
int32_t OpenMovieToGraph(const char* fileName, int32_t playType, int32_t way,
                         MovieSurfaceMode surfaceMode = MOVIE_SURFACE_PLAIN);

// The DirectDraw object the stream way plays on: the engine's, or 0 without one (the
// no-DirectDraw mode, or before the start and after the end of DirectDraw).
PlatDDraw GetMovieDirectDraw();
// Builds the stream side of the record: the graph, the multimedia stream with its video
// and audio streams, the frame surface, its sample, the frame buffer and the sample's
// event; makes a temporary copy of a file the stream cannot open. tempFile and halfWidth
// are the caller's. fileName is Shift-JIS (it may be the record's own). The stream is left
// stopped. 0, or -1 with a log line and everything made released.
int OpenMovieFile(PlatDDraw directDraw, MovieRecord* movie, const char* fileName, int32_t* widthOut,
                  int32_t* heightOut, MovieSurfaceMode surfaceMode);
// Shows the movie of surface mode 1 on the overlay at (x, y) in the window's client area,
// magnified by scale, or hides it (show 0). 0, or -1 for a handle that is not live.
int DrawMovieToScreen(int32_t x, int32_t y, int32_t scale, int32_t movie, int32_t show);

// Moves the movie to the frame its clock or sound asks for and tells its callback; 0.
int UpdateMovieFrame(int32_t movie, int32_t waitFlag);
// Pauses a movie (keeping its play request when keepRequest is 1); 0, or -1.
int PauseMovieHandle(int32_t movie, int32_t keepRequest);
int PauseAllMovieHandles();
int ResumeAllMovieHandles();
// Releases everything the movie holds and frees its slot; 0, or -1 for an invalid handle.
int CloseMovieHandle(int32_t movie);
