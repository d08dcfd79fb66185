// The time limits of ordane_http_download_file against servers on 127.0.0.1
// that fall silent or drip bytes: the connection limit, and the stall rule
// before and after the end of the response headers, which counts bytes as
// they arrive, also those libcurl cannot hand over yet. Each case waits for a
// limit to run out or takes longer than the stall window, so all of them run
// at once, one thread each (the TLS one in a child process), and the whole
// program takes about one connection limit.

#include "http_test_servers.h"

#include <gtest/gtest.h>

#include <curl/curl.h>
#include <sched.h>
#include <sys/mount.h>

#include <chrono>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace http_test;

constexpr double kWindow = ORDANE_HTTP_STALL_WINDOW_S;
constexpr double kConnectLimit = ORDANE_HTTP_CONNECT_LIMIT_S;
// Time allowed past a limit: progress callbacks come about once a second and
// the machine may be busy with the other cases.
constexpr double kMargin = 15.0;

// Bytes a destination holds before a download that must leave it alone.
const std::string kOldContent = "bytes that were here before\n";

const std::string kHead100 = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";

std::string body_bytes(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

struct Case {
  std::string name;
  std::string url;
  bool pre_existing = false;  // the destination exists with kOldContent
  int32_t expected = 0;
  double earliest = 0.0;  // seconds the call must at least take
  double latest = 0.0;    // seconds it may take at most
};

// What one case's thread saw.
struct Outcome {
  fs::path dest;
  int32_t result = 1;
  double seconds = 0.0;
};

void run_case(const Case* c, Outcome* out) {
  if (c->pre_existing) write_file(out->dest, kOldContent);
  const auto start = std::chrono::steady_clock::now();
  out->result = download(c->url, out->dest);
  out->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A case against the TLS servers, run in a child process in which the test
// certificate is trusted: it is bind-mounted over the CA bundle libcurl reads
// inside a private mount namespace, so the library's verification policy
// stays as it is. start() forks before any thread is made; finish() collects
// the outcome, or says why there is none.
class TrustedChild {
 public:
  bool start(const Case& c, const fs::path& dest, const fs::path& cert) {
    std::string bundle;
    if (CURL* h = curl_easy_init()) {
      char* path = nullptr;
      if (curl_easy_getinfo(h, CURLINFO_CAINFO, &path) == CURLE_OK && path != nullptr) {
        bundle = path;
      }
      curl_easy_cleanup(h);
    }
    if (bundle.empty() || !fs::is_regular_file(bundle)) {
      why_not_ = "libcurl reads no CA bundle file that a test certificate could replace";
      return false;
    }
    if (pipe(fds_) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      close(fds_[0]);
      Outcome out;
      out.dest = dest;
      // The file system type is ignored for these two calls but passed as a
      // string: valgrind reports a null one.
      const bool trusted = unshare(CLONE_NEWNS) == 0 &&
                           mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) == 0 &&
                           mount(cert.c_str(), bundle.c_str(), "none", MS_BIND, nullptr) == 0;
      if (trusted) run_case(&c, &out);
      const Report report{trusted, out.result, out.seconds};
      const bool sent = write(fds_[1], &report, sizeof report) == sizeof report;
      _exit(sent ? 0 : 1);
    }
    close(fds_[1]);
    return true;
  }

  // False with why_not() set when the case could not run.
  bool finish(Outcome* out) {
    if (pid_ <= 0) {
      if (why_not_.empty()) why_not_ = "no child process";
      return false;
    }
    Report report{};
    const bool got = read(fds_[0], &report, sizeof report) == sizeof report;
    close(fds_[0]);
    waitpid(pid_, nullptr, 0);
    if (!got || !report.trusted) {
      why_not_ = "no private mount namespace (needs CAP_SYS_ADMIN) to trust the test certificate";
      return false;
    }
    out->result = report.result;
    out->seconds = report.seconds;
    return true;
  }

  const std::string& why_not() const { return why_not_; }

 private:
  struct Report {
    bool trusted;
    int32_t result;
    double seconds;
  };
  int fds_[2] = {-1, -1};
  pid_t pid_ = -1;
  std::string why_not_;
};

TEST(ordane_http_download_file, LimitsCutOffSilentAndDrippingServers) {
  REQUIRE_SERVERS();

  // Case (c): a body of 100 declared bytes whose first 7 come, then silence
  // with the connection open.
  const std::string partial = body_bytes(7);
  // Case (d): a body dripping one byte every 5 s, far below the stall rule.
  const std::string dripped = body_bytes(100);
  // Case (f): 3 bytes a second for 45 s, three times the stall rule's minimum.
  const std::string steady = body_bytes(135);
  const std::string steady_head = "HTTP/1.1 200 OK\r\nContent-Length: 135\r\n\r\n";
  // Case (g): a chunked body of 1-byte chunks, 6 bytes on the wire for each
  // byte of payload, one chunk every 1.5 s: 4 bytes a second arrive, though
  // libcurl hands over fewer than 30 bytes in 30 s.
  const std::string chunked_head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string tiny_payload = body_bytes(26);
  std::string tiny_chunks;
  for (char c : tiny_payload) tiny_chunks += std::string("1\r\n") + c + "\r\n";
  tiny_chunks += "0\r\n\r\n";
  // Case (h): one header line of 114 bytes at 3 bytes a second; libcurl
  // hands it over only at its end, 38 s after it started.
  const std::string slow_line_head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
  const std::string slow_line = "X-Slow: " + body_bytes(104) + "\r\n\r\nok";

  const std::vector<Case> cases = {
      {"http server that never answers", srv.silent("http"), true, ORDANE_HTTP_ERR_SEND,
       kWindow - 1, kWindow + kMargin},
      {"TLS handshake never answered", srv.silent("https"), true, ORDANE_HTTP_ERR_SEND,
       kConnectLimit - 1, kConnectLimit + kMargin},
      {"body stops after a few bytes", srv.raw(kHead100 + partial, 120), false,
       ORDANE_HTTP_ERR_TRANSFER, kWindow - 1, kWindow + kMargin},
      {"body drips a byte every 5 s", srv.drip(kHead100, dripped, 1, 5), false,
       ORDANE_HTTP_ERR_TRANSFER, kWindow - 1, kWindow + 5 + kMargin},
      {"headers drip a byte every 5 s", srv.drip("", kHead100 + dripped, 1, 5), true,
       ORDANE_HTTP_ERR_SEND, kWindow - 1, kWindow + 5 + kMargin},
      {"slow but steady body", srv.drip(steady_head, steady, 3, 1), false, 0, 43.0,
       45.0 + kMargin},
      {"body of 1-byte chunks, one every 1.5 s", srv.drip(chunked_head, tiny_chunks, 6, 1.5),
       false, 0, 38.0, 39.0 + kMargin},
      {"one header line at 3 bytes a second", srv.drip(slow_line_head, slow_line, 3, 1), true, 0,
       38.0, 39.0 + kMargin},
  };
  std::vector<Outcome> outcomes(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    outcomes[i].dest = dir.path / ("dest-" + std::to_string(i));
  }

  // Case (i): a body of 16,000 bytes in one TLS record whose bytes come at
  // 400 bytes a second, 100 every 0.25 s: libcurl hands over nothing of it
  // until the whole record is in, 40 s later.
  const std::string record_body = body_bytes(16000);
  const Case tls_case{"one 16,000-byte TLS record at 400 bytes a second",
                      srv.tls_drip("HTTP/1.1 200 OK\r\nContent-Length: 16000\r\n\r\n",
                                   record_body, 100, 0.25),
                      false, 0, 39.0, 40.0 + kMargin};
  Outcome tls_outcome;
  tls_outcome.dest = dir.path / "dest-tls";
  TrustedChild child;
  child.start(tls_case, tls_outcome.dest, srv.cert());

  // Each case on its own thread, its own destination; results are checked
  // here once all have returned.
  std::vector<std::thread> threads;
  threads.reserve(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) threads.emplace_back(run_case, &cases[i], &outcomes[i]);
  for (std::thread& t : threads) t.join();

  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    std::cout << cases[i].name << ": " << outcomes[i].result << " after " << outcomes[i].seconds
              << " s\n";
    EXPECT_EQ(outcomes[i].result, cases[i].expected);
    EXPECT_GE(outcomes[i].seconds, cases[i].earliest);
    EXPECT_LE(outcomes[i].seconds, cases[i].latest);
  }

  // Failures before the end of the headers leave the old file as it was.
  EXPECT_EQ(read_file(outcomes[0].dest), kOldContent);
  EXPECT_EQ(read_file(outcomes[1].dest), kOldContent);
  EXPECT_EQ(read_file(outcomes[4].dest), kOldContent);

  // A stalled body keeps what arrived.
  ASSERT_TRUE(fs::exists(outcomes[2].dest));
  EXPECT_EQ(read_file(outcomes[2].dest), partial);
  ASSERT_TRUE(fs::exists(outcomes[3].dest));
  const std::string got = read_file(outcomes[3].dest);
  // One byte at once, then one every 5 s for about one window.
  EXPECT_GE(got.size(), 5u);
  EXPECT_LT(got.size(), 12u);
  EXPECT_EQ(got, dripped.substr(0, got.size()));

  // The steady transfers are complete.
  EXPECT_EQ(read_file(outcomes[5].dest), steady);
  EXPECT_EQ(read_file(outcomes[6].dest), tiny_payload);
  EXPECT_EQ(read_file(outcomes[7].dest), "ok");

  if (!child.finish(&tls_outcome)) GTEST_SKIP() << tls_case.name << ": " << child.why_not();
  SCOPED_TRACE(tls_case.name);
  std::cout << tls_case.name << ": " << tls_outcome.result << " after " << tls_outcome.seconds
            << " s\n";
  EXPECT_EQ(tls_outcome.result, 0);
  EXPECT_GE(tls_outcome.seconds, tls_case.earliest);
  EXPECT_LE(tls_outcome.seconds, tls_case.latest);
  EXPECT_TRUE(read_file(tls_outcome.dest) == record_body) << "the file is not the body sent";
}

}  // namespace
