#include "tests/imaging/support/corpus.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace ietest {

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
      if (name[0] == '.' || name == "README" || (name.size() > 4 && name.substr(name.size() - 4) == ".cpp")) continue;
      files.push_back(folder + "/" + name);
    }
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  EXPECT_FALSE(files.empty()) << "no corpus files in " << folder;
  return files;
}

std::vector<TCorpusCopy> CorpusMutations(const std::vector<Byte>& Data, unsigned Seed) {
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

  auto put = [](std::vector<Byte>& d, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) d[at + i] = static_cast<Byte>(v >> (8 * i));
  };
  auto get = [&](size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(Data[at + i]) << (8 * i);
    return v;
  };
  for (int bytes : {2, 4}) {
    for (size_t at = 0; at + bytes <= std::min<size_t>(n, 64); ++at) {
      const uint64_t v = get(at, bytes);
      // Counts, sizes and offsets are small non-zero numbers in a header.
      if (v == 0 || v > 0x10000) continue;
      const uint64_t max = bytes == 2 ? 0xFFFF : 0xFFFFFFFFu;
      for (uint64_t bigger : {std::min<uint64_t>(v * 16, max), uint64_t(0xFFFF), uint64_t(0x7FFFFFFF), uint64_t(0xFFFFFFFF)}) {
        if (bigger > max || bigger == v) continue;
        TCorpusCopy c{"count at " + std::to_string(at) + " (" + std::to_string(bytes) + " bytes) set to " + std::to_string(bigger), Data};
        put(c.Data, at, bigger, bytes);
        out.push_back(std::move(c));
      }
    }
  }
  return out;
}

size_t ReplayCorpus(const std::string& Family, const TCorpusReader& Reader) {
  size_t reads = 0;
  for (const std::string& file : CorpusFiles(Family)) {
    SCOPED_TRACE(file);
    const std::vector<Byte> data = ReadWholeFile(file);
    const TCorpusResult original = Reader(data, 0);
    EXPECT_TRUE(original.Read) << "the fixture itself must be read: " << original.Reason;
    ++reads;
    const std::vector<TCorpusCopy> copies = CorpusMutations(data, static_cast<unsigned>(std::hash<std::string>{}(file)));
    for (size_t i = 0; i < copies.size(); ++i) {
      // A refusal without a reason is a failure reported as nothing.
      const TCorpusResult result = Reader(copies[i].Data, i + 1);
      if (!result.Read) {
        EXPECT_FALSE(result.Reason.empty()) << copies[i].Label << ": refused without a reason";
      }
      ++reads;
    }
  }
  return reads;
}

}  // namespace ietest
