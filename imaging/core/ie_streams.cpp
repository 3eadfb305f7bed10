#include "imaging/core/ie_streams.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

#include "platform/rtl/exceptions.h"

AnsiString IETempFolder;
std::function<bool(size_t Size)> IEAllocationRefusal;

namespace {

constexpr size_t kHeapLimit = 1048576;
// Room before the handed-out pointer: keeps it 16-byte aligned and holds the kind byte.
constexpr size_t kHeader = 16;
constexpr Byte kFromHeap = 0;
constexpr Byte kFromGlobal = 1;

bool Refused(size_t size) { return IEAllocationRefusal && IEAllocationRefusal(size); }

// Blocks of whole images are touched page by page as the first rows are written; with 4 KiB
// pages a 36 MB image costs some nine thousand page faults, which take longer than decoding
// into it. Large pages cut that to a few dozen where the system offers them on request; where it
// does not, the advice changes nothing.
constexpr size_t kHugeLimit = size_t(8) << 20;
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kPopulateLimit = size_t(256) << 20;
// Under AddressSanitizer the blocks stay with the C allocator, whose guard zones catch a codec
// that writes past the last row.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapLargeBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMapLargeBlocks = false;
#else
constexpr bool kMapLargeBlocks = true;
#endif
#else
constexpr bool kMapLargeBlocks = true;
#endif

void AskForHugePages(void* Block, size_t Size) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(Block) + page - 1) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(Block) + Size) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

// A large zero-filled block mapped on its own, starting on a large-page boundary: the C
// allocator's own mappings start anywhere, and the unaligned first and last two megabytes of
// such a block stay in small pages (a thousand faults on a 36 MB image). The pages are put in
// in one go where the system can, which costs about half of taking them fault by fault as the
// codec reaches them; the system's fresh pages are zero, so nothing is cleared twice.
void* MappedBlock(size_t Size, size_t& Length) {
  if (Size > SIZE_MAX - 2 * kHugePage) return nullptr;
  const size_t length = (Size + kHugePage - 1) & ~(kHugePage - 1);
  const size_t span = length + kHugePage;
  void* map = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(map);
  const uintptr_t aligned = (start + kHugePage - 1) & ~uintptr_t(kHugePage - 1);
  if (aligned > start) munmap(map, aligned - start);
  if (const uintptr_t end = aligned + length; end < start + span) munmap(reinterpret_cast<void*>(end), start + span - end);
  void* block = reinterpret_cast<void*>(aligned);
  madvise(block, length, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
  // Refused by kernels older than 5.14 and when memory is short: the pages then come by faults.
  // A very large block is left to fill as it is written, so that a load that stops early (a
  // damaged file) does not claim memory it never uses.
  if (length <= kPopulateLimit) madvise(block, length, MADV_POPULATE_WRITE);
#endif
  Length = length;
  return block;
}

void* AlignedBlock(size_t size, bool zeroed) {
  // calloc's blocks are 16-byte aligned here, and a large one comes zeroed from the system
  // without a pass over it: a memset would touch every page of a 36 MB image before the codec
  // writes it.
  static_assert(alignof(std::max_align_t) >= kHeader);
  if (zeroed) {
    void* block = std::calloc(1, size);
    if (block && size >= kHugeLimit) AskForHugePages(block, size);
    return block;
  }
  void* p = nullptr;
  if (posix_memalign(&p, kHeader, size) != 0) return nullptr;
  return p;
}

// The header before an IEAllocMem block: the mapping's length in its first eight bytes (zero
// for a block of the C allocator), the kind in its last byte.
void SetMappedLength(Byte* User, size_t Length) { std::memcpy(User - kHeader, &Length, sizeof Length); }
size_t MappedLength(const Byte* User) {
  size_t length = 0;
  std::memcpy(&length, User - kHeader, sizeof length);
  return length;
}

}  // namespace

void* IEAllocMem(size_t Size) {
  if (Size > SIZE_MAX - kHeader || Refused(Size)) return nullptr;
  Byte kind = kFromHeap;
  void* raw = nullptr;
  size_t mapped = 0;
  if (Size < kHeapLimit) raw = AlignedBlock(Size + kHeader, false);
  if (!raw) {
    kind = kFromGlobal;
    if (Size >= kHugeLimit && kMapLargeBlocks) raw = MappedBlock(Size + kHeader, mapped);
    if (!raw) raw = AlignedBlock(Size + kHeader, true);
  }
  if (!raw) return nullptr;
  Byte* user = static_cast<Byte*>(raw) + kHeader;
  SetMappedLength(user, mapped);
  user[-1] = kind;
  return user;
}

void IEFreeMem(void*& Block) {
  if (!Block) return;
  // Both kinds come from the same aligned allocator here, or from a mapping of their own; the
  // kind byte is kept for callers that ask where a block lives.
  Byte* raw = static_cast<Byte*>(Block) - kHeader;
  if (const size_t mapped = MappedLength(static_cast<Byte*>(Block)); mapped != 0)
    munmap(raw, mapped);
  else
    std::free(raw);
  Block = nullptr;
}

void* IEGlobalAlloc(size_t Size) {
  if (Refused(Size)) return nullptr;
  return AlignedBlock(Size ? Size : 1, true);
}

void* IEZeroedWorkBuffer(size_t Size) { return AlignedBlock(Size ? Size : 1, true); }

void IEGlobalFree(void*& Block) {
  std::free(Block);
  Block = nullptr;
}

void* IEHeapAlloc(size_t Size) {
  if (Refused(Size)) return nullptr;
  return AlignedBlock(Size ? Size : 1, false);
}

void IEHeapFree(void*& Block) {
  std::free(Block);
  Block = nullptr;
}

void IEGetMemOrNil(void*& P, size_t Size) { P = IEHeapAlloc(Size); }

Int64 IEGetMemory(bool Available) {
  std::ifstream in("/proc/meminfo");
  std::string key, unit;
  Int64 value = 0;
  const char* wanted = Available ? "MemAvailable:" : "MemTotal:";
  while (in >> key >> value) {
    std::getline(in, unit);
    if (key == wanted) return value * 1024;
  }
  return 0;
}

void IEGetTempFileName(const AnsiString& Prefix, const AnsiString& Folder, AnsiString& Name) {
  static thread_local std::mt19937 gen{std::random_device{}()};
  std::uniform_int_distribution<unsigned> dist(0, 0x7FFFFFFE);
  struct stat st;
  do {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%.8X", dist(gen));
    Name = Folder + Prefix + "-" + hex + ".tmp";
  } while (::lstat(Name.c_str(), &st) == 0);
}

// The framework raises EInOutError here; the platform layer has no such class, so the nearest
// one that carries the text is used. AllocateFile swallows it either way.
TIETemporaryFileStream::TIETemporaryFileStream(const AnsiString& FileName) : THandleStream(-1) {
  FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (FHandle < 0) throw EFCreateError("Unable to create " + FileName);
  // Unlinked at once: the name is never reopened by anyone and the file vanishes with the
  // handle, even when the process dies.
  ::unlink(FileName.c_str());
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

namespace {

AnsiString TempFolder() {
  AnsiString folder = IETempFolder;
  if (folder.empty()) {
    const char* env = std::getenv("TMPDIR");
    folder = (env && *env) ? env : "/tmp";
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool FullRead(int fd, void* buf, Int64 size, Int64 pos) {
  Byte* p = static_cast<Byte*>(buf);
  while (size > 0) {
    ssize_t n = ::pread(fd, p, static_cast<size_t>(size), pos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= n;
    pos += n;
  }
  return true;
}

bool FullWrite(int fd, const void* buf, Int64 size, Int64 pos) {
  const Byte* p = static_cast<const Byte*>(buf);
  while (size > 0) {
    ssize_t n = ::pwrite(fd, p, static_cast<size_t>(size), pos);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= n;
    pos += n;
  }
  return true;
}

}  // namespace

TIEFileBuffer::~TIEFileBuffer() { DeAllocate(); }

bool TIEFileBuffer::AllocateFile(const AnsiString& Prefix, Int64 Size) {
  DeAllocate();
  if (Size < 0) return false;
  try {
    AnsiString folder = TempFolder();
    struct statvfs vfs;
    if (::statvfs(folder.c_str(), &vfs) != 0) return false;
    Int64 freeBytes = Int64(vfs.f_bavail) * Int64(vfs.f_frsize);
    if (freeBytes - 128000000 < Size) return false;
    // A name can be taken between the existence test and the exclusive create; draw again.
    for (int attempt = 0; attempt < 16 && !FStream; ++attempt) {
      AnsiString name;
      IEGetTempFileName(Prefix, folder, name);
      try {
        FStream = new TIETemporaryFileStream(name);
        FFileName = name;
      } catch (const Exception&) {
        struct stat st;
        if (::lstat(name.c_str(), &st) != 0) return false;
      }
    }
    if (!FStream) return false;
    FStream->SetSize(Size);
    FSize = Size;
    if (Size > 0) {
      if (static_cast<UInt64>(Size) > SIZE_MAX) {
        DeAllocate();
        return false;
      }
      int err;
      do err = ::posix_fallocate(FStream->Handle(), 0, Size); while (err == EINTR);
      if (err != 0) {
        DeAllocate();
        return false;
      }
      void* view = ::mmap(nullptr, static_cast<size_t>(Size), PROT_READ | PROT_WRITE, MAP_SHARED, FStream->Handle(), 0);
      if (view == MAP_FAILED) {
        DeAllocate();
        return false;
      }
      FView = static_cast<Byte*>(view);
    }
    return true;
  } catch (...) {
    DeAllocate();
    return false;
  }
}

void TIEFileBuffer::DeAllocate() {
  if (!FStream) return;
  UnMapAll();
  if (FView) ::munmap(FView, static_cast<size_t>(FSize));
  FView = nullptr;
  delete FStream;
  FStream = nullptr;
  FFileName.clear();
  FSize = 0;
}

void* TIEFileBuffer::Map(TIEDataAccess Access, Int64 Position, Int64 Size) {
  if (Size < 0 || Position < 0 || (FStream && Position > FSize - Size)) return nullptr;
  void* block = IEHeapAlloc(static_cast<size_t>(Size));
  if (!block) return nullptr;
  if (FStream && (Access & iedRead)) {
    if (!FullRead(FStream->Handle(), block, Size, Position)) std::memset(block, 0, static_cast<size_t>(Size));
  }
  FMapped.push_back({Position, Size, block, Access});
  return block;
}

Integer TIEFileBuffer::IndexOfMapped(void* Block) const {
  for (size_t i = 0; i < FMapped.size(); ++i)
    if (FMapped[i].Block == Block) return static_cast<Integer>(i);
  return -1;
}

void TIEFileBuffer::UnMap(void* Block) {
  Integer index = IndexOfMapped(Block);
  if (index < 0) throw EListError("List index out of bounds (-1)");
  TMappedBlock rec = FMapped[static_cast<size_t>(index)];
  FMapped.erase(FMapped.begin() + index);
  if (FStream && (rec.Access & iedWrite)) FullWrite(FStream->Handle(), rec.Block, rec.Size, rec.Position);
  IEHeapFree(rec.Block);
}

void TIEFileBuffer::UnMapAll() {
  while (!FMapped.empty()) UnMap(FMapped.back().Block);
}

void TIEFileBuffer::CopyTo(TIEFileBuffer* Dest, Int64 Size, Int64 Position) {
  if (!Dest || !FStream || !Dest->FStream || Size <= 0 || Position < 0) return;
  UnMapAll();
  Dest->UnMapAll();
  constexpr Int64 kChunk = 1048576;
  std::vector<Byte> chunk(static_cast<size_t>(std::min<Int64>(kChunk, Size)));
  for (Int64 done = 0; done < Size;) {
    Int64 n = std::min<Int64>(kChunk, Size - done);
    if (!FullRead(FStream->Handle(), chunk.data(), n, Position + done)) return;
    if (!FullWrite(Dest->FStream->Handle(), chunk.data(), n, Position + done)) return;
    done += n;
  }
}
