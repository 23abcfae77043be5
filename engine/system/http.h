// What the message pump asks of the HTTP layer.
#pragma once

// Steps every HTTP request in use, in slot order (every pump call, and every pass while
// the window is inactive).
int StepAllHttpSlots();
