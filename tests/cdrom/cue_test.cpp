#include <gtest/gtest.h>

#include "outside/cdrom/cue.h"

namespace {

TEST(CueFileNames, ReadsQuotedAndBareNamesOfEveryFileLine) {
  struct Case {
    const char* sheet;
    std::vector<std::string> names;
  } cases[] = {
      {"FILE \"My Album (disc 1).bin\" BINARY\r\n  TRACK 01 AUDIO\r\n", {"My Album (disc 1).bin"}},
      {"file album.bin binary\n", {"album.bin"}},
      {"\tFILE\tone.bin BINARY\nTRACK 01 AUDIO\nFILE \"two.wav\" WAVE\n", {"one.bin", "two.wav"}},
      {"FILE \"unclosed.bin BINARY\n", {"unclosed.bin BINARY"}},
      {"FILENAME x.bin BINARY\nREM FILE y.bin\nFILE \"\" BINARY\n", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(cdrom::cueFileNames(c.sheet), c.names) << c.sheet;
}

}  // namespace
