// The channel library as its callers bind it: by name, from the program folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"
#include "platform/library.h"
#include "tests/support/temp_prefix.h"

namespace {

using SetString = int32_t(const char*, int32_t);
using SetBytes = int32_t(const char*, int32_t, int32_t);
using GetString = int32_t(char*, int32_t);

class Slots : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  platform::BoundLibrary kom{"qmx_kom.dll"};

  void SetUp() override {
    ASSERT_TRUE(kom.available()) << "qmx_kom.so not found in the program folder";
    kom.call<int32_t()>("KomClose");  // the next call opens the slots of this test's prefix
  }
  void set(const std::string& text, int slot) { kom.call<SetString>("KomSetString", text.c_str(), slot); }
  int32_t get(std::string& buffer, int slot) { return kom.call<GetString>("KomGetString", buffer.data(), slot); }
};

TEST_F(Slots, NeverWrittenSlotsLeaveTheBufferAsItWas) {
  std::string buffer(31000, ' ');
  EXPECT_EQ(get(buffer, 0), -1);
  EXPECT_EQ(buffer, std::string(31000, ' '));
  set("#Anfang#\rStatus\rstop\r#Ende#", 1);
  EXPECT_EQ(get(buffer, 0), -1);
  EXPECT_EQ(buffer, std::string(31000, ' '));
  std::string status(6000, ' ');
  EXPECT_EQ(get(status, 1), 27);
  EXPECT_EQ(status.substr(0, 28), std::string("#Anfang#\rStatus\rstop\r#Ende#") + '\0');
  EXPECT_EQ(status[28], ' ');
}

TEST_F(Slots, CallersBuffersAreNeverOverrun) {
  // Under AddressSanitizer a read past the end of these exact-size buffers fails the test.
  set(std::string(40000, 'a'), 0);
  set(std::string(7000, 'b'), 1);
  std::vector<char> commands(31000), status(6000);
  EXPECT_EQ(kom.call<GetString>("KomGetString", commands.data(), 0), 30999);
  EXPECT_EQ(commands[30999], '\0');
  EXPECT_EQ(kom.call<GetString>("KomGetString", status.data(), 1), 5999);
  EXPECT_EQ(status[5999], '\0');
  EXPECT_EQ(kom.call<GetString>("KomGetString", status.data(), 2), -1);
  EXPECT_EQ(kom.call<SetString>("KomSetString", nullptr, 0), 0);
}

TEST_F(Slots, BytesWithNulCharactersAreKeptWhole) {
  std::string cleared(6000, '\0');
  kom.call<SetBytes>("KomSetBytes", cleared.data(), 6000, 0);
  std::string buffer(31000, ' ');
  EXPECT_EQ(get(buffer, 0), 6000);
  EXPECT_EQ(buffer.substr(0, 6001), std::string(6001, '\0'));
}

TEST_F(Slots, OtherProcessesSeeWholeMessagesEvenWhenTheWriterIsKilled) {
  // A child writes two long messages in turn as fast as it can; every read sees one or the other whole,
  // also after the child is killed in the middle of its writing.
  pid_t writer = ::fork();
  if (writer == 0) {
    kom.call<int32_t()>("KomClose");  // its own opening of the slots, as a separate program has
    std::string a(30000, 'a'), b(30000, 'b');
    for (unsigned i = 0;; ++i) kom.call<SetString>("KomSetString", (i % 2 ? a : b).c_str(), 0);
  }
  std::string buffer(31000, ' ');
  auto whole = [&] {
    int32_t length = get(buffer, 0);
    if (length < 0) return true;  // the child has not written yet
    return length == 30000 && buffer.find_first_not_of(buffer[0], 0) == 30000;
  };
  bool allWhole = true;
  for (int i = 0; i < 2000; ++i) allWhole = allWhole && whole();
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  EXPECT_TRUE(allWhole);
  EXPECT_TRUE(whole());
  set("after", 0);  // the killed writer's lock went with it
  EXPECT_EQ(get(buffer, 0), 5);
}

TEST_F(Slots, InstallCopiesComponentsIntoTheSystemFolder) {
  ASSERT_TRUE(platform::createFolder("c:\\app"));
  ASSERT_TRUE(platform::writeFile("c:\\app\\acd.ocx", "new"));
  ASSERT_TRUE(platform::writeFile("c:\\windows\\system\\old.ocx", "old"));
  using Install = int32_t(const char*, const char*);
  EXPECT_EQ(kom.call<Install>("InstallRegFast", "c:\\app\\acd.ocx", "c:\\windows\\system\\acd.ocx"), 1);
  EXPECT_EQ(platform::readFile("c:\\windows\\system\\acd.ocx"), "new");
  ASSERT_TRUE(platform::writeFile("c:\\app\\old.ocx", "newer"));
  kom.call<Install>("InstallRegFast", "c:\\app\\old.ocx", "c:\\windows\\system\\old.ocx");
  EXPECT_EQ(platform::readFile("c:\\windows\\system\\old.ocx"), "old");  // present: left alone
  platform::setAttributes("c:\\windows\\system\\old.ocx", platform::kAttrReadOnly);
  EXPECT_EQ(kom.call<Install>("InstallReg", "c:\\app\\old.ocx", "c:\\windows\\system\\old.ocx"), 1);
  EXPECT_EQ(platform::readFile("c:\\windows\\system\\old.ocx"), "newer");
  EXPECT_EQ(kom.call<Install>("InstallReg", "c:\\app\\none.ocx", "c:\\windows\\system\\none.ocx"), 0);
}

}  // namespace
