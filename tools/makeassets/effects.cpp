// The ten sound effects, each one synthesized voice.
#include "tools/makeassets/assets.h"
#include "tools/makeassets/synth.h"

#include <algorithm>
#include <cmath>

namespace {

Samples Blank(double seconds) { return Samples(size_t(std::lround(seconds * kRate)), 0.0); }
double Time(size_t i) { return double(i) / kRate; }

// Adds a voice struck `start` seconds in, for `length` seconds at most: voice(t) is its
// sample t seconds after the stroke.
template <typename Voice>
void Strike(Samples* s, double start, double length, Voice voice) {
  const size_t end = std::min(s->size(), size_t((start + length) * kRate));
  for (size_t i = size_t(start * kRate); i < end; i++) (*s)[i] += voice(Time(i) - start);
}

// A bomb bursts: a noise blast whose filter closes, over a low thump that drops.
Samples Burst() {
  Samples s = Blank(0.7);
  Dice noise = {0xB0B09u};
  OnePole lp, lp2;
  Phase thump;
  for (size_t i = 0; i < s.size(); i++) {
    const double t = Time(i);
    const double cutoff = 180 + 6000 * std::exp(-t / 0.07);
    const double blast = LowPass(&lp2, LowPass(&lp, NextNoise(&noise), cutoff), cutoff * 1.5);
    const double hz = 38 + 100 * std::exp(-t / 0.045);
    s[i] = 2.2 * blast * AttackDecay(t, 0.002, 0.16) + Sine(Advance(&thump, hz)) * AttackDecay(t, 0.004, 0.2);
  }
  return s;
}

// A bomb is laid: one bubble rising to the surface.
Samples Blop() {
  Samples s = Blank(0.12);
  Phase ph;
  for (size_t i = 0; i < s.size(); i++) {
    const double t = Time(i);
    const double hz = 260 * std::exp(t * 11);
    const double p = Advance(&ph, hz);
    s[i] = (Sine(p) + 0.25 * Sine(2 * p)) * AttackDecay(t, 0.006, 0.035);
  }
  return s;
}

// The core mech opens fire: a frequency-modulated zap whose pitch and brightness fall.
Samples Zap() {
  Samples s = Blank(0.25);
  Phase carrier, modulator;
  for (size_t i = 0; i < s.size(); i++) {
    const double t = Time(i);
    const double hz = 220 + 1400 * std::exp(-t / 0.06);
    const double index = 5 * std::exp(-t / 0.09);
    const double m = Sine(Advance(&modulator, hz * 1.41));
    s[i] = Sine(Advance(&carrier, hz) + index * m / (2 * M_PI)) * AttackDecay(t, 0.003, 0.09);
  }
  return s;
}

// An item is taken: C, E, G, C rising.
Samples Arpeggio() {
  Samples s = Blank(0.3);
  const double notes[4] = {72, 76, 79, 84};
  for (int k = 0; k < 4; k++) {
    Phase ph;
    OnePole lp;
    const double hz = NoteHz(notes[k]), tau = k == 3 ? 0.08 : 0.05;
    Strike(&s, 0.055 * k, 1, [&](double t) {
      return 0.5 * LowPass(&lp, Square(Advance(&ph, hz), 0.25), 5000) * AttackDecay(t, 0.003, tau);
    });
  }
  return s;
}

// A tone sliding down `octaves` a second from `hz`, with a vibrato, held for `hold`
// seconds and released over `release`: a triangle with some square for an edge.
struct Slide {
  double seconds, hz, octaves, vibratoHz, vibratoDepth, edge, hold, attack, release;
};

Samples SlideDown(const Slide& v) {
  Samples s = Blank(v.seconds);
  Phase ph, vib;
  for (size_t i = 0; i < s.size(); i++) {
    const double t = Time(i);
    const double hz = v.hz * std::pow(2.0, -v.octaves * t) * (1 + v.vibratoDepth * Sine(Advance(&vib, v.vibratoHz)));
    const double p = Advance(&ph, hz);
    s[i] = (Triangle(p) + v.edge * Square(p)) * Gate(t, v.hold, v.attack, v.release);
  }
  return s;
}

// The last life is lost: a long slide down with a slight wobble.
Samples Fall() { return SlideDown({1.0, 900, 3.2, 7, 0.025, 0.2, 0.8, 0.01, 0.2}); }

// Enemies appear: a croaking growl, a buzzing low voice pulsing through a formant.
Samples Croak() {
  Samples s = Blank(0.5);
  Phase voice, pulse;
  Resonant formant;
  Dice noise = {0xC40A4u};
  for (size_t i = 0; i < s.size(); i++) {
    const double t = Time(i);
    const double hz = 78 + 30 * std::sin(M_PI * t / 0.5);
    const double throb = std::pow(std::max(0.0, Sine(Advance(&pulse, 19))), 2);
    const double raw = Saw(Advance(&voice, hz)) + 0.3 * NextNoise(&noise);
    s[i] = ResonantLowPass(&formant, raw, 650 + 250 * throb, 3.5) * (0.25 + 0.75 * throb) *
           Gate(t, 0.42, 0.02, 0.08);
  }
  return s;
}

// A bad item: two low beeps.
Samples DoubleBeep() {
  Samples s = Blank(0.35);
  Phase ph;
  OnePole lp;
  for (size_t i = 0; i < s.size(); i++) {
    const double t = Time(i);
    const double gate = Gate(t, 0.12, 0.004, 0.02) + Gate(t - 0.18, 0.12, 0.004, 0.02);
    s[i] = LowPass(&lp, Square(Advance(&ph, NoteHz(43))), 2400) * gate;
  }
  return s;
}

// A defeated enemy vanishes: a warble that wobbles widely as it falls.
Samples Warble() { return SlideDown({0.5, 820, 2.4, 14, 0.13, 0, 0.4, 0.008, 0.1}); }

// A special block opens: bell partials struck one after another, with a glitter of noise.
Samples Chime() {
  Samples s = Blank(0.4);
  const double notes[4] = {88, 95, 100, 104};
  for (int k = 0; k < 4; k++) {
    Phase a, b;
    const double hz = NoteHz(notes[k]);
    Strike(&s, 0.04 * k, 1, [&](double t) {
      return 0.3 * (Sine(Advance(&a, hz)) + 0.4 * Sine(Advance(&b, hz * 2.76))) * AttackDecay(t, 0.002, 0.11);
    });
  }
  Dice noise = {0x5BA4Cu};
  OnePole hp;
  for (size_t i = 0; i < s.size(); i++)
    s[i] += 0.15 * HighPass(&hp, NextNoise(&noise), 6000) * AttackDecay(Time(i), 0.01, 0.1);
  return s;
}

// The last core is freed: a short brass fanfare, three quick notes up to a held one.
Samples Fanfare() {
  Samples s = Blank(1.0);
  struct Note {
    double start, length, note;
  };
  const Note notes[5] = {{0.0, 0.08, 67}, {0.1, 0.08, 72}, {0.2, 0.08, 76}, {0.3, 0.55, 79}, {0.3, 0.55, 76}};
  for (const Note& n : notes) {
    Phase ph, vib;
    Resonant brass;
    const double hz = NoteHz(n.note);
    Strike(&s, n.start, n.length + 0.1, [&](double t) {
      const double wobble = t > 0.15 ? 0.006 * Sine(Advance(&vib, 6)) : 0;
      const double bright = 900 + 2600 * std::min(1.0, t / 0.05);
      return 0.35 * ResonantLowPass(&brass, Saw(Advance(&ph, hz * (1 + wobble))), bright, 1.2) *
             Gate(t, n.length, 0.012, 0.1);
    });
  }
  return s;
}

}  // namespace

const EffectRecipe kEffects[kEffectCount] = {
    {"bom09.wav", Burst},     {"buble01.wav", Blop},      {"fm000.wav", Zap},
    {"power09.wav", Arpeggio}, {"fall00.wav", Fall},       {"animal02.wav", Croak},
    {"beep15.wav", DoubleBeep}, {"byoro01_a.wav", Warble}, {"power10.wav", Chime},
    {"power37.wav", Fanfare},
};

std::vector<int16_t> RenderEffect(const EffectRecipe& effect) {
  // Peaks at -10 dBFS, with 5 ms fades so that nothing clicks: the mixer adds sounds
  // without limiting them, and an explosion, a death and the music at once stay below
  // full scale.
  return FinishEffect(effect.render(), -10.0, 0.005);
}
