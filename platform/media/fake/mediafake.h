// The back end "fake" of platform/media: the same objects and references as the stream
// back end, with every result scripted and every creation and call able to fail. Nothing
// is decoded and no thread runs:
//   - OpenFile opens a file that exists (through platform/fs) and reads nothing of it;
//   - GetFormat, GetTimePerFrame, GetStopPosition and GetTime answer the script;
//   - Update answers the results queued, in order (PLAT_MEDIA_OK when none is); one that
//     is PLAT_MS_S_PENDING stays pending until PlatMediaFakeComplete. Nothing is written
//     into the surface: a test writes what it wants there itself;
//   - SetState, Seek and Pause are recorded, and GetState answers the last state set.
// Calls are named by their function without the prefix ("CreateFilterGraph", "Initialize",
// "AddMediaStream", "OpenFile", "GetMediaStream", "GetFormat", "CreateSample",
// "GetSurface", "Update", "CompletionStatus", "SetState", "Seek", "GetTime", "Pause",
// "GetStopPosition", "GetTimePerFrame", ...); a QueryInterface is "Query" and a Release
// "Release" followed by the interface's name: "GraphBuilder", "MediaControl",
// "MediaSeeking", "BasicAudio", "MultiMediaStream", "MediaStream", "AMMediaStream",
// "DirectDrawMediaStream", "StreamSample". They also go to the shared journal
// (platform/backend/fakejournal.h) as "media.<name>".
#pragma once

#include "platform/media/media.h"

#include <cstdint>
#include <string>
#include <vector>

struct PlatMediaFakeScript {
  int32_t width = 64, height = 48;      // the movie's size
  int64_t timePerFrame = 666666;        // 15 frames a second
  int64_t stopPosition = 6666660;       // 10 frames
  // A sample's own surface: its size and format (size 0: X8R8G8B8) and where the frame
  // lies in it (empty: the top-left corner, the movie's size).
  int32_t ownWidth = 0, ownHeight = 0;  // 0: the movie's
  PlatDDPixelFormat ownFormat{};
  PlatRect ownRect{};
  int64_t time = 0;                     // GetTime's answer
};

// Back to the start: the script's defaults, no failure, no queued result, the calls
// cleared; every object and reference still there is dropped. The back end chosen stays.
void PlatMediaFakeReset();
void PlatMediaFakeSetScript(const PlatMediaFakeScript& script);
// The next count calls of the operation answer error, doing nothing.
void PlatMediaFakeFailNext(const char* operation, int count, int32_t error);
// The nth call of the operation from now (1: the next one) answers error, once.
void PlatMediaFakeFailNth(const char* operation, int n, int32_t error);
// Records each call's name while on (off at start).
void PlatMediaFakeLogCalls(int on);
std::vector<std::string> PlatMediaFakeCalls();
void PlatMediaFakeClearCalls();
// The arguments of each call of "SetState" (the state), "Seek" (the time) and
// "Update" (the flags), in order.
std::vector<int64_t> PlatMediaFakeArguments(const char* operation);
// Results of the next Updates, in order.
void PlatMediaFakeQueueUpdates(const std::vector<int32_t>& results);
// Completes the pending update of the newest sample that has one with the status:
// signals its event. 0, or -1 when no update is pending.
int PlatMediaFakeComplete(int32_t status);
// Objects alive (graphs, streams and samples) and references held.
int PlatMediaFakeLiveObjects();
int PlatMediaFakeLiveReferences();
