// Spin controls: a pair of up and down arrow buttons, and an edit field with such a pair whose
// text holds an integer.
#pragma once

#include "platform/gui/stdctrls.h"

// Two arrow buttons stacked on top of each other. Up and Down arrow keys press them while the
// control has the focus; held buttons repeat.
class TSpinButton : public TWinControl {
 public:
  explicit TSpinButton(TComponent* AOwner);
  ~TSpinButton() override;

  // The control that takes the focus when a button is clicked.
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value);

  void UpClick();
  void DownClick();

  TNotifyEvent OnUpClick;
  TNotifyEvent OnDownClick;

 protected:
  void KeyDown(Word& Key, TShiftState Shift) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TWinControl* FFocusControl = nullptr;
};

// An edit field for an integer with arrow buttons at its right edge. The text is free: Value reads
// it as an integer, or answers MinValue when it is not one. Setting Value writes its decimal text,
// clamped to MinValue..MaxValue when MaxValue > MinValue; OnChange fires for that as for typing.
// The buttons and the Up and Down keys add and subtract Increment. Leaving the field puts a typed
// value that lies outside the range back inside it (after OnExit has run).
class TSpinEdit : public TCustomEdit {
 public:
  explicit TSpinEdit(TComponent* AOwner);
  ~TSpinEdit() override;

  Integer Value() const;
  void SetValue(Integer NewValue);
  Integer MinValue() const { return FMinValue; }
  void SetMinValue(Integer Value) { FMinValue = Value; }
  Integer MaxValue() const { return FMaxValue; }
  void SetMaxValue(Integer Value) { FMaxValue = Value; }
  Integer Increment() const { return FIncrement; }
  void SetIncrement(Integer Value) { FIncrement = Value; }

  virtual void UpClick();
  virtual void DownClick();

 protected:
  // Value clamped into the range (unchanged when MaxValue <= MinValue).
  Integer CheckValue(Integer NewValue) const;
  void KeyDown(Word& Key, TShiftState Shift) override;

 private:
  friend struct SpinEditAccess;
  void ClampAfterExit();

  Integer FMinValue = 0;
  Integer FMaxValue = 0;
  Integer FIncrement = 1;
};
