#include "platform/input.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/support/temp_prefix.h"

namespace {

TEST(Keys, EachPressIsSeenByOneCheckOfItsKey) {
  platform::clearKeys();
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::Escape));
  platform::pressKey(platform::Key::Escape);
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::F4));
  EXPECT_TRUE(platform::keyDownOrPressed(platform::Key::Escape));
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::Escape));

  platform::pressKey(platform::Key::F4, 3);
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::F4));
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::Escape));  // other keys do not count
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::F4));
  EXPECT_TRUE(platform::keyDownOrPressed(platform::Key::F4));
  EXPECT_FALSE(platform::keyDownOrPressed(platform::Key::F4));
}

TEST(Language, SourcesInOrder) {
  testsupport::TempPrefix prefix("[system]\nlanguage = 0x040C\n");
  ::unsetenv("WAVEDESK_LANGID");
  EXPECT_EQ(platform::defaultLanguageId(), 0x040C);
  ::setenv("WAVEDESK_LANGID", "1031", 1);
  EXPECT_EQ(platform::defaultLanguageId(), 0x0407);
  platform::setDefaultLanguageId(0x0410);
  EXPECT_EQ(platform::defaultLanguageId(), 0x0410);
  platform::setDefaultLanguageId(0);
  ::unsetenv("WAVEDESK_LANGID");
  prefix.writeIni("");
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(platform::defaultLanguageId(), 0x0407);
  ::setenv("LC_ALL", "C", 1);
  ::setenv("LANG", "C", 1);
  ::unsetenv("LC_MESSAGES");
  EXPECT_EQ(platform::defaultLanguageId(), 0x0409);
}

}  // namespace
