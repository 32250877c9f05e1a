#include "chain.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "delays.h"
#include "drive_stages.h"
#include "equaliser.h"
#include "filter_sweep.h"
#include "random_source.h"
#include "reverb.h"
#include "reverb_tables.h"

namespace fx {

RandomSource& libraryRandom() {
  static RandomSource source;
  return source;
}

Chain& chain() {
  static Chain instance;
  return instance;
}

namespace {

// The reverb tables are read from "constants.dat" in the folder that is current when the library is loaded;
// a file that was missing then is looked for again in the current folder when the reverb is built.
std::ifstream& constantsFile() {
  static std::ifstream file("constants.dat");
  return file;
}
[[maybe_unused]] const bool kOpenedAtLoad = constantsFile().is_open();

std::optional<ReverbTables> readConstants() {
  std::ifstream& file = constantsFile();
  if (!file.is_open()) openConstantsFile();
  if (!file.is_open()) return std::nullopt;
  file.clear();
  file.seekg(0);
  return readReverbTables(file);
}

// A control value: any number, scaled to 0 ... 1; NaN counts as 0.
float control(double value) {
  float c = static_cast<float>(value * 0.001);
  if (!(c > 0.0f)) return 0.0f;
  return c > 1.0f ? 1.0f : c;
}

bool isSwitch(double value) { return value == 0.0 || value == 1.0; }

// Keeps a positive setting a finite, normal, positive float, so no later logarithm or division meets 0 or
// inf (a denormal would count as 0 while Konvert flushes them).
float positiveFloat(double value) {
  return static_cast<float>(std::clamp(value, static_cast<double>(FLT_MIN), static_cast<double>(FLT_MAX)));
}

void stageSwitchedOff(Chain& c, Stage stage) {
  switch (stage) {
    case kEqualiser: c.equaliser.clearHistories(); break;
    case kReverb: if (c.reverb) c.reverb->reset(); break;
    case kWidener: if (c.widener) c.widener->reset(); break;
    case kSweep: c.sweep.reset(); break;
    case kEcho: for (cFeedbackDelay& e : c.echo) e.clear(); break;
    default: break;
  }
}

int setSwitch(Chain& c, Stage stage, double value) {
  if (!isSwitch(value)) return -1;
  c.stageSwitch[stage] = value == 1.0 ? 1 : 0;
  if (c.stageSwitch[stage] == 0) stageSwitchedOff(c, stage);
  return 0;
}

int setBand(Chain& c, int id, double value) {
  const int band = id % 100;
  const int kind = id / 100;  // 11 frequency, 12 width, 13 gain
  Equaliser& eq = c.equaliser;
  if (kind == 11) {
    if (!(value > 0.0)) return -1;
    if (static_cast<double>(eq.frequency(band)) == value) return 0;
    eq.setFrequency(band, static_cast<float>(std::min(value, static_cast<double>(FLT_MAX))));
  } else if (kind == 12) {
    if (!(value > 0.0 && value <= 1.0)) return -1;
    if (static_cast<double>(eq.width(band)) == value) return 0;
    eq.setWidth(band, static_cast<float>(value));
  } else {
    if (!(value >= 0.0 && value <= 1.0)) return -1;
    if (static_cast<double>(eq.gain(band)) == value) return 0;
    eq.setGain(band, static_cast<float>(value));
  }
  return 0;
}

int setSweep(Chain& c, int id, double value) {
  SweepSettings& s = c.sweepSettings;
  if (id == 1400) {
    if (!isSwitch(value)) return -1;
    s.moving = static_cast<float>(value);
  } else {
    if (!(value > 0.0)) return -1;
    float stored = positiveFloat(value);
    if (id == 1401) s.lowest = stored;
    if (id == 1402) s.highest = stored;
    if (id == 1403) s.period = stored;
    if (id == 1404) s.unused = stored;
  }
  // Outside Init ... Close there are no filters to rebuild; Init builds them from the stored settings.
  if (c.sweep.built()) c.sweep.build();
  return 0;
}

int setControl(Chain& c, int id, double value) {
  const float v = control(value);
  for (int ch = 0; ch < 2; ++ch) {
    switch (id) {
      case 1700: c.resonant[ch].setCutoff(v); break;
      case 1701: c.resonant[ch].setResonance(v); break;
      case 1702: c.resonant[ch].setDrive(v); break;
      case 1703: c.resonant[ch].setWet(v); break;
      case 1800: c.comb[ch].setWetTarget(static_cast<float>(v * 0.7)); break;
      case 1801: c.comb[ch].setDelayTarget(v * static_cast<float>(c.comb[ch].mask() - 1)); break;
      case 1900: c.echo[ch].setWetTarget(static_cast<float>(v * 0.7)); break;
      case 1901: c.echo[ch].setDelayTarget(v * static_cast<float>(c.echo[ch].mask() - 1)); break;
      case 1902: c.echo[ch].setFeedback(static_cast<float>(v * 0.8)); break;
      case 2000: c.tone[ch].setSmoothing(v); break;
      case 2001: c.tone[ch].setDrive(v); break;
      default: return -1;
    }
  }
  return 0;
}

// Decaying tails would otherwise pass through denormal numbers, which cost many times the work of normal
// ones and are far below anything audible: during a block they count as zero. The caller's floating-point
// mode is restored afterwards.
class FlushDenormals {
 public:
#if defined(__SSE__)
  FlushDenormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }  // flush-to-zero, denormals-are-zero
  ~FlushDenormals() { _mm_setcsr(saved_); }

 private:
  unsigned saved_;
#endif
};

void runStages(Chain& c, float* left, float* right, int n) {
  float* sl = c.scratchLeft.data();
  float* sr = c.scratchRight.data();
  const int* on = c.stageSwitch;
  if (on[kComb]) cFeedbackDelay::processPair(c.comb[0], left, c.comb[1], right, n);
  if (on[kToneShaper]) cToneShaper::processPair(c.tone[0], left, c.tone[1], right, n);
  if (on[kSweep]) c.sweep.process(c.sweepSettings, left, right, sl, sr, n);
  if (on[kEcho]) cFeedbackDelay::processPair(c.echo[0], left, c.echo[1], right, n);
  if (on[kResonant]) cResoFilterBank::processPair(c.resonant[0], left, c.resonant[1], right, n);
  if (on[kReverb] && c.reverb) c.reverb->process(left, right, sl, sr, n);
  if (on[kEqualiser]) c.equaliser.process(left, right, n);
  if (on[kWidener] && c.widener) c.widener->process(left, right, n, c.widenerAmount);
  c.clipper.process(left, n);
  c.clipper.process(right, n);
}

}  // namespace

void openConstantsFile() {
  std::ifstream& file = constantsFile();
  file.close();
  file.clear();
  file.open("constants.dat");
}

int setParameter(int id, double value) {
  Chain& c = chain();
  switch (id) {
    case 10: return setSwitch(c, kEqualiser, value);
    case 20: return setSwitch(c, kReverb, value);
    case 30: return setSwitch(c, kWidener, value);
    case 40: return setSwitch(c, kSweep, value);
    case 50: return setSwitch(c, kComb, value);
    case 60: return setSwitch(c, kEcho, value);
    case 70: return setSwitch(c, kToneShaper, value);
    case 80: return setSwitch(c, kResonant, value);
    case 1000:
      if (!(value > 0.0 && value <= 30.0)) return -1;
      c.equaliser.setBandCount(static_cast<int>(value));
      return 0;
    case 1500:
      if (!(value >= 0.0 && value <= 1000.0)) return -1;
      c.widenerAmount = static_cast<int>(value);
      return 0;
    case 1600:
      if (!(value >= 0.0 && value <= 4.0)) return -1;
      if (c.reverb) c.reverb->applyPreset(static_cast<int>(value));
      return 0;
    default: break;
  }
  if (id >= 1100 && id < 1400 && id % 100 < Equaliser::kMaxBands) return setBand(c, id, value);
  if (id >= 1400 && id <= 1404) return setSweep(c, id, value);
  if ((id >= 1700 && id <= 1703) || id == 1800 || id == 1801 || (id >= 1900 && id <= 1902) || id == 2000 ||
      id == 2001)
    return setControl(c, id, value);
  return -1;
}

int initChain(int samplesPerChannel) {
  if (samplesPerChannel <= 0) return -1;
  Chain& c = chain();
  try {
    c.scratchLeft.assign(samplesPerChannel, 0.0f);
    c.scratchRight.assign(samplesPerChannel, 0.0f);
    c.blockSize = samplesPerChannel;

    c.equaliser.computeAll();

    if (!c.reverb) {
      std::optional<ReverbTables> tables = readConstants();
      if (!tables) {
        closeChain();
        return -1;
      }
      c.reverb = std::make_unique<cReverb>(std::move(*tables));
    }
    c.reverb->applyPreset(0);
    c.reverb->reserve(samplesPerChannel);

    c.widener = std::make_unique<cStereowide>();
    c.sweep.build();

    std::shared_ptr<const cResoFilterBank::Table> table = cResoFilterBank::buildTable();
    for (int ch = 0; ch < 2; ++ch) {
      c.comb[ch].setUp(555);
      c.comb[ch].setFeedback(0.8f);
      c.echo[ch].setUp(22050);
      c.resonant[ch].setUp(table);
    }
  } catch (const std::bad_alloc&) {
    closeChain();
    return -1;
  }
  for (int id : {1800, 1801, 1700, 1701, 1702, 1703, 2000, 2001, 1900, 1901, 1902}) setParameter(id, 0.0);
  for (int id : {10, 20, 40, 30, 80, 50, 60, 70}) setParameter(id, 0.0);
  return 0;
}

int convert(float* left, float* right, int byteCount) {
  Chain& c = chain();
  int samples = byteCount >> 2;
  if (samples <= 0 || left == nullptr || right == nullptr || c.blockSize <= 0) return byteCount;
  FlushDenormals flush;
  // A block longer than Init was told is run as consecutive blocks of that size, so the scratch arrays
  // are never overrun.
  for (int start = 0; start < samples; start += c.blockSize) {
    const int n = std::min(c.blockSize, samples - start);
    runStages(c, left + start, right + start, n);
  }
  return byteCount;
}

int resetChain() {
  Chain& c = chain();
  c.equaliser.clearHistories();
  c.sweep.reset();
  if (c.reverb) c.reverb->reset();
  if (c.widener) c.widener->reset();
  for (cFeedbackDelay& e : c.echo) e.clear();
  for (cFeedbackDelay& d : c.comb) d.clear();
  return 0;
}

int closeChain() {
  Chain& c = chain();
  std::vector<float>().swap(c.scratchLeft);
  std::vector<float>().swap(c.scratchRight);
  c.blockSize = 0;
  c.reverb.reset();
  c.widener.reset();
  c.sweep.free();
  return 0;
}

}  // namespace fx
