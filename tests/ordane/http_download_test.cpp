// ordane_http_download_file against real servers on 127.0.0.1: a Python
// HTTP + HTTPS server (tests/support/http_test_server.py) started once per
// test program, with a self-signed certificate made by openssl at test time.

#include "ordane.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// ----------------------------------------------------------------------------
// Helpers
// ----------------------------------------------------------------------------

fs::path make_temp_dir() {
  std::string templ = (fs::temp_directory_path() / "ordane-download-XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) return fs::path();
  return fs::path(templ);
}

struct TempDir {
  fs::path path = make_temp_dir();
  ~TempDir() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& p, const std::string& data) {
  std::ofstream(p, std::ios::binary) << data;
}

// Checks a /bytes body (byte i is i % 251) without printing megabytes on
// failure.
::testing::AssertionResult is_pattern(const std::string& data, size_t expected_size) {
  if (data.size() != expected_size) {
    return ::testing::AssertionFailure() << "size " << data.size() << ", expected " << expected_size;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    if (static_cast<unsigned char>(data[i]) != i % 251) {
      return ::testing::AssertionFailure() << "first wrong byte at offset " << i;
    }
  }
  return ::testing::AssertionSuccess();
}

int32_t download(const std::string& url, const fs::path& dest) {
  return ordane_http_download_file(url.c_str(), dest.c_str());
}

// Runs a program with stdout and stderr discarded; returns its exit status.
int run_quietly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// ----------------------------------------------------------------------------
// The local servers, started on first use and stopped when the program ends
// ----------------------------------------------------------------------------

class Servers {
 public:
  Servers() {
    // Requests to the local servers must not go through a proxy configured
    // for the machine.
    setenv("no_proxy", "127.0.0.1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);

    cert_ = dir_.path / "cert.pem";
    const fs::path key = dir_.path / "key.pem";
    if (run_quietly({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                     "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                     "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                     key.string(), "-out", cert_.string()}) != 0) {
      error_ = "openssl could not make a certificate";
      return;
    }
    start_python(key);
    open_closed_port();
  }

  ~Servers() {
    if (stdin_fd_ >= 0) close(stdin_fd_);  // the server exits at end of input
    if (stdout_fd_ >= 0) close(stdout_fd_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    if (closed_fd_ >= 0) close(closed_fd_);
  }

  const std::string& error() const { return error_; }
  const fs::path& cert() const { return cert_; }
  std::string http(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(http_port_) + target;
  }
  std::string https(const std::string& target) const {
    return "https://127.0.0.1:" + std::to_string(https_port_) + target;
  }
  // A port with nothing listening: connecting to it is refused.
  std::string closed(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(closed_port_) + "/x";
  }

 private:
  void start_python(const fs::path& key) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return void(error_ = "pipe failed");
    if (pipe2(out, O_CLOEXEC) != 0) return void(error_ = "pipe failed");
    const std::string script =
        (fs::path(__FILE__).parent_path().parent_path() / "support" / "http_test_server.py").string();
    const std::string cert = cert_.string();
    const std::string key_text = key.string();
    char* argv[] = {const_cast<char*>("python3"), const_cast<char*>(script.c_str()),
                    const_cast<char*>(cert.c_str()), const_cast<char*>(key_text.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    stdin_fd_ = in[1];
    stdout_fd_ = out[0];
    if (rc != 0) {
      pid_ = 0;
      return void(error_ = "python3 could not be started");
    }
    std::string line;
    char c = 0;
    while (read(stdout_fd_, &c, 1) == 1 && c != '\n') line += c;
    std::istringstream words(line);
    std::string http_word;
    std::string https_word;
    words >> http_word >> http_port_ >> https_word >> https_port_;
    if (http_word != "http" || https_word != "https") error_ = "the test server did not start";
  }

  // A socket bound to a port but not listening: the port stays reserved for
  // the program's lifetime, and connections to it are refused.
  void open_closed_port() {
    closed_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (closed_fd_ < 0 || bind(closed_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(closed_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      error_ = "no port could be reserved";
      return;
    }
    closed_port_ = ntohs(addr.sin_port);
  }

  TempDir dir_;
  fs::path cert_;
  std::string error_;
  pid_t pid_ = 0;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  int http_port_ = 0;
  int https_port_ = 0;
  int closed_fd_ = -1;
  int closed_port_ = 0;
};

const Servers& servers() {
  static Servers instance;
  return instance;
}

#define REQUIRE_SERVERS()                                    \
  const Servers& srv = servers();                            \
  ASSERT_EQ(srv.error(), "") << "local test servers missing"; \
  TempDir dir;                                               \
  ASSERT_FALSE(dir.path.empty())

// ----------------------------------------------------------------------------
// Arguments and URLs: rejected before any connection, creating nothing
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, NullArgumentsGiveMinus1) {
  TempDir dir;
  const fs::path dest = dir.path / "out";
  EXPECT_EQ(ordane_http_download_file(nullptr, dest.c_str()), -1);
  EXPECT_EQ(ordane_http_download_file("http://127.0.0.1/", nullptr), -1);
  EXPECT_EQ(ordane_http_download_file(nullptr, nullptr), -1);
  EXPECT_FALSE(fs::exists(dest));
}

TEST(ordane_http_download_file, RejectedUrlsCreateNoFile) {
  TempDir dir;
  const fs::path dest = dir.path / "out";
  const struct {
    const char* url;
    int32_t code;
  } cases[] = {
      {"http://127.0.0.1/\xff", ORDANE_HTTP_ERR_URL_TEXT},          // not a UTF-8 byte
      {"http://127.0.0.1/\xc0\xaf", ORDANE_HTTP_ERR_URL_TEXT},      // overlong '/'
      {"http://127.0.0.1/\xed\xa0\x80", ORDANE_HTTP_ERR_URL_TEXT},  // surrogate
      {"http://127.0.0.1/\xe2\x82", ORDANE_HTTP_ERR_URL_TEXT},      // cut short
      {"ftp://127.0.0.1/file", ORDANE_HTTP_ERR_CRACK_URL},
      {"file:///etc/hostname", ORDANE_HTTP_ERR_CRACK_URL},
      {"gopher://127.0.0.1/", ORDANE_HTTP_ERR_CRACK_URL},
      {"127.0.0.1/no-scheme", ORDANE_HTTP_ERR_CRACK_URL},
      {"/only/a/path", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://", ORDANE_HTTP_ERR_CRACK_URL},
      {"http:///", ORDANE_HTTP_ERR_CRACK_URL},
      {"https://:443/no-host", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://bad host/", ORDANE_HTTP_ERR_CRACK_URL},
      {"", ORDANE_HTTP_ERR_CRACK_URL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(ordane_http_download_file(c.url, dest.c_str()), c.code);
    EXPECT_FALSE(fs::exists(dest));
  }
}

// ----------------------------------------------------------------------------
// Successful downloads
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, StreamsALargeBodyByteForByte) {
  REQUIRE_SERVERS();
  const size_t size = 5 * 1048576 + 12345;  // many buffers, the last one partial
  const fs::path dest = dir.path / "big.bin";
  ASSERT_EQ(download(srv.http("/bytes?n=" + std::to_string(size)), dest), 0);
  EXPECT_TRUE(is_pattern(read_file(dest), size));
}

TEST(ordane_http_download_file, SendsPathQueryAndUserAgentAsWritten) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "echo.txt";
  // Dot segments and escapes stay as written; the fragment and the
  // credentials never reach the server.
  ASSERT_EQ(download(srv.http("/echo/a/../b/./c?x=%41&y=a+b&z=/1#part"), dest), 0);
  std::string echo = read_file(dest);
  EXPECT_EQ(echo.substr(0, echo.find('\n')), "/echo/a/../b/./c?x=%41&y=a+b&z=/1");
  EXPECT_NE(echo.find("\nUser-Agent: Quillon-ZazAreror/1.0\n"), std::string::npos) << echo;
  EXPECT_NE(echo.find("\nHost: " + srv.http("").substr(7) + "\n"), std::string::npos) << echo;

  std::string with_user = srv.http("/echo/private");
  with_user.insert(7, "user:secret@");
  ASSERT_EQ(download(with_user, dest), 0);
  echo = read_file(dest);
  EXPECT_EQ(echo.substr(0, echo.find('\n')), "/echo/private");
  EXPECT_EQ(echo.find("Authorization"), std::string::npos) << echo;
}

TEST(ordane_http_download_file, FollowsTenRedirectsAndSavesOnlyTheFinalBody) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "chain.txt";
  ASSERT_EQ(download(srv.http("/redirect?n=10"), dest), 0);
  EXPECT_EQ(read_file(dest), "end of chain");
  ASSERT_EQ(download(srv.http("/to?url=" + srv.http("/bytes?n=70000")), dest), 0);
  EXPECT_TRUE(is_pattern(read_file(dest), 70000));
}

TEST(ordane_http_download_file, SavesTheBodyWhateverTheStatus) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "status.txt";
  ASSERT_EQ(download(srv.http("/status?code=404"), dest), 0);
  EXPECT_EQ(read_file(dest), "status 404");
  ASSERT_EQ(download(srv.http("/status?code=500"), dest), 0);
  EXPECT_EQ(read_file(dest), "status 500");
  // An interim 103 response is not the final one.
  ASSERT_EQ(download(srv.http("/interim"), dest), 0);
  EXPECT_EQ(read_file(dest), "after interim");
}

TEST(ordane_http_download_file, EmptyBodyCreatesOrTruncatesTheFile) {
  REQUIRE_SERVERS();
  const fs::path fresh = dir.path / "fresh";
  ASSERT_EQ(download(srv.http("/empty"), fresh), 0);
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_EQ(fs::file_size(fresh), 0u);

  const fs::path existing = dir.path / "existing";
  write_file(existing, "old content");
  ASSERT_EQ(download(srv.http("/empty"), existing), 0);
  EXPECT_EQ(fs::file_size(existing), 0u);
}

TEST(ordane_http_download_file, RunsDownloadsOnSeveralThreadsAtOnce) {
  REQUIRE_SERVERS();
  constexpr int kThreads = 8;
  std::vector<int32_t> results(kThreads, 99);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const size_t size = 300000 + 7919 * static_cast<size_t>(i);
      const std::string url = (i % 2 == 0) ? srv.http("/bytes?n=" + std::to_string(size))
                                           : srv.http("/redirect?n=3");
      results[i] = download(url, dir.path / std::to_string(i));
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(results[i], 0);
    const std::string body = read_file(dir.path / std::to_string(i));
    if (i % 2 == 0) {
      EXPECT_TRUE(is_pattern(body, 300000 + 7919 * static_cast<size_t>(i)));
    } else {
      EXPECT_EQ(body, "end of chain");
    }
  }
}

// ----------------------------------------------------------------------------
// Failures before the final response's headers: -7, destination untouched
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, FailuresBeforeTheFinalHeadersLeaveTheDestinationAlone) {
  REQUIRE_SERVERS();
  const struct {
    const char* what;
    std::string url;
    int32_t code;
  } cases[] = {
      {"refused connection", srv.closed("http"), ORDANE_HTTP_ERR_SEND},
      {"refused TLS connection", srv.closed("https"), ORDANE_HTTP_ERR_SEND},
      {"untrusted certificate", srv.https("/bytes?n=10"), ORDANE_HTTP_ERR_SEND},
      {"eleven redirects", srv.http("/redirect?n=11"), ORDANE_HTTP_ERR_SEND},
      {"redirect to a refused port", srv.http("/to?url=" + srv.closed("http")),
       ORDANE_HTTP_ERR_SEND},
      {"redirect to file:", srv.http("/to?url=file:///etc/hostname"), ORDANE_HTTP_ERR_SEND},
      {"redirect to ftp:", srv.http("/to?url=" + srv.closed("ftp")), ORDANE_HTTP_ERR_SEND},
      {"connection closed without a reply", srv.http("/drop"), ORDANE_HTTP_ERR_SEND},
      {"closed after an interim response", srv.http("/interim-then-drop"), ORDANE_HTTP_ERR_SEND},
      {"unknown scheme", "ftp://127.0.0.1/x", ORDANE_HTTP_ERR_CRACK_URL},
      {"URL not UTF-8", srv.http("/echo\xfe"), ORDANE_HTTP_ERR_URL_TEXT},
  };
  const fs::path absent = dir.path / "absent";
  const fs::path existing = dir.path / "existing";
  write_file(existing, "keep me");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(download(c.url, absent), c.code);
    EXPECT_FALSE(fs::exists(absent));
    EXPECT_EQ(download(c.url, existing), c.code);
    EXPECT_EQ(read_file(existing), "keep me");
  }
}

// The TLS listener's certificate is trusted only inside a private mount
// namespace where it is bind-mounted over the CA bundle libcurl reads, so the
// library's verification policy stays as it is. Runs in a forked child.
TEST(ordane_http_download_file, FollowsARedirectFromHttpsToHttp) {
  REQUIRE_SERVERS();
  std::string bundle;
  if (CURL* h = curl_easy_init()) {
    char* path = nullptr;
    if (curl_easy_getinfo(h, CURLINFO_CAINFO, &path) == CURLE_OK && path != nullptr) bundle = path;
    curl_easy_cleanup(h);
  }
  if (bundle.empty() || !fs::is_regular_file(bundle)) {
    GTEST_SKIP() << "libcurl reads no CA bundle file that a test certificate could replace";
  }
  const fs::path direct = dir.path / "direct.bin";
  const fs::path redirected = dir.path / "redirected.txt";
  const std::string direct_url = srv.https("/bytes?n=200000");
  const std::string redirect_url = srv.https("/to?url=" + srv.http("/echo/landed"));
  constexpr int kNoNamespace = 100;

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The file system type is ignored for these two calls, but is passed as
    // a string: valgrind reports a null one, and its error exit status would
    // replace the child's result.
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(srv.cert().c_str(), bundle.c_str(), "none", MS_BIND, nullptr) != 0) {
      _exit(kNoNamespace);
    }
    const int32_t a = download(direct_url, direct);
    const int32_t b = download(redirect_url, redirected);
    _exit(-a * 10 - b);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  const int code = WEXITSTATUS(status);
  if (code == kNoNamespace) {
    GTEST_SKIP() << "no private mount namespace (needs CAP_SYS_ADMIN) to trust the test certificate";
  }
  EXPECT_EQ(-(code / 10), 0) << "https download with a trusted certificate";
  EXPECT_EQ(-(code % 10), 0) << "https -> http redirect";
  EXPECT_TRUE(is_pattern(read_file(direct), 200000));
  const std::string echo = read_file(redirected);
  EXPECT_EQ(echo.substr(0, echo.find('\n')), "/echo/landed");
}

// ----------------------------------------------------------------------------
// Failures after the final headers
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, UnopenableDestinationGivesMinus8WithoutReadingTheBody) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "missing" / "out.bin";
  // The body never ends: returning at all shows it was not read.
  EXPECT_EQ(download(srv.http("/endless"), dest), ORDANE_HTTP_ERR_OPEN_DEST);
  EXPECT_EQ(download(srv.http("/empty"), dest), ORDANE_HTTP_ERR_OPEN_DEST);
  EXPECT_FALSE(fs::exists(dest.parent_path()));
}

TEST(ordane_http_download_file, BodyBreakingOffGivesMinus9AndKeepsWhatArrived) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "partial";
  EXPECT_EQ(download(srv.http("/truncated?n=200000&sent=70000"), dest), ORDANE_HTTP_ERR_TRANSFER);
  EXPECT_TRUE(is_pattern(read_file(dest), 70000));

  EXPECT_EQ(download(srv.http("/chunked-truncated"), dest), ORDANE_HTTP_ERR_TRANSFER);
  EXPECT_EQ(read_file(dest), "hello");

  // The final headers arrived, so the destination was already truncated.
  write_file(dest, "old content");
  EXPECT_EQ(download(srv.http("/headers-then-drop"), dest), ORDANE_HTTP_ERR_TRANSFER);
  EXPECT_TRUE(fs::exists(dest));
  EXPECT_EQ(fs::file_size(dest), 0u);
}

TEST(ordane_http_download_file, FailedWriteGivesMinus9) {
  REQUIRE_SERVERS();
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to stand for a full disk";
  EXPECT_EQ(download(srv.http("/bytes?n=300000"), "/dev/full"), ORDANE_HTTP_ERR_TRANSFER);
  // A body small enough to sit in the stream's buffer fails when it is flushed.
  EXPECT_EQ(download(srv.http("/bytes?n=10"), "/dev/full"), ORDANE_HTTP_ERR_TRANSFER);
}

}  // namespace
