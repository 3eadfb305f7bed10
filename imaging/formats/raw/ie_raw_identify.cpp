// Recognition of the raw containers (TIFF-based files with their maker notes, CIFF heaps, Fuji,
// Foveon, Phase One, Nucore, Rollei, and bare sensor dumps known by their size), the clean-up
// of the camera names, the defaults, and the final step after the camera table.
//
// Every offset here comes from the file. TIFF directories are read through the one directory
// reader, which checks each table against the stream; the chain of directories is followed only
// to offsets not seen before, CIFF heaps nest only so deep, and header lines stop with the file.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "imaging/formats/raw/ie_raw.h"
#include "imaging/formats/raw/ie_raw_decoders.h"
#include "imaging/formats/tiff/ie_tiff_directory.h"

namespace {

// Heaps of a Canon file nest two or three deep; sub-directories are a handful.
constexpr Integer kMaxHeapDepth = 16;
constexpr Integer kMaxHeapRecords = 65536;
constexpr Integer kMaxSubIFDs = 16;
constexpr Integer kMaxHeaderLines = 1024;

bool Little(const TIERawDecoder& S) { return S.order == kRawOrderIntel; }

// Bytes at Pos, fewer when the stream ends first (the rest zero).
void ReadAt(TIERawDecoder& S, Int64 Pos, void* Dest, Integer Count) {
  std::memset(Dest, 0, size_t(Count));
  raw_seek(S, Pos);
  if (Pos >= 0 && Pos < raw_size(S)) S.stream->Read(Dest, Count);
}

float Ratio(double A, double B) { return B == 0 ? 0.0f : float(A / B); }

// --- TIFF-based files -------------------------------------------------------------------

struct TTiffWalk {
  TIERawDecoder& S;
  Int64 Base;
  Integer LastWidth = 0, LastHeight = 0;
  Cardinal StripOffset = 0, SecondStrip = 0;
};

// The value as the raw walk reads it: a SHORT of count below 3 is its first item, anything else
// the whole 32-bit field.
Cardinal EntryValue(const TTIFFDirectory& D, const TTIFFEntry& E) {
  if (E.Type == 3 && E.Count < 3) return D.U16(E.Value);
  return D.ValueField(E);
}

Cardinal U32At(const TTIFFDirectory& D, Int64 Offset) {
  Byte b[4];
  if (Offset < 0 || !D.ReadAt(UInt64(Offset), b, 4)) return 0;
  return D.U32(b);
}

void TextTag(const TTIFFDirectory& D, const TTIFFEntry& E, char* Name) {
  std::memset(Name, 0, kRawNamesLength);
  const AnsiString s = D.GetString(E.Tag);
  std::strncpy(Name, s.c_str(), kRawNamesLength - 1);
}

void ReadMakerNote(TIERawDecoder& S, Int64 Pos);

void ReadSubIFD(TIERawDecoder& S, Int64 Base, Int64 Offset) {
  TTIFFDirectory d(S.stream, Little(S), Base);
  if (!d.LoadAt(Offset)) return;
  for (const TTIFFEntry& e : d.Entries()) {
    const Cardinal v = EntryValue(d, e);
    switch (e.Tag) {
      case 256: S.sensor_width = Integer(v); break;
      case 257: S.sensor_height = Integer(v); break;
      case 259: S.compression = Integer(v); break;
      case 262: S.photometric = Integer(v); break;
      case 273: S.data_offset = Integer(e.Count == 1 ? v : U32At(d, v)); break;
      case 291:
        S.tone_curve_start = Integer(v);
        S.tone_curve_length = Integer(e.Count);
        break;
      default: break;
    }
  }
}

void ReadExifSubdir(TIERawDecoder& S, Int64 Base, Int64 Offset) {
  TTIFFDirectory d(S.stream, Little(S), Base);
  if (!d.LoadAt(Offset)) return;
  for (const TTIFFEntry& e : d.Entries())
    if (e.Tag == 37500 && (std::strncmp(S.make, "NIKON", 5) == 0 || std::strncmp(S.make, "OLYMPUS", 7) == 0))
      ReadMakerNote(S, Base + Int64(d.ValueField(e)));
}

void ReadTiffRawTags(TIERawDecoder& S, Int64 Base) {
  Byte head[8];
  ReadAt(S, Base, head, 8);
  S.order = head[0] | head[1] << 8;
  TTiffWalk w{S, Base};
  const Int64 size = raw_size(S);
  std::set<Int64> seen;
  Cardinal next = Little(S) ? Cardinal(head[4]) | Cardinal(head[5]) << 8 | Cardinal(head[6]) << 16 | Cardinal(head[7]) << 24
                            : Cardinal(head[4]) << 24 | Cardinal(head[5]) << 16 | Cardinal(head[6]) << 8 | head[7];
  while (next != 0) {
    const Int64 at = Int64(next) + Base;
    if (at >= size || !seen.insert(at).second) break;
    TTIFFDirectory d(S.stream, Little(S), Base);
    if (!d.LoadAt(next)) break;
    Integer width = 0, height = 0;
    for (const TTIFFEntry& e : d.Entries()) {
      const Cardinal v = EntryValue(d, e);
      switch (e.Tag) {
        case 17: S.camera_wb_red = float(v) / 256; break;
        case 18: S.camera_wb_blue = float(v) / 256; break;
        case 256: width = Integer(v); break;
        case 257: height = Integer(v); break;
        case 271: TextTag(d, e, S.make); break;
        case 272: TextTag(d, e, S.model); break;
        case 273:
          w.StripOffset = v;
          w.SecondStrip = U32At(d, v);
          break;
        case 274: {
          static const Integer kFlip[8] = {0, 1, 3, 2, 4, 6, 7, 5};
          S.flip = kFlip[(v - 1) & 7];
          break;
        }
        case 291:
          S.tone_curve_start = Integer(v);
          S.tone_curve_length = Integer(e.Count);
          break;
        case 305:
          if (d.GetString(305).compare(0, 5, "Adobe") == 0) std::memset(S.make, 0, kRawNamesLength);
          break;
        case 324:
          std::memset(S.make, 0, kRawNamesLength);
          std::strcpy(S.make, "Leaf");
          S.sensor_width = width;
          S.sensor_height = height;
          S.data_offset = Integer(e.Count < 2 ? v : U32At(d, v));
          break;
        case 330: {
          if (e.Count == 1) {
            ReadSubIFD(S, Base, v);
            break;
          }
          Int64 count = std::min<Int64>(e.Count, kMaxSubIFDs);
          if (std::strcmp(S.make, "Kodak") == 0) count = std::min<Int64>(count, 2);
          for (Int64 i = 0; i < count; ++i) {
            const Cardinal sub = U32At(d, Int64(v) + 4 * i);
            if (sub != 0) ReadSubIFD(S, Base, sub);
          }
          break;
        }
        case 33405: TextTag(d, e, S.model_extra); break;
        case 34665: ReadExifSubdir(S, Base, v); break;
        default: break;
      }
    }
    if (width || height) {
      w.LastWidth = width;
      w.LastHeight = height;
    }
    next = d.Next();
  }
  if (std::strncmp(S.make, "OLYMPUS", 7) == 0) {
    S.make[7] = 0;
    S.sensor_width = w.LastWidth;
    S.sensor_height = Integer((Int64(w.LastHeight) + 1) & ~Int64(1));
    S.data_offset = Integer(w.SecondStrip);
  }
  if (std::strcmp(S.make, "Canon") == 0 && std::strcmp(S.model, "EOS D2000C") != 0) S.data_offset = Integer(w.StripOffset);
  if (!S.make[0] && w.LastWidth == 680 && w.LastHeight == 680) {
    std::strcpy(S.make, "Imacon");
    std::strcpy(S.model, "Ixpress");
  }
}

void ReadMakerNote(TIERawDecoder& S, Int64 Pos) {
  const Integer savedOrder = S.order;
  char buf[10];
  ReadAt(S, Pos, buf, 10);
  Int64 base = 0, dir = 0;
  if (std::memcmp(buf, "Nikon", 6) == 0) {
    base = Pos + 10;
    Byte h[8];
    ReadAt(S, base, h, 8);
    S.order = h[0] | h[1] << 8;
    const Cardinal ifd = Little(S) ? Cardinal(h[4]) | Cardinal(h[5]) << 8 | Cardinal(h[6]) << 16 | Cardinal(h[7]) << 24
                                   : Cardinal(h[4]) << 24 | Cardinal(h[5]) << 16 | Cardinal(h[6]) << 8 | h[7];
    dir = ifd;
  } else {
    dir = std::memcmp(buf, "OLYMP", 6) == 0 ? Pos + 8 : Pos;
  }
  TTIFFDirectory d(S.stream, Little(S), base);
  if (d.LoadAt(dir)) {
    for (const TTIFFEntry& e : d.Entries()) {
      const Cardinal v = e.Type == 3 ? d.U16(e.Value) : d.ValueField(e);
      const Int64 at = Int64(v) + base;
      switch (e.Tag) {
        case 12: {
          raw_seek(S, at);
          const double a = read_u32(S), b = read_u32(S), c = read_u32(S), e4 = read_u32(S);
          S.camera_wb_red = Ratio(a, b);
          S.camera_wb_blue = Ratio(c, e4);
          break;
        }
        case 140: S.tone_curve_start = Integer(at + 2112); break;
        case 150: S.tone_curve_start = Integer(at + 2); break;
        case 151:
          if (std::strcmp(S.model, "NIKON D100 ") == 0) {
            raw_seek(S, at + 72);
            S.camera_wb_red = float(read_u16(S)) / 256;
            S.camera_wb_blue = float(read_u16(S)) / 256;
          } else if (std::strcmp(S.model, "NIKON D2H") == 0) {
            raw_seek(S, at + 10);
            const double a = read_u16(S), b = read_u16(S), c = read_u16(S), e4 = read_u16(S);
            S.camera_wb_red = Ratio(a, b);
            S.camera_wb_blue = Ratio(e4, c);
          } else if (std::strcmp(S.model, "NIKON D70") == 0) {
            raw_seek(S, at + 20);
            const double a = read_u16(S), b = read_u16(S), c = read_u16(S), e4 = read_u16(S);
            S.camera_wb_red = Ratio(a, b);
            S.camera_wb_blue = Ratio(c, e4);
          }
          break;
        case 4119: S.camera_wb_red = float(v) / 256; break;
        case 4120: S.camera_wb_blue = float(v) / 256; break;
        default: break;
      }
    }
  }
  S.order = savedOrder;
}

// --- CIFF heaps (Canon CRW) ---------------------------------------------------------------

struct TCiffWalk {
  TIERawDecoder& S;
  Integer Index = -1;  // the white-balance entry the camera used
  Integer Records = 0;
};

void ReadCameraBalance(TIERawDecoder& S, Int64 At) {
  raw_seek(S, At);
  const double a = read_u16(S), b = read_u16(S), c = read_u16(S), d = read_u16(S);
  S.camera_wb_red = float(a);
  if (a != 0) S.camera_wb_red = float(b / a);
  S.camera_wb_blue = float(c);
  if (d != 0) S.camera_wb_blue = float(c / d);
}

void ReadCanonWhiteBlock(TIERawDecoder& S, Int64 At) {
  raw_seek(S, At + 2);
  if (read_u32(S) != 0x80008 || read_u32(S) == 0) return;
  const Integer bits = read_u16(S);
  if (bits != 10 && bits != 12) return;
  Cardinal store = 0;
  Integer held = 0, refill = 0;
  for (Integer i = 0; i < 8; ++i)
    for (Integer j = 0; j < 8; ++j) {
      while (held < bits) {
        const Cardinal w = Cardinal(read_u16(S)) ^ (refill++ % 2 == 0 ? 1040u : 17907u);
        store = (store << 16) | w;
        held += 16;
      }
      const Cardinal v = (store >> (held - bits)) & ((1u << bits) - 1);
      held -= bits;
      S.white[i][j] = Word(v << (14 - bits));
    }
}

void ReadCiffRecords(TCiffWalk& W, Int64 Offset, Int64 Length, Integer Depth) {
  TIERawDecoder& S = W.S;
  if (Depth > kMaxHeapDepth || Length < 4) return;
  const Int64 size = raw_size(S);
  if (Offset < 0 || Offset + Length > size) return;
  raw_seek(S, Offset + Length - 4);
  const Int64 dir = Offset + Int64(read_u32(S));
  if (dir < 0 || dir + 2 > size) return;
  raw_seek(S, dir);
  const Integer count = read_u16(S);
  for (Integer i = 0; i < count && W.Records < kMaxHeapRecords; ++i, ++W.Records) {
    const Int64 rec = dir + 2 + Int64(i) * 10;
    if (rec + 10 > size) return;
    raw_seek(S, rec);
    const Integer type = read_u16(S);
    const Cardinal length = read_u32(S);
    const Int64 data = Offset + Int64(read_u32(S));
    switch (type) {
      case 0x080A: {
        // Both names come from the file unterminated as often as not: each is cut to its field.
        char buf[2 * kRawNamesLength] = {};
        ReadAt(S, data, buf, 2 * kRawNamesLength);
        std::memset(S.make, 0, kRawNamesLength);
        std::memset(S.model, 0, kRawNamesLength);
        const size_t makeLength = strnlen(buf, kRawNamesLength - 1);
        std::memcpy(S.make, buf, makeLength);
        if (makeLength < kRawNamesLength - 1) {
          const char* model = buf + makeLength + 1;
          std::memcpy(S.model, model, strnlen(model, kRawNamesLength - 1));
        }
        break;
      }
      case 0x102A:
        raw_seek(S, data + 14);
        W.Index = read_u16(S);
        if (W.Index == 6 && (std::strcmp(S.model, "Canon EOS DIGITAL REBEL") == 0 ||
                             std::strcmp(S.model, "Canon EOS 300D DIGITAL") == 0))
          W.Index = 7;
        break;
      case 0x102C:
        if (std::strcmp(S.model, "Canon PowerShot G1") == 0 || std::strcmp(S.model, "Canon PowerShot Pro90 IS") == 0) {
          raw_seek(S, data + 120);
          S.white[0][1] = Word(read_u16(S) << 4);
          S.white[0][0] = Word(read_u16(S) << 4);
          S.white[1][0] = Word(read_u16(S) << 4);
          S.white[1][1] = Word(read_u16(S) << 4);
        } else {
          raw_seek(S, data + 100);
          if (W.Index == 6 && read_u32(S) == 0)
            W.Index = 15;
          else
            ReadCameraBalance(S, data + 100);
        }
        break;
      case 0x0032:
        if (std::strcmp(S.model, "Canon EOS D30") == 0) {
          ReadCameraBalance(S, data + 72);
        } else if (S.camera_wb_red == 0) {
          static const Integer kEntry[6] = {1, 2, 3, 4, 5, 1};
          const Integer at = W.Index >= 0 && W.Index < 6 ? 8 * kEntry[W.Index] : 0;
          ReadCameraBalance(S, data + 80 + at);
        }
        break;
      case 0x10A9:
        if (std::strcmp(S.model, "Canon EOS 10D") == 0) {
          static const Integer kEntry[10] = {0, 1, 3, 4, 5, 6, 0, 0, 2, 8};
          const Integer index = W.Index >= 0 && W.Index < 10 ? kEntry[W.Index] : 0;
          raw_seek(S, data + 8 * index + 2);
          const double a = read_u16(S), b = read_u16(S), c = read_u16(S), d = read_u16(S);
          S.camera_wb_red = Ratio(a, b);
          S.camera_wb_blue = Ratio(d, c);
        }
        break;
      case 0x1030:
        if (W.Index > 14) ReadCanonWhiteBlock(S, data);
        break;
      case 0x1031:
        raw_seek(S, data + 2);
        S.sensor_width = read_u16(S);
        S.sensor_height = read_u16(S);
        break;
      case 0x180E:
        raw_seek(S, data);
        S.timestamp = Integer(read_u32(S));
        break;
      case 0x580E: S.timestamp = Integer(length); break;
      case 0x1810: {
        raw_seek(S, data + 12);
        const Cardinal turn = read_u32(S);
        if (turn == 90) S.flip = 6;
        if (turn == 180) S.flip = 3;
        if (turn == 270) S.flip = 5;
        break;
      }
      case 0x1835:
        raw_seek(S, data);
        S.canon_table = Integer(std::min<Cardinal>(read_u32(S), 2));
        break;
      default:
        if ((type >> 8) == 0x28 || (type >> 8) == 0x30) ReadCiffRecords(W, data, Int64(length), Depth + 1);
        break;
    }
  }
}

// --- other containers ---------------------------------------------------------------------

Integer DecimalValue(const std::string& Text) {
  size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '-' || Text[i] == '+')) negative = Text[i++] == '-';
  if (i >= Text.size() || Text[i] < '0' || Text[i] > '9') return 0;
  Int64 v = 0;
  for (; i < Text.size() && Text[i] >= '0' && Text[i] <= '9'; ++i) {
    v = v * 10 + (Text[i] - '0');
    if (v > 0x7FFFFFFF) return 0;
  }
  while (i < Text.size() && (Text[i] == ' ' || Text[i] == '\r' || Text[i] == '\n' || Text[i] == 0)) ++i;
  if (i < Text.size()) return 0;
  return Integer(negative ? -v : v);
}

// Lines of 128 bytes up to the one that begins "EOHD". The header ends with the file at the
// latest, and after a bounded number of lines: a file without its end line is read to its end
// once, not for ever.
void ReadRolleiHeader(TIERawDecoder& S) {
  Integer tx = 0, ty = 0;
  raw_seek(S, 0);
  for (Integer n = 0; n < kMaxHeaderLines; ++n) {
    char line[129] = {};
    if (S.stream->Read(line, 128) <= 0) break;
    if (std::strncmp(line, "EOHD", 4) == 0) break;
    const char* eq = static_cast<const char*>(std::memchr(line, '=', 128));
    if (!eq) continue;
    const std::string key(line, size_t(eq - line));
    std::string value(eq + 1, size_t(line + 128 - eq - 1));
    value = value.substr(0, value.find('\0'));
    const Integer v = DecimalValue(value);
    if (key == "HDR") S.data_offset = v;
    if (key == "X  ") S.sensor_width = v;
    if (key == "Y  ") S.sensor_height = v;
    if (key == "TX ") tx = v;
    if (key == "TY ") ty = v;
  }
  // The thumbnail's size only moves the data: a product beyond any file leaves it past the end.
  const Int64 skip = Int64(std::clamp(tx, 0, 1 << 24)) * std::clamp(ty, 0, 1 << 24) * 2;
  S.data_offset = Integer(std::min<Int64>(Int64(S.data_offset) + skip, 0x7FFFFFFF));
  std::strcpy(S.make, "Rollei");
  std::strcpy(S.model, "d530flex");
}

void ParseFoveon(TIERawDecoder& S) {
  S.order = kRawOrderIntel;
  const Int64 size = raw_size(S);
  raw_seek(S, size - 4);
  const Int64 dir = read_u32(S);
  if (dir >= size) return;
  raw_seek(S, dir);
  bool found = false;
  while (raw_tell(S) + 4 <= size)
    if (read_u32(S) == 0x464D4143) {
      found = true;
      break;
    }
  if (!found) return;
  const Int64 o = read_u32(S);
  raw_seek(S, o + 8);
  const Int64 n = read_u32(S);
  const Int64 start = o + 8 * n + 24;
  if (start < 0 || start >= dir) return;
  const Int64 units = (dir - start) / 2;
  std::vector<char> text = raw_work_buffer<char>(units + 1, "parse_foveon()");
  raw_seek(S, start);
  for (Int64 i = 0; i < units; ++i) text[size_t(i)] = char(read_u16(S) & 0xFF);
  text[size_t(units)] = 0;
  size_t at = 0;
  auto next = [&]() {
    std::string s(&text[at]);
    at += s.size() + 1;
    return s;
  };
  while (at < size_t(units)) {
    const std::string key = next();
    if (at >= size_t(units)) break;
    const std::string value = next();
    if (key == "CAMMANUF") std::strncpy(S.make, value.c_str(), kRawNamesLength - 1);
    if (key == "CAMMODEL") std::strncpy(S.model, value.c_str(), kRawNamesLength - 1);
    if (key == "TIME") S.timestamp = DecimalValue(value);
  }
  raw_seek(S, 248);
  S.sensor_width = Integer(read_u32(S));
  S.sensor_height = Integer(read_u32(S));
}

void ReadNucoreHeader(TIERawDecoder& S) {
  std::strcpy(S.make, "Nucore");
  S.order = kRawOrderIntel;
  raw_seek(S, 10);
  S.data_offset = Integer(Int64(S.data_offset) + read_u32(S));
  raw_skip(S, 4);
  S.sensor_width = Integer(read_u32(S));
  S.sensor_height = Integer(read_u32(S));
  if (S.model[0] == 'B' && S.sensor_width == 2597) {
    S.sensor_width = 2598;
    S.data_offset -= 4096;
  }
}

bool HeadHas(const Byte* Head, Integer At, const char* Text) {
  return std::memcmp(Head + At, Text, std::strlen(Text)) == 0;
}

struct TSizeRow {
  Int64 Size;
  const char* Make;
  const char* Model;
};
const TSizeRow kBySize[] = {
    {62464, "Kodak", "DC20"},         {124928, "Kodak", "DC20"},       {2465792, "NIKON", "E950"},
    {2940928, "NIKON", "E2100"},      {4771840, "NIKON", "E990"},      {5865472, "NIKON", "E4500"},
    {5869568, "NIKON", "E4300"},      {787456, "Creative", "PC-CAM 600"}, {1976352, "Casio", "QV-2000UX"},
    {3217760, "Casio", "QV-3*00EX"},  {6218368, "Casio", "QV-5700"},   {7684000, "Casio", "QV-4000"},
    {9313536, "Casio", "EX-P600"},    {4841984, "Pentax", "Optio S"},  {6114240, "Pentax", "Optio S4"},
    {12582980, "Sinar", ""},
};

// The names as the camera rows know them: one maker word, no trailing blanks, no maker in front
// of the model.
void NormaliseNames(TIERawDecoder& S) {
  S.make[kRawNamesLength - 1] = S.model[kRawNamesLength - 1] = S.model_extra[kRawNamesLength - 1] = 0;
  for (const char* word : {"Canon", "NIKON", "Kodak", "PENTAX", "MINOLTA", "Minolta", "Konica"})
    if (std::strstr(S.make, word)) {
      std::memset(S.make, 0, kRawNamesLength);
      std::strcpy(S.make, word);
    }
  if (std::strncmp(S.make, "KODAK", 5) == 0) {
    S.make[16] = 0;
    S.model[16] = 0;
  }
  for (char* name : {S.make, S.model}) {
    size_t n = std::strlen(name);
    while (n > 0 && name[n - 1] == ' ') name[--n] = 0;
  }
  const size_t makeLength = std::strlen(S.make);
  if (makeLength > 0 && std::strncmp(S.model, S.make, makeLength) == 0) {
    const size_t cut = std::min(std::strlen(S.model), makeLength + 1);
    std::memmove(S.model, S.model + cut, kRawNamesLength - cut);
    std::memset(S.model + kRawNamesLength - cut, 0, cut);
  }
}

bool NikonDataIsCompressed(TIERawDecoder& S) {
  if (S.compression != 34713) return false;
  if (std::strcmp(S.model, "D100") != 0) return true;
  Byte test[256];
  ReadAt(S, S.data_offset, test, 256);
  for (Integer i = 15; i < 256; i += 16)
    if (test[i]) return true;
  return false;
}

}  // namespace

Integer identify_raw(TIERawDecoder& S) {
  S.sensor_height = S.sensor_width = S.flip = 0;
  std::memset(S.make, 0, kRawNamesLength);
  std::memset(S.model, 0, kRawNamesLength);
  std::memset(S.model_extra, 0, kRawNamesLength);
  std::memset(S.white, 0, sizeof S.white);
  S.camera_wb_red = S.camera_wb_blue = 0;
  S.timestamp = S.data_offset = S.tone_curve_start = S.tone_curve_length = S.compression = 0;
  S.ff_stuffing = 0;
  S.canon_table = 0;

  Byte head[32];
  ReadAt(S, 0, head, 32);
  S.order = head[0] | head[1] << 8;
  raw_seek(S, 2);
  const Cardinal headerLength = read_u32(S);
  const Int64 fileSize = raw_size(S);

  const Byte* phase = std::search(head, head + 32, reinterpret_cast<const Byte*>("MMMMRawT"),
                                  reinterpret_cast<const Byte*>("MMMMRawT") + 8);
  if (phase != head + 32) {
    std::strcpy(S.make, "Phase One");
    S.data_offset = Integer(phase - head);
    raw_seek(S, S.data_offset + 8);
    raw_skip(S, Int64(read_u32(S)) + 136);
    S.sensor_width = Integer(read_u32(S));
    raw_skip(S, 12);
    S.sensor_height = Integer(read_u32(S));
  } else if (S.order == kRawOrderIntel || S.order == kRawOrderMotorola) {
    if (HeadHas(head, 6, "HEAPCCDR")) {
      S.data_offset = Integer(headerLength);
      TCiffWalk w{S};
      ReadCiffRecords(w, headerLength, fileSize - Int64(headerLength), 0);
      // No balance entry chosen: the camera's balance is unknown (Canon EOS D30 stores its own).
      if (w.Index == 0 && std::strcmp(S.model, "Canon EOS D30") != 0) S.camera_wb_red = -1;
    } else {
      ReadTiffRawTags(S, 0);
      if (std::strncmp(S.make, "NIKON", 5) == 0 && S.sensor_width == 0) std::memset(S.make, 0, kRawNamesLength);
    }
  } else if (head[0] == 0 && HeadHas(head, 1, "MRM")) {
    ReadTiffRawTags(S, 48);
    raw_seek(S, 4);
    S.data_offset = Integer(read_u32(S) + 8);
    raw_seek(S, 24);
    S.sensor_height = read_u16(S);
    S.sensor_width = read_u16(S);
    raw_seek(S, 12);
    raw_skip(S, Int64(read_u32(S)) + 4);
    raw_skip(S, Int64(read_u32(S)) + 12);
    const double a = read_u16(S), b = read_u16(S), c = read_u16(S), d = read_u16(S);
    S.camera_wb_red = Ratio(a, b);
    S.camera_wb_blue = Ratio(d, c);
  } else if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF && head[3] == 0xE1 && HeadHas(head, 6, "Exif")) {
    raw_seek(S, 4);
    const Int64 after = Int64(read_u16(S)) + 4;
    Byte c = 0xFF;
    ReadAt(S, after, &c, 1);
    if (after >= fileSize) c = 0xFF;
    if (c != 0xFF) ReadTiffRawTags(S, 12);
  } else if (head[0] == 'B' && head[1] == 'M') {
    S.data_offset = 4096;
    S.order = kRawOrderIntel;
    raw_seek(S, 38);
    const Cardinal x = read_u32(S), y = read_u32(S);
    if (x == 2834 && y == 2834) {
      std::strcpy(S.model, "BMQ");
      ReadNucoreHeader(S);
    }
  } else if (head[0] == 'B' && head[1] == 'R') {
    std::strcpy(S.model, "RAW");
    ReadNucoreHeader(S);
  } else if (HeadHas(head, 25, "ARECOYK")) {
    std::strcpy(S.make, "CONTAX");
    std::strcpy(S.model, "N DIGITAL");
  } else if (HeadHas(head, 0, "FUJIFILM")) {
    raw_seek(S, 84);
    ReadTiffRawTags(S, Int64(read_u32(S)) + 12);
    S.order = kRawOrderMotorola;
    raw_seek(S, 100);
    S.data_offset = Integer(read_u32(S));
  } else if (HeadHas(head, 0, "DSC-Image")) {
    ReadRolleiHeader(S);
  } else if (HeadHas(head, 0, "FOVb")) {
    ParseFoveon(S);
  } else {
    for (const TSizeRow& r : kBySize)
      if (r.Size == fileSize) {
        std::strcpy(S.make, r.Make);
        std::strcpy(S.model, r.Model);
      }
  }

  NormaliseNames(S);
  if (!S.make[0]) return 1;
  // No sensor is this large; the rows' arithmetic on sizes stays well inside 32 bits below it.
  constexpr Integer kMaxSide = 1 << 24;
  if (S.sensor_width < 0 || S.sensor_height < 0 || S.sensor_width > kMaxSide || S.sensor_height > kMaxSide) return 1;

  S.load_raw = nullptr;
  S.height = S.sensor_height;
  S.width = S.sensor_width;
  S.active_top = S.active_left = 0;
  S.colors = 3;
  S.filters = 0x94949494;
  S.black = 0;
  S.cmy_sensor = S.three_layer_sensor = S.use_fixed_matrix = 0;
  for (float& m : S.wb_multipliers) m = 1;
  S.column_repeat = S.row_repeat = 1;
  S.saturation_level = 0x4000;

  S.canon_file = std::strcmp(S.make, "Canon") == 0;
  if (S.canon_file) {
    if (!HeadHas(head, 6, "HEAPCCDR")) {
      S.filters = 0x61616161;
      S.load_raw = lossless_huffman_load_raw;
    } else if (S.sensor_width) {
      S.load_raw = canon_compressed_load_raw;
    }
  }
  if (std::strcmp(S.make, "NIKON") == 0)
    S.load_raw = NikonDataIsCompressed(S) ? nikon_compressed_load_raw : nikon_12bit_load_raw;

  if (apply_camera_table(S) != 0) return 1;

  // The final step.
  if (!S.load_raw || S.height <= 0 || S.width <= 0 || S.height > kMaxSide || S.width > kMaxSide) return 1;
  if (!S.sensor_height) S.sensor_height = S.height;
  if (!S.sensor_width) S.sensor_width = S.width;
  if (S.colors == 4 && !S.use_fixed_matrix) cmyg_to_rgb_coefficients(S);
  if (S.use_fixed_matrix)
    for (Integer c = 0; c < S.colors; ++c) {
      S.fixed_matrix[0][c] *= S.opt_red_factor;
      S.fixed_matrix[2][c] *= S.opt_blue_factor;
    }
  if (S.opt_four_color && S.filters && S.colors == 3) {
    for (Integer shift = 0; shift < 32; shift += 4) {
      const Cardinal field = (S.filters >> shift) & 15;
      if (field == 9) S.filters += 2u << shift;
      if (field == 6) S.filters += 8u << shift;
    }
    S.colors = 4;
    S.wb_multipliers[3] = S.wb_multipliers[1];
    if (S.use_fixed_matrix)
      for (auto& row : S.fixed_matrix) row[3] = row[1] /= 2;
  }
  // Identification reads wherever the file points; only what the decoder reads counts as data.
  S.short_reads = 0;
  S.bits_ran_out = false;
  S.phantom_bits = 0;
  raw_seek(S, S.data_offset);
  return 0;
}
