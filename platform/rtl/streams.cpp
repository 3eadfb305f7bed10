#include "platform/rtl/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr Int64 kInt64Max = std::numeric_limits<Int64>::max();
constexpr Int64 kInt64Min = std::numeric_limits<Int64>::min();
// The largest chunk handed to one Read or Write call, which count in Integer.
constexpr Int64 kMaxChunk = Int64{1} << 30;
// More than a process can address: a block this big is refused without asking the allocator,
// whose answer to absurd sizes may be a crash under sanitizers rather than a nil.
constexpr Int64 kMaxBlock = Int64{1} << 47;

// Base + Offset, saturated: a hostile offset must not overflow into a small position.
Int64 AddSaturated(Int64 Base, Int64 Offset) {
  Int64 Result = 0;
  if (__builtin_add_overflow(Base, Offset, &Result)) return Offset > 0 ? kInt64Max : kInt64Min;
  return Result;
}

Int64 SeekTarget(Int64 Offset, TSeekOrigin Origin, Int64 Position, Int64 Size) {
  switch (Origin) {
    case soCurrent:
      return AddSaturated(Position, Offset);
    case soEnd:
      return AddSaturated(Size, Offset);
    case soBeginning:
    default:
      return Offset;
  }
}

[[noreturn]] void OutOfMemory() { throw EOutOfMemory("Out of memory"); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TStream

Int64 TStream::Position() { return Seek(0, soCurrent); }

void TStream::SetPosition(Int64 Pos) { Seek(Pos, soBeginning); }

Int64 TStream::Size() {
  const Int64 Pos = Seek(0, soCurrent);
  const Int64 Result = Seek(0, soEnd);
  Seek(Pos, soBeginning);
  return Result;
}

void TStream::SetSize(Int64) {}

void TStream::ReadBuffer(void* Buffer, Int64 Count) {
  if (Count < 0) throw EReadError("Stream read error");
  auto* P = static_cast<Byte*>(Buffer);
  // Some streams (pipes, sockets) deliver less than asked before the end; only a read that
  // brings nothing means the data is not there.
  while (Count > 0) {
    const Integer Got = Read(P, static_cast<Integer>(std::min(Count, kMaxChunk)));
    if (Got <= 0) throw EReadError("Stream read error");
    P += Got;
    Count -= Got;
  }
}

void TStream::WriteBuffer(const void* Buffer, Int64 Count) {
  if (Count < 0) throw EWriteError("Stream write error");
  const auto* P = static_cast<const Byte*>(Buffer);
  while (Count > 0) {
    const Integer Put = Write(P, static_cast<Integer>(std::min(Count, kMaxChunk)));
    if (Put <= 0) throw EWriteError("Stream write error");
    P += Put;
    Count -= Put;
  }
}

Int64 TStream::CopyFrom(TStream* Source, Int64 Count) {
  if (Count < 0) throw EReadError("Stream read error");
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  const Int64 Result = Count;
  std::vector<Byte> Buffer(static_cast<std::size_t>(std::min<Int64>(Count, 1 << 20)));
  while (Count > 0) {
    const Int64 Chunk = std::min<Int64>(Count, static_cast<Int64>(Buffer.size()));
    Source->ReadBuffer(Buffer.data(), Chunk);
    WriteBuffer(Buffer.data(), Chunk);
    Count -= Chunk;
  }
  return Result;
}

// ---------------------------------------------------------------------------------------------
// THandleStream

Integer THandleStream::Read(void* Buffer, Integer Count) {
  auto* P = static_cast<char*>(Buffer);
  Integer Total = 0;
  while (Total < Count) {
    const ssize_t Got = ::read(FHandle, P + Total, static_cast<std::size_t>(Count - Total));
    if (Got < 0 && errno == EINTR) continue;
    if (Got <= 0) break;
    Total += static_cast<Integer>(Got);
  }
  return Total;
}

Integer THandleStream::Write(const void* Buffer, Integer Count) {
  const auto* P = static_cast<const char*>(Buffer);
  Integer Total = 0;
  while (Total < Count) {
    const ssize_t Put = ::write(FHandle, P + Total, static_cast<std::size_t>(Count - Total));
    if (Put < 0 && errno == EINTR) continue;
    if (Put <= 0) break;
    Total += static_cast<Integer>(Put);
  }
  return Total;
}

Int64 THandleStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  const int Whence = Origin == soCurrent ? SEEK_CUR : (Origin == soEnd ? SEEK_END : SEEK_SET);
  return static_cast<Int64>(::lseek(FHandle, static_cast<off_t>(Offset), Whence));
}

void THandleStream::SetSize(Int64 NewSize) {
  if (NewSize < 0) {
    errno = EINVAL;
    RaiseLastOSError();
  }
  Seek(NewSize, soBeginning);
  if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) RaiseLastOSError();
}

// ---------------------------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const AnsiString& AFileName, Word Mode)
    : THandleStream(-1), FFileName(AFileName) {
  if ((Mode & fmCreate) == fmCreate) {
    FHandle = ::open(AFileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0) {
      const int Err = errno;
      throw EFCreateError(Format("Cannot create file \"%s\". %s", ExpandFileName(AFileName),
                                 SysErrorMessage(Err)));
    }
    return;
  }
  int Flags = O_CLOEXEC;
  int Err = 0;
  switch (Mode & 0x0003) {
    case fmOpenRead:
      Flags |= O_RDONLY;
      break;
    case fmOpenWrite:
      Flags |= O_WRONLY;
      break;
    case fmOpenReadWrite:
      Flags |= O_RDWR;
      break;
    default:
      Err = EINVAL;
      break;
  }
  if (Err == 0) {
    FHandle = ::open(AFileName.c_str(), Flags);
    if (FHandle < 0) {
      Err = errno;
    } else {
      // Linux opens a folder for reading without complaint; reading it would then fail on
      // every call, so it is refused here, where the user learns why.
      struct stat Info {};
      if (::fstat(FHandle, &Info) == 0 && S_ISDIR(Info.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        Err = EISDIR;
      }
    }
  }
  if (FHandle < 0)
    throw EFOpenError(Format("Cannot open file \"%s\". %s", ExpandFileName(AFileName),
                             SysErrorMessage(Err)));
}

TFileStream::TFileStream(const WideString& AFileName, Word Mode)
    : TFileStream(WideToAnsi(AFileName), Mode) {}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

// ---------------------------------------------------------------------------------------------
// TCustomMemoryStream

Integer TCustomMemoryStream::Read(void* Buffer, Integer Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  const Integer N = static_cast<Integer>(std::min<Int64>(Count, FSize - FPosition));
  std::memcpy(Buffer, static_cast<const Byte*>(FMemory) + FPosition, static_cast<std::size_t>(N));
  FPosition += N;
  return N;
}

Integer TCustomMemoryStream::Write(const void*, Integer) { return 0; }

Int64 TCustomMemoryStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  FPosition = SeekTarget(Offset, Origin, FPosition, FSize);
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
  if (FSize != 0) Stream->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const AnsiString& FileName) {
  TFileStream Stream(FileName, fmCreate);
  SaveToStream(&Stream);
}

void TCustomMemoryStream::SetPointer(Pointer Ptr, Int64 Size) {
  FMemory = Ptr;
  FSize = Size;
}

// ---------------------------------------------------------------------------------------------
// TMemoryStream

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::Reallocate(Int64 NewCapacity) {
  if (NewCapacity == FCapacity) return;
  if (NewCapacity == 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  if (NewCapacity < 0 || NewCapacity > kMaxBlock) OutOfMemory();
  void* P = std::realloc(FMemory, static_cast<std::size_t>(NewCapacity));
  if (P == nullptr) OutOfMemory();
  FMemory = P;
  FCapacity = NewCapacity;
}

// Growing by half the present capacity each time keeps a stream written in small writes from
// copying its contents over and over.
static Int64 GrownCapacity(Int64 Capacity, Int64 Needed) {
  const Int64 Geometric = Capacity > kInt64Max / 2 ? kInt64Max : Capacity + Capacity / 2;
  return std::min(std::max({Needed, Geometric, Int64{256}}), std::max(Needed, kMaxBlock));
}

void TMemoryStream::SetCapacity(Int64 NewCapacity) { Reallocate(std::max(NewCapacity, FSize)); }

void TMemoryStream::SetSize(Int64 NewSize) {
  if (NewSize < 0) OutOfMemory();
  if (NewSize > FCapacity) Reallocate(GrownCapacity(FCapacity, NewSize));
  if (NewSize > FSize)
    std::memset(static_cast<Byte*>(FMemory) + FSize, 0, static_cast<std::size_t>(NewSize - FSize));
  FSize = NewSize;
  if (FPosition > NewSize) FPosition = NewSize;
}

Integer TMemoryStream::Write(const void* Buffer, Integer Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  if (FPosition > kInt64Max - Count) OutOfMemory();
  const Int64 End = FPosition + Count;
  if (End > FSize) {
    const Int64 Start = FPosition;
    SetSize(End);  // zero-fills any gap between the old end and the position
    FPosition = Start;
  }
  std::memcpy(static_cast<Byte*>(FMemory) + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = End;
  return Count;
}

void TMemoryStream::Clear() {
  Reallocate(0);
  FSize = 0;
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  if (Stream == this) return;
  Stream->SetPosition(0);
  const Int64 Count = Stream->Size();
  if (Count < 0) throw EReadError("Stream read error");
  SetSize(Count);
  if (Count != 0) Stream->ReadBuffer(FMemory, Count);
}

void TMemoryStream::LoadFromFile(const AnsiString& FileName) {
  TFileStream Stream(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&Stream);
}

// ---------------------------------------------------------------------------------------------
// TStringStream

TStringStream::TStringStream(const AnsiString& AString) : FDataString(AString) {}

Integer TStringStream::Read(void* Buffer, Integer Count) {
  const Int64 Size = static_cast<Int64>(FDataString.size());
  if (Count <= 0 || FPosition < 0 || FPosition >= Size) return 0;
  const Integer N = static_cast<Integer>(std::min<Int64>(Count, Size - FPosition));
  std::memcpy(Buffer, FDataString.data() + FPosition, static_cast<std::size_t>(N));
  FPosition += N;
  return N;
}

Integer TStringStream::Write(const void* Buffer, Integer Count) {
  if (Count <= 0 || FPosition < 0) return 0;
  if (FPosition > kInt64Max - Count) OutOfMemory();
  const Int64 End = FPosition + Count;
  if (End > static_cast<Int64>(FDataString.size())) SetSize(End);
  std::memcpy(FDataString.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
  FPosition = End;
  return Count;
}

Int64 TStringStream::Seek(Int64 Offset, TSeekOrigin Origin) {
  FPosition = SeekTarget(Offset, Origin, FPosition, static_cast<Int64>(FDataString.size()));
  return FPosition;
}

void TStringStream::SetSize(Int64 NewSize) {
  if (NewSize < 0 || NewSize > kMaxBlock) OutOfMemory();
  try {
    FDataString.resize(static_cast<std::size_t>(NewSize), '\0');
  } catch (const std::bad_alloc&) {
    OutOfMemory();
  }
  if (FPosition > NewSize) FPosition = NewSize;
}

AnsiString TStringStream::ReadString(Integer Count) {
  const Int64 Size = static_cast<Int64>(FDataString.size());
  if (Count <= 0 || FPosition < 0 || FPosition >= Size) return AnsiString();
  const Int64 N = std::min<Int64>(Count, Size - FPosition);
  AnsiString Result = FDataString.substr(static_cast<std::size_t>(FPosition), static_cast<std::size_t>(N));
  FPosition += N;
  return Result;
}

void TStringStream::WriteString(const AnsiString& AString) {
  WriteBuffer(AString.data(), static_cast<Int64>(AString.size()));
}
