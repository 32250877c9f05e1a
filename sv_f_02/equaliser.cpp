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

void Equaliser::runBand(const BiquadCoefficients& c, State& leftState, State& rightState, float* left,
                        float* right, int n) {
  // Both channels in one loop: two independent recursions keep the pipeline busy.
  const float b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
  float lx1 = leftState.x1, lx2 = leftState.x2, ly1 = leftState.y1, ly2 = leftState.y2;
  float rx1 = rightState.x1, rx2 = rightState.x2, ry1 = rightState.y1, ry2 = rightState.y2;
  for (int i = 0; i < n; ++i) {
    const float lx = left[i];
    const float rx = right[i];
    const float ly = b0 * lx + b1 * lx1 + b2 * lx2 - a1 * ly1 - a2 * ly2;
    const float ry = b0 * rx + b1 * rx1 + b2 * rx2 - a1 * ry1 - a2 * ry2;
    lx2 = lx1;
    lx1 = lx;
    ly2 = ly1;
    ly1 = ly;
    rx2 = rx1;
    rx1 = rx;
    ry2 = ry1;
    ry1 = ry;
    left[i] = ly;
    right[i] = ry;
  }
  leftState = State{lx1, lx2, ly1, ly2};
  rightState = State{rx1, rx2, ry1, ry2};
}

void Equaliser::process(float* left, float* right, int n) {
  for (int i = 0; i < bandCount_ && i < kMaxBands; ++i) {
    if (gain_[i] == 0.5f) continue;
    runBand(coefficients_[i], states_[2 * i], states_[2 * i + 1], left, right, n);
  }
}

}  // namespace fx
