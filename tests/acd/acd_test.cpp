// The CD reader control over CUE/BIN images made by the test, driven as the worker drives it.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/library.h"
#include "tests/support/cd_image.h"
#include "tests/support/temp_prefix.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CdTrackSpec;

enum Id { kInit = 2, kSelect = 4, kRead = 6, kDevices = 8, kTracks = 11, kStop = 14, kTrackValue = 24, kCopyMode = 34 };
enum Event { kPosition = 1, kFailure = 2, kComplete = 3 };
using Handler = void (*)(void*, int32_t, int32_t, const char*);

struct Received {
  int32_t event, value;
  std::string text;
};

std::string fileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Acd : public ::testing::Test {
 protected:
  testsupport::TempPrefix prefix;
  platform::BoundLibrary acd{"acd.ocx"};
  void* control = nullptr;
  std::vector<Received> events;
  bool insideLoop = false;
  bool raisedOutsideLoop = false;

  static void onEvent(void* context, int32_t event, int32_t value, const char* text) {
    auto* self = static_cast<Acd*>(context);
    if (!self->insideLoop) self->raisedOutsideLoop = true;
    self->events.push_back({event, value, text});
  }

  void SetUp() override { ASSERT_TRUE(acd.available()); }
  void TearDown() override {
    if (control != nullptr) destroy();
    runFor(50);
    EXPECT_FALSE(raisedOutsideLoop) << "an event reached the handler outside the event loop or after destroy";
  }
  void create() {
    control = acd.call<void*(Handler, void*)>("AcdCreate", &Acd::onEvent, this);
    ASSERT_NE(control, nullptr);
  }
  void destroy() {
    acd.call<void(void*)>("AcdDestroy", control);
    control = nullptr;
  }
  int32_t invoke(int32_t id, int32_t number = 0, const std::string& text = {}) {
    return acd.call<int32_t(void*, int32_t, int32_t, const char*)>("AcdInvoke", control, id, number, text.c_str());
  }
  bool ended() const {
    return !events.empty() && (events.back().event == kComplete || events.back().event == kFailure);
  }
  bool runUntilEnd(int64_t maxMs = 60000) {
    insideLoop = true;
    bool done = platform::runUntil([&] { return ended(); }, maxMs);
    insideLoop = false;
    return done;
  }
  void runFor(int64_t ms) {
    insideLoop = true;
    platform::run(ms);
    insideLoop = false;
  }
  // The WAV's samples, after checking its header describes 44100 Hz 16-bit stereo and its exact length.
  static std::string wavData(const fs::path& file) {
    std::string bytes = fileBytes(file);
    if (bytes.size() < 44) return "short file";
    const std::string expected = std::string("RIFF") + "????" + "WAVEfmt ";
    uint32_t riff, data, rate;
    uint16_t channels, bits;
    std::memcpy(&riff, &bytes[4], 4);
    std::memcpy(&data, &bytes[40], 4);
    std::memcpy(&rate, &bytes[24], 4);
    std::memcpy(&channels, &bytes[22], 2);
    std::memcpy(&bits, &bytes[34], 2);
    if (riff != bytes.size() - 8 || data != bytes.size() - 44 || rate != 44100 || channels != 2 || bits != 16)
      return "bad header";
    return bytes.substr(44);
  }
};

TEST_F(Acd, ReadsEveryTrackByteExactInBothCopyModes) {
  // Track 2 has a pregap: it starts at its INDEX 01, and the gap belongs to the end of track 1.
  auto image = testsupport::writeCdImage(prefix.root() / "discs", "album",
                                         {{.sectors = 80}, {.sectors = 150, .pregapSectors = 30}, {.sectors = 7}});
  prefix.writeIni("[drives]\ne = discs/album.cue, cdrom\n");
  create();
  invoke(kInit);
  ASSERT_EQ(invoke(kDevices), 1);
  invoke(kSelect, 1);
  ASSERT_EQ(invoke(kTracks), 3);
  EXPECT_EQ(invoke(kTrackValue, 2), 150);
  EXPECT_EQ(invoke(kTrackValue, 4), 0);
  for (int mode : {1, 2}) {
    EXPECT_EQ(invoke(kCopyMode, mode), mode);
    for (int track = 1; track <= 3; ++track) {
      SCOPED_TRACE(testing::Message() << "copy mode " << mode << ", track " << track);
      events.clear();
      const std::string target = "c:\\Track0" + std::to_string(track) + ".wav";
      ASSERT_EQ(invoke(kRead, track, target), 0);
      EXPECT_TRUE(events.empty()) << "events come through the loop, not from inside the call";
      ASSERT_TRUE(runUntilEnd());
      EXPECT_EQ(events.back().event, kComplete) << events.back().text;
      int32_t last = -1;
      for (size_t i = 0; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].event, kPosition);
        EXPECT_GT(events[i].value, last);
        last = events[i].value;
      }
      EXPECT_EQ(last, 1000);
      EXPECT_TRUE(wavData(platform::hostPath(target)) == image.trackBytes[track - 1]);
    }
  }
}

TEST_F(Acd, DevicesAreTheCdDrivesInLetterOrder) {
  testsupport::writeCdImage(prefix.root() / "discs", "five", std::vector<CdTrackSpec>(5));
  testsupport::writeCdImage(prefix.root() / "discs", "two", std::vector<CdTrackSpec>(2));
  fs::create_directories(prefix.root() / "datacd");
  prefix.writeIni(
      "[drives]\n"
      "g = discs/five.cue, cdrom\n"
      "e = discs/two.cue, cdrom\n"
      "f = datacd, cdrom\n"  // a folder: a data disc for the file system, not a device to read audio from
      "d = discs/two.cue\n");  // a fixed drive
  create();
  ASSERT_EQ(invoke(kDevices), 2);
  invoke(kSelect, 1);
  EXPECT_EQ(invoke(kTracks), 2);
  invoke(kSelect, 2);
  EXPECT_EQ(invoke(kTracks), 5);
  invoke(kSelect, 3);
  EXPECT_EQ(invoke(kTracks), 0);
}

TEST_F(Acd, BadDiscsAndTracksEndWithAFailureEvent) {
  testsupport::writeCdImage(prefix.root() / "discs", "lost", {{}, {}}, "elsewhere.bin");
  testsupport::writeCdImage(prefix.root() / "discs", "mixed", {{.sectors = 40, .data = true}, {.sectors = 40}});
  prefix.writeIni("[drives]\nd = discs/mixed.cue, cdrom\ne = discs/lost.cue, cdrom\n");
  create();
  struct Case {
    const char* name;
    int device, track;
    std::string target;
  } cases[] = {
      {"track beyond the disc", 1, 3, "c:\\out.wav"},
      {"data track", 1, 1, "c:\\out.wav"},
      {"cue whose bin is missing", 2, 1, "c:\\out.wav"},
      {"no such device", 3, 1, "c:\\out.wav"},
      {"target folder missing", 1, 2, "c:\\nowhere\\out.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    events.clear();
    invoke(kSelect, c.device);
    invoke(kRead, c.track, c.target);
    ASSERT_TRUE(runUntilEnd());
    EXPECT_EQ(events.back().event, kFailure);
    EXPECT_NE(events.back().value, 0);
    EXPECT_FALSE(events.back().text.empty()) << events.size() << " events, last value " << events.back().value;
    EXPECT_FALSE(fs::exists(platform::hostPath("c:\\out.wav")));
  }
  invoke(kSelect, 2);
  EXPECT_EQ(invoke(kTracks), 0) << "a cue without its bin is no readable disc";
}

TEST_F(Acd, StopAndDestroyEndTheReadWithNoFurtherEvents) {
  testsupport::writeCdImage(prefix.root() / "discs", "long", {{.sectors = 75 * 60}});
  prefix.writeIni("[drives]\ne = discs/long.cue, cdrom\n");
  for (bool byDestroy : {false, true}) {
    SCOPED_TRACE(byDestroy ? "destroy" : "stop");
    create();
    events.clear();
    invoke(kCopyMode, 2);
    invoke(kRead, 1, "c:\\long.wav");
    insideLoop = true;
    platform::runUntil([&] { return !events.empty(); }, 60000);
    insideLoop = false;
    ASSERT_FALSE(events.empty());
    ASSERT_EQ(events.back().event, kPosition);
    if (byDestroy) {
      destroy();
    } else {
      EXPECT_EQ(invoke(kStop), 0);
    }
    const size_t seen = events.size();
    runFor(100);
    EXPECT_EQ(events.size(), seen);
    if (!byDestroy) destroy();
    EXPECT_TRUE(fs::remove(platform::hostPath("c:\\long.wav"))) << "the file is not held open after the stop";
  }
}

}  // namespace
