// The engine lock. It is fair:
// threads that must wait are served strictly in their order of arrival, and a thread
// that frees the lock and takes it again at once waits behind those already queued.
// It is recursive: the owner may take it again, and it frees at the matching release.
#pragma once

// Takes the lock for the calling thread, waiting as long as it must.
void LockEngine();
// Gives one take back; a release with nothing taken is ignored.
void UnlockEngine();
// Called by the end sequence and the fatal exit. The lock's events and guard live for
// the whole process, so a thread still queued can never wait on a destroyed event.
void DestroyEngineLock();
