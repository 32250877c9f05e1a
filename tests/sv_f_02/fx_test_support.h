#pragma once
// Helpers of the effect chain tests: responses measured from signals, and a chain in a folder of its own
// with the shipped reverb tables.

#include <unistd.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "sv_f_02/chain.h"

namespace fxtest {

inline std::vector<float> impulse(int n, float height = 1.0f) {
  std::vector<float> v(n, 0.0f);
  if (n > 0) v[0] = height;
  return v;
}

// |sum x[n] e^{-j w n}| at a frequency in Hz.
inline double magnitudeAt(const std::vector<float>& x, double hz) {
  const double w = 2 * std::numbers::pi * hz / 44100.0;
  std::complex<double> sum = 0;
  for (size_t n = 0; n < x.size(); ++n) sum += static_cast<double>(x[n]) * std::polar(1.0, -w * n);
  return std::abs(sum);
}

// |B(e^jw) / A(e^jw)| for coefficients in powers of z^-1.
template <typename B, typename A>
double responseAt(const B& b, const A& a, double hz) {
  const double w = 2 * std::numbers::pi * hz / 44100.0;
  std::complex<double> num = 0, den = 0;
  for (size_t k = 0; k < std::size(b); ++k) num += static_cast<double>(b[k]) * std::polar(1.0, -w * k);
  for (size_t k = 0; k < std::size(a); ++k) den += static_cast<double>(a[k]) * std::polar(1.0, -w * k);
  return std::abs(num / den);
}

inline double dB(double ratio) { return 20.0 * std::log10(ratio); }

// A folder of the test's own, current while it lives, holding "constants.dat" with the given text or,
// by default, the shipped tables.
class ConstantsFolder {
 public:
  explicit ConstantsFolder(const std::string* text = nullptr) {
    std::string pattern = (std::filesystem::temp_directory_path() / "fx-test-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_);
    if (text != nullptr) {
      write(*text);
    } else {
      std::filesystem::copy_file(FX_CONSTANTS_FILE, folder_ / "constants.dat");
      fx::openConstantsFile();
    }
  }
  ~ConstantsFolder() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(folder_, ec);
  }
  void write(const std::string& text) {
    FILE* f = std::fopen((folder_ / "constants.dat").c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    fx::openConstantsFile();
  }
  void remove() {
    std::filesystem::remove(folder_ / "constants.dat");
    fx::openConstantsFile();
  }
  const std::filesystem::path& path() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::filesystem::path previous_;
};

inline int set(int id, double value) { return fx::setParameter(id, value); }

// Runs a block through the chain; both channels get their own copy of the input.
inline void run(std::vector<float>& left, std::vector<float>& right) {
  fx::convert(left.data(), right.data(), static_cast<int>(left.size() * 4));
}

}  // namespace fxtest
