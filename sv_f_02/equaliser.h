#pragma once
// A cascade of up to 30 second-order bands on both channels: a low shelf, peaks, a high shelf.

#include <array>

namespace fx {

struct BiquadCoefficients {
  float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a0 = 1.0f, a1 = 0.0f, a2 = 0.0f;
};

enum class BandRole { LowShelf, Peak, HighShelf };

// Coefficients for a band of frequency f (Hz), width w and gain g (0.5 = 0 dB), computed in double.
// A frequency outside (0, 22050) Hz has no usable design; such a band passes the signal unchanged.
BiquadCoefficients designBand(BandRole role, float frequency, float width, float gain);

class Equaliser {
 public:
  static constexpr int kMaxBands = 30;

  Equaliser();

  int bandCount() const { return bandCount_; }
  void setBandCount(int count) { bandCount_ = count; }
  float frequency(int band) const { return frequency_[band]; }
  float width(int band) const { return width_[band]; }
  float gain(int band) const { return gain_[band]; }
  void setFrequency(int band, float value);
  void setWidth(int band, float value);
  void setGain(int band, float value);
  const BiquadCoefficients& coefficients(int band) const { return coefficients_[band]; }

  // Every band below the band count, as the count gives their roles.
  void computeAll();
  // One band; its role follows from the band count now, and bands beyond the count are left alone.
  void computeBand(int band);
  void clearHistories();
  void process(float* left, float* right, int n);
  // The same without vector instructions, for processors that lack them (and to check the vector path):
  // the given bands, in order, over both channels.
  void processScalar(const int* active, int count, float* left, float* right, int n);

 private:
  struct State {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  };

  int bandCount_ = 10;
  std::array<float, kMaxBands> frequency_{};
  std::array<float, kMaxBands> width_{};
  std::array<float, kMaxBands> gain_{};
  std::array<BiquadCoefficients, kMaxBands> coefficients_{};
  std::array<State, 2 * kMaxBands> states_{};
};

}  // namespace fx
