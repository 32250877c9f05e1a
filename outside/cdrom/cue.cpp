#include "outside/cdrom/cue.h"

#include "common/text.h"

namespace cdrom {
namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// The name part of a FILE line's arguments: `"name with blanks" TYPE` or `name TYPE`.
std::string fileNameOf(std::string_view arguments) {
  arguments = trimmed(arguments);
  if (!arguments.empty() && arguments.front() == '"') {
    const auto close = arguments.find('"', 1);
    return std::string(arguments.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  }
  const auto lastBlank = arguments.find_last_of(" \t");
  return std::string(lastBlank == std::string_view::npos ? arguments : trimmed(arguments.substr(0, lastBlank)));
}

}  // namespace

std::vector<std::string> cueFileNames(std::string_view sheet) {
  std::vector<std::string> names;
  while (!sheet.empty()) {
    const auto end = sheet.find('\n');
    std::string_view line = trimmed(sheet.substr(0, end));
    sheet = end == std::string_view::npos ? std::string_view{} : sheet.substr(end + 1);
    if (line.size() > 5 && common::lowerCase(line.substr(0, 4)) == "file" && (line[4] == ' ' || line[4] == '\t')) {
      std::string name = fileNameOf(line.substr(5));
      if (!name.empty()) names.push_back(std::move(name));
    }
  }
  return names;
}

}  // namespace cdrom
