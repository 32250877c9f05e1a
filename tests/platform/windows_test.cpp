#include "platform/windows.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_prefix.h"

namespace {

// Runs body in a child process that then waits to be killed; returns once the child has signalled that
// body ran.
pid_t inChild(const std::function<void()>& body) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    body();
    char byte = 1;
    (void)!::write(ready[1], &byte, 1);
    while (true) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  (void)!::read(ready[0], &byte, 1);
  ::close(ready[0]);
  return pid;
}

void killAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

TEST(Windows, AnotherProcessFindsAWindowUntilItsProcessIsKilled) {
  testsupport::TempPrefix prefix;
  EXPECT_FALSE(platform::findWindow("window 0", "Sonvia Wavedesk"));
  pid_t host = inChild([] { new platform::TopLevelWindow("window 0", "Sonvia Wavedesk"); });
  ASSERT_GT(host, 0);
  EXPECT_EQ(platform::findWindow("WINDOW 0", "sonvia wavedesk"), host);
  EXPECT_FALSE(platform::findWindow("window 0", "Sonvia"));
  EXPECT_FALSE(platform::findWindow("window 1", "Sonvia Wavedesk"));
  killAndReap(host);
  EXPECT_FALSE(platform::findWindow("window 0", "Sonvia Wavedesk"));
  EXPECT_TRUE(std::filesystem::is_empty(prefix.root() / ".run" / "windows"));  // the stale entry is gone
}

TEST(Windows, ClosingTheWindowHidesIt) {
  testsupport::TempPrefix prefix;
  {
    platform::TopLevelWindow window("window 0", "Sonvia Wavedesk");
    ASSERT_TRUE(window.shown());
    EXPECT_EQ(platform::findWindow("window 0", "Sonvia Wavedesk"), ::getpid());
  }
  EXPECT_FALSE(platform::findWindow("window 0", "Sonvia Wavedesk"));
}

TEST(Windows, PrefixesDoNotSeeEachOthersWindows) {
  testsupport::TempPrefix first;
  platform::TopLevelWindow window("window 0", "Sonvia Wavedesk");
  testsupport::TempPrefix second;
  EXPECT_FALSE(platform::findWindow("window 0", "Sonvia Wavedesk"));
}

TEST(SingleInstance, OneProgramPerPrefixUntilTheFirstEnds) {
  testsupport::TempPrefix prefix;
  pid_t first = inChild([] { new platform::SingleInstance("taskhost"); });
  ASSERT_GT(first, 0);
  EXPECT_FALSE(platform::SingleInstance("TaskHost").first());
  EXPECT_TRUE(platform::instanceRunning("taskhost"));
  EXPECT_TRUE(platform::SingleInstance("language").first());
  EXPECT_FALSE(platform::instanceRunning("language"));
  killAndReap(first);
  EXPECT_FALSE(platform::instanceRunning("taskhost"));
  platform::SingleInstance again("taskhost");
  EXPECT_TRUE(again.first());
  EXPECT_FALSE(platform::SingleInstance("taskhost").first());
}

}  // namespace
