// The filter graph and the multimedia stream: what plays a movie file into a
// DirectDraw-style surface (platform/ddraw), frame by frame, with its sound on the sound
// device (platform/audio).
//
//   - The filter graph answers for its control (pause), its seeking (the stop position)
//     and its audio.
//   - The multimedia stream is initialised for reading over a filter graph, gets its
//     primary video stream (on a DirectDraw-style object) and its primary audio stream
//     (to the default output), opens a file, and runs, stops, seeks and tells its time.
//   - The video stream tells its format and time per frame, and makes stream samples.
//   - A stream sample is bound to a surface (its own, when none is given) and receives
//     frames through updates.
//
// Every interface is a reference of its own (PlatMediaRef, 0 is none): it is checked at
// every call, and released on its own. QueryInterface gives another reference to the same
// object. An object lives while any reference to it does, and a stream's parts (its video
// and audio streams and its samples) keep the stream alive.
//
// Files. A file is read whole through platform/fs (a Shift-JIS name; the file system's
// own name is made at that boundary, and no archive is looked into). It must be Ogg with a
// Theora picture stream (libogg and libtheora, through platform/media/theora.h); its
// first Vorbis stream, when there is one, is decoded with libvorbis and played on the
// newest sound device as a stream the mixer pulls. Anything else fails to open.
//
// Time. Stream time is in 100-nanosecond units. While the stream runs its time follows
// the platform clock (platform/kernel, so the manual clock of the tests too); stopping or
// pausing holds it and seeking moves it. Frame i is due at i x the time per frame. An
// update delivers the newest frame that is due (the frames between are decoded and
// dropped); when none is due yet, an asynchronous update is pending, and the stream's
// own thread completes it when the frame is due: it writes the frame into the sample's
// surface and then signals the update's event. Past the last frame the update answers
// PLAT_MS_S_ENDOFSTREAM, once the time of the whole movie has run. A synchronous update
// sleeps on the platform clock until its frame is due.
//
// Pictures go into the sample's surface through SDL2's SDL_ConvertPixels: R5G6B5,
// X1R5G5B5, X8R8G8B8 and 24-bit RGB surfaces, and UYVY or YUY2 overlays. A sample cannot be
// bound to a surface of any other format, or one smaller than the movie.
//
// Back ends: "stream" (the sdl and headless platforms alike: the above) and "fake"
// (platform/media/fake/mediafake.h: the same objects, with every result scripted and
// every creation and call able to fail).
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/kernel/kernel.h"

#include <cstdint>

typedef uint32_t PlatMediaRef;

// ---- results --------------------------------------------------------------------------
// Besides these, platform/ddraw's errors of the surfaces a sample writes into.

enum : int32_t {
  PLAT_MEDIA_OK = 0,
  PLAT_MS_S_PENDING = 0x40001,       // an asynchronous update is under way
  PLAT_MS_S_NOUPDATE = 0x40002,      // an update was aborted before it delivered
  PLAT_MS_S_ENDOFSTREAM = 0x40003,   // no frame is left
  PLAT_MEDIA_E_NOINTERFACE = int32_t(0x80004002u),
  PLAT_MEDIA_E_POINTER = int32_t(0x80004003u),
  PLAT_MEDIA_E_FAIL = int32_t(0x80004005u),
  PLAT_MEDIA_E_HANDLE = int32_t(0x80070006u),  // not a live reference of the kind
  PLAT_MEDIA_E_OUTOFMEMORY = int32_t(0x8007000Eu),
  PLAT_MEDIA_E_INVALIDARG = int32_t(0x80070057u),
  PLAT_MEDIA_E_FILENOTFOUND = int32_t(0x80070002u),
  PLAT_MS_E_PURPOSEID = int32_t(0x80040401u),    // a purpose not known, or added twice
  PLAT_MS_E_NOSTREAM = int32_t(0x80040402u),     // no stream of that purpose
  PLAT_MS_E_BUSY = int32_t(0x80040405u),         // the sample has an update pending
  PLAT_MS_E_NOTINIT = int32_t(0x80040406u),      // not initialised, or no file open
  PLAT_MS_E_INCOMPATIBLE = int32_t(0x80040409u), // a surface the stream cannot write into
  PLAT_MS_E_NOTRUNNING = int32_t(0x8004040Bu),   // an update of a stream that does not run
  PLAT_MEDIA_E_UNKNOWNFILE = int32_t(0x80040241u),  // not a movie the stream can read
  PLAT_MEDIA_E_WRONGSTATE = int32_t(0x80040227u),   // a file is open already
};

// ---- numbers --------------------------------------------------------------------------

enum PlatMediaIid : uint32_t {
  PLAT_MEDIA_GRAPH_BUILDER = 1,   // the filter graph
  PLAT_MEDIA_CONTROL,
  PLAT_MEDIA_SEEKING,
  PLAT_MEDIA_BASIC_AUDIO,
  PLAT_MEDIA_MULTIMEDIA_STREAM,   // the multimedia stream
  PLAT_MEDIA_STREAM,              // a media stream (video or audio)
  PLAT_MEDIA_AM_STREAM,
  PLAT_MEDIA_DDRAW_STREAM,        // the video stream only
  PLAT_MEDIA_SAMPLE,              // a stream sample
};

enum : uint32_t { PLAT_STREAMTYPE_READ = 0 };
enum : uint32_t { PLAT_AMMSF_NOGRAPHTHREAD = 0x1 };        // Initialize
enum : uint32_t { PLAT_AMMSF_ADDDEFAULTRENDERER = 0x1 };   // AddMediaStream
enum : uint32_t { PLAT_MSPID_PRIMARY_VIDEO = 1, PLAT_MSPID_PRIMARY_AUDIO = 2 };
enum : uint32_t { PLAT_STREAMSTATE_STOP = 0, PLAT_STREAMSTATE_RUN = 1 };
enum : uint32_t { PLAT_DDSFF_PROGRESSIVERENDER = 0x1 };   // CreateSample
enum : uint32_t { PLAT_SSUPDATE_ASYNC = 0x1 };            // Update
enum : uint32_t {                                         // CompletionStatus
  PLAT_COMPSTAT_NOUPDATEOK = 0x1,
  PLAT_COMPSTAT_WAIT = 0x2,
  PLAT_COMPSTAT_ABORT = 0x4,
};

// ---- back end -------------------------------------------------------------------------

// "stream" or "fake"; 0, or -1 for an unknown name. Takes effect at the next creation.
int PlatMediaSelectBackend(const char* name);
const char* PlatMediaBackendName();

// ---- objects and references ---------------------------------------------------------------

int32_t PlatMediaCreateFilterGraph(PlatMediaRef* graphBuilder);
int32_t PlatMediaCreateMultiMediaStream(PlatMediaRef* stream);
// Another reference to the object: NOINTERFACE when it has no such interface.
int32_t PlatMediaQueryInterface(PlatMediaRef ref, PlatMediaIid iid, PlatMediaRef* out);
// Gives up one reference; the last one of an object frees it. A sample's last reference
// aborts its pending update first, and a stream's end joins its thread.
int32_t PlatMediaRelease(PlatMediaRef ref);

// ---- the filter graph ---------------------------------------------------------------------

// Pauses the streams over the graph: their time is held until they run again.
int32_t PlatMediaControlPause(PlatMediaRef control);
// The time of the whole movie (0 before a file is open).
int32_t PlatMediaSeekingGetStopPosition(PlatMediaRef seeking, int64_t* position);

// ---- the multimedia stream ------------------------------------------------------------------

// PLAT_STREAMTYPE_READ over the graph (a reference to it is kept).
int32_t PlatMediaStreamInitialize(PlatMediaRef stream, uint32_t type, uint32_t flags, PlatMediaRef graph);
// The primary video stream on the DirectDraw-style object (its samples' own surfaces are
// made through it), or the primary audio stream with PLAT_AMMSF_ADDDEFAULTRENDERER
// (directDraw 0).
int32_t PlatMediaStreamAddMediaStream(PlatMediaRef stream, PlatDDraw directDraw, uint32_t purpose, uint32_t flags);
// Opens the file (Shift-JIS name) for the streams added; the stream stays stopped at 0.
int32_t PlatMediaStreamOpenFile(PlatMediaRef stream, const char* fileName, uint32_t flags);
int32_t PlatMediaStreamGetMediaStream(PlatMediaRef stream, uint32_t purpose, PlatMediaRef* mediaStream);
int32_t PlatMediaStreamSetState(PlatMediaRef stream, uint32_t state);
int32_t PlatMediaStreamGetState(PlatMediaRef stream, uint32_t* state);
int32_t PlatMediaStreamGetTime(PlatMediaRef stream, int64_t* time);
// Moves the time; the next update delivers the frame due then.
int32_t PlatMediaStreamSeek(PlatMediaRef stream, int64_t time);

// ---- the video stream -------------------------------------------------------------------------

// The movie's size and a pixel format of the display in desired (flags, width, height,
// pixel format).
int32_t PlatMediaDDStreamGetFormat(PlatMediaRef ddStream, PlatDDSurfaceDesc* desired);
int32_t PlatMediaDDStreamGetTimePerFrame(PlatMediaRef ddStream, int64_t* time);
// A sample bound to the surface (a reference to it is kept), whose frame lies at rect
// (null: the top-left corner, the movie's size); surface 0: a surface of the sample's own,
// in system memory, in the display's format where the stream can write it, else X8R8G8B8.
int32_t PlatMediaDDStreamCreateSample(PlatMediaRef ddStream, PlatDDSurface surface, const PlatRect* rect,
                                      uint32_t flags, PlatMediaRef* sample);

// ---- stream samples ---------------------------------------------------------------------------

// A new frame into the surface. With an event (or PLAT_SSUPDATE_ASYNC) the update is
// asynchronous: PLAT_MEDIA_OK when a frame was due and is there, PLAT_MS_S_PENDING when
// it will come, the event then being signalled once it is there. Without, it waits.
// PLAT_MS_S_ENDOFSTREAM past the last frame; PLAT_MS_E_BUSY while one is pending;
// PLAT_MS_E_NOTRUNNING while the stream is stopped; a surface error when the frame
// could not be written.
int32_t PlatMediaSampleUpdate(PlatMediaRef sample, uint32_t flags, PlatEvent* event);
// The pending update's state: PLAT_MS_S_PENDING while it is under way (after timeoutMs
// with PLAT_COMPSTAT_WAIT), else how the last update ended. PLAT_COMPSTAT_ABORT takes it
// back: once this returns, the stream's thread no longer touches the sample, its
// surface or its event (PLAT_MS_S_NOUPDATE).
int32_t PlatMediaSampleCompletionStatus(PlatMediaRef sample, uint32_t flags, uint32_t timeoutMs);
// Another reference to the sample's surface, and the frame's rectangle in it.
int32_t PlatMediaSampleGetSurface(PlatMediaRef sample, PlatDDSurface* surface, PlatRect* rect);
