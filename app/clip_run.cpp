#include "app/main_window.h"

void Tmain::ExtractVideo() {}
void Tmain::timer_tovideoTimer(TObject*) { timer_tovideo->SetEnabled(false); }
void Tmain::FFtovideoProgress(TObject*, PProgressInfo) {}
void Tmain::FFtovideoTerminate(TObject*, const TTerminateInfo&) {}
void Tmain::timer_fftovideo_endTimer(TObject*) { timer_fftovideo_end->SetEnabled(false); }
void Tmain::ffcodec(const AnsiString&, TFFEncoder*, TFFEncoder*, AnsiString& Codec) { Codec.clear(); }
void Tmain::ffframesize(const AnsiString& Width, const AnsiString& Height, const AnsiString&, TFFEncoder*,
                        TFFEncoder*, AnsiString& Size) {
  Size = Width + ":" + Height;
}
