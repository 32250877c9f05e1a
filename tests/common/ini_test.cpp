#include "common/ini.h"

#include <gtest/gtest.h>

namespace {

TEST(IniFile, SectionsKeysAndComments) {
  auto ini = common::IniFile::parse(
      "; comment\n[Drives]\r\n d = /media/cd , cdrom \n# another\nE=x=y\n\n[folders]\ntemp = c:\\tmp\\\nD = /other\n");
  EXPECT_EQ(ini.value("drives", "D"), "/media/cd , cdrom");
  EXPECT_EQ(ini.value("DRIVES", "e"), "x=y");
  EXPECT_EQ(ini.value("folders", "temp"), "c:\\tmp\\");
  EXPECT_EQ(ini.value("folders", "d"), "/other");
  EXPECT_FALSE(ini.value("folders", "windows"));
  ASSERT_EQ(ini.section("drives").size(), 2u);
  EXPECT_EQ(ini.section("drives")[1].line, 5);
  EXPECT_TRUE(ini.badLines().empty());
}

TEST(IniFile, BadLinesAreCountedAndSkipped) {
  auto ini = common::IniFile::parse("[open\nno equals\n= no key\n[s]\nk = 1\nk = 2");
  EXPECT_EQ(ini.badLines(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(ini.value("s", "k"), "2");  // the last one written wins
}

}  // namespace
