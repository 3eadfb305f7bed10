// The codec kit: the row stepper, the size gate with its reasons, and the error boundaries of
// the C libraries, driven with real files made by other tools and with broken ones.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <thread>

#include "imaging/core/ie_bitmap.h"
#include "imaging/formats/codec.h"
#include "imaging/formats/jp2/ie_openjpeg_glue.h"
#include "imaging/formats/jpeg/ie_jpeg_glue.h"
#include "imaging/formats/png/ie_png_glue.h"
#include "platform/rtl/streams.h"
#include "tests/imaging/formats/codec_test_util.h"
#include "tests/imaging/support/corpus.h"
#include "tests/imaging/support/ie_stores.h"
#include "tests/support/fixtures.h"

using namespace ietest;

namespace {

TEST(CodecKit, StepperReportsEachRowAndStopsWhenAborted) {
  std::atomic<bool> aborting{false};
  AnsiString reason;
  std::vector<Integer> reports;
  TObject sender;
  TIECodecProgress progress;
  progress.Sender = &sender;
  progress.Aborting = &aborting;
  progress.FailureReason = &reason;
  progress.OnProgress = [&](TObject* s, Integer per) {
    EXPECT_EQ(s, &sender);
    reports.push_back(per);
  };
  {
    TIERowStepper step(progress, 4);
    for (int y = 0; y < 4; ++y) EXPECT_TRUE(step.Next());
    EXPECT_EQ(reports, (std::vector<Integer>{0, 25, 50, 75}));  // the last report stays below 100
  }
  // A one-row image reports 0 once; a long one reporting only changes reports each percent once.
  reports.clear();
  TIERowStepper one(progress, 1);
  one.Next();
  EXPECT_EQ(reports, (std::vector<Integer>{0}));
  reports.clear();
  TIERowStepper many(progress, 1000, true);
  for (int y = 0; y < 1000; ++y) many.Next();
  EXPECT_EQ(reports.size(), 100u);

  // Cancelled from the progress handler, and from another thread: the next step says stop.
  reports.clear();
  progress.OnProgress = [&](TObject*, Integer per) {
    if (per >= 20) aborting = true;
  };
  TIERowStepper cancelled(progress, 10);
  int rows = 0;
  while (cancelled.Next()) ++rows;
  EXPECT_EQ(rows, 2);
  aborting = false;
  progress.OnProgress = nullptr;  // nothing to report to: still stops
  TIERowStepper other(progress, 1 << 30);
  std::thread canceller([&] { aborting = true; });
  while (other.Next()) {
  }
  canceller.join();
  EXPECT_TRUE(other.Aborted());
  EXPECT_TRUE(reason.empty()) << "a cancel is not a refusal";
}

TEST(CodecKit, SizeGateRefusesBeforeAllocationWithAReason) {
  struct Case {
    Int64 w, h, bits;
    const char* reason;
  } cases[] = {
      {0, 0, 24, ""},
      {1 << 20, 2, 8, ""},
      {(1 << 20) + 1, 1, 8, "width 1048577 is above the limit of 1048576 pixels"},
      {1, Int64(1) << 31, 8, "height 2147483648 is above the limit of 1048576 pixels"},
      {1 << 20, 1 << 20, 1, "1048576 x 1048576 pixels is above the limit of 2147483648 pixels"},
      {1 << 20, 1 << 11, 96, "1048576 x 2048 pixels of 96 bits need more than the limit of 17179869184 bytes"},
      {-5, 3, 8, "the size -5 x 3 is negative"},
      {4, 4, 0, "0 bits per pixel is not a pixel size"},
  };
  for (const Case& c : cases) {
    std::atomic<bool> aborting{false};
    AnsiString reason;
    TIECodecProgress progress;
    progress.Aborting = &aborting;
    progress.FailureReason = &reason;
    const bool ok = IECheckImageSize(progress, c.w, c.h, c.bits);
    EXPECT_EQ(ok, *c.reason == 0) << c.w << " x " << c.h;
    EXPECT_EQ(reason, c.reason);
    EXPECT_EQ(aborting.load(), !ok);
  }
  // The first reason stays: a later failure of the same operation does not hide it.
  AnsiString reason;
  TIECodecProgress progress;
  progress.FailureReason = &reason;
  IEFail(progress, "first");
  IEFail(progress, "second");
  EXPECT_EQ(reason, "first");
}

// The one allocation every reader makes: in each store it gives the format asked, or the
// framework bitmap's 8-bit grey for 16-bit grey when the reader says it can write that, or
// refuses with the store's own reason; the bitmap is never left with rows of another format.
TEST(CodecKit, AllocationGivesTheFormatAskedOrSaysWhatTheStoreCannotHold) {
  ForEachStore([](Store s, StoreScope& scope) {
    for (TIEPixelFormat f : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
      SCOPED_TRACE(int(f));
      TIEBitmap b;
      scope.Prepare(b);
      TProgressProbe probe;
      const TIEPixelFormat got = IEAllocateImage(probe.Progress, &b, 5, 3, f);
      if (scope.Holds(f)) {
        EXPECT_EQ(got, f);
        EXPECT_FALSE(probe.Failed()) << probe.Reason;
        EXPECT_EQ(b.GetPixelFormat(), f);
        EXPECT_EQ(b.GetWidth(), 5);
        EXPECT_TRUE(scope.InStore(b));
        continue;
      }
      ASSERT_EQ(s, Store::TBitmap);
      EXPECT_EQ(got, ieNull);
      EXPECT_TRUE(probe.Failed());
      EXPECT_TRUE(b.IsEmpty());
      if (f == ie16g) {
        EXPECT_EQ(probe.Reason, "the image store gave 5 x 3 pixels of ie8g where 5 x 3 pixels of ie16g were asked");
        TProgressProbe accepted;
        TIEBitmap narrow;
        scope.Prepare(narrow);
        EXPECT_EQ(IEAllocateImage(accepted.Progress, &narrow, 5, 3, ie16g, ie8g), ie8g);
        EXPECT_FALSE(accepted.Failed());
      } else {
        const std::string name = f == ie32f ? "ie32f" : f == ieCMYK ? "ieCMYK" : f == ieRGB48 ? "ieRGB48" : "ieCIELab";
        EXPECT_EQ(probe.Reason, name + " pixel format not allowed when Location=ieTBitmap");
      }
    }
  });
  // The size gate comes first; an image without pixels is refused too.
  TIEBitmap b;
  TProgressProbe big, empty;
  EXPECT_EQ(IEAllocateImage(big.Progress, &b, Int64(1) << 21, 1, ie8g), ieNull);
  EXPECT_EQ(big.Reason, "width 2097152 is above the limit of 1048576 pixels");
  EXPECT_EQ(IEAllocateImage(empty.Progress, &b, 0, 7, ie8g), ieNull);
  EXPECT_EQ(empty.Reason, "the image has no pixels: 0 x 7");
}

// The claim against the input, and the limit for codings that need not describe every pixel.
TEST(CodecKit, ClaimsAreComparedWithTheInput) {
  TProgressProbe fits, unknown, short_, sparse, blank;
  EXPECT_TRUE(IECheckInputHolds(fits.Progress, "the data", 10, 10, 100, 100));
  EXPECT_TRUE(IECheckInputHolds(unknown.Progress, "the data", 10, 10, 100, -1));
  EXPECT_FALSE(IECheckInputHolds(short_.Progress, "the BMP pixel data", 10, 10, 300, 299));
  EXPECT_EQ(short_.Reason, "the BMP pixel data holds 299 bytes, too few for 10 x 10 pixels (at least 300 bytes)");
  EXPECT_FALSE(fits.Failed() || unknown.Failed());
  EXPECT_TRUE(short_.Failed());

  EXPECT_TRUE(IECheckSparseImage(blank.Progress, "run-length data", 16384, 16384));
  EXPECT_FALSE(IECheckSparseImage(sparse.Progress, "run-length data", 16384, 16385));
  EXPECT_EQ(sparse.Reason, "16384 x 16385 pixels of run-length data is above the limit of 268435456 pixels");
  const Int64 saved = IESparseImageMaxPixels;
  IESparseImageMaxPixels = Int64(1) << 30;  // a caller that trusts its input raises it
  TProgressProbe raised;
  EXPECT_TRUE(IECheckSparseImage(raised.Progress, "run-length data", 16384, 16385));
  IESparseImageMaxPixels = saved;

  // Deflate's densest coding: the stored rows of a blank image compress by about 1030 at best.
  std::vector<Byte> rows(size_t(1) << 22, 0), packed(compressBound(uLong(rows.size())));
  uLongf len = packed.size();
  ASSERT_EQ(compress2(packed.data(), &len, rows.data(), uLong(rows.size()), 9), Z_OK);
  EXPECT_LE(Int64(rows.size()) / IEDeflateMaxRatio, Int64(len));
  EXPECT_GT(Int64(rows.size()) / IEDeflateMaxRatio, Int64(len) * 9 / 10) << "the bound is close to what zlib does";
}

// The raw record loader asks the same gate: a record read from a bare buffer (no known end)
// that claims a huge image is refused before any allocation; lowered limits refuse a real one.
TEST(CodecKit, RawRecordPassesTheGate) {
  std::vector<Byte> record = ReadWholeFile(std::string(CLAVORNE_SOURCE_DIR) + "/tests/imaging/formats/record/rgb24_alpha.ierec");
  ASSERT_GT(record.size(), 40u);
  // Width follows the signature (12), version (4), palette length (4) and no palette.
  Integer width;
  std::memcpy(&width, &record[20], 4);
  ASSERT_EQ(width, 5);
  TIEBitmap b;
  EXPECT_TRUE(b.LoadRawFromStream(record.data(), nullptr));
  EXPECT_EQ(b.GetWidth(), 5);
  const TImageLimits saved = IEImageLimits;
  IEImageLimits.MaxWidth = 4;
  TIEBitmap refused;
  EXPECT_FALSE(refused.LoadRawFromStream(record.data(), nullptr));
  IEImageLimits = saved;
  std::vector<Byte> huge = record;
  const Integer claim = 0x40000000;
  std::memcpy(&huge[20], &claim, 4);
  std::memcpy(&huge[24], &claim, 4);
  TIEBitmap untouched(2, 2, ie8g);
  EXPECT_FALSE(untouched.LoadRawFromStream(huge.data(), nullptr));
  EXPECT_EQ(untouched.GetWidth(), 2);
}

// Each C library's error ends at its glue as our exception with the library's own message,
// after the library's frames are gone; good files made by other tools pass the same calls.
TEST(CodecKit, LibraryErrorsBecomeExceptionsAtTheGlue) {
  const std::string jpeg = testsupport::Fixture("kit-8x6.jpg", "convert -size 8x6 gradient:red-blue {out}");
  const std::string png = testsupport::Fixture("kit-8x6.png", "convert -size 8x6 gradient:red-blue {out}");
  const std::string j2k = testsupport::Fixture(
      "kit-8x6.j2k", "convert -size 8x6 gradient:red-blue {out}.ppm && opj_compress -n 2 -i {out}.ppm -o {out}.j2k >/dev/null && mv {out}.j2k {out} && rm {out}.ppm");

  auto jpegHeader = [](std::vector<Byte> data) {
    TIEJpegErrorManager err;
    jpeg_decompress_struct info{};
    info.err = IEJpegErrorManager(err);
    int width = 0;
    try {
      IEJpegCall(err, [&] {
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&info, TRUE);
        jpeg_start_decompress(&info);
        width = static_cast<int>(info.output_width);
      });
    } catch (...) {
      jpeg_destroy_decompress(&info);
      throw;
    }
    jpeg_destroy_decompress(&info);
    return width;
  };
  std::vector<Byte> good = ReadWholeFile(jpeg);
  EXPECT_EQ(jpegHeader(good), 8);
  std::vector<Byte> bad = good;
  bad[0] = 0x00;
  try {
    jpegHeader(bad);
    ADD_FAILURE() << "a file without the JPEG signature was accepted";
  } catch (const EIEJpegError& e) {
    EXPECT_NE(e.Message.find("Not a JPEG file"), std::string::npos) << e.Message;
  }

  auto pngHeader = [](const std::vector<Byte>& data) {
    TIEPngMessages msg;
    png_structp p = IEPngCreateRead(msg);
    png_infop info = png_create_info_struct(p);
    struct Source {
      const std::vector<Byte>* Data;
      size_t At;
    } src{&data, 0};
    png_uint_32 width = 0;
    try {
      IEPngCall(p, msg, [&] {
        png_set_read_fn(p, &src, [](png_structp png, png_bytep out, size_t n) {
          auto* s = static_cast<Source*>(png_get_io_ptr(png));
          if (s->At + n > s->Data->size()) png_error(png, "the file ends too early");
          std::memcpy(out, s->Data->data() + s->At, n);
          s->At += n;
        });
        png_read_info(p, info);
        width = png_get_image_width(p, info);
      });
    } catch (...) {
      png_destroy_read_struct(&p, &info, nullptr);
      throw;
    }
    png_destroy_read_struct(&p, &info, nullptr);
    return width;
  };
  good = ReadWholeFile(png);
  EXPECT_EQ(pngHeader(good), 8u);
  bad = good;
  bad[20] ^= 0x40;  // inside IHDR: the chunk's CRC no longer matches
  EXPECT_THROW(pngHeader(bad), EIEPngError);
  try {
    pngHeader(std::vector<Byte>(good.begin(), good.begin() + 12));
    ADD_FAILURE() << "a truncated file was accepted";
  } catch (const EIEPngError& e) {
    EXPECT_EQ(e.Message, "the file ends too early");
  }

  auto j2kHeader = [](const std::vector<Byte>& data) {
    TMemoryStream m;
    if (!data.empty()) m.WriteBuffer(data.data(), Int64(data.size()));
    m.SetPosition(0);
    TIEOpenJpegMessages msg;
    opj_codec_t* codec = opj_create_decompress(OPJ_CODEC_J2K);
    IEOpenJpegMessagesTo(codec, msg);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    opj_setup_decoder(codec, &params);
    opj_image_t* image = nullptr;
    OPJ_UINT32 width = 0;
    try {
      TIEOpenJpegStream in(&m, true);
      IEOpenJpegCheck(opj_read_header(in.Handle(), codec, &image), msg, in);
      IEOpenJpegCheck(opj_decode(codec, in.Handle(), image), msg, in);
      width = image->x1 - image->x0;
    } catch (...) {
      opj_image_destroy(image);
      opj_destroy_codec(codec);
      throw;
    }
    opj_image_destroy(image);
    opj_destroy_codec(codec);
    return width;
  };
  good = ReadWholeFile(j2k);
  EXPECT_EQ(j2kHeader(good), 8u);
  EXPECT_THROW(j2kHeader(std::vector<Byte>(good.begin(), good.begin() + good.size() / 2)), EIEOpenJpegError);
  EXPECT_THROW(j2kHeader(std::vector<Byte>(good.begin(), good.begin() + 10)), EIEOpenJpegError);
}

}  // namespace
