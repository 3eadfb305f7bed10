#include "media/binding/lock_manager.h"

#include <cstdint>
#include <exception>

#include "media/binding/ffmpeg_exception.h"
#include "media/binding/logger.h"
#include "platform/rtl/sync.h"
#include "platform/rtl/sysutils.h"

std::atomic<bool> LoaderShuttingDown{false};

namespace {

struct TLockNode {
  void** Slot;
  TMutex* Mutex;
  TLockNode* Next;
};

TCriticalSection& LockListGuard() {
  static TCriticalSection guard;
  return guard;
}

TLockNode* LockListHead = nullptr;

TLockNode* FindOrCreateLockNode(void** slot) {
  LockListGuard().Enter();
  TLockNode* node = static_cast<TLockNode*>(*slot);
  if (!node) {
    node = new TLockNode{slot, nullptr, LockListHead};
    LockListHead = node;
    *slot = node;
  }
  const bool consistent = node->Slot == slot;
  LockListGuard().Leave();
  EngineAssert(consistent, "Lock node does not belong to its slot");
  return node;
}

void RemoveLockNode(TLockNode* node) {
  LockListGuard().Enter();
  TLockNode** link = &LockListHead;
  while (*link && *link != node) link = &(*link)->Next;
  const bool found = *link != nullptr;
  if (found) {
    *link = node->Next;
    *node->Slot = nullptr;
    delete node->Mutex;
    delete node;
  }
  LockListGuard().Leave();
  EngineAssert(found, "Lock node is not in the list");
}

Int64 Identity(const TMutex* mutex) { return static_cast<Int64>(reinterpret_cast<std::intptr_t>(mutex)); }

void LogError(const AnsiString& text) { FFLogger()->Log(nullptr, llError, text); }
void LogDebug(const AnsiString& text) { FFLogger()->Log(nullptr, llDebug, text); }

int Operate(void** slot, int operation) {
  TLockNode* node = FindOrCreateLockNode(slot);
  switch (operation) {
    case lockCreate:
      if (node->Mutex) {
        LogError(Format("[lock manager] error, mutex [%d] already exist.", Identity(node->Mutex)));
        return -1;
      }
      try {
        node->Mutex = new TMutex(false);
      } catch (const std::exception& e) {
        LogError(Format("[lock manager] error, failed to create mutex: %s.", e.what()));
        return -1;
      }
      LogDebug(Format("[lock manager] mutex [%d] created.", Identity(node->Mutex)));
      return 0;
    case lockObtain:
      if (!node->Mutex) {
        LogError("[lock manager] error, mutex not available.");
        return -1;
      }
      try {
        node->Mutex->Acquire();
      } catch (const std::exception& e) {
        LogError(Format("[lock manager] error, could not wait on mutex [%d]: %s.", Identity(node->Mutex), e.what()));
        return -1;
      }
      LogDebug(Format("[lock manager] mutex [%d] obtained.", Identity(node->Mutex)));
      return 0;
    case lockRelease:
      if (!node->Mutex) {
        LogError("[lock manager] error, mutex not available.");
        return -1;
      }
      try {
        node->Mutex->Release();
      } catch (const std::exception& e) {
        LogError(Format("[lock manager] error, could not release mutex [%d]: %s.", Identity(node->Mutex), e.what()));
        return -1;
      }
      LogDebug(Format("[lock manager] mutex [%d] release.", Identity(node->Mutex)));
      return 0;
    case lockDestroy: {
      int result = 0;
      if (node->Mutex) {
        LogDebug(Format("[lock manager] mutex [%d] destroyed.", Identity(node->Mutex)));
      } else {
        LogError("[lock manager] error, mutex not available.");
        result = -1;
      }
      RemoveLockNode(node);
      return result;
    }
    default:
      LogError(Format("[lock manager] error, invalid mutex operation %d.", static_cast<int>(static_cast<signed char>(operation))));
      return -1;
  }
}

}  // namespace

extern "C" int LockManagerCallback(void** Slot, int Operation) {
  if (LoaderShuttingDown) return 0;
  // FFmpeg's frames cannot carry an exception: a failure of the logger or of the list itself is
  // answered like any other failure.
  try {
    return Operate(Slot, Operation);
  } catch (...) {
    return -1;
  }
}

void FreeLockNodes() {
  LockListGuard().Enter();
  while (LockListHead) {
    TLockNode* node = LockListHead;
    LockListHead = node->Next;
    *node->Slot = nullptr;
    delete node->Mutex;
    delete node;
  }
  LockListGuard().Leave();
}

int LockNodeCount() {
  LockListGuard().Enter();
  int count = 0;
  for (TLockNode* n = LockListHead; n; n = n->Next) ++count;
  LockListGuard().Leave();
  return count;
}
