// The engine's own movie decoder: Ogg Theora pictures decoded on a thread of their own
// and converted to XRGB8888 through the YUV tables built at every engine start.
//
// The thread owns the libogg and libtheora states and the read position while it runs.
// It shares with the engine thread only the atomics below and, under `handover`,
// decodedImage with handedFrame: it decodes up to currentFrame (modulo frameCount),
// converts that picture into its own work picture and swaps it into decodedImage.
#pragma once

#include "engine/pixel/colorformat.h"

#include <ogg/ogg.h>
#include <theora/theora.h>

#include <atomic>
#include <cstdint>

struct PlatThread;
struct PlatMutex;
struct PlatEvent;

// 1280 entries for the values -512 to 767 (the entry of 0 is YuvClampTable[512]): 0
// below 0, 255 above 255.
extern uint8_t YuvClampTable[1280];
// Five tables of 256 products in units of 1/16384, one after the other: V for red, U for
// green, V for green, U for blue, and Y.
enum { YUV_V_RED, YUV_U_GREEN, YUV_V_GREEN, YUV_U_BLUE, YUV_LUMA, YUV_TABLE_COUNT };
extern int32_t YuvCoefficientTables[YUV_TABLE_COUNT][256];

// One set of component planes held by the decoder.
struct MovieFrameBuffer {
  uint8_t* planes[3];  // Y, U, V; tracked
};

// Something of the platform's that a decoder holds and releases when it stops.
struct MovieDecoderInterface {
  void (*release)(MovieDecoderInterface* self);
};

struct MovieDecoder {
  // Shared with the decoder thread: atomics only, or fields under `handover`.
  std::atomic<int32_t> stateWord;    // written by the thread; 3 once it has finished
  std::atomic<int32_t> stopRequest;  // 1 asks the thread to end
  PlatThread* thread;                // null when none
  ogg_sync_state sync;
  ogg_stream_state stream;
  theora_info info;
  theora_comment comment;
  theora_state state;
  // The movie file's bytes, and the picture the thread converts into before swapping it
  // with decodedImage's pixels; both tracked.
  uint8_t* workBuffers[2];
  int64_t frameCount;
  std::atomic<int32_t> currentFrame;  // the frame to show; read modulo frameCount
  MovieFrameBuffer* frameBuffers;     // tracked table, or null; our decoder converts from
                                      // libtheora's own planes and keeps none
  int32_t frameBufferCount;
  GraphImage decodedImage;  // the newest converted frame (XRGB8888), under `handover`
  MovieDecoderInterface* iface;
  // [0]: decodedImage holds currentFrame; [1]: the movie's consumer has taken the
  // picture decodedImage holds (cleared again by each new picture). Both are cleared
  // whenever currentFrame moves.
  std::atomic<int32_t> frameValid[2];

  // The thread's side of the file: its size, where the first picture page starts, the
  // Theora stream's serial number and the read position.
  int64_t fileSize;
  int64_t dataStart;
  int32_t serial;
  int64_t readPosition;
  int64_t decodedFrame;    // last frame number fed to the decoder, -1 for none (thread only)
  int32_t pictureDecoded;  // 1 once a packet has decoded: libtheora has a picture (thread only)
  int64_t handedFrame;     // frame number decodedImage holds, -1 for none (written under
                           // `handover`, by the thread only)
  int32_t chromaShiftX, chromaShiftY;  // from the pixel format
  PlatMutex* handover;
  PlatEvent* wake;         // set when currentFrame moves or a stop is asked for
  PlatEvent* finished;     // set by the thread after its last write
};

struct MovieInfo {
  double frameRate;
  int32_t frameCount;
  uint32_t width;
  uint32_t height;
};

// What a file gave besides its pictures: the pages of its first Vorbis stream go to the
// sink, in file order.
typedef void (*MoviePageSink)(const ogg_page* page, void* context);

// Fills both tables; 0.
int BuildYuvTables();
// A decoder over a movie file's bytes (a tracked block the decoder takes over in every
// case; size is its length), with the Theora headers read, frameCount from the last
// granule position and its buffers made, but no thread yet. The decoder, or null with a
// log line for a file it cannot play: no Theora stream, no frame or none that decodes, a
// rate of 0, a chroma layout other than 4:2:0, 4:2:2 and 4:4:4, or a picture past
// 4096 x 4096 or IMAGE_MAX_BYTES.
MovieDecoder* CreateMovieDecoder(uint8_t* file, int64_t size, MoviePageSink vorbisPages, void* context);
// Starts the decoder thread; 0, or -1 with a log line.
int StartMovieDecoder(MovieDecoder* decoder);
// 1 when decodedImage holds the frame currentFrame names, else 0.
int IsMovieFrameReady(const MovieDecoder* decoder);
// When the decoder holds the current frame and it has not been taken yet, calls write
// with the picture (XRGB8888) and data under the handover lock, marks it taken and gives
// write's result; else -2 without calling it.
int TakeMovieFrame(MovieDecoder* decoder, int (*write)(const GraphImage* image, int32_t data), int32_t data);
// Ends the thread (when there is one) and frees the decoder and everything it holds; 0.
int StopMovieDecoder(MovieDecoder* decoder);
// Moves currentFrame on by n (nothing for n <= 0), subtracting frameCount once when it
// reaches it, and clears both frameValid flags; 0.
int AdvanceMovieFrame(MovieDecoder* decoder, int64_t n);
// Frame rate, frame count (low 32 bits), and the Theora info's width and height; 0.
int QueryMovieInfo(const MovieDecoder* decoder, MovieInfo* info);
int32_t CurrentMovieFrame(const MovieDecoder* decoder);

// Converts a picture of 8-bit planes to XRGB8888 through the tables. The chroma planes
// are subsampled by xShift and yShift (0 or 1), and (originX, originY) is where the
// picture starts in the planes, so that an uneven picture offset meets its own chroma.
void ConvertYuvPicture(const uint8_t* y, int32_t yStride, const uint8_t* u, const uint8_t* v, int32_t uvStride,
                       int32_t xShift, int32_t yShift, int32_t originX, int32_t originY, int32_t width,
                       int32_t height, uint8_t* out, int32_t outPitch);
