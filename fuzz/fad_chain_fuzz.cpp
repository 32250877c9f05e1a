// Two files of any content joined by a transition of any kind, length and overlap. Input: kind (1 byte),
// length in milliseconds (2), overlap per mille (2, signed), the first file's size (2), then both files.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/scratch_folder.h"
#include "sv_fad/sv_fad.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 7) return 0;
  auto& folder = fuzzsupport::ScratchFolder::get();
  uint32_t kind = data[0] % 6;
  int32_t length = data[1] | (data[2] << 8);
  int32_t overlap = static_cast<int16_t>(data[3] | (data[4] << 8));
  size_t split = std::min<size_t>(data[5] | (data[6] << 8), size - 7);
  folder.write("a.wav", data + 7, split);
  folder.write("b.wav", data + 7 + split, size - 7 - split);
  std::string a = folder.read("a.wav");
  std::string b = folder.read("b.wav");

  addFile(folder.path("a.wav").c_str(), folder.path("out1.wav").c_str(), length, overlap, kind);
  addFile(folder.path("b.wav").c_str(), folder.path("out2.wav").c_str(), 0, 0, 0);
  if (crossFader() == 0) {
    int steps = 0;
    while (stepFade() == 1)
      if (++steps > 2) __builtin_trap();  // one transition, then the end
  }
  closeAll();
  if (folder.read("a.wav") != a || folder.read("b.wav") != b) __builtin_trap();  // sources are never written
  return 0;
}
