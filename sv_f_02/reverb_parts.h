#pragma once
// The early reflections (one image source per wall and speaker) and the direct path of one speaker.

#include <array>
#include <string>
#include <vector>

#include "filter_line.h"
#include "processor.h"

namespace fx {

class cEarlyReflections : public cProcessor {
 public:
  // The four routes of a wall: left speaker to left ear, left to right ear, right to left, right to right.
  struct Tap {
    std::array<int, 4> delay{};
    std::array<float, 4> gain{};
  };

  explicit cEarlyReflections(std::vector<Tap> taps = {});
  std::string name() const override { return "cEarlyReflections<float>"; }
  void reset() override;
  const std::vector<Tap>& taps() const { return taps_; }
  // The length the reflections are defined with: the power of two not below the longest delay.
  int historyLength() const { return length_; }

  void process(const float* inLeft, const float* inRight, float* outLeft, float* outRight, int n);

 private:
  // Inputs are written a stretch at a time, so the stored history is longer than historyLength() by a
  // stretch; delays are taken modulo historyLength(), as a history of exactly that length reads them.
  static constexpr int kStretch = 1024;
  std::vector<Tap> taps_;
  int length_ = 1;
  std::vector<float> left_;
  std::vector<float> right_;
  int mask_ = 0;
  int write_ = 0;
};

class cPan3D : public cProcessor {
 public:
  struct Ear {
    FilterCoefficients filter;
    int delay = 0;
    double gain = 1.0;
  };

  cPan3D();
  std::string name() const override { return "cPan3D<float>"; }
  void reset() override;

  // Paths, head-shadow filters, delays and gains for a source at this azimuth and distance.
  void configure(double azimuth, double distance);
  const Ear& ear(int which) const { return ears_[which]; }

  // The left-ear path into `left`, the right-ear path into `right`, added or replacing.
  void process(const float* src, float* left, float* right, int n, bool add);
  // Both speakers into the two ears' outputs (replacing them) in one loop.
  static void processBoth(cPan3D& leftSpeaker, const float* leftIn, cPan3D& rightSpeaker, const float* rightIn,
                          float* left, float* right, int n);

 private:
  double headRadius_ = 0.085;
  double speedOfSound_ = 340.0;
  double azimuth_ = 0.0;
  double distance_ = 0.0;
  std::array<Ear, 2> ears_;
  std::array<cFilterLine, 2> lines_;
};

// The head-shadow coefficient of a shadowed ear whose straight line to the source has this direction.
double headShadowPole(double direction);
// Double pole at z = s with unit gain at DC, and its phase delay at 0.01 rad per sample.
FilterCoefficients headShadowFilter(double s);
double headShadowPhaseDelay(double s);

}  // namespace fx
