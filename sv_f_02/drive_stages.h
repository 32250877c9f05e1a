#pragma once
// Tone shaper, resonant filter bank, the sweep's four-pole filter and the soft clipper.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter_line.h"
#include "four_pole.h"
#include "processor.h"

namespace fx {

// One-pole smoother followed by a sine saturation.
class cToneShaper {
 public:
  void setSmoothing(float c) { a_ = static_cast<float>(c * c * 0.99 + 0.01); }
  void setDrive(float c) { y_ = static_cast<float>(c * 14.0 + 0.1); }
  void process(float* samples, int n);
  // Both channels in one loop; the same results as two calls.
  static void processPair(cToneShaper& left, float* leftSamples, cToneShaper& right, float* rightSamples, int n);

  float smoothing() const { return a_; }
  float drive() const { return y_; }
  float state() const { return z_; }

 private:
  float a_ = 0.0f;
  float y_ = 1.0f;
  float z_ = 0.0f;
};

// A four-pole low-pass whose cutoff glides per sample through a table of precomputed designs, with
// resonance feedback, drive and a wet share.
class cResoFilterBank {
 public:
  static constexpr int kRows = 16384;
  struct Row {
    float b[5];
    float a[5];
    float inverseA0;
  };
  using Table = std::vector<Row>;

  // The table depends on nothing but the sample rate, so both channels share one.
  static std::shared_ptr<const Table> buildTable();
  void setUp(std::shared_ptr<const Table> table);

  void setCutoff(float c) { targetPosition_ = static_cast<float>(c * 16383.0); }
  void setResonance(float c) { k_ = static_cast<float>(c * 0.7); }
  void setDrive(float c) { targetDrive_ = static_cast<float>(c * 32.0 + 0.2); }
  void setWet(float c) { targetWet_ = c; }
  void process(float* samples, int n);
  // Both channels in one loop; the same results as two calls.
  static void processPair(cResoFilterBank& left, float* leftSamples, cResoFilterBank& right, float* rightSamples,
                          int n);

  float position() const { return position_; }
  float drive() const { return drive_; }
  float wet() const { return wet_; }

 private:
  struct Runner;
  std::shared_ptr<const Table> table_;
  std::array<float, 8> inputHistory_{};
  std::array<float, 8> outputHistory_{};
  uint16_t write_ = 0;
  float lastOutput_ = 0.0f;
  float position_ = 16383.0f;
  float targetPosition_ = 16383.0f;
  float k_ = 0.0f;
  float drive_ = 0.2f;
  float targetDrive_ = 0.2f;
  float wet_ = 0.0f;
  float targetWet_ = 0.0f;
};

// The filter sweep's low-pass for one channel: the four-pole design with resonance, Q always 1.
class cReso4PoleLP : public cProcessor {
 public:
  explicit cReso4PoleLP(double cutoff) { setCutoff(cutoff); }
  std::string name() const override { return "cReso4PoleLP<float>"; }
  void reset() override { line_.reset(); }

  // New coefficients for another cutoff; the history stays.
  void setCutoff(double cutoff);
  double cutoff() const { return cutoff_; }
  void process(const float* src, float* dst, int n) { line_.process(src, dst, n); }
  // Both channels' filters in one loop.
  static void processPair(cReso4PoleLP& left, const float* srcLeft, float* dstLeft, cReso4PoleLP& right,
                          const float* srcRight, float* dstRight, int n) {
    cFilterLine::processPair({&left.line_, srcLeft, dstLeft, 0, 1.0, false},
                             {&right.line_, srcRight, dstRight, 0, 1.0, false}, n);
  }

 private:
  double cutoff_ = 0.0;
  double q_ = 1.0;
  cFilterLine line_;
};

// Exponential soft saturation, linear within +-0.5; the output stays strictly inside (-1, +1).
class cSoftClip : public cProcessor {
 public:
  std::string name() const override { return "cSoftClip<float>"; }
  void reset() override {}
  float clip(float s) const;
  void process(float* samples, int n) const;

 private:
  float gain_ = 1.0f;
};

}  // namespace fx
