#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/input.h"
#include "tests/support/control_host.h"
#include "tests/support/mp3_bytes.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using Hits = std::vector<std::string>;

class Search : public ::testing::Test {
 protected:
  Search() {
    platform::clearKeys();
    // c:\music, walked in name order: a\, b\ (with sub\), c\, then the files of music itself.
    file("a/Love Song.mp3", id3v1("Yesterday", "Some Band", "", "", "", 1));
    file("a/other.wav", "RIFF");
    file("a/readme.txt", "love song");
    file("B/song of love.MP3", id3v1("Today", "Other Band", "", "", "", 1));
    file("B/sub/deep.mp3", id3v1("Love", "Deep Band", "", "", "", 1));
    file("c/track7.wav", "RIFF love");
    file("c/x.mp3.txt", "love");
    file("Top.mp3", "");
  }
  void file(const std::string& relative, const std::string& bytes) {
    TempPrefix::touch(prefix_.driveC() / "music" / relative, bytes);
  }
  Hits search(const std::string& text, const std::string& places = "path", const std::string& flag = "oder",
              const std::string& folder = "c:\\music") {
    host_.set("Search.Option.Flag", flag);
    host_.set("Search.Option.SearchIn", places);
    host_.set("Search.Text", text);
    host_.set("Search.Path", folder);
    host_.call("onSearch", "");
    Hits hits;
    for (const EngineWrite& write : host_.takeWrites()) {
      EXPECT_EQ(write.variable, "Found");
      hits.push_back(write.value);
    }
    return hits;
  }

  TempPrefix prefix_;
  ControlHost host_{"sv_search.dll", "sv_search", "Suche", "S_Suche"};
};

const std::string kLove = "c:\\music\\a\\Love Song.mp3";
const std::string kOther = "c:\\music\\a\\other.wav";
const std::string kSongOfLove = "c:\\music\\B\\song of love.MP3";
const std::string kDeep = "c:\\music\\B\\sub\\deep.mp3";
const std::string kTrack = "c:\\music\\c\\track7.wav";
const std::string kTop = "c:\\music\\Top.mp3";

TEST_F(Search, OnlyItsOwnClassIsMade) {
  ASSERT_NE(host_.control(), nullptr);
  ControlHost other("sv_search.dll", "sv_taginfo");
  EXPECT_EQ(other.control(), nullptr);
}

TEST_F(Search, ModesCombineWordsInWalkOrder) {
  struct Case {
    const char* text;
    const char* flag;
    Hits hits;
  };
  const Case cases[] = {
      {"love song", "oder", {kLove, kSongOfLove}},
      {"love song", "UND", {kLove, kSongOfLove}},
      {"love other", "und", {}},
      {"love other", "oder", {kLove, kOther, kSongOfLove}},
      {"love other", "und oder", {kLove, kOther, kSongOfLove}},  // both: any word
      {"love other", "", {kLove, kOther, kSongOfLove}},
      {"  love  song ", "und", {kLove, kSongOfLove}},  // empty words are skipped
      {"", "oder", {kLove, kOther, kSongOfLove, kDeep, kTrack, kTop}},  // "*.*"
      {"nothing", "oder", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(search(c.text, "path", c.flag), c.hits) << c.text << " / " << c.flag;
}

TEST_F(Search, PlacesDecideWhatTheWordsAreMatchedWith) {
  struct Case {
    const char* text;
    const char* places;
    Hits hits;
  };
  const Case cases[] = {
      {"music\\b", "path", {kSongOfLove, kDeep}},
      {"music\\b", "dateiname", {}},
      {"music\\b", "PATH dateiname", {kSongOfLove, kDeep}},  // path wins
      {"sub", "", {kDeep}},                                 // no place: path
      {"sub", "  xyz", {}},                                  // no known place
      {"deep", "dateiname tag", {kDeep, kDeep}},             // by name, then by tag
      {"band", "tag", {kLove, kSongOfLove, kDeep}},
      {"love", "Tag", {kDeep, kTrack}},  // the tag bytes, not the name
  };
  for (const Case& c : cases) EXPECT_EQ(search(c.text, c.places), c.hits) << c.text << " / " << c.places;
}

TEST_F(Search, WordsArePatternsWhenTheyAreNoSubstring) {
  struct Case {
    std::string text;
    Hits hits;
  };
  const Case cases[] = {
      {"*ove?s?ng.mp3", {kLove}},
      {"*ove s?ng.mp3", {}},  // two words, neither a match
      {"track#.wav", {kTrack}},
      {"track##.wav", {}},
      {"[st]o*", {kSongOfLove, kTop}},
      {"[", {}},  // a malformed list matches nothing
      {std::string(300, 'x'), {}},
  };
  for (const Case& c : cases) EXPECT_EQ(search(c.text, "dateiname"), c.hits) << c.text;
}

TEST_F(Search, EmptyMissingAndLoopingTreesEnd) {
  fs::create_directories(prefix_.driveC() / "empty");
  EXPECT_EQ(search("", "path", "oder", "c:\\empty"), Hits{});
  EXPECT_EQ(search("", "path", "oder", "c:\\nowhere"), Hits{});
  EXPECT_EQ(search("", "path", "oder", "c:\\music\\top.mp3"), Hits{});
  fs::create_symlink(prefix_.driveC() / "music", prefix_.driveC() / "music" / "B" / "loop");
  EXPECT_EQ(search("deep"), Hits{kDeep});
  EXPECT_EQ(search("deep", "path", "oder", "c:\\\\music\\\\b\\\\"), Hits{"c:\\music\\b\\sub\\deep.mp3"});
}

TEST_F(Search, PosixRootsJoinWithSlashes) {
  std::string root = (prefix_.driveC() / "music" / "B").string();
  EXPECT_EQ(search("e", "dateiname", "oder", root), (Hits{root + "/song of love.MP3", root + "/sub/deep.mp3"}));
  EXPECT_EQ(search("band", "tag", "oder", root + "/"), (Hits{root + "/song of love.MP3", root + "/sub/deep.mp3"}));
}

TEST_F(Search, EscOrF4AbortsWithoutReportingAnything) {
  struct Case {
    platform::Key key;
    int afterChecks;
    const char* places;
  };
  // Checks: 1 at the start, then one per walked entry (13 in this tree), then one per word and file.
  const Case cases[] = {
      {platform::Key::Escape, 2, "path"},     // during the walk
      {platform::Key::F4, 13, "path"},        // at the last walked entry
      {platform::Key::Escape, 16, "path"},    // while matching
      {platform::Key::F4, 20, "path tag"},    // in the second branch's walk
  };
  for (const Case& c : cases) {
    platform::clearKeys();
    platform::pressKey(c.key, c.afterChecks);
    EXPECT_EQ(search("", c.places), Hits{}) << c.afterChecks;
  }
  platform::clearKeys();
  platform::pressKey(platform::Key::Escape, 1);  // pressed before the search: forgotten
  EXPECT_EQ(search("deep"), Hits{kDeep});
  platform::clearKeys();
}

TEST_F(Search, AnyWordMatcherOnItsOwn) {
  std::vector<std::string> arguments = {kLove + "\r\n" + kDeep + "\r\n" + kTop + "\r\n", "earlier\r\n", "deep top", "true"};
  auto result = host_.call("SucheOder", arguments);
  EXPECT_TRUE(result.found);
  EXPECT_EQ(arguments[1], "earlier\r\n" + kDeep + "\r\n" + kTop + "\r\n");
  EXPECT_TRUE(host_.takeWrites().empty());
}

}  // namespace
