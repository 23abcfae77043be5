// Feeds arbitrary bytes to the receiving side of a framed connection: a local socket pair
// with one end made a network handle, the other written by the target. The input is cut
// into segments (a size byte, then that many bytes), and after each segment the target
// takes part of what has completed, so lengths split over segments, rings that wrap and
// grow, and reads of varying sizes all happen. The data taken must be exactly the data of
// the complete messages in the input (up to a length the engine refuses, which must put
// the connection in error), and nothing may leak. Only the pump moves data from the
// socket: the target never asks for the data length, which would receive by itself.
#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/system/network.h"
#include "platform/kernel/kernel.h"
#include "platform/net/net.h"
#include "platform/window/window.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool Setup() {
  SetLogOff(1);
  PlatWindowSelectBackend("headless");
  PlatClockSetManual(1, 1000);  // a close that would wait does so on the manual clock
  return InitNetwork() == 0;
}

// The data of the complete messages in the stream, and whether it reaches a length the
// engine refuses.
std::string Expected(const std::string& stream, bool* refused) {
  std::string data;
  size_t at = 0;
  *refused = false;
  while (at + 4 <= stream.size()) {
    const uint32_t n = uint32_t(uint8_t(stream[at])) | uint32_t(uint8_t(stream[at + 1])) << 8 |
                       uint32_t(uint8_t(stream[at + 2])) << 16 | uint32_t(uint8_t(stream[at + 3])) << 24;
    if (n > uint32_t(NETWORK_MAX_MESSAGE)) {
      *refused = true;
      break;
    }
    if (stream.size() - at - 4 < n) break;
    data.append(stream, at + 4, n);
    at += 4 + n;
  }
  return data;
}

void Check(bool ok) {
  if (!ok) abort();
}

// Runs the pump alone and takes up to `most` bytes of the complete messages it made
// known; false once the connection is in error. The record is read directly: asking the
// data length would receive by itself and hide a connection that only the pump can move.
bool Take(int handle, int most, std::string* got) {
  PumpNetworkMessages(0);
  const SocketData* d = GetSocketData(handle);
  Check(d != nullptr);
  if (d->error) return false;
  const int length = d->dataLength;
  Check(d->recvRing.length >= length && length >= 0 && d->recvRemaining >= 0 &&
        d->recvRemaining <= NETWORK_MAX_MESSAGE && d->recvRing.length <= NETWORK_MAX_BUFFERED);
  const int take = length < most ? length : most;
  if (take <= 0) return true;
  char buf[512];
  Check(NetWorkRecvToPeek(handle, buf, take) == 0);
  const std::string peeked(buf, size_t(take));
  Check(d->dataLength == length);
  Check(NetWorkRecv(handle, buf, take) == 0);
  Check(std::string(buf, size_t(take)) == peeked);
  got->append(buf, size_t(take));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = Setup();
  Check(ready);
  const int32_t blocks = GetTrackedBlockCount();
  PlatSocket pair[2];
  Check(PlatNetSocketPair(pair) == 0);
  const int handle = AttachNetWorkSocket(pair[0]);
  Check(handle >= 0);

  std::string stream, got;
  bool open = true;
  size_t at = 0;
  while (at < size && open) {
    const int most = data[at] % 64 + 1;
    size_t n = data[at++];
    if (n > size - at) n = size - at;
    stream.append(reinterpret_cast<const char*>(data + at), n);
    for (size_t sent = 0; sent < n;) {
      const int r = PlatNetSend(pair[1], data + at + sent, int(n - sent), 0);
      Check(r >= 0 || PlatNetGetLastError() == PLAT_NET_EWOULDBLOCK);
      if (r > 0) sent += size_t(r);
      else if (!(open = Take(handle, 512, &got))) break;  // make room
    }
    at += n;
    if (open) open = Take(handle, most, &got);
  }
  PlatNetClose(pair[1]);
  // With only the pump running, everything complete is taken before the loss shows.
  for (int i = 0; open && i < 100000; i++) {
    const size_t before = got.size();
    open = Take(handle, 512, &got);
    if (open && got.size() == before && GetSocketData(handle)->connected == 0) break;
  }

  bool refused;
  const std::string want = Expected(stream, &refused);
  const SocketData* d = GetSocketData(handle);
  Check(d != nullptr);
  if (refused) {
    Check(d->error == 1);
    Check(want.compare(0, got.size(), got) == 0);
  } else {
    Check(d->error == 0);
    Check(got == want);
  }
  Check(CloseNetHandle(handle) == 0);
  Check(GetTrackedBlockCount() == blocks);
  return 0;
}
