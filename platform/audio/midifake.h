// What tests see of the MIDI layer and can change: each call is counted and can be made
// to fail from its n-th use on; the sequencer can report another port, and the music
// object another port in its listing.
#pragma once

#include <cstdint>

enum PlatMidiCall {
  PLAT_MIDI_CALL_MCI_OPEN,
  PLAT_MIDI_CALL_MCI_STATUS,
  PLAT_MIDI_CALL_MCI_PLAY,
  PLAT_MIDI_CALL_MCI_CLOSE,
  PLAT_MIDI_CALL_LOADER_CREATE,
  PLAT_MIDI_CALL_LOADER_CLEAR_CACHE,
  PLAT_MIDI_CALL_LOADER_GET_OBJECT,
  PLAT_MIDI_CALL_LOADER_RELEASE_OBJECT,
  PLAT_MIDI_CALL_SEGMENT_SET_REPEATS,
  PLAT_MIDI_CALL_SEGMENT_SET_PARAM,
  PLAT_MIDI_CALL_SEGMENT_DOWNLOAD,
  PLAT_MIDI_CALL_SEGMENT_UNLOAD,
  PLAT_MIDI_CALL_PERFORMANCE_CREATE,
  PLAT_MIDI_CALL_PERFORMANCE_INIT_AUDIO,
  PLAT_MIDI_CALL_PERFORMANCE_PLAY_SEGMENT,
  PLAT_MIDI_CALL_PERFORMANCE_STOP_EX,
  PLAT_MIDI_CALL_PERFORMANCE_IS_PLAYING,
  PLAT_MIDI_CALL_PERFORMANCE_STOP,
  PLAT_MIDI_CALL_PERFORMANCE_CLOSE_DOWN,
  PLAT_MIDI_CALL_MUSIC_CREATE,
  PLAT_MIDI_CALL_MUSIC_QUERY_INTERFACE,
  PLAT_MIDI_CALL_MUSIC_ENUM_PORT,
  PLAT_MIDI_CALL_COUNT
};

// Clears the counts, every planned failure, the port and the extra listed port.
void PlatMidiFakeReset();
// The call fails on its n-th use from now (1 = the next one) and every use after; 0
// cancels the plan.
void PlatMidiFakeFailFrom(PlatMidiCall call, int n);
int PlatMidiFakeCount(PlatMidiCall call);
// The port the sequencer reports (PLAT_MCI_SEQ_MAPPER unless set).
void PlatMidiFakeSetPort(uint32_t port);
// The music object lists a second port after its own: an input port of this description
// (UTF-8), or none for null.
void PlatMidiFakeAddPort(const char* description);
// Sequencer devices, loaders, segments, performances and music objects not yet let go.
int PlatMidiLiveObjects();
// For the fuzz target: steps the device's whole sequence through the synthesizer without
// rendering it (and without a notification). PLAT_MCI_OK or an error.
int32_t PlatMciRunSilent(uint32_t deviceId);
