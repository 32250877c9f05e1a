// Rewriting the INFO texts of WAV files of any shape, on a copy: the save either replaces the file with
// one that loads with the new texts, or leaves it exactly as it was, and never leaves a working file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/scratch_folder.h"
#include "sv_wavfind/sv_wavfind.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& folder = fuzzsupport::ScratchFolder::get();
  folder.clear();
  folder.write("copy.wav", data, size);
  std::string before = folder.read("copy.wav");

  static char record[wavfind::kRecordSize];
  std::memset(record, '\0', sizeof record);
  std::memcpy(record + wavfind::slotOffset(wavfind::kTitle), "Fuzzed title", 12);
  std::memcpy(record + wavfind::slotOffset(wavfind::kComment), "odd", 3);
  std::string path = folder.path("copy.wav");
  bool saved = wavInfoSave(path.c_str(), record);
  if (folder.entries() != 1) __builtin_trap();
  if (!saved) {
    if (folder.read("copy.wav") != before) __builtin_trap();
    return 0;
  }
  static char loaded[wavfind::kRecordSize];
  std::memset(loaded, '\0', sizeof loaded);
  // A saved file whose format can be read shows the new title (when its data chunk comes first).
  if (wavInfoLoad(path.c_str(), loaded) && loaded[wavfind::slotOffset(wavfind::kSeconds)] != '\0' &&
      std::strcmp(loaded + wavfind::slotOffset(wavfind::kTitle), "Fuzzed title") != 0 &&
      loaded[wavfind::slotOffset(wavfind::kTitle)] != '\0')
    __builtin_trap();
  return 0;
}
