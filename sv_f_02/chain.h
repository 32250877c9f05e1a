#pragma once
// The effect chain behind the exported functions: one process-wide chain of eight switchable stages and
// the soft clipper, its parameter table and its life cycle.

#include <cstdint>
#include <memory>
#include <vector>

#include "delays.h"
#include "drive_stages.h"
#include "equaliser.h"
#include "filter_sweep.h"
#include "reverb.h"

namespace fx {

enum Stage { kEqualiser, kReverb, kWidener, kSweep, kComb, kEcho, kToneShaper, kResonant, kStageCount };

struct Chain {
  // Settings that keep their values across Close and a later Init.
  Equaliser equaliser;
  SweepSettings sweepSettings;
  int widenerAmount = 0;

  int blockSize = 0;
  std::vector<float> scratchLeft;
  std::vector<float> scratchRight;
  int stageSwitch[kStageCount] = {};

  std::unique_ptr<cReverb> reverb;
  std::unique_ptr<cStereowide> widener;
  FilterSweep sweep;

  // Per-channel objects that live as long as the library.
  cFeedbackDelay comb[2];
  cFeedbackDelay echo[2];
  cToneShaper tone[2];
  cResoFilterBank resonant[2];
  cSoftClip clipper;
};

// The one chain of the process.
Chain& chain();

int initChain(int samplesPerChannel);
int setParameter(int id, double value);
int convert(float* left, float* right, int byteCount);
int resetChain();
int closeChain();

// Opens "constants.dat" in the current folder anew. The library opens it once when it is loaded; building
// the reverb calls this only when that found no file.
void openConstantsFile();

}  // namespace fx
