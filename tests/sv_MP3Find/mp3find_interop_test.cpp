// ID3v1 tags written by MP3InfoSave as other programs read them.
#include <gtest/gtest.h>

#include <string>

#include "sv_MP3Find/sv_MP3Find.h"
#include "tests/support/temp_prefix.h"
#include "tests/support/tool_output.h"

namespace {

using namespace testsupport;

std::string id3v1(const std::string& title, const std::string& artist) {
  std::string tag = "TAG" + title;
  tag.resize(33, '\0');
  tag += artist;
  tag.resize(127, '\0');
  return tag + '\x0D';  // genre 13: Pop
}

TEST(Mp3FindInterop, FfprobeShowsTheSavedTag) {
  if (!toolInstalled("ffmpeg") || !toolInstalled("ffprobe"))
    GTEST_SKIP() << "ffmpeg is not installed (make deps installs it)";
  TempPrefix prefix;
  auto file = prefix.driveC() / "song.mp3";
  std::string path = shellQuoted(file.string());
  ASSERT_TRUE(toolOutput("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1 -c:a libmp3lame -b:a 128k "
                         "-write_xing 0 -id3v2_version 0 -write_id3v1 0 " + path));
  std::string tag = id3v1("Night Drive", "The Examples");
  ASSERT_EQ(MP3InfoSave("c:\\song.mp3", tag.data()), 0);
  char loaded[128];
  ASSERT_EQ(MP3InfoLoad("c:\\song.mp3", loaded), 0);
  EXPECT_EQ(std::string(loaded, 128), tag);
  EXPECT_EQ(toolOutput("ffprobe -v error -show_entries format_tags=title,artist -of default=nw=1 " + path),
            "TAG:title=Night Drive\nTAG:artist=The Examples\n");
  EXPECT_EQ(MP3Suchen("c:\\song.mp3", "night DRIVE"), 1000);
}

}  // namespace
