// The decode job with the real conversion library, on the virtual clock: conversion steps run inside the
// job's own loop, so every run is the same.
#include <gtest/gtest.h>

#include "common/basic.h"
#include "platform/files.h"
#include "platform/windows.h"
#include "taskhost/jobs.h"
#include "taskhost/worker.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/temp_prefix.h"

namespace {

using taskhost::Worker;

// Keeps the progress of every status the worker writes.
class RecordingChannel : public taskhost::Channel {
 public:
  std::vector<int32_t> progress;
  void KomSetString(std::string_view text, int32_t slot) override {
    auto pairs = taskhost::parseMessage(text);
    if (slot == 1 && pairs.size() > 1 && pairs[0].second == "decode") progress.push_back(std::stoi(pairs[1].second));
    Channel::KomSetString(text, slot);
  }
};

class DecodeJob : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  platform::TopLevelWindow host{taskhost::kHostWindowClass, taskhost::kHostWindowTitle};
  RecordingChannel channel;
  taskhost::WorkerExecutors executors;
  std::function<void(const std::string&)> onLog;
  std::unique_ptr<Worker> worker;
  int order = 0;

  void SetUp() override {
    platform::useVirtualClock();
    channel.KomClose();
    worker = std::make_unique<Worker>(channel, executors, true,
                                      Worker::View{[this](const std::string& t) {
                                                     if (onLog) onLog(t);
                                                   },
                                                   nullptr, nullptr},
                                      [](int) {});
    executors.attach(*worker);
    worker->start();
  }
  void TearDown() override {
    worker.reset();
    platform::useRealClock();
  }

  void tone(const char* name, double seconds) {
    auto samples = testsupport::tones(44100, 2, static_cast<size_t>(seconds * 44100));
    ASSERT_TRUE(testsupport::writeSndfile(prefix.driveC() / name, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, samples));
  }
  void decode(std::vector<std::string> files, int64_t runMs = 1000) {
    std::vector<std::pair<std::string, std::string>> pairs{{"Auftragsnummer", std::to_string(++order)},
                                                           {"command", "decode"}};
    for (size_t i = 0; i < files.size(); ++i) pairs.push_back({"file" + common::zeroPadded(static_cast<long long>(i), 3), files[i]});
    channel.KomSetString(taskhost::buildMessage(pairs), 0);
    platform::run(runMs);
  }
  std::optional<testsupport::PcmWav> wav(const char* name) { return testsupport::readCanonicalWav(prefix.driveC() / name); }
};

TEST_F(DecodeJob, PairsAreDecodedAndAnUnpairedSourceIsSkipped) {
  tone("a.wav", 1.0);
  tone("b.wav", 0.5);
  decode({"c:\\a.wav", "c:\\a-out.wav", "c:\\b.wav"});
  EXPECT_EQ(worker->status().state, "decode");
  EXPECT_EQ(worker->status().convertProgress, 1000);
  auto out = wav("a-out.wav");
  ASSERT_TRUE(out);
  EXPECT_EQ(out->frames(), 44100u);
  EXPECT_FALSE(platform::fileExists("c:\\b-out.wav"));
}

TEST_F(DecodeJob, NothingToDoStillEndsAt1000) {
  ASSERT_TRUE(platform::writeFile("c:\\empty.mp3", ""));
  ASSERT_TRUE(platform::writeFile("c:\\kept.wav", "the user's file"));
  decode({"c:\\empty.mp3", "c:\\kept.wav"});
  EXPECT_EQ(worker->status().convertProgress, 1000);
  EXPECT_EQ(platform::readFile("c:\\kept.wav"), "the user's file");  // a 0-byte source touches no target
  decode({"", "c:\\x.wav"});
  EXPECT_EQ(worker->status().convertProgress, 1000);
}

TEST_F(DecodeJob, AFinishedDecodeIsNotRepeated) {
  tone("a.wav", 0.2);
  decode({"c:\\a.wav", "c:\\a-out.wav"});
  ASSERT_TRUE(platform::deleteFile("c:\\a-out.wav"));
  channel.KomSetString(taskhost::buildMessage({{"Auftragsnummer", std::to_string(order)}, {"command", "decode"},
                                               {"file000", "c:\\a.wav"}, {"file001", "c:\\a-out.wav"}}),
                       0);
  platform::run(1000);
  EXPECT_FALSE(platform::fileExists("c:\\a-out.wav"));
}

TEST_F(DecodeJob, AStopInTheMiddleOfAFileRemovesItsTargetAndKeepsFinishedPairs) {
  tone("a.wav", 0.5);
  tone("b.wav", 30.0);
  onLog = [&](const std::string& line) {
    if (line.rfind("decode2 c:\\b.wav", 0) == 0)
      channel.KomSetString(taskhost::buildMessage({{"Auftragsnummer", "999"}, {"command", "stop"}}), 0);
  };
  decode({"c:\\a.wav", "c:\\a-out.wav", "c:\\b.wav", "c:\\b-out.wav"});
  EXPECT_TRUE(wav("a-out.wav"));
  EXPECT_FALSE(platform::fileExists("c:\\b-out.wav"));
  EXPECT_EQ(worker->status().state, "stop");
  EXPECT_EQ(worker->status().convertProgress, 1000);
}

TEST_F(DecodeJob, ProgressRisesSmoothlyAndNeverGoesBack) {
  tone("a.wav", 20.0);
  decode({"c:\\a.wav", "c:\\a-out.wav"});
  const std::vector<int32_t>& seen = channel.progress;
  ASSERT_GT(seen.size(), 20u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i] - seen[i - 1], 100) << "a jump at " << i;
  EXPECT_EQ(seen.back(), 1000);
}

}  // namespace
