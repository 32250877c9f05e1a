#include "sv_f_02/reverb_tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <cmath>

namespace {

std::optional<fx::ReverbTables> read(const std::string& text) {
  std::istringstream in(text);
  return fx::readReverbTables(in);
}

const std::string kMatrices = "2 2 1 0 0 1 4 1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1 ";

TEST(ReverbTables, ReadsCandidatesMatricesAndRooms) {
  auto tables = read("4 307 211 307 101\n" + kMatrices +
                     "first 2\n1 0 0 0.5 0.9\n-1 0 0 0.5 0.8\nsecond 0\n");
  ASSERT_TRUE(tables);
  EXPECT_EQ(tables->candidates, (std::set<int>{101, 211, 307}));  // a value given twice counts once
  ASSERT_EQ(tables->matrices.size(), 2u);
  EXPECT_EQ(tables->matrices[1].size(), 16u);
  ASSERT_EQ(tables->rooms.size(), 2u);
  EXPECT_EQ(tables->rooms[0].name, "first");
  EXPECT_EQ(tables->rooms[0].walls[1].nx, -1.0);
  EXPECT_EQ(tables->rooms[0].walls[1].r, 0.8);
  EXPECT_TRUE(tables->rooms[1].walls.empty());
}

TEST(ReverbTables, RejectsWhatCannotBeRead) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"only blanks", "  \n\t "},
      {"truncated candidates", "5 101 211"},
      {"non-numeric candidate", "2 101 abc"},
      {"negative count", "-1 " + kMatrices + "r 0"},
      {"huge candidate count", "2000000000 101 211"},
      {"candidate beyond the limit", "1 99999999 " + kMatrices + "r 0"},
      {"matrix of the wrong size", "1 101 1 4 1 0 0 1 r 0"},
      {"truncated matrix", "1 101 1 2 1 0 0"},
      {"too many matrices", "1 101 40 2 1 0 0 1"},
      {"no room", "1 101 " + kMatrices},
      {"truncated wall", "1 101 " + kMatrices + "r 2 1 0 0 0.5 0.9 -1 0"},
      {"non-numeric wall", "1 101 " + kMatrices + "r 1 1 0 x 0.5 0.9"},
      {"huge wall count", "1 101 " + kMatrices + "r 100000 1 0 0 0.5 0.9"},
      {"reflection above 1", "1 101 " + kMatrices + "r 1 1 0 0 0.5 1.5"},
      {"wall absurdly far", "1 101 " + kMatrices + "r 1 1 0 0 1e9 0.5"},
      {"not a unit normal", "1 101 " + kMatrices + "r 1 50 0 0 0.5 0.5"},
  };
  for (const auto& c : cases) EXPECT_FALSE(read(c.text)) << c.what;
}

// The shipped file is what its generator writes, and it reads as the tables the presets need.
TEST(ReverbTables, ShippedFileComesFromItsGenerator) {
  std::string generated;
  FILE* pipe = ::popen(FX_CONSTANTS_GENERATOR, "r");
  ASSERT_NE(pipe, nullptr);
  char chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) generated.append(chunk, got);
  ASSERT_EQ(::pclose(pipe), 0);
  std::ifstream file(FX_CONSTANTS_FILE, std::ios::binary);
  const std::string shipped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(generated, shipped);

  auto tables = read(shipped);
  ASSERT_TRUE(tables);
  EXPECT_GE(tables->rooms.size(), 6u);
  ASSERT_EQ(tables->matrices.size(), 4u);
  for (const auto& m : tables->matrices) {  // orthogonal: M M^T = I
    const int size = static_cast<int>(std::lround(std::sqrt(m.size())));
    for (int r = 0; r < size; ++r)
      for (int c = 0; c < size; ++c) {
        double dot = 0;
        for (int k = 0; k < size; ++k) dot += m[r * size + k] * m[c * size + k];
        EXPECT_NEAR(dot, r == c ? 1.0 : 0.0, 1e-6);
      }
  }
}

}  // namespace
