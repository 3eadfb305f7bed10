// Hue, saturation and lightness of a colour, all three in 0..1. The blend operations that mix
// hue and lightness of two colours and the colour-adjustment operations share these.
#pragma once

#include "imaging/core/ie_types.h"

void IERGBToHSL(TRGB Color, double& H, double& S, double& L);
TRGB IEHSLToRGB(double H, double S, double L);
double IEHueToRGBComponent(double M1, double M2, double Hue);
