#include "imaging/proc/ie_channels.h"

#include <cmath>
#include <cstring>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "platform/rtl/numerics.h"

namespace {

// Runs Body(sample) over the channel's 8-bit samples, writing back what it returns.
template <typename TBody>
void MapChannel(TIEBitmap* Bitmap, Integer Channel, TBody&& Body) {
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  for (Integer y = 0; y < h; ++y) {
    auto* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    if (format == ie24RGB) {
      for (Integer x = 0; x < w; ++x) row[3 * x + Channel] = Body(row[3 * x + Channel]);
    } else {
      for (Integer x = 0; x < w; ++x) {
        Byte* p = row + 6 * x + 4 - 2 * Channel;
        Word v;
        std::memcpy(&v, p, 2);
        v = static_cast<Word>(Body(static_cast<Byte>(v >> 8)) * 257);
        std::memcpy(p, &v, 2);
      }
    }
  }
}

}  // namespace

void IEMatchChannel(TIEBitmap* Bitmap, Integer Channel, const Integer (&TargetHistogram)[256], Integer TargetCount) {
  if (!Bitmap || Channel < 0 || Channel > 2 || TargetCount <= 0) return;
  const TIEPixelFormat format = Bitmap->GetPixelFormat();
  if (format != ie24RGB && format != ieRGB48) return;
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  if (w <= 0 || h <= 0) return;

  double histogram[256] = {};
  MapChannel(Bitmap, Channel, [&](Byte v) {
    histogram[v] += 1;
    return v;
  });
  Byte equalise[256];
  double cumulative = 0;
  const double pixels = static_cast<double>(w) * h;
  for (Integer i = 0; i < 256; ++i) {
    cumulative += histogram[i];
    equalise[i] = static_cast<Byte>(IEClamp255(SafeTrunc<Integer>(cumulative * 255 / pixels)));
  }

  double target[256];
  double running = 0;
  for (Integer i = 0; i < 256; ++i) {
    running += TargetHistogram[i];
    target[i] = 255.0 / TargetCount * running;
  }
  Byte inverse[256];
  for (Integer j = 0; j < 256; ++j) {
    Integer best = 0;
    double bestDistance = std::fabs(j - target[0]);
    for (Integer k = 1; k < 256; ++k) {
      const double d = std::fabs(j - target[k]);
      if (d < bestDistance) {
        bestDistance = d;
        best = k;
      }
    }
    inverse[j] = static_cast<Byte>(best);
  }
  // Both steps in one pass give the same samples as two: the second reads only the first's.
  MapChannel(Bitmap, Channel, [&](Byte v) { return inverse[equalise[v]]; });
}

void IEMatchHistograms(TIEBitmap* Reference, TIEBitmap* Bitmap) {
  if (!Reference || !Bitmap || Reference->GetPixelFormat() != ie24RGB) return;
  const Integer rw = Reference->GetWidth(), rh = Reference->GetHeight();
  if (rw <= 0 || rh <= 0 || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return;
  // A reference larger than an Integer count of pixels cannot be described by these tables.
  if (static_cast<Int64>(rw) * rh > 0x7FFFFFFF) return;
  Integer histograms[3][256] = {};
  for (Integer y = 0; y < rh; ++y) {
    const auto* row = static_cast<const Byte*>(Reference->GetScanline(y));
    for (Integer x = 0; x < rw; ++x)
      for (Integer c = 0; c < 3; ++c) ++histograms[c][row[3 * x + c]];
  }
  const Integer count = rw * rh;
  for (Integer c = 0; c < 3; ++c) IEMatchChannel(Bitmap, c, histograms[c], count);
}

bool IEReorderChannels(TIEBitmap* Bitmap, const AnsiString& Order, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Order.size() < 3) return false;
  Integer source[3];
  for (Integer k = 0; k < 3; ++k) {
    switch (Order[static_cast<size_t>(k)]) {
      case 'B': case 'b': source[k] = 0; break;
      case 'G': case 'g': source[k] = 1; break;
      case 'R': case 'r': source[k] = 2; break;
      default: return false;
    }
  }
  const Integer w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
  for (Integer y = 0; y < h; ++y) {
    auto* p = static_cast<Byte*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < w; ++x, p += 3) {
      const Byte s[3] = {p[0], p[1], p[2]};
      p[0] = s[source[0]];
      p[1] = s[source[1]];
      p[2] = s[source[2]];
    }
    if (OnProgress) OnProgress(Sender, SafeTrunc<Integer>(static_cast<double>(y) / h * 100));
  }
  return true;
}
