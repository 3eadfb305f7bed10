// The layers file: "DORAZAVAVIVUR", a version, how the images are kept, the layer count, one
// property record per layer and then each layer's image. The view's members that write and read
// it are declared with the view (SaveLayersToStream, LoadLayersFromStream), those of the
// layers-and-objects file with the vector view.
#pragma once

#include "imaging/core/ie_types.h"

class TStream;

inline constexpr Integer IELayersFileVersion = 6;
// The images are kept as zlib streams of their raw records.
inline constexpr Integer IELayersRawCompression = -1;

// True when the stream holds the magic and a version above 0 at its position; the position is
// set back in every case.
bool IETestLayersStream(TStream* Stream);
