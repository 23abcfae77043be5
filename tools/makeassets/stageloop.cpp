// The stage music: eight bars in D minor at 150 beats a minute, bass, lead and drums,
// rendered as a seamless loop.
#include "tools/makeassets/assets.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kStep = kLoopFrames / (8 * 16);  // one sixteenth: 4410 frames
constexpr int kBarSteps = 16;
constexpr double kLoopPeakDb = -10.0;

struct Note {
  int step;    // sixteenth from the start of the loop
  int length;  // in sixteenths
  int key;     // MIDI note number
};

// Dm Dm Bb C Dm Dm Gm A: the A major bar turns back to the first.
constexpr int kRoots[8] = {38, 38, 34, 36, 38, 38, 43, 33};

// The lead, bar by bar: (sixteenth in the bar, length, note).
const std::vector<std::vector<Note>> kLead = {
    {{0, 2, 69}, {2, 2, 74}, {4, 2, 76}, {6, 4, 77}, {10, 2, 76}, {12, 2, 74}, {14, 2, 72}},
    {{0, 6, 74}, {6, 2, 69}, {8, 2, 74}, {10, 2, 77}, {12, 4, 81}},
    {{0, 3, 77}, {3, 3, 74}, {6, 2, 70}, {8, 2, 74}, {10, 2, 77}, {12, 2, 79}, {14, 2, 77}},
    {{0, 6, 76}, {6, 2, 72}, {8, 2, 76}, {10, 4, 79}, {14, 2, 76}},
    {{0, 2, 69}, {2, 2, 74}, {4, 2, 76}, {6, 4, 77}, {10, 2, 79}, {12, 2, 81}, {14, 2, 84}},
    {{0, 6, 86}, {6, 2, 84}, {8, 4, 81}, {12, 4, 77}},
    {{0, 3, 79}, {3, 3, 82}, {6, 2, 86}, {8, 2, 84}, {10, 2, 82}, {12, 2, 81}, {14, 2, 79}},
    {{0, 4, 81}, {4, 2, 79}, {6, 2, 76}, {8, 2, 73}, {10, 2, 69}, {12, 2, 73}, {14, 2, 76}},
};

enum Drum { kKick, kSnare, kHat, kOpenHat, kCrash };

struct Hit {
  int step;
  Drum drum;
  double level;
};

std::vector<Note> Bassline() {
  std::vector<Note> notes;
  for (int bar = 0; bar < 8; bar++) {
    const int root = kRoots[bar];
    // Octave pumping eighths; the last bar walks up through the A chord to D.
    static const int kPump[8] = {0, 12, 0, 12, 0, 12, 7, 12};
    static const int kWalk[8] = {0, 12, 0, 12, 4, 7, 9, 11};
    for (int k = 0; k < 8; k++) notes.push_back({bar * kBarSteps + 2 * k, 2, root + (bar == 7 ? kWalk[k] : kPump[k])});
  }
  return notes;
}

std::vector<Hit> Beat() {
  std::vector<Hit> hits;
  for (int bar = 0; bar < 8; bar++) {
    const int at = bar * kBarSteps;
    hits.push_back({at + 0, kKick, 1.0});
    hits.push_back({at + 8, kKick, 1.0});
    if (bar % 2) hits.push_back({at + 10, kKick, 0.8});
    hits.push_back({at + 4, kSnare, 1.0});
    if (bar == 0) hits.push_back({at, kCrash, 0.8});
    if (bar < 7) {
      hits.push_back({at + 12, kSnare, 1.0});
      for (int k = 0; k < 8; k++)
        hits.push_back({at + 2 * k, (bar % 4 == 3 && k == 7) ? kOpenHat : kHat, k % 2 ? 1.0 : 0.6});
    } else {
      // A roll into the top of the loop.
      for (int k = 0; k < 6; k++) hits.push_back({at + 2 * k, kHat, k % 2 ? 1.0 : 0.6});
      for (int k = 12; k < 16; k++) hits.push_back({at + k, kSnare, 0.55 + 0.15 * (k - 12)});
    }
  }
  return hits;
}

double Seconds(size_t frames) { return double(frames) / kRate; }

// Mono voices rendered note by note into a bus at `offset`, no further than its end.
void AddBass(Samples* bus, size_t offset, const Note& n) {
  Phase saw, sub;
  Resonant filter;
  const double hz = NoteHz(n.key), length = Seconds(size_t(n.length) * kStep) * 0.85;
  const size_t end = std::min(bus->size(), offset + size_t((length + 0.03) * kRate));
  for (size_t i = offset; i < end; i++) {
    const double t = Seconds(i - offset);
    const double cutoff = 220 + 1900 * std::exp(-t / 0.07);
    const double v = ResonantLowPass(&filter, Saw(Advance(&saw, hz)), cutoff, 2.2) + 0.35 * Sine(Advance(&sub, hz / 2));
    (*bus)[i] += 0.5 * v * Gate(t, length, 0.003, 0.03);
  }
}

void AddLead(Samples* bus, size_t offset, const Note& n) {
  Phase a, b, vib;
  Resonant filter;
  const double hz = NoteHz(n.key), length = Seconds(size_t(n.length) * kStep) * 0.9;
  const size_t end = std::min(bus->size(), offset + size_t((length + 0.06) * kRate));
  for (size_t i = offset; i < end; i++) {
    const double t = Seconds(i - offset);
    const double depth = t > 0.12 ? 0.006 * std::min(1.0, (t - 0.12) / 0.1) : 0;
    const double f = hz * (1 + depth * Sine(Advance(&vib, 5.5)));
    const double raw = 0.5 * Square(Advance(&a, f), 0.3) + 0.5 * Square(Advance(&b, f * 1.004), 0.5);
    const double v = ResonantLowPass(&filter, raw, 1400 + 2600 * std::exp(-t / 0.15), 1.4);
    (*bus)[i] += 0.32 * v * Gate(t, length, 0.005, 0.06);
  }
}

void AddDrum(Samples* bus, size_t offset, const Hit& h, uint32_t seed) {
  static const double kLength[5] = {0.45, 0.3, 0.12, 0.5, 1.6};
  Dice noise = {seed};
  OnePole hp, lp;
  Phase body;
  const size_t end = std::min(bus->size(), offset + size_t(kLength[h.drum] * kRate));
  for (size_t i = offset; i < end; i++) {
    const double t = Seconds(i - offset);
    double v = 0;
    switch (h.drum) {
      case kKick:  // a sine whose pitch drops
        v = Sine(Advance(&body, 45 + 115 * std::exp(-t / 0.03))) * AttackDecay(t, 0.001, 0.16);
        break;
      case kSnare:
        v = 0.45 * Sine(Advance(&body, 185)) * AttackDecay(t, 0.001, 0.05) +
            0.6 * HighPass(&hp, NextNoise(&noise), 1500) * AttackDecay(t, 0.001, 0.09);
        break;
      case kHat:
        v = 0.3 * HighPass(&hp, NextNoise(&noise), 7000) * AttackDecay(t, 0.001, 0.022);
        break;
      case kOpenHat:
        v = 0.26 * HighPass(&hp, NextNoise(&noise), 6500) * AttackDecay(t, 0.001, 0.14);
        break;
      case kCrash:
        v = 0.22 * LowPass(&lp, HighPass(&hp, NextNoise(&noise), 3500), 11000) * AttackDecay(t, 0.002, 0.5);
        break;
    }
    (*bus)[i] += h.level * v;
  }
}

}  // namespace

std::vector<float> RenderStageLoop() {
  // Two passes back to back; the second is kept, so every decay that crosses the loop
  // point (notes, cymbals, the echo) is already sounding at its start.
  const size_t total = 2 * size_t(kLoopFrames);
  Samples bass(total, 0.0), lead(total, 0.0), kick(total, 0.0), snare(total, 0.0), hats(total, 0.0);
  const std::vector<Note> bassline = Bassline();
  const std::vector<Hit> beat = Beat();
  for (size_t pass = 0; pass < 2; pass++) {
    const size_t base = pass * size_t(kLoopFrames);
    for (const Note& n : bassline) AddBass(&bass, base + size_t(n.step) * kStep, n);
    for (size_t bar = 0; bar < kLead.size(); bar++)
      for (const Note& n : kLead[bar]) AddLead(&lead, base + (bar * kBarSteps + size_t(n.step)) * kStep, n);
    for (size_t k = 0; k < beat.size(); k++) {
      const Hit& h = beat[k];
      Samples* bus = h.drum == kKick ? &kick : h.drum == kSnare ? &snare : &hats;
      // The same seed for a hit in both passes, so the loop repeats exactly.
      AddDrum(bus, base + size_t(h.step) * kStep, h, 0x1000193u * uint32_t(k + 1));
    }
  }
  // The lead's echo three sixteenths later, mostly on the right.
  Samples echo(total, 0.0);
  const size_t delay = 3 * kStep;
  for (size_t i = delay; i < total; i++) echo[i] = 0.45 * lead[i - delay] + 0.4 * echo[i - delay];

  std::vector<double> mix(2 * size_t(kLoopFrames));
  double peak = 0;
  for (size_t i = 0; i < size_t(kLoopFrames); i++) {
    const size_t j = i + size_t(kLoopFrames);
    const double centre = bass[j] + kick[j] + 0.9 * snare[j];
    const double left = centre + 0.6 * lead[j] + 0.3 * echo[j] + 0.35 * hats[j];
    const double right = centre + 0.4 * lead[j] + 0.7 * echo[j] + 0.65 * hats[j];
    mix[2 * i] = left;
    mix[2 * i + 1] = right;
    peak = std::max({peak, std::fabs(left), std::fabs(right)});
  }
  // As loud as the menu songs sound through the synthesizer, with headroom for the effects
  // played over it and for the encoder's ringing.
  const double scale = peak > 0 ? std::pow(10.0, kLoopPeakDb / 20) / peak : 0;
  std::vector<float> out(mix.size());
  for (size_t i = 0; i < mix.size(); i++) out[i] = float(mix[i] * scale);
  return out;
}
