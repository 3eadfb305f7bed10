// Byte streams: the abstract stream, streams over file descriptors and files, memory streams
// and a stream over a string.
#pragma once

#include "platform/rtl/classes.h"

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };
inline constexpr TSeekOrigin soFromBeginning = soBeginning;
inline constexpr TSeekOrigin soFromCurrent = soCurrent;
inline constexpr TSeekOrigin soFromEnd = soEnd;

class TStream : public TObject {
 public:
  // Reads up to Count bytes; answers how many were read (0 at the end or on error).
  virtual Integer Read(void* Buffer, Integer Count) = 0;
  // Writes up to Count bytes; answers how many were written.
  virtual Integer Write(const void* Buffer, Integer Count) = 0;
  // Answers the new position.
  virtual Int64 Seek(Int64 Offset, TSeekOrigin Origin) = 0;

  Int64 Position();
  void SetPosition(Int64 Pos);
  virtual Int64 Size();
  // Streams that cannot change their size ignore this.
  virtual void SetSize(Int64 NewSize);

  // Reads exactly Count bytes or raises EReadError "Stream read error".
  void ReadBuffer(void* Buffer, Int64 Count);
  // Writes exactly Count bytes or raises EWriteError "Stream write error".
  void WriteBuffer(const void* Buffer, Int64 Count);
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  // Answers the number of bytes copied. A short source raises EReadError.
  Int64 CopyFrom(TStream* Source, Int64 Count);
};

// A stream over an open file descriptor, which it does not close.
class THandleStream : public TStream {
 public:
  explicit THandleStream(int AHandle) : FHandle(AHandle) {}

  Integer Read(void* Buffer, Integer Count) override;
  Integer Write(const void* Buffer, Integer Count) override;
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  // Truncates or extends the file (new bytes read as zero) and leaves the position at
  // NewSize. Raises EOSError when the descriptor cannot be resized.
  void SetSize(Int64 NewSize) override;

  int Handle() const { return FHandle; }

 protected:
  int FHandle;
};

// Open modes: one access mode, or fmCreate (make or empty the file, then read and write).
inline constexpr Word fmCreate = 0xFF00;
inline constexpr Word fmOpenRead = 0x0000;
inline constexpr Word fmOpenWrite = 0x0001;
inline constexpr Word fmOpenReadWrite = 0x0002;
// Share modes are accepted for compatibility and have no effect: Linux has no mandatory
// sharing locks, so other openers are never refused.
inline constexpr Word fmShareCompat = 0x0000;
inline constexpr Word fmShareExclusive = 0x0010;
inline constexpr Word fmShareDenyWrite = 0x0020;
inline constexpr Word fmShareDenyRead = 0x0030;
inline constexpr Word fmShareDenyNone = 0x0040;

// A file opened by name. Opening fails with EFOpenError "Cannot open file \"<absolute path>\".
// <system error text>", creating with EFCreateError "Cannot create file \"...\". ...".
// A folder cannot be opened as a file stream.
class TFileStream : public THandleStream {
 public:
  TFileStream(const AnsiString& AFileName, Word Mode);
  TFileStream(const WideString& AFileName, Word Mode);
  ~TFileStream() override;

  const AnsiString& FileName() const { return FFileName; }

 private:
  AnsiString FFileName;
};

// A stream over a block of memory the stream does not own: reading and seeking only.
// Derived classes hand the block over with SetPointer.
class TCustomMemoryStream : public TStream {
 public:
  Integer Read(void* Buffer, Integer Count) override;
  // Answers 0: the block's size is fixed.
  Integer Write(const void* Buffer, Integer Count) override;
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 Size() override { return FSize; }

  void SaveToStream(TStream* Stream);
  void SaveToFile(const AnsiString& FileName);

  Pointer Memory() const { return FMemory; }

 protected:
  void SetPointer(Pointer Ptr, Int64 Size);

  Pointer FMemory = nullptr;
  Int64 FSize = 0;
  Int64 FPosition = 0;
};

// A growable memory stream. The block grows geometrically, so many small writes cost
// linear time. Writing past the end fills the gap with zeros; SetSize zero-fills new bytes
// and pulls the position back to the new end when it lay beyond it. A size that cannot be
// allocated raises EOutOfMemory.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  Integer Write(const void* Buffer, Integer Count) override;
  void SetSize(Int64 NewSize) override;
  void Clear();

  // Replaces the contents with all of Stream (read from its start); the position stays.
  void LoadFromStream(TStream* Stream);
  void LoadFromFile(const AnsiString& FileName);

  Int64 Capacity() const { return FCapacity; }
  // Never below the present size.
  void SetCapacity(Int64 NewCapacity);

 private:
  void Reallocate(Int64 NewCapacity);
  Int64 FCapacity = 0;
};

// A stream over a string of bytes; writing overwrites in place and extends at the end.
class TStringStream : public TStream {
 public:
  explicit TStringStream(const AnsiString& AString = AnsiString());

  Integer Read(void* Buffer, Integer Count) override;
  Integer Write(const void* Buffer, Integer Count) override;
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 Size() override { return static_cast<Int64>(FDataString.size()); }
  void SetSize(Int64 NewSize) override;

  // Up to Count bytes from the position, which moves past them.
  AnsiString ReadString(Integer Count);
  void WriteString(const AnsiString& AString);
  const AnsiString& DataString() const { return FDataString; }

 private:
  AnsiString FDataString;
  Int64 FPosition = 0;
};
