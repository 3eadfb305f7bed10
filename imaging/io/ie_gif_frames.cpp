#include "imaging/io/ie_gif_frames.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "imaging/formats/gif/ie_gif.h"

namespace {

struct TFrameRect {
  Integer X = 0, Y = 0, W = 0, H = 0;
};

// The logical screen: colours and coverage (0 = nothing drawn there, transparent).
class TGifScreen {
 public:
  bool Empty() const { return FW == 0; }
  Integer Width() const { return FW; }
  Integer Height() const { return FH; }

  void Allocate(Integer W, Integer H, TRGB Background) {
    FW = W;
    FH = H;
    FColour.assign(size_t(W) * size_t(H), Background);
    FAlpha.assign(size_t(W) * size_t(H), 0);
  }
  // Grows to W x H keeping the picture at the top left; the new area is opaque background.
  void Enlarge(Integer W, Integer H, TRGB Background) {
    if (W <= FW && H <= FH) return;
    W = std::max(W, FW);
    H = std::max(H, FH);
    std::vector<TRGB> colour(size_t(W) * size_t(H), Background);
    std::vector<Byte> alpha(size_t(W) * size_t(H), 255);
    for (Integer y = 0; y < FH; ++y) {
      std::copy_n(FColour.begin() + long(y) * FW, FW, colour.begin() + long(y) * W);
      std::copy_n(FAlpha.begin() + long(y) * FW, FW, alpha.begin() + long(y) * W);
    }
    FColour.swap(colour);
    FAlpha.swap(alpha);
    FW = W;
    FH = H;
  }
  TFrameRect Clip(TFrameRect R) const {
    const Integer x2 = std::min<Integer>(R.X + R.W, FW), y2 = std::min<Integer>(R.Y + R.H, FH);
    R.W = std::max(0, x2 - R.X);
    R.H = std::max(0, y2 - R.Y);
    return R;
  }
  void Fill(TFrameRect R, TRGB Colour, Byte Alpha) {
    R = Clip(R);
    for (Integer y = R.Y; y < R.Y + R.H; ++y) {
      std::fill_n(FColour.begin() + long(y) * FW + R.X, R.W, Colour);
      std::fill_n(FAlpha.begin() + long(y) * FW + R.X, R.W, Alpha);
    }
  }
  // A copy of the rectangle, for a frame that asks to have the screen put back after it.
  struct TSaved {
    TFrameRect R;
    std::vector<TRGB> Colour;
    std::vector<Byte> Alpha;
  };
  TSaved Save(TFrameRect R) const {
    TSaved s;
    s.R = Clip(R);
    for (Integer y = s.R.Y; y < s.R.Y + s.R.H; ++y) {
      s.Colour.insert(s.Colour.end(), FColour.begin() + long(y) * FW + s.R.X, FColour.begin() + long(y) * FW + s.R.X + s.R.W);
      s.Alpha.insert(s.Alpha.end(), FAlpha.begin() + long(y) * FW + s.R.X, FAlpha.begin() + long(y) * FW + s.R.X + s.R.W);
    }
    return s;
  }
  void Restore(const TSaved& S) {
    for (Integer y = 0; y < S.R.H; ++y) {
      std::copy_n(S.Colour.begin() + long(y) * S.R.W, S.R.W, FColour.begin() + long(S.R.Y + y) * FW + S.R.X);
      std::copy_n(S.Alpha.begin() + long(y) * S.R.W, S.R.W, FAlpha.begin() + long(S.R.Y + y) * FW + S.R.X);
    }
  }
  // Draws an ie24RGB frame at (X, Y); where Mask is 0 the screen shows through.
  void Draw(TIEBitmap* Frame, const TIEMask* Mask, Integer X, Integer Y) {
    const TFrameRect r = Clip(TFrameRect{X, Y, Frame->GetWidth(), Frame->GetHeight()});
    for (Integer y = 0; y < r.H; ++y) {
      const TRGB* src = static_cast<const TRGB*>(Frame->GetScanline(y));
      const Byte* m = Mask ? const_cast<TIEMask*>(Mask)->GetScanline(y) : nullptr;
      TRGB* dst = FColour.data() + size_t(Y + y) * size_t(FW) + size_t(X);
      Byte* a = FAlpha.data() + size_t(Y + y) * size_t(FW) + size_t(X);
      for (Integer x = 0; x < r.W; ++x) {
        const Byte v = m ? m[x] : 255;
        if (v == 0) continue;
        dst[x] = src[x];
        a[x] = std::max(a[x], v);
      }
    }
  }
  // Into Image (through the checked allocation) and a new 8-bit Mask.
  bool Deliver(TIEBitmap* Image, TIEMask*& Mask, TIECodecProgress& Progress) const {
    if (IEAllocateImage(Progress, Image, FW, FH, ie24RGB) == ieNull) return false;
    delete Mask;
    Mask = new TIEMask();
    Mask->AllocateBits(FW, FH, 8);
    for (Integer y = 0; y < FH; ++y) {
      std::copy_n(FColour.begin() + long(y) * FW, FW, static_cast<TRGB*>(Image->GetScanline(y)));
      std::copy_n(FAlpha.begin() + long(y) * FW, FW, Mask->GetScanline(y));
    }
    Mask->SyncFull();
    return true;
  }

 private:
  Integer FW = 0, FH = 0;
  std::vector<TRGB> FColour;
  std::vector<Byte> FAlpha;
};

}  // namespace

Integer IELoadGIFFrame(TStream* Stream, TIEBitmap* Image, TIEMask*& Mask, TIOParamsVals& P, TIECodecProgress& Progress) {
  const Integer wanted = P.GifImageIndex;
  const Int64 start = Stream->Position();
  // Only a load of the first frame lets the reader report; an animation reports per frame.
  TIECodecProgress reader = Progress;
  if (wanted > 0) {
    reader.OnProgress = nullptr;
    reader.Sender = nullptr;
  }
  TGifScreen screen;
  TGifScreen::TSaved saved;
  TFrameRect previous;
  Integer previousAction = 0;
  Integer count = 0;
  for (Integer i = 0;; ++i) {
    TIEBitmap frame;
    frame.SetLocation(ieMemory);
    TIEMask* frameMask = nullptr;
    Stream->SetPosition(start);
    P.SetImageIndex(i);
    ReadGIFStream(Stream, &frame, count, P, reader, false, frameMask, false);
    std::unique_ptr<TIEMask> keepMask(frameMask);
    const bool failed = IEAborting(Progress);
    if (frame.IsEmpty()) break;
    if (count <= 1) {
      Image->Assign(&frame);
      delete Mask;
      Mask = keepMask.release();
    } else {
      if (frame.GetPixelFormat() != ie24RGB) frame.SetPixelFormat(ie24RGB);
      const TFrameRect here{P.GifXPos, P.GifYPos, frame.GetWidth(), frame.GetHeight()};
      const Integer w = std::max(P.GifWinWidth, here.W), h = std::max(P.GifWinHeight, here.H);
      if (previousAction == 2) screen.Fill(previous, P.GifBackground, 0);
      if (previousAction == 3) screen.Restore(saved);
      // The logical screen's size is a claim of the header alone: past the frame's own pixels it
      // is blank area that a few bytes can ask for, and is bounded like other sparse data.
      const bool screenOk = [&] {
        if (!IECheckImageSize(Progress, w, h, 32)) return false;
        if (Int64(w) * h <= Int64(here.W) * here.H) return true;
        return IECheckSparseImage(Progress, "a GIF logical screen", w, h);
      }();
      if (!screenOk) break;
      if (screen.Empty()) screen.Allocate(w, h, P.GifBackground);
      if (w > screen.Width() || h > screen.Height()) screen.Enlarge(w, h, P.GifBackground);
      if (P.GifAction == 3) saved = screen.Save(here);
      screen.Draw(&frame, keepMask.get(), here.X, here.Y);
      previous = here;
      previousAction = P.GifAction;
      P.GifAction = 2;
      P.GifXPos = 0;
      P.GifYPos = 0;
    }
    if (Progress.OnProgress && count > 0) Progress.OnProgress(Progress.Sender, Integer(Int64(i) * 100 / count));
    if (failed || i + 1 >= count || i == wanted) break;
  }
  // Composed frames stay in full colour: the first frame's table need not hold the others'.
  if (!screen.Empty()) screen.Deliver(Image, Mask, Progress);
  P.SetImageIndex(wanted);
  return count;
}
