// Hand-made TIFF structures for the cases no tool writes: directories chained in loops, counts
// and offsets that point past the end, pages with odd bit depths or colour maps.
#pragma once

#include <string>
#include <vector>

#include "platform/rtl/types.h"

namespace tifftest {

struct TTag {
  Word Tag, Type;
  std::vector<DWORD> Values;  // items; ASCII and UNDEFINED tags: one byte each
  DWORD ForceCount = 0;       // when not 0, the count written in place of the real one
  DWORD ForceOffset = 0;      // when not 0, the value field written in place of the real one
};

inline TTag Short(Word Tag, std::vector<DWORD> V) { return {Tag, 3, std::move(V)}; }
inline TTag Long(Word Tag, std::vector<DWORD> V) { return {Tag, 4, std::move(V)}; }
inline TTag Ascii(Word Tag, const std::string& S) {
  TTag t{Tag, 2, {}};
  for (char c : S) t.Values.push_back(Byte(c));
  t.Values.push_back(0);
  return t;
}
// A RATIONAL of Num / Den.
inline TTag Rational(Word Tag, DWORD Num, DWORD Den) { return {Tag, 5, {Num, Den}}; }

// A file under construction: header, then whatever is appended; directories are placed where
// they are appended and linked by the caller.
class TTiffFile {
 public:
  explicit TTiffFile(bool Little) : FLittle(Little) {
    Bytes = {Byte(Little ? 'I' : 'M'), Byte(Little ? 'I' : 'M')};
    Put16(42);
    Put32(0);
  }
  std::vector<Byte> Bytes;

  void Put16(DWORD V) { PutBytes(V, 2); }
  void Put32(DWORD V) { PutBytes(V, 4); }
  void PutBytes(DWORD V, int N) {
    for (int k = 0; k < N; ++k) Bytes.push_back(Byte(V >> (8 * (FLittle ? k : N - 1 - k))));
  }
  void Set32(size_t At, DWORD V) {
    std::vector<Byte> keep(Bytes.begin() + At + 4, Bytes.end());
    Bytes.resize(At);
    Put32(V);
    Bytes.insert(Bytes.end(), keep.begin(), keep.end());
  }
  // Appends raw data (word aligned) and answers its offset.
  DWORD Data(const std::vector<Byte>& D) {
    if (Bytes.size() % 2) Bytes.push_back(0);
    const DWORD at = DWORD(Bytes.size());
    Bytes.insert(Bytes.end(), D.begin(), D.end());
    return at;
  }
  // Appends a directory (its tags' out-of-line values after it) and answers its offset; Next is
  // the next-directory field. The first directory appended becomes the header's first.
  DWORD Directory(const std::vector<TTag>& Tags, DWORD Next = 0) {
    if (Bytes.size() % 2) Bytes.push_back(0);
    const DWORD at = DWORD(Bytes.size());
    if (!FFirstSet) {
      Set32(4, at);
      FFirstSet = true;
    }
    const size_t tableEnd = at + 2 + 12 * Tags.size() + 4;
    std::vector<Byte> extra;
    Put16(DWORD(Tags.size()));
    for (const TTag& t : Tags) {
      const size_t item = t.Type == 3 ? 2 : (t.Type == 4 ? 4 : t.Type == 5 ? 4 : 1);
      std::vector<Byte> v;
      TTiffFile enc(FLittle);
      enc.Bytes.clear();
      for (DWORD x : t.Values) {
        if (item == 1)
          enc.Bytes.push_back(Byte(x));
        else if (item == 2)
          enc.Put16(x);
        else
          enc.Put32(x);
      }
      v = enc.Bytes;
      Put16(t.Tag);
      Put16(t.Type);
      Put32(t.ForceCount ? t.ForceCount : DWORD(t.Type == 5 ? t.Values.size() / 2 : t.Values.size()));
      if (t.ForceOffset) {
        Put32(t.ForceOffset);
      } else if (v.size() <= 4) {
        v.resize(4, 0);
        Bytes.insert(Bytes.end(), v.begin(), v.end());
      } else {
        if (extra.size() % 2) extra.push_back(0);
        Put32(DWORD(tableEnd + extra.size()));
        extra.insert(extra.end(), v.begin(), v.end());
      }
    }
    Put32(Next);
    Bytes.insert(Bytes.end(), extra.begin(), extra.end());
    return at;
  }
  // Where directory At keeps its next-directory field.
  size_t NextField(DWORD At) const {
    const size_t n = FLittle ? (Bytes[At] | Bytes[At + 1] << 8) : (Bytes[At] << 8 | Bytes[At + 1]);
    return At + 2 + 12 * n;
  }

 private:
  bool FLittle;
  bool FFirstSet = false;
};

}  // namespace tifftest
