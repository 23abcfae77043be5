// The engine lock and the three entry functions that run under it. The lock is fair:
// threads that must wait are served strictly in their order of arrival, and a thread
// that frees the lock and takes it again at once waits behind those already queued.
// It is recursive: the owner may take it again, and it frees at the matching release.
#pragma once

// 0 on success (also when the engine is already initialised), -1 on failure.
int EngineInit();
// 0; does nothing before initialisation.
int EngineEnd();
// 0 to go on, -1 once the program must end.
int PumpMessages();

// Takes the lock for the calling thread, waiting as long as it must.
void LockEngine();
// Gives one take back; a release with nothing taken is ignored.
void UnlockEngine();
// Called by the end sequence and the fatal exit. The lock's events and guard live for
// the whole process, so a thread still queued can never wait on a destroyed event.
void DestroyEngineLock();
