#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(Files, FolderWalkListsFilesAndRealFoldersInAFixedOrder) {
  for (const char* name : {"b.mp3", "B.mp3", "_x.wav", "a.MP3", ".hidden.mp3", "Caf\xC3\xA9.mp3"})
    TempPrefix::touch(c / "w" / name);
  fs::create_directories(c / "w" / "Sub");
  fs::create_symlink(c / "w", c / "w" / "loop");               // a link to a folder: never followed
  fs::create_symlink(c / "w" / "b.mp3", c / "w" / "link.mp3");  // a link to a file is a file
  fs::create_symlink(c / "w" / "gone", c / "w" / "broken.mp3");
  ASSERT_EQ(::mkfifo((c / "w" / "pipe.mp3").c_str(), 0600), 0);
  auto names = [](const std::vector<platform::FolderEntry>& entries) {
    std::string out;
    for (const auto& e : entries) out += e.name + (e.folder ? "/ " : " ");
    return out;
  };
  // ASCII letters folded to lower case ('_' before letters), ties in byte order.
  EXPECT_EQ(names(platform::listFolder("c:\\W")), ".hidden.mp3 _x.wav a.MP3 B.mp3 b.mp3 Caf\xE9.mp3 link.mp3 Sub/ ");
  EXPECT_EQ(names(platform::listFolder((c / "w").string())),
            ".hidden.mp3 _x.wav a.MP3 B.mp3 b.mp3 Caf\xC3\xA9.mp3 link.mp3 Sub/ ");
  EXPECT_TRUE(platform::listFolder("c:\\w\\b.mp3").empty());
  EXPECT_TRUE(platform::listFolder("c:\\none").empty());
  fs::permissions(c / "w" / "Sub", fs::perms::none);
  EXPECT_TRUE(platform::listFolder("c:\\w\\sub").empty() || ::geteuid() == 0);
  fs::permissions(c / "w" / "Sub", fs::perms::owner_all);
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
