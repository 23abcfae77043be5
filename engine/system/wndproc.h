// The procedure of the engine's main window.
#pragma once

#include "platform/window/window.h"

PlatLResult MainWindowProc(PlatWnd window, uint32_t message, PlatWParam wParam,
                           PlatLParam lParam);
