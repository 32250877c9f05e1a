#pragma once
// Reading of ini-style configuration text: "[section]" headers, "key = value" lines, comments starting
// with ';' or '#'. Section and key names compare without regard to case; values keep their text with
// surrounding blanks removed. Lines that fit none of these forms are skipped and counted.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

struct IniEntry {
  std::string section;
  std::string key;
  std::string value;
  int line = 0;
};

class IniFile {
 public:
  static IniFile parse(std::string_view text);

  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  // Entries of one section in the order they were written.
  std::vector<IniEntry> section(std::string_view name) const;
  const std::vector<IniEntry>& entries() const { return entries_; }
  // Lines that were neither blank, comment, header nor key = value; their numbers, for error messages.
  const std::vector<int>& badLines() const { return badLines_; }

 private:
  std::vector<IniEntry> entries_;
  std::vector<int> badLines_;
};

}  // namespace common
