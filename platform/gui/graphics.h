// The graphics vocabulary in one include: colours, pen, brush, font, canvas, bitmap, picture.
#pragma once

#include "platform/gui/bitmap.h"
#include "platform/gui/canvas.h"
#include "platform/gui/colors.h"
#include "platform/gui/graphics_objects.h"
