// The worker threads of the I/O component. With AsyncMode on and an image the component does not
// own, a load or save method hands a call of itself, with the same arguments, to a TIEIOThread
// and returns; inside that thread the same call finds itself in one of the component's threads
// and does the work. The component keeps the running threads in a list guarded by its own lock,
// so it can wait for them, abort them and tell whether the calling thread is one of them.
#pragma once

#include <vector>

#include "platform/rtl/sync.h"
#include "platform/rtl/threads.h"
#include "platform/rtl/types.h"

class TStream;
class TZodivErIO;
class TIEIOThread;

// A component's running worker threads. The lock guards only the list and the ids in it, and
// nothing else is locked while it is held.
struct TIEIOThreadList {
  TCriticalSection Lock;
  std::vector<TIEIOThread*> Threads;
};

class TIEIOThread : public TThread {
 public:
  // The shapes of the calls a thread can make, by kind (3 and 7 are never made).
  using TFileProc = void (TZodivErIO::*)(const WideString&);                        // 0, 10
  using TStreamProc = void (TZodivErIO::*)(TStream*);                               // 1
  using TFileFunc = Integer (TZodivErIO::*)(const WideString&);                     // 2
  using TStreamFunc = Integer (TZodivErIO::*)(TStream*);                            // 4
  using TFileIntProc = void (TZodivErIO::*)(const WideString&, Integer);            // 5
  using TStreamIntProc = void (TZodivErIO::*)(TStream*, Integer);                   // 6
  using TIntProc = void (TZodivErIO::*)(Integer);                                   // 8
  using TMetafileProc = void (TZodivErIO::*)(const WideString&, Integer, Integer, bool);  // 9

  // Each makes a thread that calls Method of IO with the arguments, puts it in IO's list and
  // starts it. The thread frees itself when the call has returned; the pointer is only good
  // for as long as the thread is in the list. A thread the system cannot start raises EThread
  // and leaves the list as it was.
  static TIEIOThread* CreateFile(TZodivErIO* IO, TFileProc Method, const WideString& FileName);
  static TIEIOThread* CreateStream(TZodivErIO* IO, TStreamProc Method, TStream* Stream);
  static TIEIOThread* CreateFileFunc(TZodivErIO* IO, TFileFunc Method, const WideString& FileName);
  static TIEIOThread* CreateStreamFunc(TZodivErIO* IO, TStreamFunc Method, TStream* Stream);
  static TIEIOThread* CreateFileInt(TZodivErIO* IO, TFileIntProc Method, const WideString& FileName, Integer Value);
  static TIEIOThread* CreateStreamInt(TZodivErIO* IO, TStreamIntProc Method, TStream* Stream, Integer Value);
  static TIEIOThread* CreateInt(TZodivErIO* IO, TIntProc Method, Integer Value);
  static TIEIOThread* CreateMetafile(TZodivErIO* IO, TMetafileProc Method, const WideString& FileName, Integer Width,
                                     Integer Height, bool WithAlpha);
  static TIEIOThread* CreateURL(TZodivErIO* IO, TFileProc Method, const WideString& Address);

  Integer Kind() const { return FKind; }
  // The system id of the running thread; 0 until it runs. Read under the list's lock.
  DWORD RunningThreadId() const { return FThreadId; }

 protected:
  // Makes the call; what it raises becomes the component's Aborting. Then the thread leaves the
  // list and frees itself.
  void Execute() override;

 private:
  TIEIOThread(TZodivErIO* IO, Integer Kind);
  static TIEIOThread* Launch(TIEIOThread* Thread);

  TZodivErIO* FIO;
  TIEIOThreadList* FList;
  Integer FKind;
  TFileProc FFileProc = nullptr;
  TStreamProc FStreamProc = nullptr;
  TFileFunc FFileFunc = nullptr;
  TStreamFunc FStreamFunc = nullptr;
  TFileIntProc FFileIntProc = nullptr;
  TStreamIntProc FStreamIntProc = nullptr;
  TIntProc FIntProc = nullptr;
  TMetafileProc FMetafileProc = nullptr;
  WideString FFileName;
  TStream* FStream = nullptr;
  Integer FInt1 = 0, FInt2 = 0;
  bool FBool = false;
  WideString FAddress;
  DWORD FThreadId = 0;
};

// While one exists, the loads and saves that the calling thread starts run in that thread
// whatever AsyncMode says: for calls that hand the component a stream that lives only as long
// as the call itself (a buffer's wrapper, the memory stream of a source export).
class TIESynchronousScope {
 public:
  TIESynchronousScope();
  ~TIESynchronousScope();
  TIESynchronousScope(const TIESynchronousScope&) = delete;
  TIESynchronousScope& operator=(const TIESynchronousScope&) = delete;
  static bool Active();
};
