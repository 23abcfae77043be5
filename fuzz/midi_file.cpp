// Feeds arbitrary bytes to the MIDI sequencer device: its open reads the file (the
// Standard MIDI File reader), and a file it takes is stepped to its end through the
// synthesizer without rendering, then closed. Nothing may be left open, and a file the
// reader takes has a length within the day.
//
// With an empty corpus directory the first run writes seeds made by our own MIDI writer
// into it.
#include "engine/sound/writer/soundwriter.h"
#include "soundfuzz.h"
#include "platform/audio/midi.h"
#include "platform/audio/midifake.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> Seeds() {
  std::vector<std::string> out;
  SmfTrack tempo, notes, drums;
  SmfTrackName(&tempo, "tempo");
  SmfTempo(&tempo, 0, 500000);
  SmfTimeSignature(&tempo, 0, 4, 2);
  SmfTempo(&tempo, 960, 350000);
  SmfProgram(&notes, 0, 0, 19);
  SmfControl(&notes, 0, 0, 7, 100);
  for (int i = 0; i < 8; i++) SmfNote(&notes, uint32_t(i * 240), 240, 0, 60 + i, 100);
  SmfChannelEvent(&notes, 500, 0xE0, 0, 0x00, 0x50);
  SmfChannelEvent(&notes, 600, 0xD0, 0, 40);
  SmfChannelEvent(&notes, 700, 0xA0, 0, 61, 30);
  SmfMeta(&notes, 800, 0x01, "text");
  for (int i = 0; i < 16; i++) SmfNote(&drums, uint32_t(i * 120), 60, 9, 36 + (i % 3) * 2, 110);
  out.push_back(SmfFile(1, 480, {tempo, notes, drums}));
  out.push_back(SmfFile(0, 96, {notes}));
  // SMPTE divisions: 25 frames of 40 ticks, 30 drop-frame of 80.
  out.push_back(SmfFile(0, 0xE728, {notes}));
  out.push_back(SmfFile(0, 0xE350, {drums}));
  // A system exclusive message (GM on) and an escaped packet.
  SmfTrack sysex;
  sysex.events.push_back({0, 1, std::string("\xF0\x05\x7E\x7F\x09\x01\xF7", 7)});
  sysex.events.push_back({10, 1, std::string("\xF7\x01\xFA", 3)});
  SmfNote(&sysex, 20, 100, 1, 64, 90);
  out.push_back(SmfFile(0, 1000, {sysex}));
  // Running status, written by hand: 90 3C 64, then 3E 64 and 40 00 without status.
  std::string running = SmfFile(0, 441, {});
  const std::string body = std::string("\x00\x90\x3C\x64\x01\x3E\x64\x01\x40\x00\x00\xFF\x2F\x00", 14);
  running = running.substr(0, 14) + "MTrk" + std::string("\0\0\0", 3) + char(body.size()) + body;
  running[11] = 1;  // one track
  out.push_back(running);
  return out;
}

std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  soundfuzz::WriteSeeds(*argc, *argv, Seeds);
  g_path = (std::filesystem::temp_directory_path() / ("kr_fuzz_midi_" + std::to_string(getpid()) + ".mid")).string();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(g_path.c_str(), "wb");
  if (!f || (size && std::fwrite(data, 1, size, f) != size)) abort();
  std::fclose(f);
  uint32_t id = 0;
  const int32_t opened = PlatMciOpenSequencer(g_path.c_str(), &id);
  if (opened == PLAT_MCIERR_NO_SYNTHESIZER) abort();  // the run would test nothing
  if (opened == PLAT_MCI_OK) {
    uint32_t port = 0, ms = 0;
    if (PlatMciStatusPort(id, &port) != PLAT_MCI_OK || port != PLAT_MCI_SEQ_MAPPER) abort();
    if (PlatMciLengthMs(id, &ms) != PLAT_MCI_OK || ms > 24u * 3600 * 1000) abort();
    if (PlatMciRunSilent(id) != PLAT_MCI_OK) abort();
    if (PlatMciClose(id) != PLAT_MCI_OK) abort();
  } else if (id != 0) {
    abort();
  }
  if (PlatMidiLiveObjects() != 0) abort();
  return 0;
}
