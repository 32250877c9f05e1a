#include "equaliser.h"

#include <cmath>
#include <numbers>

#include "processor.h"

namespace fx {

namespace {

BiquadCoefficients store(double d, double b0, double b1, double b2, double a1, double a2) {
  BiquadCoefficients c;
  c.b0 = static_cast<float>(b0 / d);
  c.b1 = static_cast<float>(b1 / d);
  c.b2 = static_cast<float>(b2 / d);
  c.a0 = 1.0f;
  c.a1 = static_cast<float>(a1 / d);
  c.a2 = static_cast<float>(a2 / d);
  return c;
}

}  // namespace

BiquadCoefficients designBand(BandRole role, float frequency, float width, float gain) {
  const double f = frequency;
  if (!(f > 0.0 && f < kSampleRate / 2.0)) return BiquadCoefficients{};
  const double k = std::tan(std::numbers::pi * f / kSampleRate);
  const double kk = k * k;
  const double root2 = std::sqrt(2.0);
  const double g = gain;
  const double db = role == BandRole::Peak ? 36.0 * g - 18.0 : 24.0 * g - 12.0;
  const double v = std::pow(10.0, std::fabs(db) / 20.0);
  const bool boost = db >= 0.0;
  const double root2v = std::sqrt(2.0 * v);

  switch (role) {
    case BandRole::LowShelf:
      if (boost)
        return store(1 + root2 * k + kk, 1 + root2v * k + v * kk, 2 * (v * kk - 1), 1 - root2v * k + v * kk,
                     2 * (kk - 1), 1 - root2 * k + kk);
      return store(1 + root2v * k + v * kk, 1 + root2 * k + kk, 2 * (kk - 1), 1 - root2 * k + kk,
                   2 * (v * kk - 1), 1 - root2v * k + v * kk);
    case BandRole::HighShelf: {
      if (boost)
        return store(1 + root2 * k + kk, v + root2v * k + kk, 2 * (kk - v), v - root2v * k + kk, 2 * (kk - 1),
                     1 - root2 * k + kk);
      const double dB = v + root2v * k + kk;
      const double dA = 1 + std::sqrt(2.0 / v) * k + kk / v;
      BiquadCoefficients c;
      c.b0 = static_cast<float>((1 + root2 * k + kk) / dB);
      c.b1 = static_cast<float>(2 * (kk - 1) / dB);
      c.b2 = static_cast<float>((1 - root2 * k + kk) / dB);
      c.a1 = static_cast<float>(2 * (kk / v - 1) / dA);
      c.a2 = static_cast<float>((1 - std::sqrt(2.0 / v) * k + kk / v) / dA);
      return c;
    }
    case BandRole::Peak: {
      const double q = 1.0 / static_cast<double>(width);
      if (boost)
        return store(1 + k / q + kk, 1 + v * k / q + kk, 2 * (kk - 1), 1 - v * k / q + kk, 2 * (kk - 1),
                     1 - k / q + kk);
      return store(1 + v * k / q + kk, 1 + k / q + kk, 2 * (kk - 1), 1 - k / q + kk, 2 * (kk - 1),
                   1 - v * k / q + kk);
    }
  }
  return BiquadCoefficients{};
}

Equaliser::Equaliser() {
  constexpr float kDefaultFrequencies[] = {60, 80, 160, 320, 640, 1100, 2200, 4500, 9000, 12000};
  for (int i = 0; i < kMaxBands; ++i) {
    frequency_[i] = i < 10 ? kDefaultFrequencies[i] : 0.0f;
    width_[i] = 0.25f;
    gain_[i] = 0.5f;
  }
}

void Equaliser::setFrequency(int band, float value) {
  frequency_[band] = value;
  computeBand(band);
}

void Equaliser::setWidth(int band, float value) {
  width_[band] = value;
  computeBand(band);
}

void Equaliser::setGain(int band, float value) {
  gain_[band] = value;
  computeBand(band);
}

void Equaliser::computeAll() {
  for (int i = 0; i < bandCount_ && i < kMaxBands; ++i) computeBand(i);
}

void Equaliser::computeBand(int band) {
  if (band >= bandCount_) return;
  BandRole role = BandRole::Peak;
  if (band == 0) role = BandRole::LowShelf;
  if (band == bandCount_ - 1) role = BandRole::HighShelf;
  coefficients_[band] = designBand(role, frequency_[band], width_[band], gain_[band]);
}

void Equaliser::clearHistories() {
  for (int s = 0; s < 2 * bandCount_ && s < 2 * kMaxBands; ++s) states_[s] = State{};
}

namespace {

// One band on one channel, with its state in registers.
struct BandRunner {
  float b0, b1, b2, a1, a2;
  float x1, x2, y1, y2;
  float step(float x) {
    const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

}  // namespace

void Equaliser::process(float* left, float* right, int n) {
  // The bands that are not neutral, in order.
  int active[kMaxBands];
  int count = 0;
  for (int i = 0; i < bandCount_ && i < kMaxBands; ++i)
    if (gain_[i] != 0.5f) active[count++] = i;

  auto runner = [this](int band, int slot) {
    const BiquadCoefficients& c = coefficients_[band];
    const State& s = states_[slot];
    return BandRunner{c.b0, c.b1, c.b2, c.a1, c.a2, s.x1, s.x2, s.y1, s.y2};
  };
  auto keep = [this](const BandRunner& r, int slot) { states_[slot] = State{r.x1, r.x2, r.y1, r.y2}; };

  // Two bands and both channels per loop: four recursions that the processor can overlap, each sample
  // still passing the bands in order.
  int k = 0;
  for (; k + 1 < count; k += 2) {
    const int first = active[k], second = active[k + 1];
    BandRunner l1 = runner(first, 2 * first), r1 = runner(first, 2 * first + 1);
    BandRunner l2 = runner(second, 2 * second), r2 = runner(second, 2 * second + 1);
    for (int i = 0; i < n; ++i) {
      left[i] = l2.step(l1.step(left[i]));
      right[i] = r2.step(r1.step(right[i]));
    }
    keep(l1, 2 * first);
    keep(r1, 2 * first + 1);
    keep(l2, 2 * second);
    keep(r2, 2 * second + 1);
  }
  if (k < count) {
    const int band = active[k];
    BandRunner l = runner(band, 2 * band), r = runner(band, 2 * band + 1);
    for (int i = 0; i < n; ++i) {
      left[i] = l.step(left[i]);
      right[i] = r.step(right[i]);
    }
    keep(l, 2 * band);
    keep(r, 2 * band + 1);
  }
}

}  // namespace fx
