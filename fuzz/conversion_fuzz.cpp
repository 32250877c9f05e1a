// Audio sources of any kind (MP3, WAV and whatever else the decoders recognise) converted to the end.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/scratch_folder.h"
#include "outside/qmx_kom/conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& scratch = fuzzsupport::ScratchFolder::get();
  scratch.write("source", data, size);
  const std::filesystem::path source = scratch.path("source");
  const std::filesystem::path target = scratch.path("target.wav");
  {
    qmxkom::Conversion conversion(source, target);
    // A source a fuzzer builds is small; a conversion that never finishes is a fault.
    for (int steps = 0; conversion.isOpen() && conversion.step() < 1000; ++steps)
      if (steps > 100000) std::abort();
    conversion.close();
  }
  return 0;
}
