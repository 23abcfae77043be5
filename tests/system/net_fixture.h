// The network layer started on the headless window back end, with log capture and a
// leak check, and a plain POSIX peer on 127.0.0.1 to talk to it. Waits are bounded loops
// of pump rounds; a round that finds nothing yields the processor for a moment.
#pragma once

#include "engine/base/memory.h"
#include "engine/system/network.h"
#include "fakes.h"
#include "platform/kernel/kernel.h"
#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

// Pump rounds before a wait gives up (each sleeps about 1 ms when nothing is ready).
constexpr int kMaxRounds = 5000;

// Runs rounds of the network pump until done() holds; false when it never did.
template <class Done>
bool PumpUntil(Done done, int rounds = kMaxRounds) {
  for (int i = 0; i < rounds; i++) {
    PumpNetworkMessages(1);
    if (done()) return true;
    ::poll(nullptr, 0, 1);
  }
  return false;
}

// A connected non-blocking TCP socket to 127.0.0.1:port; receiveBuffer > 0 sets its
// receive buffer first.
inline int ConnectPeer(int port, int receiveBuffer = 0) {
  const int fd = ConnectLoopback(port, receiveBuffer);
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

inline int LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// Sends all of data (the peer's buffers are far larger than what the tests send at once).
inline bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  for (int tries = 0; sent < data.size() && tries < kMaxRounds; tries++) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n > 0) sent += size_t(n);
    else if (n < 0 && errno != EAGAIN) return false;
    else ::poll(nullptr, 0, 1);
  }
  return sent == data.size();
}

// What waits at the socket now.
inline std::string ReadAvailable(int fd) {
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n <= 0) break;
    out.append(buf, size_t(n));
  }
  return out;
}

// A framed message: 4-byte little-endian length and the data.
inline std::string Framed(const std::string& data) {
  const uint32_t n = uint32_t(data.size());
  std::string out{char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
  return out + data;
}

// The network started, the log captured, and at the end nothing of the tracker's left.
class NetworkUp : public ::testing::Test {
 protected:
  int32_t blocksAtStart = 0;

  void SetUp() override {
    ASSERT_EQ(PlatWindowSelectBackend("headless"), 0);
    ResetFakes();
    CaptureLog();
    blocksAtStart = GetTrackedBlockCount();
    ASSERT_EQ(InitNetwork(), 0);
  }

  void TearDown() override {
    EXPECT_EQ(EndNetwork(), 0);
    EXPECT_EQ(GetTrackedBlockCount(), blocksAtStart);
  }
};

// And a listening socket on 127.0.0.1 at a free port.
class NetFixture : public NetworkUp {
 protected:
  int listener = -1;
  int port = 0;

  void SetUp() override {
    NetworkUp::SetUp();
    listener = ListenNetWork(0);
    ASSERT_GE(listener, 0);
    port = GetNetWorkLocalPort(listener);
    ASSERT_GT(port, 0);
  }

  // A peer connected to the listening socket and the engine's handle for it.
  int Accept(int* peer, int receiveBuffer = 0) {
    const int before = GetNewestNetWorkHandle();
    *peer = ConnectPeer(port, receiveBuffer);
    EXPECT_GE(*peer, 0);
    int handle = -1;
    EXPECT_TRUE(PumpUntil([&] {
      handle = GetNewestNetWorkHandle();
      return handle != before;
    }));
    return handle;
  }
};
