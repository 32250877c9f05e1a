// "constants.dat": the reverb tables of the effect chain. Whatever reads as tables must also build every
// reverb preset and run a block through it.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "sv_f_02/reverb.h"
#include "sv_f_02/reverb_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::optional<fx::ReverbTables> tables = fx::readReverbTables(in);
  if (!tables) return 0;
  fx::cReverb reverb(std::move(*tables));
  std::vector<float> left(256, 0.25f), right(256, -0.25f), scratchLeft(256), scratchRight(256);
  for (int preset = 0; preset < fx::kPresetCount; ++preset) {
    reverb.applyPreset(preset);
    reverb.process(left.data(), right.data(), scratchLeft.data(), scratchRight.data(), 256);
  }
  return 0;
}
