#pragma once
// The room reverb: two loudspeakers in a room heard by a listener with a spherical head. Direct paths,
// first-order reflections from every wall and a late network, all fully wet.

#include <array>
#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "diffusion.h"
#include "filter_line.h"
#include "processor.h"
#include "reverb_parts.h"
#include "reverb_tables.h"

namespace fx {

using ReverbPreset = std::array<float, 19>;
inline constexpr int kPresetCount = 5;
const ReverbPreset& reverbPreset(int number);

class cReverb : public cProcessor {
 public:
  explicit cReverb(ReverbTables tables);
  std::string name() const override { return "cReverb<float>"; }
  void reset() override;

  // Placement, taps, network and filters of a preset; the tables stay.
  void applyPreset(int number);
  // Work arrays for blocks of up to this many samples, so processing never allocates.
  void reserve(int samples);
  // In place; scratchLeft and scratchRight hold at least n samples.
  void process(float* left, float* right, float* scratchLeft, float* scratchRight, int n);

  const ReverbTables& tables() const { return tables_; }
  const cEarlyReflections& early() const { return *early_; }
  const cDiffusion& late() const { return *late_; }
  const cPan3D& direct(int speaker) const { return direct_[speaker]; }

 private:
  ReverbTables tables_;
  std::unique_ptr<cEarlyReflections> early_;
  std::unique_ptr<cDiffusion> late_;
  std::array<cFilterLine, 2> earlyFilter_;
  std::array<cFilterLine, 2> lateFilter_;
  std::array<cPan3D, 2> direct_;
  std::vector<float> workLeft_;
  std::vector<float> workRight_;
  float outputGain_ = 1.0f;
};

}  // namespace fx
