// What each row store of the image buffer can hold: readers ask it to name the real reason when
// an allocation in a store is refused.
#pragma once

#include "imaging/core/ie_types.h"

// Empty when rows kept in Location can be allocated in Format (the framework bitmap takes
// ie16g, turning it into ie8g); otherwise the text of the store's refusal, naming the format.
AnsiString IEStoreRefusal(TIELocation Location, TIEPixelFormat Format);
