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

void cFeedbackDelay::process(float* samples, int n) {
  if (buffer_.empty()) return;
  float* buffer = buffer_.data();
  const int mask = mask_;
  const float feedback = feedback_;
  int write = write_;
  float delay = delay_;
  float wet = wet_;
  float delayed = lastDelayed_;
  for (int i = 0; i < n; ++i) {
    // The tiny offset keeps the feedback tail out of denormal numbers.
    const float x = static_cast<float>(samples[i] + 1e-14);
    if (feedback != 0.0f)
      // Short delays get less feedback so that they cannot ring up.
      buffer[write] = static_cast<float>(x + (1.0 - 1.0 / (delay * 0.125 + 1.0)) * feedback * delayed);
    else
      buffer[write] = x;
    const int whole = static_cast<int>(delay);
    const float frac = delay - static_cast<float>(whole);
    delayed = (1.0f - frac) * buffer[(write - whole) & mask] + frac * buffer[(write - whole - 1) & mask];
    samples[i] = x + wet * delayed;
    write = (write + 1) & mask;
    if (std::fabs(delay - delayTarget_) < 500.0f)
      delay = static_cast<float>(0.9998 * delay + 0.0002 * delayTarget_);
    else
      delay = delayTarget_;
    wet = static_cast<float>(0.9998 * wet + 0.0002 * wetTarget_);
  }
  write_ = write;
  delay_ = delay;
  wet_ = wet;
  lastDelayed_ = delayed;
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
