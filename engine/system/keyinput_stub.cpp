// Least bodies until the key-input handles land: there is no key input.
#include "engine/system/keyinput.h"

int UpdateKeyInput() { return 0; }
int DeleteAllKeyInputHandles() { return 0; }
