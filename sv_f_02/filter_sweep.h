#pragma once
// The filter sweep: a resonant four-pole low-pass per channel whose cutoff follows a slow cosine between
// two frequencies, redesigned once per 1000 samples, or stands still at the last cutoff reached.

#include <cstdint>
#include <memory>

#include "drive_stages.h"

namespace fx {

struct SweepSettings {
  float moving = 1.0f;     // 1 moving, 0 frozen
  float lowest = 2500.0f;  // Hz
  float highest = 10000.0f;
  float period = 10.0f;    // seconds
  float unused = 2500.0f;  // kept for the host; nothing reads it
};

class FilterSweep {
 public:
  // New filters at the frozen cutoff; the phase goes on from where the last block ended.
  void build();
  void free();
  void reset();
  bool built() const { return left_ != nullptr; }
  // In place through the scratch arrays, which hold at least n samples.
  void process(const SweepSettings& settings, float* left, float* right, float* scratchLeft,
               float* scratchRight, int n);

  int frozenCutoff() const { return frozenCutoff_; }
  double cutoff() const { return left_ ? left_->cutoff() : 0.0; }

 private:
  double phaseAt(const SweepSettings& settings, int64_t samples) const;

  std::unique_ptr<cReso4PoleLP> left_;
  std::unique_ptr<cReso4PoleLP> right_;
  int frozenCutoff_ = 0;
  float startPhase_ = 0.0f;
  float endPhase_ = 0.0f;
  int64_t samples_ = 0;
};

}  // namespace fx
