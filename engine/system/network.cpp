// Network handles: accepting, the socket events, the framed send and receive rings, the
// public reads, writes and states, closing, the network window's pump and the end.
#include "engine/system/network.h"

#include "engine/base/handle.h"
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

namespace {

// Accepted connections hear of data, room to send and the close; outgoing ones also of
// the end of their connect.
constexpr uint32_t kConnectionEvents = PLAT_FD_READ | PLAT_FD_WRITE | PLAT_FD_CLOSE;
constexpr uint32_t kOutgoingEvents = kConnectionEvents | PLAT_FD_CONNECT;
constexpr int32_t kConnectionSlots = 4096;
constexpr uint32_t kCloseWaitMs = 1000;
// The kernel queues as many connections as the table can take, so a burst of peers that
// come between two pumps waits in the queue rather than for a retried handshake.
constexpr int kListenBacklog = kConnectionSlots;
// The most one receive call asks of the socket, and the most one serving of a framed
// connection takes: the ring grows with what arrives, never from what a peer's length
// announces, and a peer that floods costs one pump no more than this much copying. The
// rest waits in the socket for the next pump or the program's next read, so a program that
// reads as the messages come keeps using the front of the ring while it is in the cache.
constexpr int32_t kRecvChunk = 1 << 20;
constexpr int32_t kRecvStep = 4096;
// The most one receive takes past the next message's length. Lengths found among those
// bytes are taken out by moving what follows them, so this stays small: a large message
// costs one receive anyway, and small ones still share one.
constexpr int32_t kLookAhead = 16 << 10;
// Messages at least that long are guessed to be as long as the last one: each lands in
// place with its length put aside, so a receive takes several without moving bytes.
constexpr int32_t kMaxGuesses = 8;
// The most a raw connection's ring holds ahead of the program's reads: enough for the
// lines of an answer header, while the rest waits in the socket and a large read takes it
// from there straight into the program's buffer. A larger ring would cost each new
// connection its fresh pages (first writes a virtual machine's host may make slow) and
// every byte of a flood a second copy.
constexpr int32_t kRawBuffered = 16 << 10;
constexpr const char* kWindowClass = "KRNetWorkWindow";

// The NetWorkTable is a generic handle table whose slots the network chooses itself:
// connections take the lowest free slot below NETWORK_LISTEN_SLOT (not the table's
// high-water rule), the listening socket always takes NETWORK_LISTEN_SLOT, and a record
// joins the table (taking the next check value) only once its socket is set up, so a
// connection that fails to start uses up no check value.
struct NetWorkState {
  HandleTable table;                     // the NetWorkTable, over slots
  void* slots[NETWORK_SLOT_COUNT];
  ListNode head, tail;                   // every record, newest first
  int32_t initialised;
  PlatWnd window;  // the NetWorkWindow
  int32_t windowDestroyed;
  int32_t rawMode;   // NetWorkRawMode
  int32_t keepLost;  // NetWorkKeepLost
  // RecvSocket and SendSocket calls under way, and pumps dispatching: a socket call pumps
  // the window only when neither is, so a burst of events for many connections does not
  // nest one call inside another, and the events a pump just polled are not polled again.
  int32_t socketCallDepth;
};

NetWorkState net;

enum NetOp { OP_RECVSOCKET, OP_SENDSOCKET, OP_ACCEPTSTATE, OP_RECV, OP_PEEK, OP_SEND, OP_DATALENGTH };

struct NetOpLogs {
  const char* notInUse;
  const char* inError;
};

const NetOpLogs kOpLogs[] = {
    {"有効なネットワークハンドルではありません in RecvSocket\n",
     "このネットワークハンドルにはエラーが発生しています in RecvSocket\n"},
    {"有効なネットワークハンドルではありません in SendSocket\n",
     "このネットワークハンドルにはエラーが発生しています in SendSocket\n"},
    {"有効なネットワークハンドルではありません in GetNetWorkAcceptState\n",
     "このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh\n"},
    {"有効なネットワークハンドルではありません in NetWorkRecv\n",
     "このネットワークハンドルにはエラーが発生しています in NetWorkRecv\n"},
    {"有効なネットワークハンドルではありません in NetWorkRecvToPeek\n",
     "このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek\n"},
    {"有効なネットワークハンドルではありません in NetWorkSend\n",
     "このネットワークハンドルにはエラーが発生しています in NetWorkSend\n"},
    {"有効なネットワークハンドルではありません in GetNetWorkDataLength\n",
     "このネットワークハンドルにはエラーが発生しています in GetNetWorkDataLength\n"},
};

// The record of a valid handle while the network is up, or null.
SocketData* CheckHandle(int handle) {
  if (!net.initialised) return nullptr;
  return static_cast<SocketData*>(HandleTableGet(&net.table, handle));
}

// Logs and refuses a record that is not in use or is in error.
bool Refused(const SocketData* d, NetOp op) {
  if (!d->inUse) {
    WriteLog(kOpLogs[op].notInUse);
    return true;
  }
  if (d->error) {
    WriteLog(kOpLogs[op].inError);
    return true;
  }
  return false;
}

void EncodeLength(int32_t length, uint8_t out[4]) {
  for (int i = 0; i < 4; i++) out[i] = uint8_t(uint32_t(length) >> (8 * i));
}

int FreeConnectionSlot() {
  for (int32_t slot = 0; slot < kConnectionSlots; slot++)
    if (!net.slots[slot]) return slot;
  return -1;
}

// A zeroed record for the slot at the head of the list, connected, with the current
// settings and the check value that the handle will carry; null (logged) without memory.
SocketData* NewRecord(int32_t slot) {
  SocketData* d = static_cast<SocketData*>(TrackedCalloc(sizeof(SocketData), "", 0));
  if (!d) {
    WriteLog("ソケット用のメモリの確保に失敗しました\n");
    return nullptr;
  }
  d->inUse = 1;
  d->connected = 1;
  d->framed = net.rawMode == 0;
  d->autoClose = net.keepLost == 0;
  d->check = net.table.nextCheck;
  d->socket = PLAT_INVALID_SOCKET;
  ListInsertAfter(&net.head, &d->node, MakeHandle(HANDLE_TYPE_NETWORK, d->check, slot),
                  uintptr_t(d));
  return d;
}

void UndoRecord(SocketData* d) {
  ListUnlink(&d->node);
  if (d->socket != 0 && d->socket != PLAT_INVALID_SOCKET) PlatNetClose(d->socket);
  RingBufferTerminate(&d->recvRing);
  RingBufferTerminate(&d->sendRing);
  TrackedFree(d);
}

// Selects the record's events and puts it into its slot; the handle, or -1 with the
// record undone.
int CommitRecord(SocketData* d, int32_t slot, uint32_t events, const char* selectError) {
  if (PlatNetAsyncSelect(d->socket, net.window, PLAT_WM_SOCKET, events) != 0) {
    LogNetworkError("%s", selectError);
    UndoRecord(d);
    return -1;
  }
  return HandleTableAddAt(&net.table, d, slot);
}

// Moves `wanted` bytes between the socket and the ring at *position through io, in two
// calls when the span wraps at the capacity (the second only when the first moved all it
// could). The position moves on past what went; the count, or -1 when the first call failed.
typedef int (*SocketIo)(PlatSocket socket, unsigned char* bytes, int length);
int RecvInto(PlatSocket socket, unsigned char* bytes, int length) {
  return PlatNetRecv(socket, bytes, length, 0);
}
int SendFrom(PlatSocket socket, unsigned char* bytes, int length) {
  return PlatNetSend(socket, bytes, length, 0);
}

int32_t RingTransfer(SocketData* d, RingBuffer& r, int32_t* position, int32_t wanted, SocketIo io) {
  RingBufferWrapPositions(&r);
  if (*position + wanted <= r.capacity) {
    const int moved = io(d->socket, r.data + *position, wanted);
    if (moved < 0) return -1;
    *position += moved;
    return moved;
  }
  const int32_t tail = r.capacity - *position;
  const int first = io(d->socket, r.data + *position, tail);
  if (first < 0) return -1;
  if (first < tail) {
    *position += first;
    return first;
  }
  const int rest = io(d->socket, r.data, wanted - tail);
  *position = rest < 0 ? 0 : rest;
  return first + (rest < 0 ? 0 : rest);
}

// Logs and flags a receive ring that cannot take the message.
int ReceiveFailed(SocketData* d, int32_t length) {
  WriteLogFmt("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)", length);
  d->error = 1;
  return -1;
}

// Moves up to `most` bytes from the socket to the end of the receive ring, growing it by
// what comes; the count (0 for nothing, the peer's close included), or -1 without memory.
int32_t ReceiveChunk(SocketData* d, int32_t most) {
  RingBuffer& r = d->recvRing;
  const int32_t room = NETWORK_MAX_BUFFERED - r.length;
  // Into the free storage first; a full ring grows by a small step, which the ring turns
  // into a doubling, so the storage follows what arrives.
  const int32_t free = std::max(r.capacity - r.length, kRecvStep);
  const int32_t want = std::min({most, kRecvChunk, room, free});
  if (want <= 0) return 0;  // full: the program reads first
  if (RingBufferReserve(&r, want) != 0) return -1;
  const int32_t count = RingTransfer(d, r, &r.writePos, want, RecvInto);
  if (count <= 0) return 0;
  r.length += count;
  return count;
}

// The ring bytes that count as stored: the write position moves on, and the message
// under way takes them (a message that completes adds its length to the data length).
void StoreReceived(SocketData* d, int32_t count) {
  RingBuffer& r = d->recvRing;
  r.writePos += count;
  if (r.writePos >= r.capacity) r.writePos -= r.capacity;
  r.length += count;
  d->recvRemaining -= count;
  if (d->recvRemaining == 0) d->dataLength += d->currentLength;
}

uint32_t PrefixLength(const uint8_t prefix[4]) {
  return uint32_t(prefix[0]) | uint32_t(prefix[1]) << 8 | uint32_t(prefix[2]) << 16 | uint32_t(prefix[3]) << 24;
}

// A message's length is complete in the record: the message starts, or the connection is
// in error when the length passes the cap.
int StartMessage(SocketData* d) {
  const uint32_t length = PrefixLength(d->prefix);
  d->prefixHave = 0;
  // The peer's length sizes nothing: a length past the cap is refused at once.
  if (length > uint32_t(NETWORK_MAX_MESSAGE)) return ReceiveFailed(d, int32_t(length));
  d->recvRemaining = int32_t(length);
  d->currentLength = int32_t(length);  // an empty message completes at once and adds nothing
  return 0;
}

// Pieces of the ring from its write position on, count bytes, split where they wrap.
int AddRingSpans(const RingBuffer& r, int32_t* at, int32_t count, PlatNetSpan* spans, int n) {
  while (count > 0) {
    const int32_t piece = std::min(count, r.capacity - *at);
    spans[n++] = PlatNetSpan{r.data + *at, piece};
    *at = *at + piece == r.capacity ? 0 : *at + piece;
    count -= piece;
  }
  return n;
}

// Bytes that arrived past a message's end sit in the ring at its write position, a length
// first: the length goes to the record and the count bytes behind it move down over it.
void TakeLengthFromRing(SocketData* d, int32_t* count) {
  RingBuffer& r = d->recvRing;
  const int32_t take = std::min(*count, 4 - d->prefixHave);
  int32_t at = r.writePos;
  for (int32_t i = 0; i < take; i++) {
    d->prefix[d->prefixHave++] = r.data[at];
    at = at + 1 == r.capacity ? 0 : at + 1;
  }
  *count -= take;
  for (int32_t to = r.writePos, left = *count; left > 0;) {
    const int32_t piece = std::min({left, r.capacity - to, r.capacity - at});
    std::memmove(r.data + to, r.data + at, size_t(piece));
    to = to + piece == r.capacity ? 0 : to + piece;
    at = at + piece == r.capacity ? 0 : at + piece;
    left -= piece;
  }
}

// Bytes of the ring from the write position on (offset past it), copied out.
void CopyFromRing(const RingBuffer& r, int32_t offset, int32_t count, unsigned char* out) {
  int32_t at = int32_t((int64_t(r.writePos) + offset) % r.capacity);
  while (count > 0) {
    const int32_t piece = std::min(count, r.capacity - at);
    std::memcpy(out, r.data + at, size_t(piece));
    out += piece;
    count -= piece;
    at = at + piece == r.capacity ? 0 : at + piece;
  }
}

// A receive guessed that the messages behind the next length are as long as the last
// one and put their lengths aside; the guess at `from` was wrong. The bytes from there on
// are put back in the ring in the order they came, as one look-ahead.
void UndoGuesses(SocketData* d, int32_t guess, const uint8_t (*lengths)[4], int32_t from, int32_t guesses,
                 int32_t count) {
  static unsigned char stream[kRecvChunk];
  RingBuffer& r = d->recvRing;
  int32_t have = 0, inRing = 0;
  for (int32_t g = from; g < guesses && have < count; g++) {
    const int32_t data = std::min(guess, count - have);
    CopyFromRing(r, inRing, data, stream + have);
    inRing += data;
    have += data;
    const int32_t length = std::min(4, count - have);
    std::memcpy(stream + have, lengths[g], size_t(length));
    have += length;
  }
  CopyFromRing(r, inRing, count - have, stream + have);
  for (int32_t at = r.writePos, done = 0; done < count;) {
    const int32_t piece = std::min(count - done, r.capacity - at);
    std::memcpy(r.data + at, stream + done, size_t(piece));
    done += piece;
    at = at + piece == r.capacity ? 0 : at + piece;
  }
}

// Takes what the socket holds, up to a chunk: lengths into the record, data into the
// receive ring.
// One receive takes the rest of the message under way and the next length, then, guessing
// that the messages behind it are as long as the last one, each of them with its length
// put aside, and a look-ahead: a stream of messages alike costs one call for several, small
// ones share a call, and a wrong guess costs a copy of what came. A receive that comes
// short has emptied the socket.
int ReceiveMessages(SocketData* d) {
  RingBuffer& r = d->recvRing;
  uint8_t lengths[kMaxGuesses][4];
  for (int32_t taken = 0; taken < kRecvChunk;) {
    // An empty ring starts again at its front, which the last reads left warm in the cache.
    if (r.length == 0) r.readPos = r.writePos = 0;
    // Into the free storage first; a full ring grows by a small step, which the ring turns
    // into a doubling, so the storage follows what arrives.
    const int32_t room = NETWORK_MAX_BUFFERED - r.length;
    const int32_t free = std::max(r.capacity - r.length, kRecvStep);
    const int32_t most = std::max(0, std::min({kRecvChunk - taken, room, free}));
    const int32_t body = std::min(d->recvRemaining, most);
    const bool lengthNext = body == d->recvRemaining;
    if (body > 0 && RingBufferReserve(&r, body) != 0) return ReceiveFailed(d, d->currentLength);
    RingBufferWrapPositions(&r);
    PlatNetSpan spans[PLAT_NET_MAX_SPANS];
    int32_t at = r.writePos;
    int n = AddRingSpans(r, &at, body, spans, 0);
    const int32_t lengthBytes = lengthNext ? 4 - d->prefixHave : 0;
    if (lengthBytes > 0) spans[n++] = PlatNetSpan{d->prefix + d->prefixHave, lengthBytes};
    // What follows only uses storage the ring already has: it grows by what messages
    // need, never for bytes that may not come.
    int32_t spare = lengthNext ? std::min(most - body, r.capacity - r.length - body) : 0;
    const int32_t guess = d->currentLength;
    int32_t guesses = 0;
    if (guess >= kLookAhead)
      for (; guesses < kMaxGuesses && spare >= guess + 4 && n + 5 <= PLAT_NET_MAX_SPANS; guesses++) {
        n = AddRingSpans(r, &at, guess, spans, n);
        spans[n++] = PlatNetSpan{lengths[guesses], 4};
        spare -= guess + 4;
      }
    const int32_t lookAhead = std::min(kLookAhead, spare);
    n = AddRingSpans(r, &at, lookAhead, spans, n);
    if (n == 0) break;  // full: the program reads first
    const int got = PlatNetRecvScatter(d->socket, spans, n);
    if (got <= 0) break;
    int32_t left = got;
    const int32_t inBody = std::min(left, body);
    if (inBody > 0) StoreReceived(d, inBody);
    left -= inBody;
    const int32_t inLength = std::min(left, lengthBytes);
    d->prefixHave += inLength;
    left -= inLength;
    // The guessed messages stay where they are while their lengths agree.
    int32_t g = 0;
    for (; g < guesses && left > 0 && d->prefixHave == 4 && PrefixLength(d->prefix) == uint32_t(guess); g++) {
      if (StartMessage(d) != 0) return -1;
      const int32_t data = std::min(left, guess);
      StoreReceived(d, data);
      left -= data;
      const int32_t length = std::min(left, 4);
      std::memcpy(d->prefix, lengths[g], size_t(length));
      d->prefixHave = length;
      left -= length;
    }
    if (g < guesses && left > 0) UndoGuesses(d, guess, lengths, g, guesses, left);
    // The look-ahead: data of the messages that follow, with their lengths among it.
    for (;;) {
      if (d->recvRemaining == 0 && d->prefixHave == 4 && StartMessage(d) != 0) return -1;
      if (left == 0) break;
      if (d->recvRemaining > 0) {
        const int32_t take = std::min(left, d->recvRemaining);
        StoreReceived(d, take);
        left -= take;
      } else {
        TakeLengthFromRing(d, &left);
      }
    }
    if (got < body + lengthBytes + guesses * (guess + 4) + lookAhead) break;
    taken += got;
  }
  return 0;
}

// Takes what the socket holds into the receive ring of a raw connection, as far as the
// ring's share allows.
int ReceiveRaw(SocketData* d) {
  for (;;) {
    const int32_t count = ReceiveChunk(d, kRawBuffered - d->recvRing.length);
    if (count < 0) return ReceiveFailed(d, kRecvChunk);
    if (count == 0) return 0;
  }
}

// Sends what the send ring holds as messages, as far as the socket takes it.
void SendMessages(SocketData* d) {
  RingBuffer& r = d->sendRing;
  for (;;) {
    uint8_t prefix[4];
    if (d->lengthBytesRemaining > 0) {
      EncodeLength(d->sendRemaining, prefix);
      const int n = d->lengthBytesRemaining;
      const int sent = PlatNetSend(d->socket, prefix + 4 - n, n, 0);
      if (sent < 0) return;
      d->lengthBytesRemaining -= sent;
      if (d->lengthBytesRemaining > 0) continue;  // until the socket refuses: that re-arms FD_WRITE
    }
    if (d->sendRemaining == 0) {
      d->sendRemaining = r.length < NETWORK_MAX_MESSAGE ? r.length : NETWORK_MAX_MESSAGE;
      EncodeLength(d->sendRemaining, prefix);
      const int sent = PlatNetSend(d->socket, prefix, 4, 0);
      if (sent < 0) {
        d->sendRemaining = 0;
        return;
      }
      if (sent < 4) {
        d->lengthBytesRemaining = 4 - sent;
        continue;
      }
    }
    const int32_t count = RingTransfer(d, r, &r.readPos, d->sendRemaining, SendFrom);
    if (count < 0) return;
    r.length -= count;
    d->sendRemaining -= count;
    // A part sent is no sign that the socket is full: only a refused send arms the next
    // FD_WRITE, so go on until one is refused or nothing is left.
    if (count == 0 || r.length == 0) return;
  }
}

// RecvSocket for an operation that has just pumped the window itself.
int RecvSocketPumped(int handle) {
  net.socketCallDepth++;
  const int result = RecvSocket(handle);
  net.socketCallDepth--;
  return result;
}

int ReceiveData(int handle, void* buffer, int length, bool peek) {
  if (length < 0) return -1;
  SocketData* d = CheckHandle(handle);
  if (!d) return -1;
  // A framed read the ring already holds takes the same bytes whatever arrives meanwhile:
  // it asks the socket nothing, and what arrives is taken by the next pump or short read.
  const bool held = d->framed && d->inUse && !d->error && d->recvRing.length >= length;
  if (!held) PumpNetworkMessages(0);
  if (Refused(d, peek ? OP_PEEK : OP_RECV)) return -1;
  d->exposed = 1;
  if (!held && RecvSocketPumped(handle) == -1) return -1;
  if (!d->framed) {
    // What has arrived is in the ring; an empty ring asks the socket, which tells a
    // close (0) from nothing yet (-1).
    const int32_t stored = d->recvRing.length;
    if (stored == 0) return PlatNetRecv(d->socket, buffer, length, peek ? PLAT_MSG_PEEK : 0);
    const int32_t taken = std::min(stored, int32_t(length));
    RingBufferRead(&d->recvRing, taken, buffer, peek ? 1 : 0);
    if (peek || taken == length) return taken;
    // The ring held the oldest bytes; what follows them is still in the socket.
    const int more = PlatNetRecv(d->socket, static_cast<char*>(buffer) + taken, length - taken, 0);
    return more > 0 ? taken + more : taken;
  }
  // A ring that was full left the rest in the socket, and no receive has re-armed its
  // read event since: the room made is filled now.
  const bool wasFull = d->recvRing.length >= NETWORK_MAX_BUFFERED;
  if (RingBufferRead(&d->recvRing, length, buffer, peek ? 1 : 0) != 0) return -1;
  if (!peek) {
    d->dataLength -= length;
    if (wasFull) RecvSocket(handle);
  }
  return 0;
}

PlatLResult NetWorkWindowProc(PlatWnd window, uint32_t message, PlatWParam wParam,
                              PlatLParam lParam) {
  if (message == PLAT_WM_SOCKET) return OnSocketEvent(wParam, uint32_t(lParam));
  if (message == PLAT_WM_DESTROY && window == net.window) net.windowDestroyed = 1;
  return PlatDefWindowProc(window, message, wParam, lParam);
}

}  // namespace

int LogNetworkError(const char* format, ...) {
  const int error = PlatNetGetLastError();
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatTextV(text, sizeof text, format, args);
  va_end(args);
  WriteLogFmt("ネットワークログ。%s[%d]", text, error);
  return -1;
}

namespace {

// Runs one connection's side under its own guard. An event for the same side that comes
// while the guard is held (from the pump inside) is remembered and makes the call go
// round again; the call is refused (-1) only to the nested caller.
template <class Work>
int GuardedSocketCall(int handle, NetOp op, int32_t SocketData::*busy, int32_t SocketData::*again, Work work) {
  SocketData* d = CheckHandle(handle);
  if (!d) return -1;
  if (d->*busy) {
    d->*again = 1;
    return -1;
  }
  d->*busy = 1;
  if (net.socketCallDepth++ == 0) PumpNetworkMessages(0);
  int result = 0;
  if (Refused(d, op)) {
    result = -1;
  } else {
    do {
      d->*again = 0;
      result = work(d);
    } while (result == 0 && d->*again);
  }
  net.socketCallDepth--;
  d->*busy = 0;
  return result;
}

}  // namespace

int RecvSocket(int handle) {
  return GuardedSocketCall(handle, OP_RECVSOCKET, &SocketData::recvBusy, &SocketData::recvAgain,
                           [](SocketData* d) { return d->framed ? ReceiveMessages(d) : ReceiveRaw(d); });
}

int SendSocket(int handle) {
  return GuardedSocketCall(handle, OP_SENDSOCKET, &SocketData::sendBusy, &SocketData::sendAgain,
                           [](SocketData* d) {
                             if (d->framed && d->sendRing.length > 0) SendMessages(d);
                             return 0;
                           });
}

namespace {

// Accepts one waiting connection into a new record; 1, or -1. With quietWhenNone an
// accept that finds nothing waiting is no failure: 0, and no log line.
int AcceptOne(bool quietWhenNone) {
  SocketData* listener = static_cast<SocketData*>(net.slots[NETWORK_LISTEN_SLOT]);
  if (!listener) return -1;
  const int32_t slot = FreeConnectionSlot();
  if (slot < 0) {
    WriteLog("空きソケットデータがなかったので accept を拒否しました \n");
    return -1;
  }
  SocketData* d = NewRecord(slot);
  if (!d) return -1;
  PlatSockAddrIn peer{};
  d->socket = PlatNetAccept(listener->socket, &peer);
  if (d->socket == PLAT_INVALID_SOCKET) {
    const bool none = quietWhenNone && PlatNetGetLastError() == PLAT_NET_EWOULDBLOCK;
    if (!none) LogNetworkError("acceptに失敗しました");
    UndoRecord(d);
    return none ? 0 : -1;
  }
  std::memcpy(d->peerAddress, peer.address, 4);
  d->peerPort = peer.port;
  d->accepted = 1;
  if (CommitRecord(d, slot, kConnectionEvents, "WSAAsyncSelectのエラー in AcceptNetWork") < 0)
    return -1;
  return 1;
}

// The answer to an accept event: every connection waiting, not one per poll, so a queue
// of peers is taken in one pump; it stops at the first failure or when the table is
// full. The result of the first accept.
int AcceptAllWaiting() {
  const int first = AcceptNetWork();
  if (first == 1)
    while (AcceptOne(true) == 1) {
    }
  return first;
}

}  // namespace

int AcceptNetWork() {
  if (!net.initialised) return -1;
  PumpNetworkMessages(0);
  return AcceptOne(false);
}

int OnSocketEvent(uintptr_t socket, uint32_t eventWord) {
  SocketData* d = nullptr;
  for (ListNode* n = net.head.next; n && n != &net.tail; n = n->next) {
    SocketData* candidate = reinterpret_cast<SocketData*>(n->data);
    if (candidate->socket == socket) {
      d = candidate;
      break;
    }
  }
  if (!d) {
    WriteLog("通信エラー No.1\n");
    return 0;
  }
  const uint32_t error = eventWord >> 16;
  switch (eventWord & 0xFFFF) {
    case PLAT_FD_READ: RecvSocket(d->node.key); return 1;
    case PLAT_FD_WRITE: SendSocket(d->node.key); return 1;
    case PLAT_FD_ACCEPT: return AcceptAllWaiting();
    case PLAT_FD_CONNECT:
      if (error == 0) d->connected = 1;
      else d->connectFailed = 1;
      return 1;
    case PLAT_FD_CLOSE:
      d->connected = 0;
      d->lossReported = 0;
      return 1;
    default: return 1;
  }
}

int GetNetWorkAcceptState(int handle) {
  if (!net.initialised) return -1;
  PumpNetworkMessages(0);
  SocketData* d = CheckHandle(handle);
  if (!d || Refused(d, OP_ACCEPTSTATE)) return -1;
  d->exposed = 1;
  if (d->connected) return d->connected == 1 ? 1 : 0;
  d->lossReported = 1;
  return 0;
}

int NetWorkRecv(int handle, void* buffer, int length) { return ReceiveData(handle, buffer, length, false); }

int NetWorkRecvToPeek(int handle, void* buffer, int length) {
  return ReceiveData(handle, buffer, length, true);
}

int NetWorkSend(int handle, const void* data, int length) {
  SocketData* d = CheckHandle(handle);
  if (!d) return -1;
  PumpNetworkMessages(0);
  if (Refused(d, OP_SEND)) return -1;
  d->exposed = 1;
  if (!d->connected || length < 0) return -1;
  SendSocket(handle);
  if (!d->framed) return PlatNetSend(d->socket, data, length, 0);
  const int32_t queued = d->sendRing.length;
  // A peer that does not read cannot make the queue grow without end.
  if (length > NETWORK_MAX_BUFFERED - queued || RingBufferAdd(&d->sendRing, data, length) != 0) {
    WriteLogFmt("送信データ %d byte の追加に失敗しました in NewWorkSend", length);
    // A ring that lost queued bytes can no longer be framed for the peer.
    if (queued > 0 && d->sendRing.length == 0) d->error = 1;
    return -1;
  }
  SendSocket(handle);
  return 0;
}

int GetNetWorkDataLength(int handle) {
  if (!net.initialised) return -1;
  PumpNetworkMessages(0);
  RecvSocketPumped(handle);
  net.socketCallDepth++;
  SendSocket(handle);
  net.socketCallDepth--;
  SocketData* d = CheckHandle(handle);
  if (!d || Refused(d, OP_DATALENGTH)) return -1;
  d->exposed = 1;
  if (d->framed) return d->dataLength;
  char byte;
  const int got = NetWorkRecvToPeek(handle, &byte, 1);
  return got >= 1 ? 1 : got;
}

int NetWorkRecvLineLength(int handle, char* line) {
  char text[256] = {};
  const int got = NetWorkRecvToPeek(handle, text, 255);
  if (got < 1) return -1;
  // The line feed is looked for in what came, not in a string: a NUL byte is part of
  // the line, not its end.
  const char* feed = static_cast<const char*>(std::memchr(text, '\n', size_t(got)));
  if (!feed) return -1;
  const size_t length = size_t(feed - text);
  MemCopy(line, text, length);
  line[length] = '\0';
  NetWorkRecv(handle, text, int(length + 1));
  return int(length);
}

int NetWorkRecvLine(int handle, char* line) { return NetWorkRecvLineLength(handle, line) >= 0 ? 0 : -1; }

int CloseNetHandle(int handle) {
  SocketData* d = CheckHandle(handle);
  if (!d || !d->inUse) return -1;
  PumpNetworkMessages(0);
  // What has arrived goes with the record, so a message still arriving is not waited for:
  // a peer could hold every close for as long as it pleased. What is queued is sent, but
  // only while it moves or the peer may still take it.
  const uint32_t start = PlatTimeMs();
  while (d->sendRing.length > 0 && !d->error && PlatTimeMs() - start < kCloseWaitMs) {
    PumpNetworkMessages(0);
    const int32_t before = d->sendRing.length;
    SendSocket(handle);
    if (d->sendRing.length != before) continue;
    if (!d->connected) break;
    PlatSleep(1);
  }
  PlatNetAsyncSelect(d->socket, net.window, 0, 0);
  PlatNetClose(d->socket);
  RingBufferTerminate(&d->recvRing);
  RingBufferTerminate(&d->sendRing);
  ListUnlink(&d->node);
  HandleTableRemove(&net.table, handle);
  TrackedFree(d);
  return 0;
}

int PumpNetworkMessages(int mode) {
  if (!net.window || !net.initialised) return 0;
  if (mode == 1) {
    for (ListNode* n = net.head.next; n && n != &net.tail;) {
      ListNode* next = n->next;
      const SocketData* d = reinterpret_cast<const SocketData*>(n->data);
      // An accepted connection the peer dropped before the program ever saw its handle
      // would otherwise stay for good: nothing asks for its state.
      const bool unseen = d->accepted && !d->exposed && d->recvRing.length == 0 && d->recvRemaining == 0 &&
                          d->prefixHave == 0;
      if (d->inUse && (d->error || (!d->connected && d->autoClose && (d->lossReported || unseen))))
        CloseNetHandle(n->key);
      n = next;
    }
  }
  PlatNetPoll();
  PlatMsg msg;
  net.socketCallDepth++;
  while (PlatPeekMessage(&msg, net.window, 0, 0, PLAT_PM_REMOVE)) {
    PlatTranslateMessage(&msg);
    PlatDispatchMessage(&msg);
  }
  net.socketCallDepth--;
  return 0;
}

int EndNetwork() {
  if (!net.initialised) return 0;
  WriteLog("ネットワーク関連の終了処理を行います \n");
  // Closing pumps the window, which may still accept a connection into a slot already
  // passed: sweep again until a sweep finds nothing.
  for (bool closed = true; closed;) {
    closed = false;
    for (int32_t slot = 0; slot < NETWORK_SLOT_COUNT; slot++) {
      const int32_t handle = HandleTableHandleAt(&net.table, slot);
      if (handle >= 0 && CloseNetHandle(handle) == 0) closed = true;
    }
  }
  if (net.window) {
    if (PlatPostMessage(net.window, PLAT_WM_CLOSE, 0, 0) && !net.windowDestroyed)
      PumpNetworkMessages(0);
    // Pumped from a thread that does not own it, the window would outlive the layer.
    if (PlatIsWindow(net.window)) PlatDestroyWindow(net.window);
  }
  PlatUnregisterClass(kWindowClass);
  std::memset(&net, 0, sizeof net);
  PlatNetCleanup();
  WriteLog("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

// ---- starting and connecting ---------------------------------------------------------

int InitNetwork() {
  if (net.initialised) return 0;
  if (PlatNetStartup() != 0) return -1;
  const PlatWndClass wc{
      .style = 0, .proc = NetWorkWindowProc, .cursor = PLAT_CURSOR_NONE, .className = kWindowClass};
  PlatRegisterClass(&wc);
  const PlatWnd window = PlatCreateWindow(0, kWindowClass, "", 0, 0, 0, 0, 0);
  if (!window) {
    PlatUnregisterClass(kWindowClass);
    PlatNetCleanup();
    WriteLog("ネットワーク用のウインドウの作成に失敗しました\n");
    return -1;
  }
  HandleTableInit(&net.table, HANDLE_TYPE_NETWORK, net.slots, NETWORK_SLOT_COUNT);
  ListInit(&net.head, &net.tail);
  net.window = window;
  net.windowDestroyed = 0;
  net.initialised = 1;
  return 0;
}

int ListenNetWork(int port) {
  if (!net.initialised || net.slots[NETWORK_LISTEN_SLOT]) return -1;
  PlatSockAddrIn address;
  if (PlatNetMakeAddress("127.0.0.1", port, &address) != 0) return -1;
  SocketData* d = NewRecord(NETWORK_LISTEN_SLOT);
  if (!d) return -1;
  d->socket = PlatNetListen(&address, kListenBacklog);
  if (d->socket == PLAT_INVALID_SOCKET) {
    LogNetworkError("listenに失敗しました");
    UndoRecord(d);
    return -1;
  }
  return CommitRecord(d, NETWORK_LISTEN_SLOT, PLAT_FD_ACCEPT, "WSAAsyncSelectのエラー in ListenNetWork");
}

int ConnectNetWork(const char* ipv4, int port) {
  if (!net.initialised) return -1;
  PlatSockAddrIn address;
  if (PlatNetMakeAddress(ipv4, port, &address) != 0) return -1;
  const int32_t slot = FreeConnectionSlot();
  if (slot < 0) return -1;
  SocketData* d = NewRecord(slot);
  if (!d) return -1;
  d->connected = 0;
  d->exposed = 1;
  d->socket = PlatNetConnect(&address);
  if (d->socket == PLAT_INVALID_SOCKET) {
    LogNetworkError("connectに失敗しました");
    UndoRecord(d);
    return -1;
  }
  return CommitRecord(d, slot, kOutgoingEvents, "WSAAsyncSelectのエラー in ConnectNetWork");
}

int AttachNetWorkSocket(PlatSocket socket) {
  const int32_t slot = net.initialised ? FreeConnectionSlot() : -1;
  SocketData* d = slot < 0 ? nullptr : NewRecord(slot);
  if (!d) {
    PlatNetClose(socket);
    return -1;
  }
  d->socket = socket;
  d->exposed = 1;
  return CommitRecord(d, slot, kConnectionEvents, "WSAAsyncSelectのエラー in AttachNetWorkSocket");
}

int SetNetWorkRawMode(int raw) {
  const int old = net.rawMode;
  net.rawMode = raw ? 1 : 0;
  return old;
}

int SetNetWorkKeepLost(int keep) {
  const int old = net.keepLost;
  net.keepLost = keep ? 1 : 0;
  return old;
}

int GetNewestNetWorkHandle() {
  if (!net.initialised || net.head.next == &net.tail) return -1;
  reinterpret_cast<SocketData*>(net.head.next->data)->exposed = 1;
  return net.head.next->key;
}

int GetNetWorkLocalPort(int handle) {
  const SocketData* d = CheckHandle(handle);
  return d ? PlatNetLocalPort(d->socket) : -1;
}

SocketData* GetSocketData(int handle) { return CheckHandle(handle); }
