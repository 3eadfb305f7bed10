// Format detection finds Windows metafiles and enhanced metafiles by their headers (made by
// python3) and nothing in damaged ones.
#include <gtest/gtest.h>

#include "imaging/io/ie_format_detection.h"
#include "tests/imaging/io/io_test_util.h"

using namespace ietest;
using namespace iotest;

TEST(MetafileDetection, HeadersGiveTheirFormat) {
  EnsureIOUnit();
  const std::pair<const char*, Integer> cases[] = {{"placeable", ioWMF}, {"plain", ioWMF},     {"emf", ioEMF},
                                                   {"disk", ioUnknown},  {"cut", ioUnknown},   {"params", ioUnknown},
                                                   {"emfsig", ioUnknown}, {"emfcut", ioUnknown}};
  for (const auto& [kind, id] : cases) {
    SCOPED_TRACE(kind);
    const std::string file =
        testsupport::Fixture(std::string("metafile-") + kind + ".bin",
                             std::string("python3 ") + CLAVORNE_SOURCE_DIR +
                                 "/tests/imaging/formats/tools/make_metafile.py {out} " + kind);
    TMemoryStream m;
    FillStream(m, ReadWholeFile(file));
    EXPECT_EQ(FindStreamFormat(&m), id);
    EXPECT_EQ(m.Position(), 0);
  }
}
