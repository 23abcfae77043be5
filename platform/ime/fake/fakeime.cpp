// The fake input method. The lock is never held while a message goes to a window: the
// window's procedure calls back in.
#include "platform/ime/fake/fakeime.h"

#include "platform/ime/backend.h"
#include "platform/window/backend.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace {

struct Context {
  std::string composition, result;
  int32_t cursor = 0;
  std::vector<uint32_t> clauses;
  std::vector<std::string> candidates;
  int open = 0;
  bool composing = false;
};

struct Fake {
  std::mutex mu;
  std::map<PlatWnd, Context> contexts;
  bool noContext = false;
  bool failCopy = false;
  int held = 0;
  std::vector<std::string> calls;
};

Fake& F() {
  static Fake* f = new Fake;
  return *f;
}

// The context's record; contexts are the window handles.
Context& Ctx(Fake& f, PlatImc context) { return f.contexts[PlatWnd(context)]; }

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; i++) out->push_back(char((v >> (8 * i)) & 0xFF));
}

std::string CandidateBlock(const std::vector<std::string>& candidates) {
  const uint32_t count = uint32_t(candidates.size());
  uint32_t offset = uint32_t(sizeof(PlatCandidateListHead)) + 4 * count;
  std::string offsets, texts;
  for (const std::string& c : candidates) {
    PutU32(&offsets, offset);
    texts += c;
    texts.push_back('\0');
    offset += uint32_t(c.size() + 1);
  }
  std::string block;
  for (uint32_t v : {offset, 0u, count, 0u, 0u, count}) PutU32(&block, v);
  return block + offsets + texts;
}

PlatImc GetContext(PlatWnd window) {
  Fake& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  if (f.noContext || !PlatIsWindow(window)) return 0;
  f.contexts[window];
  f.held++;
  return PlatImc(window);
}

int ReleaseContext(PlatWnd, PlatImc context) {
  if (!context) return 0;
  Fake& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  f.held--;
  return 1;
}

int32_t GetCompositionString(PlatImc context, uint32_t index, void* buffer, uint32_t size) {
  if (!context) return 0;
  Fake& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  Context& c = Ctx(f, context);
  std::string bytes;
  switch (index) {
    case PLAT_GCS_COMPSTR: bytes = c.composition; break;
    case PLAT_GCS_RESULTSTR: bytes = c.result; break;
    case PLAT_GCS_COMPCLAUSE:
      for (uint32_t v : c.clauses) PutU32(&bytes, v);
      break;
    case PLAT_GCS_CURSORPOS: return c.cursor;
    default: return PLAT_IMM_ERROR_GENERAL;
  }
  if (size == 0 || !buffer) return int32_t(bytes.size());
  const size_t n = std::min<size_t>(size, bytes.size());
  std::memcpy(buffer, bytes.data(), n);
  return int32_t(n);
}

int SetCompositionString(PlatImc context, uint32_t index, const void* comp, uint32_t compLength,
                         const void*, uint32_t) {
  if (!context || index != PLAT_SCS_SETSTR || (!comp && compLength)) return 0;
  Fake& f = F();
  {
    std::lock_guard<std::mutex> l(f.mu);
    Context& c = Ctx(f, context);
    if (compLength) c.composition.assign(static_cast<const char*>(comp), compLength);
    else c.composition.clear();
    c.cursor = int32_t(compLength);
    f.calls.push_back("SetCompositionString(" + std::to_string(index) + "," + c.composition + ")");
  }
  PlatSendMessage(PlatWnd(context), PLAT_WM_IME_COMPOSITION, 0,
                  PLAT_GCS_COMPSTR | PLAT_GCS_CURSORPOS);
  return 1;
}

int Notify(PlatImc context, uint32_t action, uint32_t index, uint32_t) {
  if (!context) return 0;
  Fake& f = F();
  {
    std::lock_guard<std::mutex> l(f.mu);
    f.calls.push_back("Notify(" + std::to_string(action) + "," + std::to_string(index) + ")");
    if (action != PLAT_NI_COMPOSITIONSTR || index != PLAT_CPS_CANCEL) return 0;
    Context& c = Ctx(f, context);
    c.composition.clear();
    c.cursor = 0;
    c.clauses.clear();
  }
  PlatSendMessage(PlatWnd(context), PLAT_WM_IME_COMPOSITION, 0, PLAT_GCS_COMPSTR);
  return 1;
}

uint32_t GetCandidateList(PlatImc context, uint32_t index, void* buffer, uint32_t size) {
  if (!context || index != 0) return 0;
  Fake& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  Context& c = Ctx(f, context);
  if (c.candidates.empty()) return 0;
  const std::string block = CandidateBlock(c.candidates);
  if (size == 0 || !buffer) return uint32_t(block.size());
  if (f.failCopy || size < block.size()) return 0;
  std::memcpy(buffer, block.data(), block.size());
  return uint32_t(block.size());
}

int GetOpenStatus(PlatImc context) {
  if (!context) return 0;
  Fake& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  return Ctx(f, context).open;
}

int SetOpenStatus(PlatImc context, int open) {
  if (!context) return 0;
  Fake& f = F();
  bool changed;
  {
    std::lock_guard<std::mutex> l(f.mu);
    f.calls.push_back("SetOpenStatus(" + std::to_string(open) + ")");
    Context& c = Ctx(f, context);
    changed = c.open != (open ? 1 : 0);
    c.open = open ? 1 : 0;
  }
  if (changed) PlatSendMessage(PlatWnd(context), PLAT_WM_IME_NOTIFY, PLAT_IMN_SETOPENSTATUS, 0);
  return 1;
}

const PlatImeBackend kFake = {
    .name = "fake",
    .getContext = GetContext,
    .releaseContext = ReleaseContext,
    .getCompositionString = GetCompositionString,
    .setCompositionString = SetCompositionString,
    .notify = Notify,
    .getCandidateList = GetCandidateList,
    .getOpenStatus = GetOpenStatus,
    .setOpenStatus = SetOpenStatus,
};

}  // namespace

const PlatImeBackend* PlatImeFakeBackend() { return &kFake; }

void PlatImeFakeReset() {
  Fake& f = F();
  std::lock_guard<std::mutex> l(f.mu);
  f.contexts.clear();
  f.noContext = false;
  f.failCopy = false;
  f.held = 0;
  f.calls.clear();
}

void PlatImeFakeCompose(PlatWnd window, const std::string& sjis, int cursor) {
  Fake& f = F();
  bool start;
  {
    std::lock_guard<std::mutex> l(f.mu);
    Context& c = f.contexts[window];
    c.composition = sjis;
    c.cursor = cursor < 0 ? int32_t(sjis.size()) : cursor;
    c.clauses = {0, uint32_t(sjis.size())};
    start = !c.composing;
    c.composing = true;
  }
  if (start) PlatQueueInput(window, PLAT_WM_IME_STARTCOMPOSITION, 0, 0);
  PlatQueueInput(window, PLAT_WM_IME_COMPOSITION, 0,
                 PLAT_GCS_COMPSTR | PLAT_GCS_CURSORPOS | PLAT_GCS_COMPCLAUSE);
}

void PlatImeFakeCommit(PlatWnd window) {
  Fake& f = F();
  {
    std::lock_guard<std::mutex> l(f.mu);
    Context& c = f.contexts[window];
    c.result = c.composition;
    c.composition.clear();
    c.cursor = 0;
    c.clauses.clear();
    c.composing = false;
  }
  PlatQueueInput(window, PLAT_WM_IME_COMPOSITION, 0, PLAT_GCS_RESULTSTR | PLAT_GCS_COMPSTR);
  PlatQueueInput(window, PLAT_WM_IME_ENDCOMPOSITION, 0, 0);
}

void PlatImeFakeSetCandidates(PlatWnd window, const std::vector<std::string>& candidates) {
  std::lock_guard<std::mutex> l(F().mu);
  F().contexts[window].candidates = candidates;
}

void PlatImeFakeFailCandidateCopy(int fail) {
  std::lock_guard<std::mutex> l(F().mu);
  F().failCopy = fail != 0;
}

void PlatImeFakeSetNoContext(int none) {
  std::lock_guard<std::mutex> l(F().mu);
  F().noContext = none != 0;
}

void PlatImeFakeSetOpen(PlatWnd window, int open) {
  std::lock_guard<std::mutex> l(F().mu);
  F().contexts[window].open = open ? 1 : 0;
}

std::string PlatImeFakeComposition(PlatWnd window) {
  std::lock_guard<std::mutex> l(F().mu);
  return F().contexts[window].composition;
}

int PlatImeFakeIsOpen(PlatWnd window) {
  std::lock_guard<std::mutex> l(F().mu);
  return F().contexts[window].open;
}

std::vector<std::string> PlatImeFakeCalls() {
  std::lock_guard<std::mutex> l(F().mu);
  return F().calls;
}

void PlatImeFakeClearCalls() {
  std::lock_guard<std::mutex> l(F().mu);
  F().calls.clear();
}

int PlatImeFakeContextsHeld() {
  std::lock_guard<std::mutex> l(F().mu);
  return F().held;
}
