#include "tools/makeassets/synth.h"

#include <algorithm>
#include <cmath>

namespace {

double Fraction(double phase) { return phase - std::floor(phase); }

}  // namespace

double Sine(double phase) { return std::sin(2 * M_PI * phase); }
double Square(double phase, double duty) { return Fraction(phase) < duty ? 1.0 : -1.0; }
double Saw(double phase) { return 2 * Fraction(phase) - 1; }
double Triangle(double phase) {
  const double f = Fraction(phase);
  return f < 0.5 ? 4 * f - 1 : 3 - 4 * f;
}

double NextNoise(Dice* noise) { return Roll(noise) / 2147483648.0 - 1.0; }

double Advance(Phase* p, double hz) {
  const double now = p->cycles;
  p->cycles += hz / kRate;
  p->cycles -= std::floor(p->cycles);
  return now;
}

double LowPass(OnePole* f, double x, double hz) {
  const double a = 1 - std::exp(-2 * M_PI * hz / kRate);
  f->y += a * (x - f->y);
  return f->y;
}

double HighPass(OnePole* f, double x, double hz) { return x - LowPass(f, x, hz); }

double ResonantLowPass(Resonant* f, double x, double hz, double q) {
  const double g = 2 * std::sin(M_PI * std::min(hz, kRate / 6.0) / kRate);
  const double high = x - f->low - f->band / q;
  f->band += g * high;
  f->low += g * f->band;
  return f->low;
}

double AttackDecay(double t, double attack, double tau) {
  if (t < 0) return 0;
  if (t < attack) return t / attack;
  return std::exp(-(t - attack) / tau);
}

double Gate(double t, double length, double attack, double release) {
  if (t < 0) return 0;
  double level = t < attack ? t / attack : 1.0;
  if (t > length) level *= std::max(0.0, 1 - (t - length) / release);
  return level;
}

double NoteHz(double note) { return 440.0 * std::pow(2.0, (note - 69) / 12); }

std::vector<int16_t> FinishEffect(Samples samples, double peakDb, double fadeSeconds) {
  const size_t n = samples.size();
  const size_t fade = std::min(n / 2, size_t(std::lround(fadeSeconds * kRate)));
  for (size_t i = 0; i < fade; i++) {
    const double g = 0.5 - 0.5 * std::cos(M_PI * double(i) / double(fade));
    samples[i] *= g;
    samples[n - 1 - i] *= g;
  }
  double peak = 0;
  for (double v : samples) peak = std::max(peak, std::fabs(v));
  const double scale = peak > 0 ? std::pow(10.0, peakDb / 20) / peak : 0;
  std::vector<int16_t> out(n);
  for (size_t i = 0; i < n; i++)
    out[i] = int16_t(std::clamp(std::lround(samples[i] * scale * 32767), -32767L, 32767L));
  return out;
}
