// The time limits of ordane_http_download_file against servers on 127.0.0.1
// that fall silent or drip bytes: the connection limit, and the stall rule
// before and after the end of the response headers. Each case waits for a
// limit to run out, so all of them run at once, one thread each, and the
// whole program takes about one connection limit.

#include "http_test_servers.h"

#include <gtest/gtest.h>

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
  };
  std::vector<Outcome> outcomes(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    outcomes[i].dest = dir.path / ("dest-" + std::to_string(i));
  }

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

  // The steady transfer is complete.
  EXPECT_EQ(read_file(outcomes[5].dest), steady);
}

}  // namespace
