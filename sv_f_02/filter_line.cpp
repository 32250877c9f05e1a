#include "filter_line.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fx {

void cDelayLine::reset() {
  std::fill(data_.begin(), data_.end(), 0.0f);
}

void cDelayLine::resize(int minimumLength) {
  int length = powerOfTwoAtLeast(minimumLength, 2);
  if (length == static_cast<int>(data_.size())) return;
  // Keep the latest values in their order so a filter that only grows its history loses nothing.
  std::vector<float> grown(length, 0.0f);
  int keep = std::min(length, static_cast<int>(data_.size()));
  for (int i = 1; i <= keep; ++i) grown[(length - i) & (length - 1)] = ago(i);
  data_ = std::move(grown);
  mask_ = length - 1;
  write_ = 0;
}

FilterCoefficients designReverbFilter(int type, double cutoff) {
  FilterCoefficients f;
  if (type == 1) {
    double p = 1.0 - 4.0 * cutoff / kSampleRate;
    f.b = {(1.0 - p) / 2.0, (1.0 - p) / 2.0};
    f.a = {1.0, -p};
  } else if (type == 2) {
    double k = std::tan(std::numbers::pi * cutoff / kSampleRate);
    double d = k * k + std::sqrt(2.0) * k + 1.0;
    f.b = {k * k / d, 2.0 * k * k / d, k * k / d};
    f.a = {1.0, 2.0 * (k * k - 1.0) / d, (k * k - std::sqrt(2.0) * k + 1.0) / d};
  }
  return f;
}

void cFilterLine::reset() {
  input_.reset();
  output_.reset();
}

void cFilterLine::setCoefficients(const FilterCoefficients& coefficients, int delay) {
  b_.assign(coefficients.b.begin(), coefficients.b.end());
  a_.assign(coefficients.a.begin(), coefficients.a.end());
  int count = static_cast<int>(std::max(b_.size(), a_.size()));
  b_.resize(count, 0.0f);
  a_.resize(count, 0.0f);
  inverseA0_ = static_cast<float>(1.0 / coefficients.a[0]);
  int history = std::max(count, delay);
  if (history > input_.length()) {
    input_.resize(history);
    output_.resize(history);
  }
}

void cFilterLine::setCoefficients(const float* b, const float* a, int count) {
  b_.assign(b, b + count);
  a_.assign(a, a + count);
  inverseA0_ = 1.0f / a[0];
  if (count > input_.length()) {
    input_.resize(count);
    output_.resize(count);
  }
}

float cFilterLine::compute(float x) const {
  float y = b_[0] * x;
  for (size_t k = 1; k < b_.size(); ++k)
    y += b_[k] * input_.ago(static_cast<int>(k)) - a_[k] * output_.ago(static_cast<int>(k));
  return y * inverseA0_;
}

float cFilterLine::step(float x) {
  float y = compute(x);
  input_.push(x);
  output_.push(y);
  return y;
}

void cFilterLine::process(const float* src, float* dst, int n, int delay, double gain, bool add) {
  for (int i = 0; i < n; ++i) {
    float x = src[i];
    float y = compute(x);
    // Read before the write: a history exactly `delay` long still holds the output of `delay` samples ago.
    float passed = delay > 0 ? output_.ago(delay) : y;
    input_.push(x);
    output_.push(y);
    float value = static_cast<float>(gain * passed);
    dst[i] = add ? dst[i] + value : value;
  }
}

}  // namespace fx
