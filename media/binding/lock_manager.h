// The lock manager: FFmpeg's mutexes as a list of nodes, each owning one TMutex. FFmpeg's mutex
// variable (the slot) holds the address of its node. Called from any thread; it never raises.
#pragma once

#include <atomic>

enum TLockOperation { lockCreate = 0, lockObtain = 1, lockRelease = 2, lockDestroy = 3 };

// 0 on success, -1 on failure (every failure is logged). C calling convention, as FFmpeg calls it.
extern "C" int LockManagerCallback(void** Slot, int Operation);

// Set when the engine ends: from then on every request is answered with 0 and touches nothing.
extern std::atomic<bool> LoaderShuttingDown;

// Frees every node that is left, with its mutex.
void FreeLockNodes();
// How many nodes the list holds.
int LockNodeCount();
