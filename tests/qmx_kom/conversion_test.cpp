// The stepwise conversion as the worker drives it: SoundPlay, SoundSchritt(0) until 1000, SoundSchritt(1000).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/library.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using testsupport::PcmWav;

enum Error { kOk = 0, kSourceUnreadable = 1, kNotAudio = 2, kTargetUnwritable = 3, kSourceDamaged = 4 };

class Conversion : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  platform::BoundLibrary kom{"qmx_kom.dll"};

  void SetUp() override {
    ASSERT_TRUE(kom.available());
    kom.call<int32_t(int32_t)>("SoundSetError", 0);
  }
  fs::path host(const std::string& name) const { return prefix.driveC() / name; }
  std::string windows(const std::string& name) const { return "C:\\" + name; }

  int32_t play(const std::string& source, const std::string& target) {
    return kom.call<int32_t(const char*, int32_t, const char*)>("SoundPlay", windows(source).c_str(), 0,
                                                                windows(target).c_str());
  }
  int32_t step(int32_t command = 0) { return kom.call<int32_t(int32_t)>("SoundSchritt", command); }
  int32_t error() { return kom.call<int32_t()>("SoundGetError"); }

  // Runs a whole conversion, checking after every step that progress never goes back and the target is a
  // valid WAV whose header matches what is on disk.
  std::optional<PcmWav> convert(const std::string& source, int* steps = nullptr) {
    if (play(source, "out.wav") == 0) return std::nullopt;
    int32_t last = 0;
    int count = 0;
    for (int32_t p = 0; p < 1000; last = p) {
      p = step();
      EXPECT_GE(p, last);
      EXPECT_LE(p, 1000);
      EXPECT_TRUE(testsupport::wavHeaderMatchesLength(host("out.wav"))) << "after step " << count;
      if (++count > 100000) break;
    }
    EXPECT_EQ(step(1000), 1000);
    if (steps != nullptr) *steps = count;
    return testsupport::readCanonicalWav(host("out.wav"));
  }
};

struct FormatCase {
  const char* name;
  std::function<bool(const fs::path&)> make;
  size_t expectedFrames;  // at 44100 Hz
  size_t frameSlack;      // frames the length may differ (resampler edges)
  double leftHz, rightHz;  // tones expected in each channel, level 0.5 unless mixed
  double leftLevel, rightLevel;
};

constexpr size_t kSecond = 44100;

std::vector<FormatCase> formatCases() {
  using testsupport::tones;
  using testsupport::writeMp3;
  using testsupport::writeSndfile;
  return {
      {"wav16_stereo", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tones(44100, 2, kSecond)); },
       kSecond, 0, 441, 882, 0.5, 0.5},
      {"wav16_mono_doubled", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, tones(44100, 1, kSecond)); },
       kSecond, 0, 441, 441, 0.5, 0.5},
      {"wav24_stereo", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, 2, tones(44100, 2, kSecond)); },
       kSecond, 0, 441, 882, 0.5, 0.5},
      {"wav_float_48k", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, tones(48000, 2, 48000)); },
       kSecond, 2, 441, 882, 0.5, 0.5},
      {"wav8_22k_mono", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 22050, 1, tones(22050, 1, 22050)); },
       kSecond, 2, 441, 441, 0.5, 0.5},
      {"flac_96k", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 96000, 2, tones(96000, 2, 96000)); },
       kSecond, 2, 441, 882, 0.5, 0.5},
      {"aiff16", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 44100, 2, tones(44100, 2, kSecond)); },
       kSecond, 0, 441, 882, 0.5, 0.5},
      // Four channels at 441, 882, 1323, 1764 Hz: the last two reach both sides at half weight, scaled by 1/2.
      {"wav_quad_mixed", [](const fs::path& f) { return writeSndfile(f, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 4, tones(44100, 4, kSecond, 441, 0.4)); },
       kSecond, 0, 441, 882, 0.2, 0.2},
      // LAME's header frame lets the decoder trim its padding: the length comes back exact.
      {"mp3_44k_stereo", [](const fs::path& f) { return writeMp3(f, 44100, 2, tones(44100, 2, kSecond)); },
       kSecond, 0, 441, 882, 0.5, 0.5},
      {"mp3_48k_mono", [](const fs::path& f) { return writeMp3(f, 48000, 1, tones(48000, 1, 48000), 96); },
       kSecond, 2, 441, 441, 0.5, 0.5},
      {"mp3_with_id3v2", [](const fs::path& f) {
         if (!writeMp3(f, 44100, 2, tones(44100, 2, kSecond))) return false;
         std::string body = testsupport::readBytes(f);
         std::string tag("ID3\x03\x00\x00\x00\x00\x00\x20", 10);
         std::string frame("TIT2\x00\x00\x00\x16\x00\x00\x00" "A title for the test\x00", 32);
         std::ofstream(f, std::ios::binary) << tag << frame << body;
         return true;
       },
       kSecond, 0, 441, 882, 0.5, 0.5},
  };
}

TEST_F(Conversion, EveryFormatBecomes44kStereo16BitWithItsSignal) {
  for (const FormatCase& c : formatCases()) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.make(host("source.bin")));
    auto wav = convert("source.bin");
    ASSERT_TRUE(wav);
    EXPECT_EQ(error(), kOk);
    EXPECT_EQ(wav->rate, 44100);
    EXPECT_EQ(wav->channels, 2);
    EXPECT_NEAR(double(wav->frames()), double(c.expectedFrames), double(c.frameSlack));
    // Measured past the first frames, where an encoder's or resampler's onset settles.
    EXPECT_NEAR(testsupport::toneLevel(*wav, 0, c.leftHz, 4410), c.leftLevel, 0.04);
    EXPECT_NEAR(testsupport::toneLevel(*wav, 1, c.rightHz, 4410), c.rightLevel, 0.04);
  }
}

TEST_F(Conversion, SixteenBitSourcesAreCopiedSampleForSample) {
  auto source = testsupport::tones(44100, 1, 1000);
  ASSERT_TRUE(testsupport::writeSndfile(host("mono.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, source));
  auto wav = convert("mono.wav");
  ASSERT_TRUE(wav);
  ASSERT_EQ(wav->frames(), 1000u);
  for (size_t i = 0; i < 1000; ++i) {
    const auto expected = static_cast<int16_t>(std::lrint(source[i] * 32767.0));
    ASSERT_NEAR(wav->samples[2 * i], expected, 1) << i;
    ASSERT_EQ(wav->samples[2 * i], wav->samples[2 * i + 1]) << i;
  }
}

// At 44100 Hz our samples are those of the reference decoder, mpg123 (installed by make deps), mono doubled.
TEST_F(Conversion, Mp3SamplesMatchTheReferenceDecoder) {
  if (std::system("command -v mpg123 >/dev/null 2>&1") != 0) GTEST_SKIP() << "mpg123 is not installed";
  const auto stereo = testsupport::tones(44100, 2, 5 * kSecond);
  struct Case {
    const char* name;
    std::function<bool(const fs::path&)> make;
  } cases[] = {
      {"cbr", [&](const fs::path& f) { return testsupport::writeMp3(f, 44100, 2, stereo, 192); }},
      {"vbr", [&](const fs::path& f) { return testsupport::writeMp3(f, 44100, 2, stereo, 128, 2); }},
      {"mono", [&](const fs::path& f) { return testsupport::writeMp3(f, 44100, 1, testsupport::tones(44100, 1, kSecond), 64); }},
      {"truncated", [&](const fs::path& f) {
         if (!testsupport::writeMp3(f, 44100, 2, stereo)) return false;
         std::string bytes = testsupport::readBytes(f);
         std::ofstream(f, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() * 2 / 3 + 11);
         return true;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.make(host("in.mp3")));
    const std::string command = "mpg123 -q -w '" + host("ref.wav").string() + "' '" + host("in.mp3").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    SF_INFO info{};
    SNDFILE* ref = sf_open(host("ref.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(ref, nullptr);
    std::vector<int16_t> expected(static_cast<size_t>(info.frames * info.channels));
    sf_readf_short(ref, expected.data(), info.frames);
    sf_close(ref);
    auto ours = convert("in.mp3");
    ASSERT_TRUE(ours);
    ASSERT_EQ(ours->frames(), static_cast<size_t>(info.frames));
    size_t differing = 0;
    for (size_t i = 0; i < ours->frames(); ++i)
      for (int ch = 0; ch < 2; ++ch)
        differing += ours->samples[2 * i + ch] != expected[i * info.channels + (info.channels == 2 ? ch : 0)];
    EXPECT_EQ(differing, 0u);
  }
}

TEST_F(Conversion, ProgressMovesInManySmallSteps) {
  ASSERT_TRUE(testsupport::writeMp3(host("long.mp3"), 44100, 2, testsupport::tones(44100, 2, 30 * kSecond)));
  int steps = 0;
  auto wav = convert("long.mp3", &steps);
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->frames(), 30 * kSecond);
  EXPECT_GE(steps, 100);
}

TEST_F(Conversion, StoppedMidwayLeavesAValidShorterFileAndTheNextConversionWorks) {
  ASSERT_TRUE(testsupport::writeMp3(host("long.mp3"), 44100, 2, testsupport::tones(44100, 2, 20 * kSecond)));
  ASSERT_NE(play("long.mp3", "out.wav"), 0);
  for (int i = 0; i < 5; ++i) EXPECT_LT(step(), 1000);
  EXPECT_EQ(step(1000), 1000);
  EXPECT_EQ(step(), 1000) << "nothing is open after the stop";
  auto partial = testsupport::readCanonicalWav(host("out.wav"));
  ASSERT_TRUE(partial);
  EXPECT_GT(partial->frames(), 0u);
  EXPECT_LT(partial->frames(), 20 * kSecond);
  auto whole = convert("long.mp3");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->frames(), 20 * kSecond);
}

TEST_F(Conversion, SourcesThatAreNotAudioAnswerNothingToConvert) {
  auto lowRateWav = [&] {
    testsupport::writeSndfile(host("low.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 500, 1, testsupport::tones(500, 1, 500, 50));
    return testsupport::readBytes(host("low.wav"));
  };
  std::string noise(20000, '\0');
  unsigned state = 12345;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  struct Case {
    const char* name;
    std::optional<std::string> content;  // none: the file is missing
    int32_t error;
  } cases[] = {
      {"missing", std::nullopt, kSourceUnreadable},
      {"empty", std::string(), kNotAudio},
      {"text", std::string("These are the notes of a song, not its sound.\r\n", 48), kNotAudio},
      {"noise", noise, kNotAudio},
      {"riff_without_data", std::string("RIFF\x04\x00\x00\x00WAVE", 12), kNotAudio},
      {"rate_of_500_hz", lowRateWav(), kNotAudio},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(host("in.mp3"));
    fs::remove(host("out.wav"));
    if (c.content) testsupport::TempPrefix::touch(host("in.mp3"), *c.content);
    kom.call<int32_t(int32_t)>("SoundSetError", 0);
    EXPECT_EQ(play("in.mp3", "out.wav"), 0);
    EXPECT_EQ(error(), c.error);
    EXPECT_FALSE(fs::exists(host("out.wav")));
    EXPECT_EQ(step(), 1000);
  }
}

TEST_F(Conversion, TargetsThatCannotBeWrittenAnswerNothingToConvert) {
  ASSERT_TRUE(testsupport::writeSndfile(host("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, testsupport::tones(44100, 2, 100)));
  const std::string original = testsupport::readBytes(host("a.wav"));
  for (const char* target : {"nowhere\\out.wav", "A.WAV"}) {
    SCOPED_TRACE(target);
    kom.call<int32_t(int32_t)>("SoundSetError", 0);
    EXPECT_EQ(play("a.wav", target), 0);
    EXPECT_EQ(error(), kTargetUnwritable);
  }
  EXPECT_EQ(testsupport::readBytes(host("a.wav")), original) << "a source named as its own target is kept";
}

TEST_F(Conversion, DamagedMp3DecodesWhatCanBeDecoded) {
  ASSERT_TRUE(testsupport::writeMp3(host("whole.mp3"), 44100, 2, testsupport::tones(44100, 2, 10 * kSecond)));
  const std::string whole = testsupport::readBytes(host("whole.mp3"));
  std::string truncated = whole.substr(0, whole.size() / 2 + 77);
  std::string holed = whole;
  std::fill(holed.begin() + holed.size() / 3, holed.begin() + holed.size() / 3 + 3000, '\xAA');
  struct Case {
    const char* name;
    std::string bytes;
    size_t minFrames, maxFrames;
  } cases[] = {
      {"truncated", truncated, 4 * kSecond, 6 * kSecond},
      {"garbage_inside", holed, 9 * kSecond, 10 * kSecond},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempPrefix::touch(host("bad.mp3"), c.bytes);
    auto wav = convert("bad.mp3");
    ASSERT_TRUE(wav);
    EXPECT_GE(wav->frames(), c.minFrames);
    EXPECT_LE(wav->frames(), c.maxFrames);
    // Before the damage the tone is intact (past it, skipped frames shift its phase).
    EXPECT_NEAR(testsupport::toneLevel(*wav, 0, 441, 4410, 3 * kSecond), 0.5, 0.04);
  }
}

TEST_F(Conversion, TruncatedWavKeepsTheSamplesItHas) {
  ASSERT_TRUE(testsupport::writeSndfile(host("whole.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, testsupport::tones(44100, 2, kSecond)));
  const std::string whole = testsupport::readBytes(host("whole.wav"));
  testsupport::TempPrefix::touch(host("cut.wav"), whole.substr(0, 44 + 4 * 1000 + 3));
  auto wav = convert("cut.wav");
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->frames(), 1000u);
}

}  // namespace
