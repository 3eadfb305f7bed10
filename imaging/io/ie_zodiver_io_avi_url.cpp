// Frames of AVI files and images from internet addresses.
#include <cstdlib>

#include "imaging/core/ie_wide_file_stream.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/io/ie_url_download.h"
#include "imaging/io/ie_zodiver_io.h"
#include "platform/rtl/strings.h"

Integer TZodivErIO::OpenAVIFile(const WideString& FileName) {
  FFailureReason.clear();
  Aborting = false;
  CloseAVIFile();
  FParams->AviFrameCount = 0;
  FParams->FileName = FileName;
  FParams->FileType = ioUnknown;
  IEAVIFileInitialized = true;
  const AnsiString Name = WideToAnsi(FileName);
  std::unique_ptr<TStream> File;
  try {
    File = std::make_unique<TIEWideFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
  } catch (const std::exception& E) {
    Fail(E.what());
    return 0;
  }
  auto Reader = std::make_unique<TIEAviReader>();
  TIECodecProgress Progress = MakeProgress();
  if (!Reader->Open(File.get(), Progress)) {
    FFailureReason = "Cannot open \"" + Name + "\" as a video: " + FFailureReason;
    Aborting = true;
    return 0;
  }
  FAviFile = std::move(File);
  FAviReader = std::move(Reader);
  FAviFileName = FileName;
  FParams->AviFrameCount = FAviReader->FrameCount();
  FParams->AviFrameDelayTime = 0;
  return FAviReader->FrameCount();
}

void TZodivErIO::CloseAVIFile() {
  FAviReader.reset();
  FAviFile.reset();
  FAviFileName.clear();
}

void TZodivErIO::LoadFromAVI(Integer FrameIndex) {
  if (InThread(&TZodivErIO::LoadFromAVI, FrameIndex)) return;
  FFailureReason.clear();
  Aborting = false;
  Finishing([&] {
    if (!MakeConsistentBitmap(0)) return Fail("There is no image to load into");
    // Asking for a frame with no file open, or for a frame the file does not have, is a failed
    // load, not an empty success.
    if (!FAviReader) return Fail("No AVI file is open");
    const AnsiString Cause = "Cannot load frame " + IntToStr(FrameIndex) + " of \"" + WideToAnsi(FAviFileName) + "\": ";
    const Integer Count = FAviReader->FrameCount();
    if (FrameIndex < 0 || FrameIndex >= Count)
      return Fail(Cause + "the video has " + IntToStr(Count) + (Count == 1 ? " frame" : " frames"));
    FParams->AviFrameCount = Count;
    FParams->AviFrameDelayTime = FAviReader->FrameDelay();

    TIEBitmap Frame;
    TIECodecProgress Progress = MakeProgress();
    Integer Bits = 0;
    if (!FAviReader->ReadFrame(FrameIndex, &Frame, Progress, Bits)) {
      FFailureReason = Cause + (FFailureReason.empty() ? AnsiString("the load was stopped") : FFailureReason);
      Aborting = true;
      return;
    }
    FImage->Assign(&Frame);
    if (FImage->GetWidth() != Frame.GetWidth() || FImage->GetHeight() != Frame.GetHeight() ||
        FImage->GetPixelFormat() != Frame.GetPixelFormat())
      return Fail(Cause + "the image could not take the frame's " + IntToStr(Frame.GetWidth()) + " x " +
                  IntToStr(Frame.GetHeight()) + " pixels");
    switch (Bits) {
      case 1: FParams->BitsPerSample = 1; FParams->SamplesPerPixel = 1; break;
      case 4: FParams->BitsPerSample = 4; FParams->SamplesPerPixel = 1; break;
      case 8: FParams->BitsPerSample = 8; FParams->SamplesPerPixel = 1; break;
      case 15: FParams->BitsPerSample = 5; FParams->SamplesPerPixel = 3; break;
      case 16:
      case 24:
      case 32: FParams->BitsPerSample = 8; FParams->SamplesPerPixel = 3; break;
      default: break;
    }
    FParams->SetDpiX(IEGlobalDefaultDpiX);
    FParams->SetDpiY(IEGlobalDefaultDpiY);
    FParams->Width = FParams->OriginalWidth = Frame.GetWidth();
    FParams->Height = FParams->OriginalHeight = Frame.GetHeight();
    std::free(FParams->ColorMap);
    FParams->ColorMap = nullptr;
    FParams->ColorMapCount = 0;
    Update();
  });
}

void TZodivErIO::LoadAVIByName(const WideString& FileName) {
  // The file is closed again below, so its frame is read here and now, never by a worker.
  const TIESynchronousScope Here;
  // A file that does not open as a video keeps the open's failure: loading nothing is not a
  // success.
  if (OpenAVIFile(FileName) > 0 || !Aborting) {
    LoadFromAVI(FParams->ImageIndex);
  } else {
    DoFinishWork();
  }
  CloseAVIFile();
  FParams->FileName = FileName;
  FParams->FileType = ioAVI;
}

void TZodivErIO::LoadFromURL(const WideString& URL) {
  if (InThreadURL(&TZodivErIO::LoadFromURL, URL)) return;
  FFailureReason.clear();
  Aborting = false;
  TMemoryStream Memory;
  AnsiString Extension, Reason;
  const bool Downloaded =
      IEDownloadURL(URL, &Memory, ProxyAddress, ProxyUser, ProxyPassword,
                    [this](TObject* Sender, Integer Percent) { DoProgress(Sender, Percent); }, this, Aborting,
                    Extension, &Reason);
  if (!Downloaded) {
    Fail(Reason);
    DoFinishWork();
    return;
  }
  Memory.SetPosition(0);
  LoadFromStream(&Memory);
  if (Aborting && !FFailureReason.empty()) {
    // The stream load cannot know where its bytes came from.
    AnsiString Shown = WideToAnsi(URL);
    const size_t Scheme = Shown.find("://"), At = Shown.find('@'), Slash = Shown.find('/', Scheme + 3);
    if (Scheme != AnsiString::npos && At != AnsiString::npos && At < Slash) Shown.erase(Scheme + 3, At - Scheme - 2);
    FFailureReason = "Cannot load \"" + Shown + "\": " + FFailureReason;
  }
}
