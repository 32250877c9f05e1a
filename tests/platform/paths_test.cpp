#include "platform/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/temp_prefix.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

namespace {

TEST(Prefix, FreshPrefixHasDriveCWithSystemFolders) {
  TempPrefix prefix;
  EXPECT_TRUE(fs::is_directory(prefix.driveC() / "windows" / "system"));
  EXPECT_TRUE(fs::is_directory(prefix.driveC() / "windows" / "temp"));
  EXPECT_EQ(platform::windowsFolder(), "c:\\windows\\");
  EXPECT_EQ(platform::systemFolder(), "c:\\windows\\system\\");
  EXPECT_EQ(platform::tempFolder(), "c:\\windows\\temp\\");
  EXPECT_EQ(platform::hostPath("Z:\\etc\\hostname"), fs::path("/etc/hostname"));
  EXPECT_TRUE(platform::hostPath("q:\\a").empty());  // unmapped drive has no root
  EXPECT_TRUE(platform::machine()->problems().empty());
}

TEST(Prefix, ResolvesComponentsWithoutRegardToCase) {
  TempPrefix prefix;
  TempPrefix::touch(prefix.driveC() / "Music" / "Best Of" / "Song.MP3");
  EXPECT_EQ(platform::hostPath("c:\\music\\BEST OF\\song.mp3"), prefix.driveC() / "Music/Best Of/Song.MP3");
  EXPECT_EQ(platform::hostPath("C:/MUSIC/best of/new.wav"), prefix.driveC() / "Music/Best Of/new.wav");
  // Once a component is missing, the rest is taken as written.
  EXPECT_EQ(platform::hostPath("c:\\music\\New\\Song.mp3"), prefix.driveC() / "Music/New/Song.mp3");
  EXPECT_EQ(platform::hostPath("c:\\music\\.\\x\\..\\..\\..\\..\\music"), prefix.driveC() / "Music");
  EXPECT_EQ(platform::hostPath("\\music"), prefix.driveC() / "Music");
  EXPECT_EQ(platform::hostPath("c:"), prefix.driveC());
  EXPECT_EQ(platform::hostPath("c:\\music\0junk"), prefix.driveC() / "Music");
  EXPECT_TRUE(platform::hostPath("\\\\server\\share").empty());
}

TEST(Prefix, AccentedNamesMapToUtf8HostNames) {
  TempPrefix prefix;
  TempPrefix::touch(prefix.driveC() / "Café.mp3");
  EXPECT_EQ(platform::hostPath("c:\\CAF\xC9.MP3"), prefix.driveC() / "Café.mp3");
  EXPECT_EQ(platform::windowsPath(prefix.driveC() / "Café.mp3"), "c:\\Caf\xE9.mp3");
}

TEST(Prefix, PosixAndRelativePaths) {
  TempPrefix prefix;
  EXPECT_EQ(platform::hostPath("/tmp/A\\b"), fs::path("/tmp/A\\b"));
  TempPrefix::touch(prefix.root() / "work" / "Data.txt");
  fs::path before = fs::current_path();
  fs::current_path(prefix.root() / "work");
  EXPECT_EQ(fs::absolute(platform::hostPath(".\\DATA.TXT")).lexically_normal(), prefix.root() / "work" / "Data.txt");
  fs::current_path(before);
}

TEST(Prefix, MappedDrivesTypesAndFolders) {
  TempPrefix prefix;
  fs::create_directories(prefix.root() / "cd");
  fs::create_directories(prefix.root() / "stick");
  prefix.writeIni(
      "[drives]\n"
      "d = cd, cdrom\n"
      "E = " + (prefix.root() / "stick").string() + ", removable\n"
      "f = missing-folder\n"
      "g = music, fixed, 100M\n"
      "h = x, floppy\n"
      "7 = nothing\n"
      "[folders]\n"
      "temp = d:\\tmp\n"
      "system = relative\n");
  auto config = platform::machine();
  EXPECT_EQ(platform::driveType("d:\\"), platform::DriveType::CdRom);
  EXPECT_EQ(platform::driveType("E:\\anything"), platform::DriveType::Removable);
  EXPECT_EQ(platform::driveType("c:\\"), platform::DriveType::Fixed);
  EXPECT_EQ(platform::driveType("f:\\"), platform::DriveType::NoRoot);
  EXPECT_EQ(platform::driveType("k:\\"), platform::DriveType::NoRoot);
  EXPECT_EQ(platform::driveType((prefix.root() / "stick").string()), platform::DriveType::Removable);
  EXPECT_EQ(platform::hostPath("d:\\a"), prefix.root() / "cd" / "a");
  EXPECT_EQ(platform::tempFolder(), "d:\\tmp\\");
  EXPECT_TRUE(fs::is_directory(prefix.root() / "cd" / "tmp"));
  EXPECT_EQ(platform::systemFolder(), "c:\\windows\\system\\");  // a bad entry keeps the default
  EXPECT_EQ(config->problems().size(), 3u) << "unknown type, bad letter, folder without drive";
  EXPECT_EQ(platform::windowsPath(prefix.root() / "stick" / "x.mp3"), "e:\\x.mp3");
  EXPECT_EQ(platform::windowsPath("/usr/bin"), "z:\\usr\\bin");
}

TEST(Prefix, FreeSpaceHonoursTheDriveLimit) {
  TempPrefix prefix;
  fs::create_directories(prefix.root() / "small");
  prefix.writeIni("[drives]\nd = small, fixed, 100M\n");
  EXPECT_EQ(platform::freeBytes("d:\\x\\y"), 100ull << 20);
  auto free = platform::freeBytes("c:\\");
  ASSERT_TRUE(free);
  EXPECT_GT(*free, 0u);
  EXPECT_FALSE(platform::freeBytes("q:\\"));
}

TEST(Prefix, ProgramFolderIsAWindowsPath) {
  std::string folder = platform::programFolder();
  ASSERT_GE(folder.size(), 3u);
  EXPECT_EQ(folder[1], ':');
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_TRUE(fs::is_directory(platform::hostPath(folder)));
}

}  // namespace
