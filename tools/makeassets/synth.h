// The synthesizer: oscillators, noise, envelopes and simple filters over float samples,
// all from fixed seeds and plain arithmetic, so every build renders the same samples.
#pragma once

#include "tools/makeassets/dice.h"

#include <cstdint>
#include <vector>

constexpr int kRate = 44100;

using Samples = std::vector<double>;

// Waves of a phase in cycles (any real; the fraction counts).
double Sine(double phase);
double Square(double phase, double duty = 0.5);
double Saw(double phase);
double Triangle(double phase);

// White noise in [-1, 1) from a fixed seed.
double NextNoise(Dice* noise);

// A phase that follows a changing frequency: advance by one sample at hz.
struct Phase {
  double cycles = 0;
};
double Advance(Phase* p, double hz);

// One-pole low-pass with a cutoff in Hz; the high-pass is its complement.
struct OnePole {
  double y = 0;
};
double LowPass(OnePole* f, double x, double hz);
double HighPass(OnePole* f, double x, double hz);

// A two-pole resonant low-pass (a state-variable filter), cutoff in Hz, q 0.5 to 10.
struct Resonant {
  double low = 0, band = 0;
};
double ResonantLowPass(Resonant* f, double x, double hz, double q);

// Envelopes of time t in seconds: a linear attack then an exponential decay with time
// constant tau; and attack-hold-release over a note of the given length.
double AttackDecay(double t, double attack, double tau);
double Gate(double t, double length, double attack, double release);

// Frequency of a MIDI note number.
double NoteHz(double note);

// The end of every effect: scaled so that its peak is `peakDb` dBFS, faded in and out
// over `fadeSeconds` (raised cosine), then rounded to 16 bits.
std::vector<int16_t> FinishEffect(Samples samples, double peakDb, double fadeSeconds);
