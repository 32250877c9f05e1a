// CUE sheets: our own reading of their FILE lines, and the table of contents libcdio reads from them.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "outside/cdrom/cdrom.h"
#include "outside/cdrom/cue.h"

namespace {

// A folder of this process's own, removed when the process ends.
struct ScratchFolder {
  std::filesystem::path path;
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cue-fuzz-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    path = made != nullptr ? made : "/tmp";
    std::ofstream(path / "a.bin", std::ios::binary) << std::string(2352 * 10, '\x01');
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
  std::string_view sheet(reinterpret_cast<const char*>(data), size);
  for (const std::string& name : cdrom::cueFileNames(sheet)) (void)name.size();
  const auto cue = scratchFolder() / "disc.cue";
  std::ofstream(cue, std::ios::binary | std::ios::trunc) << sheet;
  if (auto toc = cdrom::readToc(cue))
    for (const cdrom::Track& track : *toc) (void)track.sectors();
  return 0;
}
