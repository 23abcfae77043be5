#include "platform/net/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

enum class Kind { Stream, Listener, Connecting, Failed };

struct Sock {
  int fd;
  Kind kind;
  PlatWnd window = 0;
  uint32_t message = 0;
  uint32_t events = 0;
  bool readPending = false;    // FD_READ posted, no receive since
  bool acceptPending = false;  // FD_ACCEPT posted, no accept since
  bool writeArmed = false;     // FD_WRITE is due once the socket can send
  bool closePosted = false;
  bool drained = false;  // closed with nothing left: the read side has nothing more to tell
  uint32_t watched = 0;  // the readiness the epoll set holds for it
};

// Selected sockets sit in an epoll set that watches only for the events still due, so a
// poll costs what is ready, not what is open.
struct NetState {
  std::mutex mu;
  std::map<PlatSocket, Sock> sockets;
  PlatSocket nextId = 0x100;
  int started = 0;
  int epoll = -1;
  std::vector<epoll_event> ready;  // kept from poll to poll, so that a poll allocates nothing
};

NetState& N() {
  static NetState* state = new NetState;
  return *state;
}

thread_local int t_lastError = 0;

int MapErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return PLAT_NET_EINTR;
    case EBADF: return PLAT_NET_ENOTSOCK;
    case EACCES:
    case EPERM: return PLAT_NET_EACCES;
    case EFAULT: return PLAT_NET_EFAULT;
    case EINVAL: return PLAT_NET_EINVAL;
    case EMFILE:
    case ENFILE: return PLAT_NET_EMFILE;
    case EAGAIN: return PLAT_NET_EWOULDBLOCK;
    case EINPROGRESS: return PLAT_NET_EINPROGRESS;
    case EALREADY: return PLAT_NET_EALREADY;
    case ENOTSOCK: return PLAT_NET_ENOTSOCK;
    case EMSGSIZE: return PLAT_NET_EMSGSIZE;
    case EADDRINUSE: return PLAT_NET_EADDRINUSE;
    case EADDRNOTAVAIL: return PLAT_NET_EADDRNOTAVAIL;
    case ENETDOWN: return PLAT_NET_ENETDOWN;
    case ENETUNREACH: return PLAT_NET_ENETUNREACH;
    case ECONNABORTED: return PLAT_NET_ECONNABORTED;
    case ECONNRESET: return PLAT_NET_ECONNRESET;
    case ENOBUFS:
    case ENOMEM: return PLAT_NET_ENOBUFS;
    case EISCONN: return PLAT_NET_EISCONN;
    case ENOTCONN: return PLAT_NET_ENOTCONN;
    case EPIPE:
    case ESHUTDOWN: return PLAT_NET_ESHUTDOWN;
    case ETIMEDOUT: return PLAT_NET_ETIMEDOUT;
    case ECONNREFUSED: return PLAT_NET_ECONNREFUSED;
    case EHOSTUNREACH: return PLAT_NET_EHOSTUNREACH;
    default: return PLAT_NET_EINVAL;
  }
}

int Fail(int error) {
  t_lastError = error;
  return -1;
}
int FailErrno() { return Fail(MapErrno(errno)); }

// The socket's record, or null with the error set.
Sock* Find(NetState& n, PlatSocket socket) {
  if (!n.started) {
    t_lastError = PLAT_NET_NOTINITIALISED;
    return nullptr;
  }
  auto it = n.sockets.find(socket);
  if (it == n.sockets.end()) {
    t_lastError = PLAT_NET_ENOTSOCK;
    return nullptr;
  }
  return &it->second;
}

PlatSocket Add(NetState& n, int fd, Kind kind) {
  PlatSocket id = n.nextId++;
  Sock s{};
  s.fd = fd;
  s.kind = kind;
  n.sockets.emplace(id, s);
  return id;
}

// What the socket's due events need to be told of.
uint32_t Wanted(const Sock& s) {
  if (!s.window || !s.events) return 0;
  uint32_t want = 0;
  switch (s.kind) {
    case Kind::Listener:
      if ((s.events & PLAT_FD_ACCEPT) && !s.acceptPending) want = EPOLLIN;
      break;
    case Kind::Connecting: want = EPOLLOUT; break;
    case Kind::Stream:
      if (!s.drained &&
          (((s.events & PLAT_FD_READ) && !s.readPending) || ((s.events & PLAT_FD_CLOSE) && !s.closePosted)))
        want |= EPOLLIN | EPOLLRDHUP;
      if ((s.events & PLAT_FD_WRITE) && s.writeArmed) want |= EPOLLOUT;
      break;
    case Kind::Failed: break;
  }
  return want;
}

// Brings the epoll set in line with the socket's state.
void Watch(NetState& n, PlatSocket id, Sock& s) {
  const uint32_t want = Wanted(s);
  if (want == s.watched || n.epoll < 0) return;
  epoll_event ev{};
  ev.events = want;
  ev.data.u64 = id;
  const int op = !s.watched ? EPOLL_CTL_ADD : want ? EPOLL_CTL_MOD : EPOLL_CTL_DEL;
  if (epoll_ctl(n.epoll, op, s.fd, &ev) == 0) s.watched = want;
}

int SocketError(int fd) {
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
  return error;
}

void ToSockaddr(const PlatSockAddrIn* a, sockaddr_in* out) {
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = a->port;
  std::memcpy(&out->sin_addr, a->address, 4);
}

void Post(PlatSocket id, const Sock& s, uint32_t event, int error) {
  PlatPostMessage(s.window, s.message, id, PlatLParam((uint32_t(error) << 16) | event));
}

}  // namespace

int PlatNetStartup() {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  if (n.epoll < 0) n.epoll = epoll_create1(EPOLL_CLOEXEC);
  if (n.epoll < 0) return FailErrno();
  n.started++;
  return 0;
}

int PlatNetCleanup() {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  if (!n.started) return Fail(PLAT_NET_NOTINITIALISED);
  if (--n.started == 0) {
    for (auto& [id, s] : n.sockets) ::close(s.fd);
    n.sockets.clear();
    ::close(n.epoll);
    n.epoll = -1;
  }
  return 0;
}

int PlatNetMakeAddress(const char* ipv4, int port, PlatSockAddrIn* out) {
  if (!ipv4 || !out || port < 0 || port > 65535) return Fail(PLAT_NET_EINVAL);
  std::memset(out, 0, sizeof *out);
  in_addr a{};
  if (inet_pton(AF_INET, ipv4, &a) != 1) return Fail(PLAT_NET_EINVAL);
  out->family = AF_INET;
  out->port = htons(uint16_t(port));
  std::memcpy(out->address, &a, 4);
  return 0;
}

PlatSocket PlatNetListen(const PlatSockAddrIn* address, int backlog) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  if (!n.started) return Fail(PLAT_NET_NOTINITIALISED), PLAT_INVALID_SOCKET;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return FailErrno(), PLAT_INVALID_SOCKET;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in sa;
  ToSockaddr(address, &sa);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
    FailErrno();
    ::close(fd);
    return PLAT_INVALID_SOCKET;
  }
  return Add(n, fd, Kind::Listener);
}

PlatSocket PlatNetConnect(const PlatSockAddrIn* address) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  if (!n.started) return Fail(PLAT_NET_NOTINITIALISED), PLAT_INVALID_SOCKET;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return FailErrno(), PLAT_INVALID_SOCKET;
  sockaddr_in sa;
  ToSockaddr(address, &sa);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS) {
    FailErrno();
    ::close(fd);
    return PLAT_INVALID_SOCKET;
  }
  // Even a connect that completed at once is reported through FD_CONNECT.
  return Add(n, fd, Kind::Connecting);
}

int PlatNetSocketPair(PlatSocket pair[2]) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  if (!n.started) return Fail(PLAT_NET_NOTINITIALISED);
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return FailErrno();
  pair[0] = Add(n, fds[0], Kind::Stream);
  pair[1] = Add(n, fds[1], Kind::Stream);
  return 0;
}

int PlatNetLocalPort(PlatSocket socket) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return -1;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(s->fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0 || sa.sin_family != AF_INET)
    return FailErrno();
  return ntohs(sa.sin_port);
}

PlatSocket PlatNetAccept(PlatSocket socket, PlatSockAddrIn* peer) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return PLAT_INVALID_SOCKET;
  if (s->kind != Kind::Listener) return Fail(PLAT_NET_EINVAL), PLAT_INVALID_SOCKET;
  s->acceptPending = false;
  Watch(n, socket, *s);
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  int fd = ::accept4(s->fd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return FailErrno(), PLAT_INVALID_SOCKET;
  if (peer) {
    std::memset(peer, 0, sizeof *peer);
    peer->family = AF_INET;
    peer->port = sa.sin_port;
    std::memcpy(peer->address, &sa.sin_addr, 4);
  }
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return Add(n, fd, Kind::Stream);
}

int PlatNetClose(PlatSocket socket) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return -1;
  ::close(s->fd);
  n.sockets.erase(socket);
  return 0;
}

int PlatNetRecv(PlatSocket socket, void* buffer, int length, int flags) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return -1;
  s->readPending = false;  // any receive answers the last FD_READ
  Watch(n, socket, *s);
  if (length < 0 || (length > 0 && !buffer)) return Fail(PLAT_NET_EFAULT);
  if (s->kind != Kind::Stream) return Fail(PLAT_NET_ENOTCONN);
  ssize_t got = ::recv(s->fd, buffer, size_t(length), (flags & PLAT_MSG_PEEK) ? MSG_PEEK : 0);
  if (got < 0) return FailErrno();
  return int(got);
}

int PlatNetRecvScatter(PlatSocket socket, const PlatNetSpan* spans, int count) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return -1;
  s->readPending = false;
  Watch(n, socket, *s);
  if (count < 0 || count > PLAT_NET_MAX_SPANS || (count > 0 && !spans)) return Fail(PLAT_NET_EFAULT);
  iovec pieces[PLAT_NET_MAX_SPANS];
  for (int i = 0; i < count; i++) {
    if (spans[i].length < 0 || (spans[i].length > 0 && !spans[i].bytes)) return Fail(PLAT_NET_EFAULT);
    pieces[i] = iovec{spans[i].bytes, size_t(spans[i].length)};
  }
  if (s->kind != Kind::Stream) return Fail(PLAT_NET_ENOTCONN);
  msghdr m{};
  m.msg_iov = pieces;
  m.msg_iovlen = size_t(count);
  const ssize_t got = ::recvmsg(s->fd, &m, 0);
  if (got < 0) return FailErrno();
  return int(got);
}

int PlatNetSend(PlatSocket socket, const void* buffer, int length, int) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return -1;
  if (length < 0 || (length > 0 && !buffer)) return Fail(PLAT_NET_EFAULT);
  if (s->kind != Kind::Stream) return Fail(PLAT_NET_ENOTCONN);
  ssize_t sent = ::send(s->fd, buffer, size_t(length), MSG_NOSIGNAL);
  if (sent < 0) {
    const int error = errno;
    if (error == EAGAIN) {
      s->writeArmed = true;
      Watch(n, socket, *s);
    }
    return Fail(MapErrno(error));
  }
  return int(sent);
}

int PlatNetGetLastError() { return t_lastError; }

int PlatNetAsyncSelect(PlatSocket socket, PlatWnd window, uint32_t message, uint32_t events) {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  Sock* s = Find(n, socket);
  if (!s) return -1;
  s->window = events ? window : 0;
  s->message = message;
  s->events = events;
  s->readPending = false;
  s->acceptPending = false;
  s->writeArmed = s->kind == Kind::Stream;
  Watch(n, socket, *s);
  return 0;
}

int PlatNetPoll() {
  NetState& n = N();
  std::lock_guard<std::mutex> l(n.mu);
  if (!n.started || n.epoll < 0) return 0;
  std::vector<epoll_event>& ready = n.ready;
  if (ready.size() < n.sockets.size() + 1) ready.resize(n.sockets.size() + 1);
  const int count = epoll_wait(n.epoll, ready.data(), int(n.sockets.size() + 1), 0);
  int posted = 0;
  for (int i = 0; i < count; i++) {
    const PlatSocket id = ready[size_t(i)].data.u64;
    const uint32_t got = ready[size_t(i)].events;
    auto it = n.sockets.find(id);
    if (it == n.sockets.end()) continue;
    Sock& s = it->second;
    if (s.kind == Kind::Listener) {
      if (got & EPOLLIN) {
        Post(id, s, PLAT_FD_ACCEPT, 0);
        s.acceptPending = true;
        posted++;
      }
    } else if (s.kind == Kind::Connecting) {
      const int error = MapErrno(SocketError(s.fd));
      s.kind = error ? Kind::Failed : Kind::Stream;
      if (s.events & PLAT_FD_CONNECT) Post(id, s, PLAT_FD_CONNECT, error), posted++;
      if (!error && (s.events & PLAT_FD_WRITE)) Post(id, s, PLAT_FD_WRITE, 0), posted++;
      if (!error) {
        int on = 1;
        setsockopt(s.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      }
    } else if (s.kind == Kind::Stream) {
      // Data first, then the close, then room to send.
      int waiting = 0;
      if (ioctl(s.fd, FIONREAD, &waiting) != 0) waiting = 0;
      if ((got & EPOLLIN) && waiting > 0 && (s.events & PLAT_FD_READ) && !s.readPending) {
        Post(id, s, PLAT_FD_READ, 0);
        s.readPending = true;
        posted++;
      }
      bool closed = false;
      int error = 0;
      if (got & EPOLLERR) {
        closed = true;
        error = MapErrno(SocketError(s.fd));
      } else if (got & (EPOLLRDHUP | EPOLLHUP)) {
        closed = true;
      } else if ((got & EPOLLIN) && waiting == 0) {
        char c;
        const ssize_t r = ::recv(s.fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r == 0) closed = true;
        else if (r < 0 && errno != EAGAIN) closed = true, error = MapErrno(errno);
      }
      if (closed && (s.events & PLAT_FD_CLOSE) && !s.closePosted) {
        Post(id, s, PLAT_FD_CLOSE, error);
        s.closePosted = true;
        posted++;
      }
      if (closed && waiting == 0) s.drained = true;
      if ((got & EPOLLOUT) && s.writeArmed && (s.events & PLAT_FD_WRITE)) {
        Post(id, s, PLAT_FD_WRITE, 0);
        s.writeArmed = false;
        posted++;
      }
    }
    Watch(n, id, s);
  }
  return posted;
}
