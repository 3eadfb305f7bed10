// Downloads from web and FTP addresses ("http://", "https://", "ftp://") into a stream, for
// TZodivErIO.LoadFromURL. The transfer goes through libcurl, bound at run time by the I/O unit's
// start-up, so that the library starts on systems without it and only address loads fail there.
//
// A download is a success only when the whole resource arrived: HTTPS certificates are
// verified, an HTTP error status, a connection cut before the announced length, a stop through
// the abort flag and every other failure answer False with a reason that names the address
// (never its password), and take back from the stream whatever the failed download put there.
#pragma once

#include <atomic>

#include "imaging/core/ie_progress.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/types.h"

// Certificates (PEM) that HTTPS downloads trust in place of the system's authorities; empty:
// the system's.
extern AnsiString IEDownloadCAFile;
// The most bytes one download may bring; a larger resource fails (downloads are held in memory).
extern Int64 IEDownloadMaxBytes;

// Loads libcurl.so.4 and binds its entry points, once; without it every download fails.
void IEInitWinINet();
// Releases the binding.
void IEFreeWinINet();
// True while the internet library is bound.
bool IEWinINetBound();

// Appends the resource at URL to Stream. The address may carry "user:password@" before the
// host and ":port" after it; a port that is no number is 80. With ProxyAddress set the
// transfer goes through that proxy, which gets ProxyUser and ProxyPassword; the address's own
// user name and password go to the server in every case. OnProgress (when set) gets the
// percentage of the announced length after every block. Aborting is read after every block
// and while waiting: once set, the download stops and fails. Extension receives a hint of the
// format: the media subtype of an HTTP reply's content type (what follows its first "/"), the
// lower-case extension of an FTP path. On failure *FailureReason (when given) says why.
bool IEDownloadURL(const WideString& URL, TStream* Stream, const WideString& ProxyAddress,
                   const WideString& ProxyUser, const WideString& ProxyPassword, const TIEProgressEvent& OnProgress,
                   TObject* Sender, std::atomic<bool>& Aborting, AnsiString& Extension,
                   AnsiString* FailureReason = nullptr);
