#pragma once
// Base of the effect classes that carry state of their own: a name for diagnostics and a way to clear
// every history without touching settings.

#include <string>

namespace fx {

inline constexpr double kSampleRate = 44100.0;

class cProcessor {
 public:
  virtual ~cProcessor() = default;
  virtual std::string name() const = 0;
  virtual void reset() = 0;

 protected:
  double sampleRate_ = kSampleRate;
};

// Smallest power of two, at least `floor`, that is not below `length`.
inline int powerOfTwoAtLeast(long long length, int floor = 1) {
  long long size = floor;
  while (size < length) size <<= 1;
  return static_cast<int>(size);
}

// Rounds to the nearest integer, halves away from zero.
inline long long roundHalfAway(double value) {
  return static_cast<long long>(value < 0 ? value - 0.5 : value + 0.5);
}

}  // namespace fx
