// A control that goes takes its accessibility record with it: Qt keeps one per widget address,
// and a record left behind is handed to the next widget built at that address (a screen reader
// asking for its name then reads a freed widget).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QWidget>

#include <functional>
#include <memory>

#include "platform/gui/comctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/stdctrls.h"

namespace {

struct Kind {
  const char* Name;
  std::function<TWinControl*(TForm*)> Make;
};

TEST(AccessibleCache, AGoneControlLeavesNoRecordBehind) {
  const Kind kinds[] = {
      {"button", [](TForm* F) { return new TButton(F); }},
      {"edit", [](TForm* F) { return new TEdit(F); }},
      {"radio button", [](TForm* F) { return new TRadioButton(F); }},
      {"combo box", [](TForm* F) { return new TComboBox(F); }},
      {"scroll bar", [](TForm* F) { return new TScrollBar(F); }},
      {"track bar", [](TForm* F) { return new TTrackBar(F); }},
      {"page control", [](TForm* F) { return new TPageControl(F); }},
  };
  auto form = std::make_unique<TForm>(nullptr);
  form->Show();
  for (const Kind& k : kinds) {
    TWinControl* c = k.Make(form.get());
    c->SetParent(form.get());
    c->SetFocus();
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c->Widget());
    ASSERT_NE(a, nullptr) << k.Name;
    const QAccessible::Id id = QAccessible::uniqueId(a);
    delete c;
    EXPECT_EQ(QAccessible::accessibleInterface(id), nullptr) << k.Name;
  }
}

}  // namespace
