// WAV files of any shape read for their format and INFO texts.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/scratch_folder.h"
#include "sv_wavfind/sv_wavfind.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& folder = fuzzsupport::ScratchFolder::get();
  folder.write("in.wav", data, size);
  // A guard band around the record shows any write past it.
  static char guarded[wavfind::kRecordSize + 64];
  std::memset(guarded, '\0', sizeof guarded);
  std::memset(guarded + wavfind::kRecordSize, 0x5A, 64);
  bool loaded = wavInfoLoad(folder.path("in.wav").c_str(), guarded);
  for (size_t i = wavfind::kRecordSize; i < sizeof guarded; ++i)
    if (guarded[i] != 0x5A) __builtin_trap();
  if (!loaded)
    for (size_t i = 0; i < wavfind::kRecordSize; ++i)
      if (guarded[i] != '\0') __builtin_trap();  // a failed load leaves the record alone
  return 0;
}
