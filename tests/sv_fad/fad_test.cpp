#include "sv_fad/sv_fad.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/binary_file.h"
#include "common/riff.h"
#include "tests/support/riff_bytes.h"
#include "platform/library.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

constexpr size_t kSecond = 176400;

// Frames of one value in both channels.
std::string constant(size_t bytes, int16_t value) {
  std::string out;
  out.reserve(bytes);
  for (size_t i = 0; i < bytes / 2; ++i) out += le16(static_cast<uint16_t>(value));
  return out;
}

// Frames that tell where they came from: a file number and the frame index.
std::string numbered(size_t bytes, int file) {
  std::string out;
  out.reserve(bytes);
  for (size_t i = 0; i < bytes / 2; ++i) out += le16(static_cast<uint16_t>(file * 1000 + (i / 2) % 997));
  return out;
}

int16_t sampleAt(const std::string& data, size_t byte) {
  return static_cast<int16_t>(static_cast<uint8_t>(data[byte]) | (static_cast<uint8_t>(data[byte + 1]) << 8));
}

class FadTest : public ::testing::Test {
 protected:
  ~FadTest() override { closeAll(); }

  std::string source(const std::string& name, const std::string& samples) {
    return write(name, cdWav(samples));
  }
  std::string write(const std::string& name, const std::string& bytes) {
    TempPrefix::touch(prefix_.driveC() / "Burn" / name, bytes);
    return "c:\\burn\\" + name;
  }
  std::string contents(const std::string& name) {
    std::ifstream in(prefix_.driveC() / "Burn" / name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The samples of an output, after checking that it is exactly the output format.
  std::string outputData(const std::string& name) {
    std::string bytes = contents(name);
    const std::string header = "RIFF" + le32(static_cast<uint32_t>(bytes.size() - 8)) + "WAVEfmt " + le32(18) +
                               cdFmt() + le16(0) + "data";
    EXPECT_EQ(bytes.substr(0, header.size()), header) << name;
    if (bytes.size() < header.size() + 4) return {};
    uint32_t size = common::readLe32(reinterpret_cast<const uint8_t*>(bytes.data() + header.size()));
    std::string data = bytes.substr(header.size() + 4);
    EXPECT_EQ(data.size(), size + (size & 1)) << name;
    return data.substr(0, size);
  }
  std::vector<std::string> folderNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(prefix_.driveC() / "Burn")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  void runChain(int transitions) {
    ASSERT_EQ(crossFader(), fad::kReady);
    for (int i = 0; i < transitions; ++i) ASSERT_EQ(stepFade(), fad::kStepped) << "transition " << i;
    ASSERT_EQ(stepFade(), fad::kFinished);
  }

  TempPrefix prefix_;
};

TEST_F(FadTest, TenSecondCrossfadeSplitsTheZoneAfterWholeBlocks) {
  std::string a = constant(10 * kSecond, 1000);
  std::string b = constant(10 * kSecond, -2000);
  addFile(source("a.wav", a).c_str(), "c:\\burn\\out1.wav", 2000, 500, fad::kCrossfade);
  addFile(source("b.wav", b).c_str(), "c:\\burn\\out2.wav", 0, 0, 0);
  runChain(1);

  std::string out1 = outputData("out1.wav");
  std::string out2 = outputData("out2.wav");
  ASSERT_EQ(out1.size(), 1411200u + 196608u);
  ASSERT_EQ(out2.size(), 156192u + 1411200u);
  EXPECT_EQ(out1.substr(0, 1411200), a.substr(0, 1411200));
  EXPECT_EQ(out2.substr(156192), b.substr(b.size() - 1411200));
  // The zone: 352800 bytes, the current gain falling and the next rising by one step per frame.
  std::string zone = out1.substr(1411200) + out2.substr(0, 156192);
  ASSERT_EQ(zone.size(), 352800u);
  for (size_t frame = 0; frame < zone.size() / 4; ++frame) {
    double gc = (352800.0 - 4.0 * frame) / 352800.0;
    double gn = 4.0 * frame / 352800.0;
    auto expected = static_cast<int16_t>(std::trunc(-2000 * gn + 1000 * gc));
    ASSERT_EQ(sampleAt(zone, 4 * frame), expected) << frame;
    ASSERT_EQ(sampleAt(zone, 4 * frame + 2), expected) << frame;
  }
}

// Gains at the start of the zone and half way through it, by kind: a 1000 ms zone, all of it in the first
// output, between a file of 1000 and a file of -2000.
TEST_F(FadTest, KindsSetTheGains) {
  struct Case {
    uint32_t kind;
    int16_t atStart;
    int16_t halfWay;
  };
  const Case cases[] = {{fad::kOverlap, -1000, -1000},
                        {fad::kFadeOut, -1000, -1500},
                        {fad::kFadeIn, 1000, 0},
                        {fad::kCrossfade, 1000, -500},
                        {7, 1000, -500}};
  for (const Case& c : cases) {
    addFile(source("a.wav", constant(2 * kSecond, 1000)).c_str(), "c:\\burn\\o1.wav", 1000, 1000, c.kind);
    addFile(source("b.wav", constant(2 * kSecond, -2000)).c_str(), "c:\\burn\\o2.wav", 0, 0, 0);
    runChain(1);
    std::string out1 = outputData("o1.wav");
    ASSERT_EQ(out1.size(), 2 * kSecond);
    EXPECT_EQ(sampleAt(out1, kSecond), c.atStart) << c.kind;
    EXPECT_EQ(sampleAt(out1, kSecond + kSecond / 2 + 2), c.halfWay) << c.kind;
    EXPECT_EQ(outputData("o2.wav"), constant(kSecond, -2000)) << c.kind;
  }
}

TEST_F(FadTest, PauseAppendsSilenceAndLeavesTheNextFileWhole) {
  std::string a = numbered(3 * kSecond + 2, 1);
  std::string b = numbered(2 * kSecond, 2);
  addFile(source("a.wav", a).c_str(), "c:\\burn\\out1.wav", 1000, 500, fad::kPause);
  addFile(source("b.wav", b).c_str(), "c:\\burn\\out2.wav", 0, 0, 0);
  runChain(1);
  EXPECT_EQ(outputData("out1.wav"), a + std::string(kSecond, '\0'));
  EXPECT_EQ(outputData("out2.wav"), b);
}

// Every byte of every source ends up in the outputs: in chains of three, with overlaps other than half,
// the outputs together hold the sources less each zone once, and the last file ends as it ends.
TEST_F(FadTest, LongChainsKeepEveryByte) {
  struct Case {
    const char* name;
    int32_t overlap;
    uint32_t kind;
  };
  const Case cases[] = {{"crossfade 300", 300, fad::kCrossfade},
                        {"fade-out 0", 0, fad::kFadeOut},
                        {"fade-in 1000", 1000, fad::kFadeIn},
                        {"overlap 750", 750, fad::kOverlap},
                        {"pause between", 500, fad::kPause}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string files[3] = {numbered(5 * kSecond, 1), numbered(4 * kSecond, 2), numbered(6 * kSecond, 3)};
    const char* names[3] = {"s0.wav", "s1.wav", "s2.wav"};
    const char* targets[3] = {"c:\\burn\\o0.wav", "c:\\burn\\o1.wav", "c:\\burn\\o2.wav"};
    for (int i = 0; i < 3; ++i) addFile(source(names[i], files[i]).c_str(), targets[i], 1500, c.overlap, c.kind);
    runChain(2);
    std::string outs[3] = {outputData("o0.wav"), outputData("o1.wav"), outputData("o2.wav")};
    size_t zone = 1500 * kSecond / 1000;
    size_t total = outs[0].size() + outs[1].size() + outs[2].size();
    size_t sources = files[0].size() + files[1].size() + files[2].size();
    if (c.kind == fad::kPause) {
      EXPECT_EQ(outs[0], files[0] + std::string(zone, '\0'));
      EXPECT_EQ(outs[1], files[1] + std::string(zone, '\0'));
      EXPECT_EQ(outs[2], files[2]);
    } else {
      EXPECT_EQ(total, sources - 2 * zone);
      size_t tail = files[2].size() - zone;
      EXPECT_EQ(outs[2].substr(outs[2].size() - tail), files[2].substr(zone));
      EXPECT_EQ(outs[0].substr(0, files[0].size() - zone), files[0].substr(0, files[0].size() - zone));
    }
  }
}

TEST_F(FadTest, ZonesAreCutToTheFilesAndMissingSamplesAreSilence) {
  // A zone longer than both files: cut to the first file; the second, shorter, sets the gains' pace and
  // gives silence once it has run out.
  std::string a = constant(2 * kSecond, 100);
  std::string b = constant(kSecond / 2, 7);
  addFile(source("a.wav", a).c_str(), "c:\\burn\\out1.wav", 4000, 1000, fad::kOverlap);
  addFile(source("b.wav", b).c_str(), "c:\\burn\\out2.wav", 0, 0, 0);
  runChain(1);
  std::string out1 = outputData("out1.wav");
  ASSERT_EQ(out1.size(), a.size());
  EXPECT_EQ(out1.substr(0, b.size()), constant(b.size(), 107));
  EXPECT_EQ(out1.substr(b.size()), constant(a.size() - b.size(), 100));
  EXPECT_EQ(outputData("out2.wav"), "");
}

TEST_F(FadTest, MixedSamplesAreClipped) {
  const std::pair<int16_t, int16_t> cases[] = {{30000, 30000}, {-30000, -30000}};
  const int16_t expected[] = {32767, -32768};
  for (int i = 0; i < 2; ++i) {
    addFile(source("a.wav", constant(4000, cases[i].first)).c_str(), "c:\\burn\\out1.wav", 10, 1000, fad::kOverlap);
    addFile(source("b.wav", constant(4000, cases[i].second)).c_str(), "c:\\burn\\out2.wav", 0, 0, 0);
    runChain(1);
    std::string out1 = outputData("out1.wav");
    ASSERT_EQ(out1.size(), 4000u);
    EXPECT_EQ(sampleAt(out1, 4000 - 1764), expected[i]);
    EXPECT_EQ(sampleAt(out1, 3998), expected[i]);
  }
}

TEST_F(FadTest, BadChainsFailWithoutTouchingFiles) {
  std::string a = source("a.wav", constant(1000, 1));
  EXPECT_EQ(crossFader(), fad::kEmptyChain);
  EXPECT_EQ(stepFade(), fad::kFinished);

  addFile(a.c_str(), "", 100, 500, 3);
  EXPECT_EQ(crossFader(), fad::kBadEntry);
  addFile(a.c_str(), "c:\\burn\\out.wav", 100, 500, 3);
  addFile(a.c_str(), nullptr, 0, 0, 0);
  EXPECT_EQ(crossFader(), fad::kBadEntry);
  addFile(a.c_str(), "c:\\burn\\out.wav", 100, 500, 3);
  addFile(source("b.wav", constant(1000, 2)).c_str(), "C:\\BURN\\A.WAV", 0, 0, 0);  // a source as target
  EXPECT_EQ(crossFader(), fad::kBadEntry);
  EXPECT_EQ(folderNames(), (std::vector<std::string>{"a.wav", "b.wav"}));
  EXPECT_EQ(contents("a.wav"), cdWav(constant(1000, 1)));
}

TEST_F(FadTest, CrossFaderResults) {
  std::string good = source("good.wav", constant(1000, 1));
  struct Case {
    const char* name;
    std::string source;
    std::string target;
    int32_t result;
  };
  const Case cases[] = {
      {"missing source", "c:\\burn\\missing.wav", "c:\\burn\\o.wav", fad::kSourceNotOpened},
      {"source is a folder", "c:\\burn", "c:\\burn\\o.wav", fad::kSourceNotOpened},
      {"no folder for the output", good, "c:\\nowhere\\o.wav", fad::kOutputNotCreated},
      {"not a wave file", write("avi.wav", riff("AVI ", chunk("data", "dd"))), "c:\\burn\\o.wav", fad::kNotWave},
      {"no data", write("nodata.wav", riff("WAVE", chunk("fmt ", cdFmt()))), "c:\\burn\\o.wav", fad::kNoDataOrRiff},
      {"fine", good, "c:\\burn\\o.wav", fad::kReady},
  };
  for (const Case& c : cases) {
    addFile(c.source.c_str(), c.target.c_str(), 0, 0, 0);
    EXPECT_EQ(crossFader(), c.result) << c.name;
    closeAll();
  }
  // After a source that cannot be opened the chain stays, so the caller may try again.
  addFile("c:\\burn\\late.wav", "c:\\burn\\late-out.wav", 0, 0, 0);
  EXPECT_EQ(crossFader(), fad::kSourceNotOpened);
  source("late.wav", constant(8, 5));
  EXPECT_EQ(crossFader(), fad::kReady);
  EXPECT_EQ(stepFade(), fad::kFinished);
  EXPECT_EQ(outputData("late-out.wav"), constant(8, 5));
}

TEST_F(FadTest, AMissingNextSourceEndsTheChainAndSourcesStayReadOnly) {
  std::string a = constant(kSecond, 3);
  std::string path = source("a.wav", a);
  ::chmod((prefix_.driveC() / "Burn" / "a.wav").c_str(), 0444);
  addFile(path.c_str(), "c:\\burn\\out1.wav", 100, 500, 3);
  addFile("c:\\burn\\gone.wav", "c:\\burn\\out2.wav", 0, 0, 0);
  ASSERT_EQ(crossFader(), fad::kReady);
  EXPECT_EQ(stepFade(), fad::kFinished);
  EXPECT_EQ(stepFade(), fad::kFinished);
  EXPECT_EQ(contents("a.wav"), cdWav(a));
  // A new chain works after that.
  addFile(path.c_str(), "c:\\burn\\again.wav", 0, 0, 0);
  runChain(0);
  EXPECT_EQ(outputData("again.wav"), a);
}

TEST_F(FadTest, DataBeyondTheFileIsCutToWhatIsThere) {
  std::string samples = constant(1000, 9);
  std::string path = write("cut.wav", "RIFF" + le32(0xFFFFFFFF) + "WAVE" + chunk("fmt ", cdFmt()) +
                                          chunkClaiming("data", 0xFFFFFFF0, samples));
  addFile(path.c_str(), "c:\\burn\\out.wav", 0, 0, 0);
  runChain(0);
  EXPECT_EQ(outputData("out.wav"), samples);
}

// Callers bind the library by its Windows name, as the suite binds its DLLs.
TEST(FadBinding, ExportsAreFoundByName) {
  ::setenv("WAVEDESK_PROGRAM_DIR", WAVEDESK_BIN_DIR, 1);
  platform::BoundLibrary library("sv_fad.dll");
  ASSERT_TRUE(library.available());
  EXPECT_EQ(library.function<void*(const char*, const char*, int32_t, int32_t, uint32_t)>("addFile"), &addFile);
  EXPECT_EQ(library.function<int32_t()>("crossFader"), &crossFader);
  EXPECT_EQ(library.function<int32_t()>("stepFade"), &stepFade);
  EXPECT_EQ(library.function<void()>("closeAll"), &closeAll);
}

}  // namespace
