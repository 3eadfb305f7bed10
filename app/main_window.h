// The main window: the loaded video, the cut range with a preview at each end, and the three
// output pages whose fields the runs read.
//
// The FFmpeg libraries are loaded by the window's creation handler; a machine without them gets
// one message and the process ends there.
#pragma once

#include <memory>
#include <vector>

#include "platform/gui/application.h"
#include "platform/gui/comctrls.h"
#include "platform/gui/dialogs.h"
#include "platform/gui/extctrls.h"
#include "platform/gui/forms.h"
#include "platform/gui/imglist.h"
#include "platform/gui/menus.h"
#include "platform/gui/spin.h"
#include "platform/gui/stdctrls.h"
#include "platform/gui/timers.h"
#include "platform/gui/buttons.h"

#include "media/components/encoder_events.h"
#include "widgets/tabs/page_control.h"

class TBitmap;
class TClSlider;
class TFFDecoder;
class TFFEncoder;
class TRun;
class TCompositeRun;
class TZodivErView;
class TFrameRun;
class TAudioRun;
class TClipRun;
class TPreviewWorker;
struct TStretch;

class Tmain : public TForm {
 public:
  explicit Tmain(TComponent* AOwner);
  ~Tmain() override;

  // Start-up, drops, moving and closing the window.
  void FormCreate(TObject* Sender);
  void dragAppMessage(TMsg& Msg, bool& Handled);
  void mnuExitClick(TObject* Sender);
  void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void ClPageControl1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void TabSheet6MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  void split_groupMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y);

  // Loading a video, the cut range and its previews.
  void bt_loadClick(TObject* Sender);
  void load_videofile(const AnsiString& FileName);
  void split_beginChange(TObject* Sender);
  void split_endChange(TObject* Sender);
  void SpinButton1UpClick(TObject* Sender);
  void SpinButton1DownClick(TObject* Sender);
  void SpinButton2UpClick(TObject* Sender);
  void SpinButton2DownClick(TObject* Sender);
  void Image_startClick(TObject* Sender);
  void image_endClick(TObject* Sender);
  void showbigimage();
  void DoActualFormClick(TObject* Control);

  // The small windows around this one.
  void Image_startMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void image_endMouseMove(TObject* Sender, TShiftState Shift, Integer X, Integer Y);
  void FormCanResize(TObject* Sender, Integer& NewWidth, Integer& NewHeight, bool& Resize);
  // The invitations to drop a file go once they are out of place (a video is in, the window moves).
  void HideDragHints();
  void Help1Click(TObject* Sender);
  void helpClick(TObject* Sender);

  // Page fields: which radio enables which field.
  void radio_allframesClick(TObject* Sender);
  void radio_everysecondsClick(TObject* Sender);
  void radio_fpsClick(TObject* Sender);
  void radio_everyframesClick(TObject* Sender);
  void radio_totalClick(TObject* Sender);
  void radio_sceneClick(TObject* Sender);
  void radio_expressClick(TObject* Sender);
  void ck_tileClick(TObject* Sender);
  void ck_maxlengthClick(TObject* Sender);
  void radio_asvideonameClick(TObject* Sender);
  void radio_asstringClick(TObject* Sender);
  void radio_originalframesizeClick(TObject* Sender);
  void radio_customframesizeClick(TObject* Sender);
  void radio_cropClick(TObject* Sender);
  void cb_proportionClick(TObject* Sender);
  void EdCustomWidthChange(TObject* Sender);
  void EdCustomHeightChange(TObject* Sender);
  void radio_originalframesize2Click(TObject* Sender);
  void radio_customframesize2Click(TObject* Sender);
  void radio_crop2Click(TObject* Sender);
  void cb_proportion2Click(TObject* Sender);
  void EdCustomWidth2Change(TObject* Sender);
  void EdCustomHeight2Change(TObject* Sender);
  void radio_originalvolumeClick(TObject* Sender);
  void radio_changevolumeClick(TObject* Sender);
  void radio_originaltempoClick(TObject* Sender);
  void radio_changetempoClick(TObject* Sender);
  void radio_originalvolume2Click(TObject* Sender);
  void radio_changevolume2Click(TObject* Sender);
  void radio_originaltempo2Click(TObject* Sender);
  void radio_changetempo2Click(TObject* Sender);
  void radio_originalmotionClick(TObject* Sender);
  void radio_changemotionClick(TObject* Sender);
  // Only digits and backspace reach the numeric fields.
  void DigitsOnlyKeyPress(TObject* Sender, char& Key);
  void edit_imageamountKyPress(TObject* Sender, char& Key) { DigitsOnlyKeyPress(Sender, Key); }
  // A plain count field left empty or at zero gets its default back.
  void edit_imageamountExit(TObject* Sender);
  void edit_everyframesExit(TObject* Sender);
  void edit_everysecondsExit(TObject* Sender);
  void edit_expressExit(TObject* Sender);
  // A spin field left holds the decimal text of its value, inside its range.
  void SpinFieldExit(TObject* Sender);

  // The runs: Extract checks the page and starts the active page's run; each run's timer sets it
  // up, its encoder's events follow it inside the progress dialog, and its end timer reports.
  void btn_extractClick(TObject* Sender);
  void timer_toimageTimer(TObject* Sender);
  void FFtoimageProgress(TObject* Sender, PProgressInfo AProgressInfo);
  void FFtoimageTerminate(TObject* Sender, const TTerminateInfo& ATerminateInfo);
  void timer_fftoimage_compositeTimer(TObject* Sender);
  void timer_fftoimage_endTimer(TObject* Sender);
  void timer_toaudioTimer(TObject* Sender);
  void FFtoaudioProgress(TObject* Sender, PProgressInfo AProgressInfo);
  void FFtoaudioTerminate(TObject* Sender, const TTerminateInfo& ATerminateInfo);
  void timer_fftoaudio_endTimer(TObject* Sender);
  void timer_tovideoTimer(TObject* Sender);
  void FFtovideoProgress(TObject* Sender, PProgressInfo AProgressInfo);
  void FFtovideoTerminate(TObject* Sender, const TTerminateInfo& ATerminateInfo);
  void timer_fftovideo_endTimer(TObject* Sender);
  // The codec options and the frame size a clip target gets from the loaded source.
  void ffcodec(const AnsiString& Target, TFFEncoder* SourceEncoder, TFFEncoder* ClipEncoder, AnsiString& Codec);
  void ffframesize(const AnsiString& Width, const AnsiString& Height, const AnsiString& Target,
                   TFFEncoder* SourceEncoder, TFFEncoder* ClipEncoder, AnsiString& Size);
  // The crop and transform dialogs.
  void bt_setcropClick(TObject* Sender);
  void bt_setcrop2Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button1Click(TObject* Sender);

  // The window's components.
  TMainMenu* MainMenu1 = nullptr;
  TMenuItem* mnuFile = nullptr;
  TMenuItem* mnuExit = nullptr;
  TMenuItem* mnuHelp = nullptr;
  TMenuItem* help = nullptr;
  TMenuItem* N1 = nullptr;
  TMenuItem* Help1 = nullptr;

  TClPageControl* ClPageControl1 = nullptr;
  TClTabSheet* TabSheet6 = nullptr;
  TLabel* label_fromvideo = nullptr;
  TImage* Image_start = nullptr;
  TImage* image_end = nullptr;
  TLabel* Label_begintime = nullptr;
  TLabel* label_beginframe = nullptr;
  TLabel* label_totaltime = nullptr;
  TLabel* label_totalframe = nullptr;
  TLabel* Label_endtime = nullptr;
  TLabel* label_endframe = nullptr;
  TSpinButton* SpinButton1 = nullptr;
  TSpinButton* SpinButton2 = nullptr;
  TGroupBox* split_group = nullptr;
  TImage* split_position_back = nullptr;
  TImage* split_position_front = nullptr;
  TClSlider* split_begin = nullptr;
  TClSlider* split_end = nullptr;
  TClPageControl* pageto = nullptr;
  TClTabSheet* imagesheet = nullptr;
  TClTabSheet* audiosheet = nullptr;
  TClTabSheet* videosheet = nullptr;
  TButton* btn_extract = nullptr;
  TBitBtn* BitBtn2 = nullptr;
  TOpenDialog* OpenDialog1 = nullptr;
  TSaveDialog* SaveDialog1 = nullptr;
  TImageList* ImageList1 = nullptr;
  TTimer* timer_toimage = nullptr;
  TTimer* timer_fftoimage_composite = nullptr;
  TTimer* timer_fftoimage_end = nullptr;
  TTimer* timer_toaudio = nullptr;
  TTimer* timer_fftoaudio_end = nullptr;
  TTimer* timer_tovideo = nullptr;
  TTimer* timer_fftovideo_end = nullptr;
  // Hidden: the layers on which the composite step lays frames out.
  TZodivErView* ZodivErView3 = nullptr;

  // Images page.
  TGroupBox* group_imageformat = nullptr;
  TGroupBox* group_extract = nullptr;
  TGroupBox* group_framesize = nullptr;
  TGroupBox* group_imagetransform = nullptr;
  TGroupBox* group_imagename = nullptr;
  TComboBox* cb_imageformats = nullptr;
  TRadioButton* radio_allframes = nullptr;
  TRadioButton* radio_everyseconds = nullptr;
  TEdit* edit_everyseconds = nullptr;
  TRadioButton* radio_fps = nullptr;
  TComboBox* cb_framerate = nullptr;
  TRadioButton* radio_everyframes = nullptr;
  TEdit* edit_everyframes = nullptr;
  TRadioButton* radio_total = nullptr;
  TEdit* edit_imageamount = nullptr;
  TRadioButton* radio_scene = nullptr;
  TSpinEdit* se_scenechange = nullptr;
  TRadioButton* radio_express = nullptr;
  TEdit* edit_express = nullptr;
  TCheckBox* ck_tile = nullptr;
  TSpinEdit* se_lines = nullptr;
  TSpinEdit* se_columns = nullptr;
  TRadioButton* radio_originalframesize = nullptr;
  TRadioButton* radio_customframesize = nullptr;
  TSpinEdit* EdCustomWidth = nullptr;
  TSpinEdit* EdCustomHeight = nullptr;
  TCheckBox* cb_proportion = nullptr;
  TCheckBox* cb_pad = nullptr;
  TRadioButton* radio_crop = nullptr;
  TButton* bt_setcrop = nullptr;
  TButton* Button3 = nullptr;
  TRadioButton* radio_asvideoname = nullptr;
  TCheckBox* ck_maxlength = nullptr;
  TSpinEdit* ed_maxlength = nullptr;
  TRadioButton* radio_asstring = nullptr;
  TEdit* edit_namestring = nullptr;
  TCheckBox* ch_isopenfolder = nullptr;

  // Audio page.
  TRadioButton* radio_originalvolume = nullptr;
  TRadioButton* radio_changevolume = nullptr;
  TSpinEdit* spin_volume = nullptr;
  TRadioButton* radio_originaltempo = nullptr;
  TRadioButton* radio_changetempo = nullptr;
  TSpinEdit* spin_tempo = nullptr;

  // Video page.
  TRadioButton* radio_originalframesize2 = nullptr;
  TRadioButton* radio_customframesize2 = nullptr;
  TSpinEdit* EdCustomWidth2 = nullptr;
  TSpinEdit* EdCustomHeight2 = nullptr;
  TCheckBox* cb_proportion2 = nullptr;
  TCheckBox* cb_pad2 = nullptr;
  TRadioButton* radio_crop2 = nullptr;
  TButton* bt_setcrop2 = nullptr;
  TRadioButton* radio_originalvolume2 = nullptr;
  TRadioButton* radio_changevolume2 = nullptr;
  TSpinEdit* spin_volume2 = nullptr;
  TRadioButton* radio_originaltempo2 = nullptr;
  TRadioButton* radio_changetempo2 = nullptr;
  TSpinEdit* spin_tempo2 = nullptr;
  TRadioButton* radio_originalmotion = nullptr;
  TRadioButton* radio_changemotion = nullptr;
  TSpinEdit* spin_motion = nullptr;
  TButton* Button1 = nullptr;

  // The frame, audio and clip encoders. The frame encoder's decoder holds the loaded video: it
  // serves the previews and the stream facts every run reads.
  TFFEncoder* FFtoimage = nullptr;
  TFFEncoder* FFtoaudio = nullptr;
  TFFEncoder* FFtovideo = nullptr;
  TFFDecoder* FFtoimageDecoder() const;


  // The state of the loaded video, and the output folder last chosen for images.
  Int64 Duration = 0;
  Integer FrameCount = 0;
  TBitmap* PreviewBitmap = nullptr;
  // The time of the picture in PreviewBitmap, microseconds.
  Int64 PreviewTime = 0;
  AnsiString OutputFolder;
  // True when every preview asked for is on screen. The previews are decoded by a worker and
  // arrive through the main loop.
  bool PreviewsIdle() const;
  // Serves the loop until the previews asked for are on screen or TimeoutMs pass; true when
  // they are.
  bool WaitForPreviews(Cardinal TimeoutMs);

  // The runs, each with its own state; the run dialog serves the one that showed it last.
  std::unique_ptr<TFrameRun> FrameRun;
  std::unique_ptr<TAudioRun> AudioRun;
  std::unique_ptr<TClipRun> ClipRun;
  std::unique_ptr<TCompositeRun> CompositeRun;
  TRun* ActiveRun = nullptr;

  // The marked stretch of the loaded video.
  TStretch MarkedStretch() const;

 private:
  void CreateMenu();
  void CreateRangeControls();
  void CreateImagesPage();
  void CreateAudioPage();
  void CreateVideoPage();
  void CreateComponents();

  void FillPreviewsBlack();
  void RefreshEnd(bool StartEnd);
  void ShowPreview(bool StartEnd, TBitmap*& Picture, Int64 PictureUs, TBitmap* Fitted, const TRect& Target);
  std::unique_ptr<TPreviewWorker> FPreviews;
  void UpdateRangeBar(bool MoveLeft);
  Int64 TimeOfPosition(Integer Position) const;
  Integer FrameOfPosition(Integer Position) const;
  void StepEnd(bool StartEnd, Integer Delta);
  // The loaded video's first stream size; false when no video is loaded.
  bool LoadedVideoSize(Integer& Width, Integer& Height) const;
  void SelectExtractMode(TWinControl* Field);
  void ProportionFollow(TSpinEdit* Source, TSpinEdit* Target, TCheckBox* Lock, bool WidthChanged);
  void ProportionChecked(TSpinEdit* Width, TSpinEdit* Height, TCheckBox* Lock);
  void RestoreCountDefault(TEdit* Field, const char* Default);
  // Set while one custom-size field writes the other, so that the other does not answer back.
  bool FSuspendWidthChange = false;
  bool FSuspendHeightChange = false;
  bool FSuspendWidth2Change = false;
  bool FSuspendHeight2Change = false;
};

// The shared FFmpeg library folder; emptied when the program ends.
extern AnsiString LibraryFolder;
extern Tmain* MainWindow;
