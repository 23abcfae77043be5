#include "window_fixture.h"

#include "platform/display/display.h"
#include "platform/display/headless/headlessdisplay.h"

#include <cstdlib>
#include <string>

namespace {

using WindowInput = HeadlessWindow;

// The characters the queue delivers for what was typed (WM_CHAR and WM_SYSCHAR bytes).
std::string Typed(const std::vector<PlatMsg>& taken, uint32_t message = PLAT_WM_CHAR) {
  std::string text;
  for (const PlatMsg& m : taken)
    if (m.message == message) text += char(m.wParam);
  return text;
}

TEST_F(WindowInput, TranslationPostsOneCharacterPerShiftJisByte) {
  PlatHeadlessKey(window, 'B', 1, "\x82\xa0\x41");
  std::vector<PlatMsg> taken = PumpAll();
  ASSERT_EQ(taken.size(), 4u);
  EXPECT_EQ(taken[0].message, PLAT_WM_KEYDOWN);
  EXPECT_EQ(Typed(taken), "\x82\xa0\x41");
  EXPECT_EQ(taken[1].lParam, taken[0].lParam);
}

TEST_F(WindowInput, KeysWithoutGivenCharactersAreMappedByTheLayout) {
  struct Case {
    std::vector<std::pair<uint32_t, int>> keys;  // virtual key, 1 down / 0 up
    std::string typed;
  };
  const Case cases[] = {
      {{{'A', 1}, {'A', 0}}, "a"},
      {{{PLAT_VK_LSHIFT, 1}, {'A', 1}, {'A', 0}, {PLAT_VK_LSHIFT, 0}}, "A"},
      {{{PLAT_VK_CAPITAL, 1}, {PLAT_VK_CAPITAL, 0}, {'Q', 1}, {PLAT_VK_RSHIFT, 1}, {'Q', 1}},
       "Qq"},
      {{{PLAT_VK_LSHIFT, 1}, {'2', 1}, {'0', 1}}, "\""},
      {{{PLAT_VK_LCONTROL, 1}, {'C', 1}}, "\x03"},
      {{{PLAT_VK_RETURN, 1}, {PLAT_VK_BACK, 1}, {PLAT_VK_TAB, 1}, {PLAT_VK_ESCAPE, 1}},
       "\r\b\t\x1b"},
      {{{PLAT_VK_F1, 1}, {PLAT_VK_LEFT, 1}, {PLAT_VK_OEM_PLUS, 1}, {PLAT_VK_NUMPAD0 + 7, 1}},
       ";7"},
  };
  for (const Case& c : cases) {
    for (auto [vk, down] : c.keys) PlatHeadlessKey(window, vk, down);
    EXPECT_EQ(Typed(PumpAll()), c.typed);
    for (auto [vk, down] : c.keys)
      if (down) PlatHeadlessKey(window, vk, 0);  // release everything again
    if (c.keys[0].first == PLAT_VK_CAPITAL) {
      PlatHeadlessKey(window, PLAT_VK_CAPITAL, 1);
      PlatHeadlessKey(window, PLAT_VK_CAPITAL, 0);
    }
    PumpAll();
  }
}

TEST_F(WindowInput, AltMakesSystemKeysAndCharacters) {
  PlatHeadlessKey(window, PLAT_VK_LMENU, 1);
  PlatHeadlessKey(window, 'X', 1);
  PlatHeadlessKey(window, 'X', 0);
  PlatHeadlessKey(window, PLAT_VK_LMENU, 0);
  Handler() = [](PlatWnd, uint32_t, PlatWParam, PlatLParam) -> PlatLResult { return 0; };
  std::vector<PlatMsg> taken = PumpAll();
  std::vector<uint32_t> kinds;
  for (const PlatMsg& m : taken) kinds.push_back(m.message);
  EXPECT_EQ(kinds, (std::vector<uint32_t>{PLAT_WM_SYSKEYDOWN, PLAT_WM_SYSKEYDOWN, PLAT_WM_SYSCHAR,
                                          PLAT_WM_SYSKEYUP, PLAT_WM_SYSKEYUP}));
  EXPECT_EQ(Typed(taken, PLAT_WM_SYSCHAR), "x");
  EXPECT_NE(uint32_t(taken[1].lParam) & (1u << 29), 0u);  // the Alt bit
}

TEST_F(WindowInput, KeyStateFollowsTheKeysTakenWithSidesApart) {
  struct Step {
    uint32_t vk;
    int down;
    uint8_t left, right, plain;  // bit 7 of VK_LSHIFT, VK_RSHIFT, VK_SHIFT afterwards
  };
  const Step steps[] = {{PLAT_VK_LSHIFT, 1, 1, 0, 1},
                        {PLAT_VK_RSHIFT, 1, 1, 1, 1},
                        {PLAT_VK_LSHIFT, 0, 0, 1, 1},
                        {PLAT_VK_RSHIFT, 0, 0, 0, 0}};
  for (const Step& s : steps) {
    PlatHeadlessKey(window, s.vk, s.down);
    EXPECT_EQ(PlatGetKeyState(s.vk) >> 7, s.down ? 0 : 1);  // not before it is taken
    PumpAll();
    uint8_t keys[256];
    PlatGetKeyboardState(keys);
    EXPECT_EQ(keys[PLAT_VK_LSHIFT] >> 7, s.left);
    EXPECT_EQ(keys[PLAT_VK_RSHIFT] >> 7, s.right);
    EXPECT_EQ(keys[PLAT_VK_SHIFT] >> 7, s.plain);
  }
  PlatHeadlessKey(window, PLAT_VK_RCONTROL, 1);
  std::vector<PlatMsg> taken = PumpAll();
  EXPECT_EQ(taken[0].wParam, PLAT_VK_CONTROL);
  EXPECT_NE(uint32_t(taken[0].lParam) & (1u << 24), 0u);  // extended: the right one
  EXPECT_EQ(PlatGetKeyState(PLAT_VK_RCONTROL) & 0x80, 0x80);
  EXPECT_EQ(PlatGetKeyState(PLAT_VK_LCONTROL) & 0x80, 0);
  uint8_t other[256] = {1};
  TestThread t{[&] { PlatGetKeyboardState(other); }};
  t.RunToEnd();
  EXPECT_EQ(other[PLAT_VK_RCONTROL], 0);  // each thread has its own
  PlatHeadlessKey(window, PLAT_VK_RCONTROL, 0);
}

// A reader that samples once per frame sees a key pressed and let go between two of its
// reads: the whole key state shows it held through the millisecond of the first read that
// shows it and in the first read of a later one; a key held across reads of one
// millisecond only and let go shows held once more, in the first read of a later one; the
// single key's state and a key held across reads of two milliseconds stay as the input
// taken says.
TEST_F(WindowInput, AKeyTappedBetweenTwoReadsShowsHeldIntoALaterMillisecond) {
  struct Case {
    uint32_t vk;
    uint32_t alsoHeld;  // the plain code a side key stands for, or the key itself
  };
  const Case cases[] = {{'Z', 'Z'}, {PLAT_VK_RSHIFT, PLAT_VK_SHIFT}};
  uint8_t keys[256];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vk);
    PlatHeadlessKey(window, c.vk, 1);
    PlatHeadlessKey(window, c.vk, 0);
    PumpAll();
    EXPECT_EQ(PlatGetKeyState(c.vk) & 0x80, 0);
    // Reads: two in the first millisecond, one in each of the next two.
    for (int read : {0, 1, 2, 3}) {
      SCOPED_TRACE(read);
      if (read >= 2) PlatClockAdvance(1);
      PlatGetKeyboardState(keys);
      const int held = read < 3 ? 0x80 : 0;
      EXPECT_EQ(keys[c.vk] & 0x80, held);
      EXPECT_EQ(keys[c.alsoHeld] & 0x80, held);
    }
  }
  // Held across reads of two milliseconds, then let go: released at once.
  PlatHeadlessKey(window, 'X', 1);
  PumpAll();
  PlatGetKeyboardState(keys);
  EXPECT_EQ(keys[uint8_t{'X'}] & 0x80, 0x80);
  PlatClockAdvance(1);
  PlatGetKeyboardState(keys);
  PlatHeadlessKey(window, 'X', 0);
  PumpAll();
  PlatGetKeyboardState(keys);
  EXPECT_EQ(keys[uint8_t{'X'}] & 0x80, 0);
  // Held across reads of one millisecond, then let go (the press taken in by a query late
  // in a slow frame, the release just before the next frame's pad read): released in that
  // millisecond, held once more in the first read of a later one.
  PlatHeadlessKey(window, 'W', 1);
  PumpAll();
  PlatGetKeyboardState(keys);
  EXPECT_EQ(keys[uint8_t{'W'}] & 0x80, 0x80);
  PlatHeadlessKey(window, 'W', 0);
  PumpAll();
  for (int held : {0, 0x80, 0}) {
    PlatGetKeyboardState(keys);
    EXPECT_EQ(keys[uint8_t{'W'}] & 0x80, held);
    PlatClockAdvance(1);
  }
  // Taken on this thread: another thread's reads do not see it.
  PlatHeadlessKey(window, 'Y', 1);
  PlatHeadlessKey(window, 'Y', 0);
  PumpAll();
  uint8_t other[256] = {};
  TestThread t{[&] { PlatGetKeyboardState(other); }};
  t.RunToEnd();
  EXPECT_EQ(other[uint8_t{'Y'}], 0);
  PlatGetKeyboardState(keys);
  EXPECT_EQ(keys[uint8_t{'Y'}] & 0x80, 0x80);
  PlatClockAdvance(1);
  PlatGetKeyboardState(keys);  // its last showing: nothing is left for the next test
}

TEST_F(WindowInput, KeyMessagesCarryScanCodeRepeatAndToggle) {
  PlatHeadlessKey(window, 'A', 1);
  PlatHeadlessKey(window, 'A', 1);
  PlatHeadlessKey(window, 'A', 0);
  PlatHeadlessKey(window, PLAT_VK_CAPITAL, 1);
  PlatHeadlessKey(window, PLAT_VK_CAPITAL, 0);
  std::vector<PlatMsg> taken = PumpAll(false);
  ASSERT_EQ(taken.size(), 5u);
  EXPECT_EQ(uint32_t(taken[0].lParam), 0x001E0001u);
  EXPECT_EQ(uint32_t(taken[1].lParam), 0x401E0001u);  // held before: a repeat
  EXPECT_EQ(uint32_t(taken[2].lParam), 0xC01E0001u);
  EXPECT_EQ(PlatGetKeyState(PLAT_VK_CAPITAL), 0x01);  // released, toggled on
  PlatHeadlessMouse(window, PLAT_WM_LBUTTONDOWN, 3, 4, PLAT_MK_LBUTTON);
  taken = PumpAll(false);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, PLAT_WM_SETCURSOR);
  EXPECT_EQ(taken[1].lParam, 3 | (4 << 16));
  EXPECT_EQ(PlatGetKeyState(PLAT_VK_LBUTTON) & 0x80, 0x80);
  PlatHeadlessKey(window, PLAT_VK_CAPITAL, 1);
  PlatHeadlessKey(window, PLAT_VK_CAPITAL, 0);
  PlatPoint p;
  PlatGetCursorPos(&p);
  EXPECT_EQ(p.x, 103);  // on screen
  EXPECT_EQ(p.y, 104);
}

TEST_F(WindowInput, CursorShowsWhileItsCountIsNotNegativeAndItHasAShape) {
  EXPECT_EQ(PlatIsCursorVisible(), 1);
  EXPECT_EQ(PlatShowCursor(0), -1);
  EXPECT_EQ(PlatIsCursorVisible(), 0);
  EXPECT_EQ(PlatShowCursor(0), -2);
  EXPECT_EQ(PlatShowCursor(1), -1);
  EXPECT_EQ(PlatShowCursor(1), 0);
  EXPECT_EQ(PlatIsCursorVisible(), 1);
  EXPECT_EQ(PlatSetCursor(PLAT_CURSOR_NONE), PLAT_CURSOR_ARROW);
  EXPECT_EQ(PlatIsCursorVisible(), 0);
  PlatSendMessage(window, PLAT_WM_SETCURSOR, window, PLAT_HTCLIENT);  // the class cursor
  EXPECT_EQ(PlatIsCursorVisible(), 1);
}

TEST_F(WindowInput, MessageBoxAnswers) {
  const uint32_t yesNo = PLAT_MB_YESNO | PLAT_MB_ICONQUESTION;
  EXPECT_EQ(PlatMessageBox(0, "\x83\x58", "caption", yesNo), PLAT_IDYES);
  std::string text, caption;
  EXPECT_EQ(PlatHeadlessLastMessageBox(&text, &caption), int(yesNo));
  EXPECT_EQ(text, "\x83\x58");
  EXPECT_EQ(caption, "caption");
  EXPECT_EQ(PlatMessageBox(0, "", "", yesNo | PLAT_MB_DEFBUTTON2), PLAT_IDNO);
  EXPECT_EQ(PlatMessageBox(0, "", "", PLAT_MB_OK), PLAT_IDOK);
  PlatHeadlessSetMessageBoxAnswer(PLAT_IDNO);
  EXPECT_EQ(PlatMessageBox(0, "", "", yesNo), PLAT_IDNO);
}

// The automatic answers stand for the user only at start-up, before any window: a question
// asked in play is always put to the user (the headless box's answer here).
TEST_F(WindowInput, OnlyTheStartUpQuestionIsAnsweredForTheUser) {
  const uint32_t yesNo = PLAT_MB_YESNO | PLAT_MB_ICONQUESTION;
  struct Case {
    const char* answer;
    const char* virtualDisplay;
    int beforeAnyWindow;
  } cases[] = {
      {"yes", nullptr, PLAT_IDYES},
      {"no", nullptr, PLAT_IDNO},
      {"yes", "1", PLAT_IDYES},  // the setting beats the virtual display's No
      {nullptr, "1", PLAT_IDNO},
      {nullptr, "0", PLAT_IDYES},
      {nullptr, nullptr, PLAT_IDYES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.answer ? c.answer : "-") + " " + (c.virtualDisplay ? c.virtualDisplay : "-"));
    if (c.answer) setenv("KR_MESSAGEBOX_ANSWER", c.answer, 1);
    if (c.virtualDisplay) setenv("KR_VIRTUAL_DISPLAY", c.virtualDisplay, 1);
    PlatHeadlessSetMessageBoxAnswer(PLAT_IDYES);
    EXPECT_EQ(PlatMessageBox(0, "", "", yesNo), PLAT_IDYES);  // the window is up
    PlatDestroyWindow(window);
    PlatHeadlessSetMessageBoxAnswer(PLAT_IDYES);
    EXPECT_EQ(PlatMessageBox(0, "", "", yesNo), c.beforeAnyWindow);
    window = Create(100, 100, 200, 150);
    unsetenv("KR_MESSAGEBOX_ANSWER");
    unsetenv("KR_VIRTUAL_DISPLAY");
  }
}

TEST_F(WindowInput, DesktopAndItsChanges) {
  int32_t w = 0, h = 0;
  PlatGetDesktopSize(&w, &h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  EXPECT_EQ(PlatGetDesktopDepth(), 32);
  PlatHeadlessSetDesktop(1280, 1024, 16, 1);
  EXPECT_EQ(PlatGetDesktopDepth(), 16);
  std::vector<PlatMsg> taken = PumpAll();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].message, PLAT_WM_DISPLAYCHANGE);
  EXPECT_EQ(taken[0].wParam, 16u);
  EXPECT_EQ(taken[0].lParam, 1280 | (1024 << 16));
}

}  // namespace
