// The ID3v1 tag load and save and the word search over files of any content. The first byte picks the
// length of the search word taken from the start of the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/scratch_folder.h"
#include "sv_MP3Find/sv_MP3Find.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& folder = fuzzsupport::ScratchFolder::get();
  size_t wordLength = size > 0 ? std::min<size_t>(data[0], size - 1) : 0;
  std::string word(reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0), wordLength);
  folder.write("in.mp3", data, size);
  std::string path = folder.path("in.mp3");

  int32_t found = MP3Suchen(path.c_str(), word.c_str());
  if (found != 0 && found != 1000) __builtin_trap();
  if (word.find('\0') == std::string::npos && size <= 6096 && found != 1000 && word.size() <= size)
    __builtin_trap();  // the word is taken from the file itself
  char tag[128 + 16];
  std::memset(tag, 0x5A, sizeof tag);
  int32_t loaded = MP3InfoLoad(path.c_str(), tag);
  for (size_t i = 128; i < sizeof tag; ++i)
    if (tag[i] != 0x5A) __builtin_trap();
  if (loaded != 0 && loaded != -2 && loaded != -3) __builtin_trap();

  char newTag[128] = {'T', 'A', 'G'};
  if (MP3InfoSave(path.c_str(), newTag) != 0) __builtin_trap();
  std::string after = folder.read("in.mp3");
  size_t expected = loaded == 0 ? size : size + 128;
  if (after.size() != expected || after.compare(after.size() - 128, 128, newTag, 128) != 0) __builtin_trap();
  return 0;
}
