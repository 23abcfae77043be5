// TCP sockets with window-message notification.
//
// Sockets are non-blocking. A socket selected for events (PlatNetAsyncSelect) has them
// posted to a window as its message: wParam the socket, lParam the event in the low 16
// bits and an error number in the high 16 bits. Readiness is looked at only when the
// owner calls PlatNetPoll (the engine's network service does, from the message pump);
// each event is posted once and armed again by the call that answers it:
//   PLAT_FD_READ    data waits; again after any receive (peek included) while data remains.
//   PLAT_FD_WRITE   the socket can send: after the selection of a connected socket, after
//                   a connect, and after a send that would have blocked.
//   PLAT_FD_ACCEPT  a connection waits at a listening socket; again after each accept
//                   while connections wait.
//   PLAT_FD_CONNECT a connect ended (error 0: connected).
//   PLAT_FD_CLOSE   the peer closed or reset the connection; once. Data still waiting is
//                   announced by PLAT_FD_READ first and stays readable.
//
// Socket values are never reused while the process runs, so a message still queued for a
// closed socket names no live socket. Errors are reported through PlatNetGetLastError as
// the numbers below.
#pragma once

#include "platform/window/window.h"

#include <cstdint>

typedef uintptr_t PlatSocket;
constexpr PlatSocket PLAT_INVALID_SOCKET = ~PlatSocket(0);

enum : uint32_t {
  PLAT_FD_READ = 0x01,
  PLAT_FD_WRITE = 0x02,
  PLAT_FD_OOB = 0x04,
  PLAT_FD_ACCEPT = 0x08,
  PLAT_FD_CONNECT = 0x10,
  PLAT_FD_CLOSE = 0x20,
};

// PlatNetRecv flags.
enum : int { PLAT_MSG_PEEK = 0x2 };

// Error numbers.
enum : int {
  PLAT_NET_EINTR = 10004,
  PLAT_NET_EBADF = 10009,
  PLAT_NET_EACCES = 10013,
  PLAT_NET_EFAULT = 10014,
  PLAT_NET_EINVAL = 10022,
  PLAT_NET_EMFILE = 10024,
  PLAT_NET_EWOULDBLOCK = 10035,
  PLAT_NET_EINPROGRESS = 10036,
  PLAT_NET_EALREADY = 10037,
  PLAT_NET_ENOTSOCK = 10038,
  PLAT_NET_EMSGSIZE = 10040,
  PLAT_NET_EADDRINUSE = 10048,
  PLAT_NET_EADDRNOTAVAIL = 10049,
  PLAT_NET_ENETDOWN = 10050,
  PLAT_NET_ENETUNREACH = 10051,
  PLAT_NET_ECONNABORTED = 10053,
  PLAT_NET_ECONNRESET = 10054,
  PLAT_NET_ENOBUFS = 10055,
  PLAT_NET_EISCONN = 10056,
  PLAT_NET_ENOTCONN = 10057,
  PLAT_NET_ESHUTDOWN = 10058,
  PLAT_NET_ETIMEDOUT = 10060,
  PLAT_NET_ECONNREFUSED = 10061,
  PLAT_NET_EHOSTUNREACH = 10065,
  PLAT_NET_NOTINITIALISED = 10093,
};

// An IPv4 address as the socket calls give it: 16 bytes, port and address in network
// byte order.
struct PlatSockAddrIn {
  uint16_t family;  // 2
  uint16_t port;
  uint8_t address[4];
  uint8_t zero[8];
};
static_assert(sizeof(PlatSockAddrIn) == 16, "the address record is 16 bytes");

// Counted: every start needs a clean-up. The last clean-up closes every socket still open.
// Both 0; every other call fails (PLAT_NET_NOTINITIALISED) while the layer is not started.
int PlatNetStartup();
int PlatNetCleanup();

// A dotted IPv4 address and a port (host order) as an address record; 0, or -1 when the
// text is not such an address.
int PlatNetMakeAddress(const char* ipv4, int port, PlatSockAddrIn* out);

// A socket bound to the address and listening; PLAT_INVALID_SOCKET on failure.
PlatSocket PlatNetListen(const PlatSockAddrIn* address, int backlog);
// Starts connecting to the address; the outcome arrives as PLAT_FD_CONNECT once the
// socket is selected for it. PLAT_INVALID_SOCKET on failure.
PlatSocket PlatNetConnect(const PlatSockAddrIn* address);
// A connected pair of local stream sockets (for tests of the receiving side); 0 / -1.
int PlatNetSocketPair(PlatSocket pair[2]);
// The port (host order) the socket is bound to, or -1.
int PlatNetLocalPort(PlatSocket socket);

// Takes one waiting connection; the peer's address goes to peer (may be null).
// PLAT_INVALID_SOCKET on failure (PLAT_NET_EWOULDBLOCK when none waits).
PlatSocket PlatNetAccept(PlatSocket socket, PlatSockAddrIn* peer);
// 0, or -1.
int PlatNetClose(PlatSocket socket);
// Bytes received (0 once the peer has closed and nothing is left), or -1.
int PlatNetRecv(PlatSocket socket, void* buffer, int length, int flags);
// One receive into several pieces of memory, filled in order: as PlatNetRecv into their
// concatenation. At most PLAT_NET_MAX_SPANS pieces.
struct PlatNetSpan {
  void* bytes;
  int length;
};
enum : int { PLAT_NET_MAX_SPANS = 32 };
int PlatNetRecvScatter(PlatSocket socket, const PlatNetSpan* spans, int count);
// Bytes sent (possibly fewer than asked), or -1.
int PlatNetSend(PlatSocket socket, const void* buffer, int length, int flags);
// The error of the calling thread's last failed call.
int PlatNetGetLastError();

// Posts the events of the mask to the window as message; a mask of 0 posts nothing more.
// Every event is armed afresh. 0, or -1.
int PlatNetAsyncSelect(PlatSocket socket, PlatWnd window, uint32_t message, uint32_t events);
// Looks at every selected socket once and posts the events that are due; never waits.
// Returns how many messages were posted.
int PlatNetPoll();
