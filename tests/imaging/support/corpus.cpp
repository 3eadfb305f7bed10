#include "tests/imaging/support/corpus.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <random>

#include "platform/rtl/heap.h"
#include "tests/support/fixtures.h"

namespace ietest {

namespace {

uint64_t GetField(const std::vector<Byte>& D, const TCorpusField& F) {
  uint64_t v = 0;
  for (int i = 0; i < F.Bytes; ++i) {
    const Byte b = D[F.Offset + static_cast<size_t>(i)];
    v |= F.BigEndian ? uint64_t(b) << (8 * (F.Bytes - 1 - i)) : uint64_t(b) << (8 * i);
  }
  return v;
}

void PutField(std::vector<Byte>& D, const TCorpusField& F, uint64_t V) {
  for (int i = 0; i < F.Bytes; ++i) {
    const int shift = F.BigEndian ? 8 * (F.Bytes - 1 - i) : 8 * i;
    D[F.Offset + static_cast<size_t>(i)] = static_cast<Byte>(V >> shift);
  }
}

uint32_t BigEndian32(const std::vector<Byte>& D, size_t At) {
  return uint32_t(D[At]) << 24 | uint32_t(D[At + 1]) << 16 | uint32_t(D[At + 2]) << 8 | D[At + 3];
}

// IHDR's width and height.
std::vector<TCorpusField> PngSizeFields(const std::vector<Byte>& D) {
  if (D.size() < 24 || std::memcmp(D.data() + 12, "IHDR", 4) != 0) return {};
  return {{16, 4, true}, {20, 4, true}};
}

// The frame header's height and width: the markers are walked by their lengths up to the first
// SOFn, which lies past the first 64 bytes in every file with tables before it.
std::vector<TCorpusField> JpegSizeFields(const std::vector<Byte>& D) {
  size_t at = 2;
  while (at + 9 <= D.size() && D[at] == 0xFF) {
    const Byte m = D[at + 1];
    const size_t len = size_t(D[at + 2]) << 8 | D[at + 3];
    const bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
    if (frame) return {{at + 5, 2, true}, {at + 7, 2, true}};
    if (len < 2) break;
    at += 2 + len;
  }
  return {};
}

// BITMAPINFOHEADER and later: 32-bit width and height; the OS/2 core header: 16-bit ones.
std::vector<TCorpusField> BmpSizeFields(const std::vector<Byte>& D) {
  if (D.size() < 26 || D[0] != 'B' || D[1] != 'M') return {};
  const uint32_t header = uint32_t(D[14]) | uint32_t(D[15]) << 8 | uint32_t(D[16]) << 16 | uint32_t(D[17]) << 24;
  if (header == 12) return {{18, 2, false}, {20, 2, false}};
  return {{18, 4, false}, {22, 4, false}};
}

// The video's frame width and height in its format chunk, and the frame count of its stream
// header, found where the headers put them.
std::vector<TCorpusField> AviSizeFields(const std::vector<Byte>& D) {
  std::vector<TCorpusField> fields;
  auto find = [&](const char* Id) {
    for (size_t at = 12; at + 8 <= D.size(); ++at)
      if (std::equal(Id, Id + 4, D.begin() + std::ptrdiff_t(at))) return at + 8;
    return size_t(0);
  };
  if (const size_t strh = find("strh"); strh && strh + 36 <= D.size()) fields.push_back({strh + 32, 4, false});
  if (const size_t strf = find("strf"); strf && strf + 12 <= D.size()) {
    fields.push_back({strf + 4, 4, false});
    fields.push_back({strf + 8, 4, false});
  }
  return fields;
}

// The logical screen's size and the first frame's, found past the colour table and extensions.
// The value fields of ImageWidth and ImageLength in the first directory, in the file's order.
std::vector<TCorpusField> TiffSizeFields(const std::vector<Byte>& D) {
  if (D.size() < 8 || D[0] != D[1] || (D[0] != 'I' && D[0] != 'M')) return {};
  const bool big = D[0] == 'M';
  auto u16 = [&](size_t at) { return big ? size_t(D[at]) << 8 | D[at + 1] : size_t(D[at + 1]) << 8 | D[at]; };
  const size_t ifd = big ? size_t(D[4]) << 24 | size_t(D[5]) << 16 | size_t(D[6]) << 8 | D[7]
                         : size_t(D[7]) << 24 | size_t(D[6]) << 16 | size_t(D[5]) << 8 | D[4];
  if (ifd < 8 || ifd + 2 > D.size()) return {};
  std::vector<TCorpusField> fields;
  const size_t n = u16(ifd);
  for (size_t i = 0; i < n && ifd + 2 + 12 * (i + 1) <= D.size(); ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const size_t tag = u16(e), type = u16(e + 2);
    if ((tag == 256 || tag == 257) && (type == 3 || type == 4)) fields.push_back({e + 8, type == 3 ? 2 : 4, big});
  }
  return fields;
}

std::vector<TCorpusField> GifSizeFields(const std::vector<Byte>& D) {
  if (D.size() < 13 || D[0] != 'G' || D[1] != 'I' || D[2] != 'F') return {};
  std::vector<TCorpusField> fields = {{6, 2, false}, {8, 2, false}};
  size_t at = 13 + ((D[10] & 0x80) ? 3u << ((D[10] & 7) + 1) : 0u);
  while (at < D.size() && D[at] == 0x21) {
    at += 2;
    while (at < D.size() && D[at] != 0) at += D[at] + 1u;
    ++at;
  }
  if (at + 9 < D.size() && D[at] == 0x2C) {
    fields.push_back({at + 5, 2, false});
    fields.push_back({at + 7, 2, false});
  }
  return fields;
}

// The images of an icon or cursor directory: where each one's data starts and how long it is,
// for those that lie inside Data.
std::vector<std::pair<size_t, size_t>> IcoImages(const std::vector<Byte>& D) {
  std::vector<std::pair<size_t, size_t>> out;
  if (D.size() < 6 || D[0] != 0 || D[1] != 0 || (D[2] != 1 && D[2] != 2)) return out;
  const size_t count = size_t(D[4]) | size_t(D[5]) << 8;
  for (size_t i = 0; i < count && 6 + 16 * (i + 1) <= D.size(); ++i) {
    const Byte* e = D.data() + 6 + 16 * i;
    const size_t size = size_t(e[8]) | size_t(e[9]) << 8 | size_t(e[10]) << 16 | size_t(e[11]) << 24;
    const size_t at = size_t(e[12]) | size_t(e[13]) << 8 | size_t(e[14]) << 16 | size_t(e[15]) << 24;
    if (at < D.size() && size <= D.size() - at) out.emplace_back(at, size);
  }
  return out;
}

bool IsPngAt(const std::vector<Byte>& D, size_t At) {
  static const Byte kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return At + 24 <= D.size() && std::memcmp(D.data() + At, kSignature, 8) == 0;
}

// Each image's own size: the bitmap header's width and height, or a PNG image's IHDR.
std::vector<TCorpusField> IcoSizeFields(const std::vector<Byte>& D) {
  std::vector<TCorpusField> out;
  for (const auto& [at, size] : IcoImages(D)) {
    if (IsPngAt(D, at)) {
      out.push_back({at + 16, 4, true});
      out.push_back({at + 20, 4, true});
    } else if (size >= 12) {
      out.push_back({at + 4, 4, false});
      out.push_back({at + 8, 4, false});
    }
  }
  return out;
}

// The CRCs of the PNG images inside an icon.
void FixIcoPngCrcs(std::vector<Byte>& D) {
  for (const auto& [at, size] : IcoImages(D)) {
    if (!IsPngAt(D, at)) continue;
    std::vector<Byte> png(D.begin() + static_cast<std::ptrdiff_t>(at), D.begin() + static_cast<std::ptrdiff_t>(at + size));
    FixPngChunkCrcs(png);
    std::copy(png.begin(), png.end(), D.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

// The window's right and bottom edges (xmax, ymax) of a PCX image, or of the first page of a
// DCX file, whose header lies beyond the table of page offsets.
std::vector<TCorpusField> PcxSizeFields(const std::vector<Byte>& D) {
  size_t at = 0;
  if (D.size() >= 8 && D[0] == 0xB1 && D[1] == 0x68 && D[2] == 0xDE && D[3] == 0x3A)
    at = size_t(D[4]) | size_t(D[5]) << 8 | size_t(D[6]) << 16 | size_t(D[7]) << 24;
  if (at > D.size() || D.size() - at < 128 || D[at] != 0x0A) return {};
  return {{at + 8, 2, false}, {at + 10, 2, false}};
}

std::vector<TCorpusField> TgaSizeFields(const std::vector<Byte>& D) {
  if (D.size() < 18) return {};
  return {{12, 2, false}, {14, 2, false}};
}

// Rows and columns (explicit little-endian "US" elements) and the lengths of the items of
// encapsulated pixel data: where a DICOM file states the sizes it reads by.
std::vector<TCorpusField> DicomSizeFields(const std::vector<Byte>& D) {
  std::vector<TCorpusField> fields;
  for (size_t i = 0; i + 10 <= D.size() && fields.size() < 8; ++i) {
    if (D[i] == 0x28 && D[i + 1] == 0 && (D[i + 2] == 0x10 || D[i + 2] == 0x11) && D[i + 3] == 0 && D[i + 4] == 'U' &&
        D[i + 5] == 'S')
      fields.push_back({i + 8, 2, false});
    if (D[i] == 0xFE && D[i + 1] == 0xFF && D[i + 2] == 0 && D[i + 3] == 0xE0) fields.push_back({i + 4, 4, false});
  }
  return fields;
}

// The canvas height and width, and the bottom and right edges of the first layer when there is
// one: a layer's rectangle claims its size as much as the header does.
std::vector<TCorpusField> PsdSizeFields(const std::vector<Byte>& D) {
  if (D.size() < 26) return {};
  std::vector<TCorpusField> fields = {{14, 4, true}, {18, 4, true}};
  uint64_t at = 26;
  for (int section = 0; section < 2 && at + 4 <= D.size(); ++section) at += 4 + uint64_t(BigEndian32(D, size_t(at)));
  // The layer section's length, the layer information's length and the count, then the record.
  if (at + 10 + 16 <= D.size() && BigEndian32(D, size_t(at)) > 0) {
    const size_t record = size_t(at) + 10;
    fields.push_back({record + 8, 4, true});
    fields.push_back({record + 12, 4, true});
  }
  return fields;
}

// JPEG 2000: the image and tile size segment of the code stream (wherever the JP2 boxes put
// it), and the JP2 image header box, which repeats the size.
std::vector<TCorpusField> Jp2SizeFields(const std::vector<Byte>& D) {
  std::vector<TCorpusField> fields;
  for (size_t i = 0; i + 32 <= D.size(); ++i)
    if (D[i] == 0xFF && D[i + 1] == 0x4F && D[i + 2] == 0xFF && D[i + 3] == 0x51) {
      for (size_t at : {8, 12, 24, 28}) fields.push_back({i + at, 4, true});
      break;
    }
  for (size_t i = 0; i + 16 <= D.size(); ++i)
    if (D[i] == 'i' && D[i + 1] == 'h' && D[i + 2] == 'd' && D[i + 3] == 'r') {
      fields.push_back({i + 4, 4, true});
      fields.push_back({i + 8, 4, true});
      break;
    }
  return fields;
}

// Kilobytes of a field of /proc/<pid>/status ("VmPeak", "VmHWM", ...); 0 when unknown.
uint64_t StatusKb(const std::string& Pid, const char* Field) {
  FILE* f = std::fopen(("/proc/" + Pid + "/status").c_str(), "r");
  if (!f) return 0;
  char line[256];
  uint64_t kb = 0;
  const size_t n = std::strlen(Field);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, Field, n) == 0 && line[n] == ':') {
      kb = std::strtoull(line + n + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return kb;
}

// The address space and the resident pages of a process in kilobytes, from /proc/<pid>/statm.
struct TMemoryKb {
  uint64_t Size = 0, Resident = 0;
};
TMemoryKb MemoryKb(pid_t Pid) {
  FILE* f = std::fopen(("/proc/" + std::to_string(Pid) + "/statm").c_str(), "r");
  if (!f) return {};
  unsigned long long size = 0, resident = 0;
  const int got = std::fscanf(f, "%llu %llu", &size, &resident);
  std::fclose(f);
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
  return got == 2 ? TMemoryKb{size * page, resident * page} : TMemoryKb{};
}

// What the child hands back through its pipe: frames of a 32-bit length and a payload whose
// first byte says what it is ('B' the child's base, 'S' a read starts, 'R' its result).
void PutText(std::string& Out, const std::string& S) {
  const uint32_t n = static_cast<uint32_t>(S.size());
  Out.append(reinterpret_cast<const char*>(&n), 4);
  Out += S;
}
void PutNumber(std::string& Out, uint64_t V) { Out.append(reinterpret_cast<const char*>(&V), 8); }

struct TReader {
  const std::string& In;
  size_t At = 0;
  bool Ok = true;
  uint64_t Number() {
    uint64_t v = 0;
    if (At + 8 > In.size()) return Ok = false, 0;
    std::memcpy(&v, In.data() + At, 8);
    At += 8;
    return v;
  }
  std::string Text() {
    uint32_t n = 0;
    if (At + 4 > In.size()) return Ok = false, std::string();
    std::memcpy(&n, In.data() + At, 4);
    At += 4;
    if (At + n > In.size()) return Ok = false, std::string();
    std::string s = In.substr(At, n);
    At += n;
    return s;
  }
};

void WriteAll(int Fd, const std::string& S) {
  size_t done = 0;
  while (done < S.size()) {
    const ssize_t n = ::write(Fd, S.data() + done, S.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void SendFrame(int Fd, const std::string& Payload) {
  std::string frame;
  PutText(frame, Payload);
  WriteAll(Fd, frame);
}

// Makes the reads From.. of Jobs in turn and reports each; leaves after a read that went over
// the memory cap, so that the next one is measured in a fresh process.
[[noreturn]] void RunChild(int Fd, const std::vector<TCorpusJob>& Jobs, size_t From, const TCorpusReader& Reader,
                           uint64_t CapMegaBytes, const std::string& TempDir) {
  // Temporary files of the file store land where the parent clears them after a kill.
  if (!TempDir.empty()) ::setenv("TMPDIR", TempDir.c_str(), 1);
  // As in the program: a few shared allocator arenas. Otherwise each helper thread a read starts
  // (the painter's for large fills) reserves an arena of 64 MB of address space of its own, which
  // the cap would count as the read's.
  ShareAllocatorArenas();
  const uint64_t vmBase = StatusKb("self", "VmSize"), rssBase = StatusKb("self", "VmRSS");
  // The parent measures the resident pages the reads add from here: a forked child starts with
  // fewer than its parent, whose library pages it maps again only as it touches them.
  std::string base = "B";
  PutNumber(base, vmBase);
  PutNumber(base, rssBase);
  SendFrame(Fd, base);
  for (size_t i = From; i < Jobs.size(); ++i) {
    std::string start = "S";
    PutNumber(start, i);
    SendFrame(Fd, start);
    TCorpusResult result;
    std::string raised;
    testing::TestPartResultArray failures;
    {
      // Both scopes: a reporter of this thread inherited from the parent (a test that checks
      // for failures) would otherwise take the read's failures away from the pipe.
      testing::ScopedFakeTestPartResultReporter all(testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS,
                                                    &failures);
      testing::ScopedFakeTestPartResultReporter mine(
          testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
      try {
        result = Reader(*Jobs[i].Data, Jobs[i].CopyIndex);
      } catch (const std::exception& e) {
        raised = std::string("the read raised an exception: ") + e.what();
      } catch (...) {
        raised = "the read raised an exception";
      }
    }
    // The high-water marks of the process: the first read to push them past the cap is the one
    // that took too much.
    const uint64_t vmPeak = StatusKb("self", "VmPeak"), rssPeak = StatusKb("self", "VmHWM");
    const uint64_t grown = std::max(vmPeak > vmBase ? vmPeak - vmBase : 0, rssPeak > rssBase ? rssPeak - rssBase : 0);
    std::string out = "R";
    out += result.Read ? '1' : '0';
    PutText(out, result.Reason);
    PutText(out, raised);
    PutNumber(out, grown / 1024);
    PutNumber(out, static_cast<uint64_t>(failures.size()));
    for (int k = 0; k < failures.size(); ++k) {
      const testing::TestPartResult& f = failures.GetTestPartResult(k);
      PutText(out, f.file_name() ? f.file_name() : "");
      PutNumber(out, static_cast<uint64_t>(f.line_number() < 0 ? 0 : f.line_number()));
      PutText(out, f.message() ? f.message() : "");
    }
    SendFrame(Fd, out);
    if (grown / 1024 > CapMegaBytes) break;
  }
  ::close(Fd);
  ::_exit(0);
}

bool Sanitized() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  return true;
#else
  return false;
#endif
}

}  // namespace

TCorpusFormat CorpusFormat(const std::string& Family) {
  static const std::map<std::string, TCorpusFormat> formats = {
      {"png", {FixPngChunkCrcs, PngSizeFields}},
      {"jpeg", {nullptr, JpegSizeFields}},
      {"bmp", {nullptr, BmpSizeFields}},
      {"gif", {nullptr, GifSizeFields}},
      {"ico", {FixIcoPngCrcs, IcoSizeFields}},
      {"pcx", {nullptr, PcxSizeFields}},
      {"tga", {nullptr, TgaSizeFields}},
      {"dicom", {nullptr, DicomSizeFields}},
      {"psd", {nullptr, PsdSizeFields}},
      {"tiff", {nullptr, TiffSizeFields}},
      {"jp2", {nullptr, Jp2SizeFields}},
      {"avi", {nullptr, AviSizeFields}},
      {"raw", {nullptr, TiffSizeFields}},
  };
  const auto it = formats.find(Family);
  return it == formats.end() ? TCorpusFormat{} : it->second;
}

void FixPngChunkCrcs(std::vector<Byte>& Data) {
  size_t at = 8;
  while (at + 12 <= Data.size()) {
    const uint64_t length = BigEndian32(Data, at);
    if (length > Data.size() - at - 12) break;
    const size_t crcAt = at + 8 + static_cast<size_t>(length);
    const uLong crc = crc32(crc32(0, nullptr, 0), Data.data() + at + 4, static_cast<uInt>(length + 4));
    for (int i = 0; i < 4; ++i) Data[crcAt + static_cast<size_t>(i)] = static_cast<Byte>(crc >> (24 - 8 * i));
    at = crcAt + 4;
  }
}

std::vector<Byte> ReadWholeFile(const std::string& Path) {
  std::vector<Byte> out;
  if (FILE* f = std::fopen(Path.c_str(), "rb")) {
    Byte buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
  }
  return out;
}

std::vector<std::string> CorpusFiles(const std::string& Family) {
  const std::string folder = std::string(CLAVORNE_SOURCE_DIR) + "/tests/imaging/formats/" + Family;
  std::vector<std::string> files;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      const auto ends = [&](const std::string& Ext) {
        return name.size() > Ext.size() && name.compare(name.size() - Ext.size(), Ext.size(), Ext) == 0;
      };
      // The family's folder also holds its tests and their helpers.
      if (name[0] == '.' || name == "README" || ends(".cpp") || ends(".h")) continue;
      files.push_back(folder + "/" + name);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  EXPECT_FALSE(files.empty()) << "no corpus files in " << folder;
  return files;
}

std::vector<TCorpusCopy> CorpusMutations(const std::vector<Byte>& Data, unsigned Seed, const TCorpusFormat& Format) {
  std::vector<TCorpusCopy> out;
  const size_t n = Data.size();
  std::vector<size_t> cuts = {0, 1, 2, n / 4, n / 2, n ? n - 1 : 0};
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  for (size_t cut : cuts) {
    if (cut < n) out.push_back({"truncated to " + std::to_string(cut) + " bytes", std::vector<Byte>(Data.begin(), Data.begin() + cut)});
  }

  std::mt19937 gen(Seed);
  for (int copy = 0; copy < 24 && n > 0; ++copy) {
    TCorpusCopy c{"bytes changed at", Data};
    const int count = 1 + copy % 3;
    for (int k = 0; k < count; ++k) {
      const size_t at = gen() % n;
      const Byte value = (copy & 1) ? static_cast<Byte>(c.Data[at] ^ 0xFF) : static_cast<Byte>(gen());
      c.Data[at] = value;
      c.Label += " " + std::to_string(at);
    }
    out.push_back(std::move(c));
  }

  auto enlarge = [&](const TCorpusField& f, bool OnlySmall) {
    const uint64_t v = GetField(Data, f);
    // Counts, sizes and offsets are small non-zero numbers in a header.
    if (OnlySmall && (v == 0 || v > 0x10000)) return;
    const uint64_t max = f.Bytes == 2 ? 0xFFFF : 0xFFFFFFFFu;
    for (uint64_t bigger : {std::min<uint64_t>(v * 16, max), uint64_t(0xFFFF), uint64_t(0x7FFFFFFF), uint64_t(0xFFFFFFFF)}) {
      if (bigger > max || bigger == v) continue;
      TCorpusCopy c{(f.BigEndian ? "big-endian " : "") + std::string("count at ") + std::to_string(f.Offset) + " (" +
                        std::to_string(f.Bytes) + " bytes) set to " + std::to_string(bigger),
                    Data};
      PutField(c.Data, f, bigger);
      out.push_back(std::move(c));
    }
  };
  for (bool big : {false, true}) {
    for (int bytes : {2, 4}) {
      for (size_t at = 0; at + bytes <= std::min<size_t>(n, 64); ++at) {
        const TCorpusField f{at, bytes, big};
        // A field that reads the same both ways was enlarged already.
        if (big && GetField(Data, f) == GetField(Data, TCorpusField{at, bytes, false})) continue;
        enlarge(f, true);
      }
    }
  }

  // The sizes: each one alone where the scan above did not reach it, then all of them together
  // at sizes that pass the library's limits but no small file can fill (20000 x 20000 and
  // 46340 x 46340 pixels: 400 M and 2^31 less a little).
  const std::vector<TCorpusField> sizes = Format.SizeFields ? Format.SizeFields(Data) : std::vector<TCorpusField>{};
  for (const TCorpusField& f : sizes)
    if (f.Offset + static_cast<size_t>(f.Bytes) > 64) enlarge(f, false);
  if (!sizes.empty()) {
    for (uint64_t side : {20000u, 46340u}) {
      TCorpusCopy c{"every size set to " + std::to_string(side), Data};
      for (const TCorpusField& f : sizes) PutField(c.Data, f, side);
      out.push_back(std::move(c));
    }
  }

  if (Format.FixChecksums)
    for (TCorpusCopy& c : out) Format.FixChecksums(c.Data);
  return out;
}

TCorpusCaps DefaultCorpusCaps() {
  TCorpusCaps caps;
  if (Sanitized()) {
    caps.Seconds *= 4;
    caps.MegaBytes *= 2;
  }
  return caps;
}

std::vector<TCorpusReplay> ReplayAll(const std::vector<TCorpusJob>& Jobs, const TCorpusReader& Reader,
                                     const TCorpusCaps& Caps) {
  std::vector<TCorpusReplay> replays(Jobs.size());
  std::vector<bool> done(Jobs.size(), false);
  size_t from = 0;
  while (from < Jobs.size()) {
    const std::string tempDir = testsupport::MakeTempDir("corpus");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      replays[from].Problem = "no pipe for the child";
      return replays;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // Until the child says where it starts, the parent's own memory is the (higher) base.
    TMemoryKb base = MemoryKb(::getpid());
    auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
      ::close(fds[0]);
      ::close(fds[1]);
      replays[from].Problem = "no child process";
      return replays;
    }
    if (pid == 0) {
      ::close(fds[0]);
      RunChild(fds[1], Jobs, from, Reader, Caps.MegaBytes, tempDir);
    }
    ::close(fds[1]);

    // The parent watches the clock and the child's resident pages while the answers come in; a
    // child past either cap is killed at once, before it can take the machine's memory.
    std::string buffer;
    size_t current = from;  // the read under way (or the next one)
    bool killed = false;
    const uint64_t capKb = Caps.MegaBytes * 1024;
    auto handle = [&](const std::string& Frame) {
      TReader in{Frame};
      in.At = 1;
      if (Frame[0] == 'B') {
        base.Size = in.Number();
        base.Resident = in.Number();
      } else if (Frame[0] == 'S') {
        current = static_cast<size_t>(in.Number());
        started = std::chrono::steady_clock::now();
      } else if (Frame[0] == 'R' && Frame.size() > 1 && current < Jobs.size()) {
        TCorpusReplay& r = replays[current];
        r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        in.At = 2;
        r.Result = {Frame[1] == '1', in.Text()};
        const std::string raised = in.Text();
        r.PeakMegaBytes = in.Number();
        const uint64_t failures = in.Number();
        for (uint64_t k = 0; k < failures && in.Ok; ++k) {
          const std::string file = in.Text();
          const uint64_t line = in.Number();
          const std::string message = in.Text();
          if (in.Ok) ADD_FAILURE_AT(file.c_str(), static_cast<int>(line)) << Jobs[current].Label << ": " << message;
        }
        if (!in.Ok) r.Problem = "the read's answer was cut short";
        else if (!raised.empty()) r.Problem = raised;
        else if (r.PeakMegaBytes > Caps.MegaBytes)
          r.Problem = "the read took " + std::to_string(r.PeakMegaBytes) + " MB, more than " +
                      std::to_string(Caps.MegaBytes) + " MB";
        done[current] = true;
        current += 1;
      }
    };
    while (true) {
      pollfd p{fds[0], POLLIN, 0};
      const int ready = ::poll(&p, 1, 5);
      if (ready > 0) {
        char buf[65536];
        const ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got > 0) {
          buffer.append(buf, static_cast<size_t>(got));
          while (buffer.size() >= 4) {
            uint32_t n = 0;
            std::memcpy(&n, buffer.data(), 4);
            if (buffer.size() < 4 + size_t(n)) break;
            const std::string frame = buffer.substr(4, n);
            buffer.erase(0, 4 + size_t(n));
            if (!frame.empty()) handle(frame);
          }
          continue;
        }
        if (got == 0 || (errno != EINTR && errno != EAGAIN)) break;
      }
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      const TMemoryKb now = MemoryKb(pid);
      std::string problem;
      if (elapsed > Caps.Seconds) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", Caps.Seconds);
        problem = std::string("the read took more than ") + seconds + " s (killed)";
      } else if (now.Resident > base.Resident + capKb || now.Size > base.Size + capKb) {
        // Address space counts too: a balloon is caught when it is asked for, before its pages
        // are filled one by one.
        const bool resident = now.Resident > base.Resident + capKb;
        problem = "the read used more than " + std::to_string(Caps.MegaBytes) + " MB (" +
                  std::to_string(resident ? (now.Resident - base.Resident) / 1024 : (now.Size - base.Size) / 1024) +
                  (resident ? " MB resident" : " MB of address space") + ", killed)";
      } else {
        continue;
      }
      ::kill(pid, SIGKILL);
      killed = true;
      if (current < Jobs.size()) {
        replays[current].Problem = problem;
        replays[current].Seconds = elapsed;
        done[current] = true;
        current += 1;
      }
      break;
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    testsupport::RemoveTree(tempDir);
    // A child that died inside a read: that read crashed.
    if (!killed && current < Jobs.size() && !done[current] && (WIFSIGNALED(status) || WEXITSTATUS(status) != 0)) {
      replays[current].Problem = WIFSIGNALED(status)
                                     ? "the read crashed with signal " + std::to_string(WTERMSIG(status))
                                     : "the read ended the process with status " + std::to_string(WEXITSTATUS(status));
      done[current] = true;
      current += 1;
    }
    if (current < Jobs.size() && !done[current] && !killed && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
        current == from) {
      replays[current].Problem = "the child ended without an answer";
      done[current] = true;
      current += 1;
    }
    from = std::max(current, from + 1);
  }
  return replays;
}

TCorpusReplay ReplayOne(const std::vector<Byte>& Data, size_t CopyIndex, const TCorpusReader& Reader,
                        const TCorpusCaps& Caps, const std::string& Label) {
  return ReplayAll({{&Data, CopyIndex, Label}}, Reader, Caps)[0];
}

unsigned CorpusSeed(const std::string& Path) {
  const std::string name = Path.substr(Path.find_last_of('/') + 1);
  return static_cast<unsigned>(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(name.data()),
                                     static_cast<uInt>(name.size())));
}

size_t ReplayCorpus(const std::string& Family, const TCorpusReader& Reader) {
  size_t reads = 0;
  const TCorpusCaps caps = DefaultCorpusCaps();
  const TCorpusFormat format = CorpusFormat(Family);
  for (const std::string& file : CorpusFiles(Family)) {
    SCOPED_TRACE(file);
    const std::vector<Byte> data = ReadWholeFile(file);
    const std::vector<TCorpusCopy> copies = CorpusMutations(data, CorpusSeed(file), format);
    std::vector<TCorpusJob> jobs = {{&data, 0, file}};
    for (size_t i = 0; i < copies.size(); ++i) jobs.push_back({&copies[i].Data, i + 1, file + ", " + copies[i].Label});
    const std::vector<TCorpusReplay> replays = ReplayAll(jobs, Reader, caps);
    EXPECT_EQ(replays[0].Problem, "") << file;
    EXPECT_TRUE(replays[0].Result.Read) << "the fixture itself must be read: " << replays[0].Result.Reason;
    for (size_t i = 1; i < jobs.size(); ++i) {
      EXPECT_EQ(replays[i].Problem, "") << jobs[i].Label;
      // A refusal without a reason is a failure reported as nothing.
      if (replays[i].Problem.empty() && !replays[i].Result.Read) {
        EXPECT_FALSE(replays[i].Result.Reason.empty()) << jobs[i].Label << ": refused without a reason";
      }
    }
    reads += jobs.size();
  }
  return reads;
}

size_t ReplayFuzzFindings(const std::string& Target, const TCorpusReader& Reader) {
  const std::string folder = std::string(CLAVORNE_SOURCE_DIR) + "/tests/fuzz/regressions/" + Target;
  std::vector<std::string> files;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') files.push_back(folder + "/" + e->d_name);
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  EXPECT_FALSE(files.empty()) << "no fuzzing findings kept in " << folder;
  std::vector<std::vector<Byte>> data;
  for (const std::string& file : files) data.push_back(ReadWholeFile(file));
  std::vector<TCorpusJob> jobs;
  for (size_t i = 0; i < files.size(); ++i) jobs.push_back({&data[i], 1, files[i]});
  const std::vector<TCorpusReplay> replays = ReplayAll(jobs, Reader, DefaultCorpusCaps());
  for (size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_EQ(replays[i].Problem, "") << jobs[i].Label;
    if (replays[i].Problem.empty() && !replays[i].Result.Read) {
      EXPECT_FALSE(replays[i].Result.Reason.empty()) << jobs[i].Label << ": refused without a reason";
    }
  }
  return jobs.size();
}

}  // namespace ietest
