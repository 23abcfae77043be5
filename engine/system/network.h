// Network handles: TCP connections as engine handles of kind 0x48000000, driven by the
// socket message (1285) posted to the network window.
//
// A connection is framed (the default) or raw. Framed data travels as messages, each a
// 4-byte little-endian length and that many bytes; what NetWorkSend queues goes out as
// one message when the socket can take it, and received data counts as available once
// its whole message has arrived. Raw writes go straight to the socket and raw reads take
// what has arrived as it stands (HTTP uses these). On a framed connection what the socket
// holds is moved into the receive ring as it arrives, up to NETWORK_MAX_BUFFERED, at most
// a mebibyte each time the socket is served, so a peer that floods never holds one pump
// for long; a raw connection's ring keeps only a small share ahead of the reads, and a
// read larger than that share takes the rest straight from the socket.
//
// Until InitNetwork has run, every operation refuses (-1; 0 for PumpNetworkMessages and
// EndNetwork).
#pragma once

#include "engine/base/list.h"
#include "engine/base/ring.h"
#include "platform/net/net.h"

#include <cstdint>

enum : int32_t {
  NETWORK_SLOT_COUNT = 4097,   // slots 0-4095 connections, 4096 the listening socket
  NETWORK_LISTEN_SLOT = 4096,
  // The largest framed message either side accepts: a longer length from a peer puts the
  // connection in error, and longer queued data leaves as several messages.
  NETWORK_MAX_MESSAGE = 16 << 20,
  // The most either ring of a connection holds: a largest message and one more. A
  // receive ring that is full takes nothing more from the socket until the program
  // reads; a send that would pass it is refused.
  NETWORK_MAX_BUFFERED = 2 * NETWORK_MAX_MESSAGE,
};

// The check value comes first: the generic handle table validates through it.
struct SocketData {
  uint32_t check;
  int32_t inUse;
  int32_t error;         // the receive side failed; every operation refuses the handle
  int32_t connected;     // 1 while the connection stands
  int32_t lossReported;  // GetNetWorkAcceptState has reported the loss
  int32_t framed;        // NetWorkRawMode was 0 as the connection was made
  int32_t autoClose;     // NetWorkKeepLost was 0 as the connection was made
  PlatSocket socket;
  int32_t recvRemaining;  // bytes of the incoming message still to come; 0 awaits a length
  RingBuffer recvRing;
  int32_t currentLength;  // length of the message being received
  int32_t dataLength;     // bytes of complete messages not yet read
  RingBuffer sendRing;
  int32_t sendRemaining;  // bytes of the outgoing message still to send (its length at start)
  int32_t lengthBytesRemaining;  // bytes of that message's 4-byte length not yet sent
  uint8_t peerAddress[4];  // network byte order
  uint32_t peerPort;       // network byte order
  ListNode node;           // key the handle, data the record
  int32_t connectFailed;   // an outgoing connect ended in an error
  uint8_t prefix[4];       // the incoming message's length, as far as it has come
  int32_t prefixHave;      // bytes of it so far
  // A connection's own re-entry guards, and an event that came while one was held: the
  // call that holds it goes round again, so the event is never lost.
  int32_t recvBusy, sendBusy;
  int32_t recvAgain, sendAgain;
  int32_t accepted;  // made by an accept
  int32_t exposed;   // its handle has been given to the program
};

// ---- the operations -----------------------------------------------------------------

// Move data between the socket and the rings of a framed connection; 0, or -1.
int RecvSocket(int handle);
int SendSocket(int handle);
// Accepts one waiting connection from the listening socket; 1, or -1. The accept event
// takes every waiting connection (as far as the table has slots), with this result for
// the first.
int AcceptNetWork();
// Socket message 1285: the socket, and the event (low 16 bits) with its error (high 16
// bits). The window procedures return the result.
int OnSocketEvent(uintptr_t socket, uint32_t eventWord);
// 1 while connected, 0 when not (the loss is then reported), -1 for a bad handle.
int GetNetWorkAcceptState(int handle);
// Framed: 0 when length bytes were taken (or, peeking, copied), -1 when fewer are stored.
// Raw: like a socket receive: the count taken (what has arrived, up to length), 0 once
// the peer has closed and nothing is left, -1 while nothing waits.
int NetWorkRecv(int handle, void* buffer, int length);
int NetWorkRecvToPeek(int handle, void* buffer, int length);
// Framed: 0 when queued, -1 when the queue cannot grow. Raw: the socket's send result.
// -1 when not connected.
int NetWorkSend(int handle, const void* data, int length);
// Framed: bytes of complete messages waiting. Raw: 1 when a byte waits, 0 when the peer
// has closed and nothing is left, else negative.
int GetNetWorkDataLength(int handle);
// Takes one line ending in a line feed into line (256 bytes at least; the line feed is
// not stored, a carriage return before it is, and so is a NUL byte); 0, or -1 when no
// whole line waits.
int NetWorkRecvLine(int handle, char* line);
// The same, giving the line's length (up to the line feed, NUL bytes counted), or -1.
int NetWorkRecvLineLength(int handle, char* line);
// Sends what is queued (for at most 1000 ms while the connection stands), then closes;
// 0, or -1. What has arrived is dropped, and a message still arriving is not waited for.
int CloseNetHandle(int handle);
// Dispatches the network window's messages; mode 1 first closes connections in error,
// lost connections that close by themselves, and accepted connections that closed with
// nothing unread before the program ever saw their handle. Always 0.
int PumpNetworkMessages(int mode);
// Closes every connection and the network window; 0.
int EndNetwork();
// Writes "ネットワークログ。<text>[<last socket error>]" to the log; -1.
int LogNetworkError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- starting and connecting (inside the engine) ------------------------------------

// Starts the socket layer and makes the network window on the calling thread; 0, or -1.
// 0 at once when the network is already up.
int InitNetwork();
// Listens on 127.0.0.1 at port (0: any free port); the listening handle, or -1.
int ListenNetWork(int port);
// Starts a connection to a dotted IPv4 address; the handle (connected once the connect
// event has come), or -1.
int ConnectNetWork(const char* ipv4, int port);
// Makes a connected connection of an open socket, which the handle then owns; the
// handle, or -1 (the socket is then closed).
int AttachNetWorkSocket(PlatSocket socket);
// The settings new connections take: raw (1) or framed (0); kept after a loss (1) or
// closed by the next pump once the loss was reported (0). Both 0 by default; each
// returns the setting it replaces.
int SetNetWorkRawMode(int raw);
int SetNetWorkKeepLost(int keep);
// The newest connection (the first of the network list), or -1.
int GetNewestNetWorkHandle();
// The port a handle's socket is bound to, or -1.
int GetNetWorkLocalPort(int handle);
// The record of a valid handle, or null.
SocketData* GetSocketData(int handle);
