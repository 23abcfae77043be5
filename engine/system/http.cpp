// HTTP requests: the slot table, the GET, POST and HEAD state machines, and the body into
// a file or a tracked memory block.
#include "engine/system/http.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/system/network.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

HttpTable g_HttpTable;

namespace {

constexpr int32_t kBodyChunk = 4096;
// A body is read in pieces this large: each read of the connection costs a pump of the
// network window, so small pieces would spend the round's share on calls. The pieces pass
// through one buffer that stays in the cache and whose pages the kernel has written
// before: on a virtual machine the kernel's first write to each page of a new memory body
// costs far more than the copy made here.
constexpr int32_t kBodyPiece = 64 << 10;
char g_bodyPiece[kBodyPiece];
constexpr uint32_t kConnectWaitMs = 1000;
constexpr int32_t kMaxBodyCapacity = 0x7FFFFFFF;
// A memory body with a known length starts with at most this much and doubles as the
// bytes arrive, so a header alone never reserves more.
constexpr int32_t kFirstBodyBlock = 64 << 10;

HttpSlot* Slot(int slot) {
  if (slot < 0 || slot >= HTTP_SLOT_COUNT) return nullptr;
  return g_HttpTable.slots[slot];
}

// The body bytes one step of a request may move this round: the round's share.
int32_t StepBudget() {
  return std::max(kBodyChunk, HTTP_BYTES_PER_ROUND / std::max(g_HttpTable.count, int32_t(1)));
}

void NoteActivity(HttpSlot* s) { s->lastActivityMs = PlatTimeMs(); }

// Nothing more can be read: the connection is down (or its handle gone) and nothing waits.
bool ConnectionOver(int handle) {
  return GetNetWorkAcceptState(handle) != 1 && GetNetWorkDataLength(handle) <= 0;
}

// "Content-Length:" at the start of the line, in any case.
bool IsContentLengthLine(const char* line) {
  static const char kName[] = "content-length:";
  for (int i = 0; i < 15; i++) {
    char c = line[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != kName[i]) return false;
  }
  return true;
}

enum LineTaken { LINE_TAKEN, LINE_NOT_YET, LINE_TOO_LONG, LINE_CUT_OFF };

// One answer line. A line that fills the line buffer without its line feed, or that a
// peer which has closed will never finish, can never be taken. The state is asked first:
// once the close has been seen, everything the peer sent before it is waiting.
// The line's length goes to *length.
LineTaken TakeLine(HttpSlot* s, char* line, int* length) {
  const int handle = s->netHandle;
  const bool closed = GetNetWorkAcceptState(handle) != 1;
  *length = NetWorkRecvLineLength(handle, line);
  if (*length >= 0) {
    NoteActivity(s);
    return LINE_TAKEN;
  }
  char probe[256] = {};
  const int waiting = NetWorkRecvToPeek(handle, probe, 255);
  if (waiting < 1) return LINE_NOT_YET;
  if (std::memchr(probe, '\n', size_t(waiting))) return LINE_NOT_YET;  // it came meanwhile: next round
  if (waiting == 255) return LINE_TOO_LONG;
  return closed ? LINE_CUT_OFF : LINE_NOT_YET;
}

// The slot's memory body goes back to the tracker and the caller's variable to null.
void FreeBody(HttpSlot* s) {
  if (s->memoryTarget && *s->memoryTarget) {
    TrackedFree(*s->memoryTarget);
    *s->memoryTarget = nullptr;
  }
  s->bodyCapacity = 0;
}

// A memory body's block: one whose growth moves pages, not bytes, so that doubling a large
// body costs a round no copy; null without memory.
void* NewBodyBlock(int32_t size) { return TrackedAllocResizable(size_t(size), "", 0); }

// Makes room for more of a memory body, up to limit bytes; false without memory. The new
// part's pages are made present in the background ahead of the bytes, so the rounds that
// fill them do not spend their time on page faults.
bool GrowBody(HttpSlot* s, int32_t limit) {
  if (s->received < s->bodyCapacity) return true;
  if (s->bodyCapacity >= limit) return false;
  const int64_t wanted = s->bodyCapacity < kBodyChunk ? kBodyChunk : int64_t(s->bodyCapacity) * 2;
  const int32_t capacity = int32_t(wanted < limit ? wanted : limit);
  void* grown = *s->memoryTarget ? TrackedResize(*s->memoryTarget, size_t(capacity)) : NewBodyBlock(capacity);
  if (!grown) return false;
  *s->memoryTarget = grown;
  TrackedPrefault(grown, size_t(s->bodyCapacity), size_t(capacity - s->bodyCapacity));
  s->bodyCapacity = capacity;
  return true;
}

// Sends what is left of the request text and the POST data; true once all is gone, or
// once the peer is gone (its answer, if any, is then read).
bool SendRequest(HttpSlot* s) {
  const int32_t total = s->requestLength + s->postLength;
  while (s->requestSent < total) {
    const bool inText = s->requestSent < s->requestLength;
    const char* from = inText ? s->request + s->requestSent
                              : static_cast<const char*>(s->postData) + (s->requestSent - s->requestLength);
    const int32_t length = (inText ? s->requestLength : total) - s->requestSent;
    const int sent = NetWorkSend(s->netHandle, from, length);
    if (sent <= 0) return GetNetWorkAcceptState(s->netHandle) != 1;
    s->requestSent += sent;
    NoteActivity(s);
  }
  return true;
}

// The number of a header value as ParseHttpStatusCode reads it, in 64 bits (saturating),
// so a length past 32 bits is seen as such and not as what is left of it.
int64_t ParseLength(const char* line) {
  const char* p = StrFindChar(line, ' ');
  if (!p) return -1;
  while (*p && *p != '-' && (*p < '0' || *p > '9')) p++;
  const bool negative = *p == '-';
  if (negative) p++;
  if (*p < '0' || *p > '9') return -1;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; p++) value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (*p - '0');
  return negative ? -value : value;
}

// A Content-Length header, true when the request goes on. A length past what the slot
// and a block can hold fails the request at once. A memory body gets its first block
// here; a length that does not parse (or is negative) leaves the length unknown and the
// body is taken until the end.
bool OnContentLength(int slot, HttpSlot* s, const char* line) {
  const int64_t length = ParseLength(line);
  if (length > kMaxBodyCapacity) {
    FinishHttpSlot(slot, 2, HTTP_DETAIL_NO_MEMORY);
    return false;
  }
  s->contentLength = length < 0 ? -1 : int32_t(length);
  if (s->destination != HTTP_TO_MEMORY || s->kind == HTTP_HEAD) return true;
  FreeBody(s);  // a second header replaces the first block
  if (s->contentLength < 0) return true;
  const int32_t first = s->contentLength < kFirstBodyBlock ? s->contentLength : kFirstBodyBlock;
  void* block = NewBodyBlock(first);
  if (!block) {
    FinishHttpSlot(slot, 2, HTTP_DETAIL_NO_MEMORY);
    return false;
  }
  *s->memoryTarget = block;
  TrackedPrefault(block, 0, size_t(first));
  s->bodyCapacity = first;
  return true;
}

enum BodyState { BODY_WAIT, BODY_DONE, BODY_FAILED };

// Takes the body as far as the step's budget goes; what is left waits for the next round.
BodyState ReceiveBody(int slot, HttpSlot* s) {
  const int handle = s->netHandle;
  const bool toFile = s->destination == HTTP_TO_FILE;
  const int32_t limit = s->contentLength >= 0 ? s->contentLength : kMaxBodyCapacity;
  if (s->received == s->contentLength) return BODY_DONE;  // a length of 0: nothing to wait for
  for (int32_t budget = StepBudget(); budget > 0;) {
    int32_t room;
    if (toFile) {
      room = limit - s->received;
      if (room == 0) {  // a body longer than the count can say
        FinishHttpSlot(slot, 2, HTTP_DETAIL_NO_MEMORY);
        return BODY_FAILED;
      }
    } else {
      if (s->received < limit ? !GrowBody(s, limit) : s->contentLength < 0) {
        FinishHttpSlot(slot, 2, HTTP_DETAIL_NO_MEMORY);
        return BODY_FAILED;
      }
      // Only into pages the background has made present: the round waits for it rather
      // than fault them in itself.
      room = int32_t(std::min(TrackedReady(*s->memoryTarget), size_t(s->bodyCapacity))) - s->received;
      if (room <= 0) return BODY_WAIT;
    }
    const int count = NetWorkRecv(handle, g_bodyPiece, std::min({kBodyPiece, room, budget}));
    if (count < 0) return BODY_WAIT;
    if (toFile && count > 0 && s->file && PlatFileWrite(s->file, g_bodyPiece, count) != count) {
      FinishHttpSlot(slot, 2, HTTP_DETAIL_NO_MEMORY);
      return BODY_FAILED;
    }
    if (!toFile) std::memcpy(static_cast<char*>(*s->memoryTarget) + s->received, g_bodyPiece, size_t(count));
    s->received += count;
    budget -= count;
    if (count > 0) NoteActivity(s);
    if (s->contentLength >= 0 ? s->received >= s->contentLength : ConnectionOver(handle))
      return BODY_DONE;
    if (count == 0) return BODY_WAIT;
  }
  return BODY_WAIT;
}

// Ends the request over an answer line that can never be taken; false while the line may
// still come.
bool LineFailed(int slot, LineTaken taken) {
  if (taken == LINE_TOO_LONG) FinishHttpSlot(slot, 2, HTTP_DETAIL_STATUS);
  else if (taken == LINE_CUT_OFF) FinishHttpSlot(slot, 2, HTTP_DETAIL_CONNECTION);
  return taken == LINE_TOO_LONG || taken == LINE_CUT_OFF;
}

// Step 1 of every kind: the status line. True when it said 200.
bool TakeStatus(int slot, HttpSlot* s, bool logFailure) {
  char line[256];
  int length;
  const LineTaken taken = TakeLine(s, line, &length);
  if (taken != LINE_TAKEN) {
    LineFailed(slot, taken);
    return false;
  }
  const int status = ParseHttpStatusCode(line);
  if (status == 200) return true;
  if (logFailure) WriteLogFmt("接続に失敗しました (戻り値:%d)", status);
  FinishHttpSlot(slot, 2, status == 404 ? HTTP_DETAIL_NOT_FOUND : HTTP_DETAIL_STATUS);
  return false;
}

// Steps 0 and 1 of every kind: the request goes out, then the status line comes. True
// once the answer is a 200 and its header follows.
bool Opening(int slot, HttpSlot* s, bool logFailure) {
  if (s->step == 0) {
    if (!SendRequest(s)) return false;
    s->step = 1;
  }
  if (s->step == 1) {
    if (!TakeStatus(slot, s, logFailure)) return false;
    s->step = 2;
  }
  return true;
}

int GetOrPost(int slot, bool post) {
  HttpSlot* s = Slot(slot);
  if (!s) return -1;
  if (!Opening(slot, s, !post)) return 0;
  for (;;) {
    switch (s->step) {
      case 2: {
        char line[256];
        int length;
        const LineTaken taken = TakeLine(s, line, &length);
        if (taken != LINE_TAKEN) {
          LineFailed(slot, taken);
          return 0;
        }
        if (!std::memchr(line, ':', size_t(length))) {  // the blank line that ends the header
          s->step = 3;
          break;
        }
        if (IsContentLengthLine(line)) OnContentLength(slot, s, line);
        return 0;  // one header line per round
      }
      case 3:
        if (ReceiveBody(slot, s) == BODY_DONE) {
          s->step = 4;
          FinishHttpSlot(slot, 0, -1);
        }
        return 0;
      case 4: FinishHttpSlot(slot, 0, -1); return 0;
      default: return 0;
    }
  }
}

// Ends a request whose connection has been silent past the limit. Bytes that came since
// the last step count even when they are no whole line yet: what the connection holds
// has changed.
void CheckInactivity(int slot, HttpSlot* s) {
  const SocketData* d = s->result == -1 ? GetSocketData(s->netHandle) : nullptr;
  const int32_t waiting = d ? d->recvRing.length : 0;
  if (waiting != s->waitingSeen) NoteActivity(s);
  s->waitingSeen = waiting;
  const uint32_t limit = g_HttpTable.inactivityLimitMs;
  if (s->result != -1 || limit == 0 || PlatTimeMs() - s->lastActivityMs < limit) return;
  WriteLogFmt("HTTPの応答が %u ミリ秒途絶えたので打ち切りました", limit);
  FinishHttpSlot(slot, 2, HTTP_DETAIL_CONNECTION);
}

void FreeSlotRecord(HttpSlot* s) {
  if (s->file) PlatFileClose(s->file);
  TrackedFree(s->postData);
  TrackedFree(s);
}

int RefuseRequest(HttpSlot* s, const char* why) {
  if (s) FreeSlotRecord(s);
  WriteLog(why);
  return -1;
}

}  // namespace

int ClearHttpTable() {
  std::memset(&g_HttpTable, 0, sizeof g_HttpTable);
  g_HttpTable.inactivityLimitMs = HTTP_DEFAULT_INACTIVITY_MS;
  return 0;
}

uint32_t SetHttpInactivityLimit(uint32_t ms) {
  const uint32_t old = g_HttpTable.inactivityLimitMs;
  g_HttpTable.inactivityLimitMs = ms;
  return old;
}

int HttpStep(int slot) {
  HttpSlot* s = Slot(slot);
  if (!s) return -1;
  if (s->result != -1) return 0;
  if (ConnectionOver(s->netHandle)) {
    // A body without a length ends with the connection, and every byte of it has been
    // taken once nothing waits: the close may be seen a round after the last bytes.
    const bool bodyEnded = (s->kind == HTTP_GET || s->kind == HTTP_POST) && s->step == 3 && s->contentLength < 0;
    if (bodyEnded) FinishHttpSlot(slot, 0, -1);
    else FinishHttpSlot(slot, 2, HTTP_DETAIL_CONNECTION);
    return 0;
  }
  switch (s->kind) {
    case HTTP_GET: HttpGet(slot); break;
    case HTTP_POST: HttpPost(slot); break;
    case HTTP_HEAD: HttpHead(slot); break;
    default: break;
  }
  CheckInactivity(slot, s);
  return 0;
}

int HttpGet(int slot) { return GetOrPost(slot, false); }

int HttpPost(int slot) { return GetOrPost(slot, true); }

int HttpHead(int slot) {
  HttpSlot* s = Slot(slot);
  if (!s) return -1;
  if (!Opening(slot, s, false)) return 0;
  if (s->step == 2) {
    char line[256];
    int length;
    const LineTaken taken = TakeLine(s, line, &length);
    if (taken != LINE_TAKEN) {
      LineFailed(slot, taken);
      return 0;
    }
    // Any other line, the blank one included: the next comes in the next round.
    if (!IsContentLengthLine(line)) return 0;
    if (!OnContentLength(slot, s, line)) return 0;
    s->step = 3;
    FinishHttpSlot(slot, 0, -1);
  } else if (s->step == 3) {
    FinishHttpSlot(slot, 0, -1);
  }
  return 0;
}

int StepAllHttpSlots() {
  int32_t left = g_HttpTable.count;
  for (int slot = 0; slot < HTTP_SLOT_COUNT && left > 0; slot++) {
    if (!g_HttpTable.slots[slot]) continue;
    HttpStep(slot);
    left--;
  }
  return 0;
}

int FinishHttpSlot(int slot, int result, int detail) {
  HttpSlot* s = Slot(slot);
  if (!s) return -1;
  if (s->netHandle != -1) {
    CloseNetHandle(s->netHandle);
    s->netHandle = -1;
  }
  TrackedFree(s->postData);
  s->postData = nullptr;
  if (s->file) {
    PlatFileClose(s->file);
    s->file = nullptr;
  }
  // The first finish decides; after it the body belongs to the caller (or is gone), so
  // the caller's variable is not touched again.
  if (s->result == -1) {
    s->result = result;
    s->detail = detail;
    if (s->memoryTarget && s->result != 0) FreeBody(s);
    s->memoryTarget = nullptr;
  }
  return 0;
}

int DeleteHttpSlot(int slot) {
  HttpSlot* s = Slot(slot);
  if (!s) return -1;
  // A request still running fails: its partial body must not pass for a whole one.
  FinishHttpSlot(slot, 2, HTTP_DETAIL_CONNECTION);
  TrackedFree(s);
  g_HttpTable.slots[slot] = nullptr;
  g_HttpTable.count--;
  return 0;
}

int EndHttp() {
  int32_t left = g_HttpTable.count;
  for (int slot = 0; slot < HTTP_SLOT_COUNT && left > 0; slot++) {
    if (!g_HttpTable.slots[slot]) continue;
    DeleteHttpSlot(slot);
    left--;
  }
  return 0;
}

int ParseHttpStatusCode(const char* line) {
  const char* blank = StrFindChar(line, ' ');
  return blank ? StrToInt(blank) : -1;
}

int StartHttpRequest(int kind, const char* host, int port, const char* path, int destination,
                     const char* filePath, void** memoryTarget, const void* postData,
                     int32_t postLength) {
  if (kind < HTTP_GET || kind > HTTP_HEAD || !host || !path || port < 0 || port > 65535 ||
      (destination != HTTP_TO_FILE && destination != HTTP_TO_MEMORY) ||
      (destination == HTTP_TO_MEMORY && !memoryTarget) || postLength < 0 ||
      (postLength > 0 && !postData))
    return RefuseRequest(nullptr, "HTTPリクエストの指定が正しくありません\n");
  if (std::strlen(host) >= sizeof HttpSlot::host || std::strlen(path) >= sizeof HttpSlot::path)
    return RefuseRequest(nullptr, "HTTPリクエストが長すぎます\n");
  int slot = 0;
  while (slot < HTTP_SLOT_COUNT && g_HttpTable.slots[slot]) slot++;
  if (slot == HTTP_SLOT_COUNT) return RefuseRequest(nullptr, "HTTPリクエストの空きがありません\n");

  HttpSlot* s = static_cast<HttpSlot*>(TrackedCalloc(sizeof(HttpSlot), "", 0));
  if (!s) return RefuseRequest(nullptr, "HTTPリクエスト用のメモリの確保に失敗しました\n");
  s->kind = kind;
  s->result = -1;
  s->detail = -1;
  s->netHandle = -1;
  s->destination = destination;
  s->contentLength = -1;
  s->port = port;
  StrCopy(s->host, host);
  StrCopy(s->path, path);
  if (kind != HTTP_POST) postLength = 0;
  s->postLength = postLength;

  // Each request text has its buffer: 512 bytes for GET, 256 for POST and HEAD.
  int length;
  size_t limit = 256;
  if (kind == HTTP_GET) {
    limit = 512;
    length = std::snprintf(s->request, limit, "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n",
                           path, host, port);
  } else if (kind == HTTP_POST) {
    length = std::snprintf(s->request, limit, "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n",
                           path, host, port, postLength);
  } else {
    length = std::snprintf(s->request, limit, "HEAD %s HTTP/1.0\n\n", path);
  }
  if (length < 0 || size_t(length) >= limit) return RefuseRequest(s, "HTTPリクエストが長すぎます\n");
  s->requestLength = length;

  if (postLength > 0) {
    s->postData = TrackedAlloc(size_t(postLength), "", 0);
    if (!s->postData) return RefuseRequest(s, "HTTPリクエスト用のメモリの確保に失敗しました\n");
    std::memcpy(s->postData, postData, size_t(postLength));
  }
  if (destination == HTTP_TO_FILE && filePath && kind != HTTP_HEAD) {
    s->file = PlatFileOpen(filePath, PLAT_FILE_WRITE, PLAT_CREATE_ALWAYS);
    if (!s->file) return RefuseRequest(s, "HTTPの受信ファイルを作成できませんでした\n");
  }

  // A raw connection that keeps its data after the peer closes: the answer of a server
  // that closes at once must still be read.
  const int oldRaw = SetNetWorkRawMode(1);
  const int oldKeep = SetNetWorkKeepLost(1);
  const int handle = ConnectNetWork(host, port);
  SetNetWorkRawMode(oldRaw);
  SetNetWorkKeepLost(oldKeep);
  if (handle < 0) return RefuseRequest(s, "HTTPの接続に失敗しました\n");
  const uint32_t start = PlatTimeMs();
  while (GetNetWorkAcceptState(handle) != 1) {
    const SocketData* d = GetSocketData(handle);
    if (!d || d->connectFailed || PlatTimeMs() - start >= kConnectWaitMs) {
      CloseNetHandle(handle);
      return RefuseRequest(s, "HTTPの接続に失敗しました\n");
    }
    PlatSleep(1);
  }
  s->netHandle = handle;
  NoteActivity(s);
  if (destination == HTTP_TO_MEMORY) {
    s->memoryTarget = memoryTarget;
    *memoryTarget = nullptr;
  }
  g_HttpTable.slots[slot] = s;
  g_HttpTable.count++;
  return slot;
}

const HttpSlot* GetHttpSlot(int slot) { return Slot(slot); }
