#include "engine/base/memory.h"
#include "engine/system/http.h"
#include "engine/system/network.h"
#include "net_fixture.h"
#include "platform/fs/fs.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// A one-connection HTTP server on 127.0.0.1 in a thread of its own: it reads a whole
// request, answers with the scripted text (unless told not to) and then either closes at
// once, closes once the test says so, or holds the connection until the client closes
// it. Every wait is bounded.
struct HttpServer {
  std::string response;
  bool answer = true;
  bool closeAtOnce = true;
  bool closeWhenTold = false;  // then Tell() closes it
  int port = 0;
  std::string request;  // what came, read after Join

  void Start() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listenFd_, 4), 0);
    port = LocalPort(listenFd_);
    if (closeWhenTold) {
      ASSERT_EQ(::pipe2(tellFd_, O_CLOEXEC), 0);
    }
    thread_ = std::thread([this] { Serve(); });
  }

  void Tell() {
    const char c = 1;
    ASSERT_EQ(::write(tellFd_[1], &c, 1), 1);
  }

  void Join() {
    if (thread_.joinable()) thread_.join();
    for (int* fd : {&listenFd_, &tellFd_[0], &tellFd_[1]}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

 private:
  static bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 5000) > 0;
  }

  // The header and, when it announces one, the body. The header's end is looked for
  // until found, then kept: a body of megabytes is not searched again on every read.
  bool Complete() {
    if (wanted_ == std::string::npos) {
      size_t end = request.find("\r\n\r\n");
      size_t skip = 4;
      if (end == std::string::npos) end = request.find("\n\n"), skip = 2;
      if (end == std::string::npos) return false;
      const size_t at = request.find("Content-Length: ");
      wanted_ = end + skip;
      if (at != std::string::npos && at < end) wanted_ += std::stoul(request.substr(at + 16));
    }
    return request.size() >= wanted_;
  }

  void Serve() {
    if (!Readable(listenFd_)) return;
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    char buf[65536];
    while (!Complete() && Readable(fd)) {
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, size_t(n));
    }
    if (answer) ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
    if (closeWhenTold) Readable(tellFd_[0]);
    if (!closeAtOnce) {
      while (Readable(fd) && ::recv(fd, buf, sizeof buf, 0) > 0) {
      }
    }
    ::close(fd);
  }

  int listenFd_ = -1;
  int tellFd_[2] = {-1, -1};
  size_t wanted_ = std::string::npos;  // the whole request's length, once its header is in
  std::thread thread_;
};

class Http : public NetworkUp {
 protected:
  HttpServer server;
  std::string dir;
  // The variable a memory request fills: it outlives the test body, since the end in
  // TearDown may still write to it after a test stopped early.
  void* body = nullptr;

  void SetUp() override {
    NetworkUp::SetUp();
    ClearHttpTable();
    dir = PlatTempDirectory() + "/kr_http_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
  }

  void TearDown() override {
    EXPECT_EQ(EndHttp(), 0);
    EXPECT_EQ(g_HttpTable.count, 0);
    NetworkUp::TearDown();
    server.Join();
    std::filesystem::remove_all(dir);
  }

  // A GET into memory to a server that takes the request and never answers.
  int StartUnanswered() {
    server.answer = false;
    server.closeAtOnce = false;
    server.Start();
    return StartHttpRequest(HTTP_GET, "127.0.0.1", server.port, "/", HTTP_TO_MEMORY, nullptr, &body, nullptr, 0);
  }

  static void Round() {
    PumpNetworkMessages(1);
    StepAllHttpSlots();
  }

  // Rounds of the pump's network services until done() holds (on the manual clock, the
  // clock standing still).
  template <class Done>
  static bool RoundsUntil(Done done) {
    for (int i = 0; i < kMaxRounds; i++) {
      Round();
      if (done()) return true;
      ::poll(nullptr, 0, 1);
    }
    return false;
  }

  // Rounds until the slot's request has finished.
  static bool Run(int slot) {
    return RoundsUntil([slot] { return GetHttpSlot(slot)->result != -1; });
  }

  static std::string FileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
};

struct GetCase {
  const char* name;
  std::string response;
  bool closeAtOnce;
  int destination;
  int result, detail;
  std::string body;  // what the file or memory block holds afterwards
};

void PrintTo(const GetCase& c, std::ostream* os) { *os << c.name; }

class HttpGetAnswers : public Http, public ::testing::WithParamInterface<GetCase> {};

TEST_P(HttpGetAnswers, EndWithTheirResultAndBody) {
  const GetCase& c = GetParam();
  server.response = c.response;
  server.closeAtOnce = c.closeAtOnce;
  server.Start();
  const std::string file = dir + "/body.bin";
  body = reinterpret_cast<void*>(1);  // the start sets it to null
  const int slot = StartHttpRequest(HTTP_GET, "127.0.0.1", server.port, "/index.html",
                                    c.destination, file.c_str(), &body, nullptr, 0);
  ASSERT_EQ(slot, 0);
  ASSERT_TRUE(Run(slot));
  const HttpSlot* s = GetHttpSlot(slot);
  EXPECT_EQ(s->result, c.result);
  EXPECT_EQ(s->detail, c.detail);
  EXPECT_EQ(s->netHandle, -1);
  if (c.destination == HTTP_TO_MEMORY) {
    if (c.result == 0) {
      ASSERT_NE(body, nullptr);
      EXPECT_EQ(std::string(static_cast<char*>(body), size_t(s->received)), c.body);
    } else {
      EXPECT_EQ(body, nullptr);  // a failed request leaves no block
    }
    TrackedFree(body);
  } else {
    EXPECT_EQ(FileText(file), c.body);
  }
  server.Join();
  EXPECT_EQ(server.request, "GET /index.html HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port) +
                                "\r\nConnection: close\r\n\r\n");
}

const std::string kOk = "HTTP/1.0 200 OK\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpGetAnswers,
    ::testing::Values(
        GetCase{"LengthIntoMemoryWhileTheServerStays", kOk + "Content-Length: 10\r\n\r\n0123456789", false,
                HTTP_TO_MEMORY, 0, -1, "0123456789"},
        GetCase{"LengthIntoFileWhileTheServerStays", kOk + "Content-Length: 10\r\n\r\n0123456789", false,
                HTTP_TO_FILE, 0, -1, "0123456789"},
        GetCase{"AnEmptyBodyIntoMemoryWhileTheServerStays", kOk + "Content-Length: 0\r\n\r\n", false,
                HTTP_TO_MEMORY, 0, -1, ""},
        GetCase{"AnEmptyBodyIntoFileWhileTheServerStays", kOk + "Content-Length: 0\r\n\r\n", false, HTTP_TO_FILE,
                0, -1, ""},
        GetCase{"NoLengthIntoFileUntilTheServerCloses", kOk + "Server: t\r\n\r\nsome body bytes", true,
                HTTP_TO_FILE, 0, -1, "some body bytes"},
        GetCase{"NoLengthIntoMemoryUntilTheServerCloses", kOk + "Server: t\r\n\r\nsome body bytes", true,
                HTTP_TO_MEMORY, 0, -1, "some body bytes"},
        GetCase{"AnswerAndCloseIntoMemory", kOk + "Content-Length: 5\r\n\r\nhello", true, HTTP_TO_MEMORY, 0,
                -1, "hello"},
        GetCase{"AnswerAndCloseIntoFile", kOk + "Content-Length: 5\r\n\r\nhello", true, HTTP_TO_FILE, 0, -1,
                "hello"},
        GetCase{"Version11AndHeaderNamesInAnyCase", "HTTP/1.1 200 OK\r\ncontent-LENGTH: 4\r\n\r\nabcd", false,
                HTTP_TO_MEMORY, 0, -1, "abcd"},
        GetCase{"ASecondLengthReplacesTheFirstBlock",
                kOk + "Content-Length: 100\r\nContent-Length: 3\r\n\r\nabc", false, HTTP_TO_MEMORY, 0, -1, "abc"},
        GetCase{"ALengthWithoutBlankReadsUntilTheEnd", kOk + "Content-Length:5\r\n\r\nabcdefgh", true,
                HTTP_TO_FILE, 0, -1, "abcdefgh"},
        // Lengths past 32 bits are not taken for what is left of them.
        GetCase{"ALengthOf2To63Fails", kOk + "Content-Length: 9223372036854775808\r\n\r\nabc", true,
                HTTP_TO_MEMORY, 2, 2, ""},
        GetCase{"ALengthOf2To32And5Fails", kOk + "Content-Length: 4294967301\r\n\r\nhello", true, HTTP_TO_FILE,
                2, 2, ""},
        GetCase{"ABodyLargerThanTheFirstBlock", kOk + "Content-Length: 300000\r\n\r\n" + std::string(300000, 'b'),
                false, HTTP_TO_MEMORY, 0, -1, std::string(300000, 'b')},
        GetCase{"NotFound", "HTTP/1.0 404 Not Found\r\n\r\n", true, HTTP_TO_MEMORY, 2, 1, ""},
        GetCase{"ServerError", "HTTP/1.0 500 Internal Server Error\r\n\r\n", true, HTTP_TO_FILE, 2, 0, ""},
        GetCase{"AHeaderLineOverTheLimit",
                kOk + "X-Long: " + std::string(300, 'a') + "\r\nContent-Length: 2\r\n\r\nok", false,
                HTTP_TO_MEMORY, 2, 0, ""},
        GetCase{"CutOffInTheHeader", kOk + "Content-Len", true, HTTP_TO_MEMORY, 2, 3, ""},
        GetCase{"CutOffInTheBody", kOk + "Content-Length: 10\r\n\r\n01234", true, HTTP_TO_MEMORY, 2, 3, ""},
        GetCase{"CutOffInTheBodyOfAFile", kOk + "Content-Length: 10\r\n\r\n01234", true, HTTP_TO_FILE, 2, 3,
                "01234"},
        // A NUL byte is a byte of its line: the line still ends at its line feed, and a
        // colon after the NUL still makes it a header line.
        GetCase{"ANulInAHeaderValue", kOk + std::string("X-Bin: a\0b\r\n", 12) + "Content-Length: 3\r\n\r\nabc",
                true, HTTP_TO_MEMORY, 0, -1, "abc"},
        GetCase{"ANulBeforeTheColonOfAHeader",
                kOk + std::string("\0X: y\r\n", 7) + "Content-Length: 3\r\n\r\nabc", true, HTTP_TO_FILE, 0, -1,
                "abc"},
        GetCase{"ANulInTheStatusLine", std::string("HTTP/1.0 200 OK\0\r\n", 18) + "Content-Length: 2\r\n\r\nok",
                false, HTTP_TO_MEMORY, 0, -1, "ok"}),
    [](const ::testing::TestParamInfo<GetCase>& info) { return std::string(info.param.name); });

TEST_F(Http, OnlyAGetLogsAStatusOtherThan200) {
  server.response = "HTTP/1.0 404 Not Found\r\n\r\n";
  server.Start();
  int slot = StartHttpRequest(HTTP_GET, "127.0.0.1", server.port, "/", HTTP_TO_MEMORY, nullptr, &body, nullptr, 0);
  ASSERT_TRUE(Run(slot));
  EXPECT_TRUE(LogHas("接続に失敗しました (戻り値:404)"));
  server.Join();

  server = HttpServer{};
  server.response = "HTTP/1.0 500 Oops\r\n\r\n";
  server.Start();
  slot = StartHttpRequest(HTTP_POST, "127.0.0.1", server.port, "/", HTTP_TO_MEMORY, nullptr, &body, "x", 1);
  ASSERT_TRUE(Run(slot));
  EXPECT_EQ(GetHttpSlot(slot)->result, 2);
  EXPECT_EQ(GetHttpSlot(slot)->detail, 0);
  EXPECT_FALSE(LogHas("接続に失敗しました (戻り値:500)"));
}

TEST_F(Http, PostSendsItsTextWithBareLineFeedsThenTheWholeData) {
  server.response = kOk + "Content-Length: 2\r\n\r\nok";
  server.closeAtOnce = false;
  server.Start();
  // Larger than a socket takes at once: the data goes out over several rounds.
  std::string data(4 << 20, '\0');
  for (size_t i = 0; i < data.size(); i++) data[i] = char('a' + i % 26);
  const int slot = StartHttpRequest(HTTP_POST, "127.0.0.1", server.port, "/form", HTTP_TO_MEMORY, nullptr,
                                    &body, data.data(), int32_t(data.size()));
  ASSERT_GE(slot, 0);
  ASSERT_TRUE(Run(slot));
  EXPECT_EQ(GetHttpSlot(slot)->result, 0);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(body), 2), "ok");
  TrackedFree(body);
  server.Join();
  EXPECT_EQ(server.request, "POST /form HTTP/1.0\nHost: 127.0.0.1:" + std::to_string(server.port) +
                                "\nContent-Length: " + std::to_string(data.size()) + "\n\n" + data);
}

TEST_F(Http, HeadTakesTheLengthOnly) {
  server.response = "HTTP/1.0 200 OK\nServer: t\nContent-Length: 42\n\n";
  server.closeAtOnce = false;
  server.Start();
  const int slot = StartHttpRequest(HTTP_HEAD, "127.0.0.1", server.port, "/h", HTTP_TO_FILE, nullptr, nullptr,
                                    nullptr, 0);
  ASSERT_GE(slot, 0);
  ASSERT_TRUE(Run(slot));
  EXPECT_EQ(GetHttpSlot(slot)->result, 0);
  EXPECT_EQ(GetHttpSlot(slot)->contentLength, 42);
  EXPECT_EQ(GetHttpSlot(slot)->received, 0);
  server.Join();
  EXPECT_EQ(server.request, "HEAD /h HTTP/1.0\n\n");
}

TEST_F(Http, HeadWithoutALengthFailsWhenTheServerCloses) {
  server.response = "HTTP/1.0 200 OK\nServer: t\n\n";
  server.Start();
  const int slot = StartHttpRequest(HTTP_HEAD, "127.0.0.1", server.port, "/h", HTTP_TO_FILE, nullptr, nullptr,
                                    nullptr, 0);
  ASSERT_TRUE(Run(slot));
  EXPECT_EQ(GetHttpSlot(slot)->result, 2);
  EXPECT_EQ(GetHttpSlot(slot)->detail, 3);
}

// A body without a length ends with the connection. Its last bytes and the close may be
// seen in different rounds: the body is whole either way.
TEST_F(Http, ABodyWithoutALengthIsWholeWhenTheCloseIsSeenAfterItsLastBytes) {
  for (int destination : {HTTP_TO_MEMORY, HTTP_TO_FILE}) {
    SCOPED_TRACE(destination);
    HttpServer late;
    late.response = kOk + "Server: t\r\n\r\nsome body bytes";
    late.closeWhenTold = true;
    late.Start();
    const std::string file = dir + "/late.bin";
    void* body = nullptr;
    const int slot = StartHttpRequest(HTTP_GET, "127.0.0.1", late.port, "/", destination, file.c_str(), &body,
                                      nullptr, 0);
    ASSERT_GE(slot, 0);
    for (int i = 0; i < kMaxRounds && GetHttpSlot(slot)->received < 15; i++) {
      PumpNetworkMessages(1);
      StepAllHttpSlots();
      ::poll(nullptr, 0, 1);
    }
    EXPECT_EQ(GetHttpSlot(slot)->received, 15);
    EXPECT_EQ(GetHttpSlot(slot)->result, -1);  // still open: the close has not come
    late.Tell();
    late.Join();  // closed: the next round sees it
    ASSERT_TRUE(Run(slot));
    EXPECT_EQ(GetHttpSlot(slot)->result, 0);
    EXPECT_EQ(GetHttpSlot(slot)->detail, -1);
    if (destination == HTTP_TO_MEMORY) {
      ASSERT_NE(body, nullptr);
      EXPECT_EQ(std::string(static_cast<char*>(body), 15), "some body bytes");
      TrackedFree(body);
    } else {
      EXPECT_EQ(FileText(file), "some body bytes");
    }
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
  }
}

// The largest length a block can have is taken at its word: the body grows as it comes,
// so the header alone reserves no more than a first block.
TEST_F(Http, TheLargestLengthReservesNothingFromTheHeaderAlone) {
  server.response = kOk + "Content-Length: 2147483647\r\n\r\nabc";
  server.closeAtOnce = false;
  server.Start();
  const int slot =
      StartHttpRequest(HTTP_GET, "127.0.0.1", server.port, "/", HTTP_TO_MEMORY, nullptr, &body, nullptr, 0);
  ASSERT_GE(slot, 0);
  for (int i = 0; i < kMaxRounds && GetHttpSlot(slot)->received < 3; i++) {
    PumpNetworkMessages(1);
    StepAllHttpSlots();
    ::poll(nullptr, 0, 1);
  }
  const HttpSlot* s = GetHttpSlot(slot);
  EXPECT_EQ(s->contentLength, 2147483647);
  EXPECT_EQ(s->received, 3);
  EXPECT_EQ(s->result, -1);
  EXPECT_LE(s->bodyCapacity, 64 << 10);
  EXPECT_LE(GetTrackedTotalBytes(), 1 << 20);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);
  EXPECT_EQ(body, nullptr);
}

// A server that says nothing never holds up the pump: many rounds go by on a clock that
// does not move, and the request waits for its inactivity limit.
TEST_F(Http, ASilentServerNeverHoldsUpThePump) {
  const int slot = StartUnanswered();
  ASSERT_GE(slot, 0);
  PlatClockSetManual(1, 1000);
  for (int i = 0; i < 200; i++) {
    PumpNetworkMessages(1);
    StepAllHttpSlots();
  }
  EXPECT_EQ(PlatTimeMs(), 1000u);
  EXPECT_EQ(GetHttpSlot(slot)->result, -1);
  PlatClockSetManual(0);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);
}

// A body the peer sends faster than the rounds take it arrives over many rounds, each
// taking no more than the round's share, and whole.
TEST_F(Http, AFloodedBodyIsTakenAShareARoundAndArrivesWhole) {
  for (int destination : {HTTP_TO_MEMORY, HTTP_TO_FILE}) {
    SCOPED_TRACE(destination);
    std::string data(4 << 20, '\0');
    for (size_t i = 0; i < data.size(); i++) data[i] = char(i * 7 + i / 4099);
    HttpServer flood;
    flood.response = kOk + "Content-Length: " + std::to_string(data.size()) + "\r\n\r\n" + data;
    flood.closeAtOnce = false;
    flood.Start();
    const std::string file = dir + "/flood.bin";
    void* body = nullptr;
    const int slot = StartHttpRequest(HTTP_GET, "127.0.0.1", flood.port, "/", destination, file.c_str(), &body,
                                      nullptr, 0);
    ASSERT_GE(slot, 0);
    int32_t largest = 0, rounds = 0;
    for (; rounds < 20 * kMaxRounds && GetHttpSlot(slot)->result == -1; rounds++) {
      const int32_t before = GetHttpSlot(slot)->received;
      PumpNetworkMessages(1);
      StepAllHttpSlots();
      largest = std::max(largest, GetHttpSlot(slot)->received - before);
      if (GetHttpSlot(slot)->received == before) ::poll(nullptr, 0, 1);
    }
    EXPECT_EQ(GetHttpSlot(slot)->result, 0);
    EXPECT_LE(largest, HTTP_BYTES_PER_ROUND);
    EXPECT_GE(rounds, int32_t(data.size() / HTTP_BYTES_PER_ROUND));
    if (destination == HTTP_TO_MEMORY) {
      ASSERT_NE(body, nullptr);
      EXPECT_TRUE(std::string(static_cast<char*>(body), data.size()) == data);
      TrackedFree(body);
    } else {
      EXPECT_TRUE(FileText(file) == data);
    }
    EXPECT_EQ(DeleteHttpSlot(slot), 0);
    flood.Join();
  }
}

// A server the test plays by hand, on the manual clock: the request's connection is
// accepted once the request has started, and the test sends what it likes when it likes.
class HttpByHand : public Http {
 protected:
  int listenFd = -1, fd = -1, port = 0;

  void SetUp() override {
    Http::SetUp();
    listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listenFd, 4), 0);
    port = LocalPort(listenFd);
    PlatClockSetManual(1, 1000);
  }

  void TearDown() override {
    PlatClockSetManual(0);
    Http::TearDown();
    for (int f : {fd, listenFd})
      if (f >= 0) ::close(f);
  }

  int StartGet() {
    const int slot =
        StartHttpRequest(HTTP_GET, "127.0.0.1", port, "/", HTTP_TO_MEMORY, nullptr, &body, nullptr, 0);
    fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? -1 : slot;
  }
};

struct SilenceCase {
  const char* name;
  std::string said;  // what the server sends before it falls silent
  int32_t step, received;  // where the request then stands
};

void PrintTo(const SilenceCase& c, std::ostream* os) { *os << c.name; }

class HttpSilence : public HttpByHand, public ::testing::WithParamInterface<SilenceCase> {};

// A server that stops mid-answer and holds the connection: the request ends, failed, as
// soon as the limit has passed without a byte, and frees what it had of the body.
TEST_P(HttpSilence, EndsTheRequestOnceTheLimitPasses) {
  const SilenceCase& c = GetParam();
  EXPECT_EQ(SetHttpInactivityLimit(5000), HTTP_DEFAULT_INACTIVITY_MS);
  const int slot = StartGet();
  ASSERT_GE(slot, 0);
  ASSERT_TRUE(SendAll(fd, c.said));
  const HttpSlot* s = GetHttpSlot(slot);
  ASSERT_TRUE(RoundsUntil([&] { return s->step == c.step && s->received == c.received; }));
  PlatClockAdvance(4999);
  Round();
  EXPECT_EQ(s->result, -1);
  PlatClockAdvance(1);
  Round();
  EXPECT_EQ(s->result, 2);
  EXPECT_EQ(s->detail, HTTP_DETAIL_CONNECTION);
  EXPECT_EQ(s->netHandle, -1);
  EXPECT_EQ(body, nullptr);
  EXPECT_TRUE(LogHas("HTTPの応答が 5000 ミリ秒途絶えたので打ち切りました"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpSilence,
    ::testing::Values(SilenceCase{"BeforeTheStatusLine", "", 1, 0},
                      SilenceCase{"InTheMiddleOfAHeaderLine", kOk + "Content-Len", 2, 0},
                      SilenceCase{"InTheBody", kOk + "Content-Length: 10\r\n\r\n01234", 3, 5}),
    [](const ::testing::TestParamInfo<SilenceCase>& info) { return std::string(info.param.name); });

// A byte at a time, each just inside the limit, keeps the request alive to its end, even
// when the bytes make no whole line yet.
TEST_F(HttpByHand, EveryByteRestartsTheLimit) {
  SetHttpInactivityLimit(5000);
  const int slot = StartGet();
  ASSERT_GE(slot, 0);
  const HttpSlot* s = GetHttpSlot(slot);
  ASSERT_TRUE(RoundsUntil([&] { return s->step == 1; }));  // the request is out
  const std::string answer = kOk + "Content-Length: 3\r\n\r\nabc";
  for (size_t i = 0; i < answer.size(); i++) {
    SCOPED_TRACE(i);
    PlatClockAdvance(4999);
    ASSERT_TRUE(SendAll(fd, answer.substr(i, 1)));
    ASSERT_TRUE(RoundsUntil([&] { return s->lastActivityMs == PlatTimeMs() || s->result != -1; }));
    ASSERT_EQ(s->result, i + 1 == answer.size() ? 0 : -1);
  }
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(body), 3), "abc");
  TrackedFree(body);
}

TEST_F(HttpByHand, ALimitOf0WaitsForEver) {
  SetHttpInactivityLimit(0);
  const int slot = StartGet();
  ASSERT_GE(slot, 0);
  ASSERT_TRUE(SendAll(fd, kOk));
  ASSERT_TRUE(RoundsUntil([&] { return GetHttpSlot(slot)->step == 2; }));
  PlatClockAdvance(24 * 3600 * 1000);
  Round();
  EXPECT_EQ(GetHttpSlot(slot)->result, -1);
  // Set while the request runs, a limit holds for it at once.
  SetHttpInactivityLimit(1000);
  Round();
  EXPECT_EQ(GetHttpSlot(slot)->result, 2);
}

TEST_F(Http, DeletingARunningRequestFailsItAndFreesThePartialBody) {
  server.response = kOk + "Content-Length: 10\r\n\r\n01234";
  server.closeAtOnce = false;
  server.Start();
  const int slot = StartHttpRequest(HTTP_GET, "127.0.0.1", server.port, "/", HTTP_TO_MEMORY, nullptr, &body,
                                    nullptr, 0);
  ASSERT_GE(slot, 0);
  for (int i = 0; i < kMaxRounds && GetHttpSlot(slot)->received < 5; i++) {
    PumpNetworkMessages(1);
    StepAllHttpSlots();
    ::poll(nullptr, 0, 1);
  }
  ASSERT_EQ(GetHttpSlot(slot)->received, 5);
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(DeleteHttpSlot(slot), 0);
  EXPECT_EQ(body, nullptr);
  EXPECT_EQ(GetHttpSlot(slot), nullptr);
  EXPECT_EQ(g_HttpTable.count, 0);
  EXPECT_EQ(DeleteHttpSlot(slot), -1);
}

TEST_F(Http, ALostConnectionReadsAsFinished) {
  const int slot = StartUnanswered();
  ASSERT_GE(slot, 0);
  ASSERT_EQ(CloseNetHandle(GetHttpSlot(slot)->netHandle), 0);
  EXPECT_EQ(HttpStep(slot), 0);
  EXPECT_EQ(GetHttpSlot(slot)->result, 2);
  EXPECT_EQ(GetHttpSlot(slot)->detail, 3);
}

TEST_F(Http, TheFirstFinishDecides) {
  const int slot = StartUnanswered();
  ASSERT_GE(slot, 0);
  EXPECT_EQ(FinishHttpSlot(slot, 0, -1), 0);
  EXPECT_EQ(FinishHttpSlot(slot, 2, 3), 0);
  EXPECT_EQ(GetHttpSlot(slot)->result, 0);
  EXPECT_EQ(GetHttpSlot(slot)->detail, -1);
  EXPECT_EQ(HttpStep(slot), 0);  // finished: nothing more happens
}

TEST_F(Http, RequestsThatCannotBeMadeAreRefused) {
  // An address nothing listens at.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const int deadPort = LocalPort(fd);
  ::close(fd);

  const std::string path250 = "/" + std::string(249, 'p');
  EXPECT_EQ(StartHttpRequest(HTTP_HEAD, "127.0.0.1", deadPort, path250.c_str(), HTTP_TO_FILE, nullptr, nullptr,
                             nullptr, 0),
            -1);  // "HEAD " + 250 + " HTTP/1.0\n\n" does not fit in 256 bytes
  EXPECT_TRUE(LogHas("HTTPリクエストが長すぎます"));
  EXPECT_EQ(StartHttpRequest(HTTP_GET, std::string(128, '1').c_str(), deadPort, "/", HTTP_TO_MEMORY, nullptr,
                             &body, nullptr, 0),
            -1);
  EXPECT_EQ(StartHttpRequest(HTTP_GET, "127.0.0.1", deadPort, "/", HTTP_TO_MEMORY, nullptr, nullptr, nullptr, 0),
            -1);
  EXPECT_EQ(StartHttpRequest(HTTP_GET, "127.0.0.1", deadPort, "/", HTTP_TO_MEMORY, nullptr, &body, nullptr, 0),
            -1);
  EXPECT_TRUE(LogHas("HTTPの接続に失敗しました"));
  EXPECT_EQ(g_HttpTable.count, 0);
}

TEST_F(Http, EmptyOrOutOfRangeSlotsAreRefused) {
  for (int slot : {-1, 0, 99, 100}) {
    EXPECT_EQ(HttpStep(slot), -1);
    EXPECT_EQ(HttpGet(slot), -1);
    EXPECT_EQ(HttpPost(slot), -1);
    EXPECT_EQ(HttpHead(slot), -1);
    EXPECT_EQ(FinishHttpSlot(slot, 0, -1), -1);
    EXPECT_EQ(DeleteHttpSlot(slot), -1);
  }
}

TEST(HttpStatus, IsTheNumberAfterTheFirstBlank) {
  const std::pair<const char*, int> cases[] = {
      {"HTTP/1.0 200 OK\r", 200}, {"HTTP/1.1 404 Not Found", 404}, {"NoBlank", -1},
      {"Content-Length: 10\r", 10}, {"Content-Length: abc", -1},   {"Content-Length: -5", -5},
      {"Content-Length:10", -1},
  };
  for (const auto& [line, status] : cases) EXPECT_EQ(ParseHttpStatusCode(line), status) << line;
}

}  // namespace
