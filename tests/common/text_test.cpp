#include "common/text.h"

#include <gtest/gtest.h>

namespace {

TEST(CaseRules, AccentedLettersFoldLikeAscii) {
  EXPECT_TRUE(common::equalsNoCase("FILE000", "file000"));
  EXPECT_TRUE(common::equalsNoCase("\xC4RGER \x8A", "\xE4rger \x9A"));  // ÄRGER Š / ärger š
  EXPECT_FALSE(common::equalsNoCase("\xD7", "\xF7"));                  // × and ÷ are not a pair
  EXPECT_EQ(common::upperCase("stra\xDF" "e \xFF"), "STRA\xDF" "E \x9F");  // ß stays, ÿ becomes Ÿ
  EXPECT_FALSE(common::equalsNoCase("abc", "abcd"));
}

TEST(CaseRules, CompareAndFind) {
  EXPECT_GT(common::compareNoCase("file5", "FILE000"), 0);  // "file5" sorts between the file keys
  EXPECT_LT(common::compareNoCase("file5", "FILE999"), 0);
  EXPECT_LT(common::compareNoCase("file", "FILE000"), 0);
  EXPECT_EQ(common::compareNoCase("Abc", "aBC"), 0);
  EXPECT_EQ(common::findNoCase("Hello World", "WORLD"), 6u);
  EXPECT_EQ(common::findNoCase("Hello World", "o", 5), 7u);
  EXPECT_EQ(common::findNoCase("abc", "abcd"), std::string_view::npos);
  EXPECT_EQ(common::findNoCase("abc", "", 3), 3u);
  EXPECT_EQ(common::findNoCase("abc", "a", 4), std::string_view::npos);
  EXPECT_TRUE(common::endsWithNoCase("track01.CDA", ".cda"));
}

TEST(Trimming, BlanksAndNul) {
  EXPECT_EQ(common::trimBlanks("  a b  "), "a b");
  EXPECT_EQ(common::trimBlanks("   "), "");
  EXPECT_EQ(common::trimRightBlanks(" a "), " a");
  EXPECT_EQ(common::cutAtNul(std::string_view("c:\\temp\\\0junk", 13)), "c:\\temp\\");
}

TEST(CodePage, WindowsTextRoundTripsThroughUtf8) {
  EXPECT_EQ(common::ansiToUtf8("Caf\xE9 \x80"), "Café €");
  EXPECT_EQ(common::utf8ToAnsi("Café €"), "Caf\xE9 \x80");
  EXPECT_EQ(common::utf8ToAnsi("日本"), "??");             // not in the code page
  EXPECT_EQ(common::utf8ToAnsi("ok\xE9 x"), "ok\xE9 x");  // not UTF-8: taken as it is
  EXPECT_EQ(common::utf8ToAnsi("\xC0\xAF"), "\xC0\xAF");  // over-long form is not decoded
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(common::utf8ToAnsi(common::ansiToUtf8(all)), all);
}

}  // namespace
