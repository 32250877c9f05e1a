#include "taskhost/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>

namespace {

using taskhost::CommandReader;
using taskhost::JobRequest;
using taskhost::JobStatus;

std::string framed(const std::string& body) { return "#Anfang#\r" + body + "#Ende#"; }

// A slot that hands out its text as the channel library does: text, then a NUL.
class FakeSlot {
 public:
  std::string text;
  int reads = 0;
  bool changeEveryRead = false;

  CommandReader::SlotReader reader() {
    return [this](char* buffer) {
      ++reads;
      std::string content = changeEveryRead ? text + std::to_string(reads) : text;
      std::memcpy(buffer, content.data(), std::min(content.size(), size_t{30999}));
      buffer[std::min(content.size(), size_t{30999})] = '\0';
    };
  }
};

class Parser : public ::testing::Test {
 protected:
  JobRequest request;
  JobStatus status;
  FakeSlot slot;
  std::vector<std::string> log;
  std::string shownCommand;
  CommandReader reader{request, status, slot.reader(), [this](const std::string& t) { log.push_back(t); },
                       [this](const std::string& t) { shownCommand = t; }};

  bool poll(const std::string& text) {
    slot.text = text;
    return reader.PollCommand();
  }
};

TEST(NextLine, TokensBetweenCarriageReturns) {
  EXPECT_EQ(taskhost::NextLine("ab\rcd\r", 1), "ab");
  EXPECT_EQ(taskhost::NextLine("ab\rcd\r", 4), "cd");
  EXPECT_EQ(taskhost::NextLine("ab\rcd\r", 6), "");
  EXPECT_EQ(taskhost::NextLine("ab\rcd", 5), "d");
  EXPECT_EQ(taskhost::NextLine("ab", 3), "");
  EXPECT_EQ(taskhost::NextLine("ab", 0), "");
}

TEST_F(Parser, FieldsFromKeysInAnyCase) {
  EXPECT_TRUE(poll("#ANFANG#\rAUFTRAGSNUMMER\r12.5\rCommand\rburnaudio\rSpeed\rMAX\rfile5\rc:\\a.wav\r"
                   "FILE007\rc:\\b.wav\rlaufwerk\rD:\rtitle\rMy CD\rdir\r  3.25abc\rcopies\rx\rquality\r2\r"
                   "unknown\rvalue\r#Ende#"));
  EXPECT_EQ(request.orderNumber, 12);  // half to even
  EXPECT_EQ(request.command, "burnaudio");
  EXPECT_EQ(request.speed, 255);
  EXPECT_EQ(request.files[0], "c:\\a.wav");  // "file5": its last three characters "le5" read as 0
  EXPECT_EQ(request.files[7], "c:\\b.wav");
  EXPECT_EQ(request.drive, "D:");
  EXPECT_EQ(request.title, "My CD");
  EXPECT_EQ(request.dir, "3.25");
  EXPECT_EQ(request.copies, 0);
  EXPECT_EQ(request.quality, 2);
  EXPECT_EQ(shownCommand.substr(0, 8), "#ANFANG#");
  EXPECT_EQ(log, std::vector<std::string>{"NeueZeile"});

  EXPECT_TRUE(poll(framed("Auftragsnummer\r13\rdrive\rE:\rspeed\r24\rfile1001\rc:\\x\rfile999\rc:\\last\r")));
  EXPECT_EQ(request.drive, "E:");
  EXPECT_EQ(request.speed, 24);
  EXPECT_EQ(request.files[1], "c:\\x");  // "file1001" sorts among the file keys; "001" is its index
  EXPECT_EQ(request.files[999], "c:\\last");
  EXPECT_EQ(request.title, "My CD");  // keys a message does not mention keep their values
}

TEST_F(Parser, NewJobsComeFromANewOrderNumberOrANewCommand) {
  EXPECT_TRUE(poll(framed("Auftragsnummer\r1\rcommand\rdecode\rfile000\ra\rfile001\rb\r")));
  EXPECT_FALSE(poll(framed("Auftragsnummer\r1\rcommand\rdecode\rfile000\ra\rfile001\rb\r")));  // same text
  EXPECT_FALSE(poll(framed("auftragsnummer\r1\rCOMMAND\rDECODE\rfile000\ra\rfile001\rb\r")));  // same, case aside
  EXPECT_FALSE(poll(framed("Auftragsnummer\r1\rcommand\rdecode\rfile002\rc\r")));
  EXPECT_EQ(request.files[2], "c");

  // Same command, new order number: a new job, and the old file list is cleared up to its first gap.
  EXPECT_TRUE(poll(framed("Auftragsnummer\r2\rcommand\rdecode\r")));
  EXPECT_EQ(request.files[0], "");
  EXPECT_EQ(request.files[2], "");

  // Same order number, new command: a new job that keeps the file list.
  EXPECT_TRUE(poll(framed("file000\rx\rfile001\ry\rAuftragsnummer\r2\rcommand\rencode\r")));
  EXPECT_EQ(request.files[0], "x");
  EXPECT_EQ(request.command, "encode");
}

TEST_F(Parser, RepeatedPlayOrdersForTheSameFileAreNotNewJobs) {
  EXPECT_TRUE(poll(framed("Auftragsnummer\r1\rcommand\rplay\rfile000\rsong.mp3\r")));
  status.progress = 0;
  EXPECT_FALSE(poll(framed("Auftragsnummer\r2\rcommand\rplay\rfile000\rsong.mp3\r")));
  EXPECT_EQ(request.orderNumber, 2);
  EXPECT_TRUE(poll(framed("Auftragsnummer\r3\rfile000\rother.mp3\rcommand\rplay\r")));  // the file changed
  status.progress = 40;
  EXPECT_TRUE(poll(framed("Auftragsnummer\r4\rcommand\rplay\r")));  // progress no longer below 32
}

TEST_F(Parser, MalformedSlotsLeaveTheRecordUntouched) {
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"unframed", "Auftragsnummer\r5\rcommand\rstop\r"},
      {"no end", "#Anfang#\rAuftragsnummer\r5\rcommand\rstop\r"},
      {"crlf lines", "#Anfang#\r\nAuftragsnummer\r\n5\r\ncommand\r\nstop\r\n#Ende#"},
      {"blank first character", " #Anfang#\rAuftragsnummer\r5\r#Ende#"},
      {"framed twice over", "#Ende#\rAuftragsnummer\r5\r#Anfang#"},
      {"no NUL and no frame", std::string(31000, 'x')},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(poll(c.text)) << c.name;
    EXPECT_EQ(request.orderNumber, 0) << c.name;
    EXPECT_EQ(request.command, "") << c.name;
  }
}

TEST_F(Parser, ASlotThatChangesOnEveryReadIsGivenUpAfterTwentyRereads) {
  slot.changeEveryRead = true;
  EXPECT_FALSE(poll(framed("Auftragsnummer\r5\r")));
  EXPECT_EQ(slot.reads, 21);  // the poll's read and 20 re-reads in the framing check
  EXPECT_EQ(request.orderNumber, 0);
  EXPECT_EQ(shownCommand, "");
}

TEST_F(Parser, AnEmptyValueEndsTheParse) {
  EXPECT_TRUE(poll(framed("Auftragsnummer\r5\rtitle\r\rcommand\rstop\r")));
  EXPECT_EQ(request.orderNumber, 5);
  EXPECT_EQ(request.command, "");
}

TEST_F(Parser, PairsPastPosition29000AreNotRead) {
  std::string padding(28960, 'p');
  EXPECT_TRUE(poll(framed("Auftragsnummer\r7\rtitle\r" + padding + "\rcommand\rstop\rlist\rx\r")));
  EXPECT_EQ(request.title, padding);
  EXPECT_EQ(request.command, "");  // its key line passes position 29000
  EXPECT_EQ(request.list, "");
}

TEST(StatusMessage, LinesInOrder) {
  JobStatus status;
  status.state = "decode";
  status.progress = 345;
  status.errorCode = 7;
  status.processIdText = "4242";
  std::string message = taskhost::buildStatusMessage(status, 12);
  std::regex form(
      "#Anfang#\rStatus\rdecode\rFortschritt\r345\rSpielzeit\r0\rAuftragsnummer\r12\rStatusnummer\r([0-9]+)\r"
      "Fehlercode\r7\rProcessID\r4242\r#Ende#");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(message, match, form)) << message;
  EXPECT_LE(std::stoi(match[1]), 10000);
  EXPECT_TRUE(std::regex_match(taskhost::buildAcknowledgement(status, 13),
                               std::regex("#Anfang#\rStatus\rdecode\rFortschritt\r0\rSpielzeit\r0\rAuftragsnummer\r13\r[\\s\\S]*")));
  auto pairs = taskhost::parseMessage(message);
  ASSERT_EQ(pairs.size(), 7u);
  EXPECT_EQ(pairs[1], (std::pair<std::string, std::string>{"Fortschritt", "345"}));
}

TEST(StatusMessage, SentOnlyForTheCommandsTheHostFollows) {
  for (const char* sent : {"burniso", "BURNAUDIO", "decode", "write", "cdcopy", "grabmp3", "grabwav", "encode", "stop"})
    EXPECT_TRUE(taskhost::isSentCommand(sent)) << sent;
  for (const char* quiet : {"", "play", "grab", "end", "ende", "bogus"}) EXPECT_FALSE(taskhost::isSentCommand(quiet)) << quiet;
}

}  // namespace
