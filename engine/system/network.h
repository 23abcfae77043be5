// What the engine end, the window procedure and the message pump ask of the network layer.
#pragma once

#include <cstdint>

// Dispatches the network window's messages; mode 1 also closes finished connections.
// Always 0.
int PumpNetworkMessages(int mode);
// Socket message 1285: the socket, and the event (low 16 bits) with its error (high 16
// bits). The window procedure returns the result.
int OnSocketEvent(uintptr_t socket, uint32_t eventWord);
// Closes every connection and ends the socket layer (engine end); 0.
int EndNetwork();
