// Bit, byte-order, power and colour helpers; Lab and YCbCr checked against python3 evaluating
// the same formulas independently.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "imaging/core/ie_bits.h"
#include "imaging/core/ie_colors.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_math.h"
#include "tests/support/fixtures.h"

namespace {

TEST(IEBitHelpers, CountsMasksAndRows) {
  struct {
    Integer count, bits;
  } colors[] = {{256, 8}, {200, 8}, {2, 1}, {1, 0}, {0, -1}, {3, 2}, {65536, 16}, {-1, 32}};
  for (auto c : colors) EXPECT_EQ(IEBitsForColors(c.count), c.bits) << c.count;
  struct {
    DWORD mask;
    Integer width;
  } masks[] = {{0x0000F800, 5}, {0, 0}, {0xFFFFFFFF, 32}, {0x80000000, 1}, {0x000007E0, 6}, {0x0F0F, 4}};
  for (auto m : masks) EXPECT_EQ(IEBitMaskWidth(m.mask), m.width) << std::hex << m.mask;
  EXPECT_EQ(IEColorCount(8, 3), 16777216);
  EXPECT_EQ(IEColorCount(16, 2), 0);  // wraps in 32 bits, as callers expect
  // Ordinals pfDevice .. pfCustom.
  const Integer bits[] = {0, 1, 4, 8, 15, 16, 24, 32, 0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(IETPixelFormatBits(i), bits[i]) << i;
  EXPECT_EQ(IETBitmapRowLen(3, 6), 12);
  EXPECT_EQ(IETBitmapRowLen(5, 4), 12);  // 75 bits -> 3 words
}

TEST(IEBitHelpers, ReversalAndByteOrder) {
  Byte b = 0x01;
  IEReverseBitsInByte(b);
  EXPECT_EQ(b, 0x80);
  b = 0xCA;
  IEReverseBitsInByte(b);
  EXPECT_EQ(b, 0x53);
  DWORD v = 0x00000001;
  IEReverseBits32(v);
  EXPECT_EQ(v, 0x80000000u);
  v = 0x12345678;
  IEReverseBits32(v);
  EXPECT_EQ(v, 0x1E6A2C48u);
  EXPECT_EQ(IESwapWord(0xAABB1234), 0xAABB3412u);
  EXPECT_EQ(IESwapDWord(0x12345678), 0x78563412u);
  EXPECT_EQ(IESwapWordIf(0xAABB1234, true), 0x3412u);
  EXPECT_EQ(IESwapWordIf(0xAABB1234, false), 0xAABB1234u);
  EXPECT_EQ(IESwapDWordIf(0x12345678, true), 0x78563412u);
  Byte buf[3] = {0x00, 0xFF, 0x0F};
  IEInvertBuffer(buf, 3);
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_EQ(buf[2], 0xF0);
}

TEST(IEMathHelpers, PowersAndPicks) {
  EXPECT_EQ(IEIntPower(0, 5), 1);
  EXPECT_EQ(IEIntPower(10, 2), 1024);
  EXPECT_EQ(IEIntPower(-2, 2), 0.25);
  EXPECT_EQ(IEIntPower(3, -2), -8);
  EXPECT_EQ(IEPower(0, 3), 0);
  EXPECT_EQ(IEPower(5, 0), 1);
  EXPECT_EQ(IEPower(-2, 3), -8);  // integral exponents work for negative bases
  EXPECT_NEAR(static_cast<double>(IEPower(2, 0.5)), 1.41421356, 1e-8);
  EXPECT_TRUE(std::isnan(static_cast<double>(IEPower(-2, 0.5))));
  EXPECT_EQ(IEIfThen(true, 1, 2), 1);
  EXPECT_EQ(IEIfThenDouble(false, 1.5, 2.5), 2.5);
  EXPECT_EQ(IEMaxFloat(1, 2), 2);
  EXPECT_EQ(IEColorToARGB(clRed, 0x80), 0x80FF0000u);
  EXPECT_EQ(IEColorToARGB(0x00123456, 0), 0x00563412u);
}

// Each output line of the reference is "r g b | L a b | R G B | y cb cr | R G B".
TEST(IEColorHelpers, LabAndYCbCrMatchPython) {
  const char* script = R"PY(python3 - <<'EOF'
import math
def powd(b, e): return b ** e
def lin(c):
    v = c / 255
    return v / 12.92 if v <= 0.03928 else powd((v + 0.055) / 1.055, 2.4)
def f(t): return t ** (1/3) if t > 0.008856 else 7.787 * t + 16/116
def s8(v): return ((v + 128) & 255) - 128
def to_lab(R, G, B):
    r, g, b = lin(R), lin(G), lin(B)
    X = (0.412453*r + 0.35758*g + 0.180423*b) / 0.95047
    Y = 0.212671*r + 0.71516*g + 0.072169*b
    Z = (0.019334*r + 0.119193*g + 0.950227*b) / 1.08883
    L = 116*f(Y) - 16 if Y > 0.008856 else 903.3*Y
    return int(L*2.5) & 255, s8(int((f(X)-f(Y))*500)), s8(int((f(Y)-f(Z))*200))
def finv(t):
    c = t ** 3
    return c if c > 0.008856 else (t - 0.13793103448) / 7.787
def rnd(x): return int(round(x))
def gam(c):
    v = 12.92*c if c <= 0.0031308 else 1.055 * (c ** (1/2.4)) - 0.055
    if isinstance(v, complex): return 0
    return max(0, min(255, rnd(v*255)))
def from_lab(L, a, b):
    fy = (L*0.39215686275 + 16) / 116; fx = fy + a/500; fz = fy - b/200
    X = finv(fx)*0.95047; Y = finv(fy); Z = finv(fz)*1.08883
    r = 3.2406*X - 1.5372*Y - 0.4986*Z; g = -0.9689*X + 1.8758*Y + 0.0415*Z; bb = 0.0557*X - 0.204*Y + 1.057*Z
    return gam(r), gam(g), gam(bb)
def clamp(v): return max(0, min(255, int(v)))
def ycc(y, cb, cr):
    return clamp(y + 1.402*(cr-128)), clamp(y - 0.34414*(cb-128) - 0.71414*(cr-128)), clamp(y + 1.772*(cb-128))
import random
random.seed(5)
cols = [(0,0,0),(255,255,255),(255,0,0),(0,255,0),(0,0,255),(10,10,10),(128,64,200)] + \
       [tuple(random.randrange(256) for _ in range(3)) for _ in range(60)]
for (R,G,B) in cols:
    L,a,b = to_lab(R,G,B)
    y, cb, cr = R, G, B
    print(R,G,B,L,a,b,*from_lab(L,a,b),y,cb,cr,*ycc(y,cb,cr))
EOF)PY";
  std::istringstream in(testsupport::RunOk(script));
  int r, g, b, L, A, B2, br, bg, bb, y, cb, cr, yr, yg, yb, lines = 0;
  while (in >> r >> g >> b >> L >> A >> B2 >> br >> bg >> bb >> y >> cb >> cr >> yr >> yg >> yb) {
    ++lines;
    TCIELab lab = IERGBToCIELab(IECreateRGB(Byte(r), Byte(g), Byte(b)));
    EXPECT_EQ(lab.l, L) << r << "," << g << "," << b;
    EXPECT_EQ(lab.a, A) << r << "," << g << "," << b;
    EXPECT_EQ(lab.b, B2) << r << "," << g << "," << b;
    EXPECT_EQ(IECIELabToRGB(lab), IECreateRGB(Byte(br), Byte(bg), Byte(bb))) << L << "," << A << "," << B2;
    EXPECT_EQ(IEYCbCrToRGB(Byte(y), Byte(cb), Byte(cr)), IECreateRGB(Byte(yr), Byte(yg), Byte(yb)))
        << y << "," << cb << "," << cr;
  }
  EXPECT_EQ(lines, 67);
}

}  // namespace
