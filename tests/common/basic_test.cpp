#include "common/basic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith) {
  struct Case {
    const char* text;
    double expected;
  } cases[] = {
      {"12", 12},         {"  12abc", 12},   {"\t-3.5", -3.5},  {"+7", 7},        {".5", 0.5},
      {"1.2.3", 1.2},     {"abc", 0},        {"", 0},           {"-", 0},         {"- 5", 0},
      {"1e3", 1000},      {"1e", 1},         {"2E-2x", 0.02},   {"1e+", 1},       {"007", 7},
      {"12 34", 12},      {"max", 0},        {"1e999", 0},      {"-0.5", -0.5},   {"\n42", 42},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(common::leadingNumber(c.text), c.expected) << '"' << c.text << '"';
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
  struct Case {
    double value;
    int expected;
  } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {3, 3}};
  for (const Case& c : cases) {
    EXPECT_EQ(common::roundToInt32(c.value), c.expected) << c.value;
    EXPECT_EQ(common::roundToInt16(c.value), c.expected) << c.value;
  }
}

TEST(Rounding, ValuesThatDoNotFitGiveNothing) {
  EXPECT_EQ(common::roundToInt16(32767.4), 32767);
  EXPECT_FALSE(common::roundToInt16(32767.5));  // rounds to 32768
  EXPECT_EQ(common::roundToInt16(-32768.5), -32768);
  EXPECT_FALSE(common::roundToInt32(2147483647.5));
  EXPECT_EQ(common::roundToInt32(-2147483648.0), INT32_MIN);
  EXPECT_FALSE(common::roundToInt32(NAN));
  EXPECT_FALSE(common::roundToInt32(INFINITY));
  EXPECT_EQ(common::leadingInt32("99999999999"), 0);
  EXPECT_EQ(common::leadingInt32(" 24.5"), 24);
}

TEST(Like, MatchesThePatternLanguage) {
  struct Case {
    const char* text;
    const char* pattern;
    bool expected;
  } cases[] = {
      {"Song.MP3", "*.mp3", true},     {"song.mp3x", "*.mp3", false},    {"abc", "a?c", true},
      {"ac", "a?c", false},            {"a1c", "a#c", true},             {"abc", "a#c", false},
      {"b", "[a-c]", true},            {"B", "[a-c]", true},             {"d", "[a-c]", false},
      {"d", "[!a-c]", true},           {"b", "[!a-c]", false},           {"x", "[xyz]", true},
      {"-", "[a-]", true},             {"", "*", true},                  {"", "", true},
      {"a", "", false},                {"abc", "[a", false},             {"aXbXc", "*b*c", true},
      {"mississippi", "*s?pp*", true}, {"mississippi", "*ss*ss*x", false}, {"*", "[*]", true},
      {"\xD6lm\xFChle", "\xF6LM*", true},       {"[", "[[]", true},               {"ab", "a**b", true},
  };
  for (const Case& c : cases) EXPECT_EQ(common::like(c.text, c.pattern), c.expected) << c.text << " like " << c.pattern;
}

TEST(Formatting, PaddingAndHex) {
  EXPECT_EQ(common::twoDigits(5), "05");
  EXPECT_EQ(common::twoDigits(123), "123");
  EXPECT_EQ(common::zeroPadded(-5, 3), "-005");
  EXPECT_EQ(common::hexText(255), "FF");
  EXPECT_EQ(common::hexText(0), "0");
  EXPECT_EQ(common::hexText(-1), "FFFFFFFF");
  EXPECT_EQ(common::colourText(0xFF), "0x0000FF");
  EXPECT_EQ(common::colourText(0x12ABCDEF), "0xABCDEF");
  EXPECT_EQ(common::parseHex("0x00ff10"), 0xFF10u);
  EXPECT_EQ(common::parseHex("&HFF"), 0xFFu);
  EXPECT_EQ(common::parseHex("abc"), 0xABCu);
  EXPECT_FALSE(common::parseHex("0x"));
  EXPECT_FALSE(common::parseHex("0xZZ"));
  EXPECT_FALSE(common::parseHex("0x123456789"));
}

}  // namespace
