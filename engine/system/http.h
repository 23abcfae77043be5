// What the engine start and end and the message pump ask of the HTTP layer.
#pragma once

// Steps every HTTP request in use, in slot order (every pump call, and every pass while
// the window is inactive).
int StepAllHttpSlots();
// Empties the table of requests, its slots and its count (every engine start); 0.
int ClearHttpTable();
// Ends every request (engine end); 0.
int EndHttp();
