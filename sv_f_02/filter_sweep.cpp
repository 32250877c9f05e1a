#include "filter_sweep.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace fx {

void FilterSweep::build() {
  startPhase_ = endPhase_;
  samples_ = 0;
  const double cutoff = std::min<double>(frozenCutoff_, kSampleRate / 2.0);
  left_ = std::make_unique<cReso4PoleLP>(cutoff);
  right_ = std::make_unique<cReso4PoleLP>(cutoff);
}

void FilterSweep::free() {
  left_.reset();
  right_.reset();
}

void FilterSweep::reset() {
  if (left_) left_->reset();
  if (right_) right_->reset();
  samples_ = 0;
}

double FilterSweep::phaseAt(const SweepSettings& settings, int64_t samples) const {
  return static_cast<double>(samples) * std::numbers::pi / (22050.0 * settings.period) + startPhase_;
}

void FilterSweep::process(const SweepSettings& settings, float* left, float* right, float* scratchLeft,
                          float* scratchRight, int n) {
  if (!left_ || !right_) return;
  if (settings.moving == 0.0f) {
    cReso4PoleLP::processPair(*left_, left, scratchLeft, *right_, right, scratchRight, n);
  } else {
    const double lo = settings.lowest;
    const double half = 0.5 * std::log(static_cast<double>(settings.highest) / lo);
    double cutoff = -1.0;
    for (int start = 0; start < n; start += 1000) {
      const int length = std::min(1000, n - start);
      cutoff = lo * std::exp((std::cos(phaseAt(settings, samples_)) + 1.0) * half);
      const double used = std::min(cutoff, kSampleRate / 2.0);
      left_->setCutoff(used);
      right_->setCutoff(used);
      cReso4PoleLP::processPair(*left_, left + start, scratchLeft + start, *right_, right + start,
                                scratchRight + start, length);
      samples_ += length;
    }
    if (cutoff >= 0.0) frozenCutoff_ = static_cast<int>(std::min(cutoff, static_cast<double>(INT_MAX)));
    double phase = phaseAt(settings, samples_);
    // A float phase beyond about 1e7 radians has lost its fraction; wrapping keeps it meaningful.
    if (!(std::fabs(phase) < 1e7)) phase = std::isfinite(phase) ? std::fmod(phase, 2 * std::numbers::pi) : 0.0;
    endPhase_ = static_cast<float>(phase);
  }
  for (int i = 0; i < n; ++i) {
    left[i] = static_cast<float>(0.8 * scratchLeft[i]);
    right[i] = static_cast<float>(0.8 * scratchRight[i]);
  }
}

}  // namespace fx
