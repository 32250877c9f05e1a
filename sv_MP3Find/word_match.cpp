#include "sv_MP3Find/word_match.h"

#include <string.h>

#include <array>
#include <cstdint>
#include <string>

namespace mp3find {
namespace {

constexpr std::array<uint8_t, 256> kFold = [] {
  std::array<uint8_t, 256> fold{};
  for (int c = 0; c < 256; ++c) fold[c] = static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  return fold;
}();

// A byte matches a word character when it is that character in lower or upper case (ASCII letters only),
// which is exactly: both fold to the same byte. So the search runs on folded copies.
void foldInto(std::string_view text, uint8_t* out) {
  for (size_t i = 0; i < text.size(); ++i) out[i] = kFold[static_cast<uint8_t>(text[i])];
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
  std::string heap;
  uint8_t* folded = onStack;
  if (range.size() > kStackRange) {
    heap.resize(range.size());
    folded = reinterpret_cast<uint8_t*>(heap.data());
  }
  foldInto(range, folded);
  return ::memmem(folded, range.size(), foldedWord, word.size()) != nullptr;
}

}  // namespace mp3find
