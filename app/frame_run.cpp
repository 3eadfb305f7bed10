#include "app/main_window.h"

void Tmain::btn_extractClick(TObject*) {}
void Tmain::ExtractImages() {}
void Tmain::timer_toimageTimer(TObject*) { timer_toimage->SetEnabled(false); }
void Tmain::FFtoimageProgress(TObject*, PProgressInfo) {}
void Tmain::FFtoimageTerminate(TObject*, const TTerminateInfo&) {}
void Tmain::timer_fftoimage_endTimer(TObject*) { timer_fftoimage_end->SetEnabled(false); }
