// The header of a WAV file that may still be growing, as the stream encoder reads it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto layout = common::parseWavLayout(std::span<const uint8_t>(data, size));
  if (layout && layout->dataOffset > size) std::abort();
  return 0;
}
