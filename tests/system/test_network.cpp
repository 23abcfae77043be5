#include "engine/base/handle.h"
#include "engine/system/network.h"
#include "net_fixture.h"

#include <sys/resource.h>

#include <filesystem>

#include <string>
#include <vector>

namespace {

using Network = NetFixture;

// Bytes waiting at the engine's side of the connection, not yet taken by the engine.
int WaitingAtEngine(int handle) {
  char buf[64];
  return PlatNetRecv(GetSocketData(handle)->socket, buf, sizeof buf, PLAT_MSG_PEEK);
}

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; i++) s[i] = char((i * 7 + size_t(seed)) & 0xFF);
  return s;
}

std::string Recv(int handle, int n) {
  std::string out(size_t(n), '\0');
  EXPECT_EQ(NetWorkRecv(handle, out.data(), n), 0);
  return out;
}

TEST_F(Network, AcceptKeepsThePeerAndTheNewestRecordComesFirst) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_GE(h, 0);
  EXPECT_EQ(uint32_t(h) & 0x78000000u, 0x48000000u);
  const SocketData* d = GetSocketData(h);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->connected, 1);
  EXPECT_EQ(d->framed, 1);
  EXPECT_EQ(d->autoClose, 1);
  EXPECT_EQ(std::vector<int>(d->peerAddress, d->peerAddress + 4), (std::vector<int>{127, 0, 0, 1}));
  EXPECT_EQ(ntohs(uint16_t(d->peerPort)), LocalPort(peer));
  EXPECT_EQ(GetNetWorkAcceptState(h), 1);
  // The handle of another kind or with another check value is refused.
  EXPECT_EQ(GetNetWorkAcceptState(h ^ 0x00010000), -1);
  EXPECT_EQ(GetNetWorkAcceptState((h & 0x07FFFFFF) | 0x50000000), -1);
  ::close(peer);
}

// A length split over segments: the engine takes what came (nothing stays in the socket
// to stall the connection) and the message counts only once whole.
TEST_F(Network, ALengthSplitOverSegmentsIsTakenAsItComesAndCountsOnlyWhenWhole) {
  int peer;
  const int h = Accept(&peer);
  const std::string message = Framed("hello");
  for (size_t first : {1u, 2u, 3u}) {
    SCOPED_TRACE(first);
    ASSERT_TRUE(SendAll(peer, message.substr(0, first)));
    ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->prefixHave == int32_t(first); }));
    EXPECT_EQ(WaitingAtEngine(h), -1);  // taken from the socket
    EXPECT_EQ(GetNetWorkDataLength(h), 0);
    EXPECT_EQ(GetSocketData(h)->recvRemaining, 0);

    ASSERT_TRUE(SendAll(peer, message.substr(first)));
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 5; }));
    EXPECT_EQ(Recv(h, 5), "hello");
    EXPECT_EQ(GetNetWorkDataLength(h), 0);
  }
  ::close(peer);
}

TEST_F(Network, AnEmptyMessageCompletesAtOnceAndAddsNothing) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_TRUE(SendAll(peer, Framed("")));
  ASSERT_TRUE(PumpUntil([&] { return WaitingAtEngine(h) < 0; }));  // taken from the socket
  EXPECT_EQ(GetNetWorkDataLength(h), 0);
  EXPECT_EQ(GetSocketData(h)->recvRemaining, 0);

  // Empty messages between others change nothing either.
  ASSERT_TRUE(SendAll(peer, Framed("") + Framed("ab") + Framed("") + Framed("c")));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 3; }));
  EXPECT_EQ(Recv(h, 3), "abc");
  ::close(peer);
}

TEST_F(Network, AMessageWrappingTheRingIsStoredWholeAndInOrder) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_TRUE(SendAll(peer, Framed(Pattern(600, 1))));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 600; }));
  // One byte stays, so the next message is stored behind it rather than at the front.
  EXPECT_EQ(Recv(h, 599), Pattern(600, 1).substr(0, 599));
  const RingBuffer& ring = GetSocketData(h)->recvRing;
  ASSERT_EQ(ring.capacity, 1600);
  ASSERT_EQ(ring.writePos, 600);

  // 1500 bytes from position 600 of a 1600-byte ring: 1000 at the end, 500 at the start.
  ASSERT_TRUE(SendAll(peer, Framed(Pattern(1500, 2))));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 1501; }));
  EXPECT_EQ(ring.capacity, 1600);
  EXPECT_EQ(ring.writePos, 500);
  EXPECT_EQ(Recv(h, 1501), Pattern(600, 1).substr(599) + Pattern(1500, 2));
  ::close(peer);
}

// Streams of messages whose lengths differ from what a receive expects after the last
// one, sent whole or cut into pieces that each arrive before the next is sent: every byte
// reaches the ring once, in order, and counts once its message is whole.
struct StreamCase {
  const char* name;
  std::vector<int> lengths;
  size_t piece;  // 0: the whole stream at once
};

TEST_F(Network, EveryStreamShapeArrivesWholeAndInOrder) {
  const std::vector<int> small = [] {
    std::vector<int> v;
    for (int i = 0; i < 300; i++) v.push_back(i % 37);  // empty ones among them
    return v;
  }();
  const StreamCase cases[] = {
      {"many small messages", small, 0},
      {"many small messages, three bytes at a time", {5, 0, 9, 1, 2, 3, 0, 0, 40}, 3},
      {"alike large messages", {20000, 20000, 20000, 20000, 20000, 20000}, 0},
      {"a longer one among alike", {20000, 20000, 30000, 20000, 20000}, 0},
      {"a shorter one among alike", {20000, 20000, 17000, 20000, 20000}, 0},
      {"small ones behind large", {40000, 40000, 7, 0, 12, 40000, 3}, 0},
      {"large ones cut inside lengths and data", {20000, 20000, 20001, 19999, 20000}, 4099},
      {"cut one byte after each length", {16384, 16384, 16384, 5}, 16389},
  };
  for (const StreamCase& c : cases) {
    SCOPED_TRACE(c.name);
    int peer;
    const int h = Accept(&peer);
    std::string stream, data;
    int seed = 0;
    for (int length : c.lengths) {
      const std::string message = Pattern(size_t(length), ++seed);
      stream += Framed(message);
      data += message;
    }
    const size_t piece = c.piece ? c.piece : stream.size();
    // A connection put in error by a misread length is gone after the pump.
    const auto taken = [&] { return !GetSocketData(h) || WaitingAtEngine(h) < 0; };
    for (size_t at = 0; at < stream.size(); at += piece) {
      ASSERT_TRUE(SendAll(peer, stream.substr(at, piece)));
      ASSERT_TRUE(PumpUntil(taken));
    }
    const SocketData* d = GetSocketData(h);
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return d->dataLength == int32_t(data.size()); }));
    EXPECT_EQ(d->recvRing.length, int32_t(data.size()));
    EXPECT_EQ(d->recvRemaining, 0);
    EXPECT_TRUE(Recv(h, int(data.size())) == data);
    ::close(peer);
    CloseNetHandle(h);
  }
}

TEST_F(Network, OverAskingTakesNothingAndPeekingKeepsTheDataLength) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_TRUE(SendAll(peer, Framed("hello")));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 5; }));
  char buf[16] = {};
  EXPECT_EQ(NetWorkRecv(h, buf, 6), -1);
  EXPECT_EQ(GetNetWorkDataLength(h), 5);
  EXPECT_EQ(NetWorkRecvToPeek(h, buf, 5), 0);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_EQ(GetNetWorkDataLength(h), 5);
  EXPECT_EQ(NetWorkRecvToPeek(h, buf, -1), -1);
  EXPECT_EQ(NetWorkRecv(h, buf, -1), -1);
  EXPECT_EQ(Recv(h, 5), "hello");

  // Bytes of a message still arriving can be taken; the data length then stays below 0
  // until the message is complete.
  const std::string partial = Framed("0123456789");
  ASSERT_TRUE(SendAll(peer, partial.substr(0, 8)));
  ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->recvRing.length == 4; }));
  EXPECT_EQ(Recv(h, 3), "012");
  EXPECT_EQ(GetNetWorkDataLength(h), -3);
  ASSERT_TRUE(SendAll(peer, partial.substr(8)));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 7; }));
  EXPECT_EQ(Recv(h, 7), "3456789");
  ::close(peer);
}

// Parses a stream of framed messages; false when it ends inside one.
bool ParseMessages(const std::string& stream, std::vector<std::string>* messages) {
  size_t at = 0;
  while (at + 4 <= stream.size()) {
    const uint32_t n = uint32_t(uint8_t(stream[at])) | uint32_t(uint8_t(stream[at + 1])) << 8 |
                       uint32_t(uint8_t(stream[at + 2])) << 16 | uint32_t(uint8_t(stream[at + 3])) << 24;
    if (at + 4 + n > stream.size()) return false;
    messages->push_back(stream.substr(at + 4, n));
    at += 4 + n;
  }
  return at == stream.size();
}

TEST_F(Network, SendsQueuedWhileTheSocketCannotWriteTravelAsOneMessage) {
  int peer;
  const int h = Accept(&peer, 4096);
  const SocketData* d = GetSocketData(h);
  // Fill the connection until the engine has to keep data back.
  std::string sent;
  const std::string chunk = Pattern(65536, 3);
  for (int i = 0; i < 2000 && d->sendRing.length == 0; i++) {
    ASSERT_EQ(NetWorkSend(h, chunk.data(), int(chunk.size())), 0);
    sent += chunk;
  }
  ASSERT_GT(d->sendRing.length, 0);
  ASSERT_EQ(NetWorkSend(h, "abc", 3), 0);
  ASSERT_EQ(NetWorkSend(h, "defg", 4), 0);
  sent += "abcdefg";

  // The peer drains; each FD_WRITE lets the engine send on.
  std::string stream;
  ASSERT_TRUE(PumpUntil([&] {
    stream += ReadAvailable(peer);
    return stream.size() >= sent.size() + 4 && d->sendRing.length == 0;
  }));
  stream += ReadAvailable(peer);
  std::vector<std::string> messages;
  ASSERT_TRUE(ParseMessages(stream, &messages));
  std::string data;
  for (const std::string& m : messages) data += m;
  EXPECT_EQ(data, sent);
  ASSERT_GE(messages.back().size(), 7u);
  EXPECT_EQ(messages.back().substr(messages.back().size() - 7), "abcdefg");
  ::close(peer);
}

TEST_F(Network, TwoEngineConnectionsExchangeMessagesBothWays) {
  const int out = ConnectNetWork("127.0.0.1", port);
  ASSERT_GE(out, 0);
  EXPECT_EQ(GetSocketData(out)->connected, 0);  // until the connect event
  int in = -1;
  ASSERT_TRUE(PumpUntil([&] {
    in = GetNewestNetWorkHandle();
    return in != out && GetNetWorkAcceptState(out) == 1;
  }));
  ASSERT_EQ(NetWorkSend(out, "ping", 4), 0);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(in) == 4; }));
  EXPECT_EQ(Recv(in, 4), "ping");
  ASSERT_EQ(NetWorkSend(in, "pong!", 5), 0);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(out) == 5; }));
  EXPECT_EQ(Recv(out, 5), "pong!");
  EXPECT_EQ(CloseNetHandle(out), 0);
  EXPECT_TRUE(PumpUntil([&] { return GetNetWorkAcceptState(in) == -1; }));  // lost, closed
}

class PeerClose : public NetFixture, public ::testing::WithParamInterface<int> {};

TEST_P(PeerClose, TheLossIsReportedThenTheHandleClosesUnlessKept) {
  const int keepLost = GetParam();
  SetNetWorkKeepLost(keepLost);
  int peer;
  const int h = Accept(&peer);
  EXPECT_EQ(GetSocketData(h)->autoClose, keepLost ? 0 : 1);
  ASSERT_TRUE(SendAll(peer, Framed("bye")));
  ::close(peer);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkAcceptState(h) == 0; }));
  EXPECT_EQ(GetSocketData(h)->lossReported, 1);
  EXPECT_EQ(GetNetWorkDataLength(h), 3);  // what came before the close is kept

  PumpNetworkMessages(1);
  if (keepLost) {
    EXPECT_EQ(GetNetWorkAcceptState(h), 0);
    EXPECT_EQ(Recv(h, 3), "bye");
    EXPECT_EQ(CloseNetHandle(h), 0);
  }
  EXPECT_EQ(GetSocketData(h), nullptr);
  EXPECT_EQ(GetNetWorkAcceptState(h), -1);
  EXPECT_EQ(CloseNetHandle(h), -1);
}

INSTANTIATE_TEST_SUITE_P(KeepLost, PeerClose, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "Kept" : "ClosedAtOnce"; });

class BadLength : public NetFixture, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(BadLength, PutsTheConnectionInErrorWithoutSizingAnything) {
  int peer;
  const int h = Accept(&peer);
  const int32_t blocks = GetTrackedBlockCount();
  const uint32_t n = GetParam();
  ASSERT_TRUE(SendAll(peer, std::string{char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF),
                                        char(n >> 24)} + "data"));
  ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->error == 1; }));
  EXPECT_EQ(GetTrackedBlockCount(), blocks);  // no ring storage taken
  EXPECT_TRUE(LogHas("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ " +
                     std::to_string(int32_t(n)) + " byte)"));
  char buf[4];
  EXPECT_EQ(NetWorkRecv(h, buf, 1), -1);
  EXPECT_TRUE(LogHas("このネットワークハンドルにはエラーが発生しています in NetWorkRecv"));
  EXPECT_EQ(GetNetWorkAcceptState(h), -1);
  EXPECT_TRUE(LogHas("このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh"));
  EXPECT_EQ(NetWorkSend(h, "x", 1), -1);
  PumpNetworkMessages(1);  // a connection in error is closed
  EXPECT_EQ(GetSocketData(h), nullptr);
  ::close(peer);
}

INSTANTIATE_TEST_SUITE_P(Lengths, BadLength,
                         ::testing::Values(uint32_t(NETWORK_MAX_MESSAGE) + 1, 0x80000000u, 0xFFFFFFFFu),
                         [](const auto& info) {
                           return info.param == 0x80000000u   ? "TopBitSet"
                                  : info.param == 0xFFFFFFFFu ? "AllBitsSet"
                                                              : "OneOverTheLargest";
                         });

TEST_F(Network, EverySlotInUseRefusesAConnectionWhichStaysQueued) {
  // Two descriptors a connection, and some to spare.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  if (files.rlim_cur < 8400 && files.rlim_max >= 8400) {
    files.rlim_cur = 8400;
    setrlimit(RLIMIT_NOFILE, &files);
  }
  if (files.rlim_cur < 8400) GTEST_SKIP() << "needs 8400 open files";
  // The check counter gave 0 to the listening socket; connections continue from 1 and
  // wrap after 2047.
  std::vector<PlatSocket> peers;
  std::vector<int> handles;
  for (int i = 0; i < 4096; i++) {
    PlatSocket pair[2];
    ASSERT_EQ(PlatNetSocketPair(pair), 0) << "connection " << i;
    const int h = AttachNetWorkSocket(pair[0]);
    ASSERT_GE(h, 0);
    ASSERT_EQ(HandleSlot(h), i);
    ASSERT_EQ(GetSocketData(h)->check, uint32_t((i + 1) % 2048));
    handles.push_back(h);
    peers.push_back(pair[1]);
  }
  int peer = ConnectPeer(port);
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(PumpUntil([&] { return LogHas("空きソケットデータがなかったので accept を拒否しました "); }));
  EXPECT_EQ(GetNewestNetWorkHandle(), handles.back());

  // A freed slot takes the waiting connection at the next accept.
  ASSERT_EQ(CloseNetHandle(handles[5]), 0);
  EXPECT_EQ(AcceptNetWork(), 1);
  const int h = GetNewestNetWorkHandle();
  EXPECT_EQ(HandleSlot(h), 5);
  ASSERT_TRUE(SendAll(peer, Framed("late")));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 4; }));
  ::close(peer);
  for (PlatSocket s : peers) PlatNetClose(s);
}

TEST_F(Network, AnEventForASocketNoRecordHoldsIsLogged) {
  EXPECT_EQ(OnSocketEvent(PLAT_INVALID_SOCKET, PLAT_FD_READ), 0);
  EXPECT_TRUE(LogHas("通信エラー No.1"));
}

TEST_F(Network, RawLinesEndAtALineFeedAndKeepTheCarriageReturn) {
  SetNetWorkRawMode(1);
  int peer;
  const int h = Accept(&peer);
  EXPECT_EQ(GetNetWorkDataLength(h), -1);  // nothing waits yet
  ASSERT_TRUE(SendAll(peer, "line one\r\nrest"));
  ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->recvRing.length == 14; }));
  EXPECT_EQ(WaitingAtEngine(h), -1);  // nothing of a line waits in the socket
  EXPECT_EQ(GetNetWorkDataLength(h), 1);
  char line[256];
  ASSERT_EQ(NetWorkRecvLine(h, line), 0);
  EXPECT_EQ(std::string(line), "line one\r");
  EXPECT_EQ(NetWorkRecvLine(h, line), -1);  // "rest" has no line feed yet
  char buf[8] = {};
  EXPECT_EQ(NetWorkRecv(h, buf, 8), 4);
  EXPECT_EQ(std::string(buf), "rest");
  ::close(peer);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkAcceptState(h) == 0; }));
  EXPECT_EQ(GetNetWorkDataLength(h), 0);  // closed and empty
}

// A NUL byte is one byte of the line like any other: the line still ends at its line feed.
TEST_F(Network, ANulByteIsPartOfARawLine) {
  SetNetWorkRawMode(1);
  int peer;
  const int h = Accept(&peer);
  ASSERT_TRUE(SendAll(peer, std::string("a\0b\r\nnext\n", 10)));
  ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->recvRing.length == 10; }));
  char line[256];
  ASSERT_EQ(NetWorkRecvLineLength(h, line), 4);
  EXPECT_EQ(std::string(line, 4), std::string("a\0b\r", 4));
  ASSERT_EQ(NetWorkRecvLine(h, line), 0);
  EXPECT_EQ(std::string(line), "next");
  EXPECT_EQ(NetWorkRecvLineLength(h, line), -1);
  ::close(peer);
}

// A raw read asking for more than the ring keeps ahead takes the ring's bytes and then
// what follows them in the socket, in the order they came; a peek takes nothing.
TEST_F(Network, ARawReadPastTheRingTakesTheRestFromTheSocketInOrder) {
  SetNetWorkRawMode(1);
  int peer;
  const int h = Accept(&peer);
  std::string data(64 << 10, '\0');
  for (size_t i = 0; i < data.size(); i++) data[i] = char(i * 7 + i / 251);  // no period of 256
  ASSERT_TRUE(SendAll(peer, data));
  ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->recvRing.length > 0; }));
  std::string buffer(data.size(), '\0');
  const int peeked = NetWorkRecvToPeek(h, buffer.data(), int(buffer.size()));
  ASSERT_GT(peeked, 0);
  EXPECT_TRUE(buffer.compare(0, size_t(peeked), data, 0, size_t(peeked)) == 0);
  const int32_t inRing = GetSocketData(h)->recvRing.length;
  std::string got;
  for (int tries = 0; got.size() < data.size() && tries < kMaxRounds; tries++) {
    const int n = NetWorkRecv(h, buffer.data(), int(buffer.size()));
    if (n > 0) got.append(buffer.data(), size_t(n));
    if (tries == 0) {
      EXPECT_GT(n, inRing);  // not only what the ring held
    }
    if (n <= 0) ::poll(nullptr, 0, 1);
  }
  EXPECT_TRUE(got == data);
  ::close(peer);
}

// Peers that come all at once wait in the listening queue, and one pump takes them all,
// not one per pump.
TEST_F(Network, ABurstOfPeersIsAcceptedInOnePump) {
  constexpr int kPeers = 500;
  std::vector<int> peers;
  for (int i = 0; i < kPeers; i++) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    peers.push_back(fd);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    ASSERT_TRUE(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 || errno == EINPROGRESS);
  }
  for (int fd : peers) {  // every handshake is done before the engine looks
    pollfd p{fd, POLLOUT, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
  }
  int pumps = 0;
  while (pumps < 3 && HandleSlot(GetNewestNetWorkHandle()) != kPeers - 1) {
    PumpNetworkMessages(1);
    pumps++;
  }
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(HandleSlot(GetNewestNetWorkHandle()), kPeers - 1);
  // And every one is a working connection.
  ASSERT_TRUE(SendAll(peers.back(), Framed("last")));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(GetNewestNetWorkHandle()) == 4; }));
  for (int fd : peers) ::close(fd);
}

TEST_F(Network, FramedConnectionsHaveNoLines) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_TRUE(SendAll(peer, Framed("a line\n")));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(h) == 7; }));
  char line[256];
  EXPECT_EQ(NetWorkRecvLine(h, line), -1);
  ::close(peer);
}

// What has arrived goes with the record, so closing never waits for the rest of a
// message: nine half-received messages do not hold the end for nine seconds.
TEST_F(Network, ClosingDoesNotWaitForAMessageStillArriving) {
  std::vector<int> peers, handles;
  for (int i = 0; i < 9; i++) {
    int peer;
    const int h = Accept(&peer);
    ASSERT_TRUE(SendAll(peer, Framed("0123456789").substr(0, 7)));
    ASSERT_TRUE(PumpUntil([&] { return GetSocketData(h)->recvRemaining == 7; }));
    peers.push_back(peer);
    handles.push_back(h);
  }
  PlatClockSetManual(1, 5000);
  EXPECT_EQ(CloseNetHandle(handles[0]), 0);
  EXPECT_EQ(PlatTimeMs(), 5000u);
  EXPECT_EQ(EndNetwork(), 0);
  EXPECT_EQ(PlatTimeMs(), 5000u);
  PlatClockSetManual(0);
  for (int peer : peers) ::close(peer);
  ASSERT_EQ(InitNetwork(), 0);  // up again for the fixture's end
}

TEST_F(Network, ClosingAfterThePeerLeftDoesNotWait) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_TRUE(SendAll(peer, Framed("0123456789").substr(0, 7)));
  ::close(peer);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkAcceptState(h) == 0; }));
  PlatClockSetManual(1, 5000);
  EXPECT_EQ(CloseNetHandle(h), 0);
  EXPECT_EQ(PlatTimeMs(), 5000u);
  PlatClockSetManual(0);
}

TEST_F(Network, EndClosesEverythingAndRefusesAfterwards) {
  int peer;
  const int h = Accept(&peer);
  ASSERT_EQ(EndNetwork(), 0);
  EXPECT_TRUE(LogHas("ネットワーク関連の終了処理を行います "));
  EXPECT_TRUE(LogHas("ネットワーク関連の終了処理は完了しました"));
  EXPECT_EQ(GetNetWorkAcceptState(h), -1);
  EXPECT_EQ(NetWorkSend(h, "x", 1), -1);
  EXPECT_EQ(GetNetWorkDataLength(h), -1);
  EXPECT_EQ(PumpNetworkMessages(1), 0);
  EXPECT_EQ(AcceptNetWork(), -1);
  char c;
  EXPECT_EQ(::recv(peer, &c, 1, 0), 0);  // the engine's side is closed
  ::close(peer);
  // Up again for the fixture's end.
  ASSERT_EQ(InitNetwork(), 0);
}

}  // namespace

namespace {

// ---- under load, with only the pump running -------------------------------------------

// Sends as much of data from *at as the peer's socket takes now.
void SendSome(int fd, const std::string& data, size_t* at) {
  while (*at < data.size()) {
    const ssize_t n = ::send(fd, data.data() + *at, data.size() - *at, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) return;
    *at += size_t(n);
  }
}

// The record's own count: asking GetNetWorkDataLength would receive by itself and hide a
// connection that only the pump can move.
int32_t Complete(int handle) { return GetSocketData(handle)->dataLength; }

// The message comes over many pumps, none of which takes more than a mebibyte of what
// waits in the socket.
TEST_F(Network, AnEightMebibyteMessageArrivesWithOnlyThePumpRunning) {
  int peer;
  const int h = Accept(&peer);
  const std::string data = Pattern(8 << 20, 5);
  const std::string message = Framed(data);
  size_t at = 0;
  const RingBuffer& ring = GetSocketData(h)->recvRing;
  int32_t before = 0, largest = 0;
  ASSERT_TRUE(PumpUntil([&] {
    largest = std::max(largest, ring.length - before);
    SendSome(peer, message, &at);
    before = ring.length;
    return Complete(h) == int32_t(data.size());
  }, 100000));
  EXPECT_LE(largest, 1 << 20);
  std::string got(data.size(), '\0');
  ASSERT_EQ(NetWorkRecv(h, got.data(), int(got.size())), 0);
  EXPECT_TRUE(got == data);
  ::close(peer);
}

TEST_F(Network, TwoConnectionsEachReceive200MessagesWithOnlyThePumpRunning) {
  int peers[2];
  int handles[2];
  std::string streams[2], datas[2];
  for (int c = 0; c < 2; c++) {
    handles[c] = Accept(&peers[c]);
    for (int i = 0; i < 200; i++) {
      const std::string m = Pattern(size_t(1000 + 37 * i), c * 1000 + i);
      datas[c] += m;
      streams[c] += Framed(m);
    }
  }
  size_t at[2] = {0, 0};
  ASSERT_TRUE(PumpUntil([&] {
    SendSome(peers[0], streams[0], &at[0]);
    SendSome(peers[1], streams[1], &at[1]);
    return Complete(handles[0]) == int32_t(datas[0].size()) && Complete(handles[1]) == int32_t(datas[1].size());
  }, 100000));
  for (int c = 0; c < 2; c++) {
    EXPECT_TRUE(Recv(handles[c], int(datas[c].size())) == datas[c]) << c;
    ::close(peers[c]);
  }
}

// A length at the cap sizes nothing: the ring grows with what arrives.
TEST_F(Network, ALengthAtTheCapReservesOnlyWhatArrives) {
  int peer;
  const int h = Accept(&peer);
  const std::string data = Pattern(100000, 7);
  const uint32_t n = NETWORK_MAX_MESSAGE;
  ASSERT_TRUE(SendAll(peer, std::string{char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)} +
                                data));
  const SocketData* d = GetSocketData(h);
  ASSERT_TRUE(PumpUntil([&] { return d->recvRing.length == int32_t(data.size()); }));
  EXPECT_EQ(d->recvRemaining, NETWORK_MAX_MESSAGE - int32_t(data.size()));
  EXPECT_LT(d->recvRing.capacity, 1 << 20);
  EXPECT_EQ(d->error, 0);
  ::close(peer);
}

// A program that does not read: the receive ring stops at its cap, the rest waits in the
// socket, and all of it comes once the program reads.
TEST_F(Network, AFullReceiveRingWaitsForTheProgram) {
  int peer;
  const int h = Accept(&peer);
  const SocketData* d = GetSocketData(h);
  std::string stream, data;
  for (int i = 0; i < 3; i++) {
    const std::string m = Pattern(i < 2 ? size_t(NETWORK_MAX_MESSAGE) : size_t(8 << 20), 10 + i);
    data += m;
    stream += Framed(m);
  }
  size_t at = 0;
  ASSERT_TRUE(PumpUntil([&] {
    SendSome(peer, stream, &at);
    return d->recvRing.length == NETWORK_MAX_BUFFERED;
  }, 100000));
  for (int i = 0; i < 50; i++) {
    SendSome(peer, stream, &at);
    PumpNetworkMessages(1);
  }
  EXPECT_EQ(d->recvRing.length, NETWORK_MAX_BUFFERED);
  EXPECT_EQ(d->error, 0);
  EXPECT_LE(d->recvRing.capacity, 2 * NETWORK_MAX_BUFFERED);

  std::string got;
  ASSERT_TRUE(PumpUntil([&] {
    SendSome(peer, stream, &at);
    const int32_t ready = d->dataLength;
    if (ready > 0) {
      std::string part(size_t(ready), '\0');
      EXPECT_EQ(NetWorkRecv(h, part.data(), ready), 0);
      got += part;
    }
    return got.size() == data.size();
  }, 100000));
  EXPECT_TRUE(got == data);
  ::close(peer);
}

// A peer that never reads: the queue stops at its cap with the send refused and logged,
// and what was queued stays framed and in order for when the peer reads again.
TEST_F(Network, APeerThatNeverReadsLeavesTheQueueBounded) {
  int peer;
  const int h = Accept(&peer, 4096);
  const SocketData* d = GetSocketData(h);
  const std::string chunk = Pattern(1 << 20, 6);
  int queued = 0;
  while (queued < 64 && NetWorkSend(h, chunk.data(), int(chunk.size())) == 0) queued++;
  ASSERT_LT(queued, 64);
  EXPECT_TRUE(LogHas("送信データ 1048576 byte の追加に失敗しました in NewWorkSend"));
  EXPECT_LE(d->sendRing.length, NETWORK_MAX_BUFFERED);
  EXPECT_GT(d->sendRing.length + int32_t(chunk.size()), NETWORK_MAX_BUFFERED);
  EXPECT_LE(d->sendRing.capacity, 2 * NETWORK_MAX_BUFFERED);
  EXPECT_EQ(d->error, 0);

  std::string stream;
  const size_t total = size_t(queued) * chunk.size();
  const int wide = 4 << 20;
  setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &wide, sizeof wide);
  std::vector<std::string> messages;
  ASSERT_TRUE(PumpUntil([&] {
    stream += ReadAvailable(peer);
    if (d->sendRing.length != 0 || d->sendRemaining != 0 || d->lengthBytesRemaining != 0) return false;
    messages.clear();
    return ParseMessages(stream, &messages);
  }, 100000));
  std::string data;
  for (const std::string& m : messages) data += m;
  ASSERT_EQ(data.size(), total);
  for (int i = 0; i < queued; i++) EXPECT_TRUE(data.compare(size_t(i) * chunk.size(), chunk.size(), chunk) == 0) << i;
  ::close(peer);
}

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) count++;
  return count;
}

// Peers that connect and leave at once: the pump takes each connection and, once closed
// and never seen by the program, lets it go with its descriptor.
TEST_F(Network, ABurstOfConnectAndDropLeavesNothingBehind) {
  const int descriptors = OpenDescriptors();
  const int32_t blocks = GetTrackedBlockCount();
  for (int batch = 0; batch < 10; batch++) {
    for (int i = 0; i < 50; i++) {
      const int fd = ConnectPeer(port);
      ASSERT_GE(fd, 0);
      ::close(fd);
    }
    ASSERT_TRUE(PumpUntil([&] {
      // (Asking for the newest handle would show it to the program.)
      return GetTrackedBlockCount() == blocks && OpenDescriptors() == descriptors;
    })) << "batch " << batch << ": blocks " << GetTrackedBlockCount() << " were " << blocks << ", descriptors "
        << OpenDescriptors() << " were " << descriptors;
  }
  EXPECT_EQ(GetNewestNetWorkHandle(), listener);
  // A connection the program has seen is kept until its loss is reported.
  int peer;
  const int h = Accept(&peer);
  ::close(peer);
  for (int i = 0; i < 20; i++) {
    PumpNetworkMessages(1);
    ::poll(nullptr, 0, 1);
  }
  EXPECT_EQ(GetSocketData(h)->connected, 0);
  EXPECT_EQ(GetNetWorkAcceptState(h), 0);
  PumpNetworkMessages(1);
  EXPECT_EQ(GetSocketData(h), nullptr);
}

}  // namespace
