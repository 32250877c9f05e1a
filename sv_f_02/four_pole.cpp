#include "four_pole.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "processor.h"

namespace fx {

using Complex = std::complex<double>;

namespace {

// Coefficients of prod (1 - roots[j] z^-1) over the roots in `use` (bit j set), lowest power first.
std::array<Complex, 5> expandRoots(const std::array<Complex, 4>& roots, unsigned use) {
  std::array<Complex, 5> poly{};
  poly[0] = 1.0;
  int degree = 0;
  for (int j = 0; j < 4; ++j) {
    if ((use & (1u << j)) == 0) continue;
    for (int k = degree + 1; k >= 1; --k) poly[k] -= roots[j] * poly[k - 1];
    ++degree;
  }
  return poly;
}

}  // namespace

FourPoleCoefficients designFourPole(double cutoff, bool resonant, double q) {
  const double omega = 2.0 * std::numbers::pi * cutoff / kSampleRate;
  std::array<Complex, 4> poles;
  for (int k = 0; k < 4; ++k) poles[k] = std::polar(1.0, (2 * k + 5) * std::numbers::pi / 8.0) * omega;
  double gain = 1.0;
  for (const Complex& p : poles) gain *= std::abs(p);
  if (resonant) {
    const double stretched = 20.0 * q + 0.1;
    for (int k = 0; k < 3; ++k) {
      double angle = std::atan2(poles[k].imag(), poles[k].real() / stretched);
      poles[k] = std::polar(1.0, angle) * omega;
    }
  }
  std::array<Complex, 4> zeros;  // the digital poles
  for (int k = 0; k < 4; ++k) zeros[k] = std::exp(poles[k]);

  FourPoleCoefficients out;
  std::array<Complex, 5> denominator = expandRoots(zeros, 0xf);
  for (int k = 0; k < 5; ++k) out.a[k] = static_cast<float>(denominator[k].real());

  // A cutoff of 0 Hz has no gain at all; the residues would divide by zero.
  if (gain == 0.0) return out;
  std::array<Complex, 4> numerator{};
  for (int k = 0; k < 4; ++k) {
    Complex residue = 1.0;
    for (int j = 0; j < 4; ++j)
      if (j != k) residue *= poles[k] - poles[j];
    residue = 1.0 / residue;
    std::array<Complex, 5> others = expandRoots(zeros, 0xfu & ~(1u << k));
    for (int i = 0; i < 4; ++i) numerator[i] += residue * others[i];
  }
  // One sample of delay: the sum of residues lands on z^-1 (it is zero), the rest on z^-2 ... z^-4.
  out.b[0] = 0.0f;
  for (int i = 0; i < 4; ++i) out.b[i + 1] = static_cast<float>((gain * numerator[i]).real());
  return out;
}

}  // namespace fx
