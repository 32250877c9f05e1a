// The worker's form logic on the virtual clock, with the real channel library in a prefix of its own.
#include "taskhost/worker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <regex>

#include "platform/files.h"
#include "platform/windows.h"
#include "taskhost/console.h"
#include "tests/support/temp_prefix.h"

namespace {

using taskhost::Worker;

// Records what the worker writes into the slots, then writes it for real.
class RecordingChannel : public taskhost::Channel {
 public:
  std::vector<std::string> statusWrites;
  void KomSetString(std::string_view text, int32_t slot) override {
    if (slot == 1) statusWrites.emplace_back(text);
    Channel::KomSetString(text, slot);
  }
};

class FakeExecutors : public taskhost::JobExecutors {
 public:
  std::vector<std::string> started;
  int closes = 0;
  int unloads = 0;
  std::function<void(const std::string&, Worker&)> onStart;

  void decode(Worker&) override {}
  void start(const std::string& command, Worker& worker) override {
    started.push_back(command);
    if (onStart) onStart(command, worker);
  }
  void closeAll(Worker&) override { ++closes; }
  void unload(Worker&) override { ++unloads; }
};

class WorkerTest : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  RecordingChannel channel;
  FakeExecutors executors;
  std::vector<std::string> log;
  std::optional<int64_t> exitedAt;
  std::unique_ptr<Worker> worker;
  // The host's window, so that the watchdog leaves the worker alone; the watchdog tests take it away.
  std::unique_ptr<platform::TopLevelWindow> host =
      std::make_unique<platform::TopLevelWindow>(taskhost::kHostWindowClass, taskhost::kHostWindowTitle);

  void SetUp() override {
    platform::useVirtualClock();
    channel.KomClose();  // reopen in this test's prefix
    worker = std::make_unique<Worker>(
        channel, executors, true, Worker::View{[this](const std::string& t) { log.push_back(t); }, nullptr, nullptr},
        [this](int) { exitedAt = platform::nowMs(); });
    worker->start();
  }
  void TearDown() override {
    worker.reset();
    platform::useRealClock();
  }

  void hostWrites(const std::vector<std::pair<std::string, std::string>>& pairs) {
    channel.Channel::KomSetString(taskhost::buildMessage(pairs), 0);
  }
  std::string slot(int number) {
    std::string buffer(number == 0 ? 31000 : 6000, '\0');
    int32_t length = channel.KomGetString(buffer.data(), number);
    return length < 0 ? std::string() : buffer.substr(0, static_cast<size_t>(length));
  }
  std::vector<std::pair<std::string, std::string>> lastStatus() { return taskhost::parseMessage(slot(1)); }
  std::string lastValue(const char* key) {
    for (auto& [k, v] : lastStatus())
      if (k == key) return v;
    return "?";
  }
};

TEST_F(WorkerTest, AStopIsAcknowledgedAndReported) {
  hostWrites({{"Auftragsnummer", "5"}, {"command", "stop"}});
  platform::run(200);
  ASSERT_GE(channel.statusWrites.size(), 2u);
  auto acknowledgement = taskhost::parseMessage(channel.statusWrites[0]);
  EXPECT_EQ(acknowledgement[0].second, "");   // the state before the job
  EXPECT_EQ(acknowledgement[1].second, "0");  // Fortschritt
  EXPECT_EQ(acknowledgement[3].second, "5");  // Auftragsnummer
  EXPECT_EQ(lastValue("Status"), "stop");
  EXPECT_EQ(lastValue("Fortschritt"), "0");
  EXPECT_EQ(lastValue("ProcessID"), std::to_string(::getpid()));
  EXPECT_EQ(executors.closes, 1);
}

TEST_F(WorkerTest, AFinishedJobIsNotRestartedUntilANewOrderNumber) {
  executors.onStart = [this](const std::string&, Worker& w) {
    // The acknowledgement went out before the job started, with the previous state and progress 0.
    auto acknowledgement = taskhost::parseMessage(channel.statusWrites.back());
    EXPECT_EQ(acknowledgement[1].second, "0");
    EXPECT_EQ(w.status().state, acknowledgement.empty() ? "" : w.status().state);
    w.status().convertProgress = 1000;
  };
  hostWrites({{"Auftragsnummer", "1"}, {"command", "grabwav"}});
  platform::run(1000);
  hostWrites({{"Auftragsnummer", "1"}, {"command", "grabwav"}, {"file000", "again"}});
  platform::run(1000);
  EXPECT_EQ(executors.started.size(), 1u);
  EXPECT_EQ(lastValue("Status"), "grabwav");
  EXPECT_EQ(lastValue("Fortschritt"), "1000");
  hostWrites({{"Auftragsnummer", "2"}, {"command", "grabwav"}});
  platform::run(400);
  EXPECT_EQ(executors.started.size(), 2u);
}

TEST_F(WorkerTest, UnknownCommandsStopTheJobAndReportNothing) {
  hostWrites({{"Auftragsnummer", "1"}, {"command", "encode"}});
  platform::run(400);
  size_t writes = channel.statusWrites.size();
  int closes = executors.closes;
  hostWrites({{"Auftragsnummer", "2"}, {"command", "play"}});
  platform::run(2000);
  EXPECT_EQ(channel.statusWrites.size(), writes);
  EXPECT_EQ(executors.closes, closes + 1);
  EXPECT_EQ(worker->status().state, "stop");
  EXPECT_EQ(executors.started, std::vector<std::string>{"encode"});
}

TEST_F(WorkerTest, StatusGoesOutTwicePerTickAndHalfAsOftenWhileEncoding) {
  hostWrites({{"Auftragsnummer", "1"}, {"command", "stop"}});
  platform::run(200);
  size_t before = channel.statusWrites.size();
  platform::run(2000);
  EXPECT_EQ(channel.statusWrites.size() - before, 20u);  // 10 ticks, 2 each

  hostWrites({{"Auftragsnummer", "2"}, {"command", "encode"}});
  platform::run(200);
  ASSERT_EQ(worker->status().state, "encode");
  before = channel.statusWrites.size();
  platform::run(2000);
  EXPECT_EQ(channel.statusWrites.size() - before, 10u);  // every second tick
}

TEST_F(WorkerTest, StatusCallsNestAtMostFourDeep) {
  // Each job runs inside the dispatch that started it, letting events run and reporting in every step,
  // and starts the next job's order, so every new job begins one level deeper until the limit.
  std::vector<int> depths;
  const char* commands[] = {"grabwav", "encode", "burnaudio", "burniso", "cdcopy"};
  int order = 1;
  executors.onStart = [&](const std::string& command, Worker& w) {
    depths.push_back(w.statusDepth());
    if (order < 5) {
      ++order;
      hostWrites({{"Auftragsnummer", std::to_string(order)}, {"command", commands[order - 1]}});
    }
    for (int step = 0; step < 10 && w.status().state == command; ++step) {
      platform::sleepMs(100);
      platform::doEvents();
      w.SendStatus();
    }
  };
  hostWrites({{"Auftragsnummer", "1"}, {"command", "grabwav"}});
  platform::run(5000);
  EXPECT_EQ(depths, (std::vector<int>{1, 2, 3, 4, 1}));
  EXPECT_EQ(worker->statusDepth(), 0);
}

TEST_F(WorkerTest, EndClearsTheCommandSlotAndEndsAtOnce) {
  for (const char* command : {"end", "ENDE"}) {
    exitedAt.reset();
    worker = std::make_unique<Worker>(channel, executors, false, Worker::View{}, [this](int) { exitedAt = platform::nowMs(); });
    worker->start();
    hostWrites({{"Auftragsnummer", command}, {"command", command}});
    platform::run(400);
    ASSERT_TRUE(exitedAt) << command;
    EXPECT_EQ(slot(0), std::string(6000, '\0'));
    EXPECT_EQ(worker->status().state, "stop");  // the stop after "end" is the last state change
    EXPECT_GE(executors.unloads, 1);
  }
}

TEST_F(WorkerTest, TheFatalExitLeavesAQuestionMarkInTheStatusSlot) {
  ASSERT_TRUE(platform::writeFile(worker->tempFile(), "partial"));
  worker->EndWorker();
  ASSERT_TRUE(exitedAt);
  std::string questionMark(101, '\0');
  questionMark[0] = '?';
  EXPECT_EQ(slot(1), questionMark);
  EXPECT_EQ(slot(0), std::string(6000, '\0'));
  EXPECT_FALSE(platform::fileExists(worker->tempFile()));
  EXPECT_EQ(log.front(), "FastEnd");
}

TEST_F(WorkerTest, WithoutAHostTheWorkerStopsAfterThreeChecksAndEndsAfterSixtyOne) {
  std::optional<int> missingAtStop;
  host.reset();
  int64_t start = platform::nowMs();
  bool stopped = platform::runUntil(
      [&] {
        if (!missingAtStop && worker->request().orderNumber == 2232213) missingAtStop = worker->hostMissing();
        return exitedAt.has_value();
      },
      200'000);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(missingAtStop, 3);
  EXPECT_EQ(worker->hostMissing(), 61);
  // One check a second: every fifth full tick of 200 ms.
  EXPECT_NEAR(static_cast<double>(*exitedAt - start), 61 * 1000, 1000);
}

TEST_F(WorkerTest, AHostSeenAndGoneEndsTheWorkerAfterThirteenChecks) {
  platform::run(3000);
  EXPECT_EQ(worker->hostMissing(), 0);
  EXPECT_EQ(worker->hostMissingLimit(), 12);
  host.reset();
  EXPECT_TRUE(platform::runUntil([&] { return exitedAt.has_value(); }, 60'000));
  EXPECT_EQ(worker->hostMissing(), 13);
}

TEST_F(WorkerTest, TestButtonsWriteTheHostsMessages) {
  struct Case {
    const char* typed;
    std::string expected;  // a regular expression over the message
  } cases[] = {
      {"Decode", "#Anfang#\rAuftragsnummer\r12\rcommand\rdecode\rfile000\rc:\\\\test1\\.mp3\rfile001\rc:\\\\test1\\.wav\r#Ende#"},
      {"cd copy", "#Anfang#\rAuftragsnummer\r[0-9]+\rspeed\r99\rcommand\rcdcopy\r#Ende#"},
      {"Grabi", "#Anfang#\rAuftragsnummer\r[0-9]+\rcommand\rgrabwav\rspeed\r128\rquality\r1\rfile000\rTrack01\\.cda\r"
                "file001\rc:\\\\track001a\\.wav\r#Ende#"},
      {"stop", "#Anfang#\rAuftragsnummer\r23\rcommand\rstop\r#Ende#"},
      {"Encode c:\\test.wav c:\\test.mp3", "#Anfang#\rAuftragsnummer\r12\rcommand\rencode\rquality\r1\rspeed\r128\r"
                                            "file000\rc:\\\\test1\\.wav\rfile001\rc:\\\\test1\\.mp3\r#Ende#"},
      {"End", "#Anfang#\rAuftragsnummer\r99\rcommand\rend\r#Ende#"},
  };
  for (const Case& c : cases) {
    log.clear();
    ASSERT_TRUE(taskhost::TestConsole::click(*worker, c.typed)) << c.typed;
    EXPECT_TRUE(std::regex_match(slot(0), std::regex(c.expected))) << c.typed << ": " << slot(0);
    EXPECT_EQ(log.size(), std::string(c.typed) == "cd copy" ? 0u : 1u) << c.typed;
  }
  EXPECT_FALSE(taskhost::TestConsole::click(*worker, "nothing"));
}

class TempNames : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
};

TEST_F(TempNames, TheTemporaryFolderWhenItHasRoom) {
  EXPECT_EQ(taskhost::MakeTempName(0), "c:\\windows\\temp\\qmx_mp00.tmp");
  ASSERT_TRUE(platform::writeFile("c:\\windows\\temp\\qmx_mp07.tmp", "old"));
  EXPECT_EQ(taskhost::MakeTempName(7), "c:\\windows\\temp\\qmx_mp07.tmp");
  EXPECT_FALSE(platform::fileExists("c:\\windows\\temp\\qmx_mp07.tmp"));  // an old file is deleted
  ASSERT_TRUE(platform::writeFile("c:\\windows\\temp\\qmx_mp01.tmp", "kept"));
  ASSERT_TRUE(platform::setAttributes("c:\\windows\\temp\\qmx_mp01.tmp", platform::kAttrReadOnly));
  ASSERT_TRUE(platform::writeFile("c:\\windows\\temp\\qmx_mpa03.tmp", "taken"));
  EXPECT_EQ(taskhost::MakeTempName(1), "c:\\windows\\temp\\qmx_mpa04.tmp");
}

TEST_F(TempNames, AnotherDriveWhenTheTemporaryFolderIsFull) {
  std::filesystem::create_directories(prefix.root() / "t");
  std::filesystem::create_directories(prefix.root() / "d");
  std::filesystem::create_directories(prefix.root() / "e");
  prefix.writeIni("[drives]\nt = t, fixed, 100M\nc = drive_c, fixed, 140M\nd = d, fixed, 180M\ne = e, cdrom\n[folders]\ntemp = t:\\tmp\n");
  EXPECT_EQ(taskhost::FreeMegabytes("t:\\tmp\\"), 100);
  EXPECT_EQ(taskhost::FreeMegabytes("e:\\"), 0);  // not a fixed drive
  EXPECT_EQ(taskhost::FreeMegabytes("q:\\"), 0);
  EXPECT_EQ(taskhost::MakeTempName(1), "d:\\qmx_mp01.tmp");
  prefix.writeIni("[drives]\nt = t, fixed, 100M\nc = drive_c, fixed, 141M\n[folders]\ntemp = t:\\tmp\n");
  EXPECT_EQ(taskhost::MakeTempName(1), "c:\\qmx_mp01.tmp");
  prefix.writeIni("[drives]\nt = t, fixed, 100M\nc = drive_c, fixed, 10M\nd = d, fixed, 179M\n[folders]\ntemp = t:\\tmp\n");
  EXPECT_EQ(taskhost::MakeTempName(1), "t:\\tmp\\qmx_mp01.tmp");  // nowhere better: the temporary folder after all
}

}  // namespace
