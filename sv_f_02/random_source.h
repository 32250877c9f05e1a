#pragma once
// The one pseudo-random source of the library: uniform integers 0 ... 32767 from a 32-bit linear
// congruential generator with a fixed seed, so every run of the same input gives the same samples.

#include <cstdint>

namespace fx {

class RandomSource {
 public:
  static constexpr int kMax = 32767;

  int next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7fffu);
  }
  void reseed(uint32_t seed = 1) { state_ = seed; }

 private:
  uint32_t state_ = 1;
};

RandomSource& libraryRandom();

}  // namespace fx
