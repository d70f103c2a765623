// Linux only: the server is openssl s_server run by fork and exec.
// Transfers over https against a local TLS server (openssl s_server, which
// answers each request with a prepared file): a redirect that leaves https
// is refused, and a certificate that is not trusted is reported with why.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/http_sync_session.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace gantrell {
namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

bool Connects(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// An https server on 127.0.0.1 with a self-signed certificate for
// 127.0.0.1; each file in its folder is a whole response.
class TlsServer {
 public:
  TlsServer() {
    const std::string make_cert =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        dir_.File("key.pem") + "' -out '" + cert() + "' >/dev/null 2>&1";
    if (std::system(make_cert.c_str()) != 0)
      return;
    port_ = FreePort();
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string script = "cd \"$1\" && exec openssl s_server -quiet -HTTP -accept "
                                 "127.0.0.1:" + std::to_string(port_) +
                                 " -cert cert.pem -key key.pem >/dev/null 2>&1";
      ::execl("/bin/sh", "sh", "-c", script.c_str(), "sh", dir_.path().c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 500 && !Connects(port_); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~TlsServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool running() const { return pid_ > 0 && Connects(port_); }
  std::string cert() const { return dir_.File("cert.pem"); }
  std::string Url(const std::string& name, const std::string& host = "127.0.0.1") const {
    return "https://" + host + ":" + std::to_string(port_) + "/" + name;
  }
  void Answer(const std::string& name, const std::string& response) {
    std::ofstream(dir_.File(name), std::ios::binary) << response;
  }

 private:
  testing::TempDir dir_;
  int port_ = 0;
  pid_t pid_ = -1;
};

class HttpTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tls_.running())
      GTEST_SKIP() << "openssl s_server is not available";
    tls_.Answer("ok", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello");
  }

  std::unique_ptr<EngineHttpSession> Session(bool trust_the_server) {
    HttpOptions options;
    options.connect_timeout = std::chrono::milliseconds(5000);
    if (trust_the_server)
      options.ca_file = tls_.cert();
    std::string error;
    auto session = EngineHttpSession::Open(options, &error);
    EXPECT_NE(session, nullptr) << error;
    return session;
  }

  static std::string Body(HttpRequest& request) {
    std::string body;
    char buffer[256];
    for (std::size_t count = 0; request.Read(buffer, sizeof buffer, &count) && count > 0;)
      body.append(buffer, count);
    return body;
  }

  TlsServer tls_;
  TestHttpServer plain_;
};

TEST_F(HttpTlsTest, ARedirectThatLeavesHttpsIsRefused) {
  plain_.Serve("/ok.txt", "plain");
  tls_.Answer("to-http", "HTTP/1.0 302 Found\r\nLocation: " + plain_.Url("/ok.txt") +
                             "\r\nContent-Length: 0\r\n\r\n");
  tls_.Answer("to-https",
              "HTTP/1.0 302 Found\r\nLocation: " + tls_.Url("ok") + "\r\nContent-Length: 0\r\n\r\n");
  auto session = Session(true);

  std::string error;
  auto followed = session->OpenUrl(tls_.Url("to-https"), &error);
  ASSERT_NE(followed, nullptr) << error;
  EXPECT_EQ(Body(*followed), "hello");

  EXPECT_EQ(session->OpenUrl(tls_.Url("to-http"), &error), nullptr);
  EXPECT_NE(error.find("redirected it to an address that is not https, which is refused"),
            std::string::npos)
      << error;
  EXPECT_EQ(plain_.RequestCount("/ok.txt"), 0);
}

TEST_F(HttpTlsTest, AnUntrustedCertificateIsReportedWithWhy) {
  struct Case {
    const char* what;
    bool trusted;
    std::string url;
    std::string reason;  // empty: the transfer succeeds
  } cases[] = {
      {"no trusted authority signed it", false, tls_.Url("ok"),
       "the server's certificate is not trusted: its issuer is unknown (no trusted "
       "certificate authority signed it)"},
      {"issued for another name", true, tls_.Url("ok", "localhost"),
       "the server's certificate is not trusted: it was issued for another server name"},
      {"trusted", true, tls_.Url("ok"), ""},
  };
  for (const Case& c : cases) {
    auto session = Session(c.trusted);
    std::string error;
    auto request = session->OpenUrl(c.url, &error);
    if (c.reason.empty()) {
      ASSERT_NE(request, nullptr) << c.what << ": " << error;
      EXPECT_EQ(Body(*request), "hello") << c.what;
      continue;
    }
    EXPECT_EQ(request, nullptr) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.find("http://"), std::string::npos) << c.what << ": " << error;
  }
}

TEST(CertificateProblemTest, NamesTheReason) {
  const struct {
    long verify_result;
    std::string library_error;
    std::string reason;
  } cases[] = {
      {10, "", "it has expired"},
      {9, "", "it is not valid yet"},
      {20, "", "its issuer is unknown (no trusted certificate authority signed it)"},
      {18, "", "its issuer is unknown (no trusted certificate authority signed it)"},
      {62, "", "it was issued for another server name"},
      {0, "SSL: no alternative certificate subject name matches target host name 'x'",
       "it was issued for another server name"},
      {23, "", "it has been revoked"},
      {0, "something else", "it could not be verified (something else)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CertificateProblem(c.verify_result, c.library_error), c.reason)
        << c.verify_result << " " << c.library_error;
  }
}

}  // namespace
}  // namespace gantrell
