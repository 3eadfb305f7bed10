// The image as program source text: the bytes of one of its encodings as a constant array, a
// byte list or base64 lines, or a picture of its pixels drawn in characters.
#include "imaging/io/ie_source_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "imaging/core/ie_encoders.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/io/ie_io_threads.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/exceptions.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

namespace {

// A text file written line by line; what the file system refuses raises EInOutError.
class TTextFile {
 public:
  explicit TTextFile(const AnsiString& Name) : FName(Name), FFile(std::fopen(Name.c_str(), "wb")) {
    if (!FFile) Raise();
  }
  ~TTextFile() {
    if (FFile) std::fclose(FFile);
  }
  void Write(const void* Data, size_t Count) {
    if (Count && std::fwrite(Data, 1, Count, FFile) != Count) Raise();
  }
  void WriteLine(const AnsiString& Line) {
    Write(Line.data(), Line.size());
    Write("\n", 1);
  }
  void Close() {
    std::FILE* F = FFile;
    FFile = nullptr;
    if (std::fclose(F) != 0) Raise();
  }

 private:
  [[noreturn]] void Raise() {
    const int Code = errno ? errno : EIO;
    throw EInOutError("Cannot write \"" + FName + "\": " + std::strerror(Code), Code);
  }
  AnsiString FName;
  std::FILE* FFile;
};

AnsiString Hex2(Byte Value) { return IntToHex(Integer(Value), 2); }

// Bytes 1 .. N-1 with their separator, in lines cut as soon as the buffer passes 70 characters,
// then the last byte closing the last line.
void WriteByteLines(TTextFile& Out, const Byte* Data, size_t N, const char* Prefix, const AnsiString& Indent,
                    const char* Ending) {
  AnsiString Buffer;
  for (size_t i = 0; i + 1 < N; ++i) {
    Buffer += Prefix + Hex2(Data[i]) + ",";
    if (Buffer.size() > 70) {
      Out.WriteLine(Indent + Buffer);
      Buffer.clear();
    }
  }
  Out.WriteLine(Indent + Buffer + Prefix + Hex2(Data[N - 1]) + Ending);
}

}  // namespace

const char IESourceArrayShades[] = "W@#*+:., ";

char IESourceArrayShade(TRGB Pixel) {
  const Integer Grey = IERGBToGray(Pixel);
  // Pure white maps one past the nine shades: it takes the lightest one.
  Integer Index = Integer(Grey / 255.0 * 9);
  if (Index > 8) Index = 8;
  if (Index < 0) Index = 0;
  return IESourceArrayShades[Index];
}

void TZodivErIO::SaveToSourceArray(const WideString& FileName, Integer FileType, Byte Style) {
  const AnsiString Name = WideToAnsi(FileName);
  TTextFile Out(Name);
  AnsiString ArrayName = Name;
  const size_t Dot = ArrayName.find('.');
  if (Dot != AnsiString::npos) ArrayName[Dot] = '_';

  if (Style <= 2) {
    TMemoryStream Encoded;
    {
      // The memory stream lives only as long as this call: the save cannot go to a thread.
      TIESynchronousScope Synchronous;
      SaveToStream(&Encoded, FileType);
    }
    const Byte* Data = static_cast<const Byte*>(Encoded.Memory());
    const size_t N = size_t(Encoded.Size());
    switch (Style) {
      case 0:
        Out.WriteLine("const");
        Out.WriteLine("  " + ArrayName + "_Size = " + IntToStr(Int64(N)) + ";");
        // An empty encoding has no bytes to declare: an array of none cannot be written.
        if (N == 0) break;
        Out.WriteLine("  " + ArrayName + " : array [0.." + ArrayName + "_Size-1] of byte = (");
        WriteByteLines(Out, Data, N, "$", "    ", ");");
        break;
      case 1:
        Out.WriteLine("\\\\ Size=" + IntToStr(Int64(N)));
        if (N == 0) break;
        WriteByteLines(Out, Data, N, "0x", "", "");
        break;
      case 2: {
        Encoded.SetPosition(0);
        TMemoryStream Text;
        IEEncodeStreamBase64(&Encoded, &Text, 76);
        Out.Write(Text.Memory(), size_t(Text.Size()));
        break;
      }
    }
  } else if (Style == 3) {
    if (!MakeConsistentBitmap(TIEPixelFormatSet(1u << ie24RGB))) {
      Out.Close();
      return;
    }
    const Integer W = FImage->GetWidth(), H = FImage->GetHeight();
    AnsiString Line;
    for (Integer y = 0; y < H; ++y) {
      const TRGB* Row = static_cast<const TRGB*>(FImage->GetScanline(y));
      Line.assign(size_t(W), ' ');
      for (Integer x = 0; x < W; ++x) Line[size_t(x)] = IESourceArrayShade(Row[x]);
      Out.WriteLine(Line);
    }
  }
  Out.Close();
  FParams->FileName = FileName;
}
