// The menus' two songs, written as Standard MIDI Files (format 1, 480 ticks a quarter):
// tempo and metre in track 0, one track per instrument, drums on channel 10.
#include "engine/sound/writer/soundwriter.h"
#include "tools/makeassets/assets.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kQuarter = 480;
constexpr int kEighth = kQuarter / 2;
constexpr int kBar = 4 * kQuarter;
constexpr int kDrumChannel = 9;  // channel 10

enum { kKick = 36, kSideStick = 37, kSnare = 38, kClosedHat = 42, kLowTom = 45, kMidTom = 47,
       kHighTom = 50, kCrash = 49, kRide = 51, kShaker = 82 };

// How much louder than written a song plays: each song's loudest note and channel volume
// become the loudest MIDI has (127), the parts keeping their balance. Through the
// synthesizer at its usual gain the songs then sound about as loud as the stage loop.
struct Level {
  double velocity, volume;
};
Level g_level{1, 1};

int Scaled(int value, double by) { return std::min(127, int(std::lround(value * by))); }
int V(int velocity) { return Scaled(velocity, g_level.velocity); }

// A note of a written part: where it starts and how long it is in a unit of the part
// (eighths or quarters), and its key.
struct Written {
  int at, length, key;
};

SmfTrack Conductor(const char* title, int bpm) {
  SmfTrack t;
  SmfTrackName(&t, title);
  SmfTempo(&t, 0, uint32_t(60000000 / bpm));
  SmfTimeSignature(&t, 0, 4, 2);
  return t;
}

SmfTrack Instrument(const char* name, int channel, int program, int volume) {
  SmfTrack t;
  SmfTrackName(&t, name);
  SmfProgram(&t, 0, channel, program);
  SmfControl(&t, 0, channel, 7, Scaled(volume, g_level.volume));
  SmfControl(&t, 0, channel, 91, 40);  // a little reverb
  return t;
}

void WriteBars(SmfTrack* t, int channel, const std::vector<std::vector<Written>>& bars, int unit, int velocity) {
  for (size_t bar = 0; bar < bars.size(); bar++)
    for (const Written& n : bars[bar])
      SmfNote(t, uint32_t(int(bar) * kBar + n.at * unit), uint32_t(n.length * unit * 9 / 10), channel, n.key,
              V(velocity));
}

// ---- the title: lively, C major, 130 beats a minute, 16 bars -------------------------

struct Chord {
  int bass;
  std::vector<int> tones;
};

std::string Title() {
  g_level = {127.0 / 110, 127.0 / 105};
  const int C = 48, Am = 45, F = 41, G = 43, Em = 40, Dm = 38;
  const std::vector<Chord> chords = {
      {C, {60, 64, 67}},  {Am, {57, 60, 64}}, {F, {57, 60, 65}}, {G, {55, 59, 62}},
      {C, {60, 64, 67}},  {Am, {57, 60, 64}}, {F, {57, 60, 65}}, {G, {55, 59, 62}},
      {F, {57, 60, 65}},  {G, {55, 59, 62}},  {Em, {55, 59, 64}}, {Am, {57, 60, 64}},
      {Dm, {57, 62, 65}}, {G, {55, 59, 62}},  {C, {60, 64, 67}},  {G, {55, 59, 62, 65}},
  };
  // The tune in eighths; the last bar climbs down and back up onto the first bar's E.
  const std::vector<std::vector<Written>> tune = {
      {{0, 1, 76}, {1, 1, 79}, {2, 2, 84}, {4, 1, 83}, {5, 1, 79}, {6, 2, 76}},
      {{0, 1, 81}, {1, 1, 79}, {2, 2, 76}, {4, 1, 72}, {5, 1, 76}, {6, 2, 81}},
      {{0, 1, 77}, {1, 1, 81}, {2, 2, 84}, {4, 1, 81}, {5, 1, 77}, {6, 2, 72}},
      {{0, 2, 74}, {2, 1, 79}, {3, 1, 83}, {4, 3, 86}},
      {{0, 1, 76}, {1, 1, 79}, {2, 1, 84}, {3, 1, 88}, {4, 1, 86}, {5, 1, 84}, {6, 2, 79}},
      {{0, 2, 81}, {2, 1, 84}, {3, 1, 81}, {4, 2, 76}, {6, 2, 81}},
      {{0, 1, 77}, {1, 1, 79}, {2, 1, 81}, {3, 1, 84}, {4, 1, 81}, {5, 1, 79}, {6, 2, 77}},
      {{0, 3, 79}, {3, 1, 74}, {4, 1, 79}, {5, 1, 83}, {6, 2, 86}},
      {{0, 2, 84}, {2, 1, 81}, {3, 1, 77}, {4, 2, 81}, {6, 2, 84}},
      {{0, 2, 83}, {2, 1, 79}, {3, 1, 74}, {4, 2, 79}, {6, 2, 83}},
      {{0, 2, 88}, {2, 1, 83}, {3, 1, 79}, {4, 2, 76}, {6, 1, 79}, {7, 1, 83}},
      {{0, 3, 84}, {3, 1, 83}, {4, 2, 81}, {6, 2, 76}},
      {{0, 1, 77}, {1, 1, 81}, {2, 2, 86}, {4, 1, 84}, {5, 1, 81}, {6, 2, 77}},
      {{0, 1, 79}, {1, 1, 83}, {2, 2, 86}, {4, 1, 83}, {5, 1, 79}, {6, 2, 74}},
      {{0, 2, 76}, {2, 2, 79}, {4, 4, 84}},
      {{0, 2, 79}, {2, 1, 77}, {3, 1, 74}, {4, 1, 71}, {5, 1, 74}, {6, 1, 77}, {7, 1, 74}},
  };
  std::vector<SmfTrack> tracks = {Conductor("dancers7", 130)};

  SmfTrack lead = Instrument("Lead", 0, 80, 100);  // square lead
  WriteBars(&lead, 0, tune, kEighth, 100);
  tracks.push_back(lead);

  SmfTrack keys = Instrument("Keys", 1, 4, 80);  // electric piano: stabs on the off-beats
  for (size_t bar = 0; bar < chords.size(); bar++)
    for (int k = 1; k < 8; k += 2)
      for (int key : chords[bar].tones)
        SmfNote(&keys, uint32_t(int(bar) * kBar + k * kEighth), kEighth * 3 / 4, 1, key, V(k == 1 ? 84 : 70));
  tracks.push_back(keys);

  SmfTrack bass = Instrument("Bass", 2, 33, 105);  // finger bass
  static const int kLine[8] = {0, 0, 12, 0, 7, 0, 12, 7};
  for (size_t bar = 0; bar < chords.size(); bar++)
    for (int k = 0; k < 8; k++)
      SmfNote(&bass, uint32_t(int(bar) * kBar + k * kEighth), kEighth * 8 / 10, 2, chords[bar].bass + kLine[k],
              V(k % 2 ? 88 : 104));
  tracks.push_back(bass);

  SmfTrack drums = Instrument("Drums", kDrumChannel, 0, 100);
  for (int bar = 0; bar < 16; bar++) {
    const uint32_t at = uint32_t(bar * kBar);
    if (bar % 8 == 0) SmfNote(&drums, at, kEighth, kDrumChannel, kCrash, V(100));
    SmfNote(&drums, at, kEighth, kDrumChannel, kKick, V(110));
    SmfNote(&drums, at + 2 * kQuarter, kEighth, kDrumChannel, kKick, V(110));
    SmfNote(&drums, at + 5 * kEighth, kEighth, kDrumChannel, kKick, V(90));
    SmfNote(&drums, at + kQuarter, kEighth, kDrumChannel, kSnare, V(104));
    for (int k = 0; k < 8; k++)
      SmfNote(&drums, at + uint32_t(k * kEighth), kEighth / 2, kDrumChannel, kClosedHat, V(k % 2 ? 64 : 84));
    if (bar == 15) {
      // A tom fill on the last beat, back into the top.
      const int toms[4] = {kHighTom, kHighTom, kMidTom, kLowTom};
      for (int k = 0; k < 4; k++)
        SmfNote(&drums, at + 3 * kQuarter + uint32_t(k * kQuarter / 4), kQuarter / 4, kDrumChannel, toms[k], V(96));
    } else {
      SmfNote(&drums, at + 3 * kQuarter, kEighth, kDrumChannel, kSnare, V(104));
    }
  }
  tracks.push_back(drums);
  return SmfFile(1, kQuarter, tracks);
}

// ---- the options: calm, G major, 84 beats a minute, 12 bars --------------------------

std::string Options() {
  g_level = {127.0 / 80, 127.0 / 96};
  const std::vector<Chord> chords = {
      {43, {59, 62, 67}}, {42, {57, 62, 66}}, {40, {59, 64, 67}}, {36, {60, 64, 67}},
      {43, {59, 62, 67}}, {38, {57, 62, 66}}, {36, {60, 64, 67}}, {38, {57, 62, 66}},
      {40, {59, 64, 67}}, {36, {60, 64, 67}}, {45, {60, 64, 69}}, {38, {57, 60, 66}},
  };
  // The tune in quarters; the D7 bar steps up from C onto the first bar's D.
  const std::vector<std::vector<Written>> tune = {
      {{0, 2, 74}, {2, 1, 71}, {3, 1, 74}}, {{0, 1, 76}, {1, 1, 74}, {2, 2, 69}},
      {{0, 2, 79}, {2, 1, 78}, {3, 1, 76}}, {{0, 3, 76}, {3, 1, 67}},
      {{0, 1, 71}, {1, 1, 74}, {2, 2, 79}}, {{0, 1, 78}, {1, 1, 76}, {2, 2, 74}},
      {{0, 1, 76}, {1, 1, 79}, {2, 1, 76}, {3, 1, 72}}, {{0, 4, 74}},
      {{0, 2, 83}, {2, 1, 81}, {3, 1, 79}}, {{0, 2, 79}, {2, 2, 76}},
      {{0, 1, 72}, {1, 1, 76}, {2, 2, 81}}, {{0, 2, 78}, {2, 1, 76}, {3, 1, 72}},
  };
  std::vector<SmfTrack> tracks = {Conductor("sunrise", 84)};

  SmfTrack flute = Instrument("Flute", 0, 73, 96);
  WriteBars(&flute, 0, tune, kQuarter, 80);
  tracks.push_back(flute);

  SmfTrack strings = Instrument("Strings", 1, 48, 70);
  for (size_t bar = 0; bar < chords.size(); bar++)
    for (int key : chords[bar].tones) SmfNote(&strings, uint32_t(int(bar) * kBar), kBar - 20, 1, key, V(56));
  tracks.push_back(strings);

  SmfTrack guitar = Instrument("Guitar", 2, 24, 76);  // nylon strings, broken chords
  static const int kPick[8] = {0, 1, 2, 1, 0, 1, 2, 1};
  for (size_t bar = 0; bar < chords.size(); bar++)
    for (int k = 0; k < 8; k++) {
      const int key = chords[bar].tones[size_t(kPick[k])] + (k >= 4 && kPick[k] == 0 ? 12 : 0);
      SmfNote(&guitar, uint32_t(int(bar) * kBar + k * kEighth), kEighth, 2, key, V(k % 4 ? 54 : 66));
    }
  tracks.push_back(guitar);

  SmfTrack bass = Instrument("Bass", 3, 32, 90);  // acoustic bass, halves
  for (size_t bar = 0; bar < chords.size(); bar++) {
    SmfNote(&bass, uint32_t(int(bar) * kBar), 2 * kQuarter - 40, 3, chords[bar].bass, V(80));
    SmfNote(&bass, uint32_t(int(bar) * kBar + 2 * kQuarter), 2 * kQuarter - 40, 3, chords[bar].bass + 7, V(70));
  }
  tracks.push_back(bass);

  SmfTrack drums = Instrument("Percussion", kDrumChannel, 0, 70);
  for (int bar = 0; bar < 12; bar++) {
    const uint32_t at = uint32_t(bar * kBar);
    for (int q = 0; q < 4; q++) SmfNote(&drums, at + uint32_t(q * kQuarter), kEighth, kDrumChannel, kRide, V(40));
    for (int k = 1; k < 8; k += 2) SmfNote(&drums, at + uint32_t(k * kEighth), kEighth / 2, kDrumChannel, kShaker, V(30));
    SmfNote(&drums, at + 3 * kQuarter, kEighth, kDrumChannel, kSideStick, V(44));
  }
  tracks.push_back(drums);
  return SmfFile(1, kQuarter, tracks);
}

}  // namespace

std::string ComposeTitleSong() { return Title(); }
std::string ComposeOptionsSong() { return Options(); }
