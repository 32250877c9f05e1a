#include "sv_MP3Find/sv_MP3Find.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/library.h"
#include "tests/support/temp_prefix.h"

namespace {

using testsupport::TempPrefix;

class Mp3FindTest : public ::testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& bytes) {
    TempPrefix::touch(prefix_.driveC() / "MP3" / name, bytes);
    return "c:\\mp3\\" + name;
  }
  std::string contents(const std::string& name) {
    std::ifstream in(prefix_.driveC() / "MP3" / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TempPrefix prefix_;
};

std::string tagWithArtist(const std::string& mark, const std::string& artist) {
  std::string tag = mark + std::string(30, '\0') + artist;
  tag.resize(128, '\0');
  return tag;
}

TEST_F(Mp3FindTest, LoadFindsTheTagInAnyCase) {
  struct Case {
    const char* name;
    std::string bytes;
    int32_t result;
  };
  const std::string tag = tagWithArtist("TAG", "Artist");
  const Case cases[] = {
      {"tagged", std::string(1000, 'a') + tag, 0},
      {"tag alone", tag, 0},
      {"lower case", std::string(5, 'a') + tagWithArtist("tag", "x"), 0},
      {"mixed case", tagWithArtist("tAg", "x"), 0},
      {"no tag", std::string(1000, 'a'), -3},
      {"128 bytes without tag", std::string(128, 'T'), -3},
      {"127 bytes", std::string(127, 'T'), -2},
      {"100 bytes", std::string(100, 'a'), -2},
      {"empty", "", -2},
  };
  for (const Case& c : cases) {
    std::string path = file("a.mp3", c.bytes);
    char buffer[128];
    std::fill(buffer, buffer + 128, '#');
    EXPECT_EQ(MP3InfoLoad(path.c_str(), buffer), c.result) << c.name;
    std::string expected = c.result == 0 ? c.bytes.substr(c.bytes.size() - 128) : std::string(128, '#');
    EXPECT_EQ(std::string(buffer, 128), expected) << c.name;
  }
  char buffer[128];
  EXPECT_EQ(MP3InfoLoad("c:\\mp3\\missing.mp3", buffer), -1);
  EXPECT_EQ(MP3InfoLoad("c:\\mp3", buffer), -1);  // a folder
  EXPECT_EQ(MP3InfoLoad(nullptr, buffer), -2);
  EXPECT_EQ(MP3InfoLoad("c:\\mp3\\a.mp3", nullptr), -2);
}

TEST_F(Mp3FindTest, SaveReplacesATagOrAppendsOne) {
  const std::string tag = tagWithArtist("TAG", "New");
  struct Case {
    const char* name;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"100 bytes", std::string(100, 'a'), std::string(100, 'a') + tag},
      {"empty", "", tag},
      {"untagged", std::string(300, 'b'), std::string(300, 'b') + tag},
      {"tagged", std::string(50, 'c') + tagWithArtist("TAG", "Old"), std::string(50, 'c') + tag},
      {"lower-case tag", tagWithArtist("tag", "Old"), tag},
  };
  for (const Case& c : cases) {
    std::string path = file("s.mp3", c.before);
    EXPECT_EQ(MP3InfoSave(path.c_str(), tag.data()), 0) << c.name;
    EXPECT_EQ(contents("s.mp3"), c.after) << c.name;
  }
  std::string path = file("ro.mp3", "x");
  ::chmod((prefix_.driveC() / "MP3" / "ro.mp3").c_str(), 0444);
  EXPECT_EQ(MP3InfoSave(path.c_str(), tag.data()), -1);
  EXPECT_EQ(contents("ro.mp3"), "x");
  EXPECT_EQ(MP3InfoSave("c:\\mp3\\missing.mp3", tag.data()), -1);
  EXPECT_FALSE(std::filesystem::exists(prefix_.driveC() / "MP3" / "missing.mp3"));
  EXPECT_EQ(MP3InfoSave("c:\\mp3", tag.data()), -1);
  EXPECT_EQ(MP3InfoSave(path.c_str(), nullptr), -2);
}

TEST_F(Mp3FindTest, SearchLooksAtTheFirstAndLastWindows) {
  std::string big(20000, '.');
  auto with = [&](size_t at, const std::string& text) { return std::string(big).replace(at, text.size(), text); };
  struct Case {
    const char* name;
    std::string bytes;
    std::string word;
    int32_t result;
  };
  const Case cases[] = {
      {"empty word, empty file", "", "", 1000},
      {"word in an empty file", "", "a", 0},
      {"word longer than the file", "abc", "abcdef", 0},
      {"whole file", "abc", "ABC", 1000},
      {"artist in capitals", std::string(4000, 'x') + tagWithArtist("TAG", "Queen Band"), "queen band", 1000},
      {"first window", with(6090, "needle"), "NEEDLE", 1000},
      {"across the first window's end", with(6093, "needle"), "needle", 0},
      {"middle only", with(10000, "needle"), "needle", 0},
      {"last window", with(20000 - 6096, "needle"), "needle", 1000},
      {"across the last window's start", with(20000 - 6097, "needle"), "needle", 0},
      {"other bytes must be equal", "a-b", "A_B", 0},
      {"only ASCII letters fold", "caf\xE9", "CAF\xC9", 0},
      {"zero bytes in the file", std::string("a\0b", 3), std::string("A"), 1000},
      {"word cut to 300 characters", std::string(300, 'w'), std::string(300, 'W') + "zzz", 1000},
  };
  for (const Case& c : cases) {
    std::string path = file("f.mp3", c.bytes);
    EXPECT_EQ(MP3Suchen(path.c_str(), c.word.c_str()), c.result) << c.name;
  }
  EXPECT_EQ(MP3Suchen("c:\\mp3\\missing.mp3", ""), -1);
  EXPECT_EQ(MP3Suchen("c:\\mp3", "x"), -1);
  EXPECT_EQ(MP3Suchen(nullptr, "x"), -2);
  EXPECT_EQ(MP3Suchen("c:\\mp3\\f.mp3", nullptr), -2);
}

// Callers bind the library by its Windows name, as the suite binds its DLLs.
TEST(Mp3FindBinding, ExportsAreFoundByName) {
  ::setenv("WAVEDESK_PROGRAM_DIR", WAVEDESK_BIN_DIR, 1);
  platform::BoundLibrary library("sv_MP3Find.dll");
  ASSERT_TRUE(library.available());
  EXPECT_EQ(library.function<int32_t(const char*, char*)>("MP3InfoLoad"), &MP3InfoLoad);
  EXPECT_EQ(library.function<int32_t(const char*, const char*)>("MP3InfoSave"), &MP3InfoSave);
  EXPECT_EQ(library.function<int32_t(const char*, const char*)>("MP3Suchen"), &MP3Suchen);
}

}  // namespace
