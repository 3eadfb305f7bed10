#include "app/main_window.h"
#include "app/preview_worker.h"

#include <cstdio>
#include <cstdlib>

#include "app/about_box.h"
#include "app/app_pictures.h"
#include "app/audio_run.h"
#include "app/clip_run.h"
#include "app/composite_run.h"
#include "app/desktop_open.h"
#include "app/engine_log.h"
#include "app/frame_run.h"
#include "app/hint_windows.h"
#include "app/library_loading.h"
#include "app/reading_order.h"
#include "imaging/view/ie_view.h"
#include "media/components/decoder.h"
#include "media/components/encoder.h"
#include "platform/gui/dragdrop.h"
#include "platform/gui/graphics.h"
#include "platform/gui/keys.h"
#include "platform/gui/services.h"
#include "platform/rtl/files.h"
#include "platform/rtl/strings.h"
#include "widgets/slider/slider.h"

AnsiString LibraryFolder;
Tmain* MainWindow = nullptr;

namespace {

// The folder that stands for the system folder: where the desktop keeps shared libraries.
AnsiString get_systemfolder() { return IncludeTrailingPathDelimiter("/usr/lib"); }

const char* const ImageFormatPatterns = "*.JPG;*.JPEG;*.GIF;*.BMP;*.PNG;*.PCX;*.TIFF;*.TGA;*.PGM;*.PPM;*.PAM;*.SGI;";

template <class T>
T* Make(TComponent* Owner, TWinControl* Parent, const AnsiString& Name) {
  T* c = new T(Owner);
  c->SetName(Name);
  if (Parent) c->SetParent(Parent);
  return c;
}

TTimer* MakeRunTimer(TComponent* Owner, const AnsiString& Name) {
  TTimer* t = new TTimer(Owner);
  t->SetName(Name);
  t->SetEnabled(false);
  t->SetInterval(2);
  return t;
}

}  // namespace

Tmain::Tmain(TComponent* AOwner) : TForm(AOwner) {
  MainWindow = this;
  SetName("main");
  SetCaption("Clavorne Pro 1.2.7");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu | biMinimize);
  SetPosition(poScreenCenter);
  SetClientWidth(944);
  SetClientHeight(686);
  CreateComponents();
  FrameRun = std::make_unique<TFrameRun>(this);
  AudioRun = std::make_unique<TAudioRun>(this);
  ClipRun = std::make_unique<TClipRun>(this);
  CompositeRun = std::make_unique<TCompositeRun>(this);
  SetReadingTabOrder(this);
  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, Integer X, Integer Y) { FormMouseDown(S, B, Sh, X, Y); };
  OnCanResize = [this](TObject* S, Integer& W, Integer& H, bool& R) { FormCanResize(S, W, H, R); };
}

Tmain::~Tmain() {
  if (Application && Application->OnMessage) Application->OnMessage = nullptr;
  // The handlers reach sibling controls and the decoder: they go while the form is whole.
  // The preview worker hands pictures to this form: it stops before anything of it goes.
  FPreviews.reset();
  DestroyComponents();
  ActiveRun = nullptr;
  delete PreviewBitmap;
  if (MainWindow == this) MainWindow = nullptr;
}

void Tmain::CreateComponents() {
  CreateMenu();

  // The outer page control only frames the window: its one page hides its tab, so the card
  // fills the whole client area.
  ClPageControl1 = Make<TClPageControl>(this, this, "ClPageControl1");
  ClPageControl1->SetAlign(alClient);
  ClPageControl1->SetTabStyle(tsBackSlant);
  ClPageControl1->SetUseColoredTabs(true);
  ClPageControl1->SetImagePosition(ipTop);
  ClPageControl1->SetMargin(2);
  ClPageControl1->SetParentColor(false);
  ClPageControl1->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, Integer X, Integer Y) {
    ClPageControl1MouseDown(S, B, Sh, X, Y);
  };
  TabSheet6 = new TClTabSheet(this);
  TabSheet6->SetName("TabSheet6");
  TabSheet6->SetPageControl(ClPageControl1);
  TabSheet6->SetTabVisible(false);
  ClPageControl1->SetActivePage(TabSheet6);
  TabSheet6->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, Integer X, Integer Y) {
    TabSheet6MouseDown(S, B, Sh, X, Y);
  };

  CreateRangeControls();

  ImageList1 = new TImageList(this);
  ImageList1->SetName("ImageList1");
  ImageList1->SetWidth(220);
  ImageList1->SetHeight(59);
  for (TTabPicture kind : {tpVideo, tpAudio, tpImages}) {
    TBitmap picture;
    DrawTabPicture(&picture, kind);
    ImageList1->Add(&picture, nullptr);
  }

  // The output pages' tabs carry no words: each shows its picture, and the tabs take the
  // pictures' size.
  pageto = Make<TClPageControl>(this, TabSheet6, "pageto");
  pageto->SetBounds(23, 336, 894, 302);
  pageto->Font()->SetName("Verdana");
  pageto->SetImages(ImageList1);
  auto outputPage = [this](const AnsiString& Name, TTabPicture Picture) {
    TClTabSheet* page = new TClTabSheet(this);
    page->SetName(Name);
    page->SetPageControl(pageto);
    page->SetImageIndex(Picture);
    return page;
  };
  imagesheet = outputPage("imagesheet", tpImages);
  audiosheet = outputPage("audiosheet", tpAudio);
  videosheet = outputPage("videosheet", tpVideo);
  // The words are in the pictures, where a screen reader cannot read them.
  imagesheet->SetAccessibleName("Images");
  audiosheet->SetAccessibleName("Audio");
  videosheet->SetAccessibleName("Video");
  pageto->SetActivePage(imagesheet);

  CreateImagesPage();
  CreateAudioPage();
  CreateVideoPage();

  btn_extract = Make<TButton>(this, TabSheet6, "btn_extract");
  btn_extract->SetBounds(808, 640, 120, 32);
  btn_extract->SetCaption("Extract");
  btn_extract->OnClick = [this](TObject* S) { btn_extractClick(S); };
  Button3->OnClick = [this](TObject* S) { Button3Click(S); };
  Button1->OnClick = [this](TObject* S) { Button1Click(S); };

  BitBtn2 = Make<TBitBtn>(this, TabSheet6, "BitBtn2");
  BitBtn2->SetBounds(12, 640, 170, 32);
  BitBtn2->SetCaption("Load Video File...");
  BitBtn2->OnClick = [this](TObject* S) { bt_loadClick(S); };

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetName("OpenDialog1");
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetName("SaveDialog1");

  auto encoder = [this](const AnsiString& Name) {
    TFFEncoder* e = new TFFEncoder(this);
    e->SetName(Name);
    return e;
  };
  FFtoimage = encoder("FFtoimage");
  FFtoimage->OnProgress = [this](TObject* S, PProgressInfo P) { FFtoimageProgress(S, P); };
  FFtoimage->OnTerminate = [this](TObject* S, const TTerminateInfo& T) { FFtoimageTerminate(S, T); };
  FFtoaudio = encoder("FFtoaudio");
  FFtoaudio->OnProgress = [this](TObject* S, PProgressInfo P) { FFtoaudioProgress(S, P); };
  FFtoaudio->OnTerminate = [this](TObject* S, const TTerminateInfo& T) { FFtoaudioTerminate(S, T); };
  FFtovideo = encoder("FFtovideo");
  FFtovideo->OnProgress = [this](TObject* S, PProgressInfo P) { FFtovideoProgress(S, P); };
  FFtovideo->OnTerminate = [this](TObject* S, const TTerminateInfo& T) { FFtovideoTerminate(S, T); };

  timer_toimage = MakeRunTimer(this, "timer_toimage");
  timer_fftoimage_composite = MakeRunTimer(this, "timer_fftoimage_composite");
  timer_fftoimage_end = MakeRunTimer(this, "timer_fftoimage_end");
  timer_toaudio = MakeRunTimer(this, "timer_toaudio");
  timer_fftoaudio_end = MakeRunTimer(this, "timer_fftoaudio_end");
  timer_tovideo = MakeRunTimer(this, "timer_tovideo");
  timer_fftovideo_end = MakeRunTimer(this, "timer_fftovideo_end");
  timer_toimage->OnTimer = [this](TObject* S) { timer_toimageTimer(S); };
  timer_fftoimage_composite->OnTimer = [this](TObject* S) { timer_fftoimage_compositeTimer(S); };
  timer_fftoimage_end->OnTimer = [this](TObject* S) { timer_fftoimage_endTimer(S); };

  ZodivErView3 = new TZodivErView(this);
  ZodivErView3->SetName("ZodivErView3");
  ZodivErView3->SetParent(TabSheet6);
  ZodivErView3->SetVisible(false);
  timer_toaudio->OnTimer = [this](TObject* S) { timer_toaudioTimer(S); };
  timer_fftoaudio_end->OnTimer = [this](TObject* S) { timer_fftoaudio_endTimer(S); };
  timer_tovideo->OnTimer = [this](TObject* S) { timer_tovideoTimer(S); };
  timer_fftovideo_end->OnTimer = [this](TObject* S) { timer_fftovideo_endTimer(S); };
}

void Tmain::CreateMenu() {
  MainMenu1 = new TMainMenu(this);
  MainMenu1->SetName("MainMenu1");
  auto item = [this](TMenuItem* Parent, const AnsiString& Name, const AnsiString& Caption) {
    TMenuItem* i = new TMenuItem(this);
    i->SetName(Name);
    i->SetCaption(Caption);
    Parent->Add(i);
    return i;
  };
  mnuFile = item(MainMenu1->Items(), "mnuFile", " File ");
  mnuExit = item(mnuFile, "mnuExit", "  Exit");
  mnuExit->OnClick = [this](TObject* S) { mnuExitClick(S); };
  mnuHelp = item(MainMenu1->Items(), "mnuHelp", "Help");
  help = item(mnuHelp, "help", "Help Contents");
  help->SetShortCut(ShortCut(VK_F1, 0));
  help->OnClick = [this](TObject* S) { helpClick(S); };
  N1 = item(mnuHelp, "N1", "-");
  Help1 = item(mnuHelp, "Help1", "About");
  Help1->OnClick = [this](TObject* S) { Help1Click(S); };
}

void Tmain::CreateRangeControls() {
  label_fromvideo = Make<TLabel>(this, TabSheet6, "label_fromvideo");
  label_fromvideo->SetBounds(12, 6, 900, 16);
  label_fromvideo->SetCaption("");

  auto preview = [this](const AnsiString& Name, Integer Left) {
    TImage* i = Make<TImage>(this, TabSheet6, Name);
    i->SetBounds(Left, 26, 433, 170);
    i->SetStretch(true);
    i->SetCursor(crHandPoint);
    return i;
  };
  Image_start = preview("Image_start", 12);
  image_end = preview("image_end", 495);
  Image_start->SetAccessibleName("Start picture");
  image_end->SetAccessibleName("End picture");
  Image_start->OnClick = [this](TObject* S) { Image_startClick(S); };
  image_end->OnClick = [this](TObject* S) { image_endClick(S); };
  Image_start->OnMouseMove = [this](TObject* S, TShiftState Sh, Integer X, Integer Y) { Image_startMouseMove(S, Sh, X, Y); };
  image_end->OnMouseMove = [this](TObject* S, TShiftState Sh, Integer X, Integer Y) { image_endMouseMove(S, Sh, X, Y); };

  auto label = [this](const AnsiString& Name, Integer Left, Integer Top, const AnsiString& Caption) {
    TLabel* l = Make<TLabel>(this, TabSheet6, Name);
    l->SetBounds(Left, Top, 140, 16);
    l->SetCaption(Caption);
    return l;
  };
  Label_begintime = label("Label_begintime", 12, 202, "Start 00:00:00.000");
  label_beginframe = label("label_beginframe", 12, 220, "Frame 0");
  label_totaltime = label("label_totaltime", 300, 202, "<< 00:00:00.000");
  label_totalframe = label("label_totalframe", 300, 220, "Frame 0 >>");
  Label_endtime = label("Label_endtime", 495, 202, "End 00:00:00.000");
  label_endframe = label("label_endframe", 495, 220, "Frame 0");

  SpinButton1 = Make<TSpinButton>(this, TabSheet6, "SpinButton1");
  SpinButton1->SetBounds(170, 202, 20, 34);
  SpinButton1->OnUpClick = [this](TObject* S) { SpinButton1UpClick(S); };
  SpinButton1->OnDownClick = [this](TObject* S) { SpinButton1DownClick(S); };
  SpinButton2 = Make<TSpinButton>(this, TabSheet6, "SpinButton2");
  SpinButton2->SetBounds(653, 202, 20, 34);
  SpinButton2->OnUpClick = [this](TObject* S) { SpinButton2UpClick(S); };
  SpinButton2->OnDownClick = [this](TObject* S) { SpinButton2DownClick(S); };

  split_group = Make<TGroupBox>(this, TabSheet6, "split_group");
  split_group->SetBounds(12, 242, 916, 88);
  split_group->SetCaption(" Cut ");
  split_group->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, Integer X, Integer Y) {
    split_groupMouseDown(S, B, Sh, X, Y);
  };

  split_position_back = Make<TImage>(this, split_group, "split_position_back");
  split_position_back->SetBounds(16, 22, 884, 8);
  split_position_back->SetStretch(true);
  split_position_front = Make<TImage>(this, split_group, "split_position_front");
  split_position_front->SetBounds(16, 22, 884, 8);
  split_position_front->SetStretch(true);
  {
    TBitmap back, front;
    DrawRangeBarBack(&back, 64, 8);
    DrawRangeBarFront(&front, 64, 8);
    split_position_back->Picture()->SetBitmap(&back);
    split_position_front->Picture()->SetBitmap(&front);
  }

  auto slider = [this](const AnsiString& Name, Integer Top) {
    TClSlider* s = Make<TClSlider>(this, split_group, Name);
    s->SetBounds(16, Top, 885, 24);
    s->SetIncrement(1);
    return s;
  };
  split_begin = slider("split_begin", 32);
  split_end = slider("split_end", 58);
  split_begin->SetAccessibleName("Cut start");
  split_end->SetAccessibleName("Cut end");
  split_end->SetValue(100);
  split_begin->OnChange = [this](TObject* S) { split_beginChange(S); };
  split_end->OnChange = [this](TObject* S) { split_endChange(S); };
}

void Tmain::FormCreate(TObject*) {
  LibraryFolder = get_systemfolder() + "kwr/ff";
  const AnsiString programLibraries = IncludeTrailingPathDelimiter(ProgramFolder()) + "redist/ff";
  // Each encoder asks for itself; the libraries are loaded once per process, so the first load
  // serves the others.
  for (TFFEncoder* encoder : {FFtoimage, FFtoaudio, FFtovideo}) {
    if (EncoderLibrariesLoaded(encoder)) continue;
    if (EncoderLoadLibraries(encoder, LibraryFolder)) continue;
    if (EncoderLoadLibraries(encoder, programLibraries)) continue;
    MessageBox(this, "load DLL error!", "", MB_ICONHAND);
    std::fflush(nullptr);
    std::_Exit(1);
  }
  KeepEngineLog();

  PreviewBitmap = new TBitmap;
  FillPreviewsBlack();

  cb_imageformats->Items()->Clear();
  AnsiString patterns = ImageFormatPatterns;
  for (size_t start = 0; start < patterns.size();) {
    size_t end = patterns.find(';', start);
    if (end == AnsiString::npos) end = patterns.size();
    if (end > start) cb_imageformats->Items()->Add(patterns.substr(start, end - start));
    start = end + 1;
  }
  cb_imageformats->SetItemIndex(0);

  DragAcceptFiles(TabSheet6, true);
  Application->OnMessage = [this](TMsg& Msg, bool& Handled) { dragAppMessage(Msg, Handled); };
}

void Tmain::dragAppMessage(TMsg& Msg, bool& Handled) {
  if (Msg.message != WM_DROPFILES || Msg.hwnd != TabSheet6) return;
  try {
    HDROP drop = reinterpret_cast<HDROP>(Msg.wParam);
    const Cardinal count = DragQueryFileCount(drop);
    for (Cardinal i = 0; i < count; ++i) {
      Application->ProcessMessages();
      // The whole name is loaded: a path cut short would name another file, or none.
      AnsiString name = DragQueryFile(drop, i);
      const size_t nul = name.find('\0');
      if (nul != AnsiString::npos) name.resize(nul);
      load_videofile(name);
    }
    DragFinish(drop);
  } catch (...) {
    // A drop never reports its own failures: each file has shown its message already.
  }
  Handled = true;
}

void Tmain::mnuExitClick(TObject*) { Close(); }

TFFDecoder* Tmain::FFtoimageDecoder() const { return FFtoimage ? FFtoimage->Decoder : nullptr; }

void Tmain::FormMouseDown(TObject*, TMouseButton, TShiftState, Integer, Integer) { BeginWindowDrag(); }
void Tmain::ClPageControl1MouseDown(TObject*, TMouseButton, TShiftState, Integer, Integer) { BeginWindowDrag(); }
void Tmain::TabSheet6MouseDown(TObject*, TMouseButton, TShiftState, Integer, Integer) { BeginWindowDrag(); }
void Tmain::split_groupMouseDown(TObject*, TMouseButton, TShiftState, Integer, Integer) { BeginWindowDrag(); }

void Tmain::FillPreviewsBlack() {
  for (TImage* image : {Image_start, image_end}) {
    TCanvas* c = image->Canvas();
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(0);
    c->FillRect(c->ClipRect());
    image->Invalidate();
  }
}

void Tmain::Image_startMouseMove(TObject*, TShiftState, Integer, Integer) {
  if (FileExists(label_fromvideo->Caption()) || !showdragvideo) return;
  showdragvideo->SetLeft(Left() + 120);
  showdragvideo->SetTop(Top() + 160);
  showdragvideo->Show();
}

void Tmain::image_endMouseMove(TObject*, TShiftState, Integer, Integer) {
  if (FileExists(label_fromvideo->Caption()) || !showdragvideo) return;
  showdragvideo->SetLeft(Left() + 580);
  showdragvideo->SetTop(Top() + 160);
  showdragvideo->Show();
}

void Tmain::HideDragHints() {
  for (TForm* hint : std::initializer_list<TForm*>{showdragvideo, showdragimage, showdragvideos, showdragimages, showdragaudios}) {
    if (hint) hint->Hide();
  }
}

void Tmain::FormCanResize(TObject*, Integer&, Integer&, bool& Resize) {
  HideDragHints();
  Resize = true;
}

void Tmain::Help1Click(TObject*) {
  if (about) about->ShowModal();
}

void Tmain::helpClick(TObject*) { OpenOnDesktop(this, HelpWebAddress); }
