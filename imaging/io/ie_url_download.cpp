#include "imaging/io/ie_url_download.h"

// Types and constants only: the library itself is bound at run time.
#include <curl/curl.h>

#include <algorithm>
#include <exception>
#include <mutex>

#include "imaging/core/ie_text.h"
#include "platform/rtl/dynlib.h"
#include "platform/rtl/numerics.h"
#include "platform/rtl/strings.h"
#include "platform/rtl/sysutils.h"

AnsiString IEDownloadCAFile;
Int64 IEDownloadMaxBytes = Int64(1) << 31;

namespace {

const char* const kCurlLibrary = "libcurl.so.4";

struct TCurlApi {
  decltype(&::curl_global_init) GlobalInit = nullptr;
  decltype(&::curl_global_cleanup) GlobalCleanup = nullptr;
  decltype(&::curl_easy_init) EasyInit = nullptr;
  decltype(&::curl_easy_setopt) EasySetopt = nullptr;
  decltype(&::curl_easy_perform) EasyPerform = nullptr;
  decltype(&::curl_easy_getinfo) EasyGetinfo = nullptr;
  decltype(&::curl_easy_cleanup) EasyCleanup = nullptr;
  decltype(&::curl_easy_strerror) EasyStrerror = nullptr;
};

HMODULE gCurlModule = nullptr;
TCurlApi gCurl;
AnsiString gBindError = "the I/O unit has not been started";

template <class T>
bool Bind(T& Entry, const char* Name) {
  Entry = reinterpret_cast<T>(GetProcAddress(gCurlModule, Name));
  if (!Entry) gBindError = AnsiString(kCurlLibrary) + " has no entry point " + Name;
  return Entry != nullptr;
}

// What the transfer's callbacks share with the caller.
struct TTransfer {
  TStream* Stream = nullptr;
  CURL* Handle = nullptr;
  const TIEProgressEvent* OnProgress = nullptr;
  TObject* Sender = nullptr;
  std::atomic<bool>* Aborting = nullptr;
  Int64 Received = 0;
  bool Stopped = false;
  bool TooLarge = false;
  bool StreamRefused = false;
  std::exception_ptr Raised;  // kept until the library's frames are left
};

size_t WriteBlock(char* Data, size_t Size, size_t Count, void* User) {
  auto* T = static_cast<TTransfer*>(User);
  const size_t Bytes = Size * Count;
  try {
    if (T->Aborting->load()) {
      T->Stopped = true;
      return 0;
    }
    if (T->Received + Int64(Bytes) > IEDownloadMaxBytes) {
      T->TooLarge = true;
      return 0;
    }
    if (Bytes > 0 && T->Stream->Write(Data, Integer(Bytes)) != Integer(Bytes)) {
      T->StreamRefused = true;
      return 0;
    }
    T->Received += Int64(Bytes);
    curl_off_t Total = -1;
    if (*T->OnProgress && gCurl.EasyGetinfo(T->Handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Total) == CURLE_OK &&
        Total > 0)
      (*T->OnProgress)(T->Sender, Integer(std::min<Int64>(T->Received * 100 / Total, 100)));
  } catch (...) {
    T->Raised = std::current_exception();
    return 0;
  }
  return Bytes;
}

// Called while the transfer waits too, so that a stalled server cannot hold off a stop.
int CheckAbort(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* T = static_cast<TTransfer*>(User);
  if (!T->Aborting->load()) return 0;
  T->Stopped = true;
  return 1;
}

AnsiString N(Int64 V) { return std::to_string(V); }

}  // namespace

namespace {

// The I/O unit's start-up only allows downloads; libcurl (and the TLS, compression and name
// libraries it brings) is loaded by the first download, so that a process that never downloads
// never maps it. Downloads may run on several threads at once.
std::mutex gCurlLock;
bool gCurlAllowed = false;
bool gCurlTried = false;

// Called with gCurlLock held.
void BindCurl() {
  if (gCurlModule || gCurlTried || !gCurlAllowed) return;
  gCurlTried = true;
  gCurlModule = LoadLibrary(AnsiString(kCurlLibrary));
  if (!gCurlModule) {
    gBindError = AnsiString(kCurlLibrary) + " cannot be loaded: " + LastDynLibError();
    return;
  }
  const bool Bound = Bind(gCurl.GlobalInit, "curl_global_init") && Bind(gCurl.GlobalCleanup, "curl_global_cleanup") &&
                     Bind(gCurl.EasyInit, "curl_easy_init") && Bind(gCurl.EasySetopt, "curl_easy_setopt") &&
                     Bind(gCurl.EasyPerform, "curl_easy_perform") && Bind(gCurl.EasyGetinfo, "curl_easy_getinfo") &&
                     Bind(gCurl.EasyCleanup, "curl_easy_cleanup") && Bind(gCurl.EasyStrerror, "curl_easy_strerror");
  if (Bound && gCurl.GlobalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK) return;
  if (Bound) gBindError = AnsiString(kCurlLibrary) + " could not be initialised";
  FreeLibrary(gCurlModule);
  gCurlModule = nullptr;
  gCurl = TCurlApi();
}

// True when the library is there for a transfer, binding it on first use; else Why says why.
bool CurlReady(AnsiString* Why = nullptr) {
  std::lock_guard<std::mutex> Hold(gCurlLock);
  BindCurl();
  if (!gCurlModule && Why) *Why = gBindError;
  return gCurlModule != nullptr;
}

}  // namespace

void IEInitWinINet() {
  std::lock_guard<std::mutex> Hold(gCurlLock);
  if (gCurlAllowed) return;
  gCurlAllowed = true;
  gCurlTried = false;
}

void IEFreeWinINet() {
  std::lock_guard<std::mutex> Hold(gCurlLock);
  const bool WasAllowed = gCurlAllowed;
  gCurlAllowed = false;
  gCurlTried = false;
  if (gCurlModule) {
    gCurl.GlobalCleanup();
    FreeLibrary(gCurlModule);
    gCurlModule = nullptr;
    gCurl = TCurlApi();
  }
  if (WasAllowed) gBindError = "the I/O unit has been shut down";
}

bool IEWinINetBound() { return CurlReady(); }

bool IEDownloadURL(const WideString& URL, TStream* Stream, const WideString& ProxyAddress,
                   const WideString& ProxyUser, const WideString& ProxyPassword, const TIEProgressEvent& OnProgress,
                   TObject* Sender, std::atomic<bool>& Aborting, AnsiString& Extension, AnsiString* FailureReason) {
  Extension.clear();
  const AnsiString Address = WideToAnsi(URL);
  AnsiString Shown = Address;  // the address as messages give it: without user name and password
  auto Fail = [&](const AnsiString& Why) {
    if (FailureReason) *FailureReason = "Cannot download \"" + Shown + "\": " + Why;
    return false;
  };

  const Integer Kind = IEGetURLType(Address);
  static const char* const kSchemes[] = {"", "http", "https", "ftp"};
  static const Integer kDefaultPorts[] = {0, 80, 443, 21};
  if (Kind < 1 || Kind > 3) return Fail("it is not an http://, https:// or ftp:// address");
  const AnsiString Scheme = kSchemes[Kind];
  const AnsiString Rest = Address.substr(Scheme.size() + 3);
  const size_t Slash = Rest.find('/');
  if (Slash == AnsiString::npos) return Fail("the address has no path after its host");
  AnsiString Host = Rest.substr(0, Slash);
  const AnsiString Path = Rest.substr(Slash);
  AnsiString User, Password;
  if (const size_t At = Host.find('@'); At != AnsiString::npos) {
    const size_t Colon = Host.find(':');
    Shown = Scheme + "://" + Host.substr(At + 1) + Path;
    if (Colon == AnsiString::npos || Colon > At) return Fail("the user name before \"@\" has no password after a \":\"");
    User = Host.substr(0, Colon);
    Password = Host.substr(Colon + 1, At - Colon - 1);
    Host = Host.substr(At + 1);
  }
  Integer Port = kDefaultPorts[Kind];
  if (const size_t Colon = Host.find(':'); Colon != AnsiString::npos) {
    Port = StrToIntDef(Host.substr(Colon + 1), 80);
    Host = Host.substr(0, Colon);
  }
  if (Host.empty()) return Fail("the address has no host");
  if (AnsiString Why; !CurlReady(&Why)) return Fail("the internet library is not available (" + Why + ")");

  CURL* Handle = gCurl.EasyInit();
  if (!Handle) return Fail("the internet library could not start a transfer");
  struct TCleanup {
    CURL* H;
    ~TCleanup() { gCurl.EasyCleanup(H); }
  } Cleanup{Handle};

  const Int64 StartSize = Stream->Size(), StartPosition = Stream->Position();
  TTransfer T;
  T.Stream = Stream;
  T.Handle = Handle;
  T.OnProgress = &OnProgress;
  T.Sender = Sender;
  T.Aborting = &Aborting;
  char ErrorText[CURL_ERROR_SIZE] = {};
  const AnsiString Target = Scheme + "://" + Host + ":" + N(Port) + Path;
  const AnsiString ProxyText = WideToAnsi(ProxyAddress), ProxyUserText = WideToAnsi(ProxyUser),
                   ProxyPasswordText = WideToAnsi(ProxyPassword);
  auto Set = [&](CURLoption Option, auto Value) { return gCurl.EasySetopt(Handle, Option, Value) == CURLE_OK; };
  bool Ready = Set(CURLOPT_URL, Target.c_str()) && Set(CURLOPT_ERRORBUFFER, ErrorText) &&
               Set(CURLOPT_USERAGENT, "Mozilla/4.*") && Set(CURLOPT_NOSIGNAL, 1L) &&
               // Every download fetches afresh, as a reload that keeps nothing.
               Set(CURLOPT_FRESH_CONNECT, 1L) && Set(CURLOPT_FORBID_REUSE, 1L) &&
               Set(CURLOPT_FOLLOWLOCATION, 1L) && Set(CURLOPT_MAXREDIRS, 10L) &&
               Set(CURLOPT_PROTOCOLS_STR, "http,https,ftp") && Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https") &&
               Set(CURLOPT_CONNECTTIMEOUT, 30L) && Set(CURLOPT_FAILONERROR, 1L) &&
               // A length announced above the cap is refused before its body comes.
               Set(CURLOPT_MAXFILESIZE_LARGE, curl_off_t(IEDownloadMaxBytes)) &&
               Set(CURLOPT_SSL_VERIFYPEER, 1L) && Set(CURLOPT_SSL_VERIFYHOST, 2L) &&
               // An empty proxy goes direct, whatever the environment's proxy variables say.
               Set(CURLOPT_PROXY, ProxyText.c_str()) && Set(CURLOPT_WRITEFUNCTION, WriteBlock) &&
               Set(CURLOPT_WRITEDATA, &T) && Set(CURLOPT_XFERINFOFUNCTION, CheckAbort) &&
               Set(CURLOPT_XFERINFODATA, &T) && Set(CURLOPT_NOPROGRESS, 0L);
  if (Ready && !User.empty()) Ready = Set(CURLOPT_USERNAME, User.c_str()) && Set(CURLOPT_PASSWORD, Password.c_str());
  if (Ready && !ProxyText.empty() && !ProxyUserText.empty())
    Ready = Set(CURLOPT_PROXYUSERNAME, ProxyUserText.c_str()) && Set(CURLOPT_PROXYPASSWORD, ProxyPasswordText.c_str());
  if (Ready && !IEDownloadCAFile.empty()) Ready = Set(CURLOPT_CAINFO, IEDownloadCAFile.c_str());
  if (!Ready) return Fail(AnsiString("the internet library refused the transfer's settings") + (*ErrorText ? ": " : "") + ErrorText);

  const CURLcode Result = gCurl.EasyPerform(Handle);

  auto TakeBack = [&] {
    // What a failed download wrote is not the resource: the stream gets back its old size.
    try {
      if (Stream->Size() > StartSize) Stream->SetSize(StartSize);
      Stream->SetPosition(StartPosition);
    } catch (...) {
    }
  };
  if (T.Raised) {
    TakeBack();
    std::rethrow_exception(T.Raised);
  }
  if (Result != CURLE_OK) {
    TakeBack();
    long Status = 0;
    curl_off_t Total = -1;
    gCurl.EasyGetinfo(Handle, CURLINFO_RESPONSE_CODE, &Status);
    gCurl.EasyGetinfo(Handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &Total);
    const AnsiString Detail = *ErrorText ? AnsiString(ErrorText) : AnsiString(gCurl.EasyStrerror(Result));
    if (T.Stopped) return Fail("the download was stopped after " + N(T.Received) + " bytes");
    if (T.TooLarge || Result == CURLE_FILESIZE_EXCEEDED) return Fail("the resource is larger than the " + N(IEDownloadMaxBytes) + " bytes a download may bring");
    if (T.StreamRefused) return Fail("the stream did not take the downloaded bytes");
    switch (Result) {
      case CURLE_HTTP_RETURNED_ERROR: return Fail("the server answered with HTTP status " + N(Status));
      case CURLE_PARTIAL_FILE:
        return Fail("the connection ended after " + N(T.Received) + " bytes" +
                    (Total > 0 ? " of the " + N(Total) + " announced" : AnsiString()));
      case CURLE_PEER_FAILED_VERIFICATION:
      case CURLE_SSL_CACERT_BADFILE: return Fail("the server's certificate is not trusted (" + Detail + ")");
      default: return Fail(Detail);
    }
  }

  if (Kind == 3) {
    AnsiString Ext;
    IEExtractFileExt(Path, false, Ext);
    Extension = LowerCase(Ext.substr(0, 10));
  } else {
    char* Type = nullptr;
    if (gCurl.EasyGetinfo(Handle, CURLINFO_CONTENT_TYPE, &Type) == CURLE_OK && Type) {
      const AnsiString Text = Type;
      if (const size_t P = Text.find('/'); P != AnsiString::npos) Extension = Text.substr(P + 1);
    }
  }
  return true;
}
