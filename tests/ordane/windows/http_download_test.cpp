// ordane_http_download_file on WinHTTP against the local servers of
// tests/support/http_test_server.py, started around this program by
// run_with_test_servers.py (the program runs under Wine in the Windows build
// and cannot start Linux programs itself): their ports come in
// QUILLON_TEST_SERVERS.

#include "ordane.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

struct Ports {
  int http = 0;
  int https = 0;
  int silent = 0;
  int closed = 0;
  std::string error;
};

const Ports& ports() {
  static const Ports p = [] {
    Ports r;
    const char* env = std::getenv("QUILLON_TEST_SERVERS");
    if (env == nullptr) {
      r.error = "QUILLON_TEST_SERVERS is not set: run under run_with_test_servers.py";
      return r;
    }
    std::istringstream words(env);
    std::string a, b, c, d;
    words >> a >> r.http >> b >> r.https >> c >> r.silent >> d >> r.closed;
    if (a != "http" || b != "https" || c != "silent" || d != "closed") r.error = "bad QUILLON_TEST_SERVERS";
    return r;
  }();
  return p;
}

std::string http(const std::string& target) {
  return "http://127.0.0.1:" + std::to_string(ports().http) + target;
}
std::string https(const std::string& target) {
  return "https://127.0.0.1:" + std::to_string(ports().https) + target;
}
std::string silent() { return "http://127.0.0.1:" + std::to_string(ports().silent) + "/x"; }
std::string closed() { return "http://127.0.0.1:" + std::to_string(ports().closed) + "/x"; }

// Every byte but letters and digits as %XX, for the test server's query.
std::string query_escape(const std::string& bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : bytes) {
    const unsigned char b = static_cast<unsigned char>(ch);
    if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) {
      out += ch;
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}
std::string raw(const std::string& response, int hold = 0) {
  return http("/raw?hold=" + std::to_string(hold) + "&data=" + query_escape(response));
}
std::string drip(const std::string& head, const std::string& data, int piece, int every) {
  return http("/drip?chunk=" + std::to_string(piece) + "&every=" + std::to_string(every) +
              "&head=" + query_escape(head) + "&data=" + query_escape(data));
}

struct TempDir {
  fs::path path;
  TempDir() {
    std::random_device rd;
    path = fs::temp_directory_path() / ("ordane-download-" + std::to_string(rd()) + "-" +
                                        std::to_string(rd()));
    fs::create_directories(path);
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void write_file(const fs::path& p, const std::string& data) {
  std::ofstream(p, std::ios::binary) << data;
}

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
  return ordane_http_download_file(url.c_str(), dest.string().c_str());
}

#define REQUIRE_SERVERS()                                      \
  ASSERT_EQ(ports().error, "") << "local test servers missing"; \
  TempDir dir

// ----------------------------------------------------------------------------
// URLs rejected before any connection
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, RejectsNullsBadTextAndUnusableUrlsCreatingNoFile) {
  TempDir dir;
  const fs::path dest = dir.path / "out";
  const std::string d = dest.string();
  EXPECT_EQ(ordane_http_download_file(nullptr, d.c_str()), ORDANE_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(ordane_http_download_file("http://127.0.0.1/", nullptr), ORDANE_ERR_INVALID_ARGUMENT);
  const struct {
    const char* url;
    int32_t code;
  } cases[] = {
      {"http://127.0.0.1/\xff", ORDANE_HTTP_ERR_URL_TEXT},
      {"http://127.0.0.1/\xc0\xaf", ORDANE_HTTP_ERR_URL_TEXT},      // overlong '/'
      {"http://127.0.0.1/\xed\xa0\x80", ORDANE_HTTP_ERR_URL_TEXT},  // surrogate
      {"http://127.0.0.1/\xe2\x82", ORDANE_HTTP_ERR_URL_TEXT},      // cut short
      {"ftp://127.0.0.1/file", ORDANE_HTTP_ERR_CRACK_URL},
      {"file:///C:/windows/win.ini", ORDANE_HTTP_ERR_CRACK_URL},
      {"127.0.0.1/no-scheme", ORDANE_HTTP_ERR_CRACK_URL},
      {"/only/a/path", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://", ORDANE_HTTP_ERR_CRACK_URL},
      {"http:///", ORDANE_HTTP_ERR_CRACK_URL},
      {"http:///x/y", ORDANE_HTTP_ERR_CRACK_URL},  // WinHttpCrackUrl takes it
      {"https://:443/no-host", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://bad host/", ORDANE_HTTP_ERR_CRACK_URL},
      {"http:/x/y", ORDANE_HTTP_ERR_CRACK_URL},
      {"https:x/y", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://?x", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://127.0.0.1:0/", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://127.0.0.1:65536/", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://127.0.0.1:8x/", ORDANE_HTTP_ERR_CRACK_URL},
      {"http://[::1/", ORDANE_HTTP_ERR_CRACK_URL},
      {"", ORDANE_HTTP_ERR_CRACK_URL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(ordane_http_download_file(c.url, d.c_str()), c.code);
    EXPECT_FALSE(fs::exists(dest));
  }
}

// ----------------------------------------------------------------------------
// Successful downloads
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, StreamsALargeBodyAndSendsPathAndQueryWithoutTheFragment) {
  REQUIRE_SERVERS();
  const size_t size = 3 * 1048576 + 12345;
  const fs::path dest = dir.path / "big.bin";
  ASSERT_EQ(download(http("/bytes?n=" + std::to_string(size)), dest), 0);
  EXPECT_TRUE(is_pattern(read_file(dest), size));

  const fs::path echo_file = dir.path / "echo.txt";
  std::string with_user = http("/echo/a/b?x=%41&y=a+b#part");
  with_user.insert(7, "user:secret@");
  ASSERT_EQ(download(with_user, echo_file), 0);
  const std::string echo = read_file(echo_file);
  EXPECT_EQ(echo.substr(0, echo.find('\n')), "/echo/a/b?x=%41&y=a+b");
  EXPECT_NE(echo.find("\nUser-Agent: Quillon-ZazAreror/1.0\n"), std::string::npos) << echo;
  EXPECT_EQ(echo.find("Authorization"), std::string::npos) << echo;
  EXPECT_EQ(echo.find("Cookie"), std::string::npos) << echo;
}

TEST(ordane_http_download_file, FollowsRedirectsAndSavesTheBodyWhateverTheStatus) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "out.txt";
  ASSERT_EQ(download(http("/redirect?n=10"), dest), 0);
  EXPECT_EQ(read_file(dest), "end of chain");
  ASSERT_EQ(download(http("/to?url=" + query_escape(http("/bytes?n=70000"))), dest), 0);
  EXPECT_TRUE(is_pattern(read_file(dest), 70000));
  ASSERT_EQ(download(http("/status?code=404"), dest), 0);
  EXPECT_EQ(read_file(dest), "status 404");
  ASSERT_EQ(download(http("/status?code=500"), dest), 0);
  EXPECT_EQ(read_file(dest), "status 500");
  ASSERT_EQ(download(raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                         "3\r\nhel\r\n2\r\nlo\r\n0\r\n\r\n"),
                     dest),
            0);
  EXPECT_EQ(read_file(dest), "hello");
  ASSERT_EQ(download(raw("HTTP/1.1 200 OK\r\n\r\nuntil close"), dest), 0);
  EXPECT_EQ(read_file(dest), "until close");

  write_file(dest, "old content");
  ASSERT_EQ(download(http("/empty"), dest), 0);
  EXPECT_TRUE(fs::exists(dest));
  EXPECT_EQ(fs::file_size(dest), 0u);
}

TEST(ordane_http_download_file, RunsDownloadsOnSeveralThreadsAtOnce) {
  REQUIRE_SERVERS();
  constexpr int kThreads = 6;
  std::vector<int32_t> results(kThreads, 99);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const std::string url = (i % 2 == 0) ? http("/bytes?n=" + std::to_string(300000 + i))
                                           : http("/redirect?n=3");
      results[i] = download(url, dir.path / std::to_string(i));
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(results[i], 0);
    const std::string body = read_file(dir.path / std::to_string(i));
    if (i % 2 == 0) {
      EXPECT_TRUE(is_pattern(body, 300000 + static_cast<size_t>(i)));
    } else {
      EXPECT_EQ(body, "end of chain");
    }
  }
}

// ----------------------------------------------------------------------------
// Failures before the final headers: -7, the destination left alone
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, FailuresBeforeTheFinalHeadersLeaveTheDestinationAlone) {
  REQUIRE_SERVERS();
  const struct {
    const char* what;
    std::string url;
  } cases[] = {
      {"refused connection", closed()},
      {"untrusted certificate", https("/bytes?n=10")},
      {"eleven redirects", http("/redirect?n=11")},
      {"redirect to a refused port", http("/to?url=" + query_escape(closed()))},
      {"connection closed without a reply", http("/drop")},
      {"two different lengths",
       raw("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!")},
      {"a list of different lengths", raw("HTTP/1.1 200 OK\r\nContent-Length: 10, 20\r\n\r\n0123456789")},
      {"gzip transfer coding", raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n")},
      {"unrequested protocol switch",
       raw("HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\nConnection: Upgrade\r\n\r\nbody")},
  };
  const fs::path absent = dir.path / "absent";
  const fs::path existing = dir.path / "existing";
  write_file(existing, "keep me");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(download(c.url, absent), ORDANE_HTTP_ERR_SEND);
    EXPECT_FALSE(fs::exists(absent));
    EXPECT_EQ(download(c.url, existing), ORDANE_HTTP_ERR_SEND);
    EXPECT_EQ(read_file(existing), "keep me");
  }
}

// ----------------------------------------------------------------------------
// Failures after the final headers
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file, UnopenableDestinationGivesMinus8WithoutReadingTheBody) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "missing" / "out.bin";
  EXPECT_EQ(download(http("/endless"), dest), ORDANE_HTTP_ERR_OPEN_DEST);
  EXPECT_FALSE(fs::exists(dest.parent_path()));
}

// WinHTTP ends a body shorter than its Content-Length like a complete one;
// the count against that length turns it into -9.
TEST(ordane_http_download_file, BodyShorterThanItsLengthGivesMinus9AndKeepsWhatArrived) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "partial";
  EXPECT_EQ(download(http("/truncated?n=200000&sent=70000"), dest), ORDANE_HTTP_ERR_TRANSFER);
  EXPECT_TRUE(is_pattern(read_file(dest), 70000));
  write_file(dest, "old content");
  EXPECT_EQ(download(http("/headers-then-drop"), dest), ORDANE_HTTP_ERR_TRANSFER);
  EXPECT_EQ(fs::file_size(dest), 0u);
}

// What WinHTTP cannot tell (the header's "On Windows" paragraph): a chunked
// body whose last chunk never comes ends like a complete one, so it gives 0
// with the bytes that came (-9 on Linux).
TEST(ordane_http_download_file, CutOffChunkedBodyEndsLikeACompleteOne) {
  REQUIRE_SERVERS();
  const fs::path dest = dir.path / "chunked";
  int32_t status = 0;
  EXPECT_EQ(ordane_http_download_file_status(http("/chunked-truncated").c_str(),
                                             dest.string().c_str(), &status),
            0);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(read_file(dest), "hello");
}

// A silent server, one that falls silent after the headers, and one that
// drips a byte every two seconds: each is cut off about one stall window
// in. The three run at once.
TEST(ordane_http_download_file, SilentAndDrippingServersAreCutOff) {
  REQUIRE_SERVERS();
  const std::string head100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  const struct {
    std::string url;
    int32_t code;
  } cases[] = {
      {silent(), ORDANE_HTTP_ERR_SEND},
      {raw(head100 + "abc", 90), ORDANE_HTTP_ERR_TRANSFER},
      {drip(head100, std::string(100, 'x'), 1, 2), ORDANE_HTTP_ERR_TRANSFER},
  };
  constexpr size_t n = sizeof cases / sizeof cases[0];
  int32_t results[n] = {};
  double seconds[n] = {};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < n; ++i) {
    threads.emplace_back([&, i] {
      const auto start = std::chrono::steady_clock::now();
      results[i] = download(cases[i].url, dir.path / ("out" + std::to_string(i)));
      seconds[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(cases[i].url);
    EXPECT_EQ(results[i], cases[i].code);
    EXPECT_GE(seconds[i], ORDANE_HTTP_STALL_WINDOW_S - 1.0);
    EXPECT_LE(seconds[i], ORDANE_HTTP_STALL_WINDOW_S + 15.0);
  }
  EXPECT_FALSE(fs::exists(dir.path / "out0"));
}

// ----------------------------------------------------------------------------
// ordane_http_download_file_status: the status of the response it ended on
// ----------------------------------------------------------------------------

TEST(ordane_http_download_file_status, NullArgumentsGiveMinus1AndWriteNothing) {
  TempDir dir;
  const std::string d = (dir.path / "out").string();
  int32_t status = 12345;
  EXPECT_EQ(ordane_http_download_file_status(nullptr, d.c_str(), &status), -1);
  EXPECT_EQ(ordane_http_download_file_status("http://127.0.0.1/", nullptr, &status), -1);
  EXPECT_EQ(ordane_http_download_file_status("http://127.0.0.1/", d.c_str(), nullptr), -1);
  EXPECT_EQ(status, 12345);
  EXPECT_FALSE(fs::exists(dir.path / "out"));
}

// As on Linux, but a redirect WinHTTP cannot follow (eleven) gives 0 here:
// WinHTTP fails the call instead of handing over the redirect.
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
      {"200", http("/status?code=200"), dest, 0, 200, "status 200"},
      {"404 with a body", http("/status?code=404"), dest, 0, 404, "status 404"},
      {"redirects to 200", http("/redirect?n=3"), dest, 0, 200, "end of chain"},
      {"redirect to a 503", http("/to?url=" + query_escape(http("/status?code=503"))), dest, 0,
       503, "status 503"},
      {"refused connection", closed(), dest, ORDANE_HTTP_ERR_SEND, 0, nullptr},
      {"redirect to a refused port", http("/to?url=" + query_escape(closed())), dest,
       ORDANE_HTTP_ERR_SEND, 0, nullptr},
      {"eleven redirects", http("/redirect?n=11"), dest, ORDANE_HTTP_ERR_SEND, 0, nullptr},
      {"refused framing",
       raw("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\nhello!"), dest,
       ORDANE_HTTP_ERR_SEND, 200, nullptr},
      {"rejected URL", "ftp://127.0.0.1/x", dest, ORDANE_HTTP_ERR_CRACK_URL, 0, nullptr},
      {"unopenable destination", http("/status?code=410"), unopenable, ORDANE_HTTP_ERR_OPEN_DEST,
       410, nullptr},
      {"body cut off", http("/truncated?n=200&sent=70"), dest, ORDANE_HTTP_ERR_TRANSFER, 200,
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    int32_t status = -12345;
    const std::string d = c.dest.string();
    EXPECT_EQ(ordane_http_download_file_status(c.url.c_str(), d.c_str(), &status), c.code);
    EXPECT_EQ(status, c.status);
    if (c.body != nullptr) {
      EXPECT_EQ(read_file(c.dest), c.body);
    }
  }
}

}  // namespace
