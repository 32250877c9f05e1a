// Outputs of the mixer as other programs read them.
#include <gtest/gtest.h>

#include <string>

#include "sv_fad/sv_fad.h"
#include "tests/support/riff_bytes.h"
#include "tests/support/temp_prefix.h"
#include "tests/support/tool_output.h"

namespace {

using namespace testsupport;

constexpr size_t kSecond = 176400;

std::string tone(size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes / 2; ++i) out += le16(static_cast<uint16_t>((i * 37) % 20000));
  return out;
}

TEST(FadInterop, OutputsReadWithTheirLengthsBySoxAndFfprobe) {
  bool sox = toolInstalled("sox");
  bool ffprobe = toolInstalled("ffprobe");
  if (!sox && !ffprobe) GTEST_SKIP() << "neither sox nor ffprobe is installed (make deps installs both)";
  TempPrefix prefix;
  auto folder = prefix.driveC() / "burn";
  TempPrefix::touch(folder / "a.wav", cdWav(tone(10 * kSecond)));
  TempPrefix::touch(folder / "b.wav", cdWav(tone(10 * kSecond)));
  TempPrefix::touch(folder / "c.wav", cdWav(tone(3 * kSecond + 4)));
  addFile("c:\\burn\\a.wav", "c:\\burn\\o1.wav", 2000, 500, 3);
  addFile("c:\\burn\\b.wav", "c:\\burn\\o2.wav", 1000, 0, 0);
  addFile("c:\\burn\\c.wav", "c:\\burn\\o3.wav", 0, 0, 0);
  ASSERT_EQ(crossFader(), 0);
  ASSERT_EQ(stepFade(), 1);
  ASSERT_EQ(stepFade(), 1);
  ASSERT_EQ(stepFade(), 1000);

  const std::pair<const char*, size_t> outputs[] = {
      {"o1.wav", 1411200 + 196608}, {"o2.wav", 156192 + 1411200 + kSecond}, {"o3.wav", 3 * kSecond + 4}};
  for (const auto& [name, bytes] : outputs) {
    std::string path = shellQuoted((folder / name).string());
    std::string frames = std::to_string(bytes / 4);
    if (sox) {
      EXPECT_EQ(toolOutput("sox --i -s " + path), frames + "\n") << name;
      EXPECT_EQ(toolOutput("sox --i -r " + path), "44100\n") << name;
      EXPECT_EQ(toolOutput("sox --i -c " + path), "2\n") << name;
    }
    if (ffprobe) {
      EXPECT_EQ(toolOutput("ffprobe -v error -show_entries stream=codec_name,sample_rate,channels,duration_ts "
                           "-of default=nw=1 " + path),
                "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\nduration_ts=" + frames + "\n")
          << name;
    }
  }
}

}  // namespace
