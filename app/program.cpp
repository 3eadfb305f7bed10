#include "app/program.h"

#include "app/about_box.h"
#include "app/crop_dialogs.h"
#include "app/hint_windows.h"
#include "app/main_window.h"
#include "app/run_progress_dialog.h"
#include "app/transform_dialogs.h"
#include "app/splash_window.h"
#include "imaging/core/ie_startup.h"
#include "imaging/formats/compression/ie_ccitt.h"
#include "imaging/formats/tiff/ie_exif_tiff_reader.h"
#include "imaging/io/ie_io_unit.h"
#include "imaging/proc/ie_proc_services.h"
#include "imaging/view/ie_vect.h"
#include "imaging/view/ie_view.h"
#include "media/binding/loader.h"
#include "platform/gui/application.h"
#include "platform/rtl/mainthread.h"

void StartImagingLibrary() {
  // The units register their steps once, before the library's first start.
  static const bool registered = [] {
    IERegisterProcessingServices();
    IERegisterExifTiffReader();
    IERegisterFileIOUnit();
    IERegisterViewUnit();
    IERegisterVectorUnit();
    IERegisterCCITTUnit();
    return true;
  }();
  (void)registered;
  IEInitialize();
}

void StopImagingLibrary() { IEFinalize(); }

void InitializeProgram() {
  Application->Initialize();
  Application->SetTitle("Clavorne Pro");
}

void CreateProgramWindows() {
  Application->CreateForm(MainWindow);
  Application->CreateForm(batchaudioc);
  Application->CreateForm(effects);
  Application->CreateForm(showdragvideo);
  Application->CreateForm(showdragimage);
  Application->CreateForm(showdragvideos);
  Application->CreateForm(showdragimages);
  Application->CreateForm(showdragaudios);
  Application->CreateForm(about);
  Application->CreateForm(setcrop);
  Application->CreateForm(setcrop2);
  Application->CreateForm(effects2);
}

void DestroyProgramWindows() {
  FreeAndNil(effects2);
  FreeAndNil(setcrop2);
  FreeAndNil(setcrop);
  FreeAndNil(about);
  FreeAndNil(showdragaudios);
  FreeAndNil(showdragimages);
  FreeAndNil(showdragvideos);
  FreeAndNil(showdragimage);
  FreeAndNil(showdragvideo);
  FreeAndNil(effects);
  FreeAndNil(batchaudioc);
  FreeAndNil(MainWindow);
}

int RunProgram() {
  flash = new Tflash(Application);
  flash->Show();
  flash->Update();
  Application->ProcessMessages();

  InitializeProgram();
  CreateProgramWindows();

  flash->Close();
  FreeAndNil(flash);

  Application->Run();

  // The windows and their decoders go while the libraries are still loaded.
  DestroyApplicationObjects();
  MainWindow = nullptr;
  batchaudioc = nullptr;
  effects = nullptr;
  effects2 = nullptr;
  showdragvideo = nullptr;
  showdragimage = nullptr;
  showdragvideos = nullptr;
  showdragimages = nullptr;
  showdragaudios = nullptr;
  about = nullptr;
  setcrop = nullptr;
  setcrop2 = nullptr;
  LibraryFolder.clear();
  // The encoders have stopped and joined their threads with their windows; a thread that still
  // asked the main thread for something now gets an error instead of waiting for ever.
  ShutdownMainThreadQueue();
  FinalizeFFLoader();
  return 0;
}
