#include "common/text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace common {
namespace {

// Code points of Windows-1252 bytes 0x80..0x9F; 0 where the byte is unassigned.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t codePointOf(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) {
    char32_t cp = kHighControls[byte - 0x80];
    return cp != 0 ? cp : byte;
  }
  return byte;
}

int ansiByteOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i)
    if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
  if (cp >= 0x80 && cp < 0xA0 && kHighControls[cp - 0x80] == 0) return static_cast<int>(cp);
  return -1;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when it is not valid UTF-8.
size_t decodeUtf8(std::string_view text, size_t i, char32_t& cp) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || i + length > text.size()) return 0;
  cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

namespace {

constexpr char lowerOf(unsigned char b) {
  if (b >= 'A' && b <= 'Z') return static_cast<char>(b + 32);
  if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<char>(b + 32);
  if (b == 0x8A || b == 0x8C || b == 0x8E) return static_cast<char>(b + 16);  // Š Œ Ž
  if (b == 0x9F) return static_cast<char>(0xFF);                               // Ÿ
  return static_cast<char>(b);
}

constexpr char upperOf(unsigned char b) {
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 32);
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 32);
  if (b == 0x9A || b == 0x9C || b == 0x9E) return static_cast<char>(b - 16);
  if (b == 0xFF) return static_cast<char>(0x9F);
  return static_cast<char>(b);
}

// Case folding runs over whole message buffers on every poll, so it is a table lookup.
struct CaseTables {
  std::array<char, 256> lower{}, upper{};
  constexpr CaseTables() {
    for (int b = 0; b < 256; ++b) {
      lower[static_cast<size_t>(b)] = lowerOf(static_cast<unsigned char>(b));
      upper[static_cast<size_t>(b)] = upperOf(static_cast<unsigned char>(b));
    }
  }
};

constexpr CaseTables kCase;  // built at compile time: usable from any static initialiser

}  // namespace

char toLowerAnsi(char c) { return kCase.lower[static_cast<unsigned char>(c)]; }

char toUpperAnsi(char c) { return kCase.upper[static_cast<unsigned char>(c)]; }

std::string lowerCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), toLowerAnsi);
  return out;
}

std::string upperCase(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), toUpperAnsi);
  return out;
}

int compareNoCase(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(toLowerAnsi(a[i]));
    auto y = static_cast<unsigned char>(toLowerAnsi(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // the usual case, at memory speed
  return compareNoCase(a, b) == 0;
}

size_t findNoCase(std::string_view haystack, std::string_view needle, size_t from) {
  if (from > haystack.size() || needle.size() > haystack.size() - from) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i)
    if (equalsNoCase(haystack.substr(i, needle.size()), needle)) return i;
  return std::string_view::npos;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && equalsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view trimRightBlanks(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

std::string_view trimBlanks(std::string_view text) {
  text = trimRightBlanks(text);
  size_t start = text.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

std::string_view cutAtNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string ansiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size());
  for (char c : ansi) appendUtf8(out, codePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    size_t length = decodeUtf8(utf8, i, cp);
    if (length == 0) {
      out += utf8[i++];
      continue;
    }
    int byte = ansiByteOf(cp);
    out += byte < 0 ? '?' : static_cast<char>(byte);
    i += length;
  }
  return out;
}

}  // namespace common
