#pragma once
// The late reverb: a feedback delay network whose lines follow the distances between the walls of the
// room, damped per line and mixed through a slowly turning orthogonal matrix.

#include <string>
#include <vector>

#include "filter_line.h"
#include "processor.h"
#include "reverb_tables.h"

namespace fx {

// Preset values the network reads.
struct DiffusionSettings {
  double absorption = 1.0;  // per metre of path
  int lineSelector = 0;     // 2 * value + 2 lines, matrix number value
  double scale = 1.0;       // metres per room unit
  double reflectionGain = 1.0;
  int dampingType = 0;
  double dampingCutoff = 0.0;
};

struct PairEntry {
  double distance;
  double gain;
};

// Distances between the walls taken two at a time, merged or doubled to exactly `lines` entries.
std::vector<PairEntry> lineDistances(const std::vector<WallRecord>& walls, int lines);

// For each delay in order, the closest candidate not yet taken (0 when none is left).
std::vector<int> snapToCandidates(const std::vector<int>& delays, const std::set<int>& candidates);

class cDiffusion : public cProcessor {
 public:
  cDiffusion(const RoomTable& room, const DiffusionSettings& settings, const ReverbTables& tables);
  std::string name() const override { return "cDiffusion<float>"; }
  void reset() override;

  int lineCount() const { return lines_; }
  int delay(int line) const { return delay_[line]; }
  float decayGain(int line) const { return decay_[line]; }
  float leftWeight(int line) const { return leftWeight_[line]; }
  float rightWeight(int line) const { return rightWeight_[line]; }
  const std::vector<float>& matrix() const { return base_; }
  const std::vector<float>& dampingB() const { return dampB_; }
  const std::vector<float>& dampingA() const { return dampA_; }
  float rotationCos(int pair) const { return cosine_[pair]; }
  float rotationSin(int pair) const { return sine_[pair]; }
  int pause() const { return pause_; }

  // Mono in (inOut), left out into inOut, right out into right.
  void process(float* inOut, float* right, int n);

  static constexpr int kMaxChunk = 256;

 private:
  void turnMatrixStep();
  // Samples from now until the matrix step that swaps in the next matrices (that sample included).
  long long samplesToSwap() const;
  // m samples during which no line reads what another sample of the same stretch writes and the
  // working matrix stays as it is: line outputs, then line inputs, then the two outputs.
  void processStretch(float* inOut, float* right, int m);
  template <int Taps>
  void lineOutputs(int m);

  int lines_ = 0;
  std::vector<int> delay_;
  std::vector<float> decay_;
  std::vector<float> inputGain_;
  std::vector<float> leftWeight_;
  std::vector<float> rightWeight_;
  std::vector<float> output_;  // latest output of each line
  std::vector<std::vector<float>> buffers_;
  std::vector<int> bufferMask_;
  std::vector<int> bufferWrite_;
  // Damping filter (same design on every line) and each line's output history.
  std::vector<float> dampB_;
  std::vector<float> dampA_;
  std::vector<std::vector<float>> history_;
  int historyMask_ = 0;
  std::vector<int> historyWrite_;

  std::vector<float> base_, working_, nextBase_, nextWorking_;
  std::vector<float> cosine_, sine_;  // rotation of each line pair
  int cursorRow_ = 0;
  int cursorColumn_ = 0;
  int pause_ = 0;

  // The shortest distance, over all lines and filter taps, between a read and a write of the same
  // line; a stretch may be that long.
  int longestStretch_ = 1;
  std::vector<float> lineOut_;  // kMaxChunk outputs per line
  std::vector<float> mixed_;    // kMaxChunk
};

}  // namespace fx
