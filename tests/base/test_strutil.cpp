#include "engine/base/strutil.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

TEST(StrUtil, FindCharStepsOverDoubleByteCharacters) {
  // 0x83 0x5C is one character whose trail byte looks like a backslash.
  const char text[] = "\x83\x5C\\x";
  EXPECT_EQ(StrFindChar(text, '\\'), text + 2);
  EXPECT_EQ(StrFindChar(text, 'x'), text + 3);
  EXPECT_EQ(StrFindChar(text, 0), nullptr);
  EXPECT_EQ(StrFindChar("abc", 'z'), nullptr);
  // A lead byte right before the terminator stops at the terminator.
  char tail[8] = {'a', '\x83', '\0', '\\', '\0'};
  EXPECT_EQ(StrFindChar(tail, '\\'), nullptr);
}

TEST(StrUtil, ToUpperKeepsDoubleByteCharacters) {
  char text[] = "\x82\x61" "a\x83";  // trail byte 'a', then a, then a lone lead byte
  StrToUpper(text);
  EXPECT_EQ(std::string(text), std::string("\x82\x61" "A\x83"));
}

TEST(StrUtil, CopyAppendCompare) {
  char buf[16];
  StrCopy(buf, "ab");
  StrAppend(buf, "cd");
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(StrCompare("", ""), 0);
  EXPECT_EQ(StrCompare("", "a"), 1);
  EXPECT_EQ(StrCompare("abc", "abd"), 1);
  EXPECT_EQ(StrCompare("abc", "abc"), 0);
}

TEST(StrUtil, StrToIntTable) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"abc42", 42},       {"-7", -7},         {"-", 0},           {"-x5", 0},
      {"no digits", -1},   {"", -1},           {"12ab34", 12},     {"2147483647", INT32_MAX},
      {"4294967295", -1},  {"4294967296", 0},  {"-2147483648", INT32_MIN},
      {"99999999999999999999999999999999999999999999999999999999999999999999999999999999", 
       int32_t(uint32_t(0x5ffffffffull))},  // wraps like the 32-bit accumulator, no buffer
  };
  for (const Case& c : cases) EXPECT_EQ(StrToInt(c.text), c.expected) << c.text;
}

TEST(StrUtil, StrToIntWrapsOnLongInput) {
  std::string nines(80, '9');
  uint32_t expected = 0;
  for (int i = 0; i < 80; i++) expected = expected * 10u + 9u;
  EXPECT_EQ(StrToInt(nines.c_str()), int32_t(expected));
}

TEST(StrUtil, IntToStrTable) {
  struct Case {
    int32_t value;
    int radix;
    const char* expected;
  } cases[] = {
      {255, 16, "ff"},       {-255, 10, "-255"},        {0, 10, "0"},
      {35, 36, "z"},         {5, 2, "101"},             {INT32_MIN, 10, "-2147483648"},
      {INT32_MIN, 16, "-80000000"}, {INT32_MAX, 2, "1111111111111111111111111111111"},
  };
  for (const Case& c : cases) {
    char buf[40];
    EXPECT_EQ(IntToStr(c.value, buf, c.radix), buf);
    EXPECT_STREQ(buf, c.expected);
  }
  char buf[40] = "junk";
  EXPECT_EQ(IntToStr(10, buf, 1), nullptr);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(IntToStr(10, buf, 37), nullptr);
}

TEST(StrUtil, TruncationUnderEveryRoundingMode) {
  const int modes[] = {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO};
  for (int mode : modes) {
    ASSERT_EQ(std::fesetround(mode), 0);
    EXPECT_EQ(FloatToInt(-2.7f), -2);
    EXPECT_EQ(FloatToInt(2.7f), 2);
    EXPECT_EQ(DoubleToInt(-2.5), -2);
    EXPECT_EQ(DoubleToInt(2147483647.9), INT32_MAX);
    EXPECT_EQ(DoubleToInt(-2147483648.9), INT32_MIN);
    EXPECT_EQ(std::fegetround(), mode);
  }
  std::fesetround(FE_TONEAREST);
  EXPECT_EQ(DoubleToInt(NAN), INT32_MIN);
  EXPECT_EQ(DoubleToInt(2147483648.0), INT32_MIN);
  EXPECT_EQ(FloatToInt(INFINITY), INT32_MIN);
  EXPECT_EQ(FloatToInt(-1e20f), INT32_MIN);
}

TEST(StrUtil, AbsAndRoots) {
  EXPECT_EQ(AbsInt(-5), 5);
  EXPECT_EQ(AbsInt(INT32_MIN), INT32_MIN);
  EXPECT_EQ(AbsFloat(-1.5f), 1.5f);
  EXPECT_TRUE(std::signbit(AbsFloat(-0.0f)));  // -0 is not below 0
  EXPECT_FLOAT_EQ(SqrtFloat(2.0f), 1.41421356f);
  float s, c;
  SinCos(0.5f, &s, &c);
  EXPECT_FLOAT_EQ(s, std::sin(0.5f));
  EXPECT_FLOAT_EQ(c, std::cos(0.5f));
}

TEST(StrUtil, MulAndDivAtTheirLimits) {
  uint32_t p[4];
  MulU64x64(UINT64_MAX, UINT64_MAX, p);  // 2^128 - 2^65 + 1
  EXPECT_EQ(p[0], 1u);
  EXPECT_EQ(p[1], 0u);
  EXPECT_EQ(p[2], 0xFFFFFFFEu);
  EXPECT_EQ(p[3], 0xFFFFFFFFu);

  MulU64x64(1000000000000000000ull, 1000000ull, p);
  EXPECT_EQ(DivU128by64(p, 1000000ull), 1000000000000000000ull);

  const uint32_t big[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x7FFFFFFFu};
  EXPECT_EQ(DivU128by64(big, UINT64_MAX), 0x8000000000000000ull);
  const uint32_t small[4] = {5, 0, 0, 0};
  EXPECT_EQ(DivU128by64(small, 7), 0u);
  EXPECT_EQ(DivU128by64(small, 0), 0u);
}

TEST(StrUtil, MemMoveOverlapsBothWays) {
  for (int shift : {1, -1, 3, -3}) {
    unsigned char buf[16];
    for (int i = 0; i < 16; i++) buf[i] = (unsigned char)i;
    unsigned char* src = buf + 4;
    MemMove(src + shift, src, 8);
    for (int i = 0; i < 8; i++) EXPECT_EQ(buf[4 + shift + i], 4 + i) << shift;
  }
  unsigned char same[4] = {1, 2, 3, 4};
  MemMove(same, same, 4);
  EXPECT_EQ(same[3], 4);
}

TEST(StrUtil, MemCompareAndFill) {
  unsigned char a[4], b[4];
  MemFill(a, 0x5A, 4);
  MemCopy(b, a, 4);
  EXPECT_EQ(MemCompare(a, b, 4), 0);
  b[3] = 0;
  EXPECT_EQ(MemCompare(a, b, 4), 1);
  EXPECT_EQ(MemCompare(a, b, 0), 0);
  EXPECT_EQ(MemCompareN(a, b, 3), 0);
  EXPECT_EQ(MemCompareN(a, b, 0), 0);
  EXPECT_EQ(MemCompareN(a, b, -1), 1);
}

TEST(StrUtil, FormatTextNeverPassesItsBuffer) {
  char buf[8];
  EXPECT_EQ(FormatText(buf, sizeof buf, "%d-%s", 12, "abcdefgh"), 0);
  EXPECT_STREQ(buf, "12-abcd");
  // A cut never keeps half of a double-byte character.
  char small[5];
  FormatText(small, sizeof small, "ab%s", "\x82\xA0\x82\xA2");
  EXPECT_STREQ(small, "ab\x82\xA0");
  FormatText(small, sizeof small, "a%s", "\x82\xA0\x82\xA2");
  EXPECT_STREQ(small, "a\x82\xA0");
}
