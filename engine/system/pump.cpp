// Least body until the message pump lands.
#include "engine/system/system.h"

int PumpMessagesCore() { return 0; }
