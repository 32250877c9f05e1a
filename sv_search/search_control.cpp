#include "sv_search/search_control.h"

#include "common/basic.h"
#include "common/text.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/input.h"

namespace search {
namespace {

constexpr int32_t kWordFound = 1000;

// The same as the patterns "*.wav" and "*.mp3" with case ignored.
bool isMusicFile(std::string_view name) {
  return common::endsWithNoCase(name, ".wav") || common::endsWithNoCase(name, ".mp3");
}

// Doubled backslashes collapsed, one pair at a time, the leading pair too.
std::string cleanPath(std::string path) {
  for (size_t at = path.find("\\\\"); at != std::string::npos; at = path.find("\\\\")) path.erase(at, 1);
  return path;
}

// Entries of a list handed over as one text, one a line.
std::vector<std::string> lines(std::string_view text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

std::vector<std::string> splitWords(std::string_view text) {
  std::vector<std::string> words;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) words.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

bool nameMatches(std::string_view text, std::string_view word) {
  return common::findNoCase(text, word) != std::string_view::npos || common::like(text, word);
}

std::string_view fileNamePart(std::string_view path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

Query makeQuery(const std::string& flag, const std::string& places, const std::string& text, const std::string& folder) {
  Query query;
  bool oder = common::findNoCase(flag, "oder") != std::string::npos;
  bool und = common::findNoCase(flag, "und") != std::string::npos;
  query.anyWord = !(und && !oder);
  std::vector<std::string> placeWords = splitWords(places);
  if (placeWords.empty()) placeWords.push_back("path");
  for (const std::string& place : placeWords) {
    query.inTag |= common::equalsNoCase(place, "tag");
    query.inFileName |= common::equalsNoCase(place, "dateiname");
    query.inPath |= common::equalsNoCase(place, "path");
  }
  if (query.inPath) query.inFileName = false;  // the whole path holds the file name
  query.words = splitWords(common::trimBlanks(text));
  if (query.words.empty()) query.words.push_back("*.*");
  query.folder = cleanPath(folder);
  return query;
}

SearchControl::SearchControl() {
  engine_.load("wavedesk");
  addMethod("onSearch", [this](std::string&) { runSearch(); });
  addMethod("onResize", [](std::string&) {});
  addMethod("onVisible", [](std::string&) {});
  // The any-word name matcher on its own: files one a line, hits appended one a line, words separated by
  // blanks, and a flag for matching file names only.
  addMethod("SucheOder", Method([this](std::vector<std::string>& arguments) {
              if (arguments.size() < 4) arguments.resize(4);
              std::vector<std::string> results = lines(arguments[1]);
              bool fileNames = common::equalsNoCase(common::trimBlanks(arguments[3]), "true") ||
                               common::leadingInt32(arguments[3]) != 0;
              matchFiles(lines(arguments[0]), splitWords(arguments[2]), fileNames ? Place::FileName : Place::Path,
                         true, results);
              arguments[1].clear();
              for (const std::string& result : results) arguments[1] += result + "\r\n";
              return std::optional<std::string>("");
            }));
}

bool SearchControl::aborted() {
  bool escape = platform::keyDownOrPressed(platform::Key::Escape);
  bool f4 = platform::keyDownOrPressed(platform::Key::F4);
  if (escape || f4) abort_ = true;
  return abort_;
}

void SearchControl::scan(std::string folder, char separator, std::vector<std::string>& files) {
  platform::doEvents();
  if (folder.empty() || folder.back() != separator) folder += separator;
  for (const platform::FolderEntry& entry : platform::listFolder(folder)) {
    if (aborted()) return;
    if (entry.folder) {
      scan(folder + entry.name, separator, files);
      if (abort_) return;
    } else if (isMusicFile(entry.name)) {
      files.push_back(folder + entry.name);
    }
    platform::doEvents();
  }
}

bool SearchControl::wordMatches(const std::string& file, const std::string& word, Place place) {
  switch (place) {
    case Place::Path: return nameMatches(file, word);
    case Place::FileName: return nameMatches(fileNamePart(file), word);
    case Place::Tag:
      return mp3find_.callOr<int32_t(const char*, const char*)>(-1, "MP3Suchen", file.c_str(), word.c_str()) ==
             kWordFound;
  }
  return false;
}

bool SearchControl::matchFiles(const std::vector<std::string>& files, const std::vector<std::string>& words,
                               Place place, bool anyWord, std::vector<std::string>& results) {
  for (const std::string& file : files) {
    platform::doEvents();
    bool matched = !anyWord;
    for (const std::string& word : words) {
      if (aborted()) return false;
      bool hit = wordMatches(file, word, place);
      if (hit == anyWord) {  // the first hit decides for any word, the first miss for all words
        matched = hit;
        break;
      }
    }
    if (matched) results.push_back(file);
    platform::doEvents();
    platform::doEvents();
  }
  return true;
}

bool SearchControl::runBranch(const Query& query, Place place, std::vector<std::string>& results) {
  char separator = !query.folder.empty() && query.folder[0] == '/' ? '/' : '\\';
  std::vector<std::string> files;
  scan(query.folder, separator, files);
  if (abort_) return false;
  if (place == Place::Tag) std::erase_if(files, [](const std::string& file) { return !isMusicFile(file); });
  return matchFiles(files, query.words, place, query.anyWord, results);
}

void SearchControl::runSearch() {
  aborted();  // presses from before the search are forgotten
  abort_ = false;
  auto variable = [this](const char* name) { return engine_.getVar(typ(), this->name(), name); };
  Query query = makeQuery(variable("Search.Option.Flag"), variable("Search.Option.SearchIn"),
                          variable("Search.Text"), variable("Search.Path"));
  std::vector<std::string> results;
  if (query.inPath && !runBranch(query, Place::Path, results)) return;
  if (query.inFileName && !runBranch(query, Place::FileName, results)) return;
  if (query.inTag && !runBranch(query, Place::Tag, results)) return;
  for (const std::string& result : results)
    if (common::endsWithNoCase(result, ".mp3") || common::endsWithNoCase(result, ".wav"))
      engine_.setVar(typ(), name(), "Found", result);
}

}  // namespace search
