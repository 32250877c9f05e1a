// INFO texts written by wavInfoSave as other programs read them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "sv_wavfind/sv_wavfind.h"
#include "tests/support/riff_bytes.h"
#include "tests/support/temp_prefix.h"
#include "tests/support/tool_output.h"

namespace {

using namespace testsupport;

TEST(WavFindInterop, FfprobeShowsTheSavedTexts) {
  if (!toolInstalled("ffprobe")) GTEST_SKIP() << "ffprobe is not installed (make deps installs ffmpeg)";
  TempPrefix prefix;
  auto file = prefix.driveC() / "song.wav";
  TempPrefix::touch(file, cdWav(std::string(176400, '\x11')));
  char record[wavfind::kRecordSize] = {};
  auto set = [&](int slot, const char* text) { std::strcpy(record + wavfind::slotOffset(slot), text); };
  set(wavfind::kTitle, "Night Drive");
  set(wavfind::kArtist, "The Examples");
  set(wavfind::kGenre, "Synthpop");
  set(wavfind::kComment, "first comment");
  ASSERT_TRUE(wavInfoSave("c:\\song.wav", record));
  std::string path = shellQuoted(file.string());
  EXPECT_EQ(toolOutput("ffprobe -v error -show_entries format_tags=title,artist,genre -of default=nw=1 " + path),
            "TAG:title=Night Drive\nTAG:artist=The Examples\nTAG:genre=Synthpop\n");
  EXPECT_EQ(toolOutput("ffprobe -v error -show_entries stream=duration_ts -of default=nw=1 " + path),
            "duration_ts=44100\n");
  if (toolInstalled("sox")) {
    EXPECT_EQ(toolOutput("sox --i -s " + path), "44100\n");
  }
}

}  // namespace
