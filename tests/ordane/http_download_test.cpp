// ordane_http_download_file against real servers on 127.0.0.1: the Python
// HTTP + HTTPS server of tests/support/http_test_server.py, with well-behaved
// routes and hostile ones that send crafted responses byte for byte.

#include "http_test_servers.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace http_test;

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
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(srv.cert().c_str(), bundle.c_str(), nullptr, MS_BIND, nullptr) != 0) {
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
