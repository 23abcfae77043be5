// Least bodies until the network layer lands: it is never started, so there is no
// connection for an event to belong to.
#include "engine/system/network.h"

#include "engine/base/log.h"

int PumpNetworkMessages(int) { return 0; }
int EndNetwork() { return 0; }

int OnSocketEvent(uintptr_t, uint32_t) {
  WriteLog("通信エラー No.1\n");
  return 0;
}
