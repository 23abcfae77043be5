// Answers an HTTP request with arbitrary bytes: a plain listening socket in the target
// plays the server. The first input byte picks the request (GET, POST or HEAD; into
// memory or a file) and whether the server closes at the end; the rest is cut into
// segments (a size byte, then that many bytes, a size of 0 closing the server there),
// with rounds of the pump's network services between them. The request must finish
// once the server has closed, with a result and detail that belong together, a memory
// body that exists exactly on success, a known length that was met, and nothing leaked.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/system/http.h"
#include "engine/system/network.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_listener = -1;
int g_port = 0;

void Check(bool ok) {
  if (!ok) abort();
}

bool Setup() {
  SetLogOff(1);
  PlatWindowSelectBackend("headless");
  if (InitNetwork() != 0) return false;
  ClearHttpTable();
  g_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(g_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(g_listener, 4) != 0)
    return false;
  socklen_t len = sizeof a;
  getsockname(g_listener, reinterpret_cast<sockaddr*>(&a), &len);
  g_port = ntohs(a.sin_port);
  return true;
}

void Round() {
  PumpNetworkMessages(1);
  StepAllHttpSlots();
}

// Sends what the client's socket takes, running rounds while it is full.
void Serve(int fd, const uint8_t* data, size_t size) {
  for (size_t sent = 0; sent < size;) {
    const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) sent += size_t(n);
    else if (n < 0 && errno != EAGAIN) return;  // the client has gone
    else Round();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = Setup();
  Check(ready);
  if (size < 1) return 0;
  const int32_t blocks = GetTrackedBlockCount();
  const int kind = data[0] % 3;
  const int destination = (data[0] >> 2) & 1;
  const bool closeAtEnd = (data[0] >> 3) & 1;
  const std::string file = PlatTempDirectory() + "/kr_fuzz_http_" + std::to_string(::getpid());
  void* body = nullptr;
  static const char kPost[] = "field=value";
  const int slot = StartHttpRequest(kind, "127.0.0.1", g_port, "/x", destination, file.c_str(), &body, kPost,
                                    int32_t(sizeof kPost - 1));
  Check(slot >= 0);
  int server = -1;
  for (int i = 0; i < 100000 && server < 0; i++) server = ::accept4(g_listener, nullptr, nullptr, SOCK_CLOEXEC);
  Check(server >= 0);

  bool open = true;
  for (size_t at = 1; at < size && open;) {
    size_t n = data[at++];
    if (n == 0) {
      open = false;
      break;
    }
    if (n > size - at) n = size - at;
    Serve(server, data + at, n);
    at += n;
    Round();
  }
  if (open && closeAtEnd) open = false;
  if (!open) ::close(server);
  // Once the server has closed, the request ends within a bounded number of rounds.
  const HttpSlot* s = GetHttpSlot(slot);
  for (int i = 0; i < (open ? 50 : 20000) && s->result == -1; i++) Round();
  if (!open) Check(s->result != -1);
  if (s->result == 0) {
    Check(s->detail == -1);
    if (kind != HTTP_HEAD) {
      Check(s->contentLength < 0 || s->received == s->contentLength);
      if (destination == HTTP_TO_MEMORY) Check(body != nullptr || s->received == 0);
    }
  } else if (s->result == 2) {
    Check(s->detail >= 0 && s->detail <= 3);
    Check(body == nullptr);
  }
  Check(DeleteHttpSlot(slot) == 0);  // a request still running fails and frees its block
  TrackedFree(body);
  if (open) ::close(server);
  for (int i = 0; i < 10; i++) Round();
  ::unlink(file.c_str());
  Check(GetTrackedBlockCount() == blocks);
  return 0;
}
