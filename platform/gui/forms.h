// Forms: top-level windows built in code. A form's constructor creates its components and binds
// their events; OnCreate fires once the form is fully constructed (AfterConstruction, which
// Application->CreateForm calls after it has set the caller's reference).
//
// Closing follows the framework: Close asks OnCloseQuery, then OnClose with an action (caHide
// by default, caFree for a form that should go away, caNone to stay open, caMinimize). A modal
// form's loop ends when ModalResult becomes non-zero; Close sets mrCancel. A Close that reaches a
// form before its modal loop has started (the form is not showing yet) is kept and ends the
// next ShowModal at once, as long as that ShowModal comes before the event loop gets control
// back; later it is dropped, so that closing an already closed dialog has no effect on the
// next run.
#pragma once

#include "platform/gui/controls.h"

class TCanvas;
namespace clvqt {
class FormWidget;
}

// Modal results (the desktop's dialog ids).
using TModalResult = Integer;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

using TBorderIcons = unsigned;
inline constexpr TBorderIcons biSystemMenu = 1u << 0;
inline constexpr TBorderIcons biMinimize = 1u << 1;
inline constexpr TBorderIcons biMaximize = 1u << 2;
inline constexpr TBorderIcons biHelp = 1u << 3;

enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };

enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

enum TWindowState { wsNormal, wsMinimized, wsMaximized };

enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TCanResizeEvent =
    std::function<void(TObject* Sender, Integer& NewWidth, Integer& NewHeight, bool& Resize)>;

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Fires OnCreate once; Application->CreateForm calls it after construction.
  virtual void AfterConstruction();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState Value);

  // A form's Left/Top are screen coordinates. Its client area (ClientRect, ClientWidth,
  // ClientHeight) is the inside below the menu bar: setting ClientHeight sizes the window to
  // hold the bar as well.
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;
  TRect ClientRect() const override;
  QWidget* ClientWidget() const override;

  void SetVisible(bool Value) override;
  // Shows the form non-modally and brings it to the front.
  void Show();
  void Hide();
  void Close();
  // Frees the form once the event that is being handled has finished.
  void Release();
  TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value);
  bool Modal() const { return FModalLevel > 0; }
  // Asks OnCloseQuery (and the owned forms); true when the form may close.
  virtual bool CloseQuery();

  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }

  // The control that has (or last had) the focus on this form.
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  bool Active() const;

  // A canvas over the whole client area, painted under the child controls; OnPaint draws on it.
  TCanvas* Canvas() const;
  void Invalidate() override;

  // Starts moving the window with the mouse, as a press on its caption would. The app calls it
  // from a mouse-down handler to let the user drag the window by its background. False when the
  // window system does not allow it.
  bool BeginWindowDrag();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TCanResizeEvent OnCanResize;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;

  // Platform entry points.
  // The window system asked to close the window (its close box); refused without biSystemMenu.
  void WindowCloseRequest();
  // A dialog key pressed on a control of this form: its controls get the first chance; a key
  // none of them takes is Enter for the focused or the default button, or Esc for the cancel
  // button. Key is 0 afterwards when it was used. (Tab without Ctrl, when no control takes it,
  // is left to the window system's focus chain.)
  void DialogKey(Word& Key, TShiftState Shift) override;
  // Whether a window-system resize to this size may proceed (OnCanResize; the size may change).
  bool CanResize(Integer& NewWidth, Integer& NewHeight);
  void DoShow();
  void DoHide();
  void DoActivate();
  void DoDeactivate();
  void PaintNow();

 protected:
  virtual void Paint();
  void VisibleChanged() override;
  void TextChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TApplication;
  friend class clvqt::FormWidget;
  void ApplyWindowFlags();
  // The menu bar grew by Delta pixels (or shrank): the window follows, the client area stays.
  void KeepClientHeight(Integer Delta);
  bool FixedSize() const;
  void KeepFixedSize();
  void PlaceOnShow();
  void CloseModal();
  TDialogKeyTarget* FindDialogTarget(TWinControl* Root, bool Cancel) const;

  clvqt::PaintSurface* FSurface = nullptr;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  TFormStyle FFormStyle = fsNormal;
  TModalResult FModalResult = mrNone;
  Integer FModalLevel = 0;
  bool FKeyPreview = false;
  bool FCreated = false;
  bool FPlaced = false;
  bool FPendingClose = false;
  Cardinal FPendingCloseGeneration = 0;
  bool FInSetBounds = false;
  TWinControl* FActiveControl = nullptr;
};

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// The form a control sits on, or nil.
TCustomForm* GetParentForm(const TControl* Control);
