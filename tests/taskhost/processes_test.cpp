// The worker program and the job client as separate processes, talking through the channel of a prefix.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <cstdio>
#include <string>

#include "platform/files.h"
#include "platform/library.h"
#include "platform/windows.h"
#include "tests/support/audio_fixtures.h"
#include "tests/support/cd_image.h"
#include "tests/support/temp_prefix.h"

namespace {

struct CommandRun {
  int status;
  std::string output;
};

CommandRun run(const std::string& command) {
  CommandRun result{-1, {}};
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) result.output += buffer.data();
  int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class Processes : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  std::string jobctl = std::string(WAVEDESK_BIN_DIR) + "/jobctl";

  void SetUp() override { ::setenv("WAVEDESK_PREFIX", prefix.root().c_str(), 1); }
  void TearDown() override {
    if (platform::instanceRunning("taskhost")) run(jobctl + " end");
    ::unsetenv("WAVEDESK_PREFIX");
  }
};

TEST_F(Processes, TheJobClientStartsStopsAndEndsAWorker) {
  CommandRun stop = run(jobctl + " send command stop");
  EXPECT_EQ(stop.status, 0) << stop.output;
  EXPECT_NE(stop.output.find("stop 0"), std::string::npos) << stop.output;
  EXPECT_TRUE(platform::instanceRunning("taskhost"));

  CommandRun status = run(jobctl + " status");
  EXPECT_EQ(status.status, 0) << status.output;
  EXPECT_NE(status.output.find("Status: stop\nFortschritt: 0\n"), std::string::npos) << status.output;

  // A second worker in the same prefix ends at once.
  EXPECT_EQ(run(std::string(WAVEDESK_BIN_DIR) + "/taskhost").status, 0);

  CommandRun end = run(jobctl + " end");
  EXPECT_EQ(end.status, 0) << end.output;
  EXPECT_FALSE(platform::instanceRunning("taskhost"));
  platform::BoundLibrary kom("qmx_kom.dll");
  kom.call<int32_t()>("KomClose");
  std::string slot(31000, ' ');
  EXPECT_EQ((kom.call<int32_t(char*, int32_t)>("KomGetString", slot.data(), 0)), 6000);
  EXPECT_EQ(slot.substr(0, 6001), std::string(6001, '\0'));
}

TEST_F(Processes, TheJobClientTellsWhenNoStatusWillCome) {
  CommandRun quiet = run(jobctl + " send command play file000 x.mp3");
  EXPECT_EQ(quiet.status, 0) << quiet.output;
  EXPECT_NE(quiet.output.find("no status"), std::string::npos) << quiet.output;
  EXPECT_EQ(run(jobctl + " bogus").status, 2);
}

// The watchdog in real time: the only test that waits for it (the virtual clock covers its counts).
TEST_F(Processes, AWorkerWhoseHostWentAwayStopsAndThenEnds) {
  auto hostWindow = std::make_unique<platform::TopLevelWindow>("window 0", "Sonvia Wavedesk");
  ASSERT_EQ(run(jobctl + " send command stop").status, 0);
  ::usleep(2'500'000);  // the worker's first checks see the window
  hostWindow.reset();
  auto gone = std::chrono::steady_clock::now();
  platform::BoundLibrary kom("qmx_kom.dll");
  kom.call<int32_t()>("KomClose");
  double stoppedAfter = -1, endedAfter = -1;
  while (endedAfter < 0) {
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - gone).count();
    if (seconds > 30) break;
    std::string status(6000, '\0');
    kom.call<int32_t(char*, int32_t)>("KomGetString", status.data(), 1);
    if (stoppedAfter < 0 && status.find("\rAuftragsnummer\r2232213\r") != std::string::npos) stoppedAfter = seconds;
    if (!platform::instanceRunning("taskhost")) endedAfter = seconds;
    ::usleep(50'000);
  }
  EXPECT_GE(stoppedAfter, 2.0);
  EXPECT_LE(stoppedAfter, 6.0);  // about 3 s; the margin is for a loaded machine
  EXPECT_GE(endedAfter, 11.0);
  EXPECT_LE(endedAfter, 20.0);  // about 13 s
}

TEST_F(Processes, EncodeAndDecodeBackThroughTheWorker) {
  auto samples = testsupport::tones(44100, 2, 44100 * 3);
  ASSERT_TRUE(testsupport::writeSndfile(prefix.driveC() / "tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, samples));
  CommandRun encode = run(jobctl + " encode c:\\tone.wav c:\\tone.mp3 --bitrate 192");
  EXPECT_EQ(encode.status, 0) << encode.output;
  EXPECT_NE(encode.output.find("encode 1000"), std::string::npos) << encode.output;
  CommandRun decode = run(jobctl + " decode c:\\tone.mp3 c:\\back.wav");
  EXPECT_EQ(decode.status, 0) << decode.output;
  auto back = testsupport::readCanonicalWav(prefix.driveC() / "back.wav");
  ASSERT_TRUE(back);
  EXPECT_NEAR(static_cast<double>(back->frames()), 44100.0 * 3, 1152.0 * 2);  // within a frame or two of padding
  EXPECT_GT(testsupport::toneLevel(*back, 0, 441.0), 0.3);
  EXPECT_GT(testsupport::toneLevel(*back, 1, 882.0), 0.3);
}

TEST_F(Processes, GrabsReadTracksOfADiscImageExactly) {
  auto image = testsupport::writeCdImage(prefix.root() / "discs", "album", {{150}, {200}, {90}});
  prefix.writeIni("[drives]\nd = discs/album.cue, cdrom\n");
  CommandRun grab = run(jobctl + " grab 2 c:\\track2.wav");
  EXPECT_EQ(grab.status, 0) << grab.output;
  std::string wav = testsupport::readBytes(prefix.driveC() / "track2.wav");
  ASSERT_GE(wav.size(), 44u);
  EXPECT_TRUE(wav.substr(44) == image.trackBytes[1]) << "the track's samples, exactly";

  CommandRun beyond = run(jobctl + " grab 7 c:\\track7.wav");
  EXPECT_EQ(beyond.status, 1) << beyond.output;
  EXPECT_NE(beyond.output.find("error code 103"), std::string::npos) << beyond.output;  // the reader fails the read

  CommandRun mp3 = run(jobctl + " grab 3 c:\\track3.mp3 --mp3");
  EXPECT_EQ(mp3.status, 0) << mp3.output;
  EXPECT_GT(platform::fileLength("c:\\track3.mp3").value_or(0), 1000u);
}

}  // namespace
