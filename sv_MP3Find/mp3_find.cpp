// The ID3v1 tag block and the word search over a file's first and last bytes.
#include <cstring>
#include <optional>
#include <string>

#include "common/binary_file.h"
#include "platform/paths.h"
#include "sv_MP3Find/word_match.h"

namespace mp3find {
namespace {

using common::BinaryFile;

constexpr size_t kTagSize = 128;
constexpr size_t kWindow = 6096;

std::optional<BinaryFile> openFile(const char* path, BinaryFile::Mode mode) {
  return BinaryFile::open(platform::hostPath(path), mode);
}

// The last 128 bytes start with "TAG" in any case.
bool hasTag(const BinaryFile& file, uint64_t size) {
  if (size < kTagSize) return false;
  char mark[3] = {};
  file.readAt(size - kTagSize, mark, sizeof mark);
  return wordOccurs({mark, sizeof mark}, "TAG");
}

// A window of the file, with zeros where a read brought nothing.
bool windowHolds(const BinaryFile& file, uint64_t offset, size_t length, std::string_view word) {
  char window[kWindow] = {};
  file.readAt(offset, window, length);
  return wordOccurs({window, length}, word);
}

}  // namespace

int32_t loadTag(const char* path, char* tag) {
  if (path == nullptr || tag == nullptr) return -2;
  std::optional<BinaryFile> file = openFile(path, BinaryFile::Mode::Read);
  if (!file) return -1;
  uint64_t size = file->size();
  if (size < kTagSize) return -2;
  if (!hasTag(*file, size)) return -3;
  file->readAt(size - kTagSize, tag, kTagSize);
  return 0;
}

int32_t saveTag(const char* path, const char* tag) {
  if (path == nullptr || tag == nullptr) return -2;
  std::optional<BinaryFile> file = openFile(path, BinaryFile::Mode::ReadWrite);
  if (!file) return -1;
  uint64_t size = file->size();
  uint64_t at = hasTag(*file, size) ? size - kTagSize : size;
  return file->writeAt(at, tag, kTagSize) ? 0 : -1;
}

int32_t search(const char* path, const char* word) {
  if (path == nullptr || word == nullptr) return -2;
  std::optional<BinaryFile> file = openFile(path, BinaryFile::Mode::Read);
  if (!file) return -1;
  std::string_view wanted = searchWord(word);
  if (wanted.empty()) return 1000;
  uint64_t size = file->size();
  size_t length = size >= kWindow ? kWindow : static_cast<size_t>(size);
  if (windowHolds(*file, 0, length, wanted)) return 1000;
  if (size > length && windowHolds(*file, size - length, length, wanted)) return 1000;
  return 0;
}

}  // namespace mp3find
