#pragma once
// The word match of the MP3 search: a word of at most 300 characters in a byte range, ASCII letters in
// either case.

#include <cstddef>
#include <string_view>

namespace mp3find {

constexpr size_t kMaxWordLength = 300;

// The word up to its NUL, at most kMaxWordLength characters.
std::string_view searchWord(const char* word);
// True when word occurs in range; the empty word occurs everywhere, a word longer than the range nowhere.
bool wordOccurs(std::string_view range, std::string_view word);

}  // namespace mp3find
