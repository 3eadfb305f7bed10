// For platform/gui code only: the pictures of an image list as Qt images.
#pragma once

#include <QImage>

#include "platform/gui/imglist.h"

namespace clvqt {

// Picture Index at the list's size with alpha (0 where transparent); a null image for a bad index.
QImage ImageListPicture(const TCustomImageList* List, Integer Index);

}  // namespace clvqt
