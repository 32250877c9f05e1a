#include "sv_MP3Find/word_match.h"

#include <string.h>

#include <cstdint>
#include <vector>

namespace mp3find {
namespace {

// A byte matches a word character when it is that character in lower or upper case (ASCII letters only),
// which is exactly: both fold to the same byte. So the search runs on folded copies.
void foldInto(std::string_view text, uint8_t* out) {
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<uint8_t>(text[i]);
    out[i] = static_cast<uint8_t>(c + (static_cast<uint8_t>(c - 'A') < 26 ? 'a' - 'A' : 0));
  }
}

using Lanes = uint8_t __attribute__((vector_size(16)));

Lanes splat(uint8_t value) {
  Lanes lanes;
  for (int i = 0; i < 16; ++i) lanes[i] = value;
  return lanes;
}

Lanes load(const uint8_t* bytes) {
  Lanes lanes;
  memcpy(&lanes, bytes, sizeof lanes);
  return lanes;
}

bool anyLane(Lanes lanes) {
  uint64_t half[2];
  memcpy(half, &lanes, sizeof half);
  return (half[0] | half[1]) != 0;
}

// Sixteen start positions at a time: only where the first character and one other both fit is the whole
// word compared. The other is the last one that differs from the first, so that a run of one letter in
// the window does not make every position a candidate.
bool findFolded(const uint8_t* range, size_t length, const uint8_t* word, size_t size) {
  if (size == 1) return memchr(range, word[0], length) != nullptr;
  size_t anchor = size - 1;
  while (anchor > 1 && word[anchor] == word[0]) --anchor;
  const Lanes first = splat(word[0]);
  const Lanes other = splat(word[anchor]);
  const size_t starts = length - size + 1;
  size_t at = 0;
  for (; at + 16 <= starts; at += 16) {
    Lanes both = (Lanes)(load(range + at) == first) & (Lanes)(load(range + at + anchor) == other);
    if (!anyLane(both)) continue;
    for (size_t lane = 0; lane < 16; ++lane)
      if (both[lane] != 0 && memcmp(range + at + lane, word, size) == 0) return true;
  }
  for (; at < starts; ++at)
    if (range[at] == word[0] && memcmp(range + at, word, size) == 0) return true;
  return false;
}

}  // namespace

std::string_view searchWord(const char* word) { return {word, ::strnlen(word, kMaxWordLength)}; }

bool wordOccurs(std::string_view range, std::string_view word) {
  if (word.size() > kMaxWordLength) word = word.substr(0, kMaxWordLength);
  if (word.empty()) return true;
  if (word.size() > range.size()) return false;
  uint8_t foldedWord[kMaxWordLength];
  foldInto(word, foldedWord);
  // Ranges are search windows of a few kilobytes: a folded copy on the stack when it fits.
  constexpr size_t kStackRange = 8192;
  uint8_t onStack[kStackRange];
  std::vector<uint8_t> onHeap;
  uint8_t* folded = onStack;
  if (range.size() > kStackRange) {
    onHeap.resize(range.size());
    folded = onHeap.data();
  }
  foldInto(range, folded);
  return findFolded(folded, range.size(), foldedWord, word.size());
}

}  // namespace mp3find
