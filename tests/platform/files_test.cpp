#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "tests/support/temp_prefix.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

namespace {

class Files : public ::testing::Test {
 protected:
  TempPrefix prefix;
  fs::path c = prefix.driveC();
};

TEST_F(Files, ExistenceLengthAndAttributes) {
  TempPrefix::touch(c / "Music" / "a.mp3", "12345");
  TempPrefix::touch(c / "Music" / ".hidden", "");
  EXPECT_TRUE(platform::fileExists("c:\\MUSIC\\A.MP3"));
  EXPECT_FALSE(platform::fileExists("c:\\music"));
  EXPECT_TRUE(platform::folderExists("c:\\music\\"));
  EXPECT_FALSE(platform::folderExists("c:\\music\\a.mp3"));
  EXPECT_EQ(platform::fileLength("c:\\music\\a.mp3"), 5u);
  EXPECT_FALSE(platform::fileLength("c:\\music\\none.mp3"));
  EXPECT_EQ(platform::attributes("c:\\music"), platform::kAttrDirectory);
  EXPECT_EQ(platform::attributes("c:\\music\\.hidden"), platform::kAttrArchive | platform::kAttrHidden);

  ASSERT_TRUE(platform::setAttributes("c:\\music\\a.mp3", platform::kAttrReadOnly));
  EXPECT_EQ(platform::attributes("c:\\music\\a.mp3"), platform::kAttrArchive | platform::kAttrReadOnly);
  ASSERT_TRUE(platform::setAttributes("c:\\music\\a.mp3", platform::kAttrNormal));
  EXPECT_EQ(platform::attributes("c:\\music\\a.mp3"), platform::kAttrArchive);
  EXPECT_FALSE(platform::setAttributes("c:\\music\\none", platform::kAttrNormal));
}

TEST_F(Files, ReadOnlyFilesRefuseDeletionUntilCleared) {
  TempPrefix::touch(c / "t.wav");
  ASSERT_TRUE(platform::setAttributes("c:\\t.wav", platform::kAttrReadOnly));
  EXPECT_FALSE(platform::deleteFile("c:\\T.WAV"));
  EXPECT_TRUE(platform::fileExists("c:\\t.wav"));
  ASSERT_TRUE(platform::setAttributes("c:\\t.wav", platform::kAttrNormal));
  EXPECT_TRUE(platform::deleteFile("c:\\T.WAV"));
  EXPECT_FALSE(platform::fileExists("c:\\t.wav"));
  EXPECT_FALSE(platform::deleteFile("c:\\t.wav"));
  EXPECT_FALSE(platform::deleteFile("c:\\windows"));
}

TEST_F(Files, RenameCopyAndReplace) {
  TempPrefix::touch(c / "a.txt", "new");
  TempPrefix::touch(c / "b.txt", "old");
  EXPECT_FALSE(platform::renameFile("c:\\a.txt", "c:\\b.txt"));  // target exists
  EXPECT_TRUE(platform::renameFile("c:\\a.txt", "c:\\A.TXT"));   // only the case changes
  EXPECT_TRUE(platform::copyFile("c:\\a.txt", "c:\\b.txt"));
  EXPECT_EQ(platform::readFile("c:\\b.txt"), "new");
  EXPECT_FALSE(platform::copyFile("c:\\a.txt", "c:\\b.txt", false));
  EXPECT_FALSE(platform::copyFile("c:\\none.txt", "c:\\b.txt"));
  EXPECT_EQ(platform::readFile("c:\\b.txt"), "new");
  ASSERT_TRUE(platform::writeFile("c:\\c.txt", "third"));
  EXPECT_TRUE(platform::replaceFile("c:\\c.txt", "c:\\b.txt"));
  EXPECT_EQ(platform::readFile("c:\\b.txt"), "third");
  EXPECT_FALSE(platform::fileExists("c:\\c.txt"));
  EXPECT_TRUE(platform::renameFile("c:\\b.txt", "c:\\d.txt"));
  EXPECT_EQ(platform::listDirectory("c:\\*.txt"), (std::vector<std::string>{"A.TXT", "d.txt"}));
}

TEST_F(Files, FoldersAreCreatedAndRemovedOneLevelAtATime) {
  EXPECT_FALSE(platform::createFolder("c:\\x\\y"));
  EXPECT_TRUE(platform::createFolder("c:\\x"));
  EXPECT_TRUE(platform::createFolder("c:\\X\\y\\"));
  EXPECT_FALSE(platform::createFolder("c:\\x"));
  EXPECT_FALSE(platform::removeFolder("c:\\x"));  // not empty
  EXPECT_TRUE(platform::removeFolder("c:\\x\\Y"));
  EXPECT_TRUE(platform::removeFolder("c:\\x"));
  EXPECT_FALSE(platform::folderExists("c:\\x"));
  EXPECT_FALSE(platform::createFolder("q:\\x"));
}

TEST_F(Files, ListingByPatternAndAttributes) {
  for (const char* name : {"b.MP3", "a.mp3", "c.wav", "noext", ".secret.mp3"}) TempPrefix::touch(c / "m" / name);
  fs::create_directories(c / "m" / "Sub.mp3");
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::listDirectory("c:\\M\\*.mp3"), (V{"a.mp3", "b.MP3"}));
  EXPECT_EQ(platform::listDirectory("c:\\m\\*.*"), (V{"a.mp3", "b.MP3", "c.wav", "noext"}));
  EXPECT_EQ(platform::listDirectory("c:\\m\\"), (V{"a.mp3", "b.MP3", "c.wav", "noext"}));
  EXPECT_EQ(platform::listDirectory("c:\\m\\*.mp3", platform::kAttrHidden | platform::kAttrDirectory),
            (V{".secret.mp3", "a.mp3", "b.MP3", "Sub.mp3"}));
  EXPECT_EQ(platform::listDirectory("c:\\m\\?.wav"), (V{"c.wav"}));
  EXPECT_EQ(platform::listDirectory("c:\\m\\NOEXT"), (V{"noext"}));
  EXPECT_TRUE(platform::listDirectory("c:\\none\\*.*").empty());
  EXPECT_TRUE(platform::listDirectory("q:\\*.*").empty());
}

TEST(Wildcards, WindowsFileNameMatching) {
  struct Case {
    const char* name;
    const char* pattern;
    bool expected;
  } cases[] = {{"a.mp3", "*.MP3", true}, {"a.mp3x", "*.mp3", false}, {"noext", "*.*", true},
               {"noext", "noext.*", true}, {"a.b.c", "*.c", true},   {"abc", "a?c", true},
               {"ac", "a?c", false},       {"[x]#", "[x]#", true},   {"anything", "*", true}};
  for (const Case& c : cases)
    EXPECT_EQ(platform::wildcardMatch(c.name, c.pattern), c.expected) << c.name << " / " << c.pattern;
}

}  // namespace
