#include "platform/text/text.h"

#include <gtest/gtest.h>

TEST(Text, ShiftJisRoundTrips) {
  const char sjis[] = "\x83\x8D\x83\x4F Log \x82\xA0\x5C";  // ログ Log あ backslash
  std::string utf8;
  EXPECT_EQ(PlatSjisToUtf8(sjis, sizeof sjis - 1, &utf8), 0);
  EXPECT_EQ(utf8, "ログ Log あ\\");
  std::string back;
  EXPECT_EQ(PlatUtf8ToSjis(utf8.data(), utf8.size(), &back), 0);
  EXPECT_EQ(back, std::string(sjis));

  std::u32string u32;
  EXPECT_EQ(PlatSjisToUtf32("\x83\x8D" "a", 3, &u32), 0);
  EXPECT_EQ(u32, U"ロa");
  EXPECT_EQ(PlatUtf32ToSjis(u32.data(), u32.size(), &back), 0);
  EXPECT_EQ(back, "\x83\x8D" "a");

  // Code page 949, for glyphs under the Hangul char set.
  EXPECT_EQ(PlatHangulToUtf32("\xB0\xA1" "a", 3, &u32), 0);
  EXPECT_EQ(u32, U"\uAC00a");
  EXPECT_EQ(PlatHangulToUtf32("\xB0", 1, &u32), 1);
}

TEST(Text, CP932SpecificCharacters) {
  // Characters that the plain SHIFT_JIS table lacks or maps differently.
  std::string sjis = PlatUtf8ToSjis("～①");
  EXPECT_EQ(sjis, "\x81\x60\x87\x40");
}

TEST(Text, BadInputIsReportedNotFatal) {
  std::string out;
  // A lone lead byte at the end.
  EXPECT_EQ(PlatSjisToUtf8("ab\x83", 3, &out), 1);
  EXPECT_EQ(out, "ab\xEF\xBF\xBD");
  // An invalid byte in the middle.
  EXPECT_GE(PlatSjisToUtf8("a\xFF" "b", 3, &out), 1);
  EXPECT_EQ(out.front(), 'a');
  EXPECT_EQ(out.back(), 'b');
  // A character Shift-JIS cannot hold.
  EXPECT_EQ(PlatUtf8ToSjis("a\xF0\x9F\x98\x80" "b", 6, &out), 1);
  EXPECT_EQ(out, "a?b");
  EXPECT_EQ(PlatUtf8ToSjis("a\xC3", 2, &out), 1);
  EXPECT_EQ(out, "a?");
}
