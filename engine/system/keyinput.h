// What the message pump asks of the key-input handles.
#pragma once

// Drains the character ring into the active key input (once per pump call).
int UpdateKeyInput();
// Deletes every key input (when the main window goes).
int DeleteAllKeyInputHandles();
