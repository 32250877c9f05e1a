#pragma once
// The music file search control: walks a folder tree for MP3 and WAV files, keeps those whose path,
// file name or tag data match the search words, and reports each hit through the engine variable
// "Found". Esc or F4 aborts a running search.

#include <string>
#include <vector>

#include "outside/eclient/engine.h"
#include "platform/controls.h"
#include "platform/library.h"

namespace search {

enum class Place { Path, FileName, Tag };

struct Query {
  bool anyWord = true;
  bool inPath = false, inFileName = false, inTag = false;
  std::vector<std::string> words;
  std::string folder;
};

// The search settings as the host writes them into the engine.
Query makeQuery(const std::string& flag, const std::string& places, const std::string& text, const std::string& folder);
// Words cut at every blank, empty ones left out.
std::vector<std::string> splitWords(std::string_view text);
// A name word matches when the text holds it, case ignored, or else matches it as a pattern.
bool nameMatches(std::string_view text, std::string_view word);
// The file name part: what follows the last "\" or "/".
std::string_view fileNamePart(std::string_view path);

class SearchControl : public platform::ControlBase {
 public:
  SearchControl();
  void runSearch();
  // Matches the files against the words, appending hits to results; false when the user aborted.
  bool matchFiles(const std::vector<std::string>& files, const std::vector<std::string>& words, Place place,
                  bool anyWord, std::vector<std::string>& results);

 private:
  // Esc or F4 down or pressed since the last check sets the abort flag; true once aborted.
  bool aborted();
  void scan(std::string folder, char separator, std::vector<std::string>& files);
  bool wordMatches(const std::string& file, const std::string& word, Place place);
  // One branch of the search over a folder list of its own; false when it was aborted.
  bool runBranch(const Query& query, Place place, std::vector<std::string>& results);

  eclient::Engine engine_;
  platform::BoundLibrary mp3find_{"sv_MP3Find.dll"};
  bool abort_ = false;
};

}  // namespace search
