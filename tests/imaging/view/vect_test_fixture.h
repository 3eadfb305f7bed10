// A vector view on a shown form, headless, over a plain white image, and the helpers the vector
// tests share: records of each kind and a field-by-field comparison of two records.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "imaging/core/ie_bitmap.h"
#include "imaging/core/ie_helpers.h"
#include "imaging/core/ie_startup.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/view/ie_vect.h"
#include "platform/gui/forms.h"
#include "platform/gui/input_simulation.h"
#include "tests/support/fixtures.h"

namespace vecttest {

class TTestVect : public TZodivErVect {
 public:
  using TZodivErVect::Paint;
  using TZodivErVect::TZodivErVect;
};

struct VectTest : ::testing::Test {
  TForm* Form = nullptr;
  TTestVect* View = nullptr;

  TTestVect* MakeView(Integer W, Integer H) {
    auto* V = new TTestVect(Form);
    V->SetParent(Form);
    V->SetScrollBars(ssNone);
    V->SetBounds(0, 0, W, H);
    return V;
  }
  void SetUp() override {
    // The objects file stores its images through the format registry.
    IERegisterFileIOUnit();
    IEInitialize();
    Form = new TForm(nullptr);
    Form->SetBounds(40, 40, 420, 360);
    View = MakeView(240, 200);
    ShowActive(Form);
    View->IEBitmap()->Allocate(200, 180, ie24RGB);
    View->IEBitmap()->Fill(static_cast<double>(0xFFFFFF));
    View->Update();
  }
  void TearDown() override {
    delete Form;
    IEFinalize();
  }

  // A record of Kind over the box, with the template's other values.
  TIEVObjectRec Rec(Byte Kind, Integer X1, Integer Y1, Integer X2, Integer Y2) {
    TIEVObjectRec R;
    IEVCopyPlainFields(R, *View->GetObjectRec(IEV_NEXT_OBJECT));
    R.Kind = Kind;
    R.X1 = X1, R.Y1 = Y1, R.X2 = X2, R.Y2 = Y2;
    return R;
  }
  Integer Add(Byte Kind, Integer X1, Integer Y1, Integer X2, Integer Y2, const std::string& Name = "") {
    TIEVObjectRec R = Rec(Kind, X1, Y1, X2, Y2);
    R.Name = Name;
    return View->AppendObject(R);
  }
};

inline std::unique_ptr<TIEBitmap> SmallImage(TColor A, TColor B) {
  auto Bm = std::make_unique<TIEBitmap>();
  Bm->Allocate(4, 3, ie24RGB);
  Bm->Fill(static_cast<double>(A));
  Bm->SetPixelRGB(1, 1, IETColorToTRGB(B));
  return Bm;
}

}  // namespace vecttest
