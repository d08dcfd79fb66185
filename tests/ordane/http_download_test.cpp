// ordane_http_download_file against real servers on 127.0.0.1: the Python
// HTTP + HTTPS server of tests/support/http_test_server.py, with well-behaved
// routes and hostile ones that send crafted responses byte for byte.

#include "http_test_servers.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace http_test;
using namespace std::string_literals;

// gzip("hello") and gzip(gzip(gzip("hello"))), made with a fixed time stamp.
const std::string kGzipHello =
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xcb\x48\xcd\xc9\xc9\x07\x00\x86\xa6\x10\x36\x05\x00"
    "\x00\x00"s;
const std::string kGzip3Hello =
    "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x93\xef\xe6\x60\x00\x01\x26\xe6\xc9\xef\x9f\x25\x30"
    "\x30\xaa\x3d\xbb\x2c\x97\xee\x3f\x2f\x25\x3d\x23\x5a\x2d\xe1\x18\x97\x08\x03\xc3\xf2\xfc\x2d\xae"
    "\x92\x40\x15\x00\xd3\xc8\x19\x16\x2a\x00\x00\x00"s;

// The request line and fields that /echo reports, as one list of names.
std::vector<std::string> echoed_field_names(const std::string& echo) {
  std::vector<std::string> names;
  std::istringstream lines(echo);
  std::string line;
  std::getline(lines, line);  // the request target
  while (std::getline(lines, line)) names.push_back(line.substr(0, line.find(':')));
  return names;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { unsetenv(name_); }

 private:
  const char* name_;
};

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
      {"http:/x/y", ORDANE_HTTP_ERR_CRACK_URL},  // no authority: not host "x"
      {"http:///x/y", ORDANE_HTTP_ERR_CRACK_URL},
      {"http:////x/y", ORDANE_HTTP_ERR_CRACK_URL},
      {"https:x/y", ORDANE_HTTP_ERR_CRACK_URL},
      {"HTTP:/x", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://?x", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://\xcc\x81" "a.example/", ORDANE_HTTP_ERR_CRACK_URL},  // IDNA: leading combining mark
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
      results[static_cast<size_t>(i)] = download(url, dir.path / std::to_string(i));
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(results[static_cast<size_t>(i)], 0);
    const std::string body = read_file(dir.path / std::to_string(i));
    if (i % 2 == 0) {
      EXPECT_TRUE(is_pattern(body, 300000 + 7919 * static_cast<size_t>(i)));
    } else {
      EXPECT_EQ(body, "end of chain");
    }
  }
}


// ----------------------------------------------------------------------------
// What is sent: Host and User-Agent only, never credentials, ASCII host names
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, SendsOnlyHostAndUserAgentAndNeverCredentials) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "echo.txt";
  const std::vector<std::string> expected = {"Host", "User-Agent"};
  ASSERT_EQ(download(srv.http("/echo/plain"), dest), 0);
  EXPECT_EQ(echoed_field_names(read_file(dest)), expected) << read_file(dest);

  // Credentials in a redirect's Location are dropped like the caller's.
  std::string with_user = srv.http("/echo/landed");
  with_user.insert(7, "alice:s3cret@");
  ASSERT_EQ(download(srv.http("/to?url=" + query_escape(with_user)), dest), 0);
  const std::string echo = read_file(dest);
  EXPECT_EQ(echo.substr(0, echo.find('\n')), "/echo/landed");
  EXPECT_EQ(echoed_field_names(echo), expected) << echo;
}

// The request goes through the test server acting as a plain HTTP proxy, so
// the absolute target shows the host name as it was sent. This program never
// calls setlocale(), so a locale-dependent conversion would fail here.
TEST(ordane_http_download_file, ConvertsInternationalHostNamesWithoutTheLocale) {
  REQUIRE_SERVERS();
  const ScopedEnv proxy("http_proxy", srv.http(""));
  const fs::path dest = dir.path / "echo.txt";
  for (const char* url : {"http://b\xc3\xbc" "cher.example/echo", "http://B\xc3\x9c" "CHER.example/echo",
                          "http://xn--bcher-kva.example/echo"}) {
    SCOPED_TRACE(url);
    ASSERT_EQ(ordane_http_download_file(url, dest.c_str()), 0);
    const std::string echo = read_file(dest);
    EXPECT_EQ(echo.substr(0, echo.find('\n')), "http://xn--bcher-kva.example/echo");
    EXPECT_NE(echo.find("\nHost: xn--bcher-kva.example\n"), std::string::npos) << echo;
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

// Responses that are not a complete, well-formed final response, sent byte for
// byte: each gives -7 and leaves the destination as it was.
TEST(ordane_http_download_file, MalformedOrUnfinishedResponsesLeaveTheDestinationAlone) {
  REQUIRE_SERVERS();
  const std::string to_closed = srv.closed("http");
  struct Case {
    std::string what;
    std::string response;
  };
  std::vector<Case> cases = {
      {"transfer-coding bomb",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, gzip, gzip, chunked\r\n\r\n3b\r\n" + kGzip3Hello +
           "\r\n0\r\n\r\n"},
      {"gzip transfer coding", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n" + kGzipHello},
      {"identity transfer coding",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\nContent-Length: 5\r\n\r\nhello"},
      {"chunked twice",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5\r\nhello\r\n0\r\n\r\n"},
      {"two different lengths",
       "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!"},
      {"a list of different lengths", "HTTP/1.1 200 OK\r\nContent-Length: 10, 20\r\n\r\n0123456789"},
      {"a length that is no number", "HTTP/1.1 200 OK\r\nContent-Length: 5x\r\n\r\nhello"},
      {"a length past 63 bits",
       "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\nhello"},
      {"space before the colon", "HTTP/1.1 200 OK\r\nContent-Length : 3\r\n\r\nhello"},
      {"a folded length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n 6\r\n\r\nhello!"},
      {"headers cut off mid-block", "HTTP/1.1 200 OK\r\nX: y\r\n"},
      {"only a status line", "HTTP/1.1 200 OK\r\n"},
      {"unrequested protocol switch",
       "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\nConnection: Upgrade\r\n\r\nbody"},
      {"302 with a field starting with HTTP/",
       "HTTP/1.1 302 Found\r\nHTTP/Info: 200 OK\r\nLocation: " + to_closed +
           "\r\nContent-Length: 0\r\n\r\n"},
      {"redirect without an authority",
       "HTTP/1.1 302 Found\r\nLocation: http:/x/y\r\nContent-Length: 0\r\n\r\n"},
      {"redirect to ftp", "HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/x\r\n\r\n"},
  };
  // Any 3xx with a Location is followed, so its failure is a failure before
  // the final response.
  for (int code : {300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 350, 399}) {
    cases.push_back({"redirect " + std::to_string(code) + " to a refused port",
                     "HTTP/1.1 " + std::to_string(code) + " S\r\nLocation: " + to_closed + "\r\n\r\n"});
  }
  const fs::path absent = dir.path / "absent";
  const fs::path existing = dir.path / "existing";
  write_file(existing, "keep me");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(download(srv.raw(c.response), absent), ORDANE_HTTP_ERR_SEND);
    EXPECT_FALSE(fs::exists(absent));
    EXPECT_EQ(download(srv.raw(c.response), existing), ORDANE_HTTP_ERR_SEND);
    EXPECT_EQ(read_file(existing), "keep me");
  }
}

// The well-formed neighbours of the cases above still work.
TEST(ordane_http_download_file, AcceptsUnambiguousFramingAndSavesTheBodyAsSent) {
  REQUIRE_SERVERS();
  const std::string landed = srv.http("/echo/landed");
  const struct {
    const char* what;
    std::string response;
    std::string body;
  } cases[] = {
      {"chunked, in any case",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nhel\r\n2\r\nlo\r\n0\r\n\r\n",
       "hello"},
      {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nhello",
       "hello"},
      {"a list of one length", "HTTP/1.1 200 OK\r\nContent-Length: 5, 5\r\n\r\nhello", "hello"},
      {"gzip content coding, saved raw",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 25\r\n\r\n" + kGzipHello,
       kGzipHello},
      {"no length, body until close", "HTTP/1.1 200 OK\r\n\r\nuntil close", "until close"},
      {"a 404 page", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone", "gone"},
      {"a 3xx without Location is final", "HTTP/1.1 304 Not Modified\r\n\r\n", ""},
  };
  const fs::path dest = dir.path / "out";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(dest, "old content");
    ASSERT_EQ(download(srv.raw(c.response), dest), 0);
    EXPECT_EQ(read_file(dest), c.body);
  }
  // Unusual 3xx codes and a field looking like a status line still redirect.
  for (const std::string& response :
       {"HTTP/1.1 306 S\r\nLocation: " + landed + "\r\n\r\n",
        "HTTP/1.1 302 Found\r\nHTTP/Info: 200 OK\r\nLocation: " + landed + "\r\n\r\n"}) {
    SCOPED_TRACE(response);
    ASSERT_EQ(download(srv.raw(response), dest), 0);
    const std::string echo = read_file(dest);
    EXPECT_EQ(echo.substr(0, echo.find('\n')), "/echo/landed");
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

// A FIFO is a destination like any other while a process reads it. One that
// nobody reads would make a plain open wait for a reader for ever, where the
// stall rule cannot act, so it fails at once.
TEST(ordane_http_download_file, FifoDestinationWorksWithAReaderAndFailsAtOnceWithout) {
  REQUIRE_SERVERS();
  const fs::path fifo = dir.path / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  using Clock = std::chrono::steady_clock;

  // With a reader, opened before the download starts: the whole body passes.
  {
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::atomic<bool> returned{false};
    std::string got;
    // Until the download has returned, "no writer" (0) and "no data yet"
    // (EAGAIN) both mean: look again.
    std::thread reader([&] {
      char buffer[65536];
      for (;;) {
        const bool done = returned.load();
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
          got.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 && done) {
          break;
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
      }
    });
    EXPECT_EQ(download(srv.http("/bytes?n=300000"), fifo), 0);
    returned = true;
    reader.join();
    close(fd);
    EXPECT_TRUE(is_pattern(got, 300000));
  }

  // Without a reader. Should the open wait all the same, a rescuer opens the
  // FIFO for reading after 10 s, so that the test fails instead of hanging.
  std::atomic<bool> returned{false};
  std::thread rescuer([&] {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!returned && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (returned) return;
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    while (!returned) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (fd >= 0) close(fd);
  });
  const auto start = Clock::now();
  const int32_t result = download(srv.http("/empty"), fifo);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  returned = true;
  rescuer.join();
  EXPECT_EQ(result, ORDANE_HTTP_ERR_OPEN_DEST) << "after " << seconds << " s";
  EXPECT_LT(seconds, 5.0);
}

// A FIFO whose reader goes away during the body: the write fails and the
// download gives -9. Runs in a child process with SIGPIPE's default action,
// which would end it were the signal raised.
TEST(ordane_http_download_file, FifoReaderLeavingGivesMinus9) {
  REQUIRE_SERVERS();
  const fs::path fifo = dir.path / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string url = srv.http("/bytes?n=5000000");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    const int fd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) _exit(100);
    // Reads some of the body, then leaves.
    std::thread reader([fd] {
      char buffer[4096];
      size_t got = 0;
      while (got < 100000) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) got += static_cast<size_t>(n);
        else std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      close(fd);
    });
    const int32_t result = download(url, fifo);
    reader.join();
    _exit(-result);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(-WEXITSTATUS(status), ORDANE_HTTP_ERR_TRANSFER);
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

// ----------------------------------------------------------------------------
// ordane_http_download_file_status: the same download, and the status of the
// response it ended on
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file_status, NullArgumentsGiveMinus1AndWriteNothing) {
  TempDir dir;
  const fs::path dest = dir.path / "out";
  int32_t status = 12345;
  EXPECT_EQ(ordane_http_download_file_status(nullptr, dest.c_str(), &status), -1);
  EXPECT_EQ(ordane_http_download_file_status("http://127.0.0.1/", nullptr, &status), -1);
  EXPECT_EQ(ordane_http_download_file_status("http://127.0.0.1/", dest.c_str(), nullptr), -1);
  // The URL is checked only once the arguments are: a bad one still gives -1.
  EXPECT_EQ(ordane_http_download_file_status("ftp://x/", dest.c_str(), nullptr), -1);
  EXPECT_EQ(status, 12345);
  EXPECT_FALSE(fs::exists(dest));
}

TEST(ordane_http_download_file_status, ReportsTheFinalResponsesStatusOnEveryReturn) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "out";
  const fs::path unopenable = dir.path / "no-such-folder" / "out";
  const struct {
    const char* what;
    std::string url;
    fs::path dest;
    int32_t code;
    int32_t status;
    const char* body;  // null: not checked
  } cases[] = {
      {"200", srv.http("/status?code=200"), dest, 0, 200, "status 200"},
      {"404 with a body", srv.http("/status?code=404"), dest, 0, 404, "status 404"},
      {"redirects to 200", srv.http("/redirect?n=3"), dest, 0, 200, "end of chain"},
      {"redirect to a 503", srv.http("/to?url=" + query_escape(srv.http("/status?code=503"))),
       dest, 0, 503, "status 503"},
      {"interim, then 200", srv.http("/interim"), dest, 0, 200, "after interim"},
      {"refused connection", srv.closed("http"), dest, ORDANE_HTTP_ERR_SEND, 0, nullptr},
      {"redirect to a refused port", srv.http("/to?url=" + srv.closed("http")), dest,
       ORDANE_HTTP_ERR_SEND, 0, nullptr},
      {"eleven redirects", srv.http("/redirect?n=11"), dest, ORDANE_HTTP_ERR_SEND, 302, nullptr},
      {"closed after an interim response", srv.http("/interim-then-drop"), dest,
       ORDANE_HTTP_ERR_SEND, 0, nullptr},
      {"refused framing",
       srv.raw("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello"), dest,
       ORDANE_HTTP_ERR_SEND, 200, nullptr},
      {"rejected URL", "ftp://127.0.0.1/x", dest, ORDANE_HTTP_ERR_CRACK_URL, 0, nullptr},
      {"unopenable destination", srv.http("/status?code=410"), unopenable,
       ORDANE_HTTP_ERR_OPEN_DEST, 410, nullptr},
      {"body cut off", srv.http("/truncated?n=200&sent=70"), dest, ORDANE_HTTP_ERR_TRANSFER, 200,
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int32_t status = -12345;
    EXPECT_EQ(ordane_http_download_file_status(c.url.c_str(), c.dest.c_str(), &status), c.code);
    EXPECT_EQ(status, c.status);
    if (c.body != nullptr) {
      EXPECT_EQ(read_file(c.dest), c.body);
    }
  }
}

}  // namespace
