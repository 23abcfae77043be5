// Character input: the ring of typed bytes, the input-method messages and the refresh
// of the input method after the window comes back.
#include "engine/system/charinput.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/state/state.h"
#include "engine/state/sysdata.h"
#include "engine/state/sysinfo.h"
#include "engine/system/keyinput.h"
#include "engine/system/system.h"
#include "platform/ime/ime.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <cstring>

CharCodeBuffer g_CharCodeBuffer;
ImeState g_ImeState;

const KeyControlCode KeyControlCodeTable[] = {
    {0x2E, 0x10},  // Delete
    {0x25, 0x1D},  // Left
    {0x27, 0x1C},  // Right
    {0x26, 0x1E},  // Up
    {0x28, 0x1F},  // Down
    {0, 0},
};

namespace {

constexpr int32_t kRingSlots = 1025;
// The most the input method's texts are read into the 1025-byte fields.
constexpr uint32_t kImeTextMax = 1024;
// How long an open-status change is given to settle.
constexpr uint64_t kOpenStatusSettleUs = 2000;

int32_t Advance(int32_t pos) { return pos + 1 == kRingSlots ? 0 : pos + 1; }
int32_t StepBack(int32_t pos) { return pos == 0 ? kRingSlots - 1 : pos - 1; }

int32_t FreeSlots() {
  const CharCodeBuffer& b = g_CharCodeBuffer;
  const int32_t used = (b.writePos - b.readPos + kRingSlots) % kRingSlots;
  return kRingSlots - 1 - used;
}

void WriteByte(uint8_t code) {
  CharCodeBuffer& b = g_CharCodeBuffer;
  b.data[b.writePos] = code;
  b.writePos = Advance(b.writePos);
}

bool IsTypedLeadByte(uint8_t code) {
  const char c = char(code);
  return !IsCharControlCode(code) && IsLeadByte(&c, CurrentCharSet());
}

void FreeCandidateList() {
  TrackedFree(g_ImeState.candidateList);
  g_ImeState.candidateList = nullptr;
  g_ImeState.candidateListSize = 0;
}

// Reads a part of the composition into a cleared 1025-byte field; the bytes read.
int32_t ReadImeText(PlatImc context, uint32_t part, char* field) {
  std::memset(field, 0, kImeTextMax + 1);
  const int32_t n = PlatImeGetCompositionString(context, part, field, kImeTextMax);
  return std::clamp(n, 0, int32_t(kImeTextMax));
}

// Pushes a conversion result character by character; a character goes in whole or not
// at all, and the first one that does not fit drops the rest.
void PushResultText(const char* text, int32_t n) {
  for (int32_t pos = 0; pos < n;) {
    int32_t width = 1;
    if (IsTypedLeadByte(uint8_t(text[pos]))) {
      if (pos + 1 >= n) return;  // a lead byte cut off from its trail is not text
      width = 2;
    }
    if (FreeSlots() < width) return;
    for (int32_t i = 0; i < width; i++) WriteByte(uint8_t(text[pos + i]));
    pos += width;
  }
}

void OnComposition(PlatWnd window, PlatLParam lParam) {
  ImeState& s = g_ImeState;
  const uint32_t flags = uint32_t(lParam);
  const PlatImc context = PlatImeGetContext(window);
  if (flags & PLAT_GCS_COMPSTR) ReadImeText(context, PLAT_GCS_COMPSTR, s.compositionString);
  if (flags & PLAT_GCS_RESULTSTR) {
    const int32_t n = ReadImeText(context, PLAT_GCS_RESULTSTR, s.compositionString);
    PushResultText(s.compositionString, n);
    ReadImeText(context, PLAT_GCS_COMPSTR, s.compositionString);
  }
  if (flags & PLAT_GCS_CURSORPOS) {
    const int32_t bytes = PlatImeGetCompositionString(context, PLAT_GCS_CURSORPOS, nullptr, 0);
    s.compositionCursor = CountCharsInBytes(s.compositionString, bytes);
  }
  if (flags & PLAT_GCS_COMPCLAUSE) {
    constexpr int32_t kClauseBytes = int32_t(sizeof s.clauseData);
    std::memset(s.clauseData, 0, sizeof s.clauseData);
    const int32_t n =
        PlatImeGetCompositionString(context, PLAT_GCS_COMPCLAUSE, s.clauseData, kClauseBytes);
    s.clauseCount = std::clamp(n, 0, kClauseBytes) / 4;
  }
  PlatImeReleaseContext(window, context);
}

void CopyCandidateList(PlatWnd window) {
  ImeState& s = g_ImeState;
  const PlatImc context = PlatImeGetContext(window);
  const uint32_t size = PlatImeGetCandidateList(context, 0, nullptr, 0);
  // A size of 0 leaves no copy behind: a stale list with a size of 0 would be a trap.
  FreeCandidateList();
  if (size == 0) {
    WriteLogFmt("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x\n", window, context);
  } else {
    void* block = size <= 0x7FFFFFFFu ? TrackedAlloc(size, "", 0) : nullptr;
    if (!block) {
      // The candidates only serve a display: losing them is no reason to end the program.
      WriteLogFmt("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )", int32_t(size));
      WriteLog("\n");
    } else if (PlatImeGetCandidateList(context, 0, block, size) == 0) {
      TrackedFree(block);
      WriteLogFmt("漢字変換候補の取得に失敗しました  BufSize:%d\n", int32_t(size));
    } else {
      s.candidateList = block;
      s.candidateListSize = int32_t(size);
    }
  }
  PlatImeReleaseContext(window, context);
}

void OnOpenStatusChanged(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam) {
  ImeState& s = g_ImeState;
  if (s.openStatusGuard) return;
  s.openStatusGuard = 1;
  PlatDefWindowProc(window, message, wParam, lParam);
  // Lets the change settle; sleeping between the pumps keeps the wait off the processor
  // (and lets it run on a manual clock).
  const uint64_t start = GetTimeMicroseconds(1);
  while (PumpMessagesCore() == 0 && GetTimeMicroseconds(1) - start < kOpenStatusSettleUs)
    PlatSleep(1);
  s.openStatusGuard = 0;
  const PlatImc context = PlatImeGetContext(window);
  s.openStatus = PlatImeGetOpenStatus(context);
  PlatImeReleaseContext(window, context);
}

PlatLResult OnNotify(PlatWnd window, uint32_t message, PlatWParam wParam, PlatLParam lParam) {
  switch (wParam) {
    case PLAT_IMN_CHANGECANDIDATE:
    case PLAT_IMN_OPENCANDIDATE:
    case PLAT_IMN_SETCANDIDATEPOS: CopyCandidateList(window); return 0;
    case PLAT_IMN_CLOSECANDIDATE: FreeCandidateList(); return 0;
    case PLAT_IMN_SETOPENSTATUS: OnOpenStatusChanged(window, message, wParam, lParam); return 0;
    default: return PlatDefWindowProc(window, message, wParam, lParam);
  }
}

}  // namespace

int32_t CurrentCharSet() { return g_System.charSet; }

int InitCharCodeBuffer() {
  WriteLog("文字コードバッファの初期化を行います... ");
  // A copy or a text left by an earlier run would be lost to the tracker by the sweep.
  FreeCandidateList();
  g_CharCodeBuffer = CharCodeBuffer{};
  g_ImeState = ImeState{};
  ResetKeyInputTable();
  WriteLog("完了しました\n");
  return 0;
}

int IsCharCodeBufferFull() { return FreeSlots() == 0 ? 1 : 0; }

int PushCharCode(uint8_t code) {
  CharCodeBuffer& b = g_CharCodeBuffer;
  switch (b.pairState) {
    case CHAR_PAIR_TRAIL_DUE:  // its lead byte made room for it
      b.pairState = CHAR_PAIR_NONE;
      if (IsCharCodeBufferFull()) return -1;
      WriteByte(code);
      return 0;
    case CHAR_PAIR_TRAIL_DROP:
      b.pairState = CHAR_PAIR_NONE;
      return -1;
    default: break;
  }
  if (IsTypedLeadByte(code)) {
    if (FreeSlots() < 2) {
      b.pairState = CHAR_PAIR_TRAIL_DROP;
      return -1;
    }
    WriteByte(code);
    b.pairState = CHAR_PAIR_TRAIL_DUE;
    return 0;
  }
  if (IsCharCodeBufferFull()) return -1;
  WriteByte(code);
  return 0;
}

int TakeCharCode(uint8_t out[2], int consume) {
  CharCodeBuffer& b = g_CharCodeBuffer;
  out[0] = out[1] = 0;
  if (b.readPos == b.writePos) return 0;
  out[0] = b.data[b.readPos];
  b.readPos = Advance(b.readPos);
  int length = 1;
  if (IsTypedLeadByte(out[0])) {
    if (b.readPos == b.writePos) {  // the trail byte has not arrived
      b.readPos = StepBack(b.readPos);
      out[0] = 0;
      return 0;
    }
    out[1] = b.data[b.readPos];
    length = 2;
    if (consume) b.readPos = Advance(b.readPos);
  }
  if (!consume) b.readPos = StepBack(b.readPos);
  return length;
}

int CountCharsInBytes(const char* text, int32_t n) {
  const int32_t charSet = CurrentCharSet();
  int count = 0;
  // A lead byte right before the terminator counts alone: the walk never steps past it.
  for (int32_t pos = 0; pos < n && text[pos] != 0; count++)
    pos += IsLeadByte(text + pos, charSet) && text[pos + 1] != 0 ? 2 : 1;
  return count;
}

int IsCharControlCode(uint8_t code) {
  for (const KeyControlCode* k = KeyControlCodeTable; k->vk; k++)
    if (k->code == code) return 1;
  return 0;
}

int SetImeEnabled(int32_t flag) {
  ImeState& s = g_ImeState;
  if (flag == s.enabled) return 0;
  PlatEnableWindowIme(GetEngineWindowHandle(), flag);
  s.enabled = flag;
  if (flag == 0) {
    FreeCandidateList();
    std::memset(s.compositionString, 0, sizeof s.compositionString);
    s.composing = 0;
  }
  return 0;
}

PlatLResult CaptureImeCandidates(PlatWnd window, uint32_t message, PlatWParam wParam,
                                 PlatLParam lParam) {
  ImeState& s = g_ImeState;
  switch (message) {
    case PLAT_WM_IME_STARTCOMPOSITION:
      s.composing = 1;
      s.compositionCursor = 0;
      return 0;
    case PLAT_WM_IME_ENDCOMPOSITION:
      std::memset(s.compositionString, 0, kImeTextMax);
      s.composing = 0;
      return 0;
    case PLAT_WM_IME_COMPOSITION:
      // Kept from the default procedure: the input method's own window stays hidden.
      OnComposition(window, lParam);
      return 0;
    case PLAT_WM_IME_SETCONTEXT:
      return PlatDefWindowProc(window, message, wParam, 0);
    case PLAT_WM_IME_NOTIFY: return OnNotify(window, message, wParam, lParam);
    default: return 0;
  }
}

void RunImeRefresh() {
  ImeState& s = g_ImeState;
  const int32_t first = s.refreshStep;
  if (first < 1 || first > 4) return;
  // Idle before the steps: an open-status change pumps, and a pump inside must not run
  // the refresh a second time.
  s.refreshStep = 0;
  const PlatWnd window = GetEngineWindowHandle();
  for (int32_t step = first; step <= 4; step++) {
    const PlatImc context = window ? PlatImeGetContext(window) : 0;
    switch (step) {
      case 1:
        if (!context) break;
        std::memset(s.compositionString, 0, sizeof s.compositionString);
        ReadImeText(context, PLAT_GCS_COMPSTR, s.savedComposition);
        PlatImeNotify(context, PLAT_NI_COMPOSITIONSTR, PLAT_CPS_CANCEL, 0);
        break;
      case 2: PlatImeSetOpenStatus(context, 0); break;
      case 3: PlatImeSetOpenStatus(context, 1); break;
      case 4:
        if (!context) break;
        PlatImeSetOpenStatus(context, 1);
        PlatImeSetCompositionString(context, PLAT_SCS_SETSTR, s.savedComposition,
                                    uint32_t(std::strlen(s.savedComposition)), nullptr, 0);
        break;
    }
    if (context) PlatImeReleaseContext(window, context);
  }
}
