#include "app/main_window.h"

void Tmain::ExtractAudio() {}
void Tmain::timer_toaudioTimer(TObject*) { timer_toaudio->SetEnabled(false); }
void Tmain::FFtoaudioProgress(TObject*, PProgressInfo) {}
void Tmain::FFtoaudioTerminate(TObject*, const TTerminateInfo&) {}
void Tmain::timer_fftoaudio_endTimer(TObject*) { timer_fftoaudio_end->SetEnabled(false); }
