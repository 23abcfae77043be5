// Key inputs: the editing rules, the handles, and the bound on a composition.
#include "ime_window.h"

#include <cstring>

namespace {

const std::string BS = "\x08", TAB = "\x09", ENTER = "\x0d", DEL = "\x10", ESC = "\x1b",
                  RIGHT = "\x1c", LEFT = "\x1d", UP = "\x1e", DOWN = "\x1f";

enum { CANCEL = 1, SINGLE = 2, NUMBERS = 4 };

// A key input holding text with the cursor at cursor, made the active one.
int32_t Field(int32_t max, int options, const char* text, int32_t cursor) {
  int32_t h = MakeKeyInput(max, (options & CANCEL) ? 1 : 0, (options & SINGLE) ? 1 : 0,
                           (options & NUMBERS) ? 1 : 0);
  KeyInputRecord* r = GetKeyInputRecord(h);
  if (!r) return -1;
  std::strcpy(r->text, text);
  r->length = int32_t(std::strlen(text));
  r->cursor = cursor;
  g_KeyInput.active = h;
  return h;
}

// Every key input a test makes goes with it, so none is found by the tests after it.
class KeyInput : public ::testing::Test {
 protected:
  void SetUp() override { InitCharCodeBuffer(); }
  void TearDown() override { InitCharCodeBuffer(); }
};

TEST_F(KeyInput, EditingTable) {
  struct Case {
    const char* what;
    int32_t max;
    int options;
    const char* text;
    int32_t cursor;
    std::string typed;
    const char* after;
    int32_t afterCursor;
    int ended, cancelled;
    std::string left;  // still in the ring
  };
  const Case cases[] = {
      {"back space", 8, 0, "ab", 2, BS, "a", 1, 0, 0, ""},
      {"back space over a double-byte character", 8, 0, "あ", 2, BS, "", 0, 0, 0, ""},
      {"back space at the start", 8, 0, "ab", 0, BS, "ab", 0, 0, 0, ""},
      {"back space after a trail byte in the lead range", 8, 0, "\x81\x9d" "a", 3, BS,
       "\x81\x9d", 2, 0, 0, ""},
      {"back space over that character", 8, 0, "\x81\x9d" "a", 2, BS, "a", 0, 0, 0, ""},
      {"left after a trail byte in the lead range", 8, 0, "\x81\x9d" "a", 3, LEFT,
       "\x81\x9d" "a", 2, 0, 0, ""},
      {"left over a double-byte character", 8, 0, "a\x81\x9d", 3, LEFT + LEFT, "a\x81\x9d", 0,
       0, 0, ""},
      {"left at the start", 8, 0, "ab", 0, LEFT, "ab", 0, 0, 0, ""},
      {"right over a double-byte character", 8, 0, "あb", 0, RIGHT, "あb", 2, 0, 0, ""},
      {"right at the end", 8, 0, "ab", 2, RIGHT, "ab", 2, 0, 0, ""},
      {"delete at the end", 8, 0, "ab", 2, DEL, "ab", 2, 0, 0, ""},
      {"delete at the start", 8, 0, "あb", 0, DEL, "b", 0, 0, 0, ""},
      {"insert between", 8, 0, "ab", 1, "あ", "aあb", 3, 0, 0, ""},
      {"insert at the maximum pushes the end off", 4, 0, "abcd", 4, "e", "abce", 4, 0, 0, ""},
      {"insert at the maximum, cursor inside", 4, 0, "abcd", 1, "x", "axbc", 2, 0, 0, ""},
      {"a double-byte character pushes one off", 4, 0, "abc", 3, "あ", "abあ", 4, 0, 0, ""},
      {"a double-byte character is pushed off whole", 4, 0, "abあ", 4, "c", "abc", 3, 0, 0, ""},
      {"a character wider than the field is dropped", 1, 0, "a", 1, "あb", "b", 1, 0, 0, ""},
      {"nothing fits a field of 0", 0, 0, "", 0, "ab", "", 0, 0, 0, ""},
      {"numbers only", 8, NUMBERS, "", 0, "--aあ7", "-7", 2, 0, 0, ""},
      {"numbers only, a digit anywhere", 8, NUMBERS, "12", 1, "7-", "172", 2, 0, 0, ""},
      {"single-byte only", 8, SINGLE, "", 0, "あb", "b", 1, 0, 0, ""},
      {"tab, up and down do nothing", 8, 0, "ab", 1, TAB + UP + DOWN, "ab", 1, 0, 0, ""},
      {"escape without cancel", 8, 0, "ab", 2, ESC + "c", "abc", 3, 0, 0, ""},
      {"escape with cancel", 8, CANCEL, "ab", 2, ESC + "c", "ab", 2, 1, 1, "c"},
      {"enter", 8, CANCEL, "ab", 1, ENTER + "xy", "ab", 1, 1, 0, "xy"},
  };
  for (const Case& c : cases) {
    InitCharCodeBuffer();
    int32_t h = Field(c.max, c.options, c.text, c.cursor);
    ASSERT_NE(h, -1) << c.what;
    PushText(c.typed);
    EXPECT_EQ(UpdateKeyInput(), 0) << c.what;
    const KeyInputRecord* r = GetKeyInputRecord(h);
    EXPECT_STREQ(r->text, c.after) << c.what;
    EXPECT_EQ(r->length, int32_t(std::strlen(c.after))) << c.what;
    EXPECT_EQ(r->cursor, c.afterCursor) << c.what;
    EXPECT_EQ(r->ended, c.ended) << c.what;
    EXPECT_EQ(r->cancelled, c.cancelled) << c.what;
    EXPECT_EQ(RingText(), c.left) << c.what;
    EXPECT_EQ(DeleteKeyInputHandle(h), 0);
  }
}

TEST_F(KeyInput, OnlyAValidUnfinishedActiveInputDrainsTheRing) {
  PushText("ab");
  EXPECT_EQ(UpdateKeyInput(), 0);  // none active: the ring waits
  EXPECT_EQ(RingText(), "ab");

  int32_t stale = Field(8, 0, "", 0);
  DeleteKeyInputHandle(stale);
  for (int32_t bad : {stale, int32_t(0x50000005), int32_t(0x48000000), int32_t(0xD0000000)}) {
    g_KeyInput.active = bad;
    EXPECT_EQ(UpdateKeyInput(), -1) << std::hex << bad;
  }
  EXPECT_EQ(RingText(), "ab");

  int32_t first = Field(8, 0, "", 0);
  PushText(ENTER + "xy");
  EXPECT_EQ(UpdateKeyInput(), 0);
  EXPECT_STREQ(GetKeyInputRecord(first)->text, "ab");
  EXPECT_EQ(UpdateKeyInput(), 0);  // an ended input takes nothing more
  EXPECT_EQ(RingText(), "xy");
  int32_t second = Field(8, 0, "", 0);
  EXPECT_EQ(UpdateKeyInput(), 0);
  EXPECT_STREQ(GetKeyInputRecord(second)->text, "xy");
}

TEST_F(KeyInput, HandlesTakeSlotsAndCheckValuesFromTheTable) {
  const int32_t blocks = GetTrackedBlockCount();
  int32_t a = MakeKeyInput(8, 0, 0, 0);
  int32_t b = MakeKeyInput(8, 0, 0, 0);
  EXPECT_EQ(a, 0x50000000);
  EXPECT_EQ(b, 0x50010001);
  for (int i = 2; i < 256; i++) ASSERT_NE(MakeKeyInput(2, 0, 0, 0), -1) << i;
  EXPECT_EQ(MakeKeyInput(2, 0, 0, 0), -1);  // 256 slots
  EXPECT_EQ(MakeKeyInput(-1, 0, 0, 0), -1);
  EXPECT_EQ(DeleteKeyInputHandle(a), 0);
  EXPECT_EQ(DeleteKeyInputHandle(a), -1);
  int32_t again = MakeKeyInput(8, 0, 0, 0);
  EXPECT_EQ(again & 0xFFFF, 0);
  EXPECT_NE(again, a);
  EXPECT_EQ(GetKeyInputRecord(a), nullptr);
  EXPECT_EQ(DeleteAllKeyInputHandles(), 0);
  EXPECT_EQ(g_KeyInput.table.count, 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

using KeyInputIme = ImeWindow;

TEST_F(KeyInputIme, DeletingTheLastKeyInputSwitchesTheImeOff) {
  PlatEnableWindowIme(window, 0);
  SetImeEnabled(1);
  int32_t a = Field(8, 0, "", 0);
  int32_t b = Field(8, 0, "", 0);
  int32_t c = Field(8, 0, "", 0);
  g_KeyInput.active = b;
  EXPECT_EQ(DeleteKeyInputHandle(a), 0);  // not the active one
  EXPECT_EQ(g_KeyInput.active, b);
  EXPECT_EQ(DeleteKeyInputHandle(b), 0);
  EXPECT_EQ(g_KeyInput.active, -1);
  EXPECT_EQ(g_ImeState.enabled, 1);
  EXPECT_EQ(DeleteKeyInputHandle(c), 0);
  EXPECT_EQ(g_ImeState.enabled, 0);
  EXPECT_EQ(PlatEnableWindowIme(window, 0), 0);  // the window's input method is off
  EXPECT_EQ(DeleteKeyInputHandle(c), -1);
}

TEST_F(KeyInputIme, DeletingAllKeyInputsLeavesNoneActiveAndTheImeOff) {
  const int32_t blocks = GetTrackedBlockCount();
  SetImeEnabled(1);
  int32_t handles[5];
  for (int32_t& h : handles) h = Field(8, 0, "", 0);
  DeleteKeyInputHandle(handles[2]);  // a gap in the table
  EXPECT_EQ(DeleteAllKeyInputHandles(), 0);
  EXPECT_EQ(g_KeyInput.active, -1);
  EXPECT_EQ(g_KeyInput.table.count, 0);
  EXPECT_EQ(g_ImeState.enabled, 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

// A composition longer than the active field allows is cut back in the input method, at
// a character boundary, before it is committed.
TEST_F(KeyInputIme, TheCompositionIsKeptWithinTheLimits) {
  struct Case {
    int32_t toRoom, most, max;
    const char* text;
    const char* composed;
    const char* kept;
    bool cut;
  };
  const Case cases[] = {
      {1, 0, 6, "abc", "漢字", "漢", true},  // room 3: the second character would cross
      {1, 0, 7, "abc", "漢字", "漢字", false},
      {0, 5, 100, "", "あいう", "あい", true},
      {1, 3, 10, "abcde", "あaいう", "あa", true},  // the smaller of room 5 and 3
      {0, 0, 40, "abcd", "あいう", "あいう", false},
  };
  for (const Case& c : cases) {
    InitCharCodeBuffer();
    PlatImeFakeReset();
    g_KeyInput.limitImeToRoom = c.toRoom;
    g_KeyInput.maxImeCompositionLength = c.most;
    int32_t h = Field(c.max, 0, c.text, int32_t(std::strlen(c.text)));
    PlatImeFakeCompose(window, c.composed);
    EXPECT_EQ(PumpMessagesCore(), 0);
    EXPECT_EQ(PlatImeFakeComposition(window), c.kept) << c.composed;
    EXPECT_STREQ(g_ImeState.compositionString, c.kept) << c.composed;
    std::vector<std::string> calls;
    if (c.cut) calls = {"Notify(21,4)", std::string("SetCompositionString(9,") + c.kept + ")"};
    EXPECT_EQ(PlatImeFakeCalls(), calls) << c.composed;

    PlatImeFakeCommit(window);
    EXPECT_EQ(PumpMessagesCore(), 0);
    EXPECT_EQ(std::string(GetKeyInputRecord(h)->text), std::string(c.text) + c.kept)
        << c.composed;
    DeleteKeyInputHandle(h);
  }
}

}  // namespace
