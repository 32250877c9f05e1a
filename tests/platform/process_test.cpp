#include "platform/process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/events.h"
#include "platform/files.h"
#include "tests/support/temp_prefix.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

namespace {

TEST(Process, IdentityAndPriority) {
  EXPECT_EQ(platform::processId(), ::getpid());
  EXPECT_TRUE(platform::setPriorityNormal());
  // The test runner is started with arguments of its own (ctest passes a filter).
  EXPECT_EQ(platform::commandLine().find('\0'), std::string::npos);
}

bool waitForFile(const char* path) {
  for (int i = 0; i < 500 && !platform::fileExists(path); ++i) platform::sleepMs(10);
  return platform::fileExists(path);
}

TEST(Process, ShellOpenStartsAProgramWithParametersAndFolder) {
  TempPrefix prefix;
  fs::path script = prefix.driveC() / "Tools" / "loader";
  TempPrefix::touch(script, "#!/bin/sh\nprintf '%s|%s|%s|%s|%s' \"$1\" \"$2\" \"$(pwd)\" \"$WAVEDESK_SHOW\" \"$WAVEDESK_PREFIX\" > result.txt\n");
  fs::permissions(script, fs::perms::owner_all);
  fs::create_directories(prefix.driveC() / "Work");
  int result = platform::shellOpen("c:\\tools\\LOADER.EXE", "one \"two words\"", "c:\\work", platform::ShowMode::Hidden);
  EXPECT_GT(result, 32);
  ASSERT_TRUE(waitForFile("c:\\work\\result.txt"));
  platform::sleepMs(50);  // the script may still be writing
  EXPECT_EQ(platform::readFile("c:\\work\\result.txt"),
            "one|two words|" + (prefix.driveC() / "Work").string() + "|hidden|" + prefix.root().string());
}

TEST(Process, ShellOpenReportsWhatIsMissing) {
  TempPrefix prefix;
  EXPECT_EQ(platform::shellOpen("c:\\none\\x.exe", "", "", platform::ShowMode::Normal), 3);
  EXPECT_EQ(platform::shellOpen("c:\\windows\\x.exe", "", "", platform::ShowMode::Normal), 2);
  TempPrefix::touch(prefix.driveC() / "p");
  fs::permissions(prefix.driveC() / "p", fs::perms::owner_all);
  EXPECT_EQ(platform::shellOpen("c:\\p", "", "c:\\nowhere", platform::ShowMode::Normal), 3);
}

}  // namespace
