#include "drive_stages.h"

#include <algorithm>
#include <cmath>

namespace fx {

namespace {
constexpr float kHalfPi = 1.570796f;
constexpr float kDenormalGuard = 1e-14f;

float limitToHalfPi(float t) { return std::clamp(t, -kHalfPi, kHalfPi); }
}  // namespace

void cToneShaper::process(float* samples, int n) {
  const float a = a_;
  const float drive = y_;
  const float norm = drive < 1.0f ? drive : std::sqrt(drive);
  float z = z_;
  if (a < 1.0f) {
    const float rest = 1.0f - a;
    for (int i = 0; i < n; ++i) {
      z = a * (samples[i] + kDenormalGuard) + rest * z;
      samples[i] = std::sin(limitToHalfPi(z * drive)) / norm;
    }
  } else {
    for (int i = 0; i < n; ++i) {
      z = samples[i] + kDenormalGuard;
      samples[i] = std::sin(limitToHalfPi(z * drive)) / norm;
    }
  }
  z_ = z;
}

std::shared_ptr<const cResoFilterBank::Table> cResoFilterBank::buildTable() {
  auto table = std::make_shared<Table>(kRows);
  const double fs = static_cast<float>(kSampleRate);
  for (int i = 0; i < kRows; ++i) {
    double t = static_cast<double>(i) / kRows;
    t = t * t * t;
    FourPoleCoefficients design = designFourPole(t * (fs / 2.0 - 200.0) + 200.0);
    Row& row = (*table)[i];
    std::copy(design.b.begin(), design.b.end(), row.b);
    std::copy(design.a.begin(), design.a.end(), row.a);
    row.inverseA0 = 1.0f / row.a[0];
  }
  return table;
}

void cResoFilterBank::setUp(std::shared_ptr<const Table> table) {
  table_ = std::move(table);
  position_ = targetPosition_ = 16383.0f;
  k_ = 0.0f;
  inputHistory_.fill(0.0f);
  outputHistory_.fill(0.0f);
  write_ = 0;
}

void cResoFilterBank::process(float* samples, int n) {
  if (!table_) return;
  const Row* rows = table_->data();
  for (int i = 0; i < n; ++i) {
    const float x = samples[i];
    position_ = static_cast<float>(0.999 * position_ + 0.001 * targetPosition_);
    const int index = std::clamp(static_cast<int>(position_), 0, kRows - 1);
    const Row& row = rows[index];
    const int w = write_;
    const float u = x - lastOutput_ * k_ + kDenormalGuard;
    inputHistory_[w] = u;
    float out = row.b[0] * u;
    for (int j = 1; j <= 4; ++j)
      out += row.b[j] * inputHistory_[(w - j) & 7] - row.a[j] * outputHistory_[(w - j) & 7];
    out *= row.inverseA0;
    lastOutput_ = out;
    outputHistory_[w] = out;
    const float drive = drive_;
    if (drive > 0.2f) {
      float s = std::sin(limitToHalfPi(out * drive));
      out = drive >= 1.0f ? s / std::sqrt(drive) : s / drive;
    }
    const float wet = wet_;
    if (wet < 1.0f) out = wet * out + (1.0f - wet) * x;
    write_ = static_cast<uint16_t>((w + 1) & 7);
    wet_ = static_cast<float>(0.001 * targetWet_ + 0.999 * wet);
    drive_ = static_cast<float>(0.999 * drive + 0.001 * targetDrive_);
    samples[i] = out;
  }
}

void cReso4PoleLP::setCutoff(double cutoff) {
  cutoff_ = cutoff;
  FourPoleCoefficients design = designFourPole(cutoff, true, q_);
  line_.setCoefficients(design.b.data(), design.a.data(), 5);
}

float cSoftClip::clip(float s) const {
  const float x = s * gain_;
  // Past a few units the curve rounds to exactly +-1 in float; the largest float below 1 keeps the
  // promise of an output strictly inside the range. NaN input leaves as silence.
  constexpr float kJustBelowOne = 0.99999994f;
  float y;
  if (x < -0.5f)
    y = 0.5f * std::exp(2.0f * x + 1.0f) - 1.0f;
  else if (x > 0.5f)
    y = 1.0f - 0.5f * std::exp(1.0f - 2.0f * x);
  else if (x == x)
    return x;
  else
    return 0.0f;
  return std::clamp(y, -kJustBelowOne, kJustBelowOne);
}

void cSoftClip::process(float* samples, int n) const {
  for (int i = 0; i < n; ++i) samples[i] = clip(samples[i]);
}

}  // namespace fx
