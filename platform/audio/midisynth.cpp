// The one synthesizer (FluidSynth with no audio driver of its own, loaded once on first
// use) and the player that sends a song's events to it at their frames while the mixer
// renders it.
#include "platform/audio/midi.h"
#include "platform/audio/midiparts.h"

#include "platform/kernel/kernel.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
constexpr uint32_t kRenderChunk = 4096;

struct Synth {
  std::mutex loadMu;  // the load; the synthesizer's use is under the device's mutex
  std::string path = kDefaultSoundFont;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;  // set once, never taken down
  MidiPlayer* owner = nullptr;     // the player the synthesizer sounds for
  // Frames rendered: the synthesizer renders whole blocks, so this modulo a block is how
  // far into its current block the output is.
  uint64_t rendered = 0;
  float left[kRenderChunk], right[kRenderChunk];
};

Synth& Y() {
  static Synth* y = new Synth;
  return *y;
}

void QuietLog(int, const char*, void*) {}

void DebugLine(const std::string& text) { PlatDebugOutput(text.c_str()); }

void MixPlayer(PlatAudioSource* source, int32_t* sums, uint32_t frames);

// Sends the events due at the player's frame.
void SendDue(MidiPlayer* p, bool owns) {
  const MidiSong& song = *p->song;
  while (p->next < song.events.size() && song.events[p->next].frame <= p->frame) {
    if (owns) MidiSynthSend(song, song.events[p->next]);
    p->next++;
  }
}

// The player reached its song's end: again from the start while repeats are left, else
// it stops and its notification goes out. A song without length is played once.
void AtEnd(MidiPlayer* p) {
  if (p->repeats != 0 && p->song->endFrame > 0) {
    if (p->repeats > 0) p->repeats--;
    p->frame = 0;
    p->next = 0;
    return;
  }
  p->playing = 0;
  if (p->notifyWindow) {
    PlatPostMessage(p->notifyWindow, PLAT_MM_MCINOTIFY, PLAT_MCI_NOTIFY_SUCCESSFUL, PlatLParam(p->notifyId));
    p->notifyWindow = 0;
  }
}

void MixPlayer(PlatAudioSource* source, int32_t* sums, uint32_t frames) {
  MidiPlayer* p = static_cast<MidiPlayer*>(source->context);
  const bool owns = Y().owner == p && Y().synth;
  if (!p->playing && (!owns || !sums)) return;
  uint32_t done = 0;
  while (done < frames) {
    uint64_t run = frames - done;
    if (p->playing) {
      SendDue(p, owns);
      if (p->frame >= p->song->endFrame) {
        AtEnd(p);
        continue;
      }
      run = std::min(run, p->song->endFrame - p->frame);
      if (p->next < p->song->events.size()) run = std::min(run, p->song->events[p->next].frame - p->frame);
    }
    if (owns && sums) MidiSynthRender(sums + size_t(done) * 2, uint32_t(run));
    if (p->playing) p->frame += run;
    done += uint32_t(run);
  }
  // An end that falls on the last frame mixed is seen now, not one stretch later.
  if (p->playing) {
    SendDue(p, owns);
    if (p->frame >= p->song->endFrame) AtEnd(p);
  }
}

}  // namespace

void PlatMidiSetSoundFontPath(const char* path) {
  Synth& y = Y();
  std::lock_guard<std::mutex> l(y.loadMu);
  y.path = path && *path ? path : kDefaultSoundFont;
}

int MidiSynthReady() {
  Synth& y = Y();
  std::lock_guard<std::mutex> l(y.loadMu);
  // The soundfont must be there for every open, even once one is loaded.
  if (access(y.path.c_str(), R_OK) != 0) {
    DebugLine("midi: the soundfont " + y.path + " is missing: MIDI cannot play\n");
    return -1;
  }
  if (y.synth) return 0;
  for (int level : {FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, QuietLog, nullptr);
  fluid_settings_t* settings = new_fluid_settings();
  if (!settings) {
    DebugLine("midi: the synthesizer's settings cannot be made\n");
    return -1;
  }
  fluid_settings_setnum(settings, "synth.sample-rate", PLAT_AUDIO_MIX_RATE);
  fluid_settings_setint(settings, "synth.cpu-cores", 1);
  // Dry: an effect's tail would go on sounding after every voice is cut, and a close or
  // a new song must be silence at once.
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (!synth || fluid_synth_sfload(synth, y.path.c_str(), 1) == FLUID_FAILED) {
    DebugLine("midi: the soundfont " + y.path + " will not load: MIDI cannot play\n");
    if (synth) delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return -1;
  }
  std::lock_guard<std::mutex> m(PlatAudioMutex());
  y.settings = settings;
  y.synth = synth;
  return 0;
}

void MidiSynthSend(const MidiSong& song, const MidiEvent& e) {
  fluid_synth_t* s = Y().synth;
  if (!s) return;
  const int channel = e.status & 0x0F;
  switch (e.status & 0xF0) {
    case 0x80: fluid_synth_noteoff(s, channel, e.data1); break;
    case 0x90:
      if (e.data2 == 0)
        fluid_synth_noteoff(s, channel, e.data1);
      else
        fluid_synth_noteon(s, channel, e.data1, e.data2);
      break;
    case 0xA0: fluid_synth_key_pressure(s, channel, e.data1, e.data2); break;
    case 0xB0: fluid_synth_cc(s, channel, e.data1, e.data2); break;
    case 0xC0: fluid_synth_program_change(s, channel, e.data1); break;
    case 0xD0: fluid_synth_channel_pressure(s, channel, e.data1); break;
    case 0xE0: fluid_synth_pitch_bend(s, channel, e.data1 | e.data2 << 7); break;
    case 0xF0:
      if (e.sysexLength > 0)
        fluid_synth_sysex(s, reinterpret_cast<const char*>(song.sysex.data() + e.sysexAt), int(e.sysexLength),
                          nullptr, nullptr, nullptr, 0);
      break;
    default: break;
  }
}

void MidiSynthRender(int32_t* sums, uint32_t frames) {
  Synth& y = Y();
  while (frames > 0) {
    const uint32_t n = std::min(frames, kRenderChunk);
    fluid_synth_write_float(y.synth, int(n), y.left, 0, 1, y.right, 0, 1);
    y.rendered += n;
    for (uint32_t i = 0; i < n; i++) {
      sums[2 * i] += int32_t(std::clamp(std::lrint(y.left[i] * 32768.0f), -32768L, 32767L));
      sums[2 * i + 1] += int32_t(std::clamp(std::lrint(y.right[i] * 32768.0f), -32768L, 32767L));
    }
    sums += size_t(n) * 2;
    frames -= n;
  }
}

void MidiSynthReset() {
  Synth& y = Y();
  if (!y.synth) return;
  // Cut, not reset: a system reset right after would let the cut voices sound on.
  fluid_synth_all_sounds_off(y.synth, -1);
  // What is left of the block rendered before the cut would still come out: it goes,
  // and the next frame begins a block of the silenced synthesizer.
  const uint32_t left = uint32_t((PLAT_MIDI_BLOCK_FRAMES - y.rendered % PLAT_MIDI_BLOCK_FRAMES) % PLAT_MIDI_BLOCK_FRAMES);
  if (left) fluid_synth_write_float(y.synth, int(left), y.left, 0, 1, y.right, 0, 1);
  y.rendered += left;
  // Every channel as a song finds it at its start.
  for (int channel = 0; channel < 16; channel++) {
    fluid_synth_cc(y.synth, channel, 121, 0);  // reset all controllers
    fluid_synth_program_change(y.synth, channel, 0);
    fluid_synth_pitch_bend(y.synth, channel, 0x2000);
  }
  // One block of the silence, rendered and dropped, carries all of it out before the
  // next song's first event: a note sent with the cut still pending sounds wrong.
  fluid_synth_write_float(y.synth, int(PLAT_MIDI_BLOCK_FRAMES), y.left, 0, 1, y.right, 0, 1);
  y.rendered += PLAT_MIDI_BLOCK_FRAMES;
}

void MidiSynthNotesOff() {
  if (!Y().synth) return;
  for (int channel = 0; channel < 16; channel++) fluid_synth_all_notes_off(Y().synth, channel);
}

void MidiPlayerInit(MidiPlayer* player) {
  player->source.mix = MixPlayer;
  player->source.device = nullptr;
  player->source.context = player;
}

void MidiPlayerStartLocked(MidiPlayer* p, uint64_t fromFrame) {
  Synth& y = Y();
  if (y.owner != p) {
    MidiSynthReset();
    y.owner = p;
  }
  const MidiSong& song = *p->song;
  p->frame = std::min(fromFrame, song.endFrame);
  p->next = 0;
  // From a later place, what the channels were set to by then still holds: everything but
  // the notes before it is sent.
  while (p->next < song.events.size() && song.events[p->next].frame < p->frame) {
    const MidiEvent& e = song.events[p->next++];
    if ((e.status & 0xF0) != 0x90 && (e.status & 0xF0) != 0x80) MidiSynthSend(song, e);
  }
  p->playing = 1;
}

void MidiPlayerStopLocked(MidiPlayer* p, bool cut) {
  p->playing = 0;
  p->notifyWindow = 0;
  if (Y().owner != p) return;
  if (cut)
    MidiSynthReset();
  else
    MidiSynthNotesOff();
}

void MidiPlayerDetachLocked(MidiPlayer* p) {
  PlatAudioDetachSourceLocked(&p->source);
  MidiPlayerStopLocked(p, true);
  if (Y().owner == p) Y().owner = nullptr;
}

void MidiPlayerRunSilent(MidiPlayer* p) {
  std::lock_guard<std::mutex> l(PlatAudioMutex());
  p->notifyWindow = 0;
  p->repeats = 0;
  MidiPlayerStartLocked(p, 0);
  // Steps in large stretches: the stretch ends at each event anyway.
  while (p->playing) MixPlayer(&p->source, nullptr, 0x40000000u);
  MidiPlayerStopLocked(p, true);
  if (Y().owner == p) Y().owner = nullptr;
}
