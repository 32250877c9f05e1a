// The MP3 encoder library as the worker binds it, checked by decoding its files back.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/library.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class Encoder : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  platform::BoundLibrary enc{"qmxmp3enc.dll"};
  platform::BoundLibrary kom{"qmx_kom.dll"};

  void SetUp() override {
    ASSERT_TRUE(enc.available());
    ASSERT_TRUE(kom.available());
    enc.call<int32_t()>("mp3encLoadEncoder");
  }
  void TearDown() override { enc.call<int32_t()>("mp3encUnloadEncoder"); }

  fs::path host(const std::string& name) const { return prefix.driveC() / name; }
  static std::string windows(const std::string& name) { return "c:\\" + name; }

  int32_t progress() { return enc.call<int32_t()>("mp3encGetProgress"); }
  void start(const std::string& source, const std::string& target, int32_t rate, bool stream = false) {
    enc.call<int32_t(const char*, const char*, int32_t)>(stream ? "mp3encStartStream" : "mp3encStartFile",
                                                         windows(source).c_str(), windows(target).c_str(), rate);
  }
  // Polls as the worker does until the encoder reports an end (1000 or nothing to do); checks that
  // progress never goes back on the way.
  int32_t waitForEnd() {
    int32_t last = 0;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      const int32_t p = progress();
      if (p < 0 || p == 1000) return p;
      EXPECT_GE(p, last);
      last = p;
      std::this_thread::sleep_for(2ms);
    }
    ADD_FAILURE() << "the encode never ended";
    return last;
  }
  std::optional<testsupport::PcmWav> decode(const std::string& mp3) {
    using Play = int32_t(const char*, int32_t, const char*);
    if (kom.call<Play>("SoundPlay", windows(mp3).c_str(), 0, windows("back.wav").c_str()) == 0) return std::nullopt;
    while (kom.call<int32_t(int32_t)>("SoundSchritt", 0) < 1000) {
    }
    kom.call<int32_t(int32_t)>("SoundSchritt", 1000);
    return testsupport::readCanonicalWav(host("back.wav"));
  }
};

TEST_F(Encoder, EncodesAtTheRateAndQualityAskedAndDecodesBackToTheSameLength) {
  constexpr size_t kFrames = 3 * 44100;
  struct Case {
    int rate, channels;
    int32_t kbps, quality, expectedKbps;
  } cases[] = {
      {44100, 2, 128, 0, 128},
      {44100, 2, 192, 1, 192},
      {44100, 1, 64, 1, 64},
      {44100, 2, 0, 0, 128},    // no rate given
      {44100, 2, 999, 0, 128},  // no such rate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kbps << " kbit/s, quality " << c.quality << ", " << c.channels << " ch");
    ASSERT_TRUE(testsupport::writeSndfile(host("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, c.rate, c.channels,
                                          testsupport::tones(c.rate, c.channels, kFrames)));
    enc.call<int32_t(int32_t)>("mp3encSetQuality", c.quality);
    start("in.wav", "out.mp3", c.kbps);
    ASSERT_EQ(waitForEnd(), 1000);
    const std::string mp3 = testsupport::readBytes(host("out.mp3"));
    ASSERT_GT(mp3.size(), 1000u);
    EXPECT_EQ(static_cast<unsigned char>(mp3[0]), 0xFF) << "no tag before the first frame";
    EXPECT_NE(mp3.compare(mp3.size() - 128, 3, "TAG"), 0) << "no tag after the last frame";
    const double seconds = double(kFrames) / c.rate;
    EXPECT_NEAR(double(mp3.size()) * 8 / 1000 / seconds, c.expectedKbps, c.expectedKbps * 0.1);
    auto back = decode("out.mp3");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->frames(), kFrames);
    EXPECT_NEAR(testsupport::toneLevel(*back, 0, 441, 4410), 0.5, 0.04);
    EXPECT_NEAR(testsupport::toneLevel(*back, 1, c.channels == 2 ? 882 : 441, 4410), 0.5, 0.04);
  }
}

TEST_F(Encoder, NothingToDoIsNegative) {
  EXPECT_LT(progress(), 0) << "before any start";
  start("missing.wav", "out.mp3", 128);
  EXPECT_LT(waitForEnd(), 0);
  EXPECT_FALSE(fs::exists(host("out.mp3")));
  testsupport::TempPrefix::touch(host("text.wav"), "not a sound at all");
  start("text.wav", "out.mp3", 128);
  EXPECT_LT(waitForEnd(), 0);
  EXPECT_FALSE(fs::exists(host("out.mp3")));
  ASSERT_TRUE(testsupport::writeSndfile(host("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                        testsupport::tones(44100, 2, 4410)));
  const std::string original = testsupport::readBytes(host("in.wav"));
  start("in.wav", "IN.WAV", 128);
  EXPECT_LT(waitForEnd(), 0);
  EXPECT_EQ(testsupport::readBytes(host("in.wav")), original) << "a source named as its own target is kept";
}

TEST_F(Encoder, StopMidwayRemovesTheUnfinishedTargetButKeepsAFinishedOne) {
  ASSERT_TRUE(testsupport::writeSndfile(host("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                        testsupport::tones(44100, 2, 120 * 44100)));
  start("long.wav", "out.mp3", 128);
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (progress() < 5 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
  ASSERT_LT(progress(), 1000) << "the encode finished before it could be stopped";
  enc.call<int32_t()>("mp3encStop");
  EXPECT_LT(progress(), 0);
  EXPECT_FALSE(fs::exists(host("out.mp3")));

  ASSERT_TRUE(testsupport::writeSndfile(host("short.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                        testsupport::tones(44100, 2, 44100)));
  start("short.wav", "out.mp3", 128);
  ASSERT_EQ(waitForEnd(), 1000);
  enc.call<int32_t()>("mp3encStop");
  EXPECT_TRUE(fs::exists(host("out.mp3")));
}

TEST_F(Encoder, StreamFollowsAGrowingWavUntilItsWriterFinishes) {
  constexpr size_t kFrames = 2 * 44100;
  ASSERT_TRUE(testsupport::writeSndfile(host("whole.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                                        testsupport::tones(44100, 2, kFrames)));
  const std::string whole = testsupport::readBytes(host("whole.wav"));
  ASSERT_EQ(whole.size(), 44 + kFrames * 4);
  struct Case {
    const char* name;
    bool finishWithHeader;  // else the stream is declared ended
  } cases[] = {{"header gets its size", true}, {"stream declared ended", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string growing = whole.substr(0, 44 + kFrames * 2);
    growing.replace(40, 4, std::string(4, '\0'));  // the writer has not finished
    growing.replace(4, 4, std::string(4, '\0'));
    testsupport::TempPrefix::touch(host("grow.wav"), growing);
    start("grow.wav", "out.mp3", 128, true);
    std::this_thread::sleep_for(100ms);
    EXPECT_GE(progress(), 0);
    EXPECT_LT(progress(), 1000) << "a stream does not end while its writer is still at work";
    {
      std::fstream file(host("grow.wav"), std::ios::binary | std::ios::in | std::ios::out);
      file.seekp(0, std::ios::end);
      file << whole.substr(44 + kFrames * 2);
      if (c.finishWithHeader) {
        file.seekp(0);
        file << whole.substr(0, 44);
      }
    }
    if (!c.finishWithHeader) enc.call<int32_t()>("mp3encStopStream");
    ASSERT_EQ(waitForEnd(), 1000);
    auto back = decode("out.mp3");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->frames(), kFrames);
  }
}

}  // namespace
