// Text the Linux layer formats and converts for the dialogs and the bar
// labels. None of it needs the X server.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "platform/linux/text/ansi_text.h"
#include "platform/windowing.h"

TEST(TextFormat, WsprintfWritesWhatTheLabelsAndTheFieldAskFor) {
  char buffer[64];
  EXPECT_EQ(wsprintfA(buffer, "%s%%", "75"), 3);
  EXPECT_STREQ(buffer, "75%");
  wsprintfA(buffer, "%d|%d|%d", -5, 0, INT_MIN);
  EXPECT_STREQ(buffer, "-5|0|-2147483648");
  wsprintfA(buffer, "%u", 4294967295u);
  EXPECT_STREQ(buffer, "4294967295");
  wsprintfA(buffer, "[%s]", static_cast<const char*>(nullptr));
  EXPECT_STREQ(buffer, "[(null)]");
  EXPECT_EQ(wsprintfA(buffer, "a%qb%"), 2) << "an unknown conversion prints nothing";
  EXPECT_STREQ(buffer, "ab");
}

TEST(TextFormat, WsprintfStopsAtTheWindowsLimitOf1024Bytes) {
  const std::string longText(2000, 'x');
  char buffer[1100];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
  EXPECT_EQ(buffer[1023], '\0');
  EXPECT_EQ(buffer[1024], '#') << "nothing past the 1024 bytes";
}

TEST(TextFormat, UnicodeComesBackInCodePage1252WithQuestionMarksForTheRest) {
  char out[32];
  EXPECT_EQ(utf8ToAnsi("Caf\xC3\xA9 \xE2\x82\xAC\xE2\x84\xA2", out, sizeof out), 7u);
  EXPECT_STREQ(out, "Caf\xE9 \x80\x99");
  utf8ToAnsi("\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xC3|\xC0\xAF", out, sizeof out);
  EXPECT_STREQ(out, "?|?|?|??") << "unmapped, outside the page, cut short, overlong";
  const std::string longName(40, 'N');
  EXPECT_EQ(utf8ToAnsi(longName.c_str(), out, sizeof out), 31u) << "cut to fit a face name";
  EXPECT_EQ(std::strlen(out), 31u);
  char back[8];
  ansiToUtf8("\x80\x99", 2, back, sizeof back);
  utf8ToAnsi(back, out, sizeof out);
  EXPECT_STREQ(out, "\x80\x99") << "a round trip keeps the bytes";
}
