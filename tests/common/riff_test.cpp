#include "common/riff.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/riff_bytes.h"

namespace {

namespace fs = std::filesystem;
using common::BinaryFile;
using namespace common::riff;
using namespace testsupport;

class RiffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "wavedesk-riff-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  BinaryFile fileWith(const std::string& bytes) {
    fs::path path = folder_ / "in.riff";
    std::ofstream(path, std::ios::binary) << bytes;
    auto file = BinaryFile::open(path, BinaryFile::Mode::Read);
    EXPECT_TRUE(file);
    return std::move(*file);
  }
  std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path folder_;
};

TEST_F(RiffTest, FindsFormsListsAndChunksPastOddSizes) {
  BinaryFile file = fileWith(chunk("JUNK", "12345") +
                             riff("WAVE", chunk("odd ", "abc") + list("adtl", chunk("labl", "x")) +
                                              list("INFO", chunk("INAM", "Title")) + chunk("data", "dd")));
  Reader reader(file);
  auto form = reader.find(nullptr, kRiff, fourCC("WAVE"));
  ASSERT_TRUE(form);
  EXPECT_EQ(form->contentOffset, 14u + 12u);
  auto info = reader.find(&*form, kList, fourCC("INFO"));  // skips the odd chunk and the other list
  ASSERT_TRUE(info);
  auto name = reader.descend(&*info);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->id, fourCC("INAM"));
  char text[8] = {};
  EXPECT_EQ(reader.read(*name, text, sizeof text), 5u);  // never past the chunk
  EXPECT_STREQ(text, "Title");
  reader.ascend(*name);
  EXPECT_FALSE(reader.descend(&*info));  // the end of the list
  reader.ascend(*info);
  auto data = reader.find(&*form, fourCC("data"));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size, 2u);
  EXPECT_FALSE(reader.find(&*form, fourCC("fmt ")));  // only from the current position on
  EXPECT_EQ(reader.position(), form->contentEnd());
}

TEST_F(RiffTest, SizesAreCutToTheParentAndTheFile) {
  // A sub-chunk claiming more than its list, then a list claiming more than the file holds.
  BinaryFile file = fileWith(riff("WAVE", list("INFO", chunkClaiming("INAM", 1000, "ab")) + chunk("next", "n")) +
                             chunkClaiming("data", 0xFFFFFFFF, "xyz"));
  Reader reader(file);
  auto form = reader.find(nullptr, kRiff, fourCC("WAVE"));
  auto info = reader.find(&*form, kList, fourCC("INFO"));
  auto name = reader.descend(&*info);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->size, 2u);
  EXPECT_FALSE(name->complete());
  reader.ascend(*name);
  EXPECT_EQ(reader.position(), info->contentEnd());
  reader.ascend(*info);
  EXPECT_TRUE(reader.descend(&*form));  // "next" is still found inside the form
  reader.seek(form->end());
  auto data = reader.descend(nullptr);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->declaredSize, 0xFFFFFFFFu);
  EXPECT_EQ(data->size, 3u);
  EXPECT_EQ(data->end(), file.size());
}

TEST_F(RiffTest, TruncatedHeadersAndShortListsEndTheWalk) {
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty", ""},
      {"seven bytes", "RIFF\x04\0\0"},
      {"form without type", chunkClaiming("RIFF", 2, "WA")},
      {"form type cut off", std::string("RIFF\x10\0\0\0WA", 10)},
  };
  for (const Case& c : cases) {
    BinaryFile file = fileWith(c.bytes);
    Reader reader(file);
    EXPECT_FALSE(reader.find(nullptr, kRiff, fourCC("WAVE"))) << c.name;
  }
}

TEST_F(RiffTest, WriterFillsInSizesAndPads) {
  fs::path path = folder_ / "out.riff";
  auto file = BinaryFile::open(path, BinaryFile::Mode::Create);
  ASSERT_TRUE(file);
  Writer writer(*file);
  auto form = writer.createForm(kRiff, fourCC("WAVE"));
  ASSERT_TRUE(form);
  auto info = writer.createForm(kList, fourCC("INFO"));
  ASSERT_TRUE(writer.writeChunk(fourCC("INAM"), "odd"));
  ASSERT_TRUE(writer.writeChunk(fourCC("IART"), ""));
  ASSERT_TRUE(writer.ascend(*info));
  auto data = writer.create(fourCC("data"), 12345);  // a provisional size is corrected
  ASSERT_TRUE(writer.write("x", 1));
  ASSERT_TRUE(writer.ascend(*data));
  ASSERT_TRUE(writer.ascend(*form));
  file->close();
  EXPECT_EQ(contents(path), riff("WAVE", list("INFO", chunk("INAM", "odd") + chunk("IART", "")) + chunk("data", "x")));
}

TEST_F(RiffTest, FoldersAreNotFiles) {
  EXPECT_FALSE(BinaryFile::open(folder_, BinaryFile::Mode::Read));
  EXPECT_FALSE(BinaryFile::open(folder_, BinaryFile::Mode::ReadWrite));
  EXPECT_FALSE(BinaryFile::open(folder_ / "missing", BinaryFile::Mode::Read));
}

// Copies between offsets alike and unlike in their pages take different ways; both copy what there is.
TEST_F(RiffTest, CopyAppendsWhatTheSourceHolds) {
  std::string text;
  for (int i = 0; i < 300000; ++i) text += static_cast<char>('a' + i % 23);
  BinaryFile source = fileWith(text + "tail");
  for (uint64_t from : {uint64_t{4}, uint64_t{5}, uint64_t{4096 + 4}}) {
    auto out = BinaryFile::open(folder_ / "copy", BinaryFile::Mode::Create);
    Writer writer(*out);
    ASSERT_TRUE(writer.write("head", 4));
    EXPECT_EQ(writer.copy(source, from, 400000), text.size() + 4 - from);  // the source ends first
    EXPECT_EQ(writer.position(), text.size() + 8 - from);
    out->close();
    EXPECT_EQ(contents(folder_ / "copy"), "head" + text.substr(from) + "tail") << from;
  }
}

}  // namespace
