#include "sv_MP3Find/word_match.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using mp3find::wordOccurs;

// Words of every length class at every start position around the sixteen-position steps and the end.
TEST(WordMatch, FindsWordsAtEveryPosition) {
  for (size_t length : {1, 2, 3, 16, 17, 40}) {
    std::string word;
    for (size_t i = 0; i < length; ++i) word += static_cast<char>('a' + i % 26);
    for (size_t range : {length, length + 15, length + 16, size_t{100}}) {
      for (size_t at = 0; at + length <= range; ++at) {
        std::string text(range, '.');
        for (size_t i = 0; i < length; ++i) text[at + i] = static_cast<char>('A' + i % 26);
        ASSERT_TRUE(wordOccurs(text, word)) << length << " " << range << " " << at;
        text[at + length - 1] = '#';
        ASSERT_FALSE(wordOccurs(text, word)) << length << " " << range << " " << at;
      }
    }
  }
}

TEST(WordMatch, LettersFoldOtherBytesDoNot) {
  EXPECT_TRUE(wordOccurs("xx[Queen]xx", "[qUEEN]"));
  EXPECT_FALSE(wordOccurs("x@x", "x`x"));  // '@' and '`' are not letters one case apart
  EXPECT_FALSE(wordOccurs("x[x", "x{x"));
  EXPECT_FALSE(wordOccurs("\xC9t\xC9", "\xE9t\xE9"));
  EXPECT_TRUE(wordOccurs(std::string(20000, 'a') + "needle", "NEEDLE"));  // a range beyond the stack copy
  EXPECT_TRUE(wordOccurs("", ""));
  EXPECT_FALSE(wordOccurs("ab", "abc"));
  EXPECT_TRUE(wordOccurs(std::string(100, 'a') + "ab", "aab"));
  EXPECT_FALSE(wordOccurs(std::string(100, 'a'), std::string(20, 'a') + "b" + std::string(20, 'a')));
  EXPECT_TRUE(wordOccurs(std::string(100, 'a'), std::string(60, 'A')));
}

}  // namespace
