#include "delays.h"

#include <algorithm>
#include <cmath>

namespace fx {

void cFeedbackDelay::setUp(int length) {
  int size = 2 << static_cast<int>(std::floor(std::log2(static_cast<double>(length))));
  buffer_.assign(size, 0.0f);
  write_ = 0;
  mask_ = size - 1;
  delayTarget_ = delay_ = static_cast<float>(size - 1);
}

void cFeedbackDelay::clear() {
  std::fill(buffer_.begin(), buffer_.end(), 0.0f);
}

// One delay's state held in registers across a loop.
struct cFeedbackDelay::Runner {
  explicit Runner(cFeedbackDelay& owner)
      : self(owner), buffer(owner.buffer_.data()), mask(owner.mask_), write(owner.write_),
        feedback(owner.feedback_), delayTarget(owner.delayTarget_), wetTarget(owner.wetTarget_),
        delay(owner.delay_), wet(owner.wet_), delayed(owner.lastDelayed_) {}
  ~Runner() {
    self.write_ = write;
    self.delay_ = delay;
    self.wet_ = wet;
    self.lastDelayed_ = delayed;
  }

  float step(float in) {
    // The tiny offset keeps the feedback tail out of denormal numbers.
    const float x = static_cast<float>(in + 1e-14);
    if (feedback != 0.0f) {
      // Short delays get less feedback so that they cannot ring up. The factor changes only while the
      // delay glides, so it is worked out again only then.
      if (delay != factorDelay) {
        factorDelay = delay;
        factor = 1.0 - 1.0 / (delay * 0.125 + 1.0);
      }
      buffer[write] = static_cast<float>(x + factor * feedback * delayed);
    } else
      buffer[write] = x;
    const int whole = static_cast<int>(delay);
    const float frac = delay - static_cast<float>(whole);
    delayed = (1.0f - frac) * buffer[(write - whole) & mask] + frac * buffer[(write - whole - 1) & mask];
    const float out = x + wet * delayed;
    write = (write + 1) & mask;
    if (std::fabs(delay - delayTarget) < 500.0f)
      delay = static_cast<float>(0.9998 * delay + 0.0002 * delayTarget);
    else
      delay = delayTarget;
    wet = static_cast<float>(0.9998 * wet + 0.0002 * wetTarget);
    return out;
  }

  cFeedbackDelay& self;
  float* buffer;
  const int mask;
  int write;
  const float feedback, delayTarget, wetTarget;
  float delay, wet, delayed;
  float factorDelay = -1.0f;
  double factor = 0.0;
};

void cFeedbackDelay::process(float* samples, int n) {
  if (buffer_.empty()) return;
  Runner run(*this);
  for (int i = 0; i < n; ++i) samples[i] = run.step(samples[i]);
}

void cFeedbackDelay::processPair(cFeedbackDelay& left, float* leftSamples, cFeedbackDelay& right,
                                 float* rightSamples, int n) {
  if (left.buffer_.empty() || right.buffer_.empty() || left.buffer_.data() == right.buffer_.data()) {
    left.process(leftSamples, n);
    right.process(rightSamples, n);
    return;
  }
  // Two independent recursions in one loop keep the pipeline busy.
  Runner l(left), r(right);
  for (int i = 0; i < n; ++i) {
    leftSamples[i] = l.step(leftSamples[i]);
    rightSamples[i] = r.step(rightSamples[i]);
  }
}

void cStereowide::reset() {
  std::fill(std::begin(pastLeft_), std::end(pastLeft_), 0.0f);
  std::fill(std::begin(pastRight_), std::end(pastRight_), 0.0f);
  oldest_ = 0;
}

void cStereowide::process(float* left, float* right, int n, int amount) {
  const float side = static_cast<float>(amount * 0.003 * 0.5);
  const float mid = static_cast<float>((1.0 - amount * 0.0002) * 0.5);
  const float gain = gain_;
  int oldest = oldest_;
  for (int i = 0; i < n; ++i) {
    const float l = left[i];
    const float r = right[i];
    const float a = pastLeft_[oldest];
    const float b = pastRight_[oldest];
    pastLeft_[oldest] = l;
    pastRight_[oldest] = r;
    oldest = oldest + 1 == kFrames ? 0 : oldest + 1;
    const float m = (l + r) * mid;
    left[i] = gain * (m + side * (a - b));
    right[i] = gain * (m + side * (b - a));
  }
  oldest_ = oldest;
}

}  // namespace fx
