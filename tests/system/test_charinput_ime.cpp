// The input-method messages and the refresh, against the fake input method.
#include "engine/state/state.h"
#include "ime_window.h"

#include <cstring>

namespace {

using Ime = ImeWindow;

PlatLResult Notify(PlatWnd w, uint32_t command) {
  return PlatSendMessage(w, PLAT_WM_IME_NOTIFY, command, 0);
}

TEST_F(Ime, ACompositionIsFollowedAndItsResultArrivesAsTypedText) {
  PlatImeFakeCompose(window, "漢字", 2);
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(g_ImeState.composing, 1);
  EXPECT_STREQ(g_ImeState.compositionString, "漢字");
  EXPECT_EQ(g_ImeState.compositionCursor, 1);  // byte 2 is after one character
  EXPECT_EQ(g_ImeState.clauseCount, 2);

  PlatImeFakeCompose(window, "東京特許");
  PlatImeFakeCommit(window);
  EXPECT_EQ(PumpMessagesCore(), 0);
  EXPECT_EQ(RingText(), "東京特許");  // 8 bytes in order
  EXPECT_EQ(RingText().size(), 8u);
  EXPECT_EQ(g_ImeState.composing, 0);
  EXPECT_STREQ(g_ImeState.compositionString, "");
}

// Converted text obeys the ring's limit character by character: the first character that
// does not fit drops the rest, and no half character is left.
TEST_F(Ime, AResultMeetingAFullRingKeepsWholeCharactersOnly) {
  for (int i = 0; i < 1021; i++) PushCharCode('a');
  PlatImeFakeCompose(window, "あいb");
  PlatImeFakeCommit(window);
  EXPECT_EQ(PumpMessagesCore(), 0);
  const std::string ring = RingText();
  ASSERT_EQ(ring.size(), 1023u);
  EXPECT_EQ(ring.substr(1021), "あ");
}

TEST_F(Ime, CandidateListsAreCopiedAndReleased) {
  const int32_t blocks = GetTrackedBlockCount();
  PlatImeFakeSetCandidates(window, {"感じ", "漢字"});
  EXPECT_EQ(Notify(window, PLAT_IMN_OPENCANDIDATE), 0);
  ASSERT_NE(g_ImeState.candidateList, nullptr);
  const uint8_t* list = static_cast<const uint8_t*>(g_ImeState.candidateList);
  PlatCandidateListHead head;
  std::memcpy(&head, list, sizeof head);
  EXPECT_EQ(head.count, 2u);
  EXPECT_EQ(int32_t(head.size), g_ImeState.candidateListSize);
  uint32_t second;
  std::memcpy(&second, list + sizeof head + 4, 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(list + second), "漢字");

  PlatImeFakeSetCandidates(window, {"感じ", "漢字", "幹事"});
  EXPECT_EQ(Notify(window, PLAT_IMN_CHANGECANDIDATE), 0);  // the old copy makes way
  EXPECT_EQ(GetTrackedBlockCount(), blocks + 1);
  EXPECT_EQ(Notify(window, PLAT_IMN_CLOSECANDIDATE), 0);
  EXPECT_EQ(g_ImeState.candidateList, nullptr);
  EXPECT_EQ(g_ImeState.candidateListSize, 0);
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

TEST_F(Ime, AnEmptyOrUnreadableCandidateListLeavesNoCopy) {
  const int32_t blocks = GetTrackedBlockCount();
  PlatImeFakeSetCandidates(window, {"候補"});
  Notify(window, PLAT_IMN_SETCANDIDATEPOS);
  ASSERT_NE(g_ImeState.candidateList, nullptr);

  PlatImeFakeSetCandidates(window, {});
  Notify(window, PLAT_IMN_CHANGECANDIDATE);
  EXPECT_EQ(g_ImeState.candidateList, nullptr);
  char line[128];
  std::snprintf(line, sizeof line, "漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x",
                window, window);
  EXPECT_TRUE(LogHas(line));

  PlatImeFakeSetCandidates(window, {"候補"});
  PlatImeFakeFailCandidateCopy(1);
  Notify(window, PLAT_IMN_OPENCANDIDATE);
  EXPECT_EQ(g_ImeState.candidateList, nullptr);
  EXPECT_EQ(g_ImeState.candidateListSize, 0);
  EXPECT_TRUE(LogHas("漢字変換候補の取得に失敗しました  BufSize:33"));

  // No memory for the copy: the candidates are lost, the program goes on.
  PlatImeFakeFailCandidateCopy(0);
  PlatSetAllocFailHook([](size_t size) { return size == sizeof(MemBlockHeader) + 33 ? 1 : 0; });
  Notify(window, PLAT_IMN_OPENCANDIDATE);
  PlatSetAllocFailHook(nullptr);
  EXPECT_EQ(g_ImeState.candidateList, nullptr);
  EXPECT_TRUE(LogHas("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ 33 バイト )"));
  EXPECT_EQ(GetTrackedBlockCount(), blocks);
}

TEST_F(Ime, AnOpenStatusChangeIsReadAfterItSettles) {
  PlatImeFakeSetOpen(window, 1);
  const uint32_t before = PlatTimeMs();
  EXPECT_EQ(Notify(window, PLAT_IMN_SETOPENSTATUS), 0);
  EXPECT_EQ(g_ImeState.openStatus, 1);
  EXPECT_EQ(g_ImeState.openStatusGuard, 0);
  EXPECT_GE(PlatTimeMs() - before, 2u);  // the pumps went on for 2 ms
  EXPECT_GE(CallCount("UpdateKeyInput"), 1);

  // A change announced while the handler waits is not waited for again.
  g_ImeState.openStatusGuard = 1;
  PlatImeFakeSetOpen(window, 0);
  EXPECT_EQ(Notify(window, PLAT_IMN_SETOPENSTATUS), 0);
  EXPECT_EQ(g_ImeState.openStatus, 1);
}

TEST_F(Ime, SetContextHidesTheImeWindowsAndOtherMessagesAnswerZero) {
  EXPECT_EQ(PlatSendMessage(window, PLAT_WM_IME_SETCONTEXT, 1, 0xC000000F), 0);
  EXPECT_EQ(CaptureImeCandidates(window, PLAT_WM_USER, 0, 0), 0);
}

TEST_F(Ime, SwitchingTheImeOffForgetsTheComposition) {
  PlatEnableWindowIme(window, 0);  // as the window start leaves it
  EXPECT_EQ(SetImeEnabled(1), 0);
  EXPECT_EQ(g_ImeState.enabled, 1);
  EXPECT_EQ(PlatEnableWindowIme(window, 1), 1);  // the window's input method is on
  PlatImeFakeCompose(window, "かな");
  PlatImeFakeSetCandidates(window, {"仮名"});
  PumpMessagesCore();
  Notify(window, PLAT_IMN_OPENCANDIDATE);
  ASSERT_NE(g_ImeState.candidateList, nullptr);

  EXPECT_EQ(SetImeEnabled(0), 0);
  EXPECT_EQ(PlatEnableWindowIme(window, 0), 0);
  EXPECT_EQ(g_ImeState.candidateList, nullptr);
  EXPECT_STREQ(g_ImeState.compositionString, "");
  EXPECT_EQ(g_ImeState.composing, 0);

  // The same flag again changes nothing.
  g_ImeState.composing = 1;
  EXPECT_EQ(SetImeEnabled(0), 0);
  EXPECT_EQ(g_ImeState.composing, 1);
}

// After the window comes back with the input method open, the next key-input step closes
// and reopens it and gives the unfinished composition back.
TEST_F(Ime, TheRefreshReopensTheImeWithTheCompositionKept) {
  struct Case {
    int32_t step;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {1, {"Notify(21,4)", "SetOpenStatus(0)", "SetOpenStatus(1)", "SetOpenStatus(1)",
           "SetCompositionString(9,へんかん)"}},
      {3, {"SetOpenStatus(1)", "SetOpenStatus(1)", "SetCompositionString(9,へんかん)"}},
      {0, {}},
      {5, {}},
  };
  for (const Case& c : cases) {
    PlatImeFakeSetOpen(window, 1);
    PlatImeFakeCompose(window, "へんかん");
    PumpMessagesCore();
    PlatImeFakeClearCalls();
    g_ImeState.refreshStep = c.step;
    EXPECT_EQ(PumpMessagesCore(), 0);
    EXPECT_EQ(PlatImeFakeCalls(), c.calls) << "from step " << c.step;
    EXPECT_EQ(g_ImeState.refreshStep, c.step == 5 ? 5 : 0);  // 5 is no step
    EXPECT_EQ(PlatImeFakeIsOpen(window), 1);
    EXPECT_EQ(PlatImeFakeComposition(window), "へんかん");
    EXPECT_STREQ(g_ImeState.compositionString, "へんかん");
    // Only a real change is announced, and read back after it settles.
    EXPECT_EQ(g_ImeState.openStatus, c.step == 1 ? 1 : 0);
    g_ImeState.openStatus = 0;
  }
}

TEST_F(Ime, WithoutAContextTheRefreshOnlyOpensAndCloses) {
  PlatImeFakeSetNoContext(1);
  g_ImeState.refreshStep = 1;
  EXPECT_EQ(UpdateKeyInput(), 0);
  EXPECT_TRUE(PlatImeFakeCalls().empty());
  EXPECT_EQ(g_ImeState.refreshStep, 0);
}

TEST(ImeAbsent, EveryCallAnswersAsWithoutAnInputMethod) {
  ASSERT_EQ(PlatImeSelectBackend("none"), 0);
  EXPECT_EQ(PlatImeSelectBackend("other"), -1);
  EXPECT_STREQ(PlatImeBackendName(), "none");
  char buffer[8] = {};
  EXPECT_EQ(PlatImeGetContext(1), 0u);
  EXPECT_EQ(PlatImeGetCompositionString(0, PLAT_GCS_COMPSTR, buffer, 8), 0);
  EXPECT_EQ(PlatImeGetCandidateList(0, 0, nullptr, 0), 0u);
  EXPECT_EQ(PlatImeGetOpenStatus(0), 0);
  EXPECT_EQ(PlatImeSetOpenStatus(0, 1), 0);
  EXPECT_EQ(PlatImeNotify(0, PLAT_NI_COMPOSITIONSTR, PLAT_CPS_CANCEL, 0), 0);
  EXPECT_EQ(PlatImeSetCompositionString(0, PLAT_SCS_SETSTR, "a", 1, nullptr, 0), 0);
  EXPECT_EQ(PlatImeReleaseContext(1, 0), 0);
}

}  // namespace
