// Writing sound files: PCM WAVE files, Ogg Vorbis files and Standard MIDI Files, built
// in memory as bytes.
// The engine only reads such files; the writers serve the game's asset tool and the
// tests, which make their sounds and music with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- WAVE --------------------------------------------------------------------------

// A RIFF chunk: the id (its first four characters; a shorter one is written as it is,
// for files that test a reader), the size (the body's unless one is given), the body,
// and a pad byte when the body's length is odd.
std::string WavChunk(const std::string& id, const std::string& body, int64_t size = -1);
// The 16-byte body of a PCM "fmt " chunk; block align (and from it the byte rate) is
// worked out from channels and bits unless one is given.
std::string WavPcmFmt(int channels, int rate, int bits, int blockAlign = -1);
// "RIFF", the size of what follows, "WAVE", then the chunks as given.
std::string WavRiff(const std::vector<std::string>& chunks);
// A PCM WAVE file: "fmt " then "data" holding the sample bytes as given.
std::string WavPcmFile(int channels, int rate, int bits, const std::string& data);
// 16-bit samples as little-endian bytes.
std::string WavSampleBytes(const int16_t* samples, size_t count);

// ---- Ogg Vorbis --------------------------------------------------------------------

// Encodes interleaved float samples (-1 to 1) with vorbisenc at a VBR quality (-0.1 to
// 1) into one logical stream with the given serial number. With pageFrames above 0 a
// page is flushed after every pageFrames frames of input, as a streaming encoder writes
// them; with 0 the stream cuts its pages by size. The last page's granule position is
// the exact frame count. 0, or -1 (out empty) when vorbisenc refuses the format.
int OggVorbisEncode(const float* interleaved, size_t frames, int channels, int rate, float quality,
                    int serial, int pageFrames, std::string* out);

// ---- Standard MIDI File ------------------------------------------------------------

// One event at an absolute tick. Events of one tick are written in rank order (note-offs,
// then meta and other events, then note-ons, then End of Track), and in the order they
// were added within a rank, so a note may end and start again on the same tick.
struct SmfEvent {
  uint32_t tick;
  int rank;
  std::string bytes;  // status and data, or 0xFF, type, length and data for a meta event
};

// A track's events in any order; SmfFile sorts them.
struct SmfTrack {
  std::vector<SmfEvent> events;
};

// A variable-length quantity (7 bits a byte, high bit set on all but the last); values
// above 0x0FFFFFFF are cut to 28 bits.
std::string SmfVarLen(uint32_t value);
// A meta event of any type with its data.
void SmfMeta(SmfTrack* track, uint32_t tick, int type, const std::string& data);
void SmfTrackName(SmfTrack* track, const std::string& name);
// Tempo in microseconds per quarter note (24 bits).
void SmfTempo(SmfTrack* track, uint32_t tick, uint32_t microsecondsPerQuarter);
// numerator / 2^denominatorPower, with the metronome's MIDI clocks per click and the
// 32nd notes in a quarter.
void SmfTimeSignature(SmfTrack* track, uint32_t tick, int numerator, int denominatorPower,
                      int clocksPerClick = 24, int thirtySecondsPerQuarter = 8);
// A channel event: status nibble (0x80 to 0xE0), channel 0-15, one or two data bytes
// (data2 < 0: none; program change and channel pressure take one).
void SmfChannelEvent(SmfTrack* track, uint32_t tick, int status, int channel, int data1,
                     int data2 = -1);
void SmfProgram(SmfTrack* track, uint32_t tick, int channel, int program);
void SmfControl(SmfTrack* track, uint32_t tick, int channel, int controller, int value);
// A note-on at tick and its note-off (velocity 64) length ticks later.
void SmfNote(SmfTrack* track, uint32_t tick, uint32_t length, int channel, int key, int velocity);
// The file: header (format, track count, division), then each track's events sorted,
// delta-timed and closed by End of Track at its last event's tick (unless it has one).
std::string SmfFile(int format, int division, const std::vector<SmfTrack>& tracks);
