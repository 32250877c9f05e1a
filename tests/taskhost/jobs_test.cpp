// Grab and encode jobs through the dispatcher, with a CD reader control and an encoder whose behaviour
// the tests set, on the virtual clock.
#include "taskhost/jobs.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <memory>
#include <thread>
#include <optional>

#include "outside/acd/acd.h"
#include "platform/files.h"
#include "platform/windows.h"
#include "taskhost/worker.h"
#include "tests/support/temp_prefix.h"

namespace {

using taskhost::Worker;
using Pairs = std::vector<std::pair<std::string, std::string>>;

class Jobs : public ::testing::Test {
 protected:
  std::string savedProgramDir = std::getenv("WAVEDESK_PROGRAM_DIR") ? std::getenv("WAVEDESK_PROGRAM_DIR") : "";
  testsupport::TempPrefix prefix;
  platform::TopLevelWindow host{taskhost::kHostWindowClass, taskhost::kHostWindowTitle};
  std::unique_ptr<platform::BoundLibrary> fakeAcd, fakeEncoder;
  taskhost::Channel channel;
  taskhost::WorkerExecutors executors;
  std::vector<std::string> log;
  std::unique_ptr<Worker> worker;
  int order = 0;

  void SetUp() override {
    ::setenv("WAVEDESK_PROGRAM_DIR", FAKE_BIN_DIR, 1);
    fakeAcd = std::make_unique<platform::BoundLibrary>("acd.ocx");
    fakeEncoder = std::make_unique<platform::BoundLibrary>("qmxmp3enc.dll");
    ASSERT_TRUE(fakeAcd->available() && fakeEncoder->available());
    platform::useVirtualClock();
    channel.KomClose();
    worker = std::make_unique<Worker>(
        channel, executors, true, Worker::View{[this](const std::string& t) { log.push_back(t); }, nullptr, nullptr},
        [](int) {});
    executors.attach(*worker);
    worker->start();
    fakeAcd->call<void(int)>("FakeAcdSetCreatable", 1);
    devices({{5, 100}});
    fakeEncoder->call<void(int)>("FakeEncoderSetSteps", 4);
  }
  void TearDown() override {
    worker.reset();
    platform::useRealClock();
    ::setenv("WAVEDESK_PROGRAM_DIR", savedProgramDir.c_str(), 1);
  }

  void devices(const std::vector<std::pair<int, int>>& tracksAndValues) {
    std::vector<int> tracks, values;
    for (auto [t, v] : tracksAndValues) {
      tracks.push_back(t);
      values.push_back(v);
    }
    fakeAcd->call<void(int, const int*, const int*)>("FakeAcdSetDevices", static_cast<int>(tracks.size()),
                                                     tracks.data(), values.data());
  }
  std::string acdCalls() { return fakeAcd->call<const char*()>("FakeAcdCalls"); }
  std::string encoderCalls() { return fakeEncoder->call<const char*()>("FakeEncoderCalls"); }
  void raise(int32_t event, int32_t value = 0) { fakeAcd->call<void(int32_t, int32_t)>("FakeAcdRaise", event, value); }

  // Jobs run inside the dispatch that started them, letting events run; what a test does while a job
  // runs is scheduled ahead, to happen that many milliseconds from now.
  std::vector<std::unique_ptr<platform::Timer>> scheduled;
  void at(int ms, std::function<void()> action) {
    auto self = std::make_shared<platform::Timer*>(nullptr);
    auto timer = std::make_unique<platform::Timer>(ms, [self, action] {
      (*self)->setEnabled(false);
      action();
    });
    *self = timer.get();
    scheduled.push_back(std::move(timer));
  }

  void job(Pairs pairs, int64_t runMs = 400) {
    pairs.insert(pairs.begin(), {"Auftragsnummer", std::to_string(++order)});
    channel.KomSetString(taskhost::buildMessage(pairs), 0);
    platform::run(runMs);
  }
  std::string status(const char* key) {
    std::string buffer(6000, '\0');
    channel.KomGetString(buffer.data(), 1);
    for (auto& [k, v] : taskhost::parseMessage(buffer.c_str()))
      if (k == key) return v;
    return "?";
  }
  // The device selected when the reading started.
  int readDevice() {
    std::string calls = acdCalls();
    size_t read = calls.find(" 6(");
    size_t select = calls.rfind(" 4(", read);
    return read == std::string::npos || select == std::string::npos ? 0 : std::atoi(calls.c_str() + select + 3);
  }
};

TEST_F(Jobs, GrabsReadFromTheDeviceThatHoldsTheTrack) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> devices;  // track count and first-track value of each device
    const char* track;
    int expected;
  } cases[] = {
      {"one device", {{5, 100}}, "Track03.cda", 1},
      {"track only on the second", {{3, 100}, {8, 200}}, "Track05.cda", 2},
      {"second has more tracks", {{8, 100}, {9, 200}}, "Track02.cda", 2},
      {"second has a smaller first value", {{8, 100}, {8, 50}}, "Track02.cda", 2},
      {"same discs", {{8, 100}, {8, 100}}, "Track02.cda", 1},
      {"only on the third", {{3, 100}, {4, 100}, {9, 100}}, "Track07.cda", 3},
      {"on none of three", {{3, 100}, {3, 100}, {3, 100}}, "Track05.cda", 1},
  };
  for (const Case& c : cases) {
    devices(c.devices);
    at(300, [&] { raise(kAcdReadComplete); });
    job({{"command", "grabwav"}, {"file000", c.track}, {"file001", "c:\\t.wav"}}, 600);
    EXPECT_EQ(readDevice(), c.expected) << c.name << ": " << acdCalls();
    EXPECT_EQ(status("Fortschritt"), "1000") << c.name;
  }
}

TEST_F(Jobs, AGrabReportsItsProgressUntilTheReadingCompletes) {
  std::string calls, during, capped;
  at(300, [&] {
    calls = acdCalls();
    raise(kAcdActPosition, 300);
    raise(kAcdActPosition, 301);
  });
  at(600, [&] {
    during = status("Fortschritt");
    raise(kAcdActPosition, 1200);
  });
  at(900, [&] {
    capped = status("Fortschritt");
    raise(kAcdReadComplete);
  });
  job({{"command", "grabwav"}, {"quality", "0"}, {"file000", "Track05.cda"}, {"file001", "c:\\track05.wav"}}, 1400);
  EXPECT_NE(calls.find("34(1) 6(5)"), std::string::npos) << calls;  // quality 0: plain reading, track 5
  EXPECT_EQ(during, "301");
  EXPECT_EQ(capped, "999");
  EXPECT_EQ(status("Status"), "grabwav");
  EXPECT_EQ(status("Fortschritt"), "1000");
  EXPECT_EQ(status("Fehlercode"), "0");
  EXPECT_TRUE(platform::fileExists("c:\\track05.wav"));
  EXPECT_NE(std::find(log.begin(), log.end(), "MKOMsetframe 300"), log.end());
  EXPECT_EQ(std::find(log.begin(), log.end(), "MKOMsetframe 301"), log.end());  // not a multiple of 3
}

TEST_F(Jobs, AStoppedGrabLeavesNoPartialFile) {
  bool partial = false;
  at(300, [&] {
    partial = platform::fileExists("c:\\t.wav");
    channel.KomSetString(taskhost::buildMessage({{"Auftragsnummer", "77"}, {"command", "stop"}}), 0);
  });
  job({{"command", "grabwav"}, {"file000", "Track01.cda"}, {"file001", "c:\\t.wav"}}, 800);
  EXPECT_TRUE(partial);
  EXPECT_FALSE(platform::fileExists("c:\\t.wav"));
  EXPECT_EQ(status("Status"), "stop");
  EXPECT_EQ(worker->status().convertProgress, 1000);
  EXPECT_NE(acdCalls().find("14(0)"), std::string::npos);  // the reading was stopped
}

TEST_F(Jobs, GrabsThatCannotReadEndWithAnErrorCode) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> devices;
    bool creatable;
  } cases[] = {{"track beyond the disc", {{3, 100}}, true},
               {"no disc", {{0, 0}}, true},
               {"more than 101 tracks", {{102, 1}}, true},
               {"no reader control", {{5, 100}}, false}};
  for (const Case& c : cases) {
    devices(c.devices);
    fakeAcd->call<void(int)>("FakeAcdSetCreatable", c.creatable ? 1 : 0);
    if (!c.creatable) executors.modules().grab.unloadForm();
    job({{"command", "grabwav"}, {"file000", "Track05.cda"}, {"file001", "c:\\t.wav"}});
    EXPECT_EQ(status("Fortschritt"), "1000") << c.name;
    EXPECT_EQ(status("Fehlercode"), std::to_string(taskhost::kErrorNoTrack)) << c.name;
    EXPECT_FALSE(platform::fileExists("c:\\t.wav")) << c.name;
  }
  EXPECT_EQ(executors.modules().grab.cdFormState(), -1);
}

TEST_F(Jobs, AFailedGrabEndsLikeACompletedOneWithAnErrorCode) {
  ASSERT_TRUE(platform::writeFile("c:\\t.wav", "old"));
  ASSERT_TRUE(platform::setAttributes("c:\\t.wav", platform::kAttrReadOnly));
  std::optional<std::string> replaced;
  at(300, [&] {
    replaced = platform::readFile("c:\\t.wav");
    raise(kAcdFailure, 7);
  });
  job({{"command", "grabwav"}, {"file000", "Track02.cda"}, {"file001", "c:\\t.wav"}}, 800);
  EXPECT_EQ(replaced, "RIFF partial");  // a read-only target is replaced
  EXPECT_EQ(status("Fortschritt"), "1000");
  EXPECT_EQ(status("Fehlercode"), std::to_string(taskhost::kErrorGrabFailed));
}

TEST_F(Jobs, EncodesDriveTheEncoderToItsEnd) {
  ASSERT_TRUE(platform::writeFile("c:\\in.wav", "pcm"));
  job({{"command", "encode"}, {"quality", "1"}, {"speed", "192"}, {"file000", "c:\\in.wav"}, {"file001", "c:\\out.mp3"}}, 3000);
  EXPECT_NE(encoderCalls().find("stop load quality1 start(c:\\in.wav,c:\\out.mp3,192) "), std::string::npos)
      << encoderCalls();
  EXPECT_EQ(status("Status"), "encode");
  EXPECT_EQ(status("Fortschritt"), "1000");
  EXPECT_EQ(status("Fehlercode"), "0");
  EXPECT_EQ(platform::readFile("c:\\out.mp3"), "pcm");

  job({{"command", "encode"}, {"quality", "0"}, {"speed", "0"}, {"file000", "c:\\in.wav"}, {"file001", "c:\\out.mp3"}}, 3000);
  EXPECT_NE(encoderCalls().find("quality0 start(c:\\in.wav,c:\\out.mp3,128)"), std::string::npos) << encoderCalls();
}

TEST_F(Jobs, AnEncodeWithoutSourceEndsAfterWaitingForIt) {
  int64_t before = platform::nowMs();
  job({{"command", "encode"}, {"file000", "c:\\missing.wav"}, {"file001", "c:\\out.mp3"}}, 200);
  EXPECT_GE(platform::nowMs() - before, 2100);  // 21 waits of 100 ms
  EXPECT_EQ(status("Fortschritt"), "1000");
  EXPECT_EQ(status("Fehlercode"), std::to_string(taskhost::kErrorSourceMissing));
  EXPECT_FALSE(platform::fileExists("c:\\out.mp3"));
}

// Real time: the source appears while the controller waits for it (it lets nothing else run meanwhile).
TEST_F(Jobs, AnEncodeWaitsAboutTwoSecondsForItsSource) {
  platform::useRealClock();
  for (auto [delayMs, encoded] : {std::pair{1500, true}, std::pair{3000, false}}) {
    std::thread writer([delayMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
      platform::writeFile("c:\\late.wav", "pcm");
    });
    job({{"command", "encode"}, {"file000", "c:\\late.wav"}, {"file001", "c:\\late.mp3"}}, 250);  // the job runs inside
    writer.join();
    EXPECT_EQ(platform::fileExists("c:\\late.mp3"), encoded) << delayMs << " ms";
    EXPECT_EQ(status("Fehlercode"), encoded ? "0" : std::to_string(taskhost::kErrorSourceMissing)) << delayMs << " ms";
    platform::deleteFile("c:\\late.wav");
    platform::deleteFile("c:\\late.mp3");
  }
}

TEST_F(Jobs, AStoppedEncodeLeavesNoPartialFile) {
  fakeEncoder->call<void(int)>("FakeEncoderSetSteps", 1000);
  ASSERT_TRUE(platform::writeFile("c:\\in.wav", "pcm"));
  bool partial = false;
  int progress = 0;
  at(1000, [&] {
    partial = platform::fileExists("c:\\out.mp3");
    progress = std::stoi(status("Fortschritt"));
    channel.KomSetString(taskhost::buildMessage({{"Auftragsnummer", "77"}, {"command", "stop"}}), 0);
  });
  job({{"command", "encode"}, {"file000", "c:\\in.wav"}, {"file001", "c:\\out.mp3"}}, 1600);
  EXPECT_TRUE(partial);
  EXPECT_GT(progress, 0);
  EXPECT_LT(progress, 1000);
  EXPECT_FALSE(platform::fileExists("c:\\out.mp3"));
  EXPECT_EQ(status("Status"), "stop");
  EXPECT_EQ(worker->status().convertProgress, 1000);
}

TEST_F(Jobs, Mp3GrabsEncodeTheTrackAndRemoveTheirWav) {
  std::string half;
  at(300, [&] { raise(kAcdActPosition, 600); });
  at(600, [&] {
    half = status("Fortschritt");
    raise(kAcdReadComplete);
  });
  job({{"command", "grabmp3"}, {"speed", "160"}, {"file000", "Track04.cda"}, {"file001", "c:\\t.mp3"}}, 4000);
  EXPECT_EQ(half, "300");  // the grab is the first half of the job
  EXPECT_EQ(status("Status"), "grabmp3");
  EXPECT_EQ(status("Fortschritt"), "1000");
  EXPECT_EQ(platform::readFile("c:\\t.mp3"), "RIFF partial");
  EXPECT_FALSE(platform::fileExists(worker->tempFile()));
  EXPECT_NE(encoderCalls().find("start(" + worker->tempFile() + ",c:\\t.mp3,160)"), std::string::npos) << encoderCalls();
}

}  // namespace
