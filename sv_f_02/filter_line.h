#pragma once
// Direct-form filters with circular histories, and the small filter designs the room reverb uses.

#include <string>
#include <vector>

#include "processor.h"

namespace fx {

// A circular history of floats whose length is a power of two, so positions wrap with a mask.
class cDelayLine : public cProcessor {
 public:
  explicit cDelayLine(int minimumLength = 2) { resize(minimumLength); }
  std::string name() const override { return "cDelayLine<float>"; }
  void reset() override;

  void resize(int minimumLength);
  int length() const { return static_cast<int>(data_.size()); }
  // The value written `samplesAgo` writes before the next one (1 is the latest).
  float ago(int samplesAgo) const { return data_[(write_ - samplesAgo) & mask_]; }
  void push(float value) {
    data_[write_] = value;
    write_ = (write_ + 1) & mask_;
  }
  // Raw access for loops that keep the position in a register.
  float* data() { return data_.data(); }
  int mask() const { return mask_; }
  int writeIndex() const { return write_; }
  void setWriteIndex(int index) { write_ = index & mask_; }

 private:
  std::vector<float> data_;
  int mask_ = 0;
  int write_ = 0;
};

struct FilterCoefficients {
  std::vector<double> b{1.0};
  std::vector<double> a{1.0};
};

// The reverb's filter types: 1 a one-pole low-pass, 2 a second-order low-pass, anything else a wire.
FilterCoefficients designReverbFilter(int type, double cutoff);

class cFilterLine : public cProcessor {
 public:
  cFilterLine() { setCoefficients(FilterCoefficients{}); }
  std::string name() const override { return "cFilterLine<float>"; }
  void reset() override;

  // New coefficients; the histories keep their contents and grow to hold the filter and `delay` samples.
  void setCoefficients(const FilterCoefficients& coefficients, int delay = 0);
  void setCoefficients(const float* b, const float* a, int count);
  int order() const { return static_cast<int>(b_.size()); }
  int historyLength() const { return input_.length(); }

  // Filters n samples of src into dst (which may be src). With delay > 0 the value passed on is the filter
  // output of `delay` samples before; it is scaled by gain and added to dst or replaces it.
  void process(const float* src, float* dst, int n, int delay = 0, double gain = 1.0, bool add = false);
  float step(float x);

  // Two independent lines in one loop, so their recursions overlap; the same results as two calls.
  struct Job {
    cFilterLine* line;
    const float* src;
    float* dst;
    int delay;
    double gain;
    bool add;
  };
  static void processPair(const Job& first, const Job& second, int n);
  // Four lines of at most three coefficients in one loop: the first two write their dst, the last two add
  // theirs to it (a third job's dst must be the first's, the fourth's the second's).
  static bool processFour(const Job& first, const Job& second, const Job& third, const Job& fourth, int n);

 private:
  float compute(float x) const;
  template <int N>
  void run(const float* src, float* dst, int n, int delay, double gain, bool add);
  template <int N1, int N2>
  static void runPair(const Job& first, const Job& second, int n);
  // Copies a job's line (coefficients, histories, position) into a loop kernel.
  template <typename Kernel>
  static void loadKernel(const Job& job, Kernel& kernel);

  std::vector<float> b_;
  std::vector<float> a_;
  float inverseA0_ = 1.0f;
  cDelayLine input_;
  cDelayLine output_;
};

}  // namespace fx
