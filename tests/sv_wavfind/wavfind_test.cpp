#include "sv_wavfind/sv_wavfind.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/riff_bytes.h"
#include "platform/library.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;
using namespace wavfind;

struct Record {
  char bytes[kRecordSize] = {};
  std::string slot(int index) const { return std::string(bytes + slotOffset(index), kSlotSize).c_str(); }
  std::string raw(int index, size_t count) const { return std::string(bytes + slotOffset(index), count); }
  void set(int index, std::string_view text) {
    std::fill(bytes + slotOffset(index), bytes + slotOffset(index) + kSlotSize, '\0');
    std::copy(text.begin(), text.end(), bytes + slotOffset(index));
  }
};

class WavFindTest : public ::testing::Test {
 protected:
  // A file on drive C, returned under its Windows name.
  std::string file(const std::string& name, const std::string& bytes) {
    TempPrefix::touch(prefix_.driveC() / "Music" / name, bytes);
    return "c:\\music\\" + name;
  }
  std::string contents(const std::string& name) {
    std::ifstream in(prefix_.driveC() / "Music" / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> folderNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(prefix_.driveC() / "Music")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempPrefix prefix_;
};

const std::string kTenSeconds(1764000, '\x01');

TEST_F(WavFindTest, FormatChannelsRateAndLength) {
  struct Case {
    const char* name;
    std::string fmt;
    size_t dataBytes;
    const char* slots[4];
  };
  const Case cases[] = {
      {"cd", cdFmt(), 1764000, {"PCM AUDIO", "Stereo", "44100", "10"}},
      {"mp3 in wav", fmtRecord(85, 1, 22050, 4000), 9999, {"ISO/MPEG Layer3 Audio", "Mono", "22050", "2"}},
      {"unknown tag", fmtRecord(4, 4, 8000, 64000), 64000, {"unkown WAVE-Format", "Quadro", "8000", "1"}},
      {"six channels", fmtRecord(3, 6, 48000, 1152000), 100, {"Float WAVE", "6 channels", "48000", "0"}},
      {"no bytes per second", fmtRecord(1, 2, 44100, 0), 100, {"PCM AUDIO", "Stereo", "44100", "0"}},
      {"short fmt", fmtRecord(2, 2, 44100, 0).substr(0, 8), 100, {"Microsoft ADPCM", "Stereo", "44100", "0"}},
      {"rate as signed", fmtRecord(512, 0, 0xFFFFFFFF, 1), 3, {"Creative Labs ADPCM", "0 channels", "-1", "3"}},
  };
  for (const Case& c : cases) {
    std::string path = file("a.wav", riff("WAVE", chunk("fmt ", c.fmt) + chunk("data", std::string(c.dataBytes, 0))));
    Record record;
    ASSERT_TRUE(wavInfoLoad(path.c_str(), record.bytes)) << c.name;
    for (int slot = 0; slot < 4; ++slot) EXPECT_EQ(record.slot(slot), c.slots[slot]) << c.name << " slot " << slot;
    for (int slot = 4; slot <= 10; ++slot) EXPECT_EQ(record.slot(slot), "") << c.name;
  }
}

TEST_F(WavFindTest, InfoTextsAfterTheData) {
  std::string longComment(1200, 'c');
  std::string info = list("INFO", chunk("INAM", "Title") +  // odd size: the pad byte must be skipped
                                      chunk("IART", std::string("Artist\0", 7)) + list("INFO", chunk("INAM", "nested")) +
                                      chunk("ICMT", longComment) + chunk("IGNR", std::string(600, 'g')) +
                                      chunk("ISRC", "CD") + chunk("ICRD", "2024-05-01") + chunk("IXYZ", "skip"));
  std::string path = file("a.wav", cdWav(kTenSeconds, chunk("junk", "j") + info));
  Record record;
  ASSERT_TRUE(wavInfoLoad(path.c_str(), record.bytes));
  EXPECT_EQ(record.slot(kTitle), "Title");
  EXPECT_EQ(record.raw(kArtist, 8), std::string("Artist\0\0", 8));
  EXPECT_EQ(std::string(record.bytes + 3000, 1000), std::string(1000, 'c'));
  EXPECT_EQ(record.raw(kGenre, kSlotSize), std::string(500, 'g'));
  EXPECT_EQ(record.slot(kSource), "CD");
  EXPECT_EQ(record.slot(kDate), "2024");
}

TEST_F(WavFindTest, InfoBeforeTheDataIsNotSeen) {
  std::string path =
      file("a.wav", riff("WAVE", chunk("fmt ", cdFmt()) + list("INFO", chunk("INAM", "early")) + chunk("data", "dd")));
  Record record;
  ASSERT_TRUE(wavInfoLoad(path.c_str(), record.bytes));
  EXPECT_EQ(record.slot(kSeconds), "0");
  EXPECT_EQ(record.slot(kTitle), "");
}

TEST_F(WavFindTest, DataSizeBeyondTheFileCountsWhatIsThere) {
  std::string path = file("a.wav", riff("WAVE", chunk("fmt ", cdFmt())) + chunkClaiming("data", 0xFFFFFFFF, kTenSeconds));
  // The form ends before the data: nothing past it counts.
  Record record;
  ASSERT_TRUE(wavInfoLoad(path.c_str(), record.bytes));
  EXPECT_EQ(record.slot(kSeconds), "");
  std::string inside = chunkClaiming("RIFF", 0xFFFFFFFF, "WAVE" + chunk("fmt ", cdFmt()) +
                                                            chunkClaiming("data", 0xFFFFFFF0, kTenSeconds));
  path = file("b.wav", inside);
  ASSERT_TRUE(wavInfoLoad(path.c_str(), record.bytes));
  EXPECT_EQ(record.slot(kSeconds), "10");
}

TEST_F(WavFindTest, WhatIsNotAWaveFileIsLeftAlone) {
  struct Case {
    const char* name;
    std::string bytes;
    bool waveForm;  // saving only needs the form
  };
  const Case cases[] = {
      {"empty", "", false},
      {"127 bytes", std::string(127, 'x'), false},
      {"other form", riff("AVI ", chunk("fmt ", cdFmt())), false},
      {"big endian", "RIFX" + riff("WAVE", chunk("fmt ", cdFmt())).substr(4), false},
      {"no fmt", riff("WAVE", chunk("data", "dd")), true},
      {"fmt cut off", riff("WAVE", chunk("fmt ", cdFmt())).substr(0, 22), true},
  };
  for (const Case& c : cases) {
    std::string path = file("bad.wav", c.bytes);
    Record record;
    record.set(kTitle, "keep");
    EXPECT_FALSE(wavInfoLoad(path.c_str(), record.bytes)) << c.name;
    EXPECT_EQ(record.slot(kTitle), "keep") << c.name;
    EXPECT_EQ(record.slot(kFormatName), "") << c.name;
    if (c.waveForm) continue;
    EXPECT_FALSE(wavInfoSave(path.c_str(), record.bytes)) << c.name;
    EXPECT_EQ(contents("bad.wav"), c.bytes) << c.name;
  }
  TempPrefix::touch(prefix_.driveC() / "Music" / "folder.wav" / "x");
  Record record;
  EXPECT_FALSE(wavInfoLoad("c:\\music\\folder.wav", record.bytes));
  EXPECT_FALSE(wavInfoSave("c:\\music\\folder.wav", record.bytes));
  EXPECT_FALSE(wavInfoLoad("c:\\music\\missing.wav", record.bytes));
  EXPECT_FALSE(wavInfoLoad(nullptr, record.bytes));
  EXPECT_EQ(folderNames(), (std::vector<std::string>{"bad.wav", "folder.wav"}));
}

Record newTexts(const char* title) {
  Record record;
  record.set(kTitle, title);
  record.set(kArtist, "Artist");
  record.set(kComment, "Comment");
  record.set(kGenre, "Genre");
  record.set(kSource, "Src");
  record.set(kDate, "1999");
  return record;
}

TEST_F(WavFindTest, SaveAppendsAListThenReplacesItInPlace) {
  std::string samples(1001, '\x05');  // odd data: the pad byte is kept
  std::string before = riff("WAVE", chunk("fmt ", cdFmt()) + chunk("data", samples) + list("adtl", chunk("labl", "x")));
  std::string path = file("Song.wav", before);
  Record first = newTexts("First");
  ASSERT_TRUE(wavInfoSave("C:\\MUSIC\\SONG.WAV", first.bytes));
  std::string appended = list("INFO", chunk("INAM", "First") + chunk("IART", "Artist") + chunk("ICMT", "Comment") +
                                          chunk("ICMT", "") + chunk("IGNR", "Genre") + chunk("ISRC", "Src") +
                                          chunk("ICRD", "1999"));
  EXPECT_EQ(contents("Song.wav"),
            riff("WAVE", chunk("fmt ", cdFmt()) + chunk("data", samples) + list("adtl", chunk("labl", "x")) + appended));

  Record second = newTexts("Second title");
  second.set(kArtist, "");
  ASSERT_TRUE(wavInfoSave(path.c_str(), second.bytes));
  // In place: both comments get slot 6, nothing is added.
  std::string replaced = list("INFO", chunk("INAM", "Second title") + chunk("IART", "") + chunk("ICMT", "Comment") +
                                          chunk("ICMT", "Comment") + chunk("IGNR", "Genre") + chunk("ISRC", "Src") +
                                          chunk("ICRD", "1999"));
  EXPECT_EQ(contents("Song.wav"),
            riff("WAVE", chunk("fmt ", cdFmt()) + chunk("data", samples) + list("adtl", chunk("labl", "x")) + replaced));
  EXPECT_EQ(folderNames(), std::vector<std::string>{"Song.wav"});

  Record loaded;
  ASSERT_TRUE(wavInfoLoad(path.c_str(), loaded.bytes));
  EXPECT_EQ(loaded.slot(kTitle), "Second title");
  EXPECT_EQ(loaded.slot(kComment), "Comment");
  EXPECT_EQ(loaded.slot(kSeconds), "0");
}

TEST_F(WavFindTest, SaveKeepsOtherSubChunksAndAddsMissingSlots) {
  std::string info = list("INFO", chunk("ISFT", "tool") + chunk("INAM", "Old") + chunk("ICOP", "(c)"));
  std::string path = file("a.wav", cdWav("abcd", info));
  Record record = newTexts("New");
  ASSERT_TRUE(wavInfoSave(path.c_str(), record.bytes));
  std::string expected = list("INFO", chunk("ISFT", "tool") + chunk("INAM", "New") + chunk("ICOP", "(c)") +
                                          chunk("IART", "Artist") + chunk("ICMT", "Comment") + chunk("ICMT", "") +
                                          chunk("IGNR", "Genre") + chunk("ISRC", "Src") + chunk("ICRD", "1999"));
  EXPECT_EQ(contents("a.wav"), cdWav("abcd", expected));
}

TEST_F(WavFindTest, AFailedSaveChangesNothing) {
  std::string before = cdWav("abcd");
  std::string path = file("locked.wav", before);
  ::chmod((prefix_.driveC() / "Music" / "locked.wav").c_str(), 0444);
  Record record = newTexts("x");
  EXPECT_FALSE(wavInfoSave(path.c_str(), record.bytes));
  EXPECT_EQ(contents("locked.wav"), before);
  EXPECT_FALSE(wavInfoSave("c:\\music\\missing.wav", record.bytes));
  EXPECT_FALSE(wavInfoSave(path.c_str(), nullptr));
  EXPECT_EQ(folderNames(), std::vector<std::string>{"locked.wav"});
}

TEST_F(WavFindTest, ASizeBeyondTheFileIsSavedAsWhatIsThere) {
  std::string path = file("cut.wav", riff("WAVE", chunk("fmt ", cdFmt())).substr(0, 4) + le32(0xFFFFFFFF) + "WAVE" +
                                         chunk("fmt ", cdFmt()) + chunkClaiming("data", 0x7FFFFFFF, "abc"));
  Record record = newTexts("T");
  ASSERT_TRUE(wavInfoSave(path.c_str(), record.bytes));
  std::string text = contents("cut.wav");
  EXPECT_EQ(text.substr(0, 48), riff("WAVE", chunk("fmt ", cdFmt()) + chunk("data", "abc")).substr(0, 48).replace(4, 4, text.substr(4, 4)));
  Record loaded;
  ASSERT_TRUE(wavInfoLoad(path.c_str(), loaded.bytes));
  EXPECT_EQ(loaded.slot(kTitle), "T");
}

TEST_F(WavFindTest, BytesAfterTheFormAreKept) {
  std::string tag = "TAG" + std::string(125, 't');
  std::string path = file("tagged.wav", cdWav("abcd") + tag);
  Record record = newTexts("T");
  ASSERT_TRUE(wavInfoSave(path.c_str(), record.bytes));
  std::string info = list("INFO", chunk("INAM", "T") + chunk("IART", "Artist") + chunk("ICMT", "Comment") +
                                      chunk("ICMT", "") + chunk("IGNR", "Genre") + chunk("ISRC", "Src") +
                                      chunk("ICRD", "1999"));
  EXPECT_EQ(contents("tagged.wav"), cdWav("abcd", info) + tag);
}

// The library has its own copy of the platform layer; it follows the prefix the process uses, also when
// that prefix's drives change.
TEST_F(WavFindTest, FollowsTheProcessPrefix) {
  fs::path music = prefix_.root() / "music-d";
  TempPrefix::touch(music / "A.wav", cdWav(kTenSeconds));
  Record record;
  EXPECT_FALSE(wavInfoLoad("d:\\a.wav", record.bytes));
  prefix_.writeIni("[drives]\nd = " + music.string() + "\n");
  ASSERT_TRUE(wavInfoLoad("d:\\a.wav", record.bytes));
  EXPECT_EQ(record.slot(kSeconds), "10");
}

// Callers bind the library by its Windows name, as the suite binds its DLLs.
TEST(WavFindBinding, ExportsAreFoundByName) {
  ::setenv("WAVEDESK_PROGRAM_DIR", WAVEDESK_BIN_DIR, 1);
  platform::BoundLibrary library("sv_wavfind.dll");
  ASSERT_TRUE(library.available());
  EXPECT_EQ(library.function<bool(const char*, char*)>("wavInfoLoad"), &wavInfoLoad);
  EXPECT_EQ(library.function<bool(const char*, const char*)>("wavInfoSave"), &wavInfoSave);
}

}  // namespace
