#include "common/basic.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/text.h"

namespace common {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

template <typename Int>
std::optional<Int> roundHalfEven(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  double rounded = std::nearbyint(value);  // the default floating-point mode rounds halves to even
  if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Int>::max()))
    return std::nullopt;
  return static_cast<Int>(rounded);
}

// Matches one bracket list at pattern[p] (just after '['); sets p past the ']' and reports whether c is in
// it. Returns false with ok cleared when the list never closes.
bool matchBracket(char c, std::string_view pattern, size_t& p, bool& ok) {
  bool negate = p < pattern.size() && pattern[p] == '!';
  if (negate) ++p;
  bool found = false;
  char lc = toLowerAnsi(c);
  while (p < pattern.size() && pattern[p] != ']') {
    char first = toLowerAnsi(pattern[p]);
    if (p + 2 < pattern.size() && pattern[p + 1] == '-' && pattern[p + 2] != ']') {
      char last = toLowerAnsi(pattern[p + 2]);
      auto u = static_cast<unsigned char>(lc);
      if (u >= static_cast<unsigned char>(first) && u <= static_cast<unsigned char>(last)) found = true;
      p += 3;
    } else {
      if (lc == first) found = true;
      ++p;
    }
  }
  if (p >= pattern.size()) {
    ok = false;
    return false;
  }
  ++p;  // past ']'
  return found != negate;
}

// Matches the single-character token at pattern[p] against c and moves p past it. A bracket list that
// never closes sets malformed.
bool matchToken(char c, std::string_view pattern, size_t& p, bool& malformed) {
  char pc = pattern[p++];
  if (pc == '?') return true;
  if (pc == '#') return isDigit(c);
  if (pc == '[') {
    bool ok = true;
    bool in = matchBracket(c, pattern, p, ok);
    malformed = !ok;
    return ok && in;
  }
  return toLowerAnsi(pc) == toLowerAnsi(c);
}

// Every token but '*' matches exactly one character, so one backtracking point (the last star) is
// enough and the match stays linear in practice, whatever the pattern.
bool likeMatch(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0;
  size_t starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      starP = p;
      starT = t;
      continue;
    }
    size_t next = p;
    bool malformed = false;
    if (p < pattern.size() && matchToken(text[t], pattern, next, malformed)) {
      p = next;
      ++t;
      continue;
    }
    if (malformed || starP == std::string_view::npos) return false;
    p = starP;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

double leadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (isDigit(text[i])) {
      digits = true;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
    number += text[i];
  }
  if (!digits) return 0.0;
  if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t k = i + 1;
    std::string exponent = "e";
    if (text[k] == '+' || text[k] == '-') exponent += text[k++];
    if (k < text.size() && isDigit(text[k])) {
      while (k < text.size() && isDigit(text[k])) exponent += text[k++];
      number += exponent;
    }
  }
  double value = std::strtod(number.c_str(), nullptr);
  return std::isfinite(value) ? value : 0.0;
}

std::optional<int16_t> roundToInt16(double value) { return roundHalfEven<int16_t>(value); }
std::optional<int32_t> roundToInt32(double value) { return roundHalfEven<int32_t>(value); }

int32_t leadingInt32(std::string_view text) { return roundToInt32(leadingNumber(text)).value_or(0); }

bool like(std::string_view text, std::string_view pattern) { return likeMatch(text, pattern); }

std::string zeroPadded(long long value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", value < 0 ? width + 1 : width, value);
  return buffer;
}

std::string hexText(int32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<uint32_t>(value));
  return buffer;
}

std::string colourText(uint32_t bgr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%06X", bgr & 0xFFFFFFu);
  return buffer;
}

std::optional<uint32_t> parseHex(std::string_view text) {
  text = trimBlanks(text);
  if (startsWithNoCase(text, "0x") || startsWithNoCase(text, "&h")) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    int digit = isDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace common
