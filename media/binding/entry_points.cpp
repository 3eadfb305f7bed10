#include "media/binding/entry_points.h"

#include "media/binding/ffmpeg_exception.h"
#include "platform/rtl/dynlib.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

void* LookupEntryPoint(const WideString& fileName, void* handle, const char* name, bool optional) {
  void* address = handle ? GetProcAddress(handle, name) : nullptr;
  if (!address && !optional) {
    throw FFmpegException(Format("Load function %s@%s error: %s", name, WideToAnsi(fileName),
                                 handle ? LastDynLibError() : AnsiString("no module")));
  }
  return address;
}

#define CLV_BIND_ENTRY(name, optional) BindEntryPoint(fileName, handle, #name, optional, ff::name);
#define CLV_BIND_LIBC_ENTRY(name, optional, type) BindEntryPoint(fileName, handle, #name, optional, ff::name);
#define CLV_CLEAR_ENTRY(name, optional) ff::name = nullptr;
#define CLV_CLEAR_LIBC_ENTRY(name, optional, type) ff::name = nullptr;

void BindAVCodec(const WideString& fileName, void* handle) { CLV_AVCODEC_ENTRY_POINTS(CLV_BIND_ENTRY) }

// 5.1 registers devices on request only; everything else registers itself.
void BindAVDevice(const WideString& fileName, void* handle) {
  CLV_AVDEVICE_ENTRY_POINTS(CLV_BIND_ENTRY)
  ff::avdevice_register_all();
}

void BindAVFilter(const WideString& fileName, void* handle) { CLV_AVFILTER_ENTRY_POINTS(CLV_BIND_ENTRY) }

namespace {
// A bind that failed half way never initialised the network layer, so it must not take it down.
bool NetworkInitialised = false;
}  // namespace

void BindAVFormat(const WideString& fileName, void* handle) {
  CLV_AVFORMAT_ENTRY_POINTS(CLV_BIND_ENTRY)
  ff::avformat_network_init();
  NetworkInitialised = true;
}

void BindAVUtil(const WideString& fileName, void* handle) { CLV_AVUTIL_ENTRY_POINTS(CLV_BIND_ENTRY) }
void BindSwResample(const WideString& fileName, void* handle) { CLV_SWRESAMPLE_ENTRY_POINTS(CLV_BIND_ENTRY) }
void BindSwScale(const WideString& fileName, void* handle) { CLV_SWSCALE_ENTRY_POINTS(CLV_BIND_ENTRY) }
void BindMsvcrt(const WideString& fileName, void* handle) { CLV_LIBC_ENTRY_POINTS(CLV_BIND_LIBC_ENTRY) }

void UnbindAVCodec() { CLV_AVCODEC_ENTRY_POINTS(CLV_CLEAR_ENTRY) }
void UnbindAVDevice() { CLV_AVDEVICE_ENTRY_POINTS(CLV_CLEAR_ENTRY) }
void UnbindAVFilter() { CLV_AVFILTER_ENTRY_POINTS(CLV_CLEAR_ENTRY) }

void UnbindAVFormat() {
  if (NetworkInitialised && ff::avformat_network_deinit) ff::avformat_network_deinit();
  NetworkInitialised = false;
  CLV_AVFORMAT_ENTRY_POINTS(CLV_CLEAR_ENTRY)
}

void UnbindAVUtil() { CLV_AVUTIL_ENTRY_POINTS(CLV_CLEAR_ENTRY) }
void UnbindSwResample() { CLV_SWRESAMPLE_ENTRY_POINTS(CLV_CLEAR_ENTRY) }
void UnbindSwScale() { CLV_SWSCALE_ENTRY_POINTS(CLV_CLEAR_ENTRY) }
void UnbindMsvcrt() { CLV_LIBC_ENTRY_POINTS(CLV_CLEAR_LIBC_ENTRY) }
