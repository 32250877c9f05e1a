#include "reverb_parts.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "room_geometry.h"

namespace fx {

cEarlyReflections::cEarlyReflections(std::vector<Tap> taps) : taps_(std::move(taps)) {
  int longest = 0;
  for (const Tap& tap : taps_)
    for (int d : tap.delay) longest = std::max(longest, d);
  length_ = powerOfTwoAtLeast(longest);
  for (Tap& tap : taps_)
    for (int& d : tap.delay) d &= length_ - 1;
  const int stored = powerOfTwoAtLeast(static_cast<long long>(length_) + kStretch);
  // Every input is kept twice, one history length apart, so each tap reads a stretch without wrapping.
  left_.assign(2 * static_cast<size_t>(stored), 0.0f);
  right_.assign(2 * static_cast<size_t>(stored), 0.0f);
  mask_ = stored - 1;
}

void cEarlyReflections::reset() {
  std::fill(left_.begin(), left_.end(), 0.0f);
  std::fill(right_.begin(), right_.end(), 0.0f);
}

void cEarlyReflections::process(const float* inLeft, const float* inRight, float* outLeft, float* outRight,
                                int n) {
  float* hl = left_.data();
  float* hr = right_.data();
  const int mask = mask_, stored = mask_ + 1;
  for (int done = 0; done < n; done += kStretch) {
    const int m = std::min(kStretch, n - done);
    const int w = write_;
    for (int t = 0; t < m; ++t) {
      const int at = (w + t) & mask;
      hl[at] = hl[at + stored] = inLeft[done + t];
      hr[at] = hr[at + stored] = inRight[done + t];
    }
    float* __restrict outL = outLeft + done;
    float* __restrict outR = outRight + done;
    std::fill(outL, outL + m, 0.0f);
    std::fill(outR, outR + m, 0.0f);
    // Tap after tap, each sample's sums grow in the same order as they would sample by sample.
    for (const Tap& tap : taps_) {
      const float* ll = hl + ((w - tap.delay[0]) & mask);
      const float* lr = hl + ((w - tap.delay[1]) & mask);
      const float* rl = hr + ((w - tap.delay[2]) & mask);
      const float* rr = hr + ((w - tap.delay[3]) & mask);
      const float gll = tap.gain[0], glr = tap.gain[1], grl = tap.gain[2], grr = tap.gain[3];
      for (int t = 0; t < m; ++t) {
        outL[t] += ll[t] * gll + rl[t] * grl;
        outR[t] += lr[t] * glr + rr[t] * grr;
      }
    }
    write_ = (w + m) & mask;
  }
}

double headShadowPole(double direction) {
  const double x = kSampleRate * std::fabs(std::sin(direction));
  return 2.38333e-05 * x - 4.59722e-15 * x * x * x + 6.43004e-25 * x * x * x * x * x;
}

FilterCoefficients headShadowFilter(double s) {
  FilterCoefficients f;
  if (std::fabs(s) < 1e-10) return f;
  const double g = (s - 2 * s * s + s * s * s) / (s * s + 2 * s + 1);
  f.b = {s * g, (s * s + 1) * g, s * g};
  f.a = {s, -2 * s * s, s * s * s};
  return f;
}

double headShadowPhaseDelay(double s) {
  if (std::fabs(s) < 1e-10) return 0.0;
  constexpr double omega = 0.01;
  const std::complex<double> z1 = std::polar(1.0, -omega);
  const std::complex<double> z2 = z1 * z1;
  const std::complex<double> numerator = s + (s * s + 1) * z1 + s * z2;
  const std::complex<double> denominator = s - 2 * s * s * z1 + s * s * s * z2;
  return std::fabs(std::arg(numerator) - std::arg(denominator)) / omega;
}

cPan3D::cPan3D() = default;

void cPan3D::reset() {
  for (cFilterLine& line : lines_) line.reset();
}

void cPan3D::configure(double azimuth, double distance) {
  azimuth_ = wrapAngle(azimuth);
  distance_ = distance;
  std::array<EarPath, 2> paths = earPaths(azimuth_, distance_);
  for (int e = 0; e < 2; ++e) {
    const EarPath& path = paths[e];
    Ear& ear = ears_[e];
    ear.gain = 1.0 / (path.length * path.length + 0.1);
    const double s = path.shadowed ? headShadowPole(path.direction) : 0.0;
    ear.filter = headShadowFilter(s);
    const double tau = headShadowPhaseDelay(s);
    ear.delay = static_cast<int>(std::max(0LL, roundHalfAway(path.length * sampleRate_ / speedOfSound_ - tau)));
    lines_[e] = cFilterLine();
    lines_[e].setCoefficients(ear.filter, ear.delay);
  }
}

void cPan3D::process(const float* src, float* left, float* right, int n, bool add) {
  cFilterLine::processPair({&lines_[0], src, left, ears_[0].delay, ears_[0].gain, add},
                           {&lines_[1], src, right, ears_[1].delay, ears_[1].gain, add}, n);
}

void cPan3D::processBoth(cPan3D& a, const float* leftIn, cPan3D& b, const float* rightIn, float* left,
                         float* right, int n) {
  using Job = cFilterLine::Job;
  if (cFilterLine::processFour(Job{&a.lines_[0], leftIn, left, a.ears_[0].delay, a.ears_[0].gain, false},
                               Job{&a.lines_[1], leftIn, right, a.ears_[1].delay, a.ears_[1].gain, false},
                               Job{&b.lines_[0], rightIn, left, b.ears_[0].delay, b.ears_[0].gain, true},
                               Job{&b.lines_[1], rightIn, right, b.ears_[1].delay, b.ears_[1].gain, true}, n))
    return;
  a.process(leftIn, left, right, n, false);
  b.process(rightIn, left, right, n, true);
}

}  // namespace fx
