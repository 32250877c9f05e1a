// The worker program and the job client as separate processes, talking through the channel of a prefix.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "platform/library.h"
#include "platform/windows.h"
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

}  // namespace
