// CUE sheets: our own reading of their FILE lines, and the table of contents libcdio reads from them.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/scratch_folder.h"
#include "outside/cdrom/cdrom.h"
#include "outside/cdrom/cue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view sheet(reinterpret_cast<const char*>(data), size);
  for (const std::string& name : cdrom::cueFileNames(sheet)) (void)name.size();
  auto& scratch = fuzzsupport::ScratchFolder::get();
  static const bool binWritten = [&] {  // the data file the sheets may name
    std::string bin(2352 * 10, '\x01');
    scratch.write("a.bin", reinterpret_cast<const uint8_t*>(bin.data()), bin.size());
    return true;
  }();
  (void)binWritten;
  scratch.write("disc.cue", data, size);
  const std::filesystem::path cue = scratch.path("disc.cue");
  if (auto toc = cdrom::readToc(cue))
    for (const cdrom::Track& track : *toc) (void)track.sectors();
  return 0;
}
