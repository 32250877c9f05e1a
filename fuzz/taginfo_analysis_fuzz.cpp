// The MPEG frame, Xing and ID3v1 analysis of the tag control over files of any content, then an ID3v1
// tag written into the file. Reading must leave the file as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/scratch_folder.h"
#include "sv_taginfo/mpeg_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& folder = fuzzsupport::ScratchFolder::get();
  folder.write("in.mp3", data, size);
  std::string path = folder.path("in.mp3");

  taginfo::Analysis analysis = taginfo::analyseFile(path);
  if (analysis.bitrate < 0 || analysis.bitrate > 32767 || analysis.duration < 0) __builtin_trap();
  if (analysis.title.size() > 30 || analysis.comment.size() > 29 || analysis.track.size() > 1) __builtin_trap();
  if (!analysis.frameFound && (analysis.bitrate != 0 || analysis.sampleRate != 0)) __builtin_trap();
  if (analysis.frameFound && (analysis.version != 1 || analysis.layer != 3)) __builtin_trap();
  if (folder.read("in.mp3") != std::string(reinterpret_cast<const char*>(data), size)) __builtin_trap();

  // The bytes as a header text of their own.
  std::string bits = taginfo::byteToBit(std::string(reinterpret_cast<const char*>(data), size < 4 ? size : 4));
  taginfo::Analysis decoded;
  taginfo::decodeHeader(bits, size, decoded);
  if (taginfo::binToDec(bits) < 0) __builtin_trap();

  taginfo::writeTag(path, "title", "artist", "album", "2000", "comment", size > 0 ? data[0] : 0, 3);
  std::string after = folder.read("in.mp3");
  if (after.size() != size && after.size() != size + 128) __builtin_trap();
  if (after.size() < 128 || after.compare(after.size() - 128, 3, "TAG") != 0) __builtin_trap();
  return 0;
}
