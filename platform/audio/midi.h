// Music on the sound device: a Standard MIDI File reader and a sequencer of our own that
// drives one software synthesizer (FluidSynth, with the General MIDI soundfont loaded once
// on first use) as a source of the mixer. Two faces stand on it:
//   - an MCI-like "sequencer" device: open by file path, its port, play with an end
//     notification to a window (PLAT_MM_MCINOTIFY, the device id in lParam, posted to the
//     window's thread), close;
//   - a DirectMusic-style set reduced to what the engine calls: a loader that makes
//     segments from file images in memory, a performance that makes the sound device and
//     plays one segment at a time on it, and the music object that lists its ports.
//
// The reader takes formats 0 and 1 with tick or SMPTE divisions, running status and the
// tempo map; format 2 and anything malformed (a length past its chunk or the file, a data
// byte with no status before it, a quantity of more than four bytes, a file longer than
// 24 hours) are refused.
//
// Only one sequence drives the synthesizer at a time: the one started last. The mixer's
// thread renders it under the sound device's mutex, and so do the calls here.
//
// Results: PLAT_MCI_OK / PLAT_DM_OK (0), PLAT_DM_FALSE (1, the "no" of a question), or a
// failure code. Text handed out is Shift-JIS.
#pragma once

#include "platform/audio/audio.h"
#include "platform/window/window.h"

#include <cstddef>
#include <cstdint>

// ---- the MCI-like sequencer -----------------------------------------------------------

enum : int32_t {
  PLAT_MCI_OK = 0,
  PLAT_MCIERR_INVALID_DEVICE_ID = 257,
  PLAT_MCIERR_FILE_NOT_FOUND = 275,
  PLAT_MCIERR_INVALID_FILE = 296,   // not a Standard MIDI File we read
  PLAT_MCIERR_NO_SYNTHESIZER = 336,  // the soundfont is missing
  PLAT_MCIERR_OUTOFMEMORY = 263,
  PLAT_MCIERR_NO_OUTPUT = 297,      // no sound device to play on
  PLAT_MCIERR_GENERIC = 256,        // a failure the fake was asked for
};

// The port a device plays to: the mapper.
enum : uint32_t { PLAT_MCI_SEQ_MAPPER = 0xFFFF };
// wParam of the end notification.
enum : uint32_t { PLAT_MCI_NOTIFY_SUCCESSFUL = 1 };

// Opens a sequencer on the file (a Shift-JIS path): reads and checks it, makes sure the
// synthesizer is there. The id is never 0 and never reused.
int32_t PlatMciOpenSequencer(const char* path, uint32_t* deviceId);
// The port of the device (PLAT_MCI_SEQ_MAPPER unless the fake says otherwise).
int32_t PlatMciStatusPort(uint32_t deviceId, uint32_t* port);
// Plays on the newest sound device from the start, or from `fromMs` when hasFrom is
// non-zero. With a notify window, reaching the end posts PLAT_MM_MCINOTIFY (wParam
// PLAT_MCI_NOTIFY_SUCCESSFUL, lParam the id) to it; a play replaces a notification asked
// for before that has not come yet.
int32_t PlatMciPlay(uint32_t deviceId, PlatWnd notifyWindow, int hasFrom, uint32_t fromMs);
// Closes the device: the synthesizer falls silent at once, and a notification of the
// device that is still queued is withdrawn.
int32_t PlatMciClose(uint32_t deviceId);
// The length of the device's sequence in milliseconds.
int32_t PlatMciLengthMs(uint32_t deviceId, uint32_t* ms);

// ---- the DirectMusic-style set --------------------------------------------------------

enum : int32_t {
  PLAT_DM_OK = 0,
  PLAT_DM_FALSE = 1,
  PLAT_DMERR_GENERIC = int32_t(0x80004005u),
  PLAT_DMERR_OUTOFMEMORY = int32_t(0x8007000Eu),
  PLAT_DMERR_INVALIDARG = int32_t(0x80070057u),
  PLAT_DMERR_UNSUPPORTED = int32_t(0x88781101u),  // not a file the loader reads
  PLAT_DMERR_NOT_INIT = int32_t(0x88781192u),
};

// Segment repeats: this many extra times, or forever.
enum : int32_t { PLAT_DM_REPEAT_INFINITE = -1 };
// Port classes of the listing.
enum : uint32_t { PLAT_DM_PORT_INPUT = 0, PLAT_DM_PORT_OUTPUT = 1 };

struct PlatDmLoader;
struct PlatDmPerformance;
struct PlatDmSegment;
struct PlatDmMusic;

struct PlatDmPortCaps {
  uint32_t portClass;     // PLAT_DM_PORT_*
  char description[256];  // Shift-JIS, NUL-terminated
};

int32_t PlatDmLoaderCreate(PlatDmLoader** out);
int32_t PlatDmLoaderClearCache(PlatDmLoader* loader);
// A segment of a Standard MIDI File image (read at once; the image may go after).
int32_t PlatDmLoaderGetObject(PlatDmLoader* loader, const void* image, size_t size, PlatDmSegment** out);
// The loader lets go of the segment it made (the caller still releases its own).
int32_t PlatDmLoaderReleaseObject(PlatDmLoader* loader, PlatDmSegment* segment);
void PlatDmLoaderRelease(PlatDmLoader* loader);

int32_t PlatDmSegmentSetRepeats(PlatDmSegment* segment, int32_t repeats);
// Recorded; the segment is a MIDI file already.
int32_t PlatDmSegmentSetParamStandardMidi(PlatDmSegment* segment);
int32_t PlatDmSegmentDownload(PlatDmSegment* segment, PlatDmPerformance* performance);
int32_t PlatDmSegmentUnload(PlatDmSegment* segment, PlatDmPerformance* performance);
// Stops it where it plays, and frees it.
void PlatDmSegmentRelease(PlatDmSegment* segment);

int32_t PlatDmPerformanceCreate(PlatDmPerformance** out);
// Makes the sound device (on the chosen back end, initialised) and plays segments on it;
// the caller owns the device it is handed (and releases it after CloseDown).
int32_t PlatDmPerformanceInitAudio(PlatDmPerformance* performance, PlatAudioDevice** device);
// Plays the segment from its start, in place of the one playing.
int32_t PlatDmPerformancePlaySegmentEx(PlatDmPerformance* performance, PlatDmSegment* segment);
// Stops the segment when it is the one playing (null: whatever plays).
int32_t PlatDmPerformanceStopEx(PlatDmPerformance* performance, PlatDmSegment* segment);
// PLAT_DM_OK while the segment plays, else PLAT_DM_FALSE.
int32_t PlatDmPerformanceIsPlaying(PlatDmPerformance* performance, PlatDmSegment* segment);
// Stops everything.
int32_t PlatDmPerformanceStop(PlatDmPerformance* performance);
// Stops and lets go of the device.
int32_t PlatDmPerformanceCloseDown(PlatDmPerformance* performance);
void PlatDmPerformanceRelease(PlatDmPerformance* performance);

int32_t PlatDmMusicCreate(PlatDmMusic** out);
// The object's newer interface: the same object, held once more (release both).
int32_t PlatDmMusicQueryInterface8(PlatDmMusic* music, PlatDmMusic** out);
// The port at index, or PLAT_DM_FALSE past the last one.
int32_t PlatDmMusicEnumPort(PlatDmMusic* music, uint32_t index, PlatDmPortCaps* caps);
void PlatDmMusicRelease(PlatDmMusic* music);

// ---- the synthesizer --------------------------------------------------------------------

// Frames of one block of the synthesizer: an event takes effect at the next block.
enum : uint32_t { PLAT_MIDI_BLOCK_FRAMES = 64 };
// The soundfont; empty restores the default. Takes effect at the next load (the loaded
// synthesizer stays).
void PlatMidiSetSoundFontPath(const char* path);
