// The application object and the screen.
//
// Every loop the main thread runs goes through TApplication: Run (the main loop), ShowModal and
// the dialogs of the service object (their own loops), ProcessMessages and HandleMessage. Each of
// them fires due timers and serves the calls that worker threads hand to the main thread.
#pragma once

#include <exception>
#include <functional>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/forms.h"

// A message the main thread took from its queue, as the application's OnMessage hook sees it.
// Only the messages the program reacts to are delivered: WM_DROPFILES (files dropped on a control
// that accepts them; wParam is the HDROP, hwnd the control).
struct TMsg {
  TWinControl* hwnd = nullptr;
  Cardinal message = 0;
  NativeUInt wParam = 0;
  NativeInt lParam = 0;
};

inline constexpr Cardinal WM_DROPFILES = 0x0233;

using TMessageEvent = std::function<void(TMsg& Msg, bool& Handled)>;
using TExceptionEvent = std::function<void(TObject* Sender, Exception& E)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  const AnsiString& Title() const { return FTitle; }
  void SetTitle(const AnsiString& Value);
  // The full path of the program file.
  AnsiString ExeName() const;

  // Creates a form owned by the application and sets Ref to it; then fires its OnCreate. The
  // first form created this way becomes MainForm.
  template <class T>
  void CreateForm(T*& Ref) {
    T* Form = new T(this);
    Ref = Form;
    FormCreated(Form);
  }
  TCustomForm* MainForm() const { return FMainForm; }

  // The main loop: returns once Terminate was called (closing the main form calls it).
  void Run();
  // Handles the events that are waiting (and due timers and handed-over calls), then returns.
  void ProcessMessages();
  // Waits for at least one event and handles it.
  void HandleMessage();
  // Handles what is waiting without waiting for more; whether anything was there.
  bool ProcessMessage();
  // Ends Run, and any modal loop running at the time of the call. Terminated stays set; modal
  // loops started afterwards run as usual (messages shown after the main form has closed).
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Counts the calls of Terminate, so that a modal loop can tell one made while it runs from one
  // made before it started.
  Cardinal TerminateRequests() const { return FTerminateRequests; }

  // Call inside a catch block: shows the exception being handled through OnException when set,
  // else as a message box with its Message (a final period is added as the framework does);
  // EAbort is silent.
  void HandleException(TObject* Sender);
  void ShowException(const Exception& E);

  // A message box through the service object, with the application's handling of the loop.
  Integer MessageBox(const AnsiString& Text, const AnsiString& Caption, Cardinal Flags = 0);

  TMessageEvent OnMessage;
  TExceptionEvent OnException;

  // Platform entry: offers a message to OnMessage; true when a handler marked it handled.
  bool DispatchAppMessage(TMsg& Msg);

  // Counts the times the event loop took control back (for the pending-close rule of forms).
  Cardinal LoopGeneration() const { return FLoopGeneration; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend struct TApplicationTestAccess;
  void FormCreated(TCustomForm* Form);

  AnsiString FTitle;
  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  Cardinal FTerminateRequests = 0;
  bool FHandlingException = false;
  Cardinal FLoopGeneration = 0;
};

// A cursor picture for Screen->SetCursors: 32-bit pixels 0xAARRGGBB, row by row from the top.
struct TCursorImage {
  Integer Width = 0;
  Integer Height = 0;
  Integer HotX = 0;
  Integer HotY = 0;
  std::vector<Cardinal> Pixels;
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  Integer PixelsPerInch() const { return 96; }
  Integer Width() const;
  Integer Height() const;
  TRect WorkAreaRect() const;
  Integer WorkAreaLeft() const { return WorkAreaRect().Left; }
  Integer WorkAreaTop() const { return WorkAreaRect().Top; }
  Integer WorkAreaWidth() const { return WorkAreaRect().Width(); }
  Integer WorkAreaHeight() const { return WorkAreaRect().Height(); }

  // Registers a program cursor under Id (replacing one registered before).
  void SetCursors(TCursor Id, const TCursorImage& Image);
  // Lets Id show a stock cursor (crCross, crSizeWE, ...).
  void SetCursorAlias(TCursor Id, TCursor Stock);
  // True for the stock ids and the ids registered so far.
  bool HasCursor(TCursor Id) const;

  // A cursor shown over every window while it is not crDefault (crHourGlass while busy).
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);

  Integer FormCount() const;
  TCustomForm* Forms(Integer Index) const;
  TCustomForm* ActiveForm() const;

 private:
  TCursor FCursor = crDefault;
};

extern TApplication* Application;
extern TScreen* Screen;

// Runs Fn; an exception escaping it goes to Application->HandleException(Sender). Every call
// from a Qt event or signal into program code goes through here.
void GuardedCall(TObject* Sender, const std::function<void()>& Fn);

// Made by PlatformStartup once the Qt application exists.
void CreateApplicationObjects();
// Destroys the application object with every form it owns (and their components), then the
// screen. The program calls it after Run, while the libraries its components use are loaded.
void DestroyApplicationObjects();
