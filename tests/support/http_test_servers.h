// Test support for ordane_http_download_file: temporary folders, file
// helpers, and the local servers of http_test_server.py (plain HTTP, HTTPS
// with a self-signed certificate made by openssl at test time, a silent
// port, and a TLS port that paces the encrypted bytes), started once per
// test program and stopped when it ends.
#ifndef QUILLON_TESTS_SUPPORT_HTTP_TEST_SERVERS_H
#define QUILLON_TESTS_SUPPORT_HTTP_TEST_SERVERS_H

#include "ordane.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace http_test {

namespace fs = std::filesystem;

// ----------------------------------------------------------------------------
// Helpers
// ----------------------------------------------------------------------------

inline fs::path make_temp_dir() {
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

inline std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const fs::path& p, const std::string& data) {
  std::ofstream(p, std::ios::binary) << data;
}

// Checks a /bytes body (byte i is i % 251) without printing megabytes on
// failure.
inline ::testing::AssertionResult is_pattern(const std::string& data, size_t expected_size) {
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

inline int32_t download(const std::string& url, const fs::path& dest) {
  return ordane_http_download_file(url.c_str(), dest.c_str());
}

// Every byte but letters and digits as %XX, for the test server's query.
inline std::string query_escape(const std::string& bytes) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : bytes) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z')) {
      out += c;
    } else {
      out += '%';
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

// Runs a program with stdout and stderr discarded; returns its exit status.
inline int run_quietly(const std::vector<std::string>& args) {
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
  // A port that accepts connections and never sends anything.
  std::string silent(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(silent_port_) + "/x";
  }
  // A response sent verbatim, the connection then held "hold" seconds.
  std::string raw(const std::string& response, int hold = 0) const {
    return http("/raw?hold=" + std::to_string(hold) + "&data=" + query_escape(response));
  }
  // "head" at once, then "data" in pieces of "piece" bytes every "every" s.
  std::string drip(const std::string& head, const std::string& data, int piece,
                   double every) const {
    return http("/drip" + drip_query(head, data, piece, every));
  }
  // Over TLS: "head" at once, then "data" encrypted as one TLS record (at
  // most 16,384 bytes) whose bytes are sent "piece" at a time every "every"
  // s. The certificate is cert(), which the client must trust.
  std::string tls_drip(const std::string& head, const std::string& data, int piece,
                       double every) const {
    return "https://127.0.0.1:" + std::to_string(tls_drip_port_) + "/drip" +
           drip_query(head, data, piece, every);
  }

 private:
  static std::string drip_query(const std::string& head, const std::string& data, int piece,
                                double every) {
    return "?chunk=" + std::to_string(piece) + "&every=" + std::to_string(every) +
           "&head=" + query_escape(head) + "&data=" + query_escape(data);
  }

  void start_python(const fs::path& key) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return void(error_ = "pipe failed");
    if (pipe2(out, O_CLOEXEC) != 0) return void(error_ = "pipe failed");
    const std::string script = (fs::path(__FILE__).parent_path() / "http_test_server.py").string();
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
    std::string silent_word;
    std::string tls_drip_word;
    words >> http_word >> http_port_ >> https_word >> https_port_ >> silent_word >> silent_port_ >>
        tls_drip_word >> tls_drip_port_;
    if (http_word != "http" || https_word != "https" || silent_word != "silent" ||
        tls_drip_word != "tlsdrip") {
      error_ = "the test server did not start";
    }
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
  int silent_port_ = 0;
  int tls_drip_port_ = 0;
  int closed_fd_ = -1;
  int closed_port_ = 0;
};

inline const Servers& servers() {
  static Servers instance;
  return instance;
}

}  // namespace http_test

#define REQUIRE_SERVERS()                                    \
  const http_test::Servers& srv = http_test::servers();      \
  ASSERT_EQ(srv.error(), "") << "local test servers missing"; \
  http_test::TempDir dir;                                    \
  ASSERT_FALSE(dir.path.empty())

#endif  // QUILLON_TESTS_SUPPORT_HTTP_TEST_SERVERS_H
