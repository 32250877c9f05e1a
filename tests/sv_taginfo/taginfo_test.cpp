#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/control_host.h"
#include "tests/support/mp3_bytes.h"
#include "tests/support/riff_bytes.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr char kMarker[] = "$%$";

const std::vector<std::string> kMp3Order = {
    "Taginfo.Limit",     "TagInfo.File",        "TagInfo.Title",     "TagInfo.Artist",    "TagInfo.Album",
    "TagInfo.Year",      "TagInfo.Comment",     "TagInfo.Genre",     "TagInfo.Frequency", "TagInfo.Mode",
    "TagInfo.Emphasis",  "TagInfo.Bitrate",     "TagInfo.MpegVersion", "TagInfo.MpegLayer", "TagInfo.Padding",
    "TagInfo.CRC",       "TagInfo.Duration",    "TagInfo.CopyRight", "TagInfo.Original",  "TagInfo.PrivateBit",
    "TagInfo.HasTag",    "TagInfo.Track",       "TagInfo.Tag",       "TagInfo.VBR",       "TagInfo.Frame",
    "TagInfo.Kanalzahl", "TagInfo.Codierung"};
const std::vector<std::string> kMpegValues = {
    "TagInfo.Frequency", "TagInfo.Mode",     "TagInfo.Emphasis",  "TagInfo.Bitrate",    "TagInfo.MpegVersion",
    "TagInfo.MpegLayer", "TagInfo.Padding",  "TagInfo.CRC",       "TagInfo.Duration",   "TagInfo.CopyRight",
    "TagInfo.Original",  "TagInfo.PrivateBit", "TagInfo.VBR",     "TagInfo.Frame"};

class TagInfo : public ::testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& bytes) {
    TempPrefix::touch(prefix_.driveC() / "music" / name, bytes);
    return "c:\\music\\" + name;
  }
  std::string contents(const std::string& name) {
    std::ifstream in(prefix_.driveC() / "music" / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // What one read published: every variable once, in order.
  std::map<std::string, std::string> read(const std::string& path, std::vector<std::string>* order = nullptr) {
    host_.call("onReadinfo", path);
    std::map<std::string, std::string> values;
    for (const EngineWrite& write : host_.takeWrites()) {
      EXPECT_EQ(values.count(write.variable), 0u) << write.variable << " published twice";
      values[write.variable] = write.value;
      if (order != nullptr) order->push_back(write.variable);
    }
    return values;
  }

  TempPrefix prefix_;
  ControlHost host_{"sv_taginfo.dll", "sv_taginfo"};
};

TEST_F(TagInfo, OnlyItsOwnClassIsMade) {
  ASSERT_NE(host_.control(), nullptr);
  ControlHost other("sv_taginfo.dll", "sv_search");
  EXPECT_EQ(other.control(), nullptr);
  std::vector<std::string> none;
  EXPECT_FALSE(host_.call("noSuchMethod", none).found);
}

TEST_F(TagInfo, GenreTable) {
  struct Case {
    std::string number, name;
  };
  const Case table[] = {{"0", "Blues"},  {"7", "Hip -Hop"},  {"17", "Rock"},      {"84", ""},
                        {"124", "Euro - House"}, {"133", ""}, {"147", "Synthpop"}, {"148", ""},
                        {"-1", ""},      {"abc", ""}};
  for (const Case& c : table) EXPECT_EQ(host_.value("GetGenrestring", {c.number}), c.name) << c.number;
  struct Name {
    std::string name, number;
  };
  const Name names[] = {{"rock", "17"}, {"HIP -HOP", "7"}, {"HipHop", "12"}, {"Hip-Hop", "12"},
                        {"", "84"},     {"synthpop", "147"}, {"Psychadelic", "67"}, {"Club - House", "128"}};
  for (const Name& n : names) EXPECT_EQ(host_.value("GetGenreNummer", {n.name}), n.number) << n.name;

  host_.call("onGetGenre", "17");
  host_.call("onGetGenre", "84");
  host_.call("onGetGenre", "nonsense");
  EXPECT_EQ(host_.takeWrites(), (std::vector<EngineWrite>{{"GetGenre", "Rock"}, {"GetGenre", kMarker}}));
}

TEST_F(TagInfo, BitTextsAndTheirValues) {
  EXPECT_EQ(host_.value("ByteToBit", {std::string("\xFF\xFB\x90\x44", 4)}), "11111111111110111001000001000100");
  EXPECT_EQ(host_.value("ByteToBit", {std::string("\0\0\x01\x02", 4)}), "100000010");
  EXPECT_EQ(host_.value("ByteToBit", {std::string(4, '\0')}), "");
  EXPECT_EQ(host_.value("BinToDec", {"100000010"}), "258");
  EXPECT_EQ(host_.value("BinToDec", {"11111111111111111111111111111111"}), "4294967295");
  EXPECT_EQ(host_.value("BinToDec", {""}), "0");
}

TEST_F(TagInfo, Id3v2FilePublishesFrameAndTagInOrder) {
  FrameHeader header;
  header.crc = true;
  header.padding = true;
  header.copyright = true;
  header.emphasis = 1;
  // A cover picture with false frame starts, then 4,000,000 bytes of 128 kbit/s audio with its tag.
  std::string bytes = id3v2(20000) + audio(frameHeader(header), 4000000 - 128) +
                      id3v1("Title", "Artist", "Album", "2004", "Twenty-eight characters long", 17, 5);
  std::string path = file("song.mp3", bytes);
  std::vector<std::string> order;
  auto values = read(path, &order);
  EXPECT_EQ(order, kMp3Order);
  const std::map<std::string, std::string> expected = {
      {"Taginfo.Limit", "True"},       {"TagInfo.File", path},          {"TagInfo.Title", "Title"},
      {"TagInfo.Artist", "Artist"},    {"TagInfo.Album", "Album"},      {"TagInfo.Year", "2004"},
      {"TagInfo.Comment", "Twenty-eight characters long"},              {"TagInfo.Genre", "17"},
      {"TagInfo.Frequency", "44100"},  {"TagInfo.Mode", "joint stereo"}, {"TagInfo.Emphasis", "50/15"},
      {"TagInfo.Bitrate", "128"},      {"TagInfo.MpegVersion", "1"},    {"TagInfo.MpegLayer", "3"},
      {"TagInfo.Padding", "yes"},      {"TagInfo.CRC", "yes"},          {"TagInfo.Duration", "4:10"},
      {"TagInfo.CopyRight", "yes"},    {"TagInfo.Original", "yes"},     {"TagInfo.PrivateBit", "no"},
      {"TagInfo.HasTag", "yes"},       {"TagInfo.Track", "\x05"},       {"TagInfo.Tag", kMarker},
      {"TagInfo.VBR", "False"},        {"TagInfo.Frame", kMarker},      {"TagInfo.Kanalzahl", kMarker},
      {"TagInfo.Codierung", kMarker}};
  EXPECT_EQ(values, expected);
  EXPECT_EQ(contents("song.mp3"), bytes);  // reading changes nothing
}

TEST_F(TagInfo, HeaderFieldsDecode) {
  struct Case {
    FrameHeader header;
    std::map<std::string, std::string> expected;
  };
  FrameHeader mono48k;
  mono48k.rateIndex = 1;
  mono48k.mode = 3;
  mono48k.bitrateIndex = 14;
  mono48k.privateBit = true;
  mono48k.original = false;
  mono48k.emphasis = 3;
  FrameHeader badRate;
  badRate.rateIndex = 3;
  badRate.bitrateIndex = 15;
  badRate.mode = 2;
  badRate.emphasis = 2;
  const Case cases[] = {
      {mono48k,
       {{"TagInfo.Frequency", "48000"}, {"TagInfo.Mode", "single channel"}, {"TagInfo.Bitrate", "320"},
        {"TagInfo.PrivateBit", "yes"}, {"TagInfo.Original", "no"}, {"TagInfo.Emphasis", "CCITT J 17"},
        {"TagInfo.CRC", "no"}, {"TagInfo.Duration", "0:02"}}},
      {badRate,
       {{"TagInfo.Frequency", kMarker}, {"TagInfo.Mode", "dual channel"}, {"TagInfo.Bitrate", kMarker},
        {"TagInfo.Emphasis", "reserved"}, {"TagInfo.Duration", kMarker}, {"TagInfo.MpegVersion", "1"}}},
  };
  for (const Case& c : cases) {
    auto values = read(file("h.mp3", id3v2(100) + audio(frameHeader(c.header), 100000)));
    for (const auto& [variable, value] : c.expected) EXPECT_EQ(values[variable], value) << variable;
  }
}

TEST_F(TagInfo, VbrBitrateAndDurationFromTheXingCount) {
  struct Case {
    uint32_t frames;
    const char* bitrate;
    const char* duration;
    const char* frame;
  };
  const Case cases[] = {
      {5000, "184", "2:10", "5000"},
      {100000, "9", "44:26", "100000"},  // above 32767: the whole count is kept
      {0, kMarker, kMarker, kMarker},
  };
  for (const Case& c : cases) {
    // 3,000,000 bytes of audio behind a 50,000-byte cover; the cover is no playing time.
    auto values = read(file("vbr.mp3", id3v2(50000 - 10) + audio(xingFrame(c.frames), 3000000)));
    EXPECT_EQ(values["TagInfo.VBR"], "True") << c.frames;
    EXPECT_EQ(values["TagInfo.Bitrate"], c.bitrate) << c.frames;
    EXPECT_EQ(values["TagInfo.Duration"], c.duration) << c.frames;
    EXPECT_EQ(values["TagInfo.Frame"], c.frame) << c.frames;
    EXPECT_EQ(values["TagInfo.HasTag"], "no");
    EXPECT_EQ(values["TagInfo.Genre"], "255");
  }
}

TEST_F(TagInfo, FilesWithoutAFrameStartPublishNoTechnicalValues) {
  const std::string tag = id3v1("Only Tag", "", "", "", "", 0);
  const std::string cases[] = {
      id3v2(8000) + std::string(20000, '\x11') + tag,  // the frame lies beyond the 5000 searched bytes
      "ID3" + std::string(20000, '\x11') + tag,  // not a tag header: searched from the start, nothing there
      id3v2(100000) + tag,                       // the tag claims more than the file holds
  };
  for (const std::string& bytes : cases) {
    auto values = read(file("noframe.mp3", bytes));
    for (const std::string& variable : kMpegValues) EXPECT_EQ(values[variable], kMarker) << variable;
    EXPECT_EQ(values["TagInfo.Title"], "Only Tag");
    EXPECT_EQ(values["TagInfo.Genre"], kMarker);  // genre byte 0
    EXPECT_EQ(values["TagInfo.HasTag"], "yes");
  }
}

TEST_F(TagInfo, ShortFileKeepsNothingOfThePreviousOne) {
  read(file("full.mp3", id3v2(100) + audio(xingFrame(5000), 300000) + id3v1("T", "A", "B", "1999", "C", 17, 3)));
  auto values = read(file("short.mp3", "ID3" + std::string(200, 'x')));
  for (const std::string& variable : kMpegValues) EXPECT_EQ(values[variable], kMarker) << variable;
  EXPECT_EQ(values["TagInfo.HasTag"], "no");
  EXPECT_EQ(values["TagInfo.Genre"], kMarker);
  for (const char* text : {"TagInfo.Title", "TagInfo.Artist", "TagInfo.Track"}) EXPECT_EQ(values[text], kMarker);
}

TEST_F(TagInfo, TagIsFoundWhereverTagFirstOccursInTheLast256Bytes) {
  // "tag" in the audio before the real tag is taken as the tag start, as the reader always has.
  std::string early = id3v2(100) + audio(frameHeader(), 10000) + "tagXYZ" + std::string(122, ' ') +
                      id3v1("Real", "", "", "", "", 1);
  EXPECT_EQ(read(file("early.mp3", early))["TagInfo.Title"], "XYZ");
  // "tag" at every position: the first one wins and fields past the end are empty.
  std::string tags;
  while (tags.size() < 1000) tags += "tag";
  auto values = read(file("tags.mp3", id3v2(100) + audio(frameHeader(), 10000) + tags));
  EXPECT_EQ(values["TagInfo.HasTag"], "yes");
  EXPECT_EQ(values["TagInfo.Title"], tags.substr(0, 30));
}

TEST_F(TagInfo, PlainMp3ReadsItsId3v1TagThroughTheLibrary) {
  std::vector<std::string> order;
  auto values = read(file("plain.mp3", audio(frameHeader(), 5000) +
                                           id3v1("  Padded Title  ", "Artist", "Album", "1987", "Comment", 13)),
                     &order);
  EXPECT_EQ(order, kMp3Order);
  EXPECT_EQ(values["Taginfo.Limit"], "True");
  EXPECT_EQ(values["TagInfo.Title"], "Padded Title");
  EXPECT_EQ(values["TagInfo.Comment"], "Comment");
  EXPECT_EQ(values["TagInfo.Genre"], "13");
  for (const std::string& variable : kMpegValues) EXPECT_EQ(values[variable], kMarker) << variable;
  EXPECT_EQ(values["TagInfo.HasTag"], kMarker);

  auto untagged = read(file("untagged.MP3", audio(frameHeader(), 5000)));
  EXPECT_EQ(untagged["TagInfo.Title"], kMarker);
  EXPECT_EQ(untagged["TagInfo.Genre"], "32");  // the space the buffer held
}

TEST_F(TagInfo, WavPublishesItsInfoFieldsWithChannelsAndFormatAfterTheDuration) {
  std::string info = list("INFO", chunk("INAM", "Wav Title") + chunk("IART", "Wav Artist") +
                                      chunk("ICMT", "A comment") + chunk("ISRC", "The Album") +
                                      chunk("ICRD", "2001-05-06"));
  std::string path = file("a.wav", cdWav(std::string(176400 * 75, '\0'), info));
  std::vector<std::string> order;
  auto values = read(path, &order);
  std::vector<std::string> expectedOrder = kMp3Order;
  expectedOrder.resize(expectedOrder.size() - 2);
  expectedOrder.insert(expectedOrder.begin() + 17, {"TagInfo.Kanalzahl", "TagInfo.Codierung"});
  EXPECT_EQ(order, expectedOrder);
  EXPECT_EQ(values["Taginfo.Limit"], "False");
  EXPECT_EQ(values["TagInfo.Title"], "Wav Title");
  EXPECT_EQ(values["TagInfo.Artist"], "Wav Artist");
  EXPECT_EQ(values["TagInfo.Album"], "The Album");
  EXPECT_EQ(values["TagInfo.Year"], "2001");
  EXPECT_EQ(values["TagInfo.Comment"], "A comment");
  EXPECT_EQ(values["TagInfo.Genre"], "84");  // no genre: the empty entry
  EXPECT_EQ(values["TagInfo.Frequency"], "44100");
  EXPECT_EQ(values["TagInfo.Duration"], "1:15");
  EXPECT_EQ(values["TagInfo.Kanalzahl"], "Stereo");
  EXPECT_EQ(values["TagInfo.Codierung"], "PCM AUDIO");
  EXPECT_EQ(values["TagInfo.Bitrate"], kMarker);
}

TEST_F(TagInfo, OtherFilesPublishAndWriteNothing) {
  std::string text = "just, some text\n";
  std::string path = file("x.txt", text);
  host_.call("onParseFile", path);
  host_.set("TagInfo.Title", "New");
  host_.call("onSaveFile", path);
  EXPECT_TRUE(host_.takeWrites().empty());
  EXPECT_EQ(contents("x.txt"), text);
  host_.call("onParseFile", "c:\\music");  // a folder
  EXPECT_TRUE(host_.takeWrites().empty());
}

TEST_F(TagInfo, DoubledBackslashesAreCleanedOnlyForParseAndSave) {
  file("a.mp3", audio(frameHeader(), 5000) + id3v1("Clean", "", "", "", "", 1));
  host_.call("onParseFile", "c:\\\\music\\\\a.mp3");
  auto writes = host_.takeWrites();
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes[1].value, "c:\\music\\a.mp3");
  EXPECT_EQ(writes[2].value, "Clean");
  host_.call("onReadinfo", "c:\\\\music\\\\a.mp3");
  writes = host_.takeWrites();
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[1].value, "c:\\\\music\\\\a.mp3");
}

TEST_F(TagInfo, WavWritingCutsEveryTextInsideItsSlot) {
  std::string path = file("w.wav", cdWav(std::string(17640, '\0')));
  read(path);
  host_.set("TagInfo.Title", std::string(500, 'T'));
  host_.set("TagInfo.Artist", "Artist");
  host_.set("TagInfo.Album", "Album");
  host_.set("TagInfo.Year", "1999");
  host_.set("TagInfo.Comment", std::string(1200, 'c'));
  host_.set("TagInfo.Genre", "17");
  host_.call("onSaveFile", path);
  auto values = read(path);
  EXPECT_EQ(values["TagInfo.Title"], std::string(499, 'T'));
  EXPECT_EQ(values["TagInfo.Artist"], "Artist");  // not run into by the title
  EXPECT_EQ(values["TagInfo.Album"], "Album");
  EXPECT_EQ(values["TagInfo.Year"], "1999");
  EXPECT_EQ(values["TagInfo.Comment"], std::string(999, 'c'));
  EXPECT_EQ(values["TagInfo.Genre"], "17");
}

TEST_F(TagInfo, Id3v2FileWritingKeepsTheTrack) {
  const std::string head = id3v2(3000) + audio(frameHeader(), 20000);
  struct Case {
    const char* name;
    std::string before;
    std::string comment;
    std::string track;
    std::string tag;
  };
  const Case cases[] = {
      {"v1.1 kept", head + id3v1("Old", "", "", "", "", 3, 7), "New comment", "\x07",
       id3v1("New Title", "New Artist", "New Album", "2024", padded("New comment", 28), 17, 7)},
      {"comment too long for a track", head + id3v1("Old", "", "", "", "", 3, 7), std::string(29, 'c'), "\x07",
       id3v1("New Title", "New Artist", "New Album", "2024", std::string(29, 'c'), 17)},
      {"no track", head, "New comment", kMarker,
       id3v1("New Title", "New Artist", "New Album", "2024", "New comment", 17)},
  };
  for (const Case& c : cases) {
    std::string path = file("v2.mp3", c.before);
    host_.set("TagInfo.Title", "New Title");
    host_.set("TagInfo.Artist", "New Artist");
    host_.set("TagInfo.Album", "New Album");
    host_.set("TagInfo.Year", "2024");
    host_.set("TagInfo.Comment", c.comment);
    host_.set("TagInfo.Genre", "17");
    host_.set("TagInfo.Track", c.track);
    host_.call("onWriteinfo", path);
    std::string after = contents("v2.mp3");
    EXPECT_EQ(after.substr(0, head.size()), head) << c.name;
    EXPECT_EQ(after.substr(head.size()), c.tag) << c.name;
    auto values = read(path);
    EXPECT_EQ(values["TagInfo.Comment"], c.comment.substr(0, 29)) << c.name;
  }
  // A marker genre is written as 0, which reads back as the marker.
  std::string path = file("v2.mp3", head);
  host_.set("TagInfo.Genre", kMarker);
  host_.call("onWriteinfo", path);
  EXPECT_EQ(contents("v2.mp3").back(), '\0');
}

TEST_F(TagInfo, PlainMp3WritingPadsFieldsWithSpaces) {
  std::string audioBytes = audio(frameHeader(), 3000);
  std::string path = file("p.mp3", audioBytes);
  host_.set("TagInfo.Title", "Hello");
  host_.set("TagInfo.Artist", std::string(40, 'a'));
  host_.set("TagInfo.Album", kMarker);
  host_.set("TagInfo.Year", "2001");
  host_.set("TagInfo.Comment", "c");
  host_.set("TagInfo.Genre", "20");
  host_.call("onSaveFile", path);
  std::string expected = "TAG" + std::string("Hello") + std::string(25, ' ') + std::string(30, 'a') +
                         std::string(30, ' ') + "2001" + "c" + std::string(29, ' ') + char(20);
  EXPECT_EQ(contents("p.mp3"), audioBytes + expected);
  host_.call("onSaveFile", path);  // replaces its own tag
  EXPECT_EQ(contents("p.mp3"), audioBytes + expected);
}

TEST_F(TagInfo, WriteTagAppendsOrReplaces) {
  std::string path = file("t.mp3", std::string(300, 'x'));
  std::vector<std::string> arguments = {path, "S", "A", "B", "1999", "C", "300"};
  host_.call("WriteTag", arguments);
  std::string tag = contents("t.mp3").substr(300);
  EXPECT_EQ(tag, id3v1("S", "A", "B", "1999", "C", 255));
  arguments[1] = "Second";
  host_.call("WriteTag", arguments);
  EXPECT_EQ(contents("t.mp3").size(), 428u);
  EXPECT_EQ(contents("t.mp3").substr(303, 6), "Second");
  arguments[0] = "c:\\music\\missing.mp3";
  host_.call("WriteTag", arguments);
  EXPECT_FALSE(fs::exists(prefix_.driveC() / "music" / "missing.mp3"));
}

}  // namespace
