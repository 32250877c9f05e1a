#pragma once
// Text rules of the suite. Texts at every boundary are 8-bit Windows-1252 byte strings; comparisons of
// keys, commands and file names ignore case, for accented Western letters as well as ASCII.

#include <string>
#include <string_view>

namespace common {

char toLowerAnsi(char c);
char toUpperAnsi(char c);
std::string lowerCase(std::string_view text);
std::string upperCase(std::string_view text);

bool equalsNoCase(std::string_view a, std::string_view b);
// Negative, zero or positive as a sorts before, equal to or after b, ignoring case.
int compareNoCase(std::string_view a, std::string_view b);
// Position of needle in haystack at or after from, ignoring case; npos when absent.
size_t findNoCase(std::string_view haystack, std::string_view needle, size_t from = 0);
bool startsWithNoCase(std::string_view text, std::string_view prefix);
bool endsWithNoCase(std::string_view text, std::string_view suffix);

std::string_view trimBlanks(std::string_view text);
std::string_view trimRightBlanks(std::string_view text);
// The part before the first NUL, as a fixed-size buffer filled by the system is read.
std::string_view cutAtNul(std::string_view text);

// Windows-1252 <-> UTF-8. Characters that Windows-1252 cannot hold become '?', as the system's ANSI
// calls do; bytes that are not valid UTF-8 are taken as Windows-1252 already.
std::string ansiToUtf8(std::string_view ansi);
std::string utf8ToAnsi(std::string_view utf8);

}  // namespace common
