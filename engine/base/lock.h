// The engine-wide lock: EngineInit, EngineEnd and the message pump run under it, so the
// main thread and the game's clock thread never run them at once. Recursive: the thread
// that holds it may take it again.
#pragma once

void LockEngine();
void UnlockEngine();
