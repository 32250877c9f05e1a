#include "common/ini.h"

#include "common/text.h"

namespace common {
namespace {

std::string_view trimSpace(std::string_view text) {
  const char* blanks = " \t\r\n";
  size_t start = text.find_first_not_of(blanks);
  if (start == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(blanks);
  return text.substr(start, end - start + 1);
}

}  // namespace

IniFile IniFile::parse(std::string_view text) {
  IniFile ini;
  std::string section;
  int lineNumber = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trimSpace(text.substr(pos, end - pos));
    pos = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (line.back() == ']') {
        section = std::string(trimSpace(line.substr(1, line.size() - 2)));
      } else {
        ini.badLines_.push_back(lineNumber);
      }
      continue;
    }
    size_t equals = line.find('=');
    std::string_view key = equals == std::string_view::npos ? std::string_view() : trimSpace(line.substr(0, equals));
    if (key.empty()) {
      ini.badLines_.push_back(lineNumber);
      continue;
    }
    ini.entries_.push_back({section, std::string(key), std::string(trimSpace(line.substr(equals + 1))), lineNumber});
  }
  return ini;
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  std::optional<std::string> found;
  for (const IniEntry& entry : entries_)
    if (equalsNoCase(entry.section, section) && equalsNoCase(entry.key, key)) found = entry.value;
  return found;  // the last one written wins
}

std::vector<IniEntry> IniFile::section(std::string_view name) const {
  std::vector<IniEntry> out;
  for (const IniEntry& entry : entries_)
    if (equalsNoCase(entry.section, name)) out.push_back(entry);
  return out;
}

}  // namespace common
