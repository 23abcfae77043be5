// What the stream back end of platform/media plays: one movie file read whole, its Theora
// pictures decoded in order and written into surfaces through SDL_ConvertPixels, and its
// Vorbis track decoded as the sound device's mixer pulls it. Not for the engine.
#pragma once

#include "platform/audio/backend.h"
#include "platform/ddraw/ddraw.h"
#include "platform/media/theora.h"

#include <vorbis/codec.h>

#include <cstdint>
#include <vector>

// The Vorbis track. Every field is touched under the sound device's mutex
// (PlatAudioMutex), where the mixer calls the source.
struct MediaAudio {
  PlatAudioSource source{};
  std::vector<std::vector<unsigned char>> pages;  // the track's Ogg pages, whole
  bool usable = false;     // its headers were read and its rate can be played
  bool decoding = false;   // the states below are initialised
  ogg_stream_state stream{};
  vorbis_info info{};
  vorbis_comment comment{};
  vorbis_dsp_state dsp{};
  vorbis_block block{};
  size_t nextPage = 0;
  std::vector<int16_t> pcm;  // decoded stereo frames not yet played, from `read` on
  size_t read = 0;           // frames of pcm already played
  uint64_t step = 0;         // source frames per mixed frame, 32.32
  uint64_t fraction = 0;     // between pcm[read] and pcm[read + 1], 0.32
  bool ended = false;        // no packet is left
  bool playing = false;
};

struct MediaFile {
  std::vector<uint8_t> bytes;
  PlatOggSource source{};
  ogg_sync_state sync{};
  ogg_stream_state stream{};
  theora_info info{};
  theora_comment comment{};
  theora_state state{};
  bool statesReady = false;   // sync, stream, info and comment initialised
  bool decoderReady = false;  // state initialised
  int64_t dataStart = 0;
  int32_t width = 0, height = 0;  // the picture
  int32_t chromaShiftX = 0, chromaShiftY = 0;
  int64_t frameCount = 0;
  int64_t timePerFrame = 0;       // 100-nanosecond units
  int64_t decodedFrame = -1;      // the frame the decoder's picture is, -1 for none
  int32_t pictureDecoded = 0;     // 1 once a packet has decoded: the decoder has a picture
  std::vector<uint8_t> planes;    // the picture as planar 4:2:0 (Y, U, V)
  MediaAudio audio;
};

// Reads and opens the file (Shift-JIS name): PLAT_MEDIA_OK, PLAT_MEDIA_E_FILENOTFOUND,
// PLAT_MEDIA_E_UNKNOWNFILE or PLAT_MEDIA_E_OUTOFMEMORY. The audio is not attached yet.
int32_t MediaFileOpen(MediaFile* file, const char* fileName);
// Detaches the sound and frees everything. Safe on a file that did not open.
void MediaFileClose(MediaFile* file);
// Decodes up to the frame (from the first when it lies behind the decoder).
void MediaFileDecode(MediaFile* file, int64_t frame);
// Writes the decoded picture at rect into the surface (its size is the picture's).
int32_t MediaFileWrite(MediaFile* file, PlatDDSurface surface, const PlatRect& rect);
// Whether pictures can be written into surfaces of the format.
bool MediaFormatWritable(const PlatDDPixelFormat& format);

// The sound, each under PlatAudioMutex: runs (attached to the newest device when it is
// not attached to one) or holds; moves to the time (100-nanosecond units).
void MediaAudioRunLocked(MediaFile* file, bool run);
void MediaAudioSeekLocked(MediaFile* file, int64_t time);
