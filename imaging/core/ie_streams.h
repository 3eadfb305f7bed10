// Storage primitives of the imaging library: the block allocator handed to image buffers and
// codec libraries, the free-memory query, and the temporary-file store of file-backed images.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "imaging/core/ie_types.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// Folder for the library's temporary files; empty means the system's temporary folder.
extern AnsiString IETempFolder;

// Blocks of IEAllocMem are aligned to 16 bytes (codec libraries use wide loads on them). Blocks
// below 1 MB come from the heap, larger ones from zero-filled memory; a hidden header before
// the pointer records which, so IEFreeMem releases either kind.
void* IEAllocMem(size_t Size);
void IEFreeMem(void*& Block);
// Zero-filled block; nullptr when the memory is not there.
void* IEGlobalAlloc(size_t Size);
void IEGlobalFree(void*& Block);
// A codec's zero-filled working buffer (not an image, so not subject to the refusal below);
// nullptr when the memory is not there. Released with std::free.
void* IEZeroedWorkBuffer(size_t Size);
// Heap block, or nullptr instead of an exception.
void IEGetMemOrNil(void*& P, size_t Size);
// Heap block released by IEHeapFree; nullptr when refused.
void* IEHeapAlloc(size_t Size);
void IEHeapFree(void*& Block);

// Test seam: when set, every allocation above is refused while it returns true for the size.
extern std::function<bool(size_t Size)> IEAllocationRefusal;

// Available (True) or total (False) physical memory in bytes; 0 when unknown.
Int64 IEGetMemory(bool Available);

// Folder + Prefix + "-" + eight upper-case hexadecimal digits + ".tmp", not naming an existing
// file. Folder must end with "/".
void IEGetTempFileName(const AnsiString& Prefix, const AnsiString& Folder, AnsiString& Name);

// A temporary file created exclusively (no existing file is ever opened) and unlinked at once,
// so it disappears when its handle closes, even when the process dies. Raises
// EInOutError "Unable to create <name>" on failure.
// Puts a stream back where it was when the keeper was made, however the scope is left; a
// failure to seek back is dropped (the scope may be unwinding already).
class TIEStreamPositionKeeper {
 public:
  explicit TIEStreamPositionKeeper(TStream* S) : FStream(S), FPosition(S->Position()) {}
  ~TIEStreamPositionKeeper() {
    try {
      FStream->SetPosition(FPosition);
    } catch (...) {
    }
  }
  TIEStreamPositionKeeper(const TIEStreamPositionKeeper&) = delete;
  TIEStreamPositionKeeper& operator=(const TIEStreamPositionKeeper&) = delete;
  Int64 Position() const { return FPosition; }

 private:
  TStream* FStream;
  Int64 FPosition;
};

class TIETemporaryFileStream : public THandleStream {
 public:
  explicit TIETemporaryFileStream(const AnsiString& FileName);
  ~TIETemporaryFileStream() override;
  AnsiString ClassName() const override { return "TIETemporaryFileStream"; }
};

// The temporary-file store of a file-backed image: one file, mapped whole into memory (shared),
// so the image's rows are plain pointers into it that stay valid until the file is released.
// Map hands out separate heap copies of a file range, written back on release when mapped with
// write access; the page cache keeps those copies and the shared view coherent.
class TIEFileBuffer {
 public:
  TIEFileBuffer() = default;
  ~TIEFileBuffer();
  TIEFileBuffer(const TIEFileBuffer&) = delete;
  TIEFileBuffer& operator=(const TIEFileBuffer&) = delete;

  // Creates a file of Size bytes named Prefix-XXXXXXXX.tmp; False when the disk lacks Size plus
  // 128,000,000 bytes, the file cannot be made or its blocks cannot all be reserved, or it
  // cannot be mapped. The blocks are reserved up front: a shared view of a sparse file would
  // kill the process (SIGBUS) the first time a full disk refuses a page.
  bool AllocateFile(const AnsiString& Prefix, Int64 Size);
  void DeAllocate();
  bool IsAllocated() const { return FStream != nullptr; }
  // First byte of the file's shared view; nil when nothing is allocated or the file is empty.
  Byte* View() const { return FView; }
  Int64 Size() const { return FSize; }
  // nullptr when the block cannot be had or the range lies outside the file.
  void* Map(TIEDataAccess Access, Int64 Position, Int64 Size);
  // Raises EListError for a block that is not mapped.
  void UnMap(void* Block);
  void UnMapAll();
  Integer IndexOfMapped(void* Block) const;
  // Copies Size bytes at Position from this file into Dest's file at the same position.
  void CopyTo(TIEFileBuffer* Dest, Int64 Size, Int64 Position);

  const AnsiString& FileName() const { return FFileName; }
  Integer MappedCount() const { return static_cast<Integer>(FMapped.size()); }

 private:
  struct TMappedBlock {
    Int64 Position;
    Int64 Size;
    void* Block;
    TIEDataAccess Access;
  };
  TIETemporaryFileStream* FStream = nullptr;
  Byte* FView = nullptr;
  AnsiString FFileName;
  Int64 FSize = 0;
  std::vector<TMappedBlock> FMapped;
};
