// WAV files read by fxrender.
#include <cstddef>
#include <cstdint>
#include <string>

#include "wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  (void)fxrender::parseWav(data, size, error);
  return 0;
}
