// Audio sources of any kind (MP3, WAV and whatever else the decoders recognise) converted to the end.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "outside/qmx_kom/conversion.h"

namespace {

// A folder of this process's own, removed when the process ends.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "conversion-fuzz-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    path = made != nullptr ? made : "/tmp";
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (path != "/tmp") std::filesystem::remove_all(path, ec);
  }
};

const std::filesystem::path& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto source = scratchFolder() / "source";
  const auto target = scratchFolder() / "target.wav";
  std::ofstream(source, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), std::streamsize(size));
  {
    qmxkom::Conversion conversion(source, target);
    // A source a fuzzer builds is small; a conversion that never finishes is a fault.
    for (int steps = 0; conversion.isOpen() && conversion.step() < 1000; ++steps)
      if (steps > 100000) std::abort();
    conversion.close();
  }
  return 0;
}
