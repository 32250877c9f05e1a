#pragma once
// The interpolated feedback delay of the comb delay and the echo, and the stereo widener.

#include <string>
#include <vector>

#include "processor.h"

namespace fx {

class cFeedbackDelay {
 public:
  // A buffer of the power of two above `length`; the delay starts at its longest.
  void setUp(int length);
  // Zeros the buffer; position, delay, wet share and the last delayed value stay.
  void clear();
  void process(float* samples, int n);
  // Both channels' delays in one loop; the same results as two calls.
  static void processPair(cFeedbackDelay& left, float* leftSamples, cFeedbackDelay& right, float* rightSamples,
                          int n);

  void setDelayTarget(float samples) { delayTarget_ = samples; }
  void setWetTarget(float share) { wetTarget_ = share; }
  void setFeedback(float feedback) { feedback_ = feedback; }
  int mask() const { return mask_; }
  float delay() const { return delay_; }
  float wet() const { return wet_; }

 private:
  struct Runner;
  std::vector<float> buffer_;
  int mask_ = 0;
  int write_ = 0;
  float delayTarget_ = 0.0f;
  float delay_ = 0.0f;
  float wetTarget_ = 0.0f;
  float wet_ = 0.0f;
  float feedback_ = 0.0f;
  float lastDelayed_ = 0.0f;
};

// Mid plus the side signal of 44 frames before, weighted by the widener amount.
class cStereowide : public cProcessor {
 public:
  static constexpr int kFrames = 44;

  cStereowide() { reset(); }
  std::string name() const override { return "cStereowide<float>"; }
  void reset() override;
  void process(float* left, float* right, int n, int amount);

 private:
  float gain_ = 1.0f;
  float pastLeft_[kFrames];
  float pastRight_[kFrames];
  int oldest_ = 0;
};

}  // namespace fx
