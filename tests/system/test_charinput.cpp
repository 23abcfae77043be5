// The character ring: capacity, wrapping, double-byte characters kept whole, and the
// lead-byte rule of the character set.
#include "engine/base/strutil.h"
#include "engine/state/sysdata.h"
#include "ime_window.h"

namespace {

// An empty ring and the Shift-JIS character set, and both left so for the next test.
class CharRing : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() {
    g_CharCodeBuffer = CharCodeBuffer{};
    g_System.charSet = CHARSET_SHIFTJIS;
  }
};

std::string Take(int consume = 1) {
  uint8_t out[2] = {0xEE, 0xEE};
  int n = TakeCharCode(out, consume);
  EXPECT_TRUE(n == 0 || n == 1 || n == 2);
  if (n < 2) {
    EXPECT_EQ(out[1], 0);
  }
  if (n == 0) {
    EXPECT_EQ(out[0], 0);
  }
  return std::string(reinterpret_cast<char*>(out), size_t(n));
}

TEST_F(CharRing, HoldsAtMost1024BytesAndATakeMakesRoom) {
  for (int i = 0; i < 1024; i++) ASSERT_EQ(PushCharCode(uint8_t('a' + i % 26)), 0) << i;
  EXPECT_EQ(IsCharCodeBufferFull(), 1);
  EXPECT_EQ(PushCharCode('x'), -1);
  EXPECT_EQ(Take(), "a");
  EXPECT_EQ(IsCharCodeBufferFull(), 0);
  EXPECT_EQ(PushCharCode('y'), 0);
  EXPECT_EQ(PushCharCode('z'), -1);
  std::string all;
  for (std::string c = Take(); !c.empty(); c = Take()) all += c;
  ASSERT_EQ(all.size(), 1024u);
  EXPECT_EQ(all.substr(0, 3), "bcd");
  EXPECT_EQ(all.back(), 'y');
}

TEST_F(CharRing, ACharacterAcrossTheEndIsTakenWhole) {
  g_CharCodeBuffer.readPos = g_CharCodeBuffer.writePos = 1024;
  PushText("\x82\xa0" "b");
  EXPECT_EQ(g_CharCodeBuffer.data[1024], 0x82);
  EXPECT_EQ(g_CharCodeBuffer.data[0], 0xA0);
  EXPECT_EQ(Take(0), "\x82\xa0");  // a peek across the end restores the position
  EXPECT_EQ(g_CharCodeBuffer.readPos, 1024);
  EXPECT_EQ(Take(), "\x82\xa0");
  EXPECT_EQ(Take(), "b");
  EXPECT_EQ(Take(), "");
}

TEST_F(CharRing, ALeadByteWaitsForItsTrailAndAPeekLeavesTheCharacter) {
  EXPECT_EQ(PushCharCode(0x88), 0);
  EXPECT_EQ(Take(), "");
  EXPECT_EQ(RingText(), "\x88");
  EXPECT_EQ(PushCharCode(0x9F), 0);  // a trail byte in the lead range is still a trail
  EXPECT_EQ(Take(0), "\x88\x9f");
  EXPECT_EQ(Take(0), "\x88\x9f");
  EXPECT_EQ(Take(1), "\x88\x9f");
  EXPECT_EQ(RingText(), "");
}

// A full ring never keeps half of a double-byte character.
TEST_F(CharRing, APairGoesInOnlyWhenBothBytesFit) {
  for (int i = 0; i < 1023; i++) PushCharCode('a');
  EXPECT_EQ(PushCharCode(0x82), -1);  // one slot left: no room for the pair
  EXPECT_EQ(PushCharCode(0xA0), -1);  // its trail goes with it
  EXPECT_EQ(PushCharCode('b'), 0);    // then bytes are taken as usual
  EXPECT_EQ(IsCharCodeBufferFull(), 1);
  Take();
  Take();
  EXPECT_EQ(PushCharCode(0x82), 0);
  EXPECT_EQ(PushCharCode(0xA0), 0);
  std::string text = RingText();
  EXPECT_EQ(text.substr(text.size() - 3), "b\x82\xa0");
}

TEST_F(CharRing, ControlCodesAndCharacterCounts) {
  for (int code = 0; code < 256; code++) {
    const bool control = code == 16 || code == 28 || code == 29 || code == 30 || code == 31;
    EXPECT_EQ(IsCharControlCode(uint8_t(code)), control ? 1 : 0) << code;
  }
  struct Case {
    const char* text;
    int32_t n;
    int count;
  };
  const Case cases[] = {
      {"\x82\xa0\x82\xa2", 3, 2}, {"\x82\xa0\x82\xa2", 0, 0}, {"\x82\xa0\x82\xa2", -5, 0},
      {"ab\x82\xa0", 2, 2},       {"ab\x82\xa0", 3, 3},       {"ab", 100, 2},
      {"a\x82", 100, 2},  // a lead byte before the terminator counts alone
  };
  for (const Case& c : cases) EXPECT_EQ(CountCharsInBytes(c.text, c.n), c.count) << c.n;
}

TEST_F(CharRing, TheHangulCharacterSetTakesEveryHighByteAsALead) {
  char a0 = char(0xA0), e0 = char(0xE0), x80 = char(0x80), a = 'a';
  EXPECT_EQ(IsLeadByte(&a0, CHARSET_SHIFTJIS), 0);  // a half-width katakana
  EXPECT_EQ(IsLeadByte(&e0, CHARSET_SHIFTJIS), 1);
  EXPECT_EQ(IsLeadByte(&a0, CHARSET_HANGUL), 1);
  EXPECT_EQ(IsLeadByte(&x80, CHARSET_HANGUL), 1);
  EXPECT_EQ(IsLeadByte(&a, CHARSET_HANGUL), 0);

  PushText("\xb0\xa1");
  EXPECT_EQ(Take(), "\xb0");
  EXPECT_EQ(Take(), "\xa1");
  g_System.charSet = CHARSET_HANGUL;
  PushText("\xb0\xa1");
  EXPECT_EQ(Take(), "\xb0\xa1");
}

TEST_F(CharRing, InitialisationClearsEverythingAndLogs) {
  CaptureLog();
  const int32_t blocks = GetTrackedBlockCount();
  PushText("abc");
  g_ImeState.composing = 1;
  g_ImeState.candidateList = TrackedAlloc(16, "", 0);
  g_ImeState.candidateListSize = 16;
  int32_t h = MakeKeyInput(8, 0, 0, 0);
  ASSERT_NE(h, -1);
  g_KeyInput.active = h;
  g_KeyInput.limitImeToRoom = 1;
  EXPECT_EQ(InitCharCodeBuffer(), 0);
  EXPECT_EQ(RingText(), "");
  EXPECT_EQ(g_ImeState.composing, 0);
  EXPECT_EQ(g_ImeState.candidateList, nullptr);
  EXPECT_EQ(g_KeyInput.active, -1);
  EXPECT_EQ(g_KeyInput.limitImeToRoom, 0);
  EXPECT_EQ(GetKeyInputRecord(h), nullptr);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);  // the copy and the text were freed
  EXPECT_TRUE(LogHas("文字コードバッファの初期化を行います... 完了しました"));
}

}  // namespace
