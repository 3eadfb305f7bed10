// Downloads from python3's HTTP server (plain and over TLS with a certificate the test makes and
// trusts through the CA option) and from a pyftpdlib FTP server, all on loopback: the whole
// resource with progress, its format hint, and the image loaded from it; the failures (an HTTP
// error, a cut connection, an untrusted certificate, a missing FTP file, a stop) each fail
// with a reason naming the address and leave nothing in the stream; the address's credentials
// and port and a proxy's own credentials reach the right peer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "imaging/io/ie_url_download.h"
#include "tests/imaging/io/io_test_util.h"
#include "tests/imaging/support/corpus.h"

using namespace iotest;
using testsupport::Fixture;
using testsupport::ShellQuote;

namespace {

// One server of url_servers.py, ended with the test.
class TServer {
 public:
  explicit TServer(std::vector<std::string> Args) {
    Args.insert(Args.begin(), {"/usr/bin/python3", std::string(CLAVORNE_SOURCE_DIR) + "/tests/imaging/io/url_servers.py"});
    std::vector<char*> Argv;
    for (std::string& A : Args) Argv.push_back(A.data());
    Argv.push_back(nullptr);
    int In[2], Out[2];
    if (pipe2(In, O_CLOEXEC) != 0 || pipe2(Out, O_CLOEXEC) != 0) return;
    FPid = fork();
    if (FPid == 0) {
      dup2(In[0], 0);
      dup2(Out[1], 1);
      execv(Argv[0], Argv.data());
      _exit(127);
    }
    close(In[0]);
    close(Out[1]);
    FStdin = In[1];
    // The port on the first line.
    std::string Line;
    pollfd P{Out[0], POLLIN, 0};
    char C;
    while (poll(&P, 1, 20000) > 0 && read(Out[0], &C, 1) == 1 && C != '\n') Line += C;
    close(Out[0]);
    Port = Line.empty() ? 0 : std::stoi(Line);
  }
  ~TServer() {
    if (FStdin >= 0) close(FStdin);
    if (FPid > 0) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
    }
  }
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;
  int Port = 0;

 private:
  pid_t FPid = -1;
  int FStdin = -1;
};

std::string Photo() {
  return Fixture("url-photo.png", "convert -seed 7 -size 256x256 xc: +noise Random PNG24:{out}");
}
// A server's key and certificate in one file, and the certificate alone for the CA option.
std::string ServerPem(const std::string& Name, const std::string& AltNames) {
  return Fixture("url-" + Name + ".pem", "d=$(mktemp -d) && openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "
                                         "/CN=clavorne-test -addext subjectAltName=" + AltNames +
                                         " -keyout $d/k -out $d/c 2>/dev/null && cat $d/k $d/c > {out}; rm -rf $d");
}
std::string CertOnly(const std::string& Pem) {
  return Fixture(Pem.substr(Pem.rfind('/') + 1) + ".crt", "openssl x509 -in " + ShellQuote(Pem) + " -out {out}");
}

// A folder served by the servers, holding the photo.
struct TSite {
  std::string Dir = testsupport::MakeTempDir("url");
  std::vector<Byte> Photo = ietest::ReadWholeFile(::Photo());
  TSite() { testsupport::RunOk("cp " + ShellQuote(::Photo()) + " " + ShellQuote(Dir + "/photo.png")); }
  ~TSite() { testsupport::RemoveTree(Dir); }
};

// Restores the library-wide download settings a test changes.
struct TSettings {
  AnsiString CA = IEDownloadCAFile;
  Int64 Max = IEDownloadMaxBytes;
  TSettings() {
    EnsureIOUnit();
    IEInitWinINet();
  }
  ~TSettings() {
    IEDownloadCAFile = CA;
    IEDownloadMaxBytes = Max;
  }
};

struct TDownload {
  bool Ok = false;
  std::vector<Byte> Bytes;
  AnsiString Extension, Reason;
  std::vector<Integer> Progress;
};
TDownload Download(const std::string& URL, std::function<void(Integer, std::atomic<bool>&)> OnReport = nullptr,
                   const std::string& Proxy = "", const std::string& ProxyUser = "", const std::string& ProxyPassword = "") {
  TDownload D;
  TMemoryStream M;
  std::atomic<bool> Aborting{false};
  D.Ok = IEDownloadURL(W(URL), &M, W(Proxy), W(ProxyUser), W(ProxyPassword),
                       [&](TObject*, Integer Percent) {
                         D.Progress.push_back(Percent);
                         if (OnReport) OnReport(Percent, Aborting);
                       },
                       nullptr, Aborting, D.Extension, &D.Reason);
  D.Bytes.resize(size_t(M.Size()));
  if (!D.Bytes.empty()) std::memcpy(D.Bytes.data(), M.Memory(), D.Bytes.size());
  return D;
}

bool SameImage(TIEBitmap* A, TIEBitmap* B) {
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight() || A->GetPixelFormat() != B->GetPixelFormat() ||
      A->GetWidth() == 0)
    return false;
  for (Integer y = 0; y < A->GetHeight(); ++y)
    if (std::memcmp(A->GetScanline(y), B->GetScanline(y), size_t(A->GetRowLen())) != 0) return false;
  return true;
}

bool Has(const AnsiString& Text, const std::string& Part) { return Text.find(Part) != AnsiString::npos; }

TEST(UrlDownload, WholeResourceOverHttpHttpsAndFtp) {
  TSettings Keep;
  TSite Site;
  const std::string Pem = ServerPem("loopback", "IP:127.0.0.1");
  TServer Http({"http", Site.Dir}), Https({"http", Site.Dir, "--cert", Pem}), Ftp({"ftp", Site.Dir});
  ASSERT_TRUE(Http.Port && Https.Port && Ftp.Port);
  IEDownloadCAFile = CertOnly(Pem);
  const std::string H = "127.0.0.1:" + std::to_string(Http.Port), S = "127.0.0.1:" + std::to_string(Https.Port),
                    F = "127.0.0.1:" + std::to_string(Ftp.Port);
  struct TCase {
    std::string URL;
    bool Progress;  // the length is known before the body
  };
  const std::vector<TCase> Cases = {
      {"http://" + H + "/photo.png", true},
      {"HTTP://" + H + "/photo.png", true},
      {"http://" + H + "/nolength/photo.png", false},
      {"https://" + S + "/photo.png", true},
      {"ftp://" + F + "/photo.png", true},
      {"ftp://clav:secret@" + F + "/photo.png", true},
  };
  TZodivErIO Peer(nullptr);
  Peer.LoadFromFile(W(Site.Dir + "/photo.png"));
  ASSERT_FALSE(Peer.Aborting);
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.URL);
    const TDownload D = Download(C.URL);
    ASSERT_TRUE(D.Ok) << D.Reason;
    EXPECT_TRUE(D.Bytes == Site.Photo);
    EXPECT_EQ(D.Extension, "png");
    if (C.Progress) {
      ASSERT_GT(D.Progress.size(), 2u);  // one report a block
      EXPECT_TRUE(std::is_sorted(D.Progress.begin(), D.Progress.end()));
      EXPECT_EQ(D.Progress.back(), 100);
    } else {
      EXPECT_TRUE(D.Progress.empty());
    }

    TRecordedIO R;
    R.IO.LoadFromURL(W(C.URL));
    EXPECT_FALSE(R.IO.Aborting) << R.IO.FailureReason();
    R.ExpectEndedOnce();
    EXPECT_TRUE(SameImage(R.IO.IEBitmap(), Peer.IEBitmap()));
    EXPECT_EQ(R.IO.IOParams()->FileType, ioPNG);
  }
  // LoadFromFile hands addresses to LoadFromURL.
  TRecordedIO R;
  R.IO.LoadFromFile(W("https://" + S + "/photo.png"));
  EXPECT_FALSE(R.IO.Aborting) << R.IO.FailureReason();
  EXPECT_TRUE(SameImage(R.IO.IEBitmap(), Peer.IEBitmap()));
}

TEST(UrlDownload, FailuresNameTheAddressAndLeaveNothing) {
  TSettings Keep;
  TSite Site;
  const std::string Pem = ServerPem("loopback", "IP:127.0.0.1"), Other = ServerPem("elsewhere", "DNS:images.invalid");
  TServer Http({"http", Site.Dir}), Https({"http", Site.Dir, "--cert", Pem}), Misnamed({"http", Site.Dir, "--cert", Other}),
      Ftp({"ftp", Site.Dir});
  int Closed = 0;
  {
    TServer Gone({"http", Site.Dir});
    Closed = Gone.Port;
  }
  ASSERT_TRUE(Http.Port && Https.Port && Misnamed.Port && Ftp.Port && Closed);
  auto At = [](const TServer& S) { return "127.0.0.1:" + std::to_string(S.Port); };
  struct TCase {
    std::string URL, Shown, Cause;
    std::string CA = "";
    Int64 Max = Int64(1) << 31;
  };
  const std::vector<TCase> Cases = {
      {"http://" + At(Http) + "/missing.png", "", "the server answered with HTTP status 404"},
      {"http://" + At(Http) + "/cut/photo.png", "",
       "the connection ended after " + std::to_string(Site.Photo.size() / 2) + " bytes of the " +
           std::to_string(Site.Photo.size()) + " announced"},
      {"https://" + At(Https) + "/photo.png", "", "certificate is not trusted"},
      {"https://" + At(Misnamed) + "/photo.png", "", "certificate is not trusted", CertOnly(Other)},
      {"ftp://clav:secret@" + At(Ftp) + "/missing.png", "ftp://" + At(Ftp) + "/missing.png", "does not exist"},
      {"http://" + At(Http) + "/photo.png", "", "larger than the 1000 bytes", "", 1000},
      {"http://" + At(Http) + "/nolength/photo.png", "", "larger than the 1000 bytes", "", 1000},
      {"http://127.0.0.1:" + std::to_string(Closed) + "/photo.png", "", "onnect"},
  };
  const std::string Kept = Site.Dir + "/kept.bin";
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.URL);
    IEDownloadCAFile = C.CA;
    IEDownloadMaxBytes = C.Max;
    const std::string Shown = "\"" + (C.Shown.empty() ? C.URL : C.Shown) + "\"";
    {
      // Into a file that already holds something: it keeps that, and only that.
      std::ofstream(Kept, std::ios::binary) << "kept";
      TFileStream File(AnsiString(Kept), fmOpenReadWrite);
      File.Seek(0, soEnd);
      std::atomic<bool> Aborting{false};
      AnsiString Extension, Reason;
      EXPECT_FALSE(IEDownloadURL(W(C.URL), &File, u"", u"", u"", nullptr, nullptr, Aborting, Extension, &Reason));
      EXPECT_TRUE(Has(Reason, "Cannot download " + Shown + ": ")) << Reason;
      EXPECT_TRUE(Has(Reason, C.Cause)) << Reason;
      EXPECT_FALSE(Has(Reason, "secret"));
      EXPECT_EQ(File.Size(), 4);
    }
    EXPECT_EQ(ietest::ReadWholeFile(Kept), std::vector<Byte>({'k', 'e', 'p', 't'}));

    TRecordedIO R;
    R.IO.LoadFromURL(W(C.URL));
    EXPECT_TRUE(R.IO.Aborting);
    EXPECT_EQ(R.AbortingAtFinish, std::vector<bool>{true});
    R.ExpectEndedOnce();
    EXPECT_TRUE(Has(R.IO.FailureReason(), Shown)) << R.IO.FailureReason();
    EXPECT_EQ(R.IO.IEBitmap()->GetWidth(), 0);
  }
}

TEST(UrlDownload, StopThroughTheAbortFlag) {
  TSettings Keep;
  TSite Site;
  TServer Http({"http", Site.Dir}), Ftp({"ftp", Site.Dir, "--throttle", "16384"});
  ASSERT_TRUE(Http.Port && Ftp.Port);
  const std::string H = "127.0.0.1:" + std::to_string(Http.Port), F = "127.0.0.1:" + std::to_string(Ftp.Port);
  // Stopped from the progress report of the first block, and from another thread while the
  // server sends nothing at all.
  for (const std::string& URL : {"http://" + H + "/slow/photo.png", "ftp://" + F + "/photo.png"}) {
    SCOPED_TRACE(URL);
    const TDownload D = Download(URL, [](Integer, std::atomic<bool>& Aborting) { Aborting = true; });
    EXPECT_FALSE(D.Ok);
    EXPECT_TRUE(Has(D.Reason, "Cannot download \"" + URL + "\": the download was stopped")) << D.Reason;
    EXPECT_TRUE(D.Bytes.empty());
    EXPECT_EQ(D.Progress.size(), 1u);

    TRecordedIO R;
    R.IO.OnProgress = [&](TObject*, Integer Percent) {
      R.Events.push_back("p" + std::to_string(Percent));
      R.IO.Aborting = true;
    };
    R.IO.LoadFromURL(W(URL));
    EXPECT_TRUE(R.IO.Aborting);
    EXPECT_TRUE(Has(R.IO.FailureReason(), "the download was stopped")) << R.IO.FailureReason();
    EXPECT_EQ(R.Finishes(), 1);
  }
  TMemoryStream M;
  std::atomic<bool> Aborting{false};
  AnsiString Extension, Reason;
  std::thread Stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Aborting = true;
  });
  const auto Start = std::chrono::steady_clock::now();
  EXPECT_FALSE(IEDownloadURL(W("http://" + H + "/stall/photo.png"), &M, u"", u"", u"", nullptr, nullptr, Aborting,
                             Extension, &Reason));
  Stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(5));
  EXPECT_TRUE(Has(Reason, "the download was stopped after 0 bytes")) << Reason;
  EXPECT_EQ(M.Size(), 0);
}

TEST(UrlDownload, CredentialsPortAndProxyReachTheRightPeer) {
  TSettings Keep;
  TSite Site;
  const std::string Log = Site.Dir + "/requests.log";
  TServer Http({"http", Site.Dir, "--log", Log});
  ASSERT_TRUE(Http.Port);
  const std::string H = "127.0.0.1:" + std::to_string(Http.Port);
  auto Requests = [&] {
    std::vector<std::string> Lines;
    std::ifstream In(Log);
    for (std::string L; std::getline(In, L);) Lines.push_back(L);
    return Lines;
  };
  // "user:pw" and "puser:ppw" in Basic authentication.
  const std::string Server = "\"Authorization\": \"Basic dXNlcjpwdw==\"", Proxy = "\"Proxy-Authorization\": \"Basic cHVzZXI6cHB3\"";

  TDownload D = Download("http://user:pw@" + H + "/photo.png");
  ASSERT_TRUE(D.Ok) << D.Reason;
  ASSERT_EQ(Requests().size(), 1u);
  std::string Seen = Requests()[0];
  EXPECT_TRUE(Has(Seen, "\"GET /photo.png HTTP/1.1\"")) << Seen;
  EXPECT_TRUE(Has(Seen, Server)) << Seen;
  EXPECT_TRUE(Has(Seen, "\"User-Agent\": \"Mozilla/4.*\"")) << Seen;
  EXPECT_FALSE(Has(Seen, "Proxy-Authorization")) << Seen;

  // Through a proxy (the logging server takes requests in proxy form): the proxy gets its own
  // credentials and the server its own; a host nobody can resolve is the proxy's business.
  D = Download("http://user:pw@images.invalid/photo.png", nullptr, H, "puser", "ppw");
  ASSERT_TRUE(D.Ok) << D.Reason;
  EXPECT_TRUE(D.Bytes == Site.Photo);
  ASSERT_EQ(Requests().size(), 2u);
  Seen = Requests()[1];
  EXPECT_TRUE(Has(Seen, "\"GET http://images.invalid/photo.png HTTP/1.1\"")) << Seen;
  EXPECT_TRUE(Has(Seen, Proxy)) << Seen;
  EXPECT_TRUE(Has(Seen, Server)) << Seen;

  // Addresses refused before any connection.
  struct TCase {
    std::string URL, Cause;
  };
  const std::vector<TCase> Cases = {
      {"http://" + H, "no path after its host"},
      {"http://user@" + H + "/photo.png", "has no password"},
      {"gopher://" + H + "/photo.png", "not an http://, https:// or ftp:// address"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.URL);
    D = Download(C.URL);
    EXPECT_FALSE(D.Ok);
    EXPECT_TRUE(Has(D.Reason, C.Cause)) << D.Reason;
  }
  EXPECT_EQ(Requests().size(), 2u);

  // Without the internet library every download fails, saying so.
  IEFreeWinINet();
  EXPECT_FALSE(IEWinINetBound());
  D = Download("http://" + H + "/photo.png");
  EXPECT_FALSE(D.Ok);
  EXPECT_TRUE(Has(D.Reason, "the internet library is not available")) << D.Reason;
  IEInitWinINet();
  // The start-up only allows downloads: the internet library is loaded by the first one, so a
  // process that never downloads never maps it.
  auto CurlMapped = [] {
    std::ifstream Maps("/proc/self/maps");
    for (std::string L; std::getline(Maps, L);)
      if (Has(L, "/libcurl")) return true;
    return false;
  };
  EXPECT_FALSE(CurlMapped());
  EXPECT_TRUE(Download("http://" + H + "/photo.png").Ok);
  EXPECT_TRUE(CurlMapped());
  EXPECT_TRUE(IEWinINetBound());
}

}  // namespace
