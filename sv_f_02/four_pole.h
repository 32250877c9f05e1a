#pragma once
// The four-pole low-pass shared by the filter sweep and the resonant filter: analogue prototype poles
// mapped by impulse invariance (one sample of delay), coefficients computed in double and kept as floats.

#include <array>

namespace fx {

struct FourPoleCoefficients {
  std::array<float, 5> b{};
  std::array<float, 5> a{};
};

// With `resonant`, three of the four poles are pulled toward the imaginary axis by q' = 20 q + 0.1.
FourPoleCoefficients designFourPole(double cutoff, bool resonant = false, double q = 1.0);

}  // namespace fx
