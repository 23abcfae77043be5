// Between the pieces of the MIDI layer (midifile.cpp, midisynth.cpp, midi.cpp): the read
// sequence, the one synthesizer, and the player that feeds it to the mixer. Not for the
// engine.
#pragma once

#include "platform/audio/backend.h"
#include "platform/window/window.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One event to send, at its frame of the mixer's output (44100 Hz) from the start.
struct MidiEvent {
  uint64_t frame;
  uint8_t status;  // a channel message (0x80-0xEF) or 0xF0 for a system exclusive
  uint8_t data1, data2;
  uint32_t sysexAt, sysexLength;  // in MidiSong::sysex: the bytes between F0 and F7
};

struct MidiSong {
  std::vector<MidiEvent> events;  // in the order they are sent
  std::vector<unsigned char> sysex;
  uint64_t endFrame = 0;  // the last event's frame (End of Track included)
};

// The longest sequence read: 24 hours.
constexpr uint64_t kMidiMaxSeconds = 24 * 60 * 60;

// Reads a Standard MIDI File; 0, or -1 with a reason (UTF-8) when it is refused.
int MidiReadFile(const unsigned char* data, size_t size, MidiSong* song, const char** why);

// ---- the synthesizer (midisynth.cpp) ------------------------------------------------------

// Loads the synthesizer on first use; 0, or -1 (with one line on the debugger output)
// when the soundfont is missing or will not load. Not under the sound device's mutex.
int MidiSynthReady();
// Under the sound device's mutex from here on.
// Sends one event.
void MidiSynthSend(const MidiSong& song, const MidiEvent& e);
// Renders frames and adds them into stereo sums, converted with clipping.
void MidiSynthRender(int32_t* sums, uint32_t frames);
// Every voice off at once and every channel back to its start.
void MidiSynthReset();
// Note-offs of every channel (voices end through their release).
void MidiSynthNotesOff();

// ---- the player (midisynth.cpp) -----------------------------------------------------------

// A sequence on its way through the synthesizer: a source of the device it is attached
// to. Under the device's mutex once attached.
struct MidiPlayer {
  PlatAudioSource source;  // its context is the player
  std::shared_ptr<const MidiSong> song;
  uint64_t frame = 0;  // of the song, where the next frame mixed is
  size_t next = 0;     // the next event to send
  int playing = 0;
  int32_t repeats = 0;  // plays left after this one; PLAT_DM_REPEAT_INFINITE: forever
  // The end notification (the sequencer device's).
  PlatWnd notifyWindow = 0;
  uint32_t notifyId = 0;
  const void* tag = nullptr;  // what plays (the performance's segment)
};

void MidiPlayerInit(MidiPlayer* player);
// The synthesizer goes to the player (silenced first when another had it); playing from
// `fromFrame`, with the events before it other than notes sent at once.
void MidiPlayerStartLocked(MidiPlayer* player, uint64_t fromFrame);
// Stops it; when it has the synthesizer, every voice falls silent (`cut`) or is let go.
void MidiPlayerStopLocked(MidiPlayer* player, bool cut);
// Stops it, takes it off its device and silences the synthesizer when it had it.
void MidiPlayerDetachLocked(MidiPlayer* player);
// Steps the song to its end, sending every event, without rendering: for runs that
// want the sequencer's work and no sound. Not attached.
void MidiPlayerRunSilent(MidiPlayer* player);
