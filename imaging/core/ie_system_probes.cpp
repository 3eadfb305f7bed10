#include "imaging/core/ie_system_probes.h"

#include <cstdlib>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "platform/gui/clipboard.h"
#include "platform/gui/pointer_state.h"

void IESetScrollRange(TCustomControl* Wnd, TScrollBarKind Bar, Integer Min, Integer Max, bool, bool) {
  if (!Wnd) return;
  TScrollInfo info = Wnd->GetScrollInfo(Bar);
  info.Min = Min;
  info.Max = Max;
  Wnd->SetScrollInfo(Bar, info);
}

void IESetScrollInfo(TCustomControl* Wnd, TScrollBarKind Bar, const TScrollInfo& Info, bool, bool) {
  if (Wnd) Wnd->SetScrollInfo(Bar, Info);
}

void IESetScrollPage(TCustomControl* Wnd, TScrollBarKind Bar, Integer Page, bool Redraw, bool Flat) {
  if (!Wnd) return;
  TScrollInfo info = Wnd->GetScrollInfo(Bar);
  info.Page = Page;
  IESetScrollInfo(Wnd, Bar, info, Redraw, Flat);
}

void IESetScrollPos(TCustomControl* Wnd, TScrollBarKind Bar, Integer Pos, bool, bool) {
  if (Wnd) Wnd->SetScrollPos(Bar, Pos);
}

void IEEnableScrollBar(TCustomControl* Wnd, TScrollBarKind Bar, bool Arrows, bool) {
  if (Wnd) Wnd->EnableScrollBar(Bar, Arrows);
}

void IEShowScrollBar(TCustomControl* Wnd, TScrollBarKind Bar, bool Show, bool) {
  if (Wnd) Wnd->ShowScrollBar(Bar, Show);
}

Integer IEGetWindowsVersion() { return 0; }

bool IEHasMMX() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (edx >> 23) & 1;
#else
  return false;
#endif
}

bool IEIsRemoteSession() {
  // An X display named with a host ("host:0", "localhost:10" as ssh forwards it) is another
  // machine's screen; ":0" is this one's.
  const char* display = std::getenv("DISPLAY");
  return display && display[0] != ':' && std::strchr(display, ':') != nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr;
}

bool IEIsLeftButtonDown() { return IsMouseButtonDown(mbLeft); }

TWinControl* IEFindHandle(TComponent* Component) {
  for (TComponent* c = Component; c; c = c->Owner())
    if (auto* windowed = dynamic_cast<TWinControl*>(c)) return windowed;
  return nullptr;
}

bool IEOpenClipboard() {
  // The desktop's clipboard is never held by another program between our own calls, so the
  // first try always succeeds.
  Clipboard()->Open();
  return true;
}
