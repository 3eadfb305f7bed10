#include "imaging/formats/compression/ie_ccitt_image.h"

// The fax row coders are not part of the library yet: until they are, a writer asked for a fax
// block refuses the page with a reason rather than embed data no reader could decode.
bool IEEncodeCCITTImage(TIEBitmap*, Integer K, std::vector<Byte>& Out, TIECodecProgress& Progress) {
  Out.clear();
  IEFail(Progress, AnsiString("CCITT ") + (K < 0 ? "Group 4" : "Group 3 two-dimensional") +
                       " compression of black-and-white images is not available yet; choose another compression");
  return false;
}
