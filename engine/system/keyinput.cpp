// Key inputs: the table of one-line text fields and the editing step that drains the
// character ring into the active one.
#include "engine/system/keyinput.h"

#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/state/state.h"
#include "engine/system/charinput.h"
#include "platform/ime/ime.h"

#include <algorithm>
#include <cstring>

KeyInputState g_KeyInput;

namespace {

// Control codes of the ring (see KeyControlCodeTable and the window procedure).
enum : int {
  CODE_BACKSPACE = 8,
  CODE_TAB = 9,
  CODE_ENTER = 13,
  CODE_DELETE = 16,
  CODE_ESCAPE = 27,
  CODE_RIGHT = 28,
  CODE_LEFT = 29,
  CODE_UP = 30,
  CODE_DOWN = 31,
};

// The width of the character at pos in text of length bytes: a lead byte counts 2 only
// when its trail byte is there.
int32_t CharWidthAt(const char* text, int32_t pos, int32_t length, int32_t charSet) {
  return IsLeadByte(text + pos, charSet) && pos + 1 < length ? 2 : 1;
}

// Where the character before pos begins, walking from the start of the text: a trail
// byte in the lead range is never taken for the start of a character.
int32_t PreviousCharStart(const char* text, int32_t pos, int32_t length, int32_t charSet) {
  int32_t start = 0;
  for (int32_t p = 0; p < pos; p += CharWidthAt(text, p, length, charSet)) start = p;
  return start;
}

// Keeps the input method's composition within limit bytes, cutting at a character
// boundary.
void LimitComposition(int32_t limit) {
  const PlatWnd window = GetEngineWindowHandle();
  const PlatImc context = window ? PlatImeGetContext(window) : 0;
  if (!context) return;
  char comp[1025] = {};
  int32_t n = PlatImeGetCompositionString(context, PLAT_GCS_COMPSTR, comp, 1024);
  n = std::clamp(n, 0, 1024);
  if (n > limit) {
    const int32_t charSet = CurrentCharSet();
    int32_t keep = 0;
    while (keep < n) {
      const int32_t width = CharWidthAt(comp, keep, n, charSet);
      if (keep + width > limit) break;
      keep += width;
    }
    PlatImeNotify(context, PLAT_NI_COMPOSITIONSTR, PLAT_CPS_CANCEL, 0);
    PlatImeSetCompositionString(context, PLAT_SCS_SETSTR, comp, uint32_t(keep), nullptr, 0);
  }
  PlatImeReleaseContext(window, context);
}

void CheckCompositionLimit(const KeyInputRecord& r) {
  const int32_t c = int32_t(std::strlen(g_ImeState.compositionString));
  int32_t limit = 65536;
  bool cut = false;
  if (g_KeyInput.limitImeToRoom && r.length + c > r.maxLength) {
    limit = std::max(r.maxLength - r.length, 0);
    cut = true;
  }
  const int32_t most = g_KeyInput.maxImeCompositionLength;
  if (most != 0 && c > most) {
    limit = std::min(limit, most);
    cut = true;
  }
  if (cut) LimitComposition(limit);
}

void Insert(KeyInputRecord& r, const uint8_t* bytes, int32_t width) {
  const int32_t charSet = CurrentCharSet();
  if (r.numbersOnly) {
    const bool digit = bytes[0] >= '0' && bytes[0] <= '9';
    if (!digit && !(bytes[0] == '-' && r.cursor == 0)) return;
  }
  if (r.singleByteOnly && width == 2) return;
  // A character wider than the whole field never fits, however much is pushed off.
  if (width > r.maxLength) return;
  // What does not fit pushes characters off the end of the text.
  while (r.length + width > r.maxLength) {
    const int32_t last = PreviousCharStart(r.text, r.length, r.length, charSet);
    r.text[last] = '\0';
    r.length = last;
    if (r.cursor > r.length) r.cursor = r.length;
  }
  std::memmove(r.text + r.cursor + width, r.text + r.cursor, size_t(r.length - r.cursor + 1));
  std::memcpy(r.text + r.cursor, bytes, size_t(width));
  r.cursor += width;
  r.length += width;
}

void Edit(KeyInputRecord& r, const uint8_t* bytes, int32_t width) {
  const int32_t charSet = CurrentCharSet();
  switch (width == 1 ? bytes[0] : -1) {
    case CODE_BACKSPACE:
      if (r.cursor > 0) {
        const int32_t start = PreviousCharStart(r.text, r.cursor, r.length, charSet);
        std::memmove(r.text + start, r.text + r.cursor, size_t(r.length - r.cursor + 1));
        r.length -= r.cursor - start;
        r.cursor = start;
      }
      break;
    case CODE_DELETE:
      if (r.cursor < r.length) {
        const int32_t d = CharWidthAt(r.text, r.cursor, r.length, charSet);
        std::memmove(r.text + r.cursor, r.text + r.cursor + d, size_t(r.length - r.cursor - d + 1));
        r.length -= d;
      }
      break;
    case CODE_RIGHT:
      if (r.cursor < r.length) r.cursor += CharWidthAt(r.text, r.cursor, r.length, charSet);
      break;
    case CODE_LEFT:
      if (r.cursor > 0) r.cursor = PreviousCharStart(r.text, r.cursor, r.length, charSet);
      break;
    case CODE_ENTER: r.ended = 1; break;
    case CODE_ESCAPE:
      if (r.cancelAllowed == 1) {
        r.cancelled = 1;
        r.ended = 1;
      }
      break;
    case CODE_TAB:
    case CODE_UP:
    case CODE_DOWN: break;
    default: Insert(r, bytes, width); break;
  }
}

}  // namespace

void ResetKeyInputTable() {
  KeyInputState& k = g_KeyInput;
  for (KeyInputRecord& r : k.records) TrackedFree(r.text);
  std::memset(k.records, 0, sizeof k.records);
  HandleTableInit(&k.table, HANDLE_TYPE_KEYINPUT, k.slots, KEY_INPUT_SLOTS);
  k.active = -1;
  k.limitImeToRoom = 0;
  k.maxImeCompositionLength = 0;
}

int32_t MakeKeyInput(int32_t maxLength, int32_t cancelAllowed, int32_t singleByteOnly,
                     int32_t numbersOnly) {
  KeyInputState& k = g_KeyInput;
  // A table never set up (all zero) is set up on first use.
  if (k.table.size == 0) ResetKeyInputTable();
  const int32_t slot = HandleTableNextSlot(&k.table);
  if (slot < 0 || maxLength < 0) return -1;
  char* text = static_cast<char*>(TrackedCalloc(size_t(maxLength) + 2, "", 0));
  if (!text) return -1;
  KeyInputRecord& r = k.records[slot];
  r = KeyInputRecord{};
  r.inUse = 1;
  r.maxLength = maxLength;
  r.text = text;
  r.cancelAllowed = cancelAllowed;
  r.singleByteOnly = singleByteOnly;
  r.numbersOnly = numbersOnly;
  return HandleTableAdd(&k.table, &r);
}

KeyInputRecord* GetKeyInputRecord(int32_t handle) {
  return static_cast<KeyInputRecord*>(HandleTableGet(&g_KeyInput.table, handle));
}

int UpdateKeyInput() {
  RunImeRefresh();
  KeyInputState& k = g_KeyInput;
  if (k.active == -1) return 0;
  KeyInputRecord* r = GetKeyInputRecord(k.active);
  if (!r) return -1;
  if (r->ended) return 0;
  CheckCompositionLimit(*r);
  uint8_t bytes[2];
  while (!r->ended) {
    const int width = TakeCharCode(bytes, 1);
    if (width == 0) break;
    Edit(*r, bytes, width);
  }
  return 0;
}

int DeleteKeyInputHandle(int32_t handle) {
  KeyInputState& k = g_KeyInput;
  KeyInputRecord* r = static_cast<KeyInputRecord*>(HandleTableRemove(&k.table, handle));
  if (!r) return -1;
  TrackedFree(r->text);
  *r = KeyInputRecord{};
  if (handle == k.active) k.active = -1;
  if (k.table.count == 0) SetImeEnabled(0);
  return 0;
}

int DeleteAllKeyInputHandles() {
  KeyInputState& k = g_KeyInput;
  for (int32_t slot = 0; slot < KEY_INPUT_SLOTS; slot++) {
    if (k.records[slot].inUse == 1) DeleteKeyInputHandle(HandleTableHandleAt(&k.table, slot));
  }
  k.active = -1;
  return 0;
}
